#include <gtest/gtest.h>

#include "link/link_spec.h"

namespace veltro {
namespace {

constexpr const char* kBaudError = "baud rate must be 300, 2400, 4800, 9600 or 19200: ";
constexpr const char* kFormError =
    "--link must be serial:PORT[:BAUD[:PARITY]], bridge:HOST:PORT, gateway:HOST:PORT[:NETWORK] or gateway-server:PORT: ";

struct ParseCase {
    const char* what;
    const char* text;
    std::variant<SerialLinkSpec, BridgeLinkSpec, std::string> expected;  // a string: the error
};

void Check(const ParseCase& c) {
    SCOPED_TRACE(std::string(c.what) + ": \"" + c.text + "\"");
    const LinkSpecParse parsed = ParseLinkSpec(c.text);
    if (const auto* error = std::get_if<std::string>(&c.expected)) {
        EXPECT_FALSE(parsed.link);
        EXPECT_EQ(parsed.error, *error);
        return;
    }
    ASSERT_TRUE(parsed.link) << parsed.error;
    EXPECT_TRUE(parsed.error.empty());
    if (const auto* serial = std::get_if<SerialLinkSpec>(&c.expected)) {
        EXPECT_EQ(parsed.link->kind(), LinkKind::Serial);
        EXPECT_EQ(std::get<SerialLinkSpec>(parsed.link->target), *serial);
    } else {
        EXPECT_EQ(parsed.link->kind(), LinkKind::Bridge);
        EXPECT_EQ(std::get<BridgeLinkSpec>(parsed.link->target), std::get<BridgeLinkSpec>(c.expected));
    }
}

TEST(ParseLinkSpec, SerialPortWithOptionalSpeedAndParity) {
    const ParseCase cases[] = {
        {"port alone: 2400 baud, parity left to the settings", "serial:COM3", SerialLinkSpec{"COM3", "2400", {}}},
        {"a path as port", "serial:/dev/pts/7", SerialLinkSpec{"/dev/pts/7", "2400", {}}},
        {"speed", "serial:ttyUSB0:9600", SerialLinkSpec{"ttyUSB0", "9600", {}}},
        {"speed and parity", "serial:COM1:19200:Odd", SerialLinkSpec{"COM1", "19200", "Odd"}},
        {"lowest speed", "serial:COM1:300", SerialLinkSpec{"COM1", "300", {}}},
        {"a speed in the range that is no rate is kept as typed", "serial:COM1:1200", SerialLinkSpec{"COM1", "1200", {}}},
        {"leading zero kept as typed", "serial:COM1:02400", SerialLinkSpec{"COM1", "02400", {}}},
        {"parity is not checked here", "serial:COM1:2400:even", SerialLinkSpec{"COM1", "2400", "even"}},
        {"an empty parity is a parity", "serial:COM1:2400:", SerialLinkSpec{"COM1", "2400", ""}},
    };
    for (const ParseCase& c : cases) Check(c);
}

TEST(ParseLinkSpec, SerialSpeedOutsideTheRangeIsABaudError) {
    const ParseCase cases[] = {
        {"above 19200", "serial:COM3:115200", std::string(kBaudError) + "115200"},
        {"below 300", "serial:COM3:299", std::string(kBaudError) + "299"},
        {"empty", "serial:COM3:", std::string(kBaudError)},
        {"signed", "serial:COM3:+2400", std::string(kBaudError) + "+2400"},
        {"blank", "serial:COM3: 2400", std::string(kBaudError) + " 2400"},
        {"seven digits, even with zeros", "serial:COM3:0002400", std::string(kBaudError) + "0002400"},
        {"checked before the parity", "serial:COM3:x:Even", std::string(kBaudError) + "x"},
    };
    for (const ParseCase& c : cases) Check(c);
}

TEST(ParseLinkSpec, BridgeHostAndPort) {
    const ParseCase cases[] = {
        {"address and port", "bridge:127.0.0.1:10001", BridgeLinkSpec{"127.0.0.1", "10001"}},
        {"a name", "bridge:meters.local:1", BridgeLinkSpec{"meters.local", "1"}},
        {"highest port", "bridge:h:65535", BridgeLinkSpec{"h", "65535"}},
    };
    for (const ParseCase& c : cases) Check(c);
}

TEST(ParseLinkSpec, AnythingElseNamesTheForms) {
    const char* texts[] = {
        "",
        "serial",
        "serial:",
        "serial::2400",
        "serial:COM3:2400:Even:1",
        "Serial:COM3",          // kinds are lower case
        "bridge:h",
        "bridge::10001",
        "bridge:h:0",
        "bridge:h:65536",
        "bridge:h:",
        "bridge:h:10001:x",
        "bridge:::1:10001",     // an IPv6 address has colons of its own
        "telnet:x",
        "gateway:h",
        "gateway:h:0",
        "gateway:h:1:2:3",
        "gateway-server:",
        "gateway-server:70000",
    };
    for (const char* text : texts) Check({"not a link", text, std::string(kFormError) + text});
}

TEST(ParseLinkSpec, GatewayFormsSelectTheirModeAndKeepTheNetworkNumber) {
    const auto client = ParseLinkSpec("gateway:10.0.0.7:59615:0.0.0.1");
    ASSERT_TRUE(client.link) << client.error;
    EXPECT_EQ(std::get<GatewayLinkSpec>(client.link->target), (GatewayLinkSpec{"10.0.0.7", "59615", "0.0.0.1"}));
    EXPECT_EQ(ParseLinkSpec("gateway:h:1:1.2.3.256").error, "the network number must be four numbers 0-255 with dots: 1.2.3.256");
    const auto server = ParseLinkSpec("gateway-server:59615");
    ASSERT_TRUE(server.link) << server.error;

    Settings settings;
    settings.misc.useVodud = true;
    ApplyLinkSpec(*client.link, settings);
    EXPECT_TRUE(settings.misc.useNlanServ && !settings.misc.useEthernet && !settings.misc.useVodud);
    EXPECT_EQ(settings.vodud.netNumber, "0.0.0.1");
    ApplyLinkSpec(*server.link, settings);
    EXPECT_TRUE(settings.misc.useEthernet && !settings.misc.useNlanServ);
    EXPECT_EQ(settings.ethernet.listenPort, "59615");
}

TEST(ApplyLinkSpec, SelectsTheLinkModeAndFillsItsFields) {
    Settings before;
    before.misc.useEthernet = true;
    before.misc.useNlanServ = true;
    before.misc.useVodud = false;
    before.comPort = {"COM9", "4800", "Odd", true, true};
    before.vodud.ip = "10.0.0.1";
    before.vodud.port = "502";

    Settings serial = before;
    serial.misc.useVodud = true;
    ApplyLinkSpec(LinkSpec{SerialLinkSpec{"ttyUSB0", "9600", {}}}, serial);
    EXPECT_FALSE(serial.misc.useEthernet || serial.misc.useNlanServ || serial.misc.useVodud);
    EXPECT_EQ(serial.comPort.name, "ttyUSB0");
    EXPECT_EQ(serial.comPort.speed, "9600");
    EXPECT_EQ(serial.comPort.parity, "Odd");  // none given: the settings' parity stays
    EXPECT_EQ(serial.vodud.ip, "10.0.0.1");

    ApplyLinkSpec(LinkSpec{SerialLinkSpec{"COM2", "2400", "None"}}, serial);
    EXPECT_EQ(serial.comPort.parity, "None");

    Settings bridge = before;
    ApplyLinkSpec(LinkSpec{BridgeLinkSpec{"127.0.0.1", "10001"}}, bridge);
    EXPECT_FALSE(bridge.misc.useEthernet || bridge.misc.useNlanServ);
    EXPECT_TRUE(bridge.misc.useVodud);
    EXPECT_EQ(bridge.vodud.ip, "127.0.0.1");
    EXPECT_EQ(bridge.vodud.port, "10001");
    EXPECT_EQ(bridge.comPort.name, "COM9");  // the serial fields are not the bridge's
}

} // namespace
} // namespace veltro
