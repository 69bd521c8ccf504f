#include "api/engine_methods.h"

#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

#include "adjust/multi_tube_nest_wrapper.h"
#include "circular/particle_swarm.h"
#include "circular/separable_intervals.h"
#include "colgen/tube_lower_bound.h"

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
    wrapper.SVCNest(out.results);
    out.stopped = context.StopRequested();
    return out;
}

namespace {

/// Copies placed, tubes cut and stock length used by whole-part results.
struct WholePartScore {
    std::int64_t copies = 0;
    std::int64_t tubes = 0;
    double material = 0.0;
};

WholePartScore ScoreOf(const EngineInput& input, const TNestResultList& results) {
    WholePartScore s;
    for (const auto& r : results) {
        s.copies += static_cast<std::int64_t>(r->FPartOrder.size()) * r->FTubeCount;
        s.tubes += r->FTubeCount;
        s.material +=
            input.tubes.at(static_cast<std::size_t>(r->FTubeIndex - 1)).FTubeInitialLen * r->FTubeCount;
    }
    return s;
}

/// The method's output unless the first-fit decreasing floor places more copies, or as many in
/// fewer tubes or with less stock: no plan of a method is worse than the reference method's.
EngineOutput NoWorseThanFloor(const EngineInput& input, const MethodContext& context, EngineOutput floor,
                              EngineOutput out) {
    const WholePartScore a = ScoreOf(input, out.results);
    const WholePartScore b = ScoreOf(input, floor.results);
    const bool floorBetter = b.copies != a.copies
                                 ? b.copies > a.copies
                                 : (b.tubes != a.tubes ? b.tubes < a.tubes : b.material < a.material - 1e-6);
    EngineOutput& kept = floorBetter ? floor : out;
    kept.stopped = kept.stopped || context.StopRequested();
    return std::move(kept);
}

} // namespace

EngineOutput RunGreedyMethod(const EngineInput& input, const MethodContext& context) {
    // The floor runs first (it takes milliseconds), so that a stop during the search keeps it.
    EngineOutput floor = FirstFitDecreasing(input, context);
    EngineOutput out;
    TMultiTubeNestWrapper wrapper(input.parts, input.tubes, *input.gaps, input.param);
    wrapper.GreedyNest(out.results);
    out.stopped = context.StopRequested();
    return NoWorseThanFloor(input, context, std::move(floor), std::move(out));
}

EngineOutput RunPackedMethod(const EngineInput& input, const MethodContext& context) {
    EngineOutput floor = FirstFitDecreasing(input, context);
    EngineOutput out;
    TMultiTubeNestWrapper wrapper(input.parts, input.tubes, *input.gaps, input.param);
    wrapper.PackedNest(out.results);
    out.stopped = context.StopRequested();
    return NoWorseThanFloor(input, context, std::move(floor), std::move(out));
}

EngineOutput RunCgMethod(const EngineInput& input, const MethodContext& context) {
    EngineOutput floor = FirstFitDecreasing(input, context);
    EngineOutput out;
    TTubeLowerBound bound(input.parts, input.tubes, *input.gaps);
    TMultiTubeNestWrapper wrapper(input.parts, input.tubes, *input.gaps, input.param);
    wrapper.CGNest(out.results, &bound);
    out.stopped = context.StopRequested();
    EngineOutput kept = NoWorseThanFloor(input, context, std::move(floor), std::move(out));
    // The duals of the passes often prove the plan already; otherwise (and while time is left) a
    // column generation of its own on the relaxed problem.
    if (bound.Usable() && !bound.Settled() && bound.Tubes() < ScoreOf(input, kept.results).tubes &&
        !context.StopRequested()) {
        bound.Solve();
    }
    return kept;
}

} // namespace tubenest::api
