#pragma once

#include <cstdint>
#include <span>

#include <QObject>
#include <QString>
#include <QTcpSocket>
#include <QTimer>

#include "mbus/telegram.h"

namespace veltro {

class CommunicationLog;
class LiveSettings;

// The transparent serial-over-TCP bridge `Xport_socket`: telegrams travel raw, byte for byte. The
// program connects as a client for one operation at a time (`AcquireLink` connects, `ReleaseLink`
// deactivates); every received byte is appended to the bridge receive buffer in arrival order.
class BridgeChannel : public QObject {
    Q_OBJECT

public:
    static constexpr quint16 kDefaultPort = 10001;
    // One step of the connect wait; the wait makes "Ethernet timeout" + 1 of them.
    static constexpr int kWaitStepMilliseconds = 10;
    enum class ConnectStart { Connected, Pending, Refused };
    // The receive buffer is emptied by every send; a bridge that streams beyond this between two sends
    // loses the excess (once reported in the log) instead of growing the program without bound.
    static constexpr qsizetype kReceiveBufferLimit = 1024 * 1024;

    static inline const QString kNotProperlySetMessage = QStringLiteral("Remote IP and Port are not properly set...");
    static inline const QString kTryingMessage = QStringLiteral("Trying to connect to LDU-Q7 ethernet...");
    static inline const QString kConnectedPrefix = QStringLiteral("Connected TCP/IP, at ");
    static inline const QString kDisconnectedPrefix = QStringLiteral("Disconnected TCP/IP connection at ");
    static inline const QString kBufferFullMessage =
        QStringLiteral("Bridge receive buffer full, further bytes dropped...");

    struct WriteResult {
        bool ok = false;
        QString error;
    };

    BridgeChannel(CommunicationLog& log, const LiveSettings& settings, QObject* parent = nullptr);

    // `Butt_connect_xportClick`: connects to "Remote IP number:" and "Remote port:" (10001 when empty).
    // Pending: `connectFinished(ok)` follows "Ethernet timeout" + 1 steps of 10 ms later, whether or not
    // the connection came at once (the bridge's own serial side is given that time too), or as soon as
    // the attempt fails. Nothing waits here.
    ConnectStart startConnect();
    bool isConnecting() const { return m_deadline.isActive(); }
    // "host:port" the next connect goes to, from the settings (the port field as typed when unusable).
    QString endpointText() const;
    // The bridge-connected flag.
    bool isConnected() const { return m_connected; }
    // `ReleaseLink` step 3: closes the connection if there is one (its disconnect line is logged) and
    // clears the flag.
    void deactivate();

    const Telegram& receiveBuffer() const { return m_receiveBuffer; }
    void clearReceiveBuffer();

    // Writes the bytes unchanged; refused when not connected. `allWritten` follows when they have left.
    WriteResult write(std::span<const std::uint8_t> bytes);
    bool writePending() const { return m_connected && m_socket.bytesToWrite() > 0; }

signals:
    void connectedChanged(bool connected);
    void bytesReceived();
    void connectFinished(bool connected);
    void allWritten();

private:
    void onConnected();                              // `Xport_socketConnect`
    void onDisconnected();                           // `Xport_socketDisconnect`
    void onReadyRead();                              // `Xport_socketRead`
    void onError(QAbstractSocket::SocketError error);  // `Xport_socketError`
    void setConnected(bool connected);
    void onConnectDeadline();
    void finishConnecting(bool connected);

    CommunicationLog& m_log;
    const LiveSettings& m_settings;
    QTcpSocket m_socket;
    // The peer of the last attempt, named in its socket errors.
    QString m_peerHost;
    quint16 m_peerPort = 0;
    bool m_connected = false;
    QTimer m_deadline;
    bool m_bufferFullReported = false;
    Telegram m_receiveBuffer;
};

} // namespace veltro
