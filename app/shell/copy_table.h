// Tables > Copy: the text that the selected cells of a grid put on the
// clipboard. Grid rows and columns count from 0, row 0 and column 0 being the
// fixed header row and header column.
#pragma once

#include <functional>
#include <string>

namespace vdx {

struct GridSelection {
    int currentRow = 0;  // where the selection was started
    int currentCol = 0;
    int endRow = 0;      // where it ends
    int endCol = 0;
};

// Rows and columns from the smaller to the larger of start and end; a
// selection started on row 1 (or column 1) takes the header row (column) with
// it. Cells are separated by tabs; every row ends with a line feed, the line
// end that editors, terminals and R read on this platform (a carriage return
// alone pastes as one line).
std::string CopySelectionText(const GridSelection& selection,
                              const std::function<std::string(int row, int col)>& cellText);

}  // namespace vdx
