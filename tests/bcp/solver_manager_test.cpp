// The pricing workers against a fake node: a versioned dual record, a column queue and gated
// pricing functions (latches and semaphores, never sleeps).

#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <memory>
#include <semaphore>
#include <stdexcept>
#include <thread>
#include <vector>

#include "bcp/cutting_stock.h"

namespace tubenest {
namespace {

using bcptest::CuttingProblem;
using bcptest::Manager;
using bcptest::TestPattern;
using Columns = std::vector<std::unique_ptr<TestPattern>>;

// The node's side: publishes duals whose single entry is the version, so a pass can tell which
// version it priced from the problem clone's values.
struct FakeNode {
    CuttingProblem problem{{3}, {1}, 10};
    VersionedDualCost duals;
    TColumnFifo<TestPattern> queue;

    void Bind(Manager& manager) {
        manager.InitializeSubSolvers(
            problem, [this](TBCPDualCost& d) { return duals.FetchIfChanged(d); }, &queue);
    }
    void Publish(int version) { duals.Publish(TBCPDualCost({double(version)}, version, 1.0, 0.0)); }
    int Drain() {
        int n = 0;
        std::unique_ptr<TestPattern> col;
        while (queue.Pop(col)) {
            ++n;
        }
        return n;
    }
};

int VersionOf(TBCPProblem<TestPattern>& p) {
    return static_cast<int>(dynamic_cast<CuttingProblem&>(p).Values()[0]);
}

TEST(BcpSolverManagerConcurrency, WithoutWorkersNothingIsAwaited) {
    CuttingProblem problem({3}, {1}, 10);
    Manager manager(&problem);
    manager.TryActivateSubSolvers();
    EXPECT_TRUE(manager.IsAllSubSolverEnd());
    EXPECT_EQ(manager.WaitForSubSolvers(), 0);
}

TEST(BcpSolverManagerConcurrency, EachPublishedVersionIsPricedExactlyOnce) {
    FakeNode node;
    Manager manager(&node.problem);
    std::vector<int> priced; // written by the worker, read only while it is idle
    manager.AddSubProblemSolverWithMultiResult(
        [&](TBCPProblem<TestPattern>& p, int number, double, Columns& out) {
            EXPECT_EQ(number, 0);
            priced.push_back(VersionOf(p));
            out.push_back(std::make_unique<TestPattern>(std::vector<double>{1.0}, 0.3));
            return true;
        });
    EXPECT_EQ(manager.SubSolverThread(0).MethodName(), "0");
    node.Bind(manager);
    manager.TryActivateSubSolvers(); // nothing published yet
    manager.WaitUntilAllSubSolverEnd();
    node.Publish(1);
    manager.TryActivateSubSolvers();
    manager.WaitUntilAllSubSolverEnd();
    manager.TryActivateSubSolvers(); // the same version again
    manager.WaitUntilAllSubSolverEnd();
    node.Publish(2);
    manager.TryActivateSubSolvers();
    manager.TryActivateSubSolvers();
    manager.WaitUntilAllSubSolverEnd();
    EXPECT_EQ(priced, (std::vector<int>{1, 2}));
    EXPECT_EQ(node.Drain(), 2);
}

TEST(BcpSolverManagerConcurrency, TenThousandFastPublishCyclesAreAllPriced) {
    FakeNode node;
    Manager manager(&node.problem);
    std::atomic<int> last{0}, passes{0};
    manager.AddSubProblemSolverWithMultiResult([&](TBCPProblem<TestPattern>& p, int, double, Columns&) {
        last = VersionOf(p);
        ++passes;
        return false;
    });
    node.Bind(manager);
    for (int version = 1; version <= 10000; ++version) {
        node.Publish(version);
        manager.TryActivateSubSolvers();
        while (!manager.IsAllSubSolverEnd()) {
            manager.WaitForSubSolvers();
        }
        ASSERT_EQ(last.load(), version);
    }
    EXPECT_EQ(passes.load(), 10000);
}

TEST(BcpSolverManagerConcurrency, ReleaseWaitsForABlockedPassThenItsColumnsCanBeDrained) {
    FakeNode node;
    Manager manager(&node.problem);
    std::latch entered(1);
    std::binary_semaphore gate(0);
    std::atomic<bool> released{false}, released_while_pricing{false};
    std::atomic<int> calls{0};
    manager.AddSubProblemSolverWithMultiResult([&](TBCPProblem<TestPattern>&, int, double, Columns& out) {
        ++calls;
        entered.count_down();
        gate.acquire();
        released_while_pricing = released.load();
        out.push_back(std::make_unique<TestPattern>(std::vector<double>{1.0}, 0.3));
        return true;
    });
    node.Bind(manager);
    node.Publish(1);
    manager.TryActivateSubSolvers();
    entered.wait();
    std::latch finaliser_started(1);
    int drained = -1;
    std::thread finaliser([&] {
        finaliser_started.count_down();
        manager.ReleaseSubSolvers();
        released = true;
        drained = node.Drain();
    });
    finaliser_started.wait();
    gate.release();
    finaliser.join();
    EXPECT_FALSE(released_while_pricing.load());
    EXPECT_EQ(drained, 1);
    node.Publish(2); // the worker is unbound now: nothing is priced for the old node
    manager.TryActivateSubSolvers();
    manager.WaitUntilAllSubSolverEnd();
    EXPECT_EQ(calls.load(), 1);
    EXPECT_EQ(node.Drain(), 0);
}

TEST(BcpSolverManagerConcurrency, DestructionWhileAPassIsBlockedJoinsTheWorker) {
    FakeNode node;
    auto manager = std::make_unique<Manager>(&node.problem);
    std::latch entered(1);
    std::binary_semaphore gate(0);
    manager->AddSubProblemSolverWithMultiResult([&](TBCPProblem<TestPattern>&, int, double, Columns& out) {
        entered.count_down();
        gate.acquire();
        out.push_back(std::make_unique<TestPattern>(std::vector<double>{1.0}, 0.3));
        return true;
    });
    manager->AddSubProblemSolverWithMultiResult(
        [](TBCPProblem<TestPattern>&, int, double, Columns&) { return false; });
    node.Bind(*manager);
    node.Publish(1);
    manager->TryActivateSubSolvers();
    entered.wait();
    std::thread destroyer([&] { manager.reset(); });
    gate.release();
    destroyer.join();
    EXPECT_EQ(manager, nullptr);
    EXPECT_EQ(node.Drain(), 1); // the pass ended before its worker was joined
}

TEST(BcpSolverManagerConcurrency, APricingErrorEndsThePassAndIsHandedOver) {
    FakeNode node;
    Manager manager(&node.problem);
    std::atomic<int> calls{0};
    manager.AddSubProblemSolverWithMultiResult([&](TBCPProblem<TestPattern>&, int, double, Columns&) -> bool {
        if (++calls == 1) {
            throw std::runtime_error("pricing broke");
        }
        return false;
    });
    node.Bind(manager);
    node.Publish(1);
    manager.TryActivateSubSolvers();
    manager.WaitUntilAllSubSolverEnd();
    EXPECT_EQ(manager.PricingFailureCount(), 1);
    const std::exception_ptr failure = manager.TakePricingFailure();
    ASSERT_NE(failure, nullptr);
    EXPECT_THROW(std::rethrow_exception(failure), std::runtime_error);
    EXPECT_EQ(manager.TakePricingFailure(), nullptr);
    node.Publish(2);
    manager.TryActivateSubSolvers();
    manager.WaitUntilAllSubSolverEnd();
    EXPECT_EQ(calls.load(), 2);
    EXPECT_EQ(manager.PassCount(), 2u);
}

} // namespace
} // namespace tubenest
