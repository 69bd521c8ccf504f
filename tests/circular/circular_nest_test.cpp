// The circular nest on small hand-made orders: no copy is lost, bad orders are refused, and nests
// on several threads agree.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "circular/circular_nest.h"
#include "model/random.h"
#include "support/circular_instances.h"
#include "support/circular_plan_checker.h"

namespace tubenest {
namespace {

using testsupport::CheckCircularPlan;
using testsupport::ExpectResults;
using testsupport::MakeInstance;
using testsupport::MakeRandomInstance;
using testsupport::TCircularInstance;

/// Runs an order and checks the plan with the independent checker (unplaced copies allowed).
template <typename TNest = TStraightCutNest>
std::unique_ptr<TNest> RunOrder(const TCircularInstance& AInst, const TIntDynArray& AOrder) {
    auto nest = std::make_unique<TNest>(AInst.AlgorithmParam());
    nest->CircularNestMain(AOrder);
    auto manager = nest->CreateCutPartsManager();
    testsupport::TCircularPlanCheckOptions options;
    options.AllowUnplaced = true;
    const auto check = CheckCircularPlan(AInst.Parts, AInst.Tubes, *AInst.Gaps, AInst.Param,
                                         nest->FNestResults, nest->FCutNestParts, *manager, options);
    EXPECT_TRUE(check.ok) << check.Report();
    return nest;
}

/// Tube, order and used length of every result, for comparing whole runs.
std::string Dump(const TNestResultList& AList) {
    std::ostringstream out;
    for (const auto& r : AList) {
        out << r->FTubeIndex << ':' << ::testing::PrintToString(r->FPartOrder) << '@' << r->FLengthUsed
            << ';';
    }
    return out.str();
}

TEST(CircularNest, WithNoTubeLeftALoneCrossingPartGivesItsTubeBack) {
    auto inst = MakeInstance({{1500, 1}}, {{1000, 1}}, 0, 100);
    auto nest = RunOrder(*inst, {1});
    EXPECT_EQ(nest->FNestResults.Count(), 0);
    EXPECT_EQ(nest->FNestParts[0].FAmountAvail, 1);
    EXPECT_EQ(nest->FNestTubes[0].FAmountAvail, 1);
    EXPECT_FALSE(nest->FIsTubesEnough);
}

TEST(CircularNest, CopiesThatCannotBeLaidStayVisible) {
    auto inst = MakeInstance({{9000, 2}, {1000, 1}}, {{6000, 5}}, 0, 100);
    inst->Intervals[0].reset(); // nowhere separable and longer than every tube
    auto nest = RunOrder(*inst, {1, 2, 1});
    EXPECT_EQ(nest->FNestParts[0].FAmountAvail, 2);
    ExpectResults(nest->FNestResults, {{{2}}});
    // An order with more entries than copies lays the copies once.
    ExpectResults(RunOrder(*inst, {2, 2, 2})->FNestResults, {{{2}}});
}

TEST(CircularNest, BadOrdersAreRejected) {
    auto inst = MakeInstance({{1000, 1}}, {{6000, 5}}, 0, 100);
    TCircularNest nest(inst->AlgorithmParam());
    EXPECT_THROW(nest.CircularNestMain({1, 0}), std::invalid_argument);
    TCircularNest other(inst->AlgorithmParam());
    EXPECT_THROW(other.CircularNestMain({-2}), std::invalid_argument);
}

TEST(CircularNestConcurrency, NestsOnSeveralThreadsShareOneParameterRecord) {
    TRandomGenerator random(777);
    testsupport::TRandomInstanceOptions options;
    options.CutShape = 1;
    auto inst = MakeRandomInstance(random, options);
    const TNestAlgorithmParam param = inst->AlgorithmParam();
    std::vector<TIntDynArray> orders;
    for (int i = 0; i < 8; ++i) {
        TIntDynArray order = inst->FullOrder();
        for (std::int32_t k = static_cast<std::int32_t>(order.size()) - 1; k > 0; --k) {
            std::swap(order[static_cast<std::size_t>(k)],
                      order[static_cast<std::size_t>(random.Random(k + 1))]);
        }
        orders.push_back(std::move(order));
    }
    const auto runAll = [&param, &orders](std::vector<TNestResultList>& AOut, std::size_t AFrom,
                                          std::size_t AStep) {
        for (std::size_t i = AFrom; i < orders.size(); i += AStep) {
            auto nest = CreateCircularNest(param);
            nest->CircularNestMain(orders[i]);
            AOut[i] = nest->FNestResults;
        }
    };
    std::vector<TNestResultList> alone(orders.size());
    runAll(alone, 0, 1);
    std::vector<TNestResultList> together(orders.size());
    std::thread a(runAll, std::ref(together), 0, 2);
    std::thread b(runAll, std::ref(together), 1, 2);
    a.join();
    b.join();
    for (std::size_t i = 0; i < orders.size(); ++i) {
        EXPECT_EQ(Dump(alone[i]), Dump(together[i])) << i;
    }
}

} // namespace
} // namespace tubenest
