#include "exchange/io/writer_support.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "db/file_io.h"
#include "state/errors.h"
#include "state/text_values.h"

namespace vdx::exchange {

// ---------------------------------------------------------------------------
// AtomicFile

namespace {
// Throws the VdxError for a failed file operation on path (by errno).
[[noreturn]] void ThrowFileError(int errorNumber, const std::string& path) {
    const std::string why = std::strerror(errorNumber);
    switch (errorNumber) {
        case ENOSPC:
        case EDQUOT: throw VdxError(err::DiskFull, "Disk full: " + path);
        case EACCES:
        case EPERM:
        case EROFS: throw VdxError(err::PermissionDenied, "Permission denied: " + path);
        default: throw VdxError(err::PathAccess, "Path/File access error: " + path + " (" + why + ")");
    }
}
}  // namespace

namespace {
constexpr std::string_view kUnfinished = ".unfinished.";
constexpr size_t kRandomChars = 6;  // mkstemp's XXXXXX

bool EndsInRandomPart(const std::string& name, std::string_view before) {
    if (name.size() < before.size() + kRandomChars) return false;
    const size_t at = name.size() - kRandomChars - before.size();
    return name.compare(at, before.size(), before) == 0 &&
           std::all_of(name.end() - kRandomChars, name.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)); });
}
}  // namespace

bool IsUnfinishedWrite(const std::string& name, const std::string& targetName) {
    // ".<any name>.unfinished.XXXXXX"; and of this target the earlier naming
    // ".<target name>.XXXXXX", whose files nobody held.
    if (name.size() > 1 && name[0] == '.' && EndsInRandomPart(name, kUnfinished) &&
        name.size() > 1 + kUnfinished.size() + kRandomChars)
        return true;
    return !targetName.empty() && name.size() == 2 + targetName.size() + kRandomChars && name[0] == '.' &&
           name.compare(1, targetName.size(), targetName) == 0 && EndsInRandomPart(name, ".");
}

AtomicFile::AtomicFile(std::string targetPath) : target_(std::move(targetPath)) {
    namespace fs = std::filesystem;
    fs::path target(target_);
    const std::string name = target.filename().string();
    if (name.empty()) ThrowFileError(EISDIR, target_);
    const std::string folder = target.parent_path().string();
    // What writers killed before (kill -9, a crash) left in this folder goes;
    // a write in progress holds its file and stays.
    db::RemoveUnheldFiles(folder, [&name](const std::string& entry) { return IsUnfinishedWrite(entry, name); });
    // Hidden and named after the target, so that a crash leaves a file whose
    // origin is plain; the random part keeps two exports apart. Held with
    // flock() until it is renamed, so that no other writer takes it for a
    // leftover.
    const std::string pattern =
        (target.parent_path() / ("." + name + std::string(kUnfinished) + "XXXXXX")).string();
    const int fd = db::CreateHeldTemporaryFile(pattern, tempPath_);
    if (fd < 0) ThrowFileError(errno, target_);
    file_ = ::fdopen(fd, "wb");
    if (!file_) {
        int e = errno;
        ::close(fd);
        ::unlink(tempPath_.c_str());
        ThrowFileError(e, target_);
    }
    // mkstemp makes the file private (0600): keep the permissions of the
    // file it replaces, or give those a newly created file would have.
    struct stat old {};
    if (::stat(target_.c_str(), &old) == 0) {
        ::fchmod(fd, old.st_mode & 07777);
    } else {
        mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
    }
}

AtomicFile::~AtomicFile() {
    if (file_) std::fclose(file_);
    if (!committed_) ::unlink(tempPath_.c_str());
}

void AtomicFile::write(std::string_view bytes) {
    if (!file_) ThrowFileError(EBADF, tempPath_);
    if (bytes.empty()) return;
    errno = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) ThrowFileError(errno ? errno : EIO, target_);
}

void AtomicFile::writeAt(uint64_t offset, std::string_view bytes) {
    if (!file_) ThrowFileError(EBADF, tempPath_);
    errno = 0;
    if (::fseeko(file_, static_cast<off_t>(offset), SEEK_SET) != 0) ThrowFileError(errno ? errno : EIO, target_);
    write(bytes);
    if (::fseeko(file_, 0, SEEK_END) != 0) ThrowFileError(errno ? errno : EIO, target_);
}

void AtomicFile::commit() {
    if (!file_) ThrowFileError(EBADF, tempPath_);
    errno = 0;
    if (std::fflush(file_) != 0 || ::fsync(::fileno(file_)) != 0) ThrowFileError(errno ? errno : EIO, target_);
    // Renamed while still held, so that no cleaner takes it for a leftover;
    // the data are on disk already.
    if (std::rename(tempPath_.c_str(), target_.c_str()) != 0) ThrowFileError(errno, target_);
    committed_ = true;
    std::fclose(file_);  // nothing is left to flush
    file_ = nullptr;
}

// ---------------------------------------------------------------------------
// FileTableWriter

void FileTableWriter::refuseTooManyRows(uint64_t rows) const {
    throw VdxError(err::PathAccess, "The table has " + std::to_string(rows) + " rows; a sheet of this format holds at most " +
                                        std::to_string(rowLimit()) + " rows besides the column names. Nothing was written.");
}

void FileTableWriter::begin(const std::vector<ColumnSpec>& columns, uint64_t expectedRows, ReadProgress* progress) {
    if (stage_ != Stage::Fresh) throw std::logic_error("TableWriter::begin called twice");
    if (columns.empty()) throw VdxError(err::TypeMismatch, "A table without columns cannot be written.");
    if (columns.size() > columnLimit())
        throw VdxError(err::PathAccess, "The table has " + std::to_string(columns.size()) +
                                            " columns; this format holds at most " + std::to_string(columnLimit()) +
                                            ". Nothing was written.");
    if (expectedRows > rowLimit()) refuseTooManyRows(expectedRows);
    columns_ = columns;
    expected_ = expectedRows;
    progress_ = progress;
    open(columns_);
    stage_ = Stage::Open;
}

bool FileTableWriter::writeRow(const std::vector<Value>& row) {
    if (stage_ != Stage::Open) return false;
    if (row.size() != columns_.size())
        throw std::logic_error("TableWriter::writeRow: " + std::to_string(row.size()) + " values for " +
                               std::to_string(columns_.size()) + " columns");
    if (rows_ + 1 > rowLimit()) {
        stage_ = Stage::Done;
        abandon();
        refuseTooManyRows(rows_ + 1);
    }
    try {
        // No format has a place for infinities or NaN (readers take them for text or fail).
        for (size_t c = 0; c < row.size(); ++c)
            if (row[c].kind() == Value::Kind::Double && !std::isfinite(row[c].asDouble()))
                ThrowCannotHold(rows_ + 1, columns_[c].name, "the number is infinite or not a number.");
        put(row);
    } catch (...) {
        stage_ = Stage::Done;
        abandon();
        throw;
    }
    ++rows_;
    if (progress_ && rows_ % 4096 == 0 &&
        !progress_->report(expected_ ? std::min(1.0, static_cast<double>(rows_) / static_cast<double>(expected_)) : 0.0)) {
        stage_ = Stage::Done;
        abandon();
        return false;
    }
    return true;
}

void FileTableWriter::finish() {
    if (stage_ != Stage::Open) return;
    stage_ = Stage::Done;
    try {
        close();
    } catch (...) {
        abandon();
        throw;
    }
    if (progress_) progress_->report(1.0);
}

// ---------------------------------------------------------------------------
// RowSpool

void RowSpool::append(const std::vector<Value>& row) {
    size_t need = 0;
    for (const Value& v : row) {
        switch (v.kind()) {
            case Value::Kind::Null: need += 1; break;
            case Value::Kind::Boolean: need += 2; break;
            case Value::Kind::Text: need += 5 + v.asText().size(); break;
            default: need += 9; break;
        }
    }
    if (blocks_.empty() || blocks_.back().size - blocks_.back().used < need) {
        Block block;
        block.size = std::max<size_t>(need, 4u << 20);
        block.data.reset(new char[block.size]);  // left uninitialised: every byte used is written
        blocks_.push_back(std::move(block));
    }
    Block& block = blocks_.back();
    char* out = block.data.get() + block.used;
    block.used += need;
    for (const Value& v : row) {
        *out++ = static_cast<char>(v.kind());
        switch (v.kind()) {
            case Value::Kind::Null: break;
            case Value::Kind::Boolean: *out++ = v.asBool() ? 1 : 0; break;
            case Value::Kind::Integer: {
                int64_t i = v.asInteger();
                std::memcpy(out, &i, 8);
                out += 8;
                break;
            }
            case Value::Kind::Double:
            case Value::Kind::Date: {
                double d = v.asDouble();
                std::memcpy(out, &d, 8);
                out += 8;
                break;
            }
            case Value::Kind::Text: {
                auto n = static_cast<uint32_t>(v.asText().size());
                std::memcpy(out, &n, 4);
                std::memcpy(out + 4, v.asText().data(), n);
                out += 4 + n;
                break;
            }
        }
    }
    ++rows_;
}

void RowSpool::readValue(const char*& pos, Value& into) {
    auto kind = static_cast<Value::Kind>(*pos++);
    switch (kind) {
        case Value::Kind::Null: into = Value::null(); return;
        case Value::Kind::Boolean: into = Value::boolean(*pos++ != 0); return;
        case Value::Kind::Integer: {
            int64_t i;
            std::memcpy(&i, pos, 8);
            pos += 8;
            into = Value::integer(i);
            return;
        }
        case Value::Kind::Double:
        case Value::Kind::Date: {
            double d;
            std::memcpy(&d, pos, 8);
            pos += 8;
            into = kind == Value::Kind::Date ? Value::date(d) : Value::real(d);
            return;
        }
        case Value::Kind::Text: {
            uint32_t n;
            std::memcpy(&n, pos, 4);
            into = Value::text(std::string(pos + 4, n));
            pos += 4 + n;
            return;
        }
    }
}

// ---------------------------------------------------------------------------
// Values as text

size_t ExactNumberChars(double value, char* buffer, size_t maxFixed) {
    if (value == 0) {  // also for -0
        buffer[0] = '0';
        return 1;
    }
    auto [end, ec] = std::to_chars(buffer, buffer + kNumberChars, value, std::chars_format::fixed);
    if (ec == std::errc() && static_cast<size_t>(end - buffer) <= maxFixed) return static_cast<size_t>(end - buffer);
    auto [end2, ec2] = std::to_chars(buffer, buffer + kNumberChars, value);
    return ec2 == std::errc() ? static_cast<size_t>(end2 - buffer) : 0;
}

std::string ExactNumberText(double value, size_t maxFixed) {
    char buffer[kNumberChars];
    return std::string(buffer, ExactNumberChars(value, buffer, maxFixed));
}

void DateDigits(double dayNumber, bool dayFirst, char* eight) {
    CivilDate d = DateOfDayNumber(dayNumber);
    auto two = [](int v, char* at) {
        at[0] = static_cast<char>('0' + v / 10);
        at[1] = static_cast<char>('0' + v % 10);
    };
    char* year = eight + (dayFirst ? 4 : 0);
    two(d.year / 100 % 100, year);
    two(d.year % 100, year + 2);
    two(dayFirst ? d.day : d.month, eight + (dayFirst ? 0 : 4));
    two(dayFirst ? d.month : d.day, eight + (dayFirst ? 2 : 6));
}

std::string IsoDateText(double dayNumber) {
    // The time of day counts forward from midnight of the day at or before
    // the number, as the CSV reader builds it (day + seconds / 86400).
    double whole = std::floor(dayNumber);
    long seconds = std::lround((dayNumber - whole) * 86400.0);
    if (seconds == 86400) {
        whole += 1;
        seconds = 0;
    }
    const CivilDate d = DateOfDayNumber(whole);
    char text[40];
    if (seconds == 0)
        std::snprintf(text, sizeof text, "%04d-%02d-%02d", d.year, d.month, d.day);
    else
        std::snprintf(text, sizeof text, "%04d-%02d-%02d %02ld:%02ld:%02ld", d.year, d.month, d.day, seconds / 3600,
                      seconds / 60 % 60, seconds % 60);
    return text;
}

std::string CellText(const Value& value) {
    switch (value.kind()) {
        case Value::Kind::Null: return "";
        case Value::Kind::Boolean: return BooleanText(value.asBool());
        case Value::Kind::Integer: return std::to_string(value.asInteger());
        case Value::Kind::Double: return ExactNumberText(value.asDouble(), 32);
        case Value::Kind::Date: return FormatDate(value.asDouble());
        case Value::Kind::Text: return value.asText();
    }
    return "";
}

namespace {
// Windows-1252's characters at 0x80..0x9F (0 where the code page has none).
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// The next code point of valid UTF-8, or nullopt for a malformed sequence.
std::optional<char32_t> NextCodePoint(std::string_view s, size_t& i) {
    auto b = static_cast<unsigned char>(s[i]);
    int extra = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : -1;
    if (extra < 0 || i + extra >= s.size()) return std::nullopt;
    char32_t cp = extra == 0 ? b : b & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
        auto c = static_cast<unsigned char>(s[i + k]);
        if ((c & 0xC0) != 0x80) return std::nullopt;
        cp = (cp << 6) | (c & 0x3F);
    }
    i += extra + 1;
    return cp;
}
}  // namespace

std::optional<std::string> Utf8ToWindows1252(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size()) {
        auto b = static_cast<unsigned char>(utf8[i]);
        if (b < 0x80) {
            out.push_back(static_cast<char>(b));
            ++i;
            continue;
        }
        std::optional<char32_t> cp = NextCodePoint(utf8, i);
        if (!cp) return std::nullopt;
        if (*cp >= 0xA0 && *cp <= 0xFF) {
            out.push_back(static_cast<char>(*cp));
            continue;
        }
        int found = -1;
        for (int k = 0; k < 32; ++k)
            if (kCp1252High[k] != 0 && kCp1252High[k] == *cp) found = k;
        if (found < 0) return std::nullopt;
        out.push_back(static_cast<char>(0x80 + found));
    }
    return out;
}

void ThrowCannotHold(uint64_t row, const std::string& column, const std::string& why) {
    throw VdxError(err::TypeMismatch,
                   "Row " + std::to_string(row) + ", column \"" + column + "\": " + why + " Nothing was written.");
}

}  // namespace vdx::exchange
