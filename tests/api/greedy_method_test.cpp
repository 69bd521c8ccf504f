// The facade methods greedy, packed and cg: every plan is sound and never worse than first-fit decreasing.

#include <gtest/gtest.h>

#include "api/solve.h"
#include "model/random.h"
#include "support/plan_check.h"

namespace tubenest::testing {
namespace {

TEST(TreeSearchMethods, SoundAndNeverWorseThanFirstFitDecreasing) {
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
        options.method = "ffd";
        const api::Plan ffd = api::Solve(p, options);
        for (const char* method : {"greedy", "packed", "cg"}) {
            options.method = method;
            const api::Plan plan = api::Solve(p, options);
            EXPECT_TRUE(CheckPlanInvariants(p, plan).empty()) << method;
            EXPECT_GE(plan.totals.copies_placed, ffd.totals.copies_placed) << method;
            if (plan.totals.copies_placed == ffd.totals.copies_placed) {
                EXPECT_LE(plan.totals.tubes_used, ffd.totals.tubes_used) << method;
            }
        }
    }
}

} // namespace
} // namespace tubenest::testing
