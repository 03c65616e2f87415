#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "decode/medium_table.h"

namespace veltro {

// The 12-byte fixed header of an RSP_UD (bytes 7..18 of the frame), as the meter table shows it.
struct TelegramHeader {
    std::string id;               // 8 hex digits of bytes 10, 9, 8, 7: a BCD number reads as its digits
    int primaryAddress = 0;       // byte 5
    std::uint16_t manufacturerCode = 0;
    std::string manufacturer;     // three letters from bytes 11-12
    int version = 0;              // byte 13
    std::string medium;           // byte 14 through the header medium table
    PreferredUnits preferredUnits{};
    int mediumCode = 0;
    int accessNumber = 0;         // byte 15
    std::string status;           // byte 16, two hex digits
    std::uint8_t statusByte = 0;
    std::string model;            // from the version byte; "Unknown" when not one of the maker's
    std::string pulse;            // maker's devices only ("KXR" with a known model), else empty
    std::string battery;          // likewise; "0" when the block gave nothing
};

inline constexpr std::size_t kRecordsStart = 19;   // first byte after the fixed header
inline constexpr std::size_t kShortestResponse = 21;  // header + CS + stop, no records
inline constexpr const char* kMakerManufacturer = "KXR";

struct HeaderDecoding {
    std::optional<TelegramHeader> header;
    std::string error;              // why there is no header
    std::vector<std::string> log;   // the battery decoder's exception lines, if any
};

// Decodes the header of a validated long frame. A frame too short to hold the whole header gives no
// header and an error text instead of reading past its end.
HeaderDecoding DecodeTelegramHeader(std::span<const std::uint8_t> frame, char decimalSeparator = '.');

} // namespace veltro
