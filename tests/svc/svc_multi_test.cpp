// Several patterns for one tube length (AutoMultiNest) on random instances.

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "support/gap_tables.h"
#include "support/svc_plan_checker.h"
#include "svc/svc_nest.h"
#include "svc_test_util.h"

namespace tubenest {
namespace {

using svc_test::Candidate;
using svc_test::Counts;
using testsupport::MakeRandomGaps;
using testsupport::Part;
using testsupport::Tube;

/// Checks the patterns of AutoMultiNest against the tube and the amounts.
void CheckMultiPatterns(const TNestResultList& patterns, const TSVCNestPartsList& selections,
                        const TGeneralNestPartArr& parts, double tubeLength, const TSegPlaceInfoManager& gaps,
                        const TBackpack& backpack, double setValue) {
    ASSERT_EQ(static_cast<std::size_t>(patterns.Count()), selections.size());
    std::set<std::vector<int>> seen;
    for (int j = 0; j < patterns.Count(); ++j) {
        TNestResult copy = patterns[j];
        gaps.UpdateNestResultInfo(copy, parts);
        EXPECT_LE(copy.FLengthUsed, tubeLength + 0.01) << "pattern " << j;
        EXPECT_NEAR(copy.FLengthUsed, patterns[j].FLengthUsed, 0.01) << "pattern " << j;
        const auto counts = Counts(patterns[j].FPartOrder, parts.size());
        for (std::size_t p = 0; p < parts.size(); ++p) {
            EXPECT_LE(counts[p], parts[p].FAmountAvail);
        }
        EXPECT_TRUE(seen.insert(counts).second) << "pattern " << j << " repeats a selection";
        std::vector<int> fromSelection(parts.size(), 0);
        std::set<int> idx;
        for (const auto& s : selections[static_cast<std::size_t>(j)]) {
            EXPECT_TRUE(idx.insert(s.Idx).second) << "selection not merged";
            fromSelection[static_cast<std::size_t>(s.Idx)] += s.Amount;
        }
        EXPECT_EQ(fromSelection, counts);
        EXPECT_GE(backpack.CalcNestResultValue(patterns[j]), setValue - 0.01);
    }
}

TEST(SvcAutoMultiNest, RandomInstancesStayWithinTubeAndAmounts) {
    TRandomGenerator random(4242);
    for (int instance = 0; instance < 25; ++instance) {
        const int n = 1 + random.Random(7);
        TGeneralNestPartArr parts;
        TSVCNestParts input;
        for (int i = 0; i < n; ++i) {
            parts.push_back(Part(80.0 + random.RandomFloat() * 2500.0, random.Random(6)));
            input.push_back(Candidate(i, parts.back().FOuterlength, random.RandomFloat() * 50.0, 0));
        }
        auto gaps = MakeRandomGaps(n, random, 0.0, 25.0);
        TCADAutoNestParam param;
        param.SetDefaultPartGap(random.Random(2) == 0 ? 0.0 : 25.0);
        param.SetDisableReverse(random.Random(2) == 0);
        const double tube = 1500.0 + random.Random(5000);
        TBackpack backpack(parts, {Tube(tube, 1)}, param, *gaps);
        TSVCNestPartsList selections;
        TNestResultList patterns;
        backpack.AutoMultiNest(tube, input, selections, *gaps, patterns, 1.0);
        SCOPED_TRACE("instance " + std::to_string(instance));
        CheckMultiPatterns(patterns, selections, parts, tube, *gaps, backpack, 1.0);
    }
}

} // namespace
} // namespace tubenest
