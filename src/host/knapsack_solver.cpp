#include "host/knapsack_solver.h"

#include <algorithm>
#include <bit>
#include <map>
#include <numeric>
#include <stdexcept>
#include <string>
#include <utility>

namespace tubenest {
namespace {

// Beyond these sizes the work buffers would take gigabytes; callers scale tube lengths to at most
// a few million units, so a larger capacity is a caller's mistake and is refused.
constexpr std::int64_t kMaxSubsetSumCells = std::int64_t{1} << 27; // 16 MiB of bits, 512 MiB of chunk marks
constexpr std::int64_t kMaxDpCells = std::int64_t{1} << 25;        // two tables of 256 MiB

std::int64_t CheckedAdd(std::int64_t a, std::int64_t b) {
    std::int64_t sum = 0;
    if (__builtin_add_overflow(a, b, &sum)) {
        throw std::overflow_error("knapsack: the total value exceeds 64 bits");
    }
    return sum;
}

[[noreturn]] void TooLarge(std::int64_t cells, std::int64_t limit) {
    throw std::invalid_argument(
        "knapsack: capacity of " + std::to_string(cells) +
        " cells (after dividing by the common divisor of the weights) exceeds the limit of " +
        std::to_string(limit));
}

} // namespace

std::int64_t TKnapsackSolver::SolveMultiKnapsack(const std::vector<std::int32_t>& AWeights,
                                                 const std::vector<std::int32_t>& AValues,
                                                 const std::vector<std::int32_t>& ABounds,
                                                 std::int32_t ACapacity, std::vector<std::int32_t>& ACounts) {
    const std::size_t n = AWeights.size();
    if (AValues.size() != n || ABounds.size() != n) {
        throw std::invalid_argument("knapsack: " + std::to_string(n) + " weights, " +
                                    std::to_string(AValues.size()) + " values and " +
                                    std::to_string(ABounds.size()) + " bounds; the lists must match");
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (AWeights[i] < 0 || ABounds[i] < 0) {
            throw std::invalid_argument("knapsack: item " + std::to_string(i) + " has weight " +
                                        std::to_string(AWeights[i]) + " and bound " +
                                        std::to_string(ABounds[i]) + "; neither may be negative");
        }
    }
    ACounts.assign(n, 0);
    if (ACapacity < 0) {
        return 0;
    }

    std::int64_t total = 0;
    // Items that can be chosen, grouped by (weight, value): equal items share one group, which
    // shortens the dynamic programme when scaled lengths coincide.
    std::map<std::pair<std::int64_t, std::int64_t>, std::int32_t> groupOf;
    std::vector<std::pair<std::int64_t, std::int64_t>> groups; // weight, value
    std::vector<std::int64_t> groupBound;
    std::vector<std::int32_t> itemGroup(n, -1);
    bool valueIsWeight = true;
    std::int64_t divisor = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (ABounds[i] == 0 || AValues[i] <= 0) {
            continue;
        }
        if (AWeights[i] == 0) {
            // Weighs nothing and is worth something: every copy is taken.
            ACounts[i] = ABounds[i];
            total = CheckedAdd(total, std::int64_t{ABounds[i]} * AValues[i]);
            continue;
        }
        if (AWeights[i] > ACapacity) {
            continue;
        }
        valueIsWeight = valueIsWeight && AValues[i] == AWeights[i];
        divisor = std::gcd(divisor, std::int64_t{AWeights[i]});
        const auto key = std::make_pair(std::int64_t{AWeights[i]}, std::int64_t{AValues[i]});
        auto [it, added] = groupOf.try_emplace(key, static_cast<std::int32_t>(groups.size()));
        if (added) {
            groups.push_back(key);
            groupBound.push_back(0);
        }
        itemGroup[i] = it->second;
        groupBound[static_cast<std::size_t>(it->second)] += ABounds[i];
    }
    if (groups.empty()) {
        return total;
    }

    // Everything in units of the common divisor: a filling's weight is always a multiple of it.
    const std::int64_t capacity = ACapacity / divisor;
    std::int64_t weightOfAll = 0;
    for (std::size_t g = 0; g < groups.size(); ++g) {
        groups[g].first /= divisor;
        groupBound[g] = std::min(groupBound[g], capacity / groups[g].first);
        weightOfAll += groups[g].first * groupBound[g];
    }

    std::vector<std::int64_t> groupCount(groups.size(), 0);
    if (weightOfAll <= capacity) {
        groupCount = groupBound;
    } else {
        // Binary split of each bound (1, 2, 4, ..., rest): every count 0..bound is a sum of
        // distinct chunks, so a 0/1 knapsack over the chunks is the bounded knapsack.
        std::vector<TChunk> chunks;
        for (std::size_t g = 0; g < groups.size(); ++g) {
            std::int64_t left = groupBound[g];
            for (std::int64_t k = 1; left > 0; k *= 2) {
                const std::int64_t take = std::min(k, left);
                chunks.push_back(TChunk{groups[g].first * take, groups[g].second * take,
                                        static_cast<std::int32_t>(g), static_cast<std::int32_t>(take)});
                left -= take;
            }
        }
        std::sort(chunks.begin(), chunks.end(),
                  [](const TChunk& a, const TChunk& b) { return a.Weight < b.Weight; });
        if (valueIsWeight) {
            SubsetSum(chunks, std::min(capacity, weightOfAll), groupCount);
        } else {
            GeneralDp(chunks, capacity, groupCount);
        }
    }

    // Hand each group's count to its items in item order, each up to its own bound.
    for (std::size_t i = 0; i < n; ++i) {
        if (itemGroup[i] < 0) {
            continue;
        }
        std::int64_t& left = groupCount[static_cast<std::size_t>(itemGroup[i])];
        const std::int64_t take = std::min<std::int64_t>(left, ABounds[i]);
        ACounts[i] = static_cast<std::int32_t>(take);
        left -= take;
        total = CheckedAdd(total, take * AValues[i]);
    }
    return total;
}

// Subset sum over totals 0..ACapacity with one bit per total. A total's mark records the chunk
// whose step first made it reachable; the total minus that chunk was reachable before, so it was
// marked by an earlier chunk, and walking the marks down from the best total uses every chunk at
// most once.
void TKnapsackSolver::SubsetSum(const std::vector<TChunk>& AChunks, std::int64_t ACapacity,
                                std::vector<std::int64_t>& AGroupCounts) {
    if (ACapacity + 1 > kMaxSubsetSumCells) {
        TooLarge(ACapacity + 1, kMaxSubsetSumCells);
    }
    const auto cells = static_cast<std::size_t>(ACapacity) + 1;
    const std::size_t words = (cells + 63) / 64;
    reachable_.assign(words, 0);
    if (firstChunkSize_ < cells) {
        firstChunk_ = std::make_unique_for_overwrite<std::uint32_t[]>(cells);
        firstChunkSize_ = cells;
    }
    std::uint64_t* bits = reachable_.data();
    bits[0] = 1;
    const auto top = static_cast<std::size_t>(ACapacity) / 64;
    const auto topBit = static_cast<unsigned>(ACapacity % 64);
    const std::uint64_t topMask = topBit == 63 ? ~std::uint64_t{0} : (std::uint64_t{1} << (topBit + 1)) - 1;
    std::int64_t reach = 0; // no reachable total lies above it
    for (std::size_t j = 0; j < AChunks.size(); ++j) {
        const auto w = static_cast<std::size_t>(AChunks[j].Weight);
        reach = std::min(ACapacity, reach + AChunks[j].Weight);
        const std::size_t ws = w / 64;
        const auto bs = static_cast<unsigned>(w % 64);
        // From the top down, so that every word read still holds the totals before this chunk.
        for (std::size_t i = static_cast<std::size_t>(reach) / 64 + 1; i-- > ws;) {
            std::uint64_t shifted = bits[i - ws] << bs;
            if (bs != 0 && i > ws) {
                shifted |= bits[i - ws - 1] >> (64 - bs);
            }
            if (i == top) {
                shifted &= topMask;
            }
            std::uint64_t fresh = shifted & ~bits[i];
            bits[i] |= shifted;
            while (fresh != 0) {
                firstChunk_[i * 64 + static_cast<std::size_t>(std::countr_zero(fresh))] =
                    static_cast<std::uint32_t>(j);
                fresh &= fresh - 1;
            }
        }
        if ((bits[top] >> topBit) & 1U) {
            break; // the capacity itself is reached: nothing is better
        }
    }
    std::int64_t best = 0;
    for (std::size_t i = top + 1; i-- > 0;) {
        if (bits[i] != 0) {
            best =
                static_cast<std::int64_t>(i * 64 + 63 - static_cast<std::size_t>(std::countl_zero(bits[i])));
            break;
        }
    }
    std::uint32_t last = static_cast<std::uint32_t>(AChunks.size());
    for (std::int64_t s = best; s > 0;) {
        const std::uint32_t j = firstChunk_[static_cast<std::size_t>(s)];
        if (j >= last || AChunks[j].Weight > s) {
            throw std::logic_error("knapsack: broken chain of chunks at total " + std::to_string(s));
        }
        AGroupCounts[static_cast<std::size_t>(AChunks[j].Group)] += AChunks[j].Copies;
        s -= AChunks[j].Weight;
        last = j;
    }
}

// Best value of chunks [AFrom, ATo) for every capacity 0..ACapacity (weight at most the capacity).
void TKnapsackSolver::Best(const std::vector<TChunk>& AChunks, std::size_t AFrom, std::size_t ATo,
                           std::int64_t ACapacity, std::vector<std::int64_t>& ATable) const {
    ATable.assign(static_cast<std::size_t>(ACapacity) + 1, 0);
    for (std::size_t j = AFrom; j < ATo; ++j) {
        const std::int64_t w = AChunks[j].Weight;
        const std::int64_t v = AChunks[j].Value;
        for (std::int64_t c = ACapacity; c >= w; --c) {
            const std::int64_t with = ATable[static_cast<std::size_t>(c - w)] + v;
            if (with > ATable[static_cast<std::size_t>(c)]) {
                ATable[static_cast<std::size_t>(c)] = with;
            }
        }
    }
}

// Recovers the choices without a table per chunk: the best split of the capacity between the two
// halves of the chunk list is found from their two best-value tables, and each half is solved on
// its share. Work about twice that of one table over all chunks; memory two tables.
void TKnapsackSolver::Choose(const std::vector<TChunk>& AChunks, std::size_t AFrom, std::size_t ATo,
                             std::int64_t ACapacity, std::vector<std::int64_t>& AGroupCounts) {
    if (AFrom >= ATo || ACapacity <= 0) {
        return;
    }
    if (ATo - AFrom == 1) {
        if (AChunks[AFrom].Weight <= ACapacity) {
            AGroupCounts[static_cast<std::size_t>(AChunks[AFrom].Group)] += AChunks[AFrom].Copies;
        }
        return;
    }
    const std::size_t mid = AFrom + (ATo - AFrom) / 2;
    std::int64_t split = 0;
    {
        std::vector<std::int64_t> left;
        std::vector<std::int64_t> right;
        Best(AChunks, AFrom, mid, ACapacity, left);
        Best(AChunks, mid, ATo, ACapacity, right);
        std::int64_t bestValue = -1;
        for (std::int64_t c = 0; c <= ACapacity; ++c) {
            const std::int64_t v =
                left[static_cast<std::size_t>(c)] + right[static_cast<std::size_t>(ACapacity - c)];
            if (v > bestValue) {
                bestValue = v;
                split = c;
            }
        }
    }
    Choose(AChunks, AFrom, mid, split, AGroupCounts);
    Choose(AChunks, mid, ATo, ACapacity - split, AGroupCounts);
}

void TKnapsackSolver::GeneralDp(const std::vector<TChunk>& AChunks, std::int64_t ACapacity,
                                std::vector<std::int64_t>& AGroupCounts) {
    if (ACapacity + 1 > kMaxDpCells) {
        TooLarge(ACapacity + 1, kMaxDpCells);
    }
    Choose(AChunks, 0, AChunks.size(), ACapacity, AGroupCounts);
}

} // namespace tubenest
