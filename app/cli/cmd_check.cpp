// veldrix-cli check STUDY.vdx [--work-history NAME --id COL] [--hire COL] [--death COL] [--format csv]
//
// Tools > Check cohort: every problem of the main data table (and of the
// work history) at once, one line each: code, table, row, columns, values.
// Exit status 0 when there is none, 1 when there are problems.
#include <iostream>

#include "cli/cli_commands.h"
#include "cli/cli_session.h"
#include "cli/py_commands.h"
#include "db/database.h"
#include "db/file_commands.h"
#include "py/cohort_problems.h"
#include "state/errors.h"

namespace vdx::cli {

int RunCheck(const std::vector<std::string>& args) {
    std::string study;
    py::CohortCheckRequest request;
    bool csv = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.rfind("--", 0) != 0) {
            if (!study.empty()) return UsageError("check");
            study = arg;
            continue;
        }
        if (i + 1 >= args.size()) return UsageError("check");
        const std::string& value = args[++i];
        if (arg == "--work-history") request.workHistory = value;
        else if (arg == "--id") request.idColumn = value;
        else if (arg == "--hire") request.hireColumn = value;
        else if (arg == "--death") request.deathColumn = value;
        else if (arg == "--format" && (value == "csv" || value == "text")) csv = value == "csv";
        else return UsageError("check");
    }
    if (study.empty() || request.workHistory.empty() != request.idColumn.empty()) return UsageError("check");

    CliSession session;
    if (!session.lock(study)) return kFailed;
    if (!db::OpenProjectFile(session.state, session.ui, study)) return kFailed;
    std::vector<py::CohortProblem> problems;
    try {
        auto db = db::Database::open(session.state.WorkingCopyName);
        problems = py::CheckCohort(session.state, *db, request);
    } catch (const VdxError& e) {
        PrintMessage(e.description());
        return kFailed;
    }
    if (csv) {
        std::cout << py::CohortProblemsCsv(problems);
    } else {
        for (const auto& p : problems)
            std::cout << p.code << "\t" << p.table << " row " << p.row << "\t" << p.columns << "\t" << p.values << "\n";
        std::cout << problems.size() << (problems.size() == 1 ? " problem" : " problems") << " found.\n";
    }
    return problems.empty() ? kOk : kFailed;
}

}  // namespace vdx::cli
