#pragma once
// Tiny random cutting problems for the column generation tests, every pattern of them enumerated,
// and an independent LP of all patterns solved by COIN-OR CLP (a test oracle only).

#include <coin/ClpSimplex.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "colgen/column_generation.h"
#include "model/random.h"
#include "model/seg_place_info.h"
#include "support/gap_tables.h"

namespace tubenest::colgentest {

struct Tiny {
    std::unique_ptr<TSegPlaceInfoManager> gaps;
    std::unique_ptr<TColGenData> data;
    std::vector<TIntDynArray> patterns; ///< every non-empty pattern that fits
};

inline bool InProgramme(const Tiny& t, std::size_t i) {
    return t.data->FPartLengths[i] > 1.0 && t.data->FPartLengths[i] <= t.data->TubeLength();
}

/// Length of a pattern as the pricing counts it: runs of m copies with their gaps when negative.
inline double PatternLength(const Tiny& t, const TIntDynArray& a) {
    double sum = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const std::int32_t m = a[i];
        double gap = 0.0;
        if (m >= 2 && t.gaps) {
            const TSinglePartGap& g =
                t.gaps->FSinglePartGaps[static_cast<std::size_t>(t.data->FPartOriIndexs[i])];
            gap = m % 2 == 0 ? g.FPartGapPair * (m / 2) + g.FPartGapSingle * (m / 2 - 1)
                             : (g.FPartGapPair + g.FPartGapSingle) * ((m - 1) / 2);
        }
        sum += m * t.data->FPartLengths[i] + std::min(0.0, gap);
    }
    return sum;
}

/// Up to 6 parts of whole millimetres (or not, when fractional); with gaps, whole-millimetre run gaps
/// in [-5, 10] and gaps of 0 to 20 between different parts; with excluded parts, one of 1 mm or less
/// and one too long.
inline Tiny RandomTiny(TRandomGenerator& rng, bool withGaps, bool withExcluded, bool fractional = false) {
    Tiny t;
    const int n = 1 + rng.Random(6);
    const int tube = 1000 + rng.Random(3001);
    t.data = std::make_unique<TColGenData>(n);
    t.data->FTubeLengths[0] = tube + 0.5 * rng.Random(2);
    for (std::size_t i = 0; i < static_cast<std::size_t>(n); ++i) {
        t.data->FPartOriIndexs[i] = n - 1 - static_cast<int>(i);
        t.data->FPartLengths[i] =
            tube / 7 + rng.Random(tube * 3 / 4) + (fractional ? rng.RandomFloat() : 0.0);
        t.data->FPartAmounts[i] = 1 + rng.Random(30);
    }
    if (withExcluded && n >= 3) {
        t.data->FPartLengths[0] = rng.Random(2) == 0 ? 0.5 : 1.0;
        t.data->FPartLengths[2] = tube + 1 + rng.Random(100);
    }
    if (withGaps) {
        t.gaps = testsupport::MakeRandomGaps(n, rng, 0.0, 20.0);
        for (int k = 1; k <= n; ++k) {
            for (const auto& [a, b] : {std::pair{k, k}, std::pair{k, -k}, std::pair{-k, k}}) {
                testsupport::SetGap(*t.gaps, a, b, -5 + rng.Random(16));
            }
        }
        t.gaps->InitializePartGaps();
        t.data->FPartGapTable = t.gaps.get();
    }
    TIntDynArray a(static_cast<std::size_t>(n), 0);
    auto walk = [&](auto&& self, std::size_t i) -> void {
        if (i == a.size()) {
            if (std::any_of(a.begin(), a.end(), [](std::int32_t c) { return c > 0; })) {
                t.patterns.push_back(a);
            }
            return;
        }
        const int most =
            InProgramme(t, i) ? static_cast<int>(t.data->TubeLength() / t.data->FPartLengths[i]) : 0;
        for (a[i] = 0; a[i] <= most && PatternLength(t, a) <= t.data->TubeLength() + 1e-9; ++a[i]) {
            self(self, i + 1);
        }
        a[i] = 0;
    };
    walk(walk, 0);
    return t;
}

/// min Σ x_j subject to Σ_j a_ij x_j >= demand_i (parts in the programme), x >= 0, over all patterns.
inline double ClpValue(const Tiny& t) {
    const int n = t.data->FPartCount;
    ClpSimplex model;
    model.setLogLevel(0);
    model.resize(n, 0);
    for (int i = 0; i < n; ++i) {
        const auto ui = static_cast<std::size_t>(i);
        model.setRowBounds(i, InProgramme(t, ui) ? t.data->FPartAmounts[ui] : 0.0, COIN_DBL_MAX);
    }
    for (const auto& a : t.patterns) {
        std::vector<int> rows;
        std::vector<double> values;
        for (int i = 0; i < n; ++i) {
            if (a[static_cast<std::size_t>(i)] != 0) {
                rows.push_back(i);
                values.push_back(a[static_cast<std::size_t>(i)]);
            }
        }
        model.addColumn(static_cast<int>(rows.size()), rows.data(), values.data(), 0.0, COIN_DBL_MAX, 1.0);
    }
    model.primal();
    EXPECT_TRUE(model.isProvenOptimal());
    return model.objectiveValue();
}

/// Whether a solution produces every demand of the parts in the programme.
inline bool Covers(const Tiny& t, const TColGenResult& r) {
    for (std::size_t i = 0; i < static_cast<std::size_t>(t.data->FPartCount); ++i) {
        std::int64_t produced = 0;
        for (std::size_t j = 0; j < r.Solutions.size(); ++j) {
            produced += static_cast<std::int64_t>(r.Solutions[j][i]) * r.SolutionAmount[j];
        }
        if (InProgramme(t, i) ? produced < t.data->FPartAmounts[i] : produced != 0) {
            return false;
        }
    }
    return true;
}

} // namespace tubenest::colgentest
