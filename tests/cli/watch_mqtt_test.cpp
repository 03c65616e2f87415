// veltro-cli watch against a real message broker: the Debian mosquitto on a free loopback port, its
// messages read back with mosquitto_sub.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <set>

#include "cli_run.h"

namespace veltro::test {
namespace {

QString Program(const char* name) {
    return QStandardPaths::findExecutable(name, {"/usr/sbin", "/usr/bin", "/usr/local/sbin", "/usr/local/bin"});
}

// Pumps the event loop until `done` or `ms` passed.
bool WaitFor(const std::function<bool()>& done, int ms) {
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(20);
    }
    return true;
}

quint16 FreePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

class Broker {
public:
    // `listenerOptions` follow the listener line (TLS files, passwords); anonymous clients by default.
    explicit Broker(quint16 port, const QString& listenerOptions = QStringLiteral("allow_anonymous true\n")) : m_port(port) {
        QFile config(m_dir.filePath("mosquitto.conf"));
        config.open(QIODevice::WriteOnly);
        // Started as root the broker would drop to its own user, who cannot read this folder.
        const passwd* user = getpwuid(getuid());
        QString text = QStringLiteral("listener %1 127.0.0.1\npersistence true\npersistence_location %2/\n"
                                      "log_dest stderr\nuser %3\n")
                           .arg(port)
                           .arg(m_dir.path(), QString::fromLocal8Bit(user ? user->pw_name : "root"));
        text += listenerOptions;
        config.write(text.toUtf8());
    }
    ~Broker() { stop(); }

    bool start() {
        m_process = std::make_unique<QProcess>();
        m_process->setProcessChannelMode(QProcess::MergedChannels);
        m_process->start(Program("mosquitto"), {"-c", m_dir.filePath("mosquitto.conf")});
        if (!m_process->waitForStarted(5000)) return false;
        return WaitFor([this] {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, m_port);
            return probe.waitForConnected(200);
        }, 10000);
    }
    // SIGTERM: the broker saves its retained messages and sessions on the way out.
    void stop() {
        if (!m_process || m_process->state() == QProcess::NotRunning) return;
        m_process->terminate();
        m_process->waitForFinished(10000);
    }
    quint16 port() const { return m_port; }

private:
    quint16 m_port;
    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_process;
};

// A running veltro-cli whose standard error is read as it comes.
class Watcher {
public:
    explicit Watcher(const QStringList& arguments, const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
        m_process.setProcessEnvironment(environment);
        m_process.start(QStringLiteral(VELTRO_CLI_PATH), arguments);
        m_process.closeWriteChannel();
    }
    ~Watcher() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    QString err() {
        m_err += m_process.readAllStandardError();
        return QString::fromUtf8(m_err);
    }
    int cyclesDone() {
        static const QRegularExpression cycle(QStringLiteral("watch: cycle (\\d+):"));
        int last = 0;
        for (auto it = cycle.globalMatch(err()); it.hasNext();) last = it.next().captured(1).toInt();
        return last;
    }
    bool waitForCycles(int count, int ms) { return WaitFor([&] { return cyclesDone() >= count; }, ms); }
    // SIGTERM, as a service manager stops it; the exit code, or -1 when it did not end.
    int terminate() {
        m_process.terminate();
        if (!m_process.waitForFinished(30000)) return -1;
        err();
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }
    QProcess& process() { return m_process; }

private:
    QProcess m_process;
    QByteArray m_err;
};

// The retained messages under `filter`, topic to payload.
std::map<QString, QByteArray> Retained(quint16 port, const QString& filter) {
    QProcess sub;
    sub.start(Program("mosquitto_sub"), {"-h", "127.0.0.1", "-p", QString::number(port), "-t", filter, "-v",
                                         "--retained-only", "-W", "3"});
    sub.waitForFinished(10000);
    std::map<QString, QByteArray> messages;
    for (const QByteArray& line : sub.readAllStandardOutput().split('\n')) {
        const auto blank = line.indexOf(' ');
        if (blank > 0) messages[QString::fromUtf8(line.left(blank))] = line.mid(blank + 1);
    }
    return messages;
}

bool BrokerInstalled() { return !Program("mosquitto").isEmpty() && !Program("mosquitto_sub").isEmpty(); }

// What the simulated meters hold: identification, the main value and its unit.
struct HeldValue {
    const char* id;
    double main;
    const char* unit;
};
constexpr HeldValue kHeld[] = {
    {"40112301", 12345, "kWh"}, {"51200417", 1234.567, "m3"}, {"62300525", 4567.89, "kWh"},
    {"73400633", 345.678, "m3"}, {"18220041", 52.34, "m3"},    {"18220058", 875, "kWh"},
    {"30031977", 98.765, "m3"},  {"24681357", 54321, "kWh"},   {"20190001", 1.5, "m3"},
    {"99000017", 23.456, "m3"},  {"99000027", 34.567, "m3"},
};

// The record of `unit` with this storage and tariff.
QJsonObject RecordOf(const QJsonObject& state, const QString& unit, int storage = 0, int tariff = 0) {
    for (const auto& value : state["records"].toArray()) {
        const QJsonObject record = value.toObject();
        if (record["unit"].toString() == unit && record["storage"].toInt() == storage && record["tariff"].toInt() == tariff)
            return record;
    }
    return {};
}

TEST(WatchMqtt, EveryMeterOfTheBusArrivesRetainedWithItsNumbersAndSigtermSaysOffline) {
    if (!BrokerInstalled()) GTEST_SKIP() << "mosquitto is not installed (scripts/setup.sh installs it)";
    Broker broker(FreePort());
    ASSERT_TRUE(broker.start());
    const QString endpoint = QStringLiteral("127.0.0.1:%1").arg(broker.port());

    // No meters given: the bus is searched first (short windows keep that under a minute), and every
    // meter found is read by its identification, also the two that share address 0.
    Watcher watch({"watch", "--simulate", "--every", "2s", "--mqtt", endpoint, "--discovery", "--fast", "--timeout", "150"});
    ASSERT_TRUE(watch.waitForCycles(2, 300000)) << watch.err().toStdString();
    EXPECT_TRUE(watch.err().contains("watch: found 11 meter(s)")) << watch.err().toStdString();
    EXPECT_EQ(Retained(broker.port(), "veltro/status")["veltro/status"], "online");
    EXPECT_EQ(watch.terminate(), 0) << watch.err().toStdString();
    EXPECT_TRUE(watch.err().contains("watch: stopped"));

    auto retained = Retained(broker.port(), "#");
    EXPECT_EQ(retained["veltro/status"], "offline");
    for (const HeldValue& held : kHeld) {
        SCOPED_TRACE(held.id);
        const QString topic = QStringLiteral("veltro/%1/state").arg(held.id);
        ASSERT_TRUE(retained.count(topic));
        const QJsonObject state = QJsonDocument::fromJson(retained[topic]).object();
        EXPECT_EQ(state["id"].toString(), held.id);
        const QJsonValue main = state["main"].toObject()["value"];
        ASSERT_TRUE(main.isDouble()) << retained[topic].toStdString();
        EXPECT_NEAR(main.toDouble(), held.main, 1e-9 * std::abs(held.main));
        EXPECT_EQ(state["main"].toObject()["unit"].toString(), held.unit);
        EXPECT_TRUE(QDateTime::fromString(state["time"].toString(), Qt::ISODate).isValid());
        // The home-automation config of its main value names the state topic.
        const QString config = QStringLiteral("homeassistant/sensor/veltro_%1/main/config").arg(held.id);
        ASSERT_TRUE(retained.count(config));
        EXPECT_EQ(QJsonDocument::fromJson(retained[config]).object()["state_topic"].toString(), topic);
    }

    // Every record typed, not just the main value: the heat meter and the electricity meter whole.
    const QJsonObject heat = QJsonDocument::fromJson(retained["veltro/40112301/state"]).object();
    EXPECT_EQ(RecordOf(heat, "m3")["value"].toDouble(), 456.789);
    EXPECT_EQ(RecordOf(heat, "W")["value"].toDouble(), 2500);
    EXPECT_EQ(RecordOf(heat, "l/h")["value"].toDouble(), 1200);
    EXPECT_EQ(RecordOf(heat, "K")["value"].toDouble(), 30.3);
    EXPECT_EQ(RecordOf(heat, "kWh", 1)["value"].toDouble(), 11000);
    bool readingTime = false;
    for (const auto& record : heat["records"].toArray())
        readingTime = readingTime || record.toObject()["value"].toString() == "2025-03-14T10:30";
    EXPECT_TRUE(readingTime);
    const QJsonObject power = QJsonDocument::fromJson(retained["veltro/62300525/state"]).object();
    EXPECT_EQ(RecordOf(power, "kWh", 0, 1)["value"].toDouble(), 3000);
    EXPECT_EQ(RecordOf(power, "kWh", 0, 2)["value"].toDouble(), 1567.89);
    EXPECT_EQ(RecordOf(power, "V")["value"].toDouble(), 230.1);
    EXPECT_EQ(RecordOf(power, "A")["value"].toDouble(), 5.43);
}

TEST(WatchMqtt, ReadingsTakenWhileTheBrokerIsAwayArriveWhenItIsBack) {
    if (!BrokerInstalled()) GTEST_SKIP() << "mosquitto is not installed (scripts/setup.sh installs it)";
    Broker broker(FreePort());
    ASSERT_TRUE(broker.start());
    const QString port = QString::number(broker.port());

    // A subscriber with a session the broker keeps over its restart: it misses nothing published.
    auto subscribe = [&port] {
        auto sub = std::make_unique<QProcess>();
        sub->start(Program("mosquitto_sub"), {"-h", "127.0.0.1", "-p", port, "-c", "-i", "veltro-test-subscriber",
                                              "-q", "1", "-t", "veltro/+/state", "-v"});
        return sub;
    };
    QByteArray received;
    auto sub = subscribe();
    ASSERT_TRUE(sub->waitForStarted(5000));
    QThread::msleep(500);

    Watcher watch({"watch", "--simulate", "--every", "2s", "--mqtt", "127.0.0.1:" + port, "1", "2", "3"});
    ASSERT_TRUE(watch.waitForCycles(2, 60000)) << watch.err().toStdString();
    broker.stop();
    const int before = watch.cyclesDone();
    ASSERT_TRUE(watch.waitForCycles(before + 2, 60000)) << watch.err().toStdString();
    EXPECT_TRUE(watch.err().contains("MQTT: lost the broker")) << watch.err().toStdString();
    ASSERT_TRUE(broker.start());
    if (sub->state() == QProcess::NotRunning) {
        received += sub->readAllStandardOutput();
        sub = subscribe();
    }
    ASSERT_TRUE(WaitFor([&] { return watch.err().contains("kept while the broker was away"); }, 90000))
        << watch.err().toStdString();
    ASSERT_TRUE(watch.waitForCycles(watch.cyclesDone() + 1, 60000));
    ASSERT_EQ(watch.terminate(), 0) << watch.err().toStdString();
    const int cycles = watch.cyclesDone();

    // Each cycle's reading of each meter, by its time; a reading may come twice (at least once delivery).
    std::map<QString, std::set<QString>> times;
    const auto readings = [&] {
        std::map<QString, std::set<QString>> t;
        const QByteArray all = received + sub->readAllStandardOutput();
        for (const QByteArray& line : all.split('\n')) {
            const auto blank = line.indexOf(' ');
            if (blank < 0) continue;
            const QJsonObject state = QJsonDocument::fromJson(line.mid(blank + 1)).object();
            t[state["id"].toString()].insert(state["time"].toString());
        }
        return t;
    };
    WaitFor([&] {
        received += sub->readAllStandardOutput();
        times = readings();
        return times.size() == 3 && std::all_of(times.begin(), times.end(), [&](const auto& m) { return int(m.second.size()) >= cycles; });
    }, 20000);
    sub->kill();
    sub->waitForFinished(5000);
    ASSERT_EQ(times.size(), 3u) << watch.err().toStdString();
    for (const auto& meter : times) EXPECT_EQ(int(meter.second.size()), cycles) << meter.first.toStdString() << "\n" << watch.err().toStdString();
}

TEST(WatchMqtt, AFullQueueDropsTheOldestAndSaysHowMany) {
    if (!BrokerInstalled()) GTEST_SKIP() << "mosquitto is not installed (scripts/setup.sh installs it)";
    Broker broker(FreePort());  // not started yet
    Watcher watch({"watch", "--simulate", "--every", "1s", "--mqtt", QStringLiteral("127.0.0.1:%1").arg(broker.port()),
                   "--mqtt-queue", "2", "1", "2"});
    ASSERT_TRUE(watch.waitForCycles(3, 60000)) << watch.err().toStdString();
    EXPECT_TRUE(watch.err().contains("cannot reach the broker")) << watch.err().toStdString();
    EXPECT_TRUE(watch.err().contains("the queue is full (2 messages)"));
    ASSERT_TRUE(broker.start());
    ASSERT_TRUE(WaitFor([&] { return watch.err().contains("publishing 2 message(s) kept while the broker was away"); }, 90000))
        << watch.err().toStdString();
    const int dropped = QRegularExpression(QStringLiteral("(\\d+) older one\\(s\\) were dropped")).match(watch.err()).captured(1).toInt();
    EXPECT_GE(dropped, 4);  // three cycles of two meters at least, two kept
    ASSERT_TRUE(WaitFor([&] { return Retained(broker.port(), "veltro/+/state").size() == 2; }, 10000));
    // Killed without a word: the broker says "offline" for it, the last will.
    EXPECT_EQ(Retained(broker.port(), "veltro/status")["veltro/status"], "online");
    watch.process().kill();
    watch.process().waitForFinished(10000);
    EXPECT_TRUE(WaitFor([&] { return Retained(broker.port(), "veltro/status")["veltro/status"] == "offline"; }, 20000));
}

TEST(WatchMqtt, AWrongPasswordIsRefusedClearlyBeforeAnyReading) {
    if (!BrokerInstalled() || Program("mosquitto_passwd").isEmpty()) GTEST_SKIP() << "mosquitto is not installed";
    QTemporaryDir dir;
    const QString passwords = dir.filePath("passwords");
    QProcess make;
    make.start(Program("mosquitto_passwd"), {"-b", "-c", passwords, "reader", "right secret"});
    ASSERT_TRUE(make.waitForFinished(10000));
    ASSERT_EQ(make.exitCode(), 0) << make.readAllStandardError().toStdString();
    Broker broker(FreePort(), QStringLiteral("allow_anonymous false\npassword_file %1\n").arg(passwords));
    ASSERT_TRUE(broker.start());
    const QString endpoint = QStringLiteral("127.0.0.1:%1").arg(broker.port());

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("VELTRO_MQTT_PASSWORD", "wrong secret");
    QProcess wrong;
    wrong.setProcessEnvironment(environment);
    wrong.start(QStringLiteral(VELTRO_CLI_PATH), {"watch", "--simulate", "--every", "1s", "--mqtt", endpoint, "--mqtt-user", "reader", "1"});
    ASSERT_TRUE(wrong.waitForFinished(30000));
    const QString err = QString::fromUtf8(wrong.readAllStandardError());
    EXPECT_EQ(wrong.exitCode(), 3) << err.toStdString();
    EXPECT_TRUE(err.contains("refused the connection")) << err.toStdString();
    EXPECT_TRUE(err.contains("check --mqtt-user and the password")) << err.toStdString();
    EXPECT_FALSE(err.contains("watch: cycle"));

    // The right one from a file: one cycle, read and delivered.
    QFile file(dir.filePath("secret"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("right secret\n");
    file.close();
    const CliRun right = RunCli({"watch", "--simulate", "--every", "1s", "--cycles", "1", "--mqtt", endpoint, "--mqtt-user",
                                 "reader", "--mqtt-password-file", file.fileName(), "1"});
    EXPECT_EQ(right.exitCode, 0) << right.err.toStdString();
    EXPECT_TRUE(right.err.contains("MQTT: connected to")) << right.err.toStdString();
}

// Runs openssl with `arguments` in `dir`; true when it succeeded.
bool Openssl(const QTemporaryDir& dir, const QStringList& arguments) {
    QProcess openssl;
    openssl.setWorkingDirectory(dir.path());
    openssl.start(Program("openssl"), arguments);
    return openssl.waitForFinished(30000) && openssl.exitCode() == 0;
}

// A CA and a certificate it signed for "localhost".
bool MakeCertificates(const QTemporaryDir& dir, const QString& ca) {
    const QString subject = QStringLiteral("/CN=") + ca;
    return Openssl(dir, {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", subject, "-keyout",
                         ca + ".key", "-out", ca + ".crt"}) &&
           Openssl(dir, {"req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=localhost", "-keyout", ca + "-server.key",
                         "-out", ca + "-server.csr"}) &&
           Openssl(dir, {"x509", "-req", "-in", ca + "-server.csr", "-CA", ca + ".crt", "-CAkey", ca + ".key",
                         "-CAcreateserial", "-days", "2", "-extfile", "san.ext", "-out", ca + "-server.crt"});
}

TEST(WatchMqtt, TlsWithTheBrokersCaConnectsAndWithAnotherCaIsRefused) {
    if (!BrokerInstalled() || Program("openssl").isEmpty()) GTEST_SKIP() << "mosquitto or openssl is not installed";
    QTemporaryDir dir;
    QFile san(dir.filePath("san.ext"));
    ASSERT_TRUE(san.open(QIODevice::WriteOnly));
    san.write("subjectAltName=DNS:localhost,IP:127.0.0.1\n");
    san.close();
    ASSERT_TRUE(MakeCertificates(dir, "broker-ca") && MakeCertificates(dir, "other-ca"));
    Broker broker(FreePort(), QStringLiteral("allow_anonymous true\ncafile %1\ncertfile %2\nkeyfile %3\n")
                                  .arg(dir.filePath("broker-ca.crt"), dir.filePath("broker-ca-server.crt"),
                                       dir.filePath("broker-ca-server.key")));
    ASSERT_TRUE(broker.start());
    const QString endpoint = QStringLiteral("localhost:%1").arg(broker.port());

    const CliRun trusted = RunCli({"watch", "--simulate", "--every", "1s", "--cycles", "1", "--mqtt", endpoint,
                                   "--mqtt-tls", dir.filePath("broker-ca.crt"), "1"});
    EXPECT_EQ(trusted.exitCode, 0) << trusted.err.toStdString();
    EXPECT_TRUE(trusted.err.contains("MQTT: connected to")) << trusted.err.toStdString();

    const CliRun untrusted = RunCli({"watch", "--simulate", "--every", "1s", "--cycles", "1", "--mqtt", endpoint,
                                     "--mqtt-tls", dir.filePath("other-ca.crt"), "1"});
    EXPECT_EQ(untrusted.exitCode, 3) << untrusted.err.toStdString();
    EXPECT_TRUE(untrusted.err.contains("TLS")) << untrusted.err.toStdString();
    EXPECT_FALSE(untrusted.err.contains("watch: cycle")) << "refused before anything is read";
}

TEST(WatchCli, WithoutABrokerEachReadingAndEachFailureIsAJsonLine) {
    const CliRun run = RunCli({"watch", "--simulate", "--every", "1s", "--cycles", "2", "--timeout", "300", "1", "7"});
    EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();  // address 7 is silent
    int states = 0, errors = 0;
    for (const QByteArray& line : run.out.split('\n')) {
        if (line.isEmpty()) continue;
        const QJsonObject message = QJsonDocument::fromJson(line).object();
        ASSERT_FALSE(message.isEmpty()) << line.toStdString();
        if (message.contains("error")) {
            ++errors;
            EXPECT_EQ(message["error"].toString(), "No response from address 7");
            EXPECT_EQ(message["address"].toInt(), 7);
        } else {
            ++states;
            EXPECT_EQ(message["main"].toObject()["value"].toDouble(), 12345);
        }
    }
    EXPECT_EQ(states, 2);
    EXPECT_EQ(errors, 2);
    EXPECT_TRUE(run.err.contains("watch: cycle 2: 1 of 2 meter(s) read; not read: 7"));
}

TEST(WatchCli, ATableTheProgramExportedNamesTheMeters) {
    QTemporaryDir dir;
    const QString table = dir.filePath("meters.csv");
    ASSERT_EQ(RunCli({"read", "1", "2", "15", "--simulate", "--csv", table}).exitCode, 0);
    const CliRun run = RunCli({"watch", "--simulate", "--every", "1s", "--cycles", "1", "--table", table});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    std::set<QString> ids;
    for (const QByteArray& line : run.out.split('\n'))
        if (!line.isEmpty()) ids.insert(QJsonDocument::fromJson(line).object()["id"].toString());
    EXPECT_EQ(ids, (std::set<QString>{"40112301", "51200417", "24681357"}));
}

TEST(WatchCli, ReadingsThatNeverReachedTheBrokerAreNotASuccess) {
    const CliRun run = RunCli({"watch", "--simulate", "--every", "1s", "--cycles", "1", "--mqtt",
                               QStringLiteral("127.0.0.1:%1").arg(FreePort()), "1"});
    EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("watch: cycle 1: 1 of 1 meter(s) read")) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("1 message(s) were not delivered")) << run.err.toStdString();
}

TEST(WatchCli, ALinkNotThereAtTheStartEndsWithItsOwnCode) {
    // A service manager starts it again for this, not for wrong arguments (2) or credentials (3).
    const CliRun run = RunCli({"watch", "1", "--every", "1s", "--link", QStringLiteral("bridge:127.0.0.1:%1").arg(FreePort())});
    EXPECT_EQ(run.exitCode, 4) << run.err.toStdString();
    EXPECT_FALSE(run.err.contains("watch: cycle")) << run.err.toStdString();
}

TEST(WatchCli, RefusesWhatCannotWork) {
    struct Case {
        QStringList arguments;
        const char* message;
    };
    const Case cases[] = {
        {{"watch", "1", "--simulate"}, "watch needs --every"},
        {{"watch", "1", "--every", "0s"}, "--every needs a duration"},
        {{"watch", "1", "--every", "15x"}, "--every needs a duration"},
        {{"watch", "251", "--every", "1m"}, "primary address must be 0 to 250"},
        {{"watch", "--id", "1234567X", "--every", "1m"}, "1234567X"},
        {{"watch", "1", "--every", "1m", "--mqtt-user", "u"}, "--mqtt-user needs --mqtt"},
        {{"watch", "1", "--every", "1m", "--mqtt", "host:99999"}, "--mqtt port must be 1 to 65535"},
        {{"watch", "1", "--every", "1m", "--mqtt", "host", "--topic", "a/#"}, "wildcards"},
        {{"watch", "1", "--every", "1m", "--mqtt", "host", "--mqtt-tls", "/nonexistent/ca.crt"}, "cannot read the CA file"},
        {{"watch", "1", "--every", "1m", "--mqtt", "host", "--mqtt-password-file", "/nonexistent/pw"}, "cannot read the password file"},
    };
    for (const Case& c : cases) {
        const CliRun run = RunCli(c.arguments);
        EXPECT_EQ(run.exitCode, 2) << c.arguments.join(' ').toStdString();
        EXPECT_TRUE(run.err.contains(c.message)) << c.arguments.join(' ').toStdString() << ": " << run.err.toStdString();
    }
}

} // namespace
} // namespace veltro::test
