#include "GraphTestSupport.h"
#include "platform/graph/CMediaSample.h"
#include "platform/graph/CMemAllocator.h"
#include <gtest/gtest.h>
#include <future>
#include <thread>

using namespace graphtest;

namespace {

class AllocatorThreads : public ::testing::Test {
protected:
    void SetUp() override { alloc.Attach(CMemAllocator::Create()); }
    HRESULT Setup(LONG count, LONG size) {
        ALLOCATOR_PROPERTIES want{count, size, 1, 0}, actual{};
        return alloc->SetProperties(&want, &actual);
    }
    IMediaSample* Get() {
        IMediaSample* s = nullptr;
        alloc->GetBuffer(&s, nullptr, nullptr, 0);
        return s;
    }
    static BYTE* Ptr(IMediaSample* s) {
        BYTE* p = nullptr;
        s->GetPointer(&p);
        return p;
    }
    ComPtr<CMemAllocator> alloc;
};

TEST_F(AllocatorThreads, DecommitWakesABlockedGetBuffer) {
    ASSERT_EQ(Setup(1, 64), S_OK);
    ASSERT_EQ(alloc->Commit(), S_OK);
    IMediaSample* held = Get();
    std::atomic<bool> entered{false};
    auto waiter = std::async(std::launch::async, [&] {
        IMediaSample* s = nullptr;
        entered = true;
        HRESULT hr = alloc->GetBuffer(&s, nullptr, nullptr, 0);
        if (s) s->Release();
        return hr;
    });
    ASSERT_TRUE(WaitFor([&] { return entered.load(); }));
    EXPECT_EQ(waiter.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    ASSERT_EQ(alloc->Decommit(), S_OK);
    EXPECT_EQ(waiter.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    held->Release();  // wakes the waiter in any case, so a failure cannot hang the test
    EXPECT_EQ(waiter.get(), VFW_E_NOT_COMMITTED);
}

TEST_F(AllocatorThreads, ReleaseHandsTheBufferToAWaiter) {
    ASSERT_EQ(Setup(1, 64), S_OK);
    ASSERT_EQ(alloc->Commit(), S_OK);
    IMediaSample* held = Get();
    auto waiter = std::async(std::launch::async, [&] {
        IMediaSample* s = nullptr;
        HRESULT hr = alloc->GetBuffer(&s, nullptr, nullptr, 0);
        IMediaSample* got = s;
        if (s) s->Release();
        return std::make_pair(hr, got);
    });
    EXPECT_EQ(waiter.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    held->Release();
    EXPECT_EQ(waiter.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    ASSERT_EQ(alloc->Decommit(), S_OK);  // never leaves the waiter blocked
    auto [hr, got] = waiter.get();
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(got, held);
}

TEST_F(AllocatorThreads, ManyThreadsShareFewBuffers) {
    ASSERT_EQ(Setup(3, 256), S_OK);
    ASSERT_EQ(alloc->Commit(), S_OK);
    std::atomic<int> inUse{0}, maxInUse{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                IMediaSample* s = nullptr;
                if (alloc->GetBuffer(&s, nullptr, nullptr, 0) != S_OK) return;
                int now = ++inUse;
                int seen = maxInUse.load();
                while (now > seen && !maxInUse.compare_exchange_weak(seen, now)) {
                }
                std::memset(Ptr(s), t, 256);
                EXPECT_EQ(Ptr(s)[255], t);
                --inUse;
                s->Release();
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_LE(maxInUse.load(), 3);
    EXPECT_EQ(alloc->FreeCount(), 3);
}

}  // namespace
