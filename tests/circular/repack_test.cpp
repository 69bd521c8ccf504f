// Re-packing and the final repair of finished results never strand or lose a split piece.

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

} // namespace
} // namespace tubenest
