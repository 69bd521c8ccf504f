// Micro-benchmarks of the gap manager and the in-tube order searches on random gap tables (fixed
// seeds, so every run times the same work).

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "ordersearch/nest_adjust_tool.h"
#include "model/random.h"
#include "model/seg_place_info.h"

namespace {

using namespace tubenest;

// Every record calculated, FixedGap uniform in [0, 20) mm; the two same-direction diagonal records
// agree, as in a host's table.
std::unique_ptr<TSegPlaceInfoManager> RandomGaps(int parts, TRandomGenerator& rng) {
    auto gaps = std::make_unique<TSegPlaceInfoManager>(parts, TCADAutoNestParam());
    gaps->InitTable();
    auto draw = [&rng](std::int32_t id) {
        TNestBaseInfo r;
        r.ID = id;
        r.FixedGap = 20.0 * rng.RandomFloat();
        r.Caled = true;
        return r;
    };
    for (int i = 0; i < parts; ++i) {
        for (int j = 0; j <= i; ++j) {
            TSegPlaceInfo e{draw(kA1B1_A2B2), draw(kA2B2_A1B1), draw(kA1B1_B2A2), draw(kB2A2_A1B1)};
            if (i == j) {
                e.A2B2_A1B1.FixedGap = e.A1B1_A2B2.FixedGap;
            }
            gaps->SetSegPlaceInfo(i, j, e);
        }
    }
    return gaps;
}

// Parts 1..n once each, in random order and direction.
TIntDynArray RandomOrder(int n, TRandomGenerator& rng) {
    TIntDynArray order;
    for (int k = 1; k <= n; ++k) {
        order.insert(order.begin() + rng.Random(k), rng.Random(2) == 0 ? k : -k);
    }
    return order;
}

void BM_GetA1B1Info(benchmark::State& state) {
    TRandomGenerator rng(11);
    const auto gaps = RandomGaps(50, rng);
    std::vector<std::pair<int, int>> refs;
    for (int k = 0; k < 1024; ++k) {
        const int a = 1 + rng.Random(50);
        const int b = 1 + rng.Random(50);
        refs.emplace_back(rng.Random(2) == 0 ? a : -a, rng.Random(2) == 0 ? b : -b);
    }
    std::size_t k = 0;
    for (auto _ : state) {
        const auto& [a, b] = refs[k++ & 1023];
        benchmark::DoNotOptimize(gaps->GetA1B1Info(a, b));
    }
}
BENCHMARK(BM_GetA1B1Info);

void BM_CalcMinLen(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    TRandomGenerator rng(22);
    const auto gaps = RandomGaps(n, rng);
    gaps->InitializePartGaps();
    TIntDynArray idx, amounts;
    for (int p = 0; p < n; ++p) {
        gaps->FPartLengths.push_back(100.0 + 900.0 * rng.RandomFloat());
        idx.push_back(p);
        amounts.push_back(1 + rng.Random(4));
    }
    TIntDynArray chain;
    for (auto _ : state) {
        benchmark::DoNotOptimize(gaps->CalcMinLen(idx, amounts, &chain));
    }
}
BENCHMARK(BM_CalcMinLen)->Arg(10)->Arg(50);

void BM_CalcTsp(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    TRandomGenerator rng(33);
    const auto gaps = RandomGaps(n, rng);
    const TIntDynArray start = RandomOrder(n, rng);
    for (auto _ : state) {
        TIntDynArray order = start;
        benchmark::DoNotOptimize(TNestAdjustTool::CalcTsp(order, *gaps, 0, true, false));
    }
}
BENCHMARK(BM_CalcTsp)->Arg(20)->Arg(60)->Unit(benchmark::kMicrosecond);

void BM_TryOptimizePartPos(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    TRandomGenerator rng(44);
    const auto gaps = RandomGaps(n, rng);
    const TIntDynArray start = RandomOrder(n, rng);
    for (auto _ : state) {
        TIntDynArray order = start;
        double avl = 0.0;
        benchmark::DoNotOptimize(TNestAdjustTool::TryOptimizePartPos(order, *gaps, 6000.0, avl, false));
    }
}
BENCHMARK(BM_TryOptimizePartPos)->Arg(20)->Arg(60)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
