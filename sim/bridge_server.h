#pragma once

#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include "sim/bus.h"
#include "sim/bus_port.h"
#include "sim/meter.h"

namespace veltro::sim {

// A transparent serial-over-TCP bridge in front of the bus, like a serial device server: the client's
// bytes go onto the bus unchanged, the bus's answers come back unchanged. One client at a time; a new
// client replaces the old one (as when the program reconnects for every operation). The line speed is
// fixed: the bridge's serial side runs at `lineBaud`, so only meters at that speed answer.
class BridgeServer : public QObject {
    Q_OBJECT
public:
    BridgeServer(Bus& bus, LineTiming timing = {}, int lineBaud = kDefaultBaud, QObject* parent = nullptr);
    ~BridgeServer() override;

    // Port 0 picks a free port; port() tells which.
    bool listen(const QHostAddress& address = QHostAddress::LocalHost, quint16 port = 0);
    void close();

    quint16 port() const { return m_server.serverPort(); }
    QHostAddress address() const { return m_server.serverAddress(); }
    QString errorString() const { return m_server.errorString(); }
    bool hasClient() const { return !m_client.isNull(); }

signals:
    void log(const QString& line);

private:
    void acceptClients();

    QTcpServer m_server;
    BusPort m_port;
    int m_lineBaud;
    QPointer<QTcpSocket> m_client;
};

} // namespace veltro::sim
