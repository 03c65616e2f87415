#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "decode/meter_response.h"

namespace veltro {

// What a scheduled reading hands to a message broker: one message per reading, per failure, per
// discovery config. Pure texts; the transport is elsewhere.
struct BrokerMessage {
    std::string topic;
    std::string payload;
    bool retain = false;
};

inline constexpr std::string_view kDefaultTopicPrefix = "veltro";
inline constexpr std::string_view kDefaultDiscoveryPrefix = "homeassistant";
inline constexpr std::string_view kOnlinePayload = "online";
inline constexpr std::string_view kOfflinePayload = "offline";

// Why a topic prefix cannot be used (empty, wildcards, a NUL, a leading or trailing '/'), or nothing.
std::optional<std::string> CheckTopicPrefix(std::string_view prefix);

// "PREFIX/status": the program's availability, retained.
std::string StatusTopic(std::string_view prefix);

// "2026-12-09T10:15:00Z".
std::string UtcTimeText(std::chrono::system_clock::time_point time);

// "PREFIX/ID/state", retained: identification, manufacturer, medium, primary address, time of reading,
// the main value and every record with its typed value. `response` must be valid, with a header.
BrokerMessage StateMessage(std::string_view prefix, const MeterResponse& response, std::string_view time);

// "PREFIX/METER/error", not retained: the log line that says why the meter was not read.
BrokerMessage ErrorMessage(std::string_view prefix, std::string_view meter, std::optional<int> address,
                           std::string_view line, std::string_view time);

// A home-automation discovery config for the meter's main value, retained; nothing when the meter has
// no numeric main value.
std::optional<BrokerMessage> DiscoveryMessage(std::string_view prefix, std::string_view discoveryPrefix,
                                              const MeterResponse& response);

} // namespace veltro
