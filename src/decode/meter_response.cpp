#include "decode/meter_response.h"

#include <algorithm>
#include <cstdlib>

#include "decode/joined.h"
#include "decode/maker_decoders.h"
#include "decode/number_format.h"
#include "mbus/frames.h"
#include "mbus/hex.h"

namespace veltro {
namespace {

constexpr std::size_t kZpaFirstData = 23;
constexpr std::size_t kZpaSecondData = 33;
constexpr int kZpaPrecision = 8;

bool IsAdditionalUnit(const std::string& unit) {
    return std::any_of(kAdditionalValueUnits.begin(), kAdditionalValueUnits.end(),
                       [&](std::string_view accepted) { return unit == accepted; });
}

std::optional<double> ParseNumber(const std::string& text, char separator) {
    if (text.empty()) return std::nullopt;
    std::string normal = text;
    std::replace(normal.begin(), normal.end(), separator, '.');
    char* end = nullptr;
    const double value = std::strtod(normal.c_str(), &end);
    if (end == normal.c_str() || *end != '\0') return std::nullopt;
    return value;
}

RecordWalkSettings WalkSettings(const DecodeSettings& settings) {
    return {settings.fullRead, settings.decodeApator, settings.decimalSeparator};
}

// The full read: header lines and row, every record, and the time stamp; the meter table is not touched.
void FullRead(MeterResponse& result, std::span<const std::uint8_t> response, const DecodeSettings& settings) {
    RecordWalk walk = DecodeRecords(response, WalkSettings(settings));
    // Both lists sized once: the header's lines and row, the records', and the time stamp's.
    result.report.log.reserve(walk.reportLog.size() + 4);
    result.report.rows.reserve(walk.reportRows.size() + 3);

    const TelegramHeader& h = *result.header;
    const std::string access = std::to_string(h.accessNumber);
    result.report.log.push_back(Joined("ID:", h.id, ", Mfr: ", h.manufacturer, ", Main medium: ", h.medium));
    result.report.log.push_back(Joined("Access counter: ", access, ", Status: ", h.status, ", Model: ", h.model));
    result.report.rows.push_back({Joined("ID:", h.id), Joined("Mfr:", h.manufacturer), Joined("Main medium: ", h.medium),
                                  Joined("Access Counter: ", access, ", Status: ", h.status, ", Model: ", h.model), ""});

    for (auto& line : walk.reportLog) result.report.log.push_back(std::move(line));
    for (auto& line : walk.log) result.log.push_back(std::move(line));
    for (auto& row : walk.reportRows) result.report.rows.push_back(std::move(row));
    result.records = std::move(walk.records);
    result.recordListHasTrailingEmptyRow = walk.trailingEmptyRow;
    result.moreRecordsPending = walk.moreRecordsPending;

    const std::string stamp = Joined("Decoded at ", settings.localTime, ", ", settings.localDate);
    result.report.log.push_back(stamp);
    result.report.log.emplace_back();
    result.report.rows.push_back({stamp, "", "", "", ""});
    result.report.rows.push_back({});
    result.showReport = true;
    result.valid = true;
}

// The ZPA path: two energy registers at fixed positions, summed into the main value.
bool ZpaRead(MeterResponse& result, std::span<const std::uint8_t> response, const DecodeSettings& settings) {
    const char separator = settings.decimalSeparator;
    FixedRecord first = DecodeFixedRecord(response, kZpaFirstData, separator);
    FixedRecord second = DecodeFixedRecord(response, kZpaSecondData, separator);
    for (auto* record : {&first, &second})
        for (auto& line : record->log) result.log.push_back(std::move(line));
    const auto a = ParseNumber(first.value, separator);
    const auto b = ParseNumber(second.value, separator);
    if (!a || !b) {
        result.log.emplace_back("Unknown exception decoding ZPA meter...");
        return false;
    }
    // The sum as precise as the wider register, so two 12-digit registers keep their last decimals.
    const int precision = std::max({kZpaPrecision, first.precision, second.precision});
    result.mainValue = FormatFixed(*a + *b, precision, 3, separator);
    result.mainUnit = second.unit;
    result.additionalSlots[0] = FormatFixed(*a, precision, 3, separator);
    result.additionalSlots[1] = FormatFixed(*b, precision, 3, separator);
    return true;
}

void ChooseMainAndAdditional(MeterResponse& result, const DecodeSettings& settings) {
    TelegramHeader& h = *result.header;
    std::optional<std::size_t> mainRow;
    for (std::size_t i = 0; i < result.records.size() && !mainRow; ++i) {
        const auto& unit = result.records[i].unit;
        if (std::find(h.preferredUnits.begin(), h.preferredUnits.end(), unit) != h.preferredUnits.end()) mainRow = i;
    }
    result.mainRecord = mainRow;
    if (mainRow) {
        result.mainValue = result.records[*mainRow].value;
        result.mainUnit = result.records[*mainRow].unit;
        if (h.manufacturer == "BMT" && h.preferredUnits[0] == "m3") h.model = "MB1/MB2";
    }

    // Each slot takes the next record after the previous slot's that carries an additional unit.
    const auto count = static_cast<std::size_t>(std::clamp(settings.additionalCount, 0, kMaxAdditionalValues));
    std::size_t slot = 0;
    for (std::size_t i = 0; i < result.records.size() && slot < count; ++i) {
        if (mainRow && i == *mainRow) continue;
        const auto& record = result.records[i];
        if (!IsAdditionalUnit(record.unit)) continue;
        // "value unit", cut to the slot's length while it is put together rather than after.
        std::string text;
        for (std::string_view part : {std::string_view(record.value), std::string_view(" "), std::string_view(record.unit)})
            text.append(part.substr(0, kAdditionalValueLength - text.size()));
        result.additionalSlots[slot++] = std::move(text);
    }
}

MeterTableRow TableRow(const MeterResponse& result, const DecodeSettings& settings) {
    const TelegramHeader& h = *result.header;
    MeterTableRow row;
    row.columns = {h.id, std::to_string(h.primaryAddress), h.manufacturer, result.mainValue, result.mainUnit,
                   h.medium, settings.localTime, settings.localDate, h.status, h.pulse, h.model, ""};
    if (h.battery != "0" && !h.battery.empty()) row.battery = h.battery;
    const int count = std::clamp(settings.additionalCount, 0, kMaxAdditionalValues);
    row.additional.assign(result.additionalSlots.begin(), result.additionalSlots.begin() + count);
    return row;
}

} // namespace

MeterResponse DecodeMeterResponse(std::span<const std::uint8_t> response, const DecodeSettings& settings) {
    MeterResponse result;
    std::string respond = "Respond: ";
    AppendHexRendering(respond, response);
    result.log.push_back(std::move(respond));
    if (response.size() < frame::kShortestLongFrame) return result;

    FrameValidation validation = ValidateLongFrame(response);
    for (auto& line : validation.log) result.log.push_back(std::move(line));
    if (!validation.valid) return result;

    HeaderDecoding header = DecodeTelegramHeader(response, settings.decimalSeparator);
    for (auto& line : header.log) result.log.push_back(std::move(line));
    if (!header.header) {
        result.log.push_back("Unexpected error in the telegram - " + header.error);
        return result;
    }
    result.header = std::move(header.header);

    if (settings.fullRead) {
        FullRead(result, response, settings);
        return result;
    }

    if (result.header->manufacturer == "ZPA") {
        if (!ZpaRead(result, response, settings)) return result;
        result.recordListHasTrailingEmptyRow = true;
    } else {
        RecordWalk walk = DecodeRecords(response, WalkSettings(settings));
        for (auto& line : walk.log) result.log.push_back(std::move(line));
        result.report.rows = std::move(walk.reportRows);
        result.records = std::move(walk.records);
        result.recordListHasTrailingEmptyRow = walk.trailingEmptyRow;
        result.moreRecordsPending = walk.moreRecordsPending;
        ChooseMainAndAdditional(result, settings);
    }
    result.tableRow = TableRow(result, settings);
    result.valid = true;
    return result;
}

ValueList DecodeValueList(std::span<const std::uint8_t> response, const DecodeSettings& settings) {
    ValueList list;
    FrameValidation validation = ValidateLongFrame(response);
    list.log = std::move(validation.log);
    if (!validation.valid) return list;
    RecordWalk walk = DecodeRecords(response, WalkSettings(settings));
    for (auto& line : walk.log) list.log.push_back(std::move(line));
    for (const auto& record : walk.records) list.values.push_back(record.value);
    if (walk.trailingEmptyRow) list.values.emplace_back();
    list.valid = true;
    return list;
}

} // namespace veltro
