#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
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
};

std::vector<ReferenceRecord> ReferenceRecords(const std::string& xml) {
    std::vector<ReferenceRecord> records;
    const std::regex record("<DataRecord id=\"\\d+\"[^>]*>([\\s\\S]*?)</DataRecord>");
    auto field = [](const std::string& block, const char* tag) {
        std::smatch m;
        return std::regex_search(block, m, std::regex(std::string("<") + tag + ">([^<]*)</" + tag + ">"))
                   ? std::string(m[1])
                   : std::string();
    };
    for (std::sregex_iterator it(xml.begin(), xml.end(), record), end; it != end; ++it) {
        const std::string block = (*it)[1];
        records.push_back({field(block, "Unit"), field(block, "Quantity"), field(block, "Value")});
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
