// What the navigator does, without widgets: rebuilding the tree from the
// working copy, and what a click on a node shows. The main window performs
// the returned action on its widgets; the tests call these directly.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "state/errors.h"
#include "state/interaction.h"
#include "state/state.h"

namespace vdx::db {

class Database;

// The text of the result grid, its header row and header column included:
// cell (0, 0) "Age class", row 0 the calendar periods, column 0 the age
// classes.
struct ResultGridText {
    int rows = 1;
    int cols = 1;
    std::vector<std::string> cells = std::vector<std::string>(1);  // row by row
    // Per column, the decimals its figures are shown with; -1 (or no entry)
    // shows the text as it is. The cells keep every digit, for the exports.
    std::vector<int> decimals;
    // Per column, true for a column of text, shown left-aligned (no entry: right-aligned).
    std::vector<bool> textColumns;

    std::string& at(int row, int col) { return cells[static_cast<size_t>(row) * cols + col]; }
    const std::string& at(int row, int col) const {
        return cells[static_cast<size_t>(row) * cols + col];
    }
};

// The text the grid shows in a cell: a figure of a column with decimals
// rounded to them ("2.19e-05" with 8 is "0.00002190"); anything else, and
// the header row and column, as it is.
std::string ShownCellText(const ResultGridText& grid, int row, int col);

// The kinds of node whose click switches menu entries (the others switch
// them all off).
enum class NodeKind {
    Other, RateTable, Deaths, Strata, Smr, SrrSettings, MainTable, PersonYears, Plot,
    StoredTable,   // a cause list or an analysis's table, as stored
    CausesReport,  // the report of an analysis of causes or of categories (CurrentResult "CategoriesReport")
};

// The entries (Tables > Save as, Tables > Copy, Reports > Save as,
// Reports > Print, buttons Copy and Print) after a click on a node of the
// given kind. An SMR result leaves Tables > Copy and the Copy button as they
// were. The settings of an SRR project, shown in the result grid, can be
// copied only.
ViewEntries EntriesAfterClick(NodeKind kind, const ViewEntries& before);

// What the main window does after a click.
struct NodeClickAction {
    NodeKind kind = NodeKind::Other;
    bool showProjectMenu = false;  // pop up the Project menu at the pointer
    std::string project;           // the project whose menu or stratum table is shown
    std::string plot;              // Plot: "forest", "observed-expected" or "person-years"
    std::string tableName;         // InternalGrid: the rate table; ResultGrid: the deaths table
    std::optional<ResultGridText> resultGrid;  // person-years and deaths tables
};

// A click on the node with the given full path (texts joined by "_"):
// rate tables first, then projects (a right click on a project node asks for
// its menu), the main data table, the person-years tables, anything else.
// Updates the view, CurrentResult, CurrentSMRTable and Entries in state.
// Errors reading the working copy show the general error message and leave
// the empty view.
NodeClickAction ClickNode(ProgramState& state, Interaction& ui, const std::string& fullPath,
                          bool rightButton);

// True for the settings table of an SRR project: project + "_SMR" without
// the Figures column of an SMR project's table.
bool IsSrrSettingsTable(const ProgramState& state, const std::string& tableName);

// Fills the result grid with the settings of an SRR project, each under a
// caption a reader understands ("Rate table", "ICD value", ...) rather than
// its stored key, the person-years table by its name; the rows of result
// values that an SRR run leaves at 0 are not shown. Shows the result grid.
// Throws VdxError when the table cannot be read.
ResultGridText ShowSrrSettings(ProgramState& state, const std::string& tableName);

// Fills the result grid with person-years table `mode` (1 all persons, 2 and
// 3 the sex codes): days shown as years with two decimals, 0 as "0". Shows
// the result grid.
ResultGridText ShowPersonYears(ProgramState& state, int mode);
// The table of an SMR-by-category analysis: category, person-years, O, E,
// SMR and its bounds, one row per category and the total.
ResultGridText ShowCategories(ProgramState& state, const std::string& name);
// The same for table `table` of exposure category `category` (1-based).
ResultGridText ShowExposurePersonYears(ProgramState& state, int table, int category);

// Fills the result grid from a deaths table of the working copy, one row per
// cell, age class outer and calendar period inner. Shows the result grid.
// Throws VdxError when the table cannot be read.
ResultGridText ShowDeaths(ProgramState& state, const std::string& tableName);

// Fills the result grid with a stored table of the study, its column names
// over the rows numbered from 1, as stored (figures of floating-point
// columns shown with 3 decimals). Shows the result grid. Throws VdxError
// when the table cannot be read.
ResultGridText ShowStoredTable(ProgramState& state, const std::string& tableName);
// The empty view, with every entry that acts on a view switched off: the
// entries of a table that is about to change must not outlive it.
void SwitchOffView(ProgramState& state);

// Changes the working copy in one transaction: all of `change` stays or
// nothing does. `change` runs between begin and commit and returns false to
// refuse (rolled back, nothing shown by this function). A failure (VdxError)
// rolls back, shows `showFailure` (the general error message when none is
// given) and rebuilds the tree. After a commit `afterCommit` updates the
// state, the study is marked changed (Exit, New and Open then ask to save)
// and the tree rebuilt. True when committed.
bool ChangeWorkingCopy(ProgramState& state, Interaction& ui, const std::function<bool(Database&)>& change,
                       const std::function<void()>& afterCommit = {},
                       const std::function<void(const VdxError&)>& showFailure = {});

// Rebuilds the tree: the four fixed nodes, the main data table, the rate
// tables and projects as the working copy lists them, the person-years
// tables. Errors show the general error message; the tree then holds what
// could be read.
void RebuildNavigator(ProgramState& state, Interaction& ui);

// The names a list table holds: `count` rows of `column` from the first, fewer
// when the table ends early.
std::vector<std::string> ReadNameList(const std::string& workingCopy, const std::string& table,
                                      const std::string& column, int count);

// "0.00;;0": two decimals, zero as "0".
std::string FormatYears(double years);

}  // namespace vdx::db
