#include "meters/configuration_telegrams.h"

#include <algorithm>

#include "decode/header_fields.h"
#include "decode/medium_table.h"
#include "mbus/address.h"
#include "mbus/constants.h"
#include "mbus/frames.h"
#include "mbus/identification.h"

namespace veltro {
namespace {

// The value of 1..maxDigits decimal digits; nothing for anything else (no sign, no blanks).
constexpr std::optional<std::uint32_t> DecimalValue(std::string_view text, std::size_t maxDigits) {
    if (text.empty() || text.size() > maxDigits) return std::nullopt;
    std::uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
    }
    return value;
}

template <class Rows, std::size_t N>
constexpr bool RowsNameTheItems(const Rows& rows, const std::array<const char*, N>& items) {
    if (rows.size() != N) return false;
    for (std::size_t i = 0; i < N; ++i)
        if (rows[i].item != std::string_view(items[i])) return false;
    return true;
}

constexpr std::size_t kPackedDigits = 8;  // an identification, a relay start value: 8 BCD digits

// Every speed of the baud box has its control frame among the EN 13757-3 baud-rate CIs.
constexpr std::optional<std::uint8_t> BaudItemCi(std::string_view text) {
    for (const char* item : kBaudItems) {
        if (text != item) continue;
        const auto baud = DecimalValue(item, 5);
        return baud ? BaudRateCi(static_cast<int>(*baud)) : std::nullopt;
    }
    return std::nullopt;
}
static_assert(std::all_of(kBaudItems.begin(), kBaudItems.end(), [](const char* item) { return BaudItemCi(item).has_value(); }));
constexpr std::string_view kUnpermittedBaud = "9600";

// EN 13757-3 VIFs: E000 0nnn energy 10^(nnn-3) Wh, E001 0nnn volume 10^(nnn-6) m3 (nnn = 0 is 0.001 l),
// 6Eh H.C.A units, which have no scale. The multiplier's position in the box is nnn. 08h..0Fh count in J
// in the standard, so "kJ" reads a thousandth of what the box says; the telegram definition is kept.
struct UnitVifRow {
    std::string_view item;
    std::uint8_t vif;  // of the first multiplier, 0.001
    bool scaled;
};
constexpr std::array kUnitVifs{
    UnitVifRow{"l", 0x10, true},
    UnitVifRow{"Wh", 0x00, true},
    UnitVifRow{"kJ", 0x08, true},
    UnitVifRow{"N/A", 0x6E, false},
};
static_assert(RowsNameTheItems(kUnitVifs, kUnitItems));
static_assert(kMultiplierItems.size() == 8, "the multiplier is the three nnn bits of the VIF");
constexpr std::uint8_t kNoUnitVif = 0x00;

constexpr std::uint8_t kNoPulseWidthCode = 0x00;  // the codes themselves live with the widths' status nibbles

// T1 T2 of the counter-type telegram.
struct CounterTypeRow {
    std::string_view item;
    std::array<std::uint8_t, 2> bytes;
};
constexpr std::array kCounterTypes{
    CounterTypeRow{"Incremental ID for each input", {0xC2, 0x01}},
    CounterTypeRow{"Single ID for all", {0xC2, 0x00}},
    CounterTypeRow{"Independent addresses", {0xC3, 0x01}},
};
static_assert(RowsNameTheItems(kCounterTypes, kCounterTypeItems));

template <class Value>
Checked<Value> Accept(Value value) {
    return {std::move(value), {}};
}

template <class Value>
Checked<Value> Refuse(std::string_view message) {
    return {std::nullopt, std::string(message)};
}

const UnitVifRow* FindUnit(std::string_view unit) {
    const auto row = std::find_if(kUnitVifs.begin(), kUnitVifs.end(), [&](const UnitVifRow& r) { return r.item == unit; });
    return row == kUnitVifs.end() ? nullptr : &*row;
}

std::optional<std::uint8_t> MultiplierPosition(std::string_view multiplier) {
    const auto item = std::find(kMultiplierItems.begin(), kMultiplierItems.end(), multiplier);
    if (item == kMultiplierItems.end()) return std::nullopt;
    return static_cast<std::uint8_t>(item - kMultiplierItems.begin());
}

// Configuration data to a meter: SND_UD with CI 51h. The data here always fits the L field.
Telegram DataSend(std::uint8_t control, std::uint8_t address, std::initializer_list<std::uint8_t> data) {
    return *BuildLongFrame(control, address, frame::kCiDataSend, std::span(data.begin(), data.size()));
}

} // namespace

Checked<std::uint8_t> CheckNewAddress(std::string_view text) {
    const auto address = ParseTargetAddress(text, 0, kHighestNewAddress);
    if (!address) return Refuse<std::uint8_t>(kIncorrectPrimaryAddress);
    return Accept(static_cast<std::uint8_t>(*address));
}

Checked<std::uint8_t> CheckBaud(std::string_view text) {
    if (const auto ci = BaudItemCi(text)) return Accept(*ci);
    return Refuse<std::uint8_t>(text == kUnpermittedBaud ? kBaudNotPermitted : kWrongBaud);
}

Checked<std::uint8_t> CheckUnit(std::string_view unit, std::string_view multiplier) {
    const UnitVifRow* row = FindUnit(unit);
    if (!row) return Refuse<std::uint8_t>(kIncorrectUnit);
    // An unknown multiplier's VIF 00h would mean Wh x 0.001.
    if (row->scaled && !MultiplierPosition(multiplier)) return Refuse<std::uint8_t>(kEnterConstant);
    return Accept(UnitVif(unit, multiplier));
}

Checked<std::uint32_t> CheckPulseValue(std::string_view text) {
    if (text.empty()) return Refuse<std::uint32_t>(kPulseValueMissing);
    if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return Refuse<std::uint32_t>(kPulseValueMissing);
    const auto value = DecimalValue(text, kPackedDigits);
    if (!value || *value > kHighestPulseValue) return Refuse<std::uint32_t>(kPulseValueTooBig);
    return Accept(*value);
}

Checked<std::array<std::uint8_t, 2>> CheckCounterType(std::string_view text) {
    if (text.empty()) return Refuse<std::array<std::uint8_t, 2>>(kCounterTypeMissing);
    for (const auto& row : kCounterTypes)
        if (row.item == text) return Accept(row.bytes);
    return Refuse<std::array<std::uint8_t, 2>>(kCounterTypeNotAnItem);
}

Checked<std::string> CheckRelayValue(std::string_view text) {
    constexpr std::string_view kException = "Exception changing counter - ";
    if (text.empty()) return Refuse<std::string>(std::string(kException) + "no start value");
    if (text.size() > kPackedDigits) return Refuse<std::string>(std::string(kException) + "more than 8 digits");
    if (!DecimalValue(text, kPackedDigits))
        return Refuse<std::string>(std::string(kException) + "not a decimal number");
    return Accept(std::string(kPackedDigits - text.size(), '0') + std::string(text));
}

Checked<std::string> CheckIdentification(std::string_view text) {
    if (!PackIdentification(text, IdentificationDigits::DecimalOnly)) return Refuse<std::string>(kIncorrectId);
    return Accept(std::string(text));
}

std::uint8_t UnitVif(std::string_view unit, std::string_view multiplier) {
    const UnitVifRow* row = FindUnit(unit);
    if (!row) return kNoUnitVif;
    if (!row->scaled) return row->vif;
    const auto position = MultiplierPosition(multiplier);
    return position ? static_cast<std::uint8_t>(row->vif + *position) : kNoUnitVif;
}

std::uint8_t PulseWidthCode(std::string_view text) {
    return PulseWidthCodeOfText(text).value_or(kNoPulseWidthCode);
}

// DIF 01 (8-bit integer), VIF 7Ah (bus address). To the broadcast 254 with N = 7:
// 68 06 06 68 | 73 FE 51 | 01 7A 07 | 44 16
Telegram BuildSetAddress(std::uint8_t address, std::uint8_t newAddress) {
    return DataSend(frame::kSndUdAddressing, address, {0x01, 0x7A, newAddress});
}

// DIF 0Ch (8 BCD digits), VIF 79h (identification). To 5 with 12345678:
// 68 09 09 68 | 73 05 51 | 0C 79 78 56 34 12 | 62 16
std::optional<Telegram> BuildSetIdentification(std::uint8_t address, std::string_view identification) {
    const auto packed = PackIdentification(identification, IdentificationDigits::DecimalOnly);
    if (!packed) return std::nullopt;
    const auto& id = *packed;
    return DataSend(frame::kSndUdAddressing, address, {0x0C, 0x79, id[0], id[1], id[2], id[3]});
}

Telegram BuildSetBaud(std::uint8_t address, std::uint8_t ci) { return BuildControlFrame(address, ci); }

// DIF 07h (64-bit integer), VIF 79h: the whole secondary address, manufacturer and version left at FFh.
// To 5 as water without an identification: 68 0D 0D 68 | 53 05 51 | 07 79 FF FF FF FF FF FF FF 07 | 29 16
Telegram BuildSetMedium(std::uint8_t address, std::optional<std::string_view> identification, std::uint8_t medium,
                        bool* idOverridden) {
    constexpr PackedIdentification kAnyIdentification{0xFF, 0xFF, 0xFF, 0xFF};
    const auto packed = identification ? PackIdentification(*identification, IdentificationDigits::DecimalOnly)
                                       : std::nullopt;
    if (idOverridden) *idOverridden = identification.has_value() && !packed;
    const auto& id = packed.value_or(kAnyIdentification);
    return DataSend(frame::kSndUd, address, {0x07, 0x79, id[0], id[1], id[2], id[3], 0xFF, 0xFF, 0xFF, medium});
}

// DIF 0Fh: the maker's own data; V the counter's VIF, M its medium.
Telegram BuildSetUnit(std::uint8_t address, std::uint8_t vif, std::uint8_t medium) {
    return DataSend(frame::kSndUd, address, {0x0F, vif, 0x03, medium, 0x01, 0x01});
}

Telegram BuildSetPulseWidth(std::uint8_t address, std::uint8_t code) {
    return DataSend(frame::kSndUd, address, {0x0F, 0xFD, 0x0B, 0x04, 0x00, 0x00, 0x00, code});
}

// DIF 04h (32-bit integer), VIF 13h (volume in l), least significant byte first. The fourth byte is 00
// for every value CheckPulseValue passes; a larger value is still written whole, never cut to 24 bits.
Telegram BuildSetPulseValue(std::uint8_t address, std::uint32_t value) {
    const auto byte = [value](int index) { return static_cast<std::uint8_t>(value >> (8 * index)); };
    return DataSend(frame::kSndUd, address, {0x04, 0x13, byte(0), byte(1), byte(2), byte(3)});
}

Telegram BuildSetCounterType(std::uint8_t address, std::array<std::uint8_t, 2> type) {
    return DataSend(frame::kSndUd, address, {0x0F, 0xFF, 0x00, 0x04, 0xFF, 0xFE, type[0], type[1]});
}

// DIF 0Ch (8 BCD digits) in the unit of V, packed like an identification. 1500 l to 5:
// 68 09 09 68 | 53 05 51 | 0C 13 00 15 00 00 | DD 16
std::optional<Telegram> BuildRelayValue(std::uint8_t address, std::uint8_t vif, std::string_view value) {
    const auto packed = PackIdentification(value, IdentificationDigits::DecimalOnly);
    if (!packed) return std::nullopt;
    const auto& digits = *packed;
    return DataSend(frame::kSndUd, address, {0x0C, vif, digits[0], digits[1], digits[2], digits[3]});
}

std::uint8_t RowMediumCode(std::string_view text) {
    for (int code = 0; code <= 0xFF; ++code) {
        const std::string_view shown = HeaderMediumOf(static_cast<std::uint8_t>(code)).text;
        if (shown == text && shown != "Unknown") return static_cast<std::uint8_t>(code);
    }
    return MediumCode(text);
}

} // namespace veltro
