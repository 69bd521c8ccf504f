// The plan checker itself: it accepts a sound plan and names each kind of fault.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

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
public:
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

// Each fault, made on a sound plan ([1, front] [back, 3]), is named; the sound plan passes.
TEST_F(PlanChecker, EachFaultIsNamed) {
    ASSERT_EQ(cuts.Count(), 1);
    const auto sound = Check();
    EXPECT_TRUE(sound.ok) << sound.Report();
    EXPECT_EQ(sound.placed, 3);
    EXPECT_EQ(sound.splitPairs, 1);
    const auto drop = [](TNestResult& r, std::int32_t ref, double used) {
        r.FPartOrder.erase(std::find(r.FPartOrder.begin(), r.FPartOrder.end(), ref));
        r.FLengthUsed = used;
    };
    struct TCase {
        const char* Name;
        bool AllowUnplaced;
        std::function<void(PlanChecker&)> Spoil;
        std::vector<const char*> Messages; ///< empty: the plan must pass
    };
    const std::vector<TCase> cases = {
        {"over length, extra copy, tubes, stored length",
         false,
         [](PlanChecker& t) {
             TNestResult& r = t.ResultHolding(4); // 2005 + 5 + 500 = 2510 mm
             r.FPartOrder.push_back(1);
             r.FLengthUsed = 2510 + 5 + 4000;
             t.results[0].FTubeCount = 2;
             t.results[0].FLengthUsed += 1.0;
         },
         {"exceeds the tube 6000 by 515", "part 1 placed 4 times, required 2",
          "tube entry 1 used 3 times, has 2", "but the order needs"}},
        {"missing copy",
         false,
         [&drop](PlanChecker& t) { drop(t.ResultHolding(2), 2, 2005); },
         {"part 2: 1 of 1 copies not placed"}},
        {"missing copy allowed", true, [&drop](PlanChecker& t) { drop(t.ResultHolding(2), 2, 2005); }, {}},
        {"half a split",
         true,
         [&drop](PlanChecker& t) { drop(t.ResultHolding(4), 4, 500); },
         {"1 front pieces, 0 back pieces", "records amount 1, 0 pairs placed"}},
        {"cut outside the stretches",
         false,
         [](PlanChecker& t) {
             t.inst->Intervals[0] = testsupport::MakeSeparableStretches(4000, {{100, 1500}});
             t.param = t.inst->AlgorithmParam();
             t.options.Intervals = &t.param.PartIntervalsList;
         },
         {"is not a separable position"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        SetUp();
        options.AllowUnplaced = c.AllowUnplaced;
        c.Spoil(*this);
        const auto check = Check();
        EXPECT_EQ(check.ok, c.Messages.empty()) << check.Report();
        for (const char* m : c.Messages) {
            EXPECT_TRUE(Mentions(check, m)) << m << "\n" << check.Report();
        }
    }
}

} // namespace
} // namespace tubenest
