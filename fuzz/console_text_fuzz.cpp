// libFuzzer harness for the free command console (seeds in fuzz/corpus/console_text/): any text typed in
// either mode, and any answer rendered for the log. A hex text accepted gives one byte per token, and
// the rendering of any bytes, typed back in hex mode, gives the same bytes.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>

#include "link/console_command.h"
#include "mbus/hex.h"
#include "require.h"

using namespace veltro;

namespace {

std::size_t Tokens(std::string_view text) {
    std::size_t count = 0;
    bool inToken = false;
    for (char c : text) {
        const bool blank = c == ' ';
        if (!blank && !inToken) ++count;
        inToken = !blank;
    }
    return count;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const ConsoleCommand ascii = ParseConsoleCommand(text, ConsoleMode::Ascii);
    Require(!ascii.refused() && std::string_view(reinterpret_cast<const char*>(ascii.bytes.data()), ascii.bytes.size()) == text);

    const ConsoleCommand hex = ParseConsoleCommand(text, ConsoleMode::Hex);
    if (!hex.refused()) Require(hex.bytes.size() == Tokens(text));
    else Require(hex.refusal == kHexCommandTooShort || hex.refusal == kHexCommandBadCharacter);

    const std::span<const std::uint8_t> answer(data, size);
    if (!answer.empty()) {
        const std::string rendered = RenderConsoleAnswer(answer, ConsoleMode::Hex);
        const ConsoleCommand back = ParseConsoleCommand(rendered, ConsoleMode::Hex);
        Require(!back.refused() && back.bytes == Telegram(answer));
        Require(RenderConsoleAnswer(answer, ConsoleMode::Ascii) == text);
        const auto parsed = ParseHex(HexRendering(answer));
        Require(parsed && *parsed == Telegram(answer));
    }
    return 0;
}
