// Greedy nesting: the fitting and ranking rules, the pair pick, and every plan on random instances
// (orientation-dependent and negative gaps, real lengths below outer lengths) through the
// independent whole-part checker; re-nesting a tube and the re-ordering operations conserve parts.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "host/app_services.h"
#include "model/nest_progress.h"
#include "support/gap_tables.h"
#include "support/svc_plan_checker.h"
#include "treesearch/greedy_nest.h"

namespace tubenest {
namespace {

using test_support::CheckWholePartPlan;
using testsupport::MakeRandomGaps;
using testsupport::MakeUniformGaps;
using testsupport::OrderGapSum;
using testsupport::Part;
using testsupport::PartMultiset;
using testsupport::SetGap;
using testsupport::Tube;

/// Prepared as the multi-tube wrapper prepares it.
std::unique_ptr<TGreedyNesting> Greedy(const TGeneralNestPartArr& parts, const TGeneralNestTubeArr& tubes,
                                       const TSegPlaceInfoManager& gaps, const TCADAutoNestParam& param) {
    auto greedy = std::make_unique<TGreedyNesting>(parts, tubes, param);
    greedy->SetGapTable(&gaps);
    greedy->InitGreedyNestParts(gaps, param);
    greedy->InitPairPick(gaps);
    greedy->AppendMyPartlist(nullptr, true);
    return greedy;
}

TNestResultList NestGreedily(const TGeneralNestPartArr& parts, const TGeneralNestTubeArr& tubes,
                             const TSegPlaceInfoManager& gaps, const TCADAutoNestParam& param) {
    TNestResultList results;
    Greedy(parts, tubes, gaps, param)->GetLeastTubeResult(results);
    return results;
}

TCADAutoNestParam KeepOrder(bool disableReverse = true) {
    TCADAutoNestParam p;
    p.SetTailPlaceMode(1); // no re-ordering of finished tubes
    p.SetDisableReverse(disableReverse);
    return p;
}

TEST(Greedy, NeighboursMayOverhangByAHundredthTheFirstPartMayNot) {
    auto gaps = MakeUniformGaps(2, 0.005);
    const auto one = NestGreedily({Part(600, 1), Part(400, 1)}, {Tube(1000, 1)}, *gaps, KeepOrder());
    ASSERT_EQ(one.Count(), 1);
    EXPECT_EQ(one[0].FPartOrder.size(), 2u);
    const auto none = NestGreedily({Part(1000.005, 1)}, {Tube(1000, 1)}, *gaps, KeepOrder());
    EXPECT_TRUE(none.Empty());
}

TEST(Greedy, EqualRankExtendsTheRightEndABetterLeftCandidateTheLeft) {
    auto gaps = MakeUniformGaps(2, 5.0);
    auto equal = NestGreedily({Part(500, 1), Part(400, 1)}, {Tube(1000, 1)}, *gaps, KeepOrder());
    ASSERT_EQ(equal.Count(), 1);
    EXPECT_EQ(equal[0].FPartOrder, (TIntDynArray{1, 2}));
    SetGap(*gaps, 2, 1, 4.8); // ZGap smaller by more than 0.1: part 2 goes left of part 1
    auto left = NestGreedily({Part(500, 1), Part(400, 1)}, {Tube(1000, 1)}, *gaps, KeepOrder());
    ASSERT_EQ(left.Count(), 1);
    EXPECT_EQ(left[0].FPartOrder, (TIntDynArray{2, 1}));
}

TEST(Greedy, PairPickFollowsTheBestSelfRecord) {
    auto gaps = MakeUniformGaps(3, 5.0);
    SetGap(*gaps, 1, -1, 2.0); // B against B best: ID 3
    SetGap(*gaps, -2, 2, 2.0); // A against A best: ID 4
    const TGeneralNestPartArr parts{Part(100, 2), Part(100, 2), Part(100, 2)};
    const TGeneralNestTubeArr tubes{Tube(1000, 1)};
    EXPECT_EQ(Greedy(parts, tubes, *gaps, KeepOrder(false))->PairPick(),
              (std::vector<std::int32_t>{-1, -1, 1}));
    auto fixed = Greedy(parts, tubes, *gaps, KeepOrder(true));
    EXPECT_EQ(fixed->PairPick(), (std::vector<std::int32_t>{1, 1, 1}));
    for (const TMyNestPart& part : *fixed->MyPartList()) { // no turned neighbour is ever offered
        for (const auto* list : {&part.FNearLeft, &part.FNearRight}) {
            for (const TGreedyBaseInfo& e : *list) {
                EXPECT_GT(e.SegID, 0);
            }
        }
    }
}

TEST(Greedy, NoCopiesGiveNoLeafAndNoResult) {
    auto gaps = MakeUniformGaps(1, 0.0);
    const TGeneralNestPartArr parts{Part(100, 0)};
    const TGeneralNestTubeArr tubes{Tube(1000, 1)};
    auto greedy = Greedy(parts, tubes, *gaps, TCADAutoNestParam{});
    TNestResultList results;
    results.Add(std::make_unique<TNestResult>());
    greedy->GetLeastTubeResult(results);
    EXPECT_TRUE(results.Empty());
    EXPECT_TRUE(greedy->LeafNodes().empty());
}

struct Instance {
    TGeneralNestPartArr parts;
    TGeneralNestTubeArr tubes;
    std::unique_ptr<TSegPlaceInfoManager> gaps;
    TCADAutoNestParam param;
    bool ample = false;
};

/// Gaps from -20 (common cuts) to 25 mm differing by orientation, some common-cut data, real
/// lengths up to 10 % below the outer ones, random cut-offs, some parts longer than every tube.
Instance RandomInstance(TRandomGenerator& rng) {
    Instance in;
    in.ample = rng.Random(2) == 0;
    const int nTubes = 1 + rng.Random(3);
    for (int t = 0; t < nTubes; ++t) {
        in.tubes.push_back(Tube(1500.0 + rng.RandomFloat() * 6000.0, in.ample ? 1000 : 1 + rng.Random(5)));
    }
    const int nParts = 1 + rng.Random(10);
    for (int p = 0; p < nParts; ++p) {
        TGeneralNestPart part =
            Part(rng.Random(15) == 0 ? 8000.0 : 30.0 + rng.RandomFloat() * 2500.0, rng.Random(9));
        part.RealBoxLength = part.FOuterlength * (0.9 + 0.1 * rng.RandomFloat());
        part.CutoffALength = rng.Random(3) * 5.0;
        part.CutoffBLength = rng.Random(3) * 5.0;
        in.parts.push_back(part);
    }
    in.param.SetDisableReverse(rng.Random(3) == 0);
    in.param.SetTailPlaceMode(rng.Random(3) == 0 ? 1 : 0);
    in.gaps = MakeRandomGaps(nParts, rng, -20.0, 25.0, in.param);
    for (int k = 0; k < nParts; ++k) {
        TNestBaseInfo r = in.gaps->GetA1B1Info(1 + rng.Random(nParts), -(1 + rng.Random(nParts)));
        r.CommonLength = rng.Random(2) * 40.0;
        r.IsCommon = r.CommonLength > 0.0;
        r.CommonStyle = rng.Random(2);
        in.gaps->SetA1B1Info(1 + rng.Random(nParts), 1 + rng.Random(nParts), r);
    }
    return in;
}

TEST(Greedy, EveryRandomPlanPassesTheIndependentChecker) {
    TRandomGenerator rng(20241207);
    for (int instance = 0; instance < 300; ++instance) {
        SCOPED_TRACE("instance " + std::to_string(instance));
        Instance in = RandomInstance(rng);
        auto greedy = Greedy(in.parts, in.tubes, *in.gaps, in.param);
        greedy->SetUsePairNestBranch(rng.Random(4) != 0);
        greedy->SetBranchCopyValue(rng.Random(2) == 0);
        TNestResultList results;
        greedy->GetLeastTubeResult(results);
        const auto report = CheckWholePartPlan(results, in.parts, in.tubes, *in.gaps);
        ASSERT_TRUE(report.Ok()) << report.Text();
        double longest = 0.0;
        for (const auto& t : in.tubes) {
            longest = std::max(longest, t.FTubeInitialLen);
        }
        for (std::size_t p = 0; p < in.parts.size(); ++p) {
            if (in.ample && in.parts[p].FOuterlength <= longest) {
                EXPECT_EQ(report.NestedAmounts[p], in.parts[p].FAmountAvail) << "part " << p + 1;
            }
        }
        for (const auto& r : results) {
            for (const std::int32_t ref : r->FPartOrder) {
                EXPECT_TRUE(ref > 0 || !in.param.DisableReverse());
            }
        }
    }
}

/// The parts of an order and the length they take in a tube.
double UsedLength(const Instance& in, const TIntDynArray& order) {
    double length = OrderGapSum(*in.gaps, order);
    for (const std::int32_t ref : order) {
        length += in.parts[static_cast<std::size_t>(std::abs(ref) - 1)].FOuterlength;
    }
    return length;
}

TEST(Greedy, RenestingATubeConservesAmountsAndEnds) {
    TRandomGenerator rng(77);
    int renested = 0;
    for (int instance = 0; instance < 120; ++instance) {
        SCOPED_TRACE("instance " + std::to_string(instance));
        Instance in = RandomInstance(rng);
        auto greedy = Greedy(in.parts, in.tubes, *in.gaps, in.param);
        TNestResultList results;
        greedy->GetLeastTubeResult(results);
        TNode* node = greedy->GetLeastTubeNode(greedy->LeafNodes());
        while (node != nullptr && node->FCurNestResult.empty()) {
            node = node->FPreNode;
        }
        if (node == nullptr) {
            continue;
        }
        const TNode* origin = node;
        const auto tube = static_cast<std::size_t>(origin->FCurTubeIndex);
        TIntDynArray parts = origin->FAllPartCount;
        for (const std::int32_t ref : origin->FCurNestResult) {
            parts[static_cast<std::size_t>(std::abs(ref))] += origin->FCurTubeCount;
            parts[0] += origin->FCurTubeCount;
        }
        TIntDynArray tubes = origin->FAllTubeCount;
        tubes[0] += origin->FCurTubeCount;
        tubes[tube] += origin->FCurTubeCount;

        ASSERT_TRUE(greedy->NestorOp(node));
        ++renested;
        EXPECT_EQ(node->FPreNode, origin->FPreNode);
        EXPECT_GE(node->FCurTubeCount, 1);
        for (const std::int32_t ref : node->FCurNestResult) {
            parts[static_cast<std::size_t>(std::abs(ref))] -= node->FCurTubeCount;
            parts[0] -= node->FCurTubeCount;
        }
        tubes[0] -= node->FCurTubeCount;
        tubes[tube] -= node->FCurTubeCount;
        EXPECT_EQ(node->FAllPartCount, parts);
        EXPECT_EQ(node->FAllTubeCount, tubes);
        EXPECT_GE(*std::min_element(tubes.begin(), tubes.end()), 0);
        EXPECT_NEAR(greedy->GetTubeInitialLen(node->FCurTubeIndex) - node->FCurTubeLenghtAvl,
                    UsedLength(in, node->FCurNestResult), 1e-6);
        EXPECT_GT(node->FCurTubeLenghtAvl, -0.01);
        std::size_t steps = 0;
        for (const TNode* up = node; up != nullptr; up = up->FPreNode) {
            ASSERT_LE(++steps, greedy->NodeCount());
        }
    }
    EXPECT_GT(renested, 80);
}

TEST(Greedy, ReorderingOperationsKeepTheParts) {
    TRandomGenerator rng(99);
    for (int instance = 0; instance < 200; ++instance) {
        SCOPED_TRACE("instance " + std::to_string(instance));
        Instance in = RandomInstance(rng);
        auto greedy = Greedy(in.parts, in.tubes, *in.gaps, in.param);
        TNestResultList results;
        greedy->GetLeastTubeResult(results);
        for (const auto& r : results) {
            const double tube = in.tubes[static_cast<std::size_t>(r->FTubeIndex - 1)].FTubeInitialLen;
            const auto last = static_cast<std::int32_t>(r->FPartOrder.size()) - 1;
            TIntDynArray order = r->FPartOrder;
            double left = -1.0;
            const std::int32_t other =
                std::abs(order.front()) == std::abs(order.back()) ? 0 : std::abs(order.front());
            if (other != 0) { // a part that is not at the index gains nothing
                EXPECT_FALSE(greedy->TrySetPartPos(order, other, last, tube, left));
                EXPECT_EQ(order, r->FPartOrder);
            }
            if (greedy->TrySetPartPos(order, std::abs(order.back()), last, tube, left)) {
                EXPECT_EQ(PartMultiset(order), PartMultiset(r->FPartOrder));
                EXPECT_NEAR(left, tube - UsedLength(in, order), 1e-6);
                EXPECT_GT(left, -1e-6);
            }
            order = r->FPartOrder;
            left = tube - UsedLength(in, order);
            const double before = left;
            const std::int32_t at = last > 0 ? rng.Random(last) : 0;
            if (greedy->TrySetPartPosByMove(order, 0, at, tube, left)) {
                EXPECT_EQ(PartMultiset(order), PartMultiset(r->FPartOrder));
                EXPECT_NEAR(left - before,
                            OrderGapSum(*in.gaps, r->FPartOrder) - OrderGapSum(*in.gaps, order), 1e-6);
            }
        }
    }
}

TEST(Greedy, AStoppedRunReturnsTheTubesItFilled) {
    // Distinct lengths and one tube per entry: a long chain of tubes, stopped after a few.
    TGeneralNestPartArr parts;
    for (int k = 0; k < 40; ++k) {
        parts.push_back(Part(700.0 + 37.0 * k, 1));
    }
    const TGeneralNestTubeArr tubes{Tube(2000, 100)};
    auto gaps = MakeUniformGaps(40, 3.0);
    TNestProgress progress(nullptr);
    NestProgress = &progress;
    int polls = 0;
    SetApplicationProgressSink([&](const std::string&, int, int) {
        if (++polls == 4) {
            progress.CustomStop();
        }
    });
    auto greedy = Greedy(parts, tubes, *gaps, TCADAutoNestParam{});
    TNestResultList results;
    greedy->GetLeastTubeResult(results);
    SetApplicationProgressSink({});
    NestProgress = nullptr;
    const auto report = CheckWholePartPlan(results, parts, tubes, *gaps);
    ASSERT_TRUE(report.Ok()) << report.Text();
    EXPECT_GE(results.Count(), 2);
    EXPECT_LT(results.Count(), 20);
}

} // namespace
} // namespace tubenest
