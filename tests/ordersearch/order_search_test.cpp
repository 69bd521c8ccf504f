#include "ordersearch/nest_adjust_tool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <string>

#include "model/nest_progress.h"
#include "model/random.h"
#include "support/gap_tables.h"

namespace tubenest {
namespace {

using testsupport::MakeRandomGaps;
using testsupport::OrderGapSum;
using testsupport::PartMultiset;
using testsupport::SignedMultiset;

// The moves of the two searches, built directly on the order.
TIntDynArray TurnSegment(TIntDynArray o, int i, int j) {
    std::reverse(o.begin() + i, o.begin() + j + 1);
    for (int k = i; k <= j; ++k) {
        o[static_cast<std::size_t>(k)] = -o[static_cast<std::size_t>(k)];
    }
    return o;
}
TIntDynArray SwapBlocks(TIntDynArray o, int i, int j, int k) {
    TIntDynArray out(o.begin(), o.begin() + i);
    out.insert(out.end(), o.begin() + j + 1, o.begin() + k + 1);
    out.insert(out.end(), o.begin() + i, o.begin() + j + 1);
    out.insert(out.end(), o.begin() + k + 1, o.end());
    return out;
}
TIntDynArray MovePart(TIntDynArray o, int i, int j, bool turn) {
    const std::int32_t p = turn ? -o[static_cast<std::size_t>(i)] : o[static_cast<std::size_t>(i)];
    o.erase(o.begin() + i);
    o.insert(o.begin() + j, p);
    return o;
}

// The smallest gap sum over every arrangement the search may reach (all orders, all directions
// when turning is allowed, the last entry kept when it is fixed).
double BruteForceOptimum(const TSegPlaceInfoManager& gaps, TIntDynArray order, int nested, bool turn,
                         bool tailFixed) {
    const std::size_t free = tailFixed ? order.size() - 1 : order.size();
    for (std::size_t k = 0; turn && k < free; ++k) {
        order[k] = std::abs(order[k]); // every direction is tried below
    }
    std::sort(order.begin(), order.begin() + static_cast<long>(free));
    double best = std::numeric_limits<double>::max();
    do {
        const unsigned masks = turn ? 1u << free : 1u;
        for (unsigned m = 0; m < masks; ++m) {
            TIntDynArray o = order;
            for (std::size_t k = 0; k < free; ++k) {
                if ((m >> k) & 1u) {
                    o[k] = -o[k];
                }
            }
            best = std::min(best, OrderGapSum(gaps, o, nested));
        }
    } while (std::next_permutation(order.begin(), order.begin() + static_cast<long>(free)));
    return best;
}

TEST(CalcTsp, StopRequestEndsTheSearchWithAValidOrder) {
    TRandomGenerator rng(77);
    const auto gaps = MakeRandomGaps(40, rng, 0.0, 20.0);
    const TIntDynArray start = testsupport::RandomOrder(40, 300, rng);
    TNestProgress progress(nullptr);
    progress.CustomStop();
    TNestProgress* saved = NestProgress;
    NestProgress = &progress;
    TIntDynArray order = start;
    TNestAdjustTool::CalcTsp(order, *gaps, 0, true, false);
    NestProgress = saved;
    EXPECT_EQ(order, start); // stopped before the first move
    // Without a stop the bounded search still ends with every part kept and no longer order.
    TNestAdjustTool::CalcTsp(order, *gaps, 0, true, false);
    EXPECT_EQ(PartMultiset(order), PartMultiset(start));
    EXPECT_LE(OrderGapSum(*gaps, order), OrderGapSum(*gaps, start) + 1e-9);
}

// Random gap tables and orders: the two searches only ever shorten the gap sum, keep every part,
// respect the fixed tail and the ban on turning, account exactly for what they save, and stop only
// where none of their own moves saves more than their threshold.
TEST(OrderSearchInvariants, RandomTables) {
    TRandomGenerator rng(1234567);
    for (int round = 0; round < 200; ++round) {
        const int parts = 1 + rng.Random(5);
        const auto gaps = MakeRandomGaps(parts, rng, 0.0, 20.0);
        const TIntDynArray start = testsupport::RandomOrder(parts, 1 + rng.Random(7), rng);
        const int n = static_cast<int>(start.size());
        const int nested = rng.Random(parts + 2) - 1; // -1 or 0: none
        SCOPED_TRACE("round " + std::to_string(round));

        for (int mode = 0; mode < 4; ++mode) {
            const bool reverse = (mode & 1) != 0;
            const bool tailFixed = (mode & 2) != 0;
            SCOPED_TRACE(std::string("CalcTsp reverse=") + (reverse ? "1" : "0") +
                         " tail=" + (tailFixed ? "1" : "0"));
            TIntDynArray o = start;
            const bool changed = TNestAdjustTool::CalcTsp(o, *gaps, nested, reverse, tailFixed);
            const double before = OrderGapSum(*gaps, start, nested);
            const double after = OrderGapSum(*gaps, o, nested);
            EXPECT_EQ(PartMultiset(o), PartMultiset(start));
            if (!reverse) {
                EXPECT_EQ(SignedMultiset(o), SignedMultiset(start));
            }
            if (tailFixed) {
                EXPECT_EQ(o.back(), start.back());
            }
            if (changed) {
                EXPECT_GT(before - after, 0.01 - 1e-9);
            } else {
                EXPECT_EQ(o, start);
            }
            const int M = tailFixed ? n - 1 : n;
            for (int i = 0; reverse && i < M; ++i) {
                for (int j = i; j < M; ++j) {
                    EXPECT_LE(after - OrderGapSum(*gaps, TurnSegment(o, i, j), nested), 0.01 + 1e-9);
                }
            }
            for (int i = 0; i + 1 < M; ++i) {
                for (int j = i; j + 1 < M; ++j) {
                    for (int k = j + 1; k < M; ++k) {
                        EXPECT_LE(after - OrderGapSum(*gaps, SwapBlocks(o, i, j, k), nested), 0.01 + 1e-9);
                    }
                }
            }
            if (n <= 5) {
                EXPECT_GE(after, BruteForceOptimum(*gaps, start, nested, reverse, tailFixed) - 1e-9);
            }
        }

        for (const bool disableReverse : {false, true}) {
            SCOPED_TRACE(std::string("TryOptimizePartPos disableReverse=") + (disableReverse ? "1" : "0"));
            TIntDynArray o = start;
            double avl = 250.0;
            const bool grew = TNestAdjustTool::TryOptimizePartPos(o, *gaps, 6000.0, avl, disableReverse);
            const double before = OrderGapSum(*gaps, start);
            const double after = OrderGapSum(*gaps, o);
            EXPECT_EQ(PartMultiset(o), PartMultiset(start));
            if (disableReverse) {
                EXPECT_EQ(SignedMultiset(o), SignedMultiset(start));
            }
            EXPECT_NEAR(avl - 250.0, before - after, 1e-9);
            EXPECT_EQ(grew, avl > 250.0);
            if (!grew) {
                EXPECT_EQ(o, start);
            }
            for (int i = 0; i + 1 < n; ++i) {
                for (int j = 0; j < n; ++j) {
                    if (j == i) {
                        if (i >= 1 && !disableReverse) {
                            EXPECT_LE(after - OrderGapSum(*gaps, TurnSegment(o, i, i)), 0.1 + 1e-9);
                        }
                        continue;
                    }
                    const double plain = after - OrderGapSum(*gaps, MovePart(o, i, j, false));
                    if (plain <= 0.001 && !disableReverse) {
                        EXPECT_LE(after - OrderGapSum(*gaps, MovePart(o, i, j, true)), 0.1 + 1e-9);
                    } else {
                        EXPECT_LE(plain, 0.1 + 1e-9);
                    }
                }
            }
            if (n <= 5) {
                EXPECT_GE(after, BruteForceOptimum(*gaps, start, 0, !disableReverse, false) - 1e-9);
            }
        }
    }
}

std::unique_ptr<TNestResult> Result(std::int32_t tube, std::int32_t count, TIntDynArray order) {
    auto r = std::make_unique<TNestResult>();
    r->FTubeIndex = tube;
    r->FTubeCount = count;
    r->FPartOrder = std::move(order);
    return r;
}

TEST(MergeSameResults, MergesIntoTheEarliestKeepingItsDirections) {
    TNestResultList list;
    list.Add(Result(2, 1, {3, -1}));
    list.Add(Result(1, 4, {3, -1}));   // other tube
    list.Add(Result(2, 2, {3, 1, 2})); // other length
    list.Add(Result(2, 5, {-3, 1}));
    list.Add(Result(1, 3, {-3, 1}));
    list.Add(Result(2, 7, {3, -1}));
    TNestResultList empty;
    TNestAdjustTool::MergeSameResults(empty);
    EXPECT_TRUE(empty.Empty());

    TNestAdjustTool::MergeSameResults(list);
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list[0].FTubeIndex, 2);
    EXPECT_EQ(list[0].FTubeCount, 1 + 5 + 7);
    EXPECT_EQ(list[0].FPartOrder, (TIntDynArray{3, -1}));
    EXPECT_EQ(list[1].FTubeIndex, 1);
    EXPECT_EQ(list[1].FTubeCount, 4 + 3);
    EXPECT_EQ(list[1].FPartOrder, (TIntDynArray{3, -1}));
    EXPECT_EQ(list[2].FTubeCount, 2);
}

} // namespace
} // namespace tubenest
