// Time of one exact multiplier (lower or upper) by observed count, and of
// the literal evaluation (summed Poisson terms, bracket in steps of 10) where
// it finishes in reasonable time.
#include <benchmark/benchmark.h>

#include "literal_reference.h"
#include "veldrix.h"

namespace {

void ExactLow(benchmark::State& state)
{
    const double observed = static_cast<double>(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(MultiplierExactLow(observed, 0.05));
}

void ExactHigh(benchmark::State& state)
{
    const double observed = static_cast<double>(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(MultiplierExactHigh(observed, 0.05));
}

void LiteralExactLow(benchmark::State& state)
{
    const double observed = static_cast<double>(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(literal::ExactPoissonLimit(observed, 0.05, 2) / observed);
}

void LiteralExactHigh(benchmark::State& state)
{
    const double observed = static_cast<double>(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(literal::ExactPoissonLimit(observed, 0.05, 1) / observed);
}

void ByarHigh(benchmark::State& state)
{
    const double observed = static_cast<double>(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(MultiplierByarHigh(observed, 1.95996398454005));
}

BENCHMARK(ExactLow)->Arg(10)->Arg(1000)->Arg(100000)->Arg(10000000);
BENCHMARK(ExactHigh)->Arg(10)->Arg(1000)->Arg(100000)->Arg(10000000);
BENCHMARK(LiteralExactLow)->Arg(10)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(LiteralExactHigh)->Arg(10)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(LiteralExactHigh)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(ByarHigh)->Arg(10)->Arg(10000000);

}  // namespace
