#include "app/duration_text.h"

#include <array>
#include <cstdint>

namespace veltro {
namespace {

struct DurationUnit {
    std::string_view suffix;
    std::int64_t milliseconds;
};

constexpr std::array kUnits{
    DurationUnit{"", 1000}, DurationUnit{"ms", 1}, DurationUnit{"s", 1000}, DurationUnit{"m", 60'000},
    DurationUnit{"min", 60'000}, DurationUnit{"h", 3'600'000}, DurationUnit{"d", 86'400'000},
};

constexpr std::int64_t kLongest = 366LL * 86'400'000;

} // namespace

std::optional<std::chrono::milliseconds> ParseDuration(std::string_view text) {
    std::size_t digits = 0;
    std::int64_t count = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
        count = count * 10 + (text[digits] - '0');
        if (count > kLongest) return std::nullopt;
        ++digits;
    }
    if (digits == 0 || count == 0) return std::nullopt;
    const std::string_view suffix = text.substr(digits);
    for (const DurationUnit& unit : kUnits) {
        if (unit.suffix != suffix) continue;
        if (count > kLongest / unit.milliseconds) return std::nullopt;
        return std::chrono::milliseconds(count * unit.milliseconds);
    }
    return std::nullopt;
}

} // namespace veltro
