#pragma once
// Nest results: one cutting pattern per TNestResult, the owning result list, the solution summary
// TNestResultInfo with its comparers, and the plain-text dump.

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "model/nest_types.h"

namespace tubenest {

/// One cutting pattern: which tube, how many tubes cut alike, and the parts in order.
class TNestResult {
public:
    std::int32_t FTubeIndex = 0;       ///< 1-based index into the tube array
    std::int32_t FTubeCount = 0;       ///< identical tubes cut to this pattern
    TIntDynArray FPartUsedCount;       ///< carried for the host; no method fills it
    TIntDynArray FPartOrder;           ///< part references from the tube's start
    TIntDynArray FFixedPartOrder;      ///< carried for the host; printed by ToString
    TNestBaseInfoList FPartPlaceData;  ///< one record per adjacent pair of FPartOrder
    double FLengthUsed = 0.0;          ///< parts plus gaps, mm
    bool FIsTailPlacedQualified = false;

    TNestResult() = default;
    virtual ~TNestResult() = default;
    TNestResult(const TNestResult&) = default;
    TNestResult& operator=(const TNestResult&) = default;
    TNestResult(TNestResult&&) noexcept = default;
    TNestResult& operator=(TNestResult&&) noexcept = default;

    /// A deep copy.
    std::unique_ptr<TNestResult> Clone() const { return std::make_unique<TNestResult>(*this); }
    /// Same tube and, position by position, the same parts (direction ignored).
    bool IsSameNestResult(const TNestResult& ANestResult) const;
    /// FTubeCount x the sum of the outer lengths of the parts in the order.
    double GetPartUsedLength(const TGeneralNestPartArr& Parts) const;
    /// FLengthUsed from the outer lengths and the FixedGap of the place data.
    void UpdateNestLengthUsed(const TGeneralNestPartArr& AParts);
    /// The text entry of the dump (CR-separated).
    virtual std::string ToString() const;
};

/// An ordered list of results that owns them.
class TNestResultList {
public:
    using Item = std::unique_ptr<TNestResult>;

    TNestResultList() = default;
    TNestResultList(const TNestResultList& other) { Assign(other); }
    TNestResultList& operator=(const TNestResultList& other) {
        Assign(other);
        return *this;
    }
    TNestResultList(TNestResultList&&) noexcept = default;
    TNestResultList& operator=(TNestResultList&&) noexcept = default;
    ~TNestResultList() = default;

    int Count() const { return static_cast<int>(items_.size()); }
    bool Empty() const { return items_.empty(); }
    TNestResult& operator[](int i) { return *items_.at(static_cast<std::size_t>(i)); }
    const TNestResult& operator[](int i) const { return *items_.at(static_cast<std::size_t>(i)); }
    TNestResult& First() { return *items_.front(); }
    TNestResult& Last() { return *items_.back(); }
    const TNestResult& Last() const { return *items_.back(); }

    /// Appends a result and takes ownership; returns the stored result.
    TNestResult& Add(Item result);
    /// Appends a copy of a result.
    TNestResult& AddClone(const TNestResult& result) { return Add(result.Clone()); }
    void Insert(int index, Item result);
    /// Removes and destroys the result at index.
    void Delete(int index);
    /// Removes the result at index and hands it to the caller.
    Item Extract(int index);
    /// Destroys every result.
    void Clear() { items_.clear(); }
    void Reserve(int n) { items_.reserve(static_cast<std::size_t>(n < 0 ? 0 : n)); }
    void Exchange(int a, int b);
    /// Stable sort by a three-way comparer (negative: left first).
    void Sort(const std::function<int(const TNestResult&, const TNestResult&)>& comparer);

    /// Replaces the contents by clones of the source's results; assigning a list to itself leaves it unchanged.
    void Assign(const TNestResultList& AResultList);
    std::unique_ptr<TNestResultList> Clone() const;
    /// The sum of GetPartUsedLength over all results.
    double CalcPartUsedLengh(const TGeneralNestPartArr& Parts) const;
    /// Appends the separator line with Info and one entry per result to a text file.
    void PrintToFile(const std::string& FileName, const std::string& Info) const;

    auto begin() { return items_.begin(); }
    auto end() { return items_.end(); }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    std::vector<Item> items_;
};

/// Frees a list with all its results (plain destruction with an owning list).
inline void FreeWithAllItems(std::unique_ptr<TNestResultList>& list) { list.reset(); }

/// Summary of a whole solution, for comparing solutions.
struct TNestResultInfo {
    std::int32_t PartUsedCount = 0;
    std::int32_t TubeUsedCount = 0;
    double TubeUsedLength = 0.0; ///< set by the caller
    double TotalTubeLeft = 0.0;
    double FFuncValue = 0.0;     ///< set by the caller
    double MinUsedLength = std::numeric_limits<double>::max();
    std::string Information = "UnNamed";
    double PartUsedLength = 0.0;
    std::int32_t TailPlaceAmount = 0;

    /// Resets every field except TubeUsedLength and FFuncValue.
    void DataInit();
    /// Summarises a result list.
    static TNestResultInfo Create(const TNestResultList& ANestResultList, const TGeneralNestPartArr& AParts,
                                  const TGeneralNestTubeArr& ATubes);
};

/// Stateless comparisons of results and solutions; +1 means Right is better.
class TNestResultComparer {
public:
    static int CompareNestResultByLengthUsed(const TNestResult& Left, const TNestResult& Right);
    static int CompareNestResultInfo(const TNestResultInfo& Left, const TNestResultInfo& Right);
    static int CompareNestResultInfoOld(const TNestResultInfo& Left, const TNestResultInfo& Right);
    static bool IsNewResultBetterThanOld(const TNestResultInfo& OldResult, const TNestResultInfo& NewResult);
};

/// Appends Info and a line break to a text file (created when missing). Throws std::runtime_error
/// naming the file and the system error when it cannot be opened or written.
void SaveDataToFile(const std::string& FileName, const std::string& Info);

} // namespace tubenest
