#include "link/link_spec.h"

#include <type_traits>
#include <vector>

#include "devices/gateway_frame.h"

namespace veltro {
namespace {

static_assert(std::variant_size_v<decltype(LinkSpec::target)> == 4 &&
                  std::is_same_v<std::variant_alternative_t<static_cast<std::size_t>(LinkKind::Serial), decltype(LinkSpec::target)>,
                                 SerialLinkSpec> &&
                  std::is_same_v<std::variant_alternative_t<static_cast<std::size_t>(LinkKind::Bridge), decltype(LinkSpec::target)>,
                                 BridgeLinkSpec> &&
                  std::is_same_v<std::variant_alternative_t<static_cast<std::size_t>(LinkKind::Gateway), decltype(LinkSpec::target)>,
                                 GatewayLinkSpec>,
              "LinkKind names the variant's alternatives in their order");

// Up to six decimal digits, no sign or blank, within [lowest, highest]; "02400" is 2400.
bool InRange(std::string_view text, int lowest, int highest) {
    if (text.empty() || text.size() > 6) return false;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return value >= lowest && value <= highest;
}

std::vector<std::string_view> SplitAtColons(std::string_view text) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t colon; (colon = text.find(':', start)) != std::string_view::npos; start = colon + 1)
        parts.push_back(text.substr(start, colon - start));
    parts.push_back(text.substr(start));
    return parts;
}

} // namespace

LinkSpecParse ParseLinkSpec(std::string_view text) {
    const std::vector<std::string_view> parts = SplitAtColons(text);
    if (parts[0] == "bridge" && parts.size() == 3 && !parts[1].empty() && InRange(parts[2], 1, 65535))
        return {LinkSpec{BridgeLinkSpec{std::string(parts[1]), std::string(parts[2])}}, {}};
    if (parts[0] == "gateway" && (parts.size() == 3 || parts.size() == 4) && !parts[1].empty() && InRange(parts[2], 1, 65535)) {
        if (parts.size() == 4 && !ParseDottedQuad(parts[3]))
            return {std::nullopt, "the network number must be four numbers 0-255 with dots: " + std::string(parts[3])};
        return {LinkSpec{GatewayLinkSpec{std::string(parts[1]), std::string(parts[2]), parts.size() == 4 ? std::string(parts[3]) : ""}}, {}};
    }
    if (parts[0] == "gateway-server" && parts.size() == 2 && InRange(parts[1], 1, 65535))
        return {LinkSpec{GatewayServerLinkSpec{std::string(parts[1])}}, {}};
    if (parts[0] == "serial" && parts.size() >= 2 && parts.size() <= 4 && !parts[1].empty()) {
        SerialLinkSpec serial;
        serial.port = std::string(parts[1]);
        if (parts.size() >= 3) {
            // Any speed in the range passes, as the settings window's speed text does.
            if (!InRange(parts[2], 300, 19200))
                return {std::nullopt, "baud rate must be 300, 2400, 4800, 9600 or 19200: " + std::string(parts[2])};
            serial.speed = std::string(parts[2]);
        }
        if (parts.size() == 4) serial.parity = std::string(parts[3]);
        return {LinkSpec{std::move(serial)}, {}};
    }
    return {std::nullopt, "--link must be serial:PORT[:BAUD[:PARITY]], bridge:HOST:PORT, gateway:HOST:PORT[:NETWORK] or "
                          "gateway-server:PORT: " + std::string(text)};
}

void ApplyLinkSpec(const LinkSpec& link, Settings& settings) {
    settings.misc.useEthernet = link.kind() == LinkKind::GatewayServer;
    settings.misc.useNlanServ = link.kind() == LinkKind::Gateway;
    settings.misc.useVodud = link.kind() == LinkKind::Bridge;
    if (const auto* gateway = std::get_if<GatewayLinkSpec>(&link.target)) {
        settings.vodud.ip = gateway->host;
        settings.vodud.port = gateway->port;
        if (!gateway->network.empty()) settings.vodud.netNumber = gateway->network;
    } else if (const auto* server = std::get_if<GatewayServerLinkSpec>(&link.target)) {
        settings.ethernet.listenPort = server->port;
    } else if (const auto* bridge = std::get_if<BridgeLinkSpec>(&link.target)) {
        settings.vodud.ip = bridge->host;
        settings.vodud.port = bridge->port;
    } else if (const auto* serial = std::get_if<SerialLinkSpec>(&link.target)) {
        settings.comPort.name = serial->port;
        settings.comPort.speed = serial->speed;
        if (serial->parity) settings.comPort.parity = *serial->parity;
    }
}

} // namespace veltro
