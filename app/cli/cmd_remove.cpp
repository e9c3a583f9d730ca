// veldrix-cli remove STUDY.vdx (--main | --rate NAME)
//
// Tables > Main table > Remove and Tables > Rate table > Remove without a
// window: the question is answered Yes, and the project file is saved. A
// refused removal (a rate table that a project uses) saves nothing.
#include <iostream>
#include <optional>

#include "cli/cli_commands.h"
#include "cli/cli_session.h"
#include "cli/table_commands.h"
#include "db/file_commands.h"
#include "db/remove_table.h"

namespace vdx::cli {

int RunRemove(const std::vector<std::string>& args) {
    std::string project;
    std::optional<std::string> rate;
    bool main = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--main") {
            main = true;
        } else if (args[i] == "--rate" && i + 1 < args.size() && !args[i + 1].empty()) {
            rate = args[++i];
        } else if (!args[i].empty() && args[i][0] != '-' && project.empty()) {
            project = args[i];
        } else {
            return UsageError("remove");
        }
    }
    if (project.empty() || main == rate.has_value()) return UsageError("remove");

    CliSession session;
    ProgramState& state = session.state;
    if (!session.lock(project)) return kFailed;
    if (!db::OpenProjectFile(state, session.ui, project)) return kFailed;
    const std::string table = main ? state.MainTableName : *rate;
    const bool removed = main ? db::RemoveMainTable(state, session.ui) : db::RemoveRateTable(state, session.ui, table);
    if (!removed || !db::FileSave(state, session.ui)) return kFailed;
    std::cout << (main ? "Main data table " : "Rate table ") << table << " removed.\n";
    return kOk;
}

}  // namespace vdx::cli
