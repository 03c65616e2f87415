#include "ui/settings_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSerialPortInfo>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include "engine/engine.h"
#include "link/gateway_channels.h"
#include "app/live_settings.h"
#include "link/serial_channel.h"
#include "meters/meter_page.h"
#include "ui/caption_tables.h"
#include "ui/key_filter.h"
#include "ui/named_widgets.h"

namespace veltro {
namespace {

constexpr int kComPortCount = 30;
const char* const kSpeeds[] = {"300", "2400", "4800", "9600", "19200"};
const char* const kParities[] = {"None", "Even", "Odd", "Mark", "Space"};

QString Text(const std::string& text) { return QString::fromStdString(text); }
std::string Bytes(const QString& text) { return text.toStdString(); }

// A combo box's text: the item when it is one, else what was typed.
void SetComboText(QComboBox& combo, const QString& text) {
    const int index = combo.findText(text);
    if (index >= 0) combo.setCurrentIndex(index);
    else combo.setEditText(text);
}

} // namespace

TSettings::TSettings(Engine& engine, QWidget* parent) : QDialog(parent), m_engine(engine) {
    setObjectName(QStringLiteral("TSettings"));
    setWindowTitle(QStringLiteral("Settings"));
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    m_pages = Named(new QTabWidget(this), "PageControl_settings");
    m_pages->addTab(buildCommunicationPage(), QStringLiteral("   Communication settings   "));
    m_pages->addTab(buildAdditionalPage(), QStringLiteral("   Additional m-bus information   "));
    layout->addWidget(m_pages);

    // The port cannot be changed under an open port.
    connect(&m_engine.serial(), &SerialChannel::openChanged, this, [this](bool open) {
        for (QWidget* control : {static_cast<QWidget*>(Combo_com_name), static_cast<QWidget*>(Combo_com_speed),
                                 static_cast<QWidget*>(Combo_com_parity)})
            control->setEnabled(!open);
    });
    showSettings(m_engine.settings().settings());
}

QWidget* TSettings::buildCommunicationPage() {
    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);

    auto* serial = Named(new QGroupBox(QStringLiteral("   Serial port settings   "), page), "GroupBox1");
    auto* serialForm = new QFormLayout(serial);
    Combo_com_name = Named(new QComboBox(serial), "Combo_com_name");
    Combo_com_name->setEditable(true);
    std::vector<SerialPortChoice> systemPorts;
    for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts())
        systemPorts.push_back({port.portName(), port.description()});
    offerPorts(systemPorts);
    // A chosen port with a description puts its bare name in the field, the name the INI file keeps.
    connect(Combo_com_name, &QComboBox::currentIndexChanged, this, [this](int index) {
        const QString name = Combo_com_name->itemData(index).toString();
        if (!name.isEmpty()) Combo_com_name->setEditText(name);
    });
    Combo_com_speed = Named(new QComboBox(serial), "Combo_com_speed");
    Combo_com_speed->setEditable(true);
    for (const char* speed : kSpeeds) Combo_com_speed->addItem(QString::fromLatin1(speed));
    Combo_com_parity = Named(new QComboBox(serial), "Combo_com_parity");
    Combo_com_parity->setEditable(true);
    for (const char* parity : kParities) Combo_com_parity->addItem(QString::fromLatin1(parity));
    serialForm->addRow(NamedLabel("Label_com_name", QStringLiteral("Name"), serial), Combo_com_name);
    serialForm->addRow(NamedLabel("Label_com_speed", QStringLiteral("Speed"), serial), Combo_com_speed);
    serialForm->addRow(NamedLabel("Label_com_parity", QStringLiteral("Parity"), serial), Combo_com_parity);
    Check_rts = NamedCheckBox("Check_rts", QStringLiteral("RTS control"), serial);
    Check_dtr = NamedCheckBox("Check_dtr", QStringLiteral("DTR control"), serial);
    serialForm->addRow(Check_rts);
    serialForm->addRow(Check_dtr);
    grid->addWidget(serial, 0, 0);

    auto* reading = Named(new QGroupBox(QStringLiteral("   Reading and decoding   "), page), "GroupBox2");
    auto* readingForm = new QFormLayout(reading);
    Edit_export_separator = Named(new QLineEdit(reading), "Edit_export_separator");
    Edit_export_separator->setMaxLength(1);
    Edit_export_separator->setFixedWidth(40);
    Edit_decimal = Named(new QLineEdit(reading), "Edit_decimal");
    Edit_decimal->setMaxLength(1);
    Edit_decimal->setFixedWidth(40);
    UD_retry_read = NamedSpinBox("UD_retry_read", 0, kRetryHighest, reading);
    readingForm->addRow(NamedLabel("Label_export_separator", QStringLiteral("Export separator:"), reading),
                        Edit_export_separator);
    readingForm->addRow(NamedLabel("Label_decimal", QStringLiteral("Decimal separator:"), reading), Edit_decimal);
    readingForm->addRow(NamedLabel("Label_retry_read", QStringLiteral("Retries"), reading), UD_retry_read);
    Check_5B = NamedCheckBox("Check_5B", QStringLiteral("Use 0x5B"), reading);
    Global_init = NamedCheckBox("Global_init", QStringLiteral("Global initialization"), reading);
    Check_multitelegram = NamedCheckBox("Check_multitelegram", QStringLiteral("Multi-telegram mode"), reading);
    Check_MSB = NamedCheckBox("Check_MSB", QStringLiteral("Secondary search: MSB first"), reading);
    Check_LSB = NamedCheckBox("Check_LSB", QStringLiteral("Secondary search: LSB first"), reading);
    Check_decodeApator = NamedCheckBox("Check_decodeApator", QStringLiteral("Decode Apator wMbus from RXV"), reading);
    Check_decodeTechem = NamedCheckBox("Check_decodeTechem", QStringLiteral("Decode Techem wmBus"), reading);
    for (QCheckBox* box : {Check_5B, Global_init, Check_multitelegram, Check_MSB, Check_LSB, Check_decodeApator,
                           Check_decodeTechem})
        readingForm->addRow(box);
    grid->addWidget(reading, 1, 0, 2, 1);

    auto* transport = Named(new QGroupBox(QStringLiteral("   TCP/IP   "), page), "GroupBox5");
    auto* transportRows = new QVBoxLayout(transport);
    Check_xport = NamedCheckBox("Check_xport", QStringLiteral("Use VODUD"), transport);
    Check_nlan_server = NamedCheckBox("Check_nlan_server", QStringLiteral("Use NLAN-2 server version"), transport);
    Check_ethernet = NamedCheckBox("Check_ethernet", QStringLiteral("Use NLAN-2 or NCEL-1A as clients"), transport);
    for (QCheckBox* box : {Check_xport, Check_nlan_server, Check_ethernet}) transportRows->addWidget(box);
    grid->addWidget(transport, 0, 1);

    GroupBox4 = Named(new QGroupBox(QStringLiteral("   Remote connection   "), page), "GroupBox4");
    auto* remote = new QFormLayout(GroupBox4);
    Edit_vodud_ip = Named(new QLineEdit(GroupBox4), "Edit_vodud_ip");
    KeyFilter::Install(*Edit_vodud_ip, QStringLiteral("."));
    Edit_vodud_port = Named(new QLineEdit(GroupBox4), "Edit_vodud_port");
    KeyFilter::Install(*Edit_vodud_port);
    Edit_net_number = Named(new QLineEdit(GroupBox4), "Edit_net_number");
    KeyFilter::Install(*Edit_net_number, QStringLiteral("."));
    UD_eth_timeout = NamedSpinBox("UD_eth_timeout", kEthTimeoutLowest, kEthTimeoutHighest, GroupBox4);
    UD_eth_timeout->setSuffix(QStringLiteral(" x 10 ms"));
    Check_closeTCP = NamedCheckBox("Check_closeTCP", QStringLiteral("Close automatically connection"), GroupBox4);
    remote->addRow(NamedLabel("Label_vodud_ip", QStringLiteral("Remote IP number:"), GroupBox4), Edit_vodud_ip);
    remote->addRow(NamedLabel("Label_vodud_port", QStringLiteral("Remote port:"), GroupBox4), Edit_vodud_port);
    remote->addRow(NamedLabel("Label_net_number", QStringLiteral("Network number:"), GroupBox4), Edit_net_number);
    remote->addRow(NamedLabel("Label_eth_timeout", QStringLiteral("Ethernet timeout"), GroupBox4), UD_eth_timeout);
    remote->addRow(Check_closeTCP);
    grid->addWidget(GroupBox4, 1, 1);

    GroupBox3 = Named(new QGroupBox(QStringLiteral("   Listening for gateways   "), page), "GroupBox3");
    auto* listen = new QFormLayout(GroupBox3);
    Edit_tcp_port = Named(new QLineEdit(GroupBox3), "Edit_tcp_port");
    KeyFilter::Install(*Edit_tcp_port);
    listen->addRow(NamedLabel("Label_tcp_port", QStringLiteral("Port to listen:"), GroupBox3), Edit_tcp_port);
    Check_open_tcp = NamedCheckBox("Check_open_tcp", QStringLiteral("Auto open and listen"), GroupBox3);
    Check_autoldu = NamedCheckBox("Check_autoldu", QStringLiteral("Auto read LDM Display"), GroupBox3);
    Check_autombus = NamedCheckBox("Check_autombus", QStringLiteral("Auto read m-bus by Primary address"), GroupBox3);
    Check_autoSecondary = NamedCheckBox("Check_autoSecondary", QStringLiteral("Auto search secondary address"), GroupBox3);
    Check_keepAlive = NamedCheckBox("Check_keepAlive", QStringLiteral("Keep alive"), GroupBox3);
    for (QCheckBox* box : {Check_open_tcp, Check_autoldu, Check_autombus, Check_autoSecondary, Check_keepAlive})
        listen->addRow(box);
    UD_timerReload = NamedSpinBox("UD_timerReload", 0, kTimerReloadHighest, GroupBox3);
    listen->addRow(NamedLabel("Label_timerReload", QStringLiteral("Timeout reload when GPRS"), GroupBox3), UD_timerReload);
    grid->addWidget(GroupBox3, 2, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto* apply = Named(new QPushButton(QStringLiteral("Apply"), page), "BitBtn1");
    auto* cancel = Named(new QPushButton(QStringLiteral("Cancel"), page), "BitBtn2");
    buttons->addWidget(apply);
    buttons->addWidget(cancel);
    grid->addLayout(buttons, 3, 0, 1, 2);
    grid->setRowStretch(4, 1);

    connect(apply, &QPushButton::clicked, this, &TSettings::BitBtn1Click);
    connect(cancel, &QPushButton::clicked, this, &TSettings::BitBtn2Click);
    connect(Check_xport, &QCheckBox::clicked, this, &TSettings::Check_xportClick);
    connect(Check_nlan_server, &QCheckBox::clicked, this, &TSettings::Check_nlan_serverClick);
    connect(Check_ethernet, &QCheckBox::clicked, this, &TSettings::Check_ethernetClick);
    connect(Check_MSB, &QCheckBox::clicked, this, &TSettings::Check_MSBClick);
    connect(Check_LSB, &QCheckBox::clicked, this, &TSettings::Check_LSBClick);
    connect(Check_autoldu, &QCheckBox::clicked, this, &TSettings::Check_autolduClick);
    connect(Check_autombus, &QCheckBox::clicked, this, &TSettings::Check_autombusClick);
    connect(Check_autoSecondary, &QCheckBox::clicked, this, &TSettings::Check_autoSecondaryClick);
    connect(Check_keepAlive, &QCheckBox::clicked, this, &TSettings::Check_keepAliveClick);

    // Whatever the operator changes is the live setting at once.
    auto live = [this] { takeControls(); };
    for (QComboBox* combo : {Combo_com_name, Combo_com_speed, Combo_com_parity})
        connect(combo, &QComboBox::currentTextChanged, this, live);
    for (QLineEdit* edit : {Edit_export_separator, Edit_decimal, Edit_vodud_ip, Edit_vodud_port, Edit_net_number, Edit_tcp_port})
        connect(edit, &QLineEdit::textChanged, this, live);
    for (QSpinBox* spin : {UD_retry_read, UD_eth_timeout, UD_timerReload}) connect(spin, &QSpinBox::valueChanged, this, live);
    for (QCheckBox* box : page->findChildren<QCheckBox*>()) connect(box, &QCheckBox::toggled, this, live);
    return page;
}

void TSettings::offerPorts(const std::vector<SerialPortChoice>& systemPorts) {
    const QString typed = Combo_com_name->currentText();
    const QSignalBlocker quiet(Combo_com_name);
    Combo_com_name->clear();
    for (int n = 1; n <= kComPortCount; ++n) Combo_com_name->addItem(QStringLiteral("COM%1").arg(n));
    static const QRegularExpression kComDevice(QStringLiteral("^ttyS(\\d+)$"));
    for (const SerialPortChoice& port : systemPorts) {
        // ttyS0..ttyS29 are offered already, as COM1..COM30.
        if (const auto match = kComDevice.match(port.name); match.hasMatch() && match.captured(1).toInt() < kComPortCount)
            continue;
        if (Combo_com_name->findData(port.name) >= 0 || Combo_com_name->findText(port.name) >= 0) continue;
        Combo_com_name->addItem(port.description.isEmpty() ? port.name : port.name + QStringLiteral(" - ") + port.description,
                                port.name);
    }
    Combo_com_name->setEditText(typed);
}

QString TSettings::portName() const {
    const QString text = Combo_com_name->currentText();
    const QString name = Combo_com_name->itemData(Combo_com_name->findText(text)).toString();
    return name.isEmpty() ? text : name;
}

QWidget* TSettings::buildAdditionalPage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* countRow = new QHBoxLayout;
    countRow->addWidget(NamedLabel("Label_addValues", QStringLiteral("Additional values:"), page));
    UD_addValues = NamedSpinBox("UD_addValues", 0, kAdditionalTitleCount, page);
    countRow->addWidget(UD_addValues);
    countRow->addStretch(1);
    layout->addLayout(countRow);

    auto* titles = new QGridLayout;
    for (int k = 0; k < kAdditionalTitleCount; ++k) {
        auto* edit = new QLineEdit(page);
        edit->setObjectName(QStringLiteral("Edit%1").arg(k + 1));
        edit->setPlaceholderText(QStringLiteral("Title %1").arg(k + 1));
        m_titleEdits[static_cast<std::size_t>(k)] = edit;
        titles->addWidget(edit, k % 8, k / 8);
        connect(edit, &QLineEdit::textChanged, this, [this] { takeControls(); });
    }
    layout->addLayout(titles);
    layout->addStretch(1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto* apply = Named(new QPushButton(QStringLiteral("Apply"), page), "BitBtn3");
    auto* close = Named(new QPushButton(QStringLiteral("Close"), page), "BitBtn4");
    buttons->addWidget(apply);
    buttons->addWidget(close);
    layout->addLayout(buttons);

    connect(UD_addValues, &QSpinBox::valueChanged, this, &TSettings::EditAddValuesChange);
    connect(apply, &QPushButton::clicked, this, &TSettings::BitBtn3Click);
    connect(close, &QPushButton::clicked, this, &TSettings::BitBtn4Click);
    return page;
}

// ---- controls and live settings ----------------------------------------------------------------

void TSettings::showSettings(const Settings& s) {
    m_showing = true;
    if (const int index = Combo_com_name->findData(Text(s.comPort.name)); index >= 0) Combo_com_name->setCurrentIndex(index);
    else SetComboText(*Combo_com_name, Text(s.comPort.name));
    SetComboText(*Combo_com_speed, Text(s.comPort.speed));
    SetComboText(*Combo_com_parity, Text(s.comPort.parity));
    Check_rts->setChecked(s.comPort.rts);
    Check_dtr->setChecked(s.comPort.dtr);
    Edit_export_separator->setText(Text(s.misc.exportSeparator));
    Edit_decimal->setText(Text(s.misc.decSeparator));
    UD_retry_read->setValue(s.misc.retry);
    Check_ethernet->setChecked(s.misc.useEthernet);
    Check_xport->setChecked(s.misc.useVodud);
    Check_nlan_server->setChecked(s.misc.useNlanServ);
    Check_5B->setChecked(s.misc.use5B);
    Global_init->setChecked(s.misc.globalInit);
    Check_MSB->setChecked(s.misc.msbSearch);
    Check_LSB->setChecked(s.misc.lsbSearch);
    Check_multitelegram->setChecked(s.misc.multitelegram);
    Check_decodeApator->setChecked(s.misc.decodeApator);
    Check_decodeTechem->setChecked(s.misc.decodeTechem);
    Edit_tcp_port->setText(Text(s.ethernet.listenPort));
    Check_open_tcp->setChecked(s.ethernet.autoOpen);
    Check_autoldu->setChecked(s.ethernet.autoLdu);
    Check_autombus->setChecked(s.ethernet.autoMbus);
    Check_autoSecondary->setChecked(s.ethernet.autoSecondary);
    Check_keepAlive->setChecked(s.ethernet.keepAlive);
    UD_timerReload->setValue(s.ethernet.timerReload);
    Edit_vodud_ip->setText(Text(s.vodud.ip));
    Edit_vodud_port->setText(Text(s.vodud.port));
    Edit_net_number->setText(Text(s.vodud.netNumber));
    UD_eth_timeout->setValue(s.vodud.ethTimeout);
    Check_closeTCP->setChecked(s.vodud.closeTcp);
    UD_addValues->setValue(s.titles.count);
    for (int k = 0; k < kAdditionalTitleCount; ++k)
        m_titleEdits[static_cast<std::size_t>(k)]->setText(Text(s.titles.titles[static_cast<std::size_t>(k)]));
    EditAddValuesChange(s.titles.count);
    m_showing = false;
    updateGroups();
}

void TSettings::takeControls() {
    if (m_showing) return;
    Settings s = m_engine.settings().settings();
    s.comPort.name = Bytes(portName());
    s.comPort.speed = Bytes(Combo_com_speed->currentText());
    s.comPort.parity = Bytes(Combo_com_parity->currentText());
    s.comPort.rts = Check_rts->isChecked();
    s.comPort.dtr = Check_dtr->isChecked();
    s.misc.exportSeparator = Bytes(Edit_export_separator->text());
    s.misc.decSeparator = Bytes(Edit_decimal->text());
    s.misc.retry = UD_retry_read->value();
    s.misc.useEthernet = Check_ethernet->isChecked();
    s.misc.useVodud = Check_xport->isChecked();
    s.misc.useNlanServ = Check_nlan_server->isChecked();
    s.misc.use5B = Check_5B->isChecked();
    s.misc.globalInit = Global_init->isChecked();
    s.misc.msbSearch = Check_MSB->isChecked();
    s.misc.lsbSearch = Check_LSB->isChecked();
    s.misc.multitelegram = Check_multitelegram->isChecked();
    s.misc.decodeApator = Check_decodeApator->isChecked();
    s.misc.decodeTechem = Check_decodeTechem->isChecked();
    s.ethernet.listenPort = Bytes(Edit_tcp_port->text());
    s.ethernet.autoOpen = Check_open_tcp->isChecked();
    s.ethernet.autoLdu = Check_autoldu->isChecked();
    s.ethernet.autoMbus = Check_autombus->isChecked();
    s.ethernet.autoSecondary = Check_autoSecondary->isChecked();
    s.ethernet.keepAlive = Check_keepAlive->isChecked();
    s.ethernet.timerReload = UD_timerReload->value();
    s.vodud.ip = Bytes(Edit_vodud_ip->text());
    s.vodud.port = Bytes(Edit_vodud_port->text());
    s.vodud.netNumber = Bytes(Edit_net_number->text());
    s.vodud.ethTimeout = UD_eth_timeout->value();
    s.vodud.closeTcp = Check_closeTCP->isChecked();
    s.titles.count = UD_addValues->value();
    for (int k = 0; k < kAdditionalTitleCount; ++k)
        s.titles.titles[static_cast<std::size_t>(k)] = Bytes(m_titleEdits[static_cast<std::size_t>(k)]->text());
    m_engine.settings().setSettings(s);
}

// The remote group serves the bridge and the gateway client, the listening group the gateway server.
void TSettings::updateGroups() {
    GroupBox4->setEnabled(Check_xport->isChecked() || Check_nlan_server->isChecked());
    GroupBox3->setEnabled(Check_ethernet->isChecked());
}

void TSettings::showEvent(QShowEvent* event) {
    // Opening re-reads the file: what was typed and cancelled last time is gone.
    m_engine.settings().reloadSettingsWindow();
    showSettings(m_engine.settings().settings());
    applyLanguage();
    QDialog::showEvent(event);
}

void TSettings::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) applyLanguage();
}

void TSettings::applyLanguage() { ApplyCaptions(*this, SettingsWindowCaptions(), m_engine.settings().language()); }

// ---- handlers ----------------------------------------------------------------------------------

void TSettings::BitBtn1Click() {
    takeControls();
    // A failure is shown by the settings ("Settings will not be saved, no write permission"); the
    // values stay live for this run and the window closes all the same.
    m_engine.settings().applyCommunication();
    // The listening socket opens again, on the port now set, when the main window is active again.
    m_engine.gatewayServer().close();
    close();
}

void TSettings::BitBtn2Click() { close(); }

void TSettings::BitBtn3Click() {
    takeControls();
    m_engine.settings().applyTitles();
    m_engine.meters().applyTitles();
    close();
}

void TSettings::BitBtn4Click() { close(); }

void TSettings::Check_xportClick() {
    if (Check_xport->isChecked()) {
        Check_nlan_server->setChecked(false);
        Check_ethernet->setChecked(false);
    }
    updateGroups();
}

void TSettings::Check_nlan_serverClick() {
    if (Check_nlan_server->isChecked()) {
        Check_xport->setChecked(false);
        Check_ethernet->setChecked(false);
    }
    updateGroups();
}

void TSettings::Check_ethernetClick() {
    if (Check_ethernet->isChecked()) {
        Check_xport->setChecked(false);
        Check_nlan_server->setChecked(false);
    }
    updateGroups();
}

void TSettings::Check_MSBClick() { Check_LSB->setChecked(!Check_MSB->isChecked()); }

void TSettings::Check_LSBClick() { Check_MSB->setChecked(!Check_LSB->isChecked()); }

void TSettings::Check_autolduClick() {
    if (Check_autoldu->isChecked()) Check_autombus->setChecked(false);
}

void TSettings::Check_autombusClick() {
    if (!Check_autombus->isChecked()) return;
    for (QCheckBox* other : {Check_autoldu, Check_autoSecondary, Check_keepAlive}) other->setChecked(false);
}

void TSettings::Check_autoSecondaryClick() {
    if (!Check_autoSecondary->isChecked()) return;
    for (QCheckBox* other : {Check_autoldu, Check_autombus, Check_keepAlive}) other->setChecked(false);
}

void TSettings::Check_keepAliveClick() {
    if (!Check_keepAlive->isChecked()) return;
    for (QCheckBox* other : {Check_autoldu, Check_autoSecondary, Check_autombus}) other->setChecked(false);
}

void TSettings::EditAddValuesChange(int count) {
    for (int k = 0; k < kAdditionalTitleCount; ++k) m_titleEdits[static_cast<std::size_t>(k)]->setVisible(k < count);
}

} // namespace veltro
