#include "configure_commands.h"

#include <cstdio>
#include <fstream>

#include "bus_run.h"
#include "cli_input.h"
#include "mbus/address.h"
#include "mbus/hex.h"
#include "meters/configuration_telegrams.h"
#include "meters/meter_configuration.h"
#include "device_tables.h"
#include "meters/table_file.h"

namespace veltro::cli {
namespace {

// The meters a command changes, as given: by primary address, by identification, or by broadcast.
struct Targets {
    std::vector<std::string> addresses;
    std::vector<std::string> ids;
    bool broadcast = false;
    std::size_t count() const { return broadcast ? 1 : addresses.size() + ids.size(); }
};

std::optional<Targets> ParseTargets(const BusOptions& options, std::string& error) {
    Targets targets;
    const bool byAddress = options.values.count("--address") > 0;
    const bool byId = options.values.count("--id") > 0;
    targets.broadcast = options.flags.count("--broadcast") > 0;
    if (byAddress + byId + targets.broadcast != 1) {
        error = "give one of --address A[,A...], --id ID[,ID...] and --broadcast";
        return std::nullopt;
    }
    if (byAddress) {
        for (const auto& a : SplitCommaList(options.values.at("--address"))) {
            if (!ParseTargetAddress(a, 0, kLastMeterAddress)) {
                error = "primary address must be 0 to 250: " + a;
                return std::nullopt;
            }
            targets.addresses.push_back(std::to_string(*ParseTargetAddress(a, 0, kLastMeterAddress)));
        }
    }
    if (byId) {
        for (const auto& id : SplitCommaList(options.values.at("--id"))) {
            const auto checked = CheckIdentification(id);
            if (!checked) {
                error = checked.refusal + ": " + id;
                return std::nullopt;
            }
            targets.ids.push_back(*checked.value);
        }
    }
    if (targets.count() == 0) {
        error = "no target given";
        return std::nullopt;
    }
    return targets;
}

// What was written to the link, for --json.
class SentTelegrams {
public:
    explicit SentTelegrams(Engine& engine) {
        QObject::connect(&engine.link(), &LinkFacade::telegramWritten,
                         [this](const Telegram& telegram) { m_sent.push_back(TrimmedHex(telegram)); });
    }
    const std::vector<std::string>& sent() const { return m_sent; }

private:
    static std::string TrimmedHex(const Telegram& telegram) {
        std::string text = HexRendering(telegram);
        while (!text.empty() && text.back() == ' ') text.pop_back();
        return text;
    }
    std::vector<std::string> m_sent;
};

bool LogHasSince(Engine& engine, qsizetype from, const QString& prefix) {
    const QStringList& lines = engine.log().lines();
    for (qsizetype i = from; i < lines.size(); ++i)
        if (lines[i].startsWith(prefix)) return true;
    return false;
}

int RowOfId(const MeterTable& table, const std::string& id) {
    for (int r : MeterRows(table))
        if (table.cell(r, 0) == id) return r;
    return -1;
}

// Reads every target so its row holds what the meter says of itself (ID, address, medium, maker);
// a target without a valid answer is named in `silent`. Rows in target order.
std::vector<int> ReadTargets(BusRun& run, const Targets& targets, std::string& silent, std::string& error) {
    Engine& engine = run.engine();
    MeterPage& meters = engine.meters();
    std::vector<int> rows;
    auto note = [&silent](const std::string& target) { silent += (silent.empty() ? "" : ", ") + target; };
    if (targets.broadcast) {
        meters.replaceRows({{}, {}});
        return {1};
    }
    if (!targets.addresses.empty()) {
        std::vector<std::vector<std::string>> table;
        for (const auto& a : targets.addresses) table.push_back({"", a});
        meters.replaceRows(table);
        if (run.runToEnd([&] { meters.readAll(); }, OperationLimitMs(engine, static_cast<long long>(table.size()) * 3), error) ==
            BusRun::End::LinkFailed)
            return {};
        for (std::size_t i = 0; i < targets.addresses.size(); ++i) {
            const int row = static_cast<int>(i) + 1;
            if (!Answered(meters.table(), row)) note(targets.addresses[i]);
            rows.push_back(row);
        }
        return rows;
    }
    meters.clearTable();
    for (const auto& id : targets.ids) {
        if (run.runToEnd([&] { meters.findId(id); }, OperationLimitMs(engine, 6), error) == BusRun::End::LinkFailed) return {};
        const int row = RowOfId(meters.table(), id);
        if (row < 0) note(id);
        rows.push_back(row);
    }
    return rows;
}

void FlagOnly(MeterPage& meters, int row) {
    for (int r = 1; r < meters.table().rowCount(); ++r) meters.setRowSelected(r, r == row);
    meters.selectCell(row, 0);
}

std::string TargetName(const Targets& targets, std::size_t index) {
    if (targets.broadcast) return "broadcast";
    return index < targets.addresses.size() ? targets.addresses[index] : targets.ids[index - targets.addresses.size()];
}

struct Command {
    std::string usage;  // the arguments after the command's name
    std::size_t values = 0;
    std::function<void(MeterConfiguration&, const std::vector<QString>&)> run;
    // Checks the values before anything is opened; the refusal's text, or empty.
    std::function<std::string(const std::vector<std::string>&)> check;
};

std::string RefusalOf(const auto& checked) { return checked ? std::string() : checked.refusal.empty() ? "refused" : checked.refusal; }

const std::map<std::string, Command>& Commands() {
    static const std::map<std::string, Command> commands{
        {"reset", {"", 0, [](MeterConfiguration& c, const auto&) { c.reset(); }, [](const auto&) { return std::string(); }}},
        {"set-address",
         {"N", 1, [](MeterConfiguration& c, const auto& v) { c.setAddress(v[0]); },
          [](const auto& v) { return RefusalOf(CheckNewAddress(v[0])); }}},
        {"set-id",
         {"ID", 1, [](MeterConfiguration& c, const auto& v) { c.setIdentification(v[0]); },
          [](const auto& v) { return RefusalOf(CheckIdentification(v[0])); }}},
        {"set-baud",
         {"BAUD", 1, [](MeterConfiguration& c, const auto& v) { c.setBaud(v[0]); },
          [](const auto& v) { return RefusalOf(CheckBaud(v[0])); }}},
        {"set-medium",
         {"NAME", 1, [](MeterConfiguration& c, const auto& v) { c.setMedium(v[0]); },
          [](const auto& v) { return v[0].empty() ? std::string(kIncompleteMedium) : std::string(); }}},
        {"set-unit",
         {"UNIT MULT", 2, [](MeterConfiguration& c, const auto& v) { c.setUnit(v[0], v[1], {}); },
          [](const auto& v) { return RefusalOf(CheckUnit(v[0], v[1])); }}},
        {"set-pulse",
         {"WIDTH", 1, [](MeterConfiguration& c, const auto& v) { c.setPulseWidth(v[0]); },
          [](const auto& v) { return v[0].empty() ? std::string(kWrongPulseWidth) : std::string(); }}},
        {"set-counter",
         {"VALUE", 1, [](MeterConfiguration& c, const auto& v) { c.setPulseValue(v[0]); },
          [](const auto& v) { return RefusalOf(CheckPulseValue(v[0])); }}},
        {"set-counter-type",
         {"incremental|single|independent", 1, [](MeterConfiguration& c, const auto& v) { c.setCounterType(v[0]); },
          [](const auto& v) { return RefusalOf(CheckCounterType(v[0])); }}},
    };
    return commands;
}

// The counter-type words of the command line to the box's items.
std::string CounterTypeItem(const std::string& word) {
    if (word == "incremental") return kCounterTypeItems[0];
    if (word == "single") return kCounterTypeItems[1];
    if (word == "independent") return kCounterTypeItems[2];
    return word;
}

// With --simulate: what the simulated bus heard and what it changed, frame by frame.
void AddSimulatorJournal(BusRun& run, JsonWriter& json) {
    sim::BackgroundBridge* simulator = run.simulator();
    if (!simulator) return;
    json.key("simulator").beginObject();
    json.key("journal").beginArray();
    for (const auto& entry : simulator->bus().journal()) json.json(sim::JournalJsonLine(entry));
    json.endArray();
    json.endObject();
}

void PrintResults(const std::vector<std::pair<std::string, std::string>>& results) {
    for (const auto& [target, result] : results) std::cout << target << ": " << result << "\n";
}

} // namespace

int ConfigureCommand(const std::string& name, const std::vector<std::string>& arguments) {
    const auto found = Commands().find(name);
    if (found == Commands().end()) return BadArguments("unknown command " + name);
    const Command& command = found->second;
    std::string error;
    auto options = ParseBusOptions(arguments, {"--broadcast", "--yes", "--json"}, {"--address", "--id", "--relay"}, error);
    if (!options) return BadArguments(error);
    if (options->positional.size() != command.values)
        return BadArguments(name + " needs " + (command.usage.empty() ? std::string("no value") : command.usage));
    std::vector<std::string> values = options->positional;
    if (name == "set-counter-type") values[0] = CounterTypeItem(values[0]);
    const bool relay = options->values.count("--relay") > 0;
    if (relay && name != "set-unit") return BadArguments("--relay belongs to set-unit");
    if (const std::string refusal = command.check(values); !refusal.empty()) {
        std::cerr << refusal << "\n";
        return kBadArguments;
    }
    if (relay) {
        if (const auto value = CheckRelayValue(options->values.at("--relay")); !value) {
            std::cerr << value.refusal << "\n";
            return kBadArguments;
        }
    }
    const auto targets = ParseTargets(*options, error);
    if (!targets) return BadArguments(error);
    if (name == "set-address" && targets->count() != 1) return BadArguments("set-address changes one meter at a time");
    if (name == "set-id" && targets->count() != 1) return BadArguments("set-id changes one meter at a time");
    if (!Confirmed(*options, "changing meters", name + " on " + std::to_string(targets->count()) + (targets->count() == 1 ? " meter." : " meters."), error))
        return BadArguments(error);

    BusRun run;
    if (!run.prepare(*options, options->flags.count("--json") > 0, error)) return BadArguments(error);
    Engine& engine = run.engine();
    SentTelegrams sent(engine);
    MeterPage& meters = engine.meters();
    std::string silent;
    const std::vector<int> rows = ReadTargets(run, *targets, silent, error);
    if (rows.empty()) return BadArguments(error.empty() ? run.lastLogLine() : error);
    if (!silent.empty()) {
        std::cerr << "veltro-cli: no answer from " << silent << "; nothing was changed\n";
        return kNotAllRead;
    }

    MeterConfiguration& configuration = engine.configuration();
    configuration.setRelay(relay);
    meters.setBroadcast(targets->broadcast);
    std::vector<QString> qvalues;
    for (const auto& v : values) qvalues.push_back(QString::fromStdString(v));
    std::vector<std::pair<std::string, std::string>> results;
    bool allAnswered = true;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        FlagOnly(meters, rows[i]);
        const qsizetype from = engine.log().lines().size();
        const BusRun::End end = run.runToEnd(
            [&] {
                if (relay) configuration.setUnit(qvalues[0], qvalues[1], QString::fromStdString(options->values.at("--relay")));
                else command.run(configuration, qvalues);
            },
            OperationLimitMs(engine, 4), error);
        if (end == BusRun::End::LinkFailed) return BadArguments(error);
        const bool silentNow = end == BusRun::End::Cut || LogHasSince(engine, from, QStringLiteral("No response from"));
        const bool refused = !silentNow && !LogHasSince(engine, from, QStringLiteral("0xE5")) &&
                             !LogHasSince(engine, from, QStringLiteral("Respond: "));
        results.emplace_back(TargetName(*targets, i), silentNow ? "no answer" : refused ? "refused" : "done");
        if (silentNow || refused) allAnswered = false;
    }

    if (options->flags.count("--json")) {
        PrintJson(engine, [&](JsonWriter& json) {
            json.key("sent").strings(sent.sent());
            json.key("results").beginArray();
            for (const auto& [target, result] : results) {
                json.beginObject();
                json.key("target").value(target);
                json.key("result").value(result);
                json.endObject();
            }
            json.endArray();
            AddSimulatorJournal(run, json);
        });
    } else {
        PrintResults(results);
        PrintTable(meters.table());
    }
    return allAnswered ? 0 : kNotAllRead;
}

int AutoAddressCommand(const std::vector<std::string>& arguments) {
    std::string error;
    auto options = ParseBusOptions(arguments, {"--table-addresses", "--yes", "--json"}, {"--start", "--id", "--table"}, error);
    if (!options) return BadArguments(error);
    if (!options->positional.empty()) return BadArguments("unexpected argument " + options->positional[0]);
    int start = 1;
    if (options->values.count("--start")) {
        const auto n = Number(options->values.at("--start"), 1, kHighestNewAddress);
        if (!n) return BadArguments("--start must be 1 to 249: " + options->values.at("--start"));
        start = *n;
    }
    const bool byId = options->values.count("--id") > 0;
    const bool byTable = options->values.count("--table") > 0;
    if (byId == byTable) return BadArguments("give --id ID[,ID...] or --table FILE");
    Targets targets;
    std::vector<std::vector<std::string>> tableRows;
    if (byId) {
        const auto parsed = ParseTargets(*options, error);
        if (!parsed) return BadArguments(error);
        targets = *parsed;
    } else {
        const auto text = ReadTableFile(options->values.at("--table"), error);
        if (!text) return BadArguments(error);
        if (text->size() > kMaxImportFileSize) return BadArguments("the table file is too large");
        const ImportedTable imported = ParseImportText(*text, ';');
        if (imported.refusal != ImportRefusal::None || imported.rows.empty())
            return BadArguments("not a table exported by the program: " + options->values.at("--table"));
        tableRows = imported.rows;
    }
    if (!Confirmed(*options, "changing meters", "auto-address gives every meter of the table a new primary address.", error))
        return BadArguments(error);

    BusRun run;
    if (!run.prepare(*options, options->flags.count("--json") > 0, error)) return BadArguments(error);
    Engine& engine = run.engine();
    SentTelegrams sent(engine);
    MeterPage& meters = engine.meters();
    if (byId) {
        std::string silent;
        if (ReadTargets(run, targets, silent, error).empty()) return BadArguments(error.empty() ? run.lastLogLine() : error);
        if (!silent.empty()) {
            std::cerr << "veltro-cli: no answer from " << silent << "; nothing was changed\n";
            return kNotAllRead;
        }
    } else {
        tableRows.emplace_back();
        meters.replaceRows(tableRows);
    }
    const qsizetype from = engine.log().lines().size();
    const BusRun::End end = run.runToEnd([&] { engine.configuration().autoAddress(start, options->flags.count("--table-addresses") > 0); },
                                         OperationLimitMs(engine, 8), error);
    if (end == BusRun::End::LinkFailed) return BadArguments(error);
    if (options->flags.count("--json"))
        PrintJson(engine, [&](JsonWriter& json) {
            json.key("sent").strings(sent.sent());
            AddSimulatorJournal(run, json);
        });
    else
        PrintTable(meters.table());
    if (end == BusRun::End::Cut) {
        std::cerr << "veltro-cli: " << error << "\n";
        return kNotAllRead;
    }
    if (LogHasSince(engine, from, QStringLiteral("No response from")) ||
        LogHasSince(engine, from, QStringLiteral("Primary address can not be above 249")))
        return kNotAllRead;
    return 0;
}

} // namespace veltro::cli
