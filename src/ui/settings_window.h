#pragma once

#include <array>
#include <vector>

#include <QDialog>
#include <QString>

#include "app/settings.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QSpinBox;
class QTabWidget;

namespace veltro {

class Engine;

// A serial port the system has, as QSerialPortInfo names it ("ttyUSB0", "FT232R USB UART").
struct SerialPortChoice {
    QString name;
    QString description;
};

// The settings window `TSettings`: its controls are the live settings. Opening it re-reads the INI
// file into them; every change the operator makes is live at once (the operations read it at the
// moment of use); "Apply" writes the file and closes, "Cancel" and "Close" close without writing.
class TSettings : public QDialog {
    Q_OBJECT

public:
    explicit TSettings(Engine& engine, QWidget* parent = nullptr);

    // `Combo_com_name` offers COM1..COM30, then the system's other ports with their descriptions
    // ("ttyUSB0 - FT232R USB UART"); the field and the INI file keep the bare name.
    void offerPorts(const std::vector<SerialPortChoice>& systemPorts);

public slots:
    void BitBtn1Click();  // "Apply", communication page
    void BitBtn2Click();  // "Cancel"
    void BitBtn3Click();  // "Apply", additional-information page
    void BitBtn4Click();  // "Close"
    void Check_xportClick();
    void Check_nlan_serverClick();
    void Check_ethernetClick();
    void Check_MSBClick();
    void Check_LSBClick();
    void Check_autolduClick();
    void Check_autombusClick();
    void Check_autoSecondaryClick();
    void Check_keepAliveClick();
    void EditAddValuesChange(int count);

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QWidget* buildCommunicationPage();
    QWidget* buildAdditionalPage();
    // The settings into the controls, and the controls into the live settings.
    void showSettings(const Settings& settings);
    void takeControls();
    void updateGroups();
    void applyLanguage();
    QString portName() const;

    Engine& m_engine;
    bool m_showing = false;  // the controls are being filled: their signals are not the operator's

    QTabWidget* m_pages = nullptr;
    QComboBox* Combo_com_name = nullptr;
    QComboBox* Combo_com_speed = nullptr;
    QComboBox* Combo_com_parity = nullptr;
    QCheckBox* Check_rts = nullptr;
    QCheckBox* Check_dtr = nullptr;
    QLineEdit* Edit_export_separator = nullptr;
    QLineEdit* Edit_decimal = nullptr;
    QSpinBox* UD_retry_read = nullptr;
    QCheckBox* Check_ethernet = nullptr;
    QCheckBox* Check_xport = nullptr;
    QCheckBox* Check_nlan_server = nullptr;
    QCheckBox* Check_5B = nullptr;
    QCheckBox* Global_init = nullptr;
    QCheckBox* Check_MSB = nullptr;
    QCheckBox* Check_LSB = nullptr;
    QCheckBox* Check_multitelegram = nullptr;
    QCheckBox* Check_decodeApator = nullptr;
    QCheckBox* Check_decodeTechem = nullptr;
    QGroupBox* GroupBox3 = nullptr;  // listening socket
    QLineEdit* Edit_tcp_port = nullptr;
    QCheckBox* Check_open_tcp = nullptr;
    QCheckBox* Check_autoldu = nullptr;
    QCheckBox* Check_autombus = nullptr;
    QCheckBox* Check_autoSecondary = nullptr;
    QCheckBox* Check_keepAlive = nullptr;
    QSpinBox* UD_timerReload = nullptr;
    QGroupBox* GroupBox4 = nullptr;  // remote connection
    QLineEdit* Edit_vodud_ip = nullptr;
    QLineEdit* Edit_vodud_port = nullptr;
    QLineEdit* Edit_net_number = nullptr;
    QSpinBox* UD_eth_timeout = nullptr;
    QCheckBox* Check_closeTCP = nullptr;
    QSpinBox* UD_addValues = nullptr;
    std::array<QLineEdit*, kAdditionalTitleCount> m_titleEdits{};  // `Edit1` .. `Edit15`
};

} // namespace veltro
