#include "link/gateway_session.h"

#include "link/communication_log.h"
#include "mbus/hex.h"

#include <algorithm>

namespace veltro {
namespace {

QString Latin1(const std::string& text) { return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())); }

} // namespace

GatewaySession::GatewaySession(CommunicationLog& log, QObject* parent) : QObject(parent), m_log(log) {}

std::optional<Telegram> GatewaySession::wrap(const Telegram& telegram, GatewayBlock block) const {
    return WrapGatewayFrame(telegram, block, m_network, m_sequence);
}

void GatewaySession::frameWritten() {
    ++m_sequence;
    m_sentOnConnection = true;
    m_replyData.clear();
    m_replyReady = false;
    m_waitCount = 0;
}

void GatewaySession::connectionChanged() {
    m_sequence = 1;
    m_sentOnConnection = false;
    m_accumulator.clear();
    m_replyData.clear();
    m_replyReady = false;
    m_waitCount = 0;
}

void GatewaySession::feed(std::span<const std::uint8_t> bytes, bool logPackets) {
    // A chunk completes at most one frame: the reader hands over one frame's size at a time.
    while (!bytes.empty()) {
        const std::size_t take = std::min(bytes.size(), kGatewayFrameSize);
        const GatewayChunk chunk = m_accumulator.feed(bytes.first(take));
        bytes = bytes.subspan(take);
        if (!chunk.overflow.empty()) {
            m_log.append(Latin1(chunk.overflow));
            // The waiting window ends with nothing rather than with half a frame.
            m_replyReady = true;
            m_waitCount = 0;
            m_replyData.clear();
        }
        if (chunk.frame) parse(*chunk.frame, logPackets);
    }
}

void GatewaySession::parse(const Telegram& frame, bool logPackets) {
    const bool greeting = !m_sentOnConnection;
    const GatewayReply reply = ParseGatewayReply(frame, greeting);
    for (const auto& line : reply.log) m_log.append(Latin1(line));
    if (reply.networkNumber) m_network = *reply.networkNumber;
    m_replyData = reply.data;
    if (logPackets) {
        std::string hex = HexRendering(frame);
        m_log.append(QStringLiteral("Packet: ") + Latin1(hex));
    }
    m_replyReady = true;
    // Only a frame that passed the checks greets; one greeting per connection.
    if (greeting && reply.networkNumber) {
        m_sentOnConnection = true;
        emit greeted();
    }
}

GatewaySession::Collect GatewaySession::collectServer(int reloads, const QString& overloadText) {
    if (m_replyReady) {
        m_replyReady = false;
        m_waitCount = 0;
        return {false, m_replyData};
    }
    if (++m_waitCount <= reloads) return {true, {}};
    m_log.append(overloadText);
    m_waitCount = 0;
    m_replyReady = false;
    return {false, m_replyData};
}

} // namespace veltro
