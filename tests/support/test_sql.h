// Test data by SQL: a table declared by a list of columns, and statements in
// SQLite's own dialect that fill, change or damage a study's tables.
#pragma once

#include <sqlite3.h>

#include <sstream>
#include <string>

#include "db/database.h"

namespace vdx::test {

// Creates `table` with the columns "ID LONG, Born DATE, Name TEXT(20)"; each
// type is read as the adapter reads a column's declared type.
inline void CreateTable(db::Database& d, const std::string& table, const std::string& columns) {
    db::TableDef def{table, 0, {}};
    std::istringstream list(columns);
    for (std::string column; std::getline(list, column, ',');) {
        std::istringstream words(column);
        std::string name, type;
        words >> name >> type;
        def.fields.push_back(db::FieldFromDeclaredType(name, type));
    }
    d.createTable(def);
}

// Runs SQL on the database as it stands; a failure throws the VdxError the
// adapter gives SQLite's result.
inline void Sql(db::Database& d, const std::string& sql) {
    char* message = nullptr;
    const int rc = sqlite3_exec(d.handle(), sql.c_str(), nullptr, nullptr, &message);
    sqlite3_free(message);
    if (rc != SQLITE_OK) d.raise(rc);
}

}  // namespace vdx::test
