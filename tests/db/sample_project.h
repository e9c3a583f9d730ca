// A small study written straight into a project's working copy, for the
// navigator and view tests: a main data table with dates, a rate table, a
// project with its deaths and SMR tables, and person-years cells by sex.
#pragma once

#include <string>

#include "state/interaction.h"
#include "state/state.h"

namespace vdx::test {

inline constexpr const char* kMainTable = "Cohort";
inline constexpr const char* kRateTable = "Rates 1990";
inline constexpr const char* kProject = "P1";

// Creates the project file at path (as File > New does) and adds the sample
// study to its working copy and to state, as the commands that bring tables
// in and compute would. Returns false when the project could not be created.
bool CreateSampleProject(ProgramState& state, Interaction& ui, const std::string& path);

// Person-years state: age bounds 20, 40, 60, 80 and calendar bounds 1970,
// 1980, 1990 (3 x 2 cells), three tables (all, sex 1, sex 2); cell (t, a, c)
// holds 1000 * t + 100 * a + 10 * c days, and cell (1, 1, 1) 0 and (1, 1, 2)
// 730 days.
void SetSamplePersonYears(ProgramState& state);

// Adds a table of `rows` rows (ID, Birth date, Entry date, Sex, Weight) to
// the working copy in one transaction.
void AddLargeTable(const std::string& workingCopy, const std::string& name, int rows);

}  // namespace vdx::test
