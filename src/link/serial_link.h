#pragma once

#include <QTimer>

#include "link/link.h"

namespace veltro {

class CommunicationLog;
class LiveSettings;
class SerialChannel;

// The local serial port as a link: opened when an operation acquires it, closed when it releases it.
// Received bytes are kept from one collect to the next until the next send or empty.
class SerialLink final : public Link {
    Q_OBJECT

public:
    SerialLink(SerialChannel& channel, CommunicationLog& log, const LiveSettings& settings, QObject* parent = nullptr);

    Acquire acquire() override;
    void release() override;
    void send(const Telegram& telegram, SendKind kind) override;
    Collected collect(const CollectTexts& texts) override;
    void emptyReceiveBuffers() override;
    bool writePending() const override;
    int lineBaud() const override;

    // Discards queued output too (`SendTelegram` and the cycles purge both ways).
    void purge();

private:
    bool openNow();

    SerialChannel& m_channel;
    CommunicationLog& m_log;
    const LiveSettings& m_settings;
    Telegram m_received;
    QTimer m_settle;  // the port was closed a moment ago: the open waits for the driver
};

} // namespace veltro
