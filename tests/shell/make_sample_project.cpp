// Writes the sample study as a saved project file: make_sample_project <path.vdx>
#include <cstdio>

#include "db/file_commands.h"
#include "sample_project.h"
#include "state/scripted_interaction.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <project file>\n", argv[0]);
        return 2;
    }
    vdx::ProgramState state;
    vdx::ScriptedInteraction ui;
    ui.onMessage = [](const vdx::ScriptedInteraction::ShownMessage& m) {
        std::fprintf(stderr, "%s: %s\n", m.title.c_str(), m.text.c_str());
    };
    if (!vdx::test::CreateSampleProject(state, ui, argv[1])) return 1;
    const bool saved = vdx::db::FileSave(state, ui);
    vdx::db::ReleaseWorkingCopy(state);
    return saved ? 0 : 1;
}
