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
#include <vector>

#include "py/py_comp.h"
#include "state/interaction.h"
#include "state/state.h"

namespace vdx::db {
class Database;
}

namespace vdx::py {

// What the run saw, for the record: veldrix-cli prints it, the main window
// shows it after the run.
struct PyRunSummary {
    int64_t rows = 0;               // rows of the main data table read
    int64_t rowsInNoTable = 0;      // with sex stratification: neither sex code
    int64_t rowsExitBeforeEntry = 0;  // the exit date is before the entry date
    int64_t rowsLagAfterExit = 0;   // the lag ends after the exit date
    int64_t rowsOutsideClasses = 0; // no day of follow-up in any age class and calendar period
    int64_t totalDays = 0;          // days in table 1 (all persons, or both sex codes)
    int64_t largestCell = 0;        // the largest cell of any table, in days
    // With an exposure axis: the days in the categories (all persons) and
    // the days with an age class and calendar period but below the first bound.
    int64_t categoryDays = 0;
    int64_t daysBelowFirstBound = 0;

    // One row left out and why ("exit 31.12.1979 before entry 01.01.1980").
    struct LeftOut {
        int64_t row = 0;  // from 1, in stored order
        std::string why;
    };
    // The first kLeftOutDetails rows left out, in row order.
    std::vector<LeftOut> leftOut;

    int64_t rowsLeftOut() const {
        return rowsInNoTable + rowsExitBeforeEntry + rowsLagAfterExit + rowsOutsideClasses;
    }
    int64_t rowsIncluded() const { return rows - rowsLeftOut(); }
};

// How many of the rows left out a summary names one by one.
inline constexpr size_t kLeftOutDetails = 1000;

// What a completed run saw, one line each, as veldrix-cli prints it and the
// main window shows it: the tables and their shape, the persons (rows)
// read, included and left out, each reason with its count (no sex code,
// exit before entry, lag ending after exit, outside every class), the
// person-years of table 1 and a cell too large for 32 bits.
std::vector<std::string> PyRunSummaryLines(const ProgramState& state, const PyRunSummary& summary);

// The rows left out, one line each ("Row 12: exit ... before entry ..."),
// at most `limit` of them, with a last line for the others; empty when no
// row was left out.
std::vector<std::string> PyRunLeftOutLines(const PyRunSummary& summary, size_t limit = kLeftOutDetails);

// Days of a cell beyond what a 32-bit integer holds: such a cell is kept and
// stored whole (64-bit), never wrapped.
inline constexpr int64_t kLargest32BitCell = 2147483647;

// How often, at most, the run lets the window breathe and looks for Cancel.
inline constexpr int kPollIntervalMs = 100;

// The row loop. Reads the columns birthColumn, entryColumn, exitColumn (and
// sexColumn with the stratification by sex, hireColumn with a lag of more
// than 0 years) of the main data table in stored order, with the bounds of
// the settings, and fills `cells` with tableCount tables: 1 table without
// sex stratification, 3 with it (table 1 the sum of tables 2 and 3). Dates may
// be stored as dates or as text that reads as a date. Returns false when
// the progress window reported Cancel (CancelRequested is then set).
// Throws VdxError for a row whose date of birth, entry, exit or (with a lag)
// hire date is empty or not a date, naming the row, the column and the value,
// and for a row whose date of birth is after its entry date.
// With `exposure`, the axis of state.ExposureEntry (if any) splits the
// follow-up a third time in the same pass: `exposure` receives one PyCells
// per class, the work history read person by person (its periods sorted by
// the id; a period that ends before it starts or overlaps the one before
// stops the run, naming the row).
bool ComputePersonYears(ProgramState& state, db::Database& workingCopy, Progress& progress, PyCells& cells,
                        PyRunSummary& summary, ExposureResults* exposure = nullptr);

// Rewrites VdxAgeClassValues, VdxYearClassValues and VdxPyValues of the
// working copy from the bounds of the state and `cells`, in one transaction.
// With `exposure`, also replaces the stored exposure categories (none for a
// run without an axis), in the same transaction.
void StorePersonYearsTables(db::Database& workingCopy, const ProgramState& state, const PyCells& cells,
                            const ExposureResults* exposure = nullptr);

enum class PyRunOutcome { Completed, Cancelled, Failed };

// The run steps after the checks of Compute (the dialog has closed): the
// empty view, the hourglass and the progress window "Computing
// Person-Years"; the row loop; then, for a completed run, the value tables,
// PyValues, tableCount, computed, the navigator's person-years
// entries and ProjectChanged. A cancelled run and a failed one (shown with
// the general error message) put the settings back from the snapshot (the
// self-defined class lists included), show the view shown before and
// change nothing else. `summary` receives what the run saw (rows read up to
// a Cancel or a failing row).
PyRunOutcome RunPersonYears(ProgramState& state, Interaction& ui, const PySettingsSnapshot& snapshot,
                            PyRunSummary* summary = nullptr);

// The navigator's person-years entries: those of an earlier run removed,
// then "Age*Calendar" and, with three tables, the two sex entries.
void ReplacePersonYearsEntries(ProgramState& state);

}  // namespace vdx::py
