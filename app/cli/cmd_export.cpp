// veldrix-cli export STUDY.vdx RESULT FILE --format FORMAT [--smr-variables 0,1,...] [--force]
//
// Tables > Save as... without a window: the result is chosen as a click on
// its navigator entry would show it (a person-years table by its name, a
// project's p + "_Deaths", p + "_Strata" (its stratum table) or p + "_SMR"), then written as the save dialog's
// format choice. The SMR figures are the default seven unless listed. FILE
// is written as named, with the format's extension added when it has none
// (or one no export writes); the extension of another format is refused, and
// so is an existing file unless --force.
#include <filesystem>
#include <iostream>

#include "cli/cli_commands.h"
#include "cli/cli_session.h"
#include "cli/table_commands.h"
#include "db/exposure_tables.h"
#include "db/file_commands.h"
#include "db/navigator_commands.h"
#include "db/study_settings.h"
#include "db/navigator_entries.h"
#include "db/database.h"
#include "exchange/commands/export_command.h"
#include "mortality/strata_table.h"
#include "state/errors.h"

namespace vdx::cli {

int RunExport(const std::vector<std::string>& args) {
    std::vector<std::string> positional;
    std::string format;
    std::optional<std::string> variables;
    bool force = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--format" && i + 1 < args.size()) {
            format = args[++i];
        } else if (args[i] == "--smr-variables" && i + 1 < args.size()) {
            variables = args[++i];
        } else if (args[i] == "--force") {
            force = true;
        } else if (!args[i].empty() && args[i][0] != '-') {
            positional.push_back(args[i]);
        } else {
            return UsageError("export");
        }
    }
    const int filterIndex = exchange::ExportFormatIndex(format);
    if (positional.size() != 3 || filterIndex == 0) return UsageError("export");
    exchange::SmrExportChoices choices = exchange::DefaultSmrExportChoices();
    if (variables) {
        const auto listed = exchange::SmrExportChoicesFromList(*variables);
        if (!listed) {
            PrintMessage("--smr-variables takes numbers from 0 to 17 separated by commas, not '" + *variables + "'.");
            return kUsage;
        }
        choices = *listed;
    }
    const std::string& project = positional[0];
    const std::string& result = positional[1];
    const std::string& file = positional[2];

    exchange::ExportTarget target;
    try {
        target = exchange::ExportTargetFor(filterIndex, file, exchange::OtherExtension::Refused);
    } catch (const VdxError& e) {
        PrintMessage(e.description());
        return kFailed;
    }
    std::error_code ec;
    if (!force && std::filesystem::symlink_status(target.path, ec).type() != std::filesystem::file_type::not_found) {
        PrintMessage(target.path + " exists already; nothing was written (--force replaces it).");
        return kFailed;
    }

    CliSession session;
    ProgramState& state = session.state;
    if (!session.lock(project)) return kFailed;
    if (!db::OpenProjectFile(state, session.ui, project)) return kFailed;
    // The navigator entry that shows the result.
    std::string path = result;
    for (int t = 1; state.py.computed && t <= state.py.tableCount; ++t)
        if (result == PyTableName(state.py, t)) path = "Main_Person-Years_" + result;
    for (int t = 1; state.Exposure.computed() && t <= state.py.tableCount; ++t)
        for (int k = 1; k <= static_cast<int>(state.Exposure.categories.size()); ++k)
            if (result == db::ExposureTableName(state, t, k)) path = "Main_Person-Years_" + result;
    try {
        auto db = db::Database::open(state.WorkingCopyName);
        for (const auto& list : db::RegisteredNames(*db, db::kVdxCauseLists))
            if (result == list) path = "Cause lists_" + result;
        for (const auto& name : db::AnalysisNames(*db, "Categories"))
            if (result == name + "_Categories") path = name + "_SMR by category";
    } catch (const VdxError&) {
    }
    const db::NodeClickAction shown = db::ClickNode(state, session.ui, path, false);
    if (shown.kind != db::NodeKind::PersonYears && shown.kind != db::NodeKind::Deaths &&
        shown.kind != db::NodeKind::Strata && shown.kind != db::NodeKind::Smr &&
        shown.kind != db::NodeKind::StoredTable) {
        PrintMessage("'" + result + "' is no person-years table, deaths table, stratum table, SMR result, "
                     "cause list, table of causes (ANALYSIS_Causes), of categories (ANALYSIS_Categories) or of rate ratios (ANALYSIS_RateRatios) of " + project + ".");
        return kFailed;
    }
    try {
        // The stratum table is built as the main window builds it for its grid.
        const db::ResultGridText grid = shown.kind == db::NodeKind::Strata
                                            ? mortality::ShowStrata(state, shown.project)
                                            : shown.resultGrid.value_or(db::ResultGridText{});
        if (!exchange::ExportShownResult(state, session.ui, grid, choices, target)) return kFailed;
    } catch (const VdxError& e) {
        ShowGeneralError(session.ui, e.number(), e.description());
        return kFailed;
    }
    std::cout << result << " written to " << target.path << ".\n";
    return kOk;
}

}  // namespace vdx::cli
