// The reference method "ffd": first-fit decreasing over whole copies. It is the baseline every
// nesting method should beat, and it never splits a part.

#include <algorithm>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "api/engine.h"
#include "model/room_tree.h"

namespace tubenest::api {
namespace {

struct OpenTube {
    std::int32_t tube = 0; ///< 0-based tube entry
    TIntDynArray order;
    double used = 0.0;
};

} // namespace

EngineOutput FirstFitDecreasing(const EngineInput& input, const MethodContext& context) {
    EngineOutput out;
    const TSegPlaceInfoManager& gaps = *input.gaps;
    const bool mayTurn = !input.param.DisableReverse();

    // Part kinds, longest first; equal lengths keep the order of the part list.
    std::vector<std::int32_t> kinds;
    for (std::size_t i = 0; i < input.parts.size(); ++i) {
        if (input.parts[i].FAmountAvail > 0) {
            kinds.push_back(static_cast<std::int32_t>(i));
        }
    }
    std::stable_sort(kinds.begin(), kinds.end(), [&](std::int32_t a, std::int32_t b) {
        return input.parts[static_cast<std::size_t>(a)].FOuterlength >
               input.parts[static_cast<std::size_t>(b)].FOuterlength;
    });

    std::vector<std::int32_t> tubesLeft;
    for (const auto& t : input.tubes) {
        tubesLeft.push_back(t.FAmountAvail);
    }
    std::vector<OpenTube> open;
    RoomTree room;
    double maxGap = 0.0;
    double minGap = 0.0;
    gaps.GetMaxMinGap(maxGap, minGap);
    constexpr double tol = 1e-6;

    for (const std::int32_t kind : kinds) {
        const TGeneralNestPart& part = input.parts[static_cast<std::size_t>(kind)];
        const std::int32_t ref = kind + 1;
        // No tube with less room than this takes the part, whatever the gap before it.
        const double need = part.FOuterlength + minGap - tol;
        for (std::int32_t copy = 0; copy < part.FAmountAvail && !out.stopped; ++copy) {
            if (GetStopped() || context.StopRequested()) {
                out.stopped = true;
                break;
            }
            bool placed = false;
            // The first open tube that takes the copy (in opening order), as a scan would find it.
            for (std::size_t i = room.FirstWithRoom(0, need); i < room.count() && !placed;
                 i = room.FirstWithRoom(i + 1, need)) {
                OpenTube& t = open[i];
                const double capacity = input.tubes[static_cast<std::size_t>(t.tube)].FTubeInitialLen;
                std::int32_t best = 0;
                double bestGap = 0.0;
                for (const std::int32_t candidate : {ref, -ref}) {
                    if (candidate < 0 && !mayTurn) {
                        continue;
                    }
                    const double gap = gaps.GetGap(t.order.back(), candidate);
                    if (t.used + gap + part.FOuterlength <= capacity + tol && (best == 0 || gap < bestGap)) {
                        best = candidate;
                        bestGap = gap;
                    }
                }
                if (best != 0) {
                    t.order.push_back(best);
                    t.used += bestGap + part.FOuterlength;
                    room.Set(i, capacity - t.used);
                    placed = true;
                }
            }
            if (placed) {
                continue;
            }
            for (std::size_t k = 0; k < input.tubes.size(); ++k) {
                if (tubesLeft[k] > 0 && part.FOuterlength <= input.tubes[k].FTubeInitialLen + tol) {
                    --tubesLeft[k];
                    open.push_back(OpenTube{static_cast<std::int32_t>(k), {ref}, part.FOuterlength});
                    room.Push(input.tubes[k].FTubeInitialLen - part.FOuterlength);
                    break;
                }
            }
        }
        if (out.stopped) {
            break;
        }
    }

    // Tubes cut alike become one pattern, in the order their first tube was opened.
    std::map<std::pair<std::int32_t, TIntDynArray>, TNestResult*> patterns;
    for (OpenTube& t : open) {
        auto key = std::make_pair(t.tube, t.order);
        if (auto it = patterns.find(key); it != patterns.end()) {
            ++it->second->FTubeCount;
            continue;
        }
        auto r = std::make_unique<TNestResult>();
        r->FTubeIndex = t.tube + 1;
        r->FTubeCount = 1;
        r->FPartOrder = std::move(t.order);
        gaps.UpdateNestResultInfo(*r, input.parts);
        patterns.emplace(std::move(key), &out.results.Add(std::move(r)));
    }
    return out;
}

} // namespace tubenest::api
