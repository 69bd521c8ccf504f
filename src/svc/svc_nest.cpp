#include "svc/svc_nest.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>
#include <optional>
#include <stdexcept>
#include <string>
#include <type_traits>

#include "host/geometry.h"
#include "model/assertion.h"
#include "model/nest_progress.h"
#include "ordersearch/nest_adjust_tool.h"

namespace tubenest {

namespace {

constexpr const char* kModule = "USVCNest";
constexpr double kTol = TBackpack::kTolerance;
/// Start of the smallest-length search: larger than any tube.
constexpr double kNoLength = 2147483647.0;

static_assert(std::is_trivially_copyable_v<NestInfor>);
static_assert(sizeof(NestInfor) == 24, "the table cell must stay compact");

/// A gap whose magnitude is below the tolerance counts as none in the table.
double TableGap(double g) {
    return std::fabs(g) < kTol ? 0.0 : g;
}

/// Whole millimetres of a length (truncated); -1 for a negative length.
std::int32_t WholeMillimetres(double length) {
    if (!(length >= 0.0)) {
        return -1;
    }
    if (length >= 2147483646.0) {
        throw std::invalid_argument("SVC nest: length " + std::to_string(length) +
                                    " mm is too long for the table");
    }
    return static_cast<std::int32_t>(length);
}

/// Copies per part index (0-based) of a part order.
void CountCopies(const TIntDynArray& order, std::vector<std::int32_t>& counts) {
    for (const std::int32_t ref : order) {
        const auto idx = static_cast<std::size_t>(std::abs(ref) - 1);
        if (idx >= counts.size()) {
            counts.resize(idx + 1, 0);
        }
        ++counts[idx];
    }
}

} // namespace

// ---------------------------------------------------------------------------------------------------------

std::int32_t TSVCNestParts::TotalAmount() const {
    std::int32_t total = 0;
    for (const auto& p : *this) {
        total += p.Amount;
    }
    return total;
}

TSVCTableLimitError::TSVCTableLimitError(std::int32_t ARows, std::int32_t ACols)
    : std::invalid_argument("SVC nest: a table of " + std::to_string(ARows) + " x " + std::to_string(ACols) +
                            " cells exceeds the limit of " + std::to_string(InforMatrix::kMaxCells) +
                            " cells"),
      FRows(ARows), FCols(ACols) {}

void InforMatrix::Resize(std::int32_t ARows, std::int32_t ACols) {
    if (ARows < 0 || ACols < 0) {
        throw std::invalid_argument("InforMatrix: negative shape " + std::to_string(ARows) + " x " +
                                    std::to_string(ACols));
    }
    const std::size_t cells = static_cast<std::size_t>(ARows) * static_cast<std::size_t>(ACols);
    if (cells > kMaxCells) {
        throw TSVCTableLimitError(ARows, ACols);
    }
    if (cells > cells_.size()) {
        cells_.resize(cells);
    }
    rows_ = ARows;
    cols_ = ACols;
}

void InforMatrix::ClearRow(std::int32_t r) {
    TUBENEST_ASSERT(r >= 0 && r < rows_, kModule, "table row " + std::to_string(r) + " out of range");
    // A cell of all-zero bytes is the zero cell (0.0, 0, 0, 0).
    std::memset(static_cast<void*>(Row(r)), 0, static_cast<std::size_t>(cols_) * sizeof(NestInfor));
}

// ---------------------------------------------------------------------------------------------------------

double TGreedyAlgorithm::GetGap(const TSegPlaceInfoManager& SegPlaceInfo, std::int32_t IdxA,
                                std::int32_t IdxB) {
    return SegPlaceInfo.GetGap(IdxA, IdxB);
}

TNestResult TGreedyAlgorithm::NewGreedyAlgorithm(const TSVCNestParts& ANestParts,
                                                 const TSegPlaceInfoManager& SegPlaceInfo) const {
    TNestResult result;
    double length = 0.0;
    for (const auto& part : ANestParts) {
        for (std::int32_t k = 0; k < part.Amount; ++k) {
            result.FPartOrder.push_back(part.Idx + 1);
            length += part.Length;
        }
    }
    TNestAdjustTool::CalcTsp(result.FPartOrder, SegPlaceInfo, -1, !FDisableReverse, false);
    for (std::size_t k = 1; k < result.FPartOrder.size(); ++k) {
        length += GetGap(SegPlaceInfo, result.FPartOrder[k - 1], result.FPartOrder[k]);
    }
    result.FLengthUsed = length;
    return result;
}

double TGreedyAlgorithm::ModifyPartValue(const TSVCNestPart& NestPart, double TubeLength, double NestLength,
                                         std::int32_t TotalNeedPart, std::int32_t RemainPart,
                                         TRandomGenerator& ARandom) {
    if (NestPart.Amount <= 0) {
        throw std::invalid_argument("ModifyPartValue: part " + std::to_string(NestPart.Idx) + " has amount " +
                                    std::to_string(NestPart.Amount));
    }
    if (!(TubeLength > NestLength)) {
        throw std::invalid_argument("ModifyPartValue: nested length " + std::to_string(NestLength) +
                                    " leaves nothing of tube length " + std::to_string(TubeLength));
    }
    const double need = static_cast<double>(TotalNeedPart) + static_cast<double>(RemainPart);
    if (need < 0.0) {
        throw std::invalid_argument("ModifyPartValue: negative part count " + std::to_string(need));
    }
    const double r1 = ARandom.RandomFloat();
    const double r2 = ARandom.RandomFloat();
    const double a = 1.0 + 0.5 * r1;
    const double q = (r2 * (a - 1.0 / a) + 1.0 / a) * need / NestPart.Amount;
    return q / (q + 1.0) * NestPart.Value +
           1.0 / (q + 1.0) * NestPart.Length * TubeLength / (TubeLength - NestLength);
}

// ---------------------------------------------------------------------------------------------------------

TBackpack::TBackpack(const TGeneralNestPartArr& AGNestParts, const TGeneralNestTubeArr& AGNestTubes,
                     const TCADAutoNestParam& Param, const TSegPlaceInfoManager& SegPlaceInfoManager)
    : FSegPlaceInfo(&SegPlaceInfoManager), FPartGap(Param.DefaultPartGap()),
      FDisableReverse(Param.DisableReverse()) {
    for (std::size_t i = 0; i < AGNestParts.size(); ++i) {
        const auto& p = AGNestParts[i];
        if (p.FAmountAvail < 0 || !std::isfinite(p.FOuterlength) || p.FOuterlength < 0.0 ||
            (p.FAmountAvail > 0 && !(p.FOuterlength > 0.0))) {
            throw std::invalid_argument("SVC nest: part " + std::to_string(i + 1) + " has length " +
                                        std::to_string(p.FOuterlength) + " and amount " +
                                        std::to_string(p.FAmountAvail));
        }
    }
    for (std::size_t i = 0; i < AGNestTubes.size(); ++i) {
        const auto& t = AGNestTubes[i];
        if (t.FAmountAvail < 0 || !std::isfinite(t.FTubeInitialLen) || t.FTubeInitialLen < 0.0) {
            throw std::invalid_argument("SVC nest: tube " + std::to_string(i + 1) + " has length " +
                                        std::to_string(t.FTubeInitialLen) + " and amount " +
                                        std::to_string(t.FAmountAvail));
        }
        if (t.FNestedPartIdx > static_cast<std::int32_t>(AGNestParts.size())) {
            throw std::out_of_range("SVC nest: tube " + std::to_string(i + 1) + " is tied to part " +
                                    std::to_string(t.FNestedPartIdx) + " of " +
                                    std::to_string(AGNestParts.size()));
        }
    }
    if (SegPlaceInfoManager.FPartCount < static_cast<std::int32_t>(AGNestParts.size())) {
        throw std::invalid_argument("SVC nest: the gap manager knows " +
                                    std::to_string(SegPlaceInfoManager.FPartCount) + " parts, not " +
                                    std::to_string(AGNestParts.size()));
    }
    if (AGNestParts.empty() || AGNestTubes.empty()) {
        return;
    }
    const double firstTube = AGNestTubes.front().FTubeInitialLen;
    FNestParts.reserve(AGNestParts.size());
    for (std::size_t i = 0; i < AGNestParts.size(); ++i) {
        TSVCNestPart part;
        part.Length = AGNestParts[i].FOuterlength;
        part.Amount = AGNestParts[i].FAmountAvail;
        part.Idx = static_cast<std::int32_t>(i);
        part.Value = part.Length;
        // Long parts are worth a little more and short ones a little less, so that the knapsack
        // lays the hard-to-place long parts first and keeps short ones for the remnants.
        if (!fSmall(part.Length, firstTube / 2.0, kTol)) {
            part.Value *= 1.05;
        }
        if (!fGreat(part.Length, firstTube / 4.0, kTol)) {
            part.Value *= 0.95;
        }
        FNestParts.push_back(part);
    }
    FNestTubes.reserve(AGNestTubes.size());
    for (std::size_t i = 0; i < AGNestTubes.size(); ++i) {
        const auto& t = AGNestTubes[i];
        FNestTubes.push_back(
            TSVCNestTube{t.FTubeInitialLen, t.FAmountAvail, static_cast<std::int32_t>(i), t.FNestedPartIdx});
    }
}

TNestResultInfo TBackpack::SVCNest(TNestResultList& ANestResult) {
    TNestResultInfo info;
    info.PartUsedCount = 0;
    info.TubeUsedCount = 0;
    info.TotalTubeLeft = 0.0;
    info.MinUsedLength = -1.0;
    info.PartUsedLength = 0.0;

    std::vector<std::int32_t> tubeAmount(FNestTubes.size());
    std::vector<std::int32_t> partAmount(FNestParts.size());
    std::int64_t remaining = 0;
    for (std::size_t t = 0; t < FNestTubes.size(); ++t) {
        tubeAmount[t] = FNestTubes[t].Amount;
    }
    for (std::size_t p = 0; p < FNestParts.size(); ++p) {
        partAmount[p] = FNestParts[p].Amount;
        remaining += partAmount[p];
    }

    std::vector<std::int32_t> counts;
    for (std::size_t t = 0; t < FNestTubes.size() && remaining > 0 && !StopRequested(); ++t) {
        const TSVCNestTube& tube = FNestTubes[t];
        while (tubeAmount[t] > 0 && remaining > 0) {
            if (StopRequested()) {
                break;
            }
            TSVCNestParts candidates;
            for (std::size_t p = 0; p < FNestParts.size(); ++p) {
                if (partAmount[p] > 0) {
                    TSVCNestPart c = FNestParts[p];
                    c.Amount = partAmount[p];
                    candidates.push_back(c);
                }
            }
            TSVCNestParts selected;
            auto pattern = std::make_unique<TNestResult>();
            AutoNest(tube, candidates, selected, *pattern);
            if (pattern->FPartOrder.empty()) {
                break;
            }
            pattern->FTubeIndex = tube.Idx + 1;

            counts.assign(FNestParts.size(), 0);
            CountCopies(pattern->FPartOrder, counts);
            std::int32_t k = tubeAmount[t];
            std::int32_t perTube = 0;
            double partLength = 0.0;
            for (std::size_t p = 0; p < counts.size(); ++p) {
                if (counts[p] > 0) {
                    k = std::min(k, partAmount[p] / counts[p]);
                    perTube += counts[p];
                    partLength += counts[p] * FNestParts[p].Length;
                }
            }
            TUBENEST_ASSERT(k >= 1, kModule, "a pattern uses more copies than are left");
            pattern->FTubeCount = k;
            FSegPlaceInfo->GetOrderInfos(pattern->FPartOrder, &pattern->FPartPlaceData);

            tubeAmount[t] -= k;
            for (std::size_t p = 0; p < counts.size(); ++p) {
                partAmount[p] -= k * counts[p];
            }
            remaining -= static_cast<std::int64_t>(k) * perTube;
            info.PartUsedCount += k * perTube;
            info.PartUsedLength += k * partLength;
            // Every one of the k tubes leaves the same remnant.
            info.TotalTubeLeft += k * (tube.Length - pattern->FLengthUsed);
            info.TubeUsedCount += k;
            if (info.MinUsedLength < 0.0 || pattern->FLengthUsed < info.MinUsedLength) {
                info.MinUsedLength = pattern->FLengthUsed;
            }
            ANestResult.Add(std::move(pattern));
        }
    }
    if (info.MinUsedLength < 0.0) {
        info.MinUsedLength = 0.0;
    }
    return info;
}

void TBackpack::AutoNest(const TSVCNestTube& NestTube, TSVCNestParts& InputNestPart,
                         TSVCNestParts& SelectedNestParts, TNestResult& NestResult) {
    const TSegPlaceInfoManager& seg = *FSegPlaceInfo;
    const TGreedyAlgorithm greedy(FDisableReverse);
    NestResult = TNestResult{};
    SelectedNestParts.clear();
    FIsContinueNest = false;
    FInputNestParts = &InputNestPart;
    ResetValue(InputNestPart);

    double minLen = kNoLength;
    for (const auto& c : InputNestPart) {
        minLen = std::min(minLen, c.Length);
    }

    const TSVCNestParts first = DealOriPartAndNewPartGap(NestTube, InputNestPart, NestResult);
    if (FIsContinueNest && first.empty()) {
        // Nothing fits behind the part standing at the tube start, so nothing fits at all.
        FInputNestParts = nullptr;
        return;
    }
    SelectedNestParts.insert(SelectedNestParts.end(), first.begin(), first.end());
    double used = NestResult.FLengthUsed;

    double left = NestTube.Length - used;
    while (!fSmall(left, minLen, kTol) && !InputNestPart.empty()) {
        const std::int32_t last = NestResult.FPartOrder.empty() ? 0 : NestResult.FPartOrder.back();
        if (last != 0) {
            left -= FindMaxGap(last, InputNestPart, seg);
        }
        const std::int32_t T = WholeMillimetres(left + kTol);
        if (T < 0 || !TryAppendFilling(T, NestTube.Length, last, InputNestPart, SelectedNestParts, NestResult,
                                       used, seg, greedy)) {
            break;
        }
        left = NestTube.Length - used;
        if (InputNestPart.empty()) {
            break;
        }
        minLen = CalcMinLength(NestResult.FPartOrder.back(), InputNestPart, seg);
    }

    CompleteAtRealLengths(NestTube, InputNestPart, SelectedNestParts, NestResult, used, seg);
    MergeSameParts(SelectedNestParts);
    TNestAdjustTool::CalcTsp(NestResult.FPartOrder, seg, NestTube.NestedPartIdx, !FDisableReverse, false);
    // The order search may have shortened the gaps: the used length is that of the final order.
    double length = 0.0;
    const auto& order = NestResult.FPartOrder;
    for (std::size_t k = 0; k < order.size(); ++k) {
        length += FNestParts[static_cast<std::size_t>(std::abs(order[k]) - 1)].Length;
        if (k > 0) {
            length += TGreedyAlgorithm::GetGap(seg, order[k - 1], order[k]);
        } else if (NestTube.NestedPartIdx > 0) {
            length += TGreedyAlgorithm::GetGap(seg, NestTube.NestedPartIdx, order[k]);
        }
    }
    NestResult.FLengthUsed = order.empty() ? used : length;
    TUBENEST_ASSERT(!fGreat(NestResult.FLengthUsed, NestTube.Length, kTol), kModule,
                    "a pattern of " + std::to_string(NestResult.FLengthUsed) + " mm in a tube of " +
                        std::to_string(NestTube.Length) + " mm");
    FInputNestParts = nullptr;
}

std::int32_t TBackpack::CompleteAtRealLengths(const TSVCNestTube& NestTube, TSVCNestParts& Candidates,
                                              TSVCNestParts& Selected, TNestResult& NestResult, double& Used,
                                              const TSegPlaceInfoManager& SegPlaceInfo) const {
    std::int32_t added = 0;
    for (;;) {
        const auto& order = NestResult.FPartOrder;
        const std::int32_t last =
            !order.empty() ? order.back() : (NestTube.NestedPartIdx > 0 ? NestTube.NestedPartIdx : 0);
        std::optional<std::size_t> pick;
        std::int32_t pickRef = 0;
        double pickGrowth = 0.0;
        for (std::size_t c = 0; c < Candidates.size(); ++c) {
            const TSVCNestPart& part = Candidates[c];
            if (part.Amount <= 0 || (pick && part.Length <= Candidates[*pick].Length)) {
                continue;
            }
            for (const std::int32_t ref : {part.Idx + 1, -(part.Idx + 1)}) {
                if (ref < 0 && FDisableReverse) {
                    continue;
                }
                const double gap = last != 0 ? TGreedyAlgorithm::GetGap(SegPlaceInfo, last, ref) : 0.0;
                const double growth = gap + part.Length;
                if (!fGreat(Used + growth, NestTube.Length, kTol) &&
                    (!pick || pick != c || growth < pickGrowth)) {
                    pick = c;
                    pickRef = ref;
                    pickGrowth = growth;
                }
            }
        }
        if (!pick) {
            return added;
        }
        TSVCNestPart& part = Candidates[*pick];
        NestResult.FPartOrder.push_back(pickRef);
        Used += pickGrowth;
        NestResult.FLengthUsed = Used;
        TSVCNestPart one = part;
        one.Amount = 1;
        Selected.push_back(one);
        if (--part.Amount == 0) {
            Candidates.erase(Candidates.begin() + static_cast<std::ptrdiff_t>(*pick));
        }
        ++added;
    }
}

bool TBackpack::TryAppendFilling(std::int32_t T, double TubeLength, std::int32_t LastPart,
                                 TSVCNestParts& Candidates, TSVCNestParts& Selected, TNestResult& NestResult,
                                 double& Used, const TSegPlaceInfoManager& SegPlaceInfo,
                                 const TGreedyAlgorithm& GreedyAlgorithm) {
    TSVCNestParts saved;
    while (T >= 0 && !Candidates.empty()) {
        saved = Candidates;
        TNestResult filling;
        const TSVCNestParts chosen = SingleTubeNest(T, Candidates, SegPlaceInfo, filling, GreedyAlgorithm);
        if (chosen.empty() || filling.FPartOrder.empty()) {
            Candidates = std::move(saved);
            return false;
        }
        const double join = LastPart != 0
                                ? TGreedyAlgorithm::GetGap(SegPlaceInfo, LastPart, filling.FPartOrder.front())
                                : 0.0;
        const double newUsed = Used + join + filling.FLengthUsed;
        if (!fGreat(newUsed, TubeLength, kTol)) {
            NestResult.FPartOrder.insert(NestResult.FPartOrder.end(), filling.FPartOrder.begin(),
                                         filling.FPartOrder.end());
            Selected.insert(Selected.end(), chosen.begin(), chosen.end());
            Used = newUsed;
            NestResult.FLengthUsed = Used;
            return true;
        }
        // The table works with estimated gaps (the join to the parts already laid is capped, gaps
        // below the tolerance count as none); the real filling would overrun the tube. Give the
        // parts back and try a shorter filling.
        Candidates = std::move(saved);
        const double shorter = std::floor(static_cast<double>(T) - (newUsed - TubeLength));
        T = std::min(T - 1, shorter < 0.0 ? -1 : static_cast<std::int32_t>(shorter));
    }
    return false;
}

void TBackpack::AutoMultiNest(double TubeLength, const TSVCNestParts& InputNestPart,
                              TSVCNestPartsList& SelectedNestParts, const TSegPlaceInfoManager& SegPlaceInfo,
                              TNestResultList& NestResults, double SetValue) {
    const TGreedyAlgorithm greedy(FDisableReverse);
    FInputNestParts = &InputNestPart;
    ResetValue(InputNestPart);
    TSVCNestParts work;
    work.reserve(FNestParts.size());
    for (const auto& p : FNestParts) {
        // Parts without copies give empty rows that change nothing in the table.
        if (p.Amount > 0) {
            work.push_back(p);
        }
    }
    const std::int32_t T = WholeMillimetres(TubeLength);
    if (T < 0 || work.empty()) {
        FInputNestParts = nullptr;
        return;
    }

    TNestResultList patterns;
    TSVCNestPartsList selections;
    TSVCNestPartsList remainders;
    SingleTubeMultiNest(T, work, SegPlaceInfo, patterns, selections, remainders, greedy);

    for (int j = 0; j < patterns.Count(); ++j) {
        TNestResult& pattern = patterns[j];
        TSVCNestParts& rest = remainders[static_cast<std::size_t>(j)];
        TSVCNestParts& chosen = selections[static_cast<std::size_t>(j)];
        double used = pattern.FLengthUsed;
        while (!rest.empty() && !pattern.FPartOrder.empty()) {
            const std::int32_t last = pattern.FPartOrder.back();
            const std::int32_t left =
                WholeMillimetres(TubeLength - used - FindMaxGap(last, rest, SegPlaceInfo));
            if (left < 0 || fSmall(left, CalcMinLength(last, rest, SegPlaceInfo), kTol)) {
                break;
            }
            if (!TryAppendFilling(left, TubeLength, last, rest, chosen, pattern, used, SegPlaceInfo,
                                  greedy)) {
                break;
            }
        }
        pattern.FLengthUsed = used;
    }

    for (int j = patterns.Count() - 1; j >= 0; --j) {
        if (fGreat(patterns[j].FLengthUsed, TubeLength, kTol)) {
            patterns.Delete(j);
            selections.erase(selections.begin() + j);
        }
    }
    RemoveDuplicatesols(patterns, selections);
    for (int j = patterns.Count() - 1; j >= 0; --j) {
        if (fSmall(CalcNestResultValue(patterns[j]), SetValue, kTol)) {
            patterns.Delete(j);
            selections.erase(selections.begin() + j);
        }
    }
    const int kept = patterns.Count();
    for (int j = 0; j < kept; ++j) {
        auto& chosen = selections[static_cast<std::size_t>(j)];
        MergeSameParts(chosen);
        auto item = patterns.Extract(0);
        item->FTubeCount = 1;
        SegPlaceInfo.GetOrderInfos(item->FPartOrder, &item->FPartPlaceData);
        NestResults.Add(std::move(item));
        SelectedNestParts.push_back(std::move(chosen));
    }
    FInputNestParts = nullptr;
}

TSVCNestParts TBackpack::SingleTubeNest(std::int32_t Length, TSVCNestParts& NestParts,
                                        const TSegPlaceInfoManager& SegPlaceInfo, TNestResult& NestResult,
                                        const TGreedyAlgorithm& GreedyAlgorithm) {
    const std::int32_t T = std::max<std::int32_t>(Length, 0);
    BulidSegPackage(T, NestParts, SegPlaceInfo);
    return GetBestResult(FMatrix, NestParts, T, SegPlaceInfo, NestResult, GreedyAlgorithm);
}

void TBackpack::SingleTubeMultiNest(std::int32_t Length, const TSVCNestParts& NestParts,
                                    const TSegPlaceInfoManager& SegPlaceInfo, TNestResultList& NestResults,
                                    TSVCNestPartsList& Selections, TSVCNestPartsList& Remainders,
                                    const TGreedyAlgorithm& GreedyAlgorithm) {
    const std::int32_t T = std::max<std::int32_t>(Length, 0);
    BulidSegPackage(T, NestParts, SegPlaceInfo);
    GetResults(FMatrix, NestParts, T, SegPlaceInfo, NestResults, Selections, Remainders, GreedyAlgorithm);
}

void TBackpack::BulidSegPackage(std::int32_t T, const TSVCNestParts& NestParts,
                                const TSegPlaceInfoManager& SegPlaceInfo) {
    T = std::max<std::int32_t>(T, 0);
    const auto n = static_cast<std::int32_t>(NestParts.size());
    std::int32_t maxIdx = -1;
    for (const auto& part : NestParts) {
        if (part.Idx < 0 || part.Idx >= SegPlaceInfo.FPartCount) {
            throw std::out_of_range("SVC nest: part index " + std::to_string(part.Idx) + " outside 0.." +
                                    std::to_string(SegPlaceInfo.FPartCount - 1));
        }
        maxIdx = std::max(maxIdx, part.Idx);
    }
    FMatrix.Resize(n + 1, T + 1);
    FMatrix.ClearRow(0);
    const double maxCol = static_cast<double>(T);
    // Gap from the last part of an earlier filling (by its index) to the part of the current row;
    // looked up once per row instead of once per column.
    std::vector<double> gapTo(static_cast<std::size_t>(maxIdx + 1), 0.0);

    for (std::int32_t i = 1; i <= n; ++i) {
        const TSVCNestPart& part = NestParts[static_cast<std::size_t>(i - 1)];
        const double l = part.Length;
        const double v = part.Value;
        const std::int32_t a = std::max<std::int32_t>(part.Amount, 0);
        const std::int32_t p = part.Idx;
        FMatrix.ClearRow(i);
        NestInfor* cur = FMatrix.Row(i);
        const NestInfor* prev = FMatrix.Row(i - 1);

        const double g = TableGap(TGreedyAlgorithm::GetGap(SegPlaceInfo, p + 1, p + 1));
        if (a > 0 && !(l > 0.0 && l + g > 0.0)) {
            throw std::invalid_argument("SVC nest: copies of part " + std::to_string(p + 1) + " (length " +
                                        std::to_string(l) + ", gap " + std::to_string(g) +
                                        ") take no length");
        }
        if (a == 0) {
            // No copies: the row only carries the earlier fillings on.
            for (std::int32_t c = 0; c <= T; ++c) {
                if (prev[c].Value > kTol) {
                    cur[c] = NestInfor{prev[c].Value, c, 0, prev[c].State};
                }
            }
            cur[0] = NestInfor{0.0, 0, 0, prev[0].State};
            continue;
        }
        // Only parts of earlier rows can be the last part of an earlier filling.
        for (std::int32_t r = 0; r < i - 1; ++r) {
            const std::int32_t q = NestParts[static_cast<std::size_t>(r)].Idx;
            gapTo[static_cast<std::size_t>(q)] =
                TableGap(TGreedyAlgorithm::GetGap(SegPlaceInfo, q + 1, p + 1));
        }

        // The part alone: k copies in a row.
        for (std::int32_t k = 0; k <= a; ++k) {
            const double need = k == 0 ? 0.0 : std::ceil(l * k + (k - 1) * g);
            if (need > maxCol) {
                break;
            }
            const auto c = static_cast<std::int32_t>(need);
            const double value = k * v;
            if (!fGreat(prev[c].Value, value, kTol)) {
                cur[c] = NestInfor{value, 0, k, k > 0 ? p : prev[c].State};
            } else {
                cur[c] = prev[c];
                cur[c].Num = 0;
            }
        }

        // Copies appended to the fillings of the earlier rows.
        for (std::int32_t c = 1; c <= T; ++c) {
            const double base = prev[c].Value;
            if (!(base > kTol)) {
                continue;
            }
            if (fSmall(cur[c].Value, base, kTol)) {
                cur[c] = NestInfor{base, c, 0, prev[c].State};
            }
            double x = c + l + gapTo[static_cast<std::size_t>(prev[c].State)];
            for (std::int32_t k = 1; k <= a; ++k) {
                const double need = std::ceil(x);
                x += l + g;
                if (need > maxCol) {
                    break;
                }
                if (need < 0.0) {
                    continue;
                }
                const auto c2 = static_cast<std::int32_t>(need);
                const double value = base + k * v;
                NestInfor& cell = cur[c2];
                if (fSmall(cell.Value, value, kTol) || (fEqual(cell.Value, value, kTol) && cell.From > c)) {
                    cell = NestInfor{value, c, k, p};
                }
            }
        }
    }
}

TIntDynArray TBackpack::Backtrack(const InforMatrix& M, std::int32_t Col) {
    const std::int32_t n = M.Rows() - 1;
    TIntDynArray nums(static_cast<std::size_t>(std::max(n, 0)), 0);
    std::int32_t col = Col;
    for (std::int32_t i = n; i >= 1; --i) {
        TUBENEST_ASSERT(col >= 0 && col < M.Cols(), kModule, "backtracking left the table");
        const NestInfor& cell = M(i, col);
        if (cell.Num > 0) {
            nums[static_cast<std::size_t>(i - 1)] = cell.Num;
            col = cell.From;
        }
    }
    return nums;
}

TSVCNestParts TBackpack::TakeRows(const TIntDynArray& Nums, TSVCNestParts& NestParts) {
    TUBENEST_ASSERT(Nums.size() == NestParts.size(), kModule, "the table does not match the part list");
    TSVCNestParts selection;
    for (std::size_t r = 0; r < Nums.size(); ++r) {
        if (Nums[r] > 0) {
            TUBENEST_ASSERT(Nums[r] <= NestParts[r].Amount, kModule,
                            "the table took more copies of part " + std::to_string(NestParts[r].Idx + 1) +
                                " than there are");
            TSVCNestPart rec = NestParts[r];
            rec.Amount = Nums[r];
            selection.push_back(rec);
            NestParts[r].Amount -= Nums[r];
        }
    }
    NestParts.erase(std::remove_if(NestParts.begin(), NestParts.end(),
                                   [](const TSVCNestPart& p) { return p.Amount <= 0; }),
                    NestParts.end());
    return selection;
}

TSVCNestParts TBackpack::GetBestResult(const InforMatrix& M, TSVCNestParts& NestParts, std::int32_t T,
                                       const TSegPlaceInfoManager& SegPlaceInfo, TNestResult& NestResult,
                                       const TGreedyAlgorithm& GreedyAlgorithm) const {
    NestResult = TNestResult{};
    const std::int32_t n = M.Rows() - 1;
    TUBENEST_ASSERT(n == static_cast<std::int32_t>(NestParts.size()), kModule,
                    "the table does not match the part list");
    T = std::min(T, M.Cols() - 1);
    if (n <= 0 || T < 0) {
        return {};
    }
    const NestInfor* lastRow = M.Row(n);
    std::int32_t best = T;
    for (std::int32_t c = T - 1; c >= 0; --c) {
        if (fGreat(lastRow[c].Value, lastRow[best].Value, kTol)) {
            best = c;
        }
    }
    if (!(lastRow[best].Value > 0.0)) {
        return {};
    }
    TSVCNestParts selection = TakeRows(Backtrack(M, best), NestParts);
    NestResult = GreedyAlgorithm.NewGreedyAlgorithm(selection, SegPlaceInfo);
    return selection;
}

void TBackpack::GetResults(const InforMatrix& M, const TSVCNestParts& NestParts, std::int32_t T,
                           const TSegPlaceInfoManager& SegPlaceInfo, TNestResultList& NestResults,
                           TSVCNestPartsList& Selections, TSVCNestPartsList& Remainders,
                           const TGreedyAlgorithm& GreedyAlgorithm) const {
    const std::int32_t n = M.Rows() - 1;
    TUBENEST_ASSERT(n == static_cast<std::int32_t>(NestParts.size()), kModule,
                    "the table does not match the part list");
    T = std::min(T, M.Cols() - 1);
    if (n <= 0 || T < 0) {
        return;
    }
    const auto low = static_cast<std::int32_t>(0.85 * T);
    const NestInfor* lastRow = M.Row(n);
    for (std::int32_t c = T; c >= low; --c) {
        if (!(lastRow[c].Value > 0.0)) {
            continue;
        }
        TSVCNestParts rest = NestParts;
        TSVCNestParts selection = TakeRows(Backtrack(M, c), rest);
        if (selection.empty()) {
            continue;
        }
        NestResults.Add(
            std::make_unique<TNestResult>(GreedyAlgorithm.NewGreedyAlgorithm(selection, SegPlaceInfo)));
        Selections.push_back(std::move(selection));
        Remainders.push_back(std::move(rest));
    }
}

double TBackpack::CalcMinLength(std::int32_t LastPart, const TSVCNestParts& Candidates,
                                const TSegPlaceInfoManager& SegPlaceInfo) {
    double minLen = kNoLength;
    for (const auto& c : Candidates) {
        if (!(c.Value > 0.0)) {
            continue;
        }
        double gap = 0.0;
        if (LastPart != 0) {
            gap = std::max(TGreedyAlgorithm::GetGap(SegPlaceInfo, LastPart, c.Idx + 1),
                           TGreedyAlgorithm::GetGap(SegPlaceInfo, LastPart, -(c.Idx + 1)));
        }
        minLen = std::min(minLen, c.Length + gap);
    }
    return minLen;
}

double TBackpack::FindMaxGap(std::int32_t LastPart, const TSVCNestParts& Candidates,
                             const TSegPlaceInfoManager& SegPlaceInfo) const {
    double maxGap = -100000.0;
    if (LastPart != 0) {
        for (const auto& c : Candidates) {
            maxGap = std::max(maxGap, TGreedyAlgorithm::GetGap(SegPlaceInfo, LastPart, c.Idx + 1));
            maxGap = std::max(maxGap, TGreedyAlgorithm::GetGap(SegPlaceInfo, LastPart, -(c.Idx + 1)));
        }
    }
    return std::min(maxGap, FPartGap);
}

void TBackpack::MergeSameParts(TSVCNestParts& Parts) {
    TSVCNestParts merged;
    merged.reserve(Parts.size());
    for (const auto& p : Parts) {
        auto it = std::find_if(merged.begin(), merged.end(),
                               [&p](const TSVCNestPart& m) { return m.Idx == p.Idx; });
        if (it == merged.end()) {
            merged.push_back(p);
        } else {
            it->Amount += p.Amount;
        }
    }
    Parts = std::move(merged);
}

void TBackpack::ResetValue(const TSVCNestParts& InputNestPart) {
    for (const auto& c : InputNestPart) {
        if (c.Idx >= 0 && static_cast<std::size_t>(c.Idx) < FNestParts.size() &&
            FNestParts[static_cast<std::size_t>(c.Idx)].Idx == c.Idx) {
            FNestParts[static_cast<std::size_t>(c.Idx)].Value = c.Value;
        } else {
            throw std::out_of_range("SVC nest: candidate part index " + std::to_string(c.Idx) +
                                    " outside 0.." +
                                    std::to_string(static_cast<std::int64_t>(FNestParts.size()) - 1));
        }
    }
}

double TBackpack::CalcNestResultValue(const TNestResult& NestResult) const {
    double value = 0.0;
    for (const std::int32_t ref : NestResult.FPartOrder) {
        const auto idx = static_cast<std::size_t>(std::abs(ref) - 1);
        TUBENEST_ASSERT(ref != 0 && idx < FNestParts.size(), kModule,
                        "pattern holds unknown part " + std::to_string(ref));
        value += FNestParts[idx].Value;
    }
    return value;
}

void TBackpack::RemoveDuplicatesols(TNestResultList& NestResults, TSVCNestPartsList& Selections) {
    TUBENEST_ASSERT(static_cast<std::size_t>(NestResults.Count()) == Selections.size(), kModule,
                    "patterns and selections differ in number");
    const int n = NestResults.Count();
    std::vector<int> order(static_cast<std::size_t>(n));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&NestResults](int a, int b) {
        return NestResults[a].FPartOrder.size() < NestResults[b].FPartOrder.size();
    });
    TNestResultList sortedResults;
    TSVCNestPartsList sortedSelections;
    sortedResults.Reserve(n);
    sortedSelections.reserve(static_cast<std::size_t>(n));
    std::vector<TNestResultList::Item> items;
    items.reserve(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k) {
        items.push_back(NestResults.Extract(0));
    }
    for (const int k : order) {
        sortedResults.Add(std::move(items[static_cast<std::size_t>(k)]));
        sortedSelections.push_back(std::move(Selections[static_cast<std::size_t>(k)]));
    }

    std::vector<std::vector<std::int32_t>> counts(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k) {
        CountCopies(sortedResults[k].FPartOrder, counts[static_cast<std::size_t>(k)]);
    }
    auto holdsAll = [&counts](int earlier, int later) {
        const auto& e = counts[static_cast<std::size_t>(earlier)];
        const auto& l = counts[static_cast<std::size_t>(later)];
        for (std::size_t p = 0; p < l.size(); ++p) {
            if (l[p] > 0 && (p >= e.size() || e[p] < l[p])) {
                return false;
            }
        }
        return true;
    };
    std::vector<char> keep(static_cast<std::size_t>(n), 1);
    for (int j = n - 1; j >= 1; --j) {
        for (int i = 0; i < j; ++i) {
            if (keep[static_cast<std::size_t>(i)] && holdsAll(i, j)) {
                keep[static_cast<std::size_t>(j)] = 0;
                break;
            }
        }
    }
    NestResults.Clear();
    Selections.clear();
    for (int k = 0; k < n; ++k) {
        if (keep[static_cast<std::size_t>(k)]) {
            NestResults.Add(sortedResults.Extract(0));
            Selections.push_back(std::move(sortedSelections[static_cast<std::size_t>(k)]));
        } else {
            sortedResults.Delete(0);
        }
    }
}

TSVCNestParts TBackpack::DealOriPartAndNewPartGap(const TSVCNestTube& NestTube, TSVCNestParts& Candidates,
                                                  TNestResult& NestResult) {
    TSVCNestParts taken;
    if (NestTube.NestedPartIdx <= 0) {
        return taken;
    }
    FIsContinueNest = true;
    const std::int32_t m = NestTube.NestedPartIdx;
    struct TRanked {
        double Total;
        std::int32_t Ref;
        std::size_t Pos;
    };
    std::vector<TRanked> ranked;
    ranked.reserve(Candidates.size());
    for (std::size_t k = 0; k < Candidates.size(); ++k) {
        const auto& c = Candidates[k];
        if (c.Amount <= 0) {
            continue;
        }
        std::int32_t ref = c.Idx + 1;
        double gap = TGreedyAlgorithm::GetGap(*FSegPlaceInfo, m, ref);
        if (!FDisableReverse) {
            const double turned = TGreedyAlgorithm::GetGap(*FSegPlaceInfo, m, -ref);
            if (turned < gap) {
                gap = turned;
                ref = -ref;
            }
        }
        ranked.push_back(TRanked{c.Length + gap, ref, k});
    }
    std::stable_sort(ranked.begin(), ranked.end(),
                     [](const TRanked& a, const TRanked& b) { return a.Total > b.Total; });
    for (const auto& r : ranked) {
        if (fGreat(r.Total, NestTube.Length, kTol)) {
            continue;
        }
        TSVCNestPart& c = Candidates[r.Pos];
        NestResult.FPartOrder.assign(1, r.Ref);
        NestResult.FLengthUsed = r.Total;
        TSVCNestPart rec = c;
        rec.Amount = 1;
        taken.push_back(rec);
        c.Amount -= 1;
        if (c.Amount <= 0) {
            Candidates.erase(Candidates.begin() + static_cast<std::ptrdiff_t>(r.Pos));
        }
        break;
    }
    return taken;
}

} // namespace tubenest
