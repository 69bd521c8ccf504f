#pragma once
// Tolerant comparisons of the host geometry library. Every comparison of the engine passes its
// tolerance explicitly; a negative tolerance is allowed and tightens (fGreat/fSmall) or makes
// fEqual always false.

#include <cmath>
#include <vector>

namespace tubenest {

/// Dynamic array of doubles of the geometry library.
using TFloatDynArray = std::vector<double>;

/// True when a and b differ by at most eps.
inline bool fEqual(double a, double b, double eps) { return std::fabs(a - b) <= eps; }
inline bool fEqual(long double a, long double b, long double eps) { return std::fabs(a - b) <= eps; }

/// True when a exceeds b by more than eps (a > b + eps).
inline bool fGreat(double a, double b, double eps) { return a > b + eps; }
inline bool fGreat(long double a, long double b, long double eps) { return a > b + eps; }

/// True when a is below b by more than eps (a < b - eps).
inline bool fSmall(double a, double b, double eps) { return a < b - eps; }
inline bool fSmall(long double a, long double b, long double eps) { return a < b - eps; }

} // namespace tubenest
