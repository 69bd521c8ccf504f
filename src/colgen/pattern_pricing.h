#pragma once
// Pattern pricing of the column generation: the tube layout of greatest dual value, found by a
// dynamic programme over parts (stages) and whole millimetres used (states).
//
// A pattern is m_i copies of each part i, m_i <= Trunc(tube length / length_i). A run of m copies of
// one part counts m x length plus the sum of its run gaps when that sum is negative (pair gap inside
// a pair, single gap between pairs and to the odd copy; positive sums are ignored, the lengths the
// caller passes already carry its allowance). The pattern fits when these lengths add up to at most
// the tube length. With fewer than 10 parts a run may also slide back onto the parts after it by the
// part's smallest neighbour gap (when negative) if the gap manager's shortest-length estimate of the
// whole remainder says it fits.
//
// Whole millimetres are counted upwards (a run of 1000.2 mm takes 1001 states), so every pattern
// returned fits in the tube; with lengths in whole millimetres the search is exact. RelaxedMaximum
// counts them downwards instead and never misses a pattern that fits, which gives the lower bound.
//
// Memory: two rows of values over the tube length, and one choice per stage and state (2 bytes, or
// 4 when a part may be taken more than 32767 times), at most kMaxCells choices; Prepare throws
// std::runtime_error when a problem needs more. The buffers are kept between calls.
//
// Thread-safety: one object per thread.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "model/nest_types.h"

namespace tubenest {

class TColGenData;
class TSegPlaceInfoManager;

class TPatternPricing {
public:
    /// Largest pricing table (stages x states) accepted.
    static constexpr std::size_t kMaxCells = std::size_t{1} << 26;
    /// Parts below this count stay out of the overlap step (the step's cost grows with the parts).
    static constexpr std::int32_t kOverlapPartLimit = 10;

    /// Sets up the per-part tables. AInLP[i] says whether part i may enter a pattern. Throws
    /// std::runtime_error when the table would need more than kMaxCells cells. AData must outlive
    /// the calls of Solve.
    void Prepare(const TColGenData& AData, const std::vector<char>& AInLP);

    /// The pattern of greatest value Σ m_i × ADuals[i] (parts with a dual of 0 or below are left
    /// out); APattern gets one count per part of the data. Returns the pattern's value. A stop
    /// request (polled once per stage) abandons the search: Aborted() is then true and the pattern
    /// empty.
    double Solve(const TExtendedDynArray& ADuals, TIntDynArray& APattern);

    /// An upper estimate of the greatest value over all patterns whose lengths fit (without the
    /// overlap step), for duals of 0 or more; infinite when a stop request abandoned it.
    double RelaxedMaximum(const TExtendedDynArray& ADuals);

    /// Whether the last call was abandoned at a stop request.
    bool Aborted() const { return aborted_; }

    /// The length a run of ACopies copies counts for (the run gaps only when their sum is negative).
    static double RunLength(double ALength, std::int32_t ACopies, double APairGap, double ASingleGap);

    /// Overlap checks made since Prepare (each asks the gap manager for a shortest length).
    std::int64_t OverlapChecks() const { return overlapChecks_; }
    /// Whole millimetres of the tube (the last state).
    std::int32_t Capacity() const { return capacity_; }

private:
    struct TPartTable {
        std::int32_t MaxCopies = 0;
        std::vector<double> Lengths;      ///< run length of m copies, m = 0..MaxCopies
        std::vector<std::int32_t> Units;  ///< the same in whole millimetres, rounded up
        std::vector<std::int32_t> Floors; ///< the same rounded down
        std::int32_t Shift = 0;           ///< states a run may slide back (the overlap step)
    };
    struct TStage {
        std::int32_t Part = 0;
        double Dual = 0.0;
    };

    void LastStage(const TStage& AStage, bool ASingleState);
    void MiddleStage(std::size_t AStageIdx, bool ASingleState);
    /// Slides the next state back when the overlap check passes; returns the margin (0 when not).
    double TryOverlap(std::size_t AStageIdx, std::int32_t AUsed, std::int32_t ACopies, std::int32_t& ANext);
    void SetChoice(std::size_t AStage, std::int32_t AState, std::int32_t ACopies, bool AShifted);
    std::int32_t Choice(std::size_t AStage, std::int32_t AState, bool& AShifted) const;
    std::size_t Offset(std::size_t AStage, std::int32_t AState) const {
        return AStage == 0 ? 0
                           : 1 + (AStage - 1) * (static_cast<std::size_t>(capacity_) + 1) +
                                 static_cast<std::size_t>(AState);
    }

    const TColGenData* data_ = nullptr;          ///< not owned
    const TSegPlaceInfoManager* gaps_ = nullptr; ///< not owned; null: no gaps
    double tubeLength_ = 0.0;
    std::int32_t capacity_ = 0;
    bool overlap_ = false;
    std::vector<TPartTable> parts_;
    std::vector<double> gapLengths_; ///< part lengths by the gap manager's index, for its estimate
    std::vector<TStage> stages_;
    std::vector<double> next_, current_;
    bool wideChoices_ = false;
    std::vector<std::uint16_t> narrow_;
    std::vector<std::uint32_t> wide_;
    std::int64_t overlapChecks_ = 0;
    bool aborted_ = false;
    // Scratch of the overlap check.
    TIntDynArray checkParts_, checkAmounts_;
};

} // namespace tubenest
