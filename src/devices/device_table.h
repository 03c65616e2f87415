#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace veltro {

// A device page's grid: row 0 the header, rows 1.. the entries, at least one (empty) data row. Each row
// carries its selection flag, so flags move with their rows. The display table, the readings table and
// the receivers' tables are each one of these.
class DeviceTable {
public:
    DeviceTable(std::vector<std::string> titles, int maxDataRows);

    int rowCount() const { return static_cast<int>(m_rows.size()); }  // header included
    int dataRowCount() const { return rowCount() - 1; }
    int columnCount() const { return static_cast<int>(m_titles.size()); }
    int maxDataRows() const { return m_maxDataRows; }
    const std::vector<std::string>& titles() const { return m_titles; }
    // The language changed: the same columns get new titles (another number of titles is ignored).
    void setTitles(std::vector<std::string> titles);
    // Out-of-range cells read as empty and ignore writes.
    const std::string& cell(int row, int column) const;
    void setCell(int row, int column, std::string text);
    std::vector<std::string> rowCells(int row) const;
    // Only one data row and nothing in it.
    bool isEmpty() const;

    // "Clear table": one empty data row, no flags.
    void clear();
    // "Add row": an empty, unselected row at the end while below the capacity.
    bool addRow();
    // "Delete row": with one data row that row is emptied; otherwise the rows below move up with their
    // flags and the table loses a row. Row 0 or out of range: nothing.
    void deleteRow(int row);
    // Replaces the data rows (cells cut or padded to the columns; at most the capacity, the rest dropped).
    // Returns the rows kept. No rows: one empty row.
    int replaceRows(const std::vector<std::vector<std::string>>& rows);
    // Reorders the data rows, each moved whole with its flag; rows `less` cannot tell apart keep their order.
    using RowLess = std::function<bool(const std::vector<std::string>&, const std::vector<std::string>&)>;
    void stableSortRows(const RowLess& less);

    bool rowSelected(int row) const;
    void setRowSelected(int row, bool selected);
    void toggleRowSelected(int row);
    void selectAll(bool selected);
    std::vector<int> selectedRows() const;

    // Data rows whose cell in `column` equals `text`.
    std::vector<int> rowsWhere(int column, std::string_view text) const;

private:
    struct Row {
        std::vector<std::string> cells;
        bool selected = false;
    };
    Row emptyRow() const { return Row{std::vector<std::string>(m_titles.size()), false}; }
    bool isDataRow(int row) const { return row >= 1 && row < rowCount(); }

    std::vector<std::string> m_titles;
    int m_maxDataRows;
    std::vector<Row> m_rows;
};

} // namespace veltro
