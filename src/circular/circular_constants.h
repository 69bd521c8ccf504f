#pragma once
// Fixed tolerances of the circular nesting.

namespace tubenest {

/// Tolerance of the length and position comparisons of the circular nesting (mm).
inline constexpr double kCircularTolerance = 0.01;
/// Half-width of a point interval: Create(APos) spans [APos - kPointHalfWidth, APos + kPointHalfWidth].
inline constexpr double kPointHalfWidth = 1e-6;

} // namespace tubenest
