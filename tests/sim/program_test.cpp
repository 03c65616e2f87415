#include <gtest/gtest.h>

#include <csignal>

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include "sim/generated_bus.h"
#include "sim/options.h"
#include "sim_test_support.h"

namespace veltro::sim {
namespace {

using test::CompleteAnswer;
using test::ToBytes;
using test::ToTelegram;
using test::Valid;

// --- The command line ---

struct OptionsCase {
    const char* name;
    std::vector<std::string> arguments;
    std::function<void(const SimulatorOptions&)> check;  // nothing: the arguments are refused
    const char* error = "";
};

class CommandLine : public ::testing::TestWithParam<OptionsCase> {};

TEST_P(CommandLine, IsReadOrRefused) {
    const auto& c = GetParam();
    const auto parsed = ParseSimulatorOptions(c.arguments);
    if (c.check) {
        ASSERT_TRUE(parsed.options) << parsed.error;
        c.check(*parsed.options);
    } else {
        EXPECT_FALSE(parsed.options);
        EXPECT_NE(parsed.error.find(c.error), std::string::npos) << parsed.error;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Program, CommandLine,
    ::testing::Values(
        OptionsCase{"Defaults", {"--bridge", "127.0.0.1:0"},
                    [](const SimulatorOptions& o) {
                        EXPECT_TRUE(o.bridge);
                        EXPECT_EQ(o.bridgeHost, "127.0.0.1");
                        EXPECT_EQ(o.bridgePort, 0);
                        EXPECT_FALSE(o.pty);
                        EXPECT_EQ(o.latencyMs, 20);
                        EXPECT_EQ(o.baud, 2400);
                        EXPECT_FALSE(o.wireSpeed);
                        EXPECT_FALSE(o.verbose);
                        EXPECT_TRUE(o.metersFile.empty());
                        EXPECT_EQ(o.generateCount, 0);
                    }},
        OptionsCase{"Everything",
                    {"--bridge=localhost:10001", "--pty", "/tmp/ttyMBUS", "--meters", "m.json", "--latency", "0",
                     "--baud=9600", "--wire-speed", "--verbose", "--journal=j.jsonl"},
                    [](const SimulatorOptions& o) {
                        EXPECT_EQ(o.bridgeHost, "localhost");
                        EXPECT_EQ(o.bridgePort, 10001);
                        EXPECT_TRUE(o.pty);
                        EXPECT_EQ(o.ptyLink, "/tmp/ttyMBUS");
                        EXPECT_EQ(o.metersFile, "m.json");
                        EXPECT_EQ(o.latencyMs, 0);
                        EXPECT_EQ(o.baud, 9600);
                        EXPECT_TRUE(o.wireSpeed);
                        EXPECT_TRUE(o.verbose);
                        EXPECT_EQ(o.journalFile, "j.jsonl");
                    }},
        OptionsCase{"PtyWithoutLink", {"--pty", "--verbose"},
                    [](const SimulatorOptions& o) {
                        EXPECT_TRUE(o.pty);
                        EXPECT_TRUE(o.ptyLink.empty());
                        EXPECT_TRUE(o.verbose);
                    }},
        OptionsCase{"GenerateWithSeed", {"--pty", "--generate", "250:4294967295"},
                    [](const SimulatorOptions& o) {
                        EXPECT_EQ(o.generateCount, 250);
                        EXPECT_EQ(o.generateSeed, 4294967295u);
                    }},
        OptionsCase{"GenerateWithTheDefaultSeed", {"--pty", "--generate=1"},
                    [](const SimulatorOptions& o) {
                        EXPECT_EQ(o.generateCount, 1);
                        EXPECT_EQ(o.generateSeed, kDefaultGeneratorSeed);
                    }},
        OptionsCase{"GenerateNoMeters", {"--pty", "--generate", "0"}, nullptr, "not a number of meters 1..250"},
        OptionsCase{"GenerateTooMany", {"--pty", "--generate", "251:3"}, nullptr, "not a number of meters 1..250"},
        OptionsCase{"GenerateSeedNotANumber", {"--pty", "--generate", "5:x"}, nullptr, "not a seed"},
        OptionsCase{"GenerateEmptySeed", {"--pty", "--generate", "5:"}, nullptr, "not a seed"},
        OptionsCase{"GenerateSeedTooLarge", {"--pty", "--generate", "5:4294967296"}, nullptr, "not a seed"},
        OptionsCase{"GenerateAndMetersFile", {"--pty", "--generate", "5", "--meters", "m.json"}, nullptr,
                    "--generate and --meters exclude each other"},
        OptionsCase{"BracketedIpv6Host", {"--bridge", "[::1]:5000"},
                    [](const SimulatorOptions& o) { EXPECT_EQ(o.bridgeHost, "::1"); }},
        OptionsCase{"Help", {"-h"}, [](const SimulatorOptions& o) { EXPECT_TRUE(o.help); }},
        OptionsCase{"BridgeWithoutPort", {"--bridge", "127.0.0.1"}, nullptr, "HOST:PORT"},
        OptionsCase{"PortOutOfRange", {"--bridge", "127.0.0.1:65536"}, nullptr, "not a port"},
        OptionsCase{"BaudNotAMeterSpeed", {"--pty", "--baud", "1234"}, nullptr, "--baud"},
        OptionsCase{"LatencyNegative", {"--pty", "--latency", "-5"}, nullptr, "--latency"},
        OptionsCase{"LatencyMissing", {"--pty", "--latency"}, nullptr, "needs a value"},
        OptionsCase{"UnknownArgument", {"--pty", "--fast"}, nullptr, "unknown argument \"--fast\""},
        OptionsCase{"DisplayOptions",
                    {"--pty", "--display-layout", "column,star,tariffs", "--display-date=2026-03-05", "--display-sort-busy",
                     "100", "--display-baud", "9600"},
                    [](const SimulatorOptions& o) {
                        DisplayConfig c;
                        o.display.applyTo(c);
                        EXPECT_EQ(c.layout.addresses, DisplayLayout::Addresses::Column);
                        EXPECT_EQ(c.layout.entry, DisplayLayout::Entry::Star);
                        EXPECT_EQ(c.layout.history, DisplayLayout::History::Tariffs);
                        EXPECT_EQ(c.date, (DisplayDate{2026, 3, 5}));
                        EXPECT_EQ(c.sortBusy, std::chrono::milliseconds{100});
                        EXPECT_EQ(c.baud, 9600);
                    }},
        OptionsCase{"DisplayLayoutUnknownWord", {"--pty", "--display-layout", "column,stars"}, nullptr, "\"stars\" is not"},
        OptionsCase{"DisplayDateNotADay", {"--pty", "--display-date", "2026-02-29"}, nullptr, "--display-date"},
        OptionsCase{"DisplayBaudNotASpeed", {"--pty", "--display-baud", "2500"}, nullptr, "--display-baud"},
        OptionsCase{"NoReceiver", {"--pty", "--no-receiver"}, [](const SimulatorOptions& o) { EXPECT_TRUE(o.noReceiver); }},
        OptionsCase{"NoReceiverTakesNoValue", {"--pty", "--no-receiver=1"}, nullptr, "--no-receiver takes no value"},
        OptionsCase{"NoRxvPico", {"--pty", "--no-rxvpico"}, [](const SimulatorOptions& o) {
                        EXPECT_TRUE(o.noRxvPico);
                        EXPECT_FALSE(o.noReceiver);
                    }},
        OptionsCase{"FaultsWithDecimalsAndSeed", {"--pty", "--fault-seed", "7", "--faults=drop=0.5,delay=50"},
                    [](const SimulatorOptions& o) {
                        EXPECT_EQ(o.faults.dropPercent, 0.5);
                        EXPECT_EQ(o.faults.corruptPercent, 0);
                        EXPECT_EQ(o.faults.delayPercent, 50);
                        EXPECT_EQ(o.faults.seed, 7u);
                    }},
        OptionsCase{"FaultsSeedDefaultsToOne", {"--pty", "--faults", "corrupt=1"},
                    [](const SimulatorOptions& o) { EXPECT_EQ(o.faults.seed, 1u); }},
        OptionsCase{"FaultsUnknownKey", {"--pty", "--faults", "drop=1,noise=2"}, nullptr, "\"noise\" is not drop, corrupt or delay"},
        OptionsCase{"FaultsKeyTwice", {"--pty", "--faults", "drop=1,drop=2"}, nullptr, "\"drop\" given twice"},
        OptionsCase{"FaultsAbove50", {"--pty", "--faults", "delay=50.5"}, nullptr, "\"delay=50.5\" is not delay=PERCENT"},
        OptionsCase{"FaultsNotANumber", {"--pty", "--faults", "drop=1e1"}, nullptr, "drop=PERCENT"},
        OptionsCase{"FaultsBarePoint", {"--pty", "--faults", "drop=.5"}, nullptr, "drop=PERCENT"},
        OptionsCase{"FaultsNoValue", {"--pty", "--faults", "drop"}, nullptr, "drop=PERCENT"},
        OptionsCase{"FaultsEmpty", {"--pty", "--faults="}, nullptr, "\"\" is not drop"},
        OptionsCase{"FaultSeedWithoutFaults", {"--pty", "--fault-seed", "3"}, nullptr, "--fault-seed needs --faults"},
        OptionsCase{"NoDisplayWithDisplayOptions", {"--pty", "--no-display", "--display-sort-busy", "1"}, nullptr,
                    "exclude each other"}),
    [](const auto& row) { return row.param.name; });

// --- The program as a user runs it ---

class Simulator {
public:
    explicit Simulator(QStringList arguments) {
        m_process.start(VELTRO_MBUS_SIM_PATH, arguments);
    }
    ~Simulator() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(2000);
        }
    }

    // The next line the program printed on standard output, without the line break.
    QString readLine() {
        while (!m_process.canReadLine())
            if (!m_process.waitForReadyRead(5000)) return {};
        return QString::fromLocal8Bit(m_process.readLine()).chopped(1);
    }

    // Sends a signal and waits for the end; the exit code, or -1 when it crashed or hung.
    int stop(int signal) {
        ::kill(static_cast<pid_t>(m_process.processId()), signal);
        if (!m_process.waitForFinished(5000)) return -1;
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }

    int finish() {
        if (!m_process.waitForFinished(5000)) return -1;
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }

    QProcess& process() { return m_process; }

private:
    QProcess m_process;
};

QByteArray Exchange(QTcpSocket& socket, const Telegram& frame, int windowMs = 300) {
    socket.write(ToBytes(frame));
    QByteArray answer;
    QElapsedTimer clock;
    clock.start();
    while (!CompleteAnswer(answer) && clock.elapsed() < windowMs)
        if (socket.waitForReadyRead(static_cast<int>(windowMs - clock.elapsed()))) answer += socket.readAll();
    return answer;
}

quint16 BridgePort(const QString& line) {
    static const QRegularExpression kLine("^bridge 127\\.0\\.0\\.1:(\\d+)$");
    const auto m = kLine.match(line);
    return m.hasMatch() ? static_cast<quint16>(m.captured(1).toUInt()) : 0;
}

TEST(Program, BridgeAnswersLikeTheDefaultBusAndEndsCleanly) {
    Simulator sim({"--bridge", "127.0.0.1:0", "--latency", "5"});
    const QString line = sim.readLine();
    const quint16 port = BridgePort(line);
    ASSERT_NE(port, 0) << line.toStdString();

    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(socket.waitForConnected(2000));
    for (int address : {1, 2, 3, 4, 10, 11, 12, 15, 20}) {
        const Telegram frame = ToTelegram(Exchange(socket, BuildReqUd2(static_cast<std::uint8_t>(address))));
        EXPECT_TRUE(Valid(frame)) << address;
    }
    EXPECT_EQ(Exchange(socket, BuildSndNke(1)), QByteArray("\xE5", 1));
    EXPECT_TRUE(Exchange(socket, BuildReqUd2(5), 150).isEmpty());
    const QByteArray overlaid = Exchange(socket, BuildReqUd2(254));
    EXPECT_FALSE(overlaid.isEmpty());
    EXPECT_FALSE(Valid(ToTelegram(overlaid)));

    EXPECT_EQ(sim.stop(SIGTERM), 0);
}

TEST(Program, PseudoTerminalWithLinkRemovedAtExit) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString link = dir.filePath("ttyMBUS0");
    Simulator sim({"--pty", link, "--latency", "0"});
    const QString line = sim.readLine();
    ASSERT_TRUE(line.startsWith("pty /dev/pts/")) << line.toStdString();
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), line.mid(4));
    EXPECT_EQ(sim.stop(SIGINT), 0);
    EXPECT_FALSE(QFileInfo(link).isSymLink());
}

TEST(Program, BothTransportsPrintTheirLines) {
    Simulator sim({"--bridge", "127.0.0.1:0", "--pty"});
    EXPECT_NE(BridgePort(sim.readLine()), 0);
    EXPECT_TRUE(sim.readLine().startsWith("pty /dev/pts/"));
    EXPECT_EQ(sim.stop(SIGTERM), 0);
}

TEST(Program, VerboseLogsWhatIsReceivedAndSent) {
    Simulator sim({"--bridge", "127.0.0.1:0", "--verbose", "--latency", "0"});
    const quint16 port = BridgePort(sim.readLine());
    ASSERT_NE(port, 0);
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(socket.waitForConnected(2000));
    ASSERT_TRUE(Valid(ToTelegram(Exchange(socket, BuildReqUd2(1)))));
    EXPECT_EQ(sim.stop(SIGTERM), 0);
    const QString log = QString::fromLocal8Bit(sim.process().readAllStandardError());
    EXPECT_TRUE(log.contains("<- 10 7B 01 7C 16")) << log.toStdString();
    EXPECT_TRUE(log.contains("-> 68 43 43 68 08 01 72")) << log.toStdString();
}

TEST(Program, MetersFileReplacesTheDefaultBus) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile file(dir.filePath("meters.json"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"({"meters": [{"address": 42, "id": "42424242", "manufacturer": "SIM",
                               "records": [{"dif": "04", "vif": "13", "value": 42}]}]})");
    file.close();
    Simulator sim({"--bridge", "127.0.0.1:0", "--meters", file.fileName(), "--latency", "0"});
    const quint16 port = BridgePort(sim.readLine());
    ASSERT_NE(port, 0);
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(socket.waitForConnected(2000));
    EXPECT_EQ(test::IdOfFrame(ToTelegram(Exchange(socket, BuildReqUd2(42)))), "42424242");
    EXPECT_TRUE(Exchange(socket, BuildReqUd2(1), 150).isEmpty());
    EXPECT_EQ(sim.stop(SIGTERM), 0);
}

// Collects a text answer until the line has been quiet for 100 ms.
QByteArray AskText(QTcpSocket& socket, const char* text) {
    socket.write(text);
    QByteArray answer;
    while (socket.waitForReadyRead(answer.isEmpty() ? 1000 : 100)) answer += socket.readAll();
    return answer;
}

TEST(Program, DisplayOfTheMetersFileWithALayoutOptionAndVerboseTexts) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile file(dir.filePath("meters.json"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"({"meters": [{"address": 42, "id": "42424242", "manufacturer": "SIM",
                               "records": [{"dif": "04", "vif": "13", "value": 42}]}],
                  "display": {"addresses": "column", "entries": [{"address": 42, "unit": "m3", "divider": 1000}]}})");
    file.close();
    Simulator sim({"--bridge", "127.0.0.1:0", "--meters", file.fileName(), "--display-layout", "star", "--verbose"});
    const quint16 port = BridgePort(sim.readLine());
    ASSERT_NE(port, 0);
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(socket.waitForConnected(2000));
    EXPECT_EQ(AskText(socket, "GET ADDR"), "Active devices: \r\n42\r\n");
    EXPECT_EQ(AskText(socket, "GET ENTR=42,1"), "Total pulses: 42 *1/1000\r\nInitial: 0.000 m3\r\nTotal: 0.042 m3\r\n");
    EXPECT_EQ(sim.stop(SIGTERM), 0);
    const QString log = QString::fromLocal8Bit(sim.process().readAllStandardError());
    EXPECT_TRUE(log.contains(R"(<- text "GET ENTR=42,1" at 2400 baud)")) << log.toStdString();
    EXPECT_TRUE(log.contains(R"(-> "Active devices: \x0D\x0A42\x0D\x0A")")) << log.toStdString();
}

TEST(Program, GeneratedBusReplacesTheDefaultBus) {
    Simulator sim({"--bridge", "127.0.0.1:0", "--generate", "12:9", "--latency", "0"});
    const quint16 port = BridgePort(sim.readLine());
    ASSERT_NE(port, 0);
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(socket.waitForConnected(2000));
    EXPECT_TRUE(Exchange(socket, BuildReqUd2(1), 150).isEmpty()) << "no default meter";
    for (const auto& meter : GeneratedMeterStates(12, 9)) {
        const std::string id = UnpackIdentification(meter.identification);
        ASSERT_EQ(Exchange(socket, *BuildSelection(id)), QByteArray("\xE5", 1)) << id;
        EXPECT_EQ(test::IdOfFrame(ToTelegram(Exchange(socket, BuildReqUd2(253)))), id);
    }
    EXPECT_EQ(sim.stop(SIGTERM), 0);
}

// Read while the program still runs: every line must be there once its frame was answered.
TEST(Program, JournalHasOneJsonLinePerFrameAsItHappens) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("journal.jsonl");
    Simulator sim({"--bridge", "127.0.0.1:0", "--latency", "0", "--journal", path});
    const quint16 port = BridgePort(sim.readLine());
    ASSERT_NE(port, 0);
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(socket.waitForConnected(2000));
    EXPECT_TRUE(Exchange(socket, BuildReqUd2(5), 150).isEmpty());
    ASSERT_EQ(Exchange(socket, *BuildSelection("51200417")), QByteArray("\xE5", 1));
    ASSERT_EQ(Exchange(socket, test::Bytes("68 06 06 68 73 FD 51 01 7A 07 43 16")), QByteArray("\xE5", 1));

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    ASSERT_EQ(lines.size(), 4) << "three lines, each ended";
    EXPECT_TRUE(lines[3].isEmpty());
    std::vector<QJsonObject> entries;
    for (int i = 0; i < 3; ++i) {
        QJsonParseError error;
        const auto document = QJsonDocument::fromJson(lines[i], &error);
        ASSERT_TRUE(document.isObject()) << error.errorString().toStdString() << ": " << lines[i].toStdString();
        entries.push_back(document.object());
    }
    EXPECT_EQ(entries[0]["frame"].toString(), "10 7B 05 80 16");
    EXPECT_EQ(entries[0]["answer"].toString(), "");
    EXPECT_EQ(entries[0]["reached"].toArray(), QJsonArray());
    EXPECT_EQ(entries[1]["answer"].toString(), "E5");
    const QJsonObject& address = entries[2];
    EXPECT_EQ(address["frame"].toString(), "68 06 06 68 73 FD 51 01 7A 07 43 16");
    EXPECT_EQ(address["baud"].toInt(), 2400);
    EXPECT_EQ(address["reached"].toArray(), QJsonArray({"51200417"}));
    const QJsonObject change{{"id", "51200417"}, {"field", "address"}, {"from", "2"}, {"to", "7"}};
    EXPECT_EQ(address["changes"].toArray(), QJsonArray({change}));
    EXPECT_EQ(sim.stop(SIGTERM), 0);
}

TEST(Program, JournalThatCannotBeWrittenEndsTheProgram) {
    if (!QFileInfo::exists("/dev/full")) GTEST_SKIP() << "needs /dev/full, a device every write to fails";
    Simulator sim({"--bridge", "127.0.0.1:0", "--latency", "0", "--journal", "/dev/full"});
    const quint16 port = BridgePort(sim.readLine());
    ASSERT_NE(port, 0);
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(socket.waitForConnected(2000));
    socket.write(ToBytes(BuildReqUd2(1)));
    ASSERT_TRUE(socket.waitForBytesWritten(2000));
    EXPECT_EQ(sim.finish(), 1);
    EXPECT_TRUE(QString::fromLocal8Bit(sim.process().readAllStandardError()).contains("cannot write the journal /dev/full"));
}

struct RefusalCase {
    const char* name;
    QStringList arguments;
    int exitCode;
    const char* stderrText;
};

class Refusals : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(Refusals, ExitWithAReason) {
    const auto& c = GetParam();
    Simulator sim(c.arguments);
    EXPECT_EQ(sim.finish(), c.exitCode);
    EXPECT_TRUE(sim.process().readAllStandardOutput().isEmpty()) << "no transport line";
    const QString err = QString::fromLocal8Bit(sim.process().readAllStandardError());
    EXPECT_TRUE(err.contains(c.stderrText)) << err.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Program, Refusals,
    ::testing::Values(RefusalCase{"NoTransport", {}, 2, "Usage: mbus-sim"},
                      RefusalCase{"OnlyOptionsWithoutTransport", {"--verbose"}, 2, "Usage: mbus-sim"},
                      RefusalCase{"BadBaud", {"--bridge", "127.0.0.1:0", "--baud", "1234"}, 2, "--baud"},
                      RefusalCase{"GenerateNoMeters", {"--pty", "--generate", "0"}, 2, "1..250"},
                      RefusalCase{"GenerateTooMany", {"--pty", "--generate", "251"}, 2, "1..250"},
                      RefusalCase{"GenerateAndMetersFile", {"--pty", "--generate", "3", "--meters", "m.json"}, 2,
                                  "exclude each other"},
                      RefusalCase{"DisplayOptionWithoutADisplay", {"--pty", "--generate", "3", "--display-baud", "9600"}, 2,
                                  "need a display"},
                      RefusalCase{"FaultsUnknownKey", {"--pty", "--faults", "jitter=1"}, 2, "\"jitter\" is not drop"},
                      RefusalCase{"MissingMetersFile", {"--pty", "--meters", "/nonexistent/m.json"}, 1, "cannot read"},
                      RefusalCase{"EndlessMetersFile", {"--pty", "--meters", "/dev/zero"}, 1, "larger than 16777216 bytes"},
                      RefusalCase{"JournalCannotBeOpened", {"--pty", "--journal", "/nonexistent/j.jsonl"}, 1,
                                  "cannot open the journal /nonexistent/j.jsonl"}),
    [](const auto& row) { return row.param.name; });

// A port another program listens on (a privileged port is no test: the suite may run as root).
TEST(Program, RefusesAPortInUse) {
    QTcpServer taken;
    ASSERT_TRUE(taken.listen(QHostAddress::LocalHost, 0));
    Simulator sim({"--bridge", QStringLiteral("127.0.0.1:%1").arg(taken.serverPort())});
    EXPECT_EQ(sim.finish(), 1);
    EXPECT_TRUE(sim.process().readAllStandardOutput().isEmpty()) << "no transport line";
    EXPECT_TRUE(QString::fromLocal8Bit(sim.process().readAllStandardError()).contains("cannot listen"));
}

TEST(Program, HelpGoesToStandardOutput) {
    Simulator sim({"--help"});
    EXPECT_EQ(sim.finish(), 0);
    const QByteArray help = sim.process().readAllStandardOutput();
    EXPECT_TRUE(help.contains("--wire-speed"));
    EXPECT_TRUE(help.contains("--generate N[:SEED]"));
}

} // namespace
} // namespace veltro::sim
