#include "devices/gateway_settings.h"

#include <algorithm>
#include <chrono>

#include "devices/gateway_frame.h"

namespace veltro {
namespace {

using enum GatewayValue;
using enum GatewayDevice;
constexpr GatewayVerb kSet = GatewayVerb::Set;
constexpr GatewayVerb kGet = GatewayVerb::Get;
constexpr RefusedModes kAll = RefusedModes::AllThree;
constexpr RefusedModes kTwo = RefusedModes::Two;
constexpr std::size_t kIpField = 15;

// The command set of the "Communication devices" page, row for row.
constexpr std::array kCommands{
    GatewayCommandRow{kSet, "MASK", IpAddress, "Butt_CET", "Changing netmask of NLAN-2...", kAll, Nlan2, {}, 0, 0, kIpField},
    GatewayCommandRow{kSet, "IPV4", IpAddress, "Butt_CMT", "Changing own IP of NLAN2...", kAll, Nlan2, {}, 0, 0, kIpField},
    GatewayCommandRow{kSet, "GATE", IpAddress, "Butt_MET", "Changing gateway IP of NLAN-2...", kAll, Both, {}, 0, 0, kIpField},
    GatewayCommandRow{kSet, "NETN", IpAddress, "Butt_nlan_nn", "Changing network ID of NLAN-2...", kAll, Both, {}, 0, 0, kIpField},
    GatewayCommandRow{kSet, "IPMA", IpAddress, "Butt_nlan_manip", "Setting manufacturer IP...", kAll, Both, {}, 0, 0, kIpField},
    GatewayCommandRow{kSet, "IPCO", IpAddress, "Butt_nlan2_conip", "Setting control IP...", kAll, Both, {}, 0, 0, kIpField},
    GatewayCommandRow{kSet, "IPO1", IpAddress, "Butt_nlan2_op1", "Setting IP Op #1...", kAll, Both, {}, 0, 0, kIpField},
    GatewayCommandRow{kSet, "IPO2", IpAddress, "Butt_nlan2_op1", "Setting IP Op #2...", kAll, Both, {}, 0, 0, kIpField},
    GatewayCommandRow{kSet, "IPO3", IpAddress, "Butt_nlan2_op1", "Setting IP Op #3...", kAll, Both, {}, 0, 0, kIpField},
    GatewayCommandRow{kSet, "IPO4", IpAddress, "Butt_nlan2_op1", "Setting IP Op #4...", kAll, Both, {}, 0, 0, kIpField},
    GatewayCommandRow{kSet, "PINC", Pin, "Butt_gprs_pin", "Changing PIN code for GPRS connection...", kTwo, Ncel1A, {}, 0, 0, 4},
    GatewayCommandRow{kSet, "USER", QuotedOrZero, "Butt_gprs_user", "Changing username for GPRS connection...", kTwo, Ncel1A, {}, 0, 0, 19},
    GatewayCommandRow{kSet, "PASS", QuotedOrZero, "Butt_gprs_pass", "Changing password for GPRS connection...", kTwo, Ncel1A, {}, 0, 0, 19},
    GatewayCommandRow{kSet, "APNM", Quoted, "Butt_apn", "Setting Access point of GPRS connection...", kTwo, Ncel1A, {}, 0, 0, 27, false},
    GatewayCommandRow{kSet, "PHON", QuotedOrZero, "Butt_phone_number", "Setting phone number for GPRS connection...", kTwo, Ncel1A, {}, 0, 0, 20, false},
    GatewayCommandRow{kSet, "DUED", DueDate, "Butt_OHA", "Changing automatic readout time...", kTwo, Both},
    GatewayCommandRow{kSet, "COM2", SerialPort, "Butt_DDT", "Changing NLAN-2 serial port settings...", kTwo, Both},
    GatewayCommandRow{kSet, "RETN", TwoDigits, "Butt_TXG", "Changing retry number for connection to server...", kTwo, Nlan2, {}, 1, 16},
    GatewayCommandRow{kSet, "PITO", TwoDigits, "Butt_DPP", "Changing ping server timeout...", kTwo, Both, {}, 1, 48},
    GatewayCommandRow{kSet, "RETI", TwoDigits, "Butt_RXG", "Changing NLAN-2 retry timeout...", kTwo, Nlan2, {}, 1, 50},
    GatewayCommandRow{kSet, "NETO", TwoDigits, "Butt_nlan_mbus_response", "Changing NLAN-2 m-bus response timeout...", kTwo, Both, {}, 3, 25},
    GatewayCommandRow{kSet, "DATE", Date, "Butt_eth_date", "Setting date of NLAN-2...", kTwo, Both},
    GatewayCommandRow{kSet, "TIME", Time, "Butt_eth_time", "Setting time of NLAN-2...", kTwo, Both},
    GatewayCommandRow{kSet, "SERV", Fixed, "BitBtn39", "Changing NLAN-2 to server, requires RESTART of NLAN-2", kTwo, Both, "1"},
    GatewayCommandRow{kSet, "SERV", Fixed, "BitBtn40", "Changing NLAN-2 to client, requires RESTART of NLAN-2", kTwo, Both, "0"},
    GatewayCommandRow{kSet, "TEST", None, "Butt_nlan2_test", {}, kAll, Both},
    GatewayCommandRow{kGet, "MAIN", None, "Butt_eth_main", {}, kAll, Both},
    GatewayCommandRow{kGet, "SERV", None, "Butt_eth_service", {}, kAll, Both},
    GatewayCommandRow{kGet, "CONN", None, "Butt_eth_conn", {}, kAll, Both},
    GatewayCommandRow{kGet, "OPER", None, "Butt_eth_oper", {}, kAll, Both},
    GatewayCommandRow{kGet, "GPRS", None, "Butt_gprs_info", {}, kAll, Ncel1A},
    GatewayCommandRow{kGet, "STAT", None, "Butt_gprs_stat", {}, kAll, Ncel1A},
};

constexpr bool RowsAreWellFormed() {
    for (std::size_t i = 0; i < kCommands.size(); ++i) {
        const GatewayCommandRow& row = kCommands[i];
        if (row.name.size() != 4) return false;
        if ((row.value == Fixed) == row.fixedValue.empty()) return false;
        if ((row.value == TwoDigits) != (row.high > 0) || row.low > row.high || row.high > 99) return false;
        const bool text = row.value == IpAddress || row.value == Pin || row.value == Quoted || row.value == QuotedOrZero;
        if (text != (row.maxLength > 0)) return false;
        for (std::size_t j = 0; j < i; ++j)
            if (kCommands[j].verb == row.verb && kCommands[j].name == row.name && kCommands[j].fixedValue == row.fixedValue)
                return false;
    }
    return true;
}
static_assert(RowsAreWellFormed(), "four-letter names, unique rows, each kind with its own parameters");

// Saturates, so a long run of digits is simply out of every range.
std::optional<int> DecimalValue(std::string_view text) {
    if (text.empty()) return std::nullopt;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = std::min(value * 10 + (c - '0'), 1000);
    }
    return value;
}

std::string TwoDigitText(int value) { return (value < 10 ? "0" : "") + std::to_string(value); }

std::optional<int> ItemCode(std::string_view text, std::span<const char* const> items) {
    const auto item = std::find(items.begin(), items.end(), text);
    if (item == items.end()) return std::nullopt;
    return static_cast<int>(item - items.begin());
}

// Characters, not bytes: the page's fields count what the operator typed.
std::size_t CharacterCount(std::string_view text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// C0 controls, DEL, and C1 controls as UTF-8 (C2 80..C2 9F).
bool HoldsQuoteOrControl(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == '"' || byte < 0x20 || byte == 0x7F) return true;
        if (byte == 0xC2 && i + 1 < text.size() && (static_cast<unsigned char>(text[i + 1]) & 0xE0) == 0x80) return true;
    }
    return false;
}

bool ValidClock(const GatewayClock& clock) {
    using namespace std::chrono;
    if (clock.year < 2000 || clock.year > 2099 || clock.month < 1 || clock.month > 12 || clock.day < 1 || clock.day > 31)
        return false;
    const year_month_day date{year{clock.year}, month{static_cast<unsigned>(clock.month)}, day{static_cast<unsigned>(clock.day)}};
    return date.ok() && clock.hour >= 0 && clock.hour <= 23 && clock.minute >= 0 && clock.minute <= 59;
}

bool RefusedBy(const GatewayCommandRow& row, const GatewayLinkModes& modes) {
    return modes.ethernet || modes.xport || (row.refusedIn == RefusedModes::AllThree && modes.nlanServer);
}

GatewayCommandResult Refuse(GatewayRefusal why, std::string_view line = {}) { return {std::nullopt, why, std::string(line)}; }

// The value after "=", or the refusal of the row's field checks.
struct Encoded {
    std::string value;
    GatewayRefusal refusal = GatewayRefusal::None;
    std::string_view line;
};
Encoded Value(std::string text) { return {std::move(text), GatewayRefusal::None, {}}; }
Encoded Reject(GatewayRefusal why, std::string_view line = {}) { return {{}, why, line}; }

Encoded EncodeValue(const GatewayCommandRow& row, const std::vector<std::string>& values, const GatewayClock& clock) {
    using R = GatewayRefusal;
    const std::string_view typed = values.empty() ? std::string_view{} : std::string_view(values.front());
    // A PIN of another length has its own line.
    if (row.value != Pin && row.maxLength > 0 && CharacterCount(typed) > row.maxLength) return Reject(R::TooLong);
    switch (row.value) {
    case None: return Value({});
    case Fixed: return Value(std::string(row.fixedValue));
    case IpAddress:
        if (typed.empty()) return Reject(R::Silent);
        if (!ParseDottedQuad(typed)) return Reject(R::Logged, kWrongIpValue);
        return Value(std::string(typed));
    case Pin:
        if (typed.size() != 4 || !DecimalValue(typed)) return Reject(R::Logged, kPinNotFourDigits);
        return Value(std::string(typed));
    case QuotedOrZero:
        if (typed == "0") return Value(std::string(typed));
        [[fallthrough]];
    case Quoted:
        if (HoldsQuoteOrControl(typed)) return Reject(R::Logged, kQuotesNotAllowed);
        return Value("\"" + std::string(typed) + "\"");
    case DueDate: {
        // Typed values that are no position of their up-down are refused like empty ones.
        std::string text;
        for (std::size_t i = 0; i < kDueDateFields.size(); ++i) {
            const auto value = DecimalValue(values[i]);
            if (!value || *value < kDueDateFields[i].low || *value > kDueDateFields[i].high)
                return Reject(R::Logged, kWrongReadoutTime);
            text += (i > 0 ? "/" : "") + TwoDigitText(*value);
        }
        return Value(text);
    }
    case SerialPort: {
        const auto speed = ItemCode(values[0], kCom2SpeedItems);
        if (!speed) return Reject(R::Logged, kWrongSpeed);
        const auto parity = ItemCode(values[1], kCom2ParityItems);
        if (!parity) return Reject(R::Logged, kWrongParity);
        return Value(std::to_string(*speed) + "," + std::to_string(*parity));
    }
    case TwoDigits: {
        const auto value = DecimalValue(typed);
        if (!value || *value < row.low || *value > row.high) return Reject(R::Silent);
        return Value(TwoDigitText(*value));
    }
    case Date:
        if (!ValidClock(clock)) return Reject(R::BadClock);
        return Value(TwoDigitText(clock.day) + "," + TwoDigitText(clock.month) + "," + TwoDigitText(clock.year - 2000));
    case Time:
        if (!ValidClock(clock)) return Reject(R::BadClock);
        return Value(TwoDigitText(clock.hour) + "," + TwoDigitText(clock.minute));
    }
    return Value({});
}

const GatewayCommandRow* FindRow(GatewayVerb verb, std::string_view name, const std::vector<std::string>& values) {
    for (const GatewayCommandRow& row : kCommands) {
        if (row.verb != verb || row.name != name) continue;
        if (row.value != Fixed || (values.size() == 1 && values.front() == row.fixedValue)) return &row;
    }
    return nullptr;
}

GatewayCommandResult Build(GatewayVerb verb, std::string_view name, const std::vector<std::string>& values,
                           const GatewayClock& clock, const GatewayLinkModes& modes) {
    const GatewayCommandRow* row = FindRow(verb, name, values);
    if (!row) {
        const bool named = std::any_of(kCommands.begin(), kCommands.end(),
                                       [&](const GatewayCommandRow& r) { return r.verb == verb && r.name == name; });
        return Refuse(named && values.size() != 1 ? GatewayRefusal::ValueCount : GatewayRefusal::UnknownCommand);
    }
    if (values.size() != GatewayValueCount(row->value)) return Refuse(GatewayRefusal::ValueCount);

    // The clock buttons ask the RS-232 rule before they read the clock.
    const bool clockRow = row->value == Date || row->value == Time;
    if (clockRow && RefusedBy(*row, modes)) return Refuse(GatewayRefusal::Logged, kOnlyRs232);
    const Encoded encoded = EncodeValue(*row, values, clock);
    if (encoded.refusal != GatewayRefusal::None) return Refuse(encoded.refusal, encoded.line);
    if (RefusedBy(*row, modes)) return Refuse(GatewayRefusal::Logged, kOnlyRs232);

    GatewayCommand command{row, verb == GatewayVerb::Set ? "SET " : "GET ", {}};
    command.text += row->name;
    if (row->value != None) command.text += "=" + encoded.value;
    if (!row->logLine.empty()) command.log.emplace_back(row->logLine);
    return {std::move(command), GatewayRefusal::None, {}};
}

} // namespace

std::span<const GatewayCommandRow> GatewayCommandSet() { return kCommands; }

std::size_t GatewayValueCount(GatewayValue kind) {
    switch (kind) {
    case None: case Date: case Time: return 0;
    case DueDate: return kDueDateFields.size();
    case SerialPort: return 2;
    default: return 1;  // SERV's fixed value included
    }
}

GatewayCommandResult BuildGatewaySetting(std::string_view name, const std::vector<std::string>& values,
                                         const GatewayClock& clock, const GatewayLinkModes& modes) {
    return Build(GatewayVerb::Set, name, values, clock, modes);
}

GatewayCommandResult BuildGatewayQuery(std::string_view name, const GatewayLinkModes& modes) {
    return Build(GatewayVerb::Get, name, {}, {}, modes);
}

} // namespace veltro
