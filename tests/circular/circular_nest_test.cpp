// The circular nest and its cut shapes on small hand-made orders.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "circular/circular_nest.h"
#include "model/random.h"
#include "support/circular_instances.h"
#include "support/circular_plan_checker.h"

namespace tubenest {
namespace {

using testsupport::CheckCircularPlan;
using testsupport::ExpectResults;
using testsupport::MakeInstance;
using testsupport::MakeRandomInstance;
using testsupport::MakeSeparableStretches;
using testsupport::TCircularInstance;

class TNestProbe : public TCircularNest {
public:
    using TCircularNest::TCircularNest;
};

/// Runs an order and checks the plan with the independent checker (unplaced copies allowed).
template <typename TNest = TStraightCutNest>
std::unique_ptr<TNest> RunOrder(const TCircularInstance& AInst, const TIntDynArray& AOrder) {
    auto nest = std::make_unique<TNest>(AInst.AlgorithmParam());
    nest->CircularNestMain(AOrder);
    auto manager = nest->CreateCutPartsManager();
    testsupport::TCircularPlanCheckOptions options;
    options.AllowUnplaced = true;
    const auto check = CheckCircularPlan(AInst.Parts, AInst.Tubes, *AInst.Gaps, AInst.Param,
                                         nest->FNestResults, nest->FCutNestParts, *manager, options);
    EXPECT_TRUE(check.ok) << check.Report();
    return nest;
}

/// Tube, order and used length of every result, for comparing whole runs.
std::string Dump(const TNestResultList& AList) {
    std::ostringstream out;
    for (const auto& r : AList) {
        out << r->FTubeIndex << ':' << ::testing::PrintToString(r->FPartOrder) << '@' << r->FLengthUsed
            << ';';
    }
    return out.str();
}

TEST(CircularNest, AnExactFitClosesTheTubeAndTheNextPartStartsAFreshOne) {
    auto inst = MakeInstance({{2000, 3}, {1000, 1}}, {{6000, 3}}, 0, 100);
    auto nest = RunOrder(*inst, {1, 1, 1, 2});
    ExpectResults(nest->FNestResults, {{{1, 1, 1}, 6000}, {{2}, 1000}});
    EXPECT_TRUE(nest->FCutNestParts.IsEmpty());
    EXPECT_EQ(nest->FNestTubes[0].FAmountAvail, 1);
}

TEST(CircularNest, APartCrossingTheTubeEndIsSplitWhereTheTubeEnds) {
    auto inst = MakeInstance({{4000, 2}}, {{6000, 2}}, 0, 100);
    auto nest = RunOrder(*inst, {1, 1});
    ASSERT_EQ(nest->FCutNestParts.Count(), 1);
    EXPECT_DOUBLE_EQ(nest->FCutNestParts[0].Length, 2000);
    EXPECT_EQ(nest->FCutNestParts[0].Amount, 1);
    ExpectResults(nest->FNestResults, {{{1, 2}, 6000}, {{3}, 2000}});
}

TEST(CircularNest, ACutOutsideTheSeparableStretchesMovesBackToTheNearestOne) {
    auto inst = MakeInstance({{4000, 2}}, {{6000, 2}}, 0, 100);
    inst->Intervals[0] = MakeSeparableStretches(4000, {{100, 1970}, {2100, 3900}});
    auto nest = RunOrder(*inst, {1, 1});
    ASSERT_EQ(nest->FCutNestParts.Count(), 1);
    EXPECT_NEAR(nest->FCutNestParts[0].Length, 1970, 1e-5); // 30 mm before the tube end
    ExpectResults(nest->FNestResults, {{{1, 2}, 5970}, {{3}, 2030}});
}

TEST(CircularNest, AFrontPieceOf1_1MillimetresOrLessIsNotCut) {
    // The nearest separable stretch ends 1.05 mm into the part.
    auto inst = MakeInstance({{4000, 2}}, {{6000, 2}}, 0, 100);
    inst->Intervals[0] = MakeSeparableStretches(4000, {{0.5, 1.05}, {3000, 3900}});
    auto nest = RunOrder(*inst, {1, 1});
    EXPECT_TRUE(nest->FCutNestParts.IsEmpty());
    ExpectResults(nest->FNestResults, {{{1}, 4000}, {{1}}}); // 4000 exact, not the whole tube

    // The tube is all but full when the next part arrives: a cut 1 mm into it is no split either,
    // even though the part is separable there.
    auto full = MakeInstance({{2999.5, 2}, {1000, 1}}, {{6000, 2}}, 0, 100);
    full->Intervals[1] = MakeSeparableStretches(1000, {{0, 500}});
    auto second = RunOrder(*full, {1, 1, 2});
    EXPECT_TRUE(second->FCutNestParts.IsEmpty());
    ExpectResults(second->FNestResults, {{{1, 1}}, {{2}}});
}

TEST(CircularNest, ASplitTurnedPartIsCutWhereItsFrontPieceFits) {
    // Part 2 laid turned after part 1 meets it without a gap; its front piece, laid in its own
    // direction, meets part 1 with 10 mm: the cut moves 10 mm back so the tube holds exactly 6000.
    auto inst = MakeInstance({{3000, 1}, {4000, 1}}, {{6000, 2}}, 0, 100);
    TNestBaseInfo gap;
    gap.FixedGap = 10;
    gap.Caled = true;
    inst->Gaps->SetA1B1Info(1, 2, gap);
    auto nest = RunOrder(*inst, {1, -2});
    ASSERT_EQ(nest->FCutNestParts.Count(), 1);
    EXPECT_DOUBLE_EQ(nest->FCutNestParts[0].Length, 2990);
    ExpectResults(nest->FNestResults, {{{1, 3}, 6000}, {{}, 1010}});
    EXPECT_EQ(nest->RepairedEntries(), 0);
}

TEST(CircularNest, RepeatedSplitsShareTheirPieceNumbers) {
    // 3000 mm parts in 5000 mm tubes cut at 2000, then at 1000, then fill a tube exactly; the
    // pattern repeats and the seventh copy is cut at 2000 again.
    auto inst = MakeInstance({{3000, 7}}, {{5000, 6}}, 0, 100);
    auto nest = RunOrder(*inst, TIntDynArray(7, 1));
    ASSERT_EQ(nest->FCutNestParts.Count(), 2);
    EXPECT_DOUBLE_EQ(nest->FCutNestParts[0].Length, 2000);
    EXPECT_EQ(nest->FCutNestParts[0].Amount, 2);
    EXPECT_DOUBLE_EQ(nest->FCutNestParts[1].Length, 1000);
    EXPECT_EQ(nest->FCutNestParts[1].Amount, 1);
    EXPECT_EQ(nest->FNewPartOrder, 6);
    std::vector<int> count(6, 0);
    for (const auto& r : nest->FNestResults) {
        for (const std::int32_t ref : r->FPartOrder) {
            ++count[static_cast<std::size_t>(ref)];
        }
    }
    EXPECT_EQ(count[1], 4); // whole copies
    EXPECT_EQ(count[2], 2); // front of the 2000 split, twice
    EXPECT_EQ(count[3], 2); // its back piece, twice
    EXPECT_EQ(count[4], 1);
    EXPECT_EQ(count[5], 1);
    EXPECT_EQ(nest->FNestResults.Count(), 5);
    EXPECT_FALSE(nest->PiecesRenumbered());
}

TEST(CircularNest, WithNoTubeLeftALoneCrossingPartGivesItsTubeBack) {
    auto inst = MakeInstance({{1500, 1}}, {{1000, 1}}, 0, 100);
    auto nest = RunOrder(*inst, {1});
    EXPECT_EQ(nest->FNestResults.Count(), 0);
    EXPECT_EQ(nest->FNestParts[0].FAmountAvail, 1);
    EXPECT_EQ(nest->FNestTubes[0].FAmountAvail, 1);
    EXPECT_FALSE(nest->FIsTubesEnough);
}

TEST(CircularNest, WithNoTubeLeftATubeWithMorePartsClosesWithoutTheCrossingPart) {
    auto inst = MakeInstance({{600, 1}, {800, 1}}, {{1000, 1}}, 0, 100);
    inst->Intervals[1].reset();
    auto nest = RunOrder(*inst, {1, 2});
    ExpectResults(nest->FNestResults, {{{1}, 600}});
    EXPECT_EQ(nest->FNestParts[1].FAmountAvail, 1);
}

TEST(CircularNest, TheBackPieceOfASplitLastPartOpensOneMoreTube) {
    auto inst = MakeInstance({{4000, 2}}, {{6000, 2}}, 0, 100, 1);
    inst->Param.SetZShapeLength(40);
    auto nest = RunOrder<TZShapeCutNest>(*inst, {1, 1});
    ASSERT_EQ(nest->FCutNestParts.Count(), 1);
    EXPECT_DOUBLE_EQ(nest->FCutNestParts[0].Length, 1980);            // the tube less the 20 mm joint
    ExpectResults(nest->FNestResults, {{{1, 2}, 6000}, {{3}, 2040}}); // back piece 2020 + joint 20
}

TEST(CircularNest, AStraightCutNestIsThePlainCircularNest) {
    TRandomGenerator random(4242);
    for (int i = 0; i < 30; ++i) {
        auto inst = MakeRandomInstance(random, {});
        TCircularNest plain(inst->AlgorithmParam());
        plain.CircularNestMain(inst->FullOrder());
        TStraightCutNest straight(inst->AlgorithmParam());
        straight.CircularNestMain(inst->FullOrder());
        EXPECT_EQ(Dump(plain.FNestResults), Dump(straight.FNestResults));
        EXPECT_TRUE(plain.FCutNestParts == straight.FCutNestParts);
    }
}

TEST(CircularNest, ABevelledCutFillsToTheTubeLessTheBevelAndBackPiecesNeedNoJoint) {
    // Two parts of 2995 mm fill a 6000 mm tube exactly up to 5990 mm.
    {
        auto inst = MakeInstance({{2995, 2}}, {{6000, 2}}, 0, 100, 2);
        inst->Param.SetBevelLength(10);
        auto nest = RunOrder<TBevelShapeCutNest>(*inst, {1, 1});
        ExpectResults(nest->FNestResults, {{{1, 1}, 5990}});
    }
    // 3000 + 3790 = 6790: the second part is cut at 2990 (its front piece carries the 10 mm
    // bevel) and its 800 mm back piece takes 800 mm of the next tube.
    {
        auto inst = MakeInstance({{3000, 1}, {3790, 1}}, {{6000, 2}}, 0, 100, 2);
        inst->Param.SetBevelLength(10);
        auto nest = RunOrder<TBevelShapeCutNest>(*inst, {1, 2});
        ASSERT_EQ(nest->FCutNestParts.Count(), 1);
        EXPECT_DOUBLE_EQ(nest->FCutNestParts[0].Length, 2990);
        ExpectResults(nest->FNestResults, {{{1, 3}, 6000}, {{4}, 800}});
        EXPECT_DOUBLE_EQ(nest->FCutPartConnectLength, 10); // restored after every operation
    }
}

TEST(CircularNest, ZShapeTubesThatStartAndEndWithPiecesPutTheFrontPieceFirst) {
    auto inst = MakeInstance({{1000, 5}, {1000, 5}}, {{6000, 9}}, 0, 100, 1);
    TZShapeCutNest nest(inst->AlgorithmParam());
    const auto add = [&nest](TIntDynArray order) {
        auto r = std::make_unique<TNestResult>();
        r->FTubeIndex = 1;
        r->FTubeCount = 1;
        r->FPartOrder = std::move(order);
        nest.FNestResults.Add(std::move(r));
    };
    add({4, 1, 5}); // back piece, part, front piece
    add({1, 5});
    add({5});
    add({4, 3});
    nest.CheckPartsConnect();
    ExpectResults(nest.FNestResults, {{{5, 4, 1}}, {{1, 5}}, {{5}}, {{3, 4}}});
}

TEST(CircularNest, APartThatOnlyALaterEntryTakesDoesNotStallTheNest) {
    // Both 3000 mm entries fail for the 7000 mm part; the 8000 mm entry takes it whole.
    auto inst = MakeInstance({{7000, 1}}, {{3000, 1}, {3000, 1}, {8000, 1}}, 0, 100);
    auto nest = RunOrder(*inst, {1});
    EXPECT_EQ(Dump(nest->FNestResults), "3:{ 1 }@7000;");
    EXPECT_EQ(nest->FNestTubes[0].FAmountAvail, 1);
}

TEST(CircularNest, CopiesThatCannotBeLaidStayVisible) {
    auto inst = MakeInstance({{9000, 2}, {1000, 1}}, {{6000, 5}}, 0, 100);
    inst->Intervals[0].reset(); // nowhere separable and longer than every tube
    auto nest = RunOrder(*inst, {1, 2, 1});
    EXPECT_EQ(nest->FNestParts[0].FAmountAvail, 2);
    ExpectResults(nest->FNestResults, {{{2}}});
    // An order with more entries than copies lays the copies once.
    ExpectResults(RunOrder(*inst, {2, 2, 2})->FNestResults, {{{2}}});
}

TEST(CircularNest, BadOrdersAreRejected) {
    auto inst = MakeInstance({{1000, 1}}, {{6000, 5}}, 0, 100);
    TCircularNest nest(inst->AlgorithmParam());
    EXPECT_THROW(nest.CircularNestMain({1, 0}), std::invalid_argument);
    TCircularNest other(inst->AlgorithmParam());
    EXPECT_THROW(other.CircularNestMain({-2}), std::invalid_argument);
}

TEST(CircularNest, TheFirstSolutionTakesThePartsInTurnAndRecordsTheOrder) {
    auto inst = MakeInstance({{1000, 2}, {500, 1}, {9000, 1}}, {{6000, 1}}, 5, 100);
    inst->Intervals[2].reset();
    TCircularNest nest(inst->AlgorithmParam());
    std::int32_t amount = -1;
    nest.InitialNestSolve(amount);
    EXPECT_EQ(amount, 3); // the 9000 mm part can be laid nowhere
    EXPECT_EQ(TIntDynArray(nest.FNestOrder.begin(), nest.FNestOrder.end()), (TIntDynArray{1, 1, 2}));
    ExpectResults(nest.FNestResults, {{{1, 1, 2}, 2510}});
    EXPECT_EQ(nest.FNestParts[2].FAmountAvail, 1);
}

TEST(CircularNest, DealOnlyOneLongPartOutcomes) {
    auto inst = MakeInstance({{4990, 1}, {11000, 1}, {9000, 1}}, {{5000, 3}}, 0, 100, 1);
    inst->Param.SetZShapeLength(40); // joint 20: usable 4980
    /// Opens a tube holding part APart alone and deals with it; ANextTube overrides the next tube.
    const auto deal = [&inst](std::int32_t APart, double ANextTube = -1) {
        auto nest = std::make_unique<TNestProbe>(inst->AlgorithmParam());
        TNestResult r;
        EXPECT_TRUE(nest->ChooseNestTube(r));
        r.FPartOrder = {APart + 1};
        --nest->FNestParts[static_cast<std::size_t>(APart)].FAmountAvail;
        if (ANextTube >= 0) {
            nest->FNextTubeLength = ANextTube;
        }
        double left = 5;
        const bool dealt = nest->DealOnlyOneLongPart(r, left, APart);
        return std::pair{dealt, std::move(nest)};
    };
    // Longer than the usable length but not than the tube: laid whole.
    auto [whole, n0] = deal(0);
    EXPECT_TRUE(whole);
    ExpectResults(n0->FNestResults, {{{1}, 4990}});
    // The middle cut (5500) lies beyond the usable length: refused, entry unavailable.
    auto [beyond, n1] = deal(1);
    EXPECT_FALSE(beyond);
    EXPECT_FALSE(n1->FNestTubes[0].FAvailable);
    EXPECT_EQ(n1->FNestResults.Count(), 0);
    // Middle cut 4500: the back piece is laid as 4500 + 20 = 4520, which the next tube holds.
    auto [split, n2] = deal(2);
    EXPECT_TRUE(split);
    ExpectResults(n2->FNestResults, {{{4}}, {{5}, 4520}});
    EXPECT_EQ(n2->FNewPartOrder, 6);
    ASSERT_EQ(n2->FCutNestParts.Count(), 1);
    EXPECT_DOUBLE_EQ(n2->FCutNestParts[0].Length, 4500);
    // A next tube of 4490 usable does not hold the back piece as laid (4520); 4500 usable does.
    EXPECT_FALSE(deal(2, 4490).first);
    EXPECT_TRUE(deal(2, 4500).first);
}

TEST(CircularNest, InTubeAdjustLaysTheBackPieceOfThePartItCuts) {
    // Part 1 (3000, nowhere separable) crosses a 6000 mm tube after part 2 (4000): the cut at 2000
    // goes through part 2 instead, whose back piece is 2000 mm (not the 1000 mm overhang).
    auto inst = MakeInstance({{3000, 1}, {4000, 1}}, {{6000, 2}}, 0, 100);
    inst->Intervals[0].reset();
    TNestProbe nest(inst->AlgorithmParam());
    TNestResult r;
    ASSERT_TRUE(nest.ChooseNestTube(r));
    r.FPartOrder = {2, 1};
    r.FLengthUsed = 7000;
    double left = 1000;
    EXPECT_TRUE(nest.InTubeAdjust(2000, r, left, 6000));
    EXPECT_DOUBLE_EQ(left, 2000);
    ExpectResults(nest.FNestResults, {{{1, 3}}});
    ASSERT_EQ(nest.FCutNestParts.Count(), 1);
    EXPECT_EQ(nest.FCutNestParts[0].From, 2);
    EXPECT_DOUBLE_EQ(nest.FCutNestParts[0].Length, 2000);
}

TEST(CircularNestConcurrency, NestsOnSeveralThreadsShareOneParameterRecord) {
    TRandomGenerator random(777);
    testsupport::TRandomInstanceOptions options;
    options.CutShape = 1;
    auto inst = MakeRandomInstance(random, options);
    const TNestAlgorithmParam param = inst->AlgorithmParam();
    std::vector<TIntDynArray> orders;
    for (int i = 0; i < 8; ++i) {
        TIntDynArray order = inst->FullOrder();
        for (std::int32_t k = static_cast<std::int32_t>(order.size()) - 1; k > 0; --k) {
            std::swap(order[static_cast<std::size_t>(k)],
                      order[static_cast<std::size_t>(random.Random(k + 1))]);
        }
        orders.push_back(std::move(order));
    }
    const auto runAll = [&param, &orders](std::vector<TNestResultList>& AOut, std::size_t AFrom,
                                          std::size_t AStep) {
        for (std::size_t i = AFrom; i < orders.size(); i += AStep) {
            auto nest = CreateCircularNest(param);
            nest->CircularNestMain(orders[i]);
            AOut[i] = nest->FNestResults;
        }
    };
    std::vector<TNestResultList> alone(orders.size());
    runAll(alone, 0, 1);
    std::vector<TNestResultList> together(orders.size());
    std::thread a(runAll, std::ref(together), 0, 2);
    std::thread b(runAll, std::ref(together), 1, 2);
    a.join();
    b.join();
    for (std::size_t i = 0; i < orders.size(); ++i) {
        EXPECT_EQ(Dump(alone[i]), Dump(together[i])) << i;
    }
}

} // namespace
} // namespace tubenest
