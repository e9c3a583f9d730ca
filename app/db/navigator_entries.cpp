#include "db/navigator_entries.h"

#include <algorithm>

#include "db/database.h"
#include "db/db_internal.h"
#include "db/exposure_tables.h"
#include "db/study_settings.h"

namespace vdx::db {

namespace {

std::string NameText(const Value& v) { return v.kind() == Value::Kind::Text ? v.asText() : std::string(); }

// The fixed group entry with the given key; added when a tree lacks it.
int Group(ProgramState& state, const char* key) {
    int id = state.Navigator.findByKey(key);
    if (id < 0) {
        AddFixedNavigatorNodes(state);
        id = state.Navigator.findByKey(key);
    }
    return id;
}

int Added(ProgramState& state, int id) {
    state.CurrentNode = id;
    return id;
}

}  // namespace

int AddMainTableEntry(ProgramState& state, const std::string& name) {
    return Added(state, state.Navigator.add(Group(state, kNodeDataKey), "Main_Data_" + name, name, 3));
}

int AddRateTableEntry(ProgramState& state, const std::string& name, bool withKey) {
    return Added(state, state.Navigator.add(Group(state, kNodeRateKey),
                                            withKey ? "Main_Rate tables_" + name : "", name, 3));
}

int AddProjectEntry(ProgramState& state, const std::string& project, bool smrProject) {
    // The projects stay together, before "Plots".
    const int node = state.Navigator.insertBefore(state.Navigator.findByKey(kPlotsKey), -1, project, project, 1);
    state.CurrentNode = node;
    Added(state, state.Navigator.add(node, "", "Deaths", 3));
    Added(state, state.Navigator.add(node, "", "SMR", 3));
    // "SMR" stays the current node: the window selects the new report.
    if (smrProject) {
        state.Navigator.add(node, "", "Strata", 3);
        state.Navigator.add(node, "", "Observed vs expected", 3);
    }
    return node;
}

bool IsSmrProject(Database& db, const std::string& project) {
    const std::string table = project + "_SMR";
    if (!db.tableExists(table)) return false;
    const TableDef def = db.tableDef(table);
    return std::any_of(def.fields.begin(), def.fields.end(),
                       [](const FieldDef& f) { return detail::SameName(f.name, "Figures"); });
}

std::vector<std::string> AnalysisNames(Database& db, const std::string& kind) {
    std::vector<std::string> names;
    if (!db.tableExists(kVdxAnalyses)) return names;
    auto rs = db.openRecordset(kVdxAnalyses);
    for (rs->moveFirst(); !rs->eof(); rs->moveNext())
        if (rs->value("Kind").asText() == kind) names.push_back(NameText(rs->value("Name")));
    return names;
}

int AddCategoriesEntry(ProgramState& state, const std::string& name) {
    const int node = state.Navigator.insertBefore(state.Navigator.findByKey(kPlotsKey), -1, name, name, 1);
    const int table = Added(state, state.Navigator.add(node, "", "SMR by category", 3));
    for (const char* child : {"Report", "Plot"}) state.Navigator.add(node, "", child, 3);
    return table;
}

void AddPlotEntries(ProgramState& state) {
    if (state.Navigator.findByKey(kPlotsKey) >= 0) return;
    const int current = state.CurrentNode;
    const int plots = state.Navigator.add(-1, kPlotsKey, "Plots", 1);
    state.Navigator.add(plots, "", "Forest plot", 3);
    state.Navigator.add(plots, "", "Person-years", 3);
    state.CurrentNode = current;
}

std::vector<std::string> RegisteredNames(Database& db, const std::string& registry) {
    std::vector<std::string> names;
    if (!db.tableExists(registry)) return names;
    auto rs = db.openRecordset(registry);
    for (rs->moveFirst(); !rs->eof(); rs->moveNext()) names.push_back(NameText(rs->value("Name")));
    return names;
}

void AddAnalysisEntries(ProgramState& state, Database& db) {
    const int current = state.CurrentNode;
    const auto lists = RegisteredNames(db, kVdxCauseLists);
    if (!lists.empty()) {
        int group = state.Navigator.findByKey(kCauseListsKey);
        if (group < 0)
            group = state.Navigator.insertBefore(state.Navigator.findByKey(kPlotsKey), -1, kCauseListsKey,
                                                 "Cause lists", 1);
        for (const auto& name : lists) state.Navigator.add(group, "", name, 3);
    }
    for (const auto& name : AnalysisNames(db, "Causes")) {
        const int node = state.Navigator.insertBefore(state.Navigator.findByKey(kPlotsKey), -1, "", name, 1);
        for (const char* child : {"Causes", "Report", "Forest plot"}) state.Navigator.add(node, "", child, 3);
    }
    for (const auto& name : AnalysisNames(db, "Categories")) AddCategoriesEntry(state, name);
    for (const auto& name : AnalysisNames(db, "RateRatios")) {
        const int node = state.Navigator.insertBefore(state.Navigator.findByKey(kPlotsKey), -1, "", name, 1);
        for (const char* child : {"Rate ratios", "Report", "Plot"}) state.Navigator.add(node, "", child, 3);
    }
    state.CurrentNode = current;
}

void AddPersonYearsEntries(ProgramState& state) {
    const int group = Group(state, kNodePyKey);
    const int all = state.Navigator.add(group, kPyAllKey, PyTableName(state.py, 1), 3);
    if (state.py.tableCount != 1) {
        state.Navigator.add(group, kPySex1Key, PyTableName(state.py, 2), 3);
        Added(state, state.Navigator.add(group, kPySex2Key, PyTableName(state.py, 3), 3));
    } else {
        Added(state, all);
    }
    // The tables by exposure category of a run with a third axis.
    if (state.Exposure.computed())
        for (int t = 1; t <= state.py.tableCount; ++t)
            for (int k = 1; k <= static_cast<int>(state.Exposure.categories.size()); ++k)
                state.Navigator.add(group, ExposureTableKey(t, k), ExposureTableName(state, t, k), 3);
    // The person-years plot is there from the first run on.
    AddPlotEntries(state);
}

}  // namespace vdx::db
