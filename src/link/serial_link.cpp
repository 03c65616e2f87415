#include "app/live_settings.h"
#include "link/communication_log.h"
#include "link/links.h"
#include "link/serial_channel.h"
#include "link/serial_port_rules.h"
#include "mbus/hex.h"

#include <QTimer>

namespace veltro {
namespace {

// Received bytes are kept from one collect to the next until the next send or empty, as the bridge
// keeps its buffer, so a tick can wait for the rest of a frame.
class SerialLink final : public Link {
public:
    SerialLink(SerialChannel& channel, CommunicationLog& log, const LiveSettings& settings, QObject* parent)
        : Link(parent), m_channel(channel), m_log(log), m_settings(settings) {
        m_settle.setSingleShot(true);
        connect(&m_settle, &QTimer::timeout, this, [this] { emit acquired(openNow()); });
        connect(&m_channel, &SerialChannel::allWritten, this, &Link::sent);
        connect(&m_channel, &SerialChannel::writeFailed, this, [this](const QString& error) {
            m_log.append(QStringLiteral("Can not write to serial COM port - ") + error);
            emit sent();
        });
    }

    Acquire acquire() override {
        if (const int settle = m_channel.isOpen() ? 0 : m_channel.settleRemaining(); settle > 0) {
            m_settle.start(settle);
            return Acquire::Pending;
        }
        return openNow() ? Acquire::Ready : Acquire::Refused;
    }

    void release() override {
        m_settle.stop();
        purge();
        if (m_channel.isOpen()) m_channel.close();
    }

    void send(const Telegram& telegram, SendKind kind) override;

    Collected collect(const CollectTexts& texts) override {
        if (m_channel.isOpen()) take(m_channel.readAvailable());
        // The device may vanish while it is read (an adapter pulled out).
        if (!m_channel.isOpen()) {
            m_log.append(texts.noConnection);
            return {false, {}, true};
        }
        return {false, m_received};
    }

    Telegram peek() override {
        if (!m_channel.isOpen()) return {};
        take(m_channel.readAvailable());
        return m_received;
    }
    bool overNetwork() const override { return false; }

    void emptyReceiveBuffers() override {
        m_channel.purge(SerialChannel::PurgeSides::Input);
        m_received.clear();
    }

    bool writePending() const override { return m_channel.writePending(); }
    int lineBaud() const override { return SerialBaudRate(m_settings.settings().comPort.speed); }

private:
    bool openNow() {
        if (!m_channel.isOpen()) m_channel.open();
        if (!m_channel.isOpen()) return false;
        purge();
        return true;
    }

    void purge() {
        m_channel.purge();
        m_received.clear();
    }

    // A fast adapter streaming garbage between two sends is held to what the bridge keeps; no answer
    // comes near it.
    void take(const Telegram& bytes) {
        const std::size_t room = kSerialReceiveLimit - std::min(kSerialReceiveLimit, m_received.size());
        m_received.append(std::span(bytes.data(), std::min(room, bytes.size())));
    }
    static constexpr std::size_t kSerialReceiveLimit = 1024 * 1024;

    SerialChannel& m_channel;
    CommunicationLog& m_log;
    const LiveSettings& m_settings;
    Telegram m_received;
    QTimer m_settle;  // the port was closed a moment ago: the open waits for the driver
};

void SerialLink::send(const Telegram& telegram, SendKind kind) {
    // Whatever is still queued belongs to an earlier window and must not pass for this one's answer.
    if (kind == SendKind::Telegram) purge();
    else if (kind != SendKind::MediumChange && kind != SendKind::UnitChange) emptyReceiveBuffers();
    if (kind == SendKind::ReadRequest) {
        if (m_channel.isOpen() && !m_channel.write(telegram).ok)
            m_log.append(QStringLiteral("Can not write to COM port - reading device ") +
                         QString::number(telegram.size() > 2 ? telegram[2] : 0));
        return;
    }
    if (kind == SendKind::DisplayCommand) {
        if (!m_channel.write(telegram).ok) m_log.append(QStringLiteral("Can not write to COM port,"));
        return;
    }
    // "Sent: " only for bytes that went out: a telegram that never left must not read as sent.
    const auto written = m_channel.write(telegram);
    if (!written.ok) m_log.append(QStringLiteral("Can not write to serial COM port - ") + written.error);
    else if (kind == SendKind::Telegram) m_log.append(QStringLiteral("Sent: ") + QString::fromLatin1(HexRendering(telegram)));
}

} // namespace

Link* NewSerialLink(SerialChannel& channel, CommunicationLog& log, const LiveSettings& settings, QObject* parent) {
    return new SerialLink(channel, log, settings, parent);
}

} // namespace veltro
