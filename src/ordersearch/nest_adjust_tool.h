#pragma once
// TNestAdjustTool: stateless post-processing shared by the nesting methods. This header holds the
// in-tube order searches and the merge of identical patterns that the methods call while they work.
//
// CalcTsp        repeated passes of segment reversal and segment moves over one tube's order,
//                each move taken as soon as it saves more than 0.01 mm of gaps; O(n^3) per pass,
//                bounded per call and ended by a stop request.
// TryOptimizePartPos
//                moves single parts (and turns them) while that saves more than 0.1 mm,
//                adding every saving to the free length; O(n^2) per pass.
// MergeSameResults
//                merges results with the same tube and the same parts position by position.
//
// All operations are class-level and keep no state; they may run concurrently on different data.

#include <cstdint>

#include "model/nest_result.h"
#include "model/nest_types.h"
#include "model/seg_place_info.h"

namespace tubenest {

class TNestAdjustTool {
public:
    TNestAdjustTool() = delete;

    /// Smallest saving (mm) for which CalcTsp takes a move.
    static constexpr double kTspGain = 0.01;
    /// Moves CalcTsp evaluates at most per call; then it keeps the order it has.
    static constexpr std::int64_t kTspMoveBudget = 4'000'000;

    /// Improves AOrder in place so that the sum of gaps between neighbours shrinks. NestedPartIdx
    /// (when >= 1) is the part reference standing before position 0. Reverse allows turning
    /// segments; TailFixed keeps the last entry in place. Returns true when the order changed.
    /// Ends early, with the order improved so far, on a stop request (StopRequested) or after
    /// kTspMoveBudget evaluated moves; an order of copies of one part in one direction is left
    /// as it is unless turning a segment can shorten it.
    static bool CalcTsp(TIntDynArray& AOrder, const TSegPlaceInfoManager& SegPlaceInfo,
                        std::int32_t NestedPartIdx, bool Reverse, bool TailFixed);

    /// Moves and turns single parts while that saves more than 0.1 mm; every saving is added to
    /// NewLenAvl. TubeLen is not consulted. Returns true when the free length grew.
    static bool TryOptimizePartPos(TIntDynArray& NewOrder, const TSegPlaceInfoManager& PartsCalInfo,
                                   double TubeLen, double& NewLenAvl, bool DisableReverse);

    /// Merges every result into the first earlier result with the same tube and parts (directions
    /// ignored), adding its tube count.
    static void MergeSameResults(TNestResultList& ANestResults);
};

} // namespace tubenest
