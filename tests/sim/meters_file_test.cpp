#include <gtest/gtest.h>

#include <filesystem>

#include <QTemporaryDir>

#include "sim/meters_file.h"
#include "sim_test_support.h"

namespace veltro::sim {
namespace {

using test::Bytes;
using test::Send;
using test::Valid;

const QString kFramesDir = VELTRO_FRAMES_DIR;

std::unique_ptr<Bus> BusFromJson(const char* json, QString& error, const QString& base = kFramesDir) {
    auto meters = ParseMetersJson(QByteArray(json), base, error);
    if (!meters) return nullptr;
    return MakeBus(std::move(*meters), error);
}

TEST(MetersFile, EncodedMeterWithEveryKindOfValue) {
    const char* json = R"({"meters": [{
        "name": "test meter", "address": 7, "id": "12345678", "manufacturer": "ABC",
        "version": "1F", "medium": 4, "access": 16, "status": "0x8C", "signature": 0,
        "records": [
            {"dif": "04", "vif": "13", "value": 123456789},
            {"dif": "84", "dife": "10", "vif": "06", "value": 5},
            {"dif": "02", "vif": "FD", "vife": "48", "value": 2301},
            {"dif": "0C", "vif": 19, "value": 345678},
            {"dif": "05", "vif": "2B", "value": 1.5},
            {"dif": "04", "vif": "6D", "date": "2012-04-15 10:05"},
            {"dif": "02", "vif": "6C", "date": "2000-12-31"},
            {"dif": "0D", "vif": "78", "text": "ABC"},
            {"dif": "01", "vif": "FD", "vife": "17", "data": "00"},
            {"hex": "2F 2F"},
            {"dif": "0F", "data": "01 02 03"}
        ]}]})";
    QString error;
    auto bus = BusFromJson(json, error);
    ASSERT_TRUE(bus) << error.toStdString();
    const Telegram read = Send(*bus, BuildReqUd2(7));
    ASSERT_TRUE(Valid(read));
    EXPECT_EQ(HexRendering(read.bytes().subspan(7, 12)), "78 56 34 12 43 04 1F 04 10 8C 00 00 ");
    EXPECT_EQ(HexRendering(read.bytes().subspan(19, read.size() - 21)),
              "04 13 15 CD 5B 07 "
              "84 10 06 05 00 00 00 "
              "02 FD 48 FD 08 "
              "0C 13 78 56 34 00 "
              "05 2B 00 00 C0 3F "
              "04 6D 05 0A 8F 14 "
              "02 6C 1F 0C "
              "0D 78 03 41 42 43 "
              "01 FD 17 00 "
              "2F 2F "
              "0F 01 02 03 ");
}

TEST(MetersFile, TelegramsAndCounterAndBaud) {
    const char* json = R"({"meters": [{
        "address": 3, "id": "00000003", "manufacturer": "SIM", "baud": 9600, "counter": 2,
        "telegrams": [
            {"records": [{"dif": "04", "vif": "6D", "date": "2025-01-01 00:00"}, {"dif": "04", "vif": "13", "value": 1}, {"dif": "1F"}]},
            {"records": [{"dif": "04", "vif": "13", "value": 2}]}
        ]}]})";
    QString error;
    auto meters = ParseMetersJson(QByteArray(json), kFramesDir, error);
    ASSERT_TRUE(meters) << error.toStdString();
    ASSERT_EQ(meters->size(), 1u);
    EXPECT_EQ((*meters)[0].baud, 9600);
    EXPECT_EQ((*meters)[0].telegrams.size(), 2u);
    EXPECT_EQ((*meters)[0].counterRecord, 1u) << "\"counter\" counts records from 1";
    auto bus = MakeBus(std::move(*meters), error);
    ASSERT_TRUE(bus);
    EXPECT_TRUE(Send(*bus, BuildReqUd2(3), 2400).empty());
    EXPECT_EQ(Send(*bus, BuildReqUd2(3), 9600)[25], 0x04) << "first telegram: the value record follows the date";
    EXPECT_EQ(Send(*bus, BuildReqUd2(3), 9600)[19], 0x04) << "second telegram";
}

TEST(MetersFile, CounterDefaultsToTheFirstNumberAndCanBeSwitchedOff) {
    QString error;
    auto meters = ParseMetersJson(R"({"meters": [
        {"address": 1, "id": "00000001", "manufacturer": "SIM",
         "records": [{"dif": "04", "vif": "6D", "date": "2025-01-01 00:00"}, {"dif": "0C", "vif": "13", "value": 5}]},
        {"address": 2, "id": "00000002", "manufacturer": "SIM", "counter": null,
         "records": [{"dif": "04", "vif": "13", "value": 5}]}]})",
                                  kFramesDir, error);
    ASSERT_TRUE(meters) << error.toStdString();
    EXPECT_EQ((*meters)[0].counterRecord, 1u) << "the date is skipped";
    EXPECT_FALSE((*meters)[1].counterRecord);
}

// Every captured telegram replays as it was captured; the header comes from the frame.
class CapturedTelegrams : public ::testing::TestWithParam<std::string> {};

TEST_P(CapturedTelegrams, ReplayByteForByte) {
    const QString file = QString::fromStdString(GetParam());
    const QString json = QString(R"({"meters": [{"rsp_ud_file": "%1"}]})").arg(file);
    QString error;
    auto meters = ParseMetersJson(json.toUtf8(), kFramesDir, error);
    ASSERT_TRUE(meters) << error.toStdString();
    const Telegram captured = Bytes(veltro::test::ReadFile((kFramesDir + "/" + file).toStdString()));
    // An answer captured through 253 comes from a meter that listens at 0 and keeps the 253 it answered with.
    const int address = captured[5] <= 250 ? captured[5] : 0;
    auto bus = MakeBus(std::move(*meters), error);
    ASSERT_TRUE(bus) << error.toStdString();
    const Telegram replayed = Send(*bus, BuildReqUd2(static_cast<std::uint8_t>(address)));
    EXPECT_EQ(HexRendering(replayed), HexRendering(captured));
    // Selected by the identification the frame carries.
    const std::string id = test::IdOfFrame(captured);
    if (IsBcd(captured.bytes().subspan(7, 4))) {
        EXPECT_EQ(Send(*bus, test::Selection(id.c_str())), Telegram{0xE5}) << id;
    }
}

std::vector<std::string> CapturedFiles() {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(VELTRO_FRAMES_DIR) + "/devices"))
        if (entry.path().extension() == ".hex") files.push_back("devices/" + entry.path().filename().string());
    std::sort(files.begin(), files.end());
    return files;
}

INSTANTIATE_TEST_SUITE_P(RealMeters, CapturedTelegrams, ::testing::ValuesIn(CapturedFiles()), [](const auto& row) {
    std::string name = row.param.substr(8, row.param.size() - 12);
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
});

TEST(MetersFile, AnswerCapturedThroughAddress253KeepsItsAddressFieldUntilGivenAnAddress) {
    QString error;
    auto bus = BusFromJson(R"({"meters": [{"rsp_ud_file": "devices/oms_frame1.hex"}]})", error);
    ASSERT_TRUE(bus) << error.toStdString();
    EXPECT_EQ(Send(*bus, BuildReqUd2(0))[5], 0xFD);
    ASSERT_EQ(Send(*bus, test::LongFrame(0x73, 0, 0x51, "01 7A 08")), Telegram{0xE5});
    const Telegram read = Send(*bus, BuildReqUd2(8));
    ASSERT_TRUE(Valid(read));
    EXPECT_EQ(read[5], 8);
}

TEST(MetersFile, CapturedTelegramWithOverridesAndAnotherIdentification) {
    const char* json = R"({"meters": [{"rsp_ud": ["68 15 15 68 08 01 72 78 56 34 12 23 04 01 07 05 00 00 00 04 13 01 00 00 00 DB 16"],
                          "address": 9, "id": "87654321", "access": 0}]})";
    QString error;
    auto bus = BusFromJson(json, error);
    ASSERT_TRUE(bus) << error.toStdString();
    EXPECT_TRUE(Send(*bus, BuildReqUd2(1)).empty());
    const Telegram read = Send(*bus, BuildReqUd2(9));
    ASSERT_TRUE(Valid(read)) << "the check sum is made again after the overrides";
    EXPECT_EQ(test::IdOfFrame(read), "87654321");
    EXPECT_EQ(read[15], 0);
    EXPECT_EQ(HexRendering(read.bytes().subspan(19, 6)), "04 13 01 00 00 00 ");
}

// A late meter keeps its own answer delay; the others keep the line's, and when both answer one frame the
// master hears the answer once the later one has sent.
TEST(MetersFile, AnswerDelayOfALateMeter) {
    QString error;
    auto bus = BusFromJson(R"({"meters": [
        {"address": 1, "id": "11111111", "manufacturer": "SIM", "answer_delay_ms": 260, "records": []},
        {"address": 2, "id": "22222222", "manufacturer": "SIM", "answer_delay_ms": 0, "records": []},
        {"address": 3, "id": "33333333", "manufacturer": "SIM", "records": []}]})", error);
    ASSERT_TRUE(bus) << error.toStdString();
    const auto delayOf = [&bus](const Telegram& frame) {
        const auto event = FrameAssembler().feed(frame, std::chrono::milliseconds{0}).at(0);
        const BusExchange exchange = bus->transact(*event.frame, 2400);
        EXPECT_FALSE(exchange.answer.empty()) << HexRendering(frame);
        return exchange.answerDelay(std::chrono::milliseconds{20}).count();
    };
    EXPECT_EQ(delayOf(BuildReqUd2(1)), 260);
    EXPECT_EQ(delayOf(BuildReqUd2(2)), 0) << "quicker than the line's default";
    EXPECT_EQ(delayOf(BuildReqUd2(3)), 20);
    EXPECT_EQ(delayOf(BuildSndNke(254)), 260) << "all three acknowledge";
}

std::string Say(Bus& bus, const std::string& text, int baud = 2400) {
    MasterFrame f;
    f.kind = MasterFrame::Kind::Text;
    f.bytes = test::TextBytes(text);
    const Telegram answer = bus.transact(f, baud).answer;
    return {answer.begin(), answer.end()};
}

TEST(MetersFile, ReceiverForwardsItsRadioMetersAndAnswersItsEntries) {
    const char* json = R"({"meters": [],
        "rxv_kt": {"baud": 2400, "mute": false, "entries": {"5": {"id": "1234567A", "unit": 4}, "300": {"id": "45678901"}}},
        "wireless": [
            {"name": "keyed heat", "manufacturer": "SIM", "id": "1234567A", "version": 2, "device_type": "04", "access": 5,
             "records": [{"dif": "04", "vif": "06", "value": 2345}], "key": "00112233445566778899AABBCCDDEEFF"},
            {"manufacturer": "SIM", "id": "45678901", "version": 4, "device_type": 3, "ci": "72", "aux_id": "56789012",
             "aux_manufacturer": "ABC", "aux_version": "30", "status": "0x10", "offset_ms": 500, "interval_ms": 60000}]})";
    QString error;
    auto description = ParseBusJson(QByteArray(json), kFramesDir, error);
    ASSERT_TRUE(description) << error.toStdString();
    auto bus = MakeBus(std::move(*description), error);
    ASSERT_TRUE(bus) << error.toStdString();

    ASSERT_EQ(Say(*bus, "set rtra=1"), "Done!\n");
    const auto start = std::chrono::steady_clock::now();
    std::uint64_t cursor = 0;
    const std::vector<std::pair<std::chrono::milliseconds, std::vector<std::string>>> ticks = {
        {std::chrono::milliseconds{0}, {"68 12 44 2D 4D 7A 56 34 12 02 04 7A 05 00 04 06 29 09 00 00 16 "}},
        // The aux header's device type is the meter's when not given.
        {std::chrono::milliseconds{500}, {"68 14 44 2D 4D 01 89 67 45 04 03 72 12 90 78 56 43 04 30 03 00 10 16 "}},
        {std::chrono::milliseconds{2000}, {"68 12 44 2D 4D 7A 56 34 12 02 04 7A 06 00 04 06 29 09 00 00 16 "}},
        {std::chrono::milliseconds{2500}, {}},
    };
    for (const auto& [at, expected] : ticks) {
        bus->tick(start + at);
        std::vector<std::string> sent;
        for (const auto& t : bus->unsolicitedAfter(cursor)) sent.push_back(HexRendering(t));
        EXPECT_EQ(sent, expected) << "at " << at.count() << " ms";
    }

    // RSP_UD at entry 5: its ID, SIM, version 2, medium = unit 4, the receiver's access number.
    const auto rspUd = [](const char* access, const char* records) {
        const auto bytes = Bytes(std::string("08 05 72 7A 56 34 12 2D 4D 02 04 ") + access + " 00 00 00 " + records);
        return HexRendering(*BuildLongFrame(bytes[0], bytes[1], bytes[2], std::span(bytes).subspan(3)));
    };
    EXPECT_EQ(HexRendering(Send(*bus, BuildReqUd2(5))), rspUd("00", "")) << "records only with the meter's key";
    ASSERT_EQ(Say(*bus, std::string("set encr=5,") + std::string("\x00\x11\x22\x33\x44\x55\x66\x77\x88\x99\xAA\xBB\xCC\xDD\xEE\xFF", 16)),
              "Done!\n");
    EXPECT_EQ(HexRendering(Send(*bus, BuildReqUd2(5))), rspUd("01", "04 06 29 09 00 00"));
}

struct ReceiverSettingsCase {
    const char* name;
    const char* json;
    int baud;
    std::size_t devices;
    std::string answer;  // to "set rtra=1"; "": silence
};

class ReceiverSettings : public ::testing::TestWithParam<ReceiverSettingsCase> {};

TEST_P(ReceiverSettings, ReachTheReceiver) {
    const auto& c = GetParam();
    QString error;
    auto description = ParseBusJson(QByteArray(c.json), kFramesDir, error);
    ASSERT_TRUE(description) << error.toStdString();
    auto bus = MakeBus(std::move(*description), error);
    ASSERT_TRUE(bus) << error.toStdString();
    EXPECT_EQ(bus->size(), c.devices);
    EXPECT_EQ(Say(*bus, "set rtra=1", c.baud), c.answer);
}

#define ONE_METER R"({"address": 1, "id": "12345678", "manufacturer": "SIM", "records": []})"
#define RADIO R"({"id": "12345678", "manufacturer": "SIM"})"

INSTANTIATE_TEST_SUITE_P(
    Files, ReceiverSettings,
    ::testing::Values(ReceiverSettingsCase{"NoneWithoutEitherKey", "{\"meters\": [" ONE_METER "]}", 2400, 1, ""},
                      ReceiverSettingsCase{"DefaultForWirelessAlone", "{\"meters\": [" ONE_METER "], \"wireless\": [" RADIO "]}",
                                           2400, 2, "Done!\n"},
                      ReceiverSettingsCase{"WithoutRadioMeters", R"({"meters": [], "rxv_kt": {}})", 2400, 1, "Done!\n"},
                      ReceiverSettingsCase{"AtItsBaud", R"({"meters": [], "rxv_kt": {"baud": 9600}})", 9600, 1, "Done!\n"},
                      ReceiverSettingsCase{"DeafAtAnotherBaud", R"({"meters": [], "rxv_kt": {"baud": 9600}})", 2400, 1, ""},
                      ReceiverSettingsCase{"Muted", R"({"meters": [], "rxv_kt": {"mute": true}})", 2400, 1, ""}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(MetersFile, RxvPicoWithItsListFlagsAndClock) {
    const char* json = R"({"meters": [], "rxvpico": {"address": 7, "id": "00000042", "flags": "0x00000204",
        "clock": "2026-03-05 09:07", "list": [{"id": "1234567F", "key": "00112233445566778899AABBCCDDEEFF"},
                                              {"id": "87654321", "address": 12}]}})";
    QString error;
    auto description = ParseBusJson(QByteArray(json), kFramesDir, error);
    ASSERT_TRUE(description) << error.toStdString();
    auto bus = MakeBus(std::move(*description), error);
    ASSERT_TRUE(bus) << error.toStdString();
    const auto state = RxvPicoStateOf(*bus);
    ASSERT_TRUE(state);
    EXPECT_EQ(state->address, 7);
    EXPECT_EQ(state->list, (std::vector<RxvPicoEntry>{
                               {"1234567F", {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF}, std::nullopt},
                               {"87654321", {}, 12}}));
    EXPECT_EQ(state->flags, 0x204u);
    EXPECT_EQ(state->clock, (CalendarTime{2026, 3, 5, 9, 7}));
    const Telegram status = Send(*bus, BuildReqUd2(7));
    ASSERT_TRUE(Valid(status));
    EXPECT_EQ(HexRendering(status.bytes().subspan(7, 4)), "42 00 00 00 ");
    EXPECT_EQ(status[23], 2);

    auto silent = ParseBusJson(R"({"meters": [], "rxvpico": {"silent": true}})", kFramesDir, error);
    ASSERT_TRUE(silent) << error.toStdString();
    bus = MakeBus(std::move(*silent), error);
    ASSERT_TRUE(bus) << error.toStdString();
    EXPECT_TRUE(Send(*bus, BuildReqUd2(kRxvPicoDefaultAddress)).empty());
}

struct FileErrorCase {
    const char* name;
    const char* json;
    const char* error;  // a part of the message
};

class MetersFileErrors : public ::testing::TestWithParam<FileErrorCase> {};

TEST_P(MetersFileErrors, NameWhatIsWrong) {
    QString error;
    auto meters = ParseMetersJson(QByteArray(GetParam().json), kFramesDir, error);
    EXPECT_FALSE(meters);
    EXPECT_TRUE(error.contains(GetParam().error)) << error.toStdString();
}

#define METER(body) "{\"meters\": [{\"address\": 1, \"id\": \"12345678\", \"manufacturer\": \"SIM\", " body "}]}"
#define RECORDS(list) METER("\"records\": [" list "]")
#define ZEROS_241                                                                                                       \
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "                      \
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "                      \
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "                      \
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "                      \
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "                      \
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "                      \
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "                      \
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "                      \
    "00"

INSTANTIATE_TEST_SUITE_P(
    Files, MetersFileErrors,
    ::testing::Values(
        FileErrorCase{"NotJson", "{\"meters\": [", "not valid JSON at line 1"},
        FileErrorCase{"NoMetersArray", "{\"meter\": []}", "unknown key \"meter\""},
        FileErrorCase{"UnknownMeterKey", METER("\"adress\": 2, \"records\": []"), "meter 1: unknown key \"adress\""},
        FileErrorCase{"AddressAbove250", "{\"meters\": [{\"address\": 251, \"id\": \"12345678\", \"manufacturer\": \"SIM\", \"records\": []}]}",
                      "address: must be a whole number 0..250"},
        FileErrorCase{"ShortIdentification", "{\"meters\": [{\"address\": 1, \"id\": \"1234567\", \"manufacturer\": \"SIM\", \"records\": []}]}",
                      "id: \"1234567\" is not 8 decimal digits"},
        FileErrorCase{"ManufacturerNotLetters", "{\"meters\": [{\"address\": 1, \"id\": \"12345678\", \"manufacturer\": \"ab1\", \"records\": []}]}",
                      "manufacturer: \"ab1\" is not three letters"},
        FileErrorCase{"MissingManufacturer", "{\"meters\": [{\"address\": 1, \"id\": \"12345678\", \"records\": []}]}",
                      "needs \"manufacturer\""},
        FileErrorCase{"BadByte", METER("\"medium\": \"1G\", \"records\": []"), "medium: \"1G\" is not a hex byte"},
        FileErrorCase{"UnknownBaud", METER("\"baud\": 1234, \"records\": []"), "baud rate 1234 is not one of"},
        FileErrorCase{"AnswerDelayAboveTenSeconds", METER("\"answer_delay_ms\": 10001, \"records\": []"),
                      "meter 1: answer_delay_ms: must be a whole number 0..10000"},
        FileErrorCase{"DataOfTheWrongLength", RECORDS("{\"dif\": \"04\", \"vif\": \"13\", \"data\": \"01 02\"}"),
                      "record 1: DIF 4 takes 4 data bytes, 2 given"},
        FileErrorCase{"ValueTooLargeForTheField", RECORDS("{\"dif\": \"01\", \"vif\": \"13\", \"value\": 300}"),
                      "record 1: value: 300 does not fit DIF 01"},
        FileErrorCase{"TwoValues", RECORDS("{\"dif\": \"04\", \"vif\": \"13\", \"value\": 1, \"data\": \"00 00 00 00\"}"),
                      "give only one of"},
        FileErrorCase{"NoValue", RECORDS("{\"dif\": \"04\", \"vif\": \"13\"}"), "needs one of \"value\""},
        FileErrorCase{"DateOnAVolume", RECORDS("{\"dif\": \"04\", \"vif\": \"13\", \"date\": \"2025-01-01\"}"),
                      "date: needs VIF 6C"},
        FileErrorCase{"TimeOnATypeGDate", RECORDS("{\"dif\": \"02\", \"vif\": \"6C\", \"date\": \"2025-01-01 10:00\"}"),
                      "type G date (VIF 6C) has no time"},
        FileErrorCase{"DifeWithoutExtensionBit", RECORDS("{\"dif\": \"04\", \"dife\": \"10\", \"vif\": \"13\", \"value\": 1}"),
                      "DIF does not announce DIFE"},
        FileErrorCase{"ManufacturerDataWithVif", RECORDS("{\"dif\": \"0F\", \"vif\": \"13\"}"), "takes only \"data\""},
        FileErrorCase{"RecordsAndReplayTogether", METER("\"records\": [], \"rsp_ud\": \"68\""), "give either"},
        FileErrorCase{"ReplayWithBadCheckSum",
                      "{\"meters\": [{\"rsp_ud\": \"68 15 15 68 08 01 72 78 56 34 12 23 04 01 07 05 00 00 00 04 13 01 00 00 00 DC 16\"}]}",
                      "not a valid long frame, Wrong CRC"},
        FileErrorCase{"ReplayTooShortForTheHeader", "{\"meters\": [{\"rsp_ud\": \"68 03 03 68 08 01 70 79 16\"}]}",
                      "too short for the 12-byte header"},
        FileErrorCase{"ReplayFileMissing", "{\"meters\": [{\"rsp_ud_file\": \"devices/no_such_meter.hex\"}]}", "cannot read"},
        FileErrorCase{"ReplayFileEndless", "{\"meters\": [{\"rsp_ud_file\": \"/dev/zero\"}]}", "larger than 65536 bytes"},
        FileErrorCase{"CounterOnADate",
                      METER("\"counter\": 1, \"records\": [{\"dif\": \"04\", \"vif\": \"6D\", \"date\": \"2025-01-01 00:00\"}]"),
                      "counter record 1 is not"},
        FileErrorCase{"DisplayUnknownKey", R"({"meters": [], "display": {"layout": "column"}})", "display: unknown key \"layout\""},
        FileErrorCase{"DisplayBaud", R"({"meters": [], "display": {"baud": 2500}})", "display: baud: must be 300"},
        FileErrorCase{"DisplayHistoryLayout", R"({"meters": [], "display": {"history": "long"}})", "history: \"long\" is not one of"},
        FileErrorCase{"DisplayEntry251", R"({"meters": [], "display": {"entries": [{"address": 251}]}})",
                      "display: entry 1: address: must be a whole number 1..250"},
        FileErrorCase{"DisplayEntryTwice", R"({"meters": [], "display": {"entries": [{"address": 5}, {"address": 5}]}})",
                      "entry 2: address 5 given twice"},
        FileErrorCase{"DisplayUnitLitres", R"({"meters": [], "display": {"entries": [{"address": 5, "unit": "l"}]}})",
                      "unit: \"l\" is not one of"},
        FileErrorCase{"DisplayDividerZero", R"({"meters": [], "display": {"entries": [{"address": 5, "divider": 0}]}})",
                      "divider: must be a whole number 1..9999"},
        FileErrorCase{"DisplayText51", R"({"meters": [], "display": {"entries": [{"address": 5, "text":
                      "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"}]}})", "text: longer than 50 characters"},
        FileErrorCase{"TelegramTooLong", METER("\"records\": [{\"hex\": \"" ZEROS_241 "\"}]"), "do not fit one frame"},
        FileErrorCase{"ReceiverBaud", R"({"meters": [], "rxv_kt": {"baud": 2500}})", "rxv_kt: baud: must be 300"},
        FileErrorCase{"ReceiverMuteNotBool", R"({"meters": [], "rxv_kt": {"mute": 1}})", "rxv_kt: mute: must be true or false"},
        FileErrorCase{"ReceiverEntry464", R"({"meters": [], "rxv_kt": {"entries": {"464": {"id": "12345678"}}}})",
                      "rxv_kt: entry \"464\": not an address 1..463"},
        FileErrorCase{"ReceiverEntryTwice",
                      R"({"meters": [], "rxv_kt": {"entries": {"5": {"id": "12345678"}, "05": {"id": "12345678"}}}})",
                      "entry \"5\": address 5 given twice"},
        FileErrorCase{"ReceiverEntryLowerCaseId", R"({"meters": [], "rxv_kt": {"entries": {"5": {"id": "1234567a"}}}})",
                      "entry \"5\": id: \"1234567a\" is not 8 characters 0-9, A-F"},
        FileErrorCase{"ReceiverUnit17", R"({"meters": [], "rxv_kt": {"entries": {"5": {"id": "12345678", "unit": 17}}}})",
                      "entry \"5\": unit: must be a whole number 0..16"},
        FileErrorCase{"WirelessNotArray", R"({"meters": [], "wireless": {}})", "\"wireless\" must be an array"},
        FileErrorCase{"WirelessWithoutId", R"({"meters": [], "wireless": [{"manufacturer": "SIM"}]})",
                      "wireless meter 1: needs \"id\""},
        FileErrorCase{"WirelessCi78", R"({"meters": [], "wireless": [{"name": "w", "id": "12345678", "manufacturer": "SIM", "ci": "78"}]})",
                      "wireless meter 1 (w): ci: must be 7A or 72"},
        FileErrorCase{"WirelessCi72WithoutAuxId", R"({"meters": [], "wireless": [{"id": "12345678", "manufacturer": "SIM", "ci": 114}]})",
                      "needs \"aux_id\" with CI 72"},
        FileErrorCase{"WirelessAuxWithCi7A",
                      R"({"meters": [], "wireless": [{"id": "12345678", "manufacturer": "SIM", "aux_version": 1}]})",
                      "aux_version: only with CI 72"},
        FileErrorCase{"WirelessKey31Digits",
                      R"({"meters": [], "wireless": [{"id": "12345678", "manufacturer": "SIM", "key": "0011223344556677889900112233445"}]})",
                      "key: must be 32 hex digits"},
        FileErrorCase{"WirelessIntervalZero",
                      R"({"meters": [], "wireless": [{"id": "12345678", "manufacturer": "SIM", "interval_ms": 0}]})",
                      "interval_ms: must be a whole number 1..86400000"},
        FileErrorCase{"WirelessRecordsTooLong",
                      "{\"meters\": [], \"wireless\": [{\"id\": \"12345678\", \"manufacturer\": \"SIM\", \"records\": "
                      "[{\"hex\": \"" ZEROS_241 "\"}, {\"hex\": \"00 00 00\"}]}]}",
                      "wireless meter 1: records: longer than one radio telegram"},
        FileErrorCase{"PicoUnknownKey", R"({"meters": [], "rxvpico": {"entries": []}})", "rxvpico: unknown key \"entries\""},
        FileErrorCase{"PicoAddress251", R"({"meters": [], "rxvpico": {"address": 251}})", "rxvpico: address: must be a whole number 0..250"},
        FileErrorCase{"PicoIdWithF", R"({"meters": [], "rxvpico": {"id": "0000000F"}})", "rxvpico: id: \"0000000F\" is not 8 decimal digits"},
        FileErrorCase{"PicoListIdWithA", R"({"meters": [], "rxvpico": {"list": [{"id": "1234567A"}]}})",
                      "rxvpico: list entry 1: id: \"1234567A\" is not 8 characters 0-9, F"},
        FileErrorCase{"PicoListIdTwice", R"({"meters": [], "rxvpico": {"list": [{"id": "12345678"}, {"id": "12345678"}]}})",
                      "rxvpico: list entry 2: ID 12345678 listed twice"},
        FileErrorCase{"PicoKey31Digits", R"({"meters": [], "rxvpico": {"list": [{"id": "12345678", "key": "0011223344556677889900112233445"}]}})",
                      "list entry 1: key: must be 32 hex digits"},
        FileErrorCase{"PicoFlagsNegative", R"({"meters": [], "rxvpico": {"flags": -1}})", "rxvpico: flags: must be a number"},
        FileErrorCase{"PicoFlagsNineHexDigits", R"({"meters": [], "rxvpico": {"flags": "1FFFFFFFF"}})", "rxvpico: flags: must be a number"},
        FileErrorCase{"PicoClockNotADay", R"({"meters": [], "rxvpico": {"clock": "2026-02-30 10:00"}})",
                      "rxvpico: the clock is not a real date and time"},
        FileErrorCase{"PicoClockNotADate", R"({"meters": [], "rxvpico": {"clock": "today"}})", "rxvpico: clock: \"today\" is not"}),
    [](const auto& row) { return row.param.name; });

TEST(MetersFile, LoadReportsTheFileName) {
    QString error;
    EXPECT_FALSE(LoadMetersFile("/nonexistent/meters.json", error));
    EXPECT_TRUE(error.contains("/nonexistent/meters.json")) << error.toStdString();

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("meters.json");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"({"meters": [{"address": 1, "id": "12345678", "manufacturer": "SIM", "records": [{"dif": "04", "vif": "13", "value": -1.5}]}]})");
    file.close();
    EXPECT_FALSE(LoadMetersFile(path, error));
    EXPECT_TRUE(error.startsWith(path + ": meter 1: record 1: value")) << error.toStdString();
}

} // namespace
} // namespace veltro::sim
