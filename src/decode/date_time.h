#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace veltro {

inline constexpr const char* kDateTimeException = "Exception decoding DateTime";

// Type G date (2 bytes): "31.12.0" for 1F 0C; the two-digit year as transmitted, no century.
std::string DecodeTypeGDate(std::span<const std::uint8_t> field);

// Type F date and time (4 bytes): "10:05, 15.4.12" for 05 0A 8F 14. Flag bits are ignored.
std::string DecodeTypeFDateTime(std::span<const std::uint8_t> field);

} // namespace veltro
