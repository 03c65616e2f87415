#include "link/gateway_channels.h"

#include <algorithm>

#include <QHostAddress>

#include "app/live_settings.h"
#include "app/local_time_text.h"
#include "link/communication_log.h"
#include "link/gateway_session.h"
#include "link/remote_endpoint.h"
#include "link/socket_error_number.h"

namespace veltro {
namespace {

bool WriteAll(QTcpSocket& socket, std::span<const std::uint8_t> frame, QString& error) {
    const auto size = static_cast<qint64>(frame.size());
    if (socket.write(reinterpret_cast<const char*>(frame.data()), size) != size) {
        error = socket.errorString();
        return false;
    }
    socket.flush();
    return true;
}

} // namespace

// ---- reader ----------------------------------------------------------------------------------------

GatewayReader::GatewayReader(GatewaySession& session, bool logPackets, QObject* parent)
    : QObject(parent), m_session(session), m_logPackets(logPackets) {}

void GatewayReader::attach(QTcpSocket* socket) {
    m_socket = socket;
    if (!socket) return;
    socket->setReadBufferSize(kReadBufferSize);
    connect(socket, &QTcpSocket::readyRead, this, &GatewayReader::drain);
}

void GatewayReader::drain() {
    m_drainScheduled = false;
    if (!m_socket) return;
    for (int slice = 0; slice < kSlicesPerTurn; ++slice) {
        const QByteArray data = m_socket->read(kSlice);
        if (data.isEmpty()) return;
        m_session.feed(std::span(reinterpret_cast<const std::uint8_t*>(data.constData()), static_cast<std::size_t>(data.size())),
                       m_logPackets);
        emit activity();
        if (!m_socket) return;
    }
    // More is waiting: the rest after the timers and the window had their turn.
    if (m_socket->bytesAvailable() > 0 && !m_drainScheduled) {
        m_drainScheduled = true;
        QTimer::singleShot(0, this, &GatewayReader::drain);
    }
}

// ---- client ----------------------------------------------------------------------------------------

GatewayClientChannel::GatewayClientChannel(CommunicationLog& log, const LiveSettings& settings, GatewaySession& session,
                                           QObject* parent)
    : QObject(parent), m_log(log), m_settings(settings), m_session(session), m_reader(session, false) {
    connect(&m_socket, &QTcpSocket::connected, this, &GatewayClientChannel::onConnected);
    connect(&m_socket, &QTcpSocket::disconnected, this, &GatewayClientChannel::onDisconnected);
    connect(&m_socket, &QTcpSocket::errorOccurred, this, &GatewayClientChannel::onError);
    m_reader.attach(&m_socket);
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        if (m_socket.state() != QAbstractSocket::ConnectedState && m_socket.state() != QAbstractSocket::UnconnectedState) {
            m_socket.abort();
            m_log.append(SocketErrorLine(QAbstractSocket::SocketTimeoutError, m_peerHost, m_peerPort));
        }
        emit connectFinished(m_connected);
    });
}

GatewayClientChannel::ConnectStart GatewayClientChannel::startConnect() {
    const Settings::Vodud& remote = m_settings.settings().vodud;
    const QString host = QString::fromStdString(remote.ip).trimmed();
    const auto port = RemotePortFromText(remote.port, kDefaultPort);
    if (host.isEmpty() || !port) {
        m_log.append(QStringLiteral("Remote IP and Port are not properly set..."));
        deactivate();
        return ConnectStart::Refused;
    }
    if (m_connected) return ConnectStart::Connected;
    if (m_deadline.isActive()) return ConnectStart::Pending;
    m_socket.abort();
    m_peerHost = host;
    m_peerPort = *port;
    m_socket.connectToHost(host, *port);
    m_log.append(QStringLiteral("Trying to connect to NLAN-2 server..."));
    m_deadline.start(std::max(1, remote.ethTimeout) * kWaitStepMilliseconds);
    return ConnectStart::Pending;
}

QString GatewayClientChannel::endpointText() const {
    const Settings::Vodud& remote = m_settings.settings().vodud;
    const auto port = RemotePortFromText(remote.port, kDefaultPort);
    return QString::fromStdString(remote.ip).trimmed() + QLatin1Char(':') +
           (port ? QString::number(*port) : QString::fromStdString(remote.port));
}

void GatewayClientChannel::finishConnecting(bool connected) {
    if (!m_deadline.isActive()) return;
    m_deadline.stop();
    emit connectFinished(connected);
}

void GatewayClientChannel::deactivate() {
    finishConnecting(false);
    if (m_socket.state() == QAbstractSocket::ConnectedState) m_socket.disconnectFromHost();
    if (m_socket.state() != QAbstractSocket::UnconnectedState) m_socket.abort();
    setConnected(false);
}

bool GatewayClientChannel::write(std::span<const std::uint8_t> frame, QString& error) {
    if (!m_connected) return false;
    return WriteAll(m_socket, frame, error);
}

void GatewayClientChannel::onConnected() {
    m_log.append(QStringLiteral("Connected TCP/IP, at ") + CurrentLongTimeText() + QStringLiteral(", server ") + m_peerHost);
    m_session.connectionChanged();
    setConnected(true);
    finishConnecting(true);  // the wait ends as soon as the gateway is there
}

void GatewayClientChannel::onDisconnected() {
    m_log.append(QStringLiteral("Disconnected TCP/IP connection at ") + CurrentLongTimeText() + QStringLiteral(", from server ") +
                 m_peerHost);
    m_log.append(QString());
    m_session.connectionChanged();
    setConnected(false);
}

void GatewayClientChannel::onError(QAbstractSocket::SocketError error) {
    if (!IsPeerClose(error)) m_log.append(SocketErrorLine(error, m_peerHost, m_peerPort, m_socket.errorString()));
    if (m_socket.state() == QAbstractSocket::UnconnectedState) finishConnecting(false);
}

void GatewayClientChannel::setConnected(bool connected) {
    if (m_connected == connected) return;
    m_connected = connected;
    emit connectedChanged(connected);
}

// ---- server ----------------------------------------------------------------------------------------

GatewayServerChannel::GatewayServerChannel(CommunicationLog& log, const LiveSettings& settings, GatewaySession& session,
                                           QObject* parent)
    : QObject(parent), m_log(log), m_settings(settings), m_session(session), m_reader(session, true) {
    m_server.setObjectName(QStringLiteral("Socket1"));
    connect(&m_server, &QTcpServer::newConnection, this, &GatewayServerChannel::onNewConnection);
    connect(&m_reader, &GatewayReader::activity, &m_idle, qOverload<>(&QTimer::start));
    m_idle.setInterval(kIdleMilliseconds);
    m_idle.setSingleShot(true);
    connect(&m_idle, &QTimer::timeout, this, &GatewayServerChannel::onIdle);
}

GatewayServerChannel::~GatewayServerChannel() { close(); }

void GatewayServerChannel::toggle(const QString& portText) {
    if (m_server.isListening()) {
        close();
        m_log.append(QStringLiteral("Socket closed"));
        return;
    }
    if (portText.trimmed().isEmpty()) {
        m_log.append(QStringLiteral("Socket port is not defined in Settings..."));
        return;
    }
    bool number = false;
    const int parsed = portText.trimmed().toInt(&number);
    if (number && (parsed < 1 || parsed > 65535)) {
        m_log.append(QStringLiteral("Exception opening socket - port ") + portText.trimmed() + QStringLiteral(" is not 1 to 65535"));
        return;
    }
    const quint16 port = number ? static_cast<quint16>(parsed) : kDefaultPort;
    if (!m_server.listen(QHostAddress::Any, port)) {
        m_log.append(QStringLiteral("Exception opening socket - ") + m_server.errorString());
        return;
    }
    dropGateway();
    m_log.append(QStringLiteral("Socket is opened at port ") + portText.trimmed());
}

void GatewayServerChannel::close() {
    m_idle.stop();
    dropGateway();
    if (m_server.isListening()) m_server.close();
}

void GatewayServerChannel::dropGateway() {
    if (!m_gateway) return;
    QTcpSocket* gateway = m_gateway;
    m_gateway = nullptr;
    m_reader.attach(nullptr);
    gateway->disconnect(this);
    gateway->abort();
    gateway->deleteLater();
    m_session.connectionChanged();
    emit gatewayConnectedChanged(false);
}

void GatewayServerChannel::onNewConnection() {
    while (QTcpSocket* incoming = m_server.nextPendingConnection()) {
        // Decided once, here: only the one accepted connection ever touches the session.
        if (!m_settings.settings().misc.useEthernet) {
            m_log.append(QStringLiteral("Incoming request from NLAN/NCEL ignored at ") + CurrentLongTimeText() + QStringLiteral(", ") +
                         CurrentShortDateText());
            incoming->abort();
            incoming->deleteLater();
            continue;
        }
        m_log.append(QStringLiteral("Incoming request..."));
        if (m_gateway) {
            m_log.append(QStringLiteral("Incoming connection ignored at ") + CurrentLongTimeText());
            incoming->abort();
            incoming->deleteLater();
            continue;
        }
        m_gateway = incoming;
        m_gatewayHost = incoming->peerAddress().toString();
        m_log.append(QStringLiteral("Connected to ") + m_gatewayHost + QStringLiteral(", ") + incoming->peerAddress().toString() +
                     QStringLiteral(", port No ") + QString::number(incoming->peerPort()));
        m_log.append(CurrentLongTimeText() + QStringLiteral(",  ") + CurrentShortDateText());
        m_log.append(QStringLiteral("\r"));
        connect(incoming, &QTcpSocket::disconnected, this, &GatewayServerChannel::onGatewayDisconnected);
        connect(incoming, &QTcpSocket::errorOccurred, this, [this, incoming](QAbstractSocket::SocketError error) {
            if (!IsPeerClose(error))
                m_log.append(SocketErrorLine(error, incoming->peerAddress().toString(), incoming->peerPort(), incoming->errorString()));
        });
        m_session.connectionChanged();
        m_reader.attach(incoming);
        m_idle.start();
        emit gatewayConnectedChanged(true);
        emit gatewayAccepted();
        m_reader.drain();  // a greeting that came with the connection
    }
}

void GatewayServerChannel::onGatewayDisconnected() {
    if (!m_gateway) return;
    m_log.append(QStringLiteral("Connection to ") + m_gatewayHost + QStringLiteral(" closed by client at ") + CurrentShortDateText() +
                 QStringLiteral(", ") + CurrentLongTimeText());
    QTcpSocket* gateway = m_gateway;
    m_gateway = nullptr;
    m_reader.attach(nullptr);
    gateway->disconnect(this);
    gateway->deleteLater();
    m_session.connectionChanged();
    emit gatewayConnectedChanged(false);
}

void GatewayServerChannel::onIdle() {
    // Ten minutes without a word: listen anew, which also drops a silent gateway.
    close();
    toggle(QString::fromStdString(m_settings.settings().ethernet.listenPort));
}

bool GatewayServerChannel::write(std::span<const std::uint8_t> frame, QString& error) {
    if (!m_gateway) return false;  // written only to an existing connection
    return WriteAll(*m_gateway, frame, error);
}

} // namespace veltro
