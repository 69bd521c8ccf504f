#include "tailplace/tail_place_base.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "host/app_services.h"
#include "host/geometry.h"
#include "model/nest_progress.h"
#include "ordersearch/nest_adjust_tool.h"

namespace tubenest {

namespace {

/// A move of the junction search is taken only when it saves more than this (mm).
constexpr double kJunctionGain = 0.01;

} // namespace

TQualifiedNestResult::TQualifiedNestResult(const TNestResult& ANestResult) : NestResult(ANestResult.Clone()) {
    Specs.reserve(ANestResult.FPartOrder.size());
    UnSpecs.reserve(ANestResult.FPartOrder.size());
}

void TQualifiedNestResult::Assign(const TQualifiedNestResult& AResult) {
    if (this == &AResult) {
        return;
    }
    NestResult = AResult.NestResult ? AResult.NestResult->Clone() : std::make_unique<TNestResult>();
    IsQualified = AResult.IsQualified;
    Specs = AResult.Specs;
    UnSpecs = AResult.UnSpecs;
    SpecLen = AResult.SpecLen;
    UnSpecLen = AResult.UnSpecLen;
    UsedLen = AResult.UsedLen;
    Remnant = AResult.Remnant;
    TubeLen = AResult.TubeLen;
    OverThreshold = AResult.OverThreshold;
}

TTailPlaceBase::TTailPlaceBase(const TGeneralNestPartArr& ANestParts, const TGeneralNestTubeArr& ANestTubes,
                               const TCADAutoNestParam& Param, const TSegPlaceInfoManager& APartsCalInfo)
    : FNestParts(ANestParts), FNestTubes(ANestTubes), FParam(Param), FPartsCalInfo(APartsCalInfo) {}

bool TTailPlaceBase::Stopped() const {
    const bool stop = GetStopped();
    return stop || (FDeadline && Clock::now() >= *FDeadline);
}

bool TTailPlaceBase::IsSpecPart(std::int32_t p) const {
    if (p < 0 || p >= static_cast<std::int32_t>(FNestParts.size())) {
        return false;
    }
    const double len = FNestParts[static_cast<std::size_t>(p)].FOuterlength;
    return !fGreat(len, FParam.SpecMaxLength(), 1e-6) && !fSmall(len, FParam.SpecMinLength(), 1e-6);
}

double TTailPlaceBase::GetTotalLength(const TIntDynArray& AOrder) const {
    if (AOrder.empty()) {
        return 0.0;
    }
    double len = FNestParts[static_cast<std::size_t>(std::abs(AOrder[0]) - 1)].FOuterlength;
    for (std::size_t k = 1; k < AOrder.size(); ++k) {
        len += FNestParts[static_cast<std::size_t>(std::abs(AOrder[k]) - 1)].FOuterlength +
               FPartsCalInfo.GetGap(AOrder[k - 1], AOrder[k]);
    }
    return len;
}

void TTailPlaceBase::ReverseParts(TIntDynArray& AOrder, int i, int j) {
    if (i < 0 || j >= static_cast<int>(AOrder.size()) || i > j) {
        return;
    }
    std::reverse(AOrder.begin() + i, AOrder.begin() + j + 1);
    for (int k = i; k <= j; ++k) {
        AOrder[static_cast<std::size_t>(k)] = -AOrder[static_cast<std::size_t>(k)];
    }
}

void TTailPlaceBase::MoveParts(TIntDynArray& AOrder, int i, int j, int k) {
    const int n = static_cast<int>(AOrder.size());
    if (i < 0 || j < i || j >= n || k < 0 || k >= n) {
        return;
    }
    if (i < k) {
        if (j >= k) {
            return;
        }
        // o[i..j] swaps places with o[j+1..k].
        std::rotate(AOrder.begin() + i, AOrder.begin() + j + 1, AOrder.begin() + k + 1);
    } else {
        // o[i..j] goes in front of o[k..i-1].
        std::rotate(AOrder.begin() + k, AOrder.begin() + i, AOrder.begin() + j + 1);
    }
}

bool TTailPlaceBase::TryOptimizePartPos(TIntDynArray& AOrder, bool Reverse, bool TailFixed) const {
    return TNestAdjustTool::CalcTsp(AOrder, FPartsCalInfo, -1, Reverse, TailFixed);
}

bool TTailPlaceBase::TryOptimizePartPosofTwoOrder(TIntDynArray& F, TIntDynArray& S, bool CanReverse) const {
    if (F.empty() || S.empty()) {
        return false;
    }
    auto gap = [this](std::int32_t a, std::int32_t b) { return FPartsCalInfo.GetGap(a, b); };
    bool any = false;
    bool moved = true;
    while (moved) {
        moved = false;
        if (StopRequested()) {
            break;
        }
        // 1. Turn the tail F[i .. end].
        if (CanReverse) {
            for (int i = 0; i < static_cast<int>(F.size()); ++i) {
                const auto ui = static_cast<std::size_t>(i);
                const double left = i > 0 ? gap(F[ui - 1], F[ui]) : 0.0;
                const double leftAfter = i > 0 ? gap(F[ui - 1], -F.back()) : 0.0;
                const double before = left + gap(F.back(), S.front());
                const double after = leftAfter + gap(-F[ui], S.front());
                if (before - after > kJunctionGain) {
                    ReverseParts(F, i, static_cast<int>(F.size()) - 1);
                    moved = any = true;
                }
            }
        }
        // 2. Move the block F[i .. j] to the end of F.
        for (int i = 0; i + 2 <= static_cast<int>(F.size()); ++i) {
            for (int j = i; j + 2 <= static_cast<int>(F.size()); ++j) {
                const auto ui = static_cast<std::size_t>(i);
                const auto uj = static_cast<std::size_t>(j);
                const double prevIn = i > 0 ? gap(F[ui - 1], F[ui]) : 0.0;
                const double prevOut = i > 0 ? gap(F[ui - 1], F[uj + 1]) : 0.0;
                const double before = prevIn + gap(F[uj], F[uj + 1]) + gap(F.back(), S.front());
                const double after = prevOut + gap(F.back(), F[ui]) + gap(F[uj], S.front());
                if (before - after > kJunctionGain) {
                    MoveParts(F, i, j, static_cast<int>(F.size()) - 1);
                    moved = any = true;
                }
            }
        }
        // 3. Turn the head S[0 .. i].
        if (CanReverse) {
            for (int i = 0; i < static_cast<int>(S.size()); ++i) {
                const auto ui = static_cast<std::size_t>(i);
                const bool inner = i + 1 < static_cast<int>(S.size());
                const double before = gap(F.back(), S.front()) + (inner ? gap(S[ui], S[ui + 1]) : 0.0);
                const double after = gap(F.back(), -S[ui]) + (inner ? gap(-S.front(), S[ui + 1]) : 0.0);
                if (before - after > kJunctionGain) {
                    ReverseParts(S, 0, i);
                    moved = any = true;
                }
            }
        }
        // 4. Move the block S[i .. j] to the front of S.
        for (int i = 1; i < static_cast<int>(S.size()); ++i) {
            for (int j = i; j < static_cast<int>(S.size()); ++j) {
                const auto ui = static_cast<std::size_t>(i);
                const auto uj = static_cast<std::size_t>(j);
                const bool inner = j + 1 < static_cast<int>(S.size());
                const double before = gap(F.back(), S.front()) + gap(S[ui - 1], S[ui]) +
                                      (inner ? gap(S[uj], S[uj + 1]) : 0.0);
                const double after = gap(F.back(), S[ui]) + gap(S[uj], S.front()) +
                                     (inner ? gap(S[ui - 1], S[uj + 1]) : 0.0);
                if (before - after > kJunctionGain) {
                    MoveParts(S, i, j, 0);
                    moved = any = true;
                }
            }
        }
    }
    return any;
}

double TTailPlaceBase::TubeLength(std::int32_t ATubeIndex) const {
    if (ATubeIndex < 1 || ATubeIndex > static_cast<std::int32_t>(FNestTubes.size())) {
        return 0.0;
    }
    return FNestTubes[static_cast<std::size_t>(ATubeIndex - 1)].FTubeInitialLen;
}

bool TTailPlaceBase::IsKnownResult(const TNestResult& AResult) const {
    if (AResult.FTubeIndex < 1 || AResult.FTubeIndex > static_cast<std::int32_t>(FNestTubes.size())) {
        return false;
    }
    const auto n = static_cast<std::int32_t>(FNestParts.size());
    return std::all_of(AResult.FPartOrder.begin(), AResult.FPartOrder.end(),
                       [n](std::int32_t ref) { return ref != 0 && std::abs(ref) <= n; });
}

void TTailPlaceBase::RefreshResult(TNestResult& AResult) const {
    FPartsCalInfo.UpdateNestResultInfo(AResult, FNestParts);
}

bool TTailPlaceBase::QualifyResult(TQualifiedNestResult& AResult) const {
    AResult.IsQualified = false;
    AResult.Specs.clear();
    AResult.UnSpecs.clear();
    TNestResult& pattern = *AResult.NestResult;
    AResult.TubeLen = TubeLength(pattern.FTubeIndex);
    if (!IsKnownResult(pattern)) {
        // Split pieces or unknown tubes: nothing can be measured, the pattern stays as it is.
        AResult.Remnant = AResult.TubeLen - pattern.FLengthUsed;
        return false;
    }
    // The used length may be stale when an order was rewritten without refreshing it.
    RefreshResult(pattern);
    AResult.Remnant = AResult.TubeLen - pattern.FLengthUsed;
    for (const std::int32_t ref : pattern.FPartOrder) {
        (IsSpecPart(std::abs(ref) - 1) ? AResult.Specs : AResult.UnSpecs).push_back(ref);
    }
    const bool reverse = !FParam.DisableReverse();
    TryOptimizePartPos(AResult.Specs, reverse, false);
    TryOptimizePartPos(AResult.UnSpecs, reverse, false);
    const double tailLength = FParam.TailLength();
    if (AResult.Specs.empty() || AResult.UnSpecs.empty()) {
        AResult.SpecLen = GetTotalLength(AResult.Specs);
        AResult.UnSpecLen = GetTotalLength(AResult.UnSpecs);
        AResult.UsedLen = AResult.UnSpecLen + AResult.SpecLen;
    } else {
        TryOptimizePartPosofTwoOrder(AResult.UnSpecs, AResult.Specs, reverse);
        AResult.SpecLen = GetTotalLength(AResult.Specs);
        AResult.UnSpecLen = GetTotalLength(AResult.UnSpecs);
        AResult.UsedLen = AResult.UnSpecLen + AResult.SpecLen +
                          FPartsCalInfo.GetGap(AResult.UnSpecs.back(), AResult.Specs.front());
    }
    AResult.OverThreshold = AResult.SpecLen - tailLength;

    const double tube = AResult.TubeLen;
    const bool fits = !fGreat(AResult.UsedLen, tube, Nest_LengthOverflow);
    bool qualified = false;
    switch (FParam.TailPlaceMode()) {
    case 1:
        qualified = fits && !fGreat(tailLength, tube - AResult.UsedLen + AResult.SpecLen, 1e-6);
        break;
    case 2:
        if (AResult.SpecLen > 0.0) {
            qualified = fits;
        } else if (AResult.Specs.empty()) {
            qualified = fGreat(tube - AResult.UsedLen, FParam.SpecMinLength(), 1e-6);
        }
        break;
    default:
        break;
    }
    if (!qualified) {
        return false;
    }
    TIntDynArray order = AResult.UnSpecs;
    order.insert(order.end(), AResult.Specs.begin(), AResult.Specs.end());
    pattern.FPartOrder = std::move(order);
    RefreshResult(pattern);
    pattern.FIsTailPlacedQualified = true;
    AResult.Remnant = tube - pattern.FLengthUsed;
    AResult.IsQualified = true;
    return true;
}

std::unique_ptr<TNestResult> TTailPlaceBase::QualifiedResulttoNestResult(const TQualifiedNestResult& AResult) const {
    auto out = AResult.NestResult->Clone();
    if (IsKnownResult(*out)) {
        RefreshResult(*out);
    } else {
        FPartsCalInfo.GetOrderInfos(out->FPartOrder, &out->FPartPlaceData);
    }
    out->FIsTailPlacedQualified = AResult.IsQualified;
    return out;
}

std::int64_t TTailPlaceBase::CountQualifiedTubes(const TNestResultList& AList) const {
    std::int64_t n = 0;
    for (const auto& r : AList) {
        TQualifiedNestResult q(*r);
        if (QualifyResult(q)) {
            n += r->FTubeCount;
        }
    }
    return n;
}

} // namespace tubenest
