// Tail placement on random instances: the greedy plan of each instance goes through TTailPlace,
// and the result is checked by the whole-part checker, the tail checker and against the plan it
// started from (every copy kept, no more tubes).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "adjust/multi_tube_nest_wrapper.h"
#include "model/nest_progress.h"
#include "model/random.h"
#include "support/gap_tables.h"
#include "support/svc_plan_checker.h"
#include "tailplace/strict_tail_place.h"
#include "tailplace/tail_place.h"
#include "tailplace/tail_check.h"

namespace tubenest {
namespace {

using test_support::CheckWholePartPlan;
using testsupport::MakeRandomGaps;
using testsupport::Part;
using testsupport::Tube;

struct Instance {
    TGeneralNestPartArr parts;
    TGeneralNestTubeArr tubes;
    TCADAutoNestParam param;
    std::unique_ptr<TSegPlaceInfoManager> gaps;
};

Instance RandomInstance(std::uint64_t seed, std::int32_t mode, std::int32_t strategy) {
    TRandomGenerator rng(seed);
    Instance in;
    const int kinds = 3 + static_cast<int>(rng.Random(6));
    for (int k = 0; k < kinds; ++k) {
        // About a third of the kinds fall into the window [400, 800].
        const bool spec = rng.Random(3) == 0;
        const double len = spec ? 400.0 + rng.Random(401) : 150.0 + rng.Random(2200);
        in.parts.push_back(Part(len, 1 + static_cast<std::int32_t>(rng.Random(6))));
    }
    const int entries = 1 + static_cast<int>(rng.Random(3));
    for (int t = 0; t < entries; ++t) {
        in.tubes.push_back(Tube(3000.0 + rng.Random(3001), 2 + static_cast<std::int32_t>(rng.Random(12))));
    }
    in.param.SetDefaultPartGap(10.0);
    in.param.SetTailPlaceMode(mode);
    in.param.SetSpecMinLength(400.0);
    in.param.SetSpecMaxLength(800.0);
    in.param.SetTailPlaceStrategy(strategy);
    in.param.SetTailLength(300.0 + rng.Random(900));
    in.param.SetDisableReverse(rng.Random(4) == 0);
    in.gaps = MakeRandomGaps(kinds, rng, 0.0, 12.0, in.param);
    in.gaps->InitializePartGaps();
    return in;
}

std::int64_t Tubes(const TNestResultList& list) {
    std::int64_t n = 0;
    for (const auto& r : list) {
        n += r->FTubeCount;
    }
    return n;
}

void CheckTailPlace(std::uint64_t seed, std::int32_t mode, std::int32_t strategy) {
    SCOPED_TRACE("seed " + std::to_string(seed) + " mode " + std::to_string(mode) + " strategy " +
                 std::to_string(strategy));
    Instance in = RandomInstance(seed, mode, strategy);
    TNestResultList before;
    TMultiTubeNestWrapper(in.parts, in.tubes, *in.gaps, in.param).GreedyNest(before);
    const auto base = CheckWholePartPlan(before, in.parts, in.tubes, *in.gaps);
    ASSERT_TRUE(base.Ok()) << base.Text();

    TNestResultList after = before;
    TTailPlace(in.parts, in.tubes, in.param, *in.gaps).TryTailPlace(after);
    const auto report = CheckWholePartPlan(after, in.parts, in.tubes, *in.gaps);
    ASSERT_TRUE(report.Ok()) << report.Text();
    for (std::size_t p = 0; p < in.parts.size(); ++p) {
        EXPECT_GE(report.NestedAmounts[p], base.NestedAmounts[p]) << "part " << p << " lost a copy";
    }
    EXPECT_LE(Tubes(after), Tubes(before));
    const auto tails = tailtest::CheckFlaggedTails(after, in.parts, in.tubes, *in.gaps, in.param);
    EXPECT_TRUE(tails.empty()) << tailtest::Join(tails);
}

TEST(TailPlaceRandom, EveryCopyKeptNoOverfillNoExtraTubeFlaggedTailsHold) {
    for (std::uint64_t seed = 1; seed <= 40; ++seed) {
        for (const std::int32_t mode : {1, 2}) {
            CheckTailPlace(seed, mode, static_cast<std::int32_t>(seed % 2));
        }
    }
}

TEST(TailPlaceRandom, ModesThatQualifyNothingChangeNoPartAndFlagNothing) {
    for (std::uint64_t seed = 1; seed <= 10; ++seed) {
        for (const std::int32_t mode : {0, 3}) {
            Instance in = RandomInstance(seed, mode, 0);
            TNestResultList before;
            TMultiTubeNestWrapper(in.parts, in.tubes, *in.gaps, in.param).GreedyNest(before);
            TNestResultList after = before;
            TTailPlace(in.parts, in.tubes, in.param, *in.gaps).TryTailPlace(after);
            ASSERT_EQ(after.Count(), before.Count());
            for (int i = 0; i < after.Count(); ++i) {
                EXPECT_FALSE(after[i].FIsTailPlacedQualified);
                EXPECT_EQ(after[i].FPartOrder, before[i].FPartOrder);
            }
        }
    }
}

TEST(TailPlaceRandom, StopRequestedLosesNothing) {
    TNestProgress progress(nullptr);
    TNestProgress* saved = NestProgress;
    NestProgress = &progress;
    progress.CustomStop();
    for (std::uint64_t seed = 1; seed <= 8; ++seed) {
        Instance in = RandomInstance(seed, 1, 0);
        TNestResultList before;
        {
            // The plan to start from is made without the stop request.
            NestProgress = saved;
            TMultiTubeNestWrapper(in.parts, in.tubes, *in.gaps, in.param).GreedyNest(before);
            NestProgress = &progress;
        }
        TNestResultList after = before;
        TTailPlace(in.parts, in.tubes, in.param, *in.gaps).TryTailPlace(after);
        const auto base = CheckWholePartPlan(before, in.parts, in.tubes, *in.gaps);
        const auto report = CheckWholePartPlan(after, in.parts, in.tubes, *in.gaps);
        EXPECT_TRUE(report.Ok()) << report.Text();
        EXPECT_EQ(report.NestedAmounts, base.NestedAmounts);
        EXPECT_EQ(Tubes(after), Tubes(before));
    }
    NestProgress = saved;
}

TEST(TailPlaceRandom, PassedDeadlineLosesNothing) {
    Instance in = RandomInstance(7, 1, 0);
    TNestResultList before;
    TMultiTubeNestWrapper(in.parts, in.tubes, *in.gaps, in.param).GreedyNest(before);
    TNestResultList after = before;
    TTailPlace place(in.parts, in.tubes, in.param, *in.gaps);
    place.SetDeadline(TTailPlaceBase::Clock::now());
    place.TryTailPlace(after);
    const auto base = CheckWholePartPlan(before, in.parts, in.tubes, *in.gaps);
    const auto report = CheckWholePartPlan(after, in.parts, in.tubes, *in.gaps);
    EXPECT_TRUE(report.Ok()) << report.Text();
    EXPECT_EQ(report.NestedAmounts, base.NestedAmounts);
    EXPECT_EQ(Tubes(after), Tubes(before));
}

} // namespace
} // namespace tubenest
