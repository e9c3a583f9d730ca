// Pieces the adapter's source files share; not for use outside app/db.
#pragma once

#include <sqlite3.h>

#include <memory>
#include <string>
#include <vector>

#include "db/database.h"

namespace vdx::db::detail {

// Error helpers with the engine's numbers and clear descriptions.
[[noreturn]] void Fail(int number, const std::string& description);
[[noreturn]] void FailTableExists(const std::string& name);     // 3010
[[noreturn]] void FailObjectNotFound(const std::string& name);  // 3011
[[noreturn]] void FailInvalidName(const std::string& name);     // 3125
void RequireValidName(const std::string& name);                 // 3125 unless valid

// Case-insensitive comparison of ASCII names (as SQLite and the old engine).
bool SameName(const std::string& a, const std::string& b);
std::string Lower(std::string s);

// A prepared statement that finalizes itself.
class Statement {
public:
    Statement(Database& db, const std::string& sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    sqlite3_stmt* get() const { return stmt_; }
    void reset();
    // SQLITE_ROW -> true, SQLITE_DONE -> false, anything else raises.
    bool step();
    void bind(int index1, const Value& value);
    void bindText(int index1, const std::string& text);
    void bindInt(int index1, int64_t value);

private:
    Database& db_;
    sqlite3_stmt* stmt_ = nullptr;
    bool atStart_ = true;  // the next step runs the query (Database::readCounts)
};

// A stored column value as a Value of the field's type.
Value ColumnValue(sqlite3_stmt* stmt, int column, const FieldDef& field);

// The fields of a table of the database, from its declared column types.
std::vector<FieldDef> TableFields(Database& db, const std::string& table);

// The name under which SQL reaches a table's row order. SQLite keeps it as
// rowid, _rowid_ and oid, and a user column of one of these names hides that
// one: the first of the three that no column of `fields` takes. A table
// whose columns take all three has no order to read: error 3125 naming them.
std::string RowOrderName(const std::vector<FieldDef>& fields, const std::string& table);

// CREATE TABLE text for a definition (names quoted).
std::string CreateTableSql(const std::string& table, const std::vector<FieldDef>& fields);

// Number of characters of UTF-8 text.

// Recordsets.
std::unique_ptr<Recordset> OpenTableRecordset(Database& db, const std::string& table);
std::unique_ptr<Recordset> OpenQueryRecordset(Database& db, const std::string& sql);

// Rows of a table of the database, in insertion order.
std::unique_ptr<RowSource> TableRows(Database& db, const std::string& table);

}  // namespace vdx::db::detail
