// The project file's system tables and the steps that move the program
// state into them and back: StoreProject, LoadProject and the conversions
// of older files. The key/value tables VdxSystemMain and VdxSystemPY are
// written and read by position — the file format fixes their row order, and
// no code looks a row up by its key.
#pragma once

#include <string>
#include <vector>

#include "state/errors.h"
#include "state/interaction.h"
#include "state/state.h"

namespace vdx::db {

class Database;

inline constexpr const char* kVdxSystemMain = "VdxSystemMain";
inline constexpr const char* kVdxSystemPY = "VdxSystemPY";
inline constexpr const char* kVdxSystemRateTables = "VdxSystemRateTables";
inline constexpr const char* kVdxSystemProjects = "VdxSystemProjects";
inline constexpr const char* kVdxAgeClassValues = "VdxAgeClassValues";
inline constexpr const char* kVdxYearClassValues = "VdxYearClassValues";
inline constexpr const char* kVdxPyValues = "VdxPyValues";

// The keys (Typ) of the rows of a project's SMR table (PROJECT_SMR), in
// stored order: those the file names by the earlier program's variables,
// and those it keeps in plain words.
namespace smr_row {
inline constexpr const char* ProjectName = "ProjectName";
inline constexpr const char* RateTable = "RateTable";
inline constexpr const char* PyTable = "PyTable";
inline constexpr const char* Alpha = "Alpha";
inline constexpr const char* DeathColumn = "varDTH";
inline constexpr const char* DeathCode = "varTod";
inline constexpr const char* Observed = "totTote";
inline constexpr const char* PersonYears = "totPy";
inline constexpr const char* DeathRate = "totDthRate";
inline constexpr const char* Expected = "Expected";
inline constexpr const char* Smr = "Smr";
inline constexpr const char* SmrLow = "Smr_l";
inline constexpr const char* SmrHigh = "Smr_h";
inline constexpr const char* Persons = "N";
inline constexpr const char* Included = "NInc";
inline constexpr const char* Lag = "Lag";
inline constexpr const char* Method = "Method";
inline constexpr const char* MainTable = "MainTable";
inline constexpr const char* DeathValues = "valuesDTH";  // a group of codes as typed
}  // namespace smr_row

// The keys of the rows, in stored order.
const std::vector<std::string>& SystemMainKeys();  // 5
const std::vector<std::string>& SystemPyKeys();    // 24

// Creates the seven system tables in the file's order (VdxSystemMain,
// VdxSystemPY, VdxSystemRateTables, VdxPyValues, VdxAgeClassValues,
// VdxYearClassValues, VdxSystemProjects) and adds the 5 and 24 key rows;
// only SMRReportHeading gets its value here, StoreProject fills the rest.
void CreateSystemTables(Database& db);

// Drops and creates again, empty, the tables of the person-years results
// (VdxAgeClassValues, VdxYearClassValues, VdxPyValues).
void RecreateValueTables(Database& db);

// The 24 settings as the texts stored in VdxSystemPY, in row order, and back
// (error 13 for a text that is not of the setting's type).
std::vector<std::string> PySettingTexts(const PySettings& py);
PySettings PySettingsFromTexts(const std::vector<std::string>& texts);

// Reads `count` values of the column `column` from the first row on, by
// position (error 3021 when the table has fewer rows). Null reads as "".
std::vector<std::string> ReadRows(Database& db, const std::string& table,
                                  const std::string& column, int count);

// Writes the project state into the working copy and copies the working copy
// safely over the project file (written as a Jet database when
// state.SaveFormat is Jet). Throws VdxError on failure (75 for a
// read-only project file, see IsReadOnlyFile); the working copy and the old
// project file are then intact.
void StoreProject(ProgramState& state);
// Writes the project state into the system tables of the working copy only.
void WriteProjectState(ProgramState& state, Database& workingCopy);

// Makes the working copy of ProjectFileName, converts an older file and loads
// it into the state and the navigator. Shows message 1, 42,
// "<path> is not a VELDRIX file!" or the general error message, and returns
// false, when it fails. Expects ProjectFileName and WorkingCopyName set.
// Person-years tables whose rows do not match their settings (counts,
// whole numbers) open as not computed, with a warning naming the table.
bool LoadProject(ProgramState& state, Interaction& ui);
// "<path> is not a VELDRIX file!" for error 3343; for a Jet database (of the
// earlier program's format) a second line says what is wrong with it (cut
// short, damaged, no study in it), from the error's description.
std::string NotAVeldrixFileText(const std::string& path, const VdxError& e);
bool UpgradeVersion1(ProgramState& state, Interaction& ui);
bool UpgradeVersion2(ProgramState& state, Interaction& ui, bool prepared);

// The columns of a table with a type tag judged on its first row: "numeric"
// when the value is a number or text that reads as one, "date" (tested
// second, so it wins) when it is a date or text that reads as a date, ""
// otherwise, for Null, and for every column of an empty table.
std::vector<FieldInfo> ClassifyColumns(Database& db, const std::string& table);

}  // namespace vdx::db
