#include "colgen/branch_and_price.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/knapsack_solver.h"
#include "model/assertion.h"

namespace tubenest {
namespace {
constexpr const char* kModule = "ColumnGeneration";
}

TBranchAndPriceCG::TBranchAndPriceCG(const TColGenData& AData)
    : FData(&AData), FCGSolver(std::make_unique<TColumnGenerationSolver>()) {}

bool TBranchAndPriceCG::DoSolve(TColGenResult& ColGenResult) {
    TColGenResult fresh;
    FCGSolver->DoSolve(*FData, fresh);
    ColGenResult = std::move(fresh);
    return true;
}

bool TCGResultOptimizer::OptimizeCGResult(TColGenResult& ColGenResult, const TColGenData& AData,
                                          TColGenResult& NewColGenResult) {
    AData.Validate();
    const auto n = static_cast<std::size_t>(AData.FPartCount);
    TUBENEST_ASSERT(ColGenResult.Solutions.size() == ColGenResult.SolutionAmount.size(), kModule,
                    "solution arrays differ in length");
    std::vector<std::int64_t> produced(n, 0);
    std::vector<TReturnSolution> returns;
    std::int32_t returned = 0;
    for (std::size_t j = 0; j < ColGenResult.Solutions.size(); ++j) {
        const TIntDynArray& a = ColGenResult.Solutions[j];
        TUBENEST_ASSERT(a.size() == n, kModule, "a pattern does not match the part count");
        std::int32_t& amount = ColGenResult.SolutionAmount[j];
        std::int64_t give = 0;
        for (std::size_t i = 0; i < n; ++i) {
            if (a[i] > 0) {
                const std::int64_t excess =
                    produced[i] + static_cast<std::int64_t>(a[i]) * amount - AData.FPartAmounts[i];
                if (excess > 0) {
                    give = std::max(give, (excess + a[i] - 1) / a[i]);
                }
            }
        }
        if (give > 0) {
            returns.push_back(TReturnSolution{static_cast<std::int32_t>(j), static_cast<std::int32_t>(give)});
            amount -= static_cast<std::int32_t>(give);
            returned += static_cast<std::int32_t>(give);
        }
        if (amount != 0) {
            for (std::size_t i = 0; i < n; ++i) {
                produced[i] += static_cast<std::int64_t>(a[i]) * amount;
            }
        }
    }
    ColGenResult.UsedAmount -= returned;
    if (returns.empty()) {
        NewColGenResult = ColGenResult;
        return true;
    }

    // The demand the lowering left uncovered, as a problem of its own.
    std::vector<std::size_t> residualParts;
    for (std::size_t i = 0; i < n; ++i) {
        if (produced[i] < AData.FPartAmounts[i] && AData.FPartLengths[i] > kColGenMinPartLength) {
            residualParts.push_back(i);
        }
    }
    TColGenData residual(static_cast<std::int32_t>(residualParts.size()));
    residual.FTubeLengths = AData.FTubeLengths;
    residual.FPartGapTable = AData.FPartGapTable;
    for (std::size_t k = 0; k < residualParts.size(); ++k) {
        const std::size_t i = residualParts[k];
        residual.FPartLengths[k] = AData.FPartLengths[i];
        residual.FPartOriIndexs[k] = AData.FPartOriIndexs[i];
        residual.FPartAmounts[k] = AData.FPartAmounts[i] - static_cast<std::int32_t>(produced[i]);
    }
    TColGenResult filled;
    TSimpleNest::DoSolve(residual, filled);

    NewColGenResult = TColGenResult{};
    NewColGenResult.Solutions = ColGenResult.Solutions;
    NewColGenResult.SolutionAmount = ColGenResult.SolutionAmount;
    for (std::size_t j = 0; j < filled.Solutions.size(); ++j) {
        TIntDynArray column(n, 0);
        for (std::size_t k = 0; k < residualParts.size(); ++k) {
            column[residualParts[k]] = filled.Solutions[j][k];
        }
        NewColGenResult.Solutions.push_back(std::move(column));
        NewColGenResult.SolutionAmount.push_back(filled.SolutionAmount[j]);
    }
    NewColGenResult.UsedAmount = ColGenResult.UsedAmount + filled.UsedAmount;
    return true;
}

bool TSimpleNest::DoSolve(const TColGenData& AData, TColGenResult& ColGenResult) {
    AData.Validate();
    const auto n = static_cast<std::size_t>(AData.FPartCount);
    for (std::size_t i = 0; i < n; ++i) {
        if (AData.FPartLengths[i] + 0.999 >= 2147483647.0) {
            throw std::invalid_argument("simple nest: part " + std::to_string(i) + " has length " +
                                        std::to_string(AData.FPartLengths[i]));
        }
    }
    ColGenResult = TColGenResult{};
    std::vector<std::int64_t> remaining(n, 0);
    std::int64_t total = 0;
    for (std::size_t i = 0; i < n; ++i) {
        remaining[i] = AData.FPartAmounts[i];
        total += remaining[i];
    }
    const auto capacity = static_cast<std::int32_t>(std::trunc(AData.TubeLength()));
    TKnapsackSolver knapsack;
    std::vector<std::int32_t> sizes, bounds, counts;
    std::vector<std::size_t> items;
    while (total > 0) {
        sizes.clear();
        bounds.clear();
        items.clear();
        for (std::size_t i = 0; i < n; ++i) {
            if (remaining[i] > 0) {
                sizes.push_back(static_cast<std::int32_t>(std::trunc(AData.FPartLengths[i] + 0.999)));
                bounds.push_back(static_cast<std::int32_t>(remaining[i]));
                items.push_back(i);
            }
        }
        knapsack.SolveMultiKnapsack(sizes, sizes, bounds, capacity, counts);
        if (std::all_of(counts.begin(), counts.end(), [](std::int32_t c) { return c == 0; })) {
            break; // every part left is longer than the tube
        }
        TIntDynArray pattern(n, 0);
        for (std::size_t k = 0; k < items.size(); ++k) {
            pattern[items[k]] = counts[k];
            remaining[items[k]] -= counts[k];
            total -= counts[k];
        }
        if (!ColGenResult.Solutions.empty() && ColGenResult.Solutions.back() == pattern) {
            ColGenResult.SolutionAmount.back() += 1;
            ColGenResult.SolutionFAmount.back() += 1.0;
        } else {
            ColGenResult.Solutions.push_back(std::move(pattern));
            ColGenResult.SolutionAmount.push_back(1);
            ColGenResult.SolutionFAmount.push_back(1.0);
        }
        ++ColGenResult.UsedAmount;
    }
    return true;
}

} // namespace tubenest
