// veldrix-cli strata STUDY.vdx PROJECT [--format csv|tsv] [--null 1|100]
//
// strata prints the stratum table (header, one row per stratum, the totals
// row) as the result grid shows it, tab-separated or as CSV.
#include <algorithm>
#include <iostream>

#include "cli/cli_commands.h"
#include "cli/cli_session.h"
#include "cli/results_commands.h"
#include "db/file_commands.h"
#include "db/navigator_commands.h"
#include "db/project_file.h"
#include "exchange/formats/text/csv_writer.h"
#include "mortality/strata_table.h"
#include "state/errors.h"

namespace vdx::cli {

namespace {

// PROJECT after STUDY.vdx and the options named in `allowed`; false for
// anything else.
bool ReadArguments(const std::vector<std::string>& args, const std::vector<std::string>& allowed,
                   std::vector<std::string>& plain, std::vector<std::pair<std::string, std::string>>& options) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i].rfind("--", 0) != 0) {
            plain.push_back(args[i]);
            continue;
        }
        if (i + 1 >= args.size() || std::find(allowed.begin(), allowed.end(), args[i]) == allowed.end()) return false;
        for (const auto& o : options)
            if (o.first == args[i]) return false;
        options.emplace_back(args[i], args[i + 1]);
        ++i;
    }
    return true;
}

std::string Option(const std::vector<std::pair<std::string, std::string>>& options, const std::string& name,
                   const std::string& otherwise) {
    for (const auto& [n, v] : options)
        if (n == name) return v;
    return otherwise;
}

}  // namespace

int RunStrata(const std::vector<std::string>& args) {
    std::vector<std::string> plain;
    std::vector<std::pair<std::string, std::string>> options;
    if (!ReadArguments(args, {"--format", "--null"}, plain, options) || plain.size() != 2) return UsageError("strata");
    const std::string format = Option(options, "--format", "tsv");
    const std::string null = Option(options, "--null", "100");
    if ((format != "csv" && format != "tsv") || (null != "1" && null != "100")) return UsageError("strata");

    CliSession session;
    ProgramState& state = session.state;
    if (!session.lock(plain[0])) return kFailed;
    if (!db::OpenProjectFile(state, session.ui, plain[0])) return kFailed;
    const std::string& project = plain[1];
    try {
        const auto projects =
            db::ReadNameList(state.WorkingCopyName, db::kVdxSystemProjects, "Projects", state.ProjectCount);
        if (std::find(projects.begin(), projects.end(), project) == projects.end()) {
            PrintMessage("The project file holds no project '" + project + "'.");
            return kFailed;
        }
        const auto rows = mortality::StrataRows(mortality::BuildStrataTable(state, project), null == "1" ? 1 : 100);
        for (const auto& row : rows) {
            std::string line;
            for (size_t c = 0; c < row.size(); ++c) {
                if (c > 0) line += format == "csv" ? "," : "\t";
                if (format == "csv") exchange::AppendCsvField(line, row[c]);
                else line += row[c];
            }
            std::cout << line << "\n";
        }
    } catch (const VdxError& e) {
        PrintMessage(e.description());
        return kFailed;
    }
    return kOk;
}

}  // namespace vdx::cli
