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
using testsupport::MakeUniformGaps;
using testsupport::OrderGapSum;
using testsupport::PartMultiset;
using testsupport::SetGap;
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

TEST(CalcTsp, EmptyAndSinglePartOrders) {
    auto gaps = MakeUniformGaps(2, 5.0);
    TIntDynArray empty;
    EXPECT_FALSE(TNestAdjustTool::CalcTsp(empty, *gaps, 2, true, false));

    SetGap(*gaps, 2, -1, 4.995); // saves only 0.005 against the gap to the nested part
    TIntDynArray one{1};
    EXPECT_FALSE(TNestAdjustTool::CalcTsp(one, *gaps, 2, true, false));
    EXPECT_EQ(one, TIntDynArray{1});

    SetGap(*gaps, 2, -1, 4.9);
    EXPECT_FALSE(TNestAdjustTool::CalcTsp(one, *gaps, 2, false, false)); // turning not allowed
    EXPECT_FALSE(TNestAdjustTool::CalcTsp(one, *gaps, 0, true, false));  // no left neighbour
    EXPECT_FALSE(TNestAdjustTool::CalcTsp(one, *gaps, 2, true, true));   // the only entry is the tail
    EXPECT_EQ(one, TIntDynArray{1});
    EXPECT_TRUE(TNestAdjustTool::CalcTsp(one, *gaps, 2, true, false));
    EXPECT_EQ(one, TIntDynArray{-1});
}

TEST(CalcTsp, FixedTailStaysButItsGapCounts) {
    // Only the gap into the tail tells the two leading orders apart.
    auto gaps = MakeUniformGaps(3, 10.0);
    SetGap(*gaps, 1, 3, 1.0);
    TIntDynArray order{1, 2, 3};
    EXPECT_TRUE(TNestAdjustTool::CalcTsp(order, *gaps, 0, false, true));
    EXPECT_EQ(order, (TIntDynArray{2, 1, 3}));

    // Reference 3 would rather lead, in either direction; a fixed tail keeps it last and unturned.
    SetGap(*gaps, 3, 2, 0.0);
    SetGap(*gaps, -3, 2, 0.0);
    SetGap(*gaps, 3, 1, 0.0);
    order = {1, 2, 3};
    TNestAdjustTool::CalcTsp(order, *gaps, 0, true, true);
    EXPECT_EQ(order.back(), 3);
    order = {1, 2, 3};
    EXPECT_TRUE(TNestAdjustTool::CalcTsp(order, *gaps, 0, true, false));
    EXPECT_NE(order.back(), 3);
    EXPECT_LT(OrderGapSum(*gaps, order), 1.0 + 1e-12);
}

TEST(CalcTsp, InconsistentSelfRecordsStillEndAndNeverLengthen) {
    // A host may give a part followed by itself different gaps in the two same-direction records
    // ((k, k) and (-k, -k)); turning a segment then changes its inner gaps and must be counted.
    TRandomGenerator rng(515);
    for (int trial = 0; trial < 100; ++trial) {
        const int parts = 1 + rng.Random(3);
        const auto gaps = MakeRandomGaps(parts, rng, 0.0, 20.0);
        for (int k = 0; k < parts; ++k) {
            TSegPlaceInfo cell =
                gaps->FSegPlaceInfoTable[static_cast<std::size_t>(k)][static_cast<std::size_t>(k)];
            cell.A1B1_A2B2.FixedGap = 40.0 * rng.RandomFloat();
            cell.A2B2_A1B1.FixedGap = 40.0 * rng.RandomFloat();
            gaps->SetSegPlaceInfo(k, k, cell);
        }
        TIntDynArray o = testsupport::RandomOrder(parts, 2 + rng.Random(6), rng);
        const double before = OrderGapSum(*gaps, o);
        TNestAdjustTool::CalcTsp(o, *gaps, -1, true, false);
        EXPECT_LE(OrderGapSum(*gaps, o), before + 1e-9);
    }
}

TEST(CalcTsp, CopiesOfOnePartAreLeftAloneUnlessTurningGains) {
    // A thousand copies in one direction: nothing to gain, returned at once, order untouched.
    auto gaps = MakeUniformGaps(1, 3.0);
    TIntDynArray order(1000, 1);
    EXPECT_FALSE(TNestAdjustTool::CalcTsp(order, *gaps, 0, true, false));
    EXPECT_EQ(order, TIntDynArray(1000, 1));
    // A part whose B end meets its own B end closer: turning every other copy gains.
    SetGap(*gaps, 1, -1, 0.0);
    order = {1, 1, 1, 1};
    EXPECT_TRUE(TNestAdjustTool::CalcTsp(order, *gaps, 0, true, false));
    EXPECT_LT(OrderGapSum(*gaps, order), 9.0);
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

TEST(TryOptimizePartPos, SinglePartAndFirstPartNeverTurnedInPlace) {
    auto gaps = MakeUniformGaps(3, 10.0);
    double avl = 123.0;
    TIntDynArray one{2};
    EXPECT_FALSE(TNestAdjustTool::TryOptimizePartPos(one, *gaps, 6000.0, avl, false));
    EXPECT_EQ(one, TIntDynArray{2});
    EXPECT_EQ(avl, 123.0);

    // Turning reference 1 in front would save 10, but the first part is only ever moved, and moving it
    // behind reference 2 costs more in both directions.
    SetGap(*gaps, -1, 2, 0.0);
    SetGap(*gaps, 2, 1, 20.0);
    SetGap(*gaps, 2, -1, 20.0);
    TIntDynArray two{1, 2};
    EXPECT_FALSE(TNestAdjustTool::TryOptimizePartPos(two, *gaps, 6000.0, avl, false));
    EXPECT_EQ(two, (TIntDynArray{1, 2}));

    // The same part behind another one is turned in place; TubeLen plays no part.
    TIntDynArray three{3, 1, 2};
    SetGap(*gaps, 3, -1, 10.0);
    EXPECT_TRUE(TNestAdjustTool::TryOptimizePartPos(three, *gaps, -1.0, avl, false));
    EXPECT_EQ(three, (TIntDynArray{3, -1, 2}));
    EXPECT_DOUBLE_EQ(avl, 133.0);
}

TEST(TryOptimizePartPos, MovingToTheBackCountsTheNewGap) {
    auto gaps = MakeUniformGaps(3, 100.0);
    SetGap(*gaps, 1, 2, 10.0);
    SetGap(*gaps, 2, 3, 1.0);
    SetGap(*gaps, 3, 1, 5.0);
    TIntDynArray order{1, 2, 3};
    double avl = 0.0;
    EXPECT_TRUE(TNestAdjustTool::TryOptimizePartPos(order, *gaps, 6000.0, avl, true));
    EXPECT_EQ(order, (TIntDynArray{2, 3, 1}));
    EXPECT_DOUBLE_EQ(avl, 5.0);
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
