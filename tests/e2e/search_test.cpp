// The wildcard search over secondary addresses, against the simulated bus.
#include "bus_fixture.h"

#include <set>

#include "link/free_command_console.h"
#include "mbus/identification.h"
#include "meters/secondary_id_thread.h"

namespace veltro::test {
namespace {

const QString kTerminated = QString::fromStdString(SecondaryIDThread::kTerminated);

// A header-only answer whose checksum is its last identification byte: two of them that differ only
// there overlay (AND) into a frame that passes every check, with an identification nobody has.
std::unique_ptr<sim::Meter> OverlayProneMeter(std::uint8_t leadingIdByte) {
    Telegram frame{0x68, 0x0F, 0x0F, 0x68, 0x08, 0x00, 0x72, 0x00, 0x00, 0x00, leadingIdByte,
                   0x00, 0x00, 0x00, 0x00, 0x86, 0x00, 0x00, 0x00};
    std::uint8_t sum = 0;
    for (std::size_t i = 4; i < frame.size(); ++i) sum = static_cast<std::uint8_t>(sum + frame[i]);
    frame.append(sum);
    frame.append(0x16);
    std::string error;
    const std::vector<Telegram> frames{frame};
    auto state = sim::StateFromCapturedTelegrams(frames, error);
    EXPECT_TRUE(state) << error;
    return state ? sim::Meter::Create(*state, error) : nullptr;
}

class Search : public BusFixture {
protected:
    void setDirection(SearchDirection direction) {
        Settings s = engine->settings().settings();
        s.misc.lsbSearch = direction == SearchDirection::LsbFirst;
        s.misc.msbSearch = !s.misc.lsbSearch;
        engine->settings().setSettings(s);
    }

    // The identifications in the table, each as often as it stands there.
    std::multiset<std::string> tableIds() const {
        std::multiset<std::string> ids;
        const MeterTable& table = engine->meters().table();
        for (int r = 1; r < table.rowCount(); ++r)
            if (!table.cell(r, 0).empty()) ids.insert(table.cell(r, 0));
        return ids;
    }

    static std::multiset<std::string> DefaultIds() {
        std::multiset<std::string> ids;
        for (const auto& state : sim::DefaultMeterStates()) ids.insert(UnpackIdentification(state.identification));
        return ids;
    }

    bool search(int limitMs = 120000) {
        meters().findId("FFFFFFFF");
        EXPECT_EQ(meters().busOperation(), BusOperation::SecondarySearch);
        return waitIdle(limitMs);
    }

    std::string logText() const { return log().join('\n').toStdString(); }
};

TEST_F(Search, BothDirectionsFindTheWholeDefaultBusOnceAndRewriteAnExistingRow) {
    startBus(sim::DefaultBus());
    meters().replaceRows({{"99000027", "7", "stale"}, {}});
    operatorScript.answer = OperatorInterface::Answer::No;  // keep the table

    setDirection(SearchDirection::MsbFirst);
    ASSERT_TRUE(search()) << logText();
    EXPECT_EQ(tableIds(), DefaultIds()) << logText();
    EXPECT_EQ(meters().table().cell(1, 0), "99000027");
    EXPECT_NE(meters().table().cell(1, 2), "stale");  // rewritten in place, not appended
    // Only silent probes are repeated (Retries 0 here): every mask once, every meter confirmed once.
    EXPECT_EQ(count("Checking "), 140 + 11);
    EXPECT_EQ(log().back(), kTerminated);
    const auto& report = meters().lastSearch();
    ASSERT_TRUE(report);
    EXPECT_EQ(report->statistics.found, 11);
    EXPECT_EQ(report->statistics.probes, 151);
    EXPECT_FALSE(engine->bridge().isConnected());

    operatorScript.answer = OperatorInterface::Answer::Yes;  // clear it first
    setDirection(SearchDirection::LsbFirst);
    engine->log().clear();
    ASSERT_TRUE(search()) << logText();
    EXPECT_EQ(tableIds(), DefaultIds()) << logText();
    EXPECT_EQ(count("Checking "), 50 + 11);
    EXPECT_EQ(count("Checking FFFFFFF"), 10);
}

TEST_F(Search, AnEmptyBusIsTenProbesAndNoRead) {
    startBus(std::make_unique<sim::Bus>());
    setDirection(SearchDirection::LsbFirst);
    meters().replaceRows({{"1", "1"}, {}});
    operatorScript.answer = OperatorInterface::Answer::No;
    ASSERT_TRUE(search(10000)) << logText();
    QStringList probes = log().filter("Checking ");
    EXPECT_EQ(probes.size(), 10);
    EXPECT_EQ(probes.first(), "Checking FFFFFFF0...");
    EXPECT_EQ(probes.last(), "Checking FFFFFFF9...");
    EXPECT_EQ(meters().lastSearch()->statistics.reads, 0);
    EXPECT_EQ(meters().table().cell(1, 0), "1");
    EXPECT_EQ(log().back(), kTerminated);
}

TEST_F(Search, CancelAtTheQuestionStartsNothing) {
    startBus(sim::DefaultBus());
    meters().replaceRows({{"1", "1"}, {}});
    operatorScript.answer = OperatorInterface::Answer::Cancel;
    meters().findId("FFFFFFFF");
    EXPECT_EQ(meters().busOperation(), BusOperation::None);
    EXPECT_EQ(meters().table().cell(1, 0), "1");
    EXPECT_EQ(count("Checking "), 0);
}

TEST_F(Search, AnOverlayThatPassesTheChecksIsNoMeterAndBothMetersAreFound) {
    std::vector<std::unique_ptr<sim::Device>> devices;
    devices.push_back(OverlayProneMeter(0x11));
    devices.push_back(OverlayProneMeter(0x12));
    startBus(BusOf(std::move(devices)));
    setDirection(SearchDirection::MsbFirst);
    ASSERT_TRUE(search()) << logText();
    EXPECT_EQ(tableIds(), (std::multiset<std::string>{"11000000", "12000000"})) << logText();
    // The overlay read as 10000000; its own selection stays silent, so it is a collision.
    const auto confirm = log().indexOf("Checking 10000000...");
    ASSERT_GE(confirm, 0) << logText();
    EXPECT_EQ(lineAfter(confirm).left(9), "Collision") << logText();
}

TEST_F(Search, StopEndsBeforeTheNextProbeAndEveryOtherBusCommandIsRefused) {
    startBus(sim::DefaultBus(), Transport::Serial);
    setDirection(SearchDirection::MsbFirst);
    meters().findId("FFFFFFFF");
    ASSERT_TRUE(waitFor([&] { return count("Collision") > 0; }, 30000)) << logText();

    const MeterPageState& page = meters().pageState();
    EXPECT_TRUE(page.stopSecondaryVisible);
    EXPECT_FALSE(page.findPrimaryEnabled || page.findIdEnabled || page.findAllEnabled || page.idFieldEnabled ||
                 page.readAllEnabled || page.readOnceEnabled || page.advancedEnabled || page.autoAddressEnabled ||
                 page.loadDataEnabled || page.saveDataEnabled || page.broadcastEnabled || page.commandSendEnabled);
    EXPECT_TRUE(page.progress.visible);

    // Whatever reaches the engine anyway (a key, a menu, a script) is refused without touching the bus.
    const int busyBefore = count(OperationRunner::kBusyMessage);
    meters().readSelected();
    meters().readAll();
    meters().fullRead();
    meters().findPrimary(0, 5);
    meters().findId("12345678");
    meters().findId("FFFFFFFF");
    engine->console().send(QStringLiteral("10 40 01 41 16"));
    EXPECT_FALSE(meters().clearTable());
    EXPECT_FALSE(meters().deleteSelectedRow());
    EXPECT_EQ(count(OperationRunner::kBusyMessage), busyBefore + 6) << logText();
    setRetries(2);  // "Apply" in the settings window while the search runs
    EXPECT_EQ(meters().busOperation(), BusOperation::SecondarySearch);

    const int probesAtStop = count("Checking ");
    meters().stopSecondary();
    ASSERT_TRUE(waitIdle(5000));
    EXPECT_EQ(count("Checking "), probesAtStop);
    EXPECT_EQ(log().back(), kTerminated);
    EXPECT_EQ(count(kTerminated), 1);
    EXPECT_FALSE(page.stopSecondaryVisible);
    EXPECT_FALSE(page.progress.visible);
    EXPECT_TRUE(page.findPrimaryEnabled && page.findIdEnabled && page.idFieldEnabled && page.readAllEnabled &&
                page.saveDataEnabled && page.broadcastEnabled && page.commandSendEnabled);
    EXPECT_FALSE(engine->serial().isOpen());
}

TEST_F(Search, ThePortGoingAwayEndsTheSearch) {
    startBus(sim::DefaultBus(), Transport::Serial);
    meters().findId("FFFFFFFF");
    ASSERT_TRUE(waitFor([&] { return count("Checking ") >= 3; }, 10000)) << logText();
    closeSimulatedPort();
    ASSERT_TRUE(waitIdle(5000)) << logText();
    EXPECT_EQ(count("No valid physical connection... "), 1) << logText();
    EXPECT_EQ(log().back(), kTerminated);
    EXPECT_EQ(engine->runner().lastOutcome(), OperationOutcome::LinkFailed);
    EXPECT_FALSE(engine->serial().isOpen());
}

TEST_F(Search, TheProgramClosingMidSearchEndsTheWorkerAtOnce) {
    startBus(sim::DefaultBus(), Transport::Serial);
    meters().findId("FFFFFFFF");
    ASSERT_TRUE(waitFor([&] { return count("Checking ") >= 2; }, 10000)) << logText();
    engine->shutdown();
    EXPECT_EQ(meters().busOperation(), BusOperation::None);
    EXPECT_EQ(log().back(), kTerminated);
    EXPECT_FALSE(engine->serial().isOpen());
    // And a second search runs as the first did.
    engine->log().clear();
    operatorScript.answer = OperatorInterface::Answer::Yes;
    Settings s = engine->settings().settings();
    s.misc.globalInit = true;
    engine->settings().setSettings(s);
    setDirection(SearchDirection::LsbFirst);
    ASSERT_TRUE(search()) << logText();
    EXPECT_EQ(tableIds(), DefaultIds());
    EXPECT_TRUE(log().contains("Sent: 10 40 FF 3F 16 "));
}

} // namespace
} // namespace veltro::test
