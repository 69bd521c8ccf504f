#include "tailplace/strict_tail_place.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <utility>

#include "adjust/multi_tube_nest_wrapper.h"
#include "host/app_services.h"
#include "host/geometry.h"
#include "model/assertion.h"
#include "model/nest_progress.h"

namespace tubenest {

namespace {

constexpr const char* kModule = "uTailPlace";

std::size_t Index(std::int32_t i) { return static_cast<std::size_t>(i); }

bool AnyAmount(const TGeneralNestPartArr& parts) {
    return std::any_of(parts.begin(), parts.end(), [](const TGeneralNestPart& p) { return p.FAmountAvail > 0; });
}

bool AnyTube(const TGeneralNestTubeArr& tubes) {
    return std::any_of(tubes.begin(), tubes.end(), [](const TGeneralNestTube& t) { return t.FAmountAvail > 0; });
}

} // namespace

bool TStrictTailPlace::FitsTube(const TIntDynArray& AOrder, std::int32_t ATubeIndex) const {
    return !fGreat(GetTotalLength(AOrder), TubeLength(ATubeIndex), Nest_LengthOverflow);
}

void TStrictTailPlace::UpdateResultInfo(TNestResultList& AList) const {
    for (auto& r : AList) {
        RefreshResult(*r);
    }
}

bool TStrictTailPlace::InitializeSpecInfo(std::vector<std::int32_t>& ARelated) {
    FSumTubeAmount = 0;
    InitializeNestParts(FSpecParts);
    InitializeNestParts(FOtherParts);
    double minSpec = std::numeric_limits<double>::max();
    bool anySpec = false;
    for (std::size_t p = 0; p < FNestParts.size(); ++p) {
        const std::int32_t amount = std::max(0, FNestParts[p].FAmountAvail);
        if (IsSpecPart(static_cast<std::int32_t>(p))) {
            FOtherParts[p].FAmountAvail = 0;
            FSpecParts[p].FAmountAvail = amount;
            if (amount >= 1) {
                minSpec = std::min(minSpec, FNestParts[p].FOuterlength);
                anySpec = true;
            }
        } else {
            FSpecParts[p].FAmountAvail = 0;
            FOtherParts[p].FAmountAvail = amount;
        }
    }
    FOtherTubes.clear();
    ARelated.clear();
    FSpecTube.clear();
    for (std::size_t t = 0; t < FNestTubes.size(); ++t) {
        if (FNestTubes[t].FAmountAvail > 0) {
            FSumTubeAmount += FNestTubes[t].FAmountAvail;
            ARelated.push_back(static_cast<std::int32_t>(t));
            FOtherTubes.push_back(FNestTubes[t]);
        }
    }
    // Without a spec copy the tail segment would be as long as the largest double, and without a
    // tube there is nothing to shorten: nothing to place either way.
    if (!anySpec || FOtherTubes.empty()) {
        return false;
    }
    TGeneralNestTube tail = FNestTubes.front();
    tail.FTubeInitialLen = FParam.TailLength() + std::max(minSpec, FParam.SpecMinLength()) / 2.0;
    tail.FAmountAvail = FSumTubeAmount;
    tail.FNestedPartIdx = -1;
    FSpecTube.push_back(tail);
    return true;
}

bool TStrictTailPlace::MixedNest(const TGeneralNestPartArr& AParts, const TGeneralNestTubeArr& ATubes,
                                 TNestResultList& AList) {
    if (AParts.empty() || ATubes.empty()) {
        return false;
    }
    if (!AnyAmount(AParts) || !AnyTube(ATubes)) {
        return true; // nothing to nest
    }
    TMultiTubeNestWrapper wrapper(AParts, ATubes, FPartsCalInfo, FParam);
    TNestResultList greedy;
    wrapper.GreedyNest(greedy);
    TNestResultList* chosen = &greedy;
    TNestResultList bcp;
    if (FUseBCP && !Stopped()) {
        wrapper.BCPNest(bcp);
        const TNestResultInfo greedyInfo = TNestResultInfo::Create(greedy, AParts, ATubes);
        const TNestResultInfo bcpInfo = TNestResultInfo::Create(bcp, AParts, ATubes);
        if (TNestResultComparer::IsNewResultBetterThanOld(greedyInfo, bcpInfo)) {
            chosen = &bcp;
        }
    }
    for (auto& r : *chosen) {
        if (r->FTubeCount > 0 && !r->FPartOrder.empty()) {
            AList.Add(std::move(r));
        }
    }
    return true;
}

void TStrictTailPlace::RemoveExceedResult(TNestResultList& AList, std::int32_t AMaxTubes) {
    std::int64_t s = 0;
    for (auto& r : AList) {
        if (s >= AMaxTubes) {
            r->FTubeCount = 0;
        } else if (s + r->FTubeCount > AMaxTubes) {
            r->FTubeCount = static_cast<std::int32_t>(AMaxTubes - s);
        }
        s += std::max(0, r->FTubeCount);
    }
    for (int i = AList.Count() - 1; i >= 0; --i) {
        if (AList[i].FTubeCount <= 0) {
            AList.Delete(i);
        }
    }
}

void TStrictTailPlace::RemoveNestedParts(TGeneralNestPartArr& AParts, const TNestResultList& AList) {
    for (const auto& r : AList) {
        for (const std::int32_t ref : r->FPartOrder) {
            const std::int32_t p = std::abs(ref) - 1;
            TUBENEST_ASSERT(ref != 0 && p < static_cast<std::int32_t>(AParts.size()), kModule,
                            "part reference " + std::to_string(ref) + " outside the part array");
            AParts[Index(p)].FAmountAvail -= r->FTubeCount;
        }
    }
}

bool TStrictTailPlace::TryNestLongSpec(TNestResultList& AList) {
    if (FSpecParts.empty() || FSpecTube.empty()) {
        return false;
    }
    std::size_t p = 0;
    std::size_t t = 0;
    std::int32_t partLeft = FSpecParts[0].FAmountAvail;
    std::int32_t tubeLeft = FSpecTube[0].FAmountAvail;
    while (true) {
        if (Stopped()) {
            return false;
        }
        if (partLeft <= 0) {
            if (++p >= FSpecParts.size()) {
                break;
            }
            partLeft = FSpecParts[p].FAmountAvail;
            continue;
        }
        if (tubeLeft <= 0) {
            if (++t >= FSpecTube.size()) {
                break;
            }
            tubeLeft = FSpecTube[t].FAmountAvail;
            continue;
        }
        const std::int32_t count = std::min(tubeLeft, partLeft);
        auto r = std::make_unique<TNestResult>();
        r->FTubeIndex = static_cast<std::int32_t>(t) + 1;
        r->FTubeCount = count;
        r->FPartOrder.push_back(static_cast<std::int32_t>(p) + 1);
        r->FLengthUsed = FSpecParts[p].FOuterlength;
        AList.Add(std::move(r));
        tubeLeft -= count;
        partLeft -= count;
    }
    return true;
}

bool TStrictTailPlace::TryNestSpec(TNestResultList& AList) {
    bool ok = false;
    switch (FParam.TailPlaceMode()) {
    case 1:
        ok = MixedNest(FSpecParts, FSpecTube, AList);
        break;
    case 2:
        ok = TryNestLongSpec(AList);
        break;
    default:
        return false;
    }
    RemoveExceedResult(AList, FSumTubeAmount);
    return ok;
}

void TStrictTailPlace::GenerateRelatedIdxes(TNestResultList& ATailList, std::vector<std::int32_t>& AHeadRelated,
                                            std::vector<std::int32_t>& ARelated) {
    AHeadRelated.clear();
    std::size_t t = 0;
    const double gap = FParam.DefaultPartGap();
    for (int k = 0; k < ATailList.Count(); ++k) {
        TNestResult& r = ATailList[k];
        std::int32_t need = r.FTubeCount;
        const double cut = std::max(r.FLengthUsed, FParam.TailLength()) + gap;
        while (need > 0) {
            if (t >= FOtherTubes.size()) {
                // Out of tubes: only the copies not yet assigned go back to the spec parts; the
                // tubes already given to this segment keep it.
                for (const std::int32_t ref : r.FPartOrder) {
                    FSpecParts[Index(std::abs(ref) - 1)].FAmountAvail += need;
                }
                r.FTubeCount -= need;
                need = 0;
                break;
            }
            AHeadRelated.push_back(k);
            TGeneralNestTube& entry = FOtherTubes[t];
            const double shortened = std::max(0.0, entry.FTubeInitialLen - cut);
            if (need <= entry.FAmountAvail) {
                if (entry.FAmountAvail > need) {
                    TGeneralNestTube rest = entry;
                    rest.FAmountAvail = entry.FAmountAvail - need;
                    entry.FAmountAvail = need;
                    entry.FTubeInitialLen = shortened;
                    FOtherTubes.insert(FOtherTubes.begin() + static_cast<std::ptrdiff_t>(t) + 1, rest);
                    ARelated.insert(ARelated.begin() + static_cast<std::ptrdiff_t>(t) + 1, ARelated[t]);
                } else {
                    entry.FTubeInitialLen = shortened;
                }
                ++t;
                need = 0;
            } else {
                entry.FTubeInitialLen = shortened;
                need -= entry.FAmountAvail;
                ++t;
            }
        }
    }
}

void TStrictTailPlace::ConnectHeadTail(TNestResultList& AHeadList, TNestResultList& ATailList,
                                       const std::vector<std::int32_t>& AHeadRelated,
                                       const std::vector<std::int32_t>& ARelated) {
    const bool reverse = !FParam.DisableReverse();
    for (auto& h : AHeadList) {
        const std::int32_t entry = h->FTubeIndex - 1;
        if (entry < 0 || entry >= static_cast<std::int32_t>(AHeadRelated.size())) {
            continue;
        }
        TNestResult& s = ATailList[AHeadRelated[Index(entry)]];
        if (s.FTubeCount < h->FTubeCount || s.FPartOrder.empty()) {
            continue;
        }
        TIntDynArray head = h->FPartOrder;
        TIntDynArray tail = s.FPartOrder;
        TryOptimizePartPosofTwoOrder(head, tail, reverse);
        head.insert(head.end(), tail.begin(), tail.end());
        // Only DefaultPartGap was reserved at the junction; the real gap may be larger.
        if (!FitsTube(head, ARelated[Index(entry)] + 1)) {
            continue;
        }
        h->FPartOrder = std::move(head);
        RefreshResult(*h);
        s.FTubeCount -= h->FTubeCount;
    }
}

bool TStrictTailPlace::TryInsertSpecPart(std::int32_t APartIdx, std::int32_t& Amount, TNestResultList& AList) {
    bool any = false;
    const std::int32_t ref = APartIdx + 1;
    int i = 0;
    while (i < AList.Count() && Amount > 0) {
        TNestResult& r = AList[i];
        const double tube = TubeLength(r.FTubeIndex);
        TIntDynArray own = r.FPartOrder;
        own.push_back(ref);
        const double lenF = GetTotalLength(own);
        double lenR = lenF + 100.0;
        if (!FParam.DisableReverse()) {
            own.back() = -ref;
            lenR = GetTotalLength(own);
        }
        std::int32_t dir = 0;
        if (fSmall(lenF, lenR, 1e-6)) {
            dir = !fGreat(lenF, tube, 1e-6) ? 1 : 0;
        } else {
            dir = !fGreat(lenR, tube, 1e-6) ? -1 : 0;
        }
        if (dir == 0 || r.FTubeCount <= 0) {
            ++i;
            continue;
        }
        any = true;
        if (Amount < r.FTubeCount) {
            auto rest = r.Clone();
            rest->FTubeCount = r.FTubeCount - Amount;
            r.FTubeCount = Amount;
            r.FPartOrder.push_back(dir * ref);
            RefreshResult(r);
            Amount = 0;
            AList.Add(std::move(rest));
        } else {
            // Also when the amount equals the tube count: every tube takes one copy.
            r.FPartOrder.push_back(dir * ref);
            RefreshResult(r);
            Amount -= r.FTubeCount;
        }
    }
    return any;
}

void TStrictTailPlace::TryInsertAtTail(TNestResultList& AHeadList, const TNestResultList& ATailList) {
    std::vector<std::int32_t> left(FNestParts.size(), 0);
    for (const auto& s : ATailList) {
        if (s->FTubeCount <= 0) {
            continue;
        }
        for (const std::int32_t ref : s->FPartOrder) {
            left[Index(std::abs(ref) - 1)] += s->FTubeCount;
        }
    }
    for (std::size_t p = 0; p < left.size(); ++p) {
        if (left[p] > 0) {
            TryInsertSpecPart(static_cast<std::int32_t>(p), left[p], AHeadList);
        }
    }
}

void TStrictTailPlace::FillTube(TNestResultList& AList) {
    UpdateResultInfo(AList);
    TGeneralNestPartArr remaining = FNestParts;
    RemoveNestedParts(remaining, AList);
    const double gap = FParam.DefaultPartGap();
    TNestResultList filled;
    for (auto& r : AList) {
        if (Stopped() || !AnyAmount(remaining)) {
            filled.Add(std::move(r));
            continue;
        }
        const double free = TubeLength(r->FTubeIndex) - r->FLengthUsed - gap;
        if (free <= 0.0) {
            filled.Add(std::move(r));
            continue;
        }
        TGeneralNestTubeArr tube(1);
        tube[0].FTubeInitialLen = free;
        tube[0].FAmountAvail = r->FTubeCount;
        TNestResultList g;
        {
            TGeneralNestPartArr parts = remaining;
            for (auto& p : parts) {
                p.FAmountAvail = std::max(0, p.FAmountAvail);
            }
            TMultiTubeNestWrapper wrapper(parts, tube, FPartsCalInfo, FParam);
            wrapper.GreedyNest(g);
        }
        std::int32_t used = 0;
        for (const auto& front : g) {
            if (front->FTubeCount <= 0 || front->FPartOrder.empty() || used + front->FTubeCount > r->FTubeCount) {
                continue;
            }
            TIntDynArray order = front->FPartOrder;
            order.insert(order.end(), r->FPartOrder.begin(), r->FPartOrder.end());
            // The greedy reserved DefaultPartGap at the junction; keep only what really fits.
            if (!FitsTube(order, r->FTubeIndex)) {
                continue;
            }
            auto joined = std::make_unique<TNestResult>();
            joined->FTubeIndex = r->FTubeIndex;
            joined->FTubeCount = front->FTubeCount;
            joined->FPartOrder = std::move(order);
            RefreshResult(*joined);
            for (const std::int32_t ref : front->FPartOrder) {
                remaining[Index(std::abs(ref) - 1)].FAmountAvail -= front->FTubeCount;
            }
            used += front->FTubeCount;
            filled.Add(std::move(joined));
        }
        // Tubes the fill did not reach keep their pattern as it was.
        if (used < r->FTubeCount) {
            r->FTubeCount -= used;
            filled.Add(std::move(r));
        }
    }
    AList = std::move(filled);
}

void TStrictTailPlace::NestRemainParts(TNestResultList& AList) {
    TGeneralNestPartArr parts = FNestParts;
    TGeneralNestTubeArr tubes = FNestTubes;
    RemoveNestedParts(parts, AList);
    for (const auto& r : AList) {
        tubes[Index(r->FTubeIndex - 1)].FAmountAvail -= r->FTubeCount;
    }
    for (auto& p : parts) {
        p.FAmountAvail = std::max(0, p.FAmountAvail);
    }
    for (auto& t : tubes) {
        t.FAmountAvail = std::max(0, t.FAmountAvail);
    }
    MixedNest(parts, tubes, AList);
}

bool TStrictTailPlace::BuildSolution(TNestResultList& AList) {
    FSpecTube.clear();
    std::vector<std::int32_t> related;
    if (!InitializeSpecInfo(related)) {
        return false;
    }
    TNestResultList tail;
    if (!TryNestSpec(tail) || Stopped()) {
        return false;
    }
    RemoveNestedParts(FSpecParts, tail);
    std::vector<std::int32_t> headRelated;
    GenerateRelatedIdxes(tail, headRelated, related);
    for (std::size_t p = 0; p < FSpecParts.size(); ++p) {
        if (FSpecParts[p].FAmountAvail > 0) {
            FOtherParts[p].FAmountAvail += FSpecParts[p].FAmountAvail;
        }
    }
    // Entries that a tail segment used up whole cannot hold a head.
    TGeneralNestTubeArr heads = FOtherTubes;
    for (auto& t : heads) {
        if (t.FTubeInitialLen <= 0.0) {
            t.FAmountAvail = 0;
        }
    }
    TNestResultList head;
    if (!MixedNest(FOtherParts, heads, head) || Stopped()) {
        return false;
    }
    ConnectHeadTail(head, tail, headRelated, related);
    for (auto& h : head) {
        TUBENEST_ASSERT(h->FTubeIndex >= 1 && h->FTubeIndex <= static_cast<std::int32_t>(related.size()), kModule,
                        "head pattern on an unknown tube entry");
        h->FTubeIndex = related[Index(h->FTubeIndex - 1)] + 1;
    }
    TryInsertAtTail(head, tail);
    FillTube(head);
    NestRemainParts(head);
    for (auto& r : head) {
        AList.Add(std::move(r));
    }
    return true;
}

bool TStrictTailPlace::AcceptCandidate(const TNestResultList& ACandidate, const TNestResultList& ABaseline) const {
    std::vector<std::int64_t> parts(FNestParts.size(), 0);
    std::vector<std::int64_t> tubes(FNestTubes.size(), 0);
    std::int64_t copies = 0;
    std::int64_t tubeCount = 0;
    for (const auto& r : ACandidate) {
        if (!IsKnownResult(*r) || r->FTubeCount <= 0) {
            return false;
        }
        if (fGreat(GetTotalLength(r->FPartOrder), TubeLength(r->FTubeIndex), Nest_LengthOverflow)) {
            return false;
        }
        tubes[Index(r->FTubeIndex - 1)] += r->FTubeCount;
        tubeCount += r->FTubeCount;
        for (const std::int32_t ref : r->FPartOrder) {
            parts[Index(std::abs(ref) - 1)] += r->FTubeCount;
            copies += r->FTubeCount;
        }
    }
    for (std::size_t p = 0; p < parts.size(); ++p) {
        if (parts[p] > std::max(0, FNestParts[p].FAmountAvail)) {
            return false;
        }
    }
    for (std::size_t t = 0; t < tubes.size(); ++t) {
        if (tubes[t] > std::max(0, FNestTubes[t].FAmountAvail)) {
            return false;
        }
    }
    if (ABaseline.Empty()) {
        return true;
    }
    std::int64_t baseCopies = 0;
    std::int64_t baseTubes = 0;
    std::vector<std::int64_t> baseParts(FNestParts.size(), 0);
    for (const auto& r : ABaseline) {
        baseTubes += r->FTubeCount;
        baseCopies += static_cast<std::int64_t>(r->FPartOrder.size()) * r->FTubeCount;
        for (const std::int32_t ref : r->FPartOrder) {
            baseParts[Index(std::abs(ref) - 1)] += r->FTubeCount;
        }
    }
    // Every copy the list placed stays placed, part by part.
    for (std::size_t p = 0; p < parts.size(); ++p) {
        if (parts[p] < baseParts[p]) {
            return false;
        }
    }
    return copies >= baseCopies && tubeCount <= baseTubes &&
           CountQualifiedTubes(ACandidate) > CountQualifiedTubes(ABaseline);
}

bool TStrictTailPlace::RunTailPlace(TNestResultList& ANestResults) {
    if (Stopped()) {
        return false;
    }
    for (const auto& r : ANestResults) {
        if (!IsKnownResult(*r)) {
            return false; // split pieces or unknown tubes: not ours to rebuild
        }
    }
    TNestResultList candidate;
    if (!BuildSolution(candidate)) {
        return false;
    }
    if (!AcceptCandidate(candidate, ANestResults)) {
        return false;
    }
    ANestResults = std::move(candidate);
    return true;
}

bool TStrictTailPlace::TryStrictTailPlace(TQualifiedNestResultList& AResults) {
    TNestResultList fresh;
    if (!RunTailPlace(fresh)) {
        return false;
    }
    for (const auto& r : fresh) {
        auto q = std::make_unique<TQualifiedNestResult>(*r);
        QualifyResult(*q);
        AResults.push_back(std::move(q));
    }
    return true;
}

bool TStrictTailPlace::TryTailPlace(TNestResultList& ANestResults) {
    TNestResultList built = ANestResults;
    if (!RunTailPlace(built)) {
        return false;
    }
    TNestResultList out;
    for (const auto& r : built) {
        TQualifiedNestResult q(*r);
        QualifyResult(q);
        out.Add(QualifiedResulttoNestResult(q));
    }
    ANestResults = std::move(out);
    return true;
}

} // namespace tubenest
