#include "GraphTestSupport.h"
#include <future>

using namespace graphtest;

namespace {

using AllocatorThreads = AllocatorTest;

TEST_F(AllocatorThreads, BlockedGetBufferWakesOnReleaseOrDecommit) {
    ASSERT_EQ(Setup(1, 64), S_OK);
    ASSERT_EQ(alloc->Commit(), S_OK);
    IMediaSample* held = Get();
    auto take = [&] {
        return std::async(std::launch::async, [&] {
            IMediaSample* s = nullptr;
            HRESULT hr = alloc->GetBuffer(&s, nullptr, nullptr, 0);
            if (s) s->Release();
            return std::make_pair(hr, s);
        });
    };
    auto waiter = take();
    EXPECT_EQ(waiter.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    held->Release();
    ASSERT_EQ(waiter.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(waiter.get(), std::make_pair(S_OK, held)) << "the released buffer went to the waiter";

    held = Get();
    waiter = take();
    EXPECT_EQ(waiter.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    ASSERT_EQ(alloc->Decommit(), S_OK);
    EXPECT_EQ(waiter.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    held->Release();  // wakes the waiter in any case, so a failure cannot hang the test
    EXPECT_EQ(waiter.get().first, VFW_E_NOT_COMMITTED);
}

TEST_F(AllocatorThreads, ManyThreadsShareFewBuffers) {
    ASSERT_EQ(Setup(3, 256), S_OK);
    ASSERT_EQ(alloc->Commit(), S_OK);
    std::atomic<int> inUse{0}, maxInUse{0}, corrupted{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                IMediaSample* s = nullptr;
                if (alloc->GetBuffer(&s, nullptr, nullptr, 0) != S_OK) return;
                int now = ++inUse, seen = maxInUse.load();
                while (now > seen && !maxInUse.compare_exchange_weak(seen, now)) {
                }
                std::memset(Ptr(s), t, 256);
                corrupted += Ptr(s)[0] != t || Ptr(s)[255] != t;
                --inUse;
                s->Release();
            }
        });
    for (auto& th : threads) th.join();
    EXPECT_LE(maxInUse.load(), 3);
    EXPECT_EQ(corrupted.load(), 0);
    EXPECT_EQ(alloc->FreeCount(), 3);
}

}  // namespace
