// The tube problem of the branch-cut-price solver, its knapsack pricing and the bcp nesting method:
// gap table reads against the gap manager, pattern identity in the pool, exact pricing against
// enumeration, plans against brute-force optima with orientation-dependent gaps, global part
// references through start solutions, tube types running out, determinism and stops.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <map>

#include "adjust/multi_tube_nest_wrapper.h"
#include "api/solve.h"
#include "bcp/bcp_tube_nest.h"
#include "bcp/var_pool.h"
#include "colgen/tube_lower_bound.h"
#include "model/random.h"
#include "support/gap_tables.h"
#include "support/plan_check.h"

namespace tubenest {
namespace {

using testsupport::BruteForceTubes;
using testsupport::MakeRandomGaps;
using testsupport::MakeUniformGaps;
using testsupport::OrderGapSum;
using testsupport::Part;
using testsupport::Tube;

TBCPNestParts NestParts(const TGeneralNestPartArr& parts) {
    TBCPNestParts result;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        result.push_back(TBCPNestPart{parts[i].FOuterlength, parts[i].FOuterlength,
                                      static_cast<std::int32_t>(i), parts[i].FAmountAvail});
    }
    return result;
}

double Laid(const TGeneralNestPartArr& parts, const TSegPlaceInfoManager& gaps, const TIntDynArray& order) {
    double length = OrderGapSum(gaps, order);
    for (const std::int32_t ref : order) {
        length += parts[static_cast<std::size_t>(std::abs(ref) - 1)].FOuterlength;
    }
    return length;
}

/// Copies per part placed by the results, tubes per tube entry; every result fits its tube by the
/// gap manager's own gaps.
struct Tally {
    std::vector<std::int32_t> placed;
    std::vector<std::int32_t> tubes;
    std::int32_t total_tubes = 0;
};
Tally Check(const TNestResultList& results, const TGeneralNestPartArr& parts,
            const TGeneralNestTubeArr& tubes, const TSegPlaceInfoManager& gaps) {
    Tally t{std::vector<std::int32_t>(parts.size(), 0), std::vector<std::int32_t>(tubes.size(), 0), 0};
    for (int k = 0; k < results.Count(); ++k) {
        const TNestResult& r = results[k];
        EXPECT_GE(r.FTubeIndex, 1);
        EXPECT_LE(r.FTubeIndex, static_cast<int>(tubes.size()));
        EXPECT_GE(r.FTubeCount, 1);
        const double length = Laid(parts, gaps, r.FPartOrder);
        EXPECT_NEAR(r.FLengthUsed, length, 1e-6);
        EXPECT_LE(length, tubes[static_cast<std::size_t>(r.FTubeIndex - 1)].FTubeInitialLen + 1e-6);
        for (const std::int32_t ref : r.FPartOrder) {
            t.placed[static_cast<std::size_t>(std::abs(ref) - 1)] += r.FTubeCount;
        }
        t.tubes[static_cast<std::size_t>(r.FTubeIndex - 1)] += r.FTubeCount;
        t.total_tubes += r.FTubeCount;
    }
    for (std::size_t i = 0; i < tubes.size(); ++i) {
        EXPECT_LE(t.tubes[i], tubes[i].FAmountAvail) << "tube entry " << i;
    }
    return t;
}

TEST(TubeGapTable, ReadsEveryOrientationAsTheGapManager) {
    TRandomGenerator rng(18);
    for (int round = 0; round < 5; ++round) {
        auto gaps = MakeRandomGaps(6, rng, -5.0, 25.0);
        gaps->InitializePartGaps();
        const TCGGapInfoTable table(*gaps);
        EXPECT_FALSE(table.AllGapSame);
        for (std::int32_t a = -6; a <= 6; ++a) {
            for (std::int32_t b = -6; b <= 6; ++b) {
                if (a != 0 && b != 0) {
                    EXPECT_EQ(table.GetGap(a, b), gaps->GetGap(a, b)) << a << " then " << b;
                }
            }
        }
    }
    auto uniform = MakeUniformGaps(3, 3.0);
    uniform->InitializePartGaps();
    const TCGGapInfoTable table(*uniform);
    EXPECT_TRUE(table.AllGapSame);
    EXPECT_EQ(table.MaxGap, 3.0);
    EXPECT_EQ(table.MinGap, 3.0);
}

// Equal copies per main row make one column, whatever the order, the used length or the length
// of the column vector (a sub-problem's stops at its last row): the pool keeps one entry.
TEST(NestPattern, EqualColumnsAreOnePoolEntry) {
    const TNestPattern a({1, 2, -2}, 0.9, {1, 2});
    const TNestPattern b({-2, 1, 2}, 0.8, {1, 2, 0, 0});
    const TNestPattern c({1, 2}, 0.9, {1, 1});
    EXPECT_TRUE(a.IsSameWith(b));
    EXPECT_TRUE(b.IsSameWith(a));
    EXPECT_FALSE(a.IsSameWith(c));
    TVarPool<TNestPattern> pool({3, 3, 3, 3}, {1, 1, 1, 1});
    bool exists = true;
    EXPECT_EQ(pool.AddVar(a, exists), 0);
    EXPECT_FALSE(exists);
    EXPECT_EQ(pool.AddVar(b, exists), 0);
    EXPECT_TRUE(exists);
    EXPECT_EQ(pool.AddVar(c, exists), 1);
    EXPECT_EQ(pool.Count(), 2);

    TBCPSolution<TNestPattern> solution;
    solution.AddSubSolution(std::make_unique<TNestPattern>(TIntDynArray{1}, 1.0, std::vector<double>{1}), 1);
    solution.AddSubSolution(std::make_unique<TNestPattern>(TIntDynArray{2}, 0.4, std::vector<double>{0, 1}),
                            1);
    solution.AddSubSolution(
        std::make_unique<TNestPattern>(TIntDynArray{3}, 0.9, std::vector<double>{0, 0, 1}), 1);
    EXPECT_NEAR(solution.GetCSPCost(), 2.4, 1e-12);
}

TEST(TubeProblem, MainRowsAreThePartsWantedThatFit) {
    const TBCPNestParts parts{{1200, 1200, 0, 2}, {900, 900, 3, 1}, {800, 800, 1, 0}, {500, 500, 2, 4}};
    const TTubeProblem problem(parts, TBCPNestTube{1000, 5, 0}, nullptr, 0.0, true, nullptr, true);
    ASSERT_EQ(problem.NestParts().size(), 2u);
    EXPECT_EQ(problem.NestParts()[0].Idx, 3);
    EXPECT_EQ(problem.NestParts()[1].Idx, 2);
    EXPECT_EQ(problem.BVec(), (std::vector<double>{1, 4}));

    // A sub-problem keeps global references: part 3 (Idx 2) is its only row, main row 1.
    auto sub = problem.GetSubBCPProblem({0, 1}, std::vector<std::int32_t>{0, 3});
    const auto& tube = dynamic_cast<const TTubeProblem&>(*sub);
    ASSERT_EQ(tube.NestParts().size(), 1u);
    EXPECT_EQ(tube.RowDict(), (std::vector<std::int32_t>{1}));
    TNestResultList results;
    auto r = std::make_unique<TNestResult>();
    r->FPartOrder = {3, -3};
    r->FTubeCount = 2;
    r->FLengthUsed = 1000;
    results.Add(std::move(r));
    const TNestPatternSolution solution(results, tube);
    ASSERT_EQ(solution.GetCount(), 1);
    EXPECT_EQ(solution.GetSubSolution(0).Var->Order(), (TIntDynArray{3, -3}));
    EXPECT_EQ(solution.GetSubSolution(0).Var->GetColumn(2), (std::vector<double>{0, 2}));
    EXPECT_EQ(solution.GetSubSolution(0).Num, 2);
    // A result naming a part that is no row is refused, not mapped onto another part.
    results[0].FPartOrder = {4};
    EXPECT_THROW(TNestPatternSolution(results, tube), std::invalid_argument);
}

// Exact pricing: with equal gaps and whole millimetres no layout is worth more than the one the
// dynamic programme returns, and what it returns fits at its real length.
TEST(KPSolver, PricingIsExactWithEqualGaps) {
    TRandomGenerator rng(77);
    for (int round = 0; round < 60; ++round) {
        const int kinds = 1 + rng.Random(4);
        const double gap = rng.Random(4);
        TGeneralNestPartArr general;
        for (int k = 0; k < kinds; ++k) {
            general.push_back(Part(100 + rng.Random(400), 1 + rng.Random(4)));
        }
        auto gaps = MakeUniformGaps(kinds, gap);
        gaps->InitializePartGaps();
        TBCPNestParts parts = NestParts(general);
        for (auto& p : parts) {
            p.Value = rng.Random(1000) - 100; // some not worth taking
        }
        const TBCPNestTube tube{static_cast<double>(600 + rng.Random(900)), 1, 0};
        const TKPSolver solver(*gaps, parts, {tube});
        ASSERT_TRUE(solver.IsExact(parts, tube));
        std::vector<std::int32_t> dict(parts.size());
        for (std::size_t i = 0; i < dict.size(); ++i) {
            dict[i] = static_cast<std::int32_t>(i);
        }
        bool succ = false;
        double value = 0.0;
        auto pattern = solver.SolveOnePattern(parts, tube, dict, succ, value);
        // Enumerate all count vectors.
        double best = 0.0;
        std::vector<int> counts(parts.size(), 0);
        std::function<void(std::size_t)> walk = [&](std::size_t i) {
            if (i == counts.size()) {
                double length = 0.0, v = 0.0;
                int copies = 0;
                for (std::size_t j = 0; j < counts.size(); ++j) {
                    length += counts[j] * parts[j].Length;
                    v += counts[j] * parts[j].Value;
                    copies += counts[j];
                }
                if (copies > 0 && length + (copies - 1) * gap <= tube.Length) {
                    best = std::max(best, v);
                }
                return;
            }
            for (counts[i] = 0; counts[i] <= parts[i].Amount; ++counts[i]) {
                walk(i + 1);
            }
        };
        walk(0);
        SCOPED_TRACE("round " + std::to_string(round));
        EXPECT_NEAR(value, best, 1e-6);
        EXPECT_EQ(succ, best > 0.0);
        if (pattern != nullptr) {
            EXPECT_NEAR(OrderValue(pattern->Order(), parts), best, 1e-6);
            EXPECT_LE(Laid(general, *gaps, pattern->Order()), tube.Length + 1e-6);
            EXPECT_NEAR(pattern->Usage() * tube.Length, Laid(general, *gaps, pattern->Order()), 1e-6);
        }
    }
}

TEST(KPSolver, EdgeCases) {
    const TGeneralNestPartArr general{Part(300, 3), Part(200, 3)};
    auto gaps = MakeUniformGaps(2, 2.0);
    gaps->InitializePartGaps();
    TBCPNestParts parts = NestParts(general);
    const std::vector<std::int32_t> dict{0, 1};
    // A tie in value goes to the shorter layout: 3 × 200 (604 mm) and 2 × 300 (602 mm) are worth
    // the same.
    parts[0].Value = 3.0;
    parts[1].Value = 2.0;
    const TKPSolver solver(*gaps, parts, {TBCPNestTube{610, 1, 0}});
    bool succ = false;
    double value = 0.0;
    auto pattern = solver.SolveOnePattern(parts, TBCPNestTube{610, 1, 0}, dict, succ, value);
    ASSERT_TRUE(succ);
    EXPECT_EQ(value, 6.0);
    EXPECT_EQ(pattern->Column(), (std::vector<double>{2, 0}));
    // A tube shorter than every part gives nothing.
    pattern = solver.SolveOnePattern(parts, TBCPNestTube{150, 1, 0}, dict, succ, value);
    EXPECT_FALSE(succ);
    EXPECT_EQ(pattern, nullptr);
    // Runs use the cheapest layout the gaps allow: turned copies sharing a cut.
    auto shared = MakeUniformGaps(1, 5.0);
    testsupport::SetGap(*shared, 1, -1, -10.0);
    shared->InitializePartGaps();
    const TBCPNestParts one{{100, 1, 0, 5}};
    const TKPSolver runs(*shared, one, {TBCPNestTube{1000, 1, 0}});
    TIntDynArray order;
    runs.AppendRun(0, 3, order);
    EXPECT_NEAR(runs.RunLength(0, 3), Laid({Part(100, 5)}, *shared, order), 1e-9);
    EXPECT_LT(runs.RunLength(0, 3), 310.0);
}

struct BcpRun {
    TNestResultList results;
    TBCPTubeNestReport report;
};
BcpRun RunBcp(const TGeneralNestPartArr& parts, const TGeneralNestTubeArr& tubes,
              const TSegPlaceInfoManager& gaps, const std::vector<TNestResultList>* starts = nullptr) {
    BcpRun run;
    TMultiTubeNestWrapper wrapper(parts, tubes, gaps, TCADAutoNestParam{});
    EXPECT_TRUE(wrapper.BCPNest(run.results, starts, &run.report));
    return run;
}

// Orientation-dependent gaps (the backpack prices) and equal gaps (the dynamic programme prices
// and proves): every copy placed once, each tube within its length, never fewer tubes than the
// optimum, and a proven bound never above it.
TEST(BCPNest, SmallRandomProblemsAgainstBruteForce) {
    TRandomGenerator rng(2026);
    int proven = 0;
    for (int round = 0; round < 40; ++round) {
        const bool uniform = round % 2 == 0;
        const int kinds = 1 + rng.Random(3);
        TGeneralNestPartArr parts;
        int total = 0;
        for (int k = 0; k < kinds; ++k) {
            const int amount = std::min(1 + rng.Random(3), 7 - total - (kinds - k - 1));
            total += amount;
            parts.push_back(Part(150 + rng.Random(550), amount));
        }
        auto gaps = uniform ? MakeUniformGaps(kinds, rng.Random(4)) : MakeRandomGaps(kinds, rng, -10.0, 30.0);
        gaps->InitializePartGaps();
        const TGeneralNestTubeArr tubes{Tube(1000, 20)};
        SCOPED_TRACE("round " + std::to_string(round));
        const BcpRun run = RunBcp(parts, tubes, *gaps);
        const Tally t = Check(run.results, parts, tubes, *gaps);
        for (std::size_t i = 0; i < parts.size(); ++i) {
            EXPECT_EQ(t.placed[i], parts[i].FAmountAvail) << "part " << i;
        }
        const std::int32_t optimum = BruteForceTubes(parts, *gaps, 1000, 1e-6);
        EXPECT_GE(t.total_tubes, optimum);
        if (run.report.proven_tubes) {
            EXPECT_TRUE(uniform);
            EXPECT_LE(*run.report.proven_tubes, optimum);
            proven += *run.report.proven_tubes == t.total_tubes ? 1 : 0;
        }
        // A fill of the continuous bound's tubes is optimal: no search is needed.
        ASSERT_FALSE(run.report.tube_types.empty());
        if (run.report.tube_types[0].exact_fill) {
            EXPECT_EQ(t.total_tubes, optimum);
            ++proven;
        }
    }
    EXPECT_GT(proven, 10); // the proof works, not a bound of 0 everywhere
}

// Tubes filled exactly by three parts each (the optimum is the number of tubes, by construction):
// the search must not prove more tubes than that, nor use fewer.
TEST(BCPNest, ExactFillsNeverProveMoreThanTheOptimum) {
    TRandomGenerator rng(60);
    for (int round = 0; round < 6; ++round) {
        const int bins = 12 + rng.Random(10);
        const double kerf = round % 2 == 0 ? 0.0 : 3.0;
        std::map<int, std::int32_t> demand;
        for (int b = 0; b < bins; ++b) {
            const int first = 250 + rng.Random(250);
            const int second = 250 + rng.Random(250);
            demand[first] += 1;
            demand[second] += 1;
            demand[1000 - first - second] += 1;
        }
        TGeneralNestPartArr parts;
        for (const auto& [length, amount] : demand) {
            parts.push_back(Part(length - kerf, amount)); // k parts and k - 1 gaps fill 1000 - kerf
        }
        auto gaps = MakeUniformGaps(static_cast<int>(parts.size()), kerf);
        gaps->InitializePartGaps();
        const TGeneralNestTubeArr tubes{Tube(1000 - kerf, 3 * bins)};
        SCOPED_TRACE("round " + std::to_string(round));
        const BcpRun run = RunBcp(parts, tubes, *gaps);
        const Tally t = Check(run.results, parts, tubes, *gaps);
        for (std::size_t i = 0; i < parts.size(); ++i) {
            EXPECT_EQ(t.placed[i], parts[i].FAmountAvail);
        }
        // Exact fills exist by construction; bin completion and the dive find them at this size.
        EXPECT_EQ(t.total_tubes, bins);
        ASSERT_FALSE(run.report.tube_types.empty());
        EXPECT_TRUE(run.report.tube_types[0].exact_pricing);
        if (run.report.proven_tubes) {
            EXPECT_LE(*run.report.proven_tubes, bins);
        }
    }
}

// Uniform instances of the size where the search runs (no exact fill of the continuous bound):
// the search's proven bound is the column generation bound of the relaxation rounded up, never more
// (a bound above it came from an LP value that was no bound yet).
TEST(BCPNest, ProvenBoundNeverAboveTheRelaxation) {
    TRandomGenerator rng(120);
    int searched = 0;
    for (int round = 0; round < 20; ++round) {
        std::map<int, std::int32_t> demand;
        for (int k = 0; k < 120; ++k) {
            demand[20 + rng.Random(81)] += 1;
        }
        TGeneralNestPartArr parts;
        for (const auto& [length, amount] : demand) {
            parts.push_back(Part(length, amount));
        }
        auto gaps = MakeUniformGaps(static_cast<int>(parts.size()), 0.0);
        gaps->InitializePartGaps();
        const TGeneralNestTubeArr tubes{Tube(150, 120)};
        SCOPED_TRACE("round " + std::to_string(round));
        const BcpRun run = RunBcp(parts, tubes, *gaps);
        const Tally t = Check(run.results, parts, tubes, *gaps);
        TTubeLowerBound relaxation(parts, tubes, *gaps);
        relaxation.Solve();
        EXPECT_GE(t.total_tubes, relaxation.Tubes());
        if (run.report.proven_tubes) {
            EXPECT_LE(*run.report.proven_tubes, relaxation.Tubes());
        }
        searched += run.report.tube_types.at(0).exact_fill ? 0 : 1;
    }
    EXPECT_GT(searched, 5); // the search ran, not only the exact fill
}

// The first tube type runs out: its patterns stop at its stock, the rest go to the next type; a
// part longer than every tube is left for the amount adjustment, which cannot place it either.
TEST(BCPNest, LeftoversMoveToTheNextTubeType) {
    const TGeneralNestPartArr parts{Part(450, 6), Part(1500, 1), Part(0.5, 2)};
    auto gaps = MakeUniformGaps(3, 3.0);
    gaps->InitializePartGaps();
    const TGeneralNestTubeArr tubes{Tube(1000, 1), Tube(950, 5)};
    const BcpRun run = RunBcp(parts, tubes, *gaps);
    const Tally t = Check(run.results, parts, tubes, *gaps);
    EXPECT_EQ(t.placed, (std::vector<std::int32_t>{6, 0, 2}));
    EXPECT_EQ(t.tubes[0], 1);
    EXPECT_EQ(t.tubes[1], 2);
}

TEST(BCPNest, NothingToCutGivesNoResults) {
    const TGeneralNestPartArr parts{Part(450, 0)};
    auto gaps = MakeUniformGaps(1, 3.0);
    gaps->InitializePartGaps();
    const BcpRun run = RunBcp(parts, {Tube(1000, 3)}, *gaps);
    EXPECT_EQ(run.results.Count(), 0);
}

// Start solutions name global part references; one that names a part the problem lacks is refused
// and the run goes on; a good one is taken.
TEST(BCPNest, StartSolutionsUseGlobalReferences) {
    const TGeneralNestPartArr parts{Part(300, 2), Part(600, 2)};
    auto gaps = MakeUniformGaps(2, 0.0);
    gaps->InitializePartGaps();
    const TGeneralNestTubeArr tubes{Tube(900, 5)};
    std::vector<TNestResultList> starts(2);
    auto good = std::make_unique<TNestResult>();
    good->FTubeIndex = 1;
    good->FTubeCount = 2;
    good->FPartOrder = {2, 1};
    starts[0].Add(std::move(good));
    auto bad = std::make_unique<TNestResult>();
    bad->FTubeIndex = 1;
    bad->FTubeCount = 1;
    bad->FPartOrder = {7};
    starts[1].Add(std::move(bad));
    const BcpRun run = RunBcp(parts, tubes, *gaps, &starts);
    const Tally t = Check(run.results, parts, tubes, *gaps);
    EXPECT_EQ(t.placed, (std::vector<std::int32_t>{2, 2}));
    EXPECT_EQ(t.total_tubes, 2);
}

api::Problem RandomProblem(TRandomGenerator& rng, int kinds) {
    api::Problem p;
    for (int k = 0; k < kinds; ++k) {
        api::PartSpec part;
        part.id = "P" + std::to_string(k);
        part.length = 150.0 + rng.Random(2800);
        part.amount = 1 + rng.Random(8);
        p.parts.push_back(part);
    }
    p.stock.push_back(api::StockSpec{"S1", 3000.0 + rng.Random(4000), 400});
    p.gaps.kerf = rng.Random(4);
    return p;
}

TEST(BcpMethod, SoundPlansTheSameWithOneAndTwoThreads) {
    TRandomGenerator rng(4242);
    for (int instance = 0; instance < 12; ++instance) {
        SCOPED_TRACE("instance " + std::to_string(instance));
        const api::Problem p = RandomProblem(rng, 3 + rng.Random(12));
        api::SolveOptions options;
        options.seed = 5;
        options.method = "ffd";
        const api::Plan ffd = api::Solve(p, options);
        options.method = "bcp";
        std::vector<std::vector<std::int32_t>> layouts;
        for (const int threads : {1, 2}) {
            options.threads = threads;
            const api::Plan plan = api::Solve(p, options);
            EXPECT_TRUE(testing::CheckPlanInvariants(p, plan).empty());
            EXPECT_TRUE(plan.AllPlaced());
            EXPECT_LE(plan.totals.tubes_used, ffd.totals.tubes_used);
            ASSERT_TRUE(plan.lower_bound);
            EXPECT_LE(plan.lower_bound->tubes, plan.totals.tubes_used);
            EXPECT_EQ(plan.optimal, plan.lower_bound->tubes == plan.totals.tubes_used);
            std::vector<std::int32_t> flat;
            for (int k = 0; plan.engine_results && k < plan.engine_results->Count(); ++k) {
                const TNestResult& r = (*plan.engine_results)[k];
                flat.push_back(r.FTubeIndex);
                flat.push_back(r.FTubeCount);
                flat.insert(flat.end(), r.FPartOrder.begin(), r.FPartOrder.end());
                flat.push_back(0);
            }
            layouts.push_back(flat);
        }
        EXPECT_EQ(layouts[0], layouts[1]);
    }
}

// A stop (the time limit, from the watcher thread) ends the search with a complete plan.
TEST(BcpMethodConcurrency, TimeLimitEndsTheRunWithACompletePlan) {
    TRandomGenerator rng(8);
    api::Problem p;
    for (int k = 0; k < 150; ++k) {
        p.parts.push_back(api::PartSpec{"P" + std::to_string(k), "", 2000.0 + rng.Random(15000) + 0.5,
                                        std::nullopt, 0, 0, 1 + rng.Random(3), "", "",
                                        std::vector<api::Interval>{}});
    }
    p.stock.push_back(api::StockSpec{"S", 40000.0, 400});
    p.gaps.kerf = 2.5;
    api::SolveOptions options;
    options.method = "bcp";
    options.time_limit_seconds = 0.5;
    const api::Plan plan = api::Solve(p, options);
    EXPECT_TRUE(plan.AllPlaced());
    EXPECT_TRUE(testing::CheckPlanInvariants(p, plan).empty());
    EXPECT_LT(plan.elapsed_seconds, 60.0);
}

} // namespace
} // namespace tubenest
