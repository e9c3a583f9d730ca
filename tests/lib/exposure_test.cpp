// The third axis of the person-years kernel (time since hire, duration of
// employment, cumulative exposure) against the day-by-day walk of
// literal_reference.h.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "day_numbers.h"
#include "literal_reference.h"
#include "veldrix.h"

namespace {

using literal::Axis;
using literal::WorkPeriod;

struct Person {
    double birth, start, end, hire;
    std::vector<WorkPeriod> periods;
    double death;
};

struct Config {
    Axis axis;
    int lag;
    std::vector<double> bounds;
};

// Five-year age classes 0-100 and calendar years 1975-2015 (element 0 unused).
struct Grid {
    std::vector<double> ages{0}, years{0};
    VeldrixStrata strata;
    Grid()
    {
        for (int a = 0; a <= 100; a += 5)
            ages.push_back(a);
        for (int y = 1975; y <= 2015; ++y)
            years.push_back(dayNumber(y, 1, 1));
        STRATA_PREPARE(&strata, ages.data(), A(), years.data(), C());
    }
    int A() const { return static_cast<int>(ages.size()) - 2; }
    int C() const { return static_cast<int>(years.size()) - 2; }
};

int32_t kindOf(Axis a)
{
    return a == Axis::TimeSinceHire ? VELDRIX_AXIS_TIME_SINCE_HIRE
           : a == Axis::Duration    ? VELDRIX_AXIS_DURATION
                                    : VELDRIX_AXIS_CUMULATIVE;
}

// Compares the kernel with the walk for one person; returns the days the
// walk counted below the first bound.
void expectSameAsWalk(const Grid& g, const Config& c, const Person& p)
{
    std::vector<VeldrixWorkPeriod> periods;
    for (const WorkPeriod& w : p.periods)
        periods.push_back({w.start, w.end, w.intensity});
    const VeldrixAxis axis{kindOf(c.axis), c.lag, c.bounds.data(), static_cast<int32_t>(c.bounds.size()),
                           p.hire, periods.data(), static_cast<int32_t>(periods.size())};

    std::vector<double> expected;
    double expectedBelow = 0;
    const int32_t expectedDeath =
        literal::AxisWalk(c.axis, c.lag, c.bounds, p.hire, p.periods, p.start, p.end, p.birth, g.ages.data(),
                          g.A(), g.years.data(), g.C(), expected, expectedBelow, p.death);

    std::vector<int32_t> index(4096);
    std::vector<double> days(4096);
    double below = 0;
    const int32_t n = PYCOMPUTE_AXIS(&g.strata, &axis, p.start, p.end, p.birth, index.data(), days.data(),
                                     static_cast<int32_t>(index.size()), &below);
    ASSERT_GE(n, 0);
    ASSERT_LE(n, static_cast<int32_t>(index.size()));
    std::vector<double> cells(expected.size(), 0.0);
    double total = below;
    for (int32_t e = 0; e < n; ++e) {
        ASSERT_GT(index[e], 0);
        ASSERT_LT(index[e], static_cast<int32_t>(cells.size()));
        cells[index[e]] += days[e];
        total += days[e];
    }
    EXPECT_EQ(cells, expected);
    EXPECT_EQ(below, expectedBelow);
    EXPECT_EQ(DEATHCOMPUTE_AXIS(&g.strata, &axis, p.death, p.birth), expectedDeath);

    // All categories and the days below the first bound together are the
    // days of the run without the axis.
    const int32_t plain = PYCOMPUTE_PREPARED(&g.strata, p.start, p.end, p.birth, index.data(), days.data(),
                                             static_cast<int32_t>(index.size()));
    const size_t ac = static_cast<size_t>(g.A()) * static_cast<size_t>(g.C());
    std::vector<double> plainCells(ac + 1, 0.0);
    double plainTotal = 0;
    for (int32_t e = 0; e < plain; ++e) {
        plainTotal += days[e];
        plainCells[static_cast<size_t>(index[e])] += days[e];
    }
    EXPECT_EQ(total, plainTotal);

    // The layered split: layers 1 .. K are the categories above, layer 0
    // holds the days below the first bound, and the layers add up cell by
    // cell to the split without the axis.
    const int32_t layered = PYCOMPUTE_AXIS_LAYERS(&g.strata, &axis, p.start, p.end, p.birth, index.data(),
                                                  days.data(), static_cast<int32_t>(index.size()));
    ASSERT_GE(layered, 0);
    ASSERT_LE(layered, static_cast<int32_t>(index.size()));
    std::vector<double> layers(ac * (c.bounds.size() + 1) + 1, 0.0);
    for (int32_t e = 0; e < layered; ++e) {
        ASSERT_GT(index[e], 0);
        ASSERT_LT(static_cast<size_t>(index[e]), layers.size());
        layers[static_cast<size_t>(index[e])] += days[e];
    }
    std::vector<double> sum(ac + 1, 0.0), categories(expected.size(), 0.0);
    double layerBelow = 0;
    for (size_t k = 1; k < layers.size(); ++k) {
        sum[(k - 1) % ac + 1] += layers[k];
        if (k <= ac) layerBelow += layers[k];
        else categories[k - ac] = layers[k];
    }
    EXPECT_EQ(sum, plainCells);
    EXPECT_EQ(layerBelow, expectedBelow);
    EXPECT_EQ(categories, expected);
}

Person generated(std::mt19937& rng)
{
    auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    Person p;
    p.birth = dayNumber(1920, 1, 1) + uniform(0, 40 * 365);
    p.start = dayNumber(1980, 1, 1) + uniform(0, 15 * 365);
    p.end = p.start + uniform(0, 7000);
    p.hire = p.start - uniform(-200, 4000);
    const double intensities[] = {0, 0.5, 1, 2.5, 7};
    double from = p.hire;
    for (int k = uniform(0, 4); k > 0; --k) {
        const double to = from + uniform(0, 2500);
        p.periods.push_back({from, to, intensities[uniform(0, 4)]});
        from = to + uniform(1, 1500);
    }
    p.death = uniform(0, 1) ? p.end : p.start + uniform(0, static_cast<int>(p.end - p.start));
    return p;
}

TEST(ExposureAxis, GeneratedCohortsSplitAsTheDayByDayWalk)
{
    const Config configs[] = {
        {Axis::TimeSinceHire, 0, {0, 5, 10, 20}},  {Axis::TimeSinceHire, 10, {0, 5, 10, 20}},
        {Axis::Duration, 0, {0.5, 1, 2, 5}},       {Axis::Duration, 3, {0.5, 1, 2, 5}},
        {Axis::Cumulative, 0, {0.25, 1, 5, 10, 20}}, {Axis::Cumulative, 10, {0.25, 1, 5, 10, 20}},
    };
    Grid g;
    std::mt19937 rng(26);
    for (const Config& c : configs)
        for (int n = 0; n < 150; ++n) {
            const Person p = generated(rng);
            SCOPED_TRACE(testing::Message() << "axis " << static_cast<int>(c.axis) << " lag " << c.lag
                                            << " person " << n);
            expectSameAsWalk(g, c, p);
            if (HasFatalFailure() || HasNonfatalFailure())
                return;
        }
}

// Cases at the edges; `crossing` is a day on which the walk enters a new
// class (checked, so that each case shows what it is named for).
TEST(ExposureAxis, EdgeCasesSplitAsTheDayByDayWalk)
{
    const double leap = dayNumber(2000, 2, 29);
    const double june = dayNumber(2001, 6, 10);
    struct Case {
        const char* name;
        Config config;
        Person person;
        double crossing;
    } cases[] = {
        {"hire anniversary reached on 29 February", {Axis::TimeSinceHire, 0, {0, 1}},
         {dayNumber(1950, 5, 5), dayNumber(1999, 6, 1), dayNumber(2000, 6, 1), dayNumber(1999, 2, 28), {}, leap - 3},
         leap},
        {"lagged value on 29 February is that of 28 February", {Axis::Duration, 1, {1}},
         {dayNumber(1950, 5, 5), dayNumber(1999, 6, 1), dayNumber(2000, 6, 1), 0,
          {{dayNumber(1999, 2, 28) - 366, dayNumber(1999, 3, 30), 1}}, leap},
         dayNumber(2000, 2, 28)},
        {"a period of one day", {Axis::Cumulative, 0, {0.5, 1}},
         {dayNumber(1950, 5, 5), dayNumber(2001, 1, 1), dayNumber(2001, 12, 31), 0, {{june, june, 365.25}}, june},
         june + 1},
        {"a period of one day, lagged", {Axis::Duration, 2, {1 / 365.25}},
         {dayNumber(1950, 5, 5), dayNumber(2002, 1, 1), dayNumber(2003, 12, 31), 0, {{june, june, 3}}, june},
         dayNumber(2003, 6, 11)},
        {"death on a crossing day", {Axis::Cumulative, 0, {1, 2}},
         {dayNumber(1950, 5, 5), dayNumber(2001, 1, 1), dayNumber(2002, 12, 31), 0,
          {{dayNumber(2000, 1, 1), dayNumber(2002, 12, 31), 1}}, dayNumber(2002, 1, 1)},
         dayNumber(2002, 1, 1)},
    };
    Grid g;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Person& p = c.person;
        std::vector<double> before, on;
        double below;
        const int32_t cellBefore = literal::AxisWalk(c.config.axis, c.config.lag, c.config.bounds, p.hire, p.periods,
                                                     p.start, p.end, p.birth, g.ages.data(), g.A(),
                                                     g.years.data(), g.C(), before, below, c.crossing - 1);
        const int32_t cellOn = literal::AxisWalk(c.config.axis, c.config.lag, c.config.bounds, p.hire, p.periods,
                                                 p.start, p.end, p.birth, g.ages.data(), g.A(), g.years.data(),
                                                 g.C(), on, below, c.crossing);
        auto classOf = [&](int32_t cell) { return cell ? (cell - 1) / (g.A() * g.C()) + 1 : 0; };
        EXPECT_GT(classOf(cellOn), classOf(cellBefore)) << "no crossing on that day";
        expectSameAsWalk(g, c.config, p);
    }
}

TEST(ExposureAxis, RefusesAnAxisItCannotSplitBy)
{
    Grid g;
    const double ascending[] = {0, 1}, descending[] = {1, 0};
    const VeldrixWorkPeriod negative[] = {{1, 10, -1}};
    const VeldrixAxis axes[] = {
        {0, 0, ascending, 2, 0, nullptr, 0},                              // no such kind
        {VELDRIX_AXIS_DURATION, -1, ascending, 2, 0, nullptr, 0},         // negative lag
        {VELDRIX_AXIS_DURATION, 0, descending, 2, 0, nullptr, 0},         // bounds not ascending
        {VELDRIX_AXIS_DURATION, 0, ascending, 0, 0, nullptr, 0},          // no class
        {VELDRIX_AXIS_CUMULATIVE, 0, ascending, 2, 0, negative, 1},       // negative intensity
    };
    int32_t index[4];
    double days[4];
    for (const VeldrixAxis& a : axes) {
        EXPECT_EQ(PYCOMPUTE_AXIS(&g.strata, &a, 1, 100, -10000, index, days, 4, nullptr), -1);
        EXPECT_EQ(DEATHCOMPUTE_AXIS(&g.strata, &a, 50, -10000), -1);
    }
}

}  // namespace
