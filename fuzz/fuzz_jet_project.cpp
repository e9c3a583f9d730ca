// Opening a study kept in the earlier program's Jet format: every table read
// through the Access reader (mdbtools in its child process) and copied into
// a new working copy of our own format, the system tables checked.
#include <cstdio>

#include "db/file_io.h"
#include "project/jet_project.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = vdx::fuzz::WriteInput("in.vdx", data, size);
    const std::string workingCopy = vdx::fuzz::Folder() + "/in.vd~";
    try {
        vdx::project::ImportJetProject(path, workingCopy);
    } catch (const vdx::VdxError&) {
    }
    vdx::db::RemoveDatabaseFiles(workingCopy);
    return 0;
}
