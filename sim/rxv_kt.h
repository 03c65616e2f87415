#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/device.h"
#include "sim/record_encoder.h"

namespace veltro::sim {

inline constexpr int kReceiverEntries = 463;
inline constexpr int kReceiverKeyAddresses = 450;  // encr addresses; 0 is the master key
inline constexpr int kReceiverBindings = 64;
inline constexpr int kReceiverWiredAddresses = 250;  // entries above answer no wired request
inline constexpr std::size_t kReceiverKeyBytes = 16;
inline constexpr std::size_t kReceiverBindBytes = 8;
inline constexpr int kReceiverLargestUnit = 16;

using ReceiverKey = std::array<std::uint8_t, kReceiverKeyBytes>;

// A wireless meter the receiver hears. It is not on the wire: the receiver hears it every `interval`,
// from `offset` after start, and forwards it unsolicited while "rtra" is 1.
struct RadioMeter {
    std::string name;
    std::uint8_t control = 0x44;  // SND_NR
    std::uint16_t manufacturer = 0;
    std::string id;               // 8 characters 0-9, A-F, most significant first: "12345678"
    std::uint8_t version = 0;
    std::uint8_t deviceType = 0;
    std::uint8_t ci = 0x7A;       // 7Ah, or 72h followed by the aux header below
    std::string auxId;            // CI 72h only
    std::uint16_t auxManufacturer = 0;
    std::uint8_t auxVersion = 0;
    std::uint8_t auxDeviceType = 0;
    std::uint8_t accessNumber = 0;
    std::uint8_t status = 0;
    std::vector<DataRecord> records;
    std::optional<ReceiverKey> key;  // nothing: unencrypted, its records reach every entry
    std::chrono::milliseconds interval{2000};
    std::chrono::milliseconds offset{0};
};

// The radio telegram as the receiver forwards it, its L counting C through the last record:
//   68 0C 44 2D 2C 78 56 34 12 01 07 7A 01 00 16
//   ^  L  C  M(lo hi) ID(LSB first)  V  T  CI ACC ST end
// With CI 72h the aux ID (4), manufacturer (2), version and device type follow the CI. Nothing when
// an ID is not 8 hex digits or the records do not fit the one-byte L.
std::optional<Telegram> RadioTelegram(const RadioMeter& meter);

struct RxvKtEntry {
    std::string id;  // as activated, 8 characters
    int unit = 15;   // "set unit" code, the medium of its wired answer
    bool operator==(const RxvKtEntry&) const = default;
};

struct RxvKtConfig {
    int baud = 2400;
    bool mute = false;  // does every command, answers none
    std::vector<RadioMeter> meters;
    std::map<int, RxvKtEntry> entries;  // active from the start, by address 1..463
};

// Where a burst of receiver commands is cut: each "set ", "del " or "get " starts a command; "set encr=",
// "set akey=" and "set bind=" end 16 or 8 raw bytes after their comma whatever those bytes are, the others
// at the next command. A burst that does not start with a command is one piece.
std::vector<std::string_view> SplitReceiverCommands(std::string_view burst);

// The maker's RXV-KT wireless M-Bus receiver on the wire, configured with lower-case texts without
// terminator ("set entr=5,12345678"). It
// - answers "Done!\n" to every command carried out, a line holding "already" to the activation of an
//   entry with the ID it has, one line "Error: " and the reason to a refusal, and keeps silent to any
//   other text (not its language) and to everything while muted;
// - answers REQ_UD2 and SND_NKE at the address of an entry (1..250) whose meter it has heard, like a wired
//   meter of the entry's unit; the records only when the entry's key is the meter's.
// docs/SIMULATOR.md has every answer.
class RxvKt final : public Device {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    explicit RxvKt(RxvKtConfig config, Clock clock = {});

    std::string label() const override;
    DeviceResponse hear(const MasterFrame& frame, int lineBaud) override;
    std::vector<Telegram> unsolicited(std::chrono::steady_clock::time_point now) override;
    int baud() const { return m_config.baud; }

    const RxvKtEntry* entry(int address) const;
    // The key the entry's records are checked against: by address, else by its ID, else the master key.
    std::optional<ReceiverKey> keyFor(int address) const;
    std::optional<std::array<std::uint8_t, kReceiverBindBytes>> binding(int address) const;
    bool transparent() const { return m_options.at("rtra"); }
    int option(const std::string& name) const;  // "rtra", "rssi", ..., "pito", "wmod", "nrol", "wwrk"
    bool heard(std::string_view id) const;

private:
    using Answer = std::optional<std::string>;  // nothing: silent
    struct Command;

    Answer answer(std::string_view text);
    std::string setEntry(std::string_view);
    std::string setUnit(std::string_view);
    std::string setKeyByAddress(std::string_view);
    std::string setKeyById(std::string_view);
    std::string setBinding(std::string_view);
    std::string deleteEntry(std::string_view);
    std::string deleteBinding(std::string_view);
    std::string setDate(std::string_view);
    std::string setTime(std::string_view);
    std::string serviceInfo(std::string_view);
    std::string wirelessStatus(std::string_view);
    std::string setOption(std::string_view name, std::string_view value);
    DeviceResponse wired(const MasterFrame& frame);
    const RadioMeter* heardMeter(const std::string& id) const;
    std::int64_t clockSeconds() const;

    RxvKtConfig m_config;
    Clock m_clock;
    std::map<int, RxvKtEntry> m_entries;
    std::map<int, ReceiverKey> m_keysByAddress;
    std::map<std::string, ReceiverKey> m_keysById;
    std::optional<ReceiverKey> m_masterKey;
    std::map<int, std::array<std::uint8_t, kReceiverBindBytes>> m_bindings;
    std::map<std::string, int> m_options;
    std::vector<std::optional<std::chrono::steady_clock::time_point>> m_nextSend;
    std::vector<bool> m_heard;
    std::uint8_t m_accessNumber = 0;
    // Seconds since 2000-01-01 00:00 on the receiver's clock at m_clockSetAt.
    std::int64_t m_clockBase = 0;
    std::chrono::steady_clock::time_point m_clockSetAt;
};

class Bus;

// Puts a receiver on `bus`, after the devices already there. The bus owns it.
RxvKt& AddRxvKt(Bus& bus, RxvKtConfig config, RxvKt::Clock clock = {});

} // namespace veltro::sim
