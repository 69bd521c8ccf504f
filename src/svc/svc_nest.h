#pragma once
// SVC nesting: value-driven knapsack filling of tube after tube.
//
// Every part kind carries a value. A tube is filled by a dynamic programme over whole millimetres
// (BulidSegPackage) that maximises the total value of the parts laid in it, counting the gap
// between copies of one part and the gap from the last part of an earlier filling to the next
// part. The best filling is repeated as often as the part amounts and the tubes of the entry allow,
// and the next pattern is built from what remains (SVCNest). AutoMultiNest produces several good
// patterns for one tube length; it serves as pricing for column-generating callers, which call it
// very often: the knapsack table is a flat member buffer that is sized once per tube length and
// reused between calls.
//
// Tolerance of every length and value comparison here: 0.01 mm.
//
// Thread-safety: a TBackpack keeps its table between calls, so one object must not be used by two
// threads at once; separate objects (sharing one gap manager, whose const operations are safe) may
// run concurrently.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "host/cad_param.h"
#include "model/nest_result.h"
#include "model/nest_types.h"
#include "model/random.h"
#include "model/seg_place_info.h"

namespace tubenest {

/// A part kind as the knapsack sees it.
struct TSVCNestPart {
    double Length = 0.0; ///< the part's FOuterlength
    double Value = 0.0;  ///< what one copy is worth to the knapsack
    std::int32_t Amount = 0;
    std::int32_t Idx = 0; ///< 0-based part index

    TSVCNestPart Clone() const { return *this; }
    void DataInit() { *this = TSVCNestPart{}; }
};

/// A tube entry as the knapsack sees it.
struct TSVCNestTube {
    double Length = 0.0;
    std::int32_t Amount = 0;
    std::int32_t Idx = 0;            ///< 0-based tube index
    std::int32_t NestedPartIdx = -1; ///< part reference standing at the tube start; <= 0: none
};

/// A list of part kinds (candidates, or the selection of one pattern with Amount = copies).
class TSVCNestParts : public std::vector<TSVCNestPart> {
public:
    using std::vector<TSVCNestPart>::vector;
    /// A deep copy.
    TSVCNestParts Clone() const { return *this; }
    /// Total copies over all records.
    std::int32_t TotalAmount() const;
};

/// One selection per pattern, parallel to a result list.
using TSVCNestPartsList = std::vector<TSVCNestParts>;

/// One cell of the knapsack table (24 bytes).
struct NestInfor {
    double Value = 0.0;     ///< best value reachable
    std::int32_t From = 0;  ///< column of the previous row the cell was reached from
    std::int32_t Num = 0;   ///< copies of this row's part added
    std::int32_t State = 0; ///< 0-based index of the last part laid (for the gap to the next one)
};

/// The knapsack table: rows 0..parts, columns 0..tube length in whole millimetres, stored flat.
/// Resize keeps the allocation, so a table used for many calls allocates only when it grows.
class InforMatrix {
public:
    /// Sets the shape; the cells hold stale data until the caller clears or fills the rows.
    void Resize(std::int32_t ARows, std::int32_t ACols);
    std::int32_t Rows() const { return rows_; }
    std::int32_t Cols() const { return cols_; }
    NestInfor* Row(std::int32_t r) { return cells_.data() + Offset(r); }
    const NestInfor* Row(std::int32_t r) const { return cells_.data() + Offset(r); }
    NestInfor& operator()(std::int32_t r, std::int32_t c) { return Row(r)[c]; }
    const NestInfor& operator()(std::int32_t r, std::int32_t c) const { return Row(r)[c]; }
    /// Sets every cell of a row to zero.
    void ClearRow(std::int32_t r);
    /// Cells currently allocated (for memory accounting).
    std::size_t CapacityCells() const { return cells_.capacity(); }

    /// Largest table the engine builds (cells); larger problems are rejected as bad input.
    static constexpr std::size_t kMaxCells = std::size_t{1} << 26;

private:
    std::size_t Offset(std::int32_t r) const {
        return static_cast<std::size_t>(r) * static_cast<std::size_t>(cols_);
    }
    std::vector<NestInfor> cells_;
    std::int32_t rows_ = 0;
    std::int32_t cols_ = 0;
};

/// A knapsack table over InforMatrix::kMaxCells: the problem is valid, but too large for this
/// method at whole-millimetre resolution (long stock times many part kinds).
class TSVCTableLimitError : public std::invalid_argument {
public:
    TSVCTableLimitError(std::int32_t ARows, std::int32_t ACols);
    std::int32_t Rows() const { return FRows; }
    std::int32_t Cols() const { return FCols; }

private:
    std::int32_t FRows;
    std::int32_t FCols;
};

/// Turns a selection into an ordered pattern, and the value-correction rule.
class TGreedyAlgorithm {
public:
    bool FDisableReverse = false;

    TGreedyAlgorithm() = default;
    explicit TGreedyAlgorithm(bool ADisableReverse) : FDisableReverse(ADisableReverse) {}

    /// Each selected part repeated Amount times, reordered by CalcTsp (turning allowed unless
    /// FDisableReverse), FLengthUsed = lengths plus the gaps between neighbours. FTubeIndex and
    /// FTubeCount are left 0; the place data is left empty.
    TNestResult NewGreedyAlgorithm(const TSVCNestParts& ANestParts,
                                   const TSegPlaceInfoManager& SegPlaceInfo) const;
    /// FixedGap for part reference IdxA immediately followed by IdxB.
    static double GetGap(const TSegPlaceInfoManager& SegPlaceInfo, std::int32_t IdxA, std::int32_t IdxB);
    /// A corrected value for NestPart: a = 1 + 0.5 r1, q = (r2 (a - 1/a) + 1/a)(TotalNeedPart +
    /// RemainPart) / NestPart.Amount, result q/(q+1) Value + 1/(q+1) Length TubeLength / (TubeLength -
    /// NestLength), with r1, r2 drawn from ARandom (uniform in [0, 1)). Throws std::invalid_argument
    /// when NestPart.Amount <= 0 or NestLength >= TubeLength (the formula would divide by zero).
    static double ModifyPartValue(const TSVCNestPart& NestPart, double TubeLength, double NestLength,
                                  std::int32_t TotalNeedPart, std::int32_t RemainPart,
                                  TRandomGenerator& ARandom);
};

/// The SVC nesting engine.
class TBackpack {
public:
    static constexpr double kTolerance = 0.01;

    /// Copies the parts and tubes (values set from the first tube's length) and the parameters it
    /// reads. SegPlaceInfoManager is not owned and must outlive the object. Throws
    /// std::invalid_argument for a negative amount or a part length / tube length that is not a
    /// finite number >= 0 (parts with copies to nest must be longer than 0).
    TBackpack(const TGeneralNestPartArr& AGNestParts, const TGeneralNestTubeArr& AGNestTubes,
              const TCADAutoNestParam& Param, const TSegPlaceInfoManager& SegPlaceInfoManager);
    TBackpack(const TGeneralNestPartArr&, const TGeneralNestTubeArr&, const TCADAutoNestParam&,
              TSegPlaceInfoManager&&) = delete;
    TBackpack(const TBackpack&) = delete;
    TBackpack& operator=(const TBackpack&) = delete;
    ~TBackpack() = default;

    /// Nests the parts tube entry after tube entry; appends one result per pattern to ANestResult
    /// (the caller's list) and returns the summary (PartUsedCount, TubeUsedCount, TotalTubeLeft,
    /// MinUsedLength; 0 when nothing was nested). Copies that cannot be nested are absent.
    TNestResultInfo SVCNest(TNestResultList& ANestResult);

    /// Fills one tube of NestTube with candidates from InputNestPart (whose amounts decrease by the
    /// copies used); SelectedNestParts receives the selection merged by Idx, NestResult the pattern
    /// (part order, FLengthUsed including the gap from a part tied to the tube).
    void AutoNest(const TSVCNestTube& NestTube, TSVCNestParts& InputNestPart,
                  TSVCNestParts& SelectedNestParts, TNestResult& NestResult);

    /// Several patterns for one tube length: InputNestPart gives the values (ResetValue), the
    /// amounts are those of construction. Appends to NestResults one pattern per
    /// kept solution and to SelectedNestParts its selection (merged by Idx), in the same order.
    /// Patterns worth less than SetValue (beyond 0.01) are dropped.
    void AutoMultiNest(double TubeLength, const TSVCNestParts& InputNestPart,
                       TSVCNestPartsList& SelectedNestParts, const TSegPlaceInfoManager& SegPlaceInfo,
                       TNestResultList& NestResults, double SetValue);

    /// Best filling of Length whole millimetres from NestParts (amounts decrease by the copies
    /// taken; parts at 0 are removed). Returns the selection; NestResult receives the pattern.
    TSVCNestParts SingleTubeNest(std::int32_t Length, TSVCNestParts& NestParts,
                                 const TSegPlaceInfoManager& SegPlaceInfo, TNestResult& NestResult,
                                 const TGreedyAlgorithm& GreedyAlgorithm);

    /// Every filling of Length whose last-row value is > 0, for the columns Length down to
    /// trunc(0.85 Length): appends the pattern to NestResults, its selection to Selections and the
    /// parts left over (a copy of NestParts less the selection) to Remainders.
    void SingleTubeMultiNest(std::int32_t Length, const TSVCNestParts& NestParts,
                             const TSegPlaceInfoManager& SegPlaceInfo, TNestResultList& NestResults,
                             TSVCNestPartsList& Selections, TSVCNestPartsList& Remainders,
                             const TGreedyAlgorithm& GreedyAlgorithm);

    /// Fills the member table for T whole millimetres and the rows of NestParts. T < 0 is treated
    /// as 0. Throws TSVCTableLimitError when the table would exceed InforMatrix::kMaxCells.
    void BulidSegPackage(std::int32_t T, const TSVCNestParts& NestParts,
                         const TSegPlaceInfoManager& SegPlaceInfo);
    /// The table of the last BulidSegPackage.
    const InforMatrix& Matrix() const { return FMatrix; }

    /// Backtracks the best column of the last row (searched from T down: the longest filling wins
    /// a tie); NestParts loses the copies taken. Returns the selection; NestResult the pattern.
    TSVCNestParts GetBestResult(const InforMatrix& M, TSVCNestParts& NestParts, std::int32_t T,
                                const TSegPlaceInfoManager& SegPlaceInfo, TNestResult& NestResult,
                                const TGreedyAlgorithm& GreedyAlgorithm) const;
    /// Backtracks every column from T down to trunc(0.85 T) with a last-row value > 0.
    void GetResults(const InforMatrix& M, const TSVCNestParts& NestParts, std::int32_t T,
                    const TSegPlaceInfoManager& SegPlaceInfo, TNestResultList& NestResults,
                    TSVCNestPartsList& Selections, TSVCNestPartsList& Remainders,
                    const TGreedyAlgorithm& GreedyAlgorithm) const;

    /// Smallest length of a candidate with value > 0 plus the larger of the gaps from LastPart to it
    /// in either direction; 2147483647.0 when there is none. LastPart <= 0: no gap.
    static double CalcMinLength(std::int32_t LastPart, const TSVCNestParts& Candidates,
                                const TSegPlaceInfoManager& SegPlaceInfo);
    /// Largest gap from LastPart to any candidate in either direction (search from -100000), at most
    /// FPartGap.
    double FindMaxGap(std::int32_t LastPart, const TSVCNestParts& Candidates,
                      const TSegPlaceInfoManager& SegPlaceInfo) const;
    /// Merges records with the same Idx (first occurrence kept, amounts added).
    static void MergeSameParts(TSVCNestParts& Parts);
    /// Each part of FNestParts takes the Value of the record of InputNestPart with the same Idx
    /// (parts without such a record keep their value).
    void ResetValue(const TSVCNestParts& InputNestPart);
    /// Sum of the Values (of FNestParts) of the parts in the pattern.
    double CalcNestResultValue(const TNestResult& NestResult) const;
    /// Orders the patterns by copies, fewest first (stable), then deletes, from the last down, each
    /// pattern for which an earlier one holds every part at least as often. Selections is kept
    /// parallel to NestResults.
    static void RemoveDuplicatesols(TNestResultList& NestResults, TSVCNestPartsList& Selections);
    /// For a tube tied to a part (NestedPartIdx > 0): sets FIsContinueNest and lays the longest
    /// candidate that fits after the tied part as NestResult's first part (turned when that needs a
    /// smaller gap and turning is allowed), FLengthUsed = its length + gap. Returns the record taken
    /// (amount 1; removed from Candidates), or an empty list.
    TSVCNestParts DealOriPartAndNewPartGap(const TSVCNestTube& NestTube, TSVCNestParts& Candidates,
                                           TNestResult& NestResult);

    const std::vector<TSVCNestTube>& NestTubes() const { return FNestTubes; }
    const TSVCNestParts& NestParts() const { return FNestParts; }
    double PartGap() const { return FPartGap; }
    bool DisableReverse() const { return FDisableReverse; }
    bool IsContinueNest() const { return FIsContinueNest; }

private:
    /// Fills at most T whole millimetres from Candidates and appends the filling to NestResult when
    /// the real length (through the gap manager, with the gap from LastPart, 0 = none) keeps Used
    /// within TubeLength; otherwise retries with a shorter T. Returns whether a filling was appended.
    bool TryAppendFilling(std::int32_t T, double TubeLength, std::int32_t LastPart, TSVCNestParts& Candidates,
                          TSVCNestParts& Selected, TNestResult& NestResult, double& Used,
                          const TSegPlaceInfoManager& SegPlaceInfo, const TGreedyAlgorithm& GreedyAlgorithm);
    /// The table rounds part lengths up and the tube down to whole millimetres, so a copy that fits
    /// at its real length can be left out. Appends such copies (longest first, in the direction
    /// with the smaller gap) while they fit at real lengths; returns the number appended.
    std::int32_t CompleteAtRealLengths(const TSVCNestTube& NestTube, TSVCNestParts& Candidates,
                                       TSVCNestParts& Selected, TNestResult& NestResult, double& Used,
                                       const TSegPlaceInfoManager& SegPlaceInfo) const;
    /// Copies taken per row (entry r - 1 for row r) when backtracking the last row from column Col.
    static TIntDynArray Backtrack(const InforMatrix& M, std::int32_t Col);
    /// The selection of Nums (row order); NestParts loses the copies, exhausted parts are removed.
    static TSVCNestParts TakeRows(const TIntDynArray& Nums, TSVCNestParts& NestParts);

    std::vector<TSVCNestTube> FNestTubes;
    TSVCNestParts FNestParts;
    const TSVCNestParts* FInputNestParts = nullptr; ///< candidates of the current call; not owned
    const TSegPlaceInfoManager* FSegPlaceInfo;      ///< not owned
    double FPartGap = 0.0;
    bool FDisableReverse = false;
    bool FIsContinueNest = false;
    InforMatrix FMatrix; ///< reused between calls
};

} // namespace tubenest
