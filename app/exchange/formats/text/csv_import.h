// A CSV file through the text import dialog: the same form as the ASCII
// import (text_import.h), with records split by CsvReader's rules (comma,
// semicolon or tab, RFC 4180 quoting, byte-order mark, CR LF or LF) instead
// of at every ";". The separator is detected and can be changed; the
// column types are proposed from the whole file and can be changed; an
// empty field is Null in every type; dates may also be ISO dates.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "exchange/formats/text/text_import.h"

namespace vdx::exchange {

// The date layouts offered for a CSV file: ISO dates, then those of the ASCII import.
const std::vector<std::string>& CsvDateLayouts();

// The first records of a CSV file (at most kTextPreviewLines), split.
TextPreview PreviewCsvFile(const std::string& path, char separator);

// The values of a column proposed as Date that are not dates: the first
// kListedNotDates of them (line of the file, text) and how many there are.
inline constexpr size_t kListedNotDates = 20;
struct NotDates {
    std::vector<std::pair<uint64_t, std::string>> listed;
    int64_t total = 0;
};

// What the dialog holds for a CSV file besides the ASCII import's options.
struct CsvImportOptions {
    char separator = ',';
    TextImportOptions text;  // the header row and one description per column
    // Per column: a value is longer than 255 characters, so "Text" is a memo.
    std::vector<bool> memo;
    // Per column: the values that are not dates in a column proposed as Date
    // (empty for every other column).
    std::vector<NotDates> notDates;
};

// The options proposed from the data (one pass over the file, as CsvReader
// types a column): the first record names the columns; whole numbers of 32
// bits "Long", other numbers "Double", ISO dates "Date" of kIsoDateLayout,
// the rest "Text". A column of ISO dates in which a few values are no dates
// (an impossible 1937-02-30, "unknown": at most one in ten of its values)
// is proposed as "Date" too, a second pass naming those values in
// notDates; the import stops at them unless they are corrected or the
// column is made "Text". A file whose records do not fit its first one (or whose
// first record names no valid columns) gets every column of the preview
// "Text"; the import then names the fault.
CsvImportOptions ProposeCsvImportOptions(const std::string& path, char separator);

// What the dialog says about such columns: per column its name (from the
// first record), the values that are not dates with their lines, and what
// to do; "" when every proposed Date column holds dates only.
std::string NotDatesNotice(const CsvImportOptions& options, const std::vector<std::string>& header);

// TextImportColumns for a CSV file: the names from its first record when
// text.headers; "Text" columns of 255 characters or memos.
std::vector<ColumnSpec> CsvImportColumns(const std::string& path, const CsvImportOptions& options,
                                         const std::string& tableName);

// ImportTextRows for a CSV file: empty fields are Null, a record with more
// fields than there are columns ends the import with VdxError 3265 naming
// its line, a field its column's type refuses with a TextConversionError.
void ImportCsvRows(const std::string& path, const CsvImportOptions& options, const RowCallback& onRow,
                   ReadProgress* progress = nullptr);

}  // namespace vdx::exchange
