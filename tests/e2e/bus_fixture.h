#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTemporaryDir>

#include "engine/engine.h"
#include "app/live_settings.h"
#include "app/scripted_operator.h"
#include "link/bridge_channel.h"
#include "link/communication_log.h"
#include "link/serial_channel.h"
#include "link/operation_runner.h"
#include "mbus/frames.h"
#include "meters/meter_page.h"
#include "link/gateway_channels.h"
#include "link/gateway_session.h"
#include "sim/bridge_server.h"
#include "sim/gateway.h"
#include "sim/bus.h"
#include "sim/default_bus.h"
#include "sim/meter.h"
#include "sim/pty_port.h"

namespace veltro::test {

// A meter that ignores the first `silentRequests` REQ_UD2 it hears, like one that needs to wake up.
class WakingMeter final : public sim::Device {
public:
    WakingMeter(std::unique_ptr<sim::Meter> meter, int silentRequests)
        : m_meter(std::move(meter)), m_silent(silentRequests) {}
    std::string label() const override { return "waking " + m_meter->label(); }
    sim::DeviceResponse hear(const MasterFrame& frame, int lineBaud) override {
        const bool request = frame.kind == MasterFrame::Kind::Short &&
                             (frame.control == frame::kReqUd2 || frame.control == frame::kReqUd2Fcb0) &&
                             frame.address == m_meter->state().primaryAddress;
        if (request && m_silent > 0) {
            --m_silent;
            return {};
        }
        return m_meter->hear(frame, lineBaud);
    }

private:
    std::unique_ptr<sim::Meter> m_meter;
    int m_silent;
};

// `BridgeAlways` is the bridge even when the suites run through a gateway (VELTRO_E2E_BRIDGE_AS).
enum class Transport { Bridge, Serial, GatewayClient, GatewayServer, BridgeAlways };

// The engine against the simulator over a real loopback socket or a real pseudo-terminal, with short
// response windows. Everything runs on this thread's event loop, as in the program.
class BusFixture : public ::testing::Test {
protected:
    static constexpr int kWindow = 80;
    // The simulated gateways give up on a silent bus well inside the short windows.
    static constexpr std::chrono::milliseconds kGatewayMbusTimeout{40};

    static Transport BridgeReplacement() {
        const QByteArray as = qgetenv("VELTRO_E2E_BRIDGE_AS");
        if (as == "gateway-client") return Transport::GatewayClient;
        if (as == "gateway-server") return Transport::GatewayServer;
        return Transport::Bridge;
    }

    void startBus(std::unique_ptr<sim::Bus> bus, Transport transport = Transport::Bridge,
                  sim::LineTiming timing = sim::LineTiming{std::chrono::milliseconds{5}}) {
        m_bus = std::move(bus);
        ASSERT_TRUE(m_home.isValid());
        // The same suites through a gateway: VELTRO_E2E_BRIDGE_AS=gateway-client|gateway-server.
        if (transport == Transport::Bridge) transport = BridgeReplacement();
        if (transport == Transport::BridgeAlways) transport = Transport::Bridge;
        m_transport = transport;
        engine = std::make_unique<Engine>(m_home.filePath("veltro.ini"), m_home.path(), operatorScript);
        engine->settings().loadAtStart();
        Settings s = engine->settings().settings();
        s.misc.retry = 0;
        s.vodud.ethTimeout = 20;  // the shortest connect wait
        if (transport == Transport::Bridge) {
            m_bridge = std::make_unique<sim::BridgeServer>(*m_bus, timing);
            ASSERT_TRUE(m_bridge->listen());
            s.misc.useVodud = true;
            s.vodud.ip = "127.0.0.1";
            s.vodud.port = std::to_string(m_bridge->port());
        } else if (transport == Transport::GatewayClient) {
            m_gatewaySettings = std::make_unique<sim::GatewaySettings>(sim::gateway::NetworkNumber{0, 0, 0, 1}, true);
            m_gatewaySettings->setMbusTimeout(gatewayMbusTimeout);
            m_gatewayServer = std::make_unique<sim::GatewayServer>(*m_bus, *m_gatewaySettings, timing);
            ASSERT_TRUE(m_gatewayServer->listen());
            s.misc.useNlanServ = true;
            s.vodud.ip = "127.0.0.1";
            s.vodud.port = std::to_string(m_gatewayServer->port());
            s.vodud.netNumber = "0.0.0.1";
        } else if (transport == Transport::GatewayServer) {
            // A free port for the program's listening socket.
            QTcpServer probe;
            ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
            const quint16 port = probe.serverPort();
            probe.close();
            s.misc.useEthernet = true;
            s.ethernet.listenPort = std::to_string(port);
            s.ethernet.keepAlive = false;
            engine->settings().setSettings(s);
            engine->gatewayServer().toggle(QString::number(port));
            ASSERT_TRUE(engine->gatewayServer().isListening());
            bool greeted = false;
            QObject::connect(&engine->gatewaySession(), &GatewaySession::greeted, [&greeted] { greeted = true; });
            m_gatewaySettings = std::make_unique<sim::GatewaySettings>(sim::gateway::NetworkNumber{0, 0, 0, 1}, false);
            m_gatewaySettings->setMbusTimeout(gatewayMbusTimeout);
            m_gatewayCaller = std::make_unique<sim::GatewayCaller>(*m_bus, *m_gatewaySettings, timing);
            m_gatewayCaller->start(QHostAddress::LocalHost, port);
            ASSERT_TRUE(waitFor([&] { return greeted; }, 5000));
        } else {
            m_pty = std::make_unique<sim::PtyPort>(*m_bus, timing);
            ASSERT_TRUE(m_pty->open()) << m_pty->errorString().toStdString();
            s.comPort.name = m_pty->slavePath().toStdString();
            s.comPort.speed = "2400";
        }
        engine->settings().setSettings(s);
        engine->settings().setResponseWindow(kWindow);
        engine->meters().setLocale(QLocale::c());
    }

    void setRetries(int retries) {
        Settings s = engine->settings().settings();
        s.misc.retry = retries;
        engine->settings().setSettings(s);
    }

    // The far end of the serial line goes away, as an adapter pulled out.
    void closeSimulatedPort() {
        if (m_pty) m_pty->close();
    }

    MeterPage& meters() { return engine->meters(); }
    // Whether the link the bus is reached by is still open or connected.
    bool linkUp() const {
        switch (m_transport) {
        case Transport::Serial: return engine->serial().isOpen();
        case Transport::GatewayClient: return engine->gatewayClient().isConnected();
        case Transport::GatewayServer: return engine->gatewayServer().gatewayConnected();
        case Transport::Bridge:
        case Transport::BridgeAlways: break;
        }
        return engine->bridge().isConnected();
    }
    // The log line after `index`, past the lines a gateway adds (its status and, as server, "Packet: ").
    QString lineAfter(qsizetype index) const {
        for (qsizetype i = index + 1; i < log().size(); ++i)
            if (log()[i] != "Done!" && log()[i] != "Timeout expired..." && !log()[i].startsWith("Packet: ")) return log()[i];
        return {};
    }
    // The frames the simulated bus heard so far, as hex text ("68 06 06 68 ...").
    std::vector<std::string> heardFrames() const {
        std::vector<std::string> frames;
        for (const auto& entry : m_bus->journal()) frames.push_back(entry.frame);
        return frames;
    }
    const sim::Bus& bus() const { return *m_bus; }
    sim::Bus& bus() { return *m_bus; }
    const QStringList& log() const { return engine->log().lines(); }

    // Runs the event loop until `done` or `limitMs`; returns whether `done` came true.
    static bool waitFor(const std::function<bool()>& done, int limitMs = 10000) {
        QElapsedTimer timer;
        timer.start();
        while (!done() && timer.elapsed() < limitMs) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        return done();
    }
    bool waitIdle(int limitMs = 20000) {
        return waitFor([&] { return meters().busOperation() == BusOperation::None; }, limitMs);
    }
    static void pump(int milliseconds) {
        waitFor([] { return false; }, milliseconds);
    }

    int count(const QString& prefix) const {
        int n = 0;
        for (const QString& line : log())
            if (line.startsWith(prefix)) ++n;
        return n;
    }

    // Puts rows with these addresses in the table and flags them.
    void tableWithAddresses(const std::vector<std::string>& addresses, bool flagAll = true) {
        std::vector<std::vector<std::string>> rows;
        for (const auto& a : addresses) rows.push_back({"", a});
        rows.emplace_back();
        meters().replaceRows(rows);
        for (int r = 1; flagAll && r <= static_cast<int>(addresses.size()); ++r) meters().setRowSelected(r, true);
        meters().selectCell(1, 0);
    }

    static std::unique_ptr<sim::Meter> MakeMeter(const sim::MeterState& state) {
        std::string error;
        auto meter = sim::Meter::Create(state, error);
        EXPECT_TRUE(meter) << error;
        return meter;
    }
    static sim::MeterState DefaultMeterAt(int address) {
        for (const auto& state : sim::DefaultMeterStates())
            if (state.primaryAddress == address) return state;
        ADD_FAILURE() << "no default meter at " << address;
        return {};
    }
    static std::unique_ptr<sim::Bus> BusOf(std::vector<std::unique_ptr<sim::Device>> devices) {
        auto bus = std::make_unique<sim::Bus>();
        for (auto& d : devices) bus->add(std::move(d));
        return bus;
    }

    ScriptedOperator operatorScript;
    std::unique_ptr<Engine> engine;
    // How long a simulated gateway waits for the bus; set before startBus. The display's texts end at a
    // quiet gap, so its answers need more than a meter's.
    std::chrono::milliseconds gatewayMbusTimeout = kGatewayMbusTimeout;

private:
    QTemporaryDir m_home;
    std::unique_ptr<sim::Bus> m_bus;
    std::unique_ptr<sim::BridgeServer> m_bridge;
    std::unique_ptr<sim::PtyPort> m_pty;
    std::unique_ptr<sim::GatewaySettings> m_gatewaySettings;
    std::unique_ptr<sim::GatewayServer> m_gatewayServer;
    std::unique_ptr<sim::GatewayCaller> m_gatewayCaller;
    Transport m_transport = Transport::Bridge;
};

} // namespace veltro::test
