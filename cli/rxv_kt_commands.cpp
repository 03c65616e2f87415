#include "rxv_kt_commands.h"

#include <algorithm>
#include <map>

#include "app/atomic_file.h"
#include "bus_run.h"
#include "decode/medium_table.h"
#include "device_tables.h"
#include "devices/rxv_kt.h"
#include "devices/rxv_kt_engine.h"
#include "devices/rxv_table.h"
#include "mbus/address.h"
#include "meters/meter_table.h"

namespace veltro::cli {
namespace {

constexpr const char* kRxvUsage =
    "rxv-kt acquire [--seconds N] [--exclude-identical] | program FILE [--activate] [--unit] [--save-key] [--delete] "
    "[--aux-id] [--key HEX|--key-ascii TEXT|--keys FILE] [--by-address] [--by-id] | key FILE --row N... [--all] "
    "(--key HEX|--key-ascii TEXT|--keys FILE) [--by-address] [--by-id] | verify FILE [--aux-id] | set [--date] [--time] "
    "[--interval N] [--wireless-mode M] [--role R] [--work-mode W] [--option NAME=0|1]... | info | wmbus; see --help";

struct Action {
    std::string_view name;
    std::size_t words;
    std::set<std::string> options;
};

const Action kActions[] = {
    {"acquire", 0, {"--seconds", "--exclude-identical", "--csv"}},
    {"program", 1, {"--activate", "--unit", "--save-key", "--delete", "--aux-id", "--key", "--key-ascii", "--keys", "--by-address", "--by-id", "--csv"}},
    {"key", 1, {"--row", "--all", "--key", "--key-ascii", "--keys", "--by-address", "--by-id", "--csv"}},
    {"verify", 1, {"--aux-id"}},
    {"set", 0, {"--date", "--time", "--interval", "--wireless-mode", "--role", "--work-mode", "--option"}},
    {"info", 0, {}},
    {"wmbus", 0, {}},
};

// Options that may be given more than once; ParseBusOptions keeps one value per option.
const std::set<std::string> kRepeated{"--row", "--option"};

// A command as the receiver got it, its raw key bytes as \xNN.
std::string Printable(const QByteArray& bytes) {
    std::string text;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7F) {
            text += c;
        } else {
            constexpr char kDigits[] = "0123456789ABCDEF";
            text += {'\\', 'x', kDigits[b >> 4], kDigits[b & 0xF]};
        }
    }
    return text;
}
std::string Printable(const QString& text) { return Printable(text.toLatin1()); }

std::vector<std::string> SplitList(const std::string& text, char separator) {
    std::vector<std::string> items;
    std::size_t from = 0;
    for (std::size_t at; (at = text.find(separator, from)) != std::string::npos; from = at + 1) items.push_back(text.substr(from, at - from));
    items.push_back(text.substr(from));
    return items;
}

// "1,3-5" or repeated --row: data rows, ascending, each once.
std::optional<std::vector<int>> ParseRows(const std::vector<std::string>& texts, std::string& error) {
    std::set<int> rows;
    for (const std::string& text : texts)
        for (const std::string& item : SplitList(text, ',')) {
            const auto dash = item.find('-');
            const auto first = Number(item.substr(0, dash), 1, kRxvMaxRows);
            const auto last = dash == std::string::npos ? first : Number(item.substr(dash + 1), 1, kRxvMaxRows);
            if (!first || !last || *last < *first) {
                error = "--row takes row numbers 1 to 450 and ranges like 3-5: " + text;
                return std::nullopt;
            }
            for (int row = *first; row <= *last; ++row) rows.insert(row);
        }
    return std::vector<int>(rows.begin(), rows.end());
}

// "ID;KEY" lines, KEY as 32 upper-case hex digits; the IDs as `NormalizeId8` makes them.
std::optional<std::map<std::string, std::string>> ParseKeysFile(const std::string& path, std::string& error) {
    const auto text = ReadTableFile(path, error);
    if (!text) return std::nullopt;
    std::map<std::string, std::string> keys;
    int number = 0;
    for (std::string line : SplitList(*text, '\n')) {
        ++number;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == ';')) line.pop_back();
        if (line.empty()) continue;
        const std::string where = path + " line " + std::to_string(number) + ": ";
        const std::vector<std::string> fields = SplitList(line, ';');
        if (fields.size() != 2) {
            error = where + "not ID;KEY";
            return std::nullopt;
        }
        const auto id = NormalizeId8(fields[0]);
        if (!id) {
            error = where + "the ID must be up to 8 characters 0-9, A-F: " + fields[0];
            return std::nullopt;
        }
        const RxvKey key = RxvKeyBytes(fields[1], false);
        if (!key.bytes) {
            error = where + key.refusal;
            return std::nullopt;
        }
        if (const auto known = keys.find(*id); known != keys.end() && known->second != fields[1]) {
            error = where + "a second key for " + *id;
            return std::nullopt;
        }
        keys[*id] = fields[1];
    }
    if (keys.empty()) error = path + ": no keys";
    return keys.empty() ? std::nullopt : std::optional(keys);
}

bool SameText(std::string a, std::string b) {
    auto lower = [](std::string& s) {
        std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    };
    lower(a);
    lower(b);
    return a == b;
}

// The item of a combo box as typed, whatever its case; nothing when the box has no such item.
std::optional<QString> ComboItem(const std::string& text, std::initializer_list<const char*> items) {
    for (const char* item : items)
        if (SameText(text, item)) return QString::fromLatin1(item);
    return std::nullopt;
}

const std::initializer_list<const char*> kWirelessModes{"T1", "T2", "S1", "S2", "R", "T1+C", "T2+C"};
const std::initializer_list<const char*> kRoles{"Master", "Repeater", "Slave"};
const std::initializer_list<const char*> kWorkModes{"Normal", "Install", "Accept All"};
// `Combo_rxvOnOff`'s items and the names of their commands.
const std::pair<const char*, const char*> kOptions[] = {{"RSSI", "rssi"},        {"Timestamp", "tmst"},    {"Min/Hours", "minc"},
                                                       {"Transparent", "trns"}, {"Secondary ID", "ambr"}, {"Master Key", "mast"}};

// `--option rssi=1`, `--option "Master Key=0"`: the item and its state.
std::optional<std::pair<QString, bool>> ParseOption(const std::string& text) {
    const auto at = text.rfind('=');
    if (at == std::string::npos || (text.substr(at + 1) != "0" && text.substr(at + 1) != "1")) return std::nullopt;
    const std::string name = text.substr(0, at);
    for (const auto& [item, command] : kOptions)
        if (SameText(name, item) || SameText(name, command)) return std::pair{QString::fromLatin1(item), text[at + 1] == '1'};
    return std::nullopt;
}

// Log lines of a row passed over or a key storage refused.
const QString kRowRefusals[] = {
    QStringLiteral("Error in Primary device address at row"), QStringLiteral("Error in device ID on row"),
    QStringLiteral("No row selected"), QStringLiteral("Not correct Primary address"),
    QStringLiteral("Max primary address for AES-128 key"), QStringLiteral("Wrong ID, must be 8-digits"),
    QStringLiteral("Encryption key must be 16 bytes"), QStringLiteral("Wrong HEX key"),
};

// The receiver's answers command by command: "Done!" for a command carried out, "Done!" or "already"
// for an activation, any text but an error for a request.
class Replies {
public:
    explicit Replies(RxvKtEngine& rxv) {
        m_connection = QObject::connect(&rxv, &RxvKtEngine::exchanged, [this](const QString& command, const QByteArray& answer) {
            m_answer += answer;
            const std::string fault = Fault(command, answer);
            // An activation sent again is the same entry's: its last attempt decides.
            if (!m_results.empty() && m_results.back().first == command && command.startsWith(QStringLiteral("set entr=")))
                m_results.back().second = fault;
            else
                m_results.emplace_back(command, fault);
        });
    }
    ~Replies() { QObject::disconnect(m_connection); }
    Replies(const Replies&) = delete;
    Replies& operator=(const Replies&) = delete;

    std::vector<std::string> faults() const {
        std::vector<std::string> faults;
        for (const auto& [command, fault] : m_results)
            if (!fault.empty()) faults.push_back(fault);
        return faults;
    }
    const QByteArray& answer() const { return m_answer; }

private:
    static std::string Fault(const QString& command, const QByteArray& answer) {
        if (answer.isEmpty()) return "no answer to " + Printable(command);
        const std::string_view text(answer.constData(), static_cast<std::size_t>(answer.size()));
        // Both key commands go out together and get one answer each: one error spoils the pair.
        const bool ok = command.startsWith(QStringLiteral("set entr=")) ? RxvActivationConfirmed(text)
                        : command.startsWith(QStringLiteral("get "))    ? !answer.startsWith("Error")
                                                                        : answer.contains("Done!") && !answer.contains("Error");
        return ok ? std::string() : Printable(command) + " answered \"" + Printable(answer.trimmed()) + "\"";
    }
    QMetaObject::Connection m_connection;
    std::vector<std::pair<QString, std::string>> m_results;  // command, its fault or empty
    QByteArray m_answer;
};

// The steps of one command, each an engine call run to its end.
class Steps {
public:
    explicit Steps(BusRun& run)
        : m_run(run), m_replies(run.engine().rxvKt()), m_stop([&run] {
              RxvKtEngine& rxv = run.engine().rxvKt();
              // Stopped as its button would: an acquisition still tells the receiver to stop forwarding.
              if (rxv.pageState().acquiring) rxv.acquire();
              else if (rxv.pageState().programming) rxv.program();
              else run.engine().runner().stopCurrent();
          }) {}

    // 0, or the exit code that ends the command. A refusal is a fault of its row when `rowRefusal`,
    // else a refused command.
    int step(const std::function<bool()>& begin, int limitMs, bool rowRefusal = false,
             const std::string& nothing = "nothing to send") {
        if (m_stop.stopped()) return kInterrupted;
        Engine& engine = m_run.engine();
        const qsizetype before = engine.log().lines().size();
        bool started = false;
        std::string error;
        const BusRun::End end = m_run.runToEnd([&] { started = begin(); }, limitMs, error);
        if (m_stop.stopped()) return kInterrupted;
        if (end == BusRun::End::LinkFailed) return BadArguments(error);
        if (end == BusRun::End::Cut) {
            m_faults.push_back(error);
            return kNotAllRead;
        }
        if (!started && !rowRefusal)
            return BadArguments(engine.log().lines().size() > before ? m_run.lastLogLine() : nothing);
        return 0;
    }

    void fault(std::string text) { m_faults.push_back(std::move(text)); }

    // After the last step: unanswered or refused commands and rows passed over.
    int judged(int code, bool answersCount) {
        std::vector<std::string> faults = answersCount ? m_replies.faults() : std::vector<std::string>{};
        int passed = 0;
        for (const QString& line : m_run.engine().log().lines())
            for (const QString& refusal : kRowRefusals)
                if (line.startsWith(refusal)) ++passed;
        if (passed)
            faults.push_back(std::to_string(passed) + (passed == 1 ? " row was" : " rows were") + " passed over (see the log)");
        m_faults.insert(m_faults.end(), faults.begin(), faults.end());
        if (code != 0) return code;
        return m_faults.empty() ? 0 : kNotAllRead;
    }
    const std::vector<std::string>& faults() const { return m_faults; }
    const Replies& replies() const { return m_replies; }
    bool stopped() const { return m_stop.stopped(); }

private:
    BusRun& m_run;
    Replies m_replies;
    StopOnSignals m_stop;
    std::vector<std::string> m_faults;
};

// A row's entry as read on the wired side.
struct Verdict {
    int row = 0;
    std::string address, id, result;
    bool ok = false;
};

// Reads each row's address like a meter's: the receiver answers for an entry whose radio meter it heard,
// with the entry's ID, its unit as the medium, and the records only when the entry's key is the meter's.
std::vector<Verdict> Verify(BusRun& run, Steps& steps, bool auxId, int& code) {
    Engine& engine = run.engine();
    const DeviceTable& table = engine.rxvKt().table();
    std::vector<Verdict> verdicts;
    std::vector<std::vector<std::string>> reads;
    for (int row : ShownRows(table)) {
        Verdict v{row, table.cell(row, kRxvAddressColumn), table.cell(row, auxId ? kRxvAuxIdColumn : kRxvIdColumn), {}, false};
        if (const auto id = NormalizeId8(v.id)) v.id = *id;
        if (v.id.empty()) v.result = auxId ? "no aux ID" : "no ID";
        else if (v.address.empty()) v.result = "no address";
        else if (!Number(v.address, 1, kLastMeterAddress)) v.result = "address outside 1..250, not read on the wired side";
        else reads.push_back({"", v.address});
        verdicts.push_back(v);
    }
    if (reads.empty()) return verdicts;
    MeterPage& meters = engine.meters();
    meters.replaceRows(reads);
    const long long windows = static_cast<long long>(reads.size()) * (engine.settings().settings().misc.retry + 2);
    code = steps.step([&] {
        meters.readAll();
        return true;
    }, OperationLimitMs(engine, windows));
    if (code != 0) return verdicts;
    std::size_t read = 0;
    for (Verdict& v : verdicts) {
        if (!v.result.empty()) continue;
        const int meterRow = static_cast<int>(++read);
        const MeterTable& answered = meters.table();
        const std::string id = answered.cell(meterRow, 0);
        const std::string medium = answered.cell(meterRow, MeterTable::kMediumColumn);
        const std::string_view unit = HeaderMediumOf(static_cast<std::uint8_t>(RxvUnitCode(table.cell(v.row, kRxvMediumColumn)))).text;
        if (id.empty()) v.result = "no answer";
        else if (!SameText(id, v.id)) v.result = "different: ID " + id;
        else if (medium != unit) v.result = "different: medium " + medium + ", not " + std::string(unit);
        else if (answered.cell(meterRow, MeterTable::kValueColumn).empty()) v.result = "no data (no records: wrong key?)";
        else {
            v.result = "ok";
            v.ok = true;
        }
    }
    return verdicts;
}

int Finish(BusRun& run, const BusOptions& options, const Steps& steps, bool table, bool answer,
           const std::vector<Verdict>& verdicts, int code) {
    if (code == kBadArguments) return code;  // its reason is on standard error already
    Engine& engine = run.engine();
    RxvKtEngine& rxv = engine.rxvKt();
    if (options.flags.count("--json")) {
        JsonWriter json;
        json.beginObject();
        std::vector<std::string> log;
        for (const QString& line : engine.log().lines()) log.push_back(line.toStdString());
        json.key("log");
        JsonStrings(json, log);
        if (table) JsonTable(json, rxv.table());
        if (answer) json.key("answer").json(Utf8Json(steps.replies().answer().toStdString()));
        if (!verdicts.empty()) {
            json.key("results").beginArray();
            for (const Verdict& v : verdicts) {
                json.beginObject().key("row").value(v.row).key("address").json(Utf8Json(v.address));
                json.key("id").json(Utf8Json(v.id)).key("result").json(Utf8Json(v.result)).key("ok").value(v.ok).endObject();
            }
            json.endArray();
        }
        json.endObject();
        std::cout << json.text() << std::endl;
    } else {
        if (table) PrintDeviceTable("Receiver table:", rxv.table());
        if (!verdicts.empty()) std::cout << "\n";
        for (const Verdict& v : verdicts)
            std::cout << "Row " << v.row << ", address " << v.address << ", ID " << v.id << ": " << v.result << "\n";
    }
    if (options.values.count("--csv")) {
        const std::string& path = options.values.at("--csv");
        const FileWriteResult written = WriteFileAtomically(path, rxv.exportTable(Separator(engine)));
        if (!written.ok && code != kInterrupted) code = BadArguments("cannot write " + path + ": " + written.reason);
    }
    for (const std::string& fault : steps.faults()) std::cerr << "veltro-cli: " << fault << "\n";
    return code;
}

} // namespace

int RxvKtCommand(const std::vector<std::string>& arguments) {
    std::string error;
    std::map<std::string, std::vector<std::string>> repeated;
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (!kRepeated.count(arguments[i])) {
            rest.push_back(arguments[i]);
            continue;
        }
        if (i + 1 >= arguments.size()) return BadArguments(arguments[i] + " needs a value");
        repeated[arguments[i]].push_back(arguments[i + 1]);
        ++i;
    }
    auto options = ParseBusOptions(rest,
                                   {"--json", "--exclude-identical", "--activate", "--unit", "--save-key", "--delete", "--aux-id",
                                    "--by-address", "--by-id", "--all", "--date", "--time"},
                                   {"--seconds", "--key", "--key-ascii", "--keys", "--interval", "--wireless-mode", "--role",
                                    "--work-mode", "--csv"},
                                   error);
    if (!options) return BadArguments(error);
    if (options->positional.empty()) return BadArguments(kRxvUsage);
    const std::string name = options->positional[0];
    const std::vector<std::string> words(options->positional.begin() + 1, options->positional.end());
    const auto action = std::find_if(std::begin(kActions), std::end(kActions), [&](const Action& a) { return a.name == name; });
    if (action == std::end(kActions)) return BadArguments("unknown rxv-kt command '" + name + "'; " + kRxvUsage);
    if (words.size() != action->words)
        return BadArguments("rxv-kt " + name + (action->words == 0 ? " takes no argument" : " takes one file") + "; " + kRxvUsage);
    std::vector<std::string> given(options->flags.begin(), options->flags.end());
    for (const auto& [option, value] : options->values) given.push_back(option);
    for (const auto& [option, values] : repeated) given.push_back(option);
    for (const std::string& option : given)
        if (option != "--json" && !action->options.count(option)) return BadArguments(option + " does not belong to rxv-kt " + name);
    const auto flag = [&](const char* option) { return options->flags.count(option) > 0; };
    const auto value = [&](const char* option) { return options->values.count(option) ? options->values.at(option) : std::string(); };

    // Everything the command line can refuse is refused before the bus is opened.
    int seconds = 10;
    if (options->values.count("--seconds")) {
        const auto parsed = Number(value("--seconds"), 1, 86400);
        if (!parsed) return BadArguments("--seconds must be 1 to 86400: " + value("--seconds"));
        seconds = *parsed;
    }
    RxvStepSwitches ticked;
    const std::pair<const char*, RxvStep> stepFlags[] = {
        {"--activate", RxvStep::Activate}, {"--unit", RxvStep::Unit}, {"--save-key", RxvStep::Key}, {"--delete", RxvStep::Delete}};
    for (const auto& [option, step] : stepFlags)
        if (flag(option)) ticked.tick(step, true);
    if (name == "program") {
        if (ticked.count() == 0) return BadArguments("rxv-kt program needs --activate, --unit, --save-key or --delete");
        for (const auto& [option, step] : stepFlags)
            if (flag(option) && !ticked.isTicked(step)) return BadArguments("--delete goes alone, not with --activate, --unit or --save-key");
    }
    const int keySources = options->values.count("--key") + options->values.count("--key-ascii") + options->values.count("--keys");
    const bool keysStored = name == "key" || ticked.isTicked(RxvStep::Key);
    if (keySources > 1) return BadArguments("give one of --key, --key-ascii and --keys");
    if (keysStored && keySources == 0) return BadArguments("the key to store needs --key HEX, --key-ascii TEXT or --keys FILE");
    if (!keysStored && keySources) return BadArguments("a key is stored by --save-key only");
    if (keysStored && !flag("--by-address") && !flag("--by-id"))
        return BadArguments("say how the receiver files the key: --by-address, --by-id or both");
    if (flag("--all") && options->values.count("--keys")) return BadArguments("--all stores one key for every meter; --keys one key a meter");
    RxvKeySettings key;
    key.byAddress = flag("--by-address");
    key.byId = flag("--by-id");
    key.oneKeyAll = flag("--all");
    if (options->values.count("--key") || options->values.count("--key-ascii")) {
        key.ascii = options->values.count("--key-ascii") > 0;
        key.keyText = value(key.ascii ? "--key-ascii" : "--key");
        if (key.keyText.size() > kRxvKeyTextLimit) return BadArguments("a key text holds at most 50 characters");
        if (const RxvKey bytes = RxvKeyBytes(key.keyText, key.ascii); !bytes.bytes) return BadArguments(bytes.refusal);
    }
    std::optional<std::map<std::string, std::string>> keyFile;
    if (options->values.count("--keys") && !(keyFile = ParseKeysFile(value("--keys"), error))) return BadArguments(error);
    std::vector<int> keyRows;
    if (name == "key") {
        if (!repeated.count("--row") && !flag("--all")) return BadArguments("rxv-kt key needs --row N (the rows to key) or --all");
        if (repeated.count("--row")) {
            const auto rows = ParseRows(repeated["--row"], error);
            if (!rows) return BadArguments(error);
            keyRows = *rows;
        }
        if (flag("--all") && keyRows.size() > 1) return BadArguments("--all sends one key for all; give at most one --row");
        if (keyRows.empty()) keyRows.push_back(1);  // "One key all" still needs a row with an address
    }

    // set: each value as the page's boxes take it, in the order of the page.
    std::vector<std::function<bool(RxvKtEngine&)>> settings;
    if (name == "set") {
        if (flag("--date")) settings.emplace_back([](RxvKtEngine& rxv) { return rxv.setDate(); });
        if (flag("--time")) settings.emplace_back([](RxvKtEngine& rxv) { return rxv.setTime(); });
        if (options->values.count("--interval")) {
            if (!Number(value("--interval"), 1, 240)) return BadArguments("--interval must be 1 to 240: " + value("--interval"));
            const QString text = QString::fromStdString(value("--interval"));
            settings.emplace_back([text](RxvKtEngine& rxv) { return rxv.setSaveInterval(text); });
        }
        const struct {
            const char* option;
            std::initializer_list<const char*> items;
            bool (RxvKtEngine::*set)(const QString&);
        } combos[] = {{"--wireless-mode", kWirelessModes, &RxvKtEngine::setWirelessMode},
                      {"--role", kRoles, &RxvKtEngine::setRole},
                      {"--work-mode", kWorkModes, &RxvKtEngine::setWorkMode}};
        for (const auto& combo : combos) {
            if (!options->values.count(combo.option)) continue;
            const auto item = ComboItem(value(combo.option), combo.items);
            if (!item) {
                std::string known;
                for (const char* i : combo.items) known += (known.empty() ? "" : ", ") + std::string(i);
                return BadArguments(std::string(combo.option) + " takes " + known + ": " + value(combo.option));
            }
            settings.emplace_back([set = combo.set, item = *item](RxvKtEngine& rxv) { return (rxv.*set)(item); });
        }
        for (const std::string& text : repeated["--option"]) {
            const auto option = ParseOption(text);
            if (!option)
                return BadArguments("--option takes NAME=0 or NAME=1, NAME one of RSSI (rssi), Timestamp (tmst), Min/Hours (minc), "
                                    "Transparent (trns), Secondary ID (ambr), Master Key (mast): " + text);
            settings.emplace_back([option = *option](RxvKtEngine& rxv) { return rxv.setOption(option.first, option.second); });
        }
        if (settings.empty()) return BadArguments("rxv-kt set needs --date, --time, --interval, --wireless-mode, --role, --work-mode or --option");
    }
    std::optional<std::string> file;
    if (action->words == 1 && !(file = ReadTableFile(words[0], error))) return BadArguments(error);

    const bool json = flag("--json");
    BusRun run;
    if (!run.prepare(*options, json, error)) return BadArguments(error);
    Engine& engine = run.engine();
    // The receiver's own port: --simulate puts it on a pseudo-terminal, the acquisition's only way.
    if (options->simulate && options->simulatedRole == sim::BackgroundBridge::Role::Bridge) {
        if (!run.simulateSerialPort(error)) return BadArguments(error);
        Settings serial = engine.settings().settings();
        ApplyLinkSpec(LinkSpec{SerialLinkSpec{serial.comPort.name, "2400", std::nullopt}}, serial);
        engine.settings().setSettings(serial);
    }
    RxvKtEngine& rxv = engine.rxvKt();
    rxv.applyLanguage();
    if (file) {
        const ImportedTable imported = ParseReceiverImport(*file, Separator(engine));
        const std::string& path = words[0];
        if (imported.refusal == ImportRefusal::TooLarge) return BadArguments(path + ": larger than 16 MiB, no table export");
        if (imported.refusal == ImportRefusal::NotText) return BadArguments(path + ": not a text file");
        if (imported.rows.empty()) return BadArguments(path + ": no rows");
        const std::optional<ReceiverImport> applied = rxv.importTable(imported);
        if (!applied || !applied->applied || applied->tooManyData)
            return BadArguments(path + ": not a receiver table (at most 450 rows of at most 10 fields)");
        rxv.selectAll(true);
    }
    const DeviceTable& table = rxv.table();
    // --keys: each row's key by its ID; a row without one would be programmed without its key.
    std::map<int, std::string> rowKeys;
    if (keyFile) {
        for (int row : name == "key" ? keyRows : ShownRows(table)) {
            const auto id = NormalizeId8(table.cell(row, kRxvIdColumn));
            if (!id) return BadArguments("row " + std::to_string(row) + " has no ID to find its key in " + value("--keys"));
            if (!keyFile->count(*id)) return BadArguments(value("--keys") + " has no key for " + *id + " (row " + std::to_string(row) + ")");
            rowKeys[row] = keyFile->at(*id);
        }
    }
    auto keyOf = [&](int row) {
        RxvKeySettings rowKey = key;
        if (keyFile) rowKey.keyText = rowKeys.at(row);
        return rowKey;
    };
    if (name == "key") {
        for (int row : keyRows) {
            if (row > table.dataRowCount())
                return BadArguments("--row: " + words[0] + " has " + std::to_string(table.dataRowCount()) +
                                   (table.dataRowCount() == 1 ? " row" : " rows") + ", no row " + std::to_string(row));
            for (const RxvAction& refused : BuildRxvKeyStorage(row, table.rowCells(row), keyOf(row)))
                if (!refused.command) return BadArguments("row " + std::to_string(row) + ": " + refused.log);
        }
    }

    Steps steps(run);
    const int retries = engine.settings().settings().misc.retry;
    const long long rows = table.dataRowCount();
    int code = 0;
    std::vector<Verdict> verdicts;
    if (name == "acquire") {
        rxv.setExcludeIdentical(flag("--exclude-identical"));
        QTimer stop;
        stop.setSingleShot(true);
        QObject::connect(&stop, &QTimer::timeout, &rxv, [&rxv] {
            if (rxv.pageState().acquiring) rxv.acquire();
        });
        code = steps.step([&] {
            if (!rxv.acquire()) return false;
            stop.start(seconds * 1000);
            return true;
        }, seconds * 1000 + RxvKtEngine::kStopRepeatMilliseconds + OperationLimitMs(engine, 2));
        if (code == 0 && ShownRows(table).empty()) steps.fault("no radio meter was heard in " + std::to_string(seconds) + " s");
        code = steps.judged(code, false);
    } else if (name == "program") {
        rxv.setAuxId(flag("--aux-id"));
        RxvStepSwitches engineSteps = ticked;
        // Each row's own key goes row by row through key storage, after the steps before it.
        if (keyFile) engineSteps.tick(RxvStep::Key, false);
        else if (ticked.isTicked(RxvStep::Key)) rxv.setKeySettings(key);
        for (RxvStep step : kRxvStepOrder) rxv.tickStep(step, engineSteps.isTicked(step));
        if (engineSteps.count() > 0)
            code = steps.step([&] { return rxv.program(); }, OperationLimitMs(engine, rows * engineSteps.count() * (retries + 2) + 2),
                              false, words[0] + ": its only row has no address");
        if (keyFile)
            for (auto it = rowKeys.begin(); code == 0 && it != rowKeys.end(); ++it) {
                rxv.setKeySettings(keyOf(it->first));
                rxv.selectCell(it->first, kRxvIdColumn);
                code = steps.step([&] { return rxv.saveKey(); }, OperationLimitMs(engine, 3), true);
            }
        code = steps.judged(code, true);
    } else if (name == "key") {
        for (auto it = keyRows.begin(); code == 0 && it != keyRows.end(); ++it) {
            rxv.setKeySettings(keyOf(*it));
            rxv.selectCell(*it, kRxvIdColumn);
            code = steps.step([&] { return rxv.saveKey(); }, OperationLimitMs(engine, 3));
        }
        code = steps.judged(code, true);
    } else if (name == "verify") {
        verdicts = Verify(run, steps, flag("--aux-id"), code);
        const auto failed = std::count_if(verdicts.begin(), verdicts.end(), [](const Verdict& v) { return !v.ok; });
        if (code == 0 && failed)
            steps.fault(std::to_string(failed) + " of " + std::to_string(verdicts.size()) + " rows not ok");
        code = steps.judged(code, false);
    } else {
        if (name == "info") settings.emplace_back([](RxvKtEngine& r) { return r.info(); });
        if (name == "wmbus") settings.emplace_back([](RxvKtEngine& r) { return r.wirelessInfo(); });
        for (auto it = settings.begin(); code == 0 && it != settings.end(); ++it)
            code = steps.step([&] { return (*it)(rxv); }, OperationLimitMs(engine, 2));
        code = steps.judged(code, true);
    }
    const bool single = name == "set" || name == "info" || name == "wmbus" || name == "key";
    return Finish(run, *options, steps, name != "set" && name != "info" && name != "wmbus", single, verdicts, code);
}

} // namespace veltro::cli
