// What the harnesses share: the input written to a file (the readers read
// files), and the one kind of failure a reader may end with.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "exchange/io/table_reader.h"
#include "state/errors.h"

namespace vdx::fuzz {

// A folder of this process for the input files.
inline const std::string& Folder() {
    static const std::string folder = [] {
        std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string f = base + "/vdx_fuzz_" + std::to_string(getpid());
        mkdir(f.c_str(), 0700);
        return f;
    }();
    return folder;
}

inline std::string WriteInput(const std::string& name, const uint8_t* data, size_t size) {
    std::string path = Folder() + "/" + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
    return path;
}

// Reads every table of a source; a VdxError is the expected end of bad input.
inline void ReadEverything(exchange::TableReader& reader) {
    for (const std::string& table : reader.tableNames()) {
        try {
            reader.columns(table);
            size_t rows = 0;
            reader.readRows(table, [&](const std::vector<Value>&) { return ++rows < 100000; });
        } catch (const VdxError&) {
        }
    }
}

}  // namespace vdx::fuzz
