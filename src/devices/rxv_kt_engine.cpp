#include "devices/rxv_kt_engine.h"

#include "app/live_settings.h"
#include "app/local_time_text.h"
#include "devices/display_answers.h"
#include "link/communication_log.h"
#include "link/link_facade.h"
#include "link/operation_runner.h"
#include "meters/meter_table.h"

namespace veltro {
namespace {

QString Text(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

Outgoing ReceiverOutgoing(const std::string& bytes) {
    return {Telegram(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size())),
            SendKind::ReceiverCommand, {}};
}

QByteArray Bytes(const Telegram& received) {
    return QByteArray(reinterpret_cast<const char*>(received.data()), static_cast<qsizetype>(received.size()));
}

// The receiver's answer into the log, line by line as it came.
void LogAnswer(CommunicationLog& log, const Telegram& received) {
    const std::string answer(received.begin(), received.end());
    for (const std::string& line : DisplayAnswerLines(answer)) log.append(QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size())));
}

// The lines of `actions` in order and their commands written back to back, as the page sends them.
struct Batch {
    std::vector<std::string> lines;
    std::string bytes;
    bool refused = false;  // a line without its command
};
Batch BatchOf(const RxvActions& actions) {
    Batch batch;
    for (const RxvAction& action : actions) {
        if (action.command) batch.bytes += *action.command;
        else batch.refused = true;
        if (action.command || !action.log.empty()) batch.lines.push_back(action.log);
    }
    return batch;
}

bool SerialMode(const Settings& settings) {
    return !settings.misc.useEthernet && !settings.misc.useVodud && !settings.misc.useNlanServ;
}

} // namespace

// One request, one response window, the answer logged.
class RxvKtEngine::Exchange final : public Operation {
    Q_OBJECT

public:
    Exchange(RxvKtEngine& engine, std::string bytes)
        : Operation(BusOperation::Receiver, CollectTexts::Cycle()), m_engine(engine), m_bytes(std::move(bytes)) {}

protected:
    void start() override { transmit(ReceiverOutgoing(m_bytes)); }
    void judge(const Telegram& received) override {
        link().emptyReceiveBuffers();
        LogAnswer(log(), received);
        emit m_engine.exchanged(QString::fromLatin1(m_bytes.data(), static_cast<qsizetype>(m_bytes.size())), Bytes(received));
        finish(OperationOutcome::Completed);
    }

private:
    RxvKtEngine& m_engine;
    std::string m_bytes;
};

// `Timer_acquire`: "set rtra=1", then a window after window, each what the receiver passed on put into the
// table. A stop sends "set rtra=0" twice, 1500 ms apart, and only then lets the bus go.
class RxvKtEngine::Acquisition final : public Operation {
    Q_OBJECT

public:
    explicit Acquisition(RxvKtEngine& engine)
        : Operation(BusOperation::Receiver, {QStringLiteral("No open connection point!"), QStringLiteral("Timer overload")}),
          m_engine(engine) {
        forceLinkMode(LinkMode::Serial);
    }

    void stop() override { m_stopping = true; }

protected:
    void start() override {
        if (m_stopping) finish(OperationOutcome::Stopped);
        else transmit(ReceiverOutgoing(RxvAcquireStart()));
    }

    void judge(const Telegram& received) override {
        if (!m_stopping) {
            const QDateTime now = m_engine.m_clock();
            const std::string at = (LongTimeText(now.time()) + QStringLiteral(", ") + ShortDateText(now.date())).toStdString();
            const AcquisitionTick tick =
                m_acquisition.tick(m_engine.m_receiver.table(), std::span(received.data(), received.size()),
                                   m_engine.m_excludeIdentical, at);
            for (const std::string& line : tick.log) log().append(Text(line));
            if (tick.purge) link().emptyReceiveBuffers();
            if (tick.row > 0 || !tick.log.empty()) emit m_engine.tablesChanged();
            listen();
            return;
        }
        link().emptyReceiveBuffers();
        LogAnswer(log(), received);
        switch (m_stopStep++) {
        case 0: transmit(ReceiverOutgoing(RxvAcquireStop())); return;
        case 1:
            pause(std::max(0, kStopRepeatMilliseconds - responseWindow()),
                  [this] { transmit(ReceiverOutgoing(RxvAcquireStop())); });
            return;
        default: finish(OperationOutcome::Stopped);
        }
    }

    void linkLost(const Telegram&) override { finish(OperationOutcome::LinkFailed); }

private:
    RxvKtEngine& m_engine;
    ReceiverAcquisition m_acquisition;
    bool m_stopping = false;
    int m_stopStep = 0;
};

// `Timer_rxv`: each checked step over the selected rows taken at the click, one window per command sent.
// A row refused (its address, ID or key) is logged and passed over at once; an activation is sent again
// until the receiver confirms it, "Retries" + 1 times at most.
class RxvKtEngine::Programming final : public Operation {
    Q_OBJECT

public:
    struct Item {
        RxvStep step;
        int row;
        std::vector<std::string> cells;
    };

    Programming(RxvKtEngine& engine, std::vector<Item> items, int retries)
        : Operation(BusOperation::Receiver, {QStringLiteral("No open connection point!"), QStringLiteral("Timer overload")}),
          m_engine(engine), m_items(std::move(items)), m_retries(retries), m_auxId(engine.m_auxId), m_key(engine.m_key) {
        m_key.oneKeyAll = false;
    }

    std::size_t itemCount() const { return m_items.size(); }

signals:
    void advanced(int done);

protected:
    void start() override { run(); }

    void judge(const Telegram& received) override {
        link().emptyReceiveBuffers();
        LogAnswer(log(), received);
        emit m_engine.exchanged(QString::fromLatin1(m_sent.data(), static_cast<qsizetype>(m_sent.size())), Bytes(received));
        if (m_items[m_index].step == RxvStep::Activate) {
            const std::string answer(received.begin(), received.end());
            if (!RxvActivationConfirmed(answer) && ++m_attempts <= m_retries) {
                run();
                return;
            }
        }
        m_attempts = 0;
        next();
        run();
    }

    void linkLost(const Telegram&) override { finish(OperationOutcome::LinkFailed); }

private:
    void next() { emit advanced(static_cast<int>(++m_index)); }

    void stepReached(std::optional<RxvStep> step) {
        if (m_step && m_step != step) m_engine.tickStep(*m_step, false);
        m_step = step;
        if (step == RxvStep::Key) {
            m_engine.m_key.oneKeyAll = false;
            emit m_engine.keySettingsChanged();
        }
    }

    void run() {
        while (m_index < m_items.size()) {
            const Item& item = m_items[m_index];
            stepReached(item.step);
            if (item.step == RxvStep::Key) m_engine.m_receiver.selectCell(item.row);
            const RxvRowStep built = BuildRxvRowStep(item.step, item.row, item.cells, m_auxId, m_key);
            if (built.normalizedId) {
                m_engine.m_receiver.table().setCell(item.row, built.idColumn, *built.normalizedId);
                emit m_engine.tablesChanged();
            }
            const Batch batch = BatchOf(built.actions);
            for (const std::string& line : batch.lines) log().append(Text(line));
            if (batch.bytes.empty()) {
                next();
                continue;
            }
            m_sent = batch.bytes;
            transmit(ReceiverOutgoing(batch.bytes));
            return;
        }
        stepReached(std::nullopt);
        finish(OperationOutcome::Completed);
    }

    RxvKtEngine& m_engine;
    std::vector<Item> m_items;
    int m_retries;
    bool m_auxId;
    RxvKeySettings m_key;
    std::size_t m_index = 0;
    int m_attempts = 0;
    std::optional<RxvStep> m_step;
    std::string m_sent;
};

RxvKtEngine::RxvKtEngine(OperationRunner& runner, CommunicationLog& log, LiveSettings& settings,
                         const MeterTable& meters, QObject* parent)
    : QObject(parent), m_runner(runner), m_log(log), m_settings(settings), m_meters(meters),
      m_receiver(settings.language()), m_clock([] { return QDateTime::currentDateTime(); }) {
    connect(&m_runner, &OperationRunner::operationEnded, this, [this](BusOperation kind) { operationEnded(kind); });
    m_page.acquireCaption = kAcquireCaption;
    m_page.programCaption = kProgramCaption;
}

RxvKtEngine::~RxvKtEngine() = default;

void RxvKtEngine::applyLanguage() {
    // The receiver's titles are English in every language.
    emit tablesChanged();
}

void RxvKtEngine::tickStep(RxvStep step, bool on) {
    m_steps.tick(step, on);
    emit stepsChanged();
}

void RxvKtEngine::setKeySettings(const RxvKeySettings& key) {
    m_key = key;
    if (m_key.keyText.size() > kRxvKeyTextLimit) m_key.keyText.resize(kRxvKeyTextLimit);
}

RxvClock RxvKtEngine::clockNow() const {
    const QDateTime now = m_clock();
    return {now.date().year(), now.date().month(), now.date().day(), now.time().hour(), now.time().minute(),
            now.time().second()};
}

// ---- the table ---------------------------------------------------------------------------------

bool RxvKtEngine::tableInUse() {
    if (!running()) return false;
    m_log.append(kTableBusy);
    return true;
}

void RxvKtEngine::selectCell(int row, int) { m_receiver.selectCell(row); }

bool RxvKtEngine::setCell(int row, int column, const std::string& text) {
    if (tableInUse()) return false;
    m_receiver.table().setCell(row, column, text);
    emit tablesChanged();
    return true;
}

void RxvKtEngine::setRowSelected(int row, bool selected) {
    m_receiver.table().setRowSelected(row, selected);
    emit tablesChanged();
}

void RxvKtEngine::toggleRowSelected(int row) {
    m_receiver.table().toggleRowSelected(row);
    emit tablesChanged();
}

void RxvKtEngine::selectAll(bool selected) {
    m_receiver.selectAll(selected);
    emit tablesChanged();
}

bool RxvKtEngine::addRow() {
    if (tableInUse()) return false;
    const bool added = m_receiver.addRow();
    if (!added) m_log.append(Text(kReceiverTableFull));
    emit tablesChanged();
    return added;
}

bool RxvKtEngine::deleteRow() {
    if (tableInUse()) return false;
    m_receiver.deleteRow();
    emit tablesChanged();
    return true;
}

bool RxvKtEngine::clearTable() {
    if (tableInUse()) return false;
    m_receiver.clearTable();
    emit tablesChanged();
    return true;
}

bool RxvKtEngine::getFromMeters() {
    if (tableInUse()) return false;
    const ReceiverFill fill = FillReceiverFromMeters(m_receiver.table(), m_meters);
    for (const std::string& line : fill.log) m_log.append(Text(line));
    emit tablesChanged();
    return true;
}

std::optional<ReceiverImport> RxvKtEngine::importTable(const ImportedTable& imported) {
    if (tableInUse()) return std::nullopt;
    const ReceiverImport result = ApplyReceiverImport(m_receiver, imported);
    emit tablesChanged();
    return result;
}

std::string RxvKtEngine::exportTable(char separator) const { return ExportReceiverText(m_receiver.table(), separator); }

// ---- runs ----------------------------------------------------------------------------------------

void RxvKtEngine::setRunning(bool acquiring, bool programming) {
    m_page.acquiring = acquiring;
    m_page.programming = programming;
    m_page.acquireCaption = acquiring ? kStopAcquireCaption : kAcquireCaption;
    m_page.programCaption = programming ? kStopProgramCaption : kProgramCaption;
    m_page.commandsEnabled = !acquiring && !programming;
    if (!programming) m_page.progress = {m_page.progress.maximum, 0, false};
    emit pageStateChanged();
}

void RxvKtEngine::operationEnded(BusOperation kind) {
    if (kind != BusOperation::Receiver || !m_ownOperation) return;
    m_ownOperation = false;
    if (running()) setRunning(false, false);
}

bool RxvKtEngine::acquire() {
    if (m_page.acquiring) {
        m_runner.stopCurrent();
        return false;
    }
    if (m_runner.refuseWhenBusy()) return false;
    if (!SerialMode(m_settings.settings())) {
        m_log.append(kSerialOnly);
        return false;
    }
    m_ownOperation = true;
    setRunning(true, false);
    return m_runner.start(new Acquisition(*this));
}

bool RxvKtEngine::program() {
    if (m_page.programming) {
        m_runner.stopCurrent();
        return false;
    }
    const DeviceTable& table = m_receiver.table();
    if (table.dataRowCount() == 1 && table.cell(1, kRxvAddressColumn).empty()) return false;
    if (m_steps.count() == 0) return false;
    if (m_runner.refuseWhenBusy()) return false;
    std::vector<Programming::Item> items;
    const std::vector<int> rows = table.selectedRows();
    for (RxvStep step : kRxvStepOrder) {
        if (!m_steps.isTicked(step)) continue;
        for (int row : rows) items.push_back({step, row, table.rowCells(row)});
    }
    auto* programming = new Programming(*this, std::move(items), m_settings.settings().misc.retry);
    const int maximum = std::max(1, static_cast<int>(programming->itemCount()));
    connect(programming, &Programming::advanced, this, [this, maximum](int done) {
        m_page.progress = {maximum, std::min(done, maximum), true};
        emit pageStateChanged();
    });
    m_ownOperation = true;
    setRunning(false, true);
    m_page.progress = {maximum, 0, true};
    emit pageStateChanged();
    return m_runner.start(programming);
}

// ---- single commands -----------------------------------------------------------------------------

bool RxvKtEngine::sendActions(const RxvActions& actions) {
    const Batch batch = BatchOf(actions);
    if (batch.bytes.empty()) {
        for (const std::string& line : batch.lines) m_log.append(Text(line));
        return false;
    }
    if (m_runner.refuseWhenBusy()) return false;
    for (const std::string& line : batch.lines) m_log.append(Text(line));
    m_ownOperation = true;
    return m_runner.start(new Exchange(*this, batch.bytes));
}

bool RxvKtEngine::saveKey() {
    return sendActions(BuildRxvKeyStorage(m_receiver.receiverRow(), m_receiver.table().rowCells(m_receiver.receiverRow()), m_key));
}

bool RxvKtEngine::bind() {
    const int row = m_receiver.receiverRow();
    return sendActions(BuildRxvBind(row, m_receiver.table().rowCells(row), m_receiver.label45()));
}

bool RxvKtEngine::debind() {
    const int row = m_receiver.receiverRow();
    return sendActions(BuildRxvDebind(row, m_receiver.table().rowCells(row), m_receiver.label45()));
}

bool RxvKtEngine::setDate() { return sendActions({BuildRxvDate(clockNow())}); }
bool RxvKtEngine::setTime() { return sendActions({BuildRxvTime(clockNow())}); }
bool RxvKtEngine::setSaveInterval(const QString& text) { return sendActions(BuildRxvSaveInterval(text.toStdString())); }
bool RxvKtEngine::setWirelessMode(const QString& item) { return sendActions({BuildRxvWirelessMode(item.toStdString())}); }
bool RxvKtEngine::setRole(const QString& item) { return sendActions(BuildRxvRole(item.toStdString())); }
bool RxvKtEngine::setWorkMode(const QString& item) { return sendActions(BuildRxvWorkMode(item.toStdString())); }
bool RxvKtEngine::setOption(const QString& item, bool on) { return sendActions(BuildRxvOption(item.toStdString(), on)); }
bool RxvKtEngine::info() { return sendActions({BuildRxvInfo()}); }
bool RxvKtEngine::wirelessInfo() { return sendActions({BuildRxvWirelessInfo()}); }

} // namespace veltro

#include "rxv_kt_engine.moc"
