// veldrix-cli categories STUDY.vdx --rate TABLE (--death COLUMN=VALUE | --death COLUMN --cause LIST:CAUSE)
//     [--level 0.10|0.05|0.01] [--method NAME] [--name ANALYSIS] [--format csv|tsv]
//
// Compute > SMR by category: the SMR per exposure category of the study's
// last person-years run with an exposure axis, stored as an analysis, the
// project file saved, and the table printed: category, days, person_years,
// observed, expected, smr, low, high; one row per category, then "total".
#include <iostream>

#include "cli/cli_commands.h"
#include "cli/cli_session.h"
#include "cli/mortality_commands.h"
#include "db/file_commands.h"
#include "mortality/categories.h"

namespace vdx::cli {

int RunCategories(const std::vector<std::string>& args) {
    std::string study;
    std::optional<std::string> rate, death, level, method, name, format, sexColumn, cause;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.rfind("--", 0) != 0) {
            if (!study.empty()) return UsageError("categories");
            study = arg;
            continue;
        }
        if (i + 1 >= args.size()) return UsageError("categories");
        const std::string& value = args[++i];
        std::optional<std::string>* slot = arg == "--rate"     ? &rate
                                           : arg == "--death"  ? &death
                                           : arg == "--level"  ? &level
                                           : arg == "--method" ? &method
                                           : arg == "--name"   ? &name
                                           : arg == "--format" ? &format
                                           : arg == "--sex-column" ? &sexColumn
                                           : arg == "--cause"  ? &cause
                                                               : nullptr;
        if (!slot || slot->has_value()) return UsageError("categories");
        *slot = value;
    }
    // A value after the column, or a cause of a list instead of it.
    mortality::CategoryRequest request;
    if (study.empty() || !rate || !death || death->empty() || death->front() == '=' ||
        (death->find('=') == std::string::npos) != cause.has_value() ||
        (cause && !mortality::ReadCauseWords(*cause, request.causeList, request.cause)))
        return UsageError("categories");
    if (format && *format != "csv" && *format != "tsv") return UsageError("categories");

    CliSession session;
    if (!session.lock(study)) return kFailed;
    if (!db::OpenProjectFile(session.state, session.ui, study)) return kFailed;
    request.rateTable = *rate;
    request.deathColumn = death->substr(0, death->find('='));
    if (!cause) request.deathValueText = death->substr(death->find('=') + 1);
    if (level) request.levelText = *level;
    if (method) request.method = *method;
    if (sexColumn) request.sexColumn = *sexColumn;
    mortality::CategoryTable table;
    if (!mortality::RunCategories(session.state, session.ui, request, name.value_or(""), &table)) return kFailed;
    if (!db::FileSave(session.state, session.ui, db::AfterFailedSave::CommandDiscarded)) return kFailed;
    std::cout << mortality::CategoryTableText(table, format && *format == "tsv" ? '\t' : ',');
    return kOk;
}

}  // namespace vdx::cli
