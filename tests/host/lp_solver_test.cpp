#include "host/lp_solver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <stdexcept>
#include <vector>

#include "host/bcp_base.h"

namespace tubenest {
namespace {

struct CoveringLp {
    TDoubleMatrix a; // rows × columns
    std::vector<double> cost, b;

    std::vector<double> Column(std::size_t j) const {
        std::vector<double> col;
        for (const auto& row : a) {
            col.push_back(row[j]);
        }
        return col;
    }
    TCbcLPSolver Build(std::size_t columns) const {
        TDoubleMatrix part;
        for (const auto& row : a) {
            part.emplace_back(row.begin(), row.begin() + static_cast<std::ptrdiff_t>(columns));
        }
        return TCbcLPSolver(part, {cost.begin(), cost.begin() + static_cast<std::ptrdiff_t>(columns)}, b,
                            std::vector<double>(b.size(), MaxDouble));
    }
};

CoveringLp RandomLp(std::mt19937& rng) {
    std::uniform_int_distribution<int> coeff(0, 3), rhs(1, 9);
    std::uniform_real_distribution<double> price(0.5, 2.0);
    CoveringLp lp;
    const int rows = 4, cols = 12;
    lp.a.assign(rows, std::vector<double>(cols));
    for (int r = 0; r < rows; ++r) {
        lp.b.push_back(rhs(rng));
        for (int c = 0; c < cols; ++c) {
            lp.a[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)] = coeff(rng);
        }
        lp.a[static_cast<std::size_t>(r)][static_cast<std::size_t>(r)] = 1.0; // always feasible
    }
    for (int c = 0; c < cols; ++c) {
        lp.cost.push_back(price(rng));
    }
    return lp;
}

// Optimality of the reported primal and dual values: feasibility, complementary slackness and
// reduced costs c - A'y, which together prove the objective optimal.
void ExpectOptimalCertificate(const CoveringLp& lp, TCbcLPSolver& solver, double objective) {
    const auto x = solver.GetColSolution();
    const auto y = solver.GetRowPrice();
    const auto d = solver.GetReducedCost();
    double primal = 0.0, dual = 0.0;
    for (std::size_t j = 0; j < x.size(); ++j) {
        primal += lp.cost[j] * x[j];
        double reduced = lp.cost[j];
        for (std::size_t r = 0; r < y.size(); ++r) {
            reduced -= lp.a[r][j] * y[r];
        }
        EXPECT_NEAR(d[j], reduced, 1e-7);
        EXPECT_GE(d[j], -1e-7);
    }
    for (std::size_t r = 0; r < y.size(); ++r) {
        dual += lp.b[r] * y[r];
        EXPECT_GE(y[r], -1e-9);
    }
    EXPECT_NEAR(primal, objective, 1e-7);
    EXPECT_NEAR(dual, objective, 1e-7);
}

TEST(CbcLPSolver, WarmResolvesAfterAddedColumnsAndChangedBoundsMatchFreshSolves) {
    std::mt19937 rng(11);
    for (int round = 0; round < 20; ++round) {
        const CoveringLp lp = RandomLp(rng);
        TCbcLPSolver warm = lp.Build(6);
        double obj = 0.0;
        ASSERT_TRUE(warm.Solve(obj));
        for (std::size_t j = 6; j < lp.cost.size(); ++j) {
            warm.AddColumn(lp.Column(j), lp.cost[j], 0.0, MaxDouble);
        }
        ASSERT_TRUE(warm.Solve(obj));
        TCbcLPSolver fresh = lp.Build(lp.cost.size());
        double fresh_obj = 0.0;
        ASSERT_TRUE(fresh.Solve(fresh_obj));
        EXPECT_NEAR(obj, fresh_obj, 1e-7);
        ExpectOptimalCertificate(lp, warm, obj);

        // Forbid the first used column, then delete it: both are the LP without it.
        const auto x = warm.GetColSolution();
        const int used =
            static_cast<int>(std::find_if(x.begin(), x.end(), [](double v) { return v > 1e-6; }) - x.begin());
        warm.SetColUB(used, 0.0);
        EXPECT_EQ(warm.GetColUB(used), 0.0);
        ASSERT_TRUE(warm.Solve(obj));
        EXPECT_GE(obj, fresh_obj - 1e-9);
        warm.DeleteColumn(used);
        EXPECT_EQ(warm.GetColNum(), static_cast<int>(lp.cost.size()) - 1);
        double deleted_obj = 0.0;
        ASSERT_TRUE(warm.Solve(deleted_obj));
        EXPECT_NEAR(deleted_obj, obj, 1e-7);
    }
}

TEST(CbcLPSolver, InfeasibleEmptyAndBadInput) {
    TCbcLPSolver lp({{1.0}}, {1.0}, {2.0}, {MaxDouble});
    lp.SetColUB(0, 1.0);
    double obj = 0.0;
    EXPECT_FALSE(lp.Solve(obj));
    EXPECT_EQ(obj, MaxDouble);
    lp.SetColLB(0, 0.5);
    lp.SetColUB(0, MaxDouble);
    EXPECT_EQ(lp.GetColUB(0), MaxDouble);
    ASSERT_TRUE(lp.Solve(obj));
    EXPECT_NEAR(obj, 2.0, 1e-9);
    lp.DeleteColumn(0);
    EXPECT_FALSE(lp.Solve(obj)); // no column can cover the row
    EXPECT_THROW(lp.SetColUB(0, 1.0), std::out_of_range);
    EXPECT_THROW(lp.AddColumn({1.0, 2.0}, 1.0, 0.0, 1.0), std::invalid_argument);
    EXPECT_THROW(TCbcLPSolver({{1.0, 2.0}}, {1.0}, {0.0}, {1.0}), std::invalid_argument);
}

TEST(BcpStopWatch, TimesOutOnlyAfterStartAndRejectsBadLimits) {
    TBCPStopWatch zero(0.0);
    EXPECT_FALSE(zero.TimeOver());
    zero.Start();
    EXPECT_TRUE(zero.TimeOver());
    TBCPStopWatch hour(3600.0);
    hour.Start();
    EXPECT_FALSE(hour.TimeOver());
    EXPECT_THROW(TBCPStopWatch(-1.0), std::invalid_argument);
    EXPECT_THROW(TBCPStopWatch(std::nan("")), std::invalid_argument);
}

} // namespace
} // namespace tubenest
