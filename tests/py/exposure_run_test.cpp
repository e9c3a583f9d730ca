// The person-years run with a third axis over a generated cohort and work
// history: every category cell against the literal day-by-day walk of
// tests/lib/literal_reference.h, the categories adding up to the run without
// the axis, and the stored tables (read back on opening; gone after a run
// without the axis).
#include <algorithm>
#include <random>

#include "../lib/literal_reference.h"
#include "db/exposure_tables.h"
#include "py_test_support.h"

using namespace vdx;
using vdx::test::D;
using vdx::test::Person;

namespace {

struct Generated {
    std::vector<Person> persons;
    std::vector<std::vector<literal::WorkPeriod>> periods;  // by person, in start order
};

// Persons of 1920-1949 entering 1955-1974 for up to 30 years, hired up to
// 10 years before entry (some without a hire date), each with 0 to 3 work
// periods from the hire on; person 1 has a one-day period, person 2 one
// that starts on 29 February.
Generated Generate(int count) {
    std::mt19937 random(26);
    auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    Generated g;
    for (int p = 0; p < count; ++p) {
        const double birth = DayNumber(uniform(1920, 1949), uniform(1, 12), uniform(1, 28));
        const double entry = DayNumber(uniform(1955, 1974), uniform(1, 12), uniform(1, 28));
        const double exit = entry + uniform(-5, 30 * 365);
        const double hire = p == 1 ? DayNumber(1964, 2, 29) : entry - uniform(0, 3650);
        Person person{Value::date(birth), Value::date(entry), Value::date(exit), Value::integer(1 + p % 2),
                      p % 7 == 3 ? Value() : Value::date(hire), Value()};
        g.persons.push_back(person);
        std::vector<literal::WorkPeriod> periods;
        double from = hire;
        for (int n = uniform(0, 3); n > 0; --n) {
            const double to = p == 0 ? from : from + uniform(0, 4000);
            periods.push_back({from, to, uniform(0, 40) / 8.0});
            from = to + uniform(1, 900);
        }
        g.periods.push_back(periods);
    }
    return g;
}

class ExposureRun : public test::PyProjectTest {
protected:
    void addWorkHistory(const Generated& g) {
        sql("CREATE TABLE Work (PersonID LONG, Start DATE, End DATE, Intensity DOUBLE);");
        sql("CREATE TABLE VdxWorkHistories (Name TEXT, IdColumn TEXT, StartColumn TEXT, EndColumn TEXT, "
            "IntensityColumn TEXT, JobColumn TEXT);");
        sql("INSERT INTO VdxWorkHistories VALUES ('Work', 'PersonID', 'Start', 'End', 'Intensity', '');");
        // Stored in an order of their own: the run reads them by id.
        std::vector<std::string> rows;
        for (size_t p = 0; p < g.periods.size(); ++p)
            for (const auto& w : g.periods[p])
                rows.push_back("(" + std::to_string(p + 1) + ", " + std::to_string(w.start) + ", " +
                               std::to_string(w.end) + ", " + std::to_string(w.intensity) + ")");
        std::shuffle(rows.begin(), rows.end(), std::mt19937(4));
        for (const auto& row : rows) sql("INSERT INTO Work VALUES " + row + ";");
    }
};

TEST_F(ExposureRun, CategoriesEqualTheDayByDayWalkAndAddUpToTheRunWithoutTheAxis) {
    const Generated g = Generate(120);
    addCohort(g.persons);
    addWorkHistory(g);
    struct Case {
        ExposureAxisKind kind;
        std::vector<double> bounds;
        int lag;
        bool bySex;
    } cases[] = {
        {ExposureAxisKind::TimeSinceHire, {0, 5, 10, 20}, 0, false},
        {ExposureAxisKind::TimeSinceHire, {2, 10}, 10, true},
        {ExposureAxisKind::Duration, {0, 1, 5, 10}, 0, true},
        {ExposureAxisKind::Duration, {0, 0.5, 3}, 5, false},
        {ExposureAxisKind::Cumulative, {0, 1, 5, 10, 20, 40}, 10, false},
        {ExposureAxisKind::Cumulative, {1, 8}, 0, true},
    };
    const int A = 10, C = 12;  // ages 0:100:10, years 1950:2010:5
    std::vector<double> ages{0}, years{0};
    for (int a = 0; a <= 100; a += 10) ages.push_back(a);
    for (int y = 1950; y <= 2010; y += 5) years.push_back(DayNumber(y, 1, 1));
    for (const Case& c : cases) {
        SCOPED_TRACE(db::AxisKey(c.kind) + " lag " + std::to_string(c.lag) + (c.bySex ? " by sex" : ""));
        state.ExposureEntry = ExposureAxis{c.kind, c.bounds, c.lag, "", "Work", "ID"};
        if (c.kind == ExposureAxisKind::TimeSinceHire) state.ExposureEntry.hireColumn = "DOH";
        state.py.bySex = false;
        if (c.bySex) defineSex(1, 2);
        ASSERT_EQ(compute(form("0:100:10", "1950:2010:5")), py::PyRunOutcome::Completed)
            << ::testing::PrintToString(ui.messageTexts());
        const int K = static_cast<int>(c.bounds.size());
        ASSERT_EQ(state.Exposure.categories.size(), static_cast<size_t>(K));

        // The walk, person by person, summed by table.
        const int tables = c.bySex ? 3 : 1;
        std::vector<std::vector<double>> expected(tables + 1, std::vector<double>(static_cast<size_t>(A) * C * K + 1));
        double below = 0;
        for (size_t p = 0; p < g.persons.size(); ++p) {
            const Person& person = g.persons[p];
            const double hire = person.hire.isNull() ? std::nan("") : person.hire.asDouble();
            std::vector<double> cells;
            double personBelow = 0;
            literal::AxisWalk(c.kind == ExposureAxisKind::TimeSinceHire ? literal::Axis::TimeSinceHire
                              : c.kind == ExposureAxisKind::Duration    ? literal::Axis::Duration
                                                                        : literal::Axis::Cumulative,
                              c.lag, c.bounds, hire, g.periods[p], person.entry.asDouble(), person.exit.asDouble(),
                              person.dob.asDouble(), ages.data(), A, years.data(), C, cells, personBelow, -1);
            below += personBelow;
            for (size_t k = 1; k < cells.size(); ++k) {
                expected[1][k] += cells[k];
                if (c.bySex) expected[1 + person.sex.asInteger()][k] += cells[k];
            }
        }
        EXPECT_EQ(state.Exposure.daysBelow, static_cast<int64_t>(below));
        int64_t inCategories = 0, withoutAxis = 0;
        for (int t = 1; t <= tables; ++t)
            for (int k = 1; k <= K; ++k)
                for (int j = 1; j <= C; ++j)
                    for (int i = 1; i <= A; ++i) {
                        const int64_t got = state.Exposure.categories[static_cast<size_t>(k) - 1].at(t, i, j);
                        ASSERT_EQ(got, static_cast<int64_t>(expected[t][i + A * (j - 1) + A * C * (k - 1)]))
                            << "table " << t << " class " << k << " age " << i << " period " << j;
                        if (t == 1) inCategories += got;
                    }
        for (int j = 1; j <= C; ++j)
            for (int i = 1; i <= A; ++i) withoutAxis += state.PyValues.at(1, i, j);
        EXPECT_EQ(inCategories + state.Exposure.daysBelow, withoutAxis);
        if (c.kind != ExposureAxisKind::TimeSinceHire && c.bounds.front() == 0) EXPECT_EQ(state.Exposure.daysBelow, 0);
    }

    // Stored: opened again, the last run's categories come back; a run
    // without the axis leaves the tables of a study without one.
    const ExposureResults last = state.Exposure;
    ASSERT_TRUE(db::FileSave(state, ui, db::AfterFailedSave::CommandDiscarded));
    const std::string file = state.ProjectFileName;
    db::ReleaseWorkingCopy(state);
    state = ProgramState{};
    ASSERT_TRUE(db::OpenProjectFile(state, ui, file));
    EXPECT_EQ(state.Exposure.axis, last.axis);
    EXPECT_EQ(state.Exposure.categories, last.categories);
    EXPECT_EQ(state.Exposure.daysBelow, last.daysBelow);
    EXPECT_NE(std::find(pyEntries().begin(), pyEntries().end(), "Age*Calendar*Cumulative=1-8"), pyEntries().end());
    state.ExposureEntry = ExposureAxis{};
    ASSERT_EQ(compute(form("0:100:10", "1950:2010:5")), py::PyRunOutcome::Completed);
    auto d = db::Database::open(state.WorkingCopyName);
    EXPECT_FALSE(d->tableExists(db::kVdxExposurePyValues));
    EXPECT_FALSE(d->tableExists("VdxStudySettings"));
    EXPECT_FALSE(state.Exposure.computed());
}

// A period that ends before it starts or overlaps the one before stops the
// run, naming the row; the study stays as it was.
TEST_F(ExposureRun, AReversedOrOverlappingPeriodStopsTheRun) {
    addCohort({{D(1930, 1, 1), D(1960, 1, 1), D(1990, 1, 1), Value::integer(1), D(1955, 1, 1), Value()}});
    sql("CREATE TABLE Work (PersonID LONG, Start DATE, End DATE, Intensity DOUBLE);");
    sql("CREATE TABLE VdxWorkHistories (Name TEXT, IdColumn TEXT, StartColumn TEXT, EndColumn TEXT, "
        "IntensityColumn TEXT, JobColumn TEXT);");
    sql("INSERT INTO VdxWorkHistories VALUES ('Work', 'PersonID', 'Start', 'End', 'Intensity', '');");
    // Stored out of order, so that the row named is the stored one, not the
    // place in the person's sorted periods.
    const std::pair<const char*, const char*> cases[] = {
        {"(1, 20000, 19000, 1)", "Row 1 of the work history 'Work': the period"},
        {"(1, 21000, 22000, 1), (1, 20000, 21000, 1)", "Row 1 of the work history 'Work'"},
        {"(1, 21000, 22000, 1), (1, 20000, 21000, 1)", "overlaps the period of row 2"},
        {"(1, 21000, 22000, 1), (1, 20000, NULL, 1)", "Row 2 of the work history 'Work': the end date"},
    };
    for (const auto& [periods, expected] : cases) {
        SCOPED_TRACE(periods);
        sql("DELETE FROM Work;");
        sql(std::string("INSERT INTO Work VALUES ") + periods + ";");
        state.ExposureEntry = ExposureAxis{ExposureAxisKind::Duration, {0, 1}, 0, "", "Work", "ID"};
        EXPECT_EQ(compute(form("0:100:10", "1950:2010:5")), py::PyRunOutcome::Failed);
        ASSERT_FALSE(ui.messageTexts().empty());
        EXPECT_NE(ui.messageTexts().back().find(expected), std::string::npos) << ui.messageTexts().back();
        EXPECT_FALSE(state.Exposure.computed());
    }
}

}  // namespace
