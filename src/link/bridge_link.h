#pragma once

#include "link/link.h"

namespace veltro {

class BridgeChannel;
class CommunicationLog;
class LiveSettings;

// The transparent serial-over-TCP bridge as a link: connected when an operation acquires it (the
// connect is waited for by the operation, not here), deactivated when it releases it.
class BridgeLink final : public Link {
    Q_OBJECT

public:
    BridgeLink(BridgeChannel& channel, CommunicationLog& log, const LiveSettings& settings, QObject* parent = nullptr);

    Acquire acquire() override;
    void release() override;
    void send(const Telegram& telegram, SendKind kind) override;
    Collected collect(const CollectTexts& texts) override;
    void emptyReceiveBuffers() override;
    bool writePending() const override;
    int lineBaud() const override;

private:
    BridgeChannel& m_channel;
    CommunicationLog& m_log;
    const LiveSettings& m_settings;
};

// A link this version cannot offer: acquiring it says so and is refused.
class UnavailableLink final : public Link {
    Q_OBJECT

public:
    UnavailableLink(CommunicationLog& log, QString reason, QObject* parent = nullptr);

    Acquire acquire() override;
    void release() override {}
    void send(const Telegram&, SendKind) override {}
    Collected collect(const CollectTexts&) override { return {}; }
    void emptyReceiveBuffers() override {}
    bool writePending() const override { return false; }
    int lineBaud() const override { return 2400; }

private:
    CommunicationLog& m_log;
    QString m_reason;
};

} // namespace veltro
