#include "platform/system/CritSec.h"
#include "platform/system/Event.h"
#include "platform/system/Mutex.h"
#include "platform/system/Semaphore.h"
#include <gtest/gtest.h>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace {
using namespace std::chrono_literals;

long MsSince(std::chrono::steady_clock::time_point t0) {
    return static_cast<long>((std::chrono::steady_clock::now() - t0) / 1ms);
}

// Starts n threads that each run body once; Join sums what they returned.
struct Threads {
    template <class Body>
    Threads(int n, Body body) {
        for (int i = 0; i < n; ++i) threads.emplace_back([this, body] { sum += body(); });
    }
    int Join() {
        for (auto& t : threads) t.join();
        return sum.load();
    }
    std::atomic<int> sum{0};
    std::vector<std::thread> threads;
};
}  // namespace

TEST(Event, ManualAndAutoResetTimeoutsAndWaiters) {
    Event manual(true, false);
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(manual.Wait(30));
    EXPECT_GE(MsSince(t0), 29);
    EXPECT_LT(MsSince(t0), 1000);
    Threads four(4, [&] { return manual.Wait(2000); });
    manual.Set();
    EXPECT_EQ(four.Join(), 4) << "a manual-reset event releases every waiter";
    EXPECT_TRUE(manual.Wait(0)) << "and stays signalled";
    manual.Reset();
    EXPECT_FALSE(manual.Wait(0));

    Event autoReset(false, true);
    EXPECT_TRUE(autoReset.Wait(0));
    EXPECT_FALSE(autoReset.Wait(0));
    autoReset.Set();
    autoReset.Set();  // setting a set event adds nothing
    EXPECT_TRUE(autoReset.Wait(0));
    EXPECT_FALSE(autoReset.Wait(0));
    Threads two(2, [&] { return autoReset.Wait(INFINITE); });
    std::this_thread::sleep_for(10ms);
    autoReset.Set();
    for (t0 = std::chrono::steady_clock::now(); two.sum == 0 && MsSince(t0) < 5000;) std::this_thread::yield();
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(two.sum.load(), 1) << "one Set lets exactly one waiter through";
    EXPECT_FALSE(autoReset.IsSet()) << "the waiter consumed the signal";
    autoReset.Set();
    EXPECT_EQ(two.Join(), 2);
}

TEST(Semaphore, MaximumTimeoutsAndWaiters) {
    Semaphore s(1, 3);
    long previous = -1;
    EXPECT_TRUE(s.Release(2, &previous));
    EXPECT_EQ(previous, 1);
    previous = -1;
    EXPECT_FALSE(s.Release(1, &previous)) << "beyond the maximum";
    EXPECT_EQ(previous, -1);
    EXPECT_FALSE(s.Release(0));
    EXPECT_EQ(s.Count(), 3);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(s.Wait(0));
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(s.Wait(20));
    EXPECT_GE(MsSince(t0), 19);
    Threads three(3, [&] { return s.Wait(INFINITE); });
    EXPECT_TRUE(s.Release(3));
    EXPECT_EQ(three.Join(), 3) << "one release of three wakes three waiters";
    Semaphore over(10, 4), under(-3, 0);  // clamped into range
    EXPECT_EQ(over.Count(), 4);
    EXPECT_EQ(under.Maximum(), 1);

    Semaphore bounded(0, 5);
    Threads releasers(4, [&] {
        int accepted = 0;
        for (int k = 0; k < 100; ++k) accepted += bounded.Release(1);
        return accepted;
    });
    EXPECT_EQ(releasers.Join(), 5) << "concurrent releases never pass the maximum";
}

TEST(Mutex, RecursiveOwnedAndHandedToAWaiter) {
    Mutex m;
    ASSERT_TRUE(m.Lock());
    ASSERT_TRUE(m.Lock(0));
    auto fromOther = [](auto op) {
        bool result = false;
        std::thread([&] { result = op(); }).join();
        return result;
    };
    EXPECT_FALSE(fromOther([&] { return m.Lock(20); }));
    EXPECT_FALSE(fromOther([&] { return m.Unlock(); })) << "only the owner can unlock";
    EXPECT_TRUE(m.Unlock());
    EXPECT_TRUE(m.OwnedByCurrentThread()) << "still held once";
    Threads waiter(1, [&] { return m.Lock(INFINITE) && m.Unlock(); });
    std::this_thread::sleep_for(10ms);
    EXPECT_EQ(waiter.sum.load(), 0);
    EXPECT_TRUE(m.Unlock());
    EXPECT_EQ(waiter.Join(), 1);
    EXPECT_FALSE(m.Unlock()) << "nothing left to unlock";
}

TEST(CritSec, RecursiveAndExclusive) {
    CCritSec cs;
    long counter = 0;  // deliberately plain: the lock alone must protect it
    Threads threads(4, [&] {
        for (int k = 0; k < 5000; ++k) {
            CAutoLock lock(&cs);
            CAutoLock again(&cs);
            ++counter;
        }
        return 0;
    });
    threads.Join();
    EXPECT_EQ(counter, 20000);
    std::unique_lock lock(cs);
    bool otherGot = true;
    std::thread([&] { otherGot = cs.TryLock(); }).join();
    EXPECT_FALSE(otherGot);
}

// A waiter that wakes may free the primitive at once; the waking thread must be done
// with it by then (the address sanitizer reports a late touch).
TEST(SyncLifetime, WokenWaiterMayDestroyThePrimitiveAtOnce) {
    for (int i = 0; i < 300; ++i) {
        auto* semaphore = new Semaphore(0, 1);
        std::thread releaser([semaphore] { semaphore->Release(); });
        ASSERT_TRUE(semaphore->Wait(5000));
        delete semaphore;
        releaser.join();
        auto* event = new Event(false, false);
        std::thread setter([event] { event->Set(); });
        ASSERT_TRUE(event->Wait(5000));
        delete event;
        setter.join();
    }
}
