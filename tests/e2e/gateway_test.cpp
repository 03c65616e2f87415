// The meter operations through a gateway, in both roles: the program connects to it, or it calls in.
#include "bus_fixture.h"

#include "meters/meter_configuration.h"

namespace veltro::test {
namespace {

// A gateway answers a silent address only after its own m-bus time-out (0.3 s): the windows here are
// longer, so a late "Timeout expired" never lands in the next window.
constexpr int kGatewayWindow = 600;

class ThroughGateway : public BusFixture, public ::testing::WithParamInterface<Transport> {
protected:
    void start(std::unique_ptr<sim::Bus> bus) {
        startBus(std::move(bus), GetParam());
        engine->settings().setResponseWindow(kGatewayWindow);
    }
    std::string logText() const { return log().join('\n').toStdString(); }
    std::vector<std::string> column(int column) const {
        std::vector<std::string> cells;
        const MeterTable& table = engine->meters().table();
        for (int r = 1; r < table.rowCount(); ++r)
            if (!table.cell(r, 0).empty()) cells.push_back(table.cell(r, column));
        return cells;
    }
};

TEST_P(ThroughGateway, ScanReadAndAddressChangeWorkAsOnTheWire) {
    start(sim::DefaultBus());
    meters().findPrimary(0, 5);
    ASSERT_TRUE(waitIdle(30000)) << logText();
    EXPECT_EQ(column(MeterTable::kAddressColumn), (std::vector<std::string>{"1", "2", "3", "4"})) << logText();
    EXPECT_GE(count("Done!"), 4);  // every answered request's status

    // A configuration telegram travels as A8h, a read as A1h: both reach the meter.
    meters().replaceRows({{"51200417", "2"}, {}});
    meters().setRowSelected(1, true);
    engine->configuration().setAddress("7");
    ASSERT_TRUE(waitIdle(10000)) << logText();
    const auto frames = heardFrames();
    EXPECT_NE(std::find(frames.begin(), frames.end(), "68 06 06 68 73 FD 51 01 7A 07 43 16"), frames.end());
    EXPECT_EQ(meters().table().cell(1, MeterTable::kAddressColumn), "7") << logText();
}

TEST_P(ThroughGateway, TheWildcardSearchFindsBothMeters) {
    std::vector<std::unique_ptr<sim::Device>> devices;
    devices.push_back(MakeMeter(DefaultMeterAt(1)));
    devices.push_back(MakeMeter(DefaultMeterAt(2)));
    start(BusOf(std::move(devices)));
    Settings s = engine->settings().settings();
    s.misc.lsbSearch = true;
    s.misc.msbSearch = false;
    engine->settings().setSettings(s);
    meters().findId("FFFFFFFF");
    ASSERT_TRUE(waitIdle(60000)) << logText();
    std::vector<std::string> ids = column(0);
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids, (std::vector<std::string>{"40112301", "51200417"})) << logText();
}

INSTANTIATE_TEST_SUITE_P(Roles, ThroughGateway, ::testing::Values(Transport::GatewayClient, Transport::GatewayServer),
                         [](const auto& test) {
                             return std::string(test.param == Transport::GatewayClient ? "Client" : "Server");
                         });

class GatewayServerRole : public BusFixture {};

TEST_F(GatewayServerRole, ASecondGatewayIsIgnoredAndTheKeepAliveReachesTheFirst) {
    startBus(sim::DefaultBus(), Transport::GatewayServer);
    engine->settings().setResponseWindow(kGatewayWindow);
    const quint16 port = engine->gatewayServer().listeningPort();
    QTcpSocket second;
    second.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(waitFor([&] { return count("Incoming connection ignored at ") == 1; }, 5000)) << log().join('\n').toStdString();
    EXPECT_TRUE(waitFor([&] { return second.state() == QAbstractSocket::UnconnectedState; }, 5000));
    EXPECT_TRUE(engine->gatewayServer().gatewayConnected());

    engine->keepAlive().setInterval(400);  // longer than the gateway's own time-out for the silent 249
    engine->keepAlive().start();
    const auto pings = [&] {
        const auto frames = heardFrames();
        return std::count(frames.begin(), frames.end(), "10 40 F9 39 16");
    };
    ASSERT_TRUE(waitFor([&] { return pings() >= 2; }, 5000)) << log().join('\n').toStdString();
    engine->keepAlive().stop();
    EXPECT_GE(count("Ping on "), 2);
    ASSERT_TRUE(waitFor([&] { return count("Timeout expired...") == count("Ping on "); }, 5000));
    // The first gateway still serves a read.
    tableWithAddresses({"2"});
    meters().readSelected();
    ASSERT_TRUE(waitIdle(5000));
    EXPECT_EQ(meters().table().cell(1, 0), "51200417") << log().join('\n').toStdString();
}

} // namespace
} // namespace veltro::test

namespace veltro::test {
namespace {

// The program listens; a simulated gateway calls in with the pacing given.
class CallingGateway : public BusFixture {
protected:
    void listenAndCall(sim::GatewayPacing pacing, const std::function<void(Settings&)>& configure,
                       const std::function<void()>& beforeCall = {}) {
        startBus(sim::DefaultBus(), Transport::BridgeAlways);
        Settings s = engine->settings().settings();
        s.misc.useEthernet = true;
        s.ethernet.keepAlive = false;
        configure(s);
        engine->settings().setSettings(s);
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
        m_port = probe.serverPort();
        probe.close();
        engine->gatewayServer().toggle(QString::number(m_port));
        if (beforeCall) beforeCall();
        m_caller = std::make_unique<sim::GatewayCaller>(bus(), m_settings, sim::LineTiming{std::chrono::milliseconds{5}},
                                                        sim::kDefaultBaud, pacing);
        m_caller->start(QHostAddress::LocalHost, m_port);
        ASSERT_TRUE(waitFor([&] { return count("Connected NLAN Network number: ") == 1; }, 5000)) << log().join('\n').toStdString();
    }
    quint16 m_port = 0;
    sim::GatewaySettings m_settings{sim::gateway::NetworkNumber{0, 0, 0, 1}, false};
    std::unique_ptr<sim::GatewayCaller> m_caller;
};

TEST_F(CallingGateway, ASlowGatewayIsWaitedForAsLongAsTheReloadsAllow) {
    sim::GatewayPacing gprs;
    gprs.delay = std::chrono::milliseconds(500);  // the answer comes in the third window of 200 ms
    listenAndCall(gprs, [](Settings& s) { s.ethernet.timerReload = 3; });
    engine->settings().setResponseWindow(200);
    tableWithAddresses({"2"});
    meters().readSelected();
    ASSERT_TRUE(waitIdle(10000));
    EXPECT_EQ(meters().table().cell(1, 0), "51200417") << log().join('\n').toStdString();
    EXPECT_EQ(count("Timer overload..."), 0);

    Settings s = engine->settings().settings();
    s.ethernet.timerReload = 1;  // now the windows run out first
    engine->settings().setSettings(s);
    tableWithAddresses({"3"});
    meters().readSelected();
    ASSERT_TRUE(waitIdle(10000));
    EXPECT_EQ(count("Timer overload..."), 1);
    EXPECT_EQ(count("No response from address 3"), 1);
}

TEST_F(CallingGateway, AGreetingStartsTheScanWithoutAskingAndFindBeforeItAsks) {
    listenAndCall({}, [](Settings& s) { s.ethernet.autoMbus = true; },
                  [this] {
                      meters().replaceRows({{"12345678", "9"}, {}});
                      // An operator who would cancel: a Find before the greeting asks, and so starts nothing.
                      operatorScript.answer = OperatorInterface::Answer::Cancel;
                      meters().findPrimary(0, 5);
                      EXPECT_EQ(meters().busOperation(), BusOperation::None);
                  });
    // The greeting came: the scan runs without a question, the table cleared.
    EXPECT_EQ(meters().busOperation(), BusOperation::Scan);
    EXPECT_NE(meters().table().cell(1, 0), "12345678");
    meters().stopScan();
    ASSERT_TRUE(waitIdle(10000));
}

TEST_F(CallingGateway, ASilentGatewayIsDroppedWhenTheIdleTimeRunsOut) {
    listenAndCall({}, [](Settings&) {});
    engine->gatewayServer().setIdleInterval(300);
    engine->gatewayServer().toggle(QString::number(m_port));  // closes
    engine->gatewayServer().toggle(QString::number(m_port));  // and listens again, idle time now 300 ms
    ASSERT_TRUE(waitFor([&] { return engine->gatewayServer().gatewayConnected(); }, 5000));  // it calls again
    const int opened = count("Socket is opened at port ");
    ASSERT_TRUE(waitFor([&] { return count("Socket is opened at port ") > opened; }, 5000));
    EXPECT_TRUE(engine->gatewayServer().isListening());
}

} // namespace
} // namespace veltro::test
