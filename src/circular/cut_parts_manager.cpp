#include "circular/cut_parts_manager.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>
#include <utility>

#include "circular/circular_constants.h"
#include "host/geometry.h"
#include "model/assertion.h"

namespace tubenest {
namespace {

constexpr const char* kModule = "UCutPartsManager";

[[noreturn]] void ThrowBadIndex(std::int32_t AIndex, std::int32_t ACount) {
    throw std::out_of_range("split list: index " + std::to_string(AIndex) + " outside 0.." +
                            std::to_string(ACount - 1));
}

/// A deep copy of a gap manager (the manager itself is not copyable because it owns its neighbour
/// objects).
std::unique_ptr<TSegPlaceInfoManager> CopyGapManager(const TSegPlaceInfoManager& ASource) {
    auto copy = std::make_unique<TSegPlaceInfoManager>(ASource.FPartCount, ASource.FNestParam);
    copy->FSegPlaceInfoTable = ASource.FSegPlaceInfoTable;
    copy->FSinglePartGaps = ASource.FSinglePartGaps;
    copy->FPartLengths = ASource.FPartLengths;
    copy->FRowSource = ASource.FRowSource;   // immutable, shared
    copy->FSharedRows = ASource.FSharedRows; // immutable, shared
    copy->FPartToPartConnectParams.reserve(ASource.FPartToPartConnectParams.size());
    for (const auto& param : ASource.FPartToPartConnectParams) {
        copy->FPartToPartConnectParams.push_back(param ? std::make_unique<TPartToPartConnectParam>(*param)
                                                       : std::unique_ptr<TPartToPartConnectParam>{});
    }
    return copy;
}

} // namespace

// ---------------------------------------------------------------------------------------------------
// TCutNestParts

int TCutNestParts::TCutNestPartsComparer::Compare(const TCutNestPart& Left, const TCutNestPart& Right) {
    if (Left.From != Right.From) {
        return Left.From < Right.From ? -1 : 1;
    }
    if (std::fabs(Left.Length - Right.Length) < 1.0) {
        return 0;
    }
    return Left.Length > Right.Length ? -1 : 1;
}

std::int32_t TCutNestParts::Add(const TCutNestPart& AItem) {
    FItems.push_back(AItem);
    return Count() - 1;
}

void TCutNestParts::Insert(std::int32_t Index, const TCutNestPart& AItem) {
    if (Index < 0 || Index > Count()) {
        ThrowBadIndex(Index, Count() + 1);
    }
    FItems.insert(FItems.begin() + Index, AItem);
}

void TCutNestParts::Delete(std::int32_t Index) {
    if (Index < 0 || Index >= Count()) {
        ThrowBadIndex(Index, Count());
    }
    FItems.erase(FItems.begin() + Index);
}

const TCutNestPart& TCutNestParts::Items(std::int32_t Index) const {
    if (Index < 0 || Index >= Count()) {
        ThrowBadIndex(Index, Count());
    }
    return FItems[static_cast<std::size_t>(Index)];
}

TCutNestPart& TCutNestParts::Items(std::int32_t Index) {
    if (Index < 0 || Index >= Count()) {
        ThrowBadIndex(Index, Count());
    }
    return FItems[static_cast<std::size_t>(Index)];
}

void TCutNestParts::Sort() {
    // "Within 1.0 compares equal" is not transitive, so a sort cannot use the comparer itself. Ordering
    // by exact length, longest first, within each part gives an order the comparer accepts for every
    // pair (an earlier entry is never shorter by 1.0 or more).
    std::stable_sort(FItems.begin(), FItems.end(), [](const TCutNestPart& l, const TCutNestPart& r) {
        if (l.From != r.From) {
            return l.From < r.From;
        }
        return l.Length > r.Length;
    });
}

std::unique_ptr<TCutNestParts> TCutNestParts::Clone() const {
    auto copy = std::make_unique<TCutNestParts>();
    copy->FItems = FItems;
    return copy;
}

// ---------------------------------------------------------------------------------------------------
// TCutPartsManager

TCutPartsManager::TCutPartsManager(const TSegPlaceInfoManager& ASegPlaceInfoManager,
                                   const TCutNestParts& ACutNestPartList,
                                   const TGeneralNestPartArr& AGeneralNestPartArr,
                                   const TCADAutoNestParam& NestParam,
                                   std::shared_ptr<const TSegPlaceInfoTable> AWholePartRows)
    : FNestParam(NestParam) {
    FOriPartCount = static_cast<std::int32_t>(AGeneralNestPartArr.size());
    FTempPartCount = FOriPartCount + 2 * ACutNestPartList.Count();

    if (ASegPlaceInfoManager.FPartCount < FOriPartCount ||
        ASegPlaceInfoManager.FSegPlaceInfoTable.size() < static_cast<std::size_t>(FOriPartCount)) {
        throw std::invalid_argument("cut parts manager: the gap manager covers " +
                                    std::to_string(ASegPlaceInfoManager.FPartCount) +
                                    " parts, the part array has " + std::to_string(FOriPartCount));
    }
    for (std::int32_t r = 0; r < FOriPartCount; ++r) {
        const std::size_t held = ASegPlaceInfoManager.TableRow(static_cast<std::size_t>(r)).size();
        if (held < static_cast<std::size_t>(r) + 1) {
            throw std::invalid_argument("cut parts manager: gap table row " + std::to_string(r) + " holds " +
                                        std::to_string(held) + " records, needs " + std::to_string(r + 1));
        }
        if (AWholePartRows &&
            (AWholePartRows->size() < static_cast<std::size_t>(FOriPartCount) ||
             (*AWholePartRows)[static_cast<std::size_t>(r)].size() != static_cast<std::size_t>(r) + 1)) {
            throw std::invalid_argument("cut parts manager: the shared rows do not cover the " +
                                        std::to_string(FOriPartCount) + " parts");
        }
    }
    for (std::int32_t c = 0; c < ACutNestPartList.Count(); ++c) {
        const TCutNestPart& cut = ACutNestPartList[c];
        if (cut.From < 1 || cut.From > FOriPartCount) {
            throw std::out_of_range("cut parts manager: split " + std::to_string(c) + " names part " +
                                    std::to_string(cut.From) + ", parts are 1.." +
                                    std::to_string(FOriPartCount));
        }
        const double outer = AGeneralNestPartArr[static_cast<std::size_t>(cut.From - 1)].FOuterlength;
        if (!std::isfinite(cut.Length) || cut.Length < -kCircularTolerance ||
            cut.Length > outer + kCircularTolerance) {
            throw std::invalid_argument("cut parts manager: split " + std::to_string(c) + " of part " +
                                        std::to_string(cut.From) + " at " + std::to_string(cut.Length) +
                                        " lies outside the part (length " + std::to_string(outer) + ")");
        }
    }

    FSegPlaceInfoManager =
        std::make_unique<TSegPlaceInfoManager>(FTempPartCount, ASegPlaceInfoManager.FNestParam);
    if (AWholePartRows) {
        // Exactly the rows of the whole parts: rows of pieces must come from this manager's table.
        if (AWholePartRows->size() == static_cast<std::size_t>(FOriPartCount)) {
            FSegPlaceInfoManager->FSharedRows = std::move(AWholePartRows);
        } else {
            FSegPlaceInfoManager->FSharedRows = std::make_shared<const TSegPlaceInfoTable>(
                AWholePartRows->begin(), AWholePartRows->begin() + FOriPartCount);
        }
    } else {
        for (std::int32_t r = 0; r < FOriPartCount; ++r) {
            const auto& source = ASegPlaceInfoManager.TableRow(static_cast<std::size_t>(r));
            FSegPlaceInfoManager->FSegPlaceInfoTable[static_cast<std::size_t>(r)].assign(
                source.begin(), source.begin() + static_cast<std::ptrdiff_t>(r) + 1);
        }
    }

    FCutNestPartList = ACutNestPartList.Clone();
    FGeneralNestPartArr.resize(static_cast<std::size_t>(FTempPartCount));
    std::copy(AGeneralNestPartArr.begin(), AGeneralNestPartArr.end(), FGeneralNestPartArr.begin());

    // Piece rows grow with the square of the number of splits; beyond the budget they are computed
    // on demand instead of stored.
    std::int64_t pieceCells = 0;
    for (std::int64_t r = FOriPartCount; r < FTempPartCount; ++r) {
        pieceCells += r + 1;
    }
    FPiecesStored = pieceCells <= MaxStoredPieceCells;

    CalcPartConnectLength();
    switch (FNestParam.CutShape()) {
    case 1:
        ZShapeUpdateTemNestPart();
        break;
    case 2:
        BevelUpdateTemNestPart();
        break;
    default:
        // 0, and any unknown shape, which the nests treat as a straight cut as well.
        UpdateTempNestPart();
        break;
    }
}

std::unique_ptr<TCutPartsManager> TCutPartsManager::Clone() const {
    std::unique_ptr<TCutPartsManager> copy(new TCutPartsManager());
    copy->FSegPlaceInfoManager = FSegPlaceInfoManager ? CopyGapManager(*FSegPlaceInfoManager) : nullptr;
    copy->FCutNestPartList = FCutNestPartList ? FCutNestPartList->Clone() : nullptr;
    copy->FGeneralNestPartArr = FGeneralNestPartArr;
    copy->FOriPartCount = FOriPartCount;
    copy->FTempPartCount = FTempPartCount;
    copy->FNestParam = FNestParam;
    copy->FPartConnectLength = FPartConnectLength;
    copy->FPiecesStored = FPiecesStored;
    return copy;
}

TGeneralNestPart TCutPartsManager::CreateLeftPart(const TCutNestPart& ACut) const {
    double length = ACut.Length;
    if (FNestParam.CutShape() == 1) {
        length += FNestParam.ZShapeLength() * 0.5;
    } else if (FNestParam.CutShape() == 2) {
        length += FNestParam.BevelLength();
    }
    TGeneralNestPart part;
    part.RealBoxLength = length;
    part.FOuterlength = length;
    return part;
}

TGeneralNestPart TCutPartsManager::CreateRightPart(const TCutNestPart& ACut) const {
    if (ACut.From < 1 || ACut.From > FOriPartCount) {
        throw std::out_of_range("cut parts manager: split of part " + std::to_string(ACut.From) +
                                ", parts are 1.." + std::to_string(FOriPartCount));
    }
    const TGeneralNestPart& whole = FGeneralNestPartArr[static_cast<std::size_t>(ACut.From - 1)];
    const double extra = FNestParam.CutShape() == 1 ? FNestParam.ZShapeLength() * 0.5 : 0.0;
    TGeneralNestPart part;
    part.RealBoxLength = whole.RealBoxLength - ACut.Length + extra;
    part.FOuterlength = whole.FOuterlength - ACut.Length + extra;
    return part;
}

void TCutPartsManager::CalcPartConnectLength() {
    FPartConnectLength = 0.0;
    const double gap = FNestParam.DefaultPartGap();
    switch (FNestParam.CutShape()) {
    case 1: {
        if (FNestParam.DisAllowance()) {
            return;
        }
        const double offset = FNestParam.ZShapeOffset();
        const bool sharedAtNoOffset =
            FNestParam.CoedgeFlagIsOne(0) && fEqual(offset, 0.0, kCircularTolerance);
        const bool sharedAtOffset = FNestParam.CoedgeFlagIsOne(2) && fGreat(offset, 0.0, kCircularTolerance);
        if (sharedAtNoOffset || sharedAtOffset) {
            FPartConnectLength = FNestParam.ZShapeLength();
        } else if (fGreat(2 * offset, gap, kCircularTolerance)) {
            FPartConnectLength = FNestParam.ZShapeLength() - gap;
        }
        return;
    }
    case 2:
        if (FNestParam.DisAllowance()) {
            return;
        }
        FPartConnectLength =
            FNestParam.CoedgeFlagIsOne(2) ? FNestParam.BevelLength() : FNestParam.BevelLength() - gap;
        return;
    default:
        return;
    }
}

void TCutPartsManager::ReSetNestBaseInfo(TNestBaseInfo& info) const {
    info.Init();
    const double gap = FSegPlaceInfoManager ? FSegPlaceInfoManager->FNestParam.DefaultPartGap()
                                            : FNestParam.DefaultPartGap();
    info.ZGap = gap;
    info.FixedGap = gap;
    info.Caled = true;
}

namespace {

/// Kind of a cut end contact that gets a record of its own rather than the reset record.
enum class TCutContact { None, ZeroGap, Overlap };

} // namespace

// Fills the part records of both pieces of every split and one gap-table row per piece. Row p covers
// columns 0..p, so the piece is part 1 of every record of its row. Per record, the end of the piece
// that meets column j decides:
//   - the piece's cut end: the reset record;
//   - the piece's uncut end: the record of the same placement with the split part in the piece's
//     place, read through GetA1B1Info on this manager. For j an original part that is the source
//     record; for j an earlier piece (or the piece itself) it is that piece's own row, which already
//     answers for its cut end. Columns are filled in increasing order, so the one cell of row p that
//     may be read (column of the split part, below p) is filled before it is needed. A placement of
//     the split part with itself reads the record of that placement in its own direction; the
//     mirrored placement shares that record, as it does everywhere else in the table.
// On top come the straight cut's zero gaps or the Z-shape/bevel overlaps.
namespace {

/// Computes the records of split-piece rows on demand, with the same rules as FillPieceRows; used
/// when storing one row per piece would take too much memory (many splits).
class TPieceRowSource final : public TSegPlaceInfoRowSource {
public:
    TPieceRowSource(std::int32_t AOri, std::vector<std::int32_t> AOrigins, bool AZShape, double AConnect,
                    const TNestBaseInfo& AReset)
        : FOri(AOri), FOrigins(std::move(AOrigins)), FZShape(AZShape), FConnect(AConnect), FReset(AReset) {}

    TNestBaseInfo Record(const TSegPlaceInfoManager& AGaps, std::int32_t ARow, std::int32_t ACol,
                         std::int32_t AOrientation) const override {
        const std::int32_t p = ARow;
        const std::int32_t j = ACol;
        const std::int32_t c = (p - FOri) / 2;
        TUBENEST_ASSERT(p >= FOri && static_cast<std::size_t>(c) < FOrigins.size() && j <= p, kModule,
                        "no split piece at row " + std::to_string(p));
        const bool pieceIsFront = (p - FOri) % 2 == 0;
        const std::int32_t O = FOrigins[static_cast<std::size_t>(c)];
        const std::int32_t J = j + 1;
        const bool jFront = j >= FOri && (j - FOri) % 2 == 0;
        const bool jBack = j >= FOri && (j - FOri) % 2 == 1;
        TNestBaseInfo r = FReset;
        if (pieceIsFront) {
            switch (AOrientation) {
            case kA1B1_A2B2:
                if (FZShape && jBack) {
                    r.FixedGap = -FConnect;
                }
                return r;
            case kA2B2_A1B1:
                return AGaps.GetA1B1Info(J, O);
            case kA1B1_B2A2:
                if (!FZShape && j == p) {
                    r.FixedGap = 0.0;
                }
                return r;
            default:
                return AGaps.GetA1B1Info(-J, O);
            }
        }
        switch (AOrientation) {
        case kA1B1_A2B2:
            return AGaps.GetA1B1Info(O, J);
        case kA2B2_A1B1:
            if (!FZShape && j == p - 1) {
                r.FixedGap = 0.0;
            } else if (FZShape && jFront) {
                r.FixedGap = -FConnect;
            }
            return r;
        case kA1B1_B2A2:
            return AGaps.GetA1B1Info(O, -J);
        default:
            if (!FZShape && j == p) {
                r.FixedGap = 0.0;
            }
            return r;
        }
    }

private:
    std::int32_t FOri;
    std::vector<std::int32_t> FOrigins; ///< 1-based split part per split
    bool FZShape;
    double FConnect;
    TNestBaseInfo FReset;
};

void FillPieceRows(TCutPartsManager& AManager, bool AZShape) {
    TSegPlaceInfoManager& gaps = *AManager.FSegPlaceInfoManager;
    TNestBaseInfo reset;
    AManager.ReSetNestBaseInfo(reset);
    const std::int32_t ori = AManager.FOriPartCount;
    if (!AManager.PiecesStored()) {
        std::vector<std::int32_t> origins;
        for (const TCutNestPart& cut : *AManager.FCutNestPartList) {
            origins.push_back(cut.From);
        }
        gaps.FRowSource = std::make_shared<TPieceRowSource>(ori, std::move(origins), AZShape,
                                                            AManager.FPartConnectLength, reset);
    }

    const auto isFront = [ori](std::int32_t AIndex) { return AIndex >= ori && (AIndex - ori) % 2 == 0; };
    const auto isBack = [ori](std::int32_t AIndex) { return AIndex >= ori && (AIndex - ori) % 2 == 1; };

    for (std::int32_t c = 0; c < AManager.FCutNestPartList->Count(); ++c) {
        const TCutNestPart& cut = (*AManager.FCutNestPartList)[c];
        const std::int32_t front = ori + 2 * c;
        const std::int32_t back = front + 1;
        AManager.FGeneralNestPartArr[static_cast<std::size_t>(front)] = AManager.CreateLeftPart(cut);
        AManager.FGeneralNestPartArr[static_cast<std::size_t>(back)] = AManager.CreateRightPart(cut);

        if (!AManager.PiecesStored()) {
            continue;
        }
        const std::int32_t O = cut.From; // the split part as a 1-based reference
        for (const std::int32_t p : {front, back}) {
            const bool pieceIsFront = p == front;
            auto& row = gaps.FSegPlaceInfoTable[static_cast<std::size_t>(p)];
            row.assign(static_cast<std::size_t>(p) + 1, TSegPlaceInfo{});
            for (std::int32_t j = 0; j <= p; ++j) {
                const std::int32_t J = j + 1;
                // Filled in place. The records read below are all stored (whole-part rows, or piece
                // rows already filled) and never in cell j of this row, so references are safe.
                TSegPlaceInfo& cell = row[static_cast<std::size_t>(j)];
                if (pieceIsFront) {
                    // End A (uncut) meets j in A2B2_A1B1 (j, P) and B2A2_A1B1 (-j, P).
                    cell.A1B1_A2B2 = reset;
                    cell.A2B2_A1B1 = gaps.GetA1B1InfoRef(J, O);
                    cell.A1B1_B2A2 = reset;
                    cell.B2A2_A1B1 = gaps.GetA1B1InfoRef(-J, O);
                } else {
                    // End B (uncut) meets j in A1B1_A2B2 (P, j) and A1B1_B2A2 (P, -j).
                    cell.A1B1_A2B2 = gaps.GetA1B1InfoRef(O, J);
                    cell.A2B2_A1B1 = reset;
                    cell.A1B1_B2A2 = gaps.GetA1B1InfoRef(O, -J);
                    cell.B2A2_A1B1 = reset;
                }
                if (!AZShape) {
                    // Two cut ends of one straight cut meet without a gap.
                    if (pieceIsFront && j == p) {
                        cell.A1B1_B2A2.FixedGap = 0.0; // F, F turned: cut against cut
                    }
                    if (!pieceIsFront && j == p) {
                        cell.B2A2_A1B1.FixedGap = 0.0; // B turned, B: cut against cut
                    }
                    if (!pieceIsFront && j == front) {
                        cell.A2B2_A1B1.FixedGap = 0.0; // own F, then B
                    }
                } else {
                    // A front piece followed by a back piece: the joint allowance overlaps.
                    if (pieceIsFront && isBack(j)) {
                        cell.A1B1_A2B2 = reset;
                        cell.A1B1_A2B2.FixedGap = -AManager.FPartConnectLength;
                    }
                    if (!pieceIsFront && isFront(j)) {
                        cell.A2B2_A1B1 = reset;
                        cell.A2B2_A1B1.FixedGap = -AManager.FPartConnectLength;
                    }
                }
            }
        }
    }
}

} // namespace

void TCutPartsManager::UpdateTempNestPart() {
    TUBENEST_ASSERT(FSegPlaceInfoManager && FCutNestPartList, kModule, "pieces filled before construction");
    FillPieceRows(*this, false);
}

void TCutPartsManager::ZShapeUpdateTemNestPart() {
    TUBENEST_ASSERT(FSegPlaceInfoManager && FCutNestPartList, kModule, "pieces filled before construction");
    FillPieceRows(*this, true);
}

void TCutPartsManager::BevelUpdateTemNestPart() {
    ZShapeUpdateTemNestPart();
}

} // namespace tubenest
