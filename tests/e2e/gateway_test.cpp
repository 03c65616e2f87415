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
                         [](const auto& info) {
                             return std::string(info.param == Transport::GatewayClient ? "Client" : "Server");
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
