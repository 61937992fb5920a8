#include "net/NetSemaphore.h"

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(NetSemaphore, CountStaysWithinZeroAndTheMaximum) {
    NetSemaphore two(2);
    EXPECT_TRUE(two.TryWait());
    EXPECT_TRUE(two.TryWait());
    EXPECT_FALSE(two.TryWait());
    EXPECT_EQ(0, NetSemaphore(-5).Count());
    EXPECT_EQ(65535, NetSemaphore(70000).Count());
    NetSemaphore nearFull(65534);
    EXPECT_TRUE(nearFull.Release());
    EXPECT_FALSE(nearFull.Release());
    EXPECT_EQ(65535, nearFull.Count());

    const auto begin = Clock::now();
    EXPECT_EQ(258u, two.Wait(30));
    const auto elapsed = Clock::now() - begin;
    EXPECT_GE(elapsed, 25ms);
    EXPECT_LT(elapsed, 1s);
}

TEST(NetSemaphore, CountsStayExactUnderContention) {
    NetSemaphore s(0);
    constexpr int kEach = 2000;
    std::vector<std::thread> threads;
    for (int i = 0; i < 3; ++i) {
        threads.emplace_back([&] { for (int n = 0; n < kEach; ++n) ASSERT_TRUE(s.Release()); });
        threads.emplace_back([&] { for (int n = 0; n < kEach; ++n) ASSERT_EQ(0u, s.Wait(5000)); });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(0, s.Count());
}

TEST(NetSemaphore, WaiterMayDestroyItRightAfterWaking) {
    for (int i = 0; i < 200; ++i) {
        auto s = std::make_unique<NetSemaphore>(0);
        std::thread releaser([p = s.get()] { p->Release(); });
        EXPECT_EQ(0u, s->Wait(NetSemaphore::kInfinite));
        s.reset();
        releaser.join();
    }
}

}  // namespace
