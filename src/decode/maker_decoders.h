#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "decode/records.h"

namespace veltro {

// Apator meters: the volume of a converted wireless telegram sits inside the manufacturer-specific
// block, at an offset from that block's DIF chosen by the frame's L field.
struct ApatorOutcome {
    std::optional<DecodedRecord> record;  // value/1000 in "m3", description "Apator"
    bool endsWalk = false;                // no position for this L field, or the volume could not be read
    std::vector<std::string> log;         // "Exception Apator - ..."
};

inline constexpr std::uint16_t kApatorManufacturerCode = 0x0601;

ApatorOutcome DecodeApatorVolume(std::span<const std::uint8_t> frame, std::span<const std::uint8_t> recordArea,
                                 std::size_t difPosition, int recordNumber, const RecordWalkSettings& settings);

// ZPA meters: a record read at a fixed data position p, its data-field code from byte p-4 and its VIF
// built from the low nibble of byte p-2 (so only the energy VIFs 00h..0Fh can apply).
struct FixedRecord {
    std::string value;  // empty when the record cannot be decoded
    std::string unit;
    int precision = 8;  // significant digits of `value`: 15 for a 12-digit register
    std::vector<std::string> log;  // "Unrecognizable DIF value - not decoded, 1..."
};

FixedRecord DecodeFixedRecord(std::span<const std::uint8_t> frame, std::size_t dataPosition, char decimalSeparator = '.');

} // namespace veltro
