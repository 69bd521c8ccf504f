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

using testsupport::BruteForceTubes;
using testsupport::MakeRandomGaps;
using testsupport::MakeUniformGaps;
using testsupport::Part;
using testsupport::Tube;

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
        // The method's repair accepts 0.001 mm over the tube; so does the optimum here.
        const std::int32_t optimum = BruteForceTubes(parts, *gaps, 1000, 0.001);
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
