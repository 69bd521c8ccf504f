// One circular nest run per iteration, as the particle swarm makes them: a fresh nest on a shared
// parameter record, one order of all part copies.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "circular/circular_nest.h"
#include "model/random.h"

namespace {

using namespace tubenest;

struct TBenchProblem {
    TGeneralNestPartArr Parts;
    TGeneralNestTubeArr Tubes;
    TCADAutoNestParam Param;
    std::unique_ptr<TSegPlaceInfoManager> Gaps;
    std::vector<std::unique_ptr<TSeparatableIntervals>> Intervals;
    std::vector<TIntDynArray> Orders;
    TNestAlgorithmParam Record;
};

std::unique_ptr<TBenchProblem> MakeProblem(std::int32_t APartCount, std::int32_t ACutShape) {
    auto p = std::make_unique<TBenchProblem>();
    TRandomGenerator random(12345);
    TIntDynArray copies;
    for (std::int32_t k = 0; k < APartCount; ++k) {
        TGeneralNestPart part;
        part.FOuterlength = std::round(200.0 + 4800.0 * random.RandomFloat());
        if (k % 7 == 0) {
            part.FOuterlength += 4000.0; // longer than a tube: must be split
        }
        part.RealBoxLength = part.FOuterlength;
        part.FAmountAvail = 2 + random.Random(7);
        p->Parts.push_back(part);
        auto list = std::make_unique<TSeparatableIntervals>();
        list->Add(TClosedInterval::Create(60.0, part.FOuterlength - 60.0));
        list->FBackCutOffPos = part.FOuterlength;
        p->Intervals.push_back(std::move(list));
        for (std::int32_t c = 0; c < part.FAmountAvail; ++c) {
            copies.push_back(k + 1);
        }
    }
    for (const double len : {6000.0, 6500.0}) {
        TGeneralNestTube tube;
        tube.FTubeInitialLen = len;
        tube.FAmountAvail = 200;
        p->Tubes.push_back(tube);
    }
    p->Param.SetDefaultPartGap(5.0);
    p->Param.SetCutShape(ACutShape);
    p->Param.SetZShapeLength(40.0);
    p->Param.SetBevelLength(10.0);
    p->Gaps = std::make_unique<TSegPlaceInfoManager>(APartCount, p->Param);
    p->Gaps->InitTable();
    for (auto& row : p->Gaps->FSegPlaceInfoTable) {
        for (auto& cell : row) {
            for (TNestBaseInfo* info : {&cell.A1B1_A2B2, &cell.A2B2_A1B1, &cell.A1B1_B2A2, &cell.B2A2_A1B1}) {
                info->FixedGap = 5.0;
                info->Caled = true;
            }
        }
    }
    for (int o = 0; o < 64; ++o) {
        TIntDynArray order = copies;
        for (std::int32_t i = static_cast<std::int32_t>(order.size()) - 1; i > 0; --i) {
            std::swap(order[static_cast<std::size_t>(i)],
                      order[static_cast<std::size_t>(random.Random(i + 1))]);
        }
        p->Orders.push_back(std::move(order));
    }
    std::vector<double> lengths{6000.0, 6500.0};
    p->Record.Init(p->Intervals, p->Parts, p->Tubes, *p->Gaps, p->Param, lengths);
    return p;
}

void BM_CircularNestMain(benchmark::State& state) {
    const auto problem =
        MakeProblem(static_cast<std::int32_t>(state.range(0)), static_cast<std::int32_t>(state.range(1)));
    std::size_t i = 0;
    for (auto _ : state) {
        auto nest = CreateCircularNest(problem->Record);
        nest->CircularNestMain(problem->Orders[i++ % problem->Orders.size()]);
        benchmark::DoNotOptimize(nest->FNestResults.Count());
    }
}
BENCHMARK(BM_CircularNestMain)->Args({10, 0})->Args({30, 0})->Args({30, 1})->Args({30, 2})->Args({60, 0});

} // namespace

BENCHMARK_MAIN();
