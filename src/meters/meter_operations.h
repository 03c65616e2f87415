#pragma once

#include <functional>
#include <optional>

#include <QString>

#include "link/operation_shapes.h"
#include "meters/meter_table.h"

namespace veltro {

class MeterPage;

// One meter, `Timer_respond`: REQ_UD2 (after a SND_NKE with "Use SND_NKE", or after a configuration
// telegram), the acknowledge, the decode, the read-back and the further telegrams of a meter that
// announces more records.
class SingleRead : public StepSequence {
    Q_OBJECT

public:
    // A meter whose every telegram announces more is not followed for ever.
    static constexpr int kMostFurtherTelegrams = 16;
    static inline const QString kFurtherTelegramsStopped =
        QStringLiteral("The meter announces still more telegrams; stopped after 16...");

    struct Request {
        QString addressText;               // the selected address, for "No response from address "
        std::optional<int> target;         // the selected meter's primary address
        bool broadcast = false;            // requests go to 254
        bool useSndNke = false;
        bool fullRead = false;
        bool multiTelegram = false;
        bool use5B = false;
        std::optional<Telegram> configuration;  // sent first instead of the read
        SendKind configurationKind = SendKind::Telegram;
        bool readBack = false;                  // the configured meter is read once it acknowledged
        bool nothingSelected = false;
        BusOperation kind = BusOperation::SingleRead;  // Configuration for a configuration telegram
        QString refusalAfterAcquire;  // logged once the link is had, and nothing is sent
    };

    SingleRead(MeterPage& page, Request request, QObject* parent = nullptr);

protected:
    void start() override;

private:
    Verdict reply(const Telegram& received);
    std::optional<Outgoing> readAt(std::optional<int> address) const;

    MeterPage& m_page;
    Request m_request;
    std::optional<int> m_followUp;  // where reads after the first go: 254 on broadcast, else the target
    bool m_resetAnswered = false;   // one acknowledge of the SND_NKE leads to one read
    int m_furtherTelegrams = 0;
};

// `Timer_secondary`: one meter chosen by its identification. The selection goes out; its acknowledge
// leads to the `configuration` telegram to 253 when there is one (the address change), whose
// acknowledge leads to one REQ_UD2 to 253; the answer is decoded and placed by ID, and a SND_NKE to 253
// deselects the meter and ends. Whatever the configuration is belongs to this operation alone.
class SecondarySelection : public StepSequence {
    Q_OBJECT

public:
    SecondarySelection(MeterPage& page, std::string identification, std::optional<Outgoing> configuration = {},
                       BusOperation kind = BusOperation::SecondarySelection, QObject* parent = nullptr);

    // Whether the selected meter answered its read with a valid telegram.
    bool meterRead() const { return m_meterRead; }
    // Whether the meter acknowledged its selection.
    bool meterSelected() const { return m_meterSelected; }

private:
    Verdict selected(const Telegram& received);
    Verdict configured(const Telegram& received);
    Verdict answered(const Telegram& received);
    Verdict deselect();

    MeterPage& m_page;
    std::string m_identification;
    bool m_deselecting = false;
    bool m_meterRead = false;
    bool m_meterSelected = false;
};

// Reads every target's meter by REQ_UD2; a reply that fails the checks or silence is asked again.
// The selected-rows cycle (mode 4) and the read-all cycle.
class MeterReadStrategy : public RowStrategy {
public:
    MeterReadStrategy(MeterPage& page, bool use5B) : m_page(page), m_use5B(use5B) {}
    std::optional<Outgoing> request(const RowTarget& target, int index, int attempt) override;
    Verdict judge(const Telegram& received, const RowTarget& target) override;
    // A meter left unread in a cycle is named in the log, as a single read names it.
    void passedOver(const RowTarget& target) override;

private:
    MeterPage& m_page;
    bool m_use5B;
};

// A configuration batch (baud, pulse width, unit, medium): each target's telegram from `build`, judged
// as a read: only a valid meter answer counts, a lone acknowledge is asked again.
class ConfigurationStrategy final : public MeterReadStrategy {
public:
    using Builder = std::function<std::optional<Outgoing>(const RowTarget& target)>;
    ConfigurationStrategy(MeterPage& page, Builder build) : MeterReadStrategy(page, false), m_build(std::move(build)) {}
    std::optional<Outgoing> request(const RowTarget& target, int index, int attempt) override;

private:
    Builder m_build;
};

// `Timer_readall`: every row of the table from the first, rows without a meter address passed over.
class ReadAllCycle final : public RowCycle {
    Q_OBJECT

public:
    ReadAllCycle(MeterPage& page, std::vector<RowTarget> rows, int retries, bool use5B, QObject* parent = nullptr);
};

// The primary scan: REQ_UD2 (or SND_NKE, then REQ_UD2 after its acknowledge) to each address of a
// range, found meters appended to the table.
class PrimaryScan final : public RowCycle {
    Q_OBJECT

public:
    static inline const QString kTableFullMessage = QStringLiteral("Table is full, no more rows can be added...");

    PrimaryScan(MeterPage& page, int first, int last, int retries, bool useSndNke, bool use5B,
                QObject* parent = nullptr);
};

} // namespace veltro
