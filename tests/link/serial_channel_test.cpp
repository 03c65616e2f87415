#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QSignalSpy>

#include "app/live_settings.h"
#include "link/communication_log.h"
#include "link/pseudo_terminal.h"
#include "link/serial_channel.h"
#include "link/serial_port_rules.h"

namespace veltro {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ToBytes(const Telegram& telegram) { return Bytes(telegram.begin(), telegram.end()); }

class SerialChannelTest : public ::testing::Test {
protected:
    void usePort(const QString& name, const std::string& speed = "2400", const std::string& parity = "Even") {
        Settings s = settings.settings();
        s.comPort.name = name.toStdString();
        s.comPort.speed = speed;
        s.comPort.parity = parity;
        settings.setSettings(s);
    }

    test::PseudoTerminal device;
    LiveSettings settings{QString(), QString()};
    CommunicationLog log;
    SerialChannel channel{log, settings};
};

TEST_F(SerialChannelTest, OpeningShowsTheTextsAsTypedAndTheSpeedTheRuleGives) {
    usePort(device.slavePath(), "1200", "even");
    QSignalSpy opened(&channel, &SerialChannel::openChanged);
    ASSERT_TRUE(channel.open());
    EXPECT_TRUE(channel.isOpen());
    const QString expected = device.slavePath() + " - 1200,8,even";
    EXPECT_EQ(channel.statusText(), expected);
    ASSERT_FALSE(log.lines().isEmpty());
    EXPECT_EQ(log.lines().last(), expected);
    ASSERT_EQ(opened.count(), 1);
    EXPECT_TRUE(opened.at(0).at(0).toBool());

    const termios line = device.attributes();
    EXPECT_EQ(::cfgetospeed(&line), speed_t(B2400));  // "1200" is not one of the five
    EXPECT_EQ(line.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_FALSE(line.c_cflag & CSTOPB);
    EXPECT_FALSE(line.c_cflag & CRTSCTS);
    EXPECT_FALSE(line.c_iflag & (IXON | IXOFF));
}

TEST_F(SerialChannelTest, EachOfTheFiveSpeedTextsSetsItsRate) {
    const std::pair<std::string, speed_t> speeds[] = {
        {"300", B300}, {"2400", B2400}, {"4800", B4800}, {"9600", B9600}, {"19200", B19200}};
    for (const auto& [text, rate] : speeds) {
        usePort(device.slavePath(), text, "None");
        ASSERT_TRUE(channel.open()) << text;
        EXPECT_EQ(device.outputSpeed(), rate) << text;
        channel.close();
    }
}

TEST_F(SerialChannelTest, WritesReachTheDeviceUnchangedAndReadsTakeWhatIsQueuedWithoutWaiting) {
    usePort(device.slavePath());
    ASSERT_TRUE(channel.open());
    const Telegram reqUd2{0x10, 0x7B, 0x05, 0x80, 0x16};
    const SerialChannel::WriteResult written = channel.write(reqUd2);
    ASSERT_TRUE(written.ok) << written.error.toStdString();
    EXPECT_EQ(device.receive(5), ToBytes(reqUd2));

    EXPECT_TRUE(channel.readAvailable().empty());  // nothing came: no waiting, no bytes
    device.send({0xE5});
    device.send({0x68, 0x03});
    // No event loop turn between the device's answer and the read, as at a response timer's tick.
    EXPECT_EQ(ToBytes(channel.readAvailable()), (Bytes{0xE5, 0x68, 0x03}));
    EXPECT_TRUE(channel.readAvailable().empty());  // taken once
}

TEST_F(SerialChannelTest, PurgingTheInputDiscardsWhatIsQueued) {
    usePort(device.slavePath());
    ASSERT_TRUE(channel.open());
    device.send({0x01, 0x02, 0x03});
    channel.purge(SerialChannel::PurgeSides::Input);
    device.send({0xE5});
    EXPECT_EQ(ToBytes(channel.readAvailable()), Bytes{0xE5});
}

TEST_F(SerialChannelTest, ClosingShowsThePortClosedAndPutsTheNextOpenOff40Milliseconds) {
    usePort(device.slavePath());
    ASSERT_TRUE(channel.open());
    QSignalSpy changed(&channel, &SerialChannel::openChanged);
    const qsizetype linesBefore = log.lines().size();
    channel.close();
    // Nothing sleeps: the driver's settling time is left for the next open to wait out.
    EXPECT_GT(channel.settleRemaining(), 0);
    EXPECT_LE(channel.settleRemaining(), SerialChannel::kCloseWaitMilliseconds);
    EXPECT_FALSE(channel.isOpen());
    EXPECT_EQ(channel.statusText(), device.slavePath() + " is closed");
    ASSERT_EQ(changed.count(), 1);
    EXPECT_FALSE(changed.at(0).at(0).toBool());
    EXPECT_EQ(log.lines().size(), linesBefore);  // a clean close logs nothing

    EXPECT_TRUE(channel.readAvailable().empty());
    EXPECT_FALSE(channel.write(Telegram{0x10}).ok);
    channel.purge();  // no effect, no failure
}

TEST_F(SerialChannelTest, TwoOperationsInARowAlternateTheStatusText) {
    usePort(device.slavePath());
    QSignalSpy status(&channel, &SerialChannel::statusTextChanged);
    channel.toggle();
    channel.toggle();
    channel.toggle();
    channel.toggle();
    const QString open = device.slavePath() + " - 2400,8,Even";
    const QString closed = device.slavePath() + " is closed";
    ASSERT_EQ(status.count(), 4);
    EXPECT_EQ(status.at(0).at(0).toString(), open);
    EXPECT_EQ(status.at(1).at(0).toString(), closed);
    EXPECT_EQ(status.at(2).at(0).toString(), open);
    EXPECT_EQ(status.at(3).at(0).toString(), closed);
}

TEST_F(SerialChannelTest, APortHeldByAnotherUserIsInUseAndTheHolderKeepsWorking) {
    usePort(device.slavePath());
    ASSERT_TRUE(channel.open());

    CommunicationLog otherLog;
    SerialChannel other(otherLog, settings);
    EXPECT_FALSE(other.open());
    EXPECT_FALSE(other.isOpen());
    ASSERT_EQ(otherLog.lines().size(), 1);
    EXPECT_EQ(otherLog.lines().at(0), "The selected serial port (" + device.slavePath() + ") is in use by another program!");
    EXPECT_EQ(other.statusText(), device.slavePath() + " is closed");

    ASSERT_TRUE(channel.write(Telegram{0x10, 0x40, 0x05, 0x45, 0x16}).ok);
    EXPECT_EQ(device.receive(5), (Bytes{0x10, 0x40, 0x05, 0x45, 0x16}));
}

TEST_F(SerialChannelTest, AMissingOrUnusablePortIsInUseInTheCurrentLanguage) {
    struct Case {
        const char* name;
        Language language;
        const char* line;
    } cases[] = {
        {"/dev/veltro-no-such-port", Language::English,
         "The selected serial port (/dev/veltro-no-such-port) is in use by another program!"},
        {"ttyVELTRO9", Language::Italian, "La porta selezionata (ttyVELTRO9) e utilizzata da un\"altra applicazione!"},
        {"../ttyS0", Language::English, "The selected serial port (../ttyS0) is in use by another program!"},
        {"", Language::English, "The selected serial port () is in use by another program!"},
    };
    for (const auto& c : cases) {
        log.clear();
        settings.setLanguage(c.language);
        usePort(QString::fromUtf8(c.name));
        EXPECT_FALSE(channel.open()) << c.name;
        ASSERT_EQ(log.lines().size(), 1) << c.name;
        EXPECT_EQ(log.lines().at(0), QString::fromUtf8(c.line));
        EXPECT_EQ(channel.statusText(), QString::fromUtf8(c.name) + " is closed");
    }
}

TEST_F(SerialChannelTest, ADeviceThatIsNoSerialPortFailsToOpenWithTheUnknownExceptionLine) {
    usePort("/dev/null");  // exists and can be had, but takes no line settings
    EXPECT_FALSE(channel.open());
    EXPECT_EQ(log.lines(), QStringList{"Unknown Exception on opening serial port..."});
    EXPECT_EQ(channel.statusText(), "/dev/null is closed");
    EXPECT_FALSE(channel.isOpen());
}

} // namespace
} // namespace veltro
