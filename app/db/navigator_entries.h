// The navigator entries that loading a project (and rebuilding the tree)
// adds for the tables of the project file. Each returns the id of the entry
// it adds; state.CurrentNode holds the last node added, as the tree's
// builders leave it.
#pragma once

#include <string>
#include <vector>

#include "state/state.h"

namespace vdx::db {

class Database;

inline constexpr char kPlotsKey[] = "Plots";
inline constexpr char kCauseListsKey[] = "CauseLists";

// Under "Data": key "Main_Data_" + name, text name, image 3.
int AddMainTableEntry(ProgramState& state, const std::string& name);
// Under "Rate tables": key "Main_Rate tables_" + name (none when withKey is
// false, as a rebuilt tree has it), text name, image 3.
int AddRateTableEntry(ProgramState& state, const std::string& name, bool withKey = true);
// A top-level project entry (key and text = name, image 1) with its children
// "Deaths" and "SMR" (image 3), and "Strata" and "Observed vs expected" for
// an SMR project.
int AddProjectEntry(ProgramState& state, const std::string& project, bool smrProject = true);
// True unless the project's settings table is an SRR project's (no Figures
// column) or missing.
bool IsSmrProject(Database& db, const std::string& project);
// The top-level "Plots" entry (key "Plots", image 1) with "Forest plot" and
// "Person-years" (image 3); a tree that has it keeps it.
void AddPlotEntries(ProgramState& state);

// The analyses of a kind ("Categories") registered in VdxAnalyses, in the
// order they were made; none without the table.
std::vector<std::string> AnalysisNames(Database& db, const std::string& kind);
// The entry of an SMR-by-category analysis beside the projects: its name
// with the children "SMR by category" (its table), "Report" and "Plot".
int AddCategoriesEntry(ProgramState& state, const std::string& name);
// The tables of the study's newer features, from their registries: a
// top-level "Cause lists" entry with one entry per list (path "Cause lists_"
// + name), and per analysis of causes a top-level entry (image 1, before
// "Plots") with "Causes", "Report" and "Forest plot" (image 3); per analysis
// of exposure categories its entry (AddCategoriesEntry); per analysis of
// rate ratios one with "Rate ratios", "Report" and "Plot".
void AddAnalysisEntries(ProgramState& state, Database& db);
// The names in a registry's column Name (VdxCauseLists, VdxAnalyses), in
// their order; none when the study has no such table.
std::vector<std::string> RegisteredNames(Database& db, const std::string& registry);
// Under "Person-Years": "Age*Calendar" when tableCount is 1, else that
// and the two sex entries, with their keys; and the "Plots" entries.
void AddPersonYearsEntries(ProgramState& state);

}  // namespace vdx::db
