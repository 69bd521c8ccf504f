#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "api/engine.h"
#include "api/example_problem.h"
#include "api/plan_output.h"
#include "api/solve.h"
#include "support/xml_check.h"
#include "test_problems.h"

using namespace tubenest;
using namespace tubenest::api;
using tubenest::testing::CountElements;
using tubenest::testing::IsWellFormedXml;
using tubenest::testing::Result;

namespace {

/// SplitProblem with a hostile name and a copy of P2 not placed.
Plan SplitPlan() {
    const Problem p = tubenest::testing::SplitProblem("beam <A&B>", 3);
    const EngineInput in = BuildEngineInput(p);
    Plan plan = BuildPlan(p, in, tubenest::testing::SplitOutput());
    plan.method = "test";
    plan.seed = 7;
    return plan;
}

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class TempDir {
public:
    TempDir() {
        path_ = std::filesystem::temp_directory_path() /
                ("tubenest_output_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                 "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

} // namespace

TEST(Summary, ListsPatternsSplitsTotalsAndUnplacedCopies) {
    const Plan plan = SplitPlan();
    const std::string text = FormatPlanSummary(plan);
    EXPECT_EQ(
        text,
        "Plan: partial (method test, seed 7, 0.00 s)\n"
        "Patterns:\n"
        "  6000 × 1: P2 1000, beam <A&B> 4000 (front of split 1), used 5005, remnant 995, 3 cuts\n"
        "  6000 × 1: beam <A&B> 3000 (back of split 1), P2 1000 (turned), used 4005, remnant 1995, 3 cuts\n"
        "Splits:\n"
        "  split 1: P1 cut into 4000 + 3000, 1 weld\n"
        "Totals: 2 tubes (6000 mm × 2), material 12000 mm, parts 9000 mm, yield 75.00 %, waste 3000 mm, "
        "welds 1, cuts 6\n"
        "Copies: 3 of 4 placed\n"
                      "Lower bound: 2 tubes (continuous)\n"
        "Not placed: P2 × 1 (the method did not place it)\n");
}

TEST(Summary, RunsOfTheSamePartAreCounted) {
    const Problem p = tubenest::testing::SmallProblem();
    const EngineInput in = BuildEngineInput(p);
    EngineOutput out;
    out.results.Add(Result(1, 1, {2, 2, -2, 1, 1}));
    const Plan plan = BuildPlan(p, in, std::move(out));
    const std::string text = FormatPlanSummary(plan);
    EXPECT_NE(text.find("  6000 × 1: bracket 800 × 2, bracket 800 (turned), P1 1200 × 2, used 4812, remnant "
                        "1188, 5 cuts\n"),
              std::string::npos)
        << text;
}

TEST(Summary, AmbiguousNamesAreQuoted) {
    Problem p = tubenest::testing::SmallProblem();
    p.parts[1].name = "bracket, \"left\"\n";
    const EngineInput in = BuildEngineInput(p);
    EngineOutput out;
    out.results.Add(Result(1, 1, {2, 2}));
    const std::string text = FormatPlanSummary(BuildPlan(p, in, std::move(out)));
    EXPECT_NE(text.find(": \"bracket, \\\"left\\\"\\n\" 800 × 2, used 1603"), std::string::npos) << text;
}

TEST(CutList, TextAndCsvGiveEveryStretchOfEveryBar) {
    const Plan plan = SplitPlan();
    const std::string head = "Cut list (mm from the bar's start):\n"
                             "Pattern 1: stock S1, 6000 mm × 1, 3 cuts each\n"
                             "        from         to     length  what\n"
                             "           0       1000       1000  P2\n"
                             "        1005       5005       4000  P1 beam <A&B> (front of split 1)\n"
                             "        5005       6000        995  remnant\n"
                             "Pattern 2: stock S1, 6000 mm × 1, 3 cuts each\n";
    EXPECT_EQ(FormatCutList(plan).substr(0, head.size()), head);
    EXPECT_EQ(PlanToCsv(plan),
              "pattern,bars,stock_id,stock_length,item,kind,part_id,name,start,end,length,turned,split_id\n"
              "1,1,S1,6000,1,whole,P2,P2,0,1000,1000,no,\n"
              "1,1,S1,6000,2,front,P1,beam <A&B>,1005,5005,4000,no,1\n"
              "1,1,S1,6000,,remnant,,,5005,6000,995,,\n"
              "2,1,S1,6000,1,back,P1,beam <A&B>,0,3000,3000,no,1\n"
              "2,1,S1,6000,2,whole,P2,P2,3005,4005,1000,yes,\n"
              "2,1,S1,6000,,remnant,,,4005,6000,1995,,\n");
}

TEST(PlanJson, StableFieldsAndValues) {
    const Plan plan = SplitPlan();
    const auto doc = nlohmann::json::parse(PlanToJson(plan));
    EXPECT_EQ(doc["format"], "tubenest-plan");
    EXPECT_EQ(doc["version"], 1);
    EXPECT_EQ(doc["status"], "partial");
    EXPECT_EQ(doc["method"], "test");
    EXPECT_EQ(doc["seed"], 7);
    const auto& t = doc["totals"];
    EXPECT_EQ(t["tubes_used"], 2);
    EXPECT_DOUBLE_EQ(t["material_used"].get<double>(), 12000.0);
    EXPECT_DOUBLE_EQ(t["yield"].get<double>(), 0.75);
    EXPECT_EQ(t["copies_required"], 4);
    EXPECT_EQ(t["stock"][0]["stock_id"], "S1");
    EXPECT_EQ(t["stock"][0]["available"], 3);
    EXPECT_TRUE(t["cuts"] == 6 && t["min_usable_remnant"].is_null() && t["stock"][0]["remnant"] == false);
    EXPECT_DOUBLE_EQ(t["scrap_remnant_length"].get<double>(), 995.0 + 1995.0); // no minimum: all scrap
    ASSERT_EQ(doc["patterns"].size(), 2u);
    const auto& first = doc["patterns"][0];
    EXPECT_DOUBLE_EQ(first["remnant"].get<double>(), 995.0);
    EXPECT_TRUE(first["cuts"] == 3 && first["remnant_usable"] == false);
    const auto& front = first["parts"][1];
    EXPECT_EQ(front["name"], "beam <A&B>");
    EXPECT_EQ(front["piece"], "front");
    EXPECT_EQ(front["split_id"], 1);
    EXPECT_EQ(front["reference"], 3);
    EXPECT_DOUBLE_EQ(front["start"].get<double>(), 1005.0);
    EXPECT_DOUBLE_EQ(front["gap_before"].get<double>(), 5.0);
    EXPECT_TRUE(first["parts"][0]["split_id"].is_null());
    EXPECT_EQ(doc["patterns"][1]["parts"][1]["turned"], true);
    EXPECT_EQ(doc["splits"][0]["welds"], 1);
    EXPECT_EQ(doc["unplaced"][0]["count"], 1);
}

TEST(PlanJson, LengthsAreRoundedToMicrometres) {
    Problem p = tubenest::testing::SmallProblem();
    p.parts[0].length = 0.1;
    p.gaps.kerf = 0.2;
    const EngineInput in = BuildEngineInput(p);
    EngineOutput out;
    out.results.Add(Result(1, 1, {1, 1}));
    const auto doc = nlohmann::json::parse(PlanToJson(BuildPlan(p, in, std::move(out))));
    EXPECT_EQ(doc["patterns"][0]["parts"][1]["start"].dump(), "0.3");
}

TEST(Svg, WellFormedWithOneRectanglePerPartAndWeldMarks) {
    const Plan plan = SplitPlan();
    const std::string svg = PlanToSvg(plan);
    std::string error;
    ASSERT_TRUE(IsWellFormedXml(svg, &error)) << error;
    EXPECT_EQ(CountElements(svg, "rect", "part"), 4u);
    EXPECT_EQ(CountElements(svg, "rect", "remnant"), 2u);
    EXPECT_EQ(CountElements(svg, "line", "weld"), 2u);
    EXPECT_NE(svg.find("beam &lt;A&amp;B&gt;"), std::string::npos);
    EXPECT_NE(svg.find("6000 × 1"), std::string::npos);
    EXPECT_NE(svg.find("not placed: P2 × 1"), std::string::npos);
}

TEST(Svg, ExamplePlanAndHostileNamesStayWellFormed) {
    Problem p = MakeExampleProblem();
    p.parts[0].name = "bad \x01 byte \xff and \"quotes\" 'single' ]]> </svg>";
    p.parts[1].name = "äöü long name with umlauts that will not fit into the bar at all äöü";
    SolveOptions o;
    o.method = "ffd";
    const Plan plan = Solve(p, o);
    const std::string svg = PlanToSvg(plan);
    std::string error;
    EXPECT_TRUE(IsWellFormedXml(svg, &error)) << error;
    std::size_t placed = 0;
    for (const auto& pat : plan.patterns) {
        placed += pat.parts.size();
    }
    EXPECT_EQ(CountElements(svg, "rect", "part"), placed);
    EXPECT_EQ(svg.find('\x01'), std::string::npos);
    EXPECT_EQ(svg.find('\xff'), std::string::npos);
}

TEST(Svg, XmlCheckerRejectsBrokenDocuments) {
    std::string error;
    EXPECT_FALSE(IsWellFormedXml("<svg><g></svg>", &error));
    EXPECT_FALSE(IsWellFormedXml("<svg a=1/>", &error));
    EXPECT_FALSE(IsWellFormedXml("<svg>a & b</svg>", &error));
    EXPECT_FALSE(IsWellFormedXml("<svg/><svg/>", &error));
    EXPECT_TRUE(
        IsWellFormedXml("<?xml version=\"1.0\"?>\n<svg a='1'><!-- x --><g/>t &amp; u</svg>\n", &error))
        << error;
}

TEST(AtomicWrite, ReplacesWholeOrLeavesTheOldFile) {
    TempDir dir;
    const auto target = (dir.path() / "plan.json").string();
    WriteFileAtomically(target, std::string("first"));
    EXPECT_EQ(ReadAll(target), "first");
    WriteFileAtomically(target, std::string("second, longer"));
    EXPECT_EQ(ReadAll(target), "second, longer");
    EXPECT_THROW(WriteFileAtomically(target,
                                     [](const std::string& temp) {
                                         std::ofstream(temp) << "half";
                                         throw std::runtime_error("disk full");
                                     }),
                 std::runtime_error);
    EXPECT_EQ(ReadAll(target), "second, longer");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1); // no temporary left
    EXPECT_THROW(WriteFileAtomically((dir.path() / "missing" / "x.svg").string(), std::string("x")),
                 std::runtime_error);
}

// Only regular files are replaced through a temporary file: a symlink stays a link to the new
// content, and pipes and devices are written, never replaced by a file.
TEST(AtomicWrite, LinksAreFollowedPipesAndDevicesWrittenDirectly) {
    TempDir dir;
    const auto target = dir.path() / "real.json";
    std::ofstream(target) << "old";
    std::filesystem::permissions(target,
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    std::filesystem::create_symlink("real.json", dir.path() / "link.json");
    std::filesystem::create_symlink(dir.path() / "new.json", dir.path() / "dangling.json");
    WriteFileAtomically((dir.path() / "link.json").string(), std::string("new"));
    WriteFileAtomically((dir.path() / "dangling.json").string(), std::string("created"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.path() / "link.json"));
    EXPECT_EQ(ReadAll(target), "new");
    EXPECT_EQ(std::filesystem::status(target).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_EQ(ReadAll(dir.path() / "new.json"), "created");

    const auto fifo = dir.path() / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK); // lets the writer open at once
    ASSERT_GE(reader, 0);
    WriteFileAtomically(fifo.string(), std::string("through the pipe"));
    char buf[64] = {};
    EXPECT_EQ(::read(reader, buf, sizeof buf), 16);
    ::close(reader);
    EXPECT_EQ(std::string(buf), "through the pipe");
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));
    EXPECT_NO_THROW(WriteFileAtomically("/dev/null", std::string("x")));
    EXPECT_NO_THROW(WriteEngineDump(SplitPlan(), "/dev/null"));
    EXPECT_THROW(WriteFileAtomically(dir.path().string(), std::string("x")), std::runtime_error);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 5); // no temporary left
}
