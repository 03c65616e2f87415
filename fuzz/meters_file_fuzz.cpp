// libFuzzer harness for the simulator's meters file (seeds in fuzz/corpus/meters_file/): any bytes as the
// JSON. A file that is read makes a bus, and every meter on it answers a read request at its address and
// speed with a frame that passes the master's checks, which the decoder then reads.
#include <cstdint>
#include <cstdlib>

#include <QByteArray>
#include <QString>

#include "decode/meter_response.h"
#include "mbus/frame_assembler.h"
#include "mbus/frames.h"
#include "sim/meters_file.h"
#include "require.h"

using namespace veltro;

namespace {

MasterFrame ReadRequest(std::uint8_t address) {
    FrameAssembler assembler;
    const auto events = assembler.feed(BuildReqUd2(address), std::chrono::milliseconds{0});
    Require(events.size() == 1 && events[0].frame);
    return *events[0].frame;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray json(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QString error;
    // Relative "rsp_ud_file" paths resolve into a folder that does not exist.
    auto description = sim::ParseBusJson(json, QStringLiteral("/nonexistent-veltro-fuzz"), error);
    if (!description) {
        Require(!error.isEmpty());
        return 0;
    }
    std::vector<std::pair<int, int>> targets;
    for (const auto& meter : description->meters) targets.emplace_back(meter.primaryAddress, meter.baud);
    auto bus = sim::MakeBus(std::move(*description), error);
    Require(bus != nullptr);
    for (const auto& [address, baud] : targets) {
        const sim::BusExchange exchange = bus->transact(ReadRequest(static_cast<std::uint8_t>(address)), baud);
        if (exchange.answeringDevices != 1 || exchange.answer.size() == 1) continue;
        Require(ValidateLongFrame(exchange.answer).valid);
        DecodeMeterResponse(exchange.answer, DecodeSettings{});
    }
    return 0;
}
