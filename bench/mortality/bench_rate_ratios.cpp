// The rate-ratio fit (three Poisson regressions and the standardised rates)
// over 100 age classes x 70 calendar periods x 2 sexes x 6 exposure
// categories: 84,000 cells with person-years, deaths drawn from a Poisson
// model with a fixed seed. Run: <build>/bin/bench_rate_ratios
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

#include "mortality/rate_ratios.h"

namespace {

vdx::mortality::RateRatioInput Cells()
{
    vdx::mortality::RateRatioInput input;
    input.categories = {"1", "2", "3", "4", "5", "6"};
    input.adjustSex = true;
    std::mt19937_64 random(27);
    std::uniform_real_distribution<double> years(5.0, 400.0);
    for (int age = 1; age <= 100; ++age)
        for (int period = 1; period <= 70; ++period)
            for (int sex = 1; sex <= 2; ++sex)
                for (int category = 0; category < 6; ++category) {
                    const double py = years(random);
                    const double rate =
                        1e-4 * std::exp(0.06 * age + 0.005 * period - 0.3 * (sex - 1) + 0.15 * category);
                    std::poisson_distribution<int> deaths(rate * py);
                    input.cells.push_back({age, period, sex, category, py, static_cast<double>(deaths(random))});
                }
    return input;
}

void BM_RateRatios84000Cells(benchmark::State& state)
{
    const auto input = Cells();
    for (auto _ : state) {
        auto result = vdx::mortality::ComputeRateRatios(input);
        if (!result.ok)
            state.SkipWithError(result.error.c_str());
        benchmark::DoNotOptimize(result);
        state.counters["cells"] = result.cellsUsed;
        state.counters["iterations"] = result.iterations;
    }
}
BENCHMARK(BM_RateRatios84000Cells)->Unit(benchmark::kMillisecond);

}  // namespace
