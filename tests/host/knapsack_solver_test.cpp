#include "host/knapsack_solver.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <vector>

#include "model/random.h"

namespace tubenest {
namespace {

using Ints = std::vector<std::int32_t>;

/// Best value by enumerating every count vector.
std::int64_t BruteForce(const Ints& w, const Ints& v, const Ints& b, std::int32_t cap) {
    std::int64_t best = 0;
    std::function<void(std::size_t, std::int64_t, std::int64_t)> walk =
        [&](std::size_t i, std::int64_t weight, std::int64_t value) {
            if (weight > cap) {
                return;
            }
            if (i == w.size()) {
                best = std::max(best, value);
                return;
            }
            for (std::int64_t k = 0; k <= b[i]; ++k) {
                walk(i + 1, weight + k * w[i], value + k * v[i]);
            }
        };
    walk(0, 0, 0);
    return best;
}

/// Checks a solution: bounds, capacity, the returned value equal to the counts' value and to the optimum.
void ExpectOptimal(const Ints& w, const Ints& v, const Ints& b, std::int32_t cap, std::int64_t optimum) {
    TKnapsackSolver solver;
    Ints counts{99};
    const std::int64_t value = solver.SolveMultiKnapsack(w, v, b, cap, counts);
    ASSERT_EQ(counts.size(), w.size());
    std::int64_t weight = 0;
    std::int64_t sum = 0;
    for (std::size_t i = 0; i < w.size(); ++i) {
        EXPECT_GE(counts[i], 0);
        EXPECT_LE(counts[i], b[i]);
        weight += std::int64_t{counts[i]} * w[i];
        sum += std::int64_t{counts[i]} * v[i];
    }
    EXPECT_LE(weight, std::max(cap, 0));
    EXPECT_EQ(sum, value);
    EXPECT_EQ(value, optimum);
}

// Both the value = weight path and the general one, against enumeration; weights share common
// divisors often, so the division by the gcd is exercised, and many weights coincide.
TEST(KnapsackSolver, SmallRandomInstancesMatchBruteForce) {
    TRandomGenerator random(4242);
    for (int instance = 0; instance < 600; ++instance) {
        SCOPED_TRACE(instance);
        const int n = 1 + random.Random(5);
        const int unit = 1 + random.Random(4) * random.Random(6);
        Ints w, v, b;
        for (int i = 0; i < n; ++i) {
            w.push_back(unit * random.Random(12));
            b.push_back(random.Random(5));
            v.push_back(instance % 2 == 0 ? w.back() : random.Random(30) - 5);
        }
        const std::int32_t cap = random.Random(8) == 0 ? -1 : unit * random.Random(40) + random.Random(unit);
        ExpectOptimal(w, v, b, cap, cap < 0 ? 0 : BruteForce(w, v, b, cap));
    }
}

TEST(KnapsackSolver, EdgeCasesAndBadInput) {
    ExpectOptimal({700, 800}, {700, 800}, {3, 1}, 600, 0); // nothing fits: all zero
    ExpectOptimal({0, 10}, {5, 10}, {3, 2}, 15, 25);       // a weightless item is taken whole
    ExpectOptimal({300, 300, 300}, {300, 300, 300}, {1, 2, 4}, 2000, 1800); // equal items share a group
    TKnapsackSolver solver;
    Ints counts;
    EXPECT_THROW(solver.SolveMultiKnapsack({1, 2}, {1}, {1, 1}, 5, counts), std::invalid_argument);
    EXPECT_THROW(solver.SolveMultiKnapsack({-1}, {1}, {1}, 5, counts), std::invalid_argument);
    EXPECT_THROW(solver.SolveMultiKnapsack({1}, {1}, {-2}, 5, counts), std::invalid_argument);
    EXPECT_THROW(solver.SolveMultiKnapsack({1, 2}, {1, 2}, {1 << 30, 1 << 30}, 1 << 30, counts),
                 std::invalid_argument); // more cells than the work buffers allow
}

} // namespace
} // namespace tubenest
