#pragma once
// Tail placement: the parts whose outer length lies in the window [SpecMinLength, SpecMaxLength]
// of the parameter record (the spec parts) belong together at the tail of a tube, behind every
// other part. A pattern is tail-placed qualified when it satisfies the rule of TailPlaceMode:
//   mode 1  the pattern fits its tube and the spec group plus the free rest reach TailLength;
//   mode 2  the pattern holds spec parts and fits its tube, or holds none and leaves more free
//           length than SpecMinLength;
//   other   nothing qualifies.
//
// This header holds the pieces every strategy shares: the record of one pattern split into its
// spec and unspec groups (TQualifiedNestResult), the qualification test, and the order searches
// of the two groups and of their junction. The strategies are TStrictTailPlace
// (strict_tail_place.h), TEcoTailPlace and TTailPlace (tail_place.h).
//
// Ownership: the strategies copy the part and tube arrays and the parameter record; the gap
// manager is the caller's (a non-owning reference that must outlive the strategy), with its run
// patterns derived (InitializePartGaps) as every nesting method expects.
//
// Stop: every loop polls GetStopped; a strategy may also be given a deadline of its own (its share
// of a run's time limit), after which it behaves as if a stop had been requested. A stopped
// strategy leaves its input as it was.
//
// Thread-safety: one strategy object per thread; the gap manager is only read.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "host/cad_param.h"
#include "model/nest_result.h"
#include "model/nest_types.h"
#include "model/seg_place_info.h"

namespace tubenest {

/// One pattern split into its spec part group (the tail) and the other parts (the head).
class TQualifiedNestResult {
public:
    bool IsQualified = false;
    std::unique_ptr<TNestResult> NestResult; ///< owned clone of the pattern
    TIntDynArray Specs;                      ///< spec part references, in tail order
    TIntDynArray UnSpecs;                    ///< the other references, in head order
    double SpecLen = 0.0;                    ///< spec group: parts and the gaps between them
    double UnSpecLen = 0.0;                  ///< unspec group
    double UsedLen = 0.0;                    ///< the whole pattern as the two groups stand
    double Remnant = 0.0;                    ///< TubeLen - NestResult->FLengthUsed
    double TubeLen = 0.0;                    ///< length of the pattern's tube
    double OverThreshold = 0.0;              ///< SpecLen - TailLength

    explicit TQualifiedNestResult(const TNestResult& ANestResult);
    TQualifiedNestResult(const TQualifiedNestResult& other) { Assign(other); }
    TQualifiedNestResult& operator=(const TQualifiedNestResult& other) {
        Assign(other);
        return *this;
    }
    ~TQualifiedNestResult() = default;

    /// Takes over a clone of the other's pattern and copies every other field.
    void Assign(const TQualifiedNestResult& AResult);
    std::unique_ptr<TQualifiedNestResult> Clone() const { return std::make_unique<TQualifiedNestResult>(*this); }
};

/// A list that owns its entries.
using TQualifiedNestResultList = std::vector<std::unique_ptr<TQualifiedNestResult>>;

class TTailPlaceBase {
public:
    using Clock = std::chrono::steady_clock;

    /// Copies the arrays and the record; keeps the gap manager (non-owning).
    TTailPlaceBase(const TGeneralNestPartArr& ANestParts, const TGeneralNestTubeArr& ANestTubes,
                   const TCADAutoNestParam& Param, const TSegPlaceInfoManager& APartsCalInfo);
    TTailPlaceBase(const TTailPlaceBase&) = delete;
    TTailPlaceBase& operator=(const TTailPlaceBase&) = delete;
    virtual ~TTailPlaceBase() = default;

    /// Arranges the spec parts of a result list at the tube tails; true when the list changed.
    virtual bool TryTailPlace(TNestResultList& ANestResults) = 0;

    /// After ADeadline the strategy winds down as on a stop request (its share of a time limit).
    void SetDeadline(std::optional<Clock::time_point> ADeadline) { FDeadline = ADeadline; }
    std::optional<Clock::time_point> Deadline() const { return FDeadline; }

    /// 0-based part index p lies in the part array and its outer length in the window (1e-6).
    bool IsSpecPart(std::int32_t p) const;
    /// Outer lengths of the parts plus the gaps between neighbours; 0 for an empty order.
    double GetTotalLength(const TIntDynArray& AOrder) const;
    /// Reverses positions i .. j and turns every part in them.
    static void ReverseParts(TIntDynArray& AOrder, int i, int j);
    /// Moves the block i .. j behind position k (i < k, j < k) or in front of position k (i >= k).
    static void MoveParts(TIntDynArray& AOrder, int i, int j, int k);
    /// The adjust tool's CalcTsp on the order, with no part standing before it.
    bool TryOptimizePartPos(TIntDynArray& AOrder, bool Reverse, bool TailFixed) const;
    /// Improves the junction of a head order First and a tail order Second by turning the tail of
    /// First, moving blocks of First to its end, turning the head of Second and moving blocks of
    /// Second to its front, each when it saves more than 0.01 mm of gaps. True when anything moved.
    bool TryOptimizePartPosofTwoOrder(TIntDynArray& First, TIntDynArray& Second, bool CanReverse) const;
    /// Splits the pattern into its groups, improves them and their junction, measures them with
    /// the real gaps and tests the tail rule. When qualified the pattern adopts the order unspec
    /// parts, then spec parts (place data and used length refreshed). A pattern on an unknown tube
    /// or with a reference outside the part array never qualifies and is left as it was.
    bool QualifyResult(TQualifiedNestResult& AResult) const;
    /// A clone of the pattern with its place data, used length and qualified flag refreshed.
    std::unique_ptr<TNestResult> QualifiedResulttoNestResult(const TQualifiedNestResult& AResult) const;

    /// Length of the tube entry of a 1-based tube index; 0 when there is no such entry.
    double TubeLength(std::int32_t ATubeIndex) const;
    /// Every reference of the pattern addresses a part of the array and its tube exists.
    bool IsKnownResult(const TNestResult& AResult) const;
    /// Place data and used length of a result from its order.
    void RefreshResult(TNestResult& AResult) const;
    /// Tubes (sum of counts) of the list whose pattern qualifies as it stands.
    std::int64_t CountQualifiedTubes(const TNestResultList& AList) const;

    const TGeneralNestPartArr& NestParts() const { return FNestParts; }
    const TGeneralNestTubeArr& NestTubes() const { return FNestTubes; }
    const TCADAutoNestParam& Param() const { return FParam; }
    const TSegPlaceInfoManager& PartsCalInfo() const { return FPartsCalInfo; }

protected:
    /// A stop request (GetStopped, which also advances the progress) or the deadline passed.
    bool Stopped() const;

    TGeneralNestPartArr FNestParts;
    TGeneralNestTubeArr FNestTubes;
    TCADAutoNestParam FParam;
    const TSegPlaceInfoManager& FPartsCalInfo; ///< not owned
    std::optional<Clock::time_point> FDeadline;
};

} // namespace tubenest
