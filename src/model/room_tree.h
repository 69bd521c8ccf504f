#pragma once
// RoomTree: the room left in each open tube, in opening order, as a tree of maxima. The first
// tube (at or after a given one) with at least some room is found in O(log n), so placing a copy
// does not scan every open tube: first-fit over a million copies, the weld clean-up over
// thousands of tubes.

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

namespace tubenest {

class RoomTree {
public:
    void Push(double room) {
        if (count_ == size_) {
            Grow();
        }
        Set(count_++, room);
    }
    void Set(std::size_t i, double room) {
        std::size_t k = i + size_;
        tree_[k] = room;
        for (k /= 2; k >= 1; k /= 2) {
            tree_[k] = std::max(tree_[2 * k], tree_[2 * k + 1]);
        }
    }
    /// The first tube at or after from with room >= need; count() when there is none.
    std::size_t FirstWithRoom(std::size_t from, double need) const {
        if (from >= count_) {
            return count_;
        }
        std::size_t k = from + size_;
        if (tree_[k] >= need) {
            return from;
        }
        // Climb while k is a right child or its right sibling cannot hold it; then descend.
        for (;;) {
            if (k % 2 == 0 && tree_[k + 1] >= need) {
                k = k + 1;
                break;
            }
            k /= 2;
            if (k <= 1) {
                return count_;
            }
        }
        while (k < size_) {
            k = tree_[2 * k] >= need ? 2 * k : 2 * k + 1;
        }
        return k - size_ < count_ ? k - size_ : count_;
    }
    std::size_t count() const { return count_; }

private:
    void Grow() {
        const std::size_t old = size_;
        size_ = size_ == 0 ? 64 : size_ * 2;
        std::vector<double> next(2 * size_, -1.0);
        for (std::size_t i = 0; i < count_; ++i) {
            next[size_ + i] = tree_[old + i];
        }
        for (std::size_t k = size_ - 1; k >= 1; --k) {
            next[k] = std::max(next[2 * k], next[2 * k + 1]);
        }
        tree_ = std::move(next);
    }
    std::vector<double> tree_;
    std::size_t size_ = 0;
    std::size_t count_ = 0;
};

} // namespace tubenest
