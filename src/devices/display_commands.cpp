#include "devices/display_commands.h"

#include <algorithm>

#include "devices/display_answers.h"

namespace veltro {
namespace {

using enum DisplaySetting;

struct SettingRow {
    DisplaySetting setting;
    std::string_view name;
    std::string_view caption;
};
constexpr std::array<SettingRow, 10> kSettings{{
    {Activate, "activate", "Activate"},
    {Units, "units", "Units"},
    {Multiplier, "multiplier", "Multiplier"},
    {Divider, "divider", "Divider"},
    {Initial, "initial", "Initial value"},
    {User, "user", "User number"},
    {Text, "text", "Free text"},
    {Text2, "text2", "Free text 2"},
    {Delete, "delete", "DELETE"},
    {ZeroInitials, "zero", "Zero initials "},
}};
constexpr bool RowsFollowTheOrder() {
    for (std::size_t i = 0; i < kSettings.size(); ++i)
        if (kSettings[i].setting != kDisplaySettingOrder[i] || static_cast<std::size_t>(kSettings[i].setting) != i)
            return false;
    return true;
}
static_assert(RowsFollowTheOrder(), "one row per switch, in processing order");

constexpr std::array<std::pair<std::string_view, std::string_view>, 5> kUnitCodes{
    {{"kWh", "1"}, {"m3", "2"}, {"m3 ", "2"}, {"kJ", "3"}, {"MJ", "4"}}};

constexpr int kMaxAddress = 250;
constexpr std::size_t kMaxNumberLength = 4;  // multiplier, divider, user number: "5 or more" are refused

bool AllDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Digits only, saturated so a long run is out of every range.
std::optional<int> Number(std::string_view text) {
    if (!AllDigits(text)) return std::nullopt;
    int value = 0;
    for (char c : text) value = std::min(value * 10 + (c - '0'), 100'000);
    return value;
}

std::string TwoDigits(int value) { return (value >= 0 && value < 10 ? "0" : "") + std::to_string(value); }

// "1.5" or "12": digits with at most one decimal mark, "," already made ".".
bool IsInitialValue(std::string_view text) {
    return std::count(text.begin(), text.end(), '.') <= 1 &&
           std::any_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
           std::all_of(text.begin(), text.end(), [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
}

// A free text as the display takes it: Windows-1251, one byte a character, so the first 50 bytes are
// the first 50 characters typed; an empty text is one blank.
std::string FreeText(std::string_view utf8) {
    std::string text = Utf8ToWindows1251(utf8);
    if (text.size() > kDisplayTextLimit) text.resize(kDisplayTextLimit);
    return text.empty() ? " " : text;
}

DisplayRowCommand Send(std::string line, std::string command) { return {{std::move(line)}, std::move(command)}; }
DisplayRowCommand Skip(std::string line) { return {{std::move(line)}, std::nullopt}; }
DisplayCommand Single(std::string_view line, std::string command) { return {{std::string(line)}, std::move(command)}; }

} // namespace

std::string_view DisplaySettingName(DisplaySetting setting) { return kSettings[static_cast<std::size_t>(setting)].name; }
std::string_view DisplaySettingCaption(DisplaySetting setting) {
    return kSettings[static_cast<std::size_t>(setting)].caption;
}
std::optional<DisplaySetting> DisplaySettingNamed(std::string_view name) {
    for (const SettingRow& row : kSettings)
        if (row.name == name) return row.setting;
    return std::nullopt;
}

void DisplaySwitches::tick(DisplaySetting s, bool on) {
    ticked[static_cast<std::size_t>(s)] = on;
    if (!on) return;
    if (s != Delete) {
        ticked[static_cast<std::size_t>(Delete)] = false;
        return;
    }
    for (DisplaySetting other : kDisplaySettingOrder)
        if (other != Delete && other != Text2) ticked[static_cast<std::size_t>(other)] = false;
}

int DisplaySwitches::count() const { return static_cast<int>(std::count(ticked.begin(), ticked.end(), true)); }

std::optional<DisplaySetting> DisplaySwitches::first() const {
    for (DisplaySetting s : kDisplaySettingOrder)
        if (isTicked(s)) return s;
    return std::nullopt;
}

std::optional<std::string> DisplayUnitCode(std::string_view unit) {
    if (unit.empty()) return std::string{};
    for (const auto& [name, code] : kUnitCodes)
        if (name == unit) return std::string(code);
    return std::nullopt;
}

MultiplierDivider SplitMultiplierDivider(std::string_view cell) {
    const std::size_t slash = cell.find('/');
    if (cell.empty() || slash == std::string_view::npos) return {cell.empty() ? "1" : std::string(cell), "1"};
    if (slash == 0) return {"1", cell.size() > 1 ? std::string(cell.substr(1)) : "1"};
    if (cell.back() == '/') return {std::string(cell.substr(0, cell.size() - 1)), "1"};
    return {std::string(cell.substr(0, slash)), std::string(cell.substr(slash + 1))};
}

DisplayAddressCheck CheckDisplayAddress(std::string_view cell, int row) {
    const std::string line = "Error in device address at row " + std::to_string(row);
    if (cell.empty()) return {std::nullopt, line};
    const auto address = Number(cell);
    if (!address || *address < 1 || *address > kMaxAddress) return {std::nullopt, line + ", skipping"};
    return {*address, {}};
}

DisplayRowCommand BuildDisplayRowCommand(DisplaySetting setting, const std::vector<std::string>& cells) {
    const auto cell = [&](int column) -> std::string_view {
        return static_cast<std::size_t>(column) < cells.size() ? std::string_view(cells[static_cast<std::size_t>(column)])
                                                                : std::string_view{};
    };
    // The cycle checks the address first and logs its own line; a bad one here sends nothing.
    if (!CheckDisplayAddress(cell(kDisplayAddressColumn), 0).address) return {};
    const std::string a(cell(kDisplayAddressColumn));
    const std::string device = " of device " + a;

    switch (setting) {
    case Activate: return Send("Activating device " + a + "...", "SET ENTR=" + a);
    case Units: {
        const auto code = DisplayUnitCode(cell(kDisplayUnitColumn));
        if (!code) return Skip("Skipping unit" + device + "...wrong");
        return Send("Setting unit" + device + "...", "SET UNIT=" + a + "," + *code);
    }
    case Multiplier:
    case Divider: {
        const MultiplierDivider split = SplitMultiplierDivider(cell(kDisplayMultDivColumn));
        const bool multiplier = setting == Multiplier;
        const std::string& value = multiplier ? split.multiplier : split.divider;
        const std::string what = multiplier ? "multiplier" : "divider";
        if (!AllDigits(value) || value.size() > kMaxNumberLength) return Skip("Skipping " + what + device + "...wrong");
        return Send("Setting " + what + device + "...", (multiplier ? "SET CONM=" : "SET COND=") + a + "," + value);
    }
    case Initial: {
        std::string value(cell(kDisplayStartColumn));
        std::replace(value.begin(), value.end(), ',', '.');
        if (value.empty()) value = "0";
        if (!IsInitialValue(value)) return Skip("Error in initial value" + device + ", skipping");
        return Send("Setting initial value" + device + "...", "SET INIT=" + a + "," + value);
    }
    case User: {
        const std::string_view number = cell(kDisplayUserColumn);
        if (!AllDigits(number) || number.size() > kMaxNumberLength) return Skip("Skipping user number" + device + "...wrong");
        return Send("Setting user number" + device + "...", "SET NUMB=" + a + "," + std::string(number));
    }
    case Text: return Send("Setting free text" + device + "...", "SET TEXT=" + a + "," + FreeText(cell(kDisplayTextColumn)));
    case Text2:
        return Send("Setting free text second row" + device + "...", "SET TEX2=" + a + "," + FreeText(cell(kDisplayText2Column)));
    case Delete: return Send("Deleting device " + a + "...", "DEL ENTR=" + a);
    case ZeroInitials: return Send("Zeroing initial value" + device + "...", "SET DELP=" + a + ",0");
    }
    return {};
}

bool DisplayActivationAcknowledged(std::string_view answer) {
    return answer.find("Active") != std::string_view::npos || answer.find("Already") != std::string_view::npos;
}

DisplayCommand BuildDisplayInfo(DisplayInfo kind, int address) {
    switch (kind) {
    case DisplayInfo::Main: return {{}, "GET MAIN"};
    case DisplayInfo::Service: return {{}, "GET SERV"};
    case DisplayInfo::Addresses: return {{}, DisplayAddressesRequest()};
    case DisplayInfo::Entry1:
    case DisplayInfo::Entry2:
    case DisplayInfo::Entry3:
        if (address < 1 || address > kMaxAddress) return {{"Not valid address selected..."}, std::nullopt};
        return {{}, DisplayEntryRequest(address, static_cast<int>(kind) - static_cast<int>(DisplayInfo::Entry1))};
    }
    return {};
}

DisplayCommand BuildDisplayDate(const DisplayClock& clock) {
    if (clock.year < 2000 || clock.year > 2099) return {{"Incorrect year of the PC, skipping datetime set..."}, std::nullopt};
    return Single("Setting date of LDU-Q7/LDM...",
                  "SET DATE=" + TwoDigits(clock.day) + "/" + TwoDigits(clock.month) + "/" + TwoDigits(clock.year - 2000));
}

DisplayCommand BuildDisplayTime(const DisplayClock& clock) {
    return Single("Setting time of LDU-Q7/LDM...", "SET TIME=" + TwoDigits(clock.hour) + ":" + TwoDigits(clock.minute));
}

DisplayCommand BuildDisplayLock() { return Single("Locking LDU-Q7/LDM...", "SET LOCK"); }

DisplayCommand BuildDisplayRefresh(std::string_view text) {
    const auto seconds = Number(text);
    if (!seconds) return {{"Wrong value for refresh time of LDU-Q7/LDM..."}, std::nullopt};
    if (*seconds >= 13) return {};
    return Single("Setting refresh time of LDU-Q7/LDM...", "SET REFR=" + TwoDigits(*seconds));
}

DisplayCommand BuildDisplayCreateSortTable() {
    return Single("Creating sort table in LDU-Q7/LDM, please wait...", "SET SORT");
}

DisplayCommand BuildDisplaySort(bool byAddress, bool byUser) {
    if (byAddress) return Single("Sorting LDU-Q7/LDM by address...", "SET SRTP=0");
    if (byUser) return Single("Sorting LDU-Q7/LDM by user number...", "SET SRTP=1");
    return {};
}

DisplayCommand BuildDisplayReadMeters() { return Single("Updating readings of LDU-Q7...", "SET READ"); }

std::string DisplayAddressesRequest() { return "GET ADDR"; }
std::string DisplayEntryRequest(int address, int page) {
    return "GET ENTR=" + std::to_string(address) + "," + std::to_string(page);
}
std::string DisplayTariffRequest(int address, int tariff) {
    return "GET TARR=" + std::to_string(address) + "," + std::to_string(tariff);
}
std::string DisplayHistoryRequest(int address, int index) {
    return "GET HIST=" + std::to_string(address) + "," + std::to_string(index);
}

} // namespace veltro
