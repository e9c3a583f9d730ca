// The person-years by exposure category of the last person-years run with a
// third axis, as the study keeps them. A study without such a run holds none
// of this: its tables are exactly those of a study without the axis.
//
//   VdxExposurePyValues (PersonYears LONG)  the days of every category's
//       tables, category-major, then table, age class and calendar period
//       (the order of VdxPyValues within a category);
//   VdxStudySettings keys Exposure*        the axis, its bounds, lag, hire
//       column, work history, id column and the days below the first bound.
#pragma once

#include <string>
#include <vector>

#include "state/state.h"

namespace vdx::db {

class Database;

inline constexpr const char* kVdxExposurePyValues = "VdxExposurePyValues";

namespace study_key {
inline constexpr const char* kExposureAxis = "ExposureAxis";          // "time-since-hire", "duration", "cumulative"
inline constexpr const char* kExposureBounds = "ExposureBounds";      // "0,1,5,10"
inline constexpr const char* kExposureLag = "ExposureLag";            // whole years
inline constexpr const char* kExposureHireColumn = "ExposureHireColumn";
inline constexpr const char* kExposureWorkHistory = "ExposureWorkHistory";
inline constexpr const char* kExposureIdColumn = "ExposureIdColumn";
inline constexpr const char* kExposureDaysBelow = "ExposureDaysBelow";
}  // namespace study_key

// The axis as the command line names it ("time-since-hire", "duration",
// "cumulative"), and back (None for any other text).
std::string AxisKey(ExposureAxisKind kind);
ExposureAxisKind AxisFromKey(const std::string& key);
// The axis in a table name: "Since hire", "Duration", "Cumulative".
std::string AxisWord(ExposureAxisKind kind);

// A bound as text: the shortest text that reads back as the same number.
std::string BoundText(double bound);
// "0,1,5,10" into bounds; empty when the list is not numbers in ascending order.
std::vector<double> ReadBounds(const std::string& text);

// Category k (1-based) of the bounds: "1-5", the last one open: "20+".
std::string CategoryLabel(const std::vector<double>& bounds, int k);
// The name of table t (1 all persons, 2 and 3 the sex codes) of category k:
// "Age*Calendar*Cumulative=1-5", "Age*Calendar*Sex=1*Cumulative=1-5".
std::string ExposureTableName(const ProgramState& state, int table, int category);
// The navigator key of that table.
std::string ExposureTableKey(int table, int category);

// Within the caller's transaction: replaces the stored categories by those
// of `results` (with a run without an axis, removes them: the table and the
// Exposure* keys).
void StoreExposureTables(Database& db, const ProgramState& state, const ExposureResults& results);

// The stored categories of the study into state.Exposure (and the axis into
// state.ExposureEntry), checked against the person-years settings; a study
// without them, or whose rows do not match, leaves both empty. Returns
// whether there were categories.
bool LoadExposureTables(Database& db, ProgramState& state);

}  // namespace vdx::db
