// veldrix-cli show STUDY.vdx TABLE
//
// Prints a table as the main window's grid shows it, tab-separated, one line
// per grid row: a person-years table by its name ("Age*Calendar",
// "Age*Calendar*Sex=1") with its header row and column, a project's deaths
// table in the same layout, or any table of the project file under a header
// line of its column names (dates as dd.mm.yyyy, as the grid shows them).
#include <iostream>

#include "cli/cli_commands.h"
#include "cli/cli_session.h"
#include "cli/py_commands.h"
#include "db/exposure_tables.h"
#include "db/database.h"
#include "db/file_commands.h"
#include "db/navigator_commands.h"
#include "db/table_stream.h"
#include "state/text_values.h"

namespace vdx::cli {

namespace {

// A grid cell on one line: tabs and line breaks inside text become blanks.
std::string OneLine(std::string text) {
    for (char& c : text)
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    return text;
}

void PrintGrid(const db::ResultGridText& grid) {
    for (int r = 0; r < grid.rows; ++r) {
        for (int c = 0; c < grid.cols; ++c) std::cout << (c ? "\t" : "") << OneLine(grid.at(r, c));
        std::cout << "\n";
    }
}

std::string CellText(const Value& v, bool dateColumn) {
    switch (v.kind()) {
        case Value::Kind::Null: return {};
        case Value::Kind::Boolean: return BooleanText(v.asBool());
        case Value::Kind::Integer: return std::to_string(v.asInteger());
        case Value::Kind::Double: return NumberText(v.asDouble());
        case Value::Kind::Date: return FormatDate(v.asDouble());
        case Value::Kind::Text:
            if (dateColumn)
                if (auto day = ReadDate(v.asText())) return FormatDate(*day);
            return v.asText();
    }
    return {};
}

// A table of the project file. The main data table's grid shows every
// column whose first value is a date (or text that reads as one) as dates.
void PrintTable(db::Database& db, const std::string& table, bool formatDates) {
    const db::TableDef def = db.tableDef(table);
    std::vector<std::string> names;
    for (const auto& f : def.fields) names.push_back(f.name);
    db::TableStream rows(db, def.name, names);
    for (size_t i = 0; i < names.size(); ++i) std::cout << (i ? "\t" : "") << OneLine(names[i]);
    std::cout << "\n";
    std::vector<bool> dateColumn(names.size(), false);
    bool first = true;
    while (rows.next()) {
        if (first && formatDates) {
            for (size_t i = 0; i < names.size(); ++i) {
                const Value v = rows.value(static_cast<int>(i));
                dateColumn[i] = v.kind() == Value::Kind::Date ||
                                (v.kind() == Value::Kind::Text && ReadDate(v.asText()).has_value());
            }
        }
        first = false;
        for (size_t i = 0; i < names.size(); ++i)
            std::cout << (i ? "\t" : "") << OneLine(CellText(rows.value(static_cast<int>(i)), dateColumn[i]));
        std::cout << "\n";
    }
}

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

}  // namespace

int RunShow(const std::vector<std::string>& args) {
    if (args.size() != 2 || args[0].empty() || args[0][0] == '-' || args[1].empty()) return UsageError("show");
    const std::string& path = args[0];
    const std::string& table = args[1];
    CliSession session;
    ProgramState& state = session.state;
    if (!session.lock(path)) return kFailed;
    if (!db::OpenProjectFile(state, session.ui, path)) return kFailed;

    if (state.py.computed) {
        for (int t = 1; t <= state.py.tableCount; ++t) {
            if (table == PyTableName(state.py, t)) {
                PrintGrid(db::ShowPersonYears(state, t));
                return kOk;
            }
            for (int k = 1; state.Exposure.computed() && k <= static_cast<int>(state.Exposure.categories.size()); ++k)
                if (table == db::ExposureTableName(state, t, k)) {
                    PrintGrid(db::ShowExposurePersonYears(state, t, k));
                    return kOk;
                }
        }
    }
    for (const auto& node : state.Navigator.nodes()) {
        if (node.parent == -1 && node.key != kNodeRootKey && table == node.text + "_Deaths") {
            PrintGrid(db::ShowDeaths(state, table));
            return kOk;
        }
    }
    auto db = db::Database::open(state.WorkingCopyName);
    if (!db->tableExists(table)) {
        PrintMessage("There is no table '" + table + "' in " + path + ".");
        return kFailed;
    }
    PrintTable(*db, table, SameName(table, state.MainTableName));
    return kOk;
}

}  // namespace vdx::cli
