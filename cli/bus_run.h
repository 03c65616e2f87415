#pragma once

#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QLocale>
#include <QTcpServer>
#include <QThread>
#include <QTimer>

#include "app/live_settings.h"
#include "app/operator_interface.h"
#include "app/program_folder.h"
#include "engine/engine.h"
#include "app/json_writer.h"
#include "link/communication_log.h"
#include "link/gateway_channels.h"
#include "link/gateway_session.h"
#include "link/link_facade.h"
#include "link/link_spec.h"
#include "link/operation_runner.h"
#include "meters/meter_page.h"
#include "sim/background_bridge.h"
#include "sim/default_bus.h"
#include "sim/pty_port.h"

// What the bus commands share: their options, the engine set up from them, the run to the end of an
// operation, and the table printed as text, JSON or CSV with the exit code a script can trust.
namespace veltro::cli {

constexpr int kNotAllRead = 1;
constexpr int kBadArguments = 2;
constexpr int kInterrupted = 130;  // the shell's code for a run ended by SIGINT

// Options shared by the bus commands, and each command's own flags and positional arguments.
struct BusOptions {
    std::string link;
    std::string home;
    bool simulate = false;
    // --simulate=gateway: behind a gateway the program connects to; =gateway-server: one that calls in.
    sim::BackgroundBridge::Role simulatedRole = sim::BackgroundBridge::Role::Bridge;
    std::optional<int> timeout;
    std::optional<int> retries;
    bool fast = false;                  // --fast: "Fast response"
    std::optional<int> fastAllowance;   // --fast-allowance MS
    int waitGateway = 30;  // seconds a gateway-server link waits for a gateway to connect and greet
    std::set<std::string> flags;
    std::map<std::string, std::string> values;
    std::vector<std::string> positional;
};

std::optional<int> Number(const std::string& text, int lowest, int highest);
// Parses `arguments`; `flags` are the command's switches, `valued` its options that take a value.
std::optional<BusOptions> ParseBusOptions(const std::vector<std::string>& arguments, const std::set<std::string>& flags,
                                          const std::set<std::string>& valued, std::string& error);

// The operator of a command-line run: questions are answered as a script would want them, messages go
// to standard error.
class CliOperator final : public OperatorInterface {
public:
    Answer question(const QString&, const QString&, Buttons) override { return Answer::Yes; }
    void message(const QString& title, const QString& text, Icon) override {
        std::cerr << title.toStdString() << ": " << QString(text).replace('\n', ' ').toStdString() << "\n";
    }
    std::optional<QString> saveFileName(const QString&, const QString&, const QString&) override { return std::nullopt; }
    std::optional<QString> openFileName(const QString&, const QString&) override { return std::nullopt; }
};

// The simulated bus also behind a pseudo-terminal, on a thread of its own like the bridge, for what goes
// to the serial port whatever the link.
class SimulatedSerialPort {
public:
    SimulatedSerialPort(sim::Bus& bus, QString& error) {
        m_thread.setObjectName("mbus-sim pty");
        m_thread.start();
        m_context = new QObject;
        m_context->moveToThread(&m_thread);
        QMetaObject::invokeMethod(
            m_context,
            [this, &bus, &error] {
                auto* port = new sim::PtyPort(bus, {}, m_context);
                if (port->open()) m_path = port->slavePath();
                else error = port->errorString();
            },
            Qt::BlockingQueuedConnection);
    }
    ~SimulatedSerialPort() {
        QObject* context = m_context;
        QMetaObject::invokeMethod(context, [context] { delete context; }, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }
    SimulatedSerialPort(const SimulatedSerialPort&) = delete;
    SimulatedSerialPort& operator=(const SimulatedSerialPort&) = delete;
    // Empty when it could not be opened.
    const QString& path() const { return m_path; }

private:
    QThread m_thread;
    QObject* m_context = nullptr;
    QString m_path;
};

// A bus run: the engine set up from the options, the simulated bus when asked, the log printed as it grows.
class BusRun {
public:
    bool prepare(const BusOptions& options, bool logToStandardError, std::string& error) {
        if (!makeEngine(options, options.link.empty() && !options.simulate, error)) return false;

        Settings settings = m_engine->settings().settings();
        if (options.retries) settings.misc.retry = *options.retries;
        if (options.simulate) {
            QString simError;
            sim::BackgroundBridge::Options simulated;
            simulated.role = options.simulatedRole;
            if (simulated.role == sim::BackgroundBridge::Role::GatewayCaller) {
                // The program listens; a free port for it, which the simulated gateway calls.
                QTcpServer probe;
                if (!probe.listen(QHostAddress::LocalHost, 0)) {
                    error = "no free port to listen on: " + probe.errorString().toStdString();
                    return false;
                }
                simulated.port = probe.serverPort();
                probe.close();
            }
            m_simulator = sim::BackgroundBridge::Start(sim::DefaultBus(), simulated, simError);
            if (!m_simulator) {
                error = "the simulated bus did not start: " + simError.toStdString();
                return false;
            }
            const std::string port = std::to_string(m_simulator->port());
            switch (options.simulatedRole) {
            case sim::BackgroundBridge::Role::Bridge: UseBridge(settings, "127.0.0.1", port); break;
            case sim::BackgroundBridge::Role::Gateway:
                ApplyLinkSpec(LinkSpec{GatewayLinkSpec{"127.0.0.1", port, "0.0.0.1"}}, settings);
                break;
            case sim::BackgroundBridge::Role::GatewayCaller: ApplyLinkSpec(LinkSpec{GatewayServerLinkSpec{port}}, settings); break;
            }
        } else if (!options.link.empty() && !ApplyLink(options.link, settings, error)) {
            return false;
        }
        m_engine->settings().setSettings(settings);
        if (options.timeout) m_engine->settings().setResponseWindow(*options.timeout);
        if (options.fast || options.fastAllowance) {
            MainWindowState state = m_engine->settings().mainWindow();
            state.fastResponse = state.fastResponse || options.fast;
            if (options.fastAllowance) state.fastAllowance = *options.fastAllowance;
            m_engine->settings().setMainWindow(state);
        }

        if (m_logPrinted) printLog(logToStandardError);
        m_engine->setGreetingStartsOperations(false);
        if (m_engine->link().linkMode() == LinkMode::GatewayServer) return awaitGateway(options.waitGateway, error);
        return true;
    }

    // A run that never touches the bus: the settings file read, no link opened or listened on.
    bool prepareOffline(const BusOptions& options, bool logToStandardError, std::string& error) {
        if (!makeEngine(options, true, error)) return false;
        printLog(logToStandardError);
        return true;
    }

    // A gateway-server link: listens, and waits for a gateway to connect and greet.
    bool awaitGateway(int seconds, std::string& error) {
        GatewayServerChannel& server = m_engine->gatewayServer();
        const QString port = QString::fromStdString(m_engine->settings().settings().ethernet.listenPort);
        server.toggle(port);
        if (!server.isListening()) {
            error = lastLogLine();
            return false;
        }
        QEventLoop loop;
        QTimer limit;
        limit.setSingleShot(true);
        bool greeted = false;
        QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
        QObject::connect(&m_engine->gatewaySession(), &GatewaySession::greeted, &loop, [&] {
            greeted = true;
            loop.quit();
        });
        limit.start(seconds * 1000);
        loop.exec();
        if (greeted) return true;
        error = "no gateway connected and greeted on port " + port.toStdString() + " within " + std::to_string(seconds) + " s";
        return false;
    }

    // With --simulate: the serial port of the settings becomes a pseudo-terminal onto the same bus.
    bool simulateSerialPort(std::string& error) {
        QString failure;
        m_serialSimulator = std::make_unique<SimulatedSerialPort>(m_simulator->bus(), failure);
        if (m_serialSimulator->path().isEmpty()) {
            error = "no pseudo-terminal for the simulated serial port: " + failure.toStdString();
            return false;
        }
        Settings settings = m_engine->settings().settings();
        settings.comPort.name = m_serialSimulator->path().toStdString();
        settings.comPort.speed = "2400";
        m_engine->settings().setSettings(settings);
        return true;
    }

    // Whether prepare() prints the communication log as it grows (a long watch keeps it to itself).
    void setLogPrinted(bool printed) { m_logPrinted = printed; }

    Engine& engine() { return *m_engine; }
    // The built-in simulated bus of --simulate, or nothing.
    sim::BackgroundBridge* simulator() { return m_simulator.get(); }

    // Lets `begin` start an operation and runs the event loop until the bus is idle again. `limitMs` is
    // a safety net, not a pace: it runs anew whenever the link comes up or the log grows (a connect
    // wait, a long answer at a slow line speed), and only an operation that stays mute that long is
    // stopped. False when its link could not be had or it was stopped; the reason is in `error`.
    enum class End { Ended, LinkFailed, Cut };
    End runToEnd(const std::function<void()>& begin, int limitMs, std::string& error) {
        OperationRunner& runner = m_engine->runner();
        QEventLoop loop;
        QTimer limit;
        limit.setSingleShot(true);
        limit.setInterval(limitMs);
        bool timedOut = false;
        QObject::connect(&limit, &QTimer::timeout, &loop, [&] {
            timedOut = true;
            loop.quit();
        });
        QObject::connect(&runner, &OperationRunner::idleChanged, &loop, [&loop](bool idle) {
            if (idle) loop.quit();
        });
        QObject::connect(&m_engine->link(), &LinkFacade::acquired, &limit, qOverload<>(&QTimer::start));
        QObject::connect(&m_engine->log(), &CommunicationLog::lineAppended, &limit, qOverload<>(&QTimer::start));
        begin();
        if (!runner.idle()) {
            limit.start();
            loop.exec();
        }
        if (timedOut && !runner.idle()) {
            runner.stopCurrent();
            error = "the operation was cut after " + std::to_string(limitMs / 1000) + " s without a word from it";
            return End::Cut;
        }
        if (runner.lastOutcome() == OperationOutcome::LinkFailed) {
            error = lastLogLine();
            return End::LinkFailed;
        }
        return End::Ended;
    }

    // The last line the log got, as the reason a command could not start.
    std::string lastLogLine() const {
        const auto& lines = m_engine->log().lines();
        return lines.isEmpty() ? std::string("no usable link") : lines.back().toStdString();
    }

private:
    bool makeEngine(const BusOptions& options, bool loadSettings, std::string& error) {
        QString folder;
        if (!options.home.empty()) {
            folder = QDir(QString::fromStdString(options.home)).absolutePath();
            if (!QDir(folder).exists()) {
                error = "no such folder: " + options.home;
                return false;
            }
        } else {
            folder = ProgramFolder(QCoreApplication::arguments());
        }
        // The command-line tool reads the desktop program's settings file and never writes it.
        m_engine = std::make_unique<Engine>(IniFilePath(folder, QStringLiteral("veltro")), folder, m_operator);
        if (loadSettings) {
            m_engine->settings().loadAtStart();
            m_engine->meters().applyTitles();  // the table gets the desktop program's columns
        }
        m_engine->meters().setLocale(QLocale::c());
        return true;
    }

    void printLog(bool toStandardError) {
        QObject::connect(&m_engine->log(), &CommunicationLog::lineAppended, [toStandardError](const QString& line) {
            (toStandardError ? std::cerr : std::cout) << line.toStdString() << std::endl;
        });
    }

    static void UseBridge(Settings& settings, const std::string& host, const std::string& port) {
        ApplyLinkSpec(LinkSpec{BridgeLinkSpec{host, port}}, settings);
    }

    static bool ApplyLink(const std::string& linkText, Settings& settings, std::string& error) {
        const LinkSpecParse parsed = ParseLinkSpec(linkText);
        if (!parsed.link) {
            error = parsed.error;
            return false;
        }
        ApplyLinkSpec(*parsed.link, settings);
        return true;
    }

    CliOperator m_operator;
    bool m_logPrinted = true;
    std::unique_ptr<sim::BackgroundBridge> m_simulator;
    std::unique_ptr<SimulatedSerialPort> m_serialSimulator;  // before the bus it serves goes
    std::unique_ptr<Engine> m_engine;
};

// SIGINT and SIGTERM while a command runs: `stop` is called once (the operation ends after its window in
// progress) and the command prints what it has before it exits with kInterrupted.
class StopOnSignals {
public:
    explicit StopOnSignals(std::function<void()> stop);
    ~StopOnSignals();
    StopOnSignals(const StopOnSignals&) = delete;
    StopOnSignals& operator=(const StopOnSignals&) = delete;
    bool stopped() const { return m_stopped; }

private:
    QTimer m_poll;
    bool m_stopped = false;
    void (*m_previousInt)(int) = nullptr;
    void (*m_previousTerm)(int) = nullptr;
};

// The answers decoded during a run, for the "meters" key of the JSON output: made before the run, it
// writes each valid answer's object as the meter page decodes it, in order of arrival.
class DecodedMeters {
public:
    explicit DecodedMeters(MeterPage& meters);
    DecodedMeters(const DecodedMeters&) = delete;
    DecodedMeters& operator=(const DecodedMeters&) = delete;
    // "meters": [...]
    void write(JsonWriter& json) const;

private:
    QObject m_context;  // ends the connection with this object
    std::vector<std::string> m_objects;
};

int BadArguments(const std::string& reason);
// What the operator confirms (`change`: "changing meters"): --yes, or an answer at the terminal to
// `question`. Without either nothing is opened.
bool Confirmed(const BusOptions& options, const std::string& change, const std::string& question, std::string& error);
// Long enough for any operation to end by itself; a safety net, not a pace.
int OperationLimitMs(Engine& engine, long long windows);
// The meter rows: data rows without the trailing empty row.
std::vector<int> MeterRows(const MeterTable& table);
bool Answered(const MeterTable& table, int row);
void PrintTable(const MeterTable& table);
// `extra` adds the command's own keys after the table.
void PrintJson(Engine& engine, const std::function<void(JsonWriter&)>& extra = {});
bool WriteCsv(Engine& engine, const std::string& path, std::string& error);
void ShowProgress(Engine& engine, const char* what);
// Finishes a table command: the table as text, JSON or CSV, and the exit code a script can trust:
// 0 when everything asked for was read, 1 when a requested meter did not answer or the run was cut.
int FinishTableCommand(BusRun& run, const BusOptions& options, bool everyRowRequested, const std::string& cut,
                       const std::function<void(JsonWriter&)>& extraJson = {});

} // namespace veltro::cli
