#include "ui/display_page_view.h"

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

#include "app/live_settings.h"
#include "app/operator_interface.h"
#include "devices/display_engine.h"
#include "engine/engine.h"
#include "ui/device_grid.h"
#include "ui/file_io.h"
#include "ui/named_widgets.h"

namespace veltro {
namespace {

constexpr const char* kSwitchNames[] = {"Check_ldu_active",  "Check_ldu_unit", "Check_ldu_multiplier", "Check_ldu_divider",
                                        "Check_ldu_initial", "Check_ldu_user", "Check_ldu_text",       "Check_ldu_text2",
                                        "Check_ldu_delete",  "Check_ldu_delp"};
static_assert(std::size(kSwitchNames) == kDisplaySettingOrder.size());
static_assert(std::size(DisplayPageView::kColumnWidths) == kDisplayColumns);

const QString kProposedName = QStringLiteral("lduQ7_data.csv");

QString FromUtf8(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// Column keys while editing: ID, address and user number digits; the start value a decimal mark too;
// "Mult/Div" the slash; the texts and read-back values anything.
DeviceGrid::ColumnKeys DisplayColumnKeys() {
    DeviceGrid::ColumnKeys keys(kDisplayColumns);
    keys[kDisplayIdColumn] = keys[kDisplayAddressColumn] = keys[kDisplayUserColumn] = QString();
    keys[kDisplayStartColumn] = QStringLiteral(".,");
    keys[kDisplayMultDivColumn] = QStringLiteral("/");
    return keys;
}

} // namespace

DisplayPageView::DisplayPageView(Engine& engine, QWidget* parent)
    : QWidget(parent), m_engine(engine), m_display(engine.display()) {
    setObjectName(QStringLiteral("TabSheet3"));
    auto* layout = new QVBoxLayout(this);

    Grid_ldu = Named(new DeviceGrid(kColumnWidths, DisplayColumnKeys(), true, this), "Grid_ldu");
    m_model = new DeviceTableModel(
        m_display.table(), [this](int row, int column, const std::string& text) { return m_display.setCell(row, column, text); },
        this);
    Grid_ldu->setModel(m_model);
    layout->addWidget(Grid_ldu, 1);

    auto* controls = new QHBoxLayout;
    controls->addWidget(buildWriteControls());
    controls->addWidget(buildTableButtons());
    controls->addWidget(buildDisplayCommands());
    controls->addWidget(buildReadControls());
    controls->addStretch(1);
    layout->addLayout(controls);

    connect(Grid_ldu, &DeviceGrid::cellSelected, this, &DisplayPageView::Grid_lduSelectCell);
    connect(Grid_ldu, &DeviceGrid::boxToggled, this, &DisplayPageView::Grid_lduBoxToggled);
    connect(&m_display, &DisplayEngine::tablesChanged, m_model, &DeviceTableModel::tableChanged);
    connect(&m_display, &DisplayEngine::switchesChanged, this, &DisplayPageView::updateSwitches);
    connect(&m_display, &DisplayEngine::pageStateChanged, this, &DisplayPageView::updatePageState);
    updateSwitches();
    updatePageState();
}

QWidget* DisplayPageView::buildWriteControls() {
    auto* group = Named(new QGroupBox(this), "Group_ldu_write");
    auto* grid = new QGridLayout(group);
    constexpr int kPerColumn = 5;
    for (std::size_t i = 0; i < kDisplaySettingOrder.size(); ++i) {
        const DisplaySetting setting = kDisplaySettingOrder[i];
        QCheckBox* box = NamedCheckBox(kSwitchNames[i], FromUtf8(DisplaySettingCaption(setting)), group);
        connect(box, &QCheckBox::clicked, this, [this, setting](bool on) { m_display.tickSetting(setting, on); });
        grid->addWidget(box, static_cast<int>(i) % kPerColumn, static_cast<int>(i) / kPerColumn);
        m_switches[i] = box;
    }
    Butt_ldu_set = NamedButton("Butt_ldu_set", {}, group);
    grid->addWidget(Butt_ldu_set, kPerColumn, 0, 1, 2);
    connect(Butt_ldu_set, &QPushButton::clicked, this, &DisplayPageView::Butt_ldu_setClick);
    return group;
}

QWidget* DisplayPageView::buildTableButtons() {
    auto* column = new QWidget(this);
    auto* grid = new QGridLayout(column);
    const struct {
        const char* name;
        QString caption;
        void (DisplayPageView::*handler)();
    } buttons[] = {
        {"BitBtn1", QStringLiteral("Get data from m-bus devices"), &DisplayPageView::BitBtn1Click},
        {"BitBtn2", QStringLiteral("Import"), &DisplayPageView::BitBtn2Click},
        {"BitBtn10", QStringLiteral("Export"), &DisplayPageView::BitBtn10Click},
        {"BitBtn3", QStringLiteral("Add row"), &DisplayPageView::BitBtn3Click},
        {"BitBtn4", QStringLiteral("Delete row"), &DisplayPageView::BitBtn4Click},
        {"BitBtn8", QStringLiteral("Select all"), &DisplayPageView::BitBtn8Click},
        {"BitBtn9", QStringLiteral("Deselect all"), &DisplayPageView::BitBtn9Click},
        {"Butt_ldu_cleartable", QStringLiteral("Clear table"), &DisplayPageView::Butt_ldu_cleartableClick},
    };
    // "Get data from m-bus devices" across the top, the others two by two.
    int at = 0;
    for (const auto& b : buttons) {
        QPushButton* button = NamedButton(b.name, b.caption, column);
        connect(button, &QPushButton::clicked, this, b.handler);
        if (at == 0) grid->addWidget(button, 0, 0, 1, 2);
        else grid->addWidget(button, (at + 1) / 2, (at + 1) % 2);
        ++at;
    }
    grid->setRowStretch(grid->rowCount(), 1);
    return column;
}

QWidget* DisplayPageView::buildDisplayCommands() {
    auto* column = new QWidget(this);
    auto* grid = new QGridLayout(column);
    BitBtn11 = NamedButton("BitBtn11", QStringLiteral("Date"), column);
    BitBtn12 = NamedButton("BitBtn12", QStringLiteral("Time"), column);
    BitBtn14 = NamedButton("BitBtn14", QStringLiteral("Lock"), column);
    BitBtn14->hide();
    grid->addWidget(BitBtn11, 0, 0);
    grid->addWidget(BitBtn12, 0, 1);
    grid->addWidget(BitBtn14, 0, 2);

    grid->addWidget(NamedLabel("Label_ldu_refresh", QStringLiteral("Set display refresh time, s"), column), 1, 0, 1, 2);
    UD_ldu_refresh = NamedUpDown("UD_ldu_refresh", "Edit_ldu_refresh", 4, 12, 1, 2, column, &Edit_ldu_refresh);
    UD_ldu_refresh->setValue(4);
    Butt_ldu_refresh = NamedButton("Butt_ldu_refresh", QStringLiteral("Refresh time"), column);
    grid->addWidget(UD_ldu_refresh, 2, 0);
    grid->addWidget(Butt_ldu_refresh, 2, 1);

    BitBtn15 = NamedButton("BitBtn15", QStringLiteral("Create sort table"), column);
    grid->addWidget(BitBtn15, 3, 0, 1, 2);
    Check_sort_address = NamedCheckBox("Check_sort_address", QStringLiteral("by address"), column);
    Check_sort_user = NamedCheckBox("Check_sort_user", QStringLiteral("by user numb."), column);
    BitBtn16 = NamedButton("BitBtn16", QStringLiteral("Sort"), column);
    grid->addWidget(Check_sort_address, 4, 0);
    grid->addWidget(Check_sort_user, 4, 1);
    grid->addWidget(BitBtn16, 5, 0, 1, 2);
    grid->setRowStretch(6, 1);

    connect(BitBtn11, &QPushButton::clicked, this, &DisplayPageView::BitBtn11Click);
    connect(BitBtn12, &QPushButton::clicked, this, &DisplayPageView::BitBtn12Click);
    connect(BitBtn14, &QPushButton::clicked, this, &DisplayPageView::BitBtn14Click);
    connect(Butt_ldu_refresh, &QPushButton::clicked, this, &DisplayPageView::Butt_ldu_refreshClick);
    connect(BitBtn15, &QPushButton::clicked, this, &DisplayPageView::BitBtn15Click);
    connect(BitBtn16, &QPushButton::clicked, this, &DisplayPageView::BitBtn16Click);
    connect(Check_sort_address, &QCheckBox::clicked, this, &DisplayPageView::Check_sort_addressClick);
    connect(Check_sort_user, &QCheckBox::clicked, this, &DisplayPageView::Check_sort_userClick);
    return column;
}

QWidget* DisplayPageView::buildReadControls() {
    auto* column = new QWidget(this);
    auto* layout = new QVBoxLayout(column);
    Group_ldu_info = Named(new QGroupBox(QStringLiteral("   General info   "), column), "Group_ldu_info");
    auto* info = new QHBoxLayout(Group_ldu_info);
    Combo_ldu_general = Named(new QComboBox(Group_ldu_info), "Combo_ldu_general");
    for (std::string_view item : kDisplayInfoItems) Combo_ldu_general->addItem(FromUtf8(item));
    auto* Butt_ldu_info = NamedButton("Butt_ldu_info", QStringLiteral("Get info"), Group_ldu_info);
    info->addWidget(Combo_ldu_general, 1);
    info->addWidget(Butt_ldu_info);
    layout->addWidget(Group_ldu_info);

    Butt_ldu_read = NamedButton("Butt_ldu_read", QStringLiteral("Read Data "), column);
    layout->addWidget(Butt_ldu_read);
    auto* values = new QHBoxLayout;
    auto* BitBtn20 = NamedButton("BitBtn20", QStringLiteral("Read values"), column);
    Check_main_values = NamedCheckBox("Check_main_values", QStringLiteral("Main"), column);
    Check_main_values->setChecked(true);
    Check_tarr_values = NamedCheckBox("Check_tarr_values", QStringLiteral("Tarriff"), column);
    values->addWidget(BitBtn20);
    values->addWidget(Check_main_values);
    values->addWidget(Check_tarr_values);
    layout->addLayout(values);
    auto* BitBtn18 = NamedButton("BitBtn18", QStringLiteral("Read meters"), column);
    layout->addWidget(BitBtn18);
    layout->addStretch(1);

    connect(Butt_ldu_info, &QPushButton::clicked, this, &DisplayPageView::Butt_ldu_infoClick);
    connect(Butt_ldu_read, &QPushButton::clicked, this, &DisplayPageView::Butt_ldu_readClick);
    connect(BitBtn20, &QPushButton::clicked, this, &DisplayPageView::BitBtn20Click);
    connect(BitBtn18, &QPushButton::clicked, this, &DisplayPageView::BitBtn18Click);
    connect(Check_main_values, &QCheckBox::clicked, this, &DisplayPageView::Check_main_valuesClick);
    connect(Check_tarr_values, &QCheckBox::clicked, this, &DisplayPageView::Check_tarr_valuesClick);
    return column;
}

QString DisplayPageView::workingFolder() const { return QString::fromStdString(m_engine.settings().mainWindow().dir); }

// ---- what the engine reports -------------------------------------------------------------------

void DisplayPageView::updateSwitches() {
    const DisplaySwitches& switches = m_display.switches();
    for (std::size_t i = 0; i < kDisplaySettingOrder.size(); ++i) m_switches[i]->setChecked(switches.isTicked(kDisplaySettingOrder[i]));
}

void DisplayPageView::updatePageState() {
    const DisplayPageState& page = m_display.pageState();
    Butt_ldu_set->setText(page.writeCaption);
    Butt_ldu_read->setEnabled(page.readDataEnabled);
    Group_ldu_info->setEnabled(page.infoEnabled);
    BitBtn15->setEnabled(page.createSortEnabled);
    BitBtn16->setEnabled(page.sortEnabled);
    Butt_ldu_refresh->setEnabled(page.refreshEnabled);
    BitBtn11->setEnabled(page.dateEnabled);
    BitBtn12->setEnabled(page.timeEnabled);
    BitBtn14->setEnabled(page.lockEnabled);
}

// ---- handlers ----------------------------------------------------------------------------------

void DisplayPageView::Butt_ldu_setClick() { m_display.writeTable(); }
void DisplayPageView::Butt_ldu_cleartableClick() { m_display.clearTable(); }
void DisplayPageView::BitBtn1Click() { m_display.getDataFromMeters(); }

void DisplayPageView::BitBtn2Click() {
    OperatorInterface& op = m_engine.operatorInterface();
    const char separator = FirstCharacter(m_engine.settings().settings().misc.exportSeparator, ';');
    const std::optional<ImportedTable> imported = ChooseImportFile(op, workingFolder(), separator);
    if (!imported || !m_display.importTables(*imported)) return;
    const bool truncated = imported->truncatedAtCapacity || imported->rows.size() > static_cast<std::size_t>(kDisplayMaxEntries);
    ReportImportLimits(op, *imported, truncated, kDisplayMaxEntries + 1);
}

void DisplayPageView::BitBtn10Click() {
    const char separator = FirstCharacter(m_engine.settings().settings().misc.exportSeparator, ';');
    ExportWithDialog(m_engine.operatorInterface(), workingFolder(), kProposedName, m_display.exportTable(separator));
}

void DisplayPageView::BitBtn3Click() { m_display.addRow(); }
void DisplayPageView::BitBtn4Click() { m_display.deleteSelectedRow(); }
void DisplayPageView::BitBtn8Click() { m_display.selectAll(true); }
void DisplayPageView::BitBtn9Click() { m_display.selectAll(false); }
void DisplayPageView::BitBtn11Click() { m_display.setDate(); }
void DisplayPageView::BitBtn12Click() { m_display.setTime(); }
void DisplayPageView::BitBtn14Click() { m_display.lock(); }
void DisplayPageView::Butt_ldu_refreshClick() { m_display.setRefreshTime(Edit_ldu_refresh->text()); }

void DisplayPageView::BitBtn15Click() {
    // A sort table is built by user number.
    if (m_display.createSortTable() && m_display.pageState().sortUserChecked) {
        Check_sort_user->setChecked(true);
        Check_sort_address->setChecked(false);
    }
}

void DisplayPageView::BitBtn16Click() { m_display.sort(Check_sort_address->isChecked(), Check_sort_user->isChecked()); }

void DisplayPageView::Butt_ldu_infoClick() {
    const int index = Combo_ldu_general->currentIndex();
    if (index >= 0) m_display.getInfo(static_cast<DisplayInfo>(index));
}

void DisplayPageView::Butt_ldu_readClick() { m_display.readData(); }
void DisplayPageView::BitBtn20Click() { m_display.readValues(Check_main_values->isChecked(), Check_tarr_values->isChecked()); }
void DisplayPageView::BitBtn18Click() { m_display.readMeters(); }

void DisplayPageView::Check_sort_addressClick() {
    if (Check_sort_address->isChecked()) Check_sort_user->setChecked(false);
}
void DisplayPageView::Check_sort_userClick() {
    if (Check_sort_user->isChecked()) Check_sort_address->setChecked(false);
}
void DisplayPageView::Check_main_valuesClick() {
    if (Check_main_values->isChecked()) Check_tarr_values->setChecked(false);
}
void DisplayPageView::Check_tarr_valuesClick() {
    if (Check_tarr_values->isChecked()) Check_main_values->setChecked(false);
}

void DisplayPageView::Grid_lduSelectCell(int row, int column) { m_display.selectCell(row, column); }
void DisplayPageView::Grid_lduBoxToggled(int row) { m_display.toggleRowSelected(row); }

} // namespace veltro
