// Rename and Delete of an analysis (a table of causes, SMR by category): the
// commands of the tree's pop-up menu on an analysis's entry and of
// veldrix-cli rename / delete. An analysis is a row of VdxAnalyses (Name,
// Kind) and its table Name + the kind's suffix ("_Causes", "_Categories").
// Analyses and SMR projects share the tree's top level, so neither may take
// the other's name (letter case aside: table names ignore it).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "state/interaction.h"
#include "state/state.h"

namespace vdx::db {

class Database;

// The table suffix of an analysis kind: "_Causes", "_Categories".
std::string AnalysisTableSuffix(const std::string& kind);

struct AnalysisEntry {
    std::string name, kind;
};
// Every analysis of the study, in the order they were made.
std::vector<AnalysisEntry> Analyses(Database& db);
// The analysis whose name equals `name` (letter case aside); none when no
// analysis has it.
std::optional<AnalysisEntry> AnalysisNamed(Database& db, const std::string& name);

// Why `name` cannot name an analysis of `kind`, in words; "" when it can: a
// name that is empty or begins with a digit or a blank, a table name the
// engine refuses, the name of an SMR project of `projects` or of another
// analysis (each named), or a table of that name or of the analysis's table
// name. `own` is the present name of an analysis that is renamed.
std::string AnalysisNameProblem(Database& db, const std::string& name, const std::string& kind,
                                const std::vector<std::string>& projects, const std::string& own = {});

// Whether the tree entry `selectedPath` is an analysis's own entry.
bool IsAnalysisEntry(const ProgramState& state, const std::string& selectedPath);

// Asks for the new name (the old one as the default answer); empty or Cancel
// ends. A name AnalysisNameProblem refuses is refused with its message before
// anything changes. Renames the row and the table in one transaction, then
// rebuilds the navigator. True when the analysis was renamed.
bool RenameAnalysis(ProgramState& state, Interaction& ui, const std::string& selectedPath);
// Asks "Do you really want to delete NAME?"; No ends. Deletes the row and
// the table in one transaction and rebuilds the navigator. True when deleted.
bool DeleteAnalysis(ProgramState& state, Interaction& ui, const std::string& selectedPath);

}  // namespace vdx::db
