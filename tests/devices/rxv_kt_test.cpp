#include <gtest/gtest.h>

#include "devices/rxv_kt.h"
#include "devices/rxv_table.h"
#include "mbus/hex.h"
#include "meters/meter_table.h"

namespace veltro {
namespace {

using Cells = std::vector<std::string>;
using Bytes = std::vector<std::uint8_t>;

// A receiver row: ID, address, manufacturer, version, device, medium, aux ID.
Cells Row(std::string id, std::string address, std::string mfr = "", std::string version = "", std::string device = "",
          std::string medium = "", std::string auxId = "") {
    Cells cells(kRxvColumns);
    cells[kRxvIdColumn] = std::move(id), cells[kRxvAddressColumn] = std::move(address);
    cells[kRxvManufacturerColumn] = std::move(mfr), cells[kRxvVersionColumn] = std::move(version);
    cells[kRxvDeviceColumn] = std::move(device), cells[kRxvMediumColumn] = std::move(medium);
    cells[kRxvAuxIdColumn] = std::move(auxId);
    return cells;
}

// "command | log" per action, "- | line" for a refusal, joined by " // "; raw bytes as <hex>.
std::string Outcome(const RxvActions& actions) {
    std::string text;
    for (const RxvAction& a : actions) {
        if (!text.empty()) text += " // ";
        if (!a.command) {
            text += "- | " + a.log;
            continue;
        }
        for (char c : *a.command) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte >= 0x20 && byte < 0x7F) text += c;
            else {
                constexpr std::string_view kDigits = "0123456789ABCDEF";
                text += {'<', kDigits[byte >> 4], kDigits[byte & 0x0F], '>'};
            }
        }
        text += " | " + a.log;
    }
    return text;
}

// The key 00 16 68 41 .. 4C: a NUL, a stop byte and a start byte go out raw.
constexpr std::string_view kHexKey = "00166841424344454647484950514A4B";
const std::string kRawKey = "<00><16>hABCDEFGHIPQJK";

TEST(RxvKt, NormalizeId8) {
    const struct {
        std::string_view id;
        std::optional<std::string> expected;
    } cases[] = {
        {"1234567", "01234567"},   {"123456789", "12345678"}, {"12345678", "12345678"}, {"ABCDEF09", "ABCDEF09"},
        {"7", "00000007"},         {"", std::nullopt},        // an empty ID is an error, never "00000000"
        {"1234abcd", std::nullopt}, {"1234 678", std::nullopt}, {"12345678G", "12345678"},  // cut before checking
    };
    for (const auto& c : cases) EXPECT_EQ(NormalizeId8(c.id), c.expected) << c.id;
}

TEST(RxvKt, UnitCodeOfEveryMediumName) {
    const struct {
        std::string_view medium;
        int code;
    } cases[] = {
        {"Other", 0},      {"Oil", 1},         {"Electricity", 2}, {"Gas", 3},       {"Steam", 5},
        {"Hot water", 6},  {"Water", 7},       {"H.C.A", 8},       {"Compr. air", 9}, {"Cool (out)", 10},
        {"Cool (in)", 11}, {"Heat", 12},       {"Heat/Cool", 13},  {"Bus", 14},      {"Unknown", 15},
        {"Cold water", 16}, {"", 15},          {"water", 15},      {"Water ", 15},
    };
    for (const auto& c : cases) EXPECT_EQ(RxvUnitCode(c.medium), c.code) << c.medium;
}

TEST(RxvKt, SingleCommandsOfThePage) {
    const struct {
        std::string_view what;
        RxvActions actions;
        std::string expected;
    } cases[] = {
        {"date", {BuildRxvDate({2026, 3, 5, 9, 7, 5})}, "set date=05/03/26 | Setting date of RXV-KT..."},
        {"date 2099", {BuildRxvDate({2099, 12, 31})}, "set date=31/12/99 | Setting date of RXV-KT..."},
        {"year 1999", {BuildRxvDate({1999, 12, 31})}, "- | Incorrect year of the PC, skipping datetime set..."},
        {"year 2100", {BuildRxvDate({2100, 1, 1})}, "- | Incorrect year of the PC, skipping datetime set..."},
        {"time", {BuildRxvTime({2026, 3, 5, 9, 7, 5})}, "set time=09:07:05 | Setting time of RXV-KT..."},
        {"interval 240", BuildRxvSaveInterval("240"), "set pito=240 | Setting readout intervals of RXV-KT..."},
        {"interval 1", BuildRxvSaveInterval("1"), "set pito=1 | Setting readout intervals of RXV-KT..."},
        {"interval empty", BuildRxvSaveInterval(""), ""},
        {"interval 241", BuildRxvSaveInterval("241"), ""},
        {"interval 0", BuildRxvSaveInterval("0"), ""},
        {"mode S2", {BuildRxvWirelessMode("S2")}, "set wmod=0 | Setting wireless working mode of RXV-KT..."},
        {"mode T2+C", {BuildRxvWirelessMode("T2+C")}, "set wmod=11 | Setting wireless working mode of RXV-KT..."},
        {"mode typed", {BuildRxvWirelessMode("C1")}, "set wmod=1 | Setting wireless working mode of RXV-KT..."},
        {"role", BuildRxvRole("Repeater"), "set nrol=2 | Setting wireless role of RXV-KT..."},
        {"role typed", BuildRxvRole("Boss"), ""},
        {"work typed Install", BuildRxvWorkMode("Install"), "set wwrk=1 | Setting mode of work of RXV-KT..."},
        {"work Accept All", BuildRxvWorkMode("Accept All"), "set wwrk=2 | Setting mode of work of RXV-KT..."},
        {"work typed", BuildRxvWorkMode("accept all"), ""},
        {"option on", BuildRxvOption("Secondary ID", true), "set ambr=1 | Setting Secondary ID of RXV-KT..."},
        {"option off", BuildRxvOption("Master Key", false), "set mast=0 | Setting Master Key of RXV-KT..."},
        {"option typed", BuildRxvOption("LED", true), ""},
        {"info", {BuildRxvInfo()}, "get serv | "},
        {"wm-bus", {BuildRxvWirelessInfo()}, "get wsta | "},
    };
    for (const auto& c : cases) EXPECT_EQ(Outcome(c.actions), c.expected) << c.what;
    const std::pair<std::string_view, int> modes[] = {{"T1", 1}, {"T2", 2}, {"S1", 3}, {"R", 4}, {"T1+C", 10}};
    for (const auto& [item, code] : modes) EXPECT_EQ(RxvWirelessModeCode(item), code) << item;
    EXPECT_EQ(RxvRoleCode("Master"), 1);
    EXPECT_EQ(RxvRoleCode("Slave"), 0);
    EXPECT_EQ(RxvWorkModeCode("Normal"), 0);
    const std::pair<std::string_view, std::string_view> options[] = {
        {"RSSI", "set rssi="}, {"Timestamp", "set tmst="}, {"Min/Hours", "set minc="}, {"Transparent", "set trns="}};
    for (const auto& [item, prefix] : options) EXPECT_EQ(RxvOptionPrefix(item), prefix) << item;
}

TEST(RxvKt, KeyStorageRefusalsInOrderAndCommands) {
    const RxvKeySettings hexByAddress{std::string(kHexKey), false, true, false, false};
    const RxvKeySettings both{std::string(kHexKey), false, true, true, false};
    const RxvKeySettings bothAll{std::string(kHexKey), false, true, true, true};
    const RxvKeySettings byId{std::string(kHexKey), false, false, true, false};
    const auto withText = [](std::string text, bool ascii) { return RxvKeySettings{std::move(text), ascii, true, false, false}; };
    const std::string a31(31, 'A'), a33(33, 'A');
    const struct {
        std::string_view what;
        int row;
        Cells cells;
        RxvKeySettings key;
        std::string expected;
    } cases[] = {
        // refusals in order: row, address, limit, key
        {"no row", 0, Row("12345678", ""), withText("x", true), "- | No row selected from the table..."},
        {"empty address before key", 1, Row("12345678", ""), withText("x", true), "- | Not correct Primary address..."},
        {"address 0 is not the master", 1, Row("12345678", "0"), hexByAddress, "- | Not correct Primary address..."},
        {"address 00", 1, Row("12345678", "00"), hexByAddress, "- | Not correct Primary address..."},
        {"463 programmable, no key", 1, Row("12345678", "463"), hexByAddress, "- | Max primary address for AES-128 key is 450"},
        {"abc counts as above", 1, Row("12345678", "abc"), hexByAddress, "- | Max primary address for AES-128 key is 450"},
        {"hex 31", 1, Row("12345678", "5"), withText(a31, false), "- | Encryption key must be 16 bytes exactly, skipping..."},
        {"hex 33", 1, Row("12345678", "5"), withText(a33, false), "- | Encryption key must be 16 bytes exactly, skipping..."},
        {"hex lower-case a", 1, Row("12345678", "5"), withText("a" + a31, false), "- | Wrong HEX key, 0..F uppercase allowed only"},
        {"hex colon", 1, Row("12345678", "5"), withText(a31 + ":", false), "- | Wrong HEX key, 0..F uppercase allowed only"},
        {"ascii 15", 1, Row("12345678", "5"), withText("ABCDEFGHIJKLMNO", true), "- | Encryption key must be 16 bytes exactly, skipping..."},
        {"ascii 17", 1, Row("12345678", "5"), withText("ABCDEFGHIJKLMNOPQ", true), "- | Encryption key must be 16 bytes exactly, skipping..."},
        // commands
        {"ascii 16", 1, Row("12345678", "5"), withText("ABCDEFGHIJKLMNOP", true), "set encr=5,ABCDEFGHIJKLMNOP | Setting encryption key of 5"},
        {"450, raw bytes", 1, Row("12345678", "450"), hexByAddress, "set encr=450," + kRawKey + " | Setting encryption key of 450"},
        {"both, address first", 2, Row("1234567", "7"), both,
         "set encr=7," + kRawKey + " | Setting encryption key of 7 // set akey=01234567," + kRawKey + " | Setting encryption key of 01234567"},
        {"both, one key all", 2, Row("12345678", "7"), bothAll,
         "set encr=0," + kRawKey + " | Setting Master Key for all devices // set akey=00000000," + kRawKey + " | Setting Master Key for all devices"},
        {"ID 00000000 is not the master", 1, Row("00000000", "7"), byId, "- | Wrong ID, must be 8-digits..."},
        {"empty ID", 1, Row("", "7"), both, "set encr=7," + kRawKey + " | Setting encryption key of 7 // - | Wrong ID, must be 8-digits..."},
        {"neither box", 1, Row("12345678", "7"), withText(std::string(kHexKey), false) , "set encr=7," + kRawKey + " | Setting encryption key of 7"},
    };
    for (const auto& c : cases) EXPECT_EQ(Outcome(BuildRxvKeyStorage(c.row, c.cells, c.key)), c.expected) << c.what;
    EXPECT_EQ(Outcome(BuildRxvKeyStorage(1, Row("12345678", "7"), {std::string(kHexKey), false, false, false, false})), "");
}

TEST(RxvKt, ProgrammingRowSteps) {
    const RxvKeySettings key{std::string(kHexKey), false, true, true, true};  // "One key all" is not for rows
    using enum RxvStep;
    const struct {
        std::string_view what;
        RxvStep step;
        Cells cells;
        bool auxId;
        std::string expected;
    } cases[] = {
        {"empty address", Activate, Row("12345678", ""), false, "- | Error in Primary device address at row 3"},
        {"address 0", Delete, Row("12345678", "0"), false, "- | Error in Primary device address at row 3, skipping"},
        {"address 464", Unit, Row("12345678", "464"), false, "- | Error in Primary device address at row 3, skipping"},
        {"address abc", Activate, Row("12345678", "abc"), false, "- | Error in Primary device address at row 3, skipping"},
        {"address -1", Activate, Row("12345678", "-1"), false, "- | Error in Primary device address at row 3, skipping"},
        {"address 463", Activate, Row("1234567", "463"), false, "set entr=463,01234567 | Activating device 463/01234567..."},
        {"as typed", Delete, Row("", "007"), false, "del entr=007 | Deleting device 007..."},
        {"aux ID", Activate, Row("12345678", "5", "", "", "", "", "87654321"), true, "set entr=5,87654321 | Activating device 5/87654321..."},
        {"empty aux ID", Activate, Row("12345678", "5"), true, "- | Error in device ID on row 3"},
        {"empty ID", Activate, Row("", "5"), false, "- | Error in device ID on row 3"},
        {"unit heat", Unit, Row("", "5", "", "", "", "Heat"), false, "set unit=5,12 | Setting unit of device 5..."},
        {"unit empty", Unit, Row("", "5"), false, "set unit=5,15 | Setting unit of device 5..."},
        {"key per row", Key, Row("12345678", "5"), false,
         "set encr=5," + kRawKey + " | Setting encryption key of 5 // set akey=12345678," + kRawKey + " | Setting encryption key of 12345678"},
        {"key address 0", Key, Row("12345678", "0"), false, "- | Error in Primary device address at row 3, skipping"},
    };
    for (const auto& c : cases) EXPECT_EQ(Outcome(BuildRxvRowStep(c.step, 3, c.cells, c.auxId, key).actions), c.expected) << c.what;
    const RxvRowStep aux = BuildRxvRowStep(Activate, 1, Row("", "5", "", "", "", "", "1234567"), true, key);
    EXPECT_EQ(aux.idColumn, kRxvAuxIdColumn);
    EXPECT_EQ(aux.normalizedId, "01234567");
}

TEST(RxvKt, StepSwitchExclusions) {
    using enum RxvStep;
    RxvStepSwitches s;
    s.tick(Activate, true), s.tick(Key, true);
    EXPECT_EQ(s.count(), 2);
    EXPECT_EQ(s.first(), Activate);
    s.tick(Delete, true);
    EXPECT_EQ(s.count(), 1);
    EXPECT_EQ(s.first(), Delete);
    s.tick(Unit, true);
    EXPECT_FALSE(s.isTicked(Delete));
    EXPECT_EQ(s.first(), Unit);
}

TEST(RxvKt, BindBytesAndChecks) {
    // "KAM" is 2C2Dh; ID 12345678 goes 78 56 34 12.
    EXPECT_EQ(RxvBindBytes("12345678", "KAM", "1", "7"),
              (std::array<std::uint8_t, 8>{0x78, 0x56, 0x34, 0x12, 0x2D, 0x2C, 0x01, 0x07}));
    EXPECT_EQ(RxvBindBytes("ABCDEF01", "KAM", "255", "0"),
              (std::array<std::uint8_t, 8>{0x01, 0xEF, 0xCD, 0xAB, 0x2D, 0x2C, 0xFF, 0x00}));
    const struct {
        std::string_view what, id, mfr, version, device;
    } unbindable[] = {
        {"version 254", "12345678", "KAM", "254", "7"}, {"device 254", "12345678", "KAM", "1", "254"},
        {"version 256", "12345678", "KAM", "256", "7"}, {"device 510", "12345678", "KAM", "1", "510"},
        {"version text", "12345678", "KAM", "v1", "7"}, {"lower-case code", "12345678", "kam", "1", "7"},
        {"two letters", "12345678", "KA", "1", "7"},    {"short ID", "1234567", "KAM", "1", "7"},
    };
    for (const auto& c : unbindable) EXPECT_FALSE(RxvBindBytes(c.id, c.mfr, c.version, c.device)) << c.what;

    const struct {
        std::string_view what;
        int row;
        Cells cells;
        std::string bind, debind;
    } cases[] = {
        {"no row", 0, Row("12345678", "5"), "- | No row selected from the table...", "- | No row selected from the table..."},
        {"short ID", 1, Row("1234567", "5"), "- | Wrong ID, must be 8-digits...", "del bind=5 | De-binding device with Address 5"},
        {"empty address", 1, Row("12345678", ""), "", "- | Not correct Primary address..."},
        {"address 65", 1, Row("12345678", "65", "KAM", "1", "7"), "- | Max primary address for binding is 64...",
         "- | Max primary address for de-binding is 64..."},
        {"address x", 1, Row("12345678", "x", "KAM", "1", "7"), "- | Max primary address for binding is 64...",
         "- | Max primary address for de-binding is 64..."},
        {"no version", 1, Row("12345678", "64", "KAM", "", "7"), "- | Must have MFR, VER and Device to bind...",
         "del bind=64 | De-binding device with Address 5"},
        {"code @@@", 1, Row("12345678", "64", "@@@", "1", "7"), "- | Wrong manufacturer code, must be 3-letters...",
         "del bind=64 | De-binding device with Address 5"},
        {"version 256", 1, Row("12345678", "64", "KAM", "256", "7"), "", "del bind=64 | De-binding device with Address 5"},
        {"bound", 1, Row("12345678", "64", "KAM", "1", "22"), "set bind=64,xV4<12>-,<01><16> | Binding device with Address 5",
         "del bind=64 | De-binding device with Address 5"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Outcome(BuildRxvBind(c.row, c.cells, "Address 5")), c.bind) << c.what;
        EXPECT_EQ(Outcome(BuildRxvDebind(c.row, c.cells, "Address 5")), c.debind) << c.what;
    }
}

TEST(RxvKt, RepliesOfTheReceiver) {
    const struct {
        std::string_view reply;
        bool confirmed, doneLine;
    } cases[] = {
        {"Done!\n", true, true},           {"Done!", true, false},   {"Done!\r\n", true, false},
        {"Entry already active", true, false}, {"Already", false, false}, {"Error: full", false, false},
        {"", false, false},                {"xDone!\n", true, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RxvActivationConfirmed(c.reply), c.confirmed) << c.reply;
        EXPECT_EQ(RxvIsDoneLine(c.reply), c.doneLine) << c.reply;
    }
}

Bytes Hex(std::string_view text) {
    const auto bytes = ParseHex(text);
    return bytes ? Bytes(bytes->begin(), bytes->end()) : Bytes{};
}

// The worked telegram: water meter 12345678 of 2C2Dh, version 1.
const Bytes kWater = Hex("68 0C 44 2D 2C 78 56 34 12 01 07 7A 01 02 16");

TEST(RxvKt, FindsTheFirstTelegram) {
    const Bytes withAux = Hex("68 0F 44 2D 2C 78 56 34 12 01 07 72 21 43 65 87 16");
    const struct {
        std::string_view what;
        std::string_view chunk;
        std::optional<std::string_view> telegram;
    } cases[] = {
        {"whole", "68 0C 44 2D 2C 78 56 34 12 01 07 7A 01 02 16", "68 0C 44 2D 2C 78 56 34 12 01 07 7A 01 02 16"},
        {"two telegrams, first kept", "68 0C 44 2D 2C 78 56 34 12 01 07 7A 01 02 16 68 0C 44 2D 2C 11 11 11 11 01 07 7A 01 02 16",
         "68 0C 44 2D 2C 78 56 34 12 01 07 7A 01 02 16"},
        {"noise before", "00 16 41 68 02 16 00 16", "68 02 16 00 16"},
        {"16h inside the length is data", "68 03 16 16 16 16", "68 03 16 16 16"},
        {"no 16h", "68 0C 44 2D 2C 78 56 34 12 01 07 7A", std::nullopt},
        {"16h too early", "68 0C 16 16", std::nullopt},
        {"a 68h alone at the end", "00 68", std::nullopt},
        {"first 68h without a stop, second with", "68 20 00 68 01 00 16", "68 01 00 16"},
        {"empty", "", std::nullopt},
    };
    for (const auto& c : cases) {
        const Bytes chunk = Hex(c.chunk);
        const auto found = FindRxvTelegram(chunk);
        ASSERT_EQ(found.has_value(), c.telegram.has_value()) << c.what;
        if (found) {
            EXPECT_EQ(Bytes(found->begin(), found->end()), Hex(*c.telegram)) << c.what;
        }
    }

    const auto water = DecodeAcquiredTelegram(kWater);
    ASSERT_TRUE(water);
    EXPECT_EQ(water->id, "12345678");
    EXPECT_EQ(water->version, "1");
    EXPECT_EQ(water->device, "7");
    EXPECT_EQ(water->note, "L=0x0C, C=0x44");
    EXPECT_EQ(water->manufacturer, "KAM");
    EXPECT_EQ(water->medium, "Water");
    EXPECT_EQ(water->auxId, std::nullopt);
    EXPECT_EQ(water->telegram, "7A 01 02 16 ");
    EXPECT_EQ(water->log, "68 0C 44 2D 2C 78 56 34 12 01 07 7A 01 02 16 ");

    const auto aux = DecodeAcquiredTelegram(withAux);
    ASSERT_TRUE(aux);
    EXPECT_EQ(aux->auxId, "87654321");
    // device type 2Ah has no name: the cell keeps what it held
    EXPECT_FALSE(DecodeAcquiredTelegram(Hex("68 0C 44 2D 2C 78 56 34 12 01 2A 7A 16"))->medium);

    const struct {
        std::string_view what, telegram;
    } ignored[] = {
        {"11 bytes", "68 0A 44 2D 2C 78 56 34 12 01 16"},
        {"CI 72h in 15 bytes", "68 0D 44 2D 2C 78 56 34 12 01 07 72 21 43 16"},
    };
    for (const auto& c : ignored) EXPECT_FALSE(DecodeAcquiredTelegram(Hex(c.telegram))) << c.what;
}

} // namespace
} // namespace veltro

namespace veltro {
namespace {

TEST(RxvTable, TitlesKeyFilterAndLabels) {
    EXPECT_EQ(ReceiverTitles(Language::Italian), ReceiverTitles(Language::English));
    const DeviceTable table = NewReceiverTable(Language::Italian);
    EXPECT_EQ(table.columnCount(), kRxvColumns);
    EXPECT_EQ(table.cell(0, kRxvManufacturerColumn), "MFR ");
    EXPECT_EQ(table.cell(0, kRxvTimeColumn), "Time and Date ");
    EXPECT_EQ(table.maxDataRows(), 450);

    const struct {
        int column;
        char key;
        bool accepted;
    } keys[] = {{0, '7', true}, {0, 'A', false}, {1, '\b', true}, {1, '\r', true}, {3, '-', false},
                {4, ' ', false}, {6, 'x', false}, {2, 'x', true}, {5, 'x', true}, {7, 'F', true}, {9, ':', true}};
    for (const auto& k : keys) EXPECT_EQ(ReceiverKeyAccepted(k.column, k.key), k.accepted) << k.column << k.key;

    ReceiverTable receiver;
    EXPECT_EQ(receiver.label45(), "Address unknown");
    receiver.table().setCell(1, kRxvIdColumn, "12345678");
    receiver.table().setCell(1, kRxvAddressColumn, "5");
    receiver.addRow();
    receiver.selectCell(1);
    EXPECT_EQ(receiver.label45(), "Address 5");
    EXPECT_EQ(receiver.label46(), "ID: 12345678");
    receiver.selectCell(2);
    EXPECT_EQ(receiver.label45(), "Address unknown");
    receiver.deleteRow();
    EXPECT_EQ(receiver.receiverRow(), 1);  // the last row went; the selection stays on a data row
    receiver.selectCell(0);
    receiver.deleteRow();
    EXPECT_EQ(receiver.table().cell(1, kRxvIdColumn), "12345678");
}

TEST(RxvTable, AcquisitionTicks) {
    const std::string water = "68 0C 44 2D 2C 78 56 34 12 01 07 7A 01 02 16";
    const std::string other = "68 0C 44 2D 2C 11 11 11 11 01 07 7A 01 02 16";
    ReceiverTable receiver;
    receiver.table().setCell(1, kRxvAddressColumn, "9");  // the lone row is taken while column 0 is empty
    ReceiverAcquisition acquisition;
    const struct {
        std::string_view what;
        std::string received;
        bool excludeIdentical;
        bool purge;
        int row;
        int rows;
    } ticks[] = {
        {"Done! alone", "Done!\n", false, true, 0, 1},
        {"worked telegram", water, false, true, 1, 1},
        {"identical excluded", water, true, true, 0, 1},
        {"identical kept", water, false, true, 2, 2},
        {"two telegrams, first kept", other + " " + water, true, true, 3, 3},
        {"no 16h", "68 0C 44 2D 2C 78 56 34 12 01 07 7A", false, false, 0, 3},
        {"11 bytes", "68 09 44 2D 2C 78 56 34 12 01 16", false, true, 0, 3},
    };
    for (const auto& t : ticks) {
        const Bytes bytes = t.received == "Done!\n" ? Bytes(t.received.begin(), t.received.end()) : Hex(t.received);
        const AcquisitionTick tick = acquisition.tick(receiver.table(), bytes, t.excludeIdentical, "09:07:05, 05.03.2026");
        EXPECT_EQ(tick.purge, t.purge) << t.what;
        EXPECT_EQ(tick.row, t.row) << t.what;
        EXPECT_EQ(receiver.table().dataRowCount(), t.rows) << t.what;
        EXPECT_EQ(tick.log, t.row ? std::vector<std::string>{HexRendering(Hex(t.received.substr(0, water.size())))}
                                  : std::vector<std::string>{})
            << t.what;
    }
    const Cells expected{"12345678", "9", "KAM", "1", "7", "Water", "L=0x0C, C=0x44", "", "7A 01 02 16 ",
                         "09:07:05, 05.03.2026"};
    EXPECT_EQ(receiver.table().rowCells(1), expected);
    EXPECT_EQ(receiver.table().cell(3, kRxvIdColumn), "11111111");

    // 460 meters heard: 450 rows and one line
    ReceiverTable full;
    ReceiverAcquisition run;
    int fullLines = 0;
    for (int i = 0; i < 460; ++i) {
        Bytes telegram = Hex(water);
        telegram[5] = static_cast<std::uint8_t>(i), telegram[6] = static_cast<std::uint8_t>(i >> 8);
        for (const auto& line : run.tick(full.table(), telegram, true, "t").log) fullLines += line == kReceiverTableFull;
    }
    EXPECT_EQ(full.table().dataRowCount(), 450);
    EXPECT_EQ(fullLines, 1);
}

TEST(RxvTable, GetFromMeterTable) {
    MeterTable meters;
    const Cells first{"12345678", "5", "KAM", "1", "x", "Water"}, second{"87654321", "", "ABC", "", "", "Gas"};
    for (const Cells& cells : {first, second}) {
        const int row = meters.rowCount() - 1;
        for (int c = 0; c < 6; ++c) meters.setCell(row, c, cells[static_cast<std::size_t>(c)]);
        meters.addRowAtEnd();
    }
    DeviceTable receiver = NewReceiverTable();
    receiver.setCell(1, kRxvNoteColumn, "old");
    receiver.addRow(), receiver.addRow();
    const ReceiverFill fill = FillReceiverFromMeters(receiver, meters);
    EXPECT_EQ(fill.rows, 2);  // the meter table's trailing empty row is no meter
    EXPECT_TRUE(fill.log.empty());
    EXPECT_EQ(receiver.dataRowCount(), 2);
    EXPECT_EQ(receiver.rowCells(1), (Cells{"12345678", "5", "KAM", "", "", "Water", "", "", "", ""}));
    EXPECT_EQ(receiver.rowCells(2), (Cells{"87654321", "", "ABC", "", "", "Gas", "", "", "", ""}));
}

TEST(RxvTable, ImportAndExport) {
    std::string lines450;
    for (int i = 1; i <= 450; ++i) lines450 += std::to_string(i) + ";" + std::to_string(i) + ";;;;;;;;;\n";
    const struct {
        std::string_view what;
        std::string file;
        bool applied, tooManyData;
        int rows;
    } cases[] = {
        {"450 rows", lines450, true, false, 450},
        {"451 rows: 450 taken", lines450 + "451;\n", true, true, 450},
        {"11 fields: left alone", "1;2;3;4;5;6;7;8;9;10;11;\n", false, true, 2},
        {"not text: left alone", std::string("1;\0;\n", 5), false, false, 2},
        {"empty file", "", true, false, 1},
    };
    for (const auto& c : cases) {
        ReceiverTable receiver;
        receiver.addRow();
        const ReceiverImport result = ApplyReceiverImport(receiver, ParseReceiverImport(c.file, ';'));
        EXPECT_EQ(result.applied, c.applied) << c.what;
        EXPECT_EQ(result.tooManyData, c.tooManyData) << c.what;
        EXPECT_EQ(receiver.table().dataRowCount(), c.rows) << c.what;
    }
    ReceiverTable receiver;
    ApplyReceiverImport(receiver, ParseReceiverImport(lines450, ';'));
    EXPECT_EQ(ExportReceiverText(receiver.table(), ';'), lines450);
}

} // namespace
} // namespace veltro
