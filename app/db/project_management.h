// Project > Rename and Project > Delete: the commands on a named project (a
// row of VdxSystemProjects and its tables project + "_Deaths" and
// project + "_SMR"). Both take the project from the navigator's selected
// entry (its full path; a project's entry is the project name) and end
// without a message when that entry is not a project's. Each changes the
// working copy in one transaction: a failure leaves the project whole, under
// its old name.
//
// Both set ProjectChanged, so that File > Exit, New and Open ask to save a
// renamed or deleted project instead of losing the change.
#pragma once

#include <string>
#include <vector>

#include "state/names.h"

#include "state/interaction.h"
#include "state/state.h"

namespace vdx::db {

class Database;

// A project's tables are named project + "_Deaths" and project + "_SMR", and
// a table name has at most kMaxNameLength (64) characters.
inline constexpr size_t kMaxProjectNameLength = kMaxNameLength - 7;

// Why `name` cannot name a project, as the message that says so; "" when it
// can. Message 22 for a name that is empty or begins with a digit or a
// blank; a name that is too long, with the limit; a character that a table
// name cannot hold; message 35 and the project meant for the name of a
// project in `others` when it differs only in letter case (table names
// ignore it; an exactly equal name is the caller's message 35); the name of
// an analysis (VdxAnalyses, letter case aside), naming it; and a table
// of the working copy that has one of the project's table names already.
// `own` is the present name of a project that is renamed: its own tables do
// not count.
std::string ProjectNameProblem(Database& db, const std::string& name, const std::vector<std::string>& others,
                               const std::string& own = {});

// Asks for the new name ("Rename selected project!", the old name as the
// default answer); empty or Cancel ends. Refuses a name of the list (the old
// one included) with message 35, and any name ProjectNameProblem refuses,
// with its message, before anything changes (a new letter case of the old
// name is a rename). Renames the
// row, the ProjectName row of the SMR table and both tables, then rebuilds
// the navigator. A failure shows the general error message (message 22 for
// error 3125) and rebuilds the navigator. True when the project was renamed.
bool RenameProject(ProgramState& state, Interaction& ui, const std::string& selectedPath);

// Asks "Do you really want to delete " + name + "?"; No ends. Deletes the
// row and whichever of the two tables exist, lowers ProjectCount and
// rebuilds the navigator. A failure shows the general error message. True
// when the project was deleted.
bool DeleteProject(ProgramState& state, Interaction& ui, const std::string& selectedPath);

}  // namespace vdx::db
