#include "link/link_facade.h"

#include "app/live_settings.h"
#include "link/links.h"
#include "mbus/frames.h"

namespace veltro {

LinkFacade::LinkFacade(CommunicationLog& log, const LiveSettings& settings, SerialChannel& serial, BridgeChannel& bridge,
                       QObject* parent)
    : QObject(parent), m_settings(settings) {
    m_links[static_cast<std::size_t>(LinkMode::GatewayServer)] = NewUnavailableLink(log, kGatewayNotAvailable, this);
    m_links[static_cast<std::size_t>(LinkMode::GatewayClient)] = NewUnavailableLink(log, kGatewayNotAvailable, this);
    m_links[static_cast<std::size_t>(LinkMode::Bridge)] = NewBridgeLink(bridge, log, settings, this);
    m_links[static_cast<std::size_t>(LinkMode::Serial)] = NewSerialLink(serial, log, settings, this);
    for (Link* link : m_links) listenTo(*link);
}

void LinkFacade::listenTo(Link& link) {
    // Only the link an operation holds speaks to it.
    connect(&link, &Link::acquired, this, [this, held = &link](bool ok) {
        if (held != m_held) return;
        if (!ok) m_held = nullptr;
        emit acquired(ok);
    });
    connect(&link, &Link::sent, this, [this, held = &link] {
        if (held == m_held) emit sent();
    });
}

void LinkFacade::install(LinkMode mode, Link& link) {
    m_links[static_cast<std::size_t>(mode)] = &link;
    listenTo(link);
}

LinkFacade::~LinkFacade() = default;

LinkMode LinkFacade::linkMode() const {
    const auto& misc = m_settings.settings().misc;
    if (misc.useEthernet) return LinkMode::GatewayServer;
    if (misc.useNlanServ) return LinkMode::GatewayClient;
    if (misc.useVodud) return LinkMode::Bridge;
    return LinkMode::Serial;
}

Link& LinkFacade::selected() const { return *m_links[static_cast<std::size_t>(linkMode())]; }

Link& LinkFacade::active() const { return m_held ? *m_held : selected(); }

Link::Acquire LinkFacade::acquireLink(std::optional<LinkMode> mode) {
    Link& wanted = mode ? *m_links[static_cast<std::size_t>(*mode)] : selected();
    // A link left acquired by an unanswered read is given back when another one is chosen now.
    if (m_held && m_held != &wanted) m_held->release();
    m_held = &wanted;
    const Link::Acquire result = m_held->acquire();
    if (result == Link::Acquire::Refused) m_held = nullptr;
    return result;
}

void LinkFacade::releaseLink() {
    active().release();
    m_held = nullptr;
}

void LinkFacade::send(const Telegram& telegram, SendKind kind) {
    active().send(telegram, kind);
    emit telegramWritten(telegram);
}

void LinkFacade::sendReadRequest(int address) {
    if (address < 0 || address > 255) return;
    send(BuildReqUd2(static_cast<std::uint8_t>(address), m_settings.settings().misc.use5B), SendKind::ReadRequest);
}

void LinkFacade::sendReset(int address) {
    if (address < 0 || address > 255) return;
    sendTelegram(BuildSndNke(static_cast<std::uint8_t>(address)));
}

Collected LinkFacade::collectReceived(const CollectTexts& texts) { return active().collect(texts); }

void LinkFacade::emptyReceiveBuffers() { active().emptyReceiveBuffers(); }

bool LinkFacade::writePending() const { return active().writePending(); }

int LinkFacade::lineBaud() const { return active().lineBaud(); }

} // namespace veltro
