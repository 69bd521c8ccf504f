#include "api/solve.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>

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
    EngineOutput output;
    std::optional<PlanStatus> fired;
    {
        ProgressScope scope(progress, options.progress);
        StopWatcher watcher(progress, options.stop, context.deadline);
        output = method(input, context);
        fired = watcher.Fired();
    }
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    std::optional<PlanStatus> stopStatus = fired;
    if (!stopStatus && output.stopped) {
        stopStatus = PlanStatus::TimeLimit; // the method ended early by a limit of its own
    }
    Plan plan = BuildPlan(problem, input, std::move(output), stopStatus);
    plan.method = methodName;
    plan.seed = context.seed;
    plan.elapsed_seconds = elapsed;
    return plan;
}

} // namespace tubenest::api
