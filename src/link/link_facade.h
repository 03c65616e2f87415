#pragma once

#include <array>
#include <optional>

#include <QObject>
#include <QString>

#include "link/link.h"

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

// The one way every operation reaches the bus. It picks the link of the current `LinkMode` when an
// operation acquires, and that operation keeps it until it releases, whatever the settings do meanwhile.
class LinkFacade : public QObject {
    Q_OBJECT

public:
    static inline const QString kGatewayNotAvailable =
        QStringLiteral("The NLAN-2/NCEL-1A gateway links are not available in this version...");

    LinkFacade(CommunicationLog& log, const LiveSettings& settings, SerialChannel& serial, BridgeChannel& bridge,
               QObject* parent = nullptr);
    ~LinkFacade() override;

    LinkMode linkMode() const;
    // Puts `link` in place of the one that carries `mode` (the facade does not own it).
    void install(LinkMode mode, Link& link);

    // `AcquireLink`: Ready, Pending (then `acquired(ok)`), or Refused. `mode` overrides the settings'
    // choice (the gateways' settings go to the serial port whatever the link mode).
    Link::Acquire acquireLink(std::optional<LinkMode> mode = std::nullopt);
    // `ReleaseLink`: the end-of-operation clean-up of the acquired link.
    void releaseLink();

    // `SendTelegram`: every SND_NKE and SND_UD; on the serial port also the "Sent: " line.
    void sendTelegram(const Telegram& telegram) { send(telegram, SendKind::Telegram); }
    // `SendReadRequest`: REQ_UD2 (7Bh, or 5Bh with "Use 0x5B") to an address 0..255; no log line.
    void sendReadRequest(int address);
    // `SendReset`: SND_NKE to an address.
    void sendReset(int address);
    void send(const Telegram& telegram, SendKind kind);

    // `CollectReceived`: the bytes received so far on the acquired link.
    Collected collectReceived(const CollectTexts& texts = CollectTexts::Generic());
    // Empties the receive buffers, so late bytes of a judged window cannot pass for the next answer.
    void emptyReceiveBuffers();
    bool writePending() const;
    int lineBaud() const;
    Telegram peekReceived() { return active().peek(); }
    bool overNetwork() const { return active().overNetwork(); }

signals:
    void acquired(bool ok);
    void sent();
    // Every telegram handed to the link, in order (the command-line tool lists them).
    void telegramWritten(const veltro::Telegram& telegram);

private:
    void listenTo(Link& link);
    // The acquired link, or the one the settings select when none is.
    Link& active() const;
    Link& selected() const;

    const LiveSettings& m_settings;
    std::array<Link*, 4> m_links{};  // in `LinkMode` order
    Link* m_held = nullptr;
};

} // namespace veltro
