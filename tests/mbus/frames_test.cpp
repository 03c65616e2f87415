#include <gtest/gtest.h>

#include "mbus/frames.h"
#include "mbus/hex.h"
#include "test_util.h"

namespace veltro {
namespace {

using test::Bytes;

struct BuilderCase {
    const char* what;
    Telegram built;
    const char* expected;
};
void PrintTo(const BuilderCase& c, std::ostream* os) { *os << c.what; }


class Builders : public ::testing::TestWithParam<BuilderCase> {};

TEST_P(Builders, ProduceTheDocumentedBytes) {
    EXPECT_EQ(HexRendering(GetParam().built), GetParam().expected) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Frames, Builders,
    ::testing::Values(
        BuilderCase{"REQ_UD2 to 5, default 7Bh", BuildReqUd2(5, false), "10 7B 05 80 16 "},
        BuilderCase{"REQ_UD2 to 5 with Use 0x5B", BuildReqUd2(5, true), "10 5B 05 60 16 "},
        BuilderCase{"REQ_UD2 to 254 broadcast, sum wraps", BuildReqUd2(254, false), "10 7B FE 79 16 "},
        BuilderCase{"SND_NKE to 255 wraps modulo 256", BuildSndNke(255), "10 40 FF 3F 16 "},
        BuilderCase{"SND_NKE to 0", BuildSndNke(0), "10 40 00 40 16 "},
        BuilderCase{"control frame baud rate 2400 (CI BBh) to 1", BuildControlFrame(1, 0xBB),
                    "68 03 03 68 53 01 BB 0F 16 "},
        BuilderCase{"selection of 12345678, CS B2h", *BuildSelection("12345678"),
                    "68 0B 0B 68 53 FD 52 78 56 34 12 FF FF FF FF B2 16 "},
        BuilderCase{"long frame without data is a control frame", *BuildLongFrame(0x53, 1, 0xBB, {}),
                    "68 03 03 68 53 01 BB 0F 16 "},
        BuilderCase{"long frame: primary address change of 1 to 5", *BuildLongFrame(0x73, 1, 0x51, Bytes("01 7A 05")),
                    "68 06 06 68 73 01 51 01 7A 05 45 16 "}),
    [](const auto& p) { return "case" + std::to_string(p.index); });

TEST(BuildSelection, AbandonsWhenAnyCharacterIsNotADecimalDigit) {
    for (const char* bad : {"1234567A", "1234 678", "1234567", "123456789", "", "FFFFFFFF", "-1234567"})
        EXPECT_FALSE(BuildSelection(bad).has_value()) << bad;
}

TEST(BuildLongFrame, RefusesDataThatDoesNotFitTheLengthField) {
    std::vector<std::uint8_t> data(252, 0x00);
    auto fits = BuildLongFrame(0x53, 1, 0x51, data);
    ASSERT_TRUE(fits);
    EXPECT_EQ(fits->size(), 255u + 6u);
    EXPECT_EQ((*fits)[1], 0xFF);
    data.push_back(0);
    EXPECT_FALSE(BuildLongFrame(0x53, 1, 0x51, data));
}

struct ValidationCase {
    const char* what;
    const char* response;
    bool valid;
    std::vector<std::string> log;
};
void PrintTo(const ValidationCase& c, std::ostream* os) { *os << c.what; }


class Validation : public ::testing::TestWithParam<ValidationCase> {};

TEST_P(Validation, ChecksSumStopAndLengthInOrder) {
    const auto& c = GetParam();
    const auto result = ValidateLongFrame(Bytes(c.response));
    EXPECT_EQ(result.valid, c.valid) << c.what;
    EXPECT_EQ(result.log, c.log) << c.what;
}

// A well-formed RSP_UD with no records: 68 0F 0F 68 08 05 72 78563412 2E2C 01 07 03 00 0000 CS 16.
constexpr const char* kEmptyResponse = "68 0F 0F 68 08 05 72 78 56 34 12 2E 2C 01 07 03 00 00 00 F8 16";

INSTANTIATE_TEST_SUITE_P(
    Frames, Validation,
    ::testing::Values(
        ValidationCase{"well-formed response", kEmptyResponse, true, {}},
        ValidationCase{"7 bytes are rejected with no line", "68 01 01 68 08 05 16", false, {}},
        ValidationCase{"empty window", "", false, {}},
        ValidationCase{"first start byte 00h is not checked", "00 0F 0F 68 08 05 72 78 56 34 12 2E 2C 01 07 03 00 00 00 F8 16",
                       true, {}},
        ValidationCase{"second start byte and repeated L are not checked",
                       "68 0F 33 00 08 05 72 78 56 34 12 2E 2C 01 07 03 00 00 00 F8 16", true, {}},
        ValidationCase{"wrong sum", "68 0F 0F 68 08 05 72 78 56 34 12 2E 2C 01 07 03 00 00 00 F9 16", false,
                       {"Wrong CRC"}},
        ValidationCase{"last byte 00h and wrong L: stop then length",
                       "68 10 10 68 08 05 72 78 56 34 12 2E 2C 01 07 03 00 00 00 F8 00", false,
                       {"Wrong STOP byte", "Wrong length in the header"}},
        ValidationCase{"all three checks fail, CRC first",
                       "68 10 10 68 08 05 72 78 56 34 12 2E 2C 01 07 03 00 00 00 00 00", false,
                       {"Wrong CRC", "Wrong STOP byte", "Wrong length in the header"}},
        ValidationCase{"E5h in front of a complete response is a failing long frame",
                       "E5 68 0F 0F 68 08 05 72 78 56 34 12 2E 2C 01 07 03 00 00 00 F8 16", false,
                       {"Wrong CRC", "Wrong length in the header"}},
        ValidationCase{"shortest checked frame, 8 bytes, L = 2", "68 02 02 68 08 05 0D 16", true, {}}),
    [](const auto& p) { return "case" + std::to_string(p.index); });

TEST(IsAcknowledge, OnlyTheSingleByteE5) {
    EXPECT_TRUE(IsAcknowledge(Bytes("E5")));
    EXPECT_FALSE(IsAcknowledge(Bytes("")));
    EXPECT_FALSE(IsAcknowledge(Bytes("E5 E5")));
    EXPECT_FALSE(IsAcknowledge(Bytes("E5 68 0F 0F 68")));
    EXPECT_FALSE(IsAcknowledge(Bytes("A5")));
}

TEST(MissingLongFrameBytes, CountsWhatTheLFieldStillAnnouncesAndNothingElse) {
    const struct {
        const char* what;
        const char* bytes;
        std::size_t missing;
    } cases[] = {
        {"nothing yet", "", 0},
        {"acknowledge", "E5", 0},
        {"short frame", "10 7B 05 80 16", 0},
        {"garbage first", "A5 68 03 03 68", 0},
        {"lone start byte: the header's three", "68", 3},
        {"start and L", "68 4A", 2},
        {"the two L differ", "68 4A 4B", 0},
        {"second start byte wrong", "68 03 03 16", 0},
        {"header only, L = 4Ah", "68 4A 4A 68", 0x4A + 2},
        {"header and 20 bytes", "68 4A 4A 68 08 05 72 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00", 0x4A + 2 - 20},
        {"whole", "68 03 03 68 08 05 72 7F 16", 0},
        {"more than announced", "68 03 03 68 08 05 72 7F 16 E5", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(MissingLongFrameBytes(Bytes(c.bytes)), c.missing) << c.what;
}

// A fast window ends on Complete at once, on Garbage after a quiet gap, and waits on Partial.
TEST(ProgressOfAnswer, AWholeAnswerIsOneFrameAndNothingMore) {
    using P = AnswerProgress;
    const struct {
        const char* what;
        const char* bytes;
        P progress;
    } cases[] = {
        {"nothing yet", "", P::Nothing},
        {"acknowledge", "E5", P::Complete},
        {"two acknowledges collided into one stream", "E5 E5", P::Garbage},
        {"short frame begun", "10 7B", P::Partial},
        {"short frame whole", "10 7B 05 80 16", P::Complete},
        {"lone start byte", "68", P::Partial},
        {"header and part of the data", "68 03 03 68 08 05", P::Partial},
        {"long frame whole", "68 03 03 68 08 05 72 7F 16", P::Complete},
        {"L satisfied but the check sum fails: a collision, wait for quiet", "68 03 03 68 08 05 72 00 16", P::Garbage},
        {"a byte after the long frame", "68 03 03 68 08 05 72 7F 16 E5", P::Garbage},
        {"the two L differ", "68 4A 4B", P::Garbage},
        {"no start byte", "A5 68 03 03 68", P::Garbage},
    };
    for (const auto& c : cases) EXPECT_EQ(ProgressOfAnswer(Bytes(c.bytes)), c.progress) << c.what;
}

TEST(AnswerTime, Is330BitTimesAnd50Milliseconds) {
    EXPECT_EQ(AnswerTimeMilliseconds(2400), 188);  // 137.5 rounded up + 50
    EXPECT_EQ(AnswerTimeMilliseconds(9600), 85);
    EXPECT_EQ(AnswerTimeMilliseconds(300), 1150);
    EXPECT_EQ(AnswerTimeMilliseconds(0), 1150);  // unknown: the slowest speed
}

TEST(CheckSum8, IsThePlainSumModulo256) {
    EXPECT_EQ(CheckSum8(Bytes("")), 0x00);
    EXPECT_EQ(CheckSum8(Bytes("FF 01")), 0x00);
    EXPECT_EQ(CheckSum8(Bytes("53 FD 52 78 56 34 12 FF FF FF FF")), 0xB2);
}

} // namespace
} // namespace veltro
