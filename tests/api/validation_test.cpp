#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

#include "api/example_problem.h"
#include "api/problem.h"
#include "test_problems.h"

using namespace tubenest;
using namespace tubenest::api;
using tubenest::testing::SmallProblem;

namespace {

struct BadCase {
    const char* what;
    std::function<void(Problem&)> spoil;
    std::vector<const char*> expected; ///< substrings of one fault line
};

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

PairGap Pair(const char* AFirst, const char* ASecond, bool ASecondTurned = false, double AGap = 0.0) {
    PairGap g;
    g.first = AFirst;
    g.second = ASecond;
    g.second_turned = ASecondTurned;
    g.gap = AGap;
    return g;
}

/// P1 ends with a mitre (cut-off 30) and P2 starts with one (cut-off 20); mitres facing each other
/// stand `gap` apart.
void MitreEnds(Problem& p, double gap) {
    p.gaps.end_types = {{"m", 10.0}};
    p.parts[0].end_b = p.parts[1].end_a = "m";
    p.parts[0].cutoff_b = 30.0;
    p.parts[1].cutoff_a = 20.0;
    p.gaps.end_pairs = {EndPairRule{"m", "m", gap}};
}

std::vector<BadCase> BadCases() {
    return {
        {"no parts", [](Problem& p) { p.parts.clear(); }, {"parts", "empty"}},
        {"no stock", [](Problem& p) { p.stock.clear(); }, {"stock", "empty"}},
        {"zero length", [](Problem& p) { p.parts[0].length = 0.0; }, {"part \"P1\"", "length 0"}},
        {"NaN length", [](Problem& p) { p.parts[0].length = kNaN; }, {"part \"P1\"", "length nan"}},
        {"infinite stock", [](Problem& p) { p.stock[0].length = kInf; }, {"stock \"S1\"", "length inf"}},
        {"cut-offs beyond the part",
         [](Problem& p) {
             p.parts[0].cutoff_a = 700.0;
             p.parts[0].cutoff_b = 600.0;
         },
         {"part \"P1\"", "700 + 600", "1200"}},
        {"negative amount", [](Problem& p) { p.parts[1].amount = -1; }, {"part \"P2\"", "amount -1"}},
        {"amount beyond 32 bits",
         [](Problem& p) { p.parts[0].amount = 3000000000LL; },
         {"part \"P1\"", "amount 3000000000", "too large"}},
        {"stock amounts summing beyond 32 bits",
         [](Problem& p) {
             p.stock[0].amount = 2000000000;
             p.stock.push_back(StockSpec{"S2", 7000.0, 2000000000});
         },
         {"stock", "total amount 4000000000"}},
        {"too many copies",
         [](Problem& p) { p.parts[0].amount = kMaxTotalCopies + 10; },
         {"parts", "total amount 1000013"}},
        {"empty id", [](Problem& p) { p.parts[1].id.clear(); }, {"parts[1]", "id is empty"}},
        {"duplicate part id", [](Problem& p) { p.parts[1].id = "P1"; }, {"\"P1\"", "parts[1]", "parts[0]"}},
        {"duplicate stock id",
         [](Problem& p) {
             p.stock.push_back(StockSpec{"S1", 7000.0, 1});
         },
         {"stock \"S1\"", "stock[1]", "stock[0]"}},
        {"undefined end type",
         [](Problem& p) { p.parts[0].end_b = "mitre"; },
         {"part \"P1\"", "end_b", "\"mitre\"", "not defined"}},
        {"negative clearance",
         [](Problem& p) {
             p.gaps.end_types.push_back(EndType{"saddle", -2.0});
         },
         {"end type \"saddle\"", "clearance -2"}},
        {"end pair of an unknown type",
         [](Problem& p) {
             p.gaps.end_pairs.push_back(EndPairRule{"miter", "miter", 1.0});
         },
         {"gaps.end_pairs[0]", "\"miter\"", "not defined"}},
        {"gap record for a missing part",
         [](Problem& p) { p.gaps.pairs.push_back(Pair("P1", "P9")); },
         {"gaps.pairs[0]", "part \"P9\" does not exist"}},
        {"gap record given twice through its mirror", // P2 then P1 turned: P1 then P2 turned read backwards
         [](Problem& p) {
             p.gaps.pairs = {Pair("P1", "P2", true), Pair("P2", "P1", true)};
         },
         {"gaps.pairs[1]", "mirror", "gaps.pairs[0]"}},
        {"infinite gap record",
         [](Problem& p) { p.gaps.pairs.push_back(Pair("P1", "P2", false, kInf)); },
         {"gaps.pairs[0]", "gap inf"}},
        {"stretch outside the part",
         [](Problem& p) {
             p.parts[0].separable = std::vector<Interval>{{1100.0, 1300.0}};
         },
         {"part \"P1\"", "[1100, 1300]", "outside"}},
        {"stretch reversed",
         [](Problem& p) {
             p.parts[0].separable = std::vector<Interval>{{500.0, 400.0}};
         },
         {"part \"P1\"", "[500, 400]", "start after its end"}},
        {"negative default part gap",
         [](Problem& p) { p.parameters.default_part_gap = -1.0; },
         {"parameters", "default_part_gap -1"}},
        {"bad cut shape",
         [](Problem& p) { p.parameters.cut_shape = static_cast<CutShape>(7); },
         {"parameters", "cut_shape 7"}},
        // Bounds: sums of lengths stay finite; neighbours overlap only within their cut-offs.
        {"length beyond the limit",
         [](Problem& p) { p.parts[0].length = 2e7; },
         {"part \"P1\"", "20000000", "out of range"}},
        {"gap beyond the limit",
         [](Problem& p) { p.gaps.pairs.push_back(Pair("P1", "P2", false, 1e9)); },
         {"gaps.pairs[0]", "gap 1000000000", "out of range"}},
        {"end pair overlapping beyond the cut-offs",
         [](Problem& p) { MitreEnds(p, -25.0); },
         {"gaps.end_pairs[0] (m / m)", "gap -25", "below -20", "cutoff_a of part \"P2\""}},
        {"explicit record overlapping parts without cut-offs",
         [](Problem& p) { p.gaps.pairs.push_back(Pair("P1", "P2", false, -900.0)); },
         {"gaps.pairs[0] (P1 then P2)", "gap -900", "below 0"}},
        {"trims leaving nothing of the bar",
         [](Problem& p) {
             p.stock[0].trim_start = 3000.0;
             p.stock_settings.trim_end = 3000.0;
         },
         {"stock \"S1\"", "trims 3000 + 3000", "6000"}},
        {"negative trim", [](Problem& p) { p.stock[0].trim_end = -1.0; }, {"stock \"S1\"", "trim_end -1"}},
        {"negative minimum remnant",
         [](Problem& p) { p.stock_settings.min_usable_remnant = -5.0; },
         {"stock_settings", "min_usable_remnant -5"}},
    };
}

bool Contains(const std::string& s, const char* part) {
    return s.find(part) != std::string::npos;
}

} // namespace

TEST(Validation, EveryBadCaseNamesTheItemAndTheValue) {
    for (const BadCase& c : BadCases()) {
        Problem p = SmallProblem();
        c.spoil(p);
        const auto faults = FindProblemFaults(p);
        bool found = false;
        for (const auto& f : faults) {
            bool all = true;
            for (const char* e : c.expected) {
                all = all && Contains(f, e);
            }
            found = found || all;
        }
        EXPECT_TRUE(found) << c.what << ": no fault line holds all expected texts; got:\n"
                           << tubenest::testing::Lines(faults);
    }
}

TEST(Validation, ValidProblemsPassAndAllFaultsAreCollected) {
    EXPECT_TRUE(FindProblemFaults(SmallProblem()).empty());
    EXPECT_TRUE(FindProblemFaults(MakeExampleProblem()).empty());
    Problem mitres = SmallProblem(); // overlapping by exactly the smaller cut-off is sound
    MitreEnds(mitres, -20.0);
    EXPECT_TRUE(FindProblemFaults(mitres).empty()) << tubenest::testing::Lines(FindProblemFaults(mitres));
    // A part longer than every tube is not an input fault: it is reported as not placed.
    Problem longPart = SmallProblem();
    longPart.parts[0].length = 9000.0;
    EXPECT_TRUE(FindProblemFaults(longPart).empty());
    Problem clash = SmallProblem();
    clash.stock.push_back(StockSpec{"S3", 7000.0, 1});
    clash.stock.push_back(StockSpec{"", 7500.0, 1}); // default id "S3" clashes
    const auto clashFaults = FindProblemFaults(clash);
    ASSERT_EQ(clashFaults.size(), 1u);
    EXPECT_NE(clashFaults[0].find("\"S3\""), std::string::npos);

    Problem p = SmallProblem();
    p.parts[0].length = -1.0;
    p.stock[0].amount = -2;
    p.gaps.kerf = kNaN;
    try {
        ValidateProblem(p);
        FAIL() << "no ProblemError";
    } catch (const ProblemError& e) {
        ASSERT_EQ(e.faults().size(), 3u);
        EXPECT_EQ(std::string(e.what()), e.faults()[0] + "\n" + e.faults()[1] + "\n" + e.faults()[2]);
    }
}

TEST(Validation, DefaultSeparableStretchKeepsTheMarginFree) {
    NestingParameters params;
    params.split_margin = 100.0;
    PartSpec part;
    part.length = 1200.0;
    auto s = EffectiveSeparable(part, params);
    ASSERT_EQ(s.size(), 1u);
    EXPECT_DOUBLE_EQ(s[0].start, 100.0);
    EXPECT_DOUBLE_EQ(s[0].end, 1100.0);
    part.length = 200.0; // no room between the margins
    EXPECT_TRUE(EffectiveSeparable(part, params).empty());
    part.separable = std::vector<Interval>{};
    part.length = 5000.0;
    EXPECT_TRUE(EffectiveSeparable(part, params).empty()); // explicitly never split
}

TEST(Validation, FormatLengthDropsTrailingZeros) {
    EXPECT_EQ(FormatLength(1200.0), "1200");
    EXPECT_EQ(FormatLength(1200.5), "1200.5");
    EXPECT_EQ(FormatLength(-0.125), "-0.125");
    EXPECT_EQ(FormatLength(0.0004), "0");
    EXPECT_EQ(FormatLength(-0.0001), "0");
}
