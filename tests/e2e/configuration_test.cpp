// Meter configuration and automatic addressing against the simulated bus, judged by what the bus heard.
#include "bus_fixture.h"

#include <algorithm>

#include "meters/meter_configuration.h"

namespace veltro::test {
namespace {

class AcknowledgesEverything final : public sim::Device {
public:
    std::string label() const override { return "acknowledges everything at 253"; }
    sim::DeviceResponse hear(const MasterFrame& frame, int) override {
        if (frame.address != kSecondaryAddress) return {};
        return {Telegram{0xE5}, false, {}, {}, {}};
    }
};

class MeterSetup : public BusFixture {
protected:
    MeterConfiguration& configuration() { return engine->configuration(); }

    // The frames heard from `from` on that start with `prefix`.
    std::vector<std::string> heard(const std::string& prefix, std::size_t from = 0) const {
        std::vector<std::string> frames = heardFrames();
        std::vector<std::string> matching;
        for (std::size_t i = from; i < frames.size(); ++i)
            if (frames[i].rfind(prefix, 0) == 0) matching.push_back(frames[i]);
        return matching;
    }
    // Rows of (ID, address) flagged or not.
    void tableOf(const std::vector<std::pair<std::string, std::string>>& rows, bool flagAll = true) {
        std::vector<std::vector<std::string>> cells;
        for (const auto& [id, address] : rows) cells.push_back({id, address});
        cells.emplace_back();
        meters().replaceRows(cells);
        for (int r = 1; r <= static_cast<int>(rows.size()); ++r) meters().setRowSelected(r, flagAll);
    }
    std::string addressOf(const std::string& id) const {
        const MeterTable& table = engine->meters().table();
        for (int r = 1; r < table.rowCount(); ++r)
            if (table.cell(r, 0) == id) return table.cell(r, MeterTable::kAddressColumn);
        return "none";
    }
    std::string logText() const { return log().join('\n').toStdString(); }
};

TEST_F(MeterSetup, AnAddressChangeByIdReachesOnlyThatMeterAndReadsItOnce) {
    startBus(sim::DefaultBus());
    tableOf({{"51200417", "2"}});
    configuration().setAddress("7");
    ASSERT_TRUE(waitIdle());
    const std::vector<std::string> expected{"68 0B 0B 68 53 FD 52 17 04 20 51 FF FF FF FF 2A 16",
                                            "68 06 06 68 73 FD 51 01 7A 07 43 16", "10 7B FD 78 16", "10 40 FD 3D 16"};
    EXPECT_EQ(heardFrames(), expected);
    const auto journal = bus().journal();
    ASSERT_EQ(journal.size(), 4u);
    EXPECT_EQ(journal[1].reached, std::vector<std::string>{"51200417"});
    ASSERT_EQ(journal[1].changes.size(), 1u);
    EXPECT_EQ(journal[1].changes[0].to, "7");
    EXPECT_EQ(addressOf("51200417"), "7");  // the read after the change placed it by its ID
}

TEST_F(MeterSetup, RefusedInputsAndTargetsSendNothing) {
    startBus(sim::DefaultBus());
    const struct {
        std::vector<std::pair<std::string, std::string>> rows;
        std::function<void(MeterConfiguration&)> command;
        QString message;  // the last log line, or empty when nothing is logged
    } cases[] = {
        {{{"51200417", "2"}}, [](MeterConfiguration& c) { c.setAddress("250"); }, "Incorrect primary address, must be under 250..."},
        {{{"12F45678", "2"}}, [](MeterConfiguration& c) { c.setAddress("7"); }, "Incorrect ID entered"},
        {{{"51200417", "2"}}, [](MeterConfiguration& c) { c.setPulseValue("16777216"); }, "Pulse value is too big, maximum 16777215..."},
        {{{"51200417", "2"}}, [](MeterConfiguration& c) { c.setUnit("l", "3", {}); }, "Enter constant - 0.001,0.01,0.1,1,etc..."},
        {{{"", "2"}, {"", "3"}}, [](MeterConfiguration& c) { c.reset(); }, "Nothing selected from the table or too many selected..."},
        {{{"", "2"}, {"", "3"}}, [](MeterConfiguration& c) { c.setCounterType("Single ID for all"); },
         "Not or too much counters/inputs selected. Select only FIRST input of a counter!"},
        {{{"", "2"}}, [](MeterConfiguration& c) { c.setBaud("1200"); }, "Wrong baud..."},
        // Cells that hold no meter address: never a broadcast, never address 0.
        {{{"", "256"}, {"", "300"}, {"", "254"}, {"", "x"}, {"", ""}}, [](MeterConfiguration& c) { c.setBaud("2400"); }, {}},
        {{{"", "254"}}, [](MeterConfiguration& c) { c.setPulseWidth("20ms"); }, {}},
    };
    for (const auto& c : cases) {
        tableOf(c.rows);
        const std::size_t before = heardFrames().size();
        c.command(configuration());
        ASSERT_TRUE(waitIdle());
        EXPECT_EQ(heardFrames().size(), before) << c.message.toStdString();
        if (!c.message.isEmpty()) {
            EXPECT_EQ(log().back(), c.message);
        }
    }
}

TEST_F(MeterSetup, TargetsAreTheFlaggedRowsAtTheClick) {
    startBus(sim::DefaultBus());
    // Flag A, then a decode of B moves the table's selected address to B: the command goes to A.
    tableOf({{"", "1"}, {"", "2"}}, false);
    meters().readAll();
    ASSERT_TRUE(waitIdle());
    meters().setRowSelected(1, true);
    std::size_t from = heardFrames().size();
    configuration().setBaud("2400");
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(heard("68 03 03 68 53", from), std::vector<std::string>{"68 03 03 68 53 01 BB 0F 16"});

    // A click during a batch changes nothing of it.
    tableOf({{"", "1"}, {"", "7"}, {"", "2"}});
    setRetries(1);
    from = heardFrames().size();
    configuration().setPulseWidth("20ms");
    ASSERT_EQ(meters().busOperation(), BusOperation::Configuration);
    meters().setRowSelected(3, false);
    meters().selectCell(2, 0);
    ASSERT_TRUE(waitIdle());
    // Each row twice: a lone acknowledge is no answer in a batch, and the silent one is asked again.
    std::vector<std::string> addresses;
    for (const auto& frame : heard("68 0B 0B 68 53", from)) addresses.push_back(frame.substr(15, 2));
    EXPECT_EQ(addresses, (std::vector<std::string>{"01", "01", "07", "07", "02", "02"})) << logText();
}

TEST_F(MeterSetup, BatchUnitsCarryEachRowsMediumAndMediumsEachRowsId) {
    startBus(std::make_unique<sim::Bus>());
    meters().replaceRows({{"11111111", "40", "", "", "", "Water"},
                          {"22222222", "41", "", "", "", "Heat (ft)"},
                          {"33333333", "42", "", "", "", "Gas"},
                          {}});
    for (int r = 1; r <= 3; ++r) meters().setRowSelected(r, true);
    configuration().setUnit("l", "1", {});
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(heard("68 09 09 68 53"), (std::vector<std::string>{"68 09 09 68 53 28 51 0F 13 03 07 01 01 FA 16",
                                                                  "68 09 09 68 53 29 51 0F 13 03 0C 01 01 00 16",
                                                                  "68 09 09 68 53 2A 51 0F 13 03 03 01 01 F8 16"}));
    configuration().setMedium("Water");
    ASSERT_TRUE(waitIdle());
    const auto mediums = heard("68 0D 0D 68 53");
    ASSERT_EQ(mediums.size(), 3u);
    EXPECT_EQ(mediums[1].substr(18, 29), "51 07 79 22 22 22 22 FF FF FF");
    EXPECT_TRUE(heard("68 09 09 68 53", 0).size() == 3) << "no set-unit among the medium batch";
}

TEST_F(MeterSetup, APulseValueAtTheLimitIsSentAndItsAcknowledgeIsNoResetToAnswer) {
    startBus(sim::DefaultBus());
    tableOf({{"", "10"}});
    meters().setUseSndNke(true);
    configuration().setPulseValue("16777215");
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(heard("68 09 09 68 53"), std::vector<std::string>{"68 09 09 68 53 0A 51 04 13 FF FF FF 00 C2 16"});
    EXPECT_TRUE(heard("10 40").empty());            // "Use SND_NKE" belongs to reads, not to this acknowledge
    EXPECT_EQ(heard("10 7B 0A").size(), 1u);        // the read-back, once
}

TEST_F(MeterSetup, TheRelayUnitTakesItsStartValueAndOtherMetersAreSkipped) {
    startBus(sim::DefaultBus());
    meters().replaceRows({{"20190001", "20", "REL"}, {"40112301", "1", "SIM"}, {}});
    meters().setRowSelected(2, true);
    configuration().relayUnit("l", "1", "1500");
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(log().back(), "This m-bus device is NOT Relay! Skipping...");
    meters().setRowSelected(2, false);
    meters().setRowSelected(1, true);
    configuration().setRelay(true);  // "Set unit" with "Relay" checked is the relay's command
    configuration().setUnit("l", "1", "1500");
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(heard("68 09 09 68 53"), std::vector<std::string>{"68 09 09 68 53 14 51 0C 13 00 15 00 00 EC 16"});
}

TEST_F(MeterSetup, BroadcastAddressChangeIsNoPendingChangeForALaterFind) {
    startBus(sim::DefaultBus());
    tableOf({{"40112301", "1"}});
    meters().setBroadcast(true);
    configuration().setAddress("9");
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(heard("68 06 06 68 73"), std::vector<std::string>{"68 06 06 68 73 FE 51 01 7A 09 46 16"});
    meters().setBroadcast(false);
    const std::size_t from = heardFrames().size();
    meters().findId("51200417");
    ASSERT_TRUE(waitIdle());
    EXPECT_TRUE(heard("68 06 06 68 73", from).empty());
    EXPECT_EQ(heard("10 7B FD", from).size(), 1u);
}

// ---- automatic addressing --------------------------------------------------------------------------

TEST_F(MeterSetup, AutomaticAddressingCountsUpOrTakesTheTablesAddresses) {
    startBus(sim::DefaultBus());
    const struct {
        std::vector<std::pair<std::string, std::string>> rows;
        int first;
        bool tableAddresses;
        std::vector<std::string> expected;  // each row's address afterwards
        QString end;
    } cases[] = {
        {{{"40112301", "1"}, {"51200417", "2"}, {"62300525", "3"}}, 10, false, {"10", "11", "12"}, "Auto addressing has finished..."},
        {{{"40112301", "10"}, {"51200417", "11"}}, 249, false, {"249", "11"}, "Primary address can not be above 249, aborting..."},
        {{{"40112301", "5"}, {"51200417", "7"}, {"62300525", "x"}}, 1, true, {"5", "7", "0"}, "Auto addressing has finished..."},
    };
    for (const auto& c : cases) {
        engine->log().clear();
        tableOf(c.rows, false);
        configuration().autoAddress(c.first, c.tableAddresses);
        ASSERT_EQ(meters().busOperation(), BusOperation::AutoAddressing);
        EXPECT_EQ(meters().pageState().autoAddressCaption, "Stop addr");
        EXPECT_FALSE(meters().pageState().findPrimaryEnabled);
        ASSERT_TRUE(waitIdle(30000)) << logText();
        EXPECT_EQ(log().filter(c.end).size(), 1) << logText();
        for (std::size_t i = 0; i < c.rows.size(); ++i) EXPECT_EQ(addressOf(c.rows[i].first), c.expected[i]) << c.rows[i].first;
        EXPECT_EQ(meters().pageState().autoAddressCaption, "Auto address");
        EXPECT_TRUE(meters().pageState().findPrimaryEnabled);
    }
}

TEST_F(MeterSetup, StopAddrEndsAutomaticAddressingAndAFindAfterIsAPlainRead) {
    startBus(sim::DefaultBus());
    tableOf({{"99000017", "0"}, {"99000027", "0"}}, false);
    configuration().autoAddress(30, false);
    ASSERT_TRUE(waitFor([&] { return log().contains("0xE5 (Acknowledge) 1"); }));
    configuration().autoAddress(30, false);  // "Stop addr"
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(addressOf("99000017"), "30");
    EXPECT_EQ(addressOf("99000027"), "0");
    EXPECT_TRUE(meters().pageState().findIdEnabled);
    const std::size_t from = heardFrames().size();
    meters().findId("99000027");
    ASSERT_TRUE(waitIdle());
    EXPECT_TRUE(heard("68 06 06 68 73", from).empty());
    EXPECT_EQ(addressOf("99000027"), "0");
}

TEST_F(MeterSetup, ADeviceThatAcknowledgesEverythingIsReadOnceAndLetGo) {
    std::vector<std::unique_ptr<sim::Device>> devices;
    devices.push_back(std::make_unique<AcknowledgesEverything>());
    startBus(BusOf(std::move(devices)));
    tableOf({{"11111111", "1"}});
    configuration().setAddress("5");
    ASSERT_TRUE(waitIdle(3000));
    EXPECT_EQ(heard("10 7B FD").size(), 1u);
    EXPECT_EQ(heard("10 40 FD").size(), 1u);
}

} // namespace
} // namespace veltro::test
