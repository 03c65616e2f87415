#include "ui/caption_tables.h"

#include "app/qt_text.h"

#include <array>

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QStackedWidget>
#include <QTabWidget>
#include <QWidget>

namespace veltro {
namespace {

// The main window, in assignment order: search group, meter page, console, communication-devices page,
// local-display and readings pages, tab pages, main menu.
// Three captions are not here because the running scan, read-all cycle and display write compose them
// in the engines' page states (TextId::FindCaption or StopCaption, ReadAllCaption, the write caption); a
// row here would show "Find" on a running scan after a language switch.
constexpr std::array kMainWindowRows{
    // search group
    CaptionRow{"Group_search", TextId::SearchNetworkGroup}, CaptionRow{"Label_primary", TextId::PrimaryAddressLabel},
    CaptionRow{"Label_timeout", TextId::ResponseTimeoutLabel}, CaptionRow{"Label_secondary", TextId::SecondaryAddressLabel},
    CaptionRow{"Butt_find_id", TextId::FindIdButton}, CaptionRow{"Butt_find_all", TextId::FindAllButton},
    CaptionRow{"Button1", TextId::StopSecondaryButton},
    // meter page
    CaptionRow{"Check_broadcast", TextId::BroadcastCheck}, CaptionRow{"Butt_readonce", TextId::ReadSelectedButton},
    CaptionRow{"Butt_clear_grid", TextId::ClearTableButton}, CaptionRow{"Butt_load_data", TextId::LoadButton},
    CaptionRow{"Butt_save_data", TextId::ExportButton},
    // configuration group
    CaptionRow{"Butt_set_address", TextId::SetAddressButton}, CaptionRow{"Butt_set_id", TextId::SetButton},
    CaptionRow{"Label_medium", TextId::SetMediumLabel}, CaptionRow{"Butt_set_medium", TextId::SetButton},
    CaptionRow{"Butt_set_unit", TextId::SetButton}, CaptionRow{"Butt_set_baud", TextId::SetButton},
    CaptionRow{"Butt_set_pulse", TextId::SetButton}, CaptionRow{"Butt_setValue", TextId::SetButton},
    CaptionRow{"Butt_counterType", TextId::SetButton},
    // console and log
    CaptionRow{"Butt_command_send", TextId::SendButton}, CaptionRow{"Label_command", TextId::CustomCommandLabel},
    CaptionRow{"BitBtn7", TextId::PrintLogButton}, CaptionRow{"BitBtn6", TextId::SaveLogButton},
    CaptionRow{"BitBtn5", TextId::ClearLogButton},
    // communication-devices page: the labels, then the eighteen "Set" buttons in the labels' order
    CaptionRow{"Group_network", TextId::NetworkOptionsGroup}, CaptionRow{"Label_own_ip", TextId::OwnIpLabel},
    CaptionRow{"Label_mask_ip", TextId::NetmaskLabel}, CaptionRow{"Label_gw_ip", TextId::GatewayIpLabel},
    CaptionRow{"Label_network", TextId::NetworkNumberLabel}, CaptionRow{"Label_apn", TextId::ApnLabel},
    CaptionRow{"Label_phone_number", TextId::PhoneNumberLabel}, CaptionRow{"Label_man_ip", TextId::ManufacturerIpLabel},
    CaptionRow{"Label_control_ip", TextId::ControlIpLabel}, CaptionRow{"Label_op_ip", TextId::OperatorIpLabel},
    CaptionRow{"Label_gprs_pin", TextId::PinLabel}, CaptionRow{"Label_gprs_username", TextId::GprsUserLabel},
    CaptionRow{"Label_gprs_pass", TextId::GprsPasswordLabel},
    CaptionRow{"Group_other", TextId::OtherOptionsGroup}, CaptionRow{"Label_com2_speed", TextId::SerialSpeedLabel},
    CaptionRow{"Label_com2_parity", TextId::SerialParityLabel}, CaptionRow{"Label_day", TextId::DayLabel},
    CaptionRow{"Label_hour", TextId::HourLabel}, CaptionRow{"Label_minute", TextId::MinuteLabel},
    CaptionRow{"Label_due_date", TextId::DueDateLabel}, CaptionRow{"Label_retries", TextId::ConnectRetriesLabel},
    CaptionRow{"Label_retry_timeout", TextId::RetryTimeoutLabel}, CaptionRow{"Label_ping", TextId::PingTimeoutLabel},
    CaptionRow{"Label_nlan_mbus", TextId::MbusResponseLabel},
    CaptionRow{"Butt_CMT", TextId::GatewaySetButton}, CaptionRow{"Butt_CET", TextId::GatewaySetButton},
    CaptionRow{"Butt_MET", TextId::GatewaySetButton}, CaptionRow{"Butt_nlan_nn", TextId::GatewaySetButton},
    CaptionRow{"Butt_apn", TextId::GatewaySetButton}, CaptionRow{"Butt_phone_number", TextId::GatewaySetButton},
    CaptionRow{"Butt_nlan_manip", TextId::GatewaySetButton}, CaptionRow{"Butt_nlan2_conip", TextId::GatewaySetButton},
    CaptionRow{"Butt_nlan2_op1", TextId::GatewaySetButton}, CaptionRow{"Butt_gprs_pin", TextId::GatewaySetButton},
    CaptionRow{"Butt_gprs_user", TextId::GatewaySetButton}, CaptionRow{"Butt_gprs_pass", TextId::GatewaySetButton},
    CaptionRow{"Butt_DDT", TextId::GatewaySetButton}, CaptionRow{"Butt_OHA", TextId::GatewaySetButton},
    CaptionRow{"Butt_TXG", TextId::GatewaySetButton}, CaptionRow{"Butt_RXG", TextId::GatewaySetButton},
    CaptionRow{"Butt_DPP", TextId::GatewaySetButton}, CaptionRow{"Butt_nlan_mbus_response", TextId::GatewaySetButton},
    CaptionRow{"Butt_gprs_info", TextId::GprsInfoButton}, CaptionRow{"Butt_gprs_stat", TextId::GprsStatusButton},
    CaptionRow{"Butt_eth_date", TextId::SetDateButton}, CaptionRow{"Butt_eth_time", TextId::SetTimeButton},
    CaptionRow{"Butt_eth_main", TextId::MainInfoButton}, CaptionRow{"Butt_eth_service", TextId::ServiceInfoButton},
    CaptionRow{"Butt_eth_conn", TextId::ConnectionInfoButton}, CaptionRow{"Butt_eth_oper", TextId::OperatorsInfoButton},
    CaptionRow{"Butt_nlan2_test", TextId::TestIpButton},
    // local-display page
    CaptionRow{"BitBtn1", TextId::DisplayFromMetersButton}, CaptionRow{"BitBtn2", TextId::ImportButton},
    CaptionRow{"BitBtn10", TextId::DisplayExportButton}, CaptionRow{"Butt_ldu_read", TextId::ReadDataButton},
    CaptionRow{"Label_ldu_refresh", TextId::RefreshTimeLabel}, CaptionRow{"Butt_ldu_refresh", TextId::RefreshTimeButton},
    CaptionRow{"BitBtn11", TextId::DateButton}, CaptionRow{"BitBtn12", TextId::TimeButton},
    CaptionRow{"BitBtn15", TextId::CreateSortTableButton}, CaptionRow{"BitBtn16", TextId::SortButton},
    CaptionRow{"Check_sort_address", TextId::ByAddressCheck}, CaptionRow{"Check_sort_user", TextId::ByUserNumbCheck},
    CaptionRow{"BitBtn18", TextId::ReadMetersButton}, CaptionRow{"Group_ldu_info", TextId::GeneralInfoGroup},
    CaptionRow{"Butt_ldu_info", TextId::GetInfoButton}, CaptionRow{"BitBtn8", TextId::SelectAllButton},
    CaptionRow{"BitBtn9", TextId::DeselectAllButton}, CaptionRow{"BitBtn3", TextId::AddRowButton},
    CaptionRow{"BitBtn4", TextId::DeleteRowButton}, CaptionRow{"Butt_ldu_cleartable", TextId::ClearTableButton},
    // readings page
    CaptionRow{"BitBtn13", TextId::HistoricalValuesButton}, CaptionRow{"BitBtn17", TextId::DisplayExportButton},
    CaptionRow{"Butt_add_hist", TextId::AddRowButton}, CaptionRow{"Butt_delete_hist", TextId::DeleteRowButton},
    CaptionRow{"Butt_clear_hist", TextId::ClearTableButton}, CaptionRow{"Butt_sort_hist", TextId::SortTableButton},
    CaptionRow{"Check_sort_hist_address", TextId::ByAddressCheck},
    CaptionRow{"Check_sort_hist_user", TextId::ByUserNumberCheck},
    // tab pages
    CaptionRow{"TabSheet1", TextId::MeterBusDevicesTab}, CaptionRow{"TabSheet2", TextId::CommunicationDevicesTab},
    CaptionRow{"TabSheet3", TextId::LocalDisplayTab}, CaptionRow{"TabSheet4", TextId::GetReadingsTab},
    // main menu
    CaptionRow{"File1", TextId::FileMenu}, CaptionRow{"Open1", TextId::Open}, CaptionRow{"Save1", TextId::Save},
    CaptionRow{"Exit1", TextId::Exit},
    CaptionRow{"Tools1", TextId::ToolsMenu}, CaptionRow{"Users1", TextId::Users}, CaptionRow{"Settings1", TextId::Settings},
    CaptionRow{"Language1", TextId::LanguageMenu},
    CaptionRow{"Help1", TextId::HelpMenu}, CaptionRow{"About2", TextId::About}, CaptionRow{"UserManual2", TextId::UserManual},
};

constexpr std::array kSettingsWindowRows{
    CaptionRow{"TSettings", TextId::Settings},
    // serial port
    CaptionRow{"GroupBox1", TextId::SerialPortGroup}, CaptionRow{"Label_com_name", TextId::PortNameLabel},
    CaptionRow{"Label_com_speed", TextId::PortSpeedLabel}, CaptionRow{"Label_com_parity", TextId::PortParityLabel},
    // miscellaneous
    CaptionRow{"Label_export_separator", TextId::ExportSeparatorLabel}, CaptionRow{"Label_retry_read", TextId::RetriesLabel},
    CaptionRow{"BitBtn2", TextId::CancelButton}, CaptionRow{"BitBtn1", TextId::ApplyButton},
};

// A tab page's caption is its tab's text in the page control that holds it.
bool SetTabText(QWidget& page, const QString& text) {
    auto* stack = qobject_cast<QStackedWidget*>(page.parentWidget());
    auto* tabs = stack ? qobject_cast<QTabWidget*>(stack->parentWidget()) : nullptr;
    if (!tabs) return false;
    const int index = tabs->indexOf(&page);
    if (index < 0) return false;
    tabs->setTabText(index, text);
    return true;
}

bool Assign(QObject& target, QWidget& root, const QString& text) {
    if (auto* button = qobject_cast<QAbstractButton*>(&target)) button->setText(text);
    else if (auto* label = qobject_cast<QLabel*>(&target)) label->setText(text);
    else if (auto* group = qobject_cast<QGroupBox*>(&target)) group->setTitle(text);
    else if (auto* menu = qobject_cast<QMenu*>(&target)) menu->setTitle(text);
    else if (auto* action = qobject_cast<QAction*>(&target)) action->setText(text);
    else if (&target == &root) root.setWindowTitle(text);
    else if (auto* page = qobject_cast<QWidget*>(&target)) return SetTabText(*page, text);
    else return false;
    return true;
}

} // namespace

QString CaptionText(TextId id, Language language) { return QtText(id, language); }

std::span<const CaptionRow> MainWindowCaptions() { return kMainWindowRows; }
std::span<const CaptionRow> SettingsWindowCaptions() { return kSettingsWindowRows; }

std::vector<const char*> ApplyCaptions(QWidget& root, std::span<const CaptionRow> rows, Language language) {
    std::vector<const char*> missing;
    for (const CaptionRow& row : rows) {
        const QString name = QString::fromLatin1(row.objectName);
        QObject* target = root.objectName() == name ? &root : root.findChild<QObject*>(name);
        if (!target || !Assign(*target, root, CaptionText(row.text, language))) missing.push_back(row.objectName);
    }
    return missing;
}

} // namespace veltro
