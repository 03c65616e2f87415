#include "sim/rxvpico.h"

#include <algorithm>

#include "decode/header_fields.h"
#include "mbus/constants.h"
#include "mbus/hex.h"
#include "mbus/identification.h"
#include "sim/bus.h"

namespace veltro::sim {
namespace {

constexpr std::uint8_t kVersion = 0x01;  // high nibble 0: none of the maker's counter models ("KXR" 1xh..3xh)
constexpr std::uint8_t kMediumRadioConverter = 0x37;
constexpr std::uint8_t kManufacturerData = 0x0F;
constexpr std::uint8_t kCommandMark = 0xFF;
constexpr std::uint8_t kDifDateTime = 0x04;
constexpr std::uint8_t kVifDateTime = 0x6D;
constexpr std::size_t kCommandHead = 4;  // 0F FF cmd len
constexpr std::size_t kIdBytes = 4;
constexpr int kMinutesPerDay = 1440;
constexpr std::uint8_t kErrorMark = 0xEE;
constexpr std::uint8_t kRssiFlag = 4;  // "Return RSSI" shows in bit 2, beside the timestamp
constexpr std::uint8_t kRssiBit = 2;
constexpr std::uint8_t kLastFlag = 32;

const std::chrono::sys_days kEpoch{std::chrono::year{kRxvPicoFirstYear} / std::chrono::January / 1};

bool IsSndUd(std::uint8_t c) { return c == frame::kSndUd || c == frame::kSndUdAddressing; }
bool IsReqUd2(std::uint8_t c) { return c == frame::kReqUd2 || c == frame::kReqUd2Fcb0; }

std::string ByteText(std::uint8_t b) { return HexByte(b) + "h"; }

// An ID as it travels, (d7 d8) (d5 d6) (d3 d4) (d1 d2), as the text d1..d8; nothing when a nibble is
// A-E (F is a wildcard digit).
std::optional<std::string> IdText(std::span<const std::uint8_t> packed) {
    std::string text;
    for (std::size_t i = kIdBytes; i-- > 0;)
        for (int shift : {4, 0}) {
            const int nibble = packed[i] >> shift & 0x0F;
            if (nibble > 9 && nibble != 0x0F) return std::nullopt;
            text += nibble == 0x0F ? 'F' : static_cast<char>('0' + nibble);
        }
    return text;
}

bool IsListId(const std::string& id) {
    return id.size() == 8 && std::all_of(id.begin(), id.end(), [](char c) { return (c >= '0' && c <= '9') || c == 'F'; });
}

int Nibble(char c) { return c == 'F' ? 0x0F : c - '0'; }

// "12345678" -> 12 34 56 78 (most significant first, as the filter table sends it) or the reverse.
std::array<std::uint8_t, kIdBytes> IdBytes(const std::string& id, bool mostSignificantFirst) {
    std::array<std::uint8_t, kIdBytes> bytes{};
    for (std::size_t i = 0; i < kIdBytes; ++i) {
        const auto b = static_cast<std::uint8_t>(Nibble(id[2 * i]) << 4 | Nibble(id[2 * i + 1]));
        bytes[mostSignificantFirst ? i : kIdBytes - 1 - i] = b;
    }
    return bytes;
}

std::optional<std::int64_t> MinutesOf(const CalendarTime& t) {
    using namespace std::chrono;
    if (t.year < kRxvPicoFirstYear || t.year > kRxvPicoLastYear || t.month < 1 || t.month > 12 || t.day < 1 ||
        t.hour < 0 || t.hour > 23 || t.minute < 0 || t.minute > 59)
        return std::nullopt;
    const year_month_day date{year{t.year}, month{static_cast<unsigned>(t.month)}, day{static_cast<unsigned>(t.day)}};
    if (!date.ok()) return std::nullopt;
    return std::int64_t{(sys_days{date} - kEpoch).count()} * kMinutesPerDay + t.hour * 60 + t.minute;
}

CalendarTime TimeOf(std::int64_t minutes) {
    using namespace std::chrono;
    const year_month_day date{kEpoch + days{minutes / kMinutesPerDay}};
    const auto inDay = static_cast<int>(minutes % kMinutesPerDay);
    return {static_cast<int>(date.year()), static_cast<int>(static_cast<unsigned>(date.month())),
            static_cast<int>(static_cast<unsigned>(date.day())), inDay / 60, inDay % 60};
}

// EN 13757-3 type F: minute, hour, day | (Y mod 8) << 5, month | (Y div 8) << 4, Y = year - 2000.
std::array<std::uint8_t, 4> TypeF(const CalendarTime& t) {
    const int y = (t.year - kRxvPicoFirstYear) & 0x7F;
    return {static_cast<std::uint8_t>(t.minute), static_cast<std::uint8_t>(t.hour),
            static_cast<std::uint8_t>(t.day | (y & 0x07) << 5), static_cast<std::uint8_t>(t.month | (y >> 3) << 4)};
}

// The flags of the minute and hour bytes (invalid, summer time, hundred years) are not kept.
CalendarTime FromTypeF(std::span<const std::uint8_t> b) {
    const int y = (b[2] >> 5) | (b[3] >> 4) << 3;
    return {kRxvPicoFirstYear + y, b[3] & 0x0F, b[2] & 0x1F, b[1] & 0x1F, b[0] & 0x3F};
}

int FlagBit(int number) { return number == kRssiFlag ? kRssiBit : number - 1; }

} // namespace

struct RxvPico::Command {
    std::uint8_t code;
    std::size_t parameters;
    Reply (RxvPico::*run)(std::span<const std::uint8_t>, DeviceResponse&);
};

std::unique_ptr<RxvPico> RxvPico::Create(RxvPicoConfig config, std::string& error, Clock clock) {
    if (config.address < 0 || config.address > kLastMeterAddress) {
        error = "primary address " + std::to_string(config.address) + " is outside 0..250";
        return nullptr;
    }
    if (!PackIdentification(config.id)) {
        error = "identification \"" + config.id + "\" is not 8 decimal digits";
        return nullptr;
    }
    if (!BaudRateCi(config.baud)) {
        error = "baud rate " + std::to_string(config.baud) + " is not one of 300, 600, 1200, 2400, 4800, 9600";
        return nullptr;
    }
    if (config.list.size() > kRxvPicoListSize) {
        error = "the list holds at most 64 IDs, not " + std::to_string(config.list.size());
        return nullptr;
    }
    for (std::size_t i = 0; i < config.list.size(); ++i) {
        const auto& e = config.list[i];
        const std::string where = "list entry " + std::to_string(i + 1) + ": ";
        if (!IsListId(e.id)) {
            error = where + "ID \"" + e.id + "\" is not 8 characters 0-9, F";
            return nullptr;
        }
        if (std::count_if(config.list.begin(), config.list.begin() + static_cast<std::ptrdiff_t>(i),
                          [&](const RxvPicoEntry& other) { return other.id == e.id; })) {
            error = where + "ID " + e.id + " is listed twice";
            return nullptr;
        }
        if (e.address && *e.address > kLastMeterAddress) {
            error = where + "address " + std::to_string(*e.address) + " is outside 0..250";
            return nullptr;
        }
    }
    if (!MinutesOf(config.clock)) {
        error = "the clock is not a real date and time of 2000..2127";
        return nullptr;
    }
    return std::unique_ptr<RxvPico>(new RxvPico(std::move(config), std::move(clock)));
}

RxvPico::RxvPico(RxvPicoConfig config, Clock clock) : m_config(std::move(config)), m_clock(std::move(clock)) {
    if (!m_clock) m_clock = [] { return std::chrono::steady_clock::now(); };
    m_clockBase = *MinutesOf(m_config.clock);
}

std::string RxvPico::label() const {
    return "RXVpico receiver " + m_config.id + " at " + std::to_string(m_config.address);
}

std::int64_t RxvPico::clockMinutes() const {
    if (!m_clockSetAt) return m_clockBase;
    return m_clockBase + std::chrono::duration_cast<std::chrono::minutes>(m_clock() - *m_clockSetAt).count();
}

RxvPicoState RxvPico::state() const {
    return {m_config.address, m_config.list, m_filters, m_config.flags, TimeOf(clockMinutes()), m_clockSetAt.has_value()};
}

std::optional<std::size_t> RxvPico::find(const std::string& id) const {
    const auto it = std::find_if(m_config.list.begin(), m_config.list.end(), [&](const RxvPicoEntry& e) { return e.id == id; });
    if (it == m_config.list.end()) return std::nullopt;
    return static_cast<std::size_t>(it - m_config.list.begin());
}

Telegram RxvPico::reply(std::span<const std::uint8_t> payload) const {
    FixedHeader header;
    header.identification = *PackIdentification(m_config.id);
    header.manufacturer = *ManufacturerCode("KXR");
    header.version = kVersion;
    header.medium = kMediumRadioConverter;
    header.accessNumber = m_accessNumber;
    std::vector<DataRecord> records;
    if (!payload.empty()) records.push_back(DataRecord::Verbatim(payload));
    // Every reply is far below the 240 bytes a frame holds (the longest, the ID filters, has 36).
    return *EncodeRspUd(static_cast<std::uint8_t>(m_config.address), header, records);
}

Telegram RxvPico::refusal(RxvPicoRefusal why, DeviceResponse& response) const {
    response.notes.push_back(label() + ": refused, code " + ByteText(static_cast<std::uint8_t>(why)));
    const std::uint8_t payload[] = {kManufacturerData, kCommandMark, kErrorMark, 0x01, static_cast<std::uint8_t>(why)};
    return reply(payload);
}

// 0F FF 06 04, activated, read, allowed, five zeros, the flag word LSB first, 04 6D and the clock.
Telegram RxvPico::status() const {
    std::vector<std::uint8_t> p{kManufacturerData, kCommandMark, 0x06, 0x04,
                                static_cast<std::uint8_t>(m_config.list.size()), 0x00,
                                static_cast<std::uint8_t>(kRxvPicoListSize), 0, 0, 0, 0, 0};
    for (int shift = 0; shift < 32; shift += 8) p.push_back(static_cast<std::uint8_t>(m_config.flags >> shift));
    p.insert(p.end(), {kDifDateTime, kVifDateTime});
    const auto clock = TypeF(TimeOf(clockMinutes()));
    p.insert(p.end(), clock.begin(), clock.end());
    return reply(p);
}

DeviceResponse RxvPico::hear(const MasterFrame& frame, int lineBaud) {
    DeviceResponse response;
    if (lineBaud != m_config.baud || frame.address != m_config.address) return response;
    if (frame.kind == MasterFrame::Kind::Short) {
        if (frame.control == frame::kSndNke) {
            response.reached = true;
            response.answer = Telegram{frame::kAcknowledge};
        } else if (IsReqUd2(frame.control)) {
            response.reached = true;
            response.answer = status();
        }
    } else if (frame.kind == MasterFrame::Kind::Long && IsSndUd(frame.control)) {
        response = command(frame);
    }
    if (m_config.silent && response.answer) {
        response.answer.reset();
        response.notes.push_back(label() + ": silent, no answer");
    }
    if (response.answer && response.answer->size() > 1) ++m_accessNumber;  // counts the RSP_UDs sent
    return response;
}

DeviceResponse RxvPico::command(const MasterFrame& frame) {
    static constexpr Command kCommands[] = {
        {0x01, 4, &RxvPico::add},
        {0x81, 4, &RxvPico::remove},
        {0x82, 4, &RxvPico::removeRange},
        {0x02, 4, &RxvPico::readIds},
        {0x03, 4, &RxvPico::readAddresses},
        {0x05, 4, &RxvPico::setFlag},
        {0x0A, kIdBytes + kRxvPicoKeyBytes, &RxvPico::storeKey},
        {0x8A, 4, &RxvPico::readKey},
        {0x16, 5, &RxvPico::writeIdFilter},
        {0x17, 3, &RxvPico::writeManufacturerFilter},
        {0x18, 2, &RxvPico::writeMediumFilter},
        {0x96, 1, &RxvPico::readIdFilters},
        {0x97, 1, &RxvPico::readManufacturerFilters},
        {0x98, 1, &RxvPico::readMediumFilters},
    };
    DeviceResponse response;
    response.reached = true;
    const std::span<const std::uint8_t> d = frame.data;
    const auto ignore = [&](const std::string& why) {
        response.notes.push_back(label() + ": " + why + ", no answer");
        return response;
    };
    if (frame.ci != frame::kCiDataSend) return ignore("CI " + ByteText(frame.ci) + " not understood");

    if (d.size() >= 2 && d[0] == kDifDateTime && d[1] == kVifDateTime) {
        if (d.size() != 6) return ignore("date/time record of " + std::to_string(d.size()) + " bytes, not 6");
        const CalendarTime t = FromTypeF(d.subspan(2));
        const auto minutes = MinutesOf(t);
        if (!minutes) {
            response.answer = refusal(RxvPicoRefusal::BadDateTime, response);
            return response;
        }
        m_clockBase = *minutes;
        m_clockSetAt = m_clock();
        response.notes.push_back(label() + ": clock set to " + std::to_string(t.year) + "-" + std::to_string(t.month) +
                                 "-" + std::to_string(t.day) + " " + std::to_string(t.hour) + ":" + std::to_string(t.minute));
        response.answer = Telegram{frame::kAcknowledge};
        return response;
    }
    if (d.size() < kCommandHead || d[0] != kManufacturerData || d[1] != kCommandMark)
        return ignore("data " + HexRendering(d) + "not understood");
    const std::uint8_t code = d[2];
    const auto parameters = d.subspan(kCommandHead);
    if (d[3] != parameters.size())
        return ignore("command " + ByteText(code) + ": length byte " + std::to_string(d[3]) + " against " +
                      std::to_string(parameters.size()) + " parameter bytes");
    const auto* command = std::find_if(std::begin(kCommands), std::end(kCommands), [&](const Command& c) { return c.code == code; });
    if (command == std::end(kCommands)) {
        response.answer = refusal(RxvPicoRefusal::UnknownCommand, response);
        return response;
    }
    if (parameters.size() != command->parameters)
        return ignore("command " + ByteText(code) + " takes " + std::to_string(command->parameters) + " parameter bytes, " +
                      std::to_string(parameters.size()) + " given");
    auto answer = (this->*command->run)(parameters, response);
    response.answer = answer ? std::move(*answer) : Telegram{frame::kAcknowledge};
    return response;
}

RxvPico::Reply RxvPico::add(std::span<const std::uint8_t> p, DeviceResponse& r) {
    const auto id = IdText(p);
    if (!id) return refusal(RxvPicoRefusal::BadId, r);
    if (find(*id)) {
        r.notes.push_back(label() + ": " + *id + " already listed");
        return std::nullopt;
    }
    if (m_config.list.size() >= kRxvPicoListSize) return refusal(RxvPicoRefusal::ListFull, r);
    m_config.list.push_back({*id, {}, std::nullopt});
    r.notes.push_back(label() + ": " + *id + " added at " + std::to_string(m_config.list.size()));
    return std::nullopt;
}

RxvPico::Reply RxvPico::remove(std::span<const std::uint8_t> p, DeviceResponse& r) {
    const auto id = IdText(p);
    const auto at = id ? find(*id) : std::nullopt;
    if (!at) return refusal(RxvPicoRefusal::UnknownId, r);
    m_config.list.erase(m_config.list.begin() + static_cast<std::ptrdiff_t>(*at));
    r.notes.push_back(label() + ": " + *id + " deleted from " + std::to_string(*at + 1));
    return std::nullopt;
}

namespace {

// Positions first..first+count-1 (counted from 1; position 0 holds nothing) as indices [begin, end) into
// `size` entries.
std::pair<std::size_t, std::size_t> Range(std::uint8_t first, std::uint8_t count, std::size_t size) {
    const std::size_t begin = std::min<std::size_t>(std::max(first, std::uint8_t{1}) - 1u, size);
    const int end = first + count - 1;
    return {begin, std::clamp<std::size_t>(static_cast<std::size_t>(std::max(end, 0)), begin, size)};
}

} // namespace

RxvPico::Reply RxvPico::removeRange(std::span<const std::uint8_t> p, DeviceResponse& r) {
    const auto [begin, end] = Range(p[0], p[1], m_config.list.size());
    m_config.list.erase(m_config.list.begin() + static_cast<std::ptrdiff_t>(begin),
                        m_config.list.begin() + static_cast<std::ptrdiff_t>(end));
    r.notes.push_back(label() + ": " + std::to_string(end - begin) + " IDs deleted");
    return std::nullopt;
}

RxvPico::Reply RxvPico::readIds(std::span<const std::uint8_t> p, DeviceResponse&) {
    const auto [begin, end] = Range(p[0], p[1], m_config.list.size());
    std::vector<std::uint8_t> records;
    for (std::size_t i = begin; i < end; ++i) {
        records.insert(records.end(), {0x0C, 0x78});
        const auto id = IdBytes(m_config.list[i].id, false);
        records.insert(records.end(), id.begin(), id.end());
    }
    return reply(records);
}

RxvPico::Reply RxvPico::readAddresses(std::span<const std::uint8_t> p, DeviceResponse&) {
    const auto [begin, end] = Range(p[0], p[1], kRxvPicoListSize);
    std::vector<std::uint8_t> payload{kManufacturerData, kCommandMark, 0x13, static_cast<std::uint8_t>(end - begin)};
    for (std::size_t i = begin; i < end; ++i) {
        const bool listed = i < m_config.list.size();
        payload.push_back(listed ? m_config.list[i].address.value_or(static_cast<std::uint8_t>(i + 1)) : 0);
    }
    payload.insert(payload.end(), {0x00, 0x00});
    return reply(payload);
}

RxvPico::Reply RxvPico::setFlag(std::span<const std::uint8_t> p, DeviceResponse& r) {
    if (p[0] < 1 || p[0] > kLastFlag || p[1] > 1) return refusal(RxvPicoRefusal::BadParameter, r);
    const std::uint32_t bit = 1u << FlagBit(p[0]);
    m_config.flags = p[1] ? m_config.flags | bit : m_config.flags & ~bit;
    r.notes.push_back(label() + ": flag " + std::to_string(p[0]) + (p[1] ? " set" : " cleared"));
    return std::nullopt;
}

RxvPico::Reply RxvPico::storeKey(std::span<const std::uint8_t> p, DeviceResponse& r) {
    const auto id = IdText(p.first(kIdBytes));
    const auto at = id ? find(*id) : std::nullopt;
    if (!at) return refusal(RxvPicoRefusal::UnknownId, r);
    std::copy(p.begin() + kIdBytes, p.end(), m_config.list[*at].key.begin());
    r.notes.push_back(label() + ": key of " + *id + " stored");
    return std::nullopt;
}

RxvPico::Reply RxvPico::readKey(std::span<const std::uint8_t> p, DeviceResponse& r) {
    const auto id = IdText(p);
    const auto at = id ? find(*id) : std::nullopt;
    if (!at) return refusal(RxvPicoRefusal::UnknownId, r);
    std::vector<std::uint8_t> payload{kManufacturerData, kCommandMark, 0x8A, kRxvPicoKeyBytes};
    payload.insert(payload.end(), m_config.list[*at].key.begin(), m_config.list[*at].key.end());
    return reply(payload);
}

RxvPico::Reply RxvPico::writeIdFilter(std::span<const std::uint8_t> p, DeviceResponse& r) {
    if (p[0] < 1 || p[0] > kRxvPicoFilterPositions) return refusal(RxvPicoRefusal::BadPosition, r);
    const auto id = IdText(p.subspan(1));
    if (!id) return refusal(RxvPicoRefusal::BadId, r);
    m_filters.ids[p[0] - 1u] = *id;
    r.notes.push_back(label() + ": ID filter " + std::to_string(p[0]) + " -> " + *id);
    return std::nullopt;
}

RxvPico::Reply RxvPico::writeManufacturerFilter(std::span<const std::uint8_t> p, DeviceResponse& r) {
    if (p[0] < 1 || p[0] > kRxvPicoFilterPositions) return refusal(RxvPicoRefusal::BadPosition, r);
    m_filters.manufacturers[p[0] - 1u] = static_cast<std::uint16_t>(p[1] << 8 | p[2]);  // high byte first
    r.notes.push_back(label() + ": manufacturer filter " + std::to_string(p[0]) + " -> " + ByteText(p[1]) + " " + ByteText(p[2]));
    return std::nullopt;
}

RxvPico::Reply RxvPico::writeMediumFilter(std::span<const std::uint8_t> p, DeviceResponse& r) {
    if (p[0] < 1 || p[0] > kRxvPicoFilterPositions) return refusal(RxvPicoRefusal::BadPosition, r);
    m_filters.media[p[0] - 1u] = p[1];
    r.notes.push_back(label() + ": medium filter " + std::to_string(p[0]) + " -> " + ByteText(p[1]));
    return std::nullopt;
}

RxvPico::Reply RxvPico::readIdFilters(std::span<const std::uint8_t>, DeviceResponse&) {
    std::vector<std::uint8_t> payload{kManufacturerData, kCommandMark, 0xA6, kRxvPicoFilterPositions * kIdBytes};
    for (const auto& id : m_filters.ids) {
        const auto bytes = IdBytes(id, true);
        payload.insert(payload.end(), bytes.begin(), bytes.end());
    }
    return reply(payload);
}

RxvPico::Reply RxvPico::readManufacturerFilters(std::span<const std::uint8_t>, DeviceResponse&) {
    std::vector<std::uint8_t> payload{kManufacturerData, kCommandMark, 0xA7, kRxvPicoFilterPositions * 2};
    for (std::uint16_t code : m_filters.manufacturers)
        payload.insert(payload.end(), {static_cast<std::uint8_t>(code & 0xFF), static_cast<std::uint8_t>(code >> 8)});
    return reply(payload);
}

RxvPico::Reply RxvPico::readMediumFilters(std::span<const std::uint8_t>, DeviceResponse&) {
    std::vector<std::uint8_t> payload{kManufacturerData, kCommandMark, 0xA8, kRxvPicoFilterPositions};
    payload.insert(payload.end(), m_filters.media.begin(), m_filters.media.end());
    return reply(payload);
}

RxvPico* AddRxvPico(Bus& bus, RxvPicoConfig config, std::string& error, RxvPico::Clock clock) {
    auto receiver = RxvPico::Create(std::move(config), error, std::move(clock));
    if (!receiver) return nullptr;
    RxvPico* added = receiver.get();
    bus.add(std::move(receiver));
    return added;
}

std::optional<RxvPicoState> RxvPicoStateOf(const Bus& bus) {
    std::optional<RxvPicoState> state;
    bus.forEachDevice([&](const Device& d) {
        if (const auto* pico = dynamic_cast<const RxvPico*>(&d); pico && !state) state = pico->state();
    });
    return state;
}

} // namespace veltro::sim
