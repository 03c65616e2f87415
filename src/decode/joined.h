#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

namespace veltro {
namespace joined_detail {

// A literal's length is its array size less the terminating zero, known at compile time; anything else
// is viewed as it is.
template <std::size_t N>
constexpr std::string_view View(const char (&literal)[N]) {
    return {literal, N - 1};
}
inline std::string_view View(std::string_view text) { return text; }

} // namespace joined_detail

// The parts one after the other in a text sized once. The report lines of a decode have up to fourteen
// parts, and a chain of `+` reallocates the growing text along the way. The parts are taken as they are
// (literals or strings) rather than as a list of views, so that the literal ones are copied with their
// length known at compile time instead of through a call each.
template <typename... Parts>
std::string Joined(const Parts&... parts) {
    const std::size_t length = (joined_detail::View(parts).size() + ...);
    std::string text(length, ' ');
    char* out = text.data();
    ((out = std::copy_n(joined_detail::View(parts).data(), joined_detail::View(parts).size(), out)), ...);
    return text;
}

} // namespace veltro
