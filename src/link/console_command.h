#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "mbus/telegram.h"

namespace veltro {

// The free command console's input mode: `Check_ascii` "ASCII" or `Check_hex` "Hex".
enum class ConsoleMode { Ascii, Hex };

inline constexpr std::string_view kHexCommandTooShort = "Wrong custom hex command, 2 symbols at least...";
inline constexpr std::string_view kHexCommandBadCharacter = "Wrong custom hex command, 0..F uppercase allowed";

// What `Butt_command_sendClick` sends for a console text: the bytes, or the refusal to log instead.
struct ConsoleCommand {
    Telegram bytes;
    std::string refusal;  // empty when the text is accepted
    bool refused() const { return !refusal.empty(); }
};

// ASCII mode: the text's bytes unchanged, without a line end.
// Hex mode: only "0".."9", "A".."F" and blanks; tokens between blanks give one byte each, a
// one-character token is read as "0" and it, a longer token by its first two characters:
//   "10 5B 1 5B 16" -> 10 5B 01 5B 16       "105B" -> 10
//   "10 5b"         -> refused, lower case   "1"    -> refused, one character
// An empty text gives no bytes; the console does nothing for it.
ConsoleCommand ParseConsoleCommand(std::string_view text, ConsoleMode mode);

// The log line `Timer_free_commandTimer` writes for an answer: in ASCII mode the bytes as text
// ("OK"), in Hex mode their hexadecimal rendering ("4F 4B "). Nothing received gives no line at all;
// this is called only with a non-empty answer.
std::string RenderConsoleAnswer(std::span<const std::uint8_t> answer, ConsoleMode mode);

} // namespace veltro
