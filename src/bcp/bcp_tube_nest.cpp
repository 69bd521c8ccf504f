#include "bcp/bcp_tube_nest.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <stdexcept>
#include <string>

#include "bcp/bcp_tree.h"
#include "model/nest_progress.h"

namespace tubenest {

namespace {

using TPatternSolution = TBCPSolution<TNestPattern>;
using TTubeManager = TBCPSolverManager<TNestPattern>;
using TTubeTree = TBCPTree<TNestPattern>;

constexpr double kFitTolerance = 1e-6;
// The tree's own time limit (seconds); the caller's stop request ends it earlier.
constexpr double kTreeTimeLimit = 3600.0;

TTubeProblem& AsTubeProblem(TBCPProblem<TNestPattern>& AProblem) {
    auto* problem = dynamic_cast<TTubeProblem*>(&AProblem);
    TUBENEST_ASSERT(problem != nullptr, kBCPSolverModule, "pricing on a problem that is no tube problem");
    return *problem;
}

void Merge(const TPatternSolution& AFrom, TPatternSolution& ATo) {
    for (int i = 0; i < AFrom.GetCount(); ++i) {
        const auto& sub = AFrom.GetSubSolution(i);
        ATo.AddSubSolution(*sub.Var, sub.Num);
    }
    ATo.MergeSameSolution();
}

void RegisterSolvers(TTubeManager& AManager, bool IsTrapezoid) {
    if (IsTrapezoid) {
        AManager.AddSubProblemSolver([](TBCPProblem<TNestPattern>& p, bool& succ, double& value) {
            TTubeProblem& problem = AsTubeProblem(p);
            return problem.TrapezodKPSolver()->SolveOnePatternTrapezoid(
                problem.NestParts(), problem.NestTube(), problem.RowDict(), succ, value, -1);
        });
    } else {
        AManager.AddSubProblemSolver([](TBCPProblem<TNestPattern>& p, bool& succ, double& value) {
            TTubeProblem& problem = AsTubeProblem(p);
            return problem.KPSolver()->SolveOnePattern(problem.NestParts(), problem.NestTube(),
                                                       problem.RowDict(), succ, value);
        });
    }
    // One worker per tube problem, so that the same input gives the same plan.
    AManager.AddSubProblemSolverWithMultiResult([](TBCPProblem<TNestPattern>& p, int number, double bound,
                                                   std::vector<std::unique_ptr<TNestPattern>>& sols) {
        TTubeProblem& problem = AsTubeProblem(p);
        return problem.TrapezodKPSolver()->SolveMultiOnePatternTrapezoid(
            problem.NestParts(), problem.NestTube(), problem.RowDict(), bound, sols, number);
    });
    auto greedy = [IsTrapezoid](TBCPProblem<TNestPattern>& p, TPatternSolution& out) {
        TTubeProblem& problem = AsTubeProblem(p);
        bool succ = false;
        std::unique_ptr<TPatternSolution> found =
            IsTrapezoid ? problem.TrapezodKPSolver()->GreedyNestWithSingleLength(problem, succ)
                        : problem.KPSolver()->GreedyNestWithoutOrder(problem, succ);
        if (found != nullptr) {
            Merge(*found, out);
        }
        return succ;
    };
    AManager.AddGreedySolver(greedy);
    AManager.AddResidualSolver([greedy](TBCPProblem<TNestPattern>& residual, const TPatternSolution&,
                                        TPatternSolution& out) { return greedy(residual, out); });
}

} // namespace

TBCPTubeNest::TBCPTubeNest(const TGeneralNestPartArr& AParts, const TGeneralNestTubeArr& ATubes,
                           const TSegPlaceInfoManager& ASegInfo, const TCADAutoNestParam& NestParam,
                           bool IsTrapezoid)
    : FPartGap(NestParam.DefaultPartGap()), FCanReverse(!NestParam.DisableReverse()), FSegInfo(&ASegInfo),
      FGeneralParts(&AParts), FIsTrapezoid(IsTrapezoid) {
    if (static_cast<std::int32_t>(AParts.size()) > ASegInfo.FPartCount) {
        throw std::invalid_argument("branch-cut-price nesting: " + std::to_string(AParts.size()) +
                                    " parts but a gap table for " + std::to_string(ASegInfo.FPartCount));
    }
    // Real lengths: the gaps are added where parts meet, never folded into the lengths.
    for (std::size_t i = 0; i < AParts.size(); ++i) {
        const double length = AParts[i].FOuterlength;
        if (!std::isfinite(length) || length < 0.0 || AParts[i].FAmountAvail < 0) {
            throw std::invalid_argument("branch-cut-price nesting: part " + std::to_string(i + 1) +
                                        " has a length or amount that is not a number >= 0");
        }
        FParts.push_back(TBCPNestPart{length, length, static_cast<std::int32_t>(i), AParts[i].FAmountAvail});
    }
    std::stable_sort(FParts.begin(), FParts.end(),
                     [](const TBCPNestPart& a, const TBCPNestPart& b) { return a.Length > b.Length; });
    for (std::size_t i = 0; i < ATubes.size(); ++i) {
        FTubes.push_back(
            TBCPNestTube{ATubes[i].FTubeInitialLen, ATubes[i].FAmountAvail, static_cast<std::int32_t>(i)});
    }
    FKPSolver = std::make_unique<TKPSolver>(ASegInfo, FParts, FTubes, FCanReverse);
    FTrapezodKPSolver = std::make_unique<TTrapezodKPSolver>(ASegInfo, FParts, NestParam,
                                                            IsTrapezoid ? nullptr : FKPSolver.get());
}

TBCPTubeNest::~TBCPTubeNest() = default;

template <class TTree>
void TBCPTubeNest::NestInitialSolution(TTree& AFIFOSolution, const std::vector<TNestResultList>& ANestResults,
                                       const TTubeProblem& AProblem) const {
    if (FTubes.empty()) {
        return;
    }
    const double firstLength = FTubes.front().Length;
    for (const TNestResultList& list : ANestResults) {
        bool qualifies = true;
        for (int k = 0; k < list.Count() && qualifies; ++k) {
            const TNestResult& r = list[k];
            const std::int32_t t = r.FTubeIndex;
            if (t < 1 || t > static_cast<std::int32_t>(FTubes.size()) ||
                FTubes[static_cast<std::size_t>(t - 1)].Length != firstLength) {
                qualifies = false;
            }
            for (const std::int32_t ref : r.FPartOrder) {
                qualifies = qualifies && ref != 0 &&
                            std::abs(ref) <= static_cast<std::int32_t>(FGeneralParts->size());
            }
        }
        if (!qualifies) {
            continue;
        }
        try {
            // Used lengths are recomputed: a start solution is trusted for its parts, not its figures.
            TNestResultList checked;
            for (int k = 0; k < list.Count(); ++k) {
                auto copy = list[k].Clone();
                FSegInfo->UpdateNestResultInfo(*copy, FKPSolver->GeneralParts());
                if (copy->FLengthUsed > firstLength + kFitTolerance) {
                    throw std::invalid_argument("start solution: a pattern longer than its tube");
                }
                checked.Add(std::move(copy));
            }
            TNestPatternSolution solution(checked, AProblem);
            AFIFOSolution.AddSolution(&solution, true);
        } catch (const std::invalid_argument&) {
            // A start solution that does not describe this problem is refused; the search goes on.
        }
    }
}

void TBCPTubeNest::GetLeastTubeResult(TNestResultList& NestResult, bool IsTrapezoid,
                                      const std::vector<TNestResultList>* ANestResults) {
    FReport = TBCPTubeNestReport{};
    if (std::none_of(FParts.begin(), FParts.end(), [](const TBCPNestPart& p) { return p.Amount > 0; })) {
        return;
    }
    TBCPNestParts parts = FParts;
    std::int64_t copies = 0;
    for (const auto& p : parts) {
        copies += std::max(p.Amount, 0);
    }
    // The problem never limits the number of tubes: as many as there are copies always suffice.
    const auto tubeCap =
        static_cast<std::int32_t>(std::min<std::int64_t>(copies, std::numeric_limits<std::int32_t>::max()));
    std::vector<std::int32_t> position(FGeneralParts->size(), -1);
    auto rebuild = [&]() {
        std::fill(position.begin(), position.end(), -1);
        for (std::size_t k = 0; k < parts.size(); ++k) {
            position[static_cast<std::size_t>(parts[k].Idx)] = static_cast<std::int32_t>(k);
        }
    };
    rebuild();

    for (std::size_t i = 0; i < FTubes.size() && !parts.empty(); ++i) {
        if (i > 0 && GetStopped()) {
            break;
        }
        if (FTubes[i].Amount <= 0) {
            continue;
        }
        TBCPNestTube tube = FTubes[i];
        tube.Amount = tubeCap;
        TTubeProblem problem(parts, tube, FKPSolver.get(), FPartGap, FCanReverse, FTrapezodKPSolver.get(),
                             true);
        if (problem.BVec().empty()) {
            continue;
        }
        TBCPTubeTypeReport report;
        report.tube_index = static_cast<std::int32_t>(i);
        report.rows = static_cast<std::int32_t>(problem.BVec().size());
        report.exact_pricing = !IsTrapezoid && FKPSolver->IsExact(problem.NestParts(), tube);

        std::unique_ptr<TPatternSolution> solution;
        {
            TTubeManager manager(&problem);
            RegisterSolvers(manager, IsTrapezoid);
            TTubeTree tree(&manager, nullptr, true, kTreeTimeLimit);
            if (ANestResults != nullptr && i == 0) {
                NestInitialSolution(tree, *ANestResults, problem);
            }
            solution = tree.Solve(TBCPStopFunc([] { return StopRequested(); }));
            const BcpStatistics& stats = tree.Statistics();
            report.root_lp_value = stats.root_lp_value;
            report.root_converged = stats.root_converged;
            report.nodes = stats.nodes;
            report.status = stats.status;
            report.pool_columns = stats.pool_columns;
            report.failure = stats.failure;
        }
        solution->MergeSameSolution();
        for (int k = 0; k < solution->GetCount(); ++k) {
            report.incumbent_tubes += solution->GetSubSolution(k).Num;
        }
        FReport.tube_types.push_back(report);

        std::int32_t remaining = FTubes[i].Amount;
        for (int k = 0; k < solution->GetCount() && remaining >= 1; ++k) {
            const auto& sub = solution->GetSubSolution(k);
            const std::int32_t take = std::min(sub.Num, remaining);
            if (take <= 0) {
                continue;
            }
            std::unique_ptr<TNestResult> result = sub.Var->GetNestResult(*FSegInfo);
            result->FTubeIndex = FTubes[i].Idx + 1;
            result->FTubeCount = take;
            FSegInfo->UpdateNestResultInfo(*result, FKPSolver->GeneralParts());
            if (result->FPartOrder.empty() || result->FLengthUsed > FTubes[i].Length + kFitTolerance) {
                continue; // its parts stay for the next tube type
            }
            bool known = true;
            for (const std::int32_t ref : result->FPartOrder) {
                const auto idx = static_cast<std::size_t>(std::abs(ref) - 1);
                known = known && ref != 0 && idx < position.size() && position[idx] >= 0;
            }
            TUBENEST_ASSERT(known, kBCPSolverModule, "a pattern names a part that is not being nested");
            for (const std::int32_t ref : result->FPartOrder) {
                parts[static_cast<std::size_t>(position[static_cast<std::size_t>(std::abs(ref) - 1)])]
                    .Amount -= take;
            }
            NestResult.Add(std::move(result));
            remaining -= take;
        }
        parts.erase(
            std::remove_if(parts.begin(), parts.end(), [](const TBCPNestPart& p) { return p.Amount <= 0; }),
            parts.end());
        rebuild();
    }

    // The proof: the first tube type's root bound, where that tube is the longest with stock.
    if (!FReport.tube_types.empty()) {
        const TBCPTubeTypeReport& first = FReport.tube_types.front();
        const double length = FTubes[static_cast<std::size_t>(first.tube_index)].Length;
        bool longest = true;
        for (const auto& t : FTubes) {
            longest = longest && (t.Amount <= 0 || t.Length <= length);
        }
        bool allFirst = true;
        for (std::int32_t t = 0; t < first.tube_index; ++t) {
            allFirst = allFirst && FTubes[static_cast<std::size_t>(t)].Amount <= 0;
        }
        if (longest && allFirst && first.exact_pricing && first.root_converged && first.root_lp_value &&
            first.failure.empty()) {
            // The node publishes its bound with a factor of at least 1.000001, so pricing proves the
            // LP value only to within that factor.
            const double lp = *first.root_lp_value / 1.000001;
            auto tubes = static_cast<std::int32_t>(std::ceil(lp - 1e-7));
            if (first.incumbent_tubes > 0) {
                tubes = std::min(tubes, first.incumbent_tubes);
            }
            FReport.proven_tubes = std::max(tubes, 0);
        }
    }
}

} // namespace tubenest
