// The Excel reader as the program uses it: our BIFF reader, then FreeXL.
#include <sys/stat.h>

#include "exchange/formats/excel/excel_reader.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string path = vdx::fuzz::WriteInput("in.xls", data, size);
    try {
        vdx::exchange::ExcelReader reader(path);
        vdx::fuzz::ReadEverything(reader);
    } catch (const vdx::VdxError&) {
    }
    return 0;
}
