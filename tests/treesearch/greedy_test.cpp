// Greedy nesting: the overhang rule, a stopped run, and every plan on random instances
// (orientation-dependent and negative gaps, real lengths below outer lengths) through the
// independent whole-part checker.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "host/app_services.h"
#include "model/nest_progress.h"
#include "support/gap_tables.h"
#include "support/svc_plan_checker.h"
#include "treesearch/greedy_nest.h"

namespace tubenest {
namespace {

using test_support::CheckWholePartPlan;
using testsupport::MakeRandomGaps;
using testsupport::MakeUniformGaps;
using testsupport::Part;
using testsupport::Tube;

/// Prepared as the multi-tube wrapper prepares it.
std::unique_ptr<TGreedyNesting> Greedy(const TGeneralNestPartArr& parts, const TGeneralNestTubeArr& tubes,
                                       const TSegPlaceInfoManager& gaps, const TCADAutoNestParam& param) {
    auto greedy = std::make_unique<TGreedyNesting>(parts, tubes, param);
    greedy->SetGapTable(&gaps);
    greedy->InitGreedyNestParts(gaps, param);
    greedy->InitPairPick(gaps);
    greedy->AppendMyPartlist(nullptr, true);
    return greedy;
}

TNestResultList NestGreedily(const TGeneralNestPartArr& parts, const TGeneralNestTubeArr& tubes,
                             const TSegPlaceInfoManager& gaps, const TCADAutoNestParam& param) {
    TNestResultList results;
    Greedy(parts, tubes, gaps, param)->GetLeastTubeResult(results);
    return results;
}

TCADAutoNestParam KeepOrder(bool disableReverse = true) {
    TCADAutoNestParam p;
    p.SetTailPlaceMode(1); // no re-ordering of finished tubes
    p.SetDisableReverse(disableReverse);
    return p;
}

TEST(Greedy, NeighboursMayOverhangByAHundredthTheFirstPartMayNot) {
    auto gaps = MakeUniformGaps(2, 0.005);
    const auto one = NestGreedily({Part(600, 1), Part(400, 1)}, {Tube(1000, 1)}, *gaps, KeepOrder());
    ASSERT_EQ(one.Count(), 1);
    EXPECT_EQ(one[0].FPartOrder.size(), 2u);
    const auto none = NestGreedily({Part(1000.005, 1)}, {Tube(1000, 1)}, *gaps, KeepOrder());
    EXPECT_TRUE(none.Empty());
}

struct Instance {
    TGeneralNestPartArr parts;
    TGeneralNestTubeArr tubes;
    std::unique_ptr<TSegPlaceInfoManager> gaps;
    TCADAutoNestParam param;
    bool ample = false;
};

/// Gaps from -20 (common cuts) to 25 mm differing by orientation, some common-cut data, real
/// lengths up to 10 % below the outer ones, random cut-offs, some parts longer than every tube.
Instance RandomInstance(TRandomGenerator& rng) {
    Instance in;
    in.ample = rng.Random(2) == 0;
    const int nTubes = 1 + rng.Random(3);
    for (int t = 0; t < nTubes; ++t) {
        in.tubes.push_back(Tube(1500.0 + rng.RandomFloat() * 6000.0, in.ample ? 1000 : 1 + rng.Random(5)));
    }
    const int nParts = 1 + rng.Random(10);
    for (int p = 0; p < nParts; ++p) {
        TGeneralNestPart part =
            Part(rng.Random(15) == 0 ? 8000.0 : 30.0 + rng.RandomFloat() * 2500.0, rng.Random(9));
        part.RealBoxLength = part.FOuterlength * (0.9 + 0.1 * rng.RandomFloat());
        part.CutoffALength = rng.Random(3) * 5.0;
        part.CutoffBLength = rng.Random(3) * 5.0;
        in.parts.push_back(part);
    }
    in.param.SetDisableReverse(rng.Random(3) == 0);
    in.param.SetTailPlaceMode(rng.Random(3) == 0 ? 1 : 0);
    in.gaps = MakeRandomGaps(nParts, rng, -20.0, 25.0, in.param);
    for (int k = 0; k < nParts; ++k) {
        TNestBaseInfo r = in.gaps->GetA1B1Info(1 + rng.Random(nParts), -(1 + rng.Random(nParts)));
        r.CommonLength = rng.Random(2) * 40.0;
        r.IsCommon = r.CommonLength > 0.0;
        r.CommonStyle = rng.Random(2);
        in.gaps->SetA1B1Info(1 + rng.Random(nParts), 1 + rng.Random(nParts), r);
    }
    return in;
}

TEST(Greedy, EveryRandomPlanPassesTheIndependentChecker) {
    TRandomGenerator rng(20241207);
    for (int instance = 0; instance < 300; ++instance) {
        SCOPED_TRACE("instance " + std::to_string(instance));
        Instance in = RandomInstance(rng);
        auto greedy = Greedy(in.parts, in.tubes, *in.gaps, in.param);
        greedy->SetUsePairNestBranch(rng.Random(4) != 0);
        greedy->SetBranchCopyValue(rng.Random(2) == 0);
        TNestResultList results;
        greedy->GetLeastTubeResult(results);
        const auto report = CheckWholePartPlan(results, in.parts, in.tubes, *in.gaps);
        ASSERT_TRUE(report.Ok()) << report.Text();
        double longest = 0.0;
        for (const auto& t : in.tubes) {
            longest = std::max(longest, t.FTubeInitialLen);
        }
        for (std::size_t p = 0; p < in.parts.size(); ++p) {
            if (in.ample && in.parts[p].FOuterlength <= longest) {
                EXPECT_EQ(report.NestedAmounts[p], in.parts[p].FAmountAvail) << "part " << p + 1;
            }
        }
        for (const auto& r : results) {
            for (const std::int32_t ref : r->FPartOrder) {
                EXPECT_TRUE(ref > 0 || !in.param.DisableReverse());
            }
        }
    }
}

TEST(Greedy, AStoppedRunReturnsTheTubesItFilled) {
    // Distinct lengths and one tube per entry: a long chain of tubes, stopped after a few.
    TGeneralNestPartArr parts;
    for (int k = 0; k < 40; ++k) {
        parts.push_back(Part(700.0 + 37.0 * k, 1));
    }
    const TGeneralNestTubeArr tubes{Tube(2000, 100)};
    auto gaps = MakeUniformGaps(40, 3.0);
    TNestProgress progress(nullptr);
    NestProgress = &progress;
    int polls = 0;
    SetApplicationProgressSink([&](const std::string&, int, int) {
        if (++polls == 4) {
            progress.CustomStop();
        }
    });
    auto greedy = Greedy(parts, tubes, *gaps, TCADAutoNestParam{});
    TNestResultList results;
    greedy->GetLeastTubeResult(results);
    SetApplicationProgressSink({});
    NestProgress = nullptr;
    const auto report = CheckWholePartPlan(results, parts, tubes, *gaps);
    ASSERT_TRUE(report.Ok()) << report.Text();
    EXPECT_GE(results.Count(), 2);
    EXPECT_LT(results.Count(), 20);
}

} // namespace
} // namespace tubenest
