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

TEST(BcpSolution, MergesEqualColumnsAndChargesTheLeastUsedItsUsage) {
    Solution solution;
    solution.AddSubSolution(Column({1, 0}, 0.4), 1);
    solution.AddSubSolution(Column({0, 2}, 1.0), 1);
    solution.AddSubSolution(Column({2, 1}, 0.9), 1);
    solution.AddSubSolution(Column({0, 2}, 1.0), 2);
    EXPECT_DOUBLE_EQ(solution.GetCSPCost(), 4.4);
    ASSERT_EQ(solution.GetCount(), 3);
    EXPECT_EQ(solution.GetSubSolution(0).Num, 3);
    EXPECT_DOUBLE_EQ(solution.GetSubSolution(2).Var->Usage(), 0.4);
    EXPECT_EQ(solution.GetColumn(3), (std::vector<double>{3.0, 7.0, 0.0}));
    for (int bad : {-1, 3}) {
        EXPECT_THROW(
            try { solution.GetSubSolution(bad); } catch (const std::out_of_range& e) {
                EXPECT_STREQ(e.what(), "Out of Range in getting SubBCPSoution");
                throw;
            },
            std::out_of_range);
    }
    EXPECT_THROW(solution.Delete(3), TEngineAssertion);
    solution.Delete(0);
    EXPECT_DOUBLE_EQ(solution.GetCSPCost(), 1.4);
}

TEST(VarPool, EqualColumnsReturnTheExistingIndexAndLeaveThePoolUnchanged) {
    TVarPool<TestPattern> pool({3.0, 2.0, 4.0}, {1, 1, 1});
    bool exists = true;
    EXPECT_EQ(pool.AddVar(*Column({1, 0, 2}, 0.5), exists), 0);
    EXPECT_FALSE(exists);
    // Same coefficients, other usage: not the same column although the hashes collide.
    EXPECT_EQ(pool.AddVar(*Column({1, 0, 2}, 0.7), exists), 1);
    EXPECT_FALSE(exists);
    auto again = Column({1, 0, 2}, 0.7);
    EXPECT_EQ(pool.AddVar(again, exists), 1);
    EXPECT_TRUE(exists);
    EXPECT_NE(again, nullptr); // a known column stays with the caller
    EXPECT_EQ(pool.AddVar(*Column({1, 0, 2}, 0.5), exists), 0);
    EXPECT_TRUE(exists);
    EXPECT_EQ(pool.Count(), 2);
    EXPECT_EQ(pool.GetColumn(1, {2, 0}), (std::vector<double>{2.0, 1.0}));
    EXPECT_THROW(pool.GetIntSolution({1, 0, 1}), TEngineAssertion);
    EXPECT_EQ(pool.GetIntSolution({0, 3})->GetSubSolution(0).Num, 3);
}

TEST(VarPool, NodeLpAdmitsOnlyColumnsWithinTheNodeRowsAndDemands) {
    TVarPool<TestPattern> pool({3.0, 2.0, 4.0}, {1, 0, -1});
    bool exists = false;
    pool.AddVar(*Column({1, 0, 2}), exists); // fits rows 0 and 2
    pool.AddVar(*Column({0, 1, 0}), exists); // covers row 1, which the node lacks
    pool.AddVar(*Column({3, 0, 0}), exists); // more of row 0 than the node still needs
    pool.AddVar(*Column({2, 0, 0}), exists);
    std::vector<std::int32_t> col_dict, senses;
    std::vector<double> ubs, costs;
    TDoubleMatrix con;
    ASSERT_TRUE(pool.ConstructLP({0, 2}, col_dict, ubs, {2.0, 4.0}, senses, con, costs));
    EXPECT_EQ(col_dict, (std::vector<std::int32_t>{-1, 0, 3}));
    EXPECT_EQ(ubs, (std::vector<double>{2.0, 1.0}));
    EXPECT_EQ(senses, (std::vector<std::int32_t>{1, -1}));
    EXPECT_EQ(con, (TDoubleMatrix{{2.0, 1.0, 2.0}, {4.0, 2.0, 0.0}}));
    EXPECT_EQ(costs, (std::vector<double>{1.0, 1.0}));
    EXPECT_THROW(pool.ConstructLP({0}, col_dict, ubs, {2.0, 4.0}, senses, con, costs), TEngineAssertion);
}

} // namespace
} // namespace tubenest
