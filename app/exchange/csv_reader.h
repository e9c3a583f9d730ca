// Comma-separated files (RFC 4180) as one table, named after the file less
// its extension; the first record holds the column names.
//
// The separator is the one of comma, semicolon and tab that splits the
// first lines into the same number of fields, the most of them (comma first
// on a tie). Fields may be quoted, with the separator, doubled quotes and
// line breaks inside; lines end in CR LF or LF; a UTF-8 byte-order mark is
// skipped. Text that is not valid UTF-8 is read as Windows-1252.
//
// Column types are proposed from the data (a first pass over the file):
// Long when every value is a whole number of 32 bits, Double when every
// value is a number, Date when every value is an ISO date ("1867-03-15",
// with a time "1867-03-15 10:30:00" or "...T10:30:00"), Text otherwise
// (Memo beyond 255 characters). Empty fields are Null.
#pragma once

#include <string>
#include <vector>

#include "exchange/table_reader.h"

namespace vdx::exchange {

// The separator detected from the first lines of a file's text.
char DetectCsvSeparator(const std::string& firstLines);

class CsvReader : public TableReader {
public:
    // Reads the column names and proposes the types; VdxError 53 when the
    // file is missing, 3274 naming the file for a quoted field that never
    // closes or a record with more fields than the header.
    explicit CsvReader(std::string path);
    std::vector<std::string> tableNames() override;
    std::vector<ColumnSpec> columns(const std::string& table) override;
    void readRows(const std::string& table, const RowCallback& onRow, ReadProgress* progress) override;

    char separator() const { return separator_; }

private:
    // Calls onRecord with each record's fields (the header too); stops when
    // it returns false.
    void forEachRecord(const std::function<bool(std::vector<std::string>&, uint64_t line)>& onRecord) const;
    void checkTable(const std::string& table) const;

    std::string path_;
    std::string table_;
    char separator_ = ',';
    bool utf8_ = true;
    std::vector<ColumnSpec> columns_;
};

}  // namespace vdx::exchange
