#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <utility>

#include "api/problem_io.h"

namespace tubenest::api {
namespace {

// Ordered, so that lists written as objects (end types) keep the order of the file.
using json = nlohmann::ordered_json;
using ojson = nlohmann::ordered_json;

/// A short text for a JSON value in messages (containers are named, not dumped).
std::string Describe(const json& v) {
    if (v.is_object()) {
        return "an object";
    }
    if (v.is_array()) {
        return "an array";
    }
    std::string s = v.dump(-1, ' ', false, json::error_handler_t::replace);
    if (s.size() > 40) {
        s = s.substr(0, 37) + "...";
    }
    return s;
}

/// Reads typed fields and collects every fault with its JSON path.
class Reader {
public:
    explicit Reader(std::string source) : source_(std::move(source)) {}

    void Fault(const std::string& path, const std::string& message) {
        faults_.push_back(path + ": " + message);
    }
    std::vector<std::string> Take() { return std::move(faults_); }

    bool IsObject(const json& v, const std::string& path) {
        if (!v.is_object()) {
            Fault(path, "expected an object, got " + Describe(v));
            return false;
        }
        return true;
    }
    bool IsArray(const json& v, const std::string& path) {
        if (!v.is_array()) {
            Fault(path, "expected an array, got " + Describe(v));
            return false;
        }
        return true;
    }

    /// Faults every key of an object that is not among the known ones.
    void KnownKeys(const json& obj, const std::string& path, std::initializer_list<const char*> keys) {
        const std::set<std::string> known(keys.begin(), keys.end());
        for (const auto& [key, value] : obj.items()) {
            if (known.count(key) == 0) {
                Fault(path, "unknown field \"" + key + "\"");
            }
        }
    }

    const json* Field(const json& obj, const char* key, const std::string& path, bool required) {
        auto it = obj.find(key);
        if (it == obj.end()) {
            if (required) {
                Fault(path, "missing field \"" + std::string(key) + "\"");
            }
            return nullptr;
        }
        return &*it;
    }

    void Number(const json& obj, const char* key, const std::string& path, bool required, double& out) {
        if (const json* v = Field(obj, key, path, required)) {
            if (v->is_number()) {
                out = v->get<double>();
            } else {
                Fault(path + "." + key, "expected a number, got " + Describe(*v));
            }
        }
    }
    void Number(const json& obj, const char* key, const std::string& path, std::optional<double>& out) {
        if (Field(obj, key, path, false) != nullptr) {
            double v = 0.0;
            Number(obj, key, path, false, v);
            out = v;
        }
    }
    void Bool(const json& obj, const char* key, const std::string& path, bool& out) {
        if (const json* v = Field(obj, key, path, false)) {
            if (v->is_boolean()) {
                out = v->get<bool>();
            } else {
                Fault(path + "." + key, "expected true or false, got " + Describe(*v));
            }
        }
    }
    void String(const json& obj, const char* key, const std::string& path, bool required, std::string& out) {
        if (const json* v = Field(obj, key, path, required)) {
            if (v->is_string()) {
                out = v->get<std::string>();
            } else {
                Fault(path + "." + key, "expected a string, got " + Describe(*v));
            }
        }
    }
    /// A string, or a whole number written as a string (ids like 17 are common).
    void Id(const json& obj, const char* key, const std::string& path, bool required, std::string& out) {
        const json* v = Field(obj, key, path, required);
        if (v != nullptr && (v->is_number_integer())) {
            out = v->dump();
        } else if (v != nullptr) {
            String(obj, key, path, required, out);
        }
    }
    /// A whole number that fits 64 bits; the range of counts is checked by validation.
    void Integer(const json& obj, const char* key, const std::string& path, bool required,
                 std::int64_t& out) {
        const json* v = Field(obj, key, path, required);
        if (v == nullptr) {
            return;
        }
        const std::string where = path + "." + key;
        if (v->is_number_unsigned()) {
            const auto u = v->get<std::uint64_t>();
            if (u > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
                Fault(where, Describe(*v) + " is too large");
            } else {
                out = static_cast<std::int64_t>(u);
            }
        } else if (v->is_number_integer()) {
            out = v->get<std::int64_t>();
        } else if (v->is_number_float()) {
            const double d = v->get<double>();
            if (!std::isfinite(d) || d != std::floor(d)) {
                Fault(where, Describe(*v) + " is not a whole number");
            } else if (std::fabs(d) > 9.0e18) {
                Fault(where, Describe(*v) + " is too large");
            } else {
                out = static_cast<std::int64_t>(d);
            }
        } else {
            Fault(where, "expected a whole number, got " + Describe(*v));
        }
    }
    void Int32(const json& obj, const char* key, const std::string& path, std::int32_t& out) {
        std::int64_t v = out;
        Integer(obj, key, path, false, v);
        if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max()) {
            Fault(path + "." + key, std::to_string(v) + " is outside the 32-bit range");
        } else {
            out = static_cast<std::int32_t>(v);
        }
    }

    const std::string& source() const { return source_; }

private:
    std::string source_;
    std::vector<std::string> faults_;
};

std::string At(const std::string& path, std::size_t i) {
    return path + "[" + std::to_string(i) + "]";
}

void ReadParts(Reader& r, const json& arr, Problem& problem) {
    if (!r.IsArray(arr, "parts")) {
        return;
    }
    for (std::size_t i = 0; i < arr.size(); ++i) {
        const json& o = arr[i];
        const std::string path = At("parts", i);
        if (!r.IsObject(o, path)) {
            continue;
        }
        r.KnownKeys(o, path,
                    {"id", "name", "length", "real_length", "cutoff_a", "cutoff_b", "amount", "end_a",
                     "end_b", "separable"});
        PartSpec p;
        r.Id(o, "id", path, true, p.id);
        r.String(o, "name", path, false, p.name);
        r.Number(o, "length", path, true, p.length);
        r.Number(o, "real_length", path, p.real_length);
        r.Number(o, "cutoff_a", path, false, p.cutoff_a);
        r.Number(o, "cutoff_b", path, false, p.cutoff_b);
        r.Integer(o, "amount", path, true, p.amount);
        r.String(o, "end_a", path, false, p.end_a);
        r.String(o, "end_b", path, false, p.end_b);
        if (const json* s = r.Field(o, "separable", path, false)) {
            const std::string spath = path + ".separable";
            if (r.IsArray(*s, spath)) {
                std::vector<Interval> stretches;
                for (std::size_t k = 0; k < s->size(); ++k) {
                    const json& iv = (*s)[k];
                    if (iv.is_array() && iv.size() == 2 && iv[0].is_number() && iv[1].is_number()) {
                        stretches.push_back(Interval{iv[0].get<double>(), iv[1].get<double>()});
                    } else {
                        r.Fault(At(spath, k), "expected [start, end] with two numbers, got " + Describe(iv));
                    }
                }
                p.separable = std::move(stretches);
            }
        }
        problem.parts.push_back(std::move(p));
    }
}

void ReadStock(Reader& r, const json& arr, Problem& problem) {
    if (!r.IsArray(arr, "stock")) {
        return;
    }
    for (std::size_t i = 0; i < arr.size(); ++i) {
        const json& o = arr[i];
        const std::string path = At("stock", i);
        if (!r.IsObject(o, path)) {
            continue;
        }
        r.KnownKeys(o, path, {"id", "length", "amount", "remnant", "trim_start", "trim_end"});
        StockSpec s;
        r.Id(o, "id", path, false, s.id);
        r.Number(o, "length", path, true, s.length);
        r.Integer(o, "amount", path, true, s.amount);
        r.Bool(o, "remnant", path, s.remnant);
        r.Number(o, "trim_start", path, s.trim_start);
        r.Number(o, "trim_end", path, s.trim_end);
        problem.stock.push_back(std::move(s));
    }
}

void ReadCommon(Reader& r, const json& o, const std::string& path, bool& common_cut, double& common_length,
                double& land_common_length, std::int32_t& common_style) {
    r.Bool(o, "common_cut", path, common_cut);
    r.Number(o, "common_length", path, false, common_length);
    r.Number(o, "land_common_length", path, false, land_common_length);
    r.Int32(o, "common_style", path, common_style);
}

void ReadGaps(Reader& r, const json& o, Problem& problem) {
    if (!r.IsObject(o, "gaps")) {
        return;
    }
    GapModel& g = problem.gaps;
    r.KnownKeys(o, "gaps", {"kerf", "end_types", "end_pairs", "pairs"});
    r.Number(o, "kerf", "gaps", false, g.kerf);
    if (const json* types = r.Field(o, "end_types", "gaps", false);
        types != nullptr && r.IsObject(*types, "gaps.end_types")) {
        for (const auto& [name, value] : types->items()) {
            const std::string path = "gaps.end_types." + name;
            EndType e;
            e.name = name;
            if (r.IsObject(value, path)) {
                r.KnownKeys(value, path, {"clearance"});
                r.Number(value, "clearance", path, true, e.clearance);
            }
            g.end_types.push_back(std::move(e));
        }
    }
    if (const json* pairs = r.Field(o, "end_pairs", "gaps", false);
        pairs != nullptr && r.IsArray(*pairs, "gaps.end_pairs")) {
        for (std::size_t i = 0; i < pairs->size(); ++i) {
            const json& e = (*pairs)[i];
            const std::string path = At("gaps.end_pairs", i);
            if (!r.IsObject(e, path)) {
                continue;
            }
            r.KnownKeys(e, path,
                        {"ends", "gap", "common_cut", "common_length", "land_common_length", "common_style"});
            EndPairRule rule;
            if (const json* ends = r.Field(e, "ends", path, true)) {
                if (ends->is_array() && ends->size() == 2 && (*ends)[0].is_string() &&
                    (*ends)[1].is_string()) {
                    rule.first = (*ends)[0].get<std::string>();
                    rule.second = (*ends)[1].get<std::string>();
                } else {
                    r.Fault(path + ".ends", "expected two end type names, got " + Describe(*ends));
                }
            }
            r.Number(e, "gap", path, true, rule.gap);
            ReadCommon(r, e, path, rule.common_cut, rule.common_length, rule.land_common_length,
                       rule.common_style);
            g.end_pairs.push_back(std::move(rule));
        }
    }
    if (const json* pairs = r.Field(o, "pairs", "gaps", false);
        pairs != nullptr && r.IsArray(*pairs, "gaps.pairs")) {
        for (std::size_t i = 0; i < pairs->size(); ++i) {
            const json& e = (*pairs)[i];
            const std::string path = At("gaps.pairs", i);
            if (!r.IsObject(e, path)) {
                continue;
            }
            r.KnownKeys(e, path,
                        {"first", "second", "first_turned", "second_turned", "gap", "z_gap", "common_cut",
                         "common_length", "land_common_length", "rotation", "common_style"});
            PairGap pg;
            r.Id(e, "first", path, true, pg.first);
            r.Id(e, "second", path, true, pg.second);
            r.Bool(e, "first_turned", path, pg.first_turned);
            r.Bool(e, "second_turned", path, pg.second_turned);
            r.Number(e, "gap", path, true, pg.gap);
            r.Number(e, "z_gap", path, pg.z_gap);
            r.Number(e, "rotation", path, false, pg.rotation);
            ReadCommon(r, e, path, pg.common_cut, pg.common_length, pg.land_common_length, pg.common_style);
            g.pairs.push_back(std::move(pg));
        }
    }
}

void ReadParameters(Reader& r, const json& o, Problem& problem) {
    const std::string path = "parameters";
    if (!r.IsObject(o, path)) {
        return;
    }
    NestingParameters& p = problem.parameters;
    r.KnownKeys(o, path,
                {"default_part_gap", "disable_reverse", "target_lost_rate", "cut_shape", "z_shape_length",
                 "z_shape_offset", "bevel_length", "dis_allowance", "dis", "coedge_flag0", "coedge_flag2",
                 "split_margin", "splitting", "min_piece_length"});
    r.Number(o, "default_part_gap", path, p.default_part_gap);
    r.Bool(o, "disable_reverse", path, p.disable_reverse);
    r.Number(o, "target_lost_rate", path, false, p.target_lost_rate);
    std::string shape;
    r.String(o, "cut_shape", path, false, shape);
    if (!shape.empty()) {
        if (auto s = ParseCutShape(shape)) {
            p.cut_shape = *s;
        } else {
            r.Fault(path + ".cut_shape", "\"" + shape + "\" is not one of \"straight\", \"z\", \"bevel\"");
        }
    }
    r.Number(o, "z_shape_length", path, false, p.z_shape_length);
    r.Number(o, "z_shape_offset", path, false, p.z_shape_offset);
    r.Number(o, "bevel_length", path, false, p.bevel_length);
    r.Bool(o, "dis_allowance", path, p.dis_allowance);
    r.Number(o, "dis", path, false, p.dis);
    r.Bool(o, "coedge_flag0", path, p.coedge_flag0);
    r.Bool(o, "coedge_flag2", path, p.coedge_flag2);
    r.Number(o, "split_margin", path, false, p.split_margin);
    // Splitting policy.
    std::string splitting;
    r.String(o, "splitting", path, false, splitting);
    if (!splitting.empty()) {
        if (auto s = ParseSplitting(splitting)) {
            p.splitting = *s;
        } else {
            r.Fault(path + ".splitting", "\"" + splitting + "\" is not one of \"never\", \"auto\", \"free\"");
        }
    }
    r.Number(o, "min_piece_length", path, false, p.min_piece_length);
}

void ReadTail(Reader& r, const json& o, Problem& problem) {
    const std::string path = "tail";
    if (!r.IsObject(o, path)) {
        return;
    }
    r.KnownKeys(o, path, {"min_length", "max_length", "tail_length", "mode", "strategy"});
    TailRules t;
    r.Number(o, "min_length", path, true, t.min_length);
    r.Number(o, "max_length", path, true, t.max_length);
    r.Number(o, "tail_length", path, false, t.tail_length);
    std::string mode;
    r.String(o, "mode", path, false, mode);
    if (!mode.empty()) {
        if (auto m = ParseTailMode(mode)) {
            t.mode = *m;
        } else {
            r.Fault(path + ".mode", "\"" + mode + "\" is not one of \"reserve\", \"last\"");
        }
    }
    std::string strategy;
    r.String(o, "strategy", path, false, strategy);
    if (!strategy.empty()) {
        if (auto st = ParseTailStrategy(strategy)) {
            t.strategy = *st;
        } else {
            r.Fault(path + ".strategy", "\"" + strategy + "\" is not one of \"economical\", \"strict\"");
        }
    }
    problem.tail = t;
}

void ReadStockSettings(Reader& r, const json& o, Problem& problem) {
    const std::string path = "stock_settings";
    if (!r.IsObject(o, path)) {
        return;
    }
    StockSettings& s = problem.stock_settings;
    r.KnownKeys(o, path, {"trim_start", "trim_end", "min_usable_remnant"});
    r.Number(o, "trim_start", path, false, s.trim_start);
    r.Number(o, "trim_end", path, false, s.trim_end);
    r.Number(o, "min_usable_remnant", path, s.min_usable_remnant);
}

/// Parses JSON and refuses keys given twice in one object (the parser would keep the last one
/// silently); each duplicate is named with its path.
json ParseRefusingDuplicateKeys(std::string_view text, std::vector<std::string>& duplicates) {
    struct Frame {
        bool object = false;
        std::set<std::string> keys;
        std::string key;
        std::size_t index = 0;
    };
    std::vector<Frame> stack;
    auto pathOf = [&stack] { // the object or array that is being read
        std::string path = "document";
        for (std::size_t k = 0; k + 1 < stack.size(); ++k) {
            path += stack[k].object ? "." + stack[k].key : "[" + std::to_string(stack[k].index) + "]";
        }
        return path;
    };
    auto endOfValue = [&stack] {
        if (!stack.empty() && !stack.back().object) {
            ++stack.back().index;
        }
    };
    json::parser_callback_t callback = [&](int /*depth*/, json::parse_event_t event, json& parsed) {
        switch (event) {
        case json::parse_event_t::object_start:
        case json::parse_event_t::array_start:
            stack.push_back(Frame{event == json::parse_event_t::object_start, {}, {}, 0});
            break;
        case json::parse_event_t::key:
            if (!stack.empty()) {
                Frame& f = stack.back();
                f.key = parsed.get<std::string>();
                if (!f.keys.insert(f.key).second) {
                    duplicates.push_back(pathOf() + ": the key \"" + f.key + "\" is given twice");
                }
            }
            break;
        case json::parse_event_t::object_end:
        case json::parse_event_t::array_end:
            if (!stack.empty()) {
                stack.pop_back();
            }
            endOfValue();
            break;
        case json::parse_event_t::value:
            endOfValue();
            break;
        }
        return true;
    };
    return json::parse(text.begin(), text.end(), callback, true, /*ignore_comments=*/true);
}

std::vector<std::string> Prefixed(const std::string& source, std::vector<std::string> faults) {
    for (auto& f : faults) {
        f = source + ": " + f;
    }
    return faults;
}

ojson CommonJson(bool common_cut, double common_length, double land_common_length,
                 std::int32_t common_style) {
    return ojson{{"common_cut", common_cut},
                 {"common_length", common_length},
                 {"land_common_length", land_common_length},
                 {"common_style", common_style}};
}

} // namespace

Problem ParseProblemJson(std::string_view text, const std::string& source) {
    json doc;
    std::vector<std::string> duplicates;
    try {
        doc = ParseRefusingDuplicateKeys(text, duplicates);
    } catch (const json::exception& e) { // syntax errors, and numbers beyond the range of a double
        std::string what = e.what();
        if (const auto cut = what.find("] ");
            what.rfind("[json.exception", 0) == 0 && cut != std::string::npos) {
            what = what.substr(cut + 2);
        }
        throw ProblemError({source + ": not valid JSON: " + what});
    }
    if (!duplicates.empty()) {
        throw ProblemError(Prefixed(source, std::move(duplicates)));
    }
    Reader r(source);
    Problem problem;
    if (!r.IsObject(doc, "document")) {
        throw ProblemError(Prefixed(source, r.Take()));
    }
    r.KnownKeys(doc, "document",
                {"$schema", "name", "description", "units", "parts", "stock", "gaps", "parameters",
                 "stock_settings", "tail"});
    std::string units = "mm";
    r.String(doc, "units", "document", false, units);
    if (units != "mm") {
        r.Fault("units", "\"" + units + "\" is not supported (lengths are in \"mm\")");
    }
    if (const json* parts = r.Field(doc, "parts", "document", true)) {
        ReadParts(r, *parts, problem);
    }
    if (const json* stock = r.Field(doc, "stock", "document", true)) {
        ReadStock(r, *stock, problem);
    }
    if (const json* gaps = r.Field(doc, "gaps", "document", false)) {
        ReadGaps(r, *gaps, problem);
    }
    if (const json* params = r.Field(doc, "parameters", "document", false)) {
        ReadParameters(r, *params, problem);
    }
    if (const json* settings = r.Field(doc, "stock_settings", "document", false)) {
        ReadStockSettings(r, *settings, problem);
    }
    if (const json* tail = r.Field(doc, "tail", "document", false)) {
        ReadTail(r, *tail, problem);
    }
    auto faults = r.Take();
    if (!faults.empty()) {
        throw ProblemError(Prefixed(source, std::move(faults)));
    }
    return problem;
}

std::string ProblemToJson(const Problem& problem) {
    ojson doc;
    doc["units"] = "mm";
    ojson parts = ojson::array();
    for (const PartSpec& p : problem.parts) {
        ojson o{{"id", p.id}, {"length", p.length}, {"amount", p.amount}};
        if (!p.name.empty()) {
            o["name"] = p.name;
        }
        if (p.real_length) {
            o["real_length"] = *p.real_length;
        }
        o["cutoff_a"] = p.cutoff_a;
        o["cutoff_b"] = p.cutoff_b;
        if (!p.end_a.empty()) {
            o["end_a"] = p.end_a;
        }
        if (!p.end_b.empty()) {
            o["end_b"] = p.end_b;
        }
        if (p.separable) {
            ojson s = ojson::array();
            for (const Interval& iv : *p.separable) {
                s.push_back(ojson::array({iv.start, iv.end}));
            }
            o["separable"] = std::move(s);
        }
        parts.push_back(std::move(o));
    }
    doc["parts"] = std::move(parts);
    ojson stock = ojson::array();
    for (const StockSpec& s : problem.stock) {
        ojson o{{"length", s.length}, {"amount", s.amount}};
        if (!s.id.empty()) {
            o["id"] = s.id;
        }
        if (s.remnant) {
            o["remnant"] = true;
        }
        if (s.trim_start) {
            o["trim_start"] = *s.trim_start;
        }
        if (s.trim_end) {
            o["trim_end"] = *s.trim_end;
        }
        stock.push_back(std::move(o));
    }
    doc["stock"] = std::move(stock);

    const GapModel& g = problem.gaps;
    ojson gaps{{"kerf", g.kerf}};
    if (!g.end_types.empty()) {
        ojson types = ojson::object();
        for (const EndType& e : g.end_types) {
            types[e.name] = ojson{{"clearance", e.clearance}};
        }
        gaps["end_types"] = std::move(types);
    }
    if (!g.end_pairs.empty()) {
        ojson arr = ojson::array();
        for (const EndPairRule& e : g.end_pairs) {
            ojson o = CommonJson(e.common_cut, e.common_length, e.land_common_length, e.common_style);
            o["ends"] = ojson::array({e.first, e.second});
            o["gap"] = e.gap;
            arr.push_back(std::move(o));
        }
        gaps["end_pairs"] = std::move(arr);
    }
    if (!g.pairs.empty()) {
        ojson arr = ojson::array();
        for (const PairGap& e : g.pairs) {
            ojson o = CommonJson(e.common_cut, e.common_length, e.land_common_length, e.common_style);
            o["first"] = e.first;
            o["second"] = e.second;
            o["first_turned"] = e.first_turned;
            o["second_turned"] = e.second_turned;
            o["gap"] = e.gap;
            if (e.z_gap) {
                o["z_gap"] = *e.z_gap;
            }
            o["rotation"] = e.rotation;
            arr.push_back(std::move(o));
        }
        gaps["pairs"] = std::move(arr);
    }
    doc["gaps"] = std::move(gaps);

    const NestingParameters& p = problem.parameters;
    ojson params{{"disable_reverse", p.disable_reverse},   {"target_lost_rate", p.target_lost_rate},
                 {"cut_shape", CutShapeName(p.cut_shape)}, {"z_shape_length", p.z_shape_length},
                 {"z_shape_offset", p.z_shape_offset},     {"bevel_length", p.bevel_length},
                 {"dis_allowance", p.dis_allowance},       {"dis", p.dis},
                 {"coedge_flag0", p.coedge_flag0},         {"coedge_flag2", p.coedge_flag2},
                 {"split_margin", p.split_margin}};
    if (p.default_part_gap) {
        params["default_part_gap"] = *p.default_part_gap;
    }
    // Splitting policy.
    params["splitting"] = SplittingName(p.splitting);
    params["min_piece_length"] = p.min_piece_length;
    doc["parameters"] = std::move(params);

    const StockSettings& ss = problem.stock_settings;
    if (ss.trim_start != 0.0 || ss.trim_end != 0.0 || ss.min_usable_remnant) {
        ojson settings{{"trim_start", ss.trim_start}, {"trim_end", ss.trim_end}};
        if (ss.min_usable_remnant) {
            settings["min_usable_remnant"] = *ss.min_usable_remnant;
        }
        doc["stock_settings"] = std::move(settings);
    }
    if (problem.tail) {
        const TailRules& t = *problem.tail;
        doc["tail"] = ojson{{"min_length", t.min_length},
                            {"max_length", t.max_length},
                            {"tail_length", t.tail_length},
                            {"mode", TailModeName(t.mode)},
                            {"strategy", TailStrategyName(t.strategy)}};
    }
    return doc.dump(2, ' ', false, ojson::error_handler_t::replace) + "\n";
}

} // namespace tubenest::api
