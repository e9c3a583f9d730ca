// Our own reader of Excel's binary file format (BIFF), versions 2 to 8:
// Excel 2.1, 3.0 and 4.0 worksheets (one sheet per file, a plain record
// stream) and Excel 5.0/7.0 and 8.0 (97-2003) workbooks (a record stream
// inside a compound document). It reads cell values only: numbers, texts,
// booleans and the last computed results of formulas; a number whose cell
// format shows a date or time is a date.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "state/errors.h"
#include "state/value.h"

namespace vdx::exchange {

struct SheetCell {
    uint32_t row = 0;  // from 0
    uint16_t column = 0;
    Value value;       // Double, Date (day number), Text or Boolean; Null for error cells
};

// A workbook refused for what it is (VdxError 3274): protected by a password,
// or damaged (cut short, a record running past the end of its stream, a cell
// outside the sheet's declared dimensions). No other reader is tried: a more
// lenient one would turn a damaged file into a table with missing or wrong rows.
class BiffRefusedError : public VdxError {
public:
    BiffRefusedError(const std::string& file, const std::string& why)
        : VdxError(err::NotExpectedFormat, file + " is not in the expected format: " + why) {}
    explicit BiffRefusedError(const VdxError& damage) : VdxError(damage.number(), damage.description()) {}
};

class BiffPasswordError : public BiffRefusedError {
public:
    explicit BiffPasswordError(const std::string& file) : BiffRefusedError(file, "it is protected by a password") {}
};

// Day number (day 0 = 30 December 1899) of an Excel date serial. In the 1900
// date system serials below 61 count from 31 December 1899, as Excel treats
// 1900 as a leap year; writers such as gnumeric extend that count to negative
// serials for dates before 1900. In the 1904 system serial 0 is 1 January 1904.
double ExcelSerialToDayNumber(double serial, bool dateSystem1904);

// Whether a number format (as written in FORMAT records) shows a date or time.
bool IsDateFormat(std::string_view format);

class BiffWorkbook {
public:
    // Parses the workbook's global part. `fileName` names the file in error
    // messages; `singleSheetName` is the name of the one sheet of an Excel
    // 2.1 to 4.0 file, whose format has no sheet names. VdxError 3274 for a
    // file that is no Excel workbook, is damaged or protected by a password
    // (BiffRefusedError for the last two).
    BiffWorkbook(std::string bytes, std::string fileName, std::string singleSheetName);
    static BiffWorkbook FromFile(const std::string& path, const std::string& singleSheetName);

    int version() const { return version_; }  // 2, 3, 4, 5 or 8
    int codePage() const { return codePage_; }
    // The worksheets, in workbook order (charts and macro sheets left out).
    std::vector<std::string> sheetNames() const;
    // The cells of sheet `index` that hold a value, ordered by row and column.
    // BiffRefusedError when the sheet is damaged.
    std::vector<SheetCell> sheetCells(size_t index) const;

private:
    struct Sheet {
        std::string name;
        size_t offset = 0;  // of its BOF record in the stream
    };
    void parseGlobals();
    void parseSingleSheetFile();
    bool formatIsDate(uint32_t formatIndex) const;
    bool xfIsDate(uint32_t xf) const;
    std::string decodeBytes(std::string_view bytes) const;
    [[noreturn]] void damaged(const std::string& why) const;

    std::string file_;     // the file's bytes
    std::string stream_;   // the BIFF record stream
    std::string fileName_;
    int version_ = 0;
    bool dateSystem1904_ = false;
    int codePage_ = 1252;
    std::vector<Sheet> sheets_;
    std::vector<std::pair<uint32_t, std::string>> formats_;  // index, format text
    std::vector<uint32_t> xfFormats_;                       // XF number -> format index
    std::vector<std::string> sharedStrings_;
};

}  // namespace vdx::exchange
