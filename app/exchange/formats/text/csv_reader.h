// Comma-separated files (RFC 4180) as one table, named after the file less
// its extension; the first record holds the column names.
//
// The separator is the one of comma, semicolon and tab that splits the
// first lines into the same number of fields, the most of them (comma first
// on a tie). Fields may be quoted, with the separator, doubled quotes and
// line breaks inside; lines end in CR LF or LF; a UTF-8 byte-order mark is
// skipped. Text that is not valid UTF-8 is read as Windows-1252.
//
// Column types are proposed from the data (a first pass over the file):
// Long when every value is a whole number of 32 bits, Double when every
// value is a number, Date when every value is an ISO date ("1867-03-15",
// with a time "1867-03-15 10:30:00" or "...T10:30:00"), Text otherwise
// (Memo beyond 255 characters). Empty fields are Null.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "exchange/io/table_reader.h"

namespace vdx::exchange {

inline constexpr char kCsvSeparators[] = {',', ';', '\t'};

// The separator detected from the first lines of a file's text.
char DetectCsvSeparator(const std::string& firstLines);

// An ISO date "1867-03-15", or with a time "1867-03-15 10:30:00" or
// "1867-03-15T10:30:00", as a day number; nullopt for anything else.
std::optional<double> ReadIsoDate(std::string_view text);

// Whether a file's text is read as UTF-8 (else as Windows-1252), and the
// separator detected, both from its first 64 KiB. VdxError 53 for a missing file.
struct CsvSample {
    char separator = ',';
    bool utf8 = true;
};
CsvSample SampleCsvFile(const std::string& path);

// Calls onRecord with the fields of each record of the file (the first
// record too) and the line it starts on; stops when onRecord returns false.
// VdxError 3274 naming the file for a quoted field that never closes.
using CsvRecordCallback = std::function<bool(std::vector<std::string>& fields, uint64_t line)>;
void ForEachCsvRecord(const std::string& path, const CsvSample& sample, const CsvRecordCallback& onRecord);

class CsvReader : public TableReader {
public:
    // Reads the column names and proposes the types (one pass over the
    // file), with the separator given or else the one detected; VdxError 53
    // when the file is missing, 3274 naming the file for a quoted field that
    // never closes or a record with more fields than the header.
    explicit CsvReader(std::string path, std::optional<char> separator = std::nullopt);
    std::vector<std::string> tableNames() override;
    std::vector<ColumnSpec> columns(const std::string& table) override;
    void readRows(const std::string& table, const RowCallback& onRow, ReadProgress* progress) override;

    char separator() const { return sample_.separator; }

private:
    void checkTable(const std::string& table) const;

    std::string path_;
    std::string table_;
    CsvSample sample_;
    std::vector<ColumnSpec> columns_;
};

}  // namespace vdx::exchange
