#include "devices/rxvpico.h"

#include <algorithm>

#include "decode/date_time.h"
#include "decode/header_fields.h"
#include "decode/medium_table.h"
#include "mbus/address.h"
#include "mbus/byte_reader.h"
#include "mbus/constants.h"
#include "mbus/frames.h"
#include "mbus/hex.h"

namespace veltro {
namespace {

// User data of every receiver command but the date/time: 0F FF command length parameters.
constexpr std::uint8_t kManufacturerData = 0x0F;
constexpr std::uint8_t kReceiverMark = 0xFF;

constexpr std::uint8_t kAdd = 0x01, kReadIds = 0x02, kReadAddresses = 0x03, kFlag = 0x05, kSetKey = 0x0A,
                       kIdFilter = 0x16, kManufacturerFilter = 0x17, kMediumFilter = 0x18, kDelete = 0x81,
                       kDeleteAll = 0x82, kReadKey = 0x8A;

struct FilterCodes {
    PicoFilter filter;
    std::uint8_t read;   // command that reads the table
    std::uint8_t reply;  // byte 21 of its reply
    std::size_t entryBytes;
};
constexpr std::array<FilterCodes, 3> kFilterCodes{{
    {PicoFilter::Id, 0x96, 0xA6, 4},
    {PicoFilter::Manufacturer, 0x97, 0xA7, 2},
    {PicoFilter::Medium, 0x98, 0xA8, 1},
}};

// Byte positions of a reply, counted from the 68h.
constexpr std::size_t kMarkAt = 19;        // 0F FF code length
constexpr std::size_t kReplyCodeAt = 21;
constexpr std::size_t kDataAt = 23;
constexpr std::array<std::uint8_t, 4> kStatusMark{0x0F, 0xFF, 0x06, 0x04};
constexpr std::size_t kShortestStatus = 36;
constexpr std::size_t kActivatedAt = 23, kReadAt = 24, kAllowedAt = 25, kFlagsAt = 31, kDateTimeAt = 37;
constexpr std::size_t kKeyBytes = 16;
constexpr std::size_t kAddressesEndFromBack = 5;  // the address table runs to the fifth-last byte

// Date/time user data: 04 6D and a type F date and time.
constexpr std::uint8_t kDateTimeDif = 0x04, kDateTimeVif = 0x6D;

constexpr std::uint8_t kListLength = kPicoListSize;
constexpr std::array<std::uint8_t, 4> kWholeList{0x01, kListLength, 0x00, 0x00};

struct ListStep {
    int first, count;
};
// Position 64 is never asked for: 24 + 24 + 15 IDs.
constexpr std::array<ListStep, 3> kListSteps{{{1, 24}, {25, 24}, {49, 15}}};

constexpr std::string_view kWrongPicoId = "RXVpico ID is wrong, must be 8 digits...";
constexpr std::string_view kNoAddress = "No primary address for RXVpico...";
constexpr std::string_view kWrongAddress = "Error in RXVpicoPrimary address, skipping...";
constexpr std::string_view kKeyLength = "Encryption key must be 16 bytes exactly (32 symbols), skipping...";
constexpr std::string_view kKeyCharacters = "Wrong HEX key, 0..F uppercase allowed only";
constexpr std::string_view kWrongPosition = "Filter position must be 1..8, skipping...";
constexpr std::string_view kWrongYear = "Incorrect year of the PC, skipping datetime set...";
constexpr std::string_view kWrongClock = "Incorrect date or time of the PC, skipping datetime set...";
constexpr std::string_view kWrongListRange = "List positions must be 1..64, skipping...";
constexpr std::string_view kWrongListStep = "List step must be 1..4, skipping...";
constexpr std::string_view kSeparator = "--------------------------------";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// A character of a refused text as the reason shows it: 'G', or 0x07 when it is not printable.
std::string Shown(char c) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F) return std::string{'\'', c, '\''};
    return "0x" + HexByte(byte);
}

PicoCommand Refuse(std::string_view line) { return {{std::string(line)}, std::nullopt}; }

PicoCommand Send(std::uint8_t address, std::span<const std::uint8_t> userData) {
    // Every user data here is far below the 252 bytes a long frame takes.
    return {{}, BuildLongFrame(frame::kSndUd, address, frame::kCiDataSend, userData)};
}

PicoCommand Command(std::uint8_t address, std::uint8_t command, std::span<const std::uint8_t> parameters) {
    std::vector<std::uint8_t> data{kManufacturerData, kReceiverMark, command,
                                   static_cast<std::uint8_t>(parameters.size())};
    data.insert(data.end(), parameters.begin(), parameters.end());
    return Send(address, data);
}

PicoCommand IdCommand(std::uint8_t address, std::uint8_t command, std::string_view id) {
    const PicoIdPacking packing = PackPicoId(id);
    if (!packing.bytes) return Refuse(PicoIdErrorLine(packing));
    return Command(address, command, *packing.bytes);
}

bool PositionOk(int position) { return position >= 1 && position <= kPicoFilterPositions; }

const FilterCodes& CodesOf(PicoFilter filter) {
    return *std::find_if(kFilterCodes.begin(), kFilterCodes.end(),
                         [filter](const FilterCodes& codes) { return codes.filter == filter; });
}

// A reply that passes the frame's checks; the lines of those that failed otherwise.
bool FrameOk(std::span<const std::uint8_t> reply, std::string* error = nullptr) {
    const FrameValidation validation = ValidateLongFrame(reply);
    if (validation.valid) return true;
    if (error) {
        if (validation.log.empty()) *error = "reply of " + std::to_string(reply.size()) + " bytes is too short";
        for (const auto& line : validation.log) *error += (error->empty() ? "" : ", ") + line;
    }
    return false;
}

// The bytes [from, from + count) when all of them stand before the check sum.
std::optional<std::span<const std::uint8_t>> BeforeCheckSum(std::span<const std::uint8_t> reply, std::size_t from,
                                                            std::size_t count) {
    if (reply.size() < 2) return std::nullopt;
    ByteReader reader(reply.first(reply.size() - 2), from);
    return reader.readBytes(count);
}

bool IsStatusMarked(std::span<const std::uint8_t> reply) {
    const auto mark = BeforeCheckSum(reply, kMarkAt, kStatusMark.size());
    return mark && std::equal(mark->begin(), mark->end(), kStatusMark.begin());
}

// The 7-bit year field of a type F date: 2001..2127, 1901..2000 (2000 is 100) and 0..99.
std::optional<int> YearField(int year) {
    if (year >= 2001 && year <= 2127) return year - 2000;
    if (year >= 1901 && year <= 2000) return year - 1900;
    if (year >= 0 && year <= 99) return year;
    return std::nullopt;
}

} // namespace

PicoReceiverCheck CheckPicoReceiver(std::string_view picoId, std::string_view addressText) {
    if (picoId.size() != kPicoIdLength) return {std::nullopt, std::string(kWrongPicoId)};
    if (addressText.empty()) return {std::nullopt, std::string(kNoAddress)};
    const auto address = ParseTargetAddress(addressText, 0, kLastMeterAddress);
    if (!address) return {std::nullopt, std::string(kWrongAddress)};
    return {static_cast<std::uint8_t>(*address), {}};
}

PicoIdPacking PackPicoId(std::string_view text) {
    if (text.size() != kPicoIdLength)
        return {std::nullopt, "ID must be 8 characters, not " + std::to_string(text.size())};
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!IsDigit(text[i]) && text[i] != 'F')
            return {std::nullopt, "character " + std::to_string(i + 1) + " " + Shown(text[i]) + " is not 0-9 or F"};
    }
    std::array<std::uint8_t, 4> bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const std::size_t pair = kPicoIdLength - 2 - 2 * i;  // d7 d8 first
        bytes[i] = static_cast<std::uint8_t>(UpperHexValue(text[pair]) * 16 + UpperHexValue(text[pair + 1]));
    }
    return {bytes, {}};
}

std::string PicoIdErrorLine(const PicoIdPacking& packing) { return "Error in RXVpico ID, exception " + packing.error; }

PicoKey PicoKeyBytes(std::string_view text) {
    if (text.size() != kPicoKeyLength) return {std::nullopt, std::string(kKeyLength)};
    if (!std::all_of(text.begin(), text.end(), IsUpperHexDigit)) return {std::nullopt, std::string(kKeyCharacters)};
    std::array<std::uint8_t, 16> key{};
    for (std::size_t i = 0; i < key.size(); ++i)
        key[i] = static_cast<std::uint8_t>(UpperHexValue(text[2 * i]) * 16 + UpperHexValue(text[2 * i + 1]));
    return {key, {}};
}

const PicoFlag* FindPicoFlag(std::string_view item) {
    const auto found = std::find_if(kPicoFlags.begin(), kPicoFlags.end(),
                                    [item](const PicoFlag& flag) { return flag.item == item; });
    return found == kPicoFlags.end() ? nullptr : &*found;
}

int PicoFlagNumber(std::string_view item) {
    const PicoFlag* flag = FindPicoFlag(item);
    return flag ? flag->number : 0;
}

std::uint16_t PicoManufacturerCode(std::string_view text) {
    if (text.size() != 3 || !std::all_of(text.begin(), text.end(), IsLetter)) return 0;
    unsigned code = 0;
    for (char c : text) code = code * 32 + (static_cast<unsigned>(c) - 64);
    return static_cast<std::uint16_t>(code);
}

PicoCommand BuildPicoAdd(std::uint8_t address, std::string_view id) { return IdCommand(address, kAdd, id); }
PicoCommand BuildPicoDelete(std::uint8_t address, std::string_view id) { return IdCommand(address, kDelete, id); }
PicoCommand BuildPicoDeleteAll(std::uint8_t address) { return Command(address, kDeleteAll, kWholeList); }
PicoCommand BuildPicoReadAddresses(std::uint8_t address) { return Command(address, kReadAddresses, kWholeList); }
PicoCommand BuildPicoReadKey(std::uint8_t address, std::string_view id) { return IdCommand(address, kReadKey, id); }

PicoCommand BuildPicoReadIds(std::uint8_t address, int firstPosition, int count) {
    if (firstPosition < 1 || count < 1 || count > kPicoListSize - firstPosition + 1) return Refuse(kWrongListRange);
    const std::array<std::uint8_t, 4> parameters{static_cast<std::uint8_t>(firstPosition),
                                                 static_cast<std::uint8_t>(count), 0x00, 0x00};
    return Command(address, kReadIds, parameters);
}

PicoCommand BuildPicoFlag(std::uint8_t address, std::string_view item, bool on) {
    const std::array<std::uint8_t, 4> parameters{static_cast<std::uint8_t>(PicoFlagNumber(item)),
                                                 static_cast<std::uint8_t>(on ? 1 : 0), 0x00, 0x00};
    return Command(address, kFlag, parameters);
}

PicoCommand BuildPicoSetKey(std::uint8_t address, std::string_view id, std::string_view keyText) {
    const PicoKey key = PicoKeyBytes(keyText);
    if (!key.bytes) return {{key.refusal, "Error in AES key for " + std::string(id)}, std::nullopt};
    const PicoIdPacking packing = PackPicoId(id);
    if (!packing.bytes) return Refuse(PicoIdErrorLine(packing));
    std::vector<std::uint8_t> parameters(packing.bytes->begin(), packing.bytes->end());
    parameters.insert(parameters.end(), key.bytes->begin(), key.bytes->end());
    return Command(address, kSetKey, parameters);
}

PicoCommand BuildPicoIdFilter(std::uint8_t address, int position, std::string_view filterId) {
    if (!PositionOk(position)) return Refuse(kWrongPosition);
    const PicoIdPacking packing = PackPicoId(filterId);
    if (!packing.bytes) return Refuse(PicoIdErrorLine(packing));
    const std::array<std::uint8_t, 5> parameters{static_cast<std::uint8_t>(position), (*packing.bytes)[0],
                                                 (*packing.bytes)[1], (*packing.bytes)[2], (*packing.bytes)[3]};
    return Command(address, kIdFilter, parameters);
}

PicoCommand BuildPicoManufacturerFilter(std::uint8_t address, int position, std::string_view manufacturer) {
    if (!PositionOk(position)) return Refuse(kWrongPosition);
    const std::uint16_t code = PicoManufacturerCode(manufacturer);
    const std::array<std::uint8_t, 3> parameters{static_cast<std::uint8_t>(position),
                                                 static_cast<std::uint8_t>(code >> 8),
                                                 static_cast<std::uint8_t>(code & 0xFF)};
    return Command(address, kManufacturerFilter, parameters);
}

PicoCommand BuildPicoMediumFilter(std::uint8_t address, int position, std::string_view medium) {
    if (!PositionOk(position)) return Refuse(kWrongPosition);
    const std::array<std::uint8_t, 2> parameters{static_cast<std::uint8_t>(position), MediumCode(medium)};
    return Command(address, kMediumFilter, parameters);
}

PicoCommand BuildPicoReadFilter(std::uint8_t address, PicoFilter filter) {
    const std::array<std::uint8_t, 1> parameters{0x00};
    return Command(address, CodesOf(filter).read, parameters);
}

PicoCommand BuildPicoStatusRequest(std::uint8_t address) { return {{}, BuildReqUd2(address)}; }

PicoCommand BuildPicoDateTime(std::uint8_t address, const PicoClock& clock) {
    const auto year = YearField(clock.year);
    if (!year) return Refuse(kWrongYear);
    // Out-of-range fields would spill into the year bits of the type F bytes.
    if (clock.month < 1 || clock.month > 12 || clock.day < 1 || clock.day > 31 || clock.hour < 0 || clock.hour > 23 ||
        clock.minute < 0 || clock.minute > 59)
        return Refuse(kWrongClock);
    const std::array<std::uint8_t, 6> data{kDateTimeDif,
                                           kDateTimeVif,
                                           static_cast<std::uint8_t>(clock.minute),
                                           static_cast<std::uint8_t>(clock.hour),
                                           static_cast<std::uint8_t>(clock.day + 32 * (*year % 8)),
                                           static_cast<std::uint8_t>(clock.month + 16 * (*year / 8))};
    return Send(address, data);
}

PicoCommand BuildPicoListStep(std::uint8_t address, int step) {
    if (step >= 1 && step <= static_cast<int>(kListSteps.size())) {
        const ListStep& s = kListSteps[static_cast<std::size_t>(step - 1)];
        return BuildPicoReadIds(address, s.first, s.count);
    }
    if (step == kPicoListSteps) return BuildPicoReadAddresses(address);
    return Refuse(kWrongListStep);
}

std::optional<PicoStatus> ParsePicoStatus(std::span<const std::uint8_t> reply) {
    if (reply.size() < kShortestStatus || !FrameOk(reply) || !IsStatusMarked(reply)) return std::nullopt;
    PicoStatus status;
    status.activated = reply[kActivatedAt];
    status.read = reply[kReadAt];
    status.allowed = reply[kAllowedAt];
    status.flags = static_cast<std::uint32_t>(*ByteReader(reply, kFlagsAt).readLittleEndian(4));
    // From 43 bytes on, when the four bytes stand before the check sum.
    if (const auto field = BeforeCheckSum(reply, kDateTimeAt, 4)) status.dateTime = DecodeTypeFDateTime(*field);
    return status;
}

std::vector<std::string> PicoStatusLines(const PicoStatus& status) {
    std::vector<std::string> lines{
        "RXVpico  devices info: ",
        "Devices allowed: " + std::to_string(status.allowed),
        "Currently activated devices: " + std::to_string(status.activated),
        "Currently read devices: " + std::to_string(status.read),
        std::string(kSeparator),
    };
    std::string flags = "Flag status: ";
    for (int shift = 24; shift >= 0; shift -= 8) flags += HexByte(static_cast<std::uint8_t>(status.flags >> shift));
    lines.push_back(std::move(flags));
    lines.emplace_back("Active flags: ");
    for (const PicoFlag& flag : kPicoFlags)
        if (PicoFlagOn(status, flag)) lines.emplace_back(flag.statusLine);
    if (status.dateTime) {
        lines.emplace_back(kSeparator);
        lines.push_back("Date and Time of RXVpico: " + *status.dateTime);
        lines.emplace_back();
    }
    return lines;
}

bool PicoFlagOn(const PicoStatus& status, const PicoFlag& flag) {
    return flag.statusBit >= 0 && flag.statusBit < 32 && ((status.flags >> flag.statusBit) & 1u) != 0;
}

PicoFilterParse ParsePicoFilters(std::span<const std::uint8_t> reply) {
    PicoFilterParse result;
    if (!FrameOk(reply, &result.error)) return result;
    const auto code = BeforeCheckSum(reply, kReplyCodeAt, 1);
    if (!code) {
        result.error = "reply of " + std::to_string(reply.size()) + " bytes has no table code";
        return result;
    }
    const auto codes = std::find_if(kFilterCodes.begin(), kFilterCodes.end(),
                                    [&](const FilterCodes& c) { return c.reply == (*code)[0]; });
    if (codes == kFilterCodes.end()) {
        result.unknownTable = true;
        return result;
    }
    const auto entries = BeforeCheckSum(reply, kDataAt, codes->entryBytes * kPicoFilterPositions);
    if (!entries) {
        result.error = "reply of " + std::to_string(reply.size()) + " bytes is too short for 8 filter entries";
        return result;
    }
    PicoFilterTable table;
    table.filter = codes->filter;
    for (std::size_t i = 0; i < table.entries.size(); ++i) {
        const auto entry = entries->subspan(i * codes->entryBytes, codes->entryBytes);
        switch (codes->filter) {
        case PicoFilter::Id: table.entries[i] = HexDigits(entry); break;
        case PicoFilter::Manufacturer: table.entries[i] = ManufacturerLetters(entry[0], entry[1]); break;
        case PicoFilter::Medium: table.entries[i] = std::string(HeaderMediumOf(entry[0]).text); break;
        }
    }
    result.table = std::move(table);
    return result;
}

std::optional<std::string> ParsePicoKey(std::span<const std::uint8_t> reply) {
    if (!FrameOk(reply) || IsStatusMarked(reply)) return std::nullopt;
    const auto key = BeforeCheckSum(reply, kDataAt, kKeyBytes);
    if (!key) return std::nullopt;
    return HexDigits(*key);
}

std::optional<std::vector<int>> ParsePicoAddresses(std::span<const std::uint8_t> reply) {
    if (!FrameOk(reply) || reply.size() < kDataAt + kAddressesEndFromBack) return std::nullopt;
    const std::size_t count =
        std::min<std::size_t>(reply.size() - kAddressesEndFromBack + 1 - kDataAt, kPicoListSize);
    const auto bytes = BeforeCheckSum(reply, kDataAt, count);
    if (!bytes) return std::nullopt;
    return std::vector<int>(bytes->begin(), bytes->end());
}

} // namespace veltro
