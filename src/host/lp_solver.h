#pragma once
// The LP solver library of the host: a minimisation LP over a dense row-by-column matrix, with
// column bounds that may be changed and columns that may be added and deleted between solves.
// Backed by COIN-OR CLP; the CLP headers stay inside lp_solver.cpp.
//
// Re-solves start from the last basis: after columns were added the primal simplex continues
// (the old basis stays primal feasible), after bounds changed the dual simplex does (the old basis
// stays dual feasible). Columns are 0-based.
//
// Thread-safety: one object must be used by one thread at a time; separate objects are independent.

#include <limits>
#include <memory>
#include <vector>

namespace tubenest {

/// Dense matrix of the LP solver library: a vector of rows.
using TDoubleMatrix = std::vector<std::vector<double>>;

/// The largest finite double; as a bound it means "no bound".
inline constexpr double MaxDouble = std::numeric_limits<double>::max();

class TCbcLPSolver {
public:
    /// Minimise ACosts·x subject to ARowLower <= AMatrix·x <= ARowUpper, 0 <= x. Every row of
    /// AMatrix has ACosts.size() entries; the bound vectors have one entry per row. Bounds at or
    /// beyond ±1e30 are infinite. Throws std::invalid_argument on mismatched sizes.
    TCbcLPSolver(const TDoubleMatrix& AMatrix, const std::vector<double>& ACosts,
                 const std::vector<double>& ARowLower, const std::vector<double>& ARowUpper);
    ~TCbcLPSolver();
    TCbcLPSolver(const TCbcLPSolver&) = delete;
    TCbcLPSolver& operator=(const TCbcLPSolver&) = delete;

    /// Solves from the last basis. True when an optimum was proven; AObjective is its value, or
    /// MaxDouble when the LP is infeasible, unbounded or was abandoned.
    bool Solve(double& AObjective);

    /// Values of the last solve (empty before the first one).
    std::vector<double> GetColSolution() const;
    /// Row duals of the last solve (>= 0 on binding at-least rows of a minimisation).
    std::vector<double> GetRowPrice() const;
    /// Reduced costs of the last solve.
    std::vector<double> GetReducedCost() const;

    void SetColUB(int AIdx, double AValue);
    void SetColLB(int AIdx, double AValue);
    double GetColUB(int AIdx) const;
    double GetColLB(int AIdx) const;
    int GetColNum() const;
    int GetRowNum() const;

    /// Appends a column: one coefficient per row, objective coefficient and bounds.
    void AddColumn(const std::vector<double>& ACoeffs, double ACost, double ALower, double AUpper);
    /// Deletes column AIdx; later columns move down by one.
    void DeleteColumn(int AIdx);

    /// Simplex iterations of the last solve (for benchmarks and tests of warm starts).
    int LastIterations() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace tubenest
