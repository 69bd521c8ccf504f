// Every SVC plan on many seeded random instances passes the independent plan checker.

#include <gtest/gtest.h>

#include "support/gap_tables.h"
#include "support/svc_plan_checker.h"
#include "svc/svc_nest.h"
#include "svc_test_util.h"

namespace tubenest {
namespace {

using test_support::CheckWholePartPlan;
using testsupport::MakeRandomGaps;
using testsupport::Part;
using testsupport::Tube;

struct Instance {
    TGeneralNestPartArr parts;
    TGeneralNestTubeArr tubes;
    std::unique_ptr<TSegPlaceInfoManager> gaps;
    TCADAutoNestParam param;
};

/// Parts of random lengths (some longer than every tube), tubes of a few lengths (some tied to a
/// part), gaps differing by orientation, a part gap below, at or above the real gaps.
Instance RandomInstance(TRandomGenerator& random, bool wholeMillimetres, bool ampleTubes) {
    Instance in;
    const int nParts = 1 + random.Random(14);
    const int nTubes = 1 + random.Random(3);
    for (int t = 0; t < nTubes; ++t) {
        const double length =
            wholeMillimetres ? 2000 + random.Random(10001) : 2000.0 + random.RandomFloat() * 10000.0;
        const int tied = !ampleTubes && random.Random(4) == 0 ? 1 + random.Random(nParts) : -1;
        in.tubes.push_back(Tube(length, ampleTubes ? 1000 : 1 + random.Random(6), tied));
    }
    double shortest = in.tubes.front().FTubeInitialLen;
    for (const auto& t : in.tubes) {
        shortest = std::min(shortest, t.FTubeInitialLen);
    }
    for (int p = 0; p < nParts; ++p) {
        double length = 0.0;
        if (wholeMillimetres) {
            length = 50 + random.Random(static_cast<int>(shortest) - 50 - 30);
        } else if (random.Random(12) == 0) {
            length = 12500.0 + random.RandomFloat() * 1000.0; // longer than every tube
        } else {
            length = 30.0 + random.RandomFloat() * (random.Random(3) == 0 ? 5000.0 : 1200.0);
        }
        in.parts.push_back(Part(length, random.Random(12)));
    }
    in.gaps = MakeRandomGaps(nParts, random, 0.0, 30.0);
    const double partGaps[] = {0.0, 10.0, 30.0};
    in.param.SetDefaultPartGap(partGaps[random.Random(3)]);
    in.param.SetDisableReverse(random.Random(3) == 0);
    return in;
}

TEST(SvcRandomPlans, EveryPlanFitsItsTubesAndAmounts) {
    TRandomGenerator random(123456789);
    for (int instance = 0; instance < 150; ++instance) {
        SCOPED_TRACE("instance " + std::to_string(instance));
        Instance in = RandomInstance(random, false, false);
        TBackpack backpack(in.parts, in.tubes, in.param, *in.gaps);
        TNestResultList results;
        results.Add(std::make_unique<TNestResult>()); // the caller's own entry stays in front
        const TNestResultInfo info = backpack.SVCNest(results);
        ASSERT_GE(results.Count(), 1);
        EXPECT_TRUE(results[0].FPartOrder.empty());
        results.Delete(0);

        const auto report = CheckWholePartPlan(results, in.parts, in.tubes, *in.gaps);
        ASSERT_TRUE(report.Ok()) << report.Text();
        std::int64_t parts = 0;
        std::int64_t tubes = 0;
        double left = 0.0;
        double minUsed = results.Empty() ? 0.0 : 1e300;
        for (const auto& r : results) {
            parts += static_cast<std::int64_t>(r->FPartOrder.size()) * r->FTubeCount;
            tubes += r->FTubeCount;
            left += r->FTubeCount *
                    (in.tubes[static_cast<std::size_t>(r->FTubeIndex - 1)].FTubeInitialLen - r->FLengthUsed);
            minUsed = std::min(minUsed, r->FLengthUsed);
            if (in.param.DisableReverse()) {
                for (const int ref : r->FPartOrder) {
                    EXPECT_GT(ref, 0);
                }
            }
        }
        EXPECT_EQ(info.PartUsedCount, parts);
        EXPECT_EQ(info.TubeUsedCount, tubes);
        EXPECT_NEAR(info.TotalTubeLeft, left, 1e-6);
        EXPECT_DOUBLE_EQ(info.MinUsedLength, minUsed);
    }
}

TEST(SvcRandomPlans, AmpleTubesTakeEveryCopyThatFits) {
    // With whole-millimetre tubes, every part shorter than every tube and tubes to spare, no copy
    // may be left out.
    TRandomGenerator random(987654321);
    for (int instance = 0; instance < 60; ++instance) {
        SCOPED_TRACE("instance " + std::to_string(instance));
        Instance in = RandomInstance(random, true, true);
        TBackpack backpack(in.parts, in.tubes, in.param, *in.gaps);
        TNestResultList results;
        backpack.SVCNest(results);
        const auto report = CheckWholePartPlan(results, in.parts, in.tubes, *in.gaps);
        ASSERT_TRUE(report.Ok()) << report.Text();
        for (std::size_t p = 0; p < in.parts.size(); ++p) {
            EXPECT_EQ(report.NestedAmounts[p], in.parts[p].FAmountAvail) << "part " << p + 1;
        }
        // Only the first entry is needed: it has tubes enough for everything.
        EXPECT_EQ(report.TubesUsed.size() > 1 ? report.TubesUsed[1] : 0, 0);
    }
}

TEST(SvcRandomPlans, SameInputSamePlan) {
    TRandomGenerator random(5);
    Instance in = RandomInstance(random, false, false);
    const auto dump = [](const TNestResultList& AList) {
        std::string text;
        for (const auto& r : AList) {
            text += std::to_string(r->FTubeCount) + "x" + ::testing::PrintToString(r->FPartOrder) + ";";
        }
        return text;
    };
    TNestResultList first;
    TNestResultList second;
    TNestResultList third;
    TBackpack(in.parts, in.tubes, in.param, *in.gaps).SVCNest(first);
    TBackpack backpack(in.parts, in.tubes, in.param, *in.gaps);
    backpack.SVCNest(second);
    backpack.SVCNest(third); // a second run on the same object repeats the plan too
    EXPECT_EQ(dump(first), dump(second));
    EXPECT_EQ(dump(third), dump(second));
}

} // namespace
} // namespace tubenest
