// Random instances of every cut shape, checked by the independent plan checker.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "circular/circular_nest.h"
#include "model/random.h"
#include "support/circular_instances.h"
#include "support/circular_plan_checker.h"

namespace tubenest {
namespace {

using testsupport::CheckCircularPlan;
using testsupport::MakeRandomInstance;
using testsupport::TCircularInstance;
using testsupport::TCircularPlanCheckOptions;
using testsupport::TRandomInstanceOptions;

/// A random order of all copies (Fisher-Yates with the test's generator), some parts turned.
TIntDynArray ShuffledOrder(const TCircularInstance& AInst, TRandomGenerator& ARandom) {
    TIntDynArray order = AInst.FullOrder();
    for (std::int32_t i = static_cast<std::int32_t>(order.size()) - 1; i > 0; --i) {
        std::swap(order[static_cast<std::size_t>(i)], order[static_cast<std::size_t>(ARandom.Random(i + 1))]);
    }
    for (auto& ref : order) {
        if (ARandom.RandomFloat() < 0.2) {
            ref = -ref;
        }
    }
    return order;
}

void CheckRun(const TCircularInstance& AInst, TCircularNest& ANest, const std::string& AWhat) {
    auto manager = ANest.CreateCutPartsManager();
    const TNestAlgorithmParam param = AInst.AlgorithmParam();
    TCircularPlanCheckOptions options;
    options.AllowUnplaced = true; // reported; judged below
    options.Intervals = &param.PartIntervalsList;
    const auto check = CheckCircularPlan(AInst.Parts, AInst.Tubes, *AInst.Gaps, AInst.Param,
                                         ANest.FNestResults, ANest.FCutNestParts, *manager, options);
    ASSERT_TRUE(check.ok) << AWhat << "\n" << check.Report();
    // The nest's own amounts show exactly the copies the plan lacks.
    for (std::size_t k = 0; k < AInst.Parts.size(); ++k) {
        ASSERT_EQ(ANest.FNestParts[k].FAmountAvail, check.unplacedPerPart[k]) << AWhat << " part " << k + 1;
    }
    // Piece numbers follow the manager layout: what the nest recorded about each number agrees.
    const auto n = static_cast<std::int32_t>(AInst.Parts.size());
    for (const auto& r : ANest.FNestResults) {
        for (const std::int32_t ref : r->FPartOrder) {
            const std::int32_t a = ref < 0 ? -ref : ref;
            if (a <= n) {
                continue;
            }
            const TCircularPieceInfo* info = ANest.PieceInfo(a);
            ASSERT_NE(info, nullptr) << AWhat;
            const std::int32_t c = (a - n - 1) / 2;
            ASSERT_EQ(info->IsFront, (a - n - 1) % 2 == 0) << AWhat;
            ASSERT_EQ(info->From, ANest.FCutNestParts[c].From) << AWhat;
            ASSERT_EQ(info->Length, ANest.FCutNestParts[c].Length) << AWhat;
        }
    }
    // A copy is left out only when no tube left could take it whole, or it is a Z-shape part set
    // aside for tubes of its own.
    if (check.unplaced > 0) {
        for (std::size_t k = 0; k < AInst.Parts.size(); ++k) {
            if (check.unplacedPerPart[k] == 0) {
                continue;
            }
            const bool special =
                std::find(ANest.FZShapeSpecicalPartOrder.begin(), ANest.FZShapeSpecicalPartOrder.end(),
                          static_cast<std::int32_t>(k) + 1) != ANest.FZShapeSpecicalPartOrder.end();
            bool tubeLeft = false;
            for (const auto& t : ANest.FNestTubes) {
                tubeLeft =
                    tubeLeft || (t.FAmountAvail > 0 && t.FTubeInitialLen - 2 * ANest.FCutPartConnectLength >
                                                           AInst.Parts[k].FOuterlength);
            }
            EXPECT_TRUE(special || !tubeLeft)
                << AWhat << ": part " << k + 1 << " (" << AInst.Parts[k].FOuterlength << " mm) left unplaced";
        }
    }
}

void RunRandom(std::int32_t ACutShape, bool ATight, bool ARandomGaps, std::uint64_t ASeed, int AInstances,
               bool ALarger = false) {
    TRandomGenerator random(ASeed);
    for (int i = 0; i < AInstances; ++i) {
        TRandomInstanceOptions options;
        options.CutShape = ACutShape;
        options.TightTubes = ATight;
        options.RandomGaps = ARandomGaps;
        if (ALarger) {
            options.MaxParts = 12;
            options.MaxAmount = 8;
            options.MaxTubeEntries = 4;
        }
        auto inst = MakeRandomInstance(random, options);
        const TNestAlgorithmParam param = inst->AlgorithmParam();
        for (int run = 0; run < 3; ++run) {
            auto nest = CreateCircularNest(param);
            std::string what = "shape " + std::to_string(ACutShape) + " instance " + std::to_string(i) +
                               " run " + std::to_string(run);
            if (run == 0) {
                std::int32_t amount = 0;
                nest->InitialNestSolve(amount);
                what += " (first solution)";
            } else {
                nest->CircularNestMain(ShuffledOrder(*inst, random));
            }
            CheckRun(*inst, *nest, what);
            if (testing::Test::HasFatalFailure()) {
                return;
            }
        }
    }
}

TEST(CircularRandom, EveryCutShapePassesTheChecker) {
    for (std::int32_t shape = 0; shape < 3; ++shape) {
        const auto s = static_cast<std::uint64_t>(shape);
        RunRandom(shape, false, false, 101 * (s + 1), 150);
        RunRandom(shape, true, false, 404 + 101 * s, 80);      // tight tubes
        RunRandom(shape, shape == 2, true, 707 + 101 * s, 80); // irregular gaps
        RunRandom(shape, false, true, 1100 + s, 120, true);
        RunRandom(shape, true, true, 1200 + s, 120, true);
    }
    // Once left a short part out of the first solution while a tube was still free.
    RunRandom(0, true, true, 5, 120, true);
}

} // namespace
} // namespace tubenest
