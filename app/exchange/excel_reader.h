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

#include "exchange/biff_reader.h"
#include "exchange/table_reader.h"

namespace vdx::exchange {

// A sheet's cells arranged as a table: the first row with a value gives the
// column names, the columns run from the first to the last column with a
// value.
struct SheetTable {
    std::vector<ColumnSpec> columns;
    std::vector<SheetCell> cells;  // ordered by row and column
    uint32_t headerRow = 0;
    uint16_t firstColumn = 0;
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

    bool readByFreeXl() const { return !biff_; }
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
