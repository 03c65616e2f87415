#include "decode/records.h"

#include <array>
#include <algorithm>
#include <cmath>
#include <optional>
#include <string_view>

#include "decode/date_time.h"
#include "decode/joined.h"
#include "decode/maker_decoders.h"
#include "decode/number_format.h"
#include "decode/telegram_header.h"
#include "decode/vif_table.h"
#include "mbus/byte_reader.h"
#include "mbus/hex.h"

namespace veltro {
namespace {

constexpr std::uint8_t kIdleFiller = 0x2F;
constexpr std::uint8_t kMoreRecordsFollow = 0x1F;
constexpr std::uint8_t kExtensionBit = 0x80;
constexpr std::uint8_t kFabricationNumberVif = 0x78;
constexpr std::uint8_t kEnhancedIdentificationVif = 0x79;

constexpr std::array<std::string_view, 16> kFunctionTexts{
    "Instantenous value ",
    "Maximum value ",
    "Minimum value ",
    "Value during Error state ",
    "Storage number, Instantenous value ",
    "Storage number, Maximum value ",
    "Storage number, Minimum value ",
    "Storage number, Value during Error state ",
    "Instantenous value, Extension ",
    "Maximum value, Extension ",
    "Minimum value, Extension ",
    "Value during error state, Extension ",
    "Storage number, Instantenous value, Extension ",
    "Storage number, Maximum value, Extension ",
    "Storage number, Minimum value, Extension ",
    "Storage number, Value during Error state, Extension ",
};

// How a data-field code (DIF low nibble) is read.
enum class FieldKind { NoData, Integer, Real, Integer64, Unrecognizable, Bcd, Variable, Manufacturer };

struct FieldCode {
    FieldKind kind;
    std::size_t length;
    int precision;          // significant digits of the value text
    bool hexForVif78;       // fabrication number read as hex/digit text
    const char* exception;  // the value text when the field cannot be read
};

constexpr const char* kException = "Exception ";

// Data-field codes 0h..Fh (EN 13757-3 table 4).
constexpr std::array<FieldCode, 16> kFieldCodes{
    FieldCode{FieldKind::NoData, 0, 0, false, kException},
    FieldCode{FieldKind::Integer, 1, 8, false, kException},
    FieldCode{FieldKind::Integer, 2, 8, false, kException},
    FieldCode{FieldKind::Integer, 3, 11, true, kException},
    FieldCode{FieldKind::Integer, 4, 13, true, kException},
    FieldCode{FieldKind::Real, 4, 9, false, "Exception on floating point value "},
    FieldCode{FieldKind::Integer, 6, 15, true, "Exception on 6-byte integer "},
    FieldCode{FieldKind::Integer64, 8, 0, false, kException},
    FieldCode{FieldKind::Unrecognizable, 0, 0, false, kException},
    FieldCode{FieldKind::Bcd, 1, 8, false, kException},
    FieldCode{FieldKind::Bcd, 2, 8, false, kException},
    FieldCode{FieldKind::Bcd, 3, 11, true, kException},
    FieldCode{FieldKind::Bcd, 4, 13, true, kException},
    FieldCode{FieldKind::Variable, 1, 0, false, kException},
    FieldCode{FieldKind::Bcd, 6, 15, true, kException},
    FieldCode{FieldKind::Manufacturer, 0, 0, false, kException},
};

// 18 decimal digits always fit a signed 64-bit value.
static_assert([] {
    for (const FieldCode& code : kFieldCodes)
        if (code.kind == FieldKind::Bcd && code.length > 9) return false;
    return true;
}());

constexpr std::size_t kDateFieldLengthOfVariableCode = 5;
constexpr std::size_t kBytesPerRecordReserved = 4;
constexpr std::size_t kMaxDifes = 10;

// Bytes most significant first as hex text; the 3-byte fabrication number is padded to eight digits.
std::string MostSignificantFirst(std::span<const std::uint8_t> bytes) {
    std::string text;
    for (std::size_t i = bytes.size(); i-- > 0;) text += HexByte(bytes[i]);
    return text;
}

std::uint64_t LittleEndian(std::span<const std::uint8_t> bytes) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) value |= std::uint64_t{bytes[i]} << (8 * i);
    return value;
}

// BCD digits most significant first, at most 12 (type A, 6 bytes), so any value fits 64 bits: a 6-byte
// volume counter passes 2^31 at 2147483.648 m3. An F in the most significant nibble is the minus sign of
// EN 13757-3 (negative temperature differences and powers); any other digit above 9 cannot be converted.
std::optional<std::int64_t> BcdValue(std::span<const std::uint8_t> bytes) {
    std::int64_t value = 0;
    bool negative = false;
    bool first = true;
    for (std::size_t i = bytes.size(); i-- > 0;) {
        for (int nibble : {bytes[i] >> 4, bytes[i] & 0x0F}) {
            if (first && nibble == 0x0F) {
                negative = true;
            } else if (nibble > 9) {
                return std::nullopt;
            } else {
                value = value * 10 + nibble;
            }
            first = false;
        }
    }
    return negative ? -value : value;
}

// Two's complement of a field `bytes` wide (EN 13757-3 type B integers are signed).
std::int64_t SignedValue(std::uint64_t raw, std::size_t bytes) {
    const unsigned bits = static_cast<unsigned>(8 * bytes);
    if (bits >= 64) return static_cast<std::int64_t>(raw);
    const std::uint64_t sign = std::uint64_t{1} << (bits - 1);
    return raw & sign ? static_cast<std::int64_t>(raw) - static_cast<std::int64_t>(sign << 1) : static_cast<std::int64_t>(raw);
}

struct Real {
    std::string text;
    double quantity = 0.0;  // NaN for "NaN or Infinite"
};

Real RealValue(std::span<const std::uint8_t> bytes, double multiplier, char separator) {
    const auto bits = static_cast<std::uint32_t>(LittleEndian(bytes));
    const int exponent = static_cast<int>((bits >> 23) & 0xFF);
    const std::uint32_t mantissa = bits & 0x7FFFFF;
    if (exponent == 255) return {"NaN or Infinite", std::nan("")};
    // Also for exponent 0: zero reads "0.00000" and subnormals are not special.
    // Scaled by the VIF like every other value: 1.5 with VIF 3Eh (m3/h as 10^3 l/h) is 1500 l/h.
    const double magnitude = std::ldexp(1.0 + mantissa / 8388608.0, exponent - 127) * multiplier;
    std::string text = FormatFixed(magnitude, 9, 5, separator);
    if (bits & 0x80000000u) return {"-" + text, -magnitude};
    return {std::move(text), magnitude};
}

// A variable-length field (LVAR at `dataPosition`): its value text, length and typed value into `field`.
// False when the bytes LVAR announces run past the record area.
bool VariableValue(std::span<const std::uint8_t> recordArea, std::size_t dataPosition, DataField& field) {
    const std::uint8_t lvar = recordArea[dataPosition];
    std::size_t count = 0;
    std::string_view prefix;
    bool characters = false;
    if (lvar < 0xC0) {
        count = lvar;
        characters = true;
    } else if (lvar <= 0xCF) {
        count = lvar - 0xC0u;
    } else if (lvar <= 0xDF) {
        count = lvar - 0xD0u;
        prefix = "-";
    } else if (lvar <= 0xEF) {
        count = lvar - 0xE0u;
        prefix = "0x";
    } else if (lvar <= 0xFA) {
        count = lvar - 0xF0u;
        prefix = "Floating point, to be defined in the future, but hex is: 0x";
    } else {
        field.length = 1;
        field.value = "Reserved for future use? ";
        return true;
    }
    field.length = 1 + count;
    ByteReader reader(recordArea, dataPosition + 1);
    const auto bytes = reader.readBytes(count);
    if (!bytes) return false;
    field.kind = RecordValueKind::Text;
    if (characters) {
        field.value.assign(bytes->begin(), bytes->end());
        field.text = field.value;
        return true;
    }
    // The typed text is the digits as shown; a minus sign is part of them, a "0x" is not.
    field.text = prefix == "-" ? std::string(prefix) + HexDigits(*bytes) : HexDigits(*bytes);
    field.value = prefix == "-" ? field.text : std::string(prefix) + field.text;
    return true;
}

std::string HexPairs(std::span<const std::uint8_t> bytes) { return HexRendering(bytes); }

} // namespace

std::string_view RecordValueKindCode(RecordValueKind kind) {
    switch (kind) {
    case RecordValueKind::None: return "none";
    case RecordValueKind::Number: return "number";
    case RecordValueKind::Date: return "date";
    case RecordValueKind::DateTime: return "datetime";
    case RecordValueKind::Text: return "text";
    }
    return "none";
}

std::string_view RecordFunctionCode(RecordFunction function) {
    switch (function) {
    case RecordFunction::Instantaneous: return "instantaneous";
    case RecordFunction::Maximum: return "maximum";
    case RecordFunction::Minimum: return "minimum";
    case RecordFunction::ValueDuringError: return "error";
    }
    return "instantaneous";
}

// DIF bits 4-5 read as the enumeration's order.
static_assert(static_cast<int>(RecordFunction::Maximum) == 1 && static_cast<int>(RecordFunction::Minimum) == 2 &&
              static_cast<int>(RecordFunction::ValueDuringError) == 3);

RecordAddress DecodeRecordAddress(std::span<const std::uint8_t> difChain) {
    RecordAddress address;
    if (difChain.empty()) return address;
    const std::uint8_t dif = difChain[0];
    address.function = static_cast<RecordFunction>((dif >> 4) & 0x03);
    address.storage = (dif >> 6) & 0x01;
    // EN 13757-3 allows ten DIFEs (41 storage bits); a longer chain adds nothing rather than shift past
    // the widths.
    const std::size_t difes = std::min<std::size_t>(difChain.size() - 1, kMaxDifes);
    unsigned tariff = 0;
    unsigned subunit = 0;
    for (std::size_t i = 0; i < difes; ++i) {
        const std::uint8_t dife = difChain[i + 1];
        address.storage |= std::uint64_t{dife & 0x0Fu} << (1 + 4 * i);
        tariff |= ((dife >> 4) & 0x03u) << (2 * i);
        subunit |= ((dife >> 6) & 0x01u) << i;
    }
    address.tariff = static_cast<int>(tariff);
    address.subunit = static_cast<int>(subunit);
    return address;
}

std::string FunctionText(std::uint8_t dif, std::uint8_t firstDife) {
    const std::string_view function = kFunctionTexts[dif >> 4];
    if (!(dif & kExtensionBit)) return std::string(function);
    const int storage = firstDife & 0x0F;
    const int tariff = (firstDife >> 4) & 0x03;
    std::string text;
    text.reserve(function.size() + 32);  // the storage and tariff part, in one allocation
    text += function;
    text += "Storage is: ";
    if (storage < 10) text += static_cast<char>('0' + storage);
    text += ", Tariff is: ";
    text += static_cast<char>('0' + tariff);
    text += ' ';
    return text;
}

DataField DecodeDataField(std::span<const std::uint8_t> recordArea, std::size_t difPosition, std::size_t dataPosition,
                          std::uint8_t vif, int exponent, char decimalSeparator) {
    DataField field;
    const auto dif = ByteAt(recordArea, difPosition);
    if (!dif) {
        field.value = kException;
        return field;
    }
    field.function = FunctionText(*dif, ByteAt(recordArea, difPosition + 1).value_or(0));
    const FieldCode& code = kFieldCodes[*dif & 0x0F];
    field.length = code.length;

    ByteReader reader(recordArea, std::min(dataPosition, recordArea.size()));
    auto take = [&](std::size_t count) -> std::optional<std::span<const std::uint8_t>> {
        if (dataPosition > recordArea.size()) return std::nullopt;
        return reader.readBytes(count);
    };

    const bool typeG = vif == 0x6C || vif == 0xEC;
    const bool typeF = vif == 0x6D || vif == 0xED;
    if (typeG || typeF) {
        if (code.kind == FieldKind::Variable) field.length = kDateFieldLengthOfVariableCode;
        const auto bytes = take(field.length);
        if (!bytes) {
            field.value = kDateTimeException;
            return field;
        }
        field.value = typeG ? DecodeTypeGDate(*bytes) : DecodeTypeFDateTime(*bytes);
        if (auto iso = typeG ? TypeGDateIso(*bytes) : TypeFDateTimeIso(*bytes)) {
            field.kind = typeG ? RecordValueKind::Date : RecordValueKind::DateTime;
            field.text = std::move(*iso);
        }
        return field;
    }

    switch (code.kind) {
    case FieldKind::NoData:
        field.value = "No data ";
        return field;
    case FieldKind::Unrecognizable:
        field.value = "Unrecognizable DIF, not decoded ";
        return field;
    case FieldKind::Manufacturer:
        field.value = kException;  // handled by the walk; never decoded as a field
        return field;
    case FieldKind::Variable: {
        if (!ByteAt(recordArea, dataPosition) || !VariableValue(recordArea, dataPosition, field)) {
            field.value = code.exception;
            field.kind = RecordValueKind::None;
            field.text.clear();
        }
        return field;
    }
    default:
        break;
    }

    const auto bytes = take(code.length);
    if (!bytes) {
        field.value = code.exception;
        return field;
    }
    const bool fabricationNumber =
        code.hexForVif78 && (vif == kFabricationNumberVif || (code.kind == FieldKind::Bcd && code.length == 4 &&
                                                              vif == kEnhancedIdentificationVif));
    switch (code.kind) {
    case FieldKind::Integer: {
        if (fabricationNumber) {
            field.value = (code.length == 3 ? "00" : "") + MostSignificantFirst(*bytes);
            field.kind = RecordValueKind::Text;
            field.text = field.value;
            return field;
        }
        const std::int64_t value = SignedValue(LittleEndian(*bytes), bytes->size());
        field.value = FormatScaled(value, exponent, code.precision, 3, decimalSeparator);
        field.kind = RecordValueKind::Number;
        field.quantity = ScaledQuantity(value, exponent);
        return field;
    }
    case FieldKind::Real: {
        const Real real = RealValue(*bytes, std::pow(10.0, exponent), decimalSeparator);
        field.value = real.text;
        if (std::isfinite(real.quantity)) {
            field.kind = RecordValueKind::Number;
            field.quantity = real.quantity;
        }
        return field;
    }
    case FieldKind::Integer64:
        field.text = MostSignificantFirst(*bytes);
        field.value = "64-bit integer not supported, but hex is: 0x" + field.text;
        field.kind = RecordValueKind::Text;
        return field;
    case FieldKind::Bcd: {
        if (fabricationNumber) {
            field.value = MostSignificantFirst(*bytes);
            field.kind = RecordValueKind::Text;
            field.text = field.value;
            return field;
        }
        const auto value = BcdValue(*bytes);
        if (!value) {
            field.value = code.exception;
            return field;
        }
        field.value = FormatScaled(*value, exponent, code.precision, 3, decimalSeparator);
        field.kind = RecordValueKind::Number;
        field.quantity = ScaledQuantity(*value, exponent);
        return field;
    }
    default:
        field.value = code.exception;
        return field;
    }
}

RecordWalk DecodeRecords(std::span<const std::uint8_t> frame, const RecordWalkSettings& settings) {
    RecordWalk walk;
    if (frame.size() < kShortestResponse) return walk;
    // The record area: byte 19 up to the byte before the check sum. Nothing here reads past it.
    const std::span<const std::uint8_t> area = frame.first(frame.size() - 2);
    const std::size_t end = area.size();
    std::size_t position = kRecordsStart;
    int number = 1;

    // Real records take 4 to 8 bytes (DIF, VIF, a 2- or 4-byte value), so one list entry per 4 bytes of
    // the record area holds them all in one allocation; a run of shorter records grows the lists as usual.
    const std::size_t expectedRecords = (end - kRecordsStart) / kBytesPerRecordReserved + 1;
    walk.records.reserve(expectedRecords);
    walk.reportRows.reserve(expectedRecords);
    if (settings.fullRead) walk.reportLog.reserve(expectedRecords);

    while (position < end) {
        const std::uint8_t dif = area[position];
        if (dif == kIdleFiller) {
            if (settings.fullRead) walk.reportLog.push_back("DIF:2F, Idle filtering, skipping...");
            ++position;
            continue;
        }
        if ((dif & 0x0F) == 0x0F) {
            const std::string data = HexPairs(area.subspan(position + 1));
            if (settings.fullRead)
                walk.reportLog.push_back(Joined("DIF:", HexByte(dif), ", Manufacturer specific: ", data));
            walk.reportRows.push_back({"", "", "Manf. specific", data, ""});
            DecodedRecord record;
            record.number = std::to_string(number);
            record.value = data;
            record.description = "Manf. secific";
            walk.records.push_back(std::move(record));

            ApatorOutcome apator = DecodeApatorVolume(frame, area, position, number, settings);
            for (auto& line : apator.log) walk.log.push_back(std::move(line));
            if (apator.record) {
                walk.records.push_back(std::move(*apator.record));
                walk.trailingEmptyRow = false;
            }
            if (!apator.endsWalk) walk.moreRecordsPending = dif == kMoreRecordsFollow;
            return walk;
        }

        // DIF and DIFE chain; the VIF must follow inside the record area.
        std::size_t last = position;
        while (area[last] & kExtensionBit) {
            if (++last >= end) return walk;
        }
        const std::size_t vifPosition = last + 1;
        if (vifPosition >= end) return walk;
        last = vifPosition;
        while (area[last] & kExtensionBit) {
            if (++last >= end) return walk;
        }
        std::size_t dataPosition = last + 1;
        if (dataPosition >= end) return walk;

        const std::uint8_t vif = area[vifPosition];
        VifInfo info = LookupVif(area, vifPosition, vif);
        if (info.error) return walk;  // a plain-text unit that runs past the records ends the walk like a short chain
        if (info.plainText()) dataPosition += 1 + info.plainTextLength;

        DataField field = DecodeDataField(area, position, dataPosition, vif, info.exponent, settings.decimalSeparator);
        // Volts and amperes keep multiplier 1 in the shown value and name their power of ten in the unit.
        if (info.unitExponent != 0 && field.kind == RecordValueKind::Number)
            field.quantity = ScaledByPowerOfTen(field.quantity, info.unitExponent);

        // Built in place, like its report row below: a record is eight strings, and moving a finished one
        // into the list copied each of them again.
        DecodedRecord& record = walk.records.emplace_back();
        record.number = std::to_string(number);
        record.value = std::move(field.value);
        record.unit = std::move(info.unit);
        record.description = std::move(info.description);
        AppendHexRendering(record.difDife, area.subspan(position, vifPosition - position));
        record.vif = HexByte(vif);
        AppendHexRendering(record.vife, area.subspan(vifPosition + 1, last - vifPosition));
        record.function = std::move(field.function);
        record.kind = field.kind;
        record.quantity = field.quantity;
        record.text = std::move(field.text);
        record.unitCode = info.unitCode;
        const RecordAddress address = DecodeRecordAddress(area.subspan(position, vifPosition - position));
        record.storage = address.storage;
        record.tariff = address.tariff;
        record.subunit = address.subunit;
        record.valueFunction = address.function;
        if (settings.fullRead) {
            walk.reportLog.push_back(Joined("DIF,DIFE=", record.difDife, "; VIF, VIFE=", record.vif, " ", record.vife, "; ",
                                            record.function, ", ", record.value, " ", record.unit, ", ",
                                            record.description));
        }
        ReportGridRow& row = walk.reportRows.emplace_back();
        row[0] = record.function;
        row[1] = record.value;
        row[2] = record.unit;
        row[3] = record.description;

        position = dataPosition + field.length;
        ++number;
    }
    return walk;
}

} // namespace veltro
