#include <gtest/gtest.h>

#include "link/remote_endpoint.h"
#include "link/serial_port_rules.h"

namespace veltro {
namespace {

TEST(SerialDevicePath, ComNamesStandForTheFirstThirtyTtySPorts) {
    struct Case {
        const char* name;
        std::optional<std::string> path;
    } cases[] = {
        {"COM1", "/dev/ttyS0"},
        {"COM12", "/dev/ttyS11"},
        {"COM30", "/dev/ttyS29"},
        {"com3", "/dev/ttyS2"},          // Windows port names know no case
        {"COM31", "/dev/COM31"},         // beyond the thirty: looked up under /dev like any name
        {"COM0", "/dev/COM0"},
        {"COM01", "/dev/COM01"},
        {"COM", "/dev/COM"},
        {"/dev/pts/7", "/dev/pts/7"},    // a path is used as it is
        {"/tmp/bus", "/tmp/bus"},
        {"ttyUSB0", "/dev/ttyUSB0"},
        {"ttyACM0", "/dev/ttyACM0"},
        {"serial/by-id/usb-Converter_01", "/dev/serial/by-id/usb-Converter_01"},
        {"", std::nullopt},
        {"../sda", std::nullopt},        // cannot climb out of /dev
        {"tty/../../etc/passwd", std::nullopt},
        {"./ttyS0", std::nullopt},
        {"ttyS0/", std::nullopt},
        {"tty\nS0", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(SerialDevicePath(c.name), c.path) << c.name;
}

TEST(SerialLineSettings, SpeedTextsOutsideTheFiveGive2400Baud) {
    struct Case {
        const char* text;
        int baud;
    } cases[] = {{"300", 300},    {"2400", 2400}, {"4800", 4800}, {"9600", 9600}, {"19200", 19200},
                 {"1200", 2400},  {"", 2400},     {" 9600", 2400}, {"9600 ", 2400}, {"115200", 2400}};
    for (const auto& c : cases) EXPECT_EQ(SerialBaudRate(c.text), c.baud) << c.text;
}

TEST(SerialLineSettings, ParityTextsAreComparedExactlyAndAnyOtherGivesEven) {
    struct Case {
        const char* text;
        SerialParity parity;
    } cases[] = {{"None", SerialParity::None}, {"Even", SerialParity::Even}, {"Odd", SerialParity::Odd},
                 {"Mark", SerialParity::Mark}, {"Space", SerialParity::Space}, {"even", SerialParity::Even},
                 {"none", SerialParity::Even}, {"ODD", SerialParity::Even},   {"", SerialParity::Even}};
    for (const auto& c : cases) EXPECT_EQ(SerialParityFromText(c.text), c.parity) << c.text;
}

TEST(SerialStatusTexts, ShowTheTextsAsTyped) {
    EXPECT_EQ(SerialOpenStatus("COM3", "2400", "Even"), "COM3 - 2400,8,Even");
    EXPECT_EQ(SerialOpenStatus("COM1", "1200", "even"), "COM1 - 1200,8,even");
    EXPECT_EQ(SerialClosedStatus("COM1"), "COM1 is closed");
    EXPECT_EQ(SerialPortButtonCaption(true), "Disconnect");
    EXPECT_EQ(SerialPortButtonCaption(false), "Connect to port");
}

TEST(SerialStatusTexts, APortInUseIsNamedInTheCurrentLanguage) {
    EXPECT_EQ(SerialPortInUseMessage("COM7", Language::English),
              "The selected serial port (COM7) is in use by another program!");
    EXPECT_EQ(SerialPortInUseMessage("COM7", Language::Italian),
              "La porta selezionata (COM7) e utilizzata da un\"altra applicazione!");
}

TEST(RemotePort, EmptyFieldGivesTheLinksDefaultAndOnlyPortNumbersAreAccepted) {
    struct Case {
        const char* text;
        std::optional<std::uint16_t> port;
    } cases[] = {{"", 10001},     {"  ", 10001},     {"10001", 10001}, {"502", 502},
                 {" 4000 ", 4000}, {"65535", 65535}, {"65536", std::nullopt}, {"0", std::nullopt},
                 {"99999999", std::nullopt}, {"10 01", std::nullopt}, {"-1", std::nullopt},
                 {"0x10", std::nullopt}, {"port", std::nullopt}};
    for (const auto& c : cases) EXPECT_EQ(RemotePortFromText(c.text, 10001), c.port) << c.text;
    EXPECT_EQ(RemotePortFromText("", 59615), std::optional<std::uint16_t>(59615));
}

} // namespace
} // namespace veltro
