// Our BIFF reader (and compound document reader) on arbitrary bytes, in memory.
#include "exchange/formats/excel/biff_reader.h"
#include "exchange/formats/excel/excel_reader.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vdx::exchange;
    try {
        BiffWorkbook book(std::string(reinterpret_cast<const char*>(data), size), "in.xls", "in");
        std::vector<std::string> sheets = book.sheetNames();
        for (size_t i = 0; i < sheets.size(); ++i) {
            try {
                SheetTable table = BuildSheetTable(book.sheetCells(i), sheets[i] + "$");
                EmitSheetRows(table, [](const std::vector<vdx::Value>&) { return true; }, nullptr);
            } catch (const vdx::VdxError&) {
            }
        }
    } catch (const vdx::VdxError&) {
    }
    return 0;
}
