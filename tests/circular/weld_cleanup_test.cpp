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
using testsupport::MakeInstance;
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

/// Results from hand-written orders (piece references as the manager lays them out).
TNestResultList Results(const TCutPartsManager& AManager, const std::vector<TIntDynArray>& AOrders) {
    TNestResultList list;
    for (const auto& order : AOrders) {
        auto r = std::make_unique<TNestResult>();
        r->FTubeIndex = 1;
        r->FTubeCount = 1;
        r->FPartOrder = order;
        AManager.FSegPlaceInfoManager->UpdateNestResultInfo(*r, AManager.FGeneralNestPartArr);
        list.Add(std::move(r));
    }
    return list;
}

TEST(WeldCleanup, SplitsThatSaveNothingAreUndone) {
    // Part 2 (2500) is split 1995 + 505. Case 1: it fits whole behind part 3 in the second tube.
    // Case 2: no tube takes it whole, but moving part 5 (1900) from the back piece's tube to the
    // front piece's makes room: 3000 + 1000 + 1900 and 3500 + 2500, both within 6000.
    struct Case {
        std::vector<std::pair<double, std::int32_t>> parts;
        std::vector<TIntDynArray> orders; // pieces: 6 = front, 7 = back (5 parts) / 4, 5 (3 parts)
    };
    const std::vector<Case> cases{
        {{{4000, 1}, {2500, 1}, {1500, 1}}, {{1, 4}, {5, 3}}},
        {{{3000, 1}, {2500, 1}, {1000, 1}, {3500, 1}, {1900, 1}}, {{1, 3, 6}, {7, 4, 5}}},
    };
    for (std::size_t k = 0; k < cases.size(); ++k) {
        auto inst = MakeInstance(cases[k].parts, {{6000, 2}}, 0.0, 50.0);
        TCutNestParts cuts{{1995.0, 2, 1}};
        TCutPartsManager manager(*inst->Gaps, cuts, inst->Parts, inst->Param);
        TNestResultList results = Results(manager, cases[k].orders);
        ASSERT_TRUE(Check(*inst, results, cuts, manager).ok) << "case " << k;
        EXPECT_EQ(RemoveNeedlessWelds(results, cuts, manager, inst->Tubes, false), 1) << "case " << k;
        EXPECT_EQ(Pairs(cuts), 0);
        EXPECT_LE(Tubes(results), 2);
        const auto check = Check(*inst, results, cuts, manager);
        EXPECT_TRUE(check.ok) << "case " << k << "\n" << check.Report();
        EXPECT_EQ(check.unplaced, 0);
    }
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
