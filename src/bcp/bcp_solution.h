#pragma once
// A solution of a branch-cut-price problem: a multiset of columns, held as (column, count) pairs.
// The solution owns its columns.

#include <algorithm>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

#include "bcp/bcp_common.h"

namespace tubenest {

template <BCPColumn T>
class TBCPSolution {
public:
    struct TSubSolution {
        std::unique_ptr<T> Var;
        std::int32_t Num = 0;
    };

    TBCPSolution() = default;
    TBCPSolution(const TBCPSolution&) = delete;
    TBCPSolution& operator=(const TBCPSolution&) = delete;
    virtual ~TBCPSolution() = default;

    int GetCount() const { return static_cast<int>(FSubSolutions.size()); }
    int Count() const { return GetCount(); }

    /// Throws std::out_of_range for an index outside 0 .. Count-1.
    const TSubSolution& GetSubSolution(int Idx) const {
        if (Idx < 0 || Idx >= GetCount()) {
            throw std::out_of_range("Out of Range in getting SubBCPSoution");
        }
        return FSubSolutions[static_cast<std::size_t>(Idx)];
    }
    const TSubSolution& SubSolution(int Idx) const { return GetSubSolution(Idx); }

    /// Takes the column.
    void AddSubSolution(std::unique_ptr<T> AVar, std::int32_t Num) {
        TUBENEST_ASSERT(AVar != nullptr, kBCPModule, "null column added to a solution");
        FSubSolutions.push_back({std::move(AVar), Num});
    }
    /// Adds a copy of the column.
    void AddSubSolution(const T& AVar, std::int32_t Num) { AddSubSolution(CloneColumn(AVar), Num); }

    /// Appends copies of all pairs of ASolution, then merges equal columns.
    void AddBCPSolution(const TBCPSolution& ASolution) {
        for (const auto& sub : ASolution.FSubSolutions) {
            AddSubSolution(*sub.Var, sub.Num);
        }
        MergeSameSolution();
    }

    void Delete(int Idx) {
        TUBENEST_ASSERT(Idx >= 0 && Idx < GetCount(), kBCPModule, "solution entry index out of range");
        FSubSolutions.erase(FSubSolutions.begin() + Idx);
    }

    void Clear() { FSubSolutions.clear(); }

    std::unique_ptr<TBCPSolution> Clone() const {
        auto copy = std::make_unique<TBCPSolution>();
        for (const auto& sub : FSubSolutions) {
            copy->AddSubSolution(*sub.Var, sub.Num);
        }
        return copy;
    }

    /// Sorts the pairs by the columns' Compare (stable), then merges every pair whose column is
    /// the same as an earlier one into that one. Equal columns need not be neighbours after the
    /// sort (the order may tie different columns between two equal ones), so the merge looks back
    /// over all kept pairs.
    void MergeSameSolution() {
        std::stable_sort(
            FSubSolutions.begin(), FSubSolutions.end(),
            [](const TSubSolution& a, const TSubSolution& b) { return CompareByCost(*a.Var, *b.Var) < 0; });
        std::vector<TSubSolution> kept;
        kept.reserve(FSubSolutions.size());
        for (auto& sub : FSubSolutions) {
            auto same = std::find_if(kept.begin(), kept.end(),
                                     [&](const TSubSolution& k) { return k.Var->IsSameWith(*sub.Var); });
            if (same != kept.end()) {
                same->Num += sub.Num;
            } else {
                kept.push_back(std::move(sub));
            }
        }
        FSubSolutions = std::move(kept);
    }

    /// Merges, then sums count × objective coefficient; the last pair's column is charged once
    /// with its actual cost instead of once with its objective coefficient.
    double GetCSPCost() {
        MergeSameSolution();
        double cost = 0.0;
        for (const auto& sub : FSubSolutions) {
            cost += sub.Num * sub.Var->GetObjCoeff();
        }
        if (!FSubSolutions.empty()) {
            const T& last = *FSubSolutions.back().Var;
            cost = cost - last.GetObjCoeff() + last.GetActualCost();
        }
        return cost;
    }

    /// Sum of count × objective coefficient (every column charged alike).
    double GetObjective() const {
        double sum = 0.0;
        for (const auto& sub : FSubSolutions) {
            sum += sub.Num * sub.Var->GetObjCoeff();
        }
        return sum;
    }

    /// Sum of count × column over all pairs.
    std::vector<double> GetColumn(int AVecSize) const {
        std::vector<double> sum(static_cast<std::size_t>(std::max(AVecSize, 0)), 0.0);
        for (const auto& sub : FSubSolutions) {
            const std::vector<double> col = sub.Var->GetColumn(AVecSize);
            TUBENEST_ASSERT(col.size() == sum.size(), kBCPModule,
                            "GetColumn returned a column of the wrong size");
            for (std::size_t i = 0; i < sum.size(); ++i) {
                sum[i] += sub.Num * col[i];
            }
        }
        return sum;
    }

    static int CompareByCost(const T& Left, const T& Right) { return Left.Compare(Left, Right); }

private:
    std::vector<TSubSolution> FSubSolutions;
};

} // namespace tubenest
