#include "meters/meter_engine.h"

#include <QCoreApplication>
#include <QDate>
#include <QTime>

#include "app/live_settings.h"
#include "app/local_time_text.h"
#include "app/operator_interface.h"
#include "link/communication_log.h"
#include "mbus/address.h"
#include "mbus/frames.h"
#include "mbus/link_facade.h"

namespace veltro {
namespace {

QString Latin1(const std::string& text) { return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())); }

std::vector<std::string> TitlesOf(const AdditionalTitles& titles) {
    std::vector<std::string> result;
    for (int k = 0; k < titles.count && k < kAdditionalTitleCount; ++k) result.push_back(titles.titles[static_cast<std::size_t>(k)]);
    return result;
}

} // namespace

MeterEngine::MeterEngine(LinkFacade& link, BusArbiter& bus, CommunicationLog& log, LiveSettings& settings,
                         OperatorInterface& operatorInterface, QObject* parent)
    : QObject(parent), m_link(link), m_bus(bus), m_log(log), m_settings(settings), m_operator(operatorInterface),
      m_table(settings.mainWindow().titles.count, settings.language(), TitlesOf(settings.mainWindow().titles)) {
    // Precise timers: the response window is the pace of every cycle, and coarse ones may run 5 % late.
    for (QTimer* timer : {&m_respondTimer, &m_readallTimer, &m_setTimer}) timer->setTimerType(Qt::PreciseTimer);
    connect(&m_respondTimer, &QTimer::timeout, this, &MeterEngine::Timer_respondTimer);
    connect(&m_readallTimer, &QTimer::timeout, this, &MeterEngine::Timer_readallTimer);
    connect(&m_setTimer, &QTimer::timeout, this, &MeterEngine::Timer_setTimer);
    setResponseWindow(settings.responseWindow());
    connect(&settings, &LiveSettings::responseWindowChanged, this, &MeterEngine::setResponseWindow);
    updateCaptions();
}

void MeterEngine::setResponseWindow(int milliseconds) {
    const int interval = std::max(1, milliseconds);
    for (QTimer* timer : {&m_respondTimer, &m_readallTimer, &m_setTimer}) timer->setInterval(interval);
}

bool MeterEngine::italian() const { return m_settings.language() == Language::Italian; }

int MeterEngine::retries() const { return m_settings.settings().misc.retry; }

void MeterEngine::updateCaptions() {
    m_page.findCaption = m_scanActive ? QStringLiteral("Stop") : (italian() ? QStringLiteral("Cerca") : QStringLiteral("Find"));
    m_page.readAllCaption = italian() ? QStringLiteral("Leggi tutti i dispositivi") : QStringLiteral("Read all meters");
}

void MeterEngine::applyLanguage() {
    m_table.setHeader(m_settings.language(), TitlesOf(m_settings.mainWindow().titles));
    updateCaptions();
    emit tableChanged();
    emitPage();
}

void MeterEngine::applyTitles() {
    m_table.setAdditionalCount(m_settings.mainWindow().titles.count, TitlesOf(m_settings.mainWindow().titles));
    m_table.setHeader(m_settings.language(), TitlesOf(m_settings.mainWindow().titles));
    emit tableChanged();
}

bool MeterEngine::claimBus(BusOperation operation) {
    if (m_bus.claim(operation)) return true;
    m_log.append(BusArbiter::kBusyMessage);
    return false;
}

bool MeterEngine::refuseWhenBusy() {
    if (m_bus.idle()) return false;
    m_log.append(BusArbiter::kBusyMessage);
    return true;
}

void MeterEngine::endOperation() {
    const BusOperation ended = m_bus.current();
    m_bus.release();
    // Flags an operation set never outlive it, however it ends.
    m_readBackPending = false;
    m_fullReadRequested = false;
    m_moreRecordsPending = false;
    m_scanActive = false;
    if (ended != BusOperation::None) emit operationEnded(ended);
}

void MeterEngine::releaseLink() {
    m_fullReadRequested = false;
    m_link.releaseLink();
}

std::optional<int> MeterEngine::targetAddress() const {
    return ParseTargetAddress(m_table.selectedAddress(), 0, kLastMeterAddress);
}

DecodeSettings MeterEngine::decodeSettings() const {
    DecodeSettings s;
    s.fullRead = m_fullReadRequested;
    s.additionalCount = m_settings.mainWindow().titles.count;
    s.decodeApator = m_settings.settings().misc.decodeApator;
    const QString mark = m_locale.decimalPoint();
    s.decimalSeparator = mark.size() == 1 && mark[0].unicode() < 0x80 ? static_cast<char>(mark[0].unicode()) : '.';
    s.localTime = LongTimeText(QTime::currentTime(), m_locale).toStdString();
    s.localDate = ShortDateText(QDate::currentDate(), m_locale).toStdString();
    return s;
}

bool MeterEngine::decodeAndApply(const Telegram& response) {
    const MeterResponse decoded = DecodeMeterResponse(response, decodeSettings());
    for (const auto& line : decoded.log) m_log.append(Latin1(line));
    m_moreRecordsPending = decoded.moreRecordsPending;
    if (!decoded.report.log.empty() || !decoded.report.rows.empty()) {
        m_report.append(decoded.report);
        emit reportChanged();
    }
    if (decoded.showReport) emit reportShown();
    if (decoded.tableRow) {
        const Placement placement =
            m_scanActive ? Placement::Append : m_secondaryAppend ? Placement::ById : Placement::ByPrimaryAddress;
        if (!m_table.place(*decoded.tableRow, placement).empty()) emit tableChanged();
    }
    return decoded.valid;
}

// ---- single reads ------------------------------------------------------------------------------

void MeterEngine::readSelected() {
    if (refuseWhenBusy()) {
        m_fullReadRequested = false;
        return;
    }
    if (!m_link.acquireLink()) {
        m_fullReadRequested = false;
        return;
    }
    const std::vector<int> selected = m_table.selectedRows();
    if (selected.empty()) {
        m_log.append(QStringLiteral("Nothing selected from the table..."));
        m_fullReadRequested = false;
        return;
    }
    if (selected.size() > 1) {
        startSelectedRows(4);
        return;
    }
    std::optional<int> address = m_broadcast ? std::optional<int>(kBroadcastWithReply) : targetAddress();
    if (!address) {
        m_fullReadRequested = false;
        return;  // "256" or not a number: nothing is sent
    }
    m_bus.claim(BusOperation::SingleRead);
    if (m_useSndNke)
        m_link.sendReset(*address);
    else
        m_link.sendReadRequest(*address);
    m_scanActive = false;
    m_respondTimer.start();
}

void MeterEngine::fullRead() {
    if (refuseWhenBusy()) return;
    m_fullReadRequested = true;
    readSelected();
}

bool MeterEngine::sendConfiguration(const Telegram& telegram, bool readBack) {
    if (!claimBus(BusOperation::SingleRead)) return false;
    m_link.sendTelegram(telegram);
    m_readBackPending = readBack;
    m_scanActive = false;
    m_respondTimer.start();
    return true;
}

void MeterEngine::Timer_respondTimer() {
    const Collected collected = m_link.collectReceived(CollectTexts::Generic());
    if (collected.wait) return;
    const Telegram& received = collected.bytes;

    if (received.empty()) {
        if (m_scanActive) {
            scanRetry();
            return;
        }
        m_log.append(QStringLiteral("No response from address ") + QString::fromStdString(m_table.selectedAddress()));
        m_respondTimer.stop();
        // The link stays acquired on this path, as the operator may retry at once.
        endOperation();
        return;
    }

    if (IsAcknowledge(received)) {
        m_log.append(QStringLiteral("0xE5 (Acknowledge) 1"));
        if (m_useSndNke) {
            if (m_scanActive) {
                m_link.emptyReceiveBuffers();
                m_link.sendReadRequest(m_scanAddress);
                m_log.append(QStringLiteral("Reading device ") + QString::number(m_scanAddress));
                return;
            }
            if (const auto address = targetAddress()) {
                m_link.sendReadRequest(*address);
                return;
            }
        }
        respondCompletion();
        return;
    }

    const bool valid = decodeAndApply(received);
    if (m_scanActive && !valid) {
        scanRetry();
        return;
    }
    respondCompletion();
}

void MeterEngine::respondCompletion() {
    if (m_scanActive) {
        scanAdvance();
        return;
    }
    const int followUp = m_broadcast ? kBroadcastWithReply : targetAddress().value_or(-1);
    if (m_readBackPending) {
        m_link.emptyReceiveBuffers();
        m_readBackPending = false;
        if (followUp >= 0) {
            m_link.sendReadRequest(followUp);
            return;
        }
    } else if (m_moreRecordsPending && m_settings.settings().misc.multitelegram) {
        m_link.purgeSerialInput();
        m_moreRecordsPending = false;
        if (followUp >= 0) {
            m_link.sendReadRequest(followUp);
            return;
        }
    }
    m_respondTimer.stop();
    releaseLink();
    endOperation();
}

// ---- primary scan -------------------------------------------------------------------------------

void MeterEngine::findPrimary(std::optional<int> from, std::optional<int> to, bool startedByGateway) {
    if (m_scanActive) {
        stopScan();
        return;
    }
    if (!from || !to) return;
    if (refuseWhenBusy()) return;
    if (!startedByGateway) {
        const OperatorInterface::Answer answer =
            italian() ? m_operator.question(QStringLiteral("Conferma cancellazione"), QStringLiteral("Vuoi cancellare la tabella?"),
                                            OperatorInterface::Buttons::YesNoCancel)
                      : m_operator.question(QStringLiteral("Clear confirmation"), QStringLiteral("Do you want to clear the table?"),
                                            OperatorInterface::Buttons::YesNoCancel);
        if (answer == OperatorInterface::Answer::Cancel) return;
        if (answer == OperatorInterface::Answer::Yes) {
            m_table.clear();
            emit tableChanged();
        }
    } else {
        m_table.clear();
        emit tableChanged();
    }
    if (!m_link.acquireLink()) return;
    m_bus.claim(BusOperation::Scan);

    int first = std::clamp(*from, 0, kLastScanAddress);
    int last = std::clamp(*to, 0, kLastScanAddress);
    if (first > last) {
        std::swap(first, last);
        MainWindowState state = m_settings.mainWindow();
        state.searchFrom = first;
        state.searchTo = last;
        m_settings.setMainWindow(state);
        emit scanRangeChanged(first, last);
    }
    m_scanAddress = first;
    m_scanLast = last;

    if (m_settings.settings().misc.globalInit) {
        m_link.sendReset(kBroadcastNoReply);
        // The meters need this long after a global reset; socket events are still delivered meanwhile.
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < kGlobalInitWaitMilliseconds)
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
    }
    sendScanRequest(false);
    m_scanRetries = 0;
    m_scanActive = true;
    updateCaptions();
    setCommandsForScan(false);
    setProgress(0, last - first, 0, true);
    m_readallTimer.stop();
    m_respondTimer.start();
}

void MeterEngine::stopScan() {
    if (m_scanActive) endScan();
}

void MeterEngine::sendScanRequest(bool withReadingLine) {
    if (m_useSndNke) {
        m_link.sendReset(m_scanAddress);
        return;
    }
    m_link.sendReadRequest(m_scanAddress);
    if (withReadingLine) m_log.append(QStringLiteral("Reading device ") + QString::number(m_scanAddress));
}

void MeterEngine::scanRetry() {
    ++m_scanRetries;
    if (m_scanRetries <= retries()) {
        m_link.emptyReceiveBuffers();
        sendScanRequest(true);
        return;
    }
    scanAdvance();
}

void MeterEngine::scanAdvance() {
    ++m_scanAddress;
    m_scanRetries = 0;
    if (m_scanAddress > m_scanLast) {
        endScan();
        return;
    }
    m_link.emptyReceiveBuffers();
    sendScanRequest(true);
    if (m_page.progress.position < m_page.progress.maximum) {
        ++m_page.progress.position;
        emitPage();
    }
}

void MeterEngine::endScan() {
    m_respondTimer.stop();
    m_scanActive = false;
    updateCaptions();
    setCommandsForScan(true);
    resetProgress();
    releaseLink();
    endOperation();
}

void MeterEngine::setCommandsForScan(bool enabled) {
    m_page.readAllEnabled = enabled;
    m_page.readOnceEnabled = enabled;
    m_page.advancedEnabled = enabled;
    m_page.findIdEnabled = enabled;
    m_page.findAllEnabled = enabled;
    m_page.commandSendEnabled = enabled;
    m_page.autoAddressEnabled = enabled;
    emitPage();
}

void MeterEngine::setCommandsForReadAll(bool enabled) {
    m_page.searchGroupEnabled = enabled;
    m_page.advancedEnabled = enabled;
    m_page.commandSendEnabled = enabled;
    m_page.autoAddressEnabled = enabled;
    m_page.readOnceEnabled = enabled;
    emitPage();
}

void MeterEngine::setProgress(int minimum, int maximum, int position, bool visible) {
    m_page.progress = {minimum, maximum, position, visible};
    emitPage();
}

void MeterEngine::resetProgress() { setProgress(m_page.progress.minimum, m_page.progress.maximum, 0, false); }

// ---- read-all cycle ----------------------------------------------------------------------------

void MeterEngine::readAll() {
    if (m_table.rowCount() == 2 && m_table.cell(1, MeterTable::kAddressColumn).empty()) return;
    if (refuseWhenBusy()) return;
    if (!m_link.acquireLink()) return;
    m_bus.claim(BusOperation::ReadAll);
    m_readRow = 1;
    m_scanRetries = 0;
    setCommandsForReadAll(false);
    sendReadAllRequest();
    m_readallTimer.start();
    setProgress(1, std::max(2, m_table.rowCount() - 1), 1, true);
}

void MeterEngine::sendReadAllRequest() {
    // A row without a meter address ("256", empty, text) sends nothing: 256 would otherwise reach address 0.
    if (const auto address = MeterTable::AddressOf(m_table.cell(m_readRow, MeterTable::kAddressColumn)))
        m_link.sendReadRequest(*address);
}

void MeterEngine::Timer_readallTimer() {
    const Collected collected = m_link.collectReceived(CollectTexts::Cycle());
    if (collected.wait) return;
    // What was collected is judged now; a row passed over without a request must not see it again.
    m_link.emptyReceiveBuffers();
    m_scanActive = false;
    m_secondaryAppend = false;
    const Telegram& received = collected.bytes;
    const bool hasAddress = MeterTable::AddressOf(m_table.cell(m_readRow, MeterTable::kAddressColumn)).has_value();

    bool advance = false;
    if (received.size() < 2) {
        ++m_scanRetries;
        advance = m_scanRetries > retries();
    } else if (decodeAndApply(received)) {
        advance = true;
    } else {
        ++m_scanRetries;
        if (!hasAddress) m_scanRetries = retries() + 1;
        advance = m_scanRetries > retries();
    }
    if (!advance) {
        m_link.purgeSerial();
        m_link.emptyReceiveBuffers();
        sendReadAllRequest();
        return;
    }

    ++m_readRow;
    if (m_readRow >= m_table.rowCount()) {
        endReadAll();
        return;
    }
    if (MeterTable::AddressOf(m_table.cell(m_readRow, MeterTable::kAddressColumn))) {
        m_link.purgeSerial();
        m_link.emptyReceiveBuffers();
        sendReadAllRequest();
        m_scanRetries = 0;
    } else {
        m_scanRetries = retries() + 1;  // passed over on the next tick
    }
    if (m_page.progress.position < m_page.progress.maximum - 1) {
        ++m_page.progress.position;
        emitPage();
    }
}

void MeterEngine::endReadAll() {
    m_readallTimer.stop();
    setCommandsForReadAll(true);
    updateCaptions();
    resetProgress();
    releaseLink();
    endOperation();
}

// ---- selected-rows cycle -----------------------------------------------------------------------

bool MeterEngine::startSelectedRows(int batchMode, std::function<std::optional<Telegram>(int address)> telegramFor) {
    if (refuseWhenBusy()) return false;
    const std::vector<int> selected = m_table.selectedRows();
    if (selected.empty()) return false;
    m_bus.claim(BusOperation::SelectedRows);
    m_batchMode = batchMode;
    m_batchTelegram = std::move(telegramFor);
    m_batchRow = selected.front();
    m_scanRetries = 0;
    m_page.searchGroupEnabled = false;
    m_page.advancedEnabled = false;
    sendBatchTelegram();
    setProgress(1, static_cast<int>(selected.size()) + 1, 1, true);
    m_setTimer.start();
    return true;
}

void MeterEngine::sendBatchTelegram() {
    const auto address = MeterTable::AddressOf(m_table.cell(m_batchRow, MeterTable::kAddressColumn));
    if (!address) return;  // a row without a meter address sends nothing
    if (!m_batchTelegram) {
        m_link.sendReadRequest(*address);
        return;
    }
    if (const auto telegram = m_batchTelegram(*address)) m_link.sendTelegram(*telegram);
}

void MeterEngine::Timer_setTimer() {
    const Collected collected = m_link.collectReceived(CollectTexts::Cycle());
    if (collected.wait) return;
    m_link.emptyReceiveBuffers();
    m_scanActive = false;
    const Telegram& received = collected.bytes;
    bool answered = false;
    if (received.size() > 1) answered = decodeAndApply(received);
    if (!answered) {
        ++m_scanRetries;
        if (m_scanRetries <= retries()) {
            sendBatchTelegram();
            return;
        }
    }
    batchAdvance();
}

void MeterEngine::batchAdvance() {
    m_scanRetries = 0;
    int next = m_batchRow + 1;
    while (next < m_table.rowCount() && !m_table.rowSelected(next)) ++next;
    if (next >= m_table.rowCount()) {
        endBatch();
        return;
    }
    m_batchRow = next;
    sendBatchTelegram();
    ++m_page.progress.position;
    emitPage();
}

void MeterEngine::endBatch() {
    m_setTimer.stop();
    m_batchMode = 0;
    m_batchTelegram = {};
    m_page.searchGroupEnabled = true;
    m_page.advancedEnabled = true;
    updateCaptions();
    resetProgress();
    releaseLink();
    endOperation();
}

} // namespace veltro
