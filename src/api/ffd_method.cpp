// The reference method "ffd": first-fit decreasing over whole copies. It is the baseline every
// nesting method should beat, and it never splits a part.

#include <algorithm>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "api/engine.h"

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
    // Open tubes that may still take a part: a tube whose room is below the shortest part plus
    // the smallest gap is dropped from the scan.
    std::vector<std::size_t> active;
    double shortest = 0.0;
    if (!kinds.empty()) {
        shortest = input.parts[static_cast<std::size_t>(kinds.back())].FOuterlength;
    }
    double maxGap = 0.0;
    double minGap = 0.0;
    gaps.GetMaxMinGap(maxGap, minGap);
    constexpr double tol = 1e-6;

    for (const std::int32_t kind : kinds) {
        const TGeneralNestPart& part = input.parts[static_cast<std::size_t>(kind)];
        const std::int32_t ref = kind + 1;
        for (std::int32_t copy = 0; copy < part.FAmountAvail && !out.stopped; ++copy) {
            if (GetStopped() || context.StopRequested()) {
                out.stopped = true;
                break;
            }
            bool placed = false;
            std::size_t kept = 0;
            for (std::size_t scan = 0; scan < active.size(); ++scan) {
                OpenTube& t = open[active[scan]];
                const double capacity = input.tubes[static_cast<std::size_t>(t.tube)].FTubeInitialLen;
                if (t.used + minGap + shortest > capacity + tol) {
                    continue; // full for good
                }
                active[kept++] = active[scan];
                if (placed) {
                    continue;
                }
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
                    placed = true;
                }
            }
            active.resize(kept);
            if (placed) {
                continue;
            }
            for (std::size_t k = 0; k < input.tubes.size(); ++k) {
                if (tubesLeft[k] > 0 && part.FOuterlength <= input.tubes[k].FTubeInitialLen + tol) {
                    --tubesLeft[k];
                    active.push_back(open.size());
                    open.push_back(OpenTube{static_cast<std::int32_t>(k), {ref}, part.FOuterlength});
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
