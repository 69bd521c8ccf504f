#include <gtest/gtest.h>

#include "api/engine.h"
#include "support/plan_check.h"
#include "test_problems.h"

using namespace tubenest;
using namespace tubenest::api;
using tubenest::testing::CheckPlanInvariants;
using tubenest::testing::Lines;
using tubenest::testing::Result;
using tubenest::testing::SplitProblem;

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

// Trims shift positions (the engine gets the usable length), identical tubes form one pattern, piece
// lengths off by the engine's 1e-6 mm are snapped, cuts and remnants are counted. Every figure below
// follows from SplitProblem's kerf 3 and piece gap 5.
TEST(PlanBuilding, TrimsCutsRemnantsGroupingAndSnappedPieces) {
    Problem p = SplitProblem("beam", 3);
    p.stock[0].amount = 4;
    p.stock[0].trim_start = 10.0;
    p.stock_settings.trim_end = 15.0;
    p.stock_settings.min_usable_remnant = 1000.0;
    const EngineInput in = BuildEngineInput(p);
    EXPECT_DOUBLE_EQ(in.tubes[0].FTubeInitialLen, 5975.0);
    EngineOutput out;
    out.results.Add(Result(1, 1, {2, 3}));
    out.results.Add(Result(1, 1, {4}));
    out.results.Add(Result(1, 1, {2}));
    out.results.Add(Result(1, 1, {2}));
    out.pieces.push_back(PieceInfo{3, 0, true, 4000.000001, 1});
    out.pieces.push_back(PieceInfo{4, 0, false, 2999.999999, 1});
    const Plan plan = BuildPlan(p, in, std::move(out));
    ASSERT_EQ(plan.patterns.size(), 3u);
    EXPECT_EQ(plan.patterns[2].count, 2);
    const Pattern& first = plan.patterns[0];
    EXPECT_DOUBLE_EQ(first.parts[0].start, 10.0);
    EXPECT_EQ(first.parts[1].length, 4000.0);
    EXPECT_DOUBLE_EQ(first.used_length, 5015.0);
    EXPECT_EQ(plan.splits[0].back_length, 3000.0);
    // cuts: the start trim, two around the 5 mm gap (wider than the kerf), the remnant
    EXPECT_EQ(first.cuts, 4);
    EXPECT_FALSE(first.remnant_usable); // 985 < 1000
    EXPECT_EQ(plan.patterns[1].cuts, 2);
    EXPECT_EQ(plan.totals.cuts, 4 + 2 + 2 * 2);
    EXPECT_EQ(plan.totals.usable_remnants, 3);
    EXPECT_DOUBLE_EQ(plan.totals.usable_remnant_length, 2990.0 + 2 * 4990.0);
    EXPECT_DOUBLE_EQ(plan.totals.scrap_remnant_length, 985.0);
    EXPECT_TRUE(plan.AllPlaced());
    EXPECT_TRUE(CheckPlanInvariants(p, plan).empty()) << Lines(CheckPlanInvariants(p, plan));
}

// The continuous bound, worked by hand: sum(l + g) of the copies against sum(L + g) of the longest
// tubes; with splitting possible g counts at most 0 and the tubes hold sum(L) >= sum(l) + N g.
TEST(PlanBuilding, ContinuousBoundAndMethodBounds) {
    struct Case {
        const char* name;
        std::vector<std::pair<double, std::int64_t>> parts; // length, amount
        std::vector<std::pair<double, std::int64_t>> stock; // length, amount
        double kerf;
        double common_cut; // gap of P1 followed by P1 (0: the kerf)
        bool separable;    // P1 may be split
        std::optional<std::int64_t> bound;
    };
    const Case cases[] = {
        {"exact fill", {{1500, 4}}, {{6000, 9}}, 0, 0, false, 1},
        {"kerf tips it over", {{1500, 4}}, {{6000, 9}}, 3, 0, false, 2},
        {"kerf with splits counts 0", {{1500, 4}}, {{6000, 9}}, 3, 0, true, 1},
        {"common cut packs tighter", {{1000, 2}}, {{1995, 3}}, 3, -5, false, 1},
        {"but not tighter than the cut", {{1000, 2}}, {{1994, 3}}, 3, -5, false, 2},
        {"common cut with splits", {{1000, 2}}, {{1995, 3}}, 3, -5, true, 1},
        {"longest stock first", {{1200, 5}}, {{1300, 3}, {6000, 1}}, 0, 0, false, 1},
        {"short stock counts too", {{1200, 6}}, {{1300, 3}, {6000, 1}}, 0, 0, false, 2},
        {"not enough stock", {{1200, 6}}, {{1300, 2}}, 0, 0, false, std::nullopt},
    };
    for (const Case& c : cases) {
        Problem p;
        for (std::size_t k = 0; k < c.parts.size(); ++k) {
            PartSpec part{"P" + std::to_string(k + 1),
                          "",
                          c.parts[k].first,
                          std::nullopt,
                          0,
                          0,
                          c.parts[k].second,
                          "",
                          "",
                          std::vector<Interval>{}};
            part.cutoff_a = part.cutoff_b = 10.0;
            if (c.separable && k == 0) {
                part.separable = std::vector<Interval>{{100.0, c.parts[k].first - 100.0}};
            }
            p.parts.push_back(part);
        }
        for (const auto& [length, amount] : c.stock) {
            p.stock.push_back(StockSpec{"", length, amount});
        }
        p.gaps.kerf = c.kerf;
        if (c.common_cut != 0) {
            PairGap g;
            g.first = g.second = "P1";
            g.gap = c.common_cut;
            p.gaps.pairs.push_back(g);
        }
        const EngineInput in = BuildEngineInput(p);
        const std::optional<TubeBound> bound = ContinuousTubeBound(in);
        ASSERT_EQ(bound.has_value(), c.bound.has_value()) << c.name;
        if (bound) {
            EXPECT_EQ(static_cast<std::int64_t>(std::ceil(bound->tubes - 1e-6)), *c.bound) << c.name;
        }
    }

    // A method's proof replaces a weaker continuous bound, but not where splits could beat it.
    for (const bool separable : {false, true}) {
        Problem p = tubenest::testing::SmallProblem();
        for (PartSpec& part : p.parts) {
            part.separable = std::vector<Interval>{}; // unset means the default stretches
        }
        if (separable) {
            p.parts[0].separable = std::vector<Interval>{{100.0, 1100.0}};
        }
        const EngineInput in = BuildEngineInput(p);
        EngineOutput out;
        out.results.Add(Result(1, 2, {1, 2}));
        out.results.Add(Result(1, 1, {2}));
        out.lower_bound = TubeBound{2.4, "column generation", true};
        const Plan plan = BuildPlan(p, in, std::move(out));
        ASSERT_TRUE(plan.lower_bound);
        EXPECT_EQ(plan.lower_bound->tubes, separable ? 1 : 3);
        EXPECT_EQ(plan.lower_bound->source, separable ? "continuous" : "column generation");
        EXPECT_EQ(plan.optimal, !separable);
    }
}
