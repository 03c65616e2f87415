#include "sim/bus.h"

#include <algorithm>
#include <iterator>

#include "app/json_writer.h"
#include "mbus/hex.h"

namespace veltro::sim {
namespace {

// "68 0B 0B 68": the hex rendering without its trailing blank.
std::string SpacedHex(std::span<const std::uint8_t> bytes) {
    std::string text = HexRendering(bytes);
    if (!text.empty()) text.pop_back();
    return text;
}

} // namespace

Telegram OverlayAnswers(std::span<const Telegram> answers) {
    std::size_t longest = 0;
    for (const auto& a : answers) longest = std::max(longest, a.size());
    Telegram line;
    for (std::size_t i = 0; i < longest; ++i) {
        std::uint8_t character = 0xFF;  // an idle line is mark
        for (const auto& a : answers)
            if (i < a.size()) character &= a[i];
        line.append(character);
    }
    return line;
}

std::chrono::milliseconds BusExchange::answerDelay(std::chrono::milliseconds lineDefault) const {
    std::chrono::milliseconds latest{0};
    for (const auto& own : answerDelays) latest = std::max(latest, own.value_or(lineDefault));
    return answerDelays.empty() ? lineDefault : latest;
}

void Bus::add(std::unique_ptr<Device> device) {
    std::lock_guard lock(m_mutex);
    m_devices.push_back(std::move(device));
}

std::size_t Bus::size() const {
    std::lock_guard lock(m_mutex);
    return m_devices.size();
}

std::vector<JournalEntry> Bus::journal() const {
    std::lock_guard lock(m_mutex);
    return {m_journal.begin(), m_journal.end()};
}

void Bus::setJournalListener(std::function<void(const JournalEntry&)> listener) {
    std::lock_guard lock(m_mutex);
    m_journalListener = std::move(listener);
}

BusExchange Bus::transact(const MasterFrame& frame, int lineBaud) {
    std::lock_guard lock(m_mutex);
    BusExchange exchange;
    JournalEntry entry;
    entry.frame = SpacedHex(frame.bytes.bytes());
    entry.baud = lineBaud;
    std::vector<Telegram> answers;
    for (const auto& device : m_devices) {
        std::string id = device->id();  // before it hears: the frame may change it
        auto response = device->hear(frame, lineBaud);
        exchange.notes.insert(exchange.notes.end(), response.notes.begin(), response.notes.end());
        if (response.reached) entry.reached.push_back(std::move(id));
        std::move(response.changes.begin(), response.changes.end(), std::back_inserter(entry.changes));
        if (response.answer && !response.answer->empty()) {
            answers.push_back(std::move(*response.answer));
            exchange.answerDelays.push_back(response.answerDelay);
        }
    }
    exchange.answeringDevices = answers.size();
    exchange.answer = OverlayAnswers(answers);
    entry.answer = SpacedHex(exchange.answer.bytes());

    if (m_journalListener) m_journalListener(entry);
    m_journal.push_back(std::move(entry));
    if (m_journal.size() > kJournalLimit) m_journal.pop_front();
    return exchange;
}

void Bus::setLineFaults(const LineFaults& faults) {
    std::lock_guard lock(m_mutex);
    if (faults.any()) m_faultyLine.emplace(faults);
    else m_faultyLine.reset();
}

DisturbedAnswer Bus::disturb(std::span<const std::uint8_t> bytes) {
    std::lock_guard lock(m_mutex);
    if (m_faultyLine) return m_faultyLine->disturb(bytes);
    return {{bytes.begin(), bytes.end()}, std::vector<int>(bytes.size(), 0), {}};
}

void Bus::tick(std::chrono::steady_clock::time_point now) {
    std::lock_guard lock(m_mutex);
    for (const auto& device : m_devices) {
        for (auto& t : device->unsolicited(now)) {
            m_unsolicited.push_back(std::move(t));
            ++m_unsolicitedEnd;
            if (m_unsolicited.size() > kUnsolicitedLimit) m_unsolicited.pop_front();
        }
    }
}

std::vector<Telegram> Bus::unsolicitedAfter(std::uint64_t& cursor) const {
    std::lock_guard lock(m_mutex);
    const std::uint64_t first = m_unsolicitedEnd - m_unsolicited.size();
    std::vector<Telegram> out;
    for (std::uint64_t i = std::max(cursor, first); i < m_unsolicitedEnd; ++i) out.push_back(m_unsolicited[i - first]);
    cursor = m_unsolicitedEnd;
    return out;
}

std::uint64_t Bus::unsolicitedEnd() const {
    std::lock_guard lock(m_mutex);
    return m_unsolicitedEnd;
}

std::string JournalJsonLine(const JournalEntry& entry) {
    JsonWriter json;
    json.beginObject();
    json.key("frame").value(entry.frame);
    json.key("baud").value(entry.baud);
    json.key("answer").value(entry.answer);
    json.key("reached").strings(entry.reached);
    json.key("changes").beginArray();
    for (const auto& c : entry.changes) {
        json.beginObject();
        json.key("id").value(c.id).key("field").value(c.field).key("from").value(c.from).key("to").value(c.to);
        json.endObject();
    }
    json.endArray();
    json.endObject();
    return json.text();
}

} // namespace veltro::sim
