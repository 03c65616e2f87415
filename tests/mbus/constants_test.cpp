#include <gtest/gtest.h>

#include "mbus/constants.h"

namespace veltro {
namespace {

TEST(BaudRateCi, EverySpeedAndItsControlFrameCi) {
    struct Case {
        int baud;
        std::uint8_t ci;
    } cases[] = {{300, 0xB8}, {600, 0xB9}, {1200, 0xBA}, {2400, 0xBB}, {4800, 0xBC}, {9600, 0xBD}};
    for (const auto& c : cases) {
        EXPECT_EQ(BaudRateCi(c.baud), c.ci) << c.baud;
        EXPECT_EQ(BaudOfCi(c.ci), c.baud) << c.baud;
    }
    int cis = 0;
    for (int ci = 0; ci <= 0xFF; ++ci) {
        const auto baud = BaudOfCi(static_cast<std::uint8_t>(ci));
        EXPECT_EQ(baud.has_value(), ci >= 0xB8 && ci <= 0xBD) << ci;
        if (baud) ++cis;
    }
    EXPECT_EQ(cis, 6);
    for (int baud : {0, -2400, 110, 2401, 19200, 38400}) EXPECT_FALSE(BaudRateCi(baud)) << baud;
}

} // namespace
} // namespace veltro
