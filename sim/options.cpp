#include "sim/options.h"

#include <charconv>

#include "mbus/constants.h"
#include "sim/generated_bus.h"
#include "sim/meter.h"

namespace veltro::sim {

const char* const kSimulatorUsage =
    "Usage: mbus-sim [--bridge HOST:PORT] [--pty [LINK]]\n"
    "                [--gateway HOST:PORT | --gateway-connect HOST:PORT] [--network A.B.C.D]\n"
    "                [--gateway-delay MS] [--gateway-chunk N] [--gateway-pty [LINK]]\n"
    "                [--meters FILE.json | --generate N[:SEED]]\n"
    "                [--latency MS] [--baud N] [--wire-speed] [--verbose] [--journal FILE]\n"
    "                [--faults drop=P,corrupt=P,delay=P [--fault-seed N]]\n"
    "                [--no-display | [--display-layout WORDS] [--display-date YYYY-MM-DD]\n"
    "                 [--display-sort-busy MS] [--display-baud N]] [--no-receiver] [--no-rxvpico]\n"
    "\n"
    "Simulates wired M-Bus meters (EN 13757-2/-3) on a virtual bus.\n"
    "\n"
    "  --bridge HOST:PORT  serve the bus as a transparent TCP bridge (port 0: a free port);\n"
    "                      prints \"bridge HOST:PORT\"\n"
    "  --pty [LINK]        serve the bus on a pseudo-terminal; prints \"pty /dev/pts/N\";\n"
    "                      LINK: also a symbolic link to it, removed at exit\n"
    "  --gateway HOST:PORT serve the bus as an M-Bus/Ethernet gateway with 300-byte frames, listening\n"
    "                      (port 0: a free port); prints \"gateway HOST:PORT\"; greets each connection\n"
    "  --gateway-connect HOST:PORT\n"
    "                      the same gateway, calling the program's listening port instead, every\n"
    "                      second until it connects and again after a disconnect;\n"
    "                      prints \"gateway-connect HOST:PORT\"\n"
    "  --network A.B.C.D   the gateway's network number (default 0.0.0.1)\n"
    "  --gateway-delay MS  every gateway reply that much later, 0..60000 (a GPRS gateway; default 0)\n"
    "  --gateway-chunk N   gateway replies in pieces of N bytes, 1..300, with 20 ms between them\n"
    "  --gateway-pty [LINK]\n"
    "                      the gateway's RS-232 settings port (SET/GET) on a pseudo-terminal;\n"
    "                      prints \"gateway-pty /dev/pts/N\"; LINK: also a symbolic link to it\n"
    "  --meters FILE.json  the meters (see docs/SIMULATOR.md); default: the built-in bus\n"
    "  --generate N[:SEED] instead, N meters (1..250) at primary address 0 with distinct random\n"
    "                      8-digit identifications, manufacturer SIM; the same N:SEED always gives\n"
    "                      the same meters (SEED 0..4294967295, default 1)\n"
    "  --latency MS        answer delay in milliseconds, 0..10000 (default 20)\n"
    "  --baud N            line speed of the bridge and the gateway: 300, 600, 1200, 2400, 4800 or\n"
    "                      9600 (default 2400);\n"
    "                      on the pseudo-terminal the speed the program sets counts\n"
    "  --wire-speed        both directions at the line speed, 11 bits per character: the meters\n"
    "                      hear a frame once it has crossed the line, answers trickle back\n"
    "  --verbose           log every telegram received and sent to standard error\n"
    "  --faults drop=P,corrupt=P,delay=P\n"
    "                      a noisy line: each character the devices send is lost, replaced by\n"
    "                      another byte, or held back 2..20 character times (with those after it),\n"
    "                      each with P percent, 0..50, decimals allowed; any of the keys, e.g.\n"
    "                      drop=1,corrupt=0.5; --verbose logs every fault\n"
    "  --fault-seed N      the seed of the faults, 0..4294967295 (default 1): the same traffic\n"
    "                      meets the same faults\n"
    "  --journal FILE      write every frame the bus hears, its answer, the meters it reached and\n"
    "                      what it changed, as one JSON line each (FILE is replaced)\n"
    "  --no-display        no display on the bus (the default bus and a meters file with\n"
    "                      \"display\" have one)\n"
    "  --display-layout WORDS\n"
    "                      the display's answer layouts, comma-separated: inline or column\n"
    "                      (\"Active devices: \"), user-line or star (entry page 1, tariffs),\n"
    "                      short or tariffs (history); e.g. column,star,tariffs\n"
    "  --display-date YYYY-MM-DD\n"
    "                      the display's date at start (default: the host's), which dates\n"
    "                      its monthly history\n"
    "  --display-sort-busy MS\n"
    "                      how long the display stays silent after SET SORT, 0..600000\n"
    "                      (default 5000)\n"
    "  --display-baud N    the display's line speed (default 2400); it hears no other\n"
    "  --no-receiver       no RXV-KT receiver on the bus (the default bus and a meters file with\n"
    "                      \"rxv_kt\" or \"wireless\" have one)\n"
    "  --no-rxvpico        no RXVpico receiver on the bus (the default bus has one at address 30,\n"
    "                      a meters file with \"rxvpico\" one of its own)\n"
    "  -h, --help          show this help\n"
    "\n"
    "At least one of --bridge, --pty, --gateway and --gateway-connect is needed. Runs until SIGINT or SIGTERM.\n";

namespace {

template <typename Integer>
std::optional<Integer> Number(const std::string& text, Integer lowest, Integer highest) {
    Integer value = 0;
    const auto* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc{} || ptr != end || value < lowest || value > highest) return std::nullopt;
    return value;
}

// "column,star,tariffs": each word sets one of the three layouts; the error text, empty when read.
std::string ParseLayoutWords(const std::string& text, DisplayOverrides& out) {
    using L = DisplayLayout;
    std::size_t start = 0;
    while (start <= text.size()) {
        const auto comma = text.find(',', start);
        const std::string word = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (word == "inline") out.addresses = L::Addresses::Inline;
        else if (word == "column") out.addresses = L::Addresses::Column;
        else if (word == "user-line") out.entry = L::Entry::UserLine;
        else if (word == "star") out.entry = L::Entry::Star;
        else if (word == "short") out.history = L::History::Short;
        else if (word == "tariffs") out.history = L::History::Tariffs;
        else return "--display-layout: \"" + word + "\" is not inline, column, user-line, star, short or tariffs";
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return {};
}

} // namespace

void DisplayOverrides::applyTo(DisplayConfig& config) const {
    if (addresses) config.layout.addresses = *addresses;
    if (entry) config.layout.entry = *entry;
    if (history) config.layout.history = *history;
    if (date) config.date = *date;
    if (sortBusy) config.sortBusy = *sortBusy;
    if (baud) config.baud = *baud;
}

ParsedOptions ParseSimulatorOptions(std::span<const std::string> arguments) {
    SimulatorOptions o;
    std::string gatewayOnly;  // the last option that means nothing without a gateway
    bool faults = false;
    bool faultSeed = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string name = arguments[i];
        std::optional<std::string> inlineValue;
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            inlineValue = name.substr(eq + 1);
            name = name.substr(0, eq);
        }
        const auto value = [&](std::string& out) -> bool {
            if (inlineValue) {
                out = *inlineValue;
                return true;
            }
            if (i + 1 >= arguments.size()) return false;
            out = arguments[++i];
            return true;
        };
        const auto missing = [&] { return ParsedOptions{std::nullopt, name + " needs a value"}; };
        const auto optionalLink = [&](std::string& out) {
            if (inlineValue) out = *inlineValue;
            else if (i + 1 < arguments.size() && !arguments[i + 1].empty() && arguments[i + 1][0] != '-') out = arguments[++i];
        };
        // HOST:PORT into `host` and `port`; the error text, empty when it was read.
        const auto endpoint = [&](std::string& host, std::uint16_t& port) -> std::string {
            std::string text;
            if (!value(text)) return name + " needs a value";
            const auto colon = text.rfind(':');
            if (colon == std::string::npos || colon == 0) return name + " wants HOST:PORT, not \"" + text + "\"";
            const auto number = Number(text.substr(colon + 1), 0, 65535);
            if (!number) return name + ": \"" + text.substr(colon + 1) + "\" is not a port 0..65535";
            host = text.substr(0, colon);
            if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
            port = static_cast<std::uint16_t>(*number);
            return {};
        };

        if (name == "-h" || name == "--help") {
            o.help = true;
        } else if (name == "--bridge") {
            if (auto error = endpoint(o.bridgeHost, o.bridgePort); !error.empty()) return {std::nullopt, error};
            o.bridge = true;
        } else if (name == "--gateway" || name == "--gateway-connect") {
            if (o.gateway || o.gatewayConnect) return {std::nullopt, "--gateway and --gateway-connect exclude each other"};
            if (auto error = endpoint(o.gatewayHost, o.gatewayPort); !error.empty()) return {std::nullopt, error};
            (name == "--gateway" ? o.gateway : o.gatewayConnect) = true;
        } else if (name == "--network") {
            std::string text;
            if (!value(text)) return missing();
            const auto network = gateway::ParseNetworkNumber(text);
            if (!network) return {std::nullopt, "--network: \"" + text + "\" is not A.B.C.D with each part 0..255"};
            o.network = *network;
            gatewayOnly = name;
        } else if (name == "--gateway-delay") {
            std::string text;
            if (!value(text)) return missing();
            const auto ms = Number(text, 0, 60000);
            if (!ms) return {std::nullopt, "--gateway-delay: \"" + text + "\" is not 0..60000 milliseconds"};
            o.gatewayDelayMs = *ms;
            gatewayOnly = name;
        } else if (name == "--gateway-chunk") {
            std::string text;
            if (!value(text)) return missing();
            const auto bytes = Number(text, 1, 300);
            if (!bytes) return {std::nullopt, "--gateway-chunk: \"" + text + "\" is not 1..300 bytes"};
            o.gatewayChunk = *bytes;
            gatewayOnly = name;
        } else if (name == "--gateway-pty") {
            o.gatewayPty = true;
            optionalLink(o.gatewayPtyLink);
            gatewayOnly = name;
        } else if (name == "--pty") {
            o.pty = true;
            optionalLink(o.ptyLink);
        } else if (name == "--meters") {
            if (!value(o.metersFile)) return missing();
            if (o.metersFile.empty()) return {std::nullopt, "--meters needs a file name"};
        } else if (name == "--generate") {
            std::string text;
            if (!value(text)) return missing();
            const auto colon = text.find(':');
            const auto count = Number(text.substr(0, colon), 1, kMaxGeneratedMeters);
            if (!count)
                return {std::nullopt, "--generate: \"" + text.substr(0, colon) + "\" is not a number of meters 1..250"};
            o.generateCount = *count;
            if (colon != std::string::npos) {
                const auto seed = Number<std::uint32_t>(text.substr(colon + 1), 0, 0xFFFFFFFFu);
                if (!seed) return {std::nullopt, "--generate: \"" + text.substr(colon + 1) + "\" is not a seed 0..4294967295"};
                o.generateSeed = *seed;
            }
        } else if (name == "--latency") {
            std::string text;
            if (!value(text)) return missing();
            const auto ms = Number(text, 0, 10000);
            if (!ms) return {std::nullopt, "--latency: \"" + text + "\" is not 0..10000 milliseconds"};
            o.latencyMs = *ms;
        } else if (name == "--baud") {
            std::string text;
            if (!value(text)) return missing();
            const auto baud = Number(text, 1, 1000000);
            if (!baud || !BaudRateCi(*baud))
                return {std::nullopt, "--baud: \"" + text + "\" is not one of 300, 600, 1200, 2400, 4800, 9600"};
            o.baud = *baud;
        } else if (name == "--wire-speed") {
            if (inlineValue) return {std::nullopt, "--wire-speed takes no value"};
            o.wireSpeed = true;
        } else if (name == "--faults") {
            std::string text;
            if (!value(text)) return missing();
            if (auto error = ParseLineFaults(text, o.faults); !error.empty()) return {std::nullopt, error};
            faults = true;
        } else if (name == "--fault-seed") {
            std::string text;
            if (!value(text)) return missing();
            const auto seed = Number<std::uint32_t>(text, 0, 0xFFFFFFFFu);
            if (!seed) return {std::nullopt, "--fault-seed: \"" + text + "\" is not a seed 0..4294967295"};
            o.faults.seed = *seed;
            faultSeed = true;
        } else if (name == "--journal") {
            if (!value(o.journalFile)) return missing();
            if (o.journalFile.empty()) return {std::nullopt, "--journal needs a file name"};
        } else if (name == "--no-display") {
            if (inlineValue) return {std::nullopt, "--no-display takes no value"};
            o.noDisplay = true;
        } else if (name == "--no-receiver") {
            if (inlineValue) return {std::nullopt, "--no-receiver takes no value"};
            o.noReceiver = true;
        } else if (name == "--no-rxvpico") {
            if (inlineValue) return {std::nullopt, "--no-rxvpico takes no value"};
            o.noRxvPico = true;
        } else if (name == "--display-layout") {
            std::string text;
            if (!value(text)) return missing();
            if (auto error = ParseLayoutWords(text, o.display); !error.empty()) return {std::nullopt, error};
        } else if (name == "--display-date") {
            std::string text;
            if (!value(text)) return missing();
            const auto date = ParseDisplayDate(text);
            if (!date) return {std::nullopt, "--display-date: \"" + text + "\" is not a date YYYY-MM-DD of 2000..2099"};
            o.display.date = *date;
        } else if (name == "--display-sort-busy") {
            std::string text;
            if (!value(text)) return missing();
            const auto ms = Number(text, 0, 600000);
            if (!ms) return {std::nullopt, "--display-sort-busy: \"" + text + "\" is not 0..600000 milliseconds"};
            o.display.sortBusy = std::chrono::milliseconds{*ms};
        } else if (name == "--display-baud") {
            std::string text;
            if (!value(text)) return missing();
            const auto baud = Number(text, 1, 1000000);
            if (!baud || !BaudRateCi(*baud))
                return {std::nullopt, "--display-baud: \"" + text + "\" is not one of 300, 600, 1200, 2400, 4800, 9600"};
            o.display.baud = *baud;
        } else if (name == "--verbose") {
            if (inlineValue) return {std::nullopt, "--verbose takes no value"};
            o.verbose = true;
        } else {
            return {std::nullopt, "unknown argument \"" + arguments[i] + "\""};
        }
    }
    if (o.generateCount > 0 && !o.metersFile.empty()) return {std::nullopt, "--generate and --meters exclude each other"};
    if (o.noDisplay && o.display.any()) return {std::nullopt, "--no-display and the --display-* options exclude each other"};
    if (faultSeed && !faults) return {std::nullopt, "--fault-seed needs --faults"};
    if (!gatewayOnly.empty() && !o.gateway && !o.gatewayConnect)
        return {std::nullopt, gatewayOnly + " needs --gateway or --gateway-connect"};
    return {o, {}};
}

} // namespace veltro::sim
