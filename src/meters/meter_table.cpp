#include "meters/meter_table.h"

#include <algorithm>

#include "app/texts.h"
#include "mbus/address.h"

namespace veltro {
namespace {

constexpr std::array<TextId, MeterTable::kFixedColumns> kTitleIds{
    TextId::MeterColumnId,     TextId::MeterColumnAddress, TextId::MeterColumnMaker, TextId::MeterColumnValue,
    TextId::MeterColumnUnit,   TextId::MeterColumnMedium,  TextId::MeterColumnTime,  TextId::MeterColumnDate,
    TextId::MeterColumnStatus, TextId::MeterColumnPulse,   TextId::MeterColumnModel, TextId::MeterColumnKey};

const std::string kEmpty;

std::string Cut(const std::string& text, std::size_t length) { return text.substr(0, length); }

} // namespace

std::array<std::string_view, MeterTable::kFixedColumns> MeterTableTitles(Language language) {
    std::array<std::string_view, MeterTable::kFixedColumns> titles;
    for (std::size_t c = 0; c < titles.size(); ++c) titles[c] = Text(kTitleIds[c], language);
    return titles;
}

MeterTable::MeterTable(int additionalCount, Language language, std::vector<std::string> additionalTitles)
    : m_additionalCount(std::clamp(additionalCount, 0, kMaxAdditionalValues)) {
    m_rows.push_back(emptyRow());
    m_rows.push_back(emptyRow());
    setHeader(language, std::move(additionalTitles));
}

const std::string& MeterTable::cell(int row, int column) const {
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount()) return kEmpty;
    return m_rows[static_cast<std::size_t>(row)].cells[static_cast<std::size_t>(column)];
}

void MeterTable::setCell(int row, int column, std::string text) {
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount()) return;
    m_rows[static_cast<std::size_t>(row)].cells[static_cast<std::size_t>(column)] = std::move(text);
}

std::vector<std::string> MeterTable::rowCells(int row) const {
    if (row < 0 || row >= rowCount()) return {};
    return m_rows[static_cast<std::size_t>(row)].cells;
}

void MeterTable::setHeader(Language language, std::vector<std::string> additionalTitles) {
    m_language = language;
    const auto titles = MeterTableTitles(language);
    for (int c = 0; c < kFixedColumns; ++c) setCell(0, c, std::string(titles[static_cast<std::size_t>(c)]));
    for (int k = 0; k < m_additionalCount; ++k)
        setCell(0, kFixedColumns + k, k < static_cast<int>(additionalTitles.size()) ? additionalTitles[static_cast<std::size_t>(k)] : "");
}

void MeterTable::setAdditionalCount(int count, std::vector<std::string> additionalTitles) {
    m_additionalCount = std::clamp(count, 0, kMaxAdditionalValues);
    for (auto& row : m_rows) row.cells.resize(static_cast<std::size_t>(columnCount()));
    setHeader(m_language, std::move(additionalTitles));
}

void MeterTable::write(int row, const MeterTableRow& decoded) {
    for (int c = 0; c < kKeyColumn; ++c) setCell(row, c, decoded.columns[static_cast<std::size_t>(c)]);
    // The key column also holds the operator's AES keys: only a battery text that was read replaces it.
    if (decoded.battery && !decoded.battery->empty()) setCell(row, kKeyColumn, *decoded.battery);
    for (int k = 0; k < m_additionalCount; ++k)
        setCell(row, kFixedColumns + k,
                k < static_cast<int>(decoded.additional.size()) ? decoded.additional[static_cast<std::size_t>(k)] : "");
}

bool MeterTable::lastRowEmpty() const {
    const auto& cells = m_rows.back().cells;
    return rowCount() > 1 && std::all_of(cells.begin(), cells.end(), [](const std::string& c) { return c.empty(); });
}

bool MeterTable::canAppend() const { return lastRowEmpty() || rowCount() < kMaxRows; }

// An imported file without a trailing empty line, or a full table, leaves no empty last row; the meter
// then goes into a new row, or nowhere, never over a row that holds one.
void MeterTable::appendMeter(const MeterTableRow& decoded, std::vector<int>& written) {
    if (!lastRowEmpty()) {
        if (rowCount() >= kMaxRows) return;
        m_rows.push_back(emptyRow());
    }
    const int last = rowCount() - 1;
    write(last, decoded);
    written.push_back(last);
    if (rowCount() < kMaxRows) m_rows.push_back(emptyRow());
}

std::vector<int> MeterTable::place(const MeterTableRow& decoded, Placement placement) {
    std::vector<int> written;
    const std::string& id = decoded.columns[0];
    const std::string& address = decoded.columns[kAddressColumn];
    if (placement == Placement::Append) {
        appendMeter(decoded, written);
    } else {
        const int column = placement == Placement::ById ? 0 : kAddressColumn;
        const std::string& key = placement == Placement::ById ? id : address;
        for (int r = 1; r < rowCount(); ++r) {
            if (cell(r, column) != key) continue;
            write(r, decoded);
            written.push_back(r);
        }
        if (written.empty() && placement == Placement::ById) appendMeter(decoded, written);
    }
    if (!written.empty()) {
        m_selectedId = Cut(id, kSelectionTextLength);
        m_selectedAddress = Cut(address, kSelectionTextLength);
        for (int r = rowCount() - 1; r >= 1; --r) {
            if (cell(r, kAddressColumn) == m_selectedAddress) {
                m_currentRow = r;
                break;
            }
        }
    }
    return written;
}

void MeterTable::clear() {
    m_rows.resize(1);
    m_rows[0].selected = false;
    m_rows.push_back(emptyRow());
    m_selectedRow = 0;
    m_currentRow = 1;
    m_selectedId.clear();
    m_selectedAddress = std::string(kNoTargetAddress);
    m_selectedPulse.clear();
}

bool MeterTable::addRowBelowSelected() {
    if (rowCount() >= kMaxRows) return false;
    const int below = std::clamp(m_selectedRow + 1, 1, rowCount());
    m_rows.insert(m_rows.begin() + below, emptyRow());
    return true;
}

bool MeterTable::addRowAtEnd() {
    if (rowCount() >= kMaxRows) return false;
    m_rows.push_back(emptyRow());
    return true;
}

void MeterTable::deleteSelectedRow() {
    if (!isDataRow(m_selectedRow)) return;
    if (rowCount() == 2) {
        m_rows[1] = emptyRow();
        return;
    }
    m_rows.erase(m_rows.begin() + m_selectedRow);
    if (m_selectedRow >= rowCount()) m_selectedRow = rowCount() - 1;
}

std::optional<int> MeterTable::appendIdentification(const std::string& id) {
    if (!lastRowEmpty()) {
        if (rowCount() >= kMaxRows) return std::nullopt;
        m_rows.push_back(emptyRow());
    }
    const int last = rowCount() - 1;
    m_rows[static_cast<std::size_t>(last)].cells[0] = id;
    if (rowCount() < kMaxRows) m_rows.push_back(emptyRow());
    return last;
}

int MeterTable::replaceRows(const std::vector<std::vector<std::string>>& rows) {
    clear();
    m_rows.resize(1);
    for (const auto& cells : rows) {
        if (rowCount() >= kMaxRows) break;
        Row row = emptyRow();
        for (std::size_t c = 0; c < row.cells.size() && c < cells.size(); ++c) row.cells[c] = cells[c];
        m_rows.push_back(std::move(row));
    }
    if (rowCount() == 1) m_rows.push_back(emptyRow());
    return rowCount() - 1;
}

void MeterTable::selectCell(int row, int column) {
    m_selectedRow = row;
    m_selectedColumn = column;
    if (!isDataRow(row)) return;
    m_selectedId = Cut(cell(row, 0), kSelectionTextLength);
    const std::string& address = cell(row, kAddressColumn);
    m_selectedAddress = address.empty() ? std::string(kNoTargetAddress) : Cut(address, kSelectionTextLength);
    m_selectedPulse = Cut(cell(row, kPulseColumn), kSelectionTextLength);
}

void MeterTable::mouseRelease(int row, bool control) {
    if (!isDataRow(row)) return;
    if (m_selectAllPending) {
        m_selectAllPending = false;
        for (int r = 1; r < rowCount(); ++r) m_rows[static_cast<std::size_t>(r)].selected = true;
        return;
    }
    auto& flag = m_rows[static_cast<std::size_t>(row)].selected;
    if (control) {
        flag = !flag;
        return;
    }
    for (auto& r : m_rows) r.selected = false;
    flag = true;
}

bool MeterTable::rowSelected(int row) const { return isDataRow(row) && m_rows[static_cast<std::size_t>(row)].selected; }

void MeterTable::setRowSelected(int row, bool selected) {
    if (isDataRow(row)) m_rows[static_cast<std::size_t>(row)].selected = selected;
}

std::vector<int> MeterTable::selectedRows() const {
    std::vector<int> rows;
    for (int r = 1; r < rowCount(); ++r)
        if (m_rows[static_cast<std::size_t>(r)].selected) rows.push_back(r);
    return rows;
}

std::string MeterTable::addressLabel() const {
    return m_selectedAddress == kNoTargetAddress ? "Addr.:" : "Addr.:" + m_selectedAddress;
}

std::optional<int> MeterTable::AddressOf(const std::string& cellText) { return ParseTargetAddress(cellText); }

} // namespace veltro
