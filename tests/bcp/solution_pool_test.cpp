#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <vector>

#include "bcp/cutting_stock.h"
#include "bcp/var_pool.h"

namespace tubenest {
namespace {

using bcptest::Solution;
using bcptest::TestPattern;

// Rows with given senses; pricing is not used here.
class SenseProblem final : public TBCPProblem<TestPattern> {
public:
    SenseProblem(std::vector<double> b, std::vector<std::int32_t> senses) : TBCPProblem(b, senses, true) {}
    std::unique_ptr<TBCPProblem> Clone() const override { return std::make_unique<SenseProblem>(*this); }
    void SetDualCost(const std::vector<double>&, double) override {}
    double GetDefaultDualCost(int) const override { return 1.0; }
    std::unique_ptr<TBCPProblem> GetSubBCPProblem(const std::vector<std::int32_t>&,
                                                  const std::vector<std::int32_t>&) const override {
        return nullptr;
    }
};

std::unique_ptr<TestPattern> Column(std::vector<double> counts, double usage = 0.5) {
    return std::make_unique<TestPattern>(std::move(counts), usage);
}

TEST(BcpSolution, CheckSolutionComparesEachRowByItsSenseWithin1e8) {
    struct Case {
        std::int32_t sense;
        double produced;
        bool accepted;
    };
    const std::vector<Case> cases{
        {1, 4.0, true},         {1, 2.99999999, true}, {1, 2.9999, false},   {0, 4.0, false},
        {0, 3.00000001, true},  {0, 2.99999999, true}, {0, 3.000001, false}, {-1, 2.0, true},
        {-1, 3.00000001, true}, {-1, 3.0001, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "sense " << c.sense << " produced " << c.produced);
        SenseProblem problem({3.0, 1.0}, {c.sense, 1});
        Solution solution;
        EXPECT_FALSE(problem.CheckSolution(solution));
        solution.AddSubSolution(Column({c.produced / 2.0, 1.0}), 2);
        EXPECT_EQ(problem.CheckSolution(solution), c.accepted);
    }
}

} // namespace
} // namespace tubenest
