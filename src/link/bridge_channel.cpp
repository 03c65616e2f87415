#include "link/bridge_channel.h"

#include <algorithm>


#include "app/live_settings.h"
#include "app/local_time_text.h"
#include "link/communication_log.h"
#include "link/remote_endpoint.h"
#include "link/socket_error_number.h"

namespace veltro {

BridgeChannel::BridgeChannel(CommunicationLog& log, const LiveSettings& settings, QObject* parent)
    : QObject(parent), m_log(log), m_settings(settings) {
    connect(&m_socket, &QTcpSocket::connected, this, &BridgeChannel::onConnected);
    connect(&m_socket, &QTcpSocket::disconnected, this, &BridgeChannel::onDisconnected);
    connect(&m_socket, &QTcpSocket::readyRead, this, &BridgeChannel::onReadyRead);
    connect(&m_socket, &QTcpSocket::errorOccurred, this, &BridgeChannel::onError);
    connect(&m_socket, &QTcpSocket::bytesWritten, this, [this] {
        if (m_socket.bytesToWrite() == 0) emit allWritten();
    });
    m_deadline.setSingleShot(true);
    m_deadline.setTimerType(Qt::PreciseTimer);
    connect(&m_deadline, &QTimer::timeout, this, &BridgeChannel::onConnectDeadline);
}

BridgeChannel::ConnectStart BridgeChannel::startConnect() {
    const Settings::Vodud& remote = m_settings.settings().vodud;
    const QString host = QString::fromStdString(remote.ip).trimmed();
    const auto port = RemotePortFromText(remote.port, kDefaultPort);
    if (host.isEmpty() || !port) {
        m_log.append(kNotProperlySetMessage);
        m_deadline.stop();
        m_socket.abort();
        setConnected(false);
        return ConnectStart::Refused;
    }
    if (m_connected) return ConnectStart::Connected;
    if (isConnecting()) return ConnectStart::Pending;

    m_socket.abort();  // a former attempt that never completed
    m_peerHost = host;
    m_peerPort = *port;
    m_socket.connectToHost(host, *port);
    m_log.append(kTryingMessage);
    m_deadline.start((std::max(0, remote.ethTimeout) + 1) * kWaitStepMilliseconds);
    return ConnectStart::Pending;
}

QString BridgeChannel::endpointText() const {
    const Settings::Vodud& remote = m_settings.settings().vodud;
    const auto port = RemotePortFromText(remote.port, kDefaultPort);
    return QString::fromStdString(remote.ip).trimmed() + QLatin1Char(':') +
           (port ? QString::number(*port) : QString::fromStdString(remote.port));
}

void BridgeChannel::onConnectDeadline() {
    if (m_connected) {
        emit connectFinished(true);
        return;
    }
    // Nobody waits for a connection that comes later: drop the attempt, and say why nothing starts.
    if (m_socket.state() != QAbstractSocket::UnconnectedState) {
        m_socket.abort();
        m_log.append(SocketErrorLine(QAbstractSocket::SocketTimeoutError, m_peerHost, m_peerPort));
    }
    emit connectFinished(false);
}

void BridgeChannel::finishConnecting(bool connected) {
    if (!m_deadline.isActive()) return;
    m_deadline.stop();
    emit connectFinished(connected);
}

void BridgeChannel::deactivate() {
    finishConnecting(false);
    if (m_socket.state() == QAbstractSocket::ConnectedState) m_socket.disconnectFromHost();
    if (m_socket.state() != QAbstractSocket::UnconnectedState) m_socket.abort();
    setConnected(false);
}

void BridgeChannel::clearReceiveBuffer() {
    m_receiveBuffer.clear();
    m_bufferFullReported = false;
}

BridgeChannel::WriteResult BridgeChannel::write(std::span<const std::uint8_t> bytes) {
    if (!m_connected) return {false, QStringLiteral("the bridge is not connected")};
    const auto size = static_cast<qint64>(bytes.size());
    if (m_socket.write(reinterpret_cast<const char*>(bytes.data()), size) != size) return {false, m_socket.errorString()};
    m_socket.flush();  // out now, even if the caller does not return to the event loop soon
    return {true, {}};
}

void BridgeChannel::onConnected() {
    m_log.append(kConnectedPrefix + CurrentLongTimeText());
    setConnected(true);
}

void BridgeChannel::onDisconnected() {
    m_log.append(kDisconnectedPrefix + CurrentLongTimeText());
    setConnected(false);
}

void BridgeChannel::onReadyRead() {
    const QByteArray data = m_socket.readAll();
    const qsizetype room = kReceiveBufferLimit - static_cast<qsizetype>(m_receiveBuffer.size());
    const qsizetype taken = std::clamp<qsizetype>(data.size(), 0, std::max<qsizetype>(room, 0));
    m_receiveBuffer.append(
        std::span(reinterpret_cast<const std::uint8_t*>(data.constData()), static_cast<std::size_t>(taken)));
    if (taken < data.size() && !m_bufferFullReported) {
        m_bufferFullReported = true;
        m_log.append(kBufferFullMessage);
    }
    if (taken > 0) emit bytesReceived();
}

void BridgeChannel::onError(QAbstractSocket::SocketError error) {
    if (!IsPeerClose(error)) m_log.append(SocketErrorLine(error, m_peerHost, m_peerPort, m_socket.errorString()));
    if (m_socket.state() == QAbstractSocket::UnconnectedState) finishConnecting(false);
}

void BridgeChannel::setConnected(bool connected) {
    if (m_connected == connected) return;
    m_connected = connected;
    emit connectedChanged(connected);
}

} // namespace veltro
