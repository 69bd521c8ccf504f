// The branch-and-price wrapper, the over-production trimming and the sequential knapsack.

#include "colgen/branch_and_price.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

#include "colgen_test_util.h"

namespace tubenest {
namespace {

using namespace colgentest;

TColGenData OnePart(double length, std::int32_t demand, double tube) {
    TColGenData d(1);
    d.FPartLengths[0] = length;
    d.FPartAmounts[0] = demand;
    d.FTubeLengths[0] = tube;
    return d;
}

TEST(CGResultOptimizer, GivesBackTheTubesThatOverProduceAndRefillsTheRest) {
    const TColGenData data = OnePart(1000, 10, 3000);
    // 3 copies from the first pattern; 2 x 5 more would make 13: 3 over, ceil(3 / 2) = 2 tubes back.
    TColGenResult r{{{1}, {2}}, {3, 5}, {}, 8};
    TColGenResult out;
    ASSERT_TRUE(TCGResultOptimizer::OptimizeCGResult(r, data, out));
    EXPECT_EQ(r.SolutionAmount, (TIntDynArray{3, 3}));
    EXPECT_EQ(r.UsedAmount, 6);
    EXPECT_EQ(out.Solutions, (TDoubleIntDynArray{{1}, {2}, {1}})); // the tenth copy from the knapsack
    EXPECT_EQ(out.SolutionAmount, (TIntDynArray{3, 3, 1}));
    EXPECT_EQ(out.UsedAmount, 7);

    TColGenResult exact{{{2}}, {5}, {5.0}, 5};
    ASSERT_TRUE(TCGResultOptimizer::OptimizeCGResult(exact, data, out));
    EXPECT_EQ(out.Solutions, exact.Solutions);
    EXPECT_EQ(out.SolutionAmount, exact.SolutionAmount);
    EXPECT_EQ(out.UsedAmount, 5);
}

TEST(SimpleNest, MergesEqualTubesAndCountsPartsInWholeMillimetresRoundedUp) {
    struct Case {
        double length;
        std::int32_t demand;
        double tube;
        TDoubleIntDynArray patterns;
        TIntDynArray amounts;
    };
    const Case cases[] = {
        {1000, 6, 2000, {{2}}, {3}},
        {999.9995, 3, 2999.5, {{2}, {1}}, {1, 1}}, // counts 1000: two in 2999
        {999.0005, 3, 2997, {{3}}, {1}},           // counts 999
        {3100, 2, 3000, {}, {}},                   // fits in no tube
    };
    for (const auto& c : cases) {
        TColGenResult r;
        ASSERT_TRUE(TSimpleNest::DoSolve(OnePart(c.length, c.demand, c.tube), r));
        EXPECT_EQ(r.Solutions, c.patterns) << c.length;
        EXPECT_EQ(r.SolutionAmount, c.amounts) << c.length;
        EXPECT_EQ(r.UsedAmount, std::accumulate(c.amounts.begin(), c.amounts.end(), 0)) << c.length;
    }
}

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
