#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace veltro {

// What a record's value is, for readers that want it typed rather than as the shown text.
enum class RecordValueKind { None, Number, Date, DateTime, Text };
// DIF bits 4-5 (EN 13757-3 table 5).
enum class RecordFunction { Instantaneous, Maximum, Minimum, ValueDuringError };

std::string_view RecordValueKindCode(RecordValueKind kind);    // "none" "number" "date" "datetime" "text"
std::string_view RecordFunctionCode(RecordFunction function);  // "instantaneous" "maximum" "minimum" "error"

// One data record as the record list shows it. The byte columns are upper-case hex pairs; the DIF/DIFE
// and VIFE texts put a blank after every pair ("84 10 "), the VIF text is the two digits alone.
struct DecodedRecord {
    std::string number;  // 1, 2, ... in telegram order
    std::string value;
    std::string unit;
    std::string description;
    std::string difDife;
    std::string vif;
    std::string vife;
    std::string function;  // the function/storage/tariff text of the record

    // The same value typed. None for exceptions, "No data", manufacturer-specific data, NaN or infinite
    // reals and anything else that cannot be read.
    RecordValueKind kind = RecordValueKind::None;
    double quantity = 0.0;      // kind Number: the value in unitCode, scaled and signed as shown
    std::string text;           // Date "YYYY-MM-DD"; DateTime "YYYY-MM-DDTHH:MM"; Text: the characters/digits
    std::string unitCode;       // short stable unit code ("kWh", "m3", "degC", ...), empty when none
    std::uint64_t storage = 0;  // DIF bit 6 and every DIFE's storage nibble
    int tariff = 0;             // every DIFE's tariff bits
    int subunit = 0;            // every DIFE's subunit bit
    RecordFunction valueFunction = RecordFunction::Instantaneous;  // DIF bits 4-5
};

// A row of the detailed report's grid, five columns; a record's row holds its function, value, unit and
// description, the fifth column stays empty.
using ReportGridRow = std::array<std::string, 5>;

struct RecordWalkSettings {
    bool fullRead = false;        // adds the per-record lines of the report log
    bool decodeApator = false;    // the Apator volume inside the manufacturer-specific block
    char decimalSeparator = '.';
};

struct RecordWalk {
    std::vector<DecodedRecord> records;
    // The record list ends with an empty row, except when the Apator row took that row's place.
    bool trailingEmptyRow = true;
    std::vector<ReportGridRow> reportRows;    // one per record, full read or not
    std::vector<std::string> reportLog;       // only during a full read
    std::vector<std::string> log;             // communication-log lines (the Apator exception)
    bool moreRecordsPending = false;          // the manufacturer-specific DIF was 1Fh
};

// Walks the data records of a validated RSP_UD from byte 19 up to the byte before the check sum.
// A DIFE/VIFE chain or a header that reaches the check sum ends the walk without a row; a data field
// that runs past it is decoded from the bytes inside the record area only and reads as its exception text.
RecordWalk DecodeRecords(std::span<const std::uint8_t> frame, const RecordWalkSettings& settings);

struct DataField {
    std::string value;
    std::string function;
    std::size_t length = 0;  // bytes the field occupies from the data position
    RecordValueKind kind = RecordValueKind::None;
    double quantity = 0.0;   // kind Number, scaled by 10^exponent like `value`
    std::string text;        // kinds Date, DateTime and Text
};

// Decodes the data field at `dataPosition` of the record whose DIF is at `difPosition`, reading only inside
// `recordArea`. `vif` is the VIF byte as received; integer and BCD values are scaled by 10^exponent.
DataField DecodeDataField(std::span<const std::uint8_t> recordArea, std::size_t difPosition, std::size_t dataPosition,
                          std::uint8_t vif, int exponent, char decimalSeparator = '.');

// "Instantenous value " ... for the DIF's high nibble, with the first DIFE's storage and tariff for 8..F.
std::string FunctionText(std::uint8_t dif, std::uint8_t firstDife);

// Storage number, tariff and subunit of a whole DIF/DIFE chain (EN 13757-3): storage = DIF bit 6 |
// DIFE_i low nibble << (1 + 4i), tariff = DIFE_i bits 4-5 << 2i, subunit = DIFE_i bit 6 << i.
struct RecordAddress {
    std::uint64_t storage = 0;
    int tariff = 0;
    int subunit = 0;
    RecordFunction function = RecordFunction::Instantaneous;
};
RecordAddress DecodeRecordAddress(std::span<const std::uint8_t> difChain);

} // namespace veltro
