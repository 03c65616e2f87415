#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include "app/live_settings.h"
#include "app/local_time_text.h"
#include "link/bridge_channel.h"
#include "link/communication_log.h"
#include "link/socket_error_number.h"

namespace veltro {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Lines written with a time of day: the prefix, then the C locale's long time without a zone.
bool IsTimedLine(const QString& line, const QString& prefix) {
    static const QRegularExpression kTime(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d$"));
    return line.startsWith(prefix) && kTime.match(line.mid(prefix.size())).hasMatch();
}

class BridgeChannelTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
        useRemote("127.0.0.1", QString::number(server.serverPort()), kShortTimeout);
    }

    void useRemote(const QString& ip, const QString& port, int ethTimeout) {
        Settings s = settings.settings();
        s.vodud.ip = ip.toStdString();
        s.vodud.port = port.toStdString();
        s.vodud.ethTimeout = ethTimeout;
        settings.setSettings(s);
    }

    // Starts the connect and lets the event loop run until it has come or failed.
    bool connectNow() {
        QSignalSpy finished(&bridge, &BridgeChannel::connectFinished);
        switch (bridge.startConnect()) {
        case BridgeChannel::ConnectStart::Connected: return true;
        case BridgeChannel::ConnectStart::Refused: return false;
        case BridgeChannel::ConnectStart::Pending: break;
        }
        return finished.wait(5000) && finished.at(0).at(0).toBool();
    }

    // The bridge's side of the connection, once the channel is connected.
    QTcpSocket* acceptedPeer() {
        if (!server.hasPendingConnections() && !server.waitForNewConnection(1000)) return nullptr;
        return server.nextPendingConnection();
    }

    static constexpr int kShortTimeout = 20;  // the control's lowest value: a 210 ms wait
    QTcpServer server;
    LiveSettings settings{QString(), QString()};
    CommunicationLog log;
    BridgeChannel bridge{log, settings};
};

TEST_F(BridgeChannelTest, ConnectingLogsTheAttemptAndTheConnectionAndWaitsTheWholeTimeoutWithoutBlocking) {
    // Nothing blocks: the connect is pending when the call returns, and completes on the event loop.
    QSignalSpy finished(&bridge, &BridgeChannel::connectFinished);
    QElapsedTimer clock;
    clock.start();
    ASSERT_EQ(bridge.startConnect(), BridgeChannel::ConnectStart::Pending);
    EXPECT_FALSE(bridge.isConnected());
    ASSERT_TRUE(finished.wait(5000));
    // The bridge answers at once, and still the wait runs "Ethernet timeout" + 1 steps of 10 ms.
    EXPECT_GE(clock.elapsed(), (kShortTimeout + 1) * BridgeChannel::kWaitStepMilliseconds);
    EXPECT_TRUE(finished.at(0).at(0).toBool());
    EXPECT_TRUE(bridge.isConnected());
    ASSERT_EQ(log.lines().size(), 2) << log.lines().join('|').toStdString();
    EXPECT_EQ(log.lines().at(0), "Trying to connect to LDU-Q7 ethernet...");
    EXPECT_TRUE(IsTimedLine(log.lines().at(1), "Connected TCP/IP, at ")) << log.lines().at(1).toStdString();
}

TEST_F(BridgeChannelTest, ConnectingAgainWhileConnectedDoesNothing) {
    ASSERT_TRUE(connectNow());
    const qsizetype lines = log.lines().size();
    EXPECT_EQ(bridge.startConnect(), BridgeChannel::ConnectStart::Connected);
    EXPECT_EQ(log.lines().size(), lines);
}

TEST_F(BridgeChannelTest, BytesTravelUnchangedBothWaysAndArriveInOrder) {
    ASSERT_TRUE(connectNow());
    QTcpSocket* peer = acceptedPeer();
    ASSERT_NE(peer, nullptr);

    const Telegram reqUd2{0x10, 0x7B, 0xFE, 0x79, 0x16};
    ASSERT_TRUE(bridge.write(reqUd2).ok);
    QByteArray atBridge;
    for (int i = 0; i < 100 && atBridge.size() < 5; ++i) {
        peer->waitForReadyRead(10);
        atBridge += peer->readAll();
    }
    EXPECT_EQ(atBridge, QByteArray("\x10\x7B\xFE\x79\x16", 5));

    peer->write(QByteArray("\x68\x03", 2));
    peer->flush();
    QTest::qWait(30);
    peer->write(QByteArray("\x03\x68\x00", 3));
    peer->flush();
    QTRY_COMPARE_WITH_TIMEOUT(bridge.receiveBuffer().size(), std::size_t{5}, 1000);
    EXPECT_EQ(Bytes(bridge.receiveBuffer().begin(), bridge.receiveBuffer().end()), (Bytes{0x68, 0x03, 0x03, 0x68, 0x00}));

    bridge.clearReceiveBuffer();
    EXPECT_TRUE(bridge.receiveBuffer().empty());
}

TEST_F(BridgeChannelTest, ThePeerClosingLogsTheDisconnectAndClearsTheFlag) {
    ASSERT_TRUE(connectNow());
    QTcpSocket* peer = acceptedPeer();
    ASSERT_NE(peer, nullptr);
    peer->disconnectFromHost();
    QTRY_VERIFY_WITH_TIMEOUT(!bridge.isConnected(), 1000);
    EXPECT_TRUE(IsTimedLine(log.lines().last(), "Disconnected TCP/IP connection at ")) << log.lines().last().toStdString();
    // A peer's orderly close is no socket error.
    EXPECT_FALSE(log.lines().join('\n').contains("Socket error #"));
    EXPECT_FALSE(bridge.write(Telegram{0x10}).ok);
}

TEST_F(BridgeChannelTest, DeactivatingClosesTheConnectionAndLogsItsEnd) {
    ASSERT_TRUE(connectNow());
    QTcpSocket* peer = acceptedPeer();
    ASSERT_NE(peer, nullptr);
    QSignalSpy flag(&bridge, &BridgeChannel::connectedChanged);
    bridge.deactivate();
    EXPECT_FALSE(bridge.isConnected());
    ASSERT_EQ(flag.count(), 1);
    EXPECT_TRUE(IsTimedLine(log.lines().last(), "Disconnected TCP/IP connection at "));
    QTRY_COMPARE_WITH_TIMEOUT(peer->state(), QAbstractSocket::UnconnectedState, 1000);

    // The next operation connects again.
    EXPECT_TRUE(connectNow());
}

TEST_F(BridgeChannelTest, ARefusedConnectionLogsItsSocketErrorAndTheOperationDoesNotStart) {
    const quint16 closedPort = server.serverPort();
    server.close();
    useRemote("127.0.0.1", QString::number(closedPort), kShortTimeout);
    EXPECT_FALSE(connectNow());
    EXPECT_FALSE(bridge.isConnected());
    EXPECT_EQ(log.lines(),
              QStringList({"Trying to connect to LDU-Q7 ethernet...",
                           QStringLiteral("Socket error #10061 (connection refused by 127.0.0.1:%1)").arg(closedPort)}));
}

TEST_F(BridgeChannelTest, AnUnusablePortFieldIsReportedAndNothingIsTried) {
    for (const QString& port : {QStringLiteral("10x01"), QStringLiteral("70000"), QStringLiteral("0")}) {
        log.clear();
        useRemote("127.0.0.1", port, kShortTimeout);
        EXPECT_FALSE(connectNow()) << port.toStdString();
        EXPECT_EQ(log.lines(), QStringList{"Remote IP and Port are not properly set..."}) << port.toStdString();
    }
    log.clear();
    useRemote("", "10001", kShortTimeout);
    EXPECT_FALSE(connectNow());
    EXPECT_EQ(log.lines(), QStringList{"Remote IP and Port are not properly set..."});
}

TEST_F(BridgeChannelTest, AnEmptyPortFieldReachesTheBridgeOn10001) {
    QTcpServer standard;
    if (!standard.listen(QHostAddress::LocalHost, BridgeChannel::kDefaultPort))
        GTEST_SKIP() << "needs 127.0.0.1:10001 free: " << standard.errorString().toStdString();
    useRemote("127.0.0.1", "", kShortTimeout);
    EXPECT_TRUE(connectNow());
    EXPECT_TRUE(standard.hasPendingConnections() || standard.waitForNewConnection(1000));
}

TEST_F(BridgeChannelTest, AnUnknownHostIsASocketError) {
    useRemote("veltro-no-such-host.invalid", "10001", 100);
    EXPECT_FALSE(connectNow());
    ASSERT_EQ(log.lines().size(), 2) << log.lines().join('|').toStdString();
    // Host not found (11001) when the resolver answers within the second, else the wait's own time-out.
    EXPECT_TRUE(log.lines().at(1) == "Socket error #11001 (host veltro-no-such-host.invalid not found)" ||
                log.lines().at(1) == "Socket error #10060 (no answer from veltro-no-such-host.invalid:10001 in time)")
        << log.lines().at(1).toStdString();
}

TEST(SocketErrorLines, TheNumberIsFollowedByTheReasonInWords) {
    EXPECT_EQ(SocketErrorLine(QAbstractSocket::NetworkError, "10.0.0.9", 10001),
              "Socket error #10065 (network error, 10.0.0.9:10001 unreachable)");
    // No reason of its own: Qt's wording and the peer.
    EXPECT_EQ(SocketErrorLine(QAbstractSocket::ProxyAuthenticationRequiredError, "gw", 59615, "Proxy denied"),
              "Socket error #" + QString::number(QAbstractSocket::ProxyAuthenticationRequiredError) +
                  " (Proxy denied, peer gw:59615)");
}

TEST(LogTimeTexts, TheLongTimeFormatWithoutItsTimeZone) {
    const QTime afternoon(14, 3, 27);
    EXPECT_EQ(LongTimeText(afternoon, QLocale::c()), "14:03:27");  // the C format would add " UTC"
    EXPECT_EQ(LongTimeText(afternoon, QLocale(QLocale::English, QLocale::UnitedStates)), "2:03:27 PM");
    EXPECT_EQ(LongTimeText(afternoon, QLocale(QLocale::German, QLocale::Germany)), "14:03:27");
}

} // namespace
} // namespace veltro
