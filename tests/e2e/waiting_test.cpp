// While an operation waits (the bridge's connect, the meters' rest after a global reset) the event loop
// runs on: other commands, timer ticks and socket reads must neither re-enter it nor put a telegram on
// the bus out of turn.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include "app/live_settings.h"
#include "app/scripted_operator.h"
#include "engine/engine.h"
#include "link/communication_log.h"
#include "link/free_command_console.h"
#include "link/operation_runner.h"
#include "meters/meter_page.h"

namespace veltro::test {
namespace {

// A bridge with nothing behind it that notes when each byte came, and chatters when told to.
class RecordingBridge {
public:
    RecordingBridge() {
        EXPECT_TRUE(m_server.listen(QHostAddress::LocalHost));
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            m_peer = m_server.nextPendingConnection();
            chatter();  // bytes nobody asked for, while the program still waits for its connect
            QObject::connect(m_peer, &QTcpSocket::readyRead, [this] {
                for (char c : m_peer->readAll()) received.push_back({static_cast<std::uint8_t>(c), clock.elapsed()});
            });
        });
        clock.start();
    }
    quint16 port() const { return m_server.serverPort(); }
    void chatter() {
        if (m_peer) m_peer->write(QByteArray("\xE5\x68\x03", 3));
    }
    // The frames as they arrived: each short frame is five bytes.
    std::vector<std::pair<std::vector<std::uint8_t>, qint64>> shortFrames() const {
        std::vector<std::pair<std::vector<std::uint8_t>, qint64>> frames;
        for (std::size_t i = 0; i + 5 <= received.size(); i += 5) {
            std::vector<std::uint8_t> bytes;
            for (std::size_t k = i; k < i + 5; ++k) bytes.push_back(received[k].first);
            frames.emplace_back(bytes, received[i].second);
        }
        return frames;
    }

    QElapsedTimer clock;
    std::vector<std::pair<std::uint8_t, qint64>> received;

private:
    QTcpServer m_server;
    QTcpSocket* m_peer = nullptr;
};

bool WaitFor(const std::function<bool()>& done, int limitMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < limitMs) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

TEST(WaitingOperation, ConnectAndGlobalResetWaitWithoutLettingAnythingIn) {
    constexpr int kWindow = 80;
    constexpr int kEthernetTimeout = 20;  // (20 + 1) x 10 ms of connect wait
    QTemporaryDir home;
    ScriptedOperator operatorScript;
    operatorScript.answer = OperatorInterface::Answer::No;  // keep the table
    RecordingBridge bridge;
    Engine engine(home.filePath("veltro.ini"), home.path(), operatorScript);
    Settings s = engine.settings().settings();
    s.misc.useVodud = true;
    s.misc.retry = 0;
    s.misc.globalInit = true;
    s.vodud.ip = "127.0.0.1";
    s.vodud.port = std::to_string(bridge.port());
    s.vodud.ethTimeout = kEthernetTimeout;
    engine.settings().setSettings(s);
    engine.settings().setResponseWindow(kWindow);
    MeterPage& meters = engine.meters();
    meters.replaceRows({{"", "7"}, {}});
    meters.setRowSelected(1, true);
    meters.selectCell(1, 0);

    int ended = 0;
    QObject::connect(&engine.runner(), &OperationRunner::operationEnded, [&ended] { ++ended; });
    const auto busy = [&engine] { return engine.log().lines().count(OperationRunner::kBusyMessage); };

    bridge.clock.restart();
    meters.findPrimary(1, 2);
    ASSERT_EQ(meters.busOperation(), BusOperation::Scan);
    // During the connect wait: a click, a timer's tick that starts a command, the bridge's chatter.
    meters.readSelected();
    QTimer::singleShot(50, [&] {
        meters.readAll();
        engine.console().send(QStringLiteral("10 40 07 47 16"));
    });
    ASSERT_TRUE(WaitFor([&] { return !bridge.received.empty(); }, 5000));
    EXPECT_EQ(busy(), 3);
    // During the meters' rest after the global reset: more of the same.
    meters.readSelected();
    QTimer::singleShot(300, [&] { meters.fullRead(); bridge.chatter(); });
    ASSERT_TRUE(WaitFor([&] { return ended > 0; }, 10000));
    EXPECT_EQ(busy(), 5);
    EXPECT_EQ(ended, 1);

    const auto frames = bridge.shortFrames();
    ASSERT_EQ(bridge.received.size(), 15u) << engine.log().lines().join('\n').toStdString();
    EXPECT_EQ(frames[0].first, (std::vector<std::uint8_t>{0x10, 0x40, 0xFF, 0x3F, 0x16}));  // the global reset
    EXPECT_EQ(frames[1].first, (std::vector<std::uint8_t>{0x10, 0x7B, 0x01, 0x7C, 0x16}));
    EXPECT_EQ(frames[2].first, (std::vector<std::uint8_t>{0x10, 0x7B, 0x02, 0x7D, 0x16}));
    // Each in its turn: the reset after the connect wait, the first read after the rest, one window apart.
    EXPECT_GE(frames[0].second, (kEthernetTimeout + 1) * 10);
    EXPECT_GE(frames[1].second - frames[0].second, MeterPage::kGlobalInitWaitMilliseconds - 10);
    EXPECT_GE(frames[2].second - frames[1].second, kWindow - 10);
    // The chatter before the first read was never judged as an answer.
    EXPECT_EQ(engine.log().lines().filter("Respond:").size(), 0);
    EXPECT_EQ(engine.log().lines().filter("Acknowledge").size(), 0);
    EXPECT_EQ(meters.table().cell(1, 1), "7");
}

} // namespace
} // namespace veltro::test
