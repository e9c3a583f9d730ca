// Reading a large .xlsx sheet: a generated workbook of N rows x 8 cells (a
// shared-string name, numbers, a date-styled serial, an inline string),
// whose sheet XML inflates to about 300 bytes a row from a small zip entry.
// Usage: bench_xlsx [rows = 1000000] [folder = a temporary folder]
// Prints the sizes, the time of the columns pass and of the full read, and
// the peak memory of the process, which does not grow with the sheet: its
// XML is parsed as it inflates and no cell is kept.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "bench_measure.h"
#include "exchange/formats/xlsx/xlsx_reader.h"
#include "xlsx_workbook.h"

namespace {

void WriteSheetXml(const std::string& path, long rows) {
    std::ofstream out(path, std::ios::binary);
    out << "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>"
           "<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>id</t></is></c><c r=\"B1\" t=\"inlineStr\"><is><t>sex</t>"
           "</is></c><c r=\"C1\" t=\"inlineStr\"><is><t>weight</t></is></c><c r=\"D1\" t=\"inlineStr\"><is><t>birth"
           "</t></is></c><c r=\"E1\" t=\"inlineStr\"><is><t>cause</t></is></c><c r=\"F1\" t=\"inlineStr\"><is><t>"
           "name</t></is></c><c r=\"G1\" t=\"inlineStr\"><is><t>exit</t></is></c><c r=\"H1\" t=\"inlineStr\"><is>"
           "<t>note</t></is></c></row>";
    for (long i = 0; i < rows; ++i) {
        const std::string r = std::to_string(i + 2);
        out << "<row r=\"" << r << "\"><c r=\"A" << r << "\"><v>" << i + 1 << "</v></c><c r=\"B" << r << "\"><v>"
            << 1 + i % 2 << "</v></c><c r=\"C" << r << "\"><v>" << 50 + (i % 400) / 8.0 << "</v></c><c r=\"D" << r
            << "\" s=\"1\"><v>" << 10000 + i % 20000 << "</v></c><c r=\"E" << r << "\"><v>" << 100 + i % 900
            << "</v></c><c r=\"F" << r << "\" t=\"s\"><v>" << i % 2 << "</v></c><c r=\"G" << r << "\" s=\"1\"><v>"
            << 30000 + i % 10000 << "</v></c><c r=\"H" << r << "\" t=\"inlineStr\"><is><t>row " << i
            << "</t></is></c></row>";
    }
    out << "</sheetData></worksheet>";
}

}  // namespace

int main(int argc, char** argv) {
    const long rows = argc > 1 ? std::stol(argv[1]) : 1000000;
    const std::string folder = argc > 2 ? argv[2] : (std::filesystem::temp_directory_path() /
                                                     ("vdx_xlsx_bench_" + std::to_string(rows))).string();
    std::filesystem::create_directories(folder);
    const std::string book = folder + "/cohort.xlsx", sheet = folder + "/sheet1.xml";
    if (!std::filesystem::exists(book)) {
        WriteSheetXml(sheet, rows);
        vdx::testing::WriteXlsxFromSheetFile(
            book, sheet, "<sst><si><t>Smith</t></si><si><t>M\xC3\xBCller</t></si></sst>",
            "<styleSheet><cellXfs><xf numFmtId=\"0\"/><xf numFmtId=\"14\"/></cellXfs></styleSheet>");
    }
    const auto inflated = std::filesystem::exists(sheet) ? std::filesystem::file_size(sheet) : 0;
    std::cout << "input " << book << ": " << std::filesystem::file_size(book) / 1048576 << " MiB, its sheet "
              << inflated / 1048576 << " MiB of XML; peak memory before reading " << bench::PeakMebibytes() << " MiB"
              << std::endl;

    vdx::exchange::XlsxReader reader(book);
    size_t columns = 0;
    const double columnsPass = bench::Seconds([&] { columns = reader.columns("Sheet1$").size(); });
    long count = 0;
    const double read = bench::Seconds([&] {
        reader.readRows("Sheet1$", [&](const std::vector<vdx::Value>&) { return ++count, true; }, nullptr);
    });
    std::cout << rows << " rows x " << columns << " columns: columns pass " << columnsPass << " s, rows " << read
              << " s, " << count << " rows read, peak memory " << bench::PeakMebibytes() << " MiB"
              << (count == rows ? "" : "  ROW COUNT WRONG") << std::endl;
    return count == rows ? 0 : 1;
}
