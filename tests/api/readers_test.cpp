#include <gtest/gtest.h>

#include <string>

#include "api/example_problem.h"
#include "api/problem_io.h"

using namespace tubenest::api;

namespace {

/// The fault lines of a reader call, or a failure when it did not throw.
template <typename F>
std::vector<std::string> FaultsOf(F&& read) {
    try {
        read();
    } catch (const ProblemError& e) {
        return e.faults();
    }
    ADD_FAILURE() << "no ProblemError";
    return {};
}

bool AnyContains(const std::vector<std::string>& lines, const std::string& a, const std::string& b = "") {
    for (const auto& l : lines) {
        if (l.find(a) != std::string::npos && l.find(b) != std::string::npos) {
            return true;
        }
    }
    return false;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string s;
    for (const auto& l : lines) {
        s += l + "\n";
    }
    return s;
}

} // namespace

TEST(JsonReader, ReadsEveryField) {
    const Problem p = ParseProblemJson(R"({
      // comments are allowed
      "units": "mm",
      "parts": [
        {"id": "A", "name": "beam", "length": 2450.5, "real_length": 2400, "cutoff_a": 60, "cutoff_b": 0,
         "amount": 4, "end_a": "m45", "end_b": "plain", "separable": [[100, 900], [1200, 2300]]},
        {"id": 17, "length": 800, "amount": 2}
      ],
      "stock": [{"id": "L6", "length": 6000, "amount": 10},
                {"length": 7500, "amount": 1, "remnant": true, "trim_start": 5}],
      "stock_settings": {"trim_end": 20, "min_usable_remnant": 400},
      "gaps": {
        "kerf": 3,
        "end_types": {"m45": {"clearance": 40}, "plain": {"clearance": 0}},
        "end_pairs": [{"ends": ["m45", "m45"], "gap": -55, "common_cut": true, "common_length": 60}],
        "pairs": [{"first": "A", "second": "17", "second_turned": true, "gap": 1.5, "z_gap": 2, "common_style": 1}]
      },
      "parameters": {"default_part_gap": 4, "disable_reverse": true, "target_lost_rate": 0.02,
                     "cut_shape": "z", "z_shape_length": 40, "z_shape_offset": 5, "bevel_length": 10,
                     "dis_allowance": true, "dis": 1.5, "coedge_flag0": true, "coedge_flag2": true,
                     "split_margin": 50}
    })");
    // Everything read shows in the canonical text the writer makes of it.
    EXPECT_EQ(ProblemToJson(ParseProblemJson(ProblemToJson(p))), ProblemToJson(p));
    ASSERT_EQ(p.parts.size(), 2u);
    EXPECT_EQ(p.parts[0].DisplayName(), "beam");
    EXPECT_DOUBLE_EQ(p.parts[0].RealLength(), 2400.0);
    EXPECT_DOUBLE_EQ((*p.parts[0].separable)[1].start, 1200.0);
    EXPECT_EQ(p.parts[1].id, "17");
    EXPECT_DOUBLE_EQ(p.parts[1].RealLength(), 800.0);
    EXPECT_EQ(p.stock[0].id, "L6");
    EXPECT_TRUE(p.stock[1].remnant && !p.stock[0].remnant);
    EXPECT_DOUBLE_EQ(UsableLength(p, p.stock[1]), 7475.0); // its own start trim, the common end trim
    EXPECT_DOUBLE_EQ(*p.stock_settings.min_usable_remnant, 400.0);
    EXPECT_DOUBLE_EQ(p.gaps.end_pairs[0].gap, -55.0);
    EXPECT_TRUE(p.gaps.pairs[0].second_turned);
    EXPECT_DOUBLE_EQ(*p.gaps.pairs[0].z_gap, 2.0);
    EXPECT_EQ(p.gaps.pairs[0].common_style, 1);
    EXPECT_DOUBLE_EQ(p.DefaultPartGap(), 4.0);
    EXPECT_EQ(p.parameters.cut_shape, CutShape::ZShape);
    EXPECT_TRUE(p.parameters.coedge_flag2);
    EXPECT_DOUBLE_EQ(p.parameters.split_margin, 50.0);
    EXPECT_TRUE(FindProblemFaults(p).empty()) << Joined(FindProblemFaults(p));
}

TEST(JsonReader, ReportsEveryFaultWithItsPlaceAndValue) {
    const auto faults = FaultsOf([] {
        ParseProblemJson(R"({
          "parts": [{"id": "A", "length": "long", "amount": 2.5, "colour": "red"},
                    {"length": 100, "amount": 1e30},
                    7],
          "stock": [{"length": 6000}],
          "gaps": {"kerf": true, "end_pairs": [{"ends": ["x"], "gap": 1}]},
          "parameters": {"cut_shape": "round", "disable_reverse": "yes"},
          "extra": 1
        })",
                         "job.json");
    });
    const std::string all = Joined(faults);
    EXPECT_TRUE(AnyContains(faults, "job.json: parts[0].length", "\"long\"")) << all;
    EXPECT_TRUE(AnyContains(faults, "parts[0].amount", "2.5 is not a whole number")) << all;
    EXPECT_TRUE(AnyContains(faults, "parts[0]", "unknown field \"colour\"")) << all;
    EXPECT_TRUE(AnyContains(faults, "parts[1]", "missing field \"id\"")) << all;
    EXPECT_TRUE(AnyContains(faults, "parts[1].amount", "too large")) << all;
    EXPECT_TRUE(AnyContains(faults, "parts[2]", "expected an object, got 7")) << all;
    EXPECT_TRUE(AnyContains(faults, "stock[0]", "missing field \"amount\"")) << all;
    EXPECT_TRUE(AnyContains(faults, "gaps.kerf", "got true")) << all;
    EXPECT_TRUE(AnyContains(faults, "gaps.end_pairs[0].ends", "two end type names")) << all;
    EXPECT_TRUE(AnyContains(faults, "parameters.cut_shape", "\"round\"")) << all;
    EXPECT_TRUE(AnyContains(faults, "parameters.disable_reverse", "\"yes\"")) << all;
    EXPECT_TRUE(AnyContains(faults, "document", "unknown field \"extra\"")) << all;
}

TEST(JsonReader, SyntaxErrorsAndWrongDocuments) {
    auto syntax = FaultsOf([] { ParseProblemJson("{\"parts\": [1, 2,\n", "bad.json"); });
    ASSERT_EQ(syntax.size(), 1u);
    EXPECT_NE(syntax[0].find("bad.json: not valid JSON"), std::string::npos) << syntax[0];
    EXPECT_NE(syntax[0].find("line 2"), std::string::npos) << syntax[0];

    // A number beyond the range of a double is bad input too, not an internal error.
    auto overflow =
        FaultsOf([] { ParseProblemJson(R"({"parts": [{"id": "A", "length": 1e400}]})", "big.json"); });
    ASSERT_EQ(overflow.size(), 1u);
    EXPECT_NE(overflow[0].find("big.json: not valid JSON"), std::string::npos) << overflow[0];

    auto notObject = FaultsOf([] { ParseProblemJson("[1, 2]", "list.json"); });
    EXPECT_TRUE(AnyContains(notObject, "list.json: document", "expected an object, got an array"));

    auto units = FaultsOf([] { ParseProblemJson(R"({"units": "inch", "parts": [], "stock": []})"); });
    EXPECT_TRUE(AnyContains(units, "units", "\"inch\""));

    auto bigAmount = FaultsOf([] {
        ParseProblemJson(
            R"({"parts": [{"id": "A", "length": 1, "amount": 18446744073709551615}], "stock": []})");
    });
    EXPECT_TRUE(AnyContains(bigAmount, "parts[0].amount", "18446744073709551615 is too large"));
}

TEST(CsvReader, PartsWithCommasHeaderAndComments) {
    const auto parts = ParsePartsCsv("name,length,amount,cutoffA,cutoffB\r\n"
                                     "# frame\n"
                                     "\n"
                                     "FR-01, 2450.5 ,4,60,60\r\n"
                                     "\"Post, short\",1220,8\n",
                                     "parts.csv");
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_DOUBLE_EQ(parts[0].length, 2450.5);
    EXPECT_DOUBLE_EQ(parts[0].cutoff_b, 60.0);
    EXPECT_EQ(parts[1].id, "Post, short");
    EXPECT_DOUBLE_EQ(parts[1].cutoff_a, 0.0);
}

TEST(CsvReader, SemicolonsAllowDecimalCommas) {
    const auto parts = ParsePartsCsv("\xEF\xBB\xBF"
                                     "Name;Length;Amount\nA;1200,5;3;12,5\nB;800;1\n");
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_DOUBLE_EQ(parts[0].length, 1200.5);
    EXPECT_DOUBLE_EQ(parts[0].cutoff_a, 12.5);
    const auto stock = ParseStockCsv("6000;10;long\n7500,5;2\n"); // no header: the first line is data
    ASSERT_EQ(stock.size(), 2u);
    EXPECT_EQ(stock[0].id, "long");
    EXPECT_DOUBLE_EQ(stock[1].length, 7500.5);
    EXPECT_EQ(stock[1].amount, 2);
}

TEST(CsvReader, FaultsCarryTheLineNumber) {
    const auto faults = FaultsOf([] {
        ParsePartsCsv("name,length,amount\n"
                      "A,12x0,3\n"
                      "\n"
                      "B,800\n"
                      "C,900,2.5\n"
                      "A,100,1\n"
                      "\"D,100,1\n"
                      ",100,1\n",
                      "cut.csv");
    });
    const std::string all = Joined(faults);
    EXPECT_TRUE(AnyContains(faults, "cut.csv:2:", "length \"12x0\" is not a number")) << all;
    EXPECT_TRUE(AnyContains(faults, "cut.csv:4:", "found 2 fields")) << all;
    EXPECT_TRUE(AnyContains(faults, "cut.csv:5:", "amount \"2.5\" is not a whole number")) << all;
    EXPECT_TRUE(AnyContains(faults, "cut.csv:6:", "already listed on line 2")) << all;
    EXPECT_TRUE(AnyContains(faults, "cut.csv:7:", "quoted field is not closed")) << all;
    EXPECT_TRUE(AnyContains(faults, "cut.csv:8:", "name is empty")) << all;
    EXPECT_EQ(faults.size(), 6u) << all;

    const auto stockFaults =
        FaultsOf([] { ParseStockCsv("6000,ten\n0x10,1\ninf,1\n1300,1,R,maybe\n", "s.csv"); });
    EXPECT_TRUE(AnyContains(stockFaults, "s.csv:1:", "amount \"ten\""));
    EXPECT_TRUE(AnyContains(stockFaults, "s.csv:2:", "length \"0x10\" is not a number")); // no hex
    EXPECT_TRUE(AnyContains(stockFaults, "s.csv:3:", "length \"inf\" is not a number"));
    EXPECT_TRUE(AnyContains(stockFaults, "s.csv:4:", "remnant \"maybe\""));
    const auto dup = FaultsOf([] {
        ParseProblemJson(R"({"parts": [{"id": "A", "length": 9, "amount": 1, "amount": 2}], "stock": []})",
                         "d.json");
    });
    EXPECT_TRUE(AnyContains(dup, "d.json: document.parts[0]: ", "the key \"amount\" is given twice"))
        << Joined(dup);
}

TEST(CsvReader, ManyFaultsAreCapped) {
    std::string text;
    for (int i = 0; i < 80; ++i) {
        text += "P" + std::to_string(i) + ",x,1\n";
    }
    const auto faults = FaultsOf([&] { ParsePartsCsv(text, "big.csv"); });
    ASSERT_EQ(faults.size(), 51u);
    EXPECT_EQ(faults.back(), "big.csv: 30 more faults");
}

TEST(StockList, ParsesLengthTimesAmount) {
    const auto stock = ParseStockList("6000x10, 7500X5;12000*1");
    ASSERT_EQ(stock.size(), 3u);
    EXPECT_EQ(stock[0].amount, 10);
    EXPECT_DOUBLE_EQ(stock[2].length, 12000.0);
    EXPECT_TRUE(ParseStockList("6000x10,1300x1r")[1].remnant);
    const auto csv = ParseStockCsv("1300,1,R1,remnant,10,\n6000,2,B,,,30\n");
    EXPECT_TRUE(csv[0].remnant && *csv[0].trim_start == 10.0 && !csv[0].trim_end);
    EXPECT_TRUE(!csv[1].remnant && !csv[1].trim_start && *csv[1].trim_end == 30.0);
    EXPECT_TRUE(AnyContains(FaultsOf([] { ParseStockList("6000x"); }), "\"6000x\"", "LENGTHxAMOUNT"));
    EXPECT_TRUE(AnyContains(FaultsOf([] { ParseStockList("6000"); }), "\"6000\""));
    EXPECT_TRUE(AnyContains(FaultsOf([] { ParseStockList(" , "); }), "names no stock"));
}
