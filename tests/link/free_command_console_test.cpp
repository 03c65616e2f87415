#include <gtest/gtest.h>

#include <deque>

#include <QSignalSpy>

#include "app/live_settings.h"
#include "link/communication_log.h"
#include "link/free_command_console.h"
#include "link/pseudo_terminal.h"
#include "link/bridge_channel.h"
#include "link/link_facade.h"
#include "link/operation_runner.h"
#include "link/serial_channel.h"

namespace veltro {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kWindow = 100;

// The console on the serial link of a real pseudo-terminal, behind the link facade and the runner.
class ConsoleOnSerialTest : public ::testing::Test {
protected:
    void SetUp() override {
        Settings s = settings.settings();
        s.comPort.name = device.slavePath().toStdString();
        s.comPort.speed = "2400";
        settings.setSettings(s);
        QObject::connect(&serial, &SerialChannel::openChanged, [this](bool open) { (open ? acquired : released) += 1; });
    }

    test::PseudoTerminal device;
    LiveSettings settings{QString(), QString()};
    CommunicationLog log;
    SerialChannel serial{log, settings};
    BridgeChannel bridge{log, settings};
    LinkFacade link{log, settings, serial, bridge};
    OperationRunner runner{link, log, kWindow};
    int acquired = 0;
    int released = 0;
    FreeCommandConsole console{runner, log};
};

TEST_F(ConsoleOnSerialTest, AHexCommandGoesOutAsBytesAndTheAnswerIsLoggedAsHexRendering) {
    console.setMode(ConsoleMode::Hex);
    QSignalSpy ended(&console, &FreeCommandConsole::answerWindowEnded);
    ASSERT_TRUE(console.send("10 5B 1 5B 16"));
    EXPECT_TRUE(console.isWaiting());
    EXPECT_EQ(device.receive(5), (Bytes{0x10, 0x5B, 0x01, 0x5B, 0x16}));
    device.send({0x4F, 0x4B});

    ASSERT_TRUE(ended.wait(2000));
    EXPECT_EQ(log.lines().last(), "4F 4B ");
    EXPECT_TRUE(ended.at(0).at(0).toBool());
    EXPECT_FALSE(console.isWaiting());
    EXPECT_FALSE(serial.isOpen());  // released after the one window
    EXPECT_EQ(released, 1);
}

TEST_F(ConsoleOnSerialTest, AnAsciiCommandGoesOutByteForByteAndTheAnswerIsLoggedAsText) {
    console.setMode(ConsoleMode::Ascii);
    QSignalSpy ended(&console, &FreeCommandConsole::answerWindowEnded);
    ASSERT_TRUE(console.send("GET INFO"));
    EXPECT_EQ(device.receive(9, std::chrono::milliseconds(300)), (Bytes{'G', 'E', 'T', ' ', 'I', 'N', 'F', 'O'}));
    device.send({'O', 'K'});
    ASSERT_TRUE(ended.wait(2000));
    EXPECT_EQ(log.lines().last(), "OK");
}

TEST_F(ConsoleOnSerialTest, ASilentDeviceLeavesNoLineAndTheLinkIsReleasedAfterOneWindow) {
    QSignalSpy ended(&console, &FreeCommandConsole::answerWindowEnded);
    ASSERT_TRUE(console.send("10 40 05 45 16"));
    const qsizetype lines = log.lines().size();  // the port's open line
    ASSERT_TRUE(ended.wait(2000));
    EXPECT_FALSE(ended.at(0).at(0).toBool());
    EXPECT_EQ(log.lines().size(), lines);
    EXPECT_FALSE(serial.isOpen());
    EXPECT_EQ(released, 1);
}

TEST_F(ConsoleOnSerialTest, ARefusedHexTextIsLoggedAndTheLinkIsNotTouched) {
    console.setMode(ConsoleMode::Hex);
    EXPECT_FALSE(console.send("10 5b"));
    EXPECT_FALSE(console.send("1"));
    EXPECT_EQ(log.lines(), QStringList({"Wrong custom hex command, 0..F uppercase allowed",
                                        "Wrong custom hex command, 2 symbols at least..."}));
    EXPECT_EQ(acquired, 0);
    EXPECT_FALSE(serial.isOpen());
    EXPECT_FALSE(console.isWaiting());
    EXPECT_TRUE(device.receive(1, std::chrono::milliseconds(50)).empty());
}

TEST_F(ConsoleOnSerialTest, AnEmptyTextDoesNothing) {
    EXPECT_FALSE(console.send(QString()));
    EXPECT_EQ(acquired, 0);
    EXPECT_TRUE(log.lines().isEmpty());
}

TEST_F(ConsoleOnSerialTest, NoLinkMeansNothingIsSentAndNoWindowRuns) {
    Settings s = settings.settings();
    s.comPort.name = "/dev/veltro-no-such-port";
    settings.setSettings(s);
    EXPECT_FALSE(console.send("10 40 05 45 16"));
    EXPECT_EQ(log.lines(), QStringList{"The selected serial port (/dev/veltro-no-such-port) is in use by another program!"});
    EXPECT_FALSE(console.isWaiting());
}

// A gateway that has not sent its whole frame yet: "wait" twice, then the reply.
class WaitingLink final : public Link {
public:
    std::deque<Collected> replies{{true, {}}, {true, {}}, {false, Telegram{0x4F, 0x4B}}};
    int collections = 0;
    int emptied = 0;
    int released = 0;
    Acquire acquire() override { return Acquire::Ready; }
    void release() override { ++released; }
    void send(const Telegram&, SendKind) override {}
    Collected collect(const CollectTexts&) override {
        ++collections;
        Collected next = replies.front();
        if (replies.size() > 1) replies.pop_front();
        return next;
    }
    void emptyReceiveBuffers() override { ++emptied; }
    bool writePending() const override { return false; }
    int lineBaud() const override { return 2400; }
    Telegram peek() override { return {}; }
    bool overNetwork() const override { return true; }
};

TEST(ConsoleOnGatewayServer, WaitsWhileTheGatewayReplyIsIncompleteThenLogsIt) {
    LiveSettings settings{QString(), QString()};
    Settings s = settings.settings();
    s.misc.useEthernet = true;
    settings.setSettings(s);
    CommunicationLog log;
    SerialChannel serial{log, settings};
    BridgeChannel bridge{log, settings};
    LinkFacade link{log, settings, serial, bridge};
    WaitingLink gateway;
    link.install(LinkMode::GatewayServer, gateway);
    OperationRunner runner{link, log, 20};
    FreeCommandConsole console(runner, log);
    console.setMode(ConsoleMode::Ascii);
    QSignalSpy ended(&console, &FreeCommandConsole::answerWindowEnded);
    ASSERT_TRUE(console.send("GET STATUS"));
    ASSERT_TRUE(ended.wait(2000));
    EXPECT_EQ(gateway.collections, 3);  // two "wait" windows, then the reply
    EXPECT_EQ(gateway.emptied, 1);      // once the reply is taken
    EXPECT_EQ(gateway.released, 1);
    EXPECT_EQ(log.lines(), QStringList{"OK"});
}

} // namespace
} // namespace veltro
