#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "mbus/telegram.h"

namespace veltro {

// The 300-byte frame of the NLAN-2 and NCEL-1A gateways, both directions, over TCP.
inline constexpr std::size_t kGatewayFrameSize = 300;
inline constexpr std::size_t kLongestGatewayTelegram = 280;

// Four bytes that name a gateway, component "a" of "a.b.c.d" first.
using NetworkNumber = std::array<std::uint8_t, 4>;

// The block type of a request, chosen by what is sent: REQ_UD2 of the ordinary read, display, RXV-KT and
// console texts go as A1h; everything sent through `SendTelegram` as A8h.
enum class GatewayBlock : std::uint8_t { A1 = 0xA1, A8 = 0xA8 };

// The request frame around a telegram of n bytes; nothing (and nothing is sent) when n > 280. REQ_UD2
// 10 5B 01 5C 16 as A1h to 0.0.0.1 with sequence counter 2:
//
//   01 | 00 00 00 01 | 00 | 00 02 | 00 01 | 05 | 04       header: start, network number, 0, counter bits
//                                                         8-15 and 0-7, command word, sum of 0-9, 04
//   A1 | 07 | 00 00 | 10 5B 01 5C 16 | E5 | AA            block: type, (n + 2) mod 256, 10h for A8h else
//                                                         00, 00, telegram, sum from the length byte, AAh
//   00 ... 00 | 23 | 04                                   padding to offset 297, sum of 0-297, stop byte
//
// Only the counter's low 16 bits are carried.
std::optional<Telegram> WrapGatewayFrame(std::span<const std::uint8_t> telegram, GatewayBlock block,
                                         const NetworkNumber& network, std::int32_t sequence);

// What one chunk read from a gateway socket did to the accumulator.
struct GatewayChunk {
    std::optional<Telegram> frame;  // the 300 bytes, when this chunk completed them
    std::string overflow;           // "Wrong byte count in the telegram, 350", when it would have passed 300
};

// The one buffer both gateway channels fill. A chunk that would take it past 300 bytes is thrown away
// with what was gathered; resynchronising then relies on the gateway's next frame arriving whole into the
// empty buffer. Neither connecting nor sending empties it. Hand it socket reads of at most 300 bytes, so
// that two frames arriving together complete one after the other instead of overflowing.
class GatewayFrameAccumulator {
public:
    GatewayChunk feed(std::span<const std::uint8_t> chunk);
    void clear() { m_count = 0; }
    std::size_t count() const { return m_count; }

private:
    std::array<std::uint8_t, kGatewayFrameSize> m_buffer{};
    std::size_t m_count = 0;
};

// What one reply frame yields.
struct GatewayReply {
    std::vector<std::string> log;                // in the order they are logged
    Telegram data;                               // the M-Bus response of a data reply; empty otherwise
    std::optional<NetworkNumber> networkNumber;  // bytes 1-4 of a frame that passed the four checks
    bool greeting = false;                       // it passed them and was taken for the gateway's greeting
    bool truncated = false;                      // it passed them but ends before what its D announces
};

// Checks and unpacks a reply frame (normally the accumulator's 300 bytes). `greeting` says that nothing
// was sent on the connection yet (sequence counter 1): a frame that passes the checks is then only
// announced ("Connected NLAN Network number: 10.0.0.7"), whatever it holds. Otherwise byte 21 = A5h is a
// status-only reply, result byte 24, error masks 2 and 1 at 25 and 26; any other value a data reply with
// D at byte 22 (0-3 stand for 256-259), D - 4 response bytes at 25.., the status at D+28..D+30.
GatewayReply ParseGatewayReply(std::span<const std::uint8_t> frame, bool greeting);

// The status triple's lines: "Done!" for result 0, else one line per set bit, error mask 1 bits 0-7,
// then error mask 2 bits 1, 6 and 7; a failed result with both masks clear gives no line.
std::vector<std::string> ReportGatewayStatus(std::uint8_t result, std::uint8_t mask1, std::uint8_t mask2);

// "a.b.c.d": exactly three dots, four non-empty runs of decimal digits, each at most 255. Leading zeros are
// allowed ("192.168.001.010"); signs, blanks and anything else are not.
std::optional<NetworkNumber> ParseDottedQuad(std::string_view text);
// "10.0.0.7", without leading zeros.
std::string FormatDottedQuad(const NetworkNumber& number);

} // namespace veltro
