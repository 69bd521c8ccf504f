#pragma once
// Binary min-heap of the branch-cut-price tree. Entries are ordered either by a key given with
// each entry or, when the heap has a comparer, by the comparer on the data. The heap owns its
// entries, not what a pointer datum points to. No locking: one thread uses it.

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <utility>
#include <vector>

namespace tubenest {

template <class T>
struct THeapNode {
    T Data{};
    double Key = 0.0;

    THeapNode() = default;
    THeapNode(T AData, double AKey) : Data(std::move(AData)), Key(AKey) {}
};

template <class T>
class TMinHeap {
public:
    /// Negative, 0 or positive, as Left is smaller than, equal to or greater than Right.
    using TComparer = std::function<int(const T& Left, const T& Right)>;

    /// Ordered by key.
    TMinHeap() : TMinHeap(TComparer{}) {}
    /// Ordered by the comparer; an empty comparer orders by key.
    explicit TMinHeap(TComparer AComparer)
        : FCompareType(AComparer ? 0 : 1), FComparer(std::move(AComparer)) {}
    /// Every item with key 0.0, ordered by the comparer (which must be given).
    TMinHeap(const std::vector<T>& ADatas, TComparer AComparer)
        : FCompareType(0), FComparer(std::move(AComparer)) {
        if (!FComparer) {
            throw std::invalid_argument("TMinHeap: a heap built from a list needs a comparer");
        }
        FDatas.reserve(ADatas.size());
        for (const T& d : ADatas) {
            FDatas.emplace_back(d, 0.0);
        }
        AdjustAllNodes();
    }

    int Compare(const THeapNode<T>& Node1, const THeapNode<T>& Node2) const {
        if (FCompareType == 1) {
            return (Node1.Key > Node2.Key) - (Node1.Key < Node2.Key);
        }
        return FComparer(Node1.Data, Node2.Data);
    }

    void Add(T AData, double AKey) {
        FDatas.emplace_back(std::move(AData), AKey);
        SiftUp(FDatas.size() - 1);
    }

    /// Only for a comparer-ordered heap: each item with key 0.0.
    void AddRange(const std::vector<T>& ADatas) {
        if (FCompareType != 0) {
            throw std::runtime_error("[Error] TMinHeap.AddRange: 只有通过函数比较才可调用本方法");
        }
        for (const T& d : ADatas) {
            Add(d, 0.0);
        }
    }

    T Pop() {
        if (FDatas.empty()) {
            throw std::runtime_error("[Error] TMinHeap.Pop: 堆中没有元素");
        }
        T result = std::move(FDatas.front().Data);
        if (FDatas.size() > 1) {
            FDatas.front() = std::move(FDatas.back());
        }
        FDatas.pop_back();
        if (!FDatas.empty()) {
            SiftDown(0);
        }
        return result;
    }

    const T& Top() const {
        if (FDatas.empty()) {
            throw std::runtime_error("[Error] TMinHeap.Top: 堆中没有元素");
        }
        return FDatas.front().Data;
    }

    double TopKey() const {
        if (FDatas.empty()) {
            throw std::runtime_error("[Error] TMinHeap.Top: 堆中没有元素");
        }
        return FDatas.front().Key;
    }

    const THeapNode<T>& TopNode() const {
        if (FDatas.empty()) {
            throw std::runtime_error("[Error] TMinHeap.TopNode: 堆中没有元素");
        }
        return FDatas.front();
    }

    int Count() const { return static_cast<int>(FDatas.size()); }
    bool Empty() const { return FDatas.empty(); }
    void Clear() { FDatas.clear(); }

private:
    void AdjustAllNodes() {
        for (std::size_t i = FDatas.size() / 2; i-- > 0;) {
            SiftDown(i);
        }
    }

    void SiftUp(std::size_t i) {
        while (i > 0) {
            const std::size_t parent = (i - 1) / 2;
            if (Compare(FDatas[i], FDatas[parent]) >= 0) {
                return;
            }
            std::swap(FDatas[i], FDatas[parent]);
            i = parent;
        }
    }

    // On equal children the left one is taken.
    void SiftDown(std::size_t i) {
        const std::size_t n = FDatas.size();
        for (;;) {
            const std::size_t left = 2 * i + 1;
            if (left >= n) {
                return;
            }
            std::size_t child = left;
            if (left + 1 < n && Compare(FDatas[left + 1], FDatas[left]) < 0) {
                child = left + 1;
            }
            if (Compare(FDatas[child], FDatas[i]) >= 0) {
                return;
            }
            std::swap(FDatas[i], FDatas[child]);
            i = child;
        }
    }

    std::vector<THeapNode<T>> FDatas;
    std::int32_t FCompareType; ///< 1: by key, 0: by the comparer
    TComparer FComparer;
};

} // namespace tubenest
