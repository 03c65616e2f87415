#include "app/reading_message.h"

#include <array>
#include <ctime>

#include "app/json_writer.h"
#include "app/record_json.h"

namespace veltro {
namespace {

std::string Joined(std::string_view a, std::string_view b, std::string_view c = {}) {
    std::string text;
    text.reserve(a.size() + b.size() + c.size() + 2);
    text.append(a).append("/").append(b);
    if (!c.empty()) text.append("/").append(c);
    return text;
}

// How a home-automation system shows a main value of this unit. Units are Latin-1, as every text the
// JSON writer takes: "m\xB3" is written as m³.
struct DiscoveryUnit {
    std::string_view code;
    std::string_view shown;
    std::string_view deviceClass;  // empty: none fits; "volume" is made water or gas by the medium
    bool counter;                  // a register that only grows: a total, not a measurement
};

constexpr std::array kDiscoveryUnits{
    DiscoveryUnit{"kWh", "kWh", "energy", true},
    DiscoveryUnit{"MJ", "MJ", "energy", true},
    DiscoveryUnit{"GJ", "GJ", "energy", true},
    DiscoveryUnit{"m3", "m\xB3", "volume", true},
    DiscoveryUnit{"W", "W", "power", false},
    DiscoveryUnit{"kW", "kW", "power", false},
    DiscoveryUnit{"degC", "\xB0" "C", "temperature", false},
    DiscoveryUnit{"K", "K", "temperature", false},
    DiscoveryUnit{"V", "V", "voltage", false},
    DiscoveryUnit{"A", "A", "current", false},
    DiscoveryUnit{"l/h", "L/h", "", false},
};

// EN 13757-3 medium codes of water and gas meters.
constexpr std::array<int, 6> kWaterMedia{0x06, 0x07, 0x15, 0x16, 0x0E, 0x28};
constexpr int kGasMedium = 0x03;

std::string_view VolumeClass(int medium) {
    if (medium == kGasMedium) return "gas";
    for (int water : kWaterMedia)
        if (medium == water) return "water";
    return "";
}

const DecodedRecord* MainRecord(const MeterResponse& response) {
    if (!response.mainRecord || *response.mainRecord >= response.records.size()) return nullptr;
    return &response.records[*response.mainRecord];
}

} // namespace

std::optional<std::string> CheckTopicPrefix(std::string_view prefix) {
    if (prefix.empty()) return "the topic prefix is empty";
    if (prefix.front() == '/' || prefix.back() == '/') return "the topic prefix must not begin or end with '/'";
    for (char c : prefix) {
        if (c == '+' || c == '#') return "the topic prefix must not hold the wildcards + or #";
        if (c == '\0') return "the topic prefix must not hold a NUL character";
    }
    return std::nullopt;
}

std::string StatusTopic(std::string_view prefix) { return Joined(prefix, "status"); }

std::string UtcTimeText(std::chrono::system_clock::time_point time) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

BrokerMessage StateMessage(std::string_view prefix, const MeterResponse& response, std::string_view time) {
    const TelegramHeader& h = *response.header;
    JsonWriter json;
    json.beginObject();
    json.key("id").value(h.id);
    json.key("manufacturer").value(h.manufacturer);
    json.key("medium").value(h.medium);
    json.key("medium_code").value(h.mediumCode);
    json.key("address").value(h.primaryAddress);
    json.key("version").value(h.version);
    json.key("status").value(h.status);
    json.key("time").value(time);
    json.key("main").beginObject();
    if (const DecodedRecord* main = MainRecord(response)) {
        json.key("record").value(static_cast<int>(*response.mainRecord));
        WriteTypedRecord(json, *main);
    } else {
        json.key("record").null();
        json.key("value").null();
    }
    json.endObject();
    json.key("records").beginArray();
    for (const DecodedRecord& record : response.records) {
        json.beginObject();
        json.key("description").value(record.description.empty() ? record.unit : record.description);
        WriteTypedRecord(json, record);
        json.endObject();
    }
    json.endArray();
    json.endObject();
    return {Joined(prefix, h.id, "state"), json.text(), true};
}

BrokerMessage ErrorMessage(std::string_view prefix, std::string_view meter, std::optional<int> address,
                           std::string_view line, std::string_view time) {
    JsonWriter json;
    json.beginObject();
    json.key("meter").value(meter);
    json.key("address");
    if (address) json.value(*address);
    else json.null();
    json.key("time").value(time);
    json.key("error").value(line);
    json.endObject();
    return {Joined(prefix, meter, "error"), json.text(), false};
}

std::optional<BrokerMessage> DiscoveryMessage(std::string_view prefix, std::string_view discoveryPrefix,
                                              const MeterResponse& response) {
    const DecodedRecord* main = MainRecord(response);
    if (!main || main->kind != RecordValueKind::Number) return std::nullopt;
    const TelegramHeader& h = *response.header;
    const std::string object = "veltro_" + h.id;

    const DiscoveryUnit* unit = nullptr;
    for (const DiscoveryUnit& u : kDiscoveryUnits)
        if (u.code == main->unitCode) unit = &u;
    std::string_view deviceClass = unit ? unit->deviceClass : std::string_view();
    if (deviceClass == "volume") deviceClass = VolumeClass(h.mediumCode);

    JsonWriter json;
    json.beginObject();
    json.key("name").value("Main value");
    json.key("unique_id").value(object + "_main");
    json.key("object_id").value(object + "_main");
    json.key("state_topic").value(Joined(prefix, h.id, "state"));
    json.key("value_template").value("{{ value_json.main.value }}");
    if (!main->unitCode.empty()) json.key("unit_of_measurement").value(unit ? unit->shown : std::string_view(main->unitCode));
    if (!deviceClass.empty()) json.key("device_class").value(deviceClass);
    json.key("state_class").value(unit && unit->counter ? "total_increasing" : "measurement");
    json.key("json_attributes_topic").value(Joined(prefix, h.id, "state"));
    json.key("availability_topic").value(StatusTopic(prefix));
    json.key("payload_available").value(kOnlinePayload);
    json.key("payload_not_available").value(kOfflinePayload);
    json.key("device").beginObject();
    json.key("identifiers").strings({object});
    json.key("name").value(h.medium + " meter " + h.id);
    json.key("manufacturer").value(h.manufacturer);
    json.key("model").value(h.model);
    json.endObject();
    json.endObject();
    return BrokerMessage{std::string(discoveryPrefix) + "/sensor/" + object + "/main/config", json.text(), true};
}

} // namespace veltro
