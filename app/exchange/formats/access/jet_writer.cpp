#include "exchange/formats/access/jet_writer.h"

#include <QString>

#include <algorithm>
#include <cfloat>
#include <chrono>
#include <cmath>
#include <cstring>
#include <optional>

#include "state/errors.h"

namespace vdx::exchange {

namespace {

// The page geometry of a Jet 3 database.
struct Format {
    uint32_t pageSize;
    size_t dataHeader;       // type, free space, owner, row count
    size_t inlineMapBytes;   // an inline usage map
    size_t mapPagePointers;  // an indirect map row as long as an inline one
    uint32_t maxPages;       // Jet 3 databases end at 1 GiB
    const char* sizeLimit;
    size_t maxRow() const { return pageSize - dataHeader - 2; }  // one row with its slot fills a page
    uint32_t pagesPerMapPage() const { return (pageSize - 4) * 8; }  // a usage map page (type 0x05)
    size_t lvalChunk() const { return pageSize - dataHeader - 2 - 4; }  // memo bytes per long-value page
};
constexpr Format kJet3{2048, 10, 128, 33, 0x40000000u / 2048, "1 GB"};
constexpr size_t kTdefHeader = 8;
constexpr size_t kMemoHeader = 12;
constexpr uint32_t kMaxMemoBytes = 0xFFFFFF;  // the length field has three bytes
constexpr size_t kMaxNameUnits = 64;
constexpr uint32_t kCatalogPage = 2;  // where readers look for MSysObjects

// Column types of Jet.
enum JetType : uint8_t {
    kBool = 0x01, kInt = 0x03, kLong = 0x04, kFloat = 0x06, kDouble = 0x07, kDateTime = 0x08,
    kBinary = 0x09, kText = 0x0A, kOle = 0x0B, kMemo = 0x0C,
};

void Put16(std::string& b, size_t at, uint32_t v) {
    b[at] = static_cast<char>(v & 0xFF);
    b[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& b, size_t at, uint32_t v) {
    Put16(b, at, v & 0xFFFF);
    Put16(b, at + 2, v >> 16);
}
void Add8(std::string& b, uint32_t v) { b.push_back(static_cast<char>(v & 0xFF)); }
void Add16(std::string& b, uint32_t v) { Add8(b, v), Add8(b, v >> 8); }
void Add32(std::string& b, uint32_t v) { Add16(b, v & 0xFFFF), Add16(b, v >> 16); }
template <typename T>
void AddRaw(std::string& b, T v) {  // numbers as the (little-endian) machine holds them
    char raw[sizeof v];
    std::memcpy(raw, &v, sizeof v);
    b.append(raw, sizeof v);
}
uint32_t DataPointer(uint32_t page, uint32_t row) { return page << 8 | row; }

std::u16string Utf16(std::string_view utf8) {
    const QString s = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    return {reinterpret_cast<const char16_t*>(s.utf16()), static_cast<size_t>(s.size())};
}

// Text as Jet 3 stores it: a byte per character in Windows-1252, or nullopt
// when a character has no place there (the first such character in *bad).
std::optional<std::string> Windows1252(const std::u16string& units, char32_t* bad = nullptr) {
    // 0x80..0x9F; 0 marks the five bytes Windows-1252 leaves undefined.
    static constexpr char16_t kHigh[32] = {
        0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0,
        0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178,
    };
    std::string out;
    for (size_t i = 0; i < units.size(); ++i) {
        const char16_t u = units[i];
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            Add8(out, u);
            continue;
        }
        const char16_t* at = u > 0x9F ? std::find(kHigh, kHigh + 32, u) : kHigh + 32;  // C1 controls: none
        if (at == kHigh + 32) {
            if (bad) {
                const bool pair = QChar::isHighSurrogate(u) && i + 1 < units.size() && QChar::isLowSurrogate(units[i + 1]);
                *bad = pair ? QChar::surrogateToUcs4(u, units[i + 1]) : u;
            }
            return std::nullopt;
        }
        Add8(out, 0x80 + static_cast<uint32_t>(at - kHigh));
    }
    return out;
}

// Why a text would not come back from the file as it is ("" when it would):
// readers end texts at a NUL and take a leading U+FEFF for a byte-order mark.
std::string TextDoubt(const std::string& utf8, const std::u16string& units) {
    if (QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())).toUtf8().toStdString() != utf8)
        return "the text is not valid UTF-8.";
    if (units.find(u'\0') != std::u16string::npos) return "the text holds a NUL character, which Access texts cannot.";
    if (!units.empty() && units.front() == 0xFEFF)
        return "the text begins with a byte-order mark (U+FEFF), which readers of Access files drop.";
    return {};
}

// The page-0 header is RC4-scrambled with a fixed key from 0x18 on.
void ScrambleHeader(std::string& page, size_t length) {
    const unsigned char key[4] = {0xC7, 0xDA, 0x39, 0x6B};
    unsigned char s[256];
    for (int i = 0; i < 256; ++i) s[i] = static_cast<unsigned char>(i);
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + key[i % 4]) & 0xFF;
        std::swap(s[i], s[j]);
    }
    for (size_t n = 0, i = 0, j = 0; n < length; ++n) {
        i = (i + 1) & 0xFF;
        j = (j + s[i]) & 0xFF;
        std::swap(s[i], s[j]);
        page[0x18 + n] = static_cast<char>(static_cast<unsigned char>(page[0x18 + n]) ^ s[(s[i] + s[j]) & 0xFF]);
    }
}

// "U+0101" for the messages.
std::string CodePoint(char32_t u) {
    char hex[12];
    std::snprintf(hex, sizeof hex, "U+%04X", static_cast<unsigned>(u));
    return hex;
}

double NowAsDayNumber() {
    using namespace std::chrono;
    const double seconds = duration<double>(system_clock::now().time_since_epoch()).count();
    return 25569.0 + seconds / 86400.0;  // day 25569 is 1 January 1970
}

std::string DefinitionPage(const Format& f) {
    std::string page(f.pageSize, '\0');
    page[1] = 1;
    std::memcpy(&page[4], "Standard Jet DB", 15);
    page[0x14] = 0;  // Jet 3
    Put16(page, 0x3C, 1252);  // code page
    Put32(page, 0x3E, 0);     // database key 0: pages are not encrypted
    Put16(page, 0x3A, 0x409);  // "General" sort order
    ScrambleHeader(page, 126);
    return page;
}

struct JetColumn {
    std::string name;
    std::u16string name16;
    FieldType type = FieldType::Text;  // what values it takes (system-only types hold Null)
    uint8_t jetType = kText;
    uint16_t length = 0;  // bytes in the definition
    bool fixed = false;
    uint16_t fixedOffset = 0;
    uint16_t varIndex = 0;
    int chars = 0;  // text
};

struct Layout {
    std::vector<JetColumn> columns;
    uint16_t fixedSize = 0;
    uint16_t varCount = 0;
};

JetColumn ColumnOf(const std::string& name, FieldType type, int size) {
    JetColumn c;
    c.name = name;
    c.name16 = Utf16(name);
    c.type = type;
    switch (type) {
        case FieldType::Boolean: c.jetType = kBool, c.length = 1; break;
        case FieldType::Integer: c.jetType = kInt, c.length = 2; break;
        case FieldType::Long: c.jetType = kLong, c.length = 4; break;
        case FieldType::Single: c.jetType = kFloat, c.length = 4; break;
        case FieldType::Double: c.jetType = kDouble, c.length = 8; break;
        case FieldType::Date: c.jetType = kDateTime, c.length = 8; break;
        case FieldType::Memo: c.jetType = kMemo, c.length = 0; break;
        case FieldType::Text:
            c.jetType = kText;
            c.chars = size <= 0 || size > 255 ? 255 : size;
            c.length = static_cast<uint16_t>(c.chars);
            break;
    }
    c.fixed = c.jetType != kText && c.jetType != kMemo;
    return c;
}

// Fixed columns in column order (Yes/No values live in the null mask and
// take no bytes), then the variable ones numbered in column order.
Layout MakeLayout(std::vector<JetColumn> columns) {
    Layout l;
    for (JetColumn& c : columns) {
        if (c.fixed) {
            if (c.jetType != kBool) c.fixedOffset = l.fixedSize, l.fixedSize = static_cast<uint16_t>(l.fixedSize + c.length);
        } else {
            c.varIndex = l.varCount++;
        }
    }
    l.columns = std::move(columns);
    return l;
}

// The catalogue's columns, as Access has them.
Layout CatalogLayout() {
    auto raw = [](const char* name, uint8_t jetType, uint16_t length) {
        JetColumn c = ColumnOf(name, FieldType::Memo, 0);
        c.jetType = jetType;
        c.length = length;
        return c;
    };
    return MakeLayout({
        ColumnOf("Id", FieldType::Long, 0), ColumnOf("ParentId", FieldType::Long, 0),
        ColumnOf("Name", FieldType::Text, 255), ColumnOf("Type", FieldType::Integer, 0),
        ColumnOf("DateCreate", FieldType::Date, 0), ColumnOf("DateUpdate", FieldType::Date, 0),
        raw("Owner", kBinary, 255), ColumnOf("Flags", FieldType::Long, 0),
        ColumnOf("Database", FieldType::Memo, 0), ColumnOf("Connect", FieldType::Memo, 0),
        ColumnOf("ForeignName", FieldType::Text, 255), raw("RmtInfoShort", kBinary, 255),
        raw("RmtInfoLong", kOle, 0), raw("Lv", kOle, 0), raw("LvProp", kOle, 0), raw("LvModule", kOle, 0),
        raw("LvExtra", kOle, 0),
    });
}

// A table's definition as it follows the 8-byte header of its first page
// (and runs on after the headers of the next ones): counts, usage maps,
// column entries and names.
std::string Definition(const Layout& l, bool system, uint32_t rows, uint32_t usedMap, uint32_t freeMap) {
    std::string d;
    Add32(d, 0);  // total length, below
    Add32(d, rows);
    Add32(d, 0);  // next autonumber
    Add8(d, system ? 0x53 : 0x4E);
    const auto count = static_cast<uint16_t>(l.columns.size());
    Add16(d, count);  // columns a row may have
    Add16(d, l.varCount);
    Add16(d, count);
    Add32(d, 0);  // no indexes
    Add32(d, 0);
    Add32(d, usedMap);
    Add32(d, freeMap);
    for (size_t i = 0; i < l.columns.size(); ++i) {
        const JetColumn& c = l.columns[i];
            Add8(d, c.jetType);
            Add16(d, static_cast<uint32_t>(i));
            Add16(d, c.fixed ? 0 : c.varIndex);
            Add16(d, 0);
            Add16(d, 0);
            Add16(d, 0x409);  // sort order
            Add16(d, 1252);   // code page
            Add8(d, c.fixed ? 0x03 : 0x02);
            Add16(d, c.fixedOffset);
            Add16(d, c.length);
    }
    for (const JetColumn& c : l.columns) {
            const std::string name = Windows1252(c.name16).value();  // beginTable has checked it
            Add8(d, static_cast<uint32_t>(name.size()));
            d += name;
    }
    Add16(d, 0xFFFF);  // no per-column usage maps
    Put32(d, 0, static_cast<uint32_t>(d.size() + kTdefHeader));
    return d;
}

size_t DefinitionPages(const Format& f, const Layout& l) {
    return (Definition(l, false, 0, 0, 0).size() + f.pageSize - kTdefHeader - 1) / (f.pageSize - kTdefHeader);
}

// A data page being filled from its end towards its row slots.
class DataPage {
public:
    DataPage(const Format& f, uint32_t owner) : f_(f), owner_(owner) {}
    bool fits(size_t rowBytes) const { return f_.dataHeader + 2 * (slots_.size() + 1) + used_ + rowBytes <= f_.pageSize; }
    bool empty() const { return slots_.empty(); }
    void add(const std::string& row) {
        used_ += row.size();
        std::memcpy(&bytes_[f_.pageSize - used_], row.data(), row.size());
        slots_.push_back(static_cast<uint16_t>(f_.pageSize - used_));
    }
    std::string take() {
        std::string page = std::move(bytes_);
        page[0] = 1, page[1] = 1;
        Put16(page, 2, static_cast<uint32_t>(f_.pageSize - f_.dataHeader - 2 * slots_.size() - used_));
        Put32(page, 4, owner_);
        Put16(page, f_.dataHeader - 2, static_cast<uint32_t>(slots_.size()));
        for (size_t i = 0; i < slots_.size(); ++i) Put16(page, f_.dataHeader + 2 * i, slots_[i]);
        bytes_.assign(f_.pageSize, '\0');
        slots_.clear();
        used_ = 0;
        return page;
    }

private:
    const Format& f_;
    uint32_t owner_;
    std::string bytes_ = std::string(f_.pageSize, '\0');
    std::vector<uint16_t> slots_;
    size_t used_ = 0;
};

bool IsNumber(const Value& v) { return v.kind() == Value::Kind::Integer || v.kind() == Value::Kind::Double || v.kind() == Value::Kind::Boolean; }

// A whole number within [low, high], or nullopt.
std::optional<int64_t> WholeNumber(const Value& v, int64_t low, int64_t high) {
    if (v.kind() == Value::Kind::Integer || v.kind() == Value::Kind::Boolean) {
        const int64_t i = v.asInteger();
        if (i >= low && i <= high) return i;
        return std::nullopt;
    }
    if (v.kind() == Value::Kind::Double) {
        const double d = v.asDouble();
        if (d == std::floor(d) && d >= static_cast<double>(low) && d <= static_cast<double>(high)) return static_cast<int64_t>(d);
    }
    return std::nullopt;
}

// A row as the data page holds it: the column count, the fixed columns, the
// variable ones, their offsets from the row's start (last first, after the
// end of the variable data) and the null mask. Offsets keep their low
// bytes, with a jump table: per 256-byte boundary the
// index of the first offset (the end counted as one more) at or beyond it,
// as many entries as the whole row has boundaries. Unused bytes before the
// variable data make the offsets cross as many boundaries, so no entry is
// a dummy, and keep the row's length off a multiple of 256.
std::string EncodeRow(const Format& f, size_t columns, const std::string& fixed, const std::vector<std::string>& var,
                      const std::string& mask) {
    std::string bytes;
    size_t data = 0;
    for (const std::string& v : var) data += v.size();
    const size_t head = 1 + fixed.size();
    if (var.empty()) return std::string(1, static_cast<char>(columns)) + fixed + mask;
    size_t padding = 0, jumps = 0;
    for (;;) {
        const size_t end = head + padding + data;
        const size_t size = end + 1 + var.size() + jumps + 1 + mask.size();
        if (size / 256 != jumps) jumps = size / 256;
        else if (end / 256 < jumps) padding += jumps * 256 - end;
        else if (size % 256 == 0) ++padding;
        else break;
        if (size > f.pageSize) break;  // too long for any page; the caller refuses it
    }
    Add8(bytes, static_cast<uint32_t>(columns));
    bytes += fixed;
    bytes.append(padding, '\0');
    std::vector<size_t> offsets;
    for (const std::string& v : var) {
        offsets.push_back(bytes.size());
        bytes += v;
    }
    offsets.push_back(bytes.size());
    for (auto it = offsets.rbegin(); it != offsets.rend(); ++it) Add8(bytes, static_cast<uint32_t>(*it));
    std::vector<uint32_t> jumpTable;
    for (size_t k = 0; k < offsets.size(); ++k)
        while (offsets[k] >= 256 * (jumpTable.size() + 1)) jumpTable.push_back(static_cast<uint32_t>(k));
    jumpTable.resize(jumps, 0xFF);
    for (auto it = jumpTable.rbegin(); it != jumpTable.rend(); ++it) Add8(bytes, *it);
    Add8(bytes, static_cast<uint32_t>(var.size()));
    bytes += mask;
    return bytes;
}

// The table being written. At namespace scope: a class nested in Impl with
// default member initializers is not default-constructible before Impl is
// complete, so clang refuses std::optional<Table>::emplace() there.
struct Table {
    std::string name;
    Layout layout;
    bool system = false;
    std::vector<uint32_t> definitionPages;
    uint32_t mapPage = 0;
    std::vector<uint32_t> dataPages;
    uint32_t rows = 0;
    std::optional<DataPage> page;
};

}  // namespace

struct JetDatabaseWriter::Impl {
    struct CatalogEntry {
        std::string name;
        uint32_t definitionPage;
    };

    explicit Impl(const std::string& target) : f(kJet3), file(target) {
        for (int i = 0; i <= static_cast<int>(kCatalogPage); ++i) reservePage();
    }

    uint32_t appendPage(const std::string& bytes) {
        if (pages >= f.maxPages)
            throw VdxError(err::Overflow, std::string("The tables do not fit the ") + f.sizeLimit +
                                              " an Access database holds. Nothing was written.");
        file.write(bytes);
        return pages++;
    }
    uint32_t reservePage() { return appendPage(std::string(f.pageSize, '\0')); }
    void writePage(uint32_t page, const std::string& bytes) { file.writeAt(uint64_t{page} * f.pageSize, bytes); }

    void begin(std::string name, Layout layout, bool system, std::vector<uint32_t> definitionPages) {
        if (table) throw std::logic_error("JetDatabaseWriter: a table is still open");
        table.emplace();
        table->name = std::move(name);
        table->layout = std::move(layout);
        table->system = system;
        table->definitionPages = std::move(definitionPages);
        for (size_t i = table->definitionPages.size(); i < DefinitionPages(f, table->layout); ++i)
            table->definitionPages.push_back(reservePage());
        table->mapPage = reservePage();
        table->page.emplace(f, table->definitionPages.front());
    }

    // A memo's bytes in a chain of long-value pages; returns the pointer to the first.
    uint32_t writeLongValue(const std::string& bytes) {
        const size_t chunks = (bytes.size() + f.lvalChunk() - 1) / f.lvalChunk();
        uint32_t first = 0;
        for (size_t i = 0; i < chunks; ++i) {
            const std::string_view part = std::string_view(bytes).substr(i * f.lvalChunk(), f.lvalChunk());
            std::string page(f.pageSize, '\0');
            page[0] = 1, page[1] = 1;
            std::memcpy(&page[4], "LVAL", 4);
            const size_t rowBytes = 4 + part.size();
            Put16(page, 2, static_cast<uint32_t>(f.pageSize - f.dataHeader - 2 - rowBytes));
            Put16(page, f.dataHeader - 2, 1);
            Put16(page, f.dataHeader, static_cast<uint32_t>(f.pageSize - rowBytes));
            // The chain's pages follow one another, so the next is this one plus one.
            if (i + 1 < chunks) Put32(page, f.pageSize - rowBytes, DataPointer(pages + 1, 0));
            std::memcpy(&page[f.pageSize - part.size()], part.data(), part.size());
            const uint32_t at = appendPage(page);
            if (i == 0) first = at;
        }
        return DataPointer(first, 0);
    }

    void addRow(const std::vector<Value>& row, uint64_t rowNumber) {
        const Layout& l = table->layout;
        const size_t n = l.columns.size();
        std::string fixed(l.fixedSize, '\0');
        std::vector<std::string> var(l.varCount);
        std::vector<bool> isMemo(l.varCount, false);
        std::string mask((n + 7) / 8, '\0');
        for (size_t i = 0; i < n; ++i) {
            const JetColumn& c = l.columns[i];
            const Value& v = row[i];
            auto cannot = [&](const std::string& why) { ThrowCannotHold(rowNumber, c.name, why); };
            bool present = !v.isNull();
            if (c.jetType == kBool) {
                // Reading Null back as No would change the study without a word.
                if (!present) cannot("an Access Yes/No column cannot hold Null.");
                if (!IsNumber(v)) cannot("the value is not True or False.");
                present = v.asDouble() != 0;
            } else if (present && c.fixed) {
                std::string bytes;
                switch (c.jetType) {
                    case kInt: {
                        const auto i16 = WholeNumber(v, INT16_MIN, INT16_MAX);
                        if (!i16) cannot("the value is not a whole number from -32768 to 32767.");
                        AddRaw(bytes, static_cast<int16_t>(*i16));
                        break;
                    }
                    case kLong: {
                        const auto i32 = WholeNumber(v, INT32_MIN, INT32_MAX);
                        if (!i32) cannot("the value is not a whole number from -2147483648 to 2147483647.");
                        AddRaw(bytes, static_cast<int32_t>(*i32));
                        break;
                    }
                    case kFloat:
                        if (!IsNumber(v) || std::fabs(v.asDouble()) > FLT_MAX) cannot("the value is not a number of Single precision.");
                        AddRaw(bytes, static_cast<float>(v.asDouble()));
                        break;
                    case kDouble:
                        if (!IsNumber(v)) cannot("the value is not a number.");
                        AddRaw(bytes, v.asDouble());
                        break;
                    case kDateTime:
                        if (v.kind() != Value::Kind::Date && !IsNumber(v)) cannot("the value is not a date.");
                        AddRaw(bytes, v.asDouble());
                        break;
                    default: present = false; break;  // the catalogue's binary columns stay Null
                }
                bytes.copy(&fixed[c.fixedOffset], bytes.size());
            } else if (present) {
                const std::string text = v.kind() == Value::Kind::Text ? v.asText() : CellText(v);
                const std::u16string units = Utf16(text);
                if (const std::string doubt = TextDoubt(text, units); !doubt.empty()) cannot(doubt);
                if (c.jetType == kText && units.size() > static_cast<size_t>(c.chars))
                    cannot("the text is longer than the column's " + std::to_string(c.chars) + " characters.");
                if (c.jetType != kText && c.jetType != kMemo) {
                    present = false;
                } else {
                    char32_t bad = 0;
                    std::optional<std::string> bytes = Windows1252(units, &bad);
                    if (!bytes) cannot("the character " + CodePoint(bad) + " is not in Windows-1252, the character set of Access 7.0/8.0 databases.");
                    var[c.varIndex] = std::move(*bytes);
                }
                if (c.jetType == kMemo) {
                    if (var[c.varIndex].size() > kMaxMemoBytes) cannot("the text is longer than an Access memo holds.");
                    isMemo[c.varIndex] = true;
                }
            }
            if (present) mask[i / 8] = static_cast<char>(mask[i / 8] | (1 << (i % 8)));
        }

        // Memos stay in the row when it fits a page, else go to long-value pages.
        auto withMemos = [&](bool memosInline) {
            std::vector<std::string> out = var;
            for (size_t k = 0; k < out.size(); ++k)
                if (isMemo[k]) out[k] = std::string(kMemoHeader, '\0') + (memosInline ? out[k] : std::string());
            return out;
        };
        const bool memosInline = EncodeRow(f, n, fixed, withMemos(true), mask).size() <= f.maxRow();
        if (EncodeRow(f, n, fixed, withMemos(memosInline), mask).size() > f.maxRow()) {
            const auto longest = std::max_element(l.columns.begin(), l.columns.end(), [&](const JetColumn& a, const JetColumn& b) {
                return (a.fixed ? 0 : var[a.varIndex].size()) < (b.fixed ? 0 : var[b.varIndex].size());
            });
            ThrowCannotHold(rowNumber, longest->name,
                            "the row's texts need more than the " + std::to_string(f.maxRow()) + " bytes an Access row holds.");
        }
        for (size_t k = 0; k < var.size(); ++k) {
            if (!isMemo[k]) continue;
            std::string header;
            const auto length = static_cast<uint32_t>(var[k].size());
            if (memosInline) {
                Add32(header, length | 0x80000000u);  // the memo follows its header
                Add32(header, 0);
            } else {
                Add32(header, length);  // in a chain of long-value pages
                Add32(header, writeLongValue(var[k]));
            }
            Add32(header, 0);
            var[k] = header + (memosInline ? var[k] : std::string());
        }
        const std::string bytes = EncodeRow(f, n, fixed, var, mask);
        if (!table->page->fits(bytes.size())) flushPage();
        table->page->add(bytes);
        ++table->rows;
    }

    void flushPage() {
        if (table->page->empty()) return;
        table->dataPages.push_back(appendPage(table->page->take()));
    }

    // The map of the table's data pages: a bitmap from the first page when
    // they lie within 512 pages, else pointers to map pages of 32736 pages each.
    std::string usageMap() {
        const std::vector<uint32_t>& used = table->dataPages;
        std::string map;
        if (used.empty() || used.back() - used.front() < f.inlineMapBytes * 8) {
            const uint32_t start = used.empty() ? 0 : used.front();
            Add8(map, 0);
            Add32(map, start);
            map.append(f.inlineMapBytes, '\0');
            for (uint32_t p : used) map[5 + (p - start) / 8] = static_cast<char>(map[5 + (p - start) / 8] | (1 << ((p - start) % 8)));
            return map;
        }
        std::vector<uint32_t> mapPages(f.mapPagePointers, 0);
        for (uint32_t j = used.front() / f.pagesPerMapPage(); j <= used.back() / f.pagesPerMapPage(); ++j) {
            std::string page(f.pageSize, '\0');
            page[0] = 5, page[1] = 1;
            for (uint32_t p : used)
                if (p / f.pagesPerMapPage() == j) {
                    const uint32_t bit = p % f.pagesPerMapPage();
                    page[4 + bit / 8] = static_cast<char>(page[4 + bit / 8] | (1 << (bit % 8)));
                }
            mapPages[j] = appendPage(page);
        }
        Add8(map, 1);
        for (uint32_t p : mapPages) Add32(map, p);
        return map;
    }

    CatalogEntry end() {
        flushPage();
        const std::string used = usageMap();
        std::string none;  // no page has room for later rows
        Add8(none, 0);
        Add32(none, 0);
        none.append(f.inlineMapBytes, '\0');
        DataPage maps(f, 0);
        maps.add(used);
        maps.add(none);
        writePage(table->mapPage, maps.take());

        const std::string d = Definition(table->layout, table->system, table->rows, DataPointer(table->mapPage, 0),
                                         DataPointer(table->mapPage, 1));
        const size_t perPage = f.pageSize - kTdefHeader;
        for (size_t i = 0; i < table->definitionPages.size(); ++i) {
            std::string page(f.pageSize, '\0');
            page[0] = 2, page[1] = 1;
            const std::string_view part = std::string_view(d).substr(i * perPage, perPage);
            page[2] = 'V', page[3] = 'C';
            if (i + 1 < table->definitionPages.size()) Put32(page, 4, table->definitionPages[i + 1]);
            std::memcpy(&page[kTdefHeader], part.data(), part.size());
            writePage(table->definitionPages[i], page);
        }
        CatalogEntry entry{table->name, table->definitionPages.front()};
        table.reset();
        return entry;
    }

    const Format& f;
    AtomicFile file;
    uint32_t pages = 0;
    std::optional<Table> table;
    std::vector<CatalogEntry> catalog;
    const double created = NowAsDayNumber();
};

JetDatabaseWriter::JetDatabaseWriter(const std::string& targetPath) : impl_(std::make_unique<Impl>(targetPath)) {}
JetDatabaseWriter::~JetDatabaseWriter() = default;

void JetDatabaseWriter::beginTable(const std::string& name, const std::vector<ColumnSpec>& columns) {
    auto checkName = [](const std::string& n, const std::string& what) {
        const std::u16string units = Utf16(n);
        if (units.empty() || units.size() > kMaxNameUnits)
            throw VdxError(err::InvalidName, "\"" + n + "\" is not a valid " + what + " name for an Access database: "
                                             "names have 1 to 64 characters.");
        char32_t bad = 0;
        if (!Windows1252(units, &bad))
            throw VdxError(err::InvalidName, "\"" + n + "\" is not a valid " + what + " name for an Access 7.0/8.0 database: "
                                             "the character " + CodePoint(bad) + " is not in Windows-1252.");
    };
    checkName(name, "table");
    if (SameName(name, "MSysObjects") ||
        std::any_of(impl_->catalog.begin(), impl_->catalog.end(), [&](const Impl::CatalogEntry& e) { return SameName(e.name, name); }))
        throw VdxError(err::TableExists, "Table '" + name + "' already exists.");
    if (columns.empty()) throw VdxError(err::TypeMismatch, "A table without columns cannot be written.");
    if (columns.size() > 255)
        throw VdxError(err::TooManyFields, "Table '" + name + "' has " + std::to_string(columns.size()) +
                                               " columns; an Access table holds at most 255.");
    std::vector<JetColumn> jetColumns;
    for (const ColumnSpec& c : columns) {
        checkName(c.name, "column");
        if (std::any_of(jetColumns.begin(), jetColumns.end(), [&](const JetColumn& j) { return SameName(j.name, c.name); }))
            throw VdxError(err::InvalidName, "Table '" + name + "' has two columns named \"" + c.name + "\".");
        jetColumns.push_back(ColumnOf(c.name, c.type, c.size));
    }
    impl_->begin(name, MakeLayout(std::move(jetColumns)), false, {});
}

void JetDatabaseWriter::addRow(const std::vector<Value>& row, uint64_t rowNumber) {
    if (!impl_->table) throw std::logic_error("JetDatabaseWriter::addRow without a table");
    if (row.size() != impl_->table->layout.columns.size()) throw std::logic_error("JetDatabaseWriter::addRow: wrong row width");
    if (impl_->table->rows == UINT32_MAX)
        throw VdxError(err::Overflow, "Table '" + impl_->table->name + "' has more rows than an Access table holds.");
    impl_->addRow(row, rowNumber);
}

void JetDatabaseWriter::endTable() {
    if (!impl_->table) throw std::logic_error("JetDatabaseWriter::endTable without a table");
    impl_->catalog.push_back(impl_->end());
}

void JetDatabaseWriter::commit() {
    Impl& w = *impl_;
    if (w.table) throw std::logic_error("JetDatabaseWriter::commit with a table open");
    // The catalogue: the containers, itself and the tables (Id = definition page).
    constexpr uint32_t kContainers = 0x0F000000u, kTablesContainer = 0x0F000001u;
    const double now = w.created;
    w.begin("MSysObjects", CatalogLayout(), true, {kCatalogPage});
    uint64_t number = 0;
    auto entry = [&](uint32_t id, uint32_t parent, const std::string& name, int type, uint32_t flags) {
        std::vector<Value> row(w.table->layout.columns.size());
        row[0] = Value::integer(static_cast<int32_t>(id));
        row[1] = Value::integer(static_cast<int32_t>(parent));
        row[2] = Value::text(name);
        row[3] = Value::integer(type);
        row[4] = row[5] = Value::date(now);
        row[7] = Value::integer(static_cast<int32_t>(flags));
        w.addRow(row, ++number);
    };
    entry(kTablesContainer, kContainers, "Tables", 3, 0);
    entry(kTablesContainer + 1, kContainers, "Databases", 3, 0);
    entry(kTablesContainer + 2, kContainers, "Relationships", 3, 0);
    entry(kCatalogPage, kTablesContainer, "MSysObjects", 1, 0x80000002u);
    for (const Impl::CatalogEntry& e : w.catalog) entry(e.definitionPage, kTablesContainer, e.name, 1, 0);
    w.end();

    // Page 1: the map of the pages in use.
    std::string used;
    Add8(used, 0);
    Add32(used, 0);
    used.append(w.f.maxRow() - 5, '\0');
    for (uint32_t p = 0; p < w.pages && p / 8 + 5 < used.size(); ++p) used[5 + p / 8] = static_cast<char>(used[5 + p / 8] | (1 << (p % 8)));
    DataPage global(w.f, 0);
    global.add(used);
    w.writePage(1, global.take());
    w.writePage(0, DefinitionPage(w.f));
    w.file.commit();
}

// ---------------------------------------------------------------------------

void AccessTableWriter::open(const std::vector<ColumnSpec>& columns) {
    database_ = std::make_unique<JetDatabaseWriter>(targetPath());
    database_->beginTable(tableName(), columns);
}

void AccessTableWriter::put(const std::vector<Value>& row) { database_->addRow(row, rowsWritten() + 1); }

void AccessTableWriter::close() {
    database_->endTable();
    database_->commit();
    database_.reset();
}

}  // namespace vdx::exchange
