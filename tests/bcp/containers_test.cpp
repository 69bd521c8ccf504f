#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bcp/fifo.h"
#include "bcp/min_heap.h"

namespace tubenest {
namespace {

template <class F>
std::string MessageOf(F&& f) {
    try {
        f();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "no exception";
}

TEST(MinHeap, PopsInKeyOrderAndByComparer) {
    TMinHeap<int> by_key;
    const std::vector<double> keys{4.5, -2.0, 7.25, 0.0, -2.0, 3.0, 11.0, -9.5, 1.0};
    for (double k : keys) {
        by_key.Add(static_cast<int>(k), k);
    }
    std::vector<double> sorted = keys;
    std::sort(sorted.begin(), sorted.end());
    for (double k : sorted) {
        EXPECT_EQ(by_key.TopNode().Key, k);
        EXPECT_EQ(by_key.Top(), static_cast<int>(k));
        by_key.Pop();
    }
    TMinHeap<int> by_comparer({5, 3, 9, 1, 7, 3},
                              [](const int& a, const int& b) { return (b < a) - (a < b); });
    by_comparer.AddRange({0, 8});
    std::vector<int> popped;
    while (by_comparer.Count() > 0) {
        popped.push_back(by_comparer.Pop());
    }
    EXPECT_EQ(popped, (std::vector<int>{0, 1, 3, 3, 5, 7, 8, 9}));
}

TEST(MinHeap, SiftingDownPrefersTheLeftOfTwoEqualChildren) {
    auto tens = [](const int& a, const int& b) { return (a / 10 > b / 10) - (a / 10 < b / 10); };
    EXPECT_EQ(TMinHeap<int>({30, 10, 11}, tens).Top(), 10);
    EXPECT_EQ(TMinHeap<int>({30, 11, 10}, tens).Top(), 11);
}

TEST(MinHeap, EmptyHeapAndKeyHeapAddRangeRaiseTheirMessages) {
    TMinHeap<int> heap;
    EXPECT_EQ(MessageOf([&] { heap.Pop(); }), "[Error] TMinHeap.Pop: 堆中没有元素");
    EXPECT_EQ(MessageOf([&] { heap.Top(); }), "[Error] TMinHeap.Top: 堆中没有元素");
    EXPECT_EQ(MessageOf([&] { heap.TopKey(); }), "[Error] TMinHeap.Top: 堆中没有元素");
    EXPECT_EQ(MessageOf([&] { heap.TopNode(); }), "[Error] TMinHeap.TopNode: 堆中没有元素");
    EXPECT_EQ(MessageOf([&] { heap.AddRange({1}); }),
              "[Error] TMinHeap.AddRange: 只有通过函数比较才可调用本方法");
    EXPECT_EQ(heap.Count(), 0);
}

TEST(Fifo, SixtyFifthItemOpensASecondBlockFreedWhenItIsPopped) {
    TFifo<int> fifo;
    int value = -7;
    EXPECT_FALSE(fifo.Pop(value));
    EXPECT_EQ(value, -7);
    EXPECT_TRUE(fifo.Empty());
    for (int i = 0; i < 64; ++i) {
        fifo.Push(i);
    }
    EXPECT_EQ(fifo.BlockCount(), 1);
    fifo.Push(64);
    EXPECT_EQ(fifo.BlockCount(), 2);
    EXPECT_TRUE(fifo.Peek(value));
    EXPECT_EQ(value, 0);
    EXPECT_EQ(std::vector<int>(fifo.begin(), fifo.end()).size(), 65u);
    for (int i = 0; i < 64; ++i) {
        ASSERT_TRUE(fifo.Pop(value));
        EXPECT_EQ(value, i);
    }
    EXPECT_EQ(fifo.BlockCount(), 2);
    ASSERT_TRUE(fifo.Pop(value));
    EXPECT_EQ(value, 64);
    EXPECT_EQ(fifo.BlockCount(), 1);
    EXPECT_FALSE(fifo.Pop(value));
    EXPECT_EQ(value, 64);
}

TEST(Fifo, ClearAndDestructionFreeQueuedItems) {
    auto item = std::make_shared<int>(1);
    {
        TFifo<std::shared_ptr<int>> fifo;
        for (int i = 0; i < 130; ++i) {
            fifo.Push(item);
        }
        fifo.Clear();
        EXPECT_TRUE(item.use_count() == 1 && fifo.Empty());
        fifo.Push(item);
    }
    EXPECT_EQ(item.use_count(), 1);
}

TEST(FifoConcurrency, OneProducerAndOneConsumerKeepTheOrder) {
    constexpr int kItems = 200000;
    TFifo<std::unique_ptr<int>> fifo;
    std::thread producer([&] {
        for (int i = 0; i < kItems; ++i) {
            fifo.Push(std::make_unique<int>(i));
        }
    });
    int expected = 0;
    std::unique_ptr<int> value;
    while (expected < kItems) {
        if (fifo.Pop(value)) {
            if (*value != expected) {
                ADD_FAILURE() << "got " << *value << ", expected " << expected;
                break;
            }
            ++expected;
        } else {
            std::this_thread::yield();
        }
    }
    producer.join();
    EXPECT_EQ(expected, kItems);
    EXPECT_TRUE(fifo.Empty());
    EXPECT_EQ(fifo.BlockCount(), 1);
}

} // namespace
} // namespace tubenest
