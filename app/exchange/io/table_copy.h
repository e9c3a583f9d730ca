// Copying a table that a reader hands over row by row into a new table of a
// database of ours: one prepared INSERT, inside the caller's transaction, no
// row held longer than it takes to write it.
#pragma once

#include <string>

#include "db/database.h"
#include "exchange/io/table_reader.h"

namespace vdx::exchange {

// The field a reader's column becomes in the project file: text keeps its
// size (255 when the source gives none or more), every type its type.
db::FieldDef FieldOfColumn(const ColumnSpec& column);

// The definition of the new table `name` with the columns of the source table.
db::TableDef TableDefOf(TableReader& reader, const std::string& sourceTable, const std::string& name);

// Creates the table `def` in db and adds the rows of the source table in
// source order.
void CopyReaderTable(TableReader& reader, const std::string& sourceTable, db::Database& db,
                     const db::TableDef& def);

}  // namespace vdx::exchange
