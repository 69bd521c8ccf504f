// Helper of the end-to-end tests, independent of the tubenest library: it reads problems and
// plans with its own code, so that a fault in the library's readers or plan builder cannot hide
// itself.
//
//   e2e_tool generate OUT.json KINDS COPIES       a large problem every method can place whole
//   e2e_tool check-plan PROBLEM PLAN [options]    verifies a JSON plan against its problem
//       --stock LIST|FILE.csv  --gap G            as given to tubenest (CSV parts files)
//       --trim S,E                                as given to tubenest
//       --rc N                                    the exit code tubenest returned
//       --status a,b,...                          statuses accepted
//       --complete-unless-stopped                 a plan not stopped must be complete
//   e2e_tool check-svg FILE [PLAN]                well-formed, one bar per pattern of the plan
//
// Exit code 0 when every check passes; otherwise each failure is printed and the code is 1.

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/xml_check.h"

using nlohmann::json;

namespace {

struct Part {
    std::string id;
    double length = 0;
    long long amount = 0;
    std::string end_a;
    std::string end_b;
};

struct Stock {
    double length = 0;
    long long amount = 0;
    std::optional<double> trim_start; // unset: the problem's stock_settings
    std::optional<double> trim_end;
};

struct Problem {
    std::vector<Part> parts;
    std::vector<Stock> stock;
    double kerf = 0;
    std::map<std::string, double> clearance;
    std::map<std::pair<std::string, std::string>, double> endPairs;
    std::map<std::pair<int, int>, double> explicitGaps;       // signed 1-based references
    std::set<std::pair<std::string, std::string>> commonEnds; // end pairs with a common cut
    std::set<std::pair<int, int>> commonPairs;                // explicit records with a common cut
    double trimStart = 0;
    double trimEnd = 0;

    double TrimStart(const Stock& s) const { return s.trim_start.value_or(trimStart); }
    double TrimEnd(const Stock& s) const { return s.trim_end.value_or(trimEnd); }
};

int g_failures = 0;

void Fail(const std::string& what) {
    std::cerr << "FAIL: " << what << "\n";
    ++g_failures;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::cerr << "cannot read " << path << "\n";
        std::exit(2);
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::vector<std::string> SplitCsvLine(const std::string& line) {
    const char sep = line.find(';') != std::string::npos ? ';' : ',';
    std::vector<std::string> out;
    std::string cur;
    bool quoted = false;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
        } else if (c == sep && !quoted) {
            out.push_back(cur);
            cur.clear();
        } else if (c != '\r') {
            cur += (sep == ';' && c == ',' && !quoted) ? '.' : c;
        }
    }
    out.push_back(cur);
    return out;
}

bool IsNumber(const std::string& s) {
    char* end = nullptr;
    std::strtod(s.c_str(), &end);
    return !s.empty() && *end == '\0';
}

/// Rows of a simple CSV file without comments or header.
std::vector<std::vector<std::string>> CsvRows(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#' || line == "\r") {
            continue;
        }
        auto f = SplitCsvLine(line);
        bool anyNumber = false;
        for (auto& x : f) {
            anyNumber = anyNumber || IsNumber(x);
        }
        if (anyNumber) {
            rows.push_back(f);
        }
    }
    return rows;
}

Problem ReadProblem(const std::string& path, const std::string& stockArg, const std::string& gapArg,
                    const std::string& trimArg) {
    Problem p;
    if (path.size() > 4 && path.substr(path.size() - 4) == ".csv") {
        for (const auto& r : CsvRows(ReadAll(path))) {
            p.parts.push_back(Part{r.at(0), std::stod(r.at(1)), std::stoll(r.at(2)), "", ""});
        }
    } else {
        const json doc = json::parse(ReadAll(path), nullptr, true, true);
        for (const auto& o : doc.at("parts")) {
            Part part;
            part.id = o.at("id").is_string() ? o.at("id").get<std::string>() : o.at("id").dump();
            part.length = o.at("length").get<double>();
            part.amount = o.at("amount").get<long long>();
            part.end_a = o.value("end_a", "");
            part.end_b = o.value("end_b", "");
            p.parts.push_back(part);
        }
        for (const auto& o : doc.at("stock")) {
            auto optional = [&o](const char* key) {
                return o.contains(key) ? std::optional<double>(o[key].get<double>()) : std::nullopt;
            };
            p.stock.push_back(Stock{o.at("length").get<double>(), o.at("amount").get<long long>(),
                                    optional("trim_start"), optional("trim_end")});
        }
        const json settings = doc.value("stock_settings", json::object());
        p.trimStart = settings.value("trim_start", 0.0);
        p.trimEnd = settings.value("trim_end", 0.0);
        if (doc.contains("gaps")) {
            const json& g = doc["gaps"];
            p.kerf = g.value("kerf", 0.0);
            if (g.contains("end_types")) {
                for (const auto& [name, v] : g["end_types"].items()) {
                    p.clearance[name] = v.at("clearance").get<double>();
                }
            }
            if (g.contains("end_pairs")) {
                for (const auto& e : g["end_pairs"]) {
                    const std::string a = e.at("ends")[0];
                    const std::string b = e.at("ends")[1];
                    p.endPairs[{a, b}] = p.endPairs[{b, a}] = e.at("gap").get<double>();
                    if (e.value("common_cut", false)) {
                        p.commonEnds.insert({{a, b}, {b, a}});
                    }
                }
            }
            std::map<std::string, int> ref;
            for (std::size_t i = 0; i < p.parts.size(); ++i) {
                ref[p.parts[i].id] = static_cast<int>(i) + 1;
            }
            if (g.contains("pairs")) {
                for (const auto& e : g["pairs"]) {
                    const int a =
                        ref.at(e.at("first").get<std::string>()) * (e.value("first_turned", false) ? -1 : 1);
                    const int b = ref.at(e.at("second").get<std::string>()) *
                                  (e.value("second_turned", false) ? -1 : 1);
                    p.explicitGaps[{a, b}] = p.explicitGaps[{-b, -a}] = e.at("gap").get<double>();
                    if (e.value("common_cut", false)) {
                        p.commonPairs.insert({{a, b}, {-b, -a}});
                    }
                }
            }
        }
    }
    if (!stockArg.empty()) {
        p.stock.clear();
        if (stockArg.size() > 4 && stockArg.substr(stockArg.size() - 4) == ".csv") {
            for (const auto& r : CsvRows(ReadAll(stockArg))) {
                p.stock.push_back(Stock{std::stod(r.at(0)), std::stoll(r.at(1)), {}, {}}); // trims: --trim
            }
        } else {
            std::stringstream ss(stockArg);
            std::string item;
            while (std::getline(ss, item, ',')) {
                const auto x = item.find('x');
                // std::stoll stops at a remnant mark ("1300x1r").
                p.stock.push_back(
                    Stock{std::stod(item.substr(0, x)), std::stoll(item.substr(x + 1)), {}, {}});
            }
        }
    }
    if (!gapArg.empty()) {
        p.kerf = std::stod(gapArg);
    }
    if (!trimArg.empty()) {
        const auto comma = trimArg.find(',');
        p.trimStart = std::stod(trimArg.substr(0, comma));
        p.trimEnd = comma == std::string::npos ? 0.0 : std::stod(trimArg.substr(comma + 1));
        for (Stock& stock : p.stock) {
            stock.trim_start.reset();
            stock.trim_end.reset();
        }
    }
    return p;
}

/// Whether the facing ends of a followed by b share one cut (documented in plan-format.md).
bool CommonCut(const Problem& p, int a, int b) {
    if (p.explicitGaps.count({a, b}) != 0) {
        return p.commonPairs.count({a, b}) != 0;
    }
    const Part& pa = p.parts.at(static_cast<std::size_t>(std::abs(a) - 1));
    const Part& pb = p.parts.at(static_cast<std::size_t>(std::abs(b) - 1));
    return p.commonEnds.count({a > 0 ? pa.end_b : pa.end_a, b > 0 ? pb.end_a : pb.end_b}) != 0;
}

/// The gap when reference a is followed by reference b, by the documented rule.
double Gap(const Problem& p, int a, int b) {
    if (auto it = p.explicitGaps.find({a, b}); it != p.explicitGaps.end()) {
        return it->second;
    }
    const Part& pa = p.parts.at(static_cast<std::size_t>(std::abs(a) - 1));
    const Part& pb = p.parts.at(static_cast<std::size_t>(std::abs(b) - 1));
    const std::string& trailing = a > 0 ? pa.end_b : pa.end_a;
    const std::string& leading = b > 0 ? pb.end_a : pb.end_b;
    if (auto it = p.endPairs.find({trailing, leading}); it != p.endPairs.end()) {
        return it->second;
    }
    auto c = [&](const std::string& t) { return p.clearance.count(t) != 0 ? p.clearance.at(t) : 0.0; };
    return std::max(p.kerf, c(trailing) + c(leading));
}

int CheckPlan(const Problem& p, const json& plan, int rc, const std::set<std::string>& statuses,
              bool completeUnlessStopped) {
    if (plan.at("format") != "tubenest-plan" || plan.at("version") != 1) {
        Fail("not a tubenest plan, version 1");
    }
    const std::string status = plan.at("status");
    if (!statuses.empty() && statuses.count(status) == 0) {
        Fail("status " + status + " not accepted");
    }
    if (completeUnlessStopped && status != "interrupted" && status != "time_limit" && status != "complete") {
        Fail("a run that was not stopped must be complete, got " + status);
    }
    std::vector<long long> used(p.stock.size(), 0);
    std::vector<long long> placed(p.parts.size(), 0);
    std::map<int, std::pair<long long, long long>> pieces; // split id -> front, back
    std::map<int, std::size_t> splitPart;
    long long totalCuts = 0;
    const int n = static_cast<int>(p.parts.size());
    std::size_t k = 0;
    for (const auto& pat : plan.at("patterns")) {
        const std::string at = "pattern " + std::to_string(k++) + ": ";
        const auto s = pat.at("stock_index").get<std::size_t>();
        const long long count = pat.at("count");
        if (s >= p.stock.size() || count < 1) {
            Fail(at + "bad stock index or count");
            continue;
        }
        used[s] += count;
        const double trimStart = p.TrimStart(p.stock[s]);
        double end = 0;
        int prev = 0;
        bool prevWhole = false;
        long long cuts = 0; // by the rule of plan-format.md, counted here on its own
        for (const auto& part : pat.at("parts")) {
            const int ref = part.at("reference");
            const double len = part.at("length");
            const double start = part.at("start");
            const bool whole = part.at("piece") == "whole";
            const auto idx = part.at("part_index").get<std::size_t>();
            if (idx >= p.parts.size() || part.at("part_id") != p.parts[idx].id) {
                Fail(at + "part index/id mismatch");
                continue;
            }
            if (whole) {
                if (std::abs(ref) != static_cast<int>(idx) + 1 ||
                    std::fabs(len - p.parts[idx].length) > 1e-6) {
                    Fail(at + "whole part " + p.parts[idx].id + " with reference or length wrong");
                }
                placed[idx] += count;
            } else {
                if (std::abs(ref) <= n) {
                    Fail(at + "piece with a part reference");
                }
                const int split = part.at("split_id");
                (part.at("piece") == "front" ? pieces[split].first : pieces[split].second) += count;
                splitPart[split] = idx;
            }
            if (prev == 0) {
                if (std::fabs(start - trimStart) > 1e-6) {
                    Fail(at + "first part does not start at the start trim " + std::to_string(trimStart));
                }
                cuts += trimStart > 1e-6 ? 1 : 0;
            } else {
                const double gap = part.at("gap_before");
                cuts += gap <= p.kerf + 1e-6 || (whole && prevWhole && CommonCut(p, prev, ref)) ? 1 : 2;
                if (whole && prevWhole && std::fabs(gap - Gap(p, prev, ref)) > 1e-6) {
                    Fail(at + "gap " + std::to_string(gap) + " between " + std::to_string(prev) + " and " +
                         std::to_string(ref) + ", expected " + std::to_string(Gap(p, prev, ref)));
                }
                if (std::fabs(start - (end + gap)) > 1e-5) {
                    Fail(at + "start " + std::to_string(start) + " is not previous end + gap");
                }
            }
            end = start + len;
            prev = ref;
            prevWhole = whole;
        }
        const double room = p.stock[s].length - p.TrimEnd(p.stock[s]);
        if (end > room + 0.01) {
            Fail(at + "parts and gaps end at " + std::to_string(end) + " mm of a tube usable to " +
                 std::to_string(room) + " mm");
        }
        if (std::fabs(pat.at("used_length").get<double>() - end) > 1e-5 ||
            std::fabs(pat.at("remnant").get<double>() - (p.stock[s].length - end)) > 1e-5) {
            Fail(at + "used_length is not the end of the last part, or remnant not the rest of the tube");
        }
        cuts += p.stock[s].length - end > 1e-6 ? 1 : 0;
        if (pat.at("cuts") != cuts) {
            Fail(at + "cuts " + pat.at("cuts").dump() + ", counted " + std::to_string(cuts));
        }
        totalCuts += cuts * count;
    }
    if (plan.at("totals").at("cuts") != totalCuts) {
        Fail("totals.cuts does not match the patterns");
    }
    long long tubes = 0;
    for (std::size_t s = 0; s < p.stock.size(); ++s) {
        tubes += used[s];
        if (used[s] > p.stock[s].amount) {
            Fail("stock " + std::to_string(s) + " used " + std::to_string(used[s]) + " times of " +
                 std::to_string(p.stock[s].amount));
        }
    }
    if (plan.at("totals").at("tubes_used") != tubes) {
        Fail("totals.tubes_used does not match the patterns");
    }
    for (const auto& [split, fb] : pieces) {
        placed[splitPart[split]] += std::min(fb.first, fb.second);
    }
    const bool complete = plan.at("unplaced").empty();
    if (!plan.at("lower_bound").is_null()) {
        const long long bound = plan.at("lower_bound").get<long long>();
        if (complete && tubes < bound) {
            Fail("lower bound " + std::to_string(bound) + " above the tubes of a complete plan");
        }
        if (plan.at("optimal").get<bool>() != (complete && tubes == bound)) {
            Fail("optimal flag does not match the bound and the tubes used");
        }
    } else if (plan.at("optimal").get<bool>()) {
        Fail("optimal without a lower bound");
    }
    std::vector<long long> unplaced(p.parts.size(), 0);
    for (const auto& u : plan.at("unplaced")) {
        unplaced.at(u.at("part_index").get<std::size_t>()) += u.at("count").get<long long>();
    }
    bool all = true;
    for (std::size_t i = 0; i < p.parts.size(); ++i) {
        if (placed[i] + unplaced[i] != p.parts[i].amount) {
            Fail("part " + p.parts[i].id + ": placed " + std::to_string(placed[i]) + " + not placed " +
                 std::to_string(unplaced[i]) + " != required " + std::to_string(p.parts[i].amount));
        }
        all = all && unplaced[i] == 0;
    }
    if (rc >= 0 && rc != (all ? 0 : 3)) {
        Fail("exit code " + std::to_string(rc) + " but " +
             (all ? "every copy is placed" : "copies are missing"));
    }
    return g_failures == 0 ? 0 : 1;
}

int Generate(const std::string& out, int kinds, int copies) {
    json doc;
    doc["parts"] = json::array();
    for (int k = 0; k < kinds; ++k) {
        doc["parts"].push_back(
            json{{"id", "K" + std::to_string(k)}, {"length", 150 + (k * 7919) % 2400}, {"amount", copies}});
    }
    doc["stock"] = json::array({json{{"length", 6000}, {"amount", kinds * copies}}});
    doc["gaps"] = json{{"kerf", 3}};
    std::ofstream(out) << doc.dump(1) << "\n";
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 4 && args[0] == "generate") {
        return Generate(args[1], std::stoi(args[2]), std::stoi(args[3]));
    }
    if (args.size() >= 3 && args[0] == "check-plan") {
        std::string stock;
        std::string gap;
        std::string trim;
        int rc = -1;
        std::set<std::string> statuses;
        bool completeUnlessStopped = false;
        for (std::size_t i = 3; i < args.size(); ++i) {
            if (args[i] == "--stock") {
                stock = args.at(++i);
            } else if (args[i] == "--gap") {
                gap = args.at(++i);
            } else if (args[i] == "--trim") {
                trim = args.at(++i);
            } else if (args[i] == "--rc") {
                rc = std::stoi(args.at(++i));
            } else if (args[i] == "--status") {
                std::stringstream ss(args.at(++i));
                std::string s;
                while (std::getline(ss, s, ',')) {
                    statuses.insert(s);
                }
            } else if (args[i] == "--complete-unless-stopped") {
                completeUnlessStopped = true;
            }
        }
        const Problem problem = ReadProblem(args[1], stock, gap, trim);
        return CheckPlan(problem, json::parse(ReadAll(args[2])), rc, statuses, completeUnlessStopped);
    }
    if (args.size() >= 2 && args[0] == "check-svg") {
        const std::string svg = ReadAll(args[1]);
        std::string error;
        if (!tubenest::testing::IsWellFormedXml(svg, &error)) {
            Fail("SVG not well formed: " + error);
        }
        if (args.size() >= 3) {
            const std::size_t patterns = json::parse(ReadAll(args[2])).at("patterns").size();
            if (tubenest::testing::CountElements(svg, "g", "pattern") != patterns) {
                Fail("SVG does not have one bar for each of the " + std::to_string(patterns) + " patterns");
            }
        }
        return g_failures == 0 ? 0 : 1;
    }
    std::cerr << "usage: e2e_tool generate|check-plan|check-svg ...\n";
    return 2;
}
