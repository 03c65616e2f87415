#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The 300-byte frames of the Ethernet/GPRS M-Bus gateway, as the gateway sees them. The simulator keeps
// this codec apart from the program's own on purpose: a misreading shared by both could not be caught.
namespace veltro::sim::gateway {

inline constexpr std::size_t kFrameSize = 300;
inline constexpr std::size_t kLongestTelegram = 280;
inline constexpr std::size_t kLongestAnswer = 255;  // D = n + 4 must fit 4..259

using NetworkNumber = std::array<std::uint8_t, 4>;

// "10.0.0.7": exactly four decimal numbers 0..255 separated by three dots, nothing else.
std::optional<NetworkNumber> ParseNetworkNumber(std::string_view text);
std::string NetworkNumberText(const NetworkNumber& network);

// Error mask 1: what is wrong with a request frame.
inline constexpr std::uint8_t kHeaderChecksum = 0x01;    // "Error in header checksum..."
inline constexpr std::uint8_t kTelegramChecksum = 0x02;  // "Error in telegram checksum..."
inline constexpr std::uint8_t kWrongLength = 0x04;       // "Wrong telegram length..."
inline constexpr std::uint8_t kUnknownStart = 0x08;      // "Bad telegram, unknow Start charachter..."
inline constexpr std::uint8_t kUnknownTelegram = 0x20;   // "Unknown telegram..."
inline constexpr std::uint8_t kStartStop = 0x40;         // "Start/Stop charachter not recognized..."
inline constexpr std::uint8_t kBadNetwork = 0x80;        // "Bad network number..."
// Error mask 2: what went wrong on the bus.
inline constexpr std::uint8_t kTimeoutExpired = 0x02;    // "Timeout expired..."
inline constexpr std::uint8_t kBadPacket = 0x80;         // "Bad packet, general communication error..."

// The result byte and the two error masks that end every reply; result 0 is success.
struct Status {
    std::uint8_t result = 0;
    std::uint8_t mask1 = 0;
    std::uint8_t mask2 = 0;

    static Status Failure(std::uint8_t mask1, std::uint8_t mask2 = 0) { return {1, mask1, mask2}; }
    bool operator==(const Status&) const = default;
};

// The failures a status names, for the log: "header checksum, bad network number".
std::string DescribeStatus(const Status& status);

inline constexpr std::uint8_t kBlockA1 = 0xA1;
inline constexpr std::uint8_t kBlockA8 = 0xA8;
inline constexpr std::uint8_t kStatusOnly = 0xA5;

struct Request {
    NetworkNumber network{};
    std::uint16_t sequence = 0;
    std::uint8_t blockType = 0;
    std::vector<std::uint8_t> telegram;
};

// A request frame read, or why it is refused: `status` holds every failure found (one bit each).
struct RequestCheck {
    std::optional<Request> request;
    Status status;
};

// Checks a request frame of exactly kFrameSize bytes against the gateway's own network number.
RequestCheck ReadRequest(std::span<const std::uint8_t> frame, const NetworkNumber& own);

// A status-only reply (byte 21 = A5h): the greeting, a refusal, a bus time-out.
std::vector<std::uint8_t> BuildStatusReply(const NetworkNumber& network, std::uint16_t sequence, const Status& status);

// A data reply carrying the meter's answer (at most kLongestAnswer bytes; nothing when it is longer).
std::optional<std::vector<std::uint8_t>> BuildDataReply(const NetworkNumber& network, std::uint16_t sequence,
                                                        std::uint8_t blockType, std::span<const std::uint8_t> answer,
                                                        const Status& status);

} // namespace veltro::sim::gateway
