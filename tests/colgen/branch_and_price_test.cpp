// The branch-and-price wrapper, the over-production trimming and the sequential knapsack.

#include "colgen/branch_and_price.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

#include "colgen_test_util.h"

namespace tubenest {
namespace {

using namespace colgentest;

TEST(BranchAndPriceCG, TrimmedSolutionsNeverOverProduceAndStillCover) {
    TRandomGenerator rng(31337);
    for (int round = 0; round < 100; ++round) {
        const Tiny t = RandomTiny(rng, round % 2 == 0, round % 3 == 0);
        const auto n = static_cast<std::size_t>(t.data->FPartCount);
        TBranchAndPriceCG bp(*t.data);
        TColGenResult trimmed, optimized;
        ASSERT_TRUE(bp.DoSolve(trimmed));
        EXPECT_EQ(trimmed.SolutionAmount, bp.Solver().MinColGenResult().SolutionAmount);
        ASSERT_TRUE(TCGResultOptimizer::OptimizeCGResult(trimmed, *t.data, optimized));
        EXPECT_TRUE(Covers(t, optimized)) << "round " << round;
        EXPECT_EQ(std::accumulate(optimized.SolutionAmount.begin(), optimized.SolutionAmount.end(), 0),
                  optimized.UsedAmount);
        for (std::size_t i = 0; i < n; ++i) {
            std::int64_t produced = 0;
            for (std::size_t j = 0; j < trimmed.Solutions.size(); ++j) {
                produced += static_cast<std::int64_t>(trimmed.Solutions[j][i]) * trimmed.SolutionAmount[j];
            }
            EXPECT_LE(produced, t.data->FPartAmounts[i]) << "round " << round;
        }
        // The knapsack's patterns fit with lengths rounded up to whole millimetres.
        for (std::size_t j = trimmed.Solutions.size(); j < optimized.Solutions.size(); ++j) {
            double length = 0.0;
            for (std::size_t i = 0; i < n; ++i) {
                length += optimized.Solutions[j][i] * std::trunc(t.data->FPartLengths[i] + 0.999);
            }
            EXPECT_LE(length, std::trunc(t.data->TubeLength()));
        }
    }
}

} // namespace
} // namespace tubenest
