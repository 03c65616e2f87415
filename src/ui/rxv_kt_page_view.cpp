#include "ui/rxv_kt_page_view.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/live_settings.h"
#include "app/operator_interface.h"
#include "devices/rxv_kt_engine.h"
#include "devices/rxv_table.h"
#include "engine/engine.h"
#include "ui/application_identity.h"
#include "ui/device_grid.h"
#include "ui/file_io.h"
#include "ui/named_widgets.h"

namespace veltro {
namespace {

static_assert(std::size(RxvKtPageView::kColumnWidths) == kRxvColumns);

constexpr const char* kStepNames[] = {"CheckBox1", "CheckBox2", "Check_bind", "CheckBox3"};
constexpr const char* kStepCaptions[] = {"Activate selected", "Save unit", "Save AES-128 key", "Delete selected"};
static_assert(std::size(kStepNames) == kRxvStepOrder.size() && std::size(kStepCaptions) == kRxvStepOrder.size());

QString FromUtf8(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// The editor keys of each column as `ReceiverKeyAccepted` decides them: a column that takes every
// printable character takes any key, the others the digits and whatever else it lets through.
DeviceGrid::ColumnKeys ReceiverColumnKeys() {
    DeviceGrid::ColumnKeys keys(kRxvColumns);
    for (int column = 0; column < kRxvColumns; ++column) {
        QString extra;
        bool all = true;
        for (char c = ' '; c <= '~'; ++c) {
            if (!ReceiverKeyAccepted(column, c)) all = false;
            else if (c < '0' || c > '9') extra += QLatin1Char(c);
        }
        if (!all) keys[static_cast<std::size_t>(column)] = extra;
    }
    return keys;
}

QComboBox* NamedCombo(const char* name, const QStringList& items, QWidget* parent) {
    auto* combo = Named(new QComboBox(parent), name);
    // Typed text goes to the receiver as the engine maps it ("Install" is a work mode no item lists).
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->addItems(items);
    return combo;
}

} // namespace

RxvKtPageView::RxvKtPageView(Engine& engine, QWidget* parent) : QWidget(parent), m_engine(engine), m_rxv(engine.rxvKt()) {
    setObjectName(QStringLiteral("TabSheet5"));
    auto* layout = new QVBoxLayout(this);

    Grid_rxv = Named(new DeviceGrid(kColumnWidths, ReceiverColumnKeys(), true, this), "Grid_rxv");
    m_model = new DeviceTableModel(
        m_rxv.table(), [this](int row, int column, const std::string& text) { return m_rxv.setCell(row, column, text); }, this);
    Grid_rxv->setModel(m_model);
    Grid_rxv->setContextMenuPolicy(Qt::CustomContextMenu);
    layout->addWidget(Grid_rxv, 1);
    ContextMenuRXV = buildContextMenu();

    auto* controls = new QHBoxLayout;
    controls->addWidget(buildRunControls());
    controls->addWidget(buildKeyGroup());
    controls->addWidget(buildReceiverSettings());
    controls->addStretch(1);
    layout->addLayout(controls);

    connect(Grid_rxv, &DeviceGrid::cellSelected, this, &RxvKtPageView::Grid_rxvSelectCell);
    connect(Grid_rxv, &DeviceGrid::boxToggled, this, &RxvKtPageView::Grid_rxvBoxToggled);
    connect(Grid_rxv, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { ContextMenuRXV->popup(Grid_rxv->viewport()->mapToGlobal(at)); });
    connect(&m_rxv, &RxvKtEngine::tablesChanged, m_model, &DeviceTableModel::tableChanged);
    connect(&m_rxv, &RxvKtEngine::tablesChanged, this, &RxvKtPageView::updateLabels);
    connect(&m_rxv, &RxvKtEngine::stepsChanged, this, &RxvKtPageView::updateSteps);
    connect(&m_rxv, &RxvKtEngine::keySettingsChanged, this, &RxvKtPageView::updateKeySettings);
    connect(&m_rxv, &RxvKtEngine::pageStateChanged, this, &RxvKtPageView::updatePageState);
    updateSteps();
    updateKeySettings();
    updatePageState();
    updateLabels();
}

QWidget* RxvKtPageView::buildRunControls() {
    auto* column = new QWidget(this);
    auto* grid = new QGridLayout(column);
    Label45 = NamedLabel("Label45", {}, column);
    Label46 = NamedLabel("Label46", {}, column);
    grid->addWidget(Label45, 0, 0);
    grid->addWidget(Label46, 0, 1);

    BitBtn26 = NamedButton("BitBtn26", RxvKtEngine::kAcquireCaption, column);
    Check_wMbusExists = NamedCheckBox("Check_wMbusExists", QStringLiteral("Exclude identical"), column);
    Check_wMbusExists->setChecked(m_rxv.excludeIdentical());
    grid->addWidget(BitBtn26, 1, 0);
    grid->addWidget(Check_wMbusExists, 1, 1);

    BitBtn29 = NamedButton("BitBtn29", RxvKtEngine::kProgramCaption, column);
    ProgressBar2 = Named(new QProgressBar(column), "ProgressBar2");
    ProgressBar2->setTextVisible(false);
    grid->addWidget(BitBtn29, 2, 0);
    grid->addWidget(ProgressBar2, 2, 1);
    for (std::size_t i = 0; i < kRxvStepOrder.size(); ++i) {
        const RxvStep step = kRxvStepOrder[i];
        QCheckBox* box = NamedCheckBox(kStepNames[i], QString::fromLatin1(kStepCaptions[i]), column);
        connect(box, &QCheckBox::clicked, this, [this, step](bool on) { m_rxv.tickStep(step, on); });
        grid->addWidget(box, 3 + static_cast<int>(i) / 2, static_cast<int>(i) % 2);
        m_steps[i] = box;
    }
    Radio_mainID = Named(new QRadioButton(QStringLiteral("Main ID"), column), "Radio_mainID");
    Radio_auxID = Named(new QRadioButton(QStringLiteral("Aux ID"), column), "Radio_auxID");
    (m_rxv.auxId() ? Radio_auxID : Radio_mainID)->setChecked(true);
    grid->addWidget(Radio_mainID, 5, 0);
    grid->addWidget(Radio_auxID, 5, 1);
    grid->setRowStretch(6, 1);

    connect(BitBtn26, &QPushButton::clicked, this, &RxvKtPageView::BitBtn26Click);
    connect(BitBtn29, &QPushButton::clicked, this, &RxvKtPageView::BitBtn29Click);
    connect(Check_wMbusExists, &QCheckBox::clicked, this, [this](bool on) { m_rxv.setExcludeIdentical(on); });
    connect(Radio_auxID, &QRadioButton::toggled, this, [this](bool on) { m_rxv.setAuxId(on); });
    m_locked.insert(m_locked.end(), {Check_wMbusExists, m_steps[0], m_steps[1], m_steps[2], m_steps[3], Radio_mainID, Radio_auxID});
    return column;
}

QWidget* RxvKtPageView::buildKeyGroup() {
    Group_rxv_key = Named(new QGroupBox(QStringLiteral("   AES-128 key   "), this), "Group_rxv_key");
    auto* grid = new QGridLayout(Group_rxv_key);
    Edit_encryption = Named(new QLineEdit(Group_rxv_key), "Edit_encryption");
    Edit_encryption->setMaxLength(static_cast<int>(kRxvKeyTextLimit));
    Edit_encryption->setMinimumWidth(Edit_encryption->fontMetrics().horizontalAdvance(QString(33, QLatin1Char('0'))));
    grid->addWidget(Edit_encryption, 0, 0, 1, 3);
    Check_encr_ascii = NamedCheckBox("Check_encr_ascii", QStringLiteral("ASCII"), Group_rxv_key);
    Check_encr_hex = NamedCheckBox("Check_encr_hex", QStringLiteral("HEX"), Group_rxv_key);
    Check_master_key = NamedCheckBox("Check_master_key", QStringLiteral("One key all"), Group_rxv_key);
    Check_encr_primary = NamedCheckBox("Check_encr_primary", QStringLiteral("Address"), Group_rxv_key);
    Check_encr_id = NamedCheckBox("Check_encr_id", QStringLiteral("Use ID"), Group_rxv_key);
    grid->addWidget(Check_encr_ascii, 1, 0);
    grid->addWidget(Check_encr_hex, 1, 1);
    grid->addWidget(Check_master_key, 1, 2);
    grid->addWidget(Check_encr_primary, 2, 0);
    grid->addWidget(Check_encr_id, 2, 1);
    auto* BitBtn32 = NamedButton("BitBtn32", QStringLiteral("Save in RXV"), Group_rxv_key);
    auto* BitBtn38 = NamedButton("BitBtn38", QStringLiteral("Get from m-bus table"), Group_rxv_key);
    grid->addWidget(BitBtn32, 3, 0);
    grid->addWidget(BitBtn38, 3, 1, 1, 2);
    // Present but hidden: the receiver's bindings are not offered to the operator.
    auto* BitBtn30 = NamedButton("BitBtn30", QStringLiteral("Bind selected"), Group_rxv_key);
    auto* BitBtn31 = NamedButton("BitBtn31", QStringLiteral("De-bind selected"), Group_rxv_key);
    BitBtn30->hide();
    BitBtn31->hide();
    grid->addWidget(BitBtn30, 4, 0);
    grid->addWidget(BitBtn31, 4, 1);
    grid->setRowStretch(5, 1);

    connect(Edit_encryption, &QLineEdit::textEdited, this, &RxvKtPageView::keyFieldsChanged);
    connect(Check_encr_ascii, &QCheckBox::clicked, this, &RxvKtPageView::Check_encr_asciiClick);
    connect(Check_encr_hex, &QCheckBox::clicked, this, &RxvKtPageView::Check_encr_hexClick);
    for (QCheckBox* box : {Check_encr_primary, Check_encr_id, Check_master_key})
        connect(box, &QCheckBox::clicked, this, &RxvKtPageView::keyFieldsChanged);
    connect(BitBtn32, &QPushButton::clicked, this, &RxvKtPageView::BitBtn32Click);
    connect(BitBtn38, &QPushButton::clicked, this, &RxvKtPageView::BitBtn38Click);
    connect(BitBtn30, &QPushButton::clicked, this, &RxvKtPageView::BitBtn30Click);
    connect(BitBtn31, &QPushButton::clicked, this, &RxvKtPageView::BitBtn31Click);
    m_locked.push_back(Group_rxv_key);
    return Group_rxv_key;
}

QWidget* RxvKtPageView::buildReceiverSettings() {
    auto* group = Named(new QGroupBox(QStringLiteral("   RXV-KT settings   "), this), "Group_rxv_settings");
    auto* grid = new QGridLayout(group);
    int line = 0;
    auto command = [&](const char* name, const QString& caption, void (RxvKtPageView::*handler)()) {
        QPushButton* button = NamedButton(name, caption, group);
        connect(button, &QPushButton::clicked, this, handler);
        return button;
    };
    grid->addWidget(command("BitBtn27", QStringLiteral("Date"), &RxvKtPageView::BitBtn27Click), line, 0);
    grid->addWidget(command("BitBtn28", QStringLiteral("Time"), &RxvKtPageView::BitBtn28Click), line, 1);
    grid->addWidget(command("BitBtn24", QStringLiteral("Info"), &RxvKtPageView::BitBtn24Click), line, 2);
    grid->addWidget(command("BitBtn25", QStringLiteral("wm-bus"), &RxvKtPageView::BitBtn25Click), line++, 3);

    grid->addWidget(NamedLabel("Label47", QStringLiteral("Readout interval"), group), line, 0);
    UD_wreadout = NamedUpDown("UD_wreadout", "Edit_wreadout", 1, 240, 1, 3, group, &Edit_wreadout);
    UD_wreadout->setValue(1);
    grid->addWidget(UD_wreadout, line, 1, 1, 2);
    grid->addWidget(command("BitBtn33", QStringLiteral("Set"), &RxvKtPageView::BitBtn33Click), line++, 3);

    const struct {
        const char* label;
        QString caption;
        QComboBox** combo;
        const char* name;
        QStringList items;
        const char* set;
        void (RxvKtPageView::*handler)();
    } combos[] = {
        {"Label48", QStringLiteral("Wireless mode"), &Combo_wmode, "Combo_wmode",
         {"T1", "T2", "S1", "S2", "R", "T1+C", "T2+C"}, "BitBtn34", &RxvKtPageView::BitBtn34Click},
        {"Label49", QStringLiteral("Role"), &Combo_wtype, "Combo_wtype", {"Master", "Repeater", "Slave"}, "BitBtn35",
         &RxvKtPageView::BitBtn35Click},
        {"Label50", QStringLiteral("Work mode"), &Combo_wwrk, "Combo_wwrk", {"Normal", "Accept All"}, "BitBtn36",
         &RxvKtPageView::BitBtn36Click},
        {"Label51", QStringLiteral("Option"), &Combo_rxvOnOff, "Combo_rxvOnOff",
         {"RSSI", "Timestamp", "Min/Hours", "Transparent", "Secondary ID", "Master Key"}, "BitBtn37",
         &RxvKtPageView::BitBtn37Click},
    };
    for (const auto& c : combos) {
        grid->addWidget(NamedLabel(c.label, c.caption, group), line, 0);
        *c.combo = NamedCombo(c.name, c.items, group);
        grid->addWidget(*c.combo, line, 1, 1, c.combo == &Combo_rxvOnOff ? 1 : 2);
        grid->addWidget(command(c.set, QStringLiteral("Set"), c.handler), line++, 3);
    }
    Check_rssi = NamedCheckBox("Check_rssi", QStringLiteral("0/1"), group);
    grid->addWidget(Check_rssi, line - 1, 2);
    grid->setRowStretch(line, 1);
    m_locked.push_back(group);
    return group;
}

QMenu* RxvKtPageView::buildContextMenu() {
    QMenu* menu = Named(new QMenu(this), "ContextMenuRXV");
    const struct {
        const char* name;
        QString text;
        void (RxvKtPageView::*handler)();
    } entries[] = {
        {"SelectAll1", QStringLiteral("Select All"), &RxvKtPageView::SelectAll1Click},
        {"DeselectAll1", QStringLiteral("Deselect All"), &RxvKtPageView::DeselectAll1Click},
        {"AddRow1", QStringLiteral("Add row"), &RxvKtPageView::AddRow1Click},
        {"DeleteRow1", QStringLiteral("Delete Row"), &RxvKtPageView::DeleteRow1Click},
        {"ClearTable1", QStringLiteral("Clear Table"), &RxvKtPageView::ClearTable1Click},
        {"Export1", QStringLiteral("Export"), &RxvKtPageView::Export1Click},
        {"Import1", QStringLiteral("Import"), &RxvKtPageView::Import1Click},
    };
    for (const auto& e : entries) connect(NamedAction(*menu, e.name, e.text), &QAction::triggered, this, e.handler);
    return menu;
}

QString RxvKtPageView::workingFolder() const { return QString::fromStdString(m_engine.settings().mainWindow().dir); }

char RxvKtPageView::separator() const { return FirstCharacter(m_engine.settings().settings().misc.exportSeparator, ';'); }

// ---- what the engine reports -------------------------------------------------------------------

void RxvKtPageView::updateSteps() {
    const RxvStepSwitches& steps = m_rxv.steps();
    for (std::size_t i = 0; i < kRxvStepOrder.size(); ++i) m_steps[i]->setChecked(steps.isTicked(kRxvStepOrder[i]));
}

void RxvKtPageView::updateKeySettings() {
    const RxvKeySettings& key = m_rxv.keySettings();
    // Rewriting an unchanged text would move the operator's cursor to its end.
    if (const QString text = FromUtf8(key.keyText); Edit_encryption->text() != text) Edit_encryption->setText(text);
    Check_encr_ascii->setChecked(key.ascii);
    Check_encr_hex->setChecked(!key.ascii);
    Check_encr_primary->setChecked(key.byAddress);
    Check_encr_id->setChecked(key.byId);
    Check_master_key->setChecked(key.oneKeyAll);
}

void RxvKtPageView::updatePageState() {
    const RxvKtPageState& page = m_rxv.pageState();
    BitBtn26->setText(page.acquireCaption);
    BitBtn29->setText(page.programCaption);
    // While a run works, its own button is the only way to stop it.
    BitBtn26->setEnabled(page.commandsEnabled || page.acquiring);
    BitBtn29->setEnabled(page.commandsEnabled || page.programming);
    for (QWidget* control : m_locked) control->setEnabled(page.commandsEnabled);
    ContextMenuRXV->setEnabled(page.commandsEnabled);
    ProgressBar2->setRange(0, page.progress.maximum);
    ProgressBar2->setValue(page.progress.position);
    ProgressBar2->setVisible(page.progress.visible);
}

void RxvKtPageView::updateLabels() {
    Label45->setText(FromUtf8(m_rxv.receiver().label45()));
    Label46->setText(FromUtf8(m_rxv.receiver().label46()));
}

// ---- handlers ----------------------------------------------------------------------------------

void RxvKtPageView::keyFieldsChanged() {
    RxvKeySettings key;
    key.keyText = Edit_encryption->text().toStdString();
    key.ascii = Check_encr_ascii->isChecked();
    key.byAddress = Check_encr_primary->isChecked();
    key.byId = Check_encr_id->isChecked();
    key.oneKeyAll = Check_master_key->isChecked();
    m_rxv.setKeySettings(key);
}

void RxvKtPageView::Check_encr_asciiClick() {
    Check_encr_hex->setChecked(!Check_encr_ascii->isChecked());
    keyFieldsChanged();
}

void RxvKtPageView::Check_encr_hexClick() {
    Check_encr_ascii->setChecked(!Check_encr_hex->isChecked());
    keyFieldsChanged();
}

void RxvKtPageView::BitBtn26Click() { m_rxv.acquire(); }
void RxvKtPageView::BitBtn29Click() { m_rxv.program(); }
void RxvKtPageView::BitBtn30Click() { m_rxv.bind(); }
void RxvKtPageView::BitBtn31Click() { m_rxv.debind(); }
void RxvKtPageView::BitBtn32Click() { m_rxv.saveKey(); }
void RxvKtPageView::BitBtn38Click() { m_rxv.getFromMeters(); }
void RxvKtPageView::BitBtn27Click() { m_rxv.setDate(); }
void RxvKtPageView::BitBtn28Click() { m_rxv.setTime(); }
void RxvKtPageView::BitBtn33Click() { m_rxv.setSaveInterval(Edit_wreadout->text()); }
void RxvKtPageView::BitBtn34Click() { m_rxv.setWirelessMode(Combo_wmode->currentText()); }
void RxvKtPageView::BitBtn35Click() { m_rxv.setRole(Combo_wtype->currentText()); }
void RxvKtPageView::BitBtn36Click() { m_rxv.setWorkMode(Combo_wwrk->currentText()); }
void RxvKtPageView::BitBtn37Click() { m_rxv.setOption(Combo_rxvOnOff->currentText(), Check_rssi->isChecked()); }
void RxvKtPageView::BitBtn24Click() { m_rxv.info(); }
void RxvKtPageView::BitBtn25Click() { m_rxv.wirelessInfo(); }

void RxvKtPageView::SelectAll1Click() { m_rxv.selectAll(true); }
void RxvKtPageView::DeselectAll1Click() { m_rxv.selectAll(false); }
void RxvKtPageView::AddRow1Click() { m_rxv.addRow(); }
void RxvKtPageView::DeleteRow1Click() { m_rxv.deleteRow(); }
void RxvKtPageView::ClearTable1Click() { m_rxv.clearTable(); }

void RxvKtPageView::Export1Click() {
    ExportWithDialog(m_engine.operatorInterface(), workingFolder(), FromUtf8(kReceiverExportFile), m_rxv.exportTable(separator()));
}

void RxvKtPageView::Import1Click() {
    OperatorInterface& op = m_engine.operatorInterface();
    const std::optional<ImportedTable> imported =
        ChooseImportFile(op, workingFolder(), separator(), static_cast<std::size_t>(kRxvMaxRows));
    if (!imported) return;
    const std::optional<ReceiverImport> result = m_rxv.importTable(*imported);
    if (result && result->tooManyData)
        op.message(QString::fromLatin1(kApplicationTitle), QString::fromLatin1(kTooManyFieldsMessage), OperatorInterface::Icon::Warning);
}

void RxvKtPageView::Grid_rxvSelectCell(int row, int column) {
    m_rxv.selectCell(row, column);
    updateLabels();
}

void RxvKtPageView::Grid_rxvBoxToggled(int row) { m_rxv.toggleRowSelected(row); }

} // namespace veltro
