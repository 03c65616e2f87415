#include "sim/generated_bus.h"

#include <cstdio>
#include <random>
#include <set>
#include <string>

#include "decode/header_fields.h"

namespace veltro::sim {
namespace {

constexpr std::uint32_t kIdentifications = 100000000;  // 00000000..99999999
constexpr std::uint8_t kWater = 0x07;
constexpr std::uint8_t kHeat = 0x04;

// Only the engine's raw output is fixed by the C++ standard; the library's distributions are not, so
// the numbers are cut from it by hand to keep a seed's bus the same with every compiler.
std::uint32_t Below(std::mt19937& random, std::uint32_t limit) {
    const std::uint32_t unbiased = static_cast<std::uint32_t>(0xFFFFFFFFu / limit * limit);
    for (;;) {
        const auto value = static_cast<std::uint32_t>(random());
        if (value < unbiased) return value % limit;
    }
}

DataRecord Register(std::uint8_t vif, std::uint32_t value) {
    DataRecord r;
    r.dif = 0x04;  // 32-bit integer
    r.vif = vif;
    r.data = EncodeNumberForDif(r.dif, value).value();
    return r;
}

} // namespace

std::vector<MeterState> GeneratedMeterStates(int count, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::set<std::uint32_t> taken;
    std::vector<MeterState> meters;
    for (int n = 1; n <= count; ++n) {
        std::uint32_t id = 0;
        do id = Below(random, kIdentifications);
        while (!taken.insert(id).second);
        char digits[9];
        std::snprintf(digits, sizeof digits, "%08u", static_cast<unsigned>(id));

        MeterState m;
        const bool heat = Below(random, 2) == 1;
        m.name = (heat ? "generated heat meter " : "generated water meter ") + std::to_string(n);
        m.primaryAddress = 0;
        m.identification = PackIdentification(digits).value();
        m.manufacturer = ManufacturerCode("SIM").value();
        m.version = 0x01;
        m.medium = heat ? kHeat : kWater;
        m.accessNumber = static_cast<std::uint8_t>(Below(random, 256));
        std::vector<DataRecord> records;
        if (heat) records.push_back(Register(0x06, Below(random, 1000000)));  // energy, kWh
        records.push_back(Register(0x13, Below(random, 10000000)));           // volume, litres
        m.telegrams.push_back({frame::kRspUd, frame::kCiVariableData, std::move(records)});
        m.counterRecord = FirstCounterCandidate(m.telegrams.front().records);
        meters.push_back(std::move(m));
    }
    return meters;
}

} // namespace veltro::sim
