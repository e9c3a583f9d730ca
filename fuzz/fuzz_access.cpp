// The Access reader (our signature check, then mdbtools) on arbitrary bytes.
#include <sys/stat.h>

#include "exchange/formats/access/access_reader.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string path = vdx::fuzz::WriteInput("in.mdb", data, size);
    try {
        vdx::exchange::AccessReader reader(path);
        vdx::fuzz::ReadEverything(reader);
    } catch (const vdx::VdxError&) {
    }
    return 0;
}
