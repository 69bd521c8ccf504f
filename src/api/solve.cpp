#include "api/solve.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
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
/// to, and it takes milliseconds. Only this thread's stop request is hidden, so methods running on
/// other threads keep theirs.
EngineOutput RunFloor(const EngineInput& input) {
    const TNestProgressThreadScope quiet(nullptr);
    return FirstFitDecreasing(input, MethodContext{});
}

/// Tail placement on the chosen plan, with a progress object and stop watcher of its own (the
/// method's may already hold the stop of its share of the time limit). The plan is replaced only
/// when the placed one is no worse by BetterPlan; a plan with splits or a run stopped by the caller
/// is left as it is. What the run reports beside the plan (method, winner, attempts, seed) is kept.
void PlaceTailsOnPlan(const Problem& problem, const EngineInput& input, const SolveOptions& options,
                      std::optional<std::chrono::steady_clock::time_point> deadline, bool deadlineIsTimeLimit,
                      Plan& plan) {
    if (!plan.splits.empty()) {
        plan.warnings.push_back("tail rules not applied: the plan splits parts");
        return;
    }
    std::optional<PlanStatus> stopStatus;
    if (plan.status == PlanStatus::Interrupted || plan.status == PlanStatus::TimeLimit) {
        stopStatus = plan.status;
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
    placed.method = std::move(plan.method);
    placed.winner = std::move(plan.winner);
    placed.attempts = std::move(plan.attempts);
    placed.seed = plan.seed;
    plan = std::move(placed);
}

/// One method's output with the plans without splits that it is held against.
struct MethodRun {
    EngineOutput output;
    std::optional<EngineOutput> svc_baseline;
    std::optional<EngineOutput> necessary_baseline;
    std::optional<EngineInput> necessary_input;
    Problem necessary_problem;
};

/// Runs a method and, for a circular plan with splits under splitting "auto", the plans without
/// needless splits that it must beat.
MethodRun RunMethod(const Problem& problem, const EngineInput& input, const std::string& name,
                    const EngineMethod& method, const MethodContext& context) {
    MethodRun run;
    run.output = method(input, context);
    const bool hasSplits = !run.output.pieces.empty();
    if (name == "circular" && hasSplits && problem.parameters.splitting == Splitting::Auto) {
        // With one stock entry and no part longer than it, the swarm has already held its plan
        // against the SVC method (its seed); otherwise the SVC method runs here.
        const bool swarmHadSvcSeed =
            input.tubes.size() == 1 &&
            std::all_of(input.parts.begin(), input.parts.end(), [&](const auto& part) {
                return part.FOuterlength <= input.tubes.front().FTubeInitialLen;
            });
        try {
            if (!swarmHadSvcSeed) {
                run.svc_baseline = RunSvcMethod(input, context);
            }
        } catch (const ProblemError&) {
            // Too large for the SVC table: first-fit decreasing stands in as the baseline.
        }
        if (HasPartLongerThanStock(problem)) {
            run.necessary_problem = WithNecessarySplitsOnly(problem);
            run.necessary_input = BuildEngineInput(run.necessary_problem);
            run.necessary_baseline = method(*run.necessary_input, context);
        }
    }
    return run;
}

/// The plan of one method: its own, unless the first-fit floor or (for splits that do not pay) a
/// plan without needless splits is better.
Plan MethodPlan(const Problem& problem, const EngineInput& input, const std::string& name, MethodRun run,
                std::optional<PlanStatus> stopStatus) {
    EngineOutput floor = RunFloor(input);
    Plan plan = BuildPlan(problem, input, std::move(run.output), stopStatus);
    // The best plan without needless splits (first-fit decreasing, SVC, the method with only the
    // splits that cannot be avoided); the method's plan stays where its splits pay or it is better.
    std::optional<Plan> whole;
    auto consider = [&](std::optional<Plan> candidate) {
        if (candidate && (!whole || BetterPlan(*candidate, *whole))) {
            whole = std::move(candidate);
        }
    };
    consider(BuildPlan(problem, input, std::move(floor), stopStatus));
    if (run.svc_baseline) {
        consider(BuildPlan(problem, input, std::move(*run.svc_baseline), stopStatus));
    }
    if (run.necessary_baseline) {
        consider(BuildPlan(run.necessary_problem, *run.necessary_input, std::move(*run.necessary_baseline),
                           stopStatus));
    }
    const bool autoSplits =
        name == "circular" && problem.parameters.splitting == Splitting::Auto && plan.totals.welds > 0;
    if (whole && (autoSplits ? !SplitsPay(plan, *whole) : BetterPlan(*whole, plan))) {
        // A bound the method proved is a bound of the problem: the plan that replaces the
        // method's own keeps it where it is the better one.
        const std::optional<PlanBound> proven = plan.lower_bound;
        plan = std::move(*whole);
        if (proven && (!plan.lower_bound || proven->tubes > plan.lower_bound->tubes)) {
            plan.lower_bound = proven;
            plan.optimal = plan.AllPlaced() && plan.totals.tubes_used == proven->tubes;
        }
    }
    plan.method = name;
    return plan;
}

std::optional<PlanStatus> StopWatcherStatus(const StopWatcher& watcher, bool stoppedBefore) {
    std::optional<PlanStatus> fired = watcher.Fired();
    if (!fired && stoppedBefore) {
        fired = PlanStatus::Interrupted;
    }
    return fired;
}

void CheckSolveOptions(const SolveOptions& options) {
    if (!(options.time_limit_seconds >= 0.0 && options.time_limit_seconds <= kMaxTimeLimitSeconds)) {
        throw std::invalid_argument("time limit " + std::to_string(options.time_limit_seconds) +
                                    " s is not a number of seconds from 0 to " +
                                    std::to_string(static_cast<long>(kMaxTimeLimitSeconds)));
    }
}

// ---- Method "auto": the best plan of the methods that suit the problem ------------------------

/// A method "auto" may run, in the order its results are taken; weight: its share of the time
/// against the others not started yet.
struct AutoCandidate {
    const char* name;
    double weight;
};
// The quick methods come first, so that the slow ones (the LP methods, then the swarm) share
// whatever time the quick ones leave.
// Weight 0: no share of its own, the whole budget (first-fit decreasing, the floor, takes
// milliseconds; a share of a few of them could stop it on a busy machine).
constexpr AutoCandidate kAutoCandidates[] = {{"ffd", 0.0}, {"svc", 1.0}, {"packed", 1.0},  {"greedy", 1.0},
                                             {"cg", 3.0},  {"bcp", 3.0}, {"circular", 4.0}};

/// The seed of one method in a run of "auto": the run's seed itself. Each method draws from a
/// generator of its own, so they need no different seeds; and with the same seed every method runs
/// exactly as it does alone, so "auto" with seed S is never worse than any of its methods with seed S.
std::uint64_t MethodSeed(std::uint64_t runSeed, const std::string& /*name*/) {
    return runSeed;
}

/// a is a better plan than b for "auto": more copies placed, then fewer tubes; then, where parts
/// may be split freely, less material and fewer welds, otherwise fewer welds (a weld must save a
/// tube) and less material.
bool AutoBetter(const Plan& a, const Plan& b, Splitting splitting) {
    const Totals& x = a.totals;
    const Totals& y = b.totals;
    if (x.copies_placed != y.copies_placed) {
        return x.copies_placed > y.copies_placed;
    }
    if (x.tubes_used != y.tubes_used) {
        return x.tubes_used < y.tubes_used;
    }
    const bool lessMaterial = x.material_used < y.material_used - 1e-6;
    const bool moreMaterial = x.material_used > y.material_used + 1e-6;
    if (splitting == Splitting::Free) {
        if (lessMaterial || moreMaterial) {
            return lessMaterial;
        }
        return x.welds < y.welds;
    }
    if (x.welds != y.welds) {
        return x.welds < y.welds;
    }
    return lessMaterial;
}

/// Every copy placed in as few tubes as the bound: no plan uses fewer.
bool MeetsBound(const Plan& plan, const std::optional<PlanBound>& bound) {
    return bound && plan.AllPlaced() && plan.totals.tubes_used <= bound->tubes;
}

/// One method of a run of "auto". The solve thread owns it; the worker thread writes the results
/// and sets done under the run's mutex, after which only the solve thread touches it.
struct AutoSlot {
    std::string name;
    double weight = 1.0;
    EngineMethod method;
    std::uint64_t seed = 0;
    std::unique_ptr<TNestProgress> progress; ///< its own stop request
    std::chrono::steady_clock::time_point deadline;
    std::thread thread;
    bool started = false;
    bool done = false;
    std::optional<Plan> plan;
    std::string not_suited;
    std::exception_ptr error;
    double seconds = 0.0;
};

/// Stops every method of the run and waits for it when the run ends, also by an exception.
class AutoJoiner {
public:
    explicit AutoJoiner(std::vector<AutoSlot>& slots) : slots_(slots) {}
    AutoJoiner(const AutoJoiner&) = delete;
    AutoJoiner& operator=(const AutoJoiner&) = delete;
    ~AutoJoiner() { StopAndJoin(); }
    void StopAndJoin() {
        for (AutoSlot& s : slots_) {
            if (s.thread.joinable()) {
                s.progress->CustomStop(this);
                s.thread.join();
            }
        }
    }

private:
    std::vector<AutoSlot>& slots_;
};

/// The candidates of a problem: the registered methods of kAutoCandidates that suit it.
std::vector<AutoSlot> AutoSlots(const Problem& problem, const EngineInput& input, std::uint64_t runSeed) {
    const std::vector<std::string> registered = AvailableMethods();
    std::vector<AutoSlot> slots;
    for (const AutoCandidate& c : kAutoCandidates) {
        const std::string name = c.name;
        if (std::find(registered.begin(), registered.end(), name) == registered.end()) {
            continue;
        }
        // The circular method is the one that splits parts; where none may be split the others
        // cover what it does.
        if (name == "circular" && !InputMaySplit(input)) {
            continue;
        }
        // Tail rules place whole parts: the circular method only joins where a part must be split.
        if (name == "circular" && problem.tail && !HasPartLongerThanStock(problem)) {
            continue;
        }
        AutoSlot slot;
        slot.name = name;
        slot.weight = c.weight;
        slot.method = FindMethod(name);
        slot.seed = MethodSeed(runSeed, name);
        slots.push_back(std::move(slot));
    }
    return slots;
}

MethodAttempt AttemptOf(const AutoSlot& slot) {
    MethodAttempt a;
    a.method = slot.name;
    a.seed = slot.seed;
    a.seconds = slot.seconds;
    if (!slot.plan) {
        a.outcome = "not suited";
        a.note = slot.not_suited;
        return a;
    }
    const Plan& p = *slot.plan;
    a.outcome = p.status == PlanStatus::Complete  ? "complete"
                : p.status == PlanStatus::Partial ? "partial"
                                                  : "stopped";
    a.tubes = p.totals.tubes_used;
    a.material_used = p.totals.material_used;
    a.welds = p.totals.welds;
    a.copies_placed = p.totals.copies_placed;
    if (p.lower_bound) {
        a.lower_bound = p.lower_bound->tubes;
    }
    return a;
}

Plan SolveAuto(const Problem& problem, const SolveOptions& options) {
    using Clock = std::chrono::steady_clock;
    const EngineInput input = BuildEngineInput(problem);
    const std::uint64_t seed = options.seed.value_or(TRandomGenerator::FreshSeed());
    const double budget =
        options.time_limit_seconds > 0.0 ? options.time_limit_seconds : kAutoDefaultTimeLimitSeconds;
    const auto start = Clock::now();
    const auto runDeadline =
        start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(budget));
    std::vector<AutoSlot> slots = AutoSlots(problem, input, seed);
    const std::size_t workers =
        std::min<std::size_t>(static_cast<std::size_t>(std::max(1, options.threads)), slots.size());
    const std::int32_t methodThreads =
        std::max<std::int32_t>(1, options.threads / static_cast<std::int32_t>(workers));

    std::lock_guard<std::mutex> serialise(SolveMutex());
    // Progress objects set the class-wide callback when they are made: all of them are made here,
    // without one. The workers report nothing; this thread reports for them.
    TNestProgress runProgress(TAnProgressEvent{});
    for (AutoSlot& s : slots) {
        s.progress = std::make_unique<TNestProgress>(TAnProgressEvent{});
    }
    ProgressScope scope(runProgress, ProgressCallback{});
    StopWatcher watcher(runProgress, options.stop, runDeadline);
    const bool stoppedBefore = options.stop && options.stop->StopRequested();
    if (stoppedBefore) {
        runProgress.CustomStop(&watcher);
    }

    std::mutex mutex;
    std::condition_variable wake;
    auto work = [&](AutoSlot& slot) {
        const TNestProgressThreadScope own(slot.progress.get());
        const auto t0 = Clock::now();
        std::optional<Plan> plan;
        std::string notSuited;
        std::exception_ptr error;
        try {
            // Each method gets an input of its own: methods may write to the gap manager.
            const EngineInput methodInput = BuildEngineInput(problem);
            MethodContext context;
            context.seed = slot.seed;
            context.swarm_size_factor = options.swarm_size_factor;
            context.threads = methodThreads;
            context.deadline = slot.deadline;
            context.progress = slot.progress.get();
            MethodRun run = RunMethod(problem, methodInput, slot.name, slot.method, context);
            const bool stopped = slot.progress->Stoped() || run.output.stopped;
            plan = MethodPlan(problem, methodInput, slot.name, std::move(run),
                              stopped ? std::optional<PlanStatus>(PlanStatus::TimeLimit) : std::nullopt);
        } catch (const ProblemError& e) {
            // A valid problem the method cannot take (a table over its limit): it does not count.
            for (const std::string& f : e.faults()) {
                notSuited += (notSuited.empty() ? "" : "; ") + f;
            }
        } catch (...) {
            error = std::current_exception();
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
        {
            std::lock_guard<std::mutex> lock(mutex);
            slot.plan = std::move(plan);
            slot.not_suited = std::move(notSuited);
            slot.error = error;
            slot.seconds = seconds;
            slot.done = true;
        }
        wake.notify_all();
    };

    AutoJoiner joiner(slots);
    std::optional<Plan> best;
    std::optional<PlanBound> bound;
    std::vector<MethodAttempt> attempts;
    std::exception_ptr failure;
    std::size_t next = 0;
    std::size_t committed = 0;
    bool boundMet = false;
    auto lastReport = start;
    {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            const auto now = Clock::now();
            const bool runStopped = runProgress.Stoped();
            // Start methods while workers are free; the first (the floor) runs even on a stop.
            std::size_t running = 0;
            for (std::size_t k = 0; k < next; ++k) {
                running += slots[k].done ? 0 : 1;
            }
            while (!boundMet && !failure && running < workers && next < slots.size() &&
                   (!runStopped || next == 0)) {
                double weights = 0.0;
                for (std::size_t k = next; k < slots.size(); ++k) {
                    weights += slots[k].weight;
                }
                AutoSlot& s = slots[next];
                const double share =
                    s.weight <= 0.0
                        ? 1.0
                        : std::min(1.0, s.weight * static_cast<double>(workers) / std::max(weights, 1e-9));
                s.deadline = now + std::chrono::duration_cast<Clock::duration>((runDeadline - now) * share);
                s.started = true;
                s.thread = std::thread(work, std::ref(s));
                ++next;
                ++running;
            }
            // Take the results in the fixed order.
            bool changed = false;
            while (committed < next && slots[committed].done && !boundMet && !failure) {
                AutoSlot& s = slots[committed];
                ++committed;
                changed = true;
                if (s.error) {
                    failure = s.error;
                    break;
                }
                attempts.push_back(AttemptOf(s));
                if (s.plan) {
                    if (s.plan->lower_bound && (!bound || s.plan->lower_bound->tubes > bound->tubes)) {
                        bound = s.plan->lower_bound;
                    }
                    if (!best || AutoBetter(*s.plan, *best, problem.parameters.splitting)) {
                        best = std::move(s.plan);
                    }
                }
                boundMet = best && MeetsBound(*best, bound);
            }
            const bool moreToStart = next < slots.size() && !runStopped;
            if (boundMet || failure || (committed == next && !moreToStart)) {
                break;
            }
            // Each running method obeys its share of the time and the run's stop request.
            for (std::size_t k = committed; k < next; ++k) {
                if (!slots[k].done && (runStopped || now >= slots[k].deadline)) {
                    slots[k].progress->CustomStop(&watcher);
                }
            }
            if (options.progress && (changed || now - lastReport >= std::chrono::milliseconds(200))) {
                lastReport = now;
                std::string message = "auto:";
                for (std::size_t k = committed; k < next; ++k) {
                    message += slots[k].done ? "" : " " + slots[k].name;
                }
                if (best) {
                    message += ", best " + std::to_string(best->totals.tubes_used) + " tubes";
                }
                const double fraction =
                    std::clamp(std::chrono::duration<double>(now - start).count() / budget, 0.0, 1.0);
                lock.unlock();
                options.progress(fraction, message);
                lock.lock();
            }
            wake.wait_for(lock, std::chrono::milliseconds(20));
        }
    }
    // Methods after the one that met the bound do not count: stop them and wait.
    joiner.StopAndJoin();
    const std::optional<PlanStatus> fired = StopWatcherStatus(watcher, stoppedBefore);
    if (failure) {
        std::rethrow_exception(failure);
    }
    if (!best) {
        throw std::logic_error("method auto: no method returned a plan");
    }
    Plan plan = std::move(*best);
    plan.winner = plan.method;
    plan.method = kAutoMethodName;
    plan.seed = seed;
    plan.attempts = std::move(attempts);
    if (bound && (!plan.lower_bound || bound->tubes > plan.lower_bound->tubes)) {
        plan.lower_bound = bound;
    }
    plan.optimal = MeetsBound(plan, plan.lower_bound);
    if (fired) {
        plan.status = *fired;
    }
    plan.elapsed_seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return plan;
}

Plan SolveOne(const Problem& problem, const SolveOptions& options, const std::string& methodName) {
    const EngineMethod method = FindMethod(methodName);
    const EngineInput input = BuildEngineInput(problem);

    MethodContext context;
    context.seed = options.seed.value_or(TRandomGenerator::FreshSeed());
    context.swarm_size_factor = options.swarm_size_factor;
    context.threads = options.threads < 1 ? 1 : options.threads;
    const auto start = std::chrono::steady_clock::now();
    if (options.time_limit_seconds > 0.0) {
        context.deadline = start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                       std::chrono::duration<double>(options.time_limit_seconds));
    }

    std::lock_guard<std::mutex> serialise(SolveMutex());
    TNestProgress progress([&options](const std::string& msg, std::int32_t total, std::int32_t step) {
        if (options.progress) {
            options.progress(total > 0 ? static_cast<double>(step) / total : 0.0, msg);
        }
    });
    context.progress = &progress;
    MethodRun run;
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
        run = RunMethod(problem, input, methodName, method, context);
        fired = StopWatcherStatus(watcher, stoppedBefore);
    }
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    std::optional<PlanStatus> stopStatus = fired;
    if (!stopStatus && run.output.stopped) {
        stopStatus = PlanStatus::TimeLimit; // the method ended early by a limit of its own
    }
    Plan plan = MethodPlan(problem, input, methodName, std::move(run), stopStatus);
    plan.winner = methodName;
    plan.seed = context.seed;
    plan.elapsed_seconds = elapsed;
    return plan;
}

} // namespace

Plan Solve(const Problem& problem, const SolveOptions& options) {
    CheckSolveOptions(options);
    ValidateProblem(problem);
    const std::string methodName = options.method.empty() ? DefaultMethodName() : options.method;
    CheckMethodName(methodName);
    if (auto fault = TailRulesFault(problem, methodName)) {
        throw ProblemError({*fault});
    }
    if (!problem.tail) {
        return methodName == kAutoMethodName ? SolveAuto(problem, options) : SolveOne(problem, options, methodName);
    }
    // With tail rules the method leaves a share of the time to the tail placement after it ("auto"
    // shares its default budget the same way).
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const double limit = options.time_limit_seconds > 0.0          ? options.time_limit_seconds
                         : methodName == kAutoMethodName ? kAutoDefaultTimeLimitSeconds
                                                                   : 0.0;
    std::optional<Clock::time_point> fullDeadline;
    SolveOptions methodOptions = options;
    if (limit > 0.0) {
        fullDeadline = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(limit));
        methodOptions.time_limit_seconds = limit * (1.0 - kTailTimeShare);
    }
    Plan plan = methodName == kAutoMethodName ? SolveAuto(problem, methodOptions)
                                              : SolveOne(problem, methodOptions, methodName);
    // Without a time limit the tail placement still gets a budget: its share of the method's own
    // time, at least kTailMinSeconds (its strict strategy nests again and again).
    std::optional<Clock::time_point> tailDeadline = fullDeadline;
    if (!tailDeadline) {
        const auto now = Clock::now();
        const double spent = std::chrono::duration<double>(now - start).count();
        const double budget = std::max(kTailMinSeconds, spent * kTailTimeShare / (1.0 - kTailTimeShare));
        tailDeadline = now + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(budget));
    }
    {
        std::lock_guard<std::mutex> serialise(SolveMutex());
        const EngineInput input = BuildEngineInput(problem);
        PlaceTailsOnPlan(problem, input, options, tailDeadline, options.time_limit_seconds > 0.0, plan);
    }
    plan.elapsed_seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return plan;
}

} // namespace tubenest::api
