// The smallest .xlsx workbook around one sheet's XML: the parts the reader
// needs (workbook, its relationships, the sheet, shared strings if given),
// zipped with libzip. For tests, benchmarks and the .xlsx fuzz harness,
// which so hand the reader sheet XML of their own making.
#pragma once

#include <zip.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

namespace vdx::testing {

namespace xlsx_detail {

inline void Add(zip_t* z, const char* name, zip_source_t* source) {
    if (!source || zip_file_add(z, name, source, ZIP_FL_OVERWRITE) < 0) {
        if (source) zip_source_free(source);
        throw std::runtime_error(std::string("cannot add ") + name + ": " + zip_strerror(z));
    }
}

inline void AddText(zip_t* z, const char* name, const std::string& text) {
    // An empty part needs no bytes (libzip would not free a copy of none).
    if (text.empty()) return Add(z, name, zip_source_buffer(z, nullptr, 0, 0));
    // libzip copies the bytes when it writes the archive, at zip_close: they
    // must live until then, so the source gets a copy it frees itself.
    char* copy = static_cast<char*>(std::malloc(text.size()));
    std::memcpy(copy, text.data(), text.size());
    Add(z, name, zip_source_buffer(z, copy, text.size(), 1));
}

// Writes the workbook at `path`; `addSheet` adds xl/worksheets/sheet1.xml.
template <typename AddSheet>
void Write(const std::string& path, const std::string& sharedStrings, const std::string& styles, AddSheet addSheet) {
    int error = 0;
    zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!z) throw std::runtime_error("cannot create " + path);
    const std::string ns = "http://schemas.openxmlformats.org/";
    AddText(z, "[Content_Types].xml",
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Types xmlns=\"" + ns + "package/2006/content-types\"/>");
    AddText(z, "xl/workbook.xml",
            "<workbook xmlns=\"" + ns + "spreadsheetml/2006/main\" xmlns:r=\"" + ns +
                "officeDocument/2006/relationships\"><sheets><sheet name=\"Sheet1\" sheetId=\"1\" r:id=\"rId1\"/>"
                "</sheets></workbook>");
    AddText(z, "xl/_rels/workbook.xml.rels",
            "<Relationships xmlns=\"" + ns + "package/2006/relationships\"><Relationship Id=\"rId1\" Type=\"" + ns +
                "officeDocument/2006/relationships/worksheet\" Target=\"worksheets/sheet1.xml\"/></Relationships>");
    if (!sharedStrings.empty()) AddText(z, "xl/sharedStrings.xml", sharedStrings);
    if (!styles.empty()) AddText(z, "xl/styles.xml", styles);
    addSheet(z);
    if (zip_close(z) != 0) {
        const std::string why = zip_strerror(z);
        zip_discard(z);
        throw std::runtime_error("cannot write " + path + ": " + why);
    }
}

}  // namespace xlsx_detail

// A workbook whose only sheet, "Sheet1", has the XML `sheet`; `sharedStrings`
// and `styles` become xl/sharedStrings.xml and xl/styles.xml when not empty.
inline void WriteXlsx(const std::string& path, const std::string& sheet, const std::string& sharedStrings = {},
                      const std::string& styles = {}) {
    xlsx_detail::Write(path, sharedStrings, styles,
                       [&](zip_t* z) { xlsx_detail::AddText(z, "xl/worksheets/sheet1.xml", sheet); });
}

// The same with the sheet's XML taken from a file (for sheets too large to
// hold in memory); the file must stay until this returns.
inline void WriteXlsxFromSheetFile(const std::string& path, const std::string& sheetFile,
                                   const std::string& sharedStrings = {}, const std::string& styles = {}) {
    xlsx_detail::Write(path, sharedStrings, styles, [&](zip_t* z) {
        xlsx_detail::Add(z, "xl/worksheets/sheet1.xml", zip_source_file(z, sheetFile.c_str(), 0, -1));
    });
}

// A sheet's XML around rows ("<row>...</row>...").
inline std::string SheetXml(const std::string& rows) {
    return "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>" + rows +
           "</sheetData></worksheet>";
}

}  // namespace vdx::testing
