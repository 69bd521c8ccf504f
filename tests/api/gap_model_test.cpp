#include <gtest/gtest.h>

#include "api/example_problem.h"
#include "api/gap_model.h"

using namespace tubenest;
using namespace tubenest::api;

TEST(GapModel, RecordForAgreesWithTheManagerOnTheExample) {
    const Problem p = MakeExampleProblem();
    const auto gaps = BuildGapManager(p);
    const int n = static_cast<int>(p.parts.size());
    for (int a = -n; a <= n; ++a) {
        for (int b = -n; b <= n; ++b) {
            if (a == 0 || b == 0) {
                continue;
            }
            const TNestBaseInfo expected = GapRecordFor(p, a, b);
            const TNestBaseInfo& got = gaps->GetA1B1InfoRef(a, b);
            ASSERT_DOUBLE_EQ(got.FixedGap, expected.FixedGap) << a << "," << b;
            ASSERT_EQ(got.IsCommon, expected.IsCommon) << a << "," << b;
            ASSERT_TRUE(got.Caled);
        }
    }
}
