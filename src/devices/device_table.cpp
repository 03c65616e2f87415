#include "devices/device_table.h"

#include <algorithm>

namespace veltro {

DeviceTable::DeviceTable(std::vector<std::string> titles, int maxDataRows)
    : m_titles(std::move(titles)), m_maxDataRows(std::max(maxDataRows, 1)) {
    clear();
}

const std::string& DeviceTable::cell(int row, int column) const {
    static const std::string kEmpty;
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount()) return kEmpty;
    return m_rows[static_cast<std::size_t>(row)].cells[static_cast<std::size_t>(column)];
}

void DeviceTable::setCell(int row, int column, std::string text) {
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount()) return;
    m_rows[static_cast<std::size_t>(row)].cells[static_cast<std::size_t>(column)] = std::move(text);
}

std::vector<std::string> DeviceTable::rowCells(int row) const {
    if (row < 0 || row >= rowCount()) return std::vector<std::string>(m_titles.size());
    return m_rows[static_cast<std::size_t>(row)].cells;
}

bool DeviceTable::isEmpty() const {
    const auto& cells = m_rows[1].cells;
    return dataRowCount() == 1 && std::all_of(cells.begin(), cells.end(), [](const std::string& c) { return c.empty(); });
}

void DeviceTable::clear() {
    m_rows.assign(1, Row{m_titles, false});
    m_rows.push_back(emptyRow());
}

bool DeviceTable::addRow() {
    if (dataRowCount() >= m_maxDataRows) return false;
    m_rows.push_back(emptyRow());
    return true;
}

void DeviceTable::deleteRow(int row) {
    if (!isDataRow(row)) return;
    if (dataRowCount() == 1) {
        m_rows[1] = emptyRow();
        return;
    }
    m_rows.erase(m_rows.begin() + row);
}

int DeviceTable::replaceRows(const std::vector<std::vector<std::string>>& rows) {
    m_rows.resize(1);
    for (const auto& cells : rows) {
        if (dataRowCount() >= m_maxDataRows) break;
        Row row = emptyRow();
        std::copy_n(cells.begin(), std::min(cells.size(), row.cells.size()), row.cells.begin());
        m_rows.push_back(std::move(row));
    }
    const int kept = dataRowCount();
    if (kept == 0) m_rows.push_back(emptyRow());
    return kept;
}

void DeviceTable::stableSortRows(const RowLess& less) {
    std::stable_sort(m_rows.begin() + 1, m_rows.end(), [&](const Row& a, const Row& b) { return less(a.cells, b.cells); });
}

bool DeviceTable::rowSelected(int row) const { return isDataRow(row) && m_rows[static_cast<std::size_t>(row)].selected; }

void DeviceTable::setRowSelected(int row, bool selected) {
    if (isDataRow(row)) m_rows[static_cast<std::size_t>(row)].selected = selected;
}

void DeviceTable::toggleRowSelected(int row) { setRowSelected(row, !rowSelected(row)); }

void DeviceTable::selectAll(bool selected) {
    for (std::size_t r = 1; r < m_rows.size(); ++r) m_rows[r].selected = selected;
}

std::vector<int> DeviceTable::selectedRows() const {
    std::vector<int> rows;
    for (int r = 1; r < rowCount(); ++r)
        if (rowSelected(r)) rows.push_back(r);
    return rows;
}

std::vector<int> DeviceTable::rowsWhere(int column, std::string_view text) const {
    std::vector<int> rows;
    if (column < 0 || column >= columnCount()) return rows;
    for (int r = 1; r < rowCount(); ++r)
        if (cell(r, column) == text) rows.push_back(r);
    return rows;
}

void DeviceTable::setTitles(std::vector<std::string> titles) {
    if (titles.size() != m_titles.size()) return;
    m_titles = std::move(titles);
    m_rows[0].cells = m_titles;  // row 0 is the header
}

} // namespace veltro
