#include "bus_fixture.h"

#include "devices/rxv_kt_engine.h"
#include "sim/default_bus.h"
#include "sim/meters_file.h"
#include "sim/rxv_kt.h"

namespace veltro::test {
namespace {

class ReceiverBus : public BusFixture {
protected:
    void startReceiverBus(Transport transport, bool mute = false) {
        QString error;
        auto bus = sim::MakeBus(sim::DefaultMeterStates(), error);
        ASSERT_TRUE(bus) << error.toStdString();
        sim::RxvKtConfig config = sim::DefaultRxvKtConfig();
        config.mute = mute;
        m_receiver = &sim::AddRxvKt(*bus, config);
        startBus(std::move(bus), transport);
    }

    RxvKtEngine& rxv() { return engine->rxvKt(); }

    // Rows (ID, address, medium), all selected.
    void tableOf(const std::vector<std::vector<std::string>>& rows) {
        ASSERT_TRUE(rxv().clearTable());
        const int columns[] = {kRxvIdColumn, kRxvAddressColumn, kRxvMediumColumn};
        for (std::size_t r = 0; r < rows.size(); ++r) {
            if (r > 0) ASSERT_TRUE(rxv().addRow());
            for (std::size_t c = 0; c < rows[r].size(); ++c)
                ASSERT_TRUE(rxv().setCell(static_cast<int>(r) + 1, columns[c], rows[r][c]));
        }
        rxv().selectAll(true);
    }

    // The receiver's commands the line carried, in order (lower-case texts; the meters' frames left out).
    std::vector<std::string> heardCommands() const {
        std::vector<std::string> texts;
        for (const std::string& hex : heardFrames()) {
            std::string text;
            for (std::size_t i = 0; i + 1 < hex.size(); i += 3) text += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
            if (text.starts_with("set ") || text.starts_with("del ") || text.starts_with("get ")) texts.push_back(text);
        }
        return texts;
    }

    int heardCount(const std::string& prefix) const {
        int n = 0;
        for (const std::string& text : heardCommands())
            if (text.starts_with(prefix)) ++n;
        return n;
    }

    sim::RxvKt* m_receiver = nullptr;
};

std::string KeyBytes(const std::string& id) {
    std::string key;
    for (int i = 0; i < 4; ++i)
        for (std::size_t k = 0; k < 8; k += 2) key += static_cast<char>(std::stoi(id.substr(k, 2), nullptr, 16));
    return key;
}

class ReceiverProgramming : public ReceiverBus, public ::testing::WithParamInterface<Transport> {};

// Activation, unit and key over the selected rows, rows with a bad ID or address sending nothing; the
// receiver ends up with the entries, units and keys, the key bytes raw (00h, 16h and 68h inside).
TEST_P(ReceiverProgramming, StepsGoRowByRowAndBadRowsSendNothing) {
    startReceiverBus(GetParam());
    tableOf({{"12345678", "21", "Water"}, {"", "22", "Gas"}, {"23456789", "0"}, {"23456789", "abc"},
             {"2345678", "23", "Heat"}});
    const std::string keyHex = "00166812345678900016681234567890";
    rxv().setKeySettings({keyHex, false, true, true, true});
    for (RxvStep step : {RxvStep::Activate, RxvStep::Unit, RxvStep::Key}) rxv().tickStep(step, true);
    ASSERT_TRUE(rxv().program());
    EXPECT_TRUE(rxv().pageState().programming);
    EXPECT_EQ(rxv().pageState().programCaption, RxvKtEngine::kStopProgramCaption);
    EXPECT_FALSE(rxv().info());  // the bus is held
    EXPECT_FALSE(rxv().setCell(1, kRxvIdColumn, "99999999"));
    ASSERT_TRUE(waitIdle(30000));

    std::string key;
    for (std::size_t i = 0; i < keyHex.size(); i += 2) key += static_cast<char>(std::stoi(keyHex.substr(i, 2), nullptr, 16));
    // The row without an ID is refused its activation (and its key by ID), not its address's unit and key.
    const std::vector<std::string> expected{
        "set entr=21,12345678",      "set entr=23,02345678", "set unit=21,7",       "set unit=22,3",
        "set unit=23,12",            "set encr=21," + key,   "set akey=12345678," + key,
        "set encr=22," + key,        "set encr=23," + key,   "set akey=02345678," + key};
    EXPECT_EQ(heardCommands(), expected);
    EXPECT_EQ(count("Error in device ID on row 2"), 1);
    EXPECT_EQ(count("Wrong ID, must be 8-digits..."), 1);
    EXPECT_EQ(count("Error in Primary device address at row 3, skipping"), 3);
    EXPECT_EQ(count("Error in Primary device address at row 4, skipping"), 3);
    EXPECT_EQ(rxv().table().cell(5, kRxvIdColumn), "02345678");  // written back as sent
    EXPECT_FALSE(rxv().keySettings().oneKeyAll);                  // the key step unticks it
    EXPECT_EQ(rxv().steps().count(), 0);
    EXPECT_FALSE(rxv().pageState().programming);
    EXPECT_TRUE(rxv().pageState().commandsEnabled);

    ASSERT_NE(m_receiver->entry(21), nullptr);
    EXPECT_EQ(m_receiver->entry(21)->id, "12345678");
    EXPECT_EQ(m_receiver->entry(21)->unit, 7);
    ASSERT_NE(m_receiver->entry(23), nullptr);
    EXPECT_EQ(m_receiver->entry(23)->unit, 12);
    const std::optional<sim::ReceiverKey> stored = m_receiver->keyFor(21);
    ASSERT_TRUE(stored);
    EXPECT_EQ(std::string(stored->begin(), stored->end()), key);
    EXPECT_EQ(m_receiver->entry(22), nullptr);
    EXPECT_EQ(count("Error: device 22 not active"), 1);
}

INSTANTIATE_TEST_SUITE_P(Links, ReceiverProgramming, ::testing::Values(Transport::Serial, Transport::BridgeAlways),
                         [](const auto& test) { return std::string(test.param == Transport::Serial ? "Serial" : "Bridge"); });

// A receiver that never confirms gets "Retries" + 1 activations a row; one that confirms, one.
TEST_F(ReceiverBus, AnActivationIsRepeatedOnlyWhileUnconfirmed) {
    for (const bool mute : {true, false}) {
        for (const int retries : {0, 1}) {
            SCOPED_TRACE(testing::Message() << (mute ? "muted" : "confirming") << ", retries " << retries);
            startReceiverBus(Transport::BridgeAlways, mute);
            setRetries(retries);
            tableOf({{"12345678", "21"}, {"23456789", "464"}, {"34567890", "22"}});
            rxv().tickStep(RxvStep::Activate, true);
            ASSERT_TRUE(rxv().program());
            ASSERT_TRUE(waitIdle());
            const int sends = mute ? retries + 1 : 1;
            EXPECT_EQ(heardCount("set entr=21,12345678"), sends);
            EXPECT_EQ(heardCount("set entr=22,34567890"), sends);
            EXPECT_EQ(heardCount("set entr="), 2 * sends);
            engine.reset();
        }
    }
}

// The receiver passes on what it hears: each radio meter fills a row; a full table takes one more and
// says so once; the stop switches the forwarding off twice, 1500 ms apart.
TEST_F(ReceiverBus, AcquisitionFillsRowsFromTheRadioMetersAndStopsAtTheCapacity) {
    startReceiverBus(Transport::Serial);
    rxv().setExcludeIdentical(true);
    ASSERT_TRUE(rxv().acquire());
    EXPECT_EQ(rxv().pageState().acquireCaption, RxvKtEngine::kStopAcquireCaption);
    EXPECT_FALSE(rxv().clearTable());
    ASSERT_TRUE(waitFor([&] { return rxv().table().dataRowCount() == 4; }, 8000));
    rxv().acquire();
    QElapsedTimer stopping;
    stopping.start();
    ASSERT_TRUE(waitIdle());
    EXPECT_GE(stopping.elapsed(), RxvKtEngine::kStopRepeatMilliseconds);
    EXPECT_EQ(heardCommands().front(), "set rtra=1");
    EXPECT_EQ(heardCount("set rtra=0"), 2);
    EXPECT_FALSE(m_receiver->transparent());

    const DeviceTable& table = rxv().table();
    std::map<std::string, int> rowOf;
    for (int row = 1; row <= table.dataRowCount(); ++row) rowOf[table.cell(row, kRxvIdColumn)] = row;
    ASSERT_EQ(rowOf.size(), 4u);
    const int example = rowOf.at("12345678");
    EXPECT_EQ(table.cell(example, kRxvVersionColumn), "1");
    EXPECT_EQ(table.cell(example, kRxvDeviceColumn), "7");
    EXPECT_EQ(table.cell(example, kRxvMediumColumn), "Water");
    EXPECT_EQ(table.cell(example, kRxvNoteColumn), "L=0x0C, C=0x44");
    EXPECT_EQ(table.cell(rowOf.at("45678901"), kRxvAuxIdColumn), "56789012");
    EXPECT_EQ(table.cell(example, kRxvAddressColumn), "");

    // 446 imported rows and the four again: the table holds 450 and says it is full once.
    std::vector<std::vector<std::string>> rows(446, std::vector<std::string>{"99999999"});
    ImportedTable imported;
    imported.rows = rows;
    ASSERT_TRUE(rxv().importTable(imported));
    rxv().setExcludeIdentical(false);
    ASSERT_TRUE(rxv().acquire());
    ASSERT_TRUE(waitFor([&] { return count("Table is full, no more rows can be added...") > 0; }, 8000));
    pump(2500);
    rxv().acquire();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(rxv().table().dataRowCount(), 450);
    EXPECT_EQ(count("Table is full, no more rows can be added..."), 1);
}

TEST_F(ReceiverBus, AcquisitionIsRefusedAwayFromTheSerialPort) {
    startReceiverBus(Transport::BridgeAlways);
    EXPECT_FALSE(rxv().acquire());
    EXPECT_EQ(log().back(), RxvKtEngine::kSerialOnly);
    EXPECT_TRUE(heardCommands().empty());
}

} // namespace
} // namespace veltro::test
