#include <gtest/gtest.h>

#include "decode/meter_response.h"
#include "test_util.h"

namespace veltro {
namespace {

using test::Bytes;
using test::Header;
using test::Response;

DecodeSettings Settings(int count = 15) {
    DecodeSettings s;
    s.additionalCount = count;
    s.localTime = "10:20:30";
    s.localDate = "08.12.2026";
    return s;
}

constexpr const char* kBmt = "B4 09";
constexpr const char* kZpa = "01 6A";
constexpr const char* kKxr = "12 2F";

TEST(DecodeMeterResponse, ShortAndBrokenResponsesAreRejectedWithTheirLines) {
    struct Case {
        const char* what;
        const char* bytes;
        std::vector<std::string> log;
    } cases[] = {
        {"7 bytes: only the Respond line", "68 01 01 68 08 05 16", {"Respond: 68 01 01 68 08 05 16 "}},
        {"wrong sum and stop byte, in that order",
         "68 0F 0F 68 08 05 72 78 56 34 12 2E 2C 01 07 03 00 00 00 00 00",
         {"Respond: 68 0F 0F 68 08 05 72 78 56 34 12 2E 2C 01 07 03 00 00 00 00 00 ", "Wrong CRC", "Wrong STOP byte"}},
        {"valid frame too short for the header", "68 02 02 68 08 05 0D 16",
         {"Respond: 68 02 02 68 08 05 0D 16 ",
          "Unexpected error in the telegram - the response of 8 bytes ends inside its 12-byte header"}},
    };
    for (const auto& c : cases) {
        const MeterResponse r = DecodeMeterResponse(Bytes(c.bytes), Settings());
        EXPECT_FALSE(r.valid) << c.what;
        EXPECT_EQ(r.log, c.log) << c.what;
        EXPECT_FALSE(r.header) << c.what;
        EXPECT_FALSE(r.tableRow) << c.what;
    }
}

TEST(DecodeMeterResponse, NoRecordsGivesEmptyMainAndSlots) {
    const MeterResponse r = DecodeMeterResponse(Response(Header(test::kKan, test::kWater), ""), Settings());
    ASSERT_TRUE(r.valid);
    EXPECT_TRUE(r.records.empty());
    EXPECT_EQ(r.mainValue, "");
    EXPECT_EQ(r.mainUnit, "");
    for (const auto& slot : r.additionalSlots) EXPECT_EQ(slot, "");
    ASSERT_TRUE(r.tableRow);
    EXPECT_EQ(r.tableRow->columns[0], "12345678");
    EXPECT_EQ(r.tableRow->columns[1], "1");
    EXPECT_EQ(r.tableRow->columns[2], "KAN");
    EXPECT_EQ(r.tableRow->columns[5], "Water");
    EXPECT_EQ(r.tableRow->columns[6], "10:20:30");
    EXPECT_EQ(r.tableRow->columns[7], "08.12.2026");
    EXPECT_EQ(r.tableRow->columns[10], "Unknown");
    EXPECT_EQ(r.tableRow->additional.size(), 15u);
}

struct ChoiceCase {
    const char* what;
    const char* medium;
    const char* records;
    int count;
    const char* mainValue;
    const char* mainUnit;
    std::vector<std::string> slots;  // the first `count` slots
};
void PrintTo(const ChoiceCase& c, std::ostream* os) { *os << c.what; }

class MainAndAdditionalValues : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(MainAndAdditionalValues, FollowRecordOrder) {
    const auto& c = GetParam();
    const MeterResponse r = DecodeMeterResponse(Response(Header(test::kKan, c.medium), c.records), Settings(c.count));
    ASSERT_TRUE(r.valid);
    EXPECT_EQ(r.mainValue, c.mainValue);
    EXPECT_EQ(r.mainUnit, c.mainUnit);
    ASSERT_TRUE(r.tableRow);
    EXPECT_EQ(r.tableRow->additional, c.slots);
    EXPECT_EQ(r.tableRow->columns[3], c.mainValue);
}

INSTANTIATE_TEST_SUITE_P(
    Response, MainAndAdditionalValues,
    ::testing::Values(
        ChoiceCase{"water: first m3 record is the main value", test::kWater, "04 13 15 CD 5B 07 02 5B 14 00", 2,
                   "123456.789", "m3", {"20.000 deg. C", ""}},
        ChoiceCase{"no preferred unit: record 1 becomes additional 1", test::kOther, "04 13 E8 03 00 00 02 5B 14 00", 2,
                   "", "", {"1.000 m3", "20.000 deg. C"}},
        ChoiceCase{"heat: MJ before kWh wins (record order, not unit order)", test::kHeat,
                   "04 0E 05 00 00 00 04 06 07 00 00 00", 1, "5.000", "MJ", {"7.000 kWh"}},
        ChoiceCase{"Count 3 with two accepted units besides the main", test::kWater,
                   "04 13 01 00 00 00 02 5B 14 00 02 FD 17 00 00 02 5F 0A 00", 3, "0.001", "m3",
                   {"20.000 deg. C", "10.000 deg. C", ""}},
        ChoiceCase{"an additional value is cut to 15 characters", test::kWater,
                   "04 13 01 00 00 00 04 5B 4E 61 BC 00", 1, "0.001", "m3", {"12345678.000 de"}},
        ChoiceCase{"Count 0 fills nothing", test::kWater, "04 13 01 00 00 00 02 5B 14 00", 0, "0.001", "m3", {}},
        ChoiceCase{"a later main row is skipped by the slot search", test::kWater,
                   "02 5B 14 00 04 13 01 00 00 00 02 5F 0A 00", 2, "0.001", "m3", {"20.000 deg. C", "10.000 deg. C"}}),
    [](const auto& p) { return "choice" + std::to_string(p.index); });

TEST(DecodeMeterResponse, BmtWaterMeterWithAVolumeRecordIsModelMb1Mb2) {
    const auto withVolume = DecodeMeterResponse(Response(Header(kBmt, test::kWater), "04 13 01 00 00 00"), Settings());
    ASSERT_TRUE(withVolume.valid);
    EXPECT_EQ(withVolume.header->manufacturer, "BMT");
    EXPECT_EQ(withVolume.tableRow->columns[10], "MB1/MB2");
    const auto withoutVolume = DecodeMeterResponse(Response(Header(kBmt, test::kWater), "02 5B 14 00"), Settings());
    EXPECT_EQ(withoutVolume.tableRow->columns[10], "Unknown");
}

TEST(DecodeMeterResponse, BatteryColumnRule) {
    // The maker's device with a battery block whose voltage bytes are both 51 or less: "0", cell kept.
    const std::string kxrHeader = "21 43 65 87 12 2F 12 07 05 8C 00 00";
    const auto kept = DecodeMeterResponse(Response(kxrHeader, "04 13 00 00 00 00 0F 01 02 03 10 10 00"), Settings());
    ASSERT_TRUE(kept.valid);
    EXPECT_EQ(kept.header->battery, "0");
    EXPECT_FALSE(kept.tableRow->battery.has_value());
    const auto read = DecodeMeterResponse(Response(kxrHeader, "04 13 00 00 00 00 0F 01 02 03 B4 00 00"), Settings());
    ASSERT_TRUE(read.tableRow->battery);
    EXPECT_EQ(*read.tableRow->battery, "3.53V");
    EXPECT_EQ(read.tableRow->columns[9], "50ms");
    // Another manufacturer: battery not decoded, the cell (an AES key, maybe) is left as it was.
    const auto other = DecodeMeterResponse(Response(Header(test::kKan, test::kWater), "04 13 00 00 00 00"), Settings());
    ASSERT_TRUE(other.tableRow);
    EXPECT_FALSE(other.tableRow->battery.has_value());
    (void)kKxr;
}

// ZPA frame: DIF at 19, VIF at 21, data 23..26; DIF at 29, VIF at 31, data 33..36.
std::string ZpaRecords(const char* firstDif, const char* firstData, const char* secondData) {
    return std::string(firstDif) + " 00 03 00 " + firstData + " 00 00 04 00 03 00 " + secondData;
}

TEST(DecodeMeterResponse, ZpaRegistersAreSummed) {
    const auto r = DecodeMeterResponse(Response(Header(kZpa, test::kOther), ZpaRecords("04", "DC 05 00 00", "F4 01 00 00")),
                                       Settings(2));
    ASSERT_TRUE(r.valid);
    EXPECT_EQ(r.header->manufacturer, "ZPA");
    EXPECT_EQ(r.mainValue, "2.000");
    EXPECT_EQ(r.mainUnit, "kWh");
    EXPECT_EQ(r.tableRow->additional, (std::vector<std::string>{"1.500", "0.500"}));
    EXPECT_TRUE(r.records.empty());
}

TEST(DecodeMeterResponse, ZpaTwelveDigitRegistersKeepEveryDigit) {
    struct Case {
        const char* what;
        const char* records;  // DIF at 19, VIF at 21, data from 23; the second DIF at 29, data from 33
        const char* main;
        std::vector<std::string> additional;
    } cases[] = {
        {"nine digits before the point", "0E 00 03 00 21 43 65 87 09 00 04 00 03 00 F4 01 00 00", "987654.821",
         {"987654.321", "0.500"}},
        {"twelve nines", "0E 00 03 00 99 99 99 99 99 99 04 00 03 00 F4 01 00 00", "1000000000.499",
         {"999999999.999", "0.500"}},
    };
    for (const Case& c : cases) {
        const auto r = DecodeMeterResponse(Response(Header(kZpa, test::kOther), c.records), Settings(2));
        ASSERT_TRUE(r.valid) << c.what;
        EXPECT_EQ(r.mainValue, c.main) << c.what;
        EXPECT_EQ(r.tableRow->additional, c.additional) << c.what;
    }
}

TEST(DecodeMeterResponse, ZpaWithAnUnknownCodeIsRejected) {
    const auto r = DecodeMeterResponse(Response(Header(kZpa, test::kOther), ZpaRecords("0D", "DC 05 00 00", "F4 01 00 00")),
                                       Settings(2));
    EXPECT_FALSE(r.valid);
    ASSERT_GE(r.log.size(), 3u);
    EXPECT_EQ(r.log[r.log.size() - 2], "Unrecognizable DIF value - not decoded, 1...");
    EXPECT_EQ(r.log.back(), "Unknown exception decoding ZPA meter...");
    EXPECT_FALSE(r.tableRow);
}

TEST(DecodeMeterResponse, ZpaFullReadWalksTheRecords) {
    DecodeSettings s = Settings();
    s.fullRead = true;
    const auto r = DecodeMeterResponse(Response(Header(kZpa, test::kOther), ZpaRecords("04", "DC 05 00 00", "F4 01 00 00")), s);
    ASSERT_TRUE(r.valid);
    EXPECT_FALSE(r.records.empty());
    EXPECT_FALSE(r.tableRow);
}

// Apator: manufacturer bytes 01 06, the manufacturer-specific DIF at byte 19.
Telegram ApatorFrame(std::size_t length, const char* dif, const char* volume) {
    std::string records = std::string(dif) + " 00 00 00 00 00 00 00 00 00 00 00 " + volume;
    const std::size_t recordBytes = length - 3 - 12;  // L counts C, A, CI, the header and the records
    std::size_t have = 16;
    while (have < recordBytes) {
        records += " 00";
        ++have;
    }
    return Response(Header("01 06", test::kWater), records);
}

TEST(DecodeMeterResponse, ApatorVolumeFromTheManufacturerBlock) {
    DecodeSettings s = Settings();
    s.decodeApator = true;
    const Telegram frame = ApatorFrame(0x2E, "0F", "39 30 00 00");
    ASSERT_EQ(frame[1], 0x2E);
    const auto r = DecodeMeterResponse(frame, s);
    ASSERT_TRUE(r.valid);
    ASSERT_EQ(r.records.size(), 2u);
    EXPECT_EQ(r.records[1].number, "2");
    EXPECT_EQ(r.records[1].value, "12.345");
    EXPECT_EQ(r.records[1].unit, "m3");
    EXPECT_EQ(r.records[1].description, "Apator");
    EXPECT_FALSE(r.recordListHasTrailingEmptyRow);
    EXPECT_EQ(r.mainValue, "12.345");  // the water meter's first m3 record
    EXPECT_EQ(r.report.rows.size(), 1u);  // the Apator row is not in the report

    s.decodeApator = false;
    const auto off = DecodeMeterResponse(frame, s);
    EXPECT_EQ(off.records.size(), 1u);

    s.decodeApator = true;
    const auto noPosition = DecodeMeterResponse(ApatorFrame(0x40, "1F", "39 30 00 00"), s);
    ASSERT_TRUE(noPosition.valid);
    EXPECT_EQ(noPosition.records.size(), 1u);
    EXPECT_FALSE(noPosition.moreRecordsPending);
}

TEST(DecodeMeterResponse, FullReadFillsTheReportAndLeavesTheTable) {
    DecodeSettings s = Settings();
    s.fullRead = true;
    const auto r = DecodeMeterResponse(Response(Header(test::kKan, test::kWater), "04 13 15 CD 5B 07"), s);
    ASSERT_TRUE(r.valid);
    EXPECT_TRUE(r.showReport);
    EXPECT_FALSE(r.tableRow);
    EXPECT_EQ(r.report.log, (std::vector<std::string>{
                                "ID:12345678, Mfr: KAN, Main medium: Water",
                                "Access counter: 5, Status: 00, Model: Unknown",
                                "DIF,DIFE=04 ; VIF, VIFE=13 ; Instantenous value , 123456.789 m3, ",
                                "Decoded at 10:20:30, 08.12.2026",
                                "",
                            }));
    ASSERT_EQ(r.report.rows.size(), 4u);
    EXPECT_EQ(r.report.rows[0], (ReportGridRow{"ID:12345678", "Mfr:KAN", "Main medium: Water",
                                               "Access Counter: 5, Status: 00, Model: Unknown", ""}));
    EXPECT_EQ(r.report.rows[1], (ReportGridRow{"Instantenous value ", "123456.789", "m3", "", ""}));
    EXPECT_EQ(r.report.rows[2][0], "Decoded at 10:20:30, 08.12.2026");
    EXPECT_EQ(r.report.rows[3], ReportGridRow{});
}

TEST(DecodeMeterResponse, DecimalSeparatorReachesEveryValue) {
    DecodeSettings s = Settings(1);
    s.decimalSeparator = ',';
    const auto r = DecodeMeterResponse(Response(Header(test::kKan, test::kWater), "04 13 15 CD 5B 07 02 5B 14 00"), s);
    EXPECT_EQ(r.mainValue, "123456,789");
    EXPECT_EQ(r.tableRow->additional, (std::vector<std::string>{"20,000 deg. C"}));
}

TEST(DecodeMeterResponse, MoreRecordsPendingFromDif1F) {
    const auto r = DecodeMeterResponse(Response(Header(test::kKan, test::kWater), "04 13 01 00 00 00 1F"), Settings());
    EXPECT_TRUE(r.moreRecordsPending);
}

TEST(DecodeValueList, ValuesOfEveryRowWithTheTrailingEmptyRow) {
    const auto list = DecodeValueList(Response(Header(test::kKan, test::kWater), "04 13 15 CD 5B 07 02 5B 14 00"), Settings());
    ASSERT_TRUE(list.valid);
    EXPECT_EQ(list.values, (std::vector<std::string>{"123456.789", "20.000", ""}));
    const auto broken = DecodeValueList(Bytes("68 0F 0F 68 08 05 72 78 56 34 12 2E 2C 01 07 03 00 00 00 00 16"), Settings());
    EXPECT_FALSE(broken.valid);
    EXPECT_EQ(broken.log, (std::vector<std::string>{"Wrong CRC"}));
}

} // namespace
} // namespace veltro
