#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "mbus/telegram.h"

namespace veltro {

// The configuration telegrams of the meter page, byte for byte, and the input checks the window and
// the command-line tool share. Every builder takes the target address as a number 0..255 the caller
// has already checked (a meter 0..250, 253 for the selected meter, 254 for broadcast).

// The items of the page's boxes, in their order.
inline constexpr std::array<const char*, 11> kMediumItems{
    "Electricity", "Water", "Hot water", "Cold water", "H.C.A", "Heat meter", "Cold meter", "Gas", "Oil", "Pressure", "Other"};
inline constexpr std::array<const char*, 4> kUnitItems{"l", "Wh", "kJ", "N/A"};
inline constexpr std::array<const char*, 8> kMultiplierItems{"0.001", "0.01", "0.1", "1", "10", "100", "1000", "10000"};
inline constexpr std::array<const char*, 3> kBaudItems{"300", "2400", "4800"};
inline constexpr std::array<const char*, 5> kPulseWidthItems{"5ms", "10ms", "20ms", "50ms", "100ms"};
inline constexpr std::array<const char*, 3> kCounterTypeItems{"Incremental ID for each input", "Single ID for all",
                                                              "Independent addresses"};

inline constexpr int kHighestNewAddress = 249;
inline constexpr std::uint32_t kHighestPulseValue = 16777215;  // three value bytes

// The messages of the checks, exactly as logged.
inline constexpr std::string_view kNothingOrTooManySelected = "Nothing selected from the table or too many selected...";
inline constexpr std::string_view kNothingSelected = "Nothing selected from the table...";
inline constexpr std::string_view kIncorrectPrimaryAddress = "Incorrect primary address, must be under 250...";
inline constexpr std::string_view kWrongBaud = "Wrong baud...";
inline constexpr std::string_view kBaudNotPermitted = "Incorrect baud selected, permitted are 300,2400,4800...";
inline constexpr std::string_view kIncompleteMedium = "Incomplete data entered to program medium ...";
inline constexpr std::string_view kIncorrectUnit = "Incorrect unit. Allowable units are l,Wh,kJ,N/A...";
inline constexpr std::string_view kWrongPulseWidth = "Wrong pulse width...";
inline constexpr std::string_view kPulseValueMissing = "Pulse value is not entered...";
inline constexpr std::string_view kPulseValueTooBig = "Pulse value is too big, maximum 16777215...";
inline constexpr std::string_view kOneCounterForValue =
    "Not or too much counters/inputs selected. Setting value is for one input at a time!";
inline constexpr std::string_view kCounterTypeMissing = "Nothing selected to do...";
inline constexpr std::string_view kCounterTypeNotAnItem = "Not a proper selection from Combo box...";
inline constexpr std::string_view kOneCounterForType =
    "Not or too much counters/inputs selected. Select only FIRST input of a counter!";
inline constexpr std::string_view kEnterUnit = "Enter unit - l,Wh,kJ,N/A...";
inline constexpr std::string_view kEnterConstant = "Enter constant - 0.001,0.01,0.1,1,etc...";
inline constexpr std::string_view kNotRelay = "This m-bus device is NOT Relay! Skipping...";
inline constexpr std::string_view kIdOverridden = "ID overrided with FFFFFFFF, exception...";
inline constexpr std::string_view kIncorrectId = "Incorrect ID entered";  // also the secondary search's ID field

// A checked value, or the message that refuses it.
template <class Value>
struct Checked {
    std::optional<Value> value;
    std::string refusal;  // empty when `value` is set, or when the input is refused without a message
    explicit operator bool() const { return value.has_value(); }
};

// The new primary address field: 0..249 ("Incorrect primary address, must be under 250...").
Checked<std::uint8_t> CheckNewAddress(std::string_view text);
// The baud box: "300", "2400", "4800" give the CI B8h, BBh, BCh; "9600" is "Incorrect baud selected,
// permitted are 300,2400,4800..."; anything else "Wrong baud...".
Checked<std::uint8_t> CheckBaud(std::string_view text);
// The unit box: "l", "Wh", "kJ", "N/A", else "Incorrect unit. Allowable units are l,Wh,kJ,N/A...".
// With the multiplier: `UnitVif`; a multiplier outside the list (and not "N/A" as unit) is refused with
// "Enter constant - 0.001,0.01,0.1,1,etc...", as its VIF 00h would mean Wh x 0.001.
Checked<std::uint8_t> CheckUnit(std::string_view unit, std::string_view multiplier);
// The pulse value field: up to 8 decimal digits, at most 16777215.
Checked<std::uint32_t> CheckPulseValue(std::string_view text);
// The counter-type box: one of its three items; the telegram's T1 T2.
Checked<std::array<std::uint8_t, 2>> CheckCounterType(std::string_view text);
// The relay's start value: 1 to 8 decimal digits, padded with leading zeros.
Checked<std::string> CheckRelayValue(std::string_view text);
// An identification of exactly 8 decimal digits ("Incorrect ID entered" otherwise).
Checked<std::string> CheckIdentification(std::string_view text);

// `UnitVif`: the VIF of a unit and multiplier text (00h for any other pair; "N/A" 6Eh for any multiplier).
std::uint8_t UnitVif(std::string_view unit, std::string_view multiplier);
// The medium code of a meter-table row's medium text: the code a decoded header showed under that text
// ("Heat (ft)" 0Ch), else the medium box's name (`MediumCode`), else 0Fh.
std::uint8_t RowMediumCode(std::string_view text);
// The pulse-width code: 01..05 for the five items, 00 for any other text.
std::uint8_t PulseWidthCode(std::string_view text);

// 68 06 06 68 73 A 51 01 7A N CS 16
Telegram BuildSetAddress(std::uint8_t address, std::uint8_t newAddress);
// 68 09 09 68 73 A 51 0C 79 I1..I4 CS 16; nothing unless `identification` is 8 decimal digits.
std::optional<Telegram> BuildSetIdentification(std::uint8_t address, std::string_view identification);
// 68 03 03 68 53 A CI CS 16
Telegram BuildSetBaud(std::uint8_t address, std::uint8_t ci);
// 68 0D 0D 68 53 A 51 07 79 I1..I4 FF FF FF M CS 16; an identification that is not 8 decimal digits is
// sent as FF FF FF FF (`idOverridden` says so, for "ID overrided with FFFFFFFF, exception...").
Telegram BuildSetMedium(std::uint8_t address, std::optional<std::string_view> identification, std::uint8_t medium,
                        bool* idOverridden = nullptr);
// 68 09 09 68 53 A 51 0F V 03 M 01 01 CS 16
Telegram BuildSetUnit(std::uint8_t address, std::uint8_t vif, std::uint8_t medium);
// 68 0B 0B 68 53 A 51 0F FD 0B 04 00 00 00 P CS 16
Telegram BuildSetPulseWidth(std::uint8_t address, std::uint8_t code);
// 68 09 09 68 53 A 51 04 13 B0 B1 B2 00 CS 16; the caller has checked value <= 16777215.
Telegram BuildSetPulseValue(std::uint8_t address, std::uint32_t value);
// 68 0B 0B 68 53 A 51 0F FF 00 04 FF FE T1 T2 CS 16
Telegram BuildSetCounterType(std::uint8_t address, std::array<std::uint8_t, 2> type);
// The relay unit: 68 09 09 68 53 A 51 0C V D1..D4 CS 16; nothing unless `value` is 8 decimal digits.
std::optional<Telegram> BuildRelayValue(std::uint8_t address, std::uint8_t vif, std::string_view value);

} // namespace veltro
