// Fast forward-only access to whole tables, for the runs that pass over a
// cohort of millions of rows once (the person-years run) and for writing
// long integer columns in one go. A Recordset finds every row by a query of
// its own; a TableStream walks one prepared statement from the first row to
// the last, in insertion order, and hands out the stored values of a few
// columns without building a Value per field.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/database.h"

namespace vdx::db {

class TableStream {
public:
    // How a field of the current row is stored.
    enum class Storage { Null, Integer, Real, Text };

    // Opens the named columns of a table (error 3011 when the table is
    // missing, 3265 when a column is). Columns are addressed by their
    // position in `columns`.
    TableStream(Database& db, const std::string& table, const std::vector<std::string>& columns);
    ~TableStream();
    TableStream(const TableStream&) = delete;
    TableStream& operator=(const TableStream&) = delete;

    // Number of rows of the table.
    int64_t rowCount() const { return rowCount_; }
    // Steps to the next row (the first one at the first call); false after the last.
    bool next();
    // 1-based position of the current row in stored order.
    int64_t position() const { return position_; }

    const FieldDef& field(int column) const { return fields_[static_cast<size_t>(column)]; }
    Storage storage(int column) const;
    double real(int column) const;            // Integer or Real storage
    std::string_view text(int column) const;  // Text storage (UTF-8)
    // The stored value as a Value of its field's type, as a Recordset gives it.
    Value value(int column) const;

private:
    Database& db_;
    sqlite3_stmt* stmt_ = nullptr;
    std::vector<FieldDef> fields_;
    int64_t rowCount_ = 0;
    int64_t position_ = 0;
};

// Adds one row per value to a table with a single integer column, in one
// transaction (on failure no row is added). The values are stored as SQLite
// integers as they stand, 64-bit, so that a person-years cell beyond the
// range of 32 bits is kept whole instead of wrapping.
void AppendIntegerRows(Database& db, const std::string& table, const std::string& column,
                       const std::vector<int64_t>& values);

}  // namespace vdx::db
