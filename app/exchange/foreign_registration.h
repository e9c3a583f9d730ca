// The exchange readers as formats of the engine's foreign-format registry
// (db/database.h), so that a table attached with a connect string such as
// "Excel 5.0;;DATABASE=/data/cohort.xls" is read by ExcelReader when the
// attach commands run "SELECT * INTO Cohort FROM _Cohort;".
//
// The readers hand their rows to a callback; the engine pulls rows from a
// RowSource. StreamRows joins the two: the reader runs on a thread of its
// own and passes rows on in small batches, so a table of millions of rows
// is copied without ever being held in memory.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "db/database.h"
#include "exchange/table_reader.h"

namespace vdx::exchange {

// Registers the readers for Access ("" — our own project files are still
// read as before), Excel 3.0 to 8.0, dBase III, IV and 5.0, Paradox 3.x to
// 5.x, Text and ODBC, keeping the writers another part of the program
// registered for these types. Calling it again puts back readers that a
// later registration replaced, and otherwise does nothing.
void RegisterExchangeFormats();

// The field a reader's column becomes in the project file: text keeps its
// size (255 when the source gives none or more), every type its type.
db::FieldDef FieldOfColumn(const ColumnSpec& column);

// A RowSource over a reader that pushes rows. `produce` is called once, on
// another thread, with a callback that takes each row and returns false when
// the consumer has gone (the reader should then stop). An error thrown by
// `produce` is thrown again from next().
std::unique_ptr<db::RowSource> StreamRows(std::vector<db::FieldDef> fields,
                                          std::function<void(const RowCallback&)> produce);

// The ODBC connection string of a connect string's attributes
// ("ODBC;DSN=x;UID=y" -> "DSN=x;UID=y").
std::string OdbcConnectionOf(const db::ConnectString& connect);

}  // namespace vdx::exchange
