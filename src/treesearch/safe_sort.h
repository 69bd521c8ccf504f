#pragma once
// A stable merge sort for comparers that are not strict weak orders. The neighbour and placement
// record orders of the tree search compare with tolerances, so "equal" is not transitive and the
// standard sorts, which require a strict weak order, have undefined behaviour with them (std::sort
// can run past the end of the range). This sort only asks whether the right element comes strictly
// before the left one, always stays within bounds, keeps equal elements in their order and ends
// after O(n log n) comparisons whatever the comparer answers.

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

namespace tubenest {

/// Sorts AItems so that an element moves before an earlier one only when ACompare(later, earlier) < 0.
template <typename T, typename Compare>
void SafeStableSort(std::vector<T>& AItems, Compare ACompare) {
    const std::size_t n = AItems.size();
    if (n < 2) {
        return;
    }
    std::vector<T> buffer(AItems.begin(), AItems.end());
    std::vector<T>* from = &AItems;
    std::vector<T>* to = &buffer;
    for (std::size_t width = 1; width < n; width *= 2) {
        for (std::size_t lo = 0; lo < n; lo += 2 * width) {
            const std::size_t mid = std::min(lo + width, n);
            const std::size_t hi = std::min(lo + 2 * width, n);
            std::size_t a = lo;
            std::size_t b = mid;
            std::size_t out = lo;
            while (a < mid && b < hi) {
                (*to)[out++] = ACompare((*from)[b], (*from)[a]) < 0 ? (*from)[b++] : (*from)[a++];
            }
            while (a < mid) {
                (*to)[out++] = (*from)[a++];
            }
            while (b < hi) {
                (*to)[out++] = (*from)[b++];
            }
        }
        std::swap(from, to);
    }
    if (from != &AItems) {
        AItems = std::move(*from);
    }
}

} // namespace tubenest
