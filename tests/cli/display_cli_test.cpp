// veltro-cli display against mbus-sim's display, run as a user runs them; the expected values are those
// docs/SIMULATOR.md derives from the simulated meters, and the texts the simulator says it heard.
#include <gtest/gtest.h>

#include "cli_run.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <map>

namespace {

using namespace veltro::test;

// A table's rows by their address (column 1).
std::map<QString, QStringList> RowsByAddress(const QJsonArray& rows) {
    std::map<QString, QStringList> byAddress;
    for (const auto& row : rows) {
        QStringList cells;
        for (const auto& cell : row.toArray()) cells << cell.toString();
        byAddress[cells.value(1)] = cells;
    }
    return byAddress;
}

// Cells joined, so a failure prints text.
std::string Cells(const QStringList& cells) { return cells.join(" | ").toStdString(); }

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
}

// mbus-sim's default bus, display included, as a bridge; --verbose logs each text it hears
// (`bridge <- text "SET ENTR=5" at 2400 baud`, bytes outside 20h..7Eh as \xNN).
class Simulator {
public:
    explicit Simulator(const QStringList& extra = {}) {
        m_process.start(QStringLiteral(VELTRO_SIM_PATH), QStringList{"--bridge", "127.0.0.1:0", "--verbose"} + extra);
        QByteArray out;
        while (!out.contains('\n') && m_process.waitForReadyRead(5000)) out += m_process.readAllStandardOutput();
        if (out.startsWith("bridge ")) m_address = QString::fromLatin1(out.mid(7).trimmed());
    }
    ~Simulator() { stop(); }
    QStringList link() const { return {"--link", "bridge:" + m_address, "--timeout", "150"}; }
    bool started() const { return !m_address.isEmpty(); }
    QStringList stopAndListHeard() {
        stop();
        QStringList heard;
        for (const QByteArray& line : m_process.readAllStandardError().split('\n')) {
            const qsizetype at = line.indexOf("bridge <- text \"");
            if (at >= 0) heard << QString::fromLatin1(line.mid(at + 16, line.lastIndexOf("\" at ") - at - 16));
        }
        return heard;
    }

private:
    void stop() {
        m_process.terminate();
        m_process.waitForFinished(3000);
    }
    QProcess m_process;
    QString m_address;
};

TEST(DisplayCli, ATableWrittenComesBackFromReadAndABadAddressIsNeverSent) {
    QTemporaryDir dir;
    const QString table = dir.filePath("display.csv");
    // Entry 4 holds the gas meter of address 4 (345678 pulses); 5 has no meter; 251 is no display address.
    WriteFile(table, "12345678;5;m3;1,5;10/1;17;Kitchen;\n;251;kWh;2;3;4;Bad;\n87654321;4;kWh;;/5;18;Hall №2;\n");
    Simulator simulator;
    ASSERT_TRUE(simulator.started());

    const CliRun write = RunCli(QStringList{"display", "write", table, "--set", "text,user,initial,divider,multiplier,units,activate"} +
                                simulator.link());
    EXPECT_EQ(write.exitCode, 1) << write.err.toStdString();  // row 2 passed over
    EXPECT_TRUE(write.out.contains("Error in device address at row 2, skipping\n")) << write.out.toStdString();
    EXPECT_TRUE(write.err.contains("7 row commands were passed over")) << write.err.toStdString();

    const CliRun read = RunCli(QStringList{"display", "read", "--json"} + simulator.link());
    ASSERT_EQ(read.exitCode, 0) << read.err.toStdString();
    auto rows = RowsByAddress(Json(read)["rows"].toArray());
    EXPECT_EQ(rows.size(), 6u);  // 1, 2, 3 and 15 of the default bus, and the two written
    // Unit, start, mult/div, user number, free text, total (initial + pulses x mult / div).
    EXPECT_EQ(Cells(rows["5"].mid(2, 6)), Cells(QStringList{"m3", "1.500", "10/1", "17", "Kitchen", "1.500"}));
    EXPECT_EQ(Cells(rows["4"].mid(2, 6)), Cells(QStringList{"kWh", "0.000", "1/5", "18", "Hall №2", "69135.600"}));
    EXPECT_EQ(rows.count("251"), 0u);

    const QStringList heard = simulator.stopAndListHeard();
    // Processing order, not the order given; "/5" is multiplier 1, divider 5; № is B9h in Windows-1251.
    const QStringList written{"SET ENTR=5",  "SET ENTR=4",  "SET UNIT=5,2",   "SET UNIT=4,1",   "SET CONM=5,10",
                              "SET CONM=4,1", "SET COND=5,1", "SET COND=4,5",   "SET INIT=5,1.5", "SET INIT=4,0",
                              "SET NUMB=5,17", "SET NUMB=4,18", "SET TEXT=5,Kitchen", "SET TEXT=4,Hall \\xB92"};
    EXPECT_EQ(Cells(heard.mid(0, written.size())), Cells(written));
    EXPECT_TRUE(heard.filter(QStringLiteral("251")).isEmpty()) << heard.join('\n').toStdString();
}

TEST(DisplayCli, TotalsTariffsAndHistoryAreTheSimulatedMetersReadings) {
    QTemporaryDir dir;
    const QString readings = dir.filePath("readings.csv");
    Simulator simulator({"--display-date", "2026-03-05"});  // history index 1 is February 2026
    ASSERT_TRUE(simulator.started());

    const CliRun values = RunCli(QStringList{"display", "values", "--tariffs", "--json", "--readings-csv", readings} + simulator.link());
    ASSERT_EQ(values.exitCode, 0) << values.err.toStdString();
    auto rows = RowsByAddress(Json(values)["readings"].toObject()["rows"].toArray());
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(Cells(rows["1"].mid(7, 2)), Cells(QStringList{"12345.000", "12345.000"}));
    EXPECT_EQ(Cells(rows["3"].mid(7, 5)), Cells(QStringList{"4567.890", "4567.890", "3000.000", "1567.890", "0.000"}));
    EXPECT_EQ(rows["15"][7], "54421.500");

    const CliRun all = RunCli(QStringList{"display", "history", "--month", "ALL", "--json"} + simulator.link());
    ASSERT_EQ(all.exitCode, 0) << all.err.toStdString();
    const QJsonObject history = Json(all)["readings"].toObject();
    EXPECT_EQ(history["columns"].toArray().at(12).toString(), "Jan");
    rows = RowsByAddress(history["rows"].toArray());
    // Columns 12..23 are Jan..Dec; entry 15 has months 1..4 back from March: Feb, Jan, Dec, Nov.
    EXPECT_EQ(Cells(rows["15"].mid(12)), Cells(QStringList{"51900.500", "53100.500", "", "", "", "", "", "", "", "", "49000.500", "50200.500"}));
    EXPECT_EQ(rows["1"][13], "11000.000");
    EXPECT_EQ(rows["2"][13], "1100.000");
    EXPECT_EQ(rows["3"].mid(12).join(""), "");  // its meter keeps no months

    // One month, on the rows of the earlier export: January asked as index 12 once February is latest.
    const CliRun january = RunCli(QStringList{"display", "history", "--month", "jan", "--table", readings, "--json"} + simulator.link());
    ASSERT_EQ(january.exitCode, 0) << january.err.toStdString();
    rows = RowsByAddress(Json(january)["readings"].toObject()["rows"].toArray());
    EXPECT_EQ(Cells(rows["15"].mid(12, 2)), Cells(QStringList{"51900.500", ""}));
    EXPECT_EQ(rows["15"][9], "0.000");  // the imported tariff stays
    const QStringList heard = simulator.stopAndListHeard();
    EXPECT_TRUE(heard.endsWith("GET HIST=15,12")) << heard.join('\n').toStdString();
    EXPECT_EQ(heard.filter(QStringLiteral("GET ADDR")).size(), 2) << "the --table run reads no addresses";
}

TEST(DisplayCli, RefusalsExitTwoBeforeTheBusSilenceExitsOneSerialOnlyReachesTheSimulation) {
    QTemporaryDir dir;
    const QString table = dir.filePath("display.csv");
    WriteFile(table, "1;5;m3;;;;;\n2;6;kWh;;;;;\n3;7;kWh;;;;;\n");
    const struct {
        QStringList arguments;
        QByteArray error;
    } refusals[] = {
        {{"write", table, "--set", "units,bogus"}, "unknown setting 'bogus'"},
        {{"write", table, "--set", "delete,units"}, "delete goes alone or with text2"},
        {{"write", table, "--set", "units", "--rows", "3-1"}, "--rows takes row numbers"},
        {{"write", table, "--set", "units", "--rows", "2,9"}, "has 3 rows, no row 9"},
        {{"write", dir.filePath("missing.csv"), "--set", "units"}, "cannot read"},
        {{"history", "--month", "Foo"}, "--month ALL or Jan..Dec: Foo"},
        {{"info", "entry1"}, "needs --address"},
        {{"info", "main", "--address", "3"}, "--address belongs to"},
        {{"refresh", "13"}, "4 to 12 seconds"},
        {{"values"}, "needs --main, --tariffs or both"},
        {{"from-meters", table}, "works on files only"},
        {{"sort", "name"}, "address or user"},
    };
    for (const auto& r : refusals) {
        const CliRun run = RunCli(QStringList{"display"} + r.arguments + QStringList{"--simulate"});
        const std::string what = r.arguments.join(' ').toStdString();
        EXPECT_EQ(run.exitCode, 2) << what;
        EXPECT_TRUE(run.err.contains(r.error)) << what << "\n" << run.err.toStdString();
        EXPECT_FALSE(run.out.contains("Connected")) << what << ": nothing is opened";
    }

    Simulator silent({"--no-display"});
    ASSERT_TRUE(silent.started());
    const CliRun date = RunCli(QStringList{"display", "date"} + silent.link());
    EXPECT_EQ(date.exitCode, 1);
    EXPECT_TRUE(date.err.contains("no answer to SET DATE=")) << date.err.toStdString();
    const CliRun values = RunCli(QStringList{"display", "values", "--main"} + silent.link());
    EXPECT_EQ(values.exitCode, 1);
    EXPECT_TRUE(values.err.contains("no answer to GET ADDR")) << values.err.toStdString();

    // "Read meters" goes to the serial port whatever the link: --simulate gives it a pseudo-terminal.
    const CliRun readMeters = RunCli({"display", "read-meters", "--simulate", "--timeout", "300"});
    EXPECT_EQ(readMeters.exitCode, 0) << readMeters.err.toStdString();
    EXPECT_TRUE(readMeters.out.contains("Updating readings of LDU-Q7...\nMeters read: 4 of 4\n")) << readMeters.out.toStdString();
}

TEST(DisplayCli, FromMetersTakesTheMeterTableExport) {
    QTemporaryDir dir;
    const QString meters = dir.filePath("meters.csv");
    const QString display = dir.filePath("display.csv");
    const CliRun read = RunCli({"read", "1", "2", "3", "--simulate", "--timeout", "300", "--csv", meters});
    ASSERT_EQ(read.exitCode, 0) << read.err.toStdString();
    const CliRun from = RunCli({"display", "from-meters", meters, "--json", "--csv", display});
    ASSERT_EQ(from.exitCode, 0) << from.err.toStdString();

    QFile exported(meters);
    ASSERT_TRUE(exported.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = exported.readAll().split('\n');
    const QJsonArray rows = Json(from)["rows"].toArray();
    ASSERT_EQ(rows.size(), 3);
    for (int i = 0; i < 3; ++i) {
        const QList<QByteArray> meter = lines[i].split(';');
        const QJsonArray row = rows[i].toArray();
        EXPECT_EQ(row[0].toString().toLatin1(), meter[0]);
        EXPECT_EQ(row[1].toString().toLatin1(), meter[1]);
        EXPECT_EQ(row[3].toString(), QString::number(meter[3].toDouble(), 'f', 1));
        EXPECT_EQ(row[4].toString(), "0/0");  // no "MB1"/"MB2" pulse cell
        EXPECT_EQ(row[5].toString(), QString::number(i + 1));
    }
    QFile written(display);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_TRUE(written.readAll().startsWith(lines[0].split(';')[0] + ";1;")) << "the display table's export";
}

} // namespace
