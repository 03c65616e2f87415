#include "mbus/link_facade.h"

#include "app/live_settings.h"
#include "link/bridge_channel.h"
#include "link/communication_log.h"
#include "link/serial_channel.h"
#include "mbus/frames.h"
#include "mbus/hex.h"

namespace veltro {

LinkFacade::LinkFacade(CommunicationLog& log, const LiveSettings& settings, SerialChannel& serial, BridgeChannel& bridge,
                       QObject* parent)
    : QObject(parent), m_log(log), m_settings(settings), m_serial(serial), m_bridge(bridge) {}

LinkMode LinkFacade::linkMode() const {
    const auto& misc = m_settings.settings().misc;
    if (misc.useEthernet) return LinkMode::GatewayServer;
    if (misc.useNlanServ) return LinkMode::GatewayClient;
    if (misc.useVodud) return LinkMode::Bridge;
    return LinkMode::Serial;
}

bool LinkFacade::acquireLink() {
    switch (linkMode()) {
    case LinkMode::Serial:
        if (!m_serial.isOpen()) m_serial.open();
        if (!m_serial.isOpen()) return false;
        m_serial.purge();
        return true;
    case LinkMode::Bridge:
        return m_bridge.connectBridge();
    case LinkMode::GatewayServer:
    case LinkMode::GatewayClient:
        m_log.append(kGatewayNotAvailable);
        return false;
    }
    return false;
}

void LinkFacade::releaseLink() {
    switch (linkMode()) {
    case LinkMode::Serial:
        m_serial.purge();
        if (m_serial.isOpen()) m_serial.close();
        break;
    case LinkMode::Bridge:
        m_bridge.deactivate();
        break;
    case LinkMode::GatewayServer:
    case LinkMode::GatewayClient:
        break;
    }
}

void LinkFacade::sendTelegram(const Telegram& telegram) {
    m_serial.purge();
    switch (linkMode()) {
    case LinkMode::Serial:
        if (m_serial.isOpen()) {
            const auto written = m_serial.write(telegram);
            if (!written.ok) m_log.append(QStringLiteral("Can not write to serial COM port - ") + written.error);
        }
        m_log.append(QStringLiteral("Sent: ") + QString::fromLatin1(HexRendering(telegram)));
        break;
    case LinkMode::Bridge:
        m_bridge.clearReceiveBuffer();
        if (m_bridge.isConnected()) m_bridge.write(telegram);
        break;
    case LinkMode::GatewayServer:
    case LinkMode::GatewayClient:
        break;  // refused at acquire
    }
}

void LinkFacade::sendReadRequest(int address) {
    if (address < 0 || address > 255) return;
    const Telegram request = BuildReqUd2(static_cast<std::uint8_t>(address), m_settings.settings().misc.use5B);
    switch (linkMode()) {
    case LinkMode::Serial:
        if (m_serial.isOpen() && !m_serial.write(request).ok)
            m_log.append(QStringLiteral("Can not write to COM port - reading device ") + QString::number(address));
        break;
    case LinkMode::Bridge:
        m_bridge.clearReceiveBuffer();
        if (m_bridge.isConnected()) m_bridge.write(request);
        break;
    case LinkMode::GatewayServer:
    case LinkMode::GatewayClient:
        break;
    }
}

void LinkFacade::sendReset(int address) {
    if (address < 0 || address > 255) return;
    sendTelegram(BuildSndNke(static_cast<std::uint8_t>(address)));
}

void LinkFacade::writeRaw(const Telegram& bytes) {
    switch (linkMode()) {
    case LinkMode::Serial:
        if (m_serial.isOpen()) {
            const auto written = m_serial.write(bytes);
            if (!written.ok) m_log.append(QStringLiteral("Can not write to serial COM port - ") + written.error);
        }
        break;
    case LinkMode::Bridge:
        m_bridge.clearReceiveBuffer();
        if (m_bridge.isConnected()) m_bridge.write(bytes);
        break;
    case LinkMode::GatewayServer:
    case LinkMode::GatewayClient:
        break;
    }
}

Collected LinkFacade::collectReceived(const CollectTexts& texts) {
    Collected collected;
    switch (linkMode()) {
    case LinkMode::Serial:
        if (m_serial.isOpen())
            collected.bytes = m_serial.readAvailable();
        else
            m_log.append(texts.noConnection);
        break;
    case LinkMode::Bridge:
        collected.bytes = m_bridge.receiveBuffer();
        break;
    case LinkMode::GatewayServer:
    case LinkMode::GatewayClient:
        break;
    }
    return collected;
}

void LinkFacade::emptyReceiveBuffers() { m_bridge.clearReceiveBuffer(); }

void LinkFacade::purgeSerialInput() { m_serial.purge(SerialChannel::PurgeSides::Input); }

void LinkFacade::purgeSerial() { m_serial.purge(); }

} // namespace veltro
