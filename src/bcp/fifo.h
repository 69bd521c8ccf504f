#pragma once
// Thread-safe FIFO through which pricing threads hand columns to the search thread and callers
// hand start solutions to the tree.
//
// A two-lock queue: producers serialise on the tail lock, consumers on the head lock, so one
// producer and one consumer never wait for each other. The list starts with a dummy node; a
// consumer makes the first real node the new dummy and takes its item. Items live in blocks of 64
// slots shared by consecutive nodes; a block is freed when the node of its last slot leaves the
// head. When the queue is empty, head and tail are the same node: the producer links a new node
// into it while the consumer reads its link, so the link is atomic (release on store, acquire on
// load), which also publishes the item written before it.
//
// The queue owns its items: Clear and the destructor destroy those still queued.

#include <array>
#include <atomic>
#include <concepts>
#include <cstdint>
#include <iterator>
#include <mutex>
#include <utility>

namespace tubenest {

template <class T>
class TFifo {
public:
    static constexpr std::int32_t kBlockSize = 64;

private:
    struct TDataBlock {
        std::array<T, kBlockSize> Slots{};
    };
    struct TNode {
        TDataBlock* DataBlock = nullptr;
        std::int32_t Index = -1;
        std::atomic<TNode*> Next{nullptr};
    };

public:
    TFifo() {
        FHead = new TNode{nullptr, -1};
        FTail = FHead;
    }
    ~TFifo() {
        Clear();
        FreeBlock(FHead->DataBlock);
        delete FHead;
    }
    TFifo(const TFifo&) = delete;
    TFifo& operator=(const TFifo&) = delete;

    void Push(T AValue) {
        std::lock_guard lock(FCSTail);
        auto* node = new TNode{};
        if (FTail->DataBlock != nullptr && FTail->Index + 1 < kBlockSize) {
            node->DataBlock = FTail->DataBlock;
            node->Index = FTail->Index + 1;
        } else {
            node->DataBlock = new TDataBlock{};
            node->Index = 0;
            live_blocks_.fetch_add(1, std::memory_order_relaxed);
        }
        node->DataBlock->Slots[static_cast<std::size_t>(node->Index)] = std::move(AValue);
        FTail->Next.store(node, std::memory_order_release);
        FTail = node;
    }
    void Enqueue(T AValue) { Push(std::move(AValue)); }

    /// False (AValue untouched) when the queue is empty.
    bool Pop(T& AValue) {
        std::lock_guard lock(FCSHead);
        TNode* old_head = FHead;
        TNode* next = old_head->Next.load(std::memory_order_acquire);
        if (next == nullptr) {
            return false;
        }
        AValue = std::move(next->DataBlock->Slots[static_cast<std::size_t>(next->Index)]);
        FHead = next;
        if (old_head->Index >= kBlockSize - 1) {
            FreeBlock(old_head->DataBlock);
        }
        delete old_head;
        return true;
    }
    bool Dequeue(T& AValue) { return Pop(AValue); }

    /// The next item without removing it; false when empty.
    bool Peek(T& AValue) const requires std::copy_constructible<T> {
        std::lock_guard lock(FCSHead);
        const TNode* next = FHead->Next.load(std::memory_order_acquire);
        if (next == nullptr) {
            return false;
        }
        AValue = next->DataBlock->Slots[static_cast<std::size_t>(next->Index)];
        return true;
    }

    bool Empty() const {
        std::lock_guard lock(FCSHead);
        return FHead->Next.load(std::memory_order_acquire) == nullptr;
    }

    /// Destroys every queued item. Takes the tail lock before the head lock.
    void Clear() {
        std::scoped_lock lock(FCSTail, FCSHead);
        for (;;) {
            TNode* next = FHead->Next.load(std::memory_order_acquire);
            if (next == nullptr) {
                return;
            }
            T dropped = std::move(next->DataBlock->Slots[static_cast<std::size_t>(next->Index)]);
            static_cast<void>(dropped);
            TNode* old_head = FHead;
            FHead = next;
            if (old_head->Index >= kBlockSize - 1) {
                FreeBlock(old_head->DataBlock);
            }
            delete old_head;
        }
    }

    /// Blocks of item slots currently allocated (a diagnostic of the block sharing).
    int BlockCount() const { return live_blocks_.load(std::memory_order_relaxed); }

    /// Walks the queued items from the oldest; no locking: for a queue no other thread touches.
    class TEnumerator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = T;
        using difference_type = std::ptrdiff_t;
        using pointer = const T*;
        using reference = const T&;

        TEnumerator() = default;
        reference operator*() const {
            return FNode->DataBlock->Slots[static_cast<std::size_t>(FNode->Index)];
        }
        pointer operator->() const { return &**this; }
        TEnumerator& operator++() {
            FNode = FNode->Next.load(std::memory_order_acquire);
            return *this;
        }
        TEnumerator operator++(int) {
            TEnumerator old = *this;
            ++*this;
            return old;
        }
        bool operator==(const TEnumerator& other) const { return FNode == other.FNode; }

    private:
        friend class TFifo;
        explicit TEnumerator(const TNode* node) : FNode(node) {}
        const TNode* FNode = nullptr;
    };
    TEnumerator begin() const { return TEnumerator(FHead->Next.load(std::memory_order_acquire)); }
    TEnumerator end() const { return TEnumerator(nullptr); }

private:
    void FreeBlock(TDataBlock* block) {
        if (block != nullptr) {
            delete block;
            live_blocks_.fetch_sub(1, std::memory_order_relaxed);
        }
    }

    mutable std::mutex FCSHead;
    std::mutex FCSTail;
    TNode* FHead;
    TNode* FTail;
    std::atomic<int> live_blocks_{0};
};

} // namespace tubenest
