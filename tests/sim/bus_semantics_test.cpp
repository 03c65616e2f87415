#include <gtest/gtest.h>

#include <set>

#include "sim/bus.h"
#include "sim/meter.h"
#include "sim_test_support.h"

namespace veltro::sim {
namespace {

using test::Bytes;
using test::IdOfFrame;
using test::LongFrame;
using test::MetersOf;
using test::SelectedIds;
using test::Selection;
using test::Send;
using test::SimpleMeter;
using test::Valid;

const Telegram kAck{0xE5};

// --- Secondary selection ---

struct SelectionCase {
    const char* name;
    const char* mask;
    std::uint16_t manufacturer;
    std::uint8_t version;
    std::uint8_t medium;
    std::set<std::string> selected;
};

class SecondarySelection : public ::testing::TestWithParam<SelectionCase> {
protected:
    // A: 12345678 SIM v1 water, B: 12345679 SIM v1 water, C: 87654321 ABC v2 electricity.
    std::unique_ptr<Bus> m_bus = test::BusOf({SimpleMeter(1, "12345678"), SimpleMeter(2, "12345679"),
                                              SimpleMeter(3, "87654321", "ABC", 0x02, 0x02)});
};

TEST_P(SecondarySelection, SelectsTheMatchingMetersAndDeselectsTheOthers) {
    const auto& c = GetParam();
    // Everything selected first, so the row also shows that a selection deselects non-matching meters.
    ASSERT_EQ(Send(*m_bus, Selection("FFFFFFFF")), kAck);
    ASSERT_EQ(SelectedIds(*m_bus).size(), 3u);

    const Telegram answer = Send(*m_bus, Selection(c.mask, c.manufacturer, c.version, c.medium));
    EXPECT_EQ(SelectedIds(*m_bus), c.selected);
    // Each selected meter acknowledges; identical E5h answers arrive as one E5h.
    EXPECT_EQ(answer, c.selected.empty() ? Telegram{} : kAck);

    const Telegram read = Send(*m_bus, BuildReqUd2(253));
    if (c.selected.empty()) { EXPECT_TRUE(read.empty()); }
    if (c.selected.size() == 1) {
        EXPECT_TRUE(Valid(read));
        EXPECT_EQ(IdOfFrame(read), *c.selected.begin());
    }
    if (c.selected.size() > 1) {
        EXPECT_FALSE(Valid(read)) << "several selected meters answer at once";
    }
}

const std::uint16_t kAbc = *ManufacturerCode("ABC");
const std::uint16_t kSim = *ManufacturerCode("SIM");

INSTANTIATE_TEST_SUITE_P(
    Bus, SecondarySelection,
    ::testing::Values(
        SelectionCase{"ExactIdentification", "12345678", 0xFFFF, 0xFF, 0xFF, {"12345678"}},
        SelectionCase{"LastDigitWildcardSelectsTwo", "1234567F", 0xFFFF, 0xFF, 0xFF, {"12345678", "12345679"}},
        SelectionCase{"FirstDigitWildcard", "F7654321", 0xFFFF, 0xFF, 0xFF, {"87654321"}},
        SelectionCase{"WildcardsInTheMiddle", "12FF567F", 0xFFFF, 0xFF, 0xFF, {"12345678", "12345679"}},
        SelectionCase{"AllWildcards", "FFFFFFFF", 0xFFFF, 0xFF, 0xFF, {"12345678", "12345679", "87654321"}},
        SelectionCase{"NoMatchIsSilentAndDeselectsAll", "11111111", 0xFFFF, 0xFF, 0xFF, {}},
        SelectionCase{"ManufacturerNarrows", "FFFFFFFF", kAbc, 0xFF, 0xFF, {"87654321"}},
        SelectionCase{"ManufacturerMustAlsoMatch", "87654321", kSim, 0xFF, 0xFF, {}},
        SelectionCase{"VersionNarrows", "FFFFFFFF", 0xFFFF, 0x01, 0xFF, {"12345678", "12345679"}},
        SelectionCase{"MediumNarrows", "FFFFFFFF", 0xFFFF, 0xFF, 0x02, {"87654321"}},
        SelectionCase{"AllFieldsTogether", "1234567F", kSim, 0x01, 0x07, {"12345678", "12345679"}}),
    [](const auto& row) { return row.param.name; });

TEST(SecondarySelectionDetails, SelectionAtAnotherAddressOrLengthSelectsNothing) {
    auto bus = test::BusOf({SimpleMeter(1, "12345678")});
    // CI 52h sent to the meter's primary address instead of 253: acknowledged as data, no selection.
    EXPECT_EQ(Send(*bus, LongFrame(0x53, 1, 0x52, "78 56 34 12 FF FF FF FF")), kAck);
    EXPECT_TRUE(SelectedIds(*bus).empty());
    // A selection with a fabrication-number extension (12 bytes) is not understood and not answered.
    EXPECT_TRUE(Send(*bus, LongFrame(0x53, 253, 0x52, "78 56 34 12 FF FF FF FF 00 00 00 00")).empty());
    EXPECT_TRUE(SelectedIds(*bus).empty());
}

// --- Who hears which address ---

struct AddressCase {
    const char* name;
    const char* frame;
    enum class Answer { None, Ack, FrameFromFive, Collision } answer;
};

class Addressing : public ::testing::TestWithParam<AddressCase> {};

TEST_P(Addressing, AnswersAsTheAddressSays) {
    const auto& c = GetParam();
    // Two meters at 5 and 6; nobody at 9.
    auto bus = test::BusOf({SimpleMeter(5, "00000005"), SimpleMeter(6, "00000006")});
    const Telegram answer = Send(*bus, Bytes(c.frame));
    switch (c.answer) {
    case AddressCase::Answer::None: EXPECT_TRUE(answer.empty()) << HexRendering(answer); break;
    case AddressCase::Answer::Ack: EXPECT_EQ(answer, kAck); break;
    case AddressCase::Answer::FrameFromFive:
        EXPECT_TRUE(Valid(answer));
        EXPECT_EQ(answer[5], 5);
        EXPECT_EQ(IdOfFrame(answer), "00000005");
        break;
    case AddressCase::Answer::Collision:
        EXPECT_FALSE(answer.empty());
        EXPECT_FALSE(Valid(answer));
        break;
    }
}

using A = AddressCase::Answer;
INSTANTIATE_TEST_SUITE_P(
    Bus, Addressing,
    ::testing::Values(AddressCase{"SndNkeToOwnAddress", "10 40 05 45 16", A::Ack},
                      AddressCase{"SndNkeToEmptyAddress", "10 40 09 49 16", A::None},
                      AddressCase{"SndNkeTo255ResetsSilently", "10 40 FF 3F 16", A::None},
                      AddressCase{"SndNkeTo254AcknowledgedByAllAsOne", "10 40 FE 3E 16", A::Ack},
                      AddressCase{"SndNkeTo253WithNothingSelected", "10 40 FD 3D 16", A::None},
                      AddressCase{"ReqUd2With7B", "10 7B 05 80 16", A::FrameFromFive},
                      AddressCase{"ReqUd2With5B", "10 5B 05 60 16", A::FrameFromFive},
                      AddressCase{"ReqUd2ToEmptyAddress", "10 7B 09 84 16", A::None},
                      AddressCase{"ReqUd2To254CollidesOnTheLine", "10 7B FE 79 16", A::Collision},
                      AddressCase{"ReqUd2To255GetsNoAnswer", "10 7B FF 7A 16", A::None},
                      AddressCase{"ReqUd2To253WithNothingSelected", "10 7B FD 78 16", A::None},
                      AddressCase{"ReqUd2WithBadCheckSumIsIgnored", "10 7B 05 81 16", A::None},
                      AddressCase{"ReqUd2WithBadStopIsIgnored", "10 7B 05 80 17", A::None},
                      AddressCase{"ReqUd1IsNotAnswered", "10 5A 05 5F 16", A::None}),
    [](const auto& row) { return row.param.name; });

TEST(SecondaryAddress, SelectReadAndDeselect) {
    auto bus = test::BusOf({SimpleMeter(0, "11111111"), SimpleMeter(0, "22222222")});
    EXPECT_FALSE(Valid(Send(*bus, BuildReqUd2(0)))) << "two meters at address 0 collide";

    EXPECT_EQ(Send(*bus, Selection("22222222")), kAck);
    const Telegram read = Send(*bus, BuildReqUd2(253));
    ASSERT_TRUE(Valid(read));
    EXPECT_EQ(IdOfFrame(read), "22222222");

    // SND_NKE to 253 is acknowledged by the selected meter, which is then deselected.
    EXPECT_EQ(Send(*bus, BuildSndNke(253)), kAck);
    EXPECT_TRUE(SelectedIds(*bus).empty());
    EXPECT_TRUE(Send(*bus, BuildReqUd2(253)).empty());
}

TEST(SecondaryAddress, GlobalResetDeselectsWithoutAnswer) {
    auto bus = test::BusOf({SimpleMeter(1, "11111111")});
    ASSERT_EQ(Send(*bus, Selection("11111111")), kAck);
    EXPECT_TRUE(Send(*bus, BuildSndNke(255)).empty());
    EXPECT_TRUE(SelectedIds(*bus).empty());
}

// --- Collisions ---

struct OverlayCase {
    const char* name;
    std::vector<const char*> answers;
    const char* line;
};

class Overlay : public ::testing::TestWithParam<OverlayCase> {};

TEST_P(Overlay, SimultaneousCharactersAreAnded) {
    std::vector<Telegram> answers;
    for (const char* a : GetParam().answers) answers.push_back(Bytes(a));
    EXPECT_EQ(HexRendering(OverlayAnswers(answers)), HexRendering(Bytes(GetParam().line)));
}

INSTANTIATE_TEST_SUITE_P(
    Bus, Overlay,
    ::testing::Values(OverlayCase{"NobodyAnswers", {}, ""},
                      OverlayCase{"OneAnswerIsUnchanged", {"68 03 03 68 08 05 72 7F 16"}, "68 03 03 68 08 05 72 7F 16"},
                      OverlayCase{"IdenticalAcknowledgesGiveOne", {"E5", "E5", "E5"}, "E5"},
                      OverlayCase{"AcknowledgeOverAFrame", {"E5", "68 03 03 68"}, "60 03 03 68"},
                      OverlayCase{"LongerAnswerKeepsItsTail", {"F0 0F", "3C 3C 3C 3C"}, "30 0C 3C 3C"},
                      OverlayCase{"ThreeAnswers", {"FF 81", "F0 FF", "3C"}, "30 81"}),
    [](const auto& row) { return row.param.name; });

TEST(Collision, TwoMetersAnsweringTheSameRequestOverlayOnTheLine) {
    auto bus = test::BusOf({SimpleMeter(7, "00000017", "SIM", 1, 0x07, 2400, 1000),
                            SimpleMeter(7, "00000027", "SIM", 1, 0x06, 2400, 250000)});
    const auto meters = MetersOf(*bus);
    const Telegram first = meters[0]->telegram(0), second = meters[1]->telegram(0);
    ASSERT_TRUE(Valid(first));
    ASSERT_TRUE(Valid(second));
    const Telegram line = Send(*bus, BuildReqUd2(7));
    const Telegram expected[] = {first, second};
    EXPECT_EQ(line, OverlayAnswers(expected));
    EXPECT_FALSE(Valid(line));
}

// --- Configuration telegrams ---

struct ConfigurationCase {
    const char* name;
    Telegram telegram;
    bool acknowledged;
    std::function<void(const Meter&)> check;
};

class Configuration : public ::testing::TestWithParam<ConfigurationCase> {};

MeterState MakersCounter() {
    auto m = SimpleMeter(5, "18220041", "KXR", 0x12, 0x07);
    m.status = 0xE3;  // default pulse width; low nibble: application status, kept
    return m;
}

TEST_P(Configuration, IsAcknowledgedAndApplied) {
    const auto& c = GetParam();
    auto bus = test::BusOf({MakersCounter(), SimpleMeter(20, "20190001", "REL", 0x01, 0x07)});
    const Telegram answer = Send(*bus, c.telegram);
    EXPECT_EQ(answer, c.acknowledged ? kAck : Telegram{});
    for (const Meter* meter : MetersOf(*bus)) c.check(*meter);
}

const auto kMaker = [](const Meter& m) { return m.isMakersDevice(); };

INSTANTIATE_TEST_SUITE_P(
    Bus, Configuration,
    ::testing::Values(
        // The set-address example telegram, sent to 254: every meter on the bus takes the address.
        ConfigurationCase{"PrimaryAddressByBroadcast", Bytes("68 06 06 68 73 FE 51 01 7A 07 44 16"), true,
                          [](const Meter& m) { EXPECT_EQ(m.state().primaryAddress, 7); }},
        ConfigurationCase{"PrimaryAddressToOneMeter", LongFrame(0x73, 5, 0x51, "01 7A 21"), true,
                          [](const Meter& m) { EXPECT_EQ(m.state().primaryAddress, kMaker(m) ? 33 : 20); }},
        ConfigurationCase{"PrimaryAddressAbove250IsRefused", LongFrame(0x73, 5, 0x51, "01 7A FB"), true,
                          [](const Meter& m) { EXPECT_EQ(m.state().primaryAddress, kMaker(m) ? 5 : 20); }},
        ConfigurationCase{"PrimaryAddressTo255AppliedWithoutAnswer", LongFrame(0x73, 255, 0x51, "01 7A 09"), false,
                          [](const Meter& m) { EXPECT_EQ(m.state().primaryAddress, 9); }},
        ConfigurationCase{"Identification", LongFrame(0x73, 5, 0x51, "0C 79 78 56 34 12"), true,
                          [](const Meter& m) {
                              if (kMaker(m)) { EXPECT_EQ(UnpackIdentification(m.state().identification), "12345678"); }
                          }},
        ConfigurationCase{"IdentificationThatIsNotBcdIsRefused", LongFrame(0x73, 5, 0x51, "0C 79 7A 56 34 12"), true,
                          [](const Meter& m) {
                              if (kMaker(m)) { EXPECT_EQ(UnpackIdentification(m.state().identification), "18220041"); }
                          }},
        ConfigurationCase{"MediumWithWildcardIdentification", LongFrame(0x53, 5, 0x51, "07 79 FF FF FF FF FF FF FF 03"), true,
                          [](const Meter& m) { EXPECT_EQ(m.state().medium, kMaker(m) ? 0x03 : 0x07); }},
        ConfigurationCase{"MediumWithMatchingIdentification", LongFrame(0x53, 254, 0x51, "07 79 41 00 22 18 FF FF FF 16"), true,
                          [](const Meter& m) { EXPECT_EQ(m.state().medium, kMaker(m) ? 0x16 : 0x07); }},
        ConfigurationCase{"MediumForAnotherIdentificationIsIgnored", LongFrame(0x53, 5, 0x51, "07 79 42 00 22 18 FF FF FF 03"),
                          true, [](const Meter& m) { EXPECT_EQ(m.state().medium, 0x07); }},
        // Set unit "l" with multiplier "1" on a water row: V = 13h, M = 07h.
        ConfigurationCase{"UnitOfThePulseCounter", LongFrame(0x53, 5, 0x51, "0F 03 03 02 01 01"), true,
                          [](const Meter& m) {
                              if (!kMaker(m)) return;
                              EXPECT_EQ(m.state().telegrams[0].records[0].vif, 0x03);
                              EXPECT_EQ(m.state().medium, 0x02);
                          }},
        ConfigurationCase{"PulseWidth20msOnTheMakersDevice", LongFrame(0x53, 254, 0x51, "0F FD 0B 04 00 00 00 03"), true,
                          [](const Meter& m) { EXPECT_EQ(m.state().status, kMaker(m) ? 0x63 : 0x00); }},
        ConfigurationCase{"PulseWidth100ms", LongFrame(0x53, 5, 0x51, "0F FD 0B 04 00 00 00 05"), true,
                          [](const Meter& m) {
                              if (kMaker(m)) { EXPECT_EQ(m.state().status, 0xA3); }
                          }},
        ConfigurationCase{"PulseWidthCodeZeroChangesNothing", LongFrame(0x53, 5, 0x51, "0F FD 0B 04 00 00 00 00"), true,
                          [](const Meter& m) {
                              if (kMaker(m)) { EXPECT_EQ(m.state().status, 0xE3); }
                          }},
        ConfigurationCase{"ValueInPulses", LongFrame(0x53, 5, 0x51, "04 13 DC 05 00 00"), true,
                          [](const Meter& m) { EXPECT_EQ(m.counterValue(), kMaker(m) ? 1500 : 1000); }},
        ConfigurationCase{"ValueInPulsesUsesAllThreeBytes", LongFrame(0x53, 5, 0x51, "04 13 01 02 03 00"), true,
                          [](const Meter& m) {
                              if (kMaker(m)) { EXPECT_EQ(m.counterValue(), 0x030201); }
                          }},
        ConfigurationCase{"CounterType", LongFrame(0x53, 5, 0x51, "0F FF 00 04 FF FE C3 01"), true,
                          [](const Meter& m) { EXPECT_EQ(m.counterMode(), kMaker(m) ? 0xC301 : 0); }},
        // The relay example: value "1500", unit "l", multiplier "1": 0C 13 00 15 00 00.
        ConfigurationCase{"RelayStartValue", LongFrame(0x53, 20, 0x51, "0C 13 00 15 00 00"), true,
                          [](const Meter& m) {
                              if (m.isRelayUnit()) { EXPECT_EQ(m.counterValue(), 1500); }
                          }},
        ConfigurationCase{"RelayStartValueIgnoredByOtherMeters", LongFrame(0x53, 254, 0x51, "0C 13 00 15 00 00"), true,
                          [](const Meter& m) { EXPECT_EQ(m.counterValue(), m.isRelayUnit() ? 1500 : 1000); }},
        ConfigurationCase{"UnknownDataIsAcknowledgedAndIgnored", LongFrame(0x53, 5, 0x51, "01 FD 1B 01"), true,
                          [](const Meter& m) { EXPECT_EQ(m.state().primaryAddress, kMaker(m) ? 5 : 20); }},
        ConfigurationCase{"SetBaudRate4800", Bytes("68 03 03 68 53 05 BC 14 16"), true,
                          [](const Meter& m) { EXPECT_EQ(m.state().baud, kMaker(m) ? 4800 : 2400); }},
        ConfigurationCase{"WrongCheckSumIsNeitherAnsweredNorApplied", Bytes("68 06 06 68 73 FE 51 01 7A 07 45 16"), false,
                          [](const Meter& m) { EXPECT_NE(m.state().primaryAddress, 7); }},
        ConfigurationCase{"WrongStopByteIsNeitherAnsweredNorApplied", Bytes("68 06 06 68 73 FE 51 01 7A 07 44 00"), false,
                          [](const Meter& m) { EXPECT_NE(m.state().primaryAddress, 7); }},
        ConfigurationCase{"WrongLengthIsNeitherAnsweredNorApplied", Bytes("68 07 07 68 73 FE 51 01 7A 07 44 16"), false,
                          [](const Meter& m) { EXPECT_NE(m.state().primaryAddress, 7); }}),
    [](const auto& row) { return row.param.name; });

TEST(ConfigurationShown, NewAddressAndIdentificationAppearInTheNextAnswer) {
    auto bus = test::BusOf({SimpleMeter(5, "18220041")});
    ASSERT_EQ(Send(*bus, LongFrame(0x73, 5, 0x51, "01 7A 21")), kAck);
    EXPECT_TRUE(Send(*bus, BuildReqUd2(5)).empty()) << "the old address is gone";
    ASSERT_EQ(Send(*bus, LongFrame(0x73, 33, 0x51, "0C 79 78 56 34 12")), kAck);
    const Telegram read = Send(*bus, BuildReqUd2(33));
    ASSERT_TRUE(Valid(read));
    EXPECT_EQ(read[5], 33);
    EXPECT_EQ(IdOfFrame(read), "12345678");
    // ... and the new identification is what selection now matches.
    EXPECT_EQ(Send(*bus, Selection("12345678")), kAck);
    EXPECT_TRUE(Send(*bus, Selection("18220041")).empty());
}

TEST(ConfigurationShown, CounterValueAndPulseWidthAppearInTheNextAnswer) {
    auto bus = test::BusOf({MakersCounter()});
    ASSERT_EQ(Send(*bus, LongFrame(0x53, 5, 0x51, "04 13 DC 05 00 00")), kAck);
    ASSERT_EQ(Send(*bus, LongFrame(0x53, 5, 0x51, "0F FD 0B 04 00 00 00 01")), kAck);
    const Telegram read = Send(*bus, BuildReqUd2(5));
    ASSERT_TRUE(Valid(read));
    EXPECT_EQ(read[16], 0x23) << "status: pulse width 5 ms in the high nibble";
    EXPECT_EQ(HexRendering(read.bytes().subspan(19, 6)), "04 13 DC 05 00 00 ");
}

TEST(ConfigurationShown, SelectedMeterTakesItsAddressThrough253) {
    // The address change by secondary address: select, SND_UD to 253, read back through 253, deselect.
    auto bus = test::BusOf({SimpleMeter(0, "11111111"), SimpleMeter(0, "22222222")});
    ASSERT_EQ(Send(*bus, Selection("22222222")), kAck);
    ASSERT_EQ(Send(*bus, LongFrame(0x73, 253, 0x51, "01 7A 0C")), kAck);
    const Telegram read = Send(*bus, BuildReqUd2(253));
    ASSERT_TRUE(Valid(read));
    EXPECT_EQ(read[5], 12);
    EXPECT_EQ(Send(*bus, BuildSndNke(253)), kAck);
    EXPECT_EQ(IdOfFrame(Send(*bus, BuildReqUd2(12))), "22222222");
    EXPECT_EQ(IdOfFrame(Send(*bus, BuildReqUd2(0))), "11111111") << "the other meter stays at 0, alone now";
}

// --- Baud rate ---

TEST(BaudRate, AMeterHearsOnlyItsOwnSpeed) {
    auto bus = test::BusOf({SimpleMeter(5, "00000005", "SIM", 1, 0x07, 9600)});
    for (const Telegram& frame : {BuildSndNke(5), BuildReqUd2(5), Selection("00000005")}) {
        EXPECT_TRUE(Send(*bus, frame, 2400).empty()) << HexRendering(frame);
        EXPECT_FALSE(Send(*bus, frame, 9600).empty()) << HexRendering(frame);
    }
}

TEST(BaudRate, MetersAtAnotherSpeedDoNotCollide) {
    auto bus = test::BusOf({SimpleMeter(5, "00000024", "SIM", 1, 0x07, 2400), SimpleMeter(5, "00000096", "SIM", 1, 0x07, 9600)});
    EXPECT_EQ(IdOfFrame(Send(*bus, BuildReqUd2(5), 2400)), "00000024");
    EXPECT_EQ(IdOfFrame(Send(*bus, BuildReqUd2(5), 9600)), "00000096");
}

TEST(BaudRate, ChangeTakesEffectAfterTheAcknowledge) {
    auto bus = test::BusOf({SimpleMeter(5, "00000005")});
    // Set baud "2400" to address 5 is 68 03 03 68 53 05 BB 13 16; this one asks for 300 baud (B8h).
    EXPECT_EQ(Send(*bus, BuildControlFrame(5, 0xB8), 2400), kAck) << "acknowledged at the old speed";
    EXPECT_TRUE(Send(*bus, BuildReqUd2(5), 2400).empty());
    EXPECT_TRUE(Valid(Send(*bus, BuildReqUd2(5), 300)));
    EXPECT_EQ(Send(*bus, BuildControlFrame(5, 0xBB), 300), kAck);
    EXPECT_TRUE(Valid(Send(*bus, BuildReqUd2(5), 2400)));
}

// --- Multi-telegram meters and the access number ---

MeterState ThreeTelegramMeter() {
    auto m = SimpleMeter(15, "24681357");
    auto first = m.telegrams[0];
    first.records.push_back(DataRecord::ManufacturerSpecific({}, true));
    auto second = first;
    second.records[0].data = *EncodeNumberForDif(0x04, 2000);
    auto third = m.telegrams[0];
    third.records[0].data = *EncodeNumberForDif(0x04, 3000);
    m.telegrams = {first, second, third};
    m.accessNumber = 254;
    return m;
}

TEST(MultiTelegram, ServedInOrderThenFromTheStart) {
    auto bus = test::BusOf({ThreeTelegramMeter()});
    struct Expected {
        const char* volumeBytes;
        bool moreFollow;
        std::uint8_t access;
    };
    const Expected expected[] = {
        {"E8 03 00 00 ", true, 254}, {"D0 07 00 00 ", true, 255}, {"B8 0B 00 00 ", false, 0}, {"E8 03 00 00 ", true, 1}};
    for (const auto& e : expected) {
        const Telegram read = Send(*bus, BuildReqUd2(15));
        ASSERT_TRUE(Valid(read));
        EXPECT_EQ(HexRendering(read.bytes().subspan(21, 4)), e.volumeBytes);
        EXPECT_EQ(read[read.size() - 3] == kDifMoreRecordsFollow, e.moreFollow);
        EXPECT_EQ(read[15], e.access) << "the access number counts every answer and wraps";
    }
}

TEST(MultiTelegram, LinkResetStartsTheSequenceAgain) {
    auto bus = test::BusOf({ThreeTelegramMeter()});
    ASSERT_TRUE(Valid(Send(*bus, BuildReqUd2(15))));
    ASSERT_TRUE(Valid(Send(*bus, BuildReqUd2(15))));
    ASSERT_EQ(Send(*bus, BuildSndNke(15)), kAck);
    const Telegram read = Send(*bus, BuildReqUd2(15));
    EXPECT_EQ(HexRendering(read.bytes().subspan(21, 4)), "E8 03 00 00 ");
}

// --- Meters that cannot be made ---

TEST(MeterCreation, RefusesStatesNoMeterCouldHave) {
    struct Case {
        const char* name;
        std::function<void(MeterState&)> spoil;
        const char* error;
    };
    const Case cases[] = {
        {"address above 250", [](MeterState& m) { m.primaryAddress = 251; }, "primary address 251"},
        {"unknown speed", [](MeterState& m) { m.baud = 1234; }, "baud rate 1234"},
        {"no telegram", [](MeterState& m) { m.telegrams.clear(); }, "at least one telegram"},
        {"counter on a missing record", [](MeterState& m) { m.counterRecord = 3; }, "counter record 4"},
        {"malformed record", [](MeterState& m) { m.telegrams[0].records[0].data.pop_back(); }, "record 1: DIF 4 takes 4"},
    };
    for (const auto& c : cases) {
        auto state = SimpleMeter(1, "12345678");
        c.spoil(state);
        std::string error;
        EXPECT_EQ(Meter::Create(state, error), nullptr) << c.name;
        EXPECT_NE(error.find(c.error), std::string::npos) << c.name << ": " << error;
    }
}

} // namespace
} // namespace veltro::sim

// --- A noisy line ---

namespace veltro::sim {
namespace {

struct NoiseCase {
    const char* name;
    LineFaults faults;
};

class Noise : public ::testing::TestWithParam<NoiseCase> {};

// 2000 characters at 10 % show each kind of fault for what it is: the kept characters in order, a
// replacement never equal to what was sent, pauses within their bounds, one note per fault.
TEST_P(Noise, EachKindOfFaultDoesWhatItSaysAndTheSeedRepeatsIt) {
    const LineFaults& faults = GetParam().faults;
    std::vector<std::uint8_t> sent(2000);
    for (std::size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<std::uint8_t>(i * 7);
    const DisturbedAnswer got = FaultyLine(faults).disturb(sent);
    ASSERT_EQ(got.pauseCharacters.size(), got.bytes.size());

    const auto dropped = static_cast<int>(sent.size() - got.bytes.size());
    int replaced = 0;
    int paused = 0;
    if (faults.dropPercent == 0) {
        ASSERT_EQ(got.bytes.size(), sent.size());
        for (std::size_t i = 0; i < sent.size(); ++i) replaced += got.bytes[i] != sent[i];
    } else {
        // What arrives is what was sent, less the lost characters.
        std::size_t j = 0;
        for (std::size_t i = 0; i < sent.size() && j < got.bytes.size(); ++i) j += sent[i] == got.bytes[j];
        EXPECT_EQ(j, got.bytes.size());
    }
    for (const int pause : got.pauseCharacters) {
        if (pause == 0) continue;
        ++paused;
        EXPECT_GE(pause, kFewestPauseCharacters);
        EXPECT_LE(pause, kMostPauseCharacters);
    }
    // About the rate asked for, not a tenth or ten times it.
    for (const auto& [count, percent] : {std::pair{dropped, faults.dropPercent}, std::pair{replaced, faults.corruptPercent},
                                         std::pair{paused, faults.delayPercent}}) {
        EXPECT_GE(count, percent * 20 * 0.7);
        EXPECT_LE(count, percent * 20 * 1.3);
    }
    EXPECT_EQ(got.notes.size(), static_cast<std::size_t>(dropped + replaced + paused));

    const DisturbedAnswer again = FaultyLine(faults).disturb(sent);
    EXPECT_EQ(again.bytes, got.bytes);
    EXPECT_EQ(again.pauseCharacters, got.pauseCharacters);
    LineFaults otherSeed = faults;
    ++otherSeed.seed;
    if (faults.any()) {
        EXPECT_NE(FaultyLine(otherSeed).disturb(sent).notes, got.notes);
    }
}

INSTANTIATE_TEST_SUITE_P(Bus, Noise,
                         ::testing::Values(NoiseCase{"Drop", {10, 0, 0, 1}}, NoiseCase{"Corrupt", {0, 10, 0, 1}},
                                           NoiseCase{"Delay", {0, 0, 10, 1}}, NoiseCase{"Clean", {0, 0, 0, 1}}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(NoiseOnTheBus, AnswersPassCleanUntilFaultsAreSetAndAfterTheyAreLifted) {
    Bus bus;
    const std::vector<std::uint8_t> answer(300, 0x55);
    EXPECT_EQ(bus.disturb(answer).bytes, answer);
    bus.setLineFaults({0, 50, 0, 1});
    EXPECT_NE(bus.disturb(answer).bytes, answer);
    bus.setLineFaults({});
    EXPECT_EQ(bus.disturb(answer).bytes, answer);
}

} // namespace
} // namespace veltro::sim
