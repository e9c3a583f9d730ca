#include "db/project_management.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include "db/analysis_management.h"
#include "db/database.h"
#include "db/db_internal.h"
#include "db/navigator_commands.h"
#include "db/project_file.h"
#include "db/project_runs.h"
#include "state/errors.h"
#include "state/messages.h"

namespace vdx::db {

namespace {

constexpr const char* kTableSuffixes[] = {"_Deaths", "_SMR"};
// Tables only some projects have (the cells of a project on a long rate
// table: "_Cells"); renamed and deleted with the project when present.
constexpr const char* kOptionalSuffixes[] = {"_Cells"};

// Position (from 0) of the project among the first ProjectCount rows; -1
// when the path names none. Letter case counts.
int FindProject(const std::vector<std::string>& names, const std::string& path) {
    const auto it = std::find(names.begin(), names.end(), path);
    return it == names.end() ? -1 : static_cast<int>(it - names.begin());
}

void Refuse(Interaction& ui, int message) { ui.message(Message(message), Buttons::Ok, Icon::Critical, "Error"); }

// The recordset of VdxSystemProjects standing on the project's row.
std::unique_ptr<Recordset> ProjectRow(Database& db, int index) {
    auto rs = db.openRecordset(kVdxSystemProjects);
    rs->moveFirst();
    rs->move(index);
    if (rs->eof()) throw VdxError(err::NoCurrentRecord, "No current record.");
    return rs;
}

// A table of the project, if the working copy holds it (engine system
// tables are never the project's).
bool HasTable(Database& db, const std::string& name) {
    return db.tableExists(name) && !db.tableDef(name).isSystemTable();
}

// Does `act` with the suffix of each table the project has: its own tables
// and whichever of the optional ones it holds.
template <typename Act>
void ForEachProjectTable(Database& db, const std::string& project, Act&& act) {
    for (const char* suffix : kTableSuffixes)
        if (HasTable(db, project + suffix)) act(std::string(suffix));
    for (const char* suffix : kOptionalSuffixes)
        if (HasTable(db, project + suffix)) act(std::string(suffix));
}

// The listed projects and the row of the one the navigator path selects;
// nullopt when none is selected or the list cannot be read (said).
struct SelectedProject {
    std::vector<std::string> names;
    int index;
};
std::optional<SelectedProject> FindSelectedProject(const ProgramState& state, Interaction& ui,
                                                   const std::string& selectedPath) {
    SelectedProject selected;
    try {
        selected.names = ReadNameList(state.WorkingCopyName, kVdxSystemProjects, "Projects", state.ProjectCount);
    } catch (const VdxError& e) {
        ShowGeneralError(ui, e.number(), e.description());
        return std::nullopt;
    }
    selected.index = FindProject(selected.names, selectedPath);
    if (selected.index < 0) return std::nullopt;
    return selected;
}

}  // namespace

std::string ProjectNameProblem(Database& db, const std::string& name, const std::vector<std::string>& others,
                               const std::string& own) {
    if (name.empty() || std::isdigit(static_cast<unsigned char>(name[0])) || name[0] == ' ') return Message(msg::ProjectNameStartsWithLetter);
    const size_t length = Utf8Length(name);
    if (length > kMaxProjectNameLength)
        return "The project name is too long: it has " + std::to_string(length) + " characters, and a project name " +
               "has at most " + std::to_string(kMaxProjectNameLength) + " (its tables are named after it " +
               "plus '_Deaths' and '_SMR', and a table name has at most " + std::to_string(kMaxNameLength) +
               " characters).";
    for (const char* suffix : kTableSuffixes)
        if (const std::string why = NameProblem(name + suffix); !why.empty())
            return "The project name '" + name + "' cannot be used: the table '" + name + suffix + "' " + why + ".";
    for (const auto& other : others)
        if (detail::SameName(other, name))
            return Message(msg::ProjectNameExists) + " Project names that differ only in letter case are the same name to the tables: '" +
                   name + "' is the project '" + other + "'.";
    // Analyses share the tree's top level with the projects.
    if (const auto analysis = AnalysisNamed(db, name))
        return "The study holds the analysis '" + analysis->name + "' already; a project and an analysis cannot "
               "share a name (letter case aside). Choose another project name.";
    for (const char* suffix : kTableSuffixes) {
        const std::string table = name + suffix;
        if (!own.empty() && detail::SameName(table, own + suffix)) continue;
        if (db.tableExists(table))
            return "The project file holds a table '" + db.tableDef(table).name +
                   "' already, so no project can be named '" + name + "'. Choose another project name.";
    }
    return {};
}

bool RenameProject(ProgramState& state, Interaction& ui, const std::string& selectedPath) {
    SwitchOffView(state);
    const auto selected = FindSelectedProject(state, ui, selectedPath);
    if (!selected) return false;
    const std::vector<std::string>& names = selected->names;
    const int index = selected->index;
    const std::string oldName = names[static_cast<size_t>(index)];

    const auto answer = ui.input("Rename selected project!", "", oldName);
    if (!answer || answer->empty()) return false;
    const std::string& newName = *answer;
    if (std::find(names.begin(), names.end(), newName) != names.end()) {
        Refuse(ui, msg::ProjectNameExists);
        return false;
    }

    // Nothing of the rename stays after a failure: the row, the ProjectName
    // row and the tables keep the old name together.
    return ChangeWorkingCopy(
        state, ui,
        [&](Database& db) {
            // Every name the tables could not take is refused before anything
            // changes, saying why.
            std::vector<std::string> others = names;
            others.erase(others.begin() + index);
            if (const std::string problem = ProjectNameProblem(db, newName, others, oldName); !problem.empty()) {
                ui.message(problem, Buttons::Ok, Icon::Critical, "Error");
                return false;
            }
            {
                auto row = ProjectRow(db, index);
                row->edit();
                row->setValue("Projects", Value::text(newName));
                row->update();
            }
            if (HasTable(db, oldName + "_SMR")) {
                auto settings = db.openRecordset(oldName + "_SMR");
                if (settings->recordCount() > 0) {
                    settings->moveFirst();
                    settings->edit();
                    settings->setValue("Values", Value::text(newName));
                    settings->update();
                }
            }
            ForEachProjectTable(db, oldName, [&](const std::string& suffix) {
                db.renameTable(oldName + suffix, newName + suffix);
            });
            RenameProjectRun(db, oldName, newName);
            return true;
        },
        {},
        [&](const VdxError& e) {
            if (e.number() == err::InvalidName)
                Refuse(ui, msg::ProjectNameStartsWithLetter);
            else
                ShowGeneralError(ui, e.number(), e.description());
        });
}

bool DeleteProject(ProgramState& state, Interaction& ui, const std::string& selectedPath) {
    SwitchOffView(state);
    const auto selected = FindSelectedProject(state, ui, selectedPath);
    if (!selected) return false;
    const std::vector<std::string>& names = selected->names;
    const int index = selected->index;
    const std::string name = names[static_cast<size_t>(index)];
    if (ui.message("Do you really want to delete " + name + "?", Buttons::YesNo, Icon::Question, "VELDRIX") !=
        Answer::Yes)
        return false;

    return ChangeWorkingCopy(
        state, ui,
        [&](Database& db) {
            ProjectRow(db, index)->remove();
            ForEachProjectTable(db, name, [&](const std::string& suffix) { db.deleteTable(name + suffix); });
            ForgetProjectRun(db, name);
            return true;
        },
        [&] {
            if (state.ProjectCount > 0) --state.ProjectCount;
        });
}

}  // namespace vdx::db
