// The simulated RXV-KT receiver. Expected texts are those of docs/SIMULATOR.md, expected frames are
// written out by hand from the radio meters below, never taken from the receiver's code.
#include <gtest/gtest.h>

#include "sim/rxv_kt.h"
#include "sim_test_support.h"

namespace veltro::sim {
namespace {

using namespace std::chrono_literals;
using veltro::test::Bytes;
using Time = std::chrono::steady_clock::time_point;

const Time kStart{};
const std::string kKey1(16, '\x11');
// 00h, 16h and 68h inside a key must not end or split the command.
const std::string kKey2 = std::string("\x00\x16\x68" "set \x10\xE5\x0D\x0A" "abcde", 16);

ReceiverKey KeyOf(const std::string& text) {
    ReceiverKey key{};
    std::copy(text.begin(), text.end(), key.begin());
    return key;
}

MasterFrame TextFrame(std::string_view text) {
    MasterFrame f;
    f.kind = MasterFrame::Kind::Text;
    f.bytes = sim::test::TextBytes(text);
    return f;
}

MasterFrame ShortFrame(std::uint8_t control, std::uint8_t address) {
    MasterFrame f;
    f.kind = MasterFrame::Kind::Short;
    f.control = control;
    f.address = address;
    f.bytes = Telegram{0x10, control, address, static_cast<std::uint8_t>(control + address), 0x16};
    return f;
}

std::string Say(RxvKt& rx, std::string_view text, int baud = 2400) {
    const auto response = rx.hear(TextFrame(text), baud);
    return response.answer ? std::string(response.answer->begin(), response.answer->end()) : std::string();
}

RadioMeter Radio(const char* id, std::optional<std::string> key, std::chrono::milliseconds offset = 0ms) {
    RadioMeter m;
    m.id = id;
    m.manufacturer = 0x2C2D;
    m.version = 1;
    m.deviceType = 7;
    m.accessNumber = 1;
    DataRecord volume;
    volume.dif = 0x04;
    volume.vif = 0x13;
    volume.data = {0x39, 0x30, 0x00, 0x00};  // 12345 l
    m.records = {volume};
    if (key) m.key = KeyOf(*key);
    m.offset = offset;
    return m;
}

// Meter 11111111 keyed kKey1 and heard at once, 22222222 heard only after 10 s, 33333333 heard under its
// aux ID 44444444 (CI 72h) and unencrypted.
RxvKtConfig ThreeMeters() {
    RxvKtConfig c;
    RadioMeter aux = Radio("33333333", std::nullopt);
    aux.ci = 0x72;
    aux.auxId = "44444444";
    c.meters = {Radio("11111111", kKey1), Radio("22222222", kKey1, 10s), aux};
    return c;
}

RxvKt Receiver(RxvKtConfig config = ThreeMeters()) {
    return RxvKt(std::move(config), [] { return kStart; });
}

struct AnswerCase {
    const char* name;
    std::vector<std::string> before;
    std::string text;
    std::string answer;  // "": silence
};

class RxvKtAnswers : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(RxvKtAnswers, AreTheReceiversOwn) {
    const auto& c = GetParam();
    auto rx = Receiver();
    for (const auto& text : c.before) Say(rx, text);
    EXPECT_EQ(Say(rx, c.text), c.answer);
}

const std::string kDone = "Done!\n";

INSTANTIATE_TEST_SUITE_P(
    RxvKt, RxvKtAnswers,
    ::testing::Values(
        // Entries
        AnswerCase{"ActivateNew", {}, "set entr=5,12345678", kDone},
        AnswerCase{"ActivateIdenticalSaysAlready", {"set entr=5,12345678"}, "set entr=5,12345678", "Device 5 already active\n"},
        AnswerCase{"ActivateOtherIdReplaces", {"set entr=5,12345678"}, "set entr=5,1234567A", kDone},
        AnswerCase{"HighestAddress", {}, "set entr=463,12345678", kDone},
        AnswerCase{"AddressAbove463", {}, "set entr=464,12345678", "Error: address 464 outside 1..463\n"},
        AnswerCase{"AddressZero", {}, "set entr=0,12345678", "Error: address 0 outside 1..463\n"},
        AnswerCase{"AddressNotDigits", {}, "set entr=abc,12345678", "Error: bad address\n"},
        AnswerCase{"AddressTooManyDigits", {}, "set entr=0000000005,12345678", "Error: bad address\n"},
        AnswerCase{"IdOfSevenCharacters", {}, "set entr=5,1234567", "Error: bad ID\n"},
        AnswerCase{"IdLowerCaseHex", {}, "set entr=5,1234567a", "Error: bad ID\n"},
        AnswerCase{"EntryWithoutComma", {}, "set entr=5", "Error: bad value for entr\n"},
        AnswerCase{"EntryWithoutValue", {}, "set entr", "Error: bad value for entr\n"},
        AnswerCase{"Delete", {"set entr=5,12345678"}, "del entr=5", kDone},
        AnswerCase{"DeleteUnused", {}, "del entr=5", "Error: device 5 not active\n"},
        AnswerCase{"UnitHeat12", {"set entr=5,12345678"}, "set unit=5,12", kDone},
        AnswerCase{"UnitAbove16", {"set entr=5,12345678"}, "set unit=5,17", "Error: bad unit\n"},
        AnswerCase{"UnitOfUnusedEntry", {}, "set unit=7,7", "Error: device 7 not active\n"},
        // Keys and bindings
        AnswerCase{"KeyByAddressRawBytes", {}, "set encr=450," + kKey2, kDone},
        AnswerCase{"MasterKeyByAddress", {}, "set encr=0," + kKey1, kDone},
        AnswerCase{"KeyAddressAbove450", {}, "set encr=451," + kKey1, "Error: address 451 outside 0..450\n"},
        AnswerCase{"KeyOf15Bytes", {}, "set encr=5," + kKey1.substr(1), "Error: key must be 16 bytes\n"},
        AnswerCase{"KeyEndingInLineFeedKept", {}, "set akey=12345678," + kKey1.substr(1) + "\n", kDone},
        AnswerCase{"KeyById", {}, "set akey=12345678," + kKey2, kDone},
        AnswerCase{"KeyByBadId", {}, "set akey=1234567," + kKey1, "Error: bad ID\n"},
        AnswerCase{"Bind", {}, "set bind=64," + std::string("\x78\x56\x34\x12\x2D\x2C\x01\x07", 8), kDone},
        AnswerCase{"BindAbove64", {}, "set bind=65," + std::string(8, '\x01'), "Error: address 65 outside 1..64\n"},
        AnswerCase{"BindOf7Bytes", {}, "set bind=3," + std::string(7, '\x01'), "Error: bind needs 8 bytes\n"},
        AnswerCase{"Debind", {"set bind=3," + std::string(8, '\x01')}, "del bind=3", kDone},
        AnswerCase{"DebindUnbound", {}, "del bind=3", "Error: no binding at 3\n"},
        // Settings
        AnswerCase{"Date", {}, "set date=29/02/28", kDone},
        AnswerCase{"DateNotADay", {}, "set date=29/02/27", "Error: bad date\n"},
        AnswerCase{"TimeOutOfRange", {}, "set time=24:00:00", "Error: bad time\n"},
        AnswerCase{"TimeWithoutSeconds", {}, "set time=09:07", "Error: bad time\n"},
        AnswerCase{"IntervalHighest", {}, "set pito=240", kDone},
        AnswerCase{"IntervalAbove240", {}, "set pito=241", "Error: bad value for pito\n"},
        AnswerCase{"IntervalZero", {}, "set pito=0", "Error: bad value for pito\n"},
        AnswerCase{"ModeT2C", {}, "set wmod=11", kDone},
        AnswerCase{"ModeGapInCodes", {}, "set wmod=5", "Error: bad value for wmod\n"},
        AnswerCase{"RoleRepeater", {}, "set nrol=2", kDone},
        AnswerCase{"WorkMode3", {}, "set wwrk=3", "Error: bad value for wwrk\n"},
        AnswerCase{"OptionOn", {}, "set mast=1", kDone},
        AnswerCase{"OptionTwo", {}, "set rssi=2", "Error: bad value for rssi\n"},
        AnswerCase{"OptionWithoutValue", {}, "set rtra", "Error: bad value for rtra\n"},
        AnswerCase{"TransparentTypedInConsole", {}, "set rtra=1\r\n", kDone},
        AnswerCase{"OptionWrongVerb", {}, "get rtra", "Error: unknown command get rtra\n"},
        AnswerCase{"EntryWrongVerb", {}, "get entr=5", "Error: unknown command get entr\n"},
        AnswerCase{"InfoTakesNoValue", {}, "get serv=1", "Error: bad value for serv\n"},
        AnswerCase{"Info", {"set date=05/03/26", "set time=09:07:30", "set pito=15", "set entr=1,12345678",
                            "set entr=2,87654321", "set encr=1," + kKey1, "set akey=12345678," + kKey1, "set encr=0," + kKey1},
                   "get serv",
                   "RXV-KT wM-Bus receiver\nFirmware: 1.0\nDate: 05/03/26\nTime: 09:07:30\nReadout interval: 15\n"
                   "Devices: 2 of 463\nKeys: 1 by address, 1 by ID, master key set\nBindings: 0\n"},
        AnswerCase{"TimeKeepsTheDate", {"set date=31/12/99", "set time=23:59:59"}, "get serv",
                   "RXV-KT wM-Bus receiver\nFirmware: 1.0\nDate: 31/12/99\nTime: 23:59:59\nReadout interval: 1\n"
                   "Devices: 0 of 463\nKeys: 0 by address, 0 by ID, master key none\nBindings: 0\n"},
        AnswerCase{"WirelessStatusDefaults", {}, "get wsta",
                   "Mode: T1 (1)\nRole: Master (1)\nWork: Normal (0)\n"
                   "Options: rtra=0 rssi=0 tmst=0 minc=0 trns=0 ambr=0 mast=0\nMeters heard: 0\n"},
        AnswerCase{"WirelessStatusSet", {"set wmod=0", "set nrol=0", "set wwrk=2", "set rssi=1", "set rtra=1"}, "get wsta",
                   "Mode: S2 (0)\nRole: Slave (0)\nWork: Accept All (2)\n"
                   "Options: rtra=1 rssi=1 tmst=0 minc=0 trns=0 ambr=0 mast=0\nMeters heard: 0\n"},
        // Noise: other devices' texts and garbage get no answer
        AnswerCase{"DisplaysUpperCase", {}, "SET ENTR=1", ""},
        AnswerCase{"UnknownName", {}, "set xxxx=1", ""},
        AnswerCase{"NoBlankAfterVerb", {}, "setentr=5,12345678", ""},
        AnswerCase{"NameRunsOn", {}, "set entries=5", ""},
        AnswerCase{"Short", {}, "get", ""},
        AnswerCase{"Word", {}, "hello world", ""}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(RxvKt, SilentToTextsAtAnotherSpeed) {
    auto rx = Receiver();
    EXPECT_EQ(Say(rx, "set entr=5,12345678", 9600), "");
    EXPECT_EQ(rx.entry(5), nullptr);
}

TEST(RxvKt, MutedCarriesOutCommandsSilently) {
    RxvKtConfig config = ThreeMeters();
    config.mute = true;
    auto rx = Receiver(config);
    EXPECT_EQ(Say(rx, "set entr=5,12345678"), "");
    EXPECT_EQ(Say(rx, "set unit=5,7"), "");
    ASSERT_NE(rx.entry(5), nullptr);
    EXPECT_EQ(*rx.entry(5), (RxvKtEntry{"12345678", 7}));
}

TEST(RxvKt, KeysLandWhereTheirCommandSays) {
    auto rx = Receiver();
    Say(rx, "set entr=5,12345678");
    Say(rx, "set entr=6,12345678");
    Say(rx, "set akey=12345678," + kKey2);
    Say(rx, "set encr=5," + kKey1);
    EXPECT_EQ(rx.keyFor(5), KeyOf(kKey1));  // by address first
    EXPECT_EQ(rx.keyFor(6), KeyOf(kKey2));  // then by ID
    EXPECT_EQ(rx.keyFor(7), std::nullopt);
    Say(rx, "set akey=00000000," + kKey2);
    EXPECT_EQ(rx.keyFor(7), KeyOf(kKey2));  // then the master key
    Say(rx, "set bind=3," + std::string("\x78\x56\x34\x12\x2D\x2C\x01\x07", 8));
    EXPECT_EQ(rx.binding(3), (std::array<std::uint8_t, 8>{0x78, 0x56, 0x34, 0x12, 0x2D, 0x2C, 0x01, 0x07}));
}

struct SplitCase {
    const char* name;
    std::string burst;
    std::vector<std::string> pieces;
};

class ReceiverCommandCuts : public ::testing::TestWithParam<SplitCase> {};

TEST_P(ReceiverCommandCuts, AtRawByteCountOrNextCommand) {
    const auto& c = GetParam();
    std::vector<std::string> pieces;
    for (auto p : SplitReceiverCommands(c.burst)) pieces.emplace_back(p);
    EXPECT_EQ(pieces, c.pieces);
}

INSTANTIATE_TEST_SUITE_P(
    RxvKt, ReceiverCommandCuts,
    ::testing::Values(
        SplitCase{"TwoKeyCommandsBackToBack", "set encr=5," + kKey2 + "set akey=12345678," + kKey2,
                  {"set encr=5," + kKey2, "set akey=12345678," + kKey2}},
        SplitCase{"TextCommandsAtTheNextVerb", "set rtra=0set rtra=0get serv", {"set rtra=0", "set rtra=0", "get serv"}},
        SplitCase{"BindAfterEightBytes", "set bind=3,12345678del bind=3", {"set bind=3,12345678", "del bind=3"}},
        SplitCase{"ShortKeyToTheEnd", "set encr=5,abc", {"set encr=5,abc"}},
        SplitCase{"KeyWithoutCommaToTheEnd", "set encr=5set rtra=1", {"set encr=5set rtra=1"}},
        SplitCase{"DisplayTextWhole", "SET TEXT=1,set rtra=1", {"SET TEXT=1,set rtra=1"}},
        SplitCase{"Empty", "", {}}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(RadioTelegram, TheExampleOfTheReceiversListing) {
    RadioMeter m = Radio("12345678", std::nullopt);
    m.records.clear();
    m.status = 0;
    EXPECT_EQ(RadioTelegram(m), Telegram(Bytes("68 0C 44 2D 2C 78 56 34 12 01 07 7A 01 00 16")));
}

TEST(RadioTelegram, AuxHeaderAndRecords) {
    RadioMeter m = Radio("33333333", std::nullopt);
    m.ci = 0x72;
    m.auxId = "4444444A";
    m.auxManufacturer = 0x4D25;
    m.auxVersion = 0x30;
    m.auxDeviceType = 0x16;
    EXPECT_EQ(RadioTelegram(m),
              Telegram(Bytes("68 1A 44 2D 2C 33 33 33 33 01 07 72 4A 44 44 44 25 4D 30 16 01 00 04 13 39 30 00 00 16")));
    m.auxId = "444";
    EXPECT_EQ(RadioTelegram(m), std::nullopt);
}

TEST(RxvKt, HearsEachMeterOncePerIntervalFromItsOffset) {
    RxvKtConfig config;
    config.meters = {Radio("11111111", std::nullopt), Radio("22222222", std::nullopt, 500ms)};
    auto rx = Receiver(config);
    EXPECT_TRUE(rx.unsolicited(kStart).empty());  // heard, but forwarded only with rtra=1
    EXPECT_TRUE(rx.heard("11111111"));
    EXPECT_FALSE(rx.heard("22222222"));
    Say(rx, "set rtra=1");
    const std::vector<std::pair<std::chrono::milliseconds, std::vector<std::string>>> ticks = {
        {400ms, {}}, {500ms, {"22222222"}}, {1900ms, {}}, {2000ms, {"11111111"}}, {2000ms, {}},
        // Late by more than an interval: one telegram, not the missed ones.
        {9000ms, {"11111111", "22222222"}}, {9500ms, {}}, {10000ms, {"11111111"}},
    };
    for (const auto& [at, ids] : ticks) {
        std::vector<std::string> sent;
        for (const auto& t : rx.unsolicited(kStart + at)) {
            ASSERT_GE(t.size(), 9u);
            sent.push_back(HexByte(t[8]) + HexByte(t[7]) + HexByte(t[6]) + HexByte(t[5]));
        }
        EXPECT_EQ(sent, ids) << "at " << at.count() << " ms";
    }
    Say(rx, "set rtra=0");
    EXPECT_TRUE(rx.unsolicited(kStart + 12s).empty());
}

struct WiredCase {
    const char* name;
    std::vector<std::string> commands;
    std::uint8_t address;
    std::string answer;  // "": silence
};

// 68 L L 68 08 A 72, ID, 2D 2C 01, medium, access 00, status 00, signature 00 00, the records, CS 16.
std::string RspUd(std::uint8_t address, const char* idBytes, std::uint8_t medium, bool records) {
    const std::string head = "08 " + HexByte(address) + " 72 " + idBytes + " 2D 2C 01 " + HexByte(medium) + " 00 00 00 00";
    const std::string body = head + (records ? " 04 13 39 30 00 00" : "");
    const auto bytes = Bytes(body);
    return HexRendering(*BuildLongFrame(bytes[0], bytes[1], bytes[2], std::span(bytes).subspan(3)));
}

class RxvKtWired : public ::testing::TestWithParam<WiredCase> {};

TEST_P(RxvKtWired, AnswersForHeardMetersOnly) {
    const auto& c = GetParam();
    auto rx = Receiver();
    rx.unsolicited(kStart);
    for (const auto& text : c.commands) ASSERT_FALSE(Say(rx, text).empty()) << text;
    const auto response = rx.hear(ShortFrame(0x7B, c.address), 2400);
    EXPECT_EQ(response.answer ? HexRendering(response.answer->bytes()) : "", c.answer);
}

INSTANTIATE_TEST_SUITE_P(
    RxvKt, RxvKtWired,
    ::testing::Values(
        WiredCase{"NoEntry", {}, 5, ""},
        WiredCase{"MeterNotHeardYet", {"set entr=5,22222222", "set encr=5," + kKey1}, 5, ""},
        WiredCase{"NoKeyNoRecords", {"set entr=5,11111111"}, 5, RspUd(5, "11 11 11 11", 15, false)},
        WiredCase{"KeyByAddress", {"set entr=5,11111111", "set encr=5," + kKey1}, 5, RspUd(5, "11 11 11 11", 15, true)},
        WiredCase{"WrongKeyByAddressBeforeRightById",
                  {"set entr=5,11111111", "set encr=5," + kKey2, "set akey=11111111," + kKey1}, 5, RspUd(5, "11 11 11 11", 15, false)},
        WiredCase{"KeyById", {"set entr=5,11111111", "set akey=11111111," + kKey1}, 5, RspUd(5, "11 11 11 11", 15, true)},
        WiredCase{"MasterKeyByAddressZero", {"set entr=5,11111111", "set encr=0," + kKey1}, 5, RspUd(5, "11 11 11 11", 15, true)},
        WiredCase{"MasterKeyByIdZeros", {"set entr=5,11111111", "set akey=00000000," + kKey1}, 5, RspUd(5, "11 11 11 11", 15, true)},
        WiredCase{"MediumIsTheUnit", {"set entr=250,11111111", "set unit=250,7", "set encr=250," + kKey1}, 250,
                  RspUd(250, "11 11 11 11", 7, true)},
        WiredCase{"EntryAbove250NotWired", {"set entr=251,11111111"}, 251, ""},
        WiredCase{"UnencryptedByAuxId", {"set entr=9,44444444", "set unit=9,16"}, 9, RspUd(9, "44 44 44 44", 16, true)},
        WiredCase{"DeletedEntry", {"set entr=5,11111111", "del entr=5"}, 5, ""}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(RxvKt, AcknowledgesResetAtAnEntrysAddress) {
    auto rx = Receiver();
    rx.unsolicited(kStart);
    Say(rx, "set entr=5,11111111");
    EXPECT_EQ(rx.hear(ShortFrame(0x40, 5), 2400).answer, Telegram{0xE5});
    EXPECT_EQ(rx.hear(ShortFrame(0x40, 6), 2400).answer, std::nullopt);
}

} // namespace
} // namespace veltro::sim
