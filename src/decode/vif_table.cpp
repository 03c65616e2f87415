#include "decode/vif_table.h"

#include <array>
#include <string_view>

#include "mbus/byte_reader.h"

namespace veltro {
namespace {

// One row of a VIF table: codes first..last, each code's exponent one above the previous one's
// (the EN 13757-3 "nnn" ranges) when `exponentSteps`, else every code has `firstExponent`.
struct VifRow {
    std::uint8_t first;
    std::uint8_t last;
    std::string_view unit;
    int firstExponent;
    bool exponentSteps;
    std::string_view description;
    std::string_view unitCode;  // the typed value's unit, "" when there is none to give
};

constexpr bool kSteps = true;
constexpr bool kFixed = false;

// Primary VIF table (EN 13757-3 table 10), keyed by the VIF with the extension bit removed.
constexpr std::array kPrimaryTable{
    VifRow{0x00, 0x07, "kWh", -6, kSteps, "", "kWh"},
    VifRow{0x08, 0x0D, "kJ", -3, kSteps, "", "kJ"},
    VifRow{0x0E, 0x0F, "MJ", 0, kSteps, "", "MJ"},
    VifRow{0x10, 0x17, "m3", -6, kSteps, "", "m3"},
    VifRow{0x20, 0x20, "On Time", 0, kFixed, "seconds", "s"},
    VifRow{0x21, 0x21, "On Time", 0, kFixed, "minutes", "min"},
    VifRow{0x22, 0x22, "On Time", 0, kFixed, "hours", "h"},
    VifRow{0x23, 0x23, "On Time", 0, kFixed, "days", "d"},
    VifRow{0x24, 0x24, "Operating Time", 0, kFixed, "seconds", "s"},
    VifRow{0x25, 0x25, "Operating Time", 0, kFixed, "minutes", "min"},
    VifRow{0x26, 0x26, "Operating Time", 0, kFixed, "hours", "h"},
    VifRow{0x27, 0x27, "Operating Time", 0, kFixed, "days", "d"},
    VifRow{0x28, 0x2D, "W", -3, kSteps, "", "W"},
    VifRow{0x2E, 0x2F, "kW", 0, kSteps, "", "kW"},
    VifRow{0x30, 0x36, "J/h", 0, kSteps, "", "J/h"},
    VifRow{0x38, 0x3F, "l/h", -3, kSteps, "Debit", "l/h"},
    VifRow{0x58, 0x5B, "deg. C", -3, kSteps, "Flow Temp.", "degC"},
    VifRow{0x5C, 0x5F, "deg. C", -3, kSteps, "Return Temp.", "degC"},
    VifRow{0x60, 0x63, "deg. K", -3, kSteps, "TDiff", "K"},
    VifRow{0x64, 0x67, "deg. C", -3, kSteps, "External Temperature", "degC"},
    VifRow{0x68, 0x6A, "mbar", 0, kSteps, "", "mbar"},
    VifRow{0x6C, 0x6C, "Time point", 0, kFixed, "Date (dd.mm.yyyy)", ""},
    VifRow{0x6D, 0x6D, "Time point", 0, kFixed, "Date and time (hh:mm, dd.mm.yyyy)", ""},
    VifRow{0x6E, 0x6E, "N/A", 0, kFixed, "", ""},
    VifRow{0x70, 0x70, "Average duration", 0, kFixed, "", "s"},
    VifRow{0x74, 0x74, "Actuality Duration", 0, kFixed, "", "s"},
    VifRow{0x78, 0x78, "Fabr. No.", 0, kFixed, "", ""},
};

// First extension table (after FBh), keyed by the first VIFE without bit 7; the text is the unit.
constexpr std::array kFirstExtensionTable{
    VifRow{0x00, 0x01, "kWh", 2, kSteps, "", "kWh"},
    VifRow{0x02, 0x07, "Reserved", 0, kFixed, "", ""},
    VifRow{0x08, 0x09, "GJ", -1, kSteps, "", "GJ"},
    VifRow{0x0A, 0x0F, "Reserved", 0, kFixed, "", ""},
    VifRow{0x10, 0x11, "m3", 2, kSteps, "", "m3"},
    VifRow{0x28, 0x29, "kW", 2, kSteps, "", "kW"},
    VifRow{0x2A, 0x2F, "Reserved", 0, kFixed, "", ""},
    VifRow{0x58, 0x5A, "Flow Temperature, deg. F", -3, kSteps, "", "degF"},
    VifRow{0x5B, 0x5B, "Flow Temperature, F", 0, kFixed, "", "degF"},
    VifRow{0x5C, 0x5F, "Return Temperature, deg. F", -3, kSteps, "", "degF"},
    VifRow{0x60, 0x62, "Temp. difference, deg. F", -3, kSteps, "", "degF"},
    VifRow{0x63, 0x63, "Temp. difference, F", 0, kFixed, "", "degF"},
    VifRow{0x64, 0x67, "External temperature, deg. F", -3, kSteps, "", "degF"},
    VifRow{0x68, 0x6F, "Reserved", 0, kFixed, "", ""},
};

constexpr std::string_view kExtensionNotSupported = "VIF not supported";

// Second extension table (after FDh): texts only, multiplier 1. Volts and amperes carry their
// exponent in the text: low nibble - nibbleBias, "Volts, 10^-3" for 46h.
struct TextRow {
    std::uint8_t first;
    std::uint8_t last;
    std::string_view unit;
    int nibbleBias;  // kNoExponentText: plain text
    std::string_view unitCode;
    bool exponentShown;  // the unit text ends in the exponent; else it is the text as it stands
};
constexpr int kNoExponentText = 0x7FFF;
constexpr bool kShown = true;
constexpr bool kNotShown = false;

constexpr std::array kSecondExtensionTable{
    TextRow{0x00, 0x03, "Credit in currency units", kNoExponentText, "", kNotShown},
    TextRow{0x04, 0x07, "Debit in currency units", kNoExponentText, "", kNotShown},
    TextRow{0x08, 0x08, "Access Number", kNoExponentText, "", kNotShown},
    TextRow{0x09, 0x09, "Medium", kNoExponentText, "", kNotShown},
    TextRow{0x0A, 0x0A, "Manufacturer", kNoExponentText, "", kNotShown},
    TextRow{0x0B, 0x0B, "Enhanced identification", kNoExponentText, "", kNotShown},
    TextRow{0x0C, 0x0C, "Model/Version", kNoExponentText, "", kNotShown},
    TextRow{0x0D, 0x0D, "Hardware version No.", kNoExponentText, "", kNotShown},
    TextRow{0x0E, 0x0E, "Firmware version No.", kNoExponentText, "", kNotShown},
    TextRow{0x0F, 0x0F, "Software version No.", kNoExponentText, "", kNotShown},
    TextRow{0x10, 0x10, "Customer location", kNoExponentText, "", kNotShown},
    TextRow{0x11, 0x11, "Customer", kNoExponentText, "", kNotShown},
    TextRow{0x12, 0x12, "Access code user", kNoExponentText, "", kNotShown},
    TextRow{0x13, 0x13, "Access code operator", kNoExponentText, "", kNotShown},
    TextRow{0x16, 0x16, "Password", kNoExponentText, "", kNotShown},
    TextRow{0x17, 0x17, "Error flags", kNoExponentText, "", kNotShown},
    TextRow{0x18, 0x18, "Error mask", kNoExponentText, "", kNotShown},
    TextRow{0x19, 0x19, "Reserved", kNoExponentText, "", kNotShown},
    TextRow{0x1A, 0x1A, "Digitial Output (binary)", kNoExponentText, "", kNotShown},
    TextRow{0x1B, 0x1B, "Digitial Input (binary)", kNoExponentText, "", kNotShown},
    TextRow{0x1C, 0x1C, "Baudrate", kNoExponentText, "", kNotShown},
    TextRow{0x1D, 0x1D, "Response Delay time", kNoExponentText, "", kNotShown},
    TextRow{0x1E, 0x1E, "Retry", kNoExponentText, "", kNotShown},
    TextRow{0x1F, 0x1F, "Reserved", kNoExponentText, "", kNotShown},
    TextRow{0x3A, 0x3A, "Dimensionless", kNoExponentText, "", kNotShown},
    TextRow{0x40, 0x4F, "Volts, 10^", 9, "V", kShown},
    TextRow{0x50, 0x55, "Ampers, 10^", 12, "A", kShown},
    // EN 13757-3 has amperes up to 5Fh (10^3 A); the shown text keeps "VIF not supported" for 56h..5Fh
    // as it always read, while the typed value follows the standard: FD 59 with 5430 is 5.43 A.
    TextRow{0x56, 0x5F, "VIF not supported", 12, "A", kNotShown},
};

template <typename Table>
constexpr bool Ascending(const Table& table) {
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (table[i].first > table[i].last) return false;
        if (i > 0 && table[i - 1].last >= table[i].first) return false;
    }
    return true;
}
static_assert(Ascending(kPrimaryTable), "primary VIF rows must not overlap");
static_assert(Ascending(kFirstExtensionTable), "FBh extension rows must not overlap");
static_assert(Ascending(kSecondExtensionTable), "FDh extension rows must not overlap");

// Every table is keyed by a byte without its extension bit.
constexpr std::size_t kKeys = 0x80;
template <typename Table>
constexpr bool WithinKeys(const Table& table) {
    return table.empty() || table.back().last < kKeys;
}
static_assert(WithinKeys(kPrimaryTable) && WithinKeys(kFirstExtensionTable) && WithinKeys(kSecondExtensionTable));

// The row of each key (kNoRow for a key in no range), derived from a table at compile time so that a
// record's lookup is one index instead of a scan of the rows.
constexpr std::uint8_t kNoRow = 0xFF;
using RowIndex = std::array<std::uint8_t, kKeys>;

template <typename Table>
constexpr RowIndex IndexRows(const Table& table) {
    static_assert(std::tuple_size_v<Table> < kNoRow);
    RowIndex index{};
    index.fill(kNoRow);
    for (std::size_t i = 0; i < table.size(); ++i)
        for (std::size_t key = table[i].first; key <= table[i].last; ++key) index[key] = static_cast<std::uint8_t>(i);
    return index;
}
constexpr RowIndex kPrimaryRows = IndexRows(kPrimaryTable);
constexpr RowIndex kFirstExtensionRows = IndexRows(kFirstExtensionTable);
constexpr RowIndex kSecondExtensionRows = IndexRows(kSecondExtensionTable);


double PowerOfTen(int exponent) {
    double value = 1.0;
    for (int i = 0; i < exponent; ++i) value *= 10.0;
    for (int i = 0; i > exponent; --i) value /= 10.0;
    return value;
}

template <typename Table>
const auto* FindRow(const Table& table, const RowIndex& rows, std::uint8_t key) {
    const std::uint8_t row = rows[key % kKeys];
    return row == kNoRow ? nullptr : &table[row];
}

// Made with its texts rather than assigned them afterwards: nearly every record goes through here.
VifInfo Described(const VifRow& row, std::uint8_t key, bool withDescription) {
    const int exponent = row.firstExponent + (row.exponentSteps ? key - row.first : 0);
    return {.unit = std::string(row.unit),
            .exponent = exponent,
            .multiplier = PowerOfTen(exponent),
            .description = withDescription ? std::string(row.description) : std::string(),
            .unitCode = row.unitCode,
            .unitExponent = 0,
            .plainTextLength = 0,
            .error = std::nullopt};
}

// Plain-text unit: 7Ch takes the LEN characters right after LEN; FCh leaves one byte after LEN
// uninterpreted and prefixes the unit text.
void PlainText(VifInfo& info, std::span<const std::uint8_t> region, std::size_t vifPosition, bool user) {
    const auto length = ByteAt(region, vifPosition + 1);
    if (!length) {
        info.error = "plain-text VIF without its length byte";
        return;
    }
    if (*length == 0) return;
    const std::size_t charactersAt = vifPosition + (user ? 3 : 2);
    ByteReader reader(region, std::min(charactersAt, region.size()));
    const auto characters = charactersAt <= region.size() ? reader.readBytes(*length) : std::nullopt;
    if (!characters) {
        info.error = "plain-text unit of " + std::to_string(*length) + " characters runs past the end of the records";
        return;
    }
    info.unit = user ? "VIF is user ASCII string: " : "";
    info.unit.append(characters->begin(), characters->end());
    info.description = kPlainTextDescription;
    info.plainTextLength = *length;
}

std::optional<std::uint8_t> FirstVife(VifInfo& info, std::span<const std::uint8_t> region, std::size_t vifPosition) {
    auto vife = ByteAt(region, vifPosition + 1);
    if (!vife) info.error = "VIF extension missing after the VIF";
    return vife;
}

} // namespace

VifInfo LookupVif(std::span<const std::uint8_t> region, std::size_t vifPosition, std::uint8_t vif) {
    VifInfo info;
    switch (vif) {
    case 0x7F:
    case 0xFF:
        info.unit = "Manufacturer specific";
        return info;
    case 0x7C:
    case 0xFC:
        PlainText(info, region, vifPosition, vif == 0xFC);
        return info;
    case 0xFD:
        if (auto vife = FirstVife(info, region, vifPosition)) {
            const std::uint8_t key = *vife & 0x7F;
            const TextRow* row = FindRow(kSecondExtensionTable, kSecondExtensionRows, key);
            if (!row) {
                info.unit = kExtensionNotSupported;
            } else {
                info.unitCode = row->unitCode;
                if (row->nibbleBias != kNoExponentText) info.unitExponent = (key & 0x0F) - row->nibbleBias;
                info.unit = row->unit;
                if (row->exponentShown) info.unit += std::to_string(info.unitExponent);
            }
        }
        return info;
    case 0xFB:
        if (auto vife = FirstVife(info, region, vifPosition)) {
            const std::uint8_t key = *vife & 0x7F;
            if (const VifRow* row = FindRow(kFirstExtensionTable, kFirstExtensionRows, key))
                info = Described(*row, key, false);
            else
                info.unit = kExtensionNotSupported;
        }
        return info;
    case 0x7E:
    case 0xFE:
        info.unit = "Readout - not supported for now";
        return info;
    default:
        break;
    }
    if (vif >= 0xF0) return info;  // F0h..FAh: no meaning of their own, no extension-bit mapping
    const std::uint8_t key = vif & 0x7F;
    if (const VifRow* row = FindRow(kPrimaryTable, kPrimaryRows, key)) return Described(*row, key, true);
    return info;
}

VifInfo LookupVif(std::uint8_t vif) { return LookupVif({}, 0, vif); }

} // namespace veltro
