// The display on the default bus. Expected answers are worked out by hand from the meters' records in
// docs/SIMULATOR.md (12345 kWh, 1234567 l, 4567890 Wh with tariffs 3000000 and 1567890, monthly
// 53000/51800/50100/48900 kWh), never from the display's code.
#include <gtest/gtest.h>

#include "sim/default_bus.h"
#include "sim/meters_file.h"
#include "sim_test_support.h"

namespace veltro::sim {
namespace {

using namespace std::chrono_literals;
using L = DisplayLayout;

// What the master receives for `text` written in one piece: through the assembler and the quiet gap.
std::string Ask(Bus& bus, std::string_view text, int baud = 2400) {
    FrameAssembler assembler;
    auto events = assembler.feed(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), 0ms);
    for (auto& e : assembler.flush(1000ms)) events.push_back(std::move(e));
    std::string answer;
    for (const auto& e : events)
        if (e.frame)
            for (std::uint8_t b : bus.transact(*e.frame, baud).answer) answer += static_cast<char>(b);
    return answer;
}

std::unique_ptr<Bus> DisplayBus(L layout = {}, Display::Clock clock = {}) {
    DisplayConfig display = DefaultDisplayConfig();
    display.date = DisplayDate{2026, 3, 5};
    display.hour = 9;
    display.minute = 7;
    display.layout = layout;
    QString error;
    BusDescription description{DefaultMeterStates(), std::nullopt, std::nullopt, std::nullopt};
    auto bus = MakeBus(std::move(description), error);
    AddDisplay(*bus, std::move(display), std::move(clock));
    return bus;
}

struct AnswerCase {
    const char* name;
    std::vector<std::string> before;  // sent first, answers not looked at
    std::string text;
    std::string answer;  // "" : silence
    L layout = {};
    int baud = 2400;
};

class DisplayAnswers : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(DisplayAnswers, AreTheDisplaysOwn) {
    const auto& c = GetParam();
    auto bus = DisplayBus(c.layout);
    for (const auto& text : c.before) Ask(*bus, text);
    EXPECT_EQ(Ask(*bus, c.text, c.baud), c.answer);
}

const L kColumn{L::Addresses::Column, L::Entry::UserLine, L::History::Short};
const L kStar{L::Addresses::Inline, L::Entry::Star, L::History::Short};
const L kTariffs{L::Addresses::Inline, L::Entry::UserLine, L::History::Tariffs};
const std::string kMain = "Local display\r\nFirmware: 1.0\r\nDate: 05/03/26\r\nTime: 09:07\r\nRefresh time: 04 s\r\n";

INSTANTIATE_TEST_SUITE_P(
    Display, DisplayAnswers,
    ::testing::Values(
        // Information
        AnswerCase{"Main", {}, "GET MAIN", kMain + "Sort: by address\r\nKeys: unlocked\r\nEntries in use: 4\r\n"},
        AnswerCase{"MainAfterItsSettings", {"SET DATE=29/02/28", "SET TIME=23:59", "SET REFR=12", "SET SRTP=1", "SET LOCK"},
                   "GET MAIN", "Local display\r\nFirmware: 1.0\r\nDate: 29/02/28\r\nTime: 23:59\r\nRefresh time: 12 s\r\n"
                               "Sort: by user number\r\nKeys: locked\r\nEntries in use: 4\r\n"},
        AnswerCase{"Service", {"SET READ"}, "GET SERV",
                   "Service info\r\nLine speed: 2400 baud\r\nEntries: 250\r\nSort table: none\r\nLast reading: 05/03/26 09:07\r\n"},
        AnswerCase{"AddressesInlineRunOfThree", {}, "GET ADDR", "Active devices: 1-3,15\r\n"},
        AnswerCase{"AddressesInlinePairsStayApart", {"SET ENTR=5", "SET ENTR=6", "DEL ENTR=2", "SET ENTR=250"}, "GET ADDR",
                   "Active devices: 1,3,5,6,15,250\r\n"},
        AnswerCase{"AddressesColumn", {}, "GET ADDR", "Active devices: \r\n1\r\n2\r\n3\r\n15\r\n", kColumn},
        AnswerCase{"AddressesNone", {"DEL ENTR=1", "DEL ENTR=2", "DEL ENTR=3", "DEL ENTR=15"}, "GET ADDR", "Active devices: \r\n"},
        AnswerCase{"ConsoleLineEndIgnored", {}, "GET ADDR\r\n", "Active devices: 1-3,15\r\n"},
        AnswerCase{"EntryPage0", {}, "GET ENTR=1,0", "Entry 1: in use\r\nMeter: 40112301\r\nUnit: kWh\r\n"},
        AnswerCase{"EntryPage1LitresInM3", {}, "GET ENTR=2,1",
                   "Total pulses: 1234567\r\nUser mult/div: 1/1000\r\nInitial: 0.000 m3\r\nTotal: 1234.567 m3\r\n"},
        AnswerCase{"EntryPage1StarWithInitial", {}, "GET ENTR=15,1",
                   "Total pulses: 54321 *1/1\r\nInitial: 100.500 kWh\r\nTotal: 54421.500 kWh\r\n", kStar},
        AnswerCase{"EntryPage1RoundsHalfUp", {"SET CONM=2,2", "SET COND=2,3", "SET INIT=2,0.25"}, "GET ENTR=2,1",
                   "Total pulses: 1234567\r\nUser mult/div: 2/3\r\nInitial: 0.250 m3\r\nTotal: 823044.917 m3\r\n"},
        AnswerCase{"EntryPage1AfterWrites", {"SET UNIT=1,3", "SET CONM=1,10", "SET COND=1,4", "SET INIT=1,2.5"}, "GET ENTR=1,1",
                   "Total pulses: 12345\r\nUser mult/div: 10/4\r\nInitial: 2.500 kJ\r\nTotal: 30865.000 kJ\r\n"},
        AnswerCase{"EntryPage2", {}, "GET ENTR=3,2", "User #: 103\r\nText: Flat 1 electricity\r\nText 2: tariffs 1 and 2\r\n"},
        AnswerCase{"TextKeepsFrameBytesLineEndsShownBlank", {"SET TEXT=1,h\x68\x10\xE5\x16\r\nX", "SET NUMB=1,0042"}, "GET ENTR=1,2",
                   "User #: 42\r\nText: hh\x10\xE5\x16  X\r\nText 2: \r\n"},
        AnswerCase{"NewEntryReadsItsMeter", {"SET ENTR=4"}, "GET ENTR=4,1",
                   "Total pulses: 345678\r\nUser mult/div: 1/1\r\nInitial: 0.000\r\nTotal: 345678.000\r\n"},
        AnswerCase{"NewEntryWithoutMeter", {"SET ENTR=7"}, "GET ENTR=7,0", "Entry 7: in use\r\nMeter: none\r\nUnit: none\r\n"},
        AnswerCase{"TariffZeroIsTheTotal", {}, "GET TARR=3,0",
                   "Tariff 0\r\nTotal pulses: 4567890\r\nUser mult/div: 1/1000\r\nInitial: 0.000 kWh\r\nValue: 4567.890 kWh\r\n"},
        AnswerCase{"TariffTwoFromItsRecord", {}, "GET TARR=3,2",
                   "Tariff 2\r\nTotal pulses: 4567890\r\nUser mult/div: 1/1000\r\nInitial: 0.000 kWh\r\nValue: 1567.890 kWh\r\n"},
        AnswerCase{"TariffOneStar", {}, "GET TARR=3,1",
                   "Tariff 1\r\nTotal pulses: 4567890 *1/1000\r\nInitial: 0.000 kWh\r\nValue: 3000.000 kWh\r\n", kStar},
        AnswerCase{"TariffTheMeterLacksNeverCounted", {}, "GET TARR=3,3",
                   "Tariff 3\r\nTotal pulses: 4567890\r\nUser mult/div: 1/1000\r\nInitial: 0.000 kWh\r\nValue: 0.000 kWh\r\n"},
        AnswerCase{"HistoryIndex1LastMonth", {}, "GET HIST=15,1", "Hist values: 53100.500\r\nMonth: 02/Feb26\r\n"},
        AnswerCase{"HistoryIndex12TwoMonthsBack", {}, "GET HIST=15,12", "Hist values: 51900.500\r\nMonth: 01/Jan26\r\n"},
        AnswerCase{"HistoryIndex11LastYear", {}, "GET HIST=15,11", "Hist values: 50200.500\r\nMonth: 12/Dec25\r\n"},
        AnswerCase{"HistoryIndex10", {}, "GET HIST=15,10", "Hist values: 49000.500\r\nMonth: 11/Nov25\r\n"},
        AnswerCase{"HistoryWithoutValueYear00", {}, "GET HIST=15,2", "Hist values: none\r\nMonth: 03/Mar00\r\n"},
        AnswerCase{"HistoryFollowsSetDate", {"SET DATE=15/01/26"}, "GET HIST=15,1", "Hist values: 53100.500\r\nMonth: 12/Dec25\r\n"},
        AnswerCase{"HistoryTariffsLayout", {}, "GET HIST=1,1",
                   "Hist values: 11000.000\r\nT1: 0.000\r\nT2: 0.000\r\nT3: 0.000\r\nMonth: 02/Feb26\r\n", kTariffs},
        // Writes
        AnswerCase{"ActivateNew", {}, "SET ENTR=7", "Entry 7: Active\r\n"},
        AnswerCase{"ActivateAgain", {}, "SET ENTR=1", "Entry 1: Already active\r\n"},
        AnswerCase{"Unit", {}, "SET UNIT=1,4", "Entry 1: unit MJ\r\n"},
        AnswerCase{"UnitEmpty", {}, "SET UNIT=1,", "Entry 1: unit none\r\n"},
        AnswerCase{"Multiplier", {}, "SET CONM=1,10", "Entry 1: multiplier 10\r\n"},
        AnswerCase{"Divider", {}, "SET COND=1,1000", "Entry 1: divider 1000\r\n"},
        AnswerCase{"Initial", {}, "SET INIT=1,1.5", "Entry 1: initial value 1.500\r\n"},
        AnswerCase{"UserNumber", {}, "SET NUMB=1,0042", "Entry 1: user number 42\r\n"},
        AnswerCase{"TextWithCommas", {}, "SET TEXT=1,a,b", "Entry 1: text stored, 3 bytes\r\n"},
        AnswerCase{"Text2", {}, "SET TEX2=1,", "Entry 1: text 2 stored, 0 bytes\r\n"},
        AnswerCase{"Delete", {}, "DEL ENTR=1", "Entry 1: deleted\r\n"},
        AnswerCase{"ZeroInitial", {"SET DELP=15,0"}, "GET ENTR=15,1",
                   "Total pulses: 54321\r\nUser mult/div: 1/1\r\nInitial: 0.000 kWh\r\nTotal: 54321.000 kWh\r\n"},
        AnswerCase{"ZeroInitialAnswer", {}, "SET DELP=15,0", "Entry 15: initial value 0.000\r\n"},
        AnswerCase{"Date", {}, "SET DATE=05/03/26", "Date: 05/03/26\r\n"},
        AnswerCase{"Time", {}, "SET TIME=00:00", "Time: 00:00\r\n"},
        AnswerCase{"Lock", {}, "SET LOCK", "Keys locked\r\n"},
        AnswerCase{"Refresh", {}, "SET REFR=04", "Refresh time: 04 s\r\n"},
        AnswerCase{"SortByAddress", {}, "SET SRTP=0", "Sort: by address\r\n"},
        AnswerCase{"Sort", {}, "SET SORT", "Creating sort table, busy 5000 ms\r\n"},
        AnswerCase{"ReadCountsEntriesWithAMeter", {"SET ENTR=7"}, "SET READ", "Meters read: 4 of 5\r\n"},
        // Errors
        AnswerCase{"UnitCode5", {}, "SET UNIT=1,5", "Error: bad value for UNIT\r\n"},
        AnswerCase{"UnitByName", {}, "SET UNIT=1,kWh", "Error: bad value for UNIT\r\n"},
        AnswerCase{"UnitWithoutValue", {}, "SET UNIT", "Error: bad value for UNIT\r\n"},
        AnswerCase{"UnitWithoutAddress", {}, "SET UNIT=1", "Error: bad value for UNIT\r\n"},
        AnswerCase{"DividerZero", {}, "SET COND=1,0", "Error: bad value for COND\r\n"},
        AnswerCase{"MultiplierFiveDigits", {}, "SET CONM=1,10000", "Error: bad value for CONM\r\n"},
        AnswerCase{"InitialWithComma", {}, "SET INIT=1,1,5", "Error: bad value for INIT\r\n"},
        AnswerCase{"InitialFourDecimals", {}, "SET INIT=1,1.2345", "Error: bad value for INIT\r\n"},
        AnswerCase{"UserNumberEmpty", {}, "SET NUMB=1,", "Error: bad value for NUMB\r\n"},
        AnswerCase{"Text51Bytes", {}, "SET TEXT=1," + std::string(51, 'x'), "Error: bad value for TEXT\r\n"},
        AnswerCase{"Address0", {}, "SET ENTR=0", "Error: address 0 outside 1..250\r\n"},
        AnswerCase{"Address251", {}, "GET ENTR=251,1", "Error: address 251 outside 1..250\r\n"},
        AnswerCase{"AddressNotANumber", {}, "SET ENTR=x1", "Error: bad address\r\n"},
        AnswerCase{"UnitOfAnEntryNotInUse", {}, "SET UNIT=7,1", "Error: entry 7 not in use\r\n"},
        AnswerCase{"HistoryOfAnEntryNotInUse", {}, "GET HIST=7,1", "Error: entry 7 not in use\r\n"},
        AnswerCase{"DeletedEntryNotInUse", {"DEL ENTR=1"}, "GET ENTR=1,1", "Error: entry 1 not in use\r\n"},
        AnswerCase{"Page3", {}, "GET ENTR=1,3", "Error: bad value for ENTR\r\n"},
        AnswerCase{"Tariff4", {}, "GET TARR=1,4", "Error: bad value for TARR\r\n"},
        AnswerCase{"HistoryIndex13", {}, "GET HIST=1,13", "Error: bad value for HIST\r\n"},
        AnswerCase{"HistoryIndex0", {}, "GET HIST=1,0", "Error: bad value for HIST\r\n"},
        AnswerCase{"DateFeb30", {}, "SET DATE=30/02/26", "Error: bad value for DATE\r\n"},
        AnswerCase{"DateOneDigitDay", {}, "SET DATE=5/03/26", "Error: bad value for DATE\r\n"},
        AnswerCase{"Time24", {}, "SET TIME=24:00", "Error: bad value for TIME\r\n"},
        AnswerCase{"Refresh13", {}, "SET REFR=13", "Error: bad value for REFR\r\n"},
        AnswerCase{"RefreshOneDigit", {}, "SET REFR=4", "Error: bad value for REFR\r\n"},
        AnswerCase{"SortType2", {}, "SET SRTP=2", "Error: bad value for SRTP\r\n"},
        AnswerCase{"LockWithValue", {}, "SET LOCK=1", "Error: bad value for LOCK\r\n"},
        AnswerCase{"KnownNameWrongVerb", {}, "GET UNIT=1", "Error: unknown command GET UNIT\r\n"},
        AnswerCase{"DeleteText", {}, "DEL TEXT=1", "Error: unknown command DEL TEXT\r\n"},
        // Silence
        AnswerCase{"LowerCase", {}, "get addr", ""},
        AnswerCase{"AnotherReceiversName", {}, "GET KEYS", ""},
        AnswerCase{"NameRunsOn", {}, "GET ADDRESS", ""},
        AnswerCase{"NoBlankAfterVerb", {}, "GETADDR", ""},
        AnswerCase{"NotAVerb", {}, "RESET", ""},
        AnswerCase{"OtherSpeed", {}, "GET ADDR", "", {}, 9600}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(DisplayOnTheBus, MeterFramesAreTheMetersAndTextsTheDisplays) {
    auto bus = DisplayBus();
    const auto reqUd2 = bus->transact(*FrameAssembler().feed(BuildReqUd2(1), 0ms).at(0).frame, 2400);
    EXPECT_EQ(reqUd2.answeringDevices, 1u);
    EXPECT_TRUE(test::Valid(reqUd2.answer));
    // The meter at 10 changes its counter; the display shows the new value only after SET READ.
    Ask(*bus, "SET ENTR=10");
    EXPECT_EQ(test::Send(*bus, test::LongFrame(0x53, 10, 0x51, "04 13 E8 03 00 00")), Telegram{0xE5});
    EXPECT_NE(Ask(*bus, "GET ENTR=10,1").find("Total pulses: 52340\r\n"), std::string::npos);
    Ask(*bus, "SET READ");
    EXPECT_NE(Ask(*bus, "GET ENTR=10,1").find("Total pulses: 1000\r\n"), std::string::npos);
}

TEST(DisplayOnTheBus, SortingLeavesItSilentForTheBusyTime) {
    auto now = std::chrono::steady_clock::time_point{};
    auto bus = DisplayBus({}, [&] { return now; });
    EXPECT_EQ(Ask(*bus, "SET SORT"), "Creating sort table, busy 5000 ms\r\n");
    now += 4999ms;
    EXPECT_EQ(Ask(*bus, "GET ADDR"), "");
    EXPECT_EQ(Ask(*bus, "SET SORT"), "");
    now += 1ms;
    EXPECT_NE(Ask(*bus, "GET SERV").find("Sort table: ready\r\n"), std::string::npos);
}

TEST(DisplayValues, ScaleIn128BitsAndRoundHalfAwayFromZero) {
    EXPECT_EQ(ScaledValueText(0, 12345, 1, 1000), "12.345");
    EXPECT_EQ(ScaledValueText(0, 1, 1, 2000), "0.001");  // 0.0005 rounds up
    EXPECT_EQ(ScaledValueText(0, -1, 1, 2000), "-0.001");
    EXPECT_EQ(ScaledValueText(999999999999999, INT64_MAX, 9999, 1), "92224496997510903294192.999");
}

} // namespace
} // namespace veltro::sim
