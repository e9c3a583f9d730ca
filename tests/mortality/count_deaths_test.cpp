// Observed deaths by stratum: generated cohorts against a count written
// here, deaths on the class bounds and beyond the last, the lag's boundary
// day, empty and textual codes.
#include "mortality_test_support.h"

#include <chrono>
#include <optional>
#include <random>

#include "mortality/count_deaths.h"

using namespace vdx;
using vdx::test::D;
using vdx::test::Person;

namespace {

class CountDeathsTest : public vdx::test::MortalityTest {
protected:
    // CountDeaths over the cohort with the given choices.
    std::vector<std::vector<int32_t>> count(int selector, int code, int lag = 0) {
        state.mortality.DeathColumn = "ICD";
        state.mortality.DeathCode = static_cast<int16_t>(code);
        state.mortality.PyTableSelector = static_cast<int16_t>(selector);
        state.mortality.DeathLag = static_cast<int16_t>(lag);
        auto d = open();
        auto progress = ui.progress("Computing Deaths", 400, false);
        EXPECT_TRUE(mortality::CountDeaths(state, *d, *progress));
        return state.mortality.DeathCounts;
    }
};

// The calendar as <chrono> keeps it, apart from the program's own date
// functions: the day number of a date (days since 30 December 1899), and the
// day `years` calendar years after a day (29 February to 28 February in a
// common year).
const std::chrono::sys_days kDayZero{std::chrono::year{1899} / std::chrono::December / 30};

double CalendarDay(int y, unsigned m, unsigned d) {
    using namespace std::chrono;
    return static_cast<double>((sys_days{year{y} / month{m} / day{d}} - kDayZero).count());
}

double YearsLater(double dayNumber, int years) {
    using namespace std::chrono;
    const year_month_day date{kDayZero + days{static_cast<int>(dayNumber)}};
    year_month_day later{date.year() + std::chrono::years{years}, date.month(), date.day()};
    if (!later.ok()) later = (date.year() + std::chrono::years{years}) / date.month() / last;
    return static_cast<double>((sys_days{later} - kDayZero).count());
}

// The (age class, period) of a death by the definitions: the age class whose
// bounds hold (death - birth) / 365.25, the period whose 1 January bounds
// hold the death date; none outside.
std::optional<std::pair<int, int>> Stratum(double death, double birth, const std::vector<int16_t>& ages,
                                           const std::vector<int16_t>& years) {
    const double age = (death - birth) / 365.25;
    int i = 0, j = 0;
    for (size_t k = 0; k + 1 < ages.size(); ++k)
        if (age >= ages[k] && age < ages[k + 1]) i = static_cast<int>(k) + 1;
    for (size_t k = 0; k + 1 < years.size(); ++k)
        if (death >= CalendarDay(years[k], 1, 1) && death < CalendarDay(years[k + 1], 1, 1)) j = static_cast<int>(k) + 1;
    if (i == 0 || j == 0) return std::nullopt;
    return std::make_pair(i, j);
}

}  // namespace

TEST_F(CountDeathsTest, GeneratedCohortMatchesAnIndependentCountForEverySelectorAndLag) {
    const std::vector<int16_t> ages{20, 35, 50, 65, 80}, years{1960, 1975, 1990, 2005};
    defineSex(1, 2);
    setStrata(ages, years);
    std::mt19937 rng(4711);
    auto day = [&](int y0, int y1) {
        return std::uniform_real_distribution<double>(DayNumber(y0, 1, 1), DayNumber(y1, 1, 1))(rng);
    };
    struct Row {
        double birth, exit, hire;
        std::optional<int> sex, icd;
    };
    std::vector<Row> rows;
    std::vector<Person> persons;
    const int codes[] = {0, 162, 410, 162, -1};
    for (int n = 0; n < 600; ++n) {
        Row r;
        r.birth = std::floor(day(1890, 1960));
        r.exit = std::floor(day(1950, 2015));
        if (r.exit <= r.birth) r.exit = r.birth + 365 * 30;
        r.hire = r.birth + std::floor(std::uniform_real_distribution<double>(16, 45)(rng) * 365.25);
        if (n % 7 != 6) r.sex = 1 + n % 2;
        if (const int c = codes[rng() % 5]; c >= 0) r.icd = c;
        rows.push_back(r);
        persons.push_back({Value::date(r.birth), Value::date(r.exit), r.sex ? Value::integer(*r.sex) : Value(),
                           Value::date(r.hire), r.icd ? Value::integer(*r.icd) : Value()});
    }
    addCohort(persons);

    for (int selector = 1; selector <= 3; ++selector) {
        for (int lag : {0, 10}) {
            std::vector<std::vector<int32_t>> expected(ages.size(), std::vector<int32_t>(years.size(), 0));
            int64_t included = 0, counted = 0;
            for (const Row& r : rows) {
                // The persons of the table used: with sex stratification,
                // table 1 holds both codes, tables 2 and 3 one each.
                if (!r.sex || (selector > 1 && *r.sex != selector - 1)) continue;
                if (lag > 0 && YearsLater(r.hire, lag) >= r.exit) continue;
                ++included;
                if (r.icd != 162) continue;
                if (auto s = Stratum(r.exit, r.birth, ages, years)) {
                    ++expected[static_cast<size_t>(s->first)][static_cast<size_t>(s->second)];
                    ++counted;
                }
            }
            const auto counts = count(selector, 162, lag);
            EXPECT_EQ(counts, expected) << "selector " << selector << ", lag " << lag;
            EXPECT_EQ(state.mortality.IncludedCount, included);
            EXPECT_GT(counted, 5) << "the cohort exercises the count";
        }
    }
}

TEST_F(CountDeathsTest, DeathsOnClassBoundsFallIntoTheClassThatStartsThereAndBeyondTheLastIntoNone) {
    // Ages 40-45, 45-50; periods 1980-1990, 1990-2000. Born 1 January 1940,
    // a person is exactly 40.0 on 1 January 1980 (14610 days).
    const std::vector<int16_t> ages{40, 45, 50}, years{1980, 1990, 2000};
    setStrata(ages, years);
    struct Case {
        Value birth, death;
        std::optional<std::pair<int, int>> cell;
    } cases[] = {
        {D(1940, 1, 1), D(1980, 1, 1), std::make_pair(1, 1)},   // both bounds exactly
        {D(1940, 1, 1), D(1979, 12, 31), std::nullopt},         // before the first period
        {D(1945, 6, 1), D(1990, 1, 1), std::make_pair(1, 2)},   // on the second period's bound
        {D(1945, 6, 1), D(1989, 12, 31), std::make_pair(1, 1)},
        {D(1955, 6, 1), D(2000, 1, 1), std::nullopt},           // on the last calendar bound
        {D(1955, 6, 1), D(1999, 12, 31), std::make_pair(1, 2)},
        {D(1940, 1, 1), D(1990, 1, 1), std::nullopt},           // 50.001 years: past the last age bound
        {D(1935, 3, 1), D(1980, 3, 1), std::make_pair(2, 1)},   // 45.0 exactly: the second age class
    };
    std::vector<Person> persons;
    std::vector<std::vector<int32_t>> expected(3, std::vector<int32_t>(3, 0));
    for (const auto& c : cases) {
        persons.push_back({c.birth, c.death, {}, {}, Value::integer(7)});
        if (c.cell) ++expected[static_cast<size_t>(c.cell->first)][static_cast<size_t>(c.cell->second)];
    }
    addCohort(persons);
    EXPECT_EQ(count(1, 7), expected);
}

TEST_F(CountDeathsTest, ALagEndingOnTheDeathDayExcludesAndADayLaterIncludes) {
    setStrata({0, 100}, {1900, 2100});
    addCohort({
        {D(1930, 1, 1), D(1975, 3, 1), {}, D(1970, 3, 1), Value::integer(162)},  // hire + 5 years = death day
        {D(1930, 1, 1), D(1975, 3, 2), {}, D(1970, 3, 1), Value::integer(162)},  // a day later
        {D(1930, 1, 1), D(1971, 3, 2), {}, {}, Value::integer(162)},             // no hire date: included
        {D(1930, 1, 1), D(1973, 3, 1), {}, D(1968, 2, 29), Value::integer(162)},
    });
    // Hired 29 February 1968, lag 5: the lag ends 28 February 1973 (not
    // 1 March), so the death on 1 March 1973 is counted.
    EXPECT_EQ(count(1, 162, 5)[1][1], 3);
    EXPECT_EQ(state.mortality.IncludedCount, 3);
    EXPECT_EQ(count(1, 162, 0)[1][1], 4);
    EXPECT_EQ(state.mortality.IncludedCount, 4);
}

TEST_F(CountDeathsTest, EmptySexOrCauseNeverCountsAndTextCodesCompareAsWritten) {
    defineSex(1, 2);
    setStrata({0, 100}, {1900, 2100});
    addCohort({
        {D(1930, 1, 1), D(1980, 1, 1), Value::integer(1), {}, Value::text("162")},
        {D(1930, 1, 1), D(1980, 1, 1), Value::integer(1), {}, Value::text("162.0")},
        {D(1930, 1, 1), D(1980, 1, 1), {}, {}, Value::text("162")},
        {D(1930, 1, 1), D(1980, 1, 1), Value::integer(2), {}, Value::text("162")},
        {D(1930, 1, 1), D(1980, 1, 1), Value::integer(1), {}, {}},
        {D(1930, 1, 1), D(1980, 1, 1), Value::integer(1), {}, Value::text("1620")},
    }, "TEXT");
    // A text column's 162 takes 162.0 and 1620 too; the row without a sex
    // code is in no table.
    EXPECT_EQ(count(1, 162)[1][1], 4);
    EXPECT_EQ(count(2, 162)[1][1], 3);
    EXPECT_EQ(count(3, 162)[1][1], 1);
}

TEST_F(CountDeathsTest, OnlyPersonsOfTheTableWithADayOfFollowUpAreIncludedAndTheirDeathsCounted) {
    // Sex 1 and 2 stratified; a lag of 5 years; periods from 1975. Each row
    // a death of 162 on 1 June 1980 unless said otherwise.
    defineSex(1, 2);
    setStrata({0, 100}, {1975, 2100});
    struct Case {
        Value sex, entry, hire, icd;
        bool inTable[3];  // selector 1, 2, 3: included
        Value exit = D(1980, 6, 1);
    } cases[] = {
        {Value::integer(1), D(1960, 1, 1), {}, Value::integer(162), {true, true, false}},
        {Value::integer(2), D(1960, 1, 1), {}, Value::integer(162), {true, false, true}},
        {Value::integer(9), D(1960, 1, 1), {}, Value::integer(162), {false, false, false}},  // neither code
        {{}, D(1960, 1, 1), {}, Value::integer(162), {false, false, false}},                 // no sex
        {Value::integer(1), D(1980, 6, 1), {}, Value::integer(410), {true, true, false}},    // entry on the exit day
        {Value::integer(1), D(1960, 1, 1), D(1975, 6, 1), Value::integer(162), {false, false, false}},  // lag ends on exit
        {Value::integer(2), D(1960, 1, 1), D(1975, 5, 31), Value::integer(162), {true, false, true}},   // a day before
        {Value::integer(2), D(1990, 1, 1), {}, Value::integer(410), {false, false, false}},  // exit before entry
        // Follow-up before the first period: in no stratum, as the person-years run leaves it out.
        {Value::integer(1), D(1960, 1, 1), {}, Value::integer(162), {false, false, false}, D(1974, 12, 31)},
    };
    std::vector<Person> persons;
    for (const auto& c : cases) persons.push_back({D(1930, 1, 1), c.exit, c.sex, c.hire, c.icd, c.entry});
    addCohort(persons);
    for (int selector = 1; selector <= 3; ++selector) {
        int included = 0, deaths = 0;
        for (const auto& c : cases)
            if (c.inTable[selector - 1]) {
                ++included;
                deaths += c.icd.asInteger() == 162 ? 1 : 0;
            }
        EXPECT_EQ(count(selector, 162, 5)[1][1], deaths) << "selector " << selector;
        EXPECT_EQ(state.mortality.IncludedCount, included) << "selector " << selector;
    }
}
