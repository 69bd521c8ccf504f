#pragma once
// Progress and stop. The host creates a TNestProgress with its callback and assigns it to
// NestProgress before it runs a method; every long loop of the engine polls GetStopped, which also
// advances the host's progress display. Nothing stops by force: a method that sees a stop request
// winds down with the best result it has.
//
// Threads: the stop request may be set from any thread (the host's stop button, a signal handler's
// helper thread); it is atomic. GetStopped and NextProcess are called on the nesting thread; worker
// threads of the engine only read the stop flag (Stoped). The counters are atomic so that a host
// reading them from its GUI thread sees whole values.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace tubenest {

/// Progress callback: message, total, step.
using TAnProgressEvent = std::function<void(const std::string& Msg, std::int32_t Total, std::int32_t Step)>;

class TNestProgress {
public:
    /// Stores the callback, sets the message to SNestOpting, step 0, total 1, no stop request.
    explicit TNestProgress(TAnProgressEvent ProgressEvent);
    TNestProgress(const TNestProgress&) = delete;
    TNestProgress& operator=(const TNestProgress&) = delete;

    /// Stores the three values (so it can serve as another component's progress callback); calls nothing.
    void OnProgress(const std::string& Msg, std::int32_t Total, std::int32_t Step);
    /// Calls the callback, when set, with Msg, the current total and Step; stores nothing.
    void SetProgress(const std::string& Msg, std::int32_t Step);
    /// Sets the stop request; safe from any thread.
    void CustomStop(const void* Sender = nullptr);
    /// The stop request.
    bool Stoped() const { return FStop.load(std::memory_order_acquire); }

    // Class-wide fields.
    static TAnProgressEvent FOnProgress;
    static std::string ProgressMsg;
    static std::atomic<std::int32_t> ProgressTotal;
    static std::atomic<std::int32_t> ProgressStep;

    /// Guards ProgressMsg and FOnProgress.
    static std::mutex& Lock();

private:
    std::atomic<bool> FStop{false};
};

/// The progress object of the running nest (non-owning; the host assigns it and keeps it alive).
extern TNestProgress* NestProgress;
extern std::atomic<std::int32_t> GProcessBase;     ///< initial 3
extern std::atomic<std::int32_t> GProCessValue;    ///< initial 1
extern std::atomic<std::int32_t> GCurProCessCoeff; ///< initial 1
extern std::atomic<std::int32_t> GCurProCessTotal; ///< initial 1

/// Advances the progress one notch and reports it through the application's SetProgress.
void NextProcess();
/// Reads the stop request (false without a progress object), then advances the progress.
bool GetStopped();
/// Reads the stop request without advancing the progress (for checks inside a step).
bool StopRequested();

/// The progress object whose stop request the calling thread obeys (non-owning): the one the
/// innermost TNestProgressThreadScope of this thread installed (possibly none: nullptr, never
/// stopped), else NestProgress.
TNestProgress* CurrentNestProgress();

/// Makes a progress object the calling thread's own while the scope lives: a run that shares its
/// time between methods on several threads gives each method a stop request of its own, and a
/// step that must not be stopped installs nullptr. The progress object is not owned and must
/// outlive the scope. Threads a method starts take the
/// scope over by installing CurrentNestProgress() of the starting thread.
class TNestProgressThreadScope {
public:
    explicit TNestProgressThreadScope(TNestProgress* Progress);
    TNestProgressThreadScope(const TNestProgressThreadScope&) = delete;
    TNestProgressThreadScope& operator=(const TNestProgressThreadScope&) = delete;
    ~TNestProgressThreadScope();

private:
    TNestProgress* FPrevious;
};

} // namespace tubenest
