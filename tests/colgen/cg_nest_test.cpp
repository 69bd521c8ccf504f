// The lower bound on the tubes of the column generation method against brute-force optima.

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
using testsupport::Tube;

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
    const TGeneralNestTubeArr ample{Tube(1000, 100)};
    auto kerf = MakeUniformGaps(1, 3.0);
    kerf->InitializePartGaps();
    TCADAutoNestParam param;
    param.SetDefaultPartGap(3.0);
    TColumnGenerationNest cg(parts, ample, param);
    TTubeLowerBound settled(parts, ample, *kerf);
    cg.SetGapTable(kerf.get());
    cg.SetLowerBound(&settled);
    TNestResultList results;
    cg.GetLeastTubeResult(results);
    EXPECT_EQ(settled.Tubes(), 2);
    EXPECT_TRUE(settled.Settled());
}

} // namespace
} // namespace tubenest
