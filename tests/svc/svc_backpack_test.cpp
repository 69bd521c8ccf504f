// TBackpack construction and the tube-after-tube nesting (SVCNest, AutoNest).

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

TEST(SvcBackpackValues, LongPartsGainShortPartsLose) {
    const TGeneralNestPartArr parts{Part(3000, 1),    Part(1500, 1),     Part(2000, 1),    Part(2999.995, 1),
                                    Part(2999.98, 1), Part(1500.005, 1), Part(1500.02, 1), Part(6000, 1)};
    const TGeneralNestTubeArr tubes{Tube(6000, 1), Tube(12000, 1)};
    auto gaps = MakeUniformGaps(static_cast<int>(parts.size()), 0.0);
    TBackpack backpack(parts, tubes, TCADAutoNestParam{}, *gaps);
    const auto& v = backpack.NestParts();
    ASSERT_EQ(v.size(), parts.size());
    EXPECT_DOUBLE_EQ(v[0].Value, 3150.0);
    EXPECT_DOUBLE_EQ(v[1].Value, 1425.0);
    EXPECT_DOUBLE_EQ(v[2].Value, 2000.0);
    EXPECT_DOUBLE_EQ(v[3].Value, 2999.995 * 1.05); // within the tolerance of half the tube
    EXPECT_DOUBLE_EQ(v[4].Value, 2999.98);
    EXPECT_DOUBLE_EQ(v[5].Value, 1500.005 * 0.95); // within the tolerance of a quarter
    EXPECT_DOUBLE_EQ(v[6].Value, 1500.02);
    EXPECT_DOUBLE_EQ(v[7].Value, 6300.0);
    EXPECT_DOUBLE_EQ(v[7].Length, 6000.0);
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

TEST(SvcBackpackNest, NoPartsOrNoTubesGiveNothing) {
    auto gaps = MakeUniformGaps(1, 0.0);
    for (int variant = 0; variant < 2; ++variant) {
        const TGeneralNestPartArr parts =
            variant == 0 ? TGeneralNestPartArr{} : TGeneralNestPartArr{Part(100, 3)};
        const TGeneralNestTubeArr tubes =
            variant == 0 ? TGeneralNestTubeArr{Tube(1000, 1)} : TGeneralNestTubeArr{};
        TBackpack backpack(parts, tubes, TCADAutoNestParam{}, *gaps);
        TNestResultList results;
        const TNestResultInfo info = backpack.SVCNest(results);
        EXPECT_TRUE(results.Empty());
        EXPECT_EQ(info.TubeUsedCount, 0);
        EXPECT_DOUBLE_EQ(info.MinUsedLength, 0.0);
    }
}

TEST(SvcBackpackNest, PatternIsRepeatedAsOftenAsAmountsAllow) {
    // 2 x 2500 + 1 x 1000 fills 6000 exactly and is worth most; 7 and 5 copies allow it 3 times.
    const TGeneralNestPartArr parts{Part(2500, 7), Part(1000, 5)};
    const TGeneralNestTubeArr tubes{Tube(6000, 10)};
    auto gaps = MakeUniformGaps(2, 0.0);
    TNestResultInfo info;
    const TNestResultList results = NestChecked(parts, tubes, *gaps, {}, &info);
    ASSERT_EQ(results.Count(), 2);
    EXPECT_EQ(results[0].FTubeIndex, 1);
    EXPECT_EQ(results[0].FTubeCount, 3);
    EXPECT_EQ(Counts(results[0].FPartOrder, 2), (std::vector<int>{2, 1}));
    EXPECT_DOUBLE_EQ(results[0].FLengthUsed, 6000.0);
    EXPECT_EQ(results[0].FPartPlaceData.size(), 2u);
    // What is left: 1 x 2500 and 2 x 1000 in one more tube.
    EXPECT_EQ(results[1].FTubeCount, 1);
    EXPECT_EQ(Counts(results[1].FPartOrder, 2), (std::vector<int>{1, 2}));
    EXPECT_DOUBLE_EQ(results[1].FLengthUsed, 4500.0);

    EXPECT_EQ(info.PartUsedCount, 12);
    EXPECT_EQ(info.TubeUsedCount, 4);
    EXPECT_DOUBLE_EQ(info.TotalTubeLeft, 1500.0);
    EXPECT_DOUBLE_EQ(info.MinUsedLength, 4500.0);
    EXPECT_DOUBLE_EQ(info.PartUsedLength, 12 * 1000.0 + 7 * 1500.0);
}

TEST(SvcBackpackNest, TubesRunOutAndLongPartsStayAbsent) {
    // Part 1 fits no tube; part 2 needs more tubes than there are.
    const TGeneralNestPartArr parts{Part(7000, 2), Part(2900, 9)};
    const TGeneralNestTubeArr tubes{Tube(6000, 2), Tube(3000, 1)};
    auto gaps = MakeUniformGaps(2, 10.0);
    TBackpack backpack(parts, tubes, TCADAutoNestParam{}, *gaps);
    TNestResultList results;
    const TNestResultInfo info = backpack.SVCNest(results);
    const auto report = CheckWholePartPlan(results, parts, tubes, *gaps);
    ASSERT_TRUE(report.Ok()) << report.Text();
    // 2 x 2 in the long tubes, 1 in the short one
    EXPECT_EQ(report.NestedAmounts, (std::vector<std::int64_t>{0, 5}));
    EXPECT_EQ(report.TubesUsed, (std::vector<std::int64_t>{2, 1}));
    EXPECT_EQ(info.TubeUsedCount, 3);
}

TEST(SvcBackpackNest, GapsBetweenCopiesAndBetweenPartsAreCounted) {
    // Three copies of 1990 need 5970 + 2 x 20 = 6010 > 6000: only two fit with a 20 mm gap.
    const TGeneralNestPartArr parts{Part(1990, 3)};
    const TGeneralNestTubeArr tubes{Tube(6000, 3)};
    auto gaps = MakeUniformGaps(1, 20.0);
    const TNestResultList results = NestChecked(parts, tubes, *gaps);
    ASSERT_EQ(results.Count(), 2);
    EXPECT_EQ(results[0].FPartOrder.size(), 2u);
    EXPECT_DOUBLE_EQ(results[0].FLengthUsed, 4000.0);
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

TEST(SvcBackpackNest, TubeTiedToAPartStartsWithTheGapFromIt) {
    // Part 1 stands at the start of the tube; part 2 follows it turned (gap 10) rather than in its
    // own direction (gap 30). Copies of part 1 keep 200 mm apart.
    const TGeneralNestPartArr parts{Part(1000, 2), Part(2000, 1)};
    const TGeneralNestTubeArr tubes{Tube(3100, 1, 1)};
    TCADAutoNestParam param;
    param.SetDefaultPartGap(5.0);
    auto gaps = MakeUniformGaps(2, 5.0);
    for (const auto& [a, b, g] :
         {std::tuple{1, 1, 200.0}, {1, -1, 200.0}, {-1, 1, 200.0}, {1, 2, 30.0}, {1, -2, 10.0}}) {
        SetGap(*gaps, a, b, g);
    }
    const TNestResultList results = NestChecked(parts, tubes, *gaps, param);
    ASSERT_EQ(results.Count(), 1);
    EXPECT_EQ(results[0].FPartOrder, (TIntDynArray{-2, 1}));
    EXPECT_DOUBLE_EQ(results[0].FLengthUsed, 10.0 + 2000.0 + 5.0 + 1000.0);

    // Without turning, part 2 enters in its own direction behind the 30 mm gap.
    param.SetDisableReverse(true);
    const TNestResultList straight = NestChecked(parts, tubes, *gaps, param);
    ASSERT_EQ(straight.Count(), 1);
    EXPECT_EQ(straight[0].FPartOrder.front(), 2);
    EXPECT_DOUBLE_EQ(straight[0].FLengthUsed, 30.0 + 2000.0 + 5.0 + 1000.0);
}

TEST(SvcBackpackNest, TiedTubeWithNothingBehindItsPartIsSkipped) {
    // 1495 fits a 1500 tube, but not behind the 10 mm gap from the part standing at its start.
    const TGeneralNestPartArr parts{Part(1000, 0), Part(1495, 2)};
    const TGeneralNestTubeArr tubes{Tube(1500, 3, 1), Tube(1500, 3)};
    auto gaps = MakeUniformGaps(2, 10.0);
    const TNestResultList results = NestChecked(parts, tubes, *gaps);
    ASSERT_EQ(results.Count(), 1);
    EXPECT_EQ(results[0].FTubeIndex, 2);
    EXPECT_EQ(results[0].FTubeCount, 2);
}

TEST(SvcBackpackNest, DisabledReversalNeverTurnsAPart) {
    // Turned neighbours need far smaller gaps, so the order search would turn parts if allowed.
    const TGeneralNestPartArr parts{Part(700, 4), Part(900, 3), Part(450, 5)};
    const TGeneralNestTubeArr tubes{Tube(4000, 5)};
    auto gaps = MakeUniformGaps(3, 40.0);
    for (int a = 1; a <= 3; ++a) {
        for (int b = 1; b <= 3; ++b) {
            SetGap(*gaps, a, -b, 2.0);
            SetGap(*gaps, -a, b, 3.0);
        }
    }
    int turned[2] = {0, 0};
    for (const bool disable : {false, true}) {
        TCADAutoNestParam param;
        param.SetDisableReverse(disable);
        param.SetDefaultPartGap(40.0);
        for (const auto& r : NestChecked(parts, tubes, *gaps, param)) {
            turned[disable ? 1 : 0] += static_cast<int>(
                std::count_if(r->FPartOrder.begin(), r->FPartOrder.end(), [](int ref) { return ref < 0; }));
        }
    }
    EXPECT_GT(turned[0], 0);
    EXPECT_EQ(turned[1], 0);
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

TEST(SvcBackpackAutoNest, CandidatesLoseTheCopiesLaid) {
    const TGeneralNestPartArr parts{Part(1200, 5), Part(700, 2)};
    const TGeneralNestTubeArr tubes{Tube(3000, 1)};
    auto gaps = MakeUniformGaps(2, 0.0);
    TBackpack backpack(parts, tubes, TCADAutoNestParam{}, *gaps);
    TSVCNestParts candidates = backpack.NestParts();
    TSVCNestParts selected;
    TNestResult result;
    backpack.AutoNest(backpack.NestTubes()[0], candidates, selected, result);
    // Values 1200 and 665: 1200 + 2 x 700 (worth 2530) beats 2 x 1200 (2400); 2 x 1200 + 700 overruns.
    EXPECT_EQ(Counts(result.FPartOrder, 2), (std::vector<int>{1, 2}));
    ASSERT_EQ(selected.size(), 2u);
    EXPECT_EQ(selected[1].Amount, 2);
    ASSERT_EQ(candidates.size(), 1u); // part 2 is used up and leaves the list
    EXPECT_EQ(candidates[0].Amount, 4);
    EXPECT_DOUBLE_EQ(result.FLengthUsed, 2600.0);
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

TEST(SvcBackpackNest, TableOverItsLimitIsReportedAsSuch) {
    const TGeneralNestPartArr parts{Part(1000, 2), Part(2000, 2)};
    const TGeneralNestTubeArr tubes{Tube(30000000.0, 2)};
    auto gaps = MakeUniformGaps(2, 0.0);
    TBackpack backpack(parts, tubes, TCADAutoNestParam{}, *gaps);
    TNestResultList results;
    EXPECT_THROW(backpack.SVCNest(results), TSVCTableLimitError);
}

} // namespace
} // namespace tubenest
