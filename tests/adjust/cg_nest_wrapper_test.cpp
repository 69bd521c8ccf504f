// The column generation method through the wrapper: sound plans that place every copy.

#include <gtest/gtest.h>

#include "adjust/multi_tube_nest_wrapper.h"
#include "colgen/cg_nest.h"
#include "model/random.h"
#include "support/gap_tables.h"
#include "support/svc_plan_checker.h"

namespace tubenest {
namespace {

using test_support::CheckWholePartPlan;
using testsupport::MakeRandomGaps;
using testsupport::Part;
using testsupport::Tube;

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
