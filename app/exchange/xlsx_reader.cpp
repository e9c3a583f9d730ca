#include "exchange/xlsx_reader.h"

#include <zip.h>

#include <QXmlStreamReader>
#include <cmath>
#include <filesystem>
#include <map>

#include "exchange/excel_reader.h"
#include "exchange/reader_support.h"
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

std::string Attribute(const QXmlStreamReader& xml, const char* localName) {
    for (const QXmlStreamAttribute& a : xml.attributes())
        if (a.name() == QLatin1String(localName)) return a.value().toString().toStdString();
    return {};
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

// "BC12" -> column 54, row 11 (both from 0); false for anything else.
bool ParseCellReference(const std::string& ref, uint32_t& row, uint32_t& column) {
    size_t i = 0;
    uint64_t col = 0, r = 0;
    for (; i < ref.size() && std::isalpha(static_cast<unsigned char>(ref[i])); ++i) {
        col = col * 26 + static_cast<uint64_t>(std::toupper(static_cast<unsigned char>(ref[i])) - 'A' + 1);
        if (col > kMaxColumns) return false;
    }
    if (i == 0 || i == ref.size()) return false;
    for (; i < ref.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(ref[i]))) return false;
        r = r * 10 + static_cast<uint64_t>(ref[i] - '0');
        if (r > kMaxRows) return false;
    }
    if (r == 0) return false;
    row = static_cast<uint32_t>(r - 1);
    column = static_cast<uint32_t>(col - 1);
    return true;
}

std::optional<double> ParseNumber(const std::string& text) {
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    double d = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(d)) return std::nullopt;
    return d;
}

// "1867-03-15" or "1867-03-15T10:30:00" (cells of type "d").
std::optional<double> IsoDate(const std::string& text) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0;
    double s = 0;
    int n = std::sscanf(text.c_str(), "%d-%d-%dT%d:%d:%lf", &y, &mo, &d, &h, &mi, &s);
    if (n < 3 || y < 100 || y > 9999 || mo < 1 || mo > 12 || d < 1 || d > DaysInMonth(y, mo)) return std::nullopt;
    return DayNumber(y, mo, d) + (h * 3600 + mi * 60 + s) / 86400.0;
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
            formats[std::atoi(Attribute(xml, "numFmtId").c_str())] = Attribute(xml, "formatCode");
        } else if (IsStart(styles, "cellXfs")) {
            inCellXfs = true;
        } else if (xml.tokenType() == QXmlStreamReader::EndElement && xml.name() == QLatin1String("cellXfs")) {
            inCellXfs = false;
        } else if (inCellXfs && IsStart(styles, "xf")) {
            int id = std::atoi(Attribute(xml, "numFmtId").c_str());
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

std::vector<SheetCell> XlsxReader::sheetCells(size_t index) {
    PartXml sheet(zip_.get(), sheets_.at(index).part, fileName_);
    if (!sheet.exists()) sheet.fail(sheets_[index].part + " is missing");
    std::vector<SheetCell> cells;
    int64_t row = -1, column = -1;
    while (sheet.next() != QXmlStreamReader::EndDocument) {
        QXmlStreamReader& xml = sheet.xml();
        if (IsStart(sheet, "row")) {
            std::string r = Attribute(xml, "r");
            int64_t next = r.empty() ? row + 1 : std::atoll(r.c_str()) - 1;
            if (next <= row || next >= kMaxRows) sheet.fail("row " + r + " is out of order or beyond Excel's last row");
            row = next;
            column = -1;
            continue;
        }
        if (!IsStart(sheet, "c")) continue;
        if (row < 0) sheet.fail("a cell lies outside any row");
        const std::string ref = Attribute(xml, "r");
        const std::string type = Attribute(xml, "t");
        const std::string style = Attribute(xml, "s");
        uint32_t r = 0, c = 0;
        if (ref.empty()) {
            c = static_cast<uint32_t>(column + 1);
            r = static_cast<uint32_t>(row);
        } else if (!ParseCellReference(ref, r, c) || r != row) {
            sheet.fail("cell reference \"" + ref + "\" is invalid");
        }
        if (c >= kMaxColumns || static_cast<int64_t>(c) <= column) sheet.fail("cell " + ref + " is out of order");
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
            std::optional<double> i = ParseNumber(v);
            if (!i || *i < 0 || *i >= static_cast<double>(sharedStrings_.size()))
                sheet.fail("cell " + ref + " names a shared string that does not exist");
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
            if (std::optional<double> day = IsoDate(v); day && IsDayNumberInRange(*day)) value = Value::date(*day);
            else if (!v.empty()) value = Value::text(v);
        } else if (!v.empty()) {
            std::optional<double> number = ParseNumber(v);
            if (!number) sheet.fail("cell " + ref + " holds \"" + v + "\", which is no number");
            const size_t s = style.empty() ? 0 : static_cast<size_t>(std::atoll(style.c_str()));
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
        if (!value.isNull()) cells.push_back({r, static_cast<uint16_t>(c), std::move(value)});
    }
    return cells;
}

std::vector<ColumnSpec> XlsxReader::columns(const std::string& table) {
    size_t index = sheetIndex(table);
    return BuildSheetTable(sheetCells(index), sheets_[index].name + "$").columns;
}

void XlsxReader::readRows(const std::string& table, const RowCallback& onRow, ReadProgress* progress) {
    size_t index = sheetIndex(table);
    EmitSheetRows(BuildSheetTable(sheetCells(index), sheets_[index].name + "$"), onRow, progress);
}

}  // namespace vdx::exchange
