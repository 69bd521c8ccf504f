#include "tailplace/tail_place.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>
#include <utility>

#include "host/geometry.h"
#include "ordersearch/nest_adjust_tool.h"

namespace tubenest {

namespace {

int Sign(double v) { return v > 0.0 ? 1 : (v < 0.0 ? -1 : 0); }

} // namespace

// ---- Economical strategy ----------------------------------------------------------------------

int TEcoTailPlace::SortbySpecLen(const TQualifiedNestResult& Left, const TQualifiedNestResult& Right) {
    const int bySpec = Sign(Right.SpecLen - Left.SpecLen);
    if (bySpec != 0) {
        return bySpec;
    }
    return Sign((Right.SpecLen + Right.Remnant) - (Left.SpecLen + Left.Remnant));
}

bool TEcoTailPlace::TryTailPlace(TNestResultList& ANestResults) {
    TQualifiedNestResultList qualified;
    TQualifiedNestResultList unqualified;
    bool stopped = false;
    for (const auto& r : ANestResults) {
        auto q = std::make_unique<TQualifiedNestResult>(*r);
        if (!stopped && Stopped()) {
            stopped = true;
        }
        if (stopped) {
            // Left exactly as it was, flag included.
            q->IsQualified = r->FIsTailPlacedQualified;
            unqualified.push_back(std::move(q));
            continue;
        }
        if (QualifyResult(*q)) {
            qualified.push_back(std::move(q));
        } else {
            unqualified.push_back(std::move(q));
        }
    }
    bool changed = !qualified.empty();
    if (!stopped && !unqualified.empty() && !Stopped()) {
        changed = TryArrangeResults(qualified, unqualified) || changed;
    }
    if (changed) {
        TNestResultList out;
        for (const auto& q : qualified) {
            out.Add(QualifiedResulttoNestResult(*q));
        }
        for (const auto& q : unqualified) {
            if (IsKnownResult(*q->NestResult)) {
                out.Add(QualifiedResulttoNestResult(*q));
            } else {
                out.AddClone(*q->NestResult);
            }
        }
        ANestResults = std::move(out);
    }
    return changed;
}

bool TEcoTailPlace::TryArrangeResults(TQualifiedNestResultList& AQualified, TQualifiedNestResultList& AUnqualified) {
    if (Stopped()) {
        return false;
    }
    std::stable_sort(AUnqualified.begin(), AUnqualified.end(),
                     [](const auto& a, const auto& b) { return SortbySpecLen(*a, *b) < 0; });
    // Keys: unqualified entry i is -(i + 1), qualified entry i is i + 1. Entries are held by
    // unique_ptr, so the pointers in the map stay valid while the lists grow.
    std::map<int, TQualifiedNestResult*> byKey;
    std::vector<int> keys;
    for (std::size_t i = 0; i < AUnqualified.size(); ++i) {
        const int key = -static_cast<int>(i + 1);
        keys.push_back(key);
        byKey[key] = AUnqualified[i].get();
    }
    for (std::size_t i = 0; i < AQualified.size(); ++i) {
        const int key = static_cast<int>(i + 1);
        keys.push_back(key);
        byKey[key] = AQualified[i].get();
    }
    std::stable_sort(keys.begin(), keys.end(),
                     [&byKey](int a, int b) { return byKey.at(a)->OverThreshold > byKey.at(b)->OverThreshold; });

    auto addEntry = [&](std::unique_ptr<TQualifiedNestResult> entry) {
        int key = 0;
        TQualifiedNestResult* raw = entry.get();
        if (entry->IsQualified) {
            AQualified.push_back(std::move(entry));
            key = static_cast<int>(AQualified.size());
        } else {
            AUnqualified.push_back(std::move(entry));
            key = -static_cast<int>(AUnqualified.size());
        }
        keys.push_back(key);
        byKey[key] = raw;
    };

    // Pairs of patterns whose exchange failed once fail again: remember them.
    std::set<std::pair<TIntDynArray, TIntDynArray>> failed;
    bool any = false;
    const std::size_t initial = AUnqualified.size();
    for (std::size_t idx = 0; idx < initial; ++idx) {
        if (Stopped()) {
            break;
        }
        TQualifiedNestResult* cur = AUnqualified[idx].get();
        const int curKey = -static_cast<int>(idx + 1);
        for (std::size_t w = 0; w < keys.size(); ++w) {
            if (cur->IsQualified || Stopped()) {
                break;
            }
            if (keys[w] == curKey) {
                continue;
            }
            TQualifiedNestResult* other = byKey.at(keys[w]);
            if (other->NestResult->FTubeIndex != cur->NestResult->FTubeIndex || other->NestResult->FTubeCount <= 0 ||
                cur->NestResult->FTubeCount <= 0) {
                continue;
            }
            auto pairKey = std::make_pair(cur->NestResult->FPartOrder, other->NestResult->FPartOrder);
            if (failed.count(pairKey) != 0) {
                continue;
            }
            auto a = cur->Clone();
            auto b = other->Clone();
            if (!TryExchange(*a, *b)) {
                failed.insert(std::move(pairKey));
                continue;
            }
            any = true;
            const std::int32_t c1 = cur->NestResult->FTubeCount;
            const std::int32_t c2 = other->NestResult->FTubeCount;
            if (c1 > c2) {
                cur->NestResult->FTubeCount = c1 - c2;
                a->NestResult->FTubeCount = c2;
                other->Assign(*b);
                addEntry(std::move(a));
            } else if (c1 == c2) {
                cur->Assign(*a);
                other->Assign(*b);
            } else {
                other->NestResult->FTubeCount = c2 - c1;
                b->NestResult->FTubeCount = c1;
                cur->Assign(*a);
                addEntry(std::move(b));
            }
        }
    }
    return any;
}

bool TEcoTailPlace::TryExchange(TQualifiedNestResult& A, TQualifiedNestResult& B) {
    if (!fGreat(A.SpecLen + A.Remnant + B.SpecLen + B.Remnant, 2.0 * FParam.TailLength(), 1e-6)) {
        return false;
    }
    if (!IsKnownResult(*A.NestResult) || !IsKnownResult(*B.NestResult)) {
        return false;
    }
    const std::int32_t countA = A.NestResult->FTubeCount;
    const std::int32_t countB = B.NestResult->FTubeCount;
    TQualifiedNestResultList list;
    list.push_back(A.Clone());
    list.back()->NestResult->FTubeCount = 1;
    list.push_back(B.Clone());
    list.back()->NestResult->FTubeCount = 1;
    if (!TryExchangeByStrictTailPlace(list) || list.empty()) {
        return false;
    }
    // Exactly the two tubes: a one-tube answer handed to both A and B would duplicate its copies.
    std::int64_t tubes = 0;
    for (const auto& q : list) {
        tubes += q->NestResult->FTubeCount;
    }
    if (tubes != 2 || (list.size() == 1 && list.front()->NestResult->FTubeCount != 2)) {
        return false;
    }
    A.Assign(*list.front());
    A.NestResult->FTubeCount = countA;
    B.Assign(*list.back());
    B.NestResult->FTubeCount = countB;
    return true;
}

bool TEcoTailPlace::TryExchangeByStrictTailPlace(TQualifiedNestResultList& AList) {
    std::vector<std::int32_t> partUse(FNestParts.size(), 0);
    std::vector<std::int32_t> tubeUse(FNestTubes.size(), 0);
    std::int64_t tubes = 0;
    std::int64_t qualifiedTubes = 0;
    for (const auto& q : AList) {
        const TNestResult& r = *q->NestResult;
        if (!IsKnownResult(r)) {
            return false;
        }
        tubes += r.FTubeCount;
        tubeUse[static_cast<std::size_t>(r.FTubeIndex - 1)] += r.FTubeCount;
        if (q->IsQualified) {
            qualifiedTubes += r.FTubeCount;
        }
        for (const std::int32_t ref : r.FPartOrder) {
            partUse[static_cast<std::size_t>(std::abs(ref) - 1)] += r.FTubeCount;
        }
    }
    TGeneralNestPartArr parts = FNestParts;
    TGeneralNestTubeArr tubeArr = FNestTubes;
    for (std::size_t p = 0; p < parts.size(); ++p) {
        parts[p].FAmountAvail = partUse[p];
    }
    for (std::size_t t = 0; t < tubeArr.size(); ++t) {
        tubeArr[t].FAmountAvail = tubeUse[t];
    }
    TStrictTailPlace strict(parts, tubeArr, FParam, FPartsCalInfo);
    strict.SetDeadline(FDeadline);
    strict.SetUseBCP(false);
    AList.clear();
    if (!strict.TryStrictTailPlace(AList)) {
        return false;
    }
    std::vector<std::int32_t> newUse(FNestParts.size(), 0);
    std::int64_t newTubes = 0;
    std::int64_t newQualified = 0;
    for (const auto& q : AList) {
        const TNestResult& r = *q->NestResult;
        newTubes += r.FTubeCount;
        if (q->IsQualified) {
            newQualified += r.FTubeCount;
        }
        for (const std::int32_t ref : r.FPartOrder) {
            newUse[static_cast<std::size_t>(std::abs(ref) - 1)] += r.FTubeCount;
        }
    }
    // Every copy kept, part by part, not only in total.
    return newUse == partUse && newTubes <= tubes && newQualified > qualifiedTubes;
}

// ---- Economical, then strict -----------------------------------------------------------------

bool TTailPlace::TryTailPlace(TNestResultList& ANestResults) {
    for (const auto& r : ANestResults) {
        if (!IsKnownResult(*r)) {
            return false; // split pieces or unknown tubes: nothing is measured or moved
        }
    }
    TNestResultList clone = ANestResults;
    bool changed = false;
    {
        TEcoTailPlace eco(FNestParts, FNestTubes, FParam, FPartsCalInfo);
        eco.SetDeadline(FDeadline);
        changed = eco.TryTailPlace(clone);
    }
    const bool anyUnqualified = std::any_of(clone.begin(), clone.end(),
                                            [](const auto& r) { return !r->FIsTailPlacedQualified; });
    if (FParam.TailPlaceStrategy() == 0 && anyUnqualified && !Stopped()) {
        TStrictTailPlace strict(FNestParts, FNestTubes, FParam, FPartsCalInfo);
        strict.SetDeadline(FDeadline);
        changed = strict.RunTailPlace(clone) || changed;
    }
    TNestAdjustTool::MergeSameResults(clone);
    // Every flag goes with the order that earned it.
    for (auto& r : clone) {
        TQualifiedNestResult q(*r);
        if (QualifyResult(q)) {
            r->FPartOrder = q.NestResult->FPartOrder;
            RefreshResult(*r);
            r->FIsTailPlacedQualified = true;
        } else {
            RefreshResult(*r);
            r->FIsTailPlacedQualified = false;
        }
    }
    ANestResults = std::move(clone);
    return changed;
}

} // namespace tubenest
