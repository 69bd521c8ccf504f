#pragma once
// Test problems for the circular nesting: parts, tubes, a gap manager, per-part separable stretches
// and the parameter block, held together so that the non-owning pointers of TNestAlgorithmParam
// stay valid while the instance lives.

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "circular/circular_nest_base.h"
#include "circular/separable_intervals.h"
#include "host/cad_param.h"
#include "model/nest_result.h"
#include "model/nest_types.h"
#include "model/random.h"
#include "model/seg_place_info.h"

namespace tubenest::testsupport {

/// A part (outer length, copies) or a tube entry (length, tubes).
using TLengthAmount = std::pair<double, std::int32_t>;

class TCircularInstance {
public:
    TGeneralNestPartArr Parts;
    TGeneralNestTubeArr Tubes;
    TCADAutoNestParam Param;
    std::unique_ptr<TSegPlaceInfoManager> Gaps;
    std::vector<std::unique_ptr<TSeparatableIntervals>> Intervals; ///< one per part; may hold null
    TCoedgeFlagValues CoedgeFlags;
    TDisSubConfig SubConfig;

    TCircularInstance() = default;
    TCircularInstance(const TCircularInstance&) = delete;
    TCircularInstance& operator=(const TCircularInstance&) = delete;

    /// The record a host would pass (points into this instance).
    TNestAlgorithmParam AlgorithmParam() const;
    /// One entry per required copy: part 1's copies, then part 2's, ...
    TIntDynArray FullOrder() const;
    /// Sets the "Dis" value read through the sub-configuration and attaches it and the co-edge flags.
    void SetDis(double ADis);
};

/// Separable everywhere except within AEndMargin of either end: {[AEndMargin, ALength - AEndMargin]}
/// plus the cut-off points at 0 and ALength (empty stretch list when the part is too short).
std::unique_ptr<TSeparatableIntervals> MakeSeparableExceptEnds(double ALength, double AEndMargin);
/// Separable only in the given stretches (sorted by start), cut-off points at 0 and ALength.
std::unique_ptr<TSeparatableIntervals>
MakeSeparableStretches(double ALength, const std::vector<std::pair<double, double>>& AStretches);

/// An instance with a uniform gap: DefaultPartGap = AGap, CutShape = ACutShape, every part separable
/// except within AEndMargin of its ends.
std::unique_ptr<TCircularInstance> MakeInstance(const std::vector<TLengthAmount>& AParts,
                                                const std::vector<TLengthAmount>& ATubes, double AGap,
                                                double AEndMargin, std::int32_t ACutShape = 0);

struct TRandomInstanceOptions {
    std::int32_t CutShape = 0;       ///< 0, 1 or 2
    std::int32_t MaxParts = 7;       ///< distinct parts 1..MaxParts
    std::int32_t MaxAmount = 5;      ///< copies per part 1..MaxAmount
    std::int32_t MaxTubeEntries = 3; ///< tube entries 1..MaxTubeEntries
    bool TightTubes = false;         ///< about as many tubes as the length needs, often fewer
    bool RandomGaps = false;         ///< per-record gaps instead of one uniform gap
    bool LongParts = true;           ///< some parts longer than a tube
};

/// An expected result: the order (not checked when empty) and the used length (not when negative).
struct TExpectedResult {
    TIntDynArray Order;
    double Used = -1;
};

/// Expects exactly these results, in this order (used lengths within 1e-5).
void ExpectResults(const TNestResultList& AList, const std::vector<TExpectedResult>& AExpected);

/// A random instance; the same generator state gives the same instance.
std::unique_ptr<TCircularInstance> MakeRandomInstance(TRandomGenerator& ARandom,
                                                      const TRandomInstanceOptions& AOptions);

} // namespace tubenest::testsupport
