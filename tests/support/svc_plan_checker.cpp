#include "support/svc_plan_checker.h"

#include <cmath>
#include <cstdlib>
#include <sstream>

namespace tubenest::test_support {

std::string TWholePartPlanReport::Text() const {
    std::ostringstream out;
    for (const auto& e : Errors) {
        out << e << '\n';
    }
    return out.str();
}

TWholePartPlanReport CheckWholePartPlan(const TNestResultList& Plan, const TGeneralNestPartArr& Parts,
                                        const TGeneralNestTubeArr& Tubes, const TSegPlaceInfoManager& Gaps,
                                        double Tolerance) {
    TWholePartPlanReport report;
    report.NestedAmounts.assign(Parts.size(), 0);
    report.TubesUsed.assign(Tubes.size(), 0);
    const auto nParts = static_cast<std::int64_t>(Parts.size());
    const auto nTubes = static_cast<std::int64_t>(Tubes.size());

    for (int r = 0; r < Plan.Count(); ++r) {
        const TNestResult& result = Plan[r];
        const std::string where = "pattern " + std::to_string(r) + ": ";
        if (result.FTubeIndex < 1 || result.FTubeIndex > nTubes) {
            report.Errors.push_back(where + "tube index " + std::to_string(result.FTubeIndex) +
                                    " outside 1.." + std::to_string(nTubes));
            continue;
        }
        if (result.FTubeCount < 1) {
            report.Errors.push_back(where + "tube count " + std::to_string(result.FTubeCount));
        }
        if (result.FPartOrder.empty()) {
            report.Errors.push_back(where + "no parts");
        }
        bool refsOk = true;
        for (const std::int32_t ref : result.FPartOrder) {
            if (ref == 0 || std::abs(static_cast<std::int64_t>(ref)) > nParts) {
                report.Errors.push_back(where + "part reference " + std::to_string(ref));
                refsOk = false;
            }
        }
        if (!refsOk) {
            continue;
        }
        const TGeneralNestTube& tube = Tubes[static_cast<std::size_t>(result.FTubeIndex - 1)];
        report.TubesUsed[static_cast<std::size_t>(result.FTubeIndex - 1)] += result.FTubeCount;
        for (const std::int32_t ref : result.FPartOrder) {
            report.NestedAmounts[static_cast<std::size_t>(std::abs(ref) - 1)] += result.FTubeCount;
        }

        TNestResult copy = result;
        Gaps.UpdateNestResultInfo(copy, Parts);
        double length = copy.FLengthUsed;
        if (tube.FNestedPartIdx > 0 && !result.FPartOrder.empty()) {
            length += Gaps.GetGap(tube.FNestedPartIdx, result.FPartOrder.front());
        }
        if (length > tube.FTubeInitialLen + Tolerance) {
            report.Errors.push_back(where + "uses " + std::to_string(length) + " mm of a " +
                                    std::to_string(tube.FTubeInitialLen) + " mm tube");
        }
        if (std::fabs(length - result.FLengthUsed) > Tolerance) {
            report.Errors.push_back(where + "reports " + std::to_string(result.FLengthUsed) +
                                    " mm used, real " + std::to_string(length));
        }
        if (!result.FPartPlaceData.empty()) {
            if (result.FPartPlaceData.size() != copy.FPartPlaceData.size()) {
                report.Errors.push_back(where + "place data holds " +
                                        std::to_string(result.FPartPlaceData.size()) + " records for " +
                                        std::to_string(result.FPartOrder.size()) + " parts");
            } else {
                for (std::size_t k = 0; k < copy.FPartPlaceData.size(); ++k) {
                    if (result.FPartPlaceData[k].ID != copy.FPartPlaceData[k].ID ||
                        result.FPartPlaceData[k].FixedGap != copy.FPartPlaceData[k].FixedGap) {
                        report.Errors.push_back(where + "place data " + std::to_string(k) +
                                                " differs from the gap manager");
                    }
                }
            }
        }
    }
    for (std::size_t p = 0; p < Parts.size(); ++p) {
        if (report.NestedAmounts[p] > Parts[p].FAmountAvail) {
            report.Errors.push_back("part " + std::to_string(p + 1) + ": nested " +
                                    std::to_string(report.NestedAmounts[p]) + " of " +
                                    std::to_string(Parts[p].FAmountAvail));
        }
    }
    for (std::size_t t = 0; t < Tubes.size(); ++t) {
        if (report.TubesUsed[t] > Tubes[t].FAmountAvail) {
            report.Errors.push_back("tube " + std::to_string(t + 1) + ": cut " +
                                    std::to_string(report.TubesUsed[t]) + " of " +
                                    std::to_string(Tubes[t].FAmountAvail));
        }
    }
    return report;
}

} // namespace tubenest::test_support
