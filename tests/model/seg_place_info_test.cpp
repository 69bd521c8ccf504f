#include "model/seg_place_info.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>

#include "host/app_services.h"
#include "model/random.h"
#include "support/gap_tables.h"

namespace tubenest {
namespace {

using testsupport::MakeRandomGaps;
using testsupport::MakeUniformGaps;

// FixedGap = 1000 * part1 + 100 * part2 + orientation code, so the record read back names itself.
std::unique_ptr<TSegPlaceInfoManager> SelfNamingTable(int parts) {
    auto gaps = std::make_unique<TSegPlaceInfoManager>(parts, TCADAutoNestParam());
    gaps->InitTable();
    for (int i = 0; i < parts; ++i) {
        for (int j = 0; j <= i; ++j) {
            TSegPlaceInfo e;
            TNestBaseInfo* fields[] = {&e.A1B1_A2B2, &e.A2B2_A1B1, &e.A1B1_B2A2, &e.B2A2_A1B1};
            for (int f = 0; f < 4; ++f) {
                fields[f]->ID = f + 1;
                fields[f]->FixedGap = 1000.0 * i + 100.0 * j + f + 1;
                fields[f]->Caled = true;
            }
            gaps->SetSegPlaceInfo(i, j, e);
        }
    }
    return gaps;
}

TEST(GapLookup, EverySignCombinationOnBothSidesOfTheDiagonal) {
    const auto gaps = SelfNamingTable(3);
    struct Case {
        int a, b;
        double gap;
    };
    const Case cases[] = {// |A| > |B|: entry [2][0], A is part 1.
                          {3, 1, 2001},
                          {-3, -1, 2002},
                          {3, -1, 2003},
                          {-3, 1, 2004},
                          // |A| < |B|: the same entry, B is part 1.
                          {1, 3, 2002},
                          {-1, -3, 2001},
                          {1, -3, 2003},
                          {-1, 3, 2004},
                          // The diagonal [1][1].
                          {2, 2, 1101},
                          {-2, -2, 1102},
                          {2, -2, 1103},
                          {-2, 2, 1104}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.a) + "," + std::to_string(c.b));
        EXPECT_EQ(gaps->GetA1B1Info(c.a, c.b).FixedGap, c.gap);
        EXPECT_EQ(gaps->GetGap(c.a, c.b), c.gap);
    }
}

// One part per run-pattern branch; S, B, A are the same-direction, B-against-B and A-against-A gaps.
struct RunCase {
    const char* name;
    double S, B, A;
    bool bCaled;
    TSinglePartGap expected; // Pair, Connect, Single, PosTypePair, PosTypeSingle
};

std::unique_ptr<TSegPlaceInfoManager> RunTable(const std::vector<RunCase>& cases, bool disableReverse) {
    TCADAutoNestParam param;
    param.SetDisableReverse(disableReverse);
    auto gaps = MakeUniformGaps(static_cast<int>(cases.size()), 50.0, param);
    for (int k = 1; k <= static_cast<int>(cases.size()); ++k) {
        const auto& c = cases[static_cast<std::size_t>(k - 1)];
        TNestBaseInfo r;
        r.Caled = true;
        r.FixedGap = c.S;
        gaps->SetA1B1Info(k, k, r);
        r.FixedGap = c.A;
        gaps->SetA1B1Info(-k, k, r);
        r.FixedGap = c.B;
        r.Caled = c.bCaled;
        gaps->SetA1B1Info(k, -k, r);
    }
    gaps->InitializePartGaps();
    return gaps;
}

void ExpectRun(const TSinglePartGap& got, const TSinglePartGap& want) {
    EXPECT_EQ(got.FPartGapPair, want.FPartGapPair);
    EXPECT_EQ(got.FPartGapConnect, want.FPartGapConnect);
    EXPECT_EQ(got.FPartGapSingle, want.FPartGapSingle);
    EXPECT_EQ(got.FPartPosTypePair, want.FPartPosTypePair);
    EXPECT_EQ(got.FPartPosTypeSingle, want.FPartPosTypeSingle);
}

TEST(RunPatterns, EveryBranch) {
    using G = TSinglePartGap;
    const std::vector<RunCase> cases = {
        {"B uncalculated", 5, 1, 2, false, G::Create(5, 5, 5, 0, 0)},
        {"B>S, A>S", 5, 7, 6, true, G::Create(5, 5, 5, 0, 0)},
        {"B>S, A<S", 5, 7, 3, true, G::Create(3, 5, 7, 2, 0)},
        {"B>S, A=S", 5, 7, 5, true, G::Create(5, 5, 7, 2, 0)},
        {"B<S, A>S", 5, 2, 8, true, G::Create(2, 5, 8, 1, 1)},
        {"B<S, B<A<S", 5, 2, 4, true, G::Create(2, 4, 4, 1, 0)},
        {"B<S, A=S", 5, 2, 5, true, G::Create(2, 5, 5, 1, 0)},
        {"B<S, A<B", 5, 3, 1, true, G::Create(1, 5, 3, 2, 0)},
        {"B=S=A", 5, 5, 5, true, G::Create(5, 5, 5, 2, 0)},
    };
    const auto gaps = RunTable(cases, false);
    ASSERT_EQ(gaps->FSinglePartGaps.size(), cases.size());
    for (std::size_t k = 0; k < cases.size(); ++k) {
        SCOPED_TRACE(cases[k].name);
        ExpectRun(gaps->FSinglePartGaps[k], cases[k].expected);
    }
    const auto noReverse = RunTable(cases, true);
    for (std::size_t k = 0; k < cases.size(); ++k) {
        ExpectRun(noReverse->FSinglePartGaps[k], G::Create(5, 5, 5, 0, 0));
    }
    gaps->FSinglePartGaps[0].FPartGapPair = 99.0;
    gaps->InitializePartGaps(); // derives only once
    EXPECT_EQ(gaps->FSinglePartGaps[0].FPartGapPair, 99.0);
}

TEST(MinLength, NoPartsAndBadInput) {
    const auto gaps = MakeUniformGaps(3, 1.0);
    gaps->InitializePartGaps();
    gaps->FPartLengths = {10, 20, 30};
    TIntDynArray chain{1, 2};
    EXPECT_EQ(gaps->CalcMinLen({}, {}, &chain), 0.0);
    EXPECT_TRUE(chain.empty());
    EXPECT_THROW((void)gaps->CalcMinLen({0, 2, 0}, {1, 1, 1}, &chain), std::invalid_argument);
    EXPECT_THROW((void)gaps->CalcMinLen({0, 3}, {1, 1}, &chain), std::out_of_range);
    EXPECT_THROW((void)gaps->CalcMinLen({0, 1}, {1}, &chain), std::invalid_argument);
    EXPECT_DOUBLE_EQ(gaps->CalcMinLen({2, 0}, {1, 1}, nullptr), 41.0);
}

// The gap CalcMinLen charges when y joins the chain right of x, or x joins left of y: the run of
// an even amount that ends (type 1) or starts (type 2) with a turned copy looks in its other list.
double RightJoin(const TSegPlaceInfoManager& g, const std::vector<int>& amount, int x, int y) {
    const bool swap = amount[x] % 2 == 0 && g.FSinglePartGaps[x].FPartPosTypePair == 1;
    return swap ? g.GetGap(y + 1, x + 1) : g.GetGap(x + 1, y + 1);
}
double LeftJoin(const TSegPlaceInfoManager& g, const std::vector<int>& amount, int x, int y) {
    const bool swap = amount[y] % 2 == 0 && g.FSinglePartGaps[y].FPartPosTypePair == 2;
    return swap ? g.GetGap(y + 1, x + 1) : g.GetGap(x + 1, y + 1);
}

TEST(MinLength, ChainLengthAddsUpOnRandomTables) {
    TRandomGenerator rng(20240611);
    for (int round = 0; round < 200; ++round) {
        const int parts = 2 + rng.Random(7);
        const auto gaps = MakeRandomGaps(parts, rng, 0.0, 30.0);
        gaps->InitializePartGaps();
        gaps->FPartLengths.clear();
        for (int p = 0; p < parts; ++p) {
            gaps->FPartLengths.push_back(50.0 + 1000.0 * rng.RandomFloat());
        }
        // A random subset of distinct parts, in random order, with amounts 1..4.
        TIntDynArray idx;
        for (int p = 0; p < parts; ++p) {
            if (rng.Random(3) != 0) {
                idx.insert(idx.begin() + rng.Random(static_cast<int>(idx.size()) + 1), p);
            }
        }
        std::vector<int> amount(static_cast<std::size_t>(parts), 0);
        TIntDynArray amounts;
        double expected = 0.0;
        for (auto p : idx) {
            amount[p] = 1 + rng.Random(4);
            amounts.push_back(amount[p]);
            expected += gaps->FPartLengths[p] * amount[p] + gaps->FSinglePartGaps[p].RunLength(amount[p]);
        }
        TIntDynArray chain;
        const double got = gaps->CalcMinLen(idx, amounts, &chain);
        SCOPED_TRACE(round);
        ASSERT_EQ(testsupport::SignedMultiset(chain), testsupport::SignedMultiset(idx));
        if (idx.size() >= 2) {
            // The start pair, found independently: the cheapest right join, first one on ties.
            int head = -1, tail = -1;
            for (auto p : idx) {
                for (auto q : idx) {
                    if (q != p &&
                        (head < 0 || RightJoin(*gaps, amount, p, q) < RightJoin(*gaps, amount, head, tail))) {
                        head = p;
                        tail = q;
                    }
                }
            }
            const auto s = std::find(chain.begin(), chain.end(), head) - chain.begin();
            ASSERT_LT(s + 1, static_cast<long>(chain.size()));
            ASSERT_EQ(chain[static_cast<std::size_t>(s + 1)], tail);
            for (std::size_t k = 0; k + 1 < chain.size(); ++k) {
                expected += static_cast<long>(k) < s ? LeftJoin(*gaps, amount, chain[k], chain[k + 1])
                                                     : RightJoin(*gaps, amount, chain[k], chain[k + 1]);
            }
        }
        EXPECT_NEAR(got, expected, 1e-9 * (1.0 + expected));
    }
}

} // namespace
} // namespace tubenest
