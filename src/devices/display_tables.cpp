#include "devices/display_tables.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

#include "decode/number_format.h"
#include "devices/display_commands.h"
#include "meters/meter_table.h"
#include "meters/table_file.h"

namespace veltro {
namespace {

struct Titles {
    std::string_view english, italian;
};
constexpr std::array<Titles, kDisplayColumns> kDisplayTitles{{
    {"ID ", "ID "}, {"Addr. ", "Addr. "}, {"Unit ", "Unita "}, {"Start ", "Start "}, {"Mult/Div ", "Mult/Div "},
    {"User numb. ", "Num. utente "}, {"Free text ", "Testo "}, {"Total ", "Total "}, {"Tarr 0 ", "Tarr 0 "},
    {"Tarr 1 ", "Tarr 1 "}, {"Tarr 2 ", "Tarr 2 "}, {"Tarr 3 ", "Tarr 3 "},
    {"Free text second row (TFT) ", "Free text second row (TFT) "},
}};
constexpr std::array<std::string_view, 12> kItalianMonths{"Gen", "Feb", "Mar", "Apr", "Mag", "Giu",
                                                          "Lug", "Ago", "Set", "Ott", "Nov", "Dic"};
constexpr int kSharedColumns = 12;  // the readings table's columns 0..11 are the display table's
static_assert(kReadingsFirstMonthColumn == kSharedColumns && kReadingsColumns == kSharedColumns + 12);

// The meter table's unit column; the others have their names there.
constexpr int kMeterIdColumn = 0, kMeterUnitColumn = 4;
// A display import line that fills the display's second-row text; longer lines carry the months.
constexpr std::size_t kDisplayLineFields = kDisplayColumns;

// Keys of the readings sort: a number in 1..high, nothing for any other text.
std::optional<int> SortKey(const std::string& cell, int high) {
    if (cell.empty() || cell.size() > 4) return std::nullopt;
    int value = 0;
    for (char c : cell) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value >= 1 && value <= high ? std::optional<int>(value) : std::nullopt;
}

// The meter's value as the display's initial value: one decimal, seven significant digits. A text that
// is no number stays as it is, so the write cycle reports it instead of sending a made-up 0.
std::string InitialFromMeterValue(std::string value) {
    if (value.empty()) return "0";
    std::replace(value.begin(), value.end(), ',', '.');
    double number = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (error != std::errc{} || end != value.data() + value.size() || !std::isfinite(number)) return value;
    return FormatFixed(number, 7, 1);
}

std::string_view PulseToMultDiv(const std::string& pulse) {
    if (pulse == "MB1") return "1/1";
    if (pulse == "MB2") return "10/1";
    return "0/0";
}

void SetInRows(DeviceTable& table, std::string_view address, int column, const std::string& text) {
    for (int row : table.rowsWhere(kDisplayAddressColumn, address)) table.setCell(row, column, text);
}

} // namespace

std::vector<std::string> DisplayTitles(Language language) {
    std::vector<std::string> titles;
    for (const Titles& t : kDisplayTitles) titles.emplace_back(language == Language::Italian ? t.italian : t.english);
    return titles;
}

DeviceTable NewDisplayTable(Language language) { return DeviceTable(DisplayTitles(language), kDisplayMaxEntries); }

std::vector<std::string> ReadingsTitles(Language language) {
    std::vector<std::string> titles = DisplayTitles(language);
    titles.resize(kSharedColumns);
    for (int month = 1; month <= 12; ++month)
        titles.emplace_back(language == Language::Italian ? kItalianMonths[static_cast<std::size_t>(month - 1)]
                                                          : DisplayMonthName(month));
    return titles;
}

DeviceTable NewReadingsTable(Language language) { return DeviceTable(ReadingsTitles(language), kDisplayMaxEntries); }

DisplayFill FillDisplayFromMeters(DeviceTable& display, const MeterTable& meters) {
    std::vector<std::vector<std::string>> rows;
    int userNumber = 0;
    for (int r = 1; r < meters.rowCount() && rows.size() < kDisplayMaxEntries; ++r) {
        std::vector<std::string> cells(kDisplayColumns);
        cells[kDisplayIdColumn] = meters.cell(r, kMeterIdColumn);
        cells[kDisplayAddressColumn] = meters.cell(r, MeterTable::kAddressColumn);
        cells[kDisplayUnitColumn] = meters.cell(r, kMeterUnitColumn);
        if (!cells[kDisplayAddressColumn].empty()) {
            cells[kDisplayStartColumn] = InitialFromMeterValue(meters.cell(r, MeterTable::kValueColumn));
            cells[kDisplayMultDivColumn] = PulseToMultDiv(meters.cell(r, MeterTable::kPulseColumn));
            cells[kDisplayUserColumn] = std::to_string(++userNumber);
        }
        rows.push_back(std::move(cells));
    }
    const int kept = display.replaceRows(rows);
    return {kept, meters.rowCount() - 1 > kept};
}

void FillReadingsFromDisplay(DeviceTable& readings, const DeviceTable& display) {
    std::vector<std::vector<std::string>> rows;
    for (int r = 1; r < display.rowCount(); ++r) {
        std::vector<std::string> cells = display.rowCells(r);
        cells.resize(kDisplayTotalColumn + 1);
        rows.push_back(std::move(cells));
    }
    readings.replaceRows(rows);
}

void SortReadings(DeviceTable& readings, bool byAddress) {
    const int column = byAddress ? kDisplayAddressColumn : kDisplayUserColumn;
    const int high = byAddress ? kDisplayMaxEntries : 9999;
    readings.stableSortRows([&](const std::vector<std::string>& a, const std::vector<std::string>& b) {
        const auto ka = SortKey(a[static_cast<std::size_t>(column)], high);
        const auto kb = SortKey(b[static_cast<std::size_t>(column)], high);
        return ka && (!kb || *ka < *kb);
    });
}

std::string ExportDeviceTableText(const DeviceTable& table, char separator) {
    std::string text;
    for (int r = 1; r < table.rowCount(); ++r) {
        for (int c = 0; c < table.columnCount(); ++c) {
            text += ExportCell(table.cell(r, c), separator);
            text += separator;
        }
        text += '\n';
    }
    return text;
}

DisplayImport ApplyDisplayImport(DeviceTable& display, DeviceTable& readings, const ImportedTable& imported) {
    DisplayImport result;
    if (imported.refusal != ImportRefusal::None) return result;
    std::vector<std::vector<std::string>> displayRows, readingRows;
    result.tooManyFields = imported.tooManyFields;
    for (const auto& fields : imported.rows) {
        if (fields.size() > kDisplayImportMaxFields) {
            result.tooManyFields = true;
            break;
        }
        if (displayRows.size() == kDisplayMaxEntries) {
            result.truncatedAtCapacity = true;
            break;
        }
        std::vector<std::string> row = fields;
        row.resize(kReadingsColumns);
        std::vector<std::string> displayRow(row.begin(), row.begin() + kDisplayColumns);
        if (fields.size() > kDisplayLineFields) displayRow[kDisplayText2Column].clear();
        else row[kDisplayText2Column].clear();
        displayRows.push_back(std::move(displayRow));
        readingRows.push_back(std::move(row));
    }
    result.truncatedAtCapacity = result.truncatedAtCapacity || (imported.truncatedAtCapacity && !result.tooManyFields);
    if (result.tooManyFields && !displayRows.empty() && displayRows.size() < kDisplayMaxEntries) {
        displayRows.emplace_back(kDisplayColumns);
        readingRows.emplace_back(kReadingsColumns);
    }
    result.rows = display.replaceRows(displayRows);
    readings.replaceRows(readingRows);
    return result;
}

void ApplyEntryValues(DeviceTable& display, DeviceTable& readings, std::string_view address, const EntryValues& values) {
    for (DeviceTable* table : {&display, &readings}) {
        SetInRows(*table, address, kDisplayUnitColumn, values.unit);
        SetInRows(*table, address, kDisplayStartColumn, values.initial);
        SetInRows(*table, address, kDisplayMultDivColumn, values.multiplierDivider);
        SetInRows(*table, address, kDisplayTotalColumn, values.total);
    }
}

void ApplyUserInfo(DeviceTable& display, DeviceTable& readings, std::string_view address, const UserInfo& info) {
    for (DeviceTable* table : {&display, &readings}) {
        SetInRows(*table, address, kDisplayUserColumn, info.userNumber);
        SetInRows(*table, address, kDisplayTextColumn, info.freeText);
    }
}

void ApplyTariff(DeviceTable& display, DeviceTable& readings, std::string_view address, int tariff,
                 const std::string& value) {
    if (tariff < 0 || tariff > 3) return;
    for (DeviceTable* table : {&display, &readings}) SetInRows(*table, address, kDisplayTariffColumn + tariff, value);
}

void ApplyHistoryValue(DeviceTable& readings, std::string_view address, const HistoryValue& value) {
    if (!value.month || *value.month < 1 || *value.month > 12) return;
    SetInRows(readings, address, kReadingsFirstMonthColumn + *value.month - 1, value.value);
}

void ApplyActiveAddresses(DeviceTable& display, DeviceTable& readings, const std::vector<int>& addresses) {
    std::vector<std::vector<std::string>> displayRows, readingRows;
    for (int address : addresses) {
        displayRows.emplace_back(kDisplayColumns)[kDisplayAddressColumn] = std::to_string(address);
        readingRows.emplace_back(kReadingsColumns)[kDisplayAddressColumn] = std::to_string(address);
    }
    display.replaceRows(displayRows);
    readings.replaceRows(readingRows);
}

} // namespace veltro
