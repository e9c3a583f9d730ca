// The dialog frmSelfDefined without its widgets: a list of up to 200 age
// classes or calendar periods, each row a "Begin" and an "End" (both
// included), turned into the bound list of the person-years tables.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "state/interaction.h"
#include "state/state.h"

namespace vdx::py {

inline constexpr int kSelfDefinedRows = 200;

// Columns of the grid SdFGrid: 0 the class number, 1 Begin, 2 End.
inline constexpr int kBeginColumn = 1;
inline constexpr int kEndColumn = 2;

// The texts of the 200 class rows; row r (1 to 200) is rows[r - 1].
struct SelfDefinedGrid {
    std::vector<std::array<std::string, 2>> rows =
        std::vector<std::array<std::string, 2>>(kSelfDefinedRows);

    std::string& cell(int row, int column) { return rows[static_cast<size_t>(row - 1)][column - 1]; }
    const std::string& cell(int row, int column) const {
        return rows[static_cast<size_t>(row - 1)][column - 1];
    }
};

// "Self defined age classes" or "Self defined calendar classes".
std::string SelfDefinedCaption(bool calendar);
// The grid's format string: "<Classes|<Begin (incl.)|<End (incl.)" or
// "<Classes|<1st January|<31st December".
std::string SelfDefinedFormat(bool calendar);

// The rows as the dialog shows them on loading: row i holds bound i and
// bound i+1 - 1 for the classes the bound list holds.
SelfDefinedGrid LoadSelfDefined(const ProgramState& state, bool calendar);

struct SelfDefinedCheck {
    int message = 0;  // 0: accepted; 10 (ages) or 11 (calendar) otherwise
    int row = 0;      // the offending cell, when a cell is at fault (row 1..200)
    int column = 0;   // kBeginColumn or kEndColumn; 0 when no cell is at fault
    bool ok() const { return message == 0; }
};

// Ok: the rows from row 1 down to the row before the first empty "Begin"
// make the list. Every Begin and End must be a whole number (ages: at least 0,
// a number that is not whole is refused with a text that names it;
// calendar periods: a year that "01/01/" + text reads as), each Begin must
// follow the End of the row before by exactly 1, no End may be less than its
// Begin, and the bounds must fit 16 bits. A failure shows message 10 or 11
// and names the cell that gets the focus. On success ageBoundCount (or
// calendarBoundCount) is the number of rows + 1 and the bound list holds the
// Begins and the last End + 1. The self-defined flag is not touched.
SelfDefinedCheck SelfDefinedOk(ProgramState& state, Interaction& ui, bool calendar,
                               const SelfDefinedGrid& grid);

}  // namespace vdx::py
