#pragma once
// The branch-cut-price tree: a depth-first branch-and-price search over TBCPNode with an
// incumbent, a global lower bound, its own time limit and a limit of 1000 passes.
//
// The search starts from an incumbent (queued start solutions, else the registered greedy
// solvers); without one it returns an empty solution at once. The root is solved with column
// generation; a fractional LP is rounded into a solution and branched on; the search dives into
// the first child and backtracks to the nearest unexplored sibling. It ends when the rounded
// bound meets the incumbent (status 0), on the stop function (1), when no node is left (2), or at
// the time or pass limit (status stays -1). Any exception inside the search ends it as if no
// node were left; the incumbent so far is returned and the error is kept in the statistics.
//
// The tree runs on the caller's thread; only its stop flag (Solve(Stop)) and its start-solution
// queue may be touched by other threads meanwhile.

#include <atomic>
#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "bcp/bcp_node.h"
#include "bcp/min_heap.h"

namespace tubenest {

/// Figures of one tree search, for tests and benchmarks.
struct BcpStatistics {
    int status = -1;                     ///< the tree's status (see TBCPTree::Status)
    std::optional<double> root_lp_value; ///< LP value of the root after its column generation
    bool root_converged = false;         ///< the root's column generation ended with no new column
    int nodes = 0;                       ///< node solves, the root included
    int cg_rounds = 0;                   ///< pricing rounds over all nodes
    int pool_columns = 0;                ///< columns in the pool at the end
    int passes = 0;                      ///< search passes after the root
    std::string failure;                 ///< what ended the search by an exception; empty: nothing
};

template <BCPColumn T>
class TBCPTree {
public:
    using TNode = TBCPNode<T>;
    using TSolution = TBCPSolution<T>;
    using TSolutionFifo = TFifo<std::unique_ptr<TSolution>>;

    static constexpr int kMaxPasses = 1000;

    /// ASolverManager (not owned) holds the main problem and the solvers; AFIFOSolution (not
    /// owned, may be null) supplies start solutions; ACGInBranch lets up children generate
    /// columns; ATimeLimit in seconds.
    TBCPTree(TBCPSolverManager<T>* ASolverManager, TSolutionFifo* AFIFOSolution, bool ACGInBranch,
             double ATimeLimit)
        : FSW(ATimeLimit), FFIFOSolution(AFIFOSolution), FSolverManager(ASolverManager),
          FNodeHeap(&TBCPTree::CompareNodes), FCGInBranch(ACGInBranch) {
        TUBENEST_ASSERT(ASolverManager != nullptr, kBCPModule, "tree without a solver manager");
        const TBCPProblem<T>& main = *ASolverManager->MainProblem();
        FVarPool = std::make_unique<TVarPool<T>>(main.BVec(), main.IneqVec());
        std::vector<std::int32_t> rows(main.BVec().size());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            rows[i] = static_cast<std::int32_t>(i);
        }
        FRoot = std::make_unique<TNode>(std::move(rows), main.BVec(), ASolverManager, FVarPool.get(), nullptr,
                                        0.0, true);
    }
    TBCPTree(const TBCPTree&) = delete;
    TBCPTree& operator=(const TBCPTree&) = delete;

    /// Searches with a stop flag that another thread may set.
    std::unique_ptr<TSolution> Solve(const std::atomic<bool>& Stop) {
        FPStopper = &Stop;
        return Solve(TBCPStopFunc([this] { return FPStopper->load(std::memory_order_acquire); }));
    }

    /// Searches (once per tree); returns a copy of the incumbent, or an empty solution.
    std::unique_ptr<TSolution> Solve(const TBCPStopFunc& AStopFunc) {
        if (searched_) {
            throw std::logic_error("TBCPTree::Solve: a tree searches once");
        }
        searched_ = true;
        FSW.Start();
        TNode* node = nullptr;
        try {
            GreedySolve();
            if (FBestSolution == nullptr) {
                FinishStatistics();
                return std::make_unique<TSolution>();
            }
            node = SolveRootNode(AStopFunc);
            if (!BoundMeet()) {
                node = Search(node, AStopFunc);
            }
        } catch (const std::exception& e) {
            stats_.failure = e.what();
            node = nullptr;
        } catch (...) {
            stats_.failure = "unknown exception";
            node = nullptr;
        }
        if (FStatus == -1) {
            if (AStopFunc()) {
                FStatus = 1;
            } else if (node == nullptr || node->Calced) {
                FStatus = 2;
            }
        }
        FinishStatistics();
        return BestResult();
    }

    /// A copy of the incumbent (empty when there is none).
    std::unique_ptr<TSolution> BestResult() const {
        return FBestSolution != nullptr ? FBestSolution->Clone() : std::make_unique<TSolution>();
    }

    /// Adds a copy of the column to the pool; true when it was not there yet.
    bool AddVar(const T& AVar) {
        bool exists = false;
        FVarPool->AddVar(AVar, exists);
        return !exists;
    }

    /// AddVar for each column while all are new; false from the first known one (the rest are
    /// not added).
    bool AddVars(const std::vector<std::unique_ptr<T>>& AVars) {
        for (const auto& v : AVars) {
            if (!AddVar(*v)) {
                return false;
            }
        }
        return true;
    }

    /// Offers a start solution: it becomes the incumbent (a copy) when the main problem accepts
    /// it and it is cheaper; its columns enter the pool in any case. The check is always made
    /// (CheckConstraint is not consulted). Null gives false.
    bool AddSolution(TSolution* ASolution, bool CheckConstraint) {
        static_cast<void>(CheckConstraint);
        if (ASolution == nullptr) {
            return false;
        }
        const bool accepted = UpdateBestResult(*ASolution, ASolution->GetCSPCost());
        FVarPool->AddBCPSolution(*ASolution);
        return accepted;
    }

    /// -1 not decided (or ended by the time or pass limit), 0 bound met, 1 stopped, 2 no node left.
    int Status() const { return FStatus; }
    double GlobalLowerBound() const { return FGLB; }
    double GlobalUpperBound() const { return FGUB; }
    const BcpStatistics& Statistics() const { return stats_; }
    const TVarPool<T>& VarPool() const { return *FVarPool; }

private:
    // Smaller parent LLB first, then deeper, then smaller index.
    static int CompareNodes(TNode* const& Left, TNode* const& Right) {
        TUBENEST_ASSERT(Left->Parent != nullptr && Right->Parent != nullptr, kBCPModule,
                        "heap node without parent");
        if (Left->Parent->LLB != Right->Parent->LLB) {
            return Left->Parent->LLB < Right->Parent->LLB ? -1 : 1;
        }
        if (Left->Depth() != Right->Depth()) {
            return Left->Depth() > Right->Depth() ? -1 : 1;
        }
        return (Left->Idx() > Right->Idx()) - (Left->Idx() < Right->Idx());
    }

    TBCPProblem<T>& MainProblem() const { return *FSolverManager->MainProblem(); }

    bool Acceptable(const TSolution& ASolution, double ACost) const {
        return ASolution.GetCount() > 0 && FGUB > ACost && MainProblem().CheckSolution(ASolution);
    }
    /// Takes the solution when it becomes the incumbent (else it is dropped).
    bool UpdateBestResult(std::unique_ptr<TSolution> ASolution, double ACost) {
        if (ASolution == nullptr || !Acceptable(*ASolution, ACost)) {
            return false;
        }
        FBestSolution = std::move(ASolution);
        FGUB = ACost;
        gub_objective_ = FBestSolution->GetObjective();
        return true;
    }
    /// Stores a copy when the solution becomes the incumbent.
    bool UpdateBestResult(const TSolution& ASolution, double ACost) {
        if (!Acceptable(ASolution, ACost)) {
            return false;
        }
        FBestSolution = ASolution.Clone();
        FGUB = ACost;
        gub_objective_ = FBestSolution->GetObjective();
        return true;
    }

    // The node computes the cost together with the solution: take both before offering (the
    // order in which a call's arguments are evaluated is unspecified).
    template <class AMake>
    void OfferNodeSolution(AMake make) {
        double cost = 0.0;
        std::unique_ptr<TSolution> solution = make(cost);
        UpdateBestResult(std::move(solution), cost);
    }

    void GreedySolve() {
        if (FFIFOSolution != nullptr) {
            std::unique_ptr<TSolution> queued;
            while (FFIFOSolution->Pop(queued)) {
                if (queued != nullptr) {
                    UpdateBestResult(*queued, queued->GetCSPCost());
                }
            }
        }
        if (FBestSolution != nullptr) {
            return;
        }
        for (const auto& greedy : FSolverManager->GreedySolvers()) {
            TSolution solution;
            if (greedy(MainProblem(), solution)) {
                FVarPool->AddBCPSolution(solution);
                if (UpdateBestResult(solution, solution.GetCSPCost())) {
                    return;
                }
            }
        }
    }

    TNode* SolveRootNode(const TBCPStopFunc& AStopFunc) {
        typename TNode::TSolutionList queued;
        TNode* next = nullptr;
        FRoot->LUB = FGUB;
        FRoot->SetIncumbentObjective(gub_objective_);
        ++stats_.nodes;
        const bool solved = FRoot->SolveWithFIFOSolutions(FSW, AStopFunc, FFIFOSolution, &queued);
        stats_.cg_rounds += FRoot->CGRounds();
        if (solved) {
            stats_.root_lp_value = FRoot->LPSol();
            stats_.root_converged = FRoot->CGConverged();
        }
        if (solved && Bound(FRoot.get())) {
            if (FRoot->Fathom(0.001)) {
                OfferNodeSolution([this](double& c) { return FRoot->GetIntSolution(c); });
            } else {
                OfferNodeSolution([this](double& c) { return FRoot->SolveResidual(c); });
                next = Branch(FRoot.get());
            }
        }
        for (auto& solution : queued) {
            UpdateBestResult(*solution, solution->GetCSPCost());
        }
        return next;
    }

    TNode* Search(TNode* node, const TBCPStopFunc& AStopFunc) {
        for (int pass = 1; node != nullptr && !node->Calced; ++pass) {
            if (FSW.TimeOver() || pass > kMaxPasses) {
                break;
            }
            stats_.passes = pass;
            ++stats_.nodes;
            TNode* next = nullptr;
            const bool solved = node->Solve(FSW, AStopFunc);
            stats_.cg_rounds += node->CGRounds();
            if (solved && Bound(node)) {
                if (node->Fathom(0.001)) {
                    OfferNodeSolution([&](double& c) { return node->GetIntSolution(c); });
                    next = DeleteSearch(node);
                } else {
                    if (pass % 30 == 0) {
                        OfferNodeSolution([&](double& c) { return node->SolveResidual(c); });
                    }
                    next = Branch(node);
                }
            } else {
                next = DeleteSearch(node);
            }
            if (BoundMeet()) {
                return next;
            }
            node = next;
            if (node == nullptr || node->Calced || AStopFunc()) {
                return node;
            }
            node = Select(node);
        }
        return node;
    }

    bool Bound(TNode* node) {
        FGLB = node == FRoot.get() ? node->LLB : std::min(FGLB, node->LLB);
        return FGUB > node->LLB;
    }

    bool BoundMeet() {
        if (std::isfinite(FGLB) && std::fabs(FGLB) < 1e15) {
            FGLB = std::round(FGLB * 1e6) / 1e6;
        }
        if (std::ceil(FGLB) >= std::ceil(FGUB) || FGLB * 1.0001 > FGUB) {
            FStatus = 0;
            return true;
        }
        return false;
    }

    TNode* Branch(TNode* node) {
        if (!node->Branch(FCGInBranch)) {
            return DeleteSearch(node);
        }
        for (auto& child : node->ChildNodes) {
            child->LUB = FGUB;
            child->SetIncumbentObjective(gub_objective_);
            FNodeHeap.Add(child.get(), 0.0);
        }
        return node->ChildNodes.front().get();
    }

    // Marks the node searched and walks up to the nearest unexplored sibling; past the root the
    // heap is drained for a node not yet searched.
    TNode* DeleteSearch(TNode* node) {
        node->Calced = true;
        node->ClearGarbage();
        for (TNode* current = node; current->Parent != nullptr; current = current->Parent) {
            TNode* parent = current->Parent;
            for (auto& child : parent->ChildNodes) {
                if (!child->Calced) {
                    return child.get();
                }
            }
            parent->Calced = true;
            parent->ClearGarbage();
        }
        TNode* last = nullptr;
        while (!FNodeHeap.Empty()) {
            last = FNodeHeap.Pop();
            if (!last->Calced && last->ChildNodes.empty()) {
                break;
            }
        }
        return last;
    }

    TNode* Select(TNode* node) const {
        TUBENEST_ASSERT(!node->Calced, kBCPModule, "Select on a searched node");
        if (node->ChildNodes.empty()) {
            return node;
        }
        for (auto& child : node->ChildNodes) {
            if (!child->Calced) {
                return child.get();
            }
        }
        return nullptr;
    }

    void FinishStatistics() {
        stats_.status = FStatus;
        stats_.pool_columns = FVarPool->Count();
    }

    const std::atomic<bool>* FPStopper = nullptr;
    std::int32_t FStatus = -1;
    TBCPStopWatch FSW;
    std::unique_ptr<TSolution> FBestSolution;
    TSolutionFifo* FFIFOSolution;
    std::unique_ptr<TVarPool<T>> FVarPool; // before the root: nodes refer to it
    std::unique_ptr<TNode> FRoot;
    TBCPSolverManager<T>* FSolverManager;
    TMinHeap<TNode*> FNodeHeap;
    double FGLB = -MaxDouble; ///< no bound known yet
    double FGUB = MaxDouble;
    double gub_objective_ = MaxDouble; ///< the incumbent's objective in objective coefficients
    bool FCGInBranch;
    bool searched_ = false;
    BcpStatistics stats_;
};

} // namespace tubenest
