// Several patterns for one tube length (AutoMultiNest) and the helpers of the pattern building.

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
using testsupport::MakeUniformGaps;
using testsupport::Part;
using testsupport::SetGap;
using testsupport::Tube;

std::unique_ptr<TNestResult> Pattern(TIntDynArray order) {
    auto r = std::make_unique<TNestResult>();
    r->FPartOrder = std::move(order);
    return r;
}

TEST(SvcRemoveDuplicates, KeepsDifferentSelectionsAndDropsRepeats) {
    // A = part 1, B = part 2.
    TNestResultList patterns;
    TSVCNestPartsList selections;
    patterns.Add(Pattern({1, 1, 2})); // {2A, 1B}
    patterns.Add(Pattern({1, 2}));    // {1A, 1B}
    patterns.Add(Pattern({2, -1}));   // {1A, 1B} again
    patterns.Add(Pattern({2, 1, 1})); // {2A, 1B} again
    for (int k = 0; k < 4; ++k) {
        selections.push_back(TSVCNestParts{Candidate(k, 1, 1, 1)}); // tags to follow the patterns
    }
    TBackpack::RemoveDuplicatesols(patterns, selections);
    ASSERT_EQ(patterns.Count(), 2);
    ASSERT_EQ(selections.size(), 2u);
    // Fewest copies first; of equal selections the earlier one stays.
    EXPECT_EQ(patterns[0].FPartOrder, (TIntDynArray{1, 2}));
    EXPECT_EQ(selections[0][0].Idx, 1);
    EXPECT_EQ(patterns[1].FPartOrder, (TIntDynArray{1, 1, 2}));
    EXPECT_EQ(selections[1][0].Idx, 0);
}

TEST(SvcHelpers, MergeSamePartsAddsAmountsInFirstOrder) {
    TSVCNestParts parts{Candidate(3, 10, 1, 1), Candidate(1, 20, 1, 2), Candidate(3, 10, 1, 4)};
    TBackpack::MergeSameParts(parts);
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(parts[0].Amount, 5);
    EXPECT_EQ(parts[1].Idx, 1);
}

TEST(SvcHelpers, FindMaxGapIsCappedByThePartGap) {
    auto gaps = MakeUniformGaps(3, 4.0);
    SetGap(*gaps, 1, -3, 12.0);
    const TSVCNestParts candidates{Candidate(1, 100, 1, 1), Candidate(2, 100, 1, 1)};
    for (const auto& [partGap, expected] : {std::pair{20.0, 12.0}, {8.0, 8.0}}) {
        TCADAutoNestParam param;
        param.SetDefaultPartGap(partGap);
        TBackpack backpack({Part(1, 1), Part(1, 1), Part(1, 1)}, {Tube(1000, 1)}, param, *gaps);
        EXPECT_DOUBLE_EQ(backpack.FindMaxGap(1, candidates, *gaps), expected);
        EXPECT_DOUBLE_EQ(backpack.FindMaxGap(1, TSVCNestParts{}, *gaps), -100000.0);
    }
}

TEST(SvcHelpers, CalcMinLengthTakesTheLargerGapOfTheCheapestCandidate) {
    auto gaps = MakeUniformGaps(3, 4.0);
    SetGap(*gaps, 1, -2, 30.0);
    const TSVCNestParts candidates{Candidate(0, 500, 1, 1), Candidate(1, 200, 1, 1), Candidate(2, 150, 0, 1)};
    // Part 3 is worth nothing and does not count; part 2 needs 200 + max(4, 30).
    EXPECT_DOUBLE_EQ(TBackpack::CalcMinLength(1, candidates, *gaps), 230.0);
    EXPECT_DOUBLE_EQ(TBackpack::CalcMinLength(1, TSVCNestParts{}, *gaps), 2147483647.0);
}

TEST(SvcHelpers, ResetValueTakesTheCandidatesValues) {
    auto gaps = MakeUniformGaps(3, 0.0);
    TBackpack backpack({Part(100, 1), Part(200, 1), Part(300, 1)}, {Tube(1000, 1)}, TCADAutoNestParam{},
                       *gaps);
    const double before = backpack.NestParts()[1].Value;
    backpack.ResetValue(TSVCNestParts{Candidate(2, 300, 77.5, 1), Candidate(0, 100, 1.5, 1)});
    EXPECT_DOUBLE_EQ(backpack.NestParts()[1].Value, before);
    TNestResult r;
    r.FPartOrder = {1, -3, 3};
    EXPECT_DOUBLE_EQ(backpack.CalcNestResultValue(r), 1.5 + 77.5 + 77.5);
    EXPECT_THROW(backpack.ResetValue(TSVCNestParts{Candidate(7, 1, 1, 1)}), std::out_of_range);
}

TEST(SvcHelpers, DealOriPartAndNewPartGapTakesTheLongestThatFits) {
    auto gaps = MakeUniformGaps(3, 10.0);
    SetGap(*gaps, 1, -3, 1.0);
    TBackpack backpack({Part(100, 1), Part(600, 2), Part(595, 1)}, {Tube(610, 1, 1)}, TCADAutoNestParam{},
                       *gaps);
    TSVCNestParts candidates = backpack.NestParts();
    TNestResult result;
    // 600 + 10 and 595 + 1 (turned) both fit 610; 610 is the larger.
    const TSVCNestParts taken =
        backpack.DealOriPartAndNewPartGap(backpack.NestTubes()[0], candidates, result);
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_EQ(result.FPartOrder, (TIntDynArray{2}));
    EXPECT_DOUBLE_EQ(result.FLengthUsed, 610.0);
    ASSERT_EQ(candidates.size(), 3u);
    EXPECT_EQ(candidates[1].Amount, 1);

    // A tube of 605: only the turned 595 fits; it leaves the candidates when used up.
    TSVCNestTube shorter = backpack.NestTubes()[0];
    shorter.Length = 605.0;
    TNestResult second;
    backpack.DealOriPartAndNewPartGap(shorter, candidates, second);
    EXPECT_EQ(second.FPartOrder, (TIntDynArray{-3}));
    EXPECT_DOUBLE_EQ(second.FLengthUsed, 596.0);
    EXPECT_EQ(candidates.size(), 2u);
}

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

TEST(SvcAutoMultiNest, GivesDistinctFittingPatterns) {
    TRandomGenerator random(77);
    const TGeneralNestPartArr parts{Part(1810, 3), Part(1230.5, 4), Part(977, 5), Part(640, 6),
                                    Part(415.2, 8)};
    auto gaps = MakeRandomGaps(5, random, 2.0, 12.0);
    TCADAutoNestParam param;
    param.SetDefaultPartGap(12.0);
    TBackpack backpack(parts, {Tube(6000, 1)}, param, *gaps);
    TSVCNestParts input;
    for (int i = 0; i < 5; ++i) {
        input.push_back(Candidate(i, parts[static_cast<std::size_t>(i)].FOuterlength, 10.0 + 3.0 * i, 0));
    }
    TSVCNestPartsList selections;
    TNestResultList patterns;
    backpack.AutoMultiNest(6000.0, input, selections, *gaps, patterns, 0.0);
    EXPECT_GT(patterns.Count(), 3);
    CheckMultiPatterns(patterns, selections, parts, 6000.0, *gaps, backpack, 0.0);

    // Only patterns worth at least the bound survive.
    double best = 0.0;
    for (const auto& p : patterns) {
        best = std::max(best, backpack.CalcNestResultValue(*p));
    }
    TSVCNestPartsList bounded;
    TNestResultList boundedPatterns;
    backpack.AutoMultiNest(6000.0, input, bounded, *gaps, boundedPatterns, best - 5.0);
    ASSERT_GT(boundedPatterns.Count(), 0);
    EXPECT_LE(boundedPatterns.Count(), patterns.Count());
    CheckMultiPatterns(boundedPatterns, bounded, parts, 6000.0, *gaps, backpack, best - 5.0);
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
