#pragma once
// An independent check of what a circular nesting run returns. It looks only at the inputs and at
// the returned results, split list and cut parts manager, and recomputes everything from the part
// orders:
//   - every used length, as the sum of the extended part lengths and the FixedGap of consecutive
//     entries in the cut parts manager's gap table, lies within its tube's length + tolerance;
//   - every part copy is placed exactly once, whole or as one front piece and one back piece of a
//     recorded split (split c of the list: front piece reference parts + 2c + 1, back piece
//     parts + 2c + 2), and every split record's Amount equals the pairs placed;
//   - no tube entry is used more often than it has tubes;
//   - optionally, every split's cut position is a separable position of its part, strictly inside it.
// Copies that are not placed are reported; they are a failure only when the caller does not allow
// them (for instance when the tubes cannot hold everything).

#include <cstdint>
#include <string>
#include <vector>

#include "circular/cut_parts_manager.h"
#include "circular/separable_intervals.h"
#include "host/cad_param.h"
#include "model/nest_result.h"
#include "model/nest_types.h"
#include "model/seg_place_info.h"

namespace tubenest::testsupport {

struct TCircularPlanCheckOptions {
    bool AllowUnplaced = false;     ///< unplaced copies are reported, not failed
    double Tolerance = 0.01;        ///< on every used length
    bool CheckStoredLengths = true; ///< FLengthUsed must equal the recomputed length (within 1e-6)
    /// When given (one list per part, entries may be null), every split's cut position must be
    /// separable within the tolerance and lie more than 1.1 mm inside the part.
    const std::vector<const TSeparatableIntervals*>* Intervals = nullptr;
};

struct TCircularPlanCheck {
    bool ok = true;
    std::vector<std::string> messages;
    std::int32_t placed = 0;   ///< copies placed over all parts
    std::int32_t unplaced = 0; ///< copies required but not placed over all parts
    std::vector<std::int32_t> placedPerPart;
    std::vector<std::int32_t> unplacedPerPart;
    std::vector<double> usedLengths; ///< recomputed length per result
    std::int32_t splitPairs = 0;     ///< front/back pairs placed

    /// All messages, one per line.
    std::string Report() const;
};

TCircularPlanCheck CheckCircularPlan(const TGeneralNestPartArr& AParts, const TGeneralNestTubeArr& ATubes,
                                     const TSegPlaceInfoManager& AGaps, const TCADAutoNestParam& AParam,
                                     const TNestResultList& AResults, const TCutNestParts& ACutParts,
                                     const TCutPartsManager& AManager,
                                     const TCircularPlanCheckOptions& AOptions = {});

} // namespace tubenest::testsupport
