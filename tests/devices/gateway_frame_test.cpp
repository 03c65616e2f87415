#include <gtest/gtest.h>

#include <numeric>

#include "devices/gateway_frame.h"
#include "mbus/hex.h"
#include "test_util.h"

namespace veltro {
namespace {

using test::Bytes;
using Lines = std::vector<std::string>;

std::uint8_t Sum(std::span<const std::uint8_t> bytes) {
    return static_cast<std::uint8_t>(std::accumulate(bytes.begin(), bytes.end(), 0u));
}

std::string Hex(std::span<const std::uint8_t> bytes) { return HexRendering(bytes); }

// A 300-byte reply as the gateway sends it, from the reply frame's table: start, network number 10.0.0.7,
// the header sum at 19, the kind at 21, the length byte at 22, `body` from offset 23 on, the frame sum at
// 298 and the stop byte.
std::vector<std::uint8_t> Reply(std::uint8_t kind, std::uint8_t d, const std::vector<std::pair<std::size_t, std::uint8_t>>& body = {}) {
    std::vector<std::uint8_t> frame(300, 0x00);
    frame[0] = 0x01;
    frame[1] = 10, frame[4] = 7;
    frame[5] = 0x33, frame[18] = 0x44;  // not interpreted
    frame[21] = kind;
    frame[22] = d;
    for (const auto& [offset, value] : body) frame[offset] = value;
    frame[19] = Sum(std::span(frame).first(19));
    frame[298] = Sum(std::span(frame).first(298));
    frame[299] = 0x04;
    return frame;
}

// Response bytes 1, 2, 3 ... at offsets 25.., and a status triple placed at `statusAt`.
std::vector<std::pair<std::size_t, std::uint8_t>> DataBody(std::size_t count, std::size_t statusAt, std::uint8_t result,
                                                           std::uint8_t mask2, std::uint8_t mask1) {
    std::vector<std::pair<std::size_t, std::uint8_t>> body;
    for (std::size_t i = 0; i < count; ++i) body.emplace_back(25 + i, static_cast<std::uint8_t>(i + 1));
    body.emplace_back(statusAt, result);
    body.emplace_back(statusAt + 1, mask2);
    body.emplace_back(statusAt + 2, mask1);
    return body;
}

std::vector<std::uint8_t> Counting(std::size_t count) {
    std::vector<std::uint8_t> bytes(count);
    std::iota(bytes.begin(), bytes.end(), std::uint8_t{1});
    return bytes;
}

TEST(GatewayFrame, WrapsTheWorkedExamples) {
    const std::string zeros = [] {
        std::string z;
        for (int i = 0; i < 300; ++i) z += "00 ";
        return z;
    }();
    // The frame as hex: the leading bytes given, zeros up to 297, then the sum and the stop byte.
    const auto expected = [&](const std::string& leading, const char* sum) {
        return leading + zeros.substr(leading.size(), (298 * 3) - leading.size()) + sum + " 04 ";
    };
    const struct {
        const char* what;
        std::optional<Telegram> frame;
        std::string expected;
    } cases[] = {
        {"REQ_UD2 as A1h to 0.0.0.1, counter 2",
         WrapGatewayFrame(Bytes("10 5B 01 5C 16"), GatewayBlock::A1, {0, 0, 0, 1}, 2),
         expected("01 00 00 00 01 00 00 02 00 01 05 04 A1 07 00 00 10 5B 01 5C 16 E5 AA ", "23")},
        {"SND_NKE as A8h to 10.0.0.7, counter 1234h: 10h at 14",
         WrapGatewayFrame(Bytes("10 40 F9 39 16"), GatewayBlock::A8, {10, 0, 0, 7}, 0x1234),
         expected("01 0A 00 00 07 00 12 34 00 01 59 04 A8 07 10 00 10 40 F9 39 16 AF AA ", "66")},
        {"counter 12345h: only its low 16 bits",
         WrapGatewayFrame(Bytes("E5"), GatewayBlock::A1, {0, 0, 0, 0}, 0x12345),
         expected("01 00 00 00 00 00 23 45 00 01 6A 04 A1 03 00 00 E5 E8 AA ", "F3")},
        {"counter -1: FF FF",
         WrapGatewayFrame(Bytes("E5"), GatewayBlock::A1, {0, 0, 0, 0}, -1),
         expected("01 00 00 00 00 00 FF FF 00 01 00 04 A1 03 00 00 E5 E8 AA ", "1F")},
        {"empty telegram: length 2, block sum 02",
         WrapGatewayFrame({}, GatewayBlock::A8, {255, 255, 255, 255}, 1),
         expected("01 FF FF FF FF 00 00 01 00 01 FF 04 A8 02 10 00 12 AA ", "78")},
    };
    for (const auto& c : cases) EXPECT_EQ(c.frame ? Hex(*c.frame) : "nothing", c.expected) << c.what;
}

TEST(GatewayFrame, CarriesTelegramsUpTo280Bytes) {
    const struct {
        const char* what;
        std::size_t n;
        std::uint8_t lengthByte;
    } cases[] = {
        {"253 bytes, the last length that does not wrap", 253, 0xFF},
        {"254 bytes wrap the length byte to 00", 254, 0x00},
        {"255 bytes, length 01", 255, 0x01},
        {"280 bytes fill the frame to offset 297 without padding", 280, 0x1A},
    };
    for (const auto& c : cases) {
        const auto telegram = Counting(c.n);
        const auto frame = WrapGatewayFrame(telegram, GatewayBlock::A1, {1, 2, 3, 4}, 7);
        ASSERT_TRUE(frame) << c.what;
        ASSERT_EQ(frame->size(), 300u) << c.what;
        const std::span<const std::uint8_t> bytes = *frame;
        EXPECT_EQ(bytes[13], c.lengthByte) << c.what;
        EXPECT_EQ(Hex(bytes.subspan(16, c.n)), Hex(telegram)) << c.what;
        EXPECT_EQ(bytes[16 + c.n], Sum(bytes.subspan(13, c.n + 3))) << c.what;
        EXPECT_EQ(bytes[17 + c.n], 0xAA) << c.what;
        EXPECT_EQ(Hex(bytes.subspan(18 + c.n, 280 - c.n)), Hex(std::vector<std::uint8_t>(280 - c.n))) << c.what;
        EXPECT_EQ(bytes[298], Sum(bytes.first(298))) << c.what;
        EXPECT_EQ(bytes[299], 0x04) << c.what;
    }
    EXPECT_FALSE(WrapGatewayFrame(Counting(281), GatewayBlock::A8, {1, 2, 3, 4}, 7)) << "281 bytes: nothing is sent";
}

TEST(GatewayFrame, AccumulatesChunksIntoWholeFrames) {
    const struct {
        const char* what;
        std::vector<std::size_t> chunks;
        Lines events;  // per chunk: "frame", the overflow line, or "" for nothing
        std::size_t countAfter;
    } cases[] = {
        {"100, 150, 50: one frame after the third", {100, 150, 50}, {"", "", "frame"}, 0},
        {"200, 150: overflow, nothing parsed", {200, 150}, {"", "Wrong byte count in the telegram, 350"}, 0},
        {"300 at once", {300}, {"frame"}, 0},
        {"301 at once on an empty buffer", {301}, {"Wrong byte count in the telegram, 301"}, 0},
        {"299, then 2", {299, 2}, {"", "Wrong byte count in the telegram, 301"}, 0},
        {"an empty read changes nothing", {120, 0}, {"", ""}, 120},
        {"after an overflow the next frame starts afresh", {200, 150, 300}, {"", "Wrong byte count in the telegram, 350", "frame"}, 0},
        {"after a frame the next bytes start a new one", {300, 10}, {"frame", ""}, 10},
    };
    for (const auto& c : cases) {
        GatewayFrameAccumulator accumulator;
        std::vector<std::uint8_t> stream;
        Lines events;
        for (std::size_t size : c.chunks) {
            std::vector<std::uint8_t> chunk(size);
            for (auto& byte : chunk) {
                byte = static_cast<std::uint8_t>(stream.size() * 7 + 3);
                stream.push_back(byte);
            }
            const GatewayChunk result = accumulator.feed(chunk);
            if (result.frame) {
                // The frame is the last 300 bytes fed.
                EXPECT_EQ(Hex(*result.frame), Hex(std::span(stream).last(300))) << c.what;
                EXPECT_TRUE(result.overflow.empty()) << c.what;
            }
            events.push_back(result.frame ? "frame" : result.overflow);
        }
        EXPECT_EQ(events, c.events) << c.what;
        EXPECT_EQ(accumulator.count(), c.countAfter) << c.what;
    }

    GatewayFrameAccumulator accumulator;
    accumulator.feed(Counting(250));
    accumulator.clear();
    EXPECT_TRUE(accumulator.feed(Counting(300)).frame) << "clear() empties a partial frame";
}

TEST(GatewayFrame, ParsesReplies) {
    const NetworkNumber tenZeroZeroSeven{10, 0, 0, 7};
    const auto corrupt = [](std::vector<std::uint8_t> frame, std::size_t offset) {
        frame[offset] ^= 0x01;
        return frame;
    };
    const struct {
        const char* what;
        std::vector<std::uint8_t> frame;
        bool greeting;
        Lines log;
        std::string data;
        bool passed;  // the network number is taken
    } cases[] = {
        // Status-only replies; a decoy status where a data reply of D = 0 would have it.
        {"A5h with result 0: only Done!", Reply(0xA5, 0x00, {{24, 0x00}, {25, 0xC2}, {26, 0xFF}, {284, 1}, {286, 1}}), false, {"Done!"}, "", true},
        {"A5h, result 1, mask 1 = 81h at 26, mask 2 = 02h at 25", Reply(0xA5, 0x00, {{24, 0x01}, {25, 0x02}, {26, 0x81}}), false,
         {"Error in header checksum...", "Bad network number...", "Timeout expired..."}, "", true},
        // Data replies.
        {"D = 10: the six bytes 25-30, status at 38-40", Reply(0x00, 10, DataBody(6, 38, 0x01, 0x40, 0x04)), false,
         {"Wrong telegram length...", "Bad m-bus command..."}, "01 02 03 04 05 06 ", true},
        {"D = 4: no response bytes", Reply(0x7F, 4, DataBody(0, 32, 0x00, 0x00, 0x00)), false, {"Done!"}, "", true},
        {"D = 255", Reply(0x00, 255, DataBody(251, 283, 0x00, 0x00, 0x00)), false, {"Done!"}, Hex(Counting(251)), true},
        {"D = 0 stands for 256", Reply(0x00, 0, DataBody(252, 284, 0x00, 0x00, 0x00)), false, {"Done!"}, Hex(Counting(252)), true},
        {"D = 2 stands for 258: 254 bytes", Reply(0x00, 2, DataBody(254, 286, 0x02, 0x80, 0x00)), false,
         {"Bad packet, general communication error..."}, Hex(Counting(254)), true},
        {"D = 3 stands for 259: 255 bytes, status at 287-289", Reply(0x00, 3, DataBody(255, 287, 0x00, 0x00, 0x00)), false,
         {"Done!"}, Hex(Counting(255)), true},
        // The greeting is announced and not examined further.
        {"greeting of a status-only frame", Reply(0xA5, 0x00, {{24, 0x01}, {26, 0x01}}), true,
         {"Connected NLAN Network number: 10.0.0.7"}, "", true},
        {"greeting of a data frame", Reply(0x00, 10, DataBody(6, 38, 0, 0, 0)), true, {"Connected NLAN Network number: 10.0.0.7"}, "", true},
        // The four checks, in their order; the first failing one is the only line.
        {"start byte 00h", corrupt(Reply(0xA5, 0), 0), false, {"Error in START byte of NLAN-2 response..."}, "", false},
        {"header sum wrong", corrupt(Reply(0xA5, 0), 19), false, {"Error in header CRC of NLAN-2 response..."}, "", false},
        {"a header byte changed breaks both sums: header first", corrupt(Reply(0xA5, 0), 3), true,
         {"Error in header CRC of NLAN-2 response..."}, "", false},
        {"frame sum wrong", corrupt(Reply(0x00, 10, DataBody(6, 38, 0, 0, 0)), 298), false,
         {"Error in packet CRC of NLAN-2 response..."}, "", false},
        {"a data byte changed", corrupt(Reply(0x00, 10, DataBody(6, 38, 0, 0, 0)), 27), true,
         {"Error in packet CRC of NLAN-2 response..."}, "", false},
        {"stop byte 05h", corrupt(Reply(0xA5, 0), 299), false, {"Error in STOP byte of NLAN-2 response..."}, "", false},
        {"start and stop wrong: start only", corrupt(corrupt(Reply(0xA5, 0), 0), 299), false,
         {"Error in START byte of NLAN-2 response..."}, "", false},
    };
    for (const auto& c : cases) {
        const GatewayReply reply = ParseGatewayReply(c.frame, c.greeting);
        EXPECT_EQ(reply.log, c.log) << c.what;
        EXPECT_EQ(Hex(reply.data), c.data) << c.what;
        EXPECT_EQ(reply.networkNumber, c.passed ? std::optional(tenZeroZeroSeven) : std::nullopt) << c.what;
        EXPECT_EQ(reply.greeting, c.passed && c.greeting) << c.what;
        EXPECT_FALSE(reply.truncated) << c.what;
    }
}

// Only the accumulator's 300 bytes reach the parser in the program; anything else must still stay inside
// its bytes, the length-relative checks apply, and a status that lies past the end is not made up.
TEST(GatewayFrame, ParsesFramesOfOtherLengthsWithinTheirBytes) {
    // Start, network number, sums over the first n - 2 bytes and the stop byte of an n-byte frame.
    const auto shortFrame = [](std::size_t n, std::uint8_t kind, std::uint8_t d) {
        std::vector<std::uint8_t> frame(n, 0x00);
        frame[0] = 0x01, frame[1] = 10, frame[4] = 7;
        if (n > 22) frame[21] = kind, frame[22] = d;
        frame[19] = Sum(std::span(frame).first(19));
        frame[n - 2] = Sum(std::span(frame).first(n - 2));
        frame[n - 1] = 0x04;
        return frame;
    };
    const struct {
        const char* what;
        std::vector<std::uint8_t> frame;
        Lines log;
        bool truncated;
    } cases[] = {
        {"nothing at all", {}, {"Error in START byte of NLAN-2 response..."}, false},
        {"a start byte only", {0x01}, {"Error in header CRC of NLAN-2 response..."}, false},
        {"19 bytes: no header sum byte", std::vector<std::uint8_t>(19, 0x01), {"Error in header CRC of NLAN-2 response..."}, false},
        {"30 bytes, status-only: status at 24-26 fits", shortFrame(30, 0xA5, 0), {"Done!"}, false},
        {"30 bytes, data reply D = 10: status at 38 is past the end", shortFrame(30, 0x00, 10), {}, true},
        {"26 bytes, status-only: mask 1 at 26 is past the end", shortFrame(26, 0xA5, 0), {}, true},
        {"22 bytes: no length byte", shortFrame(22, 0x00, 0), {}, true},
    };
    for (const auto& c : cases) {
        const GatewayReply reply = ParseGatewayReply(c.frame, false);
        EXPECT_EQ(reply.log, c.log) << c.what;
        EXPECT_TRUE(reply.data.empty()) << c.what;
        EXPECT_EQ(reply.truncated, c.truncated) << c.what;
        EXPECT_EQ(reply.networkNumber.has_value(), c.log.empty() || c.log[0] == "Done!") << c.what;
    }
}

TEST(GatewayFrame, ReportsTheStatusInItsOrder) {
    const Lines mask1Lines = {"Error in header checksum...", "Error in telegram checksum...", "Wrong telegram length...",
                              "Bad telegram, unknow Start charachter...", "Action denied, no rights to perform it...",
                              "Unknown telegram...", "Start/Stop charachter not recognized...", "Bad network number..."};
    for (int bit = 0; bit < 8; ++bit) {
        const auto value = static_cast<std::uint8_t>(1 << bit);
        EXPECT_EQ(ReportGatewayStatus(1, value, 0), Lines{mask1Lines[static_cast<std::size_t>(bit)]}) << "mask 1 bit " << bit;
        const Lines mask2 = bit == 1   ? Lines{"Timeout expired..."}
                            : bit == 6 ? Lines{"Bad m-bus command..."}
                            : bit == 7 ? Lines{"Bad packet, general communication error..."}
                                       : Lines{};
        EXPECT_EQ(ReportGatewayStatus(1, 0, value), mask2) << "mask 2 bit " << bit;
    }
    const struct {
        const char* what;
        std::uint8_t result, mask1, mask2;
        Lines lines;
    } cases[] = {
        {"result 0 hides the masks", 0, 0xFF, 0xFF, {"Done!"}},
        {"a failure without a mask bit logs nothing", 0x80, 0, 0x3D, {}},
        {"81h and 02h: mask 1 low bit first, mask 2 last", 1, 0x81, 0x02,
         {"Error in header checksum...", "Bad network number...", "Timeout expired..."}},
        {"mask 2 before mask 1 in the frame, after it in the log", 0xFF, 0x20, 0x40, {"Unknown telegram...", "Bad m-bus command..."}},
    };
    for (const auto& c : cases) EXPECT_EQ(ReportGatewayStatus(c.result, c.mask1, c.mask2), c.lines) << c.what;
    Lines all = mask1Lines;
    all.insert(all.end(), {"Timeout expired...", "Bad m-bus command...", "Bad packet, general communication error..."});
    EXPECT_EQ(ReportGatewayStatus(1, 0xFF, 0xFF), all);
}

TEST(GatewayFrame, ParsesAndFormatsDottedQuads) {
    const struct {
        const char* text;
        std::optional<NetworkNumber> number;
    } cases[] = {
        {"0.0.0.0", NetworkNumber{0, 0, 0, 0}},
        {"255.255.255.255", NetworkNumber{255, 255, 255, 255}},
        {"192.168.001.010", NetworkNumber{192, 168, 1, 10}},
        {"0000000255.1.2.3", NetworkNumber{255, 1, 2, 3}},
        {"1.2.3", std::nullopt},
        {"1.2.3.4.5", std::nullopt},
        {"1..3.4", std::nullopt},
        {"1.2.3.256", std::nullopt},
        {"1.2.3.", std::nullopt},
        {".1.2.3", std::nullopt},
        {"...", std::nullopt},
        {"", std::nullopt},
        {"1.2.3.99999999999999999999", std::nullopt},
        {" 1.2.3.4", std::nullopt},
        {"1.2.3.4 ", std::nullopt},
        {"+1.2.3.4", std::nullopt},
        {"1.-2.3.4", std::nullopt},
        {"1.2.3.0x1", std::nullopt},
        {"1,2.3.4.5", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseDottedQuad(c.text), c.number) << c.text;

    EXPECT_EQ(FormatDottedQuad({10, 0, 0, 7}), "10.0.0.7");
    EXPECT_EQ(FormatDottedQuad({255, 100, 9, 0}), "255.100.9.0");
}

} // namespace
} // namespace veltro
