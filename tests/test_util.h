#pragma once

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "mbus/hex.h"

namespace veltro::test {

// Hex text to bytes; a malformed literal in a test is a fault of the test itself.
inline Telegram Bytes(std::string_view hex) {
    auto t = ParseHex(hex);
    if (!t) throw std::invalid_argument("bad hex in test: " + std::string(hex));
    return *t;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace veltro::test
