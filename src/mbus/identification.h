#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace veltro {

using PackedIdentification = std::array<std::uint8_t, 4>;

enum class IdentificationDigits {
    DecimalOnly,    // "12345678": every character 0-9
    AllowWildcard,  // the secondary search: F (either case) stands for any digit
};

// Packs an 8-digit identification d1..d8 as BCD, least significant pair first:
// "12345678" gives 78 56 34 12. Nothing when the text is not exactly 8 accepted characters.
std::optional<PackedIdentification> PackIdentification(std::string_view digits,
                                                        IdentificationDigits accepted = IdentificationDigits::DecimalOnly);

// The reverse: the four bytes as they stand in a telegram (least significant first) as 8 upper-case hex
// digits, most significant first. A BCD identification reads as its decimal digits.
std::string UnpackIdentification(const PackedIdentification& packed);

} // namespace veltro
