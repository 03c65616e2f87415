#pragma once

#include <QAbstractSocket>
#include <QString>

namespace veltro {

// The number shown in "Socket error #" lines. Qt does not expose the operating system's error code, so
// each Qt socket error is given the Windows Sockets number operators know from the gateway and bridge
// manuals: refused 10061, timed out 10060, host unreachable 10065, host not found 11001...
// An error without such a counterpart shows Qt's own error number.
int SocketErrorNumber(QAbstractSocket::SocketError error);

// "Socket error #10061".
QString SocketErrorLine(QAbstractSocket::SocketError error);

// Qt reports a peer's orderly close as an error too; the disconnect event already reports it, so the
// sockets of the program do not log it a second time.
inline bool IsPeerClose(QAbstractSocket::SocketError error) { return error == QAbstractSocket::RemoteHostClosedError; }

} // namespace veltro
