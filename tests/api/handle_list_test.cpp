#include "api/handle_list.h"

#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <set>
#include <thread>
#include <vector>

namespace lumora {
namespace {

// Fake camera objects: the list only stores and returns the pointers.
CameraObject* Fake(int n) { return reinterpret_cast<CameraObject*>(static_cast<uintptr_t>(n * 16)); }

HandleList::KeySource Keys(std::deque<uint32_t> keys) {
    auto queue = std::make_shared<std::deque<uint32_t>>(std::move(keys));
    return [queue] {
        uint32_t k = queue->front();
        queue->pop_front();
        return k;
    };
}

TEST(HandleListTest, KeyIsDrawPlusNodeCountAndNewNodeBecomesHead) {
    HandleList list(Keys({100, 200, 300}));
    EXPECT_EQ(list.Insert(Fake(1)), 100);
    EXPECT_EQ(list.Insert(Fake(2)), 201);
    EXPECT_EQ(list.Insert(Fake(3)), 302);
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(list.HeadKey(), 302);
}

TEST(HandleListTest, KeysAreNeverZeroNorAnOpenKey) {
    // With one node open, the draws give 0 (wrapped), then the open key 100, then a fresh one.
    HandleList list(Keys({100, 0xFFFFFFFFu, 99, 499}));
    EXPECT_EQ(list.Insert(Fake(1)), 100);
    EXPECT_EQ(list.Insert(Fake(2)), 500);
}

TEST(HandleListTest, KeyArithmeticWrapsAt32Bits) {
    HandleList list(Keys({0xFFFFFFFFu, 0xFFFFFFFFu, 7}));
    EXPECT_EQ(list.Insert(Fake(1)), -1);
    // 0xFFFFFFFF + 1 wraps to 0, which is drawn again.
    EXPECT_EQ(list.Insert(Fake(2)), 8);
}

TEST(HandleListTest, LookupRotatesTheFoundNodeToTheHead) {
    HandleList list(Keys({10, 20, 30}));
    CameraHandle a = list.Insert(Fake(1));
    CameraHandle b = list.Insert(Fake(2));
    CameraHandle c = list.Insert(Fake(3));  // each new node goes in front of the head: c b a
    EXPECT_EQ(list.HeadKey(), c);
    EXPECT_EQ(list.Lookup(a), Fake(1));
    EXPECT_EQ(list.HeadKey(), a);
    EXPECT_EQ(list.Lookup(c), Fake(3));  // a -> c, one step
    EXPECT_EQ(list.HeadKey(), c);
    EXPECT_EQ(list.Lookup(b), Fake(2));
    EXPECT_EQ(list.HeadKey(), b);
}

TEST(HandleListTest, FailedLookupLeavesTheHeadOnTheStartsPredecessor) {
    HandleList list(Keys({10, 20, 30}));
    CameraHandle a = list.Insert(Fake(1));
    list.Insert(Fake(2));
    CameraHandle c = list.Insert(Fake(3));  // ring c b a, a precedes c
    EXPECT_EQ(list.Lookup(12345), nullptr);
    EXPECT_EQ(list.HeadKey(), a);
    EXPECT_EQ(list.Lookup(c), Fake(3));
}

TEST(HandleListTest, EmptyListFailsEveryLookup) {
    HandleList list(Keys({}));
    EXPECT_EQ(list.Lookup(0), nullptr);
    EXPECT_EQ(list.Lookup(1), nullptr);
    EXPECT_EQ(list.HeadKey(), 0);
    EXPECT_FALSE(list.Remove(1));
}

TEST(HandleListTest, RemoveUnlinksAndDetachKeepsTheNode) {
    HandleList list(Keys({10, 20, 30}));
    CameraHandle a = list.Insert(Fake(1));
    CameraHandle b = list.Insert(Fake(2));
    CameraHandle c = list.Insert(Fake(3));
    EXPECT_EQ(list.DetachObject(b), Fake(2));
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Lookup(b), nullptr);  // node without object: invalid handle
    EXPECT_TRUE(list.Remove(b));
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Lookup(a), Fake(1));
    EXPECT_EQ(list.Lookup(c), Fake(3));
    EXPECT_TRUE(list.Remove(a));
    EXPECT_TRUE(list.Remove(c));
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.Lookup(c), nullptr);
}

TEST(HandleListTest, ConcurrentUseKeepsTheRingIntact) {
    HandleList list;
    constexpr int kThreads = 4, kRounds = 500;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kRounds; ++i) {
                CameraHandle h = list.Insert(Fake(t + 1));
                if (list.Lookup(h) != Fake(t + 1)) ++failures;
                if (!list.Remove(h)) ++failures;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(list.Count(), 0);
}

}  // namespace
}  // namespace lumora
