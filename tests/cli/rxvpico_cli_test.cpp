// veltro-cli rxvpico run as a user runs it, against mbus-sim's RXVpico receiver (primary address 30) as a
// bridge: what one run writes into the receiver, the next one reads back.
#include <gtest/gtest.h>

#include "cli_run.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

namespace {

using namespace veltro::test;

std::string Said(const CliRun& run) { return (run.out + run.err).toStdString(); }

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
}

// mbus-sim's default bus as a bridge, for the life of a test.
class Simulator {
public:
    Simulator() {
        m_process.start(QStringLiteral(VELTRO_SIM_PATH), QStringList{"--bridge", "127.0.0.1:0"});
        QByteArray out;
        while (!out.contains('\n') && m_process.waitForReadyRead(5000)) out += m_process.readAllStandardOutput();
        if (out.startsWith("bridge ")) m_address = QString::fromLatin1(out.mid(7).trimmed());
    }
    ~Simulator() {
        m_process.terminate();
        m_process.waitForFinished(3000);
    }
    bool started() const { return !m_address.isEmpty(); }
    // One receiver command; the receiver's address is its own default's.
    CliRun run(const QStringList& arguments) const {
        return RunCli(QStringList{"rxvpico"} + arguments +
                      QStringList{"--link", "bridge:" + m_address, "--address", "30", "--timeout", "300"});
    }

private:
    QProcess m_process;
    QString m_address;
};

QJsonObject Status(const Simulator& simulator) {
    const CliRun status = simulator.run({"status", "--json"});
    EXPECT_EQ(status.exitCode, 0) << Said(status);
    return Json(status)["status"].toObject();
}

TEST(RxvpicoCli, RefusalsExitTwoBeforeTheBusIsUsed) {
    const struct {
        QStringList arguments;
        QByteArray error;
    } refusals[] = {
        {{"status", "--address", "300"}, "Error in RXVpicoPrimary address, skipping..."},
        {{"status", "--address", "x"}, "Error in RXVpicoPrimary address, skipping..."},
        {{"status", "--id", "1234567"}, "RXVpico ID is wrong, must be 8 digits..."},
        {{"flag", "Decode Tchem", "on"}, "ITEM must be one of \"Auto mode\""},
        {{"flag", "Decode Techem", "yes"}, "set on or off"},
        {{"set-key", "12345678", "000102030405060708090a0b0c0d0e0f"}, "Wrong HEX key, 0..F uppercase allowed only"},
        {{"add", "12345678", "1234ABCD"}, "1234ABCD: Error in RXVpico ID, exception"},
        {{"delete", "--all"}, "needs --yes"},
        {{"filter", "set", "id", "9", "1234FFFF"}, "POS must be 1 to 8"},
        {{"filter", "set", "medium", "1", "Lava"}, "a medium filter is one of"},
        {{"read-list", "--yes"}, "--yes does not belong to rxvpico read-list"},
    };
    for (const auto& r : refusals) {
        const CliRun run = RunCli(QStringList{"rxvpico"} + r.arguments + QStringList{"--simulate"});
        const std::string what = r.arguments.join(' ').toStdString();
        EXPECT_EQ(run.exitCode, 2) << what;
        EXPECT_TRUE(run.err.contains(r.error)) << what << "\n" << run.err.toStdString();
        EXPECT_FALSE(run.out.contains("Respond")) << what << ": nothing refused reaches the receiver";
    }
}

TEST(RxvpicoCli, WrittenListAndKeysReadBackAHexIdIsPassedOver) {
    Simulator simulator;
    ASSERT_TRUE(simulator.started());
    QTemporaryDir dir;
    const QString table = dir.filePath("meters.csv");
    // A meter table export: the ID first, the key twelfth, every cell followed by ';', the empty row last.
    const auto row = [](const QByteArray& id, const QByteArray& key) { return id + QByteArray(";").repeated(11) + key + ";\n"; };
    const QByteArray keys[] = {"000102030405060708090A0B0C0D0E0F", "1112131415161718191A1B1C1D1E1F10",
                               "FFEEDDCCBBAA99887766554433221100", "0123456789ABCDEF0123456789ABCDEF"};
    WriteFile(table, row("12345678", keys[0]) + row("23456789", keys[1]) + row("1234ABCD", keys[3]) + row("34567890", keys[2]) +
                         QByteArray(";").repeated(12) + "\n");

    const CliRun write = simulator.run({"write-list", table, "--keys", "--yes"});
    EXPECT_EQ(write.exitCode, 1) << Said(write);
    EXPECT_TRUE(write.out.contains("Error in RXVpico ID, exception")) << write.out.toStdString();
    EXPECT_TRUE(write.err.contains("1 row is passed over (see the log): 1234ABCD")) << write.err.toStdString();

    const CliRun read = simulator.run({"read-list", "--keys", "--json"});
    ASSERT_EQ(read.exitCode, 0) << Said(read);
    const QJsonObject json = Json(read);
    EXPECT_EQ(Strings(json["columns"]).size(), 3);
    QStringList rows;
    for (const auto& r : json["rows"].toArray()) rows << Strings(r).join(' ');
    EXPECT_EQ(rows.join(" | ").toStdString(), QStringList({"12345678 1 " + keys[0], "23456789 2 " + keys[1], "34567890 3 " + keys[2]})
                                                  .join(" | ").toStdString());
    EXPECT_EQ(Status(simulator)["activated"].toInt(), 3);

    // The whole list deleted: what remains to read is nothing.
    const CliRun deleted = simulator.run({"delete", "--all", "--yes"});
    EXPECT_EQ(deleted.exitCode, 0) << Said(deleted);
    EXPECT_EQ(Status(simulator)["activated"].toInt(), 0);
    const CliRun noKey = simulator.run({"read-key", "12345678"});
    EXPECT_EQ(noKey.exitCode, 1) << Said(noKey);
    EXPECT_TRUE(noKey.err.contains("no key of 12345678")) << noKey.err.toStdString();
}

TEST(RxvpicoCli, ClockFlagsAndFiltersRoundTripThroughTheReceiver) {
    Simulator simulator;
    ASSERT_TRUE(simulator.started());

    // The type F date and time as the status shows it: "13:45, 7.12.26".
    const auto shown = [](const QDateTime& t) {
        return QString("%1:%2, %3.%4.%5").arg(t.time().hour()).arg(t.time().minute(), 2, 10, QChar('0')).arg(t.date().day())
            .arg(t.date().month()).arg(t.date().year() - 2000);
    };
    const QDateTime before = QDateTime::currentDateTime();
    const CliRun clock = simulator.run({"set-clock"});
    EXPECT_EQ(clock.exitCode, 0) << Said(clock);
    const QString dateTime = Status(simulator)["dateTime"].toString();
    const QDateTime after = QDateTime::currentDateTime();
    EXPECT_TRUE(dateTime == shown(before) || dateTime == shown(after))
        << dateTime.toStdString() << " is neither " << shown(before).toStdString() << " nor " << shown(after).toStdString();

    // Each item on shows itself, in the order of the box, and no other; off clears them all again.
    const QStringList items{"Auto mode",     "Return timestamp",       "Return RSSI",  "Automatically decrypt", "Decode APATOR",
                            "Decode Techem", "Filter by Manufacturer", "Filter by ID", "Filter by Medium"};
    for (qsizetype i = 0; i < items.size(); ++i) {
        const CliRun on = simulator.run({"flag", items[i], "on"});
        EXPECT_EQ(on.exitCode, 0) << Said(on);
        EXPECT_EQ(Strings(Status(simulator)["flags"]).join(" | ").toStdString(), items.mid(0, i + 1).join(" | ").toStdString());
    }
    for (const QString& item : items) {
        const CliRun off = simulator.run({"flag", item, "off"});
        EXPECT_EQ(off.exitCode, 0) << Said(off);
    }
    EXPECT_EQ(Strings(Status(simulator)["flags"]).join(" | ").toStdString(), "");

    const struct {
        QString kind, position, value;
    } filters[] = {{"id", "1", "1234FFFF"}, {"manufacturer", "2", "KXR"}, {"medium", "3", "Water"}};
    for (const auto& f : filters) {
        const CliRun set = simulator.run({"filter", "set", f.kind, f.position, f.value});
        EXPECT_EQ(set.exitCode, 0) << Said(set);
        const CliRun read = simulator.run({"filter", "read", f.kind, "--json"});
        EXPECT_EQ(read.exitCode, 0) << Said(read);
        EXPECT_EQ(Json(read)["filters"].toObject()[f.position].toString().toStdString(), f.value.toStdString()) << read.out.toStdString();
    }
}

} // namespace
