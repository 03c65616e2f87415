#include "ui/readings_page_view.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/live_settings.h"
#include "devices/display_answers.h"
#include "devices/display_commands.h"
#include "devices/display_engine.h"
#include "engine/engine.h"
#include "ui/device_grid.h"
#include "ui/file_io.h"
#include "ui/named_widgets.h"

namespace veltro {
namespace {

static_assert(std::size(ReadingsPageView::kColumnWidths) == kReadingsColumns);

const QString kProposedName = QStringLiteral("lduQ7_readings.csv");

} // namespace

ReadingsPageView::ReadingsPageView(Engine& engine, QWidget* parent)
    : QWidget(parent), m_engine(engine), m_display(engine.display()) {
    setObjectName(QStringLiteral("TabSheet4"));
    auto* layout = new QVBoxLayout(this);

    // Read back, not typed: no cell edits.
    Grid_historical = Named(new DeviceGrid(kColumnWidths, {}, false, this), "Grid_historical");
    m_model = new DeviceTableModel(m_display.readings(), {}, this);
    Grid_historical->setModel(m_model);
    layout->addWidget(Grid_historical, 1);

    auto* controls = new QGridLayout;
    auto button = [&](const char* name, const QString& caption, void (ReadingsPageView::*handler)()) {
        QPushButton* b = NamedButton(name, caption, this);
        connect(b, &QPushButton::clicked, this, handler);
        return b;
    };
    controls->addWidget(NamedLabel("Label_months", QStringLiteral("Select desired month or ALL"), this), 0, 0);
    Combo_months = Named(new QComboBox(this), "Combo_months");
    Combo_months->addItem(QStringLiteral("ALL"));
    for (int month = 1; month <= 12; ++month) {
        const std::string_view name = DisplayMonthName(month);
        Combo_months->addItem(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
    }
    controls->addWidget(Combo_months, 1, 0);
    controls->addWidget(button("BitBtn13", QStringLiteral("Get historical values"), &ReadingsPageView::BitBtn13Click), 1, 1);
    controls->addWidget(button("BitBtn21", QStringLiteral("Data from display window"), &ReadingsPageView::BitBtn21Click), 0, 1);
    controls->addWidget(button("Butt_add_hist", QStringLiteral("Add row"), &ReadingsPageView::Butt_add_histClick), 0, 2);
    controls->addWidget(button("Butt_delete_hist", QStringLiteral("Delete row"), &ReadingsPageView::Butt_delete_histClick), 1, 2);
    controls->addWidget(button("Butt_clear_hist", QStringLiteral("Clear table"), &ReadingsPageView::Butt_clear_histClick), 0, 3);
    controls->addWidget(button("BitBtn17", QStringLiteral("Export"), &ReadingsPageView::BitBtn17Click), 1, 3);
    Check_sort_hist_address = NamedCheckBox("Check_sort_hist_address", QStringLiteral("by address"), this);
    Check_sort_hist_user = NamedCheckBox("Check_sort_hist_user", QStringLiteral("by user number"), this);
    controls->addWidget(Check_sort_hist_address, 0, 4);
    controls->addWidget(Check_sort_hist_user, 1, 4);
    controls->addWidget(button("Butt_sort_hist", QStringLiteral("Sort table"), &ReadingsPageView::Butt_sort_histClick), 0, 5, 2, 1);
    controls->setColumnStretch(6, 1);
    layout->addLayout(controls);

    connect(Check_sort_hist_address, &QCheckBox::clicked, this, &ReadingsPageView::Check_sort_hist_addressClick);
    connect(Check_sort_hist_user, &QCheckBox::clicked, this, &ReadingsPageView::Check_sort_hist_userClick);
    connect(Grid_historical, &DeviceGrid::cellSelected, this, &ReadingsPageView::Grid_historicalSelectCell);
    connect(&m_display, &DisplayEngine::tablesChanged, m_model, &DeviceTableModel::tableChanged);
}

// "ALL" is item 0, the months 1..12 follow.
void ReadingsPageView::BitBtn13Click() { m_display.readHistory(std::max(0, Combo_months->currentIndex())); }
void ReadingsPageView::BitBtn21Click() { m_display.readingsFromDisplay(); }
void ReadingsPageView::Butt_add_histClick() { m_display.addReadingsRow(); }
void ReadingsPageView::Butt_delete_histClick() { m_display.deleteSelectedReadingsRow(); }
void ReadingsPageView::Butt_clear_histClick() { m_display.clearReadings(); }

void ReadingsPageView::Butt_sort_histClick() {
    m_display.sortReadings(Check_sort_hist_address->isChecked(), Check_sort_hist_user->isChecked());
}

void ReadingsPageView::BitBtn17Click() {
    const char separator = FirstCharacter(m_engine.settings().settings().misc.exportSeparator, ';');
    ExportWithDialog(m_engine.operatorInterface(), QString::fromStdString(m_engine.settings().mainWindow().dir), kProposedName,
                     m_display.exportReadings(separator));
}

void ReadingsPageView::Check_sort_hist_addressClick() {
    if (Check_sort_hist_address->isChecked()) Check_sort_hist_user->setChecked(false);
}
void ReadingsPageView::Check_sort_hist_userClick() {
    if (Check_sort_hist_user->isChecked()) Check_sort_hist_address->setChecked(false);
}

void ReadingsPageView::Grid_historicalSelectCell(int row, int column) { m_display.selectReadingsCell(row, column); }

} // namespace veltro
