// Bookkeeping of the circular nest base: construction, tube choice, amounts, gaps around split
// pieces, long parts, first fit of back pieces, split records and one-part tubes.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <tuple>
#include <vector>

#include "circular/circular_nest_base.h"
#include "support/circular_instances.h"
#include "support/gap_tables.h"

namespace tubenest {
namespace {

using testsupport::MakeInstance;
using testsupport::MakeSeparableStretches;
using testsupport::TCircularInstance;

/// The base alone; the nesting operations are not needed here.
class TBaseProbe : public TCircularNestBase {
public:
    using TCircularNestBase::TCircularNestBase;
    void CircularNestMain(const TIntDynArray&) override { throw std::logic_error("not used"); }
    void InitialNestSolve(std::int32_t&) override { throw std::logic_error("not used"); }
    bool InTubeAdjust(double, TNestResult&, double&, double) override { throw std::logic_error("not used"); }
    bool ChoosePart(TNestResult&, double&, std::int32_t&, double) override {
        throw std::logic_error("not used");
    }
    bool AddLeftMaterial(double&, double&, TNestResult&, std::int32_t&, bool&, double) override {
        throw std::logic_error("not used");
    }
    void NestLastNest(std::int32_t, double, TNestResult&, double&) override {
        throw std::logic_error("not used");
    }
    void CheckPartsConnect() override {}
    void DealPartCrossTube(double, TNestResult&, double&) override { throw std::logic_error("not used"); }
    bool DealOnlyOneLongPart(TNestResult&, double&, std::int32_t) override {
        throw std::logic_error("not used");
    }

    using TCircularNestBase::RegisterSplitPieces;
};

TNestResult ResultOf(std::int32_t ATube, TIntDynArray AOrder, double AUsed) {
    TNestResult r;
    r.FTubeIndex = ATube;
    r.FTubeCount = 1;
    r.FPartOrder = std::move(AOrder);
    r.FLengthUsed = AUsed;
    return r;
}

TEST(CircularNestBase, ConnectLengthAndUsableLengthPerCutShape) {
    auto inst = MakeInstance({{1000, 1}}, {{6000, 2}, {4000, 3}}, 5, 50, 1);
    inst->Param.SetZShapeLength(40);
    inst->Param.SetBevelLength(10);
    {
        TBaseProbe z(inst->AlgorithmParam());
        EXPECT_DOUBLE_EQ(z.FCutPartConnectLength, 20.0);
        EXPECT_DOUBLE_EQ(z.FTubeLength, 5980.0);
        EXPECT_EQ(z.FTubesAmount, 5);
        EXPECT_EQ(z.FNewPartOrder, 2);
        EXPECT_TRUE(z.FIsTubesEnough);
    }
    inst->Param.SetCutShape(2);
    EXPECT_DOUBLE_EQ(TBaseProbe(inst->AlgorithmParam()).FTubeLength, 5990.0);
    inst->Param.SetCutShape(0);
    EXPECT_DOUBLE_EQ(TBaseProbe(inst->AlgorithmParam()).FTubeLength, 6000.0);
    inst->Param.SetCutShape(5); // a bevel nest, but without a joint length
    EXPECT_DOUBLE_EQ(TBaseProbe(inst->AlgorithmParam()).FCutPartConnectLength, 0.0);
}

TEST(CircularNestBase, UnusableParameterRecordsAreRejected) {
    auto inst = MakeInstance({{1000, 1}, {500, 2}}, {{6000, 2}}, 5, 50);
    const std::vector<void (*)(TNestAlgorithmParam&)> breakers = {
        [](TNestAlgorithmParam& p) { p.PartsCalInfo = nullptr; },
        [](TNestAlgorithmParam& p) { p.AGNestTubes.clear(); },
        [](TNestAlgorithmParam& p) { p.PartIntervalsList.pop_back(); },
        [](TNestAlgorithmParam& p) { p.AGNestTubes[0].FTubeInitialLen = 0.0; },
        [](TNestAlgorithmParam& p) { p.AGNestParts[1].FAmountAvail = -1; },
    };
    for (std::size_t k = 0; k < breakers.size(); ++k) {
        TNestAlgorithmParam param = inst->AlgorithmParam();
        breakers[k](param);
        EXPECT_THROW(TBaseProbe{param}, std::invalid_argument) << k;
    }
    // A missing interval list means "nowhere separable", not an error.
    TNestAlgorithmParam param = inst->AlgorithmParam();
    param.PartIntervalsList[0] = nullptr;
    TBaseProbe nest(param);
    EXPECT_TRUE(nest.PartIntervals(0).IsEmpty());
    EXPECT_FALSE(nest.IsPointLocatein(500.0, 0));
}

TEST(CircularNestBase, ChooseNestTubeWalksTheEntriesAndPredictsTheNextTube) {
    auto inst = MakeInstance({{1000, 1}}, {{6000, 2}, {5000, 0}, {4000, 1}, {3000, 1}}, 5, 50, 1);
    inst->Param.SetZShapeLength(40);
    TBaseProbe nest(inst->AlgorithmParam());
    TNestResult r;

    ASSERT_TRUE(nest.ChooseNestTube(r));
    EXPECT_EQ(r.FTubeIndex, 1);
    EXPECT_DOUBLE_EQ(nest.FNextTubeLength, 5980.0); // the entry still has a tube

    // An entry marked unavailable is skipped by one call only.
    nest.FNestTubes[0].FAvailable = false;
    ASSERT_TRUE(nest.ChooseNestTube(r));
    EXPECT_EQ(r.FTubeIndex, 3);
    EXPECT_DOUBLE_EQ(nest.FTubeLength, 3980.0);
    // The next piece goes into the tube the next choice takes: entry 1 again, not entry 3.
    EXPECT_DOUBLE_EQ(nest.FNextTubeLength, 5980.0);

    ASSERT_TRUE(nest.ChooseNestTube(r));
    EXPECT_EQ(r.FTubeIndex, 1);
    // Entry 1 is used up and entry 2 is empty: the next choice takes entry 4.
    EXPECT_DOUBLE_EQ(nest.FNextTubeLength, 2980.0);

    ASSERT_TRUE(nest.ChooseNestTube(r));
    EXPECT_EQ(r.FTubeIndex, 4);
    EXPECT_DOUBLE_EQ(nest.FNextTubeLength, 0.0); // no tube left for a back piece

    TNestResult untouched = ResultOf(7, {1}, 12.5);
    EXPECT_FALSE(nest.ChooseNestTube(untouched));
    EXPECT_EQ(untouched.FTubeIndex, 7);
    EXPECT_EQ(untouched.FTubeCount, 1);
    EXPECT_DOUBLE_EQ(untouched.FLengthUsed, 12.5);
}

TEST(CircularNestBase, GapsInFrontOfPartsAndNextToSplitPieces) {
    auto inst = MakeInstance({{1000, 1}, {500, 1}}, {{6000, 2}}, 5, 50);
    for (const auto& [a, b, gap] : {std::tuple{1, 2, 7.5}, {2, 1, -3.0}, {2, 2, 0.005}}) {
        testsupport::SetGap(*inst->Gaps, a, b, gap);
    }
    inst->Param.SetDefaultPartGap(4.0);
    inst->Gaps->FNestParam.SetDefaultPartGap(4.0);
    TBaseProbe nest(inst->AlgorithmParam());
    nest.RegisterSplitPieces(3, 4, 1, 400.0); // part 1 cut at 400: front 3, back 4

    const auto lastGap = [&nest](TIntDynArray AOrder) {
        double gap = 99;
        nest.DealLastPartGap(gap, ResultOf(1, std::move(AOrder), 0));
        return gap;
    };
    const auto offset = [](const TBaseProbe& ANest, const TIntDynArray& AOrder, std::int32_t AFrom) {
        double len = 0;
        ANest.CalcOffsetPosition(AOrder, len, AFrom);
        return len;
    };
    EXPECT_DOUBLE_EQ(lastGap({1}), 0.0);
    EXPECT_DOUBLE_EQ(lastGap({2, 1, 2}), 7.5);
    EXPECT_DOUBLE_EQ(lastGap({2, 1}), 0.0); // a negative gap counts 0
    EXPECT_DOUBLE_EQ(offset(nest, {1, 2}, 0), 0.0);
    EXPECT_DOUBLE_EQ(offset(nest, {1, 2}, 1), 7.5);
    EXPECT_DOUBLE_EQ(offset(nest, {2, 1}, 1) + offset(nest, {2, 2}, 1), 0.0); // negative; not beyond 0.01
    // A back piece keeps part 1's end B: after it part 2 gets part 1's own gap. Before it the cut
    // end meets the part: DefaultPartGap. A front piece is the other way round.
    EXPECT_DOUBLE_EQ(offset(nest, {4, 2}, 1), 7.5);
    EXPECT_DOUBLE_EQ(offset(nest, {2, 4}, 1), 4.0);
    EXPECT_DOUBLE_EQ(offset(nest, {2, 3}, 1), 0.0); // gap(2, 1) is negative
    EXPECT_DOUBLE_EQ(lastGap({4, 2}), 7.5);
    // Two pieces: the co-edge rule; flag 0 with no Z offset leaves no gap between pieces.
    EXPECT_DOUBLE_EQ(offset(nest, {3, 4}, 1), 4.0);
    inst->CoedgeFlags.SetValue(0, 1);
    TBaseProbe flagged(inst->AlgorithmParam());
    flagged.RegisterSplitPieces(3, 4, 1, 400.0);
    EXPECT_DOUBLE_EQ(offset(flagged, {3, 4}, 1), 0.0);
}

TEST(CircularNestBase, PointsAreSeparableWithinTheTolerance) {
    auto inst = MakeInstance({{1000, 1}}, {{6000, 2}}, 5, 50);
    inst->Intervals[0] = MakeSeparableStretches(1000, {{100, 200}, {500, 500}});
    TBaseProbe nest(inst->AlgorithmParam());
    for (const auto& [pos, inside] : {std::pair{100.0, true},
                                      {99.995, true},
                                      {99.98, false},
                                      {200.005, true},
                                      {200.02, false},
                                      {500.0, true},
                                      {300.0, false}}) {
        EXPECT_EQ(nest.IsPointLocatein(pos, 0), inside) << pos;
    }
}

TEST(CircularNestBase, DealLongPartOutcomes) {
    /// The part's amount after DealLongPart, and how many parts were set aside for tubes of their own.
    const auto deal = [](double ALength, const std::vector<testsupport::TLengthAmount>& ATubes,
                         std::int32_t AShape, std::vector<std::pair<double, double>> AStretches = {}) {
        auto inst = MakeInstance({{ALength, 3}}, ATubes, 5, 50, AShape);
        inst->Param.SetZShapeLength(40);
        if (!AStretches.empty()) {
            inst->Intervals[0] = MakeSeparableStretches(ALength, AStretches);
        }
        TBaseProbe nest(inst->AlgorithmParam());
        nest.DealLongPart(nest.PartIntervals(0), 0);
        return std::pair{nest.FNestParts[0].FAmountAvail, nest.FZShapeSpecicalPartOrder.size()};
    };
    // Z-shape, one entry, not longer than the whole tube: set aside for a tube of its own.
    EXPECT_EQ(deal(5990, {{6000, 5}}, 1), (std::pair{0, std::size_t{1}}));
    // Two entries: never set aside; it stays when an entry takes both halves of its middle cut.
    EXPECT_EQ(deal(9000, {{6000, 5}, {3000, 1}}, 1), (std::pair{3, std::size_t{0}}));
    // No entry takes both halves: not nested at all.
    EXPECT_EQ(deal(13000, {{6000, 5}}, 0).first, 0);
    // The middle cut is the separable position nearest the middle: here 1000, leaving 8000.
    EXPECT_EQ(deal(9000, {{6000, 5}}, 0, {{500, 1000}}).first, 0);
    EXPECT_EQ(deal(9000, {{6000, 5}}, 0, {{3500, 5000}}).first, 3);
}

TEST(CircularNestBase, BackPiecesGoIntoTheFirstClosedTubeWithRoom) {
    auto inst = MakeInstance({{1000, 1}}, {{6000, 5}, {3000, 5}}, 5, 50);
    TBaseProbe nest(inst->AlgorithmParam());
    nest.FNestResults.AddClone(ResultOf(1, {1}, 5900.0));
    nest.FNestResults.AddClone(ResultOf(2, {1}, 2000.0));
    nest.FNestResults.AddClone(ResultOf(1, {1}, 1000.0));
    ASSERT_EQ(nest.FNewPartOrder, 2);
    // 2000 + 995 + 5 = 3000: equal to the tube is accepted.
    EXPECT_TRUE(nest.ProcessFirstFitAlgorithm(2, 995.0));
    EXPECT_EQ(nest.FNestResults[1].FPartOrder, (TIntDynArray{1, 2}));
    EXPECT_DOUBLE_EQ(nest.FNestResults[1].FLengthUsed, 3000.0);
    EXPECT_EQ(nest.FNewPartOrder, 3); // the number handed in was the next free one
    // A repeated split's stored number does not advance the counter; tubes without room are left
    // as they were.
    EXPECT_TRUE(nest.ProcessFirstFitAlgorithm(7, 3000.0));
    EXPECT_EQ(nest.FNewPartOrder, 3);
    EXPECT_EQ(nest.FNestResults[0].FPartOrder, TIntDynArray{1});
    EXPECT_DOUBLE_EQ(nest.FNestResults[0].FLengthUsed, 5900.0);
    EXPECT_EQ(nest.FNestResults[2].FPartOrder, (TIntDynArray{1, 7}));
    EXPECT_DOUBLE_EQ(nest.FNestResults[2].FLengthUsed, 4005.0);
    EXPECT_FALSE(nest.ProcessFirstFitAlgorithm(3, 5000.0));
    EXPECT_EQ(nest.FNewPartOrder, 3);
}

TEST(CircularNestBase, MergeSameCutNestPartsAtTheMillimetreBoundary) {
    auto inst = MakeInstance({{3000, 5}, {3000, 5}}, {{6000, 5}}, 5, 50);
    TBaseProbe nest(inst->AlgorithmParam());
    // 1200.98 truncates to 1200 like 1200.3: merged; 1200.995 to 1201: kept apart, joined by 1201.7.
    nest.FCutNestParts =
        TCutNestParts{{1200.3, 1, 1}, {1200.98, 1, 2}, {1200.995, 1, 1}, {1200.5, 2, 1}, {1201.7, 1, 4}};
    nest.MergeSameCutNestParts();
    EXPECT_EQ(nest.FCutNestParts, (TCutNestParts{{1200.3, 1, 3}, {1200.995, 1, 5}, {1200.5, 2, 1}}));
}

TEST(CircularNestBase, SpecialPartsGetTubesOfTheFirstEntry) {
    auto inst = MakeInstance({{5990, 3}, {5995, 0}, {5980, 4}}, {{6000, 5}, {7000, 9}}, 5, 50, 1);
    TBaseProbe nest(inst->AlgorithmParam());
    TNestResultList out;
    bool enough = true;
    nest.AddSpecialNestResults({1, 2, 3}, out, enough);
    ASSERT_EQ(out.Count(), 2); // part 2 has no copy: no result with a count of 0
    EXPECT_EQ(out[0].FTubeCount, 3);
    EXPECT_DOUBLE_EQ(out[0].FLengthUsed, 5990.0);
    EXPECT_EQ(out[1].FTubeCount, 2); // only two tubes were left
    EXPECT_EQ(out[1].FPartOrder, TIntDynArray{3});
    EXPECT_FALSE(enough);
    EXPECT_EQ(nest.FNestTubes[0].FAmountAvail, 0);
    EXPECT_THROW(nest.AddSpecialNestResults({4}, out, enough), std::invalid_argument);
}

TEST(CircularNestBase, TubeLengthRuleOfTheZShape) {
    auto inst = MakeInstance({{1000, 5}}, {{6000, 5}}, 6, 50, 1);
    inst->Param.SetZShapeLength(40);
    const auto tubeLength = [&inst](TIntDynArray order, std::int32_t remain, double used) {
        TBaseProbe nest(inst->AlgorithmParam());
        nest.RegisterSplitPieces(2, 3, 1, 500);
        double t = 0;
        nest.ChangeNestTubeLength(ResultOf(1, std::move(order), used), t, remain, used);
        return t;
    };
    // No piece in the tube and parts to come: the tube length, or the whole tube when the used
    // length is exactly the tube plus the joint.
    EXPECT_DOUBLE_EQ(tubeLength({1}, 3, 4000), 5980);
    EXPECT_DOUBLE_EQ(tubeLength({1}, 3, 6000), 6000);
    // A piece in the tube: the allowance. Without flags and with a small offset it is 0.
    EXPECT_DOUBLE_EQ(tubeLength({3, 1}, 3, 4000), 5980);
    inst->CoedgeFlags.SetValue(0, 1); // flag 0 and no offset: the whole Z length
    EXPECT_DOUBLE_EQ(tubeLength({3, 1}, 3, 4000), 6020);
    inst->CoedgeFlags.SetValue(0, 0);
    inst->Param.SetZShapeOffset(5); // 2 x 5 > 6 (the part gap): Z length less the part gap
    EXPECT_DOUBLE_EQ(tubeLength({3, 1}, 3, 4000), 5980 + 34);
    // The last part: the allowance shrinks to the joint when the used length fits the whole tube.
    EXPECT_DOUBLE_EQ(tubeLength({3, 1}, 0, 5990), 6000);
    EXPECT_DOUBLE_EQ(tubeLength({3, 1}, 0, 6010), 6000);
    EXPECT_DOUBLE_EQ(tubeLength({3, 1}, 0, 6020), 6014);
    EXPECT_DOUBLE_EQ(tubeLength({1}, 0, 5995), 6000);
    EXPECT_DOUBLE_EQ(tubeLength({1}, 0, 6005), 5980);
    // The configured allowance.
    inst->Param.SetDisAllowance(true);
    inst->SetDis(2.0);
    EXPECT_DOUBLE_EQ(tubeLength({1}, 3, 4000), 5978);
    EXPECT_DOUBLE_EQ(tubeLength({3, 1}, 3, 4000), 5980 - 4);
    EXPECT_DOUBLE_EQ(tubeLength({3, 1}, 0, 5990), 5980);
    // Straight and bevel: always the tube length.
    inst->Param.SetCutShape(0);
    EXPECT_DOUBLE_EQ(tubeLength({3, 1}, 0, 5990), 6000);
    inst->Param.SetCutShape(2);
    inst->Param.SetBevelLength(10);
    EXPECT_DOUBLE_EQ(tubeLength({3, 1}, 3, 100), 5990);
}

TEST(CircularNestBase, SortsByLeftoverAndPiecesByLength) {
    auto inst = MakeInstance({{1000, 1}}, {{6000, 5}, {3000, 5}}, 5, 50);
    TBaseProbe nest(inst->AlgorithmParam());
    TNestResultList list;
    list.AddClone(ResultOf(1, {1}, 1000)); // 5000 left
    list.AddClone(ResultOf(2, {1}, 1000)); // 2000 left
    list.AddClone(ResultOf(1, {1}, 5500)); // 500 left
    list.AddClone(ResultOf(2, {1}, 1000)); // 2000 left, stays behind its equal
    list[3].FTubeCount = 9;
    nest.SortResultsByLeftover(list);
    EXPECT_DOUBLE_EQ(list[0].FLengthUsed, 5500);
    EXPECT_EQ(list[1].FTubeCount, 1);
    EXPECT_EQ(list[2].FTubeCount, 9);
    EXPECT_EQ(list[3].FTubeIndex, 1);
}

} // namespace
} // namespace tubenest
