// The ASCII import without its dialog: reading a semicolon-delimited text
// file, the preview of its first lines, the column names and the conversion
// of every field to its column's type. The dialog (frmTextImport) keeps one
// TextColumn per column and calls these functions; the rows go to a callback
// that writes them into the new table.
//
// File format: one record per line (LF, CR LF or CR ends a line); fields are
// split at every ";" (no quoting protects a ";"); a field that begins with a
// double quote loses it and, when it ends with one, the closing quote; an
// empty line is a record without fields. A file that is valid UTF-8 is read
// as UTF-8, any other as Windows-1252.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "exchange/io/table_reader.h"
#include "state/errors.h"

namespace vdx::exchange {

inline constexpr int kTextPreviewLines = 10;
inline constexpr int kTextFieldSize = 255;

// The column types and date layouts the dialog offers, in its order.
inline const std::vector<std::string> kTextColumnTypes = {"Text", "Integer", "Long", "Single", "Double", "Date"};
inline const std::vector<std::string> kTextDateLayouts = {"DDMMYYYY", "DDMMMYYYY", "MMDDYYYY", "YYYY"};
// ISO dates ("1867-03-15", also with a time), the layout of CSV files.
inline constexpr const char* kIsoDateLayout = "YYYY-MM-DD";

// One column's description, as the dialog keeps it.
struct TextColumn {
    std::string type = "Text";  // one of kTextColumnTypes
    std::string dateLayout;     // one of kTextDateLayouts, for "Date"
    std::string day;            // "01".."31", for "YYYY" dates ("" counts as "01")
    std::string month;          // "01".."12", for "YYYY" dates ("" counts as "01")
    bool operator==(const TextColumn&) const = default;
};

struct TextImportOptions {
    bool headers = false;             // the first line holds the column names
    std::vector<TextColumn> columns;  // one per column of the preview
};

// The first lines of a file, split and unquoted.
struct TextPreview {
    std::vector<std::vector<std::string>> lines;  // at most kTextPreviewLines
    int columnCount = 0;                          // the widest of these lines
};

// Why an import stopped at a field; number() is 13 (type mismatch) and the
// description the dialog shows: "Can't convert data in column 3 to Integer".
class TextConversionError : public VdxError {
public:
    TextConversionError(int column, const TextColumn& type, int64_t line, std::string value = {})
        : VdxError(err::TypeMismatch, "Can't convert data in column " + std::to_string(column) + " to " + type.type),
          column_(column), line_(line), type_(type), value_(std::move(value)) {}
    int column() const { return column_; }
    int64_t line() const { return line_; }  // line of the file, from 1
    // The place and the value in words, and what the column's type holds:
    // 'Line 2, column 1 (id) holds "100001": an Integer column holds whole
    // numbers from -32768 to 32767.'
    std::string inWords(const std::string& columnName) const;

private:
    int column_;
    int64_t line_;
    TextColumn type_;
    std::string value_;
};

// Splits one line at ";" and unquotes every field.
std::vector<std::string> SplitTextLine(std::string_view line);
// A field that begins with '"' loses it, and its last character when that is '"'.
std::string_view UnquoteField(std::string_view field);

// Reads a text file line by line, decoded to UTF-8.
class TextLineReader {
public:
    // VdxError 53 when the file cannot be opened; 3274 when it is no text
    // file (it holds NUL bytes or is UTF-16).
    explicit TextLineReader(const std::string& path);
    ~TextLineReader();
    TextLineReader(const TextLineReader&) = delete;
    TextLineReader& operator=(const TextLineReader&) = delete;

    // The next line without its terminator; false at the end of the file.
    bool next(std::string& line);
    uint64_t fileSize() const { return size_; }
    uint64_t bytesRead() const { return consumed_; }

private:
    bool fill();
    std::string path_;
    struct FileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, FileCloser> owner_;
    std::FILE* file_ = nullptr;  // owner_.get()
    bool utf8_ = true;
    uint64_t size_ = 0;
    uint64_t consumed_ = 0;
    std::string buffer_;
    size_t chunk_ = 0;  // bytes read at a time: 1 MiB, less for a small file
    size_t pos_ = 0;
    bool eof_ = false;
};

TextPreview PreviewTextFile(const std::string& path);

// The options a fresh dialog starts with: every column "Text".
TextImportOptions DefaultTextImportOptions(const TextPreview& preview, bool headers);

// The options the dialog proposes from the preview: each column typed by
// what its fields plainly are (dates of the DDMMYYYY, DDMMMYYYY or MMDDYYYY
// layout, whole numbers as Integer or Long, other numbers as Double, the
// rest and any column with an empty field as Text), and the header row
// taken when the first line holds names over a column of numbers or dates.
TextImportOptions ProposeTextImportOptions(const TextPreview& preview);

// A field as the import would store it under the column's type: dates as
// the program shows them, numbers as stored; a field the type refuses is
// shown after kNotConvertible.
inline constexpr const char* kNotConvertible = "(not converted) ";
std::string StoredValueText(std::string_view text, const TextColumn& column);

// The columns the import creates: names from the first line (headers) or
// Var1, Var2 ...; "Text" columns are text of 255 characters. VdxError 3125
// for a header that is empty, repeated or not a valid name.
std::vector<ColumnSpec> TextImportColumns(const std::string& path, const TextImportOptions& options,
                                          const std::string& tableName);

// Converts one field by its column's description; `column` (from 1) and
// `line` only name the place in a TextConversionError. An empty field is
// an error in every type but "Text".
Value ConvertTextField(std::string_view text, const TextColumn& column, int columnNumber, int64_t line = 0);

// Reads every record of the file (after the header line when options.headers)
// and hands it to onRow with one value per column: fields a line lacks are
// Null. A line with more fields than there are columns ends the import with
// VdxError 3265. Stops early when onRow returns false or progress cancels.
void ImportTextRows(const std::string& path, const TextImportOptions& options, const RowCallback& onRow,
                    ReadProgress* progress = nullptr);

// The "Text;" source: every *.txt file of a folder is a
// table (its name less the extension) with the column names in its first line
// and every column as text.
class TextTableReader : public TableReader {
public:
    explicit TextTableReader(std::string folder) : folder_(std::move(folder)) {}
    std::vector<std::string> tableNames() override;
    std::vector<ColumnSpec> columns(const std::string& table) override;
    void readRows(const std::string& table, const RowCallback& onRow, ReadProgress* progress) override;

private:
    std::string fileOf(const std::string& table);
    TextImportOptions optionsFor(const std::string& path);
    std::string folder_;
};

}  // namespace vdx::exchange
