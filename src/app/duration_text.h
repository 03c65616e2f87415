#pragma once

#include <chrono>
#include <optional>
#include <string_view>

namespace veltro {

// "15m", "30s", "2h", "1d", "500ms"; a bare number is seconds. Nothing for zero, a negative, a
// fraction, an unknown unit or more than 366 days.
std::optional<std::chrono::milliseconds> ParseDuration(std::string_view text);

} // namespace veltro
