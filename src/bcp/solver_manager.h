#pragma once
// The solvers of a branch-cut-price problem and the pricing threads.
//
// The driver registers four kinds of solver functions. For each multi-result pricing function the
// manager runs one worker thread that prices in parallel with the search thread: the node binds
// the workers to its pricing problem, dual record and column queue (InitializeSubSolvers),
// publishes duals and activates the workers, waits for them, pulls their columns from the queue,
// and at its end waits until every worker is idle and unbinds them (ReleaseSubSolvers).
//
// Handshake (all flags under the one mutex of TBCPThreadSync, see host/bcp_thread.h): the node
// marks a worker busy when it activates it; the worker takes the activation, runs one pass
// without the lock and clears busy only when no activation came meanwhile. A pass fetches the
// node's latest duals and prices only when their version differs from the one it priced last, so
// every version is priced at most once and the latest one always is. Rebinding waits until the
// worker is idle, so a worker never uses a node's queue or problem after the node let go of it.
//
// A pass that throws counts as done; the error is kept and handed to the search thread
// (TakePricingFailure), which ends its search with it rather than trusting a bound that a failed
// pricing left unproven.
//
// The manager owns its workers: its destructor asks every worker to end, lets running passes
// finish and joins them.

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "bcp/bcp_problem.h"
#include "bcp/fifo.h"
#include "host/bcp_thread.h"

namespace tubenest {

/// Queue of columns from the pricing threads to the search thread.
template <BCPColumn T>
using TColumnFifo = TFifo<std::unique_ptr<T>>;

/// Single-result pricing (on the search thread): a new column, a success flag and the column's
/// pricing value.
template <BCPColumn T>
using TSubProblemSolveFunc =
    std::function<std::unique_ptr<T>(TBCPProblem<T>& AProblem, bool& ASucc, double& ACostValue)>;

/// Multi-result pricing (on a worker thread): appends new columns worth more than
/// ACostValueBound to ASols; true when it found any. ANumber is the worker's number.
template <BCPColumn T>
using TSubProblemiSolveFuncWithMultiResult = std::function<bool(
    TBCPProblem<T>& AProblem, int ANumber, double ACostValueBound, std::vector<std::unique_ptr<T>>& ASols)>;

/// Start heuristic: fills ASolution for the problem; true when it found one.
template <BCPColumn T>
using TGreedySolveFunc = std::function<bool(TBCPProblem<T>& AProblem, TBCPSolution<T>& ASolution)>;

/// Completes a rounded LP solution: fills ASolution for the residual problem.
template <BCPColumn T>
using TResidualSolveFunc = std::function<bool(TBCPProblem<T>& AResidual, const TBCPSolution<T>& APartial,
                                              TBCPSolution<T>& ASolution)>;

/// One pricing worker.
template <BCPColumn T>
class TBCPSubSolverThread final : public TBCPThread {
public:
    using TFailureSink = std::function<void(std::exception_ptr)>;

    /// AOnFailure receives every error of a pass, on the worker thread, without the lock.
    TBCPSubSolverThread(double ATimeLimit, TSubProblemiSolveFuncWithMultiResult<T> ASubProblemSolver,
                        std::string MethodName, TBCPThreadSync& ASync, int ANumber, TFailureSink AOnFailure)
        : TBCPThread(ATimeLimit, ASync, ANumber), FSolver(std::move(ASubProblemSolver)),
          FMethodName(std::move(MethodName)), on_failure_(std::move(AOnFailure)) {}
    ~TBCPSubSolverThread() override {
        Terminate();
        Join();
    }

    /// Waits until the worker is idle, then binds it to a clone of AProblem, the node's dual
    /// callback and column queue, with no duals priced yet. A null problem unbinds the worker.
    void StartNewSolve(const TBCPProblem<T>* AProblem, TBCPDualCostCallBack ACallBack,
                       TColumnFifo<T>* AFIFOList) {
        std::unique_lock lock(Sync().Mutex);
        Sync().DriverWake.wait(lock, [this] { return !BusyLocked(); });
        FProblem = AProblem != nullptr ? AProblem->Clone() : nullptr;
        FDualCost.Init();
        FCallBack = AProblem != nullptr ? std::move(ACallBack) : TBCPDualCostCallBack{};
        FFifo = AProblem != nullptr ? AFIFOList : nullptr;
    }

    const std::string& MethodName() const { return FMethodName; }

protected:
    // Runs only between an activation and the end of the pass, while the worker is busy, so the
    // binding (set under the lock while it was idle) cannot change underneath it.
    void ExecuteInLoop() override {
        if (FProblem == nullptr || !FCallBack || !TryUpdateDualCost()) {
            return;
        }
        std::vector<std::unique_ptr<T>> sols;
        FSolver(*FProblem, Number(), FDualCost.FCostValueBound, sols);
        for (auto& col : sols) {
            if (col != nullptr && FFifo != nullptr) {
                FFifo->Push(std::move(col));
            }
        }
    }

    void FinalizeExecuteLoop() override {
        std::lock_guard lock(Sync().Mutex);
        FProblem.reset();
    }

    void DoOnExcept(std::exception_ptr AError) override {
        if (on_failure_) {
            on_failure_(AError);
        }
    }

private:
    // New duals go into the problem clone. An error while fetching counts as "no new duals" and
    // is reported like an error of the pass.
    bool TryUpdateDualCost() {
        bool changed = false;
        try {
            changed = FCallBack(FDualCost);
        } catch (...) {
            DoOnExcept(std::current_exception());
            return false;
        }
        if (changed) {
            FProblem->SetDualCost(FDualCost.FDuals, FDualCost.FAmp);
        }
        return changed;
    }

    TBCPDualCostCallBack FCallBack;
    TBCPDualCost FDualCost;
    TColumnFifo<T>* FFifo = nullptr; ///< not owned
    std::unique_ptr<TBCPProblem<T>> FProblem;
    TSubProblemiSolveFuncWithMultiResult<T> FSolver;
    std::string FMethodName;
    TFailureSink on_failure_;
};

template <BCPColumn T>
class TBCPSolverManager {
public:
    /// AMainProblem is not owned and must outlive the manager's use.
    explicit TBCPSolverManager(TBCPProblem<T>* AMainProblem) : FMainProblem(AMainProblem) {
        TUBENEST_ASSERT(AMainProblem != nullptr, kBCPModule, "solver manager without a main problem");
    }
    ~TBCPSolverManager() {
        for (auto& worker : FSubSolverThreads) {
            worker->Terminate();
        }
        FSubSolverThreads.clear(); // each joins its thread
    }
    TBCPSolverManager(const TBCPSolverManager&) = delete;
    TBCPSolverManager& operator=(const TBCPSolverManager&) = delete;

    void AddSubProblemSolver(TSubProblemSolveFunc<T> ASolver) {
        FSubProblemSolvers.push_back(std::move(ASolver));
    }
    void AddGreedySolver(TGreedySolveFunc<T> ASolver) { FGreedySolvers.push_back(std::move(ASolver)); }
    void AddResidualSolver(TResidualSolveFunc<T> ASolver) { FResidualSolvers.push_back(std::move(ASolver)); }

    /// Registers the function and starts its worker, named by its index ("0", "1", ...).
    void AddSubProblemSolverWithMultiResult(TSubProblemiSolveFuncWithMultiResult<T> ASolver) {
        const int index = static_cast<int>(FSubSolverThreads.size());
        FMultiSolFuncs.push_back(ASolver);
        auto worker = std::make_unique<TBCPSubSolverThread<T>>(
            5.0, std::move(ASolver), std::to_string(index), FSync, index,
            [this](std::exception_ptr error) { RecordFailure(error); });
        worker->Start();
        FSubSolverThreads.push_back(std::move(worker));
    }

    const std::vector<TSubProblemSolveFunc<T>>& SubProblemSolvers() const { return FSubProblemSolvers; }
    const std::vector<TSubProblemiSolveFuncWithMultiResult<T>>& SubProblemMultiSolvers() const {
        return FMultiSolFuncs;
    }
    const std::vector<TGreedySolveFunc<T>>& GreedySolvers() const { return FGreedySolvers; }
    const std::vector<TResidualSolveFunc<T>>& ResidualSolvers() const { return FResidualSolvers; }
    TBCPProblem<T>* MainProblem() const { return FMainProblem; }
    int SubSolverCount() const { return static_cast<int>(FSubSolverThreads.size()); }
    const TBCPSubSolverThread<T>& SubSolverThread(int AIdx) const { return *FSubSolverThreads.at(AIdx); }

    /// Binds every worker (once idle) to a clone of AProblem, the callback and the queue.
    void InitializeSubSolvers(const TBCPProblem<T>& AProblem, TBCPDualCostCallBack ACallBack,
                              TColumnFifo<T>* AFIFOList) {
        for (auto& worker : FSubSolverThreads) {
            worker->StartNewSolve(&AProblem, ACallBack, AFIFOList);
        }
    }

    /// Waits until every worker is idle and unbinds it from the node.
    void ReleaseSubSolvers() {
        for (auto& worker : FSubSolverThreads) {
            worker->StartNewSolve(nullptr, {}, nullptr);
        }
    }

    /// Asks every worker for one more pass; each counts as busy from now on.
    void TryActivateSubSolvers() {
        {
            std::lock_guard lock(FSync.Mutex);
            for (auto& worker : FSubSolverThreads) {
                worker->ActivateLocked();
            }
        }
        FSync.WorkerWake.notify_all();
    }

    /// Waits until some worker has ended a pass since it was last looked at, or every worker is
    /// idle; returns how many had ended a pass (and clears their signals). 0 without workers.
    int WaitForSubSolvers() {
        std::unique_lock lock(FSync.Mutex);
        if (FSubSolverThreads.empty()) {
            return 0;
        }
        FSync.DriverWake.wait(lock, [this] { return AnyEndSignalLocked() || AllIdleLocked(); });
        int count = 0;
        for (auto& worker : FSubSolverThreads) {
            if (worker->EndSignalLocked()) {
                worker->ResetEndSignalLocked();
                ++count;
            }
        }
        return count;
    }

    /// No worker is busy (true without workers).
    bool IsAllSubSolverEnd() const {
        std::lock_guard lock(FSync.Mutex);
        return AllIdleLocked();
    }

    /// Waits until no worker is busy.
    void WaitUntilAllSubSolverEnd() {
        std::unique_lock lock(FSync.Mutex);
        FSync.DriverWake.wait(lock, [this] { return AllIdleLocked(); });
    }

    /// Passes run by all workers so far.
    std::uint64_t PassCount() const {
        std::lock_guard lock(FSync.Mutex);
        std::uint64_t n = 0;
        for (const auto& worker : FSubSolverThreads) {
            n += worker->PassesLocked();
        }
        return n;
    }

    /// Errors of pricing passes so far.
    int PricingFailureCount() const {
        std::lock_guard lock(FSync.Mutex);
        return failure_count_;
    }
    /// The first error not yet taken (null when none).
    std::exception_ptr TakePricingFailure() {
        std::lock_guard lock(FSync.Mutex);
        return std::exchange(pending_failure_, nullptr);
    }

private:
    bool AllIdleLocked() const {
        for (const auto& worker : FSubSolverThreads) {
            if (worker->BusyLocked()) {
                return false;
            }
        }
        return true;
    }
    bool AnyEndSignalLocked() const {
        for (const auto& worker : FSubSolverThreads) {
            if (worker->EndSignalLocked()) {
                return true;
            }
        }
        return false;
    }
    void RecordFailure(std::exception_ptr error) {
        std::lock_guard lock(FSync.Mutex);
        ++failure_count_;
        if (pending_failure_ == nullptr) {
            pending_failure_ = error;
        }
    }

    std::vector<TSubProblemSolveFunc<T>> FSubProblemSolvers;
    std::vector<TSubProblemiSolveFuncWithMultiResult<T>> FMultiSolFuncs;
    std::vector<TGreedySolveFunc<T>> FGreedySolvers;
    std::vector<TResidualSolveFunc<T>> FResidualSolvers;
    TBCPProblem<T>* FMainProblem;
    mutable TBCPThreadSync FSync; // before the workers, which use it until they are joined
    int failure_count_ = 0;
    std::exception_ptr pending_failure_;
    std::vector<std::unique_ptr<TBCPSubSolverThread<T>>> FSubSolverThreads;
};

} // namespace tubenest
