#include "link/bridge_link.h"

#include "app/live_settings.h"
#include "link/bridge_channel.h"
#include "link/communication_log.h"
#include "link/serial_port_rules.h"

namespace veltro {

BridgeLink::BridgeLink(BridgeChannel& channel, CommunicationLog& log, const LiveSettings& settings, QObject* parent)
    : Link(parent), m_channel(channel), m_log(log), m_settings(settings) {
    connect(&m_channel, &BridgeChannel::connectFinished, this, &Link::acquired);
    connect(&m_channel, &BridgeChannel::allWritten, this, &Link::sent);
}

Link::Acquire BridgeLink::acquire() {
    switch (m_channel.startConnect()) {
    case BridgeChannel::ConnectStart::Connected: return Acquire::Ready;
    case BridgeChannel::ConnectStart::Pending: return Acquire::Pending;
    case BridgeChannel::ConnectStart::Refused: break;
    }
    return Acquire::Refused;
}

void BridgeLink::release() { m_channel.deactivate(); }

void BridgeLink::send(const Telegram& telegram, SendKind kind) {
    m_channel.clearReceiveBuffer();
    // A bridge that is not connected takes nothing and says nothing: the window ends in silence.
    if (!m_channel.isConnected()) return;
    const auto written = m_channel.write(telegram);
    if (written.ok) return;
    m_log.append((kind == SendKind::ReadRequest ? QStringLiteral("Socket exception during normal read - ")
                                                : QStringLiteral("Socket exception during sending telegram - ")) +
                 written.error);
}

Collected BridgeLink::collect(const CollectTexts&) { return {false, m_channel.receiveBuffer()}; }

void BridgeLink::emptyReceiveBuffers() { m_channel.clearReceiveBuffer(); }

bool BridgeLink::writePending() const { return m_channel.writePending(); }

// The bridge does not tell its line speed; the port settings are the operator's word for the bus speed.
int BridgeLink::lineBaud() const { return SerialBaudRate(m_settings.settings().comPort.speed); }

UnavailableLink::UnavailableLink(CommunicationLog& log, QString reason, QObject* parent)
    : Link(parent), m_log(log), m_reason(std::move(reason)) {}

Link::Acquire UnavailableLink::acquire() {
    m_log.append(m_reason);
    return Acquire::Refused;
}

} // namespace veltro
