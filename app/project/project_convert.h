// veldrix-cli convert: a project file written again in our format or in the
// earlier program's Jet format, without opening it as a study.
#pragma once

#include <string>

#include "state/state.h"

namespace vdx::project {

// Reads the project file `in` (either format) and writes every table of it
// into `out` in `format`, through a temporary file renamed over `out` when
// complete. `in` is only read. Throws VdxError, leaving an existing `out` as
// it was: 75 when `out` names `in` (or is no project file name, see
// ResolveProjectFile), 3045 when a running instance has `out` open, 3343
// when `in` is no project file.
void ConvertProjectFile(const std::string& in, const std::string& out, ProjectFormat format);

}  // namespace vdx::project
