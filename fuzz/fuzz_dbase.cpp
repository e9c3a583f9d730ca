// The dBase reader on arbitrary bytes; the input's second half is the memo file.
#include <sys/stat.h>

#include "exchange/formats/dbase/dbase_reader.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    // The first byte (its low bit) puts a memo file beside the table.
    const bool memo = data[0] & 1;
    ++data;
    --size;
    size_t tableSize = memo ? size / 2 : size;
    vdx::fuzz::WriteInput("in.dbf", data, tableSize);
    std::string dbt = vdx::fuzz::Folder() + "/in.dbt";
    if (memo) vdx::fuzz::WriteInput("in.dbt", data + tableSize, size - tableSize);
    else std::remove(dbt.c_str());
    try {
        vdx::exchange::DBaseReader reader(vdx::fuzz::Folder());
        vdx::fuzz::ReadEverything(reader);
    } catch (const vdx::VdxError&) {
    }
    return 0;
}
