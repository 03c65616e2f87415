#include "devices/display_engine.h"

#include <deque>

#include "app/live_settings.h"
#include "app/operator_interface.h"
#include "devices/display_tables.h"
#include "link/communication_log.h"
#include "link/link_facade.h"
#include "link/operation_runner.h"
#include "meters/meter_table.h"

namespace veltro {
namespace {

QString Text(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

Outgoing DisplayOutgoing(const std::string& command) {
    return {Telegram(std::span(reinterpret_cast<const std::uint8_t*>(command.data()), command.size())),
            SendKind::DisplayCommand, {}};
}

// The display's answer, line by line as it came, into the log; its lines for the decoders.
std::vector<std::string> LogAnswer(CommunicationLog& log, const Telegram& received) {
    const std::string answer(received.begin(), received.end());
    std::vector<std::string> lines = DisplayAnswerLines(answer);
    for (const std::string& line : lines) log.append(Text(Windows1251ToUtf8(line)));
    return lines;
}

bool IsGatewayMode(const Settings& settings) { return settings.misc.useEthernet || settings.misc.useNlanServ; }

} // namespace

// Requests in order, one response window each; what a request's answer decides may queue more.
class DisplayEngine::Reader final : public Operation {
    Q_OBJECT

public:
    using Lines = std::vector<std::string>;
    struct Request {
        std::string command;
        std::vector<std::string> linesBefore;
        std::function<void(const Lines&)> then;
    };

    Reader(CollectTexts texts, QObject* parent = nullptr) : Operation(BusOperation::Display, std::move(texts), parent) {}

    void push(Request request) { m_queue.push_back(std::move(request)); }
    void pushNext(Request request) { m_queue.push_front(std::move(request)); }
    int answered() const { return m_answered; }

signals:
    void answeredChanged(int answered);
    void exchanged(const std::string& command, const std::string& answer);

protected:
    void start() override { next(); }

    void judge(const Telegram& received) override {
        link().emptyReceiveBuffers();
        const Lines lines = LogAnswer(log(), received);
        emit exchanged(m_current.command, std::string(received.begin(), received.end()));
        auto then = std::move(m_current.then);
        emit answeredChanged(++m_answered);
        if (then) then(lines);
        next();
    }

    // The link went away (its line is logged): the rest of the reading cannot reach the display.
    void linkLost(const Telegram&) override { finish(OperationOutcome::LinkFailed); }

private:
    void next() {
        if (m_queue.empty()) {
            finish(OperationOutcome::Completed);
            return;
        }
        m_current = std::move(m_queue.front());
        m_queue.pop_front();
        for (const std::string& line : m_current.linesBefore) log().append(Text(line));
        transmit(DisplayOutgoing(m_current.command));
    }

    std::deque<Request> m_queue;
    Request m_current;
    int m_answered = 0;
};

// `Timer_ldu`: each ticked setting over every selected row, one response window a row (a row passed over
// for a bad address or value has its window too), then one more window before the next setting. An
// activation is sent again until the display acknowledges it, "Retries" + 1 times at most.
class DisplayEngine::WriteCycle final : public Operation {
    Q_OBJECT

public:
    struct Step {
        DisplaySetting setting = DisplaySetting::Activate;
        bool endOfSetting = false;
        int row = 0;
        std::vector<std::string> cells;  // taken at the click
    };

    WriteCycle(std::vector<Step> steps, int retries, QObject* parent = nullptr)
        : Operation(BusOperation::Display, {QStringLiteral("No valid interface!"), QStringLiteral("Timer overload")},
                    parent),
          m_steps(std::move(steps)), m_retries(retries) {}

    std::size_t stepCount() const { return m_steps.size(); }

signals:
    void settingConsumed(veltro::DisplaySetting setting);
    void advanced(int steps);
    void exchanged(const std::string& command, const std::string& answer);

protected:
    void start() override { run(); }

    void judge(const Telegram& received) override {
        link().emptyReceiveBuffers();
        const std::vector<std::string> lines = LogAnswer(log(), received);
        const Step& step = m_steps[m_index];
        const std::string answer(received.begin(), received.end());
        if (m_sent) emit exchanged(m_command, answer);
        if (m_sent && !step.endOfSetting && step.setting == DisplaySetting::Activate) {
            if (!DisplayActivationAcknowledged(answer) && ++m_attempts <= m_retries) {
                run();
                return;
            }
        }
        m_attempts = 0;
        emit advanced(static_cast<int>(++m_index));
        if (m_index >= m_steps.size()) finish(OperationOutcome::Completed);
        else run();
    }

    void linkLost(const Telegram&) override { finish(OperationOutcome::LinkFailed); }

private:
    void run() {
        const Step& step = m_steps[m_index];
        m_sent = false;
        if (step.endOfSetting) {
            emit settingConsumed(step.setting);
            listen();
            return;
        }
        const DisplayAddressCheck address = CheckDisplayAddress(step.cells[kDisplayAddressColumn], step.row);
        if (!address.address) {
            log().append(Text(address.line));
            listen();
            return;
        }
        const DisplayRowCommand built = BuildDisplayRowCommand(step.setting, step.cells);
        for (const std::string& line : built.log) log().append(Text(line));
        if (!built.command) {
            listen();
            return;
        }
        m_sent = true;
        m_command = *built.command;
        transmit(DisplayOutgoing(m_command));
    }

    std::vector<Step> m_steps;
    int m_retries;
    std::size_t m_index = 0;
    int m_attempts = 0;
    bool m_sent = false;
    std::string m_command;
};

DisplayEngine::DisplayEngine(OperationRunner& runner, CommunicationLog& log, LiveSettings& settings,
                             OperatorInterface& operatorInterface, const MeterTable& meters, QObject* parent)
    : QObject(parent), m_runner(runner), m_log(log), m_settings(settings), m_operator(operatorInterface),
      m_meters(meters), m_table(NewDisplayTable(settings.language())), m_readings(NewReadingsTable(settings.language())),
      m_clock([] { return QDateTime::currentDateTime(); }) {
    connect(&m_runner, &OperationRunner::operationEnded, this, [this](BusOperation kind) { operationEnded(kind); });
    m_page.writeCaption = settings.language() == Language::Italian ? kWriteCaptionItalian : kWriteCaption;
}

DisplayEngine::~DisplayEngine() = default;

bool DisplayEngine::busy() const { return m_ownOperation && m_runner.currentKind() == BusOperation::Display; }

int DisplayEngine::retries() const { return m_settings.settings().misc.retry; }

bool DisplayEngine::tablesInUse() {
    if (!m_tablesOperation || m_runner.currentKind() != BusOperation::Display) return false;
    m_log.append(kTablesBusy);
    return true;
}

void DisplayEngine::applyLanguage() {
    m_table.setTitles(DisplayTitles(m_settings.language()));
    m_readings.setTitles(ReadingsTitles(m_settings.language()));
    if (!m_page.writing) m_page.writeCaption = m_settings.language() == Language::Italian ? kWriteCaptionItalian : kWriteCaption;
    emit tablesChanged();
    emit pageStateChanged();
}

// ---- switches and the display table -----------------------------------------------------------------

void DisplayEngine::tickSetting(DisplaySetting setting, bool on) {
    m_switches.tick(setting, on);
    emit switchesChanged();
}

void DisplayEngine::selectCell(int row, int column) {
    m_selectedRow = row;
    m_selectedColumn = column;
    const std::string& address = m_table.cell(row, kDisplayAddressColumn);
    if (!address.empty()) {
        const std::optional<int> number = CheckDisplayAddress(address, row).address;
        m_selectedAddress = number.value_or(0);
    } else {
        m_selectedAddress = 0;
    }
}

void DisplayEngine::setRowSelected(int row, bool selected) {
    m_table.setRowSelected(row, selected);
    emit tablesChanged();
}

void DisplayEngine::toggleRowSelected(int row) {
    m_table.toggleRowSelected(row);
    emit tablesChanged();
}

void DisplayEngine::selectAll(bool selected) {
    m_table.selectAll(selected);
    emit tablesChanged();
}

bool DisplayEngine::setCell(int row, int column, const std::string& text) {
    if (tablesInUse()) return false;
    m_table.setCell(row, column, text);
    if (row == m_selectedRow) selectCell(m_selectedRow, m_selectedColumn);
    emit tablesChanged();
    return true;
}

bool DisplayEngine::addRow() {
    if (tablesInUse()) return false;
    const bool added = m_table.addRow();
    emit tablesChanged();
    return added;
}

bool DisplayEngine::deleteSelectedRow() {
    if (tablesInUse() || m_selectedRow < 1) return false;
    m_table.deleteRow(m_selectedRow);
    if (m_selectedRow >= m_table.rowCount()) m_selectedRow = m_table.rowCount() - 1;
    selectCell(m_selectedRow, m_selectedColumn);
    emit tablesChanged();
    return true;
}

bool DisplayEngine::clearTable() {
    if (tablesInUse()) return false;
    m_table.clear();
    selectCell(1, 0);
    emit tablesChanged();
    return true;
}

bool DisplayEngine::getDataFromMeters() {
    if (tablesInUse()) return false;
    const DisplayFill fill = FillDisplayFromMeters(m_table, m_meters);
    if (fill.full) m_log.append(Text(kDisplayTableFull));
    emit tablesChanged();
    return true;
}

std::optional<DisplayImport> DisplayEngine::importTables(const ImportedTable& imported) {
    if (tablesInUse()) return std::nullopt;
    const DisplayImport result = ApplyDisplayImport(m_table, m_readings, imported);
    emit tablesChanged();
    return result;
}

std::string DisplayEngine::exportTable(char separator) const { return ExportDeviceTableText(m_table, separator); }

// ---- the readings table ---------------------------------------------------------------------------

void DisplayEngine::selectReadingsCell(int row, int) { m_selectedReadingsRow = row; }

bool DisplayEngine::readingsFromDisplay() {
    if (tablesInUse()) return false;
    FillReadingsFromDisplay(m_readings, m_table);
    emit tablesChanged();
    return true;
}

bool DisplayEngine::addReadingsRow() {
    if (tablesInUse()) return false;
    const bool added = m_readings.addRow();
    emit tablesChanged();
    return added;
}

bool DisplayEngine::deleteSelectedReadingsRow() {
    if (tablesInUse() || m_selectedReadingsRow < 1) return false;
    m_readings.deleteRow(m_selectedReadingsRow);
    if (m_selectedReadingsRow >= m_readings.rowCount()) m_selectedReadingsRow = m_readings.rowCount() - 1;
    emit tablesChanged();
    return true;
}

bool DisplayEngine::clearReadings() {
    if (tablesInUse()) return false;
    m_readings.clear();
    emit tablesChanged();
    return true;
}

bool DisplayEngine::sortReadings(bool byAddress, bool byUser) {
    if (!byAddress && !byUser) return false;
    if (tablesInUse()) return false;
    SortReadings(m_readings, byAddress);
    emit tablesChanged();
    return true;
}

std::string DisplayEngine::exportReadings(char separator) const { return ExportDeviceTableText(m_readings, separator); }

// ---- the write cycle ------------------------------------------------------------------------------

bool DisplayEngine::writeTable() {
    if (m_page.writing) {
        m_runner.stopCurrent();
        return false;
    }
    if (m_table.dataRowCount() == 1 && m_table.cell(1, kDisplayAddressColumn).empty()) return false;
    if (m_switches.count() == 0) return false;
    if (m_runner.refuseWhenBusy()) return false;
    std::vector<WriteCycle::Step> steps;
    const std::vector<int> rows = m_table.selectedRows();
    for (DisplaySetting setting : kDisplaySettingOrder) {
        if (!m_switches.isTicked(setting)) continue;
        for (int row : rows) steps.push_back({setting, false, row, m_table.rowCells(row)});
        steps.push_back({setting, true, 0, {}});
    }
    auto* cycle = new WriteCycle(std::move(steps), retries());
    connect(cycle, &WriteCycle::exchanged, this, &DisplayEngine::exchanged);
    const int maximum = static_cast<int>(cycle->stepCount());
    connect(cycle, &WriteCycle::settingConsumed, this, [this](DisplaySetting setting) { tickSetting(setting, false); });
    connect(cycle, &WriteCycle::advanced, this, [this, maximum](int done) { setProgress(maximum, done, true); });
    m_ownOperation = true;
    m_tablesOperation = true;
    setCommandsForWriting(true);
    setProgress(maximum, 0, true);
    return m_runner.start(cycle);
}

void DisplayEngine::setCommandsForWriting(bool writing) {
    m_page.writing = writing;
    m_page.writeCaption = writing ? kStopCaption
                                  : (m_settings.language() == Language::Italian ? kWriteCaptionItalian : kWriteCaption);
    m_page.readDataEnabled = !writing;
    m_page.infoEnabled = !writing;
    m_page.createSortEnabled = !writing;
    m_page.sortEnabled = !writing;
    m_page.refreshEnabled = !writing;
    m_page.dateEnabled = !writing;
    m_page.timeEnabled = !writing;
    m_page.lockEnabled = !writing;
    emit pageStateChanged();
}

void DisplayEngine::setProgress(int maximum, int position, bool visible) {
    m_page.progress = {maximum, std::min(position, maximum), visible};
    emit pageStateChanged();
}

void DisplayEngine::operationEnded(BusOperation kind) {
    if (kind != BusOperation::Display || !m_ownOperation) return;
    m_ownOperation = false;
    m_tablesOperation = false;
    if (m_page.writing) setCommandsForWriting(false);
    setProgress(m_page.progress.maximum, 0, false);
    emit tablesChanged();
}

// ---- single commands ---------------------------------------------------------------------------------

bool DisplayEngine::sendSingle(const DisplayCommand& command, std::optional<LinkMode> forced) {
    if (!command.command) {
        for (const std::string& line : command.log) m_log.append(Text(line));
        return false;
    }
    // The lines announce a write; a busy bus would make them untrue.
    if (m_runner.refuseWhenBusy()) return false;
    auto* reader = new Reader(CollectTexts::Cycle());
    connect(reader, &Reader::exchanged, this, &DisplayEngine::exchanged);
    if (forced) reader->forceLinkMode(*forced);
    reader->push({*command.command, command.log, {}});
    m_ownOperation = true;
    return m_runner.start(reader);
}

bool DisplayEngine::getInfo(DisplayInfo kind) { return sendSingle(BuildDisplayInfo(kind, m_selectedAddress)); }

namespace {
DisplayClock ClockOf(const QDateTime& time) {
    return {time.date().year(), time.date().month(), time.date().day(), time.time().hour(), time.time().minute()};
}
} // namespace

bool DisplayEngine::setDate() { return sendSingle(BuildDisplayDate(ClockOf(m_clock()))); }
bool DisplayEngine::setTime() { return sendSingle(BuildDisplayTime(ClockOf(m_clock()))); }
bool DisplayEngine::lock() { return sendSingle(BuildDisplayLock()); }

bool DisplayEngine::setRefreshTime(const QString& text) {
    return sendSingle(BuildDisplayRefresh(text.toUtf8().toStdString()));
}

bool DisplayEngine::createSortTable() {
    std::optional<LinkMode> forced;
    if (IsGatewayMode(m_settings.settings())) {
        if (m_operator.question(Text(kDisplaySortCaption), Text(kDisplaySortOnlyRs232),
                                OperatorInterface::Buttons::YesNo) != OperatorInterface::Answer::Yes)
            return false;
        forced = LinkMode::Serial;
    }
    const bool started = sendSingle(BuildDisplayCreateSortTable(), forced);
    if (started) {
        m_page.sortUserChecked = true;
        emit pageStateChanged();
    }
    return started;
}

bool DisplayEngine::sort(bool byAddress, bool byUser) { return sendSingle(BuildDisplaySort(byAddress, byUser)); }

bool DisplayEngine::readMeters() { return sendSingle(BuildDisplayReadMeters(), LinkMode::Serial); }

// ---- reading the display ---------------------------------------------------------------------------

std::vector<std::pair<std::string, int>> DisplayEngine::addressedRows(const DeviceTable& table) const {
    std::vector<std::pair<std::string, int>> rows;
    for (int row = 1; row < table.rowCount(); ++row) {
        const std::string& cell = table.cell(row, kDisplayAddressColumn);
        if (const std::optional<int> address = CheckDisplayAddress(cell, row).address) rows.emplace_back(cell, *address);
    }
    return rows;
}

bool DisplayEngine::startReader(Reader* reader, int expectedAnswers) {
    connect(reader, &Reader::exchanged, this, &DisplayEngine::exchanged);
    m_ownOperation = true;
    m_tablesOperation = true;
    if (expectedAnswers > 0) {
        connect(reader, &Reader::answeredChanged, this,
                [this, expectedAnswers](int answered) { setProgress(expectedAnswers, answered, true); });
        setProgress(expectedAnswers, 0, true);
    }
    return m_runner.start(reader);
}

void DisplayEngine::queueEntryPage1(Reader& reader, const std::string& address, int number) {
    reader.push({DisplayEntryRequest(number, 1), {}, [this, address](const Reader::Lines& lines) {
                     if (const std::optional<EntryValues> values = DecodeEntryValues(lines)) {
                         ApplyEntryValues(m_table, m_readings, address, *values);
                         emit tablesChanged();
                     }
                 }});
}

bool DisplayEngine::readData() {
    if (m_runner.refuseWhenBusy()) return false;
    auto* reader = new Reader({QStringLiteral("No valid connection..."), QStringLiteral("Timer overload")});
    reader->push({DisplayAddressesRequest(), {}, [this, reader](const Reader::Lines& lines) {
                      const std::optional<std::vector<int>> addresses = ReadActiveAddresses(lines);
                      if (addresses) {
                          ApplyActiveAddresses(m_table, m_readings, *addresses);
                          emit tablesChanged();
                      }
                      if (!addresses || addresses->empty()) {
                          m_log.append(QStringLiteral("Sorry, no active addresses in LDU-Q7 memory..."));
                          return;
                      }
                      for (const auto& entry : addressedRows(m_table)) {
                          const std::string address = entry.first;
                          const int number = entry.second;
                          queueEntryPage1(*reader, address, number);
                          reader->push({DisplayEntryRequest(number, 2), {}, [this, address](const Reader::Lines& page) {
                                            const std::optional<UserInfo> info = DecodeUserInfo(page);
                                            if (!info) {
                                                m_log.append(Text(kUserInfoMissing));
                                                return;
                                            }
                                            ApplyUserInfo(m_table, m_readings, address, *info);
                                            emit tablesChanged();
                                        }});
                      }
                  }});
    return startReader(reader, 0);
}

bool DisplayEngine::readValues(bool main, bool tariff) {
    if (!main && !tariff) {
        m_log.append(QStringLiteral("Select which values you want to read from device..."));
        return false;
    }
    if (m_table.isEmpty()) {
        m_log.append(QStringLiteral("Read main data first or load file..."));
        return false;
    }
    if (m_runner.refuseWhenBusy()) return false;
    auto* reader = new Reader({QStringLiteral("No valid connection..."), QStringLiteral("Timer overload")});
    const auto rows = addressedRows(m_table);
    for (const auto& entry : rows) {
        // Named copies: lambdas below capture them.
        const std::string address = entry.first;
        const int number = entry.second;
        if (main) queueEntryPage1(*reader, address, number);
        if (!tariff) continue;
        for (int t = 0; t <= 3; ++t) {
            std::vector<std::string> before;
            if (t == 0) before.push_back("Reading tarriffs of device " + address + "...");
            reader->push({DisplayTariffRequest(number, t), std::move(before), [this, address, t](const Reader::Lines& lines) {
                              if (const std::optional<std::string> value = DecodeTariff(lines)) {
                                  ApplyTariff(m_table, m_readings, address, t, *value);
                                  emit tablesChanged();
                              }
                          }});
        }
    }
    return startReader(reader, static_cast<int>(rows.size()) * ((main ? 1 : 0) + (tariff ? 4 : 0)));
}

bool DisplayEngine::readHistory(int month) {
    if (m_readings.isEmpty()) {
        m_log.append(QStringLiteral("Read main data first or load file..."));
        return false;
    }
    if (month < 0 || month > 12) return false;
    if (m_runner.refuseWhenBusy()) return false;
    auto* reader = new Reader({QStringLiteral("No valid connection set, aborting..."), QStringLiteral("Timer overload")});
    const auto rows = addressedRows(m_readings);
    auto apply = [this](const std::string& address) {
        return [this, address](const Reader::Lines& lines) {
            const std::optional<HistoryValue> value = DecodeHistoryValue(lines);
            if (value && value->month) {
                ApplyHistoryValue(m_readings, address, *value);
                emit tablesChanged();
            }
        };
    };
    for (const auto& entry : rows) {
        // Named copies: lambdas below capture them.
        const std::string address = entry.first;
        const int number = entry.second;
        if (month == 0) {
            for (int index = 1; index <= 12; ++index) reader->push({DisplayHistoryRequest(number, index), {}, apply(address)});
            continue;
        }
        reader->push({DisplayHistoryRequest(number, 1), {}, [this, reader, address, number, month, apply](const Reader::Lines& lines) {
                          const std::optional<HistoryValue> latest = DecodeHistoryValue(lines);
                          if (!latest || !latest->month) {
                              m_log.append(QString::fromStdString("No history values saved yet for address " + address));
                              return;
                          }
                          if (*latest->month == month) {
                              apply(address)(lines);
                              return;
                          }
                          reader->pushNext({DisplayHistoryRequest(number, DisplayHistoryIndex(*latest->month, month)), {},
                                            apply(address)});
                      }});
    }
    return startReader(reader, month == 0 ? static_cast<int>(rows.size()) * 12 : 0);
}

} // namespace veltro

#include "display_engine.moc"
