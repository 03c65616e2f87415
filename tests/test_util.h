#pragma once

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "mbus/constants.h"
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

namespace veltro::test {

// Builds a valid RSP_UD around the given record bytes: 68 L L 68 08 A 72 id(4) mfr(2) version medium
// access status 00 00 records CS 16. `header` is the 12 header bytes as hex, records too.
inline Telegram Response(std::string_view header, std::string_view records, std::uint8_t address = 1) {
    Telegram body{frame::kRspUd, address, frame::kCiVariableData};
    body.append(Bytes(header));
    body.append(Bytes(records));
    Telegram frame{0x68, static_cast<std::uint8_t>(body.size()), static_cast<std::uint8_t>(body.size()), 0x68};
    frame.append(body);
    frame.append(CheckSum8(body));
    frame.append(0x16);
    return frame;
}

// Header bytes: identification 12345678, manufacturer, version 01, medium, access 05, status 00, signature.
inline std::string Header(std::string_view manufacturerBytes, std::string_view medium) {
    return "78 56 34 12 " + std::string(manufacturerBytes) + " 01 " + std::string(medium) + " 05 00 00 00";
}

inline constexpr const char* kKan = "2E 2C";
inline constexpr const char* kWater = "07";
inline constexpr const char* kHeat = "04";
inline constexpr const char* kOther = "00";

} // namespace veltro::test
