#pragma once

#include <string>

#include <QAbstractTableModel>
#include <QTableView>

namespace veltro {

class MeterTable;

// Cell and title texts as the program keeps them (bytes): UTF-8 when they are, else Latin-1, as an
// imported file of an older program may be.
QString DisplayText(const std::string& bytes);

// `Grid_bmeters` as a model: the table's row 0 is the header, rows 1.. are the model's rows 0... A
// row flagged in the selection is drawn white on the highlight colour, any other black on white; the
// header keeps the button face of the header view.
class MeterPage;

class MeterTableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    // Follows the page's table: every change the page reports reaches the views from here.
    explicit MeterTableModel(MeterPage& page, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    QStringList titles() const;

private:
    // The table changed in any way (rows, cells, titles, flags).
    void tableChanged();

    const MeterTable& m_table;
    // The shape the views know: rows and columns change only inside a reset.
    int m_rows = 0;
    int m_columns = 0;
};

// The view of `Grid_bmeters`: it reports what the operator does; the window applies it to the table.
// Table rows are counted as the table counts them (1 = the first meter).
class MeterGrid : public QTableView {
    Q_OBJECT

public:
    // The column widths of the meter table (the additional columns take the last one's width).
    static constexpr int kColumnWidths[] = {64, 48, 56, 64, 49, 64, 73, 83, 52, 64, 64, 230};
    static constexpr int kAdditionalColumnWidth = 80;
    static constexpr double kDesignDigitWidth = 6.0;

    explicit MeterGrid(QWidget* parent = nullptr);

    // Moves the current cell to a table row without reporting a selection.
    void setCurrentTableRow(int row, int column);
    // Applies the column widths, never narrower than the title.
    void applyColumnWidths();

signals:
    void cellSelected(int row, int column);      // `Grid_bmetersSelectCell`
    void rowReleased(int row, bool control);      // mouse release on a data row
    void doubleClickedGrid();                     // a double click: the next release flags every row
    void contextMenuAt(const QPoint& globalPosition);
    void fullReadKey();                           // F1, on release
    void deleteKey();                             // Delete
    void exportKey();                             // Ctrl+S
    void importKey();                             // Ctrl+L
    void setKeyKey();                             // Ctrl+A: "Set AES key"
    void sendTableKey();                          // Ctrl+F: "Set all in RXVpico"
    void addIdsKey();                             // F2, on release: "Add IDs in RXVpico"
    void deleteIdsKey();                          // F3, on release: "Delete IDs in RXVpico"

protected:
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    bool m_quiet = false;
};

} // namespace veltro
