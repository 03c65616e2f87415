#include "sim/gateway_frame.h"

#include <charconv>
#include <numeric>

namespace veltro::sim::gateway {
namespace {

std::uint8_t Sum(std::span<const std::uint8_t> bytes) {
    return static_cast<std::uint8_t>(std::accumulate(bytes.begin(), bytes.end(), 0u));
}

constexpr std::size_t kFrameSumAt = 298;
constexpr std::size_t kStopAt = 299;
constexpr std::uint8_t kStart = 0x01;
constexpr std::uint8_t kStop = 0x04;
constexpr std::uint8_t kBlockEnd = 0xAA;

struct FailureName {
    std::uint8_t mask1;
    std::uint8_t mask2;
    const char* name;
};
constexpr FailureName kFailureNames[] = {
    {kHeaderChecksum, 0, "header checksum"},     {kTelegramChecksum, 0, "telegram checksum"},
    {kWrongLength, 0, "wrong telegram length"},  {kUnknownStart, 0, "unknown start character"},
    {kUnknownTelegram, 0, "unknown telegram"},   {kStartStop, 0, "start/stop character"},
    {kBadNetwork, 0, "bad network number"},      {0, kTimeoutExpired, "timeout expired"},
    {0, kBadPacket, "bad packet"},
};

// Where the block of a request ends. The length byte holds (n + 2) mod 256 and n may reach 280, so a
// byte below 27 has two readings; the one whose AAh marker stands where it says is the telegram.
std::optional<std::size_t> TelegramLength(std::span<const std::uint8_t> frame) {
    const std::size_t shortReading = (frame[13] + 254u) % 256u;
    for (const std::size_t n : {shortReading, shortReading + 256}) {
        if (n <= kLongestTelegram && frame[17 + n] == kBlockEnd) return n;
    }
    return std::nullopt;
}

// Bytes 5-20 of every reply: 00, the request's sequence number, command word 0001h, zeros up to the
// header checksum at 19, then 04h. The program reads none of them but the checksum.
void PutHeader(std::vector<std::uint8_t>& frame, const NetworkNumber& network, std::uint16_t sequence) {
    frame[0] = kStart;
    for (std::size_t i = 0; i < 4; ++i) frame[1 + i] = network[i];
    frame[6] = static_cast<std::uint8_t>(sequence >> 8);
    frame[7] = static_cast<std::uint8_t>(sequence & 0xFF);
    frame[9] = 0x01;
    frame[19] = Sum(std::span(frame).first(19));
    frame[20] = 0x04;
}

// The status block: A5h, its length 6, 00h, result, mask 2, mask 1, the sum from the length byte on, AAh.
void PutStatusBlock(std::vector<std::uint8_t>& frame, std::size_t at, const Status& status) {
    const std::uint8_t block[] = {kStatusOnly, 0x06, 0x00, status.result, status.mask2, status.mask1};
    std::copy(std::begin(block), std::end(block), frame.begin() + static_cast<std::ptrdiff_t>(at));
    frame[at + 6] = Sum(std::span(frame).subspan(at + 1, 5));
    frame[at + 7] = kBlockEnd;
}

void Close(std::vector<std::uint8_t>& frame) {
    frame[kFrameSumAt] = Sum(std::span(frame).first(kFrameSumAt));
    frame[kStopAt] = kStop;
}

} // namespace

std::optional<NetworkNumber> ParseNetworkNumber(std::string_view text) {
    NetworkNumber network{};
    std::size_t part = 0;
    const char* p = text.data();
    const char* const end = text.data() + text.size();
    for (;; ++part) {
        unsigned value = 0;
        const auto [next, ec] = std::from_chars(p, end, value);
        // from_chars takes no sign or blank, so only digits get here; "007" is 7, as typed fields send it.
        if (ec != std::errc{} || next == p || value > 255 || part > 3) return std::nullopt;
        network[part] = static_cast<std::uint8_t>(value);
        p = next;
        if (p == end) break;
        if (*p != '.') return std::nullopt;
        ++p;
    }
    if (part != 3) return std::nullopt;
    return network;
}

std::string NetworkNumberText(const NetworkNumber& network) {
    return std::to_string(network[0]) + "." + std::to_string(network[1]) + "." + std::to_string(network[2]) + "." +
           std::to_string(network[3]);
}

std::string DescribeStatus(const Status& status) {
    if (status.result == 0) return "done";
    std::string text;
    for (const auto& f : kFailureNames) {
        if ((status.mask1 & f.mask1) == 0 && (status.mask2 & f.mask2) == 0) continue;
        text += (text.empty() ? "" : ", ") + std::string(f.name);
    }
    return text.empty() ? "result " + std::to_string(status.result) : text;
}

// A request for REQ_UD2 to address 1, network 0.0.0.1, sequence 2:
//
//   0  01                 start
//   1  00 00 00 01        network number
//   5  00 00 02           00, sequence high, low
//   8  00 01              command word
//  10  05                 sum of bytes 0-9
//  11  04
//  12  A1 07 00 00        block type, n + 2, 00 (10h for A8h), 00
//  16  10 5B 01 5C 16     the telegram (n = 5)
//  21  E5 AA              sum of bytes 13-20, end of block
//  23  00 ... 00          up to byte 297
// 298  23 04              sum of bytes 0-297, stop
RequestCheck ReadRequest(std::span<const std::uint8_t> frame, const NetworkNumber& own) {
    RequestCheck check;
    if (frame.size() != kFrameSize) {
        check.status = Status::Failure(kWrongLength);
        return check;
    }
    std::uint8_t mask = 0;
    if (frame[0] != kStart) mask |= kUnknownStart;
    if (frame[kStopAt] != kStop) mask |= kStartStop;
    if (Sum(frame.first(10)) != frame[10]) mask |= kHeaderChecksum;
    if (Sum(frame.first(kFrameSumAt)) != frame[kFrameSumAt]) mask |= kTelegramChecksum;

    const std::uint8_t type = frame[12];
    const bool knownBlock = (type == kBlockA1 && frame[14] == 0x00) || (type == kBlockA8 && frame[14] == 0x10);
    if (frame[5] != 0x00 || frame[8] != 0x00 || frame[9] != 0x01 || frame[11] != 0x04 || !knownBlock || frame[15] != 0x00)
        mask |= kUnknownTelegram;

    const NetworkNumber network{frame[1], frame[2], frame[3], frame[4]};
    if (network != own) mask |= kBadNetwork;

    const auto n = TelegramLength(frame);
    if (!n) mask |= kWrongLength;
    else if (Sum(frame.subspan(13, 3 + *n)) != frame[16 + *n]) mask |= kTelegramChecksum;

    if (mask != 0) {
        check.status = Status::Failure(mask);
        return check;
    }
    Request request;
    request.network = network;
    request.sequence = static_cast<std::uint16_t>(frame[6] << 8 | frame[7]);
    request.blockType = type;
    const auto telegram = frame.subspan(16, *n);
    request.telegram.assign(telegram.begin(), telegram.end());
    check.request = std::move(request);
    return check;
}

// The greeting of gateway 0.0.0.1: 01 00 00 00 01, zeros, 01 at 9, the header sum 03 at 19, 04, then
// A5 06 00 00 00 00 06 AA (result 0, both masks clear), zeros, the frame sum at 298, 04.
std::vector<std::uint8_t> BuildStatusReply(const NetworkNumber& network, std::uint16_t sequence, const Status& status) {
    std::vector<std::uint8_t> frame(kFrameSize, 0);
    PutHeader(frame, network, sequence);
    PutStatusBlock(frame, 21, status);
    Close(frame);
    return frame;
}

// The acknowledge E5h of a SND_NKE sent in an A8h block:
//
//  21  A8 05 00 00        block type, D = 1 + 4, two zeros
//  25  E5                 the answer, bytes 25 to 20 + D
//  26  EA AA 00 00        sum of bytes 22 to 20 + D, end of block, two zeros
//  30  A5 06 00 00 00 00  the status: result at D + 28, mask 2 at D + 29, mask 1 at D + 30
//  36  06 AA              its sum and end
//
// D counts the block from its type byte to the answer's last byte; 256-259 are sent as 0-3.
std::optional<std::vector<std::uint8_t>> BuildDataReply(const NetworkNumber& network, std::uint16_t sequence,
                                                        std::uint8_t blockType, std::span<const std::uint8_t> answer,
                                                        const Status& status) {
    if (answer.size() > kLongestAnswer) return std::nullopt;
    std::vector<std::uint8_t> frame(kFrameSize, 0);
    PutHeader(frame, network, sequence);
    const std::size_t d = answer.size() + 4;
    frame[21] = blockType;
    frame[22] = static_cast<std::uint8_t>(d % 256);
    std::copy(answer.begin(), answer.end(), frame.begin() + 25);
    frame[21 + d] = Sum(std::span(frame).subspan(22, d - 1));
    frame[22 + d] = kBlockEnd;
    PutStatusBlock(frame, 25 + d, status);
    Close(frame);
    return frame;
}

} // namespace veltro::sim::gateway
