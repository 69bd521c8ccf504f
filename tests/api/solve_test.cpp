#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <thread>

#include "api/example_problem.h"
#include "api/problem_io.h"
#include "api/solve.h"
#include "model/nest_progress.h"
#include "model/random.h"
#include "support/plan_check.h"
#include "test_problems.h"

using namespace tubenest;
using namespace tubenest::api;
using tubenest::testing::CheckPlanInvariants;
using tubenest::testing::Lines;
using tubenest::testing::SmallProblem;

namespace {

/// A method that runs until it is asked to stop, then places one copy of part 1. It records the
/// context it was given.
std::atomic<std::uint64_t> g_slowSeed{0};
std::atomic<bool> g_slowHadDeadline{false};

void RegisterSlowMethod() {
    static const bool once = [] {
        RegisterMethod("test_slow", [](const EngineInput& in, const MethodContext& ctx) {
            g_slowSeed = ctx.seed;
            g_slowHadDeadline = ctx.deadline.has_value();
            while (!GetStopped()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            EngineOutput out;
            auto r = std::make_unique<TNestResult>();
            r->FTubeIndex = 1;
            r->FTubeCount = 1;
            r->FPartOrder = {1};
            in.gaps->UpdateNestResultInfo(*r, in.parts);
            out.results.Add(std::move(r));
            out.stopped = true;
            return out;
        });
        return true;
    }();
    static_cast<void>(once);
}

/// A random problem: up to 8 part kinds, 1-3 stock lengths, end types and a few explicit records.
Problem RandomProblem(TRandomGenerator& rng) {
    Problem p;
    const int kinds = 1 + rng.Random(8);
    p.gaps.kerf = rng.Random(6);
    p.gaps.end_types = {{"m45", 20.0 + rng.Random(30)}, {"saddle", 5.0 + rng.Random(20)}};
    p.gaps.end_pairs = {{"m45", "m45", -10.0 - rng.Random(20), true, 50.0, -1.0, 0},
                        {"saddle", "saddle", 8.0 + rng.Random(10), true, 20.0, -1.0, 0}}; // one cut, wide gap
    const char* ends[] = {"", "m45", "saddle"};
    for (int k = 0; k < kinds; ++k) {
        PartSpec part;
        part.id = "P" + std::to_string(k + 1);
        part.length = 100.0 + rng.Random(3000) + 0.5 * rng.Random(2);
        part.amount = rng.Random(6);
        part.end_a = ends[rng.Random(3)];
        part.end_b = ends[rng.Random(3)];
        // Mitred ends are cut away, which is what lets two of them overlap.
        part.cutoff_a = part.end_a == std::string("m45") ? 30.0 : 0.0;
        part.cutoff_b = part.end_b == std::string("m45") ? 30.0 : 0.0;
        p.parts.push_back(part);
    }
    const int stocks = 1 + rng.Random(3);
    for (int s = 0; s < stocks; ++s) {
        p.stock.push_back(StockSpec{"", 2500.0 + 1000.0 * rng.Random(5), 1 + rng.Random(6)});
        p.stock.back().remnant = rng.Random(3) == 0;
        if (rng.Random(3) == 0) {
            p.stock.back().trim_end = rng.Random(60);
        }
    }
    p.stock_settings.trim_start = 5.0 * rng.Random(3);
    if (kinds >= 2) {
        PairGap g;
        g.first = "P1";
        g.second = "P2";
        g.first_turned = rng.Random(2) == 1;
        g.gap = rng.Random(5);
        p.gaps.pairs.push_back(g);
    }
    p.parameters.disable_reverse = rng.Random(4) == 0;
    return p;
}

/// Fewest bins for items of the given sizes and one capacity (exhaustive).
int MinBins(std::vector<double> sizes, double capacity) {
    std::sort(sizes.rbegin(), sizes.rend());
    int best = static_cast<int>(sizes.size());
    std::vector<double> bins;
    std::function<void(std::size_t)> go = [&](std::size_t i) {
        if (static_cast<int>(bins.size()) >= best) {
            return;
        }
        if (i == sizes.size()) {
            best = static_cast<int>(bins.size());
            return;
        }
        for (std::size_t b = 0; b < bins.size(); ++b) {
            if (bins[b] + sizes[i] <= capacity + 1e-9) {
                bins[b] += sizes[i];
                go(i + 1);
                bins[b] -= sizes[i];
            }
        }
        bins.push_back(sizes[i]);
        go(i + 1);
        bins.pop_back();
    };
    go(0);
    return best;
}

} // namespace

TEST(Solve, PlansOnRandomProblemsKeepEveryInvariant) {
    TRandomGenerator rng(20240611);
    for (int round = 0; round < 150; ++round) {
        const Problem p = RandomProblem(rng);
        // Every method on some rounds: remnants, trims and cut counts go through all of them.
        for (const char* method : {"ffd", "svc", "circular", "cg"}) {
            if (method != std::string("ffd") && round % 5 != 0) {
                continue;
            }
            SolveOptions o;
            o.method = method;
            o.seed = 1;
            const Plan plan = Solve(p, o);
            const auto faults = CheckPlanInvariants(p, plan);
            ASSERT_TRUE(faults.empty()) << method << " round " << round << ":\n" << Lines(faults);
            EXPECT_TRUE(plan.warnings.empty()) << method << " round " << round << ":\n"
                                               << Lines(plan.warnings);
            EXPECT_EQ(plan.status, plan.AllPlaced() ? PlanStatus::Complete : PlanStatus::Partial);
        }
    }
}

// The report's job: 5 x 1200 with a 1300 remnant listed after the bars used two bars. Remnants now
// go first, the shortest that serves first, in every method; trims take length off every bar.
TEST(Solve, EveryMethodUsesRemnantsFirst) {
    Problem a;
    a.parts.push_back(PartSpec{"P", "", 1200.0, std::nullopt, 0, 0, 5, "", "", std::vector<Interval>{}});
    a.stock = {StockSpec{"BAR", 6000.0, 10}, StockSpec{"R1300", 1300.0, 1}};
    a.stock[1].remnant = true;
    a.stock_settings = StockSettings{10.0, 20.0, 500.0};
    Problem b = a; // one copy: the shorter of two remnants, though listed last
    b.parts[0].amount = 1;
    b.stock = {StockSpec{"BAR", 6000.0, 10}, StockSpec{"R2000", 2000.0, 1}, StockSpec{"R1300", 1300.0, 1}};
    b.stock[1].remnant = b.stock[2].remnant = true;
    for (const char* method : {"ffd", "svc", "circular", "cg"}) {
        for (const auto& [problem, tubes] :
             {std::pair{a, std::vector<int>{1, 1}}, std::pair{b, std::vector<int>{0, 0, 1}}}) {
            SolveOptions o;
            o.method = method;
            o.seed = 3;
            const Plan plan = Solve(problem, o);
            EXPECT_TRUE(plan.AllPlaced()) << method;
            for (std::size_t s = 0; s < tubes.size(); ++s) {
                EXPECT_EQ(plan.totals.stock[s].tubes, tubes[s]) << method << " stock " << s;
            }
            EXPECT_TRUE(CheckPlanInvariants(problem, plan).empty())
                << method << Lines(CheckPlanInvariants(problem, plan));
        }
    }
}

TEST(Solve, FfdStaysWithinItsBoundOfTheOptimum) {
    // With one kerf k for all pairs, n parts fit a tube of length L when sum(l + k) <= L + k: bin
    // packing, for which first-fit decreasing needs at most 11/9 OPT + 6/9 bins.
    TRandomGenerator rng(77);
    for (int round = 0; round < 60; ++round) {
        Problem p;
        p.gaps.kerf = 4.0;
        p.stock.push_back(StockSpec{"S", 1000.0, 20});
        std::vector<double> sizes;
        const int n = 2 + rng.Random(7);
        for (int i = 0; i < n; ++i) {
            const double len = 100.0 + rng.Random(800);
            p.parts.push_back(
                PartSpec{"P" + std::to_string(i), "", len, std::nullopt, 0, 0, 1, "", "", std::nullopt});
            sizes.push_back(len + 4.0);
        }
        SolveOptions o;
        o.method = "ffd";
        const Plan plan = Solve(p, o);
        ASSERT_TRUE(plan.AllPlaced());
        const int opt = MinBins(sizes, 1004.0);
        EXPECT_GE(plan.totals.tubes_used, opt);
        ASSERT_TRUE(plan.lower_bound);
        EXPECT_LE(plan.lower_bound->tubes, opt) << "round " << round;
        EXPECT_LE(9 * plan.totals.tubes_used, 11 * opt + 6) << "round " << round;
        EXPECT_TRUE(CheckPlanInvariants(p, plan).empty());
    }
}

TEST(Solve, ExampleWithFfdReportsTheOverlongBeamOnly) {
    const Problem p = MakeExampleProblem();
    SolveOptions o;
    o.method = "ffd";
    o.seed = 42;
    const Plan plan = Solve(p, o);
    EXPECT_EQ(plan.seed, 42u);
    EXPECT_EQ(plan.status, PlanStatus::Partial);
    ASSERT_EQ(plan.unplaced.size(), 1u);
    EXPECT_EQ(plan.unplaced[0].part_id, "RL-04");
    EXPECT_EQ(plan.unplaced[0].count, 2);
    EXPECT_TRUE(CheckPlanInvariants(p, plan).empty()) << Lines(CheckPlanInvariants(p, plan));
    EXPECT_GT(plan.totals.yield, 0.9);
    EXPECT_EQ(NestProgress, nullptr); // restored
}

TEST(Solve, BadInputAndUnknownMethods) {
    Problem bad = SmallProblem();
    bad.parts[0].length = -1;
    EXPECT_THROW(Solve(bad), ProblemError);
    for (const double limit : {-1.0, std::nan(""), 9.3e9}) { // a deadline that far out overflows the clock
        SolveOptions t;
        t.time_limit_seconds = limit;
        EXPECT_THROW(Solve(SmallProblem(), t), std::invalid_argument) << limit;
    }
    SolveOptions o;
    o.method = "no_such_method";
    try {
        Solve(SmallProblem(), o);
        FAIL() << "no exception";
    } catch (const std::invalid_argument& e) {
        EXPECT_NE(std::string(e.what()).find("\"no_such_method\""), std::string::npos);
        EXPECT_NE(std::string(e.what()).find("ffd"), std::string::npos);
    }
}

TEST(Solve, RegistryListsAndReplacesMethods) {
    const auto names = AvailableMethods();
    EXPECT_NE(std::find(names.begin(), names.end(), "ffd"), names.end());
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    EXPECT_EQ(DefaultMethodName(), "auto");
    EXPECT_THROW(RegisterMethod("x", nullptr), std::invalid_argument);
    RegisterMethod("test_empty", [](const EngineInput&, const MethodContext&) { return EngineOutput{}; });
    SolveOptions o;
    o.method = "test_empty";
    // A method that places nothing gets the first-fit decreasing floor.
    const Plan plan = Solve(SmallProblem(), o);
    EXPECT_EQ(plan.status, PlanStatus::Complete);
    EXPECT_TRUE(plan.unplaced.empty());
    EXPECT_EQ(plan.totals.copies_placed, plan.totals.copies_required);
}

TEST(Solve, TimeLimitStopsASlowMethod) {
    RegisterSlowMethod();
    SolveOptions o;
    o.method = "test_slow";
    o.time_limit_seconds = 0.05;
    o.seed = 99;
    int calls = 0;
    double last = -1.0;
    o.progress = [&](double fraction, const std::string&) {
        ++calls;
        EXPECT_GE(fraction, 0.0);
        EXPECT_LE(fraction, 1.0);
        last = fraction;
    };
    const Plan plan = Solve(SmallProblem(), o);
    EXPECT_EQ(plan.status, PlanStatus::TimeLimit);
    EXPECT_EQ(g_slowSeed.load(), 99u);
    EXPECT_TRUE(g_slowHadDeadline.load());
    EXPECT_GT(calls, 0);
    EXPECT_GT(last, 0.0);
    // The slow method had placed one copy; the first-fit decreasing floor places them all.
    EXPECT_EQ(plan.totals.copies_placed, plan.totals.copies_required);
    EXPECT_TRUE(CheckPlanInvariants(SmallProblem(), plan).empty());
    EXPECT_EQ(NestProgress, nullptr);
}

TEST(SolveConcurrency, StopFromAnotherThreadAndSerialisedRuns) {
    RegisterSlowMethod();
    StopToken first;
    StopToken second;
    Plan a;
    Plan b;
    std::thread ta([&] {
        SolveOptions o;
        o.method = "test_slow";
        o.stop = first;
        a = Solve(SmallProblem(), o);
    });
    std::thread tb([&] {
        SolveOptions o;
        o.method = "test_slow";
        o.stop = second;
        b = Solve(SmallProblem(), o);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    first.RequestStop();
    second.RequestStop();
    ta.join();
    tb.join();
    EXPECT_EQ(a.status, PlanStatus::Interrupted);
    EXPECT_EQ(b.status, PlanStatus::Interrupted);
    EXPECT_EQ(NestProgress, nullptr);
}

namespace {

PartSpec Part(const std::string& id, double length, std::int64_t amount) {
    PartSpec part;
    part.id = id;
    part.length = length;
    part.amount = amount;
    return part;
}

/// A 7000 mm part that no 6000 mm tube takes whole, and copies that fit anywhere.
Problem LongPartProblem() {
    Problem p;
    p.parts = {Part("L", 7000.0, 1), Part("B", 2000.0, 4)};
    p.stock = {StockSpec{"S", 6000.0, 10}};
    p.gaps.kerf = 3.0;
    return p;
}

} // namespace

TEST(SolveSplitting, PolicyAndShortestPieceDecideWhereWeldsAreKept) {
    struct Case {
        Splitting splitting;
        double minPiece;
        std::int64_t placed;
        std::int32_t maxWelds;
    };
    // Three tubes hold everything with one split of the long part: "auto" keeps no other weld.
    for (const Case& c : {Case{Splitting::Never, 300.0, 4, 0}, Case{Splitting::Auto, 300.0, 5, 1},
                          Case{Splitting::Free, 300.0, 5, 5}, Case{Splitting::Free, 1500.0, 5, 5}}) {
        Problem p = LongPartProblem();
        p.parameters.splitting = c.splitting;
        p.parameters.min_piece_length = c.minPiece;
        SolveOptions o;
        o.method = "circular";
        o.seed = 3;
        const Plan plan = Solve(p, o);
        const std::string what = std::string(SplittingName(c.splitting)) + " " + std::to_string(c.minPiece);
        EXPECT_TRUE(CheckPlanInvariants(p, plan).empty()) << what << Lines(CheckPlanInvariants(p, plan));
        EXPECT_EQ(plan.totals.copies_placed, c.placed) << what;
        EXPECT_LE(plan.totals.welds, c.maxWelds) << what;
        for (const Split& s : plan.splits) {
            EXPECT_GE(std::min(s.front_length, s.back_length), c.minPiece - 1e-6)
                << what << ": " << s.front_length << " + " << s.back_length;
        }
    }
}

TEST(SolveSplitting, FileAndNamesRoundTripAndBadValuesAreFaults) {
    EXPECT_EQ(ParseSplitting("never"), Splitting::Never);
    EXPECT_EQ(ParseSplitting("sometimes"), std::nullopt);
    Problem p = LongPartProblem();
    p.parameters.splitting = Splitting::Free;
    p.parameters.min_piece_length = 250.0;
    const Problem back = ParseProblemJson(ProblemToJson(p));
    EXPECT_EQ(back.parameters.splitting, Splitting::Free);
    EXPECT_DOUBLE_EQ(back.parameters.min_piece_length, 250.0);
    p.parameters.min_piece_length = -1.0;
    EXPECT_THROW(ValidateProblem(p), ProblemError);
    try {
        ParseProblemJson(R"({"parts":[{"id":"a","length":10,"amount":1}],"stock":[{"length":100,"amount":1}],
                           "parameters":{"splitting":"sometimes"}})");
        FAIL() << "no fault";
    } catch (const ProblemError& e) {
        EXPECT_NE(std::string(e.what()).find("parameters.splitting"), std::string::npos) << e.what();
    }
}

TEST(SolveLimits, SvcTableOverItsLimitIsABadInputWithAReasonAndStopsKeepAPlan) {
    Problem p;
    for (int k = 0; k < 50; ++k) {
        p.parts.push_back(Part("P" + std::to_string(k), 1000.0 + k, 2));
    }
    p.stock = {StockSpec{"long", 1500000.0, 5}};
    SolveOptions o;
    o.method = "svc";
    try {
        Solve(p, o);
        FAIL() << "no fault";
    } catch (const ProblemError& e) {
        EXPECT_NE(std::string(e.what()).find("over its limit"), std::string::npos) << e.what();
    }
    // The circular method goes on without its SVC seed; a stop before it starts keeps the floor.
    o.method = "circular";
    o.seed = 1;
    StopToken stop;
    stop.RequestStop();
    o.stop = stop;
    const Plan plan = Solve(p, o);
    EXPECT_EQ(plan.status, PlanStatus::Interrupted);
    EXPECT_EQ(plan.totals.copies_placed, plan.totals.copies_required);
    EXPECT_TRUE(CheckPlanInvariants(p, plan).empty()) << Lines(CheckPlanInvariants(p, plan));
}
