#pragma once

#include <QStringList>
#include <QWidget>

#include "app/login_grant.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSpinBox;

namespace veltro {

class Engine;
class MeterGrid;
class MeterTableModel;
class RxvpicoMeterGroup;
class TEnterAES;

// The meter page `TabSheet1` of the main window: the grid `Grid_bmeters` over the engine's meter table,
// the selection labels, the reading and table commands, their context menu `ContextMenuMbus` and the
// meter-configuration group. Like the window it holds no operation state: its handlers call the engine
// and it shows the table and the page state the engine reports.
class MeterPageView : public QWidget {
    Q_OBJECT

public:
    explicit MeterPageView(Engine& engine, QWidget* parent = nullptr);

    // The meter-configuration controls (`Group_advanced`, `Check_broadcast`, `Label_id`, `Label_addr`)
    // are shown by permission.
    void applyLogin(const LoginGrant& grant);
    // The key-entry window "Enter AES-128 key" shows; it is created after the main window.
    void setEnterAesWindow(TEnterAES* window) { m_enterAes = window; }

public slots:
    void Butt_readonceClick();
    void Fullread1Click();
    void Butt_readallClick();
    void Butt_clear_gridClick();
    void Butt_save_dataClick();
    void Butt_load_dataClick();
    void Deleteselectedrow1Click();
    void Addrowintable1Click();
    void Check_broadcastClick(bool checked);
    void Grid_bmetersSelectCell(int row, int column);
    void Grid_bmetersMouseUp(int row, bool control);
    void Grid_bmetersDblClick();
    void Check_dorveksClick(bool checked);
    void BitBtn22Click();
    // The receiver entries of `ContextMenuMbus` and their keys.
    void AddIDinRXVpico1Click();
    void DeleteIDinRXVpico1Click();
    void SetAESkey1Click();
    void SetallinRXVpico1Click();
    void EnterAES128key1Click();

    // The grid and the labels follow the table; the page's captions and enabled commands follow
    // `MeterPageState` (after a caption table has been applied too).
    void refreshTable();
    void updatePageState();

private:
    QMenu* buildContextMenu();
    QGroupBox* buildConfigurationGroup();
    QGroupBox* buildAutoAddressing();
    void refreshSelectionLabels();
    QString workingFolder() const;

    Engine& m_engine;
    MeterTableModel* m_model = nullptr;
    int m_lastPlacedRow = 1;
    QStringList m_widthsForTitles;  // the column titles the grid's widths were set for
    TEnterAES* m_enterAes = nullptr;

    // The controls read or changed after construction.
    MeterGrid* Grid_bmeters = nullptr;
    QLabel* Label_id = nullptr;
    QLabel* Label_addr = nullptr;
    QCheckBox* Check_broadcast = nullptr;
    QPushButton* Butt_readonce = nullptr;
    QPushButton* Butt_readall = nullptr;
    QPushButton* Butt_save_data = nullptr;
    QPushButton* Butt_load_data = nullptr;
    QGroupBox* Group_advanced = nullptr;
    QSpinBox* UD_new_address = nullptr;
    QLineEdit* Edit_new_address = nullptr;
    QLineEdit* Edit_new_id = nullptr;
    QPushButton* Butt_set_id = nullptr;
    QComboBox* Combo_medium = nullptr;
    QComboBox* Combo_unit = nullptr;
    QComboBox* Combo_constant = nullptr;
    QCheckBox* Check_dorveks = nullptr;
    QLineEdit* Edit_liter_rel = nullptr;
    QComboBox* Combo_set_baud = nullptr;
    QComboBox* Combo_pulse_width = nullptr;
    QLineEdit* Edit_valuePulses = nullptr;
    QComboBox* Combo_counterType = nullptr;
    QGroupBox* Group_auto_address = nullptr;
    QPushButton* BitBtn22 = nullptr;
    QSpinBox* UD_AutoPrimary = nullptr;
    QCheckBox* Check_tableAddress = nullptr;
    RxvpicoMeterGroup* m_picoGroup = nullptr;
};

} // namespace veltro
