#include "decode/date_time.h"

namespace veltro {
namespace {

int YearOf(std::uint8_t dayByte, std::uint8_t monthByte) {
    return ((dayByte & 0xE0) >> 5) + ((monthByte & 0xF0) >> 1);
}

constexpr int kLastTwoDigitYear = 99;

bool IsCalendarDate(int year, int month, int day) {
    return year <= kLastTwoDigitYear && month >= 1 && month <= 12 && day >= 1;
}

// "YYYY-MM-DD" into `out`, which holds at least ten characters.
void WriteIsoDate(char* out, int year, int month, int day) {
    const int fullYear = 2000 + year;
    out[0] = static_cast<char>('0' + fullYear / 1000);
    out[1] = static_cast<char>('0' + fullYear / 100 % 10);
    out[2] = static_cast<char>('0' + fullYear / 10 % 10);
    out[3] = static_cast<char>('0' + fullYear % 10);
    out[4] = '-';
    out[5] = static_cast<char>('0' + month / 10);
    out[6] = static_cast<char>('0' + month % 10);
    out[7] = '-';
    out[8] = static_cast<char>('0' + day / 10);
    out[9] = static_cast<char>('0' + day % 10);
}

} // namespace

std::optional<std::string> TypeGDateIso(std::span<const std::uint8_t> field) {
    if (field.size() < 2) return std::nullopt;
    const int day = field[0] & 0x1F;
    const int month = field[1] & 0x0F;
    const int year = YearOf(field[0], field[1]);
    if (!IsCalendarDate(year, month, day)) return std::nullopt;
    std::string text(10, '0');
    WriteIsoDate(text.data(), year, month, day);
    return text;
}

std::optional<std::string> TypeFDateTimeIso(std::span<const std::uint8_t> field) {
    if (field.size() < 4) return std::nullopt;
    const int minute = field[0] & 0x3F;
    const int hour = field[1] & 0x1F;
    const int day = field[2] & 0x1F;
    const int month = field[3] & 0x0F;
    const int year = YearOf(field[2], field[3]);
    if (!IsCalendarDate(year, month, day) || hour > 23 || minute > 59) return std::nullopt;
    std::string text(16, '0');
    WriteIsoDate(text.data(), year, month, day);
    text[10] = 'T';
    text[11] = static_cast<char>('0' + hour / 10);
    text[12] = static_cast<char>('0' + hour % 10);
    text[13] = ':';
    text[14] = static_cast<char>('0' + minute / 10);
    text[15] = static_cast<char>('0' + minute % 10);
    return text;
}

std::string DecodeTypeGDate(std::span<const std::uint8_t> field) {
    if (field.size() < 2) return kDateTimeException;
    const int day = field[0] & 0x1F;
    const int month = field[1] & 0x0F;
    return std::to_string(day) + "." + std::to_string(month) + "." + std::to_string(YearOf(field[0], field[1]));
}

std::string DecodeTypeFDateTime(std::span<const std::uint8_t> field) {
    if (field.size() < 4) return kDateTimeException;
    const int minute = field[0] & 0x3F;
    const int hour = field[1] & 0x1F;
    const int day = field[2] & 0x1F;
    const int month = field[3] & 0x0F;
    return std::to_string(hour) + (minute <= 9 ? ":0" : ":") + std::to_string(minute) + ", " + std::to_string(day) +
           "." + std::to_string(month) + "." + std::to_string(YearOf(field[2], field[3]));
}

} // namespace veltro
