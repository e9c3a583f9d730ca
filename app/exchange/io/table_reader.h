// Reading the tables of foreign databases and files. Each format has one
// reader class behind the TableReader interface; the table of formats
// (file_formats.h) says which reader a format opens.
//
// Readers never hold a whole table in memory for the caller: rows are handed
// one at a time to a callback, in the order of the source.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "state/value.h"

namespace vdx::exchange {

struct ColumnSpec {
    std::string name;
    FieldType type = FieldType::Text;
    int size = 0;  // characters, for Text; 0 for the other types
    bool operator==(const ColumnSpec&) const = default;
};

// Told how far a read has come; returning false cancels the read (readRows
// then returns without further rows).
struct ReadProgress {
    virtual ~ReadProgress() = default;
    virtual bool report(double fraction) = 0;
};

using RowCallback = std::function<bool(const std::vector<Value>&)>;

class TableReader {
public:
    virtual ~TableReader() = default;
    // The tables of the source, as the source names them (sheets end in "$").
    virtual std::vector<std::string> tableNames() = 0;
    // The columns of a table; VdxError 3011 when there is no such table.
    virtual std::vector<ColumnSpec> columns(const std::string& table) = 0;
    // Calls onRow for each row in source order, with one value per column of
    // columns(table); stops early when onRow returns false.
    virtual void readRows(const std::string& table, const RowCallback& onRow,
                          ReadProgress* progress = nullptr) = 0;
};

}  // namespace vdx::exchange
