#include "sim/rxv_kt.h"

#include <algorithm>
#include <ctime>

#include "mbus/frames.h"
#include "sim/bus.h"

namespace veltro::sim {
namespace {

constexpr std::string_view kDone = "Done!\n";
constexpr std::size_t kLongestNumber = 9;  // digits read before a range check, so nothing overflows
constexpr std::size_t kIdLength = 8;
constexpr std::string_view kMasterId = "00000000";
constexpr std::int64_t kSecondsPerDay = 86400;

struct RawCommand {
    std::string_view head;  // "set encr="
    std::size_t rawBytes;   // after the first comma
};
constexpr RawCommand kRawCommands[] = {{"set encr=", kReceiverKeyBytes}, {"set akey=", kReceiverKeyBytes},
                                       {"set bind=", kReceiverBindBytes}};
constexpr std::string_view kVerbs[] = {"set ", "del ", "get "};

// The on/off and numbered settings, each a "set NAME=VALUE" with VALUE in low..high; `allowed`, when not
// 0, names the values of the range that are taken (bit n: n).
struct OptionRule {
    std::string_view name;
    int low;
    int high;
    std::uint32_t allowed;
};
constexpr OptionRule kOptions[] = {
    {"rtra", 0, 1, 0}, {"rssi", 0, 1, 0}, {"tmst", 0, 1, 0}, {"minc", 0, 1, 0},  {"trns", 0, 1, 0},
    {"ambr", 0, 1, 0}, {"mast", 0, 1, 0}, {"pito", 1, 240, 0}, {"nrol", 0, 2, 0}, {"wwrk", 0, 2, 0},
    {"wmod", 0, 11, (1u << 0) | (1u << 1) | (1u << 2) | (1u << 3) | (1u << 4) | (1u << 10) | (1u << 11)},
};
constexpr std::pair<int, std::string_view> kModeNames[] = {{0, "S2"}, {1, "T1"}, {2, "T2"},      {3, "S1"},
                                                           {4, "R"},  {10, "T1+C"}, {11, "T2+C"}};
constexpr std::string_view kRoleNames[] = {"Slave", "Master", "Repeater"};
constexpr std::string_view kWorkNames[] = {"Normal", "Install", "Accept All"};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'A' && c <= 'F'); }

std::optional<int> Digits(std::string_view text, std::size_t most = kLongestNumber) {
    if (text.empty() || text.size() > most) return std::nullopt;
    int value = 0;
    for (char c : text) {
        if (!IsDigit(c)) return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

bool IsId(std::string_view id) { return id.size() == kIdLength && std::all_of(id.begin(), id.end(), IsHexDigit); }

int Nibble(char c) { return IsDigit(c) ? c - '0' : c - 'A' + 10; }

// "12345678" -> 78 56 34 12, as the ID travels. The ID must pass IsId.
PackedIdentification PackedId(std::string_view id) {
    PackedIdentification packed{};
    for (std::size_t i = 0; i < packed.size(); ++i) {
        const std::size_t at = kIdLength - 2 * (i + 1);
        packed[i] = static_cast<std::uint8_t>(Nibble(id[at]) << 4 | Nibble(id[at + 1]));
    }
    return packed;
}

std::string Error(const std::string& why) { return "Error: " + why + "\n"; }

std::string TwoDigits(std::int64_t value) {
    std::string text = std::to_string(value);
    return text.size() < 2 ? "0" + text : text;
}

// Days since 2000-01-01 of a date of the Gregorian calendar, and back (H. Hinnant's civil algorithms).
std::int64_t DaysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return std::int64_t{era} * 146097 + doe - 730425;  // 730425: 0000-03-01 to 2000-01-01
}

struct Civil {
    int year, month, day;
};
Civil CivilFromDays(std::int64_t days) {
    days += 730425;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto doe = static_cast<int>(days - era * 146097);
    const int yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int mp = (5 * doy + 2) / 153;
    const int d = doy - (153 * mp + 2) / 5 + 1;
    const int m = mp < 10 ? mp + 3 : mp - 9;
    return {static_cast<int>(yoe + era * 400) + (m <= 2), m, d};
}

bool IsRealDay(int year, int month, int day) {
    if (month < 1 || month > 12 || day < 1) return false;
    const Civil back = CivilFromDays(DaysFromCivil(year, month, day));
    return back.year == year && back.month == month && back.day == day;
}

// "dd/mm/yy" or "hh:mm:ss": three two-digit fields.
std::optional<std::array<int, 3>> ThreeFields(std::string_view text, char separator) {
    if (text.size() != 8 || text[2] != separator || text[5] != separator) return std::nullopt;
    std::array<int, 3> fields{};
    for (std::size_t i = 0; i < 3; ++i) {
        const auto v = Digits(text.substr(3 * i, 2), 2);
        if (!v) return std::nullopt;
        fields[i] = *v;
    }
    return fields;
}

template <std::size_t N>
std::optional<std::array<std::uint8_t, N>> RawBytes(std::string_view text) {
    if (text.size() != N) return std::nullopt;
    std::array<std::uint8_t, N> bytes{};
    std::transform(text.begin(), text.end(), bytes.begin(), [](char c) { return static_cast<std::uint8_t>(c); });
    return bytes;
}

bool StartsCommand(std::string_view text) {
    return std::any_of(std::begin(kVerbs), std::end(kVerbs), [&](std::string_view v) { return text.starts_with(v); });
}

} // namespace

std::vector<std::string_view> SplitReceiverCommands(std::string_view burst) {
    std::vector<std::string_view> pieces;
    while (!burst.empty()) {
        std::size_t end = burst.size();
        const auto raw = std::find_if(std::begin(kRawCommands), std::end(kRawCommands),
                                      [&](const RawCommand& r) { return burst.starts_with(r.head); });
        if (StartsCommand(burst) && raw != std::end(kRawCommands)) {
            const auto comma = burst.find(',', raw->head.size());
            if (comma != std::string_view::npos) end = std::min(burst.size(), comma + 1 + raw->rawBytes);
        } else if (StartsCommand(burst)) {
            for (std::size_t at = 1; at < burst.size(); ++at)
                if (StartsCommand(burst.substr(at))) {
                    end = at;
                    break;
                }
        }
        pieces.push_back(burst.substr(0, end));
        burst.remove_prefix(end);
    }
    return pieces;
}

std::optional<Telegram> RadioTelegram(const RadioMeter& meter) {
    if (!IsId(meter.id) || (meter.ci == 0x72 && !IsId(meter.auxId))) return std::nullopt;
    std::vector<std::uint8_t> body{meter.control, static_cast<std::uint8_t>(meter.manufacturer & 0xFF),
                                   static_cast<std::uint8_t>(meter.manufacturer >> 8)};
    const auto id = PackedId(meter.id);
    body.insert(body.end(), id.begin(), id.end());
    body.insert(body.end(), {meter.version, meter.deviceType, meter.ci});
    if (meter.ci == 0x72) {
        const auto aux = PackedId(meter.auxId);
        body.insert(body.end(), aux.begin(), aux.end());
        body.insert(body.end(), {static_cast<std::uint8_t>(meter.auxManufacturer & 0xFF),
                                 static_cast<std::uint8_t>(meter.auxManufacturer >> 8), meter.auxVersion,
                                 meter.auxDeviceType});
    }
    body.insert(body.end(), {meter.accessNumber, meter.status});
    for (const auto& r : meter.records) {
        if (CheckRecord(r)) return std::nullopt;
        AppendRecord(r, body);
    }
    if (body.size() > 0xFF) return std::nullopt;
    Telegram t{0x68, static_cast<std::uint8_t>(body.size())};
    t.append(body);
    t.append(std::uint8_t{0x16});
    return t;
}

struct RxvKt::Command {
    std::string_view verb;
    std::string_view name;
    bool takesValue;
    std::string (RxvKt::*run)(std::string_view);
};

RxvKt::RxvKt(RxvKtConfig config, Clock clock) : m_config(std::move(config)), m_clock(std::move(clock)) {
    if (!m_clock) m_clock = [] { return std::chrono::steady_clock::now(); };
    for (const auto& [address, e] : m_config.entries)
        if (address >= 1 && address <= kReceiverEntries && IsId(e.id)) m_entries[address] = e;
    for (const auto& rule : kOptions) m_options[std::string(rule.name)] = rule.low;
    m_options["wmod"] = 1;
    m_options["nrol"] = 1;
    m_nextSend.resize(m_config.meters.size());
    m_heard.resize(m_config.meters.size());
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    m_clockBase = DaysFromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) * kSecondsPerDay +
                  local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
    m_clockSetAt = m_clock();
}

std::string RxvKt::label() const {
    return "RXV-KT receiver at " + std::to_string(m_config.baud) + " baud, " + std::to_string(m_config.meters.size()) +
           " radio meters";
}

const RxvKtEntry* RxvKt::entry(int address) const {
    const auto it = m_entries.find(address);
    return it == m_entries.end() ? nullptr : &it->second;
}

std::optional<ReceiverKey> RxvKt::keyFor(int address) const {
    if (const auto it = m_keysByAddress.find(address); it != m_keysByAddress.end()) return it->second;
    if (const auto* e = entry(address))
        if (const auto it = m_keysById.find(e->id); it != m_keysById.end()) return it->second;
    return m_masterKey;
}

std::optional<std::array<std::uint8_t, kReceiverBindBytes>> RxvKt::binding(int address) const {
    const auto it = m_bindings.find(address);
    if (it == m_bindings.end()) return std::nullopt;
    return it->second;
}

int RxvKt::option(const std::string& name) const {
    const auto it = m_options.find(name);
    return it == m_options.end() ? -1 : it->second;
}

bool RxvKt::heard(std::string_view id) const {
    for (std::size_t i = 0; i < m_config.meters.size(); ++i)
        if (m_heard[i] && (m_config.meters[i].id == id || m_config.meters[i].auxId == id)) return true;
    return false;
}

const RadioMeter* RxvKt::heardMeter(const std::string& id) const {
    for (std::size_t i = 0; i < m_config.meters.size(); ++i) {
        const auto& m = m_config.meters[i];
        if (m_heard[i] && (m.id == id || (m.ci == 0x72 && m.auxId == id))) return &m;
    }
    return nullptr;
}

std::vector<Telegram> RxvKt::unsolicited(std::chrono::steady_clock::time_point now) {
    std::vector<Telegram> out;
    for (std::size_t i = 0; i < m_config.meters.size(); ++i) {
        auto& meter = m_config.meters[i];
        auto& next = m_nextSend[i];
        if (!next) next = now + meter.offset;
        if (*next > now) continue;
        m_heard[i] = true;
        if (m_options["rtra"] == 1)
            if (auto t = RadioTelegram(meter)) out.push_back(std::move(*t));
        ++meter.accessNumber;
        // A meter sends once per interval; a receiver polled late does not hear the missed ones twice.
        const auto interval = std::max(meter.interval, std::chrono::milliseconds{1});
        *next += interval * ((now - *next) / interval + 1);
    }
    return out;
}

DeviceResponse RxvKt::hear(const MasterFrame& frame, int lineBaud) {
    DeviceResponse response;
    if (lineBaud != m_config.baud) return response;
    if (frame.kind != MasterFrame::Kind::Text) return wired(frame);
    const std::string_view text(reinterpret_cast<const char*>(frame.bytes.data()), frame.bytes.size());
    auto reply = answer(text);
    if (!reply) return response;
    response.reached = true;
    if (m_config.mute) {
        response.notes.push_back("RXV-KT: muted, no answer");
        return response;
    }
    Telegram out;
    for (char c : *reply) out.append(static_cast<std::uint8_t>(c));
    response.answer = std::move(out);
    return response;
}

DeviceResponse RxvKt::wired(const MasterFrame& frame) {
    DeviceResponse response;
    if (frame.kind != MasterFrame::Kind::Short || frame.address < 1 || frame.address > kReceiverWiredAddresses)
        return response;
    const auto* e = entry(frame.address);
    const RadioMeter* meter = e ? heardMeter(e->id) : nullptr;
    if (!meter) return response;
    if (frame.control == frame::kSndNke) {
        response.reached = true;
        response.answer = Telegram{frame::kAcknowledge};
    } else if (frame.control == frame::kReqUd2 || frame.control == frame::kReqUd2Fcb0) {
        response.reached = true;
        FixedHeader header;
        header.identification = PackedId(e->id);
        header.manufacturer = meter->manufacturer;
        header.version = meter->version;
        header.medium = static_cast<std::uint8_t>(e->unit);
        header.accessNumber = m_accessNumber++;
        const bool opened = !meter->key || keyFor(frame.address) == meter->key;
        if (!opened) response.notes.push_back("RXV-KT: entry " + std::to_string(frame.address) + " has not its meter's key");
        const std::span<const DataRecord> records = opened ? std::span<const DataRecord>(meter->records) : std::span<const DataRecord>{};
        response.answer = EncodeRspUd(frame.address, header, records);
    }
    return response;
}

RxvKt::Answer RxvKt::answer(std::string_view text) {
    static constexpr Command kCommands[] = {
        {"set ", "entr", true, &RxvKt::setEntry},        {"del ", "entr", true, &RxvKt::deleteEntry},
        {"set ", "unit", true, &RxvKt::setUnit},         {"set ", "encr", true, &RxvKt::setKeyByAddress},
        {"set ", "akey", true, &RxvKt::setKeyById},      {"set ", "bind", true, &RxvKt::setBinding},
        {"del ", "bind", true, &RxvKt::deleteBinding},   {"set ", "date", true, &RxvKt::setDate},
        {"set ", "time", true, &RxvKt::setTime},         {"get ", "serv", false, &RxvKt::serviceInfo},
        {"get ", "wsta", false, &RxvKt::wirelessStatus},
    };
    if (text.size() < 8 || !StartsCommand(text)) return std::nullopt;
    const bool raw = std::any_of(std::begin(kRawCommands), std::end(kRawCommands),
                                 [&](const RawCommand& r) { return text.starts_with(r.head); });
    // A person typing in the console ends the line; key and bind bytes may end in CR or LF.
    if (!raw)
        while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.remove_suffix(1);
    if (text.size() < 8) return std::nullopt;
    const std::string_view verb = text.substr(0, 4);
    const std::string_view name = text.substr(4, 4);
    const std::string_view rest = text.substr(8);
    if (!rest.empty() && rest.front() != '=') return std::nullopt;
    const auto option = std::find_if(std::begin(kOptions), std::end(kOptions), [&](const OptionRule& r) { return r.name == name; });
    const auto known = std::find_if(std::begin(kCommands), std::end(kCommands), [&](const Command& c) { return c.name == name; });
    if (option == std::end(kOptions) && known == std::end(kCommands)) return std::nullopt;  // another device's name
    const std::string command = std::string(verb) + std::string(name);
    if (option != std::end(kOptions)) {
        if (verb != "set ") return Error("unknown command " + command);
        if (rest.empty()) return Error("bad value for " + std::string(name));
        return setOption(name, rest.substr(1));
    }
    const auto run = std::find_if(std::begin(kCommands), std::end(kCommands),
                                  [&](const Command& c) { return c.name == name && c.verb == verb; });
    if (run == std::end(kCommands)) return Error("unknown command " + command);
    if (run->takesValue == rest.empty()) return Error("bad value for " + std::string(name));
    return (this->*run->run)(rest.empty() ? rest : rest.substr(1));
}

namespace {

// An address before its comma (or alone), within low..high; the error answer otherwise.
struct AddressArgument {
    int address = 0;
    std::string_view value;  // after the comma
    std::string error;
};

AddressArgument Address(std::string_view args, bool withValue, int low, int high, std::string_view name) {
    const auto comma = args.find(',');
    if (withValue && comma == std::string_view::npos) return {0, {}, Error("bad value for " + std::string(name))};
    const auto value = Digits(withValue ? args.substr(0, comma) : args);
    if (!value) return {0, {}, Error("bad address")};
    if (*value < low || *value > high)
        return {0, {}, Error("address " + std::to_string(*value) + " outside " + std::to_string(low) + ".." + std::to_string(high))};
    return {*value, withValue ? args.substr(comma + 1) : std::string_view{}, {}};
}

} // namespace

std::string RxvKt::setEntry(std::string_view args) {
    const auto a = Address(args, true, 1, kReceiverEntries, "entr");
    if (!a.error.empty()) return a.error;
    if (!IsId(a.value)) return Error("bad ID");
    auto& e = m_entries[a.address];
    if (e.id == a.value) return "Device " + std::to_string(a.address) + " already active\n";
    e = RxvKtEntry{std::string(a.value), 15};
    return std::string(kDone);
}

std::string RxvKt::deleteEntry(std::string_view args) {
    const auto a = Address(args, false, 1, kReceiverEntries, "entr");
    if (!a.error.empty()) return a.error;
    if (!m_entries.erase(a.address)) return Error("device " + std::to_string(a.address) + " not active");
    return std::string(kDone);
}

std::string RxvKt::setUnit(std::string_view args) {
    const auto a = Address(args, true, 1, kReceiverEntries, "unit");
    if (!a.error.empty()) return a.error;
    const auto it = m_entries.find(a.address);
    if (it == m_entries.end()) return Error("device " + std::to_string(a.address) + " not active");
    const auto unit = Digits(a.value, 2);
    if (!unit || *unit > kReceiverLargestUnit) return Error("bad unit");
    it->second.unit = *unit;
    return std::string(kDone);
}

std::string RxvKt::setKeyByAddress(std::string_view args) {
    const auto a = Address(args, true, 0, kReceiverKeyAddresses, "encr");
    if (!a.error.empty()) return a.error;
    const auto key = RawBytes<kReceiverKeyBytes>(a.value);
    if (!key) return Error("key must be 16 bytes");
    if (a.address == 0) m_masterKey = *key;
    else m_keysByAddress[a.address] = *key;
    return std::string(kDone);
}

std::string RxvKt::setKeyById(std::string_view args) {
    const auto comma = args.find(',');
    if (comma == std::string_view::npos) return Error("bad value for akey");
    const std::string_view id = args.substr(0, comma);
    if (!IsId(id)) return Error("bad ID");
    const auto key = RawBytes<kReceiverKeyBytes>(args.substr(comma + 1));
    if (!key) return Error("key must be 16 bytes");
    if (id == kMasterId) m_masterKey = *key;
    else m_keysById[std::string(id)] = *key;
    return std::string(kDone);
}

std::string RxvKt::setBinding(std::string_view args) {
    const auto a = Address(args, true, 1, kReceiverBindings, "bind");
    if (!a.error.empty()) return a.error;
    const auto bytes = RawBytes<kReceiverBindBytes>(a.value);
    if (!bytes) return Error("bind needs 8 bytes");
    m_bindings[a.address] = *bytes;
    return std::string(kDone);
}

std::string RxvKt::deleteBinding(std::string_view args) {
    const auto a = Address(args, false, 1, kReceiverBindings, "bind");
    if (!a.error.empty()) return a.error;
    if (!m_bindings.erase(a.address)) return Error("no binding at " + std::to_string(a.address));
    return std::string(kDone);
}

std::int64_t RxvKt::clockSeconds() const {
    return m_clockBase + std::chrono::duration_cast<std::chrono::seconds>(m_clock() - m_clockSetAt).count();
}

std::string RxvKt::setDate(std::string_view value) {
    const auto f = ThreeFields(value, '/');
    if (!f || !IsRealDay(2000 + (*f)[2], (*f)[1], (*f)[0])) return Error("bad date");
    const std::int64_t now = clockSeconds();
    m_clockBase = DaysFromCivil(2000 + (*f)[2], (*f)[1], (*f)[0]) * kSecondsPerDay + now % kSecondsPerDay;
    m_clockSetAt = m_clock();
    return std::string(kDone);
}

std::string RxvKt::setTime(std::string_view value) {
    const auto f = ThreeFields(value, ':');
    if (!f || (*f)[0] > 23 || (*f)[1] > 59 || (*f)[2] > 59) return Error("bad time");
    const std::int64_t now = clockSeconds();
    m_clockBase = now - now % kSecondsPerDay + (*f)[0] * 3600 + (*f)[1] * 60 + (*f)[2];
    m_clockSetAt = m_clock();
    return std::string(kDone);
}

std::string RxvKt::setOption(std::string_view name, std::string_view value) {
    const auto rule = std::find_if(std::begin(kOptions), std::end(kOptions), [&](const OptionRule& r) { return r.name == name; });
    const auto v = Digits(value, 3);
    if (!v || *v < rule->low || *v > rule->high || (rule->allowed != 0 && !(rule->allowed >> *v & 1u)))
        return Error("bad value for " + std::string(name));
    m_options[std::string(name)] = *v;
    return std::string(kDone);
}

std::string RxvKt::serviceInfo(std::string_view) {
    const std::int64_t now = clockSeconds();
    const Civil day = CivilFromDays(now / kSecondsPerDay);
    const std::int64_t second = now % kSecondsPerDay;
    return "RXV-KT wM-Bus receiver\nFirmware: 1.0\nDate: " + TwoDigits(day.day) + "/" + TwoDigits(day.month) + "/" +
           TwoDigits(day.year % 100) + "\nTime: " + TwoDigits(second / 3600) + ":" + TwoDigits(second / 60 % 60) + ":" +
           TwoDigits(second % 60) + "\nReadout interval: " + std::to_string(m_options["pito"]) +
           "\nDevices: " + std::to_string(m_entries.size()) + " of " + std::to_string(kReceiverEntries) +
           "\nKeys: " + std::to_string(m_keysByAddress.size()) + " by address, " + std::to_string(m_keysById.size()) +
           " by ID, master key " + (m_masterKey ? "set" : "none") + "\nBindings: " + std::to_string(m_bindings.size()) + "\n";
}

std::string RxvKt::wirelessStatus(std::string_view) {
    const int mode = m_options["wmod"];
    const auto modeName = std::find_if(std::begin(kModeNames), std::end(kModeNames), [&](const auto& p) { return p.first == mode; });
    std::string flags;
    for (const auto& rule : kOptions)
        if (rule.high == 1) flags += (flags.empty() ? "" : " ") + std::string(rule.name) + "=" + std::to_string(m_options[std::string(rule.name)]);
    const auto heardCount = std::count(m_heard.begin(), m_heard.end(), true);
    return "Mode: " + std::string(modeName->second) + " (" + std::to_string(mode) + ")\nRole: " +
           std::string(kRoleNames[m_options["nrol"]]) + " (" + std::to_string(m_options["nrol"]) + ")\nWork: " +
           std::string(kWorkNames[m_options["wwrk"]]) + " (" + std::to_string(m_options["wwrk"]) + ")\nOptions: " + flags +
           "\nMeters heard: " + std::to_string(heardCount) + "\n";
}

RxvKt& AddRxvKt(Bus& bus, RxvKtConfig config, RxvKt::Clock clock) {
    auto receiver = std::make_unique<RxvKt>(std::move(config), std::move(clock));
    RxvKt& added = *receiver;
    bus.add(std::move(receiver));
    return added;
}

} // namespace veltro::sim
