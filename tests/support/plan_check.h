#pragma once
// Invariants every plan must satisfy, checked from the problem alone: patterns fit their tubes,
// positions follow the gap model, no stock entry is used more often than it is available, and
// every required copy is placed exactly once or reported as not placed.

#include <string>
#include <vector>

#include "api/plan.h"
#include "api/problem.h"

namespace tubenest::testing {

/// Every violated invariant, one line each (empty for a sound plan).
std::vector<std::string> CheckPlanInvariants(const api::Problem& problem, const api::Plan& plan);

} // namespace tubenest::testing
