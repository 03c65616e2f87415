#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace veltro {

// EN 13757-2 FT 1.2 frame bytes and the control field values this program sends.
namespace frame {
inline constexpr std::uint8_t kAcknowledge = 0xE5;
inline constexpr std::uint8_t kShortStart = 0x10;
inline constexpr std::uint8_t kLongStart = 0x68;
inline constexpr std::uint8_t kStop = 0x16;

inline constexpr std::uint8_t kSndNke = 0x40;
inline constexpr std::uint8_t kReqUd2 = 0x7B;       // FCB = 1, FCV = 1
inline constexpr std::uint8_t kReqUd2Fcb0 = 0x5B;   // FCB = 0, FCV = 1 ("Use 0x5B")
inline constexpr std::uint8_t kSndUd = 0x53;
inline constexpr std::uint8_t kSndUdAddressing = 0x73;  // primary-address and identification changes
inline constexpr std::uint8_t kRspUd = 0x08;

// CI field values (EN 13757-3) of the frames the program and the simulator exchange.
inline constexpr std::uint8_t kCiApplicationReset = 0x50;
inline constexpr std::uint8_t kCiDataSend = 0x51;        // configuration data, master to meter
inline constexpr std::uint8_t kCiSelection = 0x52;       // selection by secondary address
inline constexpr std::uint8_t kCiVariableData = 0x72;    // RSP_UD with the 12-byte header

inline constexpr std::size_t kLongFrameOverhead = 6;  // 68 L L 68 ... CS 16 around the L bytes
inline constexpr std::size_t kShortestLongFrame = 8;
} // namespace frame

// Primary addresses with a meaning of their own (EN 13757-2): meters take 0..250; 253 reaches the meter
// selected by secondary address, 254 every meter with an answer, 255 every meter without one.
inline constexpr int kLastMeterAddress = 250;
inline constexpr int kSecondaryAddress = 253;
inline constexpr int kBroadcastWithReply = 254;
inline constexpr int kBroadcastNoReply = 255;
inline constexpr int kLastScanAddress = 255;

// The control frames that set a meter's line speed, EN 13757-3 CI B8h..BDh; the CI counts up with the speed.
struct BaudRateCode {
    std::uint8_t ci;
    int baud;
};
inline constexpr std::array kBaudRateCodes{
    BaudRateCode{0xB8, 300},  BaudRateCode{0xB9, 600},  BaudRateCode{0xBA, 1200},
    BaudRateCode{0xBB, 2400}, BaudRateCode{0xBC, 4800}, BaudRateCode{0xBD, 9600},
};
static_assert([] {
    for (std::size_t i = 1; i < kBaudRateCodes.size(); ++i)
        if (kBaudRateCodes[i].ci != kBaudRateCodes[i - 1].ci + 1 || kBaudRateCodes[i].baud != 2 * kBaudRateCodes[i - 1].baud)
            return false;
    return true;
}(), "baud rate CIs ascend by one while the speed doubles");

// The CI that sets `baud`; nothing for a speed a meter cannot be set to.
constexpr std::optional<std::uint8_t> BaudRateCi(int baud) {
    for (const auto& row : kBaudRateCodes)
        if (row.baud == baud) return row.ci;
    return std::nullopt;
}

// The speed a control frame with this CI sets; nothing when the CI is not a baud rate code.
constexpr std::optional<int> BaudOfCi(std::uint8_t ci) {
    for (const auto& row : kBaudRateCodes)
        if (row.ci == ci) return row.baud;
    return std::nullopt;
}

} // namespace veltro
