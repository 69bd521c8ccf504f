#pragma once
// Where a part may be cut in two: closed intervals of positions along a part (or along a tube segment
// into which several parts have been laid) at which a split cut may stand.
//
// Positions are millimetres: along the part from its front end for TSeparatableIntervals, along the
// segment from its start for TSeparatableIntervalsInSegment. Operations that return a list create a
// new object owned by the caller; arguments are left alone except where an operation sorts them in
// place (such arguments are taken by non-const reference or pointer).

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace tubenest {

/// A closed interval [ParamStart, ParamEnd]; empty when ParamStart > ParamEnd, a single position when
/// both are equal.
struct TClosedInterval {
    double ParamStart = 0.0;
    double ParamEnd = 0.0;

    /// [AStart, AEnd].
    static TClosedInterval Create(double AStart, double AEnd) { return TClosedInterval{AStart, AEnd}; }
    /// The point interval [APos - kPointHalfWidth, APos + kPointHalfWidth].
    static TClosedInterval Create(double APos);

    double GetLength() const { return ParamEnd - ParamStart; }
    bool IsEmpty() const { return ParamStart > ParamEnd; }
    /// ParamStart <= ANum <= ParamEnd, compared exactly.
    bool Contains(double ANum) const { return ParamStart <= ANum && ANum <= ParamEnd; }
    bool IsDisjoint(const TClosedInterval& AInterval) const {
        return ParamStart > AInterval.ParamEnd || AInterval.ParamStart > ParamEnd;
    }
    /// AResult := [max start, min end]; true when that is not empty.
    bool IntersectWith(const TClosedInterval& AInterval, TClosedInterval& AResult) const;
    /// Removes AInterval from this interval. Returns how many of AInterval's ends lie inside this
    /// interval: 2 -> ResInt1 and ResInt2 are the pieces left and right of it; 1 -> ResInt1 is the one
    /// piece left; 0 -> nothing is written (AInterval covers this interval or misses it). Pieces of
    /// zero length are kept.
    int Subtract(const TClosedInterval& AInterval, TClosedInterval& ResInt1, TClosedInterval& ResInt2) const;
    void MoveByOffset(double AOffset) {
        ParamStart += AOffset;
        ParamEnd += AOffset;
    }
    /// "[start,end]" with each number in the shortest text that reads back to the same double.
    std::string ToString() const;

    friend bool operator==(const TClosedInterval&, const TClosedInterval&) = default;
};

/// A list of closed intervals, sorted on demand by ParamStart.
class TSeparateIntervals {
public:
    /// Orders intervals by ParamStart only (ends are not compared).
    class TSeparateIntervalsComparer {
    public:
        static int Compare(const TClosedInterval& Left, const TClosedInterval& Right);
    };

    using value_type = TClosedInterval;
    using iterator = std::vector<TClosedInterval>::iterator;
    using const_iterator = std::vector<TClosedInterval>::const_iterator;

    /// Sum of the interval lengths as last computed by ResetLength.
    double FLength = 0.0;

    TSeparateIntervals() = default;
    TSeparateIntervals(std::initializer_list<TClosedInterval> AItems) : FItems(AItems) {}
    TSeparateIntervals(const TSeparateIntervals&) = default;
    TSeparateIntervals(TSeparateIntervals&&) = default;
    TSeparateIntervals& operator=(const TSeparateIntervals&) = default;
    TSeparateIntervals& operator=(TSeparateIntervals&&) = default;
    virtual ~TSeparateIntervals() = default;

    // List operations. Indices are checked; a bad index throws std::out_of_range.
    std::int32_t Add(const TClosedInterval& AItem);
    void AddRange(const TSeparateIntervals& AItems);
    void AddRange(const std::vector<TClosedInterval>& AItems);
    void Insert(std::int32_t Index, const TClosedInterval& AItem);
    void Delete(std::int32_t Index);
    void Clear() { FItems.clear(); }
    std::int32_t Count() const { return static_cast<std::int32_t>(FItems.size()); }
    bool IsEmpty() const { return FItems.empty(); }
    const TClosedInterval& Items(std::int32_t Index) const;
    TClosedInterval& Items(std::int32_t Index);
    const TClosedInterval& operator[](std::int32_t Index) const { return Items(Index); }
    TClosedInterval& operator[](std::int32_t Index) { return Items(Index); }
    /// First / last interval; throw std::out_of_range on an empty list.
    const TClosedInterval& First() const;
    const TClosedInterval& Last() const;
    /// Sorts by ParamStart (TSeparateIntervalsComparer); intervals with equal starts keep their order.
    void Sort();
    iterator begin() { return FItems.begin(); }
    iterator end() { return FItems.end(); }
    const_iterator begin() const { return FItems.begin(); }
    const_iterator end() const { return FItems.end(); }
    const std::vector<TClosedInterval>& ToVector() const { return FItems; }

    double IntervalLength() const { return FLength; }
    /// FLength := sum of GetLength over all intervals.
    void ResetLength();
    /// Sorts this list and splits it at ASplitPos into two new lists (same coordinates); an interval
    /// that holds ASplitPos goes to both halves, cut there.
    void SplitInto2Parts(double ASplitPos, std::unique_ptr<TSeparateIntervals>& LeftIntervals,
                         std::unique_ptr<TSeparateIntervals>& RightIntervals);
    /// Sorts this list and AIntervals and returns the pairwise intersections, in order.
    std::unique_ptr<TSeparateIntervals> IntersectWith(TSeparateIntervals& AIntervals);

protected:
    std::vector<TClosedInterval> FItems;
};

/// The separable stretches of one part, with the positions of its two ends (cut-offs).
class TSeparatableIntervals : public TSeparateIntervals {
public:
    double FFrontCutOffPos = 0.0;
    double FBackCutOffPos = 0.0;

    using TSeparateIntervals::TSeparateIntervals;

    double FrontCutOffPos() const { return FFrontCutOffPos; }
    double BackCutOffPos() const { return FBackCutOffPos; }

    /// Stores both positions and appends a point interval for each, front first.
    void SetCutOffPos(double AFrontCutOffPos, double ABackCutOffPos);
    /// Removes a forbidden stretch from every interval it meets (the list is not re-sorted).
    void AvoidInterval(const TClosedInterval& AInterval);
    /// True within kCircularTolerance of either cut-off position or inside some interval.
    bool IsPosSeparatable(double APos) const;
    /// Pulls the outer ends of the last and then the first interval in by AConnectLength, dropping an
    /// interval that becomes empty. Expects a sorted list.
    void SetConnectLength(double AConnectLength);
    /// 0 for an empty list, else GetACutPos at the middle of the two cut-off positions (not limited).
    double GetMidCutPos() const;
    /// The separable position nearest to APos (the list must be sorted). A tie goes to the start of
    /// the following stretch unless ALimitedPartLength; with ALimitedPartLength the result never lies
    /// beyond APos (0 when APos lies before the first stretch). An empty list gives 0.
    double GetACutPos(double APos, bool ALimitedPartLength) const;
};

/// The separable stretches of everything laid into one tube segment, in segment coordinates
/// 0 .. FSegLen.
class TSeparatableIntervalsInSegment : public TSeparateIntervals {
public:
    double FSegLen = 0.0;

    explicit TSeparatableIntervalsInSegment(double ASegLen) : FSegLen(ASegLen) {}

    /// A new segment list: this list plus the part's stretches shifted by AOffset (the part's front at
    /// segment position AOffset), clipped to 0 .. FSegLen; sorted, length reset.
    std::unique_ptr<TSeparatableIntervalsInSegment> AddPartIntervals(const TSeparatableIntervals& AIntervals,
                                                                     double AOffset);
    /// A new segment list: the intersection of this list (sorted in place) with AIntervals shifted by
    /// AOffset, exact duplicates removed.
    std::unique_ptr<TSeparatableIntervalsInSegment> IntersectWith(const TSeparateIntervals& AIntervals,
                                                                  double AOffset);
    /// False when this list or AIntervals is empty or AIntervals is null; else sorts both and tells
    /// whether AIntervals' first start is not beyond this list's last end. AOffset is not used.
    bool IsMinOffsetExists(TSeparateIntervals* AIntervals, double AOffset = 0.0);
    /// Sorts both lists and returns the smallest distance by which a stretch of AIntervals ends
    /// before a stretch of this list begins (0 within kCircularTolerance); the largest double when
    /// either list is empty or AIntervals is null. AOffset is not used.
    double GetMinOffset(TSeparateIntervals* AIntervals, double AOffset = 0.0);

    using TSeparateIntervals::IntersectWith;
};

} // namespace tubenest
