#pragma once

#include <optional>
#include <string>
#include <vector>

#include "mbus/telegram.h"
#include "mbus/frame_assembler.h"

namespace veltro::sim {

// What a device does with one frame it heard.
struct DeviceResponse {
    std::optional<Telegram> answer;  // nothing: the device stays silent
    std::vector<std::string> notes;  // what it changed, for the verbose log
};

// Something on the bus that hears every frame the master sends: a meter, a pulse counter, later a
// gateway's or a display's bus side. The bus overlays the answers of all devices that answer one frame.
class Device {
public:
    virtual ~Device() = default;

    // "meter 12345678 at 5", for logs.
    virtual std::string label() const = 0;

    // The line speed is the one the master sends at; a device listening at another speed hears only
    // noise and stays silent.
    virtual DeviceResponse hear(const MasterFrame& frame, int lineBaud) = 0;
};

} // namespace veltro::sim
