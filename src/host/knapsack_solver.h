#pragma once
// Host knapsack library: an exact bounded integer knapsack.
//
// Item i has weight AWeights[i], value AValues[i] and may be taken 0..ABounds[i] times; the chosen
// total weight stays within ACapacity and the total value is the largest possible. The nesting
// methods pass lengths scaled to whole units (hundredths or tenths of a millimetre) as weights and
// the same numbers as values, so a tube is filled as full as it can be. That case runs a bitset
// subset sum over capacity / gcd(weights) cells; any other values run a dynamic programme over the
// capacity whose choices are recovered by splitting the item list in halves (O(capacity) memory).
// See docs/performance.md for the costs.
//
// Thread-safety: one solver keeps its work buffers between calls; give each thread its own solver.

#include <cstdint>
#include <memory>
#include <vector>

namespace tubenest {

class TKnapsackSolver {
public:
    TKnapsackSolver() = default;
    TKnapsackSolver(const TKnapsackSolver&) = delete;
    TKnapsackSolver& operator=(const TKnapsackSolver&) = delete;

    /// Replaces ACounts by one count per item: each within 0..bound, total weight within ACapacity,
    /// total value maximal; all zeros when nothing fits (or ACapacity < 0). Items of value 0 or below
    /// are never chosen. Returns the total value chosen. Throws std::invalid_argument when the three
    /// lists differ in length or an item has a negative weight or bound.
    std::int64_t SolveMultiKnapsack(const std::vector<std::int32_t>& AWeights,
                                    const std::vector<std::int32_t>& AValues,
                                    const std::vector<std::int32_t>& ABounds, std::int32_t ACapacity,
                                    std::vector<std::int32_t>& ACounts);

private:
    /// A 0/1 item of the binary split: `Copies` copies of the item group `Group`.
    struct TChunk {
        std::int64_t Weight = 0;
        std::int64_t Value = 0;
        std::int32_t Group = 0;
        std::int32_t Copies = 0;
    };

    void SubsetSum(const std::vector<TChunk>& AChunks, std::int64_t ACapacity,
                   std::vector<std::int64_t>& AGroupCounts);
    void GeneralDp(const std::vector<TChunk>& AChunks, std::int64_t ACapacity,
                   std::vector<std::int64_t>& AGroupCounts);
    void Best(const std::vector<TChunk>& AChunks, std::size_t AFrom, std::size_t ATo, std::int64_t ACapacity,
              std::vector<std::int64_t>& ATable) const;
    void Choose(const std::vector<TChunk>& AChunks, std::size_t AFrom, std::size_t ATo,
                std::int64_t ACapacity, std::vector<std::int64_t>& AGroupCounts);

    // Work buffers, kept between calls.
    std::vector<std::uint64_t> reachable_; ///< bit s: total s reachable
    std::unique_ptr<std::uint32_t[]>
        firstChunk_; ///< chunk that first reached total s (valid where reachable)
    std::size_t firstChunkSize_ = 0;
};

} // namespace tubenest
