#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "meters/meter_table.h"

namespace veltro {

// Export: every data row (the trailing empty row included) as one line, each cell followed by the
// separator, no header line. In the value column only the decimal mark the table was written with
// (the system's) becomes the configured decimal separator; signs, digits, exponents and texts stay.
std::string ExportTableText(const MeterTable& table, char separator, char decimalSeparator, char systemDecimalMark);

inline constexpr std::size_t kImportFieldLength = 50;
inline constexpr std::size_t kImportMaxFields = 20;

struct ImportedTable {
    std::vector<std::vector<std::string>> rows;
    bool tooManyFields = false;  // a line held more than 20 fields: the import stopped before it
    bool truncatedAtCapacity = false;
};

// Import: fields end at each separator (characters after the last one are ignored), cut to 50
// characters; at most 20 fields a line. CR LF and LF line ends both read.
ImportedTable ParseImportText(std::string_view text, char separator);

inline constexpr const char* kTooManyFieldsMessage =
    "You are trying to import too many data!!!\nCorrect csv file and try again!";
inline constexpr const char* kWrongImportFileMessage = "You chose wrong file for import!\nContact administrator!";
inline constexpr const char* kExportOpenFailedMessage = "File cannot be written or open!\nContact administrator.";
inline constexpr const char* kExportWriteFailedMessage = "File cannot be written, no rights!\nContact administrator.";

} // namespace veltro

namespace veltro {
// Puts an imported file into the table (which the caller has read in full first, so a file that cannot
// be read never touches the table). After a line with too many fields the rows before it stay,
// followed by one empty row.
void ApplyImport(MeterTable& table, const ImportedTable& imported);
} // namespace veltro
