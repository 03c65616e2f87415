#pragma once

#include <QString>

#include "link/link.h"

namespace veltro {

class BridgeChannel;
class CommunicationLog;
class GatewayClientChannel;
class GatewayServerChannel;
class GatewaySession;
class LiveSettings;
class SerialChannel;

// The local serial port as a link: opened when an operation acquires it (after the driver's settling
// time when it was closed a moment ago), closed when it releases it.
Link* NewSerialLink(SerialChannel& channel, CommunicationLog& log, const LiveSettings& settings, QObject* parent);

// The transparent serial-over-TCP bridge as a link: connected when an operation acquires it (the connect
// wait is the operation's, not a loop here), deactivated when it releases it.
Link* NewBridgeLink(BridgeChannel& channel, CommunicationLog& log, const LiveSettings& settings, QObject* parent);

// A gateway the program connects to: telegrams inside gateway frames, the connection kept across
// operations unless "Close automatically connection" is set.
Link* NewGatewayClientLink(GatewayClientChannel& channel, GatewaySession& session, CommunicationLog& log,
                           const LiveSettings& settings, QObject* parent);

// The gateway connected to the program's listening socket: usable while one is connected; a window
// waits for its frame as long as "Timeout reload when GPRS" allows.
Link* NewGatewayServerLink(GatewayServerChannel& channel, GatewaySession& session, CommunicationLog& log,
                           const LiveSettings& settings, QObject* parent);

// A link this version cannot offer: acquiring it logs `reason` and is refused.
Link* NewUnavailableLink(CommunicationLog& log, QString reason, QObject* parent);

} // namespace veltro
