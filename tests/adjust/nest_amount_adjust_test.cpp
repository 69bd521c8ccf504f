// The amount adjustment: surplus copies out, missing copies nested by the greedy method; on random
// result lists every part ends with exactly its required copies and the plan stays sound.

#include <gtest/gtest.h>

#include "model/random.h"
#include "ordersearch/nest_adjust_tool.h"
#include "support/gap_tables.h"
#include "support/svc_plan_checker.h"

namespace tubenest {
namespace {

using test_support::CheckWholePartPlan;
using testsupport::MakeRandomGaps;
using testsupport::MakeUniformGaps;
using testsupport::Part;
using testsupport::Tube;

TNestResult& AddResult(TNestResultList& list, int tube, int count, TIntDynArray order) {
    auto r = std::make_unique<TNestResult>();
    r->FTubeIndex = tube;
    r->FTubeCount = count;
    r->FPartOrder = std::move(order);
    return list.Add(std::move(r));
}

TEST(AmountAdjust, ThreeCopiesTooManyOnTwoTubesSplitOffOneTube) {
    auto gaps = MakeUniformGaps(2, 0.0);
    TNestResultList results;
    AddResult(results, 1, 2, {1, 2, 1, 1});
    TGeneralNestPartArr working{Part(1000, 3 - 6), Part(500, 0)};
    auto redundant = TNestAdjustTool::DeleteRedundantPart(working, {Tube(6000, 0)}, results, *gaps);
    ASSERT_TRUE(results.Count() == 1 && redundant->Count() == 1);
    EXPECT_EQ(results[0].FTubeCount, 1);
    EXPECT_EQ((*redundant)[0].FTubeCount, 1);
    EXPECT_EQ((*redundant)[0].FPartOrder, (TIntDynArray{2}));
    EXPECT_DOUBLE_EQ((*redundant)[0].FLengthUsed, 500.0); // refreshed at once
    // Two of three copies too many in one tube: the copy still required stays in the pattern.
    TNestResultList one;
    AddResult(one, 1, 1, {1, 2, 1, 1});
    TGeneralNestPartArr twoTooMany{Part(1000, 1 - 3), Part(500, 0)};
    auto kept = TNestAdjustTool::DeleteRedundantPart(twoTooMany, {Tube(6000, 0)}, one, *gaps);
    ASSERT_EQ(kept->Count(), 1);
    EXPECT_EQ((*kept)[0].FPartOrder, (TIntDynArray{1, 2}));

    // A pattern made only of surplus copies leaves no empty pattern behind.
    TNestResultList surplusOnly;
    AddResult(surplusOnly, 1, 1, {1, 1});
    TNestAdjustTool::AdjustPartNum({Part(1000, 0)}, {Tube(6000, 1)}, surplusOnly, *MakeUniformGaps(1, 0.0),
                                   TCADAutoNestParam{});
    EXPECT_TRUE(surplusOnly.Empty());
}

TEST(AmountAdjust, RandomListsEndWithExactlyTheRequiredCopies) {
    TRandomGenerator rng(17);
    for (int round = 0; round < 150; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const int kinds = 1 + rng.Random(6);
        TGeneralNestPartArr parts;
        for (int k = 0; k < kinds; ++k) {
            parts.push_back(Part(200 + rng.Random(1800), rng.Random(9)));
        }
        const TGeneralNestTubeArr tubes{Tube(3000 + rng.Random(3000), 60), Tube(6500, 1 + rng.Random(3))};
        auto gaps = MakeRandomGaps(kinds, rng, -2.0, 15.0);
        // A method's list with surplus and missing copies: random patterns that fit their tubes.
        TNestResultList results;
        std::int32_t tubesLeft[] = {tubes[0].FAmountAvail, tubes[1].FAmountAvail};
        for (int p = rng.Random(6); p > 0; --p) {
            const int tube = 1 + rng.Random(2);
            TNestResult r;
            r.FTubeIndex = tube;
            r.FTubeCount = std::min(rng.Random(3), tubesLeft[tube - 1]);
            tubesLeft[tube - 1] -= r.FTubeCount;
            for (int n = 1 + rng.Random(5); n > 0; --n) {
                r.FPartOrder.push_back((1 + rng.Random(kinds)) * (rng.Random(2) == 1 ? -1 : 1));
                gaps->UpdateNestResultInfo(r, parts);
                if (r.FLengthUsed > tubes[static_cast<std::size_t>(tube - 1)].FTubeInitialLen) {
                    r.FPartOrder.pop_back();
                    break;
                }
            }
            gaps->UpdateNestResultInfo(r, parts);
            if (!r.FPartOrder.empty()) {
                results.AddClone(r);
            }
        }
        TNestAdjustTool::AdjustPartNum(parts, tubes, results, *gaps, TCADAutoNestParam{});
        const auto report = CheckWholePartPlan(results, parts, tubes, *gaps);
        ASSERT_TRUE(report.Ok()) << report.Text();
        for (std::size_t k = 0; k < parts.size(); ++k) {
            EXPECT_EQ(report.NestedAmounts[k], parts[k].FAmountAvail) << "part " << k + 1;
        }
    }
}

} // namespace
} // namespace tubenest
