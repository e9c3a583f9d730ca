// The death kernel: the stratum of one death.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "day_numbers.h"
#include "literal_reference.h"
#include "veldrix.h"

namespace {

// Age classes 20-25, 25-30 (A = 2); periods 1980, 1981, 1982 (C = 3).
const double kAges[] = {0, 20, 25, 30};
const double kPeriods[] = {0, dayNumber(1980, 1, 1), dayNumber(1981, 1, 1), dayNumber(1982, 1, 1),
                           dayNumber(1983, 1, 1)};

std::vector<double> deathCompute(double death, double birth)
{
    std::vector<double> cells(7, -1.0);
    EXPECT_EQ(DEATHCOMPUTE(death, birth, cells.data(), 6, kAges, 2, kPeriods, 3), 1.0);
    return cells;
}

std::vector<double> onlyCell(int k)
{
    std::vector<double> cells(7, 0.0);
    if (k)
        cells[k] = 1.0;
    return cells;
}

TEST(DeathKernel, AgeClassTwoInPeriodThreeIsCellSix)
{
    double death = dayNumber(1982, 6, 15);
    double birth = death - 27 * 365.25;
    EXPECT_EQ(deathCompute(death, birth), onlyCell(6));
    EXPECT_EQ(DEATHCOMPUTE_CELL(death, birth, kAges, 2, kPeriods, 3), 6);
}

TEST(DeathKernel, DeathOnTheDayTheAgeReachesABoundCountsInTheClassBeginningThere)
{
    double death = dayNumber(1980, 3, 1);
    double birth = death - 25 * 365.25;  // exactly 25 at death
    EXPECT_EQ(deathCompute(death, birth), onlyCell(2));
    EXPECT_EQ(deathCompute(death - 1, birth), onlyCell(1));
}

TEST(DeathKernel, DeathOnTheLastCalendarBoundIsNotCounted)
{
    double death = dayNumber(1983, 1, 1);
    EXPECT_EQ(deathCompute(death, death - 22 * 365.25), onlyCell(0));
    EXPECT_EQ(DEATHCOMPUTE_CELL(death, death - 22 * 365.25, kAges, 2, kPeriods, 3), 0);
    // The day before is in the last period.
    EXPECT_EQ(deathCompute(death - 1, death - 22 * 365.25), onlyCell(5));
}

TEST(DeathKernel, DeathOutsideTheAgeClassesIsNotCounted)
{
    double death = dayNumber(1981, 5, 5);
    EXPECT_EQ(deathCompute(death, death - 19.99 * 365.25), onlyCell(0));
    EXPECT_EQ(deathCompute(death, death - 30 * 365.25), onlyCell(0));
}

TEST(DeathKernel, SecondCallDoesNotKeepTheFirstDeath)
{
    std::vector<double> cells(7, 0.0);
    double first = dayNumber(1980, 6, 1), second = dayNumber(1982, 6, 1);
    DEATHCOMPUTE(first, first - 21 * 365.25, cells.data(), 6, kAges, 2, kPeriods, 3);
    EXPECT_EQ(cells, onlyCell(1));
    DEATHCOMPUTE(second, second - 26 * 365.25, cells.data(), 6, kAges, 2, kPeriods, 3);
    EXPECT_EQ(cells, onlyCell(6));
}

TEST(DeathKernel, CellAboveTheCellLimitIsNotWritten)
{
    std::vector<double> cells(7, 9.0);
    double death = dayNumber(1982, 6, 15);
    DEATHCOMPUTE(death, death - 27 * 365.25, cells.data(), 4, kAges, 2, kPeriods, 3);
    EXPECT_EQ(cells, (std::vector<double>{0, 0, 0, 0, 0, 9, 9}));
}

TEST(DeathKernel, AgreesWithTheLinearSearchForRandomDeathsAndBounds)
{
    std::mt19937_64 rng(5);
    std::uniform_real_distribution<double> u(0, 1);
    for (int k = 0; k < 20000; ++k) {
        int A = static_cast<int>(u(rng) * 6), C = static_cast<int>(u(rng) * 6);
        std::vector<double> ages{0}, periods{0};
        double a = 20 + u(rng) * 10, p = 29000 + std::floor(u(rng) * 2000);
        // Regular series too: whole-year steps of age, 1 January of
        // consecutive years.
        const bool regular = u(rng) < 0.3;
        const double ageStep = 1 + std::floor(u(rng) * 5);
        const double periodStep = 365 + std::floor(u(rng) * 2);
        for (int i = 0; i <= A; ++i, a += regular ? ageStep : u(rng) * 3)
            ages.push_back(u(rng) < 0.2 || regular ? std::round(a) : a);
        for (int j = 0; j <= C; ++j, p += regular ? periodStep : std::floor(u(rng) * 500))
            periods.push_back(p);
        if (u(rng) < 0.2 && A > 0)
            std::swap(ages[1], ages[A + 1]);
        double death = 29000 + std::floor(u(rng) * 4000);
        double birth = death - std::floor(u(rng) * 40 * 365.25);
        if (u(rng) < 0.2)  // exactly on an age bound
            birth = death - ages[1 + static_cast<int>(u(rng) * (A + 1))] * 365.25;
        std::vector<double> ours(A * C + 1, -1), theirs(A * C + 1, -2);
        DEATHCOMPUTE(death, birth, ours.data(), A * C, ages.data(), A, periods.data(), C);
        literal::DeathCompute(death, birth, theirs.data(), A * C, ages.data(), A, periods.data(), C);
        ASSERT_EQ(ours, theirs);
        int expectedCell = 0;
        for (int c = 1; c <= A * C; ++c)
            if (theirs[c] == 1.0)
                expectedCell = c;
        ASSERT_EQ(DEATHCOMPUTE_CELL(death, birth, ages.data(), A, periods.data(), C), expectedCell);
        VeldrixStrata prepared;
        STRATA_PREPARE(&prepared, ages.data(), A, periods.data(), C);
        ASSERT_EQ(DEATHCOMPUTE_PREPARED(&prepared, death, birth), expectedCell);
    }
}

}  // namespace
