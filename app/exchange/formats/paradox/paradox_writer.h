// Paradox export (.db) through pxlib's writing functions, for the Paradox
// 3.x, 4.x and 5.x choices. Texts become Alpha fields as wide as the longest
// value (Windows-1252, code page 1252), numbers Number fields, dates Date
// fields. Paradox 5.x has Long integer and Logical fields; Paradox 4.x has
// neither, so integers become Short (or Number beyond its range) and booleans
// the texts "True"/"False". pxlib writes the header of Paradox 4.0 and later,
// so the 3.x choice writes a 4.x table, which every Paradox from 4.0 opens.
//
// Field widths come from the values: the rows are kept until finish().
#pragma once

#include <string>
#include <vector>

#include "exchange/io/writer_support.h"

namespace vdx::exchange {

// Names usable as Paradox field names (at most 25 characters, unique without
// regard to letter case, Windows-1252).
std::vector<std::string> ParadoxFieldNames(const std::vector<ColumnSpec>& columns);

class ParadoxTableWriter : public FileTableWriter {
public:
    // version: 3, 4 or 5.
    ParadoxTableWriter(std::string targetPath, std::string tableName, int version)
        : FileTableWriter(std::move(targetPath), std::move(tableName)), version_(version) {}

protected:
    void open(const std::vector<ColumnSpec>& columns) override;
    void put(const std::vector<Value>& row) override;
    void close() override;

private:
    struct Field {
        char kind = 'A';  // A alpha, N number, S short, I long, D date, L logical, B boolean as alpha
        size_t width = 1;
        bool integersOnly = true;
        int64_t minimum = 0, maximum = 0;
    };
    int version_;
    std::vector<Field> fields_;
    std::vector<Value> converted_;
    RowSpool spool_;
};

}  // namespace vdx::exchange
