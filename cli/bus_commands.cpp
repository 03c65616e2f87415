#include "bus_commands.h"

#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <iostream>
#include <limits>
#include <map>
#include <memory>
#include <set>

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QLocale>
#include <QTimer>

#include "app/atomic_file.h"
#include "app/json_writer.h"
#include "app/live_settings.h"
#include "app/operator_interface.h"
#include "app/program_folder.h"
#include "engine/engine.h"
#include "link/bridge_channel.h"
#include "link/communication_log.h"
#include "link/free_command_console.h"
#include "link/link_spec.h"
#include "mbus/address.h"
#include "link/link_facade.h"
#include "link/operation_runner.h"
#include "meters/meter_operations.h"
#include "meters/meter_page.h"
#include "meters/search_descent.h"
#include "meters/table_file.h"
#include "sim/background_bridge.h"
#include "sim/default_bus.h"

namespace veltro::cli {
namespace {

constexpr int kNotAllRead = 1;
constexpr int kBadArguments = 2;
constexpr int kInterrupted = 130;  // the shell's code for a run ended by SIGINT

// Options shared by the bus commands, and each command's own flags and positional arguments.
struct BusOptions {
    std::string link;
    std::string home;
    bool simulate = false;
    std::optional<int> timeout;
    std::optional<int> retries;
    std::set<std::string> flags;
    std::map<std::string, std::string> values;
    std::vector<std::string> positional;
};

struct Fail {
    std::string reason;
};

std::optional<int> Number(const std::string& text, int lowest, int highest) {
    if (text.empty() || text.size() > 6) return std::nullopt;
    for (char c : text)
        if (c < '0' || c > '9') return std::nullopt;
    const int value = std::stoi(text);
    if (value < lowest || value > highest) return std::nullopt;
    return value;
}

// Parses `arguments`; `flags` are the command's switches, `valued` its options that take a value.
std::optional<BusOptions> ParseBusOptions(const std::vector<std::string>& arguments, const std::set<std::string>& flags,
                                          const std::set<std::string>& valued, std::string& error) {
    BusOptions options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        auto value = [&](const char* name) -> std::optional<std::string> {
            if (i + 1 >= arguments.size()) {
                error = std::string(name) + " needs a value";
                return std::nullopt;
            }
            return arguments[++i];
        };
        if (a == "--link") {
            auto v = value("--link");
            if (!v) return std::nullopt;
            options.link = *v;
        } else if (a == "--home") {
            auto v = value("--home");
            if (!v) return std::nullopt;
            options.home = *v;
        } else if (a == "--simulate") {
            options.simulate = true;
        } else if (a == "--timeout") {
            auto v = value("--timeout");
            if (!v) return std::nullopt;
            options.timeout = Number(*v, 1, 600000);
            if (!options.timeout) {
                error = "--timeout needs milliseconds (1 to 600000): " + *v;
                return std::nullopt;
            }
        } else if (a == "--retries") {
            auto v = value("--retries");
            if (!v) return std::nullopt;
            options.retries = Number(*v, 0, 9);
            if (!options.retries) {
                error = "--retries needs a number from 0 to 9: " + *v;
                return std::nullopt;
            }
        } else if (flags.count(a)) {
            options.flags.insert(a);
        } else if (valued.count(a)) {
            auto v = value(a.c_str());
            if (!v) return std::nullopt;
            options.values[a] = *v;
        } else if (a.size() > 1 && a[0] == '-' && !(a.size() > 1 && std::isdigit(static_cast<unsigned char>(a[1])))) {
            error = "unknown option " + a;
            return std::nullopt;
        } else {
            options.positional.push_back(a);
        }
    }
    const int sources = (!options.link.empty()) + (!options.home.empty()) + (options.simulate ? 1 : 0);
    if (sources > 1) {
        error = "give only one of --link, --home and --simulate";
        return std::nullopt;
    }
    return options;
}

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

// A bus run: the engine set up from the options, the simulated bus when asked, the log printed as it grows.
class BusRun {
public:
    bool prepare(const BusOptions& options, bool logToStandardError, std::string& error) {
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
        if (options.link.empty() && !options.simulate) {
            m_engine->settings().loadAtStart();
            m_engine->meters().applyTitles();  // the table gets the desktop program's columns
        }
        m_engine->meters().setLocale(QLocale::c());

        Settings settings = m_engine->settings().settings();
        if (options.retries) settings.misc.retry = *options.retries;
        if (options.simulate) {
            QString simError;
            m_simulator = sim::BackgroundBridge::Start(sim::DefaultBus(), {}, simError);
            if (!m_simulator) {
                error = "the simulated bus did not start: " + simError.toStdString();
                return false;
            }
            UseBridge(settings, "127.0.0.1", std::to_string(m_simulator->port()));
        } else if (!options.link.empty() && !ApplyLink(options.link, settings, error)) {
            return false;
        }
        m_engine->settings().setSettings(settings);
        if (options.timeout) m_engine->settings().setResponseWindow(*options.timeout);

        QObject::connect(&m_engine->log(), &CommunicationLog::lineAppended, [logToStandardError](const QString& line) {
            (logToStandardError ? std::cerr : std::cout) << line.toStdString() << std::endl;
        });
        return true;
    }

    Engine& engine() { return *m_engine; }

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
    std::unique_ptr<sim::BackgroundBridge> m_simulator;
    std::unique_ptr<Engine> m_engine;
};

int BadArguments(const std::string& reason) {
    std::cerr << "veltro-cli: " << reason << "\n";
    return kBadArguments;
}

// Long enough for any operation to end by itself; a safety net, not a pace.
int OperationLimitMs(Engine& engine, long long windows) {
    // The bridge's connect wait ("Ethernet timeout" + 1 steps of 10 ms) comes before the first window.
    const long long connectWait =
        (std::max(0, engine.settings().settings().vodud.ethTimeout) + 1LL) * BridgeChannel::kWaitStepMilliseconds;
    const long long limit = std::max(5000LL, engine.meters().responseWindow() * windows + 5000) + connectWait;
    return static_cast<int>(std::min<long long>(limit, std::numeric_limits<int>::max()));
}

std::string Cell(const MeterTable& table, int row, int column) { return table.cell(row, column); }

bool RowIsEmpty(const MeterTable& table, int row) {
    for (int c = 0; c < table.columnCount(); ++c)
        if (!table.cell(row, c).empty()) return false;
    return true;
}

// The meter rows: data rows without the trailing empty row.
std::vector<int> MeterRows(const MeterTable& table) {
    std::vector<int> rows;
    for (int r = 1; r < table.rowCount(); ++r)
        if (!(r == table.rowCount() - 1 && RowIsEmpty(table, r))) rows.push_back(r);
    return rows;
}

bool Answered(const MeterTable& table, int row) { return !table.cell(row, 0).empty(); }

void PrintTable(const MeterTable& table) {
    std::vector<std::size_t> widths(static_cast<std::size_t>(table.columnCount()), 0);
    const auto rows = MeterRows(table);
    for (int c = 0; c < table.columnCount(); ++c) {
        widths[static_cast<std::size_t>(c)] = table.cell(0, c).size();
        for (int r : rows) widths[static_cast<std::size_t>(c)] = std::max(widths[static_cast<std::size_t>(c)], table.cell(r, c).size());
    }
    auto line = [&](int r) {
        std::string text;
        for (int c = 0; c < table.columnCount(); ++c) {
            std::string cell = Cell(table, r, c);
            cell.resize(widths[static_cast<std::size_t>(c)], ' ');
            text += cell + " | ";
        }
        while (!text.empty() && (text.back() == ' ' || text.back() == '|')) text.pop_back();
        std::cout << text << "\n";
    };
    std::cout << "\n";
    line(0);
    for (int r : rows) line(r);
    // Rows of addresses that never answered are shown, but only meters that answered are counted.
    const auto meters = std::count_if(rows.begin(), rows.end(), [&](int r) { return Answered(table, r); });
    std::cout << meters << (meters == 1 ? " meter\n" : " meters\n");
}

// `extra` adds the command's own keys after the table.
void PrintJson(Engine& engine, const std::function<void(JsonWriter&)>& extra = {}) {
    const MeterTable& table = engine.meters().table();
    JsonWriter json;
    json.beginObject();
    std::vector<std::string> log;
    for (const QString& line : engine.log().lines()) log.push_back(line.toLatin1().toStdString());
    json.key("log").strings(log);
    json.key("columns").strings(table.rowCells(0));
    json.key("rows").beginArray();
    for (int r : MeterRows(table)) json.strings(table.rowCells(r));
    json.endArray();
    if (extra) extra(json);
    json.endObject();
    std::cout << json.text() << std::endl;
}

bool WriteCsv(Engine& engine, const std::string& path, std::string& error) {
    const Settings& s = engine.settings().settings();
    const char separator = s.misc.exportSeparator.empty() ? ';' : s.misc.exportSeparator[0];
    const char decimal = s.misc.decSeparator.empty() ? '.' : s.misc.decSeparator[0];
    const std::string text = ExportTableText(engine.meters().table(), separator, decimal, '.');
    const FileWriteResult written = WriteFileAtomically(path, text);
    if (!written.ok) error = "cannot write " + path + ": " + written.reason;
    return written.ok;
}

void ShowProgress(Engine& engine, const char* what) {
    if (!isatty(STDERR_FILENO)) return;
    QObject::connect(&engine.meters(), &MeterPage::pageStateChanged, [&engine, what] {
        const auto& p = engine.meters().pageState().progress;
        if (p.visible)
            std::fprintf(stderr, "\r%s %d/%d ", what, p.position - p.minimum, p.maximum - p.minimum);
        else
            std::fprintf(stderr, "\r%40s\r", "");
        std::fflush(stderr);
    });
}

// Finishes a table command: the table as text, JSON or CSV, and the exit code a script can trust:
// 0 when everything asked for was read, 1 when a requested meter did not answer or the run was cut.
int FinishTableCommand(BusRun& run, const BusOptions& options, bool everyRowRequested, const std::string& cut,
                       const std::function<void(JsonWriter&)>& extraJson = {}) {
    const MeterTable& table = run.engine().meters().table();
    if (options.flags.count("--json"))
        PrintJson(run.engine(), extraJson);
    else
        PrintTable(table);
    if (options.values.count("--csv")) {
        std::string error;
        if (!WriteCsv(run.engine(), options.values.at("--csv"), error)) return BadArguments(error);
    }
    if (!cut.empty()) {
        std::cerr << "veltro-cli: " << cut << "\n";
        return kNotAllRead;
    }
    std::string silent;
    for (int r : MeterRows(table))
        if (everyRowRequested && !Answered(table, r)) silent += (silent.empty() ? "" : ", ") + table.cell(r, MeterTable::kAddressColumn);
    if (silent.empty()) return 0;
    std::cerr << "veltro-cli: no answer from " << silent << "\n";
    return kNotAllRead;
}

} // namespace

int SendCommand(const std::vector<std::string>& arguments) {
    std::string error;
    auto options = ParseBusOptions(arguments, {"--hex", "--ascii"}, {}, error);
    if (!options) return BadArguments(error);
    if (options->positional.empty()) return BadArguments("send needs the text to send");
    if (options->flags.count("--hex") && options->flags.count("--ascii")) return BadArguments("give --hex or --ascii, not both");
    std::string text;
    for (const auto& p : options->positional) text += (text.empty() ? "" : " ") + p;

    BusRun run;
    if (!run.prepare(*options, false, error)) return BadArguments(error);
    FreeCommandConsole& console = run.engine().console();
    console.setMode(options->flags.count("--ascii") ? ConsoleMode::Ascii : ConsoleMode::Hex);
    const auto linesBefore = run.engine().log().lines().size();
    bool sent = false;
    const bool ended =
        run.runToEnd([&] { sent = console.send(QString::fromStdString(text)); }, OperationLimitMs(run.engine(), 2), error) ==
        BusRun::End::Ended;
    if (!sent || !ended) {
        const bool said = run.engine().log().lines().size() > linesBefore;
        return BadArguments(!error.empty() ? error : said ? run.lastLogLine() : "no usable link");
    }
    return 0;
}

int RequestCommand(const std::vector<std::string>& arguments) {
    std::string error;
    auto options = ParseBusOptions(arguments, {"--nke", "--5b", "--multi", "--broadcast", "--full", "--json"}, {}, error);
    if (!options) return BadArguments(error);
    if (options->positional.size() != 1) return BadArguments("request needs one primary address (0-250)");
    const auto address = ParseTargetAddress(options->positional[0], 0, kLastMeterAddress);
    if (!address) return BadArguments("primary address must be 0 to 250: " + options->positional[0]);

    BusRun run;
    if (!run.prepare(*options, options->flags.count("--json") > 0, error)) return BadArguments(error);
    Engine& engine = run.engine();
    Settings settings = engine.settings().settings();
    if (options->flags.count("--5b")) settings.misc.use5B = true;
    if (options->flags.count("--multi")) settings.misc.multitelegram = true;
    engine.settings().setSettings(settings);
    MeterPage& meters = engine.meters();
    // The meter's row: a read by address rewrites the rows holding that address.
    meters.replaceRows({{"", std::to_string(*address)}, {}});
    SingleRead::Request request;
    request.addressText = QString::number(*address);
    request.target = *address;
    request.broadcast = options->flags.count("--broadcast") > 0;
    request.useSndNke = options->flags.count("--nke") > 0;
    request.fullRead = options->flags.count("--full") > 0;
    request.multiTelegram = settings.misc.multitelegram;
    request.use5B = settings.misc.use5B;
    const bool full = request.fullRead;
    const std::size_t reportLines = meters.report().log().size();
    const BusRun::End end =
        run.runToEnd([&] { engine.runner().start(new SingleRead(meters, std::move(request))); }, OperationLimitMs(engine, 12), error);
    if (end == BusRun::End::LinkFailed) return BadArguments(error);
    if (!full) return FinishTableCommand(run, *options, true, error);
    // A full read fills the detailed report, not the table.
    if (!options->flags.count("--json")) {
        std::cout << "\nDetailed m-bus report:\n";
        for (const auto& line : meters.report().log()) std::cout << line << "\n";
    } else {
        FinishTableCommand(run, *options, false, {});
    }
    if (end == BusRun::End::Cut || meters.report().log().size() == reportLines) {
        std::cerr << "veltro-cli: " << (error.empty() ? "no answer from " + std::to_string(*address) : error) << "\n";
        return kNotAllRead;
    }
    return 0;
}

int ScanCommand(const std::vector<std::string>& arguments) {
    std::string error;
    auto options = ParseBusOptions(arguments, {"--nke", "--5b", "--global-init", "--json"}, {"--from", "--to", "--csv"}, error);
    if (!options) return BadArguments(error);
    if (!options->positional.empty()) return BadArguments("unexpected argument " + options->positional[0]);
    if (options->flags.count("--json") && options->values.count("--csv")) return BadArguments("give --json or --csv, not both");
    std::optional<int> from, to;
    if (options->values.count("--from")) {
        from = Number(options->values["--from"], 0, kLastScanAddress);
        if (!from) return BadArguments("--from must be 0 to 255: " + options->values["--from"]);
    }
    if (options->values.count("--to")) {
        to = Number(options->values["--to"], 0, kLastScanAddress);
        if (!to) return BadArguments("--to must be 0 to 255: " + options->values["--to"]);
    }

    BusRun run;
    if (!run.prepare(*options, options->flags.count("--json") > 0, error)) return BadArguments(error);
    Engine& engine = run.engine();
    if (!from) from = engine.settings().mainWindow().searchFrom;
    if (!to) to = engine.settings().mainWindow().searchTo;
    Settings settings = engine.settings().settings();
    if (options->flags.count("--5b")) settings.misc.use5B = true;
    if (options->flags.count("--global-init")) settings.misc.globalInit = true;
    engine.settings().setSettings(settings);
    MeterPage& meters = engine.meters();
    meters.setUseSndNke(options->flags.count("--nke") > 0);
    ShowProgress(engine, "scan");

    const int addresses = std::abs(*to - *from) + 1;
    const BusRun::End end = run.runToEnd([&] { meters.findPrimary(from, to); },
                                         OperationLimitMs(engine, addresses * (settings.misc.retry + 2LL)) + MeterPage::kGlobalInitWaitMilliseconds, error);
    if (end == BusRun::End::LinkFailed) return BadArguments(error);
    return FinishTableCommand(run, *options, false, error);
}

int ReadCommand(const std::vector<std::string>& arguments) {
    std::string error;
    auto options = ParseBusOptions(arguments, {"--5b", "--json"}, {"--csv"}, error);
    if (!options) return BadArguments(error);
    if (options->positional.empty()) return BadArguments("read needs one or more primary addresses (0-250)");
    if (options->flags.count("--json") && options->values.count("--csv")) return BadArguments("give --json or --csv, not both");
    std::vector<std::vector<std::string>> rows;
    for (const auto& text : options->positional) {
        if (!ParseTargetAddress(text, 0, kLastMeterAddress)) return BadArguments("primary address must be 0 to 250: " + text);
        rows.push_back({"", text});
    }
    if (rows.size() >= static_cast<std::size_t>(MeterTable::kMaxRows)) return BadArguments("at most 449 addresses");

    BusRun run;
    if (!run.prepare(*options, options->flags.count("--json") > 0, error)) return BadArguments(error);
    Engine& engine = run.engine();
    Settings settings = engine.settings().settings();
    if (options->flags.count("--5b")) settings.misc.use5B = true;
    engine.settings().setSettings(settings);
    MeterPage& meters = engine.meters();
    meters.replaceRows(rows);
    ShowProgress(engine, "read");

    const BusRun::End end =
        run.runToEnd([&] { meters.readAll(); }, OperationLimitMs(engine, static_cast<long long>(rows.size()) * (settings.misc.retry + 2)), error);
    if (end == BusRun::End::LinkFailed) return BadArguments(error);
    return FinishTableCommand(run, *options, true, error);
}

namespace {

volatile std::sig_atomic_t g_stopSignal = 0;

extern "C" void OnStopSignal(int) { g_stopSignal = 1; }

// SIGINT and SIGTERM are "Stop secondary" while a search runs: it ends after the probe in progress and
// what it found so far is printed.
class StopOnSignals {
public:
    explicit StopOnSignals(MeterPage& meters) {
        g_stopSignal = 0;
        m_previousInt = std::signal(SIGINT, OnStopSignal);
        m_previousTerm = std::signal(SIGTERM, OnStopSignal);
        m_poll.setInterval(20);
        QObject::connect(&m_poll, &QTimer::timeout, [this, &meters] {
            if (!g_stopSignal || m_stopped) return;
            m_stopped = true;
            meters.stopSecondary();
        });
        m_poll.start();
    }
    ~StopOnSignals() {
        std::signal(SIGINT, m_previousInt);
        std::signal(SIGTERM, m_previousTerm);
    }
    bool stopped() const { return m_stopped; }

private:
    QTimer m_poll;
    bool m_stopped = false;
    void (*m_previousInt)(int) = nullptr;
    void (*m_previousTerm)(int) = nullptr;
};

const char* DirectionText(SearchDirection direction) { return direction == SearchDirection::LsbFirst ? "lsb" : "msb"; }

} // namespace

int SearchCommand(const std::vector<std::string>& arguments) {
    std::string error;
    auto options = ParseBusOptions(arguments, {"--global-init", "--5b", "--json"}, {"--direction", "--csv"}, error);
    if (!options) return BadArguments(error);
    if (options->positional.size() > 1) return BadArguments("search takes at most one identification");
    if (options->flags.count("--json") && options->values.count("--csv")) return BadArguments("give --json or --csv, not both");
    const std::string id = options->positional.empty() ? std::string("FFFFFFFF") : options->positional[0];
    const IdFieldCheck check = CheckIdField(id);
    if (check.request == IdFieldRequest::Refused) {
        for (const auto& line : check.log) std::cerr << line << "\n";
        return kBadArguments;
    }
    std::optional<SearchDirection> direction;
    if (options->values.count("--direction")) {
        const std::string& text = options->values["--direction"];
        if (text == "msb") direction = SearchDirection::MsbFirst;
        else if (text == "lsb") direction = SearchDirection::LsbFirst;
        else return BadArguments("--direction must be msb or lsb: " + text);
    }

    BusRun run;
    if (!run.prepare(*options, options->flags.count("--json") > 0, error)) return BadArguments(error);
    Engine& engine = run.engine();
    Settings settings = engine.settings().settings();
    if (direction) {
        settings.misc.lsbSearch = *direction == SearchDirection::LsbFirst;
        settings.misc.msbSearch = !settings.misc.lsbSearch;
    }
    if (options->flags.count("--global-init")) settings.misc.globalInit = true;
    if (options->flags.count("--5b")) settings.misc.use5B = true;
    engine.settings().setSettings(settings);
    MeterPage& meters = engine.meters();
    ShowProgress(engine, "search");
    StopOnSignals stopOnSignals(meters);

    // The descent's worst case on a bus of few meters: every mask of two levels, each answered one read.
    const long long windows = check.request == IdFieldRequest::FullSearch ? 300LL * (settings.misc.retry + 1) : 6;
    const BusRun::End end = run.runToEnd([&] { meters.findId(id); },
                                         OperationLimitMs(engine, windows) + MeterPage::kGlobalInitWaitMilliseconds, error);
    if (end == BusRun::End::LinkFailed && !meters.lastSearch()) return BadArguments(error);

    const auto& report = meters.lastSearch();
    auto statistics = [&report](JsonWriter& json) {
        if (!report) return;
        json.key("search").beginObject();
        json.key("direction").value(DirectionText(report->direction));
        json.key("retries").value(report->retries);
        json.key("probes").value(report->statistics.probes);
        json.key("reads").value(report->statistics.reads);
        json.key("collisions").value(report->statistics.collisions);
        json.key("found").value(report->statistics.found);
        json.key("elapsed_ms").value(static_cast<int>(std::min<qint64>(report->elapsedMs, std::numeric_limits<int>::max())));
        json.endObject();
    };
    const int code = FinishTableCommand(run, *options, false, end == BusRun::End::Cut ? error : std::string(), statistics);
    if (code != 0) return code;
    if (stopOnSignals.stopped()) return kInterrupted;
    if (end == BusRun::End::LinkFailed) {
        std::cerr << "veltro-cli: the link went away during the search\n";
        return kBadArguments;
    }
    if (check.request == IdFieldRequest::SingleSelection) {
        const MeterTable& table = meters.table();
        for (int r : MeterRows(table))
            if (table.cell(r, 0) == id) return 0;
        std::cerr << "veltro-cli: no answer from " << id << "\n";
        return kNotAllRead;
    }
    return 0;
}

} // namespace veltro::cli
