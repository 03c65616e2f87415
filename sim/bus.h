#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/device.h"
#include "sim/line_faults.h"

namespace veltro::sim {

// The line as the master sees it when several devices answer at once. M-Bus devices answer by drawing
// current, and a space (0) by any of them wins over a mark (1), so simultaneous characters arrive as their
// bitwise AND; after the shortest answer ends, the longer ones go on alone. Identical answers (every
// selected meter's E5h) overlay into one clean copy.
Telegram OverlayAnswers(std::span<const Telegram> answers);

// One frame's effect on the bus.
struct BusExchange {
    Telegram answer;                  // what the master receives; empty when nobody answered
    std::size_t answeringDevices = 0; // more than one: a collision (or several identical acknowledges)
    std::vector<std::string> notes;   // the devices' notes, in bus order
    // Each answering device's own answer delay (DeviceResponse::answerDelay), in bus order.
    std::vector<std::optional<std::chrono::milliseconds>> answerDelays;

    // When the answer starts on a line whose devices answer after `lineDefault` unless they keep their own
    // time: with the latest of them, since the master hears one answer and it is whole only once every
    // answering device has sent.
    std::chrono::milliseconds answerDelay(std::chrono::milliseconds lineDefault) const;
};

// One frame the bus heard and what it did to the devices, for tests and `mbus-sim --journal`.
struct JournalEntry {
    std::string frame;                  // the master's frame as hex, "10 5B FE 59 16"
    int baud = 0;                       // the line speed it was sent at
    std::string answer;                 // the overlaid answer as hex; empty when nobody answered
    std::vector<std::string> reached;   // identifications of the devices that took the frame as theirs, bus order
    std::vector<DeviceChange> changes;  // bus order

    bool operator==(const JournalEntry&) const = default;
};

// An entry as one line of JSON, without the line break:
//   {"frame": "10 40 FD 3D 16", "baud": 2400, "answer": "E5", "reached": ["12345678"],
//    "changes": [{"id": "12345678", "field": "selected", "from": "true", "to": "false"}]}
std::string JournalJsonLine(const JournalEntry& entry);

// Enough for any test and hours of polling, yet bounded: about 100 MB even if every entry held a long answer.
inline constexpr std::size_t kJournalLimit = 100000;
// Unsolicited telegrams kept for ports that read late.
inline constexpr std::size_t kUnsolicitedLimit = 256;

// The wired bus: every device hears every frame; their answers overlay. It journals every frame.
// Thread-safe, so a bus may serve a transport on one thread while a test looks at it from another.
class Bus {
public:
    Bus() = default;
    Bus(const Bus&) = delete;
    Bus& operator=(const Bus&) = delete;

    void add(std::unique_ptr<Device> device);

    BusExchange transact(const MasterFrame& frame, int lineBaud);

    std::size_t size() const;

    // The frames heard, oldest first: the newest kJournalLimit of them.
    std::vector<JournalEntry> journal() const;

    // Called with each new entry, on the thread that transacts and under the bus lock, so entries arrive
    // in order; it must not call back into the bus. Empty: none.
    void setJournalListener(std::function<void(const JournalEntry&)> listener);

    // Collects what the devices send of their own accord by `now` (Device::unsolicited) for every port
    // that forwards it; each port reads it with unsolicitedAfter.
    void tick(std::chrono::steady_clock::time_point now);
    // What the devices sent after `cursor` (0: since the bus was built), at most the newest
    // kUnsolicitedLimit of it; `cursor` moves past it.
    std::vector<Telegram> unsolicitedAfter(std::uint64_t& cursor) const;
    std::uint64_t unsolicitedEnd() const;

    // Puts the noise of `faults` on every character the devices send back, over every transport, from now
    // on, with a generator seeded afresh from faults.seed; no faults: a clean line. The journal keeps the
    // answers as the devices sent them.
    void setLineFaults(const LineFaults& faults);
    // What the line makes of `bytes` on their way to the master; the bytes unchanged on a clean line.
    DisturbedAnswer disturb(std::span<const std::uint8_t> bytes);

    // Calls `visit` for each device under the bus lock (inspection by tests and logs).
    template <typename Visitor>
    void forEachDevice(Visitor&& visit) const {
        std::lock_guard lock(m_mutex);
        for (const auto& device : m_devices) visit(*device);
    }

private:
    // Recursive: a device may look at the others while it hears a frame (the display reads its meters).
    mutable std::recursive_mutex m_mutex;
    std::vector<std::unique_ptr<Device>> m_devices;
    std::deque<JournalEntry> m_journal;
    std::function<void(const JournalEntry&)> m_journalListener;
    std::deque<Telegram> m_unsolicited;
    std::uint64_t m_unsolicitedEnd = 0;  // telegrams collected so far
    std::optional<FaultyLine> m_faultyLine;
};

} // namespace veltro::sim
