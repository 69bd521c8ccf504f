#pragma once
// An independent check of tail-qualified patterns: recomputed from the parts, tubes, gap manager
// and parameter record alone (gaps summed directly, the window and the mode's rule restated).

#include <cstdlib>
#include <string>
#include <vector>

#include "host/cad_param.h"
#include "model/nest_result.h"
#include "model/nest_types.h"
#include "model/seg_place_info.h"

namespace tubenest::tailtest {

inline bool InWindow(const TGeneralNestPartArr& parts, const TCADAutoNestParam& param, std::int32_t ref) {
    const double len = parts.at(static_cast<std::size_t>(std::abs(ref) - 1)).FOuterlength;
    return len >= param.SpecMinLength() - 1e-6 && len <= param.SpecMaxLength() + 1e-6;
}

inline double Length(const TGeneralNestPartArr& parts, const TSegPlaceInfoManager& gaps, const TIntDynArray& order,
                     std::size_t from, std::size_t to) {
    double len = 0.0;
    for (std::size_t k = from; k < to; ++k) {
        len += parts.at(static_cast<std::size_t>(std::abs(order[k]) - 1)).FOuterlength;
        if (k > from) {
            len += gaps.GetA1B1Info(order[k - 1], order[k]).FixedGap;
        }
    }
    return len;
}

/// Errors of the flagged patterns of a list: spec parts not forming the tail, or the mode's rule broken.
inline std::vector<std::string> CheckFlaggedTails(const TNestResultList& list, const TGeneralNestPartArr& parts,
                                                  const TGeneralNestTubeArr& tubes,
                                                  const TSegPlaceInfoManager& gaps, const TCADAutoNestParam& param) {
    std::vector<std::string> errors;
    for (int i = 0; i < list.Count(); ++i) {
        const TNestResult& r = list[i];
        if (!r.FIsTailPlacedQualified) {
            continue;
        }
        const std::string name = "pattern " + std::to_string(i);
        const TIntDynArray& o = r.FPartOrder;
        std::size_t first = o.size();
        for (std::size_t k = 0; k < o.size(); ++k) {
            if (InWindow(parts, param, o[k])) {
                first = k;
                break;
            }
        }
        for (std::size_t k = first; k < o.size(); ++k) {
            if (!InWindow(parts, param, o[k])) {
                errors.push_back(name + ": a part outside the window stands among the tail parts");
            }
        }
        const double tube = tubes.at(static_cast<std::size_t>(r.FTubeIndex - 1)).FTubeInitialLen;
        const double used = Length(parts, gaps, o, 0, o.size());
        const double spec = Length(parts, gaps, o, first, o.size());
        if (used > tube + 0.01) {
            errors.push_back(name + ": longer than its tube");
        }
        switch (param.TailPlaceMode()) {
        case 1:
            if (tube - used + spec < param.TailLength() - 1e-6) {
                errors.push_back(name + ": tail parts and free rest shorter than the tail length");
            }
            break;
        case 2:
            if (first == o.size() && !(tube - used > param.SpecMinLength() + 1e-6)) {
                errors.push_back(name + ": no tail part and no room for one");
            }
            break;
        default:
            errors.push_back(name + ": flagged although the mode qualifies nothing");
        }
    }
    return errors;
}

inline std::string Join(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& l : lines) {
        out += l + "\n";
    }
    return out;
}

} // namespace tubenest::tailtest
