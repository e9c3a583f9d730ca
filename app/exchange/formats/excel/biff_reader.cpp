#include "exchange/formats/excel/biff_reader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>

#include "exchange/formats/excel/compound_file.h"
#include "exchange/io/reader_support.h"
#include "exchange/io/text_encoding.h"
#include "state/errors.h"

namespace vdx::exchange {

namespace {

// Record types, by BIFF version where they differ.
enum : uint16_t {
    kBof2 = 0x0009, kBof3 = 0x0209, kBof4 = 0x0409, kBof58 = 0x0809,
    kEof = 0x000A,
    kInteger2 = 0x0002, kNumber2 = 0x0003, kLabel2 = 0x0004, kBoolErr2 = 0x0005, kFormula2 = 0x0006, kString2 = 0x0007,
    kNumber = 0x0203, kLabel = 0x0204, kBoolErr = 0x0205, kFormula3 = 0x0206, kString = 0x0207, kFormula4 = 0x0406,
    kFormula = 0x0006, kRk = 0x027E, kMulRk = 0x00BD, kLabelSst = 0x00FD, kRString = 0x00D6,
    kCodePage = 0x0042, kDateMode = 0x0022, kFilePass = 0x002F,
    kFormat2 = 0x001E, kFormat = 0x041E,
    kXf2 = 0x0043, kXf3 = 0x0243, kXf4 = 0x0443, kXf = 0x00E0,
    kBoundSheet = 0x0085, kSst = 0x00FC, kContinue = 0x003C, kIxfe = 0x0044,
    kDimensions2 = 0x0000, kDimensions = 0x0200,
};

uint16_t Le16(const char* p) {
    return static_cast<uint16_t>(static_cast<unsigned char>(p[0]) | (static_cast<unsigned char>(p[1]) << 8));
}
uint32_t Le32(const char* p) {
    return static_cast<uint32_t>(static_cast<unsigned char>(p[0])) |
           (static_cast<uint32_t>(static_cast<unsigned char>(p[1])) << 8) |
           (static_cast<uint32_t>(static_cast<unsigned char>(p[2])) << 16) |
           (static_cast<uint32_t>(static_cast<unsigned char>(p[3])) << 24);
}
double LeDouble(const char* p) {
    uint64_t bits = static_cast<uint64_t>(Le32(p)) | (static_cast<uint64_t>(Le32(p + 4)) << 32);
    double d;
    std::memcpy(&d, &bits, 8);
    return d;
}

double RkValue(uint32_t rk) {
    double d;
    if (rk & 2) {
        d = static_cast<double>(static_cast<int32_t>(rk) >> 2);
    } else {
        uint64_t bits = static_cast<uint64_t>(rk & 0xFFFFFFFC) << 32;
        std::memcpy(&d, &bits, 8);
    }
    return (rk & 1) ? d / 100.0 : d;
}

struct Record {
    uint16_t type = 0;
    std::string_view data;
    size_t offset = 0;  // of the record header
};

// Walks the records of a stream. next() is false at the end of the stream
// and at a record cut short by it; cut() tells the two apart.
class RecordCursor {
public:
    RecordCursor(std::string_view stream, size_t offset) : stream_(stream), pos_(offset) {}
    bool next(Record& r) {
        if (pos_ + 4 > stream_.size()) return false;
        r.offset = pos_;
        r.type = Le16(stream_.data() + pos_);
        uint16_t length = Le16(stream_.data() + pos_ + 2);
        if (pos_ + 4 + length > stream_.size()) return false;
        r.data = stream_.substr(pos_ + 4, length);
        pos_ += 4 + length;
        return true;
    }
    bool cut() const { return pos_ < stream_.size(); }
    // The record after the current one, without moving.
    bool peek(Record& r) const {
        RecordCursor copy = *this;
        return copy.next(r);
    }

private:
    std::string_view stream_;
    size_t pos_;
};

// Reads BIFF8 unicode strings whose characters may continue in CONTINUE
// records (each continuation starts with a new option byte).
class SegmentReader {
public:
    explicit SegmentReader(std::vector<std::string_view> segments) : segments_(std::move(segments)) {}
    bool atEnd() {
        skipEmpty();
        return segment_ >= segments_.size();
    }
    bool byte(unsigned char& out) {
        skipEmpty();
        if (segment_ >= segments_.size()) return false;
        out = static_cast<unsigned char>(segments_[segment_][pos_++]);
        return true;
    }
    bool u16(uint16_t& out) {
        unsigned char a, b;
        if (!byte(a) || !byte(b)) return false;
        out = static_cast<uint16_t>(a | (b << 8));
        return true;
    }
    bool u32(uint32_t& out) {
        uint16_t a, b;
        if (!u16(a) || !u16(b)) return false;
        out = a | (static_cast<uint32_t>(b) << 16);
        return true;
    }
    bool skip(uint64_t n) {
        while (n > 0) {
            skipEmpty();
            if (segment_ >= segments_.size()) return false;
            uint64_t here = std::min<uint64_t>(n, segments_[segment_].size() - pos_);
            pos_ += static_cast<size_t>(here);
            n -= here;
        }
        return true;
    }
    // One unicode string: 16-bit character count, option byte, [runs], [ext], characters.
    bool unicodeString(std::string& out) {
        uint16_t count;
        unsigned char options;
        if (!u16(count) || !byte(options)) return false;
        uint16_t runs = 0;
        uint32_t ext = 0;
        if ((options & 0x08) && !u16(runs)) return false;
        if ((options & 0x04) && !u32(ext)) return false;
        bool wide = options & 0x01;
        out.clear();
        for (uint16_t i = 0; i < count; ++i) {
            if (pos_ >= currentSize() && i > 0) {
                // The characters go on in the next CONTINUE record, which
                // starts with its own option byte.
                ++segment_;
                pos_ = 0;
                unsigned char again;
                if (!byte(again)) return false;
                wide = again & 0x01;
            }
            char32_t ch;
            if (wide) {
                uint16_t unit;
                if (!u16(unit)) return false;
                ch = unit;
                if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < count) {
                    uint16_t low;
                    if (!u16(low)) return false;
                    ++i;
                    ch = 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (low - 0xDC00);
                } else if (unit >= 0xD800 && unit <= 0xDFFF) {
                    ch = 0xFFFD;
                }
            } else {
                unsigned char b;
                if (!byte(b)) return false;
                ch = b;
            }
            AppendUtf8(out, ch);
        }
        return skip(4ull * runs) && skip(ext);
    }

private:
    size_t currentSize() const { return segment_ < segments_.size() ? segments_[segment_].size() : 0; }
    void skipEmpty() {
        while (segment_ < segments_.size() && pos_ >= segments_[segment_].size()) {
            ++segment_;
            pos_ = 0;
        }
    }
    std::vector<std::string_view> segments_;
    size_t segment_ = 0;
    size_t pos_ = 0;
};

// A BIFF8 unicode string held in one record, from `at`; advances `at`.
bool UnicodeStringAt(std::string_view data, size_t& at, bool lengthIs16, std::string& out) {
    if (at >= data.size()) return false;
    uint16_t count;
    if (lengthIs16) {
        if (at + 2 > data.size()) return false;
        count = Le16(data.data() + at);
        at += 2;
    } else {
        count = static_cast<unsigned char>(data[at]);
        at += 1;
    }
    // The segment reader wants a 16-bit count before the option byte.
    std::string framed;
    framed.push_back(static_cast<char>(count & 0xFF));
    framed.push_back(static_cast<char>(count >> 8));
    framed.append(data.substr(at));
    SegmentReader reader({std::string_view(framed)});
    if (!reader.unicodeString(out)) return false;
    at = data.size();
    return true;
}

// Built-in number formats (Excel 5.0 and later) that show dates or times.
bool BuiltInDateFormat(uint32_t index) {
    return (index >= 14 && index <= 22) || (index >= 27 && index <= 36) || (index >= 45 && index <= 47) ||
           (index >= 50 && index <= 58);
}

}  // namespace

double ExcelSerialToDayNumber(double serial, bool dateSystem1904) {
    if (dateSystem1904) return serial + 1462.0;
    return serial < 61.0 ? serial + 1.0 : serial;
}

bool IsDateFormat(std::string_view format) {
    bool inQuotes = false;
    for (size_t i = 0; i < format.size(); ++i) {
        char c = format[i];
        if (inQuotes) {
            if (c == '"') inQuotes = false;
            continue;
        }
        switch (c) {
            case '"': inQuotes = true; break;
            case '\\': case '_': case '*': ++i; break;  // an escaped, padding or fill character
            case '[': {
                // [Red], [$-409] and [>100] are no date parts; [h], [mm], [ss] are elapsed times.
                size_t close = format.find(']', i);
                if (close == std::string_view::npos) return false;
                std::string_view inside = format.substr(i + 1, close - i - 1);
                if (!inside.empty() && inside.find_first_not_of("hHmMsS") == std::string_view::npos) return true;
                i = close;
                break;
            }
            case 'd': case 'D': case 'm': case 'M': case 'y': case 'Y': case 'h': case 'H': case 's': case 'S':
                return true;
            case 'e': case 'E':
                // "General" and scientific notation ("0.00E+00") are no dates.
                break;
            default: break;
        }
    }
    return false;
}

BiffWorkbook BiffWorkbook::FromFile(const std::string& path, const std::string& singleSheetName) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw VdxError(err::FileNotFound, "File not found: " + path);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return BiffWorkbook(std::move(bytes), FileNameOf(path), singleSheetName);
}

BiffWorkbook::BiffWorkbook(std::string bytes, std::string fileName, std::string singleSheetName)
    : file_(std::move(bytes)), fileName_(std::move(fileName)) {
    if (CompoundFile::HasSignature(file_)) {
        std::optional<std::string> stream;
        try {
            CompoundFile container(file_, fileName_);
            stream = container.stream("Workbook");
            if (!stream) stream = container.stream("Book");
        } catch (const VdxError& damage) {
            throw BiffRefusedError(damage);  // the container is damaged (or cut short)
        }
        if (!stream) ThrowWrongFormat(fileName_, "it is a compound document without an Excel workbook");
        stream_ = std::move(*stream);
    } else {
        stream_ = file_;
    }
    if (stream_.size() < 4) ThrowWrongFormat(fileName_, "it is no Excel file");
    const uint16_t first = Le16(stream_.data());
    switch (first) {
        case kBof2: version_ = 2; break;
        case kBof3: version_ = 3; break;
        case kBof4: version_ = 4; break;
        case kBof58: version_ = 5; break;  // 5 or 8, told by the BOF's version field
        default: ThrowWrongFormat(fileName_, "it does not begin with an Excel record");
    }
    if (version_ == 5) {
        parseGlobals();
    } else {
        sheets_.push_back({singleSheetName, 0});
        parseSingleSheetFile();
    }
}

std::string BiffWorkbook::decodeBytes(std::string_view bytes) const {
    if (codePage_ == 1252 || codePage_ == 1200) return Windows1252ToUtf8(bytes);
    CodePageDecoder decoder(codePage_);
    return decoder.decode(bytes);
}

void BiffWorkbook::damaged(const std::string& why) const {
    throw BiffRefusedError(fileName_, "it is damaged (" + why + ")");
}

void BiffWorkbook::parseSingleSheetFile() {
    // Excel 2.1 to 4.0 worksheets keep their formats in the sheet stream itself.
    RecordCursor cursor(stream_, 0);
    Record r;
    bool first = true;
    while (cursor.next(r)) {
        if (first) {
            first = false;
            if (r.data.size() >= 4 && version_ == 4 && Le16(r.data.data() + 2) == 0x0100)
                ThrowWrongFormat(fileName_, "it is an Excel 4.0 workbook of several sheets; save each sheet as a worksheet");
            continue;
        }
        switch (r.type) {
            case kEof: return;
            case kFilePass: throw BiffPasswordError(fileName_);
            case kCodePage:
                if (r.data.size() >= 2) codePage_ = Le16(r.data.data());
                break;
            case kDateMode:
                if (r.data.size() >= 2) dateSystem1904_ = Le16(r.data.data()) == 1;
                break;
            case kFormat2:
            case kFormat: {
                // The index is the order of the FORMAT records.
                size_t at = r.type == kFormat ? 2 : 0;  // Excel 4.0 puts two unused bytes first
                if (at < r.data.size()) {
                    size_t n = static_cast<unsigned char>(r.data[at]);
                    std::string_view text = r.data.substr(at + 1, n);
                    formats_.emplace_back(static_cast<uint32_t>(formats_.size()), std::string(text));
                }
                break;
            }
            case kXf2:
                if (r.data.size() >= 3) xfFormats_.push_back(static_cast<unsigned char>(r.data[2]) & 0x3F);
                break;
            case kXf3:
            case kXf4:
                if (r.data.size() >= 2) xfFormats_.push_back(static_cast<unsigned char>(r.data[1]));
                break;
            default: break;
        }
    }
    damaged(cursor.cut() ? "a record runs past the end of the file" : "the worksheet ends without its end record");
}

void BiffWorkbook::parseGlobals() {
    RecordCursor cursor(stream_, 0);
    Record r;
    cursor.next(r);  // the BOF
    if (r.data.size() < 4) ThrowWrongFormat(fileName_, "its first record is damaged");
    const uint16_t bofVersion = Le16(r.data.data());
    const uint16_t bofType = Le16(r.data.data() + 2);
    version_ = bofVersion == 0x0600 ? 8 : 5;
    if (bofType != 0x0005) ThrowWrongFormat(fileName_, "its workbook part is missing");
    if (version_ == 8) codePage_ = 1200;
    while (cursor.next(r)) {
        switch (r.type) {
            case kEof: return;
            case kFilePass: throw BiffPasswordError(fileName_);
            case kCodePage:
                if (r.data.size() >= 2 && version_ == 5) codePage_ = Le16(r.data.data());
                break;
            case kDateMode:
                if (r.data.size() >= 2) dateSystem1904_ = Le16(r.data.data()) == 1;
                break;
            case kFormat: {
                if (r.data.size() < 3) break;
                uint32_t index = Le16(r.data.data());
                std::string text;
                if (version_ == 8) {
                    size_t at = 2;
                    if (!UnicodeStringAt(r.data, at, true, text)) break;
                } else {
                    size_t n = static_cast<unsigned char>(r.data[2]);
                    text = std::string(r.data.substr(3, n));
                }
                formats_.emplace_back(index, std::move(text));
                break;
            }
            case kXf:
                if (r.data.size() >= 4) xfFormats_.push_back(Le16(r.data.data() + 2));
                break;
            case kBoundSheet: {
                if (r.data.size() < 7) break;
                uint32_t offset = Le32(r.data.data());
                unsigned char kind = static_cast<unsigned char>(r.data[5]);
                std::string name;
                if (version_ == 8) {
                    size_t at = 6;
                    if (!UnicodeStringAt(r.data, at, false, name)) break;
                } else {
                    size_t n = static_cast<unsigned char>(r.data[6]);
                    name = decodeBytes(r.data.substr(7, n));
                }
                if (kind == 0x00) sheets_.push_back({std::move(name), offset});
                break;
            }
            case kSst: {
                if (r.data.size() < 8) break;
                std::vector<std::string_view> segments{r.data.substr(8)};
                Record more;
                while (cursor.peek(more) && more.type == kContinue) {
                    cursor.next(more);
                    segments.push_back(more.data);
                }
                uint32_t unique = Le32(r.data.data() + 4);
                SegmentReader reader(std::move(segments));
                sharedStrings_.reserve(std::min<uint32_t>(unique, static_cast<uint32_t>(stream_.size() / 3)));
                std::string s;
                for (uint32_t i = 0; i < unique && !reader.atEnd(); ++i) {
                    if (!reader.unicodeString(s)) break;
                    sharedStrings_.push_back(s);
                }
                break;
            }
            default: break;
        }
    }
    damaged(cursor.cut() ? "a record runs past the end of the workbook stream"
                         : "the workbook part ends without its end record");
}

bool BiffWorkbook::formatIsDate(uint32_t formatIndex) const {
    for (const auto& [index, text] : formats_)
        if (index == formatIndex) return IsDateFormat(text);
    return version_ >= 5 && BuiltInDateFormat(formatIndex);
}

bool BiffWorkbook::xfIsDate(uint32_t xf) const {
    return xf < xfFormats_.size() && formatIsDate(xfFormats_[xf]);
}

std::vector<std::string> BiffWorkbook::sheetNames() const {
    std::vector<std::string> names;
    for (const Sheet& s : sheets_) names.push_back(s.name);
    return names;
}

std::vector<SheetCell> BiffWorkbook::sheetCells(size_t index) const {
    if (index >= sheets_.size()) return {};
    // Resolve date formats once per XF.
    std::vector<char> xfDate(xfFormats_.size());
    for (size_t i = 0; i < xfFormats_.size(); ++i) xfDate[i] = xfIsDate(static_cast<uint32_t>(i));
    std::map<uint32_t, bool> formatDate;  // Excel 2.1: formats named in the cells
    auto isDate = [&](uint32_t xf) { return xf < xfDate.size() && xfDate[xf]; };
    auto isDate2 = [&](const char* attributes) {
        uint32_t format = static_cast<unsigned char>(attributes[1]) & 0x3F;
        auto it = formatDate.find(format);
        if (it == formatDate.end()) it = formatDate.emplace(format, formatIsDate(format)).first;
        return it->second;
    };

    std::vector<SheetCell> cells;
    auto number = [&](uint32_t row, uint16_t col, double d, bool date) {
        if (!std::isfinite(d)) {
            cells.push_back({row, col, Value()});
        } else if (date && IsDayNumberInRange(ExcelSerialToDayNumber(d, dateSystem1904_))) {
            cells.push_back({row, col, Value::date(ExcelSerialToDayNumber(d, dateSystem1904_))});
        } else {
            cells.push_back({row, col, Value::real(d)});  // a number, or a "date" no calendar holds
        }
    };
    auto text = [&](uint32_t row, uint16_t col, std::string s) { cells.push_back({row, col, Value::text(std::move(s))}); };
    // A BIFF 3-5 byte string with a 16-bit length.
    auto byteString16 = [&](std::string_view data, size_t at) -> std::string {
        if (at + 2 > data.size()) return {};
        size_t n = Le16(data.data() + at);
        return decodeBytes(data.substr(at + 2, n));
    };

    RecordCursor cursor(stream_, sheets_[index].offset);
    Record r;
    if (!cursor.next(r) || (r.type != kBof2 && r.type != kBof3 && r.type != kBof4 && r.type != kBof58))
        damaged("sheet " + sheets_[index].name + " does not begin where the workbook says");
    // The sheet's declared used area: rows and columns from the first to
    // one past the last.
    struct Dimensions {
        uint32_t firstRow = 0, endRow = 0;
        uint16_t firstColumn = 0, endColumn = 0;
    };
    std::optional<Dimensions> dimensions;
    bool ended = false;
    int depth = 0;  // embedded charts have BOF/EOF pairs of their own
    bool pendingString = false;
    uint32_t pendingRow = 0;
    uint16_t pendingCol = 0;
    while (cursor.next(r)) {
        const std::string_view d = r.data;
        if (r.type == kBof2 || r.type == kBof3 || r.type == kBof4 || r.type == kBof58) { ++depth; continue; }
        if (r.type == kEof) {
            if (depth == 0) {
                ended = true;
                break;
            }
            --depth;
            continue;
        }
        if (depth > 0) continue;
        if ((r.type == kDimensions && version_ >= 3) || (r.type == kDimensions2 && version_ == 2)) {
            Dimensions dim;
            if (version_ == 8 && d.size() >= 12) {
                dim = {Le32(d.data()), Le32(d.data() + 4), Le16(d.data() + 8), Le16(d.data() + 10)};
            } else if (version_ != 8 && d.size() >= 8) {
                dim = {Le16(d.data()), Le16(d.data() + 2), Le16(d.data() + 4), Le16(d.data() + 6)};
            } else {
                damaged("the dimensions record of sheet " + sheets_[index].name + " is cut short");
            }
            dimensions = dim;
            continue;
        }
        if (pendingString && r.type != kString && r.type != kString2 && r.type != 0x04BC && r.type != 0x0221 &&
            r.type != kContinue) {
            pendingString = false;  // a string result without its STRING record
        }
        switch (r.type) {
            case kNumber:
                if (d.size() >= 14) number(Le16(d.data()), Le16(d.data() + 2), LeDouble(d.data() + 6), isDate(Le16(d.data() + 4)));
                break;
            case kNumber2:
                if (d.size() >= 15) number(Le16(d.data()), Le16(d.data() + 2), LeDouble(d.data() + 7), isDate2(d.data() + 4));
                break;
            case kInteger2:
                if (d.size() >= 9) number(Le16(d.data()), Le16(d.data() + 2), Le16(d.data() + 7), isDate2(d.data() + 4));
                break;
            case kRk:
                if (d.size() >= 10) number(Le16(d.data()), Le16(d.data() + 2), RkValue(Le32(d.data() + 6)), isDate(Le16(d.data() + 4)));
                break;
            case kMulRk: {
                if (d.size() < 6) break;
                uint32_t row = Le16(d.data());
                uint16_t col = Le16(d.data() + 2);
                for (size_t at = 4; at + 6 + 2 <= d.size(); at += 6, ++col)
                    number(row, col, RkValue(Le32(d.data() + at + 2)), isDate(Le16(d.data() + at)));
                break;
            }
            case kLabel:
            case kRString: {
                if (d.size() < 8) break;
                uint32_t row = Le16(d.data());
                uint16_t col = Le16(d.data() + 2);
                if (version_ == 8) {
                    size_t at = 6;
                    std::string s;
                    if (UnicodeStringAt(d, at, true, s)) text(row, col, std::move(s));
                } else {
                    text(row, col, byteString16(d, 6));
                }
                break;
            }
            case kLabel2: {
                if (d.size() < 8) break;
                size_t n = static_cast<unsigned char>(d[7]);
                text(Le16(d.data()), Le16(d.data() + 2), decodeBytes(d.substr(8, n)));
                break;
            }
            case kLabelSst: {
                if (d.size() < 10) break;
                uint32_t i = Le32(d.data() + 6);
                if (i >= sharedStrings_.size())
                    ThrowWrongFormat(fileName_, "a cell of sheet " + sheets_[index].name + " names a missing shared string");
                text(Le16(d.data()), Le16(d.data() + 2), sharedStrings_[i]);
                break;
            }
            case kBoolErr:
            case kBoolErr2: {
                size_t at = r.type == kBoolErr ? 6 : 7;
                if (d.size() < at + 2) break;
                uint32_t row = Le16(d.data());
                uint16_t col = Le16(d.data() + 2);
                if (d[at + 1] == 0) cells.push_back({row, col, Value::boolean(d[at] != 0)});
                else cells.push_back({row, col, Value()});  // #N/A, #DIV/0! ...
                break;
            }
            case kFormula:
            case kFormula3:
            case kFormula4: {
                // kFormula is also Excel 2.1's formula record, with 3 attribute bytes.
                const bool biff2 = version_ == 2;
                const size_t at = biff2 ? 7 : 6;
                if (d.size() < at + 8) break;
                uint32_t row = Le16(d.data());
                uint16_t col = Le16(d.data() + 2);
                const char* result = d.data() + at;
                if (static_cast<unsigned char>(result[6]) == 0xFF && static_cast<unsigned char>(result[7]) == 0xFF) {
                    switch (static_cast<unsigned char>(result[0])) {
                        case 0: pendingString = true; pendingRow = row; pendingCol = col; break;
                        case 1: cells.push_back({row, col, Value::boolean(result[2] != 0)}); break;
                        case 3: text(row, col, std::string()); break;
                        default: cells.push_back({row, col, Value()}); break;
                    }
                } else {
                    number(row, col, LeDouble(result), biff2 ? isDate2(d.data() + 4) : isDate(Le16(d.data() + 4)));
                }
                break;
            }
            case kString:
            case kString2: {
                if (!pendingString) break;
                pendingString = false;
                std::string s;
                if (r.type == kString2) {
                    if (d.empty()) break;
                    s = decodeBytes(d.substr(1, static_cast<unsigned char>(d[0])));
                } else if (version_ == 8) {
                    size_t at = 0;
                    if (!UnicodeStringAt(d, at, true, s)) break;
                } else {
                    s = byteString16(d, 0);
                }
                text(pendingRow, pendingCol, std::move(s));
                break;
            }
            default: break;
        }
    }
    if (!ended)
        damaged(cursor.cut() ? "a record of sheet " + sheets_[index].name + " runs past the end of the stream"
                             : "sheet " + sheets_[index].name + " ends without its end record");
    if (dimensions) {
        for (const SheetCell& c : cells) {
            if (c.row < dimensions->firstRow || c.row >= dimensions->endRow || c.column < dimensions->firstColumn ||
                c.column >= dimensions->endColumn)
                damaged("a cell of sheet " + sheets_[index].name + " lies outside the sheet's dimensions");
        }
    }
    std::stable_sort(cells.begin(), cells.end(), [](const SheetCell& a, const SheetCell& b) {
        return a.row != b.row ? a.row < b.row : a.column < b.column;
    });
    // A cell written twice keeps its last value.
    std::vector<SheetCell> unique;
    unique.reserve(cells.size());
    for (SheetCell& c : cells) {
        if (!unique.empty() && unique.back().row == c.row && unique.back().column == c.column) unique.back() = std::move(c);
        else unique.push_back(std::move(c));
    }
    return unique;
}

}  // namespace vdx::exchange
