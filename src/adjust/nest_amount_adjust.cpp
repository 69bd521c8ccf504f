// The adjust tool's amount adjustment: surplus copies out, missing copies nested by the greedy
// method through the multi-tube wrapper. It runs a method, so it lives above the methods.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>

#include "adjust/multi_tube_nest_wrapper.h"
#include "model/assertion.h"
#include "ordersearch/nest_adjust_tool.h"

namespace tubenest {
namespace {

constexpr const char* kModule = "uNestAdjustTool";

/// Subtracts what AList nests from the amounts of AParts and ATubes.
void Subtract(const TNestResultList& AList, TGeneralNestPartArr& AParts, TGeneralNestTubeArr& ATubes) {
    for (const auto& r : AList) {
        TUBENEST_ASSERT(
            r->FTubeIndex >= 1 && static_cast<std::size_t>(r->FTubeIndex) <= ATubes.size(), kModule,
            "tube index " + std::to_string(r->FTubeIndex) + " outside 1.." + std::to_string(ATubes.size()));
        ATubes[static_cast<std::size_t>(r->FTubeIndex - 1)].FAmountAvail -= r->FTubeCount;
        for (const std::int32_t ref : r->FPartOrder) {
            const auto part = static_cast<std::size_t>(std::abs(static_cast<std::int64_t>(ref)));
            TUBENEST_ASSERT(part >= 1 && part <= AParts.size(), kModule,
                            "part reference " + std::to_string(ref) + " outside the part array");
            AParts[part - 1].FAmountAvail -= r->FTubeCount;
        }
    }
}

/// Copies placed by a list, counting every tube of every pattern.
std::int64_t CopiesPlaced(const TNestResultList& AList) {
    std::int64_t copies = 0;
    for (const auto& r : AList) {
        copies += static_cast<std::int64_t>(r->FPartOrder.size()) * r->FTubeCount;
    }
    return copies;
}

/// Splits ACount tubes off AResult into ARedundant, without the last ARemove occurrences of part
/// APart (1-based). The split-off pattern gets its place data and used length at once; one that is
/// left without parts is dropped (its tubes are simply not cut).
void SplitOff(TNestResult& AResult, std::int32_t ACount, std::int64_t ARemove, std::int32_t APart,
              TNestResultList& ARedundant, const TGeneralNestPartArr& AParts,
              const TSegPlaceInfoManager& AGaps) {
    auto clone = AResult.Clone();
    clone->FTubeCount = ACount;
    AResult.FTubeCount -= ACount;
    TIntDynArray& order = clone->FPartOrder;
    for (auto k = static_cast<std::ptrdiff_t>(order.size()) - 1; k >= 0 && ARemove > 0; --k) {
        if (std::abs(order[static_cast<std::size_t>(k)]) == APart) {
            order.erase(order.begin() + k);
            --ARemove;
        }
    }
    if (order.empty()) {
        return;
    }
    AGaps.UpdateNestResultInfo(*clone, AParts);
    ARedundant.Add(std::move(clone));
}

/// Takes up to ASurplus copies of part APart (1-based) out of the results of AList, walking them from
/// the last to the first as they stood when the walk began. Returns the copies still to take out.
std::int64_t Trim(TNestResultList& AList, std::int32_t APart, std::int64_t ASurplus,
                  TNestResultList& ARedundant, const TGeneralNestPartArr& AParts,
                  const TSegPlaceInfoManager& AGaps) {
    for (int i = AList.Count() - 1; i >= 0 && ASurplus > 0; --i) {
        TNestResult& r = AList[i];
        const auto c = static_cast<std::int64_t>(
            std::count_if(r.FPartOrder.begin(), r.FPartOrder.end(),
                          [APart](std::int32_t ref) { return std::abs(ref) == APart; }));
        if (c == 0) {
            continue;
        }
        const auto k = static_cast<std::int32_t>(std::min<std::int64_t>(ASurplus / c, r.FTubeCount));
        if (k > 0) {
            SplitOff(r, k, c, APart, ARedundant, AParts, AGaps);
            ASurplus -= c * k;
        }
        if (ASurplus > 0 && r.FTubeCount > 0) {
            const std::int64_t d = std::min(ASurplus, c);
            SplitOff(r, 1, d, APart, ARedundant, AParts, AGaps);
            ASurplus -= d;
        }
        if (r.FTubeCount <= 0) {
            AList.Delete(i); // split-offs were appended behind i: the index still names r
        }
    }
    return ASurplus;
}

/// The input amounts minus what AList nests, for a list that holds no surplus copy.
void Remaining(const TGeneralNestPartArr& AParts, const TGeneralNestTubeArr& ATubes,
               const TNestResultList& AList, TGeneralNestPartArr& ARemainingParts,
               TGeneralNestTubeArr& ARemainingTubes) {
    ARemainingParts = AParts;
    ARemainingTubes = ATubes;
    Subtract(AList, ARemainingParts, ARemainingTubes);
    for (std::size_t p = 0; p < ARemainingParts.size(); ++p) {
        TUBENEST_ASSERT(ARemainingParts[p].FAmountAvail >= 0, kModule,
                        "part " + std::to_string(p + 1) + " is still nested " +
                            std::to_string(-ARemainingParts[p].FAmountAvail) + " times too often");
    }
}

} // namespace

std::unique_ptr<TNestResultList>
TNestAdjustTool::DeleteRedundantPart(const TGeneralNestPartArr& ANestParts,
                                     const TGeneralNestTubeArr& /*ANestTubes*/, TNestResultList& NestResult,
                                     const TSegPlaceInfoManager& PartsCalInfo) {
    auto redundant = std::make_unique<TNestResultList>();
    for (std::size_t p = 0; p < ANestParts.size(); ++p) {
        if (ANestParts[p].FAmountAvail >= 0) {
            continue;
        }
        const auto part = static_cast<std::int32_t>(p + 1);
        std::int64_t surplus = -static_cast<std::int64_t>(ANestParts[p].FAmountAvail);
        surplus = Trim(NestResult, part, surplus, *redundant, ANestParts, PartsCalInfo);
        if (surplus > 0) {
            Trim(*redundant, part, surplus, *redundant, ANestParts, PartsCalInfo);
        }
    }
    return redundant;
}

void TNestAdjustTool::AddNecessaryPart(const TGeneralNestPartArr& ANestParts,
                                       const TGeneralNestTubeArr& ANestTubes, TNestResultList& NestResult,
                                       const TSegPlaceInfoManager& PartsCalInfo,
                                       const TCADAutoNestParam& NestParam) {
    // Only the missing copies and the free tubes: a surplus or an over-used entry counts as 0, so the
    // greedy never sees a negative amount and a surplus of one part never hides a shortfall.
    TGeneralNestPartArr missing = ANestParts;
    bool anyMissing = false;
    for (auto& part : missing) {
        part.FAmountAvail = std::max(part.FAmountAvail, 0);
        anyMissing = anyMissing || part.FAmountAvail > 0;
    }
    if (!anyMissing) {
        return;
    }
    TGeneralNestTubeArr freeTubes = ANestTubes;
    bool anyFree = false;
    for (auto& tube : freeTubes) {
        tube.FAmountAvail = std::max(tube.FAmountAvail, 0);
        anyFree = anyFree || tube.FAmountAvail > 0;
    }
    if (anyFree) {
        TMultiTubeNestWrapper wrapper(missing, freeTubes, PartsCalInfo, NestParam);
        TNestResultList added;
        wrapper.GreedyNest(added);
        for (const auto& r : added) {
            TNestResult& clone = NestResult.AddClone(*r);
            PartsCalInfo.UpdateNestResultInfo(clone, missing);
        }
    }
    MergeSameResults(NestResult);
}

void TNestAdjustTool::AdjustPartNum(const TGeneralNestPartArr& ANestParts,
                                    const TGeneralNestTubeArr& ANestTubes, TNestResultList& NestResult,
                                    const TSegPlaceInfoManager& PartsCalInfo,
                                    const TCADAutoNestParam& NestParam) {
    for (int i = NestResult.Count() - 1; i >= 0; --i) {
        if (NestResult[i].FTubeCount <= 0) {
            NestResult.Delete(i);
        }
    }
    TGeneralNestPartArr parts = ANestParts;
    TGeneralNestTubeArr tubes = ANestTubes;
    Subtract(NestResult, parts, tubes);
    std::unique_ptr<TNestResultList> redundant = DeleteRedundantPart(parts, tubes, NestResult, PartsCalInfo);

    // The surplus is out of the patterns now. Each candidate's missing copies and free tubes are
    // counted from the candidate itself: the working amounts still hold the surplus as negative
    // numbers, which would hide as many copies of the patterns given back.
    if (redundant->Empty()) {
        Remaining(ANestParts, ANestTubes, NestResult, parts, tubes);
        AddNecessaryPart(parts, tubes, NestResult, PartsCalInfo, NestParam);
        return;
    }
    TNestResultList keepTubes(NestResult); // candidate A
    for (const auto& r : *redundant) {
        keepTubes.AddClone(*r);
    }
    Remaining(ANestParts, ANestTubes, keepTubes, parts, tubes);
    AddNecessaryPart(parts, tubes, keepTubes, PartsCalInfo, NestParam);

    TNestResultList giveBack(NestResult); // candidate B
    Remaining(ANestParts, ANestTubes, giveBack, parts, tubes);
    AddNecessaryPart(parts, tubes, giveBack, PartsCalInfo, NestParam);

    // More copies placed first: a shorter candidate that lost copies must not win.
    const std::int64_t copiesA = CopiesPlaced(keepTubes);
    const std::int64_t copiesB = CopiesPlaced(giveBack);
    const double lengthA = CalcNestResultsLen(keepTubes, ANestParts, ANestTubes, PartsCalInfo);
    const double lengthB = CalcNestResultsLen(giveBack, ANestParts, ANestTubes, PartsCalInfo);
    const bool takeB = copiesB != copiesA ? copiesB > copiesA : lengthB < lengthA;
    NestResult = takeB ? std::move(giveBack) : std::move(keepTubes);
}

} // namespace tubenest
