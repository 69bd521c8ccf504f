#pragma once
// Records, gap tables and order helpers shared by the tests: parts and tubes, a uniform table, a random one
// with every record calculated, random orders of part references, and an evaluator of the gaps along an order
// that is independent of the searches under test.

#include <cstdint>
#include <memory>
#include <vector>

#include "host/cad_param.h"
#include "model/nest_types.h"
#include "model/random.h"
#include "model/seg_place_info.h"

namespace tubenest::testsupport {

/// A part of the given outer (and real) length and copies.
inline TGeneralNestPart Part(double length, std::int32_t amount) {
    TGeneralNestPart p;
    p.RealBoxLength = length;
    p.FOuterlength = length;
    p.FAmountAvail = amount;
    return p;
}

/// A tube entry; nestedPart >= 1 ties the tube to a part standing at its start.
inline TGeneralNestTube Tube(double length, std::int32_t amount, std::int32_t nestedPart = -1) {
    TGeneralNestTube t;
    t.FTubeInitialLen = length;
    t.FAmountAvail = amount;
    t.FNestedPartIdx = nestedPart;
    return t;
}

/// Every record of every pair calculated with FixedGap = ZGap = gap.
std::unique_ptr<TSegPlaceInfoManager> MakeUniformGaps(int parts, double gap,
                                                      const TCADAutoNestParam& param = TCADAutoNestParam());

/// Every record calculated with a FixedGap drawn uniformly from [minGap, maxGap) (ZGap the same).
/// The table is mirror-consistent: the two same-direction records of a part with itself (k, k and
/// -k, -k, the same placement read backwards) hold the same gap, as a host's table does.
std::unique_ptr<TSegPlaceInfoManager> MakeRandomGaps(int parts, TRandomGenerator& rng, double minGap = 0.0,
                                                     double maxGap = 20.0,
                                                     const TCADAutoNestParam& param = TCADAutoNestParam());

/// Sets the gap of part reference a followed by b (and of the mirror placement -b, -a).
void SetGap(TSegPlaceInfoManager& gaps, std::int32_t a, std::int32_t b, double gap);

/// `length` part references drawn from 1..parts (repeats allowed), each turned with probability 1/2
/// when allowTurned.
TIntDynArray RandomOrder(int parts, int length, TRandomGenerator& rng, bool allowTurned = true);

/// Sum of FixedGap of GetA1B1Info over consecutive references, plus the gap from nestedPartIdx to
/// the first reference when nestedPartIdx >= 1.
double OrderGapSum(const TSegPlaceInfoManager& gaps, const TIntDynArray& order, int nestedPartIdx = 0);

/// The absolute values of the references, sorted (the parts an order holds, directions ignored).
std::vector<std::int32_t> PartMultiset(const TIntDynArray& order);

/// The references themselves, sorted (parts with their directions).
std::vector<std::int32_t> SignedMultiset(const TIntDynArray& order);

/// Fewest tubes of length `tube` for all copies of the parts (references 1..n, each copy may be
/// turned), within `tolerance` mm over the tube: dynamic programmes over subsets of copies (the
/// shortest layout of each subset, then the best partition into subsets that fit). Small instances
/// only: 2^copies states.
std::int32_t BruteForceTubes(const TGeneralNestPartArr& parts, const TSegPlaceInfoManager& gaps, double tube,
                             double tolerance);

} // namespace tubenest::testsupport
