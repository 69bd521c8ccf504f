#pragma once
// A tiny one-dimensional cutting-stock problem for the generic branch-cut-price solver: items of
// integral length, one at-least row per item, stock of one capacity. Columns are patterns (copies
// per main row); a solution's cost counts tubes, the least used one with its usage. Pricing is
// exact by enumeration, the start heuristic a greedy fill, and the true optimum comes from
// a dynamic programme over residual demands.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "bcp/bcp_node.h"

namespace tubenest::bcptest {

class TestPattern final : public TBCPVariable {
public:
    TestPattern(std::vector<double> counts, double usage) : counts_(std::move(counts)), usage_(usage) {}
    std::unique_ptr<TBCPVariable> Clone() const override { return std::make_unique<TestPattern>(*this); }
    double GetObjCoeff() const override { return 1.0; }
    double GetActualCost() const override { return usage_; }
    bool IsSameWith(const TBCPVariable& other) const override {
        const auto& o = dynamic_cast<const TestPattern&>(other);
        return o.counts_ == counts_ && o.usage_ == usage_;
    }
    int Compare(const TBCPVariable& left, const TBCPVariable& right) const override {
        const double d =
            dynamic_cast<const TestPattern&>(right).usage_ - dynamic_cast<const TestPattern&>(left).usage_;
        return (d > 0) - (d < 0);
    }
    std::vector<double> GetColumn(int size) const override {
        std::vector<double> col(counts_);
        col.resize(static_cast<std::size_t>(size), 0.0);
        return col;
    }
    double Usage() const { return usage_; }

private:
    std::vector<double> counts_;
    double usage_;
};

using Solution = TBCPSolution<TestPattern>;
using Manager = TBCPSolverManager<TestPattern>;

class CuttingProblem final : public TBCPProblem<TestPattern> {
public:
    /// Main problem over all items.
    CuttingProblem(std::vector<int> lengths, std::vector<int> demands, int capacity)
        : TBCPProblem(ToDoubles(demands), std::vector<std::int32_t>(demands.size(), kAtLeast), true),
          lengths_(std::move(lengths)), capacity_(capacity) {
        values_.assign(FBVec.size(), 0.0);
    }
    std::unique_ptr<TBCPProblem> Clone() const override { return std::make_unique<CuttingProblem>(*this); }
    void SetDualCost(const std::vector<double>& w, double amp) override {
        FWVec = w;
        for (std::size_t i = 0; i < values_.size(); ++i) {
            values_[i] = amp * w.at(i);
        }
    }
    double GetDefaultDualCost(int idx) const override {
        return static_cast<double>(lengths_.at(static_cast<std::size_t>(idx))) / capacity_;
    }
    std::unique_ptr<TBCPProblem> GetSubBCPProblem(const std::vector<std::int32_t>& rows,
                                                  const std::vector<std::int32_t>& nums) const override {
        std::vector<std::int32_t> kept_rows;
        std::vector<int> kept;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (nums.at(i) > 0) {
                kept_rows.push_back(rows[i]);
                kept.push_back(nums[i]);
            }
        }
        auto sub = std::make_unique<CuttingProblem>(lengths_, std::vector<int>{}, capacity_);
        sub->FBVec = ToDoubles(kept);
        sub->FIneqVec.assign(kept.size(), kAtLeast);
        sub->FRowDict = kept_rows;
        sub->values_.assign(kept.size(), 0.0);
        return sub;
    }
    using TBCPProblem::GetSubBCPProblem;

    int Length(std::size_t row) const { return lengths_.at(static_cast<std::size_t>(FRowDict.at(row))); }
    const std::vector<double>& Values() const { return values_; }

    /// Every non-empty pattern over this problem's rows with counts within the demands.
    std::vector<std::vector<int>> Patterns() const {
        std::vector<std::vector<int>> result;
        std::vector<int> counts(FBVec.size(), 0);
        std::function<void(std::size_t, int)> walk = [&](std::size_t r, int room) {
            if (r == counts.size()) {
                if (std::any_of(counts.begin(), counts.end(), [](int c) { return c > 0; })) {
                    result.push_back(counts);
                }
                return;
            }
            for (int c = 0; c <= static_cast<int>(FBVec[r]) && c * Length(r) <= room; ++c) {
                counts[r] = c;
                walk(r + 1, room - c * Length(r));
            }
            counts[r] = 0;
        };
        walk(0, capacity_);
        return result;
    }

    /// The pattern of the counts (over this problem's rows) as a column over the main rows.
    std::unique_ptr<TestPattern> MakePattern(const std::vector<int>& counts) const {
        std::vector<double> col(lengths_.size(), 0.0);
        int used = 0;
        for (std::size_t r = 0; r < counts.size(); ++r) {
            col[static_cast<std::size_t>(FRowDict[r])] = counts[r];
            used += counts[r] * Length(r);
        }
        return std::make_unique<TestPattern>(col, static_cast<double>(used) / capacity_);
    }

    /// The most valuable pattern at the current duals and its value (empty when none fits).
    std::vector<int> BestPattern(double& value) const {
        std::vector<int> best;
        value = 0.0;
        for (const auto& p : Patterns()) {
            double v = 0.0;
            for (std::size_t r = 0; r < p.size(); ++r) {
                v += p[r] * values_[r];
            }
            if (best.empty() || v > value + 1e-12) {
                best = p;
                value = v;
            }
        }
        return best;
    }

    /// Fills tube after tube with the longest layout of what is still wanted.
    void GreedyFill(Solution& out) const {
        CuttingProblem rest = *this;
        for (std::size_t r = 0; r < values_.size(); ++r) {
            rest.values_[r] = Length(r);
        }
        double filled = 0.0;
        for (auto p = rest.BestPattern(filled); !p.empty(); p = rest.BestPattern(filled)) {
            out.AddSubSolution(MakePattern(p), 1);
            for (std::size_t r = 0; r < p.size(); ++r) {
                rest.FBVec[r] -= p[r];
            }
        }
    }

    /// Fewest tubes that cover every demand (dynamic programme over residual demands).
    int OptimalTubes() const {
        std::map<std::vector<int>, int> memo;
        const auto patterns = Patterns();
        std::function<int(const std::vector<int>&)> best = [&](const std::vector<int>& need) {
            if (std::all_of(need.begin(), need.end(), [](int n) { return n == 0; })) {
                return 0;
            }
            auto [it, fresh] = memo.emplace(need, 1 << 20); // map iterators survive the recursion
            for (const auto& p : fresh ? patterns : std::vector<std::vector<int>>{}) {
                std::vector<int> rest(need);
                for (std::size_t r = 0; r < p.size(); ++r) {
                    rest[r] = std::max(0, need[r] - p[r]);
                }
                if (rest != need) {
                    it->second = std::min(it->second, 1 + best(rest));
                }
            }
            return it->second;
        };
        return best(std::vector<int>(FBVec.begin(), FBVec.end()));
    }

private:
    static std::vector<double> ToDoubles(const std::vector<int>& v) { return {v.begin(), v.end()}; }

    std::vector<int> lengths_; ///< per main row
    int capacity_;
    std::vector<double> values_; ///< per row of this problem
};

/// Registers exact pricing (single-result on the search thread, multi-result on one worker),
/// the greedy fill as start and residual solver. With honour_bound the worker returns a
/// pattern only when it beats the published bound, else whenever its reduced cost is negative.
/// With weak_start the greedy start cuts every copy from a tube of its own and there is no
/// residual solver, so better solutions come only from integral LPs deep in the tree.
inline void RegisterSolvers(Manager& manager, bool honour_bound, bool weak_start = false) {
    manager.AddSubProblemSolver([](TBCPProblem<TestPattern>& p, bool& succ, double& value) {
        auto& problem = dynamic_cast<CuttingProblem&>(p);
        const auto best = problem.BestPattern(value);
        succ = !best.empty();
        return succ ? problem.MakePattern(best) : nullptr;
    });
    manager.AddSubProblemSolverWithMultiResult(
        [honour_bound](TBCPProblem<TestPattern>& p, int, double bound,
                       std::vector<std::unique_ptr<TestPattern>>& sols) {
            auto& problem = dynamic_cast<CuttingProblem&>(p);
            double value = 0.0;
            const auto best = problem.BestPattern(value);
            const double amp = TBCPNode<TestPattern>::kDualAmp;
            if (!best.empty() && value > (honour_bound ? bound : amp * (1.0 + 1e-9))) {
                sols.push_back(problem.MakePattern(best));
            }
            return !sols.empty();
        });
    if (weak_start) {
        manager.AddGreedySolver([](TBCPProblem<TestPattern>& p, Solution& out) {
            auto& problem = dynamic_cast<CuttingProblem&>(p);
            for (std::size_t r = 0; r < problem.BVec().size(); ++r) {
                std::vector<int> single(problem.BVec().size(), 0);
                single[r] = 1;
                out.AddSubSolution(problem.MakePattern(single), static_cast<std::int32_t>(problem.BVec()[r]));
            }
            return true;
        });
        return;
    }
    manager.AddGreedySolver([](TBCPProblem<TestPattern>& p, Solution& out) {
        dynamic_cast<CuttingProblem&>(p).GreedyFill(out);
        return out.GetCount() > 0;
    });
    manager.AddResidualSolver([](TBCPProblem<TestPattern>& p, const Solution&, Solution& out) {
        dynamic_cast<CuttingProblem&>(p).GreedyFill(out);
        return true;
    });
}

} // namespace tubenest::bcptest
