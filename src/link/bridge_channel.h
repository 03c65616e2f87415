#pragma once

#include <cstdint>
#include <span>

#include <QObject>
#include <QString>
#include <QTcpSocket>

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

    // `Butt_connect_xportClick`: connects to "Remote IP number:" and "Remote port:" (10001 when empty)
    // and waits "Ethernet timeout" + 1 steps of 10 ms, processing events, whether or not the connection
    // comes at once. Returns whether the bridge is connected afterwards.
    bool connectBridge();
    // The bridge-connected flag.
    bool isConnected() const { return m_connected; }
    // `ReleaseLink` step 3: closes the connection if there is one (its disconnect line is logged) and
    // clears the flag.
    void deactivate();

    const Telegram& receiveBuffer() const { return m_receiveBuffer; }
    void clearReceiveBuffer();

    // Writes the bytes unchanged; refused when not connected.
    WriteResult write(std::span<const std::uint8_t> bytes);

signals:
    void connectedChanged(bool connected);
    void bytesReceived();

private:
    void onConnected();                              // `Xport_socketConnect`
    void onDisconnected();                           // `Xport_socketDisconnect`
    void onReadyRead();                              // `Xport_socketRead`
    void onError(QAbstractSocket::SocketError error);  // `Xport_socketError`
    void setConnected(bool connected);

    CommunicationLog& m_log;
    const LiveSettings& m_settings;
    QTcpSocket m_socket;
    bool m_connected = false;
    bool m_waiting = false;
    bool m_bufferFullReported = false;
    Telegram m_receiveBuffer;
};

} // namespace veltro
