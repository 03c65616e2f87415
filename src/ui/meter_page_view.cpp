#include "ui/meter_page_view.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLineEdit>
#include <QSpinBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/live_settings.h"
#include "app/operator_interface.h"
#include "devices/rxvpico_engine.h"
#include "engine/engine.h"
#include "meters/configuration_telegrams.h"
#include "meters/meter_configuration.h"
#include "meters/meter_page.h"
#include "meters/table_file.h"
#include "ui/file_io.h"
#include "ui/key_filter.h"
#include "ui/meter_grid.h"
#include "ui/named_widgets.h"
#include "ui/enter_aes_window.h"
#include "ui/rxvpico_meter_group.h"

namespace veltro {
namespace {


} // namespace

MeterPageView::MeterPageView(Engine& engine, QWidget* parent) : QWidget(parent), m_engine(engine) {
    setObjectName(QStringLiteral("TabSheet1"));
    auto* layout = new QHBoxLayout(this);

    Grid_bmeters = Named(new MeterGrid(this), "Grid_bmeters");
    m_model = new MeterTableModel(m_engine.meters(), this);
    Grid_bmeters->setModel(m_model);
    // The receiver group under the table: the side column is full already.
    auto* tableColumn = new QVBoxLayout;
    tableColumn->addWidget(Grid_bmeters, 1);
    m_picoGroup = new RxvpicoMeterGroup(m_engine.rxvpico(), this);
    tableColumn->addWidget(m_picoGroup);
    layout->addLayout(tableColumn, 1);

    auto* side = new QVBoxLayout;
    Label_id = NamedLabel("Label_id", QStringLiteral("ID:"), this);
    Label_addr = NamedLabel("Label_addr", QStringLiteral("Addr.:"), this);
    side->addWidget(Label_id);
    side->addWidget(Label_addr);
    Check_broadcast = NamedCheckBox("Check_broadcast", QStringLiteral("work on broadcast (0xFE)"), this);
    side->addWidget(Check_broadcast);
    side->addSpacing(8);
    Butt_readonce = NamedButton("Butt_readonce", QStringLiteral("Read selected"), this);
    Butt_readall = NamedButton("Butt_readall", QStringLiteral("Read all meters"), this);
    QPushButton* Butt_clear_grid = NamedButton("Butt_clear_grid", QStringLiteral("Clear table"), this);
    Butt_save_data = NamedButton("Butt_save_data", QStringLiteral("Export"), this);
    Butt_load_data = NamedButton("Butt_load_data", QStringLiteral("Load"), this);
    for (QPushButton* button : {Butt_readonce, Butt_readall, Butt_clear_grid, Butt_save_data, Butt_load_data})
        side->addWidget(button);
    side->addSpacing(8);
    side->addWidget(buildConfigurationGroup());
    side->addWidget(buildAutoAddressing());
    side->addStretch(1);
    auto* sideWidget = new QWidget(this);
    sideWidget->setLayout(side);
    sideWidget->setFixedWidth(300);
    layout->addWidget(sideWidget);
    QMenu* ContextMenuMbus = buildContextMenu();

    connect(Butt_readonce, &QPushButton::clicked, this, &MeterPageView::Butt_readonceClick);
    connect(Butt_readall, &QPushButton::clicked, this, &MeterPageView::Butt_readallClick);
    connect(Butt_clear_grid, &QPushButton::clicked, this, &MeterPageView::Butt_clear_gridClick);
    connect(Butt_save_data, &QPushButton::clicked, this, &MeterPageView::Butt_save_dataClick);
    connect(Butt_load_data, &QPushButton::clicked, this, &MeterPageView::Butt_load_dataClick);
    connect(Check_broadcast, &QCheckBox::clicked, this, &MeterPageView::Check_broadcastClick);
    connect(Grid_bmeters, &MeterGrid::cellSelected, this, &MeterPageView::Grid_bmetersSelectCell);
    connect(Grid_bmeters, &MeterGrid::rowReleased, this, &MeterPageView::Grid_bmetersMouseUp);
    connect(Grid_bmeters, &MeterGrid::doubleClickedGrid, this, &MeterPageView::Grid_bmetersDblClick);
    connect(Grid_bmeters, &MeterGrid::contextMenuAt, this, [ContextMenuMbus](const QPoint& at) { ContextMenuMbus->popup(at); });
    connect(Grid_bmeters, &MeterGrid::fullReadKey, this, &MeterPageView::Fullread1Click);
    connect(Grid_bmeters, &MeterGrid::deleteKey, this, &MeterPageView::Deleteselectedrow1Click);
    connect(Grid_bmeters, &MeterGrid::exportKey, this, &MeterPageView::Butt_save_dataClick);
    connect(Grid_bmeters, &MeterGrid::importKey, this, &MeterPageView::Butt_load_dataClick);
    connect(Grid_bmeters, &MeterGrid::setKeyKey, this, &MeterPageView::SetAESkey1Click);
    connect(Grid_bmeters, &MeterGrid::sendTableKey, this, &MeterPageView::SetallinRXVpico1Click);
    connect(Grid_bmeters, &MeterGrid::addIdsKey, this, &MeterPageView::AddIDinRXVpico1Click);
    connect(Grid_bmeters, &MeterGrid::deleteIdsKey, this, &MeterPageView::DeleteIDinRXVpico1Click);

    MeterPage& meters = m_engine.meters();
    connect(&meters, &MeterPage::tableChanged, this, &MeterPageView::refreshTable);
    connect(&meters, &MeterPage::pageStateChanged, this, &MeterPageView::updatePageState);
}

namespace {

QComboBox* NamedCombo(const char* name, const auto& items, bool editable, QWidget* parent) {
    auto* combo = Named(new QComboBox(parent), name);
    for (const char* item : items) combo->addItem(QString::fromLatin1(item));
    combo->setEditable(editable);
    return combo;
}

QLineEdit* NamedDigits(const char* name, int characters, QWidget* parent) {
    auto* field = Named(new QLineEdit(parent), name);
    field->setMaxLength(characters);
    KeyFilter::Install(*field);
    return field;
}

} // namespace

QGroupBox* MeterPageView::buildConfigurationGroup() {
    Group_advanced = Named(new QGroupBox(QStringLiteral("   Configuration m-bus    "), this), "Group_advanced");
    auto* grid = new QGridLayout(Group_advanced);
    int line = 0;
    // A caption over its value controls and the button that sends them.
    auto row = [&](const char* labelName, const QString& caption, std::initializer_list<QWidget*> controls, QPushButton* button) {
        if (labelName) grid->addWidget(NamedLabel(labelName, caption, Group_advanced), line++, 0, 1, 3);
        int column = 0;
        for (QWidget* control : controls) grid->addWidget(control, line, column++);
        grid->addWidget(button, line++, 2);
    };
    auto* Butt_reset = NamedButton("Butt_reset", QStringLiteral("Reset (SND_NKE)"), Group_advanced);
    grid->addWidget(Butt_reset, line++, 0, 1, 3);
    UD_new_address = NamedUpDown("UD_new_address", "Edit_new_address", 0, 250, 1, 3, Group_advanced, &Edit_new_address);
    UD_new_address->setValue(1);
    auto* Butt_set_address = NamedButton("Butt_set_address", QStringLiteral("Set "), Group_advanced);
    row("Label_new_address", QStringLiteral("Set Primary Address of meter to:"), {UD_new_address}, Butt_set_address);
    Edit_new_id = NamedDigits("Edit_new_id", 8, Group_advanced);
    Butt_set_id = NamedButton("Butt_set_id", QStringLiteral("Set"), Group_advanced);
    row("Label_new_id", QStringLiteral("Set new ID to:"), {Edit_new_id}, Butt_set_id);
    Combo_medium = NamedCombo("Combo_medium", kMediumItems, true, Group_advanced);
    auto* Butt_set_medium = NamedButton("Butt_set_medium", QStringLiteral("Set"), Group_advanced);
    row("Label_medium", QStringLiteral("Set Medium to:"), {Combo_medium}, Butt_set_medium);
    Combo_unit = NamedCombo("Combo_unit", kUnitItems, false, Group_advanced);
    Combo_constant = NamedCombo("Combo_constant", kMultiplierItems, false, Group_advanced);
    Combo_constant->setCurrentIndex(3);  // "1"
    auto* Butt_set_unit = NamedButton("Butt_set_unit", QStringLiteral("Set"), Group_advanced);
    row("Label_unit", QStringLiteral("Set Unit to:"), {Combo_unit, Combo_constant}, Butt_set_unit);
    Check_dorveks = NamedCheckBox("Check_dorveks", QStringLiteral("Relay"), Group_advanced);
    Edit_liter_rel = NamedDigits("Edit_liter_rel", 8, Group_advanced);
    Edit_liter_rel->hide();
    grid->addWidget(Check_dorveks, line, 0);
    grid->addWidget(Edit_liter_rel, line++, 1);
    Combo_set_baud = NamedCombo("Combo_set_baud", kBaudItems, false, Group_advanced);
    Combo_set_baud->setCurrentIndex(1);  // "2400"
    auto* Butt_set_baud = NamedButton("Butt_set_baud", QStringLiteral("Set"), Group_advanced);
    row("Label_set_baud", QStringLiteral("Set baud to:"), {Combo_set_baud}, Butt_set_baud);
    Combo_pulse_width = NamedCombo("Combo_pulse_width", kPulseWidthItems, true, Group_advanced);
    auto* Butt_set_pulse = NamedButton("Butt_set_pulse", QStringLiteral("Set"), Group_advanced);
    row("Label_pulse_width", QStringLiteral("Set pulse width"), {Combo_pulse_width}, Butt_set_pulse);
    Edit_valuePulses = NamedDigits("Edit_valuePulses", 8, Group_advanced);
    auto* Butt_setValue = NamedButton("Butt_setValue", QStringLiteral("Set"), Group_advanced);
    row("Label_valuePulses", QStringLiteral("Set value in PULSES:"), {Edit_valuePulses}, Butt_setValue);
    Combo_counterType = NamedCombo("Combo_counterType", kCounterTypeItems, false, Group_advanced);
    auto* Butt_counterType = NamedButton("Butt_counterType", QStringLiteral("Set"), Group_advanced);
    row("Label_counterType", QStringLiteral("Set counter special:"), {Combo_counterType}, Butt_counterType);

    MeterConfiguration& configuration = m_engine.configuration();
    connect(Butt_reset, &QPushButton::clicked, this, [&configuration] { configuration.reset(); });
    connect(Butt_set_address, &QPushButton::clicked, this, [this, &configuration] { configuration.setAddress(Edit_new_address->text()); });
    connect(Butt_set_id, &QPushButton::clicked, this, [this, &configuration] { configuration.setIdentification(Edit_new_id->text()); });
    connect(Butt_set_medium, &QPushButton::clicked, this, [this, &configuration] { configuration.setMedium(Combo_medium->currentText()); });
    connect(Butt_set_unit, &QPushButton::clicked, this, [this, &configuration] {
        configuration.setUnit(Combo_unit->currentText(), Combo_constant->currentText(), Edit_liter_rel->text());
    });
    connect(Butt_set_baud, &QPushButton::clicked, this, [this, &configuration] { configuration.setBaud(Combo_set_baud->currentText()); });
    connect(Butt_set_pulse, &QPushButton::clicked, this, [this, &configuration] { configuration.setPulseWidth(Combo_pulse_width->currentText()); });
    connect(Butt_setValue, &QPushButton::clicked, this, [this, &configuration] { configuration.setPulseValue(Edit_valuePulses->text()); });
    connect(Butt_counterType, &QPushButton::clicked, this, [this, &configuration] { configuration.setCounterType(Combo_counterType->currentText()); });
    connect(Check_dorveks, &QCheckBox::clicked, this, &MeterPageView::Check_dorveksClick);
    return Group_advanced;
}

QGroupBox* MeterPageView::buildAutoAddressing() {
    auto* group = Named(new QGroupBox(this), "Group_auto_address");
    Group_auto_address = group;
    auto* grid = new QGridLayout(group);
    BitBtn22 = NamedButton("BitBtn22", QStringLiteral("Auto address"), group);
    QLineEdit* Edit_auto_primary = nullptr;
    UD_AutoPrimary = NamedUpDown("UD_AutoPrimary", "Edit_auto_primary", 1, 249, 1, 3, group, &Edit_auto_primary);
    UD_AutoPrimary->setValue(1);
    Check_tableAddress = NamedCheckBox("Check_tableAddress", QStringLiteral("Use table addresses"), group);
    auto* BitBtn19 = NamedButton("BitBtn19", QStringLiteral("Relay unit"), group);
    grid->addWidget(BitBtn22, 0, 0);
    grid->addWidget(UD_AutoPrimary, 0, 1);
    grid->addWidget(Check_tableAddress, 1, 0, 1, 2);
    grid->addWidget(BitBtn19, 2, 0);
    connect(BitBtn22, &QPushButton::clicked, this, &MeterPageView::BitBtn22Click);
    connect(BitBtn19, &QPushButton::clicked, this, [this] {
        m_engine.configuration().relayUnit(Combo_unit->currentText(), Combo_constant->currentText(), Edit_liter_rel->text());
    });
    return group;
}

void MeterPageView::Check_dorveksClick(bool checked) {
    m_engine.configuration().setRelay(checked);
    // The relay takes a start value instead of an identification.
    Edit_new_id->setEnabled(!checked);
    Butt_set_id->setEnabled(!checked);
    Edit_liter_rel->setVisible(checked);
}

void MeterPageView::BitBtn22Click() { m_engine.configuration().autoAddress(UD_AutoPrimary->value(), Check_tableAddress->isChecked()); }

QMenu* MeterPageView::buildContextMenu() {
    QMenu* menu = Named(new QMenu(this), "ContextMenuMbus");
    // The keys are the grid's own (MeterGrid::keyPressEvent); the menu shows them and takes them only
    // while it is open, so a key never acts twice.
    auto entry = [this, menu](const char* name, const QString& text, void (MeterPageView::*handler)(),
                              const QKeySequence& key = {}) {
        QAction* action = NamedAction(*menu, name, text);
        action->setShortcut(key);
        action->setShortcutContext(Qt::WidgetShortcut);
        connect(action, &QAction::triggered, this, handler);
    };
    entry("Readselected1", QStringLiteral("Read selected"), &MeterPageView::Butt_readonceClick);
    entry("Fullread1", QStringLiteral("Full read"), &MeterPageView::Fullread1Click, QKeySequence(Qt::Key_F1));
    entry("Readallmeters1", QStringLiteral("Read all meters"), &MeterPageView::Butt_readallClick);
    menu->addSeparator();
    entry("Cleartable1", QStringLiteral("Clear table"), &MeterPageView::Butt_clear_gridClick);
    entry("SaveExport1", QStringLiteral("Save/Export"), &MeterPageView::Butt_save_dataClick,
          QKeySequence(Qt::CTRL | Qt::Key_S));
    entry("Deleteselectedrow1", QStringLiteral("Delete selected row"), &MeterPageView::Deleteselectedrow1Click,
          QKeySequence(Qt::Key_Delete));
    entry("Addrowintable1", QStringLiteral("Add row in table"), &MeterPageView::Addrowintable1Click);
    menu->addSeparator();
    entry("AddIDinRXVpico1", QStringLiteral("Add IDs in RXVpico"), &MeterPageView::AddIDinRXVpico1Click,
          QKeySequence(Qt::Key_F2));
    entry("DeleteIDinRXVpico1", QStringLiteral("Delete IDs in RXVpico"), &MeterPageView::DeleteIDinRXVpico1Click,
          QKeySequence(Qt::Key_F3));
    entry("SetAESkey1", QStringLiteral("Set AES key"), &MeterPageView::SetAESkey1Click, QKeySequence(Qt::CTRL | Qt::Key_A));
    entry("SetallinRXVpico1", QStringLiteral("Set all in RXVpico"), &MeterPageView::SetallinRXVpico1Click,
          QKeySequence(Qt::CTRL | Qt::Key_F));
    entry("EnterAES128key1", QStringLiteral("Enter AES-128 key"), &MeterPageView::EnterAES128key1Click);
    return menu;
}

void MeterPageView::applyLogin(const LoginGrant& grant) {
    for (QWidget* control : {static_cast<QWidget*>(Group_advanced), static_cast<QWidget*>(Group_auto_address),
                             static_cast<QWidget*>(Check_broadcast),
                             static_cast<QWidget*>(Label_id), static_cast<QWidget*>(Label_addr)})
        control->setVisible(grant.meterConfiguration);
}

QString MeterPageView::workingFolder() const { return QString::fromStdString(m_engine.settings().mainWindow().dir); }

// ---- what the engine reports -------------------------------------------------------------------

void MeterPageView::refreshTable() {
    const MeterTable& table = m_engine.meters().table();
    if (const QStringList titles = m_model->titles(); titles != m_widthsForTitles) {
        // Other columns or titles (a language switch): the widths follow, never narrower than a title.
        m_widthsForTitles = titles;
        Grid_bmeters->applyColumnWidths();
    }
    // A decoded meter moves the table's cursor to its row, as selecting that cell would.
    if (table.currentRow() != m_lastPlacedRow) {
        m_lastPlacedRow = table.currentRow();
        Grid_bmeters->setCurrentTableRow(m_lastPlacedRow, table.selectedColumn());
        m_engine.meters().selectCell(m_lastPlacedRow, table.selectedColumn());
    }
    refreshSelectionLabels();
}

void MeterPageView::refreshSelectionLabels() {
    const MeterTable& table = m_engine.meters().table();
    Label_id->setText(DisplayText(table.idLabel()));
    Label_addr->setText(DisplayText(table.addressLabel()));
}

void MeterPageView::updatePageState() {
    const MeterPageState& page = m_engine.meters().pageState();
    Butt_readall->setText(page.readAllCaption);
    Butt_readall->setEnabled(page.readAllEnabled);
    Butt_readonce->setEnabled(page.readOnceEnabled);
    Group_advanced->setEnabled(page.advancedEnabled);
    Butt_save_data->setEnabled(page.saveDataEnabled);
    Butt_load_data->setEnabled(page.loadDataEnabled);
    Check_broadcast->setEnabled(page.broadcastEnabled);
    Check_broadcast->setChecked(page.broadcastChecked);
    BitBtn22->setText(page.autoAddressCaption);
    BitBtn22->setEnabled(page.autoAddressEnabled);
}

// ---- handlers ----------------------------------------------------------------------------------

void MeterPageView::Butt_readonceClick() { m_engine.meters().readSelected(); }

void MeterPageView::Fullread1Click() { m_engine.meters().fullRead(); }

void MeterPageView::Butt_readallClick() { m_engine.meters().readAll(); }

void MeterPageView::Butt_clear_gridClick() {
    m_engine.meters().clearTable();
}

void MeterPageView::Deleteselectedrow1Click() {
    m_engine.meters().deleteSelectedRow();
}

void MeterPageView::Addrowintable1Click() {
    m_engine.meters().addRowBelowSelected();  // refused at the table's 450 rows
}

void MeterPageView::Check_broadcastClick(bool checked) { m_engine.meters().setBroadcast(checked); }

void MeterPageView::Grid_bmetersSelectCell(int row, int column) {
    m_engine.meters().selectCell(row, column);
    refreshSelectionLabels();
    const MeterTable& table = m_engine.meters().table();
    if (row >= 1 && row < table.rowCount())
        m_picoGroup->showMeter(DisplayText(table.cell(row, 0)), DisplayText(table.cell(row, MeterTable::kKeyColumn)));
}

void MeterPageView::Grid_bmetersMouseUp(int row, bool control) {
    m_engine.meters().mouseRelease(row, control);
}

void MeterPageView::Grid_bmetersDblClick() { m_engine.meters().doubleClick(); }

void MeterPageView::AddIDinRXVpico1Click() { m_engine.rxvpico().addFlaggedRows(); }

void MeterPageView::DeleteIDinRXVpico1Click() {
    m_picoGroup->setAll(false);
    m_picoGroup->BitBtn43Click();
}

void MeterPageView::SetAESkey1Click() {
    m_picoGroup->setAll(false);
    m_picoGroup->Butt_setAESClick();
}

// "Send table" of the global group (`BitBtn54Click`).
void MeterPageView::SetallinRXVpico1Click() { m_engine.rxvpico().sendTable(); }

void MeterPageView::EnterAES128key1Click() {
    if (m_enterAes) m_enterAes->showForSelectedRow();
}

void MeterPageView::Butt_save_dataClick() {
    const Settings& settings = m_engine.settings().settings();
    const QString mark = m_engine.meters().locale().decimalPoint();
    const char systemMark = mark.size() == 1 && mark[0].unicode() < 0x80 ? static_cast<char>(mark[0].unicode()) : '.';
    const std::string text = ExportTableText(m_engine.meters().table(), FirstCharacter(settings.misc.exportSeparator, ';'),
                                             FirstCharacter(settings.misc.decSeparator, '.'), systemMark);
    ExportWithDialog(m_engine.operatorInterface(), workingFolder(), QString::fromLatin1(DetailedReport::kProposedCsvName), text);
}

void MeterPageView::Butt_load_dataClick() {
    OperatorInterface& op = m_engine.operatorInterface();
    const char separator = FirstCharacter(m_engine.settings().settings().misc.exportSeparator, ';');
    const std::optional<ImportedTable> imported = ChooseImportFile(op, workingFolder(), separator);
    if (!imported || !m_engine.meters().importTable(*imported)) return;
    ReportImportLimits(op, *imported, imported->truncatedAtCapacity, MeterTable::kMaxRows);
}

} // namespace veltro
