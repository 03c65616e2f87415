#pragma once

#include <memory>
#include <vector>

#include "sim/bus.h"
#include "sim/meter.h"

namespace veltro::sim {

// The meters of the built-in bus (docs/SIMULATOR.md has the table), each at 2400 baud:
// heat, water, electricity and gas meters at addresses 1..4, the maker's two pulse counters ("KXR",
// versions 12h and 31h) at 10 and 11, a "BMT" water meter at 12, a meter with three telegrams at 15, two
// meters sharing address 0, and a relay unit at 20. Their identifications make both the LSB-first and the
// MSB-first wildcard search meet collisions.
std::vector<MeterState> DefaultMeterStates();

// A bus holding the default meters.
std::unique_ptr<Bus> DefaultBus();

} // namespace veltro::sim
