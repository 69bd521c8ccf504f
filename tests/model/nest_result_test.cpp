#include "model/nest_result.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <string>
#include <unistd.h>

#include "model/assertion.h"
#include "model/nest_types.h"

namespace tubenest {
namespace {

std::unique_ptr<TNestResult> MakeResult(std::int32_t tube, std::int32_t count, TIntDynArray order) {
    auto r = std::make_unique<TNestResult>();
    r->FTubeIndex = tube;
    r->FTubeCount = count;
    r->FPartOrder = std::move(order);
    return r;
}

TGeneralNestPartArr Parts(std::initializer_list<double> lengths) {
    TGeneralNestPartArr parts;
    for (double l : lengths) {
        TGeneralNestPart p;
        p.FOuterlength = l;
        parts.push_back(p);
    }
    return parts;
}

TEST(NestResult, LengthsAndSameness) {
    const auto parts = Parts({100.0, 250.0, 1000.0});
    auto r = MakeResult(1, 3, {});
    r->FLengthUsed = 77.0;
    r->UpdateNestLengthUsed(parts);
    EXPECT_EQ(r->FLengthUsed, 0.0);
    EXPECT_EQ(r->GetPartUsedLength(parts), 0.0);

    r->FPartOrder = {3, -1, 2};
    TNestBaseInfo g1, g2;
    g1.FixedGap = 4.0;
    g2.FixedGap = 0.5;
    r->FPartPlaceData = {g1};
    EXPECT_THROW(r->UpdateNestLengthUsed(parts), TEngineAssertion); // place data too short
    r->FPartPlaceData = {g1, g2};
    r->UpdateNestLengthUsed(parts);
    EXPECT_DOUBLE_EQ(r->FLengthUsed, 1000.0 + 4.0 + 100.0 + 0.5 + 250.0);
    EXPECT_DOUBLE_EQ(r->GetPartUsedLength(parts), 3 * 1350.0);

    auto a = MakeResult(2, 1, {3, -1});
    auto b = MakeResult(2, 5, {-3, 1});
    b->FLengthUsed = 9.0;
    EXPECT_TRUE(a->IsSameNestResult(*b));
    EXPECT_TRUE(b->IsSameNestResult(*a));
    b->FTubeIndex = 1;
    EXPECT_FALSE(a->IsSameNestResult(*b));
    EXPECT_FALSE(a->IsSameNestResult(*MakeResult(2, 1, {3, -1, 1})));
    EXPECT_FALSE(a->IsSameNestResult(*MakeResult(2, 1, {1, 3})));
}

TEST(NestResultList, CloneAssignAndOwnership) {
    TNestResultList list;
    list.Add(MakeResult(1, 2, {1, 2}));
    list.Add(MakeResult(2, 1, {-3}));
    list[0].FFixedPartOrder = {9};
    list[0].FLengthUsed = 42.0;
    list[0].FIsTailPlacedQualified = true;
    auto copy = list.Clone();
    ASSERT_EQ(copy->Count(), 2);
    const TNestResult& c = (*copy)[0];
    EXPECT_TRUE(c.FFixedPartOrder == TIntDynArray{9} && c.FLengthUsed == 42.0 && c.FIsTailPlacedQualified);
    (*copy)[0].FPartOrder.push_back(7);
    (*copy)[1].FTubeCount = 99;
    EXPECT_EQ(list[0].FPartOrder, (TIntDynArray{1, 2}));
    EXPECT_EQ(list[1].FTubeCount, 1);

    TNestResultList other;
    other.Add(MakeResult(5, 5, {5}));
    other.Assign(list);
    ASSERT_EQ(other.Count(), 2);
    EXPECT_EQ(other[1].FPartOrder, TIntDynArray{-3});

    // Assigning a list to itself keeps it intact.
    list.Assign(list);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list[0].FPartOrder, (TIntDynArray{1, 2}));
    FreeWithAllItems(copy); // an owning list: frees its items and itself
    EXPECT_EQ(copy, nullptr);
}

TEST(NestResultComparer, CompareNestResultInfoCriteriaAndTolerances) {
    using C = TNestResultComparer;
    TNestResultInfo l, r;
    l.PartUsedLength = r.PartUsedLength = 500.0;
    l.TotalTubeLeft = r.TotalTubeLeft = 100.0;
    EXPECT_EQ(C::CompareNestResultInfo(l, r), 0);

    r.PartUsedLength = 500.0 + 2e-6;
    EXPECT_EQ(C::CompareNestResultInfo(l, r), 1); // more part length on the right
    EXPECT_EQ(C::CompareNestResultInfo(r, l), -1);
    l.PartUsedLength = 0.0;
    r.PartUsedLength = 1e-6; // exactly at the tolerance: equal
    l.TubeUsedLength = 10.0;
    r.TubeUsedLength = 10.0 + 4e-6;
    EXPECT_EQ(C::CompareNestResultInfo(l, r), -1); // less tube length on the left
    r.TubeUsedLength = 10.0;
    r.TotalTubeLeft = 109.0; // within 10 mm: goes on to FFuncValue
    r.FFuncValue = 1.0;
    EXPECT_EQ(C::CompareNestResultInfo(l, r), 1);
    r.FFuncValue = -1.0;
    EXPECT_EQ(C::CompareNestResultInfo(l, r), -1);
    r.TotalTubeLeft = 110.0; // exactly 10 mm is still equal
    EXPECT_EQ(C::CompareNestResultInfo(l, r), -1);
    r.TotalTubeLeft = 110.5;
    EXPECT_EQ(C::CompareNestResultInfo(l, r), 1);
    r.TotalTubeLeft = 89.5;
    EXPECT_EQ(C::CompareNestResultInfo(l, r), -1);
}

TEST(NestResultComparer, OldComparerAndNewerBetter) {
    using C = TNestResultComparer;
    TNestResultInfo l, r;
    l.PartUsedLength = r.PartUsedLength = 800.0;
    l.PartUsedCount = 4;
    r.PartUsedCount = 5;
    l.TubeUsedCount = 1;
    r.TubeUsedCount = 9;
    EXPECT_EQ(C::CompareNestResultInfoOld(l, r), 0); // different part counts are not ranked
    EXPECT_EQ(C::CompareNestResultInfoOld(r, l), 0);
    r.PartUsedLength = 800.5;
    EXPECT_EQ(C::CompareNestResultInfoOld(l, r), 1);

    r.PartUsedLength = 800.0 + 1e-7;
    r.PartUsedCount = 4;
    EXPECT_EQ(C::CompareNestResultInfoOld(l, r), -1); // more tubes on the right
    EXPECT_FALSE(C::IsNewResultBetterThanOld(l, r));
    EXPECT_TRUE(C::IsNewResultBetterThanOld(r, l));
    r.TubeUsedCount = 1;
    l.TotalTubeLeft = 50.0;
    r.TotalTubeLeft = 60.0;
    l.MinUsedLength = 300.0;
    r.MinUsedLength = 200.0;
    EXPECT_EQ(C::CompareNestResultInfoOld(l, r), 1); // left-over equal within 10 mm, shorter shortest pattern
    r.MinUsedLength = 300.0 + 1e-6;
    EXPECT_EQ(C::CompareNestResultInfoOld(l, r), 0);
    EXPECT_FALSE(C::IsNewResultBetterThanOld(l, r));
    r.TotalTubeLeft = 60.5;
    EXPECT_EQ(C::CompareNestResultInfoOld(l, r), 1);
    EXPECT_TRUE(C::IsNewResultBetterThanOld(l, r));
}

} // namespace
} // namespace tubenest
