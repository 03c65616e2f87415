#include <gtest/gtest.h>

#include "devices/rxvpico.h"
#include "mbus/frames.h"
#include "test_util.h"

namespace veltro {
namespace {

using test::Bytes;
using Lines = std::vector<std::string>;

// The telegram as hex, or "- | " and the lines of a refusal joined by " // ".
std::string Outcome(const PicoCommand& command) {
    if (command.telegram) {
        EXPECT_TRUE(command.log.empty()) << HexRendering(*command.telegram);
        return HexRendering(*command.telegram);
    }
    std::string text = "-";
    for (const auto& line : command.log) text += (text == "-" ? " | " : " // ") + line;
    return text;
}

// The key 00 16 68 41 .. 4C: a NUL, a stop byte and a start byte are key bytes like any other.
constexpr std::string_view kKey = "00166841424344454647484950514A4B";

TEST(RxvPico, ReceiverCheck) {
    const struct {
        std::string_view picoId, address;
        std::optional<std::uint8_t> expected;
        std::string_view line;
    } cases[] = {
        {"00000001", "1", 1, ""},
        {"00000001", "0", 0, ""},
        {"00000001", "250", 250, ""},
        {"0000001", "1", std::nullopt, "RXVpico ID is wrong, must be 8 digits..."},
        {"000000012", "1", std::nullopt, "RXVpico ID is wrong, must be 8 digits..."},
        {"00000001", "", std::nullopt, "No primary address for RXVpico..."},
        // Never reduced modulo 256: 300 is not sent as 44.
        {"00000001", "300", std::nullopt, "Error in RXVpicoPrimary address, skipping..."},
        {"00000001", "251", std::nullopt, "Error in RXVpicoPrimary address, skipping..."},
        {"00000001", "x", std::nullopt, "Error in RXVpicoPrimary address, skipping..."},
        {"00000001", "-1", std::nullopt, "Error in RXVpicoPrimary address, skipping..."},
        {"00000001", " 1", std::nullopt, "Error in RXVpicoPrimary address, skipping..."},
        {"", "", std::nullopt, "RXVpico ID is wrong, must be 8 digits..."},  // the ID is checked first
    };
    for (const auto& c : cases) {
        const PicoReceiverCheck check = CheckPicoReceiver(c.picoId, c.address);
        EXPECT_EQ(check.address, c.expected) << c.picoId << " / " << c.address;
        EXPECT_EQ(check.line, c.line) << c.picoId << " / " << c.address;
    }
}

TEST(RxvPico, EveryCommandsBytes) {
    const PicoClock december7{2026, 12, 7, 13, 45};
    const struct {
        std::string_view what;
        PicoCommand command;
        std::string_view expected;
    } cases[] = {
        // CS = 53 + 01 + 51 + 0F + FF + 01 + 04 + 78 + 56 + 34 + 12 = 3CCh.
        {"add 12345678", BuildPicoAdd(1, "12345678"), "68 0B 0B 68 53 01 51 0F FF 01 04 78 56 34 12 CC 16 "},
        {"delete", BuildPicoDelete(1, "12345678"), "68 0B 0B 68 53 01 51 0F FF 81 04 78 56 34 12 4C 16 "},
        {"delete all at 250", BuildPicoDeleteAll(250), "68 0B 0B 68 53 FA 51 0F FF 82 04 01 40 00 00 73 16 "},
        {"list step 1", BuildPicoListStep(1, 1), "68 0B 0B 68 53 01 51 0F FF 02 04 01 18 00 00 D2 16 "},
        {"list step 2", BuildPicoListStep(1, 2), "68 0B 0B 68 53 01 51 0F FF 02 04 19 18 00 00 EA 16 "},
        {"list step 3 stops at 63", BuildPicoListStep(1, 3), "68 0B 0B 68 53 01 51 0F FF 02 04 31 0F 00 00 F9 16 "},
        {"list step 4 is the address table", BuildPicoListStep(1, 4),
         "68 0B 0B 68 53 01 51 0F FF 03 04 01 40 00 00 FB 16 "},
        {"read addresses", BuildPicoReadAddresses(1), "68 0B 0B 68 53 01 51 0F FF 03 04 01 40 00 00 FB 16 "},
        {"Decode Techem on", BuildPicoFlag(1, "Decode Techem", true),
         "68 0B 0B 68 53 01 51 0F FF 05 04 0A 01 00 00 C7 16 "},
        {"Decode Techem off", BuildPicoFlag(1, "Decode Techem", false),
         "68 0B 0B 68 53 01 51 0F FF 05 04 0A 00 00 00 C6 16 "},
        {"Filter by Medium is flag 31", BuildPicoFlag(1, "Filter by Medium", true),
         "68 0B 0B 68 53 01 51 0F FF 05 04 1F 01 00 00 DC 16 "},
        {"another text is flag 0", BuildPicoFlag(1, "decode techem", true),
         "68 0B 0B 68 53 01 51 0F FF 05 04 00 01 00 00 BD 16 "},
        {"set key", BuildPicoSetKey(1, "12345678", kKey),
         "68 1B 1B 68 53 01 51 0F FF 0A 14 78 56 34 12 00 16 68 41 42 43 44 45 46 47 48 49 50 51 4A 4B 06 16 "},
        {"read key of FFFFFFFF at 0", BuildPicoReadKey(0, "FFFFFFFF"),
         "68 0B 0B 68 53 00 51 0F FF 8A 04 FF FF FF FF 3C 16 "},
        {"ID filter with F wildcards", BuildPicoIdFilter(1, 8, "1234FFFF"),
         "68 0C 0C 68 53 01 51 0F FF 16 05 08 FF FF 34 12 1A 16 "},
        {"manufacturer All is 09ACh, no wildcard", BuildPicoManufacturerFilter(1, 1, "All"),
         "68 0A 0A 68 53 01 51 0F FF 17 03 01 09 AC 83 16 "},
        {"manufacturer KXR high byte first", BuildPicoManufacturerFilter(1, 2, "KXR"),
         "68 0A 0A 68 53 01 51 0F FF 17 03 02 2F 12 10 16 "},
        {"two letters give 0", BuildPicoManufacturerFilter(1, 3, "AB"), "68 0A 0A 68 53 01 51 0F FF 17 03 03 00 00 D0 16 "},
        {"a digit gives 0", BuildPicoManufacturerFilter(1, 3, "A1B"), "68 0A 0A 68 53 01 51 0F FF 17 03 03 00 00 D0 16 "},
        {"medium Heat (ft) is not in the name table", BuildPicoMediumFilter(1, 1, "Heat (ft)"),
         "68 09 09 68 53 01 51 0F FF 18 02 01 0F DD 16 "},
        {"medium All", BuildPicoMediumFilter(1, 1, "All"), "68 09 09 68 53 01 51 0F FF 18 02 01 0F DD 16 "},
        {"medium Other", BuildPicoMediumFilter(1, 8, "Other"), "68 09 09 68 53 01 51 0F FF 18 02 08 00 D5 16 "},
        {"medium Cold water", BuildPicoMediumFilter(1, 2, "Cold water"), "68 09 09 68 53 01 51 0F FF 18 02 02 16 E5 16 "},
        {"read ID filters", BuildPicoReadFilter(1, PicoFilter::Id), "68 08 08 68 53 01 51 0F FF 96 01 00 4A 16 "},
        {"read manufacturer filters", BuildPicoReadFilter(1, PicoFilter::Manufacturer),
         "68 08 08 68 53 01 51 0F FF 97 01 00 4B 16 "},
        {"read medium filters", BuildPicoReadFilter(1, PicoFilter::Medium), "68 08 08 68 53 01 51 0F FF 98 01 00 4C 16 "},
        {"status request", BuildPicoStatusRequest(1), "10 7B 01 7C 16 "},
        {"7 December 2026 13:45", BuildPicoDateTime(1, december7), "68 09 09 68 53 01 51 04 6D 2D 0D 47 3C D3 16 "},
        {"2000 is year 100", BuildPicoDateTime(1, {2000, 1, 1, 0, 0}), "68 09 09 68 53 01 51 04 6D 00 00 81 C1 58 16 "},
        {"2127 is the last year", BuildPicoDateTime(1, {2127, 12, 31, 23, 59}),
         "68 09 09 68 53 01 51 04 6D 3B 17 FF FC 63 16 "},
        {"1901 is year 1", BuildPicoDateTime(1, {1901, 1, 1, 0, 0}), "68 09 09 68 53 01 51 04 6D 00 00 21 01 38 16 "},
        {"99 is taken as it is", BuildPicoDateTime(1, {99, 1, 1, 0, 0}), "68 09 09 68 53 01 51 04 6D 00 00 61 C1 38 16 "},
    };
    for (const auto& c : cases) EXPECT_EQ(Outcome(c.command), c.expected) << c.what;
}

TEST(RxvPico, RefusedCommandsSendNothing) {
    const std::string keyOf31(31, 'A'), keyOf33(33, 'A');
    const struct {
        std::string_view what;
        PicoCommand command;
        std::string_view expected;
    } cases[] = {
        {"ID of 7", BuildPicoAdd(1, "1234567"), "- | Error in RXVpico ID, exception ID must be 8 characters, not 7"},
        {"ID with A", BuildPicoDelete(1, "1234567A"),
         "- | Error in RXVpico ID, exception character 8 'A' is not 0-9 or F"},
        {"lower-case f", BuildPicoReadKey(1, "1234567f"),
         "- | Error in RXVpico ID, exception character 8 'f' is not 0-9 or F"},
        {"a control character", BuildPicoAdd(1, std::string_view("1234\x07" "678", 8)),
         "- | Error in RXVpico ID, exception character 5 0x07 is not 0-9 or F"},
        {"empty filter ID", BuildPicoIdFilter(1, 1, ""),
         "- | Error in RXVpico ID, exception ID must be 8 characters, not 0"},
        {"lower-case key", BuildPicoSetKey(1, "12345678", "00166841424344454647484950514a4b"),
         "- | Wrong HEX key, 0..F uppercase allowed only // Error in AES key for 12345678"},
        {"key with a blank", BuildPicoSetKey(1, "12345678", "00166841424344454647484950514A4 "),
         "- | Wrong HEX key, 0..F uppercase allowed only // Error in AES key for 12345678"},
        {"key of 31", BuildPicoSetKey(1, "12345678", keyOf31),
         "- | Encryption key must be 16 bytes exactly (32 symbols), skipping... // Error in AES key for 12345678"},
        {"key of 33", BuildPicoSetKey(1, "12345678", keyOf33),
         "- | Encryption key must be 16 bytes exactly (32 symbols), skipping... // Error in AES key for 12345678"},
        {"empty key", BuildPicoSetKey(1, "", ""),
         "- | Encryption key must be 16 bytes exactly (32 symbols), skipping... // Error in AES key for "},
        {"good key, bad ID", BuildPicoSetKey(1, "1234", kKey),
         "- | Error in RXVpico ID, exception ID must be 8 characters, not 4"},
        {"ID filter position 0", BuildPicoIdFilter(1, 0, "12345678"), "- | Filter position must be 1..8, skipping..."},
        {"manufacturer position 9", BuildPicoManufacturerFilter(1, 9, "All"),
         "- | Filter position must be 1..8, skipping..."},
        {"medium position -1", BuildPicoMediumFilter(1, -1, "Water"), "- | Filter position must be 1..8, skipping..."},
        {"position before ID", BuildPicoIdFilter(1, 9, "x"), "- | Filter position must be 1..8, skipping..."},
        {"2128", BuildPicoDateTime(1, {2128, 1, 1, 0, 0}), "- | Incorrect year of the PC, skipping datetime set..."},
        {"1900", BuildPicoDateTime(1, {1900, 1, 1, 0, 0}), "- | Incorrect year of the PC, skipping datetime set..."},
        {"100", BuildPicoDateTime(1, {100, 1, 1, 0, 0}), "- | Incorrect year of the PC, skipping datetime set..."},
        {"-1", BuildPicoDateTime(1, {-1, 1, 1, 0, 0}), "- | Incorrect year of the PC, skipping datetime set..."},
        {"month 13", BuildPicoDateTime(1, {2026, 13, 1, 0, 0}),
         "- | Incorrect date or time of the PC, skipping datetime set..."},
        {"day 32", BuildPicoDateTime(1, {2026, 1, 32, 0, 0}),
         "- | Incorrect date or time of the PC, skipping datetime set..."},
        {"minute 60", BuildPicoDateTime(1, {2026, 1, 1, 0, 60}),
         "- | Incorrect date or time of the PC, skipping datetime set..."},
        {"list from 0", BuildPicoReadIds(1, 0, 24), "- | List positions must be 1..64, skipping..."},
        {"list past 64", BuildPicoReadIds(1, 49, 17), "- | List positions must be 1..64, skipping..."},
        {"list step 5", BuildPicoListStep(1, 5), "- | List step must be 1..4, skipping..."},
    };
    for (const auto& c : cases) EXPECT_EQ(Outcome(c.command), c.expected) << c.what;
    EXPECT_EQ(Outcome(BuildPicoReadIds(1, 49, 16)), "68 0B 0B 68 53 01 51 0F FF 02 04 31 10 00 00 FA 16 ");
}

TEST(RxvPico, KeyAndIdTexts) {
    const PicoKey key = PicoKeyBytes("0123456789ABCDEFFEDCBA9876543210");
    ASSERT_TRUE(key.bytes);
    EXPECT_EQ(HexDigits(*key.bytes), "0123456789ABCDEFFEDCBA9876543210");
    EXPECT_EQ(PackPicoId("FFFFFFFF").bytes, (std::array<std::uint8_t, 4>{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(PackPicoId("0F1F2F3F").bytes, (std::array<std::uint8_t, 4>{0x3F, 0x2F, 0x1F, 0x0F}));
}

// ---- replies

// A reply from the receiver at address 1: the 12 header bytes, then `data` from byte 19, CS, 16.
Telegram Reply(const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> userData(12, 0x00);
    userData.insert(userData.end(), data.begin(), data.end());
    return *BuildLongFrame(frame::kRspUd, 1, frame::kCiVariableData, userData);
}

std::vector<std::uint8_t> Concat(std::string_view hex, std::size_t fill = 0) {
    Telegram bytes = Bytes(hex);
    std::vector<std::uint8_t> data(bytes.begin(), bytes.end());
    data.resize(data.size() + fill, 0x00);
    return data;
}

// Status data from byte 19: mark, activated 3, read 2, allowed 64, five spare bytes, the flag word
// F000031Bh (bit 3 and bit 31 have no line), two spare bytes, 13:45 on 7.12.26.
constexpr std::string_view kStatusData = "0F FF 06 04 03 02 40 00 00 00 00 00 1B 03 00 F0 00 00 2D 0D 47 3C";

const Lines kStatusLines{
    "RXVpico  devices info: ",
    "Devices allowed: 64",
    "Currently activated devices: 3",
    "Currently read devices: 2",
    "--------------------------------",
    "Flag status: F000031B",
    "Active flags: ",
    "Auto mode is ON",
    "Timestamp in each telegram is ON",
    "AES-128 decryption is ON",
    "Decode Apator is ON",
    "Decode Techem is ON",
    "Filter by manufacturer enabled",
    "Filter by ID enabled",
    "Filter by Medium enabled",
    "--------------------------------",
    "Date and Time of RXVpico: 13:45, 7.12.26",
    "",
};

// The status cut to `size` bytes and framed again. At 36 bytes the flag word's last byte is the check
// sum: spare byte 26 is chosen so that it still reads F0h.
Telegram StatusOfSize(std::size_t size) {
    std::vector<std::uint8_t> data = Concat(kStatusData);
    data.resize(size - 19 - 2);
    Telegram reply = Reply(data);
    if (size == 36) {
        data[26 - 19] = static_cast<std::uint8_t>(0xF0 - CheckSum8(reply.bytes().subspan(4, 30)));
        reply = Reply(data);
    }
    return reply;
}

TEST(RxvPico, StatusLinesInOrder) {
    for (std::size_t size = 36; size <= 45; ++size) {
        const Telegram reply = StatusOfSize(size);
        ASSERT_EQ(reply.size(), size);
        const auto status = ParsePicoStatus(reply);
        ASSERT_TRUE(status) << size;
        // The date lines need the four bytes 37..40 before the check sum.
        const Lines expected = size >= 43 ? kStatusLines : Lines(kStatusLines.begin(), kStatusLines.end() - 3);
        EXPECT_EQ(PicoStatusLines(*status), expected) << size;
    }

    PicoStatus none;
    none.allowed = 255;
    EXPECT_EQ(PicoStatusLines(none),
              (Lines{"RXVpico  devices info: ", "Devices allowed: 255", "Currently activated devices: 0",
                     "Currently read devices: 0", "--------------------------------", "Flag status: 00000000",
                     "Active flags: "}));
}

TEST(RxvPico, FilterTables) {
    const struct {
        std::string_view what;
        std::vector<std::uint8_t> data;
        PicoFilter filter;
        std::array<std::string, kPicoFilterPositions> entries;
    } cases[] = {
        {"IDs in received order",
         Concat("0F FF A6 20 78 56 34 12 FF FF FF FF 00 00 00 01 01 02 03 04 11 11 11 11 22 22 22 22 33 33 33 33 "
                "44 44 44 44"),
         PicoFilter::Id,
         {"78563412", "FFFFFFFF", "00000001", "01020304", "11111111", "22222222", "33333333", "44444444"}},
        // "All" goes out as 09ACh, but its lower-case letters do not fit five bits: it reads back as "BML".
        {"manufacturers low byte first",
         Concat("0F FF A7 10 2E 2C AC 09 12 2F 00 00 2E 2C 2E 2C 2E 2C 2E 2C"),
         PicoFilter::Manufacturer,
         {"KAN", "BML", "KXR", "@@@", "KAN", "KAN", "KAN", "KAN"}},
        {"media as the header's medium text",
         Concat("0F FF A8 08 07 0C 16 10 00 0F FF 04"),
         PicoFilter::Medium,
         {"Water", "Heat (ft)", "Cold water", "Unknown", "Other", "Unknown", "Unknown", "Heat (rt)"}},
    };
    for (const auto& c : cases) {
        const PicoFilterParse parse = ParsePicoFilters(Reply(c.data));
        ASSERT_TRUE(parse.table) << c.what << ": " << parse.error;
        EXPECT_EQ(parse.table->filter, c.filter) << c.what;
        EXPECT_EQ(parse.table->entries, c.entries) << c.what;
        EXPECT_FALSE(parse.unknownTable);
        EXPECT_EQ(parse.error, "");
    }

    const PicoFilterParse unknown = ParsePicoFilters(Reply(Concat("0F FF A5 08", 8)));
    EXPECT_TRUE(unknown.unknownTable);
    EXPECT_FALSE(unknown.table);
    EXPECT_EQ(unknown.error, "");

    Telegram badSum = Reply(Concat("0F FF A8 08", 8));
    std::vector<std::uint8_t> bytes(badSum.begin(), badSum.end());
    bytes[bytes.size() - 2] ^= 0x01;
    const PicoFilterParse corrupt = ParsePicoFilters(bytes);
    EXPECT_FALSE(corrupt.table);
    EXPECT_EQ(corrupt.error, "Wrong CRC");

    EXPECT_EQ(ParsePicoFilters(Reply(Concat("0F FF A6 20", 31))).error,
              "reply of 56 bytes is too short for 8 filter entries");
    EXPECT_EQ(ParsePicoFilters(Bytes("E5")).error, "reply of 1 bytes is too short");
}

TEST(RxvPico, KeyAndAddressReplies) {
    const auto key = ParsePicoKey(Reply(Concat("0F FF 8A 10 00 16 68 41 42 43 44 45 46 47 48 49 50 51 4A 4B")));
    EXPECT_EQ(key, std::string(kKey));
    // A status telegram long enough to hold a key is still no key.
    EXPECT_EQ(ParsePicoKey(StatusOfSize(45)), std::nullopt);

    std::vector<std::uint8_t> addresses = Concat("0F FF 83 40");
    for (int i = 1; i <= 70; ++i) addresses.push_back(static_cast<std::uint8_t>(i));
    addresses.push_back(0xAA);  // the two bytes after the fifth-last are no address
    addresses.push_back(0xBB);
    const auto all = ParsePicoAddresses(Reply(addresses));
    ASSERT_TRUE(all);
    ASSERT_EQ(all->size(), 64u);  // positions beyond the list are left out
    EXPECT_EQ(all->front(), 1);
    EXPECT_EQ(all->back(), 64);

    const auto three = ParsePicoAddresses(Reply(Concat("0F FF 83 40 05 FA 00 AA BB")));
    EXPECT_EQ(three, (std::vector<int>{5, 250, 0}));
}

// Each parser with its good reply and the size from which a reframed reply of that kind is accepted.
struct ParserCase {
    std::string_view what;
    Telegram good;
    std::size_t shortest;
    bool (*accepts)(std::span<const std::uint8_t>);
};

std::vector<ParserCase> ParserCases() {
    std::vector<std::uint8_t> addresses = Concat("0F FF 83 40", 66);
    return {
        {"status", StatusOfSize(45), 36, [](std::span<const std::uint8_t> r) { return ParsePicoStatus(r).has_value(); }},
        {"ID filters", Reply(Concat("0F FF A6 20", 32)), 57,
         [](std::span<const std::uint8_t> r) { return ParsePicoFilters(r).table.has_value(); }},
        {"manufacturer filters", Reply(Concat("0F FF A7 10", 16)), 41,
         [](std::span<const std::uint8_t> r) { return ParsePicoFilters(r).table.has_value(); }},
        {"medium filters", Reply(Concat("0F FF A8 08", 8)), 33,
         [](std::span<const std::uint8_t> r) { return ParsePicoFilters(r).table.has_value(); }},
        {"key", Reply(Concat("0F FF 8A 10", 16)), 41,
         [](std::span<const std::uint8_t> r) { return ParsePicoKey(r).has_value(); }},
        {"addresses", Reply(addresses), 28,
         [](std::span<const std::uint8_t> r) { return ParsePicoAddresses(r).has_value(); }},
    };
}

TEST(RxvPico, RepliesCutAtEveryLength) {
    for (const ParserCase& c : ParserCases()) {
        ASSERT_TRUE(c.accepts(c.good)) << c.what;
        // Each prefix in a buffer of its own size, so a read past it is caught under AddressSanitizer.
        for (std::size_t n = 0; n < c.good.size(); ++n) {
            const std::vector<std::uint8_t> prefix(c.good.begin(), c.good.begin() + static_cast<std::ptrdiff_t>(n));
            EXPECT_FALSE(c.accepts(prefix)) << c.what << " cut to " << n;
        }
        std::vector<std::uint8_t> badSum(c.good.begin(), c.good.end());
        badSum[badSum.size() - 2] ^= 0x80;
        EXPECT_FALSE(c.accepts(badSum)) << c.what << " with a bad check sum";
        std::vector<std::uint8_t> badStop(c.good.begin(), c.good.end());
        badStop.back() = 0x17;
        EXPECT_FALSE(c.accepts(badStop)) << c.what << " with a bad stop byte";

        // Framed anew with less data: accepted exactly from the size that holds every byte.
        const std::vector<std::uint8_t> data(c.good.begin() + 19, c.good.end() - 2);
        for (std::size_t keep = 0; keep <= data.size(); ++keep) {
            const Telegram reply =
                Reply(std::vector<std::uint8_t>(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(keep)));
            const std::vector<std::uint8_t> exact(reply.begin(), reply.end());
            EXPECT_EQ(c.accepts(exact), exact.size() >= c.shortest) << c.what << " of " << exact.size() << " bytes";
        }
    }
}

} // namespace
} // namespace veltro
