// The CSV reader on arbitrary bytes: separator detection, quoting, types.
#include "exchange/csv_reader.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string path = vdx::fuzz::WriteInput("in.csv", data, size);
    try {
        vdx::exchange::CsvReader reader(path);
        vdx::fuzz::ReadEverything(reader);
    } catch (const vdx::VdxError&) {
    }
    return 0;
}
