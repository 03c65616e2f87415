#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "mbus/telegram.h"
#include "mbus/frame_assembler.h"

namespace veltro::sim {

// One value a frame changed in a device: {"51200417", "address", "2", "7"}. `id` is the identification
// the device had when the frame came (the old one when the frame changes it). Fields: "address",
// "identification", "baud", "medium", "vif" (the counter record's), "pulse width", "counter",
// "counter type", "selected" ("true"/"false"). A telegram that sets the value a device already has
// changes nothing and gives no entry.
struct DeviceChange {
    std::string id;
    std::string field;
    std::string from;
    std::string to;

    bool operator==(const DeviceChange&) const = default;
};

// What a device does with one frame it heard.
struct DeviceResponse {
    std::optional<Telegram> answer;  // nothing: the device stays silent
    // The frame was addressed to this device: its primary address, 254 or 255, 253 while it is selected,
    // or a selection that matches it. A selection that deselects it does not reach it, yet changes it.
    bool reached = false;
    std::vector<DeviceChange> changes;
    std::vector<std::string> notes;  // what it did, for the verbose log
    // From the end of the master's frame to the answer's first character, when the device keeps its own
    // time rather than the port's (a slow meter); nothing: the port's answer delay.
    std::optional<std::chrono::milliseconds> answerDelay;
};

// Something on the bus that hears every frame the master sends: a meter, a pulse counter, later a
// gateway's or a display's bus side. The bus overlays the answers of all devices that answer one frame.
class Device {
public:
    virtual ~Device() = default;

    // "meter 12345678 at 5", for logs.
    virtual std::string label() const = 0;

    // The 8-digit identification, "12345678", as the journal names the device; empty for devices without.
    virtual std::string id() const { return {}; }

    // The line speed is the one the master sends at; a device listening at another speed hears only
    // noise and stays silent.
    virtual DeviceResponse hear(const MasterFrame& frame, int lineBaud) = 0;

    // What the device sends of its own accord by `now`, such as a receiver forwarding the radio
    // telegrams it hears; the ports that listen for it put it on the line as it comes.
    virtual std::vector<Telegram> unsolicited(std::chrono::steady_clock::time_point /*now*/) { return {}; }
};

} // namespace veltro::sim
