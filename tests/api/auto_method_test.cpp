// Method "auto": the best plan of the methods it ran, a bound that is a proof, the same plan with
// one or two threads, and stops that keep what was found.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <thread>
#include <tuple>

#include "api/solve.h"
#include "model/nest_progress.h"
#include "model/random.h"
#include "support/plan_check.h"
#include "test_problems.h"

using namespace tubenest;
using namespace tubenest::api;
using tubenest::testing::CheckPlanInvariants;
using tubenest::testing::Lines;

namespace {

// A stand-in "bcp", so that the tests see "auto" take a method up by its name. Its behaviour is
// switched per test; by default it passes first-fit decreasing through.
enum class FakeMode { Passthrough, ProvesBound, Slow, NotSuited, Faulty };
std::atomic<FakeMode> g_fakeMode{FakeMode::Passthrough};
std::atomic<double> g_fakeBound{0.0};

void RegisterFakeBcp() {
    RegisterMethod("bcp", [](const EngineInput& in, const MethodContext& ctx) {
        switch (g_fakeMode.load()) {
        case FakeMode::Slow:
            // Polls the engine's own stop request: it must be this method's, not the run's.
            while (!GetStopped()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            break;
        case FakeMode::NotSuited:
            throw ProblemError({"method bcp: too large for this test"});
        case FakeMode::Faulty:
            throw std::logic_error("bcp test fault");
        default:
            break;
        }
        EngineOutput out = FirstFitDecreasing(in, ctx);
        if (g_fakeMode.load() == FakeMode::ProvesBound) {
            out.lower_bound = TubeBound{g_fakeBound.load(), "branch-cut-price", true};
        }
        out.stopped = ctx.StopRequested();
        return out;
    });
}

/// Restores the pass-through behaviour when a test ends, also when it fails.
struct FakeModeScope {
    explicit FakeModeScope(FakeMode mode) {
        RegisterFakeBcp();
        g_fakeMode = mode;
    }
    FakeModeScope(const FakeModeScope&) = delete;
    FakeModeScope& operator=(const FakeModeScope&) = delete;
    ~FakeModeScope() { g_fakeMode = FakeMode::Passthrough; }
};

/// Whole parts only, one stock length, uniform kerf: small enough for a brute-force optimum.
Problem SmallWholeProblem(TRandomGenerator& rng) {
    Problem p;
    const int kinds = 1 + rng.Random(4);
    for (int k = 0; k < kinds; ++k) {
        const double length = 400.0 + 50.0 * rng.Random(50);
        p.parts.push_back(PartSpec{"P" + std::to_string(k + 1), "", length, std::nullopt, 0.0, 0.0,
                                   1 + rng.Random(3), "", "", std::nullopt});
    }
    p.stock.push_back(StockSpec{"S1", 3000.0 + 500.0 * rng.Random(4), 30});
    p.gaps.kerf = rng.Random(2) == 0 ? 0.0 : 3.0;
    p.parameters.splitting = Splitting::Never;
    return p;
}

/// Mixed stock (two lengths and a remnant) and, every other time, parts that may be split.
Problem MixedProblem(TRandomGenerator& rng) {
    Problem p;
    const int kinds = 2 + rng.Random(5);
    for (int k = 0; k < kinds; ++k) {
        // Now and then longer than every bar: a part that must be split.
        const double length = 300.0 + 10.0 * rng.Random(rng.Random(4) == 0 ? 800 : 500);
        p.parts.push_back(PartSpec{"P" + std::to_string(k + 1), "", length, std::nullopt, 0.0, 0.0,
                                   1 + rng.Random(6), "", "", std::nullopt});
    }
    p.stock.push_back(StockSpec{"S1", 6000.0, 40});
    p.stock.push_back(StockSpec{"S2", 7500.0, 5});
    p.stock.push_back(StockSpec{"R1", 2500.0, 1, true});
    p.gaps.kerf = static_cast<double>(rng.Random(5));
    p.parameters.splitting = rng.Random(2) == 0 ? Splitting::Never : Splitting::Auto;
    return p;
}

/// The fewest tubes of capacity `capacity` holding the lengths, each tube's parts needing
/// sum + (k - 1) gap: exhaustive, with the usual symmetry cuts.
std::int64_t BruteForceTubes(std::vector<double> lengths, double capacity, double gap) {
    std::sort(lengths.rbegin(), lengths.rend());
    std::int64_t best = static_cast<std::int64_t>(lengths.size());
    std::vector<double> load; // length used per open tube, gap included
    std::function<void(std::size_t)> place = [&](std::size_t i) {
        if (static_cast<std::int64_t>(load.size()) >= best) {
            return;
        }
        if (i == lengths.size()) {
            best = static_cast<std::int64_t>(load.size());
            return;
        }
        for (std::size_t t = 0; t < load.size(); ++t) {
            if (load[t] + gap + lengths[i] <= capacity + 1e-9) {
                load[t] += gap + lengths[i];
                place(i + 1);
                load[t] -= gap + lengths[i];
            }
        }
        load.push_back(lengths[i]);
        place(i + 1);
        load.pop_back();
    };
    place(0);
    return best;
}

/// a is better than b by the comparer "auto" states: copies, tubes, then welds and material (or,
/// splitting "free", material and welds).
bool Better(const Plan& a, const Plan& b, Splitting splitting) {
    const Totals& x = a.totals;
    const Totals& y = b.totals;
    if (x.copies_placed != y.copies_placed) {
        return x.copies_placed > y.copies_placed;
    }
    if (x.tubes_used != y.tubes_used) {
        return x.tubes_used < y.tubes_used;
    }
    const auto material = [](const Totals& t) { return std::llround(t.material_used * 1000.0); };
    if (splitting == Splitting::Free) {
        return std::tuple(material(x), x.welds) < std::tuple(material(y), y.welds);
    }
    return std::tuple(x.welds, material(x)) < std::tuple(y.welds, material(y));
}

std::vector<std::string> MethodsOf(const Plan& plan) {
    std::vector<std::string> names;
    for (const MethodAttempt& a : plan.attempts) {
        names.push_back(a.method);
    }
    return names;
}

SolveOptions AutoOptions(std::uint64_t seed, std::int32_t threads = 1) {
    SolveOptions o;
    o.method = "auto";
    o.seed = seed;
    o.threads = threads;
    o.time_limit_seconds = 300.0; // a safety net only: these problems take well under a second
    return o;
}

} // namespace

TEST(AutoMethod, IsTheDefaultAndListedFirst) {
    EXPECT_EQ(DefaultMethodName(), "auto");
    const auto names = SolveMethodNames();
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(names.front(), "auto");
    EXPECT_NO_THROW(CheckMethodName("auto"));
    EXPECT_THROW(CheckMethodName("best"), std::invalid_argument);
    SolveOptions o;
    o.seed = 3;
    const Plan plan = Solve(tubenest::testing::SmallProblem(), o);
    EXPECT_EQ(plan.method, "auto");
    EXPECT_FALSE(plan.attempts.empty());
    EXPECT_EQ(plan.attempts.front().method, "ffd");
}

// The plan is no worse than the plan of any method it ran, each repeated alone with the seed the
// run gave it; every plan keeps the invariants.
TEST(AutoMethod, NoWorseThanEveryMethodItRan) {
    TRandomGenerator rng(2024);
    for (int round = 0; round < 8; ++round) {
        const Problem problem = MixedProblem(rng);
        const Plan plan = Solve(problem, AutoOptions(100 + round));
        ASSERT_TRUE(CheckPlanInvariants(problem, plan).empty()) << "round " << round << "\n"
                                                                << Lines(CheckPlanInvariants(problem, plan));
        ASSERT_FALSE(plan.attempts.empty());
        bool winnerSeen = false;
        for (const MethodAttempt& a : plan.attempts) {
            winnerSeen = winnerSeen || a.method == plan.winner;
            if (a.outcome == "not suited") {
                continue;
            }
            SolveOptions alone;
            alone.method = a.method;
            alone.seed = a.seed;
            const Plan single = Solve(problem, alone);
            EXPECT_TRUE(CheckPlanInvariants(problem, single).empty()) << a.method;
            EXPECT_FALSE(Better(single, plan, problem.parameters.splitting))
                << "round " << round << ": " << a.method << " alone uses " << single.totals.tubes_used
                << " tubes, auto " << plan.totals.tubes_used;
            // The table says what the method reached.
            EXPECT_EQ(a.tubes, single.totals.tubes_used) << a.method;
            EXPECT_EQ(a.copies_placed, single.totals.copies_placed) << a.method;
        }
        EXPECT_TRUE(winnerSeen) << plan.winner;
    }
}

// The bound never exceeds the optimum, and a plan says optimal only where it holds the optimum.
TEST(AutoMethod, BoundAndOptimalAgainstBruteForce) {
    TRandomGenerator rng(77);
    int proven = 0;
    for (int round = 0; round < 25; ++round) {
        const Problem problem = SmallWholeProblem(rng);
        std::vector<double> lengths;
        for (const PartSpec& p : problem.parts) {
            lengths.insert(lengths.end(), static_cast<std::size_t>(p.amount), p.length);
        }
        const std::int64_t optimum = BruteForceTubes(lengths, problem.stock[0].length, problem.gaps.kerf);
        const Plan plan = Solve(problem, AutoOptions(round));
        ASSERT_TRUE(plan.AllPlaced());
        ASSERT_TRUE(plan.lower_bound.has_value());
        EXPECT_LE(plan.lower_bound->tubes, optimum) << "round " << round;
        EXPECT_GE(plan.totals.tubes_used, optimum) << "round " << round;
        EXPECT_EQ(plan.optimal, plan.totals.tubes_used == plan.lower_bound->tubes) << "round " << round;
        if (plan.optimal) {
            EXPECT_EQ(plan.totals.tubes_used, optimum) << "round " << round;
            ++proven;
        }
        for (const MethodAttempt& a : plan.attempts) {
            if (a.lower_bound) {
                EXPECT_LE(*a.lower_bound, plan.lower_bound->tubes) << a.method; // the best bound is kept
            }
        }
    }
    EXPECT_GT(proven, 0); // the check above must have had something to check
}

// Same seed, same plan, with one thread and with two (methods then run side by side).
// The tests that run methods side by side are named "Concurrency": they also run under ThreadSanitizer.
TEST(AutoMethodConcurrency, SameSeedSamePlanWithOneAndTwoThreads) {
    TRandomGenerator rng(5);
    int withCircular = 0;
    for (int round = 0; round < 8; ++round) {
        const Problem problem = MixedProblem(rng);
        const Plan one = Solve(problem, AutoOptions(900 + round, 1));
        const Plan two = Solve(problem, AutoOptions(900 + round, 2));
        const auto names = MethodsOf(one);
        withCircular += std::find(names.begin(), names.end(), "circular") != names.end() ? 1 : 0;
        EXPECT_EQ(one.winner, two.winner) << "round " << round;
        EXPECT_EQ(one.totals.tubes_used, two.totals.tubes_used) << "round " << round;
        EXPECT_EQ(one.totals.welds, two.totals.welds) << "round " << round;
        ASSERT_EQ(one.patterns.size(), two.patterns.size()) << "round " << round;
        for (std::size_t k = 0; k < one.patterns.size(); ++k) {
            EXPECT_EQ(one.patterns[k].count, two.patterns[k].count);
            ASSERT_EQ(one.patterns[k].parts.size(), two.patterns[k].parts.size());
            for (std::size_t j = 0; j < one.patterns[k].parts.size(); ++j) {
                EXPECT_EQ(one.patterns[k].parts[j].reference, two.patterns[k].parts[j].reference);
            }
        }
        ASSERT_EQ(one.attempts.size(), two.attempts.size()) << "round " << round;
        for (std::size_t k = 0; k < one.attempts.size(); ++k) {
            EXPECT_EQ(one.attempts[k].method, two.attempts[k].method);
            EXPECT_EQ(one.attempts[k].seed, two.attempts[k].seed);
            EXPECT_EQ(one.attempts[k].tubes, two.attempts[k].tubes) << one.attempts[k].method;
        }
    }
    EXPECT_GT(withCircular, 0); // the swarm's own threads took part too
}

// Four parts of 1600 in tubes of 3000 with kerf 3: whole, two never share a tube (3203 > 3000), so
// four tubes; split, three can do.
Problem FourLongParts(Splitting splitting) {
    Problem problem;
    problem.parts.push_back(PartSpec{"P", "", 1600.0, std::nullopt, 0.0, 0.0, 4, "", "", std::nullopt});
    problem.stock.push_back(StockSpec{"S", 3000.0, 10});
    problem.gaps.kerf = 3.0;
    problem.parameters.splitting = splitting;
    return problem;
}

// Once the best plan meets the bound the methods after it do not count.
TEST(AutoMethod, StopsWhenTheBoundIsMet) {
    const Plan plan = Solve(FourLongParts(Splitting::Never), AutoOptions(1));
    // ffd's four tubes are unproven (the continuous bound says three); cg proves four.
    EXPECT_EQ(MethodsOf(plan), (std::vector<std::string>{"ffd", "svc", "packed", "greedy", "cg"}));
    EXPECT_EQ(plan.totals.tubes_used, 4);
    ASSERT_TRUE(plan.lower_bound.has_value());
    EXPECT_EQ(plan.lower_bound->tubes, 4);
    EXPECT_TRUE(plan.optimal);
    EXPECT_EQ(plan.winner, "ffd"); // a tie keeps the earlier method
}

// A method registered under a candidate's name joins in its place in the order, without it the
// run goes on as before; a bound that holds for whole parts only does not count where parts may
// be split.
TEST(AutoMethod, RegisteredBcpJoinsInItsPlace) {
    const Problem problem = FourLongParts(Splitting::Auto);
    const auto registered = AvailableMethods();
    if (std::find(registered.begin(), registered.end(), "bcp") == registered.end()) {
        const auto names = MethodsOf(Solve(problem, AutoOptions(3)));
        EXPECT_EQ(std::find(names.begin(), names.end(), "bcp"), names.end());
        EXPECT_EQ(names.front(), "ffd");
    }
    FakeModeScope fake(FakeMode::ProvesBound);
    g_fakeBound = 4.0;
    const Plan plan = Solve(problem, AutoOptions(3));
    const auto names = MethodsOf(plan);
    const auto cg = std::find(names.begin(), names.end(), "cg");
    ASSERT_NE(cg, names.end());
    ASSERT_NE(cg + 1, names.end());
    EXPECT_EQ(*(cg + 1), "bcp");
    ASSERT_TRUE(plan.lower_bound.has_value());
    EXPECT_NE(plan.lower_bound->source, "branch-cut-price");
    EXPECT_LE(plan.lower_bound->tubes, 3);
    EXPECT_TRUE(CheckPlanInvariants(problem, plan).empty()) << Lines(CheckPlanInvariants(problem, plan));
}

// A method that refuses the problem is listed as not suited; a method that fails is not hidden.
TEST(AutoMethodConcurrency, MethodFaultsAreReportedNotSwallowed) {
    const Problem problem = FourLongParts(Splitting::Auto);
    {
        FakeModeScope fake(FakeMode::NotSuited);
        const Plan plan = Solve(problem, AutoOptions(2));
        EXPECT_TRUE(plan.AllPlaced());
        const auto bcp = std::find_if(plan.attempts.begin(), plan.attempts.end(),
                                      [](const MethodAttempt& a) { return a.method == "bcp"; });
        ASSERT_NE(bcp, plan.attempts.end());
        EXPECT_EQ(bcp->outcome, "not suited");
        EXPECT_NE(bcp->note.find("too large"), std::string::npos);
        EXPECT_NE(plan.winner, "bcp");
    }
    for (const std::int32_t threads : {1, 2}) {
        FakeModeScope fake(FakeMode::Faulty);
        try {
            Solve(problem, AutoOptions(2, threads));
            ADD_FAILURE() << "a failing method was swallowed (" << threads << " threads)";
        } catch (const std::logic_error& e) {
            EXPECT_NE(std::string(e.what()).find("bcp test fault"), std::string::npos);
        }
    }
}

// A method that only ends when stopped gets its share of the time; the run still returns the
// other methods' results, no worse than first-fit decreasing, with one thread or two.
TEST(AutoMethodConcurrency, SlowMethodStopsAtItsShare) {
    const Problem problem = FourLongParts(Splitting::Auto);
    SolveOptions ffd;
    ffd.method = "ffd";
    const Plan floor = Solve(problem, ffd);
    FakeModeScope fake(FakeMode::Slow);
    for (const std::int32_t threads : {1, 2}) {
        SolveOptions o = AutoOptions(4, threads);
        o.time_limit_seconds = 3.0; // the quick methods need a moment on a sanitizer build
        const Plan plan = Solve(problem, o);
        EXPECT_TRUE(CheckPlanInvariants(problem, plan).empty()) << Lines(CheckPlanInvariants(problem, plan));
        EXPECT_FALSE(Better(floor, plan, problem.parameters.splitting)) << threads;
        const auto bcp = std::find_if(plan.attempts.begin(), plan.attempts.end(),
                                      [](const MethodAttempt& a) { return a.method == "bcp"; });
        ASSERT_NE(bcp, plan.attempts.end()) << threads;
        EXPECT_EQ(bcp->outcome, "stopped");
        // The methods before it finished on their own.
        EXPECT_EQ(plan.attempts.front().outcome, "complete");
    }
}

// A stop request before or during the run returns the best plan found so far, never less than
// the first-fit floor.
TEST(AutoMethodConcurrency, StopKeepsTheBestFoundSoFar) {
    const Problem problem = FourLongParts(Splitting::Auto);
    SolveOptions ffd;
    ffd.method = "ffd";
    const Plan floor = Solve(problem, ffd);
    FakeModeScope fake(FakeMode::Slow);
    for (const bool before : {true, false}) {
        for (const std::int32_t threads : {1, 2}) {
            SolveOptions o = AutoOptions(6, threads);
            StopToken stop;
            o.stop = stop;
            std::thread stopper;
            if (before) {
                stop.RequestStop();
            } else {
                // The stand-in bcp runs until a stop: this one.
                stopper = std::thread([stop] {
                    std::this_thread::sleep_for(std::chrono::milliseconds(200));
                    stop.RequestStop();
                });
            }
            const Plan plan = Solve(problem, o);
            if (stopper.joinable()) {
                stopper.join();
            }
            EXPECT_EQ(plan.status, PlanStatus::Interrupted) << before << " " << threads;
            EXPECT_TRUE(CheckPlanInvariants(problem, plan).empty());
            EXPECT_FALSE(Better(floor, plan, problem.parameters.splitting)) << before << " " << threads;
            EXPECT_TRUE(plan.AllPlaced());
            ASSERT_FALSE(plan.attempts.empty());
            EXPECT_EQ(plan.attempts.front().method, "ffd");
        }
    }
}
