#include <gtest/gtest.h>

#include "decode/number_format.h"

namespace veltro {
namespace {

TEST(FormatScaled, ExactDecimalScalingWithThreeDecimals) {
    struct Case {
        std::int64_t value;
        int exponent;
        int precision;
        const char* text;
    } cases[] = {
        {123456789, -3, 13, "123456.789"},     // 04 13 15 CD 5B 07
        {65535, -3, 8, "65.535"},              // 2-byte FFFFh in litres
        {-1, -3, 13, "-0.001"},                // 4-byte FFFFFFFFh in litres
        {1099511627777, -3, 15, "1099511627.777"},
        {0, -3, 8, "0.000"},
        {12345678, 0, 8, "12345678.000"},
        {123456789, 0, 8, "1.2345679E8"},      // 9 integer digits past 8 significant: scientific
        {99999999, 1, 8, "9.9999999E8"},
        {999999995, 0, 8, "1E9"},              // rounding carries into a tenth digit
        {999999995, -1, 8, "1E8"},             // 99999999.5 rounds to 9 integer digits: scientific
        {5, 1, 8, "50.000"},
        {65535, 1, 8, "655350.000"},
        {123456789, -3, 8, "123456.790"},     // rounded to 8 significant digits, then padded
        {1, -6, 8, "0.000"},                   // 1 mWh is below 3 decimals
        {1500, -6, 8, "0.002"},                // half up
        {-1500, -6, 8, "-0.002"},
        {-1, -6, 8, "0.000"},                  // no sign on a value that rounds to zero
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatScaled(c.value, c.exponent, c.precision, 3), c.text) << c.value << "e" << c.exponent;
}

TEST(FormatScaled, DecimalSeparatorIsAParameter) {
    EXPECT_EQ(FormatScaled(123456789, -3, 13, 3, ','), "123456,789");
    EXPECT_EQ(FormatScaled(123456789, 0, 8, 3, ','), "1,2345679E8");
}

TEST(FormatFixed, RealsAndVoltages) {
    struct Case {
        double value;
        int precision;
        int decimals;
        const char* text;
    } cases[] = {
        {1.5, 9, 5, "1.50000"},
        {0.0, 9, 5, "0.00000"},
        {-2.25, 9, 5, "-2.25000"},
        {0.015625, 9, 5, "0.01563"},           // an exact binary tie rounds half up
        {1234567890.5, 9, 5, "1.23456789E9"},
        {3.5294117647, 4, 2, "3.53"},
        {5.0, 4, 2, "5.00"},
        {123456.789, 8, 3, "123456.790"},
        {1e-7, 9, 5, "0.00000"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatFixed(c.value, c.precision, c.decimals), c.text) << c.value;
}

} // namespace
} // namespace veltro
