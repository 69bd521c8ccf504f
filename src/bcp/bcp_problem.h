#pragma once
// The problem a branch-cut-price tree solves: rows with demands and senses, and the pricing
// sub-problem behind four virtual operations.

#include <cmath>
#include <cstdint>
#include <memory>
#include <numeric>
#include <stdexcept>
#include <string>
#include <vector>

#include "bcp/bcp_solution.h"

namespace tubenest {

template <BCPColumn T>
class TBCPProblem {
public:
    /// Row sense: at least, exactly, at most the demand.
    static constexpr std::int32_t kAtLeast = 1;
    static constexpr std::int32_t kExactly = 0;
    static constexpr std::int32_t kAtMost = -1;

    /// Copies both vectors (one entry per row each); a main problem's rows are 0 .. n-1, a
    /// sub-problem's row dictionary is left to the derived class.
    TBCPProblem(std::vector<double> ABVec, std::vector<std::int32_t> AIneqVec, bool IsMainProb)
        : FBVec(std::move(ABVec)), FIneqVec(std::move(AIneqVec)) {
        if (FBVec.size() != FIneqVec.size()) {
            throw std::invalid_argument("TBCPProblem: " + std::to_string(FBVec.size()) + " demands but " +
                                        std::to_string(FIneqVec.size()) + " row senses");
        }
        if (IsMainProb) {
            FRowDict.resize(FBVec.size());
            std::iota(FRowDict.begin(), FRowDict.end(), 0);
        }
    }
    virtual ~TBCPProblem() = default;

    /// A deep copy; each pricing thread prices on its own.
    virtual std::unique_ptr<TBCPProblem> Clone() const = 0;
    /// Stores duals for pricing (one per row); Amp is the amplification the node used.
    virtual void SetDualCost(const std::vector<double>& AWVec, double Amp) = 0;
    /// A start dual for main row AIdx, used before any LP dual exists.
    virtual double GetDefaultDualCost(int AIdx) const = 0;
    /// A new problem over the main rows ARowDict with the demands ANumVec.
    virtual std::unique_ptr<TBCPProblem> GetSubBCPProblem(const std::vector<std::int32_t>& ARowDict,
                                                          const std::vector<std::int32_t>& ANumVec) const = 0;

    /// The same with demands given as doubles, each taken as trunc(x + 0.001).
    std::unique_ptr<TBCPProblem> GetSubBCPProblem(const std::vector<std::int32_t>& ARowDict,
                                                  const std::vector<double>& ANumVec) const {
        std::vector<std::int32_t> nums;
        nums.reserve(ANumVec.size());
        for (double x : ANumVec) {
            nums.push_back(static_cast<std::int32_t>(std::trunc(x + 0.001)));
        }
        return GetSubBCPProblem(ARowDict, nums);
    }

    /// False for an empty solution; else whether the solution's total column meets every row's
    /// sense against its demand, within 1e-8.
    bool CheckSolution(const TBCPSolution<T>& ASolution) const {
        if (ASolution.GetCount() == 0) {
            return false;
        }
        const std::vector<double> sum = ASolution.GetColumn(static_cast<int>(FBVec.size()));
        for (std::size_t i = 0; i < FBVec.size(); ++i) {
            const double d = sum[i] - FBVec[i];
            const int sign = d > 1e-8 ? 1 : (d < -1e-8 ? -1 : 0);
            if (sign != 0 && sign != FIneqVec[i]) {
                return false;
            }
        }
        return true;
    }

    const std::vector<double>& BVec() const { return FBVec; }
    const std::vector<std::int32_t>& IneqVec() const { return FIneqVec; }
    const std::vector<std::int32_t>& RowDict() const { return FRowDict; }
    /// The duals last stored by a derived SetDualCost.
    const std::vector<double>& WVec() const { return FWVec; }

protected:
    TBCPProblem(const TBCPProblem&) = default;
    TBCPProblem& operator=(const TBCPProblem&) = default;

    std::vector<std::int32_t> FRowDict;
    std::vector<double> FBVec;
    std::vector<std::int32_t> FIneqVec;
    std::vector<double> FWVec;
};

} // namespace tubenest
