#include "support/gap_tables.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace tubenest::testsupport {
namespace {
TNestBaseInfo Calculated(std::int32_t id, double gap) {
    TNestBaseInfo r;
    r.ID = id;
    r.FixedGap = gap;
    r.ZGap = gap;
    r.Caled = true;
    return r;
}

template <typename GapFn>
std::unique_ptr<TSegPlaceInfoManager> MakeGaps(int parts, const TCADAutoNestParam& param, GapFn nextGap) {
    auto gaps = std::make_unique<TSegPlaceInfoManager>(parts, param);
    gaps->InitTable();
    for (int i = 0; i < parts; ++i) {
        for (int j = 0; j <= i; ++j) {
            TSegPlaceInfo e;
            e.A1B1_A2B2 = Calculated(kA1B1_A2B2, nextGap());
            e.A2B2_A1B1 = Calculated(kA2B2_A1B1, i == j ? e.A1B1_A2B2.FixedGap : nextGap());
            e.A1B1_B2A2 = Calculated(kA1B1_B2A2, nextGap());
            e.B2A2_A1B1 = Calculated(kB2A2_A1B1, nextGap());
            gaps->SetSegPlaceInfo(i, j, e);
        }
    }
    return gaps;
}
} // namespace

std::unique_ptr<TSegPlaceInfoManager> MakeUniformGaps(int parts, double gap, const TCADAutoNestParam& param) {
    return MakeGaps(parts, param, [gap] { return gap; });
}

std::unique_ptr<TSegPlaceInfoManager> MakeRandomGaps(int parts, TRandomGenerator& rng, double minGap,
                                                     double maxGap, const TCADAutoNestParam& param) {
    return MakeGaps(parts, param, [&] { return minGap + (maxGap - minGap) * rng.RandomFloat(); });
}

void SetGap(TSegPlaceInfoManager& gaps, std::int32_t a, std::int32_t b, double gap) {
    TNestBaseInfo info = gaps.GetA1B1Info(a, b);
    info.FixedGap = gap;
    info.ZGap = gap;
    info.Caled = true;
    gaps.SetA1B1Info(a, b, info);
}

TIntDynArray RandomOrder(int parts, int length, TRandomGenerator& rng, bool allowTurned) {
    TIntDynArray order;
    for (int k = 0; k < length; ++k) {
        const std::int32_t ref = 1 + rng.Random(parts);
        order.push_back(allowTurned && rng.Random(2) == 1 ? -ref : ref);
    }
    return order;
}

double OrderGapSum(const TSegPlaceInfoManager& gaps, const TIntDynArray& order, int nestedPartIdx) {
    double sum = 0.0;
    if (!order.empty() && nestedPartIdx >= 1) {
        sum += gaps.GetA1B1Info(nestedPartIdx, order.front()).FixedGap;
    }
    for (std::size_t k = 1; k < order.size(); ++k) {
        sum += gaps.GetA1B1Info(order[k - 1], order[k]).FixedGap;
    }
    return sum;
}

std::vector<std::int32_t> PartMultiset(const TIntDynArray& order) {
    std::vector<std::int32_t> parts;
    for (auto ref : order) {
        parts.push_back(std::abs(ref));
    }
    std::sort(parts.begin(), parts.end());
    return parts;
}

std::vector<std::int32_t> SignedMultiset(const TIntDynArray& order) {
    std::vector<std::int32_t> refs(order.begin(), order.end());
    std::sort(refs.begin(), refs.end());
    return refs;
}

std::int32_t BruteForceTubes(const TGeneralNestPartArr& parts, const TSegPlaceInfoManager& gaps, double tube,
                             double tolerance) {
    std::vector<std::int32_t> copies;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        copies.insert(copies.end(), static_cast<std::size_t>(parts[i].FAmountAvail),
                      static_cast<std::int32_t>(i) + 1);
    }
    const std::size_t n = copies.size();
    const std::size_t full = (std::size_t{1} << n) - 1;
    const double inf = std::numeric_limits<double>::infinity();
    // best[mask][2c + turned]: shortest layout of mask ending with copy c.
    std::vector<std::vector<double>> best(full + 1, std::vector<double>(2 * n, inf));
    auto ref = [&](std::size_t state) { return state % 2 == 0 ? copies[state / 2] : -copies[state / 2]; };
    auto length = [&](std::size_t state) {
        return parts[static_cast<std::size_t>(copies[state / 2] - 1)].FOuterlength;
    };
    for (std::size_t s = 0; s < 2 * n; ++s) {
        best[std::size_t{1} << (s / 2)][s] = length(s);
    }
    std::vector<char> fits(full + 1, 0);
    for (std::size_t mask = 1; mask <= full; ++mask) {
        for (std::size_t s = 0; s < 2 * n; ++s) {
            if (best[mask][s] == inf) {
                continue;
            }
            fits[mask] = fits[mask] != 0 || best[mask][s] <= tube + tolerance;
            for (std::size_t t = 0; t < 2 * n; ++t) {
                const std::size_t bit = std::size_t{1} << (t / 2);
                if ((mask & bit) == 0) {
                    best[mask | bit][t] = std::min(best[mask | bit][t],
                                                   best[mask][s] + gaps.GetGap(ref(s), ref(t)) + length(t));
                }
            }
        }
    }
    std::vector<std::int32_t> tubes(full + 1, 1000);
    tubes[0] = 0;
    for (std::size_t mask = 1; mask <= full; ++mask) {
        const std::size_t low = mask & (~mask + 1);
        for (std::size_t sub = mask; sub != 0; sub = (sub - 1) & mask) {
            if ((sub & low) != 0 && fits[sub] != 0) {
                tubes[mask] = std::min(tubes[mask], tubes[mask & ~sub] + 1);
            }
        }
    }
    return tubes[full];
}

} // namespace tubenest::testsupport
