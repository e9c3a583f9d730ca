#include "py/cohort_problems.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>

#include "db/database.h"
#include "db/field_number.h"
#include "db/table_stream.h"
#include "db/work_history_stream.h"
#include "state/errors.h"
#include "state/text_values.h"

namespace vdx::py {

namespace {

using db::TableStream;

// A date as the runs read it: a date field's number, or text that reads as
// a date; empty (nullopt with empty = true) or impossible (nullopt).
struct DateRead {
    std::optional<double> day;
    bool empty = false;
    std::string shown;
};

DateRead ReadDateField(const TableStream& rows, int column) {
    DateRead d;
    switch (rows.storage(column)) {
        case TableStream::Storage::Null: d.empty = true; break;
        case TableStream::Storage::Integer:
        case TableStream::Storage::Real: {
            const double v = rows.real(column);
            d.shown = NumberText(v);
            if (rows.field(column).type == FieldType::Date && std::isfinite(v)) d.day = std::floor(v);
            break;
        }
        case TableStream::Storage::Text: {
            d.shown = std::string(rows.text(column));
            if (d.shown.find_first_not_of(' ') == std::string::npos) d.empty = true;
            else if (auto v = ReadDate(d.shown)) d.day = std::floor(*v);
            break;
        }
    }
    return d;
}

std::string Csv(const std::string& field) {
    if (field.find_first_of(",\"\n\r") == std::string::npos) return field;
    std::string quoted = "\"";
    for (char c : field) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

}  // namespace

std::vector<CohortProblem> CheckCohort(const ProgramState& state, db::Database& wc, const CohortCheckRequest& request) {
    std::vector<CohortProblem> problems;
    const PySettings& p = state.py;
    if (state.MainTableName.empty())
        throw VdxError(err::ObjectNotFound, "There is no main data table to check: add the cohort first.");
    const std::string birth = p.birthColumn, entry = p.entryColumn, exit = p.exitColumn;
    if (birth.empty() || entry.empty() || exit.empty())
        throw VdxError(err::ObjectNotFound,
                       "The date columns are not chosen yet: choose them in Compute > Person-Years first.");
    std::vector<std::string> names{birth, entry, exit};
    const std::string hire = request.hireColumn.empty() ? (p.withLag ? p.hireColumn : std::string()) : request.hireColumn;
    const int hireColumn = hire.empty() ? -1 : static_cast<int>(names.size());
    if (!hire.empty()) names.push_back(hire);
    const int deathColumn = request.deathColumn.empty() ? -1 : static_cast<int>(names.size());
    if (!request.deathColumn.empty()) names.push_back(request.deathColumn);
    const std::string& main = state.MainTableName;
    {
        TableStream rows(wc, main, names);
        while (rows.next()) {
            auto add = [&](const char* code, const std::string& columns, const std::string& values) {
                problems.push_back({code, main, rows.position(), columns, values});
            };
            std::optional<double> days[3];
            for (int c = 0; c < 3; ++c) {
                const DateRead d = ReadDateField(rows, c);
                if (d.empty) add(problem::kDateMissing, rows.field(c).name, "");
                else if (!d.day) add(problem::kDateImpossible, rows.field(c).name, d.shown);
                days[c] = d.day;
            }
            const auto& [b, e, x] = days;
            if (b && e && *b > *e)
                add(problem::kBirthAfterEntry, rows.field(0).name + ";" + rows.field(1).name,
                    FormatDate(*b) + ";" + FormatDate(*e));
            if (e && x && *x < *e)
                add(problem::kExitBeforeEntry, rows.field(1).name + ";" + rows.field(2).name,
                    FormatDate(*e) + ";" + FormatDate(*x));
            if (hireColumn >= 0) {
                const DateRead h = ReadDateField(rows, hireColumn);
                if (!h.empty && !h.day) add(problem::kDateImpossible, rows.field(hireColumn).name, h.shown);
                if (h.day && x && *h.day > *x)
                    add(problem::kHireAfterExit, rows.field(hireColumn).name + ";" + rows.field(2).name,
                        FormatDate(*h.day) + ";" + FormatDate(*x));
            }
            if (deathColumn >= 0) {
                const auto code = db::FieldNumber(rows, deathColumn);
                if (code && *code != 0 && !x && ReadDateField(rows, 2).empty)
                    add(problem::kDeathWithoutExit, rows.field(deathColumn).name + ";" + rows.field(2).name,
                        NumberText(*code) + ";");
            }
        }
    }
    if (request.workHistory.empty()) return problems;

    // The work history: its dates, reversed and overlapping periods of a
    // person (by id, then start), ids the main table does not hold.
    const db::WorkHistoryColumnNames c = db::RegisteredWorkHistory(wc, request.workHistory);
    std::map<int64_t, std::vector<CohortProblem>> byRow;  // in the work history's row order
    {
        TableStream rows(wc, request.workHistory, {c.id, c.start, c.end});
        struct Period {
            db::PersonId id;
            double start, end;
            int64_t row;
        };
        std::vector<Period> periods;  // a check, not a run: the periods of the table
        while (rows.next()) {
            auto add = [&](const char* code, const std::string& columns, const std::string& values) {
                byRow[rows.position()].push_back({code, request.workHistory, rows.position(), columns, values});
            };
            const DateRead s = ReadDateField(rows, 1), e = ReadDateField(rows, 2);
            for (const auto& [d, col] : {std::pair{s, 1}, std::pair{e, 2}}) {
                if (d.empty) add(problem::kDateMissing, rows.field(col).name, "");
                else if (!d.day) add(problem::kDateImpossible, rows.field(col).name, d.shown);
            }
            if (s.day && e.day && *e.day < *s.day)
                add(problem::kPeriodReversed, rows.field(1).name + ";" + rows.field(2).name,
                    FormatDate(*s.day) + ";" + FormatDate(*e.day));
            if (s.day && e.day) periods.push_back({db::PersonIdOf(rows, 0), *s.day, *e.day, rows.position()});
        }
        std::stable_sort(periods.begin(), periods.end(), [](const Period& a, const Period& b) {
            const int k = db::ComparePersonIds(a.id, b.id);
            return k != 0 ? k < 0 : a.start < b.start;
        });
        for (size_t i = 1; i < periods.size(); ++i) {
            const Period &a = periods[i - 1], &b = periods[i];
            if (db::ComparePersonIds(a.id, b.id) == 0 && b.start <= a.end && a.end >= a.start && b.end >= b.start)
                byRow[b.row].push_back({problem::kPeriodOverlap, request.workHistory, b.row, c.start + ";" + c.end,
                                        FormatDate(b.start) + ";" + FormatDate(b.end) + " overlaps row " +
                                            std::to_string(a.row)});
        }
    }
    {
        // Ids of the main table, then each work-history row looked up.
        std::vector<db::PersonId> ids;
        {
            TableStream rows(wc, main, {request.idColumn});
            while (rows.next()) ids.push_back(db::PersonIdOf(rows, 0));
        }
        auto less = [](const db::PersonId& a, const db::PersonId& b) { return db::ComparePersonIds(a, b) < 0; };
        std::sort(ids.begin(), ids.end(), less);
        TableStream rows(wc, request.workHistory, {c.id});
        while (rows.next()) {
            const db::PersonId id = db::PersonIdOf(rows, 0);
            if (!std::binary_search(ids.begin(), ids.end(), id, less))
                byRow[rows.position()].push_back({problem::kIdWithoutPerson, request.workHistory, rows.position(),
                                                  rows.field(0).name, db::PersonIdText(id)});
        }
    }
    for (auto& [row, list] : byRow)
        for (auto& item : list) problems.push_back(std::move(item));
    return problems;
}

std::string CohortProblemsCsv(const std::vector<CohortProblem>& problems) {
    std::string text = "code,table,row,columns,values\n";
    for (const auto& p : problems)
        text += Csv(p.code) + "," + Csv(p.table) + "," + std::to_string(p.row) + "," + Csv(p.columns) + "," +
                Csv(p.values) + "\n";
    return text;
}

std::set<int64_t> ProblemRows(const ProgramState& state, db::Database& wc, const std::vector<CohortProblem>& problems,
                              const CohortCheckRequest& request) {
    std::set<int64_t> rows;
    std::vector<int64_t> historyRows;
    for (const auto& p : problems) {
        if (p.table == state.MainTableName) rows.insert(p.row);
        else if (p.code != std::string(problem::kIdWithoutPerson)) historyRows.push_back(p.row);
    }
    if (historyRows.empty() || request.workHistory.empty() || request.idColumn.empty()) return rows;
    // The ids of the work-history rows with a problem, then the persons of those ids.
    const db::WorkHistoryColumnNames c = db::RegisteredWorkHistory(wc, request.workHistory);
    std::vector<db::PersonId> ids;
    {
        std::sort(historyRows.begin(), historyRows.end());
        TableStream history(wc, request.workHistory, {c.id});
        while (history.next())
            if (std::binary_search(historyRows.begin(), historyRows.end(), history.position()))
                ids.push_back(db::PersonIdOf(history, 0));
    }
    auto less = [](const db::PersonId& a, const db::PersonId& b) { return db::ComparePersonIds(a, b) < 0; };
    std::sort(ids.begin(), ids.end(), less);
    TableStream main(wc, state.MainTableName, {request.idColumn});
    while (main.next())
        if (std::binary_search(ids.begin(), ids.end(), db::PersonIdOf(main, 0), less)) rows.insert(main.position());
    return rows;
}

}  // namespace vdx::py
