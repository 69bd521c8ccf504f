#include <gtest/gtest.h>

#include "api/example_problem.h"
#include "api/gap_model.h"
#include "test_problems.h"

using namespace tubenest;
using namespace tubenest::api;
using tubenest::testing::SmallProblem;

namespace {

/// P1 (end A "m45", end B plain), P2 (A "saddle", B "m45"); m45 clearance 40, saddle 30, kerf 3.
Problem EndTypeProblem() {
    Problem p = SmallProblem();
    p.gaps.end_types = {{"m45", 40.0}, {"saddle", 30.0}};
    p.parts[0].end_a = "m45";
    p.parts[1].end_a = "saddle";
    p.parts[1].end_b = "m45";
    return p;
}

const int kRefs[] = {1, -1, 2, -2};

} // namespace

TEST(GapModel, ClearancesOfTheFacingEndsDependOnOrientation) {
    const auto gaps = BuildGapManager(EndTypeProblem());
    // P1 then P2: P1's end B (plain, 0) faces P2's end A (saddle, 30).
    EXPECT_DOUBLE_EQ(gaps->GetGap(1, 2), 30.0);
    // P1 turned then P2: P1's end A (m45, 40) faces P2's end A (saddle, 30).
    EXPECT_DOUBLE_EQ(gaps->GetGap(-1, 2), 70.0);
    // P1 then P2 turned: plain faces P2's end B (m45).
    EXPECT_DOUBLE_EQ(gaps->GetGap(1, -2), 40.0);
    // P2 then P1: m45 faces m45 (no end-pair rule): 80.
    EXPECT_DOUBLE_EQ(gaps->GetGap(2, 1), 80.0);
    // P1 then P1: plain faces m45 = 40; turned copies back to back (B against B): plain/plain = kerf.
    EXPECT_DOUBLE_EQ(gaps->GetGap(1, 1), 40.0);
    EXPECT_DOUBLE_EQ(gaps->GetGap(1, -1), 3.0);
    EXPECT_DOUBLE_EQ(gaps->GetGap(-1, 1), 80.0);
    // A mirror image needs the same gap.
    for (int a : kRefs) {
        for (int b : kRefs) {
            EXPECT_DOUBLE_EQ(gaps->GetGap(a, b), gaps->GetGap(-b, -a)) << a << "," << b;
        }
    }
    EXPECT_TRUE(gaps->CheckIsTrapezoid());
    // The run pattern of P1 uses the cheap B-against-B pair: (B 3, S 40, A 80, type 1, single 1).
    const TSinglePartGap& run = gaps->FSinglePartGaps[0];
    EXPECT_DOUBLE_EQ(run.FPartGapPair, 3.0);
    EXPECT_DOUBLE_EQ(run.FPartGapConnect, 80.0);
    EXPECT_EQ(run.FPartPosTypePair, 1);
}

TEST(GapModel, RecordForAgreesWithTheManagerOnTheExample) {
    const Problem p = MakeExampleProblem();
    const auto gaps = BuildGapManager(p);
    const int n = static_cast<int>(p.parts.size());
    for (int a = -n; a <= n; ++a) {
        for (int b = -n; b <= n; ++b) {
            if (a == 0 || b == 0) {
                continue;
            }
            const TNestBaseInfo expected = GapRecordFor(p, a, b);
            const TNestBaseInfo& got = gaps->GetA1B1InfoRef(a, b);
            ASSERT_DOUBLE_EQ(got.FixedGap, expected.FixedGap) << a << "," << b;
            ASSERT_EQ(got.IsCommon, expected.IsCommon) << a << "," << b;
            ASSERT_TRUE(got.Caled);
        }
    }
}
