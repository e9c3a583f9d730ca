// veldrix-cli projects STUDY.vdx
// veldrix-cli rename STUDY.vdx OLD NEW
// veldrix-cli delete STUDY.vdx PROJECT
//
// projects lists the projects of a project file, one tab-separated line
// each after a title line: name, kind (SMR or SRR), rate table, person-years
// table, death variable and value, observed and expected deaths, SMR and its
// bounds (plain ratios; empty for an SRR project, which computes none;
// "not defined" when no deaths are expected).
// rename and delete run Project > Rename and Project > Delete on the
// project's navigator entry, answering the input box with NEW and the
// question with Yes, and save the project file. A refused or failed command
// saves nothing.
#include <algorithm>
#include <iostream>

#include "cli/cli_commands.h"
#include "cli/cli_session.h"
#include "cli/project_commands.h"
#include "db/database.h"
#include "db/file_commands.h"
#include "db/navigator_commands.h"
#include "db/project_file.h"
#include "db/project_management.h"
#include "mortality/smr_report.h"
#include "state/text_values.h"

namespace vdx::cli {

namespace {

std::string Text(const Value& v) {
    if (v.isNull()) return {};
    if (v.kind() == Value::Kind::Text) return v.asText();
    return NumberText(v.asDouble());
}

// One line of `projects` for a project, from its settings table (read by
// position, as the report does) and, for an SRR project, its deaths table.
std::string ProjectLine(db::Database& db, const std::string& project) {
    std::vector<std::string> fields{project};
    const std::string settings = project + "_SMR";
    if (!db.tableExists(settings)) {
        fields.push_back("?");
    } else {
        auto rs = db.openRecordset(settings);
        const bool smr = rs->fieldCount() >= 3;  // an SRR table has no Figures column
        const int column = smr ? rs->fieldIndex("Figures") : rs->fieldIndex("Values");
        std::vector<Value> values, figures;
        for (rs->moveFirst(); !rs->eof(); rs->moveNext()) {
            values.push_back(rs->value("Values"));
            figures.push_back(rs->value(column));
        }
        auto value = [&](size_t row) { return row <= values.size() ? Text(values[row - 1]) : std::string(); };
        auto figure = [&](size_t row) { return row <= figures.size() ? Text(figures[row - 1]) : std::string(); };
        if (smr) {
            // No expected deaths: the stored 0s are no SMR.
            const bool defined = !(figures.size() >= 10 && figures[9].isNumber() && figures[9].asDouble() == 0);
            auto ratio = [&](size_t row) { return defined ? figure(row) : std::string(mortality::kNotDefined); };
            fields.insert(fields.end(), {"SMR", value(2), value(3), value(5), value(19), figure(7), figure(10),
                                         ratio(11), ratio(12), ratio(13)});
        } else {
            int64_t observed = 0;
            if (db.tableExists(project + "_Deaths")) {
                auto deaths = db.openRecordset(project + "_Deaths");
                for (deaths->moveFirst(); !deaths->eof(); deaths->moveNext())
                    observed += deaths->value("Deaths").asInteger();
            }
            // A group of codes is kept as typed in a 17th row; the death code's row holds its first code.
            const std::string deathValue = values.size() >= 17 ? value(17) : value(6);
            fields.insert(fields.end(), {"SRR", value(2), value(3), value(5), deathValue, std::to_string(observed),
                                         "", "", "", ""});
        }
    }
    std::string line;
    for (const auto& f : fields) line += (line.empty() ? "" : "\t") + f;
    return line;
}

// Opens the project file and checks that it holds the project.
bool OpenWithProject(CliSession& session, const std::string& file, const std::string& project) {
    if (!session.lock(file) || !db::OpenProjectFile(session.state, session.ui, file)) return false;
    const auto names = db::ReadNameList(session.state.WorkingCopyName, db::kVdxSystemProjects, "Projects",
                                        session.state.ProjectCount);
    if (std::find(names.begin(), names.end(), project) != names.end()) return true;
    PrintMessage("The project file holds no project '" + project + "'.");
    return false;
}

}  // namespace

int RunProjects(const std::vector<std::string>& args) {
    if (args.size() != 1) return UsageError("projects");
    CliSession session;
    if (!session.lock(args[0]) || !db::OpenProjectFile(session.state, session.ui, args[0])) return kFailed;
    try {
        const auto names = db::ReadNameList(session.state.WorkingCopyName, db::kVdxSystemProjects, "Projects",
                                            session.state.ProjectCount);
        auto db = db::Database::open(session.state.WorkingCopyName);
        std::cout << "Project\tKind\tRate table\tPerson-years table\tDeath variable\tDeath value\tObserved\t"
                     "Expected\tSMR\tLower\tUpper\n";
        for (const auto& name : names) std::cout << ProjectLine(*db, name) << "\n";
    } catch (const VdxError& e) {
        ShowGeneralError(session.ui, e.number(), e.description());
        return kFailed;
    }
    return kOk;
}

int RunRename(const std::vector<std::string>& args) {
    if (args.size() != 3 || args[2].empty()) return UsageError("rename");
    CliSession session;
    if (!OpenWithProject(session, args[0], args[1])) return kFailed;
    session.ui.inputs.push_back(args[2]);
    if (!db::RenameProject(session.state, session.ui, args[1])) return kFailed;
    return db::FileSave(session.state, session.ui) ? kOk : kFailed;
}

int RunDelete(const std::vector<std::string>& args) {
    if (args.size() != 2) return UsageError("delete");
    CliSession session;
    if (!OpenWithProject(session, args[0], args[1])) return kFailed;
    session.ui.answers.push_back(Answer::Yes);
    if (!db::DeleteProject(session.state, session.ui, args[1])) return kFailed;
    return db::FileSave(session.state, session.ui) ? kOk : kFailed;
}

}  // namespace vdx::cli
