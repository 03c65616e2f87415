#include "link/socket_error_number.h"

#include <array>

namespace veltro {
namespace {

// %1 the host, %2 the port.
struct SocketErrorRow {
    QAbstractSocket::SocketError error;
    int number;
    const char* reason;
};

constexpr std::array kSocketErrors{
    SocketErrorRow{QAbstractSocket::ConnectionRefusedError, 10061, "connection refused by %1:%2"},        // WSAECONNREFUSED
    SocketErrorRow{QAbstractSocket::RemoteHostClosedError, 10054, "connection reset by %1:%2"},           // WSAECONNRESET
    SocketErrorRow{QAbstractSocket::HostNotFoundError, 11001, "host %1 not found"},                       // WSAHOST_NOT_FOUND
    SocketErrorRow{QAbstractSocket::SocketAccessError, 10013, "no permission to reach %1:%2"},            // WSAEACCES
    SocketErrorRow{QAbstractSocket::SocketResourceError, 10055, "out of sockets or memory"},              // WSAENOBUFS
    SocketErrorRow{QAbstractSocket::SocketTimeoutError, 10060, "no answer from %1:%2 in time"},           // WSAETIMEDOUT
    SocketErrorRow{QAbstractSocket::DatagramTooLargeError, 10040, "datagram too large"},                  // WSAEMSGSIZE
    SocketErrorRow{QAbstractSocket::NetworkError, 10065, "network error, %1:%2 unreachable"},             // WSAEHOSTUNREACH
    SocketErrorRow{QAbstractSocket::AddressInUseError, 10048, "local address already in use"},            // WSAEADDRINUSE
    SocketErrorRow{QAbstractSocket::SocketAddressNotAvailableError, 10049, "local address not available"}, // WSAEADDRNOTAVAIL
    SocketErrorRow{QAbstractSocket::UnsupportedSocketOperationError, 10045, "operation not supported"},   // WSAEOPNOTSUPP
};

const SocketErrorRow* Find(QAbstractSocket::SocketError error) {
    for (const SocketErrorRow& row : kSocketErrors)
        if (row.error == error) return &row;
    return nullptr;
}

} // namespace

int SocketErrorNumber(QAbstractSocket::SocketError error) {
    const SocketErrorRow* row = Find(error);
    return row ? row->number : static_cast<int>(error);
}

QString SocketErrorLine(QAbstractSocket::SocketError error, const QString& host, quint16 port, const QString& qtText) {
    const SocketErrorRow* row = Find(error);
    QString reason;
    if (row) {
        // The port goes in first, so a host text holding "%2" is never read as a place-holder.
        reason = QString::fromLatin1(row->reason);
        reason.replace(QLatin1String("%2"), QString::number(port)).replace(QLatin1String("%1"), host);
    } else {
        reason = (qtText.isEmpty() ? QString() : qtText + QStringLiteral(", ")) + QStringLiteral("peer ") + host +
                 QLatin1Char(':') + QString::number(port);
    }
    return QStringLiteral("Socket error #%1 (%2)").arg(QString::number(SocketErrorNumber(error)), reason);
}

} // namespace veltro
