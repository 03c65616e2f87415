#pragma once

#include <optional>

#include <QObject>
#include <QString>

#include "mbus/telegram.h"

namespace veltro {

class BridgeChannel;
class CommunicationLog;
class LiveSettings;
class SerialChannel;

// Which link carries the bus traffic, derived from the settings at every use, in this order.
enum class LinkMode {
    GatewayServer,  // "Use NLAN-2 or NCEL-1A as clients": gateways connect to our listening socket
    GatewayClient,  // "Use NLAN-2 server version": we connect to a gateway
    Bridge,         // "Use VODUD": transparent serial-over-TCP bridge
    Serial,         // the local serial port
};

// What a response timer's tick collected: the bytes, or "wait" (gateway server without a complete frame).
struct Collected {
    bool wait = false;
    Telegram bytes;
};

// The texts a timer logs when collecting finds no usable link or the gateway wait runs out; the
// generic response timer and the secondary search use the first form, the console, the cycles and the
// configuration timers the second.
struct CollectTexts {
    QString noConnection = QStringLiteral("No valid physical connection... ");
    QString overload = QStringLiteral("Timer overload...");
    static CollectTexts Generic() { return {}; }
    static CollectTexts Cycle() {
        return {QStringLiteral("No valid physical connection :) "), QStringLiteral("Timer overload")};
    }
};

// The one facade every operation uses to reach the bus: acquire the selected link, send, collect at a
// timer tick, release. The serial port and the bridge are connected for one operation and released at
// its end.
class LinkFacade : public QObject {
    Q_OBJECT

public:
    static inline const QString kGatewayNotAvailable =
        QStringLiteral("The NLAN-2/NCEL-1A gateway links are not available in this version...");

    LinkFacade(CommunicationLog& log, const LiveSettings& settings, SerialChannel& serial, BridgeChannel& bridge,
               QObject* parent = nullptr);

    LinkMode linkMode() const;

    // `AcquireLink`: true when the selected link can carry an operation now.
    bool acquireLink();
    // `ReleaseLink`: the end-of-operation clean-up of the selected link.
    void releaseLink();

    // `SendTelegram`: every SND_NKE and SND_UD; on the serial port also the "Sent: " line.
    void sendTelegram(const Telegram& telegram);
    // `SendReadRequest`: REQ_UD2 (7Bh, or 5Bh with "Use 0x5B") to an address 0..255; no log line.
    void sendReadRequest(int address);
    // `SendReset`: SND_NKE to an address.
    void sendReset(int address);
    // The console's write: the bytes unchanged, no "Sent: " line.
    void writeRaw(const Telegram& bytes);

    // `CollectReceived`: the bytes received so far on the active link.
    Collected collectReceived(const CollectTexts& texts = CollectTexts::Generic());

    // Empties the gateway reply data and the bridge receive buffer (the cycles do so before a repeat).
    void emptyReceiveBuffers();
    // Purges the serial port's input and/or output (no effect when it is closed).
    void purgeSerialInput();
    void purgeSerial();

    SerialChannel& serial() { return m_serial; }
    BridgeChannel& bridge() { return m_bridge; }

private:
    bool isGateway(LinkMode mode) const { return mode == LinkMode::GatewayServer || mode == LinkMode::GatewayClient; }

    CommunicationLog& m_log;
    const LiveSettings& m_settings;
    SerialChannel& m_serial;
    BridgeChannel& m_bridge;
};

} // namespace veltro
