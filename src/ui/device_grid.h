#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include <QAbstractTableModel>
#include <QRect>
#include <QStringList>
#include <QTableView>

namespace veltro {

class DeviceTable;

// A device page's grid (`Grid_ldu`, `Grid_historical`) as a model over the engine's table: row 0 is the
// header, rows 1.. the model's rows 0... Edits go to `edit`, which may refuse them; the cell then shows
// the table's text again. The row's selection flag is the check state of column 0.
class DeviceTableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    using Edit = std::function<bool(int row, int column, const std::string& text)>;

    // No `edit`: the grid is read-only.
    DeviceTableModel(const DeviceTable& table, Edit edit, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

public slots:
    // The table changed in any way (rows, cells, titles, flags).
    void tableChanged();

private:
    const DeviceTable& m_table;
    Edit m_edit;
    int m_rows = 0;
    int m_columns = 0;
};

// The view. Rows are reported as the table counts them (1 = the first entry). With check boxes, column 0
// draws the row's flag as a box before the ID, and a press and release inside the same row's box
// reports `boxToggled`.
class DeviceGrid : public QTableView {
    Q_OBJECT

public:
    // The keys a column's editor takes besides the digits; none: any key.
    using ColumnKeys = std::vector<std::optional<QString>>;

    DeviceGrid(std::span<const int> designWidths, ColumnKeys keys, bool checkBoxes, QWidget* parent = nullptr);

    // The box of a column-0 cell: a square 2 pixels inside the cell, at its left edge.
    static QRect CheckBoxRect(const QRect& cell);
    void setModel(QAbstractItemModel* model) override;
    // Applies the form's widths, scaled with the font and never narrower than the title.
    void applyColumnWidths();

signals:
    void cellSelected(int row, int column);
    void boxToggled(int row);

protected:
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // The table row whose box is under `position`; 0 when none.
    int boxRowAt(const QPoint& position) const;
    void titlesChanged();

    std::vector<int> m_designWidths;
    bool m_checkBoxes;
    int m_pressedBoxRow = 0;
    QStringList m_titles;  // the titles the widths were set for
};

} // namespace veltro
