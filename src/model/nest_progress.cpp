#include "model/nest_progress.h"

#include <utility>

#include "host/app_services.h"

namespace tubenest {

TAnProgressEvent TNestProgress::FOnProgress;
std::string TNestProgress::ProgressMsg;
std::atomic<std::int32_t> TNestProgress::ProgressTotal{1};
std::atomic<std::int32_t> TNestProgress::ProgressStep{0};

TNestProgress* NestProgress = nullptr;
std::atomic<std::int32_t> GProcessBase{3};
std::atomic<std::int32_t> GProCessValue{1};
std::atomic<std::int32_t> GCurProCessCoeff{1};
std::atomic<std::int32_t> GCurProCessTotal{1};

std::mutex& TNestProgress::Lock() {
    static std::mutex m;
    return m;
}

TNestProgress::TNestProgress(TAnProgressEvent ProgressEvent) {
    std::lock_guard<std::mutex> guard(Lock());
    FOnProgress = std::move(ProgressEvent);
    ProgressMsg = SNestOpting;
    ProgressStep = 0;
    ProgressTotal = 1;
}

void TNestProgress::OnProgress(const std::string& Msg, std::int32_t Total, std::int32_t Step) {
    std::lock_guard<std::mutex> guard(Lock());
    ProgressMsg = Msg;
    ProgressTotal = Total;
    ProgressStep = Step;
}

void TNestProgress::SetProgress(const std::string& Msg, std::int32_t Step) {
    TAnProgressEvent callback;
    {
        std::lock_guard<std::mutex> guard(Lock());
        callback = FOnProgress;
    }
    if (callback) {
        callback(Msg, ProgressTotal.load(), Step);
    }
}

void TNestProgress::CustomStop(const void* /*Sender*/) {
    FStop.store(true, std::memory_order_release);
}

void NextProcess() {
    if (GProcessBase.load() > 2147483644) {
        GProcessBase = 1;
        GProCessValue = 1;
    }
    ++GProCessValue;
    ++GProcessBase;
    // Host factors may push the products past 32 bits; they are display values, so they wrap.
    TNestProgress::ProgressTotal =
        static_cast<std::int32_t>(static_cast<std::int64_t>(GProcessBase.load()) * GCurProCessTotal.load());
    TNestProgress::ProgressStep =
        static_cast<std::int32_t>(static_cast<std::int64_t>(GProCessValue.load()) * GCurProCessCoeff.load());
    std::string msg;
    {
        std::lock_guard<std::mutex> guard(TNestProgress::Lock());
        msg = TNestProgress::ProgressMsg;
    }
    ApplicationSetProgress(msg, TNestProgress::ProgressTotal.load(), TNestProgress::ProgressStep.load());
}

namespace {
// Scopes nest: the depth tells whether this thread has a progress object of its own (which may be
// none at all: a run that must not be stopped).
thread_local TNestProgress* ThreadProgress = nullptr;
thread_local int ThreadScopes = 0;
} // namespace

TNestProgress* CurrentNestProgress() {
    return ThreadScopes > 0 ? ThreadProgress : NestProgress;
}

TNestProgressThreadScope::TNestProgressThreadScope(TNestProgress* Progress) : FPrevious(ThreadProgress) {
    ThreadProgress = Progress;
    ++ThreadScopes;
}

TNestProgressThreadScope::~TNestProgressThreadScope() {
    ThreadProgress = FPrevious;
    --ThreadScopes;
}

bool StopRequested() {
    const TNestProgress* progress = CurrentNestProgress();
    return progress != nullptr && progress->Stoped();
}

bool GetStopped() {
    const bool stopped = StopRequested();
    NextProcess();
    return stopped;
}

} // namespace tubenest
