#pragma once
// The one call most users need: Plan Solve(const Problem&, const SolveOptions&).
//
// Solve validates the problem (ProblemError with every fault), builds the engine input, runs the
// chosen method with progress and stop wired up, and builds the plan. It uses the process-wide
// progress globals of the engine (NestProgress, the application progress sink), so calls are
// serialised: a second Solve on another thread waits until the first has returned.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "api/engine.h"
#include "api/plan.h"
#include "api/problem.h"

namespace tubenest::api {

/// A stop request that another thread (or a signal handler, through the flag) may set.
class StopToken {
public:
    StopToken() : flag_(std::make_shared<std::atomic<bool>>(false)) {}
    void RequestStop() const { flag_->store(true, std::memory_order_release); }
    bool StopRequested() const { return flag_->load(std::memory_order_acquire); }
    /// The flag itself, for code that may only touch a lock-free atomic (signal handlers).
    std::atomic<bool>* Flag() const { return flag_.get(); }

private:
    std::shared_ptr<std::atomic<bool>> flag_;
};

/// Progress: fraction in [0, 1] (the engine's progress approaches 1 without a known end) and the
/// engine's message. Called on the thread that runs Solve.
using ProgressCallback = std::function<void(double fraction, const std::string& message)>;

/// The longest SolveOptions::time_limit_seconds accepted (about 11.6 days); a longer one would
/// overflow the clock.
inline constexpr double kMaxTimeLimitSeconds = 1e6;

/// The time budget of method "auto" when no time limit is given: what a user at the saw waits.
inline constexpr double kAutoDefaultTimeLimitSeconds = 10.0;

struct SolveOptions {
    std::string method; ///< empty: DefaultMethodName() ("auto")
    /// 0: none ("auto": kAutoDefaultTimeLimitSeconds); when it passes the engine is asked to stop
    double time_limit_seconds = 0.0;
    std::optional<std::uint64_t> seed;  ///< unset: a fresh seed (recorded in Plan::seed)
    std::int32_t swarm_size_factor = 5; ///< particle swarm size factor (AdjustFactor)
    std::int32_t threads = 1;           ///< worker threads a method may use
    ProgressCallback progress;          ///< optional
    std::optional<StopToken> stop;      ///< optional; RequestStop asks the engine to stop
};

/// Validates, runs the method and builds the plan.
///
/// Method "auto" runs the registered methods that suit the problem, in a fixed order (ffd, svc,
/// packed, greedy, cg, bcp, and circular where parts may be split), each on a share of the time
/// limit, as many at once as options.threads allows, and returns the best plan: more copies
/// placed, then fewer tubes, then (splitting "free") less material and fewer welds or (otherwise)
/// fewer welds and less material; a tie keeps the earlier method. Each method runs with the run's
/// seed, exactly as it would alone with that seed. Results are taken in the fixed order; once the best
/// plan meets the best lower bound proven so far, the methods after it are stopped and do not
/// count, so that without a time limit biting the plan does not depend on the number of threads. Throws
/// ProblemError for bad input, std::invalid_argument for an unknown method or a time limit that is negative,
/// not a number or above kMaxTimeLimitSeconds, std::logic_error when a method's output is inconsistent. A
/// stopped run returns the best plan found so far (status Interrupted or TimeLimit).
Plan Solve(const Problem& problem, const SolveOptions& options = {});

} // namespace tubenest::api
