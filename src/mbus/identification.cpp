#include "mbus/identification.h"

#include "mbus/hex.h"

namespace veltro {
namespace {

std::optional<std::uint8_t> DigitValue(char c, IdentificationDigits accepted) {
    if (c >= '0' && c <= '9') return static_cast<std::uint8_t>(c - '0');
    if (accepted == IdentificationDigits::AllowWildcard && (c == 'F' || c == 'f')) return std::uint8_t{0x0F};
    return std::nullopt;
}

} // namespace

std::optional<PackedIdentification> PackIdentification(std::string_view digits, IdentificationDigits accepted) {
    if (digits.size() != 8) return std::nullopt;
    PackedIdentification packed{};
    for (std::size_t pair = 0; pair < 4; ++pair) {
        auto high = DigitValue(digits[2 * pair], accepted);
        auto low = DigitValue(digits[2 * pair + 1], accepted);
        if (!high || !low) return std::nullopt;
        packed[3 - pair] = static_cast<std::uint8_t>(*high * 16 + *low);
    }
    return packed;
}

std::string UnpackIdentification(const PackedIdentification& packed) {
    const std::uint8_t mostSignificantFirst[] = {packed[3], packed[2], packed[1], packed[0]};
    return HexDigits(mostSignificantFirst);
}

} // namespace veltro
