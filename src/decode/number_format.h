#pragma once

#include <cstdint>
#include <string>

namespace veltro {

// Fixed-point text with `decimals` decimals and at most `precision` significant digits: the value is
// rounded (half away from zero) at whichever comes first, and digits past the significant ones read 0.
// A value whose integer part needs more than `precision` digits is written in scientific notation
// instead ("1.2345678E20", "-4.5E-7"). The decimal separator is a parameter: the system's in the
// program, "." in the C locale.
std::string FormatFixed(double value, int precision, int decimals, char decimalSeparator = '.');

// The same for an exact integer times 10^exponent, the way integer and BCD fields are scaled by their
// VIF multiplier; done in decimal so 123456789 x 10^-3 is exactly 123456.789.
std::string FormatScaled(std::int64_t value, int exponent, int precision, int decimals, char decimalSeparator = '.');

// The double nearest to value x 10^exponent, rounded once: 456789 x 10^-3 is divided by the exact 1000
// rather than multiplied by the inexact 0.001, so it reads back as 456.789. Exact for |value| < 2^53.
double ScaledQuantity(std::int64_t value, int exponent);
// value x 10^exponent with one rounding, dividing for a negative exponent.
double ScaledByPowerOfTen(double value, int exponent);

} // namespace veltro
