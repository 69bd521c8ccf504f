// instance_runner: runs the nesting methods on public one-dimensional cutting-stock instances and
// compares the tubes they use with the proven optima.
//
//   instance_runner [--dir DIR] [--sets a,b] [--instances REGEX] [--methods m1,m2]
//                   [--time-limit S] [--seed N] [--threads N] [--kerf MM] [--out CSV]
//                   [--summary MD] [--summarize CSV...]
//
// An instance (BPPLIB cutting-stock format, see DIR/README.md) becomes a tube problem: one stock
// entry of the capacity with as many tubes as items, one part per distinct length with its demand,
// gap 0 and no separable stretches, so no method may split a part and the bin-packing optimum is
// the right yardstick. A method name with the suffix "-split" runs that method with splitting
// allowed (the default separable stretches); its tube count may then undercut the optimum.
//
// --kerf G keeps the optimum: with a gap G between neighbours (none at the tube ends), k parts of
// lengths w_i - G fit a tube of C - G exactly when sum (w_i - G) + (k - 1) G <= C - G, that is when
// sum w_i <= C. Instances with an item not longer than G cannot be stated so and are skipped.
//
// Every plan is checked here, independently of the facade's own bookkeeping: parts in a pattern do
// not overlap and keep the gap, no pattern is longer than its tube (+0.01 mm), every whole part has
// its own length, every required copy is placed once (whole or as one front and one back piece) or
// reported as not placed, and no more tubes are used than are available. The plan's own lower
// bound must not exceed the known optimum; the summary gives the share of plans that prove
// themselves optimal (they meet their bound) and of bounds that reach the optimum.

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <map>
#include <numeric>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "api/solve.h"

namespace api = tubenest::api;
namespace fs = std::filesystem;

namespace {

constexpr double kLengthTolerance = 0.01; // mm a pattern may exceed its tube
constexpr double kGapTolerance = 1e-6;

struct Instance {
    std::string set;
    std::string name;
    double capacity = 0.0;
    std::vector<std::pair<double, std::int64_t>> items; // length, demand
    std::int64_t item_count = 0;
    double total_length = 0.0;
};

struct Optimum {
    std::int64_t optimum = -1;
    std::int64_t l1 = -1;
    std::int64_t lp = -1;
};

struct Row {
    std::string set;
    std::string name;
    std::string method;
    std::int64_t items = 0;
    double capacity = 0.0;
    double kerf = 0.0;
    std::int64_t optimum = -1;
    std::int64_t lower_bound = 0;
    std::int64_t tubes = 0;
    double seconds = 0.0;
    bool check_passed = false;
    std::string status;
    std::int64_t unplaced = 0;
    std::string check_message;
    std::int64_t plan_bound = 0; ///< the plan's own lower bound (0: none)
    std::string bound_source;
    bool proven_optimal = false; ///< the plan says it meets its bound
    std::string winner;          ///< the method whose plan it is (differs from method for "auto")

    std::int64_t Above() const { return optimum >= 0 ? tubes - optimum : 0; }
};

std::vector<std::string> SplitList(const std::string& text, char sep) {
    std::vector<std::string> out;
    std::stringstream ss(text);
    std::string item;
    while (std::getline(ss, item, sep)) {
        while (!item.empty() && (item.back() == '\r' || item.back() == ' ')) {
            item.pop_back();
        }
        if (!item.empty()) {
            out.push_back(item);
        }
    }
    return out;
}

Instance ReadInstance(const fs::path& file, const std::string& set) {
    std::ifstream in(file);
    if (!in) {
        throw std::runtime_error("cannot read " + file.string());
    }
    Instance inst;
    inst.set = set;
    inst.name = file.stem().string();
    std::int64_t types = 0;
    if (!(in >> types >> inst.capacity) || types <= 0 || inst.capacity <= 0.0) {
        throw std::runtime_error(file.string() +
                                 ": bad header (expected the number of lengths and the capacity)");
    }
    for (std::int64_t k = 0; k < types; ++k) {
        double length = 0.0;
        std::int64_t demand = 0;
        if (!(in >> length >> demand) || length <= 0.0 || demand <= 0) {
            throw std::runtime_error(file.string() + ": bad item line " + std::to_string(k + 1));
        }
        inst.items.emplace_back(length, demand);
        inst.item_count += demand;
        inst.total_length += length * static_cast<double>(demand);
    }
    return inst;
}

/// The fields of one CSV line without quoting, empty fields kept (optima.csv has blank cells).
std::vector<std::string> CsvFields(std::string line) {
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    std::vector<std::string> out;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = line.find(',', start);
        out.push_back(line.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) {
            return out;
        }
        start = comma + 1;
    }
}

std::map<std::string, Optimum> ReadOptima(const fs::path& file) {
    std::map<std::string, Optimum> out;
    std::ifstream in(file);
    if (!in) {
        return out;
    }
    std::string line;
    std::getline(in, line);
    const auto header = CsvFields(line);
    auto column = [&header](const std::string& name) {
        const auto it = std::find(header.begin(), header.end(), name);
        return it == header.end() ? -1 : static_cast<int>(it - header.begin());
    };
    const int cName = column("name");
    const int cOpt = column("optimum");
    const int cL1 = column("L1_continuous");
    const int cLp = column("lp_ceil");
    if (cName < 0 || cOpt < 0) {
        throw std::runtime_error(file.string() + ": needs the columns name and optimum");
    }
    auto number = [](const std::vector<std::string>& f, int c) -> std::int64_t {
        if (c < 0 || static_cast<std::size_t>(c) >= f.size()) {
            return -1;
        }
        try {
            return std::stoll(f[static_cast<std::size_t>(c)]);
        } catch (const std::exception&) {
            return -1;
        }
    };
    while (std::getline(in, line)) {
        const auto f = CsvFields(line);
        if (static_cast<std::size_t>(cName) >= f.size()) {
            continue;
        }
        out[f[static_cast<std::size_t>(cName)]] = Optimum{number(f, cOpt), number(f, cL1), number(f, cLp)};
    }
    return out;
}

api::Problem MakeProblem(const Instance& inst, double kerf, bool allowSplit) {
    api::Problem problem;
    for (std::size_t k = 0; k < inst.items.size(); ++k) {
        api::PartSpec part;
        part.id = "L" + std::to_string(k + 1);
        part.length = inst.items[k].first - kerf;
        part.amount = inst.items[k].second;
        if (!allowSplit) {
            part.separable = std::vector<api::Interval>{};
        }
        problem.parts.push_back(std::move(part));
    }
    problem.stock.push_back(api::StockSpec{"C", inst.capacity - kerf, inst.item_count});
    problem.gaps.kerf = kerf;
    return problem;
}

/// Checks a plan against its problem without trusting the facade's totals. Empty: passed.
std::string CheckPlan(const api::Problem& problem, const api::Plan& plan) {
    std::ostringstream err;
    const std::size_t n = problem.parts.size();
    std::vector<std::int64_t> whole(n, 0);
    std::vector<std::int64_t> fronts(n, 0);
    std::vector<std::int64_t> backs(n, 0);
    std::vector<std::int64_t> tubesPerStock(problem.stock.size(), 0);
    std::int64_t tubes = 0;
    for (std::size_t p = 0; p < plan.patterns.size() && err.tellp() == 0; ++p) {
        const api::Pattern& pat = plan.patterns[p];
        if (pat.stock_index >= problem.stock.size() || pat.count <= 0) {
            err << "pattern " << p << ": bad stock index or count";
            break;
        }
        const double tubeLength = problem.stock[pat.stock_index].length;
        tubesPerStock[pat.stock_index] += pat.count;
        tubes += pat.count;
        std::vector<const api::PlacedPart*> parts;
        for (const auto& part : pat.parts) {
            parts.push_back(&part);
        }
        std::sort(parts.begin(), parts.end(),
                  [](const api::PlacedPart* a, const api::PlacedPart* b) { return a->start < b->start; });
        double end = 0.0;
        for (std::size_t k = 0; k < parts.size(); ++k) {
            const api::PlacedPart& part = *parts[k];
            if (part.part_index >= n) {
                err << "pattern " << p << ": unknown part index " << part.part_index;
                break;
            }
            if (part.length <= 0.0) {
                err << "pattern " << p << ": part of length " << part.length;
                break;
            }
            if (part.piece == api::PieceKind::Whole &&
                std::fabs(part.length - problem.parts[part.part_index].length) > kGapTolerance) {
                err << "pattern " << p << ": part " << part.part_id << " has length " << part.length;
                break;
            }
            const double need = k == 0 ? 0.0 : end + problem.gaps.kerf;
            if (part.start < need - kGapTolerance) {
                err << "pattern " << p << ": part " << k << " starts at " << part.start << ", needs " << need;
                break;
            }
            end = part.start + part.length;
            const auto count = static_cast<std::int64_t>(pat.count);
            switch (part.piece) {
            case api::PieceKind::Whole:
                whole[part.part_index] += count;
                break;
            case api::PieceKind::Front:
                fronts[part.part_index] += count;
                break;
            case api::PieceKind::Back:
                backs[part.part_index] += count;
                break;
            }
        }
        if (err.tellp() == 0 && end > tubeLength + kLengthTolerance) {
            err << "pattern " << p << ": ends at " << end << " in a tube of " << tubeLength;
        }
    }
    if (err.tellp() != 0) {
        return err.str();
    }
    std::vector<std::int64_t> unplaced(n, 0);
    for (const auto& u : plan.unplaced) {
        if (u.part_index >= n || u.count <= 0) {
            return "bad not-placed entry for part index " + std::to_string(u.part_index);
        }
        unplaced[u.part_index] += u.count;
    }
    for (std::size_t k = 0; k < n; ++k) {
        if (fronts[k] != backs[k]) {
            return "part " + problem.parts[k].id + ": " + std::to_string(fronts[k]) + " front pieces but " +
                   std::to_string(backs[k]) + " back pieces";
        }
        if (whole[k] + fronts[k] + unplaced[k] != problem.parts[k].amount) {
            return "part " + problem.parts[k].id + ": " + std::to_string(whole[k]) + " whole + " +
                   std::to_string(fronts[k]) + " joined + " + std::to_string(unplaced[k]) +
                   " not placed != " + std::to_string(problem.parts[k].amount) + " required";
        }
    }
    for (std::size_t s = 0; s < problem.stock.size(); ++s) {
        if (tubesPerStock[s] > problem.stock[s].amount) {
            return "stock " + problem.stock[s].id + ": " + std::to_string(tubesPerStock[s]) +
                   " tubes used of " + std::to_string(problem.stock[s].amount);
        }
    }
    if (tubes != plan.totals.tubes_used) {
        return "the plan reports " + std::to_string(plan.totals.tubes_used) + " tubes, its patterns use " +
               std::to_string(tubes);
    }
    return {};
}

std::string CsvField(const std::string& s) {
    if (s.find_first_of(",\"\n") == std::string::npos) {
        return s;
    }
    std::string out = "\"";
    for (char c : s) {
        out += c == '"' ? std::string("\"\"") : std::string(1, c == '\n' ? ' ' : c);
    }
    return out + "\"";
}

const char* kCsvHeader =
    "set,name,method,items,capacity,kerf,optimum,lower_bound,tubes,above_optimum,seconds,"
    "check_passed,status,unplaced,check_message,plan_bound,bound_source,proven_optimal,winner";

std::string FormatRow(const Row& r) {
    std::ostringstream o;
    o << CsvField(r.set) << ',' << CsvField(r.name) << ',' << CsvField(r.method) << ',' << r.items << ','
      << api::FormatLength(r.capacity) << ',' << api::FormatLength(r.kerf) << ',' << r.optimum << ','
      << r.lower_bound << ',' << r.tubes << ',' << r.Above() << ',' << std::fixed << std::setprecision(3)
      << r.seconds << ',' << (r.check_passed ? "yes" : "no") << ',' << r.status << ',' << r.unplaced << ','
      << CsvField(r.check_message) << ',' << r.plan_bound << ',' << CsvField(r.bound_source) << ','
      << (r.proven_optimal ? "yes" : "no") << ',' << CsvField(r.winner);
    return o.str();
}

/// Reads rows written by FormatRow (for --summarize).
std::vector<Row> ReadRows(const std::string& path) {
    std::ifstream in(path);
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    std::vector<Row> rows;
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::string cur;
        bool quoted = false;
        for (std::size_t i = 0; i < line.size(); ++i) {
            const char c = line[i];
            if (quoted) {
                if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                    cur += '"';
                    ++i;
                } else if (c == '"') {
                    quoted = false;
                } else {
                    cur += c;
                }
            } else if (c == '"') {
                quoted = true;
            } else if (c == ',') {
                f.push_back(cur);
                cur.clear();
            } else {
                cur += c;
            }
        }
        f.push_back(cur);
        if (f.size() < 14) {
            continue;
        }
        Row r;
        r.set = f[0];
        r.name = f[1];
        r.method = f[2];
        r.items = std::stoll(f[3]);
        r.capacity = std::stod(f[4]);
        r.kerf = std::stod(f[5]);
        r.optimum = std::stoll(f[6]);
        r.lower_bound = std::stoll(f[7]);
        r.tubes = std::stoll(f[8]);
        r.seconds = std::stod(f[10]);
        r.check_passed = f[11] == "yes";
        r.status = f[12];
        r.unplaced = std::stoll(f[13]);
        r.check_message = f.size() > 14 ? f[14] : "";
        if (f.size() > 17) {
            r.plan_bound = std::stoll(f[15]);
            r.bound_source = f[16];
            r.proven_optimal = f[17] == "yes";
        }
        r.winner = f.size() > 18 ? f[18] : r.method;
        rows.push_back(r);
    }
    return rows;
}

double Median(std::vector<double> v) {
    if (v.empty()) {
        return 0.0;
    }
    std::sort(v.begin(), v.end());
    const std::size_t m = v.size() / 2;
    return v.size() % 2 == 1 ? v[m] : 0.5 * (v[m - 1] + v[m]);
}

/// One line per set and method (and kerf). Tubes are compared with the optimum only for runs that
/// placed every copy and passed the check: a run stopped with copies left over may use fewer tubes
/// than the optimum, which says nothing about its quality. Such runs are counted as incomplete.
std::string Summary(const std::vector<Row>& rows) {
    struct Key {
        std::string set, method;
        double kerf;
        bool operator<(const Key& o) const {
            return std::tie(set, kerf, method) < std::tie(o.set, o.kerf, o.method);
        }
    };
    std::map<Key, std::vector<const Row*>> groups;
    for (const auto& r : rows) {
        groups[Key{r.set, r.method, r.kerf}].push_back(&r);
    }
    std::ostringstream o;
    o << "| set | kerf | method | instances | at optimum | mean above optimum | max above | median s | max s "
         "| "
         "stopped by limit | incomplete | check failed | unplaced copies | proven optimal | bound = optimum "
         "|\n";
    o << "|---|---:|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n";
    for (const auto& [key, list] : groups) {
        std::int64_t atOpt = 0;
        std::int64_t compared = 0;
        std::int64_t aboveSum = 0;
        std::int64_t aboveMax = 0;
        std::int64_t failed = 0;
        std::int64_t limited = 0;
        std::int64_t incomplete = 0;
        std::int64_t unplaced = 0;
        std::int64_t proven = 0;
        std::int64_t boundAtOptimum = 0;
        std::vector<double> times;
        for (const Row* r : list) {
            const bool complete = r->check_passed && r->unplaced == 0 && r->status != "error";
            if (complete && r->optimum >= 0) {
                ++compared;
                atOpt += r->Above() <= 0 ? 1 : 0;
                aboveSum += r->Above();
                aboveMax = std::max(aboveMax, r->Above());
            }
            incomplete += complete ? 0 : 1;
            failed += r->check_passed ? 0 : 1;
            limited += r->status == "time_limit" ? 1 : 0;
            unplaced += r->unplaced;
            proven += complete && r->proven_optimal ? 1 : 0;
            boundAtOptimum += r->optimum >= 0 && r->plan_bound == r->optimum ? 1 : 0;
            times.push_back(r->seconds);
        }
        // Shares are of all instances of the group: an incomplete run is not at the optimum.
        const auto all = static_cast<double>(list.size());
        const double share = 100.0 * static_cast<double>(atOpt) / all;
        const double mean =
            compared > 0 ? static_cast<double>(aboveSum) / static_cast<double>(compared) : 0.0;
        o << "| " << key.set << " | " << api::FormatLength(key.kerf) << " | " << key.method << " | "
          << list.size() << " | " << std::fixed << std::setprecision(1) << share << " % | "
          << std::setprecision(2) << mean << " | " << aboveMax << " | " << std::setprecision(2)
          << Median(times) << " | " << *std::max_element(times.begin(), times.end()) << " | " << limited
          << " | " << incomplete << " | " << failed << " | " << unplaced << " | " << std::setprecision(1)
          << 100.0 * static_cast<double>(proven) / all << " % | "
          << 100.0 * static_cast<double>(boundAtOptimum) / all << " % |\n";
    }
    return o.str();
}

fs::path DefaultDir() {
#ifdef TUBENEST_SOURCE_DIR
    return fs::path(TUBENEST_SOURCE_DIR) / ".." / "shared" / "bench";
#else
    return fs::path("..") / "shared" / "bench";
#endif
}

int Main(int argc, char** argv) {
    CLI::App app{"instance_runner: nest public cutting-stock instances and compare with the optima"};
    std::string dir = DefaultDir().lexically_normal().string();
    std::string sets;
    std::string instances = ".*";
    std::string methods;
    double timeLimit = 10.0;
    std::uint64_t seed = 1;
    std::int32_t threads = 1;
    double kerf = 0.0;
    std::string out;
    std::string summaryOut;
    std::vector<std::string> summarize;
    app.add_option("--dir", dir, "Instance directory (sets as sub-folders, optima.csv)");
    app.add_option("--sets", sets, "Comma-separated sets (default: every sub-folder)");
    app.add_option("--instances", instances, "Regular expression the instance name must match (whole name)");
    app.add_option("--methods", methods,
                   "Comma-separated methods (default: every registered one); NAME-split allows splitting");
    app.add_option("--time-limit", timeLimit, "Seconds per instance and method (0: none)")
        ->check(CLI::NonNegativeNumber);
    app.add_option("--seed", seed, "Random seed of every run");
    app.add_option("--threads", threads, "Worker threads a method may use")->check(CLI::PositiveNumber);
    app.add_option("--kerf", kerf, "Gap between parts, mm; the optimum is kept (see the source)")
        ->check(CLI::NonNegativeNumber);
    app.add_option("--out", out, "Write one CSV row per instance and method to this file");
    app.add_option("--summary", summaryOut, "Also write the summary table (markdown) to this file");
    app.add_option("--summarize", summarize, "Only print the summary of CSV files written earlier");
    CLI11_PARSE(app, argc, argv);

    if (!summarize.empty()) {
        std::vector<Row> rows;
        for (const auto& path : summarize) {
            const auto part = ReadRows(path);
            rows.insert(rows.end(), part.begin(), part.end());
        }
        std::cout << Summary(rows);
        return 0;
    }

    const fs::path root(dir);
    if (!fs::is_directory(root)) {
        std::cerr << "instance_runner: error: no instance directory " << root << "\n";
        return 2;
    }
    const auto optima = ReadOptima(root / "optima.csv");
    std::vector<std::string> setList = SplitList(sets, ',');
    if (setList.empty()) {
        for (const auto& entry : fs::directory_iterator(root)) {
            if (entry.is_directory()) {
                setList.push_back(entry.path().filename().string());
            }
        }
        std::sort(setList.begin(), setList.end());
    }
    std::vector<std::string> methodList = SplitList(methods, ',');
    if (methodList.empty()) {
        methodList = api::SolveMethodNames();
        // The reference first: every other row of an instance is read against it.
        const auto ffd = std::find(methodList.begin(), methodList.end(), "ffd");
        if (ffd != methodList.end()) {
            std::rotate(methodList.begin(), ffd, ffd + 1);
        }
    }
    for (const auto& m : methodList) {
        const std::string base = m.size() > 6 && m.ends_with("-split") ? m.substr(0, m.size() - 6) : m;
        api::CheckMethodName(base); // throws naming the choices
    }
    const std::regex pattern(instances);

    std::ofstream csv;
    if (!out.empty()) {
        csv.open(out);
        if (!csv) {
            std::cerr << "instance_runner: error: cannot write " << out << "\n";
            return 2;
        }
        csv << kCsvHeader << "\n" << std::flush;
    }

    std::vector<Row> rows;
    std::int64_t skipped = 0;
    for (const auto& set : setList) {
        if (!fs::is_directory(root / set)) {
            std::cerr << "instance_runner: error: no set " << set << " in " << root << "\n";
            return 2;
        }
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(root / set)) {
            if (entry.is_regular_file() && entry.path().extension() == ".txt" &&
                std::regex_match(entry.path().stem().string(), pattern)) {
                files.push_back(entry.path());
            }
        }
        std::sort(files.begin(), files.end());
        for (const auto& file : files) {
            const Instance inst = ReadInstance(file, set);
            const bool statable = std::all_of(inst.items.begin(), inst.items.end(),
                                              [kerf](const auto& item) { return item.first > kerf; });
            if (!statable) {
                ++skipped;
                std::cerr << set << "/" << inst.name << ": skipped (an item is not longer than the kerf)\n";
                continue;
            }
            const auto opt = optima.find(inst.name);
            for (const auto& method : methodList) {
                const bool split = method.size() > 6 && method.ends_with("-split");
                const api::Problem problem = MakeProblem(inst, kerf, split);
                api::SolveOptions options;
                options.method = split ? method.substr(0, method.size() - 6) : method;
                options.time_limit_seconds = timeLimit;
                options.seed = seed;
                options.threads = threads;
                Row row;
                row.set = set;
                row.name = inst.name;
                row.method = method;
                row.items = inst.item_count;
                row.capacity = inst.capacity;
                row.kerf = kerf;
                row.optimum = opt != optima.end() ? opt->second.optimum : -1;
                row.lower_bound =
                    static_cast<std::int64_t>(std::ceil(inst.total_length / inst.capacity - 1e-9));
                try {
                    const api::Plan plan = api::Solve(problem, options);
                    row.tubes = plan.totals.tubes_used;
                    row.seconds = plan.elapsed_seconds;
                    row.winner = plan.winner;
                    row.status = api::PlanStatusName(plan.status);
                    for (const auto& u : plan.unplaced) {
                        row.unplaced += u.count;
                    }
                    row.check_message = CheckPlan(problem, plan);
                    if (plan.lower_bound) {
                        row.plan_bound = plan.lower_bound->tubes;
                        row.bound_source = plan.lower_bound->source;
                        row.proven_optimal = plan.optimal;
                        // A bound is a proof: it may never exceed the known optimum.
                        if (row.check_message.empty() && row.optimum >= 0 && row.plan_bound > row.optimum) {
                            row.check_message = "lower bound " + std::to_string(row.plan_bound) + " (" +
                                                row.bound_source + ") above the optimum";
                        }
                    }
                    row.check_passed = row.check_message.empty();
                } catch (const std::exception& e) {
                    row.status = "error";
                    row.check_message = e.what();
                }
                rows.push_back(row);
                if (csv) {
                    csv << FormatRow(row) << "\n" << std::flush;
                }
                std::cerr << set << "/" << inst.name << " " << method << ": " << row.tubes
                          << " tubes (optimum " << row.optimum << "), " << std::fixed << std::setprecision(2)
                          << row.seconds << " s"
                          << (row.check_passed ? "" : ", CHECK FAILED: " + row.check_message) << "\n";
            }
        }
    }
    const std::string table = Summary(rows);
    std::cout << table;
    if (skipped > 0) {
        std::cout << "\n" << skipped << " instance(s) skipped: an item is not longer than the kerf.\n";
    }
    if (!summaryOut.empty()) {
        std::ofstream md(summaryOut);
        md << table;
    }
    const bool allPassed = std::all_of(rows.begin(), rows.end(), [](const Row& r) { return r.check_passed; });
    return allPassed ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    try {
        return Main(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << "instance_runner: error: " << e.what() << "\n";
        return 2;
    }
}
