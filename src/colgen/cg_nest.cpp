#include "colgen/cg_nest.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <numeric>
#include <stdexcept>
#include <string>
#include <utility>

#include "host/geometry.h"
#include "model/assertion.h"
#include "model/nest_progress.h"
#include "ordersearch/nest_adjust_tool.h"

namespace tubenest {
namespace {

constexpr const char* kModule = "UCGNest";
// A part overflows its tube when the length reaches past the tube by more than this.
constexpr double kOverflowAllowance = 0.001;
constexpr double kTolerance = 1e-6;

/// Longest used length first; equal lengths keep their order.
int ByLengthUsedDescending(const TNestResult& Left, const TNestResult& Right) {
    return Left.FLengthUsed > Right.FLengthUsed ? -1 : (Left.FLengthUsed < Right.FLengthUsed ? 1 : 0);
}

std::int64_t TubesOf(const TNestResultList& AList) {
    std::int64_t tubes = 0;
    for (const auto& r : AList) {
        tubes += r->FTubeCount;
    }
    return tubes;
}

void DeleteEmptyResults(TNestResultList& AList) {
    for (int i = AList.Count() - 1; i >= 0; --i) {
        if (AList[i].FPartOrder.empty() || AList[i].FTubeCount <= 0) {
            AList.Delete(i);
        }
    }
}

} // namespace

TColumnGenerationNest::TColumnGenerationNest(const TGeneralNestPartArr& AGNestParts,
                                             const TGeneralNestTubeArr& AGNestTubes,
                                             const TCADAutoNestParam& Param)
    : TNestBase(AGNestParts, AGNestTubes, Param) {}

double TColumnGenerationNest::OuterLength(std::int32_t ARef) const {
    return GetNestPartOuterLength(std::abs(ARef) - 1);
}

void TColumnGenerationNest::UpdateNestResultInfo(TNestResult& ANestResult) const {
    Gaps().UpdateNestResultInfo(ANestResult, FGNestParts);
}

bool TColumnGenerationNest::FitsAtEnd(const TNestResult& AResult, std::int32_t ARef,
                                      double ATubeLength) const {
    if (AResult.FPartOrder.empty()) {
        return false;
    }
    return ATubeLength - AResult.FLengthUsed >
           Gaps().GetGap(AResult.FPartOrder.back(), ARef) + OuterLength(ARef);
}

void TColumnGenerationNest::AppendPart(TNestResult& AResult, std::int32_t ARef) const {
    const TNestBaseInfo info = Gaps().GetA1B1Info(AResult.FPartOrder.back(), ARef);
    AResult.FPartPlaceData.push_back(info);
    AResult.FLengthUsed += info.FixedGap + OuterLength(ARef);
    AResult.FPartOrder.push_back(ARef);
}

double TColumnGenerationNest::PartAllowance(const TSegPlaceInfoManager& AGaps,
                                            const TCADAutoNestParam& AParam) {
    double e = 0.0;
    for (std::int32_t i = 0; i < AGaps.FPartCount; ++i) {
        for (std::int32_t j = 0; j <= i; ++j) {
            NextProcess();
            // The four records of cell [i][j] (part i + 1 is part 1 of the pair).
            const std::int32_t p1 = i + 1;
            const std::int32_t p2 = j + 1;
            const TNestBaseInfo records[] = {AGaps.GetA1B1Info(p1, p2), AGaps.GetA1B1Info(-p1, -p2),
                                             AGaps.GetA1B1Info(p1, -p2), AGaps.GetA1B1Info(-p1, p2)};
            if (std::any_of(std::begin(records), std::end(records),
                            [](const TNestBaseInfo& r) { return !r.IsCommon; })) {
                e = AParam.DefaultPartGap();
                break;
            }
            for (const auto& r : records) {
                if (r.Caled) {
                    e = std::max(e, r.FixedGap);
                }
            }
        }
    }
    return e;
}

TIntDynArray TColumnGenerationNest::OrderParts(const TIntDynArray& AParts, const TIntDynArray& ACopies) {
    TUBENEST_ASSERT(AParts.size() == ACopies.size(), kModule, "parts and copies differ in number");
    TIntDynArray chain;
    if (AParts.size() == 1) {
        chain = AParts;
    } else if (!AParts.empty()) {
        if (FGapLengths.size() < static_cast<std::size_t>(Gaps().FPartCount)) {
            // Called outside a run: the parts count for their own lengths (only the chain is used).
            FGapLengths.assign(static_cast<std::size_t>(Gaps().FPartCount), 0.0);
            for (std::size_t i = 0; i < FGNestParts.size() && i < FGapLengths.size(); ++i) {
                FGapLengths[i] = FGNestParts[i].FOuterlength;
            }
        }
        Gaps().CalcMinLen(AParts, ACopies, &chain, FGapLengths);
    }
    TUBENEST_ASSERT(chain.size() == AParts.size(), kModule, "the chain of a result lost a part");
    TIntDynArray order;
    for (const std::int32_t idx : chain) {
        const auto at =
            static_cast<std::size_t>(std::find(AParts.begin(), AParts.end(), idx) - AParts.begin());
        TUBENEST_ASSERT(at < AParts.size(), kModule, "the chain of a result holds a part it was not given");
        const std::int32_t copies = ACopies[at];
        const std::int32_t p = idx + 1;
        const TSinglePartGap& run = Gaps().FSinglePartGaps.at(static_cast<std::size_t>(idx));
        const bool alternate = copies >= 2 && !fEqual(run.FPartGapPair, run.FPartGapSingle, kTolerance);
        for (std::int32_t c = 0; c < copies; ++c) {
            order.push_back(alternate && c % 2 == 0 ? -p : p);
        }
    }
    return order;
}

void TColumnGenerationNest::CGResultToNestResult(std::int32_t ATubeIdx, std::int32_t ATubeAmount,
                                                 TColGenResult& ColGenResult, const TNestDataList& ANestDatas,
                                                 TColGenData& AColGenData, TNestResultList& ANestResults) {
    const std::size_t n = ANestDatas.size();
    TUBENEST_ASSERT(static_cast<std::size_t>(AColGenData.FPartCount) == n, kModule,
                    "the problem and the data list differ in parts");
    TUBENEST_ASSERT(ColGenResult.Solutions.size() == ColGenResult.SolutionAmount.size(), kModule,
                    "solution arrays differ in length");
    std::int64_t limit = ATubeAmount;
    std::vector<std::int64_t> produced(n, 0);
    auto lowerDemand = [&](std::size_t k, std::int64_t copies) {
        produced[k] += copies;
        std::int32_t& demand = AColGenData.FPartAmounts[k];
        demand = static_cast<std::int32_t>(std::max<std::int64_t>(0, demand - copies));
    };
    // A result of the given copies per part of the problem.
    auto makeResult = [&](std::int32_t ACount, const std::vector<std::int64_t>& ACopies) {
        auto r = std::make_unique<TNestResult>();
        r->FTubeIndex = ATubeIdx + 1;
        r->FTubeCount = ACount;
        TIntDynArray parts;
        TIntDynArray copies;
        for (std::size_t k = 0; k < n; ++k) {
            if (ACopies[k] > 0) {
                parts.push_back(ANestDatas[k].OriIndex);
                copies.push_back(static_cast<std::int32_t>(ACopies[k]));
            }
        }
        r->FPartOrder = OrderParts(parts, copies);
        UpdateNestResultInfo(*r);
        return r;
    };

    for (std::size_t j = 0; j < ColGenResult.Solutions.size() && limit >= 1; ++j) {
        std::int32_t& amount = ColGenResult.SolutionAmount[j];
        const TIntDynArray& a = ColGenResult.Solutions[j];
        TUBENEST_ASSERT(a.size() == n, kModule, "a pattern does not match the part count");
        if (amount <= 0 || std::any_of(a.begin(), a.end(), [](std::int32_t v) { return v < 0; }) ||
            std::all_of(a.begin(), a.end(), [](std::int32_t v) { return v == 0; })) {
            continue; // no tubes, a surplus column or an empty pattern
        }
        std::int64_t count = std::min<std::int64_t>(amount, limit);
        // Split off tubes that carry fewer copies while the pattern would over-produce.
        while (count > 0) {
            std::int64_t c = std::numeric_limits<std::int64_t>::max();
            for (std::size_t k = 0; k < n; ++k) {
                if (a[k] > 0) {
                    const std::int64_t over = produced[k] + a[k] * count - ANestDatas[k].PartAmount;
                    if (over > 0) {
                        c = std::min(c, (over + a[k] - 1) / a[k]);
                    }
                }
            }
            if (c == std::numeric_limits<std::int64_t>::max()) {
                break;
            }
            c = std::clamp<std::int64_t>(c, 1, count);
            count -= c;
            limit -= c;
            std::vector<std::int64_t> copies(n, 0);
            for (std::size_t k = 0; k < n; ++k) {
                if (a[k] > 0) {
                    copies[k] =
                        std::min<std::int64_t>(a[k], ANestDatas[k].PartAmount - a[k] * count - produced[k]);
                }
            }
            for (std::size_t k = 0; k < n; ++k) {
                if (copies[k] > 0) {
                    lowerDemand(k, copies[k] * c);
                }
            }
            amount -= static_cast<std::int32_t>(c);
            if (std::any_of(copies.begin(), copies.end(), [](std::int64_t q) { return q > 0; })) {
                ANestResults.Add(makeResult(static_cast<std::int32_t>(c), copies));
            }
        }
        if (count > 0) {
            std::vector<std::int64_t> copies(n, 0);
            for (std::size_t k = 0; k < n; ++k) {
                copies[k] = std::max(0, a[k]);
                if (copies[k] > 0) {
                    lowerDemand(k, copies[k] * count);
                }
            }
            ANestResults.Add(makeResult(static_cast<std::int32_t>(count), copies));
            amount -= static_cast<std::int32_t>(count);
            limit -= count;
        }
    }
}

void TColumnGenerationNest::TryInsertMorePart(TNestResultList& ANestResults, const TNestDataList& ANestDatas,
                                              const TPartDictionary& ADictionary, TColGenData& AColGenData) {
    const double tube = AColGenData.TubeLength() - FStatistics.PartAllowance; // the real tube
    TUBENEST_ASSERT(static_cast<std::size_t>(AColGenData.FPartCount) == ANestDatas.size(), kModule,
                    "the problem and the data list differ in parts");
    std::vector<TPending> pending;

    // Parts that reach past the tube come out, with all parts after them.
    for (auto& r : ANestResults) {
        TIntDynArray& order = r->FPartOrder;
        if (order.empty()) {
            continue;
        }
        std::size_t cut = order.size();
        double length = OuterLength(order[0]);
        if (fGreat(length, tube + kOverflowAllowance, kTolerance)) {
            cut = 0;
        } else {
            for (std::size_t k = 1; k < order.size(); ++k) {
                const double next = length + Gaps().GetGap(order[k - 1], order[k]) + OuterLength(order[k]);
                if (fGreat(next, tube + kOverflowAllowance, kTolerance)) {
                    cut = k;
                    break;
                }
                length = next;
            }
        }
        if (cut < order.size()) {
            for (std::size_t k = cut; k < order.size(); ++k) {
                pending.push_back(TPending{OuterLength(order[k]), r->FTubeCount, std::abs(order[k]) - 1});
            }
            order.resize(cut);
            UpdateNestResultInfo(*r);
        }
    }
    // The demand still open.
    for (std::size_t k = 0; k < ANestDatas.size(); ++k) {
        std::int32_t& demand = AColGenData.FPartAmounts[k];
        if (demand > 0) {
            pending.push_back(
                TPending{GetNestPartOuterLength(ANestDatas[k].OriIndex), demand, ANestDatas[k].OriIndex});
            demand = 0;
        }
    }
    DeleteEmptyResults(ANestResults);
    ANestResults.Sort(ByLengthUsedDescending);
    std::stable_sort(pending.begin(), pending.end(),
                     [](const TPending& x, const TPending& y) { return x.Length > y.Length; });

    // Each pending part goes to the ends of the results while it fits and copies are left; a result
    // with more tubes than copies left splits, and the split-off clone (placed before it, so the
    // result itself comes next in the walk) takes the part.
    for (int i = 0; i < ANestResults.Count(); ++i) {
        for (auto& p : pending) {
            const std::int32_t ref = p.Index + 1;
            while (p.Amount > 0 && FitsAtEnd(ANestResults[i], ref, tube)) {
                if (ANestResults[i].FTubeCount > p.Amount) {
                    auto clone = ANestResults[i].Clone();
                    clone->FTubeCount = p.Amount;
                    ANestResults[i].FTubeCount -= p.Amount;
                    ANestResults.Insert(i, std::move(clone));
                }
                AppendPart(ANestResults[i], ref);
                p.Amount -= ANestResults[i].FTubeCount;
            }
        }
    }
    std::erase_if(pending, [](const TPending& p) { return p.Amount <= 0; });
    if (!pending.empty()) {
        for (const auto& p : pending) {
            const auto it = ADictionary.find(p.Index);
            TUBENEST_ASSERT(it != ADictionary.end(), kModule,
                            "part " + std::to_string(p.Index + 1) + " is not in the pass's problem");
            AColGenData.FPartAmounts[static_cast<std::size_t>(it->second)] += p.Amount;
        }
        return;
    }
    Compact(ANestResults, tube);
}

void TColumnGenerationNest::Compact(TNestResultList& ANestResults, double ATubeLength) {
    // Consolidation: parts of later results move to the ends of earlier ones; tube counts are made
    // equal by splitting first. Every result keeps at least one tube, so the list never grows past
    // the tubes of the pass and the walk ends.
    ANestResults.Sort(ByLengthUsedDescending);
    for (int i = 0; i + 1 < ANestResults.Count(); ++i) {
        if (ANestResults[i].FPartOrder.empty()) {
            continue;
        }
        int receiverSplits = 0; // clones of the receiver inserted at i; the earlier ones follow it
        for (int k = ANestResults.Count() - 1; k > i + receiverSplits; --k) {
            if (ANestResults[k].FPartOrder.empty()) {
                continue;
            }
            int giver = k;
            bool gave = false;
            bool shifted = false;
            for (int m = static_cast<int>(ANestResults[giver].FPartOrder.size()) - 1; m >= 0; --m) {
                const std::int32_t ref = ANestResults[giver].FPartOrder[static_cast<std::size_t>(m)];
                if (!FitsAtEnd(ANestResults[i], ref, ATubeLength)) {
                    continue;
                }
                const std::int32_t have = ANestResults[i].FTubeCount;
                const std::int32_t give = ANestResults[giver].FTubeCount;
                bool split = false;
                if (have < give) {
                    auto clone = ANestResults[giver].Clone();
                    clone->FTubeCount = have;
                    ANestResults[giver].FTubeCount -= have;
                    ANestResults.Insert(giver, std::move(clone));
                    split = true;
                } else if (have > give) {
                    auto clone = ANestResults[i].Clone();
                    clone->FTubeCount = give;
                    ANestResults[i].FTubeCount -= give;
                    ANestResults.Insert(i, std::move(clone));
                    ++receiverSplits;
                    ++giver;
                    shifted = true;
                    split = true;
                }
                AppendPart(ANestResults[i], ref);
                TIntDynArray& from = ANestResults[giver].FPartOrder;
                from.erase(from.begin() + m);
                gave = true;
                if (split) {
                    break;
                }
            }
            if (gave) {
                UpdateNestResultInfo(ANestResults[giver]);
            }
            if (shifted) {
                k = giver; // everything from i on moved up by one; the next giver is below the old k
            }
        }
    }
    DeleteEmptyResults(ANestResults);
    ANestResults.Sort(ByLengthUsedDescending);

    // Emptying single tubes: a tube whose parts all fit at the ends of other tubes is not needed.
    const std::int64_t tubes = TubesOf(ANestResults);
    if (tubes > kSingleTubeLimit) {
        ++FStatistics.SingleTubeLimitHit;
        TNestAdjustTool::MergeSameResults(ANestResults);
        return;
    }
    std::vector<std::unique_ptr<TNestResult>> singles;
    singles.reserve(static_cast<std::size_t>(tubes));
    for (const auto& r : ANestResults) {
        for (std::int32_t c = 0; c < r->FTubeCount; ++c) {
            auto single = r->Clone();
            single->FTubeCount = 1;
            singles.push_back(std::move(single));
        }
    }
    std::reverse(singles.begin(), singles.end());
    struct TMove {
        std::size_t To;
        double LengthBefore;
    };
    std::vector<TMove> moves;
    for (std::size_t t = singles.size(); t-- > 0;) {
        if (StopRequested()) {
            break;
        }
        moves.clear();
        bool all = true;
        const TIntDynArray& parts = singles[t]->FPartOrder;
        for (std::size_t m = parts.size(); m-- > 0;) {
            std::size_t to = singles.size();
            for (std::size_t u = 0; u < singles.size(); ++u) {
                if (u != t && FitsAtEnd(*singles[u], parts[m], ATubeLength)) {
                    to = u;
                    break;
                }
            }
            if (to == singles.size()) {
                all = false;
                break;
            }
            moves.push_back(TMove{to, singles[to]->FLengthUsed});
            AppendPart(*singles[to], parts[m]);
        }
        if (all) {
            singles.erase(singles.begin() + static_cast<std::ptrdiff_t>(t));
        } else {
            for (auto it = moves.rbegin(); it != moves.rend(); ++it) {
                TNestResult& back = *singles[it->To];
                back.FPartOrder.pop_back();
                back.FPartPlaceData.pop_back();
                back.FLengthUsed = it->LengthBefore;
            }
        }
    }
    if (static_cast<std::int64_t>(singles.size()) < tubes) {
        ANestResults.Clear();
        for (auto& s : singles) {
            ANestResults.Add(std::move(s));
        }
    }
    TNestAdjustTool::MergeSameResults(ANestResults);
}

void TColumnGenerationNest::RaiseLowerBound(const TBranchAndPriceCG& ASolver, const TColGenData& AData,
                                            double ATubeLength) {
    std::vector<double> duals(FGNestParts.size(), 0.0);
    const TExtendedDynArray& pi = ASolver.Solver().SimplexMul();
    for (std::size_t k = 0; k < pi.size() && k < AData.FPartOriIndexs.size(); ++k) {
        duals[static_cast<std::size_t>(AData.FPartOriIndexs[k])] = pi[k];
    }
    // With no negative gap anywhere and an allowance of at least the smallest gap, every pattern
    // of this problem is one of the bound's relaxed problem (k (l + e) <= L + e gives
    // k (l + g) <= L + g, no run shortened, no overlap step); with the same tube and the same demand
    // the relaxed optimum is then at most this basis's value, and the bound's own column generation
    // could not do better.
    double ceiling = std::numeric_limits<double>::infinity();
    const TColGenData* relaxed = FLowerBound->Data();
    double managerMax = 0.0;
    double managerMin = 0.0;
    Gaps().GetMaxMinGap(managerMax, managerMin);
    if (relaxed != nullptr && managerMin >= 0.0 && FStatistics.PartAllowance >= FLowerBound->MinGap() &&
        ATubeLength == FLowerBound->TubeLength() &&
        ASolver.Statistics().StopReason != TColGenStopReason::Stopped) {
        const auto sum = [](const TIntDynArray& a) {
            return std::accumulate(a.begin(), a.end(), std::int64_t{0});
        };
        if (sum(AData.FPartAmounts) == sum(relaxed->FPartAmounts)) {
            // With every gap equal to the allowance the relaxed problem is this one (up to its
            // 0.001 mm): solving it again would only repeat this solve, however that ended.
            const bool same = managerMin == managerMax && FStatistics.PartAllowance == managerMin;
            ceiling = same ? 0.0 : ASolver.Statistics().LPValue;
        }
    }
    FLowerBound->AddDuals(duals, ceiling);
}

std::int64_t TColumnGenerationNest::RunPass(std::int32_t ATubeIdx, std::int32_t AFree,
                                            TNestDataList& ARemaining, TNestResultList& NestResult,
                                            bool AFirstOfEntry, bool& ALeaveEntry) {
    const double tube = GetTubeInitialLen(ATubeIdx + 1);
    // The pass's parts: those with demand that fit this tube; the demand is the snapshot the
    // over-production test reads.
    TNestDataList datas;
    TPartDictionary dictionary;
    std::vector<std::size_t> source;
    for (std::size_t r = 0; r < ARemaining.size(); ++r) {
        const TNestData& d = ARemaining[r];
        if (d.PartAmount > 0 && !fGreat(GetNestPartOuterLength(d.OriIndex), tube, kTolerance)) {
            dictionary[d.OriIndex] = static_cast<std::int32_t>(datas.size());
            datas.push_back(TNestData{d.PartLength, d.PartAmount, d.OriIndex});
            source.push_back(r);
        }
    }
    if (datas.empty()) {
        ALeaveEntry = true;
        return 0;
    }
    // k parts in a tube have k - 1 neighbours: the tube carries one allowance as well.
    TColGenData data(static_cast<std::int32_t>(datas.size()));
    data.FTubeLengths[0] = tube + FStatistics.PartAllowance;
    data.FPartGapTable = &Gaps();
    for (std::size_t k = 0; k < datas.size(); ++k) {
        data.FPartLengths[k] = datas[k].PartLength;
        data.FPartAmounts[k] = datas[k].PartAmount;
        data.FPartOriIndexs[k] = datas[k].OriIndex;
    }

    ++FStatistics.Passes;
    TColGenResult solved;
    TBranchAndPriceCG solver(data);
    try {
        solver.DoSolve(solved);
    } catch (const std::runtime_error&) {
        // The pricing table of this tube would be too large: the entry is left as one that yields
        // no pattern, and what it would have taken is nested by later entries or the adjustment.
        ++FStatistics.LeftTooLarge;
        ALeaveEntry = true;
        return 0;
    }
    if (AFirstOfEntry && FLowerBound != nullptr) {
        RaiseLowerBound(solver, data, tube);
    }
    if (solved.UsedAmount == 0) {
        ALeaveEntry = true;
        return 0;
    }
    TColGenResult optimised;
    TCGResultOptimizer::OptimizeCGResult(solved, data, optimised);
    TNestResultList results;
    CGResultToNestResult(ATubeIdx, AFree, optimised, datas, data, results);
    TryInsertMorePart(results, datas, dictionary, data);
    DeleteEmptyResults(results);

    for (std::size_t k = 0; k < datas.size(); ++k) {
        ARemaining[source[k]].PartAmount = data.FPartAmounts[k];
    }
    const std::int64_t used = TubesOf(results);
    TUBENEST_ASSERT(used <= AFree, kModule, "a pass cut more tubes than were free");
    for (auto& r : results) {
        NestResult.Add(std::move(r));
    }
    ALeaveEntry = used == 0;
    return used;
}

void TColumnGenerationNest::GetLeastTubeResult(TNestResultList& NestResult) {
    NestResult.Clear();
    FStatistics = TCGNestStatistics{};
    const TSegPlaceInfoManager& gaps = Gaps();
    const auto parts = static_cast<std::size_t>(GetNestPartsCount());
    if (gaps.FPartCount < static_cast<std::int32_t>(parts) ||
        gaps.FSinglePartGaps.size() != static_cast<std::size_t>(gaps.FPartCount) ||
        gaps.FPartToPartConnectParams.size() != static_cast<std::size_t>(gaps.FPartCount)) {
        throw std::invalid_argument("column generation nest: the gap manager covers " +
                                    std::to_string(gaps.FPartCount) + " parts of " + std::to_string(parts) +
                                    " or its run patterns are not derived (InitializePartGaps)");
    }
    const double e = PartAllowance(gaps, FNestParam);
    FStatistics.PartAllowance = e;

    FGapLengths.assign(static_cast<std::size_t>(gaps.FPartCount), 0.0);
    TNestDataList remaining;
    for (std::size_t i = 0; i < parts; ++i) {
        const double length = GetNestPartOuterLength(static_cast<std::int32_t>(i)) + e;
        FGapLengths[i] = length;
        const std::int32_t amount = GetNestPartAmountAvail(static_cast<std::int32_t>(i));
        if (amount > 0) {
            remaining.push_back(TNestData{length, amount, static_cast<std::int32_t>(i)});
        }
    }
    std::stable_sort(remaining.begin(), remaining.end(),
                     [](const TNestData& x, const TNestData& y) { return x.PartLength > y.PartLength; });
    auto demandLeft = [&remaining] {
        return std::any_of(remaining.begin(), remaining.end(),
                           [](const TNestData& d) { return d.PartAmount > 0; });
    };

    for (std::int32_t t = 0; t < GetNestTubesCount() && demandLeft(); ++t) {
        std::int64_t free = GetNestTubeAmountAvail(t);
        bool first = true;
        while (free > 0 && demandLeft()) {
            NextProcess();
            bool leave = false;
            free -= RunPass(t, static_cast<std::int32_t>(free), remaining, NestResult, first, leave);
            first = false;
            if (leave) {
                break;
            }
        }
    }

    // The part order of every tube, improved where that frees length.
    const bool disableReverse = FNestParam.DisableReverse();
    for (auto& r : NestResult) {
        if (GetStopped()) {
            break;
        }
        const double tube = GetTubeInitialLen(r->FTubeIndex);
        double free = tube - r->FLengthUsed;
        TIntDynArray order = r->FPartOrder;
        if (TNestAdjustTool::TryOptimizePartPos(order, gaps, tube, free, disableReverse)) {
            r->FPartOrder = std::move(order);
            r->FLengthUsed = tube - free;
            UpdateNestResultInfo(*r);
        }
    }
}

} // namespace tubenest
