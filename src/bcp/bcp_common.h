#pragma once
// Small helpers shared by the generic branch-cut-price solver.

#include <cmath>
#include <concepts>
#include <memory>

#include "host/bcp_base.h"
#include "host/lp_solver.h"
#include "model/assertion.h"

namespace tubenest {

/// Module named by the assertions of the generic solver.
inline constexpr const char* kBCPModule = "uBCPBase";

/// What the generic solver asks of a column type.
template <class T>
concept BCPColumn = std::derived_from<T, TBCPVariable>;

/// x rounded to the nearest integer, halves to even (the default rounding mode).
inline double Nearest(double x) {
    return std::nearbyint(x);
}

/// A deep copy of a column as its own type.
template <BCPColumn T>
std::unique_ptr<T> CloneColumn(const T& AVar) {
    std::unique_ptr<TBCPVariable> copy = AVar.Clone();
    TUBENEST_ASSERT(dynamic_cast<T*>(copy.get()) != nullptr, kBCPModule,
                    "Clone returned a column of another type");
    return std::unique_ptr<T>(static_cast<T*>(copy.release()));
}

} // namespace tubenest
