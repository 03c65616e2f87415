#pragma once

#include <string_view>
#include <vector>
#include <string>

#include "devices/gateway_settings.h"

class QDateTime;

namespace veltro {

class CommunicationLog;
class FreeCommandConsole;
class LiveSettings;
class OperationRunner;
struct Settings;

// `Check_ethernet`, `Check_xport` and `Check_nlan_server` as they are now.
GatewayLinkModes GatewayModes(const Settings& settings);
GatewayClock GatewayClockAt(const QDateTime& time);

// What a gateway settings command came to.
struct GatewaySend {
    GatewayCommandResult built;
    bool started = false;  // written, or on its way to the serial port (the answer window follows)
};

// The way of the "Communication devices" page and of `veltro-cli gateway` to a gateway's RS-232
// settings port: the command built with the Settings modes and the clock of the moment, a refusal
// logged as the page logs it, a command's lines logged and its text written to the serial port.
class GatewaySettingsSender {
public:
    GatewaySettingsSender(LiveSettings& settings, CommunicationLog& log, OperationRunner& runner,
                          FreeCommandConsole& console);

    GatewayLinkModes modes() const;

    // `BuildGatewaySetting` with the field values as typed, then `send`.
    GatewaySend set(std::string_view name, const std::vector<std::string>& values) const;
    // `BuildGatewayQuery`, then `send`.
    GatewaySend get(std::string_view name) const;
    // A refusal logs its line when it has one and nothing else; a command its log lines, unless
    // another operation holds the bus (then only the busy line), and then it goes to the serial port.
    GatewaySend send(GatewayCommandResult built) const;

private:
    LiveSettings& m_settings;
    CommunicationLog& m_log;
    OperationRunner& m_runner;
    FreeCommandConsole& m_console;
};

} // namespace veltro
