#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "app/language.h"

namespace veltro {

// Every text the program shows in both languages. Captions keep their blanks exactly
// ("   Search network   "); "%1" in a text stands for the argument it is composed with.
enum class TextId : std::uint16_t {
    // main window
    SearchNetworkGroup,
    PrimaryAddressLabel,
    SecondaryAddressLabel,
    FindIdButton,
    FindAllButton,
    StopSecondaryButton,
    ResponseTimeoutLabel,
    BroadcastCheck,
    ReadSelectedButton,
    ClearTableButton,
    LoadButton,
    ExportButton,
    SendButton,
    CustomCommandLabel,
    PrintLogButton,
    SaveLogButton,
    ClearLogButton,
    MeterBusDevicesTab,
    CommunicationDevicesTab,
    LocalDisplayTab,
    GetReadingsTab,
    FileMenu,
    Open,
    Save,
    Exit,
    ToolsMenu,
    Users,
    Settings,
    LanguageMenu,
    HelpMenu,
    About,
    UserManual,
    ExitConfirmationTitle,
    ExitConfirmationQuestion,
    // the meter page's commands, composed by the engine with the running operation
    FindCaption,
    SetButton,
    SetAddressButton,
    SetMediumLabel,
    AutoAddressCaption,
    StopAddressingCaption,
    AddressConfirmationTitle,
    AddressConfirmationQuestion,
    StopCaption,
    ReadAllCaption,
    ClearConfirmationTitle,
    ClearConfirmationQuestion,
    // communication-devices page
    NetworkOptionsGroup,
    OwnIpLabel,
    NetmaskLabel,
    GatewayIpLabel,
    NetworkNumberLabel,
    ApnLabel,
    PhoneNumberLabel,
    ManufacturerIpLabel,
    ControlIpLabel,
    OperatorIpLabel,
    PinLabel,
    GprsUserLabel,
    GprsPasswordLabel,
    OtherOptionsGroup,
    SerialSpeedLabel,
    SerialParityLabel,
    DayLabel,
    HourLabel,
    MinuteLabel,
    DueDateLabel,
    ConnectRetriesLabel,
    RetryTimeoutLabel,
    PingTimeoutLabel,
    MbusResponseLabel,
    GatewaySetButton,
    GprsInfoButton,
    GprsStatusButton,
    SetDateButton,
    SetTimeButton,
    MainInfoButton,
    ServiceInfoButton,
    ConnectionInfoButton,
    OperatorsInfoButton,
    TestIpButton,
    // meter table, fixed columns
    MeterColumnId,
    MeterColumnAddress,
    MeterColumnMaker,
    MeterColumnValue,
    MeterColumnUnit,
    MeterColumnMedium,
    MeterColumnTime,
    MeterColumnDate,
    MeterColumnStatus,
    MeterColumnPulse,
    MeterColumnModel,
    MeterColumnKey,
    // settings window
    SerialPortGroup,
    PortNameLabel,
    PortSpeedLabel,
    PortParityLabel,
    ExportSeparatorLabel,
    RetriesLabel,
    CancelButton,
    ApplyButton,
    SerialPortInUse,
    // users window
    UsersWindowTitle,
    UserLabel,
    PasswordLabel,
    RepeatPasswordLabel,
    AccessLevelLabel,
    AllowDevicesCheck,
    AllowCommunicationCheck,
    AllowDisplayCheck,
    RequireLoginCheck,
    AddChangeButton,
    DeleteButton,
    UsersColumnUser,
    UsersColumnAccess,
    UsersColumnRegistered,
    UsersColumnMeterBus,
    UsersColumnCommunication,
    UsersColumnDisplay,
    LastAdministratorNotDeleted,
    LastAdministratorKeepsAccess,

    Count  // not a text: the number of ids above
};

std::string_view Text(TextId id, Language language);

// The text with its "%1" replaced by `argument`.
std::string Text(TextId id, Language language, std::string_view argument);

} // namespace veltro
