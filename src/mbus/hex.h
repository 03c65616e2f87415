#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "mbus/telegram.h"

namespace veltro {

// Every byte as two upper-case hex digits followed by one blank, trailing blank included:
// the five-byte REQ_UD2 10 7B 05 80 16 renders as "10 7B 05 80 16 ".
std::string HexRendering(std::span<const std::uint8_t> bytes);

// The same rendering appended to `text`, for a line that starts with a caption ("Respond: ...").
void AppendHexRendering(std::string& text, std::span<const std::uint8_t> bytes);

// Two upper-case hex digits, no blank.
std::string HexByte(std::uint8_t byte);

// The bytes as upper-case hex digits without blanks, in the order given.
std::string HexDigits(std::span<const std::uint8_t> bytes);

// Hex text typed by an operator or stored in a file: pairs of hex digits, either case, with or without
// blanks, tabs, line breaks, commas or a "0x" before a pair. Nothing when a character is not a hex
// digit or the digits do not pair up.
std::optional<Telegram> ParseHex(std::string_view text);

// The strict form devices take (keys, IDs, the console's hex mode): 0-9 and upper-case A-F only.
constexpr bool IsUpperHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }
// The value of a character `IsUpperHexDigit` accepts.
constexpr std::uint8_t UpperHexValue(char c) { return static_cast<std::uint8_t>(c <= '9' ? c - '0' : c - 'A' + 10); }

} // namespace veltro
