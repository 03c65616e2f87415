#pragma once

#include <atomic>
#include <memory>

#include <QElapsedTimer>
#include <QTimer>

#include "link/operation.h"
#include "meters/secondary_id_thread.h"

namespace veltro {

class MeterPage;

// The wildcard search over secondary addresses. Its descent runs on `SecondaryIDThread`; this side,
// on the main thread, does what the worker asks in the order it asks: log lines, the selections and
// reads with their windows, the placement of confirmed meters, the progress. It holds the bus from
// the global SND_NKE to the worker's end.
class SecondarySearch final : public Operation {
    Q_OBJECT

public:
    // How often the main thread looks into the mailbox while the search runs.
    static constexpr int kMailboxPollMilliseconds = 2;

    struct Options {
        SearchDirection direction = SearchDirection::MsbFirst;
        bool globalInit = false;
        bool use5B = false;
        int retries = 0;
        DecodeSettings decode;
    };

    SecondarySearch(MeterPage& page, Options options, QObject* parent = nullptr);
    ~SecondarySearch() override;

    // "Stop secondary": the probe in progress finishes its window, then the worker ends.
    void stop() override;
    // "Retries" as the operator changes it; the worker reads it at each probe.
    void setRetries(int retries) { m_retries.store(retries); }
    // Valid once the search has ended.
    const SearchStatistics& statistics() const { return m_statistics; }
    qint64 elapsedMilliseconds() const { return m_elapsedMs; }

signals:
    void progressed(int position);

protected:
    void start() override;
    void judge(const Telegram& received) override;
    void linkLost(const Telegram& received) override;
    void cleanUp(OperationOutcome outcome) override;

private:
    void drain();
    // Performs one request; exchanges only while the link is held.
    void perform(WorkerRequest& request, bool linkHeld);

    MeterPage& m_page;
    Options m_options;
    SearchMailbox m_mailbox;
    std::atomic<int> m_retries;
    std::unique_ptr<SecondaryIDThread> m_worker;
    QTimer m_poll;
    QElapsedTimer m_elapsed;
    qint64 m_elapsedMs = 0;
    SearchStatistics m_statistics;
    bool m_workerEnded = false;
    bool m_stoppedByOperator = false;
    bool m_linkLost = false;
};

} // namespace veltro
