#include "ui/main_window.h"

#include <QActionGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrl>
#include <QVBoxLayout>

#include "engine/engine.h"
#include "app/live_settings.h"
#include "app/operator_interface.h"
#include "app/save_file.h"
#include "devices/display_engine.h"
#include "devices/rxv_kt_engine.h"
#include "devices/rxvpico_engine.h"
#include "link/bridge_channel.h"
#include "link/communication_log.h"
#include "link/free_command_console.h"
#include "link/link_facade.h"
#include "link/operation_runner.h"
#include "link/serial_channel.h"
#include "link/serial_port_rules.h"
#include "link/gateway_channels.h"
#include "meters/meter_configuration.h"
#include "meters/meter_page.h"
#include "ui/application_identity.h"
#include "ui/caption_tables.h"
#include "ui/display_page_view.h"
#include "ui/enter_aes_window.h"
#include "ui/gateway_page_view.h"
#include "ui/log_printer.h"
#include "ui/meter_page_view.h"
#include "ui/key_filter.h"
#include "ui/named_widgets.h"
#include "ui/readings_page_view.h"
#include "ui/rxv_kt_page_view.h"
#include "ui/status_texts.h"
#include "ui/users_window.h"

namespace veltro {
namespace {

constexpr int kStatusPanelWidths[] = {150, 400, 50};
constexpr int kScanFieldCharacters = 3;
constexpr int kIdFieldCharacters = 8;
constexpr int kTimeoutFieldCharacters = 5;
constexpr int kTimeoutStep = 10;
constexpr int kPicoIdCharacters = 8;
constexpr int kPicoAddressCharacters = 3;

const QString kUserManualName = QStringLiteral("UsrManRXV.pdf");
// The view lays a line out whole: a flooding peer's "Respond: " line of 3 M characters held the window
// for seconds. It shows the start of such a line; the log, and the file it is saved to, keep all of it.
constexpr qsizetype kLongestShownLine = 4096;

// Rows of the meter table that hold a meter address.
int MeterRows(const MeterTable& table) {
    int count = 0;
    for (int row = 1; row < table.rowCount(); ++row)
        if (MeterTable::AddressOf(table.cell(row, MeterTable::kAddressColumn))) ++count;
    return count;
}

} // namespace

TForm11::TForm11(Engine& engine, QWidget* parent) : QMainWindow(parent), m_engine(engine) {
    setObjectName(QStringLiteral("TForm11"));
    setWindowTitle(QString::fromLatin1(kMainWindowCaption));

    buildMenu();
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(6, 6, 6, 0);
    auto* groups = new QHBoxLayout;
    groups->addWidget(buildSearchGroup(), 1);
    groups->addWidget(buildPicoGroup());
    layout->addLayout(groups);

    auto* splitter = new QSplitter(Qt::Vertical, central);
    splitter->setChildrenCollapsible(false);
    PageControl1 = Named(new QTabWidget(splitter), "PageControl1");
    TabSheet1 = new MeterPageView(m_engine, PageControl1);
    PageControl1->addTab(TabSheet1, QStringLiteral("   M-bus devices    "));
    TabSheet2 = new GatewayPageView(m_engine, PageControl1);
    PageControl1->addTab(TabSheet2, QStringLiteral("   Communication devices   "));
    TabSheet3 = new DisplayPageView(m_engine, PageControl1);
    PageControl1->addTab(TabSheet3, QStringLiteral("   Local display LDU   "));
    TabSheet4 = new ReadingsPageView(m_engine, PageControl1);
    PageControl1->addTab(TabSheet4, QStringLiteral("   Get Readings   "));
    TabSheet5 = new RxvKtPageView(m_engine, PageControl1);
    PageControl1->addTab(TabSheet5, QStringLiteral("   Wireless receiver RXV-KT   "));
    // The display and readings pages are hidden until a login shows the display page.
    PageControl1->setTabVisible(PageControl1->indexOf(TabSheet3), false);
    PageControl1->setTabVisible(PageControl1->indexOf(TabSheet4), false);
    splitter->addWidget(PageControl1);
    splitter->addWidget(buildConsoleAndLog());
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);
    layout->addWidget(splitter, 1);
    setCentralWidget(central);
    buildStatusBar();

    FormCreate();
    connectEngine();
    resize(1280, 800);
}

TForm11::~TForm11() = default;

// ---- construction ------------------------------------------------------------------------------

void TForm11::buildMenu() {
    QMenuBar* bar = menuBar();
    auto menu = [bar](const char* name, const QString& title) { return Named(bar->addMenu(title), name); };
    auto item = [this](QMenu* m, const char* name, const QString& text, void (TForm11::*handler)(),
                       const QKeySequence& shortcut = {}) {
        QAction* action = NamedAction(*m, name, text);
        action->setShortcut(shortcut);
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    File1 = menu("File1", QStringLiteral("File"));
    // The grid's own keys for Load and Export, now anywhere in the window.
    Open1 = item(File1, "Open1", QStringLiteral("Open"), &TForm11::Open1Click, QKeySequence(Qt::CTRL | Qt::Key_L));
    Save1 = item(File1, "Save1", QStringLiteral("Save"), &TForm11::Save1Click, QKeySequence(Qt::CTRL | Qt::Key_S));
    File1->addSeparator();
    Exit1 = item(File1, "Exit1", QStringLiteral("Exit"), &TForm11::Exit1Click);
    Tools1 = menu("Tools1", QStringLiteral("Tools"));
    Users1 = item(Tools1, "Users1", QStringLiteral("Users"), &TForm11::Users1Click);
    Settings1 = item(Tools1, "Settings1", QStringLiteral("Settings"), &TForm11::Settings1Click);
    Language1 = menu("Language1", QStringLiteral("Language"));
    English1 = item(Language1, "English1", QStringLiteral("English"), &TForm11::English1Click);
    Italian1 = item(Language1, "Italian1", QStringLiteral("Italian"), &TForm11::Italian1Click);
    auto* languages = new QActionGroup(this);
    languages->setExclusive(true);
    for (QAction* action : {English1, Italian1}) {
        action->setCheckable(true);
        languages->addAction(action);
    }
    Help1 = menu("Help1", QStringLiteral("Help"));
    About2 = item(Help1, "About2", QStringLiteral("About"), &TForm11::About2Click);
    UserManual2 = item(Help1, "UserManual2", QStringLiteral("User Manual"), &TForm11::UserManual2Click);
}

QWidget* TForm11::buildSearchGroup() {
    Group_search = Named(new QGroupBox(QStringLiteral("   Search network   ")), "Group_search");
    auto* rows = new QVBoxLayout(Group_search);
    auto* row = new QHBoxLayout;
    rows->addLayout(row);
    row->addWidget(NamedLabel("Label_primary", QStringLiteral("By Primary address: "), Group_search));
    UD_address_min = NamedUpDown("UD_address_min", "Edit_address_min", 0, kScanAddressHighest, 1, kScanFieldCharacters,
                            Group_search, &Edit_address_min);
    row->addWidget(UD_address_min);
    row->addWidget(NamedLabel("Label_to", QStringLiteral("to"), Group_search));
    UD_address_max = NamedUpDown("UD_address_max", "Edit_address_max", 0, kScanAddressHighest, 1, kScanFieldCharacters,
                            Group_search, &Edit_address_max);
    row->addWidget(UD_address_max);
    row->addSpacing(16);
    row->addWidget(NamedLabel("Label_timeout", QStringLiteral("Resp. timeout"), Group_search));
    UD_timeout = NamedUpDown("UD_timeout", "Edit_timeout", kResponseWindowLowest, kResponseWindowHighest, kTimeoutStep,
                        kTimeoutFieldCharacters, Group_search, &Edit_timeout);
    row->addWidget(UD_timeout);
    row->addWidget(NamedLabel("Label_ms", QStringLiteral("ms"), Group_search));
    row->addSpacing(16);
    Check_nke = NamedCheckBox("Check_nke", QStringLiteral("Use SND_NKE"), Group_search);
    row->addWidget(Check_nke);
    row->addSpacing(8);
    Butt_find_primary = NamedButton("Butt_find_primary", QStringLiteral("Find"), Group_search);
    Butt_find_primary->setMinimumWidth(90);
    row->addWidget(Butt_find_primary);
    row->addStretch(1);

    auto* secondary = new QHBoxLayout;
    rows->addLayout(secondary);
    secondary->addWidget(NamedLabel("Label_secondary", QStringLiteral("By Secondary address: "), Group_search));
    Edit_id = Named(new QLineEdit(Group_search), "Edit_id");
    Edit_id->setMaxLength(kIdFieldCharacters);
    Edit_id->setFixedWidth(Edit_id->fontMetrics().horizontalAdvance(QStringLiteral("0")) * (kIdFieldCharacters + 3));
    KeyFilter::Install(*Edit_id, QStringLiteral("F"));
    secondary->addWidget(Edit_id);
    Butt_find_id = NamedButton("Butt_find_id", QStringLiteral("Find"), Group_search);
    Butt_find_all = NamedButton("Butt_find_all", QStringLiteral("Find all"), Group_search);
    Button1 = NamedButton("Button1", QStringLiteral("Stop secondary"), Group_search);
    Button1->hide();
    for (QPushButton* button : {Butt_find_id, Butt_find_all, Button1}) secondary->addWidget(button);
    secondary->addSpacing(16);
    // Under "Resp. timeout", whose windows it shortens.
    Check_fast = NamedCheckBox("Check_fast", QStringLiteral("Fast response"), Group_search);
    Check_fast->setToolTip(QStringLiteral("End a meter's window as soon as its answer is complete, or after the line's "
                                          "answer time when nothing comes"));
    secondary->addWidget(Check_fast);
    secondary->addStretch(1);
    // On the shorter line, so that showing it never widens the window.
    ProgressBar1 = Named(new QProgressBar(Group_search), "ProgressBar1");
    ProgressBar1->setMinimumWidth(120);
    ProgressBar1->setMaximumWidth(320);
    ProgressBar1->hide();
    secondary->addWidget(ProgressBar1);

    connect(Butt_find_primary, &QPushButton::clicked, this, &TForm11::Butt_find_primaryClick);
    connect(Butt_find_id, &QPushButton::clicked, this, &TForm11::Butt_find_idClick);
    connect(Butt_find_all, &QPushButton::clicked, this, &TForm11::Butt_find_allClick);
    connect(Button1, &QPushButton::clicked, this, &TForm11::Button1Click);
    connect(Edit_id, &QLineEdit::returnPressed, Butt_find_id, &QPushButton::click);
    connect(UD_timeout, &QSpinBox::valueChanged, this, &TForm11::Edit_timeoutChange);
    connect(Check_nke, &QCheckBox::clicked, this, &TForm11::Check_nkeClick);
    connect(Check_fast, &QCheckBox::clicked, this, &TForm11::Check_fastClick);
    return Group_search;
}

QWidget* TForm11::buildPicoGroup() {
    Group_pico = Named(new QGroupBox(QStringLiteral("   Global RXVpico   ")), "Group_pico");
    auto* grid = new QGridLayout(Group_pico);
    auto field = [this](const char* name, int characters) {
        auto* edit = Named(new QLineEdit(Group_pico), name);
        edit->setMaxLength(characters);
        edit->setFixedWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("0")) * (characters + 3));
        KeyFilter::Install(*edit);
        return edit;
    };
    Edit_picoID = field("Edit_picoID", kPicoIdCharacters);
    Edit_rxvAddress = field("Edit_rxvAddress", kPicoAddressCharacters);
    QPushButton* BitBtn51 = NamedButton("BitBtn51", QStringLiteral("Get meters"), Group_pico);
    QPushButton* BitBtn52 = NamedButton("BitBtn52", QStringLiteral("Read status of RXV"), Group_pico);
    QPushButton* BitBtn53 = NamedButton("BitBtn53", QStringLiteral("Set"), Group_pico);
    QPushButton* BitBtn54 = NamedButton("BitBtn54", QStringLiteral("Send table"), Group_pico);
    BitBtn51->setToolTip(QStringLiteral("Read the meter list of RXVpico into the table"));
    BitBtn53->setToolTip(QStringLiteral("Set date and time of RXVpico to the PC's"));
    BitBtn54->setToolTip(QStringLiteral("Delete the meter list of RXVpico and add the IDs of the table"));
    grid->addWidget(NamedLabel("Label_picoID", QStringLiteral("RXVpico ID:"), Group_pico), 0, 0);
    grid->addWidget(Edit_picoID, 0, 1);
    grid->addWidget(NamedLabel("Label_rxvAddress", QStringLiteral("Primary:"), Group_pico), 1, 0);
    grid->addWidget(Edit_rxvAddress, 1, 1, Qt::AlignLeft);
    grid->addWidget(BitBtn51, 0, 2);
    grid->addWidget(BitBtn52, 0, 3);
    auto* clock = new QHBoxLayout;
    clock->addWidget(NamedLabel("Label_picoClock", QStringLiteral("Date/Time:"), Group_pico));
    clock->addWidget(BitBtn53, 1);
    grid->addLayout(clock, 1, 2);
    grid->addWidget(BitBtn54, 1, 3);

    // The engine reads the receiver fields at each command; they follow every edit.
    auto push = [this] { m_engine.rxvpico().setReceiver(Edit_picoID->text(), Edit_rxvAddress->text()); };
    connect(Edit_picoID, &QLineEdit::textChanged, this, push);
    connect(Edit_rxvAddress, &QLineEdit::textChanged, this, push);
    connect(BitBtn51, &QPushButton::clicked, this, &TForm11::BitBtn51Click);
    connect(BitBtn52, &QPushButton::clicked, this, &TForm11::BitBtn52Click);
    connect(BitBtn53, &QPushButton::clicked, this, &TForm11::BitBtn53Click);
    connect(BitBtn54, &QPushButton::clicked, this, &TForm11::BitBtn54Click);
    return Group_pico;
}

QWidget* TForm11::buildConsoleAndLog() {
    auto* area = new QWidget;
    auto* layout = new QVBoxLayout(area);
    layout->setContentsMargins(0, 4, 0, 0);

    auto* console = new QHBoxLayout;
    console->addWidget(NamedLabel("Label_command", QStringLiteral("Send custom command:"), area));
    Edit_command = Named(new QLineEdit(area), "Edit_command");
    Edit_command->setMaxLength(FreeCommandConsole::kMaxCommandLength);
    console->addWidget(Edit_command, 1);
    Check_ascii = NamedCheckBox("Check_ascii", QStringLiteral("ASCII"), area);
    Check_hex = NamedCheckBox("Check_hex", QStringLiteral("Hex"), area);
    console->addWidget(Check_ascii);
    console->addWidget(Check_hex);
    Butt_command_send = NamedButton("Butt_command_send", QStringLiteral("Send"), area);
    console->addWidget(Butt_command_send);
    layout->addLayout(console);

    auto* logRow = new QHBoxLayout;
    Memo_current = NamedLogView("Memo_current", area);
    Memo_current->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo_current->setMaximumBlockCount(static_cast<int>(m_engine.log().maxLines()));
    logRow->addWidget(Memo_current, 1);
    auto* logButtons = new QVBoxLayout;
    QPushButton* clearLog = NamedButton("BitBtn5", QStringLiteral("Clear log"), area);
    QPushButton* saveLog = NamedButton("BitBtn6", QStringLiteral("Save log"), area);
    QPushButton* printLogButton = NamedButton("BitBtn7", QStringLiteral("Print log"), area);
    for (QPushButton* button : {clearLog, saveLog, printLogButton}) {
        button->setMinimumWidth(110);
        logButtons->addWidget(button);
    }
    logButtons->addStretch(1);
    logRow->addLayout(logButtons);
    layout->addLayout(logRow, 1);

    connect(Butt_command_send, &QPushButton::clicked, this, &TForm11::Butt_command_sendClick);
    // Enter sends as the button does, and not while the button is disabled.
    connect(Edit_command, &QLineEdit::returnPressed, Butt_command_send, &QPushButton::click);
    connect(Check_ascii, &QCheckBox::clicked, this, &TForm11::Check_asciiClick);
    connect(Check_hex, &QCheckBox::clicked, this, &TForm11::Check_hexClick);
    connect(clearLog, &QPushButton::clicked, this, &TForm11::BitBtn5Click);
    connect(saveLog, &QPushButton::clicked, this, &TForm11::BitBtn6Click);
    connect(printLogButton, &QPushButton::clicked, this, &TForm11::BitBtn7Click);
    return area;
}

void TForm11::buildStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar1"));
    bar->setSizeGripEnabled(false);
    for (int panel = 0; panel < 3; ++panel) {
        m_statusPanels[panel] = new QLabel(bar);
        m_statusPanels[panel]->setObjectName(QStringLiteral("StatusBar1_panel%1").arg(panel));
        // A longer text (a bridge's host and port) widens its panel rather than being cut.
        m_statusPanels[panel]->setMinimumWidth(kStatusPanelWidths[panel]);
        m_statusPanels[panel]->setFrameShape(QFrame::StyledPanel);
        m_statusPanels[panel]->setFrameShadow(QFrame::Sunken);
        bar->addWidget(m_statusPanels[panel]);
    }
}

void TForm11::connectEngine() {
    MeterPage& meters = m_engine.meters();
    connect(&meters, &MeterPage::pageStateChanged, this, &TForm11::updatePageState);
    connect(&m_engine.display(), &DisplayEngine::pageStateChanged, this, &TForm11::updatePageState);
    connect(&m_engine.rxvKt(), &RxvKtEngine::pageStateChanged, this, &TForm11::updatePageState);
    connect(&m_engine.gatewayServer(), &GatewayServerChannel::gatewayAccepted, this, [this] {
        raise();
        activateWindow();
        QApplication::beep();
    });
    connect(&m_engine, &Engine::idFieldWritten, this, [this](const QString& text) { Edit_id->setText(text); });
    connect(&m_engine.configuration(), &MeterConfiguration::consoleModeChanged, this,
            [this] { setConsoleHex(m_engine.console().mode() == ConsoleMode::Hex); });
    connect(&m_engine.rxvpico(), &RxvpicoEngine::consoleHexChosen, this, [this] { setConsoleHex(true); });
    connect(&meters, &MeterPage::scanRangeChanged, this, [this](int from, int to) {
        UD_address_min->setValue(from);
        UD_address_max->setValue(to);
    });
    CommunicationLog& log = m_engine.log();
    for (const QString& line : log.lines()) appendLogLine(line);
    connect(&log, &CommunicationLog::lineAppended, this, &TForm11::appendLogLine);
    connect(&log, &CommunicationLog::cleared, this, [this] {
        Memo_current->clear();
        m_logFollows = true;
    });
    QScrollBar* logBar = Memo_current->verticalScrollBar();
    // Only the operator's own scrolling decides whether the view follows: a resize moves the range and
    // clamps the value, which once left the view stuck above the newest line.
    connect(logBar, &QScrollBar::actionTriggered, this,
            [this, logBar] { m_logFollows = logBar->sliderPosition() >= logBar->maximum(); });
    connect(logBar, &QScrollBar::rangeChanged, this, [this, logBar] {
        if (m_logFollows) logBar->setValue(logBar->maximum());
    });

    connect(&m_engine.serial(), &SerialChannel::statusTextChanged, this, &TForm11::updateLinkStatus);
    connect(&m_engine.serial(), &SerialChannel::openChanged, this, &TForm11::updateLinkStatus);
    connect(&m_engine.bridge(), &BridgeChannel::connectedChanged, this, &TForm11::updateLinkStatus);
    connect(&m_engine.settings(), &LiveSettings::settingsChanged, this, &TForm11::updateLinkStatus);
    updateLinkStatus();
    OperationRunner& runner = m_engine.runner();
    connect(&runner, &OperationRunner::idleChanged, this, [this](bool idle) {
        if (!idle) m_metersBefore = MeterRows(m_engine.meters().table());
    });
    connect(&runner, &OperationRunner::operationEnded, this, [this](BusOperation kind, OperationOutcome outcome) {
        const int found = MeterRows(m_engine.meters().table()) - m_metersBefore;
        m_statusPanels[1]->setText(OperationResultText(kind, outcome, found, m_engine.settings().language()));
    });
    connect(PageControl1, &QTabWidget::currentChanged, this, &TForm11::pageChanged);
}

// ---- lifecycle ---------------------------------------------------------------------------------

void TForm11::FormCreate() {
    LiveSettings& settings = m_engine.settings();
    if (settings.loadAtStart() == IniLoadResult::Status::Failed)
        m_engine.log().append(QStringLiteral("The settings file cannot be read, the defaults are used - ") +
                              settings.loadError());
    const MainWindowState& state = settings.mainWindow();
    UD_address_min->setValue(state.searchFrom);
    UD_address_max->setValue(state.searchTo);
    UD_timeout->setValue(state.timeout);
    Check_fast->setChecked(state.fastResponse);
    Edit_picoID->setText(QString::fromStdString(state.picoSecondary));
    Edit_rxvAddress->setText(QString::fromStdString(state.picoPrimary));
    m_engine.meters().applyTitles();
    PageControl1->setCurrentWidget(TabSheet1);
    applyLanguage(state.language);
    setConsoleHex(true);
    TabSheet1->refreshTable();
    updatePageState();
    TabSheet1->updatePageState();
}

void TForm11::FormActivate() {
    ApplyCaptions(*this, MainWindowCaptions(), m_engine.settings().language());
    // Gateways call in only in that mode: the port is not held otherwise.
    GatewayServerChannel& server = m_engine.gatewayServer();
    if (m_engine.settings().settings().misc.useEthernet && !server.isListening())
        server.toggle(QString::fromStdString(m_engine.settings().settings().ethernet.listenPort));
}

void TForm11::FormClose() {
    LiveSettings& settings = m_engine.settings();
    MainWindowState state = settings.mainWindow();
    state.searchFrom = UD_address_min->value();
    state.searchTo = UD_address_max->value();
    state.timeout = UD_timeout->value();
    state.language = English1->isChecked() ? Language::English : Language::Italian;
    state.picoSecondary = Edit_picoID->text().toStdString();
    state.picoPrimary = Edit_rxvAddress->text().toStdString();
    settings.setMainWindow(state);
    // A failure is shown to the operator by the settings ("Settings will not be saved, no write
    // permission"); the program ends all the same.
    settings.saveMainWindowState();
    m_engine.shutdown();
    if (m_engine.serial().isOpen()) m_engine.serial().close();
}

void TForm11::closeEvent(QCloseEvent* event) {
    if (!m_closing) {
        m_closing = true;
        FormClose();
        emit closed();
    }
    event->accept();
}

void TForm11::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
}

void TForm11::applyLogin(const LoginGrant& grant) {
    Users1->setEnabled(grant.usersMenuEnabled());
    Settings1->setEnabled(grant.settingsMenuEnabled());
    PageControl1->setTabVisible(PageControl1->indexOf(TabSheet2), grant.communicationPage);
    PageControl1->setTabVisible(PageControl1->indexOf(TabSheet3), grant.displayPage);
    PageControl1->setTabVisible(PageControl1->indexOf(TabSheet4), grant.displayPage);
    TabSheet1->applyLogin(grant);
}

void TForm11::applyLanguage(Language language) {
    m_engine.settings().setLanguage(language);
    English1->setChecked(language == Language::English);
    Italian1->setChecked(language == Language::Italian);
    m_engine.meters().applyLanguage();  // grid titles and the captions the engines compose
    m_engine.display().applyLanguage();
    m_engine.rxvKt().applyLanguage();
    ApplyCaptions(*this, MainWindowCaptions(), language);
    updatePageState();
    TabSheet1->updatePageState();
    updateLinkStatus();
}

QString TForm11::workingFolder() const { return QString::fromStdString(m_engine.settings().mainWindow().dir); }

void TForm11::ShowWindow(QWidget* window) {
    if (!window) return;
    window->show();
    window->raise();
    window->activateWindow();
}

// ---- what the engine reports -------------------------------------------------------------------

void TForm11::appendLogLine(const QString& line) {
    // The view drops its first line at the log's limit, as the log.
    Memo_current->appendPlainText(line.size() > kLongestShownLine ? line.left(kLongestShownLine) + QStringLiteral("...") : line);
    const CommunicationLog& log = m_engine.log();
    // The log also drops lines for their length, several at once: the view drops the same ones.
    QTextDocument* document = Memo_current->document();
    while (log.droppedCount() > 0 && document->blockCount() > log.lines().size()) {
        QTextCursor first(document->firstBlock());
        first.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
        first.removeSelectedText();
    }
    if (log.droppedCount() > 0) {
        QTextCursor first(Memo_current->document()->firstBlock());
        first.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        first.insertText(log.lines().first());
    }
    if (m_logFollows) Memo_current->verticalScrollBar()->setValue(Memo_current->verticalScrollBar()->maximum());
}

void TForm11::updateLinkStatus() {
    // A closed port is named as the settings name it now: that is the one the next operation opens.
    const SerialChannel& serial = m_engine.serial();
    const QString serialStatus = serial.isOpen() ? serial.statusText()
                                                 : QString::fromStdString(SerialClosedStatus(m_engine.settings().settings().comPort.name));
    m_statusPanels[0]->setText(LinkStatusText(m_engine.link().linkMode(), serialStatus,
                                              m_engine.bridge().endpointText(), m_engine.bridge().isConnected(),
                                              m_engine.settings().language()));
}

void TForm11::updatePageState() {
    const MeterPageState& page = m_engine.meters().pageState();
    Butt_find_primary->setText(page.findCaption);
    Group_search->setEnabled(page.searchGroupEnabled);
    Butt_find_primary->setEnabled(page.findPrimaryEnabled);
    Butt_find_id->setEnabled(page.findIdEnabled);
    Butt_find_all->setEnabled(page.findAllEnabled);
    Edit_id->setEnabled(page.idFieldEnabled);
    Button1->setVisible(page.stopSecondaryVisible);
    // The receiver's runs read its answers themselves: the console stays out meanwhile.
    Butt_command_send->setEnabled(page.commandSendEnabled && m_engine.rxvKt().pageState().commandsEnabled);
    // One bar for both pages: their operations never run at once.
    const DisplayPageState::Progress& display = m_engine.display().pageState().progress;
    if (display.visible) {
        ProgressBar1->setRange(0, display.maximum);
        ProgressBar1->setValue(display.position);
    } else {
        ProgressBar1->setRange(page.progress.minimum, page.progress.maximum);
        ProgressBar1->setValue(page.progress.position);
    }
    ProgressBar1->setVisible(page.progress.visible || display.visible);
}

// ---- search group ------------------------------------------------------------------------------

void TForm11::Butt_find_primaryClick() {
    const auto from = Edit_address_min->text().isEmpty() ? std::nullopt : std::optional<int>(UD_address_min->value());
    const auto to = Edit_address_max->text().isEmpty() ? std::nullopt : std::optional<int>(UD_address_max->value());
    m_engine.meters().findPrimary(from, to);
}

void TForm11::Butt_find_idClick() { m_engine.meters().findId(Edit_id->text().toStdString()); }

void TForm11::Butt_find_allClick() {
    Edit_id->setText(QStringLiteral("FFFFFFFF"));
    Butt_find_idClick();
}

void TForm11::Button1Click() { m_engine.meters().stopSecondary(); }

void TForm11::Edit_timeoutChange(int milliseconds) { m_engine.settings().setResponseWindow(milliseconds); }

void TForm11::Check_nkeClick(bool checked) { m_engine.meters().setUseSndNke(checked); }

void TForm11::Check_fastClick(bool checked) {
    MainWindowState state = m_engine.settings().mainWindow();
    state.fastResponse = checked;
    m_engine.settings().setMainWindow(state);
}

// ---- global RXVpico group ---------------------------------------------------------------------

void TForm11::BitBtn51Click() { m_engine.rxvpico().getMeters(); }

void TForm11::BitBtn52Click() { m_engine.rxvpico().readStatus(); }

void TForm11::BitBtn53Click() { m_engine.rxvpico().setClock(); }

void TForm11::BitBtn54Click() { m_engine.rxvpico().sendTable(); }

// ---- console and log ---------------------------------------------------------------------------

void TForm11::Butt_command_sendClick() { m_engine.console().send(Edit_command->text()); }

void TForm11::setConsoleHex(bool hex) {
    Check_hex->setChecked(hex);
    Check_ascii->setChecked(!hex);
    m_engine.console().setMode(hex ? ConsoleMode::Hex : ConsoleMode::Ascii);
}

// Checking one box unchecks the other; unchecking one checks the other.
void TForm11::Check_asciiClick() { setConsoleHex(!Check_ascii->isChecked()); }

void TForm11::Check_hexClick() { setConsoleHex(Check_hex->isChecked()); }

void TForm11::BitBtn5Click() { m_engine.log().clear(); }

void TForm11::BitBtn6Click() { m_engine.log().saveWithDialog(m_engine.operatorInterface(), workingFolder()); }

bool TForm11::printLog(QPagedPaintDevice& device) { return PrintLog(device, m_engine.log().lines(), LogPrintHeading(), Memo_current->font()); }

void TForm11::BitBtn7Click() {
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, this);
    dialog.setObjectName(QStringLiteral("PrintDialog1"));
    if (dialog.exec() != QDialog::Accepted) return;
    if (!printLog(printer))
        m_engine.operatorInterface().message(QStringLiteral("Print log"), QStringLiteral("The printer refused the log, nothing was printed."),
                                             OperatorInterface::Icon::Warning);
}

// ---- pages -------------------------------------------------------------------------------------

void TForm11::pageChanged(int index) {
    QWidget* page = PageControl1->widget(index);
    if (page == TabSheet1) TabSheet1Show();
    else if (page == TabSheet2) TabSheet2Show();
    else if (page == TabSheet3) TabSheet3Show();
    else if (page == TabSheet5) TabSheet5Show();
}

// The meter page's devices take hex commands, the others text.
void TForm11::TabSheet1Show() { setConsoleHex(true); }
void TForm11::TabSheet2Show() { setConsoleHex(false); }
void TForm11::TabSheet3Show() { setConsoleHex(false); }
void TForm11::TabSheet5Show() { setConsoleHex(false); }

// ---- menu --------------------------------------------------------------------------------------

MeterPageView& TForm11::meterPage() { return *TabSheet1; }

void TForm11::Open1Click() { TabSheet1->Butt_load_dataClick(); }

void TForm11::Save1Click() { TabSheet1->Butt_save_dataClick(); }

void TForm11::Exit1Click() {
    const Language language = m_engine.settings().language();
    const OperatorInterface::Answer answer =
        m_engine.operatorInterface().question(CaptionText(TextId::ExitConfirmationTitle, language),
                                              CaptionText(TextId::ExitConfirmationQuestion, language),
                                              OperatorInterface::Buttons::YesNo);
    if (answer == OperatorInterface::Answer::Yes) close();
}

void TForm11::setUsersWindow(TFUsers* window) { m_usersWindow = window; }

void TForm11::setEnterAesWindow(TEnterAES* window) {
    if (window) window->setCentreOn(this);
    TabSheet1->setEnterAesWindow(window);
}

void TForm11::Users1Click() {
    // The users window speaks the language checked in this window's menu.
    if (m_usersWindow) m_usersWindow->setLanguage(m_engine.settings().language());
    ShowWindow(m_usersWindow);
}

void TForm11::Settings1Click() { ShowWindow(m_settingsWindow); }

void TForm11::About2Click() { ShowWindow(m_aboutWindow); }

void TForm11::English1Click() { applyLanguage(Language::English); }

void TForm11::Italian1Click() { applyLanguage(Language::Italian); }

namespace {

QString UserManualPath(const QString& programFolder, Language language) {
    // The program folder first (a build or a portable copy), then the manual an installed program
    // ships; an Italian manual where there is one, else the one manual for both languages.
    const QStringList folders = {programFolder,
                                 QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../share/doc/veltro"))};
    QStringList names;
    if (language == Language::Italian) names << QStringLiteral("UsrManRXV_it.pdf");
    names << kUserManualName;
    for (const QString& name : names)
        for (const QString& folder : folders)
            if (const QString path = QDir(folder).filePath(name); QFileInfo(path).isFile()) return QDir::cleanPath(path);
    return QDir(programFolder).filePath(kUserManualName);
}

} // namespace

void TForm11::UserManual2Click() {
    const QString path = UserManualPath(m_engine.settings().programFolder(), m_engine.settings().language());
    OperatorInterface& op = m_engine.operatorInterface();
    if (!QFileInfo(path).isFile()) {
        op.message(QStringLiteral("User Manual"), QStringLiteral("The user manual is missing: ") + QDir::toNativeSeparators(path),
                   OperatorInterface::Icon::Warning);
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        op.message(QStringLiteral("User Manual"),
                   QStringLiteral("No program could open the user manual: ") + QDir::toNativeSeparators(path),
                   OperatorInterface::Icon::Warning);
}

} // namespace veltro
