// Excel 2007 and later workbooks (.xlsx). Each worksheet is a table named
// after the sheet with "$" appended, as for .xls; its first row with a value
// holds the column names, and the columns get their types as in ExcelReader
// (BuildSheetTable).
//
// A workbook is a zip of XML parts: libzip inflates them and Qt's stream
// reader parses them as they inflate. A sheet is never held in memory: its
// XML is read once for the columns and their types and once more for the
// rows. Cells are shared or inline strings, numbers, booleans, ISO dates or
// a formula's cached value; a number whose cell style has a date format is a
// date (1900 or 1904 system, as the workbook says).
//
// Hostile files are refused with VdxError 3274 naming the file and what is
// wrong: a part that inflates to far more than its compressed size (a zip
// bomb), a row or cell beyond Excel's 1048576 rows or 16384 columns, a cell
// naming a shared string the workbook does not have, a date cell that is no
// date (an hour beyond 23 ...), a damaged zip or XML.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "exchange/formats/excel/biff_reader.h"
#include "exchange/formats/excel/excel_reader.h"
#include "exchange/io/table_reader.h"

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

    // The cells with a value of a sheet (index into tableNames()), in row
    // and column order, as the sheet's XML inflates: onCell returns false
    // to stop. VdxError 3274 naming the file and what is wrong for a cell
    // or row the sheet cannot have.
    void forEachCell(size_t index, const std::function<bool(const SheetCell&)>& onCell);
    // All of them at once (for small sheets: tests).
    std::vector<SheetCell> sheetCells(size_t index);

private:
    struct Sheet {
        std::string name;
        std::string part;  // "xl/worksheets/sheet1.xml"
    };
    size_t sheetIndex(const std::string& table) const;
    // The columns of a sheet, found by a pass over its cells the first time.
    const SheetTable& layout(size_t index);
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
    std::vector<std::optional<SheetTable>> layouts_;  // by sheet
};

}  // namespace vdx::exchange
