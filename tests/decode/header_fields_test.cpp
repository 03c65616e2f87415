#include <gtest/gtest.h>

#include "decode/date_time.h"
#include "decode/header_fields.h"
#include "test_util.h"

namespace veltro {
namespace {

using test::Bytes;

TEST(Manufacturer, ThreeLettersFromTheCodeWithBit15Unmasked) {
    EXPECT_EQ(ManufacturerLetters(0x2E, 0x2C), "KAN");
    EXPECT_EQ(ManufacturerLetters(0x01, 0x06), "APA");  // 0601h, the Apator code
    EXPECT_EQ(ManufacturerLetters(0x21, 0x04), "AAA");  // 0421h
    EXPECT_EQ(ManufacturerLetters(0x5A, 0x6B), "ZZZ");  // 6B5Ah
    // Bit 15 set: the first character lands past "Z" (64 + 32 + 1 = 'a').
    EXPECT_EQ(ManufacturerLetters(0x21, 0x84), std::string("aAA"));
}

TEST(Manufacturer, EveryThreeLetterTextRoundTripsThroughItsCode) {
    // Fixed vectors pin the bit order; the walk below covers the whole domain both ways.
    EXPECT_EQ(ManufacturerCode("KAN"), 0x2C2E);
    EXPECT_EQ(ManufacturerCode("AAA"), 0x0421);
    EXPECT_EQ(ManufacturerCode("ZZZ"), 0x6B5A);
    int checked = 0;
    for (char a = 'A'; a <= 'Z'; ++a)
        for (char b = 'A'; b <= 'Z'; ++b)
            for (char c = 'A'; c <= 'Z'; ++c) {
                const std::string letters{a, b, c};
                const auto code = ManufacturerCode(letters);
                ASSERT_TRUE(code) << letters;
                ASSERT_LT(*code, 0x8000) << letters;
                ASSERT_EQ(ManufacturerLetters(static_cast<std::uint8_t>(*code & 0xFF),
                                              static_cast<std::uint8_t>(*code >> 8)),
                          letters);
                ++checked;
            }
    EXPECT_EQ(checked, 26 * 26 * 26);
}

TEST(Manufacturer, CodeOnlyForThreeUpperCaseLetters) {
    for (const char* text : {"kan", "KAn", "KA", "KANA", "", "KA1", "@AA", "[AA", "A A", "\xC4" "AA"})
        EXPECT_FALSE(ManufacturerCode(text)) << text;
}

TEST(Model, PrefixFromTheHighNibbleAndDigitFromTheLow) {
    struct Case {
        int version;
        const char* model;
    } cases[] = {
        {0x10, "QPSA-0"}, {0x12, "QPSA-2"}, {0x15, "QPSA-5"}, {0x19, "QPSA-9"}, {0x1A, "Unknown"},
        {0x20, "QPSB-0"}, {0x29, "QPSB-9"}, {0x33, "QPSC-3"}, {0x3F, "Unknown"},
        {0x00, "Unknown"}, {0x05, "Unknown"}, {0x42, "Unknown"}, {0xF1, "Unknown"},
    };
    for (const auto& c : cases) EXPECT_EQ(ModelText(static_cast<std::uint8_t>(c.version)), c.model) << c.version;
}

TEST(StatusAndPulse, StatusAsHexAndPulseWidthFromItsHighNibble) {
    EXPECT_EQ(StatusText(0x8C), "8C");
    EXPECT_EQ(StatusText(0x00), "00");
    EXPECT_EQ(StatusText(0x0A), "0A");
    struct Case {
        int status;
        const char* pulse;
    } cases[] = {
        {0x00, "Not supported"}, {0x0F, "Not supported"}, {0x10, "Unknown"}, {0x20, "5ms"},
        {0x30, "Unknown"},       {0x40, "10ms"},          {0x60, "20ms"},    {0x8C, "50ms"},
        {0xA0, "100ms"},         {0xC0, "Unknown"},       {0xE3, "default 50ms"}, {0xF0, "Unknown"},
    };
    for (const auto& c : cases) EXPECT_EQ(PulseWidthText(static_cast<std::uint8_t>(c.status)), c.pulse) << c.status;
}

TEST(StatusAndPulse, TelegramCodesOneToFiveSetTheWidthsTheTableShows) {
    struct Case {
        std::uint8_t code;
        std::uint8_t nibble;
        const char* text;
    } cases[] = {{1, 0x2, "5ms"}, {2, 0x4, "10ms"}, {3, 0x6, "20ms"}, {4, 0x8, "50ms"}, {5, 0xA, "100ms"}};
    for (const auto& c : cases) {
        EXPECT_EQ(PulseWidthNibble(c.code), c.nibble) << int{c.code};
        const auto status = static_cast<std::uint8_t>(c.nibble << 4 | 0x03);  // low nibble: not the width's
        EXPECT_EQ(PulseWidthText(status), c.text) << int{c.code};
        EXPECT_EQ(PulseWidthCode(status), c.code) << int{c.code};
    }
    // Every other code is refused, and no status byte maps to a code that would not set it back.
    int codes = 0;
    for (int code = 0; code <= 0xFF; ++code) {
        const auto nibble = PulseWidthNibble(static_cast<std::uint8_t>(code));
        if (nibble) ++codes;
        EXPECT_EQ(nibble.has_value(), code >= 1 && code <= 5) << code;
    }
    EXPECT_EQ(codes, 5);
    for (int status = 0; status <= 0xFF; ++status) {
        const auto code = PulseWidthCode(static_cast<std::uint8_t>(status));
        if (code) {
            EXPECT_EQ(PulseWidthNibble(*code), status >> 4) << status;
        }
    }
    EXPECT_FALSE(PulseWidthCode(0x00)) << "not supported";
    EXPECT_FALSE(PulseWidthCode(0xE3)) << "the default has no code of its own";
}

// A 30-byte frame whose manufacturer block "0F 01 02 03 V1 V2 ..." starts at byte 25 (hex character 51).
std::string BatteryFrame(const char* firstVoltage, const char* secondVoltage) {
    return std::string("68 18 18 68 08 01 72 78 56 34 12 12 4B 12 07 01 00 00 00 04 13 00 00 00 00 0F 01 02 03 ") +
           firstVoltage + " " + secondVoltage + " 00 00 16";
}

TEST(Battery, VoltsFromTheFourthAndFifthBytesAfterTheMarker) {
    struct Case {
        const char* what;
        std::string frame;
        const char* text;
    } cases[] = {
        {"first B4h (180) reads 3.53V", BatteryFrame("B4", "00"), "3.53V"},
        {"only the second above 51 keeps the leading 0", BatteryFrame("33", "B4"), "03.53V"},
        {"both above 51 are concatenated", BatteryFrame("B4", "FF"), "3.53V5.00V"},
        {"51 exactly is not above 51", BatteryFrame("33", "33"), "0"},
        {"52 reads 1.02V", BatteryFrame("34", "00"), "1.02V"},
    };
    for (const auto& c : cases) {
        const auto reading = DecodeBattery(Bytes(c.frame));
        EXPECT_EQ(reading.text, c.text) << c.what;
        EXPECT_TRUE(reading.log.empty()) << c.what;
    }
}

TEST(Battery, DecimalSeparatorIsTheCallers) {
    EXPECT_EQ(DecodeBattery(Bytes(BatteryFrame("B4", "00")), ',').text, "3,53V");
}

TEST(Battery, MarkerSearchRunsOverCharactersNotBytes) {
    // Byte 25 is A0 and byte 26 F1: their characters "A0F1" hold "0F" straddling the two bytes, so the
    // block reads "0F 1x xx xx B4 ..." shifted by one character.
    const Telegram frame = Bytes("68 18 18 68 08 01 72 78 56 34 12 12 4B 12 07 01 00 00 00 04 13 00 00 00 00 "
                                 "A0 F1 11 11 1B 41 11 00 16");
    EXPECT_EQ(DecodeBattery(frame).text, "3.53V");
}

TEST(Battery, ShortOrMarkerlessFramesGiveZeroWithTheExceptionLines) {
    // Under 26 bytes: "0" and nothing logged.
    auto tooShort = DecodeBattery(Bytes("68 0F 0F 68 08 05 72 78 56 34 12 2E 2C 01 07 03 00 00 00 F8 16"));
    EXPECT_EQ(tooShort.text, "0");
    EXPECT_TRUE(tooShort.log.empty());

    // No "0F" from character 51 on.
    auto noMarker = DecodeBattery(Bytes("68 18 18 68 08 01 72 78 56 34 12 12 4B 12 07 01 00 00 00 04 13 00 00 00 00 "
                                        "11 22 33 44 55 66 77 00 16"));
    EXPECT_EQ(noMarker.text, "0");
    ASSERT_EQ(noMarker.log.size(), 1u);
    EXPECT_EQ(noMarker.log[0].rfind("Battery decoding Exception - ", 0), 0u);

    // The marker is found but the block ends before its two battery bytes.
    auto cut = DecodeBattery(Bytes("68 18 18 68 08 01 72 78 56 34 12 12 4B 12 07 01 00 00 00 04 13 00 00 00 00 "
                                   "11 22 0F 01 02"));
    EXPECT_EQ(cut.text, "0");
    ASSERT_EQ(cut.log.size(), 1u);
    EXPECT_EQ(cut.log[0].rfind("Unknown Exception decoding battery - ", 0), 0u);
}

TEST(Dates, TypeGAndTypeFAsDocumented) {
    struct Case {
        const char* what;
        const char* bytes;
        bool typeF;
        const char* text;
    } cases[] = {
        {"type G 1F 0C", "1F 0C", false, "31.12.0"},
        {"type G 21 11", "21 11", false, "1.1.9"},
        {"type G highest year 127", "FF FF", false, "31.15.127"},
        {"type F 05 0A 8F 14", "05 0A 8F 14", true, "10:05, 15.4.12"},
        {"type F minute 10 has no padding", "0A 0A 8F 14", true, "10:10, 15.4.12"},
        {"type F minute 9 is padded", "09 00 01 01", true, "0:09, 1.1.0"},
        {"type F flag bits ignored", "C5 EA 8F 14", true, "10:05, 15.4.12"},
        {"type G cut short", "1F", false, "Exception decoding DateTime"},
        {"type G empty", "", false, "Exception decoding DateTime"},
        {"type F cut short", "05 0A 8F", true, "Exception decoding DateTime"},
    };
    for (const auto& c : cases) {
        const Telegram field = Bytes(c.bytes);
        EXPECT_EQ(c.typeF ? DecodeTypeFDateTime(field) : DecodeTypeGDate(field), c.text) << c.what;
    }
}

} // namespace
} // namespace veltro
