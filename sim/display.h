#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/device.h"

namespace veltro::sim {

class Bus;
class Meter;

inline constexpr int kDisplayEntries = 250;
inline constexpr std::size_t kDisplayTextBytes = 50;

// How the display lays out the answers the program reads with label searches (docs/SIMULATOR.md shows
// each form); real displays differ in firmware, so each choice is one the program must read.
struct DisplayLayout {
    enum class Addresses { Inline, Column };    // "Active devices: 1-3,15" or the label, then one address a line
    enum class Entry { UserLine, Star };        // "User mult/div: 10/1" after "Total pulses", or "*10/1" on it
    enum class History { Short, Tariffs };      // the month line right after "Hist values", or after T1..T3
    Addresses addresses = Addresses::Inline;
    Entry entry = Entry::UserLine;
    History history = History::Short;
};

struct DisplayDate {
    int year = 2000;  // 2000..2099
    int month = 1;
    int day = 1;
    bool operator==(const DisplayDate&) const = default;
};

// The settings of one entry, as SET UNIT/CONM/COND/INIT/NUMB/TEXT/TEX2 leave them.
struct DisplayEntrySettings {
    int address = 1;                  // 1..250
    int unit = 0;                     // 0 none, 1 kWh, 2 m3, 3 kJ, 4 MJ
    int multiplier = 1;               // 0..9999
    int divider = 1;                  // 1..9999
    std::int64_t initialMilli = 0;    // the initial value in thousandths, 0..999999999999999
    std::optional<int> userNumber;    // 0..9999
    std::string text;                 // bytes as received, at most kDisplayTextBytes
    std::string text2;
};

// Everything a display is at start; the meters file's "display" object describes it.
struct DisplayConfig {
    int baud = 2400;
    std::chrono::milliseconds sortBusy{5000};  // silent this long after SET SORT
    std::optional<DisplayDate> date;           // nothing: the host's local date at start
    int hour = -1, minute = -1;                // -1: the host's local time at start
    int refreshSeconds = 4;
    bool sortByUser = false;
    DisplayLayout layout;
    std::vector<DisplayEntrySettings> entries;  // active from the start, read from the bus when it is built
};

// What the display took from the meter at an entry's address when it read it.
struct DisplayReading {
    std::string meterId;  // empty: no meter with a counter at the address
    std::int64_t pulses = 0;
    std::array<std::optional<std::int64_t>, 4> tariff{};  // 1..3: the first tariff-t record
    // [s][0]: the first storage-s record of tariff 0; [s][t]: of tariff t; s = 1..12.
    std::array<std::array<std::optional<std::int64_t>, 4>, 13> storage{};
};

// What the display takes from a meter when it reads it (the rules are in docs/SIMULATOR.md).
DisplayReading ReadingOfRecords(const Meter& meter);

// A value times multiplier over divider in thousandths, rounded half away from zero, as text with three
// decimals: 12345 * 1 / 1000 -> "12.345". The arithmetic is 128-bit, so no counter overflows it.
std::string ScaledValueText(std::int64_t initialMilli, std::int64_t raw, int multiplier, int divider);

// The local display on the bus: a panel showing up to 250 meters' readings, configured with ASCII texts
// that have no terminator ("SET UNIT=5,2"). It
// - hears only Text frames at its own line speed, and answers lines that end in CR LF;
// - keeps silent to M-Bus frames, to texts outside its language (anything but "GET ", "SET " or "DEL "
//   followed by one of its names; other receivers share the line) and while it sorts (SET SORT);
// - answers a known name with a wrong verb, a bad address, a bad value or an entry not in use with one
//   line "Error: ..." that holds neither "Active" nor "Already";
// - reads the counter, tariff and storage records of the meter at an entry's address when the entry is
//   activated and at SET READ; its readings do not follow the meter between reads.
// docs/SIMULATOR.md has every answer.
class Display final : public Device {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // Entries of `config` outside 1..250 are left out; their settings are the caller's to check (the
    // meters file does). `bus` is the bus the display sits on and must outlive it. `clock` (default
    // steady_clock) times the sorting, so tests need not wait.
    Display(DisplayConfig config, const Bus& bus, Clock clock = {});

    std::string label() const override;
    DeviceResponse hear(const MasterFrame& frame, int lineBaud) override;

    // The entries' readings from the bus, as at SET READ (the bus is built after the display's config).
    void readMeters();

    const DisplayConfig& config() const { return m_config; }
    bool active(int address) const;
    const DisplayEntrySettings* entry(int address) const;  // nothing when not in use

private:
    struct Entry {
        bool active = false;
        DisplayEntrySettings settings;
        DisplayReading reading;
    };
    using Answer = std::vector<std::string>;  // lines without their CR LF
    struct Command;
    friend struct Command;

    struct EntryCommand {
        Entry* entry = nullptr;  // nothing: `error` says why
        int address = 0;
        std::string_view value;  // after the first comma
        Answer error;
    };

    std::optional<Answer> answer(std::string_view text);
    EntryCommand entryCommand(std::string_view args, std::string_view name, bool withValue);
    void readEntry(int address);
    std::string dateText() const;
    std::string activeList() const;

    Answer getMain(std::string_view);
    Answer getService(std::string_view);
    Answer getAddresses(std::string_view);
    Answer getEntry(std::string_view);
    Answer getTariff(std::string_view);
    Answer getHistory(std::string_view);
    Answer setDate(std::string_view);
    Answer setTime(std::string_view);
    Answer setLock(std::string_view);
    Answer setRefresh(std::string_view);
    Answer setSort(std::string_view);
    Answer setSortType(std::string_view);
    Answer setRead(std::string_view);
    Answer setEntry(std::string_view);
    Answer setUnit(std::string_view);
    Answer setMultiplier(std::string_view);
    Answer setDivider(std::string_view);
    Answer setInitial(std::string_view);
    Answer setUserNumber(std::string_view);
    Answer setText(std::string_view);
    Answer setText2(std::string_view);
    Answer deleteEntry(std::string_view);
    Answer zeroInitial(std::string_view);

    DisplayConfig m_config;
    const Bus& m_bus;
    Clock m_clock;
    std::array<Entry, kDisplayEntries + 1> m_entries{};  // by address; 0 unused
    DisplayDate m_date;
    int m_hour = 0, m_minute = 0;
    bool m_locked = false;
    bool m_sortTableReady = false;
    std::optional<std::string> m_lastRead;  // "05/03/26 09:07"
    std::optional<std::chrono::steady_clock::time_point> m_busyUntil;
};

// "2026-03-05" (years 2000..2099, a real day); nothing otherwise.
std::optional<DisplayDate> ParseDisplayDate(std::string_view text);

// Puts a display on `bus`, after the devices already there, and reads its entries' meters. The bus owns it.
Display& AddDisplay(Bus& bus, DisplayConfig config, Display::Clock clock = {});

} // namespace veltro::sim
