#include "api/engine_methods.h"

#include <cmath>
#include <cstdlib>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "adjust/multi_tube_nest_wrapper.h"
#include "bcp/bcp_tube_nest.h"
#include "circular/particle_swarm.h"
#include "circular/separable_intervals.h"
#include "circular/weld_cleanup.h"
#include "colgen/tube_lower_bound.h"
#include "svc/svc_nest.h"

namespace tubenest::api {

EngineOutput RunCircularMethod(const EngineInput& input, const MethodContext& context) {
    std::vector<std::unique_ptr<TSeparatableIntervals>> intervals;
    intervals.reserve(input.parts.size());
    for (std::size_t k = 0; k < input.parts.size(); ++k) {
        auto list = std::make_unique<TSeparatableIntervals>();
        if (k < input.intervals.size()) {
            const PartIntervals& source = input.intervals[k];
            for (const auto& [start, end] : source.separable) {
                list->Add(TClosedInterval::Create(start, end));
            }
            list->Sort();
            list->SetCutOffPos(source.front_cutoff_pos, source.back_cutoff_pos);
            list->Sort();
        }
        intervals.push_back(std::move(list));
    }
    TNestAlgorithmParam param;
    param.Init(intervals, input.parts, input.tubes, *input.gaps, input.param, input.tube_lengths);

    TPaticleSwarm swarm(input.parts, input.tubes, context.swarm_size_factor, context.seed);
    swarm.SetThreads(context.threads);
    bool enough = false;
    std::unique_ptr<TNestResultList> results;
    std::unique_ptr<TCutNestParts> splits;
    std::unique_ptr<TCutPartsManager> manager;
    swarm.AlgorithmNest(param, enough, results, splits, manager);

    EngineOutput out;
    out.stopped = swarm.WasStopped() || context.StopRequested();
    if (!results) {
        return out;
    }
    // Splits whose part fits whole into a tube the plan already uses save nothing: undo them.
    if (splits && manager) {
        RemoveNeedlessWelds(*results, *splits, *manager, input.tubes, input.param.DisableReverse());
    }
    out.results = std::move(*results);
    if (manager && manager->FSegPlaceInfoManager) {
        out.extended_gaps =
            std::shared_ptr<const TSegPlaceInfoManager>(std::move(manager->FSegPlaceInfoManager));
    }
    // Piece references follow the cut parts manager's layout: split c of the list has its front
    // piece at part count + 2c + 1 and its back piece right after it.
    const auto n = static_cast<std::int32_t>(input.parts.size());
    std::vector<bool> seen;
    for (const auto& r : out.results) {
        for (const std::int32_t ref : r->FPartOrder) {
            const std::int32_t a = std::abs(ref);
            if (a <= n) {
                continue;
            }
            const auto idx = static_cast<std::size_t>(a - n - 1);
            if (idx < seen.size() && seen[idx]) {
                continue;
            }
            if (seen.size() <= idx) {
                seen.resize(idx + 1, false);
            }
            seen[idx] = true;
            const auto c = static_cast<std::int32_t>(idx / 2);
            if (!splits || !manager || c >= splits->Count() ||
                static_cast<std::size_t>(a - 1) >= manager->FGeneralNestPartArr.size()) {
                throw std::logic_error("circular method: piece reference " + std::to_string(a) +
                                       " has no recorded split");
            }
            PieceInfo piece;
            piece.reference = a;
            piece.origin_part = static_cast<std::size_t>((*splits)[c].From - 1);
            piece.is_front = idx % 2 == 0;
            piece.length = manager->FGeneralNestPartArr[static_cast<std::size_t>(a - 1)].FOuterlength;
            piece.split_id = c;
            out.pieces.push_back(piece);
        }
    }
    return out;
}

EngineOutput RunSvcMethod(const EngineInput& input, const MethodContext& context) {
    EngineOutput out;
    TMultiTubeNestWrapper wrapper(input.parts, input.tubes, *input.gaps, input.param);
    try {
        wrapper.SVCNest(out.results);
    } catch (const TSVCTableLimitError& e) {
        // A valid problem, too large for this method's table: say which limit and what to do.
        throw ProblemError({"method svc: the problem needs a knapsack table of " + std::to_string(e.Rows()) +
                            " part rows x " + std::to_string(e.Cols()) +
                            " one-millimetre columns, over its limit of " +
                            std::to_string(InforMatrix::kMaxCells) +
                            " cells; use method circular or ffd, or split the job into fewer part kinds or "
                            "shorter stock"});
    }
    out.stopped = context.StopRequested();
    return out;
}

// Solve holds every method's plan to the first-fit decreasing floor, so the methods return their
// own results as they are.
EngineOutput RunGreedyMethod(const EngineInput& input, const MethodContext& context) {
    EngineOutput out;
    TMultiTubeNestWrapper wrapper(input.parts, input.tubes, *input.gaps, input.param);
    wrapper.GreedyNest(out.results);
    out.stopped = context.StopRequested();
    return out;
}

EngineOutput RunPackedMethod(const EngineInput& input, const MethodContext& context) {
    EngineOutput out;
    TMultiTubeNestWrapper wrapper(input.parts, input.tubes, *input.gaps, input.param);
    wrapper.PackedNest(out.results);
    out.stopped = context.StopRequested();
    return out;
}

EngineOutput RunCgMethod(const EngineInput& input, const MethodContext& context) {
    EngineOutput out;
    // The bound holds for whole parts: where a part may be split the plan would not use it.
    std::optional<TTubeLowerBound> bound;
    if (!InputMaySplit(input)) {
        bound.emplace(input.parts, input.tubes, *input.gaps);
    }
    TMultiTubeNestWrapper wrapper(input.parts, input.tubes, *input.gaps, input.param);
    wrapper.CGNest(out.results, bound ? &*bound : nullptr);
    out.stopped = context.StopRequested();
    if (!bound) {
        return out;
    }
    // The duals of the passes often prove the plan already; otherwise, while time is left, a
    // column generation of its own on the relaxed problem may raise the bound.
    std::int64_t tubes = 0;
    for (const auto& r : out.results) {
        tubes += r->FTubeCount;
    }
    if (bound->Usable() && !bound->Settled() && bound->Tubes() < tubes && !context.StopRequested()) {
        bound->Solve();
    }
    if (bound->Value() > 0.0) {
        out.lower_bound = TubeBound{bound->Value(), "column generation", true};
    }
    return out;
}

EngineOutput RunBcpMethod(const EngineInput& input, const MethodContext& context) {
    EngineOutput out;
    TMultiTubeNestWrapper wrapper(input.parts, input.tubes, *input.gaps, input.param);
    TBCPTubeNestReport report;
    wrapper.BCPNest(out.results, nullptr, &report);
    out.stopped = context.StopRequested();
    // The bound holds for whole parts: where a part may be split the plan would not use it.
    if (InputMaySplit(input)) {
        return out;
    }
    std::int64_t tubes = 0;
    for (const auto& r : out.results) {
        tubes += r->FTubeCount;
    }
    if (report.proven_tubes && *report.proven_tubes > 0) {
        out.lower_bound = TubeBound{static_cast<double>(*report.proven_tubes), "branch-cut-price", true};
        if (*report.proven_tubes >= tubes) {
            return out;
        }
    }
    // Where the search's pricing was heuristic its bound proves nothing; the relaxation's does.
    TTubeLowerBound bound(input.parts, input.tubes, *input.gaps);
    if (bound.Usable() && !context.StopRequested()) {
        bound.Solve();
    }
    if (bound.Value() > 0.0 && (!out.lower_bound || std::ceil(bound.Value() - 1e-9) > out.lower_bound->tubes)) {
        out.lower_bound = TubeBound{bound.Value(), "column generation", true};
    }
    return out;
}

} // namespace tubenest::api
