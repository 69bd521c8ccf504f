#include "ordersearch/nest_adjust_tool.h"

#include <algorithm>
#include <vector>

#include "model/nest_progress.h"

namespace tubenest {

bool TNestAdjustTool::CalcTsp(TIntDynArray& AOrder, const TSegPlaceInfoManager& SegPlaceInfo,
                              std::int32_t NestedPartIdx, bool Reverse, bool TailFixed) {
    const int n = static_cast<int>(AOrder.size());
    if (n == 0) {
        return false;
    }
    const int M = TailFixed ? n - 1 : n;
    auto& o = AOrder;
    auto gap = [&SegPlaceInfo](std::int32_t a, std::int32_t b) { return SegPlaceInfo.GetGap(a, b); };
    // Copies of one part in one direction: moving blocks changes nothing, and turning a segment
    // gains only when a turned neighbour needs a smaller gap. Where it cannot, skip the search
    // (a tube of a thousand short copies would otherwise cost seconds).
    if (std::all_of(o.begin(), o.end(), [&o](std::int32_t r) { return r == o.front(); })) {
        const std::int32_t x = o.front();
        const double same = gap(x, x);
        const bool turnGains =
            Reverse &&
            (gap(x, -x) < same - kTspGain || gap(-x, x) < same - kTspGain || gap(-x, -x) < same - kTspGain ||
             (NestedPartIdx >= 1 && gap(NestedPartIdx, -x) < gap(NestedPartIdx, x)));
        if (!turnGains) {
            return false;
        }
    }
    // Work bound: the block moves cost O(n^3) per pass. After this many evaluated moves the
    // search ends with the order it has (every accepted move already shortened it).
    std::int64_t budget = kTspMoveBudget;
    // Gap between whatever stands before position i and part x placed at i.
    auto leftGap = [&](int i, std::int32_t x) {
        if (i > 0) {
            return gap(o[static_cast<std::size_t>(i - 1)], x);
        }
        return NestedPartIdx >= 1 ? gap(NestedPartIdx, x) : 0.0;
    };
    auto at = [&o](int i) { return o[static_cast<std::size_t>(i)]; };

    // A segment read backwards with every part turned needs the same inner gaps whenever the table is
    // mirror-consistent. A host table may still hold two different records for a part followed by
    // itself in either direction, so the change inside a turned segment is counted exactly through
    // prefix sums: every accepted move then really shortens the order, and the search always ends.
    std::vector<double> inner(static_cast<std::size_t>(n), 0.0);
    auto rebuildInner = [&]() {
        for (int t = 0; t + 1 < n; ++t) {
            inner[static_cast<std::size_t>(t + 1)] =
                inner[static_cast<std::size_t>(t)] + gap(-at(t + 1), -at(t)) - gap(at(t), at(t + 1));
        }
    };

    bool changed = false;
    std::vector<std::int32_t> scratch;
    scratch.reserve(static_cast<std::size_t>(n));
    bool moved = true;
    while (moved) {
        moved = false;
        if (Reverse) {
            rebuildInner();
            for (int i = 0; i < M; ++i) {
                if (StopRequested() || (budget -= M - i) < 0) {
                    return changed || moved;
                }
                for (int j = i; j < M; ++j) {
                    const bool hasNext = j + 1 < n;
                    const double before = leftGap(i, at(i)) + (hasNext ? gap(at(j), at(j + 1)) : 0.0);
                    const double after =
                        leftGap(i, -at(j)) + (hasNext ? gap(-at(i), at(j + 1)) : 0.0) +
                        (inner[static_cast<std::size_t>(j)] - inner[static_cast<std::size_t>(i)]);
                    if (before - after > kTspGain) {
                        std::reverse(o.begin() + i, o.begin() + j + 1);
                        for (int k = i; k <= j; ++k) {
                            o[static_cast<std::size_t>(k)] = -o[static_cast<std::size_t>(k)];
                        }
                        rebuildInner();
                        moved = true;
                    }
                }
            }
        }
        for (int i = 0; i + 1 < M; ++i) {
            if (StopRequested()) {
                return changed || moved;
            }
            for (int j = i; j + 1 < M; ++j) {
                if ((budget -= M - j - 1) < 0) {
                    return changed || moved;
                }
                for (int k = j + 1; k < M; ++k) {
                    const bool hasNext = k + 1 < n;
                    const double before =
                        leftGap(i, at(i)) + gap(at(j), at(j + 1)) + (hasNext ? gap(at(k), at(k + 1)) : 0.0);
                    const double after =
                        leftGap(i, at(j + 1)) + gap(at(k), at(i)) + (hasNext ? gap(at(j), at(k + 1)) : 0.0);
                    if (before - after > kTspGain) {
                        // o[0..i-1], o[j+1..k], o[i..j], o[k+1..]: the two blocks swap places.
                        std::rotate(o.begin() + i, o.begin() + j + 1, o.begin() + k + 1);
                        moved = true;
                    }
                }
            }
        }
        changed = changed || moved;
    }
    return changed;
}

bool TNestAdjustTool::TryOptimizePartPos(TIntDynArray& NewOrder, const TSegPlaceInfoManager& PartsCalInfo,
                                         double /*TubeLen*/, double& NewLenAvl, bool DisableReverse) {
    auto& o = NewOrder;
    auto gap = [&PartsCalInfo](std::int32_t a, std::int32_t b) { return PartsCalInfo.GetGap(a, b); };
    auto at = [&o](int i) { return o[static_cast<std::size_t>(i)]; };
    const double startAvl = NewLenAvl;

    bool passMoved = true;
    while (passMoved) {
        passMoved = false;
        for (int i = 0; i < static_cast<int>(o.size()) - 1; ++i) {
            const int n = static_cast<int>(o.size());
            for (int j = 0; j < n; ++j) {
                if (j == i) {
                    if (i >= 1 && !DisableReverse) {
                        const std::int32_t p = at(i);
                        const double saving =
                            gap(at(i - 1), p) + gap(p, at(i + 1)) - gap(at(i - 1), -p) - gap(-p, at(i + 1));
                        if (saving > 0.1) {
                            o[static_cast<std::size_t>(i)] = -p;
                            NewLenAvl += saving;
                            passMoved = true;
                        }
                    }
                    continue;
                }
                // Saving of taking part i out and inserting it at j, with part i laid as x.
                auto savingFor = [&](std::int32_t x) {
                    const std::int32_t p = at(i);
                    double before = gap(p, at(i + 1));
                    double after = 0.0;
                    if (i > 0) {
                        before += gap(at(i - 1), p);
                        after += gap(at(i - 1), at(i + 1));
                    }
                    if (j > i) {
                        after += gap(at(j), x);
                        if (j < n - 1) {
                            before += gap(at(j), at(j + 1));
                            after += gap(x, at(j + 1));
                        }
                    } else {
                        after += gap(x, at(j));
                        if (j > 0) {
                            before += gap(at(j - 1), at(j));
                            after += gap(at(j - 1), x);
                        }
                    }
                    return before - after;
                };
                bool turned = false;
                double saving = savingFor(at(i));
                if (saving <= 0.001 && !DisableReverse) {
                    saving = savingFor(-at(i));
                    turned = true;
                }
                if (saving > 0.1) {
                    NewLenAvl += saving;
                    std::int32_t p = at(i);
                    if (turned) {
                        p = -p;
                    }
                    o.erase(o.begin() + i);
                    o.insert(o.begin() + j, p);
                    passMoved = true;
                    break;
                }
            }
        }
    }
    return NewLenAvl > startAvl;
}

void TNestAdjustTool::MergeSameResults(TNestResultList& ANestResults) {
    for (int i = ANestResults.Count() - 1; i >= 1; --i) {
        for (int j = 0; j < i; ++j) {
            if (ANestResults[i].IsSameNestResult(ANestResults[j])) {
                ANestResults[j].FTubeCount += ANestResults[i].FTubeCount;
                ANestResults.Delete(i);
                break;
            }
        }
    }
}

} // namespace tubenest
