#include "py/person_years_run.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <iterator>
#include <new>
#include <optional>
#include <vector>

#include "db/database.h"
#include "db/exposure_tables.h"
#include "db/work_history_stream.h"
#include "db/field_number.h"
#include "db/left_out.h"
#include "db/navigator_entries.h"
#include "db/project_file.h"
#include "db/row_blocks.h"
#include "db/table_stream.h"
#include "state/errors.h"
#include "state/text_values.h"
#include "state/veldrix_library.h"

namespace vdx::py {

namespace {

// Error numbers of an unusable row, as the run time reports them.

using db::TableStream;

// One date column of the run and what it means to the reader of a message.
struct DateColumn {
    int index = -1;
    std::string name;
    const char* meaning = "";
};

[[noreturn]] void UnusableRow(const ProgramState& state, const TableStream& rows, const DateColumn& column,
                              const std::string& shown, bool empty) {
    std::string text = "Row " + std::to_string(rows.position()) + " of the main data table '" +
                       state.MainTableName + "': the " + column.meaning + " (column '" + column.name + "') ";
    text += empty ? std::string("is empty.") : "holds '" + shown + "', which is not a date.";
    text += " The person-years run has stopped; nothing has been changed.";
    throw DataError(empty ? err::InvalidUseOfNull : err::TypeMismatch, text);
}

// A person born after entering the study would add person-time before birth.
[[noreturn]] void BornAfterEntry(const ProgramState& state, const TableStream& rows, const DateColumn& birth,
                                 double birthDay, const DateColumn& entry, double entryDay) {
    throw DataError(err::InvalidProcedureCall,
                   "Row " + std::to_string(rows.position()) + " of the main data table '" + state.MainTableName +
                       "': the " + birth.meaning + " (column '" + birth.name + "') " + FormatDate(birthDay) +
                       " is after the " + entry.meaning + " (column '" + entry.name + "') " + FormatDate(entryDay) +
                       ". The person-years run has stopped; nothing has been changed.");
}

// The day number of a date field: a date stored as a number, or text that
// reads as a date (spreadsheets keep dates before 1900 as text).
double DateOf(const ProgramState& state, const TableStream& rows, const DateColumn& column) {
    switch (rows.storage(column.index)) {
        case TableStream::Storage::Null: UnusableRow(state, rows, column, {}, true);
        case TableStream::Storage::Integer:
        case TableStream::Storage::Real: {
            const double value = rows.real(column.index);
            if (rows.field(column.index).type == FieldType::Date && std::isfinite(value)) return value;
            UnusableRow(state, rows, column, NumberText(value), false);
        }
        case TableStream::Storage::Text: {
            const std::string text(rows.text(column.index));
            if (text.find_first_not_of(' ') == std::string::npos) UnusableRow(state, rows, column, text, true);
            if (auto d = ReadDate(text)) return *d;
            UnusableRow(state, rows, column, text, false);
        }
    }
    UnusableRow(state, rows, column, {}, true);
}

// Calls the sparse kernel, growing the buffers when a person needs more room.
int32_t SplitFollowUp(const library::Strata& strata, double start, double end, double birth,
                      std::vector<int32_t>& cellIndex, std::vector<double>& days) {
    for (;;) {
        const int32_t count = strata.personCells(start, end, birth, cellIndex.data(), days.data(),
                                                 static_cast<int32_t>(cellIndex.size()));
        if (count <= static_cast<int32_t>(cellIndex.size())) return count;
        cellIndex.resize(static_cast<size_t>(count));
        days.resize(static_cast<size_t>(count));
    }
}

}  // namespace

bool ComputePersonYears(ProgramState& state, db::Database& workingCopy, Progress& progress, PyCells& cells,
                        PyRunSummary& summary, ExposureResults* exposure) {
    const PySettings& p = state.py;
    const int boundsA = std::max<int>(p.ageBoundCount, 0);
    const int boundsC = std::max<int>(p.calendarBoundCount, 0);
    if (static_cast<int>(state.AgeBounds.size()) < boundsA + 1 ||
        static_cast<int>(state.CalendarBounds.size()) < boundsC + 1)
        throw VdxError(err::SubscriptOutOfRange, "Subscript out of range: the class bounds do not match their counts.");
    const int ages = p.ageClassCount();
    const int periods = p.periodCount();

    // Bound vectors as the kernel takes them: element 0 unused, ages in
    // years, calendar bounds as the day number of 1 January of the year.
    std::vector<double> ageVector(static_cast<size_t>(boundsA) + 2, 0.0);
    std::vector<double> calendarVector(static_cast<size_t>(boundsC) + 2, 0.0);
    for (int k = 1; k <= boundsA; ++k) ageVector[static_cast<size_t>(k)] = state.AgeBounds[static_cast<size_t>(k)];
    for (int k = 1; k <= boundsC; ++k)
        calendarVector[static_cast<size_t>(k)] = DateSerial(state.CalendarBounds[static_cast<size_t>(k)], 1, 1);

    const library::Strata strata(ageVector.data(), static_cast<int16_t>(ages), calendarVector.data(),
                                 static_cast<int16_t>(periods));

    // Cell k = i + ages * (j - 1); the count is held in 64 bits, so settings
    // of more than 32767 cells per table run as well.
    const size_t cellCount = static_cast<size_t>(ages) * static_cast<size_t>(periods);
    const bool bySex = p.bySex;
    std::vector<int64_t> firstRun(cellCount + 1, 0);                   // all persons, or the first code
    std::vector<int64_t> secondRun(bySex ? cellCount + 1 : 0, 0);      // the second code
    std::vector<int32_t> cellIndex(static_cast<size_t>(ages + periods + 3));
    std::vector<double> days(cellIndex.size());

    const bool withLag = p.withLag && p.lagYears > 0;
    std::vector<std::string> names{p.birthColumn, p.entryColumn, p.exitColumn};
    if (bySex) names.push_back(p.sexColumn);
    if (withLag) names.push_back(p.hireColumn);

    // The third axis: its classes, the hire date column and the work history
    // read person by person beside the main table.
    const ExposureAxis axis = exposure ? state.ExposureEntry : ExposureAxis{};
    const bool withAxis = axis.kind != ExposureAxisKind::None && !axis.bounds.empty();
    const int classes = withAxis ? static_cast<int>(axis.bounds.size()) : 0;
    const bool hireFromColumn = withAxis && axis.kind == ExposureAxisKind::TimeSinceHire && !axis.hireColumn.empty();
    const bool withHistory = withAxis && !hireFromColumn;
    const int idColumn = withHistory ? static_cast<int>(names.size()) : -1;
    if (withHistory) names.push_back(axis.idColumn);
    const int axisHireColumn = hireFromColumn ? static_cast<int>(names.size()) : -1;
    if (hireFromColumn) names.push_back(axis.hireColumn);
    std::unique_ptr<db::WorkHistoryStream> history;
    if (withHistory) history = std::make_unique<db::WorkHistoryStream>(workingCopy, axis.workHistory);
    std::vector<db::WorkPeriodRow> historyRows;
    // With the axis each person is split once, into K + 1 layers of A x C
    // cells: layer 0 the days below the first bound, layer k category k.
    // The age x calendar table is the sum of the layers.
    const size_t axisCells = cellCount * static_cast<size_t>(classes + 1);
    std::vector<int64_t> firstAxis(withAxis ? axisCells + 1 : 0, 0);
    std::vector<int64_t> secondAxis(withAxis && bySex ? axisCells + 1 : 0, 0);
    library::Axis kernelAxis;
    kernelAxis.kind = static_cast<int32_t>(axis.kind);
    kernelAxis.lagYears = axis.lagYears;
    kernelAxis.bounds = axis.bounds.data();
    kernelAxis.classCount = classes;
    TableStream rows(workingCopy, state.MainTableName, names);
    const DateColumn birthColumn{0, rows.field(0).name, "date of birth"};
    const DateColumn entryColumn{1, rows.field(1).name, "entry point of study"};
    const DateColumn exitColumn{2, rows.field(2).name, "termination point of study"};
    const int sexColumn = bySex ? 3 : -1;
    const DateColumn hireColumn{withLag ? (bySex ? 4 : 3) : -1, withLag ? rows.field(bySex ? 4 : 3).name : "",
                                "date of hire"};
    const double sex1 = p.sexCode1, sex2 = p.sexCode2;
    const db::LeftOutPersons leftOut = db::ReadLeftOut(workingCopy, state.MainTableName);

    summary = PyRunSummary{};
    state.CancelRequested = false;

    // A row as the kernel needs it: read and checked on this thread, split
    // into strata and added up on the computing thread.
    struct Person {
        double start, end, birth;
        std::vector<int64_t>* run;
        int64_t row;
        double entry;   // the entry date, before a lag moved the start
        bool lagMoved;  // the lag moved the start
        double hire;    // time since hire: the hire date (NaN: none)
        std::vector<library::AxisPeriod> periods;  // the person's work periods, by start
    };
    // The rows left out, named one by one up to kLeftOutDetails: those of
    // neither sex code here, those without a day on the computing thread.
    std::vector<PyRunSummary::LeftOut> noSexCode, withoutDays;
    auto note = [](std::vector<PyRunSummary::LeftOut>& list, int64_t row, auto why) {
        if (list.size() < kLeftOutDetails) list.push_back({row, why()});
    };
    auto read = [&](const TableStream& rows, Person& person) {
        ++summary.rows;
        // A person the user chose to leave out after the cohort check: not
        // read further, counted with its problem's code.
        if (const auto it = leftOut.rows.find(rows.position()); it != leftOut.rows.end()) {
            ++summary.rowsLeftOutByCheck;
            ++summary.leftOutByCheck[it->second];
            note(noSexCode, rows.position(), [&] { return "left out after the cohort check (" + it->second + ")"; });
            return false;
        }

        const double entry = DateOf(state, rows, entryColumn);
        double start = entry;
        const double end = DateOf(state, rows, exitColumn);
        const double birth = DateOf(state, rows, birthColumn);
        // Whole days compared: a birth on the entry day is no error.
        if (std::trunc(birth) > std::trunc(start)) BornAfterEntry(state, rows, birthColumn, birth, entryColumn, start);
        bool lagMoved = false;
        if (withLag) {
            // The lag ends lagYears calendar years after the hire date (29
            // February becomes 28 February); follow-up starts no earlier.
            const double lagEnd = AddYears(DateOf(state, rows, hireColumn), p.lagYears);
            if (lagEnd > start) {
                start = lagEnd;
                lagMoved = true;
            }
        }

        std::vector<int64_t>* run = &firstRun;
        if (bySex) {
            const auto code = db::FieldNumber(rows, sexColumn);
            run = !code ? nullptr : *code == sex1 ? &firstRun : *code == sex2 ? &secondRun : nullptr;
            if (!run) {
                ++summary.rowsInNoTable;
                note(noSexCode, rows.position(), [&] {
                    const std::string held = rows.storage(sexColumn) == TableStream::Storage::Null
                                                 ? std::string("is empty")
                                                 : "holds " + (code ? NumberText(*code) : "'" + std::string(rows.text(sexColumn)) + "'");
                    return "no sex code: '" + rows.field(sexColumn).name + "' " + held + ", neither " +
                           NumberText(sex1) + " nor " + NumberText(sex2);
                });
                return false;
            }
        }
        person.start = start;
        person.end = end;
        person.birth = birth;
        person.run = run;
        person.row = rows.position();
        person.entry = entry;
        person.lagMoved = lagMoved;
        person.hire = std::nan("");
        person.periods.clear();
        if (hireFromColumn) {
            const DateColumn hire{axisHireColumn, rows.field(axisHireColumn).name, "date of hire"};
            if (rows.storage(axisHireColumn) != TableStream::Storage::Null) person.hire = std::floor(DateOf(state, rows, hire));
        } else if (withHistory) {
            const db::PersonId id = db::PersonIdOf(rows, idColumn);
            history->periodsOf(id, historyRows);
            for (size_t i = 0; i < historyRows.size(); ++i) {
                const db::WorkPeriodRow& w = historyRows[i];
                if (w.end < w.start || (i > 0 && w.start <= historyRows[i - 1].end))
                    throw DataError(err::InvalidProcedureCall,
                                    "Row " + std::to_string(history->rowOf(id, i)) + " of the work history '" +
                                        axis.workHistory + "': the period " + FormatDate(w.start) + " to " +
                                        FormatDate(w.end) +
                                        (w.end < w.start ? std::string(" ends before it starts")
                                                         : " overlaps the period of row " +
                                                               std::to_string(history->rowOf(id, i - 1))) +
                                        " (person " + db::PersonIdText(id) +
                                        "). The person-years run has stopped; nothing has been changed. Tools > "
                                        "Check cohort lists every such row.");
                person.periods.push_back({w.start, w.end, w.intensity});
            }
            if (!historyRows.empty()) person.hire = historyRows.front().start;
        }
        return true;
    };
    auto compute = [&](const Person* persons, size_t count) {
        for (const Person* person = persons; person != persons + count; ++person) {
            int64_t personDays = 0;
            if (withAxis && person->start <= person->end) {
                library::Axis a = kernelAxis;
                a.hireDate = person->hire;
                a.periods = person->periods.data();
                a.periodCount = static_cast<int32_t>(person->periods.size());
                std::vector<int64_t>& axisRun = person->run == &firstRun ? firstAxis : secondAxis;
                for (;;) {
                    const int32_t entries = strata.axisLayerCells(a, person->start, person->end, person->birth,
                                                                  cellIndex.data(), days.data(),
                                                                  static_cast<int32_t>(cellIndex.size()));
                    if (entries < 0)
                        throw VdxError(err::InvalidProcedureCall, "The exposure classes cannot be used: " +
                                                             std::string("the bounds must ascend."));
                    if (entries > static_cast<int32_t>(cellIndex.size())) {
                        cellIndex.resize(static_cast<size_t>(entries));
                        days.resize(static_cast<size_t>(entries));
                        continue;
                    }
                    for (int32_t e = 0; e < entries; ++e) {
                        // Whole, non-negative numbers of days: adding a half and cutting is exact.
                        const auto d = static_cast<int64_t>(days[static_cast<size_t>(e)] + 0.5);
                        axisRun[static_cast<size_t>(cellIndex[static_cast<size_t>(e)])] += d;
                        personDays += d;
                    }
                    break;
                }
            } else if (cellCount > 0 && person->start <= person->end) {
                const int32_t entries =
                    SplitFollowUp(strata, person->start, person->end, person->birth, cellIndex, days);
                for (int32_t e = 0; e < entries; ++e) {
                    // Whole, non-negative numbers of days: adding a half and cutting is exact.
                    const auto d = static_cast<int64_t>(days[static_cast<size_t>(e)] + 0.5);
                    (*person->run)[static_cast<size_t>(cellIndex[static_cast<size_t>(e)])] += d;
                    personDays += d;
                }
            }
            if (personDays > 0) continue;
            // Left out, and why.
            if (std::trunc(person->end) < std::trunc(person->entry)) {
                ++summary.rowsExitBeforeEntry;
                note(withoutDays, person->row, [&] {
                    return "exit " + FormatDate(person->end) + " before entry " + FormatDate(person->entry);
                });
            } else if (person->lagMoved && person->start > person->end) {
                ++summary.rowsLagAfterExit;
                note(withoutDays, person->row, [&] {
                    return "the lag ends on " + FormatDate(person->start) + ", after the exit " + FormatDate(person->end);
                });
            } else {
                ++summary.rowsOutsideClasses;
                note(withoutDays, person->row, [&] {
                    return "follow-up " + FormatDate(person->start) + " to " + FormatDate(person->end) +
                           " (age " + NumberText(std::floor((person->start - person->birth) / 365.25)) + " to " +
                           NumberText(std::floor((person->end - person->birth) / 365.25)) +
                           ") falls outside every age class and calendar period";
                });
            }
        }
    };
    // The summary's counts: rows without days on the computing thread, the
    // others here.
    if (!db::ReadRowsInBlocks<Person>(rows, progress, std::chrono::milliseconds(kPollIntervalMs), read, compute)) {
        state.CancelRequested = true;
        return false;
    }
    progress.setValue(400);
    std::merge(noSexCode.begin(), noSexCode.end(), withoutDays.begin(), withoutDays.end(),
               std::back_inserter(summary.leftOut),
               [](const PyRunSummary::LeftOut& a, const PyRunSummary::LeftOut& b) { return a.row < b.row; });
    if (summary.leftOut.size() > kLeftOutDetails) summary.leftOut.resize(kLeftOutDetails);

    // The age x calendar table of a run with the axis: the sum of its layers.
    if (withAxis) {
        for (int c = 0; c <= classes; ++c)
            for (size_t k = 1; k <= cellCount; ++k) {
                firstRun[k] += firstAxis[cellCount * static_cast<size_t>(c) + k];
                if (bySex) secondRun[k] += secondAxis[cellCount * static_cast<size_t>(c) + k];
            }
    }

    // Transfer: table 1 all persons (with sex: the sum of both codes).
    const int tables = bySex ? 3 : 1;
    cells.resize(tables, ages, periods);
    size_t k = 1;
    for (int j = 1; j <= periods; ++j) {
        for (int i = 1; i <= ages; ++i, ++k) {
            if (bySex) {
                cells.at(1, i, j) = firstRun[k] + secondRun[k];
                cells.at(2, i, j) = firstRun[k];
                cells.at(3, i, j) = secondRun[k];
            } else {
                cells.at(1, i, j) = firstRun[k];
            }
            summary.totalDays += cells.at(1, i, j);
            for (int t = 1; t <= tables; ++t) summary.largestCell = std::max(summary.largestCell, cells.at(t, i, j));
        }
    }
    if (exposure) {
        *exposure = ExposureResults{};
        if (withAxis) {
            exposure->axis = axis;
            for (size_t k = 1; k <= cellCount; ++k)
                exposure->daysBelow += firstAxis[k] + (bySex ? secondAxis[k] : 0);
            summary.daysBelowFirstBound = exposure->daysBelow;
            for (int c = 1; c <= classes; ++c) {
                PyCells category;
                category.resize(tables, ages, periods);
                size_t cell = cellCount * static_cast<size_t>(c) + 1;
                for (int j = 1; j <= periods; ++j)
                    for (int i = 1; i <= ages; ++i, ++cell) {
                        const int64_t first = firstAxis[cell], second = bySex ? secondAxis[cell] : 0;
                        category.at(1, i, j) = first + second;
                        if (bySex) {
                            category.at(2, i, j) = first;
                            category.at(3, i, j) = second;
                        }
                        summary.categoryDays += first + second;
                    }
                exposure->categories.push_back(std::move(category));
            }
        }
    }
    return true;
}

void StorePersonYearsTables(db::Database& db, const ProgramState& state, const PyCells& cells,
                            const ExposureResults* exposure) {
    const int boundsA = std::max<int>(state.py.ageBoundCount, 0);
    const int boundsC = std::max<int>(state.py.calendarBoundCount, 0);
    std::vector<int64_t> ageRows, yearRows, cellRows;
    for (int i = 1; i <= boundsA; ++i) ageRows.push_back(state.AgeBounds[static_cast<size_t>(i)]);
    for (int i = 1; i <= boundsC; ++i) yearRows.push_back(state.CalendarBounds[static_cast<size_t>(i)]);
    cellRows.reserve(static_cast<size_t>(cells.tables()) * cells.ageClasses() * cells.periods());
    for (int t = 1; t <= cells.tables(); ++t)
        for (int a = 1; a <= cells.ageClasses(); ++a)
            for (int c = 1; c <= cells.periods(); ++c) cellRows.push_back(cells.at(t, a, c));

    db.beginTransaction();
    try {
        db::RecreateValueTables(db);
        db::AppendIntegerRows(db, db::kVdxAgeClassValues, "AgeClass", ageRows);
        db::AppendIntegerRows(db, db::kVdxYearClassValues, "YearClass", yearRows);
        db::AppendIntegerRows(db, db::kVdxPyValues, "PersonYears", cellRows);
        // The categories of a run with an axis; a run without one removes
        // those of an earlier run, so that the study holds today's tables only.
        if (exposure) db::StoreExposureTables(db, state, *exposure);
        db::RecordLeftOutOfRun(db, db::ReadLeftOut(db, state.MainTableName));
        db.commit();
    } catch (...) {
        db.rollback();
        throw;
    }
}

std::vector<std::string> PyRunSummaryLines(const ProgramState& state, const PyRunSummary& s) {
    const int tables = state.py.tableCount;
    auto rows = [](int64_t n) { return std::to_string(n) + (n == 1 ? " row" : " rows"); };
    std::vector<std::string> lines{
        "Person-years computed: " + std::to_string(tables) + " table" + (tables == 1 ? "" : "s") + ", " +
            std::to_string(state.PyValues.ageClasses()) + " age classes x " +
            std::to_string(state.PyValues.periods()) + " calendar periods",
        "Persons read: " + rows(s.rows),
        "Persons included: " + rows(s.rowsIncluded()),
        "Persons left out: " + rows(s.rowsLeftOut())};
    const std::pair<int64_t, const char*> reasons[] = {
        {s.rowsInNoTable, "neither sex code (in no table)"},
        {s.rowsExitBeforeEntry, "exit before entry"},
        {s.rowsLagAfterExit, "the lag ends after the exit"},
        {s.rowsOutsideClasses, "follow-up outside every age class and calendar period"}};
    for (const auto& [count, why] : reasons)
        if (count > 0) lines.push_back("  " + rows(count) + ": " + why);
    for (const auto& [code, count] : s.leftOutByCheck)
        lines.push_back("  " + rows(count) + ": left out after the cohort check, " + code);
    lines.push_back("Person-years in Age*Calendar: " + NumberText(std::round(s.totalDays / 365.25 * 100) / 100) +
                    " (" + std::to_string(s.totalDays) + " days)");
    if (state.Exposure.computed()) {
        lines.push_back("Exposure axis: " + db::AxisWord(state.Exposure.axis.kind) + ", " +
                        std::to_string(state.Exposure.categories.size()) + " categories" +
                        (state.Exposure.axis.lagYears > 0
                             ? ", lagged " + std::to_string(state.Exposure.axis.lagYears) + " years"
                             : std::string()));
        lines.push_back("Person-years in the categories: " +
                        NumberText(std::round(s.categoryDays / 365.25 * 100) / 100) + " (" +
                        std::to_string(s.categoryDays) + " days)");
        lines.push_back("Days below the first bound (" + db::BoundText(state.Exposure.axis.bounds.front()) +
                        "), in no category: " + std::to_string(s.daysBelowFirstBound));
    }
    if (s.largestCell > kLargest32BitCell)
        lines.push_back("Note: a cell holds " + std::to_string(s.largestCell) +
                        " days, more than a 32-bit integer holds; it is kept whole as a 64-bit integer.");
    return lines;
}

std::vector<std::string> PyRunLeftOutLines(const PyRunSummary& s, size_t limit) {
    std::vector<std::string> lines;
    for (size_t i = 0; i < s.leftOut.size() && i < limit; ++i)
        lines.push_back("Row " + std::to_string(s.leftOut[i].row) + ": " + s.leftOut[i].why);
    const int64_t others = s.rowsLeftOut() - static_cast<int64_t>(lines.size());
    if (others > 0) lines.push_back("... and " + std::to_string(others) + " more row" + (others == 1 ? "" : "s") + " left out.");
    return lines;
}

void ReplacePersonYearsEntries(ProgramState& state) {
    for (const char* key : {kPyAllKey, kPySex1Key, kPySex2Key})
        for (int id = state.Navigator.findByKey(key); id >= 0; id = state.Navigator.findByKey(key))
            state.Navigator.remove(id);
    // The exposure categories of any earlier run (up to 3 tables x the
    // classes a run may have).
    for (int t = 1; t <= 3; ++t)
        for (int k = 1;; ++k) {
            const int id = state.Navigator.findByKey(db::ExposureTableKey(t, k));
            if (id < 0) break;
            state.Navigator.remove(id);
        }
    db::AddPersonYearsEntries(state);
}

PyRunOutcome RunPersonYears(ProgramState& state, Interaction& ui, const PySettingsSnapshot& snapshot,
                            PyRunSummary* summaryOut) {
    // A run that does not complete leaves the view as it was.
    const ViewName viewBefore = state.CurrentView;
    const GridName gridBefore = state.CurrentGrid;
    auto putBack = [&] {
        // What the user entered stays for the dialog; the settings go back
        // to those of the tables the study holds.
        state.PyEntries = PyDialogEntries{state.py, state.AgeBounds, state.CalendarBounds};
        RestoreSettingsSnapshot(state, snapshot);
        state.CurrentView = viewBefore;
        state.CurrentGrid = gridBefore;
    };
    ShowView(state, ViewName::Empty);
    BusyPointer busy(ui);
    std::unique_ptr<Progress> progress = ui.progress("Computing Person-Years", 400, true);
    progress->setLabel("Computing Person-Years");

    PyCells cells;
    ExposureResults exposure;
    PyRunSummary summary;
    struct ReportSummary {  // what the run saw, whatever its outcome
        PyRunSummary& from;
        PyRunSummary* to;
        ~ReportSummary() {
            if (to) *to = from;
        }
    } report{summary, summaryOut};
    auto failed = [&](const VdxError& error) {
        progress.reset();
        putBack();
        ShowRunError(ui, error);
        return PyRunOutcome::Failed;
    };
    try {
        auto db = db::Database::open(state.WorkingCopyName);
        if (!ComputePersonYears(state, *db, *progress, cells, summary, &exposure)) {
            progress.reset();
            putBack();
            return PyRunOutcome::Cancelled;
        }
        StorePersonYearsTables(*db, state, cells, &exposure);
        db->close();
    } catch (const VdxError& e) {
        return failed(e);
    } catch (const std::bad_alloc&) {
        return failed(VdxError(err::OutOfMemory, "Out of memory: the person-years tables of these settings do not fit "
                                             "in memory. Nothing has been changed."));
    }

    state.py.tableCount = static_cast<int16_t>(cells.tables());
    state.PyValues = std::move(cells);
    state.Exposure = std::move(exposure);
    state.py.computed = true;
    state.PyEntries.reset();
    ReplacePersonYearsEntries(state);
    state.ProjectChanged = true;
    progress.reset();
    return PyRunOutcome::Completed;
}

}  // namespace vdx::py
