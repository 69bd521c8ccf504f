// TBackpack input checks and the tube-after-tube nesting (SVCNest).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <tuple>

#include "model/nest_progress.h"
#include "support/gap_tables.h"
#include "support/svc_plan_checker.h"
#include "svc/svc_nest.h"
#include "svc_test_util.h"

namespace tubenest {
namespace {

using svc_test::Counts;
using test_support::CheckWholePartPlan;
using testsupport::MakeUniformGaps;
using testsupport::Part;
using testsupport::SetGap;
using testsupport::Tube;

/// Runs SVCNest and checks the plan with the independent checker.
TNestResultList NestChecked(const TGeneralNestPartArr& AParts, const TGeneralNestTubeArr& ATubes,
                            const TSegPlaceInfoManager& AGaps, const TCADAutoNestParam& AParam = {},
                            TNestResultInfo* AInfo = nullptr) {
    TBackpack backpack(AParts, ATubes, AParam, AGaps);
    TNestResultList results;
    const TNestResultInfo info = backpack.SVCNest(results);
    if (AInfo != nullptr) {
        *AInfo = info;
    }
    const auto report = CheckWholePartPlan(results, AParts, ATubes, AGaps);
    EXPECT_TRUE(report.Ok()) << report.Text();
    return results;
}

TEST(SvcBackpackInput, RejectsBadRecords) {
    auto gaps = MakeUniformGaps(2, 0.0);
    const TCADAutoNestParam param;
    EXPECT_THROW(TBackpack({Part(100, -1)}, {Tube(1000, 1)}, param, *gaps), std::invalid_argument);
    EXPECT_THROW(TBackpack({Part(0, 2)}, {Tube(1000, 1)}, param, *gaps), std::invalid_argument);
    EXPECT_THROW(TBackpack({Part(std::nan(""), 1)}, {Tube(1000, 1)}, param, *gaps), std::invalid_argument);
    EXPECT_THROW(TBackpack({Part(100, 1)}, {Tube(-5, 1)}, param, *gaps), std::invalid_argument);
    EXPECT_THROW(TBackpack({Part(100, 1)}, {Tube(1000, -1)}, param, *gaps), std::invalid_argument);
    EXPECT_THROW(TBackpack({Part(100, 1)}, {Tube(1000, 1, 3)}, param, *gaps), std::out_of_range);
    EXPECT_THROW(TBackpack({Part(1, 1), Part(1, 1), Part(1, 1)}, {Tube(1000, 1)}, param, *gaps),
                 std::invalid_argument);
    // An unused slot of zero length (as pricing callers fill them) is fine.
    EXPECT_NO_THROW(TBackpack({Part(0, 0), Part(100, 1)}, {Tube(1000, 1)}, param, *gaps));
}

TEST(SvcBackpackNest, FillingsThatWouldOverrunTheTubeAreShortened) {
    // Parts 2 and 3 keep 100 mm apart, every other pair 0. The table keeps one last part per cell,
    // so the first filling is part 3 alone; the join to the next filling is estimated with the
    // capped part gap (0), and the best next filling, part 2, would really need 2500 + 100 + 500.
    const TGeneralNestPartArr parts{Part(500, 2), Part(500, 2), Part(2500, 2)};
    const TGeneralNestTubeArr tubes{Tube(3000, 10)};
    auto gaps = MakeUniformGaps(3, 0.0);
    for (const auto& [a, b] : {std::pair{2, 3}, {3, 2}, {2, -3}, {-3, 2}}) {
        SetGap(*gaps, a, b, 100.0);
    }
    const TNestResultList results = NestChecked(parts, tubes, *gaps);
    EXPECT_EQ(CheckWholePartPlan(results, parts, tubes, *gaps).NestedAmounts,
              (std::vector<std::int64_t>{2, 2, 2}));
    for (const auto& r : results) {
        const auto c = Counts(r->FPartOrder, 3);
        EXPECT_FALSE(c[1] > 0 && c[2] > 0) << "parts 2 and 3 cannot share a 3000 mm tube";
    }
}

TEST(SvcBackpackNest, GapsBelowTheToleranceStillCountInTheRealLength) {
    // The table treats a 0.009 mm gap as none: ten copies of 100 would really need 1000.081 mm.
    const TGeneralNestPartArr parts{Part(100, 10)};
    const TGeneralNestTubeArr tubes{Tube(1000, 2)};
    auto gaps = MakeUniformGaps(1, 0.009);
    const TNestResultList results = NestChecked(parts, tubes, *gaps);
    ASSERT_EQ(results.Count(), 2);
    EXPECT_EQ(results[0].FPartOrder.size(), 9u);
    EXPECT_NEAR(results[0].FLengthUsed, 900.072, 1e-9);
}

TEST(SvcBackpackNest, StopRequestEndsWithWhatIsNested) {
    TNestProgress progress(nullptr);
    progress.CustomStop();
    NestProgress = &progress;
    struct Reset {
        ~Reset() { NestProgress = nullptr; }
    } reset;
    const TGeneralNestPartArr parts{Part(1000, 4)};
    const TGeneralNestTubeArr tubes{Tube(2000, 5)};
    auto gaps = MakeUniformGaps(1, 0.0);
    TBackpack backpack(parts, tubes, TCADAutoNestParam{}, *gaps);
    TNestResultList results;
    const TNestResultInfo info = backpack.SVCNest(results);
    EXPECT_TRUE(results.Empty());
    EXPECT_EQ(info.PartUsedCount, 0);
}


TEST(SvcBackpackNest, CopiesThatFitAtRealLengthsAreNotLostToRounding) {
    // The table rounds parts up and tubes down to whole millimetres: 2 x 2999.9 = 5999.8 fits a
    // 5999.85 mm tube, 5999.5 fits 5999.7; both must be laid, checked at real lengths.
    struct Case {
        double part;
        std::int32_t copies;
        double tube;
        std::int32_t tubes;
        std::int64_t tubesUsed;
    };
    for (const Case& c : {Case{2999.9, 4, 5999.85, 3, 2}, Case{5999.5, 2, 5999.7, 2, 2}}) {
        const TGeneralNestPartArr parts{Part(c.part, c.copies)};
        const TGeneralNestTubeArr tubes{Tube(c.tube, c.tubes)};
        auto gaps = MakeUniformGaps(1, 0.0);
        TBackpack backpack(parts, tubes, TCADAutoNestParam{}, *gaps);
        TNestResultList results;
        backpack.SVCNest(results);
        const auto report = CheckWholePartPlan(results, parts, tubes, *gaps);
        ASSERT_TRUE(report.Ok()) << report.Text();
        EXPECT_EQ(report.NestedAmounts, (std::vector<std::int64_t>{c.copies})) << c.part;
        EXPECT_EQ(report.TubesUsed, (std::vector<std::int64_t>{c.tubesUsed})) << c.part;
    }
}

} // namespace
} // namespace tubenest
