// The SDK's sample pool: fixed buffers lent once at a time, back on the last Release
// from any thread, alive until the last sample is back.
#include "feeds/sdk/FeedSamplePool.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>

namespace {

using std::chrono::milliseconds;

TEST(SdkSamplePool, RefusesAnEmptyOrSecondReservation) {
    CFeedSamplePool empty, noSize, twice;
    EXPECT_FALSE(empty.Reserve(0, 188));
    EXPECT_FALSE(noSize.Reserve(4, 0));
    EXPECT_TRUE(twice.Reserve(1, 188));
    EXPECT_FALSE(twice.Reserve(1, 188));
    EXPECT_EQ(empty.Acquire(), nullptr);
}

TEST(SdkSamplePool, LendsEachBufferOnceUntilItsLastReleaseAndClearsIt) {
    CFeedSamplePool pool;
    ASSERT_TRUE(pool.Reserve(3, 188));
    IMediaSample* samples[3];
    std::set<BYTE*> buffers;
    for (auto& s : samples) {
        s = pool.Acquire();
        ASSERT_NE(s, nullptr);
        BYTE* p = nullptr;
        s->GetPointer(&p);
        buffers.insert(p);
    }
    EXPECT_EQ(buffers.size(), 3u);
    EXPECT_EQ(pool.Acquire(), nullptr);

    samples[1]->SetActualDataLength(188);
    samples[1]->SetDiscontinuity(1);
    samples[1]->AddRef();
    samples[1]->Release();
    EXPECT_EQ(pool.FreeCount(), 0u);  // one reference still out
    samples[1]->Release();
    IMediaSample* again = pool.Acquire();
    EXPECT_EQ(again, samples[1]);
    EXPECT_EQ(again->GetActualDataLength(), 0);
    EXPECT_EQ(again->IsDiscontinuity(), S_FALSE);
    again->Release();
    samples[0]->Release();
    samples[2]->Release();
    EXPECT_EQ(pool.FreeCount(), 3u);
}

// Runs an Acquire that waits, on a thread of its own.
struct Waiter {
    std::atomic<bool> done{false};
    IMediaSample* got = nullptr;
    std::thread thread;
    // The pool shows no waiters, so the thread gets a moment to block: without it the
    // wake-up would go untested, though never flaky.
    explicit Waiter(CFeedSamplePool& pool) : thread([this, &pool] {
        got = pool.Acquire(milliseconds(5000));
        done = true;
    }) {
        std::this_thread::sleep_for(milliseconds(50));
    }
    IMediaSample* Result() {
        EXPECT_TRUE(WaitUntil([&] { return done.load(); }, milliseconds(2500)));
        thread.join();
        return got;
    }
};

TEST(SdkSamplePool, WaitingAcquireTakesASampleReleasedOnAnotherThread) {
    CFeedSamplePool pool;
    ASSERT_TRUE(pool.Reserve(1, 188));
    IMediaSample* held = pool.Acquire();
    Waiter waiter(pool);
    held->Release();
    IMediaSample* got = waiter.Result();
    EXPECT_EQ(got, held);
    if (got) got->Release();
}

TEST(SdkSamplePool, AbortEndsAWaitingAcquireEmptyHandedUntilResume) {
    CFeedSamplePool pool;
    ASSERT_TRUE(pool.Reserve(1, 188));
    IMediaSample* held = pool.Acquire();
    Waiter waiter(pool);
    pool.Abort();
    EXPECT_EQ(waiter.Result(), nullptr);
    held->Release();
    EXPECT_EQ(pool.Acquire(), nullptr);
    pool.Resume();
    IMediaSample* after = pool.Acquire();
    EXPECT_NE(after, nullptr);
    after->Release();
}

// A host may keep a sample beyond the feed; the memory stays until it comes back.
TEST(SdkSamplePool, SampleOutlivesItsPool) {
    IMediaSample* kept = nullptr;
    {
        CFeedSamplePool pool;
        ASSERT_TRUE(pool.Reserve(2, 188));
        kept = pool.Acquire();
    }
    BYTE* p = nullptr;
    kept->GetPointer(&p);
    p[187] = 0x47;
    EXPECT_EQ(kept->GetSize(), 188);
    EXPECT_EQ(kept->Release(), 0u);
}

}  // namespace
