#include "circular/separable_intervals.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

#include "circular/circular_constants.h"
#include "host/geometry.h"

namespace tubenest {
namespace {

std::string ShortestText(double AValue) {
    std::array<char, 32> buffer{};
    const auto [ptr, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), AValue);
    if (ec != std::errc{}) {
        throw std::logic_error("interval text: number does not fit the buffer");
    }
    return std::string(buffer.data(), ptr);
}

[[noreturn]] void ThrowBadIndex(const char* AWhat, std::int32_t AIndex, std::int32_t ACount) {
    throw std::out_of_range(std::string(AWhat) + ": index " + std::to_string(AIndex) + " outside 0.." +
                            std::to_string(ACount - 1));
}

} // namespace

// ---------------------------------------------------------------------------------------------------
// TClosedInterval

TClosedInterval TClosedInterval::Create(double APos) {
    return TClosedInterval{APos - kPointHalfWidth, APos + kPointHalfWidth};
}

bool TClosedInterval::IntersectWith(const TClosedInterval& AInterval, TClosedInterval& AResult) const {
    AResult.ParamStart = std::max(ParamStart, AInterval.ParamStart);
    AResult.ParamEnd = std::min(ParamEnd, AInterval.ParamEnd);
    return AResult.ParamEnd >= AResult.ParamStart;
}

int TClosedInterval::Subtract(const TClosedInterval& AInterval, TClosedInterval& ResInt1,
                              TClosedInterval& ResInt2) const {
    const bool c1 = Contains(AInterval.ParamStart);
    const bool c2 = Contains(AInterval.ParamEnd);
    if (c1 && c2) {
        ResInt1 = Create(ParamStart, AInterval.ParamStart);
        ResInt2 = Create(AInterval.ParamEnd, ParamEnd);
        return 2;
    }
    if (c1) {
        ResInt1 = Create(ParamStart, AInterval.ParamStart);
        return 1;
    }
    if (c2) {
        ResInt1 = Create(AInterval.ParamEnd, ParamEnd);
        return 1;
    }
    return 0;
}

std::string TClosedInterval::ToString() const {
    return "[" + ShortestText(ParamStart) + "," + ShortestText(ParamEnd) + "]";
}

// ---------------------------------------------------------------------------------------------------
// TSeparateIntervals

int TSeparateIntervals::TSeparateIntervalsComparer::Compare(const TClosedInterval& Left,
                                                            const TClosedInterval& Right) {
    if (Left.ParamStart > Right.ParamStart) {
        return 1;
    }
    if (Right.ParamStart > Left.ParamStart) {
        return -1;
    }
    return 0;
}

std::int32_t TSeparateIntervals::Add(const TClosedInterval& AItem) {
    FItems.push_back(AItem);
    return Count() - 1;
}

void TSeparateIntervals::AddRange(const TSeparateIntervals& AItems) {
    // Copy first: AItems may be this list.
    const std::vector<TClosedInterval> items = AItems.FItems;
    FItems.insert(FItems.end(), items.begin(), items.end());
}

void TSeparateIntervals::AddRange(const std::vector<TClosedInterval>& AItems) {
    const std::vector<TClosedInterval> items = AItems;
    FItems.insert(FItems.end(), items.begin(), items.end());
}

void TSeparateIntervals::Insert(std::int32_t Index, const TClosedInterval& AItem) {
    if (Index < 0 || Index > Count()) {
        ThrowBadIndex("interval list insert", Index, Count() + 1);
    }
    FItems.insert(FItems.begin() + Index, AItem);
}

void TSeparateIntervals::Delete(std::int32_t Index) {
    if (Index < 0 || Index >= Count()) {
        ThrowBadIndex("interval list delete", Index, Count());
    }
    FItems.erase(FItems.begin() + Index);
}

const TClosedInterval& TSeparateIntervals::Items(std::int32_t Index) const {
    if (Index < 0 || Index >= Count()) {
        ThrowBadIndex("interval list", Index, Count());
    }
    return FItems[static_cast<std::size_t>(Index)];
}

TClosedInterval& TSeparateIntervals::Items(std::int32_t Index) {
    if (Index < 0 || Index >= Count()) {
        ThrowBadIndex("interval list", Index, Count());
    }
    return FItems[static_cast<std::size_t>(Index)];
}

const TClosedInterval& TSeparateIntervals::First() const {
    if (FItems.empty()) {
        throw std::out_of_range("interval list: First of an empty list");
    }
    return FItems.front();
}

const TClosedInterval& TSeparateIntervals::Last() const {
    if (FItems.empty()) {
        throw std::out_of_range("interval list: Last of an empty list");
    }
    return FItems.back();
}

void TSeparateIntervals::Sort() {
    std::stable_sort(FItems.begin(), FItems.end(), [](const TClosedInterval& l, const TClosedInterval& r) {
        return TSeparateIntervalsComparer::Compare(l, r) < 0;
    });
}

void TSeparateIntervals::ResetLength() {
    FLength = 0.0;
    for (const TClosedInterval& item : FItems) {
        FLength += item.GetLength();
    }
}

void TSeparateIntervals::SplitInto2Parts(double ASplitPos, std::unique_ptr<TSeparateIntervals>& LeftIntervals,
                                         std::unique_ptr<TSeparateIntervals>& RightIntervals) {
    Sort();
    auto left = std::make_unique<TSeparateIntervals>();
    auto right = std::make_unique<TSeparateIntervals>();
    bool stillLeft = true;
    for (const TClosedInterval& item : FItems) {
        if (item.ParamEnd >= ASplitPos) {
            stillLeft = false;
            if (ASplitPos >= item.ParamStart) {
                left->Add(TClosedInterval::Create(item.ParamStart, ASplitPos));
                right->Add(TClosedInterval::Create(ASplitPos, item.ParamEnd));
            } else {
                right->Add(item);
            }
        } else if (stillLeft) {
            left->Add(item);
        } else {
            right->Add(item);
        }
    }
    left->Sort();
    right->Sort();
    left->ResetLength();
    right->ResetLength();
    LeftIntervals = std::move(left);
    RightIntervals = std::move(right);
}

std::unique_ptr<TSeparateIntervals> TSeparateIntervals::IntersectWith(TSeparateIntervals& AIntervals) {
    Sort();
    AIntervals.Sort();
    auto result = std::make_unique<TSeparateIntervals>();
    // With AIntervals == *this both indices walk the same (now sorted) list, which is fine.
    const std::vector<TClosedInterval>& mine = FItems;
    const std::vector<TClosedInterval>& theirs = AIntervals.FItems;
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < mine.size() && j < theirs.size()) {
        TClosedInterval common;
        if (mine[i].IntersectWith(theirs[j], common)) {
            result->Add(common);
            if (theirs[j].ParamEnd > mine[i].ParamEnd) {
                ++i;
            } else {
                ++j;
            }
        } else if (theirs[j].ParamStart > mine[i].ParamStart) {
            ++i;
        } else {
            ++j;
        }
    }
    result->ResetLength();
    return result;
}

// ---------------------------------------------------------------------------------------------------
// TSeparatableIntervals

void TSeparatableIntervals::SetCutOffPos(double AFrontCutOffPos, double ABackCutOffPos) {
    FFrontCutOffPos = AFrontCutOffPos;
    FBackCutOffPos = ABackCutOffPos;
    Add(TClosedInterval::Create(AFrontCutOffPos));
    Add(TClosedInterval::Create(ABackCutOffPos));
}

void TSeparatableIntervals::AvoidInterval(const TClosedInterval& AInterval) {
    for (std::int32_t i = Count() - 1; i >= 0; --i) {
        const TClosedInterval item = FItems[static_cast<std::size_t>(i)];
        if (item.IsDisjoint(AInterval)) {
            continue;
        }
        TClosedInterval res1;
        TClosedInterval res2;
        const int pieces = item.Subtract(AInterval, res1, res2);
        Delete(i);
        // Pieces go to the end, behind the indices still to be visited. With no end of AInterval
        // inside the interval, AInterval covers it and nothing is left.
        if (pieces >= 1) {
            Add(res1);
        }
        if (pieces == 2) {
            Add(res2);
        }
    }
}

bool TSeparatableIntervals::IsPosSeparatable(double APos) const {
    if (std::fabs(APos - FFrontCutOffPos) < kCircularTolerance ||
        std::fabs(APos - FBackCutOffPos) < kCircularTolerance) {
        return true;
    }
    return std::any_of(FItems.begin(), FItems.end(),
                       [APos](const TClosedInterval& item) { return item.Contains(APos); });
}

void TSeparatableIntervals::SetConnectLength(double AConnectLength) {
    if (!FItems.empty()) {
        TClosedInterval last = FItems.back();
        last.ParamEnd -= AConnectLength;
        if (last.IsEmpty()) {
            FItems.pop_back();
        } else {
            FItems.back() = last;
        }
    }
    if (!FItems.empty()) {
        TClosedInterval first = FItems.front();
        first.ParamStart += AConnectLength;
        if (first.IsEmpty()) {
            FItems.erase(FItems.begin());
        } else {
            FItems.front() = first;
        }
    }
}

double TSeparatableIntervals::GetMidCutPos() const {
    if (FItems.empty()) {
        return 0.0;
    }
    return GetACutPos((FFrontCutOffPos + FBackCutOffPos) / 2, false);
}

double TSeparatableIntervals::GetACutPos(double APos, bool ALimitedPartLength) const {
    if (FItems.empty()) {
        return 0.0;
    }
    const auto it = std::find_if(FItems.begin(), FItems.end(),
                                 [APos](const TClosedInterval& item) { return item.ParamEnd >= APos; });
    if (it == FItems.end()) {
        return FItems.back().ParamEnd;
    }
    if (it->Contains(APos)) {
        return APos;
    }
    if (it != FItems.begin()) {
        const TClosedInterval& before = *(it - 1);
        const double d1 = std::fabs(before.ParamEnd - APos);
        const double d2 = std::fabs(it->ParamStart - APos);
        if (d2 > d1) {
            return before.ParamEnd;
        }
        return ALimitedPartLength ? before.ParamEnd : it->ParamStart;
    }
    return ALimitedPartLength ? 0.0 : it->ParamStart;
}

// ---------------------------------------------------------------------------------------------------
// TSeparatableIntervalsInSegment

std::unique_ptr<TSeparatableIntervalsInSegment>
TSeparatableIntervalsInSegment::AddPartIntervals(const TSeparatableIntervals& AIntervals, double AOffset) {
    auto result = std::make_unique<TSeparatableIntervalsInSegment>(FSegLen);
    result->AddRange(*this);

    const std::vector<TClosedInterval>& part = AIntervals.ToVector();
    auto it = std::find_if(part.begin(), part.end(),
                           [AOffset](const TClosedInterval& item) { return item.ParamEnd + AOffset >= 0; });
    bool first = true;
    for (; it != part.end(); ++it) {
        TClosedInterval shifted = *it;
        shifted.MoveByOffset(AOffset);
        if (first && shifted.ParamStart <= 0) {
            shifted.ParamStart = 0;
        }
        first = false;
        if (shifted.ParamEnd <= FSegLen) {
            result->Add(shifted);
            continue;
        }
        // The first stretch that runs past the segment end is cut there and closes the walk; the
        // first stretch of all is treated alike, so no position beyond FSegLen enters the list.
        if (shifted.ParamStart <= FSegLen) {
            result->Add(TClosedInterval::Create(shifted.ParamStart, FSegLen));
        }
        break;
    }
    result->Sort();
    result->ResetLength();
    return result;
}

std::unique_ptr<TSeparatableIntervalsInSegment>
TSeparatableIntervalsInSegment::IntersectWith(const TSeparateIntervals& AIntervals, double AOffset) {
    TSeparateIntervals shifted;
    for (const TClosedInterval& item : AIntervals) {
        TClosedInterval moved = item;
        moved.MoveByOffset(AOffset);
        shifted.Add(moved);
    }
    std::unique_ptr<TSeparateIntervals> common = TSeparateIntervals::IntersectWith(shifted);
    if (common->Count() >= 2) {
        for (std::int32_t i = common->Count() - 1; i >= 1; --i) {
            const TClosedInterval item = (*common)[i];
            for (std::int32_t k = 0; k < i; ++k) {
                if ((*common)[k] == item) {
                    common->Delete(i);
                    break;
                }
            }
        }
    }
    auto result = std::make_unique<TSeparatableIntervalsInSegment>(FSegLen);
    result->AddRange(*common);
    result->ResetLength();
    return result;
}

bool TSeparatableIntervalsInSegment::IsMinOffsetExists(TSeparateIntervals* AIntervals, double /*AOffset*/) {
    if (IsEmpty() || AIntervals == nullptr || AIntervals->IsEmpty()) {
        return false;
    }
    Sort();
    AIntervals->Sort();
    return AIntervals->First().ParamStart <= Last().ParamEnd;
}

double TSeparatableIntervalsInSegment::GetMinOffset(TSeparateIntervals* AIntervals, double /*AOffset*/) {
    double result = std::numeric_limits<double>::max();
    if (IsEmpty() || AIntervals == nullptr || AIntervals->IsEmpty()) {
        return result;
    }
    Sort();
    AIntervals->Sort();
    const std::vector<TClosedInterval>& theirs = AIntervals->ToVector();
    std::size_t i = 0;
    for (std::size_t j = 0; j < theirs.size() && i < FItems.size(); ++j) {
        while (i < FItems.size()) {
            const double start = FItems[i].ParamStart;
            const double end = theirs[j].ParamEnd;
            if (start > end) {
                result = std::min(result, start - end);
                break;
            }
            if (fEqual(start, end, kCircularTolerance)) {
                result = std::min(result, 0.0);
                break;
            }
            ++i;
        }
    }
    return result;
}

} // namespace tubenest
