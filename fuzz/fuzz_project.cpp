// Opening a study in our own format (a SQLite database): the working copy
// made and its system tables loaded into the program's state, as File > Open
// does; then every table of the file read as the Access entries read the
// tables of another study (OwnDatabaseReader).
#include "db/file_io.h"
#include "db/project_file.h"
#include "exchange/formats/own_database/own_database_reader.h"
#include "fuzz_support.h"
#include "state/scripted_interaction.h"
#include "state/state.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = vdx::fuzz::WriteInput("in.vdx", data, size);
    {
        vdx::ProgramState state;
        state.ProjectFileName = path;
        state.WorkingCopyName = vdx::WorkingCopyPath(path);
        vdx::ScriptedInteraction ui;  // messages recorded, questions get their default answer
        vdx::db::LoadProject(state, ui);
        vdx::db::RemoveDatabaseFiles(state.WorkingCopyName);
    }
    try {
        vdx::exchange::OwnDatabaseReader reader(path);
        vdx::fuzz::ReadEverything(reader);
    } catch (const vdx::VdxError&) {
    }
    return 0;
}
