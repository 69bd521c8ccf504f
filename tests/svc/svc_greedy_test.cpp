// TGreedyAlgorithm: turning a selection into a pattern, and the value correction.

#include <gtest/gtest.h>

#include <tuple>

#include "support/gap_tables.h"
#include "support/svc_plan_checker.h"
#include "svc/svc_nest.h"
#include "svc_test_util.h"

namespace tubenest {
namespace {

using svc_test::Candidate;
using testsupport::MakeUniformGaps;
using testsupport::SetGap;

TEST(SvcGreedy, SelectionBecomesAnOrderWithGaps) {
    auto gaps = MakeUniformGaps(2, 6.0);
    SetGap(*gaps, 1, 2, 1.0);
    const TGreedyAlgorithm greedy(true);
    const TSVCNestParts sel{Candidate(0, 100, 1, 2), Candidate(1, 250, 1, 1)};
    const TNestResult r = greedy.NewGreedyAlgorithm(sel, *gaps);
    EXPECT_EQ(r.FPartOrder, (TIntDynArray{1, 1, 2}));
    EXPECT_DOUBLE_EQ(r.FLengthUsed, 450.0 + 6.0 + 1.0);
    EXPECT_EQ(r.FTubeCount, 0);
    EXPECT_TRUE(greedy.NewGreedyAlgorithm(TSVCNestParts{}, *gaps).FPartOrder.empty());
}

TEST(SvcGreedy, OrderSearchMayTurnPartsWhenAllowed) {
    auto gaps = MakeUniformGaps(1, 20.0);
    SetGap(*gaps, 1, -1, 2.0);
    SetGap(*gaps, -1, 1, 3.0);
    const TSVCNestParts sel{Candidate(0, 100, 1, 3)};
    const TNestResult turned = TGreedyAlgorithm(false).NewGreedyAlgorithm(sel, *gaps);
    const TNestResult straight = TGreedyAlgorithm(true).NewGreedyAlgorithm(sel, *gaps);
    EXPECT_EQ(straight.FPartOrder, (TIntDynArray{1, 1, 1}));
    EXPECT_DOUBLE_EQ(straight.FLengthUsed, 340.0);
    EXPECT_LT(turned.FLengthUsed, straight.FLengthUsed);
    EXPECT_DOUBLE_EQ(turned.FLengthUsed, 305.0); // B-B then A-A
}

TEST(SvcGreedy, ModifyPartValueIsRepeatableAndFollowsTheRule) {
    const TSVCNestPart part = Candidate(0, 1200.0, 1300.0, 4);
    TRandomGenerator a(99);
    TRandomGenerator b(99);
    const double va = TGreedyAlgorithm::ModifyPartValue(part, 6000.0, 4500.0, 10, 6, a);
    const double vb = TGreedyAlgorithm::ModifyPartValue(part, 6000.0, 4500.0, 10, 6, b);
    EXPECT_EQ(va, vb);

    TRandomGenerator c(99);
    const double r1 = c.RandomFloat();
    const double r2 = c.RandomFloat();
    const double s = 1.0 + 0.5 * r1;
    const double q = (r2 * (s - 1.0 / s) + 1.0 / s) * 16.0 / 4.0;
    EXPECT_DOUBLE_EQ(va, q / (q + 1.0) * 1300.0 + 1.0 / (q + 1.0) * 1200.0 * 6000.0 / 1500.0);
    // Further calls draw further numbers.
    EXPECT_NE(TGreedyAlgorithm::ModifyPartValue(part, 6000.0, 4500.0, 10, 6, a), va);
}

TEST(SvcGreedy, ModifyPartValueRejectsDivisionsByZero) {
    TRandomGenerator r(1);
    for (const auto& [amount, left, tubes] : {std::tuple{0, 100.0, 1}, {1, 6000.0, 1}, {1, 100.0, -5}}) {
        EXPECT_THROW(TGreedyAlgorithm::ModifyPartValue(Candidate(0, 10, 10, amount), 6000, left, tubes, 1, r),
                     std::invalid_argument);
    }
}

} // namespace
} // namespace tubenest
