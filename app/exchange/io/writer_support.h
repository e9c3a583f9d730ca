// What the table writers share: the temporary file renamed over the target,
// the common bookkeeping of begin / writeRow / finish, a compact in-memory
// copy of the rows for formats that must see every value before they write
// the first (field widths), and the conversions of values to text.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "exchange/io/reader_support.h"
#include "exchange/io/table_writer.h"
#include "state/errors.h"

namespace vdx::exchange {

// A temporary file in the target's folder that takes the target's place on
// commit(); without commit() it is removed and the target is untouched.
// The file, ".<target name>.unfinished.XXXXXX", is held with flock() until it
// is renamed; making one first removes the unheld ones of that folder (left
// by a writer that was killed). Failures throw VdxError 61 (disk full), 70
// (permission denied) or 75 (path).
// Whether a file name in a folder is the temporary file of an AtomicFile:
// ".<any name>.unfinished.XXXXXX", or of `targetName` the earlier naming
// ".<target name>.XXXXXX".
bool IsUnfinishedWrite(const std::string& name, const std::string& targetName);

class AtomicFile {
public:
    explicit AtomicFile(std::string targetPath);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    void write(std::string_view bytes);
    // Overwrites bytes already written (a header completed at the end);
    // later write() calls append again.
    void writeAt(uint64_t offset, std::string_view bytes);
    // The temporary file's name, for a library that writes the file itself by
    // name (libxlsxwriter); commit() then syncs and renames what it wrote.
    const std::string& temporaryPath() const { return tempPath_; }
    // Flushes to disk and renames the temporary file over the target.
    void commit();

private:
    std::string target_;
    std::string tempPath_;
    std::FILE* file_ = nullptr;
    bool committed_ = false;
};

// The common part of every writer: checks the row count and the width of
// each row, reports progress, and abandons the table on cancel. A format
// implements open / put / close.
class FileTableWriter : public TableWriter {
public:
    FileTableWriter(std::string targetPath, std::string tableName)
        : targetPath_(std::move(targetPath)), tableName_(std::move(tableName)) {}
    void begin(const std::vector<ColumnSpec>& columns, uint64_t expectedRows, ReadProgress* progress) final;
    bool writeRow(const std::vector<Value>& row) final;
    void finish() final;

protected:
    // The rows (besides a header) the format holds; more are refused.
    virtual uint64_t rowLimit() const { return UINT64_MAX; }
    virtual size_t columnLimit() const { return SIZE_MAX; }
    virtual void open(const std::vector<ColumnSpec>& columns) = 0;
    virtual void put(const std::vector<Value>& row) = 0;
    // Writes what remains and commits the file(s).
    virtual void close() = 0;
    // Called when the table is abandoned (cancel or failure).
    virtual void abandon() {}

    const std::string& targetPath() const { return targetPath_; }
    const std::string& tableName() const { return tableName_; }
    const std::vector<ColumnSpec>& columns() const { return columns_; }
    uint64_t rowsWritten() const { return rows_; }

private:
    void refuseTooManyRows(uint64_t rows) const;
    std::string targetPath_;
    std::string tableName_;
    std::vector<ColumnSpec> columns_;
    uint64_t expected_ = 0;
    uint64_t rows_ = 0;
    ReadProgress* progress_ = nullptr;
    enum class Stage { Fresh, Open, Done } stage_ = Stage::Fresh;
};

// The rows of a table kept compactly in memory (one kind byte and the
// payload per cell, in blocks of a few MiB that are never moved), for
// writers that size their fields from every value.
class RowSpool {
public:
    void append(const std::vector<Value>& row);
    uint64_t rows() const { return rows_; }
    // Calls onRow for every row in order, reusing one vector.
    template <typename F>
    void forEach(size_t columnCount, F&& onRow) const {
        std::vector<Value> row(columnCount);
        for (const Block& block : blocks_) {
            const char* pos = block.data.get();
            const char* end = pos + block.used;
            while (pos < end) {
                for (size_t c = 0; c < columnCount; ++c) readValue(pos, row[c]);
                onRow(row);
            }
        }
    }

private:
    struct Block {
        std::unique_ptr<char[]> data;
        size_t size = 0;
        size_t used = 0;
    };
    static void readValue(const char*& pos, Value& into);
    std::vector<Block> blocks_;
    uint64_t rows_ = 0;
};

// The shortest decimal text that reads back as the same double, in fixed
// notation when that is at most maxFixed characters long ("0.1", "125",
// "-3.25"), else in exponent notation ("1e+300").
std::string ExactNumberText(double value, size_t maxFixed = 64);
// The same into a buffer of at least kNumberChars characters; returns the length.
inline constexpr size_t kNumberChars = 400;
size_t ExactNumberChars(double value, char* buffer, size_t maxFixed = 64);
// "yyyymmdd" (dBase dates) or "ddmmyyyy" (the ASCII import's layout) of a
// day number, into 8 characters.
void DateDigits(double dayNumber, bool dayFirst, char* eight);
// "yyyy-mm-dd", or "yyyy-mm-dd hh:mm:ss" when the day number has a time of day.
std::string IsoDateText(double dayNumber);
// "dd.mm.yyyy" for dates; "True"/"False"; exact numbers; texts as they are;
// "" for Null.
std::string CellText(const Value& value);

// A UTF-8 text in Windows-1252; nullopt when a character has no place there.
std::optional<std::string> Utf8ToWindows1252(std::string_view utf8);

// VdxError 13 for a value the format cannot hold, naming row and column.
[[noreturn]] void ThrowCannotHold(uint64_t row, const std::string& column, const std::string& why);

}  // namespace vdx::exchange
