#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/language.h"
#include "decode/meter_response.h"

namespace veltro {

// Where a decoded meter goes in the table.
enum class Placement {
    Append,            // the primary scan: into the trailing empty row, then one more row; nothing when full
    ById,              // the secondary search: rows with this ID, or appended when there is none
    ByPrimaryAddress,  // every other read: rows with this address; an unknown meter is not added
};

// The meter table: row 0 the header, rows 1.. one meter each, an empty row after the last meter until
// the table holds its 450 rows. Each row carries its selection flag, so flags move with their rows.
class MeterTable {
public:
    static constexpr int kMaxRows = 450;
    static constexpr int kFixedColumns = 12;
    static constexpr int kAddressColumn = 1;
    static constexpr int kManufacturerColumn = 2;
    static constexpr int kMediumColumn = 5;
    static constexpr int kValueColumn = 3;
    static constexpr int kPulseColumn = 9;
    static constexpr int kKeyColumn = 11;
    static constexpr std::size_t kSelectionTextLength = 8;

    explicit MeterTable(int additionalCount = 0, Language language = Language::English,
                        std::vector<std::string> additionalTitles = {});

    int rowCount() const { return static_cast<int>(m_rows.size()); }
    int columnCount() const { return kFixedColumns + m_additionalCount; }
    int additionalCount() const { return m_additionalCount; }
    const std::string& cell(int row, int column) const;
    void setCell(int row, int column, std::string text);
    std::vector<std::string> rowCells(int row) const;

    // Header row: the fixed titles of the language, then the additional titles. The table keeps the
    // language for the next header it writes.
    void setHeader(Language language, std::vector<std::string> additionalTitles);
    // Writes the header again in the table's language.
    void setAdditionalCount(int count, std::vector<std::string> additionalTitles);
    Language language() const { return m_language; }

    // Writes a decoded meter by the placement rule and returns the rows written. Afterwards the selected
    // ID and address are the written row's. An append never overwrites a row that holds anything: with
    // no empty row left and the table at its 450 rows it writes nothing.
    std::vector<int> place(const MeterTableRow& row, Placement placement);
    // True when an append would find an empty row (the last one, or one added below the capacity).
    bool canAppend() const;

    // Row operations.
    void clear();                 // two rows, no flags
    bool addRowBelowSelected();   // false at the 450-row capacity
    bool addRowAtEnd();
    void deleteSelectedRow();
    // An identification into column 0 of a new row at the end (the trailing empty row, kept empty
    // after it); the row, or nothing when the table is full.
    std::optional<int> appendIdentification(const std::string& id);
    // Replaces the data rows; cut at the capacity. Returns the number of rows kept.
    int replaceRows(const std::vector<std::vector<std::string>>& rows);

    // Selection.
    void selectCell(int row, int column);
    void mouseRelease(int row, bool control);
    void doubleClick() { m_selectAllPending = true; }
    bool rowSelected(int row) const;
    void setRowSelected(int row, bool selected);
    std::vector<int> selectedRows() const;
    int selectedRow() const { return m_selectedRow; }
    int selectedColumn() const { return m_selectedColumn; }
    const std::string& selectedId() const { return m_selectedId; }
    const std::string& selectedAddress() const { return m_selectedAddress; }
    const std::string& selectedPulse() const { return m_selectedPulse; }
    std::string idLabel() const { return "ID:" + m_selectedId; }
    std::string addressLabel() const;
    // The row the table's cursor moved to after the last placement (last row with the selected address).
    int currentRow() const { return m_currentRow; }

    // Rows whose address cell holds a meter address (0..250); empty, "256" and anything else do not.
    static std::optional<int> AddressOf(const std::string& cell);

private:
    struct Row {
        std::vector<std::string> cells;
        bool selected = false;
    };
    Row emptyRow() const { return Row{std::vector<std::string>(static_cast<std::size_t>(columnCount())), false}; }
    bool isDataRow(int row) const { return row >= 1 && row < rowCount(); }
    bool lastRowEmpty() const;
    void write(int row, const MeterTableRow& decoded);
    void appendMeter(const MeterTableRow& decoded, std::vector<int>& written);

    int m_additionalCount;
    Language m_language = Language::English;
    std::vector<Row> m_rows;
    int m_selectedRow = 0;
    int m_selectedColumn = 0;
    std::string m_selectedId;
    std::string m_selectedAddress = "256";
    std::string m_selectedPulse;
    bool m_selectAllPending = false;
    int m_currentRow = 1;
};

std::array<std::string_view, MeterTable::kFixedColumns> MeterTableTitles(Language language);

} // namespace veltro
