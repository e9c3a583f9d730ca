#include "db/remove_table.h"

#include "db/rate_layouts.h"

#include "db/database.h"
#include "db/db_internal.h"
#include "db/navigator_commands.h"
#include "db/project_file.h"
#include "state/errors.h"
#include "state/messages.h"

namespace vdx::db {

namespace {

constexpr int kMainTableRow = 2;       // VdxSystemMain: MainTable
constexpr int kRateTableCountRow = 3;  // VdxSystemMain: intRateTablesAnzahl
constexpr int kSmrRateTableRow = 2;    // a project's SMR table: RateTable

void Refuse(Interaction& ui, const std::string& text) {
    ui.message(text, Buttons::Ok, Icon::Exclamation, "VELDRIX");
}

// Moves a recordset to the row at `position` (from 1) counted from the first;
// false when the table has fewer rows.
bool MoveToRow(Recordset& rs, int position) {
    rs.moveFirst();
    for (int i = 1; i < position && !rs.eof(); ++i) rs.moveNext();
    return !rs.eof();
}

void SetSystemMainRow(Database& db, int row, const std::string& value) {
    auto rs = db.openRecordset(kVdxSystemMain);
    if (!MoveToRow(*rs, row))
        throw VdxError(err::NoCurrentRecord,
                       std::string(kVdxSystemMain) + " has fewer than " + std::to_string(row) + " rows.");
    rs->edit();
    rs->setValue("Value", Value::text(value));
    rs->update();
}

// Runs `change` on the working copy in one transaction: all of it or nothing.
template <typename Change>
void InOneTransaction(const ProgramState& state, Change&& change) {
    auto db = Database::open(state.WorkingCopyName);
    db->beginTransaction();
    try {
        change(*db);
        db->commit();
    } catch (...) {
        try {
            db->rollback();
        } catch (const VdxError&) {
            // Closing the database drops the transaction anyway.
        }
        throw;
    }
}

void RemoveEntry(ProgramState& state, const std::string& path) {
    const int id = state.Navigator.findByPath(path);
    if (id >= 0) state.Navigator.remove(id);
    state.CurrentNode = state.Navigator.findByPath("Main");
}

}  // namespace

std::string RemoveMainTableQuestion(const std::string& table) {
    return "Do you want to remove the main data table '" + table +
           "' from the project file? The table and its rows are deleted; the person-years and projects "
           "computed from it stay.";
}

std::string RemoveRateTableQuestion(const std::string& table) {
    return "Do you want to remove the rate table '" + table + "' from the project file? The table and its "
           "rows are deleted.";
}

std::string ProjectUsingRateTable(const ProgramState& state, Database& db, const std::string& table) {
    if (state.ProjectCount < 1) return {};
    for (const auto& project : ReadRows(db, kVdxSystemProjects, "Projects", state.ProjectCount)) {
        const std::string smr = project + "_SMR";
        if (!db.tableExists(smr)) continue;
        auto rs = db.openRecordset(smr);
        if (!MoveToRow(*rs, kSmrRateTableRow)) continue;
        const Value used = rs->value("Values");
        if (used.kind() == Value::Kind::Text && detail::SameName(used.asText(), table)) return project;
    }
    return {};
}

bool RemoveMainTable(ProgramState& state, Interaction& ui) {
    if (!state.ProjectOpen) {
        ui.message(Message(msg::NoProjectLoaded), Buttons::Ok, Icon::Exclamation, "VELDRIX");
        return false;
    }
    if (state.MainTableName.empty()) {
        Refuse(ui, "There is no main data table to remove.");
        return false;
    }
    const std::string table = state.MainTableName;
    if (ui.message(RemoveMainTableQuestion(table), Buttons::YesNo, Icon::Question, "VELDRIX") != Answer::Yes)
        return false;
    {
        BusyPointer busy(ui);
        InOneTransaction(state, [&](Database& db) {
            if (db.tableExists(table)) db.deleteTable(table);
            SetSystemMainRow(db, kMainTableRow, "");
        });
    }
    state.MainTableName.clear();
    state.MainTableFields.clear();
    RemoveEntry(state, "Main_Data_" + table);
    if (state.CurrentView == ViewName::MainGrid) {
        ShowView(state, ViewName::Empty);
        state.Entries = EntriesAfterClick(NodeKind::Other, state.Entries);
    }
    state.ProjectChanged = true;
    return true;
}

bool RemoveRateTable(ProgramState& state, Interaction& ui, const std::string& table) {
    if (!state.ProjectOpen) {
        ui.message(Message(msg::NoProjectLoaded), Buttons::Ok, Icon::Exclamation, "VELDRIX");
        return false;
    }
    // The registered name, by its position among the rate tables read.
    const auto names = ReadNameList(state.WorkingCopyName, kVdxSystemRateTables, "RateTables",
                                    std::max<int>(state.RateTableCount, 0));
    int position = 0;
    for (size_t i = 0; i < names.size() && position == 0; ++i)
        if (detail::SameName(names[i], table)) position = static_cast<int>(i) + 1;
    if (position == 0) {
        Refuse(ui, "There is no rate table '" + table + "' in this project file.");
        return false;
    }
    const std::string name = names[static_cast<size_t>(position) - 1];
    {
        auto db = Database::open(state.WorkingCopyName);
        const std::string project = ProjectUsingRateTable(state, *db, name);
        if (!project.empty()) {
            Refuse(ui, "The rate table '" + name + "' is used by the project '" + project +
                           "' and cannot be removed. Delete the project first.");
            return false;
        }
    }
    if (ui.message(RemoveRateTableQuestion(name), Buttons::YesNo, Icon::Question, "VELDRIX") != Answer::Yes)
        return false;
    const auto count = static_cast<int16_t>(state.RateTableCount - 1);
    {
        BusyPointer busy(ui);
        InOneTransaction(state, [&](Database& db) {
            if (db.tableExists(name)) db.deleteTable(name);
            DeleteRateLayout(db, name);
            auto rs = db.openRecordset(kVdxSystemRateTables);
            if (!MoveToRow(*rs, position))
                throw VdxError(err::NoCurrentRecord, std::string(kVdxSystemRateTables) + " has fewer than " +
                                                         std::to_string(position) + " rows.");
            rs->remove();
            rs.reset();
            SetSystemMainRow(db, kRateTableCountRow, std::to_string(count));
        });
    }
    state.RateTableCount = count;
    RemoveEntry(state, "Main_Rate tables_" + name);
    state.ProjectChanged = true;
    return true;
}

}  // namespace vdx::db
