// "Fast response" against meters that answer late, over the pseudo-terminal at 2400 Bd with both
// directions at line speed. With the mode on, a silent meter costs the request's wire time + 330 bit
// times + 50 ms (211 ms for a REQ_UD2 at 2400 Bd) instead of the response window; a meter later than
// that is lost, which is the mode's price.
#include "bus_fixture.h"

#include "sim/meters_file.h"

namespace veltro::test {
namespace {

// Window lengths well apart from the fast window (211 ms), so that which one ended a window shows.
constexpr int kFullWindow = 400;
constexpr int kLongWindow = 500;

// Two meters of one short telegram (27 bytes, 124 ms on the wire) at 2 and 4; the meter at 4 answers
// `lateMs` after the request, the other after 5 ms.
std::unique_ptr<sim::Bus> LateMeterBus(int lateMs) {
    const QByteArray json = QByteArray(R"({"meters": [
        {"address": 2, "id": "22222222", "manufacturer": "SIM", "medium": "07",
         "records": [{"dif": "04", "vif": "13", "value": 2222}]},
        {"address": 4, "id": "44444444", "manufacturer": "SIM", "medium": "07", "answer_delay_ms": )") +
                            QByteArray::number(lateMs) + R"(,
         "records": [{"dif": "04", "vif": "13", "value": 4444}]}]})";
    QString error;
    auto states = sim::ParseMetersJson(json, QString(), error);
    EXPECT_TRUE(states) << error.toStdString();
    if (!states) return nullptr;
    auto bus = sim::MakeBus(std::move(*states), error);
    EXPECT_TRUE(bus) << error.toStdString();
    return bus;
}

class FastResponse : public BusFixture {
protected:
    void startLine(int lateMs) {
        sim::LineTiming timing{std::chrono::milliseconds{5}};
        timing.wireSpeed = true;
        startBus(LateMeterBus(lateMs), Transport::Serial, timing);
        // The window of every run opens once the port is open.
        QObject::connect(&engine->link(), &LinkFacade::acquired, [this] { m_clock.restart(); });
    }

    void setMode(bool fast, int window) {
        MainWindowState state = engine->settings().mainWindow();
        state.fastResponse = fast;
        engine->settings().setMainWindow(state);
        engine->settings().setResponseWindow(window);
    }

    // Reads the one row at `address`; whether its meter answered.
    bool readRow(const std::string& address) {
        tableWithAddresses({address});
        meters().readSelected();
        EXPECT_EQ(meters().busOperation(), BusOperation::SingleRead);
        EXPECT_TRUE(waitIdle());
        return !meters().table().cell(1, 0).empty();
    }

    // Scans `from`..`to`; the table's rows and the time the scan took from the port's opening.
    std::pair<std::vector<std::vector<std::string>>, qint64> scan(int from, int to) {
        meters().clearTable();
        m_clock.start();
        meters().findPrimary(from, to);
        EXPECT_TRUE(waitIdle());
        const qint64 elapsed = m_clock.elapsed();
        std::vector<std::vector<std::string>> rows;
        const MeterTable& t = meters().table();
        for (int r = 1; r < t.rowCount(); ++r) {
            if (t.cell(r, 1).empty()) continue;
            // Identification, address, manufacturer, value, unit, medium: what a reading shows.
            rows.push_back({t.cell(r, 0), t.cell(r, 1), t.cell(r, 2), t.cell(r, 3), t.cell(r, 4), t.cell(r, 5)});
        }
        return {rows, elapsed};
    }

    QElapsedTimer m_clock;
};

TEST_F(FastResponse, AMeterLateButInsideTheAnswerTimeIsRead) {
    startLine(150);  // its first character 23 + 150 ms after the request, inside 211 ms
    setMode(true, kLongWindow);
    ASSERT_TRUE(readRow("4")) << log().join('\n').toStdString();
    EXPECT_EQ(meters().table().cell(1, 0), "44444444");
    EXPECT_EQ(count("No response"), 0);
}

// The price: what full windows read with a long enough window, fast mode gives up on.
TEST_F(FastResponse, AMeterLaterThanTheAnswerTimeIsLostInFastModeAndReadWithTheModeOff) {
    startLine(260);
    setMode(true, kLongWindow);
    EXPECT_FALSE(readRow("4"));
    EXPECT_EQ(log().back(), "No response from address 4");
    pump(600);  // the late answer drains before the next request

    setMode(false, kLongWindow);
    ASSERT_TRUE(readRow("4")) << log().join('\n').toStdString();
    EXPECT_EQ(meters().table().cell(1, 0), "44444444");
    EXPECT_EQ(count("No response"), 1);
}

TEST_F(FastResponse, AScanFindsWhatTheFullWindowsFindInLessTime) {
    startLine(5);
    setMode(false, kFullWindow);
    const auto full = scan(1, 6);
    setMode(true, kFullWindow);
    const auto fast = scan(1, 6);
    ASSERT_EQ(full.first.size(), 2u) << log().join('\n').toStdString();
    EXPECT_EQ(full.first[0][0], "22222222");
    EXPECT_EQ(full.first[1][0], "44444444");
    EXPECT_EQ(fast.first, full.first);
    // Six windows of 400 ms against four silent addresses of 211 ms and two answers of ~160 ms.
    EXPECT_GE(full.second, 6 * kFullWindow);
    EXPECT_LT(fast.second, full.second * 8 / 10) << "fast " << fast.second << " ms, full " << full.second << " ms";
}

TEST_F(FastResponse, WithTheModeOffEveryWindowLastsTheResponseTimeout) {
    startLine(5);
    setMode(false, kFullWindow);
    // A silent address and an answering one: neither ends its window early.
    for (const int address : {3, 2}) {
        const qint64 elapsed = scan(address, address).second;
        EXPECT_GE(elapsed, kFullWindow) << address;
    }
    EXPECT_EQ(count("No response"), 0) << "a scan passes over silent addresses";
    EXPECT_EQ(meters().table().cell(1, 0), "22222222");
}

} // namespace
} // namespace veltro::test
