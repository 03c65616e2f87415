#include "mbus/hex.h"

namespace veltro {
namespace {

constexpr char kDigits[] = "0123456789ABCDEF";

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool IsSeparator(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ','; }

} // namespace

std::string HexByte(std::uint8_t byte) {
    return {kDigits[byte >> 4], kDigits[byte & 0x0F]};
}

std::string HexRendering(std::span<const std::uint8_t> bytes) {
    std::string text;
    AppendHexRendering(text, bytes);
    return text;
}

// Written into a string sized once: a telegram's rendering runs to several hundred characters, and
// appending them one at a time was a noticeable part of every decode.
void AppendHexRendering(std::string& text, std::span<const std::uint8_t> bytes) {
    const std::size_t at = text.size();
    text.resize(at + bytes.size() * 3);
    char* out = text.data() + at;
    for (std::uint8_t b : bytes) {
        *out++ = kDigits[b >> 4];
        *out++ = kDigits[b & 0x0F];
        *out++ = ' ';
    }
}

std::string HexDigits(std::span<const std::uint8_t> bytes) {
    std::string text(bytes.size() * 2, '0');
    char* out = text.data();
    for (std::uint8_t b : bytes) {
        *out++ = kDigits[b >> 4];
        *out++ = kDigits[b & 0x0F];
    }
    return text;
}

std::optional<Telegram> ParseHex(std::string_view text) {
    Telegram result;
    int pending = -1;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (IsSeparator(c)) {
            if (pending >= 0) return std::nullopt; // a lone digit between separators
            continue;
        }
        if (pending < 0 && c == '0' && i + 1 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
            ++i;
            continue;
        }
        const int value = HexValue(c);
        if (value < 0) return std::nullopt;
        if (pending < 0) {
            pending = value;
        } else {
            result.append(static_cast<std::uint8_t>(pending * 16 + value));
            pending = -1;
        }
    }
    if (pending >= 0) return std::nullopt;
    return result;
}

} // namespace veltro
