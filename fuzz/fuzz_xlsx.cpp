// The .xlsx reader. An input that begins with "PK" is a whole workbook
// (libzip, the part size checks, then our XML parsing); any other input is
// the XML of a sheet, which the harness zips into a workbook with shared
// strings and a date style, so that mutations reach our parsing of sheets
// rather than stop at the zip's checksums.
#include "exchange/formats/xlsx/xlsx_reader.h"
#include "fuzz_support.h"
#include "xlsx_workbook.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string path;
    if (size >= 2 && data[0] == 'P' && data[1] == 'K') {
        path = vdx::fuzz::WriteInput("in.xlsx", data, size);
    } else {
        path = vdx::fuzz::Folder() + "/sheet.xlsx";
        vdx::testing::WriteXlsx(path, std::string(reinterpret_cast<const char*>(data), size),
                                "<sst><si><t>id</t></si><si><r><t>bi</t></r><r><t>rth</t></r></si></sst>",
                                "<styleSheet><numFmts><numFmt numFmtId=\"164\" formatCode=\"yyyy-mm-dd\"/></numFmts>"
                                "<cellXfs><xf numFmtId=\"0\"/><xf numFmtId=\"14\"/><xf numFmtId=\"164\"/></cellXfs>"
                                "</styleSheet>");
    }
    try {
        vdx::exchange::XlsxReader reader(path);
        vdx::fuzz::ReadEverything(reader);
    } catch (const vdx::VdxError&) {
    }
    return 0;
}
