// SVC nesting: the knapsack table alone, whole SVC runs and multi-pattern pricing, for 20 and 60
// part kinds on 6000 and 12000 mm tubes. Instances come from a fixed seed.

#include <benchmark/benchmark.h>

#include <memory>

#include "model/random.h"
#include "model/seg_place_info.h"
#include "svc/svc_nest.h"

namespace {

using namespace tubenest;

struct Instance {
    TGeneralNestPartArr parts;
    TGeneralNestTubeArr tubes;
    std::unique_ptr<TSegPlaceInfoManager> gaps;
    TCADAutoNestParam param;
};

TNestBaseInfo Record(std::int32_t id, double gap) {
    TNestBaseInfo r;
    r.ID = id;
    r.FixedGap = gap;
    r.ZGap = gap;
    r.Caled = true;
    return r;
}

/// Part lengths 150..3150 mm, 1..10 copies each, gaps 2..20 mm differing by orientation.
Instance MakeInstance(int kinds, double tubeLength) {
    TRandomGenerator random(20240611);
    Instance in;
    for (int i = 0; i < kinds; ++i) {
        TGeneralNestPart p;
        p.FOuterlength = 150.0 + random.RandomFloat() * 3000.0;
        p.RealBoxLength = p.FOuterlength;
        p.FAmountAvail = 1 + random.Random(10);
        in.parts.push_back(p);
    }
    TGeneralNestTube t;
    t.FTubeInitialLen = tubeLength;
    t.FAmountAvail = 1000;
    in.tubes.push_back(t);
    in.param.SetDefaultPartGap(20.0);
    in.gaps = std::make_unique<TSegPlaceInfoManager>(kinds, in.param);
    in.gaps->InitTable();
    auto draw = [&random]() { return 2.0 + random.RandomFloat() * 18.0; };
    for (int i = 0; i < kinds; ++i) {
        for (int j = 0; j <= i; ++j) {
            TSegPlaceInfo e;
            e.A1B1_A2B2 = Record(kA1B1_A2B2, draw());
            e.A2B2_A1B1 = i == j ? Record(kA2B2_A1B1, e.A1B1_A2B2.FixedGap) : Record(kA2B2_A1B1, draw());
            e.A1B1_B2A2 = Record(kA1B1_B2A2, draw());
            e.B2A2_A1B1 = Record(kB2A2_A1B1, draw());
            in.gaps->SetSegPlaceInfo(i, j, e);
        }
    }
    return in;
}

void SetLabels(benchmark::State& state, int kinds, int tube) {
    const double cells = (kinds + 1.0) * (tube + 1.0);
    state.counters["cells"] = cells;
    state.counters["table_MB"] = cells * sizeof(NestInfor) / (1024.0 * 1024.0);
}

void BM_BulidSegPackage(benchmark::State& state) {
    const int kinds = static_cast<int>(state.range(0));
    const int tube = static_cast<int>(state.range(1));
    const Instance in = MakeInstance(kinds, tube);
    TBackpack backpack(in.parts, in.tubes, in.param, *in.gaps);
    const TSVCNestParts parts = backpack.NestParts();
    for (auto _ : state) {
        backpack.BulidSegPackage(tube, parts, *in.gaps);
        benchmark::DoNotOptimize(backpack.Matrix().Row(kinds));
    }
    SetLabels(state, kinds, tube);
}

void BM_SVCNest(benchmark::State& state) {
    const int kinds = static_cast<int>(state.range(0));
    const int tube = static_cast<int>(state.range(1));
    const Instance in = MakeInstance(kinds, tube);
    int patterns = 0;
    for (auto _ : state) {
        TBackpack backpack(in.parts, in.tubes, in.param, *in.gaps);
        TNestResultList results;
        const TNestResultInfo info = backpack.SVCNest(results);
        benchmark::DoNotOptimize(info.PartUsedCount);
        patterns = results.Count();
    }
    SetLabels(state, kinds, tube);
    state.counters["patterns"] = patterns;
}

void BM_AutoMultiNest(benchmark::State& state) {
    const int kinds = static_cast<int>(state.range(0));
    const int tube = static_cast<int>(state.range(1));
    const Instance in = MakeInstance(kinds, tube);
    TBackpack backpack(in.parts, in.tubes, in.param, *in.gaps);
    TSVCNestParts input = backpack.NestParts();
    TRandomGenerator random(7);
    for (auto& p : input) {
        p.Value = random.RandomFloat(); // dual-like prices
    }
    int patterns = 0;
    for (auto _ : state) {
        TSVCNestPartsList selections;
        TNestResultList results;
        backpack.AutoMultiNest(tube, input, selections, *in.gaps, results, 0.0);
        patterns = results.Count();
    }
    SetLabels(state, kinds, tube);
    state.counters["patterns"] = patterns;
}

void Sizes(benchmark::internal::Benchmark* b) {
    for (const int kinds : {20, 60}) {
        for (const int tube : {6000, 12000}) {
            b->Args({kinds, tube});
        }
    }
    b->ArgNames({"kinds", "tube"})->Unit(benchmark::kMillisecond);
}

// One large table for the memory and time scale: 200 kinds on 24 m tubes (116 MB).
BENCHMARK(BM_BulidSegPackage)->Apply(Sizes)->Args({200, 24000});
BENCHMARK(BM_SVCNest)->Apply(Sizes);
BENCHMARK(BM_AutoMultiNest)->Apply(Sizes);

} // namespace

BENCHMARK_MAIN();
