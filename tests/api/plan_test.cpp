#include <gtest/gtest.h>

#include "api/engine.h"
#include "support/plan_check.h"
#include "test_problems.h"

using namespace tubenest;
using namespace tubenest::api;
using tubenest::testing::CheckPlanInvariants;
using tubenest::testing::Lines;
using tubenest::testing::Result;
using tubenest::testing::SplitOutput;
using tubenest::testing::SplitProblem;

// Positions, lengths and totals of this plan are checked digit by digit through the summary text
// and the JSON document (output_test.cpp); here what those do not show.
TEST(PlanBuilding, PositionsFollowTheGapsAndPiecesFormWelds) {
    const Problem p = SplitProblem();
    const EngineInput in = BuildEngineInput(p);
    const Plan plan = BuildPlan(p, in, SplitOutput());
    ASSERT_EQ(plan.patterns.size(), 2u);
    EXPECT_DOUBLE_EQ(plan.patterns[1].parts[1].start, 3005.0);
    EXPECT_EQ(plan.totals.copies_required, 3);
    EXPECT_EQ(plan.status, PlanStatus::Complete);
    EXPECT_TRUE(plan.warnings.empty());
    ASSERT_TRUE(plan.engine_results);
    EXPECT_EQ(plan.engine_results->Count(), 2);
    EXPECT_TRUE(CheckPlanInvariants(p, plan).empty()) << Lines(CheckPlanInvariants(p, plan));
}

TEST(PlanBuilding, SharedCutJointsHaveNoGapNextToAPiece) {
    Problem p = SplitProblem();
    p.parameters.coedge_flag0 = true; // Z offset 0: joints share the cut
    const EngineInput in = BuildEngineInput(p);
    const Plan plan = BuildPlan(p, in, SplitOutput());
    EXPECT_DOUBLE_EQ(plan.patterns[0].parts[1].gap_before, 0.0);
    EXPECT_DOUBLE_EQ(plan.patterns[0].used_length, 5000.0);
}

TEST(PlanBuilding, WholePartGapsComeFromTheGapManager) {
    Problem p = tubenest::testing::SmallProblem();
    PairGap g;
    g.first = "P1";
    g.second = "P2";
    g.second_turned = true;
    g.gap = -20.0; // the ends overlap
    p.gaps.pairs.push_back(g);
    const EngineInput in = BuildEngineInput(p);
    EngineOutput out;
    out.results.Add(Result(1, 1, {1, -2, 2}));
    out.results.Add(Result(1, 1, {1, 2}));
    const Plan plan = BuildPlan(p, in, std::move(out));
    const auto& parts = plan.patterns[0].parts;
    EXPECT_DOUBLE_EQ(parts[1].start, 1180.0);
    EXPECT_DOUBLE_EQ(parts[2].gap_before, 3.0);
    EXPECT_DOUBLE_EQ(parts[2].start, 1983.0);
    EXPECT_DOUBLE_EQ(plan.patterns[0].used_length, 2783.0);
    EXPECT_EQ(plan.totals.copies_placed, 5);
    EXPECT_EQ(plan.totals.tubes_used, 2);
    EXPECT_TRUE(CheckPlanInvariants(p, plan).empty()) << Lines(CheckPlanInvariants(p, plan));
}

TEST(PlanBuilding, UnplacedCopiesAndTheirReasons) {
    const Problem p = SplitProblem();
    const EngineInput in = BuildEngineInput(p);
    {
        EngineOutput out;
        out.results.Add(Result(1, 1, {2}));
        const Plan plan = BuildPlan(p, in, std::move(out));
        EXPECT_EQ(plan.status, PlanStatus::Partial);
        ASSERT_EQ(plan.unplaced.size(), 2u);
        EXPECT_NE(plan.unplaced[0].reason.find("longer than every stock tube"), std::string::npos);
        EXPECT_EQ(plan.unplaced[1].reason, "the method did not place it");
        EXPECT_TRUE(CheckPlanInvariants(p, plan).empty());
    }
    {
        EngineOutput out;
        out.results.Add(Result(1, 1, {2}));
        const Plan plan = BuildPlan(p, in, std::move(out), PlanStatus::Interrupted);
        EXPECT_EQ(plan.status, PlanStatus::Interrupted);
        EXPECT_EQ(plan.unplaced[1].reason, "the run stopped before it was placed");
    }
}

TEST(PlanBuilding, StockUsedUpIsTheReason) {
    Problem p = tubenest::testing::SmallProblem();
    p.stock[0].amount = 1;
    const EngineInput in = BuildEngineInput(p);
    EngineOutput out;
    out.results.Add(Result(1, 1, {1, 2, 2}));
    const Plan plan = BuildPlan(p, in, std::move(out));
    ASSERT_EQ(plan.unplaced.size(), 2u);
    EXPECT_EQ(plan.unplaced[0].reason, "not enough stock tubes");
}

TEST(PlanBuilding, InconsistentOutputsAreRejected) {
    const Problem p = SplitProblem();
    const EngineInput in = BuildEngineInput(p);
    auto build = [&](std::unique_ptr<TNestResult> r, std::vector<PieceInfo> pieces = {}) {
        EngineOutput out;
        out.results.Add(std::move(r));
        out.pieces = std::move(pieces);
        return BuildPlan(p, in, std::move(out));
    };
    EXPECT_THROW(build(Result(2, 1, {2})), std::logic_error);       // no tube 2
    EXPECT_THROW(build(Result(0, 1, {2})), std::logic_error);       // tube indices are 1-based
    EXPECT_THROW(build(Result(1, 4, {2})), std::logic_error);       // 4 tubes of 3
    EXPECT_THROW(build(Result(1, -1, {2})), std::logic_error);      // negative count
    EXPECT_THROW(build(Result(1, 1, {0})), std::logic_error);       // reference 0
    EXPECT_THROW(build(Result(1, 1, {5})), std::logic_error);       // unknown piece
    EXPECT_THROW(build(Result(1, 1, {2, 2, 2})), std::logic_error); // 3 copies of 2
    EXPECT_THROW(build(Result(1, 1, {2}), {PieceInfo{2, 0, true, 10.0, 1}}),
                 std::logic_error);                  // piece ref too low
    EXPECT_NO_THROW(build(Result(1, 0, {2, 2, 2}))); // a pattern cut zero times is ignored
}

TEST(PlanBuilding, OverlongPatternsAndLonePiecesAreWarnedAbout) {
    const Problem p = SplitProblem();
    const EngineInput in = BuildEngineInput(p);
    EngineOutput out;
    out.results.Add(Result(1, 1, {2, 2, 3}));
    out.pieces.push_back(PieceInfo{3, 0, true, 4000.0, 7});
    const Plan plan = BuildPlan(p, in, std::move(out));
    ASSERT_EQ(plan.warnings.size(), 2u);
    EXPECT_NE(plan.warnings[0].find("uses 6008 mm"), std::string::npos) << plan.warnings[0];
    EXPECT_NE(plan.warnings[1].find("split 7"), std::string::npos) << plan.warnings[1];
    EXPECT_EQ(plan.splits[0].welds, 0);
    EXPECT_EQ(plan.unplaced.size(), 1u); // the beam: a lone front piece is no copy
}
