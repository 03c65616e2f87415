#include "ui/meter_page_view.h"

#include <QAction>
#include <QCheckBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/live_settings.h"
#include "app/operator_interface.h"
#include "app/save_file.h"
#include "engine/engine.h"
#include "meters/meter_page.h"
#include "meters/table_file.h"
#include "ui/application_identity.h"
#include "ui/file_io.h"
#include "ui/meter_grid.h"
#include "ui/named_widgets.h"

namespace veltro {
namespace {

const QString kTableSaveFilter = QStringLiteral("CSV files (*.csv);;TXT files (*.txt)");
const QString kTableOpenFilter = QStringLiteral("CSV (*.csv);;TXT (*.txt)");
const QString kExportErrorTitle = QStringLiteral("Error saving file");
const QString kImportErrorTitle = QStringLiteral("File Error");

// The first character of a one-character setting, or the default when the field is empty.
char FirstCharacter(const std::string& text, char fallback) { return text.empty() ? fallback : text.front(); }

} // namespace

MeterPageView::MeterPageView(Engine& engine, QWidget* parent) : QWidget(parent), m_engine(engine) {
    setObjectName(QStringLiteral("TabSheet1"));
    auto* layout = new QHBoxLayout(this);

    Grid_bmeters = Named(new MeterGrid(this), "Grid_bmeters");
    m_model = new MeterTableModel(m_engine.meters(), this);
    Grid_bmeters->setModel(m_model);
    layout->addWidget(Grid_bmeters, 1);

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
    Group_advanced = Named(new QGroupBox(QStringLiteral("   Configuration m-bus    "), this), "Group_advanced");
    auto* advanced = new QVBoxLayout(Group_advanced);
    auto* note = new QLabel(QStringLiteral("Setting the address, identification, baud rate, medium, unit and pulse "
                                           "width of meters is not available in this version."),
                            Group_advanced);
    note->setWordWrap(true);
    note->setEnabled(false);
    advanced->addWidget(note);
    side->addWidget(Group_advanced);
    side->addStretch(1);
    auto* sideWidget = new QWidget(this);
    sideWidget->setLayout(side);
    sideWidget->setFixedWidth(230);
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

    MeterPage& meters = m_engine.meters();
    connect(&meters, &MeterPage::tableChanged, this, &MeterPageView::refreshTable);
    connect(&meters, &MeterPage::pageStateChanged, this, &MeterPageView::updatePageState);
}

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
    return menu;
}

void MeterPageView::applyLogin(const LoginGrant& grant) {
    for (QWidget* control : {static_cast<QWidget*>(Group_advanced), static_cast<QWidget*>(Check_broadcast),
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
}

void MeterPageView::Grid_bmetersMouseUp(int row, bool control) {
    m_engine.meters().mouseRelease(row, control);
}

void MeterPageView::Grid_bmetersDblClick() { m_engine.meters().doubleClick(); }

void MeterPageView::Butt_save_dataClick() {
    OperatorInterface& op = m_engine.operatorInterface();
    const auto chosen = op.saveFileName(workingFolder(), QString::fromLatin1(DetailedReport::kProposedCsvName),
                                        kTableSaveFilter);
    if (!chosen || chosen->isEmpty()) return;
    const Settings& settings = m_engine.settings().settings();
    const QString mark = m_engine.meters().locale().decimalPoint();
    const char systemMark = mark.size() == 1 && mark[0].unicode() < 0x80 ? static_cast<char>(mark[0].unicode()) : '.';
    const std::string text = ExportTableText(m_engine.meters().table(), FirstCharacter(settings.misc.exportSeparator, ';'),
                                             FirstCharacter(settings.misc.decSeparator, '.'), systemMark);
    if (!SaveFileAtomically(*chosen, text))
        op.message(kExportErrorTitle, QString::fromLatin1(kExportWriteFailedMessage), OperatorInterface::Icon::Error);
}

void MeterPageView::Butt_load_dataClick() {
    OperatorInterface& op = m_engine.operatorInterface();
    const auto chosen = op.openFileName(workingFolder(), kTableOpenFilter);
    if (!chosen || chosen->isEmpty()) return;
    auto refuse = [&](const char* text) { op.message(kImportErrorTitle, QString::fromLatin1(text), OperatorInterface::Icon::Warning); };
    // A file far larger than any export is refused before it is read.
    if (QFileInfo(*chosen).size() > static_cast<qint64>(kMaxImportFileSize)) return refuse(kImportTooLargeMessage);
    // The whole file is read before the table is touched: a file that cannot be read leaves it as it was.
    const auto bytes = ReadWholeFile(*chosen);
    if (!bytes) return refuse(kWrongImportFileMessage);
    const char separator = FirstCharacter(m_engine.settings().settings().misc.exportSeparator, ';');
    const ImportedTable imported = ParseImportText(std::string_view(bytes->constData(), static_cast<std::size_t>(bytes->size())), separator);
    switch (imported.refusal) {
    case ImportRefusal::TooLarge: return refuse(kImportTooLargeMessage);
    case ImportRefusal::NotText: return refuse(kImportNotTextMessage);
    case ImportRefusal::None: break;
    }
    if (!m_engine.meters().importTable(imported)) return;
    if (imported.tooManyFields)
        op.message(QString::fromLatin1(kApplicationTitle), QString::fromLatin1(kTooManyFieldsMessage),
                   OperatorInterface::Icon::Warning);
    if (imported.truncatedAtCapacity)
        op.message(QString::fromLatin1(kApplicationTitle),
                   QStringLiteral("The table holds at most %1 rows: the lines after the first %2 were not imported.")
                       .arg(MeterTable::kMaxRows)
                       .arg(MeterTable::kMaxRows - 1),
                   OperatorInterface::Icon::Warning);
}

} // namespace veltro
