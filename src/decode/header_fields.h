#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace veltro {

// Three letters from the two manufacturer bytes (least significant first): 2Eh 2Ch is 2C2Eh, "KAN".
// Bit 15 is not masked, so a code with it set gives a first character past "Z".
std::string ManufacturerLetters(std::uint8_t low, std::uint8_t high);

// The code of three letters A-Z, each letter minus 64 in five bits, the first highest: "KAN" is 2C2Eh.
// Nothing unless exactly three upper-case letters.
std::optional<std::uint16_t> ManufacturerCode(std::string_view letters);

inline constexpr const char* kUnknownModel = "Unknown";

// Model of the maker's own devices from the version byte: 12h is "QPSA-2"; anything else "Unknown".
std::string ModelText(std::uint8_t version);

// The status byte as two upper-case hex digits.
std::string StatusText(std::uint8_t status);

// Pulse width set in the maker's devices, from the high nibble of the status byte: 8Ch is "50ms".
std::string PulseWidthText(std::uint8_t status);

// The maker's pulse-width telegram (0F FD 0B 04 00 00 00 P) carries a code 1..5; the device then shows
// the width in the high nibble of its status byte. Code 4 (50 ms) shows as 8h. Nothing for other codes.
std::optional<std::uint8_t> PulseWidthNibble(std::uint8_t code);

// The telegram code of the width a status byte shows; nothing for "Not supported", the default and
// unknown nibbles.
std::optional<std::uint8_t> PulseWidthCode(std::uint8_t status);

// The telegram code of a width as the meter table and the page's box name it: "50ms" is 4. Nothing for
// "Not supported", "default 50ms" and any other text.
std::optional<std::uint8_t> PulseWidthCodeOfText(std::string_view text);

struct BatteryReading {
    std::string text = "0";  // "0" means not decoded: the table keeps what it showed
    std::vector<std::string> log;
};

// Battery voltage(s) from the maker's manufacturer-specific block of an RSP_UD frame: the 4th and 5th
// bytes after the first "0F" found in the frame's hex text from its 51st character on; each above 51
// reads as value/51 volts ("3.53V" for B4h).
BatteryReading DecodeBattery(std::span<const std::uint8_t> frame, char decimalSeparator = '.');

} // namespace veltro
