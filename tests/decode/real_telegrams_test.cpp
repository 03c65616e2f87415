#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <optional>
#include <regex>

#include "decode/meter_response.h"
#include "test_util.h"

namespace veltro {
namespace {

namespace fs = std::filesystem;

struct ReferenceRecord {
    std::string unit;
    std::string quantity;
    std::string value;
    std::string function;
    // Present only where the reference gives them.
    std::optional<std::string> storage;
    std::optional<std::string> tariff;
    std::optional<std::string> device;
};

std::vector<ReferenceRecord> ReferenceRecords(const std::string& xml) {
    std::vector<ReferenceRecord> records;
    const std::regex record("<DataRecord id=\"\\d+\"[^>]*>([\\s\\S]*?)</DataRecord>");
    auto optionalField = [](const std::string& block, const char* tag) -> std::optional<std::string> {
        std::smatch m;
        if (std::regex_search(block, m, std::regex(std::string("<") + tag + ">([^<]*)</" + tag + ">"))) return m[1];
        return std::nullopt;
    };
    auto field = [&](const std::string& block, const char* tag) { return optionalField(block, tag).value_or(""); };
    for (std::sregex_iterator it(xml.begin(), xml.end(), record), end; it != end; ++it) {
        const std::string block = (*it)[1];
        records.push_back({field(block, "Unit"), field(block, "Quantity"), field(block, "Value"), field(block, "Function"),
                           optionalField(block, "StorageNumber"), optionalField(block, "Tariff"),
                           optionalField(block, "Device")});
    }
    return records;
}

// Our unit to the reference's unit and the factor that converts our number into it.
struct UnitConversion {
    const char* ours;
    const char* reference;
    double factor;
};
constexpr UnitConversion kComparable[] = {
    {"kWh", "Wh", 1000.0},    {"MWh", "Wh", 1e6},    {"m3", "m^3", 1.0},   {"W", "W", 1.0},
    {"kW", "W", 1000.0},      {"l/h", "m^3/h", 1e-3}, {"deg. C", "\xB0" "C", 1.0}, {"deg. K", "K", 1.0},
};

// Our unit codes to the reference's units, with the factor from ours into theirs.
constexpr UnitConversion kComparableCodes[] = {
    {"kWh", "Wh", 1000.0}, {"kWh", "kWh", 1.0}, {"m3", "m^3", 1.0},  {"W", "W", 1.0},       {"kW", "W", 1000.0},
    {"l/h", "m^3/h", 1e-3}, {"degC", "\xB0" "C", 1.0}, {"K", "K", 1.0}, {"V", "V", 1.0}, {"A", "A", 1.0},
    {"s", "s", 1.0},       {"min", "s", 60.0},   {"h", "s", 3600.0},   {"d", "s", 86400.0},
};

// The reference's function texts for the four functions of DIF bits 4-5; it names other things
// "Function" too (manufacturer-specific data, another path's "Actual value").
std::optional<RecordFunction> ReferenceFunction(const std::string& text) {
    if (text == "Instantaneous value") return RecordFunction::Instantaneous;
    if (text == "Maximum value") return RecordFunction::Maximum;
    if (text == "Minimum value") return RecordFunction::Minimum;
    if (text == "Value during error state") return RecordFunction::ValueDuringError;
    return std::nullopt;
}

std::vector<fs::path> DeviceFrames() {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(fs::path(VELTRO_FRAMES_DIR) / "devices"))
        if (entry.path().extension() == ".hex") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

TEST(RealTelegrams, ValuesAgreeWithTheReferenceWhereUnitsCompare) {
    int compared = 0;
    for (const auto& path : DeviceFrames()) {
        SCOPED_TRACE(path.filename().string());
        const Telegram frame = test::Bytes(test::ReadFile(path.string()));
        DecodeSettings settings;
        const MeterResponse response = DecodeMeterResponse(frame, settings);
        ASSERT_TRUE(response.valid);
        if (response.header->manufacturer == "ZPA") continue;
        auto xmlPath = path;
        xmlPath.replace_extension(".norm.xml");
        const auto reference = ReferenceRecords(test::ReadFile(xmlPath.string()));
        // Both decoders list the records in telegram order; ours stops at manufacturer-specific data.
        for (std::size_t i = 0; i < response.records.size() && i < reference.size(); ++i) {
            const DecodedRecord& ours = response.records[i];
            // Values during an error state are placeholders (often not even BCD); nothing to compare.
            if (ours.function.rfind("Value during", 0) == 0) continue;
            for (const auto& conversion : kComparable) {
                if (ours.unit != conversion.ours || reference[i].unit != conversion.reference) continue;
                char* end = nullptr;
                const double value = std::strtod(ours.value.c_str(), &end);
                if (end == ours.value.c_str() || *end != '\0') {
                    ADD_FAILURE() << "record " << ours.number << " (" << ours.difDife << ours.vif << " " << ours.vife
                                  << ") reads '" << ours.value << "', the reference " << reference[i].value;
                    continue;
                }
                const double expected = std::strtod(reference[i].value.c_str(), nullptr);
                const double tolerance = std::max(std::fabs(expected) * 1e-6, 0.0011 * conversion.factor);
                EXPECT_NEAR(value * conversion.factor, expected, tolerance)
                    << "record " << ours.number << " (" << ours.difDife << ours.vif << " " << ours.vife << ") "
                    << ours.value << " " << ours.unit << " vs " << reference[i].value << " " << reference[i].unit;
                ++compared;
            }
        }
    }
    // The comparison must actually have happened for a good share of the corpus.
    EXPECT_GT(compared, 150);
}

TEST(RealTelegrams, TypedValuesAndRecordAddressesAgreeWithTheReference) {
    int values = 0;
    int addresses = 0;
    for (const auto& path : DeviceFrames()) {
        SCOPED_TRACE(path.filename().string());
        const MeterResponse response = DecodeMeterResponse(test::Bytes(test::ReadFile(path.string())), DecodeSettings{});
        ASSERT_TRUE(response.valid);
        auto xmlPath = path;
        xmlPath.replace_extension(".norm.xml");
        const auto reference = ReferenceRecords(test::ReadFile(xmlPath.string()));
        for (std::size_t i = 0; i < response.records.size() && i < reference.size(); ++i) {
            const DecodedRecord& ours = response.records[i];
            const ReferenceRecord& theirs = reference[i];
            const auto function = ReferenceFunction(theirs.function);
            if (!function) continue;
            const std::string what = "record " + ours.number + " (" + ours.difDife + ours.vif + " " + ours.vife + ")";
            EXPECT_EQ(ours.valueFunction, *function) << what;
            const std::pair<std::optional<std::string>, std::string> pairs[] = {
                {theirs.storage, std::to_string(ours.storage)},
                {theirs.tariff, std::to_string(ours.tariff)},
                {theirs.device, std::to_string(ours.subunit)},
            };
            for (const auto& [expected, actual] : pairs) {
                if (!expected) continue;
                EXPECT_EQ(actual, *expected) << what;
                ++addresses;
            }
            if (*function == RecordFunction::ValueDuringError || ours.kind != RecordValueKind::Number) continue;
            for (const auto& conversion : kComparableCodes) {
                if (ours.unitCode != conversion.ours || theirs.unit != conversion.reference) continue;
                // The reference prints six decimals.
                const double expected = std::strtod(theirs.value.c_str(), nullptr);
                EXPECT_NEAR(ours.quantity * conversion.factor, expected, std::max(std::fabs(expected) * 1e-6, 1e-6))
                    << what << " " << ours.quantity << " " << ours.unitCode << " vs " << theirs.value << " " << theirs.unit;
                ++values;
            }
        }
    }
    // Floors, so that the test cannot pass by comparing nothing.
    EXPECT_GT(values, 250);
    EXPECT_GT(addresses, 650);
}

TEST(RealTelegrams, EveryFrameAndEveryPrefixDecodesWithoutLeavingItsBytes) {
    std::vector<fs::path> files = DeviceFrames();
    for (const auto& entry : fs::directory_iterator(fs::path(VELTRO_FRAMES_DIR) / "malformed")) files.push_back(entry.path());
    for (const auto& path : files) {
        if (path.extension() != ".hex") continue;
        const auto parsed = ParseHex(test::ReadFile(path.string()));
        if (!parsed) continue;
        for (bool full : {false, true}) {
            for (std::size_t n = 0; n <= parsed->size(); ++n) {
                const std::vector<std::uint8_t> prefix(parsed->begin(), parsed->begin() + static_cast<long>(n));
                DecodeSettings settings;
                settings.fullRead = full;
                settings.decodeApator = true;
                const MeterResponse response = DecodeMeterResponse(prefix, settings);
                ASSERT_FALSE(response.log.empty()) << path.filename();
                EXPECT_EQ(response.log[0].rfind("Respond: ", 0), 0u);
                if (!response.valid) {
                    EXPECT_FALSE(response.tableRow.has_value());
                }
            }
        }
    }
}

} // namespace
} // namespace veltro
