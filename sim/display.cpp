#include "sim/display.h"

#include <algorithm>
#include <ctime>

#include "sim/bus.h"
#include "sim/meter.h"

namespace veltro::sim {
namespace {

__extension__ using Int128 = __int128;

constexpr std::string_view kUnitNames[] = {"", "kWh", "m3", "kJ", "MJ"};
constexpr std::string_view kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr int kHistoryMonths = 12;
constexpr int kTariffs = 3;
constexpr int kLargestSetting = 9999;
constexpr int kLongestRefresh = 12;
constexpr std::size_t kInitialDigits = 12;
constexpr std::size_t kLongestAddress = 9;  // digits read before the range check, so nothing overflows

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Decimal digits only, 1..`most` of them.
std::optional<std::int64_t> Digits(std::string_view text, std::size_t most) {
    if (text.empty() || text.size() > most) return std::nullopt;
    std::int64_t value = 0;
    for (char c : text) {
        if (!IsDigit(c)) return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::string TwoDigits(int value) {
    std::string text = std::to_string(value);
    return text.size() < 2 ? "0" + text : text;
}

std::string MilliText(Int128 milli) {
    const bool negative = milli < 0;
    Int128 magnitude = negative ? -milli : milli;
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(magnitude % 10)));
        magnitude /= 10;
    } while (magnitude > 0);
    while (digits.size() < 4) digits.insert(digits.begin(), '0');
    digits.insert(digits.end() - 3, '.');
    return negative ? "-" + digits : digits;
}

// "1.5" -> 1500; at most 12 integer digits and 3 decimals, no sign.
std::optional<std::int64_t> ParseInitial(std::string_view text) {
    const auto dot = text.find('.');
    const std::string_view whole = text.substr(0, dot);
    const std::string_view fraction = dot == std::string_view::npos ? std::string_view{} : text.substr(dot + 1);
    if (whole.empty() && fraction.empty()) return std::nullopt;
    std::int64_t milli = 0;
    if (!whole.empty()) {
        const auto w = Digits(whole, kInitialDigits);
        if (!w) return std::nullopt;
        milli = *w * 1000;
    }
    if (dot != std::string_view::npos) {
        if (fraction.empty()) return milli;
        const auto f = Digits(fraction, 3);
        if (!f) return std::nullopt;
        std::int64_t scaled = *f;
        for (std::size_t i = fraction.size(); i < 3; ++i) scaled *= 10;
        milli += scaled;
    }
    return milli;
}

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysIn(int year, int month) {
    constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Answers hold neither "Active" nor "Already", so the write cycle never takes an error for an activation.
std::vector<std::string> Error(const std::string& why) { return {"Error: " + why}; }

std::string WithUnit(const std::string& value, int unit) {
    return unit == 0 ? value : value + " " + std::string(kUnitNames[unit]);
}

bool IsDateRecord(const DataRecord& r) {
    const std::uint8_t vif = r.vif & 0x7F;
    return vif == 0x6C || vif == 0x6D;
}

} // namespace

std::string ScaledValueText(std::int64_t initialMilli, std::int64_t raw, int multiplier, int divider) {
    const Int128 d = std::max(divider, 1);
    const Int128 product = Int128{raw} * multiplier * 1000;
    Int128 quotient = product / d;
    const Int128 remainder = product % d;
    if (2 * (remainder < 0 ? -remainder : remainder) >= d) quotient += product < 0 ? -1 : 1;
    return MilliText(quotient + initialMilli);
}

DisplayReading ReadingOfRecords(const Meter& meter) {
    DisplayReading reading;
    const auto counter = meter.counterValue();
    if (!counter) return reading;
    reading.meterId = meter.id();
    reading.pulses = *counter;
    for (const auto& telegram : meter.state().telegrams) {
        for (const auto& r : telegram.records) {
            // Records given as they stand are not looked into; maxima, minima and errors are no readings.
            if (r.verbatim || r.isManufacturerSpecific() || IsDateRecord(r) || (r.dif & 0x30) != 0) continue;
            if (r.dife.size() > 8) continue;
            const auto value = DecodeNumberField(r.dif, r.data);
            if (!value) continue;
            std::uint64_t storage = (r.dif >> 6) & 1;
            std::uint64_t tariff = 0;
            for (std::size_t i = 0; i < r.dife.size(); ++i) {
                storage |= std::uint64_t{r.dife[i] & 0x0Fu} << (1 + 4 * i);
                tariff |= std::uint64_t{(r.dife[i] >> 4) & 0x03u} << (2 * i);
            }
            if (tariff > kTariffs || storage > kHistoryMonths) continue;
            if (storage == 0 && tariff == 0) continue;  // the counter's kind of record
            auto& slot = storage == 0 ? reading.tariff[tariff] : reading.storage[storage][tariff];
            if (!slot) slot = *value;
        }
    }
    return reading;
}

std::optional<DisplayDate> ParseDisplayDate(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
    const auto year = Digits(text.substr(0, 4), 4), month = Digits(text.substr(5, 2), 2), day = Digits(text.substr(8, 2), 2);
    if (!year || !month || !day || *year < 2000 || *year > 2099 || *month < 1 || *month > 12) return std::nullopt;
    if (*day < 1 || *day > DaysIn(static_cast<int>(*year), static_cast<int>(*month))) return std::nullopt;
    return DisplayDate{static_cast<int>(*year), static_cast<int>(*month), static_cast<int>(*day)};
}

Display& AddDisplay(Bus& bus, DisplayConfig config, Display::Clock clock) {
    auto display = std::make_unique<Display>(std::move(config), bus, std::move(clock));
    display->readMeters();
    Display& added = *display;
    bus.add(std::move(display));
    return added;
}

struct Display::Command {
    std::string_view verb;
    std::string_view name;
    bool takesValue;
    Answer (Display::*run)(std::string_view);
};

Display::Display(DisplayConfig config, const Bus& bus, Clock clock)
    : m_config(std::move(config)), m_bus(bus), m_clock(std::move(clock)) {
    if (!m_clock) m_clock = [] { return std::chrono::steady_clock::now(); };
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    m_date = m_config.date.value_or(DisplayDate{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday});
    m_hour = m_config.hour >= 0 ? m_config.hour : local.tm_hour;
    m_minute = m_config.minute >= 0 ? m_config.minute : local.tm_min;
    for (const auto& settings : m_config.entries) {
        if (settings.address < 1 || settings.address > kDisplayEntries) continue;
        m_entries[settings.address] = {true, settings, {}};
    }
}

std::string Display::label() const {
    return "display at " + std::to_string(m_config.baud) + " baud, entries " + activeList();
}

bool Display::active(int address) const {
    return address >= 1 && address <= kDisplayEntries && m_entries[address].active;
}

const DisplayEntrySettings* Display::entry(int address) const {
    return active(address) ? &m_entries[address].settings : nullptr;
}

void Display::readMeters() {
    for (int address = 1; address <= kDisplayEntries; ++address)
        if (m_entries[address].active) readEntry(address);
}

void Display::readEntry(int address) {
    DisplayReading reading;
    m_bus.forEachDevice([&](const Device& device) {
        const auto* meter = dynamic_cast<const Meter*>(&device);
        if (!reading.meterId.empty() || !meter || meter->state().primaryAddress != address) return;
        reading = ReadingOfRecords(*meter);
    });
    m_entries[address].reading = reading;
}

DeviceResponse Display::hear(const MasterFrame& frame, int lineBaud) {
    DeviceResponse response;
    if (frame.kind != MasterFrame::Kind::Text) return response;
    if (lineBaud != m_config.baud) {
        response.notes.push_back("display: a text at " + std::to_string(lineBaud) + " baud, it listens at " +
                                 std::to_string(m_config.baud));
        return response;
    }
    const auto now = m_clock();
    if (m_busyUntil && now < *m_busyUntil) {
        response.notes.push_back("display: sorting, silent");
        return response;
    }
    m_busyUntil.reset();
    const std::string_view text(reinterpret_cast<const char*>(frame.bytes.data()), frame.bytes.size());
    const auto lines = answer(text);
    if (!lines) {
        response.notes.push_back("display: not its language, silent");
        return response;
    }
    Telegram out;
    for (const auto& line : *lines) {
        for (char c : line) out.append(static_cast<std::uint8_t>(c));
        out.append(std::uint8_t{'\r'});
        out.append(std::uint8_t{'\n'});
    }
    response.answer = std::move(out);
    return response;
}

std::optional<Display::Answer> Display::answer(std::string_view text) {
    static constexpr Command kCommands[] = {
        {"GET ", "MAIN", false, &Display::getMain},        {"GET ", "SERV", false, &Display::getService},
        {"GET ", "ADDR", false, &Display::getAddresses},   {"GET ", "ENTR", true, &Display::getEntry},
        {"GET ", "TARR", true, &Display::getTariff},       {"GET ", "HIST", true, &Display::getHistory},
        {"SET ", "DATE", true, &Display::setDate},         {"SET ", "TIME", true, &Display::setTime},
        {"SET ", "LOCK", false, &Display::setLock},        {"SET ", "REFR", true, &Display::setRefresh},
        {"SET ", "SORT", false, &Display::setSort},        {"SET ", "SRTP", true, &Display::setSortType},
        {"SET ", "READ", false, &Display::setRead},        {"SET ", "ENTR", true, &Display::setEntry},
        {"SET ", "UNIT", true, &Display::setUnit},         {"SET ", "CONM", true, &Display::setMultiplier},
        {"SET ", "COND", true, &Display::setDivider},      {"SET ", "INIT", true, &Display::setInitial},
        {"SET ", "NUMB", true, &Display::setUserNumber},   {"SET ", "TEXT", true, &Display::setText},
        {"SET ", "TEX2", true, &Display::setText2},        {"DEL ", "ENTR", true, &Display::deleteEntry},
        {"SET ", "DELP", true, &Display::zeroInitial},
    };
    // A person typing in the console ends the line; the program never does.
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.remove_suffix(1);
    if (text.size() < 8) return std::nullopt;
    const std::string_view verb = text.substr(0, 4);
    const std::string_view name = text.substr(4, 4);
    const std::string_view rest = text.substr(8);
    if (verb != "GET " && verb != "SET " && verb != "DEL ") return std::nullopt;
    if (!rest.empty() && rest.front() != '=') return std::nullopt;
    const auto known = std::find_if(std::begin(kCommands), std::end(kCommands), [&](const Command& c) { return c.name == name; });
    if (known == std::end(kCommands)) return std::nullopt;  // another receiver's name
    const auto command = std::find_if(std::begin(kCommands), std::end(kCommands),
                                      [&](const Command& c) { return c.name == name && c.verb == verb; });
    if (command == std::end(kCommands)) return Error("unknown command " + std::string(verb) + std::string(name));
    if (command->takesValue != !rest.empty()) return Error("bad value for " + std::string(name));
    return (this->*command->run)(rest.empty() ? rest : rest.substr(1));
}

namespace {

// An address argument: the entry's number, or the error line to answer.
struct AddressArgument {
    int address = 0;
    std::vector<std::string> error;
};

AddressArgument CheckAddress(std::string_view text) {
    const auto value = Digits(text, kLongestAddress);
    if (!value) return {0, Error("bad address")};
    if (*value < 1 || *value > kDisplayEntries) return {0, Error("address " + std::to_string(*value) + " outside 1..250")};
    return {static_cast<int>(*value), {}};
}

} // namespace

// Every command on an entry but SET ENTR: "A,VALUE" (or "A" alone), A naming an entry in use.
Display::EntryCommand Display::entryCommand(std::string_view args, std::string_view name, bool withValue) {
    const auto comma = args.find(',');
    if (withValue && comma == std::string_view::npos) return {nullptr, 0, {}, Error("bad value for " + std::string(name))};
    AddressArgument checked = CheckAddress(withValue ? args.substr(0, comma) : args);
    if (!checked.error.empty()) return {nullptr, 0, {}, std::move(checked.error)};
    if (!m_entries[checked.address].active)
        return {nullptr, checked.address, {}, Error("entry " + std::to_string(checked.address) + " not in use")};
    const std::string_view value = withValue ? args.substr(comma + 1) : std::string_view{};
    return {&m_entries[checked.address], checked.address, value, {}};
}

std::string Display::dateText() const {
    return TwoDigits(m_date.day) + "/" + TwoDigits(m_date.month) + "/" + TwoDigits(m_date.year % 100);
}

// "1-3,7,9": runs of three or more as ranges.
std::string Display::activeList() const {
    std::string list;
    for (int a = 1; a <= kDisplayEntries; ++a) {
        if (!m_entries[a].active) continue;
        int last = a;
        while (last < kDisplayEntries && m_entries[last + 1].active) ++last;
        if (!list.empty()) list += ",";
        if (last - a >= 2) {
            list += std::to_string(a) + "-" + std::to_string(last);
        } else {
            list += std::to_string(a);
            if (last > a) list += "," + std::to_string(last);
        }
        a = last;
    }
    return list;
}

Display::Answer Display::getMain(std::string_view) {
    const auto inUse = std::count_if(m_entries.begin(), m_entries.end(), [](const Entry& e) { return e.active; });
    return {"Local display",
            "Firmware: 1.0",
            "Date: " + dateText(),
            "Time: " + TwoDigits(m_hour) + ":" + TwoDigits(m_minute),
            "Refresh time: " + TwoDigits(m_config.refreshSeconds) + " s",
            m_config.sortByUser ? "Sort: by user number" : "Sort: by address",
            m_locked ? "Keys: locked" : "Keys: unlocked",
            "Entries in use: " + std::to_string(inUse)};
}

Display::Answer Display::getService(std::string_view) {
    return {"Service info", "Line speed: " + std::to_string(m_config.baud) + " baud",
            "Entries: " + std::to_string(kDisplayEntries), m_sortTableReady ? "Sort table: ready" : "Sort table: none",
            "Last reading: " + m_lastRead.value_or("never")};
}

Display::Answer Display::getAddresses(std::string_view) {
    if (m_config.layout.addresses == DisplayLayout::Addresses::Inline) return {"Active devices: " + activeList()};
    Answer lines{"Active devices: "};
    for (int a = 1; a <= kDisplayEntries; ++a)
        if (m_entries[a].active) lines.push_back(std::to_string(a));
    return lines;
}

namespace {

// The lines the program reads the multiplier/divider, the initial value and the unit from, in either
// layout: "Total pulses: P" then "User mult/div: M/D", or "Total pulses: P *M/D".
std::vector<std::string> PulsesLines(const DisplayEntrySettings& s, const DisplayReading& r, DisplayLayout::Entry layout) {
    const std::string multDiv = std::to_string(s.multiplier) + "/" + std::to_string(s.divider);
    const std::string initial = "Initial: " + WithUnit(MilliText(s.initialMilli), s.unit);
    if (layout == DisplayLayout::Entry::Star) return {"Total pulses: " + std::to_string(r.pulses) + " *" + multDiv, initial};
    return {"Total pulses: " + std::to_string(r.pulses), "User mult/div: " + multDiv, initial};
}

} // namespace

Display::Answer Display::getEntry(std::string_view value) {
    const EntryCommand c = entryCommand(value, "ENTR", true);
    if (!c.entry) return c.error;
    const auto page = Digits(c.value, 1);
    if (!page || *page > 2) return Error("bad value for ENTR");
    const auto& s = c.entry->settings;
    const auto& r = c.entry->reading;
    if (*page == 0)
        return {"Entry " + std::to_string(c.address) + ": in use", "Meter: " + (r.meterId.empty() ? "none" : r.meterId),
                "Unit: " + (s.unit == 0 ? std::string("none") : std::string(kUnitNames[s.unit]))};
    if (*page == 2) {
        auto shown = [](std::string text) {
            std::replace_if(text.begin(), text.end(), [](char ch) { return ch == '\r' || ch == '\n'; }, ' ');
            return text;
        };
        return {"User #: " + (s.userNumber ? std::to_string(*s.userNumber) : std::string()), "Text: " + shown(s.text),
                "Text 2: " + shown(s.text2)};
    }
    Answer lines = PulsesLines(s, r, m_config.layout.entry);
    lines.push_back("Total: " + WithUnit(ScaledValueText(s.initialMilli, r.pulses, s.multiplier, s.divider), s.unit));
    return lines;
}

Display::Answer Display::getTariff(std::string_view value) {
    const EntryCommand c = entryCommand(value, "TARR", true);
    if (!c.entry) return c.error;
    const auto tariff = Digits(c.value, 1);
    if (!tariff || *tariff > kTariffs) return Error("bad value for TARR");
    const auto& s = c.entry->settings;
    const auto& r = c.entry->reading;
    // A register the meter does not send has never counted.
    const std::string v = *tariff == 0 ? ScaledValueText(s.initialMilli, r.pulses, s.multiplier, s.divider)
                                       : ScaledValueText(0, r.tariff[*tariff].value_or(0), s.multiplier, s.divider);
    Answer lines{"Tariff " + std::to_string(*tariff)};
    for (auto& line : PulsesLines(s, r, m_config.layout.entry)) lines.push_back(std::move(line));
    lines.push_back("Value: " + WithUnit(v, s.unit));
    return lines;
}

Display::Answer Display::getHistory(std::string_view value) {
    const EntryCommand c = entryCommand(value, "HIST", true);
    if (!c.entry) return c.error;
    const auto index = Digits(c.value, 2);
    if (!index || *index < 1 || *index > kHistoryMonths) return Error("bad value for HIST");
    // Index 1 is the month before the display's date; 2..12 go round from twelve months back.
    const int s = *index == 1 ? 1 : 14 - static_cast<int>(*index);
    const int monthsSinceZero = m_date.year * 12 + (m_date.month - 1) - s;
    const int year = monthsSinceZero / 12;
    const int month = monthsSinceZero % 12 + 1;
    const auto& settings = c.entry->settings;
    const auto& stored = c.entry->reading.storage[s];
    const bool hasValue = stored[0].has_value();
    const std::string valueText =
        hasValue ? ScaledValueText(settings.initialMilli, *stored[0], settings.multiplier, settings.divider) : "none";
    Answer lines{"Hist values: " + valueText};
    if (m_config.layout.history == DisplayLayout::History::Tariffs)
        for (int t = 1; t <= kTariffs; ++t)
            lines.push_back("T" + std::to_string(t) + ": " +
                            ScaledValueText(0, stored[t].value_or(0), settings.multiplier, settings.divider));
    lines.push_back("Month: " + TwoDigits(month) + "/" + std::string(kMonthNames[month - 1]) +
                    (hasValue ? TwoDigits(year % 100) : "00"));
    return lines;
}

Display::Answer Display::setDate(std::string_view value) {
    if (value.size() != 8 || value[2] != '/' || value[5] != '/') return Error("bad value for DATE");
    const auto day = Digits(value.substr(0, 2), 2), month = Digits(value.substr(3, 2), 2), year = Digits(value.substr(6, 2), 2);
    if (!day || !month || !year || *month < 1 || *month > 12) return Error("bad value for DATE");
    const int fullYear = 2000 + static_cast<int>(*year);
    if (*day < 1 || *day > DaysIn(fullYear, static_cast<int>(*month))) return Error("bad value for DATE");
    m_date = {fullYear, static_cast<int>(*month), static_cast<int>(*day)};
    return {"Date: " + dateText()};
}

Display::Answer Display::setTime(std::string_view value) {
    if (value.size() != 5 || value[2] != ':') return Error("bad value for TIME");
    const auto hour = Digits(value.substr(0, 2), 2), minute = Digits(value.substr(3, 2), 2);
    if (!hour || !minute || *hour > 23 || *minute > 59) return Error("bad value for TIME");
    m_hour = static_cast<int>(*hour);
    m_minute = static_cast<int>(*minute);
    return {"Time: " + TwoDigits(m_hour) + ":" + TwoDigits(m_minute)};
}

Display::Answer Display::setLock(std::string_view) {
    m_locked = true;
    return {"Keys locked"};
}

Display::Answer Display::setRefresh(std::string_view value) {
    const auto seconds = value.size() == 2 ? Digits(value, 2) : std::nullopt;
    if (!seconds || *seconds < 1 || *seconds > kLongestRefresh) return Error("bad value for REFR");
    m_config.refreshSeconds = static_cast<int>(*seconds);
    return {"Refresh time: " + TwoDigits(m_config.refreshSeconds) + " s"};
}

Display::Answer Display::setSort(std::string_view) {
    m_busyUntil = m_clock() + m_config.sortBusy;
    m_sortTableReady = true;
    return {"Creating sort table, busy " + std::to_string(m_config.sortBusy.count()) + " ms"};
}

Display::Answer Display::setSortType(std::string_view value) {
    if (value != "0" && value != "1") return Error("bad value for SRTP");
    m_config.sortByUser = value == "1";
    return {m_config.sortByUser ? "Sort: by user number" : "Sort: by address"};
}

Display::Answer Display::setRead(std::string_view) {
    int inUse = 0, found = 0;
    for (int address = 1; address <= kDisplayEntries; ++address) {
        if (!m_entries[address].active) continue;
        ++inUse;
        readEntry(address);
        if (!m_entries[address].reading.meterId.empty()) ++found;
    }
    m_lastRead = dateText() + " " + TwoDigits(m_hour) + ":" + TwoDigits(m_minute);
    return {"Meters read: " + std::to_string(found) + " of " + std::to_string(inUse)};
}

Display::Answer Display::setEntry(std::string_view value) {
    const AddressArgument checked = CheckAddress(value);
    if (!checked.error.empty()) return checked.error;
    const int address = checked.address;
    if (m_entries[address].active) return {"Entry " + std::to_string(address) + ": Already active"};
    m_entries[address] = {};
    m_entries[address].active = true;
    m_entries[address].settings.address = address;
    readEntry(address);
    return {"Entry " + std::to_string(address) + ": Active"};
}

Display::Answer Display::setUnit(std::string_view value) {
    const EntryCommand c = entryCommand(value, "UNIT", true);
    if (!c.entry) return c.error;
    const auto code = c.value.empty() ? std::optional<std::int64_t>{0} : Digits(c.value, 1);
    if (!code || *code > 4 || (*code == 0 && !c.value.empty())) return Error("bad value for UNIT");
    c.entry->settings.unit = static_cast<int>(*code);
    return {"Entry " + std::to_string(c.address) + ": unit " + (*code == 0 ? std::string("none") : std::string(kUnitNames[*code]))};
}

Display::Answer Display::setMultiplier(std::string_view value) {
    const EntryCommand c = entryCommand(value, "CONM", true);
    if (!c.entry) return c.error;
    const auto multiplier = Digits(c.value, 4);
    if (!multiplier) return Error("bad value for CONM");
    c.entry->settings.multiplier = static_cast<int>(*multiplier);
    return {"Entry " + std::to_string(c.address) + ": multiplier " + std::to_string(*multiplier)};
}

Display::Answer Display::setDivider(std::string_view value) {
    const EntryCommand c = entryCommand(value, "COND", true);
    if (!c.entry) return c.error;
    const auto divider = Digits(c.value, 4);
    if (!divider || *divider < 1) return Error("bad value for COND");
    c.entry->settings.divider = static_cast<int>(*divider);
    return {"Entry " + std::to_string(c.address) + ": divider " + std::to_string(*divider)};
}

Display::Answer Display::setInitial(std::string_view value) {
    const EntryCommand c = entryCommand(value, "INIT", true);
    if (!c.entry) return c.error;
    const auto milli = ParseInitial(c.value);
    if (!milli) return Error("bad value for INIT");
    c.entry->settings.initialMilli = *milli;
    return {"Entry " + std::to_string(c.address) + ": initial value " + MilliText(*milli)};
}

Display::Answer Display::setUserNumber(std::string_view value) {
    const EntryCommand c = entryCommand(value, "NUMB", true);
    if (!c.entry) return c.error;
    const auto number = Digits(c.value, 4);
    if (!number) return Error("bad value for NUMB");
    c.entry->settings.userNumber = static_cast<int>(*number);
    return {"Entry " + std::to_string(c.address) + ": user number " + std::to_string(*number)};
}

Display::Answer Display::setText(std::string_view value) {
    const EntryCommand c = entryCommand(value, "TEXT", true);
    if (!c.entry) return c.error;
    if (c.value.size() > kDisplayTextBytes) return Error("bad value for TEXT");
    c.entry->settings.text = std::string(c.value);
    return {"Entry " + std::to_string(c.address) + ": text stored, " + std::to_string(c.value.size()) + " bytes"};
}

Display::Answer Display::setText2(std::string_view value) {
    const EntryCommand c = entryCommand(value, "TEX2", true);
    if (!c.entry) return c.error;
    if (c.value.size() > kDisplayTextBytes) return Error("bad value for TEX2");
    c.entry->settings.text2 = std::string(c.value);
    return {"Entry " + std::to_string(c.address) + ": text 2 stored, " + std::to_string(c.value.size()) + " bytes"};
}

Display::Answer Display::deleteEntry(std::string_view value) {
    const EntryCommand c = entryCommand(value, "ENTR", false);
    if (!c.entry) return c.error;
    *c.entry = {};
    return {"Entry " + std::to_string(c.address) + ": deleted"};
}

Display::Answer Display::zeroInitial(std::string_view value) {
    const EntryCommand c = entryCommand(value, "DELP", true);
    if (!c.entry) return c.error;
    if (c.value != "0") return Error("bad value for DELP");
    c.entry->settings.initialMilli = 0;
    return {"Entry " + std::to_string(c.address) + ": initial value 0.000"};
}

} // namespace veltro::sim
