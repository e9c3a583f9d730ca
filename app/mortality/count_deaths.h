// Observed deaths by stratum: one pass over the main data table that picks
// the rows carrying the chosen cause-of-death code (for all persons or one
// sex code, after an optional lag from the date of hire) and places each
// death in its age class and calendar period with the death kernel of
// libveldrix, so that deaths and person-years line up cell for cell.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "state/interaction.h"
#include "state/state.h"

namespace vdx::db {
class Database;
class TableStream;
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
//
// With `longRates`, the same pass splits each included person's follow-up
// at the rates' resolution into it (and its deaths by sex); the person's sex
// is read from `sexColumn` when the rates are by sex. Persons whose sex code
// has no rates are refused after the pass (DataError naming each code and
// how many persons have it).
class LongRateExpected;
bool CountDeaths(ProgramState& state, db::Database& workingCopy, Progress& progress,
                 LongRateExpected* longRates = nullptr, const std::string& sexColumn = "");

// Deaths sorted into classes in one pass, as CountDeaths counts them (the
// same persons, follow-up and checks): for a cause list, one class per cause.
// `classify` runs on the reading thread for every row of the table used, with
// the death column as column 0, `extraColumns` from column `firstExtra` on and
// the row's exit date (none when empty); it gives the classes the row's death
// counts in, or nullptr when it counts in none. What it points to must stay
// unchanged until the pass ends. `counts` becomes [class][age class
// 1..A-1][period 1..C-1] (index 0 unused). False when Cancel was reported.
struct DeathClassifier {
    std::vector<std::string> extraColumns;
    std::function<const std::vector<int32_t>*(const db::TableStream& rows, int firstExtra,
                                              std::optional<double> exitDay)>
        classify;
};
bool CountDeathClasses(ProgramState& state, db::Database& workingCopy, Progress& progress,
                       const std::string& deathColumn, int classCount, const DeathClassifier& classifier,
                       std::vector<std::vector<std::vector<int32_t>>>& counts, LongRateExpected* longRates = nullptr,
                       const std::string& sexColumn = "");

// Whether the death column `column` of `table` is a text column, whose codes
// compare as texts (ParseCodeGroup); the codes of any other column compare as
// numbers (ParseDeathGroup). Throws VdxError for a missing table.
bool IsTextDeathColumn(db::Database& workingCopy, const std::string& table, const std::string& column);

// The code of a text death column as it compares (NormalisedCode); a number
// stored in it as written in figures.
std::string DeathCodeText(const db::TableStream& rows, int column);

// Creates project + "_Deaths" (Deaths LONG) and adds the counts in age-major
// order: row r holds age class (r - 1) div (C - 1) + 1, period
// (r - 1) mod (C - 1) + 1. Runs inside the caller's transaction, if any.
void StoreDeathsTable(db::Database& workingCopy, const std::string& project,
                      const std::vector<std::vector<int32_t>>& deathCounts);

}  // namespace vdx::mortality
