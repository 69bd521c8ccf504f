#include "circular/separable_intervals.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "model/random.h"

namespace tubenest {

namespace {

using TI = TClosedInterval;

TI I(double a, double b) {
    return TI::Create(a, b);
}

// ---------------------------------------------------------------------------------------------------
// TSeparateIntervals

// Differential: for lists of disjoint intervals the result is the set intersection; check sample
// points and total length against a direct evaluation.
TEST(SeparateIntervals, IntersectWithMatchesPointwiseIntersectionOnRandomLists) {
    TRandomGenerator rng(20240611);
    const auto makeList = [&rng]() {
        TSeparateIntervals list;
        double pos = rng.RandomFloat() * 5;
        const int n = rng.Random(6);
        for (int k = 0; k < n; ++k) {
            const double len = rng.RandomFloat() * 8;
            list.Add(I(pos, pos + len));
            pos += len + 0.5 + rng.RandomFloat() * 6;
        }
        // shuffle so that the sort inside matters
        for (int k = list.Count() - 1; k > 0; --k) {
            std::swap(list[k], list[rng.Random(k + 1)]);
        }
        return list;
    };
    const auto inside = [](const TSeparateIntervals& AList, double x) {
        for (const TI& it : AList) {
            if (it.Contains(x)) {
                return true;
            }
        }
        return false;
    };
    for (int round = 0; round < 300; ++round) {
        TSeparateIntervals a = makeList();
        TSeparateIntervals b = makeList();
        const TSeparateIntervals a0 = a;
        const TSeparateIntervals b0 = b;
        auto r = a.IntersectWith(b);
        double expectedLength = 0;
        for (const TI& x : a0) {
            for (const TI& y : b0) {
                TI c;
                if (x.IntersectWith(y, c)) {
                    expectedLength += c.GetLength();
                }
            }
        }
        r->ResetLength();
        EXPECT_NEAR(r->IntervalLength(), expectedLength, 1e-9) << "round " << round;
        for (int s = 0; s < 50; ++s) {
            const double x = rng.RandomFloat() * 60;
            EXPECT_EQ(inside(*r, x), inside(a0, x) && inside(b0, x)) << "round " << round << " x " << x;
        }
    }
}

// ---------------------------------------------------------------------------------------------------
// TSeparatableIntervals

// Brute force: the result is a separable position; unlimited it is a nearest one (ties to the
// right); limited it is the last one at or before APos, or 0 when none exists.
TEST(SeparatableIntervals, GetACutPosAgreesWithBruteForce) {
    TRandomGenerator rng(77);
    for (int round = 0; round < 400; ++round) {
        TSeparatableIntervals list;
        double pos = rng.Random(5);
        const int n = 1 + rng.Random(4);
        for (int k = 0; k < n; ++k) {
            const double len = rng.Random(4);
            list.Add(I(pos, pos + len));
            pos += len + 1 + rng.Random(5);
        }
        const double q = rng.Random(static_cast<std::int32_t>(pos) + 4) - 2.0 + 0.5 * rng.Random(2);
        double bestRight = std::numeric_limits<double>::max();
        double bestBefore = -1;
        for (const TI& it : list) {
            if (it.Contains(q)) {
                bestBefore = q;
                bestRight = q;
            } else if (it.ParamEnd < q) {
                bestBefore = std::max(bestBefore, it.ParamEnd);
            } else if (it.ParamStart > q) {
                bestRight = std::min(bestRight, it.ParamStart);
            }
        }
        const double unlimited = list.GetACutPos(q, false);
        const double limited = list.GetACutPos(q, true);
        const double dBefore = bestBefore < 0 ? std::numeric_limits<double>::max() : q - bestBefore;
        const double dRight = bestRight - q;
        EXPECT_EQ(unlimited, dRight <= dBefore ? bestRight : bestBefore) << "round " << round << " q " << q;
        if (bestBefore >= 0) {
            EXPECT_EQ(limited, bestBefore) << "round " << round << " q " << q;
        } else {
            EXPECT_EQ(limited, 0.0) << "round " << round;
        }
        EXPECT_LE(limited, std::max(q, 0.0));
    }
}

} // namespace
} // namespace tubenest
