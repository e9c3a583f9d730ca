// Observed deaths by stratum: one pass over the main data table that picks
// the rows carrying the chosen cause-of-death code (for all persons or one
// sex code, after an optional lag from the date of hire) and places each
// death in its age class and calendar period with the death kernel of
// libveldrix, so that deaths and person-years line up cell for cell.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "state/interaction.h"
#include "state/state.h"

namespace vdx::db {
class Database;
}

namespace vdx::mortality {

// Counts the deaths of the main data table into state.mortality.DeathCounts
// ([age class 1..A-1][period 1..C-1], index 0 unused) and sets
// state.mortality.IncludedCount, from the stratification settings and the
// run's choices in state.mortality: DeathColumn, DeathValuesText (a code or a
// group of codes and ranges; when it is not one, the single DeathCode), PyTableSelector
// (1 all persons — with the stratification by sex, the persons of either
// code —, 2 sexCode1, 3 sexCode2) and DeathLag (years after the date of hire).
// Deaths and person-years agree: only the persons of the table used count,
// and of them only those with follow-up. A person has none whose exit is
// before the entry (whole days) or whose hire date plus the lag is on or
// after the exit; IncludedCount is the number of persons of the table used
// with follow-up. Empty values make the tests false (an empty entry or hire
// date leaves the person in); codes compare as numbers. Returns false when
// the progress window reported Cancel (the counts then stay all zero).
// Throws VdxError, naming the row, the column and the value, for a counted
// death whose termination or birth date is empty or not a date, for a date
// of the tests that is not a date, and for a death whose exit is before its
// entry (a row the person-years run gave no day).
bool CountDeaths(ProgramState& state, db::Database& workingCopy, Progress& progress);

// Creates project + "_Deaths" (Deaths LONG) and adds the counts in age-major
// order: row r holds age class (r - 1) div (C - 1) + 1, period
// (r - 1) mod (C - 1) + 1. Runs inside the caller's transaction, if any.
void StoreDeathsTable(db::Database& workingCopy, const std::string& project,
                      const std::vector<std::vector<int32_t>>& deathCounts);

}  // namespace vdx::mortality
