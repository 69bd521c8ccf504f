#pragma once
// The weld clean-up after a circular nesting run.
//
// The swarm ranks plans by tubes first, so a plan may keep splits that save no stock: the part
// would have fitted whole into a tube the plan already uses. Every such split costs a weld for
// nothing. RemoveNeedlessWelds undoes them, one front/back pair at a time, by
//   1. laying the whole part into any tube of the plan that has room for it (the tubes that held
//      its pieces included, after the pieces are taken out), at the position that needs the least
//      length; or
//   2. laying it into the tube of one of its pieces after moving one other part of that tube into
//      the tube of the other piece (where the removed piece made room).
// Tubes are only emptied, never added, so the tube count never grows; a tube left empty is
// dropped. Lengths come from the cut parts manager (extended part array and gap table), and every
// tube stays within its length + kCircularTolerance.

#include <cstdint>

#include "circular/cut_parts_manager.h"
#include "model/nest_result.h"
#include "model/nest_types.h"

namespace tubenest {

/// Undoes needless splits in AResults (piece references laid out as AManager's: split c of
/// ACutParts has its front piece at AManager.FOriPartCount + 2c + 1, its back piece right after).
/// The Amount of an undone split decreases in ACutParts and in AManager.FCutNestPartList (an entry
/// may drop to 0; the layout of the others is kept). Results that change are rebuilt (identical
/// tubes merged, FLengthUsed and FPartPlaceData from AManager's gap table); when nothing is undone
/// AResults stays as it was. ATubes gives each tube entry's length. Returns the pairs undone.
std::int32_t RemoveNeedlessWelds(TNestResultList& AResults, TCutNestParts& ACutParts,
                                 TCutPartsManager& AManager, const TGeneralNestTubeArr& ATubes,
                                 bool ADisableReverse);

} // namespace tubenest
