#include "host/lp_solver.h"

#include <ClpSimplex.hpp>
#include <CoinFinite.hpp>

#include <stdexcept>
#include <string>

namespace tubenest {
namespace {

double ToClpBound(double value) {
    if (value >= 1e30) {
        return COIN_DBL_MAX;
    }
    if (value <= -1e30) {
        return -COIN_DBL_MAX;
    }
    return value;
}

} // namespace

struct TCbcLPSolver::Impl {
    ClpSimplex model;
    bool solved_once = false;
    bool columns_added = false; // since the last solve
    bool structure_changed = false;
    int last_iterations = 0;

    void CheckColumn(int idx) const {
        if (idx < 0 || idx >= model.numberColumns()) {
            throw std::out_of_range("TCbcLPSolver: column " + std::to_string(idx) + " out of range (" +
                                    std::to_string(model.numberColumns()) + " columns)");
        }
    }
};

TCbcLPSolver::TCbcLPSolver(const TDoubleMatrix& AMatrix, const std::vector<double>& ACosts,
                           const std::vector<double>& ARowLower, const std::vector<double>& ARowUpper)
    : impl_(std::make_unique<Impl>()) {
    const auto rows = AMatrix.size();
    const auto cols = ACosts.size();
    if (ARowLower.size() != rows || ARowUpper.size() != rows) {
        throw std::invalid_argument("TCbcLPSolver: " + std::to_string(rows) + " rows but " +
                                    std::to_string(ARowLower.size()) + " lower and " +
                                    std::to_string(ARowUpper.size()) + " upper row bounds");
    }
    // Column-major sparse copy of the dense rows.
    std::vector<int> starts{0};
    std::vector<int> indices;
    std::vector<double> values;
    for (std::size_t c = 0; c < cols; ++c) {
        for (std::size_t r = 0; r < rows; ++r) {
            if (AMatrix[r].size() != cols) {
                throw std::invalid_argument("TCbcLPSolver: row " + std::to_string(r) + " has " +
                                            std::to_string(AMatrix[r].size()) + " entries, expected " +
                                            std::to_string(cols));
            }
            if (AMatrix[r][c] != 0.0) {
                indices.push_back(static_cast<int>(r));
                values.push_back(AMatrix[r][c]);
            }
        }
        starts.push_back(static_cast<int>(indices.size()));
    }
    std::vector<double> lower(rows);
    std::vector<double> upper(rows);
    for (std::size_t r = 0; r < rows; ++r) {
        lower[r] = ToClpBound(ARowLower[r]);
        upper[r] = ToClpBound(ARowUpper[r]);
    }
    std::vector<double> col_lower(cols, 0.0);
    std::vector<double> col_upper(cols, COIN_DBL_MAX);
    auto& m = impl_->model;
    m.setLogLevel(0);
    m.setOptimizationDirection(1.0);
    m.loadProblem(static_cast<int>(cols), static_cast<int>(rows), starts.data(), indices.data(),
                  values.data(), col_lower.data(), col_upper.data(), ACosts.data(), lower.data(),
                  upper.data());
}

TCbcLPSolver::~TCbcLPSolver() = default;

bool TCbcLPSolver::Solve(double& AObjective) {
    auto& m = impl_->model;
    AObjective = MaxDouble;
    if (m.numberColumns() == 0) {
        // CLP is not asked about an empty LP: x is empty, feasible when 0 lies within every row.
        impl_->last_iterations = 0;
        for (int r = 0; r < m.numberRows(); ++r) {
            if (m.rowLower()[r] > 1e-9 || m.rowUpper()[r] < -1e-9) {
                return false;
            }
        }
        AObjective = 0.0;
        return true;
    }
    if (impl_->solved_once && impl_->columns_added && !impl_->structure_changed) {
        m.primal();
    } else {
        m.dual();
    }
    impl_->last_iterations = m.numberIterations(); // CLP counts per solve call
    impl_->solved_once = true;
    impl_->columns_added = false;
    impl_->structure_changed = false;
    if (!m.isProvenOptimal()) {
        return false;
    }
    AObjective = m.objectiveValue();
    return true;
}

std::vector<double> TCbcLPSolver::GetColSolution() const {
    const auto& m = impl_->model;
    if (!impl_->solved_once) {
        return {};
    }
    return {m.primalColumnSolution(), m.primalColumnSolution() + m.numberColumns()};
}

std::vector<double> TCbcLPSolver::GetRowPrice() const {
    const auto& m = impl_->model;
    if (!impl_->solved_once) {
        return {};
    }
    return {m.dualRowSolution(), m.dualRowSolution() + m.numberRows()};
}

std::vector<double> TCbcLPSolver::GetReducedCost() const {
    const auto& m = impl_->model;
    if (!impl_->solved_once) {
        return {};
    }
    return {m.dualColumnSolution(), m.dualColumnSolution() + m.numberColumns()};
}

void TCbcLPSolver::SetColUB(int AIdx, double AValue) {
    impl_->CheckColumn(AIdx);
    impl_->model.setColumnUpper(AIdx, ToClpBound(AValue));
}

void TCbcLPSolver::SetColLB(int AIdx, double AValue) {
    impl_->CheckColumn(AIdx);
    impl_->model.setColumnLower(AIdx, ToClpBound(AValue));
}

double TCbcLPSolver::GetColUB(int AIdx) const {
    impl_->CheckColumn(AIdx);
    const double v = impl_->model.columnUpper()[AIdx];
    return v >= COIN_DBL_MAX ? MaxDouble : v;
}

double TCbcLPSolver::GetColLB(int AIdx) const {
    impl_->CheckColumn(AIdx);
    return impl_->model.columnLower()[AIdx];
}

int TCbcLPSolver::GetColNum() const {
    return impl_->model.numberColumns();
}

int TCbcLPSolver::GetRowNum() const {
    return impl_->model.numberRows();
}

void TCbcLPSolver::AddColumn(const std::vector<double>& ACoeffs, double ACost, double ALower, double AUpper) {
    auto& m = impl_->model;
    if (ACoeffs.size() != static_cast<std::size_t>(m.numberRows())) {
        throw std::invalid_argument("TCbcLPSolver::AddColumn: " + std::to_string(ACoeffs.size()) +
                                    " coefficients for " + std::to_string(m.numberRows()) + " rows");
    }
    std::vector<int> rows;
    std::vector<double> values;
    for (std::size_t r = 0; r < ACoeffs.size(); ++r) {
        if (ACoeffs[r] != 0.0) {
            rows.push_back(static_cast<int>(r));
            values.push_back(ACoeffs[r]);
        }
    }
    m.addColumn(static_cast<int>(rows.size()), rows.data(), values.data(), ToClpBound(ALower),
                ToClpBound(AUpper), ACost);
    impl_->columns_added = true;
}

void TCbcLPSolver::DeleteColumn(int AIdx) {
    impl_->CheckColumn(AIdx);
    impl_->model.deleteColumns(1, &AIdx);
    impl_->structure_changed = true;
}

int TCbcLPSolver::LastIterations() const {
    return impl_->last_iterations;
}

} // namespace tubenest
