#include "link/operation_runner.h"

#include <algorithm>

#include "link/communication_log.h"
#include "link/link_facade.h"

namespace veltro {

OperationRunner::OperationRunner(LinkFacade& link, CommunicationLog& log, int responseWindow, QObject* parent)
    : QObject(parent), m_link(link), m_log(log), m_responseWindow(std::max(1, responseWindow)) {}

OperationRunner::~OperationRunner() { stopAll(); }

bool OperationRunner::start(Operation* operation) {
    if (!operation) return false;
    if (refuseWhenBusy()) {
        delete operation;
        return false;
    }
    operation->setParent(this);
    m_current = operation;
    connect(operation, &Operation::finished, this,
            [this, operation](OperationOutcome outcome) { onFinished(operation, outcome); });
    emit idleChanged(false);
    operation->begin(*this, m_link, m_log);
    return true;
}

bool OperationRunner::refuseWhenBusy() {
    if (idle()) return false;
    m_log.append(kBusyMessage);
    return true;
}

void OperationRunner::stopCurrent() {
    if (m_current) m_current->stop();
}

void OperationRunner::stopAll() {
    if (m_current) m_current->abort();
}

void OperationRunner::setResponseWindow(int milliseconds) { m_responseWindow = std::max(1, milliseconds); }

void OperationRunner::onFinished(Operation* operation, OperationOutcome outcome) {
    if (operation != m_current) return;
    m_current = nullptr;
    m_lastOutcome = outcome;
    // Deleted once its own signal handlers have returned.
    operation->deleteLater();
    emit operationEnded(operation->kind(), outcome);
    emit idleChanged(true);
}

} // namespace veltro
