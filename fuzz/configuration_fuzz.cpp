// libFuzzer harness for the configuration telegrams: the input as lines, the target address first, then
// the values in the order `veltro-cli build` takes them (seeds in fuzz/corpus/configuration/). Every kind
// of telegram gets the same lines: each check gives a value or its message, and whatever is built is a
// whole frame to the target, 0-250, 253 or 254.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <vector>

#include "decode/medium_table.h"
#include "mbus/address.h"
#include "mbus/frames.h"
#include "meters/configuration_telegrams.h"
#include "require.h"

using namespace veltro;

namespace {

template <class Value>
bool Holds(const Checked<Value>& checked) {
    Require(checked.value.has_value() == checked.refusal.empty());
    return checked.value.has_value();
}

void RequireLongFrame(const Telegram& t, std::uint8_t target, std::uint8_t control) {
    Require(ValidateLongFrame(t).valid);
    Require(t[0] == frame::kLongStart && t[1] == t[2] && t[3] == frame::kLongStart);
    Require(t[4] == control && t[5] == target);
}

std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    for (std::size_t end; (end = text.find('\n')) != std::string_view::npos; text.remove_prefix(end + 1))
        lines.push_back(text.substr(0, end));
    lines.push_back(text);
    return lines;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string_view> lines = Lines({reinterpret_cast<const char*>(data), size});
    const auto parsed = ParseTargetAddress(lines[0], 0, kBroadcastNoReply);
    if (!parsed || (*parsed > kLastMeterAddress && *parsed != kSecondaryAddress && *parsed != kBroadcastWithReply)) return 0;
    const auto target = static_cast<std::uint8_t>(*parsed);
    const auto line = [&](std::size_t index) { return index < lines.size() ? lines[index] : std::string_view{}; };
    const std::optional<std::string_view> second = lines.size() > 2 ? std::optional(lines[2]) : std::nullopt;

    if (const auto address = CheckNewAddress(line(1)); Holds(address)) {
        Require(*address.value <= kHighestNewAddress);
        const Telegram t = BuildSetAddress(target, *address.value);
        RequireLongFrame(t, target, frame::kSndUdAddressing);
        Require(t[9] == *address.value);
    }

    const auto identification = BuildSetIdentification(target, line(1));
    Require(identification.has_value() == Holds(CheckIdentification(line(1))));
    if (identification) RequireLongFrame(*identification, target, frame::kSndUdAddressing);

    if (const auto ci = CheckBaud(line(1)); Holds(ci)) {
        Require(BaudOfCi(*ci.value).has_value());
        const Telegram t = BuildSetBaud(target, *ci.value);
        RequireLongFrame(t, target, frame::kSndUd);
        Require(t.size() == 9 && t[6] == *ci.value);
    }

    bool idOverridden = false;
    RequireLongFrame(BuildSetMedium(target, second, MediumCode(line(1)), &idOverridden), target, frame::kSndUd);
    Require(idOverridden == (second && !Holds(CheckIdentification(*second))));

    if (const auto vif = CheckUnit(line(1), line(2)); Holds(vif)) {
        Require(*vif.value == UnitVif(line(1), line(2)));
        RequireLongFrame(BuildSetUnit(target, *vif.value, MediumCode(line(3))), target, frame::kSndUd);
    }

    const std::uint8_t widthCode = PulseWidthCode(line(1));
    const bool boxWidth = std::find(kPulseWidthItems.begin(), kPulseWidthItems.end(), line(1)) != kPulseWidthItems.end();
    Require(widthCode <= kPulseWidthItems.size() && (widthCode != 0) == boxWidth);
    RequireLongFrame(BuildSetPulseWidth(target, widthCode), target, frame::kSndUd);

    if (const auto pulses = CheckPulseValue(line(1)); Holds(pulses)) {
        Require(*pulses.value <= kHighestPulseValue);
        const Telegram t = BuildSetPulseValue(target, *pulses.value);
        RequireLongFrame(t, target, frame::kSndUd);
        Require(t[9] + 256u * t[10] + 65536u * t[11] == *pulses.value && t[12] == 0);
    }

    if (const auto type = CheckCounterType(line(1)); Holds(type))
        RequireLongFrame(BuildSetCounterType(target, *type.value), target, frame::kSndUd);

    // The relay value unpadded reaches the builder only when it is 8 digits already.
    const auto unpadded = BuildRelayValue(target, UnitVif(line(2), line(3)), line(1));
    Require(unpadded.has_value() == Holds(CheckIdentification(line(1))));
    if (const auto value = CheckRelayValue(line(1)); Holds(value)) {
        Require(value.value->size() == 8 && value.value->ends_with(line(1)));
        const auto relay = BuildRelayValue(target, UnitVif(line(2), line(3)), *value.value);
        Require(relay.has_value());
        RequireLongFrame(*relay, target, frame::kSndUd);
    }

    const Telegram reset = BuildSndNke(target);
    Require(reset.size() == 5 && reset[0] == frame::kShortStart && reset[1] == frame::kSndNke && reset[2] == target);
    Require(reset[3] == static_cast<std::uint8_t>(reset[1] + reset[2]) && reset[4] == frame::kStop);
    return 0;
}
