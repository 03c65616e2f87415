#include "link/serial_port_rules.h"

#include <array>
#include <charconv>
#include <utility>

#include "app/texts.h"

namespace veltro {

namespace {

constexpr int kLastComNumber = 30;
constexpr std::size_t kMaxDevicePathLength = 4095;

bool HasControlCharacter(std::string_view text) {
    for (const char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
    return false;
}

// "COM" (any case) followed by 1..30 written without a leading zero: the number, else nothing.
std::optional<int> ComNumber(std::string_view name) {
    if (name.size() < 4 || name.size() > 5) return std::nullopt;
    for (std::size_t i = 0; i < 3; ++i)
        if ((name[i] | 0x20) != "com"[i]) return std::nullopt;
    const std::string_view digits = name.substr(3);
    if (digits.front() == '0') return std::nullopt;
    int number = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    if (number < 1 || number > kLastComNumber) return std::nullopt;
    return number;
}

bool SafeRelativeName(std::string_view name) {
    std::size_t start = 0;
    while (start <= name.size()) {
        const std::size_t slash = name.find('/', start);
        const std::string_view part = name.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start);
        if (part.empty() || part == "." || part == "..") return false;
        if (slash == std::string_view::npos) break;
        start = slash + 1;
    }
    return true;
}

} // namespace

int SerialBaudRate(std::string_view speedText) {
    constexpr std::array<std::pair<std::string_view, int>, 5> kSpeeds{
        {{"300", 300}, {"2400", 2400}, {"4800", 4800}, {"9600", 9600}, {"19200", 19200}}};
    for (const auto& [text, rate] : kSpeeds)
        if (speedText == text) return rate;
    return kSerialDefaultBaudRate;
}

SerialParity SerialParityFromText(std::string_view parityText) {
    constexpr std::array<std::pair<std::string_view, SerialParity>, 5> kParities{{{"None", SerialParity::None},
                                                                                  {"Even", SerialParity::Even},
                                                                                  {"Odd", SerialParity::Odd},
                                                                                  {"Mark", SerialParity::Mark},
                                                                                  {"Space", SerialParity::Space}}};
    for (const auto& [text, parity] : kParities)
        if (parityText == text) return parity;
    return SerialParity::Even;
}

std::optional<std::string> SerialDevicePath(std::string_view portName) {
    if (portName.empty() || portName.size() > kMaxDevicePathLength || HasControlCharacter(portName)) return std::nullopt;
    if (const auto number = ComNumber(portName)) return "/dev/ttyS" + std::to_string(*number - 1);
    if (portName.front() == '/') return std::string(portName);
    if (!SafeRelativeName(portName)) return std::nullopt;
    return "/dev/" + std::string(portName);
}

std::string SerialOpenStatus(std::string_view name, std::string_view speedText, std::string_view parityText) {
    return std::string(name) + " - " + std::string(speedText) + ",8," + std::string(parityText);
}

std::string SerialClosedStatus(std::string_view name) { return std::string(name) + " is closed"; }

std::string SerialPortInUseMessage(std::string_view name, Language language) {
    return Text(TextId::SerialPortInUse, language, name);
}

} // namespace veltro
