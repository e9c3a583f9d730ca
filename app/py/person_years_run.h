// The person-years run: Compute in frmPyComp, after the checks, passes over
// the main data table once, lets the person-years kernel of libveldrix split
// every person's follow-up into age classes and calendar periods, and keeps
// the summed days as the person-years tables (PyValues). A completed run
// rewrites the value tables of the working copy and the navigator's
// person-years entries; a cancelled or failed run leaves the study as it was
// before Compute, the settings included.
#pragma once

#include <cstdint>
#include <string>

#include "py/py_comp.h"
#include "state/interaction.h"
#include "state/state.h"

namespace vdx::db {
class Database;
}

namespace vdx::py {

// What the run saw, for the record (veldrix-cli prints it).
struct PyRunSummary {
    int64_t rows = 0;             // rows of the main data table
    int64_t rowsInNoTable = 0;    // with sex stratification: neither sex code
    int64_t rowsWithoutDays = 0;  // rows in a table whose follow-up added no day to any cell
    int64_t totalDays = 0;        // days in table 1 (all persons, or both sex codes)
    int64_t largestCell = 0;      // the largest cell of any table, in days
};

// Days of a cell beyond what a 32-bit integer holds: such a cell is kept and
// stored whole (64-bit), never wrapped.
inline constexpr int64_t kLargest32BitCell = 2147483647;

// How often, at most, the run lets the window breathe and looks for Cancel.
inline constexpr int kPollIntervalMs = 100;

// The row loop. Reads the columns varDOB, varEPS, varTPS (and varSEX with
// the stratification by sex, varDOH with a lag of more than 0 years) of the
// main data table in stored order, with the bounds of the settings, and
// fills `cells` with intAnzahlTables-shaped tables: 1 table without sex
// stratification, 3 with it (table 1 the sum of tables 2 and 3). Dates may
// be stored as dates or as text that reads as a date. Returns false when
// the progress window reported Cancel (CancelRequested is then set).
// Throws VdxError for a row whose date of birth, entry, exit or (with a lag)
// hire date is empty or not a date, naming the row, the column and the value,
// and for a row whose date of birth is after its entry date.
bool ComputePersonYears(ProgramState& state, db::Database& workingCopy, Progress& progress, PyCells& cells,
                        PyRunSummary& summary);

// Rewrites VdxAgeClassValues, VdxYearClassValues and VdxPyValues of the
// working copy from the bounds of the state and `cells`, in one transaction.
void StorePersonYearsTables(db::Database& workingCopy, const ProgramState& state, const PyCells& cells);

enum class PyRunOutcome { Completed, Cancelled, Failed };

// The run steps after the checks of Compute (the dialog has closed): the
// empty view, the hourglass and the progress window "Computing
// Person-Years"; the row loop; then, for a completed run, the value tables,
// PyValues, intAnzahlTables, blnPersonYears, the navigator's person-years
// entries and ProjectChanged. A cancelled run and a failed one (shown with
// the general error message) put the settings back from the snapshot and
// change nothing else. `summary` receives what the run saw (rows read up to
// a Cancel or a failing row).
PyRunOutcome RunPersonYears(ProgramState& state, Interaction& ui, const PySettingsSnapshot& snapshot,
                            PyRunSummary* summary = nullptr);

// The navigator's person-years entries: those of an earlier run removed,
// then "Age*Calendar" and, with three tables, the two sex entries.
void ReplacePersonYearsEntries(ProgramState& state);

}  // namespace vdx::py
