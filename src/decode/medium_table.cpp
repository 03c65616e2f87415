#include "decode/medium_table.h"

#include <algorithm>

namespace veltro {
namespace {

struct MediumText {
    std::uint8_t code;
    std::string_view text;
};

// Medium of the fixed header (EN 13757-3 table 3, as worded in the meter table).
constexpr std::array kHeaderMedia{
    MediumText{0x00, "Other"},        MediumText{0x01, "Oil"},
    MediumText{0x02, "Electricity"},  MediumText{0x03, "Gas"},
    MediumText{0x04, "Heat (rt)"},    MediumText{0x05, "Steam"},
    MediumText{0x06, "Hot water"},    MediumText{0x07, "Water"},
    MediumText{0x08, "Heat C.A."},    MediumText{0x09, "Compr. Air"},
    MediumText{0x0A, "Cooling, rt"},  MediumText{0x0B, "Cooling, ft"},
    MediumText{0x0C, "Heat (ft)"},    MediumText{0x0D, "H/C load meter"},
    MediumText{0x0E, "Bus/System"},   MediumText{0x0F, "Unknown"},
    MediumText{0x16, "Cold water"},   MediumText{0x17, "Dual water"},
    MediumText{0x18, "Pressure"},     MediumText{0x19, "A/D converter"},
};
constexpr std::string_view kUnknownMedium = "Unknown";

// Device type of a wireless telegram, as worded in the receiver's acquisition list.
constexpr std::array kWirelessMedia{
    MediumText{0x00, "Other"},       MediumText{0x01, "Oil"},
    MediumText{0x02, "Electricity"}, MediumText{0x03, "Gas"},
    MediumText{0x04, "Heat"},        MediumText{0x05, "Steam"},
    MediumText{0x06, "Hot water"},   MediumText{0x07, "Water"},
    MediumText{0x08, "H.C.A"},       MediumText{0x09, "Compr. air"},
    MediumText{0x0A, "Cool (out)"},  MediumText{0x0B, "Cool (in)"},
    MediumText{0x0C, "Heat"},        MediumText{0x0D, "Heat/Cool"},
    MediumText{0x0E, "Bus"},         MediumText{0x0F, "Unknown"},
    MediumText{0x10, "Cold water"},
};

struct UnitPreference {
    std::array<std::string_view, 6> media;
    PreferredUnits units;
};

constexpr std::array kUnitPreferences{
    UnitPreference{{"Heat (rt)", "Heat (ft)", "H/C load meter", "Cooling, rt", "Cooling, ft", "Electricity"},
                   {"kWh", "MJ", "kJ"}},
    UnitPreference{{"Hot water", "Water", "Cold water", "Dual water", "Gas", "Oil"}, {"m3", "m3", "m3"}},
    UnitPreference{{"Pressure"}, {"mbar", "mbar", "mbar"}},
};
constexpr PreferredUnits kOtherMediumUnits{"N/A", "Unknown", "Other"};

struct MediumName {
    std::string_view name;
    std::uint8_t code;
};

// Names of the medium selectors (both wordings) to the code a meter is given.
constexpr std::array kMediumCodes{
    MediumName{"Other", 0x00},       MediumName{"Oil", 0x01},
    MediumName{"Electricity", 0x02}, MediumName{"Gas", 0x03},
    MediumName{"Heat meter", 0x04},  MediumName{"Heat (rt)", 0x04},
    MediumName{"Steam", 0x05},       MediumName{"Hot water", 0x06},
    MediumName{"Water", 0x07},       MediumName{"H.C.A", 0x08},
    MediumName{"Heat C.A.", 0x08},   MediumName{"Cooling, rt", 0x0A},
    MediumName{"Cold meter", 0x0B},  MediumName{"Cooling, ft", 0x0B},
    MediumName{"Cold water", 0x16},  MediumName{"Dual water", 0x17},
    MediumName{"Pressure", 0x18},
};
constexpr std::uint8_t kUnknownMediumCode = 0x0F;

template <std::size_t N>
std::optional<std::string_view> Find(const std::array<MediumText, N>& table, int code) {
    for (const auto& row : table)
        if (row.code == code) return row.text;
    return std::nullopt;
}

PreferredUnits PreferredUnitsOf(std::string_view medium) {
    for (const auto& preference : kUnitPreferences)
        if (std::find(preference.media.begin(), preference.media.end(), medium) != preference.media.end())
            return preference.units;
    return kOtherMediumUnits;
}

} // namespace

std::string_view MediumByNumber(int medium) { return Find(kHeaderMedia, medium).value_or(kUnknownMedium); }

HeaderMedium HeaderMediumOf(std::uint8_t medium) {
    const std::string_view text = MediumByNumber(medium);
    return {text, PreferredUnitsOf(text)};
}

std::optional<std::string_view> WirelessMedium(std::uint8_t deviceType) { return Find(kWirelessMedia, deviceType); }

std::uint8_t MediumCode(std::string_view name) {
    for (const auto& row : kMediumCodes)
        if (row.name == name) return row.code;
    return kUnknownMediumCode;
}

} // namespace veltro
