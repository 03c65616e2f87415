#include "devices/gateway_frame.h"

#include <algorithm>

#include "mbus/byte_reader.h"

namespace veltro {
namespace {

constexpr std::uint8_t kStart = 0x01;
constexpr std::uint8_t kStop = 0x04;
constexpr std::uint8_t kHeaderEnd = 0x04;
constexpr std::uint8_t kBlockEnd = 0xAA;
constexpr std::array<std::uint8_t, 2> kCommandWord{0x00, 0x01};
constexpr std::size_t kHeaderSize = 12;
constexpr std::size_t kBlockOverhead = 6;  // type, length, flag, 00, check sum, AAh
constexpr std::size_t kChecked = kGatewayFrameSize - 2;
static_assert(kHeaderSize + kBlockOverhead + kLongestGatewayTelegram == kChecked);

// Reply offsets.
constexpr std::size_t kHeaderSumAt = 19;
constexpr std::size_t kKindAt = 21;
constexpr std::uint8_t kStatusOnly = 0xA5;
constexpr std::size_t kLengthAt = 22;
constexpr std::size_t kStatusOnlyAt = 24;  // result, mask 2, mask 1
constexpr std::size_t kDataAt = 25;
constexpr std::size_t kDataStatusAfterD = 28;
// The largest D puts the status at 287..289, inside the frame.
static_assert(259 + kDataStatusAfterD + 2 < kChecked);

constexpr std::string_view kBadStart = "Error in START byte of NLAN-2 response...";
constexpr std::string_view kBadHeaderSum = "Error in header CRC of NLAN-2 response...";
constexpr std::string_view kBadPacketSum = "Error in packet CRC of NLAN-2 response...";
constexpr std::string_view kBadStop = "Error in STOP byte of NLAN-2 response...";
constexpr std::string_view kGreeting = "Connected NLAN Network number: ";
constexpr std::string_view kOverflow = "Wrong byte count in the telegram, ";
constexpr std::string_view kDone = "Done!";

// The status lines in the order they are reported.
struct StatusBit {
    int mask;  // 1 or 2
    std::uint8_t bit;
    std::string_view line;
};
constexpr std::array kStatusBits{
    StatusBit{1, 0x01, "Error in header checksum..."},
    StatusBit{1, 0x02, "Error in telegram checksum..."},
    StatusBit{1, 0x04, "Wrong telegram length..."},
    StatusBit{1, 0x08, "Bad telegram, unknow Start charachter..."},
    StatusBit{1, 0x10, "Action denied, no rights to perform it..."},
    StatusBit{1, 0x20, "Unknown telegram..."},
    StatusBit{1, 0x40, "Start/Stop charachter not recognized..."},
    StatusBit{1, 0x80, "Bad network number..."},
    StatusBit{2, 0x02, "Timeout expired..."},
    StatusBit{2, 0x40, "Bad m-bus command..."},
    StatusBit{2, 0x80, "Bad packet, general communication error..."},
};

// Some status lines of the reply at the given offsets, or nothing when the frame ends first.
std::optional<std::vector<std::string>> StatusAt(std::span<const std::uint8_t> frame, std::size_t result,
                                                 std::size_t mask1, std::size_t mask2) {
    const auto r = ByteAt(frame, result), m1 = ByteAt(frame, mask1), m2 = ByteAt(frame, mask2);
    if (!r || !m1 || !m2) return std::nullopt;
    return ReportGatewayStatus(*r, *m1, *m2);
}

} // namespace

std::optional<Telegram> WrapGatewayFrame(std::span<const std::uint8_t> telegram, GatewayBlock block,
                                         const NetworkNumber& network, std::int32_t sequence) {
    if (telegram.size() > kLongestGatewayTelegram) return std::nullopt;
    const auto counter = static_cast<std::uint32_t>(sequence);
    Telegram frame{kStart, network[0], network[1], network[2], network[3], 0x00,
                   static_cast<std::uint8_t>(counter >> 8), static_cast<std::uint8_t>(counter), kCommandWord[0],
                   kCommandWord[1]};
    frame.append(CheckSum8(frame.bytes()));
    frame.append(kHeaderEnd);

    const std::size_t blockStart = frame.size();
    frame.append(static_cast<std::uint8_t>(block));
    frame.append(static_cast<std::uint8_t>(telegram.size() + 2));
    frame.append(block == GatewayBlock::A8 ? 0x10 : 0x00);
    frame.append(0x00);
    frame.append(telegram);
    frame.append(CheckSum8(frame.bytes().subspan(blockStart + 1)));
    frame.append(kBlockEnd);

    while (frame.size() < kChecked) frame.append(0x00);
    frame.append(CheckSum8(frame.bytes()));
    frame.append(kStop);
    return frame;
}

GatewayChunk GatewayFrameAccumulator::feed(std::span<const std::uint8_t> chunk) {
    GatewayChunk outcome;
    if (chunk.empty()) return outcome;
    if (chunk.size() > kGatewayFrameSize - m_count) {
        outcome.overflow = std::string(kOverflow) + std::to_string(m_count + chunk.size());
        m_count = 0;
        return outcome;
    }
    std::copy(chunk.begin(), chunk.end(), m_buffer.begin() + static_cast<std::ptrdiff_t>(m_count));
    m_count += chunk.size();
    if (m_count == kGatewayFrameSize) {
        outcome.frame = Telegram(m_buffer);
        m_count = 0;
        m_buffer.fill(0);
    }
    return outcome;
}

// The four checks are taken relative to the frame's length, as the gateway's framing defines them; a frame
// of any other length than 300 still never reads outside itself. When one whose checks pass ends before
// the status its kind or D announces (only a frame shorter than 300 bytes can: D + 30 <= 289), no data is
// taken and no status line is made up: `truncated` tells the caller.
GatewayReply ParseGatewayReply(std::span<const std::uint8_t> frame, bool greeting) {
    GatewayReply reply;
    const auto finish = [&](std::string line) {
        reply.log.push_back(std::move(line));
        return reply;
    };
    if (ByteAt(frame, 0) != kStart) return finish(std::string(kBadStart));
    if (frame.size() <= kHeaderSumAt || CheckSum8(frame.first(kHeaderSumAt)) != frame[kHeaderSumAt])
        return finish(std::string(kBadHeaderSum));
    const std::size_t length = frame.size();
    if (CheckSum8(frame.first(length - 2)) != frame[length - 2]) return finish(std::string(kBadPacketSum));
    if (frame[length - 1] != kStop) return finish(std::string(kBadStop));

    reply.networkNumber = NetworkNumber{frame[1], frame[2], frame[3], frame[4]};
    if (greeting) {
        reply.greeting = true;
        return finish(std::string(kGreeting) + FormatDottedQuad(*reply.networkNumber));
    }

    std::optional<std::vector<std::string>> status;
    if (ByteAt(frame, kKindAt) == kStatusOnly) {
        status = StatusAt(frame, kStatusOnlyAt, kStatusOnlyAt + 2, kStatusOnlyAt + 1);
    } else if (const auto lengthByte = ByteAt(frame, kLengthAt)) {
        const std::size_t d = *lengthByte < 4 ? *lengthByte + 256u : *lengthByte;
        ByteReader reader(frame, kDataAt);
        const auto data = reader.readBytes(d - 4);
        status = StatusAt(frame, d + kDataStatusAfterD, d + kDataStatusAfterD + 2, d + kDataStatusAfterD + 1);
        if (data && status) reply.data = Telegram(*data);
    }
    if (!status) {
        reply.truncated = true;
        return reply;
    }
    reply.log = std::move(*status);
    return reply;
}

std::vector<std::string> ReportGatewayStatus(std::uint8_t result, std::uint8_t mask1, std::uint8_t mask2) {
    if (result == 0) return {std::string(kDone)};
    std::vector<std::string> lines;
    for (const StatusBit& row : kStatusBits)
        if (((row.mask == 1 ? mask1 : mask2) & row.bit) != 0) lines.emplace_back(row.line);
    return lines;
}

std::optional<NetworkNumber> ParseDottedQuad(std::string_view text) {
    if (std::count(text.begin(), text.end(), '.') != 3) return std::nullopt;
    NetworkNumber number{};
    for (std::uint8_t& component : number) {
        const std::size_t end = std::min(text.find('.'), text.size());
        const std::string_view digits = text.substr(0, end);
        if (digits.empty()) return std::nullopt;
        unsigned value = 0;
        for (char c : digits) {
            if (c < '0' || c > '9') return std::nullopt;
            value = value * 10 + static_cast<unsigned>(c - '0');
            if (value > 255) return std::nullopt;
        }
        component = static_cast<std::uint8_t>(value);
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return number;
}

std::string FormatDottedQuad(const NetworkNumber& number) {
    return std::to_string(number[0]) + "." + std::to_string(number[1]) + "." + std::to_string(number[2]) + "." +
           std::to_string(number[3]);
}

} // namespace veltro
