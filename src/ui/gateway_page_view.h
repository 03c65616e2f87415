#pragma once

#include <array>
#include <functional>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include <QWidget>

#include "devices/gateway_settings.h"
#include "devices/gateway_settings_sender.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace veltro {

class Engine;

// The communication-devices page `TabSheet2`: the NLAN-2 and NCEL-1A settings, each "Set" or
// information button one command of `GatewayCommandSet()` sent through `GatewaySettingsSender`. The page
// keeps no state but its controls.
class GatewayPageView : public QWidget {
    Q_OBJECT

public:
    explicit GatewayPageView(Engine& engine, QWidget* parent = nullptr);

public slots:
    // `Check_nlan2` and `Check_ncel`: checking one unchecks the other, unchecking one checks the other.
    void Check_nlan2Click();
    void Check_ncelClick();
    // `Check_op1`..`Check_op4` (slot 1..4): checking one unchecks the other three.
    void Check_opClick(int slot);
    // The checked operator slot's "IPOn" command; with no slot checked, only the answer collector.
    void Butt_nlan2_op1Click();

private:
    using Values = std::function<std::vector<std::string>()>;

    QGroupBox* buildNetworkGroup();
    QGroupBox* buildOtherGroup();
    QWidget* buildInformationButtons();
    // The button of a command row: its handler sends the row's command with `values` (none given: the
    // row's fixed value or nothing), and it and `fields` follow the device choice of the row.
    QPushButton* commandButton(const char* button, const QString& caption, std::initializer_list<QWidget*> fields,
                               Values values = {});
    QLineEdit* commandField(const char* name, const char* button, const QString& extraKeys, bool digitsOnly);
    QSpinBox* commandUpDown(const char* upDownName, const char* editName, const char* button, QLineEdit** edit);
    void chooseNlan2(bool nlan2);

    Engine& m_engine;
    GatewaySettingsSender m_sender;
    std::vector<std::pair<QWidget*, GatewayDevice>> m_deviceControls;

    QCheckBox* Check_nlan2 = nullptr;
    QCheckBox* Check_ncel = nullptr;
    std::array<QCheckBox*, 4> m_operatorSlots{};  // `Check_op1`..`Check_op4`
    QLineEdit* Edit_op1_ip = nullptr;
};

} // namespace veltro
