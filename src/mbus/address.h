#pragma once

#include <optional>
#include <string_view>

#include "mbus/constants.h"

namespace veltro {

// "256" is the target text when no row (or no primary address) is selected.
inline constexpr std::string_view kNoTargetAddress = "256";

// Converts a target-address text into an address within [lowest, highest]. Decimal digits only (no sign,
// no blanks, at most three digits); anything else, "256" included, means "no address", and the caller sends
// nothing. The value is never reduced modulo 256: 256 does not become 0, 300 does not become 44.
std::optional<int> ParseTargetAddress(std::string_view text, int lowest = 0, int highest = kLastMeterAddress);

} // namespace veltro
