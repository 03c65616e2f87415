#include "ui/device_grid.h"

#include <algorithm>
#include <utility>

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>

#include "devices/device_table.h"
#include "ui/key_filter.h"
#include "ui/meter_grid.h"

namespace veltro {
namespace {

// Not Qt::CheckStateRole: the item delegate would draw its own indicator where the box belongs.
constexpr int kRowSelectedRole = Qt::UserRole;

class DeviceCellDelegate : public QStyledItemDelegate {
public:
    DeviceCellDelegate(DeviceGrid::ColumnKeys keys, bool checkBoxes, QObject* parent)
        : QStyledItemDelegate(parent), m_keys(std::move(keys)), m_checkBoxes(checkBoxes) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        const auto column = static_cast<std::size_t>(index.column());
        if (editor && column < m_keys.size() && m_keys[column]) KeyFilter::Install(*editor, *m_keys[column]);
        return editor;
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        if (!m_checkBoxes || index.column() != 0) return QStyledItemDelegate::paint(painter, option, index);
        const QRect box = DeviceGrid::CheckBoxRect(option.rect);
        QStyleOptionViewItem text(option);
        text.rect.setLeft(box.right() + 3);
        QStyledItemDelegate::paint(painter, text, index);
        QStyleOptionViewItem check(option);
        check.rect = box;
        check.state = QStyle::State_Enabled | (index.data(kRowSelectedRole).toBool() ? QStyle::State_On : QStyle::State_Off);
        const QWidget* view = option.widget;
        (view ? view->style() : QApplication::style())->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &check, painter, view);
    }

    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyledItemDelegate::updateEditorGeometry(editor, option, index);
        // The box stays visible and clickable while the ID is edited.
        if (m_checkBoxes && index.column() == 0)
            editor->setGeometry(editor->geometry().adjusted(DeviceGrid::CheckBoxRect(option.rect).width() + 3, 0, 0, 0));
    }

private:
    DeviceGrid::ColumnKeys m_keys;
    bool m_checkBoxes;
};

} // namespace

// ---- model -------------------------------------------------------------------------------------

DeviceTableModel::DeviceTableModel(const DeviceTable& table, Edit edit, QObject* parent)
    : QAbstractTableModel(parent), m_table(table), m_edit(std::move(edit)), m_rows(table.dataRowCount()),
      m_columns(table.columnCount()) {}

int DeviceTableModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : m_rows; }

int DeviceTableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : m_columns; }

QVariant DeviceTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const int row = index.row() + 1;
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return DisplayText(m_table.cell(row, index.column()));
    case kRowSelectedRole:
        return m_table.rowSelected(row);
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    default:
        return {};
    }
}

bool DeviceTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || role != Qt::EditRole || !m_edit) return false;
    const bool accepted = m_edit(index.row() + 1, index.column(), value.toString().toStdString());
    // A refusal leaves the table's text, which the view is to show again instead of what was typed.
    if (!accepted) emit dataChanged(index, index);
    return accepted;
}

Qt::ItemFlags DeviceTableModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (m_edit && index.isValid()) flags |= Qt::ItemIsEditable;
    return flags;
}

QVariant DeviceTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) return {};
    if (role == Qt::DisplayRole) return DisplayText(m_table.cell(0, section));
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    return {};
}

void DeviceTableModel::tableChanged() {
    if (m_rows == m_table.dataRowCount() && m_columns == m_table.columnCount()) {
        // Same shape: repaint in place, so the view keeps its scroll position and current cell.
        if (m_rows > 0 && m_columns > 0) emit dataChanged(index(0, 0), index(m_rows - 1, m_columns - 1));
        if (m_columns > 0) emit headerDataChanged(Qt::Horizontal, 0, m_columns - 1);
        return;
    }
    beginResetModel();
    m_rows = m_table.dataRowCount();
    m_columns = m_table.columnCount();
    endResetModel();
}

// ---- view --------------------------------------------------------------------------------------

DeviceGrid::DeviceGrid(std::span<const int> designWidths, ColumnKeys keys, bool checkBoxes, QWidget* parent)
    : QTableView(parent), m_designWidths(designWidths.begin(), designWidths.end()), m_checkBoxes(checkBoxes) {
    setItemDelegate(new DeviceCellDelegate(std::move(keys), checkBoxes, this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    // Not a click on the current cell: that is how the box is ticked.
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    setWordWrap(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

QRect DeviceGrid::CheckBoxRect(const QRect& cell) {
    const int side = std::max(1, cell.height() - 4);
    return {cell.left() + 2, cell.top() + 2, side, side};
}

void DeviceGrid::setModel(QAbstractItemModel* model) {
    QTableView::setModel(model);
    if (!model) return;
    connect(model, &QAbstractItemModel::headerDataChanged, this, &DeviceGrid::titlesChanged);
    connect(model, &QAbstractItemModel::modelReset, this, &DeviceGrid::titlesChanged);
    titlesChanged();
}

void DeviceGrid::titlesChanged() {
    QStringList titles;
    for (int c = 0; c < model()->columnCount(); ++c) titles.append(model()->headerData(c, Qt::Horizontal).toString());
    // Only new titles (a language switch) set the widths: the operator's own widths stay otherwise.
    if (titles == m_titles) return;
    m_titles = titles;
    applyColumnWidths();
}

void DeviceGrid::applyColumnWidths() {
    if (!model()) return;
    const QFontMetrics metrics = horizontalHeader()->fontMetrics();
    const double scale = std::max(1.0, fontMetrics().horizontalAdvance(QLatin1Char('0')) / MeterGrid::kDesignDigitWidth);
    for (int c = 0; c < model()->columnCount() && c < static_cast<int>(m_designWidths.size()); ++c) {
        const int title = metrics.horizontalAdvance(model()->headerData(c, Qt::Horizontal).toString()) + 12;
        setColumnWidth(c, std::max(static_cast<int>(m_designWidths[static_cast<std::size_t>(c)] * scale), title));
    }
}

void DeviceGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    if (current.isValid()) emit cellSelected(current.row() + 1, current.column());
}

int DeviceGrid::boxRowAt(const QPoint& position) const {
    if (!m_checkBoxes) return 0;
    const QModelIndex index = indexAt(position);
    if (!index.isValid() || index.column() != 0) return 0;
    return CheckBoxRect(visualRect(index)).contains(position) ? index.row() + 1 : 0;
}

void DeviceGrid::mousePressEvent(QMouseEvent* event) {
    m_pressedBoxRow = event->button() == Qt::LeftButton ? boxRowAt(event->position().toPoint()) : 0;
    QTableView::mousePressEvent(event);
}

void DeviceGrid::mouseReleaseEvent(QMouseEvent* event) {
    QTableView::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton) return;
    const int pressed = std::exchange(m_pressedBoxRow, 0);
    if (pressed > 0 && boxRowAt(event->position().toPoint()) == pressed) emit boxToggled(pressed);
}

} // namespace veltro
