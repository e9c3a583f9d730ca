// dBase export (.dbf) for the dBase III, IV and 5.0 choices: one table per
// file, without a memo file. Field names are cut to 10 characters of letters,
// digits and "_" and made unique; texts become character fields as wide as
// the longest value (Windows-1252, language driver 0x03), numbers numeric
// fields wide enough for every value with as many decimals as the most
// precise value needs, dates date fields, booleans logical fields.
//
// The widths come from the values, so the rows are kept in memory until
// finish(). dBase III allows numeric fields of 19 characters, IV and 5.0 of 20;
// a value that needs more, or a text longer than 254 characters or with a
// character Windows-1252 lacks, is refused.
#pragma once

#include <string>
#include <vector>

#include "exchange/io/writer_support.h"

namespace vdx::exchange {

// Names usable as dBase field names (at most 10 characters of A-Z, a-z, 0-9
// and "_", unique without regard to letter case), in the order of the columns.
std::vector<std::string> DBaseFieldNames(const std::vector<ColumnSpec>& columns);

class DBaseTableWriter : public FileTableWriter {
public:
    DBaseTableWriter(std::string targetPath, std::string tableName, int version)
        : FileTableWriter(std::move(targetPath), std::move(tableName)), version_(version) {}

protected:
    void open(const std::vector<ColumnSpec>& columns) override;
    void put(const std::vector<Value>& row) override;
    void close() override;

private:
    struct Field {
        char type = 'C';
        size_t intChars = 1;  // numbers: characters before the point, sign included
        size_t decimals = 0;
        size_t width = 1;
    };
    int version_;  // 3, 4 or 5
    std::vector<Field> fields_;
    RowSpool spool_;
};

}  // namespace vdx::exchange
