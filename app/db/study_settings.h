// Study-wide settings of the features that came after the original project
// file: one table VdxStudySettings (Key TEXT, Value TEXT), one row a key,
// created when a setting is first written. A study without it reads every
// setting as absent; readers that do not know the table ignore it.
#pragma once

#include <optional>
#include <string>

namespace vdx::db {

class Database;

inline constexpr const char* kVdxStudySettings = "VdxStudySettings";
// The registries of cause lists (Name, ...) and of analyses (Name, Kind,
// Settings, Created; Kind "Causes" has its table Name + "_Causes").
inline constexpr const char* kVdxCauseLists = "VdxCauseLists";
inline constexpr const char* kVdxAnalyses = "VdxAnalyses";

// The keys, all in one place.
namespace study_key {
// The years the ICD revisions start, as "7:1958,8:1968,9:1979,10:1999".
inline constexpr const char* kRevisionYears = "RevisionYears";
// A column of the main table naming each death's revision ("" for none).
inline constexpr const char* kRevisionColumn = "RevisionColumn";
}  // namespace study_key

std::optional<std::string> ReadStudySetting(Database& db, const std::string& key);
// Replaces the key's value (creates the table when there is none). Works in
// the caller's transaction, if any.
void WriteStudySetting(Database& db, const std::string& key, const std::string& value);

// Adds the analysis `name` of `kind` ("Causes", "Categories") to
// VdxAnalyses, created when missing, with its settings as text and the day (UTC)
// it was made. Works in the caller's transaction.
void RegisterAnalysis(Database& db, const std::string& name, const std::string& kind, const std::string& settings);

}  // namespace vdx::db
