#include "net/NamedThread.h"

#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "net/NetSemaphore.h"

namespace {

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
    errno = 0;
    o->nice = getpriority(PRIO_PROCESS, static_cast<id_t>(o->tid));
    pthread_getname_np(pthread_self(), o->name, sizeof o->name);
    o->finished.Release();
    return 0;
}

struct Result {
    bool gotArgument = false;
    int nice = 0;
    std::string name;
};

Result RunObserved(ThreadPriorityLevel level, const char* name) {
    Observed o;
    Result r;
    const intptr_t handle = CreateNamedThread(Observe, level, &o, name);
    EXPECT_NE(kNoThread, handle);
    if (handle == kNoThread) return r;
    EXPECT_EQ(NetSemaphore::kSignaled, o.finished.Wait(5000));
    EXPECT_EQ(handle, o.tid);  // the handle is the thread's kernel id
    r.gotArgument = o.argument == &o;
    r.nice = o.nice;
    r.name = o.name;
    return r;
}

int ProcessNice() {
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(getpid()));
    return errno == 0 ? nice : 0;
}

// Whether this process may raise a thread's priority at all.
bool MayRaisePriority() {
    bool allowed = false;
    std::thread probe([&] {
        const auto tid = static_cast<id_t>(syscall(SYS_gettid));
        errno = 0;
        const int nice = getpriority(PRIO_PROCESS, tid);
        allowed = nice > -20 && setpriority(PRIO_PROCESS, tid, nice - 1) == 0;
    });
    probe.join();
    return allowed;
}

TEST(ThreadPriorityLevel, MapsLevelsToPriorities) {
    EXPECT_EQ(ThreadPriority::Idle, PriorityForLevel(10));
    EXPECT_EQ(ThreadPriority::Lowest, PriorityForLevel(20));
    EXPECT_EQ(ThreadPriority::BelowNormal, PriorityForLevel(30));
    EXPECT_EQ(ThreadPriority::BelowNormal, PriorityForLevel(40));
    EXPECT_EQ(ThreadPriority::AboveNormal, PriorityForLevel(60));
    EXPECT_EQ(ThreadPriority::Highest, PriorityForLevel(100));
    EXPECT_EQ(ThreadPriority::TimeCritical, PriorityForLevel(230));
    for (int other : {50, 0, -1, 11, 45, 99, 101, 229, 231, 255}) {
        EXPECT_EQ(ThreadPriority::Normal, PriorityForLevel(other)) << other;
    }
}

TEST(CreateNamedThread, RunsEntryWithArgumentUnderItsName) {
    const Result r = RunObserved(kThreadLevelNormal, "sThread");
    EXPECT_TRUE(r.gotArgument);
    EXPECT_EQ("sThread", r.name);
    EXPECT_EQ(ProcessNice(), r.nice);
}

TEST(CreateNamedThread, LongNamesKeepWhatThisPlatformHolds) {
    EXPECT_EQ("ProcessingThrea", RunObserved(kThreadLevelNormal, "ProcessingThread").name);
}

TEST(CreateNamedThread, LowerLevelsLowerThePriority) {
    for (ThreadPriorityLevel level : {kThreadLevelIdle, kThreadLevelLowest, kThreadLevelBelowNormal, 40}) {
        const int expected = Thread::NiceFor(PriorityForLevel(level), ProcessNice());
        EXPECT_EQ(expected, RunObserved(level, "low").nice) << level;
    }
}

TEST(CreateNamedThread, HigherLevelsRaiseThePriorityWherePermitted) {
    if (!MayRaisePriority()) GTEST_SKIP() << "this process may not raise thread priorities";
    for (ThreadPriorityLevel level : {kThreadLevelAboveNormal, kThreadLevelHighest, kThreadLevelTimeCritical}) {
        const int expected = Thread::NiceFor(PriorityForLevel(level), ProcessNice());
        EXPECT_EQ(expected, RunObserved(level, "high").nice) << level;
    }
}

TEST(CreateNamedThread, PriorityIsRelativeToTheProcessNotTheCreator) {
    if (!MayRaisePriority()) GTEST_SKIP() << "this process may not raise thread priorities";
    Result r;
    std::thread lowered([&] {
        setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 15);
        r = RunObserved(kThreadLevelBelowNormal, "relative");
    });
    lowered.join();
    EXPECT_EQ(Thread::NiceFor(ThreadPriority::BelowNormal, ProcessNice()), r.nice);
}

TEST(CreateNamedThread, NoEntryNoThread) {
    EXPECT_EQ(kNoThread, CreateNamedThread(nullptr, kThreadLevelNormal, nullptr, "none"));
}

TEST(CreateNamedThread, ManyAtOnce) {
    constexpr int kThreads = 32;
    Observed observed[kThreads];
    std::thread starters[4];
    for (int s = 0; s < 4; ++s) {
        starters[s] = std::thread([&, s] {
            for (int i = s; i < kThreads; i += 4) {
                EXPECT_NE(kNoThread, CreateNamedThread(Observe, kThreadLevelNormal, &observed[i], "many"));
            }
        });
    }
    for (auto& t : starters) t.join();
    for (auto& o : observed) {
        ASSERT_EQ(NetSemaphore::kSignaled, o.finished.Wait(5000));
        EXPECT_STREQ("many", o.name);
    }
}

}  // namespace
