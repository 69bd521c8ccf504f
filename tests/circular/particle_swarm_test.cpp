// The particle swarm driver: stop requests, repeatability, never worse than its SVC seed, and whole
// runs of every cut shape checked by the independent checker.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "circular/particle_swarm.h"

#include "adjust/multi_tube_nest_wrapper.h"
#include "host/app_services.h"
#include "model/nest_progress.h"
#include "model/random.h"
#include "support/circular_instances.h"
#include "support/circular_plan_checker.h"
#include "support/gap_tables.h"

namespace tubenest {
namespace {

using testsupport::CheckCircularPlan;
using testsupport::MakeInstance;
using testsupport::MakeRandomInstance;
using testsupport::TCircularInstance;
using testsupport::TCircularPlanCheckOptions;
using testsupport::TRandomInstanceOptions;

struct SwarmRun {
    bool enough = false;
    std::unique_ptr<TNestResultList> results;
    std::unique_ptr<TCutNestParts> pieces;
    std::unique_ptr<TCutPartsManager> manager;
    std::int32_t generations = 0;
    bool stopped = false;
};

SwarmRun RunSwarm(const TCircularInstance& AInst, std::uint64_t ASeed, int AThreads = 1,
                  std::int32_t AFactor = 5) {
    TPaticleSwarm swarm(AInst.Parts, AInst.Tubes, AFactor, ASeed);
    swarm.SetThreads(AThreads);
    SwarmRun run;
    swarm.AlgorithmNest(AInst.AlgorithmParam(), run.enough, run.results, run.pieces, run.manager);
    run.generations = swarm.GenerationsRun();
    run.stopped = swarm.WasStopped();
    return run;
}

/// The results and the split list, for comparing runs.
std::string Describe(const SwarmRun& ARun) {
    std::string s;
    for (const auto& r : *ARun.results) {
        s += r->ToString() + " used " + std::to_string(r->FLengthUsed) + "\n";
    }
    for (const auto& p : *ARun.pieces) {
        s += std::to_string(p.From) + "@" + std::to_string(p.Length) + "x" + std::to_string(p.Amount) + ";";
    }
    return s;
}

/// Checks the plan; unplaced copies (tubes ran out, or a part too long to split anywhere) are
/// allowed and returned.
std::int32_t ExpectSoundPlan(const TCircularInstance& AInst, const SwarmRun& ARun, const std::string& AWhat) {
    EXPECT_TRUE(ARun.results && ARun.pieces && ARun.manager) << AWhat;
    if (!ARun.results || !ARun.pieces || !ARun.manager) {
        return -1;
    }
    const TNestAlgorithmParam param = AInst.AlgorithmParam();
    TCircularPlanCheckOptions options;
    options.AllowUnplaced = true;
    options.Intervals = &param.PartIntervalsList;
    const auto check = CheckCircularPlan(AInst.Parts, AInst.Tubes, *AInst.Gaps, AInst.Param, *ARun.results,
                                         *ARun.pieces, *ARun.manager, options);
    EXPECT_TRUE(check.ok) << AWhat << "\n" << check.Report() << Describe(ARun);
    return check.unplaced;
}

/// Keeps the process-wide progress state of one test and restores it afterwards.
class SwarmProgressTest : public ::testing::Test {
protected:
    void SetUp() override { saved_ = NestProgress; }
    void TearDown() override {
        NestProgress = saved_;
        SetApplicationProgressSink(nullptr);
    }

private:
    TNestProgress* saved_ = nullptr;
};

TEST(ParticleSwarmRun, SameSeedSameResultsDifferentSeedsAllSound) {
    auto inst = MakeInstance({{2300, 3}, {1700, 4}, {900, 5}, {6500, 1}}, {{6000, 12}}, 3.0, 40.0);
    const SwarmRun a = RunSwarm(*inst, 1234);
    const SwarmRun b = RunSwarm(*inst, 1234);
    ASSERT_TRUE(a.results && b.results);
    EXPECT_EQ(Describe(a), Describe(b));
    EXPECT_EQ(ExpectSoundPlan(*inst, a, "seed 1234"), 0);
    EXPECT_FALSE(a.pieces->IsEmpty()) << "the 6500 mm part must be split across two 6000 mm tubes";
    for (std::uint64_t seed : {1ULL, 2ULL, 99ULL}) {
        EXPECT_EQ(ExpectSoundPlan(*inst, RunSwarm(*inst, seed), "seed " + std::to_string(seed)), 0);
    }
}

TEST(ParticleSwarmConcurrency, WorkerThreadsGiveExactlyTheSequentialResult) {
    auto inst = MakeInstance({{2300, 3}, {1700, 4}, {900, 5}, {450, 6}}, {{6000, 12}}, 3.0, 40.0);
    const SwarmRun sequential = RunSwarm(*inst, 77, 1);
    const SwarmRun threaded = RunSwarm(*inst, 77, 3);
    ASSERT_TRUE(sequential.results && threaded.results);
    EXPECT_EQ(Describe(sequential), Describe(threaded));
    EXPECT_EQ(sequential.generations, threaded.generations);
}

TEST_F(SwarmProgressTest, StopDuringTheGenerationsEndsPromptlyWithASoundPlan) {
    auto inst = MakeInstance({{2300, 3}, {1700, 4}, {900, 5}, {6500, 1}}, {{6000, 12}}, 3.0, 40.0);
    inst->Param.SetTargetLostRate(0.0);
    TNestProgress progress(nullptr);
    NestProgress = &progress;
    int calls = 0;
    // The first poll (after the first solution) passes; the first generation's progress notch
    // asks to stop, so the run ends within that generation.
    SetApplicationProgressSink([&](const std::string&, int, int) {
        if (++calls == 2) {
            progress.CustomStop();
        }
    });
    const SwarmRun run = RunSwarm(*inst, 9);
    EXPECT_TRUE(run.stopped);
    EXPECT_EQ(run.generations, 1);
    ExpectSoundPlan(*inst, run, "stopped run");
}

TEST(ParticleSwarmRun, EveryCutShapeOnRandomInstancesPassesTheChecker) {
    TRandomGenerator random(2024);
    for (std::int32_t shape : {0, 1, 2}) {
        for (int i = 0; i < 8; ++i) {
            TRandomInstanceOptions options;
            options.CutShape = shape;
            options.TightTubes = i % 3 == 0;
            options.RandomGaps = i % 2 == 1;
            auto inst = MakeRandomInstance(random, options);
            const std::string what = "shape " + std::to_string(shape) + " instance " + std::to_string(i);
            const SwarmRun run = RunSwarm(*inst, 1000 + static_cast<std::uint64_t>(i), 1, 1);
            if (!run.results) {
                continue; // nothing could be nested at all
            }
            ExpectSoundPlan(*inst, run, what);
        }
    }
}

} // namespace
} // namespace tubenest

namespace tubenest {
namespace {

TEST(ParticleSwarmSeeds, NeverWorseThanTheSvcSeedAndNoWeldsAtItsTubeCount) {
    // One tube entry and no part longer than it: the SVC seed exists. The swarm places at least
    // as many copies; with as many, no more tubes; with as many tubes too, no weld.
    TRandomGenerator random(4711);
    for (int trial = 0; trial < 25; ++trial) {
        TRandomInstanceOptions options;
        options.MaxTubeEntries = 1;
        options.LongParts = false;
        options.TightTubes = trial % 4 == 0;
        auto inst = testsupport::MakeRandomInstance(random, options);
        const SwarmRun run = RunSwarm(*inst, 7 + static_cast<std::uint64_t>(trial));
        const std::int32_t unplaced = ExpectSoundPlan(*inst, run, "trial " + std::to_string(trial));
        TNestResultList svc;
        TMultiTubeNestWrapper wrapper(inst->Parts, inst->Tubes, *inst->Gaps, inst->Param);
        wrapper.SVCNest(svc);
        std::int64_t svcPlaced = 0;
        std::int64_t svcTubes = 0;
        for (const auto& r : svc) {
            svcPlaced += static_cast<std::int64_t>(r->FPartOrder.size()) * r->FTubeCount;
            svcTubes += r->FTubeCount;
        }
        std::int64_t required = 0;
        for (const auto& p : inst->Parts) {
            required += p.FAmountAvail;
        }
        std::int64_t tubes = 0;
        for (const auto& r : *run.results) {
            tubes += r->FTubeCount;
        }
        const std::int64_t placed = required - unplaced;
        EXPECT_GE(placed, svcPlaced) << "trial " << trial;
        if (placed == svcPlaced) {
            EXPECT_LE(tubes, svcTubes) << "trial " << trial;
            if (tubes == svcTubes) {
                EXPECT_TRUE(run.pieces->IsEmpty()) << "trial " << trial << ": welds at the seed's tube count";
            }
        }
    }
}

} // namespace
} // namespace tubenest
