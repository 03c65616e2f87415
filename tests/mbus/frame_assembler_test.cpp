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
    std::vector<const char*> frames;     // the frames that come out, in order; "text 47 45 54" for a text
    std::vector<const char*> discarded;  // the byte runs thrown away, in order
    std::optional<std::chrono::milliseconds> flushAt = {};  // the quiet line is flushed then
};

std::string Rendered(const MasterFrame& f) {
    return (f.kind == MasterFrame::Kind::Text ? "text " : "") + HexRendering(f.bytes);
}
std::string Rendered(std::string_view expected) {
    if (expected.starts_with("text ")) return "text " + HexRendering(Bytes(expected.substr(5)));
    return HexRendering(Bytes(expected));
}
void PrintTo(const AssemblyCase& c, std::ostream* os) { *os << c.name; }

class FrameAssembly : public ::testing::TestWithParam<AssemblyCase> {};

TEST_P(FrameAssembly, CutsTheStreamIntoFrames) {
    const auto& c = GetParam();
    FrameAssembler assembler(200ms);
    std::vector<std::string> frames;
    std::vector<Telegram> discarded;
    const auto take = [&](const std::vector<AssemblyEvent>& events) {
        for (const auto& event : events) {
            if (event.frame) frames.push_back(Rendered(*event.frame));
            else discarded.push_back(event.discarded);
        }
    };
    for (const auto& piece : c.pieces) take(assembler.feed(Bytes(piece.hex), piece.at));
    if (c.flushAt) take(assembler.flush(*c.flushAt));
    ASSERT_EQ(frames.size(), c.frames.size());
    for (std::size_t i = 0; i < frames.size(); ++i) EXPECT_EQ(frames[i], Rendered(c.frames[i])) << i;
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
                     {}},
        AssemblyCase{"FlushDropsAnUnfinishedFrameAfterTheTimeout", {{0ms, "10 7B"}}, {}, {"10 7B"}, 201ms},
        AssemblyCase{"FlushAtTheTimeoutStillWaits", {{0ms, "10 7B"}}, {}, {}, 200ms},
        // "GET ADDR", "SET TEXT=5,a" + 68 10 E5 16 ...: texts end only at the 20 ms quiet gap.
        AssemblyCase{"TextEndsAtTheGap", {{0ms, "47 45 54 20 41 44 44 52"}}, {"text 47 45 54 20 41 44 44 52"}, {}, 20ms},
        AssemblyCase{"TextNotYetEndedBeforeTheGap", {{0ms, "47 45 54"}}, {}, {}, 19ms},
        AssemblyCase{"TextKeepsFrameBytesInside",
                     {{0ms, "53 45 54 20 54 45 58 54 3D 35 2C 61 68 10 E5 16 10 7B 05 80 16"}},
                     {"text 53 45 54 20 54 45 58 54 3D 35 2C 61 68 10 E5 16 10 7B 05 80 16"},
                     {},
                     20ms},
        AssemblyCase{"TextInPiecesWithinTheGap", {{0ms, "53 45 54 20"}, {19ms, "4C 4F 43 4B"}}, {"text 53 45 54 20 4C 4F 43 4B"}, {}, 39ms},
        AssemblyCase{"NextBurstEndsTheText", {{0ms, "47 45 54"}, {20ms, "10 7B 05 80 16"}}, {"text 47 45 54", "10 7B 05 80 16"}, {}},
        AssemblyCase{"GapSplitsTwoTexts", {{0ms, "53 45 54"}, {25ms, "67"}}, {"text 53 45 54", "text 67"}, {}, 45ms},
        AssemblyCase{"LetterInsideABurstIsGarbage", {{0ms, "00 47 10 7B 05 80 16"}}, {"10 7B 05 80 16"}, {"00 47"}, 100ms},
        AssemblyCase{"LetterRightAfterAFrameIsGarbage", {{0ms, "10 7B 05 80 16"}, {5ms, "47"}}, {"10 7B 05 80 16"}, {"47"}},
        AssemblyCase{"LowerCaseHStartsALongFrame", {{0ms, "68 03 03 68 53 05 BB 13 16"}}, {"68 03 03 68 53 05 BB 13 16"}, {}, 50ms}),
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

TEST(FrameAssemblyDetails, OverlongTextIsDroppedWithTheRestOfItsBurst) {
    FrameAssembler assembler;
    const std::vector<std::uint8_t> text(FrameAssembler::kLongestText + 1, 'A');
    auto events = assembler.feed(text, 0ms);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].discarded.size(), text.size());
    EXPECT_EQ(assembler.feed(Bytes("10 7B 05 80 16"), 10ms).at(0).discarded.size(), 5u) << "same burst";
    ASSERT_EQ(assembler.flushDueAt(), 30ms);
    EXPECT_TRUE(assembler.flush(30ms).empty());
    EXPECT_FALSE(assembler.textPending());
    EXPECT_TRUE(assembler.feed(Bytes("47"), 40ms).empty());
    EXPECT_EQ(Rendered(*assembler.flush(60ms).at(0).frame), "text 47 ");
}

TEST(FrameAssemblyDetails, OnlyTheTextGapEndsATextEvenWhenLongerThanTheFrameTimeout) {
    FrameAssembler assembler(20ms, 110ms);  // a text at 300 baud, a frame timeout shorter than its gap
    EXPECT_TRUE(assembler.feed(Bytes("47 45 54"), 0ms).empty());
    EXPECT_TRUE(assembler.flush(50ms).empty());
    const auto events = assembler.flush(110ms);
    ASSERT_EQ(events.size(), 1u);
    ASSERT_TRUE(events[0].frame);
    EXPECT_EQ(Rendered(*events[0].frame), "text 47 45 54 ");
    EXPECT_FALSE(assembler.textPending());
}

TEST(FrameAssemblyDetails, TextGapIsThreeCharactersAndAtLeast20Ms) {
    const std::pair<int, int> rows[] = {{300, 110}, {600, 55}, {1200, 28}, {2400, 20}, {9600, 20}, {0, 20}};
    for (const auto& [baud, ms] : rows) EXPECT_EQ(TextGapFor(baud).count(), ms) << baud;
    FrameAssembler assembler;
    assembler.setTextGap(TextGapFor(300));
    assembler.feed(Bytes("47 45 54"), 0ms);
    EXPECT_EQ(assembler.flushDueAt(), 110ms);
    EXPECT_TRUE(assembler.flush(109ms).empty());
    EXPECT_EQ(assembler.flush(110ms).size(), 1u);
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
    MasterFrame text;
    text.kind = MasterFrame::Kind::Text;
    text.bytes = Bytes("53 45 54 20 54 45 58 54 3D 31 2C 22 5C 10 E5");
    EXPECT_EQ(DescribeFrame(text), R"(text "SET TEXT=1,\x22\x5C\x10\xE5")");
}

} // namespace
} // namespace veltro
