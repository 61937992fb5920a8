#include "net/NamedThread.h"

#include <algorithm>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "net/NetSemaphore.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct Observed {
    void* argument = nullptr;
    pid_t tid = 0;
    int nice = 0;
    char name[32] = {};
    NetSemaphore finished{0};
};

unsigned Observe(void* p) {
    auto* o = static_cast<Observed*>(p);
    o->argument = p;
    o->tid = static_cast<pid_t>(syscall(SYS_gettid));
    o->nice = getpriority(PRIO_PROCESS, static_cast<id_t>(o->tid));
    pthread_getname_np(pthread_self(), o->name, sizeof o->name);
    o->finished.Release();
    return 0;
}

// Starts a thread on Observe and waits until it has looked at itself.
void RunObserved(ThreadPriorityLevel level, const char* name, Observed& o) {
    const intptr_t handle = CreateNamedThread(Observe, level, &o, name);
    ASSERT_NE(kNoThread, handle);
    ASSERT_EQ(NetSemaphore::kSignaled, o.finished.Wait(5000));
    EXPECT_EQ(handle, o.tid) << "the handle is the thread's kernel id";
    EXPECT_EQ(&o, o.argument);
}

// The niceness each level must give, written out here rather than asked of the code
// under test: idle and time-critical are absolute, the others relative to the process.
int NiceFor(ThreadPriorityLevel level) {
    const int base = getpriority(PRIO_PROCESS, static_cast<id_t>(getpid()));
    int delta = 0;
    switch (level) {
        case kThreadLevelIdle: return 19;
        case kThreadLevelTimeCritical: return -20;
        case kThreadLevelLowest: delta = 10; break;
        case kThreadLevelBelowNormal: delta = 5; break;
        case kThreadLevelAboveNormal: delta = -5; break;
        case kThreadLevelHighest: delta = -10; break;
        default: break;
    }
    return std::clamp(base + delta, -20, 19);
}

TEST(CreateNamedThread, LevelsNamesAndArgument) {
    using P = ThreadPriority;
    for (auto [level, priority] : std::initializer_list<std::pair<int, P>>{
             {10, P::Idle}, {20, P::Lowest}, {30, P::BelowNormal}, {40, P::BelowNormal}, {60, P::AboveNormal},
             {100, P::Highest}, {230, P::TimeCritical}, {50, P::Normal}, {0, P::Normal}, {45, P::Normal}, {231, P::Normal}}) {
        EXPECT_EQ(priority, PriorityForLevel(level)) << level;
    }

    Observed normal, longName;
    RunObserved(kThreadLevelNormal, "sThread", normal);
    EXPECT_STREQ("sThread", normal.name);
    EXPECT_EQ(NiceFor(kThreadLevelNormal), normal.nice);
    RunObserved(kThreadLevelNormal, "ProcessingThread", longName);
    EXPECT_STREQ("ProcessingThrea", longName.name) << "what this platform keeps";
    EXPECT_EQ(kNoThread, CreateNamedThread(nullptr, kThreadLevelNormal, nullptr, "none"));
}

TEST(CreateNamedThread, PriorityIsRelativeToTheProcessNotTheCreator) {
    for (ThreadPriorityLevel level : {kThreadLevelIdle, kThreadLevelLowest, kThreadLevelBelowNormal}) {
        Observed o;
        RunObserved(level, "low", o);
        EXPECT_EQ(NiceFor(level), o.nice) << level;
    }
    // Whether this process may raise a thread's priority at all.
    bool mayRaise = false;
    std::thread([&] {
        const auto tid = static_cast<id_t>(syscall(SYS_gettid));
        const int nice = getpriority(PRIO_PROCESS, tid);
        mayRaise = nice > -20 && setpriority(PRIO_PROCESS, tid, nice - 1) == 0;
    }).join();
    if (!mayRaise) GTEST_SKIP() << "this process may not raise thread priorities";
    for (ThreadPriorityLevel level : {kThreadLevelAboveNormal, kThreadLevelHighest, kThreadLevelTimeCritical}) {
        Observed o;
        RunObserved(level, "high", o);
        EXPECT_EQ(NiceFor(level), o.nice) << level;
    }
    Observed fromLowered;
    std::thread([&] {
        setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 15);
        RunObserved(kThreadLevelBelowNormal, "relative", fromLowered);
    }).join();
    EXPECT_EQ(NiceFor(kThreadLevelBelowNormal), fromLowered.nice);
}

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
