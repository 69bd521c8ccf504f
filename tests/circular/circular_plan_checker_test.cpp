// The plan checker itself: it accepts a sound plan and names each kind of fault.

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>

#include "circular/circular_nest.h"
#include "support/circular_instances.h"
#include "support/circular_plan_checker.h"

namespace tubenest {
namespace {

using testsupport::CheckCircularPlan;
using testsupport::MakeInstance;
using testsupport::TCircularInstance;
using testsupport::TCircularPlanCheck;
using testsupport::TCircularPlanCheckOptions;

bool Mentions(const TCircularPlanCheck& ACheck, const std::string& AText) {
    for (const auto& m : ACheck.messages) {
        if (m.find(AText) != std::string::npos) {
            return true;
        }
    }
    return false;
}

class PlanChecker : public testing::Test {
protected:
    void SetUp() override {
        // Two 4000 mm parts and a 500 mm part in 6000 mm tubes: [1, front], [back, 3].
        inst = MakeInstance({{4000, 2}, {500, 1}}, {{6000, 2}}, 5, 100);
        TCircularNest nest(inst->AlgorithmParam());
        nest.CircularNestMain({1, 1, 2});
        results = nest.FNestResults;
        cuts = nest.FCutNestParts;
        param = inst->AlgorithmParam();
        options.Intervals = &param.PartIntervalsList;
    }
    TCircularPlanCheck Check() {
        TCutPartsManager manager(*inst->Gaps, cuts, inst->Parts, inst->Param);
        return CheckCircularPlan(inst->Parts, inst->Tubes, *inst->Gaps, inst->Param, results, cuts, manager,
                                 options);
    }
    TNestResult& ResultHolding(std::int32_t ref) {
        for (auto& r : results) {
            for (const std::int32_t o : r->FPartOrder) {
                if (o == ref) {
                    return *r;
                }
            }
        }
        throw std::logic_error("no result holds " + std::to_string(ref));
    }

    std::unique_ptr<TCircularInstance> inst;
    TNestResultList results;
    TCutNestParts cuts;
    TNestAlgorithmParam param;
    TCircularPlanCheckOptions options;
};

TEST_F(PlanChecker, ATubeOverItsLengthIsNamedWithTheExcess) {
    TNestResult& r = ResultHolding(4); // the back piece's tube: 2005 + 5 + 500 = 2510 mm
    r.FPartOrder.push_back(1);
    r.FLengthUsed = 2510 + 5 + 4000;
    results[0].FTubeCount = 2;
    results[0].FLengthUsed += 1.0;
    const auto check = Check();
    EXPECT_FALSE(check.ok);
    EXPECT_TRUE(Mentions(check, "exceeds the tube 6000 by 515")) << check.Report();
    EXPECT_TRUE(Mentions(check, "part 1 placed 3 times, required 2")) << check.Report();
    EXPECT_TRUE(Mentions(check, "tube entry 1 used 3 times, has 2")) << check.Report();
    EXPECT_TRUE(Mentions(check, "but the order needs")) << check.Report();
}

TEST_F(PlanChecker, MissingCopiesFailUnlessAllowed) {
    ASSERT_EQ(cuts.Count(), 1);
    const auto sound = Check();
    EXPECT_TRUE(sound.ok) << sound.Report();
    EXPECT_EQ(sound.placed, 3);
    EXPECT_EQ(sound.splitPairs, 1);
    TNestResult& r = ResultHolding(2);
    r.FPartOrder.erase(std::find(r.FPartOrder.begin(), r.FPartOrder.end(), 2));
    r.FLengthUsed = 2005;
    auto check = Check();
    EXPECT_FALSE(check.ok);
    EXPECT_TRUE(Mentions(check, "part 2: 1 of 1 copies not placed")) << check.Report();
    options.AllowUnplaced = true;
    check = Check();
    EXPECT_TRUE(check.ok) << check.Report();
    EXPECT_EQ(check.unplaced, 1);
    EXPECT_EQ(check.unplacedPerPart[1], 1);
}

TEST_F(PlanChecker, AHalfPlacedSplitIsAFault) {
    TNestResult& r = ResultHolding(4);
    r.FPartOrder.erase(std::find(r.FPartOrder.begin(), r.FPartOrder.end(), 4));
    r.FLengthUsed = 500;
    options.AllowUnplaced = true;
    const auto check = Check();
    EXPECT_FALSE(check.ok);
    EXPECT_TRUE(Mentions(check, "1 front pieces, 0 back pieces")) << check.Report();
    EXPECT_TRUE(Mentions(check, "records amount 1, 0 pairs placed")) << check.Report();
}

TEST_F(PlanChecker, ACutOutsideTheSeparableStretchesIsAFault) {
    inst->Intervals[0] = testsupport::MakeSeparableStretches(4000, {{100, 1500}});
    param = inst->AlgorithmParam();
    options.Intervals = &param.PartIntervalsList;
    const auto check = Check();
    EXPECT_FALSE(check.ok);
    EXPECT_TRUE(Mentions(check, "is not a separable position")) << check.Report();
}

TEST_F(PlanChecker, AManagerForOtherSplitsIsRejected) {
    TCutNestParts other;
    TCutNestPart p;
    p.DataUpdate(1234, 1, 1);
    other.Add(p);
    TCutPartsManager manager(*inst->Gaps, other, inst->Parts, inst->Param);
    const auto check = CheckCircularPlan(inst->Parts, inst->Tubes, *inst->Gaps, inst->Param, results, cuts,
                                         manager, options);
    EXPECT_FALSE(check.ok);
    EXPECT_TRUE(Mentions(check, "differs from the returned split list")) << check.Report();
}

} // namespace
} // namespace tubenest
