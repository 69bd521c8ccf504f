#pragma once
// A node of the branch-cut-price tree: the restricted master LP over the node's rows (the main
// rows whose residual demand is still open) and the pool columns that fit them, column generation
// through the pricing threads, reduced-cost fixing, rounding into solutions and branching on a
// column variable.
//
// LP layout: LP column j (from 1) is pool column FColDict[j]; FConstraint row i holds the demand
// of node row i at entry 0 and the coefficient of LP column j at entry j; FLPSolVec[j] is the
// value of LP column j (entry 0 stays 0); FVarUB[j-1] is the most copies of LP column j that the
// node's demands allow. Solver column j-1 is LP column j.
//
// The node lives on the search thread. During its column generation the pricing threads read its
// dual record (a VersionedDualCost) and fill its column queue; both are bound to the workers from
// InitializeSolve until the end of the solve, and the workers are idle and unbound again before
// the solve returns, also when it throws.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "bcp/solver_manager.h"
#include "bcp/var_pool.h"
#include "host/bcp_base.h"
#include "host/lp_solver.h"

namespace tubenest {

template <BCPColumn T>
class TBCPNode {
public:
    /// Integer bounds on a pool column imposed by branching. UB is applied to the LP; LB only
    /// enters the branching score.
    struct TIntULBConstraint {
        std::int32_t Idx = 0; ///< pool index
        std::int32_t UB = 0;
        std::int32_t LB = 0;
    };
    using TSolution = TBCPSolution<T>;
    using TSolutionFifo = TFifo<std::unique_ptr<TSolution>>;
    using TSolutionList = std::vector<std::unique_ptr<TSolution>>;

    /// Amplification of LP duals handed to pricing.
    static constexpr double kDualAmp = 10000.0;

    TBCPNode(std::vector<std::int32_t> ARowDict, std::vector<double> ABVec,
             TBCPSolverManager<T>* ASolverManager, TVarPool<T>* AVarPool, TBCPNode* AParent,
             double ABoundBase, bool CGFlag)
        : Parent(AParent), FBVec(std::move(ABVec)), FRowDict(std::move(ARowDict)), FVarPool(AVarPool),
          FSolverManager(ASolverManager), FBoundBase(ABoundBase), FCGRequired(CGFlag) {
        TUBENEST_ASSERT(ASolverManager != nullptr && AVarPool != nullptr, kBCPModule,
                        "node without manager or pool");
    }

    // Destroys the subtree without recursion: a deep dive must not exhaust the stack.
    ~TBCPNode() {
        std::vector<std::unique_ptr<TBCPNode>> pending = std::move(ChildNodes);
        while (!pending.empty()) {
            std::unique_ptr<TBCPNode> node = std::move(pending.back());
            pending.pop_back();
            for (auto& child : node->ChildNodes) {
                pending.push_back(std::move(child));
            }
            node->ChildNodes.clear();
        }
    }
    TBCPNode(const TBCPNode&) = delete;
    TBCPNode& operator=(const TBCPNode&) = delete;

    bool Solve(const TBCPStopWatch& ASW, const TBCPStopFunc& Stop) {
        return SolveWithFIFOSolutions(ASW, Stop, nullptr, nullptr);
    }

    /// Solves the node's LP, with column generation when the node requires it. With a solution
    /// queue, every queued solution's columns enter the LP and the solution goes to ASolutions.
    bool SolveWithFIFOSolutions(const TBCPStopWatch& ASW, const TBCPStopFunc& Stop,
                                TSolutionFifo* AFIFOSolutions, TSolutionList* ASolutions) {
        cg_rounds_ = 0;
        cg_converged_ = false;
        if (FRowDict.empty()) {
            // An up child whose fixed columns cover all demand: nothing is left to cover, the
            // fixed columns are the node's solution.
            FLPSol = 0.0;
            FLPSolVec.assign(1, 0.0);
            LLB = FBoundBase;
            return true;
        }
        SolveScope scope(*this);
        bool solved = false;
        if (InitializeSolve(ASW, Stop)) {
            while (!ASW.TimeOver() && !Stop()) {
                const bool fifo_added = AFIFOSolutions != nullptr && ASolutions != nullptr &&
                                        CheckFIFO(*AFIFOSolutions, *ASolutions);
                UpdateVarBound();
                if (!SolveLP(FCGRequired)) {
                    break;
                }
                solved = true;
                if (!FCGRequired) {
                    break;
                }
                ++cg_rounds_;
                if (!SolveSubProblemWithMultiResult() && !fifo_added) {
                    cg_converged_ = true;
                    break;
                }
            }
        }
        scope.Finalize(solved);
        return solved;
    }

    /// Every LP value is within ATol of an integer.
    bool Fathom(double ATol) const {
        for (std::size_t j = 1; j < FLPSolVec.size(); ++j) {
            const double f = FLPSolVec[j] - std::floor(FLPSolVec[j]);
            if (f > ATol && f < 1.0 - ATol) {
                return false;
            }
        }
        return true;
    }

    /// The LP solution rounded to the nearest integers plus the columns fixed by branching.
    std::unique_ptr<TSolution> GetIntSolution(double& ACost) {
        auto solution = std::make_unique<TSolution>();
        for (std::size_t j = 1; j < FLPSolVec.size(); ++j) {
            const double n = Nearest(FLPSolVec[j]);
            if (n > 0.0) {
                solution->AddSubSolution(FVarPool->Var(FColDict[j]), static_cast<std::int32_t>(n));
            }
        }
        AddParentColumns(*solution);
        LUB = solution->GetCSPCost();
        ACost = LUB;
        return solution;
    }

    /// The LP solution rounded down with priority to large fractions, the columns fixed by
    /// branching, and the best completion of the residual demand by the residual solvers.
    std::unique_ptr<TSolution> SolveResidual(double& ACost) {
        std::vector<double> residual;
        std::unique_ptr<TSolution> result = RoundingLargeFracPrior(residual);
        AddParentColumns(*result);
        std::unique_ptr<TBCPProblem<T>> problem =
            FSolverManager->MainProblem()->GetSubBCPProblem(FRowDict, residual);
        std::unique_ptr<TSolution> best;
        double best_cost = 0.0;
        for (const auto& solver : FSolverManager->ResidualSolvers()) {
            auto out = std::make_unique<TSolution>();
            if (solver(*problem, *result, *out)) {
                const double cost = out->GetCSPCost();
                if (best == nullptr || cost < best_cost) {
                    best = std::move(out);
                    best_cost = cost;
                }
            }
        }
        if (best != nullptr) {
            result->AddBCPSolution(*best);
        }
        LUB = result->GetCSPCost();
        ACost = LUB;
        return result;
    }

    /// Branches on the column variable with the smallest score (most fractional, widest range);
    /// appends the children in the order to search them. False when there is no candidate.
    bool Branch(bool CGFlag) {
        // The bounds, the pool indices and the LP columns must stay in step (deleting a column
        // deletes its bound too).
        TUBENEST_ASSERT(FVarUB.size() + 1 == FColDict.size() && FLPSolVec.size() <= FColDict.size() &&
                            FCBCSolver != nullptr,
                        kBCPModule, "Branch: LP data out of step");
        const int j = ChooseBranchColumn();
        if (j < 0) {
            return false;
        }
        const std::size_t ju = static_cast<std::size_t>(j);
        const std::int32_t pool_idx = FColDict[ju];
        const double x = FLPSolVec[ju];
        const auto k = static_cast<std::int32_t>(std::min(std::trunc(x), Nearest(FVarUB[ju - 1] - 1.0)));

        std::vector<TIntULBConstraint> down = FIntConstraint;
        auto at = std::lower_bound(down.begin(), down.end(), pool_idx,
                                   [](const TIntULBConstraint& c, std::int32_t idx) { return c.Idx < idx; });
        if (at != down.end() && at->Idx == pool_idx) {
            at->UB = std::min(k, at->UB);
            at->LB = 0;
        } else {
            down.insert(at, TIntULBConstraint{pool_idx, k, 0});
        }

        double up_obj = MaxDouble;
        if (k >= 0) {
            std::vector<TIntULBConstraint> up = FIntConstraint;
            for (auto& c : up) {
                if (c.Idx == pool_idx) {
                    c.LB = std::max(0, c.LB - k - 1);
                    c.UB = c.UB - k - 1;
                }
            }
            FCBCSolver->SetColLB(j - 1, k + 1.0);
            double obj = MaxDouble;
            const bool ok = FCBCSolver->Solve(obj);
            FCBCSolver->SetColLB(j - 1, 0.0);
            if (ok) {
                up_obj = obj;
                std::vector<std::int32_t> rows;
                std::vector<double> demands;
                for (std::size_t i = 0; i < FRowDict.size(); ++i) {
                    const double rest = Nearest(FBVec[i]) - (k + 1.0) * Nearest(FConstraint[i][ju]);
                    if (rest > 0.0) {
                        rows.push_back(FRowDict[i]);
                        demands.push_back(rest);
                    }
                }
                auto child = std::make_unique<TBCPNode>(
                    std::move(rows), std::move(demands), FSolverManager, FVarPool, this,
                    FBoundBase + (k + 1.0) * FVarPool->ObjCoeff(pool_idx), CGFlag);
                child->FIntConstraint = std::move(up);
                child->FParentSolVec = FParentSolVec;
                const auto cover = static_cast<std::size_t>(std::max(FColDict.back(), pool_idx)) + 1;
                if (child->FParentSolVec.size() < cover) {
                    child->FParentSolVec.resize(cover, 0);
                }
                child->FParentSolVec[static_cast<std::size_t>(pool_idx)] += k + 1;
                child->FDepth = FDepth + 1;
                ChildNodes.push_back(std::move(child));
            }
        }

        FCBCSolver->SetColUB(j - 1, k);
        double down_obj = MaxDouble;
        if (FCBCSolver->Solve(down_obj)) {
            auto child = std::make_unique<TBCPNode>(FRowDict, FBVec, FSolverManager, FVarPool, this,
                                                    FBoundBase, false);
            child->FIntConstraint = std::move(down);
            child->FParentSolVec = FParentSolVec;
            child->FDepth = FDepth + 1;
            ChildNodes.push_back(std::move(child));
        } else {
            down_obj = MaxDouble;
        }
        if (up_obj > down_obj) {
            std::reverse(ChildNodes.begin(), ChildNodes.end());
        }
        ClearGarbage();
        return !ChildNodes.empty();
    }

    /// Reduced-cost fixing: a column at 0 whose reduced cost exceeds the gap between the LP value
    /// and the incumbent's objective cannot be in a cheaper solution, so its LP upper bound
    /// becomes 0. Without an incumbent nothing is fixed. False when every column added since the
    /// previous fixing was fixed now (new duals would price nothing new).
    ///
    /// The gap is measured in objective coefficients, the unit of the reduced costs, not in the
    /// charged cost LUB: a solution's cost charges its last column the actual cost, which may be
    /// less than the objective coefficient (a tube counts with its usage), so LUB can lie below
    /// the LP value. A negative gap would fix every column at 0, stop the column generation at
    /// the next degenerate step and leave an LP value above the true bound.
    bool FixVariable() {
        const int n = FCBCSolver->GetColNum();
        int fixed_new = 0;
        if (incumbent_objective_ < MaxDouble) {
            const double gap = incumbent_objective_ - FLPSol - FBoundBase;
            const std::vector<double> reduced = FCBCSolver->GetReducedCost();
            for (int j = 1; j <= n; ++j) {
                if (reduced[static_cast<std::size_t>(j - 1)] > gap &&
                    FLPSolVec[static_cast<std::size_t>(j)] < 0.0001) {
                    FCBCSolver->SetColUB(j - 1, 0.0);
                    if (j > FPrevVarCount) {
                        ++fixed_new;
                    }
                }
            }
        }
        return fixed_new < n - FPrevVarCount;
    }

    /// Frees the LP and its data once the node is done with them.
    void ClearGarbage() {
        FCBCSolver.reset();
        FRowDict.clear();
        FColDict.clear();
        FVarUB.clear();
        FIntConstraint.clear();
        FBVec.clear();
        FConstraint.clear();
        FCostVec.clear();
        FIneqVec.clear();
        FLPSolVec.clear();
    }

    /// The incumbent's objective (sum of count × objective coefficient) that reduced-cost fixing
    /// compares with; MaxDouble: no incumbent. Given by the tree together with LUB.
    void SetIncumbentObjective(double AObjective) { incumbent_objective_ = AObjective; }

    double LPSol() const { return FLPSol; }
    int Depth() const { return FDepth; }
    int Idx() const { return FIdx; }
    /// Pricing rounds of the last solve.
    int CGRounds() const { return cg_rounds_; }
    /// The last solve ended its column generation because pricing found no new column (not by
    /// time, stop or a failed LP): with exact pricing its LP value then bounds the node.
    bool CGConverged() const { return cg_converged_; }
    const std::vector<std::int32_t>& RowDict() const { return FRowDict; }
    const std::vector<double>& BVec() const { return FBVec; }
    const std::vector<std::int32_t>& ColDict() const { return FColDict; }
    const std::vector<double>& LPSolVec() const { return FLPSolVec; }
    const std::vector<double>& VarUB() const { return FVarUB; }
    const std::vector<TIntULBConstraint>& IntConstraint() const { return FIntConstraint; }
    const std::vector<std::int32_t>& ParentSolVec() const { return FParentSolVec; }
    double BoundBase() const { return FBoundBase; }
    bool CGRequired() const { return FCGRequired; }

    std::vector<std::unique_ptr<TBCPNode>> ChildNodes; ///< in the order in which they are searched
    TBCPNode* Parent;                                  ///< null at the root
    double LLB = MaxDouble; ///< LP value + bound base; MaxDouble when the LP failed
    double LUB = MaxDouble; ///< cost of the best solution known for the node
    bool Calced = false;    ///< fully searched

private:
    // Ends a solve on every path: Finalize on the normal one; on an exception the destructor
    // waits until the pricing threads are idle and unbinds them before the queue goes away.
    class SolveScope {
    public:
        explicit SolveScope(TBCPNode& node) : node_(node) {}
        ~SolveScope() {
            if (!done_) {
                node_.AbortSolve();
            }
        }
        SolveScope(const SolveScope&) = delete;
        SolveScope& operator=(const SolveScope&) = delete;
        void Finalize(bool solved) {
            node_.FinalizeSolve(solved);
            done_ = true;
        }

    private:
        TBCPNode& node_;
        bool done_ = false;
    };

    bool InitializeSolve(const TBCPStopWatch& ASW, const TBCPStopFunc& Stop) {
        if (ASW.TimeOver() || Stop()) {
            return false;
        }
        if (!InitLP()) {
            return false;
        }
        if (!Stop()) {
            CheckNoEmptyRow();
        }
        FMinCost = FCostVec.empty() ? MaxDouble : *std::min_element(FCostVec.begin(), FCostVec.end());
        FSubProblem = FSolverManager->MainProblem()->GetSubBCPProblem(FRowDict, FBVec);
        FDualCost.Reset();
        if (FCGRequired) {
            FVarFifo = std::make_unique<TColumnFifo<T>>();
            workers_bound_ = true;
            FSolverManager->InitializeSubSolvers(
                *FSubProblem, [this](TBCPDualCost& ADualCost) { return FDualCost.FetchIfChanged(ADualCost); },
                FVarFifo.get());
        }
        FIter = 0;
        FPrevVarCount = 0;
        return true;
    }

    void FinalizeSolve(bool solved) {
        // First of all the workers are idle and unbound, whatever may throw below.
        const bool priced = workers_bound_;
        if (workers_bound_) {
            FSolverManager->ReleaseSubSolvers();
            workers_bound_ = false;
        }
        LLB = MaxDouble;
        if (solved) {
            UpdateVarBound();
            LLB = FLPSol + FBoundBase;
        }
        FSubProblem.reset();
        if (priced) {
            // Columns priced after the last pull: take them in and re-solve without publishing.
            if (AddVarFifotoConstraint() && solved) {
                double obj = MaxDouble;
                if (SolveByCBC(obj)) {
                    FLPSol = obj;
                    LLB = FLPSol + FBoundBase;
                }
            }
            FVarFifo.reset();
            RethrowPricingFailure();
        }
    }

    void AbortSolve() noexcept {
        // Unbinding cannot be skipped: a worker still bound would use the queue freed below.
        if (workers_bound_) {
            FSolverManager->ReleaseSubSolvers();
            workers_bound_ = false;
        }
        FVarFifo.reset();
        FSubProblem.reset();
        LLB = MaxDouble;
    }

    void RethrowPricingFailure() {
        if (std::exception_ptr failure = FSolverManager->TakePricingFailure()) {
            std::rethrow_exception(failure);
        }
    }

    bool InitLP() {
        TUBENEST_ASSERT(FRowDict.size() == FBVec.size(), kBCPModule,
                        "InitLP: rows and demands differ in count");
        FVarPool->ConstructLP(FRowDict, FColDict, FVarUB, FBVec, FIneqVec, FConstraint, FCostVec);
        CreateCBCSolver();
        return AddULBConstraint() && AddCuttingPlane();
    }

    void CreateCBCSolver() {
        const std::size_t rows = FRowDict.size();
        TDoubleMatrix matrix(rows);
        std::vector<double> lower(rows);
        std::vector<double> upper(rows);
        for (std::size_t i = 0; i < rows; ++i) {
            matrix[i].assign(FConstraint[i].begin() + 1, FConstraint[i].end());
            const double b = FBVec[i];
            if (FIneqVec[i] == TBCPProblem<T>::kAtLeast) {
                lower[i] = b;
                upper[i] = MaxDouble;
            } else if (FIneqVec[i] == TBCPProblem<T>::kAtMost) {
                lower[i] = 0.0;
                upper[i] = b;
            } else {
                lower[i] = b;
                upper[i] = b;
            }
        }
        FCBCSolver = std::make_unique<TCbcLPSolver>(matrix, FCostVec, lower, upper);
    }

    // Applies the branching bounds; a column bounded to 0 leaves the LP and every parallel array.
    bool AddULBConstraint() {
        for (const auto& row : FConstraint) {
            TUBENEST_ASSERT(row.size() == FColDict.size(), kBCPModule,
                            "AddULBConstraint: matrix row of wrong length");
        }
        TUBENEST_ASSERT(FConstraint.size() == FIneqVec.size(), kBCPModule,
                        "AddULBConstraint: rows and senses differ");
        std::vector<std::size_t> removed;
        std::size_t c = 0;
        for (std::size_t j = 1; j < FColDict.size() && c < FIntConstraint.size(); ++j) {
            while (c < FIntConstraint.size() && FIntConstraint[c].Idx < FColDict[j]) {
                ++c;
            }
            if (c == FIntConstraint.size() || FIntConstraint[c].Idx != FColDict[j]) {
                continue;
            }
            const std::int32_t ub = FIntConstraint[c].UB;
            if (ub != 0) {
                const int col = static_cast<int>(j) - 1;
                FCBCSolver->SetColUB(col, std::min(FCBCSolver->GetColUB(col), static_cast<double>(ub)));
            } else {
                removed.push_back(j);
            }
        }
        for (auto it = removed.rbegin(); it != removed.rend(); ++it) {
            const std::size_t j = *it;
            FCBCSolver->DeleteColumn(static_cast<int>(j) - 1);
            for (auto& row : FConstraint) {
                row.erase(row.begin() + static_cast<std::ptrdiff_t>(j));
            }
            FCostVec.erase(FCostVec.begin() + static_cast<std::ptrdiff_t>(j - 1));
            FColDict.erase(FColDict.begin() + static_cast<std::ptrdiff_t>(j));
            FVarUB.erase(FVarUB.begin() + static_cast<std::ptrdiff_t>(j - 1));
        }
        return true;
    }

    // Cuts are not generated; the hook stays for the branch-cut-price scheme.
    static bool AddCuttingPlane() { return true; }

    // Rows that no LP column covers get columns from the single-result pricing, valued with
    // start duals that weigh the empty rows 10000 times. True when no empty row is left.
    bool CheckNoEmptyRow() {
        const std::size_t rows = FRowDict.size();
        std::vector<double> duals(rows);
        FEmptyRowIdxes.clear();
        for (std::size_t i = 0; i < rows; ++i) {
            duals[i] = FSolverManager->MainProblem()->GetDefaultDualCost(FRowDict[i]);
            if (FBVec[i] > 0.0 && FIneqVec[i] >= 0 &&
                std::all_of(FConstraint[i].begin() + 1, FConstraint[i].end(),
                            [](double a) { return a <= 0.0; })) {
                FEmptyRowIdxes.push_back(static_cast<std::int32_t>(i));
                duals[i] *= kDualAmp;
            }
        }
        if (FEmptyRowIdxes.empty()) {
            return true;
        }
        FSubProblem = FSolverManager->MainProblem()->GetSubBCPProblem(FRowDict, FBVec);
        const std::size_t passes = FEmptyRowIdxes.size();
        for (std::size_t pass = 0; pass < passes && !FEmptyRowIdxes.empty(); ++pass) {
            if (SolveSubProblem(
                    duals, [this] { return StopByNoEmptyRow(); }, 1.0)) {
                for (auto it = FDeleteList.rbegin(); it != FDeleteList.rend(); ++it) {
                    const auto pos = static_cast<std::size_t>(*it);
                    duals[static_cast<std::size_t>(FEmptyRowIdxes[pos])] /= kDualAmp;
                    FEmptyRowIdxes.erase(FEmptyRowIdxes.begin() + static_cast<std::ptrdiff_t>(pos));
                }
            }
            FDeleteList.clear();
        }
        FSubProblem.reset();
        return FEmptyRowIdxes.empty();
    }

    bool StopByNoEmptyRow() {
        const std::size_t newest = FColDict.size() - 1;
        for (std::size_t pos = 0; pos < FEmptyRowIdxes.size(); ++pos) {
            if (FConstraint[static_cast<std::size_t>(FEmptyRowIdxes[pos])][newest] > 0.0) {
                FDeleteList.push_back(static_cast<std::int32_t>(pos));
            }
        }
        return !FDeleteList.empty();
    }

    // Single-result pricing on the search thread; true as soon as a new column satisfies Stop.
    bool SolveSubProblem(const std::vector<double>& ADuals, const TBCPStopFunc& Stop, double Amp) {
        FSubProblem->SetDualCost(ADuals, Amp);
        for (const auto& solver : FSolverManager->SubProblemSolvers()) {
            bool succ = false;
            double cost_value = FCostValue;
            std::unique_ptr<T> column = solver(*FSubProblem, succ, cost_value);
            FCostValue = cost_value / Amp;
            if (succ && column != nullptr && AddVartoConstraint(column) && Stop()) {
                return true;
            }
        }
        return false;
    }

    // Pricing on the worker threads: true as soon as a pull brought a new column, false when
    // every worker is idle without one.
    bool SolveSubProblemWithMultiResult() {
        FSolverManager->TryActivateSubSolvers();
        for (;;) {
            const int ended = FSolverManager->WaitForSubSolvers();
            RethrowPricingFailure();
            if (ended >= 1 && AddVarFifotoConstraint()) {
                return true;
            }
            if (FSolverManager->IsAllSubSolverEnd()) {
                RethrowPricingFailure();
                // A worker may have queued columns between the pull above and falling idle.
                return AddVarFifotoConstraint();
            }
        }
    }

    // A column new to the pool joins the LP (taken from AVar); a known one is refused and stays
    // with the caller.
    bool AddVartoConstraint(std::unique_ptr<T>& AVar) {
        bool exists = false;
        const int idx = FVarPool->AddVar(AVar, exists);
        return !exists && AppendLPColumn(idx);
    }
    bool AddVartoConstraint(const T& AVar) {
        bool exists = false;
        const int idx = FVarPool->AddVar(AVar, exists);
        return !exists && AppendLPColumn(idx);
    }

    bool AppendLPColumn(int idx) {
        const double cost = FVarPool->ObjCoeff(idx);
        const std::vector<double> coeffs = FVarPool->GetColumn(idx, FRowDict);
        FColDict.push_back(idx);
        for (std::size_t i = 0; i < FConstraint.size(); ++i) {
            FConstraint[i].push_back(coeffs[i]);
        }
        FCostVec.push_back(cost);
        UpdateVarBound();
        FCBCSolver->AddColumn(coeffs, cost, 0.0, MaxDouble);
        FMinCost = std::min(FMinCost, cost);
        return true;
    }

    bool AddVarFifotoConstraint() {
        bool added = false;
        std::unique_ptr<T> column;
        while (FVarFifo->Pop(column)) {
            if (column != nullptr && AddVartoConstraint(column)) {
                added = true;
            }
            column.reset();
        }
        return added;
    }

    bool CheckFIFO(TSolutionFifo& AFIFOSolutions, TSolutionList& ASolutions) {
        bool popped = false;
        std::unique_ptr<TSolution> solution;
        while (AFIFOSolutions.Pop(solution)) {
            popped = true;
            if (solution == nullptr) {
                continue;
            }
            for (int i = 0; i < solution->GetCount(); ++i) {
                AddVartoConstraint(*solution->GetSubSolution(i).Var);
            }
            ASolutions.push_back(std::move(solution));
        }
        return popped;
    }

    // Bounds of the LP columns that have none yet: the most copies the node's demands allow.
    void UpdateVarBound() {
        while (FVarUB.size() + 1 < FColDict.size()) {
            const std::size_t j = FVarUB.size() + 1;
            double bound = std::numeric_limits<std::int32_t>::max();
            for (std::size_t i = 0; i < FConstraint.size(); ++i) {
                const double a = Nearest(FConstraint[i][j]);
                // A positive coefficient that rounds to 0 limits nothing (and must not divide).
                if (FConstraint[i][j] > 0.0 && a >= 1.0) {
                    bound = std::min(bound, std::trunc(Nearest(FBVec[i]) / a));
                }
            }
            FVarUB.push_back(bound);
        }
    }

    bool SolveByCBC(double& AObjective) {
        AObjective = MaxDouble;
        if (FCBCSolver == nullptr || !FCBCSolver->Solve(AObjective)) {
            AObjective = MaxDouble;
            return false;
        }
        const std::vector<double> values = FCBCSolver->GetColSolution();
        if (values.empty()) {
            AObjective = MaxDouble;
            return false;
        }
        FLPSolVec.assign(1, 0.0);
        FLPSolVec.insert(FLPSolVec.end(), values.begin(), values.end());
        return true;
    }

    bool SolveLP(bool CG) {
        double obj = MaxDouble;
        const bool ok = SolveByCBC(obj);
        if (ok) {
            FLPSol = obj;
            // While columns are still being generated the LP value is no bound yet: fixing columns
            // against it could remove every column of a better solution (and, once all new columns
            // were fixed, stop the duals from being published, so the generation would end early
            // with a value above the true LP). Reduced-cost fixing is left to nodes without
            // column generation.
            if (CG || FixVariable()) {
                if (CG) {
                    SetDualCost(FCBCSolver->GetRowPrice(), FCBCSolver->GetColNum(), kDualAmp);
                }
                ++FIter;
                FPrevVarCount = FCBCSolver->GetColNum();
            }
        }
        return ok;
    }

    // The value a new column must beat: Amp × max(1.000001, LP / (ceil(LP) - 1)). When every
    // column is worth less than LP / (ceil(LP) - 1), the LP over all columns exceeds ceil(LP) - 1
    // (Farley's bound), so the rounded bound is ceil(LP) and pricing further cannot lower it. A
    // column worth exactly that much still can (the LP over all columns may then be ceil(LP) - 1
    // exactly, and the tree would round a bound one too high), so the bound is published a hair
    // lower and the pricing's strict comparison lets such a column through.
    // At an LP value of 1 or less no column can improve the rounded bound: the bound is infinite
    // (ceil(LP) - 1 would divide by 0).
    void SetDualCost(std::vector<double> ADuals, int AColCount, double Amp) {
        const double below = std::ceil(FLPSol) - 1.0;
        const double factor =
            below > 0.0 ? std::max(1.000001, FLPSol / below) : std::numeric_limits<double>::infinity();
        FDualCost.Publish(TBCPDualCost(std::move(ADuals), AColCount, Amp, Amp * factor * (1.0 - 1e-9)));
    }

    // Down by priority to the largest fraction: as many copies of each fractional column as the
    // residual demand admits. AResidual receives the demand left.
    std::unique_ptr<TSolution> RoundingLargeFracPrior(std::vector<double>& AResidual) {
        AResidual = FBVec;
        struct Candidate {
            std::size_t j;
            double f;
        };
        std::vector<Candidate> candidates;
        for (std::size_t j = 1; j < FLPSolVec.size(); ++j) {
            const double x = FLPSolVec[j];
            double f = x - std::floor(x);
            if (f == 0.0) {
                continue;
            }
            if (f < 0.001 && std::floor(x) > 0.0) {
                f = (x - 0.001) - std::floor(x - 0.001);
            }
            candidates.push_back({j, f});
        }
        std::stable_sort(candidates.begin(), candidates.end(),
                         [](const Candidate& a, const Candidate& b) { return a.f < b.f; });
        auto solution = std::make_unique<TSolution>();
        for (auto it = candidates.rbegin(); it != candidates.rend(); ++it) {
            const std::size_t j = it->j;
            double n = std::ceil(FLPSolVec[j] - 0.1);
            auto too_many = [&](double count) {
                for (std::size_t i = 0; i < FConstraint.size(); ++i) {
                    if (Nearest(FConstraint[i][j]) * count > AResidual[i]) {
                        return true;
                    }
                }
                return false;
            };
            while (n >= 1.0 && too_many(n)) {
                n -= 1.0;
            }
            if (n >= 1.0) {
                solution->AddSubSolution(FVarPool->Var(FColDict[j]), static_cast<std::int32_t>(n));
                for (std::size_t i = 0; i < FConstraint.size(); ++i) {
                    AResidual[i] -= Nearest(FConstraint[i][j]) * n;
                }
            }
        }
        return solution;
    }

    void AddParentColumns(TSolution& ASolution) const {
        TUBENEST_ASSERT(FParentSolVec.size() <= static_cast<std::size_t>(FVarPool->Count()), kBCPModule,
                        "fixed-column vector longer than the pool");
        for (std::size_t i = 0; i < FParentSolVec.size(); ++i) {
            if (FParentSolVec[i] > 0) {
                ASolution.AddSubSolution(FVarPool->Var(static_cast<int>(i)), FParentSolVec[i]);
            }
        }
    }

    // The candidate with the smallest score |frac(x) - 0.5| + (ub - x) / (ub - lb); the first wins
    // ties. A column whose down branch would allow all this node allows (its value integral and
    // at its branching bound) is no candidate: its down child would repeat this node for ever.
    int ChooseBranchColumn() const {
        int best_j = -1;
        double best = 2.0;
        for (std::size_t j = 1; j < FLPSolVec.size(); ++j) {
            const double x = FLPSolVec[j];
            if (x <= 1e-6) {
                continue;
            }
            const double var_ub = Nearest(FVarUB[j - 1]);
            double lb = 0.0;
            double ub = var_ub;
            const auto c = std::find_if(FIntConstraint.begin(), FIntConstraint.end(),
                                        [&](const TIntULBConstraint& ic) { return ic.Idx == FColDict[j]; });
            if (c != FIntConstraint.end()) {
                lb = std::max(0, c->LB);
                ub = std::min(static_cast<double>(c->UB), var_ub);
            }
            const double k = std::min(std::trunc(x), Nearest(FVarUB[j - 1] - 1.0));
            if (k >= ub) {
                continue;
            }
            const double score = std::fabs(x - std::floor(x) - 0.5) + (ub - x) / (ub - lb);
            if (score < best) {
                best = score;
                best_j = static_cast<int>(j);
            }
        }
        return best_j;
    }

    double FCostValue = 0.0;
    double FMinCost = MaxDouble;
    std::vector<std::int32_t> FEmptyRowIdxes;
    std::vector<std::int32_t> FDeleteList;
    std::unique_ptr<TBCPProblem<T>> FSubProblem;
    std::unique_ptr<TCbcLPSolver> FCBCSolver;
    std::vector<double> FBVec;
    std::vector<double> FVarUB;
    TDoubleMatrix FConstraint;
    std::vector<double> FCostVec;
    std::vector<std::int32_t> FIneqVec;
    std::vector<std::int32_t> FParentSolVec;
    std::vector<std::int32_t> FRowDict;
    std::vector<std::int32_t> FColDict;
    std::vector<TIntULBConstraint> FIntConstraint;
    TVarPool<T>* FVarPool;
    std::vector<double> FLPSolVec;
    TBCPSolverManager<T>* FSolverManager;
    double FLPSol = 0.0;
    double FBoundBase;
    std::int32_t FDepth = 0;
    std::int32_t FIdx = 0;
    bool FCGRequired;
    std::unique_ptr<TColumnFifo<T>> FVarFifo;
    VersionedDualCost FDualCost;
    std::int32_t FIter = 0;
    std::int32_t FPrevVarCount = 0;
    double incumbent_objective_ = MaxDouble;
    bool workers_bound_ = false;
    int cg_rounds_ = 0;
    bool cg_converged_ = false;
};

} // namespace tubenest
