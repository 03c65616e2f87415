#include "app/live_settings.h"
#include "link/communication_log.h"
#include "link/gateway_channels.h"
#include "link/gateway_session.h"
#include "link/links.h"
#include "link/serial_port_rules.h"

namespace veltro {
namespace {

GatewayBlock BlockOf(SendKind kind) {
    // Read requests, the console and the devices' text commands travel as A1h; every telegram of the
    // common send routine as A8h.
    switch (kind) {
    case SendKind::ReadRequest:
    case SendKind::Raw:
    case SendKind::DisplayCommand:
    case SendKind::ReceiverCommand: return GatewayBlock::A1;
    case SendKind::Telegram:
    case SendKind::MediumChange:
    case SendKind::UnitChange: break;
    }
    return GatewayBlock::A8;
}

QString WriteFailureText(SendKind kind) {
    if (kind == SendKind::DisplayCommand) return QStringLiteral("Socket exception during setting LDU parameters -");
    return kind == SendKind::ReadRequest ? QStringLiteral("Socket exception during normal read - ")
                                         : QStringLiteral("Socket exception during sending telegram - ");
}

// Both gateway roles: the telegram inside its frame, the reply data as what was received.
class GatewayLink : public Link {
public:
    GatewayLink(GatewaySession& session, CommunicationLog& log, const LiveSettings& settings, QObject* parent)
        : Link(parent), m_session(session), m_log(log), m_settings(settings) {}

    void send(const Telegram& telegram, SendKind kind) override {
        beforeWrap();
        const auto frame = m_session.wrap(telegram, BlockOf(kind));
        if (!frame) return;  // longer than a frame carries: nothing is sent
        QString error;
        if (!connected()) return;
        m_session.clearReplyData();
        if (!writeFrame(*frame, error)) {
            if (!error.isEmpty()) m_log.append(WriteFailureText(kind) + error);
            return;
        }
        m_session.frameWritten();
    }
    void emptyReceiveBuffers() override { m_session.clearReplyData(); }
    bool writePending() const override { return false; }
    int lineBaud() const override { return SerialBaudRate(m_settings.settings().comPort.speed); }
    // The gateway hands the line's answer over in one data frame: what is there is whole.
    Telegram peek() override { return m_session.replyData(); }
    bool overNetwork() const override { return true; }

protected:
    virtual void beforeWrap() {}
    virtual bool connected() const = 0;
    virtual bool writeFrame(const Telegram& frame, QString& error) = 0;

    GatewaySession& m_session;
    CommunicationLog& m_log;
    const LiveSettings& m_settings;
};

class GatewayClientLink final : public GatewayLink {
public:
    GatewayClientLink(GatewayClientChannel& channel, GatewaySession& session, CommunicationLog& log,
                      const LiveSettings& settings, QObject* parent)
        : GatewayLink(session, log, settings, parent), m_channel(channel) {
        connect(&m_channel, &GatewayClientChannel::connectFinished, this, &Link::acquired);
    }

    Acquire acquire() override {
        switch (m_channel.startConnect()) {
        case GatewayClientChannel::ConnectStart::Connected: return Acquire::Ready;
        case GatewayClientChannel::ConnectStart::Pending: return Acquire::Pending;
        case GatewayClientChannel::ConnectStart::Refused: break;
        }
        return Acquire::Refused;
    }
    void release() override {
        if (m_settings.settings().vodud.closeTcp) m_channel.deactivate();
    }
    Collected collect(const CollectTexts&) override { return {false, m_session.replyData()}; }

private:
    // The network number the requests carry is the settings field's, when it holds one.
    void beforeWrap() override {
        if (const auto number = ParseDottedQuad(m_settings.settings().vodud.netNumber)) m_session.setNetworkNumber(*number);
    }
    bool connected() const override { return m_channel.isConnected(); }
    bool writeFrame(const Telegram& frame, QString& error) override { return m_channel.write(frame, error); }

    GatewayClientChannel& m_channel;
};

class GatewayServerLink final : public GatewayLink {
public:
    static inline const QString kNoGateway = QStringLiteral("No NLAN-2/NCEL-1A gateway is connected...");

    GatewayServerLink(GatewayServerChannel& channel, GatewaySession& session, CommunicationLog& log,
                      const LiveSettings& settings, QObject* parent)
        : GatewayLink(session, log, settings, parent), m_channel(channel) {}

    Acquire acquire() override {
        m_session.clearReplyData();
        if (m_channel.gatewayConnected()) return Acquire::Ready;
        m_log.append(kNoGateway);
        return Acquire::Refused;
    }
    void release() override { m_session.clearReplyData(); }
    Collected collect(const CollectTexts& texts) override {
        const auto collected = m_session.collectServer(m_settings.settings().ethernet.timerReload, texts.overload);
        return {collected.wait, collected.bytes};
    }

private:
    bool connected() const override { return m_channel.gatewayConnected(); }
    bool writeFrame(const Telegram& frame, QString& error) override { return m_channel.write(frame, error); }

    GatewayServerChannel& m_channel;
};

} // namespace

Link* NewGatewayClientLink(GatewayClientChannel& channel, GatewaySession& session, CommunicationLog& log,
                           const LiveSettings& settings, QObject* parent) {
    return new GatewayClientLink(channel, session, log, settings, parent);
}

Link* NewGatewayServerLink(GatewayServerChannel& channel, GatewaySession& session, CommunicationLog& log,
                           const LiveSettings& settings, QObject* parent) {
    return new GatewayServerLink(channel, session, log, settings, parent);
}

} // namespace veltro
