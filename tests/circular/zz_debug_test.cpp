#include <gtest/gtest.h>
#include <cstdio>
#include <cstdlib>
#include "circular/circular_nest.h"
#include "support/circular_instances.h"
#include "support/circular_plan_checker.h"
namespace tubenest {
using namespace testsupport;
static TIntDynArray Shuffled(const TCircularInstance& AInst, TRandomGenerator& ARandom) {
    TIntDynArray order = AInst.FullOrder();
    for (std::int32_t i = static_cast<std::int32_t>(order.size()) - 1; i > 0; --i)
        std::swap(order[static_cast<std::size_t>(i)], order[static_cast<std::size_t>(ARandom.Random(i + 1))]);
    for (auto& ref : order) if (ARandom.RandomFloat() < 0.2) ref = -ref;
    return order;
}
TEST(ZZDebug, One) {
    const char* e = std::getenv("DBG"); if (!e) GTEST_SKIP();
    int shape, tight, gaps, seed, inst, runWanted; std::sscanf(e, "%d,%d,%d,%d,%d,%d", &shape, &tight, &gaps, &seed, &inst, &runWanted);
    TRandomGenerator random(static_cast<std::uint64_t>(seed));
    for (int i = 0; i <= inst; ++i) {
        TRandomInstanceOptions o; o.CutShape = shape; o.TightTubes = tight; o.RandomGaps = gaps;
        auto in = MakeRandomInstance(random, o);
        auto param = in->AlgorithmParam();
        for (int run = 0; run < 3; ++run) {
            auto nest = CreateCircularNest(param);
            TIntDynArray order;
            if (run == 0) { int a; nest->InitialNestSolve(a); } else { order = Shuffled(*in, random); nest->CircularNestMain(order); }
            if (i == inst && run == runWanted) {
                std::printf("gap %.2f shape %d Z %.1f off %.1f bevel %.1f dis %d\n", in->Param.DefaultPartGap(), shape, in->Param.ZShapeLength(), in->Param.ZShapeOffset(), in->Param.BevelLength(), in->Param.DisAllowance());
                for (size_t k = 0; k < in->Parts.size(); ++k) { std::printf("part %zu len %.1f amt %d iv:", k+1, in->Parts[k].FOuterlength, in->Parts[k].FAmountAvail); if (in->Intervals[k]) for (auto& iv : *in->Intervals[k]) std::printf(" [%.1f,%.1f]", iv.ParamStart, iv.ParamEnd); std::printf("\n"); }
                for (auto& t : in->Tubes) std::printf("tube %.1f x%d\n", t.FTubeInitialLen, t.FAmountAvail);
                std::printf("order:"); for (auto o2 : order) std::printf(" %d", o2); std::printf("\n");
                for (auto& r : nest->FNestResults) { std::printf("tube %d used %.2f:", r->FTubeIndex, r->FLengthUsed); for (auto o2 : r->FPartOrder) std::printf(" %d", o2); std::printf("\n"); }
                for (auto& c : nest->FCutNestParts) std::printf("cut from %d at %.2f x%d\n", c.From, c.Length, c.Amount);
                for (size_t k = 0; k < in->Parts.size(); ++k) std::printf("avail %zu: %d\n", k+1, nest->FNestParts[k].FAmountAvail);
                std::printf("repaired %d\n", nest->RepairedEntries());
                return;
            }
        }
    }
}
}
