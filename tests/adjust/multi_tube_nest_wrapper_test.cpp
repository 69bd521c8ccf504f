// The multi-tube wrapper's construction and its method operations.

#include <gtest/gtest.h>

#include "adjust/multi_tube_nest_wrapper.h"
#include "colgen/cg_nest.h"
#include "model/random.h"
#include "support/gap_tables.h"
#include "support/svc_plan_checker.h"
#include "svc/svc_nest.h"
#include "treesearch/greedy_nest.h"

namespace tubenest {
namespace {

using test_support::CheckWholePartPlan;
using testsupport::MakeRandomGaps;
using testsupport::MakeUniformGaps;
using testsupport::Part;
using testsupport::Tube;

TEST(MultiTubeNestWrapper, SvcNestReportsWhatTheMethodNested) {
    // Part 1 fits no tube and part 2 more copies than the tubes hold: both stay short, with no
    // adjustment of the amounts.
    const TGeneralNestPartArr parts{Part(7000, 2), Part(2900, 9), Part(1100, 3)};
    const TGeneralNestTubeArr tubes{Tube(6000, 3)};
    TCADAutoNestParam param;
    param.SetDefaultPartGap(10.0);
    auto gaps = MakeUniformGaps(3, 10.0);
    TMultiTubeNestWrapper wrapper(parts, tubes, *gaps, param);

    TNestResultList results;
    results.Add(std::make_unique<TNestResult>()).FPartOrder = {3};
    EXPECT_TRUE(wrapper.SVCNest(results));
    ASSERT_GE(results.Count(), 2);
    EXPECT_EQ(results[0].FPartOrder, (TIntDynArray{3})); // the caller's entry is kept

    TNestResultList direct;
    TBackpack(parts, tubes, param, *gaps).SVCNest(direct);
    ASSERT_EQ(direct.Count(), results.Count() - 1);
    for (int k = 0; k < direct.Count(); ++k) {
        EXPECT_EQ(results[k + 1].FPartOrder, direct[k].FPartOrder);
        EXPECT_EQ(results[k + 1].FTubeCount, direct[k].FTubeCount);
        EXPECT_EQ(results[k + 1].FTubeIndex, direct[k].FTubeIndex);
    }
    results.Delete(0);
    const auto report = CheckWholePartPlan(results, parts, tubes, *gaps);
    ASSERT_TRUE(report.Ok()) << report.Text();
    EXPECT_EQ(report.NestedAmounts[0], 0);
    EXPECT_LT(report.NestedAmounts[1], 9);
}

// Gaps that depend on orientation (some common cuts below 0), parts longer than the short tube
// entry that comes first, parts of a millimetre or less that the linear programme leaves out.
TEST(MultiTubeNestWrapper, CgNestPlansAreSoundAndPlaceEveryCopyThatFits) {
    TRandomGenerator rng(16);
    for (int round = 0; round < 25; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const int kinds = 2 + rng.Random(12);
        TGeneralNestPartArr parts;
        for (int k = 0; k < kinds; ++k) {
            const double length =
                k == 0 && round % 3 == 0 ? 0.5 + 0.5 * rng.Random(2) : 200 + rng.Random(2300);
            parts.push_back(Part(length, 1 + rng.Random(8)));
        }
        parts.push_back(Part(3500, 1)); // longer than every tube
        const TGeneralNestTubeArr tubes{Tube(1800, 40), Tube(3000, 60)};
        TCADAutoNestParam param;
        param.SetDefaultPartGap(rng.Random(10));
        auto gaps = MakeRandomGaps(kinds + 1, rng, -2.0, 12.0, param);
        gaps->InitializePartGaps();

        TNestResultList direct; // the method alone: sound, copies it could not place left out
        TColumnGenerationNest cg(parts, tubes, param);
        cg.SetGapTable(gaps.get());
        cg.GetLeastTubeResult(direct);
        const auto alone = CheckWholePartPlan(direct, parts, tubes, *gaps);
        ASSERT_TRUE(alone.Ok()) << alone.Text();

        TNestResultList results;
        EXPECT_TRUE(TMultiTubeNestWrapper(parts, tubes, *gaps, param).CGNest(results));
        const auto report = CheckWholePartPlan(results, parts, tubes, *gaps);
        ASSERT_TRUE(report.Ok()) << report.Text();
        for (int k = 0; k < kinds; ++k) {
            EXPECT_EQ(report.NestedAmounts[static_cast<std::size_t>(k)],
                      parts[static_cast<std::size_t>(k)].FAmountAvail)
                << "part " << k + 1;
        }
        EXPECT_EQ(report.NestedAmounts[static_cast<std::size_t>(kinds)], 0);
    }
}

} // namespace
} // namespace tubenest
