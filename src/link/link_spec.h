#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "app/settings.h"

namespace veltro {

// Where the command line reaches the bus, parsed from the text after --link:
//
//   serial:COM3             the port at 2400 baud, the settings' parity
//   serial:ttyUSB0:9600:Odd the port, its speed and parity as typed (the channel reads them as the
//                           settings window's texts: "1200" opens at 2400 baud, "odd" means even)
//   bridge:10.0.0.7:10001   a transparent serial-over-TCP bridge
//   gateway:10.0.0.7:59615[:0.0.0.1]  a gateway the program connects to, with its network number
//   gateway-server:59615    the program listens there and a gateway connects to it
struct SerialLinkSpec {
    std::string port;
    std::string speed = "2400";
    std::optional<std::string> parity;  // nothing: the settings' parity stays

    bool operator==(const SerialLinkSpec&) const = default;
};

struct BridgeLinkSpec {
    std::string host;
    std::string port;  // decimal digits, 1..65535, as typed

    bool operator==(const BridgeLinkSpec&) const = default;
};

struct GatewayLinkSpec {
    std::string host;
    std::string port;
    std::string network;  // dotted, empty: the settings' "Network number:" stays

    bool operator==(const GatewayLinkSpec&) const = default;
};

struct GatewayServerLinkSpec {
    std::string port;

    bool operator==(const GatewayServerLinkSpec&) const = default;
};

enum class LinkKind { Serial, Bridge, Gateway, GatewayServer };

struct LinkSpec {
    std::variant<SerialLinkSpec, BridgeLinkSpec, GatewayLinkSpec, GatewayServerLinkSpec> target;

    LinkKind kind() const { return static_cast<LinkKind>(target.index()); }
};

struct LinkSpecParse {
    std::optional<LinkSpec> link;
    std::string error;  // the operator's text, empty when `link` is there
};

LinkSpecParse ParseLinkSpec(std::string_view text);

// Selects the link in the communication settings, as checking its mode and filling its fields in the
// settings window would.
void ApplyLinkSpec(const LinkSpec& link, Settings& settings);

} // namespace veltro
