#include "ui/gateway_page_view.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "engine/engine.h"
#include "link/free_command_console.h"
#include "ui/key_filter.h"
#include "ui/named_widgets.h"

namespace veltro {
namespace {

const QString kSet = QStringLiteral("Set");
const QString kIpKeys = QStringLiteral(".");
constexpr int kTwoDigits = 2;

// The page and the command set are one design: a button without its row is a fault of the build.
const GatewayCommandRow& RowOf(std::string_view button) {
    for (const GatewayCommandRow& row : GatewayCommandSet())
        if (row.button == button) return row;
    qFatal("no gateway command has the button %s", std::string(button).c_str());
}

std::string Typed(const QLineEdit* field) { return field->text().toStdString(); }
std::string Typed(const QComboBox* box) { return box->currentText().toStdString(); }

QComboBox* NamedCombo(const char* name, const auto& items, QWidget* parent) {
    auto* combo = Named(new QComboBox(parent), name);
    for (const char* item : items) combo->addItem(QString::fromLatin1(item));
    // Typed text is checked when "Set" is pressed; nothing is chosen at start.
    combo->setEditable(true);
    combo->setCurrentIndex(-1);
    return combo;
}

} // namespace

GatewayPageView::GatewayPageView(Engine& engine, QWidget* parent)
    : QWidget(parent), m_engine(engine),
      m_sender(engine.settings(), engine.log(), engine.runner(), engine.console()) {
    setObjectName(QStringLiteral("TabSheet2"));
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(buildNetworkGroup());
    layout->addWidget(buildOtherGroup());
    layout->addWidget(buildInformationButtons());
    layout->addStretch(1);
    chooseNlan2(true);
}

QLineEdit* GatewayPageView::commandField(const char* name, const char* button, const QString& extraKeys, bool digitsOnly) {
    auto* field = Named(new QLineEdit(this), name);
    field->setMaxLength(static_cast<int>(RowOf(button).maxLength));
    if (digitsOnly) KeyFilter::Install(*field, extraKeys);
    return field;
}

QSpinBox* GatewayPageView::commandUpDown(const char* upDownName, const char* editName, const char* button, QLineEdit** edit) {
    const GatewayCommandRow& row = RowOf(button);
    return NamedUpDown(upDownName, editName, row.low, row.high, 1, kTwoDigits, this, edit);
}

QPushButton* GatewayPageView::commandButton(const char* name, const QString& caption, std::initializer_list<QWidget*> fields,
                                            Values values) {
    const GatewayCommandRow& row = RowOf(name);
    QPushButton* button = NamedButton(name, caption, this);
    if (row.device != GatewayDevice::Both) {
        m_deviceControls.emplace_back(button, row.device);
        for (QWidget* field : fields) m_deviceControls.emplace_back(field, row.device);
    }
    if (!values) {
        const std::string fixed(row.fixedValue);
        values = [fixed] { return fixed.empty() ? std::vector<std::string>{} : std::vector<std::string>{fixed}; };
    }
    connect(button, &QPushButton::clicked, this, [this, &row, values] {
        if (row.verb == GatewayVerb::Get) m_sender.get(row.name);
        else m_sender.set(row.name, values());
    });
    return button;
}

QGroupBox* GatewayPageView::buildNetworkGroup() {
    auto* group = Named(new QGroupBox(QStringLiteral("   Network related options   "), this), "Group_network");
    auto* grid = new QGridLayout(group);
    int line = 0;
    auto row = [&](const char* labelName, const QString& caption, QWidget* field, QPushButton* button) {
        grid->addWidget(NamedLabel(labelName, caption, group), line, 0);
        grid->addWidget(field, line, 1);
        grid->addWidget(button, line++, 2);
    };

    Check_nlan2 = NamedCheckBox("Check_nlan2", QStringLiteral("NLAN"), group);
    Check_ncel = NamedCheckBox("Check_ncel", QStringLiteral("NCEL"), group);
    auto* devices = new QHBoxLayout;
    devices->addWidget(Check_nlan2);
    devices->addWidget(Check_ncel);
    devices->addStretch(1);
    grid->addLayout(devices, line++, 0, 1, 3);
    connect(Check_nlan2, &QCheckBox::clicked, this, &GatewayPageView::Check_nlan2Click);
    connect(Check_ncel, &QCheckBox::clicked, this, &GatewayPageView::Check_ncelClick);

    // An IP field and its button: the row's command with the field's text.
    auto ipRow = [&](const char* labelName, const QString& caption, const char* fieldName, const char* buttonName) {
        QLineEdit* field = commandField(fieldName, buttonName, kIpKeys, true);
        row(labelName, caption, field, commandButton(buttonName, kSet, {field}, [field] { return std::vector{Typed(field)}; }));
        return field;
    };
    ipRow("Label_own_ip", QStringLiteral("Set Own IPv4"), "Edit_own_ip", "Butt_CMT");
    ipRow("Label_mask_ip", QStringLiteral("Set Netmask"), "Edit_mask_ip", "Butt_CET");
    ipRow("Label_gw_ip", QStringLiteral("Set gateway IP"), "Edit_gw_ip", "Butt_MET");
    ipRow("Label_network", QStringLiteral("Set Network number"), "Edit_network", "Butt_nlan_nn");
    ipRow("Label_man_ip", QStringLiteral("Manufacturer IP"), "Edit_man_ip", "Butt_nlan_manip");
    ipRow("Label_control_ip", QStringLiteral("Control IP"), "Edit_control_ip", "Butt_nlan2_conip");

    // One field for the four operator slots: its button picks the command by the checked slot.
    Edit_op1_ip = commandField("Edit_op1_ip", "Butt_nlan2_op1", kIpKeys, true);
    auto* Butt_nlan2_op1 = NamedButton("Butt_nlan2_op1", kSet, group);
    connect(Butt_nlan2_op1, &QPushButton::clicked, this, &GatewayPageView::Butt_nlan2_op1Click);
    row("Label_op_ip", QStringLiteral("Operator IP"), Edit_op1_ip, Butt_nlan2_op1);
    auto* slotRow = new QHBoxLayout;
    for (int slot = 1; slot <= static_cast<int>(m_operatorSlots.size()); ++slot) {
        QCheckBox*& box = m_operatorSlots[static_cast<std::size_t>(slot - 1)];
        box = NamedCheckBox(QStringLiteral("Check_op%1").arg(slot).toLatin1().constData(), QStringLiteral("#%1").arg(slot), group);
        connect(box, &QCheckBox::clicked, this, [this, slot] { Check_opClick(slot); });
        slotRow->addWidget(box);
    }
    m_operatorSlots[0]->setChecked(true);
    slotRow->addStretch(1);
    grid->addLayout(slotRow, line++, 1, 1, 2);

    // The GPRS texts go as typed; only the PIN is held to digits.
    auto textRow = [&](const char* labelName, const QString& caption, const char* fieldName, const char* buttonName, bool digits) {
        QLineEdit* field = commandField(fieldName, buttonName, {}, digits);
        row(labelName, caption, field, commandButton(buttonName, kSet, {field}, [field] { return std::vector{Typed(field)}; }));
    };
    textRow("Label_gprs_pin", QStringLiteral("Set PIN code"), "Edit_gprs_pin", "Butt_gprs_pin", true);
    textRow("Label_gprs_username", QStringLiteral("Set GPRS user (0 = delete)"), "Edit_gprs_username", "Butt_gprs_user", false);
    textRow("Label_gprs_pass", QStringLiteral("Set GRPS password (0 = delete)"), "Edit_gprs_pass", "Butt_gprs_pass", false);
    textRow("Label_apn", QStringLiteral("Set access point name (APN)"), "Edit_apn", "Butt_apn", false);
    textRow("Label_phone_number", QStringLiteral("Set phone number (0=delete)"), "Edit_phone_number", "Butt_phone_number", false);
    grid->setRowStretch(line, 1);
    return group;
}

QGroupBox* GatewayPageView::buildOtherGroup() {
    auto* group = Named(new QGroupBox(QStringLiteral("   Other options   "), this), "Group_other");
    auto* grid = new QGridLayout(group);
    int line = 0;

    QComboBox* Combo_com2_speed = NamedCombo("Combo_com2_speed", kCom2SpeedItems, group);
    QComboBox* Combo_com2_parity = NamedCombo("Combo_com2_parity", kCom2ParityItems, group);
    grid->addWidget(NamedLabel("Label_com2_speed", QStringLiteral("Serial speed"), group), line, 0);
    grid->addWidget(Combo_com2_speed, line++, 1);
    grid->addWidget(NamedLabel("Label_com2_parity", QStringLiteral("Serial parity"), group), line, 0);
    grid->addWidget(Combo_com2_parity, line, 1);
    grid->addWidget(commandButton("Butt_DDT", kSet, {Combo_com2_speed, Combo_com2_parity},
                                  [Combo_com2_speed, Combo_com2_parity] {
                                      return std::vector{Typed(Combo_com2_speed), Typed(Combo_com2_parity)};
                                  }),
                    line++, 2);

    // Day, hour and minute, each an up-down with its caption above it.
    grid->addWidget(NamedLabel("Label_due_date", QStringLiteral("Set due date (dd/hh/mm)"), group), line++, 0, 1, 3);
    auto* dueDate = new QGridLayout;
    const std::array<std::pair<const char*, QString>, kDueDateFields.size()> captions{
        std::pair{"Label_day", QStringLiteral("Day")}, std::pair{"Label_hour", QStringLiteral("Hour")},
        std::pair{"Label_minute", QStringLiteral("Minute")}};
    std::vector<QLineEdit*> dueFields;
    std::vector<QWidget*> dueUpDowns;
    for (std::size_t i = 0; i < kDueDateFields.size(); ++i) {
        const UpDownRange& range = kDueDateFields[i];
        const std::string editName = "Edit_" + std::string(range.control).substr(3);  // "UD_day" -> "Edit_day"
        QLineEdit* edit = nullptr;
        QSpinBox* upDown = NamedUpDown(range.control, editName.c_str(), range.low, range.high, 1, kTwoDigits, group, &edit);
        dueDate->addWidget(NamedLabel(captions[i].first, captions[i].second, group), 0, static_cast<int>(i));
        dueDate->addWidget(upDown, 1, static_cast<int>(i));
        dueFields.push_back(edit);
        dueUpDowns.push_back(upDown);
    }
    grid->addLayout(dueDate, line, 0, 1, 2);
    QPushButton* Butt_OHA = commandButton("Butt_OHA", kSet, {}, [dueFields] {
        std::vector<std::string> values;
        for (const QLineEdit* field : dueFields) values.push_back(Typed(field));
        return values;
    });
    grid->addWidget(Butt_OHA, line++, 2, Qt::AlignBottom);

    // An up-down and its button: the row's command with the position as typed in its field.
    auto upDownRow = [&](const char* labelName, const QString& caption, const char* upDownName, const char* editName,
                         const char* buttonName) {
        QLineEdit* edit = nullptr;
        QSpinBox* upDown = commandUpDown(upDownName, editName, buttonName, &edit);
        grid->addWidget(NamedLabel(labelName, caption, group), line++, 0, 1, 3);
        grid->addWidget(upDown, line, 1);
        grid->addWidget(commandButton(buttonName, kSet, {upDown}, [edit] { return std::vector{Typed(edit)}; }), line++, 2);
    };
    upDownRow("Label_retries", QStringLiteral("Set number of connect retries"), "UD_retries", "Edit_retries", "Butt_TXG");
    upDownRow("Label_retry_timeout", QStringLiteral("Set retry timeout (0.1 - 5s)"), "UD_retry_timeout", "Edit_retry_timeout",
              "Butt_RXG");
    upDownRow("Label_ping", QStringLiteral("Set Ping server timeout (1-48)"), "UD_ping", "Edit_ping", "Butt_DPP");
    upDownRow("Label_nlan_mbus", QStringLiteral("m-bus response timeout (0.3 - 2.5s)"), "UD_nlan_mbus",
              "Edit_nlan_mbus_response", "Butt_nlan_mbus_response");

    grid->addWidget(commandButton("Butt_eth_date", QStringLiteral("Set Date"), {}), line, 0);
    grid->addWidget(commandButton("Butt_eth_time", QStringLiteral("Set Time"), {}), line++, 1);
    grid->addWidget(commandButton("BitBtn39", QStringLiteral("Set as server"), {}), line, 0);
    grid->addWidget(commandButton("BitBtn40", QStringLiteral("Set as client"), {}), line++, 1);
    grid->setRowStretch(line, 1);
    return group;
}

QWidget* GatewayPageView::buildInformationButtons() {
    auto* column = new QWidget(this);
    auto* layout = new QVBoxLayout(column);
    layout->addWidget(commandButton("Butt_nlan2_test", QStringLiteral("Test IP"), {}));
    layout->addWidget(commandButton("Butt_eth_main", QStringLiteral("Main info"), {}));
    layout->addWidget(commandButton("Butt_eth_service", QStringLiteral("Service info"), {}));
    layout->addWidget(commandButton("Butt_eth_conn", QStringLiteral("Connection"), {}));
    layout->addWidget(commandButton("Butt_eth_oper", QStringLiteral("OP's info"), {}));
    layout->addWidget(commandButton("Butt_gprs_info", QStringLiteral("Get GPRS info"), {}));
    layout->addWidget(commandButton("Butt_gprs_stat", QStringLiteral("Get GRPS status"), {}));
    layout->addStretch(1);
    return column;
}

void GatewayPageView::chooseNlan2(bool nlan2) {
    Check_nlan2->setChecked(nlan2);
    Check_ncel->setChecked(!nlan2);
    const GatewayDevice chosen = nlan2 ? GatewayDevice::Nlan2 : GatewayDevice::Ncel1A;
    for (const auto& [control, device] : m_deviceControls) control->setEnabled(device == chosen);
}

void GatewayPageView::Check_nlan2Click() { chooseNlan2(Check_nlan2->isChecked()); }

void GatewayPageView::Check_ncelClick() { chooseNlan2(!Check_ncel->isChecked()); }

void GatewayPageView::Check_opClick(int slot) {
    const std::size_t index = static_cast<std::size_t>(slot - 1);
    if (index >= m_operatorSlots.size() || !m_operatorSlots[index]->isChecked()) return;
    for (std::size_t other = 0; other < m_operatorSlots.size(); ++other)
        if (other != index) m_operatorSlots[other]->setChecked(false);
}

void GatewayPageView::Butt_nlan2_op1Click() {
    // The rows of this button are the slots' commands, "IPO1" to "IPO4", in slot order.
    std::size_t slot = 0;
    for (const GatewayCommandRow& row : GatewayCommandSet()) {
        if (row.button != "Butt_nlan2_op1") continue;
        if (slot < m_operatorSlots.size() && m_operatorSlots[slot]->isChecked()) {
            m_sender.set(row.name, {Typed(Edit_op1_ip)});
            return;
        }
        ++slot;
    }
    m_engine.console().collectAnswer();
}

} // namespace veltro
