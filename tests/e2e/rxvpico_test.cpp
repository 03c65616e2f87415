#include "bus_fixture.h"

#include "devices/rxvpico_engine.h"
#include "mbus/hex.h"
#include "sim/rxvpico.h"

namespace veltro::test {
namespace {

constexpr int kPicoAddress = 30;

std::vector<std::uint8_t> BytesOfHex(const std::string& hex) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 3) bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

class PicoBus : public BusFixture {
protected:
    void startPicoBus(Transport transport, sim::RxvPicoConfig config = {}) {
        auto bus = std::make_unique<sim::Bus>();
        std::string error;
        ASSERT_TRUE(sim::AddRxvPico(*bus, std::move(config), error)) << error;
        startBus(std::move(bus), transport);
        pico().setReceiver("00000001", QString::number(kPicoAddress));
    }

    RxvpicoEngine& pico() { return engine->rxvpico(); }
    sim::RxvPicoState state() const { return *sim::RxvPicoStateOf(bus()); }

    // The receiver commands the bus heard (68 L L 68 53 A 51 0F FF cmd len ...), as their bytes.
    std::vector<std::vector<std::uint8_t>> heardCommands() const {
        std::vector<std::vector<std::uint8_t>> commands;
        for (const std::string& hex : heardFrames()) {
            const std::vector<std::uint8_t> bytes = BytesOfHex(hex);
            if (bytes.size() >= 11 && bytes[0] == 0x68 && bytes[4] == 0x53 && bytes[6] == 0x51 && bytes[7] == 0x0F)
                commands.push_back(bytes);
        }
        return commands;
    }
    int heardCount(std::uint8_t command) const {
        int n = 0;
        for (const auto& bytes : heardCommands()) n += bytes[9] == command;
        return n;
    }
    int heardReadRequests() const {
        int n = 0;
        for (const std::string& hex : heardFrames()) n += hex.starts_with("10 7B 1E") || hex.starts_with("10 5B 1E");
        return n;
    }
};

const std::string kKey1 = "000102030405060708090A0B0C0D0E0F";
const std::string kKey2 = "F0E1D2C3B4A5968778695A4B3C2D1E0F";
const std::string kKey3 = "1600681600681600681600681600E5E5";

class PicoTransports : public PicoBus, public ::testing::WithParamInterface<Transport> {};

// The table goes to the receiver with its keys and comes back whole: the IDs in their order, the
// addresses the receiver gives them and each key. A hex ID and the trailing empty row send nothing.
TEST_P(PicoTransports, TableWithKeysRoundTrips) {
    startPicoBus(GetParam());
    std::vector<std::vector<std::string>> rows(5, std::vector<std::string>(MeterTable::kFixedColumns));
    const std::vector<std::pair<std::string, std::string>> entries{
        {"12345678", kKey1}, {"1234ABCD", kKey2}, {"00000042", kKey2}, {"87654321", kKey3}};
    for (std::size_t r = 0; r < entries.size(); ++r) {
        rows[r][0] = entries[r].first;
        rows[r][MeterTable::kKeyColumn] = entries[r].second;
    }
    ASSERT_TRUE(meters().replaceRows(rows));

    ASSERT_TRUE(pico().sendTable());
    ASSERT_TRUE(waitIdle());
    ASSERT_TRUE(pico().setKey({}, {}, true));
    ASSERT_TRUE(waitIdle());

    const sim::RxvPicoState stored = state();
    ASSERT_EQ(stored.list.size(), 3u);
    EXPECT_EQ(stored.list[0].id, "12345678");
    EXPECT_EQ(stored.list[1].id, "00000042");
    EXPECT_EQ(stored.list[2].id, "87654321");
    EXPECT_EQ(count("Error in RXVpico ID, exception "), 2);  // the hex ID, added and keyed
    EXPECT_EQ(heardCount(0x82), 1);
    EXPECT_EQ(heardCount(0x01), 3);
    EXPECT_EQ(heardCount(0x0A), 3);
    // Every command carries all its parameters: the length byte matches the frame.
    for (const auto& bytes : heardCommands()) EXPECT_EQ(bytes[10] + 7, bytes[1]) << HexRendering(bytes);

    ASSERT_TRUE(meters().clearTable());
    ASSERT_TRUE(pico().getMeters());
    ASSERT_TRUE(waitIdle());
    const MeterTable& table = meters().table();
    ASSERT_EQ(table.rowCount(), 5);  // three IDs and the empty row
    const std::vector<std::string> ids{"12345678", "00000042", "87654321"};
    for (int r = 1; r <= 3; ++r) {
        EXPECT_EQ(table.cell(r, 0), ids[static_cast<std::size_t>(r - 1)]);
        EXPECT_EQ(table.cell(r, MeterTable::kAddressColumn), std::to_string(r));
        ASSERT_TRUE(pico().readKey(QString::fromStdString(table.cell(r, 0))));
        ASSERT_TRUE(waitIdle());
    }
    EXPECT_EQ(table.cell(1, MeterTable::kKeyColumn), kKey1);
    EXPECT_EQ(table.cell(2, MeterTable::kKeyColumn), kKey2);
    EXPECT_EQ(table.cell(3, MeterTable::kKeyColumn), kKey3);
    EXPECT_TRUE(table.cell(4, 0).empty());

    ASSERT_TRUE(pico().readStatus());
    ASSERT_TRUE(waitIdle());
    ASSERT_TRUE(pico().lastStatus());
    EXPECT_EQ(pico().lastStatus()->activated, 3);
    EXPECT_EQ(count("Currently activated devices: 3"), 1);
}

INSTANTIATE_TEST_SUITE_P(Links, PicoTransports, ::testing::Values(Transport::Bridge, Transport::Serial),
                         [](const ::testing::TestParamInfo<Transport>& test) {
                             return test.param == Transport::Serial ? "Serial" : "Bridge";
                         });

// Each flag item set and cleared shows in the status the receiver sends back; its clock shows the
// minute it was set to; the three filter kinds read back as written.
TEST_F(PicoBus, FlagsClockAndFiltersReadBack) {
    startPicoBus(Transport::Bridge);
    for (const PicoFlag& flag : kPicoFlags) {
        for (bool on : {true, false}) {
            ASSERT_TRUE(pico().setFlag(QString::fromUtf8(flag.item.data(), static_cast<qsizetype>(flag.item.size())), on));
            ASSERT_TRUE(waitIdle());
            ASSERT_TRUE(pico().readStatus());
            ASSERT_TRUE(waitIdle());
            ASSERT_TRUE(pico().lastStatus());
            EXPECT_EQ(PicoFlagOn(*pico().lastStatus(), flag), on) << flag.item;
        }
    }
    EXPECT_EQ(state().flags, 0u);

    pico().setClock([] { return QDateTime(QDate(2026, 12, 7), QTime(13, 45, 30)); });
    ASSERT_TRUE(pico().setClock());
    ASSERT_TRUE(waitIdle());
    ASSERT_TRUE(pico().readStatus());
    ASSERT_TRUE(waitIdle());
    ASSERT_TRUE(pico().lastStatus() && pico().lastStatus()->dateTime);
    EXPECT_EQ(*pico().lastStatus()->dateTime, "13:45, 7.12.26");

    ASSERT_TRUE(pico().saveFilter(PicoFilter::Id, 1, "1234FFFF"));
    ASSERT_TRUE(waitIdle());
    ASSERT_TRUE(pico().saveFilter(PicoFilter::Manufacturer, 2, "KXR"));
    ASSERT_TRUE(waitIdle());
    ASSERT_TRUE(pico().saveFilter(PicoFilter::Medium, 3, "Water"));
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(count("0xE5 (Acknowledge) 1"), 3);
    const std::vector<std::tuple<PicoFilter, std::size_t, std::string>> expected{
        {PicoFilter::Id, 0, "1234FFFF"}, {PicoFilter::Manufacturer, 1, "KXR"}, {PicoFilter::Medium, 2, "Water"}};
    for (const auto& [filter, position, value] : expected) {
        ASSERT_TRUE(pico().readFilter(filter));
        ASSERT_TRUE(waitIdle());
        EXPECT_EQ(pico().filtersShown(), filter);
        EXPECT_EQ(pico().filters()[position], value);
    }
}

// A receiver that hears but never answers: "Get meters" keeps the table; an add with no retries sends
// no REQ_UD2, with one retry exactly one.
TEST_F(PicoBus, SilentReceiverLeavesTheTableAndIsAskedOnlyAsRetriesAllow) {
    sim::RxvPicoConfig config;
    config.silent = true;
    startPicoBus(Transport::Bridge, config);
    ASSERT_TRUE(meters().replaceRows({{"11111111", "5"}, {}}));
    ASSERT_TRUE(pico().getMeters());
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(meters().table().cell(1, 0), "11111111");
    EXPECT_EQ(heardCount(0x02), 3);
    EXPECT_EQ(heardCount(0x03), 1);

    ASSERT_TRUE(pico().add("12345678", false));
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(heardReadRequests(), 0);
    setRetries(1);
    ASSERT_TRUE(pico().add("12345678", false));
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(heardReadRequests(), 1);
    EXPECT_EQ(count("Reading RXVpico again, attempt 1"), 1);
    EXPECT_EQ(state().list.size(), 1u);  // it carried the add out all the same
}

// A key the receiver does not have leaves column 11; a refused receiver address or ID sends nothing; a
// command while "Get meters" holds the bus is refused.
TEST_F(PicoBus, RefusalsSendNothingAndKeepTheTable) {
    startPicoBus(Transport::Bridge);
    ASSERT_TRUE(meters().replaceRows({{"99999999", "", "", "", "", "", "", "", "", "", "", kKey1}, {}}));
    ASSERT_TRUE(pico().readKey("99999999"));
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(meters().table().cell(1, MeterTable::kKeyColumn), kKey1);
    EXPECT_FALSE(pico().lastKey());

    const std::size_t heard = heardFrames().size();
    const std::vector<std::pair<QString, QString>> receivers{{"00000001", "300"}, {"00000001", "x"}, {"00000001", ""},
                                                             {"123", "30"}};
    for (const auto& [id, address] : receivers) {
        pico().setReceiver(id, address);
        EXPECT_FALSE(pico().readStatus());
    }
    pico().setReceiver("00000001", "30");
    EXPECT_FALSE(pico().setKey("12345678", QString::fromStdString("a" + kKey1.substr(1)), false));
    EXPECT_EQ(count("Error in RXVpicoPrimary address, skipping..."), 2);
    EXPECT_EQ(count("No primary address for RXVpico..."), 1);
    EXPECT_EQ(count("RXVpico ID is wrong, must be 8 digits..."), 1);
    EXPECT_EQ(count("Wrong HEX key, 0..F uppercase allowed only"), 1);
    EXPECT_EQ(count("Error in AES key for 12345678"), 1);
    EXPECT_EQ(heardFrames().size(), heard);

    ASSERT_TRUE(pico().getMeters());
    EXPECT_FALSE(pico().readStatus());
    EXPECT_FALSE(pico().add("12345678", false));
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(count("Another operation is using the bus"), 2);
}

// The flagged rows are added through the selected-rows cycle, each once (the acknowledge is the answer);
// one flagged row adds that row's ID whatever row the cursor is on.
TEST_F(PicoBus, FlaggedRowsAreAdded) {
    startPicoBus(Transport::Bridge);
    setRetries(2);
    ASSERT_TRUE(meters().replaceRows({{"11111111"}, {"22222222"}, {"33333333"}, {}}));
    meters().setRowSelected(1, true);
    meters().setRowSelected(3, true);
    ASSERT_TRUE(pico().addFlaggedRows());
    ASSERT_TRUE(waitIdle());
    ASSERT_EQ(state().list.size(), 2u);
    EXPECT_EQ(state().list[1].id, "33333333");
    EXPECT_EQ(heardCount(0x01), 2);

    meters().setRowSelected(1, false);
    meters().setRowSelected(3, false);
    meters().setRowSelected(2, true);
    meters().selectCell(3, 0);
    ASSERT_TRUE(pico().addFlaggedRows());
    ASSERT_TRUE(waitIdle());
    ASSERT_EQ(state().list.size(), 3u);
    EXPECT_EQ(state().list[2].id, "22222222");
}

} // namespace
} // namespace veltro::test
