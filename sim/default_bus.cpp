#include "sim/default_bus.h"

#include <stdexcept>

#include "decode/header_fields.h"

namespace veltro::sim {
namespace {

using Bytes = std::initializer_list<std::uint8_t>;

DataRecord Numeric(std::uint8_t dif, Bytes dife, std::uint8_t vif, Bytes vife, double value) {
    DataRecord r;
    r.dif = dif;
    r.dife = dife;
    r.vif = vif;
    r.vife = vife;
    r.data = EncodeNumberForDif(dif, value).value();
    return r;
}

DataRecord Numeric(std::uint8_t dif, std::uint8_t vif, double value) { return Numeric(dif, {}, vif, {}, value); }

DataRecord DateTime(std::uint8_t dif, Bytes dife, CalendarTime t) {
    DataRecord r;
    r.dif = dif;
    r.dife = dife;
    r.vif = 0x6D;
    r.data = EncodeDateTypeF(t).value();
    return r;
}

DataRecord Date(std::uint8_t dif, Bytes dife, CalendarTime t) {
    DataRecord r;
    r.dif = dif;
    r.dife = dife;
    r.vif = 0x6C;
    r.data = EncodeDateTypeG(t).value();
    return r;
}

constexpr CalendarTime kReadingTime{2025, 3, 14, 10, 30};
constexpr CalendarTime kDueDate{2024, 12, 31, 0, 0};

MeterState Base(const char* name, int address, const char* id, const char* manufacturer, std::uint8_t version,
                std::uint8_t medium) {
    MeterState m;
    m.name = name;
    m.primaryAddress = address;
    m.identification = PackIdentification(id).value();
    m.manufacturer = ManufacturerCode(manufacturer).value();
    m.version = version;
    m.medium = medium;
    return m;
}

MeterState WithRecords(MeterState m, std::vector<DataRecord> records) {
    m.telegrams.push_back({frame::kRspUd, frame::kCiVariableData, std::move(records)});
    m.counterRecord = FirstCounterCandidate(m.telegrams.front().records);
    return m;
}

// The maker's block after DIF 0Fh: firmware major, firmware minor, input number, battery 1 and battery 2
// voltages times 51 (00h: not fitted), two reserved bytes. The counter record before it is exactly six
// bytes long (bytes 19..24), so the block's 0Fh is the first "0F" the battery reading finds from the
// 51st hex character of the frame, whatever the counter shows.
DataRecord MakersBlock(std::uint8_t firmwareMajor, std::uint8_t firmwareMinor, std::uint8_t input,
                       std::uint8_t battery1, std::uint8_t battery2) {
    const std::uint8_t block[] = {firmwareMajor, firmwareMinor, input, battery1, battery2, 0x00, 0x00};
    return DataRecord::ManufacturerSpecific(block, false);
}

} // namespace

std::vector<MeterState> DefaultMeterStates() {
    std::vector<MeterState> meters;

    meters.push_back(WithRecords(Base("heat meter", 1, "40112301", "SIM", 0x01, 0x04),
                                 {
                                     Numeric(0x04, 0x06, 12345),     // energy 12345 kWh
                                     Numeric(0x04, 0x13, 456789),    // volume 456.789 m3
                                     Numeric(0x04, 0x2B, 2500),      // power 2500 W
                                     Numeric(0x04, 0x3B, 1200),      // flow 1200 l/h
                                     Numeric(0x02, 0x5A, 715),       // flow temperature 71.5 C
                                     Numeric(0x02, 0x5E, 412),       // return temperature 41.2 C
                                     Numeric(0x02, 0x61, 3030),      // difference 30.30 K
                                     DateTime(0x04, {}, kReadingTime),
                                     Date(0x42, {}, kDueDate),       // storage 1: due date
                                     Numeric(0x44, 0x06, 11000),     // storage 1: energy at the due date
                                 }));

    meters.push_back(WithRecords(Base("water meter", 2, "51200417", "SIM", 0x02, 0x07),
                                 {
                                     Numeric(0x04, 0x13, 1234567),   // 1234.567 m3
                                     DateTime(0x04, {}, kReadingTime),
                                     Date(0x42, {}, kDueDate),
                                     Numeric(0x44, 0x13, 1100000),
                                 }));

    meters.push_back(WithRecords(Base("electricity meter", 3, "62300525", "SIM", 0x03, 0x02),
                                 {
                                     Numeric(0x04, 0x03, 4567890),              // 4567.890 kWh in Wh
                                     Numeric(0x84, {0x10}, 0x03, {}, 3000000),  // tariff 1
                                     Numeric(0x84, {0x20}, 0x03, {}, 1567890),  // tariff 2
                                     Numeric(0x04, 0x2B, 1250),                 // 1250 W
                                     Numeric(0x02, {}, 0xFD, {0x48}, 2301),     // 230.1 V
                                     Numeric(0x02, {}, 0xFD, {0x59}, 5430),     // 5.430 A
                                 }));

    meters.push_back(WithRecords(Base("gas meter", 4, "73400633", "SIM", 0x04, 0x03),
                                 {
                                     Numeric(0x0C, 0x13, 345678),  // 345.678 m3, 8-digit BCD
                                     DateTime(0x04, {}, kReadingTime),
                                     Numeric(0x4C, 0x13, 300000),
                                 }));

    MeterState counterA = WithRecords(Base("pulse counter, water", 10, "18220041", "KXR", 0x12, 0x07),
                                      {Numeric(0x04, 0x13, 52340), MakersBlock(0x02, 0x01, 0x01, 0xB7, 0xB4)});
    counterA.status = 0x80;  // pulse width 50 ms
    meters.push_back(counterA);

    MeterState counterB = WithRecords(Base("pulse counter, electricity", 11, "18220058", "KXR", 0x31, 0x02),
                                      {Numeric(0x04, 0x03, 875000), MakersBlock(0x02, 0x01, 0x02, 0x00, 0xAD)});
    counterB.status = 0xE0;  // pulse width at its default of 50 ms
    meters.push_back(counterB);

    meters.push_back(WithRecords(Base("water meter", 12, "30031977", "BMT", 0x01, 0x07),
                                 {
                                     Numeric(0x04, 0x13, 98765),
                                     DateTime(0x04, {}, kReadingTime),
                                     Numeric(0x02, {}, 0xFD, {0x17}, 0),  // error flags: none
                                 }));

    MeterState logger = Base("heat meter with monthly values", 15, "24681357", "SIM", 0x05, 0x04);
    logger.telegrams.push_back({frame::kRspUd, frame::kCiVariableData,
                                {Numeric(0x04, 0x06, 54321), Numeric(0x04, 0x13, 2345678),
                                 DateTime(0x04, {}, kReadingTime), DataRecord::ManufacturerSpecific({}, true)}});
    logger.telegrams.push_back({frame::kRspUd, frame::kCiVariableData,
                                {Numeric(0x44, 0x06, 53000), Numeric(0x84, {0x01}, 0x06, {}, 51800),
                                 Numeric(0xC4, {0x01}, 0x06, {}, 50100), Numeric(0x84, {0x02}, 0x06, {}, 48900),
                                 DataRecord::ManufacturerSpecific({}, true)}});
    logger.telegrams.push_back({frame::kRspUd, frame::kCiVariableData,
                                {Date(0x42, {}, {2025, 2, 28}), Date(0x82, {0x01}, {2025, 1, 31}),
                                 Date(0xC2, {0x01}, {2024, 12, 31}), Date(0x82, {0x02}, {2024, 11, 30})}});
    logger.counterRecord = FirstCounterCandidate(logger.telegrams.front().records);
    meters.push_back(logger);

    meters.push_back(WithRecords(Base("hot water meter", 0, "99000017", "SIM", 0x06, 0x06),
                                 {Numeric(0x04, 0x13, 23456), DateTime(0x04, {}, kReadingTime)}));
    meters.push_back(WithRecords(Base("cold water meter", 0, "99000027", "SIM", 0x06, 0x16),
                                 {Numeric(0x04, 0x13, 34567), DateTime(0x04, {}, kReadingTime)}));

    meters.push_back(WithRecords(Base("relay unit", 20, "20190001", "REL", 0x01, 0x07),
                                 {Numeric(0x0C, 0x13, 1500)}));  // 1.500 m3, 8-digit BCD start value

    return meters;
}

DisplayConfig DefaultDisplayConfig() {
    DisplayConfig display;
    DisplayEntrySettings heat{1, 1, 1, 1, 0, 101, "Flat 1 heat", ""};
    DisplayEntrySettings water{2, 2, 1, 1000, 0, 102, "Flat 1 water", ""};
    DisplayEntrySettings power{3, 1, 1, 1000, 0, 103, "Flat 1 electricity", "tariffs 1 and 2"};
    DisplayEntrySettings logger{15, 1, 1, 1, 100500, 201, "Flat 2 heat", "monthly values"};
    display.entries = {heat, water, power, logger};
    return display;
}

namespace {

// "12345678" -> the key 12 34 56 78 12 34 56 78 ..., as an installer types it in hex.
ReceiverKey KeyOfId(const char* id) {
    ReceiverKey key{};
    for (std::size_t i = 0; i < key.size(); ++i) {
        const char hi = id[2 * i % 8], lo = id[2 * i % 8 + 1];
        key[i] = static_cast<std::uint8_t>((hi - '0') << 4 | (lo - '0'));
    }
    return key;
}

RadioMeter Radio(const char* name, const char* id, std::uint16_t manufacturer, std::uint8_t version,
                 std::uint8_t deviceType, std::vector<DataRecord> records, std::chrono::milliseconds offset) {
    RadioMeter m;
    m.name = name;
    m.id = id;
    m.manufacturer = manufacturer;
    m.version = version;
    m.deviceType = deviceType;
    m.accessNumber = 1;
    m.records = std::move(records);
    m.key = KeyOfId(id);
    m.offset = offset;
    return m;
}

} // namespace

RxvKtConfig DefaultRxvKtConfig() {
    using namespace std::chrono_literals;
    const std::uint16_t sim = ManufacturerCode("SIM").value();
    RxvKtConfig config;
    // 68 0C 44 2D 2C 78 56 34 12 01 07 7A 01 00 16: manufacturer 2C2Dh, water, no records.
    config.meters.push_back(Radio("radio water meter", "12345678", 0x2C2D, 0x01, 0x07, {}, 0ms));
    config.meters.push_back(Radio("radio heat meter", "23456789", sim, 0x02, 0x04,
                                  {Numeric(0x04, 0x06, 2345), Numeric(0x04, 0x13, 67890)}, 500ms));
    config.meters.push_back(Radio("radio electricity meter", "34567890", sim, 0x03, 0x02, {Numeric(0x04, 0x03, 3456789)}, 1000ms));
    RadioMeter gas = Radio("radio gas meter", "45678901", sim, 0x04, 0x03, {Numeric(0x04, 0x13, 45678)}, 1500ms);
    gas.ci = 0x72;
    gas.auxId = "56789012";
    gas.auxManufacturer = sim;
    gas.auxVersion = 0x04;
    gas.auxDeviceType = 0x03;
    config.meters.push_back(gas);
    return config;
}

RxvPicoConfig DefaultRxvPicoConfig() {
    RxvPicoConfig config;
    config.address = kRxvPicoDefaultAddress;
    config.id = "00000001";
    config.clock = {2020, 1, 1, 0, 0};
    return config;
}

std::unique_ptr<Bus> DefaultBus() {
    auto bus = std::make_unique<Bus>();
    for (auto& state : DefaultMeterStates()) {
        std::string error;
        auto meter = Meter::Create(std::move(state), error);
        // The table above is fixed; a meter it cannot make is a programming error, caught by the tests.
        if (!meter) throw std::logic_error("default bus: " + error);
        bus->add(std::move(meter));
    }
    AddDisplay(*bus, DefaultDisplayConfig());
    AddRxvKt(*bus, DefaultRxvKtConfig());
    std::string error;
    if (!AddRxvPico(*bus, DefaultRxvPicoConfig(), error)) throw std::logic_error("default bus: RXVpico: " + error);
    return bus;
}

} // namespace veltro::sim
