#pragma once

#include <QAbstractSocket>
#include <QString>

namespace veltro {

// The number shown in "Socket error #" lines. Qt does not expose the operating system's error code, so
// each Qt socket error is given the Windows Sockets number operators know from the gateway and bridge
// manuals: refused 10061, timed out 10060, host unreachable 10065, host not found 11001...
// An error without such a counterpart shows Qt's own error number.
int SocketErrorNumber(QAbstractSocket::SocketError error);

// The number alone tells a technician nothing, so the line adds the reason and the peer:
// "Socket error #10061 (connection refused by 127.0.0.1:41999)". `host` and `port` are the peer the
// socket was talking to; `qtText` is Qt's own wording, used for an error without a reason of its own.
QString SocketErrorLine(QAbstractSocket::SocketError error, const QString& host, quint16 port,
                        const QString& qtText = {});

// Qt reports a peer's orderly close as an error too; the disconnect event already reports it, so the
// sockets of the program do not log it a second time.
inline bool IsPeerClose(QAbstractSocket::SocketError error) { return error == QAbstractSocket::RemoteHostClosedError; }

} // namespace veltro
