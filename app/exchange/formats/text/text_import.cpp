#include "exchange/formats/text/text_import.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>

#include "exchange/formats/text/csv_reader.h"
#include "exchange/io/reader_support.h"
#include "exchange/io/text_encoding.h"
#include "state/names.h"
#include "state/text_values.h"

namespace vdx::exchange {

namespace {

constexpr size_t kChunk = 1 << 20;

// Checks a stream of bytes for valid UTF-8 chunk by chunk; a sequence cut by
// the chunk boundary is carried into the next chunk.
class Utf8Checker {
public:
    void feed(const char* data, size_t n, bool last) {
        if (!valid_) return;
        carry_.append(data, n);
        size_t complete = carry_.size();
        if (!last) {
            // Keep back an unfinished multi-byte sequence at the end.
            size_t i = carry_.size();
            size_t back = 0;
            while (i > 0 && back < 3 && (static_cast<unsigned char>(carry_[i - 1]) & 0xC0) == 0x80) { --i; ++back; }
            if (i > 0) {
                unsigned char lead = static_cast<unsigned char>(carry_[i - 1]);
                size_t need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
                if (need > back + 1) complete = i - 1;
            }
        }
        if (!IsValidUtf8(std::string_view(carry_.data(), complete))) valid_ = false;
        carry_.erase(0, complete);
    }
    bool valid() const { return valid_ && carry_.empty(); }

private:
    std::string carry_;
    bool valid_ = true;
};

std::string Trimmed(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
    return std::string(s.substr(b, e - b));
}

bool AllDigits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

int DigitsValue(std::string_view s) {
    int v = 0;
    for (char c : s) v = v * 10 + (c - '0');
    return v;
}

int MonthOfAbbreviation(std::string_view s) {
    static const char* const kMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                          "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    if (s.size() != 3) return 0;
    char up[3];
    for (int i = 0; i < 3; ++i) up[i] = (s[i] >= 'a' && s[i] <= 'z') ? static_cast<char>(s[i] - 'a' + 'A') : s[i];
    for (int m = 0; m < 12; ++m)
        if (std::memcmp(up, kMonths[m], 3) == 0) return m + 1;
    return 0;
}

[[noreturn]] void ThrowTooManyColumns(const std::string& path, size_t line, size_t fields) {
    throw VdxError(err::TooManyFields, (line ? "Line " + std::to_string(line) + " of " : std::string()) +
                                           FileNameOf(path) + " has " + std::to_string(fields) +
                                           " fields; a table can have at most " + std::to_string(kMaxTableColumns) +
                                           " columns.");
}

// Day or month chosen in the dialog for year-only dates ("01".."31").
int ChosenPart(const std::string& text, int maximum) {
    if (text.empty()) return 1;
    if (!AllDigits(text)) return 0;
    int v = DigitsValue(text);
    return v >= 1 && v <= maximum ? v : 0;
}

// The date of a field by its layout, or nullopt when the field does not have
// the layout's shape. The parts are put together with rollover, so
// 31021950 read as DDMMYYYY is 3 March 1950; a date that then falls outside
// the years 100 to 9999 (00000000, 99999999) is none.
std::optional<double> ReadLayoutDate(const std::string& field, const TextColumn& column) {
    int day = 0, month = 0, year = 0;
    std::string_view f(field);
    if (column.dateLayout == "DDMMYYYY" || column.dateLayout == "MMDDYYYY") {
        if (f.size() != 8 || !AllDigits(f)) return std::nullopt;
        int first = DigitsValue(f.substr(0, 2)), second = DigitsValue(f.substr(2, 2));
        year = DigitsValue(f.substr(4, 4));
        if (column.dateLayout == "DDMMYYYY") { day = first; month = second; }
        else { month = first; day = second; }
    } else if (column.dateLayout == "DDMMMYYYY") {
        if (f.size() != 9 || !AllDigits(f.substr(0, 2)) || !AllDigits(f.substr(5, 4))) return std::nullopt;
        day = DigitsValue(f.substr(0, 2));
        month = MonthOfAbbreviation(f.substr(2, 3));
        if (month == 0) return std::nullopt;
        year = DigitsValue(f.substr(5, 4));
    } else if (column.dateLayout == kIsoDateLayout) {
        return ReadIsoDate(field);
    } else if (column.dateLayout == "YYYY") {
        if (f.size() != 4 || !AllDigits(f)) return std::nullopt;
        year = DigitsValue(f);
        day = ChosenPart(column.day, 31);
        month = ChosenPart(column.month, 12);
        if (day == 0 || month == 0) return std::nullopt;
    } else {
        return std::nullopt;  // a date column without a layout
    }
    const double date = DateSerial(year, month, day);
    if (!IsDayNumberInRange(date)) return std::nullopt;
    return date;
}

// A field that reads as a date of the layout with its day and month in
// range (no rolling over into the next month), so that a proposed layout is
// one the data plainly has.
bool PlainDate(const std::string& field, const std::string& layout) {
    TextColumn column;
    column.type = "Date";
    column.dateLayout = layout;
    if (!ReadLayoutDate(field, column)) return false;
    std::string_view f(field);
    int day = 0, month = 0;
    if (layout == "DDMMMYYYY") {
        day = DigitsValue(f.substr(0, 2));
        month = MonthOfAbbreviation(f.substr(2, 3));
    } else {
        day = DigitsValue(f.substr(layout == "DDMMYYYY" ? 0 : 2, 2));
        month = DigitsValue(f.substr(layout == "DDMMYYYY" ? 2 : 0, 2));
    }
    const int year = DigitsValue(f.substr(f.size() - 4));
    if (month < 1 || month > 12 || day < 1) return false;
    return DateSerial(year, month, day) < DateSerial(year, month + 1, 1);
}

bool IsIntegral(const std::string& field) {
    const size_t digits = field.find_first_not_of("+-") == 1 ? 1 : 0;
    return field.size() > digits && AllDigits(std::string_view(field).substr(digits));
}

// The type the fields of one column plainly have: dates of a layout, whole
// numbers (Integer within 16 bits, Long within 32), other numbers (Double),
// else Text. A column with an empty field stays Text: every other type
// refuses it.
TextColumn ProposedColumn(const std::vector<std::string>& fields) {
    TextColumn text;
    if (fields.empty()) return text;
    for (const auto& f : fields)
        if (f.empty()) return text;
    for (const char* layout : {"DDMMYYYY", "DDMMMYYYY", "MMDDYYYY"}) {
        bool all = true;
        for (const auto& f : fields) all = all && PlainDate(f, layout);
        if (all) return TextColumn{"Date", layout, "", ""};
    }
    bool numbers = true, whole = true;
    double largest = 0;
    for (const auto& f : fields) {
        const auto n = ReadNumber(f);
        numbers = numbers && n && std::isfinite(*n);
        if (!numbers) break;
        whole = whole && IsIntegral(f);
        largest = std::max(largest, std::fabs(*n));
    }
    if (!numbers) return text;
    if (whole && largest <= 32767) return TextColumn{"Integer", "", "", ""};
    if (whole && largest <= 2147483647.0) return TextColumn{"Long", "", "", ""};
    return TextColumn{"Double", "", "", ""};
}

// The trimmed fields of column c in the lines from `first` on (a line
// without the field adds nothing: it imports as Null).
std::vector<std::string> ColumnFields(const TextPreview& preview, size_t c, size_t first) {
    std::vector<std::string> fields;
    for (size_t i = first; i < preview.lines.size(); ++i)
        if (c < preview.lines[i].size()) fields.push_back(Trimmed(preview.lines[i][c]));
    return fields;
}

}  // namespace

// ---------------------------------------------------------------------------
// Splitting

std::string_view UnquoteField(std::string_view field) {
    if (field.empty() || field.front() != '"') return field;
    field.remove_prefix(1);
    if (!field.empty() && field.back() == '"') field.remove_suffix(1);
    return field;
}

std::vector<std::string> SplitTextLine(std::string_view line) {
    std::vector<std::string> fields;
    if (line.empty()) return fields;
    size_t start = 0;
    while (true) {
        size_t semi = line.find(';', start);
        std::string_view field = line.substr(start, semi == std::string_view::npos ? std::string_view::npos : semi - start);
        fields.emplace_back(UnquoteField(field));
        if (semi == std::string_view::npos) break;
        start = semi + 1;
    }
    return fields;
}

// ---------------------------------------------------------------------------
// Reading lines

TextLineReader::TextLineReader(const std::string& path) : path_(path) {
    owner_.reset(std::fopen(path.c_str(), "rb"));
    file_ = owner_.get();
    if (!file_) throw VdxError(err::FileNotFound, "File not found: " + path);

    // One pass over the file decides its character set and that it is text.
    std::fseek(file_, 0, SEEK_END);
    const long length = std::ftell(file_);
    std::rewind(file_);
    chunk_ = length >= 0 && static_cast<unsigned long>(length) < kChunk ? static_cast<size_t>(length) + 1 : kChunk;
    Utf8Checker checker;
    std::string chunk(chunk_, '\0');
    bool first = true;
    while (true) {
        size_t n = std::fread(chunk.data(), 1, chunk.size(), file_);
        if (first && n >= 2 &&
            ((chunk[0] == '\xFF' && chunk[1] == '\xFE') || (chunk[0] == '\xFE' && chunk[1] == '\xFF')))
            ThrowWrongFormat(FileNameOf(path), "it is a UTF-16 text; save it as UTF-8 or ANSI text");
        first = false;
        if (std::memchr(chunk.data(), '\0', n))
            ThrowWrongFormat(FileNameOf(path), "it holds binary data, not lines of text");
        size_ += n;
        bool last = n < chunk.size();
        checker.feed(chunk.data(), n, last);
        if (last) break;
    }
    if (std::ferror(file_)) throw VdxError(err::PermissionDenied, "Cannot read " + path);
    utf8_ = checker.valid();
    std::rewind(file_);

    // A UTF-8 byte order mark is no part of the first line.
    if (fill() && buffer_.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        pos_ = 3;
        consumed_ = 3;
    }
}

TextLineReader::~TextLineReader() = default;

bool TextLineReader::fill() {
    if (eof_) return false;
    buffer_.erase(0, pos_);
    pos_ = 0;
    size_t old = buffer_.size();
    buffer_.resize(old + chunk_);
    size_t n = std::fread(buffer_.data() + old, 1, chunk_, file_);
    buffer_.resize(old + n);
    if (n < chunk_) eof_ = true;
    return n > 0;
}

bool TextLineReader::next(std::string& line) {
    size_t from = pos_;  // where the search for the line's end goes on
    while (true) {
        size_t end = buffer_.find_first_of("\r\n", from);
        // A CR at the very end of the buffer may be the first half of CR LF.
        if (end != std::string::npos && !(buffer_[end] == '\r' && end + 1 == buffer_.size() && !eof_)) {
            std::string_view raw(buffer_.data() + pos_, end - pos_);
            line = utf8_ ? std::string(raw) : Windows1252ToUtf8(raw);
            size_t after = end + 1;
            if (buffer_[end] == '\r' && after < buffer_.size() && buffer_[after] == '\n') ++after;
            consumed_ += after - pos_;
            pos_ = after;
            return true;
        }
        if (eof_) {
            if (pos_ >= buffer_.size()) return false;
            std::string_view raw(buffer_.data() + pos_, buffer_.size() - pos_);
            line = utf8_ ? std::string(raw) : Windows1252ToUtf8(raw);
            consumed_ += buffer_.size() - pos_;
            pos_ = buffer_.size();
            return true;
        }
        // A long line is searched once, not again from its start after every
        // chunk; a CR at the end is looked at again with what follows it.
        const size_t searched = buffer_.size() - pos_;
        fill();
        from = searched > 0 ? searched - 1 : 0;
    }
}

// ---------------------------------------------------------------------------
// Preview, columns and conversion

TextPreview PreviewTextFile(const std::string& path) {
    TextPreview preview;
    TextLineReader reader(path);
    std::string line;
    while (static_cast<int>(preview.lines.size()) < kTextPreviewLines && reader.next(line)) {
        // Counted before the line is split: a line of millions of fields
        // is refused at once, not after building them.
        const size_t fields = line.empty() ? 0 : static_cast<size_t>(std::count(line.begin(), line.end(), ';')) + 1;
        if (fields > kMaxTableColumns) ThrowTooManyColumns(path, preview.lines.size() + 1, fields);
        preview.lines.push_back(SplitTextLine(line));
        preview.columnCount = std::max(preview.columnCount, static_cast<int>(preview.lines.back().size()));
    }
    return preview;
}

TextImportOptions ProposeTextImportOptions(const TextPreview& preview) {
    TextImportOptions proposed = DefaultTextImportOptions(preview, false);
    const size_t columns = proposed.columns.size();
    // A first line of names over at least one column of numbers or dates.
    if (preview.lines.size() >= 2) {
        bool names = preview.lines.front().size() == columns;
        for (const auto& f : preview.lines.front()) {
            const std::string name = Trimmed(f);
            names = names && !name.empty() && !ReadNumber(name) && ProposedColumn({name}).type == "Text";
        }
        bool typedBelow = false;
        for (size_t c = 0; names && c < columns; ++c)
            typedBelow = typedBelow || ProposedColumn(ColumnFields(preview, c, 1)).type != "Text";
        proposed.headers = names && typedBelow;
    }
    for (size_t c = 0; c < columns; ++c)
        proposed.columns[c] = ProposedColumn(ColumnFields(preview, c, proposed.headers ? 1 : 0));
    return proposed;
}

std::string StoredValueText(std::string_view text, const TextColumn& column) {
    try {
        const Value v = ConvertTextField(text, column, 1);
        switch (v.kind()) {
            case Value::Kind::Text: return v.asText();
            case Value::Kind::Date: return FormatDate(v.asDouble());
            case Value::Kind::Integer: return std::to_string(v.asInteger());
            case Value::Kind::Double: return NumberText(v.asDouble());
            default: return {};
        }
    } catch (const VdxError&) {
        return std::string(kNotConvertible) + std::string(text);
    }
}

TextImportOptions DefaultTextImportOptions(const TextPreview& preview, bool headers) {
    TextImportOptions options;
    options.headers = headers;
    options.columns.assign(static_cast<size_t>(preview.columnCount), TextColumn{});
    return options;
}

std::vector<ColumnSpec> TextImportColumns(const std::string& path, const TextImportOptions& options,
                                          const std::string& tableName) {
    if (options.columns.empty()) ThrowWrongFormat(FileNameOf(path), "it holds no fields");
    if (options.columns.size() > kMaxTableColumns) ThrowTooManyColumns(path, 0, options.columns.size());
    std::vector<std::string> names;
    if (options.headers) {
        TextLineReader reader(path);
        std::string line;
        if (reader.next(line)) names = SplitTextLine(line);
    }
    std::vector<ColumnSpec> specs;
    for (size_t c = 0; c < options.columns.size(); ++c) {
        ColumnSpec columnSpec;
        columnSpec.name = options.headers ? (c < names.size() ? names[c] : std::string()) : "Var" + std::to_string(c + 1);
        const std::string& type = options.columns[c].type;
        if (type == "Integer") columnSpec.type = FieldType::Integer;
        else if (type == "Long") columnSpec.type = FieldType::Long;
        else if (type == "Single") columnSpec.type = FieldType::Single;
        else if (type == "Double") columnSpec.type = FieldType::Double;
        else if (type == "Date") columnSpec.type = FieldType::Date;
        else if (type == "Text") { columnSpec.type = FieldType::Text; columnSpec.size = kTextFieldSize; }
        else throw VdxError(err::TypeMismatch, "Column " + std::to_string(c + 1) + " has the unknown type '" + type + "'.");
        specs.push_back(std::move(columnSpec));
    }
    CheckColumnNames(specs, tableName);
    return specs;
}

std::string TextConversionError::inWords(const std::string& columnName) const {
    std::string place = "Line " + std::to_string(line_) + ", column " + std::to_string(column_);
    if (!columnName.empty()) place += " (" + columnName + ")";
    const std::string& type = type_.type;
    const std::string a = (type == "Integer" ? "an " : "a ") + type + " column";
    if (Trimmed(value_).empty()) return place + " is empty: " + a + " needs a value in every line.";
    std::string holds;
    if (type == "Integer") holds = "whole numbers from -32768 to 32767";
    else if (type == "Long") holds = "whole numbers from -2147483648 to 2147483647";
    else if (type == "Single") holds = "numbers up to 3.4E+38 in size, written with a point (1.5, -2e3)";
    else if (type == "Double") holds = "numbers written with a point (1.5, -2e3)";
    else if (type == "Date" && type_.dateLayout == "YYYY") holds = "years of four digits (1950)";
    else if (type == "Date") holds = "dates of the layout " + type_.dateLayout + " that exist";
    else holds = "no such value";
    return place + " holds \"" + value_ + "\": " + a + " holds " + holds + ".";
}

Value ConvertTextField(std::string_view text, const TextColumn& column, int columnNumber, int64_t line) {
    const std::string& type = column.type;
    if (type == "Text") return Value::text(std::string(text));
    auto fail = [&]() -> Value { throw TextConversionError(columnNumber, column, line, std::string(text)); };

    std::string field = Trimmed(text);
    if (field.empty()) return fail();
    if (type == "Date") {
        std::optional<double> day = ReadLayoutDate(field, column);
        return day ? Value::date(*day) : fail();
    }
    std::optional<double> number = ReadNumber(field);
    if (!number) return fail();
    try {
        if (type == "Integer") return Value::integer(RoundToInt16(*number));
        if (type == "Long") return Value::integer(RoundToInt32(*number));
    } catch (const VdxError&) {
        return fail();  // out of the type's range
    }
    if (type == "Single") {
        if (!std::isfinite(*number) || std::fabs(*number) > FLT_MAX) return fail();
        return Value::real(static_cast<double>(static_cast<float>(*number)));
    }
    if (type == "Double") return std::isfinite(*number) ? Value::real(*number) : fail();
    return fail();
}

void ImportTextRows(const std::string& path, const TextImportOptions& options, const RowCallback& onRow,
                    ReadProgress* progress) {
    const size_t columnCount = options.columns.size();
    TextLineReader reader(path);
    std::string line;
    int64_t lineNumber = 0;
    if (options.headers) {
        if (!reader.next(line)) return;
        ++lineNumber;
    }
    std::vector<Value> row(columnCount);
    uint64_t records = 0;
    while (reader.next(line)) {
        ++lineNumber;
        std::fill(row.begin(), row.end(), Value());
        size_t column = 0;
        size_t start = 0;
        if (!line.empty()) {
            while (true) {
                size_t semi = line.find(';', start);
                if (column >= columnCount)
                    throw VdxError(err::ItemNotFound, "Line " + std::to_string(lineNumber) + " has more fields than the " +
                                                          std::to_string(columnCount) + " columns of the table.");
                std::string_view field(line.data() + start,
                                       (semi == std::string::npos ? line.size() : semi) - start);
                row[column] = ConvertTextField(UnquoteField(field), options.columns[column],
                                               static_cast<int>(column) + 1, lineNumber);
                ++column;
                if (semi == std::string::npos) break;
                start = semi + 1;
            }
        }
        if (!onRow(row)) return;
        ++records;
        if (progress && records % 4096 == 0 &&
            !progress->report(reader.fileSize() ? static_cast<double>(reader.bytesRead()) / reader.fileSize() : 1.0))
            return;
    }
    if (progress) progress->report(1.0);
}

// ---------------------------------------------------------------------------
// "Text;" as a source of tables

std::vector<std::string> TextTableReader::tableNames() { return FileTitlesInFolder(folder_, "txt"); }

std::string TextTableReader::fileOf(const std::string& table) {
    std::string path = FindFileInFolder(folder_, table + ".txt");
    if (path.empty()) ThrowTableNotFound(table);
    return path;
}

TextImportOptions TextTableReader::optionsFor(const std::string& path) {
    return DefaultTextImportOptions(PreviewTextFile(path), true);
}

std::vector<ColumnSpec> TextTableReader::columns(const std::string& table) {
    std::string path = fileOf(table);
    return TextImportColumns(path, optionsFor(path), table);
}

void TextTableReader::readRows(const std::string& table, const RowCallback& onRow, ReadProgress* progress) {
    std::string path = fileOf(table);
    TextImportOptions options = optionsFor(path);
    TextImportColumns(path, options, table);  // the same checks as columns()
    ImportTextRows(path, options, onRow, progress);
}

}  // namespace vdx::exchange
