// The naming rules for tables and columns, shared by the database adapter
// (which refuses impossible names with error 3125) and the table readers
// (which name the offending column of a source).
#pragma once

#include <cstddef>
#include <string>

namespace vdx {

inline constexpr size_t kMaxNameLength = 64;  // characters
// Columns of one table: the database engine (SQLite) takes at most 2000.
inline constexpr size_t kMaxTableColumns = 2000;

// Characters of a UTF-8 text (continuation bytes are not counted).
size_t Utf8Length(const std::string& text);

// Why a text cannot be a table or column name, as the end of a sentence
// ("has no name", "begins with a blank", ...), or "" when it can be one.
// Names have 1 to 64 characters, do not begin with a blank and hold no
// control characters and none of . ! ` [ ].
std::string NameProblem(const std::string& name);

inline bool IsValidName(const std::string& name) { return NameProblem(name).empty(); }

}  // namespace vdx
