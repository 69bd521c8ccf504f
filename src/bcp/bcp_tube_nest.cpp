#include "bcp/bcp_tube_nest.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>

#include "bcp/bcp_tree.h"
#include "host/lp_solver.h"
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

// Bin completion for the exact case (every copy weighs its length plus the one gap, a tube its
// length plus that gap, all in whole millimetres): tubes are filled one at a time around the
// longest copy left, with maximal fills only, fuller ones first, and the waste the remaining tubes
// may still leave as the bound. Finds exact fills (triplets that fill each tube) where LP rounding
// stalls. Gives up after kNodeLimit tubes tried or kWorkLimit enumeration steps.
class TExactCompletion {
public:
    static constexpr long kNodeLimit = 20000;
    static constexpr std::size_t kLeafLimit = 4000;
    /// Steps of the fill enumeration over all tubes tried (bounds the time with many part kinds).
    static constexpr long kWorkLimit = 2000000;

    TExactCompletion(std::vector<std::int64_t> AWeights, std::int64_t ACapacity)
        : weights_(std::move(AWeights)), capacity_(ACapacity) {}

    /// Tubes (copies per row) holding every copy of ACounts in at most ATubes tubes.
    std::optional<std::vector<std::vector<std::int32_t>>> Solve(std::vector<std::int32_t> ACounts,
                                                                std::int32_t ATubes) {
        counts_ = std::move(ACounts);
        nodes_ = 0;
        work_ = 0;
        bins_.clear();
        std::int64_t total = 0;
        for (std::size_t r = 0; r < counts_.size(); ++r) {
            if (counts_[r] > 0 && weights_[r] > capacity_) {
                return std::nullopt;
            }
            total += counts_[r] * weights_[r];
        }
        const std::int64_t waste = ATubes * capacity_ - total;
        if (ATubes <= 0 || waste < 0 || !Run(ATubes, waste)) {
            return std::nullopt;
        }
        return bins_;
    }

private:
    bool Run(std::int32_t ATubesLeft, std::int64_t AWasteLeft) {
        std::size_t first = counts_.size();
        for (std::size_t r = 0; r < counts_.size(); ++r) {
            if (counts_[r] > 0 && (first == counts_.size() || weights_[r] > weights_[first])) {
                first = r;
            }
        }
        if (first == counts_.size()) {
            return true;
        }
        if (ATubesLeft <= 0 || ++nodes_ > kNodeLimit || work_ > kWorkLimit || StopRequested()) {
            return false;
        }
        --counts_[first];
        std::vector<std::pair<std::int64_t, std::vector<std::int32_t>>> fills;
        std::vector<std::int32_t> add(counts_.size(), 0);
        Enumerate(0, capacity_ - weights_[first], AWasteLeft, add, fills);
        std::stable_sort(fills.begin(), fills.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& [room, fill] : fills) {
            for (std::size_t r = 0; r < fill.size(); ++r) {
                counts_[r] -= fill[r];
            }
            std::vector<std::int32_t> bin = fill;
            ++bin[first];
            bins_.push_back(std::move(bin));
            if (Run(ATubesLeft - 1, AWasteLeft - room)) {
                return true;
            }
            bins_.pop_back();
            for (std::size_t r = 0; r < fill.size(); ++r) {
                counts_[r] += fill[r];
            }
            if (nodes_ > kNodeLimit || work_ > kWorkLimit) {
                break;
            }
        }
        ++counts_[first];
        return false;
    }

    // Every maximal way to fill the room from the copies left (no copy left would still fit).
    void Enumerate(std::size_t ARow, std::int64_t ARoom, std::int64_t AWasteLeft,
                   std::vector<std::int32_t>& AAdd,
                   std::vector<std::pair<std::int64_t, std::vector<std::int32_t>>>& AFills) const {
        if (AFills.size() >= kLeafLimit || ++work_ > kWorkLimit) {
            return;
        }
        if (ARow == counts_.size()) {
            if (ARoom > AWasteLeft) {
                return;
            }
            for (std::size_t r = 0; r < counts_.size(); ++r) {
                if (counts_[r] - AAdd[r] > 0 && weights_[r] <= ARoom) {
                    return; // not maximal
                }
            }
            AFills.emplace_back(ARoom, AAdd);
            return;
        }
        const std::int32_t most =
            weights_[ARow] > 0
                ? static_cast<std::int32_t>(std::min<std::int64_t>(counts_[ARow], ARoom / weights_[ARow]))
                : 0;
        for (std::int32_t k = most; k >= 0; --k) {
            AAdd[ARow] = k;
            Enumerate(ARow + 1, ARoom - k * weights_[ARow], AWasteLeft, AAdd, AFills);
        }
        AAdd[ARow] = 0;
    }

    std::vector<std::int64_t> weights_;
    std::int64_t capacity_;
    std::vector<std::int32_t> counts_;
    std::vector<std::vector<std::int32_t>> bins_;
    long nodes_ = 0;
    mutable long work_ = 0;
};

// Where pricing is exact and every copy fits in as few tubes as their total length needs (the
// continuous bound), bin completion usually finds such a fill at once; the plan is then optimal
// without a search.
std::unique_ptr<TPatternSolution> QuickExactFill(const TTubeProblem& AProblem, bool IsTrapezoid) {
    if (IsTrapezoid || !AProblem.KPSolver()->IsExact(AProblem.NestParts(), AProblem.NestTube())) {
        return nullptr;
    }
    const double g = AProblem.KPSolver()->GapInfoTable().MaxGap;
    std::vector<std::int64_t> weights;
    std::vector<std::int32_t> counts;
    std::int64_t total = 0;
    for (const auto& p : AProblem.NestParts()) {
        weights.push_back(std::llround(p.Length + g));
        counts.push_back(p.Amount);
        total += weights.back() * p.Amount;
    }
    const std::int64_t capacity = std::llround(AProblem.NestTube().Length + g);
    if (capacity <= 0) {
        return nullptr;
    }
    const auto tubes = static_cast<std::int32_t>((total + capacity - 1) / capacity);
    TExactCompletion completion(std::move(weights), capacity);
    const auto bins = completion.Solve(counts, tubes);
    if (!bins) {
        return nullptr;
    }
    auto solution = std::make_unique<TPatternSolution>();
    for (const auto& bin : *bins) {
        auto pattern = AProblem.KPSolver()->TryGetPattern(AProblem.NestParts(), AProblem.NestTube(),
                                                          AProblem.RowDict(), bin);
        if (pattern == nullptr) {
            return nullptr;
        }
        solution->AddSubSolution(std::move(pattern), 1);
    }
    solution->MergeSameSolution();
    return AProblem.CheckSolution(*solution) ? std::move(solution) : nullptr;
}

// A dive: column generation on the residual demand, then the column of the largest LP value is
// fixed once (or as often as its whole part says), until every demand is met. It finds the
// exact fills that a rounding of the root LP misses and costs one LP per fixed column. The
// pricing is the problem's own; without a column that covers an open row the dive gives up.
std::unique_ptr<TPatternSolution> Dive(const TTubeProblem& AProblem, const TVarPool<TNestPattern>& APool,
                                       bool IsTrapezoid, std::int32_t ABeat) {
    const std::vector<std::int32_t>& dict = AProblem.RowDict();
    const std::size_t rows = dict.size();
    std::vector<double> residual = AProblem.BVec();
    std::vector<std::unique_ptr<TNestPattern>> columns; // candidates, columns over main rows
    std::vector<std::vector<double>> coeffs;            // per candidate, per problem row
    const int mainRows = dict.empty() ? 0 : *std::max_element(dict.begin(), dict.end()) + 1;
    std::set<std::vector<double>> seen;
    auto addColumn = [&](const TNestPattern& APattern) {
        const std::vector<double> full = APattern.GetColumn(mainRows);
        std::vector<double> col(rows, 0.0);
        for (std::size_t r = 0; r < rows; ++r) {
            col[r] = full[static_cast<std::size_t>(dict[r])];
        }
        if (!seen.insert(col).second) {
            return false;
        }
        coeffs.push_back(std::move(col));
        columns.push_back(CloneColumn(APattern));
        return true;
    };
    for (int k = 0; k < APool.Count(); ++k) {
        addColumn(APool.Var(k));
    }
    struct Fix {
        std::size_t column;
        std::int32_t times;
    };
    std::vector<Fix> fixes;
    std::vector<char> forbidden;
    int backtracks = 0;
    std::int32_t used = 0;
    constexpr double kAmp = 10000.0;
    // The exact case: try to complete the open demand by bin completion as the dive goes.
    std::optional<TExactCompletion> completion;
    if (!IsTrapezoid && AProblem.KPSolver()->IsExact(AProblem.NestParts(), AProblem.NestTube())) {
        const double g = AProblem.KPSolver()->GapInfoTable().MaxGap;
        std::vector<std::int64_t> weights;
        for (const auto& p : AProblem.NestParts()) {
            weights.push_back(std::llround(p.Length + g));
        }
        completion.emplace(std::move(weights), std::llround(AProblem.NestTube().Length + g));
    }
    std::int32_t lastTried = -1;
    auto tryComplete = [&](std::int32_t ATubes) -> std::unique_ptr<TPatternSolution> {
        if (!completion || ATubes <= 0) {
            return nullptr;
        }
        std::vector<std::int32_t> counts;
        for (const double r : residual) {
            counts.push_back(static_cast<std::int32_t>(std::lround(r)));
        }
        const auto bins = completion->Solve(counts, ATubes);
        if (!bins) {
            return nullptr;
        }
        auto solution = std::make_unique<TPatternSolution>();
        for (const Fix& f : fixes) {
            solution->AddSubSolution(*columns[f.column], f.times);
        }
        for (const auto& bin : *bins) {
            auto pattern =
                AProblem.KPSolver()->TryGetPattern(AProblem.NestParts(), AProblem.NestTube(), dict, bin);
            if (pattern == nullptr) {
                return nullptr;
            }
            solution->AddSubSolution(std::move(pattern), 1);
        }
        solution->MergeSameSolution();
        return solution;
    };
    constexpr int kMaxBacktracks = 40;
    // Undoes the last fix and forbids its column: a fix that leaves no way to beat the search
    // is not tried again.
    auto backtrack = [&]() {
        if (fixes.empty() || ++backtracks > kMaxBacktracks) {
            return false;
        }
        const Fix last = fixes.back();
        fixes.pop_back();
        for (std::size_t r = 0; r < rows; ++r) {
            residual[r] += last.times * coeffs[last.column][r];
        }
        used -= last.times;
        forbidden.resize(coeffs.size(), 0);
        forbidden[last.column] = 1;
        return true;
    };
    if (auto done = tryComplete(ABeat - 1)) {
        return done;
    }
    while (std::any_of(residual.begin(), residual.end(), [](double r) { return r > 0.5; })) {
        if (StopRequested() || used >= ABeat) {
            return nullptr;
        }
        std::vector<std::size_t> open;
        for (std::size_t r = 0; r < rows; ++r) {
            if (residual[r] > 0.5) {
                open.push_back(r);
            }
        }
        double lpValue = MaxDouble;
        std::vector<double> x;
        std::vector<std::size_t> admitted;
        for (int round = 0; round < 500; ++round) {
            admitted.clear();
            forbidden.resize(coeffs.size(), 0);
            for (std::size_t j = 0; j < coeffs.size(); ++j) {
                if (forbidden[j] != 0) {
                    continue;
                }
                bool fits = false;
                bool ok = true;
                for (std::size_t r = 0; r < rows && ok; ++r) {
                    const double a = coeffs[j][r];
                    ok = a <= residual[r] + 1e-9;
                    fits = fits || (a > 0.0 && residual[r] > 0.5);
                }
                if (ok && fits) {
                    admitted.push_back(j);
                }
            }
            if (admitted.empty()) {
                break;
            }
            TDoubleMatrix matrix(open.size(), std::vector<double>(admitted.size(), 0.0));
            std::vector<double> lower(open.size()), upper(open.size(), 1e31);
            for (std::size_t i = 0; i < open.size(); ++i) {
                lower[i] = residual[open[i]];
                for (std::size_t j = 0; j < admitted.size(); ++j) {
                    matrix[i][j] = coeffs[admitted[j]][open[i]];
                }
            }
            TCbcLPSolver lp(matrix, std::vector<double>(admitted.size(), 1.0), lower, upper);
            if (!lp.Solve(lpValue)) {
                lpValue = MaxDouble;
                break;
            }
            x = lp.GetColSolution();
            const std::vector<double> duals = lp.GetRowPrice();
            TBCPNestParts parts;
            std::vector<std::int32_t> partDict;
            for (std::size_t i = 0; i < open.size(); ++i) {
                TBCPNestPart part = AProblem.NestParts()[open[i]];
                part.Amount = static_cast<std::int32_t>(std::lround(residual[open[i]]));
                part.Value = kAmp * duals[i];
                parts.push_back(part);
                partDict.push_back(dict[open[i]]);
            }
            bool succ = false;
            double value = 0.0;
            std::unique_ptr<TNestPattern> priced =
                IsTrapezoid
                    ? AProblem.TrapezodKPSolver()->SolveOnePatternTrapezoid(parts, AProblem.NestTube(),
                                                                            partDict, succ, value, -1)
                    : AProblem.KPSolver()->SolveOnePattern(parts, AProblem.NestTube(), partDict, succ, value);
            if (!succ || priced == nullptr || value <= kAmp * (1.0 + 1e-7) || !addColumn(*priced)) {
                break;
            }
        }
        if (admitted.empty() || lpValue >= MaxDouble ||
            used + static_cast<std::int32_t>(std::ceil(lpValue - 1e-6)) >= ABeat) {
            // This branch of the dive cannot beat what the search has.
            if (!backtrack()) {
                return nullptr;
            }
            continue;
        }
        const auto needed = static_cast<std::int32_t>(std::ceil(lpValue - 1e-6));
        if (needed <= 15 && used != lastTried) {
            lastTried = used;
            if (auto done = tryComplete(ABeat - 1 - used)) {
                return done;
            }
        }
        std::size_t pick = 0;
        // The largest value first; among equal values the fuller tube (an exact fill never hurts).
        for (std::size_t j = 1; j < admitted.size(); ++j) {
            const double dx = x[j] - x[pick];
            if (dx > 1e-6 ||
                (dx > -1e-6 && columns[admitted[j]]->Usage() > columns[admitted[pick]]->Usage())) {
                pick = j;
            }
        }
        const std::vector<double>& col = coeffs[admitted[pick]];
        double most = std::max(1.0, std::floor(x[pick] + 1e-6));
        for (std::size_t r = 0; r < rows; ++r) {
            if (col[r] > 0.0) {
                most = std::min(most, std::floor(residual[r] / col[r] + 1e-9));
            }
        }
        const auto times = static_cast<std::int32_t>(std::max(1.0, most));
        for (std::size_t r = 0; r < rows; ++r) {
            residual[r] = std::max(0.0, residual[r] - times * col[r]);
        }
        fixes.push_back(Fix{admitted[pick], times});
        used += times;
    }
    auto solution = std::make_unique<TPatternSolution>();
    for (const Fix& f : fixes) {
        solution->AddSubSolution(*columns[f.column], f.times);
    }
    solution->MergeSameSolution();
    return solution;
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

        std::unique_ptr<TPatternSolution> solution = QuickExactFill(problem, IsTrapezoid);
        report.exact_fill = solution != nullptr;
        if (solution == nullptr) {
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
            // Where the search ended above its root bound, a dive over its columns may close the gap.
            std::int32_t tubes = 0;
            for (int k = 0; k < solution->GetCount(); ++k) {
                tubes += solution->GetSubSolution(k).Num;
            }
            const bool open = !stats.root_lp_value || tubes == 0 ||
                              tubes > static_cast<std::int32_t>(std::ceil(*stats.root_lp_value - 1e-6));
            if (open && !StopRequested()) {
                std::unique_ptr<TPatternSolution> dived =
                    Dive(problem, tree.VarPool(), IsTrapezoid,
                         tubes > 0 ? tubes : std::numeric_limits<std::int32_t>::max());
                if (dived != nullptr && dived->GetCount() > 0 && problem.CheckSolution(*dived)) {
                    solution = std::move(dived);
                    report.dived = true;
                }
            }
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
