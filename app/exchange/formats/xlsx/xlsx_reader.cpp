#include "exchange/formats/xlsx/xlsx_reader.h"

#include <zip.h>

#include <QXmlStreamReader>
#include <climits>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>

#include "exchange/formats/excel/excel_reader.h"
#include "exchange/io/reader_support.h"
#include "state/errors.h"
#include "state/text_values.h"

namespace vdx::exchange {

namespace {

constexpr uint32_t kMaxRows = 1048576;
constexpr uint32_t kMaxColumns = 16384;
// A part may inflate to this many times its compressed size (plus a margin
// for tiny parts); XML of real workbooks stays far below it, zip bombs not.
constexpr uint64_t kMaxInflation = 500;
constexpr uint64_t kInflationMargin = 1 << 20;
constexpr uint64_t kMaxPartSize = uint64_t(4) << 30;
constexpr qint64 kChunk = 1 << 16;
// Excel's serial numbers: day 0 of the 1904 system is 1 January 1904.
constexpr double k1904Offset = 1462;

// An XML part of the zip, inflated as the parser asks for more.
class PartXml {
public:
    PartXml(zip_t* z, const std::string& part, const std::string& fileName) : fileName_(fileName), part_(part) {
        zip_int64_t index = zip_name_locate(z, part.c_str(), ZIP_FL_NOCASE);
        if (index < 0) return;
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(z, static_cast<zip_uint64_t>(index), 0, &st) != 0) fail("its directory is damaged");
        compressed_ = (st.valid & ZIP_STAT_COMP_SIZE) ? st.comp_size : 0;
        declared_ = (st.valid & ZIP_STAT_SIZE) ? st.size : 0;
        if (declared_ > limit()) fail(part + " would inflate to " + std::to_string(declared_) + " bytes");
        file_ = zip_fopen_index(z, static_cast<zip_uint64_t>(index), 0);
        if (!file_) fail(part + " cannot be opened (" + zip_strerror(z) + ")");
    }
    ~PartXml() {
        if (file_) zip_fclose(file_);
    }
    PartXml(const PartXml&) = delete;
    PartXml& operator=(const PartXml&) = delete;

    bool exists() const { return file_ != nullptr; }

    // The next token; fails on damaged XML or a damaged zip entry.
    QXmlStreamReader::TokenType next() {
        for (;;) {
            QXmlStreamReader::TokenType t = xml_.readNext();
            if (t != QXmlStreamReader::Invalid) return t;
            if (xml_.error() != QXmlStreamReader::PrematureEndOfDocumentError || ended_)
                fail(part_ + " is not well-formed XML (" + xml_.errorString().toStdString() + ")");
            feed();
        }
    }
    QXmlStreamReader& xml() { return xml_; }
    bool atEnd() { return xml_.atEnd() && ended_; }

    // The text of the current element up to its end (Characters across chunks).
    std::string elementText() {
        std::string text;
        int depth = 1;
        while (depth > 0) {
            switch (next()) {
                case QXmlStreamReader::StartElement: ++depth; break;
                case QXmlStreamReader::EndElement: --depth; break;
                case QXmlStreamReader::Characters: text += xml_.text().toString().toStdString(); break;
                case QXmlStreamReader::EndDocument: return text;
                default: break;
            }
        }
        return text;
    }

    [[noreturn]] void fail(const std::string& why) const { ThrowWrongFormat(fileName_, why); }

private:
    uint64_t limit() const { return std::min(kMaxPartSize, compressed_ * kMaxInflation + kInflationMargin); }

    void feed() {
        QByteArray chunk(kChunk, Qt::Uninitialized);
        zip_int64_t n = zip_fread(file_, chunk.data(), static_cast<zip_uint64_t>(chunk.size()));
        if (n < 0) fail(part_ + " is damaged (" + std::string(zip_file_strerror(file_)) + ")");
        inflated_ += static_cast<uint64_t>(n);
        if (inflated_ > limit() || (n > 0 && inflated_ > declared_))
            fail(part_ + " inflates to more than its stated size: refused as a zip bomb");
        if (n == 0) {
            if (inflated_ != declared_) fail(part_ + " is truncated");
            ended_ = true;
            xml_.addData(QByteArray());
            return;
        }
        chunk.resize(static_cast<qsizetype>(n));
        xml_.addData(chunk);
    }

    std::string fileName_, part_;
    zip_file_t* file_ = nullptr;
    uint64_t compressed_ = 0, declared_ = 0, inflated_ = 0;
    bool ended_ = false;
    QXmlStreamReader xml_;
};

std::string Attribute(const QXmlStreamAttributes& attributes, const char* localName) {
    // Read through a const list: a non-const one would be copied (detached)
    // by the loop, on every cell.
    for (const QXmlStreamAttribute& a : attributes)
        if (a.name() == QLatin1String(localName)) return a.value().toString().toStdString();
    return {};
}

std::string Attribute(const QXmlStreamReader& xml, const char* localName) {
    return Attribute(xml.attributes(), localName);
}

bool IsStart(PartXml& p, const char* name) {
    return p.xml().tokenType() == QXmlStreamReader::StartElement && p.xml().name() == QLatin1String(name);
}

// Whether a number format shows a date or time: built-in 14-22 and 45-47,
// or a format code with day, month, year, hour or second outside quoted
// text, escapes and [colour] brackets.
bool IsDateFormat(int id, const std::string& code) {
    if ((id >= 14 && id <= 22) || (id >= 45 && id <= 47)) return true;
    bool quoted = false, bracket = false;
    for (size_t i = 0; i < code.size(); ++i) {
        char c = code[i];
        if (quoted) { quoted = c != '"'; continue; }
        if (bracket) { bracket = c != ']'; continue; }
        if (c == '"') quoted = true;
        else if (c == '[') bracket = true;
        else if (c == '\\' || c == '_' || c == '*') ++i;
        else if (std::strchr("dmyhsDMYHS", c)) return true;
    }
    return false;
}

// A whole number of decimal digits only, at most `limit`; nullopt for
// anything else. A number beyond the limit gives limit + 1 (no overflow,
// however many digits).
std::optional<uint64_t> ParseIndex(std::string_view text, uint64_t limit) {
    if (text.empty()) return std::nullopt;
    uint64_t n = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        n = std::min(limit + 1, n * 10 + static_cast<uint64_t>(c - '0'));
    }
    return n;
}

// A number format's id; -1 for an attribute that is none.
int FormatId(const std::string& text) {
    const std::optional<uint64_t> id = ParseIndex(text, INT32_MAX);
    return id && *id <= INT32_MAX ? static_cast<int>(*id) : -1;
}

// "A", "Z", "AA" ... for a column from 0.
std::string ColumnLetters(uint32_t column) {
    std::string letters;
    for (uint64_t c = uint64_t{column} + 1; c > 0; c = (c - 1) / 26)
        letters.insert(letters.begin(), static_cast<char>('A' + (c - 1) % 26));
    return letters;
}

// A value of a cell as a message quotes it: at most 60 characters.
std::string Quoted(const std::string& text) {
    return "\"" + (text.size() > 60 ? text.substr(0, 57) + "..." : text) + "\"";
}

const std::string kLastRow = "row 1048576, the last row a worksheet can have";
const std::string kLastColumn = "column XFD (16384), the last column a worksheet can have";

// "BC12" -> column 54, row 11 (both from 0); the reason why not otherwise.
std::string ParseCellReference(std::string_view ref, uint32_t& row, uint32_t& column) {
    size_t i = 0;
    uint64_t col = 0;
    for (; i < ref.size() && std::isalpha(static_cast<unsigned char>(ref[i])); ++i) {
        col = col * 26 + static_cast<uint64_t>(std::toupper(static_cast<unsigned char>(ref[i])) - 'A' + 1);
        if (col > kMaxColumns) return "it lies beyond " + kLastColumn;
    }
    const std::optional<uint64_t> r = i == 0 ? std::nullopt : ParseIndex(ref.substr(i), kMaxRows);
    if (!r || *r == 0) return "it is no cell reference";
    if (*r > kMaxRows) return "it lies beyond " + kLastRow;
    row = static_cast<uint32_t>(*r - 1);
    column = static_cast<uint32_t>(col - 1);
    return {};
}

std::optional<double> ParseNumber(const std::string& text) {
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    double d = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(d)) return std::nullopt;
    return d;
}

// "1867-03-15", "1867-03-15T10:30:00", with fractions of a second and a
// closing "Z" too (cells of type "d"); nullopt for anything else and for a
// month, day, hour (0-23), minute or second (0-59) out of range.
std::optional<double> IsoDate(std::string_view text) {
    size_t at = 0;
    auto digits = [&](size_t count, int& out) {
        if (text.size() - at < count) return false;
        out = 0;
        for (size_t end = at + count; at < end; ++at) {
            if (text[at] < '0' || text[at] > '9') return false;
            out = out * 10 + (text[at] - '0');
        }
        return true;
    };
    auto skip = [&](char c) {
        if (at == text.size() || text[at] != c) return false;
        ++at;
        return true;
    };
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    double fraction = 0;
    if (!digits(4, y) || !skip('-') || !digits(2, mo) || !skip('-') || !digits(2, d)) return std::nullopt;
    if (at < text.size()) {
        if (!skip('T') && !skip(' ')) return std::nullopt;
        if (!digits(2, h) || !skip(':') || !digits(2, mi)) return std::nullopt;
        if (skip(':') && !digits(2, s)) return std::nullopt;
        if (skip('.')) {
            double unit = 0.1;
            const size_t first = at;
            for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at, unit /= 10) fraction += (text[at] - '0') * unit;
            if (at == first) return std::nullopt;
        }
        skip('Z');
        if (at != text.size()) return std::nullopt;
    }
    if (y < 100 || mo < 1 || mo > 12 || d < 1 || d > DaysInMonth(y, mo) || h > 23 || mi > 59 || s > 59)
        return std::nullopt;
    return DayNumber(y, mo, d) + (h * 3600 + mi * 60 + s + fraction) / 86400.0;
}

}  // namespace

void XlsxReader::ZipCloser::operator()(zip* z) const { zip_discard(z); }

XlsxReader::XlsxReader(std::string path) : path_(std::move(path)), fileName_(FileNameOf(path_)) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path_, ec)) throw VdxError(err::FileNotFound, "File not found: " + path_);
    int error = 0;
    zip_t* z = zip_open(path_.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
    if (!z) {
        zip_error_t ze;
        zip_error_init_with_code(&ze, error);
        std::string why = zip_error_strerror(&ze);
        zip_error_fini(&ze);
        ThrowWrongFormat(fileName_, "it is no .xlsx workbook (" + why + ")");
    }
    zip_.reset(z);
    readWorkbook();
    readSharedStrings();
    readStyles();
}

XlsxReader::~XlsxReader() = default;

void XlsxReader::readWorkbook() {
    std::map<std::string, std::string> targets;  // relationship id -> part
    {
        PartXml rels(zip_.get(), "xl/_rels/workbook.xml.rels", fileName_);
        if (!rels.exists()) rels.fail("it has no xl/_rels/workbook.xml.rels");
        while (rels.next() != QXmlStreamReader::EndDocument) {
            if (!IsStart(rels, "Relationship")) continue;
            std::string target = Attribute(rels.xml(), "Target");
            target = !target.empty() && target[0] == '/' ? target.substr(1) : "xl/" + target;
            targets[Attribute(rels.xml(), "Id")] = target;
        }
    }
    PartXml book(zip_.get(), "xl/workbook.xml", fileName_);
    if (!book.exists()) book.fail("it has no xl/workbook.xml");
    while (book.next() != QXmlStreamReader::EndDocument) {
        if (IsStart(book, "workbookPr")) {
            std::string d = Attribute(book.xml(), "date1904");
            date1904_ = d == "1" || d == "true";
            // LibreOffice writes dateCompatibility="false": its serials are
            // plain day numbers, before 1900 too (negative).
            const std::string compatible = Attribute(book.xml(), "dateCompatibility");
            plainSerials_ = compatible == "0" || compatible == "false";
        } else if (IsStart(book, "sheet")) {
            auto it = targets.find(Attribute(book.xml(), "id"));
            if (it == targets.end()) book.fail("a sheet has no part");
            sheets_.push_back({Attribute(book.xml(), "name"), it->second});
        }
    }
    if (sheets_.empty()) book.fail("it has no sheets");
}

void XlsxReader::readSharedStrings() {
    PartXml strings(zip_.get(), "xl/sharedStrings.xml", fileName_);
    if (!strings.exists()) return;  // producers that write inline strings only
    std::string current;
    bool inItem = false;
    while (strings.next() != QXmlStreamReader::EndDocument) {
        QXmlStreamReader& xml = strings.xml();
        if (IsStart(strings, "si")) {
            inItem = true;
            current.clear();
        } else if (IsStart(strings, "t") && inItem) {
            current += strings.elementText();
        } else if (IsStart(strings, "rPh")) {
            strings.elementText();  // phonetic guide: not part of the text
        } else if (xml.tokenType() == QXmlStreamReader::EndElement && xml.name() == QLatin1String("si")) {
            sharedStrings_.push_back(current);
            inItem = false;
        }
    }
}

void XlsxReader::readStyles() {
    PartXml styles(zip_.get(), "xl/styles.xml", fileName_);
    if (!styles.exists()) return;
    std::map<int, std::string> formats;
    bool inCellXfs = false;
    while (styles.next() != QXmlStreamReader::EndDocument) {
        QXmlStreamReader& xml = styles.xml();
        if (IsStart(styles, "numFmt")) {
            formats[FormatId(Attribute(xml, "numFmtId"))] = Attribute(xml, "formatCode");
        } else if (IsStart(styles, "cellXfs")) {
            inCellXfs = true;
        } else if (xml.tokenType() == QXmlStreamReader::EndElement && xml.name() == QLatin1String("cellXfs")) {
            inCellXfs = false;
        } else if (inCellXfs && IsStart(styles, "xf")) {
            const int id = FormatId(Attribute(xml, "numFmtId"));
            auto it = formats.find(id);
            dateStyles_.push_back(IsDateFormat(id, it == formats.end() ? std::string() : it->second));
        }
    }
}

std::vector<std::string> XlsxReader::tableNames() {
    std::vector<std::string> names;
    for (const Sheet& s : sheets_) names.push_back(s.name + "$");
    return names;
}

size_t XlsxReader::sheetIndex(const std::string& table) const {
    const std::string sheet = !table.empty() && table.back() == '$' ? table.substr(0, table.size() - 1) : table;
    for (size_t i = 0; i < sheets_.size(); ++i)
        if (SameName(sheets_[i].name, sheet)) return i;
    ThrowTableNotFound(table);
}

void XlsxReader::forEachCell(size_t index, const std::function<bool(const SheetCell&)>& onCell) {
    PartXml sheet(zip_.get(), sheets_.at(index).part, fileName_);
    if (!sheet.exists()) sheet.fail(sheets_[index].part + " is missing");
    int64_t row = -1, column = -1;
    while (sheet.next() != QXmlStreamReader::EndDocument) {
        QXmlStreamReader& xml = sheet.xml();
        if (IsStart(sheet, "row")) {
            const std::string r = Attribute(xml, "r");
            int64_t next = row + 1;
            if (!r.empty()) {
                const std::optional<uint64_t> number = ParseIndex(r, kMaxRows);
                if (!number || *number == 0) sheet.fail("row " + Quoted(r) + " is no row number");
                if (*number > kMaxRows) sheet.fail("row " + Quoted(r) + " lies beyond " + kLastRow);
                next = static_cast<int64_t>(*number) - 1;
            }
            if (next >= kMaxRows) sheet.fail("it has more than 1048576 rows, the most a worksheet can have");
            if (next <= row)
                sheet.fail("row " + std::to_string(next + 1) + " comes after row " + std::to_string(row + 1) +
                           ": the rows are out of order");
            row = next;
            column = -1;
            continue;
        }
        if (!IsStart(sheet, "c")) continue;
        if (row < 0) sheet.fail("a cell lies outside any row");
        const QXmlStreamAttributes attributes = xml.attributes();
        std::string ref = Attribute(attributes, "r");
        const std::string type = Attribute(attributes, "t");
        const std::string style = Attribute(attributes, "s");
        uint32_t r = static_cast<uint32_t>(row), c = 0;
        if (ref.empty()) {
            if (column + 1 >= kMaxColumns)
                sheet.fail("row " + std::to_string(row + 1) + " has a cell beyond " + kLastColumn);
            c = static_cast<uint32_t>(column + 1);
            ref = ColumnLetters(c) + std::to_string(row + 1);
        } else if (std::string why = ParseCellReference(ref, r, c); !why.empty()) {
            sheet.fail("cell " + Quoted(ref) + " of row " + std::to_string(row + 1) + ": " + why);
        } else if (r != row) {
            sheet.fail("cell " + ref + " lies in row " + std::to_string(row + 1));
        }
        if (static_cast<int64_t>(c) <= column) sheet.fail("cell " + ref + " is out of order");
        column = c;

        // The cell's children: <v> value, <is> inline string, <f> formula.
        std::string v, inlineText;
        bool hasInline = false;
        int depth = 1;
        while (depth > 0) {
            QXmlStreamReader::TokenType t = sheet.next();
            if (t == QXmlStreamReader::EndDocument) sheet.fail("it ends inside a cell");
            if (t == QXmlStreamReader::EndElement) { --depth; continue; }
            if (t != QXmlStreamReader::StartElement) continue;
            if (xml.name() == QLatin1String("v")) {
                v = sheet.elementText();
            } else if (xml.name() == QLatin1String("t")) {
                hasInline = true;
                inlineText += sheet.elementText();
            } else if (xml.name() == QLatin1String("f") || xml.name() == QLatin1String("rPh")) {
                sheet.elementText();
            } else {
                ++depth;
            }
        }

        Value value;
        if (type == "s") {
            const std::optional<uint64_t> i = ParseIndex(v, UINT32_MAX);
            if (!i) sheet.fail("cell " + ref + " holds " + Quoted(v) + " where the number of a shared string belongs");
            if (*i >= sharedStrings_.size())
                sheet.fail("cell " + ref + " names shared string " + (*i > UINT32_MAX ? Quoted(v) : std::to_string(*i)) +
                           ", but the workbook has " + std::to_string(sharedStrings_.size()) + " (numbered from 0)");
            value = Value::text(sharedStrings_[static_cast<size_t>(*i)]);
        } else if (type == "inlineStr") {
            if (hasInline) value = Value::text(inlineText);
        } else if (type == "str") {
            value = Value::text(v);
        } else if (type == "b") {
            if (!v.empty()) value = Value::boolean(v != "0");
        } else if (type == "e") {
            // error cells (#DIV/0! ...) have no value
        } else if (type == "d") {
            if (!v.empty()) {
                const std::optional<double> day = IsoDate(v);
                if (!day || !IsDayNumberInRange(*day))
                    sheet.fail("cell " + ref + " holds " + Quoted(v) +
                               ", which is no date of the years 100 to 9999 (hours 0 to 23, minutes and seconds 0 to 59)");
                value = Value::date(*day);
            }
        } else if (!v.empty()) {
            std::optional<double> number = ParseNumber(v);
            if (!number) sheet.fail("cell " + ref + " holds " + Quoted(v) + ", which is no number");
            // A style that is no index of the workbook's styles is no date style.
            const uint64_t s = ParseIndex(style, dateStyles_.size()).value_or(dateStyles_.size());
            value = Value::real(*number);
            if (s < dateStyles_.size() && dateStyles_[s]) {
                // 1900 system: serials 1 to 60 count a 29 February 1900 that
                // never was; our day numbers do not.
                double day = date1904_       ? *number + k1904Offset
                             : plainSerials_ ? *number
                                             : (*number >= 1 && *number < 61 ? *number + 1 : *number);
                if (IsDayNumberInRange(day)) value = Value::date(day);
            }
        }
        if (!value.isNull() && !onCell({r, static_cast<uint16_t>(c), std::move(value)})) return;
    }
}

std::vector<SheetCell> XlsxReader::sheetCells(size_t index) {
    std::vector<SheetCell> cells;
    forEachCell(index, [&](const SheetCell& cell) {
        cells.push_back(cell);
        return true;
    });
    return cells;
}

const SheetTable& XlsxReader::layout(size_t index) {
    if (layouts_.size() != sheets_.size()) layouts_.resize(sheets_.size());
    if (!layouts_[index]) {
        SheetLayout layout;
        forEachCell(index, [&](const SheetCell& cell) {
            layout.add(cell);
            return true;
        });
        layouts_[index] = layout.finish(sheets_[index].name + "$");
    }
    return *layouts_[index];
}

std::vector<ColumnSpec> XlsxReader::columns(const std::string& table) { return layout(sheetIndex(table)).columns; }

// Two passes over the sheet's XML, neither holding the sheet: the first
// (kept for later reads) finds the columns and their types, the second
// hands over the rows.
void XlsxReader::readRows(const std::string& table, const RowCallback& onRow, ReadProgress* progress) {
    const size_t index = sheetIndex(table);
    SheetRowStream rows(layout(index), onRow, progress);
    bool stopped = false;
    forEachCell(index, [&](const SheetCell& cell) {
        if (rows.add(cell)) return true;
        stopped = true;
        return false;
    });
    if (!stopped) rows.finish();
}

}  // namespace vdx::exchange
