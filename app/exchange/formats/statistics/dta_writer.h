// Stata .dta export (format 118, Stata 14 and later, UTF-8) through
// libreadstat's writer. Column types become Stata storage types:
//
//   Text, Memo        str1 .. str2045 as the longest value needs (bytes),
//                     strL beyond; Null is the empty string (Stata has no
//                     missing strings)
//   Integer, Long     long (32 bits) when every value lies in Stata's range
//                     for it (-2,147,483,647 .. 2,147,483,620), else double
//   Single, Double    double
//   Boolean           byte, 1 and 0
//   Date              double in days since 1 January 1960, format %td; in
//                     milliseconds since then, %tc, when a value has a time
//   of day.
//
// Null in a numeric column is Stata's system missing value ".". Variable
// names are made valid Stata names (StataVariableNames) and the column names
// are kept as the variables' labels.
//
// A .dta header states the row count and the string widths before the rows,
// so the rows are kept compactly in memory (RowSpool) until finish().
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "exchange/io/writer_support.h"

namespace vdx::exchange {

// Stata names for columns: letters, digits and "_" (any other character
// becomes "_"), not beginning with a digit, at most 32 characters, none of
// Stata's reserved words, unique ("_2", "_3" ... appended to a repeat).
std::vector<std::string> StataVariableNames(const std::vector<ColumnSpec>& columns);

class DtaTableWriter : public FileTableWriter {
public:
    using FileTableWriter::FileTableWriter;

protected:
    size_t columnLimit() const override { return 32767; }
    void open(const std::vector<ColumnSpec>& columns) override;
    void put(const std::vector<Value>& row) override;
    void close() override;
    void abandon() override;

private:
    enum class Storage { String, Byte, Long, Double, Day, Millisecond };
    struct Column {
        Storage storage = Storage::Double;
        size_t width = 1;       // bytes of the longest text
        bool fitsLong = true;   // every whole number lies in Stata's long range
        bool hasTime = false;   // a date carries a time of day
    };
    friend struct DtaOutput;
    std::vector<Column> layout_;
    RowSpool rows_;
    std::unique_ptr<AtomicFile> file_;
};

}  // namespace vdx::exchange
