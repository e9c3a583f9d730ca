// The Paradox reader (our header check, then pxlib) on arbitrary bytes.
#include <sys/stat.h>

#include "exchange/formats/paradox/paradox_reader.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vdx::fuzz::WriteInput("in.db", data, size);
    try {
        vdx::exchange::ParadoxReader reader(vdx::fuzz::Folder());
        vdx::fuzz::ReadEverything(reader);
    } catch (const vdx::VdxError&) {
    }
    return 0;
}
