#include "devices/display_answers.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace veltro {
namespace {

// Windows-1251, 80h..BFh; C0h..FFh are А..я (U+0410..U+044F) in order. 98h has no character (0).
constexpr std::array<char16_t, 64> kHighHalf{
    u'\u0402', u'\u0403', u'\u201A', u'\u0453', u'\u201E', u'\u2026', u'\u2020', u'\u2021',  // 80
    u'\u20AC', u'\u2030', u'\u0409', u'\u2039', u'\u040A', u'\u040C', u'\u040B', u'\u040F',  // 88
    u'\u0452', u'\u2018', u'\u2019', u'\u201C', u'\u201D', u'\u2022', u'\u2013', u'\u2014',  // 90
    0,         u'\u2122', u'\u0459', u'\u203A', u'\u045A', u'\u045C', u'\u045B', u'\u045F',  // 98
    u'\u00A0', u'\u040E', u'\u045E', u'\u0408', u'\u00A4', u'\u0490', u'\u00A6', u'\u00A7',  // A0
    u'\u0401', u'\u00A9', u'\u0404', u'\u00AB', u'\u00AC', u'\u00AD', u'\u00AE', u'\u0407',  // A8
    u'\u00B0', u'\u00B1', u'\u0406', u'\u0456', u'\u0491', u'\u00B5', u'\u00B6', u'\u00B7',  // B0
    u'\u0451', u'\u2116', u'\u0454', u'\u00BB', u'\u0458', u'\u0405', u'\u0455', u'\u0457',  // B8
};
constexpr char32_t kCyrillicA = 0x0410, kCyrillicYa = 0x044F;
constexpr std::uint8_t kCyrillicAByte = 0xC0;
static_assert(kCyrillicYa - kCyrillicA == 0xFF - kCyrillicAByte, "А..я fill C0h..FFh exactly");

constexpr std::optional<std::uint8_t> Windows1251Byte(char32_t c) {
    if (c < 0x80) return static_cast<std::uint8_t>(c);
    if (c >= kCyrillicA && c <= kCyrillicYa) return static_cast<std::uint8_t>(kCyrillicAByte + (c - kCyrillicA));
    for (std::size_t i = 0; i < kHighHalf.size(); ++i)
        if (kHighHalf[i] != 0 && kHighHalf[i] == c) return static_cast<std::uint8_t>(0x80 + i);
    return std::nullopt;
}

constexpr char32_t Windows1251Char(std::uint8_t byte) {
    if (byte < 0x80) return byte;
    if (byte >= kCyrillicAByte) return kCyrillicA + (byte - kCyrillicAByte);
    return kHighHalf[byte - 0x80u];
}

// One code point from well-formed UTF-8 (no overlongs, no surrogates, at most U+10FFFF); a byte that
// starts no such sequence is returned as none and consumed alone.
std::optional<char32_t> NextCodePoint(std::string_view text, std::size_t& at) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    const std::uint8_t lead = byte(at++);
    if (lead < 0x80) return lead;
    std::size_t length = 0;
    char32_t c = 0, lowest = 0;
    if ((lead & 0xE0) == 0xC0) length = 1, c = lead & 0x1Fu, lowest = 0x80;
    else if ((lead & 0xF0) == 0xE0) length = 2, c = lead & 0x0Fu, lowest = 0x800;
    else if ((lead & 0xF8) == 0xF0) length = 3, c = lead & 0x07u, lowest = 0x10000;
    else return std::nullopt;
    if (text.size() - at < length) return std::nullopt;
    for (std::size_t i = 0; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return std::nullopt;
        c = (c << 6) | (byte(at + i) & 0x3Fu);
    }
    if (c < lowest || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
    at += length;
    return c;
}

void AppendUtf8(std::string& out, char32_t c) {
    const auto put = [&](unsigned v) { out += static_cast<char>(v); };
    if (c < 0x80) {
        put(c);
    } else if (c < 0x800) {
        put(0xC0 | (c >> 6)), put(0x80 | (c & 0x3F));
    } else {
        put(0xE0 | (c >> 12)), put(0x80 | ((c >> 6) & 0x3F)), put(0x80 | (c & 0x3F));
    }
}

// The month names the display answers with: English, and Bulgarian in Windows-1251 (written here in
// UTF-8 and converted at compile time; "Noe" is a second November).
struct MonthName {
    std::string_view english;
    std::string_view bulgarian;
};
constexpr std::array<MonthName, 12> kMonths{{{"Jan", "Янв"}, {"Feb", "Фев"}, {"Mar", "Мар"}, {"Apr", "Апр"},
                                             {"May", "Май"}, {"Jun", "Юни"}, {"Jul", "Юли"}, {"Aug", "Авг"},
                                             {"Sep", "Сеп"}, {"Oct", "Окт"}, {"Nov", "Ное"}, {"Dec", "Дек"}}};
constexpr int kNovember = 11;

// Two-byte UTF-8 of А..я to Windows-1251; anything else gives an empty array, which no answer matches.
constexpr std::array<char, 3> BulgarianBytes(std::string_view utf8) {
    std::array<char, 3> bytes{};
    if (utf8.size() != 6) return {};
    for (std::size_t i = 0; i < 3; ++i) {
        const char32_t c = (static_cast<char32_t>(static_cast<std::uint8_t>(utf8[2 * i]) & 0x1F) << 6) |
                           (static_cast<std::uint8_t>(utf8[2 * i + 1]) & 0x3F);
        const auto b = Windows1251Byte(c);
        if (!b || *b < kCyrillicAByte) return {};
        bytes[i] = static_cast<char>(*b);
    }
    return bytes;
}
constexpr bool MonthsConvert() {
    for (const MonthName& m : kMonths)
        if (BulgarianBytes(m.bulgarian)[0] == 0 || m.english.size() != 3) return false;
    return true;
}
static_assert(MonthsConvert(), "every Bulgarian month is three letters of А..я");

constexpr std::string_view kActiveLabel = "Active devices: ";
constexpr std::string_view kTotalLabel = "Total pulses";
constexpr std::string_view kMultDivLabel = "User mult/div";
constexpr std::string_view kUserLabel = "User #:";
constexpr std::string_view kHistoryLabel = "Hist values";
// "User mult/div: 10/1": the text from the line's 16th character, counted from the label.
constexpr std::size_t kMultDivOffset = 15;
constexpr int kMaxAddress = 250;
constexpr std::size_t kMaxAddresses = 250;

bool Holds(std::string_view line, std::string_view label) { return line.find(label) != std::string_view::npos; }

// Text of `line` from `at`, or empty when `at` lies past its end.
std::string_view From(std::string_view line, std::size_t at) { return at < line.size() ? line.substr(at) : std::string_view{}; }

// From the first digit up to the next blank; the rest after that blank.
struct DigitsField {
    std::string_view value, rest;
};
DigitsField FirstDigits(std::string_view line) {
    const std::size_t start = line.find_first_of("0123456789");
    if (start == std::string_view::npos) return {};
    const std::size_t end = line.find(' ', start);
    if (end == std::string_view::npos) return {line.substr(start), {}};
    return {line.substr(start, end - start), line.substr(end + 1)};
}

// The last `count` lines: the index of the first of them.
std::size_t WindowStart(const std::vector<std::string>& lines, std::size_t count) {
    return lines.size() > count ? lines.size() - count : 0;
}

std::optional<std::size_t> FindIn(const std::vector<std::string>& lines, std::size_t count, std::string_view label) {
    for (std::size_t i = WindowStart(lines, count); i < lines.size(); ++i)
        if (Holds(lines[i], label)) return i;
    return std::nullopt;
}

// Past the answer's end reads as an empty line.
std::string_view LineAt(const std::vector<std::string>& lines, std::size_t i) {
    return i < lines.size() ? std::string_view(lines[i]) : std::string_view{};
}

// Digits only, saturated so a long run is out of every range.
std::optional<std::int64_t> Number(std::string_view text) {
    if (text.empty()) return std::nullopt;
    std::int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = std::min<std::int64_t>(value * 10 + (c - '0'), 1'000'000'000);
    }
    return value;
}

std::string_view TrimBlanks(std::string_view text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// "7" or "5-7"; anything else adds nothing. A range adds only what fits in 1..250 and the cap.
void AddItem(std::string_view item, std::vector<int>& out) {
    item = TrimBlanks(item);
    const std::size_t dash = item.find('-');
    const auto low = Number(item.substr(0, dash));
    const auto high = dash == std::string_view::npos ? low : Number(item.substr(dash + 1));
    if (!low || !high) return;
    for (std::int64_t a = std::max<std::int64_t>(*low, 1); a <= std::min<std::int64_t>(*high, kMaxAddress) && out.size() < kMaxAddresses; ++a)
        out.push_back(static_cast<int>(a));
}

} // namespace

std::vector<std::string> DisplayAnswerLines(std::string_view answer) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < answer.size(); ++i) {
        if (answer[i] != '\r' && answer[i] != '\n') continue;
        lines.emplace_back(answer.substr(start, i - start));
        if (answer[i] == '\r' && i + 1 < answer.size() && answer[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < answer.size()) lines.emplace_back(answer.substr(start));
    return lines;
}

std::optional<std::vector<int>> ReadActiveAddresses(const std::vector<std::string>& lines) {
    for (std::size_t i = lines.size(); i-- > 0;) {
        const std::size_t at = lines[i].find(kActiveLabel);
        if (at == std::string::npos) continue;
        std::vector<int> addresses;
        const std::string_view list = From(lines[i], at + kActiveLabel.size());
        if (!TrimBlanks(list).empty()) {
            std::size_t itemStart = 0;
            for (std::size_t k = 0; k <= list.size(); ++k) {
                if (k < list.size() && list[k] != ',' && static_cast<std::uint8_t>(list[k]) != 0xFF) continue;
                AddItem(list.substr(itemStart, k - itemStart), addresses);
                itemStart = k + 1;
            }
        } else {
            for (std::size_t k = i + 1; k < lines.size(); ++k) AddItem(lines[k], addresses);
        }
        return addresses;
    }
    return std::nullopt;
}

std::optional<EntryValues> DecodeEntryValues(const std::vector<std::string>& lines) {
    constexpr std::size_t kWindow = 6;
    const auto total = FindIn(lines, kWindow, kTotalLabel);
    const auto multDiv = FindIn(lines, kWindow, kMultDivLabel);
    if (!total && !multDiv) return std::nullopt;
    EntryValues values;
    std::size_t base = 0;
    if (multDiv && (!total || *multDiv == *total + 1)) {
        base = *multDiv;
        values.multiplierDivider = Windows1251ToUtf8(From(lines[base], lines[base].find(kMultDivLabel) + kMultDivOffset));
    } else {
        base = *total;
        const std::string_view line = lines[base];
        const std::size_t star = line.find('*');
        if (star != std::string_view::npos) {
            const std::string_view after = line.substr(star + 1);
            values.multiplierDivider = Windows1251ToUtf8(after.substr(0, after.find(' ')));
        }
    }
    const DigitsField initial = FirstDigits(LineAt(lines, base + 1));
    values.initial = Windows1251ToUtf8(initial.value);
    values.unit = Windows1251ToUtf8(initial.rest);
    values.total = Windows1251ToUtf8(FirstDigits(LineAt(lines, base + 2)).value);
    return values;
}

std::optional<UserInfo> DecodeUserInfo(const std::vector<std::string>& lines) {
    const auto user = FindIn(lines, 4, kUserLabel);
    if (!user) return std::nullopt;
    const std::string_view line = lines[*user];
    UserInfo info;
    info.userNumber = Windows1251ToUtf8(From(line, line.find(kUserLabel) + kUserLabel.size() + 1));
    const std::string_view next = LineAt(lines, *user + 1);
    const std::size_t colon = next.find(':');
    if (colon != std::string_view::npos) info.freeText = Windows1251ToUtf8(From(next, colon + 2));
    return info;
}

std::optional<std::string> DecodeTariff(const std::vector<std::string>& lines) {
    constexpr std::size_t kWindow = 7;
    const auto multDiv = FindIn(lines, kWindow, kMultDivLabel);
    const auto base = multDiv ? multDiv : FindIn(lines, kWindow, kTotalLabel);
    if (!base) return std::nullopt;
    return Windows1251ToUtf8(FirstDigits(LineAt(lines, *base + 2)).value);
}

std::optional<HistoryValue> DecodeHistoryValue(const std::vector<std::string>& lines) {
    const auto history = FindIn(lines, 7, kHistoryLabel);
    if (!history) return std::nullopt;
    const std::string_view line = lines[*history];
    HistoryValue result;
    const std::size_t colon = line.find(':', line.find(kHistoryLabel));
    if (colon != std::string_view::npos)
        for (char c : line.substr(colon + 1))
            if (c != ' ') result.value += c;
    result.value = Windows1251ToUtf8(result.value);

    const std::size_t next = *history + 1;
    const std::string_view monthLine = LineAt(lines, Holds(LineAt(lines, next), "T1") ? next + 3 : next);
    const std::size_t slash = monthLine.find('/');
    if (slash == std::string_view::npos) return result;
    const std::string_view rest = monthLine.substr(slash + 1);
    const std::string_view year = From(rest, 3).substr(0, 2);
    if (year.empty() || year == "00") return result;
    result.month = DisplayMonthNumber(rest.substr(0, 3));
    return result;
}

std::optional<int> DisplayMonthNumber(std::string_view threeBytes) {
    if (threeBytes == "Noe") return kNovember;
    for (std::size_t i = 0; i < kMonths.size(); ++i) {
        const auto bulgarian = BulgarianBytes(kMonths[i].bulgarian);
        if (threeBytes == kMonths[i].english || threeBytes == std::string_view(bulgarian.data(), bulgarian.size()))
            return static_cast<int>(i) + 1;
    }
    return std::nullopt;
}

std::string_view DisplayMonthName(int month) {
    return month >= 1 && month <= 12 ? kMonths[static_cast<std::size_t>(month - 1)].english : std::string_view{};
}

int DisplayHistoryIndex(int latest, int chosen) {
    if (chosen == latest) return 1;
    return chosen < latest ? 12 - latest + chosen + 1 : chosen - latest + 1;
}

std::string Utf8ToWindows1251(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t at = 0; at < utf8.size();) {
        const auto c = NextCodePoint(utf8, at);
        if (c && (*c == '\r' || *c == '\n')) {
            out += ' ';
            continue;
        }
        const auto byte = c ? Windows1251Byte(*c) : std::nullopt;
        out += byte ? static_cast<char>(*byte) : '?';
    }
    return out;
}

std::string Windows1251ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char b : bytes) {
        const char32_t c = Windows1251Char(static_cast<std::uint8_t>(b));
        AppendUtf8(out, c != 0 || b == 0 ? c : U'?');
    }
    return out;
}

} // namespace veltro
