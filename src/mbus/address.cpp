#include "mbus/address.h"

namespace veltro {

std::optional<int> ParseTargetAddress(std::string_view text, int lowest, int highest) {
    if (text.empty() || text.size() > 3) return std::nullopt;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value < lowest || value > highest) return std::nullopt;
    return value;
}

} // namespace veltro
