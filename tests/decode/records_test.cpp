#include <gtest/gtest.h>

#include "decode/records.h"
#include "test_util.h"

namespace veltro {
namespace {

using test::Header;
using test::Response;

RecordWalk Walk(std::string_view records, bool fullRead = false) {
    return DecodeRecords(Response(Header(test::kKan, test::kWater), records), {fullRead, false, '.'});
}

struct FieldCase {
    const char* what;
    const char* records;
    const char* value;
    const char* unit;
};
void PrintTo(const FieldCase& c, std::ostream* os) { *os << c.what; }

class DataFields : public ::testing::TestWithParam<FieldCase> {};

TEST_P(DataFields, DecodeToTheDocumentedValueText) {
    const auto& c = GetParam();
    const RecordWalk walk = Walk(c.records);
    ASSERT_GE(walk.records.size(), 1u);
    EXPECT_EQ(walk.records[0].value, c.value);
    EXPECT_EQ(walk.records[0].unit, c.unit);
}

INSTANTIATE_TEST_SUITE_P(
    Records, DataFields,
    ::testing::Values(
        FieldCase{"volume 04 13 15 CD 5B 07", "04 13 15 CD 5B 07", "123456.789", "m3"},
        FieldCase{"2-byte FFFFh is signed like every integer", "02 13 FF FF", "-0.001", "m3"},
        FieldCase{"1-byte 7Fh is the largest positive", "01 13 7F", "0.127", "m3"},
        FieldCase{"3-byte integer", "03 13 FF FF 7F", "8388.607", "m3"},
        FieldCase{"2-byte negative power -180 W", "02 2C EE FF", "-180.000", "W"},
        FieldCase{"6-byte negative", "06 13 FF FF FF FF FF FF", "-0.001", "m3"},
        FieldCase{"4-byte FFFFFFFFh is signed", "04 13 FF FF FF FF", "-0.001", "m3"},
        FieldCase{"6-byte integer", "06 13 01 00 00 00 00 01", "1099511627.777", "m3"},
        FieldCase{"energy in Wh shown in kWh", "04 03 E8 03 00 00", "1.000", "kWh"},
        FieldCase{"energy 10 kWh steps", "02 07 05 00", "50.000", "kWh"},
        FieldCase{"real 1.5 with the multiplier of 1", "05 16 00 00 C0 3F", "1.50000", "m3"},
        FieldCase{"real 1.5 l scaled to m3", "05 13 00 00 C0 3F", "0.00150", "m3"},
        FieldCase{"real flow in 10^3 l/h", "05 3E 00 00 C0 3F", "1500.00000", "l/h"},
        FieldCase{"real -1.5", "05 16 00 00 C0 BF", "-1.50000", "m3"},
        FieldCase{"real zero", "05 13 00 00 00 00", "0.00000", "m3"},
        FieldCase{"real with exponent FFh", "05 13 00 00 80 7F", "NaN or Infinite", "m3"},
        FieldCase{"BCD 2 digits", "09 13 42", "0.042", "m3"},
        FieldCase{"BCD 4 digits", "0A 13 34 12", "1.234", "m3"},
        FieldCase{"BCD 6 digits", "0B 13 56 34 12", "123.456", "m3"},
        FieldCase{"BCD 8 digits", "0C 13 78 56 34 12", "12345.678", "m3"},
        FieldCase{"BCD 12 digits within 32 bits", "0E 13 47 36 48 47 21 00", "2147483.647", "m3"},
        FieldCase{"BCD 12 digits past 32 bits", "0E 13 48 36 48 47 21 00", "2147483.648", "m3"},
        FieldCase{"BCD 12 digits 3,000,000 m3", "0E 13 00 00 00 00 30 00", "3000000.000", "m3"},
        FieldCase{"BCD 12 nines keep every digit", "0E 13 99 99 99 99 99 99", "999999999.999", "m3"},
        FieldCase{"BCD 12 digits in m3 without multiplier", "0E 16 12 90 78 56 34 12", "123456789012.000", "m3"},
        FieldCase{"BCD 11 digits after the sign nibble", "0E 13 99 99 99 99 99 F9", "-99999999.999", "m3"},
        FieldCase{"BCD sign nibble 12 F0 is negative", "0A 13 12 F0", "-0.012", "m3"},
        FieldCase{"BCD temperature difference F0 18 00", "0B 61 18 00 F0", "-0.180", "deg. K"},
        FieldCase{"BCD digit A is not decimal", "0A 13 1A 00", "Exception ", "m3"},
        FieldCase{"BCD F below the first digit is not a sign", "0A 13 F2 01", "Exception ", "m3"},
        FieldCase{"VIF 78h 4-byte integer as digits", "04 78 78 56 34 12", "12345678", "Fabr. No."},
        FieldCase{"VIF 78h 3-byte padded to eight digits", "03 78 56 34 12", "00123456", "Fabr. No."},
        FieldCase{"VIF 78h 6-byte as hex", "06 78 01 02 03 04 05 06", "060504030201", "Fabr. No."},
        FieldCase{"VIF 78h 2-byte is an ordinary integer", "02 78 0A 00", "10.000", "Fabr. No."},
        FieldCase{"VIF 78h BCD 8 digits", "0C 78 78 56 34 12", "12345678", "Fabr. No."},
        FieldCase{"VIF 79h BCD 8 digits as digit text", "0C 79 78 56 34 12", "12345678", "Not supported"},
        FieldCase{"VIF F8h does not qualify as 78h", "04 F8 00 78 56 34 12", "305419896.000", "Not supported"},
        FieldCase{"64-bit integer as hex", "07 13 01 02 03 04 05 06 07 08",
                  "64-bit integer not supported, but hex is: 0x0807060504030201", "m3"},
        FieldCase{"code 0 has no data", "00 13 01 13 05", "No data ", "m3"},
        FieldCase{"code 8 is unrecognizable", "08 13 01 13 05", "Unrecognizable DIF, not decoded ", "m3"},
        FieldCase{"LVAR C2h 34 12", "0D 13 C2 34 12", "3412", "m3"},
        FieldCase{"LVAR D2h negative", "0D 13 D2 34 12", "-3412", "m3"},
        FieldCase{"LVAR E2h hex", "0D 13 E2 34 12", "0x3412", "m3"},
        FieldCase{"LVAR F2h floating point", "0D 13 F2 34 12",
                  "Floating point, to be defined in the future, but hex is: 0x3412", "m3"},
        FieldCase{"LVAR FBh reserved", "0D 13 FB", "Reserved for future use? ", "m3"},
        FieldCase{"LVAR 02h characters in the order received", "0D FD 11 02 41 42", "AB", "Customer"},
        FieldCase{"type G date", "02 6C 1F 0C", "31.12.0", "Time point"},
        FieldCase{"type F date and time", "04 6D 05 0A 8F 14", "10:05, 15.4.12", "Time point"},
        FieldCase{"type F date with VIF EDh", "04 ED 00 05 0A 8F 14", "10:05, 15.4.12", "Time point"},
        FieldCase{"plain-text unit", "04 7C 03 6B 57 68 01 00 00 00", "1.000", "kWh"},
        FieldCase{"plain-text length 0: the data field starts at the length byte", "02 7C 00 05", "1280.000", "Not supported"},
        FieldCase{"FBh extension GJ 0.1", "02 FB 08 0A 00", "1.000", "GJ"},
        FieldCase{"unknown VIF still decodes", "02 37 0A 00", "10.000", "Not supported"},
        FieldCase{"4-byte field cut by the check sum", "04 13 01 02", "Exception ", "m3"},
        FieldCase{"6-byte field cut by the check sum", "06 13 01 02", "Exception on 6-byte integer ", "m3"},
        FieldCase{"real cut by the check sum", "05 13 00 00", "Exception on floating point value ", "m3"},
        FieldCase{"date cut by the check sum", "04 6D 05 0A", "Exception decoding DateTime", "Time point"},
        FieldCase{"LVAR longer than the record area", "0D 13 05 41 42", "Exception ", "m3"},
        FieldCase{"date with code 0 has no bytes", "00 6C 01 13 05", "Exception decoding DateTime", "Time point"}),
    [](const auto& p) { return "field" + std::to_string(p.index); });

TEST(FunctionText, DifHighNibbleAndFirstDife) {
    struct Case {
        const char* records;
        const char* function;
        const char* difDife;
        const char* vife;
    } cases[] = {
        {"04 13 15 CD 5B 07", "Instantenous value ", "04 ", ""},
        {"14 13 00 00 00 00", "Maximum value ", "14 ", ""},
        {"44 13 00 00 00 00", "Storage number, Instantenous value ", "44 ", ""},
        {"74 13 00 00 00 00", "Storage number, Value during Error state ", "74 ", ""},
        {"84 10 13 00 00 00 00", "Instantenous value, Extension Storage is: 0, Tariff is: 1 ", "84 10 ", ""},
        {"84 0A 13 00 00 00 00", "Instantenous value, Extension Storage is: , Tariff is: 0 ", "84 0A ", ""},
        {"C4 B9 02 13 00 00 00 00", "Storage number, Instantenous value, Extension Storage is: 9, Tariff is: 3 ",
         "C4 B9 02 ", ""},
        {"B4 40 13 00 00 00 00", "Value during error state, Extension Storage is: 0, Tariff is: 0 ", "B4 40 ", ""},
        {"04 93 3C 00 00 00 00", "Instantenous value ", "04 ", "3C "},
        {"04 FD C9 FF 01 00 00 00 00", "Instantenous value ", "04 ", "C9 FF 01 "},
    };
    for (const auto& c : cases) {
        const RecordWalk walk = Walk(c.records);
        ASSERT_EQ(walk.records.size(), 1u) << c.records;
        EXPECT_EQ(walk.records[0].function, c.function) << c.records;
        EXPECT_EQ(walk.records[0].difDife, c.difDife) << c.records;
        EXPECT_EQ(walk.records[0].vife, c.vife) << c.records;
    }
}

TEST(RecordWalk, FullReadReportLineAndRowForEveryRecord) {
    const RecordWalk walk = Walk("04 13 15 CD 5B 07 2F 84 10 13 01 00 00 00", true);
    ASSERT_EQ(walk.records.size(), 2u);
    EXPECT_EQ(walk.reportLog, (std::vector<std::string>{
                                  "DIF,DIFE=04 ; VIF, VIFE=13 ; Instantenous value , 123456.789 m3, ",
                                  "DIF:2F, Idle filtering, skipping...",
                                  "DIF,DIFE=84 10 ; VIF, VIFE=13 ; Instantenous value, Extension Storage is: 0, "
                                  "Tariff is: 1 , 0.001 m3, ",
                              }));
    ASSERT_EQ(walk.reportRows.size(), 2u);
    EXPECT_EQ(walk.reportRows[0], (ReportGridRow{"Instantenous value ", "123456.789", "m3", "", ""}));
    // Without a full read the rows are still made, the log lines are not.
    const RecordWalk ordinary = Walk("04 13 15 CD 5B 07 2F 84 10 13 01 00 00 00", false);
    EXPECT_TRUE(ordinary.reportLog.empty());
    EXPECT_EQ(ordinary.reportRows.size(), 2u);
}

TEST(RecordWalk, IdleFillersAreSkippedWithoutAGapInNumbers) {
    const RecordWalk walk = Walk("01 13 05 2F 2F 01 13 06");
    ASSERT_EQ(walk.records.size(), 2u);
    EXPECT_EQ(walk.records[0].number, "1");
    EXPECT_EQ(walk.records[1].number, "2");
    EXPECT_EQ(walk.records[1].value, "0.006");
}

TEST(RecordWalk, VariableLengthFieldOccupiesItsLengthByteAndBytes) {
    const RecordWalk walk = Walk("0D 13 C2 34 12 01 13 05");
    ASSERT_EQ(walk.records.size(), 2u);
    EXPECT_EQ(walk.records[1].value, "0.005");
}

TEST(RecordWalk, ManufacturerSpecificDataEndsTheWalk) {
    for (const auto& [dif, more] : {std::pair{"0F", false}, std::pair{"1F", true}}) {
        const RecordWalk walk = Walk(std::string("01 13 05 ") + dif + " AA BB", true);
        ASSERT_EQ(walk.records.size(), 2u) << dif;
        EXPECT_EQ(walk.records[1].value, "AA BB ");
        EXPECT_EQ(walk.records[1].description, "Manf. secific");
        EXPECT_EQ(walk.records[1].number, "2");
        ASSERT_EQ(walk.reportRows.size(), 2u);
        EXPECT_EQ(walk.reportRows[1], (ReportGridRow{"", "", "Manf. specific", "AA BB ", ""}));
        EXPECT_EQ(walk.reportLog.back(), std::string("DIF:") + dif + ", Manufacturer specific: AA BB ");
        EXPECT_EQ(walk.moreRecordsPending, more) << dif;
        EXPECT_TRUE(walk.trailingEmptyRow);
    }
}

TEST(RecordWalk, ChainsThatReachTheCheckSumEndTheWalkWithoutARow) {
    struct Case {
        const char* what;
        const char* records;
        std::size_t listed;
    } cases[] = {
        {"VIF is the last byte, even with code 0", "01 13 05 00 13", 1},
        {"DIF alone at the end", "01 13 05 04", 1},
        {"DIFE chain reaches the check sum", "01 13 05 84 84 84", 1},
        {"VIFE chain reaches the check sum", "01 13 05 04 93 93", 1},
        {"plain-text length runs past the records", "01 13 05 04 7C 09 41 42 00 00", 1},
        {"no records at all", "", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(Walk(c.records).records.size(), c.listed) << c.what;
}

TEST(RecordWalk, NothingIsWalkedInAFrameTooShortForItsHeader) {
    EXPECT_TRUE(DecodeRecords(test::Bytes("68 02 02 68 08 05 0D 16"), {}).records.empty());
}

} // namespace
} // namespace veltro
