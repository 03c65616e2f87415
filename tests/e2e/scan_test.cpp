// The primary scan, the read-all and the selected-rows cycles against the simulated default bus.
#include "bus_fixture.h"

#include <set>

#include "mbus/hex.h"
#include "meters/table_file.h"
#include "sim/meters_file.h"

namespace veltro::test {
namespace {

std::set<std::string> Addresses(const MeterTable& table) {
    std::set<std::string> found;
    for (int r = 1; r < table.rowCount(); ++r)
        if (!table.cell(r, 1).empty()) found.insert(table.cell(r, 1));
    return found;
}

class Scan : public BusFixture {};

TEST_F(Scan, FindsExactlyTheMetersInTheRangeWithTheirRows) {
    startBus(sim::DefaultBus());
    meters().findPrimary(0, 20);
    EXPECT_TRUE(meters().scanActive());
    EXPECT_EQ(meters().pageState().findCaption, "Stop");
    EXPECT_FALSE(meters().pageState().readAllEnabled);
    EXPECT_TRUE(meters().pageState().progress.visible);
    EXPECT_EQ(meters().pageState().progress.maximum, 20);
    ASSERT_TRUE(waitIdle());
    // Address 0 is shared by two meters: their answers collide and fail the checks.
    EXPECT_EQ(Addresses(meters().table()), (std::set<std::string>{"1", "2", "3", "4", "10", "11", "12", "15", "20"}));
    const MeterTable& t = meters().table();
    EXPECT_EQ(t.rowCount(), 9 + 2);
    EXPECT_EQ(t.cell(1, 0), "40112301");
    EXPECT_EQ(t.cell(1, 5), "Heat (rt)");
    EXPECT_EQ(t.cell(1, 4), "kWh");
    // The maker's counter: pulse, model and battery.
    for (int r = 1; r < t.rowCount(); ++r) {
        if (t.cell(r, 1) != "10") continue;
        EXPECT_EQ(t.cell(r, 2), "KXR");
        EXPECT_EQ(t.cell(r, 10), "QPSA-2");
        EXPECT_FALSE(t.cell(r, 9).empty());
        EXPECT_NE(t.cell(r, 11).find('V'), std::string::npos);
    }
    EXPECT_EQ(meters().pageState().findCaption, "Find");
    EXPECT_TRUE(meters().pageState().readAllEnabled);
    EXPECT_FALSE(meters().pageState().progress.visible);
    EXPECT_FALSE(engine->bridge().isConnected());  // released at the end
    EXPECT_GE(count("Wrong "), 1);                 // the collision at address 0
}

TEST_F(Scan, RetriesFindAMeterThatAnswersOnlyTheThirdRequest) {
    std::vector<std::unique_ptr<sim::Device>> devices;
    devices.push_back(std::make_unique<WakingMeter>(MakeMeter(DefaultMeterAt(2)), 2));
    startBus(BusOf(std::move(devices)));
    setRetries(2);
    meters().findPrimary(1, 3);
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(Addresses(meters().table()), (std::set<std::string>{"2"}));
    EXPECT_EQ(count("Reading device 2"), 1 + 2);  // advancing to it, then the two repeats
    EXPECT_EQ(count("Reading device 3"), 1 + 2);
}

TEST_F(Scan, UseSndNkeResetsEachAddressFirst) {
    startBus(sim::DefaultBus());
    meters().setUseSndNke(true);
    meters().findPrimary(1, 3);
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(Addresses(meters().table()), (std::set<std::string>{"1", "2", "3"}));
    EXPECT_EQ(count("0xE5 (Acknowledge) 1"), 3);
}

TEST_F(Scan, StopInTheMiddleKeepsTheRowsFound) {
    startBus(sim::DefaultBus());
    meters().findPrimary(1, 40);
    ASSERT_TRUE(waitFor([&] { return Addresses(meters().table()).count("3") > 0; }));
    meters().findPrimary(1, 40);  // the same button: "Stop"
    EXPECT_FALSE(meters().scanActive());
    const auto found = Addresses(meters().table());
    EXPECT_TRUE(found.count("1") && found.count("2") && found.count("3"));
    pump(kWindow);  // a request on the line when the stop came is still heard
    const auto heard = heardFrames().size();
    pump(3 * kWindow);
    EXPECT_EQ(heardFrames().size(), heard);  // no further request
    EXPECT_EQ(meters().busOperation(), BusOperation::None);
}

TEST_F(Scan, SwappedRangeEmptyFieldAndCancel) {
    startBus(sim::DefaultBus());
    std::vector<std::pair<int, int>> ranges;
    QObject::connect(&meters(), &MeterPage::scanRangeChanged, [&](int a, int b) { ranges.emplace_back(a, b); });
    meters().findPrimary(10, 5);
    EXPECT_TRUE(meters().scanActive());
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(ranges, (std::vector<std::pair<int, int>>{{5, 10}}));
    EXPECT_EQ(engine->settings().mainWindow().searchFrom, 5);
    EXPECT_EQ(engine->settings().mainWindow().searchTo, 10);
    EXPECT_EQ(Addresses(meters().table()), (std::set<std::string>{"10"}));

    const auto lines = log().size();
    meters().findPrimary(0, std::nullopt);  // an empty "to"
    EXPECT_FALSE(meters().scanActive());
    operatorScript.answer = OperatorInterface::Answer::Cancel;
    meters().findPrimary(0, 3);
    EXPECT_FALSE(meters().scanActive());
    EXPECT_EQ(meters().pageState().findCaption, "Find");
    EXPECT_EQ(log().size(), lines);  // nothing was sent, not even a connect
    EXPECT_EQ(Addresses(meters().table()), (std::set<std::string>{"10"}));

    operatorScript.answer = OperatorInterface::Answer::No;  // keep the rows, append the new ones
    meters().findPrimary(1, 1);
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(Addresses(meters().table()), (std::set<std::string>{"1", "10"}));
}

TEST_F(Scan, ExportAndImportOfAScannedTableGiveTheSameRows) {
    startBus(sim::DefaultBus());
    meters().findPrimary(0, 12);
    ASSERT_TRUE(waitIdle());
    const MeterTable& scanned = meters().table();
    MeterTable back(0);
    ApplyImport(back, ParseImportText(ExportTableText(scanned, ';', '.', '.'), ';'));
    ASSERT_EQ(back.rowCount(), scanned.rowCount());
    for (int r = 1; r < scanned.rowCount(); ++r) EXPECT_EQ(back.rowCells(r), scanned.rowCells(r));
}

TEST_F(Scan, EverySilentAddressIsAskedRetriesPlusOneTimesEachAWholeWindow) {
    startBus(std::make_unique<sim::Bus>(), Transport::Serial);
    constexpr int kRetries = 1;
    constexpr int kAddresses = 20;
    setRetries(kRetries);
    QElapsedTimer elapsed;
    meters().findPrimary(30, 30 + kAddresses - 1);
    elapsed.start();
    ASSERT_TRUE(waitIdle(30000));
    // Every request but the first says so in the log.
    EXPECT_EQ(count("Reading device "), kAddresses * (kRetries + 1) - 1);
    // No window is cut short; how much longer a busy machine takes is the benchmark's business.
    EXPECT_GE(elapsed.elapsed(), kAddresses * (kRetries + 1) * kWindow);
}

TEST_F(Scan, AnAnswerLongerThanTheWindowIsWaitedForAndTheNextMeterReadsClean) {
    // 250 bytes at 2400 Bd take over a second on the wire, many times the window.
    std::string filler;
    for (int k = 0; k < 222; ++k) filler += (k ? " " : "") + HexByte(static_cast<std::uint8_t>(k));
    const QByteArray json = QByteArray(R"({"meters": [
        {"address": 30, "id": "30303030", "manufacturer": "SIM", "medium": "07",
         "records": [{"dif": "04", "vif": "13", "value": 123456}, {"dif": "0F", "data": ")") +
                            QByteArray::fromStdString(filler) + R"("}]},
        {"address": 31, "id": "31313131", "manufacturer": "SIM", "medium": "07",
         "records": [{"dif": "04", "vif": "13", "value": 42}]}]})";
    QString error;
    auto states = sim::ParseMetersJson(json, QString(), error);
    ASSERT_TRUE(states) << error.toStdString();
    auto bus = sim::MakeBus(std::move(*states), error);
    ASSERT_TRUE(bus) << error.toStdString();
    sim::LineTiming wire{std::chrono::milliseconds{5}};
    wire.wireSpeed = true;
    startBus(std::move(bus), Transport::Serial, wire);
    meters().findPrimary(29, 32);
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(count("Wrong "), 0) << log().join('\n').toStdString();
    const MeterTable& t = meters().table();
    ASSERT_EQ(Addresses(t), (std::set<std::string>{"30", "31"}));
    EXPECT_EQ(t.cell(1, 0), "30303030");
    EXPECT_EQ(t.cell(1, 3), "123.456");
    EXPECT_EQ(t.cell(2, 0), "31313131");
    EXPECT_EQ(t.cell(2, 3), "0.042");
}

class Cycles : public BusFixture {};

TEST_F(Cycles, ReadAllVisitsEveryRowAndPassesOverRowsWithoutAnAddress) {
    startBus(sim::DefaultBus());
    tableWithAddresses({"1", "", "256", "2"}, false);
    meters().readAll();
    ASSERT_EQ(meters().busOperation(), BusOperation::ReadAll);
    EXPECT_FALSE(meters().pageState().readOnceEnabled);
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(meters().table().cell(1, 0), "40112301");
    EXPECT_EQ(meters().table().cell(4, 0), "51200417");
    EXPECT_EQ(meters().table().cell(3, 0), "");  // "256" reached no meter (not even address 0)
    EXPECT_EQ(count("Respond: "), 2) << log().join('\n').toStdString();
    EXPECT_TRUE(meters().pageState().readOnceEnabled);
    EXPECT_EQ(meters().pageState().readAllCaption, "Read all meters");
}

TEST_F(Cycles, ReadSelectedOverSeveralRowsUsesTheSelectedRowsCycle) {
    startBus(sim::DefaultBus());
    tableWithAddresses({"1", "2", "3"}, false);
    meters().mouseRelease(1, false);
    meters().mouseRelease(3, true);
    meters().readSelected();
    EXPECT_EQ(meters().busOperation(), BusOperation::SelectedRows);
    EXPECT_EQ(meters().pageState().progress.maximum, 3);
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(meters().table().cell(1, 0), "40112301");
    EXPECT_EQ(meters().table().cell(2, 0), "");  // not flagged, not read
    EXPECT_EQ(meters().table().cell(3, 0), "62300525");
    EXPECT_TRUE(meters().pageState().searchGroupEnabled);
}

TEST_F(Cycles, TheTableCannotBeEditedUnderARunningCycleButItsSelectionCan) {
    startBus(sim::DefaultBus());
    tableWithAddresses({"1", "2", "3"}, false);
    meters().readAll();
    ASSERT_EQ(meters().busOperation(), BusOperation::ReadAll);
    EXPECT_FALSE(meters().clearTable());
    EXPECT_FALSE(meters().deleteSelectedRow());
    EXPECT_FALSE(meters().addRowBelowSelected());
    EXPECT_FALSE(meters().replaceRows({{"", "9"}}));
    EXPECT_EQ(count(MeterPage::kTableBusyMessage), 4);
    meters().mouseRelease(2, false);  // flags are not the cycle's business
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(meters().table().cell(1, 0), "40112301");
    EXPECT_EQ(meters().table().cell(2, 0), "51200417");
    EXPECT_EQ(meters().table().cell(3, 0), "62300525");
    EXPECT_TRUE(meters().table().rowSelected(2));
    EXPECT_TRUE(meters().clearTable());  // and once it is over, the edit goes through
}

TEST_F(Cycles, BatchRetriesAnUnansweredRowThenMovesOn) {
    startBus(sim::DefaultBus());
    setRetries(1);
    tableWithAddresses({"1", "5", "2"});
    meters().readSelected();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(meters().table().cell(1, 0), "40112301");
    EXPECT_EQ(meters().table().cell(3, 0), "51200417");
    EXPECT_EQ(count("Respond: "), 2);
}

TEST_F(Cycles, FullReadFillsTheReportNotTheTable) {
    startBus(sim::DefaultBus());
    tableWithAddresses({"2"});
    bool shown = false;
    QObject::connect(&meters(), &MeterPage::reportShown, [&] { shown = true; });
    meters().fullRead();
    ASSERT_TRUE(waitIdle());
    EXPECT_TRUE(shown);
    EXPECT_EQ(meters().table().cell(1, 0), "");
    ASSERT_GE(meters().report().log().size(), 4u);
    EXPECT_EQ(meters().report().log()[1], "ID:51200417, Mfr: SIM, Main medium: Water");
}

} // namespace
} // namespace veltro::test
