// Filling a new table row by row with one prepared INSERT: the copy of a
// table that a reader hands over one row at a time (the attach commands,
// the import of a Jet project file). The caller holds the transaction.
#pragma once

#include <memory>
#include <vector>

#include "db/database.h"

namespace vdx::db {

class TableInserter {
public:
    // Creates the table of `def` (errors as Database::createTable: 3010 when
    // the name is taken, 3125 for a name the project file cannot hold).
    TableInserter(Database& db, const TableDef& def);
    ~TableInserter();
    TableInserter(const TableInserter&) = delete;
    TableInserter& operator=(const TableInserter&) = delete;

    // Adds one row, each value converted for its field as ConvertForField
    // does; values missing at the end are Null.
    void add(const std::vector<Value>& row);

private:
    struct Insert;
    std::vector<FieldDef> fields_;
    std::unique_ptr<Insert> insert_;
};

}  // namespace vdx::db
