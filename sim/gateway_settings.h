#pragma once

#include <chrono>
#include <map>
#include <string>
#include <string_view>

#include "sim/gateway_frame.h"

namespace veltro::sim {

inline constexpr const char* kSettingsOk = "OK\r\n";
inline constexpr const char* kSettingsError = "ERROR\r\n";

// The values a gateway keeps and shows through the plain-text dialogue of its RS-232 settings port:
// "SET NAME=VALUE" answers "OK" or "ERROR", "GET NAME" and "GET GROUP" answer "NAME=VALUE" lines. The
// network number (NETN) and the m-bus response time-out (NETO, tenths of a second) rule the TCP side at
// once; every other value is only kept and shown, as a simulator has no network interface to change.
class GatewaySettings {
public:
    GatewaySettings(gateway::NetworkNumber network, bool server);

    gateway::NetworkNumber network() const { return m_network; }
    std::chrono::milliseconds mbusTimeout() const { return m_mbusTimeout; }
    // Shorter than any NETO allows: tests with short response windows.
    void setMbusTimeout(std::chrono::milliseconds timeout) { m_mbusTimeout = timeout; }

    // Shown by "GET STAT"; set by the TCP side.
    void setConnected(bool connected) { m_connected = connected; }

    // One command as received, without terminator (blanks, CR and LF around it are ignored); the answer
    // with CR LF after each line.
    std::string answer(std::string_view command);

private:
    bool set(std::string_view name, std::string_view value);

    std::map<std::string, std::string, std::less<>> m_values;
    gateway::NetworkNumber m_network{};
    std::chrono::milliseconds m_mbusTimeout{300};
    bool m_connected = false;
};

} // namespace veltro::sim
