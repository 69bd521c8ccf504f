#include "api/gap_model.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>
#include <utility>

namespace tubenest::api {
namespace {

/// Looks up end types, end-pair rules and explicit records of one problem.
class GapRules {
public:
    explicit GapRules(const Problem& problem) : problem_(problem) {
        for (const auto& e : problem.gaps.end_types) {
            clearance_[e.name] = e.clearance;
        }
        for (const auto& r : problem.gaps.end_pairs) {
            endPairs_[{r.first, r.second}] = &r;
            endPairs_[{r.second, r.first}] = &r;
        }
    }

    /// Rules 2 and 3 (end-pair rule, else the clearance rule); explicit records are applied later.
    TNestBaseInfo ByEnds(std::int32_t a, std::int32_t b) const {
        const PartSpec& pa = Part(a);
        const PartSpec& pb = Part(b);
        const std::string& trailing = a > 0 ? pa.end_b : pa.end_a;
        const std::string& leading = b > 0 ? pb.end_a : pb.end_b;
        TNestBaseInfo rec;
        rec.Caled = true;
        if (auto it = endPairs_.find({trailing, leading}); it != endPairs_.end()) {
            const EndPairRule& r = *it->second;
            rec.FixedGap = r.gap;
            rec.IsCommon = r.common_cut;
            rec.CommonLength = r.common_length;
            rec.IsLandCommonLen = r.land_common_length;
            rec.CommonStyle = r.common_style;
        } else {
            rec.FixedGap = std::max(problem_.gaps.kerf, Clearance(trailing) + Clearance(leading));
        }
        rec.ZGap = rec.FixedGap;
        return rec;
    }

    static TNestBaseInfo Explicit(const PairGap& r) {
        TNestBaseInfo rec;
        rec.FixedGap = r.gap;
        rec.ZGap = r.z_gap.value_or(r.gap);
        rec.IsCommon = r.common_cut;
        rec.CommonLength = r.common_length;
        rec.IsLandCommonLen = r.land_common_length;
        rec.Rotation = r.rotation;
        rec.CommonStyle = r.common_style;
        rec.Caled = true;
        return rec;
    }

private:
    const PartSpec& Part(std::int32_t ref) const {
        return problem_.parts.at(static_cast<std::size_t>(std::abs(ref)) - 1);
    }
    double Clearance(const std::string& type) const {
        if (type.empty()) {
            return 0.0;
        }
        auto it = clearance_.find(type);
        return it == clearance_.end() ? 0.0 : it->second;
    }

    const Problem& problem_;
    std::map<std::string, double> clearance_;
    std::map<std::pair<std::string, std::string>, const EndPairRule*> endPairs_;
};

std::map<std::string, std::int32_t> PartRefs(const Problem& problem) {
    std::map<std::string, std::int32_t> refs;
    for (std::size_t i = 0; i < problem.parts.size(); ++i) {
        refs.emplace(problem.parts[i].id, static_cast<std::int32_t>(i) + 1);
    }
    return refs;
}

std::pair<std::int32_t, std::int32_t> ExplicitRefs(const std::map<std::string, std::int32_t>& refs,
                                                   const PairGap& r) {
    const std::int32_t a = refs.at(r.first);
    const std::int32_t b = refs.at(r.second);
    return {r.first_turned ? -a : a, r.second_turned ? -b : b};
}

} // namespace

TCADAutoNestParam BuildNestParam(const Problem& problem) {
    const NestingParameters& p = problem.parameters;
    TCADAutoNestParam param;
    param.SetDefaultPartGap(problem.DefaultPartGap());
    param.SetDisableReverse(p.disable_reverse);
    param.SetTargetLostRate(p.target_lost_rate);
    param.SetCutShape(static_cast<std::int32_t>(p.cut_shape));
    param.SetZShapeLength(p.z_shape_length);
    param.SetZShapeOffset(p.z_shape_offset);
    param.SetDisAllowance(p.dis_allowance);
    param.SetBevelLength(p.bevel_length);
    if (problem.tail) {
        const TailRules& t = *problem.tail;
        param.SetTailPlaceMode(static_cast<std::int32_t>(t.mode));
        param.SetSpecMinLength(t.min_length);
        param.SetSpecMaxLength(t.max_length);
        param.SetTailPlaceStrategy(static_cast<std::int32_t>(t.strategy));
        param.SetTailLength(t.tail_length);
    }
    return param;
}

TNestBaseInfo GapRecordFor(const Problem& problem, std::int32_t a, std::int32_t b) {
    const auto refs = PartRefs(problem);
    for (const PairGap& r : problem.gaps.pairs) {
        const auto [x, y] = ExplicitRefs(refs, r);
        if ((x == a && y == b) || (x == -b && y == -a)) {
            return GapRules::Explicit(r);
        }
    }
    return GapRules(problem).ByEnds(a, b);
}

std::unique_ptr<TSegPlaceInfoManager> BuildGapManager(const Problem& problem,
                                                      const TCADAutoNestParam& param) {
    const auto n = static_cast<std::int32_t>(problem.parts.size());
    auto manager = std::make_unique<TSegPlaceInfoManager>(n, param);
    manager->InitTable();
    const GapRules rules(problem);
    for (std::int32_t i = 0; i < n; ++i) {
        for (std::int32_t j = 0; j <= i; ++j) {
            // Entry [i][j] has part i + 1 as part 1; the references below are those that
            // GetA1B1Info maps onto each of its four fields.
            const std::int32_t p1 = i + 1;
            const std::int32_t p2 = j + 1;
            TSegPlaceInfo info;
            info.A1B1_A2B2 = rules.ByEnds(p1, p2);
            info.A2B2_A1B1 = rules.ByEnds(p2, p1);
            info.A1B1_B2A2 = rules.ByEnds(p1, -p2);
            info.B2A2_A1B1 = rules.ByEnds(-p2, p1);
            info.A1B1_A2B2.ID = kA1B1_A2B2;
            info.A2B2_A1B1.ID = kA2B2_A1B1;
            info.A1B1_B2A2.ID = kA1B1_B2A2;
            info.B2A2_A1B1.ID = kB2A2_A1B1;
            manager->SetSegPlaceInfo(i, j, info);
        }
    }
    const auto refs = PartRefs(problem);
    for (const PairGap& r : problem.gaps.pairs) {
        const auto [a, b] = ExplicitRefs(refs, r);
        TNestBaseInfo rec = GapRules::Explicit(r);
        rec.ID = manager->GetA1B1InfoRef(a, b).ID;
        manager->SetA1B1Info(a, b, rec);
    }
    manager->FPartLengths.clear();
    for (const auto& part : problem.parts) {
        manager->FPartLengths.push_back(part.length);
    }
    manager->InitializePartGaps();
    return manager;
}

std::unique_ptr<TSegPlaceInfoManager> BuildGapManager(const Problem& problem) {
    return BuildGapManager(problem, BuildNestParam(problem));
}

} // namespace tubenest::api
