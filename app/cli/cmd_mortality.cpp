// veldrix-cli smr STUDY.vdx --rate TABLE --death COLUMN=VALUE [--pytable NAME]
//     [--level 0.10|0.05|0.01] [--method NAME] [--name PROJECT]
// veldrix-cli srr STUDY.vdx --rate TABLE --death COLUMN=VALUE [--pytable NAME]
//     [--level 0.10|0.05|0.01] [--name PROJECT]
// veldrix-cli report STUDY.vdx PROJECT [--null 1|100]
//
// smr fills frmSMRComp as a user would (the lists' defaults where an option
// is left out), runs its checks with their messages and the SMR run, saves
// the project file and prints the report; srr does the same for Compute >
// SRR and prints the 16 stored settings rows (Typ, tab, Values). The warnings of the run go to
// stderr with the other messages. A refused or failed run saves nothing.
#include <algorithm>
#include <cctype>
#include <iostream>
#include <optional>

#include "cli/cli_commands.h"
#include "cli/cli_session.h"
#include "cli/mortality_commands.h"
#include "db/analysis_management.h"
#include "db/database.h"
#include "db/file_commands.h"
#include "db/navigator_commands.h"
#include "db/project_file.h"
#include "db/project_management.h"
#include "mortality/categories.h"
#include "mortality/categories_report.h"
#include "mortality/causes_report.h"
#include "mortality/rate_ratio_run.h"
#include "mortality/smr_report.h"
#include "mortality/smr_run.h"
#include "mortality/srr_run.h"
#include "state/errors.h"
#include "state/messages.h"

namespace vdx::cli {

namespace {

// Reads "--option value" pairs and the plain arguments; nullopt for an
// option that is not allowed or has no value.
struct Arguments {
    std::vector<std::string> plain;
    std::vector<std::pair<std::string, std::string>> options;
    std::optional<std::string> option(const std::string& name) const {
        for (const auto& [n, v] : options)
            if (n == name) return v;
        return std::nullopt;
    }
};

std::optional<Arguments> Parse(const std::vector<std::string>& args, const std::vector<std::string>& allowed) {
    Arguments a;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i].rfind("--", 0) != 0) {
            a.plain.push_back(args[i]);
            continue;
        }
        if (i + 1 >= args.size() || a.option(args[i])) return std::nullopt;
        if (std::find(allowed.begin(), allowed.end(), args[i]) == allowed.end()) return std::nullopt;
        a.options.emplace_back(args[i], args[i + 1]);
        ++i;
    }
    return a;
}

// The report with the line breaks of this system.
void PrintReport(const std::string& report) {
    std::string out;
    for (size_t i = 0; i < report.size(); ++i)
        if (!(report[i] == '\r' && i + 1 < report.size() && report[i + 1] == '\n')) out += report[i];
    std::cout << out << "\n";
}

bool Refuse(Interaction& ui, int message) {
    ui.message(Message(message), Buttons::Ok, Icon::Critical, "Error");
    return false;
}

// A project name of the user's: one the project's tables can take (see
// ProjectNameProblem), not the name of another project.
bool UsableProjectName(const ProgramState& state, Interaction& ui, const std::string& name) {
    // The count was raised for the new project, whose row is still to come.
    const auto taken =
        db::ReadNameList(state.WorkingCopyName, db::kVdxSystemProjects, "Projects", state.ProjectCount - 1);
    if (std::find(taken.begin(), taken.end(), name) != taken.end()) return Refuse(ui, msg::ProjectNameExists);
    auto db = db::Database::open(state.WorkingCopyName);
    if (const std::string problem = db::ProjectNameProblem(*db, name, taken); !problem.empty()) {
        ui.message(problem, Buttons::Ok, Icon::Critical, "Error");
        return false;
    }
    return true;
}

}  // namespace

namespace {

// smr and srr: the dialog filled from the options, its checks, the run, Save;
// then the project's report (SMR) or its stored settings (SRR).
int RunProjectCommand(const std::vector<std::string>& args, bool srr) {
    const char* command = srr ? "srr" : "smr";
    std::vector<std::string> allowed{"--rate", "--death", "--pytable", "--level", "--name"};
    if (!srr) {
        allowed.push_back("--method");
        allowed.push_back("--sex-column");
    }
    const auto a = Parse(args, allowed);
    if (!a || a->plain.size() != 1 || !a->option("--rate") || !a->option("--death")) return UsageError(command);
    const std::string death = *a->option("--death");
    const size_t eq = death.find('=');
    if (eq == std::string::npos || eq == 0) return UsageError(command);

    CliSession session;
    ProgramState& state = session.state;
    Interaction& ui = session.ui;
    if (!session.lock(a->plain[0])) return kFailed;
    if (!db::OpenProjectFile(state, ui, a->plain[0])) return kFailed;

    // Compute > SMR or SRR opens the dialog with its lists.
    const auto defaultName = mortality::BeginSmrProject(state, ui);
    if (!defaultName) return kFailed;
    const mortality::SmrChoices choices = mortality::ListSmrChoices(state);
    mortality::SmrRequest request;
    request.projectName = a->option("--name").value_or(*defaultName);
    request.rateTable = *a->option("--rate");
    request.pyTable = a->option("--pytable").value_or(choices.pyTables.front());
    request.levelText = a->option("--level").value_or(choices.levels[static_cast<size_t>(choices.defaultLevel)]);
    if (!srr)
        request.method = a->option("--method").value_or(choices.methods[static_cast<size_t>(choices.defaultMethod)]);
    request.deathColumn = death.substr(0, eq);
    request.deathValueText = death.substr(eq + 1);
    if (!srr) request.sexColumn = a->option("--sex-column").value_or("");

    auto listed = [](const std::vector<std::string>& list, const std::string& entry) {
        return std::find(list.begin(), list.end(), entry) != list.end();
    };
    if (!listed(choices.levels, request.levelText)) {
        PrintMessage("The level must be one of 0.10, 0.05 or 0.01.");
        return kUsage;
    }
    if (!srr && !listed(choices.methods, request.method)) {
        PrintMessage("The method must be one of \"Exact\", \"Byar\", \"Chi Square\", \"Square Root\" or \"Wald\".");
        return kUsage;
    }
    if (a->option("--name") && !UsableProjectName(state, ui, request.projectName)) return kFailed;
    if (!mortality::CheckSmrRequest(state, ui, request).ok) return kFailed;
    if (!(srr ? mortality::RunSrr(state, ui, request) : mortality::RunSmr(state, ui, request))) return kFailed;
    if (!db::FileSave(state, ui)) return kFailed;
    if (srr) {
        for (const auto& [typ, value] : mortality::SrrSettingsRows(state.mortality))
            std::cout << typ << "\t" << value << "\n";
    } else {
        PrintReport(mortality::BuildSmrReport(state, request.projectName + "_SMR"));
    }
    return kOk;
}

}  // namespace

int RunSmr(const std::vector<std::string>& args) { return RunProjectCommand(args, false); }

int RunSrr(const std::vector<std::string>& args) { return RunProjectCommand(args, true); }

int RunReport(const std::vector<std::string>& args) {
    const auto a = Parse(args, {"--null"});
    if (!a || a->plain.size() != 2) return UsageError("report");
    const std::string null = a->option("--null").value_or("100");
    if (null != "1" && null != "100") return UsageError("report");

    CliSession session;
    ProgramState& state = session.state;
    if (!session.lock(a->plain[0])) return kFailed;
    if (!db::OpenProjectFile(state, session.ui, a->plain[0])) return kFailed;
    state.SmrNullValue = null == "1" ? 1 : 100;
    const std::string& project = a->plain[1];
    const auto projects =
        db::ReadNameList(state.WorkingCopyName, db::kVdxSystemProjects, "Projects", state.ProjectCount);
    // An analysis (causes, categories, rate ratios) by its kind; else an SMR project.
    std::string kind;
    try {
        if (const auto analysis = db::AnalysisNamed(*db::Database::open(state.WorkingCopyName), project);
            analysis && analysis->name == project)
            kind = analysis->kind;
    } catch (const VdxError&) {
    }
    if (kind.empty() && std::find(projects.begin(), projects.end(), project) == projects.end()) {
        PrintMessage("The project file holds no project '" + project + "', nor an analysis of that name.");
        return kFailed;
    }
    try {
        PrintReport(kind == "Categories"   ? mortality::BuildCategoriesReport(state, project)
                    : kind == "Causes"     ? mortality::BuildCausesReport(state, project)
                    : kind == "RateRatios" ? mortality::BuildRateRatioReport(state, project)
                                           : mortality::BuildSmrReport(state, project + "_SMR"));
    } catch (const VdxError& e) {
        PrintMessage(e.description());
        return kFailed;
    }
    return kOk;
}

}  // namespace vdx::cli
