#pragma once

#include <array>
#include <vector>

#include <QWidget>

#include "devices/rxv_kt.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace veltro {

class DeviceGrid;
class DeviceTableModel;
class Engine;
class RxvKtEngine;

// The RXV-KT page `TabSheet5`: the receiver table `Grid_rxv` with `ContextMenuRXV`, the acquisition and
// programming runs with their steps, the key group and the receiver's single commands. It mirrors
// `RxvKtEngine` (table, steps, key settings, page state) and calls it; the receiver's rules stay there.
class RxvKtPageView : public QWidget {
    Q_OBJECT

public:
    static constexpr int kColumnWidths[] = {80, 44, 44, 52, 52, 80, 110, 90, 320, 130};

    explicit RxvKtPageView(Engine& engine, QWidget* parent = nullptr);

public slots:
    void BitBtn26Click();
    void BitBtn29Click();
    void BitBtn30Click();
    void BitBtn31Click();
    void BitBtn32Click();
    void BitBtn38Click();
    void BitBtn27Click();
    void BitBtn28Click();
    void BitBtn33Click();
    void BitBtn34Click();
    void BitBtn35Click();
    void BitBtn36Click();
    void BitBtn37Click();
    void BitBtn24Click();
    void BitBtn25Click();
    // `ContextMenuRXV`.
    void SelectAll1Click();
    void DeselectAll1Click();
    void AddRow1Click();
    void DeleteRow1Click();
    void ClearTable1Click();
    void Export1Click();
    void Import1Click();
    // The exclusive pair: checking one unchecks the other, unchecking one checks the other.
    void Check_encr_asciiClick();
    void Check_encr_hexClick();
    void Grid_rxvSelectCell(int row, int column);
    void Grid_rxvBoxToggled(int row);

    void updateSteps();
    void updateKeySettings();
    void updatePageState();
    void updateLabels();

private:
    QWidget* buildRunControls();
    QWidget* buildKeyGroup();
    QWidget* buildReceiverSettings();
    QMenu* buildContextMenu();
    void keyFieldsChanged();
    QString workingFolder() const;
    char separator() const;

    Engine& m_engine;
    RxvKtEngine& m_rxv;
    DeviceTableModel* m_model = nullptr;
    // Usable only while `commandsEnabled`: every command but the running run's own button.
    std::vector<QWidget*> m_locked;

    DeviceGrid* Grid_rxv = nullptr;
    QMenu* ContextMenuRXV = nullptr;
    QLabel* Label45 = nullptr;
    QLabel* Label46 = nullptr;
    QPushButton* BitBtn26 = nullptr;
    QCheckBox* Check_wMbusExists = nullptr;
    QPushButton* BitBtn29 = nullptr;
    std::array<QCheckBox*, kRxvStepOrder.size()> m_steps{};  // `CheckBox1`, `CheckBox2`, `Check_bind`, `CheckBox3`
    QRadioButton* Radio_mainID = nullptr;
    QRadioButton* Radio_auxID = nullptr;
    QProgressBar* ProgressBar2 = nullptr;

    QGroupBox* Group_rxv_key = nullptr;
    QLineEdit* Edit_encryption = nullptr;
    QCheckBox* Check_encr_ascii = nullptr;
    QCheckBox* Check_encr_hex = nullptr;
    QCheckBox* Check_encr_primary = nullptr;
    QCheckBox* Check_encr_id = nullptr;
    QCheckBox* Check_master_key = nullptr;

    QLineEdit* Edit_wreadout = nullptr;
    QSpinBox* UD_wreadout = nullptr;
    QComboBox* Combo_wmode = nullptr;
    QComboBox* Combo_wtype = nullptr;
    QComboBox* Combo_wwrk = nullptr;
    QComboBox* Combo_rxvOnOff = nullptr;
    QCheckBox* Check_rssi = nullptr;
};

} // namespace veltro
