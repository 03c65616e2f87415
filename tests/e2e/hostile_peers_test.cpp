// Peers that are no meter, bridge or gateway, on every link role: garbage, single bytes, a flood, silence,
// a hang-up mid-frame, a connection churn. Each case ends with a read through a real simulator on the
// same role, and prints the peak memory and the longest event-loop stall it caused as a "[figure]" line.
#include "bus_fixture.h"

#include <algorithm>
#include <iostream>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <QFile>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include "link/link_facade.h"
#include "sim/gateway_frame.h"
#include "sim/pseudo_terminal.h"

namespace veltro::test {
namespace {

enum class Role { Bridge, GatewayClient, GatewayServer, Serial };
enum class Case { Garbage, OneByteChunks, Flood, FloodEveryRequest, Silent, HangUpMidFrame, Churn };

const char* Name(Role role) {
    switch (role) {
    case Role::Bridge: return "BridgeClient";
    case Role::GatewayClient: return "GatewayClient";
    case Role::GatewayServer: return "GatewayServer";
    case Role::Serial: break;
    }
    return "SerialPort";
}

const char* Name(Case c) {
    switch (c) {
    case Case::Garbage: return "GarbageDuringARead";
    case Case::OneByteChunks: return "TheAnswerInOneByteChunks";
    case Case::Flood: return "TenMegabyteFlood";
    case Case::FloodEveryRequest: return "AMegabyteToEveryRequestOfAScan";
    case Case::Silent: return "SilentPeer";
    case Case::HangUpMidFrame: return "HangUpMidFrame";
    case Case::Churn: break;
    }
    return "ConnectionChurn";
}

constexpr qint64 kFloodBytes = 10 * 1024 * 1024;
constexpr qint64 kFloodChunk = 64 * 1024;
constexpr qint64 kMegabyte = 1024 * 1024;
constexpr int kFloodedRequests = 40;
constexpr int kStallMarginMs = 2000;
constexpr qint64 kPeakGrowthLimitMb = 200;
// AddressSanitizer keeps freed memory in quarantine (256 MB by default): its peak says little.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif
constexpr int kChurnConnections = 1000;  // the server role
constexpr int kChurnOperations = 20;     // the client roles: one connection each
const sim::gateway::NetworkNumber kNetwork{0, 0, 0, 1};

QByteArray Garbage(qsizetype size, int seed = 7) {
    QByteArray bytes(size, '\0');
    for (qsizetype i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + seed) & 0xFF);
    return bytes;
}

QByteArray Bytes(std::span<const std::uint8_t> bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

// The largest gap between the ticks of a 10 ms timer: how long the event loop was held up.
class StallMeter {
public:
    StallMeter() {
        QObject::connect(&m_tick, &QTimer::timeout, [this] { sample(); });
        m_tick.setTimerType(Qt::PreciseTimer);
        m_clock.start();
        m_tick.start(10);
    }
    qint64 longest() {
        sample();
        return m_longest;
    }

private:
    void sample() {
        const qint64 now = m_clock.elapsed();
        m_longest = std::max(m_longest, now - m_last);
        m_last = now;
    }
    QTimer m_tick;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
};

qint64 StatusKilobytes(const QByteArray& key) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(key + ':')) return line.mid(key.size() + 1).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

// The process's peak resident size, reset to the present one; -1 when the kernel does not allow it.
class PeakMemory {
public:
    PeakMemory() {
#if defined(__GLIBC__)
        malloc_trim(0);  // freed heap of earlier cases would otherwise hide this one's growth
#endif
        QFile clear(QStringLiteral("/proc/self/clear_refs"));
        if (clear.open(QIODevice::WriteOnly) && clear.write("5") == 1 && clear.flush()) m_baseline = StatusKilobytes("VmRSS");
    }
    qint64 growthMb() const {
        if (m_baseline < 0) return -1;
        return std::max<qint64>(0, StatusKilobytes("VmHWM") - m_baseline) / 1024;
    }

private:
    qint64 m_baseline = -1;
};

// The far end of the link, in the program's hands as the peer of the role: a listening socket the
// program connects to, a socket that calls the program's port, or the master of a pseudo-terminal.
class HostilePeer {
public:
    explicit HostilePeer(Role role) : m_role(role) {
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* incoming = m_server.nextPendingConnection()) {
                ++accepted;
                if (acceptAndClose) {
                    incoming->abort();
                    incoming->deleteLater();
                    continue;
                }
                if (m_socket) m_socket->abort();
                adopt(incoming);
            }
        });
        QObject::connect(&m_terminal, &sim::PseudoTerminal::received, [this](const QByteArray& bytes) { heard += bytes; });
    }
    ~HostilePeer() {
        if (m_socket) m_socket->abort();
    }

    bool listen() { return m_server.listen(QHostAddress::LocalHost, 0); }
    quint16 port() const { return m_server.serverPort(); }
    bool openTerminal() { return m_terminal.open(); }
    QString terminalPath() const { return m_terminal.slavePath(); }
    void call(quint16 port) {
        auto* socket = new QTcpSocket;
        adopt(socket);
        socket->connectToHost(QHostAddress::LocalHost, port);
    }

    bool tcp() const { return m_role != Role::Serial; }
    bool alive() const { return !tcp() || (m_socket && m_socket->state() == QAbstractSocket::ConnectedState); }
    void send(const QByteArray& bytes) {
        if (!tcp()) {
            m_terminal.write(bytes);
            return;
        }
        if (!m_socket) return;
        m_socket->write(bytes);
        m_socket->flush();
    }
    // What is still queued on this side, not yet handed to the kernel (the terminal keeps its own 64 KiB).
    qint64 queued() const { return tcp() && m_socket ? m_socket->bytesToWrite() : 0; }
    void hangUp() {
        if (m_socket) m_socket->abort();
    }

    QByteArray heard;
    bool acceptAndClose = false;
    int accepted = 0;

private:
    void adopt(QTcpSocket* socket) {
        m_socket = socket;
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        QObject::connect(socket, &QTcpSocket::readyRead, [this, socket] { heard += socket->readAll(); });
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }

    Role m_role;
    QTcpServer m_server;
    QPointer<QTcpSocket> m_socket;
    sim::PseudoTerminal m_terminal;
};

struct Row {
    Role role;
    Case hostile;
};

class HostilePeers : public BusFixture, public ::testing::WithParamInterface<Row> {
protected:
    Role role() const { return GetParam().role; }
    bool gateway() const { return role() == Role::GatewayClient || role() == Role::GatewayServer; }
    std::size_t requestSize() const { return gateway() ? sim::gateway::kFrameSize : 5; }
    std::string logText() const { return log().join('\n').toStdString(); }

    // The window of the hostile reads: long enough for the whole answer to trickle in byte by byte, or for
    // the flood to flow; short where many operations run.
    int window() const {
        switch (GetParam().hostile) {
        case Case::Churn:
        case Case::FloodEveryRequest: return 100;
        case Case::Flood: return 1000;
        case Case::OneByteChunks: return gateway() ? 1500 : kWindow;
        default: break;
        }
        return gateway() ? 300 : kWindow;
    }

    // The real simulator stands ready on the role; the program is pointed at the hostile peer.
    void start() {
        switch (role()) {
        case Role::Bridge: startBus(sim::DefaultBus(), Transport::BridgeAlways); break;
        case Role::GatewayClient: startBus(sim::DefaultBus(), Transport::GatewayClient); break;
        case Role::Serial: startBus(sim::DefaultBus(), Transport::Serial); break;
        case Role::GatewayServer: startBus(sim::DefaultBus(), Transport::BridgeAlways); break;
        }
        Settings s = engine->settings().settings();
        if (role() == Role::Serial) {
            m_realEndpoint = s.comPort.name;
            ASSERT_TRUE(m_peer.openTerminal());
            s.comPort.name = m_peer.terminalPath().toStdString();
        } else if (role() == Role::GatewayServer) {
            QTcpServer probe;
            ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
            m_listenPort = probe.serverPort();
            probe.close();
            s.misc.useEthernet = true;
            s.ethernet.keepAlive = false;
            s.ethernet.listenPort = std::to_string(m_listenPort);
        } else {
            m_realEndpoint = s.vodud.port;
            ASSERT_TRUE(m_peer.listen());
            s.vodud.port = std::to_string(m_peer.port());
        }
        engine->settings().setSettings(s);
        engine->settings().setResponseWindow(window());
        if (role() == Role::GatewayServer) {
            engine->gatewayServer().toggle(QString::number(m_listenPort));
            ASSERT_TRUE(engine->gatewayServer().isListening());
            if (GetParam().hostile != Case::Churn) {
                m_peer.call(m_listenPort);
                ASSERT_TRUE(waitFor([&] { return engine->gatewayServer().gatewayConnected(); }, 5000));
            }
        }
        tableWithAddresses({"2"});
    }

    // Starts a read of address 2 and waits for its request to reach the peer.
    void readUntilRequested() {
        m_peer.heard.clear();
        meters().readSelected();
        ASSERT_TRUE(waitFor([&] { return static_cast<std::size_t>(m_peer.heard.size()) >= requestSize(); }, 5000)) << logText();
    }

    // What the meter at address 2 answers, as the peer of this role would hand it over.
    QByteArray answer() const {
        auto meter = MakeMeter(DefaultMeterAt(2));
        MasterFrame request;
        request.kind = MasterFrame::Kind::Short;
        request.control = frame::kReqUd2;
        request.address = 2;
        const auto response = meter->hear(request, 2400);
        EXPECT_TRUE(response.answer.has_value());
        if (!response.answer) return {};
        if (!gateway()) return Bytes(*response.answer);
        const QByteArray frame = m_peer.heard.left(static_cast<qsizetype>(sim::gateway::kFrameSize));
        // Whatever network number the program asks for: as server it has none from a peer that never greeted.
        sim::gateway::NetworkNumber network{};
        for (std::size_t i = 0; i < network.size(); ++i) network[i] = static_cast<std::uint8_t>(frame.at(static_cast<qsizetype>(i + 1)));
        const auto check = sim::gateway::ReadRequest(
            std::span(reinterpret_cast<const std::uint8_t*>(frame.constData()), static_cast<std::size_t>(frame.size())), network);
        EXPECT_TRUE(check.request.has_value()) << sim::gateway::DescribeStatus(check.status);
        if (!check.request) return {};
        const auto reply = sim::gateway::BuildDataReply(network, check.request->sequence, check.request->blockType,
                                                        *response.answer, {});
        EXPECT_TRUE(reply.has_value());
        return reply ? Bytes(*reply) : QByteArray();
    }

    // Runs the case against the peer; returns a figure of its own for the report ("" when none).
    std::string runCase() {
        const int limit = window() + 10000;
        switch (GetParam().hostile) {
        case Case::Garbage: {
            readUntilRequested();
            m_peer.send(Garbage(4096));
            EXPECT_TRUE(waitIdle(limit)) << logText();
            EXPECT_EQ(meters().table().cell(1, 0), "") << "garbage passed for an answer";
            if (gateway()) {
                EXPECT_GE(count("Error in START byte of NLAN-2 response..."), 1) << logText();
            }
            return {};
        }
        case Case::OneByteChunks: {
            readUntilRequested();
            const QByteArray bytes = answer();
            for (const char byte : bytes) {
                m_peer.send(QByteArray(1, byte));
                pump(1);
            }
            EXPECT_TRUE(waitIdle(limit)) << logText();
            EXPECT_EQ(meters().table().cell(1, 0), "51200417") << "the answer was not put together\n" << logText();
            return "bytes=" + std::to_string(bytes.size());
        }
        case Case::Flood: {
            readUntilRequested();
            const QByteArray chunk = Garbage(kFloodChunk, 11);
            qint64 offered = 0;
            QElapsedTimer spent;
            spent.start();
            // Paced by what the program takes: this side never holds more than a few chunks.
            while (offered < kFloodBytes && m_peer.alive() && spent.elapsed() < 30000) {
                if (m_peer.queued() < 4 * kFloodChunk) {
                    m_peer.send(chunk);
                    offered += kFloodChunk;
                }
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            }
            waitFor([&] { return m_peer.queued() == 0 || !m_peer.alive(); }, 30000);
            EXPECT_TRUE(waitIdle(limit)) << logText();
            pump(200);
            EXPECT_EQ(meters().table().cell(1, 0), "");
            EXPECT_LE(log().size(), 200000) << "the log grows with the flood";
            return "offered_mb=" + std::to_string(offered / (1024 * 1024));
        }
        case Case::FloodEveryRequest: {
            // A scan, every request answered by a megabyte of garbage: what the program keeps of it must
            // not add up window after window.
            m_peer.heard.clear();
            meters().findPrimary(0, kFloodedRequests - 1);
            const QByteArray chunk = Garbage(kFloodChunk, 13);
            qsizetype answered = 0;
            qint64 owed = 0;
            qint64 offered = 0;
            QElapsedTimer spent;
            spent.start();
            while (meters().busOperation() != BusOperation::None && spent.elapsed() < 60000) {
                const qsizetype requests = m_peer.heard.size() / static_cast<qsizetype>(requestSize());
                owed += (requests - answered) * kMegabyte;
                answered = requests;
                if (owed > 0 && m_peer.alive() && m_peer.queued() < 4 * kFloodChunk) {
                    m_peer.send(chunk);
                    owed -= kFloodChunk;
                    offered += kFloodChunk;
                }
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            }
            EXPECT_EQ(meters().busOperation(), BusOperation::None) << "the scan did not end";
            EXPECT_GE(answered, kFloodedRequests) << logText();
            return "requests=" + std::to_string(answered) + " offered_mb=" + std::to_string(offered / kMegabyte);
        }
        case Case::Silent: {
            QElapsedTimer elapsed;
            elapsed.start();
            QObject::connect(&engine->link(), &LinkFacade::acquired, [&elapsed] { elapsed.restart(); });
            readUntilRequested();
            EXPECT_TRUE(waitIdle(limit)) << logText();
            const qint64 took = elapsed.elapsed();
            EXPECT_EQ(count("No response from address 2"), 1) << logText();
            EXPECT_GE(took, window() - 5);
            EXPECT_LT(took, window() + kStallMarginMs) << "the read outlasted its window";
            EXPECT_EQ(static_cast<std::size_t>(m_peer.heard.size()), requestSize()) << "asked more than once";
            return "ended_after_ms=" + std::to_string(took);
        }
        case Case::HangUpMidFrame: {
            readUntilRequested();
            const QByteArray bytes = answer();
            m_peer.send(bytes.left(bytes.size() / 2));
            pump(30);
            m_peer.hangUp();
            EXPECT_TRUE(waitIdle(limit)) << logText();
            EXPECT_EQ(meters().table().cell(1, 0), "") << "half a frame passed for an answer";
            return {};
        }
        case Case::Churn: {
            if (role() == Role::GatewayServer) {
                for (int i = 0; i < kChurnConnections; ++i) {
                    QTcpSocket caller;
                    // The program may turn a caller away before this side sees its state: the signal counts.
                    bool connected = false;
                    QObject::connect(&caller, &QTcpSocket::connected, [&connected] { connected = true; });
                    caller.connectToHost(QHostAddress::LocalHost, m_listenPort);
                    if (!waitFor([&] { return connected; }, 5000)) {
                        ADD_FAILURE() << "connection " << i << " not accepted\n" << logText();
                        break;
                    }
                    caller.abort();
                }
                EXPECT_TRUE(waitFor([&] { return count("Incoming request...") == kChurnConnections; }, 10000))
                    << count("Incoming request...");
                EXPECT_TRUE(waitFor([&] { return !engine->gatewayServer().gatewayConnected(); }, 5000));
                EXPECT_TRUE(engine->gatewayServer().isListening());
                return "connections=" + std::to_string(kChurnConnections);
            }
            m_peer.acceptAndClose = true;
            for (int i = 0; i < kChurnOperations; ++i) {
                meters().readSelected();
                if (!waitIdle(limit)) {
                    ADD_FAILURE() << "operation " << i << " did not end\n" << logText();
                    break;
                }
            }
            EXPECT_GE(m_peer.accepted, kChurnOperations) << "an operation did not try to connect";
            EXPECT_EQ(meters().table().cell(1, 0), "");
            return "operations=" + std::to_string(kChurnOperations);
        }
        }
        return {};
    }

    // The peer goes; the program, pointed at the real simulator on the same role, reads address 2.
    void readThroughTheRealSimulator() {
        m_peer.hangUp();
        pump(50);
        // A read that went unanswered keeps the link for a quick retry; the operator moves on.
        engine->link().releaseLink();
        Settings s = engine->settings().settings();
        std::unique_ptr<sim::GatewaySettings> callerSettings;
        std::unique_ptr<sim::GatewayCaller> caller;
        switch (role()) {
        case Role::Serial: s.comPort.name = m_realEndpoint; break;
        case Role::Bridge:
        case Role::GatewayClient: s.vodud.port = m_realEndpoint; break;
        case Role::GatewayServer: break;
        }
        engine->settings().setSettings(s);
        engine->settings().setResponseWindow(gateway() ? 600 : kWindow);
        if (role() == Role::GatewayClient) engine->gatewayClient().deactivate();
        if (role() == Role::GatewayServer) {
            ASSERT_TRUE(waitFor([&] { return !engine->gatewayServer().gatewayConnected(); }, 5000));
            bool greeted = false;
            QObject::connect(&engine->gatewaySession(), &GatewaySession::greeted, [&greeted] { greeted = true; });
            callerSettings = std::make_unique<sim::GatewaySettings>(kNetwork, false);
            caller = std::make_unique<sim::GatewayCaller>(bus(), *callerSettings);
            caller->start(QHostAddress::LocalHost, m_listenPort);
            ASSERT_TRUE(waitFor([&] { return greeted; }, 5000)) << logText();
        }
        tableWithAddresses({"2"});
        meters().readSelected();
        ASSERT_TRUE(waitIdle(10000)) << logText();
        EXPECT_EQ(meters().table().cell(1, 0), "51200417") << logText();
    }

    HostilePeer m_peer{GetParam().role};
    std::string m_realEndpoint;
    quint16 m_listenPort = 0;
};

TEST_P(HostilePeers, TheLoopKeepsTurningMemoryStaysBoundedAndTheNextReadWorks) {
    start();
    if (HasFatalFailure()) return;
    const PeakMemory peak;
    StallMeter stalls;
    const std::string extra = runCase();
    const qint64 stall = stalls.longest();
    const qint64 growth = peak.growthMb();
    if (HasFatalFailure()) return;

    std::cout << "[figure] role=" << Name(role()) << " case=" << Name(GetParam().hostile)
              << " peak_mb=" << (growth < 0 ? std::string("n/a") : std::to_string(growth)) << " longest_stall_ms=" << stall
              << (extra.empty() ? "" : " " + extra) << std::endl;
    RecordProperty("peak_mb", growth < 0 ? std::string("n/a") : std::to_string(growth));
    RecordProperty("longest_stall_ms", std::to_string(stall));
    if (growth >= 0 && !kAddressSanitizer) {
        EXPECT_LT(growth, kPeakGrowthLimitMb);
    }
    EXPECT_LT(stall, window() + kStallMarginMs) << "the event loop stood still";

    readThroughTheRealSimulator();
}

std::vector<Row> Rows() {
    std::vector<Row> rows;
    for (const Role role : {Role::Bridge, Role::GatewayClient, Role::GatewayServer, Role::Serial})
        for (const Case hostile : {Case::Garbage, Case::OneByteChunks, Case::Flood, Case::FloodEveryRequest, Case::Silent,
                                   Case::HangUpMidFrame, Case::Churn}) {
            // A serial line has no connection to hang up or to churn; and the simulated line's own 64 KiB
            // queue keeps a megabyte per request from reaching the program.
            if (role == Role::Serial &&
                (hostile == Case::HangUpMidFrame || hostile == Case::Churn || hostile == Case::FloodEveryRequest))
                continue;
            rows.push_back({role, hostile});
        }
    return rows;
}

INSTANTIATE_TEST_SUITE_P(Roles, HostilePeers, ::testing::ValuesIn(Rows()), [](const auto& test) {
    return std::string(Name(test.param.role)) + "_" + Name(test.param.hostile);
});

} // namespace
} // namespace veltro::test
