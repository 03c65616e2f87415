#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>

#include "decode/telegram_header.h"
#include "mbus/frames.h"
#include "test_util.h"

namespace veltro {
namespace {

using test::Bytes;
namespace fs = std::filesystem;

std::vector<fs::path> CorpusFiles(const char* folder) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(fs::path(VELTRO_FRAMES_DIR) / folder))
        if (entry.path().extension() == ".hex") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

std::string XmlField(const std::string& xml, const std::string& tag) {
    std::smatch match;
    if (std::regex_search(xml, match, std::regex("<" + tag + ">([^<]*)</" + tag + ">"))) return match[1];
    return {};
}

std::string WithoutLeadingZeros(std::string text) {
    text.erase(0, std::min(text.find_first_not_of('0'), text.size() - 1));
    return text;
}

// A maker's pulse counter: KXR (12 2F), version 12h (QPSA-2), status 8Ch, a battery byte B4h.
constexpr const char* kMakerFrame =
    "68 1C 1C 68 08 07 72 21 43 65 87 12 2F 12 07 05 8C 00 00 04 13 00 00 00 00 0F 01 02 03 B4 00 00 9C 16";

TEST(TelegramHeader, MakerDeviceGetsModelPulseAndBattery) {
    Telegram frame = Bytes(kMakerFrame);
    ASSERT_TRUE(ValidateLongFrame(frame).valid) << ValidateLongFrame(frame).log.size();
    const auto decoding = DecodeTelegramHeader(frame);
    ASSERT_TRUE(decoding.header);
    const TelegramHeader& h = *decoding.header;
    EXPECT_EQ(h.id, "87654321");
    EXPECT_EQ(h.primaryAddress, 7);
    EXPECT_EQ(h.manufacturer, "KXR");
    EXPECT_EQ(h.version, 0x12);
    EXPECT_EQ(h.medium, "Water");
    EXPECT_EQ(h.preferredUnits, (PreferredUnits{"m3", "m3", "m3"}));
    EXPECT_EQ(h.accessNumber, 5);
    EXPECT_EQ(h.status, "8C");
    EXPECT_EQ(h.model, "QPSA-2");
    EXPECT_EQ(h.pulse, "50ms");
    EXPECT_EQ(h.battery, "3.53V");
}

TEST(TelegramHeader, PulseAndBatteryOnlyForTheMakersKnownModels) {
    // Same frame, version 42h: model "Unknown", so neither pulse nor battery is decoded.
    Telegram frame = Bytes("68 1C 1C 68 08 07 72 21 43 65 87 12 2F 42 07 05 8C 00 00 04 13 00 00 00 00 0F 01 02 03 B4 00 00 CC 16");
    ASSERT_TRUE(ValidateLongFrame(frame).valid);
    auto h = DecodeTelegramHeader(frame).header;
    ASSERT_TRUE(h);
    EXPECT_EQ(h->model, "Unknown");
    EXPECT_EQ(h->pulse, "");
    EXPECT_EQ(h->battery, "");

    // Another manufacturer with a model-like version: model decoded, pulse and battery not.
    Telegram other = Bytes("68 1C 1C 68 08 07 72 21 43 65 87 2E 2C 12 07 05 8C 00 00 04 13 00 00 00 00 0F 01 02 03 B4 00 00 B5 16");
    ASSERT_TRUE(ValidateLongFrame(other).valid);
    h = DecodeTelegramHeader(other).header;
    ASSERT_TRUE(h);
    EXPECT_EQ(h->manufacturer, "KAN");
    EXPECT_EQ(h->model, "QPSA-2");
    EXPECT_EQ(h->pulse, "");
    EXPECT_EQ(h->battery, "");
}

TEST(TelegramHeader, FrameShorterThanTheHeaderIsRefusedNotReadPast) {
    // Valid as a long frame (L = 2, 8 bytes) but holding no header.
    const Telegram frame = Bytes("68 02 02 68 08 05 0D 16");
    ASSERT_TRUE(ValidateLongFrame(frame).valid);
    const auto decoding = DecodeTelegramHeader(frame);
    EXPECT_FALSE(decoding.header);
    EXPECT_FALSE(decoding.error.empty());
}

TEST(RealTelegrams, EveryDeviceFrameIsValidAndItsHeaderAgreesWithTheReference) {
    const auto files = CorpusFiles("devices");
    ASSERT_GT(files.size(), 30u);
    for (const auto& path : files) {
        SCOPED_TRACE(path.filename().string());
        const Telegram frame = Bytes(test::ReadFile(path.string()));
        const auto validation = ValidateLongFrame(frame);
        ASSERT_TRUE(validation.valid);
        const auto decoding = DecodeTelegramHeader(frame);
        ASSERT_TRUE(decoding.header) << decoding.error;
        if (frame[6] != 0x72) continue;  // the reference reads CI 73h as a fixed structure
        auto xmlPath = path;
        xmlPath.replace_extension(".norm.xml");
        const std::string xml = test::ReadFile(xmlPath.string());
        EXPECT_EQ(WithoutLeadingZeros(decoding.header->id), XmlField(xml, "Id"));
        EXPECT_EQ(decoding.header->manufacturer, XmlField(xml, "Manufacturer"));
        EXPECT_EQ(std::to_string(decoding.header->version), XmlField(xml, "Version"));
        EXPECT_EQ(std::to_string(decoding.header->accessNumber), XmlField(xml, "AccessNumber"));
        EXPECT_EQ(decoding.header->status, XmlField(xml, "Status"));
    }
}

TEST(RealTelegrams, EveryPrefixAndEveryMalformedFrameIsHandledWithinItsBytes) {
    const auto devices = CorpusFiles("devices");
    auto files = devices;
    const auto malformed = CorpusFiles("malformed");
    files.insert(files.end(), malformed.begin(), malformed.end());
    for (const auto& path : files) {
        SCOPED_TRACE(path.filename().string());
        const bool wellFormed = std::find(devices.begin(), devices.end(), path) != devices.end();
        const auto parsed = ParseHex(test::ReadFile(path.string()));
        if (!parsed) {
            // A file that is not even hex pairs (manual_frame1 starts with a lone digit) is refused there.
            EXPECT_FALSE(wellFormed);
            continue;
        }
        for (std::size_t n = 0; n <= parsed->size(); ++n) {
            // A copy of exactly n bytes, so the sanitizers see any read past the prefix.
            const std::vector<std::uint8_t> prefix(parsed->begin(), parsed->begin() + static_cast<long>(n));
            const auto validation = ValidateLongFrame(prefix);
            if (wellFormed && n < parsed->size()) {
                EXPECT_FALSE(validation.valid) << "prefix of " << n << " bytes";
            }
            const auto decoding = DecodeTelegramHeader(prefix);
            EXPECT_EQ(decoding.header.has_value(), n >= kShortestResponse);
        }
    }
}

} // namespace
} // namespace veltro
