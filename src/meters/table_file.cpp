#include "meters/table_file.h"

#include <algorithm>
#include <utility>

namespace veltro {
namespace {

// What no text file holds: NUL and the other control characters but TAB, CR and LF.
bool IsBinary(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (byte < 0x20 && c != '\t' && c != '\r' && c != '\n') || byte == 0x7F;
}

} // namespace

std::string ExportCell(std::string value, char separator) {
    // A blank cannot stand in for a blank separator.
    const char standIn = separator == ' ' ? '_' : ' ';
    for (char& c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == separator || byte < 0x20 || byte == 0x7F) c = standIn;
    }
    return value;
}

std::string ExportTableText(const MeterTable& table, char separator, char decimalSeparator, char systemDecimalMark) {
    std::string text;
    for (int r = 1; r < table.rowCount(); ++r) {
        for (int c = 0; c < table.columnCount(); ++c) {
            std::string value = table.cell(r, c);
            if (c == MeterTable::kValueColumn) {
                for (char& ch : value)
                    if (ch == systemDecimalMark) ch = decimalSeparator;
            }
            text += ExportCell(std::move(value), separator);
            text += separator;
        }
        text += '\n';
    }
    return text;
}

ImportedTable ParseImportText(std::string_view text, char separator, std::size_t maxRows) {
    ImportedTable result;
    if (text.size() > kMaxImportFileSize) {
        result.refusal = ImportRefusal::TooLarge;
        return result;
    }
    if (std::any_of(text.begin(), text.end(), IsBinary)) {
        result.refusal = ImportRefusal::NotText;
        return result;
    }
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

        std::vector<std::string> fields;
        std::size_t fieldStart = 0;
        for (std::size_t i = 0; i < line.size(); ++i) {
            if (line[i] != separator) continue;
            if (fields.size() == kImportMaxFields) {
                result.tooManyFields = true;
                return result;
            }
            fields.emplace_back(line.substr(fieldStart, std::min(i - fieldStart, kImportFieldLength)));
            fieldStart = i + 1;
        }
        if (result.rows.size() >= maxRows) {
            result.truncatedAtCapacity = true;
            return result;
        }
        result.rows.push_back(std::move(fields));
    }
    return result;
}

} // namespace veltro

namespace veltro {
void ApplyImport(MeterTable& table, const ImportedTable& imported) {
    if (imported.refusal != ImportRefusal::None) return;
    table.replaceRows(imported.rows);
    if (imported.tooManyFields && !imported.rows.empty()) table.addRowAtEnd();
}
} // namespace veltro
