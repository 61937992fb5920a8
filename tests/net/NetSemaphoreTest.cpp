#include "net/NetSemaphore.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(NetSemaphore, InitialCountWithinBounds) {
    NetSemaphore three(3);
    EXPECT_TRUE(three.TryWait());
    EXPECT_TRUE(three.TryWait());
    EXPECT_TRUE(three.TryWait());
    EXPECT_FALSE(three.TryWait());
    EXPECT_EQ(0, NetSemaphore(-5).Count());
    EXPECT_EQ(65535, NetSemaphore(70000).Count());
}

TEST(NetSemaphore, ReleaseBeyondTheMaximumFails) {
    NetSemaphore s(65534);
    EXPECT_TRUE(s.Release());
    EXPECT_FALSE(s.Release());
    EXPECT_EQ(65535, s.Count());
    EXPECT_EQ(NetSemaphore::kSignaled, s.Wait(0));
    EXPECT_TRUE(s.Release());
}

TEST(NetSemaphore, WaitTimesOut) {
    NetSemaphore s(0);
    const auto begin = Clock::now();
    EXPECT_EQ(NetSemaphore::kTimedOut, s.Wait(30));
    const auto elapsed = Clock::now() - begin;
    EXPECT_GE(elapsed, 25ms);
    EXPECT_LT(elapsed, 1s);
    EXPECT_EQ(258u, NetSemaphore::kTimedOut);
    EXPECT_EQ(0u, NetSemaphore::kSignaled);
}

TEST(NetSemaphore, InfiniteWaitEndsOnRelease) {
    NetSemaphore s(0);
    std::atomic<bool> returned{false};
    std::thread waiter([&] {
        EXPECT_EQ(NetSemaphore::kSignaled, s.Wait(NetSemaphore::kInfinite));
        returned.store(true);
    });
    std::this_thread::sleep_for(10ms);
    EXPECT_FALSE(returned.load());
    EXPECT_TRUE(s.Release());
    waiter.join();
    EXPECT_TRUE(returned.load());
    EXPECT_EQ(0, s.Count());
}

TEST(NetSemaphore, CountsStayExactUnderContention) {
    NetSemaphore s(0);
    constexpr int kEach = 2000;
    std::vector<std::thread> threads;
    for (int i = 0; i < 3; ++i) {
        threads.emplace_back([&] { for (int n = 0; n < kEach; ++n) ASSERT_TRUE(s.Release()); });
        threads.emplace_back([&] { for (int n = 0; n < kEach; ++n) ASSERT_EQ(NetSemaphore::kSignaled, s.Wait(5000)); });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(0, s.Count());
}

TEST(NetSemaphore, WaiterMayDestroyItRightAfterWaking) {
    for (int i = 0; i < 200; ++i) {
        auto s = std::make_unique<NetSemaphore>(0);
        std::thread releaser([p = s.get()] { p->Release(); });
        EXPECT_EQ(NetSemaphore::kSignaled, s->Wait(NetSemaphore::kInfinite));
        s.reset();
        releaser.join();
    }
}

}  // namespace
