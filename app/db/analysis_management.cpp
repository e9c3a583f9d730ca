#include "db/analysis_management.h"

#include <cctype>

#include "db/database.h"
#include "db/db_internal.h"
#include "db/navigator_commands.h"
#include "db/project_file.h"
#include "db/study_settings.h"
#include "state/errors.h"
#include "state/names.h"

namespace vdx::db {

namespace {

std::string Text(const Value& v) { return v.kind() == Value::Kind::Text ? v.asText() : std::string(); }

// The kind in words, for messages.
std::string KindWords(const std::string& kind) {
    if (kind == "Causes") return "the table of causes";
    if (kind == "Categories") return "the SMR by category";
    if (kind == "RateRatios") return "the rate ratios";
    return "the analysis";
}

std::optional<AnalysisEntry> Selected(const ProgramState& state, Interaction& ui, const std::string& path) {
    if (state.WorkingCopyName.empty()) return std::nullopt;
    try {
        auto db = Database::open(state.WorkingCopyName);
        for (const AnalysisEntry& a : Analyses(*db))
            if (a.name == path) return a;
    } catch (const VdxError& e) {
        ShowGeneralError(ui, e.number(), e.description());
    }
    return std::nullopt;
}

// Does `act` on the row of VdxAnalyses that names the analysis (the first).
template <typename Act>
void WithAnalysisRow(Database& db, const std::string& name, Act&& act) {
    auto rs = db.openRecordset(kVdxAnalyses);
    for (rs->moveFirst(); !rs->eof(); rs->moveNext())
        if (Text(rs->value("Name")) == name) {
            act(*rs);
            return;
        }
}

}  // namespace

std::string AnalysisTableSuffix(const std::string& kind) { return "_" + kind; }

std::vector<AnalysisEntry> Analyses(Database& db) {
    std::vector<AnalysisEntry> out;
    if (!db.tableExists(kVdxAnalyses)) return out;
    auto rs = db.openRecordset(kVdxAnalyses);
    for (rs->moveFirst(); !rs->eof(); rs->moveNext())
        out.push_back({Text(rs->value("Name")), Text(rs->value("Kind"))});
    return out;
}

std::optional<AnalysisEntry> AnalysisNamed(Database& db, const std::string& name) {
    for (const AnalysisEntry& a : Analyses(db))
        if (detail::SameName(a.name, name)) return a;
    return std::nullopt;
}

std::string AnalysisNameProblem(Database& db, const std::string& name, const std::string& kind,
                                const std::vector<std::string>& projects, const std::string& own) {
    if (name.empty() || std::isdigit(static_cast<unsigned char>(name[0])) || name[0] == ' ')
        return "An analysis name begins with a letter.";
    const std::string table = name + AnalysisTableSuffix(kind);
    if (const std::string why = NameProblem(table); !why.empty())
        return "The name '" + name + "' cannot be used: the table '" + table + "' " + why + ".";
    for (const std::string& project : projects)
        if (detail::SameName(project, name))
            return "The study holds the SMR project '" + project + "' already; an analysis and a project cannot "
                   "share a name (letter case aside). Choose another name for the analysis.";
    for (const AnalysisEntry& a : Analyses(db))
        if (detail::SameName(a.name, name) && !(own.size() && detail::SameName(a.name, own)))
            return "The study holds the analysis '" + a.name + "' (" + KindWords(a.kind) +
                   ") already. Choose another name.";
    for (const std::string& t : {name, table}) {
        if (!own.empty() && (detail::SameName(t, own) || detail::SameName(t, own + AnalysisTableSuffix(kind))))
            continue;
        if (db.tableExists(t))
            return "The study holds a table '" + db.tableDef(t).name + "' already, so no analysis can be named '" +
                   name + "'. Choose another name.";
    }
    return {};
}

bool IsAnalysisEntry(const ProgramState& state, const std::string& selectedPath) {
    if (state.WorkingCopyName.empty()) return false;
    try {
        auto db = Database::open(state.WorkingCopyName);
        for (const AnalysisEntry& a : Analyses(*db))
            if (a.name == selectedPath) return true;
    } catch (const VdxError&) {
    }
    return false;
}

bool RenameAnalysis(ProgramState& state, Interaction& ui, const std::string& selectedPath) {
    SwitchOffView(state);
    const auto selected = Selected(state, ui, selectedPath);
    if (!selected) return false;
    const auto answer = ui.input("Rename the analysis " + selected->name + ":", "", selected->name);
    if (!answer || answer->empty() || *answer == selected->name) return false;
    const std::string& newName = *answer;
    const std::string suffix = AnalysisTableSuffix(selected->kind);
    return ChangeWorkingCopy(state, ui, [&](Database& db) {
        const auto projects =
            ReadNameList(state.WorkingCopyName, kVdxSystemProjects, "Projects", state.ProjectCount);
        if (const std::string problem = AnalysisNameProblem(db, newName, selected->kind, projects, selected->name);
            !problem.empty()) {
            ui.message(problem, Buttons::Ok, Icon::Critical, "Error");
            return false;
        }
        WithAnalysisRow(db, selected->name, [&](Recordset& row) {
            row.edit();
            row.setValue("Name", Value::text(newName));
            row.update();
        });
        db.renameTable(selected->name + suffix, newName + suffix);
        return true;
    });
}

bool DeleteAnalysis(ProgramState& state, Interaction& ui, const std::string& selectedPath) {
    SwitchOffView(state);
    const auto selected = Selected(state, ui, selectedPath);
    if (!selected) return false;
    if (ui.message("Do you really want to delete " + selected->name + "?", Buttons::YesNo, Icon::Question,
                   "VELDRIX") != Answer::Yes)
        return false;
    return ChangeWorkingCopy(state, ui, [&](Database& db) {
        WithAnalysisRow(db, selected->name, [](Recordset& row) { row.remove(); });
        const std::string table = selected->name + AnalysisTableSuffix(selected->kind);
        if (db.tableExists(table)) db.deleteTable(table);
        return true;
    });
}

}  // namespace vdx::db
