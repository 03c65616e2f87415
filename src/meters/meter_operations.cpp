#include "meters/meter_operations.h"

#include "link/communication_log.h"
#include "mbus/address.h"
#include "mbus/constants.h"
#include "mbus/frames.h"
#include "meters/meter_page.h"

namespace veltro {
namespace {

Outgoing ReadRequest(int address, bool use5B, QString lineAfter = {}) {
    return {BuildReqUd2(static_cast<std::uint8_t>(address), use5B), SendKind::ReadRequest, std::move(lineAfter)};
}

QString ReadingLine(int address) { return QStringLiteral("Reading device ") + QString::number(address); }

std::vector<RowTarget> AddressRange(int first, int last) {
    std::vector<RowTarget> targets;
    for (int address = first; address <= last; ++address) targets.push_back({-1, address, {}});
    return targets;
}

class ScanStrategy final : public RowStrategy {
public:
    ScanStrategy(MeterPage& page, bool useSndNke, bool use5B) : m_page(page), m_useSndNke(useSndNke), m_use5B(use5B) {}

    std::optional<Outgoing> request(const RowTarget& target, int index, int attempt) override {
        const int address = target.address.value_or(0);
        m_readSent = false;
        if (m_useSndNke) return Outgoing{BuildSndNke(static_cast<std::uint8_t>(address)), SendKind::Telegram, {}};
        // Every request but the very first says which address it asks.
        return ReadRequest(address, m_use5B, index == 0 && attempt == 0 ? QString() : ReadingLine(address));
    }

    Verdict judge(const Telegram& received, const RowTarget& target) override {
        if (received.empty()) return Verdict::Retry();
        if (IsAcknowledge(received)) {
            m_page.log().append(QStringLiteral("0xE5 (Acknowledge) 1"));
            // With "Use SND_NKE" the acknowledge answers the reset, and the read follows.
            if (m_useSndNke && !m_readSent) {
                m_readSent = true;  // one read per acknowledged reset, however often the device says E5
                return Verdict::FollowUp(ReadRequest(*target.address, m_use5B, ReadingLine(*target.address)));
            }
            return Verdict::Accept();
        }
        const bool room = m_page.table().canAppend();
        if (!m_page.apply(received, Placement::Append, false).valid) return Verdict::Retry();
        // A full table keeps what it holds; the scan goes on, and says so once.
        if (!room && !m_fullReported) {
            m_fullReported = true;
            m_page.log().append(PrimaryScan::kTableFullMessage);
        }
        return Verdict::Accept();
    }

private:
    MeterPage& m_page;
    bool m_useSndNke;
    bool m_use5B;
    bool m_readSent = false;
    bool m_fullReported = false;
};

} // namespace

SingleRead::SingleRead(MeterPage& page, Request request, QObject* parent)
    : StepSequence(request.kind, CollectTexts::Generic(), 0, parent), m_page(page),
      m_request(std::move(request)) {
    m_followUp = m_request.broadcast ? std::optional<int>(kBroadcastWithReply) : m_request.target;
    const std::optional<int> first = m_followUp;
    if (m_request.configuration) {
        addStep({{*m_request.configuration, m_request.configurationKind, {}}, [this](const Telegram& r) { return reply(r); }});
        if (m_request.readBack && m_followUp)
            addStep({*readAt(m_followUp), [this](const Telegram& r) { return reply(r); }});
        return;
    }
    if (!first) return;
    if (m_request.useSndNke)
        addStep({{BuildSndNke(static_cast<std::uint8_t>(*first)), SendKind::Telegram, {}},
                 [this](const Telegram& r) { return reply(r); }});
    else
        addStep({*readAt(first), [this](const Telegram& r) { return reply(r); }});
}

void SingleRead::start() {
    if (!m_request.refusalAfterAcquire.isEmpty()) {
        log().append(m_request.refusalAfterAcquire);
        finish(OperationOutcome::Completed);
        return;
    }
    if (m_request.nothingSelected) {
        log().append(QStringLiteral("Nothing selected from the table..."));
        finish(OperationOutcome::NoResponse);
        return;
    }
    // "256" or not a number: nothing is sent.
    if (!m_request.configuration && !m_followUp) {
        finish(OperationOutcome::NoResponse);
        return;
    }
    StepSequence::start();
}

std::optional<Outgoing> SingleRead::readAt(std::optional<int> address) const {
    if (!address) return std::nullopt;
    return ReadRequest(*address, m_request.use5B);
}

Verdict SingleRead::reply(const Telegram& received) {
    if (received.empty()) {
        log().append(QStringLiteral("No response from address ") + m_request.addressText);
        // The link stays acquired on this path, as the operator may retry at once.
        return Verdict::End(OperationOutcome::NoResponse);
    }
    bool moreRecords = false;
    if (IsAcknowledge(received)) {
        log().append(QStringLiteral("0xE5 (Acknowledge) 1"));
        // With "Use SND_NKE" the acknowledge answers the reset, and the meter is read, once: a device
        // that acknowledges every request would otherwise be asked for ever.
        if (m_request.useSndNke && m_request.target && !m_resetAnswered) {
            m_resetAnswered = true;
            return Verdict::FollowUp(*readAt(m_request.target));
        }
    } else {
        moreRecords = m_page.apply(received, Placement::ByPrimaryAddress, m_request.fullRead).moreRecordsPending;
    }
    const bool readBackNext = m_request.configuration && m_request.readBack && stepIndex() == 0 && m_followUp;
    if (readBackNext) return Verdict::Accept();
    if (moreRecords && m_request.multiTelegram && m_followUp) {
        if (m_furtherTelegrams < kMostFurtherTelegrams) {
            ++m_furtherTelegrams;
            return Verdict::FollowUp(*readAt(m_followUp));
        }
        log().append(kFurtherTelegramsStopped);
    }
    return Verdict::End(OperationOutcome::Completed);
}

SecondarySelection::SecondarySelection(MeterPage& page, std::string identification, std::optional<Outgoing> configuration,
                                       BusOperation kind, QObject* parent)
    : StepSequence(kind, CollectTexts::Generic(), 0, parent), m_page(page), m_identification(std::move(identification)) {
    // Only 8 decimal digits make a selection: a wildcard would select, and configure, several meters.
    const auto selection = BuildSelection(m_identification);
    if (!selection) return;
    addStep({{*selection, SendKind::Telegram, {}}, [this](const Telegram& r) { return selected(r); }});
    if (configuration) addStep({std::move(*configuration), [this](const Telegram& r) { return configured(r); }});
    addStep({ReadRequest(kSecondaryAddress, false), [this](const Telegram& r) { return answered(r); }});
}

Verdict SecondarySelection::selected(const Telegram& received) {
    if (received.empty()) {
        log().append(QStringLiteral("No response from device ") + QString::fromStdString(m_identification));
        return Verdict::End(OperationOutcome::Completed);
    }
    m_meterSelected = true;
    if (!IsAcknowledge(received)) return answered(received);  // a meter that skipped the acknowledge
    log().append(QStringLiteral("0xE5 (Acknowledge)"));
    return Verdict::Accept();
}

Verdict SecondarySelection::configured(const Telegram& received) {
    if (IsAcknowledge(received)) {
        log().append(QStringLiteral("0xE5 (Acknowledge)"));
        return Verdict::Accept();  // the read of the changed meter follows, once
    }
    if (received.empty()) {
        log().append(QStringLiteral("No response from device ") + QString::fromStdString(m_identification));
        return deselect();
    }
    return answered(received);
}

Verdict SecondarySelection::answered(const Telegram& received) {
    if (m_deselecting) {
        if (IsAcknowledge(received)) log().append(QStringLiteral("0xE5 (Acknowledge) 1"));
        return Verdict::End(OperationOutcome::Completed);
    }
    // Whatever answers the request, an acknowledge included, is judged once; then the meter is let go,
    // so a device that acknowledges everything cannot keep the operation going.
    if (!received.empty() && !IsAcknowledge(received)) m_meterRead = m_page.apply(received, Placement::ById, false).valid;
    return deselect();
}

Verdict SecondarySelection::deselect() {
    m_deselecting = true;
    return Verdict::FollowUp({BuildSndNke(kSecondaryAddress), SendKind::Telegram, {}});
}

std::optional<Outgoing> ConfigurationStrategy::request(const RowTarget& target, int, int) {
    // A row without a meter address (empty, "256", "254", text) sends nothing: never a broadcast.
    if (!target.address) return std::nullopt;
    return m_build(target);
}

std::optional<Outgoing> MeterReadStrategy::request(const RowTarget& target, int, int) {
    // A row without a meter address ("256", empty, text) sends nothing: 256 would otherwise reach address 0.
    if (!target.address) return std::nullopt;
    return ReadRequest(*target.address, m_use5B);
}

Verdict MeterReadStrategy::judge(const Telegram& received, const RowTarget& target) {
    if (received.size() < 2) return Verdict::Retry();
    if (!m_page.apply(received, Placement::ByPrimaryAddress, false).valid) return Verdict::Retry();
    // A late answer of the meter before, come in this window: it updated its own row, and this meter is
    // asked again rather than passed over unread. Answers from 253 (a meter selected or replayed) count.
    const std::uint8_t answered = received.size() > 5 ? received[5] : 0;
    if (target.address && *target.address <= kLastMeterAddress && answered <= kLastMeterAddress &&
        answered != *target.address)
        return Verdict::Retry();
    return Verdict::Accept();
}

void MeterReadStrategy::passedOver(const RowTarget& target) {
    if (target.address) m_page.log().append(QStringLiteral("No response from address ") + QString::number(*target.address));
}

ReadAllCycle::ReadAllCycle(MeterPage& page, std::vector<RowTarget> rows, int retries, bool use5B, QObject* parent)
    : RowCycle(BusOperation::ReadAll, std::move(rows), std::make_unique<MeterReadStrategy>(page, use5B), retries, parent) {}

PrimaryScan::PrimaryScan(MeterPage& page, int first, int last, int retries, bool useSndNke, bool use5B, QObject* parent)
    : RowCycle(BusOperation::Scan, AddressRange(first, last), std::make_unique<ScanStrategy>(page, useSndNke, use5B),
               retries, parent) {}

} // namespace veltro
