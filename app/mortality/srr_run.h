// Compute > SRR without widgets: the same menu command, lists and checks as
// Compute > SMR (smr_run.h) without the method. The run counts the observed
// deaths and stores the project's deaths table and a settings table of 16
// rows whose results are all "0": an SRR project computes no ratio.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "mortality/smr_run.h"

namespace vdx::mortality {

// The 16 (Typ, Values) rows of an SRR project's settings table for the run
// in state.mortality, in stored order. A group of codes as death value
// ("160-165, 170") adds a 17th row, the death values as typed, since the
// death code's row holds only its first code; a single code keeps the 16 rows.
std::vector<std::pair<std::string, std::string>> SrrSettingsRows(const MortalityResults& run);

// Compute after the checks (CheckSmrRequest; the request's method is not
// used): stores the project — its row in VdxSystemProjects, its deaths table
// and its settings table project + "_SMR" (Typ TEXT, Values TEXT) — in one
// transaction, as RunSmr does. False, with the working copy as it was and
// ProjectCount lowered again, when anything fails.
bool RunSrr(ProgramState& state, Interaction& ui, const SmrRequest& request);

}  // namespace vdx::mortality
