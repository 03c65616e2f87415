#include "sim/gateway_settings.h"

#include <algorithm>
#include <charconv>
#include <optional>

namespace veltro::sim {
namespace {

enum class Kind {
    IpAddress,     // dotted quad, kept as typed ("192.168.001.010")
    TwoDigits,     // a number in [lowest, highest], kept with two digits
    DueDate,       // day/hour/minute, "01/00/05"
    SerialPort,    // speed code 0-6 "," parity code 0-2, "4,2"
    Date,          // day,month,year-2000, "05,03,26"
    Time,          // hour,minute, "09,07"
    ServerFlag,    // 1: the gateway listens, 0: it calls the program
    Pin,           // four digits
    QuotedOrZero,  // "0" deletes; otherwise text in double quotes
    Quoted,
};

struct Setting {
    const char* name;
    const char* group;  // the "GET" that lists it
    Kind kind;
    int lowest = 0;   // TwoDigits
    int highest = 0;  // TwoDigits; quoted kinds: most characters between the quotes
    const char* initial = "";
};

// The settings of the "Communication devices" page, in the order the GET groups list them.
constexpr Setting kSettings[] = {
    {"IPV4", "MAIN", Kind::IpAddress, 0, 0, "192.168.1.100"},
    {"MASK", "MAIN", Kind::IpAddress, 0, 0, "255.255.255.0"},
    {"GATE", "MAIN", Kind::IpAddress, 0, 0, "192.168.1.1"},
    {"NETN", "MAIN", Kind::IpAddress},  // from the command line
    {"SERV", "MAIN", Kind::ServerFlag},  // from the command line
    {"COM2", "MAIN", Kind::SerialPort, 0, 0, "2,0"},
    {"DATE", "MAIN", Kind::Date, 0, 0, "01,01,00"},
    {"TIME", "MAIN", Kind::Time, 0, 0, "00,00"},
    {"NETO", "SERV", Kind::TwoDigits, 3, 25, "03"},
    {"RETN", "SERV", Kind::TwoDigits, 1, 16, "01"},
    {"RETI", "SERV", Kind::TwoDigits, 1, 50, "01"},
    {"PITO", "SERV", Kind::TwoDigits, 1, 48, "01"},
    {"DUED", "SERV", Kind::DueDate, 0, 0, "01/00/00"},
    {"IPMA", "CONN", Kind::IpAddress, 0, 0, "0.0.0.0"},
    {"IPCO", "CONN", Kind::IpAddress, 0, 0, "0.0.0.0"},
    {"IPO1", "OPER", Kind::IpAddress, 0, 0, "0.0.0.0"},
    {"IPO2", "OPER", Kind::IpAddress, 0, 0, "0.0.0.0"},
    {"IPO3", "OPER", Kind::IpAddress, 0, 0, "0.0.0.0"},
    {"IPO4", "OPER", Kind::IpAddress, 0, 0, "0.0.0.0"},
    {"PINC", "GPRS", Kind::Pin, 0, 0, "0000"},
    {"USER", "GPRS", Kind::QuotedOrZero, 0, 19, "0"},
    {"PASS", "GPRS", Kind::QuotedOrZero, 0, 19, "0"},
    {"APNM", "GPRS", Kind::Quoted, 0, 27, "\"\""},
    {"PHON", "GPRS", Kind::QuotedOrZero, 0, 20, "0"},
};

const Setting* Find(std::string_view name) {
    for (const auto& s : kSettings)
        if (name == s.name) return &s;
    return nullptr;
}

std::optional<int> Digits(std::string_view text, std::size_t fewest, std::size_t most) {
    if (text.size() < fewest || text.size() > most) return std::nullopt;
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size() || text.front() == '-' || text.front() == '+')
        return std::nullopt;
    return value;
}

struct Range {
    int lowest;
    int highest;
};

// "05,03,26" against {1-31, 1-12, 0-99} with ",": every field `width` digits and in its range.
bool Fields(std::string_view text, char separator, std::initializer_list<Range> ranges, std::size_t width = 2) {
    for (auto range = ranges.begin(); range != ranges.end(); ++range) {
        const std::size_t cut = range + 1 == ranges.end() ? text.size() : text.find(separator);
        if (cut == std::string_view::npos) return false;
        const auto value = Digits(text.substr(0, cut), width, width);
        if (!value || *value < range->lowest || *value > range->highest) return false;
        text.remove_prefix(range + 1 == ranges.end() ? cut : cut + 1);
    }
    return true;
}

bool QuotedText(std::string_view value, int longest) {
    return value.size() >= 2 && value.front() == '"' && value.back() == '"' &&
           value.substr(1, value.size() - 2).find('"') == std::string_view::npos &&
           static_cast<int>(value.size()) - 2 <= longest;
}

// The value as stored, or nothing when it is not a value of its kind.
std::optional<std::string> Checked(const Setting& s, std::string_view value) {
    switch (s.kind) {
    case Kind::IpAddress:
        if (!gateway::ParseNetworkNumber(value)) return std::nullopt;
        return std::string(value);
    case Kind::TwoDigits: {
        const auto n = Digits(value, 1, 2);
        if (!n || *n < s.lowest || *n > s.highest) return std::nullopt;
        return std::string(*n < 10 ? "0" : "") + std::to_string(*n);
    }
    case Kind::DueDate:
        if (!Fields(value, '/', {{1, 31}, {0, 23}, {0, 59}})) return std::nullopt;
        return std::string(value);
    case Kind::SerialPort:
        if (!Fields(value, ',', {{0, 6}, {0, 2}}, 1)) return std::nullopt;
        return std::string(value);
    case Kind::Date:
        if (!Fields(value, ',', {{1, 31}, {1, 12}, {0, 99}})) return std::nullopt;
        return std::string(value);
    case Kind::Time:
        if (!Fields(value, ',', {{0, 23}, {0, 59}})) return std::nullopt;
        return std::string(value);
    case Kind::ServerFlag:
        if (value != "0" && value != "1") return std::nullopt;
        return std::string(value);
    case Kind::Pin:
        if (!Digits(value, 4, 4)) return std::nullopt;
        return std::string(value);
    case Kind::QuotedOrZero:
        if (value != "0" && !QuotedText(value, s.highest)) return std::nullopt;
        return std::string(value);
    case Kind::Quoted:
        if (!QuotedText(value, s.highest)) return std::nullopt;
        return std::string(value);
    }
    return std::nullopt;
}

std::string_view Trimmed(std::string_view text) {
    constexpr std::string_view kBlank = " \t\r\n";
    const auto first = text.find_first_not_of(kBlank);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(kBlank) - first + 1);
}

} // namespace

GatewaySettings::GatewaySettings(gateway::NetworkNumber network, bool server) : m_network(network) {
    for (const auto& s : kSettings) m_values[s.name] = s.initial;
    m_values["NETN"] = gateway::NetworkNumberText(network);
    m_values["SERV"] = server ? "1" : "0";
    m_mbusTimeout = std::chrono::milliseconds{std::stoi(m_values["NETO"]) * 100};
}

bool GatewaySettings::set(std::string_view name, std::string_view value) {
    const Setting* setting = Find(name);
    if (!setting) return false;
    auto stored = Checked(*setting, value);
    if (!stored) return false;
    if (name == "NETN") m_network = *gateway::ParseNetworkNumber(*stored);
    if (name == "NETO") m_mbusTimeout = std::chrono::milliseconds{std::stoi(*stored) * 100};
    m_values.find(name)->second = std::move(*stored);
    return true;
}

std::string GatewaySettings::answer(std::string_view command) {
    command = Trimmed(command);
    if (command == "SET TEST") return kSettingsOk;
    if (command.starts_with("SET ")) {
        const auto eq = command.find('=');
        if (eq == std::string_view::npos) return kSettingsError;
        return set(command.substr(4, eq - 4), command.substr(eq + 1)) ? kSettingsOk : kSettingsError;
    }
    if (!command.starts_with("GET ")) return kSettingsError;
    const std::string_view what = command.substr(4);
    if (what == "STAT") return std::string("LINK=") + (m_connected ? "CONNECTED" : "WAITING") + "\r\n";
    // "SERV" names both a group and a value (server or client); the group wins, GET MAIN shows the value.
    const bool group = std::any_of(std::begin(kSettings), std::end(kSettings), [&](const Setting& s) { return what == s.group; });
    std::string lines;
    for (const auto& s : kSettings)
        if (what == (group ? s.group : s.name)) lines += std::string(s.name) + "=" + m_values.find(s.name)->second + "\r\n";
    return lines.empty() ? kSettingsError : lines;
}

} // namespace veltro::sim
