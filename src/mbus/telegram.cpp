#include "mbus/telegram.h"

namespace veltro {

std::uint8_t CheckSum8(std::span<const std::uint8_t> bytes) {
    unsigned sum = 0;
    for (std::uint8_t b : bytes) sum += b;
    return static_cast<std::uint8_t>(sum & 0xFFu);
}

} // namespace veltro
