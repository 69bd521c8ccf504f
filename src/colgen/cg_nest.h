#pragma once
// The column generation nesting method. It works through the tube entries in array order; for each
// it solves the remaining demand as a one-length cutting problem (column generation with the
// branch-and-price wrapper), trims over-production, turns the patterns into results with part
// orders chosen by the gap manager, repairs and compacts them, and repeats on what is left while
// tubes of that length remain. Finally the part order of every result is improved.
//
// Lengths: the solver sees every part, and the tube, longer by one allowance e (the largest gap of
// pairs that share common cuts, or the default part gap where a pair does not): k parts in a tube
// have k - 1 neighbours, so with gaps of e the patterns are exactly those that fit. Patterns that
// the real gaps make overflow are repaired (the overflowing parts are placed elsewhere or given
// back). The shared gap manager is never written: the lengths go to it explicitly.
//
// Passes: a part longer than the current tube stays out of that tube's passes (its demand waits for
// a later entry). A pass that places nothing leaves the tube entry. Demand that no entry places is left to
// the caller (the wrapper's amount adjustment).
//
// Memory: the solver keeps an n x n basis inverse (n distinct parts of a pass) and a pricing table
// of n x (tube length in mm) choices; a tube entry whose table would be too large is left, as one
// that yields no pattern.
//
// Thread-safety: one object per thread; the gap manager is only read.

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "colgen/branch_and_price.h"
#include "colgen/column_generation.h"
#include "colgen/tube_lower_bound.h"
#include "treesearch/nest_node.h"

namespace tubenest {

/// What one run did besides its results.
struct TCGNestStatistics {
    std::int32_t Passes = 0;             ///< column generations run (one per pass)
    std::int32_t LeftTooLarge = 0;       ///< tube entries left because the pricing table was too large
    double PartAllowance = 0.0;          ///< the allowance e added to every part length
    std::int32_t SingleTubeLimitHit = 0; ///< passes whose single-tube compaction was skipped for size
};

class TColumnGenerationNest : public TNestBase {
public:
    /// One part of the current pass.
    struct TNestData {
        double PartLength = 0.0;     ///< the length the part counts for in the solver
        std::int32_t PartAmount = 0; ///< demand at the start of the pass
        std::int32_t OriIndex = 0;   ///< 0-based index in the part array
    };
    using TNestDataList = std::vector<TNestData>;
    /// Part index to its position in the pass's data list and problem.
    using TPartDictionary = std::unordered_map<std::int32_t, std::int32_t>;

    /// Single tubes beyond which the compaction that empties single tubes is skipped (its cost
    /// grows with their square).
    static constexpr std::int64_t kSingleTubeLimit = 4000;

    TColumnGenerationNest(const TGeneralNestPartArr& AGNestParts, const TGeneralNestTubeArr& AGNestTubes,
                          const TCADAutoNestParam& Param);
    // The arrays are kept by reference: temporaries are refused.
    TColumnGenerationNest(TGeneralNestPartArr&&, const TGeneralNestTubeArr&,
                          const TCADAutoNestParam&) = delete;
    TColumnGenerationNest(const TGeneralNestPartArr&, TGeneralNestTubeArr&&,
                          const TCADAutoNestParam&) = delete;

    /// Replaces NestResult's contents by the method's results. The gap manager must be set and its
    /// run patterns derived (InitializePartGaps); std::invalid_argument otherwise.
    void GetLeastTubeResult(TNestResultList& NestResult) override;

    /// Turns a solution into results on tube entry ATubeIdx (0-based) with at most ATubeAmount
    /// tubes: patterns that would make more copies than the pass's demand (ANestDatas) are split
    /// so that they do not. Lowers ColGenResult's amounts and AColGenData's demands by what the
    /// results place; appends the results to ANestResults.
    void CGResultToNestResult(std::int32_t ATubeIdx, std::int32_t ATubeAmount, TColGenResult& ColGenResult,
                              const TNestDataList& ANestDatas, TColGenData& AColGenData,
                              TNestResultList& ANestResults);
    /// Repairs the pass's results (parts over the tube length come out), places the demand still
    /// open at the ends of the results, and compacts them. Demand that finds no place is given back
    /// to AColGenData, whose tube length carries the allowance once (PartAllowance of Statistics).
    void TryInsertMorePart(TNestResultList& ANestResults, const TNestDataList& ANestDatas,
                           const TPartDictionary& ADictionary, TColGenData& AColGenData);
    /// Place data and used length of a result, through the gap manager.
    void UpdateNestResultInfo(TNestResult& ANestResult) const;

    /// The allowance e added to every part length: per row of the gap table, the default part gap
    /// when the row meets a pair without common cut, else the largest calculated gap seen so far.
    static double PartAllowance(const TSegPlaceInfoManager& AGaps, const TCADAutoNestParam& AParam);
    /// The part order of one result: runs of the given copies of each part (a run alternates
    /// directions, starting turned, where the part's pair and single gaps differ), in the chain
    /// order of the gap manager's shortest-length estimate. AParts: 0-based part indices (distinct).
    TIntDynArray OrderParts(const TIntDynArray& AParts, const TIntDynArray& ACopies);

    /// Raised by the duals of the first solve of every tube entry (non-owning; may be null).
    void SetLowerBound(TTubeLowerBound* ABound) { FLowerBound = ABound; }
    const TCGNestStatistics& Statistics() const { return FStatistics; }

private:
    struct TPending {
        double Length = 0.0;
        std::int32_t Amount = 0;
        std::int32_t Index = 0; ///< 0-based part index
    };

    double OuterLength(std::int32_t ARef) const;
    /// Whether part reference ARef fits at the end of AResult in a tube of ATubeLength.
    bool FitsAtEnd(const TNestResult& AResult, std::int32_t ARef, double ATubeLength) const;
    /// Appends ARef with its record; the used length grows by gap and length.
    void AppendPart(TNestResult& AResult, std::int32_t ARef) const;
    /// Runs one pass on tube entry ATubeIdx; returns the tubes its results use.
    std::int64_t RunPass(std::int32_t ATubeIdx, std::int32_t AFree, TNestDataList& ARemaining,
                         TNestResultList& NestResult, bool AFirstOfEntry, bool& ALeaveEntry);
    /// Hands the duals of a pass's solve on a tube of ATubeLength to the lower bound (with a ceiling
    /// where it holds).
    void RaiseLowerBound(const TBranchAndPriceCG& ASolver, const TColGenData& AData, double ATubeLength);
    /// Steps 6 to 9 of the repair: consolidation, single-tube emptying, merge.
    void Compact(TNestResultList& ANestResults, double ATubeLength);

    TCGNestStatistics FStatistics;
    std::vector<double> FGapLengths; ///< solver length of every part, by part index, for CalcMinLen
    TTubeLowerBound* FLowerBound = nullptr;
};

} // namespace tubenest
