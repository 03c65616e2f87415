#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "decode/meter_response.h"
#include "meters/search_descent.h"
#include "mbus/telegram.h"

namespace veltro {

// What the wildcard search counted, for the command-line tool's report and the benchmark.
struct SearchStatistics {
    int probes = 0;      // selection telegrams, confirmations included
    int reads = 0;       // REQ_UD2 to 253
    int collisions = 0;  // "Collision" lines
    int found = 0;       // meters placed
};

// What the worker asks of the main thread, in the order it asks. Nothing of the window or of the link
// is touched by the worker itself: the main thread performs these one after the other.
struct WorkerRequest {
    enum class Kind {
        Log,        // `text` goes to the communication log
        Select,     // `telegram` (a selection) goes out; the reply is what the window collected
        Read,       // REQ_UD2 to 253; the reply likewise
        Place,      // `telegram`, a confirmed meter's answer, is placed in the table by its ID
        Progress,   // `ProgressBar1` takes `progress`
        Ended,      // the worker is done; `statistics` is final
    };
    Kind kind = Kind::Log;
    std::string text;
    Telegram telegram;
    int progress = 0;
    SearchStatistics statistics;
};

// What a window brought back to the worker.
struct WindowReply {
    Telegram received;
    bool linkLost = false;  // nothing to collect from: the search ends
};

// The hand-off between the worker and the main thread: requests one way, window replies the other,
// and the stop flag. The worker blocks only here; the main thread never blocks on it.
class SearchMailbox {
public:
    // Worker side.
    void post(WorkerRequest request);
    // Posts an exchange and waits for its reply; nothing once the main thread has cancelled.
    std::optional<WindowReply> exchange(WorkerRequest request);
    // Sleeps `milliseconds` or until a stop or a cancel; false when cut short.
    bool sleepFor(int milliseconds);

    // Main thread side.
    std::vector<WorkerRequest> takeAll();
    void reply(WindowReply reply);
    // "Stop secondary": no further probe.
    void requestStop();
    bool stopRequested() const { return m_stop.load(); }
    // The program closes: every wait of the worker ends now, without a reply.
    void cancel();

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<WorkerRequest> m_requests;
    std::optional<WindowReply> m_reply;
    bool m_cancelled = false;
    std::atomic<bool> m_stop{false};
};

// `SecondaryIDThread`: the wildcard descent on its own thread, started fresh for each search. It
// decides the probes, judges their replies and decodes the meters' answers (pure); the main thread
// sends, collects and writes the log and the table.
class SecondaryIDThread {
public:
    struct Options {
        SearchDirection direction = SearchDirection::MsbFirst;
        int globalInitWait = 0;  // milliseconds of rest after the global SND_NKE, the first sleep
        DecodeSettings decode;   // taken at the start; validity and ID do not depend on the clock
    };

    SecondaryIDThread(SearchMailbox& mailbox, const std::atomic<int>& retries, Options options);
    ~SecondaryIDThread();  // joins: call only once the mailbox is cancelled or `Ended` was taken
    SecondaryIDThread(const SecondaryIDThread&) = delete;
    SecondaryIDThread& operator=(const SecondaryIDThread&) = delete;

    void join();

    static inline const std::string kTerminated = "Secondary search thread terminated normally.";

private:
    void execute() noexcept;
    void search();
    ProbeOutcome probe(const SearchProbe& probe, Telegram& answer, bool& linkLost);
    void log(std::string text);

    SearchMailbox& m_mailbox;
    const std::atomic<int>& m_retries;
    Options m_options;
    SearchStatistics m_statistics;
    std::thread m_thread;
};

} // namespace veltro
