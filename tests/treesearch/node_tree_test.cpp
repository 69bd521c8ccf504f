// The node tree framework: amounts of repeated patterns, the tolerant sort, the exception paths of
// the search loop.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "model/nest_progress.h"
#include "support/gap_tables.h"
#include "treesearch/greedy_nest.h"
#include "treesearch/safe_sort.h"

namespace tubenest {
namespace {

using testsupport::Part;
using testsupport::Tube;

TNode* MakeNode(TNestBase& base, TIntDynArray parts, TIntDynArray tubes, TIntDynArray row,
                std::int32_t tube) {
    TNode* n = base.AddNode(std::make_unique<TNode>());
    n->FAllPartCount = std::move(parts);
    n->FAllTubeCount = std::move(tubes);
    n->FCurNestResult = std::move(row);
    n->FCurTubeIndex = tube;
    return n;
}

TEST(NodeTree, TryDuplicateRepeatsAPatternAsAmountsAllow) {
    const TGeneralNestPartArr parts{Part(100, 11), Part(200, 4)};
    const TGeneralNestTubeArr tubes{Tube(1000, 10)};
    TNestBase base(parts, tubes, TCADAutoNestParam{});
    // Pattern 1, 1, 2 laid once: 9 copies of part 1 and 3 of part 2 remain. r = min(9/2, 3/1) = 3.
    TNode* ten = MakeNode(base, {12, 9, 3}, {10, 10}, {1, 1, -2}, 1);
    base.TryDuplicate(ten);
    EXPECT_EQ(ten->FCurTubeCount, 4);
    EXPECT_EQ(ten->FAllTubeCount, (TIntDynArray{6, 6}));
    EXPECT_EQ(ten->FAllPartCount, (TIntDynArray{3, 3, 0}));
    TNode* two = MakeNode(base, {12, 9, 3}, {2, 2}, {1, 1, -2}, 1);
    base.TryDuplicate(two);
    EXPECT_EQ(two->FCurTubeCount, 2);
    EXPECT_EQ(two->FAllTubeCount, (TIntDynArray{0, 0}));
    EXPECT_EQ(two->FAllPartCount, (TIntDynArray{9, 7, 2}));
    EXPECT_EQ(base.GetTubeInitialLen(1), 1000.0);
    EXPECT_EQ(base.GetNestTubeAmountAvail(0), 10);
}

// Tolerant orders are not transitive; the sort must stay in bounds, keep every entry and keep the
// order of entries that compare equal.
TEST(NodeTree, SafeSortWithManyEqualWithinTolerance) {
    std::vector<TNestBaseInfo> records;
    for (int k = 0; k < 500; ++k) {
        TNestBaseInfo r;
        r.ID = 1 + k % 4;
        r.ZGap = 5.0 + 1e-7 * (k % 37); // chains of "equal within 1e-6" that are not equal end to end
        r.FixedGap = k;                 // identifies the entry
        records.push_back(r);
    }
    SafeStableSort(records, &TNestBase::SelPartSort);
    std::vector<bool> seen(500, false);
    for (const auto& r : records) {
        seen[static_cast<std::size_t>(r.FixedGap)] = true;
    }
    EXPECT_EQ(std::count(seen.begin(), seen.end(), true), 500);
    for (std::size_t k = 1; k < records.size(); ++k) {
        if (TNestBase::SelPartSort(records[k - 1], records[k]) == 0) {
            EXPECT_LT(records[k - 1].FixedGap, records[k].FixedGap); // stable
        }
    }
    // Own-direction records (ID 1, 2) come before turned ones when nothing else differs.
    TNestBaseInfo own;
    own.ID = 2;
    TNestBaseInfo turned;
    turned.ID = 3;
    EXPECT_EQ(TNestBase::SelPartSort(own, turned), -1);
    turned.ZGap = own.ZGap - 0.5;
    EXPECT_EQ(TNestBase::SelPartSort(own, turned), 1);
}

class ThrowingNest : public TNestBase {
public:
    using TNestBase::TNestBase;
    bool assertion = false;
    bool DealWithNode(TNode*) override {
        if (assertion) {
            EngineAssertFail("UNestNode", "lost part");
        }
        throw std::runtime_error("ordinary");
    }
};

TEST(NodeTree, OrdinaryExceptionsEndTheSearchButAssertionsPassThrough) {
    const TGeneralNestPartArr parts{Part(100, 1)};
    const TGeneralNestTubeArr tubes{Tube(1000, 1)};
    ThrowingNest nest(parts, tubes, TCADAutoNestParam{});
    TNode* start = nullptr;
    EXPECT_FALSE(nest.Nest(start));
    nest.assertion = true;
    TNode* again = nullptr;
    EXPECT_THROW(nest.Nest(again), TEngineAssertion);
}

} // namespace
} // namespace tubenest
