#include "grid_view.h"

#include <QAbstractButton>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionHeader>

namespace vdx {

GridView::GridView(const QString& objectName, QWidget* parent) : QTableView(parent) {
    setObjectName(objectName);
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    // The corner button normally paints nothing; here it shows the text of
    // grid cell (0, 0), e.g. "Age class".
    corner_ = findChild<QAbstractButton*>();
    if (corner_) corner_->installEventFilter(this);
}

void GridView::setCornerText(const QString& text) {
    cornerText_ = text;
    // Leave room for the corner text in the header column.
    verticalHeader()->setMinimumWidth(text.isEmpty() ? 0 : fontMetrics().horizontalAdvance(text) + 16);
    if (corner_) corner_->update();
}

bool GridView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == corner_ && event->type() == QEvent::Paint && !cornerText_.isEmpty()) {
        QPainter painter(corner_);
        QStyleOptionHeader opt;
        opt.initFrom(corner_);
        opt.rect = corner_->rect();
        opt.position = QStyleOptionHeader::OnlyOneSection;
        opt.text = cornerText_;
        opt.textAlignment = Qt::AlignLeft | Qt::AlignVCenter;
        style()->drawControl(QStyle::CE_Header, &opt, &painter, corner_);
        return true;
    }
    return QTableView::eventFilter(watched, event);
}

int GridView::gridRows() const { return model() ? model()->rowCount() + 1 : 1; }
int GridView::gridCols() const { return model() ? model()->columnCount() + 1 : 1; }

QString GridView::cellText(int row, int col) const {
    if (!model()) return row == 0 && col == 0 ? cornerText_ : QString();
    if (row == 0 && col == 0) return cornerText_;
    if (row == 0) return model()->headerData(col - 1, Qt::Horizontal, Qt::DisplayRole).toString();
    if (col == 0) return model()->headerData(row - 1, Qt::Vertical, Qt::DisplayRole).toString();
    return model()->index(row - 1, col - 1).data(Qt::DisplayRole).toString();
}

bool GridView::cellRightAligned(int row, int col) const {
    if (!model() || row < 1 || col < 1) return false;
    const QVariant alignment = model()->index(row - 1, col - 1).data(Qt::TextAlignmentRole);
    return alignment.isValid() && (alignment.toInt() & Qt::AlignRight);
}

GridSelection GridView::selection() const {
    GridSelection s;
    QModelIndex anchor = anchor_;
    if (!anchor.isValid()) anchor = currentIndex();
    const QItemSelection ranges = selectionModel() ? selectionModel()->selection() : QItemSelection();
    if (!anchor.isValid()) {
        if (ranges.isEmpty()) return s;  // nothing chosen: the corner cell
        anchor = ranges.first().topLeft();
    }
    s.currentRow = s.endRow = anchor.row() + 1;
    s.currentCol = s.endCol = anchor.column() + 1;
    // The selection is one rectangle; its far corner from the start is the end.
    for (const QItemSelectionRange& r : ranges) {
        if (!r.contains(anchor)) continue;
        s.endRow = (anchor.row() == r.top() ? r.bottom() : r.top()) + 1;
        s.endCol = (anchor.column() == r.left() ? r.right() : r.left()) + 1;
        return s;
    }
    if (!ranges.isEmpty()) {  // the start lies outside the selection: take the selection
        const QItemSelectionRange& r = ranges.first();
        s.currentRow = r.top() + 1;
        s.currentCol = r.left() + 1;
        s.endRow = r.bottom() + 1;
        s.endCol = r.right() + 1;
    }
    return s;
}

void GridView::selectCells(int row, int col, int endRow, int endCol) {
    if (!model()) return;
    const QModelIndex start = model()->index(row - 1, col - 1);
    const QModelIndex end = model()->index(endRow - 1, endCol - 1);
    if (!start.isValid() || !end.isValid()) return;
    extending_ = false;
    selectionModel()->setCurrentIndex(start, QItemSelectionModel::ClearAndSelect);
    extending_ = true;
    selectionModel()->select(QItemSelection(start, end), QItemSelectionModel::ClearAndSelect);
    selectionModel()->setCurrentIndex(end, QItemSelectionModel::NoUpdate);
    extending_ = false;
}

void GridView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_C && event->modifiers() == Qt::ControlModifier) {
        emit copyRequested();
        event->accept();
        return;
    }
    extending_ = event->modifiers().testFlag(Qt::ShiftModifier);
    const QModelIndex before = currentIndex();
    QTableView::keyPressEvent(event);
    // A move without Shift starts a new selection where it lands.
    if (!extending_ && currentIndex() != before) anchor_ = currentIndex();
    extending_ = false;
}

void GridView::mousePressEvent(QMouseEvent* event) {
    extending_ = event->modifiers().testFlag(Qt::ShiftModifier);
    QTableView::mousePressEvent(event);
    // A plain press starts a selection, also on the cell that is current.
    if (!extending_ && event->button() == Qt::LeftButton) {
        const QModelIndex pressed = indexAt(event->position().toPoint());
        if (pressed.isValid()) anchor_ = pressed;
    }
    extending_ = true;  // a drag that follows extends the selection
}

void GridView::mouseReleaseEvent(QMouseEvent* event) {
    QTableView::mouseReleaseEvent(event);
    extending_ = false;
}

void GridView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    if (!extending_ || !anchor_.isValid()) anchor_ = current;
}

}  // namespace vdx
