#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "mbus/constants.h"
#include "mbus/identification.h"
#include "mbus/telegram.h"

namespace veltro::sim {

// One EN 13757-3 data record as a meter sends it: DIF, DIFEs, VIF, VIFEs, data field.
// Manufacturer-specific records (DIF 0Fh, 1Fh) carry no VIF; their `data` is the rest of the telegram.
// A verbatim record is copied as it stands (used for captured telegrams and exotic layouts).
struct DataRecord {
    std::uint8_t dif = 0;
    std::vector<std::uint8_t> dife;
    std::uint8_t vif = 0;
    std::vector<std::uint8_t> vife;
    std::vector<std::uint8_t> data;  // least significant byte first, as on the wire
    bool verbatim = false;           // `data` holds the whole record

    static DataRecord Verbatim(std::span<const std::uint8_t> bytes);
    static DataRecord ManufacturerSpecific(std::span<const std::uint8_t> bytes, bool moreTelegramsFollow);

    bool isManufacturerSpecific() const { return !verbatim && (dif & 0x0F) == 0x0F; }
    std::uint8_t dataFieldCode() const { return dif & 0x0F; }
};

// DIF 0Fh ends the records; 1Fh ends them too and announces that the meter has more telegrams.
inline constexpr std::uint8_t kDifManufacturerSpecific = 0x0F;
inline constexpr std::uint8_t kDifMoreRecordsFollow = 0x1F;

// Why a record cannot be sent as it stands (extension bits that do not chain, a data field of the wrong
// length for its DIF); nothing when it is well formed.
std::optional<std::string> CheckRecord(const DataRecord& record);

// The record's bytes in telegram order. The record must have passed CheckRecord.
void AppendRecord(const DataRecord& record, std::vector<std::uint8_t>& out);

// Length of the data field a DIF announces (codes 0..E), or nothing for variable length (D) and
// manufacturer-specific data (F).
std::optional<std::size_t> FixedDataLength(std::uint8_t dif);

// --- Data field encoders; each gives nothing when the value does not fit the field. ---

// Two's complement, least significant byte first, `size` 1..8 bytes.
std::optional<std::vector<std::uint8_t>> EncodeInteger(std::int64_t value, std::size_t size);
// `digits` BCD digits (2, 4, 6, 8 or 12), least significant pair first; a negative value gets the sign
// nibble F in its most significant digit.
std::optional<std::vector<std::uint8_t>> EncodeBcd(std::int64_t value, std::size_t digits);
// IEEE 754 single precision, least significant byte first.
std::vector<std::uint8_t> EncodeReal(float value);

struct CalendarTime {
    int year = 2000;  // 2000..2099 (sent as two digits)
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;

    bool operator==(const CalendarTime&) const = default;
};
// Type G date (2 bytes): day | year bits 0-2 << 5, month | year bits 3-6 << 4.
std::optional<std::vector<std::uint8_t>> EncodeDateTypeG(const CalendarTime& date);
// Type F date and time (4 bytes): minute, hour, then the type G layout for day, month and year.
std::optional<std::vector<std::uint8_t>> EncodeDateTypeF(const CalendarTime& time);

// The data field for a number according to the record's DIF: integers for codes 1-4, 6, 7, BCD for
// 9-C, E, a real for 5. Nothing when the code takes no number or the value does not fit.
std::optional<std::vector<std::uint8_t>> EncodeNumberForDif(std::uint8_t dif, double value);

// The value a numeric data field holds (integer or BCD codes), the inverse of EncodeNumberForDif; used to
// count a pulse counter on. Nothing for other codes or a BCD field with a digit above 9.
std::optional<std::int64_t> DecodeNumberField(std::uint8_t dif, std::span<const std::uint8_t> data);

// --- The RSP_UD ---

// The 12-byte fixed header after CI 72h.
struct FixedHeader {
    PackedIdentification identification{};  // least significant pair first
    std::uint16_t manufacturer = 0;
    std::uint8_t version = 0;
    std::uint8_t medium = 0;
    std::uint8_t accessNumber = 0;
    std::uint8_t status = 0;
    std::uint16_t signature = 0;
};

// 68 L L 68 C A CI, the fixed header, the records, CS 16. Nothing when the records do not fit the one-byte
// L field (240 bytes of records at most) or a record is malformed.
std::optional<Telegram> EncodeRspUd(std::uint8_t address, const FixedHeader& header, std::span<const DataRecord> records,
                                    std::uint8_t control = frame::kRspUd, std::uint8_t ci = frame::kCiVariableData);

// True when every nibble is a decimal digit.
bool IsBcd(std::span<const std::uint8_t> bytes);

} // namespace veltro::sim
