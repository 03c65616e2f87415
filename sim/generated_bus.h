#pragma once

#include <cstdint>
#include <vector>

#include "sim/meter.h"

namespace veltro::sim {

inline constexpr int kMaxGeneratedMeters = 250;
inline constexpr std::uint32_t kDefaultGeneratorSeed = 1;

// `count` meters (1..kMaxGeneratedMeters) for a secondary-address search to find, all at primary address 0
// where new meters sit, so that only a search tells them apart. Their identifications are distinct random
// 8-digit numbers drawn from `seed`: the same count and seed always give the same bus, on any platform.
// Manufacturer "SIM", version 01h, at random a water meter (a volume register) or a heat meter (energy
// and volume).
std::vector<MeterState> GeneratedMeterStates(int count, std::uint32_t seed = kDefaultGeneratorSeed);

} // namespace veltro::sim
