#include <gtest/gtest.h>

#include "decode/telegram_header.h"
#include "sim/record_encoder.h"
#include "sim_test_support.h"

namespace veltro::sim {
namespace {

using test::Bytes;

std::string Hex(const std::optional<std::vector<std::uint8_t>>& bytes) {
    return bytes ? HexRendering(*bytes) : std::string("nothing");
}

struct NumberCase {
    const char* name;
    std::uint8_t dif;
    double value;
    const char* expected;  // "nothing" when the value does not fit
};

class NumberFields : public ::testing::TestWithParam<NumberCase> {};

TEST_P(NumberFields, EncodeAsTheDifSays) {
    const auto& c = GetParam();
    EXPECT_EQ(Hex(EncodeNumberForDif(c.dif, c.value)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Encoding, NumberFields,
    ::testing::Values(
        // 04 13 15 CD 5B 07 reads 123456.789 m3: the worked example of the record decoding.
        NumberCase{"FourByteIntegerLeastSignificantFirst", 0x04, 123456789, "15 CD 5B 07 "},
        NumberCase{"OneByteInteger", 0x01, 255, "FF "},
        NumberCase{"OneByteIntegerOverflows", 0x01, 256, "nothing"},
        NumberCase{"TwoByteUnsignedUsesTheWholeField", 0x02, 65535, "FF FF "},
        NumberCase{"NegativeInTwosComplement", 0x04, -1, "FF FF FF FF "},
        NumberCase{"ThreeByteInteger", 0x03, 0x123456, "56 34 12 "},
        NumberCase{"SixByteInteger", 0x06, 1099511627777.0, "01 00 00 00 00 01 "},
        NumberCase{"EightByteInteger", 0x07, 1, "01 00 00 00 00 00 00 00 "},
        NumberCase{"FractionIsNoInteger", 0x04, 1.5, "nothing"},
        NumberCase{"TwoDigitBcd", 0x09, 42, "42 "},
        NumberCase{"FourDigitBcd", 0x0A, 1234, "34 12 "},
        NumberCase{"EightDigitBcdLeastSignificantPairFirst", 0x0C, 12345678, "78 56 34 12 "},
        NumberCase{"TwelveDigitBcd", 0x0E, 123456789012.0, "12 90 78 56 34 12 "},
        NumberCase{"BcdNegativeGetsTheSignNibble", 0x0A, -123, "23 F1 "},
        NumberCase{"BcdTooManyDigits", 0x09, 100, "nothing"},
        // 00 00 C0 3F is 1.5 in the record decoding's example.
        NumberCase{"Real", 0x05, 1.5, "00 00 C0 3F "},
        NumberCase{"NoDataTakesNoNumber", 0x00, 0, "nothing"},
        NumberCase{"VariableLengthTakesNoNumber", 0x0D, 1, "nothing"},
        NumberCase{"StorageAndExtensionBitsDoNotChangeTheLength", 0xC4, 1, "01 00 00 00 "}),
    [](const auto& row) { return row.param.name; });

TEST(NumberFields, ReadBackWhatWasEncoded) {
    for (std::uint8_t dif : {0x01, 0x02, 0x03, 0x04, 0x06, 0x07, 0x09, 0x0A, 0x0B, 0x0C, 0x0E}) {
        const auto data = EncodeNumberForDif(dif, 57);
        ASSERT_TRUE(data) << int(dif);
        EXPECT_EQ(DecodeNumberField(dif, *data), 57) << int(dif);
    }
    EXPECT_FALSE(DecodeNumberField(0x0A, Bytes("23 F1"))) << "a sign nibble is not a digit";
    EXPECT_FALSE(DecodeNumberField(0x04, Bytes("01 02"))) << "wrong length for the DIF";
}

struct DateCase {
    const char* name;
    CalendarTime time;
    bool withTime;
    const char* expected;
};

class Dates : public ::testing::TestWithParam<DateCase> {};

TEST_P(Dates, EncodeTypesFAndG) {
    const auto& c = GetParam();
    EXPECT_EQ(Hex(c.withTime ? EncodeDateTypeF(c.time) : EncodeDateTypeG(c.time)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Encoding, Dates,
    ::testing::Values(
        // The worked examples of the date decoders: 05 0A 8F 14 is 10:05, 15.4.12; 1F 0C is 31.12.0; 21 11 is 1.1.9.
        DateCase{"TypeFWorkedExample", {2012, 4, 15, 10, 5}, true, "05 0A 8F 14 "},
        DateCase{"TypeGLastDayOfYearZero", {2000, 12, 31}, false, "1F 0C "},
        DateCase{"TypeGYearNineSplitsOverBothBytes", {2009, 1, 1}, false, "21 11 "},
        DateCase{"TypeFMidnight", {2025, 3, 14, 0, 0}, true, "00 00 2E 33 "},
        DateCase{"MonthThirteenIsRefused", {2025, 13, 1}, false, "nothing"},
        DateCase{"HourTwentyFourIsRefused", {2025, 1, 1, 24, 0}, true, "nothing"},
        DateCase{"YearsBefore2000AreRefused", {1999, 1, 1}, false, "nothing"}),
    [](const auto& row) { return row.param.name; });

struct RecordCheckCase {
    const char* name;
    DataRecord record;
    bool wellFormed;
};

DataRecord Record(std::uint8_t dif, std::vector<std::uint8_t> dife, std::uint8_t vif, std::vector<std::uint8_t> vife,
                  const char* data) {
    DataRecord r;
    r.dif = dif;
    r.dife = std::move(dife);
    r.vif = vif;
    r.vife = std::move(vife);
    const auto bytes = Bytes(data);
    r.data.assign(bytes.begin(), bytes.end());
    return r;
}

class RecordChecks : public ::testing::TestWithParam<RecordCheckCase> {};

TEST_P(RecordChecks, RefuseWhatNoMeterWouldSend) {
    const auto& c = GetParam();
    EXPECT_EQ(!CheckRecord(c.record).has_value(), c.wellFormed) << CheckRecord(c.record).value_or("");
}

INSTANTIATE_TEST_SUITE_P(
    Encoding, RecordChecks,
    ::testing::Values(
        RecordCheckCase{"PlainRecord", Record(0x04, {}, 0x13, {}, "01 02 03 04"), true},
        RecordCheckCase{"DifeChain", Record(0x84, {0x80, 0x10}, 0x03, {}, "01 02 03 04"), true},
        RecordCheckCase{"VifeChain", Record(0x02, {}, 0xFD, {0x48}, "01 02"), true},
        RecordCheckCase{"ExtensionBitWithoutDife", Record(0x84, {}, 0x13, {}, "01 02 03 04"), false},
        RecordCheckCase{"DifeWithoutExtensionBit", Record(0x04, {0x10}, 0x13, {}, "01 02 03 04"), false},
        RecordCheckCase{"DifeChainBreaksEarly", Record(0x84, {0x10, 0x20}, 0x13, {}, "01 02 03 04"), false},
        RecordCheckCase{"LastVifeAnnouncesMore", Record(0x02, {}, 0xFD, {0xC8}, "01 02"), false},
        RecordCheckCase{"DataTooShortForDif", Record(0x04, {}, 0x13, {}, "01 02"), false},
        RecordCheckCase{"DataTooLongForDif", Record(0x02, {}, 0x13, {}, "01 02 03"), false},
        RecordCheckCase{"VariableLengthText", Record(0x0D, {}, 0x78, {}, "03 41 42 43"), true},
        RecordCheckCase{"VariableLengthShort", Record(0x0D, {}, 0x78, {}, "03 41 42"), false},
        RecordCheckCase{"VariableLengthHex", Record(0x0D, {}, 0x78, {}, "C2 34 12"), true},
        RecordCheckCase{"IdleFillerIsNoRecord", Record(0x2F, {}, 0x00, {}, ""), false},
        RecordCheckCase{"ManufacturerSpecific", DataRecord::ManufacturerSpecific(Bytes("AA BB"), false), true},
        RecordCheckCase{"ManufacturerSpecificWithDife", Record(0x0F, {0x10}, 0, {}, "AA"), false}),
    [](const auto& row) { return row.param.name; });

TEST(RspUd, HeaderAsTheProgramReadsIt) {
    FixedHeader header;
    header.identification = *PackIdentification("12345678");
    header.manufacturer = *ManufacturerCode("KXR");
    header.version = 0x12;
    header.medium = 0x07;
    header.accessNumber = 0x2A;
    header.status = 0x8C;
    const DataRecord records[] = {Record(0x04, {}, 0x13, {}, "15 CD 5B 07")};
    const auto frame = EncodeRspUd(9, header, records);
    ASSERT_TRUE(frame);
    EXPECT_EQ(HexRendering(*frame), "68 15 15 68 08 09 72 78 56 34 12 12 2F 12 07 2A 8C 00 00 04 13 15 CD 5B 07 " +
                                        HexByte(CheckSum8(frame->bytes().subspan(4, 0x15))) + " 16 ");
    EXPECT_TRUE(test::Valid(*frame));

    // The program's own header decoding as a second opinion.
    const auto decoded = DecodeTelegramHeader(*frame);
    ASSERT_TRUE(decoded.header) << decoded.error;
    EXPECT_EQ(decoded.header->id, "12345678");
    EXPECT_EQ(decoded.header->primaryAddress, 9);
    EXPECT_EQ(decoded.header->manufacturer, "KXR");
    EXPECT_EQ(decoded.header->accessNumber, 42);
    EXPECT_EQ(decoded.header->status, "8C");
    EXPECT_EQ(decoded.header->model, "QPSA-2");
    EXPECT_EQ(decoded.header->pulse, "50ms");
}

TEST(RspUd, RecordsMustFitOneFrame) {
    std::vector<DataRecord> records(40, Record(0x04, {}, 0x13, {}, "00 00 00 00"));  // 240 bytes: just fits
    const auto fits = EncodeRspUd(1, {}, records);
    ASSERT_TRUE(fits);
    EXPECT_EQ(fits->size(), 261u);
    records.push_back(Record(0x01, {}, 0x13, {}, "00"));  // 243 bytes
    EXPECT_FALSE(EncodeRspUd(1, {}, records));
}

} // namespace
} // namespace veltro::sim
