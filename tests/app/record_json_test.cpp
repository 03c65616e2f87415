#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "app/record_json.h"
#include "decode/records.h"
#include "test_util.h"

namespace veltro {
namespace {

struct TypedCase {
    const char* what;
    const char* records;  // the first record is the one looked at
    const char* typed;    // WriteTypedRecord's keys inside an object
};
void PrintTo(const TypedCase& c, std::ostream* os) { *os << c.what; }

class TypedRecords : public ::testing::TestWithParam<TypedCase> {};

TEST_P(TypedRecords, DecodeAndWriteAsTheTypedJson) {
    const auto& c = GetParam();
    const RecordWalk walk =
        DecodeRecords(test::Response(test::Header(test::kKan, test::kHeat), c.records), RecordWalkSettings{});
    ASSERT_FALSE(walk.records.empty());
    JsonWriter json;
    json.beginObject();
    WriteTypedRecord(json, walk.records[0]);
    json.endObject();
    EXPECT_EQ(json.text(), c.typed);
}

INSTANTIATE_TEST_SUITE_P(
    Decoder, TypedRecords,
    ::testing::Values(
        // Numbers: divided once by the exact power of ten, so they read back as the shown text.
        TypedCase{"volume 456789 x 10^-3 is the double nearest 456.789", "04 13 55 F8 06 00",
                  R"({"kind": "number", "value": 456.789, "unit": "m3", "storage": 0, "tariff": 0, "subunit": 0, "function": "instantaneous"})"},
        TypedCase{"negative BCD: F in the top nibble", "0A 61 50 F0",
                  R"({"kind": "number", "value": -0.5, "unit": "K", "storage": 0, "tariff": 0, "subunit": 0, "function": "instantaneous"})"},
        TypedCase{"6-byte BCD past 2^31", "0E 13 48 36 48 47 21 00",
                  R"({"kind": "number", "value": 2147483.648, "unit": "m3", "storage": 0, "tariff": 0, "subunit": 0, "function": "instantaneous"})"},
        TypedCase{"real 1.5 in 10^3 l/h", "05 3E 00 00 C0 3F",
                  R"({"kind": "number", "value": 1500, "unit": "l/h", "storage": 0, "tariff": 0, "subunit": 0, "function": "instantaneous"})"},
        TypedCase{"volts take the exponent their unit text names", "02 FD 48 FD 08",
                  R"({"kind": "number", "value": 230.1, "unit": "V", "storage": 0, "tariff": 0, "subunit": 0, "function": "instantaneous"})"},
        TypedCase{"amperes past 55h as EN 13757-3 has them", "02 FD 59 36 15",
                  R"({"kind": "number", "value": 5.43, "unit": "A", "storage": 0, "tariff": 0, "subunit": 0, "function": "instantaneous"})"},
        TypedCase{"error flags: a number without a unit", "01 FD 17 05",
                  R"({"kind": "number", "value": 5, "unit": "", "storage": 0, "tariff": 0, "subunit": 0, "function": "instantaneous"})"},
        TypedCase{"operating time in days", "02 27 0A 00",
                  R"({"kind": "number", "value": 10, "unit": "d", "storage": 0, "tariff": 0, "subunit": 0, "function": "instantaneous"})"},
        // The DIF/DIFE chain: storage 1 | 5 << 1 | 3 << 5, tariff 2 | 1 << 2, subunit 1 | 1 << 1, maximum.
        TypedCase{"storage, tariff and subunit over two DIFEs", "D4 E5 53 06 01 00 00 00",
                  R"({"kind": "number", "value": 1, "unit": "kWh", "storage": 107, "tariff": 6, "subunit": 3, "function": "maximum"})"},
        TypedCase{"value during error state", "32 13 01 00",
                  R"({"kind": "number", "value": 0.001, "unit": "m3", "storage": 0, "tariff": 0, "subunit": 0, "function": "error"})"},
        // Dates.
        TypedCase{"type G 31.12.24 in storage 1", "42 6C 1F 3C",
                  R"({"kind": "date", "value": "2024-12-31", "unit": "", "storage": 1, "tariff": 0, "subunit": 0, "function": "instantaneous"})"},
        TypedCase{"type F 10:30, 14.3.25", "04 6D 1E 0A 2E 33",
                  R"({"kind": "datetime", "value": "2025-03-14T10:30", "unit": "", "storage": 0, "tariff": 0, "subunit": 0, "function": "instantaneous"})"},
        TypedCase{"type G month 13 is no date", "02 6C 01 0D",
                  R"({"kind": "none", "value": null, "unit": "", "storage": 0, "tariff": 0, "subunit": 0, "function": "instantaneous"})"},
        TypedCase{"type G day 0 is no date", "02 6C 00 01",
                  R"({"kind": "none", "value": null, "unit": "", "storage": 0, "tariff": 0, "subunit": 0, "function": "instantaneous"})"},
        TypedCase{"type F month 0 is no date", "04 6D 1E 0A 01 00",
                  R"({"kind": "none", "value": null, "unit": "", "storage": 0, "tariff": 0, "subunit": 0, "function": "instantaneous"})"},
        // Texts: the digits or characters as shown, a hex rendering without its "0x".
        TypedCase{"fabrication number", "0C 78 78 56 34 12",
                  R"({"kind": "text", "value": "12345678", "unit": "", "storage": 0, "tariff": 0, "subunit": 0, "function": "instantaneous"})"},
        TypedCase{"variable-length characters", "0D FD 0C 03 41 42 43",
                  R"({"kind": "text", "value": "ABC", "unit": "", "storage": 0, "tariff": 0, "subunit": 0, "function": "instantaneous"})"},
        TypedCase{"variable-length hex", "0D FD 0C E2 12 34",
                  R"({"kind": "text", "value": "1234", "unit": "", "storage": 0, "tariff": 0, "subunit": 0, "function": "instantaneous"})"},
        // Nothing to read.
        TypedCase{"real NaN", "05 13 00 00 C0 7F",
                  R"({"kind": "none", "value": null, "unit": "m3", "storage": 0, "tariff": 0, "subunit": 0, "function": "instantaneous"})"},
        TypedCase{"no data", "00 13 01 13 05",
                  R"({"kind": "none", "value": null, "unit": "m3", "storage": 0, "tariff": 0, "subunit": 0, "function": "instantaneous"})"},
        TypedCase{"BCD with a digit above 9", "0A 13 A1 00",
                  R"({"kind": "none", "value": null, "unit": "m3", "storage": 0, "tariff": 0, "subunit": 0, "function": "instantaneous"})"},
        TypedCase{"manufacturer-specific block", "0F 01 02 03",
                  R"({"kind": "none", "value": null, "unit": "", "storage": 0, "tariff": 0, "subunit": 0, "function": "instantaneous"})"}));

TEST(JsonNumbers, ShortestTextThatReadsBackAndNullForWhatJsonCannotHold) {
    const struct {
        double number;
        const char* text;
    } cases[] = {
        {456.789, "456.789"},
        {1500.0, "1500"},
        {-0.5, "-0.5"},
        {1e-7, "1e-07"},
        {0.1 + 0.2, "0.30000000000000004"},
        {std::numeric_limits<double>::quiet_NaN(), "null"},
        {-std::numeric_limits<double>::infinity(), "null"},
    };
    for (const auto& c : cases) {
        JsonWriter json;
        json.beginArray().value(c.number).value(2199023255551LL).endArray();
        EXPECT_EQ(json.text(), std::string("[") + c.text + ", 2199023255551]");
        if (!std::isfinite(c.number)) continue;
        double back = 0;
        std::from_chars(c.text, c.text + std::strlen(c.text), back);
        EXPECT_EQ(back, c.number) << c.text;
    }
}

} // namespace
} // namespace veltro
