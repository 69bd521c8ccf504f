#include "colgen/tube_lower_bound.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "model/nest_progress.h"

namespace tubenest {

TTubeLowerBound::TTubeLowerBound(const TGeneralNestPartArr& AParts, const TGeneralNestTubeArr& ATubes,
                                 const TSegPlaceInfoManager& AGaps) {
    double longest = 0.0;
    for (const auto& t : ATubes) {
        if (t.FAmountAvail > 0 && std::isfinite(t.FTubeInitialLen)) {
            longest = std::max(longest, t.FTubeInitialLen);
        }
    }
    FTubeLength = longest;
    std::vector<std::int32_t> parts;
    for (std::size_t i = 0; i < AParts.size(); ++i) {
        const double length = AParts[i].FOuterlength;
        if (AParts[i].FAmountAvail > 0 && std::isfinite(length) && length > 0.0 &&
            length <= longest + kTubeTolerance && static_cast<std::int32_t>(i) < AGaps.FPartCount) {
            parts.push_back(static_cast<std::int32_t>(i));
        }
    }
    if (parts.empty()) {
        return;
    }
    // The smallest gap a plan of these parts can meet: every record of every cell between two of
    // them (the four references below read the four records of cell [i][j], i >= j).
    double minGap = std::numeric_limits<double>::infinity();
    for (std::size_t a = 0; a < parts.size(); ++a) {
        for (std::size_t b = 0; b <= a; ++b) {
            const std::int32_t p1 = std::max(parts[a], parts[b]) + 1;
            const std::int32_t p2 = std::min(parts[a], parts[b]) + 1;
            minGap = std::min({minGap, AGaps.GetGap(p1, p2), AGaps.GetGap(-p1, -p2), AGaps.GetGap(p1, -p2),
                               AGaps.GetGap(-p1, p2)});
        }
    }
    FMinGap = minGap;
    const double tube = longest + minGap + kTubeTolerance;
    if (!std::isfinite(tube) || tube <= 0.0 || tube >= 2147483647.0) {
        return;
    }
    auto data = std::make_unique<TColGenData>(static_cast<std::int32_t>(parts.size()));
    data->FTubeLengths[0] = tube;
    FInLP.assign(parts.size(), 0);
    for (std::size_t k = 0; k < parts.size(); ++k) {
        const auto i = static_cast<std::size_t>(parts[k]);
        const double relaxed = std::max(0.0, AParts[i].FOuterlength + minGap);
        data->FPartLengths[k] = relaxed;
        data->FPartAmounts[k] = AParts[i].FAmountAvail;
        data->FPartOriIndexs[k] = parts[k];
        FInLP[k] = relaxed > kColGenMinPartLength && relaxed <= tube ? 1 : 0;
    }
    FPartOf = std::move(parts);
    FData = std::move(data);
}

std::int32_t TTubeLowerBound::Tubes() const {
    return static_cast<std::int32_t>(std::max(0.0, std::ceil(FValue - 1e-6)));
}

void TTubeLowerBound::Raise(double AValue, TSource ASource) {
    if (std::isfinite(AValue) && AValue > FValue) {
        FValue = AValue;
        FSource = ASource;
    }
}

bool TTubeLowerBound::Settled() const {
    return std::isfinite(FCeiling) && Tubes() >= static_cast<std::int32_t>(std::ceil(FCeiling - 1e-6));
}

void TTubeLowerBound::AddDuals(const std::vector<double>& ADualsByPart, double ACeiling) {
    if (FData && ACeiling < FCeiling) {
        FCeiling = ACeiling;
    }
    if (!FData || FPricingFailed || StopRequested()) {
        return;
    }
    if (!FPricing) {
        try {
            auto pricing = std::make_unique<TPatternPricing>();
            pricing->Prepare(*FData, FInLP);
            FPricing = std::move(pricing);
        } catch (const std::runtime_error&) {
            FPricingFailed = true; // too large a table for this tube: the bound stays as it is
            return;
        }
    }
    const std::size_t n = FPartOf.size();
    TExtendedDynArray duals(n, 0.0);
    double value = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        const auto i = static_cast<std::size_t>(FPartOf[k]);
        if (FInLP[k] != 0 && i < ADualsByPart.size() && ADualsByPart[i] > 0.0) {
            duals[k] = ADualsByPart[i];
            value += duals[k] * FData->FPartAmounts[k];
        }
    }
    // Scaled so that no pattern of the relaxed problem is worth more than one tube, the duals are a
    // feasible dual solution: weak duality gives the bound. An abandoned maximum is infinite.
    Raise(value / std::max(1.0, FPricing->RelaxedMaximum(duals)), TSource::PassDuals);
}

void TTubeLowerBound::Solve() {
    if (!FData || StopRequested()) {
        return;
    }
    TColumnGenerationSolver solver;
    TColGenResult result;
    try {
        solver.DoSolve(*FData, result);
    } catch (const std::runtime_error&) {
        return; // too large a table: the bound stays as it is
    }
    Raise(solver.Statistics().LPLowerBound, TSource::ColumnGeneration);
}

} // namespace tubenest
