#include "circular/circular_nest_base.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>

#include "host/geometry.h"
#include "model/assertion.h"
#include "ordersearch/nest_adjust_tool.h"

namespace tubenest {
namespace {

constexpr const char* kModule = "UCircularNest";
constexpr double kTol = kCircularTolerance;

std::int32_t AbsRef(std::int32_t ARef) {
    return ARef < 0 ? -ARef : ARef;
}

bool IsSortedByStart(const TSeparatableIntervals& AIntervals) {
    const auto& items = AIntervals.ToVector();
    return std::is_sorted(items.begin(), items.end(), [](const TClosedInterval& l, const TClosedInterval& r) {
        return l.ParamStart < r.ParamStart;
    });
}

/// The truncated key length of a cut position (the cut plus the tolerance, whole millimetres).
std::int32_t KeyLength(double ACutPos) {
    return static_cast<std::int32_t>(std::trunc(ACutPos + kTol));
}

} // namespace

// ---------------------------------------------------------------------------------------------------
// Records

void TNestAlgorithmParam::Init(std::vector<const TSeparatableIntervals*> APartIntervalsList,
                               const TGeneralNestPartArr& ANestParts, const TGeneralNestTubeArr& ANestTubes,
                               const TSegPlaceInfoManager& APartsCalInfo, const TCADAutoNestParam& ANestParam,
                               std::span<const double> ATubesLengthArr) {
    PartIntervalsList = std::move(APartIntervalsList);
    AGNestParts = ANestParts;
    AGNestTubes = ANestTubes;
    PartsCalInfo = &APartsCalInfo;
    NestParam = ANestParam;
    TubesLengthArr.assign(ATubesLengthArr.begin(), ATubesLengthArr.end());
}

void TNestAlgorithmParam::Init(const std::vector<std::unique_ptr<TSeparatableIntervals>>& APartIntervalsList,
                               const TGeneralNestPartArr& ANestParts, const TGeneralNestTubeArr& ANestTubes,
                               const TSegPlaceInfoManager& APartsCalInfo, const TCADAutoNestParam& ANestParam,
                               std::span<const double> ATubesLengthArr) {
    std::vector<const TSeparatableIntervals*> list;
    list.reserve(APartIntervalsList.size());
    for (const auto& item : APartIntervalsList) {
        list.push_back(item.get());
    }
    Init(std::move(list), ANestParts, ANestTubes, APartsCalInfo, ANestParam, ATubesLengthArr);
}

void TCircularNestTube::DataInit(const TGeneralNestTube& AGeneralNestTube) {
    FTubeInitialLen = AGeneralNestTube.FTubeInitialLen;
    FAmountAvail = AGeneralNestTube.FAmountAvail;
    FOriginTube = AGeneralNestTube.FOriginTube;
    FNestedPartIdx = AGeneralNestTube.FNestedPartIdx;
    FAvailable = true;
}

// ---------------------------------------------------------------------------------------------------
// Construction

TCircularNestBase::TCircularNestBase(const TNestAlgorithmParam& NestAlgorithmParam)
    : FNestParts(NestAlgorithmParam.AGNestParts), FNestParam(NestAlgorithmParam.NestParam),
      FPartsInfo(NestAlgorithmParam.PartsCalInfo), FWholePartRows(NestAlgorithmParam.WholePartRows),
      FMinWholePartGap(NestAlgorithmParam.MinWholePartGap) {
    const std::size_t n = FNestParts.size();
    if (FPartsInfo == nullptr) {
        throw std::invalid_argument("circular nest: the parameter record has no gap manager");
    }
    if (FPartsInfo->FPartCount < static_cast<std::int32_t>(n)) {
        throw std::invalid_argument("circular nest: the gap manager covers " +
                                    std::to_string(FPartsInfo->FPartCount) + " parts, the part array has " +
                                    std::to_string(n));
    }
    for (std::size_t k = 0; k < n; ++k) {
        if (k >= FPartsInfo->FSegPlaceInfoTable.size() || FPartsInfo->FSegPlaceInfoTable[k].size() < k + 1) {
            throw std::invalid_argument("circular nest: the gap table has no complete row for part " +
                                        std::to_string(k + 1));
        }
    }
    if (NestAlgorithmParam.AGNestTubes.empty()) {
        throw std::invalid_argument("circular nest: the parameter record has no tube entry");
    }
    if (NestAlgorithmParam.PartIntervalsList.size() != n) {
        throw std::invalid_argument(
            "circular nest: " + std::to_string(NestAlgorithmParam.PartIntervalsList.size()) +
            " interval lists for " + std::to_string(n) + " parts");
    }
    FRequiredAmounts.reserve(n);
    for (std::size_t k = 0; k < n; ++k) {
        const TGeneralNestPart& part = FNestParts[k];
        if (!std::isfinite(part.FOuterlength) || part.FOuterlength < 0.0) {
            throw std::invalid_argument("circular nest: part " + std::to_string(k + 1) + " has length " +
                                        std::to_string(part.FOuterlength));
        }
        if (part.FAmountAvail < 0) {
            throw std::invalid_argument("circular nest: part " + std::to_string(k + 1) + " has amount " +
                                        std::to_string(part.FAmountAvail));
        }
        FRequiredAmounts.push_back(part.FAmountAvail);
    }

    FNestTubes.resize(NestAlgorithmParam.AGNestTubes.size());
    FInitialTubeAmounts.reserve(FNestTubes.size());
    for (std::size_t e = 0; e < FNestTubes.size(); ++e) {
        const TGeneralNestTube& tube = NestAlgorithmParam.AGNestTubes[e];
        if (tube.FAmountAvail < 0 ||
            (tube.FAmountAvail > 0 && !(std::isfinite(tube.FTubeInitialLen) && tube.FTubeInitialLen > 0.0))) {
            throw std::invalid_argument("circular nest: tube entry " + std::to_string(e + 1) +
                                        " has length " + std::to_string(tube.FTubeInitialLen) +
                                        " and amount " + std::to_string(tube.FAmountAvail));
        }
        FNestTubes[e].DataInit(tube);
        FInitialTubeAmounts.push_back(tube.FAmountAvail);
        FTubesAmount += tube.FAmountAvail;
    }

    // The nest reads the interval lists in place; a list that is not sorted by its starts (the host
    // may hand one so) is replaced by a sorted copy of its own.
    FPartIntervalsList.reserve(n);
    for (std::size_t k = 0; k < n; ++k) {
        const TSeparatableIntervals* list = NestAlgorithmParam.PartIntervalsList[k];
        if (list == nullptr) {
            list = &FEmptyIntervals;
        } else if (!IsSortedByStart(*list)) {
            auto sorted = std::make_unique<TSeparatableIntervals>(*list);
            sorted->Sort();
            list = sorted.get();
            FOwnedIntervals.push_back(std::move(sorted));
        }
        FPartIntervalsList.push_back(list);
    }

    switch (FNestParam.CutShape()) {
    case 1:
        FCutPartConnectLength = FNestParam.ZShapeLength() * 0.5;
        break;
    case 2:
        FCutPartConnectLength = FNestParam.BevelLength();
        break;
    default:
        FCutPartConnectLength = 0.0;
        break;
    }
    FTubeLength = FNestTubes[0].FTubeInitialLen - FCutPartConnectLength;
    FNewPartOrder = static_cast<std::int32_t>(n) + 1;
    FCutPartsDictionary.reserve(n);
    FSegmentIntervals.resize(n);
    FStallExcluded.assign(FNestTubes.size(), false);
    FGivenUpParts.assign(n, false);
}

// ---------------------------------------------------------------------------------------------------
// Small helpers

bool TCircularNestBase::IsPieceNumber(std::int32_t APartRef) const {
    return AbsRef(APartRef) > PartCount();
}

double TCircularNestBase::PartLength(std::int32_t APartIdx) const {
    return FNestParts.at(static_cast<std::size_t>(APartIdx)).FOuterlength;
}

const TSeparatableIntervals& TCircularNestBase::PartIntervals(std::int32_t APartIdx) const {
    return *FPartIntervalsList.at(static_cast<std::size_t>(APartIdx));
}

const TCircularPieceInfo* TCircularNestBase::PieceInfo(std::int32_t APiece) const {
    const std::int32_t k = AbsRef(APiece) - PartCount() - 1;
    if (k < 0 || k >= static_cast<std::int32_t>(FPieces.size()) ||
        FPieces[static_cast<std::size_t>(k)].From == 0) {
        return nullptr;
    }
    return &FPieces[static_cast<std::size_t>(k)];
}

void TCircularNestBase::RegisterSplitPieces(std::int32_t AFront, std::int32_t ABack, std::int32_t AFrom,
                                            double ALength) {
    const std::int32_t n = PartCount();
    TUBENEST_ASSERT(AFront > n && ABack > n, kModule, "piece numbers must lie above the part count");
    const auto need = static_cast<std::size_t>(std::max(AFront, ABack) - n);
    if (FPieces.size() < need) {
        FPieces.resize(need);
    }
    FPieces[static_cast<std::size_t>(AFront - n - 1)] = TCircularPieceInfo{AFrom, ALength, ABack, true};
    FPieces[static_cast<std::size_t>(ABack - n - 1)] = TCircularPieceInfo{AFrom, ALength, AFront, false};
}

TSeparatableIntervalsInSegment& TCircularNestBase::PartSegmentIntervals(std::int32_t APartIdx) {
    auto& slot = FSegmentIntervals.at(static_cast<std::size_t>(APartIdx));
    if (!slot) {
        TSeparatableIntervalsInSegment empty(PartLength(APartIdx));
        slot = empty.AddPartIntervals(PartIntervals(APartIdx), 0.0);
    }
    return *slot;
}

std::int32_t TCircularNestBase::FirstEntryWithTubes() const {
    for (std::size_t e = 0; e < FNestTubes.size(); ++e) {
        if (FNestTubes[e].FAmountAvail > 0) {
            return static_cast<std::int32_t>(e);
        }
    }
    return -1;
}

// ---------------------------------------------------------------------------------------------------
// Tube and amount bookkeeping

bool TCircularNestBase::ChooseNestTube(TNestResult& ANestResult) {
    std::int32_t found = -1;
    for (std::size_t e = 0; e < FNestTubes.size(); ++e) {
        if (FNestTubes[e].FAmountAvail > 0 && FNestTubes[e].FAvailable) {
            found = static_cast<std::int32_t>(e);
            break;
        }
    }
    if (found >= 0) {
        TCircularNestTube& tube = FNestTubes[static_cast<std::size_t>(found)];
        ANestResult.FTubeIndex = found + 1;
        ANestResult.FTubeCount = 1;
        --tube.FAmountAvail;
        FTubeLength = tube.FTubeInitialLen - FCutPartConnectLength;
        // The next piece goes into the tube that the next choice takes: the first entry that still
        // has tubes (the availability marks last one call only). A back piece is laid with the joint
        // length added, so the usable length is the tube's length less the joint.
        const std::int32_t next = FirstEntryWithTubes();
        FNextTubeLength =
            next < 0 ? 0.0
                     : FNestTubes[static_cast<std::size_t>(next)].FTubeInitialLen - FCutPartConnectLength;
    }
    for (auto& tube : FNestTubes) {
        tube.FAvailable = true;
    }
    return found >= 0;
}

void TCircularNestBase::UpdateTubesNum() {
    --FTubesAmount;
    if (FTubesAmount <= 0) {
        FIsTubesEnough = false;
    }
}

void TCircularNestBase::CheckTubeStatus() {
    FIsTubesEnough = CheckPartsAmount();
}

bool TCircularNestBase::CheckPartsAmount() const {
    return std::none_of(FNestParts.begin(), FNestParts.end(),
                        [](const TGeneralNestPart& part) { return part.FAmountAvail > 0; });
}

bool TCircularNestBase::SplitPieceGap(std::int32_t A, std::int32_t B, double& AGap) const {
    const bool aPiece = IsPieceNumber(A);
    const bool bPiece = IsPieceNumber(B);
    if (aPiece == bPiece) {
        return false; // two whole parts, or two pieces
    }
    const TCircularPieceInfo* info = PieceInfo(aPiece ? A : B);
    if (info == nullptr) {
        return false;
    }
    // The end of the piece that faces the other part: for a piece laid in its own direction its end
    // B when it comes first, its end A when it comes second; turned, the other end. A front piece is
    // cut at its end B, a back piece at its end A.
    const bool pieceForward = (aPiece ? A : B) > 0;
    const bool facesWithEndB = aPiece == pieceForward;
    const bool facingEndIsCut = facesWithEndB == info->IsFront;
    if (facingEndIsCut) {
        AGap = FPartsInfo->FNestParam.DefaultPartGap();
    } else {
        // An uncut end is the split part's own end: the part's own gap applies.
        const std::int32_t whole = pieceForward ? info->From : -info->From;
        AGap = aPiece ? FPartsInfo->GetGap(whole, B) : FPartsInfo->GetGap(A, whole);
    }
    return true;
}

void TCircularNestBase::DealLastPartGap(double& AGap, const TNestResult& ANestResult) const {
    AGap = 0.0;
    const auto& order = ANestResult.FPartOrder;
    if (order.size() < 2) {
        return;
    }
    const std::int32_t a = order[order.size() - 2];
    const std::int32_t b = order[order.size() - 1];
    if (IsPieceNumber(a) || IsPieceNumber(b)) {
        if (!SplitPieceGap(a, b, AGap)) {
            AGap = FNestParam.DefaultPartGap();
        }
    } else {
        AGap = FPartsInfo->GetGap(a, b);
    }
    if (AGap < 0.0) {
        AGap = 0.0;
    }
}

void TCircularNestBase::CalcOffsetPosition(const TIntDynArray& APartOrder, double& ALength,
                                           std::int32_t AIndex) const {
    if (AIndex <= 0) {
        return;
    }
    const std::int32_t a = APartOrder.at(static_cast<std::size_t>(AIndex - 1));
    const std::int32_t b = APartOrder.at(static_cast<std::size_t>(AIndex));
    double gap;
    if (IsPieceNumber(a) || IsPieceNumber(b)) {
        // Next to a split piece the tube gets the gap of the cut parts manager that the host
        // receives with the plan; only between two pieces the co-edge rule decides.
        if (!SplitPieceGap(a, b, gap)) {
            const double offset = FNestParam.ZShapeOffset();
            const bool noGap = (FNestParam.CoedgeFlagIsOne(0) && fEqual(offset, 0.0, kTol)) ||
                               (FNestParam.CoedgeFlagIsOne(2) && fGreat(offset, 0.0, kTol));
            gap = noGap ? 0.0 : FNestParam.DefaultPartGap();
        }
    } else {
        gap = FPartsInfo->GetGap(a, b);
    }
    if (fGreat(gap, 0.0, kTol)) {
        ALength += gap;
    }
}

bool TCircularNestBase::IsPointLocatein(double APos, std::int32_t APartIdx) const {
    for (const TClosedInterval& item : PartIntervals(APartIdx)) {
        if (!fSmall(APos, item.ParamStart, kTol) && !fGreat(APos, item.ParamEnd, kTol)) {
            return true;
        }
    }
    return false;
}

void TCircularNestBase::DealLongPart(const TSeparatableIntervals& AIntervals, std::int32_t APartIdx) {
    TGeneralNestPart& part = FNestParts.at(static_cast<std::size_t>(APartIdx));
    const double length = part.FOuterlength;
    const double mid = AIntervals.GetMidCutPos();
    if (FNestParam.CutShape() == 1 && !fSmall(FTubeLength + FCutPartConnectLength, length, kTol) &&
        FNestTubes.size() == 1) {
        FZShapeSpecicalPartOrder.push_back(APartIdx + 1);
        part.FAmountAvail = 0;
        return;
    }
    const bool someEntryTakesBoth =
        std::any_of(FNestTubes.begin(), FNestTubes.end(), [&](const TCircularNestTube& t) {
            const double usable = t.FTubeInitialLen - FCutPartConnectLength;
            return fSmall(mid, usable, kTol) && fSmall(length - mid, usable, kTol);
        });
    if (!someEntryTakesBoth) {
        part.FAmountAvail = 0;
    }
}

bool TCircularNestBase::ProcessFirstFitAlgorithm(std::int32_t APartOrder, double ALength) {
    const double add = ALength + FNestParam.DefaultPartGap();
    for (auto& item : FNestResults) {
        TNestResult& result = *item;
        const double tubeLen = FNestTubes.at(static_cast<std::size_t>(result.FTubeIndex - 1)).FTubeInitialLen;
        const double newLength = result.FLengthUsed + add;
        if (newLength < tubeLen || fEqual(newLength, tubeLen, kTol)) {
            result.FPartOrder.push_back(APartOrder);
            result.FLengthUsed = newLength;
            if (APartOrder == FNewPartOrder) {
                ++FNewPartOrder;
            }
            return true;
        }
    }
    return false;
}

void TCircularNestBase::CalcNestLength(TNestResult& ANestResult, const TGeneralNestPartArr& AParts,
                                       const TSegPlaceInfoManager& APartsInfo) const {
    const auto& order = ANestResult.FPartOrder;
    if (order.empty()) {
        ANestResult.FLengthUsed = 0.0;
        return;
    }
    const auto partLen = [&AParts](std::int32_t ref) {
        const auto idx = static_cast<std::size_t>(AbsRef(ref)) - 1;
        TUBENEST_ASSERT(ref != 0 && idx < AParts.size(), kModule,
                        "part reference " + std::to_string(ref) + " outside the part array");
        return AParts[idx].FOuterlength;
    };
    double length = partLen(order[0]);
    for (std::size_t k = 1; k < order.size(); ++k) {
        length += APartsInfo.GetGap(order[k - 1], order[k]) + partLen(order[k]);
    }
    ANestResult.FLengthUsed = length;
}

void TCircularNestBase::MergeSameCutNestParts() {
    // Key lengths are whole numbers, so "less than 1 apart" means equal keys: every split is added
    // to the first split of its part with the same key (one pass, not a pass per split).
    std::unordered_map<TCutPartsInfo, std::int32_t, TCutPartsInfoHash> firstOfKey;
    const std::int32_t count = FCutNestParts.Count();
    for (std::int32_t i = 0; i < count; ++i) {
        TCutNestPart& split = FCutNestParts[i];
        const TCutPartsInfo key{KeyLength(split.Length), split.From};
        const auto [it, added] = firstOfKey.emplace(key, i);
        if (!added) {
            FCutNestParts[it->second].Amount += split.Amount;
            split.Amount = 0;
        }
    }
    TCutNestParts kept;
    for (const TCutNestPart& split : FCutNestParts) {
        if (split.Amount != 0) {
            kept.Add(split);
        }
    }
    FCutNestParts = std::move(kept);
}

void TCircularNestBase::AddSpecialNestResults(const TIntDynArray& ASpecialParts,
                                              TNestResultList& ANestResults, bool& AIsTubesEnough) {
    TCircularNestTube& first = FNestTubes[0];
    for (const std::int32_t k : ASpecialParts) {
        if (k < 1 || k > PartCount()) {
            throw std::invalid_argument("special part " + std::to_string(k) + " outside 1.." +
                                        std::to_string(PartCount()));
        }
        if (first.FAmountAvail <= 0) {
            AIsTubesEnough = false;
            return;
        }
        const TGeneralNestPart& part = FNestParts[static_cast<std::size_t>(k - 1)];
        const std::int32_t count = std::min(first.FAmountAvail, part.FAmountAvail);
        if (count <= 0) {
            continue; // no copy of this part to lay
        }
        auto result = std::make_unique<TNestResult>();
        result->FTubeIndex = 1;
        result->FTubeCount = count;
        result->FPartOrder = {k};
        result->FLengthUsed = part.FOuterlength;
        ANestResults.Add(std::move(result));
        first.FAmountAvail -= count;
        if (first.FAmountAvail == 0) {
            AIsTubesEnough = false;
            return;
        }
    }
}

void TCircularNestBase::ChangeNestTubeLength(const TNestResult& ANestResult, double& ATubeLength,
                                             std::int32_t ARemainCount, double AUsedLength) const {
    ATubeLength = FTubeLength;
    const std::int32_t shape = FNestParam.CutShape();
    if (shape == 0 || shape == 2) {
        return;
    }
    const double dis = FNestParam.SubConfigD("Dis");
    std::int32_t pieces = 0;
    for (const std::int32_t ref : ANestResult.FPartOrder) {
        if (IsPieceNumber(ref)) {
            ++pieces;
        }
    }
    const double connect = FCutPartConnectLength;
    if (pieces == 0 && ARemainCount != 0) {
        if (fEqual(AUsedLength, FTubeLength + connect, 1e-6)) {
            ATubeLength += connect;
        } else if (FNestParam.DisAllowance()) {
            ATubeLength -= dis;
        }
        return;
    }
    double allowance = 0.0;
    if (shape == 1) {
        const double offset = FNestParam.ZShapeOffset();
        const double gap = FNestParam.DefaultPartGap();
        if (FNestParam.DisAllowance()) {
            allowance = -dis * (pieces + 1);
        } else if ((FNestParam.CoedgeFlagIsOne(0) && fEqual(offset, 0.0, kTol)) ||
                   (FNestParam.CoedgeFlagIsOne(2) && fGreat(offset, 0.0, kTol))) {
            allowance = FNestParam.ZShapeLength();
        } else if (fGreat(2 * offset, gap, kTol)) {
            allowance = FNestParam.ZShapeLength() - gap;
        }
    }
    if (ARemainCount == 0) {
        if (allowance >= 0.0 && pieces == 0) {
            allowance = !fGreat(AUsedLength, FTubeLength + connect, kTol) ? connect : 0.0;
        } else if (allowance >= 0.0) {
            if (!fGreat(AUsedLength, FTubeLength + std::max(allowance, connect), kTol)) {
                allowance = connect;
            }
        } else if (!fGreat(AUsedLength, FTubeLength + connect, kTol)) {
            allowance = 0.0;
        }
    }
    ATubeLength += allowance;
}

// ---------------------------------------------------------------------------------------------------
// Re-packing

void TCircularNestBase::SortResultsByLeftover(TNestResultList& ANestResults) const {
    const auto tubeLen = [this](const TNestResult& r) {
        return FNestTubes.at(static_cast<std::size_t>(r.FTubeIndex - 1)).FTubeInitialLen;
    };
    ANestResults.Sort([&tubeLen](const TNestResult& l, const TNestResult& r) {
        const double ll = tubeLen(l);
        const double rl = tubeLen(r);
        if (ll == 0.0 || rl == 0.0) {
            return 0;
        }
        const double a = ll - l.FLengthUsed;
        const double b = rl - r.FLengthUsed;
        return a < b ? -1 : (a > b ? 1 : 0);
    });
}

void TCircularNestBase::SortAlgorithmPartsByLength(std::vector<TAlgorithmPart>& AParts) {
    std::stable_sort(AParts.begin(), AParts.end(),
                     [](const TAlgorithmPart& l, const TAlgorithmPart& r) { return l.Length > r.Length; });
}

TCutPartsManager& TCircularNestBase::CachedCutPartsManager() {
    const auto sameSplits = [this]() {
        const TCutNestParts& cached = *FCutPartsManagerCache->FCutNestPartList;
        if (cached.Count() != FCutNestParts.Count()) {
            return false;
        }
        for (std::int32_t c = 0; c < cached.Count(); ++c) {
            if (cached[c].From != FCutNestParts[c].From || cached[c].Length != FCutNestParts[c].Length) {
                return false;
            }
        }
        return true;
    };
    if (!FCutPartsManagerCache || !sameSplits()) {
        FCutPartsManagerCache = CreateCutPartsManager();
    }
    return *FCutPartsManagerCache;
}

std::unique_ptr<TCutPartsManager> TCircularNestBase::CreateCutPartsManager() const {
    return std::make_unique<TCutPartsManager>(*FPartsInfo, FCutNestParts, FNestParts, FNestParam,
                                              FWholePartRows);
}

void TCircularNestBase::OptimizeNestedResults() {
    TCutPartsManager& manager = CachedCutPartsManager();
    TGeneralNestPartArr& parts = manager.FGeneralNestPartArr;
    const TSegPlaceInfoManager& gaps = *manager.FSegPlaceInfoManager;
    for (auto& item : FNestResults) {
        gaps.UpdateNestResultInfo(*item, parts);
    }

    // Everything the re-packing changes besides the results, so that a refused re-packing leaves
    // the nest as it was.
    const std::vector<TCircularNestTube> savedTubes = FNestTubes;
    const TCutNestParts savedCuts = FCutNestParts;
    const std::vector<TCircularPieceInfo> savedPieces = FPieces;
    const std::int32_t savedNewPartOrder = FNewPartOrder;

    TNestResultList work(FNestResults);
    std::vector<bool> marked(static_cast<std::size_t>(work.Count()), false);
    for (std::int32_t i = 0; i < work.Count(); ++i) {
        const double tubeLen =
            FNestTubes.at(static_cast<std::size_t>(work[i].FTubeIndex - 1)).FTubeInitialLen;
        marked[static_cast<std::size_t>(i)] =
            fGreat(work[i].FLengthUsed, tubeLen, kTol) || work[i].FLengthUsed < 0.85 * tubeLen;
    }
    TIntDynArray pool;
    for (std::int32_t i = work.Count() - 1; i >= 0; --i) {
        if (!marked[static_cast<std::size_t>(i)]) {
            continue;
        }
        const TNestResult& r = work[i];
        for (std::int32_t c = 0; c < r.FTubeCount; ++c) {
            pool.insert(pool.end(), r.FPartOrder.begin(), r.FPartOrder.end());
        }
        FNestTubes.at(static_cast<std::size_t>(r.FTubeIndex - 1)).FAmountAvail += r.FTubeCount;
        work.Delete(i);
    }
    for (const std::int32_t ref : pool) {
        ++parts.at(static_cast<std::size_t>(AbsRef(ref) - 1)).FAmountAvail;
    }

    const bool accepted = FirstFitAlgorithm(pool, parts, gaps, work);
    // A split piece left in the pool would be lost with its partner placed elsewhere: such a
    // re-packing is refused whatever the number of tube entries.
    const bool pieceLeft =
        std::any_of(pool.begin(), pool.end(), [this](std::int32_t r) { return IsPieceNumber(r); });
    if (accepted && !pieceLeft && work.Count() >= 1) {
        FNestResults = std::move(work);
    } else {
        FNestTubes = savedTubes;
        FCutNestParts = savedCuts;
        FPieces = savedPieces;
        FNewPartOrder = savedNewPartOrder;
    }
    SortResultsByLeftover(FNestResults);
}

bool TCircularNestBase::FirstFitAlgorithm(TIntDynArray& APool, const TGeneralNestPartArr& AParts,
                                          const TSegPlaceInfoManager& APartsInfo,
                                          TNestResultList& ANestResults) {
    const auto partLen = [&AParts](std::int32_t ref) {
        const auto idx = static_cast<std::size_t>(AbsRef(ref)) - 1;
        TUBENEST_ASSERT(ref != 0 && idx < AParts.size(), kModule,
                        "pool reference " + std::to_string(ref) + " outside the part array");
        return AParts[idx].FOuterlength;
    };
    std::stable_sort(APool.begin(), APool.end(),
                     [&partLen](std::int32_t l, std::int32_t r) { return partLen(l) < partLen(r); });
    if (!FIsTubesEnough) {
        // Copies the nest could not place are tried last.
        TIntDynArray unplaced;
        for (std::size_t k = 0; k < FNestParts.size(); ++k) {
            for (std::int32_t c = 0; c < FNestParts[k].FAmountAvail; ++c) {
                unplaced.push_back(static_cast<std::int32_t>(k) + 1);
            }
        }
        APool.insert(APool.begin(), unplaced.begin(), unplaced.end());
    }

    std::int32_t tubes = 0;
    double maxLen = 0.0;
    for (const auto& tube : FNestTubes) {
        tubes += tube.FAmountAvail;
        if (tube.FAmountAvail > 0) {
            maxLen = std::max(maxLen, tube.FTubeInitialLen);
        }
    }
    const bool reverse = !FNestParam.DisableReverse();
    std::vector<bool> excluded(FNestTubes.size(), false);
    TNestResult trial; // its order's buffer is reused for every trial
    // No order of a tube is shorter than its part lengths plus the smallest gap per joint (gaps
    // between whole parts come from the host table; next to a piece they are the default gap or
    // none). A trial whose bound is over the tube cannot fit, so the order search is skipped.
    double maxWholeGap = 0.0;
    double minWholeGap = FMinWholePartGap.value_or(0.0);
    if (!FMinWholePartGap) {
        FPartsInfo->GetMaxMinGap(maxWholeGap, minWholeGap);
    }
    const double minPieceGap = std::min({minWholeGap, FNestParam.DefaultPartGap(), 0.0});

    for (std::int32_t i = static_cast<std::int32_t>(APool.size()) - 1; i >= 0; --i) {
        const std::int32_t ref = APool[static_cast<std::size_t>(i)];
        const double length = partLen(ref);
        if (length > maxLen) {
            continue;
        }
        bool placed = false;
        for (auto& item : ANestResults) {
            TNestResult& result = *item;
            if (result.FPartOrder.empty()) {
                continue;
            }
            FTubeLength = FNestTubes.at(static_cast<std::size_t>(result.FTubeIndex - 1)).FTubeInitialLen;
            if (result.FLengthUsed >= 0.9 * FTubeLength && result.FLengthUsed + length >= FTubeLength) {
                continue;
            }
            double bound = length;
            bool withPiece = IsPieceNumber(ref);
            for (const std::int32_t r : result.FPartOrder) {
                bound += partLen(r);
                withPiece = withPiece || IsPieceNumber(r);
            }
            bound += static_cast<double>(result.FPartOrder.size()) * (withPiece ? minPieceGap : minWholeGap);
            if (bound > FTubeLength + kTol + 1e-6) {
                continue;
            }
            trial.FPartOrder.assign(result.FPartOrder.begin(), result.FPartOrder.end());
            trial.FPartOrder.push_back(ref);
            TNestAdjustTool::CalcTsp(trial.FPartOrder, APartsInfo, -1, reverse, false);
            CalcNestLength(trial, AParts, APartsInfo);
            if (trial.FLengthUsed < FTubeLength || fEqual(trial.FLengthUsed, FTubeLength, kTol)) {
                result.FPartOrder = trial.FPartOrder;
                result.FLengthUsed = trial.FLengthUsed;
                placed = true;
                break;
            }
        }
        if (!placed && tubes > 0) {
            // Each entry is tried at most once: an entry too short for this part stays excluded for
            // the rest of the search.
            std::fill(excluded.begin(), excluded.end(), false);
            TNestResult fresh;
            bool found = false;
            for (std::size_t attempt = 0; attempt < FNestTubes.size(); ++attempt) {
                for (std::size_t e = 0; e < FNestTubes.size(); ++e) {
                    if (excluded[e]) {
                        FNestTubes[e].FAvailable = false;
                    }
                }
                if (!ChooseNestTube(fresh)) {
                    break;
                }
                if (fGreat(length, FTubeLength + FCutPartConnectLength, kTol)) {
                    const auto e = static_cast<std::size_t>(fresh.FTubeIndex - 1);
                    ++FNestTubes[e].FAmountAvail;
                    excluded[e] = true;
                    continue;
                }
                found = true;
                break;
            }
            if (found) {
                fresh.FPartOrder = {ref};
                fresh.FLengthUsed = length;
                ANestResults.AddClone(fresh);
                placed = true;
                --tubes;
            }
        }
        if (placed) {
            APool.erase(APool.begin() + i);
        }
    }

    bool result = true;
    if (FNestTubes.size() >= 2 &&
        std::any_of(APool.begin(), APool.end(), [this](std::int32_t r) { return IsPieceNumber(r); })) {
        result = false;
    }
    if (!APool.empty()) {
        SimpleCutParts(APool, ANestResults);
    }
    return result;
}

void TCircularNestBase::SimpleCutParts(TIntDynArray& APool, TNestResultList& ANestResults) {
    const std::int32_t n = PartCount();
    // New piece numbers must not collide with any number in use, placed or still in the pool.
    std::int32_t top = std::max(n, FNewPartOrder - 1);
    for (const auto& item : ANestResults) {
        for (const std::int32_t ref : item->FPartOrder) {
            top = std::max(top, AbsRef(ref));
        }
    }
    for (const std::int32_t ref : APool) {
        top = std::max(top, AbsRef(ref));
    }
    const double gap = FNestParam.DefaultPartGap();
    const double connect = FCutPartConnectLength;
    for (std::int32_t i = static_cast<std::int32_t>(APool.size()) - 1; i >= 0; --i) {
        const std::int32_t ref = APool[static_cast<std::size_t>(i)];
        if (IsPieceNumber(ref)) {
            continue;
        }
        if (ANestResults.Count() < 2) {
            return;
        }
        const std::int32_t k = AbsRef(ref) - 1;
        SortResultsByLeftover(ANestResults);
        TNestResult& a = ANestResults[ANestResults.Count() - 2];
        TNestResult& b = ANestResults[ANestResults.Count() - 1];
        const double leftA =
            FNestTubes.at(static_cast<std::size_t>(a.FTubeIndex - 1)).FTubeInitialLen - a.FLengthUsed;
        const double leftB =
            FNestTubes.at(static_cast<std::size_t>(b.FTubeIndex - 1)).FTubeInitialLen - b.FLengthUsed;
        const double length = PartLength(k);
        if (length > leftA + leftB) {
            continue;
        }
        const double cut = PartIntervals(k).GetACutPos(leftB, true);
        // GetACutPos answers 0 when no separable position lies before leftB, and the part's length
        // when the whole part lies before it: neither is a split.
        if (cut <= 1.1 || cut >= length - 1.1) {
            continue;
        }
        const double back = length - cut + (FNestParam.CutShape() == 1 ? connect : 0.0);
        std::vector<TAlgorithmPart> pieces(2);
        pieces[0].DataUpdate(cut + connect, top + 1, 1);
        pieces[1].DataUpdate(back, top + 2, 1);
        SortAlgorithmPartsByLength(pieces);
        const TAlgorithmPart& longer = pieces[0];
        const TAlgorithmPart& shorter = pieces[1];
        // A piece appended after the last entry may meet it with an uncut end, where the part's own
        // gap applies; the test never counts less than DefaultPartGap.
        const double gapA =
            std::max(gap, AppendedPieceGap(a.FPartOrder.back(), k + 1, shorter.Idx == top + 1));
        const double gapB =
            std::max(gap, AppendedPieceGap(b.FPartOrder.back(), k + 1, longer.Idx == top + 1));
        if (fGreat(leftA, shorter.Length + gapA, kTol) && fGreat(leftB, longer.Length + gapB, kTol)) {
            TCutNestPart record;
            record.DataUpdate(cut, k + 1, 1);
            FCutNestParts.Add(record);
            RegisterSplitPieces(top + 1, top + 2, k + 1, cut);
            top += 2;
            FNewPartOrder = std::max(FNewPartOrder, top + 1);
            a.FPartOrder.push_back(shorter.Idx);
            b.FPartOrder.push_back(longer.Idx);
            // The two tubes' used lengths follow the pieces, so that a later piece does not count on
            // room already taken; the exact lengths are recomputed once the run is complete.
            a.FLengthUsed += shorter.Length + gapA;
            b.FLengthUsed += longer.Length + gapB;
            APool.erase(APool.begin() + i);
        }
    }
}

double TCircularNestBase::AppendedPieceGap(std::int32_t ALast, std::int32_t AFrom, bool AFront) const {
    // The new piece is laid in its own direction and meets ALast with its end A: the part's own end
    // for a front piece, the cut for a back piece.
    const double cutGap = FPartsInfo->FNestParam.DefaultPartGap();
    if (!AFront) {
        return cutGap;
    }
    std::int32_t lastWhole = ALast;
    if (IsPieceNumber(ALast)) {
        const TCircularPieceInfo* info = PieceInfo(ALast);
        if (info == nullptr) {
            return cutGap;
        }
        const bool forward = ALast > 0;
        if (forward == info->IsFront) {
            return cutGap; // ALast meets it with its own cut
        }
        lastWhole = forward ? info->From : -info->From;
    }
    return FPartsInfo->GetGap(lastWhole, AFrom);
}

// ---------------------------------------------------------------------------------------------------
// Final check of a run

std::int32_t TCircularNestBase::RemoveOccurrences(std::int32_t AAbsRef, std::int32_t ACount) {
    std::int32_t removed = 0;
    for (std::int32_t i = FNestResults.Count() - 1; i >= 0 && removed < ACount; --i) {
        for (;;) {
            TNestResult& result = FNestResults[i];
            auto& order = result.FPartOrder;
            auto it = std::find_if(order.rbegin(), order.rend(),
                                   [AAbsRef](std::int32_t r) { return AbsRef(r) == AAbsRef; });
            if (it == order.rend() || removed >= ACount) {
                break;
            }
            if (result.FTubeCount > ACount - removed) {
                // Only some of the identical tubes lose the entry: split them off.
                auto rest = result.Clone();
                rest->FTubeCount = result.FTubeCount - (ACount - removed);
                result.FTubeCount = ACount - removed;
                FNestResults.Insert(i + 1, std::move(rest));
            }
            TNestResult& target = FNestResults[i];
            auto& targetOrder = target.FPartOrder;
            auto jt = std::find_if(targetOrder.rbegin(), targetOrder.rend(),
                                   [AAbsRef](std::int32_t r) { return AbsRef(r) == AAbsRef; });
            targetOrder.erase(std::next(jt).base());
            removed += target.FTubeCount;
            FRepairedEntries += target.FTubeCount;
            if (targetOrder.empty()) {
                FNestResults.Delete(i);
                break;
            }
        }
    }
    return removed;
}

void TCircularNestBase::RenumberPieces(const std::vector<std::int32_t>& APieceCounts) {
    const std::int32_t n = PartCount();
    std::vector<std::int32_t> newNumber(FPieces.size(), 0);
    TCutNestParts records;
    std::vector<TCircularPieceInfo> pieces;
    for (std::size_t k = 0; k < FPieces.size(); ++k) {
        const TCircularPieceInfo& info = FPieces[k];
        if (info.From == 0 || !info.IsFront || APieceCounts[k] <= 0) {
            continue;
        }
        const std::int32_t front = n + 1 + 2 * records.Count();
        const std::int32_t back = front + 1;
        newNumber[k] = front;
        newNumber[static_cast<std::size_t>(info.Partner - n - 1)] = back;
        TCutNestPart record;
        record.DataUpdate(info.Length, info.From, APieceCounts[k]);
        records.Add(record);
        pieces.push_back(TCircularPieceInfo{info.From, info.Length, back, true});
        pieces.push_back(TCircularPieceInfo{info.From, info.Length, front, false});
    }
    bool renumbered = false;
    for (auto& item : FNestResults) {
        for (std::int32_t& ref : item->FPartOrder) {
            if (!IsPieceNumber(ref)) {
                continue;
            }
            const std::int32_t to = newNumber[static_cast<std::size_t>(AbsRef(ref) - n - 1)];
            TUBENEST_ASSERT(to != 0, kModule, "a placed piece has no split record");
            if (to != AbsRef(ref)) {
                renumbered = true;
                ref = ref < 0 ? -to : to;
            }
        }
    }
    // The dictionary follows the new numbers; splits whose pieces are gone leave it.
    for (auto it = FCutPartsDictionary.begin(); it != FCutPartsDictionary.end();) {
        const auto a = static_cast<std::size_t>(it->second.PartAOrder - n - 1);
        const auto b = static_cast<std::size_t>(it->second.PartBOrder - n - 1);
        if (a < newNumber.size() && b < newNumber.size() && newNumber[a] != 0 && newNumber[b] != 0) {
            it->second.PartAOrder = newNumber[a];
            it->second.PartBOrder = newNumber[b];
            ++it;
        } else {
            it = FCutPartsDictionary.erase(it);
        }
    }
    FPiecesRenumbered = FPiecesRenumbered || renumbered;
    FCutNestParts = std::move(records);
    FPieces = std::move(pieces);
    FNewPartOrder = n + 1 + static_cast<std::int32_t>(FPieces.size());
}

void TCircularNestBase::RepairNestedResults() {
    const std::int32_t n = PartCount();
    const std::size_t entries = FNestTubes.size();
    for (std::int32_t i = FNestResults.Count() - 1; i >= 0; --i) {
        const TNestResult& r = FNestResults[i];
        TUBENEST_ASSERT(r.FTubeIndex >= 1 && static_cast<std::size_t>(r.FTubeIndex) <= entries &&
                            r.FTubeCount >= 1,
                        kModule,
                        "a result names tube " + std::to_string(r.FTubeIndex) + " with count " +
                            std::to_string(r.FTubeCount));
        for (const std::int32_t ref : r.FPartOrder) {
            TUBENEST_ASSERT(ref != 0 && (AbsRef(ref) <= n || PieceInfo(ref) != nullptr), kModule,
                            "a result holds the unknown part reference " + std::to_string(ref));
        }
        if (r.FPartOrder.empty()) {
            FNestResults.Delete(i);
        }
    }

    std::vector<std::int32_t> whole;
    std::vector<std::int32_t> pieceCount;
    std::vector<std::int32_t> tubeUse;
    const auto count = [&]() {
        whole.assign(static_cast<std::size_t>(n), 0);
        pieceCount.assign(FPieces.size(), 0);
        tubeUse.assign(entries, 0);
        for (const auto& item : FNestResults) {
            tubeUse[static_cast<std::size_t>(item->FTubeIndex - 1)] += item->FTubeCount;
            for (const std::int32_t ref : item->FPartOrder) {
                const std::int32_t a = AbsRef(ref);
                if (a <= n) {
                    whole[static_cast<std::size_t>(a - 1)] += item->FTubeCount;
                } else {
                    pieceCount[static_cast<std::size_t>(a - n - 1)] += item->FTubeCount;
                }
            }
        }
    };

    for (;;) {
        bool changed = false;
        count();
        // A piece counts only together with its partner: one front and one back piece make a copy.
        for (std::size_t k = 0; k < FPieces.size(); ++k) {
            const TCircularPieceInfo& info = FPieces[k];
            if (info.From == 0 || !info.IsFront) {
                continue;
            }
            const auto b = static_cast<std::size_t>(info.Partner - n - 1);
            const std::int32_t front = n + 1 + static_cast<std::int32_t>(k);
            if (pieceCount[k] > pieceCount[b]) {
                RemoveOccurrences(front, pieceCount[k] - pieceCount[b]);
                changed = true;
            } else if (pieceCount[b] > pieceCount[k]) {
                RemoveOccurrences(info.Partner, pieceCount[b] - pieceCount[k]);
                changed = true;
            }
        }
        if (changed) {
            continue;
        }
        // No part more often than required.
        for (std::int32_t k = 0; k < n; ++k) {
            std::int32_t placed = whole[static_cast<std::size_t>(k)];
            for (std::size_t p = 0; p < FPieces.size(); ++p) {
                if (FPieces[p].IsFront && FPieces[p].From == k + 1) {
                    placed += pieceCount[p];
                }
            }
            std::int32_t excess = placed - FRequiredAmounts[static_cast<std::size_t>(k)];
            if (excess <= 0) {
                continue;
            }
            changed = true;
            excess -= RemoveOccurrences(k + 1, std::min(excess, whole[static_cast<std::size_t>(k)]));
            for (std::size_t p = 0; p < FPieces.size() && excess > 0; ++p) {
                if (FPieces[p].IsFront && FPieces[p].From == k + 1 && pieceCount[p] > 0) {
                    const std::int32_t take = std::min(excess, pieceCount[p]);
                    RemoveOccurrences(n + 1 + static_cast<std::int32_t>(p), take);
                    RemoveOccurrences(FPieces[p].Partner, take);
                    excess -= take;
                }
            }
        }
        if (changed) {
            continue;
        }
        // No tube entry used more often than it has tubes.
        for (std::size_t e = 0; e < entries; ++e) {
            std::int32_t over = tubeUse[e] - FInitialTubeAmounts[e];
            for (std::int32_t i = FNestResults.Count() - 1; i >= 0 && over > 0; --i) {
                TNestResult& r = FNestResults[i];
                if (static_cast<std::size_t>(r.FTubeIndex - 1) != e) {
                    continue;
                }
                const std::int32_t take = std::min(over, r.FTubeCount);
                FRepairedEntries += take * static_cast<std::int32_t>(r.FPartOrder.size());
                over -= take;
                changed = true;
                if (take == r.FTubeCount) {
                    FNestResults.Delete(i);
                } else {
                    r.FTubeCount -= take;
                }
            }
        }
        if (changed) {
            continue;
        }

        RenumberPieces(pieceCount);
        const TSegPlaceInfoManager* gaps = FPartsInfo;
        const TGeneralNestPartArr* parts = &FNestParts;
        if (!FCutNestParts.IsEmpty()) {
            TCutPartsManager& manager = CachedCutPartsManager();
            gaps = manager.FSegPlaceInfoManager.get();
            parts = &manager.FGeneralNestPartArr;
        }
        // Exact used lengths; a tube that exceeds its length loses parts from its end until it fits.
        for (std::int32_t i = FNestResults.Count() - 1; i >= 0; --i) {
            TNestResult& r = FNestResults[i];
            const double tubeLen = FNestTubes[static_cast<std::size_t>(r.FTubeIndex - 1)].FTubeInitialLen;
            gaps->UpdateNestResultInfo(r, *parts);
            while (!r.FPartOrder.empty() && fGreat(r.FLengthUsed, tubeLen, kTol)) {
                r.FPartOrder.pop_back();
                FRepairedEntries += r.FTubeCount;
                changed = true;
                gaps->UpdateNestResultInfo(r, *parts);
            }
            if (r.FPartOrder.empty()) {
                FNestResults.Delete(i);
            }
        }
        if (!changed) {
            break;
        }
    }

    // Amounts from the results: every copy not placed stays visible.
    count();
    for (std::int32_t k = 0; k < n; ++k) {
        std::int32_t placed = whole[static_cast<std::size_t>(k)];
        for (const TCutNestPart& record : FCutNestParts) {
            if (record.From == k + 1) {
                placed += record.Amount;
            }
        }
        const std::int32_t left = FRequiredAmounts[static_cast<std::size_t>(k)] - placed;
        TUBENEST_ASSERT(left >= 0, kModule,
                        "part " + std::to_string(k + 1) + " placed more often than required");
        FNestParts[static_cast<std::size_t>(k)].FAmountAvail = left;
    }
    FTubesAmount = 0;
    for (std::size_t e = 0; e < entries; ++e) {
        FNestTubes[e].FAmountAvail = FInitialTubeAmounts[e] - tubeUse[e];
        FTubesAmount += FNestTubes[e].FAmountAvail;
    }
}

void TCircularNestBase::PlaceLeftoverCopies() {
    const std::int32_t n = PartCount();
    if (FNestTubes.empty()) {
        return;
    }
    const TSegPlaceInfoManager* gaps = FPartsInfo;
    const TGeneralNestPartArr* parts = &FNestParts;
    if (!FCutNestParts.IsEmpty()) {
        TCutPartsManager& manager = CachedCutPartsManager();
        gaps = manager.FSegPlaceInfoManager.get();
        parts = &manager.FGeneralNestPartArr;
    }
    // Parts longer than this are handled as long parts (split, or set aside for tubes of their own).
    const double longPart = FNestTubes.front().FTubeInitialLen - 2.0 * FCutPartConnectLength;
    const bool mayTurn = !FNestParam.DisableReverse();
    for (std::int32_t k = 0; k < n; ++k) {
        TGeneralNestPart& part = FNestParts[static_cast<std::size_t>(k)];
        const bool special = std::find(FZShapeSpecicalPartOrder.begin(), FZShapeSpecicalPartOrder.end(),
                                       k + 1) != FZShapeSpecicalPartOrder.end();
        if (special || part.FAmountAvail <= 0 || part.FOuterlength > longPart) {
            continue;
        }
        while (part.FAmountAvail > 0) {
            bool placed = false;
            // First fit at the end of a single tube that still has room.
            for (auto& item : FNestResults) {
                TNestResult& r = *item;
                if (r.FTubeCount != 1 || r.FPartOrder.empty()) {
                    continue;
                }
                const double tubeLen = FNestTubes[static_cast<std::size_t>(r.FTubeIndex - 1)].FTubeInitialLen;
                for (const std::int32_t ref : {k + 1, -(k + 1)}) {
                    if (ref < 0 && !mayTurn) {
                        continue;
                    }
                    const double len =
                        r.FLengthUsed + gaps->GetGap(r.FPartOrder.back(), ref) + part.FOuterlength;
                    if (!fGreat(len, tubeLen, kTol)) {
                        r.FPartOrder.push_back(ref);
                        gaps->UpdateNestResultInfo(r, *parts);
                        placed = true;
                        break;
                    }
                }
                if (placed) {
                    break;
                }
            }
            // Otherwise a tube of its own, from the first entry that still has one long enough.
            if (!placed) {
                for (std::size_t e = 0; e < FNestTubes.size() && !placed; ++e) {
                    TCircularNestTube& tube = FNestTubes[e];
                    if (tube.FAmountAvail <= 0 || fGreat(part.FOuterlength, tube.FTubeInitialLen, kTol)) {
                        continue;
                    }
                    auto r = std::make_unique<TNestResult>();
                    r->FTubeIndex = static_cast<std::int32_t>(e) + 1;
                    r->FTubeCount = 1;
                    r->FPartOrder.push_back(k + 1);
                    gaps->UpdateNestResultInfo(*r, *parts);
                    FNestResults.Add(std::move(r));
                    --tube.FAmountAvail;
                    --FTubesAmount;
                    placed = true;
                }
            }
            if (!placed) {
                break;
            }
            --part.FAmountAvail;
        }
    }
}

} // namespace tubenest
