#include "host/lp_solver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <stdexcept>
#include <vector>

namespace tubenest {
namespace {

// min cost·x subject to a·x >= b, x >= 0; a unit entry per row keeps it feasible.
struct CoveringLp {
    TDoubleMatrix a; // rows × columns
    std::vector<double> cost, b;

    explicit CoveringLp(std::mt19937& rng) : a(4, std::vector<double>(12)) {
        std::uniform_int_distribution<int> coeff(0, 3), rhs(1, 9);
        std::uniform_real_distribution<double> price(0.5, 2.0);
        for (std::size_t r = 0; r < a.size(); ++r) {
            b.push_back(rhs(rng));
            std::generate(a[r].begin(), a[r].end(), [&] { return coeff(rng); });
            a[r][r] = 1.0;
        }
        for (std::size_t c = 0; c < a[0].size(); ++c) {
            cost.push_back(price(rng));
        }
    }
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

// The reported values prove the objective optimal: x feasible, y and the reduced costs c - A'y
// dual feasible, and both sides at the objective.
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
        EXPECT_GE(x[j], -1e-9);
    }
    for (std::size_t r = 0; r < y.size(); ++r) {
        double covered = 0.0;
        for (std::size_t j = 0; j < x.size(); ++j) {
            covered += lp.a[r][j] * x[j];
        }
        EXPECT_GE(covered, lp.b[r] - 1e-7);
        dual += lp.b[r] * y[r];
        EXPECT_GE(y[r], -1e-9);
    }
    EXPECT_NEAR(primal, objective, 1e-7);
    EXPECT_NEAR(dual, objective, 1e-7);
}

TEST(CbcLPSolver, WarmResolvesAfterAddedColumnsAndChangedBoundsMatchFreshSolves) {
    std::mt19937 rng(11);
    for (int round = 0; round < 20; ++round) {
        const CoveringLp lp(rng);
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

} // namespace
} // namespace tubenest
