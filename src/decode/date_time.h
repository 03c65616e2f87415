#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace veltro {

inline constexpr const char* kDateTimeException = "Exception decoding DateTime";

// Type G date (2 bytes): "31.12.0" for 1F 0C; the two-digit year as transmitted, no century.
std::string DecodeTypeGDate(std::span<const std::uint8_t> field);

// Type F date and time (4 bytes): "10:05, 15.4.12" for 05 0A 8F 14. Flag bits are ignored.
std::string DecodeTypeFDateTime(std::span<const std::uint8_t> field);

// The same dates as ISO texts with the year 2000 + the two-digit year: "2012-04-15", "2012-04-15T10:05".
// None for a field that is short or not a calendar date (month 0 or above 12, day 0, year above 99,
// hour above 23, minute above 59).
std::optional<std::string> TypeGDateIso(std::span<const std::uint8_t> field);
std::optional<std::string> TypeFDateTimeIso(std::span<const std::uint8_t> field);

} // namespace veltro
