// TGreedyAlgorithm: the value correction refuses divisions by zero.

#include <gtest/gtest.h>

#include <tuple>

#include "support/gap_tables.h"
#include "support/svc_plan_checker.h"
#include "svc/svc_nest.h"
#include "svc_test_util.h"

namespace tubenest {
namespace {

using svc_test::Candidate;

TEST(SvcGreedy, ModifyPartValueRejectsDivisionsByZero) {
    TRandomGenerator r(1);
    for (const auto& [amount, left, tubes] : {std::tuple{0, 100.0, 1}, {1, 6000.0, 1}, {1, 100.0, -5}}) {
        EXPECT_THROW(TGreedyAlgorithm::ModifyPartValue(Candidate(0, 10, 10, amount), 6000, left, tubes, 1, r),
                     std::invalid_argument);
    }
}

} // namespace
} // namespace tubenest
