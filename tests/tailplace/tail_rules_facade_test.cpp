// Tail rules through the facade: random problems solved with and without them, the plan checked by
// the independent plan checker and every flagged pattern by the tail rule restated on plan
// positions; the circular refusal, the problem format and the outputs.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "api/plan_output.h"
#include "api/problem_io.h"
#include "api/solve.h"
#include "model/random.h"
#include "support/plan_check.h"

namespace tubenest {
namespace {

using api::Plan;
using api::Problem;

Problem RandomProblem(std::uint64_t seed, api::TailMode mode) {
    TRandomGenerator rng(seed);
    Problem p;
    const int kinds = 3 + rng.Random(6);
    for (int k = 0; k < kinds; ++k) {
        api::PartSpec part;
        part.id = "P" + std::to_string(k + 1);
        part.length = rng.Random(3) == 0 ? 400.0 + rng.Random(401) : 150.0 + rng.Random(2000);
        part.amount = 1 + rng.Random(8);
        p.parts.push_back(part);
    }
    p.stock.push_back(api::StockSpec{"S1", 6000.0, 40});
    if (rng.Random(2) == 0) {
        p.stock.push_back(api::StockSpec{"R1", 2500.0 + rng.Random(2000), 2, true});
    }
    p.gaps.kerf = static_cast<double>(rng.Random(6));
    api::TailRules rules;
    rules.min_length = 400.0;
    rules.max_length = 800.0;
    rules.tail_length = 300.0 + rng.Random(900);
    rules.mode = mode;
    rules.strategy = rng.Random(2) == 0 ? api::TailStrategy::Strict : api::TailStrategy::Economical;
    p.tail = rules;
    return p;
}

/// Flagged patterns: tail parts together at the end, the mode's rule met (no trims in these problems).
std::vector<std::string> TailFaults(const Problem& problem, const Plan& plan) {
    std::vector<std::string> faults;
    const api::TailRules& rules = *problem.tail;
    auto inWindow = [&](const api::PlacedPart& pp) {
        return pp.length >= rules.min_length - 1e-6 && pp.length <= rules.max_length + 1e-6;
    };
    for (std::size_t k = 0; k < plan.patterns.size(); ++k) {
        const api::Pattern& p = plan.patterns[k];
        if (!p.tail_qualified) {
            continue;
        }
        const auto first = std::find_if(p.parts.begin(), p.parts.end(), inWindow);
        if (!std::all_of(first, p.parts.end(), inWindow)) {
            faults.push_back("pattern " + std::to_string(k) + ": tail parts not together at the end");
        }
        const double tailStart = first == p.parts.end() ? p.used_length : first->start;
        const double tail = p.stock_length - tailStart;
        if (rules.mode == api::TailMode::Reserve && tail < rules.tail_length - 1e-6) {
            faults.push_back("pattern " + std::to_string(k) + ": tail shorter than the tail length");
        }
        if (rules.mode == api::TailMode::Last && first == p.parts.end() && !(p.remnant > rules.min_length)) {
            faults.push_back("pattern " + std::to_string(k) + ": no tail part and no room for one");
        }
    }
    return faults;
}

TEST(TailRulesFacade, RandomPlansKeepEveryCopyAndTubeAndFlaggedTailsHold) {
    for (std::uint64_t seed = 1; seed <= 12; ++seed) {
        for (const char* method : {"svc", "greedy", "ffd"}) {
            const api::TailMode mode = seed % 2 == 0 ? api::TailMode::Reserve : api::TailMode::Last;
            SCOPED_TRACE("seed " + std::to_string(seed) + " method " + method);
            Problem withTail = RandomProblem(seed, mode);
            Problem without = withTail;
            without.tail.reset();
            api::SolveOptions options;
            options.method = method;
            options.seed = seed;
            const Plan plain = api::Solve(without, options);
            const Plan plan = api::Solve(withTail, options);
            const auto faults = testing::CheckPlanInvariants(withTail, plan);
            ASSERT_TRUE(faults.empty()) << faults.front();
            EXPECT_GE(plan.totals.copies_placed, plain.totals.copies_placed);
            EXPECT_LE(plan.totals.tubes_used, plain.totals.tubes_used);
            ASSERT_TRUE(plan.tail.has_value());
            EXPECT_TRUE(plan.tail->placed);
            const auto tails = TailFaults(withTail, plan);
            EXPECT_TRUE(tails.empty()) << tails.front();
            std::int64_t qualified = 0;
            for (const auto& p : plan.patterns) {
                qualified += p.tail_qualified ? p.count : 0;
            }
            EXPECT_EQ(plan.tail->qualified_tubes, qualified);
        }
    }
}

TEST(TailRulesFacade, CircularMethodNeedsSplittingNever) {
    Problem p = RandomProblem(3, api::TailMode::Reserve);
    api::SolveOptions options;
    options.method = "circular";
    options.seed = 1;
    options.swarm_size_factor = 1;
    p.parameters.splitting = api::Splitting::Auto;
    EXPECT_THROW(api::Solve(p, options), api::ProblemError);
    p.parameters.splitting = api::Splitting::Free;
    EXPECT_THROW(api::Solve(p, options), api::ProblemError);
    p.parameters.splitting = api::Splitting::Never;
    options.time_limit_seconds = 2.0;
    const Plan plan = api::Solve(p, options);
    EXPECT_TRUE(testing::CheckPlanInvariants(p, plan).empty());
    EXPECT_TRUE(plan.splits.empty());
    EXPECT_TRUE(TailFaults(p, plan).empty());
}

TEST(TailRulesFacade, StopBeforeTheRunLosesNothing) {
    Problem p = RandomProblem(5, api::TailMode::Reserve);
    api::SolveOptions options;
    options.method = "svc";
    options.seed = 2;
    api::StopToken stop;
    stop.RequestStop();
    options.stop = stop;
    const Plan plan = api::Solve(p, options);
    EXPECT_EQ(plan.status, api::PlanStatus::Interrupted);
    EXPECT_TRUE(testing::CheckPlanInvariants(p, plan).empty());
    ASSERT_TRUE(plan.tail.has_value());
    EXPECT_FALSE(plan.tail->placed);
}

TEST(TailRulesFacade, ProblemFormatReadsWritesAndChecksTheRules) {
    const std::string text = R"({"parts": [{"id": "A", "length": 500, "amount": 2}],
        "stock": [{"length": 6000, "amount": 2}],
        "tail": {"min_length": 400, "max_length": 800, "tail_length": 900, "mode": "last", "strategy": "economical"}})";
    const Problem p = api::ParseProblemJson(text);
    ASSERT_TRUE(p.tail.has_value());
    EXPECT_EQ(p.tail->mode, api::TailMode::Last);
    EXPECT_EQ(p.tail->strategy, api::TailStrategy::Economical);
    EXPECT_DOUBLE_EQ(p.tail->tail_length, 900);
    const Problem again = api::ParseProblemJson(api::ProblemToJson(p));
    ASSERT_TRUE(again.tail.has_value());
    EXPECT_EQ(again.tail->mode, api::TailMode::Last);
    EXPECT_DOUBLE_EQ(again.tail->max_length, 800);

    const char* bad[] = {
        R"({"parts": [{"id": "A", "length": 5, "amount": 1}], "stock": [{"length": 60, "amount": 1}],
            "tail": {"min_length": 400}})",
        R"({"parts": [{"id": "A", "length": 5, "amount": 1}], "stock": [{"length": 60, "amount": 1}],
            "tail": {"min_length": 400, "max_length": 800, "mode": "first"}})",
        R"({"parts": [{"id": "A", "length": 5, "amount": 1}], "stock": [{"length": 60, "amount": 1}],
            "tail": {"min_length": 400, "max_length": 800, "strategy": "lazy"}})",
        R"({"parts": [{"id": "A", "length": 5, "amount": 1}], "stock": [{"length": 60, "amount": 1}],
            "tail": {"min_length": 400, "max_length": 800, "colour": 1}})",
    };
    for (const char* b : bad) {
        EXPECT_THROW(api::ParseProblemJson(b), api::ProblemError) << b;
    }
    Problem inverted = p;
    inverted.tail->max_length = 300;
    EXPECT_FALSE(api::FindProblemFaults(inverted).empty());
    inverted.tail->max_length = 800;
    inverted.tail->tail_length = -1;
    EXPECT_FALSE(api::FindProblemFaults(inverted).empty());
}

TEST(TailRulesFacade, OutputsMarkQualifiedPatternsOnlyWithTailRules) {
    Problem p = RandomProblem(8, api::TailMode::Last);
    api::SolveOptions options;
    options.method = "svc";
    options.seed = 3;
    const Plan plan = api::Solve(p, options);
    const std::string summary = api::FormatPlanSummary(plan);
    EXPECT_NE(summary.find("\nTail: " + std::to_string(plan.tail->qualified_tubes) + " of "), std::string::npos);
    const std::string json = api::PlanToJson(plan);
    EXPECT_NE(json.find("\"tail_qualified\""), std::string::npos);
    EXPECT_NE(json.find("\"qualified_tubes\""), std::string::npos);
    EXPECT_NE(api::PlanToSvg(plan).find("Tail: "), std::string::npos);

    p.tail.reset();
    const Plan plain = api::Solve(p, options);
    EXPECT_EQ(api::FormatPlanSummary(plain).find("Tail:"), std::string::npos);
    EXPECT_EQ(api::PlanToJson(plain).find("tail"), std::string::npos);
}

} // namespace
} // namespace tubenest
