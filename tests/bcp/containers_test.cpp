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
