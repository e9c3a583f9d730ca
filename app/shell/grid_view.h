// The grids of the main window (MainGrid, InternalGrid, ResultGrid): a table
// view whose header row and header column count as grid row 0 and column 0,
// so that a selection and Tables > Copy see the grid as the user does.
#pragma once

#include <QModelIndex>
#include <QTableView>

#include "copy_table.h"

class QAbstractButton;

namespace vdx {

class GridView : public QTableView {
    Q_OBJECT
public:
    explicit GridView(const QString& objectName, QWidget* parent = nullptr);

    // The text of the top-left header cell (grid cell 0, 0).
    void setCornerText(const QString& text);

    // Grid size and cell texts, the header row and column included.
    int gridRows() const;
    int gridCols() const;
    QString cellText(int row, int col) const;
    // Whether a cell's text stands at its right edge (numbers).
    bool cellRightAligned(int row, int col) const;

    // Where the selection started (the grid's current cell) and where it ends,
    // in grid coordinates.
    GridSelection selection() const;
    // Selects from (row, col) to (endRow, endCol), grid coordinates, as a drag
    // from the first cell to the second would.
    void selectCells(int row, int col, int endRow, int endCol);

signals:
    // Ctrl+C was pressed in the grid.
    void copyRequested();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyboardSearch(const QString&) override {}  // typing does not move the grid

private:
    QString cornerText_;
    QAbstractButton* corner_ = nullptr;
    QPersistentModelIndex anchor_;  // where the selection started
    bool extending_ = false;        // a Shift-click, drag or Shift-key move is under way
};

}  // namespace vdx
