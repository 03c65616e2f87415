#pragma once

#include <chrono>
#include <functional>
#include <ostream>
#include <set>
#include <string_view>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include "decode/header_fields.h"
#include "mbus/frames.h"
#include "mbus/hex.h"
#include "mbus/identification.h"
#include "sim/bus.h"
#include "mbus/frame_assembler.h"
#include "sim/meter.h"
#include "test_util.h"

namespace veltro::sim::test {

using veltro::test::Bytes;

// A frame as a meter receives it: through the frame assembler. A frame the assembler rejects never
// reaches the bus, and the result is empty, as on a real bus.
inline Telegram Send(Bus& bus, const Telegram& frame, int lineBaud = 2400) {
    FrameAssembler assembler;
    Telegram line;
    for (const auto& event : assembler.feed(frame, std::chrono::milliseconds{0})) {
        if (!event.frame) continue;
        auto exchange = bus.transact(*event.frame, lineBaud);
        line.append(exchange.answer.bytes());
    }
    return line;
}

inline Telegram Selection(const char* mask, std::uint16_t manufacturer = 0xFFFF, std::uint8_t version = 0xFF,
                          std::uint8_t medium = 0xFF) {
    auto packed = PackIdentification(mask, IdentificationDigits::AllowWildcard);
    if (!packed) throw std::invalid_argument(std::string("bad mask in test: ") + mask);
    return BuildSelectionFrame(*packed, manufacturer, version, medium);
}

// A text for the display as the bytes on the line.
inline Telegram TextBytes(std::string_view text) {
    return Telegram(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

// A long frame from its C, A, CI and data given as hex text, with L and CS computed.
inline Telegram LongFrame(std::uint8_t control, std::uint8_t address, std::uint8_t ci, std::string_view dataHex) {
    return *BuildLongFrame(control, address, ci, Bytes(dataHex));
}

// One simple meter: a volume register (04 13) holding `volume` litres.
inline MeterState SimpleMeter(int address, const char* id, const char* manufacturer = "SIM", std::uint8_t version = 1,
                              std::uint8_t medium = 0x07, int baud = 2400, double volume = 1000) {
    MeterState m;
    m.primaryAddress = address;
    m.identification = *PackIdentification(id);
    m.manufacturer = *ManufacturerCode(manufacturer);
    m.version = version;
    m.medium = medium;
    m.baud = baud;
    DataRecord r;
    r.dif = 0x04;
    r.vif = 0x13;
    r.data = *EncodeNumberForDif(0x04, volume);
    m.telegrams.push_back({frame::kRspUd, frame::kCiVariableData, {r}});
    m.counterRecord = 0;
    return m;
}

inline std::unique_ptr<Bus> BusOf(std::vector<MeterState> states) {
    auto bus = std::make_unique<Bus>();
    for (auto& s : states) {
        std::string error;
        auto meter = Meter::Create(std::move(s), error);
        if (!meter) throw std::invalid_argument("meter in test: " + error);
        bus->add(std::move(meter));
    }
    return bus;
}

// The meters of a bus, in bus order (the bus owns them).
inline std::vector<const Meter*> MetersOf(const Bus& bus) {
    std::vector<const Meter*> meters;
    bus.forEachDevice([&](const Device& d) {
        if (const auto* m = dynamic_cast<const Meter*>(&d)) meters.push_back(m);
    });
    return meters;
}

// The identifications of the meters selected now.
inline std::set<std::string> SelectedIds(const Bus& bus) {
    std::set<std::string> ids;
    for (const Meter* m : MetersOf(bus))
        if (m->selected()) ids.insert(UnpackIdentification(m->state().identification));
    return ids;
}

inline std::string IdOfFrame(const Telegram& frame) {
    if (frame.size() < 11) return {};
    return UnpackIdentification({frame[7], frame[8], frame[9], frame[10]});
}

inline bool Valid(const Telegram& frame) { return ValidateLongFrame(frame).valid; }

// Runs the event loop until `done` holds or `timeout` passes; true when it holds.
// A 2 ms tick wakes the loop, so conditions on plain file descriptors are checked too, without spinning.
inline bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    QElapsedTimer clock;
    clock.start();
    QTimer tick;
    tick.start(2);
    while (!done()) {
        if (clock.elapsed() > timeout.count()) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

inline void RunFor(std::chrono::milliseconds duration) {
    RunUntil([] { return false; }, duration);
}

// True when the bytes hold one complete frame: E5h, or a long frame as long as its L field says.
inline bool CompleteAnswer(const QByteArray& bytes) {
    if (bytes.size() == 1 && static_cast<std::uint8_t>(bytes[0]) == 0xE5) return true;
    return bytes.size() >= 2 && bytes.size() >= static_cast<std::uint8_t>(bytes[1]) + 6;
}

inline Telegram ToTelegram(const QByteArray& bytes) {
    return Telegram(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                                  static_cast<std::size_t>(bytes.size())));
}

inline QByteArray ToBytes(const Telegram& t) {
    return QByteArray(reinterpret_cast<const char*>(t.data()), static_cast<qsizetype>(t.size()));
}

} // namespace veltro::sim::test

namespace veltro::sim {
namespace {

// Table rows print as their name in test output instead of as a byte dump.
template <typename Row>
    requires requires(const Row& row) { std::string_view(row.name); }
void PrintTo(const Row& row, std::ostream* os) {
    *os << row.name;
}

} // namespace
} // namespace veltro::sim
