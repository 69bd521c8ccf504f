// The column generation solver against brute force: every pattern of tiny problems enumerated, the
// LP of all patterns solved independently by CLP.

#include "colgen/column_generation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numeric>
#include <stdexcept>

#include "colgen_test_util.h"
#include "model/nest_progress.h"

namespace tubenest {
namespace {

using namespace colgentest;

double Value(const TIntDynArray& a, const TExtendedDynArray& duals) {
    return std::inner_product(a.begin(), a.end(), duals.begin(), 0.0);
}

TEST(ColGenPricing, FindsTheMostValuablePatternOfEveryTinyProblem) {
    TRandomGenerator rng(20260612);
    for (int round = 0; round < 300; ++round) {
        const bool fractional = round % 5 == 4; // lengths counted up to whole millimetres
        const Tiny t = RandomTiny(rng, round % 2 == 1, round % 3 == 2, fractional);
        TColumnGenerationSolver solver;
        solver.SetData(*t.data);
        TExtendedDynArray duals;
        for (int i = 0; i < t.data->FPartCount; ++i) {
            duals.push_back(rng.Random(5) == 0 ? -0.1 : rng.RandomFloat() * 0.6);
        }
        double best = 0.0;
        for (const auto& a : t.patterns) {
            best = std::max(best, Value(a, duals));
        }
        TIntDynArray found;
        ASSERT_TRUE(solver.SolveSubproblem(duals, found));
        EXPECT_NEAR(Value(found, duals), best, fractional ? best : 1e-9) << "round " << round;
        EXPECT_LE(Value(found, duals), best + 1e-9) << "round " << round;
        EXPECT_TRUE(found == TIntDynArray(found.size(), 0) ||
                    std::find(t.patterns.begin(), t.patterns.end(), found) != t.patterns.end())
            << "round " << round;
    }
}

TEST(ColGenSolver, MatchesTheLpOfAllPatternsAndCoversTheDemand) {
    TRandomGenerator rng(777);
    for (int round = 0; round < 200; ++round) {
        const bool fractional = round % 5 == 4;
        const Tiny t = RandomTiny(rng, round % 2 == 1, round % 4 == 3, fractional);
        const auto n = static_cast<std::size_t>(t.data->FPartCount);
        TColumnGenerationSolver solver;
        TColGenResult result;
        ASSERT_TRUE(solver.DoSolve(*t.data, result));
        const TColGenStatistics& stats = solver.Statistics();
        const double lp = ClpValue(t);
        ASSERT_EQ(stats.StopReason, TColGenStopReason::Optimal) << "round " << round;
        EXPECT_LE(stats.LPLowerBound, lp + 1e-9) << "round " << round;
        EXPECT_GE(stats.LPValue, lp - 1e-6 * std::max(1.0, lp)) << "round " << round;
        if (!fractional) { // else the LP may miss patterns whose fractions add up below a millimetre
            EXPECT_NEAR(stats.LPValue, lp, 1e-6 * std::max(1.0, lp)) << "round " << round;
            EXPECT_GE(stats.LPLowerBound, lp * (1 - 1e-4)) << "round " << round;
            for (const auto& a : t.patterns) {
                EXPECT_LE(Value(a, solver.SimplexMul()), 1 + 1e-6) << "round " << round;
            }
        }
        for (std::size_t r = 0; r < n; ++r) { // the kept inverse is the inverse of the basis
            for (std::size_t c = 0; c < n; ++c) {
                double e = 0.0;
                for (std::size_t k = 0; k < n; ++k) {
                    e += solver.InverseB()[r][k] * solver.Pattern()[c][k];
                }
                EXPECT_NEAR(e, r == c ? 1.0 : 0.0, 1e-9) << "round " << round;
            }
        }
        // Patterns that fit, covering the demand, no fewer tubes than the bound.
        EXPECT_TRUE(stats.Covering && Covers(t, result)) << "round " << round;
        for (std::size_t j = 0; j < result.Solutions.size(); ++j) {
            EXPECT_TRUE(result.SolutionAmount[j] == 0 ||
                        PatternLength(t, result.Solutions[j]) <= t.data->TubeLength());
        }
        EXPECT_EQ(std::accumulate(result.SolutionAmount.begin(), result.SolutionAmount.end(), 0),
                  result.UsedAmount);
        EXPECT_GE(result.UsedAmount, stats.TubeLowerBound());
        for (std::size_t i = 0; i < n; ++i) {
            EXPECT_EQ(InProgramme(t, i),
                      std::find(stats.ExcludedParts.begin(), stats.ExcludedParts.end(),
                                static_cast<std::int32_t>(i)) == stats.ExcludedParts.end());
        }
        // Stopped at once: the homogeneous start, rounded, still covers, and the bound holds.
        TNestProgress progress(nullptr);
        progress.CustomStop();
        NestProgress = &progress;
        TColumnGenerationSolver stopped;
        stopped.DoSolve(*t.data, result);
        NestProgress = nullptr;
        EXPECT_TRUE(stopped.Statistics().Covering && Covers(t, result));
        EXPECT_LE(stopped.Statistics().LPLowerBound, lp + 1e-9);
        EXPECT_EQ(stopped.Statistics().Iterations, 0);
        EXPECT_TRUE(stopped.Statistics().StopReason == TColGenStopReason::Stopped || stats.Iterations == 0);
    }
}

// Only overlapping ends (negative gaps) shorten a run of copies: the pricing never counts positive gaps.
TEST(ColGenPricing, RunLengthCountsOnlyOverlaps) {
    EXPECT_DOUBLE_EQ(TPatternPricing::RunLength(100, 4, -3, 2), 396); // g = 2 x -3 + 2
    EXPECT_DOUBLE_EQ(TPatternPricing::RunLength(100, 4, 3, 2), 400);  // g = 8, ignored
    EXPECT_DOUBLE_EQ(TPatternPricing::RunLength(100, 3, -3, 2), 299); // g = (-3 + 2) x 1
    EXPECT_DOUBLE_EQ(TPatternPricing::RunLength(100, 6, -3, -1), 589); // g = 3 x -3 + 2 x -1
}

TEST(ColGenSolver, RejectsBadDataAndTooLargeTables) {
    auto make = [](std::size_t n, double length, std::int32_t amount, double tube) {
        TColGenData d(static_cast<std::int32_t>(n));
        for (std::size_t i = 0; i < n; ++i) {
            d.FPartLengths[i] = length + static_cast<double>(i);
            d.FPartAmounts[i] = amount;
        }
        d.FTubeLengths[0] = tube;
        return d;
    };
    const double inf = std::numeric_limits<double>::infinity();
    for (const auto& d : {make(1, -1, 1, 1000), make(1, std::nan(""), 1, 1000), make(1, 10, -1, 1000),
                          make(1, 10, 1, 0), make(1, 10, 1, inf)}) {
        TColumnGenerationSolver solver;
        TColGenResult r;
        EXPECT_THROW(solver.DoSolve(d, r), std::invalid_argument);
    }
    TColumnGenerationSolver solver;
    TColGenResult r;
    try {
        solver.DoSolve(make(700, 1000, 1, 100000), r); // 70 million cells
        ADD_FAILURE() << "no error for a table of 70 million cells";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("pricing table"), std::string::npos) << e.what();
    }
}

} // namespace
} // namespace tubenest
