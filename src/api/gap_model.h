#pragma once
// Turns a Problem's gap model and parameters into what the engine reads: the parameter block and
// a gap manager whose pair table is complete (every record calculated).

#include <memory>

#include "api/problem.h"
#include "host/cad_param.h"
#include "model/seg_place_info.h"

namespace tubenest::api {

/// The engine's parameter block for the problem's nesting parameters. The co-edge flags and the
/// sub-configuration are host objects: the caller attaches them (see EngineInput).
TCADAutoNestParam BuildNestParam(const Problem& problem);

/// The placement record for part reference a followed by part reference b (signed, 1-based), by
/// the rules of GapModel. The problem must be valid.
TNestBaseInfo GapRecordFor(const Problem& problem, std::int32_t a, std::int32_t b);

/// A gap manager for the problem's parts with every record calculated, the part lengths filled
/// with the outer lengths, and InitializePartGaps done. The problem must be valid.
std::unique_ptr<TSegPlaceInfoManager> BuildGapManager(const Problem& problem, const TCADAutoNestParam& param);
/// The same with BuildNestParam(problem).
std::unique_ptr<TSegPlaceInfoManager> BuildGapManager(const Problem& problem);

} // namespace tubenest::api
