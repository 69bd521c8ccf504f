// The knapsack table (BulidSegPackage), its read-out (GetBestResult, SingleTubeNest) and a
// comparison with brute force where the table is exact.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "support/gap_tables.h"
#include "support/svc_plan_checker.h"
#include "svc/svc_nest.h"
#include "svc_test_util.h"

namespace tubenest {
namespace {

using svc_test::Candidate;
using svc_test::SelectionValue;
using testsupport::MakeUniformGaps;
using testsupport::Part;
using testsupport::SetGap;
using testsupport::Tube;

/// A backpack over n dummy parts (the table reads only the candidate list and the gaps).
struct Bench {
    explicit Bench(int n, double gap = 0.0, bool disableReverse = false)
        : gaps(MakeUniformGaps(n, gap)), backpack(Parts(n), {Tube(100000, 1)}, Param(disableReverse), *gaps),
          greedy(disableReverse) {}
    static TGeneralNestPartArr Parts(int n) {
        return TGeneralNestPartArr(static_cast<std::size_t>(n), Part(1, 1));
    }
    static TCADAutoNestParam Param(bool disableReverse) {
        TCADAutoNestParam p;
        p.SetDisableReverse(disableReverse);
        return p;
    }
    TSVCNestParts Fill(int T, TSVCNestParts& parts, TNestResult& result) {
        return backpack.SingleTubeNest(T, parts, *gaps, result, greedy);
    }
    std::unique_ptr<TSegPlaceInfoManager> gaps;
    TBackpack backpack;
    TGreedyAlgorithm greedy;
};

TEST(SvcTable, ShapeAndRowZero) {
    Bench b(2);
    const TSVCNestParts parts{Candidate(0, 300, 300, 2), Candidate(1, 500, 500, 1)};
    b.backpack.BulidSegPackage(1000, parts, *b.gaps);
    const InforMatrix& m = b.backpack.Matrix();
    ASSERT_EQ(m.Rows(), 3);
    ASSERT_EQ(m.Cols(), 1001);
    EXPECT_EQ(m(0, 1000).Value, 0.0);
    // Row 1: one and two copies of 300 alone; row 2 adds 500 behind them.
    EXPECT_DOUBLE_EQ(m(1, 300).Value, 300.0);
    EXPECT_EQ(m(1, 600).Num, 2);
    EXPECT_DOUBLE_EQ(m(2, 800).Value, 800.0);
    EXPECT_EQ(m(2, 800).From, 300);
    EXPECT_EQ(m(2, 800).State, 1);
    // Earlier fillings are carried into the row with Num 0.
    EXPECT_DOUBLE_EQ(m(2, 600).Value, 600.0);
    EXPECT_EQ(m(2, 600).Num, 0);
}

TEST(SvcTable, RejectsTablesBeyondTheLimit) {
    Bench b(1);
    const TSVCNestParts parts{Candidate(0, 300, 300, 2)};
    EXPECT_THROW(b.backpack.BulidSegPackage(static_cast<int>(InforMatrix::kMaxCells / 2 + 1), parts, *b.gaps),
                 std::invalid_argument);
}

TEST(SvcTable, GapBetweenCopiesIsCounted) {
    Bench b(1, 10.0);
    for (const auto& [T, copies] : {std::pair{2009, 1}, {2010, 2}}) {
        TSVCNestParts parts{Candidate(0, 1000, 1000, 3)};
        TNestResult result;
        const TSVCNestParts sel = b.Fill(T, parts, result);
        ASSERT_EQ(sel.size(), 1u);
        EXPECT_EQ(sel[0].Amount, copies) << "T = " << T;
        EXPECT_EQ(static_cast<int>(result.FPartOrder.size()), copies);
        EXPECT_DOUBLE_EQ(result.FLengthUsed, copies * 1000.0 + (copies - 1) * 10.0);
        EXPECT_EQ(parts[0].Amount, 3 - copies);
    }
}

TEST(SvcTable, GapBetweenDifferentPartsIsCounted) {
    Bench b(2, 0.0);
    for (const auto& [a, c] : {std::pair{1, 2}, {2, 1}, {1, -2}, {-2, 1}}) {
        SetGap(*b.gaps, a, c, 50.0);
    }
    for (const auto& [T, both] : {std::pair{1549, false}, {1550, true}}) {
        TSVCNestParts parts{Candidate(0, 1000, 1000, 1), Candidate(1, 500, 500, 1)};
        TNestResult result;
        const TSVCNestParts sel = b.Fill(T, parts, result);
        EXPECT_EQ(sel.size(), both ? 2u : 1u) << "T = " << T;
        EXPECT_DOUBLE_EQ(SelectionValue(sel), both ? 1500.0 : 1000.0);
        EXPECT_LE(result.FLengthUsed, T + 0.01);
    }
}

TEST(SvcTable, LengthsAreRoundedUpPerFilling) {
    Bench b(1);
    for (const auto& [T, copies] : {std::pair{2000, 1}, {2001, 2}}) {
        TSVCNestParts parts{Candidate(0, 1000.3, 1000, 2)};
        TNestResult result;
        const TSVCNestParts sel = b.Fill(T, parts, result);
        ASSERT_EQ(sel.size(), 1u);
        EXPECT_EQ(sel[0].Amount, copies) << "T = " << T;
    }
}

TEST(SvcTable, LongerFillingWinsATie) {
    Bench b(2);
    TSVCNestParts parts{Candidate(0, 1000, 500, 1), Candidate(1, 1200, 500, 1)};
    TNestResult result;
    const TSVCNestParts sel = b.Fill(1500, parts, result);
    const InforMatrix& m = b.backpack.Matrix();
    EXPECT_DOUBLE_EQ(m(2, 1000).Value, 500.0);
    EXPECT_DOUBLE_EQ(m(2, 1200).Value, 500.0);
    ASSERT_EQ(sel.size(), 1u);
    EXPECT_EQ(sel[0].Idx, 1);
    EXPECT_EQ(result.FPartOrder, (TIntDynArray{2}));
}

TEST(SvcTable, LaterRowTakesACellOfEqualValue) {
    // Both parts alone reach column 500 with the same value: the later row's part holds the cell,
    // so the filling then ends with it (and the gap to the next part is taken from it).
    Bench b(2);
    TSVCNestParts parts{Candidate(0, 500, 475, 1), Candidate(1, 500, 475, 1)};
    TNestResult result;
    const TSVCNestParts sel = b.Fill(500, parts, result);
    const InforMatrix& m = b.backpack.Matrix();
    EXPECT_EQ(m(2, 500).Num, 1);
    EXPECT_EQ(m(2, 500).State, 1);
    ASSERT_EQ(sel.size(), 1u);
    EXPECT_EQ(sel[0].Idx, 1);
}

TEST(SvcTable, NothingFitsGivesAnEmptySelection) {
    Bench b(2);
    TSVCNestParts parts{Candidate(0, 1000, 500, 1), Candidate(1, 1200, 500, 1)};
    TNestResult result;
    EXPECT_TRUE(b.Fill(999, parts, result).empty());
    EXPECT_TRUE(result.FPartOrder.empty());
    EXPECT_TRUE(b.Fill(-5, parts, result).empty());
}

// With whole-millimetre lengths and one uniform gap the table is exact: its best value must equal
// the best over all multisets that fit.
TEST(SvcTable, MatchesBruteForceOnSmallExactInstances) {
    TRandomGenerator random(20240611);
    int nonEmpty = 0;
    for (int instance = 0; instance < 300; ++instance) {
        const int n = 1 + random.Random(4);
        const int gap = random.Random(25);
        const int T = 500 + random.Random(5000);
        Bench b(n, gap);
        TSVCNestParts parts;
        for (int i = 0; i < n; ++i) {
            parts.push_back(
                Candidate(i, 100 + random.Random(2400), 1 + random.Random(1000), random.Random(4)));
        }
        double bestBrute = 0.0;
        std::vector<int> k(static_cast<std::size_t>(n), 0);
        std::function<void(int)> search = [&](int i) {
            if (i == n) {
                int copies = 0;
                double length = 0.0;
                double value = 0.0;
                for (int p = 0; p < n; ++p) {
                    copies += k[static_cast<std::size_t>(p)];
                    length += k[static_cast<std::size_t>(p)] * parts[static_cast<std::size_t>(p)].Length;
                    value += k[static_cast<std::size_t>(p)] * parts[static_cast<std::size_t>(p)].Value;
                }
                if (copies > 0 && length + (copies - 1) * gap <= T) {
                    bestBrute = std::max(bestBrute, value);
                }
                return;
            }
            for (int c = 0; c <= parts[static_cast<std::size_t>(i)].Amount; ++c) {
                k[static_cast<std::size_t>(i)] = c;
                search(i + 1);
            }
        };
        search(0);

        TSVCNestParts work = parts;
        TNestResult result;
        const TSVCNestParts sel = b.Fill(T, work, result);
        EXPECT_DOUBLE_EQ(SelectionValue(sel), bestBrute) << "instance " << instance;
        EXPECT_LE(result.FLengthUsed, T + 1e-9) << "instance " << instance;
        for (std::size_t j = 0; j < sel.size(); ++j) {
            EXPECT_LE(sel[j].Amount, parts[static_cast<std::size_t>(sel[j].Idx)].Amount);
            EXPECT_TRUE(j == 0 || sel[j - 1].Idx < sel[j].Idx); // row order
        }
        nonEmpty += sel.empty() ? 0 : 1;
    }
    EXPECT_GT(nonEmpty, 200);
}

} // namespace
} // namespace tubenest
