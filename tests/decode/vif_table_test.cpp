#include <gtest/gtest.h>

#include <cmath>

#include "decode/vif_table.h"
#include "test_util.h"

namespace veltro {
namespace {

using test::Bytes;

struct VifCase {
    const char* what;
    const char* bytes;  // VIF first, then whatever follows it in the record
    const char* unit;
    double multiplier;
    const char* description;
};
void PrintTo(const VifCase& c, std::ostream* os) { *os << c.what; }


class PrimaryAndExtensionTables : public ::testing::TestWithParam<VifCase> {};

TEST_P(PrimaryAndExtensionTables, GiveUnitMultiplierAndDescription) {
    const auto& c = GetParam();
    const Telegram bytes = Bytes(c.bytes);
    const VifInfo info = LookupVif(bytes, 0, bytes[0]);
    EXPECT_FALSE(info.error) << c.what << ": " << info.error.value_or("");
    EXPECT_EQ(info.unit, c.unit) << c.what;
    EXPECT_DOUBLE_EQ(info.multiplier, c.multiplier) << c.what;
    EXPECT_EQ(info.description, c.description) << c.what;
    EXPECT_DOUBLE_EQ(std::pow(10.0, info.exponent), info.multiplier) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Primary, PrimaryAndExtensionTables,
    ::testing::Values(
        VifCase{"00h energy 1 mWh", "00", "kWh", 1e-6, ""},
        VifCase{"03h energy 1 Wh", "03", "kWh", 1e-3, ""},
        VifCase{"07h energy 10 kWh", "07", "kWh", 10, ""},
        VifCase{"08h energy 1 J", "08", "kJ", 1e-3, ""},
        VifCase{"0Dh energy 100 kJ", "0D", "kJ", 100, ""},
        VifCase{"0Eh energy 1 MJ", "0E", "MJ", 1, ""},
        VifCase{"0Fh energy 10 MJ", "0F", "MJ", 10, ""},
        VifCase{"10h volume 1 cm3", "10", "m3", 1e-6, ""},
        VifCase{"13h volume 1 l", "13", "m3", 1e-3, ""},
        VifCase{"93h is 13h with the extension bit", "93 00", "m3", 1e-3, ""},
        VifCase{"17h volume 10 m3", "17", "m3", 10, ""},
        VifCase{"18h mass is not supported", "18", "Not supported", 1, ""},
        VifCase{"1Fh mass is not supported", "1F", "Not supported", 1, ""},
        VifCase{"20h on time seconds", "20", "On Time", 1, "seconds"},
        VifCase{"21h on time minutes", "21", "On Time", 1, "minutes"},
        VifCase{"22h on time hours", "22", "On Time", 1, "hours"},
        VifCase{"23h on time days", "23", "On Time", 1, "days"},
        VifCase{"24h operating time seconds", "24", "Operating Time", 1, "seconds"},
        VifCase{"27h operating time days", "27", "Operating Time", 1, "days"},
        VifCase{"28h power 1 mW", "28", "W", 1e-3, ""},
        VifCase{"2Dh power 100 W", "2D", "W", 100, ""},
        VifCase{"2Eh power 1 kW", "2E", "kW", 1, ""},
        VifCase{"2Fh power 10 kW", "2F", "kW", 10, ""},
        VifCase{"30h power 1 J/h", "30", "J/h", 1, ""},
        VifCase{"36h power 1 MJ/h", "36", "J/h", 1e6, ""},
        VifCase{"37h is not supported between 36h and 38h", "37", "Not supported", 1, ""},
        VifCase{"38h flow 1 ml/h", "38", "l/h", 1e-3, "Debit"},
        VifCase{"3Fh flow 10 m3/h", "3F", "l/h", 1e4, "Debit"},
        VifCase{"40h volume flow per minute is not supported", "40", "Not supported", 1, ""},
        VifCase{"57h is not supported", "57", "Not supported", 1, ""},
        VifCase{"58h flow temperature 1e-3", "58", "deg. C", 1e-3, "Flow Temp."},
        VifCase{"5Bh flow temperature 1", "5B", "deg. C", 1, "Flow Temp."},
        VifCase{"5Ch return temperature 1e-3", "5C", "deg. C", 1e-3, "Return Temp."},
        VifCase{"5Fh return temperature 1", "5F", "deg. C", 1, "Return Temp."},
        VifCase{"60h temperature difference 1e-3", "60", "deg. K", 1e-3, "TDiff"},
        VifCase{"63h temperature difference 1", "63", "deg. K", 1, "TDiff"},
        VifCase{"64h external temperature 1e-3", "64", "deg. C", 1e-3, "External Temperature"},
        VifCase{"67h external temperature 1", "67", "deg. C", 1, "External Temperature"},
        VifCase{"68h pressure 1 mbar", "68", "mbar", 1, ""},
        VifCase{"6Ah pressure 100 mbar", "6A", "mbar", 100, ""},
        VifCase{"6Bh is not supported", "6B", "Not supported", 1, ""},
        VifCase{"6Ch date", "6C", "Time point", 1, "Date (dd.mm.yyyy)"},
        VifCase{"ECh date with extension", "EC 00", "Time point", 1, "Date (dd.mm.yyyy)"},
        VifCase{"6Dh date and time", "6D", "Time point", 1, "Date and time (hh:mm, dd.mm.yyyy)"},
        VifCase{"6Eh units for H.C.A.", "6E", "N/A", 1, ""},
        VifCase{"6Fh is not supported", "6F", "Not supported", 1, ""},
        VifCase{"70h averaging duration", "70", "Average duration", 1, ""},
        VifCase{"71h..73h are not supported", "73", "Not supported", 1, ""},
        VifCase{"74h actuality duration", "74", "Actuality Duration", 1, ""},
        VifCase{"77h is not supported", "77", "Not supported", 1, ""},
        VifCase{"78h fabrication number", "78", "Fabr. No.", 1, ""},
        VifCase{"F8h is not 78h: only 00h-6Fh are mapped", "F8 00", "Not supported", 1, ""},
        VifCase{"79h enhanced identification is not supported", "79", "Not supported", 1, ""},
        VifCase{"7Bh is not supported", "7B", "Not supported", 1, ""},
        VifCase{"7Dh is not supported", "7D", "Not supported", 1, ""},
        VifCase{"F0h is not supported", "F0 00", "Not supported", 1, ""},
        VifCase{"FAh is not supported", "FA 00", "Not supported", 1, ""},
        VifCase{"7Eh any VIF", "7E", "Readout - not supported for now", 1, ""},
        VifCase{"FEh any VIF", "FE 00", "Readout - not supported for now", 1, ""},
        VifCase{"7Fh manufacturer specific", "7F", "Manufacturer specific", 1, ""},
        VifCase{"FFh manufacturer specific", "FF 00", "Manufacturer specific", 1, ""}),
    [](const auto& p) { return "vif" + std::to_string(p.index); });

INSTANTIATE_TEST_SUITE_P(
    FirstExtension, PrimaryAndExtensionTables,
    ::testing::Values(
        VifCase{"FB 00 energy 0.1 MWh", "FB 00", "kWh", 100, ""},
        VifCase{"FB 01 energy 1 MWh", "FB 01", "kWh", 1000, ""},
        VifCase{"FB 02 reserved", "FB 02", "Reserved", 1, ""},
        VifCase{"FB 07 reserved", "FB 07", "Reserved", 1, ""},
        VifCase{"FB 08 energy 0.1 GJ", "FB 08", "GJ", 0.1, ""},
        VifCase{"FB 09 energy 1 GJ", "FB 09", "GJ", 1, ""},
        VifCase{"FB 0A reserved", "FB 0A", "Reserved", 1, ""},
        VifCase{"FB 0F reserved", "FB 0F", "Reserved", 1, ""},
        VifCase{"FB 10 volume 100 m3", "FB 10", "m3", 100, ""},
        VifCase{"FB 11 volume 1000 m3", "FB 11", "m3", 1000, ""},
        VifCase{"FB 12 not in the table", "FB 12", "VIF not supported", 1, ""},
        VifCase{"FB 27 not in the table", "FB 27", "VIF not supported", 1, ""},
        VifCase{"FB 28 power 0.1 MW", "FB 28", "kW", 100, ""},
        VifCase{"FB 29 power 1 MW", "FB 29", "kW", 1000, ""},
        VifCase{"FB 2A reserved", "FB 2A", "Reserved", 1, ""},
        VifCase{"FB 2F reserved", "FB 2F", "Reserved", 1, ""},
        VifCase{"FB 30 not in the table", "FB 30", "VIF not supported", 1, ""},
        VifCase{"FB 57 not in the table", "FB 57", "VIF not supported", 1, ""},
        VifCase{"FB 58 flow temperature F 1e-3", "FB 58", "Flow Temperature, deg. F", 1e-3, ""},
        VifCase{"FB 59 flow temperature F 1e-2", "FB 59", "Flow Temperature, deg. F", 1e-2, ""},
        VifCase{"FB D9 is 59h: bit 7 ignored", "FB D9 00", "Flow Temperature, deg. F", 1e-2, ""},
        VifCase{"FB 5A flow temperature F 0.1", "FB 5A", "Flow Temperature, deg. F", 0.1, ""},
        VifCase{"FB 5B flow temperature F 1", "FB 5B", "Flow Temperature, F", 1, ""},
        VifCase{"FB 5C return temperature F 1e-3", "FB 5C", "Return Temperature, deg. F", 1e-3, ""},
        VifCase{"FB 5F return temperature F 1", "FB 5F", "Return Temperature, deg. F", 1, ""},
        VifCase{"FB 60 temperature difference F 1e-3", "FB 60", "Temp. difference, deg. F", 1e-3, ""},
        VifCase{"FB 62 temperature difference F 0.1", "FB 62", "Temp. difference, deg. F", 0.1, ""},
        VifCase{"FB 63 temperature difference F 1", "FB 63", "Temp. difference, F", 1, ""},
        VifCase{"FB 64 external temperature F 1e-3", "FB 64", "External temperature, deg. F", 1e-3, ""},
        VifCase{"FB 67 external temperature F 1", "FB 67", "External temperature, deg. F", 1, ""},
        VifCase{"FB 68 reserved", "FB 68", "Reserved", 1, ""},
        VifCase{"FB 6F reserved", "FB 6F", "Reserved", 1, ""},
        VifCase{"FB 70 not in the table", "FB 70", "VIF not supported", 1, ""},
        VifCase{"FB 7F not in the table", "FB 7F", "VIF not supported", 1, ""}),
    [](const auto& p) { return "fb" + std::to_string(p.index); });

INSTANTIATE_TEST_SUITE_P(
    SecondExtension, PrimaryAndExtensionTables,
    ::testing::Values(
        VifCase{"FD 00 credit", "FD 00", "Credit in currency units", 1, ""},
        VifCase{"FD 03 credit", "FD 03", "Credit in currency units", 1, ""},
        VifCase{"FD 04 debit", "FD 04", "Debit in currency units", 1, ""},
        VifCase{"FD 07 debit", "FD 07", "Debit in currency units", 1, ""},
        VifCase{"FD 08 access number", "FD 08", "Access Number", 1, ""},
        VifCase{"FD 09 medium", "FD 09", "Medium", 1, ""},
        VifCase{"FD 0A manufacturer", "FD 0A", "Manufacturer", 1, ""},
        VifCase{"FD 0B enhanced identification", "FD 0B", "Enhanced identification", 1, ""},
        VifCase{"FD 0C model/version", "FD 0C", "Model/Version", 1, ""},
        VifCase{"FD 0D hardware version", "FD 0D", "Hardware version No.", 1, ""},
        VifCase{"FD 0E firmware version", "FD 0E", "Firmware version No.", 1, ""},
        VifCase{"FD 0F software version", "FD 0F", "Software version No.", 1, ""},
        VifCase{"FD 10 customer location", "FD 10", "Customer location", 1, ""},
        VifCase{"FD 11 customer", "FD 11", "Customer", 1, ""},
        VifCase{"FD 12 access code user", "FD 12", "Access code user", 1, ""},
        VifCase{"FD 13 access code operator", "FD 13", "Access code operator", 1, ""},
        VifCase{"FD 14 not in the table", "FD 14", "VIF not supported", 1, ""},
        VifCase{"FD 15 not in the table", "FD 15", "VIF not supported", 1, ""},
        VifCase{"FD 16 password", "FD 16", "Password", 1, ""},
        VifCase{"FD 17 error flags", "FD 17", "Error flags", 1, ""},
        VifCase{"FD 18 error mask", "FD 18", "Error mask", 1, ""},
        VifCase{"FD 19 reserved", "FD 19", "Reserved", 1, ""},
        VifCase{"FD 1A digital output", "FD 1A", "Digitial Output (binary)", 1, ""},
        VifCase{"FD 1B digital input", "FD 1B", "Digitial Input (binary)", 1, ""},
        VifCase{"FD 1C baud rate", "FD 1C", "Baudrate", 1, ""},
        VifCase{"FD 1D response delay", "FD 1D", "Response Delay time", 1, ""},
        VifCase{"FD 1E retry", "FD 1E", "Retry", 1, ""},
        VifCase{"FD 1F reserved", "FD 1F", "Reserved", 1, ""},
        VifCase{"FD 20 not in the table", "FD 20", "VIF not supported", 1, ""},
        VifCase{"FD 39 not in the table", "FD 39", "VIF not supported", 1, ""},
        VifCase{"FD 3A dimensionless", "FD 3A", "Dimensionless", 1, ""},
        VifCase{"FD 3B not in the table", "FD 3B", "VIF not supported", 1, ""},
        VifCase{"FD 40 volts 10^-9", "FD 40", "Volts, 10^-9", 1, ""},
        VifCase{"FD 46 volts 10^-3", "FD 46", "Volts, 10^-3", 1, ""},
        VifCase{"FD 49 volts 10^0", "FD 49", "Volts, 10^0", 1, ""},
        VifCase{"FD C9 is 49h: bit 7 ignored", "FD C9 00", "Volts, 10^0", 1, ""},
        VifCase{"FD 4F volts 10^6", "FD 4F", "Volts, 10^6", 1, ""},
        VifCase{"FD 50 amperes 10^-12", "FD 50", "Ampers, 10^-12", 1, ""},
        VifCase{"FD 55 amperes 10^-7", "FD 55", "Ampers, 10^-7", 1, ""},
        VifCase{"FD 56 not in the table", "FD 56", "VIF not supported", 1, ""},
        VifCase{"FD 7F not in the table", "FD 7F", "VIF not supported", 1, ""}),
    [](const auto& p) { return "fd" + std::to_string(p.index); });

TEST(PlainTextVif, UnitFromTheCharactersInTheOrderReceived) {
    const Telegram record = Bytes("7C 03 6B 57 68 12 34");
    const VifInfo info = LookupVif(record, 0, 0x7C);
    EXPECT_EQ(info.unit, "kWh");
    EXPECT_EQ(info.description, "text");
    EXPECT_TRUE(info.plainText());
    EXPECT_EQ(info.plainTextLength, 3u);
    EXPECT_DOUBLE_EQ(info.multiplier, 1);
}

TEST(PlainTextVif, LengthZeroKeepsTheStartingValues) {
    const Telegram record = Bytes("7C 00 12 34");
    const VifInfo info = LookupVif(record, 0, 0x7C);
    EXPECT_EQ(info.unit, "Not supported");
    EXPECT_EQ(info.description, "");
    EXPECT_FALSE(info.plainText());
    EXPECT_EQ(info.plainTextLength, 0u);
}

TEST(PlainTextVif, UserStringSkipsOneByteAfterItsLength) {
    // FC, then the length 02h, one uninterpreted byte, then the characters "AB".
    const Telegram record = Bytes("FC 02 00 41 42");
    const VifInfo info = LookupVif(record, 0, 0xFC);
    EXPECT_EQ(info.unit, "VIF is user ASCII string: AB");
    EXPECT_EQ(info.description, "text");
    EXPECT_EQ(info.plainTextLength, 2u);
}

TEST(PlainTextVif, LengthPastTheRegionIsAnErrorNotAReadPastTheEnd) {
    struct Case {
        const char* what;
        const char* bytes;
    } cases[] = {
        {"length 5 with 2 characters left", "7C 05 41 42"},
        {"no length byte at all", "7C"},
        {"user string cut before its characters", "FC 03 00 41"},
        {"user string cut before the skipped byte", "FC 01"},
    };
    for (const auto& c : cases) {
        const Telegram bytes = Bytes(c.bytes);
        const VifInfo info = LookupVif(bytes, 0, bytes[0]);
        EXPECT_TRUE(info.error.has_value()) << c.what;
        EXPECT_EQ(info.unit, "Not supported") << c.what;
        EXPECT_FALSE(info.plainText()) << c.what;
    }
}

TEST(ExtensionVifs, MissingFirstVifeIsAnError) {
    for (std::uint8_t vif : {std::uint8_t{0xFB}, std::uint8_t{0xFD}}) {
        const Telegram bytes{vif};
        const VifInfo info = LookupVif(bytes, 0, vif);
        EXPECT_TRUE(info.error.has_value()) << int(vif);
    }
}

TEST(LookupVif, ReadsTheVifeAfterTheGivenPositionNotTheStartOfTheRegion) {
    const Telegram frame = Bytes("04 FB 09 00 00 00 00");
    EXPECT_EQ(LookupVif(frame, 1, frame[1]).unit, "GJ");
}

TEST(LookupVif, EveryExtendedVifBelowF0hMatchesItsPlainForm) {
    for (int vif = 0x80; vif <= 0xEF; ++vif) {
        const Telegram bytes{static_cast<std::uint8_t>(vif), 0x00};
        const VifInfo extended = LookupVif(bytes, 0, static_cast<std::uint8_t>(vif));
        const VifInfo plain = LookupVif(static_cast<std::uint8_t>(vif & 0x7F));
        EXPECT_EQ(extended.unit, plain.unit) << vif;
        EXPECT_EQ(extended.description, plain.description) << vif;
        EXPECT_EQ(extended.exponent, plain.exponent) << vif;
    }
}

} // namespace
} // namespace veltro
