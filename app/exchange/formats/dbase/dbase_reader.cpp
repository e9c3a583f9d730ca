#include "exchange/formats/dbase/dbase_reader.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>

#include "exchange/io/reader_support.h"
#include "state/errors.h"
#include "state/text_values.h"

namespace vdx::exchange {

namespace {

uint16_t Le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}
uint32_t Be32(const unsigned char* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\0')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.remove_suffix(1);
    return s;
}

// The header versions of tables in the dBase III/IV/5 layout (32-byte field
// descriptors); FoxPro's are marked.
bool KnownVersion(int v, bool& foxPro) {
    foxPro = false;
    switch (v) {
        case 0x02: case 0x03: case 0x43: case 0x63: case 0x83: case 0x8B: case 0x8E: case 0xCB: case 0xFB:
            return true;
        case 0x30: case 0x31: case 0x32: case 0xF5:
            foxPro = true;
            return true;
        default:
            return false;
    }
}

}  // namespace

int DbfCodePage(int ldid) {
    switch (ldid) {
        case 0x01: case 0x09: case 0x0B: case 0x0D: case 0x0F: case 0x11: case 0x15: case 0x18: case 0x19: case 0x1B:
            return 437;
        case 0x02: case 0x0A: case 0x0E: case 0x10: case 0x12: case 0x14: case 0x16: case 0x1A: case 0x1D: case 0x25:
        case 0x37:
            return 850;
        case 0x03: case 0x57: case 0x58: case 0x59: return 1252;
        case 0x04: return 10000;
        case 0x08: case 0x17: case 0x66: return 865;
        case 0x13: case 0x7B: return 932;
        case 0x1C: case 0x6C: return 863;
        case 0x1F: case 0x22: case 0x23: case 0x40: case 0x64: case 0x87: return 852;
        case 0x24: return 860;
        case 0x26: case 0x65: return 866;
        case 0x4D: case 0x7A: return 936;
        case 0x4E: case 0x79: return 949;
        case 0x4F: case 0x78: return 950;
        case 0x50: case 0x7C: return 874;
        case 0x67: return 861;
        case 0x6A: case 0x86: return 737;
        case 0x6B: case 0x88: return 857;
        case 0xC8: return 1250;
        case 0xC9: return 1251;
        case 0xCA: return 1254;
        case 0xCB: return 1253;
        case 0xCC: return 1257;
        default: return 0;
    }
}

DbfTable::DbfTable(const std::string& path) : path_(path), name_(FileNameOf(path)) {
    fileOwner_.reset(std::fopen(path.c_str(), "rb"));
    file_ = fileOwner_.get();
    if (!file_) throw VdxError(err::FileNotFound, "File not found: " + path);
    streamBuffer_.resize(1 << 20);
    std::setvbuf(file_, streamBuffer_.data(), _IOFBF, streamBuffer_.size());
    std::fseek(file_, 0, SEEK_END);
    const long fileSize = std::ftell(file_);
    std::rewind(file_);

    unsigned char head[32];
    if (fileSize < 32 || std::fread(head, 1, 32, file_) != 32) ThrowWrongFormat(name_, "it is too short for a dBase header");
    version_ = head[0];
    if (version_ == 0x04 || version_ == 0x8C)
        ThrowWrongFormat(name_, "it is a dBase 7 table; save it as dBase IV or 5.0");
    if (!KnownVersion(version_, foxPro_)) ThrowWrongFormat(name_, "it does not begin with a dBase header");
    recordCount_ = Le32(head + 4);
    headerLength_ = Le16(head + 8);
    recordLength_ = Le16(head + 10);
    int codePage = DbfCodePage(head[29]);
    decoder_ = std::make_unique<CodePageDecoder>(codePage ? codePage : 1252);
    if (headerLength_ < 33 || headerLength_ > static_cast<unsigned long>(fileSize))
        ThrowWrongFormat(name_, "its header length is not valid");

    // Field descriptors: 32 bytes each, up to the 0x0D terminator.
    std::vector<unsigned char> header(headerLength_ - 32);
    if (std::fread(header.data(), 1, header.size(), file_) != header.size())
        ThrowWrongFormat(name_, "its header is truncated");
    uint32_t offset = 0;
    size_t pos = 0;
    bool terminated = false;
    while (pos < header.size()) {
        if (header[pos] == 0x0D) { terminated = true; break; }
        if (pos + 32 > header.size()) break;
        const unsigned char* d = header.data() + pos;
        Field f;
        size_t nameLength = 0;
        while (nameLength < 11 && d[nameLength] != 0) ++nameLength;
        f.name = decoder_->decode(TrimBlanks(std::string_view(reinterpret_cast<const char*>(d), nameLength)));
        f.type = static_cast<char>(d[11]);
        f.length = d[16];
        f.decimals = d[17];
        // Character fields longer than 255 keep the high byte of the length
        // in the decimal count (Clipper, FoxPro).
        if (f.type == 'C' && f.decimals != 0 && (foxPro_ || version_ == 0x03)) {
            f.length |= static_cast<uint32_t>(f.decimals) << 8;
            f.decimals = 0;
        }
        if (f.length == 0) ThrowWrongFormat(name_, "field " + f.name + " has no length");
        f.offset = offset;
        offset += f.length;
        fields_.push_back(std::move(f));
        pos += 32;
    }
    if (!terminated) ThrowWrongFormat(name_, "its field list has no end mark");
    if (fields_.empty()) ThrowWrongFormat(name_, "it has no fields");
    if (offset + 1 > recordLength_) ThrowWrongFormat(name_, "its record length does not match its fields");
    const uint64_t needed = static_cast<uint64_t>(headerLength_) + static_cast<uint64_t>(recordCount_) * recordLength_;
    if (needed > static_cast<uint64_t>(fileSize)) {
        uint64_t present = (static_cast<uint64_t>(fileSize) - headerLength_) / recordLength_;
        ThrowWrongFormat(name_, "it is truncated: its header announces " + std::to_string(recordCount_) +
                                    " records, the file holds " + std::to_string(present));
    }

    for (Field& f : fields_) {
        ColumnSpec columnSpec;
        columnSpec.name = f.name;
        switch (f.type) {
            case 'C': columnSpec.type = FieldType::Text; columnSpec.size = static_cast<int>(std::min<uint32_t>(f.length, 255)); break;
            case 'N':
                columnSpec.type = (f.decimals == 0 && f.length <= 9) ? FieldType::Long : FieldType::Double;
                break;
            case 'F': columnSpec.type = FieldType::Double; break;
            case 'D':
                if (f.length != 8) ThrowWrongFormat(name_, "date field " + f.name + " is not 8 characters long");
                columnSpec.type = FieldType::Date;
                break;
            case 'L': columnSpec.type = FieldType::Boolean; break;
            case 'M':
                if (foxPro_ ? f.length != 4 && f.length != 10 : f.length != 10)
                    ThrowWrongFormat(name_, "memo field " + f.name + " has an unexpected length");
                columnSpec.type = FieldType::Memo;
                hasMemo_ = true;
                break;
            case 'I':
                if (f.length != 4) ThrowWrongFormat(name_, "integer field " + f.name + " is not 4 bytes long");
                columnSpec.type = FieldType::Long;
                break;
            case 'B':
                if (!foxPro_) { f.skipped = true; break; }  // dBase 5.0: binary memo
                if (f.length != 8) ThrowWrongFormat(name_, "double field " + f.name + " is not 8 bytes long");
                columnSpec.type = FieldType::Double;
                break;
            case 'Y':
            case 'T':
                if (f.length != 8) ThrowWrongFormat(name_, "field " + f.name + " is not 8 bytes long");
                columnSpec.type = f.type == 'Y' ? FieldType::Double : FieldType::Date;
                break;
            case 'G': case 'P': case '0':  // OLE objects, pictures, FoxPro's null flags
                f.skipped = true;
                break;
            default:
                ThrowWrongFormat(name_, "field " + f.name + " has the unknown type '" + std::string(1, f.type) + "'");
        }
        if (!f.skipped) columns_.push_back(std::move(columnSpec));
    }
    CheckColumnNames(columns_, StemOf(name_));
}

DbfTable::~DbfTable() = default;

void DbfTable::openMemoFile() {
    const std::string folder = path_.substr(0, path_.size() - name_.size());
    const std::string stem = StemOf(name_);
    std::string memoPath = FindFileInFolder(folder, stem + (foxPro_ ? ".fpt" : ".dbt"));
    if (memoPath.empty()) memoPath = FindFileInFolder(folder, stem + (foxPro_ ? ".dbt" : ".fpt"));
    if (memoPath.empty()) ThrowWrongFormat(name_, "its memo file " + stem + (foxPro_ ? ".FPT" : ".DBT") + " is missing");
    memoOwner_.reset(std::fopen(memoPath.c_str(), "rb"));
    memo_ = memoOwner_.get();
    if (!memo_) throw VdxError(err::PermissionDenied, "Cannot read " + memoPath);
    std::fseek(memo_, 0, SEEK_END);
    memoSize_ = static_cast<uint64_t>(std::ftell(memo_));
    unsigned char head[32] = {};
    std::rewind(memo_);
    if (std::fread(head, 1, sizeof head, memo_) < 8) ThrowWrongFormat(FileNameOf(memoPath), "the memo file is too short");
    memoIsFoxPro_ = memoPath.size() > 4 && (memoPath.substr(memoPath.size() - 4) == ".fpt" ||
                                            memoPath.substr(memoPath.size() - 4) == ".FPT");
    if (memoIsFoxPro_) {
        memoBlockSize_ = static_cast<uint32_t>((head[6] << 8) | head[7]);
    } else if (version_ == 0x8B || version_ == 0xCB || version_ == 0x8E) {
        memoBlockSize_ = Le16(head + 20);  // dBase IV and later
    } else {
        memoBlockSize_ = 512;
    }
    if (memoBlockSize_ == 0) memoBlockSize_ = 512;
}

std::string DbfTable::readMemo(uint64_t block, const Field& field, uint32_t record) {
    const uint64_t start = block * memoBlockSize_;
    auto bad = [&]() {
        ThrowWrongFormat(name_, "record " + std::to_string(record) + " field " + field.name +
                                    " points past the end of its memo file");
    };
    if (start >= memoSize_) bad();
    std::fseek(memo_, static_cast<long>(start), SEEK_SET);
    std::string raw;
    if (memoIsFoxPro_) {
        unsigned char head[8];
        if (std::fread(head, 1, 8, memo_) != 8) bad();
        uint32_t length = Be32(head + 4);
        if (length > memoSize_ - start - 8) bad();
        raw.resize(length);
        if (std::fread(raw.data(), 1, length, memo_) != length) bad();
        return decoder_->decode(raw);
    }
    unsigned char head[8];
    size_t got = std::fread(head, 1, 8, memo_);
    if (got == 8 && head[0] == 0xFF && head[1] == 0xFF && head[2] == 0x08 && head[3] == 0x00) {
        // dBase IV block: the length counts the 8 header bytes.
        uint32_t length = Le32(head + 4);
        if (length < 8 || length - 8 > memoSize_ - start - 8) bad();
        raw.resize(length - 8);
        if (std::fread(raw.data(), 1, raw.size(), memo_) != raw.size()) bad();
        size_t end = raw.find('\x1A');  // some writers end the text with 0x1A as well
        if (end != std::string::npos) raw.resize(end);
        return decoder_->decode(raw);
    }
    // dBase III: the text runs to the first 0x1A; a text that runs into the
    // end of the file instead was cut off with it.
    std::fseek(memo_, static_cast<long>(start), SEEK_SET);
    char chunk[4096];
    while (true) {
        size_t n = std::fread(chunk, 1, sizeof chunk, memo_);
        if (n == 0)
            ThrowWrongFormat(name_, "record " + std::to_string(record) + " field " + field.name +
                                        " has a memo text that runs into the end of its memo file");
        const void* end = std::memchr(chunk, 0x1A, n);
        if (end) {
            raw.append(chunk, static_cast<const char*>(end) - chunk);
            break;
        }
        raw.append(chunk, n);
    }
    return decoder_->decode(raw);
}

Value DbfTable::fieldValue(const Field& f, const unsigned char* data, uint32_t record) {
    const char* text = reinterpret_cast<const char*>(data + f.offset);
    std::string_view raw(text, f.length);
    auto bad = [&](const char* what) -> Value {
        ThrowWrongFormat(name_, "record " + std::to_string(record) + " field " + f.name + " holds '" +
                                    std::string(TrimBlanks(raw)) + "', which is not " + what);
    };
    switch (f.type) {
        case 'C': {
            std::string_view s = raw;
            while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.remove_suffix(1);
            if (s.empty()) return Value();
            return Value::text(decoder_->decode(s));
        }
        case 'N':
        case 'F': {
            std::string_view s = TrimBlanks(raw);
            if (s.empty() || s.find_first_not_of('*') == std::string_view::npos) return Value();  // blank or overflow
            if (s.front() == '+') s.remove_prefix(1);
            double d = 0;
            auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), d);
            // from_chars takes "nan", "inf" and "1e300" too: no value a
            // column can hold (the CSV and .xlsx readers refuse them alike).
            if (ec != std::errc() || end != s.data() + s.size()) return bad("a number");
            if (!std::isfinite(d)) return bad("a finite number");
            if (f.decimals == 0 && f.length <= 9) {
                if (d < INT32_MIN || d > INT32_MAX) return bad("a whole number from -2147483648 to 2147483647");
                if (d != std::trunc(d)) return bad("a whole number");
                return Value::integer(static_cast<int64_t>(d));
            }
            return Value::real(d);
        }
        case 'D': {
            std::string_view s = TrimBlanks(raw);
            if (s.empty() || s == "00000000") return Value();
            if (s.size() != 8 || s.find_first_not_of("0123456789") != std::string_view::npos) return bad("a date");
            auto part = [&](size_t at, size_t n) {
                int v = 0;
                for (size_t i = at; i < at + n; ++i) v = v * 10 + (s[i] - '0');
                return v;
            };
            int y = part(0, 4), m = part(4, 2), d = part(6, 2);
            if (m < 1 || m > 12 || d < 1 || d > DaysInMonth(y, m)) return bad("a date");
            return Value::date(DayNumber(y, m, d));
        }
        case 'L': {
            switch (raw.empty() ? ' ' : raw[0]) {
                case 'T': case 't': case 'Y': case 'y': return Value::boolean(true);
                case 'F': case 'f': case 'N': case 'n': return Value::boolean(false);
                case '?': case ' ': case '\0': return Value();
                default: return bad("a logical value");
            }
        }
        case 'M': {
            uint64_t block = 0;
            if (f.length == 4) {
                block = Le32(data + f.offset);
            } else {
                std::string_view s = TrimBlanks(raw);
                if (s.empty()) return Value();
                auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), block);
                if (ec != std::errc() || end != s.data() + s.size()) return bad("a memo block number");
            }
            if (block == 0) return Value();
            if (!memo_) openMemoFile();
            return Value::text(readMemo(block, f, record));
        }
        case 'I': return Value::integer(static_cast<int32_t>(Le32(data + f.offset)));
        case 'B': {
            double d;
            std::memcpy(&d, data + f.offset, 8);
            if (!std::isfinite(d))
                ThrowWrongFormat(name_, "record " + std::to_string(record) + " field " + f.name +
                                            " holds a double that is not a finite number");
            return Value::real(d);
        }
        case 'Y': {
            int64_t units;
            std::memcpy(&units, data + f.offset, 8);
            return Value::real(static_cast<double>(units) / 10000.0);
        }
        case 'T': {
            uint32_t julianDay = Le32(data + f.offset);
            uint32_t millis = Le32(data + f.offset + 4);
            if (julianDay == 0 && millis == 0) return Value();
            // Julian day 2415019 is 30 December 1899, day 0.
            double day = static_cast<double>(julianDay) - 2415019.0 + millis / 86400000.0;
            if (!IsDayNumberInRange(day)) return bad("a date");
            return Value::date(day);
        }
        default: return Value();
    }
}

void DbfTable::readRows(const RowCallback& onRow, ReadProgress* progress) {
    if (std::fseek(file_, static_cast<long>(headerLength_), SEEK_SET) != 0)
        ThrowWrongFormat(name_, "its records cannot be reached");
    std::vector<unsigned char> record(recordLength_);
    std::vector<Value> row(columns_.size());
    ProgressTicker ticker(progress, recordCount_);
    for (uint32_t r = 0; r < recordCount_; ++r) {
        if (std::fread(record.data(), 1, recordLength_, file_) != recordLength_)
            ThrowWrongFormat(name_, "it is truncated at record " + std::to_string(r + 1));
        if (!ticker.tick(r)) return;
        if (record[0] == '*') continue;  // deleted
        size_t c = 0;
        for (const Field& f : fields_) {
            if (f.skipped) continue;
            row[c++] = fieldValue(f, record.data() + 1, r + 1);
        }
        if (!onRow(row)) return;
    }
    ticker.finish();
}

// ---------------------------------------------------------------------------

std::vector<std::string> DBaseReader::tableNames() { return FileTitlesInFolder(folder_, "dbf"); }

std::string DBaseReader::fileOf(const std::string& table) {
    std::string path = FindFileInFolder(folder_, table + ".dbf");
    if (path.empty()) ThrowTableNotFound(table);
    return path;
}

std::vector<ColumnSpec> DBaseReader::columns(const std::string& table) { return DbfTable(fileOf(table)).columns(); }

void DBaseReader::readRows(const std::string& table, const RowCallback& onRow, ReadProgress* progress) {
    DbfTable(fileOf(table)).readRows(onRow, progress);
}

}  // namespace vdx::exchange
