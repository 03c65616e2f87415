#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/language.h"
#include "devices/device_table.h"
#include "devices/rxv_kt.h"
#include "meters/table_file.h"

namespace veltro {

class MeterTable;

// `Grid_rxv`: "ID ", "Addr. ", "MFR ", "Version ", "Device ", "Medium ", "Note ", "Auxiliary ID ",
// "Telegram ", "Time and Date ", the same in every language; 1 to 450 data rows.
std::vector<std::string> ReceiverTitles(Language language);
DeviceTable NewReceiverTable(Language language = Language::English);

// The key filter: in columns 0, 1, 3, 4 and 6 only digits, backspace, line feed and carriage return.
bool ReceiverKeyAccepted(int column, char key);

inline constexpr std::string_view kReceiverTableFull = "Table is full, no more rows can be added...";
inline constexpr std::string_view kReceiverExportFile = "rxv_data.csv";

// The receiver table with the page's `ReceiverRow` (the row of the last selected cell, 0 none) and the
// `ContextMenuRXV` operations.
class ReceiverTable {
public:
    explicit ReceiverTable(Language language = Language::English) : m_table(NewReceiverTable(language)) {}

    DeviceTable& table() { return m_table; }
    const DeviceTable& table() const { return m_table; }

    int receiverRow() const { return m_receiverRow; }
    void selectCell(int row);  // a header or out-of-range row selects none
    // `Label45`: "Address " and column 1, or "Address unknown"; `Label46`: "ID: " and column 0.
    std::string label45() const;
    std::string label46() const;

    void selectAll(bool selected) { m_table.selectAll(selected); }
    bool addRow() { return m_table.addRow(); }  // false at 450 rows
    // "Delete Row": `ReceiverRow` removed (or emptied when alone); `ReceiverRow` stays on a data row.
    void deleteRow();
    void clearTable();

private:
    DeviceTable m_table;
    int m_receiverRow = 0;
};

// One tick of the acquisition: what was read from the port since the last tick. `receivedAt` is the
// text of column 9 ("09:07:05, 05.03.2026"). "Table is full..." is logged once per acquisition.
struct AcquisitionTick {
    bool purge = false;  // purge the port in both directions
    int row = 0;         // the row filled, 0 none
    std::vector<std::string> log;
};
class ReceiverAcquisition {
public:
    AcquisitionTick tick(DeviceTable& table, std::span<const std::uint8_t> received, bool excludeIdentical,
                         std::string_view receivedAt);

private:
    bool m_fullReported = false;
};

// Writes an acquired meter into the table: the lone empty row, else a new row. Returns the row, or 0
// when "Exclude identical" found its ID in column 0 or the table is full (`full`).
struct AcquiredPlacement {
    int row = 0;
    bool full = false;
};
AcquiredPlacement PlaceAcquiredMeter(DeviceTable& table, const AcquiredMeter& meter, bool excludeIdentical,
                                     std::string_view receivedAt);

// "Get from m-bus table": one row per meter row holding anything, columns 0, 1, 2 and 5 copied. The
// table is replaced once all rows are gathered; past 450 rows the rest is left out and `log` has
// "Table is full..." once.
struct ReceiverFill {
    int rows = 0;
    std::vector<std::string> log;
};
ReceiverFill FillReceiverFromMeters(DeviceTable& receiver, const MeterTable& meters);

// "Export": the table export format (each cell and a separator, one line a row).
std::string ExportReceiverText(const DeviceTable& table, char separator);
// "Import": a file as `ParseImportText` reads it, at most 450 rows. A refused file or a line of more
// than 10 fields leaves the table as it was; past 450 lines the first 450 are taken. Either of the last
// two asks for "too many data" (`tooManyData`).
ImportedTable ParseReceiverImport(std::string_view text, char separator);
struct ReceiverImport {
    bool applied = false;
    bool tooManyData = false;
};
ReceiverImport ApplyReceiverImport(ReceiverTable& receiver, const ImportedTable& imported);

} // namespace veltro
