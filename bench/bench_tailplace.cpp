// Tail placement (TTailPlace) on 20, 100 and 200 patterns of 6000 mm tubes whose part copies are
// about 20 % tail parts (lengths 400..800 mm) standing anywhere in the tube; economical strategy
// alone and economical then strict. Instances come from a fixed seed.

#include <benchmark/benchmark.h>

#include <memory>

#include "model/random.h"
#include "model/seg_place_info.h"
#include "tailplace/tail_place.h"

namespace {

using namespace tubenest;

struct Instance {
    TGeneralNestPartArr parts;
    TGeneralNestTubeArr tubes;
    std::unique_ptr<TSegPlaceInfoManager> gaps;
    TCADAutoNestParam param;
    TNestResultList patterns;
};

TNestBaseInfo Record(std::int32_t id, double gap) {
    TNestBaseInfo r;
    r.ID = id;
    r.FixedGap = gap;
    r.ZGap = gap;
    r.Caled = true;
    return r;
}

/// 30 part kinds, 6 of them tail parts; each pattern is filled with random copies (one in five a
/// tail part) until the next does not fit; the part amounts are what the patterns hold.
Instance MakeInstance(int patterns, std::int32_t strategy) {
    TRandomGenerator random(20261206);
    Instance in;
    constexpr int kinds = 30;
    constexpr int tailKinds = 6;
    for (int i = 0; i < kinds; ++i) {
        TGeneralNestPart p;
        p.FOuterlength = i < tailKinds ? 400.0 + random.RandomFloat() * 400.0 : 850.0 + random.RandomFloat() * 1800.0;
        p.RealBoxLength = p.FOuterlength;
        in.parts.push_back(p);
    }
    TGeneralNestTube t;
    t.FTubeInitialLen = 6000.0;
    t.FAmountAvail = patterns;
    in.tubes.push_back(t);
    in.param.SetDefaultPartGap(5.0);
    in.param.SetTailPlaceMode(1);
    in.param.SetSpecMinLength(400.0);
    in.param.SetSpecMaxLength(800.0);
    in.param.SetTailLength(1400.0);
    in.param.SetTailPlaceStrategy(strategy);
    in.gaps = std::make_unique<TSegPlaceInfoManager>(kinds, in.param);
    in.gaps->InitTable();
    auto draw = [&random]() { return 2.0 + random.RandomFloat() * 8.0; };
    for (int i = 0; i < kinds; ++i) {
        for (int j = 0; j <= i; ++j) {
            TSegPlaceInfo info;
            info.A1B1_A2B2 = Record(1, draw());
            info.A2B2_A1B1 = Record(2, draw());
            info.A1B1_B2A2 = Record(3, draw());
            info.B2A2_A1B1 = Record(4, draw());
            in.gaps->SetSegPlaceInfo(i, j, info);
        }
    }
    in.gaps->InitializePartGaps();
    for (int k = 0; k < patterns; ++k) {
        auto r = std::make_unique<TNestResult>();
        r->FTubeIndex = 1;
        r->FTubeCount = 1;
        double used = 0.0;
        while (true) {
            const int kind = random.Random(5) == 0 ? random.Random(tailKinds) : tailKinds + random.Random(kinds - tailKinds);
            const std::int32_t ref = kind + 1;
            const double gap = r->FPartOrder.empty() ? 0.0 : in.gaps->GetGap(r->FPartOrder.back(), ref);
            const double next = used + gap + in.parts[static_cast<std::size_t>(kind)].FOuterlength;
            if (next > 6000.0) {
                break;
            }
            used = next;
            r->FPartOrder.push_back(ref);
            ++in.parts[static_cast<std::size_t>(kind)].FAmountAvail;
        }
        in.gaps->UpdateNestResultInfo(*r, in.parts);
        in.patterns.Add(std::move(r));
    }
    return in;
}

void BM_TailPlace(benchmark::State& state) {
    const Instance in = MakeInstance(static_cast<int>(state.range(0)), static_cast<std::int32_t>(state.range(1)));
    std::int64_t qualified = 0;
    for (auto _ : state) {
        TNestResultList list = in.patterns;
        TTailPlace place(in.parts, in.tubes, in.param, *in.gaps);
        place.TryTailPlace(list);
        qualified = 0;
        for (const auto& r : list) {
            qualified += r->FIsTailPlacedQualified ? r->FTubeCount : 0;
        }
        benchmark::DoNotOptimize(list);
    }
    state.counters["qualified_tubes"] = static_cast<double>(qualified);
}

// Second argument: TailPlaceStrategy (1 economical only, 0 economical then strict).
BENCHMARK(BM_TailPlace)
    ->ArgsProduct({{20, 100, 200}, {1, 0}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
