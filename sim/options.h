#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "sim/display.h"
#include "sim/gateway_frame.h"
#include "sim/generated_bus.h"
#include "sim/line_faults.h"

namespace veltro::sim {

// The --display-* options: each given one replaces the default bus's or the meters file's setting.
struct DisplayOverrides {
    std::optional<DisplayLayout::Addresses> addresses;
    std::optional<DisplayLayout::Entry> entry;
    std::optional<DisplayLayout::History> history;
    std::optional<DisplayDate> date;
    std::optional<std::chrono::milliseconds> sortBusy;
    std::optional<int> baud;

    bool any() const { return addresses || entry || history || date || sortBusy || baud; }
    void applyTo(DisplayConfig& config) const;
};

struct SimulatorOptions {
    bool help = false;
    bool bridge = false;
    std::string bridgeHost;
    std::uint16_t bridgePort = 0;
    bool pty = false;
    std::string ptyLink;  // empty: no symbolic link
    bool gateway = false;         // listens for the program
    bool gatewayConnect = false;  // calls the program
    std::string gatewayHost;
    std::uint16_t gatewayPort = 0;
    gateway::NetworkNumber network{0, 0, 0, 1};
    int gatewayDelayMs = 0;
    int gatewayChunk = 0;  // 0: every reply in one write
    bool gatewayPty = false;
    std::string gatewayPtyLink;  // empty: no symbolic link
    std::string metersFile;  // empty: the default bus
    int generateCount = 0;   // 0: no generated bus
    std::uint32_t generateSeed = kDefaultGeneratorSeed;
    int latencyMs = 20;
    int baud = 2400;
    bool wireSpeed = false;
    bool verbose = false;
    LineFaults faults;  // --faults and --fault-seed
    std::string journalFile;  // empty: no journal file
    bool noDisplay = false;
    bool noReceiver = false;
    bool noRxvPico = false;
    DisplayOverrides display;
};

struct ParsedOptions {
    std::optional<SimulatorOptions> options;
    std::string error;
};

extern const char* const kSimulatorUsage;

// The command line of mbus-sim without the program name. Options take their value as the next argument
// or after "="; --pty and --gateway-pty take an optional link path (the next argument unless it starts
// with "-").
ParsedOptions ParseSimulatorOptions(std::span<const std::string> arguments);

} // namespace veltro::sim
