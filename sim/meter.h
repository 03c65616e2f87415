#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "mbus/constants.h"
#include "mbus/identification.h"
#include "sim/device.h"
#include "sim/record_encoder.h"

namespace veltro::sim {

inline constexpr int kDefaultBaud = 2400;

// One RSP_UD the meter can send: its C and CI fields and its records.
struct MeterTelegram {
    std::uint8_t control = frame::kRspUd;
    std::uint8_t ci = frame::kCiVariableData;
    std::vector<DataRecord> records;
};

// Everything a meter is and shows; configuration telegrams change it while the simulator runs.
struct MeterState {
    std::string name;  // free text for logs ("heat meter, flat 3")
    int primaryAddress = 0;                  // 0..250
    // Sent in the A field instead of the primary address: a captured answer to address 253 carries 253,
    // and its replay keeps that byte until the meter is given a primary address.
    std::optional<std::uint8_t> addressField;
    PackedIdentification identification{};  // BCD, least significant pair first
    std::uint16_t manufacturer = 0;
    std::uint8_t version = 0;
    std::uint8_t medium = 0;
    std::uint8_t accessNumber = 0;
    std::uint8_t status = 0;
    std::uint16_t signature = 0;
    int baud = kDefaultBaud;
    std::vector<MeterTelegram> telegrams;  // served one after another; more than one: multi-telegram meter
    // The record of the first telegram that pulse-counter telegrams set (value, unit); nothing when the
    // meter has no such register.
    std::optional<std::size_t> counterRecord;
    // From the end of the master's frame to the first character of this meter's answers; nothing: the
    // line's answer delay. A late meter tries how long the master waits.
    std::optional<std::chrono::milliseconds> answerDelay;
};

// A selection telegram's 8 data bytes against a meter: identification nibbles Fh, manufacturer FFFFh,
// version FFh and medium FFh are wildcards.
bool SelectionMatches(std::span<const std::uint8_t> selection, const PackedIdentification& identification,
                      std::uint16_t manufacturer, std::uint8_t version, std::uint8_t medium);

// The first record of a telegram that can serve as a pulse counter: an integer or BCD field that is not
// a date. Nothing when there is none.
std::optional<std::size_t> FirstCounterCandidate(const std::vector<DataRecord>& records);

// The header and records of captured RSP_UD frames (such as the .hex telegrams of real meters), so that a
// meter answers with exactly those bytes: address, identification and the other header fields are taken
// from the first frame. Every frame must pass the long-frame checks and hold the 12-byte header.
std::optional<MeterState> StateFromCapturedTelegrams(std::span<const Telegram> frames, std::string& error);

// A wired M-Bus meter (EN 13757-2 link layer, EN 13757-3 application layer, as far as a reading and
// configuring master relies on it):
// - SND_NKE to its address or 254 is acknowledged (E5h) and restarts its telegram sequence; to 255 it
//   resets without answering; to 253 it acknowledges and is deselected, if it was selected.
// - REQ_UD2 (7Bh or 5Bh; the FCB is not evaluated, because the master never toggles it) is answered with
//   the next RSP_UD; the access number counts up with every RSP_UD sent.
// - A selection (SND_UD to 253, CI 52h) selects it when the mask matches and deselects it otherwise.
// - Address 253 reaches it only while it is selected, 254 always, 255 always but without an answer.
// - Every SND_UD that reaches it is acknowledged; what it understands it applies (see meter.cpp).
// - It hears nothing unless the line runs at its own baud rate.
class Meter final : public Device {
public:
    // Nothing, and `error` set, when the state cannot make a meter (address above 250, an identification
    // that is not BCD, a telegram too long for one frame, ...).
    static std::unique_ptr<Meter> Create(MeterState state, std::string& error);

    std::string label() const override;
    std::string id() const override;
    DeviceResponse hear(const MasterFrame& frame, int lineBaud) override;

    const MeterState& state() const { return m_state; }
    bool selected() const { return m_selected; }
    std::size_t nextTelegram() const { return m_nextTelegram; }
    std::optional<std::int64_t> counterValue() const;
    // The two mode bytes of the last counter-type telegram (C2 01, C2 00 or C3 01), 0 before any.
    std::uint16_t counterMode() const { return m_counterMode; }
    bool isMakersDevice() const;  // manufacturer "KXR": pulse width in the status byte
    bool isRelayUnit() const;     // manufacturer "REL": accepts a start value

    // The RSP_UD the meter would send as telegram `index` now, without counting anything.
    Telegram telegram(std::size_t index) const;

private:
    explicit Meter(MeterState state) : m_state(std::move(state)) {}

    bool reaches(std::uint8_t address) const;
    bool acknowledges(std::uint8_t address) const { return address != kBroadcastNoReply; }
    DeviceResponse hearShort(const MasterFrame& frame);
    DeviceResponse hearLong(const MasterFrame& frame);
    void applyConfiguration(std::span<const std::uint8_t> data, DeviceResponse& response);
    bool setCounter(std::int64_t value, std::optional<std::uint8_t> vif, DeviceResponse& response);
    void setSelected(bool selected, DeviceResponse& response);
    void recordChange(DeviceResponse& response, std::string field, std::string from, std::string to) const;

    MeterState m_state;
    bool m_selected = false;
    std::size_t m_nextTelegram = 0;
    std::uint16_t m_counterMode = 0;
};

} // namespace veltro::sim
