#include "exchange/formats/excel/excel_writer.h"

#include <cstring>

#include "exchange/formats/excel/compound_file_writer.h"

namespace vdx::exchange {

namespace {
enum : uint16_t {
    kDimensions = 0x0200, kNumber = 0x0203, kLabel = 0x0204, kBoolErr = 0x0205,
    kCodePage = 0x0042, kEof = 0x000A, kDateMode = 0x0022, kWindow1 = 0x003D, kWindow2 = 0x023E,
    kFont = 0x0031, kFont34 = 0x0231, kFormat23 = 0x001E, kFormat = 0x041E, kXf3 = 0x0243, kXf4 = 0x0443,
    kXf = 0x00E0, kStyle = 0x0293, kBoundSheet = 0x0085,
};
constexpr char kDateFormat[] = "DD.MM.YYYY";
constexpr uint16_t kDateFormatIndex = 164;  // the first index of a workbook's own formats

void Add16(std::string& s, uint16_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>(v >> 8);
}
void Add32(std::string& s, uint32_t v) {
    for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
}
void AddDouble(std::string& s, double d) {
    char b[8];
    std::memcpy(b, &d, 8);
    s.append(b, 8);
}

// UTF-8 to UTF-16LE code units; false for malformed UTF-8.
bool Utf16(const std::string& utf8, std::u16string& out) {
    out.clear();
    for (size_t i = 0; i < utf8.size();) {
        auto b = static_cast<unsigned char>(utf8[i]);
        int extra = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : -1;
        if (extra < 0 || i + extra >= utf8.size() + (extra ? 0 : 1)) return false;
        char32_t cp = extra ? b & (0x3F >> extra) : b;
        for (int k = 1; k <= extra; ++k) {
            auto c = static_cast<unsigned char>(utf8[i + k]);
            if ((c & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (c & 0x3F);
        }
        i += extra + 1;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return true;
}

// A BIFF8 Unicode string: character count (8 or 16 bits), flags 1 (UTF-16LE), the characters.
std::string Biff8String(const std::u16string& text, bool longCount) {
    std::string s;
    if (longCount) Add16(s, static_cast<uint16_t>(text.size()));
    else s += static_cast<char>(text.size());
    s += '\x01';
    for (char16_t u : text) Add16(s, u);
    return s;
}

// Excel's serial of a day number: from 1 March 1900 they agree; before, the
// serial counts from 31 December 1899, as Excel takes 1900 for a leap year.
double ExcelSerial(double dayNumber) { return dayNumber >= 61 ? dayNumber : dayNumber - 1; }
}  // namespace

std::string ExcelSheetName(const std::string& tableName) {
    std::string name;
    for (char ch : tableName) name += std::strchr("[]:*?/\\", ch) && ch ? '_' : ch;
    // Cut at 31 characters, not inside a UTF-8 character.
    size_t chars = 0, end = 0;
    while (end < name.size() && chars < 31) {
        ++end;
        while (end < name.size() && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) ++end;
        ++chars;
    }
    name.resize(end);
    return name.empty() ? "Sheet1" : name;
}

void ExcelTableWriter::record(std::string& out, uint16_t type, const std::string& data) const {
    Add16(out, type);
    Add16(out, static_cast<uint16_t>(data.size()));
    out += data;
}

std::string ExcelTableWriter::cellHead(uint32_t row, uint16_t column, uint16_t xf) const {
    std::string s;
    Add16(s, static_cast<uint16_t>(row));
    Add16(s, column);
    Add16(s, xf);
    return s;
}

void ExcelTableWriter::textCell(uint32_t row, uint16_t column, const std::string& text, const std::string& columnName) {
    std::string data = cellHead(row, column, generalXf_);
    if (version_ == 8) {
        std::u16string u;
        if (!Utf16(text, u)) ThrowCannotHold(row, columnName, "the text is not valid UTF-8.");
        if (u.size() > 255) ThrowCannotHold(row, columnName, "an Excel text cell of this writer holds at most 255 characters.");
        data += Biff8String(u, true);
    } else {
        std::optional<std::string> bytes = Utf8ToWindows1252(text);
        if (!bytes) ThrowCannotHold(row, columnName, "the text has a character that this Excel version (Windows-1252) cannot hold.");
        if (bytes->size() > 255) ThrowCannotHold(row, columnName, "an Excel text cell holds at most 255 characters.");
        Add16(data, static_cast<uint16_t>(bytes->size()));
        data += *bytes;
    }
    record(cells_, kLabel, data);
}

void ExcelTableWriter::open(const std::vector<ColumnSpec>& columns) {
    // Workbooks have 15 style XFs before the cell XFs.
    generalXf_ = version_ >= 5 ? 15 : 0;
    dateXf_ = generalXf_ + 1;
    for (size_t c = 0; c < columns.size(); ++c) textCell(0, static_cast<uint16_t>(c), columns[c].name, columns[c].name);
}

void ExcelTableWriter::put(const std::vector<Value>& row) {
    const uint32_t r = static_cast<uint32_t>(rowsWritten()) + 1;
    for (size_t c = 0; c < row.size(); ++c) {
        const Value& v = row[c];
        const auto column = static_cast<uint16_t>(c);
        switch (v.kind()) {
            case Value::Kind::Null: break;
            case Value::Kind::Integer:
            case Value::Kind::Double: {
                std::string data = cellHead(r, column, generalXf_);
                AddDouble(data, v.asDouble());
                record(cells_, kNumber, data);
                break;
            }
            case Value::Kind::Date: {
                std::string data = cellHead(r, column, dateXf_);
                AddDouble(data, ExcelSerial(v.asDouble()));
                record(cells_, kNumber, data);
                break;
            }
            case Value::Kind::Boolean: {
                std::string data = cellHead(r, column, generalXf_);
                data += static_cast<char>(v.asBool() ? 1 : 0);
                data += '\0';
                record(cells_, kBoolErr, data);
                break;
            }
            case Value::Kind::Text: textCell(r, column, v.asText(), columns()[c].name); break;
        }
    }
    lastRow_ = r;
}

std::string ExcelTableWriter::workbookBof(uint16_t type) const {
    // Build and year of the Excel that wrote the version: readers tell
    // Excel 5.0 from 7.0 by the year (before 1994: 5.0).
    std::string bof;
    Add16(bof, version_ == 8 ? 0x0600 : 0x0500);
    Add16(bof, type);
    Add16(bof, version_ == 8 ? 0x0DBB : 0x096C);
    Add16(bof, version_ == 8 ? 1996 : 1993);
    if (version_ == 8) {
        Add32(bof, 0);
        Add32(bof, 0x06);  // lowest Excel version that can read it: 97
    }
    return bof;
}

std::string ExcelTableWriter::worksheetStart() const {
    std::string out;
    std::string bof;
    if (version_ <= 4) {
        Add16(bof, static_cast<uint16_t>(version_ << 8));
        Add16(bof, 0x0010);
        Add16(bof, 0);
        record(out, version_ == 3 ? 0x0209 : 0x0409, bof);
    } else {
        record(out, 0x0809, workbookBof(0x0010));  // worksheet
    }
    std::string dim;
    if (version_ == 8) {
        Add32(dim, 0);
        Add32(dim, lastRow_ + 1);
    } else {
        Add16(dim, 0);
        Add16(dim, static_cast<uint16_t>(lastRow_ + 1));
    }
    Add16(dim, 0);
    Add16(dim, static_cast<uint16_t>(columns().size()));
    Add16(dim, 0);
    record(out, kDimensions, dim);
    return out;
}

std::string ExcelTableWriter::worksheetEnd() const {
    std::string out;
    if (version_ >= 5) {
        std::string w;
        Add16(w, 0x06B6);  // gridlines, headers, zeros, the sheet selected and shown
        Add16(w, 0);
        Add16(w, 0);
        if (version_ == 8) {
            Add16(w, 0x40);
            Add16(w, 0);
            Add16(w, 0);
            Add16(w, 0);
            Add32(w, 0);
        } else {
            Add32(w, 0);
        }
        record(out, kWindow2, w);
    }
    record(out, kEof, {});
    return out;
}

std::string ExcelTableWriter::workbookGlobals(uint32_t sheetOffset, size_t& boundSheetPosition) const {
    std::string out;
    record(out, 0x0809, workbookBof(0x0005));  // workbook globals
    std::string cp;
    Add16(cp, version_ == 8 ? 1200 : 1252);
    record(out, kCodePage, cp);
    std::string w1;
    for (uint16_t v : {0, 0, 0x4000, 0x2000, 0x0038, 0, 0, 1, 0x0258}) Add16(w1, v);
    record(out, kWindow1, w1);
    std::string dateMode;
    Add16(dateMode, 0);  // the 1900 date system
    record(out, kDateMode, dateMode);
    for (int i = 0; i < 4; ++i) {
        std::string f;
        for (uint16_t v : {200, 0, 0x7FFF, 400, 0}) Add16(f, v);
        f += std::string(4, '\0');  // underline, family, character set, reserved
        f += '\x05';
        if (version_ == 8) f += '\0';
        f += "Arial";
        record(out, kFont, f);
    }
    std::string fmt;
    Add16(fmt, kDateFormatIndex);
    if (version_ == 8) {
        Add16(fmt, static_cast<uint16_t>(std::strlen(kDateFormat)));
        fmt += '\0';
    } else {
        fmt += static_cast<char>(std::strlen(kDateFormat));
    }
    fmt += kDateFormat;
    record(out, kFormat, fmt);
    // 15 style XFs, then the cell XFs for general numbers and texts and for dates.
    for (int i = 0; i < 17; ++i) {
        const bool style = i < 15;
        const uint16_t format = i == 16 ? kDateFormatIndex : 0;
        std::string xf;
        Add16(xf, 0);  // font
        Add16(xf, format);
        Add16(xf, style ? 0xFFF5 : 0x0001);  // style XF (parent none) / locked cell XF of style 0
        if (version_ == 8) {
            xf += '\x20';  // bottom aligned
            xf += '\0';
            xf += '\0';
            xf += style ? '\xF4' : '\0';
            Add32(xf, 0);
            Add32(xf, 0);
            Add16(xf, 0x20C0);
        } else {
            Add16(xf, 0x0020);
            Add32(xf, 0x000020C0);
            Add32(xf, 0);
        }
        record(out, kXf, xf);
    }
    std::string styleRecord;
    Add16(styleRecord, 0x8000);  // built-in style of XF 0
    styleRecord += '\0';         // "Normal"
    styleRecord += '\xFF';
    record(out, kStyle, styleRecord);

    boundSheetPosition = out.size() + 4;
    std::string sheet;
    Add32(sheet, sheetOffset);
    sheet += '\0';  // visible
    sheet += '\0';  // worksheet
    const std::string name = ExcelSheetName(tableName());
    if (version_ == 8) {
        std::u16string u;
        Utf16(name, u);
        sheet += Biff8String(u, false);
    } else {
        std::string bytes = Utf8ToWindows1252(name).value_or(std::string());
        if (bytes.empty()) bytes = "Sheet1";
        sheet += static_cast<char>(bytes.size());
        sheet += bytes;
    }
    record(out, kBoundSheet, sheet);
    record(out, kEof, {});
    return out;
}

void ExcelTableWriter::close() {
    std::string bytes;
    if (version_ <= 4) {
        std::string head = worksheetStart();
        // BOF, then the code page (FreeXL needs it), font, formats and XFs, then DIMENSIONS and the cells.
        size_t bofEnd = 4 + static_cast<uint8_t>(head[2]);
        bytes = head.substr(0, bofEnd);
        std::string cp;
        Add16(cp, 1252);
        record(bytes, kCodePage, cp);
        std::string font;
        for (uint16_t v : {200, 0, 0x7FFF}) Add16(font, v);
        font += '\x05';
        font += "Arial";
        record(bytes, kFont34, font);
        for (const char* f : {"General", kDateFormat}) {
            std::string data;
            if (version_ == 4) Add16(data, 0);
            data += static_cast<char>(std::strlen(f));
            data += f;
            record(bytes, version_ == 4 ? kFormat : kFormat23, data);
        }
        for (uint8_t format : {0, 1}) {
            std::string xf(12, '\0');
            xf[1] = static_cast<char>(format);
            record(bytes, version_ == 3 ? kXf3 : kXf4, xf);
        }
        bytes += head.substr(bofEnd);
        bytes += cells_;
        bytes += worksheetEnd();
    } else {
        size_t boundSheetPosition = 0;
        std::string globals = workbookGlobals(0, boundSheetPosition);
        const auto sheetOffset = static_cast<uint32_t>(globals.size());
        for (int i = 0; i < 4; ++i) globals[boundSheetPosition + i] = static_cast<char>((sheetOffset >> (8 * i)) & 0xFF);
        std::string stream = std::move(globals);
        stream += worksheetStart();
        stream += cells_;
        stream += worksheetEnd();
        cells_.clear();
        bytes = CompoundFileWithStream(version_ == 8 ? "Workbook" : "Book", std::move(stream));
    }
    AtomicFile file(targetPath());
    file.write(bytes);
    file.commit();
}

}  // namespace vdx::exchange
