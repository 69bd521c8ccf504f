// The adjust tool's result tools that run no method: stock charged to a list, the direction sweep,
// merging tube entries of equal length and mapping results back onto them.

#include <algorithm>
#include <cstdlib>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

#include "host/geometry.h"
#include "model/assertion.h"
#include "ordersearch/nest_adjust_tool.h"

namespace tubenest {
namespace {

constexpr const char* kModule = "uNestAdjustTool";
constexpr double kSameTubeLength = 0.0001;

struct TSweepSums {
    double Common = 0.0; ///< sum of the common-cut lengths along the order
    double Land = 0.0;   ///< sum of the second common-cut lengths where the first ones tie
};

/// Turns every part from the second on towards the longer common cut with its (already swept) left
/// neighbour.
TSweepSums SweepDirections(TIntDynArray& AOrder, const TSegPlaceInfoManager& AGaps) {
    TSweepSums sums;
    for (std::size_t k = 1; k < AOrder.size(); ++k) {
        const TNestBaseInfo a = AGaps.GetA1B1Info(AOrder[k - 1], AOrder[k]);
        const TNestBaseInfo b = AGaps.GetA1B1Info(AOrder[k - 1], -AOrder[k]);
        if (b.CommonLength > a.CommonLength + 0.01) {
            AOrder[k] = -AOrder[k];
            sums.Common += b.CommonLength;
        } else {
            sums.Common += a.CommonLength;
        }
        if (b.CommonLength == a.CommonLength) {
            if (b.IsLandCommonLen > a.IsLandCommonLen + 0.01) {
                AOrder[k] = -AOrder[k];
                sums.Land += b.IsLandCommonLen;
            } else {
                sums.Land += a.IsLandCommonLen;
            }
        }
    }
    return sums;
}

std::size_t TubePosition(const TNestResult& AResult, std::size_t ATubes) {
    TUBENEST_ASSERT(
        AResult.FTubeIndex >= 1 && static_cast<std::size_t>(AResult.FTubeIndex) <= ATubes, kModule,
        "tube index " + std::to_string(AResult.FTubeIndex) + " outside 1.." + std::to_string(ATubes));
    return static_cast<std::size_t>(AResult.FTubeIndex - 1);
}

} // namespace

double TNestAdjustTool::CalcNestResultsLen(TNestResultList& NestResults, const TGeneralNestPartArr& Parts,
                                           const TGeneralNestTubeArr& Tubes,
                                           const TSegPlaceInfoManager& PartsCalInfo) {
    if (NestResults.Empty()) {
        return 0.0;
    }
    double length = 0.0;
    for (int i = 0; i + 1 < NestResults.Count(); ++i) {
        const TNestResult& r = NestResults[i];
        length += Tubes[TubePosition(r, Tubes.size())].FTubeInitialLen * r.FTubeCount;
    }
    TNestResult& last = NestResults.Last();
    PartsCalInfo.UpdateNestResultInfo(last, Parts);
    return length + last.FLengthUsed * last.FTubeCount;
}

void TNestAdjustTool::AdjustPartDir(TNestResultList& TempResult, const TSegPlaceInfoManager& PartsCalInfo,
                                    const TGeneralNestPartArr& Parts) {
    if (PartsCalInfo.FNestParam.DisableReverse()) {
        return; // parts may not be turned at all
    }
    for (auto& item : TempResult) {
        if (item->FPartOrder.empty()) {
            continue;
        }
        const double before = item->FLengthUsed;
        std::unique_ptr<TNestResult> x = item->Clone();
        std::unique_ptr<TNestResult> y = item->Clone();
        y->FPartOrder.front() = -y->FPartOrder.front();
        const TSweepSums sx = SweepDirections(x->FPartOrder, PartsCalInfo);
        const TSweepSums sy = SweepDirections(y->FPartOrder, PartsCalInfo);
        PartsCalInfo.UpdateNestResultInfo(*x, Parts);
        PartsCalInfo.UpdateNestResultInfo(*y, Parts);

        std::unique_ptr<TNestResult>* chosen = nullptr;
        if (x->FLengthUsed > before) {
            if (y->FLengthUsed <= before) {
                chosen = &y;
            }
        } else if (y->FLengthUsed > before) {
            chosen = &x;
        } else if (sx.Common != sy.Common) {
            chosen = sy.Common > sx.Common ? &y : &x;
        } else {
            chosen = sy.Land > sx.Land ? &y : &x;
        }
        // The chosen layout replaces the original; the original and the other layout are freed.
        if (chosen != nullptr) {
            item = std::move(*chosen);
        }
        PartsCalInfo.UpdateNestResultInfo(*item, Parts);
    }
}

bool TNestAdjustTool::MergeSameTubeLength(TGeneralNestTubeArr& ANestTubesOri,
                                          TGeneralNestTubeArr& ANestTubesNew) {
    ANestTubesOri = ANestTubesNew;
    bool merged = false;
    for (std::size_t i = 0; i < ANestTubesNew.size(); ++i) {
        for (std::size_t j = i + 1; j < ANestTubesNew.size(); ++j) {
            TGeneralNestTube& a = ANestTubesNew[i];
            TGeneralNestTube& b = ANestTubesNew[j];
            if (a.FAmountAvail != 0 && b.FAmountAvail != 0 &&
                fEqual(a.FTubeInitialLen, b.FTubeInitialLen, kSameTubeLength)) {
                a.FAmountAvail += b.FAmountAvail;
                b.FAmountAvail = 0;
                merged = true;
            }
        }
    }
    return merged;
}

void TNestAdjustTool::ReturnOriTubeIndex(TNestResultList& ANestResults, TGeneralNestTubeArr& NestTubes) {
    // The merge classes as MergeSameTubeLength forms them on these amounts. Lengths within 0.0001 mm
    // of each other are not transitive (6000, 6000.00008, 6000.00016 make two classes), so tubes are
    // only ever moved within the class of the result's entry.
    const std::size_t m = NestTubes.size();
    std::vector<std::size_t> owner(m);
    std::iota(owner.begin(), owner.end(), std::size_t{0});
    {
        std::vector<std::int64_t> amount(m);
        for (std::size_t i = 0; i < m; ++i) {
            amount[i] = NestTubes[i].FAmountAvail;
        }
        for (std::size_t i = 0; i < m; ++i) {
            for (std::size_t j = i + 1; j < m; ++j) {
                if (amount[i] != 0 && amount[j] != 0 &&
                    fEqual(NestTubes[i].FTubeInitialLen, NestTubes[j].FTubeInitialLen, kSameTubeLength)) {
                    amount[i] += amount[j];
                    amount[j] = 0;
                    owner[j] = owner[i];
                }
            }
        }
    }

    for (int i = ANestResults.Count() - 1; i >= 0; --i) {
        TNestResult& r = ANestResults[i];
        const std::size_t t = TubePosition(r, m);
        std::int32_t& own = NestTubes[t].FAmountAvail;
        if (r.FTubeCount <= own) {
            own -= r.FTubeCount;
            continue;
        }
        const std::int32_t keep = std::max(own, 0);
        std::int32_t need = r.FTubeCount - keep;
        if (own > 0) {
            own = 0;
        }
        for (std::size_t u = 0; u < m && need > 0; ++u) {
            std::int32_t& other = NestTubes[u].FAmountAvail;
            if (u == t || owner[u] != owner[t] || other <= 0) {
                continue;
            }
            const std::int32_t take = std::min(need, other);
            auto clone = r.Clone();
            clone->FTubeIndex = static_cast<std::int32_t>(u + 1);
            clone->FTubeCount = take;
            other -= take;
            need -= take;
            ANestResults.Add(std::move(clone));
        }
        // Tubes that no entry of the class can absorb stay on the result's own entry: a count is
        // never lost nor duplicated.
        r.FTubeCount = keep + need;
        if (r.FTubeCount == 0) {
            ANestResults.Delete(i);
        }
    }
}

void TNestAdjustTool::FixNestResultTubeOrder(TNestResultList& ANestResult, const TIntDynArray& TubeOrder) {
    for (auto& r : ANestResult) {
        const std::size_t position = TubePosition(*r, TubeOrder.size());
        r->FTubeIndex = TubeOrder[position] + 1;
    }
}

void TNestAdjustTool::NestResultListFree(std::unique_ptr<TNestResultList>& NestResults) {
    NestResults.reset();
}

} // namespace tubenest
