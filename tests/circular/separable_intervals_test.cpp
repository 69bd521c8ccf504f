#include "circular/separable_intervals.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <vector>

#include "model/random.h"

namespace tubenest {

// Readable failure output for interval comparisons.
void PrintTo(const TClosedInterval& AInterval, std::ostream* os) {
    *os << AInterval.ToString();
}

namespace {

using TI = TClosedInterval;

std::vector<TI> ItemsOf(const TSeparateIntervals& AList) {
    return AList.ToVector();
}

TI I(double a, double b) {
    return TI::Create(a, b);
}

// ---------------------------------------------------------------------------------------------------
// TClosedInterval

TEST(ClosedInterval, PointWidthEmptinessContainsDisjointAndText) {
    const TI p = TI::Create(5.0);
    EXPECT_EQ(p.ToString(), "[4.999999,5.000001]");
    EXPECT_NEAR(p.GetLength(), 2e-6, 1e-15);
    EXPECT_TRUE(p.Contains(5.0));
    EXPECT_FALSE(p.Contains(5.00001));
    EXPECT_FALSE(I(3, 3).IsEmpty());
    EXPECT_TRUE(I(3, 2.999).IsEmpty());
    EXPECT_TRUE(I(1, 2).Contains(2));
    EXPECT_FALSE(I(1, 2).Contains(2.0000001));
    // Touching ends are not disjoint; a gap of any size is.
    EXPECT_FALSE(I(2, 3).IsDisjoint(I(0, 2)));
    EXPECT_TRUE(I(0, 2).IsDisjoint(I(2.0000001, 3)));
    TI a = I(1, 2.5);
    EXPECT_EQ(a.ToString(), "[1,2.5]");
    a.MoveByOffset(-3.25);
    EXPECT_EQ(a.ToString(), "[-2.25,-0.75]");
    EXPECT_EQ(I(0.1, 1e21).ToString(), "[0.1,1e+21]");
    TI r;
    EXPECT_TRUE(I(0, 5).IntersectWith(I(5, 8), r)); // touching: a single position
    EXPECT_EQ(r, I(5, 5));
    EXPECT_FALSE(I(0, 5).IntersectWith(I(6, 8), r)); // the empty overlap is still written
    EXPECT_EQ(r, I(6, 5));
}

TEST(ClosedInterval, SubtractCountsTheEndsInsideAndKeepsZeroLengthPieces) {
    const TI untouched{-99, -99};
    struct TCase {
        TI Cut;
        int Count;
        TI R1, R2;
    };
    for (const TCase& c : {TCase{I(2, 3), 2, I(0, 2), I(3, 10)}, TCase{I(-1, 3), 1, I(3, 10), untouched},
                           TCase{I(8, 12), 1, I(0, 8), untouched}, TCase{I(-1, 12), 0, untouched, untouched},
                           TCase{I(20, 30), 0, untouched, untouched}, TCase{I(0, 4), 2, I(0, 0), I(4, 10)},
                           TCase{I(0, 10), 2, I(0, 0), I(10, 10)}}) {
        SCOPED_TRACE(c.Cut.ToString());
        TI r1 = untouched;
        TI r2 = untouched;
        EXPECT_EQ(I(0, 10).Subtract(c.Cut, r1, r2), c.Count);
        EXPECT_EQ(r1, c.R1);
        EXPECT_EQ(r2, c.R2);
    }
}

// ---------------------------------------------------------------------------------------------------
// TSeparateIntervals

TEST(SeparateIntervals, ComparerLooksAtStartsOnlyAndSortKeepsTies) {
    TSeparateIntervals list{I(4, 5), I(1, 9), I(0, 1), I(1, 2)};
    list.Sort();
    EXPECT_EQ(ItemsOf(list), (std::vector<TI>{I(0, 1), I(1, 9), I(1, 2), I(4, 5)}));
}

TEST(SeparateIntervals, SplitInto2Parts) {
    TSeparateIntervals list{I(8, 12), I(0, 2), I(20, 25), I(4, 6)}; // unsorted on purpose
    std::unique_ptr<TSeparateIntervals> left;
    std::unique_ptr<TSeparateIntervals> right;
    list.SplitInto2Parts(10, left, right);
    EXPECT_EQ(ItemsOf(list), (std::vector<TI>{I(0, 2), I(4, 6), I(8, 12), I(20, 25)})); // sorted in place
    EXPECT_EQ(ItemsOf(*left), (std::vector<TI>{I(0, 2), I(4, 6), I(8, 10)}));
    EXPECT_EQ(ItemsOf(*right), (std::vector<TI>{I(10, 12), I(20, 25)}));
    EXPECT_DOUBLE_EQ(left->IntervalLength(), 6.0);
    struct TCase {
        double At;
        std::vector<TI> Left, Right;
    };
    const TSeparateIntervals two{I(0, 2), I(4, 6)};
    for (const TCase& c : {TCase{2, {I(0, 2)}, {I(2, 2), I(4, 6)}}, TCase{4, {I(0, 2), I(4, 4)}, {I(4, 6)}},
                           TCase{3, {I(0, 2)}, {I(4, 6)}}, TCase{-1, {}, {I(0, 2), I(4, 6)}},
                           TCase{100, {I(0, 2), I(4, 6)}, {}}}) {
        SCOPED_TRACE(c.At);
        TSeparateIntervals copy = two;
        copy.SplitInto2Parts(c.At, left, right);
        EXPECT_EQ(ItemsOf(*left), c.Left);
        EXPECT_EQ(ItemsOf(*right), c.Right);
    }
    // Sorted by start, [1,3] ends before the split position but comes after [0,20], which holds it.
    TSeparateIntervals nested{I(1, 3), I(0, 20)};
    nested.SplitInto2Parts(5, left, right);
    EXPECT_EQ(ItemsOf(*left), (std::vector<TI>{I(0, 5)}));
    EXPECT_EQ(ItemsOf(*right), (std::vector<TI>{I(1, 3), I(5, 20)}));
}

TEST(SeparateIntervals, IntersectWithSortsBothAndWalksThem) {
    TSeparateIntervals a{I(10, 20), I(0, 5)};
    TSeparateIntervals b{I(18, 30), I(4, 12), I(-3, -1)};
    auto r = a.IntersectWith(b);
    EXPECT_EQ(ItemsOf(*r), (std::vector<TI>{I(4, 5), I(10, 12), I(18, 20)}));
    EXPECT_DOUBLE_EQ(r->IntervalLength(), 5.0);

    TSeparateIntervals touching{I(5, 10)};
    EXPECT_EQ(ItemsOf(*a.IntersectWith(touching)), (std::vector<TI>{I(5, 5), I(10, 10)}));
    // Equal ends advance the argument's index: the touching [5,8] is not met again.
    TSeparateIntervals adjacent{I(0, 5), I(5, 8)};
    TSeparateIntervals head{I(0, 5)};
    EXPECT_EQ(ItemsOf(*adjacent.IntersectWith(head)), (std::vector<TI>{I(0, 5)}));
    TSeparateIntervals empty;
    EXPECT_TRUE(empty.IntersectWith(a)->IsEmpty());
}

// Differential: for lists of disjoint intervals the result is the set intersection; check sample
// points and total length against a direct evaluation.
TEST(SeparateIntervals, IntersectWithMatchesPointwiseIntersectionOnRandomLists) {
    TRandomGenerator rng(20240611);
    const auto makeList = [&rng]() {
        TSeparateIntervals list;
        double pos = rng.RandomFloat() * 5;
        const int n = rng.Random(6);
        for (int k = 0; k < n; ++k) {
            const double len = rng.RandomFloat() * 8;
            list.Add(I(pos, pos + len));
            pos += len + 0.5 + rng.RandomFloat() * 6;
        }
        // shuffle so that the sort inside matters
        for (int k = list.Count() - 1; k > 0; --k) {
            std::swap(list[k], list[rng.Random(k + 1)]);
        }
        return list;
    };
    const auto inside = [](const TSeparateIntervals& AList, double x) {
        for (const TI& it : AList) {
            if (it.Contains(x)) {
                return true;
            }
        }
        return false;
    };
    for (int round = 0; round < 300; ++round) {
        TSeparateIntervals a = makeList();
        TSeparateIntervals b = makeList();
        const TSeparateIntervals a0 = a;
        const TSeparateIntervals b0 = b;
        auto r = a.IntersectWith(b);
        double expectedLength = 0;
        for (const TI& x : a0) {
            for (const TI& y : b0) {
                TI c;
                if (x.IntersectWith(y, c)) {
                    expectedLength += c.GetLength();
                }
            }
        }
        r->ResetLength();
        EXPECT_NEAR(r->IntervalLength(), expectedLength, 1e-9) << "round " << round;
        for (int s = 0; s < 50; ++s) {
            const double x = rng.RandomFloat() * 60;
            EXPECT_EQ(inside(*r, x), inside(a0, x) && inside(b0, x)) << "round " << round << " x " << x;
        }
    }
}

// ---------------------------------------------------------------------------------------------------
// TSeparatableIntervals

TEST(SeparatableIntervals, SetCutOffPosAndAvoidInterval) {
    TSeparatableIntervals cutOff{I(10, 20)};
    cutOff.SetCutOffPos(0, 100);
    EXPECT_EQ(ItemsOf(cutOff), (std::vector<TI>{I(10, 20), TI::Create(0.0), TI::Create(100.0)}));
    TSeparatableIntervals list{I(0, 10)};
    list.AvoidInterval(I(2, 3));
    EXPECT_EQ(ItemsOf(list), (std::vector<TI>{I(0, 2), I(3, 10)}));
    list.AvoidInterval(I(-5, 20));
    EXPECT_TRUE(list.IsEmpty());
    // Pieces are appended without resorting.
    TSeparatableIntervals three{I(0, 10), I(20, 30), I(40, 50)};
    three.AvoidInterval(I(25, 45)); // meets the last two; the untouched first stays in front
    EXPECT_EQ(ItemsOf(three), (std::vector<TI>{I(0, 10), I(45, 50), I(20, 25)}));
    three.AvoidInterval(I(10, 12)); // touching end leaves a zero-length piece
    EXPECT_EQ(ItemsOf(three), (std::vector<TI>{I(45, 50), I(20, 25), I(0, 10)}));
}

TEST(SeparatableIntervals, IsPosSeparatableNearCutOffsOrInsideAnInterval) {
    TSeparatableIntervals list{I(10, 20)};
    list.FFrontCutOffPos = 0;
    list.FBackCutOffPos = 100;
    // Tolerance 0.01 at the cut-off positions, none at interval ends.
    for (const auto& [pos, separable] : {std::pair{0.009, true},
                                         {99.991, true},
                                         {0.011, false},
                                         {99.989, false},
                                         {10.0, true},
                                         {20.0, true},
                                         {20.001, false}}) {
        EXPECT_EQ(list.IsPosSeparatable(pos), separable) << pos;
    }
}

TEST(SeparatableIntervals, SetConnectLengthTrimsLastThenFirst) {
    TSeparatableIntervals list{I(0, 3), I(4, 20)};
    list.SetConnectLength(5);
    EXPECT_EQ(ItemsOf(list), (std::vector<TI>{I(4, 15)}));

    TSeparatableIntervals single{I(0, 12)};
    single.SetConnectLength(5); // the only interval is trimmed at both ends
    EXPECT_EQ(ItemsOf(single), (std::vector<TI>{I(5, 7)}));
    single.SetConnectLength(1.5); // [6.5, 5.5] would be empty after the first step
    EXPECT_TRUE(single.IsEmpty());

    TSeparatableIntervals exact{I(0, 10)};
    exact.SetConnectLength(5); // [0,5] then [5,5]: a single position stays
    EXPECT_EQ(ItemsOf(exact), (std::vector<TI>{I(5, 5)}));
}

TEST(SeparatableIntervals, GetACutPosPicksTheNearestPositionAndHonoursTheLimit) {
    const TSeparatableIntervals list{I(0, 2), I(10, 12)};
    EXPECT_EQ(list.GetACutPos(7, false), 10);
    EXPECT_EQ(list.GetACutPos(7, true), 2);
    EXPECT_EQ(list.GetACutPos(6, false), 10); // tie
    EXPECT_EQ(list.GetACutPos(6, true), 2);
    EXPECT_EQ(list.GetACutPos(20, false), 12);
    EXPECT_EQ(list.GetACutPos(20, true), 12);

    const TSeparatableIntervals later{I(5, 8)};
    EXPECT_EQ(later.GetACutPos(1, false), 5);
    EXPECT_EQ(later.GetACutPos(1, true), 0); // nothing at or before the position
    EXPECT_EQ(TSeparatableIntervals{}.GetACutPos(3, false), 0);
}

// Brute force: the result is a separable position; unlimited it is a nearest one (ties to the
// right); limited it is the last one at or before APos, or 0 when none exists.
TEST(SeparatableIntervals, GetACutPosAgreesWithBruteForce) {
    TRandomGenerator rng(77);
    for (int round = 0; round < 400; ++round) {
        TSeparatableIntervals list;
        double pos = rng.Random(5);
        const int n = 1 + rng.Random(4);
        for (int k = 0; k < n; ++k) {
            const double len = rng.Random(4);
            list.Add(I(pos, pos + len));
            pos += len + 1 + rng.Random(5);
        }
        const double q = rng.Random(static_cast<std::int32_t>(pos) + 4) - 2.0 + 0.5 * rng.Random(2);
        double bestRight = std::numeric_limits<double>::max();
        double bestBefore = -1;
        for (const TI& it : list) {
            if (it.Contains(q)) {
                bestBefore = q;
                bestRight = q;
            } else if (it.ParamEnd < q) {
                bestBefore = std::max(bestBefore, it.ParamEnd);
            } else if (it.ParamStart > q) {
                bestRight = std::min(bestRight, it.ParamStart);
            }
        }
        const double unlimited = list.GetACutPos(q, false);
        const double limited = list.GetACutPos(q, true);
        const double dBefore = bestBefore < 0 ? std::numeric_limits<double>::max() : q - bestBefore;
        const double dRight = bestRight - q;
        EXPECT_EQ(unlimited, dRight <= dBefore ? bestRight : bestBefore) << "round " << round << " q " << q;
        if (bestBefore >= 0) {
            EXPECT_EQ(limited, bestBefore) << "round " << round << " q " << q;
        } else {
            EXPECT_EQ(limited, 0.0) << "round " << round;
        }
        EXPECT_LE(limited, std::max(q, 0.0));
    }
}

TEST(SeparatableIntervals, GetMidCutPos) {
    TSeparatableIntervals empty;
    empty.FFrontCutOffPos = 100; // ignored for an empty list
    empty.FBackCutOffPos = 300;
    EXPECT_EQ(empty.GetMidCutPos(), 0.0);

    TSeparatableIntervals list{I(10, 40), I(70, 90)};
    list.FFrontCutOffPos = 0;
    list.FBackCutOffPos = 100; // middle 50: 10 to the end before, 20 to the start after
    EXPECT_EQ(list.GetMidCutPos(), 40);
    list.FBackCutOffPos = 120; // middle 60: tie goes to the following start
    EXPECT_EQ(list.GetMidCutPos(), 70);
}

// ---------------------------------------------------------------------------------------------------
// TSeparatableIntervalsInSegment

TEST(SeparatableIntervalsInSegment, AddPartIntervalsShiftsAndClipsAtBothEnds) {
    TSeparatableIntervalsInSegment seg(100);
    seg.Add(I(0, 3));
    TSeparatableIntervals part{I(0, 10), I(20, 30), I(50, 60), I(70, 80)};

    auto laid = seg.AddPartIntervals(part, 45); // [45,55] [65,75] [95,105] -> cut at 100 [115,125] dropped
    EXPECT_EQ(ItemsOf(*laid), (std::vector<TI>{I(0, 3), I(45, 55), I(65, 75), I(95, 100)}));
    EXPECT_DOUBLE_EQ(laid->IntervalLength(), 28.0);

    auto early = seg.AddPartIntervals(part, -25); // [-25,-15] dropped, [-5,5] clipped to [0,5]
    EXPECT_EQ(ItemsOf(*early), (std::vector<TI>{I(0, 3), I(0, 5), I(25, 35), I(45, 55)}));

    auto touching = TSeparatableIntervalsInSegment(100).AddPartIntervals(part, -10); // [-10,0] -> [0,0]
    EXPECT_EQ(touching->First(), I(0, 0));

    auto beyond = TSeparatableIntervalsInSegment(100).AddPartIntervals(part, 85); // [85,95] [105..]
    EXPECT_EQ(ItemsOf(*beyond), (std::vector<TI>{I(85, 95)}));

    auto gone = TSeparatableIntervalsInSegment(100).AddPartIntervals(part, -100);
    EXPECT_TRUE(gone->IsEmpty());
}

TEST(SeparatableIntervalsInSegment, AddPartIntervalsKeepsTheBackCutOffPointAtTheSegmentEnd) {
    TSeparatableIntervals part{I(100, 200)};
    part.SetCutOffPos(0, 300);
    part.Sort();
    auto laid = TSeparatableIntervalsInSegment(300).AddPartIntervals(part, 0);
    EXPECT_EQ(ItemsOf(*laid), (std::vector<TI>{I(0, 1e-6), I(100, 200), I(300 - 1e-6, 300)}));
}

TEST(SeparatableIntervalsInSegment, IntersectWithShiftsTheArgumentAndDropsDuplicates) {
    TSeparatableIntervalsInSegment seg(50);
    seg.Add(I(20, 30));
    seg.Add(I(0, 10));
    seg.Add(I(0, 10)); // a duplicate of the receiver yields duplicate intersections
    const TSeparateIntervals other{I(0, 3), I(10, 30)};
    auto r = seg.IntersectWith(other, 5); // other becomes [5,8] [15,35]
    EXPECT_EQ(ItemsOf(*r), (std::vector<TI>{I(5, 8), I(20, 30)}));
    EXPECT_EQ(ItemsOf(other), (std::vector<TI>{I(0, 3), I(10, 30)})); // argument unchanged
}

TEST(SeparatableIntervalsInSegment, IsMinOffsetExists) {
    TSeparatableIntervalsInSegment seg(100);
    TSeparateIntervals arg{I(30, 40)};
    EXPECT_FALSE(seg.IsMinOffsetExists(&arg, 0)); // empty receiver
    seg.Add(I(50, 60));
    seg.Add(I(0, 10));
    EXPECT_FALSE(seg.IsMinOffsetExists(nullptr, 0));
    EXPECT_TRUE(seg.IsMinOffsetExists(&arg, 0));
    TSeparateIntervals after{I(70, 80), I(60, 61)};    // unsorted: first start after sorting is 60
    EXPECT_TRUE(seg.IsMinOffsetExists(&after, 12345)); // offset plays no part
    EXPECT_EQ(after.First(), I(60, 61));
    TSeparateIntervals beyond{I(60.5, 80)};
    EXPECT_FALSE(seg.IsMinOffsetExists(&beyond, 0));
}

TEST(SeparatableIntervalsInSegment, GetMinOffsetDistancesAndTolerance) {
    constexpr double kMax = 1.7976931348623157e308;
    TSeparatableIntervalsInSegment seg(100);
    TSeparateIntervals empty;
    seg.Add(I(10, 11));
    EXPECT_EQ(seg.GetMinOffset(&empty, 0), kMax);
    EXPECT_EQ(seg.GetMinOffset(nullptr, 0), kMax);
    TSeparateIntervals arg{I(0, 4)};
    EXPECT_EQ(seg.GetMinOffset(&arg, 0), 6);
    EXPECT_EQ(seg.GetMinOffset(&arg, 500), 6); // the offset plays no part

    TSeparatableIntervalsInSegment at4(100);
    at4.Add(I(4, 5));
    TSeparateIntervals endsJustAfter{I(0, 4.005)};
    EXPECT_EQ(at4.GetMinOffset(&endsJustAfter, 0), 0); // within the tolerance
    TSeparateIntervals endsTooLate{I(0, 4.02)};
    EXPECT_EQ(at4.GetMinOffset(&endsTooLate, 0), kMax); // beyond it: no stretch of the receiver follows
    at4.Add(I(10, 11));
    EXPECT_NEAR(at4.GetMinOffset(&endsTooLate, 0), 10 - 4.02, 1e-12); // the next stretch counts

    TSeparatableIntervalsInSegment start4005(100);
    start4005.Add(I(4.005, 5));
    EXPECT_NEAR(start4005.GetMinOffset(&arg, 0), 0.005, 1e-12); // a real gap is reported as is
}

// The way the nest moves a cut back to the end of the nearest separable stretch before it.
TEST(SeparatableIntervalsInSegment, PointSegmentFindsTheStretchEndBeforeACut) {
    TSeparatableIntervals part{I(100, 200), I(400, 500)};
    part.SetCutOffPos(0, 1000);
    part.Sort();
    auto stretches = TSeparatableIntervalsInSegment(1000).AddPartIntervals(part, 0);
    TSeparatableIntervalsInSegment point(1000);
    point.Add(TI::Create(300.0));
    ASSERT_TRUE(stretches->IsMinOffsetExists(&point, 0));
    EXPECT_NEAR(300.0 - point.GetMinOffset(stretches.get(), 0), 200.0, 1e-5);
}

} // namespace
} // namespace tubenest
