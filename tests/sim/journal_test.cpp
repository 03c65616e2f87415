#include <gtest/gtest.h>

#include "sim/default_bus.h"
#include "sim_test_support.h"

namespace veltro::sim {
namespace {

using test::Bytes;
using test::LongFrame;
using test::Send;
using test::SimpleMeter;

// --- Whom a frame reaches, on the default bus (51200417 at address 2) ---

struct JournalStep {
    const char* frame;
    const char* answer;
    std::vector<std::string> reached;
    std::vector<DeviceChange> changes;
};

TEST(Journal, AddressThrough253ReachesOnlyTheSelectedMeter) {
    auto bus = DefaultBus();
    const std::vector<JournalStep> steps = {
        // Selection of 51200417.
        {"68 0B 0B 68 53 FD 52 17 04 20 51 FF FF FF FF 2A 16", "E5", {"51200417"},
         {{"51200417", "selected", "false", "true"}}},
        // Primary address 7 to 253.
        {"68 06 06 68 73 FD 51 01 7A 07 43 16", "E5", {"51200417"}, {{"51200417", "address", "2", "7"}}},
        // REQ_UD2 to 5, where nobody listens.
        {"10 7B 05 80 16", "", {}, {}},
        // A selection that matches nobody deselects 51200417 without reaching it.
        {"68 0B 0B 68 53 FD 52 11 11 11 11 FF FF FF FF E2 16", "", {}, {{"51200417", "selected", "true", "false"}}},
        // With nobody selected, 253 reaches nobody.
        {"68 06 06 68 73 FD 51 01 7A 07 43 16", "", {}, {}},
    };
    for (const auto& step : steps) Send(*bus, Bytes(step.frame));

    const auto journal = bus->journal();
    ASSERT_EQ(journal.size(), steps.size());
    for (std::size_t i = 0; i < steps.size(); ++i) {
        SCOPED_TRACE(steps[i].frame);
        EXPECT_EQ(journal[i].frame, steps[i].frame);
        EXPECT_EQ(journal[i].baud, 2400);
        EXPECT_EQ(journal[i].answer, steps[i].answer);
        EXPECT_EQ(journal[i].reached, steps[i].reached);
        EXPECT_EQ(journal[i].changes, steps[i].changes);
    }
}

// --- What each configuration telegram is journalled as ---

struct ChangeCase {
    const char* name;
    Telegram frame;
    std::vector<DeviceChange> changes;
};

class JournalChanges : public ::testing::TestWithParam<ChangeCase> {};

TEST_P(JournalChanges, NameTheFieldAndBothValues) {
    const auto& c = GetParam();
    auto maker = SimpleMeter(5, "18220041", "KXR", 0x12, 0x07);
    maker.status = 0xE3;  // the default pulse width
    auto bus = test::BusOf({maker, SimpleMeter(20, "20190001", "REL", 0x01, 0x07)});
    ASSERT_FALSE(Send(*bus, c.frame).empty());
    EXPECT_EQ(bus->journal().back().changes, c.changes);
}

const char* const kMaker = "18220041";

INSTANTIATE_TEST_SUITE_P(
    Journal, JournalChanges,
    ::testing::Values(
        ChangeCase{"IdentificationUnderTheOldOne", LongFrame(0x73, 5, 0x51, "0C 79 78 56 34 12"),
                   {{kMaker, "identification", "18220041", "12345678"}}},
        ChangeCase{"BaudRate", Bytes("68 03 03 68 53 05 BC 14 16"), {{kMaker, "baud", "2400", "4800"}}},
        ChangeCase{"MediumByBroadcastOnlyWhereTheIdentificationMatches",
                   LongFrame(0x53, 254, 0x51, "07 79 41 00 22 18 FF FF FF 16"), {{kMaker, "medium", "07", "16"}}},
        ChangeCase{"UnitIsVifAndMedium", LongFrame(0x53, 5, 0x51, "0F 03 03 02 01 01"),
                   {{kMaker, "vif", "13", "03"}, {kMaker, "medium", "07", "02"}}},
        ChangeCase{"PulseWidthAsTheTableShowsIt", LongFrame(0x53, 5, 0x51, "0F FD 0B 04 00 00 00 03"),
                   {{kMaker, "pulse width", "default 50ms", "20ms"}}},
        ChangeCase{"CounterValue", LongFrame(0x53, 5, 0x51, "04 13 DC 05 00 00"), {{kMaker, "counter", "1000", "1500"}}},
        ChangeCase{"CounterType", LongFrame(0x53, 5, 0x51, "0F FF 00 04 FF FE C3 01"),
                   {{kMaker, "counter type", "none", "C3 01"}}},
        ChangeCase{"RelayStartValueWithAnotherVif", LongFrame(0x53, 254, 0x51, "0C 14 00 15 00 00"),
                   {{"20190001", "counter", "1000", "1500"}, {"20190001", "vif", "13", "14"}}},
        ChangeCase{"AddressItAlreadyHasChangesNothing", LongFrame(0x73, 5, 0x51, "01 7A 05"), {}},
        ChangeCase{"RefusedAddressChangesNothing", LongFrame(0x73, 5, 0x51, "01 7A FB"), {}}),
    [](const auto& row) { return row.param.name; });

// --- The bound ---

TEST(Journal, KeepsTheNewestEntries) {
    auto bus = test::BusOf({SimpleMeter(1, "00000001")});
    const auto frameOf = [](const Telegram& t) {
        FrameAssembler assembler;
        return *assembler.feed(t, std::chrono::milliseconds{0}).at(0).frame;
    };
    const MasterFrame first = frameOf(BuildSndNke(1));
    const MasterFrame filler = frameOf(BuildReqUd2(9));
    const MasterFrame last = frameOf(BuildSndNke(2));
    bus->transact(first, 2400);
    for (std::size_t i = 1; i < kJournalLimit; ++i) bus->transact(filler, 2400);
    bus->transact(last, 2400);

    const auto journal = bus->journal();
    ASSERT_EQ(journal.size(), kJournalLimit);
    EXPECT_EQ(journal.front().frame, "10 7B 09 84 16") << "the oldest entry went";
    EXPECT_EQ(journal.back().frame, "10 40 02 42 16");
}

} // namespace
} // namespace veltro::sim
