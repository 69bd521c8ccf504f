#pragma once
// Split pieces as parts of their own. When the circular nest cuts a part in two, the front piece and
// the back piece need part records and gap records like any other part. TCutPartsManager builds an
// extended part array (the unsplit parts, then per split its front piece and its back piece) and a
// gap manager whose pair table covers the pieces.
//
// A front piece keeps the part's end A and has the cut at its end B; a back piece has the cut at its
// end A and keeps the part's end B.

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <vector>

#include "host/cad_param.h"
#include "model/nest_types.h"
#include "model/seg_place_info.h"

namespace tubenest {

/// One split: a part cut at Length from its front, Amount times.
struct TCutNestPart {
    double Length = 0.0;     ///< length of the front piece (the cut position from the part's front)
    std::int32_t From = 0;   ///< 1-based number of the part that was split
    std::int32_t Amount = 0; ///< how many such splits

    void DataInit() { *this = TCutNestPart{}; }
    void DataUpdate(double NewPartLength, std::int32_t NewPartFrom, std::int32_t NewPartAmount) {
        Length = NewPartLength;
        From = NewPartFrom;
        Amount = NewPartAmount;
    }
    friend bool operator==(const TCutNestPart&, const TCutNestPart&) = default;
};

/// The list of splits.
class TCutNestParts {
public:
    /// By From ascending; for the same From, lengths within 1.0 of each other compare equal, otherwise
    /// the longer comes first.
    class TCutNestPartsComparer {
    public:
        static int Compare(const TCutNestPart& Left, const TCutNestPart& Right);
    };

    using value_type = TCutNestPart;
    using iterator = std::vector<TCutNestPart>::iterator;
    using const_iterator = std::vector<TCutNestPart>::const_iterator;

    TCutNestParts() = default;
    TCutNestParts(std::initializer_list<TCutNestPart> AItems) : FItems(AItems) {}

    // List operations. Indices are checked; a bad index throws std::out_of_range.
    std::int32_t Add(const TCutNestPart& AItem);
    void Insert(std::int32_t Index, const TCutNestPart& AItem);
    void Delete(std::int32_t Index);
    void Clear() { FItems.clear(); }
    std::int32_t Count() const { return static_cast<std::int32_t>(FItems.size()); }
    bool IsEmpty() const { return FItems.empty(); }
    const TCutNestPart& Items(std::int32_t Index) const;
    TCutNestPart& Items(std::int32_t Index);
    const TCutNestPart& operator[](std::int32_t Index) const { return Items(Index); }
    TCutNestPart& operator[](std::int32_t Index) { return Items(Index); }
    iterator begin() { return FItems.begin(); }
    iterator end() { return FItems.end(); }
    const_iterator begin() const { return FItems.begin(); }
    const_iterator end() const { return FItems.end(); }
    const std::vector<TCutNestPart>& ToVector() const { return FItems; }

    /// Sorts into an order that TCutNestPartsComparer accepts: From ascending, then the longer first.
    /// Splits of the same part whose lengths differ by less than 1.0 end up adjacent.
    void Sort();
    /// A new list with copies of all entries.
    std::unique_ptr<TCutNestParts> Clone() const;

    friend bool operator==(const TCutNestParts&, const TCutNestParts&) = default;

private:
    std::vector<TCutNestPart> FItems;
};

/// The extended part array and gap manager in which every split piece is a part of its own.
///
/// Layout: indices 0 .. FOriPartCount - 1 are the unsplit parts; split c (0-based position in the
/// split list) has its front piece at FOriPartCount + 2c and its back piece at FOriPartCount + 2c + 1.
class TCutPartsManager {
public:
    std::unique_ptr<TSegPlaceInfoManager> FSegPlaceInfoManager; ///< gap manager for the extended array
    std::unique_ptr<TCutNestParts> FCutNestPartList;            ///< copy of the splits
    TGeneralNestPartArr FGeneralNestPartArr;                    ///< the extended part array
    std::int32_t FOriPartCount = 0;                             ///< number of unsplit parts
    std::int32_t FTempPartCount = 0;                            ///< FOriPartCount + 2 x number of splits
    TCADAutoNestParam FNestParam;                               ///< copy of the parameter block
    double FPartConnectLength = 0.0; ///< overlap of two cut ends joined by a Z-shape or bevel cut

    /// Largest number of table cells stored for split-piece rows; above it the gap manager computes
    /// those records on demand (same values, far less memory). Tests lower it to cover both paths.
    static inline std::int64_t MaxStoredPieceCells = 1 << 12;
    /// True when the piece rows are stored in the gap table.
    bool PiecesStored() const { return FPiecesStored; }

    /// Builds the extended array and gap table. ASegPlaceInfoManager must hold a complete pair table
    /// for the parts of AGeneralNestPartArr; every split must name one of those parts
    /// (std::invalid_argument / std::out_of_range otherwise). The arguments are copied, not kept.
    /// AWholePartRows, when given, holds the same records as the first rows of
    /// ASegPlaceInfoManager's table (at least one per part); the new gap manager then shares those
    /// rows read-only instead of copying them (FSegPlaceInfoManager->FSharedRows), which keeps the
    /// many short-lived managers of a nesting run cheap. The manager stays valid on its own either way.
    TCutPartsManager(const TSegPlaceInfoManager& ASegPlaceInfoManager, const TCutNestParts& ACutNestPartList,
                     const TGeneralNestPartArr& AGeneralNestPartArr, const TCADAutoNestParam& NestParam,
                     std::shared_ptr<const TSegPlaceInfoTable> AWholePartRows = nullptr);
    TCutPartsManager(const TCutPartsManager&) = delete;
    TCutPartsManager& operator=(const TCutPartsManager&) = delete;

    /// A deep copy (own gap manager and split list).
    std::unique_ptr<TCutPartsManager> Clone() const;

    /// Part record of the front piece of ACut.
    TGeneralNestPart CreateLeftPart(const TCutNestPart& ACut) const;
    /// Part record of the back piece of ACut.
    TGeneralNestPart CreateRightPart(const TCutNestPart& ACut) const;
    /// Sets FPartConnectLength from the cut shape and the parameter block.
    void CalcPartConnectLength();
    /// Fills the pieces' part records and gap rows for a straight cut.
    void UpdateTempNestPart();
    /// Fills the pieces' part records and gap rows for a Z-shaped cut (the two cut ends overlap).
    void ZShapeUpdateTemNestPart();
    /// Bevelled cut: the same as the Z-shaped cut.
    void BevelUpdateTemNestPart();
    /// The record of a contact at a cut end: fresh record, ZGap and FixedGap := the gap manager's
    /// DefaultPartGap, Caled := true.
    void ReSetNestBaseInfo(TNestBaseInfo& info) const;

private:
    TCutPartsManager() = default;
    bool FPiecesStored = true;
};

} // namespace tubenest
