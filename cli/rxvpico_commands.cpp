#include "rxvpico_commands.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "bus_run.h"
#include "device_tables.h"
#include "devices/rxvpico.h"
#include "devices/rxvpico_engine.h"
#include "mbus/hex.h"
#include "meters/meter_table.h"
#include "meters/table_file.h"

namespace veltro::cli {
namespace {

constexpr const char* kPicoUsage =
    "rxvpico status | set-clock | add ID... | delete ID|--all | flag ITEM on|off | set-key ID KEY | read-key ID | "
    "filter set id|manufacturer|medium POS VALUE | filter read id|manufacturer|medium | read-list [--keys] | "
    "write-list FILE [--keys]; see veltro-cli rxvpico --help";

constexpr const char* kPicoHelp =
    "Usage: veltro-cli rxvpico COMMAND [--address N] [--id ID] [--json] [bus options]\n"
    "\n"
    "The RXVpico wireless M-Bus receiver, which sits on the wired bus at a primary address of its own.\n"
    "\n"
    "Commands:\n"
    "  status                 read its status (\"Read status of RXV\"): devices allowed, activated and read,\n"
    "                         the flags that are on, its date and time\n"
    "  set-clock              set its date and time from the computer's clock (\"Set\")\n"
    "  add ID...              add meter IDs (8 digits) to its list; several go one after another\n"
    "  delete ID              delete one meter ID from its list\n"
    "  delete --all --yes     delete its whole list\n"
    "  flag ITEM on|off       set or clear a flag; ITEM is \"Auto mode\", \"Return timestamp\", \"Return RSSI\",\n"
    "                         \"Automatically decrypt\", \"Decode APATOR\", \"Decode Techem\",\n"
    "                         \"Filter by Manufacturer\", \"Filter by ID\" or \"Filter by Medium\" (quote it)\n"
    "  set-key ID KEY         store a meter's AES-128 key: 32 hex digits, 0-9 and upper-case A-F\n"
    "  read-key ID            read a meter's key\n"
    "  filter set id|manufacturer|medium POS VALUE\n"
    "                         write filter position POS (1-8): an ID of 8 characters 0-9 or F (F matches\n"
    "                         any digit), a manufacturer of three letters (KXR, BMT, SON, APA, DWZ, REL), a\n"
    "                         medium by name (Water, \"Cold water\", \"Hot water\", \"Heat (rt)\", Gas, ...)\n"
    "  filter read id|manufacturer|medium\n"
    "                         read a filter table, positions 1 to 8\n"
    "  read-list [--keys]     read the meter IDs it lists and their primary addresses (\"Get meters\");\n"
    "                         --keys then reads each listed meter's key. Prints ID, address and key\n"
    "  write-list FILE [--keys] --yes\n"
    "                         make its list the IDs of FILE, a meter table as the program exports it (ID\n"
    "                         first, the AES-128 key twelfth): the whole list is deleted, then every ID\n"
    "                         added (\"Send table\"); --keys then stores every row's key. A row whose ID or\n"
    "                         key the receiver cannot take is passed over (see the log)\n"
    "\n"
    "Options:\n"
    "  --address N    the receiver's primary address (default: RXVpico Primary of the settings file; with\n"
    "                 --simulate the simulated receiver's, 30)\n"
    "  --id ID        the receiver's own ID, 8 digits (default: RXVpico Secondary of the settings file)\n"
    "  --yes          deleting the whole list (delete --all, write-list) needs it, or an answer at the terminal\n"
    "  --json         one JSON object: log (the log lines), and status {activated, read, allowed, flags (the\n"
    "                 items that are on), dateTime}, key, filters {position: value} or columns and rows\n"
    "                 (read-list)\n"
    "  --link, --home, --simulate, --timeout, --retries   as for the other bus commands (veltro-cli --help)\n"
    "\n"
    "Exit codes: 0 the command was carried out and answered; 1 the receiver did not answer or answered\n"
    "something else (no status, no key, no filter table, a command not acknowledged), or a row of FILE was\n"
    "passed over; 2 refused: bad arguments, the receiver's ID or address (\"RXVpico ID is wrong, must be 8\n"
    "digits...\", \"No primary address for RXVpico...\", \"Error in RXVpicoPrimary address, skipping...\"), a\n"
    "meter ID or key the receiver cannot take, an unusable file or link; 130 stopped by SIGINT or SIGTERM.\n"
    "\n"
    "Examples:\n"
    "  veltro-cli rxvpico status --simulate\n"
    "  veltro-cli rxvpico add 12345678 23456789 --link serial:ttyUSB0 --address 30\n"
    "  veltro-cli rxvpico flag \"Decode Techem\" on --simulate\n"
    "  veltro-cli rxvpico set-key 12345678 000102030405060708090A0B0C0D0E0F --simulate\n"
    "  veltro-cli rxvpico filter set medium 2 \"Cold water\" --simulate\n"
    "  veltro-cli rxvpico filter read id --json --simulate\n"
    "  veltro-cli rxvpico write-list meters.csv --keys --yes --link bridge:192.168.1.3:10001 --address 30\n"
    "  veltro-cli rxvpico read-list --keys --json --link bridge:192.168.1.3:10001 --address 30\n";

// The receiver of the simulated bus.
constexpr const char* kSimulatedAddress = "30";

struct Action {
    std::string_view name;
    std::size_t fewestWords, mostWords;
    std::set<std::string> options;  // besides --address, --id and --json
    std::string_view usage;
};

const Action kActions[] = {
    {"status", 0, 0, {}, "status"},
    {"set-clock", 0, 0, {}, "set-clock"},
    {"add", 1, kPicoListSize, {}, "add ID..."},
    {"delete", 0, 1, {"--all", "--yes"}, "delete ID | delete --all --yes"},
    {"flag", 2, 2, {}, "flag ITEM on|off"},
    {"set-key", 2, 2, {}, "set-key ID KEY"},
    {"read-key", 1, 1, {}, "read-key ID"},
    {"filter", 2, 4, {}, "filter set id|manufacturer|medium POS VALUE | filter read id|manufacturer|medium"},
    {"read-list", 0, 0, {"--keys"}, "read-list [--keys]"},
    {"write-list", 1, 1, {"--keys", "--yes"}, "write-list FILE [--keys] --yes"},
};

struct FilterKind {
    const char* word;
    PicoFilter filter;
    const char* title;
};
const FilterKind kFilterKinds[] = {{"id", PicoFilter::Id, "ID filters:"},
                                   {"manufacturer", PicoFilter::Manufacturer, "Manufacturer filters:"},
                                   {"medium", PicoFilter::Medium, "Medium filters:"}};

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

// The box's item as typed, whatever its case.
template <class Items, class Name>
std::optional<std::string> Item(const std::string& text, const Items& items, Name name) {
    for (const auto& item : items)
        if (SameText(text, name(item))) return std::string(name(item));
    return std::nullopt;
}

template <class Items, class Name>
std::string Listed(const Items& items, Name name) {
    std::string text;
    for (const auto& item : items) text += (text.empty() ? "\"" : ", \"") + std::string(name(item)) + "\"";
    return text;
}

// Empty when the receiver can take the meter ID, else the line the engine would log.
std::string IdRefusal(const std::string& id) {
    const PicoIdPacking packing = PackPicoId(id);
    return packing.bytes ? std::string() : PicoIdErrorLine(packing);
}

std::string Hex(const QByteArray& bytes) {
    std::string text =
        HexRendering(std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size())));
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

// What the receiver answered each command with, from the engine's `exchanged`.
class Exchanges {
public:
    enum class Expect { Acknowledgement, Answer };

    explicit Exchanges(RxvpicoEngine& pico) {
        m_connection = QObject::connect(&pico, &RxvpicoEngine::exchanged, [this](const QByteArray& command, const QByteArray& answer) {
            m_exchanges.emplace_back(command, answer);
        });
    }
    ~Exchanges() { QObject::disconnect(m_connection); }
    Exchanges(const Exchanges&) = delete;
    Exchanges& operator=(const Exchanges&) = delete;

    std::size_t count() const { return m_exchanges.size(); }

    // The receiver commands since exchange `from` that did not get what they wait for: E5h, or any
    // answer. A command sent again is judged by its last window. Only the long frames are judged here:
    // a REQ_UD2 (the status request, also what follows an unanswered command) by the status it brings.
    std::vector<std::string> faults(std::size_t from, Expect expect) const {
        std::vector<std::pair<QByteArray, QByteArray>> last;  // in the order of their first sending
        for (std::size_t i = from; i < m_exchanges.size(); ++i) {
            const QByteArray& command = m_exchanges[i].first;
            if (!command.startsWith('\x68')) continue;
            const auto known = std::find_if(last.begin(), last.end(), [&command](const auto& c) { return c.first == command; });
            if (known != last.end()) known->second = m_exchanges[i].second;
            else last.push_back(m_exchanges[i]);
        }
        std::vector<std::string> faults;
        for (const auto& [command, answer] : last) {
            if (answer.isEmpty()) faults.push_back("no answer to " + Hex(command));
            else if (expect == Expect::Acknowledgement && answer != QByteArray(1, '\xE5'))
                faults.push_back(Hex(command) + " was answered " + Hex(answer) + ", not acknowledged");
        }
        return faults;
    }

private:
    QMetaObject::Connection m_connection;
    std::vector<std::pair<QByteArray, QByteArray>> m_exchanges;
};

// The steps of one command, each an engine call run until the bus is idle again.
class Steps {
public:
    explicit Steps(BusRun& run) : m_run(run), m_stop([&run] { run.engine().runner().stopCurrent(); }) {}

    // 0, or the exit code that ends the command: the engine refused (its log line), the link failed, the
    // operation was cut or stopped. With `refusalIsFault` a refusal is one fault and the command goes on.
    int step(const std::function<bool()>& begin, long long windows, bool refusalIsFault = false) {
        if (m_stop.stopped()) return kInterrupted;
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
        if (!started) {
            const std::string line = engine.log().lines().size() > before ? m_run.lastLogLine() : "the receiver command did not start";
            if (!refusalIsFault) return BadArguments(line);
            m_faults.push_back(line);
        }
        return 0;
    }
    void fault(std::string text) { m_faults.push_back(std::move(text)); }
    void faults(const std::vector<std::string>& texts) { m_faults.insert(m_faults.end(), texts.begin(), texts.end()); }
    const std::vector<std::string>& faults() const { return m_faults; }

private:
    BusRun& m_run;
    StopOnSignals m_stop;
    std::vector<std::string> m_faults;
};

// What the engine reported while the command ran.
struct Heard {
    int statuses = 0;
    int keys = 0;
    int filterTables = 0;
    std::string key;
};

// The read list: ID, address and key of each listed meter.
const int kListColumns[] = {0, MeterTable::kAddressColumn, MeterTable::kKeyColumn};

std::vector<std::string> ListCells(const MeterTable& table, int row) {
    std::vector<std::string> cells;
    for (int column : kListColumns) cells.push_back(table.cell(row, column));
    return cells;
}

void PrintList(const MeterTable& table) {
    const std::vector<int> rows = MeterRows(table);
    std::vector<std::size_t> widths;
    for (int column : kListColumns) {
        std::size_t width = table.cell(0, column).size();
        for (int r : rows) width = std::max(width, table.cell(r, column).size());
        widths.push_back(width);
    }
    auto line = [&](int row) {
        std::string text;
        const std::vector<std::string> cells = ListCells(table, row);
        for (std::size_t c = 0; c < cells.size(); ++c) text += cells[c] + std::string(widths[c] - cells[c].size(), ' ') + " | ";
        while (!text.empty() && (text.back() == ' ' || text.back() == '|')) text.pop_back();
        std::cout << text << "\n";
    };
    std::cout << "\n";
    line(0);
    for (int r : rows) line(r);
    std::cout << rows.size() << (rows.size() == 1 ? " meter\n" : " meters\n");
}

void PrintJson(Engine& engine, const std::optional<PicoStatus>& status, const std::optional<std::string>& key,
               bool filters, bool list) {
    RxvpicoEngine& pico = engine.rxvpico();
    JsonWriter json;
    json.beginObject();
    std::vector<std::string> log;
    for (const QString& line : engine.log().lines()) log.push_back(line.toStdString());
    json.key("log");
    JsonStrings(json, log);
    if (status) {
        json.key("status").beginObject();
        json.key("activated").value(status->activated).key("read").value(status->read).key("allowed").value(status->allowed);
        std::vector<std::string> on;
        for (const PicoFlag& flag : kPicoFlags)
            if (PicoFlagOn(*status, flag)) on.emplace_back(flag.item);
        json.key("flags").strings(on);
        json.key("dateTime");
        if (status->dateTime) json.value(*status->dateTime);
        else json.null();
        json.endObject();
    }
    if (key) json.key("key").value(*key);
    if (filters) {
        json.key("filters").beginObject();
        for (int position = 1; position <= kPicoFilterPositions; ++position)
            json.key(std::to_string(position)).json(Utf8Json(pico.filters()[static_cast<std::size_t>(position - 1)]));
        json.endObject();
    }
    if (list) {
        const MeterTable& table = engine.meters().table();
        json.key("columns");
        JsonStrings(json, ListCells(table, 0));
        json.key("rows").beginArray();
        for (int r : MeterRows(table)) JsonStrings(json, ListCells(table, r));
        json.endArray();
    }
    json.endObject();
    std::cout << json.text() << std::endl;
}

} // namespace

int RxvpicoCommand(const std::vector<std::string>& arguments) {
    if (std::any_of(arguments.begin(), arguments.end(), [](const std::string& a) { return a == "--help" || a == "-h"; })) {
        std::cout << kPicoHelp;
        return 0;
    }
    std::string error;
    auto options = ParseBusOptions(arguments, {"--json", "--all", "--yes", "--keys"}, {"--address", "--id"}, error);
    if (!options) return BadArguments(error);
    if (options->positional.empty()) return BadArguments(kPicoUsage);
    const std::string name = options->positional[0];
    const std::vector<std::string> words(options->positional.begin() + 1, options->positional.end());
    const auto action = std::find_if(std::begin(kActions), std::end(kActions), [&](const Action& a) { return a.name == name; });
    if (action == std::end(kActions)) return BadArguments("unknown rxvpico command '" + name + "'; " + kPicoUsage);
    std::vector<std::string> given(options->flags.begin(), options->flags.end());
    for (const auto& [option, value] : options->values) given.push_back(option);
    for (const std::string& option : given)
        if (option != "--json" && option != "--address" && option != "--id" && !action->options.count(option))
            return BadArguments(option + " does not belong to rxvpico " + name);
    const bool all = options->flags.count("--all") > 0;
    const bool keys = options->flags.count("--keys") > 0;
    const bool json = options->flags.count("--json") > 0;
    const std::string usage = "usage: veltro-cli rxvpico " + std::string(action->usage);
    if (words.size() < action->fewestWords || words.size() > action->mostWords || (name == "delete" && words.empty() != all))
        return BadArguments(name == "add" && words.size() > action->mostWords ? "the receiver lists at most 64 meters" : usage);

    // Everything the command line can refuse is refused before the bus is opened.
    const bool meterIds = name == "add" || name == "delete" || name == "set-key" || name == "read-key";
    for (std::size_t i = 0; meterIds && i < (name == "add" ? words.size() : std::min<std::size_t>(words.size(), 1)); ++i)
        if (const std::string refusal = IdRefusal(words[i]); !refusal.empty()) return BadArguments(words[i] + ": " + refusal);
    std::string flagItem;
    bool flagOn = false;
    if (name == "flag") {
        const auto item = Item(words[0], kPicoFlags, [](const PicoFlag& f) { return f.item; });
        if (!item)
            return BadArguments("ITEM must be one of " + Listed(kPicoFlags, [](const PicoFlag& f) { return f.item; }) + ": " +
                                words[0]);
        if (words[1] != "on" && words[1] != "off") return BadArguments("a flag is set on or off, not " + words[1]);
        flagItem = *item;
        flagOn = words[1] == "on";
    }
    if (name == "set-key")
        if (const PicoKey key = PicoKeyBytes(words[1]); !key.bytes) return BadArguments(key.refusal);
    PicoFilter filter = PicoFilter::Id;
    const char* filterTitle = "";
    int filterPosition = 0;
    std::string filterValue;
    if (name == "filter") {
        const bool set = words[0] == "set" && words.size() == 4;
        if (!set && !(words[0] == "read" && words.size() == 2)) return BadArguments(usage);
        const auto kind = std::find_if(std::begin(kFilterKinds), std::end(kFilterKinds),
                                       [&](const FilterKind& k) { return words[1] == k.word; });
        if (kind == std::end(kFilterKinds)) return BadArguments("a filter is id, manufacturer or medium, not " + words[1]);
        filter = kind->filter;
        filterTitle = kind->title;
        if (set) {
            const auto position = Number(words[2], 1, kPicoFilterPositions);
            if (!position) return BadArguments("POS must be 1 to 8: " + words[2]);
            filterPosition = *position;
            filterValue = words[3];
            if (filter == PicoFilter::Id) {
                if (const std::string refusal = IdRefusal(filterValue); !refusal.empty()) return BadArguments(refusal);
            } else if (filter == PicoFilter::Manufacturer) {
                if (PicoManufacturerCode(filterValue) == 0)
                    return BadArguments("a manufacturer filter is three letters (KXR, BMT, ...), not " + filterValue);
            } else {
                const auto itself = [](std::string_view m) { return m; };
                const auto medium = Item(filterValue, kPicoMediumItems, itself);
                if (!medium) return BadArguments("a medium filter is one of " + Listed(kPicoMediumItems, itself) + ": " + filterValue);
                filterValue = *medium;
            }
        }
    }
    if ((name == "delete" && all) || name == "write-list") {
        const std::string question = name == "delete"
                                         ? "The receiver's whole meter list is deleted."
                                         : "The receiver's whole meter list is deleted, then the IDs of " + words[0] + " added.";
        if (!Confirmed(*options, "deleting the receiver's whole list", question, error)) return BadArguments(error);
    }
    std::optional<std::string> file;
    if (name == "write-list" && !(file = ReadTableFile(words[0], error))) return BadArguments(error);

    Heard heard;
    BusRun run;
    if (!run.prepare(*options, json, error)) return BadArguments(error);
    Engine& engine = run.engine();
    RxvpicoEngine& pico = engine.rxvpico();
    MeterPage& meters = engine.meters();
    const MainWindowState& window = engine.settings().mainWindow();
    const std::string address = options->values.count("--address") ? options->values.at("--address")
                                : options->simulate                  ? std::string(kSimulatedAddress)
                                                                     : window.picoPrimary;
    const std::string picoId = options->values.count("--id") ? options->values.at("--id") : window.picoSecondary;
    if (const PicoReceiverCheck check = CheckPicoReceiver(picoId, address); !check.address) return BadArguments(check.line);
    pico.setReceiver(QString::fromStdString(picoId), QString::fromStdString(address));

    // The table of write-list, and the rows the receiver cannot take.
    std::vector<std::string> passedOver;
    std::size_t tableMeters = 0;
    if (file) {
        const ImportedTable imported = ParseImportText(*file, Separator(engine));
        const std::string& path = words[0];
        if (imported.refusal == ImportRefusal::TooLarge) return BadArguments(path + ": larger than 16 MiB, no table export");
        if (imported.refusal == ImportRefusal::NotText) return BadArguments(path + ": not a text file");
        if (imported.tooManyFields) return BadArguments(path + ": a line holds more fields than a table export");
        meters.importTable(imported);
        const MeterTable& table = meters.table();
        for (int row : MeterRows(table)) {
            const std::string& id = table.cell(row, 0);
            if (id.empty()) continue;
            ++tableMeters;
            if (!IdRefusal(id).empty()) passedOver.push_back(id);
            else if (keys && !PicoKeyBytes(table.cell(row, MeterTable::kKeyColumn)).bytes) passedOver.push_back(id + " (its key)");
        }
        if (tableMeters == 0) return BadArguments(path + ": no meter IDs");
        if (tableMeters > static_cast<std::size_t>(kPicoListSize))
            return BadArguments(path + " holds " + std::to_string(tableMeters) + " meter IDs; the receiver lists at most 64");
    }

    QObject context;
    QObject::connect(&pico, &RxvpicoEngine::statusRead, &context, [&heard] { ++heard.statuses; });
    QObject::connect(&pico, &RxvpicoEngine::keyRead, &context, [&heard](const QString& key) {
        ++heard.keys;
        heard.key = key.toStdString();
    });
    QObject::connect(&pico, &RxvpicoEngine::filtersChanged, &context, [&heard] { ++heard.filterTables; });
    Exchanges exchanges(pico);
    Steps steps(run);
    const long long perCommand = engine.settings().settings().misc.retry + 2LL;  // a command and its repetitions
    const auto acknowledged = [&](std::size_t from) { steps.faults(exchanges.faults(from, Exchanges::Expect::Acknowledgement)); };
    const QString none;
    int code = 0;
    std::optional<std::string> key;
    bool filtersRead = false, listRead = false;

    if (name == "status") {
        code = steps.step([&] { return pico.readStatus(); }, perCommand);
        if (code == 0 && heard.statuses == 0) steps.fault("no status from the receiver at address " + address);
    } else if (name == "add" && words.size() > 1) {
        std::vector<std::vector<std::string>> rows;
        for (const std::string& id : words) rows.push_back({id});
        meters.replaceRows(rows);
        const std::size_t from = exchanges.count();
        code = steps.step([&] { return pico.add(none, true); }, static_cast<long long>(rows.size()) * perCommand + 2);
        if (code == 0) acknowledged(from);
    } else if (name == "read-key") {
        code = steps.step([&] { return pico.readKey(QString::fromStdString(words[0])); }, perCommand);
        if (code == 0 && heard.keys == 0) steps.fault("no key of " + words[0] + " from the receiver");
        if (heard.keys) key = heard.key;
    } else if (name == "filter" && words[0] == "read") {
        code = steps.step([&] { return pico.readFilter(filter); }, perCommand);
        filtersRead = heard.filterTables > 0 && pico.filtersShown() == filter;
        if (code == 0 && !filtersRead) steps.fault("no " + words[1] + " filter table from the receiver");
    } else if (name == "read-list") {
        const std::size_t from = exchanges.count();
        code = steps.step([&] { return pico.getMeters(); }, kPicoListSteps * perCommand + 2);
        listRead = code == 0;
        if (code == 0) steps.faults(exchanges.faults(from, Exchanges::Expect::Answer));
        std::vector<std::string> ids;
        for (int row : MeterRows(meters.table()))
            if (!meters.table().cell(row, 0).empty()) ids.push_back(meters.table().cell(row, 0));
        for (auto id = ids.begin(); keys && code == 0 && id != ids.end(); ++id) {
            const int before = heard.keys;
            code = steps.step([&] { return pico.readKey(QString::fromStdString(*id)); }, perCommand, true);
            if (code == 0 && heard.keys == before) steps.fault("no key of " + *id + " from the receiver");
        }
    } else if (name == "write-list") {
        if (!passedOver.empty()) {
            std::string rows;
            for (const std::string& id : passedOver) rows += (rows.empty() ? "" : ", ") + id;
            steps.fault(std::to_string(passedOver.size()) + (passedOver.size() == 1 ? " row is" : " rows are") +
                        " passed over (see the log): " + rows);
        }
        const long long rows = static_cast<long long>(meters.table().rowCount());
        std::size_t from = exchanges.count();
        code = steps.step([&] { return pico.sendTable(); }, rows * perCommand + 2);
        if (code == 0) acknowledged(from);
        if (keys && code == 0) {
            from = exchanges.count();
            code = steps.step([&] { return pico.setKey(none, none, true); }, rows * perCommand + 2);
            if (code == 0) acknowledged(from);
        }
    } else {
        // One command answered by E5h: set-clock, add, delete, flag, set-key, filter set.
        std::function<bool()> begin;
        if (name == "set-clock") begin = [&] { return pico.setClock(); };
        else if (name == "add") begin = [&] { return pico.add(QString::fromStdString(words[0]), false); };
        else if (name == "delete") begin = [&] { return pico.remove(all ? none : QString::fromStdString(words[0]), all); };
        else if (name == "flag") begin = [&] { return pico.setFlag(QString::fromStdString(flagItem), flagOn); };
        else if (name == "set-key")
            begin = [&] { return pico.setKey(QString::fromStdString(words[0]), QString::fromStdString(words[1]), false); };
        else begin = [&] { return pico.saveFilter(filter, filterPosition, QString::fromStdString(filterValue)); };
        const std::size_t from = exchanges.count();
        code = steps.step(begin, perCommand);
        if (code == 0) acknowledged(from);
    }

    const std::optional<PicoStatus> status = heard.statuses ? pico.lastStatus() : std::nullopt;
    if (json) {
        PrintJson(engine, status, key, filtersRead, listRead);
    } else if (key) {
        std::cout << "Key of " << words[0] << ": " << *key << "\n";
    } else if (filtersRead) {
        std::cout << "\n" << filterTitle << "\n";
        for (int position = 1; position <= kPicoFilterPositions; ++position)
            std::cout << position << "  " << pico.filters()[static_cast<std::size_t>(position - 1)] << "\n";
    } else if (listRead) {
        PrintList(meters.table());
    }
    for (const std::string& fault : steps.faults()) std::cerr << "veltro-cli: " << fault << "\n";
    if (code != 0) return code;
    return steps.faults().empty() ? 0 : kNotAllRead;
}

} // namespace veltro::cli
