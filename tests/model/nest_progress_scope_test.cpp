// A thread's own progress object: its stop request is the one the thread obeys, scopes nest, and
// other threads keep the global one.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "model/nest_progress.h"

using namespace tubenest;

namespace {

/// Installs a global progress object for one test and restores the previous one.
class GlobalProgress {
public:
    GlobalProgress() : previous_(NestProgress) { NestProgress = &progress_; }
    GlobalProgress(const GlobalProgress&) = delete;
    GlobalProgress& operator=(const GlobalProgress&) = delete;
    ~GlobalProgress() { NestProgress = previous_; }
    TNestProgress& Get() { return progress_; }

private:
    TNestProgress progress_{TAnProgressEvent{}};
    TNestProgress* previous_;
};

} // namespace

TEST(NestProgressThreadScope, ScopesNestAndRestore) {
    GlobalProgress global;
    TNestProgress own(TAnProgressEvent{});
    EXPECT_EQ(CurrentNestProgress(), &global.Get());
    {
        const TNestProgressThreadScope outer(&own);
        EXPECT_EQ(CurrentNestProgress(), &own);
        own.CustomStop();
        EXPECT_TRUE(StopRequested());
        {
            // A step that must not be stopped: no progress object at all.
            const TNestProgressThreadScope quiet(nullptr);
            EXPECT_EQ(CurrentNestProgress(), nullptr);
            EXPECT_FALSE(StopRequested());
            EXPECT_FALSE(GetStopped());
        }
        EXPECT_TRUE(StopRequested());
    }
    EXPECT_EQ(CurrentNestProgress(), &global.Get());
    EXPECT_FALSE(StopRequested()); // the global one was never stopped
}

TEST(NestProgressThreadScopeConcurrency, EachThreadObeysItsOwnStop) {
    GlobalProgress global;
    TNestProgress first(TAnProgressEvent{});
    TNestProgress second(TAnProgressEvent{});
    first.CustomStop();
    std::atomic<bool> firstStopped{false};
    std::atomic<bool> secondStopped{true};
    std::atomic<bool> plainStopped{true};
    std::thread a([&] {
        const TNestProgressThreadScope scope(&first);
        firstStopped = StopRequested();
    });
    std::thread b([&] {
        const TNestProgressThreadScope scope(&second);
        secondStopped = StopRequested();
    });
    std::thread c([&] { plainStopped = StopRequested(); }); // no scope: the global object
    a.join();
    b.join();
    c.join();
    EXPECT_TRUE(firstStopped);
    EXPECT_FALSE(secondStopped);
    EXPECT_FALSE(plainStopped);
    global.Get().CustomStop();
    std::thread d([&] { plainStopped = StopRequested(); });
    d.join();
    EXPECT_TRUE(plainStopped);
}
