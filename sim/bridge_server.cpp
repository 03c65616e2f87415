#include "sim/bridge_server.h"

namespace veltro::sim {

BridgeServer::BridgeServer(Bus& bus, LineTiming timing, int lineBaud, QObject* parent)
    : QObject(parent), m_port(bus, timing, "bridge"), m_lineBaud(lineBaud) {
    m_port.forwardUnsolicited();
    connect(&m_server, &QTcpServer::newConnection, this, &BridgeServer::acceptClients);
    connect(&m_port, &BusPort::log, this, &BridgeServer::log);
    connect(&m_port, &BusPort::transmit, this, [this](const QByteArray& bytes) {
        if (m_client && m_client->state() == QAbstractSocket::ConnectedState) m_client->write(bytes);
    });
}

BridgeServer::~BridgeServer() {
    // The client sockets are children of m_server, which is destroyed after m_port: cut their signals
    // to this object before anything goes.
    for (QTcpSocket* socket : m_server.findChildren<QTcpSocket*>()) {
        socket->disconnect(this);
        socket->abort();
    }
    m_server.close();
}

bool BridgeServer::listen(const QHostAddress& address, quint16 port) { return m_server.listen(address, port); }

void BridgeServer::close() {
    m_server.close();
    if (m_client) m_client->abort();
    m_port.reset();
}

void BridgeServer::acceptClients() {
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        if (m_client) {
            emit log("bridge client " + m_client->peerAddress().toString() + ":" + QString::number(m_client->peerPort()) +
                     " replaced by a new one");
            QTcpSocket* old = m_client;
            m_client.clear();
            old->abort();
            old->deleteLater();
        }
        m_port.reset();
        m_client = socket;
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        emit log("bridge client " + socket->peerAddress().toString() + ":" + QString::number(socket->peerPort()) + " connected");
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            const QByteArray bytes = socket->readAll();
            if (socket == m_client) m_port.receive(bytes, m_lineBaud);
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            if (socket == m_client) {
                emit log("bridge client disconnected");
                m_client.clear();
                m_port.reset();
            }
            socket->deleteLater();
        });
    }
}

} // namespace veltro::sim
