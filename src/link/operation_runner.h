#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include "link/operation.h"

namespace veltro {

class CommunicationLog;
class LinkFacade;

// One operation holds the bus at a time: interleaved telegrams of two operations lose readings and
// close the port under a running cycle. A second command is refused with a log line; stopping stays
// possible. The response window ("Resp. timeout") reaches every operation from here.
class OperationRunner : public QObject {
    Q_OBJECT

public:
    static inline const QString kBusyMessage =
        QStringLiteral("Another operation is using the bus, wait for it to end or stop it...");

    OperationRunner(LinkFacade& link, CommunicationLog& log, int responseWindow, QObject* parent = nullptr);
    ~OperationRunner() override;

    // Claims the bus for `operation` (the runner owns it from here) and begins it: it acquires the link
    // and sends. False, with the busy line, when another operation holds the bus. It may have ended
    // already when this returns (a link that cannot be had).
    bool start(Operation* operation);

    bool idle() const { return m_current == nullptr; }
    Operation* current() const { return m_current; }
    BusOperation currentKind() const { return m_current ? m_current->kind() : BusOperation::None; }
    // Logs the busy line and returns true when an operation holds the bus.
    bool refuseWhenBusy();
    // The operator's stop of the running operation, if any.
    void stopCurrent();
    // The program closes: nothing may go on talking to the bus.
    void stopAll();

    // `Edit_timeoutChange`: any positive interval; the window's control clamps to 300..30000 ms.
    int responseWindow() const { return m_responseWindow; }
    void setResponseWindow(int milliseconds);

    // "Fast response": a meter's window ends when its answer is whole, or after the line's answer time
    // (plus `allowance` ms behind a network) when nothing came. Off: every window is the response window.
    struct FastResponse {
        bool on = false;
        int allowance = 100;
    };
    const FastResponse& fastResponse() const { return m_fast; }
    void setFastResponse(FastResponse fast) { m_fast = fast; }

    OperationOutcome lastOutcome() const { return m_lastOutcome; }

signals:
    void operationEnded(veltro::BusOperation kind, veltro::OperationOutcome outcome);
    void idleChanged(bool idle);

private:
    void onFinished(Operation* operation, OperationOutcome outcome);

    LinkFacade& m_link;
    CommunicationLog& m_log;
    int m_responseWindow;
    FastResponse m_fast;
    QPointer<Operation> m_current;
    OperationOutcome m_lastOutcome = OperationOutcome::Completed;
};

} // namespace veltro
