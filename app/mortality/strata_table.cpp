#include "mortality/strata_table.h"

#include "db/field_number.h"
#include "db/table_stream.h"
#include "mortality/long_rates.h"

#include <algorithm>
#include <cmath>

#include "db/database.h"
#include "db/project_file.h"
#include "db/project_runs.h"
#include "mortality/smr_report.h"
#include "db/table_stream.h"
#include "state/errors.h"
#include "state/messages.h"
#include "state/text_values.h"

namespace vdx::mortality {

namespace {

using db::TableStream;

// One rate of the rate table: a number of deaths per person-year, never
// empty, text that is no number, or negative.
double RateOf(const TableStream& rates, int column, const std::string& table) {
    auto stop = [&](int number, const std::string& what) {
        throw DataError(number, "Row " + std::to_string(rates.position()) + ", column '" + rates.field(column).name +
                                   "' of the rate table '" + table + "' " + what +
                                   " The SMR run has stopped; nothing has been stored.");
    };
    double rate = 0;
    switch (rates.storage(column)) {
        case TableStream::Storage::Null: stop(err::InvalidUseOfNull, "is empty."); break;
        case TableStream::Storage::Integer:
        case TableStream::Storage::Real: rate = rates.real(column); break;
        case TableStream::Storage::Text: {
            const std::string text(rates.text(column));
            if (text.find_first_not_of(' ') == std::string::npos) stop(err::InvalidUseOfNull, "is empty.");
            const auto number = ReadNumber(text);
            if (!number) stop(err::TypeMismatch, "holds '" + text + "', which is not a number.");
            rate = *number;
        }
    }
    if (!std::isfinite(rate)) stop(err::TypeMismatch, "holds '" + NumberText(rate) + "', which is not a number.");
    if (rate < 0) stop(err::InvalidProcedureCall, "holds the negative rate " + NumberText(rate) + ".");
    return rate;
}

std::string ClassLabel(const std::vector<int16_t>& bounds, int k) {
    return ClassRangeLabel(bounds.at(static_cast<size_t>(k)), bounds.at(static_cast<size_t>(k) + 1));
}

// The Values of an SMR table by Typ; throws when the table is not an SMR
// project's (an SRR project stores no Figures).
struct ProjectSettings {
    std::string rateTable, pyTable;
    double personYears = 0, observed = 0, expected = 0, smr = 0;  // as stored
};
ProjectSettings ReadSettings(db::Database& db, const std::string& project) {
    const std::string table = project + "_SMR";
    if (!db.tableExists(table) || !db.tableExists(project + "_Deaths"))
        throw VdxError(err::ObjectNotFound, "The project file holds no SMR project '" + project + "'.");
    auto rs = db.openRecordset(table);
    const auto def = db.tableDef(table);
    if (std::none_of(def.fields.begin(), def.fields.end(), [](const db::FieldDef& f) { return f.name == "Figures"; }))
        throw VdxError(err::ObjectNotFound, "'" + project + "' is an SRR project: it has no expected deaths by stratum.");
    const int typ = rs->fieldIndex("Typ"), values = rs->fieldIndex("Values"), figures = rs->fieldIndex("Figures");
    ProjectSettings s;
    if (rs->recordCount() > 0) rs->moveFirst();
    for (; !rs->eof(); rs->moveNext()) {
        const Value t = rs->value(typ), v = rs->value(values), f = rs->value(figures);
        const std::string text = v.kind() == Value::Kind::Text ? v.asText() : std::string();
        const double figure = f.isNumber() ? f.asDouble() : 0;
        if (t.kind() != Value::Kind::Text) continue;
        if (t.asText() == db::smr_row::RateTable) s.rateTable = text;
        if (t.asText() == db::smr_row::PyTable) s.pyTable = text;
        if (t.asText() == db::smr_row::PersonYears) s.personYears = figure;
        if (t.asText() == db::smr_row::Observed) s.observed = figure;
        if (t.asText() == db::smr_row::Expected) s.expected = figure;
        if (t.asText() == db::smr_row::Smr) s.smr = figure;
    }
    return s;
}

}  // namespace

std::vector<int64_t> ReadPersonDays(db::Database& db, int selector, int ages, int periods) {
    // VdxPyValues holds table 1, 2, 3 one after the other, each age class by
    // age class, periods inner; days as 64-bit integers (cells of large
    // cohorts pass 2^31 days).
    const size_t perTable = static_cast<size_t>(ages) * static_cast<size_t>(periods);
    std::vector<int64_t> days(perTable, 0);
    TableStream py(db, db::kVdxPyValues, {"PersonYears"});
    const int64_t first = static_cast<int64_t>(perTable) * (selector - 1);
    if (selector < 1 || py.rowCount() < first + static_cast<int64_t>(perTable))
        throw VdxError(err::SubscriptOutOfRange, "Subscript out of range: VdxPyValues holds " +
                                                 std::to_string(py.rowCount()) + " cells, too few for table " +
                                                 std::to_string(selector) + ".");
    while (py.next() && py.position() <= first + static_cast<int64_t>(perTable)) {
        if (py.position() <= first) continue;
        if (py.storage(0) != TableStream::Storage::Integer && py.storage(0) != TableStream::Storage::Real)
            throw VdxError(err::InvalidUseOfNull,
                           "Row " + std::to_string(py.position()) + " of VdxPyValues holds no number of days.");
        days[static_cast<size_t>(py.position() - first - 1)] = std::llround(py.real(0));
    }
    return days;
}

std::string RateShapeMessage(const std::string& rateTable, int64_t rows, int columns, int ages, int periods) {
    auto count = [](int64_t n, const char* one, const char* many) {
        return std::to_string(n) + " " + (n == 1 ? one : many);
    };
    return Message(msg::RatesDoNotFitPersonYears) + " The rate table '" + rateTable + "' has " + count(rows, "row", "rows") + " and " +
           count(columns, "column", "columns") + "; the person-years tables have " +
           count(ages, "age class", "age classes") + " and " + count(periods, "calendar period", "calendar periods") +
           ", so it needs " + count(ages, "row", "rows") + " and " + count(periods, "column", "columns") +
           " (one row per age class, one column of rates per period, no label column).";
}

std::vector<double> ReadRates(db::Database& db, const std::string& rateTable, int ages, int periods) {
    const db::TableDef def = db.tableDef(rateTable);
    std::vector<std::string> columns;
    for (const auto& f : def.fields) columns.push_back(f.name);
    const int columnCount = static_cast<int>(columns.size());
    if (columnCount != periods)
        throw VdxError(err::SubscriptOutOfRange, RateShapeMessage(rateTable, db.openRecordset(rateTable)->recordCount(),
                                                              columnCount, ages, periods));
    TableStream rates(db, rateTable, columns);
    if (rates.rowCount() != ages)
        throw VdxError(err::SubscriptOutOfRange, RateShapeMessage(rateTable, rates.rowCount(), columnCount, ages, periods));
    std::vector<double> out;
    out.reserve(static_cast<size_t>(ages) * static_cast<size_t>(periods));
    for (int i = 1; i <= ages && rates.next(); ++i)
        for (int j = 1; j <= periods; ++j) out.push_back(RateOf(rates, j - 1, rateTable));
    return out;
}

double ExpectedInStratum(int64_t days, double rate) { return (static_cast<double>(days) / 365.25) * rate; }

double ExpectedDeaths(const std::vector<int64_t>& days, const std::vector<double>& rates) {
    double expected = 0;
    for (size_t k = 0; k < days.size() && k < rates.size(); ++k) expected += ExpectedInStratum(days[k], rates[k]);
    return expected;
}

StrataTable BuildStrataTable(const ProgramState& state, const std::string& project) {
    const int ages = state.py.ageClassCount();
    const int periods = state.py.periodCount();
    auto db = db::Database::open(state.WorkingCopyName);
    const ProjectSettings settings = ReadSettings(*db, project);

    StrataTable t;
    t.project = project;
    // A project made from person-years that were computed again since: its
    // stored totals only, never the new person-years beside its deaths.
    if (db::CheckProjectRun(*db, state, project) == db::ProjectRunState::OutOfDate) {
        t.outOfDate = true;
        const std::string sexTable = "Age*Calendar*Sex=";  // the name of a sex table, before its code
        const bool bySex = settings.pyTable.rfind(sexTable, 0) == 0;
        t.pyTable = bySex ? 2 : 1;
        t.sexCode = bySex ? RoundToInt16(ReadNumber(settings.pyTable.substr(sexTable.size())).value_or(0)) : 0;
        t.storedPersonYears = settings.personYears;
        t.observedTotal = std::llround(settings.observed);
        t.expectedTotal = settings.expected;
        t.storedSmr = settings.smr;
        return t;
    }
    if (!state.py.computed || ages < 1 || periods < 1)
        throw VdxError(err::SubscriptOutOfRange, Message(msg::PersonYearsFirst));
    t.pyTable = 0;
    for (int k = 1; k <= state.py.tableCount && k <= 3; ++k)
        if (PyTableName(state.py, k) == settings.pyTable) t.pyTable = k;
    if (t.pyTable == 0)
        throw VdxError(err::ObjectNotFound, "The person-years table '" + settings.pyTable + "' of the project '" +
                                                project + "' is not in the project file.");
    t.sexCode = t.pyTable == 2 ? state.py.sexCode1 : t.pyTable == 3 ? state.py.sexCode2 : 0;
    for (int i = 1; i <= ages; ++i) t.ageLabels.push_back(ClassLabel(state.AgeBounds, i));
    for (int j = 1; j <= periods; ++j) t.periodLabels.push_back(ClassLabel(state.CalendarBounds, j));

    // A project on a long rate table: its cells as the run stored them, by
    // sex when the rates are; the totals as the project stores them.
    if (db->tableExists(project + kCellsSuffix)) {
        db::TableStream rows(*db, project + kCellsSuffix, {"Sex", "AgeClass", "Period", "Deaths", "Days", "Expected"});
        while (rows.next()) {
            Stratum s;
            const Value sex = rows.value(0);
            s.sex = sex.kind() == Value::Kind::Text ? sex.asText() : std::string();
            s.ageClass = static_cast<int>(db::FieldNumber(rows, 1).value_or(0));
            s.period = static_cast<int>(db::FieldNumber(rows, 2).value_or(0));
            if (s.ageClass < 1 || s.ageClass > ages || s.period < 1 || s.period > periods)
                throw VdxError(err::SubscriptOutOfRange, "The table '" + project + kCellsSuffix +
                                                         "' does not match the person-years classes.");
            s.observed = static_cast<int32_t>(std::llround(db::FieldNumber(rows, 3).value_or(0)));
            s.days = std::llround(db::FieldNumber(rows, 4).value_or(0));
            s.expected = db::FieldNumber(rows, 5).value_or(0);
            s.rate = s.days > 0 ? s.expected / (static_cast<double>(s.days) / 365.25) : 0;
            t.sexRows = t.sexRows || !s.sex.empty();
            t.totalDays += s.days;
            t.observedTotal += s.observed;
            t.strata.push_back(std::move(s));
        }
        t.expectedTotal = settings.expected;
        return t;
    }
    const std::vector<int64_t> days = ReadPersonDays(*db, t.pyTable, ages, periods);
    const std::vector<double> rates = ReadRates(*db, settings.rateTable, ages, periods);
    std::vector<int32_t> deaths;
    {
        auto rs = db->openRecordset(project + "_Deaths");
        const int field = rs->fieldIndex("Deaths");
        if (rs->recordCount() > 0) rs->moveFirst();
        for (; !rs->eof(); rs->moveNext()) {
            const Value v = rs->value(field);
            if (!v.isNumber())
                throw VdxError(err::InvalidUseOfNull, "Row " + std::to_string(deaths.size() + 1) + " of the deaths table '" +
                                                      project + "_Deaths' holds no number of deaths.");
            deaths.push_back(static_cast<int32_t>(std::llround(v.asDouble())));
        }
    }
    if (deaths.size() != days.size())
        throw VdxError(err::SubscriptOutOfRange, "The deaths table '" + project + "_Deaths' holds " +
                                                 std::to_string(deaths.size()) + " strata, the person-years table " +
                                                 std::to_string(days.size()) +
                                                 ": the person-years were computed again after the project.");

    for (int i = 1; i <= ages; ++i)
        for (int j = 1; j <= periods; ++j) {
            const size_t k = static_cast<size_t>(i - 1) * periods + (j - 1);
            t.strata.push_back({i, j, days[k], deaths[k], rates[k], ExpectedInStratum(days[k], rates[k]), std::string()});
            t.totalDays += days[k];
            t.observedTotal += deaths[k];
        }
    t.expectedTotal = ExpectedDeaths(days, rates);
    return t;
}

std::vector<std::vector<std::string>> StrataRows(const StrataTable& t, double nullValue) {
    const bool sex = t.pyTable != 1 || t.sexRows;
    auto ratio = [&](double observed, double expected) {
        return expected > 0 ? NumberText(observed / expected * nullValue) : std::string();
    };
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> header{"Age class", "Calendar period"};
    if (sex) header.emplace_back("Sex");
    for (const char* h : {"Person-years", "Observed", "Rate", "Expected"}) header.emplace_back(h);
    header.push_back(nullValue == 1 ? "O/E" : "O/E x " + NumberText(nullValue));
    rows.push_back(header);
    for (const Stratum& s : t.strata) {
        std::vector<std::string> r{t.ageLabels[static_cast<size_t>(s.ageClass - 1)],
                                   t.periodLabels[static_cast<size_t>(s.period - 1)]};
        if (sex) r.push_back(s.sex.empty() ? std::to_string(t.sexCode) : s.sex);
        r.push_back(NumberText(static_cast<double>(s.days) / 365.25));
        r.push_back(std::to_string(s.observed));
        r.push_back(NumberText(s.rate));
        r.push_back(NumberText(s.expected));
        r.push_back(ratio(s.observed, s.expected));
        rows.push_back(r);
    }
    std::vector<std::string> total{"Total", ""};
    if (sex) total.push_back(t.sexRows && t.pyTable == 1 ? std::string() : std::to_string(t.sexCode));
    total.push_back(NumberText(t.outOfDate ? t.storedPersonYears : static_cast<double>(t.totalDays) / 365.25));
    total.push_back(std::to_string(t.observedTotal));
    total.emplace_back();
    total.push_back(NumberText(t.expectedTotal));
    // No expected deaths: the SMR is not defined.
    if (!SmrDefined(t.expectedTotal)) total.emplace_back(kNotDefined);
    else total.push_back(t.outOfDate ? NumberText(t.storedSmr * nullValue)
                                     : ratio(static_cast<double>(t.observedTotal), t.expectedTotal));
    rows.push_back(total);
    if (t.outOfDate) {
        // Said in the table itself, so that every copy of it says so.
        std::vector<std::string> note(header.size());
        note[0] = "Out of date";
        note[2] = db::OutOfDateText(t.project);
        rows.push_back(note);
    }
    return rows;
}

db::ResultGridText ShowStrata(ProgramState& state, const std::string& project) {
    const auto rows = StrataRows(BuildStrataTable(state, project), state.SmrNullValue);
    // The grid's row labels: age class and period (the two first columns).
    db::ResultGridText g;
    g.rows = static_cast<int>(rows.size());
    g.cols = static_cast<int>(rows[0].size()) - 1;
    g.cells.assign(static_cast<size_t>(g.rows) * g.cols, std::string());
    for (int r = 0; r < g.rows; ++r) {
        const auto& row = rows[static_cast<size_t>(r)];
        g.at(r, 0) = r == 0 ? "Stratum" : row[1].empty() ? row[0] : row[0] + ", " + row[1];
        for (int c = 1; c < g.cols; ++c) g.at(r, c) = row[static_cast<size_t>(c) + 1];
    }
    // The last five columns as the reports show figures: person-years with
    // two decimals, the observed deaths whole, rate, expected deaths and O/E
    // with eight.
    const int decimals[] = {2, -1, 8, 8, 8};
    g.decimals.assign(static_cast<size_t>(g.cols), -1);
    for (int k = 0; k < 5; ++k) g.decimals[static_cast<size_t>(g.cols - 5 + k)] = decimals[k];
    ShowView(state, ViewName::ResultGrid);
    return g;
}

}  // namespace vdx::mortality
