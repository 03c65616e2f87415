#include <gtest/gtest.h>

#include "mbus/frame_assembler.h"
#include "mbus/frames.h"
#include "mbus/hex.h"
#include "test_util.h"

namespace veltro {
namespace {

using test::Bytes;
using namespace std::chrono_literals;

struct Piece {
    std::chrono::milliseconds at;
    const char* hex;
};

struct AssemblyCase {
    const char* name;
    std::vector<Piece> pieces;
    std::vector<const char*> frames;     // the frames that come out, in order
    std::vector<const char*> discarded;  // the byte runs thrown away, in order
};
void PrintTo(const AssemblyCase& c, std::ostream* os) { *os << c.name; }

class FrameAssembly : public ::testing::TestWithParam<AssemblyCase> {};

TEST_P(FrameAssembly, CutsTheStreamIntoFrames) {
    const auto& c = GetParam();
    FrameAssembler assembler(200ms);
    std::vector<Telegram> frames, discarded;
    for (const auto& piece : c.pieces) {
        for (const auto& event : assembler.feed(Bytes(piece.hex), piece.at)) {
            if (event.frame) frames.push_back(event.frame->bytes);
            else discarded.push_back(event.discarded);
        }
    }
    ASSERT_EQ(frames.size(), c.frames.size());
    for (std::size_t i = 0; i < frames.size(); ++i) EXPECT_EQ(HexRendering(frames[i]), HexRendering(Bytes(c.frames[i]))) << i;
    ASSERT_EQ(discarded.size(), c.discarded.size());
    for (std::size_t i = 0; i < discarded.size(); ++i)
        EXPECT_EQ(HexRendering(discarded[i]), HexRendering(Bytes(c.discarded[i]))) << i;
}

INSTANTIATE_TEST_SUITE_P(
    Stream, FrameAssembly,
    ::testing::Values(
        AssemblyCase{"ReqUd2InOnePiece", {{0ms, "10 7B 05 80 16"}}, {"10 7B 05 80 16"}, {}},
        AssemblyCase{"ReqUd2ByteByByte",
                     {{0ms, "10"}, {1ms, "7B"}, {2ms, "05"}, {3ms, "80"}, {4ms, "16"}},
                     {"10 7B 05 80 16"},
                     {}},
        AssemblyCase{"LongFrameInThreePieces",
                     {{0ms, "68 06"}, {10ms, "06 68 73 FE 51"}, {20ms, "01 7A 07 44 16"}},
                     {"68 06 06 68 73 FE 51 01 7A 07 44 16"},
                     {}},
        AssemblyCase{"TwoFramesInOnePiece",
                     {{0ms, "10 40 05 45 16 10 7B 05 80 16"}},
                     {"10 40 05 45 16", "10 7B 05 80 16"},
                     {}},
        AssemblyCase{"SingleCharacter", {{0ms, "E5"}}, {"E5"}, {}},
        AssemblyCase{"GarbageBeforeAFrameIsDroppedAsOneRun",
                     {{0ms, "00 FF 33 10 7B 05 80 16"}},
                     {"10 7B 05 80 16"},
                     {"00 FF 33"}},
        AssemblyCase{"ShortFrameWithWrongCheckSumGetsNothing",
                     {{0ms, "10 7B 05 81 16 10 7B 06 81 16"}},
                     {"10 7B 06 81 16"},
                     {"10 7B 05 81 16"}},
        AssemblyCase{"ShortStartWithoutStopResynchronisesOnTheNextByte",
                     {{0ms, "10 10 40 05 45 16"}},
                     {"10 40 05 45 16"},
                     {"10"}},
        AssemblyCase{"LongFrameWithWrongCheckSumIsDroppedWhole",
                     {{0ms, "68 06 06 68 73 FE 51 01 7A 07 45 16 10 7B 05 80 16"}},
                     {"10 7B 05 80 16"},
                     {"68 06 06 68 73 FE 51 01 7A 07 45 16"}},
        AssemblyCase{"LongFrameWithWrongStopByte",
                     {{0ms, "68 03 03 68 53 05 BB 13 00"}},
                     {},
                     {"68", "03 03", "68", "53 05 BB 13 00"}},
        AssemblyCase{"LengthFieldsThatDisagree",
                     {{0ms, "68 06 07 68 73 FE 51 01 7A 07 44 16 10 7B 05 80 16"}},
                     {"10 7B 05 80 16"},
                     {"68", "06 07", "68", "73 FE 51 01 7A 07 44 16"}},
        AssemblyCase{"LFieldShorterThanTheFrame",
                     // L = 5 but six bytes follow up to CS: the stop byte is not where L says.
                     {{0ms, "68 05 05 68 73 FE 51 01 7A 07 44 16"}},
                     {},
                     {"68", "05 05", "68", "73 FE 51 01 7A 07 44 16"}},
        AssemblyCase{"PauseInsideAFrameDropsItsBeginning",
                     {{0ms, "68 06 06 68 73"}, {500ms, "10 7B 05 80 16"}},
                     {"10 7B 05 80 16"},
                     {"68 06 06 68 73"}},
        AssemblyCase{"ShortPauseKeepsTheFrameTogether",
                     {{0ms, "68 06 06 68 73"}, {150ms, "FE 51 01 7A 07 44 16"}},
                     {"68 06 06 68 73 FE 51 01 7A 07 44 16"},
                     {}}),
    [](const auto& row) { return row.param.name; });

// Runs of different reasons stay apart; the rows above use reasons only through the byte runs, so the
// grouping rule itself is pinned here.
TEST(FrameAssemblyDetails, GarbageRunsMergeOnlyWithTheSameReason) {
    FrameAssembler assembler;
    auto events = assembler.feed(Bytes("00 01 02"), 0ms);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].reason, "not a frame start");
    EXPECT_EQ(events[0].discarded.size(), 3u);
}

TEST(FrameAssemblyDetails, LongestLongFrameIsAccepted) {
    std::vector<std::uint8_t> data(252, 0x2F);
    const Telegram frame = *BuildLongFrame(0x53, 5, 0x51, data);
    ASSERT_EQ(frame.size(), 261u);
    FrameAssembler assembler;
    auto events = assembler.feed(frame, 0ms);
    ASSERT_EQ(events.size(), 1u);
    ASSERT_TRUE(events[0].frame);
    EXPECT_EQ(events[0].frame->data.size(), 252u);
    EXPECT_EQ(events[0].frame->ci, 0x51);
}

TEST(FrameAssemblyDetails, UnfinishedFrameWaitsForItsRest) {
    FrameAssembler assembler;
    EXPECT_TRUE(assembler.feed(Bytes("68 0B 0B 68 53 FD 52"), 0ms).empty());
    EXPECT_EQ(assembler.pendingBytes(), 7u);
    auto events = assembler.feed(Bytes("78 56 34 12 FF FF FF FF B2 16"), 10ms);
    ASSERT_EQ(events.size(), 1u);
    ASSERT_TRUE(events[0].frame);
    EXPECT_EQ(events[0].frame->address, 0xFD);
    EXPECT_EQ(HexRendering(events[0].frame->data), "78 56 34 12 FF FF FF FF ");
    EXPECT_EQ(assembler.pendingBytes(), 0u);
}

TEST(FrameDescription, NamesWhatTheMasterSent) {
    FrameAssembler assembler;
    const auto describe = [&](const char* hex) {
        auto events = assembler.feed(Bytes(hex), 0ms);
        return events.size() == 1 && events[0].frame ? DescribeFrame(*events[0].frame) : std::string("no frame");
    };
    EXPECT_EQ(describe("10 7B 05 80 16"), "REQ_UD2 (7B) to 5");
    EXPECT_EQ(describe("10 40 FF 3F 16"), "SND_NKE to 255 (broadcast, no reply)");
    EXPECT_EQ(describe("68 0B 0B 68 53 FD 52 78 56 34 12 FF FF FF FF B2 16"), "selection 78 56 34 12 FF FF FF FF");
    EXPECT_EQ(describe("68 03 03 68 53 05 BB 13 16"), "control frame C=53 CI=BB to 5");
}

} // namespace
} // namespace veltro
