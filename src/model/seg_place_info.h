#pragma once
// The gap manager. In tube cutting the distance between two adjacent parts depends on which ends
// face each other, so the host hands one placement record per pair of parts and per orientation.
// Every nesting method reads gaps only through TSegPlaceInfoManager.
//
// Orientation names, for a pair whose part 1 has the larger 0-based index (part 2 the other):
//   A1B1_A2B2  part 1, then part 2, both in their own direction (B1 against A2)      ID 1
//   A2B2_A1B1  part 2, then part 1 (B2 against A1)                                   ID 2
//   A1B1_B2A2  part 1, then part 2 turned (B1 against B2)                            ID 3
//   B2A2_A1B1  part 2 turned, then part 1 (A2 against A1)                            ID 4
// A sequence and its mirror image need the same gap, so four records cover all eight ways.
//
// Thread-safety: const operations may run concurrently; InitializePartGaps, CalcMinLen (which
// only reads, but uses FPartLengths) and the setters must not run concurrently with anything else.

#include <cstdint>
#include <memory>
#include <vector>

#include "host/app_services.h"
#include "host/cad_param.h"
#include "model/assertion.h"
#include "model/nest_result.h"
#include "model/nest_types.h"

namespace tubenest {

/// The four orientation records of one pair of parts.
struct TSegPlaceInfo {
    TNestBaseInfo A1B1_A2B2;
    TNestBaseInfo A2B2_A1B1;
    TNestBaseInfo A1B1_B2A2;
    TNestBaseInfo B2A2_A1B1;
};

/// Lower-triangular: row i holds i + 1 entries; [i][j] (j <= i) has part i as part 1.
using TSegPlaceInfoTable = std::vector<std::vector<TSegPlaceInfo>>;

/// How a run of copies of one part is laid.
struct TSinglePartGap {
    double FPartGapPair = 0.0;    ///< gap inside a pair of copies
    double FPartGapConnect = 0.0; ///< gap between two consecutive pairs
    double FPartGapSingle = 0.0;  ///< gap joining the odd copy of an odd run
    std::int32_t FPartPosTypePair =
        0; ///< 0 same direction; 1 part then turned copy (B-B); 2 turned copy then part (A-A)
    std::int32_t FPartPosTypeSingle = 0; ///< 0 or 1

    static TSinglePartGap Create(double APartGapPair, double APartGapSingle, double APartGapConnect,
                                 std::int32_t APartPosTypePair, std::int32_t APartPosTypeSingle) {
        return TSinglePartGap{APartGapPair, APartGapConnect, APartGapSingle, APartPosTypePair,
                              APartPosTypeSingle};
    }
    /// Sum of the gaps inside a run of n copies (0 for n <= 1).
    double RunLength(std::int32_t n) const;
};
using TSinglePartGaps = std::vector<TSinglePartGap>;

/// A neighbour and its gap (0-based part index).
struct TPartToPartGap {
    std::int32_t PartIdx = 0;
    double PartGap = 0.0;
    static TPartToPartGap Create(std::int32_t APartIdx, double APartGap) {
        return TPartToPartGap{APartIdx, APartGap};
    }
};

/// A list of neighbours ordered by gap.
class TPartToPartGaps : public std::vector<TPartToPartGap> {
public:
    /// Sorts by increasing gap; equal gaps keep their insertion order.
    void Sort();
};

/// The neighbours of one part, in its own direction on both sides.
class TPartToPartConnectParam {
public:
    TPartToPartGaps FLeftGaps;  ///< q before this part
    TPartToPartGaps FRightGaps; ///< q after this part

    void SortByGap();
    /// The smaller of the first left and the first right gap (both lists sorted and non-empty).
    double GetMinGap() const;
    static int CompareByGap(const TPartToPartGap& Left, const TPartToPartGap& Right);
};
using TPartToPartConnectParams = std::vector<std::unique_ptr<TPartToPartConnectParam>>;

class TSegPlaceInfoManager;

/// Supplies the records of table rows that are computed rather than stored.
class TSegPlaceInfoRowSource {
public:
    virtual ~TSegPlaceInfoRowSource() = default;
    /// The record with orientation code AOrientation (1..4) of cell [ARow][ACol], ACol <= ARow.
    virtual TNestBaseInfo Record(const TSegPlaceInfoManager& AManager, std::int32_t ARow, std::int32_t ACol,
                                 std::int32_t AOrientation) const = 0;
};

class TSegPlaceInfoManager {
public:
    std::int32_t FPartCount = 0;
    TCADAutoNestParam FNestParam;
    TSegPlaceInfoTable FSegPlaceInfoTable;
    TSinglePartGaps FSinglePartGaps;
    std::vector<double> FPartLengths; ///< one length per part for CalcMinLen, filled by its caller
    TPartToPartConnectParams FPartToPartConnectParams;

    /// APartCount empty rows; the creator fills them (InitTable and SetSegPlaceInfo do it safely).
    TSegPlaceInfoManager(std::int32_t APartCount, const TCADAutoNestParam& ANestParam);
    TSegPlaceInfoManager(const TSegPlaceInfoManager&) = delete;
    TSegPlaceInfoManager& operator=(const TSegPlaceInfoManager&) = delete;

    /// Sizes every row i to i + 1 records fresh from Init (orientation IDs set).
    void InitTable();
    /// Stores the record of the pair (i, j), 0-based with j <= i; checks both indices.
    void SetSegPlaceInfo(std::int32_t i, std::int32_t j, const TSegPlaceInfo& info);
    /// Stores the record for part reference A immediately followed by B (the inverse of GetA1B1Info;
    /// the mirror placement -B, -A shares it; for k, k the diagonal record of -k, -k is set too).
    void SetA1B1Info(std::int32_t A, std::int32_t B, const TNestBaseInfo& info);

    /// The record for part reference A immediately followed by part reference B (a copy).
    TNestBaseInfo GetA1B1Info(std::int32_t A, std::int32_t B) const {
        const TSlot slot = Locate(A, B);
        if (const TNestBaseInfo* stored = StoredRecord(slot)) {
            return *stored;
        }
        return SourceRecord(A, B, slot);
    }
    /// The same record without copying; only for stored rows (not for rows of FRowSource).
    const TNestBaseInfo& GetA1B1InfoRef(std::int32_t A, std::int32_t B) const {
        const TNestBaseInfo* stored = StoredRecord(Locate(A, B));
        if (stored == nullptr) {
            NoStoredRecord(A, B);
        }
        return *stored;
    }
    /// FixedGap of GetA1B1Info(A, B).
    double GetGap(std::int32_t A, std::int32_t B) const {
        const TSlot slot = Locate(A, B);
        if (const TNestBaseInfo* stored = StoredRecord(slot)) {
            return stored->FixedGap;
        }
        return SourceRecord(A, B, slot).FixedGap;
    }

    /// Rows that are not stored in FSegPlaceInfoTable (left empty there) are computed on demand by
    /// this source; it keeps very large tables (one row per split piece) out of memory.
    std::shared_ptr<const TSegPlaceInfoRowSource> FRowSource;

    /// Rows 0 .. FSharedRows->size() - 1 of the table, shared read-only with other managers (the
    /// split-piece tables of one nesting run all start with the same rows of the whole parts); the
    /// own rows at those indices stay empty. Writing a record first copies the shared rows in, so
    /// no other manager ever sees the change.
    std::shared_ptr<const TSegPlaceInfoTable> FSharedRows;
    /// The row i of the table, wherever it is kept (empty when i is outside the table).
    const std::vector<TSegPlaceInfo>& TableRow(std::size_t i) const;

    /// Derives the run patterns and the neighbour lists; does nothing when the run patterns exist.
    void InitializePartGaps();
    /// Greedy estimate of the shortest length for the given distinct parts (0-based) and amounts;
    /// fills ResultIdx (when given) with the chain of parts found.
    double CalcMinLen(const TIntDynArray& PartIdxs, const TIntDynArray& PartAmounts,
                      TIntDynArray* ResultIdx) const;
    /// The same estimate with the length of each part (0-based, one per part of the manager) given
    /// by the caller instead of FPartLengths, so that a method can count parts longer than they are
    /// without writing into the shared manager.
    double CalcMinLen(const TIntDynArray& PartIdxs, const TIntDynArray& PartAmounts, TIntDynArray* ResultIdx,
                      const std::vector<double>& APartLengths) const;
    /// The records of the consecutive pairs of an order of part references.
    void GetOrderInfos(const TIntDynArray& OriOrder, TNestBaseInfoList* ResultInfos) const;
    /// Place data and used length of a result.
    void UpdateNestResultInfo(TNestResult& ANestResult, const TGeneralNestPartArr& AParts) const;
    /// Largest and smallest FixedGap over all calculated records (0 and 0 when there is none).
    void GetMaxMinGap(double& AMaxGap, double& AMinGap) const;
    /// True when the calculated gaps are not all equal within 0.0001 mm.
    bool CheckIsTrapezoid() const;

private:
    struct TSlot {
        std::int32_t Row = 0;
        std::int32_t Col = 0;
        std::int32_t Orientation = 0; ///< orientation code of the record within the cell
    };
    // Locate and StoredRecord run for every gap read of every method; inline keeps them cheap.
    TSlot Locate(std::int32_t A, std::int32_t B) const {
        TUBENEST_ASSERT(A != 0 && B != 0, "uNestBase3D", SCanNotTransferZero);
        const std::int32_t i = (A > 0 ? A : -A) - 1;
        const std::int32_t j = (B > 0 ? B : -B) - 1;
        const bool aPos = A > 0;
        const bool bPos = B > 0;
        TSlot slot;
        if (i >= j) {
            slot.Row = i;
            slot.Col = j;
            slot.Orientation =
                aPos && bPos ? kA1B1_A2B2 : (!aPos && !bPos ? kA2B2_A1B1 : (aPos ? kA1B1_B2A2 : kB2A2_A1B1));
        } else {
            slot.Row = j;
            slot.Col = i;
            slot.Orientation =
                aPos && bPos ? kA2B2_A1B1 : (!aPos && !bPos ? kA1B1_A2B2 : (aPos ? kA1B1_B2A2 : kB2A2_A1B1));
        }
        return slot;
    }
    const TNestBaseInfo* StoredRecord(const TSlot& ASlot) const {
        const auto row = static_cast<std::size_t>(ASlot.Row);
        const auto col = static_cast<std::size_t>(ASlot.Col);
        const TSegPlaceInfoTable& table =
            FSharedRows && row < FSharedRows->size() ? *FSharedRows : FSegPlaceInfoTable;
        if (row >= table.size() || col >= table[row].size()) {
            return nullptr;
        }
        const TSegPlaceInfo& e = table[row][col];
        switch (ASlot.Orientation) {
        case kA1B1_A2B2:
            return &e.A1B1_A2B2;
        case kA2B2_A1B1:
            return &e.A2B2_A1B1;
        case kA1B1_B2A2:
            return &e.A1B1_B2A2;
        default:
            return &e.B2A2_A1B1;
        }
    }
    [[noreturn]] void NoStoredRecord(std::int32_t A, std::int32_t B) const;
    /// The record of a row that is not stored: asks FRowSource (asserts that there is one).
    TNestBaseInfo SourceRecord(std::int32_t A, std::int32_t B, const TSlot& ASlot) const;
    /// Copies the shared rows into the own table and drops the sharing (before any write).
    void DetachSharedRows();
    TNestBaseInfo& RecordFor(std::int32_t A, std::int32_t B);
};

} // namespace tubenest
