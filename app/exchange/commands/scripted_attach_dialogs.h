// AttachDialogs answered from a script, for veldrix-cli and the tests, in
// the manner of ScriptedInteraction: every dialog takes the next answer of
// its queue and records what it offered.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "exchange/commands/attach_commands.h"
#include "exchange/commands/text_import_command.h"

namespace vdx::exchange {

class ScriptedAttachDialogs : public AttachDialogs {
public:
    // One answer per dialog shown: a table or data source, "" for Ok on the
    // entry the dialog selects first, nullopt for Cancel. An empty queue
    // cancels.
    std::deque<std::optional<std::string>> tables;       // frmSelectExternalTable
    std::deque<std::optional<std::string>> dataSources;  // the ODBC data-source chooser
    // frmSelectExternalODBCTable: one answer per click; a failed copy keeps
    // the dialog open for the next answer.
    std::deque<std::optional<std::string>> odbcTables;
    // frmTextImport: fills the loaded form; Import is then clicked once, and
    // when it fails the dialog is cancelled. Without a script it is cancelled.
    std::function<void(TextImportForm&)> fillTextImport;
    // The rate table's layout: nullopt keeps it a grid (the unit is taken
    // from the unit question).
    std::optional<db::RateLayout> longLayout;
    std::vector<std::vector<std::string>> offeredRateColumns;

    // What the dialogs offered.
    std::vector<std::vector<std::string>> offeredTables;
    std::vector<std::vector<OdbcDataSource>> offeredDataSources;
    std::vector<std::vector<std::string>> offeredOdbcTables;
    int textImportsShown = 0;

    std::string selectExternalTable(const std::vector<std::string>& list) override {
        offeredTables.push_back(list);
        const std::optional<std::string> answer = next(tables);
        if (!answer) return {};
        if (answer->empty()) return list.empty() ? std::string() : list.front();
        return *answer;
    }

    std::optional<std::string> selectOdbcDataSource(const std::vector<OdbcDataSource>& sources) override {
        offeredDataSources.push_back(sources);
        const std::optional<std::string> answer = next(dataSources);
        if (answer && answer->empty()) {
            if (sources.empty()) return std::nullopt;
            return "DSN=" + sources.front().name;
        }
        return answer;
    }

    bool selectExternalOdbcTable(const std::vector<std::string>& list,
                                 const std::function<bool(const std::string&)>& copy) override {
        offeredOdbcTables.push_back(list);
        while (!odbcTables.empty()) {
            const std::optional<std::string> answer = next(odbcTables);
            if (!answer) return false;
            const std::string table = answer->empty() ? (list.empty() ? std::string() : list.front()) : *answer;
            if (table.empty()) return false;  // Ok on an empty list: nothing chosen
            if (copy(table)) return true;
        }
        return false;
    }

    bool textImport(ProgramState& state, Interaction& ui) override {
        ++textImportsShown;
        TextImportForm form(state, ui);
        if (fillTextImport) {
            fillTextImport(form);
            if (form.import()) return true;
        }
        form.cancel();
        return false;
    }

    std::optional<std::optional<db::RateLayout>> rateTableLayout(const std::string&,
                                                                 const std::vector<std::string>& columns,
                                                                 double unit) override {
        offeredRateColumns.push_back(columns);
        if (!longLayout) return std::optional<db::RateLayout>();
        db::RateLayout layout = *longLayout;
        layout.unit = unit;
        return std::optional<db::RateLayout>(layout);
    }

private:
    static std::optional<std::string> next(std::deque<std::optional<std::string>>& queue) {
        if (queue.empty()) return std::nullopt;
        std::optional<std::string> answer = queue.front();
        queue.pop_front();
        return answer;
    }
};

}  // namespace vdx::exchange
