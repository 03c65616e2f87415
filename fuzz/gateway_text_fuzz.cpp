// libFuzzer harness for the gateway settings texts (seeds in fuzz/corpus/gateway_text/): the input as
// lines, the first a command name and the others its values as `veltro-cli gateway set` takes them. Every
// line goes to `ParseDottedQuad`; the values go to the named command and to every row of the command set.
// Each result is a refusal, or a command text of the row's form without a control character, whose
// quoted value cannot end early.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "devices/gateway_frame.h"
#include "devices/gateway_settings.h"
#include "require.h"

using namespace veltro;

namespace {

std::vector<std::string> Lines(std::string_view text) {
    std::vector<std::string> lines;
    for (std::size_t end; (end = text.find('\n')) != std::string_view::npos; text.remove_prefix(end + 1))
        lines.emplace_back(text.substr(0, end));
    lines.emplace_back(text);
    return lines;
}

const std::set<std::string_view> kLines = {kOnlyRs232, kWrongIpValue,      kWrongReadoutTime, kWrongSpeed,
                                           kWrongParity, kPinNotFourDigits, kQuotesNotAllowed};

bool ControlFree(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x20 || byte == 0x7F) return false;
        if (byte == 0xC2 && i + 1 < text.size() && (static_cast<unsigned char>(text[i + 1]) & 0xE0) == 0x80) return false;
    }
    return true;
}

void CheckResult(const GatewayCommandResult& result) {
    Require(result.command.has_value() == (result.refusal == GatewayRefusal::None));
    Require((result.refusal == GatewayRefusal::Logged) == !result.line.empty());
    if (!result.line.empty()) Require(kLines.count(result.line) == 1);
    if (!result.command) return;

    const GatewayCommand& command = *result.command;
    const GatewayCommandRow& row = *command.row;
    const std::string head = std::string(row.verb == GatewayVerb::Set ? "SET " : "GET ") + std::string(row.name);
    Require(command.text.starts_with(head) && ControlFree(command.text));
    Require(command.log == (row.logLine.empty() ? std::vector<std::string>{} : std::vector<std::string>{std::string(row.logLine)}));
    if (row.value == GatewayValue::None) {
        Require(command.text == head);
        return;
    }
    Require(command.text.size() > head.size() + 1 && command.text[head.size()] == '=');
    const std::string_view value = std::string_view(command.text).substr(head.size() + 1);
    const auto quotes = std::count(value.begin(), value.end(), '"');
    const bool quoted = row.value == GatewayValue::Quoted || (row.value == GatewayValue::QuotedOrZero && value != "0");
    Require(quoted ? quotes == 2 && value.front() == '"' && value.back() == '"' : quotes == 0);
    if (row.value == GatewayValue::IpAddress) Require(ParseDottedQuad(value).has_value() && value.size() <= 15);
    if (row.value == GatewayValue::TwoDigits) Require(value.size() == 2 && value >= "00" && value <= "99");
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> lines = Lines({reinterpret_cast<const char*>(data), size});
    for (const std::string& line : lines) {
        const auto number = ParseDottedQuad(line);
        if (!number) continue;
        Require(std::count(line.begin(), line.end(), '.') == 3);
        Require(std::all_of(line.begin(), line.end(), [](char c) { return c == '.' || (c >= '0' && c <= '9'); }));
        Require(ParseDottedQuad(FormatDottedQuad(*number)) == number);
    }

    const std::vector<std::string> values(lines.begin() + 1, lines.end());
    // A clock from the first bytes, often out of range.
    const auto at = [&](std::size_t i) { return i < size ? static_cast<int>(data[i]) : 0; };
    const GatewayClock clock{1990 + at(0), at(1) % 14, at(2) % 33, at(3) % 26, at(4) % 62};
    const GatewayLinkModes modes{size % 7 == 0, size % 11 == 0, size % 3 == 0};

    CheckResult(BuildGatewaySetting(lines[0], values, clock, modes));
    CheckResult(BuildGatewayQuery(lines[0], modes));
    for (const GatewayCommandRow& row : GatewayCommandSet()) {
        if (row.verb == GatewayVerb::Get) {
            CheckResult(BuildGatewayQuery(row.name, modes));
            continue;
        }
        CheckResult(BuildGatewaySetting(row.name, values, clock, modes));
        CheckResult(BuildGatewaySetting(row.name, lines, clock, {}));
    }
    return 0;
}
