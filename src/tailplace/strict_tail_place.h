#pragma once
// The strict tail placement builds a whole new solution in which every tube ends with a tail
// segment reserved for the spec parts: it nests the spec parts into virtual tail segments (one per
// physical tube), nests the other parts into the tubes shortened by those segments, joins every
// head pattern with its segment, inserts left-over spec copies at pattern ends, fills the free
// space and nests whatever is still missing. Nesting runs through TMultiTubeNestWrapper: the
// greedy and the branch-cut-price methods, the better of the two (the greedy alone once a stop is
// requested or the deadline has passed, and in the two-tube exchanges, see SetUseBCP).
//
// A new solution replaces the caller's list only when it is sound and no worse: every pattern
// fits its tube (joined patterns are measured with their real gaps, up to 0.01 mm over), no tube
// entry is used more often than it exists, no part more often than required, and, against a
// non-empty list, at least as many copies placed, no more tubes used and more tubes qualified.

#include <cstdint>
#include <vector>

#include "tailplace/tail_place_base.h"

namespace tubenest {

class TStrictTailPlace : public TTailPlaceBase {
public:
    using TTailPlaceBase::TTailPlaceBase;

    /// Builds a new solution; when it is accepted against the list's contents (see above), the
    /// list takes it and the result is true. Otherwise the list is left as it was.
    bool RunTailPlace(TNestResultList& ANestResults);
    /// RunTailPlace on an empty list; on success every result is qualified and appended.
    bool TryStrictTailPlace(TQualifiedNestResultList& AResults);
    /// The strict solution replaces the list when it is accepted against it.
    bool TryTailPlace(TNestResultList& ANestResults) override;

    // The strategy's steps, public for tests.

    void InitializeNestParts(TGeneralNestPartArr& AParts) const { AParts = FNestParts; }
    void InitializeNestTubes(TGeneralNestTubeArr& ATubes) const { ATubes = FNestTubes; }
    /// Splits the parts into spec and other copies, builds the virtual tail tube and the tube
    /// entries with an amount. False when there is nothing to do (no tube, no spec copy).
    bool InitializeSpecInfo(std::vector<std::int32_t>& ARelated);
    /// Nests the spec copies into tail segments by the mode's rule, at most one per tube.
    bool TryNestSpec(TNestResultList& AList);
    /// Mode 2: one spec copy per tail segment, longest-first walk over parts and tubes.
    bool TryNestLongSpec(TNestResultList& AList);
    /// The better of the greedy and branch-cut-price nests of the parts (IsNewResultBetterThanOld).
    bool MixedNest(const TGeneralNestPartArr& AParts, const TGeneralNestTubeArr& ATubes, TNestResultList& AList);
    /// Cuts the list to at most AMaxTubes tubes; drops results left without tubes.
    static void RemoveExceedResult(TNestResultList& AList, std::int32_t AMaxTubes);
    /// Subtracts the copies of the list from the amounts. A reference outside the array is a
    /// broken invariant.
    static void RemoveNestedParts(TGeneralNestPartArr& AParts, const TNestResultList& AList);
    /// Assigns tail results to tube entries in turn and shortens them; unassigned spec copies go
    /// back to the spec parts.
    void GenerateRelatedIdxes(TNestResultList& ATailList, std::vector<std::int32_t>& AHeadRelated,
                              std::vector<std::int32_t>& ARelated);
    /// Joins every head pattern with the tail segment of its tube entry where the joined pattern
    /// fits the physical tube.
    void ConnectHeadTail(TNestResultList& AHeadList, TNestResultList& ATailList,
                         const std::vector<std::int32_t>& AHeadRelated, const std::vector<std::int32_t>& ARelated);
    /// Offers the spec copies of tail segments that found no head to the ends of the patterns.
    void TryInsertAtTail(TNestResultList& AHeadList, const TNestResultList& ATailList);
    /// Appends copies of part APartIdx (0-based) at pattern ends where they fit; splits a pattern
    /// when fewer copies than its tubes are left.
    bool TryInsertSpecPart(std::int32_t APartIdx, std::int32_t& Amount, TNestResultList& AList);
    /// Fills the free space in front of every pattern with parts not yet nested (greedy).
    void FillTube(TNestResultList& AList);
    /// Nests the parts not yet in the list into the tubes it leaves free.
    void NestRemainParts(TNestResultList& AList);
    /// Place data and used length of every result.
    void UpdateResultInfo(TNestResultList& AList) const;

    /// Whether MixedNest also runs the branch-cut-price method (default true). The exchanges of the
    /// economical strategy re-nest two tubes at a time, hundreds of times per plan; there the
    /// greedy alone runs, the branch-cut-price search costing far more to set up than such a nest.
    void SetUseBCP(bool AUseBCP) { FUseBCP = AUseBCP; }

    /// The candidate is sound (fits, within the tube and part amounts) and, against a non-empty
    /// baseline, places every copy it placed (part by part), uses no more tubes and qualifies more tubes.
    bool AcceptCandidate(const TNestResultList& ACandidate, const TNestResultList& ABaseline) const;

    const TGeneralNestPartArr& SpecParts() const { return FSpecParts; }
    const TGeneralNestPartArr& OtherParts() const { return FOtherParts; }
    const TGeneralNestTubeArr& SpecTube() const { return FSpecTube; }
    const TGeneralNestTubeArr& OtherTubes() const { return FOtherTubes; }
    std::int32_t SumTubeAmount() const { return FSumTubeAmount; }

private:
    /// Builds the solution into AList (which starts empty); false when a step fails.
    bool BuildSolution(TNestResultList& AList);
    /// The joined order of a head and tail fits the physical tube (real gaps, 0.01 mm over).
    bool FitsTube(const TIntDynArray& AOrder, std::int32_t ATubeIndex) const;

    TGeneralNestPartArr FSpecParts;
    TGeneralNestPartArr FOtherParts;
    TGeneralNestTubeArr FSpecTube;
    TGeneralNestTubeArr FOtherTubes;
    std::int32_t FSumTubeAmount = 0;
    bool FUseBCP = true;
};

} // namespace tubenest
