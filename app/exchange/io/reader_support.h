// Small pieces every reader shares: the errors they raise, the checks on the
// column names a source offers, progress reporting and the files of a folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "exchange/io/table_reader.h"

namespace vdx::exchange {

// VdxError 3274: the source is not in the format its reader expects.
[[noreturn]] void ThrowWrongFormat(const std::string& source, const std::string& why);
// VdxError 3011: no table of that name in the source.
[[noreturn]] void ThrowTableNotFound(const std::string& table);

// The names a table's columns will carry in the project file must be usable
// there: not empty, unique without regard to letter case, at most 64
// characters, no leading blank, no control characters and none of . ! ` [ ].
// Throws VdxError 3125 naming the table and the column number otherwise.
void CheckColumnNames(const std::vector<ColumnSpec>& columns, const std::string& table);

// Calls ReadProgress::report about every `every` rows; tick() returns false
// once the user has cancelled.
class ProgressTicker {
public:
    ProgressTicker(ReadProgress* progress, uint64_t total, uint64_t every = 4096)
        : progress_(progress), total_(total), every_(every ? every : 1) {}
    bool tick(uint64_t done) {
        if (!progress_ || done % every_ != 0) return true;
        return progress_->report(total_ ? static_cast<double>(done) / static_cast<double>(total_) : 0.0);
    }
    bool finish() { return progress_ ? progress_->report(1.0) : true; }

private:
    ReadProgress* progress_;
    uint64_t total_;
    uint64_t every_;
};

// Joins a folder (with or without its trailing "/" or "\") and a file name.
std::string JoinPath(const std::string& folder, const std::string& file);
// The file of a folder whose name equals `fileName` without regard to letter
// case (DOS-era files are often upper case); "" when there is none.
std::string FindFileInFolder(const std::string& folder, const std::string& fileName);
// The names, less the extension, of the folder's files with that extension
// (compared without regard to letter case), sorted.
std::vector<std::string> FileTitlesInFolder(const std::string& folder, const std::string& extension);
// The file name of a path (after the last "/" or "\"), and the name less its extension.
std::string FileNameOf(const std::string& path);
std::string StemOf(const std::string& fileName);

// Whether a day number lies in the years 100 to 9999, the dates the program
// can show and compute with.
bool IsDayNumberInRange(double dayNumber);

// Case-insensitive comparison of ASCII names (table and column names).
bool SameName(const std::string& a, const std::string& b);

}  // namespace vdx::exchange
