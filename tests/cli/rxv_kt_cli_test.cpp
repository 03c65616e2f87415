// veltro-cli rxv-kt against mbus-sim's receiver on a pseudo-terminal, run as a user runs them; the
// radio meters, keys and answers are those docs/SIMULATOR.md gives, the texts those the simulator heard.
#include <gtest/gtest.h>

#include "cli_run.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <map>

namespace {

using namespace veltro::test;

// Rows by the cell of `column`.
std::map<QString, QStringList> RowsBy(const QJsonObject& json, int column) {
    std::map<QString, QStringList> rows;
    for (const auto& row : json["rows"].toArray()) rows[Strings(row).value(column)] = Strings(row);
    return rows;
}

std::string Text(const QStringList& texts) { return texts.join(" | ").toStdString(); }

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
}

// A command with raw bytes as the simulator's verbose log quotes it: 20h..7Eh as they are but `"` and
// `\`, every other byte \xNN.
QString Quoted(const QByteArray& bytes) {
    QString text;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        text += b >= 0x20 && b <= 0x7E && c != '"' && c != '\\' ? QString(QChar(b)) : QString::asprintf("\\x%02X", b);
    }
    return text;
}

// The simulator's key of a radio meter: its ID written four times.
QByteArray MeterKey(const char* id) { return QByteArray::fromHex(QByteArray(id).repeated(4)); }

// mbus-sim on a pseudo-terminal; --verbose logs each command it hears as `pty <- text "set pito=1" at 2400 baud`.
class Simulator {
public:
    explicit Simulator(const QStringList& extra = {}) {
        m_process.start(QStringLiteral(VELTRO_SIM_PATH), QStringList{"--pty", "--verbose"} + extra);
        QByteArray out;
        while (!out.contains('\n') && m_process.waitForReadyRead(5000)) out += m_process.readAllStandardOutput();
        if (out.startsWith("pty ")) m_port = QString::fromLatin1(out.mid(4).trimmed());
        m_process.setReadChannel(QProcess::StandardError);
    }
    ~Simulator() { stop(); }
    bool started() const { return !m_port.isEmpty(); }
    QStringList link() const { return {"--link", "serial:" + m_port, "--timeout", "300"}; }
    // The texts heard since the last call.
    QStringList heard() {
        while (m_process.waitForReadyRead(300)) m_log += m_process.readAllStandardError();
        m_log += m_process.readAllStandardError();
        QStringList texts;
        for (const QByteArray& line : m_log.split('\n')) {
            const qsizetype at = line.indexOf("<- text \"");
            if (at >= 0) texts << QString::fromLatin1(line.mid(at + 9, line.lastIndexOf("\" at ") - at - 9));
        }
        m_log.clear();
        return texts;
    }

private:
    void stop() {
        m_process.terminate();
        m_process.waitForFinished(3000);
    }
    QProcess m_process;
    QString m_port;
    QByteArray m_log;
};

TEST(RxvKtCli, AcquireFillsOneRowPerRadioMeterAndStopsTheReceiver) {
    Simulator simulator;
    ASSERT_TRUE(simulator.started());
    const CliRun acquire = RunCli(QStringList{"rxv-kt", "acquire", "--seconds", "4", "--exclude-identical", "--json"} + simulator.link());
    ASSERT_EQ(acquire.exitCode, 0) << acquire.err.toStdString();
    const QJsonObject json = Json(acquire);
    EXPECT_EQ(Strings(json["columns"]).join(""), "ID Addr. MFR Version Device Medium Note Auxiliary ID Telegram Time and Date ");
    auto rows = RowsBy(json, 0);
    ASSERT_EQ(rows.size(), 4u) << acquire.out.toStdString();
    // ID, address (typed later), MFR, version, device, medium, note, aux ID.
    EXPECT_EQ(Text(rows["23456789"].mid(0, 8)), Text({"23456789", "", "SIM", "2", "4", "Heat", "L=0x18, C=0x44", ""}));
    EXPECT_EQ(Text(rows["34567890"].mid(0, 8)), Text({"34567890", "", "SIM", "3", "2", "Electricity", "L=0x12, C=0x44", ""}));
    EXPECT_EQ(Text(rows["45678901"].mid(0, 8)), Text({"45678901", "", "SIM", "4", "3", "Gas", "L=0x1A, C=0x44", "56789012"}));
    const QStringList water = rows["12345678"];
    EXPECT_EQ(Text(water.mid(3, 4)), Text({"1", "7", "Water", "L=0x0C, C=0x44"}));
    ASSERT_EQ(water[2].size(), 3);
    const auto letter = [&](int i) { return water[2][i].unicode() - 64; };
    EXPECT_EQ((letter(0) * 32 + letter(1)) * 32 + letter(2), 0x2C2D) << water[2].toStdString();
    EXPECT_TRUE(water[8].startsWith("7A ")) << "the telegram from its CI on: " << water[8].toStdString();
    EXPECT_EQ(Text(simulator.heard()), Text({"set rtra=1", "set rtra=0", "set rtra=0"}));

    // Acquisition is the serial port's only: refused before anything is sent.
    const CliRun bridged = RunCli({"rxv-kt", "acquire", "--seconds", "1", "--link", "bridge:127.0.0.1:9"});
    EXPECT_EQ(bridged.exitCode, 2);
    EXPECT_TRUE(bridged.err.contains("serial port only")) << bridged.err.toStdString();
}

TEST(RxvKtCli, ProgramThenVerifyRoundTripsIdsUnitsAndKeysAWrongKeyReadsNoData) {
    QTemporaryDir dir;
    const QString table = dir.filePath("rxv.csv");
    const QString keys = dir.filePath("keys.csv");
    // Row 4's address is no address: passed over, nothing sent for it. 12345678's key carries 00h.
    WriteFile(table, "23456789;31;SIM;2;4;Heat;\n34567890;32;SIM;3;2;Electricity;\n45678901;33;SIM;4;3;Gas;\n12345678;abc;;1;7;Water;\n");
    WriteFile(keys, "23456789;23456789234567892345678923456789\r\n34567890;34567890345678903456789034567890\r\n"
                    "45678901;000102030405060708090A0B0C0D0E0F\r\n12345678;12345678123456781234567812345678\r\n");
    Simulator simulator;
    ASSERT_TRUE(simulator.started());

    const CliRun program = RunCli(QStringList{"rxv-kt", "program", table, "--activate", "--unit", "--save-key", "--keys", keys, "--by-id"} +
                                  simulator.link());
    EXPECT_EQ(program.exitCode, 1) << program.err.toStdString();
    EXPECT_TRUE(program.out.contains("Error in Primary device address at row 4, skipping\n")) << program.out.toStdString();
    EXPECT_TRUE(program.err.contains("passed over")) << program.err.toStdString();
    const QStringList programmed{"set entr=31,23456789", "set entr=32,34567890", "set entr=33,45678901",
                                 "set unit=31,12", "set unit=32,2", "set unit=33,3",
                                 "set akey=23456789," + Quoted(MeterKey("23456789")), "set akey=34567890," + Quoted(MeterKey("34567890")),
                                 "set akey=45678901," + Quoted(QByteArray::fromHex("000102030405060708090A0B0C0D0E0F"))};
    EXPECT_EQ(Text(simulator.heard()), Text(programmed));

    const CliRun verify = RunCli(QStringList{"rxv-kt", "verify", table, "--json"} + simulator.link());
    EXPECT_EQ(verify.exitCode, 1) << verify.err.toStdString();
    QStringList results;
    for (const auto& value : Json(verify)["results"].toArray()) {
        const QJsonObject result = value.toObject();
        results << result["address"].toString() + " " + result["id"].toString() + " " + result["result"].toString();
    }
    EXPECT_EQ(Text(results), Text({"31 23456789 ok", "32 34567890 ok", "33 45678901 no data (no records: wrong key?)",
                                   "abc 12345678 address outside 1..250, not read on the wired side"}));

    // The right key by address comes before the wrong one by ID.
    const CliRun key = RunCli(QStringList{"rxv-kt", "key", table, "--row", "3", "--key", "45678901456789014567890145678901", "--by-address"} +
                              simulator.link());
    EXPECT_EQ(key.exitCode, 0) << key.err.toStdString();
    EXPECT_EQ(Text(simulator.heard()), Text({"set encr=33," + Quoted(MeterKey("45678901"))}));
    WriteFile(table, "23456789;31;SIM;2;4;Heat;\n34567890;32;SIM;3;2;Electricity;\n45678901;33;SIM;4;3;Gas;\n");
    const CliRun again = RunCli(QStringList{"rxv-kt", "verify", table} + simulator.link());
    EXPECT_EQ(again.exitCode, 0) << again.out.toStdString() << again.err.toStdString();
    EXPECT_TRUE(again.out.contains("Row 3, address 33, ID 45678901: ok\n")) << again.out.toStdString();
}

TEST(RxvKtCli, SetTextsAreExactInfoShowsThemSilenceExitsOneRefusalsExitTwo) {
    Simulator simulator;
    ASSERT_TRUE(simulator.started());
    const QDateTime before = QDateTime::currentDateTime();
    const CliRun set = RunCli(QStringList{"rxv-kt", "set", "--date", "--time", "--interval", "240", "--wireless-mode", "s2", "--role", "Repeater",
                                          "--work-mode", "Accept All", "--option", "rssi=1", "--option", "Master Key=0", "--json"} +
                              simulator.link());
    ASSERT_EQ(set.exitCode, 0) << set.err.toStdString();
    EXPECT_EQ(Json(set)["answer"].toString(), QString("Done!\n").repeated(8));
    QStringList heard = simulator.heard();
    ASSERT_EQ(heard.size(), 8) << Text(heard);
    EXPECT_EQ(heard[0], "set date=" + before.toString("dd/MM/yy"));
    const QTime sent = QTime::fromString(heard[1].mid(9), "hh:mm:ss");
    EXPECT_TRUE(heard[1].startsWith("set time=") && sent.isValid() && std::abs(before.time().secsTo(sent)) <= 5) << heard[1].toStdString();
    EXPECT_EQ(Text(heard.mid(2)), Text({"set pito=240", "set wmod=0", "set nrol=2", "set wwrk=2", "set rssi=1", "set mast=0"}));

    const CliRun wmbus = RunCli(QStringList{"rxv-kt", "wmbus", "--json"} + simulator.link());
    EXPECT_EQ(wmbus.exitCode, 0) << wmbus.err.toStdString();
    EXPECT_TRUE(Json(wmbus)["answer"].toString().startsWith("Mode: S2 (0)\nRole: Repeater (2)\nWork: Accept All (2)\n"
                                                            "Options: rtra=0 rssi=1 ")) << wmbus.out.toStdString();
    EXPECT_EQ(Text(simulator.heard()), "get wsta");

    Simulator noReceiver({"--generate", "1"});
    ASSERT_TRUE(noReceiver.started());
    const CliRun silent = RunCli(QStringList{"rxv-kt", "info"} + noReceiver.link());
    EXPECT_EQ(silent.exitCode, 1);
    EXPECT_TRUE(silent.err.contains("no answer to get serv")) << silent.err.toStdString();

    QTemporaryDir dir;
    const QString table = dir.filePath("rxv.csv");
    const QString keys = dir.filePath("keys.csv");
    WriteFile(table, "23456789;31;SIM;2;4;Heat;\n");
    WriteFile(keys, "34567890;34567890345678903456789034567890\n");
    const struct {
        QStringList arguments;
        QByteArray error;
    } refusals[] = {
        {{"program", table}, "needs --activate, --unit, --save-key or --delete"},
        {{"program", table, "--delete", "--unit"}, "--delete goes alone"},
        {{"program", table, "--save-key", "--by-id"}, "needs --key HEX"},
        {{"program", table, "--save-key", "--key", "2345678923456789234567892345678"}, "--by-address, --by-id or both"},
        {{"key", table, "--row", "1", "--key", "2345678923456789234567892345678", "--by-id"}, "Encryption key must be 16 bytes exactly"},
        {{"key", table, "--row", "1", "--key", "a345678923456789234567892345678a", "--by-id"}, "Wrong HEX key, 0..F uppercase allowed only"},
        {{"key", table, "--row", "2", "--key-ascii", "sixteen letters!", "--by-id"}, "has 1 row, no row 2"},
        {{"program", table, "--save-key", "--keys", keys, "--by-id"}, "has no key for 23456789 (row 1)"},
        {{"set", "--role", "Boss"}, "--role takes Master, Repeater, Slave"},
        {{"set", "--option", "rssi=2"}, "--option takes NAME=0 or NAME=1"},
        {{"set", "--interval", "241"}, "--interval must be 1 to 240"},
        {{"verify", dir.filePath("missing.csv")}, "cannot read"},
        {{"info", "--row", "1"}, "--row does not belong to rxv-kt info"},
    };
    for (const auto& r : refusals) {
        const CliRun run = RunCli(QStringList{"rxv-kt"} + r.arguments + simulator.link());
        const std::string what = r.arguments.join(' ').toStdString();
        EXPECT_EQ(run.exitCode, 2) << what;
        EXPECT_TRUE(run.err.contains(r.error)) << what << "\n" << run.err.toStdString();
    }
    EXPECT_EQ(Text(simulator.heard()), "") << "nothing refused reaches the receiver";
}

} // namespace
