// The facade method cg: its lower bound in the plan.

#include <gtest/gtest.h>

#include "api/solve.h"
#include "model/random.h"
#include "support/plan_check.h"

namespace tubenest::testing {
namespace {

// Six parts of 1010 mm need a 2000 mm tube each; the continuous bound sees only 3.03 tubes.
TEST(CgMethod, ItsBoundProvesTheOptimumWhereTheContinuousBoundCannot) {
    api::Problem p;
    p.parts.push_back(api::PartSpec{"P", "", 1010.0, std::nullopt, 0, 0, 6, "", "", std::nullopt});
    p.stock.push_back(api::StockSpec{"S", 2000.0, 10});
    p.gaps.kerf = 3.0;
    for (const auto splitting : {api::Splitting::Never, api::Splitting::Auto}) {
        p.parameters.splitting = splitting;
        for (const char* method : {"cg", "ffd"}) {
            api::SolveOptions options;
            options.method = method;
            options.seed = 1;
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
}

// A method whose plan the first-fit floor replaces still proves its bound: the plan keeps it.
TEST(CgMethod, AReplacedPlanKeepsTheBoundTheMethodProved) {
    api::Problem p;
    p.parts.push_back(
        api::PartSpec{"P", "", 1010.0, std::nullopt, 0, 0, 6, "", "", std::vector<api::Interval>{}});
    p.stock.push_back(api::StockSpec{"S", 2000.0, 10});
    api::RegisterMethod("test_bound_only", [](const api::EngineInput&, const api::MethodContext&) {
        api::EngineOutput out;
        out.lower_bound = api::TubeBound{5.5, "test proof", true};
        return out;
    });
    api::SolveOptions options;
    options.method = "test_bound_only";
    const api::Plan plan = api::Solve(p, options);
    EXPECT_EQ(plan.totals.copies_placed, 6);
    ASSERT_TRUE(plan.lower_bound);
    EXPECT_EQ(plan.lower_bound->source, "test proof");
    EXPECT_EQ(plan.lower_bound->tubes, 6);
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
