#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;

namespace veltro {

class DeviceGrid;
class DeviceTableModel;
class DisplayEngine;
class Engine;

// The readings page `TabSheet4`: the readings table `Grid_historical` read back from the display, with
// its row commands, sort and export. It mirrors `DisplayEngine`'s readings table and calls the engine.
class ReadingsPageView : public QWidget {
    Q_OBJECT

public:
    // The form's column widths of `Grid_historical`: the display table's first twelve, then the months.
    static constexpr int kColumnWidths[] = {64, 43, 43, 54, 52, 70, 122, 63, 63, 61, 59, 60,
                                            40, 41, 43, 45, 44, 46, 43, 43, 43, 40, 43, 40};

    explicit ReadingsPageView(Engine& engine, QWidget* parent = nullptr);

public slots:
    void BitBtn13Click();
    void BitBtn21Click();
    void Butt_add_histClick();
    void Butt_delete_histClick();
    void Butt_clear_histClick();
    void Butt_sort_histClick();
    void BitBtn17Click();
    // Ticking one sort key unticks the other; both may be unticked.
    void Check_sort_hist_addressClick();
    void Check_sort_hist_userClick();
    void Grid_historicalSelectCell(int row, int column);

private:
    Engine& m_engine;
    DisplayEngine& m_display;
    DeviceTableModel* m_model = nullptr;

    DeviceGrid* Grid_historical = nullptr;
    QComboBox* Combo_months = nullptr;
    QCheckBox* Check_sort_hist_address = nullptr;
    QCheckBox* Check_sort_hist_user = nullptr;
};

} // namespace veltro
