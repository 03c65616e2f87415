#include <gtest/gtest.h>

#include "app/duration_text.h"
#include "app/reading_message.h"
#include "test_util.h"

namespace veltro {
namespace {

using namespace std::chrono_literals;

TEST(ParseDuration, UnitsBoundsAndRefusals) {
    struct Case {
        const char* text;
        std::optional<std::chrono::milliseconds> expected;
    } cases[] = {
        {"15m", 15min}, {"30s", 30s}, {"2h", 2h}, {"1d", 24h}, {"500ms", 500ms}, {"90", 90s}, {"5min", 5min},
        {"366d", 366 * 24h}, {"367d", std::nullopt}, {"0s", std::nullopt}, {"", std::nullopt}, {"m", std::nullopt},
        {"-5s", std::nullopt}, {"1.5h", std::nullopt}, {"15 m", std::nullopt}, {"15x", std::nullopt},
        {"99999999999999999999s", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(ParseDuration(c.text), c.expected) << c.text;
}

TEST(CheckTopicPrefix, WildcardsEmptyAndSlashesAreRefused) {
    for (const char* good : {"veltro", "building/7/meters", "a b"}) EXPECT_FALSE(CheckTopicPrefix(good)) << good;
    for (const char* bad : {"", "/veltro", "veltro/", "a/+/b", "a#"}) EXPECT_TRUE(CheckTopicPrefix(bad)) << bad;
    EXPECT_TRUE(CheckTopicPrefix(std::string_view("x\0y", 3)));
}

MeterResponse Decoded(std::string_view medium, std::string_view records) {
    DecodeSettings settings;
    return DecodeMeterResponse(test::Response(test::Header(test::kKan, medium), records), settings);
}

TEST(BrokerMessages, TopicsRetainAndTheDiscoveryClassFollowTheMeter) {
    // 04 13: a volume in litres; 04 06: energy in kWh; 02 6C: a date as the only record.
    struct Case {
        const char* medium;
        const char* records;
        const char* deviceClass;  // nullptr: no discovery config
        const char* shownUnit;
    } cases[] = {
        {"07", "04 13 15 CD 5B 07", "\"device_class\": \"water\"", "\"unit_of_measurement\": \"m\\u00B3\""},
        {"03", "04 13 15 CD 5B 07", "\"device_class\": \"gas\"", "\"state_class\": \"total_increasing\""},
        {"04", "04 06 39 30 00 00", "\"device_class\": \"energy\"", "\"unit_of_measurement\": \"kWh\""},
        {"00", "02 6C 1F 0C", nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.records);
        const MeterResponse response = Decoded(c.medium, c.records);
        ASSERT_TRUE(response.valid && response.header);
        const BrokerMessage state = StateMessage("site/3", response, "2026-12-09T10:00:00Z");
        EXPECT_EQ(state.topic, "site/3/12345678/state");
        EXPECT_TRUE(state.retain);
        const auto config = DiscoveryMessage("site/3", "homeassistant", response);
        if (!c.deviceClass) {
            EXPECT_FALSE(config);
            continue;
        }
        ASSERT_TRUE(config);
        EXPECT_EQ(config->topic, "homeassistant/sensor/veltro_12345678/main/config");
        EXPECT_TRUE(config->retain);
        EXPECT_NE(config->payload.find(c.deviceClass), std::string::npos) << config->payload;
        EXPECT_NE(config->payload.find(c.shownUnit), std::string::npos) << config->payload;
        EXPECT_NE(config->payload.find("\"availability_topic\": \"site/3/status\""), std::string::npos);
    }
    const BrokerMessage error = ErrorMessage("veltro", "address-7", 7, "No response from address 7", "t");
    EXPECT_EQ(error.topic, "veltro/address-7/error");
    EXPECT_FALSE(error.retain);
}

} // namespace
} // namespace veltro
