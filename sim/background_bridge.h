#pragma once

#include <functional>
#include <memory>

#include <QHostAddress>
#include <QString>
#include <QThread>

#include "sim/bridge_server.h"
#include "sim/gateway.h"

namespace veltro::sim {

// A bus and its bridge on a thread of their own, for a program that wants the simulator in-process
// ("--simulate") without depending on its own event loop running while it waits for answers:
//
//     QString error;
//     auto simulator = sim::BackgroundBridge::Start(sim::DefaultBus(), {}, error);
//     if (!simulator) ...report error...;
//     // connect the bridge link to 127.0.0.1 : simulator->port()
//
// The bus belongs to the bridge thread while it runs; Bus is thread-safe, so bus() may be inspected.
class BackgroundBridge {
public:
    // What serves the bus: the transparent bridge, a gateway the program connects to, or a gateway that
    // calls the program's listening `port`.
    enum class Role { Bridge, Gateway, GatewayCaller };

    struct Options {
        Role role = Role::Bridge;
        LineTiming timing{};
        int lineBaud = kDefaultBaud;
        QHostAddress address = QHostAddress::LocalHost;
        quint16 port = 0;  // 0: a free port; the program's port for GatewayCaller
        std::function<void(const QString&)> log;  // called on the bridge thread; empty: no log
    };

    static std::unique_ptr<BackgroundBridge> Start(std::unique_ptr<Bus> bus, const Options& options, QString& error);
    ~BackgroundBridge();

    BackgroundBridge(const BackgroundBridge&) = delete;
    BackgroundBridge& operator=(const BackgroundBridge&) = delete;

    quint16 port() const { return m_port; }
    QHostAddress address() const { return m_address; }
    Bus& bus() { return *m_bus; }

private:
    BackgroundBridge() = default;

    std::unique_ptr<Bus> m_bus;
    std::unique_ptr<GatewaySettings> m_gatewaySettings;
    QThread m_thread;
    QObject* m_context = nullptr;  // lives on m_thread; parent of the server
    quint16 m_port = 0;
    QHostAddress m_address;
};

} // namespace veltro::sim
