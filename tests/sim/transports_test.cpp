#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <QFileInfo>
#include <QSerialPort>
#include <QTcpSocket>
#include <QTemporaryDir>

#include "sim/background_bridge.h"
#include "sim/bridge_server.h"
#include "sim/default_bus.h"
#include "sim/pty_port.h"
#include "sim_test_support.h"

namespace veltro::sim {
namespace {

using namespace std::chrono_literals;
using test::CompleteAnswer;
using test::RunFor;
using test::RunUntil;
using test::SimpleMeter;
using test::ToBytes;
using test::ToTelegram;
using test::Valid;

LineTiming Quick(std::chrono::milliseconds delay = 5ms) {
    LineTiming t;
    t.answerDelay = delay;
    return t;
}

// A raw TCP client of the bridge on the test's own thread: every wait runs the event loop, so the
// bridge (on the same thread) gets to answer.
class BridgeClient {
public:
    BridgeClient() {
        QObject::connect(&m_socket, &QTcpSocket::readyRead, [this] {
            m_received += m_socket.readAll();
            ++m_reads;
        });
    }

    bool connectTo(quint16 port) {
        m_socket.connectToHost(QHostAddress::LocalHost, port);
        return RunUntil([this] { return m_socket.state() == QAbstractSocket::ConnectedState; }, 2000ms);
    }

    void write(const Telegram& bytes) {
        m_socket.write(ToBytes(bytes));
        m_socket.flush();
    }

    // Sends a frame and collects until a complete answer is in, or `window` passes.
    QByteArray exchange(const Telegram& frame, std::chrono::milliseconds window = 1500ms) {
        m_received.clear();
        m_reads = 0;
        write(frame);
        RunUntil([this] { return CompleteAnswer(m_received); }, window);
        return m_received;
    }

    // Sends a frame and listens for a while (for answers that must not come).
    QByteArray listen(const Telegram& frame, std::chrono::milliseconds window = 150ms) {
        m_received.clear();
        write(frame);
        RunFor(window);
        return m_received;
    }

    QTcpSocket& socket() { return m_socket; }
    int reads() const { return m_reads; }
    const QByteArray& received() const { return m_received; }

private:
    QTcpSocket m_socket;
    QByteArray m_received;
    int m_reads = 0;
};

class Bridge : public ::testing::Test {
protected:
    void start(LineTiming timing = Quick(), int baud = 2400) {
        m_server = std::make_unique<BridgeServer>(*m_bus, timing, baud);
        ASSERT_TRUE(m_server->listen()) << m_server->errorString().toStdString();
        ASSERT_NE(m_server->port(), 0);
        ASSERT_EQ(m_server->address(), QHostAddress(QHostAddress::LocalHost));
    }

    // 2400 baud both ways and no answer delay, so every millisecond is line time.
    void startAtWireSpeed() {
        LineTiming timing = Quick(0ms);
        timing.wireSpeed = true;
        start(timing, 2400);
    }

    std::unique_ptr<Bus> m_bus = DefaultBus();
    std::unique_ptr<BridgeServer> m_server;
};

TEST_F(Bridge, AnswersAReadRequestSentInPieces) {
    start();
    BridgeClient client;
    ASSERT_TRUE(client.connectTo(m_server->port()));
    const Telegram request = BuildReqUd2(1);
    client.write(Telegram(request.bytes().subspan(0, 2)));
    RunFor(30ms);
    const QByteArray answer = client.exchange(Telegram(request.bytes().subspan(2)));
    const Telegram frame = ToTelegram(answer);
    ASSERT_TRUE(Valid(frame)) << HexRendering(frame);
    EXPECT_EQ(frame[5], 1);
    EXPECT_EQ(test::IdOfFrame(frame), "40112301");
}

TEST_F(Bridge, AcknowledgesStaysSilentAndCollidesLikeTheBus) {
    start();
    BridgeClient client;
    ASSERT_TRUE(client.connectTo(m_server->port()));
    EXPECT_EQ(client.exchange(BuildSndNke(1)), QByteArray("\xE5", 1));
    EXPECT_TRUE(client.listen(BuildReqUd2(5)).isEmpty()) << "nobody at 5";
    const QByteArray overlaid = client.exchange(BuildReqUd2(254));
    EXPECT_FALSE(overlaid.isEmpty());
    EXPECT_FALSE(Valid(ToTelegram(overlaid))) << "every meter answers at once";
    // A frame with a wrong check sum is ignored; the next good one is answered.
    EXPECT_TRUE(client.listen(test::Bytes("10 7B 01 7D 16")).isEmpty());
    EXPECT_TRUE(Valid(ToTelegram(client.exchange(BuildReqUd2(2)))));
}

TEST_F(Bridge, SecondaryAddressingOverTheWire) {
    start();
    BridgeClient client;
    ASSERT_TRUE(client.connectTo(m_server->port()));
    // The two meters sharing address 0 are reached one at a time by their identification.
    for (const char* id : {"99000017", "99000027"}) {
        EXPECT_EQ(client.exchange(*BuildSelection(id)), QByteArray("\xE5", 1)) << id;
        const Telegram frame = ToTelegram(client.exchange(BuildReqUd2(253)));
        ASSERT_TRUE(Valid(frame)) << id;
        EXPECT_EQ(test::IdOfFrame(frame), id);
        EXPECT_EQ(client.exchange(BuildSndNke(253)), QByteArray("\xE5", 1));
    }
}

TEST_F(Bridge, ANewClientReplacesTheOldOne) {
    start();
    BridgeClient first, second;
    ASSERT_TRUE(first.connectTo(m_server->port()));
    ASSERT_TRUE(Valid(ToTelegram(first.exchange(BuildReqUd2(3)))));
    ASSERT_TRUE(second.connectTo(m_server->port()));
    EXPECT_TRUE(RunUntil([&] { return first.socket().state() == QAbstractSocket::UnconnectedState; }, 2000ms));
    EXPECT_TRUE(Valid(ToTelegram(second.exchange(BuildReqUd2(3)))));
}

TEST_F(Bridge, AnswerWaitsForTheAnswerDelay) {
    start(Quick(150ms));
    BridgeClient client;
    ASSERT_TRUE(client.connectTo(m_server->port()));
    QElapsedTimer clock;
    clock.start();
    client.write(BuildSndNke(1));
    ASSERT_TRUE(RunUntil([&] { return !client.received().isEmpty(); }, 2000ms));
    EXPECT_GE(clock.elapsed(), 140);
}

TEST_F(Bridge, ALateMeterAnswersAfterItsOwnDelay) {
    auto late = SimpleMeter(7, "70000007");
    late.answerDelay = 150ms;
    m_bus = test::BusOf({late});
    start(Quick(0ms));
    BridgeClient client;
    ASSERT_TRUE(client.connectTo(m_server->port()));
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(Valid(ToTelegram(client.exchange(BuildReqUd2(7)))));
    EXPECT_GE(clock.elapsed(), 145);
}

TEST_F(Bridge, WireSpeedDeliversElevenBitsPerCharacter) {
    startAtWireSpeed();
    BridgeClient client;
    ASSERT_TRUE(client.connectTo(m_server->port()));
    QElapsedTimer clock;
    clock.start();
    const Telegram frame = ToTelegram(client.exchange(BuildReqUd2(1), 3000ms));
    const qint64 wireSpeedMs = clock.elapsed();
    ASSERT_TRUE(Valid(frame));
    // The request's 5 characters and the answer's 73 at 2400 baud take 78 * 11 / 2400 s = 357.5 ms.
    ASSERT_EQ(frame.size(), 73u);
    EXPECT_GE(wireSpeedMs, 357);
    EXPECT_GE(client.reads(), 10) << "the bytes trickle in";
}

// The bridge receives the master's frame in one TCP segment at once, but the meters hear it only after
// its characters have crossed the line: what makes a search's selections cost what they cost.
TEST_F(Bridge, WireSpeedMasterFrameTakesItsLineTimeBeforeTheMetersHearIt) {
    startAtWireSpeed();
    BridgeClient client;
    ASSERT_TRUE(client.connectTo(m_server->port()));
    const Telegram selection = *BuildSelection("99000017");
    ASSERT_EQ(selection.size(), 17u);
    QElapsedTimer clock;
    clock.start();
    ASSERT_EQ(client.exchange(selection), QByteArray("\xE5", 1));
    // 17 characters out, 1 back: 18 * 11 / 2400 s = 82.5 ms.
    EXPECT_GE(clock.elapsed(), 82);
    // Several frames written at once cross the line one after another.
    const qsizetype before = client.received().size();
    clock.restart();
    client.write(*BuildSelection("99000027"));
    client.write(BuildSndNke(253));
    ASSERT_TRUE(RunUntil([&] { return client.received().size() == before + 2; }, 2000ms));
    // 17 + 5 characters out before the second acknowledge.
    EXPECT_GE(clock.elapsed(), (17 + 5 + 1) * 11 * 1000 / 2400);
}

TEST_F(Bridge, WithoutWireSpeedTheAnswerComesInOneGo) {
    start(Quick(0ms), 2400);
    BridgeClient client;
    ASSERT_TRUE(client.connectTo(m_server->port()));
    QElapsedTimer clock;
    clock.start();
    const Telegram frame = ToTelegram(client.exchange(BuildReqUd2(1)));
    ASSERT_TRUE(Valid(frame));
    EXPECT_LT(clock.elapsed(), 320);
}

// The program may write a text in pieces; the display hears it once the line has been quiet for 20 ms,
// at wire speed counted from when its last character has crossed the line.
TEST_F(Bridge, DisplayHearsATextWrittenInPiecesAfterTheQuietGap) {
    for (const bool wire : {false, true}) {
        wire ? startAtWireSpeed() : start(Quick(0ms));
        BridgeClient client;
        ASSERT_TRUE(client.connectTo(m_server->port()));
        QElapsedTimer clock;
        clock.start();
        client.write(test::TextBytes("GET "));
        RunFor(10ms);
        client.write(test::TextBytes("ADDR"));
        ASSERT_TRUE(RunUntil([&] { return client.received().endsWith("\r\n"); }, 2000ms)) << wire;
        EXPECT_EQ(client.received(), "Active devices: 1-3,15\r\n");
        // 8 characters out and 24 back at 2400 baud take 146.7 ms; the assembler counts whole milliseconds.
        EXPECT_GE(clock.elapsed(), wire ? (8 + 24) * 11 * 1000 / 2400 + 20 : 10 + 20) << wire;
    }
}

// The program writes both key commands in one go; 16h, 68h and "set " inside a key must not cut it.
TEST_F(Bridge, ReceiverHearsCommandsBackToBackAndForwardsItsRadioMeters) {
    start(Quick(0ms));
    BridgeClient client;
    ASSERT_TRUE(client.connectTo(m_server->port()));
    const std::string key("\x16\x68set \x00\x10\xE5\x0D\x0A" "abcde", 16);
    client.write(test::TextBytes("set encr=5," + key + "set akey=12345678," + key + "set entr=5,12345678"));
    ASSERT_TRUE(RunUntil([&] { return client.received().count("Done!\n") == 3; }, 1000ms)) << client.received().toStdString();
    EXPECT_EQ(client.received(), "Done!\nDone!\nDone!\n");
    const QByteArray example = ToBytes(test::Bytes("68 0C 44 2D 2C 78 56 34 12 01 07 7A"));
    // rtra=1 is answered first; each meter then comes once in its 2 s, staggered 500 ms.
    EXPECT_EQ(client.exchange(test::TextBytes("set rtra=1"), 500ms).left(6), "Done!\n");
    std::vector<QByteArray> telegrams = {example};
    for (const char* start : {"68 18 44 2D 4D 89 67 45 23 02 04 7A", "68 12 44 2D 4D 90 78 56 34 03 02 7A",
                              "68 1A 44 2D 4D 01 89 67 45 04 03 72 12 90 78 56 2D 4D 04 03"})
        telegrams.push_back(ToBytes(test::Bytes(start)));
    const auto allIn = [&] {
        return std::all_of(telegrams.begin(), telegrams.end(), [&](const QByteArray& t) { return client.received().contains(t); });
    };
    EXPECT_TRUE(RunUntil(allIn, 2600ms)) << HexRendering(ToTelegram(client.received()));
    client.write(test::TextBytes("set rtra=0"));
    RunFor(100ms);
    // The entry's meter has been heard: it answers at 5 as a wired meter of unit 15, without records.
    const Telegram rsp = ToTelegram(client.listen(BuildReqUd2(5), 300ms));
    ASSERT_TRUE(Valid(rsp)) << HexRendering(rsp);
    EXPECT_EQ(test::IdOfFrame(rsp), "12345678");
    EXPECT_EQ(rsp.size(), 21u);
}

TEST_F(Bridge, OnlyMetersAtTheBridgeSpeedAnswer) {
    m_bus = test::BusOf({SimpleMeter(1, "00002400"), SimpleMeter(2, "00009600", "SIM", 1, 0x07, 9600)});
    start(Quick(), 9600);
    BridgeClient client;
    ASSERT_TRUE(client.connectTo(m_server->port()));
    EXPECT_TRUE(client.listen(BuildReqUd2(1)).isEmpty());
    EXPECT_TRUE(Valid(ToTelegram(client.exchange(BuildReqUd2(2)))));
}

TEST(InProcessBridge, ServesOnItsOwnThreadToABlockingClient) {
    QString error;
    BackgroundBridge::Options options;
    options.timing = Quick();
    auto bridge = BackgroundBridge::Start(DefaultBus(), options, error);
    ASSERT_TRUE(bridge) << error.toStdString();
    ASSERT_NE(bridge->port(), 0);
    EXPECT_EQ(bridge->address(), QHostAddress(QHostAddress::LocalHost));
    // Like the program: a connection per operation, blocking waits on this thread.
    for (std::uint8_t address : {1, 10, 30}) {  // 30: the RXVpico's status
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, bridge->port());
        ASSERT_TRUE(socket.waitForConnected(2000));
        socket.write(ToBytes(BuildReqUd2(address)));
        QByteArray answer;
        while (!CompleteAnswer(answer) && socket.waitForReadyRead(2000)) answer += socket.readAll();
        const Telegram frame = ToTelegram(answer);
        EXPECT_TRUE(Valid(frame)) << int(address);
        EXPECT_EQ(frame.size() > 5 ? frame[5] : -1, address);
        socket.disconnectFromHost();
    }
    EXPECT_EQ(bridge->bus().size(), DefaultMeterStates().size() + 3) << "the meters, the display and the two receivers";
}

TEST(InProcessBridge, ReportsAPortThatCannotBeHad) {
    QTcpServer taken;
    ASSERT_TRUE(taken.listen(QHostAddress::LocalHost, 0));
    QString error;
    BackgroundBridge::Options options;
    options.port = taken.serverPort();
    EXPECT_FALSE(BackgroundBridge::Start(DefaultBus(), options, error));
    EXPECT_TRUE(error.contains(QString::number(taken.serverPort()))) << error.toStdString();
}

// The program's side of the pseudo-terminal, opened with plain POSIX calls as a serial port.
class SerialClient {
public:
    ~SerialClient() { close(); }

    // Fails with the reason, so a machine without pseudo-terminals says so.
    ::testing::AssertionResult open(const QString& path, speed_t speed) {
        m_fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_fd < 0) return ::testing::AssertionFailure() << "open " << path.toStdString() << ": " << std::strerror(errno);
        if (!setSpeed(speed)) return ::testing::AssertionFailure() << "termios on " << path.toStdString() << ": " << std::strerror(errno);
        return ::testing::AssertionSuccess();
    }

    bool setSpeed(speed_t speed) {
        termios tio{};
        if (::tcgetattr(m_fd, &tio) != 0) return false;
        ::cfmakeraw(&tio);
        // No parity bit: a pseudo-terminal cannot carry one, and asking for it alone is refused (EINVAL).
        tio.c_cflag |= CLOCAL | CREAD;
        ::cfsetispeed(&tio, speed);
        ::cfsetospeed(&tio, speed);
        return ::tcsetattr(m_fd, TCSANOW, &tio) == 0;
    }

    void close() {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
    }

    QByteArray exchange(const Telegram& frame, std::chrono::milliseconds window = 1500ms) {
        QByteArray received;
        if (::write(m_fd, frame.data(), frame.size()) != static_cast<ssize_t>(frame.size())) return received;
        RunUntil(
            [&] {
                drain(received);
                return CompleteAnswer(received);
            },
            window);
        return received;
    }

    QByteArray listen(const Telegram& frame, std::chrono::milliseconds window = 150ms) {
        QByteArray received;
        if (::write(m_fd, frame.data(), frame.size()) != static_cast<ssize_t>(frame.size())) return "write failed";
        RunUntil(
            [&] {
                drain(received);
                return false;
            },
            window);
        return received;
    }

private:
    void drain(QByteArray& into) {
        char buffer[512];
        for (ssize_t n; (n = ::read(m_fd, buffer, sizeof buffer)) > 0;) into.append(buffer, static_cast<qsizetype>(n));
    }

    int m_fd = -1;
};

TEST(PseudoTerminal, AnswersAPlainPosixSerialClient) {
    auto bus = DefaultBus();
    PtyPort pty(*bus, Quick());
    ASSERT_TRUE(pty.open()) << pty.errorString().toStdString();
    ASSERT_TRUE(pty.slavePath().startsWith("/dev/pts/")) << pty.slavePath().toStdString();

    SerialClient port;
    ASSERT_TRUE(port.open(pty.slavePath(), B2400));
    for (std::uint8_t address : {2, 11, 15}) {
        const Telegram frame = ToTelegram(port.exchange(BuildReqUd2(address)));
        EXPECT_TRUE(Valid(frame)) << int(address) << ": " << HexRendering(frame);
    }
    EXPECT_EQ(port.exchange(BuildSndNke(4)), QByteArray("\xE5", 1));
    EXPECT_TRUE(port.listen(BuildReqUd2(9)).isEmpty());
}

TEST(PseudoTerminal, HearsAtTheSpeedTheProgramSet) {
    auto bus = test::BusOf({SimpleMeter(1, "00002400"), SimpleMeter(2, "00009600", "SIM", 1, 0x07, 9600)});
    PtyPort pty(*bus, Quick());
    ASSERT_TRUE(pty.open());
    EXPECT_EQ(pty.lineBaud(), 2400) << "until the program sets a speed";

    SerialClient port;
    ASSERT_TRUE(port.open(pty.slavePath(), B9600));
    EXPECT_EQ(pty.lineBaud(), 9600);
    EXPECT_TRUE(port.listen(BuildReqUd2(1)).isEmpty()) << "the 2400-baud meter hears noise";
    EXPECT_TRUE(Valid(ToTelegram(port.exchange(BuildReqUd2(2)))));

    ASSERT_TRUE(port.setSpeed(B2400));
    EXPECT_TRUE(Valid(ToTelegram(port.exchange(BuildReqUd2(1)))));
    EXPECT_TRUE(port.listen(BuildReqUd2(2)).isEmpty());
}

TEST(PseudoTerminal, KeepsWorkingWhenTheProgramReopensThePort) {
    auto bus = DefaultBus();
    PtyPort pty(*bus, Quick());
    ASSERT_TRUE(pty.open());
    for (int operation = 0; operation < 3; ++operation) {
        SerialClient port;
        ASSERT_TRUE(port.open(pty.slavePath(), B2400)) << operation;
        EXPECT_TRUE(Valid(ToTelegram(port.exchange(BuildReqUd2(3))))) << operation;
    }
}

// The program opens its port with QSerialPort at 2400 baud, even parity; the pseudo-terminal has no
// parity bit, and opening it again and again must still work.
TEST(PseudoTerminal, OpensAsAQSerialPortWithEvenParity) {
    auto bus = DefaultBus();
    PtyPort pty(*bus, Quick());
    ASSERT_TRUE(pty.open());
    for (int operation = 0; operation < 3; ++operation) {
        QSerialPort port(pty.slavePath());
        port.setBaudRate(QSerialPort::Baud2400);
        port.setParity(QSerialPort::EvenParity);
        port.setDataBits(QSerialPort::Data8);
        port.setStopBits(QSerialPort::OneStop);
        port.setFlowControl(QSerialPort::NoFlowControl);
        ASSERT_TRUE(port.open(QIODevice::ReadWrite)) << operation << ": " << port.errorString().toStdString();
        EXPECT_EQ(pty.lineBaud(), 2400);
        port.write(ToBytes(BuildReqUd2(4)));
        QByteArray answer;
        RunUntil(
            [&] {
                answer += port.readAll();
                return CompleteAnswer(answer);
            },
            1500ms);
        EXPECT_TRUE(Valid(ToTelegram(answer))) << operation << ": " << answer.toHex(' ').toStdString();
        port.close();
    }
}

TEST(PseudoTerminal, LinkIsMadeAndRemoved) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString link = dir.filePath("ttyMBUS");
    auto bus = DefaultBus();
    {
        PtyPort pty(*bus, Quick());
        ASSERT_TRUE(pty.open(link)) << pty.errorString().toStdString();
        EXPECT_EQ(QFileInfo(link).symLinkTarget(), pty.slavePath());
        SerialClient port;
        ASSERT_TRUE(port.open(link, B2400));
        EXPECT_TRUE(Valid(ToTelegram(port.exchange(BuildReqUd2(12)))));
    }
    EXPECT_FALSE(QFileInfo(link).isSymLink());

    // A stale link from an earlier run is replaced; a file that is not a link is left alone.
    ASSERT_TRUE(QFile::link("/dev/null", link));
    {
        PtyPort pty(*bus, Quick());
        ASSERT_TRUE(pty.open(link)) << pty.errorString().toStdString();
        EXPECT_EQ(QFileInfo(link).symLinkTarget(), pty.slavePath());
    }
    const QString file = dir.filePath("regular");
    QFile(file).open(QIODevice::WriteOnly);
    PtyPort pty(*bus, Quick());
    EXPECT_FALSE(pty.open(file));
    EXPECT_TRUE(pty.errorString().contains(file)) << pty.errorString().toStdString();
    EXPECT_TRUE(QFileInfo(file).isFile());
}

} // namespace
} // namespace veltro::sim
