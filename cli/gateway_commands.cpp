#include "gateway_commands.h"

#include <algorithm>
#include <cctype>

#include <QDateTime>

#include "bus_run.h"
#include "devices/gateway_settings.h"
#include "devices/gateway_settings_sender.h"
#include "link/free_command_console.h"

namespace veltro::cli {
namespace {

constexpr const char* kSerialOnly =
    "gateway settings go to the gateway's RS-232 port, never over TCP: give --link serial:PORT";

const GatewayCommandRow* RowNamed(GatewayVerb verb, std::string_view name) {
    for (const GatewayCommandRow& row : GatewayCommandSet())
        if (row.verb == verb && row.name == name) return &row;
    return nullptr;
}

// The page says nothing for these; a script needs to know why nothing was sent.
std::string RefusalText(GatewayVerb verb, const std::string& name, const std::vector<std::string>& values,
                        const GatewayCommandResult& built) {
    const GatewayCommandRow* row = RowNamed(verb, name);
    switch (built.refusal) {
    case GatewayRefusal::Logged: return built.line;
    case GatewayRefusal::UnknownCommand:
        if (verb == GatewayVerb::Get) return "unknown gateway information " + name + "; give MAIN, SERV, CONN, OPER, GPRS or STAT";
        if (row && row->value == GatewayValue::Fixed) return name + " takes 1 (server) or 0 (client)";
        return "unknown gateway setting " + name + "; see --help";
    case GatewayRefusal::ValueCount: {
        const std::size_t count = row ? GatewayValueCount(row->value) : 1;
        if (row && row->value == GatewayValue::DueDate) return name + " takes day, hour and minute";
        if (row && row->value == GatewayValue::SerialPort) return name + " takes the speed and the parity";
        return name + (count == 0 ? " takes no value" : " takes one value");
    }
    case GatewayRefusal::TooLong:
        return name + " holds at most " + std::to_string(row ? row->maxLength : 0) + " characters";
    case GatewayRefusal::Silent:
        if (row && row->value == GatewayValue::TwoDigits)
            return name + " must be " + std::to_string(row->low) + " to " + std::to_string(row->high) + ": " +
                   (values.empty() ? std::string() : values.front());
        return name + " needs a value";
    case GatewayRefusal::BadClock: return "the computer's clock is not a date and time of 2000-2099";
    case GatewayRefusal::None: break;
    }
    return "refused";
}

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

} // namespace

int GatewayCommand(const std::vector<std::string>& arguments) {
    // After "--" every argument is a value, even one that starts with "-".
    const auto end = std::find(arguments.begin(), arguments.end(), std::string("--"));
    std::string error;
    auto options = ParseBusOptions(std::vector<std::string>(arguments.begin(), end), {"--json"}, {}, error);
    if (!options) return BadArguments(error);
    std::vector<std::string> words = options->positional;
    if (end != arguments.end()) words.insert(words.end(), end + 1, arguments.end());

    GatewayVerb verb = GatewayVerb::Set;
    std::string name;
    std::vector<std::string> values;
    const std::string action = words.empty() ? std::string() : words[0];
    if (action == "set" && words.size() >= 2) {
        name = Upper(words[1]);
        values.assign(words.begin() + 2, words.end());
    } else if (action == "get" && words.size() == 2) {
        verb = GatewayVerb::Get;
        name = Upper(words[1]);
    } else if (action == "test" && words.size() == 1) {
        name = "TEST";
    } else {
        return BadArguments("gateway set NAME VALUE... | gateway get MAIN|SERV|CONN|OPER|GPRS|STAT | gateway test; see --help");
    }
    if (options->link.empty()) return BadArguments(kSerialOnly);
    const LinkSpecParse link = ParseLinkSpec(options->link);
    if (!link.link) return BadArguments(link.error);
    if (link.link->kind() != LinkKind::Serial) return BadArguments(kSerialOnly);

    const bool json = options->flags.count("--json") > 0;
    BusRun run;
    if (!run.prepare(*options, json, error)) return BadArguments(error);
    Engine& engine = run.engine();
    const GatewaySettingsSender sender(engine.settings(), engine.log(), engine.runner(), engine.console());
    GatewayCommandResult built = verb == GatewayVerb::Get
                                     ? BuildGatewayQuery(name, sender.modes())
                                     : BuildGatewaySetting(name, values, GatewayClockAt(QDateTime::currentDateTime()), sender.modes());
    if (!built.command) {
        const std::string text = RefusalText(verb, name, values, built);
        std::cerr << (built.refusal == GatewayRefusal::Logged ? text : "veltro-cli: " + text) << "\n";
        return kBadArguments;
    }
    const bool collects = built.command->row->startsReplyCollector;

    std::vector<std::string> sent;
    QObject::connect(&engine.link(), &LinkFacade::telegramWritten, [&sent](const Telegram& telegram) {
        sent.emplace_back(reinterpret_cast<const char*>(telegram.data()), telegram.size());
    });
    std::optional<std::string> answer;
    QObject::connect(&engine.console(), &FreeCommandConsole::answerWindowEnded, [&](bool logged) {
        if (logged) answer = engine.log().lines().back().toStdString();
    });
    GatewaySend result;
    const BusRun::End ended =
        run.runToEnd([&] { result = sender.send(std::move(built)); }, OperationLimitMs(engine, 2), error);
    if (!result.started || ended == BusRun::End::LinkFailed || sent.empty())
        return BadArguments(!error.empty() ? error : run.lastLogLine());

    if (json) {
        JsonWriter out;
        out.beginObject();
        std::vector<std::string> log;
        for (const QString& line : engine.log().lines()) log.push_back(line.toStdString());
        out.key("log").strings(log);
        out.key("sent").strings(sent);
        out.key("answer");
        if (answer) out.value(*answer);
        else out.null();
        out.endObject();
        std::cout << out.text() << std::endl;
    }
    if (collects && !answer)
        std::cerr << "veltro-cli: no answer within the response window (" << engine.settings().responseWindow() << " ms)\n";
    return 0;
}

} // namespace veltro::cli
