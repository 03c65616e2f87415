// Single reads through Timer_respond against the simulated bus.
#include "bus_fixture.h"

#include <QRegularExpression>

#include "link/bridge_channel.h"
#include "link/free_command_console.h"
#include "mbus/frames.h"
#include "link/link_facade.h"
#include "link/operation_runner.h"

namespace veltro::test {
namespace {

class SingleRead : public BusFixture, public ::testing::WithParamInterface<Transport> {};

TEST_P(SingleRead, SilentAddressLogsNoResponseOneWindowLaterAndKeepsTheLink) {
    startBus(sim::DefaultBus(), GetParam());
    tableWithAddresses({"5"});
    QElapsedTimer elapsed;
    elapsed.start();
    // The window opens once the link is there (the bridge's connect wait comes first).
    QObject::connect(&engine->link(), &LinkFacade::acquired, [&elapsed] { elapsed.restart(); });
    meters().readSelected();
    ASSERT_EQ(meters().busOperation(), BusOperation::SingleRead);
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(log().back(), "No response from address 5");
    EXPECT_GE(elapsed.elapsed(), kWindow - 5);
    // One window, not two: the margin absorbs a loaded machine's scheduling, not a second window.
    EXPECT_LT(elapsed.elapsed(), 2 * kWindow + kWindow / 2);
    EXPECT_TRUE(linkUp());
}

TEST_P(SingleRead, AnsweringMeterRewritesItsRowAndReleasesTheLink) {
    startBus(sim::DefaultBus(), GetParam());
    tableWithAddresses({"2"});
    meters().readSelected();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(count("Respond: "), 1);
    EXPECT_EQ(meters().table().cell(1, 0), "51200417");
    EXPECT_EQ(meters().table().cell(1, 4), "m3");
    EXPECT_FALSE(engine->serial().isOpen());
    EXPECT_FALSE(engine->bridge().isConnected());
}

TEST_P(SingleRead, UseSndNkeResetsThenReads) {
    startBus(sim::DefaultBus(), GetParam());
    tableWithAddresses({"1"});
    meters().setUseSndNke(true);
    meters().readSelected();
    ASSERT_TRUE(waitIdle());
    const int ack = static_cast<int>(log().indexOf("0xE5 (Acknowledge) 1"));
    ASSERT_GE(ack, 0) << log().join('\n').toStdString();
    EXPECT_TRUE(lineAfter(ack).startsWith("Respond: 68 "));
    if (GetParam() == Transport::Serial) {
        EXPECT_EQ(log().indexOf("Sent: 10 40 01 41 16 "), ack - 1);
    }
    EXPECT_EQ(meters().table().cell(1, 0), "40112301");
}

TEST_P(SingleRead, ThreeTelegramMeterIsReadInThreeWindowsOnlyInMultiTelegramMode) {
    startBus(sim::DefaultBus(), GetParam());
    tableWithAddresses({"15"});
    Settings s = engine->settings().settings();
    s.misc.multitelegram = true;
    engine->settings().setSettings(s);
    meters().readSelected();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(count("Respond: "), 3);

    // Without the mode only the first window is read, though the meter announces more.
    s.misc.multitelegram = false;
    engine->settings().setSettings(s);
    meters().readSelected();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(count("Respond: "), 3 + 1);
}

INSTANTIATE_TEST_SUITE_P(Transports, SingleRead, ::testing::Values(Transport::Bridge, Transport::Serial),
                         [](const auto& p) { return p.param == Transport::Bridge ? "Bridge" : "Serial"; });

class Configuration : public BusFixture {};

TEST_F(Configuration, AcknowledgedTelegramIsReadBackOnceToBroadcast) {
    std::vector<std::unique_ptr<sim::Device>> devices;
    devices.push_back(MakeMeter(DefaultMeterAt(2)));
    startBus(BusOf(std::move(devices)));
    tableWithAddresses({"2"});
    meters().setBroadcast(true);
    // Set primary address 2 to 7, sent to 254.
    const std::uint8_t data[] = {0x01, 0x7A, 0x07};
    ASSERT_TRUE(meters().sendConfiguration(*BuildLongFrame(0x73, 0xFE, 0x51, data), true));
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(count("0xE5 (Acknowledge) 1"), 1);
    EXPECT_EQ(count("Respond: "), 1);  // read back once
    const auto respond = std::find_if(log().begin(), log().end(), [](const QString& l) { return l.startsWith("Respond: "); });
    ASSERT_NE(respond, log().end());
    EXPECT_TRUE(respond->contains(" 68 08 07 72 ")) << respond->toStdString();  // the meter answers from address 7 now
    EXPECT_FALSE(engine->bridge().isConnected());
}

TEST_F(Configuration, BridgeNotConnectedWritesAndLogsNothing) {
    startBus(sim::DefaultBus());
    const auto before = log().size();
    engine->link().sendTelegram(BuildSndNke(5));
    engine->link().sendReadRequest(5);
    EXPECT_EQ(log().size(), before);
    EXPECT_FALSE(engine->bridge().isConnected());
}

TEST_F(Configuration, ASecondOperationIsRefusedWhileOneRuns) {
    startBus(sim::DefaultBus());
    tableWithAddresses({"5"});
    meters().readSelected();
    ASSERT_EQ(meters().busOperation(), BusOperation::SingleRead);
    meters().readAll();
    meters().findPrimary(0, 3);
    EXPECT_EQ(count(OperationRunner::kBusyMessage), 2);
    EXPECT_EQ(meters().busOperation(), BusOperation::SingleRead);
    ASSERT_TRUE(waitIdle());
}

TEST_F(Configuration, AFullReadLeavesNothingBehindForTheNextRead) {
    startBus(sim::DefaultBus());
    tableWithAddresses({"2"});
    Settings s = engine->settings().settings();
    s.misc.multitelegram = true;
    engine->settings().setSettings(s);
    meters().fullRead();
    ASSERT_TRUE(waitIdle());
    ASSERT_EQ(meters().table().cell(1, 0), "");  // the report got it
    // An ordinary read right after: the meter's row, not the report, and no further telegram.
    const auto reportLines = meters().report().log().size();
    meters().readSelected();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(meters().table().cell(1, 0), "51200417");
    EXPECT_EQ(meters().report().log().size(), reportLines);
    EXPECT_EQ(count("Respond: "), 2);
}

class Console : public BusFixture {};

TEST_F(Console, SilenceLogsNothingAndReleasesTheLinkAfterOneWindow) {
    startBus(sim::DefaultBus(), Transport::Serial);
    auto& console = engine->console();
    console.setMode(ConsoleMode::Hex);
    ASSERT_TRUE(console.send("10 40 05 45 16"));
    EXPECT_TRUE(engine->serial().isOpen());
    const auto before = log().size();  // after the port's own opening line
    ASSERT_TRUE(waitFor([&] { return !console.isWaiting(); }));
    EXPECT_EQ(log().size(), before) << log().join('\n').toStdString();
    EXPECT_FALSE(engine->serial().isOpen());
    EXPECT_EQ(engine->runner().currentKind(), BusOperation::None);
}

TEST_F(Console, HexAnswerIsLoggedAsHexPairs) {
    startBus(sim::DefaultBus(), Transport::Serial);
    auto& console = engine->console();
    console.setMode(ConsoleMode::Hex);
    ASSERT_TRUE(console.send("10 40 1 41 16"));  // SND_NKE to 1, one-digit token
    ASSERT_TRUE(waitFor([&] { return !console.isWaiting(); }));
    EXPECT_EQ(log().back(), "E5 ");
}

} // namespace
} // namespace veltro::test
