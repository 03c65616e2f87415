#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltro {

// The display answers in free text lines (CR LF), Windows-1251. Each collected answer is parsed on its
// own with the label searches below; the line counts ("the last 6 lines") count lines of that answer.
// Lines are kept as raw bytes; texts taken into cells are converted to UTF-8. A line a rule wants past the
// answer's end reads as empty, so a cut answer gives empty texts, never a read beyond it.

// The answer cut into lines at CR, LF or CR LF; empty lines between line ends are kept as lines, a final
// line end adds no line.
std::vector<std::string> DisplayAnswerLines(std::string_view answer);

// "Active devices: 1,3,5-7" on one line (items end at ",", CR or FFh; "a-b" every address from a to
// b), or "Active devices: " alone followed by one address a line. Only addresses 1..250 are kept, at
// most 250. None when the label is missing (the tables stay as they were).
std::optional<std::vector<int>> ReadActiveAddresses(const std::vector<std::string>& lines);

// Page 1 of an entry ("GET ENTR=A,1"): "Total pulses" and "User mult/div" among the last 6 lines.
struct EntryValues {
    std::string unit;
    std::string initial;
    std::string multiplierDivider;
    std::string total;
};
std::optional<EntryValues> DecodeEntryValues(const std::vector<std::string>& lines);

// Page 2 ("GET ENTR=A,2"): "User #:" among the last 4 lines, the free text on the next line.
struct UserInfo {
    std::string userNumber;
    std::string freeText;  // UTF-8
};
std::optional<UserInfo> DecodeUserInfo(const std::vector<std::string>& lines);
inline constexpr std::string_view kUserInfoMissing = "Unexpected error decodingUser info";

// "GET TARR=A,t": the value among the last 7 lines.
std::optional<std::string> DecodeTariff(const std::vector<std::string>& lines);

// "GET HIST=A,i": "Hist values" among the last 7 lines, the month from the next line (or the fourth
// after it when the next holds "T1"). `month` 1..12; none when the year is "00" or empty or the month
// name is unknown (three blanks, "no month").
struct HistoryValue {
    std::string value;
    std::optional<int> month;
};
std::optional<HistoryValue> DecodeHistoryValue(const std::vector<std::string>& lines);

// "Jan".."Dec", "Noe", and the Windows-1251 bytes of Янв .. Дек: 1..12; three blanks or anything else:
// none. Matched on bytes.
std::optional<int> DisplayMonthNumber(std::string_view threeBytes);
// English month abbreviations "Jan".."Dec" by number 1..12.
std::string_view DisplayMonthName(int month);

// The history index that asks for `chosen` when the display's latest month is `latest` (both 1..12):
// 1 for the latest month, 12 - latest + chosen + 1 for an earlier month, chosen - latest + 1 for a later.
int DisplayHistoryIndex(int latest, int chosen);

// Windows-1251 both ways. Characters without a code become "?"; control characters CR and LF become
// blanks on the way out.
std::string Utf8ToWindows1251(std::string_view utf8);
std::string Windows1251ToUtf8(std::string_view bytes);

} // namespace veltro
