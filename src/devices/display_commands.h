#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltro {

// The local display (LDU-Q7, LDM) speaks plain ASCII without terminator: "SET UNIT=5,2", "GET ADDR".
// The page and `veltro-cli display` build every text here; texts for the display are Windows-1251.

// The write cycle's setting switches, in their processing order.
enum class DisplaySetting { Activate, Units, Multiplier, Divider, Initial, User, Text, Text2, Delete, ZeroInitials };
inline constexpr std::array<DisplaySetting, 10> kDisplaySettingOrder{
    DisplaySetting::Activate, DisplaySetting::Units,   DisplaySetting::Multiplier, DisplaySetting::Divider,
    DisplaySetting::Initial,  DisplaySetting::User,    DisplaySetting::Text,       DisplaySetting::Text2,
    DisplaySetting::Delete,   DisplaySetting::ZeroInitials};

// "activate", "units", "multiplier", "divider", "initial", "user", "text", "text2", "delete", "zero"
// (the command line's names) and the switches' captions "Activate" ... "Zero initials ".
std::string_view DisplaySettingName(DisplaySetting setting);
std::string_view DisplaySettingCaption(DisplaySetting setting);
std::optional<DisplaySetting> DisplaySettingNamed(std::string_view name);

// Ticking "DELETE" unticks every other switch but "Free text 2"; ticking any other unticks "DELETE".
struct DisplaySwitches {
    std::array<bool, 10> ticked{};  // by `DisplaySetting`
    bool isTicked(DisplaySetting s) const { return ticked[static_cast<std::size_t>(s)]; }
    void tick(DisplaySetting s, bool on);  // with the exclusions above
    int count() const;
    std::optional<DisplaySetting> first() const;  // in processing order
};

// "kWh" 1, "m3" or "m3 " 2, "kJ" 3, "MJ" 4, "" "" (an empty code); anything else: none.
std::optional<std::string> DisplayUnitCode(std::string_view unit);

// Column 4 "Mult/Div " split: "" 1 and 1; "3" 3 and 1; "/5" 1 and 5; "/" 1 and 1; "3/" 3 and 1 (the text
// before the final "/"); "10/1" 10 and 1; otherwise the text before the first "/" and everything after
// it. Neither side comes out empty; one that is not 1..4 digits is the write cycle's "...wrong".
struct MultiplierDivider {
    std::string multiplier;
    std::string divider;
};
MultiplierDivider SplitMultiplierDivider(std::string_view cell);

// The display table's columns.
inline constexpr int kDisplayColumns = 13;
inline constexpr int kReadingsColumns = 24;
inline constexpr int kDisplayIdColumn = 0, kDisplayAddressColumn = 1, kDisplayUnitColumn = 2, kDisplayStartColumn = 3,
                     kDisplayMultDivColumn = 4, kDisplayUserColumn = 5, kDisplayTextColumn = 6,
                     kDisplayTotalColumn = 7, kDisplayTariffColumn = 8, kDisplayText2Column = 12,
                     kReadingsFirstMonthColumn = 12;
inline constexpr int kDisplayMaxEntries = 250;
inline constexpr std::size_t kDisplayTextLimit = 50;  // characters of a free text that are sent

// The address cell of a row the cycle or a read is about to use: digits only, 1..250.
struct DisplayAddressCheck {
    std::optional<int> address;
    std::string line;  // "Error in device address at row 3" (empty), "... at row 3, skipping"; empty when valid
};
DisplayAddressCheck CheckDisplayAddress(std::string_view cell, int row);

// What the write cycle does for one row and one setting: log lines in order, then the command, or no
// command (the row is skipped, its line logged). `cells` are the row's 13 cells as typed (UTF-8).
struct DisplayRowCommand {
    std::vector<std::string> log;
    std::optional<std::string> command;  // Windows-1251 bytes, ready for the line
};
DisplayRowCommand BuildDisplayRowCommand(DisplaySetting setting, const std::vector<std::string>& cells);

// Whether the answer to an activation acknowledges it ("Active" or "Already" anywhere in it).
bool DisplayActivationAcknowledged(std::string_view answer);

// The single commands of the page. A command comes with its log lines; no command means refused (the
// lines say why, when there is anything to say).
struct DisplayCommand {
    std::vector<std::string> log;
    std::optional<std::string> command;
};

// `Combo_ldu_general`'s items in order.
enum class DisplayInfo { Main, Service, Addresses, Entry1, Entry2, Entry3 };
inline constexpr std::array<std::string_view, 6> kDisplayInfoItems{
    "Get main info", "Get service info", "Get addresses", "Get Entry info 1", "Get Entry info 2", "Get Entry info 3"};
// "GET MAIN", "GET SERV", "GET ADDR", "GET ENTR=A,0|1|2"; an entry page with address 0 (none selected):
// "Not valid address selected...".
DisplayCommand BuildDisplayInfo(DisplayInfo kind, int address);

struct DisplayClock {
    int year = 2000, month = 1, day = 1, hour = 0, minute = 0;
};
// "SET DATE=05/03/26" with "Setting date of LDU-Q7/LDM..."; a year outside 2000..2099 sends nothing:
// "Incorrect year of the PC, skipping datetime set...".
DisplayCommand BuildDisplayDate(const DisplayClock& clock);
// "SET TIME=09:07" with "Setting time of LDU-Q7/LDM...".
DisplayCommand BuildDisplayTime(const DisplayClock& clock);
// "SET LOCK" with "Locking LDU-Q7/LDM...".
DisplayCommand BuildDisplayLock();
// `Edit_ldu_refresh` as typed: "4" gives "SET REFR=04"; not a number: "Wrong value for refresh time of
// LDU-Q7/LDM..."; 13 or more: nothing, no line.
DisplayCommand BuildDisplayRefresh(std::string_view text);
// "SET SORT" with "Creating sort table in LDU-Q7/LDM, please wait...".
DisplayCommand BuildDisplayCreateSortTable();
// "SET SRTP=0" / "SET SRTP=1" with "Sorting LDU-Q7/LDM by address..." / "... by user number...";
// neither box: nothing.
DisplayCommand BuildDisplaySort(bool byAddress, bool byUser);
// "SET READ" with "Updating readings of LDU-Q7...".
DisplayCommand BuildDisplayReadMeters();
// The read requests of the readings.
std::string DisplayAddressesRequest();                 // "GET ADDR"
std::string DisplayEntryRequest(int address, int page);  // "GET ENTR=5,1"
std::string DisplayTariffRequest(int address, int tariff);  // "GET TARR=5,0"
std::string DisplayHistoryRequest(int address, int index);  // "GET HIST=5,12"

// The log line of the operator's text log messages of the page.
inline constexpr std::string_view kDisplaySortOnlyRs232 = "Sorting is available only through RS-232, continue?";
inline constexpr std::string_view kDisplaySortCaption = "Sort confirmation";

} // namespace veltro
