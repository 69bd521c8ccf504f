#include "support/circular_plan_checker.h"

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <utility>

namespace tubenest::testsupport {

std::string TCircularPlanCheck::Report() const {
    std::ostringstream out;
    for (const auto& m : messages) {
        out << m << '\n';
    }
    return out.str();
}

TCircularPlanCheck CheckCircularPlan(const TGeneralNestPartArr& AParts, const TGeneralNestTubeArr& ATubes,
                                     const TSegPlaceInfoManager& AGaps, const TCADAutoNestParam& AParam,
                                     const TNestResultList& AResults, const TCutNestParts& ACutParts,
                                     const TCutPartsManager& AManager,
                                     const TCircularPlanCheckOptions& AOptions) {
    TCircularPlanCheck check;
    const auto fail = [&check](const std::string& message) {
        check.ok = false;
        check.messages.push_back(message);
    };
    const auto n = static_cast<std::int32_t>(AParts.size());
    const std::int32_t splits = ACutParts.Count();
    const std::int32_t extended = n + 2 * splits;

    // The manager must describe exactly these parts and splits.
    if (AManager.FOriPartCount != n || AManager.FTempPartCount != extended ||
        static_cast<std::int32_t>(AManager.FGeneralNestPartArr.size()) != extended ||
        AManager.FSegPlaceInfoManager == nullptr || AManager.FSegPlaceInfoManager->FPartCount < extended) {
        fail("cut parts manager does not match " + std::to_string(n) + " parts and " +
             std::to_string(splits) + " splits");
        return check;
    }
    for (std::int32_t c = 0; c < splits; ++c) {
        const TCutNestPart& cut = ACutParts[c];
        if (AManager.FCutNestPartList == nullptr || AManager.FCutNestPartList->Count() != splits ||
            (*AManager.FCutNestPartList)[c].From != cut.From ||
            (*AManager.FCutNestPartList)[c].Length != cut.Length) {
            fail("cut parts manager split " + std::to_string(c) + " differs from the returned split list");
            return check;
        }
        if (cut.From < 1 || cut.From > n) {
            fail("split " + std::to_string(c) + " names part " + std::to_string(cut.From));
            return check;
        }
        // Piece lengths: the front piece carries the joint of a Z-shaped or bevelled cut, the back
        // piece the other half of a Z-shaped one.
        const double whole = AParts[static_cast<std::size_t>(cut.From - 1)].FOuterlength;
        const std::int32_t shape = AParam.CutShape();
        const double frontExtra =
            shape == 1 ? AParam.ZShapeLength() * 0.5 : (shape == 2 ? AParam.BevelLength() : 0.0);
        const double backExtra = shape == 1 ? AParam.ZShapeLength() * 0.5 : 0.0;
        const double front = AManager.FGeneralNestPartArr[static_cast<std::size_t>(n + 2 * c)].FOuterlength;
        const double back =
            AManager.FGeneralNestPartArr[static_cast<std::size_t>(n + 2 * c + 1)].FOuterlength;
        if (std::fabs(front - (cut.Length + frontExtra)) > 1e-9 ||
            std::fabs(back - (whole - cut.Length + backExtra)) > 1e-9) {
            fail("split " + std::to_string(c) + ": piece lengths " + std::to_string(front) + " / " +
                 std::to_string(back) + " do not match the cut at " + std::to_string(cut.Length));
        }
    }
    // Between whole parts the manager answers what the host's gap manager answers.
    const TSegPlaceInfoManager& extendedGaps = *AManager.FSegPlaceInfoManager;
    for (std::int32_t a = 1; a <= n; ++a) {
        for (std::int32_t b = 1; b <= n; ++b) {
            for (const auto& [x, y] :
                 {std::pair{a, b}, std::pair{-a, b}, std::pair{a, -b}, std::pair{-a, -b}}) {
                if (extendedGaps.GetGap(x, y) != AGaps.GetGap(x, y)) {
                    fail("cut parts manager gap (" + std::to_string(x) + ", " + std::to_string(y) +
                         ") differs from the host's");
                    return check;
                }
            }
        }
    }

    const TSegPlaceInfoManager& gaps = *AManager.FSegPlaceInfoManager;
    const TGeneralNestPartArr& parts = AManager.FGeneralNestPartArr;
    std::vector<std::int32_t> whole(static_cast<std::size_t>(n), 0);
    std::vector<std::int32_t> fronts(static_cast<std::size_t>(splits), 0);
    std::vector<std::int32_t> backs(static_cast<std::size_t>(splits), 0);
    std::vector<std::int32_t> tubeUse(ATubes.size(), 0);

    for (std::int32_t i = 0; i < AResults.Count(); ++i) {
        const TNestResult& r = AResults[i];
        const std::string name =
            "result " + std::to_string(i) + " (tube " + std::to_string(r.FTubeIndex) + ")";
        if (r.FTubeIndex < 1 || r.FTubeIndex > static_cast<std::int32_t>(ATubes.size())) {
            fail(name + ": no such tube entry");
            check.usedLengths.push_back(0.0);
            continue;
        }
        if (r.FTubeCount < 1) {
            fail(name + ": tube count " + std::to_string(r.FTubeCount));
        }
        if (r.FPartOrder.empty()) {
            fail(name + ": empty part order");
        }
        tubeUse[static_cast<std::size_t>(r.FTubeIndex - 1)] += r.FTubeCount;
        bool refsOk = true;
        for (const std::int32_t ref : r.FPartOrder) {
            const std::int32_t a = std::abs(ref);
            if (ref == 0 || a > extended) {
                fail(name + ": part reference " + std::to_string(ref) + " outside 1.." +
                     std::to_string(extended));
                refsOk = false;
                continue;
            }
            if (a <= n) {
                whole[static_cast<std::size_t>(a - 1)] += r.FTubeCount;
            } else if ((a - n - 1) % 2 == 0) {
                fronts[static_cast<std::size_t>((a - n - 1) / 2)] += r.FTubeCount;
            } else {
                backs[static_cast<std::size_t>((a - n - 1) / 2)] += r.FTubeCount;
            }
        }
        double used = 0.0;
        if (refsOk && !r.FPartOrder.empty()) {
            used = parts[static_cast<std::size_t>(std::abs(r.FPartOrder[0]) - 1)].FOuterlength;
            for (std::size_t k = 1; k < r.FPartOrder.size(); ++k) {
                used += gaps.GetGap(r.FPartOrder[k - 1], r.FPartOrder[k]) +
                        parts[static_cast<std::size_t>(std::abs(r.FPartOrder[k]) - 1)].FOuterlength;
            }
            const double tubeLen = ATubes[static_cast<std::size_t>(r.FTubeIndex - 1)].FTubeInitialLen;
            if (used > tubeLen + AOptions.Tolerance) {
                std::ostringstream m;
                m.precision(10);
                m << name << ": used " << used << " exceeds the tube " << tubeLen << " by " << used - tubeLen;
                fail(m.str());
            }
            if (AOptions.CheckStoredLengths && std::fabs(used - r.FLengthUsed) > 1e-6) {
                std::ostringstream m;
                m.precision(10);
                m << name << ": FLengthUsed " << r.FLengthUsed << " but the order needs " << used;
                fail(m.str());
            }
        }
        check.usedLengths.push_back(used);
    }

    for (std::size_t e = 0; e < ATubes.size(); ++e) {
        if (tubeUse[e] > ATubes[e].FAmountAvail) {
            fail("tube entry " + std::to_string(e + 1) + " used " + std::to_string(tubeUse[e]) +
                 " times, has " + std::to_string(ATubes[e].FAmountAvail));
        }
    }

    std::vector<std::int32_t> placed = whole;
    for (std::int32_t c = 0; c < splits; ++c) {
        const TCutNestPart& cut = ACutParts[c];
        const auto fc = fronts[static_cast<std::size_t>(c)];
        const auto bc = backs[static_cast<std::size_t>(c)];
        if (fc != bc) {
            fail("split " + std::to_string(c) + " of part " + std::to_string(cut.From) + ": " +
                 std::to_string(fc) + " front pieces, " + std::to_string(bc) + " back pieces");
        }
        if (cut.Amount != std::min(fc, bc)) {
            fail("split " + std::to_string(c) + " of part " + std::to_string(cut.From) + " records amount " +
                 std::to_string(cut.Amount) + ", " + std::to_string(std::min(fc, bc)) + " pairs placed");
        }
        placed[static_cast<std::size_t>(cut.From - 1)] += std::min(fc, bc);
        check.splitPairs += std::min(fc, bc);
        const double length = AParts[static_cast<std::size_t>(cut.From - 1)].FOuterlength;
        if (AOptions.Intervals != nullptr) {
            const TSeparatableIntervals* list = (*AOptions.Intervals)[static_cast<std::size_t>(cut.From - 1)];
            bool separable = false;
            if (list != nullptr) {
                for (const TClosedInterval& item : *list) {
                    if (cut.Length >= item.ParamStart - AOptions.Tolerance - 1e-6 &&
                        cut.Length <= item.ParamEnd + AOptions.Tolerance + 1e-6) {
                        separable = true;
                    }
                }
            }
            if (!separable || !(cut.Length > 1.1) || !(cut.Length < length)) {
                std::ostringstream m;
                m << "split " << c << " of part " << cut.From << " at " << cut.Length
                  << " is not a separable position inside the part (length " << length << ")";
                fail(m.str());
            }
        }
    }

    check.placedPerPart.assign(static_cast<std::size_t>(n), 0);
    check.unplacedPerPart.assign(static_cast<std::size_t>(n), 0);
    for (std::int32_t k = 0; k < n; ++k) {
        const std::int32_t required = AParts[static_cast<std::size_t>(k)].FAmountAvail;
        const std::int32_t p = placed[static_cast<std::size_t>(k)];
        check.placedPerPart[static_cast<std::size_t>(k)] = p;
        check.placed += p;
        if (p > required) {
            fail("part " + std::to_string(k + 1) + " placed " + std::to_string(p) + " times, required " +
                 std::to_string(required));
        } else if (p < required) {
            check.unplacedPerPart[static_cast<std::size_t>(k)] = required - p;
            check.unplaced += required - p;
            if (!AOptions.AllowUnplaced) {
                fail("part " + std::to_string(k + 1) + ": " + std::to_string(required - p) + " of " +
                     std::to_string(required) + " copies not placed");
            }
        }
    }
    return check;
}

} // namespace tubenest::testsupport
