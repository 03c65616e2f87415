#include "link/console_command.h"

#include "mbus/hex.h"

namespace veltro {

namespace {



} // namespace

ConsoleCommand ParseConsoleCommand(std::string_view text, ConsoleMode mode) {
    ConsoleCommand command;
    if (mode == ConsoleMode::Ascii) {
        for (const char c : text) command.bytes.append(static_cast<std::uint8_t>(c));
        return command;
    }
    if (text.size() == 1) {
        command.refusal = kHexCommandTooShort;
        return command;
    }
    for (const char c : text) {
        if (c != ' ' && !IsUpperHexDigit(c)) {
            command.refusal = kHexCommandBadCharacter;
            return command;
        }
    }
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(' ', start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view token = text.substr(start, end - start);
        if (token.size() == 1) command.bytes.append(UpperHexValue(token[0]));
        else if (token.size() >= 2) command.bytes.append(static_cast<std::uint8_t>(UpperHexValue(token[0]) << 4 | UpperHexValue(token[1])));
        start = end + 1;
    }
    return command;
}

std::string RenderConsoleAnswer(std::span<const std::uint8_t> answer, ConsoleMode mode) {
    if (mode == ConsoleMode::Hex) return HexRendering(answer);
    return std::string(answer.begin(), answer.end());
}

} // namespace veltro
