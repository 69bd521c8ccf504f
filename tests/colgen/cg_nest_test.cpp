// The column generation nesting method: patterns turned into results, the repair of a pass, and the
// lower bound on the tubes against brute-force optima.

#include "colgen/cg_nest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "colgen/tube_lower_bound.h"
#include "model/random.h"
#include "support/gap_tables.h"

namespace tubenest {
namespace {

using testsupport::MakeRandomGaps;
using testsupport::MakeUniformGaps;
using testsupport::Part;
using testsupport::SetGap;
using testsupport::Tube;

/// The driver on parts with the given lengths and one tube entry, every gap 0; a pass over all parts.
struct Pass {
    TGeneralNestPartArr parts;
    TGeneralNestTubeArr tubes;
    std::unique_ptr<TSegPlaceInfoManager> gaps;
    std::unique_ptr<TColumnGenerationNest> cg;
    TColumnGenerationNest::TNestDataList datas;
    TColumnGenerationNest::TPartDictionary dictionary;
    TColGenData data;

    Pass(const std::vector<double>& lengths, double tube, const TIntDynArray& demand)
        : data(static_cast<std::int32_t>(lengths.size())) {
        for (std::size_t k = 0; k < lengths.size(); ++k) {
            parts.push_back(Part(lengths[k], 100));
            datas.push_back({lengths[k], demand[k], static_cast<std::int32_t>(k)});
            dictionary[static_cast<std::int32_t>(k)] = static_cast<std::int32_t>(k);
            data.FPartLengths[k] = lengths[k];
            data.FPartAmounts[k] = demand[k];
            data.FPartOriIndexs[k] = static_cast<std::int32_t>(k);
        }
        data.FTubeLengths[0] = tube;
        tubes.push_back(Tube(tube, 100));
        gaps = MakeUniformGaps(static_cast<int>(lengths.size()), 0.0);
        gaps->InitializePartGaps();
        cg = std::make_unique<TColumnGenerationNest>(parts, tubes, TCADAutoNestParam{});
        cg->SetGapTable(gaps.get());
    }
    /// Copies placed per part (every tube counted), then the tubes.
    std::vector<std::int64_t> Placed(const TNestResultList& results) const {
        std::vector<std::int64_t> placed(parts.size() + 1, 0);
        for (const auto& r : results) {
            placed.back() += r->FTubeCount;
            for (const std::int32_t ref : r->FPartOrder) {
                placed[static_cast<std::size_t>(std::abs(ref) - 1)] += r->FTubeCount;
            }
        }
        return placed;
    }
};

TEST(CGNest, PatternsThatOverProduceAreSplitIntoTubesWithFewerCopies) {
    struct Case {
        std::int32_t copies, amount, demand, limit;
        std::vector<std::pair<std::int32_t, std::size_t>> results; // tubes, copies per tube
    };
    const Case cases[] = {
        {1, 7, 5, 10, {{5, 1}}},                 // the two tubes too many are not cut
        {2, 4, 5, 10, {{2, 1}, {1, 1}, {1, 2}}}, // 5 copies in 4 tubes
        {1, 7, 7, 3, {{3, 1}}},                  // only 3 tubes free
    };
    for (const auto& c : cases) {
        Pass pass({100}, 1000, {c.demand});
        TColGenResult solution{{{c.copies}}, {c.amount}, {}, c.amount};
        TNestResultList results;
        pass.cg->CGResultToNestResult(0, c.limit, solution, pass.datas, pass.data, results);
        ASSERT_EQ(results.Count(), static_cast<int>(c.results.size())) << c.copies << " x " << c.amount;
        for (int k = 0; k < results.Count(); ++k) {
            EXPECT_EQ(results[k].FTubeCount, c.results[static_cast<std::size_t>(k)].first);
            EXPECT_EQ(results[k].FPartOrder.size(), c.results[static_cast<std::size_t>(k)].second);
            EXPECT_EQ(results[k].FTubeIndex, 1);
        }
        EXPECT_EQ(pass.data.FPartAmounts[0], c.demand - pass.Placed(results)[0]);
    }
    // A run alternates directions, starting turned, where its pair and single gaps differ.
    Pass pass({100}, 1000, {3});
    EXPECT_EQ(pass.cg->OrderParts({0}, {3}), (TIntDynArray{1, 1, 1}));
    SetGap(*pass.gaps, 1, 1, 5.0);
    SetGap(*pass.gaps, 1, -1, 2.0);
    SetGap(*pass.gaps, -1, 1, 8.0);
    pass.gaps->FSinglePartGaps.clear();
    pass.gaps->InitializePartGaps();
    EXPECT_EQ(pass.cg->OrderParts({0}, {3}), (TIntDynArray{-1, 1, -1}));
}

TEST(CGNest, RepairPlacesExactlyTheOpenDemandAndGivesBackWhatFitsNowhere) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::int32_t, TIntDynArray>> results; // tubes, order
        TIntDynArray demand;                                        // open in the problem
        std::vector<std::int64_t> placed;                           // copies per part, then tubes
        TIntDynArray demandAfter;
    };
    // Parts 900, 40, 30 and 80 mm in a 1000 mm tube.
    const Case cases[] = {
        {"the amount ends the insertion", {{1, {1}}}, {0, 1, 0, 0}, {1, 1, 0, 0, 1}, {0, 0, 0, 0}},
        {"split-off clone takes, rest visited", {{3, {1}}}, {0, 1, 2, 0}, {3, 1, 2, 0, 3}, {0, 0, 0, 0}},
        {"overflowing parts come out", {{2, {1, 4, 4}}}, {0, 0, 0, 0}, {2, 0, 0, 2, 2}, {0, 0, 0, 2}},
        {"a tube emptied into another", {{1, {1}}, {1, {2, 2}}}, {0, 0, 0, 0}, {1, 2, 0, 0, 1}, {0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        Pass pass({900, 40, 30, 80}, 1000, c.demand);
        TNestResultList results;
        for (const auto& [tubes, order] : c.results) {
            auto r = std::make_unique<TNestResult>();
            r->FTubeIndex = 1;
            r->FTubeCount = tubes;
            r->FPartOrder = order;
            pass.cg->UpdateNestResultInfo(*r);
            results.Add(std::move(r));
        }
        pass.cg->TryInsertMorePart(results, pass.datas, pass.dictionary, pass.data);
        EXPECT_EQ(pass.Placed(results), c.placed) << c.name;
        EXPECT_EQ(pass.data.FPartAmounts, c.demandAfter) << c.name;
        for (const auto& r : results) {
            EXPECT_LE(r->FLengthUsed, 1000.0 + 1e-6) << c.name;
        }
    }
}

/// Fewest tubes of length ATube for the copies (part references 1..n, each copy may be turned),
/// by dynamic programmes over subsets: shortest layout of each subset, then the best partition.
std::int32_t BruteForceTubes(const TGeneralNestPartArr& parts, const TSegPlaceInfoManager& gaps,
                             double tube) {
    std::vector<std::int32_t> copies;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        copies.insert(copies.end(), static_cast<std::size_t>(parts[i].FAmountAvail),
                      static_cast<std::int32_t>(i) + 1);
    }
    const std::size_t n = copies.size();
    const std::size_t full = (std::size_t{1} << n) - 1;
    const double inf = std::numeric_limits<double>::infinity();
    // best[mask][2c + turned]: shortest layout of mask ending with copy c.
    std::vector<std::vector<double>> best(full + 1, std::vector<double>(2 * n, inf));
    auto ref = [&](std::size_t state) { return state % 2 == 0 ? copies[state / 2] : -copies[state / 2]; };
    auto length = [&](std::size_t state) {
        return parts[static_cast<std::size_t>(copies[state / 2] - 1)].FOuterlength;
    };
    for (std::size_t s = 0; s < 2 * n; ++s) {
        best[std::size_t{1} << (s / 2)][s] = length(s);
    }
    std::vector<char> fits(full + 1, 0);
    for (std::size_t mask = 1; mask <= full; ++mask) {
        for (std::size_t s = 0; s < 2 * n; ++s) {
            if (best[mask][s] == inf) {
                continue;
            }
            // The repair of the method accepts 0.001 mm over the tube; so does the optimum here.
            fits[mask] = fits[mask] != 0 || best[mask][s] <= tube + 0.001;
            for (std::size_t t = 0; t < 2 * n; ++t) {
                const std::size_t bit = std::size_t{1} << (t / 2);
                if ((mask & bit) == 0) {
                    best[mask | bit][t] = std::min(best[mask | bit][t],
                                                   best[mask][s] + gaps.GetGap(ref(s), ref(t)) + length(t));
                }
            }
        }
    }
    std::vector<std::int32_t> tubes(full + 1, 1000);
    tubes[0] = 0;
    for (std::size_t mask = 1; mask <= full; ++mask) {
        const std::size_t low = mask & (~mask + 1);
        for (std::size_t sub = mask; sub != 0; sub = (sub - 1) & mask) {
            if ((sub & low) != 0 && fits[sub] != 0) {
                tubes[mask] = std::min(tubes[mask], tubes[mask & ~sub] + 1);
            }
        }
    }
    return tubes[full];
}

TEST(TubeLowerBound, NeverAboveTheOptimumOfSmallProblemsWithOrientationGaps) {
    TRandomGenerator rng(1616);
    int proven = 0;
    for (int round = 0; round < 40; ++round) {
        const int kinds = 1 + rng.Random(3);
        TGeneralNestPartArr parts;
        int total = 0; // copies: at most 7
        for (int k = 0; k < kinds; ++k) {
            const int amount = std::min(1 + rng.Random(3), 7 - total - (kinds - k - 1));
            total += amount;
            parts.push_back(Part(150 + rng.Random(550) + 0.25 * rng.Random(4), amount));
        }
        auto gaps = MakeRandomGaps(kinds, rng, -10.0, 30.0);
        gaps->InitializePartGaps();
        // A shorter entry comes first: the bound must still hold for the longest.
        const TGeneralNestTubeArr tubes{Tube(600, 3), Tube(1000, 10)};
        const std::int32_t optimum = BruteForceTubes(parts, *gaps, 1000);
        SCOPED_TRACE("round " + std::to_string(round) + ", optimum " + std::to_string(optimum));

        TTubeLowerBound bound(parts, tubes, *gaps);
        ASSERT_TRUE(bound.Usable());
        EXPECT_EQ(bound.TubeLength(), 1000);
        TColumnGenerationNest cg(parts, tubes, TCADAutoNestParam{}); // the duals of its passes
        cg.SetGapTable(gaps.get());
        cg.SetLowerBound(&bound);
        TNestResultList results;
        cg.GetLeastTubeResult(results);
        std::vector<double> duals(parts.size());
        for (double& d : duals) {
            d = rng.RandomFloat() - 0.2; // any duals, negative ones too, give a valid bound
        }
        bound.AddDuals(duals);
        EXPECT_LE(bound.Tubes(), optimum);
        bound.Solve();
        EXPECT_LE(bound.Tubes(), optimum);
        proven += bound.Tubes() == optimum ? 1 : 0;
    }
    EXPECT_GT(proven, 20); // not a bound of 1 everywhere

    // Common cuts: two parts of 505 mm share 10 mm and fit one tube of 1000 mm.
    const TGeneralNestPartArr parts{Part(505, 2)};
    auto gaps = MakeUniformGaps(1, -10.0);
    gaps->InitializePartGaps();
    TTubeLowerBound bound(parts, {Tube(1000, 2)}, *gaps);
    bound.Solve();
    EXPECT_EQ(bound.Tubes(), 1);
    EXPECT_EQ(bound.Source(), TTubeLowerBound::TSource::ColumnGeneration);

    // With every gap 3 mm the method's first solve is the relaxed problem: its duals settle the
    // bound (two tubes: 505 + 3 + 505 > 1000), no column generation of its own is needed.
    Pass pass({505}, 1000, {2});
    pass.parts[0].FAmountAvail = 2;
    pass.gaps = MakeUniformGaps(1, 3.0);
    pass.gaps->InitializePartGaps();
    TCADAutoNestParam param;
    param.SetDefaultPartGap(3.0);
    TColumnGenerationNest cg(pass.parts, pass.tubes, param);
    TTubeLowerBound settled(pass.parts, pass.tubes, *pass.gaps);
    cg.SetGapTable(pass.gaps.get());
    cg.SetLowerBound(&settled);
    TNestResultList results;
    cg.GetLeastTubeResult(results);
    EXPECT_EQ(settled.Tubes(), 2);
    EXPECT_TRUE(settled.Settled());
}

} // namespace
} // namespace tubenest
