#pragma once
// Small builders shared by the SVC tests.

#include <cstdint>
#include <vector>

#include "model/nest_types.h"
#include "svc/svc_nest.h"

namespace tubenest::svc_test {

inline TSVCNestPart Candidate(std::int32_t idx, double length, double value, std::int32_t amount) {
    TSVCNestPart p;
    p.Idx = idx;
    p.Length = length;
    p.Value = value;
    p.Amount = amount;
    return p;
}

/// Copies per 0-based part index of a part order.
inline std::vector<std::int32_t> Counts(const TIntDynArray& order, std::size_t parts) {
    std::vector<std::int32_t> c(parts, 0);
    for (const auto ref : order) {
        ++c.at(static_cast<std::size_t>((ref < 0 ? -ref : ref) - 1));
    }
    return c;
}

/// Sum of Value x Amount of a selection.
inline double SelectionValue(const TSVCNestParts& parts) {
    double v = 0.0;
    for (const auto& p : parts) {
        v += p.Value * p.Amount;
    }
    return v;
}

} // namespace tubenest::svc_test
