#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "meters/meter_table.h"

namespace veltro {

// One cell as every table export writes it: the separator and control characters (CR, LF, TAB, ...)
// become a blank, or an underscore when the separator is a blank, so every row stays one line of the
// same fields and the import takes the file back.
std::string ExportCell(std::string value, char separator);

// Export: every data row (the trailing empty row included) as one line, each cell (ExportCell) followed
// by the separator, no header line. In the value column only the decimal mark the table was written with
// (the system's) becomes the configured decimal separator; signs, digits, exponents and texts stay.
std::string ExportTableText(const MeterTable& table, char separator, char decimalSeparator, char systemDecimalMark);

inline constexpr std::size_t kImportFieldLength = 50;
// The widest export this program writes: the fixed columns and every additional value.
inline constexpr std::size_t kImportMaxFields = MeterTable::kFixedColumns + kMaxAdditionalValues;
// A table export of 450 rows is far below this; a larger file is no export and is not read whole.
inline constexpr std::size_t kMaxImportFileSize = 16 * 1024 * 1024;

enum class ImportRefusal {
    None,
    TooLarge,  // more than kMaxImportFileSize bytes
    NotText,   // a NUL or another control character than TAB, CR and LF
};

struct ImportedTable {
    std::vector<std::vector<std::string>> rows;
    ImportRefusal refusal = ImportRefusal::None;  // refused files give no rows and leave the table alone
    bool tooManyFields = false;  // a line held more than kImportMaxFields fields: the import stopped before it
    bool truncatedAtCapacity = false;
};

// Import: fields end at each separator (characters after the last one are ignored), cut to 50
// characters; at most kImportMaxFields fields a line and `maxRows` lines (the meter table's 449 data
// rows unless another table is read). CR LF and LF line ends both read. Bytes above 7Fh are text
// (exports hold UTF-8 or a spreadsheet's 8-bit code page).
ImportedTable ParseImportText(std::string_view text, char separator,
                              std::size_t maxRows = MeterTable::kMaxRows - 1);

inline constexpr const char* kTooManyFieldsMessage =
    "You are trying to import too many data!!!\nCorrect csv file and try again!";
inline constexpr const char* kWrongImportFileMessage = "You chose wrong file for import!\nContact administrator!";
inline constexpr const char* kImportTooLargeMessage =
    "The file is larger than 16 MiB, it is no table export!\nChoose another file.";
inline constexpr const char* kImportNotTextMessage = "The file is not a text file!\nChoose another file.";
inline constexpr const char* kExportOpenFailedMessage = "File cannot be written or open!\nContact administrator.";
inline constexpr const char* kExportWriteFailedMessage = "File cannot be written, no rights!\nContact administrator.";

} // namespace veltro

namespace veltro {
// Puts an imported file into the table (which the caller has read in full first, so a file that cannot
// be read never touches the table); a refused file leaves it as it was. After a line with too many
// fields the rows before it stay, followed by one empty row.
void ApplyImport(MeterTable& table, const ImportedTable& imported);
} // namespace veltro
