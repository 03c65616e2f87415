#include "display_commands.h"

#include <algorithm>
#include <sstream>

#include "app/atomic_file.h"
#include "bus_run.h"
#include "device_tables.h"
#include "devices/display_answers.h"
#include "devices/display_commands.h"
#include "devices/display_engine.h"
#include "devices/display_tables.h"
#include "meters/table_file.h"

namespace veltro::cli {
namespace {

constexpr const char* kDisplayUsage =
    "display write FILE --set SETTINGS [--rows LIST] | read | values --main|--tariffs [--table FILE] | "
    "history --month ALL|Jan..Dec [--table FILE] | info main|service|addresses|entry1|entry2|entry3 [--address A] | "
    "date | time | lock | refresh SECONDS | sort-table | sort address|user | read-meters | from-meters FILE | "
    "sort-readings FILE --by address|user; see --help";

// Each action's words after its name, its own options, and whether it talks to the display.
struct Action {
    std::string_view name;
    std::size_t words;
    std::set<std::string> options;
    bool bus;
};

const Action kActions[] = {
    {"write", 1, {"--set", "--rows"}, true},
    {"read", 0, {}, true},
    {"values", 0, {"--main", "--tariffs", "--table"}, true},
    {"history", 0, {"--month", "--table"}, true},
    {"info", 1, {"--address"}, true},
    {"date", 0, {}, true},
    {"time", 0, {}, true},
    {"lock", 0, {}, true},
    {"refresh", 1, {}, true},
    {"sort-table", 0, {}, true},
    {"sort", 1, {}, true},
    {"read-meters", 0, {}, true},
    {"from-meters", 1, {}, false},
    {"sort-readings", 1, {"--by"}, false},
};

const std::set<std::string> kCommonOptions{"--json", "--csv", "--readings-csv"};

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> items;
    std::stringstream stream(text);
    for (std::string item; std::getline(stream, item, separator);) items.push_back(item);
    return items;
}

std::string Utf8(std::string_view windows1251) { return Windows1251ToUtf8(windows1251); }

// "1,3-5": rows 1, 3, 4 and 5 of the display table.
std::optional<std::vector<int>> ParseRows(const std::string& text, std::string& error) {
    std::vector<int> rows;
    for (const std::string& item : Split(text, ',')) {
        const auto dash = item.find('-');
        const auto first = Number(item.substr(0, dash), 1, kDisplayMaxEntries);
        const auto last = dash == std::string::npos ? first : Number(item.substr(dash + 1), 1, kDisplayMaxEntries);
        if (!first || !last || *last < *first) {
            error = "--rows takes row numbers 1 to 250 and ranges like 3-5: " + text;
            return std::nullopt;
        }
        for (int row = *first; row <= *last; ++row) rows.push_back(row);
    }
    if (rows.empty()) error = "--rows needs at least one row";
    return rows.empty() ? std::nullopt : std::optional(rows);
}

std::optional<std::vector<DisplaySetting>> ParseSettings(const std::string& text, std::string& error) {
    std::vector<DisplaySetting> settings;
    for (const std::string& name : Split(text, ',')) {
        const auto setting = DisplaySettingNamed(name);
        if (!setting) {
            error = "unknown setting '" + name +
                    "'; --set takes activate, units, multiplier, divider, initial, user, text, text2, delete, zero";
            return std::nullopt;
        }
        settings.push_back(*setting);
    }
    if (settings.empty()) error = "--set needs at least one setting";
    return settings.empty() ? std::nullopt : std::optional(settings);
}

// 0 for ALL, else 1..12.
std::optional<int> ParseMonth(const std::string& text) {
    auto lower = [](std::string s) {
        std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return s;
    };
    if (lower(text) == "all") return 0;
    for (int month = 1; month <= 12; ++month)
        if (lower(text) == lower(std::string(DisplayMonthName(month)))) return month;
    return std::nullopt;
}

std::optional<DisplayInfo> ParseInfo(const std::string& text) {
    static const std::pair<std::string_view, DisplayInfo> kinds[] = {
        {"main", DisplayInfo::Main},     {"service", DisplayInfo::Service}, {"addresses", DisplayInfo::Addresses},
        {"entry1", DisplayInfo::Entry1}, {"entry2", DisplayInfo::Entry2},   {"entry3", DisplayInfo::Entry3}};
    for (const auto& [name, kind] : kinds)
        if (text == name) return kind;
    return std::nullopt;
}

// A display table file as the page's import takes it; a file it would refuse or cut is refused whole.
std::optional<ImportedTable> ParseTableFile(const std::string& path, const std::string& text, char separator,
                                            std::size_t maxRows, std::string& error) {
    ImportedTable imported = ParseImportText(text, separator);
    if (imported.refusal == ImportRefusal::TooLarge) error = path + ": larger than 16 MiB, no table export";
    else if (imported.refusal == ImportRefusal::NotText) error = path + ": not a text file";
    else if (imported.tooManyFields) error = path + ": a line holds more fields than a table export";
    else if (imported.rows.empty()) error = path + ": no rows";
    else if (imported.rows.size() > maxRows || imported.truncatedAtCapacity)
        error = path + ": more than " + std::to_string(maxRows) + " rows";
    if (!error.empty()) return std::nullopt;
    return imported;
}

// What each read answer must hold; an answer without it counts as unanswered.
struct AnswerRule {
    std::string_view prefix;
    std::string_view suffix;
    std::string_view what;
    bool (*holds)(std::string_view answer, const std::vector<std::string>& lines);
};

const AnswerRule kAnswerRules[] = {
    {"SET ENTR=", "", "acknowledgement (Active or Already)",
     [](std::string_view answer, const auto&) { return DisplayActivationAcknowledged(answer); }},
    {"GET ADDR", "", "list of active devices",
     [](std::string_view, const auto& lines) { return ReadActiveAddresses(lines).has_value(); }},
    {"GET ENTR=", ",1", "entry values", [](std::string_view, const auto& lines) { return DecodeEntryValues(lines).has_value(); }},
    {"GET ENTR=", ",2", "user information", [](std::string_view, const auto& lines) { return DecodeUserInfo(lines).has_value(); }},
    {"GET TARR=", "", "tariff value", [](std::string_view, const auto& lines) { return DecodeTariff(lines).has_value(); }},
    {"GET HIST=", "", "history value", [](std::string_view, const auto& lines) { return DecodeHistoryValue(lines).has_value(); }},
};

// The display's answers command by command, judged by what each command is for.
class Answers {
public:
    explicit Answers(DisplayEngine& display) {
        QObject::connect(&display, &DisplayEngine::exchanged, [this](const std::string& command, const std::string& answer) {
            const std::string fault = Fault(command, answer);
            // An activation sent again is the same entry's: its last attempt decides.
            if (!m_results.empty() && m_results.back().first == command && !m_results.back().second.empty())
                m_results.back().second = fault;
            else
                m_results.emplace_back(command, fault);
        });
    }
    std::vector<std::string> faults() const {
        std::vector<std::string> faults;
        for (const auto& [command, fault] : m_results)
            if (!fault.empty()) faults.push_back(fault);
        return faults;
    }

private:
    static std::string Fault(const std::string& command, const std::string& answer) {
        if (answer.empty()) return "no answer to " + Utf8(command);
        for (const AnswerRule& rule : kAnswerRules)
            if (command.starts_with(rule.prefix) && command.ends_with(rule.suffix) &&
                !rule.holds(answer, DisplayAnswerLines(answer)))
                return "no " + std::string(rule.what) + " in the answer to " + Utf8(command);
        return {};
    }
    std::vector<std::pair<std::string, std::string>> m_results;  // command, its fault or empty
};

// The end of every display command: the tables as text or JSON, the exports, and the exit code.
int Finish(BusRun& run, const BusOptions& options, bool showTables, int code, const std::vector<std::string>& faults) {
    if (code == kBadArguments) return code;  // its reason is on standard error already
    Engine& engine = run.engine();
    DisplayEngine& display = engine.display();
    if (options.flags.count("--json")) {
        JsonWriter json;
        json.beginObject();
        std::vector<std::string> log;
        for (const QString& line : engine.log().lines()) log.push_back(line.toStdString());
        json.key("log");
        JsonStrings(json, log);
        JsonTable(json, display.table());
        json.key("readings").beginObject();
        JsonTable(json, display.readings());
        json.endObject();
        json.endObject();
        std::cout << json.text() << std::endl;
    } else if (showTables) {
        PrintDeviceTable("Display table:", display.table());
        PrintDeviceTable("Readings table:", display.readings());
    }
    for (const auto& [option, text] : {std::pair{"--csv", display.exportTable(Separator(engine))},
                                       std::pair{"--readings-csv", display.exportReadings(Separator(engine))}}) {
        if (!options.values.count(option)) continue;
        const std::string& path = options.values.at(option);
        const FileWriteResult written = WriteFileAtomically(path, text);
        if (!written.ok && code != kInterrupted) code = BadArguments("cannot write " + path + ": " + written.reason);
    }
    for (const std::string& fault : faults) std::cerr << "veltro-cli: " << fault << "\n";
    return code;
}

// The steps of one command on the display, each an engine call run to its end.
class DisplaySteps {
public:
    explicit DisplaySteps(BusRun& run)
        : m_run(run), m_answers(run.engine().display()), m_stop([&run] { run.engine().runner().stopCurrent(); }) {}

    // 0, or the exit code that ends the command.
    int step(const std::function<bool()>& begin, long long windows) {
        Engine& engine = m_run.engine();
        const qsizetype before = engine.log().lines().size();
        bool started = false;
        std::string error;
        const BusRun::End end = m_run.runToEnd([&] { started = begin(); }, OperationLimitMs(engine, windows), error);
        if (m_stop.stopped()) return kInterrupted;
        if (end == BusRun::End::LinkFailed) return BadArguments(error);
        if (end == BusRun::End::Cut) {
            m_faults.push_back(error);
            return kNotAllRead;
        }
        if (!started)
            return BadArguments(engine.log().lines().size() > before ? m_run.lastLogLine() : std::string("nothing to send"));
        return 0;
    }

    void fault(std::string text) { m_faults.push_back(std::move(text)); }

    // After the last step: unanswered commands and rows passed over for a bad address or value.
    int judged(int code) {
        std::vector<std::string> faults = m_answers.faults();
        int skipped = 0;
        for (const QString& line : m_run.engine().log().lines())
            if (line.startsWith(QStringLiteral("Error in device address at row")) || line.startsWith(QStringLiteral("Skipping ")))
                ++skipped;
        if (skipped) faults.push_back(std::to_string(skipped) + (skipped == 1 ? " row command was" : " row commands were") +
                                      " passed over for a bad address or value (see the log)");
        m_faults.insert(m_faults.end(), faults.begin(), faults.end());
        if (code != 0) return code;
        return m_faults.empty() ? 0 : kNotAllRead;
    }
    const std::vector<std::string>& faults() const { return m_faults; }

private:
    BusRun& m_run;
    Answers m_answers;
    StopOnSignals m_stop;
    std::vector<std::string> m_faults;
};

// The windows a read of the whole display may take: every entry's two pages, and then some.
constexpr long long kWholeDisplayWindows = 2LL * kDisplayMaxEntries + 2;

} // namespace

int DisplayCommand(const std::vector<std::string>& arguments) {
    std::string error;
    auto options = ParseBusOptions(arguments, {"--json", "--main", "--tariffs"},
                                   {"--set", "--rows", "--table", "--month", "--address", "--by", "--csv", "--readings-csv"}, error);
    if (!options) return BadArguments(error);
    if (options->positional.empty()) return BadArguments(kDisplayUsage);
    const std::string name = options->positional[0];
    const std::vector<std::string> words(options->positional.begin() + 1, options->positional.end());
    const auto action = std::find_if(std::begin(kActions), std::end(kActions), [&](const Action& a) { return a.name == name; });
    if (action == std::end(kActions)) return BadArguments("unknown display command '" + name + "'; " + kDisplayUsage);
    if (words.size() != action->words)
        return BadArguments("display " + name + (action->words == 0 ? " takes no argument" : " takes one argument") + "; " + kDisplayUsage);
    std::vector<std::string> given(options->flags.begin(), options->flags.end());
    for (const auto& [option, value] : options->values) given.push_back(option);
    for (const std::string& option : given)
        if (!kCommonOptions.count(option) && !action->options.count(option))
            return BadArguments(option + " does not belong to display " + name);
    if (!action->bus && (options->simulate || !options->link.empty()))
        return BadArguments("display " + name + " works on files only; --link and --simulate do not apply");
    auto value = [&](const char* option) { return options->values.count(option) ? options->values.at(option) : std::string(); };

    // Everything the command line can refuse is refused before the bus is opened.
    std::vector<DisplaySetting> settings;
    std::optional<std::vector<int>> rows;
    std::optional<DisplayInfo> info;
    int month = 0, address = 0;
    bool byAddress = true;
    std::optional<std::string> file;
    const std::string filePath = name == "write" || !action->bus ? words[0] : value("--table");
    if (name == "write") {
        if (!options->values.count("--set")) return BadArguments("display write needs --set with the settings to write");
        const auto parsed = ParseSettings(value("--set"), error);
        if (!parsed) return BadArguments(error);
        settings = *parsed;
        // Ticked as an operator would to keep "Free text 2" beside "DELETE": delete last.
        std::stable_partition(settings.begin(), settings.end(), [](DisplaySetting s) { return s != DisplaySetting::Delete; });
        DisplaySwitches switches;
        for (DisplaySetting setting : settings) switches.tick(setting, true);
        for (DisplaySetting setting : settings)
            if (!switches.isTicked(setting)) return BadArguments("delete goes alone or with text2: " + value("--set"));
        if (options->values.count("--rows") && !(rows = ParseRows(value("--rows"), error))) return BadArguments(error);
    } else if (name == "values") {
        if (!options->flags.count("--main") && !options->flags.count("--tariffs"))
            return BadArguments("display values needs --main, --tariffs or both");
    } else if (name == "history") {
        const auto parsed = ParseMonth(value("--month"));
        if (!parsed) return BadArguments("display history needs --month ALL or Jan..Dec: " + value("--month"));
        month = *parsed;
    } else if (name == "info") {
        info = ParseInfo(words[0]);
        if (!info) return BadArguments("display info takes main, service, addresses, entry1, entry2 or entry3: " + words[0]);
        const bool entry = *info == DisplayInfo::Entry1 || *info == DisplayInfo::Entry2 || *info == DisplayInfo::Entry3;
        if (entry != (options->values.count("--address") > 0))
            return BadArguments(entry ? "display info " + words[0] + " needs --address A (1-250)"
                                      : "--address belongs to display info entry1, entry2 and entry3");
        if (entry) {
            const auto number = Number(value("--address"), 1, kDisplayMaxEntries);
            if (!number) return BadArguments("--address must be 1 to 250: " + value("--address"));
            address = *number;
        }
    } else if (name == "refresh") {
        if (!Number(words[0], 4, 12)) return BadArguments("the refresh time must be 4 to 12 seconds: " + words[0]);
    } else if (name == "sort") {
        if (words[0] != "address" && words[0] != "user") return BadArguments("display sort takes address or user: " + words[0]);
        byAddress = words[0] == "address";
    } else if (name == "sort-readings") {
        if (value("--by") != "address" && value("--by") != "user")
            return BadArguments("display sort-readings needs --by address or --by user");
        byAddress = value("--by") == "address";
    }
    if (!filePath.empty() && !(file = ReadTableFile(filePath, error))) return BadArguments(error);
    // These go to the serial port whatever the link; --link names no port but its own.
    if (const auto link = ParseLinkSpec(options->link).link) {
        if (name == "read-meters" && link->kind() != LinkKind::Serial)
            return BadArguments("display read-meters goes to the display's RS-232 port only: give --link serial:PORT");
        if (name == "sort-table" && (link->kind() == LinkKind::Gateway || link->kind() == LinkKind::GatewayServer))
            return BadArguments("display sort-table goes to the RS-232 port or a bridge, not through a gateway: give --link "
                                "serial:PORT or bridge:HOST:PORT");
    }

    const bool json = options->flags.count("--json") > 0;
    BusRun run;
    if (!(action->bus ? run.prepare(*options, json, error) : run.prepareOffline(*options, json, error))) return BadArguments(error);
    if (options->simulate && (name == "read-meters" ||
                              (name == "sort-table" && options->simulatedRole != sim::BackgroundBridge::Role::Bridge)) &&
        !run.simulateSerialPort(error))
        return BadArguments(error);
    Engine& engine = run.engine();
    DisplayEngine& display = engine.display();
    display.applyLanguage();
    std::optional<ImportedTable> imported;
    if (file) {
        const std::size_t maxRows = name == "from-meters" ? static_cast<std::size_t>(MeterTable::kMaxRows)
                                                          : static_cast<std::size_t>(kDisplayMaxEntries);
        imported = ParseTableFile(filePath, *file, Separator(engine), maxRows, error);
        if (!imported) return BadArguments(error);
    }

    // The page's import; a line of more fields than the display table takes refuses the file.
    auto importFile = [&] {
        const std::optional<DisplayImport> applied = display.importTables(*imported);
        return applied && !applied->tooManyFields ? std::string()
                                                  : filePath + ": a line holds more than " +
                                                        std::to_string(kDisplayImportMaxFields) + " fields";
    };
    if (name == "from-meters") {
        engine.meters().importTable(*imported);
        display.getDataFromMeters();
        return Finish(run, *options, true, 0, {});
    }
    if (name == "sort-readings") {
        if (const std::string refused = importFile(); !refused.empty()) return BadArguments(refused);
        display.sortReadings(byAddress, !byAddress);
        return Finish(run, *options, true, 0, {});
    }

    DisplaySteps steps(run);
    const int retries = engine.settings().settings().misc.retry;
    int code = 0;
    bool showTables = true;
    auto addressed = [&display] {
        for (int row = 1; row < display.table().rowCount(); ++row)
            if (CheckDisplayAddress(display.table().cell(row, kDisplayAddressColumn), row).address) return true;
        return false;
    };
    auto readFirst = [&] {
        if (imported) {
            if (const std::string refused = importFile(); !refused.empty()) return BadArguments(refused);
            return addressed() ? 0 : BadArguments(filePath + ": no row holds an address of 1 to 250");
        }
        const int read = steps.step([&] { return display.readData(); }, kWholeDisplayWindows);
        if (read != 0) return read;
        if (addressed()) return 0;
        steps.fault("the display named no active entries to read");
        return kNotAllRead;
    };
    if (name == "write") {
        if (const std::string refused = importFile(); !refused.empty()) return BadArguments(refused);
        const int tableRows = display.table().dataRowCount();
        if (rows) {
            for (int row : *rows)
                if (row > tableRows)
                    return BadArguments("--rows: " + filePath + " has " + std::to_string(tableRows) + " rows, no row " + std::to_string(row));
            display.selectAll(false);
            for (int row : *rows) display.setRowSelected(row, true);
        } else {
            display.selectAll(true);
        }
        for (DisplaySetting setting : settings) display.tickSetting(setting, true);
        const long long windows = static_cast<long long>(settings.size()) * (display.table().selectedRows().size() + 1) * (retries + 1);
        code = steps.step([&] { return display.writeTable(); }, windows);
    } else if (name == "read") {
        code = steps.step([&] { return display.readData(); }, kWholeDisplayWindows);
    } else if (name == "values") {
        code = readFirst();
        if (code == 0) code = steps.step([&] { return display.readValues(options->flags.count("--main") > 0, options->flags.count("--tariffs") > 0); },
                                         5LL * kDisplayMaxEntries);
    } else if (name == "history") {
        code = readFirst();
        if (code == 0) code = steps.step([&] { return display.readHistory(month); }, 13LL * kDisplayMaxEntries);
    } else {
        showTables = false;
        if (info && address) {
            display.setCell(1, kDisplayAddressColumn, std::to_string(address));
            display.selectCell(1, kDisplayAddressColumn);
        }
        const std::map<std::string, std::function<bool()>> singles{
            {"info", [&] { return display.getInfo(*info); }},
            {"date", [&] { return display.setDate(); }},
            {"time", [&] { return display.setTime(); }},
            {"lock", [&] { return display.lock(); }},
            {"refresh", [&] { return display.setRefreshTime(QString::fromStdString(words[0])); }},
            {"sort-table", [&] { return display.createSortTable(); }},
            {"sort", [&] { return display.sort(byAddress, !byAddress); }},
            {"read-meters", [&] { return display.readMeters(); }},
        };
        code = steps.step(singles.at(name), 2);
    }
    code = steps.judged(code);
    return Finish(run, *options, showTables, code, steps.faults());
}

} // namespace veltro::cli
