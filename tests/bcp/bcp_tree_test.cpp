// The generic tree on tiny cutting-stock problems: its root bound against the LP of all patterns
// solved by CLP directly, its result against the optimum found by enumeration. Every tree runs a
// pricing worker thread, hence "Concurrency" in the names.

#include "bcp/bcp_tree.h"

#include <gtest/gtest.h>

#include <ClpSimplex.hpp>

#include <atomic>
#include <cmath>
#include <limits>
#include <random>
#include <stdexcept>

#include "bcp/cutting_stock.h"

namespace tubenest {
namespace {

using bcptest::CuttingProblem;
using bcptest::Manager;
using bcptest::Solution;
using bcptest::TestPattern;
using Tree = TBCPTree<TestPattern>;

// min sum x_p subject to sum_p a_ip x_p >= d_i over every pattern with counts within the demands.
double LpOfAllPatterns(const CuttingProblem& problem) {
    const auto patterns = problem.Patterns();
    const int rows = static_cast<int>(problem.BVec().size());
    ClpSimplex lp;
    lp.setLogLevel(0);
    lp.resize(rows, 0);
    for (int r = 0; r < rows; ++r) {
        lp.setRowBounds(r, problem.BVec()[static_cast<std::size_t>(r)], COIN_DBL_MAX);
    }
    for (const auto& p : patterns) {
        std::vector<int> idx;
        std::vector<double> val;
        for (int r = 0; r < rows; ++r) {
            if (p[static_cast<std::size_t>(r)] > 0) {
                idx.push_back(r);
                val.push_back(p[static_cast<std::size_t>(r)]);
            }
        }
        lp.addColumn(static_cast<int>(idx.size()), idx.data(), val.data(), 0.0, COIN_DBL_MAX, 1.0);
    }
    lp.dual();
    EXPECT_TRUE(lp.isProvenOptimal());
    return lp.objectiveValue();
}

CuttingProblem RandomProblem(std::mt19937& rng) {
    std::uniform_int_distribution<int> kinds(2, 4), length(2, 9), demand(1, 3);
    std::vector<int> lengths, demands;
    for (int k = kinds(rng); k > 0; --k) {
        lengths.push_back(length(rng));
        demands.push_back(demand(rng));
    }
    return CuttingProblem(lengths, demands, 10);
}

TEST(BcpTreeConcurrency, RandomInstancesReachTheLpBoundAndTheOptimum) {
    std::mt19937 rng(20240611);
    for (int instance = 0; instance < 200; ++instance) {
        const CuttingProblem problem = RandomProblem(rng);
        for (const bool honour_bound : {false, true}) {
            SCOPED_TRACE(testing::Message() << "instance " << instance << " honour_bound " << honour_bound);
            CuttingProblem main = problem;
            Manager manager(&main);
            bcptest::RegisterSolvers(manager, honour_bound);
            Tree tree(&manager, nullptr, true, 3600.0);
            const auto result = tree.Solve(TBCPStopFunc([] { return false; }));
            const BcpStatistics& stats = tree.Statistics();
            EXPECT_EQ(stats.failure, "");
            EXPECT_TRUE(stats.status == 0 || stats.status == 2) << stats.status;
            ASSERT_TRUE(main.CheckSolution(*result));
            EXPECT_EQ(result->GetObjective(), problem.OptimalTubes());
            ASSERT_TRUE(stats.root_lp_value.has_value());
            const double lp = LpOfAllPatterns(problem);
            if (honour_bound) {
                // Pricing stops once no column can lower the rounded bound.
                EXPECT_GE(*stats.root_lp_value, lp - 1e-6);
                EXPECT_LE(*stats.root_lp_value, problem.OptimalTubes() + 1e-6);
            } else {
                EXPECT_NEAR(*stats.root_lp_value, lp, 1e-6);
            }
            EXPECT_GE(stats.pool_columns, 1);
            EXPECT_EQ(manager.PricingFailureCount(), 0);
        }
    }
}

// The LP of all patterns is 4 and 4 tubes suffice, but the first restricted LP is 4.67 and the
// best column is worth exactly 4.67 / 4 at its duals: a pricing that stops at "nothing worth
// more than that" must still hand it over, or the rounded bound 5 would prove the 5 tubes of the
// start solution optimal.
TEST(BcpTreeConcurrency, AColumnWorthExactlyTheFarleyBoundIsStillPriced) {
    CuttingProblem main({5, 4, 4}, {4, 5, 3}, 13);
    Manager manager(&main);
    bcptest::RegisterSolvers(manager, true);
    Tree tree(&manager, nullptr, true, 3600.0);
    const auto result = tree.Solve(TBCPStopFunc([] { return false; }));
    EXPECT_NEAR(LpOfAllPatterns(main), 4.0, 1e-9);
    EXPECT_EQ(result->GetObjective(), 4);
}

// From one tube per copy and without a residual solver, better solutions come only from integral
// LPs found by branching (about a third of these instances branch).
TEST(BcpTreeConcurrency, BranchingFromAWeakStartReachesTheOptimum) {
    std::mt19937 rng(99);
    for (int instance = 0; instance < 300; ++instance) {
        SCOPED_TRACE(testing::Message() << "instance " << instance);
        CuttingProblem main = RandomProblem(rng);
        Manager manager(&main);
        bcptest::RegisterSolvers(manager, true, true);
        Tree tree(&manager, nullptr, true, 3600.0);
        const auto result = tree.Solve(TBCPStopFunc([] { return false; }));
        const BcpStatistics& stats = tree.Statistics();
        EXPECT_EQ(stats.failure, "");
        EXPECT_TRUE(main.CheckSolution(*result));
        EXPECT_EQ(result->GetObjective(), main.OptimalTubes());
    }
}

// An up child whose fixed columns cover all residual demand has no rows: it is solved with LP
// value 0 (its bound is what the fixed columns cost), and its solution is those columns.
TEST(BcpTreeConcurrency, ANodeWithoutRowsIsSolvedByItsFixedColumns) {
    CuttingProblem main({4}, {2}, 10);
    Manager manager(&main);
    TVarPool<TestPattern> pool(main.BVec(), main.IneqVec());
    TBCPNode<TestPattern> node({}, {}, &manager, &pool, nullptr, 3.0, true);
    TBCPStopWatch watch(10.0);
    watch.Start();
    ASSERT_TRUE(node.Solve(watch, [] { return false; }));
    EXPECT_EQ(node.LPSol(), 0.0);
    EXPECT_EQ(node.LLB, 3.0);
    EXPECT_TRUE(node.Fathom(0.001));
    double cost = -1.0;
    EXPECT_EQ(node.GetIntSolution(cost)->GetCount(), 0);
    EXPECT_EQ(cost, 0.0);
}

TEST(BcpTreeConcurrency, WithoutAnAcceptedStartSolutionReturnsEmptyAtOnce) {
    CuttingProblem main({4, 3}, {2, 2}, 10);
    Manager manager(&main);
    manager.AddGreedySolver([](TBCPProblem<TestPattern>& p, Solution& out) {
        // Covers only the first item: refused by CheckSolution.
        out.AddSubSolution(dynamic_cast<CuttingProblem&>(p).MakePattern({2, 0}), 1);
        return true;
    });
    Tree tree(&manager, nullptr, true, 3600.0);
    EXPECT_EQ(tree.Solve(TBCPStopFunc([] { return false; }))->GetCount(), 0);
    EXPECT_EQ(tree.Status(), -1);
    EXPECT_EQ(tree.Statistics().nodes, 0);
}

TEST(BcpTreeConcurrency, QueuedStartSolutionIsTheIncumbentAndAStopEndsWithStatusOne) {
    CuttingProblem main({6, 5, 3}, {3, 2, 3}, 10);
    Manager manager(&main);
    bcptest::RegisterSolvers(manager, true);
    TFifo<std::unique_ptr<Solution>> queue;
    auto start = std::make_unique<Solution>();
    main.GreedyFill(*start);
    const double start_cost = start->GetCSPCost();
    queue.Push(std::move(start));
    Tree tree(&manager, &queue, true, 3600.0);
    const std::atomic<bool> stop{true};
    const auto result = tree.Solve(stop);
    EXPECT_EQ(tree.Status(), 1);
    EXPECT_DOUBLE_EQ(result->GetCSPCost(), start_cost);
}

TEST(BcpTreeConcurrency, PricingErrorEndsTheSearchWithTheIncumbentAndUnboundWorkers) {
    CuttingProblem main({6, 5, 3}, {3, 2, 3}, 10);
    Manager manager(&main);
    manager.AddSubProblemSolverWithMultiResult([](TBCPProblem<TestPattern>&, int, double, auto&) -> bool {
        throw std::runtime_error("pricing broke");
    });
    manager.AddGreedySolver([](TBCPProblem<TestPattern>& p, Solution& out) {
        dynamic_cast<CuttingProblem&>(p).GreedyFill(out);
        return true;
    });
    Tree tree(&manager, nullptr, true, 3600.0);
    const auto result = tree.Solve(TBCPStopFunc([] { return false; }));
    EXPECT_EQ(tree.Statistics().failure, "pricing broke");
    EXPECT_EQ(tree.Status(), 2);
    EXPECT_TRUE(main.CheckSolution(*result));
    EXPECT_TRUE(manager.IsAllSubSolverEnd());
}

TEST(BcpTreeConcurrency, AnLpValueOfAtMostOnePublishesAnInfiniteBound) {
    CuttingProblem main({3, 2}, {1, 1}, 10);
    Manager manager(&main);
    std::vector<double> bounds;
    manager.AddSubProblemSolverWithMultiResult(
        [&bounds](TBCPProblem<TestPattern>&, int, double bound, auto&) {
            bounds.push_back(bound); // only the worker writes; read after the tree has joined the passes
            return false;
        });
    manager.AddGreedySolver([](TBCPProblem<TestPattern>& p, Solution& out) {
        out.AddSubSolution(dynamic_cast<CuttingProblem&>(p).MakePattern({1, 1}), 1);
        return true;
    });
    Tree tree(&manager, nullptr, true, 3600.0);
    tree.Solve(TBCPStopFunc([] { return false; }));
    ASSERT_FALSE(bounds.empty());
    EXPECT_EQ(bounds.front(), std::numeric_limits<double>::infinity());
    EXPECT_EQ(tree.Statistics().root_lp_value, 1.0);
}

} // namespace
} // namespace tubenest
