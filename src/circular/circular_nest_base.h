#pragma once
// The circular nest base: the input record of the circular nesting, the small records of the
// subsystem and the abstract class TCircularNestBase with the bookkeeping that the concrete nests
// share (tube choice, part amounts, split pieces, gaps around split pieces) and the re-packing of
// finished results.
//
// A circular nest fills stock tubes one after the other with the parts of a part order. When a part
// does not fit into what is left of a tube it may be cut at a separable position: the front piece
// closes the tube and the back piece goes into another tube, where the two are welded later. The two
// pieces get piece numbers of their own (references above the number of parts, drawn from
// FNewPartOrder); every distinct split (same part, same whole-millimetre cut length) reuses its two
// numbers.
//
// Piece numbers and the cut parts manager: after a run (CircularNestMain / InitialNestSolve) the piece
// numbers in FNestResults follow the layout of a TCutPartsManager built from FCutNestParts: split c
// (0-based position in FCutNestParts) has its front piece as reference FNestParts.size() + 2c + 1 and
// its back piece as FNestParts.size() + 2c + 2; every split record's Amount is the number of front /
// back piece pairs placed. RepairNestedResults establishes this at the end of every run.
//
// After a run FNestParts[k].FAmountAvail is the number of copies of part k that the run did not
// place (whatever the reason: tubes ran out, the part was too long, it was set aside for one-part
// tubes); every result fits its tube within kCircularTolerance by the exact lengths of the cut parts
// manager, and FLengthUsed and FPartPlaceData of every result hold those exact values.
//
// Thread-safety: a nest object is used by one thread. Several nests may run concurrently on the same
// TNestAlgorithmParam (it is only read; the gap manager and the interval lists are read through
// const operations).

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

#include "circular/circular_constants.h"
#include "circular/cut_parts_manager.h"
#include "circular/separable_intervals.h"
#include "host/cad_param.h"
#include "model/nest_result.h"
#include "model/nest_types.h"
#include "model/seg_place_info.h"

namespace tubenest {

/// The input record of the circular nesting, filled by the host with Init. The interval lists and
/// the gap manager are not owned: the caller keeps them alive while any nest built from this record
/// exists.
struct TNestAlgorithmParam {
    /// Entry i: the separable stretches of part i (non-owning; a null entry means "nowhere separable").
    std::vector<const TSeparatableIntervals*> PartIntervalsList;
    TGeneralNestPartArr AGNestParts;                    ///< the parts with their required amounts
    TGeneralNestTubeArr AGNestTubes;                    ///< the stock tubes with their available amounts
    const TSegPlaceInfoManager* PartsCalInfo = nullptr; ///< gap look-up (non-owning)
    TCADAutoNestParam NestParam;
    TExtendedDynArray TubesLengthArr; ///< length of each tube entry, in the order of AGNestTubes
    /// Optional read-only copy of PartsCalInfo's rows of the parts (row i with i + 1 records),
    /// shared by the split-piece gap tables of all nests instead of copied into each. The particle
    /// swarm makes it at the start of a run; it must hold the same records as PartsCalInfo.
    std::shared_ptr<const TSegPlaceInfoTable> WholePartRows;
    /// Optional smallest FixedGap of PartsCalInfo's table (GetMaxMinGap), so that every nest of a
    /// run need not scan the whole table for it; the particle swarm sets it at the start of a run.
    std::optional<double> MinWholePartGap;

    void Init(std::vector<const TSeparatableIntervals*> APartIntervalsList,
              const TGeneralNestPartArr& ANestParts, const TGeneralNestTubeArr& ANestTubes,
              const TSegPlaceInfoManager& APartsCalInfo, const TCADAutoNestParam& ANestParam,
              std::span<const double> ATubesLengthArr);
    /// The same, for interval lists held by the caller in owning pointers (they are not taken over).
    void Init(const std::vector<std::unique_ptr<TSeparatableIntervals>>& APartIntervalsList,
              const TGeneralNestPartArr& ANestParts, const TGeneralNestTubeArr& ANestTubes,
              const TSegPlaceInfoManager& APartsCalInfo, const TCADAutoNestParam& ANestParam,
              std::span<const double> ATubesLengthArr);
};

/// One tube entry as the nest tracks it.
struct TCircularNestTube {
    double FTubeInitialLen = 0.0;
    std::int32_t FAmountAvail = 0; ///< tubes of this entry still available
    std::int32_t FOriginTube = -1;
    std::int32_t FNestedPartIdx = -1;
    bool FAvailable = true; ///< may be chosen by the next ChooseNestTube call

    void DataInit(const TGeneralNestTube& AGeneralNestTube);
};

/// A part number with a length and an amount.
struct TAlgorithmPart {
    std::int32_t Idx = 0;
    double Length = 0.0;
    std::int32_t Amount = 0;

    void DataUpdate(double APartLength, std::int32_t APartIdx, std::int32_t APartAmount) {
        Length = APartLength;
        Idx = APartIdx;
        Amount = APartAmount;
    }
};

/// Key of the split dictionary: the split part and the cut length in whole millimetres.
struct TCutPartsInfo {
    std::int32_t Length = 0; ///< the front piece's length plus the tolerance, truncated
    std::int32_t From = 0;   ///< 1-based number of the part that was split

    void DataInit() { *this = TCutPartsInfo{}; }
    friend bool operator==(const TCutPartsInfo&, const TCutPartsInfo&) = default;
};

struct TCutPartsInfoHash {
    std::size_t operator()(const TCutPartsInfo& AKey) const noexcept {
        const auto a = static_cast<std::uint64_t>(static_cast<std::uint32_t>(AKey.Length));
        const auto b = static_cast<std::uint64_t>(static_cast<std::uint32_t>(AKey.From));
        return std::hash<std::uint64_t>{}((a << 32) ^ b);
    }
};

/// Value of the split dictionary: the piece numbers of a split.
struct TCutPartsOrder {
    std::int32_t PartAOrder = -1; ///< piece number of the front piece
    std::int32_t PartBOrder = -1; ///< piece number of the back piece

    void DataInit() { *this = TCutPartsOrder{}; }
    friend bool operator==(const TCutPartsOrder&, const TCutPartsOrder&) = default;
};

using TCutPartsDictionary = std::unordered_map<TCutPartsInfo, TCutPartsOrder, TCutPartsInfoHash>;

/// What the nest knows about one piece number.
struct TCircularPieceInfo {
    std::int32_t From = 0;    ///< 1-based number of the split part
    double Length = 0.0;      ///< cut position of the split (front piece length without joint)
    std::int32_t Partner = 0; ///< the other piece's number
    bool IsFront = false;
};

class TCircularNestBase {
public:
    // Fields in declaration order.
    TGeneralNestPartArr FNestParts;            ///< own copy; FAmountAvail counts copies not yet placed
    std::vector<TCircularNestTube> FNestTubes; ///< own tube records
    std::int32_t FTubesAmount = 0;             ///< tubes still available over all entries
    TNestResultList FNestResults;              ///< the finished tubes, in the order they were closed
    bool FIsTubesEnough = true;                ///< false once the tubes ran out
    std::int32_t FNewPartOrder = 0;            ///< next free piece number
    TIntDynArray FZShapeSpecicalPartOrder;     ///< 1-based parts set aside for one-part tubes
    /// The part order still to be placed (see the nests). A queue: the nests take parts from its
    /// front, one at a time, and a vector would move the whole rest of the order each time.
    std::deque<std::int32_t> FNestOrder;
    TCutNestParts FCutNestParts; ///< one record per split made
    TCADAutoNestParam FNestParam;
    const TSegPlaceInfoManager* FPartsInfo = nullptr;         ///< gap look-up (non-owning)
    std::shared_ptr<const TSegPlaceInfoTable> FWholePartRows; ///< see TNestAlgorithmParam::WholePartRows
    std::optional<double> FMinWholePartGap;                   ///< see TNestAlgorithmParam::MinWholePartGap
    double FTubeLength = 0.0; ///< usable length of the tube being filled (its length - FCutPartConnectLength)
    double FNextTubeLength = 0.0; ///< usable length of the tube that the next piece will go into
    std::vector<const TSeparatableIntervals*> FPartIntervalsList; ///< non-owning, one per part, never null
    TCutPartsDictionary FCutPartsDictionary;
    double FCutPartConnectLength = 0.0; ///< length that a weld joint adds to a back piece

    /// Builds a nest for one run. Throws std::invalid_argument when the record is unusable (no gap
    /// manager, or one whose table does not cover every part; no tube entry; not one interval list
    /// per part; a tube entry with tubes but without a positive length; a negative or non-finite part
    /// length or a negative amount).
    explicit TCircularNestBase(const TNestAlgorithmParam& NestAlgorithmParam);
    virtual ~TCircularNestBase() = default;
    TCircularNestBase(const TCircularNestBase&) = delete;
    TCircularNestBase& operator=(const TCircularNestBase&) = delete;

    // Virtual operations in slot order; the concrete nests implement them.
    /// Nests the given order of part references (one entry per copy).
    virtual void CircularNestMain(const TIntDynArray& PartOrder) = 0;
    /// Builds a first solution, all copies of part 1, then part 2, ...; records the order in FNestOrder.
    virtual void InitialNestSolve(std::int32_t& CanNestPartsAmount) = 0;
    virtual bool InTubeAdjust(double ACutPos, TNestResult& ANestResult, double& ALeftLength,
                              double ATubeLength) = 0;
    virtual bool ChoosePart(TNestResult& ANestResult, double& ALeftLength, std::int32_t& ARemainCount,
                            double ATubeLength) = 0;
    virtual bool AddLeftMaterial(double& ACutPos, double& ALeftLength, TNestResult& ANestResult,
                                 std::int32_t& APartIdx, bool& AFound, double ATubeLength) = 0;
    virtual void NestLastNest(std::int32_t ARemainCount, double AUsedLength, TNestResult& ANestResult,
                              double& ALeftLength) = 0;
    virtual void CheckPartsConnect() = 0;
    virtual void DealPartCrossTube(double ALeftLength, TNestResult& ANestResult, double& AUsedLength) = 0;
    virtual bool DealOnlyOneLongPart(TNestResult& ANestResult, double& ALeftLength,
                                     std::int32_t APartIdx) = 0;

    // Tube and amount bookkeeping.
    /// Takes a tube of the first entry (array order) that has tubes and is available; sets the
    /// result's tube, FTubeLength and FNextTubeLength. All entries are available again afterwards.
    bool ChooseNestTube(TNestResult& ANestResult);
    void UpdateTubesNum();
    void CheckTubeStatus();
    /// True when no part has copies left to place.
    bool CheckPartsAmount() const;
    /// The gap in front of the last part of a result (0 for fewer than two parts, never negative).
    void DealLastPartGap(double& AGap, const TNestResult& ANestResult) const;
    /// The gap between a split piece and a whole part next to it (either order), as the cut parts
    /// manager gives it: DefaultPartGap at the piece's cut end, the part's own gap at its uncut end.
    /// False when A and B are not one piece and one whole part, or the piece is unknown.
    bool SplitPieceGap(std::int32_t A, std::int32_t B, double& AGap) const;
    /// The gap between ALast and a new piece of part AFrom (front or back piece, in its own
    /// direction) laid after it, as the cut parts manager gives it.
    double AppendedPieceGap(std::int32_t ALast, std::int32_t AFrom, bool AFront) const;
    /// Adds the gap in front of entry AIndex of an order to ALength.
    void CalcOffsetPosition(const TIntDynArray& APartOrder, double& ALength, std::int32_t AIndex) const;
    /// True when APos lies in a separable stretch of part APartIdx (0-based), within the tolerance.
    bool IsPointLocatein(double APos, std::int32_t APartIdx) const;
    /// Decides, before nesting, what happens to a part longer than a tube (0-based index).
    void DealLongPart(const TSeparatableIntervals& AIntervals, std::int32_t APartIdx);
    /// Puts a back piece into the first closed tube that still has room.
    bool ProcessFirstFitAlgorithm(std::int32_t APartOrder, double ALength);
    /// FLengthUsed of a result from the part lengths and the FixedGap of consecutive entries.
    void CalcNestLength(TNestResult& ANestResult, const TGeneralNestPartArr& AParts,
                        const TSegPlaceInfoManager& APartsInfo) const;
    /// Merges split records of the same part whose cut lengths truncate to the same millimetre.
    void MergeSameCutNestParts();
    /// One-part tubes of the first tube entry for the given (1-based) parts.
    void AddSpecialNestResults(const TIntDynArray& ASpecialParts, TNestResultList& ANestResults,
                               bool& AIsTubesEnough);
    /// The usable tube length T against which a tube's used length is compared.
    void ChangeNestTubeLength(const TNestResult& ANestResult, double& ATubeLength, std::int32_t ARemainCount,
                              double AUsedLength) const;

    // Re-packing of finished results.
    void OptimizeNestedResults();
    bool FirstFitAlgorithm(TIntDynArray& APool, const TGeneralNestPartArr& AParts,
                           const TSegPlaceInfoManager& APartsInfo, TNestResultList& ANestResults);
    void SimpleCutParts(TIntDynArray& APool, TNestResultList& ANestResults);
    /// Sorts results ascending by leftover (tube length - FLengthUsed); stable.
    void SortResultsByLeftover(TNestResultList& ANestResults) const;
    /// Sorts descending by Length; stable.
    static void SortAlgorithmPartsByLength(std::vector<TAlgorithmPart>& AParts);

    /// The final check of a run: keeps only whole front/back pairs of split pieces, removes parts
    /// from any tube that exceeds its length, renumbers pieces to the cut parts manager layout,
    /// refreshes every result's place data and used length, and sets FNestParts / FNestTubes amounts
    /// and FTubesAmount from the results. Called at the end of CircularNestMain and InitialNestSolve.
    void RepairNestedResults();
    /// Lays copies that a run left unplaced whole at the end of a tube with room, or in a tube of
    /// their own while tubes remain (run after RepairNestedResults at the end of every nest).
    void PlaceLeftoverCopies();

    /// A cut parts manager for the current FCutNestParts (the one the host gets from the swarm).
    std::unique_ptr<TCutPartsManager> CreateCutPartsManager() const;

    // Helpers shared by the nests.
    std::int32_t PartCount() const { return static_cast<std::int32_t>(FNestParts.size()); }
    bool IsPieceNumber(std::int32_t APartRef) const;
    double PartLength(std::int32_t APartIdx) const;
    const TSeparatableIntervals& PartIntervals(std::int32_t APartIdx) const;
    /// Information about a piece number (null for a part number or an unknown piece).
    const TCircularPieceInfo* PieceInfo(std::int32_t APiece) const;
    /// Required amount of each part as handed in.
    const TIntDynArray& RequiredAmounts() const { return FRequiredAmounts; }
    /// Part entries (copies x tube count) that the final check had to take out of the results.
    std::int32_t RepairedEntries() const { return FRepairedEntries; }
    /// True when the final check had to give pieces other numbers than the run had given them.
    bool PiecesRenumbered() const { return FPiecesRenumbered; }

protected:
    /// Records the two piece numbers of a new split.
    void RegisterSplitPieces(std::int32_t AFront, std::int32_t ABack, std::int32_t AFrom, double ALength);
    /// The separable stretches of a part laid into a segment of its own length (cached per part).
    TSeparatableIntervalsInSegment& PartSegmentIntervals(std::int32_t APartIdx);
    /// The first entry that still has tubes, or -1.
    std::int32_t FirstEntryWithTubes() const;

    // Run state shared by the nests.
    bool FResultClosed = false;         ///< the tube being filled was closed into FNestResults or given back
    std::int32_t FLastChosenEntry = -1; ///< entry of the tube the last CutParts took
    std::vector<bool> FStallExcluded;   ///< entries that failed for the same front part in a row
    std::vector<bool> FGivenUpParts;    ///< parts that no entry could take (first-solution mode)
    bool FStallChoiceFailed = false;    ///< no entry left to try for the front part
    bool FStoppedEarly = false;         ///< the run ended on a stop request (copies left unplaced)
    bool FRunStarted = false;           ///< CircularNestMain or InitialNestSolve has run

private:
    /// A cut parts manager for the current (non-empty) FCutNestParts, reused while the splits' parts
    /// and lengths stay the same.
    TCutPartsManager& CachedCutPartsManager();
    /// Removes up to ACount occurrences (counted with the tube count) of part or piece |AAbsRef|,
    /// from the last result backwards and from the end of each order; returns how many went.
    std::int32_t RemoveOccurrences(std::int32_t AAbsRef, std::int32_t ACount);
    /// Gives pieces the numbers of the cut parts manager layout and rebuilds FCutNestParts from the
    /// pairs placed.
    void RenumberPieces(const std::vector<std::int32_t>& APieceCounts);

    TIntDynArray FRequiredAmounts;
    TIntDynArray FInitialTubeAmounts;
    std::vector<TCircularPieceInfo> FPieces; ///< index: piece number - part count - 1
    std::vector<std::unique_ptr<TSeparatableIntervals>> FOwnedIntervals;
    std::vector<std::unique_ptr<TSeparatableIntervalsInSegment>> FSegmentIntervals;
    TSeparatableIntervals FEmptyIntervals;
    std::int32_t FRepairedEntries = 0;
    bool FPiecesRenumbered = false;
    std::unique_ptr<TCutPartsManager> FCutPartsManagerCache;
};

} // namespace tubenest
