// Excel 2007 and later workbooks (.xlsx). Each worksheet is a table named
// after the sheet with "$" appended, as for .xls; its first row with a value
// holds the column names, and the columns get their types as in ExcelReader
// (BuildSheetTable).
//
// A workbook is a zip of XML parts: libzip inflates them and Qt's stream
// reader parses them as they inflate. Cells are shared or inline strings,
// numbers, booleans or a formula's cached value; a number whose cell style
// has a date format is a date (1900 or 1904 system, as the workbook says).
//
// Hostile files are refused with VdxError 3274 naming the file: a part that
// inflates to far more than its compressed size (a zip bomb), a cell beyond
// Excel's 1048576 rows or 16384 columns, a damaged zip or XML.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "exchange/biff_reader.h"
#include "exchange/table_reader.h"

struct zip;

namespace vdx::exchange {

class XlsxReader : public TableReader {
public:
    // Opens the workbook and reads its sheet list, shared strings and
    // styles; VdxError 53 when the file is missing, 3274 when it is no
    // readable workbook.
    explicit XlsxReader(std::string path);
    ~XlsxReader() override;
    std::vector<std::string> tableNames() override;
    std::vector<ColumnSpec> columns(const std::string& table) override;
    void readRows(const std::string& table, const RowCallback& onRow, ReadProgress* progress) override;

    // The cells of a sheet (index into tableNames()).
    std::vector<SheetCell> sheetCells(size_t index);

private:
    struct Sheet {
        std::string name;
        std::string part;  // "xl/worksheets/sheet1.xml"
    };
    size_t sheetIndex(const std::string& table) const;
    void readWorkbook();
    void readSharedStrings();
    void readStyles();

    std::string path_;
    std::string fileName_;
    struct ZipCloser {
        void operator()(zip* z) const;
    };
    std::unique_ptr<zip, ZipCloser> zip_;
    std::vector<Sheet> sheets_;
    std::vector<std::string> sharedStrings_;
    std::vector<bool> dateStyles_;  // by cell style index (the cell's "s")
    bool date1904_ = false;
    bool plainSerials_ = false;  // no 29 February 1900 among the serials
};

}  // namespace vdx::exchange
