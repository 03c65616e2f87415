#include <gtest/gtest.h>

#include "mbus/hex.h"
#include "meters/configuration_telegrams.h"

namespace veltro {
namespace {

std::string Rendered(const std::optional<Telegram>& telegram) { return telegram ? HexRendering(*telegram) : "nothing"; }

// Expected bytes are the telegram definitions with CS summed by hand.
TEST(ConfigurationTelegrams, BuildersGiveTheDefinedBytes) {
    bool overridden = true;
    const struct {
        const char* what;
        std::string built;
        const char* expected;
    } cases[] = {
        // Addressing changes use C = 73h.
        {"new address 7 by broadcast 254", HexRendering(BuildSetAddress(254, 7)), "68 06 06 68 73 FE 51 01 7A 07 44 16 "},
        {"new address 7 to the selected meter 253", HexRendering(BuildSetAddress(253, 7)),
         "68 06 06 68 73 FD 51 01 7A 07 43 16 "},
        {"new address 249 to 0", HexRendering(BuildSetAddress(0, 249)), "68 06 06 68 73 00 51 01 7A F9 38 16 "},
        {"identification 12345678, least significant pair first", Rendered(BuildSetIdentification(5, "12345678")),
         "68 09 09 68 73 05 51 0C 79 78 56 34 12 62 16 "},
        {"identification 00000001 keeps its zeros", Rendered(BuildSetIdentification(1, "00000001")),
         "68 09 09 68 73 01 51 0C 79 01 00 00 00 4B 16 "},
        {"identification of 7 digits", Rendered(BuildSetIdentification(5, "1234567")), "nothing"},
        {"identification with a hex digit", Rendered(BuildSetIdentification(5, "1234567A")), "nothing"},
        // Everything else C = 53h.
        {"baud 2400 to 5", HexRendering(BuildSetBaud(5, 0xBB)), "68 03 03 68 53 05 BB 13 16 "},
        {"baud 300 to 0", HexRendering(BuildSetBaud(0, 0xB8)), "68 03 03 68 53 00 B8 0B 16 "},
        {"medium water with identification", HexRendering(BuildSetMedium(5, "12345678", 0x07)),
         "68 0D 0D 68 53 05 51 07 79 78 56 34 12 FF FF FF 07 41 16 "},
        {"medium without identification is FF FF FF FF", HexRendering(BuildSetMedium(254, std::nullopt, 0x05)),
         "68 0D 0D 68 53 FE 51 07 79 FF FF FF FF FF FF FF 05 20 16 "},
        {"medium with a bad identification is FF FF FF FF", HexRendering(BuildSetMedium(254, "12E45678", 0x05, &overridden)),
         "68 0D 0D 68 53 FE 51 07 79 FF FF FF FF FF FF FF 05 20 16 "},
        {"unit l x 1 (13h) of a water counter", HexRendering(BuildSetUnit(5, 0x13, 0x07)),
         "68 09 09 68 53 05 51 0F 13 03 07 01 01 D7 16 "},
        {"pulse width 20ms", HexRendering(BuildSetPulseWidth(5, 0x03)), "68 0B 0B 68 53 05 51 0F FD 0B 04 00 00 00 03 C7 16 "},
        {"pulse value 16777215, the largest", HexRendering(BuildSetPulseValue(5, 16777215)),
         "68 09 09 68 53 05 51 04 13 FF FF FF 00 BD 16 "},
        {"pulse value 123456h, byte order", HexRendering(BuildSetPulseValue(250, 0x123456)),
         "68 09 09 68 53 FA 51 04 13 56 34 12 00 51 16 "},
        {"counter type independent addresses", HexRendering(BuildSetCounterType(5, {0xC3, 0x01})),
         "68 0B 0B 68 53 05 51 0F FF 00 04 FF FE C3 01 7C 16 "},
        {"relay 1500 l", Rendered(BuildRelayValue(5, 0x13, "00001500")), "68 09 09 68 53 05 51 0C 13 00 15 00 00 DD 16 "},
        {"relay 12345678 in 0Eh to 253", Rendered(BuildRelayValue(253, 0x0E, "12345678")),
         "68 09 09 68 53 FD 51 0C 0E 78 56 34 12 CF 16 "},
        {"relay value not padded", Rendered(BuildRelayValue(5, 0x13, "1500")), "nothing"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.built, c.expected) << c.what;

    EXPECT_TRUE(overridden);
    for (const std::optional<std::string_view> id : {std::optional<std::string_view>{}, std::optional<std::string_view>{"12345678"}}) {
        BuildSetMedium(5, id, 0x07, &overridden);
        EXPECT_FALSE(overridden) << id.value_or("no identification");
    }
}

// A value as text, or the refusal's message; a refusal must carry a message and a value none.
template <class Value, class Show>
std::string Outcome(const Checked<Value>& checked, Show show) {
    if (checked.value && !checked.refusal.empty()) return "a value and a refusal";
    if (checked.value) return "= " + show(*checked.value);
    return checked.refusal.empty() ? "refused without a message" : checked.refusal;
}
std::string Outcome(const Checked<std::uint8_t>& c) { return Outcome(c, HexByte); }
std::string Outcome(const Checked<std::uint32_t>& c) { return Outcome(c, [](std::uint32_t v) { return std::to_string(v); }); }
std::string Outcome(const Checked<std::string>& c) { return Outcome(c, [](const std::string& v) { return v; }); }
std::string Outcome(const Checked<std::array<std::uint8_t, 2>>& c) {
    return Outcome(c, [](const std::array<std::uint8_t, 2>& v) { return HexByte(v[0]) + " " + HexByte(v[1]); });
}
std::string Code(std::uint8_t code) { return "= " + HexByte(code); }

TEST(ConfigurationTelegrams, ChecksGiveAValueOrTheirMessage) {
    const std::string exception = "Exception changing counter - ";
    const struct {
        const char* what;
        std::string outcome;
        std::string expected;
    } cases[] = {
        {"address 0", Outcome(CheckNewAddress("0")), "= 00"},
        {"address 249", Outcome(CheckNewAddress("249")), "= F9"},
        {"address 250", Outcome(CheckNewAddress("250")), std::string(kIncorrectPrimaryAddress)},
        {"address x", Outcome(CheckNewAddress("x")), std::string(kIncorrectPrimaryAddress)},
        {"address empty", Outcome(CheckNewAddress("")), std::string(kIncorrectPrimaryAddress)},
        {"address 0007, over-long", Outcome(CheckNewAddress("0007")), std::string(kIncorrectPrimaryAddress)},
        {"address -1", Outcome(CheckNewAddress("-1")), std::string(kIncorrectPrimaryAddress)},

        {"baud 300", Outcome(CheckBaud("300")), "= B8"},
        {"baud 2400", Outcome(CheckBaud("2400")), "= BB"},
        {"baud 4800", Outcome(CheckBaud("4800")), "= BC"},
        {"baud 9600", Outcome(CheckBaud("9600")), std::string(kBaudNotPermitted)},
        {"baud 1200", Outcome(CheckBaud("1200")), std::string(kWrongBaud)},
        {"baud 2400 with a blank", Outcome(CheckBaud("2400 ")), std::string(kWrongBaud)},
        {"baud empty", Outcome(CheckBaud("")), std::string(kWrongBaud)},

        {"l x 0.001, 1 ml", Outcome(CheckUnit("l", "0.001")), "= 10"},
        {"l x 1", Outcome(CheckUnit("l", "1")), "= 13"},
        {"l x 10000", Outcome(CheckUnit("l", "10000")), "= 17"},
        {"Wh x 0.001", Outcome(CheckUnit("Wh", "0.001")), "= 00"},
        {"Wh x 1000", Outcome(CheckUnit("Wh", "1000")), "= 06"},
        {"kJ x 0.001", Outcome(CheckUnit("kJ", "0.001")), "= 08"},
        {"kJ x 10000", Outcome(CheckUnit("kJ", "10000")), "= 0F"},
        {"N/A with any multiplier", Outcome(CheckUnit("N/A", "7")), "= 6E"},
        {"N/A without a multiplier", Outcome(CheckUnit("N/A", "")), "= 6E"},
        {"l x 2", Outcome(CheckUnit("l", "2")), std::string(kEnterConstant)},
        {"Wh without a multiplier", Outcome(CheckUnit("Wh", "")), std::string(kEnterConstant)},
        {"m3", Outcome(CheckUnit("m3", "1")), std::string(kIncorrectUnit)},
        {"L in capitals", Outcome(CheckUnit("L", "1")), std::string(kIncorrectUnit)},
        {"unknown unit before unknown multiplier", Outcome(CheckUnit("", "")), std::string(kIncorrectUnit)},
        {"VIF of an unknown unit", Code(UnitVif("m3", "1")), "= 00"},
        {"VIF of an unknown multiplier", Code(UnitVif("kJ", "0.5")), "= 00"},

        {"pulse width 5ms", Code(PulseWidthCode("5ms")), "= 01"},
        {"pulse width 10ms", Code(PulseWidthCode("10ms")), "= 02"},
        {"pulse width 20ms", Code(PulseWidthCode("20ms")), "= 03"},
        {"pulse width 50ms", Code(PulseWidthCode("50ms")), "= 04"},
        {"pulse width 100ms", Code(PulseWidthCode("100ms")), "= 05"},
        {"pulse width 5 ms", Code(PulseWidthCode("5 ms")), "= 00"},
        {"pulse width of the meter table, not of the box", Code(PulseWidthCode("default 50ms")), "= 00"},
        {"pulse width empty", Code(PulseWidthCode("")), "= 00"},

        {"pulse value 0", Outcome(CheckPulseValue("0")), "= 0"},
        {"pulse value 00000001", Outcome(CheckPulseValue("00000001")), "= 1"},
        {"pulse value 16777215", Outcome(CheckPulseValue("16777215")), "= 16777215"},
        {"pulse value 16777216", Outcome(CheckPulseValue("16777216")), std::string(kPulseValueTooBig)},
        {"pulse value of 9 digits", Outcome(CheckPulseValue("000000001")), std::string(kPulseValueTooBig)},
        {"pulse value empty", Outcome(CheckPulseValue("")), std::string(kPulseValueMissing)},
        {"pulse value 12a", Outcome(CheckPulseValue("12a")), std::string(kPulseValueMissing)},
        {"pulse value -1", Outcome(CheckPulseValue("-1")), std::string(kPulseValueMissing)},

        {"counter type incremental", Outcome(CheckCounterType("Incremental ID for each input")), "= C2 01"},
        {"counter type single", Outcome(CheckCounterType("Single ID for all")), "= C2 00"},
        {"counter type independent", Outcome(CheckCounterType("Independent addresses")), "= C3 01"},
        {"counter type empty", Outcome(CheckCounterType("")), std::string(kCounterTypeMissing)},
        {"counter type in other case", Outcome(CheckCounterType("single ID for all")), std::string(kCounterTypeNotAnItem)},

        {"relay 1500", Outcome(CheckRelayValue("1500")), "= 00001500"},
        {"relay 0", Outcome(CheckRelayValue("0")), "= 00000000"},
        {"relay 12345678", Outcome(CheckRelayValue("12345678")), "= 12345678"},
        {"relay empty", Outcome(CheckRelayValue("")), exception + "no start value"},
        {"relay of 9 digits", Outcome(CheckRelayValue("123456789")), exception + "more than 8 digits"},
        {"relay 15.5", Outcome(CheckRelayValue("15.5")), exception + "not a decimal number"},

        {"identification 00000000", Outcome(CheckIdentification("00000000")), "= 00000000"},
        {"identification of 7 digits", Outcome(CheckIdentification("1234567")), "Incorrect ID entered"},
        {"identification of 9 digits", Outcome(CheckIdentification("123456789")), "Incorrect ID entered"},
        {"identification wildcard", Outcome(CheckIdentification("FFFFFFFF")), "Incorrect ID entered"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.outcome, c.expected) << c.what;
}

} // namespace
} // namespace veltro
