#include "sim/gateway.h"

#include <algorithm>

#include "mbus/hex.h"

namespace veltro::sim {
namespace {

using namespace std::chrono_literals;

// A flood of requests is not queued without end; beyond this the newest frames are dropped.
constexpr std::size_t kMostWaitingRequests = 32;
constexpr std::chrono::milliseconds kConnectWatchdog{5000};

std::span<const std::uint8_t> Span(const QByteArray& bytes) {
    return {reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size())};
}

QByteArray ToBytes(std::span<const std::uint8_t> bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

QString Hex(std::span<const std::uint8_t> bytes) { return QString::fromStdString(HexRendering(bytes)).trimmed(); }

qint64 LineTimeMs(std::size_t characters, int baud) {
    if (baud <= 0) return 0;
    return (static_cast<qint64>(characters) * 11 * 1000 + baud - 1) / baud;
}

// Whether the bytes so far make one whole M-Bus answer: E5h, a short frame 10h C A CS 16h, or a long
// frame 68h L L 68h ... CS 16h of L + 6 bytes. Anything else (a collision) ends at a pause instead.
bool AnswerComplete(const QByteArray& bytes) {
    if (bytes.isEmpty()) return false;
    const auto first = static_cast<std::uint8_t>(bytes[0]);
    if (first == 0xE5) return true;
    if (first == 0x10) return bytes.size() >= 5;
    if (first == 0x68 && bytes.size() >= 2) return bytes.size() >= static_cast<std::uint8_t>(bytes[1]) + 6;
    return false;
}

} // namespace

GatewayChannel::GatewayChannel(Bus& bus, LineTiming timing, int lineBaud, GatewaySettings& settings,
                               GatewayPacing pacing, QObject* parent)
    : QObject(parent),
      m_timing(timing),
      m_lineBaud(lineBaud),
      m_settings(settings),
      m_pacing(pacing),
      m_port(bus, timing, "gateway bus") {
    m_clock.start();
    for (QTimer* timer : {&m_requestGap, &m_busTimeout, &m_answerGap, &m_pumpTimer}) {
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
    }
    connect(&m_requestGap, &QTimer::timeout, this, &GatewayChannel::requestGapEnded);
    connect(&m_busTimeout, &QTimer::timeout, this, &GatewayChannel::busTimedOut);
    connect(&m_answerGap, &QTimer::timeout, this, &GatewayChannel::answerEnded);
    connect(&m_pumpTimer, &QTimer::timeout, this, &GatewayChannel::pump);
    connect(&m_port, &BusPort::log, this, &GatewayChannel::log);
    connect(&m_port, &BusPort::transmit, this, &GatewayChannel::heard);
}

void GatewayChannel::start() {
    reset();
    reply(gateway::BuildStatusReply(m_settings.network(), 0, {}),
          "greeting, network " + QString::fromStdString(gateway::NetworkNumberText(m_settings.network())));
}

void GatewayChannel::reset() {
    m_incoming.clear();
    m_requestGap.stop();
    m_waiting.clear();
    m_current.reset();
    m_answer.clear();
    m_busTimeout.stop();
    m_answerGap.stop();
    m_port.reset();
    m_replies.clear();
    m_pumpTimer.stop();
}

void GatewayChannel::receive(const QByteArray& bytes) {
    m_incoming += bytes;
    takeFrames();
}

void GatewayChannel::takeFrames() {
    const auto frameSize = static_cast<qsizetype>(gateway::kFrameSize);
    while (m_incoming.size() >= frameSize) {
        if (m_waiting.size() < kMostWaitingRequests) m_waiting.push_back(m_incoming.left(frameSize));
        else emit log("gateway: " + QString::number(kMostWaitingRequests) + " requests wait already, one dropped");
        m_incoming.remove(0, frameSize);
    }
    if (m_incoming.isEmpty()) m_requestGap.stop();
    else m_requestGap.start(kRequestGap);
    if (!m_current) serveNext();
}

// Without a pause the gateway cannot know where a frame shorter than 300 bytes ends; after one it can.
void GatewayChannel::requestGapEnded() {
    emit log("gateway: " + QString::number(m_incoming.size()) + " byte(s) of a request, then silence: " +
             Hex(Span(m_incoming)));
    m_incoming.clear();
    reply(gateway::BuildStatusReply(m_settings.network(), 0, gateway::Status::Failure(gateway::kWrongLength)),
          "refusal, wrong telegram length");
}

void GatewayChannel::serveNext() {
    while (!m_current && !m_waiting.empty()) {
        const QByteArray frame = m_waiting.front();
        m_waiting.pop_front();
        auto check = gateway::ReadRequest(Span(frame), m_settings.network());
        if (!check.request) {
            const std::uint16_t sequence =
                static_cast<std::uint16_t>(static_cast<std::uint8_t>(frame[6]) << 8 | static_cast<std::uint8_t>(frame[7]));
            reply(gateway::BuildStatusReply(m_settings.network(), sequence, check.status),
                  "refusal, " + QString::fromStdString(gateway::DescribeStatus(check.status)));
            continue;
        }
        m_current = std::move(check.request);
        emit log(QStringLiteral("gateway <- request %1, block %2h: %3")
                     .arg(m_current->sequence)
                     .arg(QString::number(m_current->blockType, 16).toUpper())
                     .arg(Hex(m_current->telegram)));
        m_answer.clear();
        // The time-out counts from the end of the telegram on the line.
        const qint64 lineMs = m_timing.wireSpeed ? LineTimeMs(m_current->telegram.size(), m_lineBaud) : 0;
        m_busTimeout.start(std::chrono::milliseconds{lineMs} + m_settings.mbusTimeout());
        m_port.receive(ToBytes(m_current->telegram), m_lineBaud);
    }
}

void GatewayChannel::heard(const QByteArray& bytes) {
    if (!m_current) {
        emit log("gateway: " + QString::number(bytes.size()) + " byte(s) from the bus after the request ended, dropped");
        return;
    }
    m_busTimeout.stop();
    m_answer += bytes;
    if (AnswerComplete(m_answer)) {
        answerEnded();
        return;
    }
    // Three characters of silence end an answer that is no frame.
    m_answerGap.start(std::chrono::milliseconds{std::max<qint64>(30, LineTimeMs(3, m_lineBaud))});
}

void GatewayChannel::answerEnded() {
    m_answerGap.stop();
    const gateway::Request request = std::move(*m_current);
    m_current.reset();
    // Whatever the bus still has for this request (the rest of a collision) is not for the next one.
    m_port.reset();
    const auto data = gateway::BuildDataReply(m_settings.network(), request.sequence, request.blockType, Span(m_answer), {});
    if (data) {
        reply(*data, "data reply, " + QString::number(m_answer.size()) + " byte(s) of answer");
    } else {
        reply(gateway::BuildStatusReply(m_settings.network(), request.sequence,
                                        gateway::Status::Failure(0, gateway::kBadPacket)),
              "status reply, bad packet: an answer of " + QString::number(m_answer.size()) + " bytes does not fit");
    }
    m_answer.clear();
    serveNext();
}

void GatewayChannel::busTimedOut() {
    const gateway::Request request = std::move(*m_current);
    m_current.reset();
    m_port.reset();  // a late answer must not pass for the next request's
    reply(gateway::BuildStatusReply(m_settings.network(), request.sequence,
                                    gateway::Status::Failure(0, gateway::kTimeoutExpired)),
          "status reply, timeout expired");
    serveNext();
}

void GatewayChannel::reply(std::vector<std::uint8_t> frame, const QString& what) {
    emit log("gateway -> " + what);
    Outgoing out;
    out.bytes = ToBytes(frame);
    out.dueMs = m_clock.elapsed() + m_pacing.delay.count();
    m_replies.push_back(std::move(out));
    if (m_replies.size() == 1) pump();
}

void GatewayChannel::pump() {
    while (!m_replies.empty()) {
        Outgoing& out = m_replies.front();
        const qint64 now = m_clock.elapsed();
        if (now < out.dueMs) {
            m_pumpTimer.start(static_cast<int>(out.dueMs - now));
            return;
        }
        const qsizetype piece = m_pacing.chunk > 0 ? m_pacing.chunk : out.bytes.size();
        const QByteArray bytes = out.bytes.mid(out.sent, piece);
        out.sent += bytes.size();
        const bool done = out.sent >= out.bytes.size();
        if (done) m_replies.pop_front();
        else out.dueMs = now + m_pacing.chunkPause.count();
        emit transmit(bytes);  // may reset() this channel; the loop then finds nothing left
    }
}

GatewayServer::GatewayServer(Bus& bus, GatewaySettings& settings, LineTiming timing, int lineBaud, GatewayPacing pacing,
                             QObject* parent)
    : QObject(parent), m_settings(settings), m_channel(bus, timing, lineBaud, settings, pacing) {
    connect(&m_server, &QTcpServer::newConnection, this, &GatewayServer::acceptClients);
    connect(&m_channel, &GatewayChannel::log, this, &GatewayServer::log);
    connect(&m_channel, &GatewayChannel::transmit, this, [this](const QByteArray& bytes) {
        if (m_client && m_client->state() == QAbstractSocket::ConnectedState) m_client->write(bytes);
    });
}

GatewayServer::~GatewayServer() {
    // The client sockets are children of m_server, destroyed after m_channel: cut them off first.
    for (QTcpSocket* socket : m_server.findChildren<QTcpSocket*>()) {
        socket->disconnect(this);
        socket->abort();
    }
    m_server.close();
    m_settings.setConnected(false);
}

bool GatewayServer::listen(const QHostAddress& address, quint16 port) { return m_server.listen(address, port); }

void GatewayServer::acceptClients() {
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        if (m_client) {
            emit log("gateway: client " + m_client->peerAddress().toString() + ":" + QString::number(m_client->peerPort()) +
                     " replaced by a new one");
            QTcpSocket* old = m_client;
            m_client.clear();
            old->abort();
            old->deleteLater();
        }
        m_client = socket;
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        emit log("gateway: client " + socket->peerAddress().toString() + ":" + QString::number(socket->peerPort()) +
                 " connected");
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            const QByteArray bytes = socket->readAll();
            if (socket == m_client) m_channel.receive(bytes);
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            if (socket == m_client) {
                emit log("gateway: client disconnected");
                m_client.clear();
                m_channel.reset();
                m_settings.setConnected(false);
            }
            socket->deleteLater();
        });
        m_settings.setConnected(true);
        m_channel.start();
    }
}

GatewayCaller::GatewayCaller(Bus& bus, GatewaySettings& settings, LineTiming timing, int lineBaud, GatewayPacing pacing,
                             QObject* parent)
    : QObject(parent), m_settings(settings), m_channel(bus, timing, lineBaud, settings, pacing) {
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &GatewayCaller::attempt);
    connect(&m_channel, &GatewayChannel::log, this, &GatewayCaller::log);
    connect(&m_channel, &GatewayChannel::transmit, this, [this](const QByteArray& bytes) {
        if (connected()) m_socket.write(bytes);
    });
    connect(&m_socket, &QTcpSocket::connected, this, [this] {
        m_retry.stop();
        m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        emit log("gateway: connected to " + m_address.toString() + ":" + QString::number(m_port));
        m_settings.setConnected(true);
        m_channel.start();
    });
    connect(&m_socket, &QTcpSocket::readyRead, this, [this] { m_channel.receive(m_socket.readAll()); });
    connect(&m_socket, &QTcpSocket::disconnected, this, [this] {
        emit log("gateway: disconnected from " + m_address.toString() + ":" + QString::number(m_port));
        m_channel.reset();
        m_settings.setConnected(false);
        retryLater();
    });
    connect(&m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
        // A refused or failed attempt; a drop of a standing connection comes as disconnected() as well.
        if (m_socket.state() != QAbstractSocket::ConnectedState) {
            emit log("gateway: cannot reach " + m_address.toString() + ":" + QString::number(m_port) + ": " +
                     m_socket.errorString());
            retryLater();
        }
    });
}

GatewayCaller::~GatewayCaller() {
    m_socket.disconnect(this);
    m_socket.abort();
    m_settings.setConnected(false);
}

void GatewayCaller::start(const QHostAddress& address, quint16 port) {
    m_address = address;
    m_port = port;
    attempt();
}

void GatewayCaller::attempt() {
    m_socket.abort();
    // An attempt that neither connects nor fails (a host that drops the packets) is abandoned. Started
    // first, so a failure reported at once still gets its one-second retry.
    m_retry.start(kConnectWatchdog);
    m_socket.connectToHost(m_address, m_port);
}

void GatewayCaller::retryLater() { m_retry.start(kRetryInterval); }

} // namespace veltro::sim
