#include "watch_command.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>

#include "app/duration_text.h"
#include "app/reading_message.h"
#include "bus_run.h"
#include "cli_input.h"
#include "device_tables.h"
#include "mbus/address.h"
#include "meters/configuration_telegrams.h"
#include "meters/meter_operations.h"
#include "mqtt_publisher.h"

namespace veltro::cli {
namespace {

constexpr int kBrokerRefused = 3;
// The link could not be had at the start: a service manager may try again later (an adapter not yet
// plugged in), unlike for wrong arguments.
constexpr int kLinkUnavailable = 4;
constexpr std::size_t kMostPasswordBytes = 4096;
constexpr auto kFirstConnectWait = std::chrono::seconds(5);
constexpr auto kFinishWait = std::chrono::seconds(10);
constexpr int kPollMilliseconds = 100;
const char* const kPasswordVariable = "VELTRO_MQTT_PASSWORD";

void Say(const std::string& line) {
    static std::mutex lock;
    std::lock_guard guard(lock);
    std::cerr << line << std::endl;
}

// A meter of the watch list: read by primary address, or chosen by its identification.
struct WatchTarget {
    std::optional<int> address;
    std::string id;  // expected identification; for an address target known once it answered
    std::string name() const { return address ? std::to_string(*address) : id; }
};

bool AddIds(const std::string& list, std::vector<WatchTarget>& targets, std::string& error) {
    for (const auto& text : SplitCommaList(list)) {
        const auto checked = CheckIdentification(text);
        if (!checked) {
            error = checked.refusal + ": " + text;
            return false;
        }
        targets.push_back({std::nullopt, *checked.value});
    }
    return true;
}

// Rows of an exported meter table: by address where the row has one that no other row shares (one
// exchange, and no doubt which meter answers), else by identification.
std::vector<WatchTarget> TableTargets(const ImportedTable& table) {
    std::map<int, int> addressCount;
    for (const auto& row : table.rows)
        if (row.size() > 1)
            if (auto a = ParseTargetAddress(row[1], 1, kLastMeterAddress)) ++addressCount[*a];
    std::vector<WatchTarget> targets;
    for (std::size_t i = 0; i < table.rows.size(); ++i) {
        const auto& row = table.rows[i];
        const auto address = row.size() > 1 ? ParseTargetAddress(row[1], 1, kLastMeterAddress) : std::nullopt;
        const auto id = !row.empty() ? CheckIdentification(row[0]) : Checked<std::string>{std::nullopt, "no identification"};
        if (address && addressCount[*address] == 1) {
            targets.push_back({address, id ? *id.value : std::string()});
        } else if (id) {
            targets.push_back({std::nullopt, *id.value});
        } else if (!row.empty() && !(row.size() == 1 && row[0].empty())) {
            Say("watch: row " + std::to_string(i + 1) + " of the table has no usable address or identification; passed over");
        }
    }
    return targets;
}

std::optional<MqttOptions> ParseMqttOptions(const BusOptions& options, std::string& error) {
    static const char* const kNeedBroker[] = {"--mqtt-user", "--mqtt-password-file", "--mqtt-tls", "--topic",
                                              "--mqtt-queue", "--mqtt-client-id", "--discovery-prefix"};
    if (!options.values.count("--mqtt")) {
        for (const char* name : kNeedBroker)
            if (options.values.count(name)) {
                error = std::string(name) + " needs --mqtt HOST[:PORT]";
                return std::nullopt;
            }
        if (options.flags.count("--discovery")) {
            error = "--discovery needs --mqtt HOST[:PORT]";
            return std::nullopt;
        }
        return std::nullopt;
    }
    MqttOptions mqtt;
    auto value = [&options](const char* name) { return options.values.count(name) ? options.values.at(name) : std::string(); };
    mqtt.caFile = value("--mqtt-tls");
    mqtt.port = mqtt.caFile.empty() ? 1883 : 8883;
    // HOST, HOST:PORT, [IPv6] or [IPv6]:PORT; an IPv6 address without brackets is a host alone.
    const std::string given = value("--mqtt");
    std::string host = given;
    std::string port;
    if (!host.empty() && host.front() == '[') {
        const auto close = host.find(']');
        const bool portFollows = close != std::string::npos && close + 1 < host.size();
        if (close == std::string::npos || (portFollows && host[close + 1] != ':')) {
            error = "--mqtt needs HOST[:PORT]: " + given;
            return std::nullopt;
        }
        if (portFollows) port = host.substr(close + 2);
        host = host.substr(1, close - 1);
        if (portFollows && port.empty()) port = "-";
    } else if (std::count(host.begin(), host.end(), ':') == 1) {
        port = host.substr(host.find(':') + 1);
        host.resize(host.find(':'));
        if (port.empty()) port = "-";
    }
    if (host.empty()) {
        error = "--mqtt needs HOST[:PORT]: " + given;
        return std::nullopt;
    }
    if (!port.empty()) {
        const auto number = Number(port, 1, 65535);
        if (!number) {
            error = "--mqtt port must be 1 to 65535: " + given;
            return std::nullopt;
        }
        mqtt.port = *number;
    }
    mqtt.host = host;
    mqtt.user = value("--mqtt-user");
    if (options.values.count("--mqtt-password-file")) {
        const std::string path = value("--mqtt-password-file");
        std::ifstream file(path, std::ios::binary);
        if (!file) {
            error = "cannot read the password file " + path;
            return std::nullopt;
        }
        std::string text(kMostPasswordBytes + 1, '\0');
        file.read(text.data(), static_cast<std::streamsize>(text.size()));
        text.resize(static_cast<std::size_t>(file.gcount()));
        if (text.size() > kMostPasswordBytes) {
            error = "the password file " + path + " is longer than a password";
            return std::nullopt;
        }
        text = text.substr(0, text.find('\n'));
        if (!text.empty() && text.back() == '\r') text.pop_back();
        mqtt.password = text;
    } else if (const char* password = std::getenv(kPasswordVariable)) {
        mqtt.password = password;
    }
    if (options.values.count("--topic")) mqtt.prefix = value("--topic");
    if (const auto refusal = CheckTopicPrefix(mqtt.prefix)) {
        error = "--topic: " + *refusal;
        return std::nullopt;
    }
    if (options.values.count("--mqtt-queue")) {
        const auto limit = Number(value("--mqtt-queue"), 0, 1000000);
        if (!limit) {
            error = "--mqtt-queue needs a number of messages (0 to 1000000): " + value("--mqtt-queue");
            return std::nullopt;
        }
        mqtt.queueLimit = static_cast<std::size_t>(*limit);
    }
    mqtt.clientId = value("--mqtt-client-id");
    if (mqtt.clientId.size() > 23) {
        error = "--mqtt-client-id is longer than 23 characters";
        return std::nullopt;
    }
    return mqtt;
}

// Where the readings go: the broker, or standard output as JSON lines.
class ReadingSink {
public:
    ReadingSink(MqttPublisher* broker, std::string prefix, std::optional<std::string> discoveryPrefix)
        : m_broker(broker), m_prefix(std::move(prefix)), m_discoveryPrefix(std::move(discoveryPrefix)) {}

    void reading(const MeterResponse& response, std::string_view time) {
        // Once per meter, from its first reading that has a numeric main value.
        if (m_discoveryPrefix && !m_discovered.count(response.header->id))
            if (auto config = DiscoveryMessage(m_prefix, *m_discoveryPrefix, response)) {
                m_discovered.insert(response.header->id);
                send(std::move(*config));
            }
        send(StateMessage(m_prefix, response, time));
    }
    void failure(const WatchTarget& target, const std::string& line, std::string_view time) {
        const std::string meter = !target.id.empty() ? target.id : "address-" + std::to_string(*target.address);
        send(ErrorMessage(m_prefix, meter, target.address, line, time));
    }

private:
    void send(BrokerMessage message) {
        if (m_broker) m_broker->publish(std::move(message));
        else std::cout << message.payload << std::endl;
    }
    MqttPublisher* m_broker;
    std::string m_prefix;
    std::optional<std::string> m_discoveryPrefix;
    std::set<std::string> m_discovered;
};

struct CycleResult {
    int read = 0;
    std::vector<std::string> unread;
    bool linkFailed = false;
    std::string linkError;
};

// The log line since `from` that names the address, else the last one.
std::string ReasonSince(Engine& engine, qsizetype from, const std::optional<int>& address) {
    const QStringList& lines = engine.log().lines();
    if (address) {
        const QString named = QStringLiteral("No response from address %1").arg(*address);
        for (qsizetype i = lines.size(); i-- > from;)
            if (lines[i].startsWith(named)) return lines[i].toStdString();
        return named.toStdString();
    }
    return from < lines.size() ? lines.back().toStdString() : std::string("No answer");
}

class Watch {
public:
    Watch(BusRun& run, ReadingSink& sink, std::vector<WatchTarget> targets, const bool& stopRequested)
        : m_run(run), m_sink(sink), m_targets(std::move(targets)), m_stopRequested(stopRequested) {
        QObject::connect(&run.engine().meters(), &MeterPage::responseDecoded, [this](const MeterResponse& response) {
            if (!response.header) return;
            m_answeredAddresses.insert(response.header->primaryAddress);
            m_answeredIds.insert(response.header->id);
            m_lastId[response.header->primaryAddress] = response.header->id;
            collect(response);
        });
    }

    CycleResult cycle() {
        CycleResult result;
        m_answeredAddresses.clear();
        m_answeredIds.clear();
        Engine& engine = m_run.engine();
        MeterPage& meters = engine.meters();
        const std::string time = UtcTimeText(std::chrono::system_clock::now());

        std::vector<std::vector<std::string>> rows;
        for (const auto& t : m_targets)
            if (t.address) rows.push_back({"", std::to_string(*t.address)});
        const qsizetype from = engine.log().lines().size();
        if (!rows.empty() && !m_stopRequested) {
            meters.replaceRows(rows);
            std::string error;
            const auto windows = static_cast<long long>(rows.size()) * (engine.settings().settings().misc.retry + 2);
            if (m_run.runToEnd([&] { meters.readAll(); }, OperationLimitMs(engine, windows), error) == BusRun::End::LinkFailed) {
                result.linkFailed = true;
                result.linkError = error;
            }
            followFurtherTelegrams();
            flushPending();
        }
        for (const auto& t : m_targets) {
            if (!t.address) continue;
            if (m_answeredAddresses.count(*t.address)) {
                ++result.read;
                continue;
            }
            if (m_stopRequested) continue;  // not asked: the watch was stopped
            WatchTarget named = t;
            if (named.id.empty() && m_lastId.count(*t.address)) named.id = m_lastId[*t.address];
            m_sink.failure(named, result.linkFailed ? result.linkError : ReasonSince(engine, from, t.address), time);
            result.unread.push_back(t.name());
        }
        // By ID; once the link failed, each one left is named with the reason and not asked.
        for (const auto& t : m_targets) {
            if (t.address || m_stopRequested) continue;
            const qsizetype before = engine.log().lines().size();
            if (!result.linkFailed) {
                std::string error;
                if (m_run.runToEnd([&] { meters.findId(t.id); }, OperationLimitMs(engine, 6), error) == BusRun::End::LinkFailed) {
                    result.linkFailed = true;
                    result.linkError = error;
                }
                flushPending();
                if (m_answeredIds.count(t.id)) {
                    ++result.read;
                    continue;
                }
                if (m_stopRequested) continue;
            }
            m_sink.failure(t, result.linkFailed ? result.linkError : ReasonSince(engine, before, std::nullopt), time);
            result.unread.push_back(t.name());
        }
        return result;
    }

    std::size_t size() const { return m_targets.size(); }

private:
    // A meter that announces more records sends one reading in several telegrams: one message for all.
    struct Pending {
        MeterResponse response;
        std::string time;
    };
    void collect(const MeterResponse& telegram) {
        const std::string& id = telegram.header->id;
        auto found = m_pending.find(id);
        if (found == m_pending.end()) {
            found = m_pending.emplace(id, Pending{telegram, UtcTimeText(std::chrono::system_clock::now())}).first;
        } else {
            MeterResponse& whole = found->second.response;
            if (!whole.mainRecord && telegram.mainRecord) whole.mainRecord = whole.records.size() + *telegram.mainRecord;
            whole.records.insert(whole.records.end(), telegram.records.begin(), telegram.records.end());
        }
        if (!telegram.moreRecordsPending) {
            m_sink.reading(found->second.response, found->second.time);
            m_pending.erase(found);
        }
    }
    // The rest of the reading of a meter read by address that announced more records, read to its
    // last telegram so that the next cycle again starts at its first.
    void followFurtherTelegrams() {
        std::vector<int> addresses;
        for (const auto& [id, pending] : m_pending) addresses.push_back(pending.response.header->primaryAddress);
        Engine& engine = m_run.engine();
        for (int address : addresses) {
            if (m_stopRequested) return;
            SingleRead::Request request;
            request.addressText = QString::number(address);
            request.target = address;
            request.multiTelegram = true;
            request.use5B = engine.settings().settings().misc.use5B;
            std::string error;
            m_run.runToEnd([&] { engine.runner().start(new SingleRead(engine.meters(), std::move(request))); },
                           OperationLimitMs(engine, SingleRead::kMostFurtherTelegrams + 2), error);
        }
    }
    // What a meter sent before it stopped announcing more, or before its read ended.
    void flushPending() {
        for (const auto& [id, pending] : m_pending) m_sink.reading(pending.response, pending.time);
        m_pending.clear();
    }

    BusRun& m_run;
    ReadingSink& m_sink;
    std::vector<WatchTarget> m_targets;
    const bool& m_stopRequested;
    std::set<int> m_answeredAddresses;
    std::set<std::string> m_answeredIds;
    std::map<int, std::string> m_lastId;
    std::map<std::string, Pending> m_pending;
};

// Runs the event loop until `deadline`, a stop, or a refusal of the broker.
void WaitUntil(std::chrono::steady_clock::time_point deadline, const bool& stopRequested, MqttPublisher* broker) {
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (stopRequested || std::chrono::steady_clock::now() >= deadline || (broker && !broker->refusal().empty()))
            loop.quit();
    });
    poll.start(kPollMilliseconds);
    if (std::chrono::steady_clock::now() < deadline && !stopRequested) loop.exec();
}

} // namespace

int WatchCommand(const std::vector<std::string>& arguments) {
    std::string error;
    auto options = ParseBusOptions(arguments, {"--5b", "--discovery", "--verbose"},
                                   {"--every", "--cycles", "--id", "--table", "--mqtt", "--mqtt-user", "--mqtt-password-file",
                                    "--mqtt-tls", "--topic", "--mqtt-queue", "--mqtt-client-id", "--discovery-prefix"},
                                   error);
    if (!options) return BadArguments(error);
    if (!options->values.count("--every")) return BadArguments("watch needs --every DURATION (e.g. 30s, 15m, 1h)");
    const auto every = ParseDuration(options->values.at("--every"));
    if (!every || *every < std::chrono::seconds(1))
        return BadArguments("--every needs a duration of 1 s to 366 days (30s, 15m, 1h, 1d): " + options->values.at("--every"));
    std::optional<int> cycles;
    if (options->values.count("--cycles")) {
        cycles = Number(options->values.at("--cycles"), 1, 1000000);
        if (!cycles) return BadArguments("--cycles needs a number from 1 to 1000000: " + options->values.at("--cycles"));
    }

    std::vector<WatchTarget> targets;
    for (const auto& text : options->positional) {
        const auto address = ParseTargetAddress(text, 0, kLastMeterAddress);
        if (!address) return BadArguments("primary address must be 0 to 250: " + text);
        targets.push_back({*address, {}});
    }
    if (options->values.count("--id") && !AddIds(options->values.at("--id"), targets, error)) return BadArguments(error);
    std::optional<std::string> tableText;
    if (options->values.count("--table")) {
        tableText = ReadTableFile(options->values.at("--table"), error);
        if (!tableText) return BadArguments(error);
    }

    const auto mqttOptions = ParseMqttOptions(*options, error);
    if (!error.empty()) return BadArguments(error);
    std::optional<std::string> discoveryPrefix;
    if (options->flags.count("--discovery")) {
        discoveryPrefix = options->values.count("--discovery-prefix") ? options->values.at("--discovery-prefix")
                                                                       : std::string(kDefaultDiscoveryPrefix);
        if (const auto refusal = CheckTopicPrefix(*discoveryPrefix)) return BadArguments("--discovery-prefix: " + *refusal);
    } else if (options->values.count("--discovery-prefix")) {
        return BadArguments("--discovery-prefix needs --discovery");
    }

    std::unique_ptr<MqttPublisher> broker;
    if (mqttOptions) {
        broker = std::make_unique<MqttPublisher>(*mqttOptions, Say);
        if (!broker->start(error)) return BadArguments(error);
        if (broker->awaitConnection(kFirstConnectWait) == MqttPublisher::Connection::Refused) {
            std::cerr << "veltro-cli: " << broker->refusal() << "\n";
            return kBrokerRefused;
        }
    }

    BusRun run;
    run.setLogPrinted(options->flags.count("--verbose") > 0);
    if (!run.prepare(*options, true, error)) return BadArguments(error);
    Engine& engine = run.engine();
    if (options->flags.count("--5b")) {
        Settings settings = engine.settings().settings();
        settings.misc.use5B = true;
        engine.settings().setSettings(settings);
    }
    if (tableText) {
        const ImportedTable imported = ParseImportText(*tableText, Separator(engine));
        if (imported.refusal != ImportRefusal::None) return BadArguments("not a table exported by the program: " + options->values.at("--table"));
        for (auto& t : TableTargets(imported)) targets.push_back(std::move(t));
        if (targets.empty()) return BadArguments("the table names no meter: " + options->values.at("--table"));
    }

    bool stopRequested = false;
    StopOnSignals stopOnSignals([&] {
        stopRequested = true;
        engine.meters().stopSecondary();
        engine.runner().stopCurrent();
    });
    const std::string prefix = mqttOptions ? mqttOptions->prefix : std::string(kDefaultTopicPrefix);
    ReadingSink sink(broker.get(), prefix, discoveryPrefix);

    // Readings the broker never got make a run that read everything still not a success.
    auto finish = [&](int code) {
        if (broker && !broker->finish(kFinishWait) && code == 0) return kNotAllRead;
        return code;
    };

    if (targets.empty()) {
        Say("watch: no meters given; searching the bus for every meter (this takes a while)");
        MeterPage& meters = engine.meters();
        const long long windows = 300LL * (engine.settings().settings().misc.retry + 1);
        const BusRun::End end = run.runToEnd([&] { meters.findId("FFFFFFFF"); },
                                             OperationLimitMs(engine, windows) + MeterPage::kGlobalInitWaitMilliseconds, error);
        if (end == BusRun::End::LinkFailed) {
            std::cerr << "veltro-cli: " << error << "\n";
            return finish(kLinkUnavailable);
        }
        if (stopRequested) return finish(0);
        for (int r : MeterRows(meters.table()))
            if (const auto id = CheckIdentification(meters.table().cell(r, 0))) targets.push_back({std::nullopt, *id.value});
        if (targets.empty()) {
            std::cerr << "veltro-cli: no meter found on the bus\n";
            return finish(kNotAllRead);
        }
        std::string ids;
        for (const auto& t : targets) ids += (ids.empty() ? "" : ", ") + t.id;
        Say("watch: found " + std::to_string(targets.size()) + " meter(s): " + ids);
    }

    Watch watch(run, sink, std::move(targets), stopRequested);
    auto next = std::chrono::steady_clock::now();
    CycleResult last;
    for (int cycle = 1;; ++cycle) {
        const auto started = std::chrono::steady_clock::now();
        last = watch.cycle();
        if (broker && !broker->refusal().empty()) {
            std::cerr << "veltro-cli: " << broker->refusal() << "\n";
            return finish(kBrokerRefused);
        }
        if (last.linkFailed && cycle == 1) {
            std::cerr << "veltro-cli: " << last.linkError << "\n";
            return finish(kLinkUnavailable);
        }
        if (stopRequested) break;
        std::string line = "watch: cycle " + std::to_string(cycle) + ": " + std::to_string(last.read) + " of " +
                           std::to_string(watch.size()) + " meter(s) read";
        if (!last.unread.empty()) {
            line += "; not read:";
            for (const auto& name : last.unread) line += " " + name;
        }
        if (last.linkFailed) line += "; the link failed: " + last.linkError;
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
        Say(line + " (" + std::to_string(took.count() / 1000) + "." + std::to_string(took.count() % 1000 / 100) + " s)");
        if (cycles && cycle >= *cycles) break;
        next += *every;
        if (next < std::chrono::steady_clock::now()) {
            Say("watch: the cycle took longer than --every; the next one starts now");
            next = std::chrono::steady_clock::now();
        }
        WaitUntil(next, stopRequested, broker.get());
        if (broker && !broker->refusal().empty()) {
            std::cerr << "veltro-cli: " << broker->refusal() << "\n";
            return finish(kBrokerRefused);
        }
        if (stopRequested) break;
    }
    if (stopRequested) Say("watch: stopped");
    const int code = !stopRequested && cycles && (!last.unread.empty() || last.linkFailed) ? kNotAllRead : 0;
    return finish(code);
}

} // namespace veltro::cli
