#include "ui/meter_grid.h"

#include <algorithm>

#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPalette>
#include <QStringDecoder>

#include "meters/meter_page.h"
#include "meters/meter_table.h"

namespace veltro {

QString DisplayText(const std::string& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (!utf8.hasError()) return text;
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

MeterTableModel::MeterTableModel(MeterPage& page, QObject* parent)
    : QAbstractTableModel(parent), m_table(page.table()), m_rows(m_table.rowCount() - 1), m_columns(m_table.columnCount()) {
    connect(&page, &MeterPage::tableChanged, this, &MeterTableModel::tableChanged);
}

int MeterTableModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : m_rows; }

int MeterTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_columns;
}

QVariant MeterTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const int row = index.row() + 1;
    switch (role) {
    case Qt::DisplayRole:
        return DisplayText(m_table.cell(row, index.column()));
    case Qt::BackgroundRole:
        return m_table.rowSelected(row) ? QApplication::palette().color(QPalette::Active, QPalette::Highlight)
                                        : QColor(Qt::white);
    case Qt::ForegroundRole:
        return m_table.rowSelected(row) ? QColor(Qt::white) : QColor(Qt::black);
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignTop));
    default:
        return {};
    }
}

QVariant MeterTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) return {};
    if (role == Qt::DisplayRole) return DisplayText(m_table.cell(0, section));
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    return {};
}

QStringList MeterTableModel::titles() const {
    QStringList result;
    for (int c = 0; c < m_table.columnCount(); ++c) result.append(DisplayText(m_table.cell(0, c)));
    return result;
}

void MeterTableModel::tableChanged() {
    if (m_rows == m_table.rowCount() - 1 && m_columns == m_table.columnCount()) {
        // Same shape: repaint the cells in place, so the views keep their scroll position.
        if (m_rows > 0 && m_columns > 0) emit dataChanged(index(0, 0), index(m_rows - 1, m_columns - 1));
        if (m_columns > 0) emit headerDataChanged(Qt::Horizontal, 0, m_columns - 1);
        return;
    }
    beginResetModel();
    m_rows = m_table.rowCount() - 1;
    m_columns = m_table.columnCount();
    endResetModel();
}

MeterGrid::MeterGrid(QWidget* parent) : QTableView(parent) {
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setAlternatingRowColors(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

void MeterGrid::applyColumnWidths() {
    if (!model()) return;
    const QFontMetrics metrics = horizontalHeader()->fontMetrics();
    // The widths were laid out for a font whose digits are 6 pixels wide; wider fonts widen them alike.
    const double scale = std::max(1.0, fontMetrics().horizontalAdvance(QLatin1Char('0')) / kDesignDigitWidth);
    for (int c = 0; c < model()->columnCount(); ++c) {
        const int designed = c < static_cast<int>(std::size(kColumnWidths)) ? kColumnWidths[c] : kAdditionalColumnWidth;
        const int title = metrics.horizontalAdvance(model()->headerData(c, Qt::Horizontal).toString()) + 12;
        setColumnWidth(c, std::max(static_cast<int>(designed * scale), title));
    }
}

void MeterGrid::setCurrentTableRow(int row, int column) {
    if (!model() || row < 1 || row > model()->rowCount()) return;
    m_quiet = true;
    setCurrentIndex(model()->index(row - 1, std::clamp(column, 0, std::max(0, model()->columnCount() - 1))));
    m_quiet = false;
}

void MeterGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    if (!m_quiet && current.isValid()) emit cellSelected(current.row() + 1, current.column());
}

void MeterGrid::mousePressEvent(QMouseEvent* event) {
    // The right button selects in `contextMenuEvent`, which also comes from a release on some systems.
    if (event->button() == Qt::RightButton) {
        viewport()->update();
        event->accept();
        return;
    }
    QTableView::mousePressEvent(event);
}

void MeterGrid::mouseReleaseEvent(QMouseEvent* event) {
    QTableView::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton) return;
    const QModelIndex index = indexAt(event->position().toPoint());
    if (!index.isValid()) return;
    emit rowReleased(index.row() + 1, event->modifiers().testFlag(Qt::ControlModifier));
    viewport()->update();
}

void MeterGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) emit doubleClickedGrid();
    QTableView::mouseDoubleClickEvent(event);
}

void MeterGrid::contextMenuEvent(QContextMenuEvent* event) {
    // The row commands of the menu act on the row under the pointer, as after a click on it.
    if (event->reason() == QContextMenuEvent::Mouse) {
        const QModelIndex index = indexAt(event->pos());
        if (index.isValid()) {
            setCurrentIndex(index);  // `cellSelected` when the cell changes
            emit rowReleased(index.row() + 1, false);
        }
    }
    viewport()->update();
    emit contextMenuAt(event->globalPos());
    event->accept();
}

void MeterGrid::keyPressEvent(QKeyEvent* event) {
    const bool control = event->modifiers().testFlag(Qt::ControlModifier);
    if (event->key() == Qt::Key_Delete && !control) {
        emit deleteKey();
        return;
    }
    if (control && event->key() == Qt::Key_S) {
        emit exportKey();
        return;
    }
    if (control && event->key() == Qt::Key_L) {
        emit importKey();
        return;
    }
    // Ctrl+A is the receiver's "Set AES key" here, not select-all (the grid selects by its own flags).
    if (control && event->key() == Qt::Key_A) {
        emit setKeyKey();
        return;
    }
    if (control && event->key() == Qt::Key_F) {
        emit sendTableKey();
        return;
    }
    if (event->key() == Qt::Key_F1 || event->key() == Qt::Key_F2 || event->key() == Qt::Key_F3) {
        event->accept();  // acted on at release
        return;
    }
    QTableView::keyPressEvent(event);
}

void MeterGrid::keyReleaseEvent(QKeyEvent* event) {
    if (!event->isAutoRepeat()) {
        switch (event->key()) {
        case Qt::Key_F1:
            emit fullReadKey();
            return;
        case Qt::Key_F2:
            emit addIdsKey();
            return;
        case Qt::Key_F3:
            emit deleteIdsKey();
            return;
        default:
            break;
        }
    }
    QTableView::keyReleaseEvent(event);
}

} // namespace veltro
