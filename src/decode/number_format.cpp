#include "decode/number_format.h"

#include <charconv>
#include <cmath>
#include <string_view>

namespace veltro {
namespace {

// value = (negative ? -1 : 1) x 0.d1d2d3... x 10^pointPosition
struct DecimalNumber {
    bool negative = false;
    std::string digits;
    int pointPosition = 0;
};

void StripLeadingZeros(DecimalNumber& n) {
    std::size_t first = n.digits.find_first_not_of('0');
    if (first == std::string::npos) {
        n.digits.clear();
        n.pointPosition = 0;
        return;
    }
    n.digits.erase(0, first);
    n.pointPosition -= static_cast<int>(first);
}

// Rounds half up to `keep` digits (keep may be <= 0); a carry lengthens the number.
void RoundTo(DecimalNumber& n, int keep) {
    if (keep >= static_cast<int>(n.digits.size())) return;
    if (keep < 0) {
        n.digits.clear();
        return;
    }
    const bool roundUp = n.digits[static_cast<std::size_t>(keep)] >= '5';
    n.digits.resize(static_cast<std::size_t>(keep));
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
            n.digits.insert(n.digits.begin(), '1');
            ++n.pointPosition;
        }
    }
    StripLeadingZeros(n);
}

std::string Scientific(const DecimalNumber& n, char separator) {
    std::string mantissa = n.digits;
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
    if (!n.digits.empty() && n.pointPosition > precision) {
        RoundTo(n, precision);
        return Scientific(n, separator);
    }
    RoundTo(n, std::min(precision, n.pointPosition + decimals));
    if (!n.digits.empty() && n.pointPosition > precision) return Scientific(n, separator);

    auto digitAt = [&](int index) -> char {  // index 0 is the first digit after the leading "0."
        return index >= 0 && index < static_cast<int>(n.digits.size()) ? n.digits[static_cast<std::size_t>(index)] : '0';
    };
    std::string text = (n.negative && !n.digits.empty()) ? "-" : "";
    if (n.digits.empty() || n.pointPosition <= 0) {
        text += '0';
    } else {
        for (int i = 0; i < n.pointPosition; ++i) text += digitAt(i);
    }
    if (decimals > 0) {
        text += separator;
        const int start = n.digits.empty() ? 0 : n.pointPosition;
        for (int i = 0; i < decimals; ++i) text += n.digits.empty() ? '0' : digitAt(start + i);
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
    n.digits = std::to_string(magnitude);
    n.pointPosition = static_cast<int>(n.digits.size()) + exponent;
    return Format(std::move(n), precision, decimals, decimalSeparator);
}

std::string FormatFixed(double value, int precision, int decimals, char decimalSeparator) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
    DecimalNumber n;
    n.negative = std::signbit(value);
    if (value == 0.0) return Format(n, precision, decimals, decimalSeparator);
    // 25 significant digits are more than a double holds, so the half-up decision is taken on the
    // value's own digits, not on a rounded copy.
    // "d.ddd...e+XX" exactly as printf's "%.24e" writes it, without printf's cost.
    char buffer[64];
    const std::to_chars_result written =
        std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value), std::chars_format::scientific, 24);
    const std::string_view text(buffer, static_cast<std::size_t>(written.ptr - buffer));
    const std::size_t e = text.find('e');
    n.digits.reserve(e);
    n.digits += text[0];
    n.digits += text.substr(2, e - 2);
    std::string_view exponent = text.substr(e + 1);
    if (exponent.front() == '+') exponent.remove_prefix(1);  // from_chars takes a minus sign only
    int power = 0;
    std::from_chars(exponent.data(), exponent.data() + exponent.size(), power);
    n.pointPosition = power + 1;
    return Format(std::move(n), precision, decimals, decimalSeparator);
}

} // namespace veltro
