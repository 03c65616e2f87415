#pragma once

#include <QGroupBox>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;
class QTableWidget;

namespace veltro {

class RxvpicoEngine;

// The meter page's group "   RXVpico single meter settings   ": one meter's ID and AES key, the
// receiver's behaviour flags and, in "Filters in RXVpico", its three filter tables with the last one
// read (`Grid_filters`). Its handlers read the fields and call the receiver engine; the fields show
// what the engine reports (the "All" box, a key read, a filter table).
class RxvpicoMeterGroup : public QGroupBox {
    Q_OBJECT

public:
    explicit RxvpicoMeterGroup(RxvpicoEngine& engine, QWidget* parent = nullptr);

    // A meter-table cell selected: its row's ID and key.
    void showMeter(const QString& id, const QString& key);
    // `Check_deleteAll`, as the menu entries set it before they run a command.
    void setAll(bool all);

public slots:
    void BitBtn42Click();  // add
    void BitBtn43Click();  // delete
    void BitBtn44Click();  // flag
    void Butt_setAESClick();
    void Butt_readAESClick();
    void BitBtn45Click();  // save the manufacturer filter position
    void BitBtn46Click();  // save the medium filter position
    void BitBtn47Click();  // save the ID filter position
    void BitBtn48Click();  // read the medium filters
    void BitBtn49Click();  // read the ID filters
    void BitBtn50Click();  // read the manufacturer filters

private:
    QWidget* buildFilters();
    void showFilters();

    RxvpicoEngine& m_engine;
    QLineEdit* Edit_IDpico = nullptr;
    QLineEdit* Edit_aesKey = nullptr;
    QCheckBox* Check_deleteAll = nullptr;
    QComboBox* Combo_rxvFlags = nullptr;
    QCheckBox* Check_picoFlag = nullptr;
    QLineEdit* Edit_filterID = nullptr;
    QComboBox* Combo_filterManf = nullptr;
    QComboBox* Combo_filterMedium = nullptr;
    QSpinBox* UD_filterID = nullptr;
    QSpinBox* UD_filterManf = nullptr;
    QSpinBox* UD_filterMedium = nullptr;
    QTableWidget* Grid_filters = nullptr;
};

} // namespace veltro
