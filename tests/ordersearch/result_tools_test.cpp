// The adjust tool's result tools: merging tube entries of equal length and mapping results back
// onto them.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <numeric>

#include "model/random.h"
#include "ordersearch/nest_adjust_tool.h"
#include "support/gap_tables.h"

namespace tubenest {
namespace {

using testsupport::Tube;

TNestResult& AddResult(TNestResultList& list, int tube, int count, TIntDynArray order = {1}) {
    auto r = std::make_unique<TNestResult>();
    r->FTubeIndex = tube;
    r->FTubeCount = count;
    r->FPartOrder = std::move(order);
    return list.Add(std::move(r));
}

TEST(ResultTools, MergeSameTubeLengthJoinsEntriesWithinATenThousandth) {
    TGeneralNestTubeArr ori;
    TGeneralNestTubeArr tubes{Tube(6000, 2), Tube(6000.00005, 3), Tube(6500, 1)};
    EXPECT_TRUE(TNestAdjustTool::MergeSameTubeLength(ori, tubes));
    for (std::size_t t = 0; t < 3; ++t) {
        EXPECT_EQ(tubes[t].FAmountAvail, (std::array{5, 0, 1}[t]));
        EXPECT_EQ(ori[t].FAmountAvail, (std::array{2, 3, 1}[t]));
    }
    TGeneralNestTubeArr distinct{Tube(6000, 2), Tube(6000.0002, 3)};
    EXPECT_FALSE(TNestAdjustTool::MergeSameTubeLength(ori, distinct));
}

TEST(ResultTools, ReturnOriTubeIndexConservesTubesAndStaysInTheMergeClass) {
    // Lengths 0.00008 apart chain two merge classes (6000 with 6000.00008, and 6000.00016 alone).
    const double lengths[] = {6000.0, 6000.00008, 6000.00016, 6500.0};
    TRandomGenerator rng(5);
    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        TGeneralNestTubeArr tubes;
        for (int k = 0, m = 1 + rng.Random(6); k < m; ++k) {
            tubes.push_back(Tube(lengths[rng.Random(4)], rng.Random(4)));
        }
        TGeneralNestTubeArr ori;
        TGeneralNestTubeArr merged = tubes;
        TNestAdjustTool::MergeSameTubeLength(ori, merged);
        TNestResultList results;
        std::int64_t total = 0;
        for (std::size_t t = 0; t < merged.size(); ++t) {
            for (int left = merged[t].FAmountAvail; left > 0;) {
                const int count = 1 + rng.Random(left);
                AddResult(results, static_cast<int>(t) + 1, count, {static_cast<std::int32_t>(t) + 1});
                left -= count;
                total += count;
            }
        }
        TNestAdjustTool::ReturnOriTubeIndex(results, ori);
        std::vector<std::int64_t> used(tubes.size(), 0);
        std::int64_t after = 0;
        for (const auto& r : results) {
            ASSERT_GE(r->FTubeCount, 1);
            const auto was = static_cast<std::size_t>(r->FPartOrder[0] - 1); // the merged entry it came from
            const auto now = static_cast<std::size_t>(r->FTubeIndex - 1);
            EXPECT_LE(std::fabs(tubes[now].FTubeInitialLen - tubes[was].FTubeInitialLen), 0.0001);
            used[now] += r->FTubeCount;
            after += r->FTubeCount;
        }
        EXPECT_EQ(after, total);
        for (std::size_t t = 0; t < tubes.size(); ++t) {
            EXPECT_LE(used[t], tubes[t].FAmountAvail) << "entry " << t;
        }
    }
}

} // namespace
} // namespace tubenest
