#include "circular/circular_nest.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <utility>

#include "host/geometry.h"
#include "model/assertion.h"
#include "model/nest_progress.h"

namespace tubenest {
namespace {

constexpr const char* kModule = "UCircularNest";
constexpr double kTol = kCircularTolerance;
/// A split whose front piece would be this short or shorter is not made.
constexpr double kMinFrontPiece = 1.1;

std::int32_t AbsRef(std::int32_t ARef) {
    return ARef < 0 ? -ARef : ARef;
}

/// Sets the joint length to 0 for the duration of one operation.
class TNoJointLength {
public:
    explicit TNoJointLength(double& AConnectLength) : FRef(AConnectLength), FSaved(AConnectLength) {
        FRef = 0.0;
    }
    ~TNoJointLength() { FRef = FSaved; }
    TNoJointLength(const TNoJointLength&) = delete;
    TNoJointLength& operator=(const TNoJointLength&) = delete;

private:
    double& FRef;
    double FSaved;
};

} // namespace

std::unique_ptr<TCircularNest> CreateCircularNest(const TNestAlgorithmParam& NestAlgorithmParam) {
    switch (NestAlgorithmParam.NestParam.CutShape()) {
    case 0:
        return std::make_unique<TStraightCutNest>(NestAlgorithmParam);
    case 1:
        return std::make_unique<TZShapeCutNest>(NestAlgorithmParam);
    default:
        return std::make_unique<TBevelShapeCutNest>(NestAlgorithmParam);
    }
}

// ---------------------------------------------------------------------------------------------------
// Entry points

void TCircularNest::CircularNestMain(const TIntDynArray& PartOrder) {
    if (FRunStarted) {
        throw std::logic_error("circular nest: a nest object runs one order only");
    }
    for (const std::int32_t ref : PartOrder) {
        if (ref == 0 || AbsRef(ref) > PartCount()) {
            throw std::invalid_argument("circular nest: part reference " + std::to_string(ref) +
                                        " outside 1.." + std::to_string(PartCount()));
        }
    }
    FRunStarted = true;
    FNestOrder.insert(FNestOrder.end(), PartOrder.begin(), PartOrder.end());
    auto remain = static_cast<std::int32_t>(PartOrder.size());
    double left = 0.0;
    for (std::int32_t k = 0; k < PartCount(); ++k) {
        if (PartLength(k) > FTubeLength - FCutPartConnectLength) {
            DealLongPart(PartIntervals(k), k);
        }
    }
    RunTubes(remain, left, false);
    FinishNest();
}

void TCircularNest::InitialNestSolve(std::int32_t& CanNestPartsAmount) {
    if (FRunStarted) {
        throw std::logic_error("circular nest: a nest object runs one order only");
    }
    FRunStarted = true;
    for (std::int32_t k = 0; k < PartCount(); ++k) {
        if (PartLength(k) > FTubeLength - FCutPartConnectLength) {
            DealLongPart(PartIntervals(k), k);
        }
    }
    CanNestPartsAmount = 0;
    for (const auto& part : FNestParts) {
        CanNestPartsAmount += part.FAmountAvail;
    }
    std::int32_t remain = CanNestPartsAmount;
    double left = 0.0;
    if (FTubesAmount == 0) {
        FIsTubesEnough = false;
    }
    RunTubes(remain, left, true);
    FinishNest();
}

void TCircularNest::RunTubes(std::int32_t& ARemainCount, double& ALeftLength, bool AInitial) {
    // A part that no tube entry can take, neither whole nor split, would be given back and tried
    // again for ever: an entry that failed for the same front part stays excluded until something
    // is placed, and when every entry has failed the part is left unplaced.
    std::int64_t copies = 0;
    for (const std::int32_t a : RequiredAmounts()) {
        copies += a;
    }
    std::int64_t tubes = 0;
    for (const auto& t : FNestTubes) {
        tubes += t.FAmountAvail;
    }
    const std::int64_t limit =
        (tubes + copies + static_cast<std::int64_t>(FNestOrder.size()) + ARemainCount + 2) *
        (static_cast<std::int64_t>(FNestTubes.size()) + 2);
    std::int64_t steps = 0;
    while (ARemainCount > 0 && FIsTubesEnough) {
        if (!AInitial && FNestOrder.empty()) {
            ARemainCount = 0; // nothing left to lay
            break;
        }
        if (++steps > limit) {
            break; // safety net; whatever is left stays unplaced and visible in FNestParts
        }
        // A stop request ends the run with the tubes closed so far; the copies left are unplaced.
        if (steps % 64 == 0 && StopRequested()) {
            FStoppedEarly = true;
            break;
        }
        const std::int32_t resultsBefore = FNestResults.Count();
        const std::int32_t remainBefore = ARemainCount;
        const std::size_t orderBefore = FNestOrder.size();
        FStallChoiceFailed = false;
        FLastChosenEntry = -1;
        if (AInitial) {
            InitialCutParts(ARemainCount, ALeftLength);
        } else {
            CutParts(ARemainCount, ALeftLength);
        }
        if (FStallChoiceFailed) {
            if (AInitial) {
                for (std::int32_t k = 0; k < PartCount(); ++k) {
                    if (FNestParts[static_cast<std::size_t>(k)].FAmountAvail > 0 &&
                        !FGivenUpParts[static_cast<std::size_t>(k)]) {
                        FGivenUpParts[static_cast<std::size_t>(k)] = true;
                        ARemainCount -= FNestParts[static_cast<std::size_t>(k)].FAmountAvail;
                        break;
                    }
                }
            } else {
                FNestOrder.erase(FNestOrder.begin());
                --ARemainCount;
            }
            std::fill(FStallExcluded.begin(), FStallExcluded.end(), false);
            continue;
        }
        const bool progress = FNestResults.Count() != resultsBefore || ARemainCount != remainBefore ||
                              FNestOrder.size() != orderBefore;
        if (progress) {
            std::fill(FStallExcluded.begin(), FStallExcluded.end(), false);
        } else if (FLastChosenEntry >= 0) {
            FStallExcluded[static_cast<std::size_t>(FLastChosenEntry)] = true;
        }
    }
}

void TCircularNest::FinishNest() {
    MergeSameCutNestParts();
    CheckPartsConnect();
    CheckTubeStatus();
    if (FStoppedEarly) {
        // No re-packing after a stop: only the checks that keep the results consistent.
        RepairNestedResults();
        return;
    }
    if (!FCutNestParts.IsEmpty() || !CheckPartsAmount()) {
        OptimizeNestedResults();
    }
    RepairNestedResults();
    PlaceLeftoverCopies();
}

// ---------------------------------------------------------------------------------------------------
// One tube

bool TCircularNest::OpenTube(TNestResult& AResult, double ALeftLength, double& AUsedLength) {
    FResultClosed = false;
    bool excluded = false;
    for (std::size_t e = 0; e < FNestTubes.size(); ++e) {
        if (FStallExcluded[e]) {
            FNestTubes[e].FAvailable = false;
            excluded = true;
        }
    }
    if (!ChooseNestTube(AResult)) {
        if (excluded && FirstEntryWithTubes() >= 0) {
            FStallChoiceFailed = true;
        } else {
            FIsTubesEnough = false;
        }
        return false;
    }
    FLastChosenEntry = AResult.FTubeIndex - 1;
    AUsedLength = 0.0;
    DealPartCrossTube(ALeftLength, AResult, AUsedLength);
    return true;
}

void TCircularNest::CutParts(std::int32_t& ARemainCount, double& ALeftLength) {
    TNestResult result;
    double used = 0.0;
    if (!OpenTube(result, ALeftLength, used)) {
        return;
    }
    while (FTubesAmount >= 1 && !FNestOrder.empty() && ARemainCount > 0) {
        const std::int32_t ref = FNestOrder.front();
        const std::int32_t k = AbsRef(ref) - 1;
        TGeneralNestPart& part = FNestParts[static_cast<std::size_t>(k)];
        if (part.FAmountAvail <= 0) {
            // No copy of this part is left to lay: set aside before nesting, or more entries in the
            // order than copies required.
            FNestOrder.erase(FNestOrder.begin());
            --ARemainCount;
            continue;
        }
        result.FPartOrder.push_back(ref);
        --ARemainCount;
        --part.FAmountAvail;
        if (GenerateNestResult(ARemainCount, ALeftLength, result, k, used)) {
            return;
        }
    }
    CloseOpenTube(result, used);
}

void TCircularNest::InitialCutParts(std::int32_t& ARemainCount, double& ALeftLength) {
    TNestResult result;
    double used = 0.0;
    if (!OpenTube(result, ALeftLength, used)) {
        return;
    }
    for (std::int32_t k = 0; k < PartCount() && FTubesAmount >= 1; ++k) {
        TGeneralNestPart& part = FNestParts[static_cast<std::size_t>(k)];
        while (part.FAmountAvail > 0 && !FGivenUpParts[static_cast<std::size_t>(k)] && FTubesAmount >= 1) {
            result.FPartOrder.push_back(k + 1);
            FNestOrder.push_back(k + 1);
            --ARemainCount;
            --part.FAmountAvail;
            if (InitialGenerateNestResult(ARemainCount, ALeftLength, result, k, used)) {
                return;
            }
        }
    }
    CloseOpenTube(result, used);
}

void TCircularNest::CloseOpenTube(TNestResult& ANestResult, double AUsedLength) {
    if (FResultClosed) {
        return;
    }
    FResultClosed = true;
    if (ANestResult.FPartOrder.empty()) {
        ++FNestTubes.at(static_cast<std::size_t>(ANestResult.FTubeIndex - 1)).FAmountAvail;
        return;
    }
    ANestResult.FLengthUsed = AUsedLength;
    UpdateTubesNum();
    FNestResults.AddClone(ANestResult);
}

double TCircularNest::TurnedSplitGapIncrease(const TNestResult& ANestResult) const {
    const auto& order = ANestResult.FPartOrder;
    if (order.size() < 2 || order.back() >= 0) {
        return 0.0;
    }
    // A split turned part is replaced by its front piece laid in its own direction, so the gap in
    // front of it becomes the one to the part's end A.
    TIntDynArray pair{order[order.size() - 2], order.back()};
    double turned = 0.0;
    CalcOffsetPosition(pair, turned, 1);
    pair[1] = -pair[1];
    double forward = 0.0;
    CalcOffsetPosition(pair, forward, 1);
    return forward > turned ? forward - turned : 0.0;
}

std::int32_t TCircularNest::TakeBackPieceNumber() {
    if (FCutPartRepeat) {
        FCutPartRepeat = false;
        return FCutPartRepeatPartOrder;
    }
    return FNewPartOrder++;
}

void TCircularNest::DealPartCrossTube(double ALeftLength, TNestResult& ANestResult, double& AUsedLength) {
    if (ALeftLength > 0.0) {
        ANestResult.FPartOrder.push_back(TakeBackPieceNumber());
        AUsedLength = ALeftLength + FCutPartConnectLength;
        ANestResult.FLengthUsed = AUsedLength;
    }
}

bool TCircularNest::GenerateNestResult(std::int32_t& ARemainCount, double& ALeftLength,
                                       TNestResult& ANestResult, std::int32_t APartIdx, double& AUsedLength) {
    return GenerateNestResultImpl(ARemainCount, ALeftLength, ANestResult, APartIdx, AUsedLength, false);
}

bool TCircularNest::InitialGenerateNestResult(std::int32_t& ARemainCount, double& ALeftLength,
                                              TNestResult& ANestResult, std::int32_t APartIdx,
                                              double& AUsedLength) {
    return GenerateNestResultImpl(ARemainCount, ALeftLength, ANestResult, APartIdx, AUsedLength, true);
}

bool TCircularNest::GenerateNestResultImpl(std::int32_t& ARemainCount, double& ALeftLength,
                                           TNestResult& ANestResult, std::int32_t APartIdx,
                                           double& AUsedLength, bool AInitial) {
    const double length = PartLength(APartIdx);
    const auto popFront = [this, AInitial]() {
        if (!AInitial && !FNestOrder.empty()) {
            FNestOrder.erase(FNestOrder.begin());
        }
    };
    AUsedLength += length;
    CalcOffsetPosition(ANestResult.FPartOrder, AUsedLength,
                       static_cast<std::int32_t>(ANestResult.FPartOrder.size()) - 1);
    ANestResult.FLengthUsed = AUsedLength;
    double tubeLength = 0.0;
    ChangeNestTubeLength(ANestResult, tubeLength, ARemainCount, AUsedLength);

    bool closed = false;
    if (fGreat(AUsedLength, tubeLength, kTol) && !fGreat(AUsedLength, 2 * tubeLength, kTol)) {
        --FTubesAmount;
        if (FTubesAmount <= 0) {
            if (AInitial && !FNestOrder.empty()) {
                FNestOrder.pop_back();
            }
            closed = DealLastNestCrossTube(ANestResult, APartIdx, AUsedLength, ARemainCount);
            if (!closed) {
                if (AInitial) {
                    DealInitialLastNest(ANestResult);
                } else {
                    ++FNestTubes.at(static_cast<std::size_t>(ANestResult.FTubeIndex - 1)).FAmountAvail;
                    FResultClosed = true;
                }
            }
        } else {
            ALeftLength = AUsedLength - tubeLength + TurnedSplitGapIncrease(ANestResult);
            const double cut = length - ALeftLength;
            if (JudgePosition(ANestResult, cut, APartIdx, tubeLength)) {
                popFront();
            } else if (!(AInitial ? InitialAdjustPart(cut, ANestResult, APartIdx, ALeftLength, ARemainCount,
                                                      tubeLength)
                                  : AdjustPart(cut, ANestResult, APartIdx, ALeftLength, ARemainCount,
                                               tubeLength))) {
                StartNewNest(ARemainCount, ANestResult, AUsedLength, ALeftLength, APartIdx, AInitial);
            }
            closed = true;
        }
    } else if (fGreat(AUsedLength, 2 * tubeLength, kTol)) {
        UpdateTubesNum();
        StartNewNest(ARemainCount, ANestResult, AUsedLength, ALeftLength, APartIdx, AInitial);
        closed = true;
    } else if (fEqual(AUsedLength, tubeLength, kTol)) {
        UpdateTubesNum();
        ANestResult.FLengthUsed = tubeLength;
        FNestResults.AddClone(ANestResult);
        FResultClosed = true;
        ALeftLength = 0.0;
        popFront();
        closed = true;
    } else {
        popFront();
        if (ARemainCount == 0) {
            ALeftLength = AUsedLength;
        }
    }
    if (ARemainCount == 0 && FIsTubesEnough && ALeftLength > 0.0) {
        NestLastNest(ARemainCount, AUsedLength, ANestResult, ALeftLength);
        closed = true;
    }
    return closed;
}

bool TCircularNest::JudgePosition(TNestResult& ANestResult, double ACutPos, std::int32_t APartIdx,
                                  double ATubeLength) {
    const double back = PartLength(APartIdx) - ACutPos;
    // A cut at the very front of the part (the tube was full before it) is no split.
    if (ACutPos > kMinFrontPiece && IsPointLocatein(ACutPos, APartIdx) && back < FNextTubeLength &&
        !fGreat(ANestResult.FLengthUsed - back, ATubeLength, kTol)) {
        TCutPartsOrder order;
        CheckDictionary(ANestResult, order, ACutPos, APartIdx);
        return true;
    }
    return false;
}

void TCircularNest::CheckDictionary(TNestResult& ANestResult, TCutPartsOrder& AOrder, double ACutPos,
                                    std::int32_t APartIdx) {
    TCutNestPart record;
    record.DataUpdate(ACutPos, APartIdx + 1, 1);
    FCutNestParts.Add(record);
    ANestResult.FLengthUsed = FTubeLength + FCutPartConnectLength;
    TUBENEST_ASSERT(!ANestResult.FPartOrder.empty(), kModule, "a split needs the part in the tube");
    ANestResult.FPartOrder.pop_back();
    TCutPartsInfo key;
    key.Length = static_cast<std::int32_t>(std::trunc(ACutPos + kTol));
    key.From = APartIdx + 1;
    const auto it = FCutPartsDictionary.find(key);
    if (it == FCutPartsDictionary.end()) {
        AOrder.PartAOrder = FNewPartOrder;
        AOrder.PartBOrder = FNewPartOrder + 1;
        RegisterSplitPieces(AOrder.PartAOrder, AOrder.PartBOrder, APartIdx + 1, ACutPos);
        ANestResult.FPartOrder.push_back(FNewPartOrder);
        ++FNewPartOrder;
        FCutPartRepeat = false;
        FNestResults.AddClone(ANestResult);
        FCutPartsDictionary.emplace(key, AOrder);
    } else {
        AOrder = it->second;
        ANestResult.FPartOrder.push_back(AOrder.PartAOrder);
        FNestResults.AddClone(ANestResult);
        FCutPartRepeat = true;
        FCutPartRepeatPartOrder = AOrder.PartBOrder;
    }
    FResultClosed = true;
}

bool TCircularNest::AdjustPart(double ACutPos, TNestResult& ANestResult, std::int32_t APartIdx,
                               double& ALeftLength, std::int32_t& ARemainCount, double ATubeLength) {
    bool found = false;
    std::int32_t partIdx = APartIdx;
    const bool split = AddLeftMaterial(ACutPos, ALeftLength, ANestResult, partIdx, found, ATubeLength);
    if (!found) {
        return false;
    }
    if (split) {
        if (!FNestOrder.empty()) {
            FNestOrder.erase(FNestOrder.begin());
        }
        return true;
    }
    return CloseWithoutLastPart(ANestResult, APartIdx, ALeftLength, ARemainCount, ATubeLength);
}

bool TCircularNest::CloseWithoutLastPart(TNestResult& ANestResult, std::int32_t APartIdx, double& ALeftLength,
                                         std::int32_t& ARemainCount, double ATubeLength) {
    double gap = 0.0;
    DealLastPartGap(gap, ANestResult);
    if (fGreat(ALeftLength + ATubeLength - PartLength(APartIdx) - gap, FTubeLength + FCutPartConnectLength,
               kTol)) {
        return false;
    }
    ANestResult.FPartOrder.pop_back();
    ANestResult.FLengthUsed = FTubeLength;
    FNestResults.AddClone(ANestResult);
    FResultClosed = true;
    ++FNestParts[static_cast<std::size_t>(APartIdx)].FAmountAvail;
    ++ARemainCount;
    ALeftLength = 0.0;
    return true;
}

bool TCircularNest::InitialAdjustPart(double ACutPos, TNestResult& ANestResult, std::int32_t APartIdx,
                                      double& ALeftLength, std::int32_t& ARemainCount, double ATubeLength) {
    if (InTubeAdjust(ACutPos, ANestResult, ALeftLength, ATubeLength)) {
        return true;
    }
    if (ChoosePart(ANestResult, ALeftLength, ARemainCount, ATubeLength)) {
        return true;
    }
    bool found = false;
    std::int32_t partIdx = APartIdx;
    const bool split = AddLeftMaterial(ACutPos, ALeftLength, ANestResult, partIdx, found, ATubeLength);
    if (!found) {
        return false;
    }
    if (split) {
        return true;
    }
    if (!CloseWithoutLastPart(ANestResult, APartIdx, ALeftLength, ARemainCount, ATubeLength)) {
        return false;
    }
    if (!FNestOrder.empty()) {
        FNestOrder.pop_back();
    }
    return true;
}

bool TCircularNest::AddLeftMaterial(double& ACutPos, double& ALeftLength, TNestResult& ANestResult,
                                    std::int32_t& APartIdx, bool& AFound, double ATubeLength) {
    const double length = PartLength(APartIdx);
    TSeparatableIntervalsInSegment& stretches = PartSegmentIntervals(APartIdx);
    TSeparatableIntervalsInSegment point(length);
    point.Add(TClosedInterval::Create(ACutPos));
    if (!stretches.IsMinOffsetExists(&point)) {
        return false;
    }
    ACutPos -= point.GetMinOffset(&stretches);
    if (ACutPos <= ATubeLength && length - ACutPos <= FNextTubeLength) {
        AFound = true;
        if (ACutPos <= kMinFrontPiece || fEqual(ACutPos, length, kTol)) {
            return false;
        }
        TCutPartsOrder order;
        CheckDictionary(ANestResult, order, ACutPos, APartIdx);
        if (ProcessFirstFitAlgorithm(order.PartBOrder, length - ACutPos + FCutPartConnectLength)) {
            ALeftLength = 0.0;
        } else {
            ALeftLength = length - ACutPos;
        }
        return true;
    }
    AFound = false;
    return false;
}

bool TCircularNest::InTubeAdjust(double ACutPos, TNestResult& ANestResult, double& ALeftLength,
                                 double ATubeLength) {
    auto& order = ANestResult.FPartOrder;
    for (std::size_t u = 0; u < order.size(); ++u) {
        if (IsPieceNumber(order[u])) {
            continue;
        }
        const std::int32_t q = AbsRef(order[u]) - 1;
        const double back = PartLength(q) - ACutPos;
        if (ACutPos > kMinFrontPiece && IsPointLocatein(ACutPos, q) && back < FNextTubeLength &&
            ANestResult.FLengthUsed - back < ATubeLength) {
            std::swap(order[u], order.back());
            TCutPartsOrder cutOrder;
            CheckDictionary(ANestResult, cutOrder, ACutPos, q);
            // The back piece to lay is the one of q, which need not be as long as the overhang of the
            // part that crossed the tube end.
            ALeftLength =
                ProcessFirstFitAlgorithm(cutOrder.PartBOrder, back + FCutPartConnectLength) ? 0.0 : back;
            return true;
        }
    }
    return false;
}

bool TCircularNest::ChoosePart(TNestResult& ANestResult, double& ALeftLength, std::int32_t& ARemainCount,
                               double ATubeLength) {
    if (ANestResult.FPartOrder.empty() || IsPieceNumber(ANestResult.FPartOrder.back())) {
        return false;
    }
    const std::int32_t p0 = AbsRef(ANestResult.FPartOrder.back()) - 1;
    double gap0 = 0.0;
    CalcOffsetPosition(ANestResult.FPartOrder, gap0,
                       static_cast<std::int32_t>(ANestResult.FPartOrder.size()) - 1);
    TNestResult trial = ANestResult;
    trial.FPartOrder.pop_back();
    double running = ANestResult.FLengthUsed - PartLength(p0) - gap0;
    TIntDynArray appended;
    for (std::int32_t k = 0; k < PartCount(); ++k) {
        if (FNestParts[static_cast<std::size_t>(k)].FAmountAvail <= 0 ||
            FGivenUpParts[static_cast<std::size_t>(k)]) {
            continue;
        }
        trial.FPartOrder.push_back(k + 1);
        double gap = 0.0;
        CalcOffsetPosition(trial.FPartOrder, gap, static_cast<std::int32_t>(trial.FPartOrder.size()) - 1);
        const double length = PartLength(k);
        running += length + gap;
        if (running > ATubeLength) {
            const double cut = length - (running - ATubeLength);
            const double back = length - cut;
            if (cut > kMinFrontPiece && IsPointLocatein(cut, k) && back < FNextTubeLength &&
                ANestResult.FLengthUsed - back < ATubeLength) {
                appended.push_back(k + 1);
                ++FNestParts[static_cast<std::size_t>(p0)].FAmountAvail;
                ANestResult = std::move(trial);
                if (!FNestOrder.empty()) {
                    FNestOrder.pop_back();
                }
                for (const std::int32_t a : appended) {
                    --FNestParts[static_cast<std::size_t>(a - 1)].FAmountAvail;
                    FNestOrder.push_back(a);
                }
                TCutPartsOrder order;
                CheckDictionary(ANestResult, order, cut, k);
                ALeftLength = ProcessFirstFitAlgorithm(order.PartBOrder, back + FCutPartConnectLength)
                                  ? 0.0
                                  : running - ATubeLength;
                ARemainCount = ARemainCount - static_cast<std::int32_t>(appended.size()) + 1;
                return true;
            }
            trial.FPartOrder.pop_back();
            running -= length + gap;
        } else {
            appended.push_back(k + 1);
        }
    }
    return false;
}

bool TCircularNest::StartNewNest(std::int32_t& ARemainCount, TNestResult& ANestResult, double AUsedLength,
                                 double& ALeftLength, std::int32_t APartIdx, bool ARemoveFromOrder) {
    double gap = 0.0;
    DealLastPartGap(gap, ANestResult);
    auto& order = ANestResult.FPartOrder;
    const auto entry = static_cast<std::size_t>(ANestResult.FTubeIndex - 1);
    if (order.size() == 1) {
        if (DealOnlyOneLongPart(ANestResult, ALeftLength, APartIdx)) {
            // The part is laid (whole or split); in a given order its entry is done with.
            if (!ARemoveFromOrder && !FNestOrder.empty()) {
                FNestOrder.erase(FNestOrder.begin());
            }
            return true;
        }
        FNestTubes[entry].FAvailable = false;
        ++FNestTubes[entry].FAmountAvail;
        ++FTubesAmount;
        FResultClosed = true; // the tube went back
    }
    ANestResult.FLengthUsed = AUsedLength - PartLength(APartIdx) - gap;
    order.pop_back();
    if (ARemoveFromOrder && !FNestOrder.empty()) {
        FNestOrder.pop_back();
    }
    const double whole = FTubeLength + FCutPartConnectLength;
    if (ANestResult.FLengthUsed > whole) {
        while (!order.empty() && ANestResult.FLengthUsed >= whole) {
            const std::int32_t r = order.back();
            if (IsPieceNumber(r)) {
                break; // a piece cannot be handed back on its own; the final check takes care of it
            }
            double g = 0.0;
            DealLastPartGap(g, ANestResult);
            ANestResult.FLengthUsed -= PartLength(AbsRef(r) - 1) + g;
            order.pop_back();
            ++FNestParts[static_cast<std::size_t>(AbsRef(r) - 1)].FAmountAvail;
            ++ARemainCount;
            if (ARemoveFromOrder) {
                if (!FNestOrder.empty()) {
                    FNestOrder.pop_back();
                }
            } else {
                FNestOrder.insert(FNestOrder.begin(), AbsRef(r));
            }
        }
    }
    if (!order.empty()) {
        FNestResults.AddClone(ANestResult);
        FResultClosed = true;
    }
    ALeftLength = 0.0;
    ++FNestParts[static_cast<std::size_t>(APartIdx)].FAmountAvail;
    ++ARemainCount;
    return true;
}

bool TCircularNest::DealOnlyOneLongPart(TNestResult& ANestResult, double& ALeftLength,
                                        std::int32_t APartIdx) {
    const double length = PartLength(APartIdx);
    const auto entry = static_cast<std::size_t>(ANestResult.FTubeIndex - 1);
    if (!fGreat(length, FNestTubes[entry].FTubeInitialLen, kTol)) {
        ANestResult.FLengthUsed = length;
        FNestResults.AddClone(ANestResult);
        FResultClosed = true;
        ALeftLength = 0.0;
        return true;
    }
    const double mid = PartIntervals(APartIdx).GetMidCutPos();
    // The back piece is laid with the joint length added; the next tube must hold it as laid
    // (FNextTubeLength is that tube's length less the joint).
    const double backLaid = length - mid + FCutPartConnectLength;
    if (mid <= kMinFrontPiece || fGreat(mid, FTubeLength, kTol) ||
        fGreat(backLaid, FNextTubeLength + FCutPartConnectLength, kTol)) {
        FNestTubes[entry].FAvailable = false;
        return false;
    }
    TNestResult next;
    if (!ChooseNestTube(next)) {
        return false;
    }
    TCutPartsOrder order;
    CheckDictionary(ANestResult, order, mid, APartIdx);
    next.FPartOrder.push_back(TakeBackPieceNumber());
    next.FLengthUsed = backLaid;
    FNestResults.AddClone(next);
    ALeftLength = 0.0;
    --FTubesAmount;
    return true;
}

bool TCircularNest::DealLastNestCrossTube(TNestResult& ANestResult, std::int32_t APartIdx, double AUsedLength,
                                          std::int32_t& ARemainCount) {
    (void)ARemainCount;
    ++FNestParts[static_cast<std::size_t>(APartIdx)].FAmountAvail;
    FIsTubesEnough = false;
    if (ANestResult.FPartOrder.size() < 2) {
        return false;
    }
    ANestResult.FLengthUsed = AUsedLength - PartLength(APartIdx);
    ANestResult.FPartOrder.pop_back();
    FNestResults.AddClone(ANestResult);
    FResultClosed = true;
    return true;
}

void TCircularNest::DealInitialLastNest(TNestResult& ANestResult) {
    FResultClosed = true;
    for (std::int32_t k = 0; k < PartCount(); ++k) {
        TGeneralNestPart& part = FNestParts[static_cast<std::size_t>(k)];
        if (part.FAmountAvail > 0 && !FGivenUpParts[static_cast<std::size_t>(k)] &&
            !fGreat(part.FOuterlength, FTubeLength + FCutPartConnectLength, kTol)) {
            FNestOrder.push_back(k + 1);
            ANestResult.FPartOrder = {k + 1};
            ANestResult.FPartPlaceData.clear();
            ANestResult.FLengthUsed = part.FOuterlength;
            FNestResults.AddClone(ANestResult);
            --part.FAmountAvail; // the copy is laid
            return;
        }
    }
    // Nothing fits: the tube goes back.
    ++FNestTubes.at(static_cast<std::size_t>(ANestResult.FTubeIndex - 1)).FAmountAvail;
}

void TCircularNest::NestLastNest(std::int32_t ARemainCount, double AUsedLength, TNestResult& ANestResult,
                                 double& ALeftLength) {
    (void)ARemainCount;
    if (!FResultClosed && !(AUsedLength > FTubeLength + FCutPartConnectLength)) {
        ANestResult.FLengthUsed = AUsedLength;
        FNestResults.AddClone(ANestResult);
        FResultClosed = true;
        ALeftLength = 0.0;
        return;
    }
    if (!FResultClosed) {
        // Not split, yet longer than the tube: close it as it is; the final check shortens it.
        ANestResult.FLengthUsed = AUsedLength;
        FNestResults.AddClone(ANestResult);
        FResultClosed = true;
        ALeftLength = 0.0;
        return;
    }
    // The tube was closed by the split of the last part: its back piece opens one more tube.
    TNestResult next;
    next.FPartOrder.push_back(TakeBackPieceNumber());
    const double backLength = ALeftLength + FCutPartConnectLength;
    ALeftLength = 0.0;
    if (!ChooseNestTube(next)) {
        return; // no tube for the back piece: the final check takes the split back
    }
    --FTubesAmount;
    next.FLengthUsed = backLength;
    FNestResults.AddClone(next);
    ANestResult = std::move(next);
}

// ---------------------------------------------------------------------------------------------------
// Cut shapes

void TZShapeCutNest::CheckPartsConnect() {
    for (auto& item : FNestResults) {
        auto& order = item->FPartOrder;
        if (order.size() > 1 && IsPieceNumber(order.front()) && IsPieceNumber(order.back())) {
            std::rotate(order.rbegin(), order.rbegin() + 1, order.rend());
        }
    }
}

bool TBevelShapeCutNest::InTubeAdjust(double ACutPos, TNestResult& ANestResult, double& ALeftLength,
                                      double ATubeLength) {
    TNoJointLength noJoint(FCutPartConnectLength);
    return TCircularNest::InTubeAdjust(ACutPos, ANestResult, ALeftLength, ATubeLength);
}

bool TBevelShapeCutNest::ChoosePart(TNestResult& ANestResult, double& ALeftLength, std::int32_t& ARemainCount,
                                    double ATubeLength) {
    TNoJointLength noJoint(FCutPartConnectLength);
    return TCircularNest::ChoosePart(ANestResult, ALeftLength, ARemainCount, ATubeLength);
}

bool TBevelShapeCutNest::AddLeftMaterial(double& ACutPos, double& ALeftLength, TNestResult& ANestResult,
                                         std::int32_t& APartIdx, bool& AFound, double ATubeLength) {
    TNoJointLength noJoint(FCutPartConnectLength);
    return TCircularNest::AddLeftMaterial(ACutPos, ALeftLength, ANestResult, APartIdx, AFound, ATubeLength);
}

void TBevelShapeCutNest::NestLastNest(std::int32_t ARemainCount, double AUsedLength, TNestResult& ANestResult,
                                      double& ALeftLength) {
    TNoJointLength noJoint(FCutPartConnectLength);
    TCircularNest::NestLastNest(ARemainCount, AUsedLength, ANestResult, ALeftLength);
}

void TBevelShapeCutNest::DealPartCrossTube(double ALeftLength, TNestResult& ANestResult,
                                           double& AUsedLength) {
    TNoJointLength noJoint(FCutPartConnectLength);
    TCircularNest::DealPartCrossTube(ALeftLength, ANestResult, AUsedLength);
}

bool TBevelShapeCutNest::DealOnlyOneLongPart(TNestResult& ANestResult, double& ALeftLength,
                                             std::int32_t APartIdx) {
    TNoJointLength noJoint(FCutPartConnectLength);
    return TCircularNest::DealOnlyOneLongPart(ANestResult, ALeftLength, APartIdx);
}

} // namespace tubenest
