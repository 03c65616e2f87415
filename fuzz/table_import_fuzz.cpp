// libFuzzer harness for the meter table's import and export (seeds in fuzz/corpus/table_import/). Byte 0
// picks the separator; the rest is the file. Whatever the file holds, the table stays within its
// capacity and its cells within the field length, and what the program exports it imports again: a
// second export of the re-imported table is the first export, byte for byte.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "meters/table_file.h"
#include "require.h"

using namespace veltro;

namespace {

constexpr char kSeparators[] = {';', ',', '\t', ' ', '|', '.'};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const char separator = kSeparators[data[0] % sizeof kSeparators];
    const char decimal = separator == ',' ? '.' : ',';
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

    const ImportedTable imported = ParseImportText(text, separator);
    if (imported.refusal != ImportRefusal::None) Require(imported.rows.empty());
    Require(imported.rows.size() <= MeterTable::kMaxRows - 1);
    for (const auto& row : imported.rows) {
        Require(row.size() <= kImportMaxFields);
        for (const auto& cell : row) Require(cell.size() <= kImportFieldLength);
    }

    MeterTable table(static_cast<int>(data[0] % 16));
    ApplyImport(table, imported);
    Require(table.rowCount() >= 2 && table.rowCount() <= MeterTable::kMaxRows);

    const std::string exported = ExportTableText(table, separator, decimal, decimal);
    const ImportedTable again = ParseImportText(exported, separator);
    Require(again.refusal == ImportRefusal::None && !again.tooManyFields);
    MeterTable back(table.additionalCount());
    ApplyImport(back, again);
    Require(ExportTableText(back, separator, decimal, decimal) == exported);
    return 0;
}
