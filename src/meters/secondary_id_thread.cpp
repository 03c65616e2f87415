#include "meters/secondary_id_thread.h"

#include <algorithm>
#include <chrono>

#include "mbus/frames.h"

namespace veltro {
namespace {

std::string UnknownException(int code) {
    return "Unknown exception in secondary search, code #" + std::to_string(code) + "...";
}

} // namespace

// ---- mailbox -------------------------------------------------------------------------------------

void SearchMailbox::post(WorkerRequest request) {
    std::lock_guard lock(m_mutex);
    m_requests.push_back(std::move(request));
}

std::optional<WindowReply> SearchMailbox::exchange(WorkerRequest request) {
    std::unique_lock lock(m_mutex);
    if (m_cancelled) return std::nullopt;
    m_reply.reset();
    m_requests.push_back(std::move(request));
    m_changed.wait(lock, [this] { return m_cancelled || m_reply.has_value(); });
    if (!m_reply) return std::nullopt;
    std::optional<WindowReply> reply = std::move(m_reply);
    m_reply.reset();
    return reply;
}

bool SearchMailbox::sleepFor(int milliseconds) {
    std::unique_lock lock(m_mutex);
    return !m_changed.wait_for(lock, std::chrono::milliseconds(milliseconds),
                               [this] { return m_cancelled || m_stop.load(); });
}

std::vector<WorkerRequest> SearchMailbox::takeAll() {
    std::lock_guard lock(m_mutex);
    std::vector<WorkerRequest> taken(std::make_move_iterator(m_requests.begin()), std::make_move_iterator(m_requests.end()));
    m_requests.clear();
    return taken;
}

void SearchMailbox::reply(WindowReply reply) {
    {
        std::lock_guard lock(m_mutex);
        m_reply = std::move(reply);
    }
    m_changed.notify_all();
}

void SearchMailbox::requestStop() {
    {
        std::lock_guard lock(m_mutex);
        m_stop.store(true);
    }
    m_changed.notify_all();
}

void SearchMailbox::cancel() {
    {
        std::lock_guard lock(m_mutex);
        m_cancelled = true;
        m_stop.store(true);
    }
    m_changed.notify_all();
}

// ---- worker --------------------------------------------------------------------------------------

SecondaryIDThread::SecondaryIDThread(SearchMailbox& mailbox, const std::atomic<int>& retries, Options options)
    : m_mailbox(mailbox), m_retries(retries), m_options(std::move(options)) {
    m_thread = std::thread([this] { execute(); });
}

SecondaryIDThread::~SecondaryIDThread() { join(); }

void SecondaryIDThread::join() {
    if (m_thread.joinable()) m_thread.join();
}

void SecondaryIDThread::log(std::string text) {
    WorkerRequest request;
    request.text = std::move(text);
    m_mailbox.post(std::move(request));
}

void SecondaryIDThread::execute() noexcept {
    try {
        search();
    } catch (...) {
        // Whatever escaped the guarded steps below ends the search like a failure of its first level.
        try {
            log(UnknownException(1000));
        } catch (...) {
        }
    }
    // The worker's last word: the main thread ends the search once it takes it.
    try {
        m_mailbox.requestStop();
        WorkerRequest ended;
        ended.kind = WorkerRequest::Kind::Ended;
        ended.statistics = m_statistics;
        m_mailbox.post(std::move(ended));
    } catch (...) {
    }
}

void SecondaryIDThread::search() {
    // The meters rest after the global reset before the first selection.
    if (m_options.globalInitWait > 0) m_mailbox.sleepFor(m_options.globalInitWait);

    SearchDescent descent = StartDescent(m_options.direction, m_retries.load());
    int progress = descent.progress;
    Telegram answer;  // the last wildcard answer, placed once its meter confirms
    while (true) {
        descent.retries = std::max(0, m_retries.load());
        if (m_mailbox.stopRequested()) descent = StopDescent(std::move(descent));
        std::optional<SearchProbe> next;
        try {
            next = NextProbe(descent);
        } catch (...) {
            log(UnknownException(1000));
            return;
        }
        if (!next) return;

        bool linkLost = false;
        const ProbeOutcome outcome = probe(*next, answer, linkLost);
        if (linkLost) return;

        DescentStep step = AdvanceDescent(descent, outcome);
        for (auto& line : step.log) {
            ++m_statistics.collisions;
            log(std::move(line));
        }
        if (step.meterFound) {
            ++m_statistics.found;
            WorkerRequest place;
            place.kind = WorkerRequest::Kind::Place;
            place.telegram = std::move(answer);
            m_mailbox.post(std::move(place));
        }
        descent = std::move(step.descent);
        if (descent.progress != progress) {
            progress = descent.progress;
            WorkerRequest moved;
            moved.kind = WorkerRequest::Kind::Progress;
            moved.progress = progress;
            m_mailbox.post(std::move(moved));
        }
    }
}

// One probe: the selection, and when anything answered a wildcard mask, the read of the selected meter.
// `answer` keeps the read's bytes for the placement once the meter is confirmed.
ProbeOutcome SecondaryIDThread::probe(const SearchProbe& probe, Telegram& answer, bool& linkLost) {
    log(probe.log);
    WorkerRequest selection;
    selection.kind = WorkerRequest::Kind::Select;
    selection.telegram = probe.frame;
    ++m_statistics.probes;
    std::optional<WindowReply> selected;
    try {
        selected = m_mailbox.exchange(std::move(selection));
    } catch (...) {
        log(UnknownException(1001));
    }
    if (!selected || selected->linkLost) {
        linkLost = true;
        return {};
    }
    if (probe.kind == ProbeKind::Confirm)
        return {IsAcknowledge(selected->received) ? ProbeOutcome::Kind::Answered : ProbeOutcome::Kind::Silent, {}};
    if (selected->received.empty()) return {};

    WorkerRequest read;
    read.kind = WorkerRequest::Kind::Read;
    ++m_statistics.reads;
    std::optional<WindowReply> reply;
    try {
        reply = m_mailbox.exchange(std::move(read));
    } catch (...) {
        log(UnknownException(1002));
        reply = WindowReply{};  // the read goes on with nothing collected
    }
    if (!reply || reply->linkLost) {
        linkLost = true;
        return {};
    }
    try {
        const MeterResponse decoded = DecodeMeterResponse(reply->received, m_options.decode);
        for (const auto& line : decoded.log) log(line);
        if (!decoded.valid || !decoded.header) return {ProbeOutcome::Kind::Collision, {}};
        answer = std::move(reply->received);
        return {ProbeOutcome::Kind::Answered, decoded.header->id};
    } catch (...) {
        log(UnknownException(1003));
        return {ProbeOutcome::Kind::Collision, {}};
    }
}

} // namespace veltro
