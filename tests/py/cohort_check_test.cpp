// A run over a generated cohort compared with an independent count written
// here: every day of every person's follow-up walked one by one, its age
// class and calendar year found with a calendar of this file's own. And the
// progress window: polled by elapsed time, not on every row, and Cancel
// taking effect at once.
#include <random>
#include <thread>

#include "py_test_support.h"

using namespace vdx;
using namespace vdx::py;
using vdx::test::Person;

namespace {

// Days from 30 December 1899 to a civil date and back (H. Hinnant's
// algorithms, shifted from 1 January 1970), independent of the program's.
int64_t DaysOf(int64_t y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468 + 25569;
}

int YearOf(int64_t day) {
    const int64_t z = day - 25569 + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t m = mp + (mp < 10 ? 3 : -9);
    return static_cast<int>(yoe + era * 400 + (m <= 2));
}

void CivilOf(int64_t day, int& y, int& m, int& d) {
    y = YearOf(day);
    int64_t rest = day - DaysOf(y, 1, 1);
    static const int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    m = 1;
    for (;; ++m) {
        const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
        const int len = lengths[m - 1] + (m == 2 && leap);
        if (rest < len) break;
        rest -= len;
    }
    d = static_cast<int>(rest) + 1;
}

// Adding whole calendar years: same day and month, 29 February to 28 February.
int64_t PlusYears(int64_t day, int years) {
    int y, m, d;
    CivilOf(day, y, m, d);
    y += years;
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (m == 2 && d == 29 && !leap) d = 28;
    return DaysOf(y, m, d);
}

struct GeneratedPerson {
    int64_t birth, hire, entry, exit;
    int sex;  // 0: empty
};

std::vector<GeneratedPerson> GenerateCohort(int count, unsigned seed) {
    std::mt19937 rng(seed);
    auto uniform = [&](int64_t lo, int64_t hi) { return std::uniform_int_distribution<int64_t>(lo, hi)(rng); };
    std::vector<GeneratedPerson> out;
    const int64_t studyStart = DaysOf(1950, 1, 1), studyEnd = DaysOf(2020, 12, 31);
    for (int i = 0; i < count; ++i) {
        GeneratedPerson p;
        p.birth = uniform(DaysOf(1895, 1, 1), DaysOf(1965, 12, 31));
        p.hire = p.birth + uniform(16 * 365, 45 * 365);
        if (i % 97 == 0) p.hire = DaysOf(YearOf(p.hire) / 4 * 4 + 4, 2, 29);  // some leap days
        p.entry = std::max(p.hire, studyStart) + uniform(0, 3 * 365);
        p.exit = p.entry + uniform(-30, 45 * 365);  // a few leave before they enter
        p.exit = std::min(p.exit, studyEnd);
        const int s = static_cast<int>(uniform(0, 19));
        p.sex = s < 9 ? 1 : s < 18 ? 2 : s == 18 ? 3 : 0;
        out.push_back(p);
    }
    return out;
}

// The day-by-day count: tables [t][i][j] for age classes `ageBounds` and
// calendar years `yearBounds`.
struct Expected {
    std::vector<int64_t> cells;
    int ages, periods;
    int64_t& at(int t, int i, int j) { return cells[(static_cast<size_t>(t) * (ages + 1) + i) * (periods + 1) + j]; }
};

Expected CountDayByDay(const std::vector<GeneratedPerson>& persons, const std::vector<int>& ageBounds,
                       const std::vector<int>& yearBounds, int lag, bool bySex) {
    Expected e;
    e.ages = static_cast<int>(ageBounds.size()) - 1;
    e.periods = static_cast<int>(yearBounds.size()) - 1;
    e.cells.assign(4 * static_cast<size_t>(e.ages + 1) * (e.periods + 1), 0);
    for (const auto& p : persons) {
        int table = 1;
        if (bySex) {
            if (p.sex != 1 && p.sex != 2) continue;
            table = p.sex + 1;
        }
        int64_t start = p.entry;
        if (lag > 0) start = std::max(start, PlusYears(p.hire, lag));
        for (int64_t d = start; d <= p.exit; ++d) {
            const double age = static_cast<double>(d - p.birth) / 365.25;
            int i = 0;
            for (int k = 0; k < e.ages; ++k)
                if (ageBounds[k] <= age && age < ageBounds[k + 1]) i = k + 1;
            const int year = YearOf(d);
            int j = 0;
            for (int k = 0; k < e.periods; ++k)
                if (yearBounds[k] <= year && year < yearBounds[k + 1]) j = k + 1;
            if (i && j) {
                e.at(table, i, j) += 1;
                if (bySex) e.at(1, i, j) += 1;
            }
        }
    }
    return e;
}

std::string Ddmmyyyy(int64_t day) {
    int y, m, d;
    CivilOf(day, y, m, d);
    char text[16];
    std::snprintf(text, sizeof text, "%02d.%02d.%04d", d, m, y);
    return text;
}

class GeneratedCohort : public vdx::test::PyProjectTest {
protected:
    void load(bool birthAsText) {
        persons = GenerateCohort(1500, 20240611);
        std::vector<Person> rows;
        for (const auto& p : persons)
            rows.push_back({Value::date(static_cast<double>(p.birth)), Value::date(static_cast<double>(p.entry)),
                            Value::date(static_cast<double>(p.exit)), p.sex ? Value::integer(p.sex) : Value(),
                            Value::date(static_cast<double>(p.hire)),
                            birthAsText ? Value::text(Ddmmyyyy(p.birth)) : Value()});
        addCohort(rows);
    }
    void expectCells(const Expected& e, int tables) {
        const PyCells& c = state.PyValues;
        ASSERT_EQ(c.tables(), tables);
        ASSERT_EQ(c.ageClasses(), e.ages);
        ASSERT_EQ(c.periods(), e.periods);
        Expected copy = e;
        int64_t total = 0;
        int mismatches = 0;
        for (int t = 1; t <= tables; ++t)
            for (int i = 1; i <= e.ages; ++i)
                for (int j = 1; j <= e.periods; ++j) {
                    if (c.at(t, i, j) != copy.at(t, i, j) && ++mismatches <= 10)
                        ADD_FAILURE() << "cell " << t << "," << i << "," << j << ": run " << c.at(t, i, j)
                                      << ", day by day " << copy.at(t, i, j);
                    total += copy.at(t, i, j);
                }
        EXPECT_EQ(mismatches, 0);
        EXPECT_GT(total, 1500 * 365);  // the cohort does fill the tables
    }
    std::vector<GeneratedPerson> persons;
};

std::vector<int> Series(int from, int to, int step) {
    std::vector<int> b;
    for (int v = from; v <= to; v += step) b.push_back(v);
    return b;
}

}  // namespace

TEST_F(GeneratedCohort, FiveYearClassesWithSexAndLagMatchTheDayByDayCount) {
    load(false);
    defineSex(1, 2);
    defineLag(10);
    ASSERT_EQ(compute(form("15:85:5", "1950:2020:5")), PyRunOutcome::Completed)
        << ::testing::PrintToString(ui.messageTexts());
    expectCells(CountDayByDay(persons, Series(15, 85, 5), Series(1950, 2020, 5), 10, true), 3);
    EXPECT_EQ(summary.rows, 1500);
}

TEST_F(GeneratedCohort, OneYearClassesWithoutSexMatchTheDayByDayCount) {
    load(false);
    ASSERT_EQ(compute(form("0:100:1", "1950:2020:1")), PyRunOutcome::Completed);
    expectCells(CountDayByDay(persons, Series(0, 100, 1), Series(1950, 2020, 1), 0, false), 1);
}

TEST_F(GeneratedCohort, BirthDatesKeptAsTextGiveTheSameCells) {
    load(true);
    PyRequest f = form("20:80:10", "1950:2020:10");
    f.birthColumn = "TXT";
    ASSERT_EQ(compute(f), PyRunOutcome::Completed) << ::testing::PrintToString(ui.messageTexts());
    expectCells(CountDayByDay(persons, Series(20, 80, 10), Series(1950, 2020, 10), 0, false), 1);
}

TEST_F(GeneratedCohort, SelfDefinedUnevenClassesMatchTheDayByDayCount) {
    load(false);
    state.py.ageSelfDefined = true;
    state.py.ageBoundCount = 5;
    state.AgeBounds = {0, 18, 30, 45, 65, 90};
    state.py.calendarSelfDefined = true;
    state.py.calendarBoundCount = 3;
    state.CalendarBounds = {0, 1955, 1968, 1991};
    defineSex(2, 1);
    ASSERT_EQ(compute(form("0:1:1", "1950:2020:1")), PyRunOutcome::Completed);
    Expected e = CountDayByDay(persons, {18, 30, 45, 65, 90}, {1955, 1968, 1991}, 0, true);
    // The first sex code is 2 here: table 2 holds sex 2, table 3 sex 1.
    Expected swapped = e;
    for (int i = 1; i <= e.ages; ++i)
        for (int j = 1; j <= e.periods; ++j) {
            swapped.at(2, i, j) = e.at(3, i, j);
            swapped.at(3, i, j) = e.at(2, i, j);
        }
    expectCells(swapped, 3);
}

// ---- The progress window --------------------------------------------------------------

namespace {

// Counts the run's polls; reports Cancel at poll number cancelAt (from 1).
class ClockedInteraction : public ScriptedInteraction {
public:
    struct Window : Progress {
        explicit Window(ClockedInteraction& o) : owner(o) {}
        void setLabel(const std::string& text) override { owner.labels.push_back(text); }
        void setValue(int v) override { owner.values.push_back(v); }
        bool poll() override {
            ++owner.polls;
            return owner.cancelAt > 0 && owner.polls >= owner.cancelAt;
        }
        ClockedInteraction& owner;
    };
    std::unique_ptr<Progress> progress(const std::string& caption, int maximum, bool cancellable) override {
        EXPECT_EQ(maximum, 400);
        EXPECT_TRUE(cancellable);
        labels.push_back(caption);
        return std::make_unique<Window>(*this);
    }
    int cancelAt = 0;
    int polls = 0;
    std::vector<int> values;
    std::vector<std::string> labels;
};

class ProgressPolling : public vdx::test::PyProjectTest {
protected:
    static constexpr int kRows = 400000;
    void SetUp() override {
        PyProjectTest::SetUp();
        test::CreateTable(*db::Database::open(state.WorkingCopyName), "Cohort",
                          "ID LONG, DOB DATE, DOE DATE, DOX DATE, SEX INTEGER, DOH DATE, TXT TEXT");
        sql("WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < " + std::to_string(kRows) +
            ") INSERT INTO Cohort (ID, DOB, DOE, DOX, SEX) "
            "SELECT x, 1000 + x % 17000, 18264 + x % 9000, 18264 + x % 9000 + x % 15000, 1 + x % 2 FROM n");
        registerMainTable("Cohort");
    }
    PyRunOutcome run(ClockedInteraction& clocked) {
        const auto snapshot = TakeSettingsSnapshot(state);
        const auto f = form("0:100:1", "1950:2020:1");
        EXPECT_TRUE(CheckPyRequest(state, clocked, f).ok());
        return RunPersonYears(state, clocked, snapshot, &summary);
    }
};

}  // namespace

TEST_F(ProgressPolling, PollsBeforeTheFirstRowButNotOnEveryRow) {
    ClockedInteraction clocked;
    ASSERT_EQ(run(clocked), PyRunOutcome::Completed);
    EXPECT_EQ(clocked.labels, (std::vector<std::string>{"Computing Person-Years", "Computing Person-Years"}));
    // Once before the first row, then at most once per 256 rows (when the
    // clock says so: row_blocks_test counts the polls per row).
    EXPECT_GE(clocked.polls, 1);
    EXPECT_LE(clocked.polls, 1 + kRows / 256);
    ASSERT_FALSE(clocked.values.empty());
    EXPECT_EQ(clocked.values.back(), 400);
    EXPECT_TRUE(std::is_sorted(clocked.values.begin(), clocked.values.end()));
}

TEST_F(ProgressPolling, CancelDuringTheRunTakesEffectAtOnce) {
    ClockedInteraction clocked;
    clocked.cancelAt = 2;  // the first poll after the run has begun
    ASSERT_EQ(run(clocked), PyRunOutcome::Cancelled);
    ASSERT_EQ(clocked.polls, 2);
    // No row is read after the cancelling poll: the rows read end at the
    // position it was shown (values in 400ths of the table).
    ASSERT_EQ(clocked.values.size(), 1u);
    EXPECT_GT(summary.rows, 0);
    EXPECT_LE(summary.rows, (clocked.values.back() + 1) * int64_t{kRows} / 400);
    EXPECT_FALSE(state.py.computed);
}
