#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace veltro {

// Three letters from the two manufacturer bytes (least significant first): 2Eh 2Ch is 2C2Eh, "KAN".
// Bit 15 is not masked, so a code with it set gives a first character past "Z".
std::string ManufacturerLetters(std::uint8_t low, std::uint8_t high);

inline constexpr const char* kUnknownModel = "Unknown";

// Model of the maker's own devices from the version byte: 12h is "QPSA-2"; anything else "Unknown".
std::string ModelText(std::uint8_t version);

// The status byte as two upper-case hex digits.
std::string StatusText(std::uint8_t status);

// Pulse width set in the maker's devices, from the high nibble of the status byte: 8Ch is "50ms".
std::string PulseWidthText(std::uint8_t status);

struct BatteryReading {
    std::string text = "0";  // "0" means not decoded: the table keeps what it showed
    std::vector<std::string> log;
};

// Battery voltage(s) from the maker's manufacturer-specific block of an RSP_UD frame: the 4th and 5th
// bytes after the first "0F" found in the frame's hex text from its 51st character on; each above 51
// reads as value/51 volts ("3.53V" for B4h).
BatteryReading DecodeBattery(std::span<const std::uint8_t> frame, char decimalSeparator = '.');

} // namespace veltro
