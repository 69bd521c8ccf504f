#pragma once
// Independent checks of whole-part plans (every copy either lies whole in one tube or is absent),
// as the SVC method produces them. Everything is
// recomputed from the inputs and the gap manager; nothing of the engine's own bookkeeping is
// trusted.

#include <cstdint>
#include <string>
#include <vector>

#include "host/cad_param.h"
#include "model/nest_result.h"
#include "model/nest_types.h"
#include "model/seg_place_info.h"

namespace tubenest::test_support {

struct TWholePartPlanReport {
    std::vector<std::string> Errors;
    std::vector<std::int64_t> NestedAmounts; ///< copies nested per part (0-based)
    std::vector<std::int64_t> TubesUsed;     ///< tubes cut per tube entry (0-based)
    bool Ok() const { return Errors.empty(); }
    /// All errors, one per line.
    std::string Text() const;
};

/// Checks a plan: tube indices and part references valid, tube counts >= 1; per pattern the used
/// length recomputed through the gap manager (UpdateNestResultInfo on a copy, plus the gap from a
/// part tied to the tube) within the tube length + Tolerance and equal to FLengthUsed within
/// Tolerance; place data (when filled) equal to the gap manager's records; nested amounts never
/// above FAmountAvail; tubes per entry never above FAmountAvail.
TWholePartPlanReport CheckWholePartPlan(const TNestResultList& Plan, const TGeneralNestPartArr& Parts,
                                        const TGeneralNestTubeArr& Tubes, const TSegPlaceInfoManager& Gaps,
                                        double Tolerance = 0.01);

} // namespace tubenest::test_support
