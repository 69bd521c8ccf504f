// Tail placement on hand-made cases: the qualification rule per mode, the junction search, the
// tube shortening of the strict strategy and the faults it must not have (endless insertion,
// copies given back twice, joins beyond the tube, strict answers that place less).

#include <gtest/gtest.h>

#include "model/random.h"
#include "support/gap_tables.h"
#include "support/svc_plan_checker.h"
#include "tailplace/strict_tail_place.h"
#include "tailplace/tail_place.h"
#include "tailplace/tail_check.h"

namespace tubenest {
namespace {

using test_support::CheckWholePartPlan;
using testsupport::MakeRandomGaps;
using testsupport::MakeUniformGaps;
using testsupport::OrderGapSum;
using testsupport::Part;
using testsupport::PartMultiset;
using testsupport::RandomOrder;
using testsupport::SetGap;
using testsupport::SignedMultiset;
using testsupport::Tube;

TCADAutoNestParam Param(std::int32_t mode, double tailLength, double gap = 10.0) {
    TCADAutoNestParam p;
    p.SetTailPlaceMode(mode);
    p.SetSpecMinLength(400.0);
    p.SetSpecMaxLength(800.0);
    p.SetTailLength(tailLength);
    p.SetDefaultPartGap(gap);
    return p;
}

std::unique_ptr<TNestResult> Result(std::int32_t tube, std::int32_t count, TIntDynArray order) {
    auto r = std::make_unique<TNestResult>();
    r->FTubeIndex = tube;
    r->FTubeCount = count;
    r->FPartOrder = std::move(order);
    return r;
}

// Parts: 1 = 1000 (head), 2 = 500 (spec), 3 = 2000 (head); uniform gap 10.
struct QualifyCase {
    const char* name;
    std::int32_t mode;
    double tube;
    double tailLength;
    TIntDynArray order;
    bool qualified;
};

TEST(TailPlaceCases, QualificationFollowsTheModeRule) {
    const QualifyCase cases[] = {
        // Mode 1 without spec parts: fits, free rest 1990 >= 1500.
        {"mode 1, no spec part, rest reaches the tail", 1, 3000, 1500, {1}, true},
        {"mode 1, no spec part, rest short of the tail", 1, 3000, 2500, {1}, false},
        // Mode 1 with a spec part: 1000 + 10 + 500 = 1510, rest 490, spec + rest = 990.
        {"mode 1, spec group plus rest reach the tail", 1, 2000, 990, {2, 1}, true},
        {"mode 1, spec group plus rest just short", 1, 2000, 990.01, {2, 1}, false},
        {"mode 1, pattern longer than the tube", 1, 1400, 10, {2, 1}, false},
        {"mode 2, spec part that fits", 2, 1510, 99999, {2, 1}, true},
        {"mode 2, no spec part, room for one", 2, 1500, 0, {1}, true},
        {"mode 2, no spec part, room exactly the window's start", 2, 1400, 0, {1}, false},
        {"mode 0 qualifies nothing", 0, 5000, 0, {1, 2}, false},
        {"mode 3 qualifies nothing", 3, 5000, 0, {1, 2}, false},
    };
    const TGeneralNestPartArr parts{Part(1000, 9), Part(500, 9), Part(2000, 9)};
    auto gaps = MakeUniformGaps(3, 10.0);
    for (const QualifyCase& c : cases) {
        SCOPED_TRACE(c.name);
        const TGeneralNestTubeArr tubes{Tube(c.tube, 9)};
        TTailPlace place(parts, tubes, Param(c.mode, c.tailLength), *gaps);
        TQualifiedNestResult q(*Result(1, 1, c.order));
        EXPECT_EQ(place.QualifyResult(q), c.qualified);
        EXPECT_EQ(q.IsQualified, c.qualified);
        if (c.qualified) {
            // The order is rewritten head first, tail last, and its used length refreshed.
            ASSERT_FALSE(q.NestResult->FPartOrder.empty());
            if (!q.Specs.empty()) {
                EXPECT_EQ(std::abs(q.NestResult->FPartOrder.back()), 2);
            }
            EXPECT_NEAR(q.NestResult->FLengthUsed, q.UsedLen, 1e-9);
            EXPECT_TRUE(q.NestResult->FIsTailPlacedQualified);
        } else {
            EXPECT_EQ(q.NestResult->FPartOrder, c.order);
        }
    }
}

TEST(TailPlaceCases, IndexOutsideThePartArrayIsNeverSpecAndSuchListsAreLeftAlone) {
    const TGeneralNestPartArr parts{Part(500, 2)};
    const TGeneralNestTubeArr tubes{Tube(3000, 2)};
    auto gaps = MakeUniformGaps(1, 10.0);
    TTailPlace place(parts, tubes, Param(2, 100), *gaps);
    EXPECT_TRUE(place.IsSpecPart(0));
    EXPECT_FALSE(place.IsSpecPart(1));
    EXPECT_FALSE(place.IsSpecPart(-1));
    // A split piece (reference 2 with one part) cannot be measured: the list stays as it was.
    TNestResultList list;
    list.Add(Result(1, 1, {1, 2}));
    EXPECT_FALSE(place.TryTailPlace(list));
    EXPECT_EQ(list[0].FPartOrder, (TIntDynArray{1, 2}));
    EXPECT_FALSE(list[0].FIsTailPlacedQualified);
}

TEST(TailPlaceCases, JunctionSearchNeverLengthensAndKeepsTheParts) {
    TRandomGenerator rng(11);
    for (int round = 0; round < 200; ++round) {
        const int kinds = 2 + rng.Random(5);
        auto gaps = MakeRandomGaps(kinds, rng, 0.0, 20.0);
        TGeneralNestPartArr parts;
        for (int k = 0; k < kinds; ++k) {
            parts.push_back(Part(100.0 + k, 5));
        }
        TTailPlace place(parts, {Tube(10000, 1)}, Param(1, 0), *gaps);
        TIntDynArray first = RandomOrder(kinds, 1 + rng.Random(5), rng);
        TIntDynArray second = RandomOrder(kinds, 1 + rng.Random(5), rng);
        TIntDynArray joined = first;
        joined.insert(joined.end(), second.begin(), second.end());
        const double before = OrderGapSum(*gaps, joined);
        TIntDynArray f = first;
        TIntDynArray s = second;
        const bool moved = place.TryOptimizePartPosofTwoOrder(f, s, round % 3 != 0);
        TIntDynArray after = f;
        after.insert(after.end(), s.begin(), s.end());
        EXPECT_EQ(PartMultiset(f), PartMultiset(first));
        EXPECT_EQ(PartMultiset(s), PartMultiset(second));
        EXPECT_LE(OrderGapSum(*gaps, after), before + 1e-9);
        if (moved) {
            EXPECT_LT(OrderGapSum(*gaps, after), before - 0.01);
        }
        if (round % 3 == 0) {
            // Without reversal no part is turned.
            EXPECT_EQ(SignedMultiset(f), SignedMultiset(first));
            EXPECT_EQ(SignedMultiset(s), SignedMultiset(second));
        }
    }
}

TEST(TailPlaceCases, ExchangeAtExactlyTwiceTheTailLengthIsNotTried) {
    const TGeneralNestPartArr parts{Part(1000, 4), Part(500, 4)};
    const TGeneralNestTubeArr tubes{Tube(2000, 4)};
    auto gaps = MakeUniformGaps(2, 0.0);
    // Each pattern: spec 500 + remnant 500 = 1000; together 2000 = 2 x 1000.
    TEcoTailPlace eco(parts, tubes, Param(1, 1000), *gaps);
    TQualifiedNestResult a(*Result(1, 1, {2, 1}));
    TQualifiedNestResult b(*Result(1, 1, {1, 2}));
    eco.QualifyResult(a);
    eco.QualifyResult(b);
    ASSERT_NEAR(a.SpecLen + a.Remnant + b.SpecLen + b.Remnant, 2000.0, 1e-9);
    const TIntDynArray orderA = a.NestResult->FPartOrder;
    EXPECT_FALSE(eco.TryExchange(a, b));
    EXPECT_EQ(a.NestResult->FPartOrder, orderA);
}

// ---- Strict strategy -------------------------------------------------------------------------

TEST(TailPlaceCases, OnePhysicalEntryIsSplitForTwoTailSegments) {
    // 5 tubes, tail segments of 2 and 3 tubes: two shortened entries of the same physical entry.
    const TGeneralNestPartArr parts{Part(1000, 5), Part(500, 5)};
    const TGeneralNestTubeArr tubes{Tube(6000, 5)};
    auto gaps = MakeUniformGaps(2, 10.0);
    TStrictTailPlace strict(parts, tubes, Param(1, 500, 10), *gaps);
    std::vector<std::int32_t> related;
    ASSERT_TRUE(strict.InitializeSpecInfo(related));
    TNestResultList tail;
    tail.Add(Result(1, 2, {2}));
    tail.Add(Result(1, 3, {-2}));
    tail[0].FLengthUsed = 300; // shorter than the tail length: the tail length is reserved
    tail[1].FLengthUsed = 700;
    std::vector<std::int32_t> headRelated;
    strict.GenerateRelatedIdxes(tail, headRelated, related);
    ASSERT_EQ(strict.OtherTubes().size(), 2u);
    EXPECT_EQ(strict.OtherTubes()[0].FAmountAvail, 2);
    EXPECT_EQ(strict.OtherTubes()[1].FAmountAvail, 3);
    EXPECT_DOUBLE_EQ(strict.OtherTubes()[0].FTubeInitialLen, 6000 - 510); // 300/500/10 -> 510
    EXPECT_DOUBLE_EQ(strict.OtherTubes()[1].FTubeInitialLen, 6000 - 710);
    EXPECT_EQ(related, (std::vector<std::int32_t>{0, 0}));
    EXPECT_EQ(headRelated, (std::vector<std::int32_t>{0, 1}));
}

TEST(TailPlaceCases, TubesBeyondTheTailSegmentsKeepTheirLength) {
    const TGeneralNestPartArr parts{Part(1000, 5), Part(500, 1)};
    const TGeneralNestTubeArr tubes{Tube(6000, 4), Tube(5000, 2)};
    auto gaps = MakeUniformGaps(2, 10.0);
    TStrictTailPlace strict(parts, tubes, Param(1, 500, 10), *gaps);
    std::vector<std::int32_t> related;
    ASSERT_TRUE(strict.InitializeSpecInfo(related));
    TNestResultList tail;
    tail.Add(Result(1, 1, {2}));
    tail[0].FLengthUsed = 500;
    std::vector<std::int32_t> headRelated;
    strict.GenerateRelatedIdxes(tail, headRelated, related);
    ASSERT_EQ(strict.OtherTubes().size(), 3u);
    EXPECT_DOUBLE_EQ(strict.OtherTubes()[0].FTubeInitialLen, 5490);
    EXPECT_EQ(strict.OtherTubes()[0].FAmountAvail, 1);
    EXPECT_DOUBLE_EQ(strict.OtherTubes()[1].FTubeInitialLen, 6000);
    EXPECT_EQ(strict.OtherTubes()[1].FAmountAvail, 3);
    EXPECT_DOUBLE_EQ(strict.OtherTubes()[2].FTubeInitialLen, 5000);
    EXPECT_EQ(related, (std::vector<std::int32_t>{0, 0, 1}));
    EXPECT_EQ(headRelated.size(), 1u);
}

TEST(TailPlaceCases, RunningOutOfTubesGivesBackOnlyUnassignedCopies) {
    // 4 tubes, tail segments of 3 and 3 tubes: the second keeps 1 tube, 2 copies go back.
    const TGeneralNestPartArr parts{Part(1000, 1), Part(500, 6)};
    const TGeneralNestTubeArr tubes{Tube(6000, 4)};
    auto gaps = MakeUniformGaps(2, 10.0);
    TStrictTailPlace strict(parts, tubes, Param(1, 500, 10), *gaps);
    std::vector<std::int32_t> related;
    ASSERT_TRUE(strict.InitializeSpecInfo(related));
    TNestResultList tail;
    tail.Add(Result(1, 3, {2}));
    tail.Add(Result(1, 3, {2}));
    TGeneralNestPartArr spec = strict.SpecParts();
    TStrictTailPlace::RemoveNestedParts(spec, tail);
    EXPECT_EQ(spec[1].FAmountAvail, 0);
    std::vector<std::int32_t> headRelated;
    strict.GenerateRelatedIdxes(tail, headRelated, related);
    EXPECT_EQ(tail[1].FTubeCount, 1);
    // Given back: 2 of the 6 (the spec parts started at 6 and RemoveNestedParts was on a copy).
    EXPECT_EQ(strict.SpecParts()[1].FAmountAvail, 6 + 2);
}

TEST(TailPlaceCases, InsertingAsManyCopiesAsTubesEnds) {
    const TGeneralNestPartArr parts{Part(1000, 3), Part(500, 3)};
    const TGeneralNestTubeArr tubes{Tube(3000, 3)};
    auto gaps = MakeUniformGaps(2, 10.0);
    TStrictTailPlace strict(parts, tubes, Param(1, 500, 10), *gaps);
    TNestResultList list;
    list.Add(Result(1, 3, {1}));
    std::int32_t amount = 3;
    EXPECT_TRUE(strict.TryInsertSpecPart(1, amount, list));
    EXPECT_EQ(amount, 0);
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(PartMultiset(list[0].FPartOrder), (std::vector<std::int32_t>{1, 2}));
    EXPECT_NEAR(list[0].FLengthUsed, 1510, 1e-9);
    // Fewer copies than tubes: the pattern is split.
    amount = 1;
    EXPECT_TRUE(strict.TryInsertSpecPart(1, amount, list));
    EXPECT_EQ(amount, 0);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list[0].FTubeCount + list[1].FTubeCount, 3);
}

TEST(TailPlaceCases, JoinsAreMeasuredWithTheRealGap) {
    // Head 1000 on a tube shortened for a 500 tail with a 10 mm allowance; the real gap from the
    // head to the tail is 200 mm: 1000 + 200 + 500 > 1600.
    const TGeneralNestPartArr parts{Part(1000, 1), Part(500, 1)};
    const TGeneralNestTubeArr tubes{Tube(1600, 1)};
    auto gaps = MakeUniformGaps(2, 10.0);
    for (const std::int32_t a : {1, -1}) {
        for (const std::int32_t b : {2, -2}) {
            SetGap(*gaps, a, b, 200.0);
        }
    }
    TCADAutoNestParam param = Param(1, 500, 10);
    param.SetDisableReverse(true);
    TStrictTailPlace strict(parts, tubes, param, *gaps);
    TNestResultList head;
    head.Add(Result(1, 1, {1}));
    TNestResultList tail;
    tail.Add(Result(1, 1, {2}));
    strict.ConnectHeadTail(head, tail, {0}, {0});
    EXPECT_EQ(head[0].FPartOrder, (TIntDynArray{1}));
    EXPECT_EQ(tail[0].FTubeCount, 1); // not used: its copy is still to be placed
}

TEST(TailPlaceCases, StrictRefusesWhatItCannotDo) {
    const TGeneralNestPartArr noSpec{Part(1000, 2)};
    const TGeneralNestPartArr withSpec{Part(1000, 2), Part(500, 2)};
    auto gaps = MakeUniformGaps(2, 10.0);
    struct Case {
        const char* name;
        TGeneralNestPartArr parts;
        TGeneralNestTubeArr tubes;
        std::int32_t mode;
    };
    const Case cases[] = {
        {"no spec copy", noSpec, {Tube(3000, 2)}, 1},
        {"no tube", withSpec, {}, 1},
        {"no tube with an amount", withSpec, {Tube(3000, 0)}, 2},
        {"mode 0", withSpec, {Tube(3000, 2)}, 0},
        {"mode 3", withSpec, {Tube(3000, 2)}, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TStrictTailPlace strict(c.parts, c.tubes, Param(c.mode, 500), *gaps);
        TNestResultList list;
        list.Add(Result(1, 1, {1}));
        EXPECT_FALSE(strict.RunTailPlace(list));
        ASSERT_EQ(list.Count(), 1);
        EXPECT_EQ(list[0].FPartOrder, (TIntDynArray{1}));
    }
}

TEST(TailPlaceCases, StrictAnswerThatQualifiesNothingMoreIsNotTaken) {
    // Every pattern of the list already qualifies: a strict answer cannot qualify more tubes.
    const TGeneralNestPartArr parts{Part(1000, 2), Part(500, 2)};
    const TGeneralNestTubeArr tubes{Tube(1600, 2)};
    auto gaps = MakeUniformGaps(2, 10.0);
    gaps->InitializePartGaps(); // as the host does before any method runs
    TStrictTailPlace strict(parts, tubes, Param(1, 500, 10), *gaps);
    TNestResultList list;
    list.Add(Result(1, 2, {1, 2}));
    EXPECT_FALSE(strict.RunTailPlace(list));
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list[0].FTubeCount, 2);
}

TEST(TailPlaceCases, StrictPlacementQualifiesTubesTheEconomicalOneCannot) {
    // Two tubes of 3200 cut as [1500, 1500] (190 mm free, short of a 600 mm tail) and
    // [1000, 1000, 500, 500]: the exchange re-nests the two tubes as [1500, 1000, 500] each.
    const TGeneralNestPartArr parts{Part(1000, 2), Part(500, 2), Part(1500, 2)};
    const TGeneralNestTubeArr tubes{Tube(3200, 2)};
    auto gaps = MakeUniformGaps(3, 10.0);
    gaps->InitializePartGaps();
    const TCADAutoNestParam param = Param(1, 600, 10);
    TNestResultList list;
    list.Add(Result(1, 1, {3, 3}));
    list.Add(Result(1, 1, {1, 1, 2, 2}));
    for (auto& r : list) {
        gaps->UpdateNestResultInfo(*r, parts);
    }
    TTailPlace place(parts, tubes, param, *gaps);
    place.TryTailPlace(list);
    const auto report = CheckWholePartPlan(list, parts, tubes, *gaps);
    ASSERT_TRUE(report.Ok()) << report.Text();
    EXPECT_EQ(report.NestedAmounts, (std::vector<std::int64_t>{2, 2, 2}));
    std::int32_t qualified = 0;
    for (const auto& r : list) {
        qualified += r->FIsTailPlacedQualified ? r->FTubeCount : 0;
    }
    EXPECT_EQ(qualified, 2);
    const auto tails = tailtest::CheckFlaggedTails(list, parts, tubes, *gaps, param);
    EXPECT_TRUE(tails.empty()) << tailtest::Join(tails);
}

} // namespace
} // namespace tubenest
