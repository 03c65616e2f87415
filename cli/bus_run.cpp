#include "bus_run.h"

#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <limits>

#include "app/atomic_file.h"
#include "app/record_json.h"
#include "link/bridge_channel.h"
#include "meters/table_file.h"

namespace veltro::cli {

namespace {

std::string Cell(const MeterTable& table, int row, int column) { return table.cell(row, column); }

bool RowIsEmpty(const MeterTable& table, int row) {
    for (int c = 0; c < table.columnCount(); ++c)
        if (!table.cell(row, c).empty()) return false;
    return true;
}

} // namespace

std::optional<int> Number(const std::string& text, int lowest, int highest) {
    if (text.empty() || text.size() > 6) return std::nullopt;
    for (char c : text)
        if (c < '0' || c > '9') return std::nullopt;
    const int value = std::stoi(text);
    if (value < lowest || value > highest) return std::nullopt;
    return value;
}

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
        } else if (a == "--simulate=gateway" || a == "--simulate=gateway-server") {
            options.simulate = true;
            options.simulatedRole = a == "--simulate=gateway" ? sim::BackgroundBridge::Role::Gateway
                                                             : sim::BackgroundBridge::Role::GatewayCaller;
        } else if (a == "--wait-gateway") {
            auto v = value("--wait-gateway");
            if (!v) return std::nullopt;
            const auto seconds = Number(*v, 1, 3600);
            if (!seconds) {
                error = "--wait-gateway needs seconds (1 to 3600): " + *v;
                return std::nullopt;
            }
            options.waitGateway = *seconds;
        } else if (a == "--timeout") {
            auto v = value("--timeout");
            if (!v) return std::nullopt;
            options.timeout = Number(*v, 1, 600000);
            if (!options.timeout) {
                error = "--timeout needs milliseconds (1 to 600000): " + *v;
                return std::nullopt;
            }
        } else if (a == "--fast") {
            options.fast = true;
        } else if (a == "--fast-allowance") {
            auto v = value("--fast-allowance");
            if (!v) return std::nullopt;
            options.fastAllowance = Number(*v, 0, kFastAllowanceHighest);
            if (!options.fastAllowance) {
                error = "--fast-allowance needs milliseconds (0 to " + std::to_string(kFastAllowanceHighest) + "): " + *v;
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

namespace {
volatile std::sig_atomic_t g_stopSignal = 0;
extern "C" void OnStopSignal(int) { g_stopSignal = 1; }
} // namespace

StopOnSignals::StopOnSignals(std::function<void()> stop) {
    g_stopSignal = 0;
    m_previousInt = std::signal(SIGINT, OnStopSignal);
    m_previousTerm = std::signal(SIGTERM, OnStopSignal);
    m_poll.setInterval(20);
    QObject::connect(&m_poll, &QTimer::timeout, [this, stop = std::move(stop)] {
        if (!g_stopSignal || m_stopped) return;
        m_stopped = true;
        stop();
    });
    m_poll.start();
}

StopOnSignals::~StopOnSignals() {
    std::signal(SIGINT, m_previousInt);
    std::signal(SIGTERM, m_previousTerm);
}

int BadArguments(const std::string& reason) {
    std::cerr << "veltro-cli: " << reason << "\n";
    return kBadArguments;
}

bool Confirmed(const BusOptions& options, const std::string& change, const std::string& question, std::string& error) {
    if (options.flags.count("--yes")) return true;
    if (!isatty(STDIN_FILENO)) {
        error = change + " needs --yes (no terminal to ask)";
        return false;
    }
    std::cerr << question << " Continue? [y/N] " << std::flush;
    std::string answer;
    std::getline(std::cin, answer);
    if (answer == "y" || answer == "Y" || answer == "yes") return true;
    error = "not confirmed, nothing was changed";
    return false;
}

// Long enough for any operation to end by itself; a safety net, not a pace.
int OperationLimitMs(Engine& engine, long long windows) {
    // The bridge's connect wait ("Ethernet timeout" + 1 steps of 10 ms) comes before the first window.
    const long long connectWait =
        (std::max(0, engine.settings().settings().vodud.ethTimeout) + 1LL) * BridgeChannel::kWaitStepMilliseconds;
    const long long limit = std::max(5000LL, engine.meters().responseWindow() * windows + 5000) + connectWait;
    return static_cast<int>(std::min<long long>(limit, std::numeric_limits<int>::max()));
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

DecodedMeters::DecodedMeters(MeterPage& meters) {
    QObject::connect(&meters, &MeterPage::responseDecoded, &m_context, [this](const MeterResponse& response) {
        JsonWriter json;
        WriteMeterObject(json, response);
        m_objects.push_back(json.text());
    });
}

void DecodedMeters::write(JsonWriter& json) const {
    json.key("meters").beginArray();
    for (const std::string& object : m_objects) json.json(object);
    json.endArray();
}

// `extra` adds the command's own keys after the table.
void PrintJson(Engine& engine, const std::function<void(JsonWriter&)>& extra) {
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
                       const std::function<void(JsonWriter&)>& extraJson) {
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

} // namespace veltro::cli
