// The SDK's headers first, then the platform's: the platform's sample class must still
// implement every slot of the interface the SDK declared.
#include "feeds/sdk/Feed.h"
#include "feeds/sdk/FeedSamplePool.h"

#include "platform/graph/CMediaSample.h"
#include "platform/system/Tick.h"

#include <gtest/gtest.h>

#include <type_traits>

static_assert(!std::is_abstract_v<CMediaSample>, "the platform sample misses a slot the SDK declares");

namespace {

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
