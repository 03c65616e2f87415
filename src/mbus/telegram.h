#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <vector>

namespace veltro {

// A telegram, outgoing or received: a length and that many bytes 00h..FFh, no terminator.
// Built by appending; received bytes are stored exactly as they came off the link.
class Telegram {
public:
    Telegram() = default;
    Telegram(std::initializer_list<std::uint8_t> bytes) : m_bytes(bytes) {}
    explicit Telegram(std::span<const std::uint8_t> bytes) : m_bytes(bytes.begin(), bytes.end()) {}

    void append(std::uint8_t byte) { m_bytes.push_back(byte); }
    void append(std::span<const std::uint8_t> bytes) { m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end()); }
    void clear() { m_bytes.clear(); }

    std::size_t size() const { return m_bytes.size(); }
    bool empty() const { return m_bytes.empty(); }
    std::uint8_t operator[](std::size_t index) const { return m_bytes[index]; }
    const std::uint8_t* data() const { return m_bytes.data(); }
    auto begin() const { return m_bytes.begin(); }
    auto end() const { return m_bytes.end(); }

    std::span<const std::uint8_t> bytes() const { return m_bytes; }
    operator std::span<const std::uint8_t>() const { return m_bytes; }

    friend bool operator==(const Telegram&, const Telegram&) = default;

private:
    std::vector<std::uint8_t> m_bytes;
};

// The 8-bit arithmetic sum modulo 256 of the given bytes: the M-Bus check sum, also used for every
// check field of the gateway frame. No carry, no complement, no initial value.
std::uint8_t CheckSum8(std::span<const std::uint8_t> bytes);

} // namespace veltro
