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

TEST(GapModel, UniformKerfForEveryPlacement) {
    const auto gaps = BuildGapManager(SmallProblem());
    for (int a : kRefs) {
        for (int b : kRefs) {
            const TNestBaseInfo& r = gaps->GetA1B1InfoRef(a, b);
            EXPECT_TRUE(r.Caled) << a << "," << b;
            EXPECT_DOUBLE_EQ(r.FixedGap, 3.0) << a << "," << b;
        }
    }
    ASSERT_EQ(gaps->FSinglePartGaps.size(), 2u); // InitializePartGaps has run
    EXPECT_EQ(gaps->FPartLengths, (std::vector<double>{1200.0, 800.0}));
    EXPECT_FALSE(gaps->CheckIsTrapezoid());
}

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

TEST(GapModel, EndPairRuleOverridesTheClearancesBothWays) {
    Problem p = EndTypeProblem();
    p.gaps.end_pairs.push_back(EndPairRule{"m45", "m45", -35.0, true, 60.0, 12.0, 2});
    const auto gaps = BuildGapManager(p);
    const TNestBaseInfo r = gaps->GetA1B1Info(2, 1);
    EXPECT_DOUBLE_EQ(r.FixedGap, -35.0);
    EXPECT_TRUE(r.IsCommon);
    EXPECT_DOUBLE_EQ(r.IsLandCommonLen, 12.0);
    EXPECT_DOUBLE_EQ(gaps->GetGap(-1, 1), -35.0); // P1's two m45 ends A against A
    EXPECT_DOUBLE_EQ(gaps->GetGap(1, 2), 30.0);   // untouched
    // The orientation IDs stay those of the table fields.
    EXPECT_EQ(gaps->GetA1B1Info(1, 2).ID, kA2B2_A1B1);
}

TEST(GapModel, ExplicitRecordsOverrideOnePlacementAndItsMirror) {
    Problem p = EndTypeProblem();
    PairGap g;
    g.first = "P1";
    g.second = "P2";
    g.second_turned = true;
    g.gap = 1.5;
    g.z_gap = 7.0;
    g.common_cut = true;
    g.common_length = 33.0;
    g.rotation = 90.0;
    p.gaps.pairs.push_back(g);
    const auto gaps = BuildGapManager(p);
    for (const auto& [a, b] : {std::pair{1, -2}, std::pair{2, -1}}) {
        const TNestBaseInfo r = gaps->GetA1B1Info(a, b);
        EXPECT_DOUBLE_EQ(r.FixedGap, 1.5);
        EXPECT_DOUBLE_EQ(r.ZGap, 7.0);
        EXPECT_DOUBLE_EQ(r.Rotation, 90.0);
    }
    EXPECT_DOUBLE_EQ(gaps->GetGap(1, 2), 30.0);
    EXPECT_DOUBLE_EQ(gaps->GetGap(-2, 1), gaps->GetGap(-1, 2));
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

TEST(GapModel, ParameterBlockCarriesTheNestingParameters) {
    Problem p = SmallProblem();
    p.parameters.disable_reverse = true;
    p.parameters.cut_shape = CutShape::Bevel;
    p.parameters.bevel_length = 12.5;
    p.parameters.z_shape_offset = 4.0;
    const TCADAutoNestParam param = BuildNestParam(p);
    EXPECT_DOUBLE_EQ(param.DefaultPartGap(), 3.0); // defaults to the kerf
    EXPECT_EQ(param.CutShape(), 2);
    EXPECT_DOUBLE_EQ(param.BevelLength(), 12.5);
    EXPECT_DOUBLE_EQ(param.ZShapeOffset(), 4.0);
    p.parameters.default_part_gap = 5.0;
    EXPECT_DOUBLE_EQ(BuildNestParam(p).DefaultPartGap(), 5.0);
    // With reversing disabled every run is laid in one direction.
    const auto gaps = BuildGapManager(p);
    EXPECT_EQ(gaps->FSinglePartGaps[0].FPartPosTypePair, 0);
}
