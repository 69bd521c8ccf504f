// Re-packing of finished results: which tubes are taken apart, the first-fit pass, the refusal of a
// re-packing that would strand a split piece, and the split of what is left across two tubes.

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>

#include "circular/circular_nest.h"
#include "support/circular_instances.h"
#include "support/circular_plan_checker.h"

namespace tubenest {
namespace {

using testsupport::ExpectResults;
using testsupport::MakeInstance;
using testsupport::MakeSeparableStretches;

class TRepackProbe : public TCircularNest {
public:
    using TCircularNest::TCircularNest;
    using TCircularNestBase::RegisterSplitPieces;

    void AddResult(std::int32_t ATube, TIntDynArray AOrder, double AUsed) {
        auto r = std::make_unique<TNestResult>();
        r->FTubeIndex = ATube;
        r->FTubeCount = 1;
        r->FPartOrder = std::move(AOrder);
        r->FLengthUsed = AUsed;
        FNestResults.Add(std::move(r));
        --FNestTubes.at(static_cast<std::size_t>(ATube - 1)).FAmountAvail;
    }
    void AddSplit(double ALength, std::int32_t AFrom, std::int32_t AFront) {
        TCutNestPart p;
        p.DataUpdate(ALength, AFrom, 1);
        FCutNestParts.Add(p);
        RegisterSplitPieces(AFront, AFront + 1, AFrom, ALength);
        FNewPartOrder = std::max(FNewPartOrder, AFront + 2);
    }
};

TEST(Repack, WellFilledTubesStayAsTheyWereApartFromTheSort) {
    auto inst = MakeInstance({{3000, 1}, {2195, 1}, {5900, 1}}, {{6000, 3}}, 5, 50);
    TRepackProbe nest(inst->AlgorithmParam());
    nest.AddResult(1, {1, 2}, 5200); // 86.7 %
    nest.AddResult(1, {3}, 5900);    // 98.3 %
    for (auto& p : nest.FNestParts) {
        p.FAmountAvail = 0;
    }
    nest.OptimizeNestedResults();
    ExpectResults(nest.FNestResults, {{{3}, 5900}, {{1, 2}, 5200}}); // 100 mm left comes first
    EXPECT_EQ(nest.FNestTubes[0].FAmountAvail, 1);
}

/// One tube of entry 2 holds part 1 alone at APercent of 1000 mm; one tube of entry 1 holds part 2
/// (100 mm). Part 2's tube is always taken apart; part 1's only below 85 %. Returns the entry of
/// the single tube left.
std::int32_t RepackWithFirstTubeAt(double AFirstLength) {
    auto inst = MakeInstance({{AFirstLength, 1}, {100, 1}}, {{1000, 1}, {1000, 1}}, 5, 20);
    TRepackProbe nest(inst->AlgorithmParam());
    nest.AddResult(2, {1}, AFirstLength);
    nest.AddResult(1, {2}, 100);
    nest.FNestParts[0].FAmountAvail = 0;
    nest.FNestParts[1].FAmountAvail = 0;
    nest.OptimizeNestedResults();
    EXPECT_EQ(nest.FNestResults.Count(), 1);
    if (nest.FNestResults.Count() != 1) {
        return -1;
    }
    EXPECT_EQ(nest.FNestResults[0].FPartOrder.size(), 2u);
    EXPECT_DOUBLE_EQ(nest.FNestResults[0].FLengthUsed, AFirstLength + 105);
    return nest.FNestResults[0].FTubeIndex;
}

TEST(Repack, ATubeAtExactly85PercentIsKeptOneAt84_99PercentIsTakenApart) {
    // Kept: part 2 joins it in entry 2.
    EXPECT_EQ(RepackWithFirstTubeAt(850.0), 2);
    // Taken apart: both parts are laid again, into the first entry with a tube.
    EXPECT_EQ(RepackWithFirstTubeAt(849.9), 1);
}

TEST(Repack, OverfullTubesAreTakenApartAndLaidAgain) {
    auto inst = MakeInstance({{2000, 3}}, {{6000, 3}}, 5, 50);
    TRepackProbe nest(inst->AlgorithmParam());
    nest.AddResult(1, {1, 1, 1}, 5990); // really 6010: over the tube
    nest.FNestParts[0].FAmountAvail = 0;
    nest.OptimizeNestedResults();
    ExpectResults(nest.FNestResults, {{{1, 1}, 4005}, {{1}, 2000}});
    EXPECT_EQ(nest.FNestTubes[0].FAmountAvail, 1);
}

/// Part 1 (600) and part 2 (1100, split at 560 into front 3 and back 4). Tubes of entry 1 hold
/// [front] and [part 1, back] (over 1000 mm); the pool after the first-fit pass still holds the
/// back piece, which no tube left can take.
void StrandedPieceScenario(bool ASecondEntry) {
    std::vector<testsupport::TLengthAmount> tubes{{1000, 2}};
    if (ASecondEntry) {
        tubes.push_back({500, 1});
    }
    auto inst = MakeInstance({{600, 1}, {1100, 1}}, tubes, 5, 20);
    TRepackProbe nest(inst->AlgorithmParam());
    nest.AddSplit(560, 2, 3);
    nest.AddResult(1, {3}, 560);
    nest.AddResult(1, {1, 4}, 1145);
    nest.FNestParts[0].FAmountAvail = 0;
    nest.FNestParts[1].FAmountAvail = 0;

    // The first-fit pass on its own: with two or more entries a stranded piece makes it fail.
    {
        auto manager = nest.CreateCutPartsManager();
        TNestResultList none;
        TIntDynArray pool{1, 4, 3};
        nest.FNestTubes[0].FAmountAvail = 2;
        const bool ok =
            nest.FirstFitAlgorithm(pool, manager->FGeneralNestPartArr, *manager->FSegPlaceInfoManager, none);
        EXPECT_EQ(ok, !ASecondEntry);
        EXPECT_EQ(pool, TIntDynArray{4});
        EXPECT_EQ(none.Count(), 2);
        nest.FNestTubes[0].FAmountAvail = 0;
        if (ASecondEntry) {
            nest.FNestTubes[1].FAmountAvail = 1;
        }
    }
    // The re-packing is refused in both cases: the piece would be lost.
    nest.OptimizeNestedResults();
    ExpectResults(nest.FNestResults, {{{1, 4}}, {{3}}});
    EXPECT_EQ(nest.FNestTubes[0].FAmountAvail, 0);
    EXPECT_EQ(nest.FCutNestParts.Count(), 1);
}

TEST(Repack, APoolStillHoldingASplitPieceIsRefused) {
    for (const bool secondEntry : {true, false}) {
        SCOPED_TRACE(secondEntry ? "two tube entries" : "one tube entry");
        StrandedPieceScenario(secondEntry);
    }
}

TEST(Repack, SimpleCutPartsSplitsAcrossTheTwoTubesWithTheMostRoom) {
    auto inst = MakeInstance({{4500, 1}, {3500, 1}, {3000, 2}, {100, 1}}, {{6000, 9}}, 5, 50);
    inst->Intervals[2] = MakeSeparableStretches(3000, {{100, 1200}, {2800, 2900}});
    TRepackProbe nest(inst->AlgorithmParam());
    nest.AddResult(1, {4}, 5000); // 1000 left: too little
    nest.AddResult(1, {1}, 4500); // 1500 left
    nest.AddResult(1, {2}, 3500); // 2500 left

    // Fewer than two results: nothing to split across.
    {
        TRepackProbe lonely(inst->AlgorithmParam());
        lonely.AddResult(1, {2}, 3500);
        TIntDynArray pool{3};
        lonely.SimpleCutParts(pool, lonely.FNestResults);
        EXPECT_EQ(pool, TIntDynArray{3});
        EXPECT_TRUE(lonely.FCutNestParts.IsEmpty());
    }

    // The cut nearest 2500 that does not pass it is the end of the first stretch, 1200: the back
    // piece (1800) goes to the tube with 2500 left, the front piece (1200) to the one with 1500.
    TIntDynArray pool{3, 3};
    nest.SimpleCutParts(pool, nest.FNestResults);
    EXPECT_EQ(pool, TIntDynArray{3}); // only one of the two copies found room
    ASSERT_EQ(nest.FCutNestParts.Count(), 1);
    EXPECT_DOUBLE_EQ(nest.FCutNestParts[0].Length, 1200);
    EXPECT_EQ(nest.FCutNestParts[0].From, 3);
    // Pieces 5 (front) and 6 (back): the first numbers above the four parts.
    ExpectResults(nest.FNestResults, {{{1, 5}, 4500 + 1205}, {{2, 6}, 3500 + 1805}, {{4}}});
    ASSERT_NE(nest.PieceInfo(5), nullptr);
    EXPECT_TRUE(nest.PieceInfo(5)->IsFront);
    EXPECT_EQ(nest.PieceInfo(6)->Partner, 5);
}

TEST(Repack, SimpleCutPartsCountsThePartsOwnGapAtAnUncutEnd) {
    // The front piece meets part 1 with the split part's own end A: a 300 mm gap, not the 5 mm
    // default, and the 1500 mm left then no longer hold it.
    auto inst = MakeInstance({{4500, 1}, {3500, 1}, {3000, 2}, {100, 1}}, {{6000, 9}}, 5, 50);
    inst->Intervals[2] = MakeSeparableStretches(3000, {{100, 1200}, {2800, 2900}});
    TNestBaseInfo wide;
    wide.FixedGap = 300;
    wide.Caled = true;
    inst->Gaps->SetA1B1Info(1, 3, wide);
    TRepackProbe nest(inst->AlgorithmParam());
    nest.AddResult(1, {1}, 4500);
    nest.AddResult(1, {2}, 3500);
    TIntDynArray pool{3, 3};
    nest.SimpleCutParts(pool, nest.FNestResults);
    EXPECT_EQ(pool, (TIntDynArray{3, 3}));
    EXPECT_TRUE(nest.FCutNestParts.IsEmpty());
}

TEST(Repack, SimpleCutPartsNeverReusesANumberStillInThePool) {
    auto inst = MakeInstance({{4500, 1}, {3500, 1}, {3000, 1}, {2000, 1}}, {{6000, 9}}, 5, 50);
    inst->Intervals[2] = MakeSeparableStretches(3000, {{100, 1200}, {2800, 2900}});
    TRepackProbe nest(inst->AlgorithmParam());
    nest.AddSplit(900, 4, 5); // pieces 5 and 6 of part 4; 6 is still in the pool
    nest.AddResult(1, {1, 5}, 5405);
    nest.AddResult(1, {1}, 4500);
    nest.AddResult(1, {2}, 3500);
    TIntDynArray pool{6, 3};
    nest.SimpleCutParts(pool, nest.FNestResults);
    EXPECT_EQ(pool, TIntDynArray{6});
    ASSERT_EQ(nest.FCutNestParts.Count(), 2);
    bool found = false;
    for (const auto& r : nest.FNestResults) {
        for (const std::int32_t ref : r->FPartOrder) {
            EXPECT_NE(ref, 6);
            found = found || ref == 7;
        }
    }
    EXPECT_TRUE(found);
}

// ---------------------------------------------------------------------------------------------------
// The final check of a run

testsupport::TCircularPlanCheck CheckAfterRepair(const testsupport::TCircularInstance& AInst,
                                                 TRepackProbe& ANest) {
    auto manager = ANest.CreateCutPartsManager();
    testsupport::TCircularPlanCheckOptions options;
    options.AllowUnplaced = true;
    auto check = testsupport::CheckCircularPlan(AInst.Parts, AInst.Tubes, *AInst.Gaps, AInst.Param,
                                                ANest.FNestResults, ANest.FCutNestParts, *manager, options);
    EXPECT_TRUE(check.ok) << check.Report();
    for (std::size_t k = 0; k < AInst.Parts.size(); ++k) {
        EXPECT_EQ(ANest.FNestParts[k].FAmountAvail, check.unplacedPerPart[k]) << "part " << k + 1;
    }
    return check;
}

TEST(RepairNestedResults, AFrontPieceWithoutItsBackPieceIsTakenOutAndTheCopyShowsUnplaced) {
    auto inst = MakeInstance({{1000, 2}}, {{3000, 3}}, 5, 50);
    TRepackProbe nest(inst->AlgorithmParam());
    nest.AddSplit(400, 1, 2);
    nest.AddResult(1, {1, 2}, 1405);
    nest.RepairNestedResults();
    ExpectResults(nest.FNestResults, {{{1}, 1000}});
    EXPECT_TRUE(nest.FCutNestParts.IsEmpty());
    EXPECT_EQ(nest.FNestParts[0].FAmountAvail, 1);
    EXPECT_EQ(nest.RepairedEntries(), 1);
    EXPECT_EQ(nest.FNestTubes[0].FAmountAvail, 2);
    CheckAfterRepair(*inst, nest);
}

TEST(RepairNestedResults, ATubeOverItsLengthLosesPartsFromItsEnd) {
    auto inst = MakeInstance({{2000, 3}}, {{5000, 2}}, 5, 50);
    TRepackProbe nest(inst->AlgorithmParam());
    nest.AddResult(1, {1, 1, 1}, 4990); // really 6010
    nest.RepairNestedResults();
    ExpectResults(nest.FNestResults, {{{1, 1}, 4005}});
    EXPECT_EQ(nest.FNestParts[0].FAmountAvail, 1);
    CheckAfterRepair(*inst, nest);
}

TEST(RepairNestedResults, ARemovedPieceTakesItsPartnerAlong) {
    auto inst = MakeInstance({{3000, 2}, {2500, 1}}, {{5000, 3}}, 5, 50);
    TRepackProbe nest(inst->AlgorithmParam());
    nest.AddSplit(2000, 1, 3);
    nest.AddResult(1, {1, 3}, 5000); // really 5005
    nest.AddResult(1, {4, 2}, 3505);
    nest.RepairNestedResults();
    ExpectResults(nest.FNestResults, {{{1}}, {{2}}});
    EXPECT_TRUE(nest.FCutNestParts.IsEmpty());
    EXPECT_EQ(nest.FNestParts[0].FAmountAvail, 1);
    EXPECT_EQ(nest.FNestParts[1].FAmountAvail, 0);
    EXPECT_EQ(nest.RepairedEntries(), 2);
    CheckAfterRepair(*inst, nest);
}

TEST(RepairNestedResults, PiecesAreRenumberedWhenAnEarlierSplitIsGone) {
    auto inst = MakeInstance({{3000, 3}}, {{5000, 5}}, 5, 50);
    TRepackProbe nest(inst->AlgorithmParam());
    nest.AddSplit(2000, 1, 2); // pieces 2 and 3; 3 never laid
    nest.AddSplit(1000, 1, 4); // pieces 4 and 5
    nest.AddResult(1, {2}, 2000);
    nest.AddResult(1, {1, 4}, 4005);
    nest.AddResult(1, {5}, 2000);
    nest.RepairNestedResults();
    EXPECT_TRUE(nest.PiecesRenumbered());
    ASSERT_EQ(nest.FCutNestParts.Count(), 1);
    EXPECT_DOUBLE_EQ(nest.FCutNestParts[0].Length, 1000);
    ExpectResults(nest.FNestResults, {{{1, 2}}, {{3}, 2000}});
    EXPECT_EQ(nest.FNewPartOrder, 4);
    EXPECT_EQ(nest.FNestParts[0].FAmountAvail, 1);
    CheckAfterRepair(*inst, nest);
}

TEST(RepairNestedResults, ExtraCopiesAndExtraTubesAreTakenOut) {
    auto inst = MakeInstance({{1000, 1}, {800, 2}}, {{3000, 1}, {2000, 5}}, 5, 50);
    TRepackProbe nest(inst->AlgorithmParam());
    nest.AddResult(2, {1, 1}, 2005); // part 1 is required once
    nest.AddResult(1, {2}, 800);
    nest.AddResult(1, {2}, 800); // entry 1 has one tube
    nest.RepairNestedResults();
    ExpectResults(nest.FNestResults, {{{1}}, {{2}}});
    EXPECT_EQ(nest.FNestParts[1].FAmountAvail, 1);
    EXPECT_EQ(nest.FNestTubes[0].FAmountAvail, 0);
    EXPECT_EQ(nest.FNestTubes[1].FAmountAvail, 4);
    EXPECT_EQ(nest.FTubesAmount, 4);
    CheckAfterRepair(*inst, nest);
}

} // namespace
} // namespace tubenest
