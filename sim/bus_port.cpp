#include "sim/bus_port.h"

#include <algorithm>

#include "mbus/hex.h"
#include "sim/meter.h"
#include "sim/rxv_kt.h"

namespace veltro::sim {
namespace {

constexpr qint64 kBitsPerCharacter = 11;
constexpr int kUnsolicitedPollMs = 50;

QString Hex(std::span<const std::uint8_t> bytes) { return QString::fromStdString(HexRendering(bytes)).trimmed(); }

QString Hex(const QByteArray& bytes) {
    return Hex(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                             static_cast<std::size_t>(bytes.size())));
}

// A text answer as the verbose log shows it: "Active devices: 1-3\x0D\x0A".
QString Quoted(const QByteArray& bytes) {
    QString text = "\"";
    for (const char c : bytes) {
        const auto b = static_cast<std::uint8_t>(c);
        if (b >= 0x20 && b <= 0x7E && b != '"' && b != '\\') text += QChar(b);
        else text += "\\x" + QString::fromStdString(HexByte(b));
    }
    return text + "\"";
}

// Milliseconds from the start of an answer until `characters` characters have left at `baud`.
qint64 CharactersTime(qsizetype characters, int baud) {
    return (static_cast<qint64>(characters) * kBitsPerCharacter * 1000 + baud - 1) / baud;
}

// The same in microseconds, for the master's frames: a selection at 2400 baud takes 77.9 ms, and a search
// sends hundreds of them, so whole milliseconds per frame would add up.
qint64 CharactersTimeUs(qint64 characters, int baud) {
    return (characters * kBitsPerCharacter * 1000000 + baud - 1) / baud;
}

} // namespace

BusPort::BusPort(Bus& bus, LineTiming timing, QString name, QObject* parent)
    : QObject(parent), m_bus(bus), m_timing(timing), m_name(std::move(name)), m_assembler(timing.interCharacterTimeout) {
    m_clock.start();
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &BusPort::pump);
    m_inboundTimer.setSingleShot(true);
    m_inboundTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_inboundTimer, &QTimer::timeout, this, &BusPort::hearDue);
    m_flushTimer.setSingleShot(true);
    m_flushTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_flushTimer, &QTimer::timeout, this, &BusPort::flushQuiet);
}

void BusPort::receive(const QByteArray& bytes, int lineBaud) {
    const qint64 nowUs = m_clock.nsecsElapsed() / 1000;
    const bool lineTime = m_timing.wireSpeed && lineBaud > 0;
    m_assembler.setTextGap(TextGapFor(lineBaud));
    m_lastBaud = lineBaud;
    const std::span<const std::uint8_t> data(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                             static_cast<std::size_t>(bytes.size()));
    if (lineTime && !bytes.isEmpty()) {
        // The master's UART sends the piece right after whatever it is still sending.
        const Chunk chunk{m_received, bytes.size(), std::max(nowUs, m_lineFreeUs), lineBaud};
        m_lineFreeUs = chunk.startUs + CharactersTimeUs(chunk.count, lineBaud);
        m_chunks.push_back(chunk);
        m_received += static_cast<quint64>(bytes.size());
        // Each character reaches the assembler when it has crossed the line, so the quiet gaps that end a
        // text are the line's, not those of the pieces the master wrote.
        for (std::size_t i = 0; i < data.size(); ++i) {
            const qint64 crossedUs = chunk.startUs + CharactersTimeUs(static_cast<qint64>(i) + 1, lineBaud);
            take(m_assembler.feed(data.subspan(i, 1), std::chrono::milliseconds{crossedUs / 1000}), lineBaud, nowUs);
        }
    } else {
        m_received += static_cast<quint64>(bytes.size());
        take(m_assembler.feed(data, std::chrono::milliseconds{nowUs / 1000}), lineBaud, nowUs);
    }
    armFlush();
    if (!m_inbound.empty() && !m_inboundTimer.isActive()) hearDue();
}

void BusPort::take(const std::vector<AssemblyEvent>& events, int lineBaud, qint64 nowUs) {
    for (const auto& event : events) {
        if (event.frame) {
            m_assembled += event.frame->bytes.size();
            if (!m_timing.wireSpeed) {
                handle(*event.frame, lineBaud, m_clock.elapsed());
                continue;
            }
            qint64 heardUs = lineEndUs(m_assembled, nowUs);
            // A text is heard when the quiet after it has passed on the line.
            if (event.frame->kind == MasterFrame::Kind::Text && lineBaud > 0)
                heardUs += std::chrono::duration_cast<std::chrono::microseconds>(TextGapFor(lineBaud)).count();
            if (!m_inbound.empty()) heardUs = std::max(heardUs, m_inbound.back().heardUs);
            m_inbound.push_back({*event.frame, lineBaud, heardUs});
        } else {
            m_assembled += event.discarded.size();
            emit log(m_name + " dropped " + QString::number(event.discarded.size()) + " byte(s), " +
                     QString::fromStdString(event.reason) + ": " + Hex(event.discarded.bytes()));
        }
    }
}

void BusPort::armFlush() {
    const auto due = m_assembler.flushDueAt();
    if (!due) {
        m_flushTimer.stop();
        return;
    }
    const qint64 nowMs = m_clock.nsecsElapsed() / 1000000;
    m_flushTimer.start(static_cast<int>(std::clamp<qint64>(due->count() - nowMs, 0, 60000)));
}

void BusPort::flushQuiet() {
    const qint64 nowUs = m_clock.nsecsElapsed() / 1000;
    take(m_assembler.flush(std::chrono::milliseconds{nowUs / 1000}), m_lastBaud, nowUs);
    armFlush();
    if (!m_inbound.empty() && !m_inboundTimer.isActive()) hearDue();
}

qint64 BusPort::lineEndUs(quint64 streamOffset, qint64 nowUs) {
    const quint64 lastByte = streamOffset - 1;
    while (!m_chunks.empty() && m_chunks.front().firstOffset + static_cast<quint64>(m_chunks.front().count) <= lastByte)
        m_chunks.pop_front();
    if (m_chunks.empty() || m_chunks.front().firstOffset > lastByte) return nowUs;  // sent at no meter's speed
    const Chunk& chunk = m_chunks.front();
    return chunk.startUs + CharactersTimeUs(static_cast<qint64>(lastByte - chunk.firstOffset) + 1, chunk.baud);
}

void BusPort::hearDue() {
    while (!m_inbound.empty()) {
        const qint64 nowUs = m_clock.nsecsElapsed() / 1000;
        if (m_inbound.front().heardUs > nowUs) {
            m_inboundTimer.start(static_cast<int>((m_inbound.front().heardUs - nowUs + 999) / 1000));
            return;
        }
        Inbound in = std::move(m_inbound.front());
        m_inbound.pop_front();
        const quint64 generation = m_generation;
        handle(in.frame, in.baud, in.heardUs / 1000);
        if (generation != m_generation) return;
    }
}

// The program writes receiver commands back to back ("set encr=5,<16 bytes>set akey=..."), so a burst is
// cut into the commands it holds and each is heard on its own.
void BusPort::handle(const MasterFrame& frame, int lineBaud, qint64 heardMs) {
    if (frame.kind != MasterFrame::Kind::Text) return handleOne(frame, lineBaud, heardMs);
    const std::string_view burst(reinterpret_cast<const char*>(frame.bytes.data()), frame.bytes.size());
    const auto pieces = SplitReceiverCommands(burst);
    if (pieces.size() <= 1) return handleOne(frame, lineBaud, heardMs);
    const quint64 generation = m_generation;
    for (const auto piece : pieces) {
        MasterFrame one;
        one.kind = MasterFrame::Kind::Text;
        one.bytes = Telegram(std::span(reinterpret_cast<const std::uint8_t*>(piece.data()), piece.size()));
        handleOne(one, lineBaud, heardMs);
        if (generation != m_generation) return;
    }
}

void BusPort::forwardUnsolicited() {
    m_unsolicitedCursor = m_bus.unsolicitedEnd();
    m_unsolicitedTimer.setInterval(kUnsolicitedPollMs);
    connect(&m_unsolicitedTimer, &QTimer::timeout, this, &BusPort::pollUnsolicited, Qt::UniqueConnection);
    m_unsolicitedTimer.start();
}

void BusPort::pollUnsolicited() {
    m_bus.tick(std::chrono::steady_clock::now());
    for (const auto& t : m_bus.unsolicitedAfter(m_unsolicitedCursor)) {
        emit log(m_name + " unsolicited telegram of " + QString::number(t.size()) + " bytes");
        enqueue(QByteArray(reinterpret_cast<const char*>(t.data()), static_cast<qsizetype>(t.size())),
                m_lastBaud > 0 ? m_lastBaud : 2400, m_clock.elapsed(), false);
    }
}

void BusPort::enqueue(QByteArray bytes, int baud, qint64 dueMs, bool text) {
    const auto line = m_bus.disturb(std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                              static_cast<std::size_t>(bytes.size())));
    for (const auto& note : line.notes) emit log(m_name + "    fault: " + QString::fromStdString(note));
    if (line.bytes.empty()) return;  // the whole answer lost on the line
    Outgoing out;
    out.bytes = QByteArray(reinterpret_cast<const char*>(line.bytes.data()), static_cast<qsizetype>(line.bytes.size()));
    out.baud = baud;
    out.text = text;
    out.dueMs = dueMs;
    const bool lineTime = m_timing.wireSpeed && baud > 0;
    const int pauseBaud = baud > 0 ? baud : kDefaultBaud;  // the pauses of a line at no meter's speed
    qint64 paused = 0;  // character times
    out.readyMs.reserve(line.bytes.size());
    for (std::size_t i = 0; i < line.bytes.size(); ++i) {
        paused += line.pauseCharacters[i];
        const qint64 characters = paused + (lineTime ? static_cast<qint64>(i) + 1 : 0);
        out.readyMs.push_back(lineTime ? CharactersTime(characters, baud) : characters > 0 ? CharactersTime(characters, pauseBaud) : 0);
    }
    m_queue.push_back(std::move(out));
    if (m_queue.size() == 1) pump();
}

void BusPort::handleOne(const MasterFrame& frame, int lineBaud, qint64 heardMs) {
    const bool text = frame.kind == MasterFrame::Kind::Text;
    const QString heard = text ? QString() : Hex(frame.bytes.bytes()) + "   ";
    emit log(m_name + " <- " + heard + QString::fromStdString(DescribeFrame(frame)) + " at " + QString::number(lineBaud) +
             " baud");
    auto exchange = m_bus.transact(frame, lineBaud);
    for (const auto& note : exchange.notes) emit log(m_name + "    " + QString::fromStdString(note));
    if (exchange.answer.empty()) {
        emit log(m_name + "    no answer");
        return;
    }
    if (exchange.answeringDevices > 1)
        emit log(m_name + "    " + QString::number(exchange.answeringDevices) + " devices answer at once");
    enqueue(QByteArray(reinterpret_cast<const char*>(exchange.answer.data()), static_cast<qsizetype>(exchange.answer.size())),
            lineBaud, heardMs + exchange.answerDelay(m_timing.answerDelay).count(), text);
}

void BusPort::reset() {
    ++m_generation;
    m_assembler.reset();
    m_queue.clear();
    m_timer.stop();
    m_chunks.clear();
    m_inbound.clear();
    m_inboundTimer.stop();
    m_flushTimer.stop();
    m_assembled = m_received;
    m_lineFreeUs = 0;
    m_unsolicitedCursor = m_bus.unsolicitedEnd();
}

void BusPort::pump() {
    while (!m_queue.empty()) {
        Outgoing& out = m_queue.front();
        const qint64 now = m_clock.elapsed();
        if (now < out.dueMs) {
            m_timer.start(static_cast<int>(out.dueMs - now));
            return;
        }
        if (out.startedMs < 0) {
            out.startedMs = out.dueMs;
            emit log(m_name + " -> " + (out.text ? Quoted(out.bytes) : Hex(out.bytes)));
        }
        const quint64 generation = m_generation;
        const qint64 elapsed = now - out.startedMs;
        qsizetype complete = out.sent;
        while (complete < out.bytes.size() && out.readyMs[static_cast<std::size_t>(complete)] <= elapsed) ++complete;
        if (complete > out.sent) {
            const QByteArray piece = out.bytes.mid(out.sent, complete - out.sent);
            out.sent = complete;
            emit transmit(piece);
            if (generation != m_generation) return;
        }
        if (out.sent < out.bytes.size()) {
            m_timer.start(static_cast<int>(std::max<qint64>(1, out.readyMs[static_cast<std::size_t>(out.sent)] - elapsed)));
            return;
        }
        // The next answer cannot start before this one has left the line.
        const qint64 end = m_timing.wireSpeed && out.baud > 0 ? out.startedMs + out.readyMs.back() : now;
        m_queue.pop_front();
        if (!m_queue.empty()) m_queue.front().dueMs = std::max(m_queue.front().dueMs, end);
    }
}

} // namespace veltro::sim
