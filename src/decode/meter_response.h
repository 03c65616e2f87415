#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "decode/records.h"
#include "decode/telegram_header.h"

namespace veltro {

inline constexpr int kMaxAdditionalValues = 15;
inline constexpr std::size_t kAdditionalSlots = 16;
inline constexpr std::size_t kAdditionalValueLength = 15;
inline constexpr std::size_t kMeterTableFixedColumns = 12;
inline constexpr std::size_t kBatteryColumn = 11;

// The settings a decode reads, captured at the moment of the call.
struct DecodeSettings {
    bool fullRead = false;          // records go to the detailed report, the meter table is not touched
    int additionalCount = 15;       // `Count`: additional value columns of the meter table (0..15)
    bool decodeApator = false;      // `Check_decodeApator`
    char decimalSeparator = '.';    // the system's in the program, "." in the C locale
    std::string localTime;          // texts of the moment of decoding, in the caller's formats
    std::string localDate;
};

// What a decode appends to the detailed report: log lines (full read only) and grid rows (always; each
// written into the grid's trailing empty row, which then grows by one).
struct ReportAppend {
    std::vector<std::string> log;
    std::vector<ReportGridRow> rows;
};

// A meter-table row as the decode writes it: columns 0..10, the additional values 1..Count after them.
// The battery column is written only when `battery` holds a voltage text: a decoded "0" and an undecoded
// battery (another manufacturer) leave the cell as it was, since it also holds the operator's AES keys.
struct MeterTableRow {
    std::array<std::string, kMeterTableFixedColumns> columns;  // column 11 unused here, see `battery`
    std::optional<std::string> battery;
    std::vector<std::string> additional;
};

struct MeterResponse {
    bool valid = false;
    std::vector<std::string> log;            // communication-log lines, "Respond: ..." first
    std::optional<TelegramHeader> header;    // absent when the response was rejected
    std::vector<DecodedRecord> records;      // the record list without its trailing empty row
    bool recordListHasTrailingEmptyRow = true;
    std::string mainValue;
    std::string mainUnit;
    // The record of `records` the main value came from; none for the ZPA path, a full read, or when no
    // record carried a preferred unit.
    std::optional<std::size_t> mainRecord;
    std::array<std::string, kAdditionalSlots> additionalSlots{};  // slot k at index k-1
    std::optional<MeterTableRow> tableRow;   // present when the meter table is to be written
    ReportAppend report;
    bool showReport = false;                 // a full read: the detailed report window opens
    bool moreRecordsPending = false;
};

// The units an additional value may carry, in this order.
inline constexpr std::array<std::string_view, 17> kAdditionalValueUnits{
    "m3", "kWh", "MWh", "mbar", "kW", "l/h", "deg. C", "GJ", "MJ", "MW", "Volts", "Volts, 10^-3",
    "On Time", "Time point", "Fabr. No.", "deg. K", "W"};

// Decodes one complete response from a wired meter: validation, header, records, the main and the
// additional values and the meter-table row (or, for a full read, the detailed report's content).
MeterResponse DecodeMeterResponse(std::span<const std::uint8_t> response, const DecodeSettings& settings);

// The reduced path used while the wireless receiver reads meters: checks (with their lines), records,
// and the value of every record-list row in order (the trailing empty row included when there is one).
struct ValueList {
    bool valid = false;
    std::vector<std::string> log;
    std::vector<std::string> values;
};
ValueList DecodeValueList(std::span<const std::uint8_t> response, const DecodeSettings& settings);

} // namespace veltro
