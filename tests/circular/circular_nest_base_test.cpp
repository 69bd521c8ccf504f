// The circular nest base refuses parameter records it cannot use.

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "circular/circular_nest.h"
#include "support/circular_instances.h"

namespace tubenest {
namespace {

using testsupport::MakeInstance;

TEST(CircularNestBase, UnusableParameterRecordsAreRejected) {
    auto inst = MakeInstance({{1000, 1}, {500, 2}}, {{6000, 2}}, 5, 50);
    const std::vector<void (*)(TNestAlgorithmParam&)> breakers = {
        [](TNestAlgorithmParam& p) { p.PartsCalInfo = nullptr; },
        [](TNestAlgorithmParam& p) { p.AGNestTubes.clear(); },
        [](TNestAlgorithmParam& p) { p.PartIntervalsList.pop_back(); },
        [](TNestAlgorithmParam& p) { p.AGNestTubes[0].FTubeInitialLen = 0.0; },
        [](TNestAlgorithmParam& p) { p.AGNestParts[1].FAmountAvail = -1; },
    };
    for (std::size_t k = 0; k < breakers.size(); ++k) {
        TNestAlgorithmParam param = inst->AlgorithmParam();
        breakers[k](param);
        EXPECT_THROW(TCircularNest{param}, std::invalid_argument) << k;
    }
    // A missing interval list means "nowhere separable", not an error.
    TNestAlgorithmParam param = inst->AlgorithmParam();
    param.PartIntervalsList[0] = nullptr;
    TCircularNest nest(param);
    EXPECT_TRUE(nest.PartIntervals(0).IsEmpty());
    EXPECT_FALSE(nest.IsPointLocatein(500.0, 0));
}

} // namespace
} // namespace tubenest
