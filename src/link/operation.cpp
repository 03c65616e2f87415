#include "link/operation.h"

#include <algorithm>

#include "link/communication_log.h"
#include "link/link_facade.h"
#include "link/operation_runner.h"
#include "mbus/frames.h"

namespace veltro {

Operation::Operation(BusOperation kind, CollectTexts texts, QObject* parent)
    : QObject(parent), m_kind(kind), m_texts(std::move(texts)) {
    // Precise: the response window is the pace of every cycle, and coarse timers may run 5 % late.
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &Operation::onTimer);
}

Operation::~Operation() = default;

int Operation::wireTime(std::size_t bytes) const {
    // A byte on the M-Bus line is a start bit, 8 data bits, even parity and a stop bit.
    constexpr long long kBitsPerByte = 11;
    const int baud = std::max(1, m_link->lineBaud());
    return static_cast<int>(std::min<long long>((static_cast<long long>(bytes) * kBitsPerByte * 1000 + baud - 1) / baud,
                                                kLongestFrameWaitMilliseconds));
}

int Operation::responseWindow() const { return m_runner ? m_runner->responseWindow() : 500; }

void Operation::begin(OperationRunner& runner, LinkFacade& link, CommunicationLog& log) {
    m_runner = &runner;
    m_link = &link;
    m_log = &log;
    connect(m_link, &LinkFacade::acquired, this, &Operation::onAcquired);
    connect(m_link, &LinkFacade::sent, this, &Operation::onSent);
    m_waiting = Waiting::Link;
    switch (m_link->acquireLink(m_forcedMode)) {
    case Link::Acquire::Ready: onAcquired(true); break;
    case Link::Acquire::Pending: break;
    case Link::Acquire::Refused: onAcquired(false); break;
    }
}

void Operation::onAcquired(bool ok) {
    if (m_ended || m_waiting != Waiting::Link) return;
    m_waiting = Waiting::Nothing;
    if (!ok) {
        finish(OperationOutcome::LinkFailed);
        return;
    }
    m_linkHeld = true;
    start();
}

void Operation::transmit(const Outgoing& outgoing) {
    if (m_ended) return;
    m_timer.stop();
    m_requestBytes = outgoing.bytes.size();
    m_link->send(outgoing.bytes, outgoing.kind);
    if (!outgoing.lineAfter.isEmpty()) m_log->append(outgoing.lineAfter);
    // The window opens when the request has left, not while it is still queued.
    if (m_link->writePending()) {
        m_waiting = Waiting::Sent;
        return;
    }
    armWindow();
}

void Operation::listen() {
    m_requestBytes = 0;
    if (!m_ended) armWindow();
}

void Operation::onSent() {
    if (!m_ended && m_waiting == Waiting::Sent) armWindow();
}

void Operation::armWindow() {
    m_waiting = Waiting::Window;
    m_frameWait.invalidate();
    m_fast = fastWindow();
    if (m_fast) {
        m_windowClock.start();
        m_seenBytes = 0;
        m_seenSince = 0;
        m_timer.start(kFastPollMilliseconds);
        return;
    }
    m_timer.start(std::max(1, responseWindow()));
}

bool Operation::fastWindow() const {
    if (!m_runner || !m_runner->fastResponse().on) return false;
    switch (m_kind) {
    case BusOperation::SingleRead:
    case BusOperation::Scan:
    case BusOperation::ReadAll:
    case BusOperation::SelectedRows:
    case BusOperation::SecondarySelection:
    case BusOperation::SecondarySearch:
    case BusOperation::Configuration:
    case BusOperation::AutoAddressing: return true;
    default: return false;
    }
}

// The window ends when the answer is whole (E5h, a short frame, a long frame of L + 6 bytes), when bytes
// that cannot become one answer have stood for the quiet gap, or, with nothing come, after the request's
// wire time and the line's answer time. A frame in progress is awaited as in every window. Never later
// than the response window, unless a frame is in progress.
bool Operation::fastWindowOver() {
    const Telegram received = m_link->peekReceived();
    const qint64 now = m_windowClock.elapsed();
    if (received.size() != m_seenBytes) {
        m_seenBytes = received.size();
        m_seenSince = now;
    }
    const int allowance = m_link->overNetwork() ? m_runner->fastResponse().allowance : 0;
    switch (ProgressOfAnswer(received)) {
    case AnswerProgress::Complete: return true;
    case AnswerProgress::Partial: return now >= responseWindow();  // the tick waits for the rest
    case AnswerProgress::Garbage: {
        const qint64 quiet = std::max<qint64>(wireTime(3), 1) + allowance;
        return now - m_seenSince >= quiet || now >= responseWindow();
    }
    case AnswerProgress::Nothing: break;
    }
    const qint64 silent = wireTime(m_requestBytes) + AnswerTimeMilliseconds(m_link->lineBaud()) + allowance;
    return now >= std::min<qint64>(silent, responseWindow());
}

void Operation::pause(int milliseconds, std::function<void()> then) {
    if (m_ended) return;
    m_waiting = Waiting::Pause;
    m_afterPause = std::move(then);
    m_timer.start(std::max(0, milliseconds));
}

void Operation::onTimer() {
    if (m_ended) return;
    if (m_waiting == Waiting::Pause) {
        m_waiting = Waiting::Nothing;
        auto then = std::move(m_afterPause);
        m_afterPause = {};
        if (then) then();
        return;
    }
    if (m_waiting != Waiting::Window) return;
    if (m_fast && !m_frameWait.isValid() && !fastWindowOver()) {
        m_timer.start(kFastPollMilliseconds);
        return;
    }
    const Collected collected = m_link->collectReceived(m_texts);
    if (collected.wait) {
        armWindow();
        return;
    }
    if (collected.noLink) {
        m_waiting = Waiting::Nothing;
        linkLost(collected.bytes);
        return;
    }
    // A long answer outlasts a short window: judging its first part would lose it and leave the rest
    // to pass for the next meter's answer. Wait for the bytes its L field still announces.
    if (const std::size_t missing = MissingLongFrameBytes(collected.bytes); missing > 0) {
        if (!m_frameWait.isValid()) {
            m_frameWaitLimit = std::min(wireTime(missing) + kFrameMarginMilliseconds, kLongestFrameWaitMilliseconds);
            m_frameWait.start();
        }
        if (m_frameWait.elapsed() < m_frameWaitLimit) {
            m_timer.start(kFramePollMilliseconds);
            return;
        }
    }
    m_waiting = Waiting::Nothing;
    judge(collected.bytes);
}

void Operation::finish(OperationOutcome outcome) {
    if (m_ended) return;
    m_ended = true;
    // A link that went away mid-operation is still released; one that could not be had was never held.
    const bool releaseLink = outcome != OperationOutcome::NoResponse &&
                             (m_linkHeld || (m_waiting == Waiting::Link && outcome != OperationOutcome::LinkFailed));
    m_timer.stop();
    m_waiting = Waiting::Nothing;
    m_afterPause = {};
    if (m_link) {
        disconnect(m_link, nullptr, this, nullptr);
        if (releaseLink) m_link->releaseLink();
    }
    cleanUp(outcome);
    emit finished(outcome);
}

} // namespace veltro
