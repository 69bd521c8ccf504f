#include "api/problem.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <utility>

namespace tubenest::api {
namespace {

std::string Num(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.10g", v);
    return buf;
}

std::string Quote(const std::string& s) {
    return "\"" + s + "\"";
}

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string s;
    for (const auto& line : lines) {
        if (!s.empty()) {
            s += '\n';
        }
        s += line;
    }
    return s;
}

class FaultCollector {
public:
    void Add(std::string fault) { faults_.push_back(std::move(fault)); }
    std::vector<std::string> Take() { return std::move(faults_); }

    /// value must be finite and > 0.
    void Positive(const std::string& item, const char* field, double v) {
        if (!std::isfinite(v) || v <= 0.0) {
            Add(item + ": " + field + " " + Num(v) + " must be a finite number greater than 0");
        } else {
            Bounded(item, field, v);
        }
    }
    /// value must be finite and >= 0.
    void NonNegative(const std::string& item, const char* field, double v) {
        if (!std::isfinite(v) || v < 0.0) {
            Add(item + ": " + field + " " + Num(v) + " must be a finite number not below 0");
        } else {
            Bounded(item, field, v);
        }
    }
    void Finite(const std::string& item, const char* field, double v) {
        if (!std::isfinite(v)) {
            Add(item + ": " + field + " " + Num(v) + " must be a finite number");
        } else {
            Bounded(item, field, v);
        }
    }
    /// A finite value must not exceed kMaxLength in magnitude: sums of such values stay finite
    /// and exact to the micrometre.
    void Bounded(const std::string& item, const char* field, double v) {
        if (std::fabs(v) > kMaxLength) {
            Add(item + ": " + field + " " + Num(v) + " is out of range (at most " + Num(kMaxLength) +
                " in magnitude)");
        }
    }
    void Amount(const std::string& item, std::int64_t v) {
        if (v < 0) {
            Add(item + ": amount " + std::to_string(v) + " must not be negative");
        } else if (v > kMaxAmount) {
            Add(item + ": amount " + std::to_string(v) + " is too large (at most " +
                std::to_string(kMaxAmount) + ")");
        }
    }

private:
    std::vector<std::string> faults_;
};

std::string PartItem(std::size_t i, const PartSpec& p) {
    return p.id.empty() ? "parts[" + std::to_string(i) + "]" : "part " + Quote(p.id);
}

// A placement "a then b" by signed 1-based references; the mirror (-b, -a) shares its record.
std::pair<int, int> CanonicalPlacement(int a, int b) {
    const std::pair<int, int> p{a, b};
    const std::pair<int, int> m{-b, -a};
    return p < m ? p : m;
}

void CheckParts(const Problem& problem, FaultCollector& out) {
    std::set<std::string> endTypes;
    for (const auto& e : problem.gaps.end_types) {
        endTypes.insert(e.name);
    }
    std::map<std::string, std::size_t> ids;
    std::int64_t totalCopies = 0;
    for (std::size_t i = 0; i < problem.parts.size(); ++i) {
        const PartSpec& p = problem.parts[i];
        const std::string item = PartItem(i, p);
        if (p.id.empty()) {
            out.Add(item + ": id is empty");
        } else if (auto [it, fresh] = ids.emplace(p.id, i); !fresh) {
            out.Add(item + " (parts[" + std::to_string(i) + "]): id " + Quote(p.id) +
                    " is already used by parts[" + std::to_string(it->second) + "]");
        }
        out.Positive(item, "length", p.length);
        if (p.real_length) {
            out.Positive(item, "real_length", *p.real_length);
        }
        out.NonNegative(item, "cutoff_a", p.cutoff_a);
        out.NonNegative(item, "cutoff_b", p.cutoff_b);
        if (std::isfinite(p.length) && p.length > 0.0 && p.cutoff_a >= 0 && p.cutoff_b >= 0 &&
            p.cutoff_a + p.cutoff_b > p.length) {
            out.Add(item + ": cut-offs " + Num(p.cutoff_a) + " + " + Num(p.cutoff_b) + " exceed the length " +
                    Num(p.length));
        }
        out.Amount(item, p.amount);
        if (p.amount > 0 && p.amount <= kMaxAmount) {
            totalCopies += p.amount;
        }
        for (const auto& [field, type] : {std::pair{"end_a", &p.end_a}, std::pair{"end_b", &p.end_b}}) {
            if (!type->empty() && endTypes.count(*type) == 0) {
                out.Add(item + ": " + field + " type " + Quote(*type) + " is not defined in gaps.end_types");
            }
        }
        if (p.separable) {
            for (const Interval& s : *p.separable) {
                const std::string stretch = "separable stretch [" + Num(s.start) + ", " + Num(s.end) + "]";
                if (!std::isfinite(s.start) || !std::isfinite(s.end)) {
                    out.Add(item + ": " + stretch + " must have finite ends");
                } else if (s.start > s.end) {
                    out.Add(item + ": " + stretch + " has its start after its end");
                } else if (s.start < 0.0 || (std::isfinite(p.length) && s.end > p.length)) {
                    out.Add(item + ": " + stretch + " lies outside the part (0 to " + Num(p.length) + ")");
                }
            }
        }
    }
    if (totalCopies > kMaxTotalCopies) {
        out.Add("parts: total amount " + std::to_string(totalCopies) + " is too large (at most " +
                std::to_string(kMaxTotalCopies) + " copies)");
    }
}

// ---- Stock settings and trims ----------------------------------------------------------------

void CheckStockSettings(const StockSettings& settings, FaultCollector& out) {
    const std::string item = "stock_settings";
    out.NonNegative(item, "trim_start", settings.trim_start);
    out.NonNegative(item, "trim_end", settings.trim_end);
    if (settings.min_usable_remnant) {
        out.NonNegative(item, "min_usable_remnant", *settings.min_usable_remnant);
    }
}

/// An entry's own trims must be valid lengths, and its trims together must leave some length.
void CheckTrims(const Problem& problem, const StockSpec& s, const std::string& item, FaultCollector& out) {
    if (s.trim_start) {
        out.NonNegative(item, "trim_start", *s.trim_start);
    }
    if (s.trim_end) {
        out.NonNegative(item, "trim_end", *s.trim_end);
    }
    const double start = EffectiveTrimStart(problem, s);
    const double end = EffectiveTrimEnd(problem, s);
    const bool valid = std::isfinite(s.length) && s.length > 0.0 && std::isfinite(start) && start >= 0.0 &&
                       std::isfinite(end) && end >= 0.0;
    if (valid && start + end >= s.length) {
        out.Add(item + ": trims " + Num(start) + " + " + Num(end) + " leave nothing of the length " +
                Num(s.length));
    }
}

void CheckStock(const Problem& problem, FaultCollector& out) {
    std::map<std::string, std::size_t> ids;
    std::int64_t total = 0;
    for (std::size_t i = 0; i < problem.stock.size(); ++i) {
        const StockSpec& s = problem.stock[i];
        const std::string id = EffectiveStockId(s, i);
        const std::string item = "stock " + Quote(id);
        if (auto [it, fresh] = ids.emplace(id, i); !fresh) {
            out.Add(item + " (stock[" + std::to_string(i) + "]): id " + Quote(id) +
                    " is already used by stock[" + std::to_string(it->second) + "]");
        }
        out.Positive(item, "length", s.length);
        out.Amount(item, s.amount);
        if (s.amount > 0 && s.amount <= kMaxAmount) {
            total += s.amount;
        }
        CheckTrims(problem, s, item, out);
    }
    if (total > kMaxAmount) {
        out.Add("stock: total amount " + std::to_string(total) + " is too large (at most " +
                std::to_string(kMaxAmount) + " tubes)");
    }
}

// ---- How far neighbours may overlap -----------------------------------------------------------
//
// A negative gap lets two neighbours overlap in length, which is sound only where both facing ends
// are cut away anyway (mitres that nest into each other). So a gap may not be below minus the
// smaller cut-off of the two facing ends; without cut-offs no gap may be negative. This also keeps
// every position in a plan at or after the previous part's start, never below 0.

/// The smallest cut-off of any part end of one end type, and where it is.
struct EndCutoff {
    double cutoff = 0.0;
    std::string where;
};

/// Cut-off of the end of part p that faces its successor (trailing) or predecessor (leading).
double FacingCutoff(const PartSpec& p, bool trailing, bool turned) {
    return trailing != turned ? p.cutoff_b : p.cutoff_a;
}

std::string CutoffText(double allowed, const std::string& where) {
    return "the neighbours may overlap only by the smaller cut-off of their facing ends (" + where + ": " +
           Num(allowed) + ")";
}

void CheckOverlaps(const Problem& problem, FaultCollector& out) {
    std::map<std::string, EndCutoff> smallest;
    std::map<std::string, std::size_t> index;
    for (std::size_t i = 0; i < problem.parts.size(); ++i) {
        const PartSpec& p = problem.parts[i];
        index.emplace(p.id, i);
        for (const auto& [type, cutoff, field] :
             {std::tuple{&p.end_a, p.cutoff_a, "cutoff_a"}, std::tuple{&p.end_b, p.cutoff_b, "cutoff_b"}}) {
            if (type->empty() || !std::isfinite(cutoff) || cutoff < 0.0) {
                continue;
            }
            auto [it, fresh] = smallest.emplace(*type, EndCutoff{cutoff, ""});
            if (fresh || cutoff < it->second.cutoff) {
                it->second = EndCutoff{cutoff, std::string(field) + " of part " + Quote(p.id)};
            }
        }
    }
    const GapModel& g = problem.gaps;
    for (std::size_t i = 0; i < g.end_pairs.size(); ++i) {
        const EndPairRule& r = g.end_pairs[i];
        const auto a = smallest.find(r.first);
        const auto b = smallest.find(r.second);
        if (a == smallest.end() || b == smallest.end() || !std::isfinite(r.gap)) {
            continue; // no part has both ends: the rule never applies
        }
        const EndCutoff& least = a->second.cutoff <= b->second.cutoff ? a->second : b->second;
        if (r.gap < -least.cutoff) {
            out.Add("gaps.end_pairs[" + std::to_string(i) + "] (" + r.first + " / " + r.second + "): gap " +
                    Num(r.gap) + " is below " + Num(-least.cutoff + 0.0) + ": " +
                    CutoffText(least.cutoff, least.where));
        }
    }
    for (std::size_t i = 0; i < g.pairs.size(); ++i) {
        const PairGap& r = g.pairs[i];
        const auto a = index.find(r.first);
        const auto b = index.find(r.second);
        if (a == index.end() || b == index.end()) {
            continue;
        }
        const PartSpec& p = problem.parts[a->second];
        const PartSpec& q = problem.parts[b->second];
        const double cp = FacingCutoff(p, true, r.first_turned);
        const double cq = FacingCutoff(q, false, r.second_turned);
        const double allowed = std::min(cp, cq);
        const std::string where = std::string(cp <= cq ? (r.first_turned ? "cutoff_a" : "cutoff_b")
                                                       : (r.second_turned ? "cutoff_b" : "cutoff_a")) +
                                  " of part " + Quote(cp <= cq ? p.id : q.id);
        const std::string item = "gaps.pairs[" + std::to_string(i) + "]";
        for (const auto& [field, value] :
             {std::pair{"gap", r.gap}, std::pair{"z_gap", r.z_gap.value_or(0.0)}}) {
            if (std::isfinite(allowed) && std::isfinite(value) && value < -allowed) {
                out.Add(item + " (" + r.first + " then " + r.second + "): " + field + " " + Num(value) +
                        " is below " + Num(-allowed + 0.0) + ": " + CutoffText(allowed, where));
            }
        }
    }
}

void CheckGaps(const Problem& problem, FaultCollector& out) {
    const GapModel& g = problem.gaps;
    out.NonNegative("gaps", "kerf", g.kerf);
    std::set<std::string> types;
    for (std::size_t i = 0; i < g.end_types.size(); ++i) {
        const EndType& e = g.end_types[i];
        const std::string item = "end type " + Quote(e.name);
        if (e.name.empty()) {
            out.Add("gaps.end_types[" + std::to_string(i) + "]: name is empty");
        } else if (!types.insert(e.name).second) {
            out.Add(item + ": defined twice");
        }
        out.NonNegative(item, "clearance", e.clearance);
    }
    std::set<std::pair<std::string, std::string>> endPairs;
    for (std::size_t i = 0; i < g.end_pairs.size(); ++i) {
        const EndPairRule& r = g.end_pairs[i];
        const std::string item =
            "gaps.end_pairs[" + std::to_string(i) + "] (" + r.first + " / " + r.second + ")";
        for (const auto* t : {&r.first, &r.second}) {
            if (types.count(*t) == 0) {
                out.Add(item + ": end type " + Quote(*t) + " is not defined in gaps.end_types");
            }
        }
        const auto key = r.first < r.second ? std::pair{r.first, r.second} : std::pair{r.second, r.first};
        if (!endPairs.insert(key).second) {
            out.Add(item + ": the pair of end types is given twice");
        }
        out.Finite(item, "gap", r.gap);
        out.Finite(item, "common_length", r.common_length);
        out.Finite(item, "land_common_length", r.land_common_length);
    }
    std::map<std::string, int> partRef;
    for (std::size_t i = 0; i < problem.parts.size(); ++i) {
        partRef.emplace(problem.parts[i].id, static_cast<int>(i) + 1);
    }
    std::map<std::pair<int, int>, std::size_t> placements;
    for (std::size_t i = 0; i < g.pairs.size(); ++i) {
        const PairGap& r = g.pairs[i];
        const std::string item = "gaps.pairs[" + std::to_string(i) + "] (" + r.first +
                                 (r.first_turned ? " turned" : "") + " then " + r.second +
                                 (r.second_turned ? " turned" : "") + ")";
        const auto a = partRef.find(r.first);
        const auto b = partRef.find(r.second);
        if (a == partRef.end()) {
            out.Add(item + ": part " + Quote(r.first) + " does not exist");
        }
        if (b == partRef.end()) {
            out.Add(item + ": part " + Quote(r.second) + " does not exist");
        }
        if (a != partRef.end() && b != partRef.end()) {
            const auto key = CanonicalPlacement(r.first_turned ? -a->second : a->second,
                                                r.second_turned ? -b->second : b->second);
            if (auto [it, fresh] = placements.emplace(key, i); !fresh) {
                out.Add(item + ": this placement or its mirror image is already given by gaps.pairs[" +
                        std::to_string(it->second) + "]");
            }
        }
        out.Finite(item, "gap", r.gap);
        if (r.z_gap) {
            out.Finite(item, "z_gap", *r.z_gap);
        }
        out.Finite(item, "common_length", r.common_length);
        out.Finite(item, "land_common_length", r.land_common_length);
        out.Finite(item, "rotation", r.rotation);
    }
    CheckOverlaps(problem, out);
}

void CheckParameters(const NestingParameters& p, FaultCollector& out) {
    const std::string item = "parameters";
    if (p.default_part_gap) {
        out.NonNegative(item, "default_part_gap", *p.default_part_gap);
    }
    out.NonNegative(item, "target_lost_rate", p.target_lost_rate);
    const int shape = static_cast<int>(p.cut_shape);
    if (shape < 0 || shape > 2) {
        out.Add(item + ": cut_shape " + std::to_string(shape) + " is not one of straight, z, bevel");
    }
    out.NonNegative(item, "z_shape_length", p.z_shape_length);
    out.NonNegative(item, "z_shape_offset", p.z_shape_offset);
    out.NonNegative(item, "bevel_length", p.bevel_length);
    out.Finite(item, "dis", p.dis);
    out.NonNegative(item, "split_margin", p.split_margin);
    // Splitting policy.
    const int splitting = static_cast<int>(p.splitting);
    if (splitting < 0 || splitting > 2) {
        out.Add(item + ": splitting " + std::to_string(splitting) + " is not one of never, auto, free");
    }
    out.NonNegative(item, "min_piece_length", p.min_piece_length);
}

void CheckTail(const Problem& problem, FaultCollector& out) {
    if (!problem.tail) {
        return;
    }
    const TailRules& t = *problem.tail;
    const std::string item = "tail";
    out.NonNegative(item, "min_length", t.min_length);
    out.NonNegative(item, "max_length", t.max_length);
    out.NonNegative(item, "tail_length", t.tail_length);
    if (t.max_length < t.min_length) {
        out.Add(item + ": max_length " + FormatLength(t.max_length) + " is below min_length " +
                FormatLength(t.min_length));
    }
    const int mode = static_cast<int>(t.mode);
    if (mode != 1 && mode != 2) {
        out.Add(item + ": mode " + std::to_string(mode) + " is not one of reserve, last");
    }
    const int strategy = static_cast<int>(t.strategy);
    if (strategy != 0 && strategy != 1) {
        out.Add(item + ": strategy " + std::to_string(strategy) + " is not one of economical, strict");
    }
}

} // namespace

ProblemError::ProblemError(std::vector<std::string> faults)
    : std::invalid_argument(JoinLines(faults)), faults_(std::move(faults)) {}

std::vector<std::string> FindProblemFaults(const Problem& problem) {
    FaultCollector out;
    if (problem.parts.empty()) {
        out.Add("parts: the list is empty");
    }
    if (problem.stock.empty()) {
        out.Add("stock: the list is empty");
    }
    if (problem.parts.size() > kMaxPartKinds) {
        out.Add("parts: " + std::to_string(problem.parts.size()) + " part kinds are too many (at most " +
                std::to_string(kMaxPartKinds) + ")");
    }
    CheckParts(problem, out);
    CheckStock(problem, out);
    CheckStockSettings(problem.stock_settings, out);
    CheckGaps(problem, out);
    CheckParameters(problem.parameters, out);
    CheckTail(problem, out);
    return out.Take();
}

void ValidateProblem(const Problem& problem) {
    auto faults = FindProblemFaults(problem);
    if (!faults.empty()) {
        throw ProblemError(std::move(faults));
    }
}

std::vector<Interval> EffectiveSeparable(const PartSpec& part, const NestingParameters& parameters) {
    if (part.separable) {
        return *part.separable;
    }
    const double margin = parameters.split_margin;
    if (part.length > 2.0 * margin) {
        return {Interval{margin, part.length - margin}};
    }
    return {};
}

std::vector<Interval> EngineSeparable(const PartSpec& part, const NestingParameters& parameters) {
    if (parameters.splitting == Splitting::Never) {
        return {};
    }
    // The engine may place a cut up to a micrometre outside its stretch: keep a millimetre's
    // thousandth in hand so that no piece comes out shorter than asked.
    const double inHand = parameters.min_piece_length > 0.0 ? 0.001 : 0.0;
    const double low = parameters.min_piece_length + inHand;
    const double high = part.length - parameters.min_piece_length - inHand;
    std::vector<Interval> out;
    for (const Interval& s : EffectiveSeparable(part, parameters)) {
        const Interval clipped{std::max(s.start, low), std::min(s.end, high)};
        if (clipped.start <= clipped.end) {
            out.push_back(clipped);
        }
    }
    return out;
}

std::string EffectiveStockId(const StockSpec& stock, std::size_t index) {
    return stock.id.empty() ? "S" + std::to_string(index + 1) : stock.id;
}

double EffectiveTrimStart(const Problem& problem, const StockSpec& stock) {
    return stock.trim_start.value_or(problem.stock_settings.trim_start);
}

double EffectiveTrimEnd(const Problem& problem, const StockSpec& stock) {
    return stock.trim_end.value_or(problem.stock_settings.trim_end);
}

double UsableLength(const Problem& problem, const StockSpec& stock) {
    return stock.length - EffectiveTrimStart(problem, stock) - EffectiveTrimEnd(problem, stock);
}

const char* CutShapeName(CutShape shape) {
    switch (shape) {
    case CutShape::Straight:
        return "straight";
    case CutShape::ZShape:
        return "z";
    case CutShape::Bevel:
        return "bevel";
    }
    return "unknown";
}

const char* SplittingName(Splitting splitting) {
    switch (splitting) {
    case Splitting::Never:
        return "never";
    case Splitting::Auto:
        return "auto";
    case Splitting::Free:
        return "free";
    }
    return "unknown";
}

const char* TailModeName(TailMode mode) {
    return mode == TailMode::Last ? "last" : (mode == TailMode::Reserve ? "reserve" : "unknown");
}

std::optional<TailMode> ParseTailMode(const std::string& name) {
    if (name == "reserve") {
        return TailMode::Reserve;
    }
    if (name == "last") {
        return TailMode::Last;
    }
    return std::nullopt;
}

const char* TailStrategyName(TailStrategy strategy) {
    return strategy == TailStrategy::Economical ? "economical"
                                                : (strategy == TailStrategy::Strict ? "strict" : "unknown");
}

std::optional<TailStrategy> ParseTailStrategy(const std::string& name) {
    if (name == "economical") {
        return TailStrategy::Economical;
    }
    if (name == "strict") {
        return TailStrategy::Strict;
    }
    return std::nullopt;
}

std::optional<Splitting> ParseSplitting(const std::string& name) {
    if (name == "never") {
        return Splitting::Never;
    }
    if (name == "auto") {
        return Splitting::Auto;
    }
    if (name == "free") {
        return Splitting::Free;
    }
    return std::nullopt;
}

std::optional<CutShape> ParseCutShape(const std::string& name) {
    if (name == "straight") {
        return CutShape::Straight;
    }
    if (name == "z") {
        return CutShape::ZShape;
    }
    if (name == "bevel") {
        return CutShape::Bevel;
    }
    return std::nullopt;
}

std::string FormatLength(double mm) {
    if (!std::isfinite(mm)) {
        return Num(mm);
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.3f", mm);
    std::string s = buf;
    while (!s.empty() && s.back() == '0') {
        s.pop_back();
    }
    if (!s.empty() && s.back() == '.') {
        s.pop_back();
    }
    if (s == "-0") {
        s = "0";
    }
    return s;
}

} // namespace tubenest::api
