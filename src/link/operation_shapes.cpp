#include "link/operation_shapes.h"

#include "link/communication_log.h"
#include "link/link_facade.h"

namespace veltro {

SingleExchange::SingleExchange(BusOperation kind, CollectTexts texts, int retries, QObject* parent)
    : Operation(kind, std::move(texts), parent), m_retries(retries) {}

void SingleExchange::judge(const Telegram& received) {
    const Verdict verdict = reply(received);
    switch (verdict.kind) {
    case Verdict::Kind::FollowUp: transmit(verdict.followUp); return;
    case Verdict::Kind::Retry:
        if (++m_attempts <= m_retries) {
            transmit(request());
            return;
        }
        break;
    case Verdict::Kind::End: finish(verdict.outcome); return;
    case Verdict::Kind::Accept: break;
    }
    finish(OperationOutcome::Completed);
}

StepSequence::StepSequence(BusOperation kind, CollectTexts texts, int retries, QObject* parent)
    : Operation(kind, std::move(texts), parent), m_retries(retries) {}

void StepSequence::runStep() {
    if (m_index >= m_steps.size()) {
        finish(OperationOutcome::Completed);
        return;
    }
    transmit(m_steps[m_index].outgoing);
}

void StepSequence::nextStep() {
    ++m_index;
    m_attempts = 0;
    runStep();
}

void StepSequence::judge(const Telegram& received) {
    const Verdict verdict = m_steps[m_index].judge(received);
    switch (verdict.kind) {
    case Verdict::Kind::FollowUp: transmit(verdict.followUp); return;
    case Verdict::Kind::Retry:
        if (++m_attempts <= m_retries) {
            transmit(m_steps[m_index].outgoing);
            return;
        }
        break;
    case Verdict::Kind::End: finish(verdict.outcome); return;
    case Verdict::Kind::Accept: break;
    }
    nextStep();
}

RowCycle::RowCycle(BusOperation kind, std::vector<RowTarget> targets, std::unique_ptr<RowStrategy> strategy, int retries,
                   QObject* parent)
    : Operation(kind, CollectTexts::Cycle(), parent), m_targets(std::move(targets)), m_strategy(std::move(strategy)),
      m_retries(retries) {}

void RowCycle::setPrelude(Outgoing outgoing, int pauseMilliseconds) {
    m_prelude = std::move(outgoing);
    m_preludePause = pauseMilliseconds;
}

void RowCycle::start() {
    if (!m_prelude) {
        askCurrent();
        return;
    }
    link().send(m_prelude->bytes, m_prelude->kind);
    pause(m_preludePause, [this] { askCurrent(); });
}

void RowCycle::askCurrent() {
    // Targets the strategy has nothing for are passed over without a window.
    while (m_index < m_targets.size()) {
        if (auto outgoing = m_strategy->request(m_targets[m_index], static_cast<int>(m_index), m_attempts)) {
            transmit(*outgoing);
            return;
        }
        m_attempts = 0;
        if (++m_index < m_targets.size()) emit advanced(static_cast<int>(m_index));
    }
    finish(OperationOutcome::Completed);
}

void RowCycle::advance() {
    m_attempts = 0;
    if (++m_index >= m_targets.size()) {
        finish(OperationOutcome::Completed);
        return;
    }
    emit advanced(static_cast<int>(m_index));
    askCurrent();
}

void RowCycle::judge(const Telegram& received) {
    const Verdict verdict = m_strategy->judge(received, m_targets[m_index]);
    switch (verdict.kind) {
    case Verdict::Kind::FollowUp: transmit(verdict.followUp); return;
    case Verdict::Kind::Retry:
        if (++m_attempts <= m_retries) {
            askCurrent();
            return;
        }
        m_strategy->passedOver(m_targets[m_index]);
        break;
    case Verdict::Kind::End: finish(verdict.outcome); return;
    case Verdict::Kind::Accept: break;
    }
    advance();
}

} // namespace veltro
