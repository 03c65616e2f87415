#include <gtest/gtest.h>

#include "link/console_command.h"
#include "test_util.h"

namespace veltro {
namespace {

TEST(ConsoleHexCommand, TokensBetweenBlanksGiveOneByteEach) {
    struct Case {
        const char* what;
        const char* text;
        const char* bytes;
    } cases[] = {
        {"one-character token is read with a leading 0", "10 5B 1 5B 16", "10 5B 01 5B 16"},
        {"a four-character token sends its first byte only", "105B", "10"},
        {"a longer token counts by its first two characters", "10 5BFF 16", "10 5B 16"},
        {"runs of blanks separate like one", "  10   5B  ", "10 5B"},
        {"REQ_UD2 typed in full", "10 7B 05 80 16", "10 7B 05 80 16"},
        {"two characters without a blank", "E5", "E5"},
        {"blanks only send nothing", "   ", ""},
    };
    for (const auto& c : cases) {
        const ConsoleCommand command = ParseConsoleCommand(c.text, ConsoleMode::Hex);
        EXPECT_FALSE(command.refused()) << c.what << ": " << command.refusal;
        EXPECT_EQ(command.bytes, test::Bytes(c.bytes)) << c.what;
    }
}

TEST(ConsoleHexCommand, RefusalsNameTheirReasonAndSendNothing) {
    struct Case {
        const char* what;
        const char* text;
        std::string_view refusal;
    } cases[] = {
        {"lower-case letters", "10 5b", kHexCommandBadCharacter},
        {"letter beyond F", "10 5G", kHexCommandBadCharacter},
        {"a tab is no blank", "10\t5B", kHexCommandBadCharacter},
        {"0x prefix", "0x10", kHexCommandBadCharacter},
        {"one character", "1", kHexCommandTooShort},
        {"one character, even a wrong one", "g", kHexCommandTooShort},
        {"one blank", " ", kHexCommandTooShort},
    };
    for (const auto& c : cases) {
        const ConsoleCommand command = ParseConsoleCommand(c.text, ConsoleMode::Hex);
        EXPECT_EQ(command.refusal, c.refusal) << c.what;
        EXPECT_TRUE(command.bytes.empty()) << c.what;
    }
    EXPECT_EQ(kHexCommandTooShort, "Wrong custom hex command, 2 symbols at least...");
    EXPECT_EQ(kHexCommandBadCharacter, "Wrong custom hex command, 0..F uppercase allowed");
}

TEST(ConsoleAsciiCommand, TheTextGoesOutByteForByteWithoutLineEnd) {
    const ConsoleCommand eight = ParseConsoleCommand("GET INFO", ConsoleMode::Ascii);
    EXPECT_FALSE(eight.refused());
    EXPECT_EQ(eight.bytes, test::Bytes("47 45 54 20 49 4E 46 4F"));

    // What hex mode refuses is plain text here.
    EXPECT_EQ(ParseConsoleCommand("1", ConsoleMode::Ascii).bytes, test::Bytes("31"));
    EXPECT_EQ(ParseConsoleCommand("10 5b", ConsoleMode::Ascii).bytes, test::Bytes("31 30 20 35 62"));
    EXPECT_EQ(ParseConsoleCommand(std::string_view("a\0b", 3), ConsoleMode::Ascii).bytes, test::Bytes("61 00 62"));
}

TEST(ConsoleAnswer, IsShownAsTextInAsciiModeAndAsHexRenderingInHexMode) {
    const Telegram ok = test::Bytes("4F 4B");
    EXPECT_EQ(RenderConsoleAnswer(ok, ConsoleMode::Ascii), "OK");
    EXPECT_EQ(RenderConsoleAnswer(ok, ConsoleMode::Hex), "4F 4B ");
    const Telegram ack = test::Bytes("E5");
    EXPECT_EQ(RenderConsoleAnswer(ack, ConsoleMode::Hex), "E5 ");
    EXPECT_EQ(RenderConsoleAnswer(test::Bytes("4F 00 4B 0D 0A"), ConsoleMode::Ascii), std::string("O\0K\r\n", 5));
}

} // namespace
} // namespace veltro
