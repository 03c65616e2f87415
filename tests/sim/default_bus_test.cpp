#include <gtest/gtest.h>

#include <map>
#include <set>

#include "decode/header_fields.h"
#include "decode/telegram_header.h"
#include "sim/default_bus.h"
#include "sim_test_support.h"

namespace veltro::sim {
namespace {

using test::IdOfFrame;
using test::Send;
using test::Valid;

// The default bus as docs/SIMULATOR.md lists it, read back through the program's own header decoding.
struct DefaultMeterRow {
    int address;
    const char* id;
    const char* manufacturer;
    const char* medium;
    const char* model;
    const char* pulse;    // the maker's devices only
    const char* battery;  // likewise
};

const DefaultMeterRow kDefaultTable[] = {
    {1, "40112301", "SIM", "Heat (rt)", "Unknown", "", ""},
    {2, "51200417", "SIM", "Water", "Unknown", "", ""},
    {3, "62300525", "SIM", "Electricity", "Unknown", "", ""},
    {4, "73400633", "SIM", "Gas", "Unknown", "", ""},
    {10, "18220041", "KXR", "Water", "QPSA-2", "50ms", "3.59V3.53V"},
    // No first battery: the battery reading keeps its leading "0" before the second one.
    {11, "18220058", "KXR", "Electricity", "QPSC-1", "default 50ms", "03.39V"},
    {12, "30031977", "BMT", "Water", "Unknown", "", ""},
    {15, "24681357", "SIM", "Heat (rt)", "Unknown", "", ""},
    {20, "20190001", "REL", "Water", "Unknown", "", ""},
};

class DefaultBusMeters : public ::testing::TestWithParam<DefaultMeterRow> {};

TEST_P(DefaultBusMeters, AnswerTheirPrimaryAddressWithAValidFrame) {
    const auto& row = GetParam();
    auto bus = DefaultBus();
    const Telegram read = Send(*bus, BuildReqUd2(static_cast<std::uint8_t>(row.address)));
    const auto validation = ValidateLongFrame(read);
    ASSERT_TRUE(validation.valid) << HexRendering(read);
    EXPECT_EQ(read[0], 0x68);
    EXPECT_EQ(read[3], 0x68);
    EXPECT_EQ(read[2], read[1]);
    EXPECT_EQ(read[6], 0x72);

    const auto decoded = DecodeTelegramHeader(read);
    ASSERT_TRUE(decoded.header) << decoded.error;
    const auto& h = *decoded.header;
    EXPECT_EQ(h.primaryAddress, row.address);
    EXPECT_EQ(h.id, row.id);
    EXPECT_EQ(h.manufacturer, row.manufacturer);
    EXPECT_EQ(h.medium, row.medium);
    EXPECT_EQ(h.model, row.model);
    EXPECT_EQ(h.pulse, row.pulse);
    EXPECT_EQ(h.battery, row.battery);
    EXPECT_EQ(Send(*bus, BuildSndNke(static_cast<std::uint8_t>(row.address))), Telegram{0xE5});
}

INSTANTIATE_TEST_SUITE_P(Table, DefaultBusMeters, ::testing::ValuesIn(kDefaultTable),
                         [](const auto& row) { return "Address" + std::to_string(row.param.address); });

TEST(DefaultBus, AddressesAreDistinctExceptTheTwoAtZero) {
    std::map<int, int> metersAt;
    std::set<std::string> ids;
    for (const auto& state : DefaultMeterStates()) {
        ++metersAt[state.primaryAddress];
        ids.insert(UnpackIdentification(state.identification));
        EXPECT_EQ(state.baud, 2400);
        if (state.primaryAddress != 0) {
            EXPECT_GE(state.primaryAddress, 1);
            EXPECT_LE(state.primaryAddress, 20);
        }
    }
    EXPECT_EQ(metersAt[0], 2);
    for (const auto& [address, count] : metersAt) {
        if (address != 0) {
            EXPECT_EQ(count, 1) << address;
        }
    }
    EXPECT_EQ(ids.size(), DefaultMeterStates().size()) << "identifications are unique";
    EXPECT_EQ(metersAt.size() - 1, std::size(kDefaultTable)) << "the table above lists every other meter";
}

TEST(DefaultBus, EveryOtherAddressIsSilentAndAddressZeroCollides) {
    auto bus = DefaultBus();
    std::set<int> used{kRxvPicoDefaultAddress};  // the RXVpico's status telegram (rxvpico_test.cpp)
    for (const auto& row : kDefaultTable) used.insert(row.address);
    for (int address = 1; address <= 250; ++address) {
        if (used.count(address)) continue;
        EXPECT_TRUE(Send(*bus, BuildReqUd2(static_cast<std::uint8_t>(address))).empty()) << address;
    }
    const Telegram atZero = Send(*bus, BuildReqUd2(0));
    EXPECT_FALSE(atZero.empty());
    EXPECT_FALSE(Valid(atZero));
    const Telegram broadcast = Send(*bus, BuildReqUd2(254));
    EXPECT_FALSE(broadcast.empty());
    EXPECT_FALSE(Valid(broadcast));
}

TEST(DefaultBus, TheMeterWithThreeTelegramsAnnouncesTheSecondAndThird) {
    auto bus = DefaultBus();
    std::set<std::string> bodies;
    for (int i = 0; i < 3; ++i) {
        const Telegram read = Send(*bus, BuildReqUd2(15));
        ASSERT_TRUE(Valid(read)) << i;
        EXPECT_EQ(read[read.size() - 3] == kDifMoreRecordsFollow, i < 2) << "telegram " << i + 1;
        bodies.insert(HexRendering(read.bytes().subspan(19, read.size() - 21)));
    }
    EXPECT_EQ(bodies.size(), 3u);
}

// The wildcard search of the program, run against the bus: a selection per mask, REQ_UD2 to 253 when
// anything answered, and a finer mask below every collision. It proves that the selection, the
// overlay of acknowledges and the collisions of answers work together, and that the default
// identifications meet collisions in both directions.
struct SearchResult {
    std::set<std::string> found;
    std::vector<std::string> collisions;
};

void SearchBelow(Bus& bus, std::string mask, int position, bool lsbFirst, SearchResult& result) {
    // `position` counts from the left of the mask text (0..7).
    for (char digit = '0'; digit <= '9'; ++digit) {
        mask[static_cast<std::size_t>(position)] = digit;
        if (Send(bus, test::Selection(mask.c_str())).empty()) continue;
        const Telegram read = Send(bus, BuildReqUd2(253));
        if (Valid(read)) {
            result.found.insert(IdOfFrame(read));
            continue;
        }
        result.collisions.push_back(mask);
        const int next = lsbFirst ? position - 1 : position + 1;
        if (next >= 0 && next <= 7) SearchBelow(bus, mask, next, lsbFirst, result);
    }
}

SearchResult WildcardSearch(bool lsbFirst) {
    auto bus = DefaultBus();
    SearchResult result;
    SearchBelow(*bus, "FFFFFFFF", lsbFirst ? 7 : 0, lsbFirst, result);
    return result;
}

std::set<std::string> AllDefaultIds() {
    std::set<std::string> ids;
    for (const auto& state : DefaultMeterStates()) ids.insert(UnpackIdentification(state.identification));
    return ids;
}

TEST(DefaultBus, LsbFirstSearchFindsEveryMeterThroughCollisions) {
    const auto result = WildcardSearch(true);
    EXPECT_EQ(result.found, AllDefaultIds());
    EXPECT_NE(std::find(result.collisions.begin(), result.collisions.end(), "FFFFFFF1"), result.collisions.end());
    EXPECT_NE(std::find(result.collisions.begin(), result.collisions.end(), "FFFFFFF7"), result.collisions.end());
}

TEST(DefaultBus, MsbFirstSearchFindsEveryMeterThroughCollisions) {
    const auto result = WildcardSearch(false);
    EXPECT_EQ(result.found, AllDefaultIds());
    EXPECT_NE(std::find(result.collisions.begin(), result.collisions.end(), "1FFFFFFF"), result.collisions.end());
    EXPECT_NE(std::find(result.collisions.begin(), result.collisions.end(), "9FFFFFFF"), result.collisions.end());
}

TEST(DefaultBus, MakersBatteryBlockSurvivesAnyCounterValue) {
    // The battery reading searches the frame's hex text for the first "0F" from its 51st character; a
    // counter value made of 0F nibbles must not be taken for the block.
    auto bus = DefaultBus();
    ASSERT_EQ(Send(*bus, test::LongFrame(0x53, 10, 0x51, "04 13 F0 0F F0 00")), Telegram{0xE5});
    const Telegram read = Send(*bus, BuildReqUd2(10));
    ASSERT_TRUE(Valid(read));
    EXPECT_EQ(HexRendering(read.bytes().subspan(21, 4)), "F0 0F F0 00 ");
    EXPECT_EQ(DecodeBattery(read).text, "3.59V3.53V");
}

} // namespace
} // namespace veltro::sim
