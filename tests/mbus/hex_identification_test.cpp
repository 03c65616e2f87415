#include <gtest/gtest.h>

#include "mbus/address.h"
#include "mbus/hex.h"
#include "mbus/identification.h"
#include "test_util.h"

namespace veltro {
namespace {

TEST(HexRendering, TwoUpperCaseDigitsAndABlankPerByteTrailingBlankIncluded) {
    EXPECT_EQ(HexRendering(test::Bytes("10 7b 05 80 16")), "10 7B 05 80 16 ");
    EXPECT_EQ(HexRendering(test::Bytes("")), "");
    EXPECT_EQ(HexRendering(test::Bytes("00 ff")), "00 FF ");
}

TEST(ParseHex, AcceptsWhatOperatorsTypeAndRefusesTheRest) {
    struct Case {
        const char* text;
        std::optional<std::vector<std::uint8_t>> bytes;
    } cases[] = {
        {"107B058016", std::vector<std::uint8_t>{0x10, 0x7B, 0x05, 0x80, 0x16}},
        {"10 7b 05\t80\r\n16 ", std::vector<std::uint8_t>{0x10, 0x7B, 0x05, 0x80, 0x16}},
        {"0x10,0x7B", std::vector<std::uint8_t>{0x10, 0x7B}},
        {"", std::vector<std::uint8_t>{}},
        {"1 07B", std::nullopt},   // a lone digit
        {"107", std::nullopt},     // odd number of digits
        {"10 7G", std::nullopt},   // not a hex digit
        {"10-7B", std::nullopt},
    };
    for (const auto& c : cases) {
        auto parsed = ParseHex(c.text);
        ASSERT_EQ(parsed.has_value(), c.bytes.has_value()) << c.text;
        if (parsed) {
            EXPECT_EQ(std::vector<std::uint8_t>(parsed->begin(), parsed->end()), *c.bytes) << c.text;
        }
    }
}

TEST(PackedIdentification, LeastSignificantPairFirstWithWildcardsOnlyWhenAllowed) {
    EXPECT_EQ(PackIdentification("12345678"), (PackedIdentification{0x78, 0x56, 0x34, 0x12}));
    EXPECT_EQ(PackIdentification("00000001"), (PackedIdentification{0x01, 0x00, 0x00, 0x00}));
    EXPECT_FALSE(PackIdentification("1234567F"));
    EXPECT_EQ(PackIdentification("1234567F", IdentificationDigits::AllowWildcard),
              (PackedIdentification{0x7F, 0x56, 0x34, 0x12}));
    EXPECT_EQ(PackIdentification("ffffffff", IdentificationDigits::AllowWildcard),
              (PackedIdentification{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_FALSE(PackIdentification("1234567E", IdentificationDigits::AllowWildcard));
    EXPECT_EQ(UnpackIdentification({0x78, 0x56, 0x34, 0x12}), "12345678");
    EXPECT_EQ(UnpackIdentification({0x0A, 0xFF, 0x00, 0xB0}), "B000FF0A");
}

TEST(TargetAddress, DecimalInRangeNeverReducedModulo256) {
    struct Case {
        const char* text;
        int lowest, highest;
        std::optional<int> address;
    } cases[] = {
        {"0", 0, 250, 0},
        {"250", 0, 250, 250},
        {"007", 0, 250, 7},
        {"251", 0, 250, std::nullopt},
        {"256", 0, 255, std::nullopt},  // the "nothing selected" text
        {"300", 0, 255, std::nullopt},  // not 44
        {"255", 0, 255, 255},
        {"", 0, 250, std::nullopt},
        {"-1", 0, 250, std::nullopt},
        {" 5", 0, 250, std::nullopt},
        {"5a", 0, 250, std::nullopt},
        {"0005", 0, 250, std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseTargetAddress(c.text, c.lowest, c.highest), c.address) << c.text;
    EXPECT_EQ(ParseTargetAddress(kNoTargetAddress), std::nullopt);
}

} // namespace
} // namespace veltro
