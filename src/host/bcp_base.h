#pragma once
// The branch-cut-price base library of the host: the stop watch and stop function of a search,
// the dual record that the search thread hands to its pricing threads, and the base class of the
// columns. The thread base is in bcp_thread.h.

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace tubenest {

/// True asks a search to stop.
using TBCPStopFunc = std::function<bool()>;

/// Time limit of a search, in seconds. TimeOver is false until Start was called.
class TBCPStopWatch {
public:
    /// Throws std::invalid_argument for a negative or NaN limit; +infinity means no limit.
    explicit TBCPStopWatch(double ATimeLimit);
    void Start();
    bool TimeOver() const;
    /// Seconds since Start (0 before it).
    double Elapsed() const;
    double TimeLimit() const { return time_limit_; }

private:
    double time_limit_;
    bool started_ = false;
    std::chrono::steady_clock::time_point start_{};
};

/// Duals as published by a node: one per node row, the amplification with which the pricing
/// values them, the value a new column must beat, and the version, which is the node's LP column
/// count at publication (-1: nothing published).
struct TBCPDualCost {
    std::vector<double> FDuals;
    int FVersion = -1;
    double FAmp = 1.0;
    double FCostValueBound = 0.0;

    TBCPDualCost() = default;
    TBCPDualCost(std::vector<double> ADuals, int AVersion, double AAmp, double ACostValueBound)
        : FDuals(std::move(ADuals)), FVersion(AVersion), FAmp(AAmp), FCostValueBound(ACostValueBound) {}
    /// Back to "nothing published".
    void Init() { *this = TBCPDualCost{}; }
    bool HasVersion() const { return FVersion >= 0; }
};

/// Fetches the publisher's current duals into the argument; true when they differ in version
/// from what the argument held.
using TBCPDualCostCallBack = std::function<bool(TBCPDualCost&)>;

/// One published dual record behind one lock: a reader always copies one whole publication, the
/// latest, and only when its version differs from the reader's.
class VersionedDualCost {
public:
    void Publish(TBCPDualCost ADualCost) {
        std::lock_guard lock(mutex_);
        current_ = std::move(ADualCost);
    }
    /// Copies the current record into AReader when the versions differ; true when it copied.
    bool FetchIfChanged(TBCPDualCost& AReader) const {
        std::lock_guard lock(mutex_);
        if (AReader.FVersion == current_.FVersion) {
            return false;
        }
        AReader = current_;
        return true;
    }
    void Reset() { Publish(TBCPDualCost{}); }

private:
    mutable std::mutex mutex_;
    TBCPDualCost current_;
};

/// Base of the columns of a branch-cut-price problem. Equal columns (IsSameWith) must have equal
/// GetObjCoeff and equal GetColumn: the column pool hashes those to find equal columns quickly.
class TBCPVariable {
public:
    virtual ~TBCPVariable() = default;
    TBCPVariable() = default;
    TBCPVariable(const TBCPVariable&) = default;
    TBCPVariable& operator=(const TBCPVariable&) = default;

    /// A deep copy.
    virtual std::unique_ptr<TBCPVariable> Clone() const = 0;
    /// Objective coefficient in the master LP.
    virtual double GetObjCoeff() const = 0;
    /// The cost to charge when the column is the last one of a solution.
    virtual double GetActualCost() const = 0;
    virtual bool IsSameWith(const TBCPVariable& AVar) const = 0;
    /// Total order used to sort solutions: negative, 0 or positive.
    virtual int Compare(const TBCPVariable& Left, const TBCPVariable& Right) const = 0;
    /// Coefficients over all main rows, AVecSize long.
    virtual std::vector<double> GetColumn(int AVecSize) const = 0;
};

} // namespace tubenest
