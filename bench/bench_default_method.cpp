// The default method through the facade, as a user runs it: the circular method at growing copy
// counts, and how long a time-limited run takes past its limit (the stop latency).
//
//   bench_default_method --benchmark_filter=Circular     (minutes: one run per size)
//   bench_default_method --benchmark_filter=StopLatency
//
// Each size is one run (the machine is shared and a run is long); repeat with
// --benchmark_repetitions and read the medians.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <string>

#include "api/solve.h"
#include "model/random.h"

namespace {

using namespace tubenest;

/// 20 part kinds of 200 to 2500 mm, the copies spread over them, 6000 mm stock in plenty.
api::Problem TwentyKinds(std::int64_t copies) {
    TRandomGenerator random(20);
    api::Problem p;
    for (int k = 0; k < 20; ++k) {
        api::PartSpec part;
        part.id = "P" + std::to_string(k + 1);
        part.length = std::round(2000.0 + 23000.0 * random.RandomFloat()) / 10.0;
        part.amount = 1;
        p.parts.push_back(part);
    }
    for (std::int64_t c = 20; c < copies; ++c) {
        ++p.parts[static_cast<std::size_t>(random.Random(20))].amount;
    }
    p.stock.push_back(api::StockSpec{"S6000", 6000.0, 10000000});
    p.gaps.kerf = 3.0;
    return p;
}

void Circular(benchmark::State& state) {
    const api::Problem problem = TwentyKinds(state.range(0));
    api::SolveOptions options;
    options.method = "circular";
    options.seed = 1;
    api::Plan plan;
    for (auto _ : state) {
        plan = api::Solve(problem, options);
    }
    state.counters["tubes"] = static_cast<double>(plan.totals.tubes_used);
    state.counters["welds"] = static_cast<double>(plan.totals.welds);
    state.counters["placed"] = static_cast<double>(plan.totals.copies_placed);
}
BENCHMARK(Circular)
    ->Arg(2000)
    ->Arg(10000)
    ->Arg(100000)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

/// Seconds from the time limit to the return of Solve, as manual time.
void StopLatency(benchmark::State& state) {
    const api::Problem problem = TwentyKinds(state.range(0));
    api::SolveOptions options;
    options.method = "circular";
    options.seed = 1;
    options.time_limit_seconds = 0.2;
    std::int64_t placed = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const api::Plan plan = api::Solve(problem, options);
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(elapsed > options.time_limit_seconds ? elapsed - options.time_limit_seconds
                                                                    : 0.0);
        placed = plan.totals.copies_placed;
    }
    state.counters["placed"] = static_cast<double>(placed);
}
BENCHMARK(StopLatency)
    ->Arg(2000)
    ->Arg(100000)
    ->Arg(300000)
    ->Arg(1000000)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
