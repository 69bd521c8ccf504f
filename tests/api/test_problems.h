#pragma once
// Small problems shared by the facade tests.

#include "api/problem.h"

namespace tubenest::testing {

/// Two parts (P1 1200 x2, P2 800 x3), one stock entry (S1 6000 x5), kerf 3.
inline api::Problem SmallProblem() {
    api::Problem p;
    p.parts.push_back(api::PartSpec{"P1", "", 1200.0, std::nullopt, 0.0, 0.0, 2, "", "", std::nullopt});
    p.parts.push_back(api::PartSpec{"P2", "bracket", 800.0, std::nullopt, 0.0, 0.0, 3, "", "", std::nullopt});
    p.stock.push_back(api::StockSpec{"S1", 6000.0, 5});
    p.gaps.kerf = 3.0;
    return p;
}

} // namespace tubenest::testing
