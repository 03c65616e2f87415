#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace veltro {

// The three units a medium's main value is looked for in, in order of preference.
using PreferredUnits = std::array<std::string_view, 3>;

struct HeaderMedium {
    std::string_view text;
    PreferredUnits preferredUnits;
};

// Medium byte of an RSP_UD header: 07h "Water" with "m3" three times; 10h reads "Unknown".
HeaderMedium HeaderMediumOf(std::uint8_t medium);

// The header table keyed by the medium as a number (the receiver status view); out of range reads "Unknown".
std::string_view MediumByNumber(int medium);

// The device-type byte of a wireless telegram in the receiver listing: 10h reads "Cold water".
// Nothing for codes without a text (the medium cell is then left as it was).
std::optional<std::string_view> WirelessMedium(std::uint8_t deviceType);

// Medium name of a medium selector to the code written to a meter; any other name gives 0Fh.
std::uint8_t MediumCode(std::string_view name);

} // namespace veltro
