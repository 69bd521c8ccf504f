// Micro-benchmarks of the column generation solver: one pattern pricing (SolveSubproblem) and one
// whole solve (DoSolve: simplex, pricing, rounding and the integer descent). The counter "trimmed"
// is the tube count after TCGResultOptimizer::OptimizeCGResult (computed outside the timing).
//
// Instances (fixed seeds): n distinct parts of whole-millimetre lengths uniform in [C/20, C/3],
// demands 1..20, one tube of C mm, no gap manager (the plain cutting-stock case). The pricing runs
// with duals of about length / C, as near the end of a column generation.

#include <benchmark/benchmark.h>

#include <cstdint>

#include "colgen/branch_and_price.h"
#include "colgen/column_generation.h"
#include "model/random.h"

namespace {

using namespace tubenest;

TColGenData Make(int n, int capacity) {
    TRandomGenerator rng(static_cast<std::uint64_t>(n) * 7919 + static_cast<std::uint64_t>(capacity));
    TColGenData data(n);
    data.FTubeLengths[0] = capacity;
    for (std::size_t i = 0; i < static_cast<std::size_t>(n); ++i) {
        data.FPartOriIndexs[i] = static_cast<std::int32_t>(i);
        data.FPartLengths[i] = capacity / 20 + rng.Random(capacity / 3 - capacity / 20);
        data.FPartAmounts[i] = 1 + rng.Random(20);
    }
    return data;
}

void BM_SolveSubproblem(benchmark::State& state) {
    const TColGenData data = Make(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    TRandomGenerator rng(1);
    TExtendedDynArray duals;
    for (const double l : data.FPartLengths) {
        duals.push_back(l / data.TubeLength() * (0.8 + 0.4 * rng.RandomFloat()));
    }
    TColumnGenerationSolver solver;
    solver.SetData(data);
    TIntDynArray pattern;
    for (auto _ : state) {
        solver.SolveSubproblem(duals, pattern);
        benchmark::DoNotOptimize(pattern.data());
    }
}

void BM_DoSolve(benchmark::State& state) {
    const TColGenData data = Make(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    TColGenResult result;
    TColGenStatistics stats;
    for (auto _ : state) {
        TColumnGenerationSolver solver;
        solver.DoSolve(data, result);
        stats = solver.Statistics();
    }
    state.counters["iterations"] = stats.Iterations;
    state.counters["lp"] = stats.LPValue;
    state.counters["bound"] = stats.TubeLowerBound();
    state.counters["tubes"] = result.UsedAmount;
    TColGenResult trimmed;
    TCGResultOptimizer::OptimizeCGResult(result, data, trimmed);
    state.counters["trimmed"] = trimmed.UsedAmount; // after OptimizeCGResult, not timed
    state.counters["optimal"] = stats.StopReason == TColGenStopReason::Optimal ? 1 : 0;
}

void Sizes(benchmark::internal::Benchmark* b) {
    for (const int n : {20, 60, 200}) {
        for (const int capacity : {6000, 12000, 100000}) {
            b->Args({n, capacity});
        }
    }
    b->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_SolveSubproblem)->Apply(Sizes);
BENCHMARK(BM_DoSolve)->Apply(Sizes);

} // namespace

BENCHMARK_MAIN();
