#include "bus_fixture.h"

#include <set>

#include "devices/display_engine.h"
#include "sim/display.h"
#include "sim/meters_file.h"

namespace veltro::test {
namespace {

// A display that misses the first activation of each entry, as one busy redrawing its screen.
class FirstActivationMissed final : public sim::Device {
public:
    explicit FirstActivationMissed(std::unique_ptr<sim::Display> display) : m_display(std::move(display)) {}
    std::string label() const override { return m_display->label(); }
    sim::DeviceResponse hear(const MasterFrame& frame, int lineBaud) override {
        const std::string text(frame.bytes.begin(), frame.bytes.end());
        if (frame.kind == MasterFrame::Kind::Text && text.starts_with("SET ENTR=") && m_missed.insert(text).second)
            return {};
        return m_display->hear(frame, lineBaud);
    }

private:
    std::unique_ptr<sim::Display> m_display;
    std::set<std::string> m_missed;
};

sim::DisplayConfig FixedDateDisplay() {
    sim::DisplayConfig config;
    config.date = sim::DisplayDate{2026, 3, 5};
    return config;
}

// What the display takes from the default bus's meter at `address`, worked out by the simulator.
sim::DisplayReading ReadingAt(int address) {
    for (const auto& state : sim::DefaultMeterStates()) {
        if (state.primaryAddress != address) continue;
        std::string error;
        const auto meter = sim::Meter::Create(state, error);
        if (meter) return sim::ReadingOfRecords(*meter);
    }
    ADD_FAILURE() << "no meter at " << address;
    return {};
}

class DisplayBus : public BusFixture {
protected:
    enum class Kind { Plain, MissesFirstActivation, None };

    void startDisplayBus(Transport transport, Kind kind = Kind::Plain, sim::DisplayConfig config = FixedDateDisplay()) {
        QString error;
        auto bus = sim::MakeBus(sim::DefaultMeterStates(), error);
        ASSERT_TRUE(bus) << error.toStdString();
        if (kind == Kind::Plain) m_display = &sim::AddDisplay(*bus, config);
        if (kind == Kind::MissesFirstActivation) {
            auto display = std::make_unique<sim::Display>(config, *bus);
            m_display = display.get();
            bus->add(std::make_unique<FirstActivationMissed>(std::move(display)));
        }
        const bool gateway = transport == Transport::GatewayClient || transport == Transport::GatewayServer;
        if (gateway) gatewayMbusTimeout = std::chrono::milliseconds{150};
        startBus(std::move(bus), transport);
        if (gateway) engine->settings().setResponseWindow(300);
    }

    DisplayEngine& display() { return engine->display(); }

    // Rows (address, unit, start, mult/div, user, text, text 2), all selected.
    void tableOf(const std::vector<std::vector<std::string>>& rows) {
        ASSERT_TRUE(display().clearTable());
        for (std::size_t r = 0; r < rows.size(); ++r) {
            if (r > 0) ASSERT_TRUE(display().addRow());
            const int row = static_cast<int>(r) + 1;
            const int columns[] = {kDisplayAddressColumn, kDisplayUnitColumn, kDisplayStartColumn, kDisplayMultDivColumn,
                                   kDisplayUserColumn, kDisplayTextColumn, kDisplayText2Column};
            for (std::size_t c = 0; c < rows[r].size(); ++c) ASSERT_TRUE(display().setCell(row, columns[c], rows[r][c]));
        }
        display().selectAll(true);
    }

    void tick(std::initializer_list<DisplaySetting> settings) {
        for (DisplaySetting s : settings) display().tickSetting(s, true);
    }

    // The texts the line carried, in order (the M-Bus frames of a gateway's keep-alive left out).
    std::vector<std::string> heardTexts() const {
        std::vector<std::string> texts;
        for (const std::string& hex : heardFrames()) {
            std::string text;
            for (std::size_t i = 0; i + 1 < hex.size(); i += 3) text += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
            if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z') texts.push_back(text);
        }
        return texts;
    }

    int heardCount(const std::string& text) const {
        const auto texts = heardTexts();
        return static_cast<int>(std::count(texts.begin(), texts.end(), text));
    }

    sim::Display* m_display = nullptr;
};

class DisplayRoundTrip : public DisplayBus, public ::testing::WithParamInterface<Transport> {};

// A table written to the display comes back from it, with totals and tariffs the display computed from
// the meters; a row with an address the display cannot have is never sent.
TEST_P(DisplayRoundTrip, TheWrittenTableComesBackWithTheMetersReadings) {
    startDisplayBus(GetParam());
    tableOf({{"2", "m3", "1,5", "1/1000", "7", "Hall A", "second row"},
             {"251", "kWh", "", "", "9", "never"},
             {"3", "kWh", "", "/1000", "8", ""}});
    tick({DisplaySetting::Activate, DisplaySetting::Units, DisplaySetting::Multiplier, DisplaySetting::Divider,
          DisplaySetting::Initial, DisplaySetting::User, DisplaySetting::Text, DisplaySetting::Text2});
    ASSERT_TRUE(display().writeTable());
    EXPECT_TRUE(display().pageState().writing);
    EXPECT_EQ(display().pageState().writeCaption, DisplayEngine::kStopCaption);
    EXPECT_FALSE(display().pageState().readDataEnabled);
    ASSERT_TRUE(waitIdle(30000));

    const std::vector<std::string> expected{
        "SET ENTR=2",       "SET ENTR=3",         "SET UNIT=2,2",      "SET UNIT=3,1",
        "SET CONM=2,1",     "SET CONM=3,1",       "SET COND=2,1000",   "SET COND=3,1000",
        "SET INIT=2,1.5",   "SET INIT=3,0",       "SET NUMB=2,7",      "SET NUMB=3,8",
        "SET TEXT=2,Hall A", "SET TEXT=3, ",      "SET TEX2=2,second row", "SET TEX2=3, "};
    EXPECT_EQ(heardTexts(), expected);
    EXPECT_EQ(count("Error in device address at row 2, skipping"), 8);
    EXPECT_EQ(display().switches().count(), 0);
    EXPECT_FALSE(display().pageState().writing);
    EXPECT_TRUE(display().pageState().readDataEnabled);
    EXPECT_EQ(display().pageState().writeCaption, DisplayEngine::kWriteCaption);

    ASSERT_TRUE(display().readData());
    ASSERT_TRUE(waitIdle());
    const DeviceTable& table = display().table();
    ASSERT_EQ(table.dataRowCount(), 2);
    const sim::DisplayReading water = ReadingAt(2);
    const sim::DisplayReading power = ReadingAt(3);
    const std::vector<std::string> row2{"", "2", "m3", "1.500", "1/1000", "7", "Hall A",
                                        sim::ScaledValueText(1500, water.pulses, 1, 1000)};
    // An empty free text goes as one blank, and the display keeps it.
    const std::vector<std::string> row3{"", "3", "kWh", "0.000", "1/1000", "8", " ",
                                        sim::ScaledValueText(0, power.pulses, 1, 1000)};
    for (std::size_t c = 0; c < row2.size(); ++c) {
        EXPECT_EQ(table.cell(1, static_cast<int>(c)), row2[c]) << "column " << c;
        EXPECT_EQ(table.cell(2, static_cast<int>(c)), row3[c]) << "column " << c;
    }

    ASSERT_TRUE(display().readValues(false, true));
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(table.cell(2, kDisplayTariffColumn), row3[kDisplayTotalColumn]);
    for (int t = 1; t <= 3; ++t)
        EXPECT_EQ(table.cell(2, kDisplayTariffColumn + t), sim::ScaledValueText(0, power.tariff[t].value_or(0), 1, 1000))
            << "tariff " << t;
    EXPECT_EQ(count("Reading tarriffs of device 3..."), 1);
}

INSTANTIATE_TEST_SUITE_P(Links, DisplayRoundTrip,
                         ::testing::Values(Transport::Serial, Transport::BridgeAlways, Transport::GatewayClient,
                                           Transport::GatewayServer),
                         [](const auto& test) {
                             switch (test.param) {
                             case Transport::Serial: return std::string("Serial");
                             case Transport::GatewayClient: return std::string("GatewayClient");
                             case Transport::GatewayServer: return std::string("GatewayServer");
                             default: return std::string("Bridge");
                             }
                         });

// Each row gets "Retries" + 1 activations at most; a row passed over for its address costs none.
TEST_F(DisplayBus, AnActivationIsRepeatedUntilAcknowledgedWithinTheRetries) {
    for (int retries : {1, 0}) {
        SCOPED_TRACE(retries);
        startDisplayBus(Transport::BridgeAlways, Kind::MissesFirstActivation);
        setRetries(retries);
        tableOf({{"2"}, {"0"}, {"3"}});
        tick({DisplaySetting::Activate});
        ASSERT_TRUE(display().writeTable());
        ASSERT_TRUE(waitIdle());
        EXPECT_EQ(heardCount("SET ENTR=2"), retries + 1);
        EXPECT_EQ(heardCount("SET ENTR=3"), retries + 1);
        EXPECT_EQ(heardTexts().size(), static_cast<std::size_t>(2 * (retries + 1)));
        EXPECT_EQ(m_display->active(2), retries > 0);
        EXPECT_EQ(m_display->active(3), retries > 0);
        EXPECT_EQ(count("Error in device address at row 2, skipping"), 1);
        engine.reset();
    }
}

// For every latest month of the display and every month asked for, the value lands in that month's
// column and is the meter's record of that month.
TEST_F(DisplayBus, AHistoryMonthIsAskedByItsDistanceFromTheLatest) {
    startDisplayBus(Transport::BridgeAlways);
    engine->settings().setResponseWindow(100);
    tableOf({{"15"}});
    tick({DisplaySetting::Activate});
    ASSERT_TRUE(display().writeTable());
    ASSERT_TRUE(waitIdle());
    const sim::DisplayReading logger = ReadingAt(15);
    // Every distance back from three display months, the turn of the year among them.
    for (int displayMonth : {1, 7, 12}) {
        display().setClock([displayMonth] { return QDateTime(QDate(2026, displayMonth, 5), QTime(9, 7)); });
        ASSERT_TRUE(display().setDate());
        ASSERT_TRUE(waitIdle());
        for (int chosen = 1; chosen <= 12; ++chosen) {
            SCOPED_TRACE(testing::Message() << "display month " << displayMonth << ", chosen " << chosen);
            ASSERT_TRUE(display().readingsFromDisplay());
            ASSERT_TRUE(display().readHistory(chosen));
            ASSERT_TRUE(waitIdle());
            const int monthsBack = (displayMonth - chosen + 11) % 12 + 1;
            const std::optional<std::int64_t> record = logger.storage[monthsBack][0];
            for (int month = 1; month <= 12; ++month) {
                const std::string cell = display().readings().cell(1, kReadingsFirstMonthColumn + month - 1);
                if (month == chosen && record) EXPECT_EQ(cell, sim::ScaledValueText(0, *record, 1, 1));
                else EXPECT_EQ(cell, "") << "month " << month;
            }
        }
    }
}

// Nobody answers: the cycle still ends with its switches consumed, and nothing read empties the tables.
TEST_F(DisplayBus, ASilentDisplayEndsTheCycleAndKeepsTheTables) {
    startDisplayBus(Transport::BridgeAlways, Kind::None);
    tableOf({{"2", "m3"}, {"3", "kWh"}});
    tick({DisplaySetting::Activate, DisplaySetting::Units});
    ASSERT_TRUE(display().writeTable());
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(display().switches().count(), 0);
    EXPECT_EQ(heardTexts(), (std::vector<std::string>{"SET ENTR=2", "SET ENTR=3", "SET UNIT=2,2", "SET UNIT=3,1"}));
    ASSERT_TRUE(display().readData());
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(count("Sorry, no active addresses in LDU-Q7 memory..."), 1);
    EXPECT_EQ(display().table().cell(1, kDisplayAddressColumn), "2");
    EXPECT_EQ(display().table().cell(2, kDisplayUnitColumn), "kWh");
}

// The single commands: the date of a fixed clock, the refresh time as two digits, and the display's
// answer shown in the log.
TEST_F(DisplayBus, SingleCommandsSendTheirTextAndShowTheAnswer) {
    startDisplayBus(Transport::Serial);
    display().setClock([] { return QDateTime(QDate(2026, 3, 5), QTime(9, 7)); });
    ASSERT_TRUE(display().setDate());
    ASSERT_TRUE(waitIdle());
    ASSERT_TRUE(display().setRefreshTime(QStringLiteral("4")));
    ASSERT_TRUE(waitIdle());
    EXPECT_FALSE(display().setRefreshTime(QStringLiteral("x")));
    EXPECT_EQ(heardTexts(), (std::vector<std::string>{"SET DATE=05/03/26", "SET REFR=04"}));
    EXPECT_EQ(count("Setting date of LDU-Q7/LDM..."), 1);
    EXPECT_EQ(count("Date: 05/03/26"), 1);
    EXPECT_EQ(count("Wrong value for refresh time of LDU-Q7/LDM..."), 1);
}

} // namespace
} // namespace veltro::test
