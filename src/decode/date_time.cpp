#include "decode/date_time.h"

namespace veltro {
namespace {

int YearOf(std::uint8_t dayByte, std::uint8_t monthByte) {
    return ((dayByte & 0xE0) >> 5) + ((monthByte & 0xF0) >> 1);
}

} // namespace

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
