// Runs the built veltro-cli as a user would and reads its JSON with an independent parser.
#include <gtest/gtest.h>

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>

namespace {

struct CliRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

CliRun RunCli(const QStringList& arguments, const QByteArray& input = {}, int limitMs = 20000) {
    QProcess process;
    process.start(QStringLiteral(VELTRO_CLI_PATH), arguments);
    if (!input.isEmpty()) process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(limitMs);
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

QStringList FrameFiles(const char* folder) {
    QDir dir(QStringLiteral(VELTRO_FRAMES_DIR) + "/" + folder);
    QStringList files;
    for (const QString& name : dir.entryList({QStringLiteral("*.hex")}, QDir::Files, QDir::Name)) files << dir.filePath(name);
    return files;
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll();
}

TEST(DecodeJson, EveryCorpusFrameGivesExactlyOneParsableObject) {
    QStringList files = FrameFiles("devices");
    const int devices = static_cast<int>(files.size());
    ASSERT_GT(devices, 30);
    files << FrameFiles("malformed");
    for (int i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(files[i].toStdString());
        for (const QStringList& options : {QStringList{"--json"}, QStringList{"--json", "--full", "--apator"}}) {
            const CliRun run = RunCli(QStringList{"decode"} << options << "-", ReadAll(files[i]));
            if (i >= devices && run.exitCode == 2) {
                // Not hex pairs at all: refused before decoding, with a message.
                EXPECT_FALSE(run.err.isEmpty());
                continue;
            }
            QJsonParseError error{};
            const QJsonDocument doc = QJsonDocument::fromJson(run.out, &error);
            ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString() << "\n"
                                                            << run.out.toStdString();
            ASSERT_TRUE(doc.isObject());
            const QJsonObject o = doc.object();
            for (const char* key : {"valid", "log", "header", "records", "main", "additional"})
                EXPECT_TRUE(o.contains(key)) << key;
            EXPECT_EQ(o.contains("report"), options.contains("--full"));
            EXPECT_TRUE(o["log"].toArray().first().toString().startsWith("Respond: "));
            if (i < devices) {
                EXPECT_TRUE(o["valid"].toBool());
                EXPECT_EQ(run.exitCode, 0);
                EXPECT_EQ(o["header"].toObject()["id"].toString().size(), 8);
                EXPECT_FALSE(o["records"].toArray().isEmpty());
            } else if (!o["valid"].toBool()) {
                EXPECT_TRUE(o["header"].isNull());
                EXPECT_EQ(run.exitCode, 1);
            }
        }
    }
}

TEST(DecodeJson, RecordFieldsAndDefaultAdditionalCount) {
    const CliRun run = RunCli({"decode", "--json", "68", "09", "09", "68", "08", "05", "72", "78", "56", "34", "12",
                               "2E", "2C", "01", "07", "03", "00", "00", "00", "04", "13", "15", "CD", "5B", "07",
                               "00", "16"});
    QJsonDocument doc = QJsonDocument::fromJson(run.out);
    // The frame above has a deliberately wrong L: the decoder must say so and give no header.
    ASSERT_TRUE(doc.isObject()) << run.out.toStdString();
    EXPECT_FALSE(doc.object()["valid"].toBool());
    EXPECT_TRUE(doc.object()["header"].isNull());

    const CliRun good = RunCli({"decode", "--json", "6815156808057278563412 2E2C010703000000 041315CD5B07 5316"});
    doc = QJsonDocument::fromJson(good.out);
    ASSERT_TRUE(doc.isObject()) << good.out.toStdString() << good.err.toStdString();
    const QJsonObject o = doc.object();
    EXPECT_TRUE(o["valid"].toBool()) << good.out.toStdString();
    const QJsonObject record = o["records"].toArray().first().toObject();
    EXPECT_EQ(record["number"].toString(), "1");
    EXPECT_EQ(record["value"].toString(), "123456.789");
    EXPECT_EQ(record["unit"].toString(), "m3");
    EXPECT_EQ(record["function"].toString(), "Instantenous value ");
    EXPECT_EQ(record["dif"].toString(), "04 ");
    EXPECT_EQ(record["vif"].toString(), "13");
    EXPECT_EQ(record["vife"].toString(), "");
    const QJsonObject typed = record["typed"].toObject();
    EXPECT_EQ(typed["kind"].toString(), "number");
    EXPECT_EQ(typed["value"].toDouble(), 123456.789);
    EXPECT_EQ(typed["unit"].toString(), "m3");
    EXPECT_EQ(o["main"].toObject()["value"].toString(), "123456.789");
    EXPECT_EQ(o["additional"].toArray().size(), 15);
    EXPECT_EQ(o["header"].toObject()["manufacturer"].toString(), "KAN");
}

TEST(DecodeCli, RefusesWhatIsNotATelegram) {
    for (const QStringList& arguments : {QStringList{"decode", "--json", "10", "7"}, QStringList{"decode", "--json"},
                                         QStringList{"decode", "--additional", "16", "E5"},
                                         QStringList{"decode", "--bogus", "E5"}}) {
        const CliRun run = RunCli(arguments);
        EXPECT_EQ(run.exitCode, 2) << arguments.join(' ').toStdString();
        EXPECT_TRUE(run.out.isEmpty());
        EXPECT_FALSE(run.err.isEmpty());
    }
}

TEST(BuildCli, ConfigurationTelegramsAndTheChecksMessages) {
    const struct {
        QStringList arguments;
        int exitCode;
        QByteArray out;
        QByteArray err;
    } cases[] = {
        {{"set-address", "254", "7"}, 0, "68 06 06 68 73 FE 51 01 7A 07 44 16 \n", {}},
        {{"set-baud", "5", "2400"}, 0, "68 03 03 68 53 05 BB 13 16 \n", {}},
        {{"relay", "5", "1500", "l", "1"}, 0, "68 09 09 68 53 05 51 0C 13 00 15 00 00 DD 16 \n", {}},
        {{"set-address", "254", "250"}, 2, {}, "veltro-cli: Incorrect primary address, must be under 250...\n"},
        {{"relay", "5", "1500", "l", "2"}, 2, {}, "veltro-cli: Enter constant - 0.001,0.01,0.1,1,etc...\n"},
    };
    for (const auto& c : cases) {
        const CliRun run = RunCli(QStringList{"build"} + c.arguments);
        const std::string what = c.arguments.join(' ').toStdString();
        EXPECT_EQ(run.exitCode, c.exitCode) << what;
        EXPECT_EQ(run.out, c.out) << what;
        EXPECT_EQ(run.err, c.err) << what;
    }
}

} // namespace

namespace {

// The bus commands against the built-in simulated bus, as a script would run them.
TEST(BusCommands, ScanJsonHoldsExactlyOneObjectWithTheMetersFound) {
    const CliRun run = RunCli({"scan", "--simulate", "--from", "0", "--to", "5", "--timeout", "120", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(run.out, &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << run.out.toStdString();
    const QJsonObject o = doc.object();
    EXPECT_EQ(o["columns"].toArray().first().toString(), "ID ");
    QStringList addresses;
    for (const auto& row : o["rows"].toArray()) addresses << row.toArray().at(1).toString();
    EXPECT_EQ(addresses, (QStringList{"1", "2", "3", "4"}));
    EXPECT_EQ(o["meters"].toArray().size(), 4);  // one decoded answer per meter found
    EXPECT_TRUE(o["log"].toArray().contains(QJsonValue("Reading device 5")));
    EXPECT_TRUE(run.err.contains("Respond: "));  // the live log goes to standard error with --json
}

TEST(BusCommands, ReadJsonGivesEveryMetersRecordsTyped) {
    const CliRun run = RunCli({"read", "1", "2", "3", "--simulate", "--timeout", "120", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QJsonObject o = QJsonDocument::fromJson(run.out).object();
    const QJsonArray meters = o["meters"].toArray();
    ASSERT_EQ(meters.size(), 3) << run.out.toStdString();
    for (int i = 0; i < 3; ++i) EXPECT_EQ(meters[i].toObject()["address"].toInt(-1), i + 1);

    // The typed object of record `index` of a meter: its value as a JSON number or string, its unit code.
    auto typed = [](const QJsonValue& meter, int index) { return meter.toObject()["records"].toArray()[index].toObject()["typed"].toObject(); };
    const QJsonObject heat = meters[0].toObject();
    EXPECT_EQ(heat["id"].toString(), "40112301");
    EXPECT_EQ(heat["version"].toInt(-1), 1);
    EXPECT_EQ(heat["main"].toObject()["record"].toInt(-1), 0);
    const struct {
        int record;
        double value;
        const char* unit;
    } numbers[] = {{0, 12345, "kWh"}, {1, 456.789, "m3"}, {4, 71.5, "degC"}};
    for (const auto& n : numbers) {
        const QJsonObject t = typed(heat, n.record);
        EXPECT_TRUE(t["value"].isDouble()) << n.record;
        EXPECT_EQ(t["value"].toDouble(), n.value) << n.record;
        EXPECT_EQ(t["unit"].toString(), n.unit) << n.record;
    }
    EXPECT_EQ(typed(heat, 7)["kind"].toString(), "datetime");
    EXPECT_EQ(typed(heat, 7)["value"].toString(), "2025-03-14T10:30");
    EXPECT_EQ(typed(heat, 8)["storage"].toInt(-1), 1);

    const QJsonValue electricity = meters[2];
    EXPECT_EQ(typed(electricity, 1)["tariff"].toInt(-1), 1);
    EXPECT_EQ(typed(electricity, 2)["tariff"].toInt(-1), 2);
    EXPECT_EQ(typed(electricity, 4)["value"].toDouble(), 230.1);
    EXPECT_EQ(typed(electricity, 4)["unit"].toString(), "V");
    // The shown texts stay beside the typed value.
    EXPECT_EQ(electricity.toObject()["records"].toArray()[4].toObject()["unit"].toString(), "Volts, 10^-1");
}

TEST(BusCommands, ReadCsvAndRequestFull) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString csv = dir.filePath("table.csv");
    const CliRun read = RunCli({"read", "2", "10", "--simulate", "--timeout", "120", "--csv", csv});
    ASSERT_EQ(read.exitCode, 0) << read.err.toStdString();
    const QByteArray text = ReadAll(csv);
    EXPECT_TRUE(text.startsWith("51200417;2;SIM;1234.567;m3;Water;")) << text.toStdString();
    EXPECT_TRUE(text.contains("18220041;10;KXR;"));

    const CliRun full = RunCli({"request", "1", "--full", "--simulate", "--timeout", "120"});
    ASSERT_EQ(full.exitCode, 0);
    EXPECT_TRUE(full.out.contains("ID:40112301, Mfr: SIM, Main medium: Heat (rt)"));
    EXPECT_TRUE(full.out.contains("Decoded at "));
}

TEST(BusCommands, ExitOneNamesTheMetersThatDidNotAnswerAndCountsOnlyThoseThatDid) {
    const struct {
        QStringList arguments;
        int exitCode;
        QByteArray count;   // the count line, for the table output
        QByteArray silent;  // the line on standard error
    } cases[] = {
        {{"request", "7"}, 1, "0 meters\n", "veltro-cli: no answer from 7\n"},
        {{"request", "7", "--full"}, 1, {}, "veltro-cli: no answer from 7\n"},
        {{"read", "1", "7", "8"}, 1, "1 meter\n", "veltro-cli: no answer from 7, 8\n"},
        {{"read", "1", "2"}, 0, "2 meters\n", {}},
        {{"request", "2"}, 0, "1 meter\n", {}},
    };
    for (const auto& c : cases) {
        const CliRun run = RunCli(c.arguments + QStringList{"--simulate", "--timeout", "120"});
        const std::string what = c.arguments.join(' ').toStdString();
        EXPECT_EQ(run.exitCode, c.exitCode) << what << "\n" << run.err.toStdString();
        if (!c.count.isEmpty()) EXPECT_TRUE(run.out.contains("\n" + c.count)) << what << "\n" << run.out.toStdString();
        if (!c.silent.isEmpty()) EXPECT_TRUE(run.err.endsWith(c.silent)) << what << "\n" << run.err.toStdString();
    }
}

TEST(BusCommands, HomeGivesTheTableTheDesktopProgramsColumns) {
    QProcess simulator;
    simulator.start(QStringLiteral(VELTRO_SIM_PATH), {"--bridge", "127.0.0.1:0"});
    ASSERT_TRUE(simulator.waitForReadyRead(5000));
    const QByteArray started = simulator.readLine().trimmed();  // "bridge 127.0.0.1:PORT"
    ASSERT_TRUE(started.startsWith("bridge 127.0.0.1:")) << started.toStdString();
    QTemporaryDir home;
    QFile ini(home.filePath("veltro.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[Misc]\r\nUseVODUD=1\r\n[VODUD]\r\nIP=127.0.0.1\r\nPort=" + started.mid(17) +
              "\r\nEthTimeout=20\r\n[Titles]\r\nCount=3\r\nTitle1=Flow\r\n");
    ini.close();
    const QString csv = home.filePath("scan.csv");
    const CliRun run = RunCli({"scan", "--home", home.path(), "--from", "2", "--to", "2", "--timeout", "150", "--csv", csv});
    simulator.terminate();
    simulator.waitForFinished(3000);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    // Twelve fixed columns and three additional values, each cell followed by the separator.
    const QByteArray line = ReadAll(csv).split('\n').first();
    EXPECT_EQ(line.count(';'), 12 + 3) << line.toStdString();
    EXPECT_TRUE(run.out.contains("Flow")) << run.out.toStdString();
}

TEST(BusCommands, NoUsableLinkIsExitTwoWithTheReason) {
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 closedPort = probe.serverPort();
    probe.close();
    const CliRun run = RunCli({"request", "5", "--link", QStringLiteral("bridge:127.0.0.1:%1").arg(closedPort)});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.startsWith("veltro-cli: ")) << run.err.toStdString();
    EXPECT_EQ(RunCli({"scan", "--link", "telnet:x"}).exitCode, 2);
}

TEST(SearchCommand, FindsTheWholeSimulatedBusAndNothingElse) {
    const CliRun run = RunCli({"search", "--simulate", "--json", "--timeout", "60", "--retries", "0"}, {}, 90000);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    QJsonParseError error{};
    const QJsonObject o = QJsonDocument::fromJson(run.out, &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << run.out.toStdString();
    QStringList found;
    for (const auto& row : o["rows"].toArray()) found << row.toArray().at(0).toString() + "@" + row.toArray().at(1).toString();
    found.sort();
    EXPECT_EQ(found, (QStringList{"18220041@10", "18220058@11", "20190001@20", "24681357@15", "30031977@12", "40112301@1",
                                  "51200417@2", "62300525@3", "73400633@4", "99000017@0", "99000027@0"}));
    const QJsonObject search = o["search"].toObject();
    EXPECT_EQ(search["direction"].toString(), "msb");
    EXPECT_EQ(search["found"].toInt(), 11);
    EXPECT_EQ(search["probes"].toInt(), 140 + 11);
    EXPECT_GT(search["collisions"].toInt(), 0);
}

TEST(SearchCommand, OneIdentificationAndTheRefusals) {
    const struct {
        QStringList arguments;
        int exitCode;
        QByteArray errorEnd;
    } cases[] = {
        {{"search", "99000017", "--simulate"}, 0, {}},
        {{"search", "12345670", "--simulate"}, 1, "veltro-cli: no answer from 12345670\n"},
        {{"search", "1234567", "--simulate"}, 2, "Incorrect ID entered\n"},
        {{"search", "1234FFFF", "--simulate"}, 2, "Incorrect ID entered\n"},
        {{"search", "--direction", "up", "--simulate"}, 2, "--direction must be msb or lsb: up\n"},
    };
    for (const auto& c : cases) {
        const CliRun run = RunCli(c.arguments + QStringList{"--timeout", "100"});
        const std::string what = c.arguments.join(' ').toStdString();
        EXPECT_EQ(run.exitCode, c.exitCode) << what << "\n" << run.err.toStdString();
        if (!c.errorEnd.isEmpty()) {
            EXPECT_TRUE(run.err.endsWith(c.errorEnd)) << what << "\n" << run.err.toStdString();
        }
        if (c.exitCode == 0) {
            EXPECT_TRUE(run.out.contains("\n99000017 ")) << run.out.toStdString();
        }
        if (c.exitCode == 2) {
            EXPECT_FALSE(run.out.contains("meter")) << what;
        }
    }
}

TEST(SearchCommand, SigintStopsTheSearchAndPrintsWhatItFound) {
    QProcess process;
    process.start(QStringLiteral(VELTRO_CLI_PATH), {"search", "--simulate", "--timeout", "100", "--direction", "lsb"});
    QByteArray out;  // the live log
    ASSERT_TRUE(process.waitForStarted(5000));
    while (!out.contains("Checking FFFFFFF2...") && process.waitForReadyRead(10000)) out += process.readAllStandardOutput();
    ASSERT_TRUE(out.contains("Checking FFFFFFF2...")) << out.toStdString();
    ::kill(static_cast<pid_t>(process.processId()), SIGINT);
    ASSERT_TRUE(process.waitForFinished(10000));
    out += process.readAllStandardOutput();
    EXPECT_EQ(process.exitCode(), 130);
    EXPECT_TRUE(out.contains("Secondary search thread terminated normally.")) << out.toStdString();
    EXPECT_FALSE(out.contains("Checking FFFFFFF9...")) << out.toStdString();
    EXPECT_TRUE(out.contains(" meter")) << out.toStdString();  // the table so far, with its count line
}

TEST(ConfigureCommands, SetAddressByIdChangesThatMeterOnlyAndRefusalsOpenNothing) {
    const CliRun run = RunCli({"set-address", "7", "--id", "51200417", "--yes", "--simulate", "--timeout", "100", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QJsonObject o = QJsonDocument::fromJson(run.out).object();
    EXPECT_TRUE(o["sent"].toArray().contains(QJsonValue("68 06 06 68 73 FD 51 01 7A 07 43 16")));
    EXPECT_EQ(o["results"].toArray().at(0).toObject()["result"].toString(), "done");
    EXPECT_EQ(o["rows"].toArray().at(0).toArray().at(1).toString(), "7");
    int changes = 0;
    for (const auto& entry : o["simulator"].toObject()["journal"].toArray()) {
        for (const auto& change : entry.toObject()["changes"].toArray()) {
            if (change.toObject()["field"].toString() != "address") continue;
            ++changes;
            EXPECT_EQ(change.toObject()["id"].toString(), "51200417");
            EXPECT_EQ(entry.toObject()["reached"].toArray(), QJsonArray{"51200417"});
        }
    }
    EXPECT_EQ(changes, 1);

    const struct {
        QStringList arguments;
        QByteArray errorEnd;
    } refusals[] = {
        {{"set-address", "250", "--id", "51200417", "--yes"}, "Incorrect primary address, must be under 250...\n"},
        {{"set-address", "7", "--id", "51200417"}, "changing meters needs --yes (no terminal to ask)\n"},
        {{"set-address", "7", "--address", "1,2", "--yes"}, "set-address changes one meter at a time\n"},
        {{"set-counter", "16777216", "--address", "1", "--yes"}, "Pulse value is too big, maximum 16777215...\n"},
        {{"set-baud", "2400", "--address", "251", "--yes"}, "primary address must be 0 to 250: 251\n"},
    };
    for (const auto& r : refusals) {
        const CliRun refused = RunCli(r.arguments + QStringList{"--simulate"});
        EXPECT_EQ(refused.exitCode, 2) << r.arguments.join(' ').toStdString();
        EXPECT_TRUE(refused.err.endsWith(r.errorEnd)) << refused.err.toStdString();
        EXPECT_FALSE(refused.err.contains("Connected")) << "no link opened";
    }
}

TEST(ConfigureCommands, AutoAddressGivesTheMetersSharingAddressZeroTheirOwn) {
    const CliRun run = RunCli({"auto-address", "--start", "30", "--id", "99000017,99000027", "--yes", "--simulate", "--timeout", "100",
                               "--json"},
                              {}, 60000);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    QStringList rows;
    for (const auto& row : QJsonDocument::fromJson(run.out).object()["rows"].toArray())
        rows << row.toArray().at(0).toString() + "@" + row.toArray().at(1).toString();
    EXPECT_EQ(rows, (QStringList{"99000017@30", "99000027@31"}));
    // A target that does not answer stops the command before any change.
    const CliRun silent = RunCli({"set-baud", "2400", "--address", "1,7", "--yes", "--simulate", "--timeout", "100", "--json"});
    EXPECT_EQ(silent.exitCode, 1);
    EXPECT_TRUE(silent.err.contains("no answer from 7; nothing was changed")) << silent.err.toStdString();
}

TEST(GatewayLinks, ScanThroughAGatewayInEitherRoleListsTheBusMeters) {
    for (const char* role : {"--simulate=gateway", "--simulate=gateway-server"}) {
        const CliRun run = RunCli({"scan", role, "--from", "0", "--to", "4", "--timeout", "600", "--json"}, {}, 60000);
        ASSERT_EQ(run.exitCode, 0) << role << "\n" << run.err.toStdString();
        QStringList addresses;
        for (const auto& row : QJsonDocument::fromJson(run.out).object()["rows"].toArray()) addresses << row.toArray().at(1).toString();
        EXPECT_EQ(addresses, (QStringList{"1", "2", "3", "4"})) << role;
        if (QByteArray(role).endsWith("server")) {
            EXPECT_TRUE(run.err.contains("Connected NLAN Network number: 0.0.0.1")) << role;  // its greeting
        }
    }
    const CliRun nobody = RunCli({"read", "1", "--link", "gateway-server:47125", "--wait-gateway", "1"});
    EXPECT_EQ(nobody.exitCode, 2);
    EXPECT_TRUE(nobody.err.endsWith("veltro-cli: no gateway connected and greeted on port 47125 within 1 s\n")) << nobody.err.toStdString();
}

} // namespace

namespace {

// The simulator's gateway with its RS-232 settings port on a pseudo-terminal; --verbose logs every
// command it hears ("gateway settings <- SET PITO=05 -> OK").
class GatewaySettingsPort {
public:
    GatewaySettingsPort() {
        m_process.start(QStringLiteral(VELTRO_SIM_PATH), {"--gateway", "127.0.0.1:0", "--gateway-pty", "--verbose"});
        QByteArray out;
        while (!out.contains("gateway-pty ") && m_process.waitForReadyRead(5000)) out += m_process.readAllStandardOutput();
        for (const QByteArray& line : out.split('\n'))
            if (line.startsWith("gateway-pty ")) m_path = QString::fromLatin1(line.mid(12).trimmed());
    }
    ~GatewaySettingsPort() {
        m_process.terminate();
        m_process.waitForFinished(3000);
    }
    const QString& path() const { return m_path; }
    // Ends the gateway; the commands it heard, in order, one a line.
    std::string stopAndListHeard() {
        m_process.terminate();
        m_process.waitForFinished(3000);
        QStringList commands;
        for (const QByteArray& line : m_process.readAllStandardError().split('\n'))
            if (const qsizetype at = line.indexOf("gateway settings <- "); at >= 0)
                commands << QString::fromLatin1(line.mid(at + 20)).section(QStringLiteral(" -> "), 0, 0);
        return commands.join('\n').toStdString();
    }

private:
    QProcess m_process;
    QString m_path;
};

TEST(GatewayCommand, WritesTheTextsThePageWritesAndARefusalWritesNothing) {
    GatewaySettingsPort gateway;
    ASSERT_TRUE(gateway.path().startsWith("/dev/")) << "no pseudo-terminal from the simulator";
    const QStringList link{"--link", "serial:" + gateway.path(), "--timeout", "300"};
    const struct {
        QStringList arguments;
        QString sent;
        QJsonValue answer;
    } commands[] = {
        {{"set", "PITO", "5"}, "SET PITO=05", "OK\r\n"},
        {{"set", "DUED", "1", "0", "5"}, "SET DUED=01/00/05", "OK\r\n"},
        {{"set", "COM2", "9600", "None"}, "SET COM2=4,2", "OK\r\n"},
        {{"set", "USER", "a b"}, "SET USER=\"a b\"", "OK\r\n"},
        {{"set", "APNM", "internet"}, "SET APNM=\"internet\"", QJsonValue::Null},  // no answer collected
        {{"test"}, "SET TEST", "OK\r\n"},
    };
    QStringList expected;
    for (const auto& c : commands) {
        const CliRun run = RunCli(QStringList{"gateway"} + c.arguments + link + QStringList{"--json"});
        const std::string what = c.arguments.join(' ').toStdString();
        ASSERT_EQ(run.exitCode, 0) << what << "\n" << run.err.toStdString();
        const QJsonObject o = QJsonDocument::fromJson(run.out).object();
        EXPECT_EQ(o["sent"].toArray(), QJsonArray{c.sent}) << what << "\n" << run.out.toStdString();
        EXPECT_EQ(o["answer"], c.answer) << what;
        expected << c.sent;
    }
    const CliRun prompt = RunCli(QStringList{"gateway", "set", "PITO", "7"} + link);
    EXPECT_EQ(prompt.exitCode, 0);
    EXPECT_TRUE(prompt.out.startsWith("Changing ping server timeout...\n")) << prompt.out.toStdString();
    expected << "SET PITO=07";

    // What the gateway now holds, in its own words.
    const struct {
        const char* group;
        QByteArray shows;
    } stored[] = {{"SERV", "PITO=07\r\n"}, {"SERV", "DUED=01/00/05\r\n"}, {"MAIN", "COM2=4,2\r\n"},
                  {"GPRS", "USER=\"a b\"\r\n"}, {"GPRS", "APNM=\"internet\"\r\n"}};
    for (const auto& s : stored) {
        const CliRun run = RunCli(QStringList{"gateway", "get", s.group} + link + QStringList{"--json"});
        EXPECT_TRUE(QJsonDocument::fromJson(run.out).object()["answer"].toString().toLatin1().contains(s.shows))
            << s.shows.toStdString() << "\n" << run.out.toStdString();
        expected << QStringLiteral("GET ") + s.group;
    }

    const struct {
        QStringList arguments;
        QByteArray error;
    } refusals[] = {
        {{"set", "IPV4", "192.168.1.300", "--link", "serial:" + gateway.path()}, "Wrong IP value, please correct...\n"},
        {{"set", "PINC", "123", "--link", "serial:" + gateway.path()}, "PIN must be 4 digits, skipping...\n"},
        {{"set", "PITO", "49", "--link", "serial:" + gateway.path()}, "veltro-cli: PITO must be 1 to 48: 49\n"},
        {{"set", "DUED", "1", "0", "--link", "serial:" + gateway.path()}, "veltro-cli: DUED takes day, hour and minute\n"},
        {{"get", "PITO", "--link", "serial:" + gateway.path()}, "veltro-cli: unknown gateway information PITO"},
        {{"set", "PITO", "5", "--link", "bridge:127.0.0.1:1"}, "give --link serial:PORT\n"},
        {{"set", "PITO", "5", "--simulate"}, "give --link serial:PORT\n"},
    };
    for (const auto& r : refusals) {
        const CliRun run = RunCli(QStringList{"gateway"} + r.arguments);
        const std::string what = r.arguments.join(' ').toStdString();
        EXPECT_EQ(run.exitCode, 2) << what;
        EXPECT_TRUE(run.out.isEmpty()) << what << "\n" << run.out.toStdString();
        EXPECT_TRUE(run.err.contains(r.error)) << what << "\n" << run.err.toStdString();
    }
    QThread::msleep(200);  // the gateway's pause that ends a command
    EXPECT_EQ(gateway.stopAndListHeard(), expected.join('\n').toStdString());
}

} // namespace
