#include "platform/system/Thread.h"
#include <gtest/gtest.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <sys/resource.h>
#include <unistd.h>

namespace {
int CurrentNice() {
    errno = 0;
    int n = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
    return errno ? 0 : n;
}
}  // namespace

TEST(Thread, NameIsCutToFifteenCharacters) {
    Thread t;
    std::string seen;
    ASSERT_TRUE(t.Start([&] { seen = Thread::CurrentName(); }, "kestrel-output-worker"));
    ASSERT_TRUE(t.Join());
    EXPECT_EQ(seen, "kestrel-output-");
    Thread shortName;
    ASSERT_TRUE(shortName.Start([&] { seen = Thread::CurrentName(); }, "feed"));
    ASSERT_TRUE(shortName.Join());
    EXPECT_EQ(seen, "feed");
}

TEST(Thread, JoinTimesOutWhileTheBodyRunsAndStaysJoinable) {
    Thread t;
    Event release(true, false);
    ASSERT_TRUE(t.Start([&] { release.Wait(); }));
    EXPECT_TRUE(t.Running());
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(t.Join(20));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(19));
    EXPECT_TRUE(t.Running());
    EXPECT_FALSE(t.Start([] {})) << "a running thread cannot be started again";
    release.Set();
    EXPECT_TRUE(t.Join(5000));
    EXPECT_FALSE(t.Running());
    EXPECT_TRUE(t.Join(0)) << "nothing left to join";
}

TEST(Thread, CanBeStartedAgainAfterItEnded) {
    Thread t;
    std::atomic<int> runs{0};
    ASSERT_TRUE(t.Start([&] { ++runs; }));
    // Not joined: the next start joins the finished thread itself.
    while (t.Running()) std::this_thread::yield();
    ASSERT_TRUE(t.Start([&] { ++runs; }));
    ASSERT_TRUE(t.Join());
    EXPECT_EQ(runs.load(), 2);
    EXPECT_FALSE(t.Start(nullptr));
}

TEST(Thread, DestructorWaitsForTheBody) {
    std::atomic<bool> finished{false};
    {
        Thread t;
        ASSERT_TRUE(t.Start([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            finished = true;
        }));
    }
    EXPECT_TRUE(finished.load());
}

TEST(Thread, CannotJoinItself) {
    Thread t;
    std::atomic<int> selfJoin{-1};
    ASSERT_TRUE(t.Start([&] { selfJoin = t.Join(10); }));
    ASSERT_TRUE(t.Join());
    EXPECT_EQ(selfJoin.load(), 0);
}

TEST(Thread, LowerPriorityIsAppliedAndHigherNeverFailsTheStart) {
    const int base = CurrentNice();
    Thread low;
    std::atomic<int> seen{-100};
    ASSERT_TRUE(low.Start([&] { seen = CurrentNice(); }, "low", ThreadPriority::Lowest));
    ASSERT_TRUE(low.Join());
    EXPECT_EQ(seen.load(), std::min(base + 10, 19));

    ASSERT_TRUE(low.Start([&] { seen = CurrentNice(); }, "idle", ThreadPriority::Idle));
    ASSERT_TRUE(low.Join());
    EXPECT_EQ(seen.load(), 19);

    Thread high;
    std::atomic<bool> ran{false};
    ASSERT_TRUE(high.Start([&] { ran = true; }, "critical", ThreadPriority::TimeCritical));
    ASSERT_TRUE(high.Join());
    EXPECT_TRUE(ran.load());
    EXPECT_EQ(CurrentNice(), base) << "the starting thread keeps its own priority";
}

TEST(Thread, PriorityLevelsMapToNiceValuesInRange) {
    EXPECT_EQ(Thread::NiceFor(ThreadPriority::Normal, 0), 0);
    EXPECT_EQ(Thread::NiceFor(ThreadPriority::BelowNormal, 0), 5);
    EXPECT_EQ(Thread::NiceFor(ThreadPriority::AboveNormal, 0), -5);
    EXPECT_EQ(Thread::NiceFor(ThreadPriority::Highest, 3), -7);
    EXPECT_EQ(Thread::NiceFor(ThreadPriority::Lowest, 15), 19);
    EXPECT_EQ(Thread::NiceFor(ThreadPriority::Highest, -15), -20);
    EXPECT_EQ(Thread::NiceFor(ThreadPriority::Idle, -5), 19);
    EXPECT_EQ(Thread::NiceFor(ThreadPriority::TimeCritical, 10), -20);
}
