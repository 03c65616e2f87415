#pragma once

#include <memory>
#include <vector>

#include "sim/bus.h"
#include "sim/display.h"
#include "sim/meter.h"
#include "sim/rxv_kt.h"
#include "sim/rxvpico.h"

namespace veltro::sim {

// The meters of the built-in bus (docs/SIMULATOR.md has the table), each at 2400 baud:
// heat, water, electricity and gas meters at addresses 1..4, the maker's two pulse counters ("KXR",
// versions 12h and 31h) at 10 and 11, a "BMT" water meter at 12, a meter with three telegrams at 15, two
// meters sharing address 0, and a relay unit at 20. Their identifications make both the LSB-first and the
// MSB-first wildcard search meet collisions.
std::vector<MeterState> DefaultMeterStates();

// The display of the built-in bus: entries 1 (heat, kWh), 2 (water, litres shown in m3), 3 (electricity,
// Wh shown in kWh, tariffs 1 and 2) and 15 (heat with four monthly values, initial value 100.5), user
// numbers 101, 102, 103 and 201, at 2400 baud, dated by the host.
DisplayConfig DefaultDisplayConfig();

// The receiver of the built-in bus, with no entries: four radio meters heard every 2 s, 500 ms apart
// (12345678 with the listing's example telegram, 23456789 heat, 34567890 electricity, 45678901 gas under
// CI 72h with the aux ID 56789012), each keyed with its ID written four times as hex.
RxvKtConfig DefaultRxvKtConfig();

// The RXVpico receiver of the built-in bus: at primary address 30, ID 00000001, nothing listed, its
// clock standing at 2020-01-01 00:00 until it is set.
RxvPicoConfig DefaultRxvPicoConfig();

// A bus holding the default meters, then the default display, then the RXV-KT, then the RXVpico.
std::unique_ptr<Bus> DefaultBus();

} // namespace veltro::sim
