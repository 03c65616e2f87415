#include "decode/number_format.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string_view>

namespace veltro {
namespace {

// Digits held: FormatFixed's expansion has 25 significant digits, an int64 at most 20, and rounding
// only ever shortens a number before its carry adds a digit back.
constexpr std::size_t kMaxDigits = 25;

// value = (negative ? -1 : 1) x 0.d1d2d3... x 10^pointPosition. The digits are kept in the number itself
// rather than in a std::string: a telegram formats a value for nearly every record.
struct DecimalNumber {
    bool negative = false;
    std::array<char, kMaxDigits> digits{};
    std::size_t count = 0;
    int pointPosition = 0;

    bool empty() const { return count == 0; }
    std::string_view text() const { return {digits.data(), count}; }
    // Index 0 is the first digit after the leading "0."; digits past the held ones read 0.
    char digitAt(int index) const {
        return index >= 0 && static_cast<std::size_t>(index) < count ? digits[static_cast<std::size_t>(index)] : '0';
    }
    void append(std::string_view more) {
        more = more.substr(0, digits.size() - count);
        std::copy(more.begin(), more.end(), digits.begin() + static_cast<std::ptrdiff_t>(count));
        count += more.size();
    }
};

void StripLeadingZeros(DecimalNumber& n) {
    const std::size_t first = n.text().find_first_not_of('0');
    if (first == std::string_view::npos) {
        n.count = 0;
        n.pointPosition = 0;
        return;
    }
    std::copy(n.digits.begin() + static_cast<std::ptrdiff_t>(first), n.digits.begin() + static_cast<std::ptrdiff_t>(n.count),
              n.digits.begin());
    n.count -= first;
    n.pointPosition -= static_cast<int>(first);
}

// Rounds half up to `keep` digits (keep may be <= 0); a carry lengthens the number.
void RoundTo(DecimalNumber& n, int keep) {
    if (keep >= static_cast<int>(n.count)) return;
    if (keep < 0) {
        n.count = 0;
        return;
    }
    const bool roundUp = n.digits[static_cast<std::size_t>(keep)] >= '5';
    n.count = static_cast<std::size_t>(keep);
    if (roundUp) {
        int i = keep - 1;
        for (; i >= 0; --i) {
            auto& d = n.digits[static_cast<std::size_t>(i)];
            if (d == '9') {
                d = '0';
            } else {
                ++d;
                break;
            }
        }
        if (i < 0) {
            const auto held = n.digits.begin() + static_cast<std::ptrdiff_t>(n.count);
            std::copy_backward(n.digits.begin(), held, held + 1);
            n.digits[0] = '1';
            ++n.count;
            ++n.pointPosition;
        }
    }
    StripLeadingZeros(n);
}

std::string Scientific(const DecimalNumber& n, char separator) {
    std::string mantissa(n.text());
    while (mantissa.size() > 1 && mantissa.back() == '0') mantissa.pop_back();
    std::string text = n.negative ? "-" : "";
    text += mantissa[0];
    if (mantissa.size() > 1) {
        text += separator;
        text.append(mantissa, 1);
    }
    text += 'E';
    text += std::to_string(n.pointPosition - 1);
    return text;
}

std::string Format(DecimalNumber n, int precision, int decimals, char separator) {
    StripLeadingZeros(n);
    if (!n.empty() && n.pointPosition > precision) {
        RoundTo(n, precision);
        return Scientific(n, separator);
    }
    RoundTo(n, std::min(precision, n.pointPosition + decimals));
    if (!n.empty() && n.pointPosition > precision) return Scientific(n, separator);

    // Written into a string sized once: sign, integer part, separator and decimals.
    const bool integerDigits = !n.empty() && n.pointPosition > 0;
    const bool minus = n.negative && !n.empty();
    const std::size_t length = (minus ? 1u : 0u) + (integerDigits ? static_cast<std::size_t>(n.pointPosition) : 1u) +
                               (decimals > 0 ? 1u + static_cast<std::size_t>(decimals) : 0u);
    std::string text(length, '0');
    char* out = text.data();
    if (minus) *out++ = '-';
    if (integerDigits) {
        for (int i = 0; i < n.pointPosition; ++i) *out++ = n.digitAt(i);
    } else {
        *out++ = '0';
    }
    if (decimals > 0) {
        *out++ = separator;
        const int start = n.empty() ? 0 : n.pointPosition;
        for (int i = 0; i < decimals; ++i) *out++ = n.digitAt(start + i);
    }
    return text;
}

} // namespace

std::string FormatScaled(std::int64_t value, int exponent, int precision, int decimals, char decimalSeparator) {
    DecimalNumber n;
    n.negative = value < 0;
    // Magnitude without overflow for INT64_MIN.
    const std::uint64_t magnitude = n.negative ? std::uint64_t(0) - static_cast<std::uint64_t>(value)
                                               : static_cast<std::uint64_t>(value);
    char buffer[kMaxDigits];
    const std::to_chars_result written = std::to_chars(buffer, buffer + sizeof buffer, magnitude);
    n.append(std::string_view(buffer, static_cast<std::size_t>(written.ptr - buffer)));
    n.pointPosition = static_cast<int>(n.count) + exponent;
    return Format(n, precision, decimals, decimalSeparator);
}

double ScaledByPowerOfTen(double value, int exponent) {
    // Powers of ten up to 10^22 are exact doubles, so one division or multiplication rounds once; the
    // VIF tables stay far below that.
    static constexpr std::array kPowers = [] {
        std::array<double, 23> powers{};
        double power = 1.0;
        for (double& p : powers) {
            p = power;
            power *= 10.0;
        }
        return powers;
    }();
    const auto magnitude = static_cast<std::size_t>(std::abs(exponent));
    if (magnitude >= kPowers.size()) return value * std::pow(10.0, exponent);
    return exponent < 0 ? value / kPowers[magnitude] : value * kPowers[magnitude];
}

double ScaledQuantity(std::int64_t value, int exponent) { return ScaledByPowerOfTen(static_cast<double>(value), exponent); }

std::string FormatFixed(double value, int precision, int decimals, char decimalSeparator) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
    DecimalNumber n;
    n.negative = std::signbit(value);
    if (value == 0.0) return Format(n, precision, decimals, decimalSeparator);
    // "d.ddd...e+XX" with 24 decimals, as printf's "%.24e" writes it: 25 significant digits are more
    // than a double holds, so the half-up decision is taken on the value's own digits, not on a
    // rounded copy.
    char buffer[64];
    const std::to_chars_result written =
        std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value), std::chars_format::scientific, 24);
    const std::string_view text(buffer, static_cast<std::size_t>(written.ptr - buffer));
    const std::size_t e = text.find('e');
    n.append(text.substr(0, 1));
    n.append(text.substr(2, e - 2));
    std::string_view exponent = text.substr(e + 1);
    if (exponent.front() == '+') exponent.remove_prefix(1);  // from_chars takes a minus sign only
    int power = 0;
    std::from_chars(exponent.data(), exponent.data() + exponent.size(), power);
    n.pointPosition = power + 1;
    return Format(n, precision, decimals, decimalSeparator);
}

} // namespace veltro
