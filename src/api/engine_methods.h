#pragma once
// The engine's nesting methods as facade methods: each turns an EngineInput into the engine's own
// inputs, runs the method and returns its results with the split pieces they use.

#include "api/engine.h"

namespace tubenest::api {

/// Circular nesting: the particle swarm over part orders, splitting parts at separable positions.
EngineOutput RunCircularMethod(const EngineInput& input, const MethodContext& context);
/// SVC nesting: value-driven knapsack filling of tube after tube; never splits.
EngineOutput RunSvcMethod(const EngineInput& input, const MethodContext& context);
/// Greedy nesting: a node-tree search that fills tube after tube by attaching the best-ranked
/// neighbour at either end of the row; never splits. Where first-fit decreasing places more copies,
/// or as many in fewer tubes or with less stock, its plan is returned instead.
EngineOutput RunGreedyMethod(const EngineInput& input, const MethodContext& context);
/// Packed nesting: a node-tree search that fills each tube by a knapsack over the parts left, with
/// a long-part-first branch and trace-back; surplus copies are taken out and missing ones nested by
/// the greedy method. Never splits. Where first-fit decreasing does better, its plan is returned.
EngineOutput RunPackedMethod(const EngineInput& input, const MethodContext& context);
/// Column generation: per tube length, the linear relaxation of the cutting problem solved by
/// column generation, its patterns rounded, repaired with the real gaps and compacted; surplus
/// copies are taken out and missing ones nested by the greedy method. Never splits. Sets the
/// output's lower bound (whole parts only): the relaxation's value, proven by its duals.
EngineOutput RunCgMethod(const EngineInput& input, const MethodContext& context);
/// Branch-cut-price: per tube length, a branch-and-price search over tube patterns priced by
/// knapsacks on one worker thread (so that a seed gives one plan whatever the thread count);
/// surplus copies are taken out and missing ones nested by the greedy method. Never splits. Sets
/// the output's lower bound (whole parts only): the search's root bound where its pricing is exact
/// and its column generation finished, else the relaxation bound of the column generation.
EngineOutput RunBcpMethod(const EngineInput& input, const MethodContext& context);

} // namespace tubenest::api
