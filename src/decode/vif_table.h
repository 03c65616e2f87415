#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace veltro {

inline constexpr const char* kVifNotSupported = "Not supported";
inline constexpr const char* kPlainTextDescription = "text";

// What the value information of one record means: the unit text (shown, and matched when the main and
// additional values are chosen), the multiplier 10^exponent for integer and BCD values, the description.
struct VifInfo {
    std::string unit = kVifNotSupported;
    int exponent = 0;
    double multiplier = 1.0;
    std::string description;
    // The unit of the typed value ("kWh", "m3", "degC", ...; "" when none) and the power of ten that
    // the typed value carries beyond `exponent`: volts and amperes name theirs in the unit text
    // ("Volts, 10^-1") and keep multiplier 1 in the shown value.
    std::string_view unitCode;
    int unitExponent = 0;

    // Plain-text VIF 7Ch/FCh with a non-zero length: the length byte and the characters of the unit sit
    // between the VIF/VIFE chain and the data field, which therefore starts 1 + plainTextLength later.
    bool plainText() const { return description == kPlainTextDescription; }
    std::size_t plainTextLength = 0;

    // Set when the lookup needed bytes beyond the region it may read (a plain-text length pointing past
    // the records, a missing VIFE after FBh/FDh); the other fields are then the starting values.
    std::optional<std::string> error;
};

// Looks up `vif` (normally region[vifPosition]; the ZPA path builds its own) and, after FBh and FDh, the
// first VIFE at vifPosition + 1. `region` is what the lookup may read: the record area of the frame.
// VIFs 80h..EFh are looked up as 00h..6Fh; of F0h..FFh only FBh..FFh mean something.
VifInfo LookupVif(std::span<const std::uint8_t> region, std::size_t vifPosition, std::uint8_t vif);

// Plain table lookup for a VIF that needs no further bytes (no plain text, no FBh/FDh).
VifInfo LookupVif(std::uint8_t vif);

} // namespace veltro
