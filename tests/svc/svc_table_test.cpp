// The knapsack table (BulidSegPackage) and its read-out (SingleTubeNest): rounding, the size limit
// and a comparison with brute force where the table is exact.

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

TEST(SvcTable, RejectsTablesBeyondTheLimit) {
    Bench b(1);
    const TSVCNestParts parts{Candidate(0, 300, 300, 2)};
    EXPECT_THROW(b.backpack.BulidSegPackage(static_cast<int>(InforMatrix::kMaxCells / 2 + 1), parts, *b.gaps),
                 std::invalid_argument);
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
