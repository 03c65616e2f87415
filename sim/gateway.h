#pragma once

#include <chrono>
#include <deque>
#include <optional>

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include "sim/bus.h"
#include "sim/bus_port.h"
#include "sim/gateway_frame.h"
#include "sim/gateway_settings.h"
#include "sim/meter.h"

namespace veltro::sim {

// How replies leave: `delay` after they are ready (a GPRS gateway's round trip), and in pieces of
// `chunk` bytes with `chunkPause` between them (0: the whole frame in one write).
struct GatewayPacing {
    std::chrono::milliseconds delay{0};
    int chunk = 0;
    std::chrono::milliseconds chunkPause{20};
};

// The gateway's side of one TCP connection, in front of the bus: greets, cuts the byte stream into
// 300-byte request frames, refuses a bad frame with a status reply naming the fault, hands a good
// frame's telegram to the bus at `lineBaud` and wraps the answer into a data reply, or answers
// "timeout expired" when no answer starts within the m-bus time-out of the settings. One request is on
// the bus at a time; the others wait their turn.
class GatewayChannel : public QObject {
    Q_OBJECT
public:
    GatewayChannel(Bus& bus, LineTiming timing, int lineBaud, GatewaySettings& settings, GatewayPacing pacing,
                   QObject* parent = nullptr);

    // A new connection: everything of the old one is dropped, then the greeting goes out.
    void start();
    void receive(const QByteArray& bytes);
    // The connection went away: drop the partial frame, the waiting requests and the replies not yet sent.
    void reset();

    // A partial request frame older than this is answered "wrong telegram length" and dropped.
    static constexpr std::chrono::milliseconds kRequestGap{500};

signals:
    void transmit(const QByteArray& bytes);
    void log(const QString& line);

private:
    struct Outgoing {
        QByteArray bytes;
        qint64 dueMs = 0;
        qsizetype sent = 0;
    };

    void takeFrames();
    void serveNext();
    void heard(const QByteArray& bytes);
    void answerEnded();
    void busTimedOut();
    void requestGapEnded();
    void reply(std::vector<std::uint8_t> frame, const QString& what);
    void pump();

    LineTiming m_timing;
    int m_lineBaud;
    GatewaySettings& m_settings;
    GatewayPacing m_pacing;
    BusPort m_port;
    QElapsedTimer m_clock;

    QByteArray m_incoming;  // a request frame not yet complete
    QTimer m_requestGap;
    std::deque<QByteArray> m_waiting;  // complete request frames, oldest first

    std::optional<gateway::Request> m_current;  // on the bus now
    QByteArray m_answer;
    QTimer m_busTimeout;
    QTimer m_answerGap;

    std::deque<Outgoing> m_replies;
    QTimer m_pumpTimer;
};

// The gateway listening for the program (the gateway's server setting): one connection at a time, a new
// one replaces the old, each is greeted first.
class GatewayServer : public QObject {
    Q_OBJECT
public:
    GatewayServer(Bus& bus, GatewaySettings& settings, LineTiming timing = {}, int lineBaud = kDefaultBaud,
                  GatewayPacing pacing = {}, QObject* parent = nullptr);
    ~GatewayServer() override;

    bool listen(const QHostAddress& address = QHostAddress::LocalHost, quint16 port = 0);
    quint16 port() const { return m_server.serverPort(); }
    QHostAddress address() const { return m_server.serverAddress(); }
    QString errorString() const { return m_server.errorString(); }

signals:
    void log(const QString& line);

private:
    void acceptClients();

    GatewaySettings& m_settings;
    QTcpServer m_server;
    GatewayChannel m_channel;
    QPointer<QTcpSocket> m_client;
};

// The gateway calling the program's listening port (the gateway's client setting): it tries every
// second until a connection stands, greets, and after a disconnect starts trying again.
class GatewayCaller : public QObject {
    Q_OBJECT
public:
    GatewayCaller(Bus& bus, GatewaySettings& settings, LineTiming timing = {}, int lineBaud = kDefaultBaud,
                  GatewayPacing pacing = {}, QObject* parent = nullptr);
    ~GatewayCaller() override;

    void start(const QHostAddress& address, quint16 port);
    bool connected() const { return m_socket.state() == QAbstractSocket::ConnectedState; }

    static constexpr std::chrono::milliseconds kRetryInterval{1000};

signals:
    void log(const QString& line);

private:
    void attempt();
    void retryLater();

    GatewaySettings& m_settings;
    QTcpSocket m_socket;
    GatewayChannel m_channel;
    QTimer m_retry;
    QHostAddress m_address;
    quint16 m_port = 0;
};

} // namespace veltro::sim
