// The facade method greedy: every plan is sound and never worse than first-fit decreasing.

#include <gtest/gtest.h>

#include "api/solve.h"
#include "model/random.h"
#include "support/plan_check.h"

namespace tubenest::testing {
namespace {

TEST(GreedyMethod, SoundAndNeverWorseThanFirstFitDecreasing) {
    TRandomGenerator rng(31);
    for (int instance = 0; instance < 60; ++instance) {
        SCOPED_TRACE("instance " + std::to_string(instance));
        api::Problem p;
        const int kinds = 3 + rng.Random(25);
        for (int k = 0; k < kinds; ++k) {
            api::PartSpec part;
            part.id = "P" + std::to_string(k);
            part.length = 150.0 + rng.Random(2800);
            part.amount = 1 + rng.Random(12);
            p.parts.push_back(part);
        }
        p.stock.push_back(api::StockSpec{"S1", 3000.0 + rng.Random(4000), 400});
        p.gaps.kerf = rng.Random(4);
        api::SolveOptions options;
        options.seed = 1;
        options.method = "greedy";
        const api::Plan greedy = api::Solve(p, options);
        options.method = "ffd";
        const api::Plan ffd = api::Solve(p, options);
        EXPECT_TRUE(CheckPlanInvariants(p, greedy).empty());
        EXPECT_GE(greedy.totals.copies_placed, ffd.totals.copies_placed);
        if (greedy.totals.copies_placed == ffd.totals.copies_placed) {
            EXPECT_LE(greedy.totals.tubes_used, ffd.totals.tubes_used);
        }
    }
}

} // namespace
} // namespace tubenest::testing
