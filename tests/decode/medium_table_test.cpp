#include <gtest/gtest.h>

#include "decode/medium_table.h"

namespace veltro {
namespace {

TEST(HeaderMedium, EveryCodeOfTheTableAndTheUnknownRest) {
    struct Case {
        int code;
        const char* text;
    } cases[] = {
        {0x00, "Other"},      {0x01, "Oil"},         {0x02, "Electricity"},   {0x03, "Gas"},
        {0x04, "Heat (rt)"},  {0x05, "Steam"},       {0x06, "Hot water"},     {0x07, "Water"},
        {0x08, "Heat C.A."},  {0x09, "Compr. Air"},  {0x0A, "Cooling, rt"},   {0x0B, "Cooling, ft"},
        {0x0C, "Heat (ft)"},  {0x0D, "H/C load meter"}, {0x0E, "Bus/System"}, {0x0F, "Unknown"},
        {0x10, "Unknown"},    {0x15, "Unknown"},     {0x16, "Cold water"},    {0x17, "Dual water"},
        {0x18, "Pressure"},   {0x19, "A/D converter"}, {0x1A, "Unknown"},     {0xFF, "Unknown"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HeaderMediumOf(static_cast<std::uint8_t>(c.code)).text, c.text) << c.code;
        EXPECT_EQ(MediumByNumber(c.code), c.text) << c.code;
    }
    EXPECT_EQ(MediumByNumber(-1), "Unknown");
    EXPECT_EQ(MediumByNumber(256 + 7), "Unknown");
}

TEST(HeaderMedium, PreferredUnitsByMediumGroup) {
    const PreferredUnits energy{"kWh", "MJ", "kJ"};
    const PreferredUnits volume{"m3", "m3", "m3"};
    const PreferredUnits pressure{"mbar", "mbar", "mbar"};
    const PreferredUnits other{"N/A", "Unknown", "Other"};
    struct Case {
        int code;
        PreferredUnits units;
    } cases[] = {
        {0x04, energy}, {0x0C, energy}, {0x0D, energy}, {0x0A, energy}, {0x0B, energy}, {0x02, energy},
        {0x06, volume}, {0x07, volume}, {0x16, volume}, {0x17, volume}, {0x03, volume}, {0x01, volume},
        {0x18, pressure},
        {0x00, other},  {0x05, other},  {0x08, other},  {0x09, other},  {0x0E, other},  {0x0F, other},
        {0x19, other},  {0x10, other},
    };
    for (const auto& c : cases) EXPECT_EQ(HeaderMediumOf(static_cast<std::uint8_t>(c.code)).preferredUnits, c.units) << c.code;
}

TEST(WirelessMedium, OwnWordingAndNoTextPast10h) {
    struct Case {
        int code;
        std::optional<std::string_view> text;
    } cases[] = {
        {0x00, "Other"},     {0x01, "Oil"},        {0x02, "Electricity"}, {0x03, "Gas"},
        {0x04, "Heat"},      {0x05, "Steam"},      {0x06, "Hot water"},   {0x07, "Water"},
        {0x08, "H.C.A"},     {0x09, "Compr. air"}, {0x0A, "Cool (out)"},  {0x0B, "Cool (in)"},
        {0x0C, "Heat"},      {0x0D, "Heat/Cool"},  {0x0E, "Bus"},         {0x0F, "Unknown"},
        {0x10, "Cold water"}, {0x11, std::nullopt}, {0x16, std::nullopt}, {0xFF, std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(WirelessMedium(static_cast<std::uint8_t>(c.code)), c.text) << c.code;
}

TEST(MediumCode, BothWordingsOfEachSelectorAndOthersAre0Fh) {
    struct Case {
        const char* name;
        int code;
    } cases[] = {
        {"Other", 0x00},      {"Oil", 0x01},        {"Electricity", 0x02}, {"Gas", 0x03},
        {"Heat meter", 0x04}, {"Heat (rt)", 0x04},  {"Steam", 0x05},       {"Hot water", 0x06},
        {"Water", 0x07},      {"H.C.A", 0x08},      {"Heat C.A.", 0x08},   {"Cooling, rt", 0x0A},
        {"Cold meter", 0x0B}, {"Cooling, ft", 0x0B}, {"Cold water", 0x16}, {"Dual water", 0x17},
        {"Pressure", 0x18},   {"Heat (ft)", 0x0F},  {"water", 0x0F},       {"", 0x0F},
        {"Compr. Air", 0x0F},
    };
    for (const auto& c : cases) EXPECT_EQ(MediumCode(c.name), c.code) << c.name;
}

} // namespace
} // namespace veltro
