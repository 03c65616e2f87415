#include "decode/header_fields.h"

#include <array>
#include <string_view>

#include "decode/number_format.h"
#include "mbus/hex.h"

namespace veltro {
namespace {

struct ModelPrefix {
    std::uint8_t highNibble;
    std::string_view prefix;
};
constexpr std::array kModelPrefixes{
    ModelPrefix{0x1, "QPSA-"},
    ModelPrefix{0x2, "QPSB-"},
    ModelPrefix{0x3, "QPSC-"},
};

// The maker's pulse widths: the status nibble a device shows, the code of the telegram that sets it
// (0: no telegram sets it) and the text of the meter table.
struct PulseWidth {
    std::uint8_t highNibble;
    std::uint8_t code;
    std::string_view text;
};
constexpr std::array kPulseWidths{
    PulseWidth{0x0, 0, "Not supported"}, PulseWidth{0x2, 1, "5ms"},  PulseWidth{0x4, 2, "10ms"},
    PulseWidth{0x6, 3, "20ms"},          PulseWidth{0x8, 4, "50ms"}, PulseWidth{0xA, 5, "100ms"},
    PulseWidth{0xE, 0, "default 50ms"},
};
static_assert([] {
    for (std::size_t i = 1; i < kPulseWidths.size(); ++i)
        if (kPulseWidths[i].highNibble <= kPulseWidths[i - 1].highNibble) return false;
    return true;
}(), "pulse width rows ascend by nibble, each nibble once");

constexpr unsigned kLetterOffset = 64;  // 'A' is 1
constexpr unsigned kLetterBits = 5;

constexpr std::size_t kBatteryMinimumFrame = 26;
constexpr std::size_t kBatterySearchFrom = 50;  // the 51st hex character
constexpr int kBatteryVoltDivisor = 51;

} // namespace

std::string ManufacturerLetters(std::uint8_t low, std::uint8_t high) {
    const unsigned code = unsigned{high} * 256u + low;
    return {static_cast<char>(kLetterOffset + (code >> 10)), static_cast<char>(kLetterOffset + ((code >> 5) & 31)),
            static_cast<char>(kLetterOffset + (code & 31))};
}

std::optional<std::uint16_t> ManufacturerCode(std::string_view letters) {
    if (letters.size() != 3) return std::nullopt;
    unsigned code = 0;
    for (char c : letters) {
        if (c < 'A' || c > 'Z') return std::nullopt;
        code = (code << kLetterBits) | (static_cast<unsigned>(c) - kLetterOffset);
    }
    return static_cast<std::uint16_t>(code);
}

std::string ModelText(std::uint8_t version) {
    const std::uint8_t high = version >> 4;
    const std::uint8_t low = version & 0x0F;
    if (low > 9) return kUnknownModel;
    for (const auto& row : kModelPrefixes)
        if (row.highNibble == high) return std::string(row.prefix) + static_cast<char>('0' + low);
    return kUnknownModel;
}

std::string StatusText(std::uint8_t status) { return HexByte(status); }

std::string PulseWidthText(std::uint8_t status) {
    const std::uint8_t high = status >> 4;
    for (const auto& row : kPulseWidths)
        if (row.highNibble == high) return std::string(row.text);
    return "Unknown";
}

std::optional<std::uint8_t> PulseWidthNibble(std::uint8_t code) {
    if (code == 0) return std::nullopt;
    for (const auto& row : kPulseWidths)
        if (row.code == code) return row.highNibble;
    return std::nullopt;
}

std::optional<std::uint8_t> PulseWidthCode(std::uint8_t status) {
    const std::uint8_t high = status >> 4;
    for (const auto& row : kPulseWidths)
        if (row.highNibble == high && row.code != 0) return row.code;
    return std::nullopt;
}

std::optional<std::uint8_t> PulseWidthCodeOfText(std::string_view text) {
    for (const auto& row : kPulseWidths)
        if (row.text == text && row.code != 0) return row.code;
    return std::nullopt;
}

BatteryReading DecodeBattery(std::span<const std::uint8_t> frame, char decimalSeparator) {
    BatteryReading reading;
    if (frame.size() < kBatteryMinimumFrame) return reading;

    // The search runs over characters, not bytes, so "0F" may straddle two bytes (x0 Fy).
    const std::string hex = HexDigits(frame);
    const std::size_t marker = hex.find("0F", kBatterySearchFrom);
    if (marker == std::string::npos) {
        reading.log.emplace_back("Battery decoding Exception - no 0F marker in the manufacturer block");
        return reading;
    }
    const std::string_view block = std::string_view(hex).substr(marker);
    constexpr std::size_t kFirstVoltage = 8;   // characters 9-10 of the block
    constexpr std::size_t kSecondVoltage = 10; // characters 11-12
    if (block.size() < kSecondVoltage + 2) {
        reading.log.emplace_back("Unknown Exception decoding battery - the block ends before its battery bytes");
        return reading;
    }
    auto byteAt = [&](std::size_t at) { return std::stoi(std::string(block.substr(at, 2)), nullptr, 16); };
    auto volts = [&](int value) {
        return FormatFixed(static_cast<double>(value) / kBatteryVoltDivisor, 4, 2, decimalSeparator) + "V";
    };
    const int first = byteAt(kFirstVoltage);
    const int second = byteAt(kSecondVoltage);
    if (first > kBatteryVoltDivisor) reading.text = volts(first);
    if (second > kBatteryVoltDivisor) reading.text += volts(second);
    return reading;
}

} // namespace veltro
