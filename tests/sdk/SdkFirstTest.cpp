// The SDK's headers first, then the platform's: the platform's sample class must still
// implement every slot of the interface the SDK declared, and a pool sample must cross
// into code built against the platform's declarations (the filter's queue).
#include "feeds/sdk/Feed.h"
#include "feeds/sdk/FeedSamplePool.h"

#include "filter/SampleQueue.h"
#include "platform/graph/CMediaSample.h"
#include "platform/graph/CMemAllocator.h"
#include "platform/system/Tick.h"

#include <gtest/gtest.h>

#include <type_traits>
#include <vector>

static_assert(!std::is_abstract_v<CMediaSample>, "the platform sample misses a slot the SDK declares");

namespace {

TEST(SdkSample, CrossesIntoTheFiltersQueueWithDataAndTimes) {
    CFeedSamplePool pool;
    ASSERT_TRUE(pool.Reserve(2, 188 * 4));
    IMediaSample* sample = pool.Acquire();
    ASSERT_NE(sample, nullptr);
    BYTE* data = nullptr;
    ASSERT_EQ(sample->GetPointer(&data), S_OK);
    for (int i = 0; i < 188 * 3; ++i) data[i] = static_cast<BYTE>(i % 188 == 0 ? 0x47 : i);
    ASSERT_EQ(sample->SetActualDataLength(188 * 3), S_OK);
    REFERENCE_TIME start = 1'000, stop = 5'000;
    sample->SetTime(&start, &stop);

    auto queue = CSampleQueue::Create();
    ASSERT_TRUE(queue);
    queue->Push(sample);
    sample->Release();
    EXPECT_EQ(pool.FreeCount(), 2u);

    std::vector<uint8_t> out(CSampleQueue::kEntrySize);
    REFERENCE_TIME gotStart = 0, gotStop = 0;
    ASSERT_EQ(queue->Pop(out.data(), 100, &gotStart, &gotStop), 188u * 3);
    EXPECT_EQ(gotStart, 1'000);
    EXPECT_EQ(gotStop, 5'000);
    for (int i = 0; i < 188 * 3; ++i) ASSERT_EQ(out[i], static_cast<uint8_t>(i % 188 == 0 ? 0x47 : i)) << i;
}

// The filter compares delivery times taken by plug-ins with its own tick count.
TEST(SdkTick, AgreesWithThePlatformTickCount) {
    for (int i = 0; i < 1000; ++i) {
        uint32_t before = GetTickCount();
        uint32_t sdk = FeedTickCount();
        uint32_t after = GetTickCount();
        ASSERT_LE(uint32_t(sdk - before), uint32_t(after - before)) << before << " " << sdk << " " << after;
    }
}

}  // namespace
