#pragma once
// The column pool: every column generated anywhere in a branch-cut-price search, each with its
// coefficients over all main rows and its objective coefficient. A column's pool index is its
// position and never changes. The pool builds the restricted master LP of a node from the
// columns that fit the node's rows and residual demands.
//
// Equal columns are found through a hash of the coefficients and the objective coefficient
// (equal columns have both equal, see TBCPVariable), so adding a column costs one hash lookup and
// IsSameWith only against columns of the same hash, not a scan of the pool.
//
// Threads: AddVar is serialised by the pool's lock. Everything else is for the search thread,
// which is also the only thread that adds (pricing threads hand their columns over by queue).

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "bcp/bcp_solution.h"

namespace tubenest {

template <BCPColumn T>
class TVarPool {
public:
    TVarPool(std::vector<double> ABVec, std::vector<std::int32_t> AIneqVec)
        : FBVec(std::move(ABVec)), FIneqVec(std::move(AIneqVec)) {}
    TVarPool(const TVarPool&) = delete;
    TVarPool& operator=(const TVarPool&) = delete;

    /// Index of the column equal to AVar (VarExist = true) or of a copy of AVar appended now.
    int AddVar(const T& AVar, bool& VarExist) { return Add(AVar, nullptr, VarExist); }
    /// The same, taking AVar itself when it is new (AVar is then empty); an existing equal column
    /// leaves AVar with the caller.
    int AddVar(std::unique_ptr<T>& AVar, bool& VarExist) {
        TUBENEST_ASSERT(AVar != nullptr, kBCPModule, "null column added to the pool");
        return Add(*AVar, &AVar, VarExist);
    }

    /// Pool indices of copies of the columns.
    std::vector<int> AddVars(const std::vector<std::unique_ptr<T>>& AVars) {
        std::vector<int> result;
        bool exists = false;
        for (const auto& v : AVars) {
            result.push_back(AddVar(*v, exists));
        }
        return result;
    }

    /// Pool indices of copies of the solution's columns.
    std::vector<int> AddBCPSolution(const TBCPSolution<T>& ASolution) {
        std::vector<int> result;
        bool exists = false;
        for (int i = 0; i < ASolution.GetCount(); ++i) {
            result.push_back(AddVar(*ASolution.GetSubSolution(i).Var, exists));
        }
        return result;
    }

    /// Column AIdx restricted to the main rows ARowDict, in their order.
    std::vector<double> GetColumn(int AIdx, const std::vector<std::int32_t>& ARowDict) const {
        const std::vector<double>& full = FullColumn(AIdx);
        std::vector<double> result;
        result.reserve(ARowDict.size());
        for (std::int32_t row : ARowDict) {
            TUBENEST_ASSERT(row >= 0 && static_cast<std::size_t>(row) < full.size(), kBCPModule,
                            "row outside the main problem");
            result.push_back(full[static_cast<std::size_t>(row)]);
        }
        return result;
    }

    /// A solution with a copy of every column whose entry in ANumVec is positive, that many times.
    std::unique_ptr<TBCPSolution<T>> GetIntSolution(const std::vector<std::int32_t>& ANumVec) const {
        TUBENEST_ASSERT(ANumVec.size() <= FVars.size(), kBCPModule, "count vector longer than the pool");
        auto solution = std::make_unique<TBCPSolution<T>>();
        for (std::size_t i = 0; i < ANumVec.size(); ++i) {
            if (ANumVec[i] > 0) {
                solution->AddSubSolution(*FVars[i], ANumVec[i]);
            }
        }
        return solution;
    }

    /// Whether pooled column AIdx may enter a node with the (ascending) main rows ARowDict and
    /// residual demands ABVec: it must not produce on a row the node lacks nor more than a row's
    /// demand. AUB is the most copies the demands allow; AColumn the column over the node rows.
    bool GetSatisfiedColumn(const std::vector<std::int32_t>& ARowDict, const std::vector<double>& ABVec,
                            int AIdx, double& AUB, std::vector<double>& AColumn) const {
        const std::vector<double>& full = FullColumn(AIdx);
        AUB = INT32_MAX;
        AColumn.assign(ARowDict.size(), 0.0);
        const std::size_t past_last = ARowDict.empty() ? 0 : static_cast<std::size_t>(ARowDict.back()) + 1;
        for (std::size_t r = past_last; r < full.size(); ++r) {
            if (full[r] > 0.0) {
                return false;
            }
        }
        std::size_t k = 0;
        for (std::size_t r = 0; r < past_last && r < full.size(); ++r) {
            const double a = full[r];
            const bool node_row = k < ARowDict.size() && static_cast<std::size_t>(ARowDict[k]) == r;
            if (!node_row) {
                if (a > 0.0) {
                    return false;
                }
                continue;
            }
            const double b = ABVec[k];
            if (a > b) {
                return false;
            }
            if (a > 0.0) {
                // Only producing rows limit the count; a consuming row (a < 0) would give a
                // negative bound, which no count can meet.
                AUB = std::min(AUB, std::trunc(b / a));
            }
            AColumn[k] = a;
            ++k;
        }
        return true;
    }

    /// Builds a node's LP over the node rows ARowDict (ascending) with demands ABVec: ACon gets
    /// one row per node row, entry 0 the demand, then one entry per admitted column; AColDict =
    /// (-1, pool index of each admitted column); AIneqVec the senses of the node rows; ACostVec
    /// and AVarUBs one entry per admitted column.
    bool ConstructLP(const std::vector<std::int32_t>& ARowDict, std::vector<std::int32_t>& AColDict,
                     std::vector<double>& AVarUBs, const std::vector<double>& ABVec,
                     std::vector<std::int32_t>& AIneqVec, TDoubleMatrix& ACon,
                     std::vector<double>& ACostVec) const {
        TUBENEST_ASSERT(ARowDict.size() == ABVec.size(), kBCPModule,
                        "ConstructLP: rows and demands differ in count");
        const std::size_t rows = ARowDict.size();
        ACon.assign(rows, {});
        AIneqVec.clear();
        for (std::size_t r = 0; r < rows; ++r) {
            ACon[r].reserve(FVars.size() + 1);
            ACon[r].push_back(ABVec[r]);
            AIneqVec.push_back(FIneqVec.at(static_cast<std::size_t>(ARowDict[r])));
        }
        AColDict.assign(1, -1);
        AVarUBs.clear();
        ACostVec.clear();
        std::vector<double> column;
        double ub = 0.0;
        for (int j = 0; j < Count(); ++j) {
            if (!GetSatisfiedColumn(ARowDict, ABVec, j, ub, column)) {
                continue;
            }
            AColDict.push_back(j);
            ACostVec.push_back(FCostVec[static_cast<std::size_t>(j)]);
            AVarUBs.push_back(ub);
            for (std::size_t r = 0; r < rows; ++r) {
                ACon[r].push_back(column[r]);
            }
        }
        return true;
    }

    int Count() const { return static_cast<int>(FVars.size()); }
    const T& Var(int AIdx) const { return *FVars.at(static_cast<std::size_t>(AIdx)); }
    double ObjCoeff(int AIdx) const { return FCostVec.at(static_cast<std::size_t>(AIdx)); }
    /// The column over all main rows.
    const std::vector<double>& FullColumn(int AIdx) const {
        TUBENEST_ASSERT(AIdx >= 0 && AIdx < Count(), kBCPModule, "pool index out of range");
        return FConstraint[static_cast<std::size_t>(AIdx)];
    }
    const std::vector<double>& BVec() const { return FBVec; }
    const std::vector<std::int32_t>& IneqVec() const { return FIneqVec; }

private:
    static std::size_t HashOf(const std::vector<double>& column, double cost) {
        std::uint64_t h = 1469598103934665603ull;
        auto mix = [&h](double v) {
            if (v == 0.0) {
                v = 0.0; // -0.0 and 0.0 are equal coefficients
            }
            h ^= std::bit_cast<std::uint64_t>(v);
            h *= 1099511628211ull;
            h ^= h >> 29;
        };
        for (double v : column) {
            mix(v);
        }
        mix(cost);
        return static_cast<std::size_t>(h);
    }

    int Add(const T& AVar, std::unique_ptr<T>* take, bool& VarExist) {
        std::vector<double> column = AVar.GetColumn(static_cast<int>(FBVec.size()));
        TUBENEST_ASSERT(column.size() == FBVec.size(), kBCPModule,
                        "GetColumn returned a column of the wrong size");
        const double cost = AVar.GetObjCoeff();
        const std::size_t hash = HashOf(column, cost);
        std::lock_guard lock(FCS);
        // The first equal column in pool order, as a scan would find it.
        int found = -1;
        auto [first, last] = FByHash.equal_range(hash);
        for (auto it = first; it != last; ++it) {
            if ((found < 0 || it->second < found) &&
                FVars[static_cast<std::size_t>(it->second)]->IsSameWith(AVar)) {
                found = it->second;
            }
        }
        if (found >= 0) {
            VarExist = true;
            return found;
        }
        VarExist = false;
        FVars.push_back(take != nullptr ? std::move(*take) : CloneColumn(AVar));
        FConstraint.push_back(std::move(column));
        FCostVec.push_back(cost);
        const int idx = Count() - 1;
        FByHash.emplace(hash, idx);
        return idx;
    }

    std::vector<std::unique_ptr<T>> FVars;
    std::mutex FCS;
    TDoubleMatrix FConstraint;
    std::vector<double> FBVec;
    std::vector<double> FCostVec;
    std::vector<std::int32_t> FIneqVec;
    std::unordered_multimap<std::size_t, int> FByHash;
};

} // namespace tubenest
