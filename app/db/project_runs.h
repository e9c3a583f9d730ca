// Which person-years run each project was made from. A project's deaths and
// figures belong to the person-years of its run; once the person-years are
// computed again with other settings or other data, the stratum table and
// the plots must not put the new person-years beside the project's old
// deaths. The table VdxProjectRuns keeps one row per project:
//
//   Project  TEXT  the project's name
//   PyRun    TEXT  the fingerprint of the person-years run it was made from
//   Deaths   TEXT  the fingerprint of its deaths table when it was made
//
// Readers that do not know the table (the earlier program, older versions)
// ignore it. A project without a row, or whose deaths table is no longer the
// one recorded (the earlier program made another project of that name),
// counts as up to date, as every project did before the record.
#pragma once

#include <string>

#include "state/state.h"

namespace vdx::db {

class Database;

inline constexpr const char* kVdxProjectRuns = "VdxProjectRuns";

// The fingerprint of the person-years run the state holds: the settings that
// shape its cells (the date, sex and hire columns, the sex codes, the lag, the
// class bounds, the number of tables) and every cell. A run computed again
// with the same settings over the same data has the same fingerprint. ""
// without person-years.
std::string PersonYearsRunId(const ProgramState& state);

// Records that `project` was made from the state's person-years run (its row
// replaced when there is one), its deaths table as it is now. Creates
// VdxProjectRuns when the working copy has none. Works in the caller's
// transaction, if any.
void RecordProjectRun(Database& db, const ProgramState& state, const std::string& project);
// The record follows a renamed project; a deleted project's goes with it.
void RenameProjectRun(Database& db, const std::string& oldName, const std::string& newName);
void ForgetProjectRun(Database& db, const std::string& project);

enum class ProjectRunState { Current, OutOfDate, NotRecorded };
ProjectRunState CheckProjectRun(Database& db, const ProgramState& state, const std::string& project);

// What the views say of a project that is out of date.
std::string OutOfDateText(const std::string& project);

}  // namespace vdx::db
