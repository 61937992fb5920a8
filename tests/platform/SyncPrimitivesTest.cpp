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
using Clock = std::chrono::steady_clock;

long ElapsedMs(Clock::time_point since) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

// Polls until pred holds or a generous deadline passes.
template <class Pred>
bool Eventually(Pred pred) {
    auto deadline = Clock::now() + std::chrono::seconds(5);
    while (!pred()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
}  // namespace

TEST(Event, ManualResetStaysSignalledUntilReset) {
    Event e(true, false);
    EXPECT_FALSE(e.IsSet());
    EXPECT_FALSE(e.Wait(0));
    e.Set();
    EXPECT_TRUE(e.Wait(0));
    EXPECT_TRUE(e.Wait(0));
    EXPECT_TRUE(e.IsSet());
    e.Reset();
    EXPECT_FALSE(e.Wait(0));
    Event initially(true, true);
    EXPECT_TRUE(initially.Wait(0));
}

TEST(Event, AutoResetLetsOneWaiterThroughPerSet) {
    Event e(false, true);
    EXPECT_TRUE(e.IsSet());
    EXPECT_TRUE(e.Wait(0));
    EXPECT_FALSE(e.IsSet());
    EXPECT_FALSE(e.Wait(0));
    e.Set();
    e.Set();  // setting a set event adds nothing
    EXPECT_TRUE(e.Wait(0));
    EXPECT_FALSE(e.Wait(0));
}

TEST(Event, TimedWaitReturnsFalseAfterRoughlyTheTimeout) {
    Event e(true, false);
    auto start = Clock::now();
    EXPECT_FALSE(e.Wait(30));
    long ms = ElapsedMs(start);
    EXPECT_GE(ms, 29);
    EXPECT_LT(ms, 1000);
}

TEST(Event, SetWakesABlockedWaiter) {
    Event e(false, false);
    std::atomic<bool> woke{false};
    std::thread t([&] {
        woke = e.Wait(INFINITE);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(woke.load());
    e.Set();
    t.join();
    EXPECT_TRUE(woke.load());
    EXPECT_FALSE(e.IsSet()) << "the waiter consumed the auto-reset signal";
}

TEST(Event, AutoResetReleasesExactlyOneOfTwoWaiters) {
    Event e(false, false);
    std::atomic<int> through{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 2; ++i)
        waiters.emplace_back([&] {
            if (e.Wait(INFINITE)) ++through;
        });
    e.Set();
    ASSERT_TRUE(Eventually([&] { return through.load() == 1; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(through.load(), 1);
    e.Set();
    for (auto& t : waiters) t.join();
    EXPECT_EQ(through.load(), 2);
}

TEST(Event, ManualResetReleasesAllWaiters) {
    Event e(true, false);
    std::atomic<int> through{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 4; ++i)
        waiters.emplace_back([&] {
            if (e.Wait(2000)) ++through;
        });
    e.Set();
    for (auto& t : waiters) t.join();
    EXPECT_EQ(through.load(), 4);
}

TEST(Semaphore, ReleaseBeyondMaximumFailsAndChangesNothing) {
    Semaphore s(1, 3);
    long previous = -1;
    EXPECT_TRUE(s.Release(2, &previous));
    EXPECT_EQ(previous, 1);
    EXPECT_EQ(s.Count(), 3);
    previous = -1;
    EXPECT_FALSE(s.Release(1, &previous));
    EXPECT_EQ(previous, -1);
    EXPECT_EQ(s.Count(), 3);
    EXPECT_FALSE(s.Release(0));
    EXPECT_FALSE(s.Release(-1));
    EXPECT_EQ(s.Count(), 3);
}

TEST(Semaphore, WaitTakesOneUnitAndTimesOutWhenEmpty) {
    Semaphore s(2, 2);
    EXPECT_TRUE(s.Wait(0));
    EXPECT_TRUE(s.Wait(0));
    EXPECT_FALSE(s.Wait(0));
    auto start = Clock::now();
    EXPECT_FALSE(s.Wait(20));
    EXPECT_GE(ElapsedMs(start), 19);
    EXPECT_TRUE(s.Release(1));
    EXPECT_TRUE(s.Wait(0));
}

TEST(Semaphore, OutOfRangeConstructionIsClamped) {
    Semaphore over(10, 4);
    EXPECT_EQ(over.Count(), 4);
    EXPECT_EQ(over.Maximum(), 4);
    Semaphore under(-3, 0);
    EXPECT_EQ(under.Count(), 0);
    EXPECT_EQ(under.Maximum(), 1);
}

TEST(Semaphore, ReleaseOfSeveralWakesAsManyWaiters) {
    Semaphore s(0, 10);
    std::atomic<int> through{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i)
        waiters.emplace_back([&] {
            if (s.Wait(INFINITE)) ++through;
        });
    EXPECT_TRUE(s.Release(3));
    for (auto& t : waiters) t.join();
    EXPECT_EQ(through.load(), 3);
    EXPECT_EQ(s.Count(), 0);
}

TEST(Semaphore, CountNeverExceedsMaximumUnderConcurrentReleases) {
    Semaphore s(0, 5);
    std::atomic<int> accepted{0};
    std::vector<std::thread> releasers;
    for (int i = 0; i < 4; ++i)
        releasers.emplace_back([&] {
            for (int k = 0; k < 100; ++k)
                if (s.Release(1)) ++accepted;
        });
    for (auto& t : releasers) t.join();
    EXPECT_EQ(accepted.load(), 5);
    EXPECT_EQ(s.Count(), 5);
}

TEST(Mutex, OwnerMayLockAgainAndMustUnlockAsOften) {
    Mutex m;
    ASSERT_TRUE(m.Lock());
    ASSERT_TRUE(m.Lock(0));
    EXPECT_TRUE(m.OwnedByCurrentThread());
    std::atomic<int> got{-1};
    auto tryFromOther = [&] {
        std::thread t([&] {
            bool ok = m.Lock(20);
            got = ok;
            if (ok) m.Unlock();
        });
        t.join();
        return got.load();
    };
    EXPECT_EQ(tryFromOther(), 0);
    EXPECT_TRUE(m.Unlock());
    EXPECT_EQ(tryFromOther(), 0) << "still held once";
    EXPECT_TRUE(m.Unlock());
    EXPECT_FALSE(m.OwnedByCurrentThread());
    EXPECT_EQ(tryFromOther(), 1);
    EXPECT_FALSE(m.Unlock()) << "nothing left to unlock";
}

TEST(Mutex, OnlyTheOwnerCanUnlock) {
    Mutex m;
    ASSERT_TRUE(m.Lock());
    std::atomic<bool> unlocked{true};
    std::thread([&] { unlocked = m.Unlock(); }).join();
    EXPECT_FALSE(unlocked.load());
    EXPECT_TRUE(m.OwnedByCurrentThread());
    EXPECT_TRUE(m.Unlock());
}

TEST(Mutex, WaiterGetsItWhenReleased) {
    Mutex m;
    ASSERT_TRUE(m.Lock());
    std::atomic<bool> got{false};
    std::thread t([&] {
        got = m.Lock(INFINITE);
        m.Unlock();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(got.load());
    m.Unlock();
    t.join();
    EXPECT_TRUE(got.load());
}

TEST(CritSec, RecursiveAndUsableWithStandardLocks) {
    CCritSec cs;
    EXPECT_FALSE(cs.OwnedByCurrentThread());
    {
        CAutoLock outer(&cs);
        CAutoLock inner(&cs);
        EXPECT_TRUE(cs.OwnedByCurrentThread());
        std::atomic<bool> otherGot{true};
        std::thread([&] {
            otherGot = cs.TryLock();
            if (otherGot) cs.Unlock();
            EXPECT_FALSE(cs.OwnedByCurrentThread());
        }).join();
        EXPECT_FALSE(otherGot.load());
    }
    EXPECT_FALSE(cs.OwnedByCurrentThread());
    {
        std::unique_lock lock(cs);
        EXPECT_TRUE(cs.OwnedByCurrentThread());
    }
    std::atomic<bool> otherGot{false};
    std::thread([&] {
        otherGot = cs.TryLock();
        if (otherGot) cs.Unlock();
    }).join();
    EXPECT_TRUE(otherGot.load());
}

TEST(CritSec, ExcludesOtherThreads) {
    CCritSec cs;
    long counter = 0;  // deliberately plain: the lock alone must protect it
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&] {
            for (int k = 0; k < 5000; ++k) {
                CAutoLock lock(&cs);
                CAutoLock again(&cs);
                ++counter;
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(counter, 20000);
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
