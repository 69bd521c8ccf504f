#include "colgen/column_generation.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <stdexcept>
#include <string>

#include "model/assertion.h"
#include "model/nest_progress.h"
#include "model/seg_place_info.h"

namespace tubenest {
namespace {
constexpr const char* kModule = "ColumnGeneration";
// A reduced cost or dual below this is negative.
constexpr double kReducedCostTolerance = 1e-5;
// An entry of the entering column above this may leave the basis.
constexpr double kPivotTolerance = 1e-6;
// A relaxed tube count within this of 0 is 0.
constexpr double kZeroAmount = 1e-6;
// A pivot of a fresh inverse below this means the basis is singular.
constexpr double kSingularPivot = 1e-10;

std::string Index(std::size_t i) {
    return std::to_string(i);
}

/// Exchanges without any fall of the objective after which the simplex gives up.
std::int32_t StallLimit(std::int32_t n) {
    return 100 + 2 * n;
}
/// Exchanges at most.
std::int32_t IterationLimit(std::int32_t n) {
    return 1000 + 50 * n;
}
} // namespace

TColGenData::TColGenData(std::int32_t APartCount) : FPartCount(APartCount) {
    if (APartCount < 0) {
        throw std::invalid_argument("column generation: part count " + std::to_string(APartCount) +
                                    " is negative");
    }
    const auto n = static_cast<std::size_t>(APartCount);
    FPartOriIndexs.assign(n, 0);
    FPartLengths.assign(n, 0.0);
    FTubeLengths.assign(1, 0.0);
    FPartAmounts.assign(n, 0);
}

void TColGenData::Validate() const {
    const auto n = static_cast<std::size_t>(FPartCount);
    if (FPartCount < 0 || FPartOriIndexs.size() != n || FPartLengths.size() != n ||
        FPartAmounts.size() != n || FTubeLengths.empty()) {
        throw std::invalid_argument("column generation: the arrays do not match the part count " +
                                    std::to_string(FPartCount));
    }
    const double tube = FTubeLengths[0];
    if (!std::isfinite(tube) || tube <= 0.0 || tube >= 2147483647.0) {
        throw std::invalid_argument("column generation: tube length " + std::to_string(tube) +
                                    " is not a positive length");
    }
    std::int64_t total = 0;
    std::vector<char> seen(FPartGapTable != nullptr ? static_cast<std::size_t>(FPartGapTable->FPartCount) : 0,
                           0);
    for (std::size_t i = 0; i < n; ++i) {
        if (!std::isfinite(FPartLengths[i]) || FPartLengths[i] < 0.0) {
            throw std::invalid_argument("column generation: part " + Index(i) + " has length " +
                                        std::to_string(FPartLengths[i]));
        }
        if (FPartAmounts[i] < 0) {
            throw std::invalid_argument("column generation: part " + Index(i) + " has demand " +
                                        std::to_string(FPartAmounts[i]));
        }
        total += FPartAmounts[i];
        if (FPartGapTable != nullptr) {
            const std::int32_t ori = FPartOriIndexs[i];
            if (ori < 0 || ori >= FPartGapTable->FPartCount || seen[static_cast<std::size_t>(ori)] != 0) {
                throw std::invalid_argument(
                    "column generation: part " + Index(i) + " has gap-manager index " + std::to_string(ori) +
                    ", outside 0.." + std::to_string(FPartGapTable->FPartCount - 1) + " or repeated");
            }
            seen[static_cast<std::size_t>(ori)] = 1;
        }
    }
    if (total > std::numeric_limits<std::int32_t>::max()) {
        throw std::invalid_argument("column generation: total demand " + std::to_string(total) +
                                    " is too large");
    }
}

std::int32_t TColGenStatistics::TubeLowerBound() const {
    return static_cast<std::int32_t>(std::max(0.0, std::ceil(LPLowerBound - 1e-6)));
}

std::int32_t TColumnGenerationSolver::RoundTubeAmount(double ARelaxed) {
    const double whole = std::trunc(ARelaxed + 0.999);
    return static_cast<std::int32_t>(std::clamp(whole, 0.0, 2147483647.0));
}

double TColumnGenerationSolver::RowDemand(std::size_t i) const {
    return FInLP[i] != 0 ? static_cast<double>(FData->FPartAmounts[i]) : 0.0;
}

double TColumnGenerationSolver::Objective() const {
    double z = 0.0;
    for (std::size_t j = 0; j < FPatternTubeAmount.size(); ++j) {
        z += FTubeCost[j] * FPatternTubeAmount[j];
    }
    return z;
}

void TColumnGenerationSolver::SetData(const TColGenData& AData) {
    AData.Validate();
    FData = &AData;
    const auto n = static_cast<std::size_t>(AData.FPartCount);
    const double tube = AData.TubeLength();
    FStatistics = TColGenStatistics{};
    FInLP.assign(n, 0);
    for (std::size_t i = 0; i < n; ++i) {
        const double length = AData.FPartLengths[i];
        FInLP[i] = length > kColGenMinPartLength && length <= tube ? 1 : 0;
        if (FInLP[i] == 0) {
            FStatistics.ExcludedParts.push_back(static_cast<std::int32_t>(i));
        }
    }
    FPricing.Prepare(AData, FInLP);
}

void TColumnGenerationSolver::InitialSolution() {
    TUBENEST_ASSERT(FData != nullptr, kModule, "InitialSolution before SetData");
    const auto n = static_cast<std::size_t>(FData->FPartCount);
    const double tube = FData->TubeLength();
    FPattern.assign(n, TIntDynArray(n, 0));
    FInverseB.assign(n, TExtendedDynArray(n, 0.0));
    FPatternTubeAmount.assign(n, 0.0);
    FTubeCost.assign(n, 0.0);
    FSimplexMul.assign(n, 0.0);
    FNewColumnParam.assign(n, 0.0);
    for (std::size_t i = 0; i < n; ++i) {
        if (FInLP[i] != 0) {
            const auto copies = static_cast<std::int32_t>(std::trunc(tube / FData->FPartLengths[i]));
            FPattern[i][i] = copies;
            FInverseB[i][i] = 1.0 / copies;
            FTubeCost[i] = 1.0;
        } else {
            // A unit column of cost 0 over a row without demand keeps the basis regular.
            FPattern[i][i] = 1;
            FInverseB[i][i] = 1.0;
        }
        FPatternTubeAmount[i] = FInverseB[i][i] * RowDemand(i);
    }
}

void TColumnGenerationSolver::CalcSimplexMultiplier() {
    const std::size_t n = FInverseB.size();
    FSimplexMul.assign(n, 0.0);
    for (std::size_t j = 0; j < n; ++j) {
        if (FTubeCost[j] == 0.0) {
            continue;
        }
        const TExtendedDynArray& row = FInverseB[j];
        for (std::size_t i = 0; i < n; ++i) {
            FSimplexMul[i] += FTubeCost[j] * row[i];
        }
    }
}

bool TColumnGenerationSolver::SolveSubproblem(const TExtendedDynArray& ASimplexMul, TIntDynArray& APattern) {
    TUBENEST_ASSERT(FData != nullptr, kModule, "SolveSubproblem before SetData");
    FPricing.Solve(ASimplexMul, APattern);
    return FData->FPartCount > 0;
}

void TColumnGenerationSolver::FindNewColumn(TIntDynArray& AColumn, double& AReducedCost) {
    const std::size_t n = FSimplexMul.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (FInLP[i] != 0 && FSimplexMul[i] < -kReducedCostTolerance) {
            AColumn.assign(n, 0);
            AColumn[i] = -1;
            FCost = 0.0;
            AReducedCost = FSimplexMul[i];
            return;
        }
    }
    SolveSubproblem(FSimplexMul, AColumn);
    FCost = 1.0;
    if (FPricing.Aborted()) { // stopped: no column, and nothing proven
        AReducedCost = 0.0;
        return;
    }
    double value = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        value += AColumn[i] * FSimplexMul[i];
    }
    AReducedCost = FCost - value;
}

void TColumnGenerationSolver::UpdateNewColumn(const TIntDynArray& AColumn) {
    const std::size_t n = FInverseB.size();
    TUBENEST_ASSERT(AColumn.size() == n, kModule, "an entering column does not match the part count");
    FNewColumnParam.assign(n, 0.0);
    for (std::size_t c = 0; c < n; ++c) {
        if (AColumn[c] == 0) {
            continue;
        }
        for (std::size_t r = 0; r < n; ++r) {
            FNewColumnParam[r] += FInverseB[r][c] * AColumn[c];
        }
    }
}

std::int32_t TColumnGenerationSolver::ChoseDropColumn() {
    std::int32_t drop = -1;
    for (std::size_t r = 0; r < FNewColumnParam.size(); ++r) {
        if (FNewColumnParam[r] > kPivotTolerance) {
            // A basic amount a hair below 0 (rounding) counts as 0, never as a step backwards.
            const double ratio = std::max(0.0, FPatternTubeAmount[r]) / FNewColumnParam[r];
            if (drop < 0 || ratio < FRatioMax) {
                drop = static_cast<std::int32_t>(r);
                FRatioMax = ratio;
            }
        }
    }
    return drop;
}

void TColumnGenerationSolver::UpdateInverseB(std::int32_t ADropPos) {
    const auto r = static_cast<std::size_t>(ADropPos);
    const std::size_t n = FInverseB.size();
    const double pivot = FNewColumnParam[r];
    TUBENEST_ASSERT(pivot > kPivotTolerance, kModule, "pivot on an entry that may not leave");
    TExtendedDynArray& pivotRow = FInverseB[r];
    for (double& v : pivotRow) {
        v /= pivot;
    }
    // The pivot row is divided once, above; the other rows subtract multiples of the divided row.
    for (std::size_t k = 0; k < n; ++k) {
        const double factor = FNewColumnParam[k];
        if (k == r || factor == 0.0) {
            continue;
        }
        TExtendedDynArray& row = FInverseB[k];
        for (std::size_t c = 0; c < n; ++c) {
            row[c] -= factor * pivotRow[c];
        }
    }
}

void TColumnGenerationSolver::UpdateSolution(std::int32_t ADropPos) {
    for (std::size_t k = 0; k < FPatternTubeAmount.size(); ++k) {
        FPatternTubeAmount[k] -= FNewColumnParam[k] * FRatioMax;
    }
    FPatternTubeAmount[static_cast<std::size_t>(ADropPos)] = FRatioMax;
}

bool TColumnGenerationSolver::ReinvertBasis() {
    const std::size_t n = FPattern.size();
    // Gauss-Jordan with partial pivoting on [B | I]; B[i][j] is row i of basic column j.
    TDoubleExtendedDynArray b(n, TExtendedDynArray(n, 0.0));
    TDoubleExtendedDynArray inv(n, TExtendedDynArray(n, 0.0));
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j < n; ++j) {
            b[i][j] = FPattern[j][i];
        }
        inv[i][i] = 1.0;
    }
    for (std::size_t col = 0; col < n; ++col) {
        std::size_t pivot = col;
        for (std::size_t r = col + 1; r < n; ++r) {
            if (std::fabs(b[r][col]) > std::fabs(b[pivot][col])) {
                pivot = r;
            }
        }
        if (std::fabs(b[pivot][col]) < kSingularPivot) {
            return false;
        }
        std::swap(b[pivot], b[col]);
        std::swap(inv[pivot], inv[col]);
        const double p = b[col][col];
        for (std::size_t c = 0; c < n; ++c) {
            b[col][c] /= p;
            inv[col][c] /= p;
        }
        for (std::size_t r = 0; r < n; ++r) {
            const double f = b[r][col];
            if (r == col || f == 0.0) {
                continue;
            }
            for (std::size_t c = 0; c < n; ++c) {
                b[r][c] -= f * b[col][c];
                inv[r][c] -= f * inv[col][c];
            }
        }
    }
    FInverseB = std::move(inv);
    for (std::size_t r = 0; r < n; ++r) {
        double x = 0.0;
        for (std::size_t c = 0; c < n; ++c) {
            x += FInverseB[r][c] * RowDemand(c);
        }
        FPatternTubeAmount[r] = x;
    }
    ++FStatistics.Reinversions;
    return true;
}

TColGenResult TColumnGenerationSolver::RoundedSolution() const {
    const std::size_t n = FPattern.size();
    TColGenResult r;
    r.Solutions.reserve(n);
    for (std::size_t j = 0; j < n; ++j) {
        // The unit column of a row kept out of the programme is no pattern: report it empty.
        r.Solutions.push_back(FInLP[j] != 0 ? FPattern[j] : TIntDynArray(n, 0));
        r.SolutionFAmount.push_back(FPatternTubeAmount[j]);
        const bool counts =
            !fEqual(FPatternTubeAmount[j], 0.0, kZeroAmount) && !fEqual(FTubeCost[j], 0.0, kZeroAmount);
        r.SolutionAmount.push_back(counts ? RoundTubeAmount(FPatternTubeAmount[j]) : 0);
        r.UsedAmount += r.SolutionAmount.back();
    }
    return r;
}

bool TColumnGenerationSolver::FindIntegerSolution(TColGenResult& R) {
    TUBENEST_ASSERT(FData != nullptr, kModule, "FindIntegerSolution before SetData");
    const auto n = static_cast<std::size_t>(FData->FPartCount);
    TUBENEST_ASSERT(R.Solutions.size() == R.SolutionAmount.size(), kModule,
                    "solution arrays differ in length");
    std::vector<std::int64_t> surplus(n, 0); // produced - demand
    for (std::size_t i = 0; i < n; ++i) {
        surplus[i] = -static_cast<std::int64_t>(RowDemand(i));
    }
    for (std::size_t j = 0; j < R.Solutions.size(); ++j) {
        TUBENEST_ASSERT(R.Solutions[j].size() == n, kModule, "a pattern does not match the part count");
        for (std::size_t i = 0; i < n; ++i) {
            surplus[i] += static_cast<std::int64_t>(R.Solutions[j][i]) * R.SolutionAmount[j];
        }
    }
    const bool covers = std::all_of(surplus.begin(), surplus.end(), [](std::int64_t s) { return s >= 0; });
    if (covers) {
        // One pass lowers every pattern as far as the cover allows; lowering a later pattern only
        // shrinks the surplus, so no earlier one could be lowered further afterwards.
        for (std::size_t j = 0; j < R.Solutions.size(); ++j) {
            const TIntDynArray& a = R.Solutions[j];
            std::int64_t lower = R.SolutionAmount[j];
            bool pattern = lower > 0;
            for (std::size_t i = 0; i < n && pattern; ++i) {
                if (a[i] < 0) {
                    pattern = false;
                } else if (a[i] > 0) {
                    lower = std::min(lower, surplus[i] / a[i]);
                }
            }
            if (!pattern || lower <= 0) {
                continue;
            }
            R.SolutionAmount[j] -= static_cast<std::int32_t>(lower);
            R.UsedAmount -= static_cast<std::int32_t>(lower);
            for (std::size_t i = 0; i < n; ++i) {
                surplus[i] -= lower * a[i];
            }
        }
    }
    FMinColGenResult = R;
    return covers;
}

bool TColumnGenerationSolver::DoSolve(const TColGenData& AData, TColGenResult& ColGenResult) {
    SetData(AData);
    InitialSolution();
    CalcSimplexMultiplier();
    TIntDynArray column;
    double reducedCost = 0.0;
    FindNewColumn(column, reducedCost);

    const std::int32_t n = AData.FPartCount;
    double bestObjective = Objective();
    std::int32_t sinceFall = 0;
    std::int32_t sinceInverse = 0;
    TColGenStopReason reason = TColGenStopReason::Optimal;
    while (reducedCost < -kReducedCostTolerance || FPricing.Aborted()) {
        if (FPricing.Aborted() || GetStopped()) {
            reason = TColGenStopReason::Stopped;
            break;
        }
        if (FStatistics.Iterations >= IterationLimit(n)) {
            reason = TColGenStopReason::IterationLimit;
            break;
        }
        UpdateNewColumn(column);
        const std::int32_t drop = ChoseDropColumn();
        if (drop < 0) {
            reason = TColGenStopReason::NoLeavingRow;
            break;
        }
        FStatistics.DegeneratePivots += FRatioMax == 0.0 ? 1 : 0;
        UpdateInverseB(drop);
        UpdateSolution(drop);
        FPattern[static_cast<std::size_t>(drop)] = column;
        FTubeCost[static_cast<std::size_t>(drop)] = FCost;
        ++FStatistics.Iterations;
        if (++sinceInverse >= kReinvertEvery) {
            ReinvertBasis();
            sinceInverse = 0;
        }
        const double z = Objective();
        if (z < bestObjective - 1e-9 * std::max(1.0, bestObjective)) {
            bestObjective = z;
            sinceFall = 0;
        } else if (++sinceFall >= StallLimit(n)) {
            reason = TColGenStopReason::Stalled;
            break;
        }
        CalcSimplexMultiplier();
        FindNewColumn(column, reducedCost);
    }
    if (sinceInverse > 0) {
        ReinvertBasis();
    }
    CalcSimplexMultiplier();
    FStatistics.StopReason = reason;
    FStatistics.LPValue = Objective();
    // Weak duality: the duals made non-negative and scaled so that no pattern that fits is worth
    // more than one tube form a feasible dual solution, whatever basis the simplex ended on.
    TExtendedDynArray duals(FSimplexMul.size(), 0.0);
    double dualValue = 0.0;
    for (std::size_t i = 0; i < duals.size(); ++i) {
        duals[i] = FInLP[i] != 0 ? std::max(0.0, FSimplexMul[i]) : 0.0;
        dualValue += duals[i] * RowDemand(i);
    }
    FStatistics.LPLowerBound = dualValue / std::max(1.0, FPricing.RelaxedMaximum(duals));

    TColGenResult rounded = RoundedSolution();
    FStatistics.Covering = FindIntegerSolution(rounded);
    ColGenResult = FMinColGenResult;
    return true;
}

} // namespace tubenest
