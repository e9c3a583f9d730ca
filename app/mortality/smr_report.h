// The SMR report: the plain text that the main window shows for a project's
// "SMR" node, built from the project's SMR table and the report heading of
// the project file, and the heading's reading and storing for the report
// options.
#pragma once

#include <optional>
#include <string>

#include "state/state.h"

namespace vdx::mortality {

// An SMR with no expected deaths (E = 0) is not defined. Its project stores
// 0s in the rows of the SMR and its bounds (the table keeps its layout);
// the report, the plots and the stratum table show kNotDefined instead of a
// number. A missing figure (an older file) counts as defined.
inline constexpr const char* kNotDefined = "not defined";
inline bool SmrDefined(const std::optional<double>& expected) { return !expected || *expected != 0; }

// The report of the SMR table `smrTable` (project + "_SMR") of the open
// project, lines separated by CR LF, SMR and bounds multiplied by
// SmrNullValue. Leaves the observed and expected numbers, the level and the
// method in state.mortality.Shown* for the SMR calculator. With E = 0 the
// SMR and its bounds read kNotDefined; a project out of date (its
// person-years computed again since) ends with a line that says so. Throws
// VdxError when the table cannot be read, is an SRR project's (saying so)
// or has fewer than its 19 rows.
std::string BuildSmrReport(ProgramState& state, const std::string& smrTable);

// The report heading: row 5 of VdxSystemMain of the working copy.
std::string ReadSmrReportHeading(const std::string& workingCopy);
// Stores the heading in row 5 of VdxSystemMain and marks the project file as
// changed (it needs saving to keep the heading). Throws VdxError when it
// cannot be written (a heading longer than 255 characters: error 3163).
void StoreSmrReportHeading(ProgramState& state, const std::string& heading);

}  // namespace vdx::mortality
