#pragma once

#include <array>

#include <QWidget>

#include "devices/display_commands.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace veltro {

class DeviceGrid;
class DeviceTableModel;
class DisplayEngine;
class Engine;

// The local-display page `TabSheet3`: the display table `Grid_ldu`, the write cycle's switches and
// button, the row commands and the single commands to the display. It mirrors `DisplayEngine` (table,
// switches, page state) and calls it; the display's rules stay in the engine.
class DisplayPageView : public QWidget {
    Q_OBJECT

public:
    // The form's column widths of `Grid_ldu`.
    static constexpr int kColumnWidths[] = {73, 44, 44, 52, 57, 64, 170, 64, 64, 64, 64, 64, 183};

    explicit DisplayPageView(Engine& engine, QWidget* parent = nullptr);

public slots:
    void Butt_ldu_setClick();
    void Butt_ldu_cleartableClick();
    void BitBtn1Click();
    void BitBtn2Click();
    void BitBtn10Click();
    void BitBtn3Click();
    void BitBtn4Click();
    void BitBtn8Click();
    void BitBtn9Click();
    void BitBtn11Click();
    void BitBtn12Click();
    void BitBtn14Click();
    void Butt_ldu_refreshClick();
    void BitBtn15Click();
    void BitBtn16Click();
    void Butt_ldu_infoClick();
    void Butt_ldu_readClick();
    void BitBtn20Click();
    void BitBtn18Click();
    // The two pairs of mutually exclusive boxes: ticking one unticks the other; both may be unticked.
    void Check_sort_addressClick();
    void Check_sort_userClick();
    void Check_main_valuesClick();
    void Check_tarr_valuesClick();
    void Grid_lduSelectCell(int row, int column);
    // A press and release inside the same row's box.
    void Grid_lduBoxToggled(int row);

    void updateSwitches();
    void updatePageState();

private:
    QWidget* buildWriteControls();
    QWidget* buildTableButtons();
    QWidget* buildDisplayCommands();
    QWidget* buildReadControls();
    QString workingFolder() const;

    Engine& m_engine;
    DisplayEngine& m_display;
    DeviceTableModel* m_model = nullptr;

    DeviceGrid* Grid_ldu = nullptr;
    std::array<QCheckBox*, kDisplaySettingOrder.size()> m_switches{};  // `Check_ldu_active`.. in processing order
    QPushButton* Butt_ldu_set = nullptr;
    QPushButton* Butt_ldu_read = nullptr;
    QGroupBox* Group_ldu_info = nullptr;
    QComboBox* Combo_ldu_general = nullptr;
    QPushButton* BitBtn11 = nullptr;
    QPushButton* BitBtn12 = nullptr;
    QPushButton* BitBtn14 = nullptr;
    QLineEdit* Edit_ldu_refresh = nullptr;
    QSpinBox* UD_ldu_refresh = nullptr;
    QPushButton* Butt_ldu_refresh = nullptr;
    QPushButton* BitBtn15 = nullptr;
    QPushButton* BitBtn16 = nullptr;
    QCheckBox* Check_sort_address = nullptr;
    QCheckBox* Check_sort_user = nullptr;
    QCheckBox* Check_main_values = nullptr;
    QCheckBox* Check_tarr_values = nullptr;
};

} // namespace veltro
