// libFuzzer harness for the RXVpico receiver (seeds in fuzz/corpus/rxvpico/). The input goes through every
// reply parser twice: as received bytes, and framed as the user data of an RSP_UD so that the parsers get
// past the frame's checks. Its lines (up to 7, split at line feeds) are the receiver ID, the address text,
// a meter ID, a key, a manufacturer, a medium and a flag item for every builder; its first bytes are the
// filter position and the clock. What is checked: a reply is accepted only with the bytes it needs before
// the check sum; a command sent is a long frame 53h A 51h whose parameters are the ones asked for; an ID
// packs to bytes that read back as the ID, a key to bytes that read back as the key; the date/time bytes
// decode to the clock.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "decode/date_time.h"
#include "devices/rxvpico.h"
#include "mbus/frames.h"
#include "mbus/hex.h"
#include "mbus/identification.h"
#include "require.h"

using namespace veltro;

namespace {

bool IsStatusMarked(std::span<const std::uint8_t> reply) {
    return reply.size() > 22 && reply[19] == 0x0F && reply[20] == 0xFF && reply[21] == 0x06 && reply[22] == 0x04;
}

void Parse(std::span<const std::uint8_t> reply) {
    const bool valid = ValidateLongFrame(reply).valid;
    const std::size_t n = reply.size();

    if (const auto status = ParsePicoStatus(reply)) {
        Require(valid && n >= 36 && IsStatusMarked(reply) && status->dateTime.has_value() == (n >= 43));
        Require(status->activated == reply[23] && status->read == reply[24] && status->allowed == reply[25]);
        const std::vector<std::string> lines = PicoStatusLines(*status);
        Require(lines.size() >= 7 && lines.size() <= 7 + kPicoFlags.size() + 3);
    }

    const PicoFilterParse filters = ParsePicoFilters(reply);
    Require(int{filters.table.has_value()} + int{filters.unknownTable} + int{!filters.error.empty()} == 1);
    if (filters.table) {
        Require(valid);
        const std::size_t entryBytes = filters.table->filter == PicoFilter::Id ? 4
                                       : filters.table->filter == PicoFilter::Manufacturer ? 2 : 1;
        Require(n >= 23 + 8 * entryBytes + 2);
        if (filters.table->filter == PicoFilter::Id)
            Require(filters.table->entries[0] == HexDigits(reply.subspan(23, 4)));
        if (filters.table->filter == PicoFilter::Manufacturer)
            for (const auto& entry : filters.table->entries) Require(entry.size() == 3);
    }

    if (const auto key = ParsePicoKey(reply)) {
        Require(valid && n >= 41 && !IsStatusMarked(reply) && *key == HexDigits(reply.subspan(23, 16)));
        const PicoKey bytes = PicoKeyBytes(*key);
        Require(bytes.bytes && std::equal(bytes.bytes->begin(), bytes.bytes->end(), reply.begin() + 23));
    }

    if (const auto addresses = ParsePicoAddresses(reply)) {
        Require(valid && n >= 28 && addresses->size() == std::min<std::size_t>(n - 27, kPicoListSize));
        for (std::size_t i = 0; i < addresses->size(); ++i) Require((*addresses)[i] == reply[23 + i]);
    }
}

// A command that was sent: a valid long frame 68 L L 68 53 A 51, with 0F FF, the command and the
// parameter length first when `command` is given. The user data after them, as a copy: the command is
// often a temporary.
std::vector<std::uint8_t> RequireSent(const PicoCommand& sent, std::uint8_t address, int command = -1) {
    Require(sent.telegram.has_value() && sent.log.empty());
    const Telegram& t = *sent.telegram;
    Require(ValidateLongFrame(t).valid && t[0] == 0x68 && t[4] == 0x53 && t[5] == address && t[6] == 0x51);
    if (command < 0) return {t.begin() + 7, t.end() - 2};
    Require(t[7] == 0x0F && t[8] == 0xFF && t[9] == command && t[10] == t.size() - 13);
    return {t.begin() + 11, t.end() - 2};
}

void RequireRefused(const PicoCommand& refused) { Require(!refused.telegram && !refused.log.empty()); }

void RequireIdCommand(const PicoCommand& sent, std::uint8_t address, int command, std::string_view id) {
    const PicoIdPacking packing = PackPicoId(id);
    if (!packing.bytes) {
        Require(sent.log == std::vector<std::string>{PicoIdErrorLine(packing)} && !sent.telegram);
        return;
    }
    const auto parameters = RequireSent(sent, address, command);
    Require(parameters.size() == 4 && std::equal(parameters.begin(), parameters.end(), packing.bytes->begin()));
}

void Build(std::string_view input, std::span<const std::uint8_t> bytes) {
    std::vector<std::string_view> lines;
    for (std::size_t start = 0; lines.size() < 7 && start <= input.size();) {
        const std::size_t end = std::min(input.find('\n', start), input.size());
        lines.push_back(input.substr(start, end - start));
        start = end + 1;
    }
    lines.resize(7);
    const std::string_view picoId = lines[0], addressText = lines[1], id = lines[2], keyText = lines[3],
                           manufacturer = lines[4], medium = lines[5], item = lines[6];
    const auto byte = [&](std::size_t i) { return i < bytes.size() ? bytes[i] : std::uint8_t{0}; };

    const PicoReceiverCheck check = CheckPicoReceiver(picoId, addressText);
    Require(check.address.has_value() == check.line.empty());
    Require(!check.address || (*check.address <= 250 && picoId.size() == 8));
    const std::uint8_t address = check.address.value_or(byte(0));

    // An ID that packs is 8 characters 0-9/F and reads back as itself.
    const PicoIdPacking packing = PackPicoId(id);
    Require(packing.bytes.has_value() == packing.error.empty());
    if (packing.bytes) Require(UnpackIdentification(*packing.bytes) == id);
    const PicoKey key = PicoKeyBytes(keyText);
    Require(key.bytes.has_value() == key.refusal.empty());
    if (key.bytes) Require(HexDigits(*key.bytes) == keyText);

    RequireIdCommand(BuildPicoAdd(address, id), address, 0x01, id);
    RequireIdCommand(BuildPicoDelete(address, id), address, 0x81, id);
    RequireIdCommand(BuildPicoReadKey(address, id), address, 0x8A, id);
    RequireSent(BuildPicoDeleteAll(address), address, 0x82);
    RequireSent(BuildPicoReadAddresses(address), address, 0x03);
    for (int step = 0; step <= kPicoListSteps + 1; ++step) {
        const PicoCommand list = BuildPicoListStep(address, step);
        if (step < 1 || step > kPicoListSteps) RequireRefused(list);
        else RequireSent(list, address, step == kPicoListSteps ? 0x03 : 0x02);
    }
    const int first = static_cast<std::int8_t>(byte(1)), count = static_cast<std::int8_t>(byte(2));
    const PicoCommand ids = BuildPicoReadIds(address, first, count);
    if (first >= 1 && count >= 1 && first + count - 1 <= kPicoListSize) {
        const auto parameters = RequireSent(ids, address, 0x02);
        Require(parameters[0] == first && parameters[1] == count);
    } else {
        RequireRefused(ids);
    }

    const auto flag = RequireSent(BuildPicoFlag(address, item, byte(3) & 1), address, 0x05);
    Require(flag[0] == PicoFlagNumber(item) && flag[1] == (byte(3) & 1));
    Require((FindPicoFlag(item) != nullptr) == (PicoFlagNumber(item) != 0));

    const PicoCommand setKey = BuildPicoSetKey(address, id, keyText);
    if (!key.bytes) {
        Require(!setKey.telegram && setKey.log.size() == 2 && setKey.log[0] == key.refusal);
    } else if (!packing.bytes) {
        RequireRefused(setKey);
    } else {
        const auto parameters = RequireSent(setKey, address, 0x0A);
        Require(parameters.size() == 20 && std::equal(key.bytes->begin(), key.bytes->end(), parameters.begin() + 4));
    }

    const int position = static_cast<std::int8_t>(byte(4));
    const bool positionOk = position >= 1 && position <= kPicoFilterPositions;
    const PicoCommand idFilter = BuildPicoIdFilter(address, position, id);
    if (positionOk && packing.bytes) Require(RequireSent(idFilter, address, 0x16)[0] == position);
    else RequireRefused(idFilter);
    const PicoCommand manufacturerFilter = BuildPicoManufacturerFilter(address, position, manufacturer);
    const PicoCommand mediumFilter = BuildPicoMediumFilter(address, position, medium);
    if (positionOk) {
        const auto code = RequireSent(manufacturerFilter, address, 0x17);
        Require(code[0] == position && code[1] * 256 + code[2] == PicoManufacturerCode(manufacturer));
        Require(PicoManufacturerCode(manufacturer) == 0 || manufacturer.size() == 3);
        Require(RequireSent(mediumFilter, address, 0x18)[0] == position);
    } else {
        RequireRefused(manufacturerFilter);
        RequireRefused(mediumFilter);
    }
    for (PicoFilter filter : {PicoFilter::Id, PicoFilter::Manufacturer, PicoFilter::Medium})
        Require(RequireSent(BuildPicoReadFilter(address, filter), address).size() == 5);
    Require(BuildPicoStatusRequest(address).telegram == BuildReqUd2(address));

    // The clock: any year, fields a little beyond their ranges.
    const PicoClock clock{static_cast<std::int16_t>(byte(5) | byte(6) << 8), byte(7) % 16, byte(8) % 40, byte(9) % 32,
                          byte(10) % 70};
    const PicoCommand dateTime = BuildPicoDateTime(address, clock);
    if (dateTime.telegram) {
        const auto data = RequireSent(dateTime, address);
        Require(data.size() == 6 && data[0] == 0x04 && data[1] == 0x6D);
        const int year = clock.year > 2000 ? clock.year - 2000 : clock.year > 1900 ? clock.year - 1900 : clock.year;
        const std::string expected = std::to_string(clock.hour) + (clock.minute <= 9 ? ":0" : ":") +
                                     std::to_string(clock.minute) + ", " + std::to_string(clock.day) + "." +
                                     std::to_string(clock.month) + "." + std::to_string(year);
        Require(DecodeTypeFDateTime(std::span(data).subspan(2)) == expected && year >= 0 && year <= 127);
    } else {
        RequireRefused(dateTime);
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    Parse(bytes);
    // Framed, the input's byte 12 stands at byte 19 of the reply.
    if (const auto reply = BuildLongFrame(0x08, 1, 0x72, bytes)) Parse(*reply);
    Build(std::string_view(reinterpret_cast<const char*>(data), size), bytes);
    return 0;
}
