#include "link/remote_endpoint.h"

namespace veltro {

std::optional<std::uint16_t> RemotePortFromText(std::string_view text, std::uint16_t whenEmpty) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return whenEmpty;
    text = text.substr(first, text.find_last_not_of(" \t") - first + 1);
    if (text.size() > 5) return std::nullopt;
    unsigned value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value == 0 || value > 65535) return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

} // namespace veltro
