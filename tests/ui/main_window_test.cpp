// The main window driven by its control names: captions in both languages, the INI keys it owns, what a
// login grants, the console's mode per page, the key filters, the exit question and the user manual.
#include "window_fixture.h"

#include "link/operation_runner.h"

#include <map>

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QDesktopServices>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QUrl>

#include "app/ini_file.h"
#include "devices/rxvpico_engine.h"
#include "link/free_command_console.h"
#include "ui/caption_tables.h"
#include "link/bridge_channel.h"
#include "link/operation_runner.h"
#include "link/serial_channel.h"
#include "ui/status_texts.h"
#include "sim/pty_port.h"
#include "ui/meter_grid.h"
#include "ui/users_window.h"

namespace veltro::test {
namespace {

// Every caption a user can read, by control: texts, titles, tab texts and the grid's column titles.
std::map<QString, QString> Captions(const QWidget& root) {
    std::map<QString, QString> captions;
    auto key = [](const QObject* object, const QString& kind) { return object->objectName() + QLatin1Char('/') + kind; };
    for (const auto* button : root.findChildren<QAbstractButton*>()) captions[key(button, "text")] = button->text();
    for (const auto* label : root.findChildren<QLabel*>()) captions[key(label, "text")] = label->text();
    for (const auto* group : root.findChildren<QGroupBox*>()) captions[key(group, "title")] = group->title();
    for (const auto* menu : root.findChildren<QMenu*>()) captions[key(menu, "title")] = menu->title();
    for (const auto* action : root.findChildren<QAction*>())
        if (!action->objectName().isEmpty()) captions[key(action, "text")] = action->text();
    for (const auto* tabs : root.findChildren<QTabWidget*>())
        for (int i = 0; i < tabs->count(); ++i) captions[key(tabs->widget(i), "tab")] = tabs->tabText(i);
    for (const auto* grid : root.findChildren<QTableView*>())
        for (int c = 0; c < grid->model()->columnCount(); ++c)
            captions[key(grid, "column" + QString::number(c))] = grid->model()->headerData(c, Qt::Horizontal).toString();
    captions[QStringLiteral("window/title")] = root.windowTitle();
    return captions;
}

QString CaptionOf(const QWidget& root, const char* name) {
    const QString objectName = QString::fromLatin1(name);
    QObject* object = root.findChild<QObject*>(objectName);
    if (auto* button = qobject_cast<QAbstractButton*>(object)) return button->text();
    if (auto* label = qobject_cast<QLabel*>(object)) return label->text();
    if (auto* group = qobject_cast<QGroupBox*>(object)) return group->title();
    if (auto* menu = qobject_cast<QMenu*>(object)) return menu->title();
    if (auto* action = qobject_cast<QAction*>(object)) return action->text();
    for (const auto* tabs : root.findChildren<QTabWidget*>())
        for (int i = 0; i < tabs->count(); ++i)
            if (tabs->widget(i)->objectName() == objectName) return tabs->tabText(i);
    return QStringLiteral("<no control>");
}

using MainWindow = WindowFixture;

// ---- languages ---------------------------------------------------------------------------------

TEST_F(MainWindow, ItalianAndBackRestoresEveryCaptionWithItsBlanks) {
    createWindow();
    EXPECT_TRUE(ApplyCaptions(*window, MainWindowCaptions(), Language::English).empty()) << "a table row without its control";
    const auto english = Captions(*window);

    find<QAction>("Italian1")->trigger();
    EXPECT_TRUE(find<QAction>("Italian1")->isChecked());
    EXPECT_FALSE(find<QAction>("English1")->isChecked());
    for (const CaptionRow& row : MainWindowCaptions())
        EXPECT_EQ(CaptionOf(*window, row.objectName), CaptionText(row.text, Language::Italian)) << row.objectName;
    const auto* grid = find<QTableView>("Grid_bmeters");
    EXPECT_EQ(grid->model()->headerData(2, Qt::Horizontal).toString(), "Produttore ");
    EXPECT_EQ(grid->model()->headerData(5, Qt::Horizontal).toString(), "Consumo ");
    EXPECT_EQ(find<QPushButton>("Butt_find_primary")->text(), "Cerca");
    EXPECT_EQ(find<QPushButton>("Butt_readall")->text(), "Leggi tutti i dispositivi");
    // Not in the table: stays English.
    EXPECT_EQ(CaptionOf(*window, "TabSheet5"), "   Wireless receiver RXV-KT   ");
    EXPECT_EQ(engine->settings().language(), Language::Italian);

    find<QAction>("English1")->trigger();
    EXPECT_EQ(Captions(*window), english);
    EXPECT_EQ(grid->model()->headerData(11, Qt::Horizontal).toString(), "AES-128 key ");
    EXPECT_EQ(CaptionOf(*window, "Group_search"), "   Search network   ");
}

TEST_F(MainWindow, LanguageTwoInTheIniFileOpensInItalian) {
    writeIni("[Misc]\r\nLanguage=2\r\n");
    createWindow();
    EXPECT_TRUE(find<QAction>("Italian1")->isChecked());
    EXPECT_EQ(CaptionOf(*window, "Exit1"), "Esci");
    EXPECT_EQ(CaptionOf(*window, "TabSheet2"), "   Comunicazione    ");
}

// ---- INI file ----------------------------------------------------------------------------------

TEST_F(MainWindow, NoIniFileGivesTheDefaultsAndTheFirstCloseCreatesIt) {
    createWindow();
    EXPECT_EQ(find<QSpinBox>("UD_address_min")->value(), 0);
    EXPECT_EQ(find<QSpinBox>("UD_address_max")->value(), 0);
    EXPECT_EQ(find<QSpinBox>("UD_timeout")->value(), 500);
    EXPECT_TRUE(find<QAction>("English1")->isChecked());
    EXPECT_EQ(find<QTabWidget>("PageControl1")->currentWidget()->objectName(), "TabSheet1");
    EXPECT_TRUE(find<QCheckBox>("Check_hex")->isChecked());
    EXPECT_FALSE(find<QProgressBar>("ProgressBar1")->isVisibleTo(window.get()));

    window->close();
    const IniFile ini = IniFile::parse(readIni().toStdString());
    EXPECT_EQ(ini.value("Mbus", "Timeout"), "500");
    EXPECT_EQ(ini.value("Misc", "Language"), "1");
    EXPECT_EQ(ini.value("Misc", "Dir"), homePath().toStdString());
    EXPECT_EQ(ini.value("RXVpico", "Secondary"), "00000001");
    EXPECT_EQ(ini.value("RXVpico", "Primary"), "0");
}

TEST_F(MainWindow, ClosingWritesTheWindowsKeysAndKeepsTheOthers) {
    writeIni("[Mbus]\r\nSearchFrom=7\r\nSearchTo=42\r\nTimeout=1250\r\nFastAllowance=40\r\n"
             "[Misc]\r\nDir=/data/meters\r\nLanguage=2\r\nExportSeparator=,\r\n"
             "[Titles]\r\nCount=2\r\nTitle1=Energy total kWh\r\nTitle2=Volume\r\n"
             "[RXVpico]\r\nSecondary=12345678\r\nPrimary=5\r\n[Other]\r\nKeep=1\r\n");
    createWindow();
    auto* from = find<QSpinBox>("UD_address_min");
    auto* to = find<QSpinBox>("UD_address_max");
    auto* timeout = find<QSpinBox>("UD_timeout");
    EXPECT_EQ(from->value(), 7);
    EXPECT_EQ(to->value(), 42);
    EXPECT_EQ(timeout->value(), 1250);
    EXPECT_EQ(engine->meters().responseWindow(), 1250);
    auto* fast = find<QCheckBox>("Check_fast");
    EXPECT_FALSE(fast->isChecked());
    EXPECT_TRUE(find<QAction>("Italian1")->isChecked());
    const auto* grid = find<QTableView>("Grid_bmeters");
    ASSERT_EQ(grid->model()->columnCount(), 12 + 2);
    EXPECT_EQ(grid->model()->headerData(12, Qt::Horizontal).toString(), "Energy total kW");  // cut to 15
    auto* picoId = find<QLineEdit>("Edit_picoID");
    auto* picoAddress = find<QLineEdit>("Edit_rxvAddress");
    EXPECT_EQ(picoId->text(), "12345678");
    EXPECT_EQ(picoAddress->text(), "5");
    EXPECT_EQ(engine->rxvpico().picoId(), "12345678");  // the receiver commands read the fields as shown
    EXPECT_EQ(engine->rxvpico().receiverAddress(), "5");

    from->setValue(3);
    picoId->setText("00000042");
    picoAddress->setText("30");
    EXPECT_EQ(engine->rxvpico().receiverAddress(), "30");
    to->setValue(9);
    timeout->setValue(700);
    EXPECT_EQ(engine->meters().responseWindow(), 700);  // `Edit_timeoutChange` paces every timer
    fast->click();
    EXPECT_TRUE(engine->runner().fastResponse().on);  // the next window is already a fast one
    EXPECT_EQ(engine->runner().fastResponse().allowance, 40);
    find<QAction>("English1")->trigger();
    QSignalSpy closed(window.get(), &TForm11::closed);
    window->close();
    EXPECT_EQ(closed.count(), 1);

    const IniFile ini = IniFile::parse(readIni().toStdString());
    EXPECT_EQ(ini.value("Mbus", "SearchFrom"), "3");
    EXPECT_EQ(ini.value("Mbus", "SearchTo"), "9");
    EXPECT_EQ(ini.value("Mbus", "Timeout"), "700");
    EXPECT_EQ(ini.value("Mbus", "FastResponse"), "1");
    EXPECT_EQ(ini.value("Mbus", "FastAllowance"), "40");
    EXPECT_EQ(ini.value("Misc", "Language"), "1");
    EXPECT_EQ(ini.value("Misc", "Dir"), "/data/meters");
    EXPECT_EQ(ini.value("Misc", "ExportSeparator"), ",");
    EXPECT_EQ(ini.value("Titles", "Title1"), "Energy total kWh");  // the titles are not the window's to write
    EXPECT_EQ(ini.value("RXVpico", "Secondary"), "00000042");
    EXPECT_EQ(ini.value("RXVpico", "Primary"), "30");
    EXPECT_EQ(ini.value("Other", "Keep"), "1");
    EXPECT_TRUE(operatorScript.messages.empty());
}

TEST_F(MainWindow, AnUnwritableFolderIsReportedAndTheProgramStillEnds) {
    // The INI file's folder is a plain file: nothing can be written there, not even by root.
    QFile blocker(inHome(QStringLiteral("not-a-folder")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    createWindow(inHome(QStringLiteral("not-a-folder/veltro.ini")));
    QSignalSpy closed(window.get(), &TForm11::closed);
    window->close();
    EXPECT_EQ(closed.count(), 1);
    ASSERT_EQ(operatorScript.messages.size(), 1u);
    EXPECT_EQ(operatorScript.messages[0].title, "Saving settings");
    EXPECT_EQ(operatorScript.messages[0].text, "Settings will not be saved, no write permission");
    EXPECT_EQ(operatorScript.messages[0].icon, OperatorInterface::Icon::Warning);
}

TEST_F(MainWindow, ClosingWithTheSerialPortOpenClosesIt) {
    auto bus = sim::DefaultBus();
    sim::PtyPort line(*bus);
    ASSERT_TRUE(line.open()) << line.errorString().toStdString();
    writeIni("[Com port]\r\nName=" + line.slavePath().toUtf8() + "\r\nSpeed=2400\r\n");
    createWindow();
    ASSERT_TRUE(engine->serial().open());
    EXPECT_EQ(find<QLabel>("StatusBar1_panel0")->text(), line.slavePath() + " - 2400,8,Even");
    window->close();
    EXPECT_FALSE(engine->serial().isOpen());
    EXPECT_EQ(find<QLabel>("StatusBar1_panel0")->text(), line.slavePath() + " is closed");
}

// ---- login -------------------------------------------------------------------------------------

struct LoginCase {
    const char* what;
    LoginGrant grant;
    bool usersEnabled, settingsEnabled;
};

class LoginRules : public WindowFixture, public ::testing::WithParamInterface<LoginCase> {};

TEST_P(LoginRules, MenusPagesAndMeterControlsFollowTheGrant) {
    const LoginCase& c = GetParam();
    createWindow();
    window->applyLogin(c.grant);
    window->show();
    EXPECT_EQ(find<QAction>("Users1")->isEnabled(), c.usersEnabled);
    EXPECT_EQ(find<QAction>("Settings1")->isEnabled(), c.settingsEnabled);
    auto* pages = find<QTabWidget>("PageControl1");
    auto visible = [&](const char* page) { return pages->isTabVisible(pages->indexOf(find<QWidget>(page))); };
    EXPECT_TRUE(visible("TabSheet1"));
    EXPECT_EQ(visible("TabSheet2"), c.grant.communicationPage);
    EXPECT_EQ(visible("TabSheet3"), c.grant.displayPage);
    EXPECT_EQ(visible("TabSheet4"), c.grant.displayPage);  // the readings page goes with the display page
    EXPECT_TRUE(visible("TabSheet5"));
    for (const char* control : {"Group_advanced", "Check_broadcast", "Label_id", "Label_addr"})
        EXPECT_EQ(find<QWidget>(control)->isVisible(), c.grant.meterConfiguration) << control;
    EXPECT_TRUE(find<QWidget>("Grid_bmeters")->isVisible());
}

INSTANTIATE_TEST_SUITE_P(
    Grants, LoginRules,
    ::testing::Values(LoginCase{"operator without permissions", {Role::Operator, false, false, false}, false, false},
                      LoginCase{"setup with the meter controls", {Role::Setup, true, false, false}, false, true},
                      LoginCase{"administrator with everything", {Role::Administrator, true, true, true}, true, true},
                      LoginCase{"administrator, communication only", {Role::Administrator, false, true, false}, true, true},
                      LoginCase{"operator, display only", {Role::Operator, false, false, true}, false, false}),
    [](const auto& test) {
        std::string name = test.param.what;
        for (char& ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return name;
    });

// ---- console -----------------------------------------------------------------------------------

TEST_F(MainWindow, EachPageSelectsTheConsoleModeOfItsDevices) {
    createWindow();
    window->applyLogin({Role::Administrator, true, true, true});
    auto* pages = find<QTabWidget>("PageControl1");
    auto* ascii = find<QCheckBox>("Check_ascii");
    auto* hex = find<QCheckBox>("Check_hex");
    struct Step {
        const char* page;
        bool hex;
    };
    for (const Step& step : {Step{"TabSheet2", false}, Step{"TabSheet1", true}, Step{"TabSheet3", false},
                             Step{"TabSheet1", true}, Step{"TabSheet5", false}}) {
        pages->setCurrentWidget(find<QWidget>(step.page));
        EXPECT_EQ(hex->isChecked(), step.hex) << step.page;
        EXPECT_EQ(ascii->isChecked(), !step.hex) << step.page;
        EXPECT_EQ(engine->console().mode(), step.hex ? ConsoleMode::Hex : ConsoleMode::Ascii) << step.page;
    }
}

TEST_F(MainWindow, TheConsoleBoxesAreAnExclusivePair) {
    createWindow();
    window->show();
    auto* ascii = find<QCheckBox>("Check_ascii");
    auto* hex = find<QCheckBox>("Check_hex");
    QTest::mouseClick(hex, Qt::LeftButton);  // unchecking "Hex" checks "ASCII"
    EXPECT_TRUE(ascii->isChecked());
    EXPECT_FALSE(hex->isChecked());
    EXPECT_EQ(engine->console().mode(), ConsoleMode::Ascii);
    QTest::mouseClick(hex, Qt::LeftButton);  // checking "Hex" unchecks "ASCII"
    EXPECT_FALSE(ascii->isChecked());
    EXPECT_EQ(engine->console().mode(), ConsoleMode::Hex);
    QTest::mouseClick(ascii, Qt::LeftButton);
    EXPECT_FALSE(hex->isChecked());
    EXPECT_EQ(engine->console().mode(), ConsoleMode::Ascii);
}

TEST_F(MainWindow, AHexCommandWithLowerCaseIsRefusedInTheLog) {
    createWindow();
    window->show();
    QTest::keyClicks(find<QLineEdit>("Edit_command"), "10 5b");
    QTest::mouseClick(find<QPushButton>("Butt_command_send"), Qt::LeftButton);
    EXPECT_EQ(find<QPlainTextEdit>("Memo_current")->toPlainText(), "Wrong custom hex command, 0..F uppercase allowed");
    QTest::mouseClick(find<QPushButton>("BitBtn5"), Qt::LeftButton);
    EXPECT_TRUE(find<QPlainTextEdit>("Memo_current")->toPlainText().isEmpty());
    EXPECT_TRUE(engine->log().lines().isEmpty());
}

TEST_F(MainWindow, EnterInTheCommandFieldSendsLikeTheButton) {
    createWindow();
    window->show();
    QTest::keyClicks(find<QLineEdit>("Edit_command"), "10 5b");
    QTest::keyClick(find<QLineEdit>("Edit_command"), Qt::Key_Return);
    EXPECT_EQ(engine->log().lines(), QStringList{"Wrong custom hex command, 0..F uppercase allowed"});
}

// ---- log view ----------------------------------------------------------------------------------

TEST_F(MainWindow, TheLogViewKeepsTheLogsLinesAndItsCountOfDroppedOnes) {
    createWindow();
    const qsizetype limit = engine->log().maxLines();
    ASSERT_EQ(limit, 100000);
    for (qsizetype i = 0; i < limit + 5; ++i) engine->log().append(QString::number(i));
    const QTextDocument& view = *find<QPlainTextEdit>("Memo_current")->document();
    ASSERT_EQ(view.blockCount(), limit);
    EXPECT_EQ(view.firstBlock().text(), "... 6 older lines dropped");
    EXPECT_EQ(view.firstBlock().next().text(), "6");
    EXPECT_EQ(view.lastBlock().text(), QString::number(limit + 4));
}

TEST_F(MainWindow, TheLogViewDropsTheLinesTheLogDropsForTheirLength) {
    createWindow();
    const QString flood(engine->log().maxCharacters() / 3, 'F');  // a flooding peer's "Respond: " line
    engine->log().append("first");
    for (int i = 0; i < 3; ++i) engine->log().append(flood);
    engine->log().append("last");
    const QTextDocument& view = *find<QPlainTextEdit>("Memo_current")->document();
    const QStringList& lines = engine->log().lines();
    ASSERT_GT(engine->log().droppedCount(), 0);
    ASSERT_EQ(view.blockCount(), lines.size());
    EXPECT_EQ(view.firstBlock().text(), lines.first());
    EXPECT_EQ(view.lastBlock().text(), "last");
    // Shown is the start of a flood line, which the view would take seconds to lay out whole.
    EXPECT_EQ(view.lastBlock().previous().text(), flood.left(4096) + "...");
    EXPECT_EQ(lines.at(lines.size() - 2), flood);
}

TEST_F(MainWindow, TheLogViewFollowsTheNewestLineUnlessScrolledUp) {
    createWindow();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    QScrollBar* bar = find<QPlainTextEdit>("Memo_current")->verticalScrollBar();
    auto append = [&](int count) {
        for (int i = 0; i < count; ++i) engine->log().append(QStringLiteral("Reading device %1").arg(i));
        QApplication::processEvents();
    };
    // Enlarged until every line fits, then made small again: the view must still follow.
    window->resize(1280, 2400);
    append(10);
    window->resize(1280, 600);
    QApplication::processEvents();
    append(40);
    ASSERT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());

    bar->triggerAction(QAbstractSlider::SliderToMinimum);  // the operator reads older lines
    append(5);
    EXPECT_EQ(bar->value(), 0);
    window->resize(1280, 700);
    QApplication::processEvents();
    EXPECT_EQ(bar->value(), 0);

    bar->triggerAction(QAbstractSlider::SliderToMaximum);  // and comes back to the newest
    append(5);
    EXPECT_EQ(bar->value(), bar->maximum());
}

// ---- key filters -------------------------------------------------------------------------------

struct KeyCase {
    const char* field;
    const char* typed;
    const char* shown;
};

class KeyFilters : public WindowFixture, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(KeyFilters, OnlyDigitsReachTheNumericFields) {
    const KeyCase& c = GetParam();
    createWindow();
    window->show();
    auto* field = find<QAbstractSpinBox>(c.field);
    field->clear();
    QTest::keyClicks(field, QString::fromLatin1(c.typed));
    EXPECT_EQ(field->text(), QString::fromLatin1(c.shown));
}

INSTANTIATE_TEST_SUITE_P(SearchFields, KeyFilters,
                         ::testing::Values(KeyCase{"UD_address_min", "1a2", "12"}, KeyCase{"UD_address_max", "2-5.", "25"},
                                           KeyCase{"UD_address_max", "1234", "123"},  // at most 3 characters
                                           KeyCase{"UD_timeout", "1 0x0,0", "1000"}, KeyCase{"UD_timeout", "abc", ""}));

TEST_F(MainWindow, BackspaceStillEditsAFilteredField) {
    createWindow();
    window->show();
    auto* field = find<QSpinBox>("UD_address_min");
    field->clear();
    QTest::keyClicks(field, "45");
    QTest::keyClick(field, Qt::Key_Backspace);
    EXPECT_EQ(field->text(), "4");
}

// ---- menu --------------------------------------------------------------------------------------

TEST_F(MainWindow, ExitAsksAndNoLeavesTheProgramRunning) {
    createWindow();
    window->show();
    QSignalSpy closed(window.get(), &TForm11::closed);
    operatorScript.answer = OperatorInterface::Answer::No;
    find<QAction>("Exit1")->trigger();
    ASSERT_EQ(operatorScript.questions.size(), 1u);
    EXPECT_EQ(operatorScript.questions[0].title, "Exit Confirmation");
    EXPECT_EQ(operatorScript.questions[0].text, "Are you sure you want to exit?");
    EXPECT_EQ(operatorScript.questions[0].buttons, OperatorInterface::Buttons::YesNo);
    EXPECT_EQ(closed.count(), 0);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(QFile::exists(iniPath()));

    find<QAction>("Italian1")->trigger();
    operatorScript.answer = OperatorInterface::Answer::Yes;
    find<QAction>("Exit1")->trigger();
    ASSERT_EQ(operatorScript.questions.size(), 2u);
    EXPECT_EQ(operatorScript.questions[1].title, "Conferma uscita");
    EXPECT_EQ(operatorScript.questions[1].text, "Sei sicuro di voler uscire?");
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(QFile::exists(iniPath()));
}

TEST_F(MainWindow, AMissingUserManualIsReported) {
    createWindow();
    find<QAction>("UserManual2")->trigger();
    ASSERT_EQ(operatorScript.messages.size(), 1u);
    EXPECT_EQ(operatorScript.messages[0].title, "User Manual");
    EXPECT_TRUE(operatorScript.messages[0].text.contains("UsrManRXV.pdf"));
}

// Takes what the program hands to the desktop to open.
class OpenedUrls : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls.push_back(url); }
};

TEST_F(MainWindow, TheUserManualOpensAsAPdfOfSeveralPages) {
    // The manual the build rendered, where a program folder keeps it.
    ASSERT_TRUE(QFile::copy(VELTRO_MANUAL_PDF, QDir(homePath()).filePath("UsrManRXV.pdf")));
    createWindow();
    OpenedUrls opened;
    QDesktopServices::setUrlHandler("file", &opened, "open");
    find<QAction>("UserManual2")->trigger();
    QDesktopServices::unsetUrlHandler("file");
    EXPECT_TRUE(operatorScript.messages.empty());
    ASSERT_EQ(opened.urls.size(), 1);
    QFile pdf(opened.urls[0].toLocalFile());
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly)) << opened.urls[0].toString().toStdString();
    const QByteArray bytes = pdf.readAll();
    EXPECT_TRUE(bytes.startsWith("%PDF-"));
    const qsizetype pages = bytes.count("/Type /Page\n") + bytes.count("/Type /Page\r") + bytes.count("/Type /Page ") +
                            bytes.count("/Type /Page/");
    EXPECT_GT(pages, 1);
}

TEST_F(MainWindow, ToolsAndHelpShowTheirWindowsWithoutBlocking) {
    createWindow();
    QWidget settings, about;
    TFUsers users(homePath(), &operatorScript);
    window->setSettingsWindow(&settings);
    window->setUsersWindow(&users);
    window->setAboutWindow(&about);
    find<QAction>("Settings1")->trigger();
    find<QAction>("Users1")->trigger();
    find<QAction>("About2")->trigger();
    EXPECT_TRUE(settings.isVisible());
    EXPECT_TRUE(users.isVisible());
    EXPECT_TRUE(about.isVisible());
    EXPECT_EQ(users.windowTitle(), "Users and accounts");

    users.hide();
    find<QAction>("Italian1")->trigger();
    find<QAction>("Users1")->trigger();  // the users window follows the menu's language
    EXPECT_EQ(users.windowTitle(), "Utenti e account");
}

TEST_F(MainWindow, TheMenusShowTheKeysAndCtrlSExportsFromAnywhere) {
    createWindow();
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    EXPECT_EQ(find<QAction>("Save1")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
    EXPECT_EQ(find<QAction>("Open1")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_L));
    EXPECT_EQ(find<QAction>("Fullread1")->shortcut(), QKeySequence(Qt::Key_F1));
    EXPECT_EQ(find<QAction>("Deleteselectedrow1")->shortcut(), QKeySequence(Qt::Key_Delete));
    EXPECT_EQ(find<QAction>("SaveExport1")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));

    operatorScript.chosenFile.reset();
    QTest::keyClick(find<QLineEdit>("Edit_command"), Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(operatorScript.saveDialogs.size(), 1u);
}

TEST_F(MainWindow, TheStatusBarShowsTheBridgeInUseAndTheLastResult) {
    startSimulatedBus();
    auto* link = find<QLabel>("StatusBar1_panel0");
    auto* result = find<QLabel>("StatusBar1_panel1");
    const QString endpoint = "127.0.0.1:" + QString::fromStdString(engine->settings().settings().vodud.port);
    EXPECT_EQ(link->text(), "Bridge " + endpoint + " not connected");
    QStringList whileConnected;
    QObject::connect(&engine->bridge(), &BridgeChannel::connectedChanged, link,
                     [&](bool connected) { if (connected) whileConnected.append(link->text()); });
    engine->meters().findPrimary(0, 20);
    ASSERT_TRUE(waitFor([&] { return engine->runner().idle(); }));
    EXPECT_EQ(whileConnected, QStringList{"Bridge " + endpoint + " connected"});
    EXPECT_EQ(link->text(), "Bridge " + endpoint + " not connected");
    EXPECT_EQ(result->text(), "Scan: 9 meters found");

    engine->console().send("10 40 07 47 16");
    ASSERT_TRUE(waitFor([&] { return engine->runner().idle(); }));
    EXPECT_EQ(result->text(), "Command: done");

    find<QAction>("Italian1")->trigger();
    EXPECT_EQ(link->text(), "Bridge " + endpoint + " non connesso");

    Settings serial = engine->settings().settings();
    serial.misc.useVodud = false;
    serial.comPort.name = "COM3";
    engine->settings().setSettings(serial);
    EXPECT_EQ(link->text(), "COM3 is closed");
}

TEST(StatusTexts, OperationResults) {
    EXPECT_EQ(OperationResultText(BusOperation::Scan, OperationOutcome::Completed, 1, Language::English), "Scan: 1 meter found");
    EXPECT_EQ(OperationResultText(BusOperation::Scan, OperationOutcome::Completed, 0, Language::Italian),
              "Scansione: 0 contatori trovati");
    EXPECT_EQ(OperationResultText(BusOperation::Scan, OperationOutcome::Stopped, 3, Language::English), "Scan: stopped");
    EXPECT_EQ(OperationResultText(BusOperation::SingleRead, OperationOutcome::NoResponse, 0, Language::English),
              "Read: no response");
    EXPECT_EQ(OperationResultText(BusOperation::ReadAll, OperationOutcome::LinkFailed, 0, Language::English),
              "Read all: link not available");
    // The kinds after the meter operations once read past the end of the names.
    EXPECT_EQ(OperationResultText(BusOperation::Configuration, OperationOutcome::Completed, 0, Language::English),
              "Configuration: done");
    EXPECT_EQ(OperationResultText(BusOperation::Receiver, OperationOutcome::NoResponse, 0, Language::Italian),
              "Ricevitore: nessuna risposta");
}

TEST_F(MainWindow, StatusBarHasThreePanelsOfTheirWidths) {
    createWindow();
    const int widths[] = {150, 400, 50};
    for (int panel = 0; panel < 3; ++panel)
        EXPECT_EQ(find<QLabel>(QStringLiteral("StatusBar1_panel%1").arg(panel).toLatin1().constData())->width(), widths[panel]);
}

} // namespace
} // namespace veltro::test

#include "main_window_test.moc"
