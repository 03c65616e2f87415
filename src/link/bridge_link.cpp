#include "app/live_settings.h"
#include "link/bridge_channel.h"
#include "link/communication_log.h"
#include "link/links.h"
#include "link/serial_port_rules.h"

namespace veltro {
namespace {

QString WriteFailureText(SendKind kind) {
    switch (kind) {
    case SendKind::ReadRequest: return QStringLiteral("Socket exception during normal read - ");
    case SendKind::MediumChange: return QStringLiteral("Socket exception during changing medium - ");
    case SendKind::UnitChange: return QStringLiteral("Socket exception during changing type and value - ");
    case SendKind::DisplayCommand: return QStringLiteral("Socket exception during setting LDU parameters -");
    case SendKind::ReceiverCommand:
    case SendKind::Telegram:
    case SendKind::Raw: break;
    }
    return QStringLiteral("Socket exception during sending telegram - ");
}

class BridgeLink final : public Link {
public:
    BridgeLink(BridgeChannel& channel, CommunicationLog& log, const LiveSettings& settings, QObject* parent)
        : Link(parent), m_channel(channel), m_log(log), m_settings(settings) {
        connect(&m_channel, &BridgeChannel::connectFinished, this, &Link::acquired);
        connect(&m_channel, &BridgeChannel::allWritten, this, &Link::sent);
    }

    Acquire acquire() override {
        switch (m_channel.startConnect()) {
        case BridgeChannel::ConnectStart::Connected: return Acquire::Ready;
        case BridgeChannel::ConnectStart::Pending: return Acquire::Pending;
        case BridgeChannel::ConnectStart::Refused: break;
        }
        return Acquire::Refused;
    }

    void release() override { m_channel.deactivate(); }

    void send(const Telegram& telegram, SendKind kind) override {
        m_channel.clearReceiveBuffer();
        // A bridge that is not connected takes nothing and says nothing: the window ends in silence.
        if (!m_channel.isConnected()) return;
        const auto written = m_channel.write(telegram);
        if (written.ok) return;
        m_log.append(WriteFailureText(kind) + written.error);
    }

    Collected collect(const CollectTexts& texts) override {
        if (m_channel.isConnected()) return {false, m_channel.receiveBuffer()};
        m_log.append(texts.noConnection);
        return {false, m_channel.receiveBuffer(), true};
    }
    Telegram peek() override { return m_channel.isConnected() ? m_channel.receiveBuffer() : Telegram{}; }
    bool overNetwork() const override { return true; }
    void emptyReceiveBuffers() override { m_channel.clearReceiveBuffer(); }
    bool writePending() const override { return m_channel.writePending(); }
    // The bridge does not tell its line speed; the port settings are the operator's word for the bus's.
    int lineBaud() const override { return SerialBaudRate(m_settings.settings().comPort.speed); }

private:
    BridgeChannel& m_channel;
    CommunicationLog& m_log;
    const LiveSettings& m_settings;
};

class UnavailableLink final : public Link {
public:
    UnavailableLink(CommunicationLog& log, QString reason, QObject* parent)
        : Link(parent), m_log(log), m_reason(std::move(reason)) {}

    Acquire acquire() override {
        m_log.append(m_reason);
        return Acquire::Refused;
    }
    void release() override {}
    void send(const Telegram&, SendKind) override {}
    Collected collect(const CollectTexts&) override { return {}; }
    Telegram peek() override { return {}; }
    bool overNetwork() const override { return false; }
    void emptyReceiveBuffers() override {}
    bool writePending() const override { return false; }
    int lineBaud() const override { return 2400; }

private:
    CommunicationLog& m_log;
    QString m_reason;
};

} // namespace

Link* NewBridgeLink(BridgeChannel& channel, CommunicationLog& log, const LiveSettings& settings, QObject* parent) {
    return new BridgeLink(channel, log, settings, parent);
}

Link* NewUnavailableLink(CommunicationLog& log, QString reason, QObject* parent) {
    return new UnavailableLink(log, std::move(reason), parent);
}

} // namespace veltro
