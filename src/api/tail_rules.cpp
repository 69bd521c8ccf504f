#include "api/tail_rules.h"

#include "tailplace/tail_place.h"

namespace tubenest::api {

std::optional<std::string> TailRulesFault(const Problem& problem, const std::string& method) {
    if (!problem.tail || method != "circular" || problem.parameters.splitting == Splitting::Never) {
        return std::nullopt;
    }
    return std::string("tail: tail rules place whole parts, but the circular method splits parts with "
                       "parameters.splitting \"") +
           SplittingName(problem.parameters.splitting) +
           "\"; set splitting to \"never\" or choose a method that keeps parts whole (svc, greedy, packed, "
           "cg, bcp, ffd)";
}

TNestResultList PlaceTails(const EngineInput& input, const TNestResultList& results,
                           std::optional<std::chrono::steady_clock::time_point> deadline) {
    TNestResultList out = results;
    TTailPlace place(input.parts, input.tubes, input.param, *input.gaps);
    place.SetDeadline(deadline);
    place.TryTailPlace(out);
    return out;
}

} // namespace tubenest::api
