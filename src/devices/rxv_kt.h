#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace veltro {

// The RXV-KT wireless receiver takes short ASCII commands without terminator, some followed by raw
// bytes: "set akey=12345678," and 16 key bytes, 00h and 16h included. The page, the engine and
// `veltro-cli rxv-kt` build every command here and send it as it is.

// A command and the line logged with it, or a refusal: no command and the line that says why. An empty
// `log` with a command is an empty log line ("get serv").
struct RxvAction {
    std::string log;
    std::optional<std::string> command;
};
using RxvActions = std::vector<RxvAction>;

// The receiver table's columns.
inline constexpr int kRxvColumns = 10;
inline constexpr int kRxvIdColumn = 0, kRxvAddressColumn = 1, kRxvManufacturerColumn = 2, kRxvVersionColumn = 3,
                     kRxvDeviceColumn = 4, kRxvMediumColumn = 5, kRxvNoteColumn = 6, kRxvAuxIdColumn = 7,
                     kRxvTelegramColumn = 8, kRxvTimeColumn = 9;
inline constexpr int kRxvMaxRows = 450;
// Storage addresses the receiver has, those that can hold a key, and those that can be bound.
inline constexpr int kRxvMaxAddress = 463, kRxvMaxKeyAddress = 450, kRxvMaxBindAddress = 64;

// Acquisition: "set rtra=1" to start, "set rtra=0" (twice, 1500 ms apart) to stop; no log line.
std::string RxvAcquireStart();
std::string RxvAcquireStop();

// 8 characters 0-9/A-F: a longer text cut to its first 8, a shorter one padded on the left with "0"
// ("1234567" is "01234567"). An empty text or any other character: nothing.
std::optional<std::string> NormalizeId8(std::string_view id);

// Medium name of column 5 to the unit code: "Water" 7, "Heat" 12, any other text (empty too) 15.
int RxvUnitCode(std::string_view medium);

// `Combo_wmode`: "T1" 1, "T2" 2, "S2" 0, "S1" 3, "R" 4, "T1+C" 10, "T2+C" 11, any other text 1.
int RxvWirelessModeCode(std::string_view item);
// `Combo_wtype`: "Master" 1, "Slave" 0, "Repeater" 2; `Combo_wwrk`: "Normal" 0, "Install" 1, "Accept All" 2.
std::optional<int> RxvRoleCode(std::string_view item);
std::optional<int> RxvWorkModeCode(std::string_view item);
// `Combo_rxvOnOff`: "RSSI" "set rssi=", "Timestamp" "set tmst=", "Min/Hours" "set minc=", "Transparent"
// "set trns=", "Secondary ID" "set ambr=", "Master Key" "set mast=".
std::optional<std::string_view> RxvOptionPrefix(std::string_view item);

// The single commands of the page. Nothing in the list: nothing sent and nothing to say.
struct RxvClock {
    int year = 2000, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};
// "set date=05/03/26"; a year outside 2000..2099: "Incorrect year of the PC, skipping datetime set...".
RxvAction BuildRxvDate(const RxvClock& clock);
RxvAction BuildRxvTime(const RxvClock& clock);  // "set time=09:07:05"
// `Edit_wreadout` as shown: 1..240 gives "set pito=" n; empty or anything else: nothing.
RxvActions BuildRxvSaveInterval(std::string_view text);
RxvAction BuildRxvWirelessMode(std::string_view item);
RxvActions BuildRxvRole(std::string_view item);
RxvActions BuildRxvWorkMode(std::string_view item);
RxvActions BuildRxvOption(std::string_view item, bool on);
RxvAction BuildRxvInfo();           // "get serv"
RxvAction BuildRxvWirelessInfo();   // "get wsta"

// `Edit_encryption` to the 16 key bytes. ASCII: the text's bytes; HEX: exactly 32 characters 0-9/A-F,
// high nibble first. A refusal carries its line.
struct RxvKey {
    std::optional<std::array<std::uint8_t, 16>> bytes;
    std::string refusal;
};
inline constexpr std::size_t kRxvKeyTextLimit = 50;  // characters `Edit_encryption` takes
RxvKey RxvKeyBytes(std::string_view text, bool ascii);

struct RxvKeySettings {
    std::string keyText;
    bool ascii = false;      // `Check_encr_ascii`; else HEX
    bool byAddress = false;  // `Check_encr_primary`
    bool byId = false;       // `Check_encr_id`
    bool oneKeyAll = false;  // `Check_master_key`
};
// "Save in RXV" for the receiver row `row` (0: none) with its cells: refusals in order, then "set encr="
// (by address) and "set akey=" (by ID), address first. Address 0 and ID 00000000 are refused; only "One
// key all" sends "set encr=0," and "set akey=00000000,".
RxvActions BuildRxvKeyStorage(int row, const std::vector<std::string>& cells, const RxvKeySettings& key);

// The 8 bind bytes: the ID's four pairs last first, the manufacturer value low byte first, version,
// device type. Nothing when the ID is not 8 characters 0-9/A-F, the manufacturer not three letters A-Z,
// or version or device type not a number 0..255 other than 254.
std::optional<std::array<std::uint8_t, 8>> RxvBindBytes(std::string_view id, std::string_view manufacturer,
                                                        std::string_view version, std::string_view deviceType);
// "Bind selected" / "De-bind selected" for the receiver row (0: none); `label45` is its address label.
RxvActions BuildRxvBind(int row, const std::vector<std::string>& cells, std::string_view label45);
RxvActions BuildRxvDebind(int row, const std::vector<std::string>& cells, std::string_view label45);

// The programming steps in their fixed order. Ticking "Delete selected" unticks the others; ticking any
// other unticks "Delete selected".
enum class RxvStep { Activate, Unit, Key, Delete };
inline constexpr std::array<RxvStep, 4> kRxvStepOrder{RxvStep::Activate, RxvStep::Unit, RxvStep::Key, RxvStep::Delete};
struct RxvStepSwitches {
    std::array<bool, 4> ticked{};
    bool isTicked(RxvStep s) const { return ticked[static_cast<std::size_t>(s)]; }
    void tick(RxvStep s, bool on);
    int count() const;
    std::optional<RxvStep> first() const;
};

// Column 1 for the programming run: 1..463 digits only, kept as typed ("007" is sent as "007").
struct RxvAddressCheck {
    std::optional<std::string> address;
    std::string line;  // "Error in Primary device address at row 3" (empty), "..., skipping"; empty when valid
};
RxvAddressCheck CheckRxvAddress(std::string_view cell, int row);

// One step for one data row `row` of the programming run: the address check, then the step's command or
// its refusal. Activate takes column 0, or 7 with `auxId`, and `normalizedId` is what goes back into that
// cell. The key step is key storage without "One key all".
struct RxvRowStep {
    RxvActions actions;
    std::optional<std::string> normalizedId;
    int idColumn = kRxvIdColumn;
};
RxvRowStep BuildRxvRowStep(RxvStep step, int row, const std::vector<std::string>& cells, bool auxId,
                           const RxvKeySettings& key);

// Whether an activation was taken: "Done!" or "already" anywhere in the reply.
bool RxvActivationConfirmed(std::string_view reply);
// The acquisition's quiet acknowledgement: exactly "Done!" and a line feed.
bool RxvIsDoneLine(std::string_view text);

// The first telegram in received bytes: the first 68h whose L is followed, more than L bytes after that
// 68h, by a 16h; from the 68h through the first such 16h. Nothing when there is none. What follows it
// (a second telegram) is left out.
//
//   68 0C 44 2D 2C 78 56 34 12 01 07 7A ... 16
//   |  L  C  MFR   ID (LSB first) Ver Dev CI
std::optional<std::span<const std::uint8_t>> FindRxvTelegram(std::span<const std::uint8_t> bytes);

// The cells an acquired telegram fills. Telegrams under 12 bytes, or under 16 with CI 72h, give nothing.
struct AcquiredMeter {
    std::string id;            // bytes 8..5
    std::string manufacturer;  // bytes 3, 4
    std::string version, device;  // bytes 9, 10 decimal
    std::optional<std::string> medium;  // of byte 10; nothing leaves the cell as it was
    std::string note;                   // "L=0x0C, C=0x44"
    std::optional<std::string> auxId;   // CI 72h: bytes 15..12
    std::string telegram;               // from offset 11, "7A 01 " ...
    std::string log;                    // the whole telegram, "68 0C ... 16 "
};
std::optional<AcquiredMeter> DecodeAcquiredTelegram(std::span<const std::uint8_t> telegram);

} // namespace veltro
