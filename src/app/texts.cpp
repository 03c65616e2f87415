#include "app/texts.h"

#include <array>
#include <cstddef>

namespace veltro {
namespace {

struct TextRow {
    TextId id;
    std::string_view english;
    std::string_view italian;
};

constexpr std::array kTexts{
    TextRow{TextId::SearchNetworkGroup, "   Search network   ", "   Scansione Rete   "},
    TextRow{TextId::PrimaryAddressLabel, "By Primary address: ", "By Primary address: "},
    TextRow{TextId::SecondaryAddressLabel, "By Secondary address: ", "By Secondary address: "},
    TextRow{TextId::FindIdButton, "Find", "Trova"},
    TextRow{TextId::FindAllButton, "Find all", "Trova tutti"},
    TextRow{TextId::StopSecondaryButton, "Stop secondary", "Stop secondary"},
    TextRow{TextId::ResponseTimeoutLabel, "Resp. timeout", "Timeout risposte"},
    TextRow{TextId::BroadcastCheck, "work on broadcast (0xFE)", "lavora in broadcast (0xFE)"},
    TextRow{TextId::ReadSelectedButton, "Read selected", "Read selected"},
    TextRow{TextId::ClearTableButton, "Clear table", "Clear table"},
    TextRow{TextId::LoadButton, "Load", "Load"},
    TextRow{TextId::ExportButton, "Export", "Salva / Esporta"},
    TextRow{TextId::SendButton, "Send", "Send"},
    TextRow{TextId::CustomCommandLabel, "Send custom command", "Invia custom string"},
    TextRow{TextId::PrintLogButton, "Print log", "Print log"},
    TextRow{TextId::SaveLogButton, "Save log", "Save log"},
    TextRow{TextId::ClearLogButton, "Clear log", "Clear log"},
    TextRow{TextId::MeterBusDevicesTab, "   M-bus devices   ", "   M-bus devices   "},
    TextRow{TextId::CommunicationDevicesTab, "   Communication devices   ", "   Comunicazione    "},
    TextRow{TextId::LocalDisplayTab, "   Local display LDU   ", "   Display Locale LDU   "},
    TextRow{TextId::GetReadingsTab, "   Get Readings   ", "   Acquisisci letture   "},
    TextRow{TextId::FileMenu, "File", "File"},
    TextRow{TextId::Open, "Open", "Apri"},
    TextRow{TextId::Save, "Save", "Salva"},
    TextRow{TextId::Exit, "Exit", "Esci"},
    TextRow{TextId::ToolsMenu, "Tools", "Strumenti"},
    TextRow{TextId::Users, "Users", "Utenti"},
    TextRow{TextId::Settings, "Settings", "Impostazioni"},
    TextRow{TextId::LanguageMenu, "Language", "Lingua"},
    TextRow{TextId::HelpMenu, "Help", "Aiuto"},
    TextRow{TextId::About, "About", "Info"},
    TextRow{TextId::UserManual, "User Manual", "Manuale Utente"},
    TextRow{TextId::ExitConfirmationTitle, "Exit Confirmation", "Conferma uscita"},
    TextRow{TextId::ExitConfirmationQuestion, "Are you sure you want to exit?", "Sei sicuro di voler uscire?"},

    TextRow{TextId::FindCaption, "Find", "Cerca"},
    TextRow{TextId::SetButton, "Set", "Imposta"},
    TextRow{TextId::SetAddressButton, "Set ", "Imposta"},
    TextRow{TextId::SetMediumLabel, "Set Medium to:", "Imposta Grandezza:"},
    TextRow{TextId::AutoAddressCaption, "Auto address", "Auto address"},
    TextRow{TextId::StopAddressingCaption, "Stop addr", "Stop addr"},
    TextRow{TextId::AddressConfirmationTitle, "Address confirmation", "Conferma addressing"},
    TextRow{TextId::AddressConfirmationQuestion, "This will address automatically ALL devices (primary), OK?",
            "This will address automatically ALL devices (primary), OK?"},
    TextRow{TextId::StopCaption, "Stop", "Stop"},
    TextRow{TextId::ReadAllCaption, "Read all meters", "Leggi tutti i dispositivi"},
    TextRow{TextId::ClearConfirmationTitle, "Clear confirmation", "Conferma cancellazione"},
    TextRow{TextId::ClearConfirmationQuestion, "Do you want to clear the table?", "Vuoi cancellare la tabella?"},

    // The Italian table leaves most of the page in English.
    TextRow{TextId::NetworkOptionsGroup, "   Network related options   ", "   Network related options   "},
    TextRow{TextId::OwnIpLabel, "Set Own IPv4", "IPv4"},
    TextRow{TextId::NetmaskLabel, "Set Netmask", "Set Netmask"},
    TextRow{TextId::GatewayIpLabel, "Set gateway IP", "Set gateway IP"},
    TextRow{TextId::NetworkNumberLabel, "Set Network number", "Set Network number"},
    TextRow{TextId::ApnLabel, "Set access point name (APN)", "Set access point name (APN)"},
    TextRow{TextId::PhoneNumberLabel, "Set phone number (0 = delete)", "Set phone number (0 = delete)"},
    TextRow{TextId::ManufacturerIpLabel, "Manufacturer IP", "IP di fabbrica"},
    TextRow{TextId::ControlIpLabel, "Control IP", "Control IP"},
    TextRow{TextId::OperatorIpLabel, "Operator IP", "Operator IP"},
    TextRow{TextId::PinLabel, "Set PIN code", "Set PIN code"},
    TextRow{TextId::GprsUserLabel, "Set GPRS user (0 = delete)", "Set GPRS user (0 = delete)"},
    TextRow{TextId::GprsPasswordLabel, "Set GPRS password (0 = delete)", "Set GPRS password (0 = delete)"},
    TextRow{TextId::OtherOptionsGroup, "   Other options   ", "   Other options   "},
    TextRow{TextId::SerialSpeedLabel, "Serial speed", "Serial speed"},
    TextRow{TextId::SerialParityLabel, "Serial parity", "Serial parity"},
    TextRow{TextId::DayLabel, "Day", "Day"},
    TextRow{TextId::HourLabel, "Hour", "Hour"},
    TextRow{TextId::MinuteLabel, "Minute", "Minute"},
    TextRow{TextId::DueDateLabel, "Set Due date (dd/hh/mm)", "Impostata data conn."},
    TextRow{TextId::ConnectRetriesLabel, "Set number of connect retries", "Set number of connect retries"},
    TextRow{TextId::RetryTimeoutLabel, "Set retry timeoue (0.1 - 5s)", "Set retry timeoue (0.1 - 5s)"},
    TextRow{TextId::PingTimeoutLabel, "Set Ping server timeout (1-48)", "Set Ping server timeout (1-48)"},
    TextRow{TextId::MbusResponseLabel, "m-bus response time (0.3 - 2.5s)", "m-bus response time (0.3 - 2.5s)"},
    TextRow{TextId::GatewaySetButton, "Set", "Set"},
    TextRow{TextId::GprsInfoButton, "Get GPRS Info", "Get GPRS Info"},
    TextRow{TextId::GprsStatusButton, "Get GPRS status", "Get GPRS status"},
    TextRow{TextId::SetDateButton, "Set Date", "Set Date"},
    TextRow{TextId::SetTimeButton, "Set Time", "Set Time"},
    TextRow{TextId::MainInfoButton, "Main info", "Main info"},
    TextRow{TextId::ServiceInfoButton, "Service info", "Service info"},
    TextRow{TextId::ConnectionInfoButton, "Connection", "Connection"},
    TextRow{TextId::OperatorsInfoButton, "OPs info", "OPs info"},
    TextRow{TextId::TestIpButton, "Test IP", "Test IP"},

    TextRow{TextId::DisplayFromMetersButton, "Get data from m-bus devices", "Get data from m-bus devices"},
    TextRow{TextId::ImportButton, "Import", "Import"},
    TextRow{TextId::DisplayExportButton, "Export", "Export"},
    TextRow{TextId::ReadDataButton, "Read Data ", "Read Data "},
    TextRow{TextId::RefreshTimeLabel, "Set display refresh time", "Set display refresh time"},
    TextRow{TextId::RefreshTimeButton, "Set refresh time", "Set refresh time"},
    TextRow{TextId::DateButton, "Date", "Date"},
    TextRow{TextId::TimeButton, "Time", "Time"},
    TextRow{TextId::CreateSortTableButton, "Create sort table", "Create sort table"},
    TextRow{TextId::SortButton, "Sort", "Sort"},
    TextRow{TextId::ByAddressCheck, "by address", "by address"},
    TextRow{TextId::ByUserNumbCheck, "by user numb.", "by user numb."},
    TextRow{TextId::ReadMetersButton, "Read meters", "Aggiorna display"},
    TextRow{TextId::GeneralInfoGroup, "   General info   ", "   General info   "},
    TextRow{TextId::GetInfoButton, "Get info", "Get info"},
    TextRow{TextId::SelectAllButton, "Select All", "Select All"},
    TextRow{TextId::DeselectAllButton, "Deselect All", "Deselect All"},
    TextRow{TextId::AddRowButton, "Add row", "Add row"},
    TextRow{TextId::DeleteRowButton, "Delete row", "Delete row"},
    TextRow{TextId::HistoricalValuesButton, "Get historical values", "Acquisisci solo storico"},
    TextRow{TextId::SortTableButton, "Sort table", "Sort table"},
    TextRow{TextId::ByUserNumberCheck, "by user number", "by user number"},

    TextRow{TextId::MeterColumnId, "ID ", "ID "},
    TextRow{TextId::MeterColumnAddress, "Addr. ", "Addr. "},
    TextRow{TextId::MeterColumnMaker, "Mfr. ", "Produttore "},
    TextRow{TextId::MeterColumnValue, "Value ", "Valore "},
    TextRow{TextId::MeterColumnUnit, "Unit ", "Unita "},
    TextRow{TextId::MeterColumnMedium, "Medium ", "Consumo "},
    TextRow{TextId::MeterColumnTime, "Time ", "Ora "},
    TextRow{TextId::MeterColumnDate, "Date ", "Data "},
    TextRow{TextId::MeterColumnStatus, "Status ", "Stato "},
    TextRow{TextId::MeterColumnPulse, "Pulse ", "Pulse "},
    TextRow{TextId::MeterColumnModel, "Model ", "Model "},
    TextRow{TextId::MeterColumnKey, "AES-128 key ", "AES-128 key "},

    TextRow{TextId::SerialPortGroup, "   Serial port settings   ", "   Impostazioni seriale   "},
    TextRow{TextId::PortNameLabel, "Name", "Nome"},
    TextRow{TextId::PortSpeedLabel, "Speed", "Velocita"},
    TextRow{TextId::PortParityLabel, "Parity", "Parita"},
    TextRow{TextId::ExportSeparatorLabel, "Export separator:", "Separatore:"},
    TextRow{TextId::RetriesLabel, "Retries", "Tentativi"},
    TextRow{TextId::CancelButton, "Cancel", "Cancella"},
    TextRow{TextId::ApplyButton, "Apply", "Applica"},
    TextRow{TextId::SerialPortInUse, "The selected serial port (%1) is in use by another program!",
            "La porta selezionata (%1) e utilizzata da un\"altra applicazione!"},

    TextRow{TextId::UsersWindowTitle, "Users and accounts", "Utenti e account"},
    TextRow{TextId::UserLabel, "User:", "Nome utente:"},
    TextRow{TextId::PasswordLabel, "Password:", "Password:"},
    TextRow{TextId::RepeatPasswordLabel, "Re-type password:", "Re-inserisci password:"},
    TextRow{TextId::AccessLevelLabel, "Access level:", "Livello di accesso:"},
    TextRow{TextId::AllowDevicesCheck, "Allow settings devices", "Consenti config. dispositivi"},
    TextRow{TextId::AllowCommunicationCheck, "Allow setting communication", "Consenti config. comunicazione"},
    TextRow{TextId::AllowDisplayCheck, "Allow setting display", "Consenti config. display"},
    TextRow{TextId::RequireLoginCheck, "Require login", "Require login"},
    TextRow{TextId::AddChangeButton, "Add/Change", "Aggiungi/Change"},
    TextRow{TextId::DeleteButton, "Delete", "Cancella"},
    TextRow{TextId::UsersColumnUser, "User", "Utenti"},
    TextRow{TextId::UsersColumnAccess, "Access", "Accesso"},
    TextRow{TextId::UsersColumnRegistered, "Date reg.", "Data res."},
    TextRow{TextId::UsersColumnMeterBus, "m-bus", "m-bus"},
    TextRow{TextId::UsersColumnCommunication, "Comm", "Comm"},
    TextRow{TextId::UsersColumnDisplay, "Display", "Display"},
    TextRow{TextId::LastAdministratorNotDeleted,
            "The last account with Administrator access can not be deleted!\nGive another account Administrator access first.",
            "L'ultimo account con accesso Administrator non puo essere cancellato!\nDai prima accesso Administrator a un altro account."},
    TextRow{TextId::LastAdministratorKeepsAccess,
            "The last account with Administrator access keeps it!\nGive another account Administrator access first.",
            "L'ultimo account con accesso Administrator lo mantiene!\nDai prima accesso Administrator a un altro account."},
};

// Row i holds id i, so every id has exactly one row and a lookup is an index.
constexpr bool EveryIdOnceInOrder() {
    for (std::size_t i = 0; i < kTexts.size(); ++i)
        if (static_cast<std::size_t>(kTexts[i].id) != i) return false;
    return kTexts.size() == static_cast<std::size_t>(TextId::Count);
}
static_assert(EveryIdOnceInOrder(), "one row per TextId, in the order of the enum");

constexpr std::string_view kArgument = "%1";

} // namespace

std::string_view Text(TextId id, Language language) {
    const auto index = static_cast<std::size_t>(id);
    if (index >= kTexts.size()) return {};
    return language == Language::Italian ? kTexts[index].italian : kTexts[index].english;
}

std::string Text(TextId id, Language language, std::string_view argument) {
    std::string text(Text(id, language));
    if (const auto at = text.find(kArgument); at != std::string::npos) text.replace(at, kArgument.size(), argument);
    return text;
}

} // namespace veltro
