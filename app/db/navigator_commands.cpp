#include "navigator_commands.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <tuple>

#include "db/database.h"
#include "db/exposure_tables.h"
#include "db/db_internal.h"
#include "db/navigator_entries.h"
#include "db/project_file.h"
#include "db/study_settings.h"
#include "state/errors.h"
#include "state/text_values.h"

namespace vdx::db {

namespace {

std::string CellText(const Value& v) {
    switch (v.kind()) {
        case Value::Kind::Null: return {};
        case Value::Kind::Text: return v.asText();
        case Value::Kind::Integer: return std::to_string(v.asInteger());
        case Value::Kind::Boolean: return BooleanText(v.asBool());
        case Value::Kind::Double: return NumberText(v.asDouble());
        case Value::Kind::Date: return FormatDate(v.asDouble());
    }
    return {};
}

// The empty result grid of the current person-years bounds: labels only.
ResultGridText LabelledResultGrid(const ProgramState& state) {
    const int ages = static_cast<int>(state.AgeBounds.size()) - 1;  // number of bounds
    const int periods = static_cast<int>(state.CalendarBounds.size()) - 1;
    ResultGridText g;
    g.rows = std::max(ages, 1);
    g.cols = std::max(periods, 1);
    g.cells.assign(static_cast<size_t>(g.rows) * g.cols, std::string());
    g.at(0, 0) = "Age class";
    for (int i = 1; i < ages; ++i) g.at(i, 0) = ClassRangeLabel(state.AgeBounds[i], state.AgeBounds[i + 1]);
    for (int j = 1; j < periods; ++j)
        g.at(0, j) = ClassRangeLabel(state.CalendarBounds[j], state.CalendarBounds[j + 1]);
    return g;
}

// What the report and plot entries of an analysis kind show: the report
// view's result, the plot entry's name and the plot.
struct AnalysisViews {
    const char* kind;
    const char* report;
    const char* plotEntry;
    const char* plot;
};
constexpr AnalysisViews kAnalysisViews[] = {
    {"Categories", "CategoriesReport", "Plot", "categories"},
    {"RateRatios", "CausesReport", "Plot", "rate-ratios"},
    {"Causes", "CausesReport", "Forest plot", "causes"},
};

}  // namespace

void SwitchOffView(ProgramState& state) {
    ShowView(state, ViewName::Empty);
    state.Entries = EntriesAfterClick(NodeKind::Other, state.Entries);
}

bool ChangeWorkingCopy(ProgramState& state, Interaction& ui, const std::function<bool(Database&)>& change,
                       const std::function<void()>& afterCommit,
                       const std::function<void(const VdxError&)>& showFailure) {
    std::unique_ptr<Database> db;
    try {
        db = Database::open(state.WorkingCopyName);
        db->beginTransaction();
        if (!change(*db)) {
            db->rollback();
            return false;
        }
        db->commit();
    } catch (const VdxError& e) {
        if (db && db->isOpen()) {
            try {
                db->rollback();
            } catch (const VdxError&) {
                // Closing the database drops the transaction anyway.
            }
        }
        db.reset();
        if (showFailure)
            showFailure(e);
        else
            ShowGeneralError(ui, e.number(), e.description());
        RebuildNavigator(state, ui);
        return false;
    }
    db.reset();
    if (afterCommit) afterCommit();
    state.ProjectChanged = true;
    RebuildNavigator(state, ui);
    return true;
}

std::string FormatYears(double years) {
    if (years == 0) return "0";
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", years);
    return text;
}

std::string ShownCellText(const ResultGridText& g, int row, int col) {
    const std::string& text = g.at(row, col);
    if (row < 1 || col < 1 || col >= static_cast<int>(g.decimals.size())) return text;
    const int decimals = g.decimals[static_cast<size_t>(col)];
    const auto number = ReadNumber(text);
    if (decimals < 0 || !number || !(std::fabs(*number) < 1e15)) return text;
    char shown[64];
    std::snprintf(shown, sizeof shown, "%.*f", std::min(decimals, 15), *number);
    return shown;
}

ViewEntries EntriesAfterClick(NodeKind kind, const ViewEntries& before) {
    ViewEntries e;  // all off
    switch (kind) {
        case NodeKind::RateTable:
        case NodeKind::MainTable:
            e.tablesCopy = e.buttonCopy = true;
            break;
        case NodeKind::Deaths:
        case NodeKind::Strata:
        case NodeKind::PersonYears:
        case NodeKind::StoredTable:
            e.tablesSaveAs = e.tablesCopy = e.buttonCopy = true;
            break;
        case NodeKind::Smr:
            e.tablesSaveAs = true;
            e.tablesCopy = before.tablesCopy;
            e.buttonCopy = before.buttonCopy;
            e.reportsSaveAs = e.reportsPrint = e.buttonPrint = true;
            break;
        case NodeKind::SrrSettings:
            e.tablesCopy = e.buttonCopy = true;
            break;
        case NodeKind::CausesReport:
            e.reportsSaveAs = e.reportsPrint = e.buttonPrint = true;
            break;
        case NodeKind::Plot:  // the plot's own entries (File > Save plot as..., Print plot)
        case NodeKind::Other: break;
    }
    return e;
}

std::vector<std::string> ReadNameList(const std::string& workingCopy, const std::string& table,
                                      const std::string& column, int count) {
    std::vector<std::string> names;
    if (count <= 0) return names;
    auto db = Database::open(workingCopy);
    auto rs = db->openRecordset(table);
    const int field = rs->fieldIndex(column);
    if (rs->recordCount() > 0) rs->moveFirst();
    for (int i = 0; i < count && !rs->eof(); ++i, rs->moveNext())
        names.push_back(CellText(rs->value(field)));
    return names;
}

ResultGridText ShowPersonYears(ProgramState& state, int mode) {
    ResultGridText g = LabelledResultGrid(state);
    const PyCells& cells = state.PyValues;
    for (int i = 1; i < g.rows; ++i)
        for (int j = 1; j < g.cols; ++j)
            if (mode <= cells.tables() && i <= cells.ageClasses() && j <= cells.periods())
                g.at(i, j) = FormatYears(static_cast<double>(cells.at(mode, i, j)) / 365.25);
    ShowView(state, ViewName::ResultGrid);
    return g;
}

ResultGridText ShowExposurePersonYears(ProgramState& state, int table, int category) {
    ResultGridText g = LabelledResultGrid(state);
    if (category < 1 || category > static_cast<int>(state.Exposure.categories.size())) return g;
    const PyCells& cells = state.Exposure.categories[static_cast<size_t>(category) - 1];
    for (int i = 1; i < g.rows; ++i)
        for (int j = 1; j < g.cols; ++j)
            if (table <= cells.tables() && i <= cells.ageClasses() && j <= cells.periods())
                g.at(i, j) = FormatYears(static_cast<double>(cells.at(table, i, j)) / 365.25);
    ShowView(state, ViewName::ResultGrid);
    return g;
}

ResultGridText ShowCategories(ProgramState& state, const std::string& name) {
    auto db = Database::open(state.WorkingCopyName);
    auto rs = db->openRecordset(name + "_Categories");
    static const char* const columns[] = {"Category", "PersonYears", "Observed", "Expected", "Smr", "Low", "High"};
    ResultGridText g;
    g.cols = 7;
    g.rows = static_cast<int>(rs->recordCount()) + 1;
    g.cells.assign(static_cast<size_t>(g.rows) * g.cols, std::string());
    g.decimals = {-1, 2, 0, 2, 2, 2, 2};
    const char* const headers[] = {"Category", "Person-years", "Observed", "Expected", "SMR", "Lower bound",
                                   "Upper bound"};
    for (int c = 0; c < g.cols; ++c) g.at(0, c) = headers[c];
    int r = 1;
    for (rs->moveFirst(); !rs->eof() && r < g.rows; rs->moveNext(), ++r)
        for (int c = 0; c < g.cols; ++c) {
            const Value v = rs->value(columns[c]);
            g.at(r, c) = v.isNull() ? std::string() : c == 0 ? v.asText() : NumberText(v.asDouble());
        }
    ShowView(state, ViewName::ResultGrid);
    return g;
}

ResultGridText ShowDeaths(ProgramState& state, const std::string& tableName) {
    ResultGridText g = LabelledResultGrid(state);
    auto db = Database::open(state.WorkingCopyName);
    auto rs = db->openRecordset(tableName);
    const int deaths = rs->fieldIndex("Deaths");
    if (rs->recordCount() > 0) rs->moveFirst();
    // One row per stratum in stored order; a short table leaves cells empty.
    for (int i = 1; i < g.rows; ++i)
        for (int j = 1; j < g.cols && !rs->eof(); ++j, rs->moveNext())
            g.at(i, j) = CellText(rs->value(deaths));
    ShowView(state, ViewName::ResultGrid);
    return g;
}

ResultGridText ShowStoredTable(ProgramState& state, const std::string& tableName) {
    auto db = Database::open(state.WorkingCopyName);
    auto rs = db->openRecordset(tableName);
    ResultGridText g;
    g.cols = rs->fieldCount() + 1;
    g.decimals.assign(static_cast<size_t>(g.cols), -1);
    g.textColumns.assign(static_cast<size_t>(g.cols), false);
    std::vector<std::string> cells(static_cast<size_t>(g.cols));
    for (int k = 0; k < rs->fieldCount(); ++k) {
        cells[static_cast<size_t>(k) + 1] = rs->field(k).name;
        const FieldType type = rs->field(k).type;
        if (type == FieldType::Double || type == FieldType::Single) g.decimals[static_cast<size_t>(k) + 1] = 3;
        if (type == FieldType::Text || type == FieldType::Memo) g.textColumns[static_cast<size_t>(k) + 1] = true;
    }
    int row = 0;
    for (rs->moveFirst(); !rs->eof(); rs->moveNext()) {
        cells.push_back(std::to_string(++row));
        for (int k = 0; k < rs->fieldCount(); ++k) cells.push_back(CellText(rs->value(k)));
    }
    g.rows = row + 1;
    g.cells = std::move(cells);
    ShowView(state, ViewName::ResultGrid);
    return g;
}

bool IsSrrSettingsTable(const ProgramState& state, const std::string& tableName) {
    auto db = Database::open(state.WorkingCopyName);
    const TableDef def = db->tableDef(tableName);
    return std::none_of(def.fields.begin(), def.fields.end(), [](const FieldDef& f) { return detail::SameName(f.name, "Figures"); });
}

ResultGridText ShowSrrSettings(ProgramState& state, const std::string& tableName) {
    // The stored keys (Typ) and their captions; keys of result values that an
    // SRR run does not compute have no caption and are left out.
    static const std::pair<const char*, const char*> captions[] = {
        {smr_row::ProjectName, "Project"},
        {smr_row::RateTable, "Rate table"},
        {smr_row::PyTable, "Person-years table"},
        {smr_row::Alpha, "Significance level"},
        {smr_row::DeathColumn, "ICD variable"},
        {smr_row::DeathCode, "ICD value"},
        {smr_row::Lag, "Lag (years)"},
        {smr_row::Method, "Method"},
        {smr_row::MainTable, "Main data table"},
        {smr_row::DeathValues, "ICD values"}};
    static const char* const notComputed[] = {smr_row::Observed, smr_row::PersonYears, smr_row::DeathRate,
                                              smr_row::Expected, smr_row::Smr,         smr_row::SmrLow,
                                              smr_row::SmrHigh,  smr_row::Persons,     smr_row::Included};
    auto db = Database::open(state.WorkingCopyName);
    auto rs = db->openRecordset(tableName);
    const int typ = rs->fieldIndex("Typ");
    const int values = rs->fieldIndex("Values");
    std::vector<std::pair<std::string, std::string>> rows;
    if (rs->recordCount() > 0) rs->moveFirst();
    for (; !rs->eof(); rs->moveNext()) {
        const std::string key = CellText(rs->value(typ));
        std::string value = CellText(rs->value(values));
        if (std::any_of(std::begin(notComputed), std::end(notComputed),
                        [&](const char* k) { return detail::SameName(key, k); }))
            continue;
        std::string caption = key;
        for (const auto& [k, text] : captions)
            if (detail::SameName(key, k)) caption = text;
        // The person-years table is stored as its number (1 all persons, 2 and 3 the sex codes).
        if (detail::SameName(key, smr_row::PyTable)) {
            const auto number = ReadNumber(value);
            const int t = number ? static_cast<int>(*number) : 0;
            if (t >= 1 && t <= 3 && (t == 1 || state.py.tableCount == 3)) value = PyTableName(state.py, t);
            else if (t == 2 || t == 3) value = std::string(t == 2 ? "the first" : "the second") + " sex code's table";
        }
        rows.emplace_back(caption, value);
    }
    ResultGridText g;
    g.cols = 2;
    g.rows = static_cast<int>(rows.size()) + 1;
    g.cells.assign(static_cast<size_t>(g.rows) * g.cols, std::string());
    g.at(0, 0) = "Setting";
    g.at(0, 1) = "Value";
    for (int r = 1; r < g.rows; ++r) std::tie(g.at(r, 0), g.at(r, 1)) = rows[static_cast<size_t>(r) - 1];
    ShowView(state, ViewName::ResultGrid);
    return g;
}

NodeClickAction ClickNode(ProgramState& state, Interaction& ui, const std::string& path,
                          bool rightButton) {
    BusyPointer busy(ui);
    NodeClickAction action;
    try {
        if (state.RateTableCount >= 1) {
            for (const auto& name : ReadNameList(state.WorkingCopyName, kVdxSystemRateTables,
                                                 "RateTables", state.RateTableCount)) {
                if (path != "Main_Rate tables_" + name) continue;
                action.kind = NodeKind::RateTable;
                action.tableName = name;
                ShowView(state, ViewName::InternalGrid);
                state.Entries = EntriesAfterClick(action.kind, state.Entries);
                return action;
            }
        }
        if (state.ProjectCount >= 1) {
            const auto projects = ReadNameList(state.WorkingCopyName, kVdxSystemProjects,
                                               "Projects", state.ProjectCount);
            for (const auto& p : projects) {
                if (path == p && rightButton) {
                    action.showProjectMenu = true;
                    action.project = p;
                    return action;
                }
            }
            for (const auto& p : projects) {
                if (path != p + "_Deaths") continue;
                action.kind = NodeKind::Deaths;
                action.tableName = p + "_Deaths";
                action.resultGrid = ShowDeaths(state, action.tableName);
                state.CurrentResult = "Deaths";
                state.CurrentResultTable = action.tableName;
                state.Entries = EntriesAfterClick(action.kind, state.Entries);
                return action;
            }
            for (const auto& p : projects) {
                if (path != p + "_Observed vs expected") continue;
                action.kind = NodeKind::Plot;
                action.plot = "observed-expected";
                action.project = p;
                ShowView(state, ViewName::Chart);
                state.Entries = EntriesAfterClick(action.kind, state.Entries);
                return action;
            }
            for (const auto& p : projects) {
                if (path != p + "_Strata") continue;
                // The table is built by the mortality library; the window fills the grid.
                action.kind = NodeKind::Strata;
                action.project = p;
                ShowView(state, ViewName::ResultGrid);
                state.CurrentResult = "Strata";
                state.CurrentResultTable = p + "_Strata";
                state.Entries = EntriesAfterClick(action.kind, state.Entries);
                return action;
            }
            for (const auto& p : projects) {
                if (path != p + "_SMR") continue;
                action.tableName = p + "_SMR";
                // An SRR project computed no ratio: its settings, not a report.
                if (IsSrrSettingsTable(state, action.tableName)) {
                    action.kind = NodeKind::SrrSettings;
                    action.resultGrid = ShowSrrSettings(state, action.tableName);
                    state.CurrentResult = "Settings";
                    state.Entries = EntriesAfterClick(action.kind, state.Entries);
                    return action;
                }
                action.kind = NodeKind::Smr;
                state.CurrentSMRTable = action.tableName;
                ShowView(state, ViewName::ResultRTF);
                state.CurrentResult = "Smr";
                state.CurrentResultTable = action.tableName;
                state.Entries = EntriesAfterClick(action.kind, state.Entries);
                return action;
            }
        }
        if (state.ProjectOpen && !state.WorkingCopyName.empty() && path.size() > 16 &&
            path.compare(path.size() - 16, 16, "_SMR by category") == 0) {
            auto db = Database::open(state.WorkingCopyName);
            for (const auto& name : AnalysisNames(*db, "Categories")) {
                if (path != name + "_SMR by category") continue;
                action.kind = NodeKind::Deaths;
                action.tableName = name + "_Categories";
                db.reset();
                action.resultGrid = ShowCategories(state, name);
                state.CurrentResult = "Categories";
                state.CurrentResultTable = action.tableName;
                state.Entries = EntriesAfterClick(action.kind, state.Entries);
                return action;
            }
        }
        if (!state.WorkingCopyName.empty()) {
            // Cause lists and analyses of causes, from their registries.
            auto db = Database::open(state.WorkingCopyName);
            auto storedTable = [&](const std::string& table) {
                action.kind = NodeKind::StoredTable;
                action.tableName = table;
                action.resultGrid = ShowStoredTable(state, table);
                state.CurrentResult = "StoredTable";
                state.CurrentResultTable = table;
                state.Entries = EntriesAfterClick(action.kind, state.Entries);
                return action;
            };
            // An analysis's own entry: its pop-up menu (Rename, Delete).
            if (rightButton)
                for (const auto& a : RegisteredNames(*db, kVdxAnalyses))
                    if (path == a) {
                        action.showProjectMenu = true;
                        action.project = a;
                        return action;
                    }
            for (const auto& list : RegisteredNames(*db, kVdxCauseLists))
                if (path == "Cause lists_" + list) return storedTable(list);
            // The report and plot entries of each kind of analysis.
            for (const AnalysisViews& views : kAnalysisViews)
                for (const auto& a : AnalysisNames(*db, views.kind)) {
                    const std::string table = a + "_" + views.kind;
                    if (path == a + "_Report") {
                        action.kind = NodeKind::CausesReport;
                        action.project = a;
                        ShowView(state, ViewName::ResultRTF);
                        state.CurrentResult = views.report;
                        state.CurrentResultTable = table;
                        state.Entries = EntriesAfterClick(action.kind, state.Entries);
                        return action;
                    }
                    if (path == a + "_" + views.plotEntry) {
                        action.kind = NodeKind::Plot;
                        action.plot = views.plot;
                        action.project = a;
                        ShowView(state, ViewName::Chart);
                        state.Entries = EntriesAfterClick(action.kind, state.Entries);
                        return action;
                    }
                }
            for (const auto& a : AnalysisNames(*db, "RateRatios"))
                // The table's entry, or its name (veldrix-cli export, show).
                if (path == a + "_Rate ratios" || path == a + "_RateRatios") return storedTable(a + "_RateRatios");
            for (const auto& a : AnalysisNames(*db, "Causes"))
                if (path == a + "_Causes") return storedTable(a + "_Causes");
        }
        for (const char* plot : {"Forest plot", "Person-years"}) {
            if (path != std::string(kPlotsKey) + "_" + plot) continue;
            action.kind = NodeKind::Plot;
            action.plot = path == "Plots_Forest plot" ? "forest" : "person-years";
            ShowView(state, ViewName::Chart);
            state.Entries = EntriesAfterClick(action.kind, state.Entries);
            return action;
        }
        if (!state.MainTableName.empty() && path == "Main_Data_" + state.MainTableName) {
            action.kind = NodeKind::MainTable;
            action.tableName = state.MainTableName;
            ShowView(state, ViewName::MainGrid);
            state.Entries = EntriesAfterClick(action.kind, state.Entries);
            return action;
        }
        for (int mode = 1; mode <= 3; ++mode) {
            if (path != "Main_Person-Years_" + PyTableName(state.py, mode)) continue;
            action.kind = NodeKind::PersonYears;
            state.CurrentResult = "PersonYears";
            state.CurrentResultTable = PyTableName(state.py, mode);
            state.Entries = EntriesAfterClick(action.kind, state.Entries);
            action.resultGrid = ShowPersonYears(state, mode);
            return action;
        }
        for (int t = 1; t <= state.py.tableCount && state.Exposure.computed(); ++t)
            for (int k = 1; k <= static_cast<int>(state.Exposure.categories.size()); ++k) {
                if (path != "Main_Person-Years_" + ExposureTableName(state, t, k)) continue;
                action.kind = NodeKind::PersonYears;
                state.CurrentResult = "PersonYears";
                state.CurrentResultTable = ExposureTableName(state, t, k);
                state.Entries = EntriesAfterClick(action.kind, state.Entries);
                action.resultGrid = ShowExposurePersonYears(state, t, k);
                return action;
            }
    } catch (const VdxError& e) {
        ShowGeneralError(ui, e.number(), e.description());
        action = NodeClickAction{};
    }
    SwitchOffView(state);
    return action;
}

void RebuildNavigator(ProgramState& state, Interaction& ui) {
    BusyPointer busy(ui);
    state.Navigator.clear();
    AddFixedNavigatorNodes(state);
    try {
        if (!state.MainTableName.empty()) AddMainTableEntry(state, state.MainTableName);
        if (state.RateTableCount > 0)
            for (const auto& name : ReadNameList(state.WorkingCopyName, kVdxSystemRateTables,
                                                 "RateTables", state.RateTableCount))
                AddRateTableEntry(state, name, false);
        if (state.ProjectCount >= 1) {
            auto db = Database::open(state.WorkingCopyName);
            for (const auto& p : ReadNameList(state.WorkingCopyName, kVdxSystemProjects,
                                              "Projects", state.ProjectCount))
                AddProjectEntry(state, p, IsSmrProject(*db, p));
        }
        if (state.py.computed) AddPersonYearsEntries(state);
        AddPlotEntries(state);
        if (!state.WorkingCopyName.empty()) {
            auto db = Database::open(state.WorkingCopyName);
            AddAnalysisEntries(state, *db);
        }
    } catch (const VdxError& e) {
        ShowGeneralError(ui, e.number(), e.description());
    }
}

}  // namespace vdx::db
