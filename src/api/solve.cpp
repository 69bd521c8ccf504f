#include "api/solve.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>

#include "api/engine_methods.h"
#include "api/tail_rules.h"
#include "host/app_services.h"
#include "model/nest_progress.h"
#include "model/random.h"

namespace tubenest::api {
namespace {

std::mutex& SolveMutex() {
    static std::mutex m;
    return m;
}

/// Turns the caller's stop token and the time limit into the engine's stop request. Runs until
/// it is destroyed; records which of the two fired first.
class StopWatcher {
public:
    StopWatcher(TNestProgress& progress, std::optional<StopToken> token,
                std::optional<std::chrono::steady_clock::time_point> deadline)
        : progress_(progress), token_(std::move(token)), deadline_(deadline), thread_([this] { Run(); }) {}
    StopWatcher(const StopWatcher&) = delete;
    StopWatcher& operator=(const StopWatcher&) = delete;
    ~StopWatcher() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }

    /// The status of a run stopped by the caller or the time limit; nullopt when neither fired.
    std::optional<PlanStatus> Fired() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return fired_;
    }

private:
    void Run() {
        constexpr auto poll = std::chrono::milliseconds(20);
        std::unique_lock<std::mutex> lock(mutex_);
        while (!done_) {
            std::optional<PlanStatus> reason;
            if (token_ && token_->StopRequested()) {
                reason = PlanStatus::Interrupted;
            } else if (deadline_ && std::chrono::steady_clock::now() >= *deadline_) {
                reason = PlanStatus::TimeLimit;
            }
            if (reason) {
                fired_ = reason;
                progress_.CustomStop(this);
                return;
            }
            wake_.wait_for(lock, poll);
        }
    }

    TNestProgress& progress_;
    std::optional<StopToken> token_;
    std::optional<std::chrono::steady_clock::time_point> deadline_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;
    std::optional<PlanStatus> fired_;
    std::thread thread_; // last: starts after the members it reads are set
};

/// Installs the run's progress object and sink; restores the previous state when it goes.
class ProgressScope {
public:
    ProgressScope(TNestProgress& progress, const ProgressCallback& callback) : previous_(NestProgress) {
        NestProgress = &progress;
        GProcessBase = 3;
        GProCessValue = 1;
        if (callback) {
            SetApplicationProgressSink([callback](const std::string& message, int total, int step) {
                const double fraction = total > 0 ? static_cast<double>(step) / total : 0.0;
                callback(fraction < 0.0 ? 0.0 : (fraction > 1.0 ? 1.0 : fraction), message);
            });
        }
    }
    ProgressScope(const ProgressScope&) = delete;
    ProgressScope& operator=(const ProgressScope&) = delete;
    ~ProgressScope() {
        SetApplicationProgressSink({});
        {
            // The progress object's callback is class-wide and refers to this run's options.
            std::lock_guard<std::mutex> lock(TNestProgress::Lock());
            TNestProgress::FOnProgress = nullptr;
        }
        NestProgress = previous_;
    }

private:
    TNestProgress* previous_;
};

// ---- Keeping the best plan: the first-fit decreasing floor and the splitting policy ----------

/// a is a better plan than b: more copies placed, then fewer tubes, fewer welds, less material.
bool BetterPlan(const Plan& a, const Plan& b) {
    const Totals& x = a.totals;
    const Totals& y = b.totals;
    if (x.copies_placed != y.copies_placed) {
        return x.copies_placed > y.copies_placed;
    }
    if (x.tubes_used != y.tubes_used) {
        return x.tubes_used < y.tubes_used;
    }
    if (x.welds != y.welds) {
        return x.welds < y.welds;
    }
    return x.material_used < y.material_used - 1e-6;
}

/// A plan with splits is worth its welds only where it places more copies or uses fewer tubes.
bool SplitsPay(const Plan& split, const Plan& whole) {
    const Totals& x = split.totals;
    const Totals& y = whole.totals;
    return x.copies_placed > y.copies_placed ||
           (x.copies_placed == y.copies_placed && x.tubes_used < y.tubes_used);
}

/// The problem with separable stretches only on the parts that no available tube takes whole:
/// the splits that cannot be avoided.
Problem WithNecessarySplitsOnly(const Problem& problem) {
    double longest = 0.0;
    for (const StockSpec& s : problem.stock) {
        if (s.amount > 0) {
            longest = std::max(longest, s.length);
        }
    }
    Problem out = problem;
    for (PartSpec& p : out.parts) {
        if (p.length <= longest) {
            p.separable = std::vector<Interval>{};
        }
    }
    return out;
}

bool HasPartLongerThanStock(const Problem& problem) {
    double longest = 0.0;
    for (const StockSpec& s : problem.stock) {
        if (s.amount > 0) {
            longest = std::max(longest, s.length);
        }
    }
    return std::any_of(problem.parts.begin(), problem.parts.end(),
                       [longest](const PartSpec& p) { return p.amount > 0 && p.length > longest; });
}

/// Runs first-fit decreasing without the run's stop request: it is the floor every plan is held
/// to, and it takes milliseconds.
EngineOutput RunFloor(const EngineInput& input) {
    TNestProgress* saved = NestProgress;
    NestProgress = nullptr;
    MethodContext quiet;
    EngineOutput out;
    try {
        out = FirstFitDecreasing(input, quiet);
    } catch (...) {
        NestProgress = saved;
        throw;
    }
    NestProgress = saved;
    return out;
}

/// Tail placement on the chosen plan, with a progress object and stop watcher of its own (the
/// method's may already hold the stop of its share of the time limit). The plan is replaced only
/// when the placed one is no worse by BetterPlan; a plan with splits or a run stopped by the caller
/// is left as it is.
void PlaceTailsOnPlan(const Problem& problem, const EngineInput& input, const SolveOptions& options,
                      std::optional<std::chrono::steady_clock::time_point> deadline, bool deadlineIsTimeLimit,
                      std::optional<PlanStatus> stopStatus, Plan& plan) {
    if (!plan.splits.empty()) {
        plan.warnings.push_back("tail rules not applied: the plan splits parts");
        return;
    }
    const bool interrupted =
        stopStatus == PlanStatus::Interrupted || (options.stop && options.stop->StopRequested());
    if (interrupted || !plan.engine_results || (deadline && std::chrono::steady_clock::now() >= *deadline)) {
        return;
    }
    TNestProgress progress([&options](const std::string& msg, std::int32_t total, std::int32_t step) {
        if (options.progress) {
            options.progress(total > 0 ? static_cast<double>(step) / total : 0.0, msg);
        }
    });
    EngineOutput placedOutput;
    std::optional<PlanStatus> fired;
    {
        ProgressScope scope(progress, options.progress);
        StopWatcher watcher(progress, options.stop, deadline);
        placedOutput.results = PlaceTails(input, *plan.engine_results, deadline);
        fired = watcher.Fired();
        if (fired == PlanStatus::TimeLimit && !deadlineIsTimeLimit) {
            fired.reset(); // the tail placement's own budget, not the caller's time limit
        }
    }
    Plan placed = BuildPlan(problem, input, std::move(placedOutput), stopStatus ? stopStatus : fired);
    if (BetterPlan(plan, placed)) {
        // Every copy is kept in no more tubes, but the strict placement may take a longer stock
        // entry: a plan that costs more material is not worth its tails.
        return;
    }
    placed.lower_bound = plan.lower_bound;
    placed.optimal = plan.lower_bound && placed.AllPlaced() && placed.totals.tubes_used == plan.lower_bound->tubes;
    if (placed.tail) {
        placed.tail->placed = true;
    }
    plan = std::move(placed);
}

} // namespace

Plan Solve(const Problem& problem, const SolveOptions& options) {
    if (!(options.time_limit_seconds >= 0.0 && options.time_limit_seconds <= kMaxTimeLimitSeconds)) {
        throw std::invalid_argument("time limit " + std::to_string(options.time_limit_seconds) +
                                    " s is not a number of seconds from 0 to " +
                                    std::to_string(static_cast<long>(kMaxTimeLimitSeconds)));
    }
    ValidateProblem(problem);
    const std::string methodName = options.method.empty() ? DefaultMethodName() : options.method;
    const EngineMethod method = FindMethod(methodName);
    if (auto fault = TailRulesFault(problem, methodName)) {
        throw ProblemError({*fault});
    }
    const EngineInput input = BuildEngineInput(problem);

    MethodContext context;
    context.seed = options.seed.value_or(TRandomGenerator::FreshSeed());
    context.swarm_size_factor = options.swarm_size_factor;
    context.threads = options.threads < 1 ? 1 : options.threads;
    const auto start = std::chrono::steady_clock::now();
    std::optional<std::chrono::steady_clock::time_point> fullDeadline;
    if (options.time_limit_seconds > 0.0) {
        // With tail rules the method leaves a share of the time to the tail placement after it.
        const double methodShare = problem.tail ? 1.0 - kTailTimeShare : 1.0;
        fullDeadline = start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                   std::chrono::duration<double>(options.time_limit_seconds));
        context.deadline = start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                       std::chrono::duration<double>(options.time_limit_seconds * methodShare));
    }

    std::lock_guard<std::mutex> serialise(SolveMutex());
    // The floor: no method returns fewer placed copies or more tubes than first-fit decreasing
    // (nor does "ffd" itself when a stop cuts it short).
    std::optional<EngineOutput> floor = RunFloor(input);
    const bool isCircular = methodName == "circular";
    TNestProgress progress([&options](const std::string& msg, std::int32_t total, std::int32_t step) {
        if (options.progress) {
            options.progress(total > 0 ? static_cast<double>(step) / total : 0.0, msg);
        }
    });
    context.progress = &progress;
    EngineOutput output;
    std::optional<EngineOutput> svcBaseline;
    std::optional<EngineOutput> necessaryBaseline;
    std::optional<EngineInput> necessaryInput;
    Problem necessaryProblem;
    std::optional<PlanStatus> fired;
    {
        ProgressScope scope(progress, options.progress);
        StopWatcher watcher(progress, options.stop, context.deadline);
        // A stop asked for before the run is honoured even when the method would end before the
        // watcher looks.
        const bool stoppedBefore = options.stop && options.stop->StopRequested();
        if (stoppedBefore) {
            progress.CustomStop(&watcher);
        }
        output = method(input, context);
        // Splitting "auto": plans without splits to hold the method's plan against. Only needed
        // when its plan has splits.
        const bool hasSplits = !output.pieces.empty();
        if (isCircular && hasSplits && problem.parameters.splitting == Splitting::Auto) {
            // With one stock entry and no part longer than it, the swarm has already held its plan
            // against the SVC method (its seed); otherwise the SVC method runs here.
            const bool swarmHadSvcSeed =
                input.tubes.size() == 1 &&
                std::all_of(input.parts.begin(), input.parts.end(), [&](const auto& part) {
                    return part.FOuterlength <= input.tubes.front().FTubeInitialLen;
                });
            try {
                if (!swarmHadSvcSeed) {
                    svcBaseline = RunSvcMethod(input, context);
                }
            } catch (const ProblemError&) {
                // Too large for the SVC table: first-fit decreasing stands in as the baseline.
            }
            if (HasPartLongerThanStock(problem)) {
                necessaryProblem = WithNecessarySplitsOnly(problem);
                necessaryInput = BuildEngineInput(necessaryProblem);
                necessaryBaseline = method(*necessaryInput, context);
            }
        }
        fired = watcher.Fired();
        if (!fired && stoppedBefore) {
            fired = PlanStatus::Interrupted;
        }
    }
    std::optional<PlanStatus> stopStatus = fired;
    if (!stopStatus && output.stopped) {
        stopStatus = PlanStatus::TimeLimit; // the method ended early by a limit of its own
    }
    Plan plan = BuildPlan(problem, input, std::move(output), stopStatus);
    // The best plan without needless splits (first-fit decreasing, SVC, the method with only the
    // splits that cannot be avoided); the method's plan stays where its splits pay or it is better.
    std::optional<Plan> whole;
    auto consider = [&](std::optional<Plan> candidate) {
        if (candidate && (!whole || BetterPlan(*candidate, *whole))) {
            whole = std::move(candidate);
        }
    };
    if (floor) {
        consider(BuildPlan(problem, input, std::move(*floor), stopStatus));
    }
    if (svcBaseline) {
        consider(BuildPlan(problem, input, std::move(*svcBaseline), stopStatus));
    }
    if (necessaryBaseline) {
        consider(BuildPlan(necessaryProblem, *necessaryInput, std::move(*necessaryBaseline), stopStatus));
    }
    if (whole) {
        const bool autoSplits =
            isCircular && problem.parameters.splitting == Splitting::Auto && plan.totals.welds > 0;
        if (autoSplits ? !SplitsPay(plan, *whole) : BetterPlan(*whole, plan)) {
            // A bound the method proved is a bound of the problem: the plan that replaces the
            // method's own keeps it where it is the better one.
            const std::optional<PlanBound> proven = plan.lower_bound;
            plan = std::move(*whole);
            if (proven && (!plan.lower_bound || proven->tubes > plan.lower_bound->tubes)) {
                plan.lower_bound = proven;
                plan.optimal = plan.AllPlaced() && plan.totals.tubes_used == proven->tubes;
            }
        }
    }
    if (problem.tail) {
        // Without a time limit the tail placement still gets a budget: its share of the method's
        // own time, at least kTailMinSeconds (its strict strategy nests again and again).
        std::optional<std::chrono::steady_clock::time_point> tailDeadline = fullDeadline;
        if (!tailDeadline) {
            const auto now = std::chrono::steady_clock::now();
            const double spent = std::chrono::duration<double>(now - start).count();
            const double budget = std::max(kTailMinSeconds, spent * kTailTimeShare / (1.0 - kTailTimeShare));
            tailDeadline = now + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                     std::chrono::duration<double>(budget));
        }
        PlaceTailsOnPlan(problem, input, options, tailDeadline, fullDeadline.has_value(), stopStatus, plan);
    }
    plan.method = methodName;
    plan.seed = context.seed;
    plan.elapsed_seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return plan;
}

} // namespace tubenest::api
