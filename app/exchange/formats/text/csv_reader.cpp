#include "exchange/formats/text/csv_reader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>

#include "exchange/io/reader_support.h"
#include "exchange/io/text_encoding.h"
#include "state/errors.h"
#include "state/names.h"
#include "state/text_values.h"

namespace vdx::exchange {

namespace {

constexpr size_t kSampleBytes = 1 << 16;
constexpr int kSampleLines = 20;
// A field longer than this is a quote that never closed, not data.
constexpr size_t kMaxField = 16 << 20;
const std::string kMaxFieldText = "16 MiB (16777216 bytes)";

std::optional<double> Number(const std::string& s) {
    double d = 0;
    const char* begin = s.data() + (!s.empty() && s[0] == '+' ? 1 : 0);
    auto [end, ec] = std::from_chars(begin, s.data() + s.size(), d);
    if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(d)) return std::nullopt;
    return d;
}

std::optional<int64_t> WholeNumber(const std::string& s) {
    int64_t i = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), i);
    if (ec != std::errc() || end != s.data() + s.size() || i < INT32_MIN || i > INT32_MAX) return std::nullopt;
    return i;
}

// Counts of each separator outside quotes on one line.
std::vector<int> SeparatorCounts(const std::string& line) {
    std::vector<int> counts(std::size(kCsvSeparators), 0);
    bool quoted = false;
    for (char c : line) {
        if (c == '"') quoted = !quoted;
        else if (!quoted)
            for (size_t i = 0; i < std::size(kCsvSeparators); ++i) counts[i] += c == kCsvSeparators[i];
    }
    return counts;
}

}  // namespace

std::optional<double> ReadIsoDate(std::string_view text) {
    if (text.size() != 10 && text.size() != 19) return std::nullopt;
    // Digits at the given places, '-' ':' and ' ' or 'T' between them.
    auto digits = [&](size_t at, size_t count) {
        int v = 0;
        for (size_t k = at; k < at + count; ++k) {
            if (text[k] < '0' || text[k] > '9') return -1;
            v = v * 10 + (text[k] - '0');
        }
        return v;
    };
    if (text[4] != '-' || text[7] != '-') return std::nullopt;
    const int y = digits(0, 4), mo = digits(5, 2), d = digits(8, 2);
    int h = 0, mi = 0, sec = 0;
    if (text.size() == 19) {
        if ((text[10] != ' ' && text[10] != 'T') || text[13] != ':' || text[16] != ':') return std::nullopt;
        h = digits(11, 2);
        mi = digits(14, 2);
        sec = digits(17, 2);
    }
    if (y < 100 || mo < 1 || mo > 12 || d < 1 || d > DaysInMonth(y, mo) || h < 0 || h > 23 || mi < 0 || mi > 59 ||
        sec < 0 || sec > 59)
        return std::nullopt;
    return DayNumber(y, mo, d) + (h * 3600 + mi * 60 + sec) / 86400.0;
}

char DetectCsvSeparator(const std::string& firstLines) {
    // Complete lines only (a quoted line break joins lines, as in the file).
    std::vector<std::string> lines;
    std::string line;
    bool quoted = false;
    for (char c : firstLines) {
        if (c == '"') quoted = !quoted;
        if ((c == '\n' || c == '\r') && !quoted) {
            if (!line.empty()) lines.push_back(line);
            line.clear();
            if (lines.size() == kSampleLines) break;
        } else {
            line += c;
        }
    }
    if (!line.empty() && lines.size() < kSampleLines) lines.push_back(line);
    char best = ',';
    int bestCount = 0;
    bool bestSteady = false;
    for (size_t i = 0; i < std::size(kCsvSeparators); ++i) {
        if (lines.empty()) break;
        const int count = SeparatorCounts(lines[0])[i];
        bool steady = std::all_of(lines.begin(), lines.end(),
                                  [&](const std::string& l) { return SeparatorCounts(l)[i] == count; });
        // A steady count beats an unsteady one; then the larger count wins.
        if (count > 0 && (steady > bestSteady || (steady == bestSteady && count > bestCount))) {
            best = kCsvSeparators[i];
            bestCount = count;
            bestSteady = steady;
        }
    }
    return best;
}

CsvSample SampleCsvFile(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) throw VdxError(err::FileNotFound, "File not found: " + path);
    std::ifstream in(path, std::ios::binary);
    std::string sample(kSampleBytes, '\0');
    in.read(sample.data(), static_cast<std::streamsize>(sample.size()));
    sample.resize(static_cast<size_t>(in.gcount()));
    if (sample.rfind("\xEF\xBB\xBF", 0) == 0) sample.erase(0, 3);
    CsvSample found;
    found.separator = DetectCsvSeparator(sample);
    // A valid sample may end inside a character: trim up to 3 bytes.
    bool valid = false;
    for (size_t cut = 0; cut < 4 && cut <= sample.size() && !valid; ++cut)
        valid = IsValidUtf8(std::string_view(sample).substr(0, sample.size() - cut));
    found.utf8 = valid;
    return found;
}

void ForEachCsvRecord(const std::string& path, const CsvSample& sample, const CsvRecordCallback& onRecord) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw VdxError(err::FileNotFound, "File not found: " + path);
    const char separator = sample.separator;
    bool special[256] = {};  // the bytes that end a stretch of plain text
    for (char c : {separator, '\n', '\r', '"'}) special[static_cast<unsigned char>(c)] = true;
    std::vector<char> buffer(1 << 16);
    std::vector<std::string> fields;
    std::string field;
    bool quoted = false, wasQuoted = false, afterQuote = false, first = true, pendingCr = false;
    bool recordHasData = false;
    uint64_t line = 1, recordLine = 1;
    auto endField = [&] {
        // A text that is UTF-8 in its first 64 KiB may still hold a
        // Windows-1252 byte further on: that field is read as Windows-1252
        // rather than stored as invalid UTF-8.
        if (!sample.utf8 || !IsValidUtf8(field)) field = Windows1252ToUtf8(field);
        // No table has more columns: a line of millions of separators is
        // refused before it fills the memory with empty fields.
        if (fields.size() == kMaxTableColumns)
            throw VdxError(err::TooManyFields, "Line " + std::to_string(recordLine) + " of " + FileNameOf(path) +
                                                   " has more than " + std::to_string(kMaxTableColumns) +
                                                   " fields; a table can have at most " +
                                                   std::to_string(kMaxTableColumns) + " columns.");
        fields.push_back(std::move(field));
        field.clear();
        wasQuoted = false;
        afterQuote = false;
    };
    auto endRecord = [&]() -> bool {
        bool go = true;
        if (recordHasData || !fields.empty()) {
            endField();
            go = onRecord(fields, recordLine);
        }
        fields.clear();
        field.clear();
        recordHasData = false;
        recordLine = line;
        return go;
    };
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        size_t n = static_cast<size_t>(in.gcount());
        size_t i = 0;
        if (first) {
            first = false;
            if (n >= 3 && std::equal(buffer.begin(), buffer.begin() + 3, "\xEF\xBB\xBF")) i = 3;
        }
        for (; i < n; ++i) {
            const char c = buffer[i];
            if (pendingCr) {
                pendingCr = false;
                if (c == '\n') continue;
            }
            if (quoted) {
                if (c == '"') {
                    quoted = false;
                    afterQuote = true;
                    continue;
                }
                // The quoted text up to the next quote, at once.
                const char* from = buffer.data() + i;
                const char* quote = static_cast<const char*>(std::memchr(from, '"', n - i));
                const size_t length = quote ? static_cast<size_t>(quote - from) : n - i;
                line += static_cast<uint64_t>(std::count(from, from + length, '\n'));
                field.append(from, length);
                if (field.size() > kMaxField)
                    ThrowWrongFormat(FileNameOf(path), "the quoted field of line " + std::to_string(recordLine) +
                                                           " runs on for more than " + kMaxFieldText +
                                                           ": its closing quote is missing, or it is longer than a "
                                                           "field may be");
                i += length - 1;
                continue;
            }
            if (c == '"') {
                if (afterQuote) {  // a doubled quote inside a quoted field
                    field += '"';
                    quoted = true;
                    afterQuote = false;
                } else if (field.empty() && !wasQuoted) {
                    quoted = wasQuoted = recordHasData = true;
                } else {
                    field += c;  // a stray quote inside an unquoted field stays
                }
                continue;
            }
            afterQuote = false;
            if (c == separator) {
                recordHasData = true;
                endField();
            } else if (c == '\n' || c == '\r') {
                ++line;
                pendingCr = c == '\r';
                if (!endRecord()) return;
            } else {
                // The plain text up to the next separator, line end or quote, at once.
                size_t end = i + 1;
                while (end < n && !special[static_cast<unsigned char>(buffer[end])]) ++end;
                recordHasData = true;
                field.append(buffer.data() + i, end - i);
                if (field.size() > kMaxField)
                    ThrowWrongFormat(FileNameOf(path), "line " + std::to_string(recordLine) +
                                                           " has a field longer than " + kMaxFieldText +
                                                           ", the most a field may hold");
                i = end - 1;
            }
        }
    }
    if (quoted)
        ThrowWrongFormat(FileNameOf(path), "the quoted field of line " + std::to_string(recordLine) + " never closes");
    endRecord();
}

CsvReader::CsvReader(std::string path, std::optional<char> separator)
    : path_(std::move(path)), table_(StemOf(FileNameOf(path_))), sample_(SampleCsvFile(path_)) {
    if (separator) sample_.separator = *separator;

    enum Kind : unsigned { kWhole = 1, kNumber = 2, kDate = 4, kText = 8 };
    std::vector<unsigned> kinds;
    std::vector<size_t> longest;
    bool header = true;
    ForEachCsvRecord(path_, sample_, [&](std::vector<std::string>& fields, uint64_t line) {
        if (header) {
            for (std::string& name : fields) columns_.push_back({name, FieldType::Text, 255});
            kinds.assign(columns_.size(), 0);
            longest.assign(columns_.size(), 0);
            header = false;
            return true;
        }
        if (fields.size() > columns_.size())
            ThrowWrongFormat(FileNameOf(path_), "line " + std::to_string(line) + " has " + std::to_string(fields.size()) +
                                                    " fields, the header " + std::to_string(columns_.size()));
        for (size_t i = 0; i < fields.size(); ++i) {
            const std::string& f = fields[i];
            if (f.empty()) continue;
            // A text of n bytes has at most n characters: counted only when it may be the longest.
            if (f.size() > longest[i]) longest[i] = std::max(longest[i], Utf8Length(f));
            if (kinds[i] & kText) continue;
            if (WholeNumber(f)) kinds[i] |= kWhole;
            else if (Number(f)) kinds[i] |= kNumber;
            else if (ReadIsoDate(f)) kinds[i] |= kDate;
            else kinds[i] |= kText;
        }
        return true;
    });
    if (columns_.empty()) ThrowWrongFormat(FileNameOf(path_), "it is empty: it has no line with column names");
    for (size_t i = 0; i < columns_.size(); ++i) {
        ColumnSpec& c = columns_[i];
        c.size = 0;
        if (kinds[i] == kWhole) c.type = FieldType::Long;
        else if (kinds[i] && !(kinds[i] & ~(kWhole | kNumber))) c.type = FieldType::Double;
        else if (kinds[i] == kDate) c.type = FieldType::Date;
        else if (longest[i] > 255) c.type = FieldType::Memo;
        else { c.type = FieldType::Text; c.size = 255; }
    }
    CheckColumnNames(columns_, table_);
}

std::vector<std::string> CsvReader::tableNames() { return {table_}; }

void CsvReader::checkTable(const std::string& table) const {
    if (!SameName(table, table_)) ThrowTableNotFound(table);
}

std::vector<ColumnSpec> CsvReader::columns(const std::string& table) {
    checkTable(table);
    return columns_;
}

void CsvReader::readRows(const std::string& table, const RowCallback& onRow, ReadProgress* progress) {
    checkTable(table);
    ProgressTicker ticker(progress, 0, 1024);
    std::vector<Value> row(columns_.size());
    bool header = true, stopped = false;
    uint64_t done = 0;
    ForEachCsvRecord(path_, sample_, [&](std::vector<std::string>& fields, uint64_t) {
        if (header) {
            header = false;
            return true;
        }
        std::fill(row.begin(), row.end(), Value());
        for (size_t i = 0; i < fields.size() && i < row.size(); ++i) {
            std::string& f = fields[i];
            if (f.empty()) continue;
            // The types came from a first pass; a file changed since then
            // is refused rather than misread.
            auto changed = [&]() -> double {
                ThrowWrongFormat(FileNameOf(path_), "it changed while it was read");
            };
            switch (columns_[i].type) {
                case FieldType::Long: {
                    std::optional<int64_t> n = WholeNumber(f);
                    row[i] = Value::integer(n ? *n : static_cast<int64_t>(changed()));
                    break;
                }
                case FieldType::Double: row[i] = Value::real(Number(f) ? *Number(f) : changed()); break;
                case FieldType::Date: row[i] = Value::date(ReadIsoDate(f) ? *ReadIsoDate(f) : changed()); break;
                default: row[i] = Value::text(std::move(f)); break;
            }
        }
        ++done;
        if (!onRow(row) || !ticker.tick(done)) {
            stopped = true;
            return false;
        }
        return true;
    });
    if (!stopped) ticker.finish();
}

}  // namespace vdx::exchange
