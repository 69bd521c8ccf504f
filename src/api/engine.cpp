#include "api/engine.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>
#include <map>
#include <mutex>
#include <stdexcept>
#include <utility>

#include "api/engine_methods.h"
#include "api/gap_model.h"
#include "host/geometry.h"

namespace tubenest::api {

const char* PlanStatusName(PlanStatus status) {
    switch (status) {
    case PlanStatus::Complete:
        return "complete";
    case PlanStatus::Partial:
        return "partial";
    case PlanStatus::Interrupted:
        return "interrupted";
    case PlanStatus::TimeLimit:
        return "time_limit";
    }
    return "unknown";
}

const char* PieceKindName(PieceKind kind) {
    switch (kind) {
    case PieceKind::Whole:
        return "whole";
    case PieceKind::Front:
        return "front";
    case PieceKind::Back:
        return "back";
    }
    return "unknown";
}

EngineInput BuildEngineInput(const Problem& problem) {
    EngineInput in;
    for (const PartSpec& p : problem.parts) {
        TGeneralNestPart part;
        part.RealBoxLength = p.RealLength();
        part.CutoffALength = p.cutoff_a;
        part.CutoffBLength = p.cutoff_b;
        part.FOuterlength = p.length;
        part.FAmountAvail = static_cast<std::int32_t>(p.amount);
        in.parts.push_back(part);

        PartIntervals iv;
        for (const Interval& s : EngineSeparable(p, problem.parameters)) {
            iv.separable.push_back({s.start, s.end});
        }
        std::sort(iv.separable.begin(), iv.separable.end());
        // The cut-off positions are the part's two ends in its own coordinates. The nest counts
        // them as separable points, but a split there leaves no piece (cuts within 1.1 mm of the
        // front and at the full length are never made), so a part is only ever split inside one
        // of its separable stretches.
        iv.front_cutoff_pos = 0.0;
        iv.back_cutoff_pos = p.length;
        in.intervals.push_back(std::move(iv));
    }
    // Remnants first, shortest first, then full bars; every method takes entries in this order.
    for (std::size_t i = 0; i < problem.stock.size(); ++i) {
        in.tube_stock.push_back(i);
    }
    std::stable_sort(in.tube_stock.begin(), in.tube_stock.end(), [&problem](std::size_t a, std::size_t b) {
        const StockSpec& x = problem.stock[a];
        const StockSpec& y = problem.stock[b];
        if (x.remnant != y.remnant) {
            return x.remnant;
        }
        return x.remnant && UsableLength(problem, x) < UsableLength(problem, y);
    });
    for (const std::size_t i : in.tube_stock) {
        const StockSpec& s = problem.stock[i];
        TGeneralNestTube tube;
        tube.FTubeInitialLen = UsableLength(problem, s);
        tube.FAmountAvail = static_cast<std::int32_t>(s.amount);
        in.tubes.push_back(tube);
        in.tube_lengths.push_back(tube.FTubeInitialLen);
    }
    const NestingParameters& np = problem.parameters;
    in.coedge_flags =
        std::make_unique<TCoedgeFlagValues>(np.coedge_flag0 ? 1 : 0, 0, np.coedge_flag2 ? 1 : 0);
    in.sub_config = std::make_unique<TDisSubConfig>(np.dis);
    in.param = BuildNestParam(problem);
    in.param.SetCoedgeFlags(in.coedge_flags.get());
    in.param.SetSubConfig(in.sub_config.get());
    in.gaps = BuildGapManager(problem, in.param);
    return in;
}

std::size_t StockIndexOfTube(const EngineInput& input, std::size_t tube) {
    return tube < input.tube_stock.size() ? input.tube_stock[tube] : tube;
}

// ---------------------------------------------------------------------------------------------
// Method registry

namespace {

struct Registry {
    std::mutex mutex;
    std::map<std::string, EngineMethod> methods;
};

Registry& TheRegistry() {
    // Built-in methods are registered here rather than by static objects in their own files: a
    // static library drops object files that nothing references.
    static Registry registry;
    static const bool builtins = [] {
        registry.methods["ffd"] = FirstFitDecreasing;
        registry.methods["circular"] = RunCircularMethod;
        registry.methods["svc"] = RunSvcMethod;
        registry.methods["greedy"] = RunGreedyMethod;
        registry.methods["packed"] = RunPackedMethod;
        registry.methods["cg"] = RunCgMethod;
        registry.methods["bcp"] = RunBcpMethod;
        return true;
    }();
    static_cast<void>(builtins);
    return registry;
}

} // namespace

void RegisterMethod(const std::string& name, EngineMethod method) {
    if (name.empty() || !method) {
        throw std::invalid_argument("RegisterMethod: a method needs a name and a function (name \"" + name +
                                    "\")");
    }
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.methods[name] = std::move(method);
}

std::vector<std::string> AvailableMethods() {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    std::vector<std::string> names;
    for (const auto& [name, fn] : r.methods) {
        names.push_back(name);
    }
    return names;
}

EngineMethod FindMethod(const std::string& name) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    if (auto it = r.methods.find(name); it != r.methods.end()) {
        return it->second;
    }
    std::string choices;
    for (const auto& [n, fn] : r.methods) {
        choices += (choices.empty() ? "" : ", ") + n;
    }
    throw std::invalid_argument("unknown method \"" + name + "\" (available: " + choices + ")");
}

std::string DefaultMethodName() {
    return kAutoMethodName;
}

std::vector<std::string> SolveMethodNames() {
    std::vector<std::string> names{kAutoMethodName};
    for (std::string& n : AvailableMethods()) {
        names.push_back(std::move(n));
    }
    return names;
}

void CheckMethodName(const std::string& name) {
    if (name == kAutoMethodName) {
        return;
    }
    try {
        FindMethod(name);
    } catch (const std::invalid_argument&) {
        std::string choices;
        for (const std::string& n : SolveMethodNames()) {
            choices += (choices.empty() ? "" : ", ") + n;
        }
        throw std::invalid_argument("unknown method \"" + name + "\" (available: " + choices + ")");
    }
}

// ---------------------------------------------------------------------------------------------
// Plan building

namespace {

[[noreturn]] void Inconsistent(const std::string& what) {
    throw std::logic_error("method output inconsistent with its input: " + what);
}

/// The gap the circular nest lays next to a split piece.
double PieceGap(const EngineInput& in) {
    constexpr double tol = 0.01;
    const double offset = in.param.ZShapeOffset();
    const bool sharedCut = (in.param.CoedgeFlagIsOne(0) && fEqual(offset, 0.0, tol)) ||
                           (in.param.CoedgeFlagIsOne(2) && fGreat(offset, 0.0, tol));
    const double gap = sharedCut ? 0.0 : in.param.DefaultPartGap();
    return fGreat(gap, 0.0, tol) ? gap : 0.0;
}

std::string UnplacedReason(const Problem& problem, const PartSpec& part, const Totals& totals,
                           std::optional<PlanStatus> stop_status) {
    double longest = 0.0;
    for (const auto& s : problem.stock) {
        if (s.amount > 0) {
            longest = std::max(longest, UsableLength(problem, s));
        }
    }
    if (longest <= 0.0) {
        return "no stock tubes are available";
    }
    if (part.length > longest) {
        return "longer than every stock tube available (" + FormatLength(longest) + " mm)";
    }
    if (stop_status) {
        return "the run stopped before it was placed";
    }
    const bool stockUsedUp = std::all_of(totals.stock.begin(), totals.stock.end(),
                                         [](const StockUsage& u) { return u.tubes >= u.available; });
    return stockUsedUp ? "not enough stock tubes" : "the method did not place it";
}

/// A split piece's length: the engine widens a cut point by 1e-6 mm, so a piece of a round
/// length comes out 1e-6 too long or short; snap it back to the 1e-5 grid.
double SnappedPieceLength(double length) {
    const double grid = std::round(length * 1e5) / 1e5;
    return std::fabs(grid - length) <= 1.5e-6 ? grid : length;
}

/// Saw cuts of one tube: one before the first part unless it starts at the bar's real start, one
/// between neighbours that share a cut (a gap not above the kerf, or a common cut of two whole
/// parts), two between neighbours cut apart separately, one after the last part unless it ends
/// at the bar's real end.
std::int32_t CountCuts(const Pattern& pat, const Problem& problem, const EngineInput& input) {
    if (pat.parts.empty()) {
        return 0;
    }
    constexpr double tol = 1e-6;
    std::int32_t cuts = pat.parts.front().start > tol ? 1 : 0;
    for (std::size_t k = 1; k < pat.parts.size(); ++k) {
        const PlacedPart& a = pat.parts[k - 1];
        const PlacedPart& b = pat.parts[k];
        const bool whole = a.piece == PieceKind::Whole && b.piece == PieceKind::Whole;
        const bool shared = b.gap_before <= problem.gaps.kerf + tol ||
                            (whole && input.gaps->GetA1B1InfoRef(a.reference, b.reference).IsCommon);
        cuts += shared ? 1 : 2;
    }
    return cuts + (pat.remnant > tol ? 1 : 0);
}

} // namespace

bool InputMaySplit(const EngineInput& input) {
    return std::any_of(input.intervals.begin(), input.intervals.end(),
                       [](const PartIntervals& iv) { return !iv.separable.empty(); });
}

std::optional<TubeBound> ContinuousTubeBound(const EngineInput& input) {
    if (!input.gaps) {
        return std::nullopt;
    }
    double minGap = std::numeric_limits<double>::max();
    for (std::size_t i = 0; i < input.parts.size(); ++i) {
        for (const TSegPlaceInfo& e : input.gaps->TableRow(i)) {
            for (const TNestBaseInfo* r : {&e.A1B1_A2B2, &e.A2B2_A1B1, &e.A1B1_B2A2, &e.B2A2_A1B1}) {
                minGap = std::min(minGap, r->FixedGap);
            }
        }
    }
    const bool maySplit = InputMaySplit(input);
    // A table without records leaves nothing to learn about gaps: count none.
    double g = minGap > 1e300 ? 0.0 : minGap;
    if (maySplit) {
        g = std::min(g, 0.0);
    }
    double demand = 0.0;
    std::int64_t copies = 0;
    for (const TGeneralNestPart& p : input.parts) {
        demand += static_cast<double>(p.FAmountAvail) * p.FOuterlength;
        copies += p.FAmountAvail;
    }
    if (copies == 0) {
        return std::nullopt;
    }
    // Whole parts: sum(l + g) over the copies against sum(L + g) over the tubes. Split parts: sum(l) +
    // N g against sum(L).
    const double perTube = maySplit ? 0.0 : g;
    demand += static_cast<double>(copies) * g;
    std::vector<double> capacities;
    for (const TGeneralNestTube& t : input.tubes) {
        for (std::int32_t k = 0; k < t.FAmountAvail; ++k) {
            capacities.push_back(t.FTubeInitialLen + perTube);
            if (capacities.size() > static_cast<std::size_t>(copies)) {
                break; // no plan uses more tubes than copies
            }
        }
    }
    std::sort(capacities.begin(), capacities.end(), std::greater<>());
    double held = 0.0;
    for (std::size_t m = 0; m < capacities.size() && m < static_cast<std::size_t>(copies); ++m) {
        if (capacities[m] <= 0.0) {
            break;
        }
        // The fractional share of the last tube keeps the figure comparable with an LP value.
        if (held + capacities[m] >= demand - 1e-6) {
            const double share = std::clamp((demand - held) / capacities[m], 0.0, 1.0);
            return TubeBound{static_cast<double>(m) + share, "continuous", false};
        }
        held += capacities[m];
    }
    return std::nullopt;
}

namespace {

/// Rounds a bound up to whole tubes, forgiving the last millionth of a tube that an LP or a sum of
/// lengths may carry from rounding.
std::int64_t WholeTubes(double tubes) {
    return static_cast<std::int64_t>(std::ceil(tubes - 1e-6));
}

} // namespace

Plan BuildPlan(const Problem& problem, const EngineInput& input, EngineOutput output,
               std::optional<PlanStatus> stop_status) {
    const auto partCount = static_cast<std::int32_t>(input.parts.size());
    std::map<std::int32_t, PieceInfo> pieces;
    for (const PieceInfo& p : output.pieces) {
        if (p.reference <= partCount || p.origin_part >= input.parts.size()) {
            Inconsistent("piece reference " + std::to_string(p.reference) + " of part index " +
                         std::to_string(p.origin_part) + " for " + std::to_string(partCount) + " parts");
        }
        pieces[p.reference] = p;
        pieces[p.reference].length = SnappedPieceLength(p.length);
    }

    Plan plan;
    Totals& t = plan.totals;
    for (std::size_t i = 0; i < problem.stock.size(); ++i) {
        const StockSpec& s = problem.stock[i];
        t.stock.push_back(StockUsage{i, EffectiveStockId(s, i), s.length, 0,
                                     static_cast<std::int32_t>(s.amount), s.remnant});
    }
    plan.min_usable_remnant = problem.stock_settings.min_usable_remnant;
    std::map<std::pair<std::size_t, TIntDynArray>, std::size_t> patternOf; // identical tubes, one pattern
    std::vector<std::int64_t> wholePlaced(problem.parts.size(), 0);
    struct PieceCount {
        std::int64_t front = 0;
        std::int64_t back = 0;
        const PieceInfo* front_info = nullptr;
        const PieceInfo* back_info = nullptr;
    };
    std::map<std::int32_t, PieceCount> splitCounts;
    const double pieceGap = PieceGap(input);

    for (int k = 0; k < output.results.Count(); ++k) {
        const TNestResult& r = output.results[k];
        if (r.FTubeIndex < 1 || r.FTubeIndex > static_cast<std::int32_t>(input.tubes.size())) {
            Inconsistent("result " + std::to_string(k) + " uses tube index " + std::to_string(r.FTubeIndex));
        }
        if (r.FTubeCount < 0) {
            Inconsistent("result " + std::to_string(k) + " has tube count " + std::to_string(r.FTubeCount));
        }
        if (r.FTubeCount == 0) {
            continue;
        }
        Pattern pat;
        pat.stock_index = StockIndexOfTube(input, static_cast<std::size_t>(r.FTubeIndex - 1));
        if (pat.stock_index >= problem.stock.size()) {
            Inconsistent("tube entry " + std::to_string(r.FTubeIndex) + " maps to no stock entry");
        }
        const StockSpec& stock = problem.stock[pat.stock_index];
        pat.stock_id = t.stock[pat.stock_index].stock_id;
        pat.stock_length = stock.length;
        pat.count = r.FTubeCount;
        pat.from_remnant = stock.remnant;
        pat.trim_start = EffectiveTrimStart(problem, stock);
        pat.trim_end = EffectiveTrimEnd(problem, stock);
        t.stock[pat.stock_index].tubes += r.FTubeCount;

        double end = pat.trim_start;
        std::int32_t prev = 0;
        for (const std::int32_t ref : r.FPartOrder) {
            const std::int32_t absRef = std::abs(ref);
            if (ref == 0 || (absRef > partCount && pieces.count(absRef) == 0)) {
                Inconsistent("result " + std::to_string(k) + " holds part reference " + std::to_string(ref));
            }
            PlacedPart pp;
            pp.reference = ref;
            pp.turned = ref < 0;
            if (absRef <= partCount) {
                pp.part_index = static_cast<std::size_t>(absRef - 1);
                pp.length = input.parts[pp.part_index].FOuterlength;
                wholePlaced[pp.part_index] += r.FTubeCount;
            } else {
                const PieceInfo& info = pieces.at(absRef);
                pp.part_index = info.origin_part;
                pp.length = info.length;
                pp.piece = info.is_front ? PieceKind::Front : PieceKind::Back;
                pp.split_id = info.split_id;
                PieceCount& c = splitCounts[info.split_id];
                (info.is_front ? c.front : c.back) += r.FTubeCount;
                (info.is_front ? c.front_info : c.back_info) = &info;
            }
            const PartSpec& partSpec = problem.parts[pp.part_index];
            pp.part_id = partSpec.id;
            pp.name = partSpec.DisplayName();
            if (prev != 0) {
                const bool whole = std::abs(prev) <= partCount && absRef <= partCount;
                if (output.extended_gaps) {
                    pp.gap_before = output.extended_gaps->GetGap(prev, ref);
                } else {
                    pp.gap_before = whole ? input.gaps->GetGap(prev, ref) : pieceGap;
                }
            }
            pp.start = prev == 0 ? pat.trim_start : end + pp.gap_before;
            end = pp.End();
            prev = ref;
            pat.parts.push_back(std::move(pp));
        }
        pat.used_length = pat.parts.empty() ? 0.0 : end;
        pat.remnant = pat.stock_length - pat.used_length;
        pat.cuts = CountCuts(pat, problem, input);
        pat.tail_qualified = problem.tail.has_value() && r.FIsTailPlacedQualified;
        if (auto it = patternOf.find({pat.stock_index, r.FPartOrder}); it != patternOf.end()) {
            Pattern& same = plan.patterns[it->second];
            same.count += r.FTubeCount;
            same.tail_qualified = same.tail_qualified && pat.tail_qualified;
            continue;
        }
        const double room = pat.stock_length - pat.trim_end;
        if (fGreat(pat.used_length, room, 0.01)) {
            plan.warnings.push_back("pattern " + std::to_string(plan.patterns.size() + 1) + " (stock " +
                                    pat.stock_id + ", " + FormatLength(room) + " mm usable) uses " +
                                    FormatLength(pat.used_length) + " mm");
        }
        patternOf.emplace(std::pair{pat.stock_index, r.FPartOrder}, plan.patterns.size());
        plan.patterns.push_back(std::move(pat));
    }

    for (const StockUsage& u : t.stock) {
        if (u.tubes > u.available) {
            Inconsistent("stock " + u.stock_id + " is used " + std::to_string(u.tubes) + " times but only " +
                         std::to_string(u.available) + " tubes are available");
        }
        t.tubes_used += u.tubes;
    }

    std::vector<std::int64_t> placed = wholePlaced;
    for (const auto& [splitId, c] : splitCounts) {
        const PieceInfo& any = c.front_info != nullptr ? *c.front_info : *c.back_info;
        Split s;
        s.split_id = splitId;
        s.part_index = any.origin_part;
        s.part_id = problem.parts[any.origin_part].id;
        s.front_length = c.front_info != nullptr ? c.front_info->length : 0.0;
        s.back_length = c.back_info != nullptr ? c.back_info->length : 0.0;
        s.welds = static_cast<std::int32_t>(std::min(c.front, c.back));
        if (c.front != c.back) {
            plan.warnings.push_back("split " + std::to_string(splitId) + " of part " + s.part_id + " has " +
                                    std::to_string(c.front) + " front and " + std::to_string(c.back) +
                                    " back pieces; only complete pairs count as placed copies");
        }
        placed[s.part_index] += s.welds;
        t.welds += s.welds;
        plan.splits.push_back(std::move(s));
    }

    for (Pattern& p : plan.patterns) {
        t.material_used += p.stock_length * p.count;
        for (const PlacedPart& pp : p.parts) {
            t.part_length_placed += pp.length * p.count;
        }
        t.cuts += static_cast<std::int64_t>(p.cuts) * p.count;
        const double remnant = std::max(p.remnant, 0.0);
        p.remnant_usable =
            plan.min_usable_remnant && remnant > 1e-6 && remnant >= *plan.min_usable_remnant - 1e-6;
        if (p.remnant_usable) {
            t.usable_remnants += p.count;
            t.usable_remnant_length += remnant * p.count;
        } else {
            t.scrap_remnant_length += remnant * p.count;
        }
    }
    t.waste = t.material_used - t.part_length_placed;
    t.yield = t.material_used > 0.0 ? t.part_length_placed / t.material_used : 0.0;

    for (std::size_t i = 0; i < problem.parts.size(); ++i) {
        const PartSpec& partSpec = problem.parts[i];
        t.copies_required += partSpec.amount;
        if (placed[i] > partSpec.amount) {
            Inconsistent("part " + partSpec.id + " is placed " + std::to_string(placed[i]) + " times but " +
                         std::to_string(partSpec.amount) + " copies are required");
        }
        t.copies_placed += placed[i];
        if (placed[i] < partSpec.amount) {
            plan.unplaced.push_back(Unplaced{i, partSpec.id, partSpec.amount - placed[i],
                                             UnplacedReason(problem, partSpec, t, stop_status)});
        }
    }

    plan.status =
        stop_status ? *stop_status : (plan.unplaced.empty() ? PlanStatus::Complete : PlanStatus::Partial);

    std::optional<TubeBound> bound = ContinuousTubeBound(input);
    if (output.lower_bound && !(output.lower_bound->whole_parts_only && InputMaySplit(input)) &&
        (!bound || WholeTubes(output.lower_bound->tubes) > WholeTubes(bound->tubes))) {
        bound = output.lower_bound;
    }
    if (bound) {
        plan.lower_bound = PlanBound{std::max<std::int64_t>(WholeTubes(bound->tubes), 1), bound->source};
        plan.optimal = plan.AllPlaced() && t.tubes_used == plan.lower_bound->tubes;
    }
    if (problem.tail) {
        const TailRules& rules = *problem.tail;
        TailOutcome outcome;
        outcome.mode = TailModeName(rules.mode);
        outcome.strategy = TailStrategyName(rules.strategy);
        outcome.min_length = rules.min_length;
        outcome.max_length = rules.max_length;
        outcome.tail_length = rules.tail_length;
        for (const Pattern& p : plan.patterns) {
            if (p.tail_qualified) {
                outcome.qualified_tubes += p.count;
                ++outcome.qualified_patterns;
            }
        }
        plan.tail = outcome;
    }
    plan.engine_results = std::make_shared<const TNestResultList>(std::move(output.results));
    return plan;
}

} // namespace tubenest::api
