#pragma once

#include <span>

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include "mbus/telegram.h"

namespace veltro {

class CommunicationLog;
class GatewaySession;
class LiveSettings;

// Reads of a gateway connection go to the session in slices of one frame at most, a bounded number per
// turn of the event loop, so a flood cannot starve the timers or the window.
class GatewayReader : public QObject {
    Q_OBJECT

public:
    static constexpr qint64 kSlice = 300;
    static constexpr int kSlicesPerTurn = 64;
    static constexpr qint64 kReadBufferSize = 64 * 1024;

    GatewayReader(GatewaySession& session, bool logPackets, QObject* parent = nullptr);
    void attach(QTcpSocket* socket);
    void drain();

signals:
    void activity();  // bytes were read (the server's idle supervision restarts)

private:
    GatewaySession& m_session;
    bool m_logPackets;
    QPointer<QTcpSocket> m_socket;
    bool m_drainScheduled = false;
};

// The gateway client `NLAN_client_socket`: the program connects to a gateway and stays connected across
// operations unless "Close automatically connection" is set.
class GatewayClientChannel : public QObject {
    Q_OBJECT

public:
    static constexpr quint16 kDefaultPort = 59615;
    static constexpr int kWaitStepMilliseconds = 10;
    enum class ConnectStart { Connected, Pending, Refused };

    GatewayClientChannel(CommunicationLog& log, const LiveSettings& settings, GatewaySession& session,
                         QObject* parent = nullptr);

    // `Butt_nlanClick`: Pending, then `connectFinished(ok)` as soon as the connection is made, or after
    // "Ethernet timeout" steps of 10 ms.
    ConnectStart startConnect();
    bool isConnected() const { return m_connected; }
    void deactivate();
    bool write(std::span<const std::uint8_t> frame, QString& error);
    QString endpointText() const;

signals:
    void connectFinished(bool connected);
    void connectedChanged(bool connected);

private:
    void onConnected();
    void onDisconnected();
    void onError(QAbstractSocket::SocketError error);
    void finishConnecting(bool connected);
    void setConnected(bool connected);

    CommunicationLog& m_log;
    const LiveSettings& m_settings;
    GatewaySession& m_session;
    QTcpSocket m_socket;
    GatewayReader m_reader;
    QTimer m_deadline;
    QString m_peerHost;
    quint16 m_peerPort = 0;
    bool m_connected = false;
};

// The gateway server `Socket1`: one gateway connects to the program's listening port; further
// connections are closed as they come. Ten minutes without a connection or a read re-open it.
class GatewayServerChannel : public QObject {
    Q_OBJECT

public:
    static constexpr quint16 kDefaultPort = 59615;
    static constexpr int kIdleMilliseconds = 10 * 60 * 1000;

    GatewayServerChannel(CommunicationLog& log, const LiveSettings& settings, GatewaySession& session,
                         QObject* parent = nullptr);
    ~GatewayServerChannel() override;

    // `ToggleServerSocket`: opens the listening socket on `portText`, or closes it when it listens.
    void toggle(const QString& portText);
    void close();  // "Apply": the listening socket and its gateway's connection
    bool isListening() const { return m_server.isListening(); }
    quint16 listeningPort() const { return m_server.serverPort(); }
    bool gatewayConnected() const { return m_gateway != nullptr; }
    bool write(std::span<const std::uint8_t> frame, QString& error);
    void setIdleInterval(int milliseconds) { m_idle.setInterval(milliseconds); }

signals:
    void gatewayAccepted();  // the window comes to the front
    void gatewayConnectedChanged(bool connected);

private:
    void onNewConnection();
    void onGatewayDisconnected();
    void onIdle();
    void dropGateway();

    CommunicationLog& m_log;
    const LiveSettings& m_settings;
    GatewaySession& m_session;
    QTcpServer m_server;
    QPointer<QTcpSocket> m_gateway;
    QString m_gatewayHost;
    GatewayReader m_reader;
    QTimer m_idle;  // `Timer_close_socket`
};

} // namespace veltro
