#pragma once
// Tail rules in the facade: the check of method and splitting policy, and the tail placement of a
// finished plan's results (the engine's TTailPlace on the run's input).

#include <chrono>
#include <optional>
#include <string>

#include "api/engine.h"
#include "api/problem.h"

namespace tubenest::api {

/// The fault of running a method with tail rules, if any: tail placement moves whole parts only,
/// so the circular method is refused unless its splitting is "never".
std::optional<std::string> TailRulesFault(const Problem& problem, const std::string& method);

/// The results with the tail parts placed at the tube tails: every copy kept, no more tubes, each
/// qualified result flagged. Results with split pieces are returned unchanged. Honours the run's
/// stop request and, when given, the deadline.
TNestResultList PlaceTails(const EngineInput& input, const TNestResultList& results,
                           std::optional<std::chrono::steady_clock::time_point> deadline);

} // namespace tubenest::api
