#include "mortality/categories.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <ctime>
#include <functional>
#include <memory>

#include "db/analysis_management.h"
#include "db/database.h"
#include "db/exposure_tables.h"
#include "db/field_number.h"
#include "db/left_out.h"
#include "db/navigator_commands.h"
#include "db/navigator_entries.h"
#include "db/project_file.h"
#include "db/rate_layouts.h"
#include "db/study_settings.h"
#include "db/table_stream.h"
#include "db/work_history_stream.h"
#include "mortality/cause_list.h"
#include "mortality/count_deaths.h"
#include "mortality/death_group.h"
#include "mortality/long_rates.h"
#include "mortality/smr_run.h"
#include "mortality/strata_table.h"
#include "state/errors.h"
#include "state/messages.h"
#include "state/multiplier.h"
#include "state/text_values.h"
#include "state/veldrix_library.h"

namespace vdx::mortality {

namespace {

using db::TableStream;

constexpr const char* kKind = "Categories";

// The SMR and its bounds of O deaths against E expected, as Compute > SMR
// gives them: none when nothing is expected; 0, 0 and the bound of a count
// of 0 without a death.
void SetSmr(CategoryRow& row, IntervalMethod method, int16_t level) {
    if (!(row.expected > 0)) return;
    const double o = static_cast<double>(row.observed);
    if (row.observed == 0) {
        row.smr = row.low = 0.0;
        row.high = UpperLimitAtZero(method, level) / row.expected;
        return;
    }
    row.smr = o / row.expected;
    row.low = *row.smr * GetMultiplier(method, BoundSide::Low, o, level);
    row.high = *row.smr * GetMultiplier(method, BoundSide::High, o, level);
}

// A date of the main table; none for an empty value.
std::optional<double> DateOf(const ProgramState& state, const TableStream& rows, int column, const char* meaning,
                             bool required) {
    auto fail = [&](const std::string& shown) -> double {
        throw DataError(shown.empty() ? err::InvalidUseOfNull : err::TypeMismatch,
                        "Row " + std::to_string(rows.position()) + " of the main data table '" + state.MainTableName +
                            "': the " + meaning + " (column '" + rows.field(column).name + "') " +
                            (shown.empty() ? std::string("is empty.") : "holds '" + shown + "', which is not a date.") +
                            " The SMR by category has stopped; nothing has been stored.");
    };
    switch (rows.storage(column)) {
        case TableStream::Storage::Null:
            if (required) fail("");
            return std::nullopt;
        case TableStream::Storage::Integer:
        case TableStream::Storage::Real: {
            const double v = rows.real(column);
            if (rows.field(column).type == FieldType::Date && std::isfinite(v)) return v;
            return fail(NumberText(v));
        }
        case TableStream::Storage::Text: {
            const std::string text(rows.text(column));
            if (text.find_first_not_of(' ') == std::string::npos) {
                if (required) fail("");
                return std::nullopt;
            }
            if (auto d = ReadDate(text)) return *d;
            return fail(text);
        }
    }
    return std::nullopt;
}

std::string Shortest(double v) {
    char buffer[64];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
    return std::string(buffer, r.ptr);
}

}  // namespace

std::string DeathValueWords(const std::string& valueText, const std::string& causeList, const std::string& cause) {
    return causeList.empty() ? valueText : "the cause '" + cause + "' of the list " + causeList;
}

bool ReadCauseWords(const std::string& text, std::string& causeList, std::string& cause) {
    const size_t colon = text.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size()) return false;
    causeList = text.substr(0, colon);
    cause = text.substr(colon + 1);
    return true;
}

CategoryTable ComputeCategoryTable(ProgramState& state, db::Database& db, const CategoryRequest& request,
                                   Progress& progress) {
    const ExposureResults& exposure = state.Exposure;
    if (!state.py.computed || !exposure.computed())
        throw VdxError(err::InvalidProcedureCall,
                       "This study holds no person-years by exposure category: compute the person-years with an "
                       "exposure axis first (Compute > Person-Years, Exposure axis).");
    const PySettings& p = state.py;
    const int ages = p.ageClassCount(), periods = p.periodCount();
    const int classes = static_cast<int>(exposure.categories.size());
    const int tables = exposure.categories.front().tables();
    const int16_t level = SignificanceLevelPercent(request.levelText);
    const std::optional<IntervalMethod> named = IntervalMethodNamed(request.method);
    if (level == 0) throw VdxError(err::InvalidProcedureCall, "The significance level must be 0.01, 0.05 or 0.10.");
    if (!named)
        throw VdxError(err::InvalidProcedureCall, "The method must be Exact, Byar, Chi Square, Square Root or Wald.");
    const IntervalMethod method = *named;
    // The death group as the SMR reads it (codes as texts on a text column),
    // or a cause of a list read by revision as the cause-list run reads it.
    std::function<bool(const TableStream&, int, std::optional<double>)> counted;
    std::unique_ptr<CauseMatcher> causes;
    int cause = -1;
    if (!request.causeList.empty()) {
        causes = std::make_unique<CauseMatcher>(CauseListNamed(db, request.causeList), ReadRevisionRule(db), state);
        cause = CauseIndex(causes->list(), request.cause);
    } else {
        if (!IsTextDeathColumn(db, state.MainTableName, request.deathColumn))
            if (const DeathGroupParse group = ParseDeathGroup(request.deathValueText); !group.ok)
                throw DataError(err::TypeMismatch, group.message);
        counted = [matches = DeathMatcher(db, state.MainTableName, request.deathColumn, request.deathValueText)](
                      const TableStream& rows, int, std::optional<double>) { return matches(rows, 0); };
    }

    // A long rate table gives the expected deaths at its own resolution, the
    // follow-up split by the categories too; a grid multiplies the
    // person-years of the categories by its rates.
    std::unique_ptr<LongRateExpected> longRates;
    std::vector<double> rates;
    if (request.rateTable.empty()) {
        // No rate table: the deaths and person-years alone (the rate ratios' cells), nothing expected.
        rates.assign(static_cast<size_t>(ages) * periods, 0.0);
    } else if (const auto layout = db::ReadRateLayout(db, request.rateTable)) {
        std::vector<double> ageBounds;
        std::vector<int> years;
        for (int k = 1; k <= p.ageBoundCount && k < static_cast<int>(state.AgeBounds.size()); ++k)
            ageBounds.push_back(state.AgeBounds[static_cast<size_t>(k)]);
        for (int k = 1; k <= p.calendarBoundCount && k < static_cast<int>(state.CalendarBounds.size()); ++k)
            years.push_back(state.CalendarBounds[static_cast<size_t>(k)]);
        longRates = std::make_unique<LongRateExpected>(db, request.rateTable, *layout, ageBounds, years);
        longRates->splitByCategories(classes);
    } else {
        rates = ReadRates(db, request.rateTable, ages, periods);
    }
    const std::string rateSexColumn =
        longRates && longRates->bySex() ? (request.sexColumn.empty() ? p.sexColumn : request.sexColumn) : "";
    if (longRates && longRates->bySex() && rateSexColumn.empty())
        throw VdxError(err::InvalidProcedureCall, "The rate table '" + request.rateTable +
                                                      "' gives rates by sex: choose the column of the main data "
                                                      "table that holds each person's sex.");

    const ExposureAxis& axis = exposure.axis;
    const bool hireFromColumn = axis.kind == ExposureAxisKind::TimeSinceHire && !axis.hireColumn.empty();
    const bool bySex = tables == 3;
    library::Axis kernelAxis;
    kernelAxis.kind = static_cast<int32_t>(axis.kind);
    kernelAxis.lagYears = axis.lagYears;
    kernelAxis.bounds = axis.bounds.data();
    kernelAxis.classCount = classes;

    // The one deaths pass of the SMR: class (t - 1) K + k - 1 for category k
    // of table t (1 all persons, 2 and 3 the sex codes). The category of a
    // death is that of its day; the person's axis is read once per row.
    DeathClassifier classifier;
    classifier.extraColumns = {p.birthColumn, hireFromColumn ? axis.hireColumn : axis.idColumn};
    if (bySex) classifier.extraColumns.push_back(p.sexColumn);
    if (causes) {
        const int revisionAt = static_cast<int>(classifier.extraColumns.size());
        for (const std::string& column : causes->extraColumns()) classifier.extraColumns.push_back(column);
        counted = [&causes, cause, revisionAt](const TableStream& rows, int first, std::optional<double> exit) {
            const CauseReading* reading = causes->read(rows, 0, first + revisionAt, exit);
            return reading && (!exit || reading->takes(cause));  // a death without exit stops the pass
        };
    }
    std::unique_ptr<db::WorkHistoryStream> history;
    if (!hireFromColumn) history = std::make_unique<db::WorkHistoryStream>(db, axis.workHistory);
    std::vector<db::WorkPeriodRow> historyRows;
    double hire = std::nan("");
    std::vector<library::AxisPeriod> periodsOfPerson;
    classifier.axis = &kernelAxis;
    classifier.axisOf = [&](const TableStream& rows, int first, double& personHire,
                            std::vector<library::AxisPeriod>& personPeriods) {
        hire = std::nan("");
        periodsOfPerson.clear();
        if (hireFromColumn) {
            if (const auto h = DateOf(state, rows, first + 1, "date of hire", false)) hire = std::floor(*h);
        } else {
            history->periodsOf(db::PersonIdOf(rows, first + 1), historyRows);
            for (const auto& w : historyRows) periodsOfPerson.push_back({w.start, w.end, w.intensity});
            if (!historyRows.empty()) hire = historyRows.front().start;
        }
        personHire = hire;
        personPeriods.assign(periodsOfPerson.begin(), periodsOfPerson.end());
    };
    std::vector<std::vector<int32_t>> classSets(static_cast<size_t>(classes) * 3);
    for (int k = 0; k < classes; ++k)
        for (int t = 1; t <= 3; ++t) {
            auto& set = classSets[static_cast<size_t>(t - 1) * classes + k];
            set.push_back(k);
            if (t > 1) set.push_back((t - 1) * classes + k);
        }
    std::vector<double> ageVector(static_cast<size_t>(p.ageBoundCount) + 2, 0.0);
    std::vector<double> calendarVector(static_cast<size_t>(p.calendarBoundCount) + 2, 0.0);
    for (int k = 1; k <= p.ageBoundCount; ++k) ageVector[static_cast<size_t>(k)] = state.AgeBounds[static_cast<size_t>(k)];
    for (int k = 1; k <= p.calendarBoundCount; ++k)
        calendarVector[static_cast<size_t>(k)] = DateSerial(state.CalendarBounds[static_cast<size_t>(k)], 1, 1);
    const library::Strata strata(ageVector.data(), static_cast<int16_t>(ages), calendarVector.data(),
                                 static_cast<int16_t>(periods));
    const int32_t strataCells = strata.cellCount();
    classifier.classify = [&](const TableStream& rows, int first,
                              std::optional<double> exit) -> const std::vector<int32_t>* {
        if (!counted(rows, first, exit)) return nullptr;
        if (!exit) return &classSets[0];  // the pass stops naming the empty exit of a death
        int table = 1;
        if (bySex) {
            const auto sex = db::FieldNumber(rows, first + 2);
            if (!sex || (*sex != p.sexCode1 && *sex != p.sexCode2)) return nullptr;
            table = *sex == p.sexCode1 ? 2 : 3;
        }
        library::Axis a = kernelAxis;
        a.hireDate = hire;
        a.periods = periodsOfPerson.data();
        a.periodCount = static_cast<int32_t>(periodsOfPerson.size());
        const double birth = *DateOf(state, rows, first, "date of birth", true);
        const int32_t cell = strata.axisDeathCell(a, *exit, birth);
        if (cell <= 0 || strataCells <= 0) return nullptr;
        const int32_t category = (cell - 1) / strataCells + 1;
        return &classSets[static_cast<size_t>(table - 1) * classes + static_cast<size_t>(category) - 1];
    };

    const MortalityResults before = state.mortality;
    state.mortality.PyTableSelector = 1;
    state.mortality.DeathLag = p.withLag ? p.lagYears : 0;
    std::vector<std::vector<std::vector<int32_t>>> deaths;
    bool done = false;
    try {
        done = CountDeathClasses(state, db, progress, request.deathColumn, classes * (bySex ? 3 : 1), classifier,
                                 deaths, longRates.get(), rateSexColumn);
    } catch (...) {
        state.mortality = before;
        throw;
    }
    state.mortality = before;
    if (!done) throw VdxError(err::InvalidProcedureCall, "The SMR by category was cancelled; nothing has been stored.");

    // Expected deaths of category k, table t, cell (i, j): the grid's rate
    // times the days, or the long table's sum over its fine cells.
    const size_t cellCount = static_cast<size_t>(ages) * periods;
    auto expectedIn = [&](int t, int k, int i, int j, int64_t days) {
        if (!longRates) return ExpectedInStratum(days, rates[static_cast<size_t>(i - 1) * periods + (j - 1)]);
        const size_t cell = static_cast<size_t>(k - 1) * cellCount + static_cast<size_t>(i - 1) +
                            static_cast<size_t>(ages) * (j - 1);
        const auto& sexes = longRates->bySexCells();
        if (t == 1) {
            double e = 0;
            for (const auto& s : sexes) e += s.expected[cell];
            return e;
        }
        const int s = longRates->sexIndex(static_cast<double>(t == 2 ? p.sexCode1 : p.sexCode2));
        return s < 0 ? 0.0 : sexes[static_cast<size_t>(s)].expected[cell];
    };
    // By sex with long rates: the expected deaths of a sex need rates by the
    // same sex column; otherwise only the cells of all persons are given.
    const bool cellsBySex = bySex && (!longRates || (longRates->bySex() && rateSexColumn == p.sexColumn));

    // Said in the table as the person-years run and the deaths pass left them out.
    const db::LeftOutPersons leftOut = db::LeftOutForCount(db, state.MainTableName);
    CategoryTable result;
    result.axis = db::AxisWord(axis.kind);
    result.daysBelow = exposure.daysBelow;
    result.leftOut = db::LeftOutSentence(leftOut);
    result.total.category = "total";
    for (int k = 1; k <= classes; ++k) {
        const PyCells& pyCells = exposure.categories[static_cast<size_t>(k) - 1];
        CategoryRow row;
        row.category = db::CategoryLabel(axis.bounds, k);
        result.names.push_back(row.category);
        // Age class outer, period inner, as the SMR sums its expected deaths.
        for (int i = 1; i <= ages; ++i)
            for (int j = 1; j <= periods; ++j) {
                const int64_t days = pyCells.at(1, i, j);
                row.days += days;
                row.observed += deaths[static_cast<size_t>(k) - 1][static_cast<size_t>(i)][static_cast<size_t>(j)];
                row.expected += expectedIn(1, k, i, j, days);
                for (int t = cellsBySex ? 2 : 1; t <= (cellsBySex ? tables : 1); ++t) {
                    const int64_t d = pyCells.at(t, i, j);
                    const size_t c = static_cast<size_t>(t - 1) * classes + static_cast<size_t>(k) - 1;
                    result.cells.push_back({i, j, t == 1 ? 0 : t == 2 ? p.sexCode1 : p.sexCode2, k, d,
                                            deaths[c][static_cast<size_t>(i)][static_cast<size_t>(j)],
                                            expectedIn(t, k, i, j, d)});
                }
            }
        row.personYears = static_cast<double>(row.days) / 365.25;
        SetSmr(row, method, level);
        result.total.days += row.days;
        result.total.observed += row.observed;
        result.total.expected += row.expected;
        result.rows.push_back(row);
    }
    result.total.personYears = static_cast<double>(result.total.days) / 365.25;
    SetSmr(result.total, method, level);
    return result;
}

std::string CategoryTableText(const CategoryTable& table, char separator) {
    const char sep[2] = {separator, 0};
    std::string text = std::string("category") + sep + "days" + sep + "person_years" + sep + "observed" + sep +
                       "expected" + sep + "smr" + sep + "low" + sep + "high\n";
    auto number = [](const std::optional<double>& v) { return v ? Shortest(*v) : std::string(); };
    auto line = [&](const CategoryRow& r) {
        text += r.category + sep + std::to_string(r.days) + sep + Shortest(r.personYears) + sep +
                std::to_string(r.observed) + sep + Shortest(r.expected) + sep + number(r.smr) + sep + number(r.low) +
                sep + number(r.high) + "\n";
    };
    for (const auto& r : table.rows) line(r);
    line(table.total);
    return text;
}

std::vector<std::string> CategoryAnalyses(db::Database& db) { return db::AnalysisNames(db, kKind); }

bool RunCategories(ProgramState& state, Interaction& ui, const CategoryRequest& request, std::string name,
                   CategoryTable* out) {
    auto refuse = [&](const std::string& text) {
        ui.message(text, Buttons::Ok, Icon::Critical, "Error");
        return false;
    };
    if (!state.ProjectOpen) return refuse(Message(msg::NoProjectLoaded));
    try {
        auto db = db::Database::open(state.WorkingCopyName);
        // Analyses and SMR projects share the tree's top level: a name of
        // either is refused, naming the one that has it.
        const auto projects = db::ReadNameList(state.WorkingCopyName, db::kVdxSystemProjects, "Projects",
                                               state.ProjectCount);
        for (int n = 1; name.empty(); ++n)
            if (db::AnalysisNameProblem(*db, kKind + std::to_string(n), kKind, projects).empty())
                name = kKind + std::to_string(n);
        if (const std::string problem = db::AnalysisNameProblem(*db, name, kKind, projects); !problem.empty())
            return refuse(problem + " Nothing has been computed.");
        const auto field = std::find_if(state.MainTableFields.begin(), state.MainTableFields.end(),
                                        [&](const FieldInfo& f) { return f.name == request.deathColumn; });
        if (field == state.MainTableFields.end()) return refuse(Message(msg::NoDeathColumn));
        if (field->type != "numeric" && !IsTextDeathColumn(*db, state.MainTableName, request.deathColumn))
            return refuse(Message(msg::DeathColumnNotNumeric));

        BusyPointer busy(ui);
        std::unique_ptr<Progress> progress = ui.progress("Computing Deaths", 400, false);
        const CategoryTable table = ComputeCategoryTable(state, *db, request, *progress);
        progress.reset();
        db->beginTransaction();
        try {
            db::RegisterAnalysis(*db, name, kKind,
                                 "rate=" + request.rateTable + "\ndeath=" + request.deathColumn + "=" +
                                     DeathValueWords(request.deathValueText, request.causeList, request.cause) +
                                     "\nlevel=" + request.levelText +
                                     "\nmethod=" + request.method + "\naxis=" + table.axis +
                                     "\nbelow=" + std::to_string(table.daysBelow) +
                                     (table.leftOut.empty() ? std::string() : "\nleftout=" + table.leftOut));
            {
                db::TableDef def{name + "_Categories", 0, {{"Category", FieldType::Text, 255, true}}};
                for (const char* column : {"Days", "PersonYears", "Observed", "Expected", "Smr", "Low", "High"})
                    def.fields.push_back({column, FieldType::Double, 0, true});
                db->createTable(def);
            }
            auto rows = db->openRecordset(name + "_Categories");
            auto put = [&](const CategoryRow& r) {
                rows->addNew();
                rows->setValue("Category", Value::text(r.category));
                rows->setValue("Days", Value::real(static_cast<double>(r.days)));
                rows->setValue("PersonYears", Value::real(r.personYears));
                rows->setValue("Observed", Value::real(static_cast<double>(r.observed)));
                rows->setValue("Expected", Value::real(r.expected));
                if (r.smr) rows->setValue("Smr", Value::real(*r.smr));
                if (r.low) rows->setValue("Low", Value::real(*r.low));
                if (r.high) rows->setValue("High", Value::real(*r.high));
                rows->update();
            };
            for (const auto& r : table.rows) put(r);
            put(table.total);
            rows.reset();
            db->commit();
        } catch (...) {
            db->rollback();
            throw;
        }
        if (out) {
            *out = table;
            out->analysis = name;
        }
    } catch (const VdxError& e) {
        ShowRunError(ui, e);
        return false;
    }
    db::AddCategoriesEntry(state, name);
    state.ProjectChanged = true;
    return true;
}

}  // namespace vdx::mortality
