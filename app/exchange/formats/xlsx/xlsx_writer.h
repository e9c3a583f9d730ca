// Excel 2007+ workbooks (.xlsx) through libxlsxwriter: one worksheet named
// after the table (ExcelSheetName: "Age*Calendar" becomes "Age_Calendar"),
// the column names in its first row, one row per table row. Numbers are
// number cells, booleans boolean cells, texts inline strings, dates number
// cells with a date format ("yyyy-mm-dd", with " hh:mm:ss" when the date has
// a time of day), Null an empty cell.
//
// Serial numbers follow the 1900 date system as Excel counts it (1 January
// 1900 is 1; serial 60 is Excel's 29 February 1900): dates before 1900 are
// negative serials, which openpyxl, LibreOffice and our reader read as dates
// although Excel shows no date for them. 31 December 1899 has no serial of
// its own in that system (serial 1 is 1 January 1900): it is written as the
// ISO text "1899-12-31".
//
// A sheet holds 1,048,576 rows with the header, 16,384 columns and 32,767
// characters a cell; more is refused before anything is written. Rows are
// streamed (constant_memory) through temporary files in the target's folder.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "exchange/io/writer_support.h"

struct lxw_workbook;
struct lxw_worksheet;
struct lxw_format;

namespace vdx::exchange {

// The 1900-system serial number of a day number; nullopt for 31 December
// 1899, which has none.
std::optional<double> ExcelSerial(double dayNumber);

class XlsxTableWriter : public FileTableWriter {
public:
    using FileTableWriter::FileTableWriter;
    ~XlsxTableWriter() override;

protected:
    uint64_t rowLimit() const override { return 1048576 - 1; }
    size_t columnLimit() const override { return 16384; }
    void open(const std::vector<ColumnSpec>& columns) override;
    void put(const std::vector<Value>& row) override;
    void close() override;
    void abandon() override;

private:
    void check(int error, uint64_t row, size_t column);
    std::unique_ptr<AtomicFile> file_;
    std::string tempFolder_;
    lxw_workbook* workbook_ = nullptr;
    lxw_worksheet* sheet_ = nullptr;
    lxw_format* dateFormat_ = nullptr;
    lxw_format* dateTimeFormat_ = nullptr;
};

}  // namespace vdx::exchange
