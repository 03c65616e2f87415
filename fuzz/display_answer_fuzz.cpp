// libFuzzer harness for the local display's texts (seeds in fuzz/corpus/display_answer/). The input is
// read as a display answer by every decoder, as an import file of the display page, as the cells of a
// row for every write-cycle setting, and through the Windows-1251 conversion both ways. Decoded texts
// must be UTF-8 that converts back to the bytes they came from; tables keep their shape and capacity;
// an imported table exports to a file that imports to the same table; a command carries no line end.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "devices/display_commands.h"
#include "devices/display_tables.h"
#include "require.h"

using namespace veltro;

namespace {

// Windows-1251 bytes to UTF-8 and back give the same bytes, but for the one code without a character
// (98h reads "?") and line ends (sent as blanks).
void RequireRoundTrip(std::string_view bytes) {
    const std::string back = Utf8ToWindows1251(Windows1251ToUtf8(bytes));
    Require(back.size() == bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char expected = bytes[i] == '\x98' ? '?' : bytes[i] == '\r' || bytes[i] == '\n' ? ' ' : bytes[i];
        Require(back[i] == expected);
    }
}

void RequireShape(const DeviceTable& table, int columns) {
    Require(table.columnCount() == columns && table.dataRowCount() >= 1 && table.dataRowCount() <= kDisplayMaxEntries);
    for (int r = 0; r < table.rowCount(); ++r) Require(table.rowCells(r).size() == static_cast<std::size_t>(columns));
}

void Answers(std::string_view input, DeviceTable& display, DeviceTable& readings) {
    const std::vector<std::string> lines = DisplayAnswerLines(input);
    for (const auto& line : lines) Require(line.find_first_of("\r\n") == std::string::npos);

    if (const auto addresses = ReadActiveAddresses(lines)) {
        Require(addresses->size() <= static_cast<std::size_t>(kDisplayMaxEntries));
        for (int a : *addresses) Require(a >= 1 && a <= kDisplayMaxEntries);
        ApplyActiveAddresses(display, readings, *addresses);
        Require(addresses->empty() || display.dataRowCount() == static_cast<int>(addresses->size()));
    }
    const std::string address = display.cell(1, kDisplayAddressColumn);
    if (const auto entry = DecodeEntryValues(lines)) {
        for (const auto* text : {&entry->unit, &entry->initial, &entry->multiplierDivider, &entry->total})
            RequireRoundTrip(Utf8ToWindows1251(*text));
        ApplyEntryValues(display, readings, address, *entry);
    }
    if (const auto user = DecodeUserInfo(lines)) ApplyUserInfo(display, readings, address, *user);
    if (const auto tariff = DecodeTariff(lines)) {
        Require(tariff->empty() || ((*tariff)[0] >= '0' && (*tariff)[0] <= '9'));
        ApplyTariff(display, readings, address, static_cast<int>(input.size() % 5), *tariff);
    }
    if (const auto history = DecodeHistoryValue(lines)) {
        Require(!history->month || (*history->month >= 1 && *history->month <= 12));
        Require(history->value.find(' ') == std::string::npos);
        ApplyHistoryValue(readings, address, *history);
    }
    if (input.size() >= 2) {
        const int latest = static_cast<unsigned char>(input[0]) % 12 + 1, chosen = static_cast<unsigned char>(input[1]) % 12 + 1;
        const int index = DisplayHistoryIndex(latest, chosen);
        Require(index >= 1 && index <= 12 && (index == 1) == (latest == chosen));
    }
    if (input.size() >= 3) Require(!DisplayMonthNumber(input.substr(0, 3)) || DisplayMonthNumber(input.substr(0, 3)) <= 12);
}

void Import(std::string_view input, DeviceTable& display, DeviceTable& readings) {
    const ImportedTable imported = ParseImportText(input, ';');
    const DisplayImport result = ApplyDisplayImport(display, readings, imported);
    Require(result.rows <= kDisplayMaxEntries);
    RequireShape(display, kDisplayColumns);
    RequireShape(readings, kReadingsColumns);
    if (imported.refusal != ImportRefusal::None) return;

    const std::string exported = ExportDeviceTableText(readings, ';');
    DeviceTable display2 = NewDisplayTable(), readings2 = NewReadingsTable(Language::English);
    const DisplayImport again = ApplyDisplayImport(display2, readings2, ParseImportText(exported, ';'));
    Require(!again.tooManyFields && !again.truncatedAtCapacity);
    Require(ExportDeviceTableText(readings2, ';') == exported);

    SortReadings(readings, input.size() % 2 == 0);
    RequireShape(readings, kReadingsColumns);
}

void RowCommands(std::string_view input, const DeviceTable& display) {
    std::vector<std::string> cells(kDisplayColumns);
    const std::vector<std::string> lines = DisplayAnswerLines(input);
    std::copy_n(lines.begin(), std::min<std::size_t>(lines.size(), kDisplayColumns), cells.begin());
    for (int r = 1; r <= std::min(display.dataRowCount(), 3); ++r) {
        for (const auto& row : {cells, display.rowCells(r)}) {
            const bool valid = CheckDisplayAddress(row[kDisplayAddressColumn], r).address.has_value();
            for (DisplaySetting setting : kDisplaySettingOrder) {
                const DisplayRowCommand command = BuildDisplayRowCommand(setting, row);
                Require(valid || (!command.command && command.log.empty()));
                if (!command.command) continue;
                Require(command.command->find_first_of("\r\n") == std::string::npos);
                // "SET TEX2=" A "," and at most 50 characters, each one byte; an initial value is sent whole
                const std::size_t value = std::max(kDisplayTextLimit, row[kDisplayStartColumn].size());
                Require(command.command->size() <= 10 + row[kDisplayAddressColumn].size() + value);
            }
        }
    }
    DisplaySwitches switches;
    for (std::size_t i = 0; i < input.size() && i < 32; ++i)
        switches.tick(kDisplaySettingOrder[static_cast<unsigned char>(input[i]) % 10], (input[i] & 0x10) != 0);
    Require(!(switches.isTicked(DisplaySetting::Delete) && switches.count() > 2));
    const DisplayCommand refresh = BuildDisplayRefresh(input);
    Require(!refresh.command || refresh.command->size() == 11);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    RequireRoundTrip(input);
    Require(Utf8ToWindows1251(input).size() <= size);

    DeviceTable display = NewDisplayTable();
    DeviceTable readings = NewReadingsTable(Language::English);
    Import(input, display, readings);
    Answers(input, display, readings);
    RequireShape(display, kDisplayColumns);
    RequireShape(readings, kReadingsColumns);
    RowCommands(input, display);
    return 0;
}
