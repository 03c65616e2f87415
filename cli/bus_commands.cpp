#include "bus_commands.h"

#include <cstdio>
#include <limits>

#include "bus_run.h"
#include "link/free_command_console.h"
#include "mbus/address.h"
#include "meters/meter_operations.h"
#include "meters/search_descent.h"

namespace veltro::cli {

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
    const DecodedMeters decoded(meters);

    const int addresses = std::abs(*to - *from) + 1;
    const BusRun::End end = run.runToEnd([&] { meters.findPrimary(from, to); },
                                         OperationLimitMs(engine, addresses * (settings.misc.retry + 2LL)) + MeterPage::kGlobalInitWaitMilliseconds, error);
    if (end == BusRun::End::LinkFailed) return BadArguments(error);
    return FinishTableCommand(run, *options, false, error, [&decoded](JsonWriter& json) { decoded.write(json); });
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
    const DecodedMeters decoded(meters);

    const BusRun::End end =
        run.runToEnd([&] { meters.readAll(); }, OperationLimitMs(engine, static_cast<long long>(rows.size()) * (settings.misc.retry + 2)), error);
    if (end == BusRun::End::LinkFailed) return BadArguments(error);
    return FinishTableCommand(run, *options, true, error, [&decoded](JsonWriter& json) { decoded.write(json); });
}

namespace {

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
    StopOnSignals stopOnSignals([&meters] { meters.stopSecondary(); });

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
