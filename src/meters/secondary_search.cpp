#include "meters/secondary_search.h"

#include "link/communication_log.h"
#include "link/link_facade.h"
#include "mbus/constants.h"
#include "mbus/frames.h"
#include "meters/meter_page.h"

namespace veltro {

SecondarySearch::SecondarySearch(MeterPage& page, Options options, QObject* parent)
    : Operation(BusOperation::SecondarySearch, CollectTexts::Generic(), parent), m_page(page),
      m_options(std::move(options)), m_retries(m_options.retries) {
    m_poll.setTimerType(Qt::PreciseTimer);
    m_poll.setInterval(kMailboxPollMilliseconds);
    connect(&m_poll, &QTimer::timeout, this, &SecondarySearch::drain);
}

SecondarySearch::~SecondarySearch() {
    // Never left running: the worker would wait for a main thread that is gone.
    m_mailbox.cancel();
    m_worker.reset();
}

void SecondarySearch::start() {
    m_elapsed.start();
    int rest = 0;
    if (m_options.globalInit) {
        link().sendReset(kBroadcastNoReply);
        rest = MeterPage::kGlobalInitWaitMilliseconds;
    }
    link().emptyReceiveBuffers();
    SecondaryIDThread::Options worker;
    worker.direction = m_options.direction;
    worker.globalInitWait = rest;
    worker.decode = m_options.decode;
    m_worker = std::make_unique<SecondaryIDThread>(m_mailbox, m_retries, std::move(worker));
    m_poll.start();
}

void SecondarySearch::stop() {
    m_stoppedByOperator = true;
    m_mailbox.requestStop();
}

void SecondarySearch::judge(const Telegram& received) {
    link().emptyReceiveBuffers();
    m_mailbox.reply({received, false});
}

void SecondarySearch::linkLost(const Telegram& received) {
    m_linkLost = true;
    m_mailbox.reply({received, true});
}

void SecondarySearch::drain() {
    std::vector<WorkerRequest> requests = m_mailbox.takeAll();
    for (WorkerRequest& request : requests) perform(request, true);
    if (!m_workerEnded) return;
    finish(m_linkLost ? OperationOutcome::LinkFailed
           : m_stoppedByOperator ? OperationOutcome::Stopped
                                 : OperationOutcome::Completed);
}

void SecondarySearch::perform(WorkerRequest& request, bool linkHeld) {
    switch (request.kind) {
    case WorkerRequest::Kind::Log: log().append(QString::fromLatin1(request.text.data(), static_cast<qsizetype>(request.text.size()))); return;
    case WorkerRequest::Kind::Select:
        if (linkHeld) transmit({std::move(request.telegram), SendKind::Telegram, {}});
        return;
    case WorkerRequest::Kind::Read:
        if (linkHeld) transmit({BuildReqUd2(kSecondaryAddress, m_options.use5B), SendKind::ReadRequest, {}});
        return;
    case WorkerRequest::Kind::Place: m_page.placeSearchAnswer(request.telegram); return;
    case WorkerRequest::Kind::Progress: emit progressed(request.progress); return;
    case WorkerRequest::Kind::Ended:
        m_statistics = request.statistics;
        m_workerEnded = true;
        return;
    }
}

void SecondarySearch::cleanUp(OperationOutcome) {
    m_poll.stop();
    if (!m_worker) return;  // the link was never had: nothing started
    // A close or a stop before the worker's end: its waits end now, and what it said so far is kept.
    m_mailbox.cancel();
    m_worker->join();
    m_worker.reset();
    for (WorkerRequest& request : m_mailbox.takeAll()) perform(request, false);
    m_elapsedMs = m_elapsed.elapsed();
    log().append(QString::fromStdString(SecondaryIDThread::kTerminated));
}

} // namespace veltro
