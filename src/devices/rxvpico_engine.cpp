#include "devices/rxvpico_engine.h"

#include <algorithm>

#include "app/live_settings.h"
#include "app/operator_interface.h"
#include "decode/meter_response.h"
#include "link/communication_log.h"
#include "link/console_command.h"
#include "link/free_command_console.h"
#include "link/operation_runner.h"
#include "link/operation_shapes.h"
#include "mbus/frames.h"
#include "mbus/hex.h"
#include "meters/meter_page.h"

namespace veltro {
namespace {

QString Text(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QByteArray Bytes(const Telegram& telegram) {
    return QByteArray(reinterpret_cast<const char*>(telegram.data()), static_cast<qsizetype>(telegram.size()));
}

std::span<const std::uint8_t> Span(const Telegram& telegram) { return {telegram.data(), telegram.size()}; }

void LogLines(CommunicationLog& log, const std::vector<std::string>& lines) {
    for (const std::string& line : lines) log.append(Text(line));
}

// The reply "Respond: 68 0B ... 16 ".
QString RespondLine(const Telegram& reply) { return QStringLiteral("Respond: ") + Text(HexRendering(Span(reply))); }

// A REQ_UD2 goes out as `SendReadRequest`, every command as `SendTelegram`.
Outgoing OutgoingOf(const Telegram& telegram) {
    const bool read = telegram.size() == 5 && telegram[0] == 0x10;
    return {telegram, read ? SendKind::ReadRequest : SendKind::Telegram, {}};
}

// The receiver's list holds 8-digit IDs; a BCD value decoded as a number loses its leading zeros.
std::string ListedId(const std::string& value) {
    const bool digits = !value.empty() && std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!digits || value.size() >= kPicoIdLength) return value;
    return std::string(kPicoIdLength - value.size(), '0') + value;
}

} // namespace

// One command and the response timer that judges its reply:
//   Status       `Timer_readRXVpico`: a repeat is always REQ_UD2; a reply over 16 bytes is a status;
//   Key          `Timer_readAESKey`: the key into `Edit_aesKey` and column 11 of the rows with that ID;
//   Filter       `Timer_filterRXV`: the table into `Grid_filters`;
//   Acknowledge  `Timer_respond` (a filter saved): one window, no repeat;
//   Console      `Timer_free_command` (a key stored): the answer in hex, one window.
class RxvpicoEngine::Exchange final : public Operation {
    Q_OBJECT

public:
    Exchange(RxvpicoEngine& engine, Telegram request, Reply use, int retries, std::uint8_t address,
             QString meterId = {})
        : Operation(BusOperation::Receiver, CollectTexts::Cycle()), m_engine(engine), m_request(std::move(request)),
          m_use(use), m_retries(retries), m_address(address), m_meterId(std::move(meterId)) {}

protected:
    void start() override { transmit(OutgoingOf(m_request)); }

    void judge(const Telegram& received) override {
        link().emptyReceiveBuffers();
        emit m_engine.exchanged(Bytes(m_sent.empty() ? m_request : m_sent), Bytes(received));
        if (!received.empty() && accept(received)) {
            finish(OperationOutcome::Completed);
            return;
        }
        if (m_use == Reply::Acknowledge || m_use == Reply::Console || ++m_attempts > m_retries) {
            if (m_use == Reply::Acknowledge && received.empty())
                log().append(QStringLiteral("No response from address ") + QString::number(m_address));
            finish(OperationOutcome::Completed);
            return;
        }
        repeat();
    }

private:
    // Whether the reply ends the exchange; a key or filter reply that fails its checks does not.
    bool accept(const Telegram& received) {
        switch (m_use) {
        case Reply::Status:
            if (received.size() > 16) m_engine.decodeStatus(received);
            return true;
        case Reply::Key: {
            if (received.size() <= 16) return false;
            const std::optional<std::string> key = ParsePicoKey(Span(received));
            if (!key) return false;
            m_engine.keyReceived(m_meterId, Text(*key));
            return true;
        }
        case Reply::Filter: {
            log().append(RespondLine(received));
            if (received.size() <= 5) return true;
            const PicoFilterParse parsed = ParsePicoFilters(Span(received));
            if (parsed.table) {
                m_engine.m_filters = parsed.table->entries;
                m_engine.m_filtersShown = parsed.table->filter;
                emit m_engine.filtersChanged();
                return true;
            }
            if (parsed.unknownTable) return true;
            log().append(QStringLiteral("Exception reading filter mask - ") + Text(parsed.error));
            return false;
        }
        case Reply::Acknowledge:
            log().append(IsAcknowledge(Span(received)) ? QStringLiteral("0xE5 (Acknowledge) 1") : RespondLine(received));
            return true;
        case Reply::Console:
            log().append(Text(RenderConsoleAnswer(Span(received), ConsoleMode::Hex)));
            return true;
        }
        return true;
    }

    void repeat() {
        switch (m_use) {
        case Reply::Status:
            log().append(QStringLiteral("Reading RXVpico again, attempt ") + QString::number(m_attempts));
            m_sent = *BuildPicoStatusRequest(m_address).telegram;
            break;
        case Reply::Key: log().append(QStringLiteral("Reading AES-128 Key again for meter ") + m_meterId); break;
        case Reply::Filter: log().append(QStringLiteral("Reading RXVpico Primary ") + QString::number(m_address)); break;
        default: break;
        }
        link().emptyReceiveBuffers();
        transmit(OutgoingOf(m_sent.empty() ? m_request : m_sent));
    }

    RxvpicoEngine& m_engine;
    Telegram m_request;
    Telegram m_sent;  // the repeat when it differs from the request
    Reply m_use;
    int m_retries;
    int m_attempts = 0;
    std::uint8_t m_address;
    QString m_meterId;
};

// `Timer_readMetersRXVpico`, "Get meters": IDs 1..24, 25..48, 49..63, then the address table. Each step is
// asked again while silent and the retries last, then the next step goes out as if it had been answered.
// The table is cleared by the first list that decodes, so a silent receiver leaves it as it was; the
// addresses go only into the rows this run filled.
class RxvpicoEngine::ListReading final : public Operation {
    Q_OBJECT

public:
    ListReading(RxvpicoEngine& engine, std::uint8_t address, int retries)
        : Operation(BusOperation::Receiver, CollectTexts::Cycle()), m_engine(engine), m_address(address),
          m_retries(retries) {}

protected:
    void start() override { send(); }

    void judge(const Telegram& received) override {
        link().emptyReceiveBuffers();
        emit m_engine.exchanged(Bytes(request()), Bytes(received));
        const bool answered = !received.empty() && (received.size() <= 16 || take(received));
        if (!answered && ++m_attempts <= m_retries) {
            log().append(QStringLiteral("Reading RXVpico again ") + QString::number(m_attempts));
            send();
            return;
        }
        m_attempts = 0;
        if (++m_step > kPicoListSteps) {
            finish(OperationOutcome::Completed);
            return;
        }
        send();
    }

private:
    Telegram request() const { return *BuildPicoListStep(m_address, m_step).telegram; }
    void send() { transmit(OutgoingOf(request())); }

    bool take(const Telegram& received) {
        MeterPage& meters = m_engine.m_meters;
        if (m_step < kPicoListSteps) {
            const ValueList list = DecodeValueList(Span(received), meters.decodeSettings(false));
            LogLines(log(), list.log);
            if (!list.valid) return false;
            if (!m_cleared) {
                meters.clearRows();
                m_cleared = true;
            }
            std::vector<std::string> ids;
            for (const std::string& value : list.values)
                if (!value.empty()) ids.push_back(ListedId(value));
            const std::vector<int> rows = meters.appendIdentifications(ids);
            m_rows.insert(m_rows.end(), rows.begin(), rows.end());
            return true;
        }
        const std::optional<std::vector<int>> addresses = ParsePicoAddresses(Span(received));
        if (!addresses) {
            log().append(QStringLiteral("Exception filling Primary addresses - the reply is not an address table"));
            return false;
        }
        for (std::size_t i = 0; i < addresses->size() && i < m_rows.size(); ++i)
            meters.writeCell(m_rows[i], MeterTable::kAddressColumn, std::to_string((*addresses)[i]));
        return true;
    }

    RxvpicoEngine& m_engine;
    std::uint8_t m_address;
    int m_retries;
    int m_step = 1;
    int m_attempts = 0;
    bool m_cleared = false;
    std::vector<int> m_rows;
};

// `Timer_activateRXVAll` and `Timer_sendallAES`: the table's rows in turn, each command asked again while
// silent and the retries last. A row whose command cannot be built is logged and passed over at once.
// "Send table" first deletes the whole list (judged as `Timer_readRXVpico`) and then adds.
class RxvpicoEngine::RowSequence final : public Operation {
    Q_OBJECT

public:
    struct Row {
        std::string id;
        std::string key;
    };

    RowSequence(RxvpicoEngine& engine, std::uint8_t address, bool keys, std::vector<Row> rows, int retries,
                std::optional<Telegram> deleteFirst)
        : Operation(BusOperation::Receiver, CollectTexts::Cycle()), m_engine(engine), m_address(address), m_keys(keys),
          m_rows(std::move(rows)), m_retries(retries), m_delete(std::move(deleteFirst)) {}

protected:
    void start() override {
        if (m_delete) send(*m_delete);
        else nextRow();
    }

    void judge(const Telegram& received) override {
        link().emptyReceiveBuffers();
        emit m_engine.exchanged(Bytes(m_sent), Bytes(received));
        if (m_delete) {
            if (received.empty() && ++m_attempts <= m_retries) {
                log().append(QStringLiteral("Reading RXVpico again, attempt ") + QString::number(m_attempts));
                send(*BuildPicoStatusRequest(m_address).telegram);
                return;
            }
            if (received.size() > 16) m_engine.decodeStatus(received);
            m_delete.reset();
            m_attempts = 0;
            nextRow();
            return;
        }
        if (received.empty() && ++m_attempts <= m_retries) {
            const Row& row = m_rows[m_index];
            log().append((m_keys ? QStringLiteral("Setting again AES key: ") : QStringLiteral("Setting again ID: ")) +
                         Text(row.id) + QStringLiteral(", attempt ") + QString::number(m_attempts));
            send(m_sent);
            return;
        }
        m_attempts = 0;
        ++m_index;
        nextRow();
    }

private:
    void send(const Telegram& telegram) {
        m_sent = telegram;
        transmit(OutgoingOf(telegram));
    }

    void nextRow() {
        for (; m_index < m_rows.size(); ++m_index) {
            const Row& row = m_rows[m_index];
            const PicoCommand command =
                m_keys ? BuildPicoSetKey(m_address, row.id, row.key) : BuildPicoAdd(m_address, row.id);
            LogLines(log(), command.log);
            if (command.telegram) {
                send(*command.telegram);
                return;
            }
        }
        finish(OperationOutcome::Completed);
    }

    RxvpicoEngine& m_engine;
    std::uint8_t m_address;
    bool m_keys;
    std::vector<Row> m_rows;
    int m_retries;
    std::optional<Telegram> m_delete;
    Telegram m_sent;
    std::size_t m_index = 0;
    int m_attempts = 0;
};

// Mode 5 of the selected-rows cycle: the add command for each flagged row's ID. The receiver acknowledges
// an add with E5h, so the acknowledge counts as the row's answer, as does a status telegram.
class RxvpicoEngine::AddStrategy final : public RowStrategy {
public:
    AddStrategy(RxvpicoEngine& engine, std::uint8_t address) : m_engine(engine), m_address(address) {}

    std::optional<Outgoing> request(const RowTarget& target, int, int) override {
        const PicoCommand command = BuildPicoAdd(m_address, target.identification);
        LogLines(m_engine.m_log, command.log);
        if (!command.telegram) return std::nullopt;
        m_sent = *command.telegram;
        return OutgoingOf(m_sent);
    }

    Verdict judge(const Telegram& received, const RowTarget&) override {
        emit m_engine.exchanged(Bytes(m_sent), Bytes(received));
        if (IsAcknowledge(Span(received))) return Verdict::Accept();
        if (received.size() <= 1) return Verdict::Retry();
        return m_engine.decodeStatus(received) ? Verdict::Accept() : Verdict::Retry();
    }

private:
    RxvpicoEngine& m_engine;
    std::uint8_t m_address;
    Telegram m_sent;
};

RxvpicoEngine::RxvpicoEngine(OperationRunner& runner, CommunicationLog& log, MeterPage& meters,
                             FreeCommandConsole& console, QObject* parent)
    : QObject(parent), m_runner(runner), m_log(log), m_meters(meters), m_console(console),
      m_clock([] { return QDateTime::currentDateTime(); }) {}

RxvpicoEngine::~RxvpicoEngine() = default;

void RxvpicoEngine::setReceiver(const QString& picoId, const QString& address) {
    m_picoId = picoId;
    m_address = address;
}

std::optional<std::uint8_t> RxvpicoEngine::checkedReceiver() {
    const PicoReceiverCheck check = CheckPicoReceiver(m_picoId.toStdString(), m_address.toStdString());
    if (!check.address) m_log.append(Text(check.line));
    return check.address;
}

int RxvpicoEngine::retries() const { return m_meters.settings().settings().misc.retry; }

bool RxvpicoEngine::startExchange(const PicoCommand& command, Reply reply, std::uint8_t address, const QString& meterId,
                                  const QString& linkFailedLine) {
    LogLines(m_log, command.log);
    if (!command.telegram) return false;
    // Only the reads are asked again; a saved filter and a stored key get their one window.
    const bool repeated = reply == Reply::Status || reply == Reply::Key || reply == Reply::Filter;
    auto* exchange = new Exchange(*this, *command.telegram, reply, repeated ? retries() : 0, address, meterId);
    if (!linkFailedLine.isEmpty())
        connect(exchange, &Operation::finished, this, [this, linkFailedLine](OperationOutcome outcome) {
            if (outcome == OperationOutcome::LinkFailed) m_log.append(linkFailedLine);
        });
    return m_runner.start(exchange);
}

bool RxvpicoEngine::add(const QString& meterId, bool all) {
    if (m_runner.refuseWhenBusy()) return false;
    const auto address = checkedReceiver();
    if (!address) return false;
    if (all) return startRowSequence(*address, false, std::nullopt);
    if (meterId.size() != static_cast<qsizetype>(kPicoIdLength)) return false;
    return startExchange(BuildPicoAdd(*address, meterId.toStdString()), Reply::Status, *address);
}

bool RxvpicoEngine::remove(const QString& meterId, bool all) {
    if (m_runner.refuseWhenBusy()) return false;
    const auto address = checkedReceiver();
    if (!address) return false;
    if (all) {
        if (m_meters.operatorInterface().question(kDeleteAllTitle, kDeleteAllQuestion, OperatorInterface::Buttons::YesNo) !=
            OperatorInterface::Answer::Yes)
            return false;
        return startExchange(BuildPicoDeleteAll(*address), Reply::Status, *address, {}, kNoChannel);
    }
    if (meterId.size() != static_cast<qsizetype>(kPicoIdLength)) return false;
    return startExchange(BuildPicoDelete(*address, meterId.toStdString()), Reply::Status, *address, {}, kNoChannel);
}

bool RxvpicoEngine::setFlag(const QString& item, bool on) {
    if (m_runner.refuseWhenBusy()) return false;
    const auto address = checkedReceiver();
    if (!address) return false;
    return startExchange(BuildPicoFlag(*address, item.toStdString(), on), Reply::Status, *address);
}

bool RxvpicoEngine::setKey(const QString& meterId, const QString& key, bool all) {
    if (m_runner.refuseWhenBusy()) return false;
    const auto address = checkedReceiver();
    if (!address) return false;
    if (all) return startRowSequence(*address, true, std::nullopt);
    if (meterId.size() != static_cast<qsizetype>(kPicoIdLength)) return false;
    const PicoCommand command = BuildPicoSetKey(*address, meterId.toStdString(), key.toStdString());
    if (command.telegram) {
        m_console.setMode(ConsoleMode::Hex);
        emit consoleHexChosen();
    }
    return startExchange(command, Reply::Console, *address);
}

bool RxvpicoEngine::readKey(const QString& meterId) {
    if (m_runner.refuseWhenBusy()) return false;
    const auto address = checkedReceiver();
    if (!address) return false;
    if (meterId.size() != static_cast<qsizetype>(kPicoIdLength)) return false;
    return startExchange(BuildPicoReadKey(*address, meterId.toStdString()), Reply::Key, *address,
                         meterId);
}

bool RxvpicoEngine::saveFilter(PicoFilter filter, int position, const QString& value) {
    if (m_runner.refuseWhenBusy()) return false;
    const auto address = checkedReceiver();
    if (!address) return false;
    const std::string text = value.toStdString();
    const PicoCommand command = filter == PicoFilter::Id             ? BuildPicoIdFilter(*address, position, text)
                                : filter == PicoFilter::Manufacturer ? BuildPicoManufacturerFilter(*address, position, text)
                                                                     : BuildPicoMediumFilter(*address, position, text);
    return startExchange(command, Reply::Acknowledge, *address);
}

bool RxvpicoEngine::readFilter(PicoFilter filter) {
    if (m_runner.refuseWhenBusy()) return false;
    const auto address = checkedReceiver();
    if (!address) return false;
    return startExchange(BuildPicoReadFilter(*address, filter), Reply::Filter, *address);
}

bool RxvpicoEngine::getMeters() {
    if (m_runner.refuseWhenBusy()) return false;
    const auto address = checkedReceiver();
    if (!address) return false;
    return m_runner.start(new ListReading(*this, *address, retries()));
}

bool RxvpicoEngine::readStatus() {
    if (m_runner.refuseWhenBusy()) return false;
    const auto address = checkedReceiver();
    if (!address) return false;
    return startExchange(BuildPicoStatusRequest(*address), Reply::Status, *address);
}

bool RxvpicoEngine::setClock() {
    if (m_runner.refuseWhenBusy()) return false;
    const auto address = checkedReceiver();
    if (!address) return false;
    return startExchange(BuildPicoDateTime(*address, clockNow()), Reply::Status, *address);
}

bool RxvpicoEngine::sendTable() {
    emit allChanged(true);
    if (m_runner.refuseWhenBusy()) return false;
    const auto address = checkedReceiver();
    if (!address) return false;
    if (m_meters.operatorInterface().question(kDeleteAllTitle, kDeleteAllQuestion, OperatorInterface::Buttons::YesNo) !=
        OperatorInterface::Answer::Yes)
        return false;
    const PicoCommand deleteAll = BuildPicoDeleteAll(*address);
    return startRowSequence(*address, false, deleteAll.telegram);
}

bool RxvpicoEngine::addFlaggedRows() {
    if (m_runner.refuseWhenBusy()) return false;
    const std::vector<RowTarget> targets = m_meters.flaggedTargets();
    if (targets.empty()) {
        m_log.append(kNothingSelected);
        return false;
    }
    const auto address = checkedReceiver();
    if (!address) return false;
    if (targets.size() == 1)
        return startExchange(BuildPicoAdd(*address, targets.front().identification), Reply::Status,
                             *address);
    return m_meters.startBatch(BusOperation::Receiver, std::make_unique<AddStrategy>(*this, *address));
}

bool RxvpicoEngine::startRowSequence(std::uint8_t address, bool keys, std::optional<Telegram> deleteFirst) {
    const MeterTable& table = m_meters.table();
    std::vector<RowSequence::Row> rows;
    for (int row = 1; row < table.rowCount(); ++row) {
        const std::vector<std::string> cells = table.rowCells(row);
        const bool empty = std::all_of(cells.begin(), cells.end(), [](const std::string& c) { return c.empty(); });
        // The table's trailing empty row is where the next meter goes, not a meter.
        if (empty && row == table.rowCount() - 1) break;
        rows.push_back({table.cell(row, 0), table.cell(row, MeterTable::kKeyColumn)});
    }
    return m_runner.start(new RowSequence(*this, address, keys, std::move(rows), retries(), std::move(deleteFirst)));
}

bool RxvpicoEngine::decodeStatus(const Telegram& reply) {
    const std::optional<PicoStatus> status = ParsePicoStatus(Span(reply));
    if (!status) {
        m_log.append(Text(kNotPicoStatus));
        return false;
    }
    LogLines(m_log, PicoStatusLines(*status));
    m_lastStatus = status;
    emit statusRead();
    return true;
}

void RxvpicoEngine::keyReceived(const QString& meterId, const QString& key) {
    m_lastKey = key;
    emit keyRead(key);
    const MeterTable& table = m_meters.table();
    const std::string id = meterId.toStdString();
    for (int row = 1; row < table.rowCount(); ++row)
        if (table.cell(row, 0) == id) m_meters.writeCell(row, MeterTable::kKeyColumn, key.toStdString());
}

PicoClock RxvpicoEngine::clockNow() const {
    const QDateTime now = m_clock();
    return {now.date().year(), now.date().month(), now.date().day(), now.time().hour(), now.time().minute()};
}

} // namespace veltro

#include "rxvpico_engine.moc"
