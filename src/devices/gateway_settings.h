#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace veltro {

// The NLAN-2 and NCEL-1A settings, plain text over RS-232 only ("SET PITO=05", "GET MAIN"), never in a
// gateway frame. The page `TabSheet2` and `veltro-cli gateway set` both build their texts here.

enum class GatewayVerb { Set, Get };

enum class GatewayValue {
    None,           // the text alone: "SET TEST", "GET MAIN"
    Fixed,          // the row's own value: "SET SERV=1"
    IpAddress,      // as typed, once `ParseDottedQuad` accepts it: "SET MASK=192.168.001.010"
    Pin,            // four digits
    QuotedOrZero,   // "0" alone deletes, anything else in double quotes: SET USER=0, SET USER="a b"
    Quoted,         // SET APNM="internet"
    DueDate,        // day, hour, minute as two digits each: "SET DUED=01/00/05"
    SerialPort,     // the speed and parity items' codes: "SET COM2=4,2"
    TwoDigits,      // an up-down position: "SET PITO=05"
    Date,           // the clock's day, month, year - 2000: "SET DATE=05,03,26"
    Time,           // the clock's hour, minute: "SET TIME=09,07"
};

// The Settings modes that refuse a command ("Setting of NLAN-2 or NCEL-1A is only RS-232!"):
// `Check_ethernet` and `Check_xport`, and for the network rows `Check_nlan_server` too.
enum class RefusedModes { Two, AllThree };

// Which device choice (`Check_nlan2`, `Check_ncel`) enables the row's controls.
enum class GatewayDevice { Both, Nlan2, Ncel1A };

struct GatewayCommandRow {
    GatewayVerb verb;
    std::string_view name;  // four letters, as after "SET " or "GET "
    GatewayValue value;
    std::string_view button;
    std::string_view logLine;  // empty: none
    RefusedModes refusedIn;
    GatewayDevice device;
    std::string_view fixedValue = {};  // GatewayValue::Fixed
    int low = 0, high = 0;             // TwoDigits: the up-down's range; its default is `low`
    std::size_t maxLength = 0;         // texts: the characters the field holds
    bool startsReplyCollector = true;  // false: nothing is collected after the write
};

// Every command of the page, in the page's order; one row per sent text (SERV twice, IPO1..IPO4 by slot).
std::span<const GatewayCommandRow> GatewayCommandSet();

// The values `BuildGatewaySetting` takes for a row of this kind.
std::size_t GatewayValueCount(GatewayValue kind);

inline constexpr std::array<const char*, 7> kCom2SpeedItems{"300", "1200", "2400", "4800", "9600", "19200", "38400"};
inline constexpr std::array<const char*, 3> kCom2ParityItems{"Even", "Odd", "None"};

struct UpDownRange {
    const char* control;
    int low, high;
};
inline constexpr std::array<UpDownRange, 3> kDueDateFields{
    UpDownRange{"UD_day", 1, 31}, UpDownRange{"UD_hour", 0, 23}, UpDownRange{"UD_minute", 0, 59}};

inline constexpr std::string_view kOnlyRs232 = "Setting of NLAN-2 or NCEL-1A is only RS-232!";
inline constexpr std::string_view kWrongIpValue = "Wrong IP value, please correct...";
inline constexpr std::string_view kWrongReadoutTime = "Wrong readout time, skipping...";
inline constexpr std::string_view kWrongSpeed = "Wrong speed, skipping...";
inline constexpr std::string_view kWrongParity = "Wrong parity, skipping...";
inline constexpr std::string_view kPinNotFourDigits = "PIN must be 4 digits, skipping...";
inline constexpr std::string_view kQuotesNotAllowed = "Wrong value, double quotes are not allowed, skipping...";

// The settings window's transport check boxes.
struct GatewayLinkModes {
    bool ethernet = false;    // `Check_ethernet`
    bool xport = false;       // `Check_xport`
    bool nlanServer = false;  // `Check_nlan_server`
};

// The computer's local date and time when the clock button is pressed.
struct GatewayClock {
    int year = 2000, month = 1, day = 1, hour = 0, minute = 0;
};

enum class GatewayRefusal {
    None,
    Logged,          // `line` is what the page logs
    Silent,          // the page does nothing and logs nothing: an empty field, a position outside its range
    TooLong,         // more characters than the page's field holds
    UnknownCommand,  // no row has this verb and name (for SERV: this value)
    ValueCount,      // the row takes another number of values
    BadClock,        // the clock reading is no date and time of the years 2000-2099
};

struct GatewayCommand {
    const GatewayCommandRow* row = nullptr;
    std::string text;               // written to the serial port as it is, no terminator
    std::vector<std::string> log;   // logged before the write
};

struct GatewayCommandResult {
    std::optional<GatewayCommand> command;
    GatewayRefusal refusal = GatewayRefusal::None;
    std::string line;  // the refusal's log line, for GatewayRefusal::Logged
};

// A "SET" row by name with the field values as typed: one for most rows, three for DUED (day, hour,
// minute), two for COM2 (speed and parity texts), none for DATE, TIME and TEST, "1" or "0" for SERV.
// The field checks come first, then the RS-232 rule; DATE and TIME apply the rule before the clock.
// Values in double quotes are refused when they hold a double quote or a control character, so the text
// can neither end the quoted value early nor carry a line end to the device.
GatewayCommandResult BuildGatewaySetting(std::string_view name, const std::vector<std::string>& values,
                                         const GatewayClock& clock, const GatewayLinkModes& modes);

// "GET MAIN", "GET SERV", "GET CONN", "GET OPER", "GET GPRS", "GET STAT" by name.
GatewayCommandResult BuildGatewayQuery(std::string_view name, const GatewayLinkModes& modes);

} // namespace veltro
