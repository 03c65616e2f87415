#include "decode/maker_decoders.h"

#include "decode/number_format.h"
#include "decode/vif_table.h"
#include "mbus/byte_reader.h"

namespace veltro {
namespace {

struct ApatorPosition {
    std::size_t offset = 0;
    bool found = false;
};

ApatorPosition ApatorVolumeOffset(std::uint8_t lengthField) {
    if (lengthField < 0x40) return {12, true};
    if (lengthField >= 0x41 && lengthField <= 0x7F) return {29, true};
    return {};
}

constexpr int kFixedPrecision = 8;
// A 12-digit BCD register with its three decimals.
constexpr int kTwelveDigitPrecision = 15;

} // namespace

ApatorOutcome DecodeApatorVolume(std::span<const std::uint8_t> frame, std::span<const std::uint8_t> recordArea,
                                 std::size_t difPosition, int recordNumber, const RecordWalkSettings& settings) {
    ApatorOutcome outcome;
    if (!settings.decodeApator || frame.size() < 13 || frame[11] != 0x01 || frame[12] != 0x06) return outcome;
    const ApatorPosition position = ApatorVolumeOffset(frame[1]);
    if (!position.found) {
        outcome.endsWalk = true;
        return outcome;
    }
    ByteReader reader(recordArea, std::min(difPosition + position.offset, recordArea.size()));
    const auto volume = difPosition + position.offset <= recordArea.size() ? reader.readLittleEndian(4) : std::nullopt;
    if (!volume) {
        outcome.log.push_back("Exception Apator - the volume lies past the end of the manufacturer data");
        outcome.endsWalk = true;
        return outcome;
    }
    DecodedRecord record;
    record.number = std::to_string(recordNumber + 1);
    record.value = FormatScaled(static_cast<std::int64_t>(*volume), -3, kFixedPrecision, 3, settings.decimalSeparator);
    record.unit = "m3";
    record.description = "Apator";
    record.kind = RecordValueKind::Number;
    record.quantity = ScaledQuantity(static_cast<std::int64_t>(*volume), -3);
    record.unitCode = "m3";
    outcome.record = std::move(record);
    return outcome;
}

FixedRecord DecodeFixedRecord(std::span<const std::uint8_t> frame, std::size_t dataPosition, char decimalSeparator) {
    FixedRecord result;
    const auto difByte = dataPosition >= 4 ? ByteAt(frame, dataPosition - 4) : std::nullopt;
    const auto vifByte = dataPosition >= 2 ? ByteAt(frame, dataPosition - 2) : std::nullopt;
    if (!difByte || !vifByte) return result;
    const VifInfo info = LookupVif(static_cast<std::uint8_t>(*vifByte & 0x0F));

    struct Reading {
        std::size_t length;
        bool bcd;
        bool isSigned;
    };
    std::optional<Reading> reading;
    switch (*difByte & 0x0F) {
    case 0x1: reading = Reading{1, false, false}; break;
    case 0x2: reading = Reading{2, false, false}; break;
    case 0x3: reading = Reading{3, false, false}; break;
    case 0x4:
    case 0x5:
    case 0x6: reading = Reading{4, false, true}; break;
    case 0x9: reading = Reading{1, true, false}; break;
    case 0xA: reading = Reading{2, true, false}; break;
    case 0xB: reading = Reading{3, true, false}; break;
    case 0xC: reading = Reading{4, true, false}; break;
    case 0xE: reading = Reading{6, true, false}; break;
    default: break;
    }
    if (!reading) {
        result.log.push_back("Unrecognizable DIF value - not decoded, 1...");
        return result;
    }
    // The data must lie before the check sum; anything else cannot be converted.
    const std::span<const std::uint8_t> area = frame.size() >= 2 ? frame.first(frame.size() - 2) : frame.first(0);
    ByteReader reader(area, std::min(dataPosition, area.size()));
    const auto bytes = dataPosition <= area.size() ? reader.readBytes(reading->length) : std::nullopt;
    if (!bytes) return result;

    std::int64_t number = 0;
    if (reading->bcd) {
        for (std::size_t i = bytes->size(); i-- > 0;) {
            for (int nibble : {(*bytes)[i] >> 4, (*bytes)[i] & 0x0F}) {
                if (nibble > 9) return result;
                number = number * 10 + nibble;
            }
        }
    } else {
        std::uint64_t raw = 0;
        for (std::size_t i = 0; i < bytes->size(); ++i) raw |= std::uint64_t{(*bytes)[i]} << (8 * i);
        number = reading->isSigned ? static_cast<std::int32_t>(static_cast<std::uint32_t>(raw))
                                   : static_cast<std::int64_t>(raw);
    }
    // Eight significant digits would cut a 12-digit register (999999999.999 kWh read as 1E9).
    result.precision = reading->length == 6 ? kTwelveDigitPrecision : kFixedPrecision;
    result.value = FormatScaled(number, info.exponent, result.precision, 3, decimalSeparator);
    result.unit = info.unit;
    return result;
}

} // namespace veltro
