#pragma once

#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "sim/device.h"

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
};

// The wired bus: every device hears every frame; their answers overlay.
// Thread-safe, so a bus may serve a transport on one thread while a test looks at it from another.
class Bus {
public:
    Bus() = default;
    Bus(const Bus&) = delete;
    Bus& operator=(const Bus&) = delete;

    void add(std::unique_ptr<Device> device);

    BusExchange transact(const MasterFrame& frame, int lineBaud);

    std::size_t size() const;

    // Calls `visit` for each device under the bus lock (inspection by tests and logs).
    template <typename Visitor>
    void forEachDevice(Visitor&& visit) const {
        std::lock_guard lock(m_mutex);
        for (const auto& device : m_devices) visit(*device);
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::unique_ptr<Device>> m_devices;
};

} // namespace veltro::sim
