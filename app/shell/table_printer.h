// Tables > Print: the grid on view on pages, as the user sees it. The
// header row heads every page and the header column starts every page; the
// columns that do not fit across a page go on further pages of the same
// rows. A large table prints with a progress window whose Cancel stops it.
#pragma once

#include <QString>
#include <functional>
#include <utility>
#include <vector>

#include "report_printer.h"
#include "state/interaction.h"

namespace vdx {

// A grid to print, in grid coordinates: row 0 the column titles, column 0
// the row titles.
struct PrintedGrid {
    QString title;  // atop every page
    int rows = 1;
    int cols = 1;
    std::function<QString(int row, int col)> text;
    std::function<bool(int row, int col)> rightAligned;  // numbers; none: all left
};

// The columns 1 .. n-1 of a grid cut into groups that fit across a page
// beside column 0, in order, as [first, last] pairs; a column wider than
// the room left alone on its pages.
std::vector<std::pair<int, int>> ColumnBands(const std::vector<double>& widths, double pageWidth);

class QtTablePrinter : public QtPrinter {
public:
    QtTablePrinter(QWidget* parent, QPrinter& printer, Interaction& ui, PrintedGrid grid)
        : QtPrinter(parent, printer), ui_(ui), grid_(std::move(grid)) {}

    // Grids of more rows than this print with the progress window.
    static constexpr int kQuietRows = 2000;

protected:
    bool paint(QPagedPaintDevice& device) override;

private:
    Interaction& ui_;
    PrintedGrid grid_;
};

}  // namespace vdx
