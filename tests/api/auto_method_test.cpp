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

using namespace tubenest;
using namespace tubenest::api;
using tubenest::testing::CheckPlanInvariants;

namespace {

// A stand-in "bcp", so that the tests see "auto" take a method up by its name. By default it
// passes first-fit decreasing through.
enum class FakeMode { Passthrough, ProvesFour, Slow, NotSuited, Faulty };
std::atomic<FakeMode> g_fakeMode{FakeMode::Passthrough};

/// Registers the stand-in with a behaviour; the pass-through comes back when the test ends.
struct FakeBcp {
    explicit FakeBcp(FakeMode mode) {
        RegisterMethod("bcp", [](const EngineInput& in, const MethodContext& ctx) {
            const FakeMode m = g_fakeMode.load();
            // Polls the engine's own stop request, which must be this method's, not the run's.
            while (m == FakeMode::Slow && !GetStopped()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            if (m == FakeMode::NotSuited) {
                throw ProblemError({"method bcp: too large for this test"});
            }
            if (m == FakeMode::Faulty) {
                throw std::logic_error("bcp test fault");
            }
            EngineOutput out = FirstFitDecreasing(in, ctx);
            if (m == FakeMode::ProvesFour) {
                out.lower_bound = TubeBound{4.0, "branch-cut-price", true};
            }
            out.stopped = ctx.StopRequested();
            return out;
        });
        g_fakeMode = mode;
    }
    FakeBcp(const FakeBcp&) = delete;
    FakeBcp& operator=(const FakeBcp&) = delete;
    ~FakeBcp() { g_fakeMode = FakeMode::Passthrough; }
};

PartSpec Part(const std::string& id, double length, std::int64_t amount) {
    return PartSpec{id, "", length, std::nullopt, 0.0, 0.0, amount, "", "", std::nullopt};
}

/// Whole parts, one stock length, kerf 0 or 3: small enough for a brute-force optimum.
Problem SmallWholeProblem(TRandomGenerator& rng) {
    Problem p;
    for (int k = 0, kinds = 1 + rng.Random(4); k < kinds; ++k) {
        p.parts.push_back(Part("P" + std::to_string(k), 400.0 + 50.0 * rng.Random(50), 1 + rng.Random(3)));
    }
    p.stock.push_back(StockSpec{"S1", 3000.0 + 500.0 * rng.Random(4), 30});
    p.gaps.kerf = 3.0 * rng.Random(2);
    p.parameters.splitting = Splitting::Never;
    return p;
}

/// Two stock lengths and a remnant; every other time parts may be split, now and then one longer
/// than every bar.
Problem MixedProblem(TRandomGenerator& rng) {
    Problem p;
    for (int k = 0, kinds = 2 + rng.Random(5); k < kinds; ++k) {
        const double length = 300.0 + 10.0 * rng.Random(rng.Random(4) == 0 ? 800 : 500);
        p.parts.push_back(Part("P" + std::to_string(k), length, 1 + rng.Random(6)));
    }
    p.stock = {StockSpec{"S1", 6000.0, 40}, StockSpec{"S2", 7500.0, 5}, StockSpec{"R1", 2500.0, 1, true}};
    p.gaps.kerf = static_cast<double>(rng.Random(5));
    p.parameters.splitting = rng.Random(2) == 0 ? Splitting::Never : Splitting::Auto;
    return p;
}

/// Four parts of 1600 in bars of 3000, kerf 3: whole, two never share a bar (four bars); split,
/// three bars can do.
Problem FourLongParts(Splitting splitting) {
    Problem p;
    p.parts.push_back(Part("P", 1600.0, 4));
    p.stock.push_back(StockSpec{"S", 3000.0, 10});
    p.gaps.kerf = 3.0;
    p.parameters.splitting = splitting;
    return p;
}

/// The fewest bars of `capacity` holding the lengths, k parts taking their sum + (k - 1) gap.
std::int64_t BruteForceTubes(std::vector<double> lengths, double capacity, double gap) {
    std::sort(lengths.rbegin(), lengths.rend());
    std::int64_t best = static_cast<std::int64_t>(lengths.size());
    std::vector<double> load;
    std::function<void(std::size_t)> place = [&](std::size_t i) {
        if (static_cast<std::int64_t>(load.size()) >= best) {
            return;
        }
        if (i == lengths.size()) {
            best = static_cast<std::int64_t>(load.size());
            return;
        }
        for (std::size_t t = 0; t < load.size(); ++t) { // by index: deeper calls grow the vector
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

/// a is better than b by the comparer "auto" states: copies, tubes, then welds and material (with
/// free splitting material and welds).
bool Better(const Plan& a, const Plan& b, Splitting splitting) {
    auto key = [splitting](const Totals& t) {
        const std::int64_t material = std::llround(t.material_used * 1000.0);
        const bool free = splitting == Splitting::Free;
        return std::tuple<std::int64_t, std::int64_t, std::int64_t, std::int64_t>(
            -t.copies_placed, t.tubes_used, free ? material : t.welds, free ? t.welds : material);
    };
    return key(a.totals) < key(b.totals);
}

std::vector<std::string> MethodsOf(const Plan& plan) {
    std::vector<std::string> names;
    for (const MethodAttempt& a : plan.attempts) {
        names.push_back(a.method);
    }
    return names;
}

/// What must not change with the number of threads: winner, patterns, every method's tubes.
std::string Signature(const Plan& plan) {
    std::string s = plan.winner;
    for (const Pattern& p : plan.patterns) {
        s += "|" + std::to_string(p.count) + ":";
        for (const PlacedPart& part : p.parts) {
            s += std::to_string(part.reference) + ",";
        }
    }
    for (const MethodAttempt& a : plan.attempts) {
        s += "|" + a.method + "=" + std::to_string(a.tubes) + "/" + std::to_string(a.welds);
    }
    return s;
}

SolveOptions AutoOptions(std::uint64_t seed, std::int32_t threads = 1) {
    SolveOptions o;
    o.method = "auto";
    o.seed = seed;
    o.threads = threads;
    o.time_limit_seconds = 300.0; // a safety net: these problems take well under a second
    return o;
}

} // namespace

// The plan is no worse than the plan of any method it ran, each repeated alone with the seed the
// run gave it, and the table says what each reached.
TEST(AutoMethod, NoWorseThanEveryMethodItRan) {
    EXPECT_EQ(DefaultMethodName(), "auto");
    TRandomGenerator rng(2024);
    for (int round = 0; round < 8; ++round) {
        const Problem problem = MixedProblem(rng);
        const Plan plan = Solve(problem, AutoOptions(100 + round));
        ASSERT_TRUE(CheckPlanInvariants(problem, plan).empty()) << "round " << round;
        ASSERT_EQ(MethodsOf(plan).front(), "ffd");
        for (const MethodAttempt& a : plan.attempts) {
            SolveOptions alone;
            alone.method = a.method;
            alone.seed = a.seed;
            const Plan single = Solve(problem, alone);
            EXPECT_FALSE(Better(single, plan, problem.parameters.splitting)) << round << " " << a.method;
            EXPECT_EQ(a.tubes, single.totals.tubes_used) << a.method;
            EXPECT_EQ(a.copies_placed, single.totals.copies_placed) << a.method;
        }
        const auto names = MethodsOf(plan);
        EXPECT_NE(std::find(names.begin(), names.end(), plan.winner), names.end());
    }
}

// The bound never exceeds the optimum, is the best of the methods' bounds, and a plan says optimal
// only where it holds the optimum.
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
        ASSERT_TRUE(plan.AllPlaced() && plan.lower_bound.has_value());
        EXPECT_LE(plan.lower_bound->tubes, optimum) << "round " << round;
        EXPECT_GE(plan.totals.tubes_used, optimum) << "round " << round;
        EXPECT_EQ(plan.optimal, plan.totals.tubes_used == plan.lower_bound->tubes);
        proven += plan.optimal ? 1 : 0;
        for (const MethodAttempt& a : plan.attempts) {
            EXPECT_LE(a.lower_bound.value_or(0), plan.lower_bound->tubes) << a.method;
        }
    }
    EXPECT_GT(proven, 0);
}

// Once the best plan meets the bound the methods after it do not count; a tie keeps the earlier.
TEST(AutoMethod, StopsWhenTheBoundIsMet) {
    const Plan plan = Solve(FourLongParts(Splitting::Never), AutoOptions(1));
    // ffd's four tubes are unproven (the continuous bound says three); cg proves four.
    EXPECT_EQ(MethodsOf(plan), (std::vector<std::string>{"ffd", "svc", "packed", "greedy", "cg"}));
    EXPECT_TRUE(plan.optimal);
    EXPECT_EQ(plan.lower_bound->tubes, 4);
    EXPECT_EQ(plan.winner, "ffd");
}

// A method registered under a candidate's name joins in its place; a bound for whole parts only
// does not count where parts may be split.
TEST(AutoMethod, RegisteredBcpJoinsInItsPlace) {
    const Problem problem = FourLongParts(Splitting::Auto);
    const auto registered = AvailableMethods();
    if (std::find(registered.begin(), registered.end(), "bcp") == registered.end()) {
        const auto names = MethodsOf(Solve(problem, AutoOptions(3)));
        EXPECT_EQ(std::find(names.begin(), names.end(), "bcp"), names.end());
    }
    const FakeBcp fake(FakeMode::ProvesFour);
    const Plan plan = Solve(problem, AutoOptions(3));
    const auto names = MethodsOf(plan);
    const auto cg = std::find(names.begin(), names.end(), "cg");
    ASSERT_TRUE(cg != names.end() && cg + 1 != names.end());
    EXPECT_EQ(*(cg + 1), "bcp");
    EXPECT_NE(plan.lower_bound->source, "branch-cut-price");
    EXPECT_LE(plan.lower_bound->tubes, 3);
    EXPECT_TRUE(CheckPlanInvariants(problem, plan).empty());
}

// The tests that run methods side by side are named "Concurrency": they also run under ThreadSanitizer.
TEST(AutoMethodConcurrency, SameSeedSamePlanWithOneAndTwoThreads) {
    TRandomGenerator rng(5);
    int withCircular = 0;
    for (int round = 0; round < 8; ++round) {
        const Problem problem = MixedProblem(rng);
        const Plan one = Solve(problem, AutoOptions(900 + round, 1));
        EXPECT_EQ(Signature(one), Signature(Solve(problem, AutoOptions(900 + round, 2)))) << round;
        const auto names = MethodsOf(one);
        withCircular += std::find(names.begin(), names.end(), "circular") != names.end() ? 1 : 0;
    }
    EXPECT_GT(withCircular, 0); // the swarm's own threads took part too
}

// A method that refuses the problem is listed as not suited; a method that fails is not hidden.
TEST(AutoMethodConcurrency, MethodFaultsAreReportedNotSwallowed) {
    const Problem problem = FourLongParts(Splitting::Auto);
    {
        const FakeBcp fake(FakeMode::NotSuited);
        const Plan plan = Solve(problem, AutoOptions(2));
        const auto bcp = std::find_if(plan.attempts.begin(), plan.attempts.end(),
                                      [](const MethodAttempt& a) { return a.method == "bcp"; });
        ASSERT_NE(bcp, plan.attempts.end());
        EXPECT_EQ(bcp->outcome, "not suited");
        EXPECT_NE(bcp->note.find("too large"), std::string::npos);
        EXPECT_TRUE(plan.AllPlaced());
    }
    for (const std::int32_t threads : {1, 2}) {
        const FakeBcp fake(FakeMode::Faulty);
        EXPECT_THROW(Solve(problem, AutoOptions(2, threads)), std::logic_error) << threads;
    }
}

// A method that only ends when stopped: stopped by its share of the time, or by a stop request
// before or during the run. The plan keeps the best found so far, never below first-fit decreasing.
TEST(AutoMethodConcurrency, SlowMethodAndStopsKeepTheBestSoFar) {
    const Problem problem = FourLongParts(Splitting::Auto);
    SolveOptions ffd;
    ffd.method = "ffd";
    const Plan floor = Solve(problem, ffd);
    const FakeBcp fake(FakeMode::Slow);
    enum class Stop { Share, Before, During };
    for (const Stop stop : {Stop::Share, Stop::Before, Stop::During}) {
        for (const std::int32_t threads : {1, 2}) {
            SolveOptions o = AutoOptions(4, threads);
            StopToken token;
            o.stop = token;
            std::thread stopper;
            if (stop == Stop::Share) {
                o.time_limit_seconds = 3.0; // the quick methods need a moment on a sanitizer build
            } else if (stop == Stop::Before) {
                token.RequestStop();
            } else {
                stopper = std::thread([token] {
                    std::this_thread::sleep_for(std::chrono::milliseconds(200));
                    token.RequestStop();
                });
            }
            const Plan plan = Solve(problem, o);
            if (stopper.joinable()) {
                stopper.join();
            }
            const std::string what = std::to_string(static_cast<int>(stop)) + "/" + std::to_string(threads);
            EXPECT_TRUE(CheckPlanInvariants(problem, plan).empty()) << what;
            EXPECT_FALSE(Better(floor, plan, problem.parameters.splitting)) << what;
            EXPECT_EQ(plan.attempts.front().method, "ffd") << what; // the floor always runs, unstopped
            EXPECT_TRUE(plan.AllPlaced()) << what;
            if (stop == Stop::Share) {
                const auto bcp = std::find_if(plan.attempts.begin(), plan.attempts.end(),
                                              [](const MethodAttempt& a) { return a.method == "bcp"; });
                ASSERT_NE(bcp, plan.attempts.end()) << what;
                EXPECT_EQ(bcp->outcome, "stopped") << what;
            } else {
                EXPECT_EQ(plan.status, PlanStatus::Interrupted) << what;
            }
        }
    }
}
