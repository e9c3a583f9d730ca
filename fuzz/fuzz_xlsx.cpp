// The .xlsx reader on arbitrary bytes: libzip, then our XML parsing.
#include "exchange/xlsx_reader.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string path = vdx::fuzz::WriteInput("in.xlsx", data, size);
    try {
        vdx::exchange::XlsxReader reader(path);
        vdx::fuzz::ReadEverything(reader);
    } catch (const vdx::VdxError&) {
    }
    return 0;
}
