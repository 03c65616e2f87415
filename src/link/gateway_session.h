#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include <QObject>
#include <QString>

#include "devices/gateway_frame.h"
#include "mbus/telegram.h"

namespace veltro {

class CommunicationLog;

// What the two gateway channels share: the network number, the sequence counter, the frame
// accumulator, the reply data of the latest data reply, and the server's reply-ready flag and wait
// counter. Only the connection that is up feeds it; a connection made or lost empties the accumulator.
class GatewaySession : public QObject {
    Q_OBJECT

public:
    explicit GatewaySession(CommunicationLog& log, QObject* parent = nullptr);

    // The request frame of `telegram` (nothing above 280 bytes), with the current number and counter.
    std::optional<Telegram> wrap(const Telegram& telegram, GatewayBlock block) const;
    // A frame went out: the counter moves on, and the reply state of the frame before is gone, so the
    // answer to a ping never judges the next window.
    void frameWritten();

    // Bytes read from the connection, in arrival order. `logPackets` adds "Packet: " lines (the server).
    void feed(std::span<const std::uint8_t> bytes, bool logPackets);
    void connectionChanged();  // made or lost: counter 1, accumulator empty, nothing sent yet

    const Telegram& replyData() const { return m_replyData; }
    void clearReplyData() { m_replyData.clear(); }
    bool replyReady() const { return m_replyReady; }
    // The server's collect: the reply when ready, "wait" while the windows allowed last, then the
    // overload line and what there is.
    struct Collect {
        bool wait = false;
        Telegram bytes;
    };
    Collect collectServer(int reloads, const QString& overloadText);

    void setNetworkNumber(const NetworkNumber& number) { m_network = number; }
    const NetworkNumber& networkNumber() const { return m_network; }
    std::int32_t sequence() const { return m_sequence; }

signals:
    // The first frame of a connection on which nothing was sent yet: the gateway's greeting.
    void greeted();

private:
    void parse(const Telegram& frame, bool logPackets);

    CommunicationLog& m_log;
    NetworkNumber m_network{};
    std::int32_t m_sequence = 1;
    bool m_sentOnConnection = false;
    GatewayFrameAccumulator m_accumulator;
    Telegram m_replyData;
    bool m_replyReady = false;
    int m_waitCount = 0;
};

} // namespace veltro
