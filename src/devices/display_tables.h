#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/language.h"
#include "devices/device_table.h"
#include "devices/display_answers.h"
#include "meters/table_file.h"

namespace veltro {

class MeterTable;

// `Grid_ldu`: 13 columns, titles "ID ", "Addr. ", "Unit ", "Start ", "Mult/Div ", "User numb. ", "Free text ",
// "Total ", "Tarr 0 ".."Tarr 3 ", "Free text second row (TFT) " (Italian: "Unita ", "Num. utente ", "Testo "
// for 2, 5 and 6); 250 entries.
DeviceTable NewDisplayTable(Language language = Language::English);
std::vector<std::string> DisplayTitles(Language language);
// `Grid_historical`: the display table's columns 0..11, then the twelve months in the language's names;
// 250 entries.
DeviceTable NewReadingsTable(Language language);
std::vector<std::string> ReadingsTitles(Language language);

inline constexpr std::string_view kDisplayTableFull = "Table is full, no more rows can be added...";

// "Get data from m-bus devices": the display table rebuilt from the meter table, one row per meter row
// up to 250 entries. ID, address, unit; for rows with an address also the value with one decimal
// ("0" when empty), "1/1" for pulse "MB1", "10/1" for "MB2", else "0/0", and a running user number.
// `full` is set when meter rows were left out.
struct DisplayFill {
    int rows = 0;
    bool full = false;
};
DisplayFill FillDisplayFromMeters(DeviceTable& display, const MeterTable& meters);

// "Data from display window": the readings table cleared and given columns 0..7 of each display row.
void FillReadingsFromDisplay(DeviceTable& readings, const DeviceTable& display);

// "Sort table" of the readings: by column 1 (1..250) or column 5 (1..9999), ascending, stable among equal
// keys, each row moved whole with its flag; rows without a key in range follow, in their order.
void SortReadings(DeviceTable& readings, bool byAddress);

// The export of either table: the meter-table export's format without the value conversion.
std::string ExportDeviceTableText(const DeviceTable& table, char separator);

// The display import: both tables cleared, then each line fills a row of both. Up to 24 fields a line;
// a line of at most 13 fields fills display columns 0..12 and readings 0..11; a longer one fills display
// 0..11 and readings 0..23. At most 250 rows: `truncatedAtCapacity` says more lines were left out. A line
// of more than 24 fields ends the import like one too many for the meter table: the rows before it stay,
// followed by one empty row, and `tooManyFields` asks for the message. A refused file (see
// `ParseImportText`) leaves both tables alone.
inline constexpr std::size_t kDisplayImportMaxFields = 24;
struct DisplayImport {
    int rows = 0;
    bool tooManyFields = false;
    bool truncatedAtCapacity = false;
};
DisplayImport ApplyDisplayImport(DeviceTable& display, DeviceTable& readings, const ImportedTable& imported);

// Decoded answers written into the rows whose address cell equals `address` (both tables where the
// column exists in both).
void ApplyEntryValues(DeviceTable& display, DeviceTable& readings, std::string_view address, const EntryValues& values);
void ApplyUserInfo(DeviceTable& display, DeviceTable& readings, std::string_view address, const UserInfo& info);
void ApplyTariff(DeviceTable& display, DeviceTable& readings, std::string_view address, int tariff,
                 const std::string& value);
void ApplyHistoryValue(DeviceTable& readings, std::string_view address, const HistoryValue& value);
// "Read data ": both tables emptied and given one row per active address (column 1).
void ApplyActiveAddresses(DeviceTable& display, DeviceTable& readings, const std::vector<int>& addresses);

} // namespace veltro
