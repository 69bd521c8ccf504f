#include "api/example_problem.h"

#include <iterator>

namespace tubenest::api {
namespace {

struct PartRow {
    const char* id;
    const char* name;
    double length;
    double cutoff_a;
    double cutoff_b;
    int amount;
    const char* end_a;
    const char* end_b;
};

// Lengths in mm; mitred ends cut away a triangle of the tube's 60 mm depth.
constexpr PartRow kParts[] = {
    {"FR-01", "frame top", 2450.0, 60.0, 60.0, 6, "miter45", "miter45"},
    {"FR-02", "frame bottom", 2450.0, 60.0, 60.0, 6, "miter45", "miter45"},
    {"FR-03", "frame post", 1840.0, 60.0, 0.0, 12, "miter45", "plain"},
    {"FR-04", "frame post short", 1220.0, 60.0, 0.0, 8, "miter45", "plain"},
    {"FR-05", "corner brace", 610.0, 35.0, 35.0, 16, "miter30", "miter30"},
    {"FR-06", "diagonal", 2125.5, 35.0, 35.0, 6, "miter30", "saddle"},
    {"FR-07", "cross member", 1380.0, 0.0, 0.0, 10, "saddle", "saddle"},
    {"FR-08", "cross member short", 945.0, 0.0, 0.0, 10, "saddle", "saddle"},
    {"FR-09", "stiffener", 420.0, 0.0, 0.0, 24, "plain", "plain"},
    {"FR-10", "stiffener notched", 455.0, 0.0, 0.0, 12, "notch", "plain"},
    {"BR-01", "bracket long", 780.0, 35.0, 0.0, 8, "miter30", "plain"},
    {"BR-02", "bracket", 520.0, 35.0, 0.0, 8, "miter30", "plain"},
    {"BR-03", "bracket short", 310.0, 0.0, 0.0, 12, "notch", "notch"},
    {"BR-04", "tab", 180.0, 0.0, 0.0, 20, "plain", "plain"},
    {"LG-01", "leg", 3050.0, 0.0, 0.0, 4, "plain", "saddle"},
    {"LG-02", "leg short", 2780.0, 0.0, 0.0, 4, "plain", "saddle"},
    {"LG-03", "leg brace", 1615.0, 35.0, 35.0, 8, "miter30", "miter30"},
    {"RL-01", "rail", 5450.0, 0.0, 0.0, 3, "plain", "plain"},
    {"RL-02", "rail mitred", 4980.0, 60.0, 60.0, 2, "miter45", "miter45"},
    {"RL-03", "long rail", 7200.0, 0.0, 0.0, 2, "plain", "plain"},
    {"RL-04", "main beam", 8400.0, 60.0, 0.0, 2, "miter45", "plain"},
    {"HD-01", "handrail", 3975.0, 0.0, 0.0, 3, "saddle", "plain"},
    {"HD-02", "handrail post", 1065.0, 0.0, 0.0, 9, "plain", "saddle"},
    {"HD-03", "kick plate bar", 2290.0, 0.0, 0.0, 3, "plain", "plain"},
    {"ST-01", "stair stringer", 4310.0, 35.0, 35.0, 2, "miter30", "miter30"},
    {"ST-02", "stair tread bar", 890.0, 0.0, 0.0, 14, "notch", "notch"},
    {"ST-03", "stair landing bar", 1490.0, 60.0, 60.0, 4, "miter45", "miter45"},
    {"SP-01", "spacer", 95.0, 0.0, 0.0, 30, "plain", "plain"},
    {"SP-02", "spacer long", 155.0, 0.0, 0.0, 18, "plain", "plain"},
    {"SP-03", "gusset bar", 265.0, 35.0, 35.0, 10, "miter30", "miter30"},
};

} // namespace

Problem MakeExampleProblem() {
    Problem p;
    for (const PartRow& row : kParts) {
        PartSpec part;
        part.id = row.id;
        part.name = row.name;
        part.length = row.length;
        part.cutoff_a = row.cutoff_a;
        part.cutoff_b = row.cutoff_b;
        part.amount = row.amount;
        part.end_a = row.end_a;
        part.end_b = row.end_b;
        p.parts.push_back(part);
    }
    // The main beam may only be split in its middle stretch, away from its bracket holes.
    p.parts[20].separable = std::vector<Interval>{{3000.0, 3900.0}, {4500.0, 5400.0}};

    p.stock = {{"S6000", 6000.0, 40}, {"S6500", 6500.0, 12}, {"S7500", 7500.0, 6}};

    p.gaps.kerf = 3.0;
    p.gaps.end_types = {
        {"plain", 0.0}, {"miter45", 42.0}, {"miter30", 24.0}, {"saddle", 30.0}, {"notch", 12.0}};
    // Mitres cut the same way nest into each other and share one cut: the parts overlap in length.
    p.gaps.end_pairs = {
        {"miter45", "miter45", -57.0, true, 60.0, -1.0, 0},
        {"miter30", "miter30", -32.0, true, 40.0, -1.0, 0},
        {"saddle", "saddle", 18.0, false, -1.0, -1.0, 0},
    };
    // Measured on the machine: the tab sits tight behind the notched bracket.
    PairGap tight;
    tight.first = "BR-03";
    tight.second = "BR-04";
    tight.gap = 2.0;
    p.gaps.pairs.push_back(tight);

    p.parameters.default_part_gap = 3.0;
    p.parameters.target_lost_rate = 0.04;
    p.parameters.split_margin = 150.0;
    return p;
}

} // namespace tubenest::api
