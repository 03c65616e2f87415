#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/device.h"
#include "sim/record_encoder.h"

namespace veltro::sim {

inline constexpr std::size_t kRxvPicoListSize = 64;
inline constexpr std::size_t kRxvPicoFilterPositions = 8;
inline constexpr std::size_t kRxvPicoKeyBytes = 16;
inline constexpr int kRxvPicoDefaultAddress = 30;
// The clock keeps years 2000 + Y for the 7-bit year field Y of the type F date.
inline constexpr int kRxvPicoFirstYear = 2000;
inline constexpr int kRxvPicoLastYear = 2127;

using RxvPicoKey = std::array<std::uint8_t, kRxvPicoKeyBytes>;

// Why a command is refused: the byte after 0F FF EE 01 of the error reply.
enum class RxvPicoRefusal : std::uint8_t {
    UnknownCommand = 0x01,
    ListFull = 0x02,
    UnknownId = 0x03,     // not in the list (delete, store key, read key)
    BadId = 0x04,         // a digit A-E
    BadPosition = 0x05,   // a filter position outside 1..8
    BadParameter = 0x06,  // a flag number outside 1..32, a set/clear byte other than 00h/01h
    BadDateTime = 0x07,   // not a real date and time of 2000..2127
};

struct RxvPicoEntry {
    std::string id;  // 8 characters 0-9 and F, most significant first: "1234567F"
    RxvPicoKey key{};   // zeros until a key is stored
    std::optional<std::uint8_t> address;  // in the address table; nothing: the entry's list position

    bool operator==(const RxvPicoEntry&) const = default;
};

struct RxvPicoFilters {
    std::array<std::string, kRxvPicoFilterPositions> ids;  // 8 characters 0-9 and F; "00000000" unused
    std::array<std::uint16_t, kRxvPicoFilterPositions> manufacturers{};
    std::array<std::uint8_t, kRxvPicoFilterPositions> media{};

    RxvPicoFilters() { ids.fill("00000000"); }
    bool operator==(const RxvPicoFilters&) const = default;
};

struct RxvPicoConfig {
    int address = kRxvPicoDefaultAddress;  // 0..250
    std::string id = "00000001";        // 8 decimal digits, in the header of its replies
    int baud = 2400;
    bool silent = false;  // carries out every command, answers none
    std::vector<RxvPicoEntry> list;  // at most 64
    std::uint32_t flags = 0;
    CalendarTime clock{2020, 1, 1, 0, 0};  // stands until the first date/time command
};

// What a test may look at: the receiver's state, its clock as read now.
struct RxvPicoState {
    int address = 0;
    std::vector<RxvPicoEntry> list;
    RxvPicoFilters filters;
    std::uint32_t flags = 0;
    CalendarTime clock;
    bool clockRunning = false;  // set by a date/time command
};

// The maker's RXVpico wireless M-Bus receiver on the wire, configured with SND_UD telegrams
//   68 L L 68 53 A 51 0F FF cmd len params CS 16
// and the type F date/time record 04 6D (docs/SIMULATOR.md lists every command and reply). It hears only
// its own primary address (no broadcast, no secondary selection) at its own line speed:
// - SND_NKE and every command carried out: E5h; REQ_UD2: its status telegram;
// - the read commands: an RSP_UD (C 08h, CI 72h, its 12-byte header) with the table asked for;
// - a refusal: an RSP_UD with 0F FF EE 01 and the RxvPicoRefusal code;
// - a malformed command (length byte against the frame, missing parameters, other user data): nothing.
// The simulated receiver hears no radio meter, so it reads none.
class RxvPico final : public Device {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // Nothing, and `error` set, when the configuration cannot make a receiver.
    static std::unique_ptr<RxvPico> Create(RxvPicoConfig config, std::string& error, Clock clock = {});

    std::string label() const override;
    std::string id() const override { return m_config.id; }
    DeviceResponse hear(const MasterFrame& frame, int lineBaud) override;

    RxvPicoState state() const;

private:
    RxvPico(RxvPicoConfig config, Clock clock);

    struct Command;
    using Reply = std::optional<Telegram>;  // nothing: E5h

    DeviceResponse command(const MasterFrame& frame);
    Telegram reply(std::span<const std::uint8_t> payload) const;
    Telegram refusal(RxvPicoRefusal why, DeviceResponse& response) const;
    Telegram status() const;
    std::int64_t clockMinutes() const;
    std::optional<std::size_t> find(const std::string& id) const;

    Reply add(std::span<const std::uint8_t> p, DeviceResponse& r);
    Reply remove(std::span<const std::uint8_t> p, DeviceResponse& r);
    Reply removeRange(std::span<const std::uint8_t> p, DeviceResponse& r);
    Reply readIds(std::span<const std::uint8_t> p, DeviceResponse& r);
    Reply readAddresses(std::span<const std::uint8_t> p, DeviceResponse& r);
    Reply setFlag(std::span<const std::uint8_t> p, DeviceResponse& r);
    Reply storeKey(std::span<const std::uint8_t> p, DeviceResponse& r);
    Reply readKey(std::span<const std::uint8_t> p, DeviceResponse& r);
    Reply writeIdFilter(std::span<const std::uint8_t> p, DeviceResponse& r);
    Reply writeManufacturerFilter(std::span<const std::uint8_t> p, DeviceResponse& r);
    Reply writeMediumFilter(std::span<const std::uint8_t> p, DeviceResponse& r);
    Reply readIdFilters(std::span<const std::uint8_t> p, DeviceResponse& r);
    Reply readManufacturerFilters(std::span<const std::uint8_t> p, DeviceResponse& r);
    Reply readMediumFilters(std::span<const std::uint8_t> p, DeviceResponse& r);

    RxvPicoConfig m_config;
    Clock m_clock;
    RxvPicoFilters m_filters;
    std::uint8_t m_accessNumber = 0;
    std::int64_t m_clockBase = 0;  // minutes since 2000-01-01 00:00
    std::optional<std::chrono::steady_clock::time_point> m_clockSetAt;  // nothing: the clock stands
};

class Bus;

// Puts a receiver on `bus`, after the devices already there; the bus owns it. Nothing, and `error`
// set, when the configuration cannot make one.
RxvPico* AddRxvPico(Bus& bus, RxvPicoConfig config, std::string& error, RxvPico::Clock clock = {});

// The state of the first RXVpico on `bus`, copied under the bus lock, so a test may look while the bus
// serves a transport on another thread. Nothing when the bus has none.
std::optional<RxvPicoState> RxvPicoStateOf(const Bus& bus);

} // namespace veltro::sim
