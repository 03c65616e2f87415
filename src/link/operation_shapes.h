#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/operation.h"

namespace veltro {

// What a reply (or the silence of a window) means to the operation that waited for it.
struct Verdict {
    enum class Kind {
        Accept,    // this exchange is done: the next step or row, or the end
        Retry,     // ask again while the retries last, then go on as after Accept
        FollowUp,  // send `followUp` and judge its reply the same way
        End,       // the whole operation ends with `outcome`
    };
    Kind kind = Kind::Accept;
    Outgoing followUp;
    OperationOutcome outcome = OperationOutcome::Completed;

    static Verdict Accept() { return {}; }
    static Verdict Retry() { return {Kind::Retry, {}, {}}; }
    static Verdict FollowUp(Outgoing outgoing) { return {Kind::FollowUp, std::move(outgoing), {}}; }
    static Verdict End(OperationOutcome outcome) { return {Kind::End, {}, outcome}; }
};

// One request and its reply, asked again while the reply says so and the retries last.
class SingleExchange : public Operation {
    Q_OBJECT

public:
    SingleExchange(BusOperation kind, CollectTexts texts, int retries, QObject* parent = nullptr);

protected:
    virtual Outgoing request() = 0;
    virtual Verdict reply(const Telegram& received) = 0;

    void start() override { transmit(request()); }
    void judge(const Telegram& received) override;

private:
    int m_retries;
    int m_attempts = 0;
};

// Steps in order, each a telegram with the judge of its reply.
class StepSequence : public Operation {
    Q_OBJECT

public:
    struct Step {
        Outgoing outgoing;
        std::function<Verdict(const Telegram& received)> judge;
    };

    StepSequence(BusOperation kind, CollectTexts texts, int retries, QObject* parent = nullptr);
    void addStep(Step step) { m_steps.push_back(std::move(step)); }
    std::size_t stepIndex() const { return m_index; }

protected:
    void start() override { runStep(); }
    void judge(const Telegram& received) override;

private:
    void runStep();
    void nextStep();

    std::vector<Step> m_steps;
    std::size_t m_index = 0;
    int m_retries;
    int m_attempts = 0;
};

// One target of a row cycle: a meter-table row, the meter's primary address and its identification.
// Taken when the cycle starts, so later edits or decodes cannot redirect it.
struct RowTarget {
    int row = -1;
    std::optional<int> address;
    std::string identification;
    std::string medium;        // the row's medium text, for configuration telegrams that carry it
    std::string manufacturer;  // the row's three letters ("REL" for a relay unit)
};

// What a row cycle sends to each target and how it judges the reply: reading a meter, configuring it,
// or a device that is told about the row's meter.
class RowStrategy {
public:
    virtual ~RowStrategy() = default;
    // The request for `target`; `attempt` counts the repeats (0 the first time). Nothing passes the target
    // over without a window.
    virtual std::optional<Outgoing> request(const RowTarget& target, int index, int attempt) = 0;
    virtual Verdict judge(const Telegram& received, const RowTarget& target) = 0;
    // The retries for `target` ran out and the cycle moves on without it.
    virtual void passedOver(const RowTarget&) {}
};

// The targets one after the other, each asked again while its replies fail and the retries last.
class RowCycle : public Operation {
    Q_OBJECT

public:
    RowCycle(BusOperation kind, std::vector<RowTarget> targets, std::unique_ptr<RowStrategy> strategy, int retries,
             QObject* parent = nullptr);
    // A telegram sent once before the first target, then a pause (the global reset before a scan).
    void setPrelude(Outgoing outgoing, int pauseMilliseconds);

signals:
    // The cycle moved on to target `index` (not sent for the first).
    void advanced(int index);

protected:
    void start() override;
    void judge(const Telegram& received) override;

private:
    void askCurrent();
    void advance();

    std::vector<RowTarget> m_targets;
    std::unique_ptr<RowStrategy> m_strategy;
    std::optional<Outgoing> m_prelude;
    int m_preludePause = 0;
    std::size_t m_index = 0;
    int m_retries;
    int m_attempts = 0;
};

} // namespace veltro
