#include "sim/record_encoder.h"

#include <array>
#include <bit>
#include <cmath>
#include <limits>

#include "mbus/frames.h"

namespace veltro::sim {
namespace {

constexpr std::uint8_t kExtensionBit = 0x80;
constexpr std::size_t kFixedHeaderSize = 12;
constexpr std::size_t kMostUserData = 255 - 3;  // L = C + A + CI + user data fits one byte

// Every byte of a chain but the last has its extension bit set; the head's bit says whether a chain follows.
std::optional<std::string> CheckChain(std::uint8_t head, const std::vector<std::uint8_t>& chain, const char* headName,
                                      const char* chainName) {
    const bool headExtends = (head & kExtensionBit) != 0;
    if (headExtends != !chain.empty())
        return std::string(headName) + (headExtends ? " announces " : " does not announce ") + chainName +
               (chain.empty() ? " but none follows" : " but some follow");
    for (std::size_t i = 0; i + 1 < chain.size(); ++i)
        if ((chain[i] & kExtensionBit) == 0) return std::string(chainName) + " chain breaks before its last byte";
    if (!chain.empty() && (chain.back() & kExtensionBit) != 0)
        return std::string("last ") + chainName + " announces one more";
    return std::nullopt;
}

// Variable-length field (code D): LVAR and the bytes it announces.
std::optional<std::string> CheckVariableLength(const std::vector<std::uint8_t>& data) {
    if (data.empty()) return "variable-length field without its LVAR byte";
    const std::uint8_t lvar = data[0];
    std::size_t announced = 0;
    if (lvar < 0xC0) announced = lvar;
    else if (lvar <= 0xFA) announced = lvar & 0x0F;
    else announced = 0;  // FBh..FFh: reserved, the length byte alone
    if (data.size() != 1 + announced)
        return "variable-length field: LVAR announces " + std::to_string(announced) + " bytes, " +
               std::to_string(data.size() - 1) + " given";
    return std::nullopt;
}

} // namespace

DataRecord DataRecord::Verbatim(std::span<const std::uint8_t> bytes) {
    DataRecord r;
    r.verbatim = true;
    r.data.assign(bytes.begin(), bytes.end());
    return r;
}

DataRecord DataRecord::ManufacturerSpecific(std::span<const std::uint8_t> bytes, bool moreTelegramsFollow) {
    DataRecord r;
    r.dif = moreTelegramsFollow ? kDifMoreRecordsFollow : kDifManufacturerSpecific;
    r.data.assign(bytes.begin(), bytes.end());
    return r;
}

std::optional<std::size_t> FixedDataLength(std::uint8_t dif) {
    static constexpr int kLengths[16] = {0, 1, 2, 3, 4, 4, 6, 8, 0, 1, 2, 3, 4, -1, 6, -1};
    const int length = kLengths[dif & 0x0F];
    if (length < 0) return std::nullopt;
    return static_cast<std::size_t>(length);
}

std::optional<std::string> CheckRecord(const DataRecord& record) {
    if (record.verbatim) {
        if (record.data.empty()) return "empty verbatim record";
        return std::nullopt;
    }
    if (record.isManufacturerSpecific()) {
        if (record.dif != kDifManufacturerSpecific && record.dif != kDifMoreRecordsFollow)
            return "manufacturer-specific data takes DIF 0F or 1F";
        if (!record.dife.empty() || !record.vife.empty()) return "manufacturer-specific data has no DIFE or VIFE";
        return std::nullopt;
    }
    if (record.dif == 0x2F) return "DIF 2F is an idle filler, not a record";
    if (auto e = CheckChain(record.dif, record.dife, "DIF", "DIFE")) return e;
    if (record.dife.size() > 10) return "more than 10 DIFEs";
    if (auto e = CheckChain(record.vif, record.vife, "VIF", "VIFE")) return e;
    if (record.vife.size() > 10) return "more than 10 VIFEs";
    if ((record.vif & 0x7F) == 0x7C) return "plain-text VIF is not supported; give the record as hex";
    if (auto length = FixedDataLength(record.dif)) {
        if (record.data.size() != *length)
            return "DIF " + std::to_string(record.dif & 0x0F) + " takes " + std::to_string(*length) + " data bytes, " +
                   std::to_string(record.data.size()) + " given";
        return std::nullopt;
    }
    return CheckVariableLength(record.data);
}

void AppendRecord(const DataRecord& record, std::vector<std::uint8_t>& out) {
    if (record.verbatim) {
        out.insert(out.end(), record.data.begin(), record.data.end());
        return;
    }
    out.push_back(record.dif);
    if (!record.isManufacturerSpecific()) {
        out.insert(out.end(), record.dife.begin(), record.dife.end());
        out.push_back(record.vif);
        out.insert(out.end(), record.vife.begin(), record.vife.end());
    }
    out.insert(out.end(), record.data.begin(), record.data.end());
}

std::optional<std::vector<std::uint8_t>> EncodeInteger(std::int64_t value, std::size_t size) {
    if (size == 0 || size > 8) return std::nullopt;
    if (size < 8) {
        // Unsigned readings use the whole field; negative ones must fit two's complement.
        const std::int64_t highest = (std::int64_t{1} << (8 * size)) - 1;
        const std::int64_t lowest = -(std::int64_t{1} << (8 * size - 1));
        if (value > highest || value < lowest) return std::nullopt;
    }
    std::vector<std::uint8_t> out(size);
    auto bits = static_cast<std::uint64_t>(value);
    for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<std::uint8_t>(bits >> (8 * i));
    return out;
}

std::optional<std::vector<std::uint8_t>> EncodeBcd(std::int64_t value, std::size_t digits) {
    if (digits == 0 || digits % 2 != 0 || digits > 12) return std::nullopt;
    const bool negative = value < 0;
    std::uint64_t magnitude = negative ? static_cast<std::uint64_t>(-(value + 1)) + 1 : static_cast<std::uint64_t>(value);
    const std::size_t valueDigits = negative ? digits - 1 : digits;  // the sign takes the top nibble
    std::vector<std::uint8_t> nibbles(digits, 0);
    for (std::size_t i = 0; i < valueDigits; ++i) {
        nibbles[i] = static_cast<std::uint8_t>(magnitude % 10);
        magnitude /= 10;
    }
    if (magnitude != 0) return std::nullopt;
    if (negative) nibbles[digits - 1] = 0x0F;
    std::vector<std::uint8_t> out(digits / 2);
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<std::uint8_t>(nibbles[2 * i] | (nibbles[2 * i + 1] << 4));
    return out;
}

std::vector<std::uint8_t> EncodeReal(float value) {
    const auto bits = std::bit_cast<std::uint32_t>(value);
    return {static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(bits >> 8), static_cast<std::uint8_t>(bits >> 16),
            static_cast<std::uint8_t>(bits >> 24)};
}

namespace {

bool ValidDate(const CalendarTime& t) {
    return t.year >= 2000 && t.year <= 2099 && t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= 31;
}

std::array<std::uint8_t, 2> DateBytes(const CalendarTime& t) {
    const int year = t.year - 2000;
    return {static_cast<std::uint8_t>(t.day | ((year & 0x07) << 5)),
            static_cast<std::uint8_t>(t.month | ((year >> 3) << 4))};
}

} // namespace

std::optional<std::vector<std::uint8_t>> EncodeDateTypeG(const CalendarTime& date) {
    if (!ValidDate(date)) return std::nullopt;
    const auto d = DateBytes(date);
    return std::vector<std::uint8_t>{d[0], d[1]};
}

std::optional<std::vector<std::uint8_t>> EncodeDateTypeF(const CalendarTime& time) {
    if (!ValidDate(time) || time.hour < 0 || time.hour > 23 || time.minute < 0 || time.minute > 59) return std::nullopt;
    const auto d = DateBytes(time);
    return std::vector<std::uint8_t>{static_cast<std::uint8_t>(time.minute), static_cast<std::uint8_t>(time.hour), d[0], d[1]};
}

std::optional<std::vector<std::uint8_t>> EncodeNumberForDif(std::uint8_t dif, double value) {
    const std::uint8_t code = dif & 0x0F;
    if (code == 0x05) return EncodeReal(static_cast<float>(value));
    if (!std::isfinite(value) || std::trunc(value) != value || std::fabs(value) > 9.0e15) return std::nullopt;
    const auto integer = static_cast<std::int64_t>(value);
    switch (code) {
    case 0x01: case 0x02: case 0x03: case 0x04: case 0x06: case 0x07:
        return EncodeInteger(integer, *FixedDataLength(dif));
    case 0x09: case 0x0A: case 0x0B: case 0x0C: case 0x0E:
        return EncodeBcd(integer, 2 * *FixedDataLength(dif));
    default:
        return std::nullopt;
    }
}

std::optional<std::int64_t> DecodeNumberField(std::uint8_t dif, std::span<const std::uint8_t> data) {
    const std::uint8_t code = dif & 0x0F;
    const auto length = FixedDataLength(dif);
    if (!length || data.size() != *length || *length == 0) return std::nullopt;
    switch (code) {
    case 0x01: case 0x02: case 0x03: case 0x04: case 0x06: case 0x07: {
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < data.size(); ++i) value |= std::uint64_t{data[i]} << (8 * i);
        return static_cast<std::int64_t>(value);
    }
    case 0x09: case 0x0A: case 0x0B: case 0x0C: case 0x0E: {
        std::int64_t value = 0;
        for (std::size_t i = data.size(); i-- > 0;) {
            const int high = data[i] >> 4, low = data[i] & 0x0F;
            if (high > 9 || low > 9) return std::nullopt;
            value = value * 100 + high * 10 + low;
        }
        return value;
    }
    default:
        return std::nullopt;
    }
}

std::optional<Telegram> EncodeRspUd(std::uint8_t address, const FixedHeader& header, std::span<const DataRecord> records,
                                    std::uint8_t control, std::uint8_t ci) {
    std::vector<std::uint8_t> data;
    data.reserve(kMostUserData);
    data.insert(data.end(), header.identification.begin(), header.identification.end());
    data.push_back(static_cast<std::uint8_t>(header.manufacturer & 0xFF));
    data.push_back(static_cast<std::uint8_t>(header.manufacturer >> 8));
    data.push_back(header.version);
    data.push_back(header.medium);
    data.push_back(header.accessNumber);
    data.push_back(header.status);
    data.push_back(static_cast<std::uint8_t>(header.signature & 0xFF));
    data.push_back(static_cast<std::uint8_t>(header.signature >> 8));
    static_assert(kFixedHeaderSize == 12);
    for (const auto& record : records) {
        if (CheckRecord(record)) return std::nullopt;
        AppendRecord(record, data);
    }
    if (data.size() > kMostUserData) return std::nullopt;
    return BuildLongFrame(control, address, ci, data);
}

bool IsBcd(std::span<const std::uint8_t> bytes) {
    for (auto b : bytes)
        if ((b >> 4) > 9 || (b & 0x0F) > 9) return false;
    return true;
}

} // namespace veltro::sim
