#pragma once
// Thread base of the host's branch-cut-price library: a worker that runs one pass of its loop per
// activation, driven by another thread.
//
// A group of workers shares one TBCPThreadSync with the thread that drives them: one mutex, one
// condition variable on which the workers wait for work, one on which the driver waits for them.
// Under that mutex each worker has
//   - an activation request, set by the driver (ActivateLocked) and taken by the worker when it
//     starts a pass; several activations before the worker wakes make one pass;
//   - a busy flag, set by the driver together with the activation, so the worker counts as busy
//     from the moment it is asked, and cleared by the worker only when it ends a pass with no new
//     activation pending: a driver that sees every worker idle knows that no pass is running and
//     none is about to start;
//   - an end signal, set by the worker whenever it ends a pass (and when its loop ends), cleared
//     by the driver when it has looked at it.
// A pass that throws goes to DoOnExcept and still counts as a pass.
//
// Lifetime: Start launches the thread once the object is fully built; a derived class stops the
// thread in its own destructor (Terminate, Join), before its members go away, because the loop
// calls its virtual hooks. Terminate lets a running pass finish; the loop then ends.

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>

namespace tubenest {

struct TBCPThreadSync {
    std::mutex Mutex;
    std::condition_variable WorkerWake; ///< workers: activation or termination
    std::condition_variable DriverWake; ///< driver: a pass ended or a worker stopped
};

class TBCPThread {
public:
    /// ATimeLimit is kept for the pricing that runs on the thread (TimeLimit); passes are never
    /// cut by the base. ANumber is the number handed to the pass.
    TBCPThread(double ATimeLimit, TBCPThreadSync& ASync, int ANumber);
    virtual ~TBCPThread();
    TBCPThread(const TBCPThread&) = delete;
    TBCPThread& operator=(const TBCPThread&) = delete;

    /// Launches the thread; once.
    void Start();
    /// Asks the loop to end after the running pass (if any); wakes an idle worker.
    void Terminate();
    /// Waits for the thread to end (no-op when it never started or was joined).
    void Join();

    // The caller holds Sync().Mutex for each of these.
    /// Requests one more pass and marks the worker busy; notify Sync().WorkerWake afterwards.
    void ActivateLocked();
    bool BusyLocked() const { return busy_; }
    bool EndSignalLocked() const { return end_signal_; }
    void ResetEndSignalLocked() { end_signal_ = false; }
    std::uint64_t PassesLocked() const { return passes_; }

    int Number() const { return number_; }
    double TimeLimit() const { return time_limit_; }
    TBCPThreadSync& Sync() const { return sync_; }

protected:
    virtual void InitializeExecuteLoop() {}
    /// One pass, on the worker thread, without the lock.
    virtual void ExecuteInLoop() = 0;
    virtual void FinalizeExecuteLoop() {}
    /// Receives what a hook threw; must not throw itself (what it throws is dropped).
    virtual void DoOnExcept(std::exception_ptr AError) { static_cast<void>(AError); }

private:
    void Execute();
    void Report(std::exception_ptr error) noexcept;

    double time_limit_;
    TBCPThreadSync& sync_;
    int number_;
    bool activated_ = false;
    bool busy_ = false;
    bool end_signal_ = false;
    bool terminated_ = false;
    std::uint64_t passes_ = 0;
    std::jthread thread_;
};

} // namespace tubenest
