// Excel workbooks (.xls, Excel 2.1 to 2003). Each worksheet is a table named
// after the sheet with "$" appended; its first row holds the column names.
//
// Cells are read by our own BIFF reader; FreeXL reads the files that reader
// refuses. FreeXL is not the first choice because it gives no value for
// formula cells and turns dates before 1900 (written by gnumeric as negative
// serials) into 1 January 1900.
//
// A column whose cells are all numbers is Double, all dates Date, all
// booleans Boolean; any other mix is Text, the numbers, dates and booleans
// written as the program writes them (NumberText, FormatDate, BooleanText).
// Dates before 1900, which spreadsheets keep as text, so stay text and count
// as dates where the program needs a date.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "exchange/formats/excel/biff_reader.h"
#include "exchange/io/reader_support.h"
#include "exchange/io/table_reader.h"

namespace vdx::exchange {

// A sheet's cells arranged as a table: the first row with a value gives the
// column names, the columns run from the first to the last column with a
// value.
struct SheetTable {
    std::vector<ColumnSpec> columns;
    std::vector<SheetCell> cells;  // ordered by row and column
    uint32_t headerRow = 0;
    uint32_t lastRow = 0;  // the last row with a value
    uint16_t firstColumn = 0;
};

// The layout of a sheet (everything of SheetTable but the cells), built from
// its cells one by one in row and column order, so that a sheet need not be
// held in memory to learn its columns.
class SheetLayout {
public:
    void add(const SheetCell& cell);
    // VdxError 3274 for a sheet without any value, 3125 for bad column names.
    SheetTable finish(const std::string& tableName) const;

private:
    bool any_ = false;
    uint32_t headerRow_ = 0, lastRow_ = 0;
    uint16_t first_ = 0, last_ = 0;
    // By column of the sheet: its name, the kinds of its values, its longest text.
    std::vector<std::string> names_;
    std::vector<unsigned> kinds_;
    std::vector<size_t> longest_;
};

// Hands the rows below the header of a sheet of that layout to onRow, built
// from its cells one by one in row and column order; a row without a value
// between rows with values is a row of Nulls.
class SheetRowStream {
public:
    SheetRowStream(const SheetTable& layout, const RowCallback& onRow, ReadProgress* progress);
    // False once the reading is to stop (onRow said so, or the user cancelled).
    bool add(const SheetCell& cell);
    // Hands over the last row.
    void finish();

private:
    bool emitUpTo(uint32_t row);  // the rows before `row`

    const SheetTable& layout_;
    const RowCallback& onRow_;
    ProgressTicker ticker_;
    std::vector<Value> row_;
    uint32_t current_;  // the row being filled
    bool stopped_ = false;
};

// VdxError 3274 for a sheet without any value, 3125 for bad column names.
SheetTable BuildSheetTable(std::vector<SheetCell> cells, const std::string& tableName);
void EmitSheetRows(const SheetTable& table, const RowCallback& onRow, ReadProgress* progress);

// The cells of every sheet as FreeXL reads them; VdxError 3274 when FreeXL
// cannot open the file. FreeXL runs in a child process, so that a damaged
// file that makes it crash ends only that process.
struct FreeXlWorkbook {
    int biffVersion = 0;
    std::vector<std::string> sheetNames;
    std::vector<std::vector<SheetCell>> sheets;
};
FreeXlWorkbook ReadWithFreeXl(const std::string& path);

class ExcelReader : public TableReader {
public:
    // Opens the workbook; VdxError 53 when the file is missing, 3274 when
    // neither reader can read it.
    explicit ExcelReader(std::string path);
    std::vector<std::string> tableNames() override;
    std::vector<ColumnSpec> columns(const std::string& table) override;
    void readRows(const std::string& table, const RowCallback& onRow, ReadProgress* progress) override;

    int biffVersion() const;

private:
    size_t sheetIndex(const std::string& table) const;
    SheetTable sheetTable(const std::string& table);

    std::string path_;
    std::unique_ptr<BiffWorkbook> biff_;
    std::unique_ptr<FreeXlWorkbook> freexl_;
    std::vector<std::string> sheetNames_;
};

}  // namespace vdx::exchange
