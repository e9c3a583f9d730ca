// Tables > Main table > Remove and Tables > Rate table > Remove: taking a
// table that was brought in by mistake out of the project file again. The
// table, its registration (VdxSystemMain's MainTable row, or the table's row
// of VdxSystemRateTables and the intRateTablesAnzahl row) change in the
// working copy in one transaction; the program state and the navigator
// follow only once it is committed. Like every change, it reaches the
// project file with File > Save.
#pragma once

#include <string>
#include <vector>

#include "state/interaction.h"
#include "state/state.h"

namespace vdx::db {

class Database;

// The question before the main data table or a rate table goes, naming it.
std::string RemoveMainTableQuestion(const std::string& table);
std::string RemoveRateTableQuestion(const std::string& table);

// The first project (in the order of VdxSystemProjects) whose SMR table
// names the rate table in its RateTable row (row 2); "" when none does.
std::string ProjectUsingRateTable(const ProgramState& state, Database& workingCopy, const std::string& table);

// Asks the question (Yes/No) and removes the main data table. Message 16
// without a project file. True when the table was removed.
bool RemoveMainTable(ProgramState& state, Interaction& ui);

// Asks the question and removes the rate table `table`. A rate table that a
// project uses is refused with a message naming the project. True when the
// table was removed.
bool RemoveRateTable(ProgramState& state, Interaction& ui, const std::string& table);

}  // namespace vdx::db
