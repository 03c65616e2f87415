#include "devices/rxv_table.h"

#include <algorithm>
#include <array>

#include "devices/display_tables.h"
#include "meters/meter_table.h"

namespace veltro {
namespace {

// Both languages keep the English titles.
constexpr std::array<std::string_view, kRxvColumns> kTitles{
    "ID ", "Addr. ", "MFR ", "Version ", "Device ", "Medium ", "Note ", "Auxiliary ID ", "Telegram ", "Time and Date "};
constexpr std::array<int, 5> kDigitColumns{kRxvIdColumn, kRxvAddressColumn, kRxvVersionColumn, kRxvDeviceColumn,
                                           kRxvNoteColumn};
// The meter table's columns copied into the same columns here.
constexpr std::array<int, 4> kCopiedColumns{kRxvIdColumn, kRxvAddressColumn, kRxvManufacturerColumn, kRxvMediumColumn};
static_assert(MeterTable::kAddressColumn == kRxvAddressColumn && MeterTable::kManufacturerColumn == kRxvManufacturerColumn &&
              MeterTable::kMediumColumn == kRxvMediumColumn);

} // namespace

std::vector<std::string> ReceiverTitles(Language) { return {kTitles.begin(), kTitles.end()}; }

DeviceTable NewReceiverTable(Language language) { return DeviceTable(ReceiverTitles(language), kRxvMaxRows); }

bool ReceiverKeyAccepted(int column, char key) {
    if (std::find(kDigitColumns.begin(), kDigitColumns.end(), column) == kDigitColumns.end()) return true;
    return (key >= '0' && key <= '9') || key == '\b' || key == '\n' || key == '\r';
}

void ReceiverTable::selectCell(int row) { m_receiverRow = row >= 1 && row < m_table.rowCount() ? row : 0; }

std::string ReceiverTable::label45() const {
    const std::string& address = m_table.cell(m_receiverRow, kRxvAddressColumn);
    return m_receiverRow < 1 || address.empty() ? "Address unknown" : "Address " + address;
}

std::string ReceiverTable::label46() const {
    return "ID: " + (m_receiverRow < 1 ? std::string{} : m_table.cell(m_receiverRow, kRxvIdColumn));
}

void ReceiverTable::deleteRow() {
    if (m_receiverRow < 1) return;
    m_table.deleteRow(m_receiverRow);
    m_receiverRow = std::min(m_receiverRow, m_table.dataRowCount());
}

void ReceiverTable::clearTable() {
    m_table.clear();
    m_receiverRow = std::min(m_receiverRow, 1);
}

AcquiredPlacement PlaceAcquiredMeter(DeviceTable& table, const AcquiredMeter& meter, bool excludeIdentical,
                                     std::string_view receivedAt) {
    if (excludeIdentical && !table.rowsWhere(kRxvIdColumn, meter.id).empty()) return {};
    int row = 1;
    if (table.dataRowCount() != 1 || !table.cell(1, kRxvIdColumn).empty()) {
        if (!table.addRow()) return {0, true};
        row = table.dataRowCount();
    }
    table.setCell(row, kRxvIdColumn, meter.id);
    table.setCell(row, kRxvVersionColumn, meter.version);
    table.setCell(row, kRxvDeviceColumn, meter.device);
    table.setCell(row, kRxvNoteColumn, meter.note);
    table.setCell(row, kRxvManufacturerColumn, meter.manufacturer);
    if (meter.medium) table.setCell(row, kRxvMediumColumn, *meter.medium);
    if (meter.auxId) table.setCell(row, kRxvAuxIdColumn, *meter.auxId);
    table.setCell(row, kRxvTelegramColumn, meter.telegram);
    table.setCell(row, kRxvTimeColumn, std::string(receivedAt));
    return {row, false};
}

AcquisitionTick ReceiverAcquisition::tick(DeviceTable& table, std::span<const std::uint8_t> received,
                                          bool excludeIdentical, std::string_view receivedAt) {
    AcquisitionTick result;
    const std::string_view text(reinterpret_cast<const char*>(received.data()), received.size());
    if (RxvIsDoneLine(text)) {
        result.purge = true;
        return result;
    }
    const auto telegram = FindRxvTelegram(received);
    if (!telegram) return result;
    result.purge = true;
    const auto meter = DecodeAcquiredTelegram(*telegram);
    if (!meter) return result;
    const AcquiredPlacement placed = PlaceAcquiredMeter(table, *meter, excludeIdentical, receivedAt);
    if (placed.full && !m_fullReported) {
        m_fullReported = true;
        result.log.emplace_back(kReceiverTableFull);
    }
    result.row = placed.row;
    if (placed.row != 0) result.log.push_back(meter->log);
    return result;
}

ReceiverFill FillReceiverFromMeters(DeviceTable& receiver, const MeterTable& meters) {
    ReceiverFill result;
    std::vector<std::vector<std::string>> rows;
    for (int r = 1; r < meters.rowCount(); ++r) {
        std::vector<std::string> cells(kRxvColumns);
        for (int column : kCopiedColumns) cells[static_cast<std::size_t>(column)] = meters.cell(r, column);
        if (std::all_of(cells.begin(), cells.end(), [](const std::string& c) { return c.empty(); })) continue;
        if (rows.size() == static_cast<std::size_t>(kRxvMaxRows)) {
            result.log.emplace_back(kReceiverTableFull);
            break;
        }
        rows.push_back(std::move(cells));
    }
    result.rows = receiver.replaceRows(rows);
    return result;
}

std::string ExportReceiverText(const DeviceTable& table, char separator) { return ExportDeviceTableText(table, separator); }

ImportedTable ParseReceiverImport(std::string_view text, char separator) {
    return ParseImportText(text, separator, static_cast<std::size_t>(kRxvMaxRows));
}

ReceiverImport ApplyReceiverImport(ReceiverTable& receiver, const ImportedTable& imported) {
    if (imported.refusal != ImportRefusal::None) return {};
    const bool tooWide = imported.tooManyFields ||
                         std::any_of(imported.rows.begin(), imported.rows.end(),
                                     [](const auto& fields) { return fields.size() > static_cast<std::size_t>(kRxvColumns); });
    if (tooWide) return {false, true};
    receiver.table().replaceRows(imported.rows);
    receiver.selectCell(std::min(receiver.receiverRow(), receiver.table().dataRowCount()));
    return {true, imported.truncatedAtCapacity};
}

} // namespace veltro
