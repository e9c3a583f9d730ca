// Excel export: our own writer of Excel's binary file format (BIFF).
//   Excel 3.0 / 4.0: a BIFF3 / BIFF4 worksheet file (a plain record stream)
//   Excel 5.0 / 7.0: a BIFF5 workbook, stream "Book" in a compound file
//   Excel 8.0:       a BIFF8 workbook, stream "Workbook" in a compound file
// One sheet, named after the table (workbooks only): the column names in the
// first row, then one row per table row. Numbers are number cells, dates
// number cells with a day.month.year format, booleans boolean cells, texts
// text cells (Windows-1252 up to Excel 7.0, Unicode in Excel 8.0); Null
// leaves the cell empty.
//
// A sheet of Excel 3.0 to 7.0 holds 16,384 rows, of Excel 8.0 65,536; a
// larger table is refused before anything is written.
#pragma once

#include <string>

#include "exchange/io/writer_support.h"

namespace vdx::exchange {

// The sheet name a table gets: the characters Excel forbids in sheet names
// ([ ] : * ? / \) replaced by "_", at most 31 characters, "Sheet1" if empty.
std::string ExcelSheetName(const std::string& tableName);

class ExcelTableWriter : public FileTableWriter {
public:
    // biffVersion: 3, 4, 5 or 8.
    ExcelTableWriter(std::string targetPath, std::string tableName, int biffVersion)
        : FileTableWriter(std::move(targetPath), std::move(tableName)), version_(biffVersion) {}

protected:
    uint64_t rowLimit() const override { return (version_ == 8 ? 65536 : 16384) - 1; }
    size_t columnLimit() const override { return 256; }
    void open(const std::vector<ColumnSpec>& columns) override;
    void put(const std::vector<Value>& row) override;
    void close() override;

private:
    void textCell(uint32_t row, uint16_t column, const std::string& text, const std::string& columnName);
    void record(std::string& out, uint16_t type, const std::string& data) const;
    std::string cellHead(uint32_t row, uint16_t column, uint16_t xf) const;
    std::string workbookBof(uint16_t type) const;
    std::string worksheetStart() const;
    std::string worksheetEnd() const;
    std::string workbookGlobals(uint32_t sheetOffset, size_t& boundSheetPosition) const;

    int version_;
    uint16_t generalXf_ = 0;
    uint16_t dateXf_ = 1;
    std::string cells_;  // the cell records of the sheet
    uint32_t lastRow_ = 0;
};

}  // namespace vdx::exchange
