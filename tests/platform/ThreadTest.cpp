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

TEST(Thread, JoinTimesOutRestartsAndNeverJoinsItself) {
    Thread t;
    Event release(true, false);
    std::atomic<int> selfJoin{-1};
    ASSERT_TRUE(t.Start([&] {
        selfJoin = t.Join(10);
        release.Wait();
    }));
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(t.Join(20));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(19));
    EXPECT_TRUE(t.Running()) << "still joinable after a timeout";
    EXPECT_FALSE(t.Start([] {})) << "a running thread cannot be started again";
    release.Set();
    EXPECT_TRUE(t.Join(5000));
    EXPECT_EQ(selfJoin.load(), 0);
    EXPECT_TRUE(t.Join(0)) << "nothing left to join";

    // Not joined: the next start joins the finished thread itself.
    std::atomic<int> runs{0};
    ASSERT_TRUE(t.Start([&] { ++runs; }));
    while (t.Running()) std::this_thread::yield();
    ASSERT_TRUE(t.Start([&] { ++runs; }));
    ASSERT_TRUE(t.Join());
    EXPECT_EQ(runs.load(), 2);
    EXPECT_FALSE(t.Start(nullptr));

    std::atomic<bool> finished{false};
    {
        Thread scoped;
        ASSERT_TRUE(scoped.Start([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            finished = true;
        }));
    }
    EXPECT_TRUE(finished.load()) << "the destructor waits for the body";
}

TEST(Thread, NamesAndPriorities) {
    Thread t;
    std::string seen;
    ASSERT_TRUE(t.Start([&] { seen = Thread::CurrentName(); }, "kestrel-output-worker"));
    ASSERT_TRUE(t.Join());
    EXPECT_EQ(seen, "kestrel-output-");

    const int base = CurrentNice();
    std::atomic<int> nice{-100};
    ASSERT_TRUE(t.Start([&] { nice = CurrentNice(); }, "low", ThreadPriority::Lowest));
    ASSERT_TRUE(t.Join());
    EXPECT_EQ(nice.load(), std::min(base + 10, 19));
    ASSERT_TRUE(t.Start([&] { nice = CurrentNice(); }, "idle", ThreadPriority::Idle));
    ASSERT_TRUE(t.Join());
    EXPECT_EQ(nice.load(), 19);
    std::atomic<bool> ran{false};
    ASSERT_TRUE(t.Start([&] { ran = true; }, "critical", ThreadPriority::TimeCritical)) << "refused, but starts";
    ASSERT_TRUE(t.Join());
    EXPECT_TRUE(ran.load());
    EXPECT_EQ(CurrentNice(), base) << "the starting thread keeps its own priority";

    // Levels move the base nice value and are clamped to the kernel's range.
    EXPECT_EQ(Thread::NiceFor(ThreadPriority::Highest, 3), -7);
    EXPECT_EQ(Thread::NiceFor(ThreadPriority::Lowest, 15), 19);
    EXPECT_EQ(Thread::NiceFor(ThreadPriority::Highest, -15), -20);
}
