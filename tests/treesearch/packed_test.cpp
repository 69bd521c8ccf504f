// Packed nesting: the overflow test, the node limit, and plans on random instances (with the
// wrapper's amount adjustment) through the independent whole-part checker.

#include <gtest/gtest.h>

#include "adjust/multi_tube_nest_wrapper.h"
#include "model/random.h"
#include "support/gap_tables.h"
#include "support/svc_plan_checker.h"
#include "treesearch/packed_nest.h"

namespace tubenest {
namespace {

using test_support::CheckWholePartPlan;
using testsupport::MakeRandomGaps;
using testsupport::MakeUniformGaps;
using testsupport::Part;
using testsupport::Tube;

std::int64_t Copies(const TNestResultList& results) {
    std::int64_t n = 0;
    for (const auto& r : results) {
        n += static_cast<std::int64_t>(r->FPartOrder.size()) * r->FTubeCount;
    }
    return n;
}

TEST(Packed, FillingsThatOverflowWithTheGapsKeepThePartsThatFit) {
    const TGeneralNestTubeArr tubes{Tube(2000, 3)};
    const TGeneralNestPartArr pair{Part(600, 1), Part(399.99, 1)};
    TPackedNest check(pair, tubes, TCADAutoNestParam{});
    TNestBaseInfoList infos;
    for (const double gap : {0.0, 0.02}) {
        auto gaps = MakeUniformGaps(2, gap);
        check.PreProcess(*gaps);
        EXPECT_DOUBLE_EQ(check.CheckResult(infos, {1, 2}, 1000.0, 0),
                         gap == 0.0 ? 999.99 : TPackedNest::kNoFilling);
    }
    // Four copies fill the knapsack exactly; with 5 mm gaps only three fit a tube.
    const TGeneralNestPartArr parts{Part(500, 4)};
    auto gaps = MakeUniformGaps(1, 5.0);
    TPackedNest packed(parts, tubes, TCADAutoNestParam{});
    packed.PreProcess(*gaps);
    TNestResultList results;
    packed.GetLeastTubeResult(results);
    EXPECT_EQ(Copies(results), 4);
    EXPECT_TRUE(CheckWholePartPlan(results, parts, tubes, *gaps).Ok());
}

TEST(Packed, TheFiveHundredAndFirstNodeEndsItsLineAndTheWrapperNestsTheRest) {
    // One tube entry per tube, so every tube is a node of its own.
    const TGeneralNestPartArr parts{Part(1000, 600)};
    TGeneralNestTubeArr tubes(600, Tube(1000, 1));
    auto gaps = MakeUniformGaps(1, 0.0);
    TPackedNest packed(parts, tubes, TCADAutoNestParam{});
    packed.PreProcess(*gaps);
    TNestResultList results;
    packed.GetLeastTubeResult(results);
    EXPECT_EQ(Copies(results), 501);

    TNestResultList adjusted;
    EXPECT_TRUE(TMultiTubeNestWrapper(parts, tubes, *gaps, TCADAutoNestParam{}).PackedNest(adjusted));
    EXPECT_EQ(Copies(adjusted), 600);
    EXPECT_FALSE(TMultiTubeNestWrapper(parts, tubes, *gaps, TCADAutoNestParam{}).RunAllNest(adjusted));
}

TEST(Packed, RandomInstancesGiveSoundPlansAndTheWrapperEveryCopy) {
    TRandomGenerator rng(23);
    for (int round = 0; round < 80; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const int kinds = 1 + rng.Random(8);
        TGeneralNestPartArr parts;
        for (int k = 0; k < kinds; ++k) {
            parts.push_back(Part(100 + rng.Random(2900) + 0.01 * rng.Random(100), 1 + rng.Random(10)));
        }
        const TGeneralNestTubeArr tubes{Tube(3000 + rng.Random(1000), 2 + rng.Random(30)),
                                        Tube(6000, 1 + rng.Random(40))};
        TCADAutoNestParam param;
        param.SetDisableReverse(rng.Random(2) == 1);
        auto gaps = MakeRandomGaps(kinds, rng, -1.0, 12.0, param);
        TPackedNest packed(parts, tubes, param);
        packed.PreProcess(*gaps);
        TNestResultList raw;
        packed.GetLeastTubeResult(raw);
        const auto rawReport = CheckWholePartPlan(raw, parts, tubes, *gaps);
        ASSERT_TRUE(rawReport.Ok()) << rawReport.Text();

        TNestResultList adjusted;
        TMultiTubeNestWrapper(parts, tubes, *gaps, param).PackedNest(adjusted);
        const auto report = CheckWholePartPlan(adjusted, parts, tubes, *gaps);
        ASSERT_TRUE(report.Ok()) << report.Text();
        // Every missing copy fits a free tube alone: with enough free tubes none may stay missing.
        std::int64_t spare = 0;
        for (std::size_t t = 0; t < tubes.size(); ++t) {
            spare += tubes[t].FAmountAvail - rawReport.TubesUsed[t];
        }
        for (std::size_t k = 0; k < parts.size(); ++k) {
            spare -= parts[k].FAmountAvail - rawReport.NestedAmounts[k];
        }
        for (std::size_t k = 0; spare >= 0 && k < parts.size(); ++k) {
            EXPECT_EQ(report.NestedAmounts[k], parts[k].FAmountAvail);
        }
    }
}

} // namespace
} // namespace tubenest
