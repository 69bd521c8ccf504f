#include "api/engine.h"

#include <algorithm>
#include <cstdlib>
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
    for (const StockSpec& s : problem.stock) {
        TGeneralNestTube tube;
        tube.FTubeInitialLen = s.length;
        tube.FAmountAvail = static_cast<std::int32_t>(s.amount);
        in.tubes.push_back(tube);
        in.tube_lengths.push_back(s.length);
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
    const auto names = AvailableMethods();
    for (const char* preferred : {"circular", "svc"}) {
        if (std::find(names.begin(), names.end(), preferred) != names.end()) {
            return preferred;
        }
    }
    return "ffd";
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
            longest = std::max(longest, s.length);
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
    }

    Plan plan;
    Totals& t = plan.totals;
    for (std::size_t i = 0; i < problem.stock.size(); ++i) {
        const StockSpec& s = problem.stock[i];
        t.stock.push_back(
            StockUsage{i, EffectiveStockId(s, i), s.length, 0, static_cast<std::int32_t>(s.amount)});
    }
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
        pat.stock_index = static_cast<std::size_t>(r.FTubeIndex - 1);
        pat.stock_id = t.stock[pat.stock_index].stock_id;
        pat.stock_length = problem.stock[pat.stock_index].length;
        pat.count = r.FTubeCount;
        t.stock[pat.stock_index].tubes += r.FTubeCount;

        double end = 0.0;
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
            pp.start = prev == 0 ? 0.0 : end + pp.gap_before;
            end = pp.End();
            prev = ref;
            pat.parts.push_back(std::move(pp));
        }
        pat.used_length = end;
        pat.remnant = pat.stock_length - end;
        if (fGreat(end, pat.stock_length, 0.01)) {
            plan.warnings.push_back("pattern " + std::to_string(plan.patterns.size() + 1) + " (stock " +
                                    pat.stock_id + ", " + FormatLength(pat.stock_length) + " mm) uses " +
                                    FormatLength(end) + " mm");
        }
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

    for (const Pattern& p : plan.patterns) {
        t.material_used += p.stock_length * p.count;
        for (const PlacedPart& pp : p.parts) {
            t.part_length_placed += pp.length * p.count;
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
    plan.engine_results = std::make_shared<const TNestResultList>(std::move(output.results));
    return plan;
}

} // namespace tubenest::api
