// libFuzzer harness for the gateway frame (seeds in fuzz/corpus/gateway_reply/). Byte 0 holds flags, the
// rest is read three ways:
//   - as a TCP stream: chunks of a two-byte length (little endian, mod 512) and that many bytes, into the
//     accumulator, whose counting is modelled here; every completed frame goes to the parser;
//   - as a telegram to wrap, whose frame must pass the reply checks a request shares (start, sum, stop);
//   - as the parts of a reply built here from the frame's table, which must unpack to what it was built of.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <numeric>
#include <set>
#include <string>
#include <vector>

#include "devices/gateway_frame.h"
#include "require.h"

using namespace veltro;

namespace {

std::uint8_t Sum(std::span<const std::uint8_t> bytes) {
    return static_cast<std::uint8_t>(std::accumulate(bytes.begin(), bytes.end(), 0u));
}

const std::set<std::string> kCheckLines = {
    "Error in START byte of NLAN-2 response...", "Error in header CRC of NLAN-2 response...",
    "Error in packet CRC of NLAN-2 response...", "Error in STOP byte of NLAN-2 response..."};

void CheckParse(std::span<const std::uint8_t> frame, bool greeting) {
    const GatewayReply reply = ParseGatewayReply(frame, greeting);
    Require(!reply.truncated);  // a 300-byte frame holds every status its D can point to
    if (!reply.networkNumber) {
        Require(reply.log.size() == 1 && kCheckLines.count(reply.log[0]) == 1);
        Require(reply.data.empty() && !reply.greeting);
        return;
    }
    Require(std::equal(reply.networkNumber->begin(), reply.networkNumber->end(), frame.begin() + 1));
    Require(reply.greeting == greeting);
    if (greeting) {
        Require(reply.log == std::vector<std::string>{"Connected NLAN Network number: " + FormatDottedQuad(*reply.networkNumber)});
        Require(reply.data.empty());
        return;
    }
    Require(reply.data.size() <= 255);
    Require(std::equal(reply.data.begin(), reply.data.end(), frame.begin() + 25));
    Require(reply.log.size() <= 11);
}

void Stream(const std::uint8_t* data, std::size_t size, bool greeting) {
    GatewayFrameAccumulator accumulator;
    std::vector<std::uint8_t> held;  // the model: what the accumulator should hold
    for (std::size_t at = 0; at + 2 <= size;) {
        const std::size_t wanted = (data[at] | data[at + 1] << 8) % 512;
        at += 2;
        const std::size_t length = std::min(wanted, size - at);
        const std::span<const std::uint8_t> chunk(data + at, length);
        at += length;

        const GatewayChunk result = accumulator.feed(chunk);
        if (held.size() + length > kGatewayFrameSize) {
            Require(!result.frame && result.overflow == "Wrong byte count in the telegram, " + std::to_string(held.size() + length));
            held.clear();
        } else {
            held.insert(held.end(), chunk.begin(), chunk.end());
            Require(result.overflow.empty());
            Require(result.frame.has_value() == (held.size() == kGatewayFrameSize));
            if (result.frame) {
                Require(std::equal(held.begin(), held.end(), result.frame->begin(), result.frame->end()));
                CheckParse(*result.frame, greeting);
                held.clear();
            }
        }
        Require(accumulator.count() == held.size());
    }
}

void WrapRoundTrip(std::span<const std::uint8_t> telegram, bool a8, std::uint8_t seed) {
    const NetworkNumber network{seed, static_cast<std::uint8_t>(seed * 3), 0, 1};
    const auto frame = WrapGatewayFrame(telegram, a8 ? GatewayBlock::A8 : GatewayBlock::A1, network, seed * 257 - 1);
    Require(frame.has_value() == (telegram.size() <= kLongestGatewayTelegram));
    if (!frame) return;
    const std::size_t n = telegram.size();
    Require(frame->size() == kGatewayFrameSize && (*frame)[12] == (a8 ? 0xA8 : 0xA1) && (*frame)[13] == ((n + 2) & 0xFF));
    Require(std::equal(telegram.begin(), telegram.end(), frame->begin() + 16));
    Require((*frame)[16 + n] == Sum(frame->bytes().subspan(13, n + 3)) && (*frame)[17 + n] == 0xAA);
    const GatewayReply reply = ParseGatewayReply(*frame, false);
    Require(reply.networkNumber ? *reply.networkNumber == network
                                : reply.log == std::vector<std::string>{"Error in header CRC of NLAN-2 response..."});
}

// A reply made from the table: kind A5h (status only) or a data reply with the input's D, data and status.
void ReplyRoundTrip(const std::uint8_t* data, std::size_t size, bool statusOnly) {
    if (size < 5) return;
    std::array<std::uint8_t, kGatewayFrameSize> frame{};
    frame[0] = 0x01;
    std::copy(data, data + 4, frame.begin() + 1);
    const std::uint8_t result = data[1], mask1 = data[2], mask2 = data[3];
    std::vector<std::uint8_t> expected;
    if (statusOnly) {
        frame[21] = 0xA5;
        frame[24] = result, frame[25] = mask2, frame[26] = mask1;
    } else {
        frame[21] = data[4] == 0xA5 ? 0x00 : data[4];
        frame[22] = data[0];
        const std::size_t d = data[0] < 4 ? data[0] + 256u : data[0];
        for (std::size_t i = 0; i < d - 4; ++i) expected.push_back(data[(5 + i) % size]);
        std::copy(expected.begin(), expected.end(), frame.begin() + 25);
        frame[d + 28] = result, frame[d + 29] = mask2, frame[d + 30] = mask1;
    }
    frame[19] = Sum(std::span(frame).first(19));
    frame[298] = Sum(std::span(frame).first(298));
    frame[299] = 0x04;
    const GatewayReply reply = ParseGatewayReply(frame, false);
    Require(reply.networkNumber && std::equal(data, data + 4, reply.networkNumber->begin()));
    Require(std::equal(expected.begin(), expected.end(), reply.data.begin(), reply.data.end()));
    Require(reply.log == ReportGatewayStatus(result, mask1, mask2) && !reply.truncated && !reply.greeting);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::uint8_t flags = data[0];
    Stream(data + 1, size - 1, (flags & 1) != 0);
    WrapRoundTrip({data + 1, size - 1}, (flags & 2) != 0, flags);
    ReplyRoundTrip(data + 1, size - 1, (flags & 4) != 0);
    return 0;
}
