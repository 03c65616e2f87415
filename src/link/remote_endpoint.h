#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace veltro {

// The number in a "Remote port:" field: `whenEmpty` for an empty (or blank) field, decimal digits
// 1..65535 otherwise; anything else is nothing, and the connect reports
// "Remote IP and Port are not properly set...". The bridge uses 10001 for an empty field, the gateway
// client 59615.
std::optional<std::uint16_t> RemotePortFromText(std::string_view text, std::uint16_t whenEmpty);

} // namespace veltro
