// The person-years kernel: the days of one person's follow-up by stratum.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "day_numbers.h"
#include "literal_reference.h"
#include "veldrix.h"

namespace {

// One call of PYCOMPUTE with bounds given as plain lists (element 0 added).
struct Strata {
    std::vector<double> ages;     // element 0 unused
    std::vector<double> periods;  // element 0 unused
    int A() const { return static_cast<int>(ages.size()) - 2; }
    int C() const { return static_cast<int>(periods.size()) - 2; }
    int cellCount() const { return std::max(A(), 0) * std::max(C(), 0); }
};

Strata strata(std::vector<double> ageBounds, std::vector<double> calendarBounds)
{
    ageBounds.insert(ageBounds.begin(), -12345.0);
    calendarBounds.insert(calendarBounds.begin(), -12345.0);
    return {ageBounds, calendarBounds};
}

std::vector<double> pyCompute(const Strata& s, double start, double end, double birth)
{
    std::vector<double> cells(s.cellCount() + 1, -1.0);
    EXPECT_EQ(PYCOMPUTE(start, end, birth, cells.data(), s.cellCount(), s.ages.data(), s.A(),
                        s.periods.data(), s.C()),
              1.0);
    return cells;
}

double total(const std::vector<double>& cells)
{
    double sum = 0;
    for (double c : cells)
        sum += c;
    return sum;
}

// A person born so that the age reaches exactly `age` years on `day`.
double birthForAgeOn(double day, double age) { return day - age * 365.25; }

const double kJan1980 = dayNumber(1980, 1, 1);
const double kJan1981 = dayNumber(1981, 1, 1);

TEST(PersonYearsKernel, CountsBothTheStartAndTheEndDay)
{
    Strata s = strata({20, 25}, {kJan1980, kJan1981});
    double birth = birthForAgeOn(kJan1980, 20);
    auto cells = pyCompute(s, kJan1980 + 10, kJan1980 + 19, birth);
    EXPECT_EQ(cells[1], 10.0);
}

TEST(PersonYearsKernel, StartEqualToEndCountsOneDayInThatDaysCell)
{
    Strata s = strata({20, 25, 30}, {kJan1980, kJan1981});
    double birth = birthForAgeOn(kJan1980, 20);
    double day = kJan1980 + 200;
    auto cells = pyCompute(s, day, day, birth);
    EXPECT_EQ(cells[1], 1.0);
    EXPECT_EQ(total(cells), 1.0);
}

TEST(PersonYearsKernel, StartAfterEndLeavesAllCellsZero)
{
    Strata s = strata({20, 25}, {kJan1980, kJan1981});
    auto cells = pyCompute(s, kJan1980 + 5, kJan1980 + 4, birthForAgeOn(kJan1980, 20));
    for (double c : cells)
        EXPECT_EQ(c, 0.0);
}

TEST(PersonYearsKernel, LeapYear1980Has366Days)
{
    Strata s = strata({20, 25}, {kJan1980, kJan1981});
    double birth = birthForAgeOn(kJan1980, 20);  // exactly 20 on 1 January 1980
    auto cells = pyCompute(s, kJan1980, dayNumber(1980, 12, 31), birth);
    EXPECT_EQ(cells[1], 366.0);
}

TEST(PersonYearsKernel, CellIndexVariesAgeFastest)
{
    // A = 3: age class 2 and calendar period 2 is cell 2 + 3 * (2 - 1) = 5.
    Strata s = strata({20, 25, 30, 35}, {kJan1980, kJan1981, dayNumber(1982, 1, 1)});
    double day = dayNumber(1981, 6, 1);
    double birth = birthForAgeOn(day, 27);
    auto cells = pyCompute(s, day, day + 9, birth);
    EXPECT_EQ(cells[5], 10.0);
    EXPECT_EQ(total(cells), 10.0);
}

TEST(PersonYearsKernel, ABoundBelongsToTheClassThatBeginsAtIt)
{
    Strata s = strata({20, 25, 30}, {kJan1980, dayNumber(1990, 1, 1)});
    double birth = birthForAgeOn(kJan1980 + 100, 25);  // 25 on day 100
    auto cells = pyCompute(s, kJan1980 + 90, kJan1980 + 109, birth);
    EXPECT_EQ(cells[1], 10.0);  // days 90 to 99
    EXPECT_EQ(cells[2], 10.0);  // day 100 (the birthday) to 109

    // Calendar: 1 January of a bound year starts the next period.
    Strata t = strata({0, 100}, {kJan1980, kJan1981, dayNumber(1982, 1, 1)});
    auto split = pyCompute(t, kJan1981 - 3, kJan1981 + 2, birthForAgeOn(kJan1980, 50));
    EXPECT_EQ(split[1], 3.0);
    EXPECT_EQ(split[2], 3.0);
}

TEST(PersonYearsKernel, DaysFromTheLastAgeBoundOnAreDropped)
{
    Strata s = strata({20, 25}, {kJan1980, dayNumber(2000, 1, 1)});
    double birth = birthForAgeOn(kJan1980 + 50, 25);  // leaves the last class on day 50
    auto cells = pyCompute(s, kJan1980, kJan1980 + 99, birth);
    EXPECT_EQ(cells[1], 50.0);
}

TEST(PersonYearsKernel, NoDayCountedWhenAgeAndCalendarNeverMeet)
{
    // In the age classes only before the first calendar period begins.
    Strata s = strata({20, 25}, {kJan1980, kJan1981});
    double birth = birthForAgeOn(dayNumber(1970, 1, 1), 20);  // 25 in 1975
    auto cells = pyCompute(s, dayNumber(1970, 1, 1), dayNumber(1985, 1, 1), birth);
    EXPECT_EQ(total(cells), 0.0);
}

TEST(PersonYearsKernel, NoClassesMeansNothingCountedButCellsCleared)
{
    double ages[] = {0, 20, 25};
    double periods[] = {0, kJan1980, kJan1981};
    double cells[4] = {7, 7, 7, 7};
    PYCOMPUTE(kJan1980, kJan1981, birthForAgeOn(kJan1980, 21), cells, 3, ages, 0, periods, 1);
    for (double c : cells)
        EXPECT_EQ(c, 0.0);
    std::fill(std::begin(cells), std::end(cells), 7.0);
    PYCOMPUTE(kJan1980, kJan1981, birthForAgeOn(kJan1980, 21), cells, 3, ages, 1, periods, 0);
    for (double c : cells)
        EXPECT_EQ(c, 0.0);
}

TEST(PersonYearsKernel, SecondCallStartsFromClearedCells)
{
    Strata s = strata({20, 25}, {kJan1980, kJan1981});
    std::vector<double> cells(2, 0.0);
    double birth = birthForAgeOn(kJan1980, 20);
    PYCOMPUTE(kJan1980, kJan1980 + 9, birth, cells.data(), 1, s.ages.data(), 1, s.periods.data(), 1);
    PYCOMPUTE(kJan1980, kJan1980 + 4, birth, cells.data(), 1, s.ages.data(), 1, s.periods.data(), 1);
    EXPECT_EQ(cells[1], 5.0);
}

TEST(PersonYearsKernel, ClassCountsReadOnlyTheLow16BitsAsSigned)
{
    Strata s = strata({20, 25}, {kJan1980, kJan1981});
    double birth = birthForAgeOn(kJan1980, 20);
    double cells[2] = {0, 0};
    // 0x10001 reads as 1.
    PYCOMPUTE(kJan1980, kJan1980 + 9, birth, cells, 1, s.ages.data(), 0x10001, s.periods.data(), 0x70001);
    EXPECT_EQ(cells[1], 10.0);
    // 0xFFFF reads as -1: no class.
    PYCOMPUTE(kJan1980, kJan1980 + 9, birth, cells, 1, s.ages.data(), 0xFFFF, s.periods.data(), 1);
    EXPECT_EQ(cells[1], 0.0);
}

TEST(PersonYearsKernel, OverlappingClassesGoToTheSmallerIndex)
{
    // Bounds that are not ascending: class 1 is [20, 30), class 2 [30, 25)
    // is empty, class 3 [25, 40) overlaps class 1 from 25 to 30.
    Strata s = strata({20, 30, 25, 40}, {kJan1980, dayNumber(2020, 1, 1)});
    double birth = birthForAgeOn(kJan1980, 20);
    auto cells = pyCompute(s, kJan1980, dayNumber(1999, 12, 31), birth);
    auto expected = std::vector<double>(s.cellCount() + 1);
    literal::PyCompute(kJan1980, dayNumber(1999, 12, 31), birth, expected.data(), s.cellCount(),
                       s.ages.data(), s.A(), s.periods.data(), s.C());
    EXPECT_EQ(cells, expected);
    EXPECT_EQ(cells[2], 0.0);
    EXPECT_GT(cells[1], 0.0);
    EXPECT_GT(cells[3], 0.0);
}

TEST(PersonYearsKernel, CellsAboveTheCellLimitAreNeverWritten)
{
    // The caller should pass a limit of at least A * C; a smaller one must
    // not make the kernel write past the caller's array.
    Strata s = strata({20, 25, 30}, {kJan1980, kJan1981, dayNumber(1982, 1, 1)});
    std::vector<double> cells(8, 99.0);
    double birth = birthForAgeOn(kJan1980, 29);
    PYCOMPUTE(kJan1980, dayNumber(1981, 12, 31), birth, cells.data(), 2, s.ages.data(), s.A(),
              s.periods.data(), s.C());
    EXPECT_EQ(cells[0], 0.0);
    EXPECT_GT(cells[2], 0.0);
    for (int k = 3; k < 8; ++k)
        EXPECT_EQ(cells[k], 99.0) << "cell " << k;
}

TEST(PersonYearsKernel, CostDoesNotGrowWithFollowUp)
{
    // A follow-up of a trillion days, which no day-by-day walk could finish,
    // is split at once; every day in the single stratum is counted.
    Strata s = strata({0, 1e10}, {0, 1e12});
    auto cells = pyCompute(s, 0, 2e12, 0);
    EXPECT_EQ(cells[1], 1e12);
}

// ---- Agreement with the day-by-day walk ------------------------------------

struct Person {
    double start, end, birth;
    Strata s;
};

// Random persons and bounds, chosen so that class crossings fall inside the
// follow-up: short follow-ups, narrow classes near the person's age and
// periods near the follow-up, with the awkward cases mixed in.
class RandomPersons {
public:
    explicit RandomPersons(unsigned seed) : rng_(seed) {}

    Person next(double maxFollowUpDays)
    {
        Person p;
        p.birth = std::floor(uniform(-20000, 30000));
        if (chance(0.1))
            p.birth += uniform(0, 1);  // a birth date with a time of day
        p.start = p.birth + std::floor(uniform(-400, 80 * 365.25));
        double length = std::floor(uniform(0, maxFollowUpDays));
        if (chance(0.05))
            length = 0;  // start = end
        if (chance(0.05))
            length = -std::floor(uniform(1, 30));  // start > end
        p.end = p.start + length;
        if (chance(0.05))
            p.end += uniform(0, 1);

        double startAge = (p.start - p.birth) / 365.25;
        double yearsFollowed = std::max(length, 0.0) / 365.25;
        int A = chance(0.03) ? 0 : 1 + static_cast<int>(uniform(0, 8));
        int C = chance(0.03) ? 0 : 1 + static_cast<int>(uniform(0, 8));

        std::vector<double> ages;
        double bound = startAge + uniform(-2, 1) * std::max(1.0, yearsFollowed / 4);
        if (chance(0.1))
            bound = startAge + uniform(-200, 200);  // far away: outside all classes
        if (chance(0.3))
            bound = std::round(bound);               // whole years
        for (int i = 0; i <= A; ++i) {
            ages.push_back(chance(0.3) ? onSomeonesAge(bound, p.birth) : bound);
            double width = uniform(0.05, 1.0) * std::max(1.0, yearsFollowed / 3);
            if (chance(0.05))
                width = 0;  // an empty class
            bound += chance(0.3) ? std::round(width * 4) / 4 : width;
        }
        std::vector<double> periods;
        double day = p.start + std::floor(uniform(-1.2, 0.8) * std::max(60.0, length));
        for (int j = 0; j <= C; ++j) {
            periods.push_back(chance(0.05) ? day + 0.5 : day);
            day += std::floor(uniform(0, 0.6) * std::max(60.0, length));
        }
        if (chance(0.1) && A >= 1)
            std::swap(ages[0], ages[1 + static_cast<int>(uniform(0, A))]);
        if (chance(0.1) && C >= 1)
            std::swap(periods[0], periods[1 + static_cast<int>(uniform(0, C))]);
        p.s = strata(ages, periods);
        return p;
    }

private:
    // A bound equal to the age of some day, exactly as the kernel computes
    // it, or one unit in the last place beside it: where a single rounding
    // decides whether the day is in the class.
    double onSomeonesAge(double bound, double birth)
    {
        double day = std::round(birth + bound * 365.25);
        double age = (day - birth) / 365.25;
        double r = uniform(0, 1);
        if (r < 0.3)
            return std::nextafter(age, -INFINITY);
        if (r < 0.6)
            return std::nextafter(age, INFINITY);
        return age;
    }

    double uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng_); }
    bool chance(double p) { return uniform(0, 1) < p; }
    std::mt19937_64 rng_;
};

// Returns the number of strata the person's days fall in.
int expectSameAsLiteralWalk(const Person& p)
{
    const int n = p.s.cellCount();
    std::vector<double> ours(n + 1, -1.0), theirs(n + 1, -2.0);
    PYCOMPUTE(p.start, p.end, p.birth, ours.data(), n, p.s.ages.data(), p.s.A(), p.s.periods.data(),
              p.s.C());
    literal::PyCompute(p.start, p.end, p.birth, theirs.data(), n, p.s.ages.data(), p.s.A(),
                       p.s.periods.data(), p.s.C());
    // Bit for bit, not merely equal in value.
    EXPECT_EQ(std::memcmp(ours.data(), theirs.data(), sizeof(double) * (n + 1)), 0)
        << "start " << p.start << " end " << p.end << " birth " << p.birth << " A " << p.s.A()
        << " C " << p.s.C();

    // The same days through strata prepared once for the bounds.
    VeldrixStrata prepared;
    EXPECT_EQ(STRATA_PREPARE(&prepared, p.s.ages.data(), p.s.A(), p.s.periods.data(), p.s.C()), n);
    const int32_t capacity = VELDRIX_PY_CELLS_MAX(p.s.A(), p.s.C());
    std::vector<int32_t> index(static_cast<size_t>(std::max(capacity, 1)));
    std::vector<double> days(index.size()), fromPrepared(n + 1, 0.0);
    const int32_t entries = PYCOMPUTE_PREPARED(&prepared, p.start, p.end, p.birth, index.data(), days.data(),
                                               capacity);
    EXPECT_LE(entries, capacity);
    for (int32_t e = 0; e < std::min(entries, capacity); ++e)
        fromPrepared[static_cast<size_t>(index[e])] += days[e];
    EXPECT_EQ(fromPrepared, theirs) << "prepared: start " << p.start << " end " << p.end << " birth " << p.birth;
    return static_cast<int>(std::count_if(theirs.begin(), theirs.end(), [](double c) { return c > 0; }));
}

TEST(PersonYearsKernelAgreement, SameCellsAsTheDayByDayWalkFor100000RandomPersons)
{
    RandomPersons persons(20240601);
    int none = 0, several = 0;
    for (int k = 0; k < 100000; ++k) {
        int strata = expectSameAsLiteralWalk(persons.next(1500));
        none += strata == 0;
        several += strata >= 2;
        if (HasFailure())
            return;
    }
    // The persons cover both the empty and the many-stratum cases.
    EXPECT_GT(none, 5000);
    EXPECT_GT(several, 30000);
}

TEST(PersonYearsKernelAgreement, SameCellsAsTheDayByDayWalkForLongFollowUps)
{
    // Decades of follow-up as in real cohorts: regular series of five-year
    // and one-year classes, and self-defined lists of uneven classes.
    struct Classes {
        std::vector<double> ageBounds;
        std::vector<int> years;
    };
    auto series = [](int from, int to, int step) {
        std::vector<int> v;
        for (int x = from; x <= to; x += step)
            v.push_back(x);
        return v;
    };
    auto asDoubles = [](const std::vector<int>& v) { return std::vector<double>(v.begin(), v.end()); };
    const Classes settings[] = {
        {asDoubles(series(15, 85, 5)), series(1950, 2000, 5)},
        {asDoubles(series(15, 85, 1)), series(1950, 2000, 1)},
        {{0, 15, 20, 25, 30, 40, 50, 60, 70, 85, 100}, {1950, 1960, 1965, 1970, 1980, 2000}},
    };
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> u(0, 1);
    for (const Classes& c : settings) {
        std::vector<double> periods;
        for (int year : c.years)
            periods.push_back(dayNumber(year, 1, 1));
        Strata s = strata(c.ageBounds, periods);
        for (int k = 0; k < 300; ++k) {
            double birth = std::floor(dayNumber(1900, 1, 1) + u(rng) * 30000);
            double start = birth + std::floor(u(rng) * 40 * 365.25);
            double end = start + std::floor(u(rng) * 50 * 365.25);
            expectSameAsLiteralWalk({start, end, birth, s});
            if (HasFailure())
                return;
        }
    }
}

TEST(PersonYearsKernelAgreement, FractionalStartDateWalksLikeTheLiteralWalk)
{
    Strata s = strata({20, 21.3, 22, 25}, {kJan1980, kJan1980 + 400.5, kJan1981 + 300});
    for (double frac : {0.25, 0.5, 0.999, 1e-9}) {
        double birth = birthForAgeOn(kJan1980, 20.5);
        expectSameAsLiteralWalk({kJan1980 - 10 + frac, kJan1981 + 400, birth, s});
    }
}

// ---- The sparse companion ---------------------------------------------------

std::vector<double> fromCells(const Person& p, int32_t* entriesOut = nullptr)
{
    const int n = p.s.cellCount();
    int32_t capacity = VELDRIX_PY_CELLS_MAX(p.s.A(), p.s.C());
    std::vector<int32_t> index(std::max(capacity, 1));
    std::vector<double> days(std::max(capacity, 1));
    int32_t entries = PYCOMPUTE_CELLS(p.start, p.end, p.birth, p.s.ages.data(), p.s.A(),
                                      p.s.periods.data(), p.s.C(), index.data(), days.data(), capacity);
    EXPECT_LE(entries, capacity);
    std::vector<double> cells(n + 1, 0.0);
    for (int32_t e = 0; e < std::min(entries, capacity); ++e) {
        EXPECT_GE(index[e], 1);
        EXPECT_LE(index[e], n);
        EXPECT_GT(days[e], 0.0);
        cells[index[e]] += days[e];
    }
    if (entriesOut)
        *entriesOut = entries;
    return cells;
}

TEST(PersonYearsCells, AgreeWithPyComputeForRandomPersons)
{
    RandomPersons persons(99);
    for (int k = 0; k < 20000; ++k) {
        Person p = persons.next(3000);
        std::vector<double> dense(p.s.cellCount() + 1);
        PYCOMPUTE(p.start, p.end, p.birth, dense.data(), p.s.cellCount(), p.s.ages.data(), p.s.A(),
                  p.s.periods.data(), p.s.C());
        int32_t entries = 0;
        ASSERT_EQ(fromCells(p, &entries), dense);
        bool ascending = std::is_sorted(p.s.ages.begin() + 1, p.s.ages.end()) &&
                         std::is_sorted(p.s.periods.begin() + 1, p.s.periods.end());
        if (ascending) {
            EXPECT_LE(entries, std::max(p.s.A() + p.s.C() - 1, 0));
        }
    }
}

TEST(PersonYearsCells, ReportsOnlyTheTouchedCellsInWalkOrder)
{
    // Five-year classes, a person followed from age 27 in 1980 to age 38.
    Strata s = strata({20, 25, 30, 35, 40}, {dayNumber(1975, 1, 1), dayNumber(1985, 1, 1),
                                             dayNumber(1995, 1, 1)});
    double birth = birthForAgeOn(kJan1980, 27);
    int32_t index[8];
    double days[8];
    int32_t n = PYCOMPUTE_CELLS(kJan1980, kJan1980 + 4017, birth, s.ages.data(), 4, s.periods.data(), 2,
                                index, days, 8);
    // Age class 2 to age 30 in 1983, age class 3 crossing into period 2 in 1985,
    // age class 4 from age 35 in 1988.
    ASSERT_EQ(n, 4);
    EXPECT_EQ(index[0], 2);
    EXPECT_EQ(index[1], 3);
    EXPECT_EQ(index[2], 3 + 4);
    EXPECT_EQ(index[3], 4 + 4);
    double sum = days[0] + days[1] + days[2] + days[3];
    EXPECT_EQ(sum, 4018.0);
    EXPECT_EQ(days[1], dayNumber(1985, 1, 1) - std::ceil(birth + 30 * 365.25));
}

TEST(PersonYearsCells, TooSmallABufferGetsTheFirstEntriesAndTheFullCount)
{
    Strata s = strata({20, 25, 30, 35, 40}, {dayNumber(1975, 1, 1), dayNumber(1985, 1, 1),
                                             dayNumber(1995, 1, 1)});
    double birth = birthForAgeOn(kJan1980, 27);
    int32_t index[2] = {-1, -1};
    double days[2] = {-1, -1};
    int32_t n = PYCOMPUTE_CELLS(kJan1980, kJan1980 + 4017, birth, s.ages.data(), 4, s.periods.data(), 2,
                                index, days, 1);
    EXPECT_EQ(n, 4);
    EXPECT_EQ(index[0], 2);
    EXPECT_EQ(index[1], -1);
    EXPECT_EQ(days[1], -1.0);
    // Capacity 0 with no buffers only counts.
    EXPECT_EQ(PYCOMPUTE_CELLS(kJan1980, kJan1980 + 4017, birth, s.ages.data(), 4, s.periods.data(), 2,
                              nullptr, nullptr, 0),
              4);
}

}  // namespace
