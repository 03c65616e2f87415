#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace veltro {

// A cursor over one bounded region of received bytes (a frame, its record area, a device reply, a file
// record). Every read is checked against the region's end; a read that does not fit yields nothing and
// leaves the cursor where it was, so a short input can never be read past its end.
class ByteReader {
public:
    explicit ByteReader(std::span<const std::uint8_t> region, std::size_t position = 0)
        : m_region(region), m_position(position) {}

    std::size_t position() const { return m_position; }
    std::size_t size() const { return m_region.size(); }
    std::size_t remaining() const { return m_position < m_region.size() ? m_region.size() - m_position : 0; }
    bool atEnd() const { return remaining() == 0; }
    bool fits(std::size_t count) const { return count <= remaining(); }

    std::optional<std::uint8_t> peek(std::size_t offset = 0) const {
        if (offset >= remaining()) return std::nullopt;
        return m_region[m_position + offset];
    }

    std::optional<std::uint8_t> readByte() {
        auto value = peek();
        if (value) ++m_position;
        return value;
    }

    // The next `count` bytes, or nothing when fewer remain.
    std::optional<std::span<const std::uint8_t>> readBytes(std::size_t count) {
        if (!fits(count)) return std::nullopt;
        auto bytes = m_region.subspan(m_position, count);
        m_position += count;
        return bytes;
    }

    // Unsigned little-endian integer of `count` bytes (1..8), least significant byte first.
    std::optional<std::uint64_t> readLittleEndian(std::size_t count) {
        if (count == 0 || count > 8 || !fits(count)) return std::nullopt;
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < count; ++i)
            value |= std::uint64_t{m_region[m_position + i]} << (8 * i);
        m_position += count;
        return value;
    }

    bool skip(std::size_t count) {
        if (!fits(count)) return false;
        m_position += count;
        return true;
    }

private:
    std::span<const std::uint8_t> m_region;
    std::size_t m_position;
};

// Bounds-checked single byte of a region at an absolute offset.
inline std::optional<std::uint8_t> ByteAt(std::span<const std::uint8_t> region, std::size_t offset) {
    if (offset >= region.size()) return std::nullopt;
    return region[offset];
}

} // namespace veltro
