#include "bcp/kp_solver.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <numeric>
#include <stdexcept>
#include <string>

#include "svc/svc_nest.h"

namespace tubenest {

namespace {

constexpr double kFitTolerance = 1e-6;

bool Whole(double x) {
    return std::fabs(x - std::round(x)) <= 1e-9;
}

// Main row of each part of the sub-problem, by global part index.
std::int32_t MainRowOf(const TBCPNestParts& AParts, const std::vector<std::int32_t>& ADict,
                       std::int32_t AIdx) {
    for (std::size_t r = 0; r < AParts.size() && r < ADict.size(); ++r) {
        if (AParts[r].Idx == AIdx) {
            return ADict[r];
        }
    }
    return -1;
}

} // namespace

double OrderValue(const TIntDynArray& AOrder, const TBCPNestParts& AParts) {
    double value = 0.0;
    for (const std::int32_t ref : AOrder) {
        for (const auto& p : AParts) {
            if (p.Idx == std::abs(ref) - 1) {
                value += p.Value;
                break;
            }
        }
    }
    return value;
}

// ---------------------------------------------------------------------------------------------
// TSolver

TSolver::TSolver(const TSegPlaceInfoManager& ASegInfo, const TBCPNestParts& AParts, bool ACanReverse)
    : FParts(AParts), FSegInfo(&ASegInfo), FCanReverse(ACanReverse) {
    if (ASegInfo.FSinglePartGaps.size() != static_cast<std::size_t>(ASegInfo.FPartCount) ||
        ASegInfo.FPartToPartConnectParams.size() != static_cast<std::size_t>(ASegInfo.FPartCount)) {
        throw std::invalid_argument(
            "branch-cut-price nesting: the gap manager's run patterns are not derived "
            "(call InitializePartGaps first)");
    }
    FGeneralParts.resize(static_cast<std::size_t>(ASegInfo.FPartCount));
    FLengths.assign(static_cast<std::size_t>(ASegInfo.FPartCount), 0.0);
    for (const auto& p : AParts) {
        if (p.Idx < 0 || p.Idx >= ASegInfo.FPartCount) {
            throw std::invalid_argument("branch-cut-price nesting: part index " + std::to_string(p.Idx) +
                                        " outside the gap manager's " + std::to_string(ASegInfo.FPartCount) +
                                        " parts");
        }
        FGeneralParts[static_cast<std::size_t>(p.Idx)].FOuterlength = p.Length;
        FLengths[static_cast<std::size_t>(p.Idx)] = p.Length;
    }
}

double TSolver::LaidLength(const TIntDynArray& AOrder) const {
    double length = 0.0;
    for (std::size_t k = 0; k < AOrder.size(); ++k) {
        length += FLengths.at(static_cast<std::size_t>(std::abs(AOrder[k]) - 1));
        if (k > 0) {
            length += FSegInfo->GetGap(AOrder[k - 1], AOrder[k]);
        }
    }
    return length;
}

std::unique_ptr<TNestPattern> TSolver::PatternFromOrder(const TIntDynArray& AOrder,
                                                        const TBCPNestParts& AParts,
                                                        const TBCPNestTube& ATube,
                                                        const std::vector<std::int32_t>& ADict) const {
    if (AOrder.empty() || ADict.empty() || ATube.Length <= 0.0) {
        return nullptr;
    }
    const std::size_t mainRows = static_cast<std::size_t>(*std::max_element(ADict.begin(), ADict.end())) + 1;
    std::vector<double> column(mainRows, 0.0);
    for (const std::int32_t ref : AOrder) {
        const std::int32_t row = ref == 0 ? -1 : MainRowOf(AParts, ADict, std::abs(ref) - 1);
        if (row < 0) {
            return nullptr;
        }
        column[static_cast<std::size_t>(row)] += 1.0;
    }
    const double length = LaidLength(AOrder);
    if (length > ATube.Length + kFitTolerance) {
        return nullptr;
    }
    return std::make_unique<TNestPattern>(AOrder, length / ATube.Length, std::move(column));
}

// ---------------------------------------------------------------------------------------------
// TKPSolver

TKPSolver::TKPSolver(const TSegPlaceInfoManager& ASegInfos, const TBCPNestParts& AParts,
                     const TBCPNestTubes& ATubes, bool ACanReverse)
    : TSolver(ASegInfos, AParts, ACanReverse), FGapInfoTable(ASegInfos) {
    double longest = 0.0;
    for (const auto& t : ATubes) {
        longest = std::max(longest, t.Length);
    }
    UpdateKPTable(AParts, longest);
}

std::int32_t TKPSolver::RunFamily(std::int32_t AIdx, std::int32_t k, double& AGaps) const {
    // 0: all in their own direction; 1: all turned; 2: alternating from its own direction;
    // 3: alternating from turned.
    const std::int32_t p = AIdx + 1;
    const std::int32_t joints = std::max(k - 1, 0);
    const std::int32_t first = (joints + 1) / 2;
    const std::int32_t second = joints / 2;
    double best = joints * FGapInfoTable.GetGap(p, p);
    std::int32_t family = 0;
    if (FCanReverse && joints > 0) {
        const double pn = FGapInfoTable.GetGap(p, -p);
        const double np = FGapInfoTable.GetGap(-p, p);
        const double candidates[3] = {joints * FGapInfoTable.GetGap(-p, -p), first * pn + second * np,
                                      first * np + second * pn};
        for (std::int32_t f = 0; f < 3; ++f) {
            if (candidates[f] < best - 1e-9) {
                best = candidates[f];
                family = f + 1;
            }
        }
    }
    AGaps = best;
    return family;
}

void TKPSolver::AppendRun(std::int32_t AIdx, std::int32_t k, TIntDynArray& AOrder) const {
    double gaps = 0.0;
    const std::int32_t family = RunFamily(AIdx, k, gaps);
    const std::int32_t p = AIdx + 1;
    for (std::int32_t c = 0; c < k; ++c) {
        switch (family) {
        case 1:
            AOrder.push_back(-p);
            break;
        case 2:
            AOrder.push_back(c % 2 == 0 ? p : -p);
            break;
        case 3:
            AOrder.push_back(c % 2 == 0 ? -p : p);
            break;
        default:
            AOrder.push_back(p);
            break;
        }
    }
}

void TKPSolver::UpdateKPTable(const TBCPNestParts& AParts, double MaxTubeLen) {
    if (FMaxTubeLen >= MaxTubeLen && !FKPLengthTable.empty()) {
        return;
    }
    FMaxTubeLen = MaxTubeLen;
    std::int32_t maxIdx = -1;
    for (const auto& p : AParts) {
        maxIdx = std::max(maxIdx, p.Idx);
    }
    if (static_cast<std::int32_t>(FKPLengthTable.size()) < maxIdx + 1) {
        FKPLengthTable.resize(static_cast<std::size_t>(maxIdx + 1));
    }
    for (const auto& p : AParts) {
        if (p.Amount < 1 || p.Length <= 0.0) {
            continue;
        }
        auto& row = FKPLengthTable[static_cast<std::size_t>(p.Idx)];
        if (row.empty()) {
            row.push_back(0.0);
        }
        for (auto k = static_cast<std::int32_t>(row.size());; ++k) {
            double gaps = 0.0;
            RunFamily(p.Idx, k, gaps);
            const double length = k * p.Length + gaps;
            if (length > FMaxTubeLen + kFitTolerance) {
                break;
            }
            row.push_back(length);
        }
    }
}

double TKPSolver::RunLength(std::int32_t AIdx, std::int32_t k) const {
    return FKPLengthTable.at(static_cast<std::size_t>(AIdx)).at(static_cast<std::size_t>(k));
}

double TKPSolver::JointGap() const {
    return FGapInfoTable.MaxGap;
}

bool TKPSolver::IsExact(const TBCPNestParts& AParts, const TBCPNestTube& ATube) const {
    if (!FGapInfoTable.AllGapSame) {
        return false;
    }
    const double g = JointGap();
    if (!Whole(ATube.Length + g)) {
        return false;
    }
    std::int64_t cells = 0;
    const auto capacity = static_cast<std::int64_t>(std::floor(ATube.Length + g + 1e-9));
    for (const auto& p : AParts) {
        if (p.Amount <= 0) {
            continue;
        }
        if (p.Length <= kMinPricedLength || !Whole(p.Length + g)) {
            return false;
        }
        cells += capacity + 1;
    }
    return cells <= kMaxCells;
}

std::unique_ptr<TNestPattern> TKPSolver::SolveOnePattern(const TBCPNestParts& AParts,
                                                         const TBCPNestTube& ATube,
                                                         const std::vector<std::int32_t>& ADict, bool& Succ,
                                                         double& ACostValue) const {
    Succ = false;
    ACostValue = 0.0;
    const double g = JointGap();
    // Every run is charged one joint; the tube gets one back, as the last run has none.
    const double room = ATube.Length + g;
    if (room < 1.0) {
        return nullptr;
    }
    struct Stage {
        std::size_t part;
        std::vector<std::int64_t> weights; ///< per copies k = 0..m
        double value;
    };
    std::vector<Stage> stages;
    std::int64_t work = 0;
    const auto fullCapacity = static_cast<std::int64_t>(std::floor(room + 1e-9));
    for (std::size_t r = 0; r < AParts.size(); ++r) {
        const TBCPNestPart& part = AParts[r];
        if (part.Amount <= 0 || part.Value <= 0.0 || part.Length <= kMinPricedLength ||
            part.Idx >= static_cast<std::int32_t>(FKPLengthTable.size())) {
            continue;
        }
        const auto& runs = FKPLengthTable[static_cast<std::size_t>(part.Idx)];
        const std::int32_t m =
            std::min<std::int32_t>(part.Amount, static_cast<std::int32_t>(runs.size()) - 1);
        if (m <= 0) {
            continue;
        }
        stages.push_back(Stage{r, {}, part.Value});
        work += static_cast<std::int64_t>(m) * (fullCapacity + 1);
    }
    if (stages.empty()) {
        return nullptr;
    }
    // Coarser units when the table would be too large: weights up, capacity down keep it sound.
    double scale = 1.0;
    const auto cellsAtFull = static_cast<std::int64_t>(stages.size()) * (fullCapacity + 1);
    const std::int64_t maxWork = kMaxCells * 8;
    if (cellsAtFull > kMaxCells || work > maxWork) {
        scale = std::min(static_cast<double>(kMaxCells) / static_cast<double>(cellsAtFull),
                         static_cast<double>(maxWork) / static_cast<double>(work));
    }
    const auto capacity = static_cast<std::int64_t>(std::floor(room * scale + 1e-9));
    if (capacity < 1) {
        return nullptr;
    }
    for (auto& stage : stages) {
        const TBCPNestPart& part = AParts[stage.part];
        const auto& runs = FKPLengthTable[static_cast<std::size_t>(part.Idx)];
        const std::int32_t m =
            std::min<std::int32_t>(part.Amount, static_cast<std::int32_t>(runs.size()) - 1);
        stage.weights.push_back(0);
        for (std::int32_t k = 1; k <= m; ++k) {
            const auto w =
                static_cast<std::int64_t>(std::ceil((runs[static_cast<std::size_t>(k)] + g) * scale - 1e-9));
            if (w > capacity) {
                break;
            }
            stage.weights.push_back(std::max<std::int64_t>(w, 1));
        }
    }

    // best[c]: largest value within capacity c; used[c]: the weight it takes (ties go to less).
    const auto cells = static_cast<std::size_t>(capacity + 1);
    std::vector<double> best(cells, 0.0), next(cells, 0.0);
    std::vector<std::int64_t> used(cells, 0), nextUsed(cells, 0);
    std::vector<std::vector<std::uint16_t>> choice(stages.size(), std::vector<std::uint16_t>(cells, 0));
    for (std::size_t s = 0; s < stages.size(); ++s) {
        const Stage& stage = stages[s];
        auto& pick = choice[s];
        for (std::size_t c = 0; c < cells; ++c) {
            double v = best[c];
            std::int64_t u = used[c];
            std::uint16_t k = 0;
            for (std::size_t j = 1; j < stage.weights.size() && j <= 65535; ++j) {
                const auto w = static_cast<std::size_t>(stage.weights[j]);
                if (w > c) {
                    break;
                }
                const double cand = best[c - w] + static_cast<double>(j) * stage.value;
                const std::int64_t candUsed = used[c - w] + static_cast<std::int64_t>(w);
                const double tol = 1e-9 * std::max(1.0, std::fabs(v));
                if (cand > v + tol || (cand >= v - tol && candUsed < u)) {
                    v = cand;
                    u = candUsed;
                    k = static_cast<std::uint16_t>(j);
                }
            }
            next[c] = v;
            nextUsed[c] = u;
            pick[c] = k;
        }
        best.swap(next);
        used.swap(nextUsed);
    }
    std::vector<std::int32_t> counts(AParts.size(), 0);
    std::size_t c = cells - 1;
    for (std::size_t s = stages.size(); s-- > 0;) {
        const std::uint16_t k = choice[s][c];
        counts[stages[s].part] = k;
        c -= static_cast<std::size_t>(stages[s].weights[k]);
    }
    ACostValue = best[cells - 1];
    auto pattern = TryGetPattern(AParts, ATube, ADict, counts);
    Succ = pattern != nullptr;
    return pattern;
}

double TKPSolver::CalcOrder(const std::vector<std::int32_t>& ACounts, const std::vector<std::int32_t>& AIdxs,
                            TIntDynArray& AOrder) const {
    AOrder.clear();
    TIntDynArray idxs, amounts;
    for (std::size_t i = 0; i < AIdxs.size(); ++i) {
        if (ACounts[i] > 0) {
            idxs.push_back(AIdxs[i]);
            amounts.push_back(ACounts[i]);
        }
    }
    if (idxs.empty()) {
        return 0.0;
    }
    TIntDynArray chain;
    FSegInfo->CalcMinLen(idxs, amounts, &chain, FLengths);
    for (const std::int32_t idx : chain) {
        const auto at = std::find(idxs.begin(), idxs.end(), idx);
        if (at != idxs.end()) {
            AppendRun(idx, amounts[static_cast<std::size_t>(at - idxs.begin())], AOrder);
        }
    }
    TUBENEST_ASSERT(AOrder.size() == static_cast<std::size_t>(
                                         std::accumulate(amounts.begin(), amounts.end(), std::int64_t{0})),
                    kBCPSolverModule, "CalcOrder lost copies");
    return LaidLength(AOrder);
}

std::unique_ptr<TNestPattern> TKPSolver::TryGetPattern(const TBCPNestParts& AParts, const TBCPNestTube& ATube,
                                                       const std::vector<std::int32_t>& ADict,
                                                       const std::vector<std::int32_t>& ACounts) const {
    std::vector<std::int32_t> idxs;
    idxs.reserve(AParts.size());
    for (const auto& p : AParts) {
        idxs.push_back(p.Idx);
    }
    TIntDynArray order;
    CalcOrder(ACounts, idxs, order);
    return PatternFromOrder(order, AParts, ATube, ADict);
}

std::unique_ptr<TBCPSolution<TNestPattern>> TKPSolver::GreedyNestWithoutOrder(const TTubeProblem& AProblem,
                                                                              bool& Succ) const {
    auto solution = std::make_unique<TBCPSolution<TNestPattern>>();
    Succ = true;
    const TBCPNestParts& parts = AProblem.NestParts();
    const TBCPNestTube& tube = AProblem.NestTube();
    const auto& dict = AProblem.RowDict();
    const double g = JointGap();
    std::vector<std::int32_t> remaining;
    for (const auto& p : parts) {
        remaining.push_back(std::max(p.Amount, 0));
    }
    // Tenths of a millimetre; each copy carries one largest gap, the tube gets one back.
    const double capacityD = std::floor((tube.Length + g) * 10.0 + 1e-9);
    if (capacityD < 1.0 || capacityD > 2.0e9) {
        return solution;
    }
    const auto capacity = static_cast<std::int32_t>(capacityD);
    TKnapsackSolver knapsack;
    // Not cut short by a stop: one knapsack per tube is bounded work, and without a complete start
    // the search would have nothing to return.
    for (;;) {
        std::vector<std::int32_t> weights, values, bounds, rows;
        for (std::size_t r = 0; r < parts.size(); ++r) {
            if (remaining[r] <= 0) {
                continue;
            }
            const double w = std::ceil((parts[r].Length + g) * 10.0 - 1e-9);
            if (w > capacityD) {
                continue;
            }
            const auto wi = static_cast<std::int32_t>(std::max(w, 1.0));
            weights.push_back(wi);
            values.push_back(wi);
            bounds.push_back(remaining[r]);
            rows.push_back(static_cast<std::int32_t>(r));
        }
        if (weights.empty()) {
            break;
        }
        std::vector<std::int32_t> chosen;
        knapsack.SolveMultiKnapsack(weights, values, bounds, capacity, chosen);
        std::vector<std::int32_t> counts(parts.size(), 0);
        std::int32_t repeat = std::numeric_limits<std::int32_t>::max();
        for (std::size_t i = 0; i < chosen.size(); ++i) {
            if (chosen[i] > 0) {
                const auto r = static_cast<std::size_t>(rows[i]);
                counts[r] = chosen[i];
                repeat = std::min(repeat, remaining[r] / chosen[i]);
            }
        }
        if (repeat == std::numeric_limits<std::int32_t>::max() || repeat <= 0) {
            break;
        }
        auto pattern = TryGetPattern(parts, tube, dict, counts);
        if (pattern == nullptr) {
            break; // cannot happen with the largest gap charged per copy; stop rather than loop
        }
        solution->AddSubSolution(std::move(pattern), repeat);
        for (std::size_t r = 0; r < parts.size(); ++r) {
            remaining[r] -= counts[r] * repeat;
        }
    }
    return solution;
}

// ---------------------------------------------------------------------------------------------
// TTrapezodKPSolver

TTrapezodKPSolver::TTrapezodKPSolver(const TSegPlaceInfoManager& ASegInfos, const TBCPNestParts& AParts,
                                     const TCADAutoNestParam& NestParam, const TKPSolver* AExactSolver)
    : TSolver(ASegInfos, AParts, !NestParam.DisableReverse()), FNestParam(NestParam),
      FExactSolver(AExactSolver) {}

TTrapezodKPSolver::~TTrapezodKPSolver() = default;

TBackpack& TTrapezodKPSolver::Backpack(std::int32_t AThread) {
    const auto slot = static_cast<std::size_t>(std::max(AThread + 1, 0));
    std::lock_guard lock(FBackpackLock);
    if (FBackpacks.size() <= slot) {
        FBackpacks.resize(slot + 1);
    }
    if (FBackpacks[slot] == nullptr) {
        // One backpack per thread for the whole run: its table is sized once and reused. It
        // knows every part by its global index (the lengths); amounts and values come per call.
        TGeneralNestPartArr parts = FGeneralParts;
        TGeneralNestTubeArr tubes(1);
        tubes[0].FTubeInitialLen = 1.0;
        tubes[0].FAmountAvail = 1;
        FBackpacks[slot] = std::make_unique<TBackpack>(parts, tubes, FNestParam, *FSegInfo);
    }
    return *FBackpacks[slot];
}

namespace {

TSVCNestParts SvcParts(const TBCPNestParts& AParts) {
    TSVCNestParts result;
    for (const auto& p : AParts) {
        if (p.Amount > 0) {
            result.push_back(TSVCNestPart{p.Length, p.Value, p.Amount, p.Idx});
        }
    }
    return result;
}

} // namespace

std::unique_ptr<TNestPattern>
TTrapezodKPSolver::TryGetPatternTrapezoid(const TBCPNestParts& AParts, const TBCPNestTube& ATube,
                                          const std::vector<std::int32_t>& ADict,
                                          const TNestResult& AResult) const {
    // Copies beyond the row's demand would not enter the node: such a layout is no column here.
    for (const auto& p : AParts) {
        const auto copies = std::count_if(AResult.FPartOrder.begin(), AResult.FPartOrder.end(),
                                          [&](std::int32_t ref) { return std::abs(ref) - 1 == p.Idx; });
        if (copies > p.Amount) {
            return nullptr;
        }
    }
    return PatternFromOrder(AResult.FPartOrder, AParts, ATube, ADict);
}

std::unique_ptr<TNestPattern>
TTrapezodKPSolver::SolveOnePatternTrapezoid(const TBCPNestParts& AParts, const TBCPNestTube& ATube,
                                            const std::vector<std::int32_t>& ADict, bool& Succ,
                                            double& ACostValue, std::int32_t AThread) {
    Succ = false;
    ACostValue = 0.0;
    TSVCNestParts input = SvcParts(AParts);
    if (input.empty()) {
        return nullptr;
    }
    TSVCNestTube tube;
    tube.Length = ATube.Length;
    tube.Amount = 1;
    tube.Idx = ATube.Idx;
    TSVCNestParts selected;
    TNestResult result;
    Backpack(AThread).AutoNest(tube, input, selected, result);
    auto pattern = TryGetPatternTrapezoid(AParts, ATube, ADict, result);
    if (pattern != nullptr) {
        ACostValue = OrderValue(pattern->Order(), AParts);
        Succ = true;
    }
    return pattern;
}

bool TTrapezodKPSolver::SolveMultiOnePatternTrapezoid(const TBCPNestParts& AParts, const TBCPNestTube& ATube,
                                                      const std::vector<std::int32_t>& ADict,
                                                      double CostValueBound,
                                                      std::vector<std::unique_ptr<TNestPattern>>& Sols,
                                                      std::int32_t AThread) {
    auto offer = [&](std::unique_ptr<TNestPattern> pattern, double value) {
        if (pattern != nullptr && value > CostValueBound) {
            for (const auto& s : Sols) {
                if (s->IsSameWith(*pattern)) {
                    return;
                }
            }
            Sols.push_back(std::move(pattern));
        }
    };
    if (FExactSolver != nullptr) {
        bool succ = false;
        double value = 0.0;
        auto pattern = FExactSolver->SolveOnePattern(AParts, ATube, ADict, succ, value);
        if (succ) {
            offer(std::move(pattern), value);
        }
        // Where the programme is exact and found a column, the backpack cannot find a better one;
        // where it found none, no layout is worth more than the bound.
        if (FExactSolver->IsExact(AParts, ATube)) {
            return !Sols.empty();
        }
    }
    try {
        bool succ = false;
        double value = 0.0;
        auto pattern = SolveOnePatternTrapezoid(AParts, ATube, ADict, succ, value, AThread);
        if (succ) {
            offer(std::move(pattern), value);
        }
        if (FMultiNest.load()) {
            const TSVCNestParts input = SvcParts(AParts);
            const auto T = static_cast<std::int32_t>(std::floor(ATube.Length + 1e-9));
            if (!input.empty() && T > 0) {
                TNestResultList results;
                TSVCNestPartsList selections, remainders;
                const TGreedyAlgorithm greedy(FNestParam.DisableReverse());
                Backpack(AThread).SingleTubeMultiNest(T, input, *FSegInfo, results, selections, remainders,
                                                      greedy);
                for (int j = 0; j < results.Count(); ++j) {
                    auto multi = TryGetPatternTrapezoid(AParts, ATube, ADict, results[j]);
                    if (multi != nullptr) {
                        const double worth = OrderValue(multi->Order(), AParts);
                        offer(std::move(multi), worth);
                    }
                }
            }
        }
    } catch (const TSVCTableLimitError&) {
        // Too large a table for the backpack at whole millimetres: the columns found so far stand.
        if (FExactSolver == nullptr && Sols.empty()) {
            throw;
        }
    }
    return !Sols.empty();
}

std::unique_ptr<TBCPSolution<TNestPattern>>
TTrapezodKPSolver::GreedyNestWithSingleLength(const TTubeProblem& AProblem, bool& Succ) {
    TGeneralNestPartArr parts = FGeneralParts;
    std::int32_t copies = 0;
    for (const auto& p : AProblem.NestParts()) {
        parts[static_cast<std::size_t>(p.Idx)].FAmountAvail = std::max(p.Amount, 0);
        copies += std::max(p.Amount, 0);
    }
    TGeneralNestTubeArr tubes(1);
    tubes[0].FTubeInitialLen = AProblem.NestTube().Length;
    tubes[0].FAmountAvail = std::max(copies, 1);
    TNestResultList results;
    {
        TBackpack backpack(parts, tubes, FNestParam, *FSegInfo);
        static_cast<void>(backpack.SVCNest(results));
    }
    auto solution = std::make_unique<TNestPatternSolution>(results, AProblem);
    Succ = true;
    ++FNestTime;
    FMultiNest = false;
    return solution;
}

} // namespace tubenest
