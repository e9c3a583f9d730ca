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

#include "state/interaction.h"
#include "state/state.h"

namespace vdx::db {

// Asks for the new name ("Rename selected project!", the old name as the
// default answer); empty or Cancel ends. Refuses a name of the list (the old
// one included) with message 35, a name starting with a digit or a blank,
// or one the engine cannot use for the tables, with message 22. Renames the
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
