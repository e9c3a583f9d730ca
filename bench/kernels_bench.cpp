// Time per person of the person-years kernel, day-by-day walk versus class
// crossings, for follow-ups of one day, 10 years and 40 years with five-year
// age classes (15 to 85) and five-year calendar periods (1950 to 2000); the
// fast versions also for 100 years, past every class; the prepared strata
// as the runs use them.
#include <benchmark/benchmark.h>

#include <vector>

#include "day_numbers.h"
#include "literal_reference.h"
#include "veldrix.h"

namespace {

struct Cohort {
    std::vector<double> ages{0};
    std::vector<double> periods{0};
    std::vector<double> cells;
    int A, C;
    Cohort()
    {
        for (int age = 15; age <= 85; age += 5)
            ages.push_back(age);
        for (int year = 1950; year <= 2000; year += 5)
            periods.push_back(dayNumber(year, 1, 1));
        A = static_cast<int>(ages.size()) - 2;
        C = static_cast<int>(periods.size()) - 2;
        cells.assign(A * C + 1, 0.0);
    }
};

const double kBirth = dayNumber(1925, 3, 17);
const double kStart = dayNumber(1955, 7, 1);

// state.range(0): follow-up in days.
void LiteralWalk(benchmark::State& state)
{
    Cohort c;
    const double end = kStart + static_cast<double>(state.range(0)) - 1;
    for (auto _ : state) {
        literal::PyCompute(kStart, end, kBirth, c.cells.data(), c.A * c.C, c.ages.data(), c.A, c.periods.data(), c.C);
        benchmark::DoNotOptimize(c.cells.data());
    }
}

void Pycompute(benchmark::State& state)
{
    Cohort c;
    const double end = kStart + static_cast<double>(state.range(0)) - 1;
    for (auto _ : state) {
        PYCOMPUTE(kStart, end, kBirth, c.cells.data(), c.A * c.C, c.ages.data(), c.A, c.periods.data(), c.C);
        benchmark::DoNotOptimize(c.cells.data());
    }
}

void PycomputeCells(benchmark::State& state)
{
    Cohort c;
    const double end = kStart + static_cast<double>(state.range(0)) - 1;
    std::vector<int32_t> index(VELDRIX_PY_CELLS_MAX(c.A, c.C));
    std::vector<double> days(index.size());
    for (auto _ : state) {
        int32_t n = PYCOMPUTE_CELLS(kStart, end, kBirth, c.ages.data(), c.A, c.periods.data(), c.C, index.data(),
                                    days.data(), static_cast<int32_t>(index.size()));
        benchmark::DoNotOptimize(n);
        benchmark::DoNotOptimize(days.data());
    }
}

void PycomputePrepared(benchmark::State& state)
{
    Cohort c;
    const double end = kStart + static_cast<double>(state.range(0)) - 1;
    VeldrixStrata strata;
    STRATA_PREPARE(&strata, c.ages.data(), c.A, c.periods.data(), c.C);
    std::vector<int32_t> index(VELDRIX_PY_CELLS_MAX(c.A, c.C));
    std::vector<double> days(index.size());
    for (auto _ : state) {
        int32_t n = PYCOMPUTE_PREPARED(&strata, kStart, end, kBirth, index.data(), days.data(),
                                       static_cast<int32_t>(index.size()));
        benchmark::DoNotOptimize(n);
        benchmark::DoNotOptimize(days.data());
    }
}

constexpr int64_t kOneDay = 1, kTenYears = 3653, kFortyYears = 14610, kHundredYears = 36525;

BENCHMARK(LiteralWalk)->Arg(kOneDay)->Arg(kTenYears)->Arg(kFortyYears);
BENCHMARK(Pycompute)->Arg(kOneDay)->Arg(kTenYears)->Arg(kFortyYears)->Arg(kHundredYears);
BENCHMARK(PycomputeCells)->Arg(kOneDay)->Arg(kTenYears)->Arg(kFortyYears)->Arg(kHundredYears);
BENCHMARK(PycomputePrepared)->Arg(kOneDay)->Arg(kTenYears)->Arg(kFortyYears)->Arg(kHundredYears);

}  // namespace
