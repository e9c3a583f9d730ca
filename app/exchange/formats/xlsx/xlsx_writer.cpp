#include "exchange/formats/xlsx/xlsx_writer.h"

#include <cerrno>
#include <cmath>
#include <filesystem>
#include <new>

#include <xlsxwriter.h>

#include "exchange/formats/excel/excel_writer.h"
#include "exchange/io/text_encoding.h"
#include "state/errors.h"

namespace vdx::exchange {

namespace {
// Integers beyond 2^53 have no exact double, and a number cell holds a double.
constexpr double kExactIntegerLimit = 9007199254740992.0;
}  // namespace

std::optional<double> ExcelSerial(double dayNumber) {
    if (dayNumber >= 1 && dayNumber < 2) return std::nullopt;
    // 1 January to 28 February 1900 come one before the day number: Excel
    // counts from 31 December 1899 and inserts a 29 February 1900.
    if (dayNumber >= 2 && dayNumber < 61) return dayNumber - 1;
    return dayNumber;
}

XlsxTableWriter::~XlsxTableWriter() { abandon(); }

void XlsxTableWriter::abandon() {
    if (workbook_) lxw_workbook_free(workbook_);
    workbook_ = nullptr;
    sheet_ = nullptr;
    file_.reset();
}

void XlsxTableWriter::check(int error, uint64_t row, size_t column) {
    if (error == LXW_NO_ERROR) return;
    const std::string& name = columns()[column].name;
    if (error == LXW_ERROR_MAX_STRING_LENGTH_EXCEEDED)
        ThrowCannotHold(row, name, "a cell of an .xlsx sheet holds at most 32,767 characters.");
    ThrowCannotHold(row, name, std::string("libxlsxwriter: ") + lxw_strerror(static_cast<lxw_error>(error)) + ".");
}

void XlsxTableWriter::open(const std::vector<ColumnSpec>& columns) {
    file_ = std::make_unique<AtomicFile>(targetPath());
    // The rows wait in temporary files beside the target, not in /tmp (which
    // may be memory).
    tempFolder_ = std::filesystem::path(file_->temporaryPath()).parent_path().string();
    if (tempFolder_.empty()) tempFolder_ = ".";
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = tempFolder_.data();
    workbook_ = workbook_new_opt(file_->temporaryPath().c_str(), &options);
    if (!workbook_) throw std::bad_alloc();
    std::string sheetName = ExcelSheetName(tableName());
    // libxlsxwriter also refuses a name that begins or ends with an apostrophe.
    if (sheetName.front() == '\'') sheetName.front() = '_';
    if (sheetName.back() == '\'') sheetName.back() = '_';
    sheet_ = workbook_add_worksheet(workbook_, sheetName.c_str());
    if (!sheet_) throw VdxError(err::InvalidName, "'" + tableName() + "' cannot name an .xlsx sheet.");
    dateFormat_ = workbook_add_format(workbook_);
    dateTimeFormat_ = workbook_add_format(workbook_);
    if (!dateFormat_ || !dateTimeFormat_) throw std::bad_alloc();
    format_set_num_format(dateFormat_, "yyyy-mm-dd");
    format_set_num_format(dateTimeFormat_, "yyyy-mm-dd hh:mm:ss");
    for (size_t c = 0; c < columns.size(); ++c)
        check(worksheet_write_string(sheet_, 0, static_cast<lxw_col_t>(c), columns[c].name.c_str(), nullptr), 0, c);
}

void XlsxTableWriter::put(const std::vector<Value>& row) {
    const uint64_t rowNumber = rowsWritten() + 1;
    const auto r = static_cast<lxw_row_t>(rowNumber);
    for (size_t c = 0; c < row.size(); ++c) {
        const Value& v = row[c];
        const auto col = static_cast<lxw_col_t>(c);
        int error = LXW_NO_ERROR;
        switch (v.kind()) {
            case Value::Kind::Null: break;
            case Value::Kind::Boolean: error = worksheet_write_boolean(sheet_, r, col, v.asBool(), nullptr); break;
            case Value::Kind::Integer:
                if (std::fabs(static_cast<double>(v.asInteger())) > kExactIntegerLimit)
                    ThrowCannotHold(rowNumber, columns()[c].name,
                                    "an .xlsx number cell holds whole numbers only up to 2^53 exactly.");
                error = worksheet_write_number(sheet_, r, col, v.asDouble(), nullptr);
                break;
            case Value::Kind::Double: error = worksheet_write_number(sheet_, r, col, v.asDouble(), nullptr); break;
            case Value::Kind::Date: {
                const double day = v.asDouble();
                if (std::optional<double> serial = ExcelSerial(day))
                    error = worksheet_write_number(sheet_, r, col, *serial,
                                                   day == std::floor(day) ? dateFormat_ : dateTimeFormat_);
                else
                    error = worksheet_write_string(sheet_, r, col, IsoDateText(day).c_str(), nullptr);
                break;
            }
            case Value::Kind::Text:
                // The sheet is XML in UTF-8: other bytes would make the whole workbook unreadable.
                if (!IsValidUtf8(v.asText())) ThrowCannotHold(rowNumber, columns()[c].name, "the text is not valid UTF-8.");
                error = worksheet_write_string(sheet_, r, col, v.asText().c_str(), nullptr);
                break;
        }
        check(error, rowNumber, c);
    }
}

void XlsxTableWriter::close() {
    lxw_workbook* workbook = workbook_;
    workbook_ = nullptr;  // workbook_close frees it, whatever it returns
    errno = 0;
    const lxw_error error = workbook_close(workbook);
    if (error != LXW_NO_ERROR) {
        if (errno == ENOSPC || errno == EDQUOT) throw VdxError(err::DiskFull, "Disk full: " + targetPath());
        throw VdxError(err::PathAccess, "Path/File access error: " + targetPath() + " (" + lxw_strerror(error) + ")");
    }
    file_->commit();
    file_.reset();
}

}  // namespace vdx::exchange
