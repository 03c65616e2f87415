#pragma once

#include <functional>

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <optional>

#include "link/link.h"
#include "link/link_facade.h"

namespace veltro {

class CommunicationLog;
class LinkFacade;
class OperationRunner;

// Which operation holds the bus.
enum class BusOperation {
    None,
    SingleRead,
    Scan,
    ReadAll,
    SelectedRows,
    Console,
    SecondarySelection,
    SecondarySearch,
    Configuration,   // a configuration telegram to one meter, or a batch of them
    AutoAddressing,
    Display,         // the local display: the table write cycle, its reads and single commands
    Receiver,        // a wireless receiver: acquisition, programming and single commands
};

// A telegram an operation puts on the bus, and the log line that follows it ("Reading device 5").
struct Outgoing {
    Telegram bytes;
    SendKind kind = SendKind::Telegram;
    QString lineAfter;
};

// How an operation ends.
enum class OperationOutcome {
    Completed,   // it did what it was started for
    NoResponse,  // a single read heard nothing; its link stays acquired for the operator's retry
    Stopped,     // the operator's stop, or the program's close
    LinkFailed,  // the link could not be acquired, or went away while the operation ran
};

// One request/response exchange on the bus, or a series of them: it owns its response window, collects
// at each tick and decides. The runner claims the bus for it, then it acquires the link; whatever way it
// ends it releases the link (but after NoResponse), drops its state and reports `finished` exactly once.
// Nothing in it waits: a pending connect, the settling of a closed port, a write still leaving and a
// pause between telegrams are states with timers.
class Operation : public QObject {
    Q_OBJECT

public:
    // How long a tick keeps polling for the rest of a long frame beyond its wire time.
    static constexpr int kFrameMarginMilliseconds = 100;
    static constexpr int kFramePollMilliseconds = 10;
    static constexpr int kLongestFrameWaitMilliseconds = 10000;
    // How often a fast window looks at what has come.
    static constexpr int kFastPollMilliseconds = 2;

    Operation(BusOperation kind, CollectTexts texts, QObject* parent = nullptr);
    ~Operation() override;

    BusOperation kind() const { return m_kind; }
    // Runs on this link whatever the settings select (set before it starts).
    void forceLinkMode(LinkMode mode) { m_forcedMode = mode; }
    // The operator's stop; an operation may finish its window first.
    virtual void stop() { finish(OperationOutcome::Stopped); }
    // The program closes: nothing more goes on the bus.
    void abort() { finish(OperationOutcome::Stopped); }

signals:
    void finished(veltro::OperationOutcome outcome);

protected:
    // The link is acquired: send the first telegram.
    virtual void start() = 0;
    // A window is over and `received` is all it brought: send again, send the next, or finish.
    virtual void judge(const Telegram& received) = 0;
    // The window's collect found no link any more (already logged); by default judged as silence.
    virtual void linkLost(const Telegram& received) { judge(received); }
    // Runs once, whatever the end, before `finished`.
    virtual void cleanUp(OperationOutcome) {}

    void transmit(const Outgoing& outgoing);
    // A window without a request: what the link still brings is collected and judged.
    void listen();
    // A timed step without collecting (the meters' rest after a global reset).
    void pause(int milliseconds, std::function<void()> then);
    void finish(OperationOutcome outcome);

    LinkFacade& link() const { return *m_link; }
    CommunicationLog& log() const { return *m_log; }
    int responseWindow() const;
    // Milliseconds that many bytes take on the line at the link's speed.
    int wireTime(std::size_t bytes) const;

private:
    friend class OperationRunner;
    void begin(OperationRunner& runner, LinkFacade& link, CommunicationLog& log);
    void onAcquired(bool ok);
    void onSent();
    void onTimer();
    void armWindow();
    // A fast window's look at what has come; true when the window is over and the tick may judge.
    bool fastWindowOver();
    bool fastWindow() const;

    BusOperation m_kind;
    std::optional<LinkMode> m_forcedMode;
    CollectTexts m_texts;
    OperationRunner* m_runner = nullptr;
    LinkFacade* m_link = nullptr;
    CommunicationLog* m_log = nullptr;
    QTimer m_timer;
    enum class Waiting { Nothing, Link, Sent, Window, Pause } m_waiting = Waiting::Nothing;
    std::function<void()> m_afterPause;
    QElapsedTimer m_frameWait;
    int m_frameWaitLimit = 0;
    // The fast window: since it opened, the bytes seen at the last look and since when they stand.
    QElapsedTimer m_windowClock;
    std::size_t m_seenBytes = 0;
    qint64 m_seenSince = 0;
    std::size_t m_requestBytes = 0;
    bool m_fast = false;
    bool m_linkHeld = false;
    bool m_ended = false;
};

} // namespace veltro
