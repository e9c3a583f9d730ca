// Tools > Check cohort: every problem of the main data table and the work
// history at once, one row per problem with a code, the table, the row, the
// columns and the values, so that a user can mend them all before a run, or
// run with the persons listed left out explicitly.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "state/state.h"

namespace vdx::db {
class Database;
}

namespace vdx::py {

// The codes, one per kind of problem.
namespace problem {
inline constexpr const char* kDateMissing = "date-missing";            // birth, entry or exit empty
inline constexpr const char* kDateImpossible = "date-impossible";      // a value that is not a date
inline constexpr const char* kBirthAfterEntry = "birth-after-entry";
inline constexpr const char* kExitBeforeEntry = "exit-before-entry";
inline constexpr const char* kHireAfterExit = "hire-after-exit";
inline constexpr const char* kDeathWithoutExit = "death-without-exit";  // a death code, no exit date
inline constexpr const char* kPeriodReversed = "period-reversed";      // a work period that ends before it starts
inline constexpr const char* kPeriodOverlap = "period-overlap";        // overlaps the person's period before
inline constexpr const char* kIdWithoutPerson = "id-without-person";   // a work-history id not in the main table
}  // namespace problem

struct CohortProblem {
    std::string code;
    std::string table;
    int64_t row = 0;  // from 1, in stored order (the work history: its row order)
    std::string columns;
    std::string values;
};

// What the check looks at besides the person-years settings' date columns:
// the hire date column (the lag's, when empty), a death column (none: no
// death check), the work history and the main table's id column.
struct CohortCheckRequest {
    std::string hireColumn;
    std::string deathColumn;
    std::string workHistory;
    std::string idColumn;
};

// Every problem, main table first (in row order), then the work history.
// Throws VdxError when a table or column named is missing.
std::vector<CohortProblem> CheckCohort(const ProgramState& state, db::Database& workingCopy,
                                       const CohortCheckRequest& request);

// The problems as CSV (code,table,row,columns,values) or as lines of text.
std::string CohortProblemsCsv(const std::vector<CohortProblem>& problems);

// The rows of the main table a problem names, and those whose id the work
// history's problems name: the persons a run leaves out when asked to.
std::set<int64_t> ProblemRows(const ProgramState& state, db::Database& workingCopy,
                              const std::vector<CohortProblem>& problems, const CohortCheckRequest& request);

}  // namespace vdx::py
