#include "model/nest_progress.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "host/app_services.h"

namespace tubenest {
namespace {

using Report = std::tuple<std::string, int, int>;

// The progress state is process-wide: every test starts from the values after loading and leaves
// no sink or progress object behind.
class NestProgressTest : public ::testing::Test {
protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }
    static void Reset() {
        NestProgress = nullptr;
        GProcessBase = 3;
        GProCessValue = 1;
        GCurProCessCoeff = 1;
        GCurProCessTotal = 1;
        TNestProgress::FOnProgress = nullptr;
        TNestProgress::ProgressMsg.clear();
        TNestProgress::ProgressTotal = 1;
        TNestProgress::ProgressStep = 0;
        SetApplicationProgressSink(nullptr);
    }
    void Record() {
        SetApplicationProgressSink(
            [this](const std::string& m, int total, int step) { reports_.emplace_back(m, total, step); });
    }
    std::vector<Report> reports_;
};

TEST_F(NestProgressTest, StopIsSeenFromTheNextPollOnAndStays) {
    TNestProgress progress(nullptr);
    NestProgress = &progress;
    // The host presses stop while it shows the progress: this poll still reads the old flag.
    SetApplicationProgressSink([&progress](const std::string&, int, int) { progress.CustomStop(); });
    EXPECT_FALSE(GetStopped());
    EXPECT_TRUE(progress.Stoped());
    EXPECT_TRUE(StopRequested());
    SetApplicationProgressSink(nullptr);
    EXPECT_TRUE(GetStopped());
    EXPECT_TRUE(GetStopped());
    EXPECT_EQ(GProCessValue.load(), 4); // every poll advanced the bar
}

using NestProgressConcurrency = NestProgressTest;

TEST_F(NestProgressConcurrency, StopFromOtherThread) {
    TNestProgress progress(nullptr);
    NestProgress = &progress;
    std::atomic<int> polls{0};
    std::atomic<bool> go{false};
    std::thread host([&] {
        while (!go.load()) {
            std::this_thread::yield();
        }
        progress.CustomStop(&progress);
    });
    // The nesting loop: polls until it sees the request that another thread sets meanwhile.
    while (true) {
        ++polls;
        if (polls == 3) {
            go = true;
        }
        if (GetStopped()) {
            break;
        }
        std::this_thread::yield();
    }
    host.join();
    EXPECT_GE(polls.load(), 4); // the poll that released the host could not see its stop yet
    EXPECT_TRUE(GetStopped());
}

TEST_F(NestProgressConcurrency, HostUpdatesMessageWhileNesting) {
    Record();
    TNestProgress progress(nullptr);
    NestProgress = &progress;
    std::atomic<bool> done{false};
    std::thread host([&] {
        for (int k = 0; k < 200; ++k) {
            progress.OnProgress(k % 2 == 0 ? "even" : "odd", k, k);
        }
        progress.CustomStop();
        done = true;
    });
    int polls = 0;
    while (!GetStopped()) {
        ++polls;
    }
    host.join();
    EXPECT_TRUE(done.load());
    for (const auto& r : reports_) {
        const auto& m = std::get<0>(r);
        EXPECT_TRUE(m == SNestOpting || m == "even" || m == "odd") << m;
    }
    EXPECT_EQ(static_cast<int>(reports_.size()), polls + 1);
}

} // namespace
} // namespace tubenest
