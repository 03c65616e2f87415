// The simulated RXVpico receiver through the bus. Expected replies are written out by hand from the
// layouts of docs/SIMULATOR.md; frames are built with the core's long-frame builder, never the receiver's.
#include <gtest/gtest.h>

#include "decode/telegram_header.h"
#include "sim/default_bus.h"
#include "sim/rxvpico.h"
#include "sim_test_support.h"

namespace veltro::sim {
namespace {

using namespace std::chrono_literals;
using test::Send;
using test::Valid;
using Time = std::chrono::steady_clock::time_point;

constexpr std::uint8_t kAt = 30;
const std::string kSilence = "silence";

// The frame of a command: SND_UD to the receiver, CI 51h, the user data as hex.
Telegram Command(std::string_view userData, std::uint8_t address = kAt) { return test::LongFrame(0x53, address, 0x51, userData); }

std::string Zeros(int n) {
    std::string text;
    for (int i = 0; i < n; ++i) text += "00 ";
    return text;
}

// What the master receives, as the tables below write it: "E5", "silence", or the bytes of an RSP_UD
// from byte 19 on (its records) after its header was checked.
std::string Answer(const Telegram& answer) {
    if (answer.empty()) return kSilence;
    if (answer == Telegram{0xE5}) return "E5";
    if (!Valid(answer) || answer.size() < 21) return "invalid " + HexRendering(answer);
    // C, A, CI, ID 00000001, "KXR" (2F12h), version 01h, medium 37h, status and signature 0.
    const std::string head = HexRendering(answer.bytes().subspan(4, 15));
    const std::string expected = "08 1E 72 01 00 00 00 12 2F 01 37 ";
    if (head.substr(0, expected.size()) != expected || head.substr(head.size() - 9) != "00 00 00 ")
        return "header " + head;
    return HexRendering(answer.bytes().subspan(19, answer.size() - 21));
}

struct Receiver {
    explicit Receiver(RxvPicoConfig config = {}) {
        std::string error;
        pico = AddRxvPico(bus, std::move(config), error, [this] { return now; });
        if (!pico) throw std::invalid_argument("receiver in test: " + error);
    }
    std::string send(std::string_view userData) { return Answer(Send(bus, Command(userData))); }
    // The notes the bus collected for one frame, as --verbose logs them.
    std::vector<std::string> notes(std::string_view userData) {
        FrameAssembler assembler;
        std::vector<std::string> out;
        for (const auto& event : assembler.feed(Command(userData), std::chrono::milliseconds{0}))
            if (event.frame) out = bus.transact(*event.frame, 2400).notes;
        return out;
    }
    RxvPicoState state() const { return *RxvPicoStateOf(bus); }
    std::vector<std::string> ids() const {
        std::vector<std::string> out;
        for (const auto& e : state().list) out.push_back(e.id);
        return out;
    }

    Bus bus;
    Time now{};
    RxvPico* pico = nullptr;
};

RxvPicoKey KeyOf(std::string_view hex) {
    RxvPicoKey key{};
    const auto bytes = test::Bytes(hex);
    std::copy(bytes.begin(), bytes.end(), key.begin());
    return key;
}

const char* const kKey = "00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF ";

// 11111111, then 22222222 with the address 7 in the address table, then 3333333F keyed with kKey.
RxvPicoConfig ThreeListed() {
    RxvPicoConfig c;
    c.list = {{"11111111", {}, std::nullopt}, {"22222222", {}, 7}, {"3333333F", KeyOf(kKey), std::nullopt}};
    return c;
}

struct CommandCase {
    const char* name;
    const char* userData;
    std::string answer;
    std::vector<std::string> list;  // afterwards
};

class Commands : public ::testing::TestWithParam<CommandCase> {};

TEST_P(Commands, AnswerAndChangeTheList) {
    const auto& c = GetParam();
    Receiver rx(ThreeListed());
    EXPECT_EQ(rx.send(c.userData), c.answer);
    EXPECT_EQ(rx.ids(), c.list);
    if (c.answer == kSilence) {
        const auto notes = rx.notes(c.userData);
        ASSERT_EQ(notes.size(), 1u);
        EXPECT_NE(notes[0].find("no answer"), std::string::npos) << notes[0];
    }
}

const std::vector<std::string> kUnchanged = {"11111111", "22222222", "3333333F"};

INSTANTIATE_TEST_SUITE_P(
    List, Commands,
    ::testing::Values(
        // Adding and deleting.
        CommandCase{"AddAppendsAtTheEnd", "0F FF 01 04 78 56 34 12", "E5", {"11111111", "22222222", "3333333F", "12345678"}},
        CommandCase{"AddTakesFDigits", "0F FF 01 04 FF 00 00 12", "E5", {"11111111", "22222222", "3333333F", "120000FF"}},
        CommandCase{"AddOfAListedIdKeepsOneCopy", "0F FF 01 04 22 22 22 22", "E5", kUnchanged},
        CommandCase{"AddOfDigitARefused", "0F FF 01 04 0A 00 00 00", "0F FF EE 01 04 ", kUnchanged},
        CommandCase{"DeleteClosesTheGap", "0F FF 81 04 22 22 22 22", "E5", {"11111111", "3333333F"}},
        CommandCase{"DeleteOfAnUnlistedIdRefused", "0F FF 81 04 99 99 99 99", "0F FF EE 01 03 ", kUnchanged},
        CommandCase{"DeleteAll", "0F FF 82 04 01 40 00 00", "E5", {}},
        CommandCase{"DeleteFromPositionTwo", "0F FF 82 04 02 40 00 00", "E5", {"11111111"}},
        // Reads leave the list as it is.
        CommandCase{"ReadAllIds", "0F FF 02 04 01 18 00 00", "0C 78 11 11 11 11 0C 78 22 22 22 22 0C 78 3F 33 33 33 ", kUnchanged},
        CommandCase{"ReadTheSecondId", "0F FF 02 04 02 01 00 00", "0C 78 22 22 22 22 ", kUnchanged},
        CommandCase{"ReadBeyondTheListAnswersNoRecords", "0F FF 02 04 19 18 00 00", "", kUnchanged},
        CommandCase{"AddressTable", "0F FF 03 04 01 40 00 00", "0F FF 13 40 01 07 03 " + Zeros(61) + "00 00 ", kUnchanged},
        CommandCase{"ReadStoredKey", "0F FF 8A 04 3F 33 33 33", std::string("0F FF 8A 10 ") + kKey, kUnchanged},
        CommandCase{"KeyNeverStoredIsZeros", "0F FF 8A 04 11 11 11 11", "0F FF 8A 10 " + Zeros(16), kUnchanged},
        CommandCase{"ReadKeyOfAnUnlistedIdRefused", "0F FF 8A 04 12 12 12 12", "0F FF EE 01 03 ", kUnchanged},
        CommandCase{"StoreKeyOfAnUnlistedIdRefused", "0F FF 0A 14 12 12 12 12 00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF",
                    "0F FF EE 01 03 ", kUnchanged},
        CommandCase{"UnknownCommandRefused", "0F FF 42 00", "0F FF EE 01 01 ", kUnchanged},
        // Malformed: nothing is done and nothing answered.
        CommandCase{"LengthByteAgainstTheFrame", "0F FF 01 04 78 56 34", kSilence, kUnchanged},
        CommandCase{"IdBytesLeftOut", "0F FF 01 04", kSilence, kUnchanged},
        CommandCase{"TooFewParametersForTheCommand", "0F FF 81 03 22 22 22", kSilence, kUnchanged},
        CommandCase{"OtherUserData", "01 7A 05", kSilence, kUnchanged},
        CommandCase{"DateRecordCutShort", "04 6D 2D 0D", kSilence, kUnchanged}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(RxvPico, ListFullAt64AndPositionsShiftUpAfterADelete) {
    RxvPicoConfig c;
    for (int i = 1; i <= 64; ++i) c.list.push_back({"000000" + std::string(i < 10 ? "0" : "") + std::to_string(i), {}, std::nullopt});
    Receiver rx(c);
    EXPECT_EQ(rx.send("0F FF 01 04 65 00 00 00"), "0F FF EE 01 02 ");
    EXPECT_EQ(rx.send("0F FF 01 04 64 00 00 00"), "E5") << "an ID already listed is not refused when full";
    EXPECT_EQ(rx.send("0F FF 81 04 02 00 00 00"), "E5");
    EXPECT_EQ(rx.send("0F FF 01 04 65 00 00 00"), "E5");
    const auto ids = rx.ids();
    ASSERT_EQ(ids.size(), 64u);
    EXPECT_EQ(ids[1], "00000003");
    EXPECT_EQ(ids.back(), "00000065");
    // Positions 1 to 64 of the address table follow the entries.
    EXPECT_EQ(rx.send("0F FF 03 04 01 40 00 00").substr(0, 24), "0F FF 13 40 01 02 03 04 ");
    EXPECT_EQ(Answer(Send(rx.bus, BuildReqUd2(kAt))).substr(12, 9), "40 00 40 ");  // activated, read, allowed
}

TEST(RxvPico, StoredKeyIsReadBackAndKeptWithItsEntryAsTheListShifts) {
    Receiver rx(ThreeListed());
    EXPECT_EQ(rx.send(std::string("0F FF 0A 14 22 22 22 22 ") + kKey), "E5");
    EXPECT_EQ(rx.send("0F FF 81 04 11 11 11 11"), "E5");
    EXPECT_EQ(rx.send("0F FF 8A 04 22 22 22 22"), std::string("0F FF 8A 10 ") + kKey);
    EXPECT_EQ(rx.state().list.front().key, KeyOf(kKey));
}

struct FlagCase {
    const char* name;
    std::vector<std::pair<int, int>> commands;  // flag number, 1 set or 0 clear
    std::uint32_t word;
    const char* statusBytes;  // bytes 31..34 of the status
};

class Flags : public ::testing::TestWithParam<FlagCase> {};

TEST_P(Flags, SetTheirBitOfTheStatusWord) {
    const auto& c = GetParam();
    Receiver rx;
    for (const auto& [number, set] : c.commands)
        EXPECT_EQ(rx.send("0F FF 05 04 " + HexByte(static_cast<std::uint8_t>(number)) + " " +
                          HexByte(static_cast<std::uint8_t>(set)) + " 00 00"),
                  "E5")
            << number;
    EXPECT_EQ(rx.state().flags, c.word);
    EXPECT_EQ(Answer(Send(rx.bus, BuildReqUd2(kAt))).substr(36, 12), c.statusBytes);
}

INSTANTIATE_TEST_SUITE_P(
    Word, Flags,
    ::testing::Values(FlagCase{"AutoMode", {{1, 1}}, 0x00000001, "01 00 00 00 "},
                      FlagCase{"ReturnRssiIsBitTwo", {{4, 1}}, 0x00000004, "04 00 00 00 "},
                      FlagCase{"AutomaticallyDecrypt", {{5, 1}}, 0x00000010, "10 00 00 00 "},
                      FlagCase{"DecodeTechem", {{10, 1}}, 0x00000200, "00 02 00 00 "},
                      FlagCase{"FilterByMedium", {{31, 1}}, 0x40000000, "00 00 00 40 "},
                      FlagCase{"HighestFlag", {{32, 1}}, 0x80000000, "00 00 00 80 "},
                      FlagCase{"ClearLeavesTheOthers", {{2, 1}, {29, 1}, {30, 1}, {29, 0}}, 0x20000002, "02 00 00 20 "}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(RxvPico, FlagOutsideOneToThirtyTwoOrAnotherSetByteRefused) {
    Receiver rx;
    for (const char* params : {"00 01 00 00", "21 01 00 00", "01 02 00 00"})
        EXPECT_EQ(rx.send(std::string("0F FF 05 04 ") + params), "0F FF EE 01 06 ") << params;
    EXPECT_EQ(rx.state().flags, 0u);
}

TEST(RxvPico, FiltersAreWrittenOnePositionAtATimeAndReadAsTables) {
    Receiver rx;
    EXPECT_EQ(rx.send("0F FF 16 05 03 78 56 34 FF"), "E5");  // FF345678, packed like a meter ID
    EXPECT_EQ(rx.send("0F FF 17 03 08 09 AC"), "E5");        // "All": 09ACh, high byte first
    EXPECT_EQ(rx.send("0F FF 18 02 01 0F"), "E5");
    EXPECT_EQ(rx.send("0F FF 96 01 00"), "0F FF A6 20 " + Zeros(8) + "FF 34 56 78 " + Zeros(20));
    EXPECT_EQ(rx.send("0F FF 97 01 00"), "0F FF A7 10 " + Zeros(14) + "AC 09 ");
    EXPECT_EQ(rx.send("0F FF 98 01 00"), "0F FF A8 08 0F " + Zeros(7));
    const auto filters = rx.state().filters;
    EXPECT_EQ(filters.ids[2], "FF345678");
    EXPECT_EQ(filters.manufacturers[7], 0x09AC);
    EXPECT_EQ(filters.media[0], 0x0F);

    for (const char* data : {"0F FF 16 05 00 78 56 34 12", "0F FF 17 03 09 09 AC", "0F FF 18 02 00 07"})
        EXPECT_EQ(rx.send(data), "0F FF EE 01 05 ") << data;
    EXPECT_EQ(rx.send("0F FF 16 05 01 0B 00 00 00"), "0F FF EE 01 04 ");
    EXPECT_EQ(rx.state().filters, filters);
}

TEST(RxvPico, StatusOfTheDefaultBusAtAddress30) {
    auto bus = DefaultBus();
    const Telegram status = Send(*bus, BuildReqUd2(kAt, ReqUd2Form::Fcb0_5B));
    ASSERT_EQ(status.size(), 43u);
    // Nothing listed, 64 allowed, no flags, the clock standing at 2020-01-01 00:00 (Y = 20).
    EXPECT_EQ(Answer(status), "0F FF 06 04 00 00 40 00 00 00 00 00 00 00 00 00 04 6D 00 00 81 21 ");
    const auto header = DecodeTelegramHeader(status);
    ASSERT_TRUE(header.header) << header.error;
    EXPECT_EQ(header.header->primaryAddress, kAt);
    EXPECT_EQ(header.header->id, "00000001");
    EXPECT_EQ(Send(*bus, BuildSndNke(kAt)), Telegram{0xE5});
    const auto state = RxvPicoStateOf(*bus);
    ASSERT_TRUE(state);
    EXPECT_EQ(state->address, kAt);
    EXPECT_TRUE(state->list.empty());
    EXPECT_EQ(state->clock, (CalendarTime{2020, 1, 1, 0, 0}));
}

struct ClockCase {
    const char* name;
    const char* typeF;  // the four bytes sent
    std::chrono::seconds later;
    const char* shown;  // the four bytes of the status then
    CalendarTime time;
};

class PicoClock : public ::testing::TestWithParam<ClockCase> {};

TEST_P(PicoClock, SetThenRunsOnByTheMinute) {
    const auto& c = GetParam();
    Receiver rx;
    rx.now += 10min;  // never set: it stands
    EXPECT_EQ(rx.state().clock, (CalendarTime{2020, 1, 1, 0, 0}));
    EXPECT_EQ(rx.send(std::string("04 6D ") + c.typeF), "E5");
    rx.now += c.later;
    EXPECT_EQ(Answer(Send(rx.bus, BuildReqUd2(kAt))).substr(48), std::string("04 6D ") + c.shown);
    EXPECT_EQ(rx.state().clock, c.time);
    EXPECT_TRUE(rx.state().clockRunning);
}

INSTANTIATE_TEST_SUITE_P(
    TypeF, PicoClock,
    ::testing::Values(
        // 7 December 2026, 13:45: 2D 0D, then 7 + 32 x (26 mod 8) and 12 + 16 x (26 div 8).
        ClockCase{"AsSet", "2D 0D 47 3C", 59s, "2D 0D 47 3C ", {2026, 12, 7, 13, 45}},
        ClockCase{"AMinuteLater", "2D 0D 47 3C", 61s, "2E 0D 47 3C ", {2026, 12, 7, 13, 46}},
        ClockCase{"IntoTheNewYear", "3B 17 5F 3C", 60s, "00 00 61 31 ", {2027, 1, 1, 0, 0}},
        ClockCase{"LeapDay", "3B 17 1C 32", 60s, "00 00 1D 32 ", {2024, 2, 29, 0, 0}},
        // The year 2000 arrives as Y = 100 and is kept as 2100.
        ClockCase{"YearField100", "00 0C 81 C1", 0s, "00 0C 81 C1 ", {2100, 1, 1, 12, 0}}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(RxvPico, DateThatIsNoRealDayRefusedAndTheClockKept) {
    Receiver rx;
    for (const char* typeF : {"00 00 5E 32" /* 30 February 2026 */, "3C 00 41 31" /* minute 60 */, "00 18 41 31" /* hour 24 */})
        EXPECT_EQ(rx.send(std::string("04 6D ") + typeF), "0F FF EE 01 07 ") << typeF;
    EXPECT_EQ(rx.state().clock, (CalendarTime{2020, 1, 1, 0, 0}));
    EXPECT_FALSE(rx.state().clockRunning);
}

TEST(RxvPico, HearsOnlyItsOwnAddressAtItsOwnSpeed) {
    Receiver rx(ThreeListed());
    for (std::uint8_t address : {std::uint8_t{31}, std::uint8_t{253}, std::uint8_t{254}, std::uint8_t{255}}) {
        EXPECT_TRUE(Send(rx.bus, BuildReqUd2(address)).empty()) << int{address};
        EXPECT_TRUE(Send(rx.bus, BuildSndNke(address)).empty()) << int{address};
        EXPECT_TRUE(Send(rx.bus, Command("0F FF 82 04 01 40 00 00", address)).empty()) << int{address};
    }
    EXPECT_TRUE(Send(rx.bus, test::Selection("00000001")).empty());
    EXPECT_TRUE(Send(rx.bus, Command("0F FF 82 04 01 40 00 00"), 9600).empty());
    EXPECT_EQ(rx.ids(), kUnchanged);
}

TEST(RxvPico, BadCheckSumNeverReachesIt) {
    Receiver rx(ThreeListed());
    Telegram frame = Command("0F FF 82 04 01 40 00 00");
    std::vector<std::uint8_t> bytes(frame.begin(), frame.end());
    ++bytes[bytes.size() - 2];
    EXPECT_TRUE(Send(rx.bus, Telegram(bytes)).empty());
    EXPECT_EQ(rx.ids(), kUnchanged);
}

TEST(RxvPico, SilentReceiverCarriesOutCommandsButAnswersNothing) {
    RxvPicoConfig c = ThreeListed();
    c.silent = true;
    Receiver rx(c);
    EXPECT_EQ(rx.send("0F FF 81 04 11 11 11 11"), kSilence);
    EXPECT_TRUE(Send(rx.bus, BuildReqUd2(kAt)).empty());
    EXPECT_EQ(rx.ids(), (std::vector<std::string>{"22222222", "3333333F"}));
}

} // namespace
} // namespace veltro::sim
