// Micro-benchmarks of the host knapsack (TKnapsackSolver::SolveMultiKnapsack) at the sizes the
// nesting methods hand it: capacities of a tube length in hundredths or tenths of a millimetre.
//
// Shapes (fixed seeds):
//   mixed  weights uniform in [capacity/60, capacity/4] (parts of 0.2 to 3 m in a 12 m tube), bounds
//          1..5; a subset usually fills the tube exactly, so the search ends early.
//   long   weights uniform in (capacity/3, capacity/2): at most two parts fit, the tube is almost
//          never filled exactly, so every chunk is processed (the worst case of the bitset).
//   value  the mixed shape with values that differ from the weights (the general dynamic programme).

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "host/knapsack_solver.h"
#include "model/random.h"

namespace {

using namespace tubenest;

struct Instance {
    std::vector<std::int32_t> weights, values, bounds;
};

Instance Make(int items, std::int32_t capacity, int shape) {
    TRandomGenerator rng(static_cast<std::uint64_t>(items) * 1000 + static_cast<std::uint64_t>(shape));
    Instance in;
    for (int i = 0; i < items; ++i) {
        const std::int32_t low = shape == 1 ? capacity / 3 + 1 : capacity / 60;
        const std::int32_t high = shape == 1 ? capacity / 2 : capacity / 4;
        in.weights.push_back(low + rng.Random(high - low));
        in.values.push_back(shape == 2 ? in.weights.back() + rng.Random(in.weights.back() / 10)
                                       : in.weights.back());
        in.bounds.push_back(1 + rng.Random(5));
    }
    return in;
}

void BM_Knapsack(benchmark::State& state, int shape) {
    const auto items = static_cast<int>(state.range(0));
    const auto capacity = static_cast<std::int32_t>(state.range(1));
    const Instance in = Make(items, capacity, shape);
    TKnapsackSolver solver;
    std::vector<std::int32_t> counts;
    std::int64_t value = 0;
    for (auto _ : state) {
        value = solver.SolveMultiKnapsack(in.weights, in.values, in.bounds, capacity, counts);
        benchmark::DoNotOptimize(counts.data());
    }
    state.counters["fill"] = static_cast<double>(value) / capacity;
}

void Sizes(benchmark::internal::Benchmark* b) {
    for (const int items : {50, 200, 800}) {
        for (const int capacity : {1000000, 10000000}) {
            b->Args({items, capacity});
        }
    }
    b->Unit(benchmark::kMillisecond);
}

BENCHMARK_CAPTURE(BM_Knapsack, mixed, 0)->Apply(Sizes);
BENCHMARK_CAPTURE(BM_Knapsack, long, 1)->Apply(Sizes);
BENCHMARK_CAPTURE(BM_Knapsack, value, 2)
    ->Args({50, 100000})
    ->Args({50, 1000000})
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
