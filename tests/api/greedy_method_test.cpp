// The facade methods greedy, packed and cg: every plan is sound and never worse than first-fit
// decreasing; the lower bound of cg.

#include <gtest/gtest.h>

#include "api/solve.h"
#include "model/random.h"
#include "support/plan_check.h"

namespace tubenest::testing {
namespace {

TEST(TreeSearchMethods, SoundAndNeverWorseThanFirstFitDecreasing) {
    TRandomGenerator rng(31);
    for (int instance = 0; instance < 60; ++instance) {
        SCOPED_TRACE("instance " + std::to_string(instance));
        api::Problem p;
        const int kinds = 3 + rng.Random(25);
        for (int k = 0; k < kinds; ++k) {
            api::PartSpec part;
            part.id = "P" + std::to_string(k);
            part.length = 150.0 + rng.Random(2800);
            part.amount = 1 + rng.Random(12);
            p.parts.push_back(part);
        }
        p.stock.push_back(api::StockSpec{"S1", 3000.0 + rng.Random(4000), 400});
        p.gaps.kerf = rng.Random(4);
        api::SolveOptions options;
        options.seed = 1;
        options.method = "ffd";
        const api::Plan ffd = api::Solve(p, options);
        for (const char* method : {"greedy", "packed", "cg"}) {
            options.method = method;
            const api::Plan plan = api::Solve(p, options);
            EXPECT_TRUE(CheckPlanInvariants(p, plan).empty()) << method;
            EXPECT_GE(plan.totals.copies_placed, ffd.totals.copies_placed) << method;
            if (plan.totals.copies_placed == ffd.totals.copies_placed) {
                EXPECT_LE(plan.totals.tubes_used, ffd.totals.tubes_used) << method;
            }
        }
    }
}

// Six parts of 1010 mm need a 2000 mm tube each; the continuous bound sees only 3.03 tubes.
TEST(CgMethod, ItsBoundProvesTheOptimumWhereTheContinuousBoundCannot) {
    api::Problem p;
    p.parts.push_back(api::PartSpec{"P", "", 1010.0, std::nullopt, 0, 0, 6, "", "", std::nullopt});
    p.stock.push_back(api::StockSpec{"S", 2000.0, 10});
    p.gaps.kerf = 3.0;
    api::SolveOptions options;
    for (const auto splitting : {api::Splitting::Auto, api::Splitting::Never}) {
        p.parameters.splitting = splitting;
        for (const char* method : {"cg", "ffd"}) {
            options.method = method;
            const api::Plan plan = api::Solve(p, options);
            EXPECT_TRUE(CheckPlanInvariants(p, plan).empty()) << method;
            EXPECT_EQ(plan.totals.tubes_used, 6) << method;
            ASSERT_TRUE(plan.lower_bound) << method;
            // The bound holds for whole parts only: where parts may be split it is not used.
            const bool proven = method == std::string("cg") && splitting == api::Splitting::Never;
            EXPECT_EQ(plan.lower_bound->source, proven ? "column generation" : "continuous") << method;
            EXPECT_EQ(plan.optimal, proven) << method;
            EXPECT_EQ(plan.lower_bound->tubes, proven ? 6 : 4) << method;
        }
    }
    // A method whose plan the first-fit floor replaces keeps the bound it proved.
    api::RegisterMethod("test_bound_only", [](const api::EngineInput&, const api::MethodContext&) {
        api::EngineOutput out;
        out.lower_bound = api::TubeBound{5.5, "test proof", true};
        return out;
    });
    options.method = "test_bound_only";
    const api::Plan plan = api::Solve(p, options);
    ASSERT_TRUE(plan.lower_bound);
    EXPECT_EQ(plan.lower_bound->source, "test proof");
    EXPECT_TRUE(plan.optimal);
}

// The time limit (a stop from the watcher thread) ends the pricing between stages; the run still
// returns a plan that places every copy.
TEST(CgMethodConcurrency, TimeLimitEndsTheRunWithACompletePlan) {
    TRandomGenerator rng(3);
    api::Problem p;
    for (int k = 0; k < 120; ++k) {
        p.parts.push_back(api::PartSpec{"P" + std::to_string(k), "", 20000.0 + rng.Random(15000),
                                        std::nullopt, 0, 0, 1 + rng.Random(3), "", "",
                                        std::vector<api::Interval>{}});
    }
    p.stock.push_back(api::StockSpec{"S", 100000.0, 400});
    api::SolveOptions options;
    options.method = "cg";
    options.time_limit_seconds = 0.3;
    const api::Plan plan = api::Solve(p, options);
    EXPECT_EQ(plan.status, api::PlanStatus::TimeLimit);
    EXPECT_TRUE(plan.AllPlaced());
    EXPECT_TRUE(CheckPlanInvariants(p, plan).empty());
    EXPECT_LT(plan.elapsed_seconds, 60.0); // the stop is honoured, not the whole solve waited for
}

} // namespace
} // namespace tubenest::testing
