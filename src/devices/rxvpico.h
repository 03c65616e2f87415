#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "mbus/telegram.h"

namespace veltro {

// The RXVpico wireless receiver sits on the wired bus at a primary address of its own and takes
// manufacturer-specific SND_UD telegrams:
//
//   68 0B 0B 68 53 A 51 0F FF 01 04 78 56 34 12 CS 16     add meter 12345678
//                       |     |  |  parameters
//                       |     |  parameter length
//                       |     command
//                       manufacturer-specific data (0F FF)
//
// Its replies are RSP_UD telegrams whose bytes 19.. are 0F FF, a reply code, a length and the data
// from byte 23.

// A command's telegram, or the lines that say why nothing is sent.
struct PicoCommand {
    std::vector<std::string> log;
    std::optional<Telegram> telegram;
};

inline constexpr int kPicoListSize = 64;       // IDs (and keys) the receiver keeps
inline constexpr int kPicoFilterPositions = 8;  // positions of each filter table
inline constexpr std::size_t kPicoIdLength = 8;
inline constexpr std::size_t kPicoKeyLength = 32;  // hex characters of an AES-128 key

// The receiver check run before every command: `Edit_picoID` exactly 8 characters, `Edit_rxvAddress`
// present and a number 0..250. `line` says what failed; `address` is set when all passed.
struct PicoReceiverCheck {
    std::optional<std::uint8_t> address;
    std::string line;  // "RXVpico ID is wrong, must be 8 digits...", "No primary address for RXVpico...",
                       // "Error in RXVpicoPrimary address, skipping..."
};
PicoReceiverCheck CheckPicoReceiver(std::string_view picoId, std::string_view addressText);

// A meter or filter ID of 8 characters 0-9 or F (upper case) packed as (d7 d8) (d5 d6) (d3 d4) (d1 d2);
// "FFFFFFFF" gives FF FF FF FF. `error` is the reason when it cannot be packed ("ID must be 8 characters,
// not 5", "character 3 'G' is not 0-9 or F"); a command whose ID cannot be packed is not sent.
struct PicoIdPacking {
    std::optional<std::array<std::uint8_t, 4>> bytes;
    std::string error;
};
PicoIdPacking PackPicoId(std::string_view text);
// The line logged for an ID that cannot be packed: "Error in RXVpico ID, exception " and the reason.
std::string PicoIdErrorLine(const PicoIdPacking& packing);

// `Edit_aesKey` (or a table row's key) to 16 bytes: exactly 32 characters 0-9/A-F, high nibble first.
// A refusal carries its line: "Encryption key must be 16 bytes exactly (32 symbols), skipping...",
// "Wrong HEX key, 0..F uppercase allowed only".
struct PicoKey {
    std::optional<std::array<std::uint8_t, 16>> bytes;
    std::string refusal;
};
PicoKey PicoKeyBytes(std::string_view text);

// `Combo_rxvFlags`: the items in their order, each with the flag number it sends, the status bit that
// shows it (of the flag word, bytes 31..34 least significant first) and the status line of that bit.
struct PicoFlag {
    std::string_view item;
    int number;
    int statusBit;
    std::string_view statusLine;
};
inline constexpr std::array<PicoFlag, 9> kPicoFlags{{
    {"Auto mode", 1, 0, "Auto mode is ON"},
    {"Return timestamp", 2, 1, "Timestamp in each telegram is ON"},
    {"Return RSSI", 4, 2, "RSSI in each telegram is ON"},
    {"Automatically decrypt", 5, 4, "AES-128 decryption is ON"},
    {"Decode APATOR", 9, 8, "Decode Apator is ON"},
    {"Decode Techem", 10, 9, "Decode Techem is ON"},
    {"Filter by Manufacturer", 29, 28, "Filter by manufacturer enabled"},
    {"Filter by ID", 30, 29, "Filter by ID enabled"},
    {"Filter by Medium", 31, 30, "Filter by Medium enabled"},
}};
// The flag of an item; any other text is flag number 0 (no status bit).
int PicoFlagNumber(std::string_view item);
const PicoFlag* FindPicoFlag(std::string_view item);

// `Combo_filterManf` and `Combo_filterMedium` items.
inline constexpr std::array<std::string_view, 8> kPicoManufacturerItems{"All", "KXR", "BMT", "SON",
                                                                         "APA", "DWZ", "REL", "APA"};
inline constexpr std::array<std::string_view, 15> kPicoMediumItems{
    "All",       "Water",       "Cold water",  "Hot water",   "Heat (rt)", "Heat (ft)", "Cooling, rt", "Cooling, ft",
    "Electricity", "Steam",     "H.C.A",       "Gas",         "Pressure",  "Dual water", "Other"};
// (c1 - 64) * 1024 + (c2 - 64) * 32 + (c3 - 64) of exactly three letters (case kept: "All" is 09ACh);
// any other text 0.
std::uint16_t PicoManufacturerCode(std::string_view text);

enum class PicoFilter { Id, Manufacturer, Medium };

// The receiver commands to the primary address `address`.
PicoCommand BuildPicoAdd(std::uint8_t address, std::string_view id);     // 01h
PicoCommand BuildPicoDelete(std::uint8_t address, std::string_view id);  // 81h
PicoCommand BuildPicoDeleteAll(std::uint8_t address);                    // 82h, positions 1..64
// 02h; positions beyond 1..64 are refused with "List positions must be 1..64, skipping...".
PicoCommand BuildPicoReadIds(std::uint8_t address, int firstPosition, int count);
PicoCommand BuildPicoReadAddresses(std::uint8_t address);                // 03h, positions 1..64
PicoCommand BuildPicoFlag(std::uint8_t address, std::string_view item, bool on);  // 05h
// 0Ah: the key's refusal followed by "Error in AES key for " and the ID; with a good key, the ID's pack
// error.
PicoCommand BuildPicoSetKey(std::uint8_t address, std::string_view id, std::string_view keyText);
PicoCommand BuildPicoReadKey(std::uint8_t address, std::string_view id);  // 8Ah
// 16h, 17h, 18h: one filter position (1..8, else "Filter position must be 1..8, skipping...").
PicoCommand BuildPicoIdFilter(std::uint8_t address, int position, std::string_view filterId);
PicoCommand BuildPicoManufacturerFilter(std::uint8_t address, int position, std::string_view manufacturer);
PicoCommand BuildPicoMediumFilter(std::uint8_t address, int position, std::string_view medium);
PicoCommand BuildPicoReadFilter(std::uint8_t address, PicoFilter filter);  // 96h, 97h, 98h
// The status request: REQ_UD2 to the receiver, 10 7B A CS 16.
PicoCommand BuildPicoStatusRequest(std::uint8_t address);

// The date/time command (04 6D and a type F date and time) from a local clock: 7 December 2026 13:45 is
// 04 6D 2D 0D 47 3C. The year field takes 2001..2127 (year - 2000), 1901..2000 (year - 1900) and 0..99;
// any other year is refused with "Incorrect year of the PC, skipping datetime set..." and nothing is sent.
// A month, day, hour or minute out of its range would spill into the year bits: "Incorrect date or time
// of the PC, skipping datetime set...".
struct PicoClock {
    int year = 2000, month = 1, day = 1, hour = 0, minute = 0;
};
PicoCommand BuildPicoDateTime(std::uint8_t address, const PicoClock& clock);

// "Get meters" in four steps: IDs 1..24, 25..48, 49..63 (position 64 is never asked), then the
// primary-address table. Any other step: "List step must be 1..4, skipping...".
inline constexpr int kPicoListSteps = 4;
PicoCommand BuildPicoListStep(std::uint8_t address, int step);

// ---- replies. Each parser reads only the reply it is given and only replies that pass the frame's
// check sum, stop byte and length checks.

// The status telegram (answer to REQ_UD2): bytes 19..22 0F FF 06 04, at least 36 bytes; the date and
// time only from a telegram of 43 bytes or more (bytes 37..40 before the check sum). In a status of
// exactly 36 bytes byte 34, the flag word's most significant byte, is the check sum.
struct PicoStatus {
    int activated = 0;  // byte 23
    int read = 0;       // byte 24
    int allowed = 0;    // byte 25
    std::uint32_t flags = 0;  // bytes 31..34, least significant first
    std::optional<std::string> dateTime;
};
std::optional<PicoStatus> ParsePicoStatus(std::span<const std::uint8_t> reply);
// The lines logged for a status: "RXVpico  devices info: " ... "Active flags: ", one line per set flag,
// and the date and time with its separator and an empty line.
std::vector<std::string> PicoStatusLines(const PicoStatus& status);
// A reply to a command that is not a status: "Not a RXVpico status telegram...".
inline constexpr std::string_view kNotPicoStatus = "Not a RXVpico status telegram...";
// Whether a flag is on in a status (its `statusBit`).
bool PicoFlagOn(const PicoStatus& status, const PicoFlag& flag);

// A filter table reply (byte 21 A6h, A7h, A8h; all eight entries before the check sum): each entry as
// the page shows it: IDs as 8 hex digits in received order, manufacturers as three letters (low byte
// first), media as the medium text of the byte.
struct PicoFilterTable {
    PicoFilter filter = PicoFilter::Id;
    std::array<std::string, kPicoFilterPositions> entries;
};
struct PicoFilterParse {
    std::optional<PicoFilterTable> table;
    bool unknownTable = false;  // a good reply whose byte 21 names no filter table: the table stays
    std::string error;          // for "Exception reading filter mask - ": the frame's failed checks
                                // ("Wrong CRC"), or the reply too short for its table
};
PicoFilterParse ParsePicoFilters(std::span<const std::uint8_t> reply);

// An AES key reply: bytes 23..38 before the check sum, not a status telegram. 32 upper-case hex digits.
std::optional<std::string> ParsePicoKey(std::span<const std::uint8_t> reply);

// The primary-address table reply: one address per list position from byte 23 up to the fifth-last
// byte, at most 64; nothing when the reply has not even one (fewer than 28 bytes).
std::optional<std::vector<int>> ParsePicoAddresses(std::span<const std::uint8_t> reply);

} // namespace veltro
