#include "circular/weld_cleanup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "circular/particle_swarm.h"
#include "model/random.h"
#include "support/circular_instances.h"
#include "support/circular_plan_checker.h"

namespace tubenest {
namespace {

using testsupport::CheckCircularPlan;
using testsupport::TCircularInstance;
using testsupport::TCircularPlanCheckOptions;

std::int32_t Tubes(const TNestResultList& AList) {
    std::int32_t s = 0;
    for (const auto& r : AList) {
        s += r->FTubeCount;
    }
    return s;
}

std::int32_t Pairs(const TCutNestParts& ACuts) {
    std::int32_t s = 0;
    for (const auto& c : ACuts) {
        s += c.Amount;
    }
    return s;
}

testsupport::TCircularPlanCheck Check(const TCircularInstance& AInst, const TNestResultList& AResults,
                                      const TCutNestParts& ACuts, const TCutPartsManager& AManager) {
    TCircularPlanCheckOptions options;
    options.AllowUnplaced = true;
    return CheckCircularPlan(AInst.Parts, AInst.Tubes, *AInst.Gaps, AInst.Param, AResults, ACuts, AManager,
                             options);
}

TEST(WeldCleanup, RandomSwarmPlansStaySoundAndKeepNoSplitThatFitsWhole) {
    // Every plan stays valid; tubes and welds never grow; no split is left whose part would fit,
    // with any gap, into the room of a tube that holds neither of its pieces.
    TRandomGenerator random(2024);
    std::int32_t undoneTotal = 0;
    for (int trial = 0; trial < 30; ++trial) {
        testsupport::TRandomInstanceOptions options;
        options.CutShape = trial % 3;
        auto inst = testsupport::MakeRandomInstance(random, options);
        TPaticleSwarm swarm(inst->Parts, inst->Tubes, 1, 100 + static_cast<std::uint64_t>(trial));
        bool enough = false;
        std::unique_ptr<TNestResultList> results;
        std::unique_ptr<TCutNestParts> cuts;
        std::unique_ptr<TCutPartsManager> manager;
        swarm.AlgorithmNest(inst->AlgorithmParam(), enough, results, cuts, manager);
        if (!results) {
            continue;
        }
        const auto before = Check(*inst, *results, *cuts, *manager);
        ASSERT_TRUE(before.ok) << before.Report();
        const std::int32_t tubes = Tubes(*results);
        const std::int32_t pairs = Pairs(*cuts);
        undoneTotal += RemoveNeedlessWelds(*results, *cuts, *manager, inst->Tubes, false);
        const auto after = Check(*inst, *results, *cuts, *manager);
        ASSERT_TRUE(after.ok) << "trial " << trial << "\n" << after.Report();
        EXPECT_EQ(after.placed, before.placed);
        EXPECT_LE(Tubes(*results), tubes);
        EXPECT_LE(Pairs(*cuts), pairs);

        double maxGap = 0.0;
        double minGap = 0.0;
        inst->Gaps->GetMaxMinGap(maxGap, minGap);
        maxGap = std::max(maxGap, inst->Param.DefaultPartGap());
        const std::int32_t n = manager->FOriPartCount;
        for (std::int32_t c = 0; c < cuts->Count(); ++c) {
            if ((*cuts)[c].Amount == 0) {
                continue;
            }
            const double whole = inst->Parts[static_cast<std::size_t>((*cuts)[c].From - 1)].FOuterlength;
            for (const auto& r : *results) {
                bool holdsPiece = false;
                for (const std::int32_t ref : r->FPartOrder) {
                    holdsPiece =
                        holdsPiece || std::abs(ref) == n + 2 * c + 1 || std::abs(ref) == n + 2 * c + 2;
                }
                const double room =
                    inst->Tubes[static_cast<std::size_t>(r->FTubeIndex - 1)].FTubeInitialLen - r->FLengthUsed;
                EXPECT_TRUE(holdsPiece || room < whole + std::max(maxGap, 0.0))
                    << "trial " << trial << ": split " << c << " of a " << whole << " mm part left with "
                    << room << " mm free";
            }
        }
    }
    EXPECT_GT(undoneTotal, 0) << "the random plans should include needless splits";
}

} // namespace
} // namespace tubenest
