#pragma once
// TNestAdjustTool: stateless post-processing shared by the nesting methods: the in-tube order
// searches and the merge of identical patterns that the methods call while they work, the amount
// adjustment that brings nested amounts in line with required amounts, the direction sweep, and
// the merge of tube entries of equal length with the mapping of results back onto them.
//
// Where the members live: the order searches and the pure result tools are defined in
// src/ordersearch (below every method); AdjustPartNum, DeleteRedundantPart and AddNecessaryPart,
// which run the greedy method through the multi-tube wrapper, are defined in src/adjust (above the
// methods). Code below the methods must not call those three.
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
#include <memory>

#include "host/cad_param.h"
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

    // Amount adjustment (defined in src/adjust).

    /// Brings the copies nested by NestResult in line with the required amounts of ANestParts, within
    /// the tubes of ANestTubes: drops patterns cut on no tube, takes surplus copies out, and nests
    /// missing copies by the greedy method. Two candidates are weighed: A keeps every tube the method
    /// cut (trimmed), B gives the tubes of the trimmed patterns back and nests their parts anew; the
    /// one that places more copies wins, then the shorter (CalcNestResultsLen), A on a tie.
    static void AdjustPartNum(const TGeneralNestPartArr& ANestParts, const TGeneralNestTubeArr& ANestTubes,
                              TNestResultList& NestResult, const TSegPlaceInfoManager& PartsCalInfo,
                              const TCADAutoNestParam& NestParam);
    /// Takes the surplus copies out of NestResult. ANestParts are working amounts (required minus
    /// nested): a negative amount is a surplus. Every pattern holding surplus copies is split: the
    /// tubes without surplus stay in NestResult, the trimmed tubes move into the returned list (place
    /// data and used length refreshed). A trimmed pattern left without parts is dropped. ANestTubes
    /// is not read.
    static std::unique_ptr<TNestResultList> DeleteRedundantPart(const TGeneralNestPartArr& ANestParts,
                                                                const TGeneralNestTubeArr& ANestTubes,
                                                                TNestResultList& NestResult,
                                                                const TSegPlaceInfoManager& PartsCalInfo);
    /// Nests the missing copies (positive working part amounts) by the greedy method into the free
    /// tubes (positive working tube amounts) and appends the patterns to NestResult, then merges
    /// identical patterns. Negative working amounts count as 0. Nothing happens when no copy is
    /// missing or no tube is free.
    static void AddNecessaryPart(const TGeneralNestPartArr& ANestParts, const TGeneralNestTubeArr& ANestTubes,
                                 TNestResultList& NestResult, const TSegPlaceInfoManager& PartsCalInfo,
                                 const TCADAutoNestParam& NestParam);

    // Result tools (defined in src/ordersearch).

    /// Stock charged to a list: every tube whole except those of the last pattern, whose used length
    /// counts (its place data and used length are refreshed first). 0 for an empty list.
    static double CalcNestResultsLen(TNestResultList& NestResults, const TGeneralNestPartArr& Parts,
                                     const TGeneralNestTubeArr& Tubes,
                                     const TSegPlaceInfoManager& PartsCalInfo);
    /// Turns the parts of every pattern, left to right, towards the longest common cut with the left
    /// neighbour (with and without the first part turned) and keeps the better layout that does not
    /// get longer. Nothing is turned when the gap manager's parameters disable reversal.
    static void AdjustPartDir(TNestResultList& TempResult, const TSegPlaceInfoManager& PartsCalInfo,
                              const TGeneralNestPartArr& Parts);
    /// ANestTubesOri := a copy of ANestTubesNew; then every entry of ANestTubesNew whose length equals
    /// an earlier entry's within 0.0001 mm (both with an amount) gives its amount to that entry.
    /// Positions stay. True when an amount moved.
    static bool MergeSameTubeLength(TGeneralNestTubeArr& ANestTubesOri, TGeneralNestTubeArr& ANestTubesNew);
    /// Maps results nested on merged tube entries back onto the unmerged entries of NestTubes, whose
    /// amounts it uses up: a result's tubes are taken from its own entry first, then from the entries
    /// that MergeSameTubeLength merged with it, splitting the result where needed. Tube counts are
    /// conserved: tubes that no entry can absorb stay on the result's own entry.
    static void ReturnOriTubeIndex(TNestResultList& ANestResults, TGeneralNestTubeArr& NestTubes);
    /// FTubeIndex := TubeOrder[FTubeIndex - 1] + 1 for every result (TubeOrder maps positions of a
    /// sorted tube array to 0-based indices of the unsorted one).
    static void FixNestResultTubeOrder(TNestResultList& ANestResult, const TIntDynArray& TubeOrder);
    /// Frees the list with all its results.
    static void NestResultListFree(std::unique_ptr<TNestResultList>& NestResults);
};

} // namespace tubenest
