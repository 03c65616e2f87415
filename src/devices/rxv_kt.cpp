#include "devices/rxv_kt.h"

#include <algorithm>

#include "decode/header_fields.h"
#include "decode/medium_table.h"
#include "mbus/byte_reader.h"
#include "mbus/hex.h"

namespace veltro {
namespace {

template <typename Value>
struct Named {
    std::string_view name;
    Value value;
};

// Unit codes of "set unit=". "Heat" (device types 04h and 0Ch) is listed under 4 and 12; the later row
// wins, so it is 12 alone here.
constexpr std::array<Named<int>, 16> kUnitCodes{{
    {"Other", 0}, {"Oil", 1}, {"Electricity", 2}, {"Gas", 3}, {"Steam", 5}, {"Hot water", 6}, {"Water", 7},
    {"H.C.A", 8}, {"Compr. air", 9}, {"Cool (out)", 10}, {"Cool (in)", 11}, {"Heat", 12}, {"Heat/Cool", 13},
    {"Bus", 14}, {"Unknown", 15}, {"Cold water", 16},
}};
constexpr int kUnknownUnit = 15;

constexpr std::array<Named<int>, 7> kWirelessModes{
    {{"T1", 1}, {"T2", 2}, {"S2", 0}, {"S1", 3}, {"R", 4}, {"T1+C", 10}, {"T2+C", 11}}};
constexpr int kDefaultWirelessMode = 1;
constexpr std::array<Named<int>, 3> kRoles{{{"Master", 1}, {"Slave", 0}, {"Repeater", 2}}};
// "Install" is not an item; typed into the box it is still taken.
constexpr std::array<Named<int>, 3> kWorkModes{{{"Normal", 0}, {"Install", 1}, {"Accept All", 2}}};
constexpr std::array<Named<std::string_view>, 6> kOptions{{
    {"RSSI", "set rssi="}, {"Timestamp", "set tmst="}, {"Min/Hours", "set minc="}, {"Transparent", "set trns="},
    {"Secondary ID", "set ambr="}, {"Master Key", "set mast="},
}};

template <typename Value, std::size_t N>
std::optional<Value> Lookup(const std::array<Named<Value>, N>& table, std::string_view name) {
    for (const auto& row : table)
        if (row.name == name) return row.value;
    return std::nullopt;
}

constexpr int kMaxInterval = 240;
constexpr int kBindByteRefused = 254;
constexpr std::uint8_t kCiWithAuxId = 0x72;
constexpr std::size_t kShortestTelegram = 12, kShortestAuxTelegram = 16;
constexpr std::string_view kMasterId = "00000000";

constexpr std::string_view kNoRow = "No row selected from the table...";
constexpr std::string_view kWrongAddress = "Not correct Primary address...";
constexpr std::string_view kWrongId = "Wrong ID, must be 8-digits...";
constexpr std::string_view kKeyLength = "Encryption key must be 16 bytes exactly, skipping...";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Digits only, saturated so a long run is above every limit.
std::optional<int> Number(std::string_view text) {
    if (text.empty() || !std::all_of(text.begin(), text.end(), IsDigit)) return std::nullopt;
    int value = 0;
    for (char c : text) value = std::min(value * 10 + (c - '0'), 100'000);
    return value;
}

std::string TwoDigits(int value) { return (value >= 0 && value < 10 ? "0" : "") + std::to_string(value); }

std::string Cell(const std::vector<std::string>& cells, int column) {
    return static_cast<std::size_t>(column) < cells.size() ? cells[static_cast<std::size_t>(column)] : std::string{};
}

RxvAction Send(std::string log, std::string command) { return {std::move(log), std::move(command)}; }
RxvAction Refuse(std::string_view line) { return {std::string(line), std::nullopt}; }

std::string KeyText(const std::array<std::uint8_t, 16>& key) { return std::string(key.begin(), key.end()); }

} // namespace

std::string RxvAcquireStart() { return "set rtra=1"; }
std::string RxvAcquireStop() { return "set rtra=0"; }

std::optional<std::string> NormalizeId8(std::string_view id) {
    if (id.empty()) return std::nullopt;
    std::string text(id.substr(0, 8));
    text.insert(0, 8 - text.size(), '0');
    if (!std::all_of(text.begin(), text.end(), IsUpperHexDigit)) return std::nullopt;
    return text;
}

int RxvUnitCode(std::string_view medium) { return Lookup(kUnitCodes, medium).value_or(kUnknownUnit); }
int RxvWirelessModeCode(std::string_view item) { return Lookup(kWirelessModes, item).value_or(kDefaultWirelessMode); }
std::optional<int> RxvRoleCode(std::string_view item) { return Lookup(kRoles, item); }
std::optional<int> RxvWorkModeCode(std::string_view item) { return Lookup(kWorkModes, item); }
std::optional<std::string_view> RxvOptionPrefix(std::string_view item) { return Lookup(kOptions, item); }

RxvAction BuildRxvDate(const RxvClock& clock) {
    if (clock.year < 2000 || clock.year > 2099) return Refuse("Incorrect year of the PC, skipping datetime set...");
    return Send("Setting date of RXV-KT...",
                "set date=" + TwoDigits(clock.day) + "/" + TwoDigits(clock.month) + "/" + TwoDigits(clock.year - 2000));
}

RxvAction BuildRxvTime(const RxvClock& clock) {
    return Send("Setting time of RXV-KT...",
                "set time=" + TwoDigits(clock.hour) + ":" + TwoDigits(clock.minute) + ":" + TwoDigits(clock.second));
}

RxvActions BuildRxvSaveInterval(std::string_view text) {
    const auto interval = Number(text);
    if (!interval || *interval < 1 || *interval > kMaxInterval) return {};
    return {Send("Setting readout intervals of RXV-KT...", "set pito=" + std::to_string(*interval))};
}

RxvAction BuildRxvWirelessMode(std::string_view item) {
    return Send("Setting wireless working mode of RXV-KT...", "set wmod=" + std::to_string(RxvWirelessModeCode(item)));
}

RxvActions BuildRxvRole(std::string_view item) {
    const auto code = RxvRoleCode(item);
    if (!code) return {};
    return {Send("Setting wireless role of RXV-KT...", "set nrol=" + std::to_string(*code))};
}

RxvActions BuildRxvWorkMode(std::string_view item) {
    const auto code = RxvWorkModeCode(item);
    if (!code) return {};
    return {Send("Setting mode of work of RXV-KT...", "set wwrk=" + std::to_string(*code))};
}

RxvActions BuildRxvOption(std::string_view item, bool on) {
    const auto prefix = RxvOptionPrefix(item);
    if (!prefix) return {};
    return {Send("Setting " + std::string(item) + " of RXV-KT...", std::string(*prefix) + (on ? "1" : "0"))};
}

RxvAction BuildRxvInfo() { return Send("", "get serv"); }
RxvAction BuildRxvWirelessInfo() { return Send("", "get wsta"); }

RxvKey RxvKeyBytes(std::string_view text, bool ascii) {
    text = text.substr(0, kRxvKeyTextLimit);
    std::string bytes;
    if (ascii) {
        bytes = text;
    } else {
        if (text.size() != 32) return {std::nullopt, std::string(kKeyLength)};
        if (!std::all_of(text.begin(), text.end(), IsUpperHexDigit))
            return {std::nullopt, "Wrong HEX key, 0..F uppercase allowed only"};
        for (std::size_t i = 0; i < text.size(); i += 2)
            bytes += static_cast<char>(UpperHexValue(text[i]) * 16 + UpperHexValue(text[i + 1]));
    }
    if (bytes.size() != 16) return {std::nullopt, std::string(kKeyLength)};
    std::array<std::uint8_t, 16> key{};
    std::copy(bytes.begin(), bytes.end(), key.begin());
    return {key, {}};
}

RxvActions BuildRxvKeyStorage(int row, const std::vector<std::string>& cells, const RxvKeySettings& key) {
    if (row < 1) return {Refuse(kNoRow)};
    const std::string address = Cell(cells, kRxvAddressColumn);
    const auto number = Number(address);
    // Address 0 would be "set encr=0,", the master key of every meter.
    if (address.empty() || number == 0) return {Refuse(kWrongAddress)};
    if (!number || *number > kRxvMaxKeyAddress) return {Refuse("Max primary address for AES-128 key is 450")};
    const RxvKey bytes = RxvKeyBytes(key.keyText, key.ascii);
    if (!bytes.bytes) return {Refuse(bytes.refusal)};
    const std::string keyBytes = KeyText(*bytes.bytes);

    RxvActions actions;
    if (key.byAddress) {
        actions.push_back(key.oneKeyAll ? Send("Setting Master Key for all devices", "set encr=0," + keyBytes)
                                        : Send("Setting encryption key of " + address,
                                               "set encr=" + address + "," + keyBytes));
    }
    if (key.byId) {
        if (key.oneKeyAll) {
            actions.push_back(Send("Setting Master Key for all devices", "set akey=00000000," + keyBytes));
        } else {
            const auto id = NormalizeId8(Cell(cells, kRxvIdColumn));
            if (!id || *id == kMasterId) actions.push_back(Refuse(kWrongId));
            else actions.push_back(Send("Setting encryption key of " + *id, "set akey=" + *id + "," + keyBytes));
        }
    }
    return actions;
}

std::optional<std::array<std::uint8_t, 8>> RxvBindBytes(std::string_view id, std::string_view manufacturer,
                                                        std::string_view version, std::string_view deviceType) {
    const auto manufacturerValue = ManufacturerCode(manufacturer);
    const auto versionValue = Number(version), deviceValue = Number(deviceType);
    const auto bindable = [](std::optional<int> v) { return v && *v <= 255 && *v != kBindByteRefused; };
    if (id.size() != 8 || !std::all_of(id.begin(), id.end(), IsUpperHexDigit) || !manufacturerValue || *manufacturerValue == 0 ||
        !bindable(versionValue) || !bindable(deviceValue))
        return std::nullopt;
    std::array<std::uint8_t, 8> bytes{};
    for (std::size_t i = 0; i < 4; ++i) {
        const std::size_t pair = 6 - 2 * i;
        bytes[i] = static_cast<std::uint8_t>(UpperHexValue(id[pair]) * 16 + UpperHexValue(id[pair + 1]));
    }
    bytes[4] = static_cast<std::uint8_t>(*manufacturerValue & 0xFF);
    bytes[5] = static_cast<std::uint8_t>(*manufacturerValue >> 8);
    bytes[6] = static_cast<std::uint8_t>(*versionValue);
    bytes[7] = static_cast<std::uint8_t>(*deviceValue);
    return bytes;
}

RxvActions BuildRxvBind(int row, const std::vector<std::string>& cells, std::string_view label45) {
    if (row < 1) return {Refuse(kNoRow)};
    const std::string id = Cell(cells, kRxvIdColumn);
    if (id.size() != 8 || !std::all_of(id.begin(), id.end(), IsUpperHexDigit)) return {Refuse(kWrongId)};
    const std::string address = Cell(cells, kRxvAddressColumn);
    if (address.empty()) return {};
    const auto number = Number(address);
    if (!number || *number > kRxvMaxBindAddress) return {Refuse("Max primary address for binding is 64...")};
    const std::string manufacturer = Cell(cells, kRxvManufacturerColumn);
    if (manufacturer.empty() || Cell(cells, kRxvVersionColumn).empty() || Cell(cells, kRxvDeviceColumn).empty())
        return {Refuse("Must have MFR, VER and Device to bind...")};
    const auto code = ManufacturerCode(manufacturer);
    if (!code || *code == 0) return {Refuse("Wrong manufacturer code, must be 3-letters...")};
    const auto bytes = RxvBindBytes(id, manufacturer, Cell(cells, kRxvVersionColumn), Cell(cells, kRxvDeviceColumn));
    if (!bytes) return {};
    return {Send("Binding device with " + std::string(label45),
                 "set bind=" + address + "," + std::string(bytes->begin(), bytes->end()))};
}

RxvActions BuildRxvDebind(int row, const std::vector<std::string>& cells, std::string_view label45) {
    if (row < 1) return {Refuse(kNoRow)};
    const std::string address = Cell(cells, kRxvAddressColumn);
    if (address.empty()) return {Refuse(kWrongAddress)};
    const auto number = Number(address);
    if (!number || *number > kRxvMaxBindAddress) return {Refuse("Max primary address for de-binding is 64...")};
    return {Send("De-binding device with " + std::string(label45), "del bind=" + address)};
}

void RxvStepSwitches::tick(RxvStep s, bool on) {
    ticked[static_cast<std::size_t>(s)] = on;
    if (!on) return;
    for (RxvStep other : kRxvStepOrder)
        if ((s == RxvStep::Delete) != (other == RxvStep::Delete)) ticked[static_cast<std::size_t>(other)] = false;
}

int RxvStepSwitches::count() const { return static_cast<int>(std::count(ticked.begin(), ticked.end(), true)); }

std::optional<RxvStep> RxvStepSwitches::first() const {
    for (RxvStep s : kRxvStepOrder)
        if (isTicked(s)) return s;
    return std::nullopt;
}

RxvAddressCheck CheckRxvAddress(std::string_view cell, int row) {
    const std::string line = "Error in Primary device address at row " + std::to_string(row);
    if (cell.empty()) return {std::nullopt, line};
    const auto address = Number(cell);
    if (!address || *address < 1 || *address > kRxvMaxAddress) return {std::nullopt, line + ", skipping"};
    return {std::string(cell), {}};
}

RxvRowStep BuildRxvRowStep(RxvStep step, int row, const std::vector<std::string>& cells, bool auxId,
                           const RxvKeySettings& key) {
    RxvRowStep result;
    const RxvAddressCheck check = CheckRxvAddress(Cell(cells, kRxvAddressColumn), row);
    if (!check.address) {
        result.actions.push_back(Refuse(check.line));
        return result;
    }
    const std::string& address = *check.address;
    switch (step) {
    case RxvStep::Activate: {
        result.idColumn = auxId ? kRxvAuxIdColumn : kRxvIdColumn;
        result.normalizedId = NormalizeId8(Cell(cells, result.idColumn));
        if (!result.normalizedId) result.actions.push_back(Refuse("Error in device ID on row " + std::to_string(row)));
        else
            result.actions.push_back(Send("Activating device " + address + "/" + *result.normalizedId + "...",
                                          "set entr=" + address + "," + *result.normalizedId));
        break;
    }
    case RxvStep::Unit:
        result.actions.push_back(Send("Setting unit of device " + address + "...",
                                      "set unit=" + address + "," +
                                          std::to_string(RxvUnitCode(Cell(cells, kRxvMediumColumn)))));
        break;
    case RxvStep::Key: {
        RxvKeySettings each = key;
        each.oneKeyAll = false;
        result.actions = BuildRxvKeyStorage(row, cells, each);
        break;
    }
    case RxvStep::Delete: result.actions.push_back(Send("Deleting device " + address + "...", "del entr=" + address)); break;
    }
    return result;
}

bool RxvActivationConfirmed(std::string_view reply) {
    return reply.find("Done!") != std::string_view::npos || reply.find("already") != std::string_view::npos;
}

bool RxvIsDoneLine(std::string_view text) { return text == "Done!\n"; }

std::optional<std::span<const std::uint8_t>> FindRxvTelegram(std::span<const std::uint8_t> bytes) {
    for (std::size_t start = 0; start < bytes.size(); ++start) {
        if (bytes[start] != 0x68) continue;
        const auto length = ByteAt(bytes, start + 1);
        if (!length) return std::nullopt;
        for (std::size_t end = start + *length + 1; end < bytes.size(); ++end)
            if (bytes[end] == 0x16) return bytes.subspan(start, end - start + 1);
    }
    return std::nullopt;
}

std::optional<AcquiredMeter> DecodeAcquiredTelegram(std::span<const std::uint8_t> telegram) {
    if (telegram.size() < kShortestTelegram) return std::nullopt;
    const bool withAuxId = telegram[11] == kCiWithAuxId;
    if (withAuxId && telegram.size() < kShortestAuxTelegram) return std::nullopt;
    AcquiredMeter meter;
    const auto idOf = [&](std::size_t low) {
        std::string id;
        for (std::size_t i = 4; i-- > 0;) id += HexByte(telegram[low + i]);
        return id;
    };
    meter.id = idOf(5);
    meter.manufacturer = ManufacturerLetters(telegram[3], telegram[4]);
    meter.version = std::to_string(telegram[9]);
    meter.device = std::to_string(telegram[10]);
    if (const auto medium = WirelessMedium(telegram[10])) meter.medium = std::string(*medium);
    meter.note = "L=0x" + HexByte(telegram[1]) + ", C=0x" + HexByte(telegram[2]);
    if (withAuxId) meter.auxId = idOf(12);
    meter.telegram = HexRendering(telegram.subspan(11));
    meter.log = HexRendering(telegram);
    return meter;
}

} // namespace veltro
